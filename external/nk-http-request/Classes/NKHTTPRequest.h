// One HTTP request and its response. A request is an operation: startAsynchronous hands it to the
// shared queue (four at once), whose worker has the one network thread run it; startSynchronous
// runs it on the calling thread's run loop in a private mode. Either way the socket work is
// event-driven on a run loop, and every callback to the delegate, the queue and the progress
// receivers runs on the main thread with its receiver read at that moment.
#pragma once

#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSOperation.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSStream.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "external/nk-http-request/Classes/NKCacheDelegate.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"
#include "external/nk-http-request/Classes/NKProgressDelegate.h"

class CFHTTPMessage;
class CFReadStream;
class NSHTTPCookie;
class NSURLCredential;
class NSNotification;
class NSRecursiveLock;
class NSThread;

// The domain of every failure the engine makes itself.
extern NSString* const NKHTTPRequestErrorDomain;  // "NKHTTPRequestErrorDomain"
// The private run-loop mode of synchronous requests.
extern NSString* const NKHTTPRequestRunLoopMode;  // "NKHTTPRequestRunLoopMode"

enum NKNetworkErrorType : NSInteger {
    NKConnectionFailureErrorType = 1,
    NKRequestTimedOutErrorType = 2,
    NKAuthenticationErrorType = 3,
    NKRequestCancelledErrorType = 4,
    NKUnableToCreateRequestErrorType = 5,
    NKInternalErrorWhileBuildingRequestType = 6,
    NKInternalErrorWhileApplyingCredentialsType = 7,
    NKFileManagementError = 8,
    NKTooMuchRedirectionErrorType = 9,
    NKUnhandledExceptionError = 10,
};

// What `authenticationNeeded` holds.
enum NKAuthenticationState : NSInteger {
    NKNoAuthenticationNeededYet = 0,
    NKHTTPAuthenticationNeeded = 1,
    NKProxyAuthenticationNeeded = 2,
};

namespace nk_detail {
// A retained property read and written whole from any thread.
template <class T>
class AtomicRef {
public:
    Ref<T> get() const {
        std::lock_guard<std::mutex> g(m_);
        return v_;
    }
    void set(Ref<T> v) {
        {
            std::lock_guard<std::mutex> g(m_);
            v_.swap(v);
        }
        // The old value is released here, outside the lock: its end may run code.
    }

private:
    mutable std::mutex m_;
    Ref<T> v_;
};
}  // namespace nk_detail

class NKHTTPRequest : public NSOperation {
    NS_OBJECT(NKHTTPRequest, NSOperation)
    static void describeClass(RuntimeClass& c);

    // ---- creating ---------------------------------------------------------------------------
    static Ref<NKHTTPRequest> requestWithURL(NSURL* url);
    static Ref<NKHTTPRequest> requestWithURL(NSURL* url, NKCacheDelegate* cache);
    // requestWithURL:usingCache:andCachePolicy:
    static Ref<NKHTTPRequest> requestWithURL(NSURL* url, NKCacheDelegate* cache,
                                             NKCachePolicy policy);
    virtual bool initWithURL(NSURL* url);
    bool init() override { return initWithURL(nullptr); }
    // A HEAD request for the same URL that measures this one (see mainRequest).
    Ref<NKHTTPRequest> HEADRequest();
    Ref<NSObject> copyWithZone() override;

    // ---- running ----------------------------------------------------------------------------
    void startAsynchronous();
    void startSynchronous();
    void start() override;
    void main() override;
    void cancel() override;
    bool isConcurrent() override { return true; }
    bool isExecuting() override;
    bool isFinished() override;
    bool isCancelled() override;
    void failWithError(NSError* error);
    void markAsFinished();

    // ---- network work in flight (Foundation/NetworkWork.h) -----------------------------------
    // Counts the request as network work from now until its last main-thread callback has run;
    // nothing when it counts already or is over. Starting does this; a queue that is running
    // does it when it takes the request, so that waiting for a free slot counts too.
    void beginNetworkWork();
    // Stops counting it once every callback queued to the main thread so far has run (at once
    // on the main thread). The end of the request does this, and so does a wait for a person's
    // answer to a login question, which is no network work.
    void endNetworkWorkAfterCallbacks();

    // ---- the request ------------------------------------------------------------------------
    void addRequestHeader(NSString* header, NSString* value);
    void appendPostData(NSData* data);
    void appendPostDataFromFile(NSString* file);
    virtual void buildPostBody();
    void buildRequestHeaders();
    void applyCookieHeader();
    void applyAuthorizationHeader();
    // Sets "Authorization" to "Basic " and the Base64 of "user:password".
    void addBasicAuthenticationHeaderWithUsername(NSString* username, NSString* password);

    // ---- authentication (NKHTTPRequestCredentials.cpp) ---------------------------------------
    // For whoever answered authenticationNeededForRequest: (or the login sheet): after setting
    // the user name and password (or the proxy's), try again; or give up (code 3). Both hop to
    // the request's thread without waiting.
    void retryUsingSuppliedCredentials();
    void cancelAuthentication();
    // Whether the request waits for such an answer.
    bool isAwaitingCredentials() { return awaitingCredentials_; }
    // Credential dictionaries (the platform's user-name, password and account-domain keys).
    bool applyCredentials(NSDictionary* credentials);
    bool applyProxyCredentials(NSDictionary* credentials);
    Ref<NSDictionary> findCredentials();
    Ref<NSDictionary> findProxyCredentials();
    // Session store entries ("Authentication", "Credentials", "URL" or "Host" and "Port",
    // "AuthenticationScheme", "AuthenticationRealm").
    Ref<NSDictionary> findSessionAuthenticationCredentials();
    Ref<NSDictionary> findSessionProxyAuthenticationCredentials();
    void saveCredentialsToKeychain(NSDictionary* credentials);
    void saveProxyCredentialsToKeychain(NSDictionary* credentials);
    bool askDelegateForCredentials();
    bool askDelegateForProxyCredentials();
    bool showAuthenticationDialog();
    bool showProxyAuthenticationDialog();
    void failAuthentication();

    // The process-wide session stores of credentials that worked (lost when the process ends).
    static Ref<NSMutableArray> sessionCredentialsStore();
    static Ref<NSMutableArray> sessionProxyCredentialsStore();
    static void storeAuthenticationCredentialsInSessionStore(NSDictionary* entry);
    static void storeProxyAuthenticationCredentialsInSessionStore(NSDictionary* entry);
    static void removeAuthenticationCredentialsFromSessionStore(NSDictionary* credentials);
    static void removeProxyAuthenticationCredentialsFromSessionStore(NSDictionary* credentials);
    // The persistent store ("keychain"): the shared credential storage, default credential of
    // the protection space, permanent persistence.
    static void saveCredentials(NSURLCredential* credentials, NSString* host, int32_t port,
                                NSString* protocol, NSString* realm);
    static void saveCredentials(NSURLCredential* credentials, NSString* proxyHost, int32_t port,
                                NSString* realm);
    static Ref<NSURLCredential> savedCredentialsForHost(NSString* host, int32_t port,
                                                        NSString* protocol, NSString* realm);
    static Ref<NSURLCredential> savedCredentialsForProxy(NSString* proxyHost, int32_t port,
                                                         NSString* protocol, NSString* realm);
    static void removeCredentialsForHost(NSString* host, int32_t port, NSString* protocol,
                                         NSString* realm);
    static void removeCredentialsForProxy(NSString* proxyHost, int32_t port, NSString* realm);
    // Empties the server session store, the session cookies and the default cache's
    // session-duration responses.
    static void clearSession();

    // ---- the response -----------------------------------------------------------------------
    // The body, inflated when the server sent it gzip-compressed (a new copy at each call).
    Ref<NSData> responseData();
    // The body decoded with the response's charset; nil when it does not decode.
    Ref<NSString> responseString();
    bool isResponseCompressed();

    // ---- properties -------------------------------------------------------------------------
    Ref<NSURL> url() { return url_.get(); }
    void setURL(NSURL* url);
    Ref<NSURL> originalURL() { return originalURL_.get(); }
    void setOriginalURL(NSURL* url) { originalURL_.set(url); }

    // The four receivers below are read and written under cancelledLock, so that one cleared
    // on any thread hears nothing afterwards.
    Ref<NKHTTPRequestDelegate> delegate();
    void setDelegate(NKHTTPRequestDelegate* delegate);
    // A second receiver of every callback and progress report (the network queue).
    Ref<NSObject> queue();
    void setQueue(NSObject* queue);
    Ref<NKProgressDelegate> uploadProgressDelegate();
    void setUploadProgressDelegate(NKProgressDelegate* delegate);
    Ref<NKProgressDelegate> downloadProgressDelegate();
    void setDownloadProgressDelegate(NKProgressDelegate* delegate);

    Ref<NSString> requestMethod() { return requestMethod_.get(); }
    void setRequestMethod(NSString* method);
    Ref<NSMutableData> postBody() { return postBody_.get(); }
    void setPostBody(NSMutableData* body) { postBody_.set(body); }
    Ref<NSData> compressedPostBody() { return compressedPostBody_; }
    bool shouldStreamPostDataFromDisk() { return shouldStreamPostDataFromDisk_; }
    void setShouldStreamPostDataFromDisk(bool v) { shouldStreamPostDataFromDisk_ = v; }
    Ref<NSString> postBodyFilePath() { return postBodyFilePath_.get(); }
    void setPostBodyFilePath(NSString* path);
    Ref<NSString> compressedPostBodyFilePath() { return compressedPostBodyFilePath_; }
    bool didCreateTemporaryPostDataFile() { return didCreateTemporaryPostDataFile_; }
    void setDidCreateTemporaryPostDataFile(bool v) { didCreateTemporaryPostDataFile_ = v; }
    Ref<NSOutputStream> postBodyWriteStream() { return postBodyWriteStream_; }
    Ref<NSInputStream> postBodyReadStream() { return postBodyReadStream_; }
    Ref<NSMutableDictionary> requestHeaders() { return requestHeaders_.get(); }
    void setRequestHeaders(NSMutableDictionary* headers) { requestHeaders_.set(headers); }
    bool haveBuiltRequestHeaders() { return haveBuiltRequestHeaders_; }
    void setHaveBuiltRequestHeaders(bool v) { haveBuiltRequestHeaders_ = v; }
    Ref<NSDictionary> responseHeaders() { return responseHeaders_.get(); }
    void setResponseHeaders(NSDictionary* headers) { responseHeaders_.set(headers); }
    Ref<NSMutableArray> requestCookies() { return requestCookies_.get(); }
    void setRequestCookies(NSMutableArray* cookies) { requestCookies_.set(cookies); }
    Ref<NSArray> responseCookies() { return responseCookies_.get(); }
    void setResponseCookies(NSArray* cookies) { responseCookies_.set(cookies); }
    bool useCookiePersistence() { return useCookiePersistence_; }
    void setUseCookiePersistence(bool v) { useCookiePersistence_ = v; }
    bool useKeychainPersistence() { return useKeychainPersistence_; }
    void setUseKeychainPersistence(bool v) { useKeychainPersistence_ = v; }
    bool useSessionPersistence() { return useSessionPersistence_; }
    void setUseSessionPersistence(bool v) { useSessionPersistence_ = v; }
    bool allowCompressedResponse() { return allowCompressedResponse_; }
    void setAllowCompressedResponse(bool v) { allowCompressedResponse_ = v; }
    bool shouldCompressRequestBody() { return shouldCompressRequestBody_; }
    void setShouldCompressRequestBody(bool v) { shouldCompressRequestBody_ = v; }
    Ref<NSString> downloadDestinationPath() { return downloadDestinationPath_.get(); }
    void setDownloadDestinationPath(NSString* path);
    Ref<NSString> temporaryFileDownloadPath() { return temporaryFileDownloadPath_.get(); }
    void setTemporaryFileDownloadPath(NSString* path);
    Ref<NSOutputStream> fileDownloadOutputStream() { return fileDownloadOutputStream_; }
    bool complete() { return complete_; }
    void setComplete(bool v) { complete_ = v; }
    Ref<NSError> error() { return error_.get(); }
    void setError(NSError* error) { error_.set(error); }

    Ref<NSString> username() { return username_.get(); }
    void setUsername(NSString* v);
    Ref<NSString> password() { return password_.get(); }
    void setPassword(NSString* v);
    Ref<NSString> domain() { return domain_.get(); }
    void setDomain(NSString* v);
    Ref<NSString> proxyUsername() { return proxyUsername_.get(); }
    void setProxyUsername(NSString* v);
    Ref<NSString> proxyPassword() { return proxyPassword_.get(); }
    void setProxyPassword(NSString* v);
    Ref<NSString> proxyDomain() { return proxyDomain_.get(); }
    void setProxyDomain(NSString* v);

    Ref<NSMutableData> rawResponseData() { return rawResponseData_.get(); }
    void setRawResponseData(NSMutableData* data) { rawResponseData_.set(data); }
    Ref<CFHTTPMessage> request() { return request_; }
    Ref<CFReadStream> readStream() { return readStream_; }

    // Authentication state (answered by the credential machinery; see attemptToApply...).
    Ref<NSObject> requestAuthentication() { return requestAuthentication_; }
    Ref<NSObject> proxyAuthentication() { return proxyAuthentication_; }
    Ref<NSDictionary> requestCredentials() { return requestCredentials_.get(); }
    void setRequestCredentials(NSDictionary* v) { requestCredentials_.set(v); }
    Ref<NSDictionary> proxyCredentials() { return proxyCredentials_.get(); }
    void setProxyCredentials(NSDictionary* v) { proxyCredentials_.set(v); }
    int32_t authenticationRetryCount() { return authenticationRetryCount_; }
    int32_t proxyAuthenticationRetryCount() { return proxyAuthenticationRetryCount_; }
    Ref<NSString> authenticationScheme() { return authenticationScheme_.get(); }
    Ref<NSString> authenticationRealm() { return authenticationRealm_.get(); }
    Ref<NSString> proxyAuthenticationScheme() { return proxyAuthenticationScheme_.get(); }
    Ref<NSString> proxyAuthenticationRealm() { return proxyAuthenticationRealm_.get(); }
    bool shouldPresentAuthenticationDialog() { return shouldPresentAuthenticationDialog_; }
    void setShouldPresentAuthenticationDialog(bool v) { shouldPresentAuthenticationDialog_ = v; }
    bool shouldPresentProxyAuthenticationDialog() {
        return shouldPresentProxyAuthenticationDialog_;
    }
    void setShouldPresentProxyAuthenticationDialog(bool v) {
        shouldPresentProxyAuthenticationDialog_ = v;
    }

    int32_t responseStatusCode() { return responseStatusCode_; }
    Ref<NSString> responseStatusMessage() { return responseStatusMessage_.get(); }
    uint64_t contentLength() { return contentLength_; }
    uint64_t partialDownloadSize() { return partialDownloadSize_; }
    uint64_t postLength() { return postLength_; }
    uint64_t totalBytesRead() { return totalBytesRead_; }
    uint64_t totalBytesSent() { return totalBytesSent_; }
    uint64_t lastBytesRead() { return lastBytesRead_; }
    uint64_t lastBytesSent() { return lastBytesSent_; }
    Ref<NSRecursiveLock> cancelledLock() { return cancelledLock_; }

    SEL didStartSelector() { return didStartSelector_; }
    void setDidStartSelector(SEL s) { didStartSelector_ = s; }
    SEL didReceiveResponseHeadersSelector() { return didReceiveResponseHeadersSelector_; }
    void setDidReceiveResponseHeadersSelector(SEL s) { didReceiveResponseHeadersSelector_ = s; }
    SEL didFinishSelector() { return didFinishSelector_; }
    void setDidFinishSelector(SEL s) { didFinishSelector_ = s; }
    SEL didFailSelector() { return didFailSelector_; }
    void setDidFailSelector(SEL s) { didFailSelector_ = s; }
    SEL didReceiveDataSelector() { return didReceiveDataSelector_; }
    void setDidReceiveDataSelector(SEL s) { didReceiveDataSelector_ = s; }

    Ref<NSDate> lastActivityTime() { return lastActivityTime_; }
    NSTimeInterval timeOutSeconds() { return timeOutSeconds_; }
    void setTimeOutSeconds(NSTimeInterval v) { timeOutSeconds_ = v; }
    bool shouldResetUploadProgress() { return shouldResetUploadProgress_; }
    void setShouldResetUploadProgress(bool v) { shouldResetUploadProgress_ = v; }
    bool shouldResetDownloadProgress() { return shouldResetDownloadProgress_; }
    void setShouldResetDownloadProgress(bool v) { shouldResetDownloadProgress_ = v; }
    Ref<NKHTTPRequest> mainRequest() { return mainRequest_.lock(); }
    void setMainRequest(NKHTTPRequest* r) { mainRequest_ = r; }
    bool showAccurateProgress() { return showAccurateProgress_; }
    void setShowAccurateProgress(bool v) { showAccurateProgress_ = v; }
    bool haveBuiltPostBody() { return haveBuiltPostBody_; }
    void setHaveBuiltPostBody(bool v) { haveBuiltPostBody_ = v; }
    uint64_t uploadBufferSize() { return uploadBufferSize_; }
    NSStringEncoding defaultResponseEncoding() { return defaultResponseEncoding_; }
    void setDefaultResponseEncoding(NSStringEncoding e) { defaultResponseEncoding_ = e; }
    NSStringEncoding responseEncoding() { return responseEncoding_; }
    void setResponseEncoding(NSStringEncoding e) { responseEncoding_ = e; }
    bool allowResumeForFileDownloads() { return allowResumeForFileDownloads_; }
    void setAllowResumeForFileDownloads(bool v) { allowResumeForFileDownloads_ = v; }
    Ref<NSDictionary> userInfo() { return userInfo_.get(); }
    void setUserInfo(NSDictionary* v) { userInfo_.set(v); }
    bool useHTTPVersionOne() { return useHTTPVersionOne_; }
    void setUseHTTPVersionOne(bool v) { useHTTPVersionOne_ = v; }
    bool shouldRedirect() { return shouldRedirect_; }
    void setShouldRedirect(bool v) { shouldRedirect_ = v; }
    bool needsRedirect() { return needsRedirect_; }
    int32_t redirectCount() { return redirectCount_; }
    bool validatesSecureCertificate() { return validatesSecureCertificate_; }
    void setValidatesSecureCertificate(bool v) { validatesSecureCertificate_ = v; }
    // The client identity for TLS (an object the TLS layer understands).
    Ref<NSObject> clientCertificateIdentity() { return clientCertificateIdentity_.get(); }
    void setClientCertificateIdentity(NSObject* identity) {
        clientCertificateIdentity_.set(identity);
    }
    Ref<NSArray> clientCertificates() { return clientCertificates_.get(); }
    void setClientCertificates(NSArray* v) { clientCertificates_.set(v); }
    Ref<NSString> proxyHost() { return proxyHost_.get(); }
    void setProxyHost(NSString* v);
    int32_t proxyPort() { return proxyPort_; }
    void setProxyPort(int32_t v) { proxyPort_ = v; }
    Ref<NSString> proxyType() { return proxyType_.get(); }
    void setProxyType(NSString* v);
    Ref<NSURL> PACurl() { return PACurl_.get(); }
    void setPACurl(NSURL* v) { PACurl_.set(v); }
    NKAuthenticationState authenticationNeeded() { return authenticationNeeded_; }
    bool shouldPresentCredentialsBeforeChallenge() {
        return shouldPresentCredentialsBeforeChallenge_;
    }
    void setShouldPresentCredentialsBeforeChallenge(bool v) {
        shouldPresentCredentialsBeforeChallenge_ = v;
    }
    int32_t numberOfTimesToRetryOnTimeout() { return numberOfTimesToRetryOnTimeout_; }
    void setNumberOfTimesToRetryOnTimeout(int32_t v) { numberOfTimesToRetryOnTimeout_ = v; }
    int32_t retryCount() { return retryCount_; }
    bool shouldAttemptPersistentConnection() { return shouldAttemptPersistentConnection_; }
    void setShouldAttemptPersistentConnection(bool v) { shouldAttemptPersistentConnection_ = v; }
    NSTimeInterval persistentConnectionTimeoutSeconds() {
        return persistentConnectionTimeoutSeconds_;
    }
    void setPersistentConnectionTimeoutSeconds(NSTimeInterval v) {
        persistentConnectionTimeoutSeconds_ = v;
    }
    bool connectionCanBeReused() { return connectionCanBeReused_; }
    bool shouldUseRFC2616RedirectBehaviour() { return shouldUseRFC2616RedirectBehaviour_; }
    void setShouldUseRFC2616RedirectBehaviour(bool v) { shouldUseRFC2616RedirectBehaviour_ = v; }
    bool downloadComplete() { return downloadComplete_; }
    Ref<NSNumber> requestID() { return requestID_.get(); }
    Ref<NSString> runLoopMode() { return runLoopMode_.get(); }
    Ref<NSTimer> statusTimer() { return statusTimer_.get(); }
    void setStatusTimer(NSTimer* timer);
    Ref<NKCacheDelegate> downloadCache() { return downloadCache_.lock(); }
    void setDownloadCache(NKCacheDelegate* cache) { downloadCache_ = cache; }
    NKCachePolicy cachePolicy() { return cachePolicy_; }
    void setCachePolicy(NKCachePolicy p) { cachePolicy_ = p; }
    NKCacheStoragePolicy cacheStoragePolicy() { return cacheStoragePolicy_; }
    void setCacheStoragePolicy(NKCacheStoragePolicy p) { cacheStoragePolicy_ = p; }
    bool didUseCachedResponse() { return didUseCachedResponse_; }
    NSTimeInterval secondsToCache() { return secondsToCache_; }
    void setSecondsToCache(NSTimeInterval v) { secondsToCache_ = v; }
    // The "id" of this request's connection record (nil without one).
    Ref<NSNumber> connectionID();

    // ---- class services ---------------------------------------------------------------------
    static NSTimeInterval defaultTimeOutSeconds();
    static void setDefaultTimeOutSeconds(NSTimeInterval seconds);
    static Ref<NSOperationQueue> sharedQueue();
    // The network thread (made on first use); every asynchronous request gets the same one.
    static Ref<NSThread> threadForRequest(NKHTTPRequest* request);
    static Ref<NSMutableArray> sessionCookies();
    static void setSessionCookies(NSArray* cookies);
    static void addSessionCookie(NSHTTPCookie* cookie);
    static Ref<NSString> defaultUserAgentString();
    static Ref<NSString> mimeTypeForFileAtPath(NSString* path);
    // proxiesForURL:fromPAC: — nil when the script cannot be evaluated.
    static Ref<NSArray> proxiesForURL(NSURL* url, NSURL* pacScriptURL);
    static Ref<NKCacheDelegate> defaultCache();
    static void setDefaultCache(NKCacheDelegate* cache);
    static bool isNetworkInUse();
    static void setShouldUpdateNetworkActivityIndicator(bool shouldUpdate);
    static void showNetworkActivityIndicator();
    static void hideNetworkActivityIndicator();
    static Ref<NSString> base64forData(NSData* data);
    static Ref<NSDate> dateFromRFC1123String(NSString* string);
    // Closes and drops the free kept connections whose time is up.
    static void expirePersistentConnections();
    // Test aid: how many connection records the pool holds.
    static NSUInteger persistentConnectionCount();

    // ---- gzip -------------------------------------------------------------------------------
    static Ref<NSData> uncompressZippedData(NSData* compressedData);
    static int uncompressZippedDataFromFile(NSString* sourcePath, NSString* destinationPath);
    static int uncompressZippedDataFromSource(FILE* source, FILE* dest);
    static Ref<NSData> compressData(NSData* uncompressedData);
    static int compressDataFromFile(NSString* sourcePath, NSString* destinationPath);
    static int compressDataFromSource(FILE* source, FILE* dest);

    // ---- bandwidth throttling ----------------------------------------------------------------
    // One limit for all requests together, in bytes per second (0: none). Streams are paused
    // while a second's allowance is used up and reads are cut to a share of what is left.
    static bool isBandwidthThrottled();
    static unsigned long maxBandwidthPerSecond();
    static void setMaxBandwidthPerSecond(unsigned long bytes);
    static void incrementBandwidthUsedInLastSecond(unsigned long bytes);
    static unsigned long averageBandwidthUsedPerSecond();
    // Closes the one-second window when it has passed and sets the wake-up time of paused
    // streams when the window's allowance was overshot.
    static void measureBandwidthUsage();
    // The same, called with the bandwidth lock held.
    static void measureBandwidthUsageLockHeld();
    // Called with the bandwidth lock held: keeps the window's bytes as a sample.
    static void recordBandwidthUsage();
    // How much one body read may take now (a quarter of the allowance, or what is left of it).
    static unsigned long maxUploadReadLength();
    // Limits to 14,800 bytes per second while the device is on the mobile data network.
    static void setShouldThrottleBandwidthForWWAN(bool throttle);
    static void throttleBandwidthForWWANUsingLimit(unsigned long limit);
    static void registerForNetworkReachabilityNotifications();
    static void unsubscribeFromNetworkReachabilityNotifications();
    static bool isNetworkReachableViaWWAN();
    static void reachabilityChanged(NSNotification* note);
    // Test aid: bytes counted in the current one-second window.
    static unsigned long bandwidthUsedInLastSecond();
    // Test aid: when paused streams may run again (clock time), or a negative value for none.
    static NSTimeInterval throttleWakeUpTime();
    // Pauses or resumes this request's read stream as the accounting says.
    void performThrottling();

    // ---- progress and callbacks -------------------------------------------------------------
    void updateProgressIndicators();
    void updateUploadProgress();
    void updateDownloadProgress();
    void incrementDownloadSizeBy(long long length);
    void incrementUploadSizeBy(long long length);
    void removeUploadProgressSoFar();
    static void updateProgressIndicator(NKProgressDelegate* indicator, uint64_t progress,
                                        uint64_t total);

    // ---- the stream and the connection (called by the request itself) -----------------------
    void handleNetworkEvent(NSUInteger type);
    void updateStatus(NSTimer* timer);

    void dealloc() override;

protected:
    // Sending (overridable steps).
    void setupPostBody();
    void startRequest();
    void updatePartialDownloadSize();
    // Credentials: the challenge handlers, run once a 401 or 407 has been read whole and again
    // on retryUsingSuppliedCredentials.
    virtual void attemptToApplyCredentialsAndResume();
    virtual void attemptToApplyProxyCredentialsAndResume();
    // After a response that needed no challenge: keeps the Basic credentials it carried.
    void storeBasicCredentialsAfterSuccess();

    // Reading.
    void readResponseHeaders();
    void parseStringEncodingFromHeaders();
    void parseStringEncoding(NSString* contentType);
    void handleBytesAvailable();
    void handleStreamComplete();
    void handleStreamError();
    void performRedirect();
    bool useDataFromCache();

    // Time-outs, retries and the stream.
    void checkRequestStatus();
    bool shouldTimeOut();
    bool retryUsingNewConnection();
    void scheduleReadStream();
    void unscheduleReadStream();
    void destroyReadStream();
    void cancelLoad();
    void removeTemporaryDownloadFile();
    void removePostDataFile();
    void cancelOnRequestThread();
    // The running-stream count and the activity indicator (called under the connections lock).
    static void streamStopped();
    static void scheduleIndicatorHide(NSTimeInterval delay);
    static void indicatorHideDue();

    // Callbacks.
    void requestStarted();
    void requestReceivedResponseHeaders();
    void requestFinished();
    void reportFailure();
    void resetProgressIndicators();

public:
    // Internal: the process-wide state, made once.
    struct ClassState;
    static ClassState& classState();

private:
    friend class NKInputStream;
    // The server or the proxy half of the challenge handling (what each uses of the request).
    struct AuthenticationSide;
    // Stops the network thread as its process-wide slot drops it: first ends every request
    // still running there, as a cancel would, then stops the loop and waits for the thread.
    static void retireNetworkThread(NSThread* thread);
    // Makes `thread` the one this request runs on; false when it is being retired.
    static bool enterNetworkThread(NKHTTPRequest* request, NSThread* thread);
    // Ends a ticket taken from networkWork_ once the callbacks queued so far have run.
    static void endNetworkWorkAfterCallbacks(uint64_t ticket);
    // What the request is, for the line naming work still pending: "POST https://...".
    std::string networkWorkDescription();
    // Runs `work` on the thread that runs this request's stream (the network thread, or the
    // thread of a synchronous request), without waiting.
    void performOnRequestThread(std::function<void()> work);
    void failWithFileError(NSString* description, NSError* underlying);
    void applyProxyAndSSLSettings();
    bool canReuseRecord(NSMutableDictionary* record, NSString* host, NSString* scheme, int port);
    void freeConnectionRecord(bool withExpiry);
    // Callbacks to the main thread (receiver read when the call runs).
    enum class Receiver { Delegate, Queue, UploadProgress, DownloadProgress };
    Ref<NSObject> receiverObject(Receiver which);
    // The selector is read from its place when the call runs, as is the receiver. An event
    // that a later report of the same request always follows may wait for that report's
    // wake-up when nobody would answer it now.
    enum class Urgency { Always, UnlessUnanswered };
    void callSelectorOnMainThread(std::atomic<SEL>* selectorPlace, Receiver which,
                                  Urgency urgency = Urgency::Always);
    void callSelectorCallback(std::atomic<SEL>* selectorPlace, Receiver which);
    void performProgress(SEL selector, Receiver which, long long amount);
    static void setProgressOnMainThread(Ref<NSObject> receiver, float progress);
    static void progressReceiver(NKHTTPRequest* request, Receiver which, uint64_t progress,
                                 uint64_t total);

    nk_detail::AtomicRef<NSURL> url_;
    nk_detail::AtomicRef<NSURL> originalURL_;
    Weak<NKHTTPRequestDelegate> delegate_;               // under cancelledLock
    Ref<NSObject> queue_;                                // under cancelledLock
    Weak<NKProgressDelegate> uploadProgressDelegate_;    // under cancelledLock
    Weak<NKProgressDelegate> downloadProgressDelegate_;  // under cancelledLock
    nk_detail::AtomicRef<NSString> requestMethod_;
    nk_detail::AtomicRef<NSMutableData> postBody_;
    Ref<NSData> compressedPostBody_;
    std::atomic<bool> shouldStreamPostDataFromDisk_{false};
    nk_detail::AtomicRef<NSString> postBodyFilePath_;
    Ref<NSString> compressedPostBodyFilePath_;
    std::atomic<bool> didCreateTemporaryPostDataFile_{false};
    Ref<NSOutputStream> postBodyWriteStream_;
    Ref<NSInputStream> postBodyReadStream_;
    nk_detail::AtomicRef<NSMutableDictionary> requestHeaders_;
    std::atomic<bool> haveBuiltRequestHeaders_{false};
    nk_detail::AtomicRef<NSDictionary> responseHeaders_;
    nk_detail::AtomicRef<NSMutableArray> requestCookies_;
    nk_detail::AtomicRef<NSArray> responseCookies_;
    std::atomic<bool> useCookiePersistence_{false};
    std::atomic<bool> useKeychainPersistence_{false};
    std::atomic<bool> useSessionPersistence_{false};
    std::atomic<bool> allowCompressedResponse_{false};
    std::atomic<bool> shouldCompressRequestBody_{false};
    nk_detail::AtomicRef<NSString> downloadDestinationPath_;
    nk_detail::AtomicRef<NSString> temporaryFileDownloadPath_;
    Ref<NSOutputStream> fileDownloadOutputStream_;
    std::atomic<bool> complete_{false};
    std::atomic<bool> finished_{false};
    std::atomic<bool> cancelled_{false};
    nk_detail::AtomicRef<NSError> error_;
    nk_detail::AtomicRef<NSString> username_, password_, domain_;
    nk_detail::AtomicRef<NSString> proxyUsername_, proxyPassword_, proxyDomain_;
    nk_detail::AtomicRef<NSMutableData> rawResponseData_;
    Ref<CFHTTPMessage> request_;
    Ref<CFReadStream> readStream_;
    Ref<NSObject> requestAuthentication_, proxyAuthentication_;
    // The challenge being answered, kept for an answer that comes later.
    Ref<CFHTTPMessage> challengeResponse_;
    // A delegate or the login sheet has been asked; the request waits for its answer.
    std::atomic<bool> awaitingCredentials_{false};
    nk_detail::AtomicRef<NSDictionary> requestCredentials_, proxyCredentials_;
    std::atomic<int32_t> authenticationRetryCount_{0}, proxyAuthenticationRetryCount_{0};
    nk_detail::AtomicRef<NSString> authenticationScheme_, authenticationRealm_;
    nk_detail::AtomicRef<NSString> proxyAuthenticationScheme_, proxyAuthenticationRealm_;
    std::atomic<bool> shouldPresentAuthenticationDialog_{false};
    std::atomic<bool> shouldPresentProxyAuthenticationDialog_{false};
    std::atomic<int32_t> responseStatusCode_{0};
    nk_detail::AtomicRef<NSString> responseStatusMessage_;
    std::atomic<uint64_t> contentLength_{0};
    std::atomic<uint64_t> partialDownloadSize_{0};
    std::atomic<uint64_t> postLength_{0};
    std::atomic<uint64_t> totalBytesRead_{0};
    std::atomic<uint64_t> totalBytesSent_{0};
    uint64_t lastBytesRead_ = 0;
    uint64_t lastBytesSent_ = 0;
    Ref<NSRecursiveLock> cancelledLock_;
    std::atomic<SEL> didStartSelector_{nullptr};
    std::atomic<SEL> didReceiveResponseHeadersSelector_{nullptr};
    std::atomic<SEL> didFinishSelector_{nullptr};
    std::atomic<SEL> didFailSelector_{nullptr};
    std::atomic<SEL> didReceiveDataSelector_{nullptr};
    Ref<NSDate> lastActivityTime_;
    std::atomic<NSTimeInterval> timeOutSeconds_{0};
    std::atomic<bool> shouldResetUploadProgress_{false};
    std::atomic<bool> shouldResetDownloadProgress_{false};
    Weak<NKHTTPRequest> mainRequest_;
    std::atomic<bool> showAccurateProgress_{false};
    bool updatedProgress_ = false;
    bool haveBuiltPostBody_ = false;
    uint64_t uploadBufferSize_ = 0;
    std::atomic<NSStringEncoding> defaultResponseEncoding_{0};
    std::atomic<NSStringEncoding> responseEncoding_{0};
    std::atomic<bool> allowResumeForFileDownloads_{false};
    nk_detail::AtomicRef<NSDictionary> userInfo_;
    std::atomic<bool> useHTTPVersionOne_{false};
    std::atomic<bool> shouldRedirect_{false};
    bool needsRedirect_ = false;
    int32_t redirectCount_ = 0;
    std::atomic<bool> validatesSecureCertificate_{false};
    nk_detail::AtomicRef<NSObject> clientCertificateIdentity_;
    nk_detail::AtomicRef<NSArray> clientCertificates_;
    nk_detail::AtomicRef<NSString> proxyHost_;
    std::atomic<int32_t> proxyPort_{0};
    nk_detail::AtomicRef<NSString> proxyType_;
    nk_detail::AtomicRef<NSURL> PACurl_;
    std::atomic<NKAuthenticationState> authenticationNeeded_{NKNoAuthenticationNeededYet};
    std::atomic<bool> shouldPresentCredentialsBeforeChallenge_{false};
    std::atomic<bool> inProgress_{false};
    std::atomic<bool> deallocating_{false};
    // The request's ticket in the count of network work in flight, 0 while it does not count.
    std::atomic<uint64_t> networkWork_{0};
    bool readStreamIsScheduled_ = false;
    // Response bytes came while the throttle kept the stream off the loop; they are read when
    // it goes back on (the stream tells of waiting bytes only once).
    bool throttledWithBytesWaiting_ = false;
    std::atomic<int32_t> numberOfTimesToRetryOnTimeout_{0};
    std::atomic<int32_t> retryCount_{0};
    std::atomic<bool> shouldAttemptPersistentConnection_{false};
    std::atomic<NSTimeInterval> persistentConnectionTimeoutSeconds_{0};
    std::atomic<bool> connectionCanBeReused_{false};
    Ref<NSMutableDictionary> connectionInfo_;
    // The next send makes a connection of its own rather than take a free kept one.
    bool needsNewConnection_ = false;
    std::atomic<bool> shouldUseRFC2616RedirectBehaviour_{false};
    bool downloadComplete_ = false;
    nk_detail::AtomicRef<NSNumber> requestID_;
    nk_detail::AtomicRef<NSString> runLoopMode_;
    nk_detail::AtomicRef<NSTimer> statusTimer_;
    Weak<NKCacheDelegate> downloadCache_;
    std::atomic<NKCachePolicy> cachePolicy_{NKUseDefaultCachePolicy};
    std::atomic<NKCacheStoragePolicy> cacheStoragePolicy_{
        NKCacheForSessionDurationCacheStoragePolicy};
    std::atomic<bool> didUseCachedResponse_{false};
    std::atomic<NSTimeInterval> secondsToCache_{0};

    // The run loop this request's stream and timer run on (see performOnRequestThread).
    nk_detail::AtomicRef<NSRunLoop> requestLoop_;
    // The loop the read stream is scheduled on, so that it can be taken off from anywhere.
    Ref<NSRunLoop> scheduledLoop_;
};
