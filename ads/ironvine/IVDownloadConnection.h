// Downloads one request into memory for the ad engine, with an optional time-out on the Clock,
// a bounded number of attempts (max(n, 1)) and a status check: anything but 200 (or no HTTP
// status at all) is a failure. Main thread.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class IVDownloadConnection;
class NSMutableData;
class NSTimer;
class NSURLRequest;

class IVDownloadConnectionDelegate {
public:
    virtual ~IVDownloadConnectionDelegate() = default;
    virtual void downloadFailed(IVDownloadConnection* connection) = 0;
    virtual void downloadSucceeded(IVDownloadConnection* connection) = 0;
    virtual void downloadTimedOut(IVDownloadConnection*) {}
    virtual void downloadProgress(IVDownloadConnection*) {}
};

class IVDownloadConnection : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(IVDownloadConnection, NSObject)
    static Ref<IVDownloadConnection> connectionWithURLRequest(
        NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData);
    static Ref<IVDownloadConnection> connectionWithURLRequest(
        NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
        int32_t retries);
    static Ref<IVDownloadConnection> timedConnectionWithURLRequest(
        NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
        double timeout);
    static Ref<IVDownloadConnection> timedConnectionWithURLRequest(
        NSURLRequest* request, IVDownloadConnectionDelegate* delegate, NSObject* userData,
        double timeout, int32_t retries);

    bool initWithURLRequest(NSURLRequest* request, IVDownloadConnectionDelegate* delegate,
                            NSObject* userData, double timeout, int32_t retries);
    void dealloc() override;
    void start();
    void restart();

    uint32_t expectedDataLength() { return expectedDataLength_; }
    Ref<NSMutableData> receivedData() { return receivedData_; }
    int32_t responseStatusCode() { return responseStatusCode_; }
    Ref<NSObject> userData() { return userData_; }
    void setUserData(NSObject* data) { userData_ = data; }

    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;
    void connectionDidTimeout(NSTimer* timer);

private:
    void stopTimer();
    void failed();

    Weak<IVDownloadConnectionDelegate> delegate_;
    uint32_t expectedDataLength_ = 0;
    Ref<NSMutableData> receivedData_;
    int32_t responseStatusCode_ = 0;
    Ref<NSURLRequest> request_;
    Ref<NSTimer> timeoutTimer_;
    double timeout_ = -1.0;
    int32_t retryCount_ = 0;
    Ref<NSObject> userData_;
    Ref<NSURLConnection> connection_;
};
