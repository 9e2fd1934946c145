#include "ads/pebble/PBLRequestError.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLRequest.h"

NSString* const PBLErrorDomain = NS("test.pebbleads.sdk");

Ref<PBLRequestError> PBLRequestError::errorWithCode(int code, PBLRequest* request) {
    return make<PBLRequestError>(&PBLRequestError::initWithCode, code, request);
}

bool PBLRequestError::initWithCode(int code, PBLRequest* request) {
    auto message = localizedStringForErrorCode(code);
    auto userInfo = NSMutableDictionary::dictionary();
    userInfo->setObject(message, NSLocalizedDescriptionKey);
    userInfo->setObject(message, NSLocalizedFailureReasonErrorKey);
    if (code == 0)
        if (auto r = as<PBLRequestPrivate>(request))
            userInfo->addEntriesFromDictionary(r->parameters());
    return initWithDomain(PBLErrorDomain, code, userInfo);
}

Ref<NSString> PBLRequestError::localizedStringForErrorCode(int code) {
    Ref<NSString> text;
    switch (code) {
        case 1:
            text = NS("No ad to show.");
            break;
        case 2:
            text = NS("A network error occurred.");
            break;
        case 3:
            text = NS("Server error processing the request.");
            break;
        case 4: {
            int major = 0, minor = 0, bugFix = 0;
            PBLIdentifierUtilities::getOSMajor(&major, &minor, &bugFix);
            text = NSString::stringWithFormat(
                NS("This device's OS is %i.%i.%i.  It is below the minimum of %i.%i."), major,
                minor, bugFix, 3, 0);
            break;
        }
        case 5:
            text =
                NS("The Pebble Ad request was unable to be fulfilled before a timeout occurred.");
            break;
        default:
            text = NS("Invalid ad request parameter(s).  Check the Xcode console for details.");
            break;
    }
    return NSString::stringWithFormat(NS("Request Error: %@"), text.get());
}
