// The receiver of a request's byte counts (a progress view, or the network queue that adds up
// the counts of all its requests). Every method is optional and asked for by name at the
// moment of each call, as with NKHTTPRequestDelegate.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NKHTTPRequest;

class NKProgressDelegate {
public:
    virtual ~NKProgressDelegate() = default;

    // setProgress: — 0 to 1.
    virtual void setProgress(float progress) { (void)progress; }
    // request:didReceiveBytes:
    virtual void request(NKHTTPRequest* request, long long bytes) {
        (void)request;
        (void)bytes;
    }
    // request:didSendBytes:
    virtual void requestDidSendBytes(NKHTTPRequest* request, long long bytes) {
        (void)request;
        (void)bytes;
    }
    // request:incrementDownloadSizeBy:
    virtual void requestIncrementDownloadSizeBy(NKHTTPRequest* request, long long newLength) {
        (void)request;
        (void)newLength;
    }
    // request:incrementUploadSizeBy:
    virtual void requestIncrementUploadSizeBy(NKHTTPRequest* request, long long newLength) {
        (void)request;
        (void)newLength;
    }
};
