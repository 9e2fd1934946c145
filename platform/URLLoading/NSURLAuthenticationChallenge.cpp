#include "URLLoading/NSURLAuthenticationChallenge.h"

#include "Foundation/NSError.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "URLLoading/NSURLResponse.h"

bool NSURLAuthenticationChallenge::initWithProtectionSpace(
    NSURLProtectionSpace* space, NSURLCredential* proposedCredential,
    NSInteger previousFailureCount, NSURLResponse* failureResponse, NSError* error,
    NSURLAuthenticationChallengeSender* sender) {
    if (!space) return false;
    space_ = space;
    proposedCredential_ = proposedCredential;
    previousFailureCount_ = previousFailureCount;
    failureResponse_ = failureResponse;
    error_ = error;
    sender_ = sender;
    return true;
}

bool NSURLAuthenticationChallenge::initWithAuthenticationChallenge(
    NSURLAuthenticationChallenge* challenge, NSURLAuthenticationChallengeSender* sender) {
    if (!challenge) return false;
    return initWithProtectionSpace(challenge->space_, challenge->proposedCredential_,
                                   challenge->previousFailureCount_, challenge->failureResponse_,
                                   challenge->error_, sender);
}
