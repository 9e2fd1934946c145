// Responses kept on disk, one pair of files per URL (the headers as a property list and the
// decoded body), in a store that lasts for the session (emptied whenever the folder is set) and
// a permanent one. The cache decides whether the server allows a response to be kept and
// whether a kept copy is still current, and gives a request what it needs for conditional
// requests. Every operation holds the cache's recursive lock.
#pragma once

#include "Foundation/NSObject.h"
#include "external/nk-http-request/Classes/NKCacheDelegate.h"

class NSData;
class NSDateFormatter;
class NSDictionary;
class NSRecursiveLock;
class NSString;

class NKDownloadCache : public NSObject, public NKCacheDelegate {
    NS_OBJECT(NKDownloadCache, NSObject)

    bool init() override;
    // Made on first use, in the folder "NKHTTPRequestCache" of the temporary directory.
    static Ref<NKDownloadCache> sharedCache();

    Ref<NSString> storagePath();
    // Empties the session store of the old folder and of the new one, making the new folder
    // and its two stores. Raises "FileExistsAtCachePath" when a file is in the way and
    // "FailedToCreateCacheDirectory" when a folder cannot be made.
    void setStoragePath(NSString* path);

    NKCachePolicy defaultCachePolicy() override;
    // 0 stores 2 (revalidate).
    void setDefaultCachePolicy(NKCachePolicy policy);

    // maxAge 0 keeps the server's expiry; another value replaces it by "max-age".
    void storeResponseForRequest(NKHTTPRequest* request, NSTimeInterval maxAge) override;
    Ref<NSDictionary> cachedHeadersForRequest(NKHTTPRequest* request) override;
    Ref<NSString> pathToCachedResponseDataForRequest(NKHTTPRequest* request) override;
    Ref<NSData> cachedResponseDataForRequest(NKHTTPRequest* request);
    bool isCachedDataCurrentForRequest(NKHTTPRequest* request) override;
    void removeCachedDataForRequest(NKHTTPRequest* request) override;
    // Raises "FailedToTraverseCacheDirectory" or "FailedToRemoveCacheFile" for a folder that
    // cannot be listed or emptied.
    void clearCachedResponsesForStoragePolicy(NKCacheStoragePolicy storagePolicy) override;

    // NO when the response says "no-cache" or "no-store".
    static bool serverAllowsResponseCachingForRequest(NKHTTPRequest* request);
    // The MD5 of the URL's absolute form, as 32 upper-case hexadecimal digits.
    static Ref<NSString> keyForRequest(NKHTTPRequest* request);
    // One per thread: "EEE, dd MMM yyyy HH:mm:ss 'GMT'" in en_US_POSIX and GMT.
    static Ref<NSDateFormatter> rfc1123DateFormatter();

    Ref<NSRecursiveLock> accessLock() { return accessLock_; }
    void setAccessLock(NSRecursiveLock* lock);
    bool shouldRespectCacheControlHeaders();
    void setShouldRespectCacheControlHeaders(bool respect);

private:
    // The headers and body files of the request's entry in one store folder.
    Ref<NSString> headersPathInFolder(NSString* folder, NSString* key);
    Ref<NSString> dataPathInFolder(NSString* folder, NSString* key);
    // The store folder that holds the request's headers (session first), nil when none does.
    Ref<NSString> folderHoldingRequest(NKHTTPRequest* request);

    NKCachePolicy defaultCachePolicy_ = NKReloadIfDifferentCachePolicy;
    Ref<NSString> storagePath_;
    Ref<NSRecursiveLock> accessLock_;
    bool shouldRespectCacheControlHeaders_ = true;
};
