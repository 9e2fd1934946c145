#include "ui/core/DZURLRequestQueue.h"

#include <algorithm>
#include <limits>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLError.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIImage.h"
#include "URLLoading/NSURLAuthenticationChallenge.h"
#include "URLLoading/NSURLResponse.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequest.h"

namespace {
constexpr int32_t kMaxConcurrentLoads = 5;
constexpr NSTimeInterval kLoaderQueueDelay = 0.3;
constexpr NSTimeInterval kRequestTimeout = 300;
// A loader reserves at most this much up front when the response announces no limit of its own.
constexpr uint32_t kLargestReservation = 1 << 20;

bool hasBits(int32_t policy, int32_t bits) {
    return (policy & bits) == bits;
}

ProcessWide<DZURLRequestQueue>& mainSlot() {
    static ProcessWide<DZURLRequestQueue> slot;
    return slot;
}

Ref<NSError> urlError(NSInteger code) {
    return NSError::errorWithDomain(NSURLErrorDomain, code, nullptr);
}

// The text from the first double quote through the next one, quotes kept; nil with fewer than
// two quotes. A weak tag (W/"x") gives its quoted value.
Ref<NSString> quotedEtag(NSString* value) {
    if (!value) return nullptr;
    std::string text = value->utf8();
    size_t open = text.find('"');
    if (open == std::string::npos) return nullptr;
    size_t close = text.find('"', open + 1);
    if (close == std::string::npos) return nullptr;
    return NSString::stringWithUTF8String(text.substr(open, close - open + 1).c_str());
}
}  // namespace

// ---- the queue --------------------------------------------------------------------------------

void DZURLRequestQueue::describeClass(RuntimeClass&) {}

Ref<DZURLRequestQueue> DZURLRequestQueue::mainQueue() {
    return mainSlot().get();
}

void DZURLRequestQueue::setMainQueue(DZURLRequestQueue* queue) {
    if (mainSlot().peek().get() != queue) mainSlot().exchange(queue);
}

bool DZURLRequestQueue::init() {
    loaders_ = NSMutableDictionary::dictionary();
    loaderQueue_ = NSMutableArray::array();
    liveLoaders_ = NSMutableArray::array();
    maxContentLength_ = 150000;
    imageCompressionQuality_ = 0.75f;
    return true;
}

void DZURLRequestQueue::dealloc() {
    if (auto timer = loaderQueueTimer_.lock()) timer->invalidate();
    NSObject::dealloc();
}

void DZURLRequestQueue::setUserAgent(NSString* agent) {
    userAgent_ = agent ? agent->copy() : nullptr;
}

NSUInteger DZURLRequestQueue::waitingCount() {
    return loaderQueue_->count();
}

bool DZURLRequestQueue::hasPendingTimer() {
    auto timer = loaderQueueTimer_.lock();
    return timer && timer->isValid();
}

// ---- the cache --------------------------------------------------------------------------------

Ref<NSData> DZURLRequestQueue::loadFromBundle(NSString* url, Ref<NSError>* error) {
    Ref<NSData> data =
        NSData::dataWithContentsOfFile(DZBundleResourcePath(url->substringFromIndex(9)));
    if (!data && error) *error = NSError::errorWithDomain(NSCocoaErrorDomain, 260, nullptr);
    return data;
}

Ref<NSData> DZURLRequestQueue::loadFromDocuments(NSString* url, Ref<NSError>* error) {
    Ref<NSData> data =
        NSData::dataWithContentsOfFile(DZDocumentsResourcePath(url->substringFromIndex(12)));
    if (!data && error) *error = NSError::errorWithDomain(NSCocoaErrorDomain, 260, nullptr);
    return data;
}

bool DZURLRequestQueue::loadFromCache(NSString* url, NSString* cacheKey,
                                      NSTimeInterval expirationAge, bool fromDisk,
                                      Ref<NSObject>* data, Ref<NSError>* error,
                                      Ref<NSDate>* timestamp) {
    if (!data || !url) return false;
    Ref<DZURLCache> cache = DZURLCache::sharedCache();
    if (Ref<UIImage> image = cache->imageForURL(url, fromDisk)) {
        *data = image;
        return true;
    }
    if (!fromDisk) return false;
    if (DZHasBundleScheme(url)) {
        *data = loadFromBundle(url, error);
        return true;
    }
    if (DZHasDocumentsScheme(url)) {
        *data = loadFromDocuments(url, error);
        return true;
    }
    Ref<NSData> bytes = cache->dataForKey(cacheKey, expirationAge, timestamp);
    if (!bytes) return false;
    *data = bytes;
    return true;
}

bool DZURLRequestQueue::cacheDataExists(NSString* url, NSString* cacheKey,
                                        NSTimeInterval expirationAge, bool fromDisk) {
    Ref<DZURLCache> cache = DZURLCache::sharedCache();
    bool inMemory = cache->hasImageForURL(url, fromDisk);
    if (inMemory || !fromDisk) return inMemory;
    Ref<NSFileManager> files = NSFileManager::defaultManager();
    if (DZHasBundleScheme(url)) {
        return files->fileExistsAtPath(DZBundleResourcePath(url->substringFromIndex(9)));
    }
    if (DZHasDocumentsScheme(url)) {
        return files->fileExistsAtPath(DZDocumentsResourcePath(url->substringFromIndex(12)));
    }
    return cache->hasDataForKey(cacheKey, expirationAge);
}

bool DZURLRequestQueue::loadRequestFromCache(DZURLRequest* request) {
    int32_t policy = request->cachePolicy();
    if (hasBits(policy, DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyEtag)) return false;
    if (!(policy & (DZURLRequestCachePolicyMemory | DZURLRequestCachePolicyDisk))) return false;
    bool fromDisk = !suspended_ && (policy & DZURLRequestCachePolicyDisk);
    Ref<NSObject> data;
    Ref<NSError> error;
    Ref<NSDate> timestamp;
    if (!loadFromCache(request->urlPath(), request->cacheKey(), request->cacheExpirationAge(),
                       fromDisk, &data, &error, &timestamp)) {
        return false;
    }
    request->setIsLoading(false);
    if (!error) {
        if (DZURLResponse* processor = request->responseProcessor()) {
            // A processor that cannot use the copy fails the request rather than leaving it
            // "finished" with nothing.
            error = processor->requestProcessResponse(request, nullptr, data);
        }
    }
    if (!error) {
        request->setTimestamp(timestamp ? timestamp : NSDate::date());
        request->setRespondedFromCache(true);
        request->notifyDidFinishLoad();
    } else {
        request->notifyDidFailLoadWithError(error);
    }
    return true;
}

// ---- sending ----------------------------------------------------------------------------------

// The first steps of every send: the cache, the start, a missing URL. YES when the request
// goes on to a download.
bool DZURLRequestQueue::beginSend(DZURLRequest* request, bool* answered) {
    *answered = loadRequestFromCache(request);
    if (*answered) return false;
    request->markDelegates();
    request->notifyDidStartLoad();
    if (!request->urlPath() || request->urlPath()->length() == 0) {
        request->notifyDidFailLoadWithError(urlError(NSURLErrorBadURL));
        return false;
    }
    request->setIsLoading(true);
    return true;
}

bool DZURLRequestQueue::sendRequest(DZURLRequest* request) {
    Ref<DZURLRequest> keep(request);
    bool answered = false;
    if (!beginSend(request, &answered)) return answered;
    Ref<NSString> method = request->httpMethod();
    bool postOrPut =
        method && (method->isEqualToString(NS("POST")) || method->isEqualToString(NS("PUT")));
    Ref<NSString> key = request->cacheKey();
    if (!postOrPut) {
        if (auto loader = as<DZRequestLoader>(loaders_->objectForKey(key))) {
            loader->addRequest(request);
            return false;
        }
    }
    auto loader = make<DZRequestLoader>(&DZRequestLoader::initForRequest, request, this);
    loaders_->setObject(loader, key);
    liveLoaders_->addObject(loader);
    if (!suspended_ && totalLoading_ < kMaxConcurrentLoads) {
        ++totalLoading_;
        loader->load(NSURL::URLWithString(request->urlPath()));
    } else {
        loaderQueue_->addObject(loader);
    }
    return false;
}

bool DZURLRequestQueue::sendSynchronousRequest(DZURLRequest* request) {
    Ref<DZURLRequest> keep(request);
    bool answered = false;
    if (!beginSend(request, &answered)) return answered;
    auto loader = make<DZRequestLoader>(&DZRequestLoader::initForRequest, request, this);
    ++totalLoading_;
    loader->loadSynchronously(NSURL::URLWithString(request->urlPath()));
    return false;
}

Ref<NSMutableURLRequest> DZURLRequestQueue::createNSURLRequest(DZURLRequest* request, NSURL* url) {
    Ref<NSURL> target = url;
    if (!target && request) target = NSURL::URLWithString(request->urlPath());
    auto platform = NSMutableURLRequest::requestWithURL(
        target, NSURLRequestReloadIgnoringLocalCacheData, kRequestTimeout);
    if (userAgent_) platform->setValueForHTTPHeaderField(userAgent_, NS("User-Agent"));
    if (!request) return platform;
    platform->setHTTPShouldHandleCookies(request->shouldHandleCookies());
    if (Ref<NSString> method = request->httpMethod()) platform->setHTTPMethod(method);
    if (Ref<NSString> type = request->contentType()) {
        platform->setValueForHTTPHeaderField(type, NS("Content-Type"));
    }
    if (Ref<NSData> body = request->httpBody()) platform->setHTTPBody(body);
    if (Ref<NSMutableDictionary> headers = request->headers()) {
        Ref<NSArray> fields = headers->allKeys();
        for (NSObject* field : *fields) {
            platform->setValueForHTTPHeaderField(as<NSString>(headers->objectForKey(field)),
                                                 static_cast<NSString*>(field));
        }
    }
    Ref<DZURLCache> cache = DZURLCache::sharedCache();
    int32_t policy = request->cachePolicy();
    if (!cache->disableDiskCache() &&
        hasBits(policy, DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyEtag)) {
        Ref<NSString> etag = cache->etagForKey(request->cacheKey());
        bool fromDisk = !suspended_ && (policy & DZURLRequestCachePolicyDisk);
        if (DZIsNonEmptyString(etag) && cacheDataExists(request->urlPath(), request->cacheKey(),
                                                        request->cacheExpirationAge(), fromDisk)) {
            platform->setValueForHTTPHeaderField(etag, NS("If-None-Match"));
        }
    }
    return platform;
}

// ---- scheduling -------------------------------------------------------------------------------

void DZURLRequestQueue::loadNextInQueue() {
    if (auto timer = loaderQueueTimer_.lock()) timer->invalidate();
    loaderQueueTimer_ = nullptr;
    for (int i = 0; i < kMaxConcurrentLoads; ++i) {
        if (totalLoading_ >= kMaxConcurrentLoads || loaderQueue_->count() == 0) break;
        Ref<DZRequestLoader> loader = cast<DZRequestLoader>(loaderQueue_->objectAtIndex(0));
        loaderQueue_->removeObjectAtIndex(0);
        executeLoader(loader);
    }
    if (loaderQueue_->count() > 0 && !suspended_) loadNextInQueueDelayed();
}

void DZURLRequestQueue::loadNextInQueueDelayed() {
    if (hasPendingTimer()) return;
    Weak<DZURLRequestQueue> weakSelf(this);
    loaderQueueTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(kLoaderQueueDelay, false, [weakSelf](NSTimer*) {
            if (auto queue = weakSelf.lock()) queue->loadNextInQueue();
        });
}

void DZURLRequestQueue::executeLoader(DZRequestLoader* loader) {
    Ref<DZRequestLoader> keep(loader);
    int32_t policy = loader->cachePolicy();
    if (policy & (DZURLRequestCachePolicyMemory | DZURLRequestCachePolicyDisk)) {
        Ref<NSObject> data;
        Ref<NSError> error;
        Ref<NSDate> timestamp;
        // A waiting loader reads disk whether or not the queue is suspended: it is executed
        // only once loads end or the queue resumes.
        if (loadFromCache(loader->urlPath(), loader->cacheKey(), loader->cacheExpirationAge(),
                          policy & DZURLRequestCachePolicyDisk, &data, &error, &timestamp)) {
            if (loaders_->objectForKey(loader->cacheKey()) == loader) {
                loaders_->removeObjectForKey(loader->cacheKey());
            }
            liveLoaders_->removeObjectIdenticalTo(loader);
            if (!error) error = loader->processResponse(nullptr, data);
            if (error) {
                loader->dispatchError(error);
            } else {
                loader->dispatchLoaded(timestamp);
            }
            return;
        }
    }
    ++totalLoading_;
    loader->load(NSURL::URLWithString(loader->urlPath()));
}

void DZURLRequestQueue::setSuspended(bool suspended) {
    suspended_ = suspended;
    if (suspended) {
        if (auto timer = loaderQueueTimer_.lock()) timer->invalidate();
        loaderQueueTimer_ = nullptr;
    } else {
        loadNextInQueue();
    }
}

void DZURLRequestQueue::removeLoader(DZRequestLoader* loader) {
    --totalLoading_;
    // Only the loader's own entry: another loader may have taken its key since.
    if (loaders_->objectForKey(loader->cacheKey()) == loader) {
        loaders_->removeObjectForKey(loader->cacheKey());
    }
    liveLoaders_->removeObjectIdenticalTo(loader);
}

// ---- loader callbacks -------------------------------------------------------------------------

void DZURLRequestQueue::loaderDidLoadResponse(DZRequestLoader* loader, NSHTTPURLResponse* response,
                                              NSData* data) {
    Ref<DZRequestLoader> keep(loader);
    removeLoader(loader);
    Ref<NSError> error = loader->processResponse(response, data);
    int32_t policy = loader->cachePolicy();
    if (!error && !(policy & DZURLRequestCachePolicyNoStore)) {
        Ref<DZURLCache> cache = DZURLCache::sharedCache();
        if (!cache->disableDiskCache() &&
            hasBits(policy, DZURLRequestCachePolicyDisk | DZURLRequestCachePolicyEtag)) {
            Ref<NSString> etag = quotedEtag(response->valueForHTTPHeaderField(NS("ETag")));
            if (etag) cache->storeEtag(etag, loader->cacheKey());
        }
        cache->storeDataForKey(data, loader->cacheKey());
    }
    if (!error) {
        loader->dispatchLoaded(NSDate::date());
    } else {
        loader->dispatchError(error);
    }
    loadNextInQueue();
}

void DZURLRequestQueue::loaderDidLoadUnmodifiedResponse(DZRequestLoader* loader,
                                                        NSHTTPURLResponse* response) {
    Ref<DZRequestLoader> keep(loader);
    int32_t policy = loader->cachePolicy();
    Ref<NSObject> data;
    Ref<NSError> error;
    bool found = loadFromCache(
        loader->urlPath(), loader->cacheKey(), std::numeric_limits<double>::infinity(),
        !suspended_ && (policy & DZURLRequestCachePolicyDisk), &data, &error, nullptr);
    if (!found && !loader->revalidationDropped()) {
        // The copy the server confirmed is gone: ask once more for the whole resource.
        loader->reloadWithoutEtag();
        return;
    }
    removeLoader(loader);
    if (!found) {
        loader->dispatchError(urlError(304));
    } else {
        if (!error) error = loader->processResponse(response, data);
        if (error) {
            loader->dispatchError(error);
        } else {
            Ref<NSArray> requests = loader->requests()->copy();
            for (NSObject* r : *requests)
                static_cast<DZURLRequest*>(r)->setRespondedFromCache(true);
            loader->dispatchLoaded(NSDate::date());
        }
    }
    loadNextInQueue();
}

bool DZURLRequestQueue::loaderDidReceiveAuthenticationChallenge(
    DZRequestLoader* loader, NSURLAuthenticationChallenge* challenge) {
    return loader->dispatchAuthenticationChallenge(challenge);
}

void DZURLRequestQueue::loaderDidFailLoadWithError(DZRequestLoader* loader, NSError* error) {
    Ref<DZRequestLoader> keep(loader);
    removeLoader(loader);
    loader->dispatchError(error);
    loadNextInQueue();
}

void DZURLRequestQueue::loaderDidCancel(DZRequestLoader* loader, bool wasLoading) {
    Ref<DZRequestLoader> keep(loader);
    if (wasLoading) {
        removeLoader(loader);
        loadNextInQueue();
        return;
    }
    if (loaders_->objectForKey(loader->cacheKey()) == loader) {
        loaders_->removeObjectForKey(loader->cacheKey());
    }
    liveLoaders_->removeObjectIdenticalTo(loader);
    loaderQueue_->removeObjectIdenticalTo(loader);
}

// ---- cancelling -------------------------------------------------------------------------------

DZRequestLoader* DZURLRequestQueue::loaderForRequest(DZURLRequest* request) {
    auto owner = as<DZRequestLoader>(loaders_->objectForKey(request->cacheKey()));
    if (owner && owner->requests()->indexOfObjectIdenticalTo(request) != NSNotFound) {
        return owner.get();
    }
    // A POST or PUT loader whose key another loader has taken since.
    for (NSObject* object : *liveLoaders_) {
        auto* loader = static_cast<DZRequestLoader*>(object);
        if (loader->requests()->indexOfObjectIdenticalTo(request) != NSNotFound) return loader;
    }
    return owner.get();
}

void DZURLRequestQueue::cancelRequest(DZURLRequest* request) {
    if (!request) return;
    Ref<DZURLRequest> keep(request);
    Ref<DZRequestLoader> loader(loaderForRequest(request));
    if (loader && !loader->cancel(request)) loaderQueue_->removeObjectIdenticalTo(loader);
}

void DZURLRequestQueue::cancelRequestsWithDelegate(NSObject* delegate) {
    if (!delegate) return;
    Ref<NSMutableArray> matches = NSMutableArray::array();
    Ref<NSArray> loaders = liveLoaders_->copy();
    for (NSObject* object : *loaders) {
        Ref<NSArray> requests = static_cast<DZRequestLoader*>(object)->requests()->copy();
        for (NSObject* r : *requests) {
            auto* request = static_cast<DZURLRequest*>(r);
            auto info = as<DZUserInfo>(request->userInfo());
            if (request->hasDelegate(delegate) || (info && info->refersTo(delegate))) {
                matches->addObject(request);
            }
        }
    }
    for (NSObject* r : *matches)
        cancelRequest(static_cast<DZURLRequest*>(r));
}

void DZURLRequestQueue::cancelAllRequests() {
    Ref<NSArray> loaders = liveLoaders_->copy();
    for (NSObject* loader : *loaders)
        static_cast<DZRequestLoader*>(loader)->cancel();
}

// ---- the loader -------------------------------------------------------------------------------

bool DZRequestLoader::initForRequest(DZURLRequest* request, DZURLRequestQueue* queue) {
    urlPath_ = request->urlPath() ? request->urlPath()->copy() : nullptr;
    queue_ = queue;
    cacheKey_ = request->cacheKey();
    cachePolicy_ = request->cachePolicy();
    cacheExpirationAge_ = request->cacheExpirationAge();
    requests_ = NSMutableArray::arrayWithObject(request);
    retriesLeft_ = 2;
    return true;
}

void DZRequestLoader::dealloc() {
    if (connection_) {
        DZNetworkActivityEnd();
        connection_->cancel();
        connection_ = nullptr;
    }
    NSObject::dealloc();
}

void DZRequestLoader::addRequest(DZURLRequest* request) {
    requests_->addObject(request);
}

void DZRequestLoader::removeRequest(DZURLRequest* request) {
    requests_->removeObjectIdenticalTo(request);
}

Ref<NSMutableURLRequest> DZRequestLoader::platformRequest(NSURL* url) {
    auto queue = queue_.lock();
    Ref<DZURLRequest> only =
        requests_->count() == 1 ? cast<DZURLRequest>(requests_->objectAtIndex(0)) : nullptr;
    Ref<NSMutableURLRequest> request =
        queue ? queue->createNSURLRequest(only, url)
              : NSMutableURLRequest::requestWithURL(url, NSURLRequestReloadIgnoringLocalCacheData,
                                                    kRequestTimeout);
    if (dropEtag_) request->setValueForHTTPHeaderField(nullptr, NS("If-None-Match"));
    return request;
}

void DZRequestLoader::load(NSURL* url) {
    if (!connection_) connectToURL(url);
}

void DZRequestLoader::connectToURL(NSURL* url) {
    DZNetworkActivityBegin();
    Ref<NSMutableURLRequest> request = platformRequest(url);
    connection_ = NSURLConnection::connectionWithRequest(request, this);
}

void DZRequestLoader::loadSynchronously(NSURL* url) {
    Ref<DZRequestLoader> keep(this);
    synchronous_ = true;
    loadingSynchronously_ = true;
    DZNetworkActivityBegin();
    Ref<NSMutableURLRequest> request = platformRequest(url);
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    Ref<NSData> data = NSURLConnection::sendSynchronousRequest(request, &response, &error);
    if (!data) {
        loadingSynchronously_ = false;
        DZNetworkActivityEnd();
        responseData_ = nullptr;
        if (auto queue = queue_.lock()) queue->loaderDidFailLoadWithError(this, error);
        return;
    }
    connectionDidReceiveResponse(nullptr, response);
    if (cancelled_) return;
    connectionDidReceiveData(nullptr, data);
    connectionDidFinishLoading(nullptr);
}

void DZRequestLoader::reloadWithoutEtag() {
    dropEtag_ = true;
    Ref<NSURL> url = NSURL::URLWithString(urlPath_);
    if (synchronous_) {
        loadSynchronously(url);
    } else {
        load(url);
    }
}

void DZRequestLoader::endConnection() {
    if (!isLoading()) return;
    DZNetworkActivityEnd();
    loadingSynchronously_ = false;
    if (connection_) connection_->cancel();
    connection_ = nullptr;
}

bool DZRequestLoader::cancel(DZURLRequest* request) {
    Ref<DZRequestLoader> keep(this);
    if (request && requests_->indexOfObjectIdenticalTo(request) != NSNotFound) {
        Ref<DZURLRequest> held(request);
        request->setIsLoading(false);
        request->notifyDidCancelLoad();
        requests_->removeObjectIdenticalTo(request);
    }
    if (requests_->count() > 0) return true;
    if (cancelled_) return false;
    cancelled_ = true;
    if (auto queue = queue_.lock()) queue->loaderDidCancel(this, isLoading());
    endConnection();
    return false;
}

void DZRequestLoader::cancel() {
    Ref<DZRequestLoader> keep(this);
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests)
        cancel(static_cast<DZURLRequest*>(r));
}

Ref<NSError> DZRequestLoader::processResponse(NSHTTPURLResponse* response, NSObject* data) {
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests) {
        auto* request = static_cast<DZURLRequest*>(r);
        if (DZURLResponse* processor = request->responseProcessor()) {
            if (Ref<NSError> error = processor->requestProcessResponse(request, response, data)) {
                return error;
            }
        }
    }
    return nullptr;
}

void DZRequestLoader::dispatchLoadedBytes(NSInteger loaded, NSInteger expected) {
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests) {
        auto* request = static_cast<DZURLRequest*>(r);
        request->setTotalBytesLoaded(static_cast<int32_t>(loaded));
        request->setTotalBytesExpected(static_cast<int32_t>(expected));
        request->notifyDidUploadData();
    }
}

void DZRequestLoader::dispatchError(NSError* error) {
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests) {
        auto* request = static_cast<DZURLRequest*>(r);
        request->setIsLoading(false);
        request->notifyDidFailLoadWithError(error);
    }
}

void DZRequestLoader::dispatchLoaded(NSDate* timestamp) {
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests) {
        auto* request = static_cast<DZURLRequest*>(r);
        request->setTimestamp(timestamp);
        request->setIsLoading(false);
        request->notifyDidFinishLoad();
    }
}

bool DZRequestLoader::dispatchAuthenticationChallenge(NSURLAuthenticationChallenge* challenge) {
    bool answered = false;
    Ref<NSArray> requests = requests_->copy();
    for (NSObject* r : *requests) {
        if (static_cast<DZURLRequest*>(r)->notifyDidReceiveAuthenticationChallenge(challenge)) {
            answered = true;
        }
    }
    return answered;
}

// ---- the URL connection's delegate ------------------------------------------------------------

void DZRequestLoader::connectionDidSendBodyData(NSURLConnection*, NSInteger,
                                                NSInteger totalBytesWritten,
                                                NSInteger totalBytesExpectedToWrite) {
    if (cancelled_) return;
    dispatchLoadedBytes(totalBytesWritten, totalBytesExpectedToWrite);
}

void DZRequestLoader::connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* response) {
    if (cancelled_) return;
    Ref<DZRequestLoader> keep(this);
    response_ = as<NSHTTPURLResponse>(response);
    Ref<NSString> header =
        response_ ? response_->valueForHTTPHeaderField(NS("Content-Length")) : nullptr;
    int32_t length = header ? header->intValue() : 0;
    uint32_t limit = 0;
    if (auto queue = queue_.lock()) limit = queue->maxContentLength();
    // Compared unsigned: a negative length is no smaller than any limit.
    if (limit != 0 && static_cast<uint32_t>(length) > limit) {
        cancel();
        return;
    }
    // The announced length is only a hint; what is reserved up front stays bounded.
    uint32_t reserve = std::min(static_cast<uint32_t>(std::max(length, 0)),
                                limit != 0 ? limit : kLargestReservation);
    responseData_ = NSMutableData::dataWithCapacity(reserve);
}

void DZRequestLoader::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    if (cancelled_) return;
    if (!responseData_) responseData_ = NSMutableData::data();
    responseData_->appendData(data);
}

Ref<NSCachedURLResponse> DZRequestLoader::connectionWillCacheResponse(NSURLConnection*,
                                                                      NSCachedURLResponse*) {
    return nullptr;
}

void DZRequestLoader::connectionDidFinishLoading(NSURLConnection*) {
    if (cancelled_) return;
    Ref<DZRequestLoader> keep(this);
    DZNetworkActivityEnd();
    // The load is over before the queue hears of it: a cancel from one of the callbacks then
    // finds no download to stop, and a reload may open a new connection.
    Ref<NSHTTPURLResponse> response = response_;
    Ref<NSData> data = responseData_ ? Ref<NSData>(responseData_) : NSData::data();
    responseData_ = nullptr;
    connection_ = nullptr;
    loadingSynchronously_ = false;
    auto queue = queue_.lock();
    if (!queue) return;
    NSInteger status = response ? response->statusCode() : 0;
    if (status >= 200 && status <= 299) {
        queue->loaderDidLoadResponse(this, response, data);
    } else if (status == 304) {
        queue->loaderDidLoadUnmodifiedResponse(this, response);
    } else {
        queue->loaderDidFailLoadWithError(this, urlError(status));
    }
}

void DZRequestLoader::connectionDidFailWithError(NSURLConnection*, NSError* error) {
    if (cancelled_) return;
    Ref<DZRequestLoader> keep(this);
    DZNetworkActivityEnd();
    responseData_ = nullptr;
    connection_ = nullptr;
    loadingSynchronously_ = false;
    if (error && error->domain()->isEqualToString(NSURLErrorDomain) &&
        error->code() == NSURLErrorCannotFindHost && retriesLeft_ > 0) {
        --retriesLeft_;
        Ref<NSURL> url = NSURL::URLWithString(urlPath_);
        if (synchronous_) {
            loadSynchronously(url);
        } else {
            load(url);
        }
        return;
    }
    if (auto queue = queue_.lock()) queue->loaderDidFailLoadWithError(this, error);
}

void DZRequestLoader::connectionDidReceiveAuthenticationChallenge(
    NSURLConnection*, NSURLAuthenticationChallenge* challenge) {
    auto queue = queue_.lock();
    if (queue && queue->loaderDidReceiveAuthenticationChallenge(this, challenge)) return;
    // Nobody can answer: go on without credentials, so the server's refusal ends the load.
    challenge->sender()->continueWithoutCredentialForAuthenticationChallenge(challenge);
}
