// What a request tells the object that started it. Every method is optional: the request asks
// the delegate, when each call is about to run on the main thread, whether it handles that call
// (respondsToSelector:), so an implementing class names the callbacks it answers in its class
// description (c.implements({"requestFinished:", ...}) or c.method(...)).
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSData;

class NKHTTPRequestDelegate {
public:
    virtual ~NKHTTPRequestDelegate() = default;

    // requestStarted: — at every send (again after each redirect and retry).
    virtual void requestStarted(NKHTTPRequest* request) { (void)request; }
    // requestReceivedResponseHeaders: — at every response head, redirect responses included.
    virtual void requestReceivedResponseHeaders(NKHTTPRequest* request) { (void)request; }
    // requestFinished: / requestFailed: — exactly one of them ends every request.
    virtual void requestFinished(NKHTTPRequest* request) { (void)request; }
    virtual void requestFailed(NKHTTPRequest* request) { (void)request; }
    // request:didReceiveData: — when handled, the body goes here instead of being kept.
    virtual void request(NKHTTPRequest* request, NSData* data) {
        (void)request;
        (void)data;
    }
    // authenticationNeededForRequest: / proxyAuthenticationNeededForRequest:
    virtual void authenticationNeededForRequest(NKHTTPRequest* request) { (void)request; }
    virtual void proxyAuthenticationNeededForRequest(NKHTTPRequest* request) { (void)request; }
};
