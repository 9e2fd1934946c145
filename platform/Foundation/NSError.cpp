#include "Foundation/NSError.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"

NSString* const NSCocoaErrorDomain = NS("NSCocoaErrorDomain");
NSString* const NSPOSIXErrorDomain = NS("NSPOSIXErrorDomain");
NSString* const NSOSStatusErrorDomain = NS("NSOSStatusErrorDomain");
NSString* const NSMachErrorDomain = NS("NSMachErrorDomain");
NSString* const NSURLErrorDomain = NS("NSURLErrorDomain");

NSString* const NSLocalizedDescriptionKey = NS("NSLocalizedDescription");
NSString* const NSLocalizedFailureReasonErrorKey = NS("NSLocalizedFailureReason");
NSString* const NSLocalizedRecoverySuggestionErrorKey = NS("NSLocalizedRecoverySuggestion");
NSString* const NSUnderlyingErrorKey = NS("NSUnderlyingError");
NSString* const NSFilePathErrorKey = NS("NSFilePath");
NSString* const NSStringEncodingErrorKey = NS("NSStringEncoding");
NSString* const NSURLErrorKey = NS("NSURL");
NSString* const NSErrorFailingURLStringKey = NS("NSErrorFailingURLStringKey");
NSString* const NSURLErrorFailingURLErrorKey = NS("NSErrorFailingURLKey");
NSString* const NSURLErrorFailingURLStringErrorKey = NS("NSErrorFailingURLStringKey");

Ref<NSError> NSError::errorWithDomain(NSString* domain, NSInteger code, NSDictionary* userInfo) {
    return make<NSError>(&NSError::initWithDomain, domain, code, userInfo);
}

bool NSError::initWithDomain(NSString* domain, NSInteger code, NSDictionary* userInfo) {
    // Both are copied: the caller may go on changing a mutable string or dictionary.
    domain_ = domain ? domain->copy() : nullptr;
    code_ = code;
    userInfo_ = userInfo && userInfo->count() > 0 ? userInfo->copy() : nullptr;
    return true;
}

Ref<NSDictionary> NSError::userInfo() {
    return userInfo_ ? userInfo_ : NSDictionary::dictionary();
}

namespace {
Ref<NSString> stringFor(NSDictionary* info, NSString* key) {
    return info ? as<NSString>(info->objectForKey(key)) : nullptr;
}
}  // namespace

Ref<NSString> NSError::localizedDescription() {
    if (auto s = stringFor(userInfo_, NSLocalizedDescriptionKey)) return s;
    return NSString::stringWithFormat(
        NS("The operation couldn\u2019t be completed. (%@ error %d.)"), domain_, code_);
}

Ref<NSString> NSError::localizedFailureReason() {
    return stringFor(userInfo_, NSLocalizedFailureReasonErrorKey);
}

Ref<NSString> NSError::localizedRecoverySuggestion() {
    return stringFor(userInfo_, NSLocalizedRecoverySuggestionErrorKey);
}

Ref<NSString> NSError::description() {
    auto text = NSMutableString::stringWithFormat(NS("Error Domain=%@ Code=%d \"%@\""), domain_,
                                                  code_, localizedDescription());
    if (userInfo_) {
        text->appendFormat(NS(" UserInfo=%p {"), static_cast<void*>(userInfo_.get()));
        bool first = true;
        for (NSObject* key : *userInfo_) {
            if (!first) text->appendString(NS(", "));
            first = false;
            text->appendFormat(NS("%@=%@"), key, userInfo_->objectForKey(key));
        }
        text->appendString(NS("}"));
    }
    return text->copy();
}

bool NSError::isEqual(NSObject* other) {
    auto* e = dynamic_cast<NSError*>(other);
    if (!e) return false;
    if (e == this) return true;
    return code_ == e->code_ && objectsEqual(domain_, e->domain_) &&
           objectsEqual(userInfo_, e->userInfo_);
}

NSUInteger NSError::hash() {
    return (domain_ ? domain_->hash() : 0) ^ static_cast<NSUInteger>(code_);
}
