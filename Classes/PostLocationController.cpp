#include "Classes/PostLocationController.h"

#include "Classes/PostController.h"
#include "Classes/PostPage.h"
#include "Classes/PostingSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "analytics/TallyAPI.h"

NSString* PostLocationController::stepTitle() {
    return NS("Choose Area");
}

Ref<NSArray> PostLocationController::choicesOf(PostPage* page) {
    return page->getSuburbList();
}

bool PostLocationController::nextStep(int32_t pageType) {
    switch (pageType) {
        case kPostPageChooseArea:
        case kPostPageChooseLocation:
            push(alloc<PostLocationController>(), NS("PostLocationController"));
            return true;
        case kPostPageCompose:
            push(alloc<PostController>(), NS("PostController"));
            return true;
        case kPostPagePhoneVerification:
            posting::showMessage(posting::phoneVerificationMessage());
            return true;
        default:
            TallyAPI::logEvent(NS("Location Error"));
            return false;
    }
}
