// What a model-driven controller shows: the model contract (loaded, loading, outdated; load,
// cancel, invalidate), its observers, a plain model that is always loaded, and a model whose
// content comes from one URL request of the request queue. Main thread only.
#pragma once

#include "Foundation/NSObject.h"
#include "ui/core/DZURLRequest.h"

class NSDate;
class NSError;
class NSIndexPath;
class NSMutableArray;
class NSString;

// The model contract (the protocol DZModel). Named apart from the base class of the same name.
class DZModelProtocol {
public:
    virtual ~DZModelProtocol() = default;
    // The observers, not retained.
    virtual Ref<NSMutableArray> delegates() = 0;
    virtual bool isLoaded() = 0;
    virtual bool isLoading() = 0;
    virtual bool isLoadingMore() = 0;
    virtual bool isOutdated() = 0;
    // load:more:. The policy is a request cache policy: 7 for a first load, 4 for a reload.
    virtual void load(int32_t cachePolicy, bool more) = 0;
    virtual void cancel() = 0;
    // YES erases the cached content, NO only marks it old.
    virtual void invalidate(bool erase) = 0;
};

// A model's observers; every method is optional and probed before each call.
class DZModelDelegate {
public:
    virtual ~DZModelDelegate() = default;
    virtual void modelDidStartLoad(DZModelProtocol*) {}
    virtual void modelDidFinishLoad(DZModelProtocol*) {}
    virtual void modelDidFailLoadWithError(DZModelProtocol*, NSError*) {}
    virtual void modelDidCancelLoad(DZModelProtocol*) {}
    virtual void modelDidChange(DZModelProtocol*) {}
    virtual void modelDidUpdateObject(DZModelProtocol*, NSObject*, NSIndexPath*) {}
    virtual void modelDidInsertObject(DZModelProtocol*, NSObject*, NSIndexPath*) {}
    virtual void modelDidDeleteObject(DZModelProtocol*, NSObject*, NSIndexPath*) {}
    virtual void modelDidBeginUpdates(DZModelProtocol*) {}
    virtual void modelDidEndUpdates(DZModelProtocol*) {}
};

// Always loaded; tells its observers what subclasses report.
class DZModel : public NSObject, public DZModelProtocol {
    NS_OBJECT(DZModel, NSObject)

public:
    Ref<NSMutableArray> delegates() override;
    bool isLoaded() override { return true; }
    bool isLoading() override { return false; }
    bool isLoadingMore() override { return false; }
    bool isOutdated() override { return false; }
    void load(int32_t, bool) override {}
    void cancel() override {}
    void invalidate(bool) override {}

    // For subclasses: each sends its callback to every observer that answers it.
    void didStartLoad();
    void didFinishLoad();
    void didFailLoadWithError(NSError* error);
    void didCancelLoad();
    void beginUpdates();
    void endUpdates();
    void didUpdateObject(NSObject* object, NSIndexPath* indexPath);
    void didInsertObject(NSObject* object, NSIndexPath* indexPath);
    void didDeleteObject(NSObject* object, NSIndexPath* indexPath);
    void didChange();

private:
    Ref<NSMutableArray> delegates_;
};

// A model whose content comes from one URL request. A subclass's load:more: sets
// isLoadingMore, then sends a request for its URL with itself as delegate, the given cache
// policy and a processor that fills its content.
class DZURLRequestModel : public DZModel, public DZURLRequestDelegate {
    NS_OBJECT(DZURLRequestModel, DZModel)
    static void describeClass(RuntimeClass& c);

public:
    void dealloc() override;

    // Back to not loaded.
    void reset();
    bool isLoaded() override;
    bool isLoading() override;
    bool isLoadingMore() override { return isLoadingMore_; }
    bool isOutdated() override;
    void cancel() override;
    void invalidate(bool erase) override;

    void requestDidStartLoad(DZURLRequest* request) override;
    void requestDidFinishLoad(DZURLRequest* request) override;
    void requestDidFailLoadWithError(DZURLRequest* request, NSError* error) override;
    void requestDidCancelLoad(DZURLRequest* request) override;

    Ref<DZURLRequest> loadingRequest() { return loadingRequest_; }
    Ref<NSDate> loadedTime() { return loadedTime_; }
    void setLoadedTime(NSDate* time);
    Ref<NSString> cacheKey() { return cacheKey_; }
    void setCacheKey(NSString* key);
    void setIsLoadingMore(bool more) { isLoadingMore_ = more; }
    bool hasNoMore() { return hasNoMore_; }
    void setHasNoMore(bool none) { hasNoMore_ = none; }

private:
    Ref<DZURLRequest> loadingRequest_;
    Ref<NSDate> loadedTime_;
    Ref<NSString> cacheKey_;
    bool isLoadingMore_ = false;
    bool hasNoMore_ = false;
};
