#include "ui/core/DZModel.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"
#include "ui/core/DZDelegateCalls.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLRequestQueue.h"

// ---- the plain model --------------------------------------------------------------------------

Ref<NSMutableArray> DZModel::delegates() {
    if (!delegates_) delegates_ = DZNewWeakMutableArray();
    return delegates_;
}

void DZModel::didStartLoad() {
    callDelegates<DZModelDelegate>(
        delegates_, "modelDidStartLoad:", [&](DZModelDelegate* d) { d->modelDidStartLoad(this); });
}

void DZModel::didFinishLoad() {
    callDelegates<DZModelDelegate>(delegates_, "modelDidFinishLoad:", [&](DZModelDelegate* d) {
        d->modelDidFinishLoad(this);
    });
}

void DZModel::didFailLoadWithError(NSError* error) {
    callDelegates<DZModelDelegate>(delegates_,
                                   "model:didFailLoadWithError:", [&](DZModelDelegate* d) {
                                       d->modelDidFailLoadWithError(this, error);
                                   });
}

void DZModel::didCancelLoad() {
    callDelegates<DZModelDelegate>(delegates_, "modelDidCancelLoad:", [&](DZModelDelegate* d) {
        d->modelDidCancelLoad(this);
    });
}

void DZModel::beginUpdates() {
    callDelegates<DZModelDelegate>(delegates_, "modelDidBeginUpdates:", [&](DZModelDelegate* d) {
        d->modelDidBeginUpdates(this);
    });
}

void DZModel::endUpdates() {
    callDelegates<DZModelDelegate>(delegates_, "modelDidEndUpdates:", [&](DZModelDelegate* d) {
        d->modelDidEndUpdates(this);
    });
}

void DZModel::didUpdateObject(NSObject* object, NSIndexPath* indexPath) {
    callDelegates<DZModelDelegate>(delegates_,
                                   "model:didUpdateObject:atIndexPath:", [&](DZModelDelegate* d) {
                                       d->modelDidUpdateObject(this, object, indexPath);
                                   });
}

void DZModel::didInsertObject(NSObject* object, NSIndexPath* indexPath) {
    callDelegates<DZModelDelegate>(delegates_,
                                   "model:didInsertObject:atIndexPath:", [&](DZModelDelegate* d) {
                                       d->modelDidInsertObject(this, object, indexPath);
                                   });
}

void DZModel::didDeleteObject(NSObject* object, NSIndexPath* indexPath) {
    callDelegates<DZModelDelegate>(delegates_,
                                   "model:didDeleteObject:atIndexPath:", [&](DZModelDelegate* d) {
                                       d->modelDidDeleteObject(this, object, indexPath);
                                   });
}

void DZModel::didChange() {
    callDelegates<DZModelDelegate>(
        delegates_, "modelDidChange:", [&](DZModelDelegate* d) { d->modelDidChange(this); });
}

// ---- the URL request model --------------------------------------------------------------------

void DZURLRequestModel::describeClass(RuntimeClass& c) {
    c.implements({"requestDidStartLoad:", "requestDidFinishLoad:", "request:didFailLoadWithError:",
                  "requestDidCancelLoad:"});
}

void DZURLRequestModel::dealloc() {
    // The queue finds this model among its requests' delegates by identity: the delegate
    // lists no longer read it here.
    DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
    if (loadingRequest_) loadingRequest_->cancel();
    loadingRequest_ = nullptr;
    loadedTime_ = nullptr;
    cacheKey_ = nullptr;
    DZModel::dealloc();
}

void DZURLRequestModel::reset() {
    cacheKey_ = nullptr;
    loadedTime_ = nullptr;
}

bool DZURLRequestModel::isLoaded() {
    return loadedTime_ != nullptr;
}

bool DZURLRequestModel::isLoading() {
    return loadingRequest_ != nullptr;
}

bool DZURLRequestModel::isOutdated() {
    if (!cacheKey_) return loadedTime_ != nullptr;
    if (!loadedTime_) return false;
    return -loadedTime_->timeIntervalSinceNow() > DZURLCache::sharedCache()->invalidationAge();
}

void DZURLRequestModel::cancel() {
    if (loadingRequest_) loadingRequest_->cancel();
}

void DZURLRequestModel::invalidate(bool erase) {
    if (!cacheKey_) return;
    if (erase) {
        DZURLCache::sharedCache()->removeKey(cacheKey_);
    } else {
        DZURLCache::sharedCache()->invalidateKey(cacheKey_);
    }
    cacheKey_ = nullptr;
}

void DZURLRequestModel::setLoadedTime(NSDate* time) {
    loadedTime_ = time;
}

void DZURLRequestModel::setCacheKey(NSString* key) {
    cacheKey_ = key ? key->copy() : nullptr;
}

void DZURLRequestModel::requestDidStartLoad(DZURLRequest* request) {
    loadingRequest_ = request;
    didStartLoad();
}

void DZURLRequestModel::requestDidFinishLoad(DZURLRequest* request) {
    if (!isLoadingMore_) {
        loadedTime_ = request->timestamp();
        setCacheKey(request->cacheKey());
    }
    loadingRequest_ = nullptr;
    didFinishLoad();
}

void DZURLRequestModel::requestDidFailLoadWithError(DZURLRequest*, NSError* error) {
    loadingRequest_ = nullptr;
    didFailLoadWithError(error);
}

void DZURLRequestModel::requestDidCancelLoad(DZURLRequest*) {
    loadingRequest_ = nullptr;
    didCancelLoad();
}
