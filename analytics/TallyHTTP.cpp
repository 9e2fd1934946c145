#include "analytics/TallyHTTP.h"

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIWebView.h"
#include "URLLoading/NSURLAuthenticationChallenge.h"
#include "URLLoading/NSURLResponse.h"
#include "analytics/base/TallyUtil.h"

// ---- the response ---------------------------------------------------------------------------

bool TallyHTTPResponse::initWithResponse(NSURLResponse* response, NSData* body, NSError* error) {
    error_ = error;
    if (response) {
        body_ = body;
        if (auto http = as<NSHTTPURLResponse>(response)) {
            statusCode_ = static_cast<int>(http->statusCode());
            headers_ = http->allHeaderFields();
        }
    }
    return true;
}

bool TallyHTTPResponse::initWithBody(NSData* body, int statusCode, NSDictionary* headers,
                                     NSError* error) {
    body_ = body;
    statusCode_ = statusCode;
    headers_ = headers;
    error_ = error;
    return true;
}

Ref<NSString> TallyHTTPResponse::description() {
    Ref<NSString> text = body_ ? make<NSString>(&NSString::initWithBytes, body_->bytes(),
                                                body_->length(), NSUTF8StringEncoding)
                               : nullptr;
    return NSString::stringWithFormat(NS("status:%d error:%@ body:%@"), statusCode_,
                                      error_ ? error_->localizedDescription() : nullptr, text);
}

Ref<NSString> TallyHTTPResponse::filePath(int seconds) {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return NSString::stringWithFormat(NS("%@/tallyResponse%d"), dirs->objectAtIndex(0), seconds);
}

void TallyHTTPResponse::saveToDisk() {
    auto plist = NSMutableDictionary::dictionary();
    plist->setObject(NSNumber::numberWithInt(statusCode_), NS("statusCode"));
    if (body_) plist->setObject(body_, NS("body"));
    if (headers_) plist->setObject(headers_, NS("headers"));
    plist->writeToFile(filePath(static_cast<int>(NSDate::date()->timeIntervalSince1970())), true);
}

Ref<TallyHTTPResponse> TallyHTTPResponse::readFromURL(NSString* urlString) {
    auto url = NSURL::URLWithString(urlString);
    if (!url) return nullptr;
    Ref<NSDictionary> plist;
    if (url->isFileURL()) {
        plist = NSDictionary::dictionaryWithContentsOfFile(url->path());
    } else {
        Ref<NSURLResponse> response;
        Ref<NSError> error;
        auto data = NSURLConnection::sendSynchronousRequest(NSURLRequest::requestWithURL(url),
                                                            &response, &error);
        if (data)
            plist = as<NSDictionary>(
                NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, nullptr));
    }
    auto status = plist ? as<NSNumber>(plist->objectForKey(NS("statusCode"))) : nullptr;
    return make<TallyHTTPResponse>(
        &TallyHTTPResponse::initWithBody,
        plist ? as<NSData>(plist->objectForKey(NS("body"))).get() : nullptr,
        status ? status->intValue() : 0,
        plist ? as<NSDictionary>(plist->objectForKey(NS("headers"))).get() : nullptr,
        static_cast<NSError*>(nullptr));
}

// ---- the connection delegate ----------------------------------------------------------------

bool TallyConnectionDelegate::init() {
    body_ = NSMutableData::data();
    condition_ = make<NSCondition>();
    return true;
}

bool TallyConnectionDelegate::isDone() {
    condition_->lock();
    bool done = done_;
    condition_->unlock();
    return done;
}

void TallyConnectionDelegate::setReplyHandler(ReplyHandler handler) {
    condition_->lock();
    onReply_ = std::move(handler);
    condition_->unlock();
}

Ref<TallyHTTPResponse> TallyConnectionDelegate::makeResponse() {
    return make<TallyHTTPResponse>(
        static_cast<bool (TallyHTTPResponse::*)(NSURLResponse*, NSData*, NSError*)>(
            &TallyHTTPResponse::initWithResponse),
        response_.get(), static_cast<NSData*>(body_.get()), error_.get());
}

void TallyConnectionDelegate::finish() {
    condition_->lock();
    ReplyHandler handler = abandoned_ ? nullptr : std::move(onReply_);
    onReply_ = nullptr;
    condition_->unlock();
    // Before the waiter wakes: whatever the main thread runs next finds the reply booked.
    if (handler) handler(makeResponse().get());
    condition_->lock();
    done_ = true;
    condition_->broadcast();
    condition_->unlock();
}

bool TallyConnectionDelegate::waitUntilDone(double seconds) {
    auto limit = NSDate::dateWithTimeIntervalSinceNow(seconds);
    condition_->lock();
    while (!done_ && condition_->waitUntilDate(limit)) {
    }
    bool done = done_;
    if (!done) abandoned_ = true;
    condition_->unlock();
    return done;
}

Ref<NSURLRequest> TallyConnectionDelegate::connectionWillSendRequest(NSURLConnection*,
                                                                     NSURLRequest* request,
                                                                     NSURLResponse*) {
    return request;
}

void TallyConnectionDelegate::connectionDidReceiveAuthenticationChallenge(
    NSURLConnection*, NSURLAuthenticationChallenge* challenge) {
    challenge->sender()->useCredential(challenge->proposedCredential(), challenge);
}

void TallyConnectionDelegate::connectionDidCancelAuthenticationChallenge(
    NSURLConnection*, NSURLAuthenticationChallenge*) {
    finish();
}

void TallyConnectionDelegate::connectionDidReceiveResponse(NSURLConnection*,
                                                           NSURLResponse* response) {
    TallyUtil::debugLog(NS("Tally: HTTP connection delegate received response[%@]"), response);
    response_ = response;
}

void TallyConnectionDelegate::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    body_->appendData(data);
}

void TallyConnectionDelegate::connectionDidFinishLoading(NSURLConnection*) {
    finish();
}

void TallyConnectionDelegate::connectionDidFailWithError(NSURLConnection*, NSError* error) {
    error_ = error;
    finish();
}

Ref<NSCachedURLResponse> TallyConnectionDelegate::connectionWillCacheResponse(
    NSURLConnection*, NSCachedURLResponse*) {
    return nullptr;
}

// ---- sending --------------------------------------------------------------------------------

namespace {

// A hidden web view that carries one upload: it keeps itself (and its view) alive until the
// load ends, since nobody else holds the view.
class TallyWebViewUpload : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(TallyWebViewUpload, NSObject)

public:
    static void load(NSURLRequest* request) {
        auto upload = make<TallyWebViewUpload>();
        upload->view_ = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(10, 10, 10, 10));
        upload->view_->setDelegate(upload.get());
        inFlight()->addObject(upload);
        upload->view_->loadRequest(request);
    }
    void webViewDidFinishLoad(UIWebView*) override { finish(); }
    void webViewDidFailLoadWithError(UIWebView*, NSError*) override { finish(); }

private:
    static Ref<NSMutableArray> inFlight() {
        static ProcessWide<NSMutableArray> uploads;
        return uploads.get();
    }
    void finish() {
        Ref<TallyWebViewUpload> keep(this);
        view_->setDelegate(nullptr);
        inFlight()->removeObjectIdenticalTo(this);
    }
    Ref<UIWebView> view_;
};

Ref<NSURL> urlOf(NSObject* target) {
    if (auto url = as<NSURL>(target)) return url;
    if (auto text = as<NSString>(target)) return NSURL::URLWithString(text);
    return nullptr;
}

}  // namespace

Ref<TallyHTTPResponse> TallyHTTPEater::get(NSObject* target) {
    return get(target, nullptr);
}

Ref<TallyHTTPResponse> TallyHTTPEater::get(NSObject* target, NSDictionary* headerFields) {
    return sendMethod(NS("GET"), urlOf(target), nullptr, headerFields, 20);
}

Ref<TallyHTTPResponse> TallyHTTPEater::post(NSObject* target, NSData* body) {
    return post(target, body, nullptr);
}

Ref<TallyHTTPResponse> TallyHTTPEater::post(NSObject* target, NSData* body,
                                            NSDictionary* headerFields) {
    return sendMethod(NS("POST"), urlOf(target), body, headerFields, 20);
}

Ref<NSString> TallyHTTPEater::queryDictionaryToString(NSDictionary* query) {
    auto pairs = NSMutableArray::array();
    if (query) {
        query->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value, bool*) {
            pairs->addObject(NSString::stringWithFormat(NS("%@=%@"), key, value));
        });
    }
    return pairs->componentsJoinedByString(NS("&"));
}

Ref<NSURL> TallyHTTPEater::urlWithProtocol(NSString* protocol, NSString* host, int port,
                                           NSString* path, NSObject* query) {
    auto text =
        NSMutableString::stringWithFormat(NS("%@://%@"), protocol ? protocol : NS("http"), host);
    if (port != 0 && port != 80) text->appendFormat(NS(":%d"), port);
    if (path) text->appendFormat(NS("/%@"), path);
    if (auto dictionary = as<NSDictionary>(query))
        text->appendFormat(NS("?%@"), queryDictionaryToString(dictionary));
    else if (query)
        text->appendFormat(NS("?%@"), query);
    return NSURL::URLWithString(text);
}

Ref<TallyHTTPResponse> TallyHTTPEater::sendMethod(NSString* method, NSURL* url, NSData* body,
                                                  NSDictionary* headerFields, int timeoutInterval,
                                                  bool useWebView,
                                                  TallyConnectionDelegate::ReplyHandler onReply) {
    TallyUtil::debugLog(NS("Tally: %@: %@"), method, url);
    // The request is neither answered from a cache nor stored in one; the process-wide cache
    // keeps its capacities for everyone else.
    auto request = NSMutableURLRequest::requestWithURL(
        url, NSURLRequestReloadIgnoringLocalAndRemoteCacheData, timeoutInterval);
    request->setAllHTTPHeaderFields(headerFields);
    request->setHTTPMethod(method);
    request->setHTTPBody(body);
    request->setHTTPShouldHandleCookies(false);

    if (useWebView) {
        Ref<NSURLRequest> loaded = request;
        NSRunLoop::performOnMainThread([loaded] { TallyWebViewUpload::load(loaded); }, true);
        return nullptr;
    }
    auto delegate = make<TallyConnectionDelegate>();
    if (onReply) delegate->setReplyHandler(std::move(onReply));
    auto connection = make<NSURLConnection>(
        static_cast<bool (NSURLConnection::*)(NSURLRequest*, NSURLConnectionDelegate*, bool)>(
            &NSURLConnection::initWithRequest),
        request.get(), static_cast<NSURLConnectionDelegate*>(delegate.get()), false);
    connection->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
    connection->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSDefaultRunLoopMode);
    connection->start();
    if (NSThread::isMainThread()) {
        while (!delegate->isDone())
            NSRunLoop::currentRunLoop()->runMode(NSDefaultRunLoopMode, NSDate::distantFuture());
    } else {
        // The connection's own time-out ends it; the margin covers a main loop that is slow to
        // run it, and a thread that gives up cancels what it no longer waits for.
        if (!delegate->waitUntilDone(timeoutInterval + 10.0)) connection->cancel();
    }
    auto response = delegate->makeResponse();
    TallyUtil::debugLog(NS("Tally: HTTP Response[%@]"), response->description());
    return response;
}
