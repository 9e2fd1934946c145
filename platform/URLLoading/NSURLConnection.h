// URL loading over the platform's HTTP read streams: one request, its redirects, cookies,
// compression, authentication and the URL cache, reported to a delegate on the run loops the
// connection is scheduled on.
//
// Order of the delegate's calls for one load:
//   connectionWillSendRequest (nil redirect response first, then once per redirect),
//   connectionDidSendBodyData (rising, while a body goes out),
//   connectionDidReceiveResponse, connectionDidReceiveData (one or more),
//   connectionWillCacheResponse (only for a response the cache may store),
//   then exactly one of connectionDidFinishLoading and connectionDidFailWithError.
// Authentication challenges (connectionDidReceiveAuthenticationChallenge) come before the
// response. A cancelled connection reports nothing more, even when it is cancelled inside one
// of its own callbacks.
//
// HTTP answers: 301, 302 and 303 are followed with GET and no body, 307 and 308 with the same
// method and body; more than 16 redirects in a row fail with NSURLErrorHTTPTooManyRedirects. A
// 304 or a 3xx without a usable Location is a response like any other. Bodies sent with
// "Content-Encoding" gzip or deflate are inflated (damaged ones fail with
// NSURLErrorCannotDecodeRawData). Time-outs follow the Clock: a load that hears nothing for
// the request's timeoutInterval fails with NSURLErrorTimedOut.
//
// Errors are in NSURLErrorDomain with the failing URL under NSURLErrorFailingURLErrorKey and
// NSURLErrorFailingURLStringErrorKey, and the stream's own error under NSUnderlyingErrorKey.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "Foundation/NSObject.h"
#include "Foundation/NetworkWork.h"
#include "URLLoading/NSURLAuthenticationChallenge.h"

class CFReadStream;
class NSCachedURLResponse;
class NSData;
class NSError;
class NSRunLoop;
class NSString;
class NSTimer;
class NSURLConnection;
class NSURLRequest;
class NSURLResponse;

// The delegate's methods, all optional; a method left out gives the platform's default.
class NSURLConnectionDelegate {
public:
    virtual ~NSURLConnectionDelegate() = default;
    // connection:willSendRequest:redirectResponse:. Default: the request as proposed. Another
    // request is sent instead; nil stops: before the first request it ends the load silently,
    // on a redirect the redirect response itself becomes the response.
    virtual Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection,
                                                        NSURLRequest* request,
                                                        NSURLResponse* redirectResponse);
    // connection:didSendBodyData:totalBytesWritten:totalBytesExpectedToWrite:
    virtual void connectionDidSendBodyData(NSURLConnection*, NSInteger /*bytesWritten*/,
                                           NSInteger /*totalBytesWritten*/,
                                           NSInteger /*totalBytesExpectedToWrite*/) {}
    // connection:didReceiveResponse:
    virtual void connectionDidReceiveResponse(NSURLConnection*, NSURLResponse*) {}
    // connection:didReceiveData:
    virtual void connectionDidReceiveData(NSURLConnection*, NSData*) {}
    // connection:willCacheResponse:. Default: stored as proposed; nil stores nothing.
    virtual Ref<NSCachedURLResponse> connectionWillCacheResponse(
        NSURLConnection* connection, NSCachedURLResponse* cachedResponse);
    // connectionDidFinishLoading:
    virtual void connectionDidFinishLoading(NSURLConnection*) {}
    // connection:didFailWithError:
    virtual void connectionDidFailWithError(NSURLConnection*, NSError*) {}
    // connection:didReceiveAuthenticationChallenge:. Answer through the challenge's sender,
    // now or later. Default: continue without a credential.
    virtual void connectionDidReceiveAuthenticationChallenge(
        NSURLConnection* connection, NSURLAuthenticationChallenge* challenge);
    // connection:didCancelAuthenticationChallenge:, when the connection gives the challenge up
    // (its time-out ran out while the delegate had not answered).
    virtual void connectionDidCancelAuthenticationChallenge(NSURLConnection*,
                                                            NSURLAuthenticationChallenge*) {}
};

// The run-loop mode a synchronous send runs the calling thread's loop in.
extern NSString* const NSURLConnectionSynchronousRunLoopMode;

class NSURLConnection : public NSObject {
    NS_OBJECT(NSURLConnection, NSObject)
    // connectionWithRequest:delegate: (started)
    static Ref<NSURLConnection> connectionWithRequest(NSURLRequest* request,
                                                      NSURLConnectionDelegate* delegate);
    // initWithRequest:delegate:, started at once.
    bool initWithRequest(NSURLRequest* request, NSURLConnectionDelegate* delegate);
    // initWithRequest:delegate:startImmediately:. Either way the connection is scheduled on
    // the current thread's run loop in the default mode.
    bool initWithRequest(NSURLRequest* request, NSURLConnectionDelegate* delegate,
                         bool startImmediately);
    // sendSynchronousRequest:returningResponse:error:. Runs the calling thread's run loop in
    // NSURLConnectionSynchronousRunLoopMode until the load ends. The data is nil only on an
    // error; any HTTP status is a response.
    static Ref<NSData> sendSynchronousRequest(NSURLRequest* request, Ref<NSURLResponse>* response,
                                              Ref<NSError>* error);
    // canHandleRequest:, true for http and https URLs.
    static bool canHandleRequest(NSURLRequest* request);

    // Starts the load on the run loops the connection is scheduled on; from any thread.
    // Nothing happens for a connection already started.
    void start();
    // Stops the load; the delegate hears nothing more from it. From any thread.
    void cancel();
    // scheduleInRunLoop:forMode: / unscheduleFromRunLoop:forMode:
    void scheduleInRunLoop(NSRunLoop* runLoop, NSString* mode);
    void unscheduleFromRunLoop(NSRunLoop* runLoop, NSString* mode);

    Ref<NSURLRequest> originalRequest() { return originalRequest_; }
    // The request now being loaded (after redirects).
    Ref<NSURLRequest> currentRequest() { return currentRequest_; }

    void dealloc() override;
    NSURLConnection();
    ~NSURLConnection() override;

    // ---- implementation ---------------------------------------------------------------------
    struct Load;
    struct Sender;

private:
    friend struct Load;
    friend struct Sender;
    struct Schedule {
        Ref<NSRunLoop> loop;
        Ref<NSString> mode;
    };
    // The loop and modes the connection's own work runs on.
    void post(std::function<void()> work);
    bool onLoopThread();

    Ref<NSURLRequest> originalRequest_;
    Ref<NSURLRequest> currentRequest_;
    Ref<NSURLConnectionDelegate> delegate_;  // kept until the load ends
    std::vector<Schedule> schedules_;
    std::recursive_mutex lock_;
    std::atomic<bool> started_{false};
    std::atomic<bool> cancelled_{false};
    std::atomic<bool> ended_{false};
    NetworkWorkTicket ticket_;
    std::unique_ptr<Load> load_;  // used on the scheduled loop's thread only
};
