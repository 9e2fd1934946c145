#include "external/nk-http-request/Classes/NKDownloadCache.h"

#include "CommonCrypto/CommonDigest.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimeZone.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::headerValue;
using nk_detail::Locked;

namespace {

NSString* const kSessionStore = NS("SessionStore");
NSString* const kPermanentStore = NS("PermanentStore");
NSString* const kFetchDateHeader = NS("X-NKHTTPRequest-Fetch-date");

bool isFolder(NSString* path) {
    bool folder = false;
    return NSFileManager::defaultManager()->fileExistsAtPath(path, &folder) && folder;
}

bool isFile(NSString* path) {
    bool folder = false;
    return NSFileManager::defaultManager()->fileExistsAtPath(path, &folder) && !folder;
}

// The headers without any field of that name, whatever its case.
void removeHeader(NSMutableDictionary* headers, NSString* name) {
    Ref<NSArray> keys = headers->allKeys();
    for (NSObject* key : *keys) {
        auto k = as<NSString>(Ref<NSObject>(key));
        if (k && k->caseInsensitiveCompare(name) == NSOrderedSame) headers->removeObjectForKey(k);
    }
}

// The store a request's own policy (or the cache's default) points at.
NSString* storeFor(NKCacheStoragePolicy policy) {
    return policy == NKCachePermanentlyCacheStoragePolicy ? kPermanentStore : kSessionStore;
}

}  // namespace

// ---- making ---------------------------------------------------------------------------------

bool NKDownloadCache::init() {
    if (!NSObject::init()) return false;
    shouldRespectCacheControlHeaders_ = true;
    defaultCachePolicy_ = NKReloadIfDifferentCachePolicy;
    accessLock_ = make<NSRecursiveLock>();
    return true;
}

Ref<NKDownloadCache> NKDownloadCache::sharedCache() {
    static ProcessWide<NKDownloadCache> shared{[] {
        Ref<NKDownloadCache> cache = make<NKDownloadCache>();
        cache->setStoragePath(
            NSTemporaryDirectory()->stringByAppendingPathComponent(NS("NKHTTPRequestCache")));
        return cache;
    }};
    return shared.get();
}

void NKDownloadCache::setAccessLock(NSRecursiveLock* lock) {
    accessLock_ = lock;
}

bool NKDownloadCache::shouldRespectCacheControlHeaders() {
    Locked lock(accessLock_);
    return shouldRespectCacheControlHeaders_;
}

void NKDownloadCache::setShouldRespectCacheControlHeaders(bool respect) {
    Locked lock(accessLock_);
    shouldRespectCacheControlHeaders_ = respect;
}

NKCachePolicy NKDownloadCache::defaultCachePolicy() {
    Locked lock(accessLock_);
    return defaultCachePolicy_;
}

void NKDownloadCache::setDefaultCachePolicy(NKCachePolicy policy) {
    Locked lock(accessLock_);
    defaultCachePolicy_ =
        policy == NKUseDefaultCachePolicy ? NKReloadIfDifferentCachePolicy : policy;
}

// ---- the folder -----------------------------------------------------------------------------

Ref<NSString> NKDownloadCache::storagePath() {
    Locked lock(accessLock_);
    return storagePath_;
}

void NKDownloadCache::setStoragePath(NSString* path) {
    Locked lock(accessLock_);
    clearCachedResponsesForStoragePolicy(NKCacheForSessionDurationCacheStoragePolicy);
    storagePath_ = path ? path->copy() : nullptr;
    if (!storagePath_) return;
    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    NSString* folders[] = {storagePath_, nullptr, nullptr};
    Ref<NSString> session = storagePath_->stringByAppendingPathComponent(kSessionStore);
    Ref<NSString> permanent = storagePath_->stringByAppendingPathComponent(kPermanentStore);
    folders[1] = session;
    folders[2] = permanent;
    for (NSString* folder : folders) {
        bool directory = false;
        bool exists = fm->fileExistsAtPath(folder, &directory);
        if (exists && !directory) {
            Ref<NSString> where(folder);
            lock.unlock();
            NSException::raise(
                NS("FileExistsAtCachePath"),
                NS("Cannot create a directory for the cache at '%@', because a file already "
                   "exists"),
                where);
        }
        if (!exists) {
            fm->createDirectoryAtPath(folder, true, nullptr, nullptr);
            if (!isFolder(folder)) {
                Ref<NSString> where(folder);
                lock.unlock();
                NSException::raise(NS("FailedToCreateCacheDirectory"),
                                   NS("Failed to create a directory for the cache at '%@'"), where);
            }
        }
    }
    clearCachedResponsesForStoragePolicy(NKCacheForSessionDurationCacheStoragePolicy);
}

void NKDownloadCache::clearCachedResponsesForStoragePolicy(NKCacheStoragePolicy storagePolicy) {
    Locked lock(accessLock_);
    if (!storagePath_) return;
    Ref<NSString> folder = storagePath_->stringByAppendingPathComponent(storeFor(storagePolicy));
    if (!isFolder(folder)) return;
    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    Ref<NSError> error;
    Ref<NSArray> files = fm->contentsOfDirectoryAtPath(folder, &error);
    if (!files) {
        lock.unlock();
        NSException::raise(NS("FailedToTraverseCacheDirectory"),
                           NS("Listing cache directory failed at path '%@'"), folder);
    }
    for (NSObject* o : *files) {
        auto name = as<NSString>(Ref<NSObject>(o));
        if (!name) continue;
        Ref<NSString> extension = name->pathExtension();
        if (!extension->isEqualToString(NS("cacheddata")) &&
            !extension->isEqualToString(NS("cachedheaders")))
            continue;
        if (!fm->removeItemAtPath(folder->stringByAppendingPathComponent(name), &error)) {
            lock.unlock();
            NSException::raise(NS("FailedToRemoveCacheFile"),
                               NS("Failed to remove cached data at path '%@'"), folder);
        }
    }
}

// ---- entries --------------------------------------------------------------------------------

Ref<NSString> NKDownloadCache::keyForRequest(NKHTTPRequest* request) {
    Ref<NSURL> url = request ? request->url() : nullptr;
    if (!url) return nullptr;
    std::string text = url->absoluteString()->utf8();
    unsigned char digest[CC_MD5_DIGEST_LENGTH];
    CC_MD5(text.data(), static_cast<CC_LONG>(text.size()), digest);
    char hex[2 * CC_MD5_DIGEST_LENGTH + 1];
    for (int i = 0; i < CC_MD5_DIGEST_LENGTH; ++i)
        snprintf(hex + 2 * i, 3, "%02X", digest[i]);
    return NSString::fromUTF8(hex);
}

Ref<NSString> NKDownloadCache::headersPathInFolder(NSString* folder, NSString* key) {
    return folder->stringByAppendingPathComponent(key)->stringByAppendingPathExtension(
        NS("cachedheaders"));
}

Ref<NSString> NKDownloadCache::dataPathInFolder(NSString* folder, NSString* key) {
    return folder->stringByAppendingPathComponent(key)->stringByAppendingPathExtension(
        NS("cacheddata"));
}

Ref<NSString> NKDownloadCache::folderHoldingRequest(NKHTTPRequest* request) {
    Locked lock(accessLock_);
    Ref<NSString> key = keyForRequest(request);
    if (!storagePath_ || !key) return nullptr;
    for (NSString* store : {kSessionStore, kPermanentStore}) {
        Ref<NSString> folder = storagePath_->stringByAppendingPathComponent(store);
        if (isFile(headersPathInFolder(folder, key))) return folder;
    }
    return nullptr;
}

Ref<NSDictionary> NKDownloadCache::cachedHeadersForRequest(NKHTTPRequest* request) {
    Ref<NSString> folder = folderHoldingRequest(request);
    if (!folder) return nullptr;
    // Read outside the lock: the file is whole once written.
    return NSDictionary::dictionaryWithContentsOfFile(
        headersPathInFolder(folder, keyForRequest(request)));
}

Ref<NSString> NKDownloadCache::pathToCachedResponseDataForRequest(NKHTTPRequest* request) {
    Locked lock(accessLock_);
    Ref<NSString> key = keyForRequest(request);
    if (!storagePath_ || !key) return nullptr;
    for (NSString* store : {kSessionStore, kPermanentStore}) {
        Ref<NSString> path =
            dataPathInFolder(storagePath_->stringByAppendingPathComponent(store), key);
        if (isFile(path)) return path;
    }
    return nullptr;
}

Ref<NSData> NKDownloadCache::cachedResponseDataForRequest(NKHTTPRequest* request) {
    Ref<NSString> path = pathToCachedResponseDataForRequest(request);
    return path ? NSData::dataWithContentsOfFile(path) : nullptr;
}

bool NKDownloadCache::serverAllowsResponseCachingForRequest(NKHTTPRequest* request) {
    Ref<NSDictionary> headers = request ? request->responseHeaders() : nullptr;
    Ref<NSString> cacheControl = headerValue(headers, NS("Cache-Control"));
    if (cacheControl) {
        Ref<NSString> lower = cacheControl->lowercaseString();
        if (lower->isEqualToString(NS("no-cache")) || lower->isEqualToString(NS("no-store")))
            return false;
    }
    Ref<NSString> pragma = headerValue(headers, NS("Pragma"));
    return !(pragma && pragma->lowercaseString()->isEqualToString(NS("no-cache")));
}

void NKDownloadCache::storeResponseForRequest(NKHTTPRequest* request, NSTimeInterval maxAge) {
    if (!request) return;
    Locked lock(accessLock_);
    Ref<NSDictionary> responseHeaders = request->responseHeaders();
    if (request->error() || !responseHeaders || request->responseStatusCode() != 200) return;
    if (shouldRespectCacheControlHeaders_ && !serverAllowsResponseCachingForRequest(request))
        return;
    NKCachePolicy policy = request->cachePolicy();
    if (policy == NKUseDefaultCachePolicy) policy = defaultCachePolicy_;
    if (policy == NKDoNotReadFromCacheCachePolicy) return;
    Ref<NSString> key = keyForRequest(request);
    if (!storagePath_ || !key) return;

    Ref<NSString> folder =
        storagePath_->stringByAppendingPathComponent(storeFor(request->cacheStoragePolicy()));
    Ref<NSString> headersPath = headersPathInFolder(folder, key);
    Ref<NSString> dataPath = dataPathInFolder(folder, key);

    // The body as the caller reads it: a compressed response is kept decoded, so that a copy
    // served later is not handed out as gzip bytes without the header that says so.
    Ref<NSData> body;
    bool compressed = request->isResponseCompressed();
    if (Ref<NSString> file = request->downloadDestinationPath()) {
        // A download to a file is already decoded there.
        if (!isFile(file)) return;
    } else {
        body = compressed ? request->responseData() : Ref<NSData>(request->rawResponseData());
        // Damaged compressed data has no decoded form worth keeping.
        if (!body) return;
    }

    Ref<NSMutableDictionary> headers = responseHeaders->mutableCopy();
    if (compressed) {
        removeHeader(headers, NS("Content-Encoding"));
        // The length of what is stored, which is what a copy served later reports.
        Ref<NSNumber> size;
        if (body) {
            removeHeader(headers, NS("Content-Length"));
            headers->setObject(
                NSString::stringWithFormat(NS("%lu"), static_cast<unsigned long>(body->length())),
                NS("Content-Length"));
        } else if (Ref<NSDictionary> attributes =
                       NSFileManager::defaultManager()->attributesOfItemAtPath(
                           request->downloadDestinationPath(), nullptr)) {
            if ((size = as<NSNumber>(attributes->objectForKey(NSFileSize)))) {
                removeHeader(headers, NS("Content-Length"));
                headers->setObject(size->stringValue(), NS("Content-Length"));
            }
        }
    }
    if (maxAge != 0) {
        removeHeader(headers, NS("Expires"));
        removeHeader(headers, NS("Cache-Control"));
        headers->setObject(NSString::stringWithFormat(NS("max-age=%i"), static_cast<int>(maxAge)),
                           NS("Cache-Control"));
    }
    headers->setObject(rfc1123DateFormatter()->stringFromDate(NSDate::date()), kFetchDateHeader);
    headers->writeToFile(headersPath, false);

    if (body) {
        body->writeToFile(dataPath, false);
    } else {
        Ref<NSFileManager> fm = NSFileManager::defaultManager();
        if (fm->fileExistsAtPath(dataPath)) fm->removeItemAtPath(dataPath, nullptr);
        fm->copyItemAtPath(request->downloadDestinationPath(), dataPath, nullptr);
    }
}

bool NKDownloadCache::isCachedDataCurrentForRequest(NKHTTPRequest* request) {
    Locked lock(accessLock_);
    if (!storagePath_) return false;
    Ref<NSDictionary> cached = cachedHeadersForRequest(request);
    if (!cached || !pathToCachedResponseDataForRequest(request)) return false;

    Ref<NSDictionary> response = request->responseHeaders();
    // The server has just said the copy is unchanged: it is current whatever its age says, and
    // it is all there is to show (a 304 has no body).
    if (response && request->responseStatusCode() == 304) return true;

    if (shouldRespectCacheControlHeaders_) {
        if (Ref<NSString> expires = headerValue(cached, NS("Expires"))) {
            Ref<NSDate> date = NKHTTPRequest::dateFromRFC1123String(expires);
            if (date && date->timeIntervalSinceNow() < 0) return false;
        }
        Ref<NSString> cacheControl = headerValue(cached, NS("Cache-Control"));
        cacheControl = cacheControl ? cacheControl->lowercaseString() : nullptr;
        if (cacheControl && cacheControl->hasPrefix(NS("max-age"))) {
            Ref<NSScanner> scanner = NSScanner::scannerWithString(cacheControl);
            scanner->scanString(NS("max-age"), nullptr);
            scanner->scanString(NS("="), nullptr);
            long long maxAge = 0;
            scanner->scanLongLong(&maxAge);
            Ref<NSString> fetched = headerValue(cached, kFetchDateHeader);
            Ref<NSDate> fetchDate =
                fetched ? rfc1123DateFormatter()->dateFromString(fetched) : nullptr;
            if (fetchDate && fetchDate->timeIntervalSinceNow() + static_cast<double>(maxAge) < 0)
                return false;
        }
    }

    if (!response) return true;
    for (NSString* validator : {NS("Etag"), NS("Last-Modified")}) {
        Ref<NSString> fresh = headerValue(response, validator);
        Ref<NSString> stored = headerValue(cached, validator);
        if (!fresh || !stored || !fresh->isEqualToString(stored)) return false;
    }
    return true;
}

void NKDownloadCache::removeCachedDataForRequest(NKHTTPRequest* request) {
    Locked lock(accessLock_);
    Ref<NSString> dataPath = pathToCachedResponseDataForRequest(request);
    if (!dataPath) return;
    Ref<NSFileManager> fm = NSFileManager::defaultManager();
    Ref<NSString> folder = dataPath->stringByDeletingLastPathComponent();
    fm->removeItemAtPath(headersPathInFolder(folder, keyForRequest(request)), nullptr);
    fm->removeItemAtPath(dataPath, nullptr);
}

// ---- dates ----------------------------------------------------------------------------------

Ref<NSDateFormatter> NKDownloadCache::rfc1123DateFormatter() {
    Ref<NSMutableDictionary> threadStore = NSThread::currentThread()->threadDictionary();
    NSString* key = NS("NKDownloadCacheDateFormatter");
    if (auto formatter = as<NSDateFormatter>(threadStore->objectForKey(key))) return formatter;
    Ref<NSDateFormatter> formatter = make<NSDateFormatter>();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    formatter->setTimeZone(NSTimeZone::timeZoneWithAbbreviation(NS("GMT")));
    formatter->setDateFormat(NS("EEE, dd MMM yyyy HH:mm:ss 'GMT'"));
    threadStore->setObject(formatter, key);
    return formatter;
}
