// The posting step "Choose Area": one area level of the site's posting pages; a finer level
// pushes another of these.
#pragma once

#include "Classes/PostStepController.h"

class PostLocationController : public PostStepController {
    NS_OBJECT(PostLocationController, PostStepController)

public:
    Ref<NSArray> suburbList() { return choices(); }

protected:
    NSString* stepTitle() override;
    Ref<NSArray> choicesOf(PostPage* page) override;
    bool nextStep(int32_t pageType) override;
};
