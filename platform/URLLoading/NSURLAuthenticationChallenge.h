// An authentication challenge: the protection space asking, how many answers for it have
// failed so far, the credential the system proposes, the response that failed, and the sender
// that the answer goes back to.
#pragma once

#include "Foundation/NSObject.h"

class NSError;
class NSURLAuthenticationChallenge;
class NSURLCredential;
class NSURLProtectionSpace;
class NSURLResponse;

// The one who asked; the delegate answers the challenge through it, once.
class NSURLAuthenticationChallengeSender {
public:
    virtual ~NSURLAuthenticationChallengeSender() = default;
    // useCredential:forAuthenticationChallenge:
    virtual void useCredential(NSURLCredential* credential,
                               NSURLAuthenticationChallenge* challenge) = 0;
    // continueWithoutCredentialForAuthenticationChallenge:
    virtual void continueWithoutCredentialForAuthenticationChallenge(
        NSURLAuthenticationChallenge* challenge) = 0;
    // cancelAuthenticationChallenge:
    virtual void cancelAuthenticationChallenge(NSURLAuthenticationChallenge* challenge) = 0;
};

class NSURLAuthenticationChallenge : public NSObject {
    NS_OBJECT(NSURLAuthenticationChallenge, NSObject)
    // initWithProtectionSpace:proposedCredential:previousFailureCount:failureResponse:error:
    // sender:. The sender is retained.
    bool initWithProtectionSpace(NSURLProtectionSpace* space, NSURLCredential* proposedCredential,
                                 NSInteger previousFailureCount, NSURLResponse* failureResponse,
                                 NSError* error, NSURLAuthenticationChallengeSender* sender);
    // initWithAuthenticationChallenge:sender:, the same challenge for another sender.
    bool initWithAuthenticationChallenge(NSURLAuthenticationChallenge* challenge,
                                         NSURLAuthenticationChallengeSender* sender);

    Ref<NSURLProtectionSpace> protectionSpace() { return space_; }
    Ref<NSURLCredential> proposedCredential() { return proposedCredential_; }
    NSInteger previousFailureCount() { return previousFailureCount_; }
    Ref<NSURLResponse> failureResponse() { return failureResponse_; }
    Ref<NSError> error() { return error_; }
    Ref<NSURLAuthenticationChallengeSender> sender() { return sender_; }

private:
    Ref<NSURLProtectionSpace> space_;
    Ref<NSURLCredential> proposedCredential_;
    NSInteger previousFailureCount_ = 0;
    Ref<NSURLResponse> failureResponse_;
    Ref<NSError> error_;
    Ref<NSURLAuthenticationChallengeSender> sender_;
};
