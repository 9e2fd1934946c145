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

bool PostCatagoryController::nextStep(int32_t pageType) {
    switch (pageType) {
        case kPostPageCompose:
            push(alloc<PostController>(), NS("PostController"));
            return true;
        case kPostPageChooseArea:
            push(alloc<PostLocationController>(), NS("PostLocationController"));
            return true;
        case kPostPagePhoneVerification:
            posting::showMessage(posting::phoneVerificationMessage());
            return true;
        case kPostPageChooseCategory:
            push(alloc<PostCatagoryController>(), NS("PostCatagoryController"));
            return true;
        default:
            return false;
    }
}
