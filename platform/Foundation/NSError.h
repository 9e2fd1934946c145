// Errors: a domain, a code and a user-info dictionary with the human-readable texts.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSURLError.h"

class NSDictionary;

extern NSString* const NSCocoaErrorDomain;
extern NSString* const NSPOSIXErrorDomain;
extern NSString* const NSOSStatusErrorDomain;
extern NSString* const NSMachErrorDomain;

extern NSString* const NSLocalizedDescriptionKey;
extern NSString* const NSLocalizedFailureReasonErrorKey;
extern NSString* const NSLocalizedRecoverySuggestionErrorKey;
extern NSString* const NSUnderlyingErrorKey;
extern NSString* const NSFilePathErrorKey;
extern NSString* const NSStringEncodingErrorKey;
extern NSString* const NSURLErrorKey;

// Codes of NSCocoaErrorDomain.
enum : NSInteger {
    NSFileNoSuchFileError = 4,
    NSFileReadUnknownError = 256,
    NSFileReadNoPermissionError = 257,
    NSFileReadCorruptFileError = 259,
    NSFileReadNoSuchFileError = 260,
    NSFileWriteUnknownError = 512,
    NSFileWriteNoPermissionError = 513,
    NSFileWriteFileExistsError = 516,
    NSFileWriteOutOfSpaceError = 640,
    NSPropertyListReadCorruptError = 3840,
};

class NSError : public NSObject {
    NS_OBJECT(NSError, NSObject)
    static Ref<NSError> errorWithDomain(NSString* domain, NSInteger code, NSDictionary* userInfo);
    bool initWithDomain(NSString* domain, NSInteger code, NSDictionary* userInfo);

    Ref<NSString> domain() { return domain_; }
    NSInteger code() { return code_; }
    // Never nil: an empty dictionary when the error was made without one.
    Ref<NSDictionary> userInfo();

    // The user info's NSLocalizedDescriptionKey, else a generic text naming domain and code.
    Ref<NSString> localizedDescription();
    Ref<NSString> localizedFailureReason();       // nil when not given
    Ref<NSString> localizedRecoverySuggestion();  // nil when not given

    // Error Domain=D Code=C "description" UserInfo=0x... {key=value, ...}
    Ref<NSString> description() override;
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSError> copy() { return Ref<NSError>(this); }

private:
    Ref<NSString> domain_;
    NSInteger code_ = 0;
    Ref<NSDictionary> userInfo_;
};
