#include "ads/pebble/PBLCachedFile.h"

#include <cstdint>
#include <string>

#include "Foundation/Clock.h"
#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimeZone.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/pebble/PBLNetworkUtilities.h"

namespace {
// FNV-1a over the UTF-8 bytes: the same name for the same URL in every run.
uint32_t stableHash(NSString* text) {
    uint32_t h = 2166136261u;
    for (unsigned char c : text->utf8()) {
        h ^= c;
        h *= 16777619u;
    }
    return h;
}

bool isFetchableScheme(NSURL* url);

// The target of a redirect response that leads out of the web ("itms:", an app's scheme).
Ref<NSURL> applicationRedirectTarget(NSHTTPURLResponse* response) {
    NSInteger status = response->statusCode();
    if (status != 301 && status != 302 && status != 303 && status != 307 && status != 308)
        return nullptr;
    auto location = response->valueForHTTPHeaderField(NS("Location"));
    auto target = location && location->length() > 0
                      ? NSURL::URLWithString(location, response->URL())
                      : nullptr;
    if (!target || !target->scheme() || isFetchableScheme(target)) return nullptr;
    return target->absoluteURL();
}

bool isFetchableScheme(NSURL* url) {
    auto scheme = url ? url->scheme() : nullptr;
    if (!scheme) return false;
    auto lower = scheme->lowercaseString();
    return lower->isEqualToString(NS("http")) || lower->isEqualToString(NS("https"));
}
}  // namespace

bool PBLCachedFile::initWithDelegate(PBLCachedFileDelegate* delegate, NSURL* url) {
    if (!NSObject::init() || !url) return false;
    delegate_ = delegate;
    sourceURL_ = url;
    httpDestinationURL_ = url;
    return true;
}

void PBLCachedFile::dealloc() {
    delegate_ = nullptr;
    cleanUpConnection();
    NSObject::dealloc();
}

Ref<NSDateFormatter> PBLCachedFile::formatterForHTTPDate() {
    auto formatter = make<NSDateFormatter>();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    formatter->setTimeZone(NSTimeZone::timeZoneForSecondsFromGMT(0));
    formatter->setDateFormat(NS("EEE, dd MMM yyyy HH:mm:ss"));
    return formatter;
}

void PBLCachedFile::validate() {
    if (!connection_) beginFetchWithCacheBuster(false);
}

void PBLCachedFile::validateWithCacheBuster() {
    if (!connection_) beginFetchWithCacheBuster(true);
}

void PBLCachedFile::beginFetchWithCacheBuster(bool cacheBuster) {
    Ref<NSURL> url = sourceURL_;
    if (cacheBuster)
        url = PBLNetworkUtilities::appendQueryKey(
            NS("unique"), NSString::stringWithFormat(NS("%.0f"), Clock::now()), url);
    // Only web resources are fetched: a page must not be able to copy local files into the
    // cache through a file URL.
    if (!url || !isFetchableScheme(url)) {
        fail(nullptr);
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(url);
    request->setCachePolicy(NSURLRequestReloadIgnoringLocalCacheData);
    request->setHTTPShouldHandleCookies(true);
    auto userAgent = PBLNetworkUtilities::userAgentString();
    if (userAgent && userAgent->length() > 0)
        request->setValueForHTTPHeaderField(userAgent, NS("User-Agent"));
    if (hasContent())
        if (auto date = fileModificationDate())
            request->setValueForHTTPHeaderField(date, NS("If-Modified-Since"));
    auto connection = make<NSURLConnection>(
        static_cast<bool (NSURLConnection::*)(NSURLRequest*, NSURLConnectionDelegate*)>(
            &NSURLConnection::initWithRequest),
        request.get(), static_cast<NSURLConnectionDelegate*>(this));
    if (!connection) {
        fail(nullptr);
        return;
    }
    connection_ = connection;
    receivedData_ = NSMutableData::data();
}

void PBLCachedFile::invalidate() {
    cleanUpConnection();
    if (auto path = filePath()) NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
}

void PBLCachedFile::cleanUpConnection() {
    auto connection = connection_;
    connection_ = nullptr;
    if (connection) connection->cancel();
    receivedData_ = nullptr;
    receivedModificationDate_ = nullptr;
}

Ref<NSString> PBLCachedFile::filePath() {
    if (!filePath_) {
        auto folders =
            NSSearchPathForDirectoriesInDomains(NSCachesDirectory, NSUserDomainMask, true);
        if (!folders || folders->count() == 0) return nullptr;
        auto host = sourceURL_->host();
        auto folder = cast<NSString>(folders->objectAtIndex(0))
                          ->stringByAppendingPathComponent(host ? host.get() : NS(""));
        filePath_ =
            folder->stringByAppendingFormat(NS("/%x"), stableHash(sourceURL_->absoluteString()));
    }
    return filePath_;
}

bool PBLCachedFile::hasContent() {
    auto path = filePath();
    return path && NSFileManager::defaultManager()->fileExistsAtPath(path);
}

Ref<NSString> PBLCachedFile::content() {
    auto path = filePath();
    auto data = path ? NSData::dataWithContentsOfFile(path) : nullptr;
    if (!data) return nullptr;
    auto text = alloc<NSString>();
    if (!text->initWithData(data, NSUTF8StringEncoding)) return nullptr;
    return text;
}

Ref<NSString> PBLCachedFile::fileModificationDate() {
    auto path = filePath();
    auto attributes =
        path ? NSFileManager::defaultManager()->attributesOfItemAtPath(path, nullptr) : nullptr;
    auto date = attributes ? as<NSDate>(attributes->objectForKey(NSFileModificationDate)) : nullptr;
    if (!date) return nullptr;
    double whole =
        static_cast<double>(static_cast<int64_t>(date->timeIntervalSinceReferenceDate()));
    return formatterForHTTPDate()->stringFromDate(
        NSDate::dateWithTimeIntervalSinceReferenceDate(whole));
}

Ref<NSString> PBLCachedFile::description() {
    return NSString::stringWithFormat(NS("<%@: %p> HTTP code: %i\n\turl: %@\n\tfile: %@"),
                                      NS("PBLCachedFile"), this, httpStatusCode_,
                                      sourceURL_->absoluteString().get(), filePath().get());
}

void PBLCachedFile::fail(NSError* error) {
    if (auto d = delegate_.lock()) d->cachedFileDownloadDidFail(this, error);
}

Ref<NSURLRequest> PBLCachedFile::connectionWillSendRequest(NSURLConnection*, NSURLRequest* request,
                                                           NSURLResponse* redirectResponse) {
    Ref<PBLCachedFile> keep = this;
    httpDestinationURL_ = request->URL();
    if (redirectResponse) {
        saveHeadersFromResponse(redirectResponse);
        auto d = delegate_.lock();
        if (auto error = d ? d->cachedFileShouldRedirectToURL(this, request->URL()) : nullptr) {
            cleanUpConnection();
            fail(error);
        }
    }
    return request;
}

void PBLCachedFile::connectionDidReceiveResponse(NSURLConnection*, NSURLResponse* response) {
    Ref<PBLCachedFile> keep = this;
    if (auto http = as<NSHTTPURLResponse>(response)) {
        httpStatusCode_ = static_cast<int>(http->statusCode());
        saveHeadersFromResponse(http);
        if (auto target = applicationRedirectTarget(http)) {
            // The connection follows only web redirects; one to an application's URL is still
            // a redirect for the delegate to judge, and the end of the fetch either way.
            httpDestinationURL_ = target;
            auto d = delegate_.lock();
            auto error = d ? d->cachedFileShouldRedirectToURL(this, target) : nullptr;
            cleanUpConnection();
            fail(error);
            return;
        }
        if (httpStatusCode_ == 200) {
            receivedModificationDate_ = nullptr;
            auto lastModified = http->valueForHTTPHeaderField(NS("Last-Modified"));
            if (lastModified) {
                auto gmt = lastModified->rangeOfString(NS("GMT"));
                if (gmt.location != NSNotFound)
                    lastModified = lastModified->substringToIndex(gmt.location);
            }
            receivedModificationDate_ = lastModified;
        } else if (httpStatusCode_ == 304) {
            if (auto d = delegate_.lock()) d->cachedFileDownloadDidEnd(this);
            cleanUpConnection();
        } else {
            fail(nullptr);
            cleanUpConnection();
        }
    }
    if (receivedData_) receivedData_->setLength(0);
}

void PBLCachedFile::connectionDidReceiveData(NSURLConnection*, NSData* data) {
    if (receivedData_) receivedData_->appendData(data);
}

void PBLCachedFile::connectionDidFinishLoading(NSURLConnection*) {
    Ref<PBLCachedFile> keep = this;
    auto path = filePath();
    auto manager = NSFileManager::defaultManager();
    bool written = false;
    if (path) {
        manager->createDirectoryAtPath(path->stringByDeletingLastPathComponent(), true, nullptr,
                                       nullptr);
        written = receivedData_ && file_detail::writeDataAtomically(receivedData_.get(), path.get(),
                                                                    file_detail::Target::OwnStore);
    }
    if (written) {
        if (auto d = delegate_.lock()) d->cachedFileDownloadDidEnd(this);
        auto text = receivedModificationDate_
                        ? receivedModificationDate_->stringByTrimmingCharactersInSet(
                              NSCharacterSet::whitespaceCharacterSet())
                        : nullptr;
        if (text && text->length() > 0) {
            if (auto date = formatterForHTTPDate()->dateFromString(text)) {
                auto whole = NSDate::dateWithTimeIntervalSinceReferenceDate(static_cast<double>(
                    static_cast<int64_t>(date->timeIntervalSinceReferenceDate())));
                manager->setAttributes(
                    NSDictionary::dictionaryWithObjectsAndKeys(
                        {whole.get(), NSFileModificationDate, whole.get(), NSFileAccessDate}),
                    path, nullptr);
            }
        }
        receivedModificationDate_ = nullptr;
    } else {
        auto info = path ? NSDictionary::dictionaryWithObject(path, NSFilePathErrorKey) : nullptr;
        fail(NSError::errorWithDomain(NSCocoaErrorDomain, NSFileWriteUnknownError, info));
    }
    cleanUpConnection();
}

void PBLCachedFile::connectionDidFailWithError(NSURLConnection*, NSError* error) {
    Ref<PBLCachedFile> keep = this;
    cleanUpConnection();
    fail(error);
}

void PBLCachedFile::saveHeadersFromResponse(NSURLResponse* response) {
    if (auto http = as<NSHTTPURLResponse>(response)) httpHeaders_ = http->allHeaderFields();
}
