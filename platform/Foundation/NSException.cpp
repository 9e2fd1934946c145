#include "Foundation/NSException.h"

#include "Foundation/NSDictionary.h"

NSString* const NSGenericException = NS("NSGenericException");
NSString* const NSRangeException = NS("NSRangeException");
NSString* const NSInvalidArgumentException = NS("NSInvalidArgumentException");
NSString* const NSInternalInconsistencyException = NS("NSInternalInconsistencyException");
NSString* const NSMallocException = NS("NSMallocException");
NSString* const NSObjectInaccessibleException = NS("NSObjectInaccessibleException");
NSString* const NSDestinationInvalidException = NS("NSDestinationInvalidException");
NSString* const NSUndefinedKeyException = NS("NSUnknownKeyException");

Ref<NSException> NSException::exceptionWithName(NSString* name, NSString* reason,
                                                NSDictionary* userInfo) {
    return make<NSException>(&NSException::initWithName, name, reason, userInfo);
}

bool NSException::initWithName(NSString* name, NSString* reason, NSDictionary* userInfo) {
    name_ = name ? name->copy() : nullptr;
    reason_ = reason ? reason->copy() : nullptr;
    userInfo_ = userInfo;
    return true;
}

void NSException::raiseWithReason(NSString* name, NSString* reason, NSDictionary* userInfo) {
    exceptionWithName(name, reason, userInfo)->raise();
}

void NSException::raise() {
    throw ExceptionRaised(Ref<NSException>(this));
}

Ref<NSString> NSException::description() {
    return reason_ ? reason_ : name_;
}

ExceptionRaised::ExceptionRaised(Ref<NSException> e) : exception(std::move(e)) {
    Ref<NSString> name = exception->name();
    Ref<NSString> reason = exception->reason();
    text_ = (name ? name->utf8() : std::string("(null)")) + ": " +
            (reason ? reason->utf8() : std::string("(null)"));
}
