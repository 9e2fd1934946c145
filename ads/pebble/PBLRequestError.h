// The error a failed ad request reports to the banner's or interstitial's delegate.
#pragma once

#include "Foundation/NSError.h"

class PBLRequest;

// The ad client's error domain, shared with the click tracker.
extern NSString* const PBLErrorDomain;

class PBLRequestError : public NSError {
    NS_OBJECT(PBLRequestError, NSError)
    static Ref<PBLRequestError> errorWithCode(int code, PBLRequest* request);
    // Code 0 (an invalid request) carries the request's parameters in the user info.
    bool initWithCode(int code, PBLRequest* request);
    static Ref<NSString> localizedStringForErrorCode(int code);
};
