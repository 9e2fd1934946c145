// Building and sending: headers the caller sets and those the request adds itself, the body in
// memory or in a file, and startRequest, which makes the read stream, applies TLS settings and
// the proxy, picks or records a kept connection, schedules and opens the stream and starts the
// status timer.
#include <utility>
#include <vector>

#include "CFNetwork/CFNetwork.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
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
#include "Foundation/NSStream.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"
#include "external/nk-http-request/Classes/NKInputStream.h"

using nk_detail::Locked;
using nk_detail::writeAll;

namespace {

constexpr NSUInteger kFileChunkSize = 262144;

// The read stream's client: the context is the request, not retained by the stream.
void nkReadStreamClientCallback(CFReadStreamRef, CFStreamEventType type, void* info) {
    auto* request = static_cast<NKHTTPRequest*>(info);
    // A request whose end has begun no longer wants events.
    if (!objectTryRetain(request)) return;
    Ref<NKHTTPRequest> keep = Ref<NKHTTPRequest>::adopt(request);
    keep->handleNetworkEvent(type);
}

Ref<NSNumber> fileSize(NSString* path, Ref<NSError>* error) {
    Ref<NSDictionary> attributes =
        NSFileManager::defaultManager()->attributesOfItemAtPath(path, error);
    if (!attributes) return nullptr;
    return as<NSNumber>(attributes->objectForKey(NSFileSize));
}

bool fileExists(NSString* path) {
    return path && NSFileManager::defaultManager()->fileExistsAtPath(path);
}

}  // namespace

namespace nk_detail {

bool writeAll(NSOutputStream* stream, const uint8_t* bytes, NSUInteger length) {
    while (length > 0) {
        NSInteger n = stream->write(bytes, length);
        if (n <= 0) return false;
        bytes += n;
        length -= static_cast<NSUInteger>(n);
    }
    return true;
}

}  // namespace nk_detail

void NKHTTPRequest::failWithFileError(NSString* description, NSError* underlying) {
    failWithError(nk_detail::engineError(NKFileManagementError, description, underlying));
}

// ---- headers ------------------------------------------------------------------------------------

void NKHTTPRequest::addRequestHeader(NSString* header, NSString* value) {
    if (!header) return;
    Ref<NSMutableDictionary> headers = requestHeaders();
    if (!headers) {
        headers = NSMutableDictionary::dictionaryWithCapacity(1);
        setRequestHeaders(headers);
    }
    if (value) {
        headers->setObject(value, header);
    } else {
        headers->removeObjectForKey(header);
    }
}

void NKHTTPRequest::buildRequestHeaders() {
    if (haveBuiltRequestHeaders_) return;
    haveBuiltRequestHeaders_ = true;
    if (Ref<NKHTTPRequest> owner = mainRequest()) {
        // A HEAD request measuring another sends exactly what the other would.
        if (Ref<NSMutableDictionary> theirs = owner->requestHeaders()) {
            for (NSObject* key : *theirs)
                addRequestHeader(as<NSString>(Ref<NSObject>(key)),
                                 as<NSString>(theirs->objectForKey(key)));
        }
        return;
    }
    applyCookieHeader();
    Ref<NSMutableDictionary> headers = requestHeaders();
    if (!headers || !headers->objectForKey(NS("User-Agent"))) {
        if (Ref<NSString> agent = defaultUserAgentString())
            addRequestHeader(NS("User-Agent"), agent);
    }
    if (allowCompressedResponse()) addRequestHeader(NS("Accept-Encoding"), NS("gzip"));
    if (shouldCompressRequestBody()) addRequestHeader(NS("Content-Encoding"), NS("gzip"));
    updatePartialDownloadSize();
    if (partialDownloadSize_ > 0) {
        addRequestHeader(NS("Range"),
                         NSString::stringWithFormat(NS("bytes=%llu-"),
                                                    (unsigned long long)partialDownloadSize_));
    }
}

void NKHTTPRequest::applyCookieHeader() {
    Ref<NSURL> theURL = url();
    Ref<NSMutableArray> mine = requestCookies();
    if (useCookiePersistence() && theURL) {
        Ref<NSArray> stored =
            NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(theURL->absoluteURL());
        if (stored && stored->count()) {
            if (!mine) {
                mine = NSMutableArray::array();
                setRequestCookies(mine);
            }
            mine->addObjectsFromArray(stored);
        }
    }
    Ref<NKHTTPRequest> owner = mainRequest();
    Ref<NSArray> cookies = owner ? Ref<NSArray>(owner->requestCookies()) : Ref<NSArray>(mine);
    if (!cookies || cookies->count() == 0) return;
    Ref<NSString> header;
    for (NSObject* o : *cookies) {
        auto cookie = as<NSHTTPCookie>(Ref<NSObject>(o));
        if (!cookie) continue;
        header = header ? NSString::stringWithFormat(NS("%@; %@=%@"), header, cookie->name(),
                                                     cookie->value())
                        : NSString::stringWithFormat(NS("%@=%@"), cookie->name(), cookie->value());
    }
    if (header) addRequestHeader(NS("Cookie"), header);
}

// applyAuthorizationHeader is with the other credential steps (NKHTTPRequestCredentials.cpp).

void NKHTTPRequest::addBasicAuthenticationHeaderWithUsername(NSString* user, NSString* pass) {
    Ref<NSString> pair = NSString::stringWithFormat(NS("%@:%@"), user, pass);
    Ref<NSData> bytes = pair->dataUsingEncoding(NSUTF8StringEncoding);
    addRequestHeader(NS("Authorization"),
                     NSString::stringWithFormat(NS("Basic %@"), base64forData(bytes)));
}

void NKHTTPRequest::updatePartialDownloadSize() {
    Ref<NSString> temp = temporaryFileDownloadPath();
    if (!allowResumeForFileDownloads() || !downloadDestinationPath() || !fileExists(temp)) return;
    Ref<NSError> err;
    Ref<NSNumber> size = fileSize(temp, &err);
    if (!size) {
        failWithFileError(
            NSString::stringWithFormat(NS("Failed to get attributes for file at path '%@'"), temp),
            err);
        return;
    }
    partialDownloadSize_ = size->unsignedLongLongValue();
}

// ---- the body -----------------------------------------------------------------------------------

void NKHTTPRequest::setupPostBody() {
    if (shouldStreamPostDataFromDisk()) {
        if (!postBodyFilePath()) {
            setPostBodyFilePath(NSTemporaryDirectory()->stringByAppendingPathComponent(
                nk_detail::globallyUniqueString()));
            didCreateTemporaryPostDataFile_ = true;
        }
        if (!postBodyWriteStream_) {
            postBodyWriteStream_ =
                NSOutputStream::outputStreamToFileAtPath(postBodyFilePath(), false);
            postBodyWriteStream_->open();
        }
    } else if (!postBody()) {
        setPostBody(NSMutableData::data());
    }
}

void NKHTTPRequest::appendPostData(NSData* data) {
    setupPostBody();
    if (!data || data->length() == 0) return;
    if (shouldStreamPostDataFromDisk()) {
        writeAll(postBodyWriteStream_, static_cast<const uint8_t*>(data->bytes()), data->length());
    } else {
        postBody()->appendData(data);
    }
}

void NKHTTPRequest::appendPostDataFromFile(NSString* file) {
    setupPostBody();
    Ref<NSInputStream> stream = NSInputStream::inputStreamWithFileAtPath(file);
    if (!stream) return;
    stream->open();
    std::vector<uint8_t> buffer(kFileChunkSize);
    while (stream->hasBytesAvailable()) {
        NSInteger n = stream->read(buffer.data(), kFileChunkSize);
        if (n <= 0) break;
        if (shouldStreamPostDataFromDisk()) {
            writeAll(postBodyWriteStream_, buffer.data(), static_cast<NSUInteger>(n));
        } else {
            postBody()->appendBytes(buffer.data(), static_cast<NSUInteger>(n));
        }
    }
    stream->close();
}

void NKHTTPRequest::buildPostBody() {
    if (haveBuiltPostBody_) return;
    if (Ref<NSString> bodyPath = postBodyFilePath()) {
        if (postBodyWriteStream_) {
            postBodyWriteStream_->close();
            postBodyWriteStream_ = nullptr;
        }
        Ref<NSString> measured = bodyPath;
        if (shouldCompressRequestBody()) {
            compressedPostBodyFilePath_ = NSTemporaryDirectory()->stringByAppendingPathComponent(
                nk_detail::globallyUniqueString());
            // A failed compression shows as the size check below failing, or a short body.
            compressDataFromFile(bodyPath, compressedPostBodyFilePath_);
            measured = compressedPostBodyFilePath_;
        }
        Ref<NSError> err;
        Ref<NSNumber> size = fileSize(measured, &err);
        if (!size) {
            failWithFileError(NSString::stringWithFormat(
                                  NS("Failed to get attributes for file at path '%@'"), measured),
                              err);
            return;
        }
        postLength_ = size->unsignedLongLongValue();
    } else {
        Ref<NSMutableData> body = postBody();
        if (shouldCompressRequestBody() && body) {
            compressedPostBody_ = compressData(body);
            postLength_ = compressedPostBody_ ? compressedPostBody_->length() : 0;
        } else {
            postLength_ = body ? body->length() : 0;
        }
    }
    if (postLength_ > 0) {
        Ref<NSString> method = requestMethod();
        if (method->isEqualToString(NS("GET")) || method->isEqualToString(NS("DELETE")) ||
            method->isEqualToString(NS("HEAD"))) {
            setRequestMethod(NS("POST"));
        }
        addRequestHeader(NS("Content-Length"),
                         NSString::stringWithFormat(NS("%llu"), (unsigned long long)postLength_));
    }
    haveBuiltPostBody_ = true;
}

// ---- sending ------------------------------------------------------------------------------------

void NKHTTPRequest::applyProxyAndSSLSettings() {
    Ref<NSURL> theURL = url();
    Ref<NSString> scheme = theURL->scheme();
    bool https = scheme && scheme->lowercaseString()->isEqualToString(NS("https"));
    if (https) {
        Ref<NSMutableDictionary> ssl = NSMutableDictionary::dictionary();
        ssl->setObject(NS("kCFStreamSocketSecurityLevelTLSv1_0SSLv3"), kCFStreamSSLLevel);
        if (!validatesSecureCertificate()) {
            // Accept whatever the server presents, as asked.
            ssl->setObject(kCFBooleanTrue, kCFStreamSSLAllowsExpiredCertificates);
            ssl->setObject(kCFBooleanTrue, kCFStreamSSLAllowsExpiredRoots);
            ssl->setObject(kCFBooleanTrue, kCFStreamSSLAllowsAnyRoot);
            ssl->setObject(kCFBooleanFalse, kCFStreamSSLValidatesCertificateChain);
            ssl->setObject(kCFNull, kCFStreamSSLPeerName);
        }
        // With validation asked for, the chain and the host name are checked: the stream's
        // defaults do both.
        if (Ref<NSObject> identity = clientCertificateIdentity()) {
            Ref<NSMutableArray> certificates = NSMutableArray::arrayWithObject(identity);
            if (Ref<NSArray> more = clientCertificates()) certificates->addObjectsFromArray(more);
            ssl->setObject(certificates, kCFStreamSSLCertificates);
        }
        CFReadStreamSetProperty(readStream_, kCFStreamPropertySSLSettings, ssl);
    }

    if (!proxyHost() && !proxyPort()) {
        Ref<NSArray> proxies;
        if (Ref<NSURL> pac = PACurl()) {
            proxies = proxiesForURL(theURL, pac);
        } else {
            Ref<NSDictionary> settings = CFNetworkCopySystemProxySettings();
            proxies = CFNetworkCopyProxiesForURL(theURL, settings);
            if (proxies && proxies->count()) {
                auto first = as<NSDictionary>(proxies->objectAtIndex(0));
                Ref<NSObject> type = first ? first->objectForKey(kCFProxyTypeKey) : nullptr;
                if (type && type->isEqual(kCFProxyTypeAutoConfigurationURL)) {
                    Ref<NSObject> script = first->objectForKey(kCFProxyAutoConfigurationURLKey);
                    Ref<NSURL> scriptURL = as<NSURL>(script);
                    if (!scriptURL) {
                        if (auto text = as<NSString>(script))
                            scriptURL = NSURL::URLWithString(text);
                    }
                    proxies = proxiesForURL(theURL, scriptURL);
                }
            }
        }
        if (!proxies) {
            readStream_ = nullptr;
            failWithError(nk_detail::engineError(
                NKInternalErrorWhileBuildingRequestType,
                NS("Unable to obtain information on proxy servers needed for request")));
            return;
        }
        if (proxies->count()) {
            auto first = as<NSDictionary>(proxies->objectAtIndex(0));
            if (first) {
                setProxyHost(as<NSString>(first->objectForKey(kCFProxyHostNameKey)));
                auto port = as<NSNumber>(first->objectForKey(kCFProxyPortNumberKey));
                setProxyPort(port ? port->intValue() : 0);
                setProxyType(as<NSString>(first->objectForKey(kCFProxyTypeKey)));
            }
        }
    }

    Ref<NSString> host = proxyHost();
    int32_t port = proxyPort();
    if (host && port) {
        if (!proxyType()) setProxyType(kCFProxyTypeHTTP);
        Ref<NSNumber> portNumber = NSNumber::numberWithInt(port);
        if (proxyType()->isEqualToString(kCFProxyTypeSOCKS)) {
            CFReadStreamSetProperty(
                readStream_, kCFStreamPropertySOCKSProxy,
                NSDictionary::dictionaryWithPairs({{kCFStreamPropertySOCKSProxyHost, host},
                                                   {kCFStreamPropertySOCKSProxyPort, portNumber}}));
        } else if (https) {
            CFReadStreamSetProperty(
                readStream_, kCFStreamPropertyHTTPProxy,
                NSDictionary::dictionaryWithPairs({{kCFStreamPropertyHTTPSProxyHost, host},
                                                   {kCFStreamPropertyHTTPSProxyPort, portNumber}}));
        } else {
            CFReadStreamSetProperty(
                readStream_, kCFStreamPropertyHTTPProxy,
                NSDictionary::dictionaryWithPairs({{kCFStreamPropertyHTTPProxyHost, host},
                                                   {kCFStreamPropertyHTTPProxyPort, portNumber}}));
        }
    }
}

bool NKHTTPRequest::canReuseRecord(NSMutableDictionary* record, NSString* host, NSString* scheme,
                                   int port) {
    Ref<NSString> recordHost = nk_detail::asString(record->objectForKey(NS("host")));
    Ref<NSString> recordScheme = nk_detail::asString(record->objectForKey(NS("scheme")));
    auto recordPort = as<NSNumber>(record->objectForKey(NS("port")));
    return recordHost && recordScheme && recordHost->isEqualToString(host) &&
           recordScheme->isEqualToString(scheme) &&
           (recordPort ? recordPort->intValue() : 0) == port;
}

void NKHTTPRequest::startRequest() {
    if (isCancelled()) return;
    Ref<NKHTTPRequest> keep(this);
    requestStarted();

    downloadComplete_ = false;
    complete_ = false;
    totalBytesRead_ = 0;
    lastBytesRead_ = 0;
    if (redirectCount_ == 0) setOriginalURL(url());
    if (lastBytesSent_ > 0) removeUploadProgressSoFar();
    lastBytesSent_ = 0;
    contentLength_ = 0;
    setResponseHeaders(nullptr);
    if (!downloadDestinationPath()) setRawResponseData(NSMutableData::data());
    readStreamIsScheduled_ = false;

    // The body goes out through the counting stream; a body that was dropped (a redirect that
    // turned the request into a GET) is not sent, whatever file or buffer is still around.
    readStream_ = nullptr;
    postBodyReadStream_ = nullptr;
    Ref<NSString> bodyPath = postBodyFilePath();
    Ref<NSMutableData> body = postBody();
    if (postLength_ > 0 && shouldStreamPostDataFromDisk() && fileExists(bodyPath)) {
        Ref<NSString> path =
            fileExists(compressedPostBodyFilePath_) ? compressedPostBodyFilePath_ : bodyPath;
        postBodyReadStream_ = NKInputStream::inputStreamWithFileAtPath(path, this);
        readStream_ = CFReadStreamCreateForStreamedHTTPRequest(kCFAllocatorDefault, request_,
                                                               postBodyReadStream_);
    } else if (postLength_ > 0 && body && body->length() > 0) {
        NSData* data = (shouldCompressRequestBody() && compressedPostBody_)
                           ? compressedPostBody_.get()
                           : static_cast<NSData*>(body.get());
        postBodyReadStream_ = NKInputStream::inputStreamWithData(data, this);
        readStream_ = CFReadStreamCreateForStreamedHTTPRequest(kCFAllocatorDefault, request_,
                                                               postBodyReadStream_);
    } else {
        readStream_ = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request_);
    }
    if (!readStream_) {
        failWithError(nk_detail::engineError(NKInternalErrorWhileBuildingRequestType,
                                             NS("Unable to create read stream")));
        return;
    }

    applyProxyAndSSLSettings();
    if (!readStream_) return;

    expirePersistentConnections();
    Ref<CFReadStream> previousStream;
    {
        ClassState& cs = classState();
        Locked conn(cs.connectionsLock);
        Ref<NSURL> theURL = url();
        Ref<NSString> host = theURL->host(), scheme = theURL->scheme();
        Ref<NSNumber> portNumber = theURL->port();
        int port = portNumber ? portNumber->intValue() : 0;
        if (!host || !scheme) {
            connectionInfo_ = nullptr;
            shouldAttemptPersistentConnection_ = false;
        }
        bool fresh = std::exchange(needsNewConnection_, false);
        if (shouldAttemptPersistentConnection()) {
            if (connectionInfo_) {
                auto expires = as<NSDate>(connectionInfo_->objectForKey(NS("expires")));
                bool expired = expires && expires->timeIntervalSinceNow() < 0;
                if (expired) cs.persistentConnectionsPool->removeObjectIdenticalTo(connectionInfo_);
                // A record another request has taken since is no longer ours to use.
                Ref<NSObject> mark = connectionInfo_->objectForKey(NS("request"));
                bool takenByOther = mark && !objectsEqual(mark, requestID());
                if (expired || takenByOther || !canReuseRecord(connectionInfo_, host, scheme, port))
                    connectionInfo_ = nullptr;
            }
            if (!connectionInfo_ && host && scheme && !fresh) {
                for (NSObject* o : *cs.persistentConnectionsPool) {
                    auto record = as<NSMutableDictionary>(Ref<NSObject>(o));
                    if (record && !record->objectForKey(NS("request")) &&
                        canReuseRecord(record, host, scheme, port)) {
                        connectionInfo_ = record;  // the last match in pool order wins
                    }
                }
            }
            if (connectionInfo_) {
                previousStream = as<CFReadStream>(connectionInfo_->objectForKey(NS("stream")));
            } else {
                connectionInfo_ = NSMutableDictionary::dictionary();
                ++cs.nextConnectionNumberToCreate;
                connectionInfo_->setObject(
                    NSNumber::numberWithUnsignedLongLong(cs.nextConnectionNumberToCreate),
                    NS("id"));
                connectionInfo_->setObject(host, NS("host"));
                connectionInfo_->setObject(NSNumber::numberWithInt(port), NS("port"));
                connectionInfo_->setObject(scheme, NS("scheme"));
                cs.persistentConnectionsPool->addObject(connectionInfo_);
            }
            if (!requestID()) {
                ++cs.nextRequestID;
                requestID_.set(NSNumber::numberWithUnsignedLongLong(cs.nextRequestID));
            }
            connectionInfo_->setObject(requestID(), NS("request"));
            connectionInfo_->setObject(readStream_, NS("stream"));
            CFReadStreamSetProperty(readStream_, kCFStreamPropertyHTTPAttemptPersistentConnection,
                                    kCFBooleanTrue);
            CFReadStreamSetProperty(readStream_, NS("NKStreamID"),
                                    connectionInfo_->objectForKey(NS("id")));
        }
    }

    // A throttle that paused the streams puts this one on the loop when its time comes.
    if (!readStreamIsScheduled_) {
        NSTimeInterval wakeUp = throttleWakeUpTime();
        if (!isBandwidthThrottled() || wakeUp < 0 || wakeUp <= Clock::now()) scheduleReadStream();
    }

    CFStreamClientContext context;
    context.info = this;
    bool clientSet =
        CFReadStreamSetClient(readStream_,
                              kCFStreamEventHasBytesAvailable | kCFStreamEventEndEncountered |
                                  kCFStreamEventErrorOccurred | kCFStreamEventOpenCompleted,
                              nkReadStreamClientCallback, &context);
    bool opened = clientSet && CFReadStreamOpen(readStream_);

    if (previousStream && previousStream != readStream_) CFReadStreamClose(previousStream);

    if (opened) {
        if (!mainRequest()) resetProgressIndicators();
        lastActivityTime_ = NSDate::date();
        Ref<NSTimer> timer =
            NSTimer::timerWithTimeInterval(0.25, this, NK_SEL("updateStatus:"), nullptr, true);
        setStatusTimer(timer);
        CFRunLoopGetCurrent()->addTimer(timer, runLoopMode());
    } else {
        connectionCanBeReused_ = false;
        destroyReadStream();
        failWithError(nk_detail::engineError(NKInternalErrorWhileBuildingRequestType,
                                             NS("Unable to start HTTP connection")));
    }
}
