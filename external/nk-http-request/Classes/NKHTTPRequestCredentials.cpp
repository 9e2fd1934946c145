// Answers to an authentication challenge. The request sends what it carries itself before any
// challenge (applyAuthorizationHeader); a challenge it is still met with has no other source of
// credentials to try, so the request stops and fails with "Authentication needed".
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::Locked;

void NKHTTPRequest::attemptToApplyCredentialsAndResume() {
    if (error() || isCancelled()) return;
    if (authenticationNeeded_ == NKProxyAuthenticationNeeded) {
        attemptToApplyProxyCredentialsAndResume();
        return;
    }
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    cancelLoad();
    failWithError(classState().authenticationError);
}

void NKHTTPRequest::attemptToApplyProxyCredentialsAndResume() {
    if (error() || isCancelled()) return;
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    cancelLoad();
    failWithError(classState().authenticationError);
}
