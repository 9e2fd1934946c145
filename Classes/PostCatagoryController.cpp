#include "Classes/PostCatagoryController.h"

#include "Classes/PostController.h"
#include "Classes/PostLocationController.h"
#include "Classes/PostPage.h"
#include "Classes/PostingSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

NSString* PostCatagoryController::stepTitle() {
    return NS("Select Category");
}

Ref<NSArray> PostCatagoryController::choicesOf(PostPage* page) {
    return page->getCatagoryList();
}

void PostCatagoryController::nextStep(int32_t pageType) {
    switch (pageType) {
        case kPostPageCompose:
            push(alloc<PostController>(), NS("PostController"));
            break;
        case kPostPageChooseArea:
            push(alloc<PostLocationController>(), NS("PostLocationController"));
            break;
        case kPostPagePhoneVerification:
            posting::showMessage(posting::phoneVerificationMessage());
            break;
        case kPostPageChooseCategory:
            push(alloc<PostCatagoryController>(), NS("PostCatagoryController"));
            break;
        default:
            break;
    }
}
