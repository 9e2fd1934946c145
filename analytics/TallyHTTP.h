// The upload's HTTP exchange: synchronous for the caller, over a URL connection that runs on
// the main run loop.
#pragma once

#include <cstdint>
#include <functional>

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class NSCondition;
class NSData;
class TallyHTTPResponse;
class NSDictionary;
class NSError;
class NSHTTPURLResponse;
class NSMutableData;
class NSString;
class NSURL;

class TallyHTTPResponse : public NSObject {
    NS_OBJECT(TallyHTTPResponse, NSObject)

    // Keeps the error; the body, status and headers only when there is a URL response.
    bool initWithResponse(NSURLResponse* response, NSData* body, NSError* error);
    bool initWithBody(NSData* body, int statusCode, NSDictionary* headers, NSError* error);

    Ref<NSData> body() { return body_; }
    int statusCode() { return statusCode_; }
    Ref<NSError> error() { return error_; }
    Ref<NSDictionary> headers() { return headers_; }
    bool isSuccess() { return statusCode_ >= 200 && statusCode_ <= 399; }
    bool isError() { return !isSuccess(); }
    Ref<NSString> description() override;
    // Documents/tallyResponse<seconds>: status, body and headers as a property list.
    void saveToDisk();
    // A response saved that way, read from a URL (string).
    static Ref<TallyHTTPResponse> readFromURL(NSString* url);
    static Ref<NSString> filePath(int seconds);

private:
    Ref<NSData> body_;
    int statusCode_ = 0;
    Ref<NSError> error_;
    Ref<NSDictionary> headers_;
};

class TallyConnectionDelegate : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(TallyConnectionDelegate, NSObject)

    // Called with the response on the connection's thread (the main thread) as it ends,
    // before any waiter is woken; not called once a waiter has given up.
    using ReplyHandler = std::function<void(TallyHTTPResponse*)>;

    bool init() override;
    bool isDone();
    void setReplyHandler(ReplyHandler handler);
    // Returns once the connection is done; false when it was not done by the limit (seconds of
    // the clock from now).
    bool waitUntilDone(double seconds);
    // The response as it stands.
    Ref<TallyHTTPResponse> makeResponse();

    Ref<NSMutableData> body() { return body_; }
    Ref<NSURLResponse> response() { return response_; }
    Ref<NSError> error() { return error_; }

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection, NSURLRequest* request,
                                                NSURLResponse* redirectResponse) override;
    void connectionDidReceiveAuthenticationChallenge(
        NSURLConnection* connection, NSURLAuthenticationChallenge* challenge) override;
    void connectionDidCancelAuthenticationChallenge(
        NSURLConnection* connection, NSURLAuthenticationChallenge* challenge) override;
    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;
    Ref<NSCachedURLResponse> connectionWillCacheResponse(NSURLConnection* connection,
                                                         NSCachedURLResponse* cached) override;

private:
    void finish();
    Ref<NSMutableData> body_;
    Ref<NSURLResponse> response_;
    Ref<NSError> error_;
    bool done_ = false;
    bool abandoned_ = false;  // the waiter gave up
    ReplyHandler onReply_;
    Ref<NSCondition> condition_;
};

class TallyHTTPEater : public NSObject {
    NS_OBJECT(TallyHTTPEater, NSObject)

    // Sends the request and waits for the answer. With useWebView the request is loaded in a
    // hidden 10 x 10 web view on the main thread instead, and nothing comes back (nil); the
    // view is kept until its load ends. The reply handler, when given, gets the response on the
    // main thread as the exchange ends, before this returns: what it books is done before
    // anything else the main thread does next (a quit among them).
    static Ref<TallyHTTPResponse> sendMethod(
        NSString* method, NSURL* url, NSData* body, NSDictionary* headerFields, int timeoutInterval,
        bool useWebView = false, TallyConnectionDelegate::ReplyHandler onReply = nullptr);
    // GET or POST with a 20-second time-out; the target is a URL or a URL string.
    static Ref<TallyHTTPResponse> get(NSObject* target);
    static Ref<TallyHTTPResponse> get(NSObject* target, NSDictionary* headerFields);
    static Ref<TallyHTTPResponse> post(NSObject* target, NSData* body);
    static Ref<TallyHTTPResponse> post(NSObject* target, NSData* body, NSDictionary* headerFields);
    // "key=value" pairs joined with "&", nothing escaped.
    static Ref<NSString> queryDictionaryToString(NSDictionary* query);
    // protocol://host[:port][/path][?query]: "http" for a nil protocol, no port for 0 or 80, the
    // query a string or a dictionary.
    static Ref<NSURL> urlWithProtocol(NSString* protocol, NSString* host, int port, NSString* path,
                                      NSObject* query);
};
