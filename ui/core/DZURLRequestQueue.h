// The framework's URL request queue: a request is answered from the URL cache when it can be,
// else downloaded over the platform's URL connection by a loader. At most five loaders download
// at once, the rest wait first in, first out; GET-like requests with one cache key share one
// loader. The queue can be suspended (while tables scroll): nothing is then read from disk at
// send time, and waiting loaders start only as running ones end. Main thread only.
#pragma once

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class DZRequestLoader;
class DZURLRequest;
class NSData;
class NSDate;
class NSError;
class NSHTTPURLResponse;
class NSMutableArray;
class NSMutableData;
class NSMutableDictionary;
class NSMutableURLRequest;
class NSString;
class NSTimer;
class NSURL;
class NSURLAuthenticationChallenge;

class DZURLRequestQueue : public NSObject {
    NS_OBJECT(DZURLRequestQueue, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<DZURLRequestQueue> mainQueue();
    static void setMainQueue(DZURLRequestQueue* queue);

    bool init() override;
    void dealloc() override;

    // YES when the cache answered (the delegates have been told, no start was sent).
    bool sendRequest(DZURLRequest* request);
    bool sendSynchronousRequest(DZURLRequest* request);
    void cancelRequest(DZURLRequest* request);
    // Every request of every loader, waiting ones included, that has the object among its
    // delegates or as the weakRef of its DZUserInfo. Works from the object's own dealloc.
    void cancelRequestsWithDelegate(NSObject* delegate);
    void cancelAllRequests();
    // The platform request for the URL (or the request's urlPath); with a request, its method,
    // body, headers and cookie setting, and "If-None-Match" when revalidating.
    virtual Ref<NSMutableURLRequest> createNSURLRequest(DZURLRequest* request, NSURL* url);

    uint32_t maxContentLength() { return maxContentLength_; }
    void setMaxContentLength(uint32_t length) { maxContentLength_ = length; }
    Ref<NSString> userAgent() { return userAgent_; }
    void setUserAgent(NSString* agent);
    float imageCompressionQuality() { return imageCompressionQuality_; }
    void setImageCompressionQuality(float quality) { imageCompressionQuality_ = quality; }
    bool suspended() { return suspended_; }
    void setSuspended(bool suspended);

    // For its loaders.
    void loaderDidLoadResponse(DZRequestLoader* loader, NSHTTPURLResponse* response, NSData* data);
    void loaderDidLoadUnmodifiedResponse(DZRequestLoader* loader, NSHTTPURLResponse* response);
    // NO when no delegate of the loader's requests takes challenges.
    bool loaderDidReceiveAuthenticationChallenge(DZRequestLoader* loader,
                                                 NSURLAuthenticationChallenge* challenge);
    void loaderDidFailLoadWithError(DZRequestLoader* loader, NSError* error);
    void loaderDidCancel(DZRequestLoader* loader, bool wasLoading);

    // Diagnostics and tests.
    int32_t totalLoading() { return totalLoading_; }
    NSUInteger waitingCount();
    bool hasPendingTimer();

private:
    bool loadRequestFromCache(DZURLRequest* request);
    bool beginSend(DZURLRequest* request, bool* answered);
    bool loadFromCache(NSString* url, NSString* cacheKey, NSTimeInterval expirationAge,
                       bool fromDisk, Ref<NSObject>* data, Ref<NSError>* error,
                       Ref<NSDate>* timestamp);
    bool cacheDataExists(NSString* url, NSString* cacheKey, NSTimeInterval expirationAge,
                         bool fromDisk);
    Ref<NSData> loadFromBundle(NSString* url, Ref<NSError>* error);
    Ref<NSData> loadFromDocuments(NSString* url, Ref<NSError>* error);
    void loadNextInQueue();
    void loadNextInQueueDelayed();
    void loadNextInQueueFromTimer(NSTimer* timer);
    void executeLoader(DZRequestLoader* loader);
    void removeLoader(DZRequestLoader* loader);
    DZRequestLoader* loaderForRequest(DZURLRequest* request);

    Ref<NSMutableDictionary> loaders_;  // cache key -> loader, one entry per key
    Ref<NSMutableArray> loaderQueue_;   // waiting, oldest first
    Ref<NSMutableArray> liveLoaders_;   // every loader downloading or waiting, for cancels
    Weak<NSTimer> loaderQueueTimer_;
    int32_t totalLoading_ = 0;
    uint32_t maxContentLength_ = 150000;
    Ref<NSString> userAgent_;
    float imageCompressionQuality_ = 0.75f;
    bool suspended_ = false;
};

// One download shared by one or more requests.
class DZRequestLoader : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(DZRequestLoader, NSObject)
    bool initForRequest(DZURLRequest* request, DZURLRequestQueue* queue);
    void dealloc() override;

    Ref<NSString> urlPath() { return urlPath_; }
    Ref<NSString> URL() { return urlPath_; }
    Ref<NSString> cacheKey() { return cacheKey_; }
    int32_t cachePolicy() { return cachePolicy_; }
    NSTimeInterval cacheExpirationAge() { return cacheExpirationAge_; }
    Ref<NSMutableArray> requests() { return requests_; }
    // Downloading: a connection is open, or a synchronous send runs.
    bool isLoading() { return connection_ != nullptr || loadingSynchronously_; }
    int32_t retriesLeft() { return retriesLeft_; }

    void addRequest(DZURLRequest* request);
    void removeRequest(DZURLRequest* request);
    void load(NSURL* url);
    void loadSynchronously(NSURL* url);
    // YES while other requests remain.
    bool cancel(DZURLRequest* request);
    void cancel();

    Ref<NSError> processResponse(NSHTTPURLResponse* response, NSObject* data);
    void dispatchLoadedBytes(NSInteger loaded, NSInteger expected);
    void dispatchError(NSError* error);
    void dispatchLoaded(NSDate* timestamp);
    bool dispatchAuthenticationChallenge(NSURLAuthenticationChallenge* challenge);

    // Once a 304 found no copy to answer with, the load goes again without "If-None-Match".
    bool revalidationDropped() { return dropEtag_; }
    void reloadWithoutEtag();

    // The URL connection's delegate.
    void connectionDidSendBodyData(NSURLConnection*, NSInteger bytesWritten,
                                   NSInteger totalBytesWritten,
                                   NSInteger totalBytesExpectedToWrite) override;
    void connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection*, NSData* data) override;
    Ref<NSCachedURLResponse> connectionWillCacheResponse(NSURLConnection*,
                                                         NSCachedURLResponse*) override;
    void connectionDidFinishLoading(NSURLConnection*) override;
    void connectionDidFailWithError(NSURLConnection*, NSError* error) override;
    void connectionDidReceiveAuthenticationChallenge(
        NSURLConnection*, NSURLAuthenticationChallenge* challenge) override;

private:
    void connectToURL(NSURL* url);
    Ref<NSMutableURLRequest> platformRequest(NSURL* url);
    void endConnection();

    Ref<NSString> urlPath_;
    Weak<DZURLRequestQueue> queue_;
    Ref<NSString> cacheKey_;
    int32_t cachePolicy_ = 0;
    NSTimeInterval cacheExpirationAge_ = 0;
    Ref<NSMutableArray> requests_;
    Ref<NSURLConnection> connection_;
    Ref<NSHTTPURLResponse> response_;
    Ref<NSMutableData> responseData_;
    int32_t retriesLeft_ = 2;
    bool dropEtag_ = false;
    bool cancelled_ = false;  // every request left; the connection's calls are ignored
    bool synchronous_ = false;
    bool loadingSynchronously_ = false;
};
