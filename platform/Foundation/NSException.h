// Exceptions of the platform: an object with a name, a reason and user info, thrown as a C++
// exception (ExceptionRaised). raise() throws; callers that must not fail catch ExceptionRaised.
#pragma once

#include <exception>
#include <string>

#include "Foundation/NSString.h"

class NSDictionary;

class NSException : public NSObject {
    NS_OBJECT(NSException, NSObject)
    static Ref<NSException> exceptionWithName(NSString* name, NSString* reason,
                                              NSDictionary* userInfo);
    bool initWithName(NSString* name, NSString* reason, NSDictionary* userInfo);

    // Raises an exception of the given name with a formatted reason.
    template <class... A>
    [[noreturn]] static void raise(NSString* name, NSString* format, const A&... args) {
        raiseWithReason(name, NSString::stringWithFormat(format, args...), nullptr);
    }
    [[noreturn]] static void raiseWithReason(NSString* name, NSString* reason,
                                             NSDictionary* userInfo);
    // Throws this exception object.
    [[noreturn]] void raise();

    Ref<NSString> name() { return name_; }
    Ref<NSString> reason() { return reason_; }
    Ref<NSDictionary> userInfo() { return userInfo_; }
    Ref<NSString> description() override;  // the reason, as the platform prints it

private:
    Ref<NSString> name_;
    Ref<NSString> reason_;
    Ref<NSDictionary> userInfo_;
};

// What raise() throws. Catch it by reference; `exception` is the raised object.
class ExceptionRaised : public std::exception {
public:
    explicit ExceptionRaised(Ref<NSException> e);
    const char* what() const noexcept override { return text_.c_str(); }
    Ref<NSException> exception;

private:
    std::string text_;
};

extern NSString* const NSGenericException;
extern NSString* const NSRangeException;
extern NSString* const NSInvalidArgumentException;
extern NSString* const NSInternalInconsistencyException;
extern NSString* const NSMallocException;
extern NSString* const NSObjectInaccessibleException;
extern NSString* const NSDestinationInvalidException;
extern NSString* const NSUndefinedKeyException;  // "NSUnknownKeyException"
