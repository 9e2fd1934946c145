// The posting step "Select Category": one category level of the site's posting pages; a
// sub-category level pushes another of these.
#pragma once

#include "Classes/PostStepController.h"

class PostCatagoryController : public PostStepController {
    NS_OBJECT(PostCatagoryController, PostStepController)

public:
    Ref<NSArray> catagoryList() { return choices(); }

protected:
    NSString* stepTitle() override;
    Ref<NSArray> choicesOf(PostPage* page) override;
    bool nextStep(int32_t pageType) override;
};
