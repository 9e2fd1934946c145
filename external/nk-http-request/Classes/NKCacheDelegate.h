// The contract between a request and a download cache. Nothing sets a cache by default; a
// request given one asks it for stored responses and hands it fresh ones.
#pragma once

#include "Foundation/NSObject.h"

class NKHTTPRequest;
class NSDictionary;
class NSString;

// How a request uses its cache.
enum NKCachePolicy : NSInteger {
    NKUseDefaultCachePolicy = 0,
    NKDoNotReadFromCacheCachePolicy = 1,   // never store
    NKReloadIfDifferentCachePolicy = 2,    // revalidate with the server
    NKOnlyLoadIfNotCachedCachePolicy = 3,  // a stored copy first, without asking the server
    NKUseCacheIfLoadFailsCachePolicy = 4,  // a stored copy when the load fails
};

// Where the cache keeps a response.
enum NKCacheStoragePolicy : NSInteger {
    NKCacheForSessionDurationCacheStoragePolicy = 0,
    NKCachePermanentlyCacheStoragePolicy = 1,
};

class NKCacheDelegate {
public:
    virtual ~NKCacheDelegate() = default;

    virtual NKCachePolicy defaultCachePolicy() = 0;
    virtual void removeCachedDataForRequest(NKHTTPRequest* request) = 0;
    virtual bool isCachedDataCurrentForRequest(NKHTTPRequest* request) = 0;
    // maxAge 0 keeps the server's expiry.
    virtual void storeResponseForRequest(NKHTTPRequest* request, NSTimeInterval maxAge) = 0;
    virtual Ref<NSDictionary> cachedHeadersForRequest(NKHTTPRequest* request) = 0;
    virtual Ref<NSString> pathToCachedResponseDataForRequest(NKHTTPRequest* request) = 0;
    virtual void clearCachedResponsesForStoragePolicy(NKCacheStoragePolicy storagePolicy) = 0;
};
