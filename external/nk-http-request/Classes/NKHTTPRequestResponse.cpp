// Reading the response: the stream's events, the head (status, headers, cookies, charset,
// redirect, expected length, whether the connection may be kept), the body buffers, the end of
// the stream, redirects, responses from the download cache, and the body as data and text.
#include <cerrno>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSStream.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"

using nk_detail::headerValue;
using nk_detail::Locked;
using nk_detail::writeAll;

namespace nk_detail {

// The encodings this system can decode, by the IANA names the platform knows them by.
NSStringEncoding encodingForIANACharSetLowercaseName(std::string_view lower) {
    struct Entry {
        const char* name;
        NSStringEncoding encoding;
    };
    static const Entry table[] = {
        {"utf-8", NSUTF8StringEncoding},
        {"utf8", NSUTF8StringEncoding},
        {"unicode-1-1-utf-8", NSUTF8StringEncoding},
        {"iso-8859-1", NSISOLatin1StringEncoding},
        {"iso8859-1", NSISOLatin1StringEncoding},
        {"iso_8859-1", NSISOLatin1StringEncoding},
        {"iso_8859-1:1987", NSISOLatin1StringEncoding},
        {"latin1", NSISOLatin1StringEncoding},
        {"l1", NSISOLatin1StringEncoding},
        {"ibm819", NSISOLatin1StringEncoding},
        {"cp819", NSISOLatin1StringEncoding},
        {"csisolatin1", NSISOLatin1StringEncoding},
        {"iso-ir-100", NSISOLatin1StringEncoding},
        {"us-ascii", NSASCIIStringEncoding},
        {"ascii", NSASCIIStringEncoding},
        {"ansi_x3.4-1968", NSASCIIStringEncoding},
        {"iso646-us", NSASCIIStringEncoding},
        {"csascii", NSASCIIStringEncoding},
        {"windows-1252", NSWindowsCP1252StringEncoding},
        {"cp1252", NSWindowsCP1252StringEncoding},
        {"macintosh", NSMacOSRomanStringEncoding},
        {"mac", NSMacOSRomanStringEncoding},
        {"csmacintosh", NSMacOSRomanStringEncoding},
        {"x-mac-roman", NSMacOSRomanStringEncoding},
        {"utf-16", NSUTF16StringEncoding},
        {"utf-16be", NSUTF16BigEndianStringEncoding},
        {"utf-16le", NSUTF16LittleEndianStringEncoding},
        {"utf-32", NSUTF32StringEncoding},
        {"utf-32be", NSUTF32BigEndianStringEncoding},
        {"utf-32le", NSUTF32LittleEndianStringEncoding},
    };
    for (const Entry& e : table) {
        if (lower == e.name) return e.encoding;
    }
    return 0;
}

NSStringEncoding encodingForIANACharSetName(NSString* name) {
    return name ? encodingForIANACharSetLowercaseName(name->lowercaseString()->utf8()) : 0;
}

NSStringEncoding charsetEncodingScanned(NSString* contentType) {
    if (!contentType) return 0;
    Ref<NSScanner> scanner = NSScanner::scannerWithString(contentType);
    scanner->scanUpToString(NS("charset="), nullptr);
    NSUInteger at = scanner->scanLocation();
    if (at > 0 && at < contentType->length()) {
        scanner->setScanLocation(at + 8);
        Ref<NSString> name;
        if (scanner->scanUpToString(NS(";"), &name)) return encodingForIANACharSetName(name);
    }
    return 0;
}

NSStringEncoding charsetEncoding(NSString* contentType) {
    if (!contentType) return 0;
    const char16_t* units = contentType->charactersPtr();
    const size_t n = contentType->length();
    bool ascii = units != nullptr;
    for (size_t i = 0; ascii && i < n; ++i)
        ascii = units[i] < 0x80;
    // Text beyond ASCII folds and skips as the scanner's Unicode rules say.
    if (!ascii) return charsetEncodingScanned(contentType);
    // As the scanner reads it: white space skipped before each scan, "charset=" found in any
    // case, and only after something else (a scan that reads nothing moves nowhere).
    Ref<NSCharacterSet> blank = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    auto skip = [&](size_t i) {
        while (i < n && blank->characterIsMember(units[i]))
            ++i;
        return i;
    };
    const size_t first = skip(0);
    static constexpr std::string_view key = "charset=";
    size_t at = first;
    for (; at + key.size() <= n; ++at) {
        size_t k = 0;
        while (k < key.size() &&
               (units[at + k] | (units[at + k] >= 'A' && units[at + k] <= 'Z' ? 0x20 : 0)) ==
                   key[k])
            ++k;
        if (k == key.size()) break;
    }
    if (at + key.size() > n || at == first) return 0;
    const size_t from = skip(at + key.size());
    size_t to = from;
    while (to < n && units[to] != ';')
        ++to;
    if (to == from) return 0;
    std::string lower(to - from, '\0');
    for (size_t i = from; i < to; ++i) {
        char16_t c = units[i];
        lower[i - from] = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 0x20 : c);
    }
    return encodingForIANACharSetLowercaseName(lower);
}

Ref<NSString> IANACharSetNameForEncoding(NSStringEncoding encoding) {
    switch (encoding) {
        case NSUTF8StringEncoding:
            return NS("utf-8");
        case NSISOLatin1StringEncoding:
            return NS("iso-8859-1");
        case NSASCIIStringEncoding:
            return NS("us-ascii");
        case NSWindowsCP1252StringEncoding:
            return NS("windows-1252");
        case NSMacOSRomanStringEncoding:
            return NS("macintosh");
        case NSUTF16StringEncoding:
            return NS("utf-16");
        case NSUTF16BigEndianStringEncoding:
            return NS("utf-16be");
        case NSUTF16LittleEndianStringEncoding:
            return NS("utf-16le");
        case NSUTF32StringEncoding:
            return NS("utf-32");
        case NSUTF32BigEndianStringEncoding:
            return NS("utf-32be");
        case NSUTF32LittleEndianStringEncoding:
            return NS("utf-32le");
        default:
            return nullptr;
    }
}

}  // namespace nk_detail

namespace {

constexpr uint64_t kPresizeLimit = 64ull * 1024 * 1024;

// The integer after `key` in the text (0 when the key or the number is missing).
long long integerAfter(NSString* text, NSString* key) {
    NSRange r = text->rangeOfString(key);
    if (r.location == NSNotFound) return 0;
    Ref<NSScanner> scanner = NSScanner::scannerWithString(text);
    scanner->setScanLocation(NSMaxRange(r));
    long long value = 0;
    return scanner->scanLongLong(&value) ? value : 0;
}

}  // namespace

// ---- events -------------------------------------------------------------------------------------

void NKHTTPRequest::handleNetworkEvent(NSUInteger type) {
    NSAutoreleasePool pool;
    // Whatever the handlers let go of, the request lives to the end of this event.
    autorelease();
    Locked lock(cancelledLock_);
    if (complete() || isCancelled()) return;
    switch (type) {
        case kCFStreamEventHasBytesAvailable:
            handleBytesAvailable();
            break;
        case kCFStreamEventEndEncountered:
            handleStreamComplete();
            break;
        case kCFStreamEventErrorOccurred:
            handleStreamError();
            break;
        default:
            break;
    }
    performThrottling();
    lock.unlock();
    if (downloadComplete_ && needsRedirect_) {
        performRedirect();
    } else if (downloadComplete_ && authenticationNeeded_ != NKNoAuthenticationNeededYet) {
        attemptToApplyCredentialsAndResume();
    }
}

// ---- the head -----------------------------------------------------------------------------------

void NKHTTPRequest::readResponseHeaders() {
    authenticationNeeded_ = NKNoAuthenticationNeededYet;
    auto message = as<CFHTTPMessage>(
        CFReadStreamCopyProperty(readStream_, kCFStreamPropertyHTTPResponseHeader));
    if (!message || !CFHTTPMessageIsHeaderComplete(message)) return;

    Ref<NSDictionary> headers = CFHTTPMessageCopyAllHeaderFields(message);
    setResponseHeaders(headers);
    responseStatusCode_ = static_cast<int32_t>(CFHTTPMessageGetResponseStatusCode(message));
    responseStatusMessage_.set(CFHTTPMessageCopyResponseStatusLine(message));

    if (downloadCache() && cachePolicy() == NKReloadIfDifferentCachePolicy) {
        if (useDataFromCache()) return;
    }
    int32_t status = responseStatusCode_;
    if (status == 401) authenticationNeeded_ = NKHTTPAuthenticationNeeded;
    if (status == 407) authenticationNeeded_ = NKProxyAuthenticationNeeded;
    storeBasicCredentialsAfterSuccess();

    // Every field read below, found in one walk over the head.
    enum { kContentType, kLocation, kContentLength, kConnection, kKeepAlive, kFieldCount };
    NSString* const names[kFieldCount] = {NS("Content-Type"), NS("Location"), NS("Content-Length"),
                                          NS("Connection"), NS("Keep-Alive")};
    Ref<NSString> fields[kFieldCount];
    nk_detail::headerValues(headers, names, kFieldCount, fields);

    parseStringEncoding(fields[kContentType]);

    Ref<NSURL> theURL = url();
    Ref<NSArray> cookies = NSHTTPCookie::cookiesWithResponseHeaderFields(headers, theURL);
    setResponseCookies(cookies);
    if (useCookiePersistence() && cookies && cookies->count()) {
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->setCookies(cookies, theURL, nullptr);
        for (NSObject* c : *cookies)
            addSessionCookie(as<NSHTTPCookie>(Ref<NSObject>(c)));
    }

    Ref<NSString> location = fields[kLocation];
    if (shouldRedirect() && location &&
        (status == 301 || status == 302 || status == 303 || status == 307)) {
        bool keepsMethod = status == 307 || ((status == 301 || status == 302) &&
                                             shouldUseRFC2616RedirectBehaviour());
        if (!keepsMethod) {
            setRequestMethod(NS("GET"));
            setPostBody(nullptr);
            postLength_ = 0;
            Ref<NSMutableDictionary> old = requestHeaders();
            Ref<NSMutableDictionary> kept = NSMutableDictionary::dictionary();
            if (old) {
                if (Ref<NSObject> agent = old->objectForKey(NS("User-Agent")))
                    kept->setObject(agent, NS("User-Agent"));
                if (Ref<NSObject> accept = old->objectForKey(NS("Accept")))
                    kept->setObject(accept, NS("Accept"));
            }
            setRequestHeaders(kept);
            haveBuiltRequestHeaders_ = false;
        }
        Ref<NSString> escaped = location->stringByReplacingOccurrencesOfString(NS(" "), NS("+"));
        Ref<NSURL> target = NSURL::URLWithString(escaped, theURL);
        setURL(target ? target->absoluteURL() : nullptr);
        needsRedirect_ = true;
        setRequestCookies(NSMutableArray::array());
        if (keepsMethod && target) {
            // The kept headers go to the new address: its own cookies go with them, never
            // those of the address that redirected.
            if (Ref<NSMutableDictionary> h = requestHeaders()) h->removeObjectForKey(NS("Cookie"));
            applyCookieHeader();
        }
    }

    if (!needsRedirect_) {
        Ref<NKHTTPRequest> owner = mainRequest();
        NKHTTPRequest* receiver = owner ? owner.get() : this;
        bool resets = showAccurateProgress() && shouldResetDownloadProgress();
        // A HEAD answered with an error page measures that page, not the download: its
        // length would make the total too small and the progress pass the whole.
        bool measures = !owner || (status >= 200 && status < 300);
        Ref<NSString> cl = measures ? fields[kContentLength] : nullptr;
        if (cl) {
            // The whole 64-bit range: bodies past 4 GB keep their true length.
            std::string digits = cl->utf8();
            errno = 0;
            unsigned long long length = std::strtoull(digits.c_str(), nullptr, 10);
            if (errno != 0 || digits.find('-') != std::string::npos) length = 0;
            if (owner && allowCompressedResponse() && length == 20 && resets) {
                owner->setShowAccurateProgress(false);
                owner->incrementDownloadSizeBy(1);
            } else {
                receiver->contentLength_ = length;
                // The whole body fits without growing the buffer again and again (within
                // reason: the length is the server's word).
                Ref<NSMutableData> raw = receiver->rawResponseData();
                if (raw && raw->length() == 0 && length > 0 && length <= kPresizeLimit)
                    receiver->setRawResponseData(
                        NSMutableData::dataWithCapacity(static_cast<NSUInteger>(length)));
                if (resets) {
                    receiver->incrementDownloadSizeBy(static_cast<long long>(
                        receiver->contentLength_ + receiver->partialDownloadSize_));
                }
            }
        } else if (resets) {
            receiver->setShowAccurateProgress(false);
            receiver->incrementDownloadSizeBy(1);
        }
    }

    if (shouldAttemptPersistentConnection()) {
        Ref<NSString> connection = fields[kConnection];
        connection = connection ? connection->lowercaseString() : nullptr;
        Ref<NSString> version = CFHTTPMessageCopyVersion(message);
        bool oldVersion = version && version->isEqualToString(kCFHTTPVersion1_0);
        if (oldVersion && !(connection && connection->isEqualToString(NS("keep-alive")))) {
            connectionCanBeReused_ = false;
        } else if (connection && connection->isEqualToString(NS("close"))) {
            connectionCanBeReused_ = false;
        } else if (Ref<NSString> keepAlive = fields[kKeepAlive]) {
            long long timeout = integerAfter(keepAlive, NS("timeout="));
            long long max = integerAfter(keepAlive, NS("max="));
            if (max > 5) {
                connectionCanBeReused_ = true;
                persistentConnectionTimeoutSeconds_ = static_cast<NSTimeInterval>(timeout);
            } else {
                connectionCanBeReused_ = false;
            }
        } else {
            connectionCanBeReused_ = true;
        }
    }

    requestReceivedResponseHeaders();
}

void NKHTTPRequest::parseStringEncodingFromHeaders() {
    parseStringEncoding(headerValue(responseHeaders(), NS("Content-Type")));
}

void NKHTTPRequest::parseStringEncoding(NSString* contentType) {
    NSStringEncoding known = nk_detail::charsetEncoding(contentType);
    responseEncoding_ = known ? known : defaultResponseEncoding();
}

// ---- the body -----------------------------------------------------------------------------------

void NKHTTPRequest::handleBytesAvailable() {
    if (!responseHeaders()) readResponseHeaders();
    if (complete() || !readStream_ || !CFReadStreamHasBytesAvailable(readStream_)) return;
    if (!readStreamIsScheduled_ && isBandwidthThrottled()) {
        // Paused by the throttle: the stream goes on telling of the bytes it holds, but they
        // wait until the allowance comes back.
        throttledWithBytesWaiting_ = true;
        return;
    }

    uint64_t length = contentLength_;
    NSUInteger bufferSize = length > 262144 ? 262144 : length > 65536 ? 65536 : 16384;
    // While throttled, a share of what is left of this second's allowance.
    bufferSize = static_cast<NSUInteger>(nk_detail::throttledDownloadReadLength(bufferSize));
    // One scratch buffer per thread, left uninitialised: a fresh quarter megabyte for every
    // read costs more than the copy itself.
    thread_local std::unique_ptr<uint8_t[]> scratch(new uint8_t[262144]);
    uint8_t* buffer = scratch.get();
    CFIndex n = CFReadStreamRead(readStream_, buffer, static_cast<CFIndex>(bufferSize));
    if (n < 0) {
        handleStreamError();
        return;
    }
    if (n == 0) return;
    totalBytesRead_ += static_cast<uint64_t>(n);
    lastActivityTime_ = NSDate::date();
    incrementBandwidthUsedInLastSecond(static_cast<unsigned long>(n));

    // A redirect's body must not land in a download file that will be resumed.
    if (needsRedirect_ && shouldRedirect() && allowResumeForFileDownloads()) return;

    SEL dataSelector = didReceiveDataSelector_;
    Ref<NKHTTPRequestDelegate> d = delegate_.lock();
    // The locked reference carries the delegate's NSObject side: no cast to find it.
    if (dataSelector && d && d.object()->respondsToSelector(dataSelector)) {
        Ref<NSData> data = NSData::dataWithBytes(buffer, static_cast<NSUInteger>(n));
        Ref<NKHTTPRequest> keep(this);
        NSRunLoop::performOnMainThread(
            [keep, data] {
                // The delegate is asked again when the call runs: a cleared one hears nothing.
                SEL sel = keep->didReceiveDataSelector_;
                Ref<NKHTTPRequestDelegate> now = keep->delegate();
                if (!sel || !now || !respondsTo(now.get(), sel)) return;
                NSObject* target = objc_detail::objectOf(now.get());
                const Method* m = target->getClass()->instanceMethod(sel);
                if (m && m->imp) {
                    Value args[] = {Value::of(keep.get()), Value::of(data.get())};
                    invokeMethod(target, sel, args);
                } else {
                    now->request(keep.get(), data.get());
                }
            },
            NSThread::isMainThread());
        return;
    }

    if (Ref<NSString> destination = downloadDestinationPath()) {
        if (!fileDownloadOutputStream_) {
            bool append = false;
            Ref<NSString> temp = temporaryFileDownloadPath();
            if (temp) {
                Ref<NSMutableDictionary> sent = requestHeaders();
                bool sentRange = sent && sent->objectForKey(NS("Range"));
                bool gotRange = headerValue(responseHeaders(), NS("Content-Range"));
                if (allowResumeForFileDownloads() && sentRange && gotRange) {
                    append = true;
                } else if (allowResumeForFileDownloads() && sentRange) {
                    // The server ignored the range: start the file again.
                    incrementDownloadSizeBy(-static_cast<long long>(partialDownloadSize_.load()));
                    partialDownloadSize_ = 0;
                }
            } else {
                temp = NSTemporaryDirectory()->stringByAppendingPathComponent(
                    nk_detail::globallyUniqueString());
                setTemporaryFileDownloadPath(temp);
            }
            fileDownloadOutputStream_ = NSOutputStream::outputStreamToFileAtPath(temp, append);
            fileDownloadOutputStream_->open();
        }
        if (!writeAll(fileDownloadOutputStream_, buffer, static_cast<NSUInteger>(n))) {
            // A body that cannot be kept must not end as a success with a short file.
            Ref<NSString> temp = temporaryFileDownloadPath();
            Ref<NSError> underlying = fileDownloadOutputStream_->streamError();
            cancelLoad();
            failWithFileError(
                NSString::stringWithFormat(NS("Failed to write to file at path '%@'"), temp),
                underlying);
        }
        return;
    }

    if (Ref<NSMutableData> raw = rawResponseData()) {
        raw->appendBytes(buffer, static_cast<NSUInteger>(n));
    }
}

void NKHTTPRequest::handleStreamComplete() {
    Ref<NKHTTPRequest> keep(this);
    ClassState& cs = classState();
    downloadComplete_ = true;
    if (!responseHeaders()) readResponseHeaders();

    Ref<NSError> fileError;
    {
        Locked progress(cs.progressLock);
        lastBytesSent_ = totalBytesSent_;
        if (readStream_) {
            auto written = as<NSNumber>(CFReadStreamCopyProperty(
                readStream_, kCFStreamPropertyHTTPRequestBytesWrittenCount));
            totalBytesSent_ = written ? written->unsignedLongLongValue() : 0;
        }
        complete_ = true;
        updateProgressIndicators();

        if (postBodyReadStream_) postBodyReadStream_->close();
        if (didCreateTemporaryPostDataFile_ &&
            authenticationNeeded_ == NKNoAuthenticationNeededYet) {
            removePostDataFile();
            didCreateTemporaryPostDataFile_ = false;
        }

        if (Ref<NSString> temp = temporaryFileDownloadPath()) {
            if (fileDownloadOutputStream_) {
                fileDownloadOutputStream_->close();
                fileDownloadOutputStream_ = nullptr;
            }
            bool keepPartial = needsRedirect_ && shouldRedirect() && allowResumeForFileDownloads();
            Ref<NSString> destination = downloadDestinationPath();
            if (!keepPartial && destination) {
                Ref<NSFileManager> fm = NSFileManager::defaultManager();
                if (isResponseCompressed()) {
                    int rc = uncompressZippedDataFromFile(temp, destination);
                    if (rc != 0) {
                        fileError = nk_detail::engineError(
                            NKFileManagementError,
                            NSString::stringWithFormat(
                                NS("Decompression of %@ failed with code %hi"), temp,
                                static_cast<short>(rc)));
                    }
                    removeTemporaryDownloadFile();
                } else {
                    Ref<NSError> err;
                    if (fm->fileExistsAtPath(destination) &&
                        !fm->removeItemAtPath(destination, &err)) {
                        fileError = nk_detail::engineError(
                            NKFileManagementError,
                            NSString::stringWithFormat(NS("Unable to remove file at path '%@'"),
                                                       destination),
                            err);
                    }
                    if (!fileError && !fm->moveItemAtPath(temp, destination, &err)) {
                        fileError = nk_detail::engineError(
                            NKFileManagementError,
                            NSString::stringWithFormat(NS("Failed to move file from '%@' to '%@'"),
                                                       temp, destination),
                            err);
                    }
                    setTemporaryFileDownloadPath(nullptr);
                }
            }
        }

        if (Ref<NKCacheDelegate> cache = downloadCache()) {
            if (!didUseCachedResponse()) cache->storeResponseForRequest(this, secondsToCache());
        }
    }

    {
        Locked conn(cs.connectionsLock);
        if (!connectionCanBeReused_) unscheduleReadStream();
        if (connectionInfo_) {
            connectionInfo_->removeObjectForKey(NS("request"));
            cs.keepConnectionFor(connectionInfo_, persistentConnectionTimeoutSeconds_);
        }
    }

    bool authNeeded = authenticationNeeded_ != NKNoAuthenticationNeededYet;
    if (!authNeeded) destroyReadStream();

    if (!needsRedirect_ && !authNeeded && !didUseCachedResponse()) {
        if (fileError) {
            failWithError(fileError);
        } else {
            requestFinished();
        }
        markAsFinished();
    } else if (authNeeded) {
        setStatusTimer(nullptr);
        CFRunLoopGetCurrent()->stop();
    }
}

void NKHTTPRequest::performRedirect() {
    complete_ = true;
    needsRedirect_ = false;
    ++redirectCount_;
    if (redirectCount_ < 6) {
        main();
    } else {
        failWithError(classState().tooMuchRedirectionError);
        complete_ = true;
    }
}

// ---- answers from the download cache ------------------------------------------------------------

bool NKHTTPRequest::useDataFromCache() {
    Ref<NKCacheDelegate> cache = downloadCache();
    if (!cache) return false;
    Ref<NSDictionary> headers = cache->cachedHeadersForRequest(this);
    Ref<NSString> dataPath = cache->pathToCachedResponseDataForRequest(this);
    if (!headers || !dataPath) return false;
    if (cachePolicy() == NKReloadIfDifferentCachePolicy &&
        !cache->isCachedDataCurrentForRequest(this)) {
        cache->removeCachedDataForRequest(this);
        return false;
    }
    responseStatusCode_ = 200;
    didUseCachedResponse_ = true;
    Ref<NKHTTPRequest> owner = mainRequest();
    NKHTTPRequest* receiver = owner ? owner.get() : this;
    receiver->setResponseHeaders(headers);
    if (receiver->downloadDestinationPath()) {
        receiver->setDownloadDestinationPath(dataPath);
    } else {
        receiver->setRawResponseData(NSMutableData::dataWithContentsOfFile(dataPath));
    }
    uint64_t length = 0;
    if (Ref<NSString> cl = headerValue(responseHeaders(), NS("Content-Length")))
        length = std::strtoull(cl->utf8().c_str(), nullptr, 10);
    receiver->contentLength_ = length;
    receiver->totalBytesRead_ = contentLength_.load();
    receiver->parseStringEncodingFromHeaders();
    receiver->setResponseCookies(NSHTTPCookie::cookiesWithResponseHeaderFields(headers, url()));
    receiver->complete_ = true;
    receiver->downloadComplete_ = true;
    receiver->updateProgressIndicators();
    receiver->requestFinished();
    receiver->markAsFinished();
    if (owner) markAsFinished();
    return true;
}

// ---- the body for callers -----------------------------------------------------------------------

bool NKHTTPRequest::isResponseCompressed() {
    Ref<NSString> encoding = headerValue(responseHeaders(), NS("Content-Encoding"));
    return encoding && encoding->rangeOfString(NS("gzip")).location != NSNotFound;
}

Ref<NSData> NKHTTPRequest::responseData() {
    Ref<NSMutableData> raw = rawResponseData();
    if (isResponseCompressed()) return raw ? uncompressZippedData(raw) : nullptr;
    return raw;
}

Ref<NSString> NKHTTPRequest::responseString() {
    Ref<NSData> data = responseData();
    if (!data) return nullptr;
    Ref<NSString> s = alloc<NSString>();
    if (!s->initWithBytes(data->bytes(), data->length(), responseEncoding())) return nullptr;
    return s;
}
