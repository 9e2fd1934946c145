// The URL cache: responses and their data by request URL, in a memory tier and a disk tier,
// each with a capacity in bytes; the least recently used entries go first when a tier is full.
// A capacity set to 0 empties that tier and keeps it empty. The disk tier lives in a folder
// under the sandbox's caches folder (a relative path) or at an absolute path, one file per
// entry. Thread-safe.
#pragma once

#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>

#include "Foundation/NSObject.h"

class NSData;
class NSDictionary;
class NSString;
class NSURLRequest;
class NSURLResponse;

using NSURLCacheStoragePolicy = NSUInteger;
enum : NSURLCacheStoragePolicy {
    NSURLCacheStorageAllowed = 0,
    NSURLCacheStorageAllowedInMemoryOnly = 1,
    NSURLCacheStorageNotAllowed = 2,
};

class NSCachedURLResponse : public NSObject {
    NS_OBJECT(NSCachedURLResponse, NSObject)
    // initWithResponse:data: (storage allowed, no user info)
    bool initWithResponse(NSURLResponse* response, NSData* data);
    // initWithResponse:data:userInfo:storagePolicy:
    bool initWithResponse(NSURLResponse* response, NSData* data, NSDictionary* userInfo,
                          NSURLCacheStoragePolicy storagePolicy);

    Ref<NSURLResponse> response() { return response_; }
    Ref<NSData> data() { return data_; }
    Ref<NSDictionary> userInfo() { return userInfo_; }
    NSURLCacheStoragePolicy storagePolicy() { return storagePolicy_; }
    // The response with its data, storage allowed (alloc and initWithResponse:data:).
    static Ref<NSCachedURLResponse> cachedResponse(NSURLResponse* response, NSData* data);

    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSURLResponse> response_;
    Ref<NSData> data_;
    Ref<NSDictionary> userInfo_;
    NSURLCacheStoragePolicy storagePolicy_ = NSURLCacheStorageAllowed;
};

class NSURLCache : public NSObject {
    NS_OBJECT(NSURLCache, NSObject)
    // The process-wide cache, made on first use with 4 MB in memory and 20 MB on disk in
    // "URLCache" under the caches folder.
    static Ref<NSURLCache> sharedURLCache();
    static void setSharedURLCache(NSURLCache* cache);

    // initWithMemoryCapacity:diskCapacity:diskPath:. A nil path means "URLCache".
    bool initWithMemoryCapacity(NSUInteger memoryCapacity, NSUInteger diskCapacity,
                                NSString* diskPath);

    // The stored response for the request's URL (its fragment ignored), else nil.
    Ref<NSCachedURLResponse> cachedResponseForRequest(NSURLRequest* request);
    // Stores under the request's URL, replacing what was there; an entry larger than a tier's
    // capacity skips that tier, a storage policy of "not allowed" stores nothing and "in
    // memory only" skips the disk.
    void storeCachedResponse(NSCachedURLResponse* cachedResponse, NSURLRequest* request);
    void removeCachedResponseForRequest(NSURLRequest* request);
    void removeAllCachedResponses();

    NSUInteger memoryCapacity();
    NSUInteger diskCapacity();
    void setMemoryCapacity(NSUInteger capacity);
    void setDiskCapacity(NSUInteger capacity);
    NSUInteger currentMemoryUsage();
    NSUInteger currentDiskUsage();

    struct Tier;

private:
    void loadDiskIndex();  // under lock_
    std::string diskFile(const std::string& key);

    std::mutex lock_;
    std::shared_ptr<Tier> memory_;
    std::shared_ptr<Tier> disk_;
    std::string diskPath_;
    bool diskIndexLoaded_ = false;
};
