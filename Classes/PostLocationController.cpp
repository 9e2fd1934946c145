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

void PostLocationController::nextStep(int32_t pageType) {
    switch (pageType) {
        case kPostPageChooseArea:
        case kPostPageChooseLocation:
            push(alloc<PostLocationController>(), NS("PostLocationController"));
            break;
        case kPostPageCompose:
            push(alloc<PostController>(), NS("PostController"));
            break;
        case kPostPagePhoneVerification:
            posting::showMessage(posting::phoneVerificationMessage());
            break;
        default:
            TallyAPI::logEvent(NS("Location Error"));
            break;
    }
}
