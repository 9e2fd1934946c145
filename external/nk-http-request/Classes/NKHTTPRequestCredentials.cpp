// Answers to authentication challenges, for the server (401) and for a proxy (407): credentials
// are looked for in the request, its main request, the session stores of earlier successes and
// the persistent store, applied with the platform's HTTP authentication, and the request is sent
// again; otherwise the delegate (or the queue) is asked, or the login sheet shown, and the request
// waits for retryUsingSuppliedCredentials or cancelAuthentication. Everything here runs on the
// request's thread except the two answers, which hop there.
#include "CFNetwork/CFHTTPAuthentication.h"
#include "CFNetwork/CFNetwork.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLock.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLCredentialStorage.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKAuthenticationDialog.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"
#include "external/nk-http-request/Classes/NKNetworkQueue.h"

using nk_detail::Locked;

namespace {

NSString* const kAuthentication = NS("Authentication");
NSString* const kCredentials = NS("Credentials");
NSString* const kURL = NS("URL");
NSString* const kHost = NS("Host");
NSString* const kPort = NS("Port");
NSString* const kScheme = NS("AuthenticationScheme");
NSString* const kRealm = NS("AuthenticationRealm");

// The two session lists, under the session-credentials lock.
Ref<NSMutableArray>& serverStore() {
    static Ref<NSMutableArray>* const store = new Ref<NSMutableArray>();
    return *store;
}
Ref<NSMutableArray>& proxyStore() {
    static Ref<NSMutableArray>* const store = new Ref<NSMutableArray>();
    return *store;
}

Ref<CFHTTPAuthentication> authenticationOf(NSObject* o) {
    return as<CFHTTPAuthentication>(o);
}

bool sameText(NSString* a, NSString* b) {
    if (!a || !b) return !a && !b;
    return a->isEqualToString(b);
}

// Same host (exact text), same port (both absent, or equal numbers) and same scheme.
bool sameServer(NSURL* a, NSURL* b) {
    if (!a || !b) return false;
    Ref<NSString> hostA = a->host(), hostB = b->host();
    if (!hostA || !hostB || !hostA->isEqualToString(hostB)) return false;
    Ref<NSNumber> portA = a->port(), portB = b->port();
    if (portA || portB) {
        if (!portA || !portB || portA->intValue() != portB->intValue()) return false;
    }
    return sameText(a->scheme(), b->scheme());
}

int32_t portOf(NSURL* url) {
    Ref<NSNumber> port = url ? url->port() : nullptr;
    return port ? port->intValue() : 0;
}

// Removes the first entry whose "Credentials" is that very dictionary.
void removeFrom(NSMutableArray* store, NSDictionary* credentials) {
    NSUInteger count = store->count();
    for (NSUInteger i = 0; i < count; ++i) {
        auto entry = as<NSDictionary>(store->objectAtIndex(i));
        if (entry && entry->objectForKey(kCredentials).get() == credentials) {
            store->removeObjectAtIndex(i);
            return;
        }
    }
}

// Entries that only repeat an earlier one (the same credentials for the same place) are dropped
// when the newer one is stored, so that requests repeating a success do not grow the list.
void removeRepeats(NSMutableArray* store, NSDictionary* entry, NSString* placeKey) {
    Ref<NSObject> credentials = entry->objectForKey(kCredentials);
    Ref<NSObject> place = entry->objectForKey(placeKey);
    for (NSUInteger i = store->count(); i-- > 0;) {
        auto other = as<NSDictionary>(store->objectAtIndex(i));
        if (!other) continue;
        Ref<NSObject> theirs = other->objectForKey(kCredentials);
        Ref<NSObject> theirPlace = other->objectForKey(placeKey);
        bool samePlace = place && theirPlace && place->isEqual(theirPlace);
        bool sameAuth = other->objectForKey(kAuthentication).get() ==
                            entry->objectForKey(kAuthentication).get() ||
                        !other->objectForKey(kAuthentication);
        if (theirs && credentials && samePlace && sameAuth && theirs->isEqual(credentials))
            store->removeObjectAtIndex(i);
    }
}

Ref<NSURLProtectionSpace> serverSpace(NSString* host, int32_t port, NSString* protocol,
                                      NSString* realm) {
    return make<NSURLProtectionSpace>(&NSURLProtectionSpace::initWithHost, host, port, protocol,
                                      realm, NSURLAuthenticationMethodDefault);
}

Ref<NSURLProtectionSpace> proxySpace(NSString* host, int32_t port, NSString* realm) {
    return make<NSURLProtectionSpace>(&NSURLProtectionSpace::initWithProxyHost, host, port,
                                      NSURLProtectionSpaceHTTPProxy, realm,
                                      NSURLAuthenticationMethodDefault);
}

Ref<NSMutableDictionary> credentialDictionary(NSString* user, NSString* password) {
    Ref<NSMutableDictionary> d = NSMutableDictionary::dictionary();
    d->setObject(user, kCFHTTPAuthenticationUsername);
    d->setObject(password, kCFHTTPAuthenticationPassword);
    return d;
}

// The two callbacks asked of whoever may answer, kept where the callback machinery reads them.
std::atomic<SEL>& authenticationNeededPlace() {
    static std::atomic<SEL> place{Selector::named("authenticationNeededForRequest:")};
    return place;
}
std::atomic<SEL>& proxyAuthenticationNeededPlace() {
    static std::atomic<SEL> place{Selector::named("proxyAuthenticationNeededForRequest:")};
    return place;
}

}  // namespace

// ---- session stores -----------------------------------------------------------------------------

Ref<NSMutableArray> NKHTTPRequest::sessionCredentialsStore() {
    Locked lock(classState().sessionCredentialsLock);
    if (!serverStore()) serverStore() = NSMutableArray::array();
    return serverStore();
}

Ref<NSMutableArray> NKHTTPRequest::sessionProxyCredentialsStore() {
    Locked lock(classState().sessionCredentialsLock);
    if (!proxyStore()) proxyStore() = NSMutableArray::array();
    return proxyStore();
}

void NKHTTPRequest::storeAuthenticationCredentialsInSessionStore(NSDictionary* entry) {
    if (!entry) return;
    Locked lock(classState().sessionCredentialsLock);
    Ref<NSMutableArray> store = sessionCredentialsStore();
    removeAuthenticationCredentialsFromSessionStore(
        as<NSDictionary>(entry->objectForKey(kCredentials)));
    removeRepeats(store, entry, kURL);
    store->addObject(entry);
}

void NKHTTPRequest::storeProxyAuthenticationCredentialsInSessionStore(NSDictionary* entry) {
    if (!entry) return;
    Locked lock(classState().sessionCredentialsLock);
    Ref<NSMutableArray> store = sessionProxyCredentialsStore();
    removeProxyAuthenticationCredentialsFromSessionStore(
        as<NSDictionary>(entry->objectForKey(kCredentials)));
    removeRepeats(store, entry, kHost);
    store->addObject(entry);
}

void NKHTTPRequest::removeAuthenticationCredentialsFromSessionStore(NSDictionary* credentials) {
    if (!credentials) return;
    Locked lock(classState().sessionCredentialsLock);
    removeFrom(sessionCredentialsStore(), credentials);
}

void NKHTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore(
    NSDictionary* credentials) {
    if (!credentials) return;
    Locked lock(classState().sessionCredentialsLock);
    removeFrom(sessionProxyCredentialsStore(), credentials);
}

Ref<NSDictionary> NKHTTPRequest::findSessionAuthenticationCredentials() {
    Locked lock(classState().sessionCredentialsLock);
    Ref<NSURL> requestURL = url();
    if (!requestURL) return nullptr;
    // Once a challenge has named a realm, an entry of another realm does not answer it.
    Ref<NSString> realm = authenticationRealm();
    auto realmFits = [&](NSDictionary* entry) {
        if (responseStatusCode() == 0) return true;
        auto theirs = as<NSString>(entry->objectForKey(kRealm));
        return !theirs || (realm && theirs->isEqualToString(realm));
    };
    Ref<NSArray> store = sessionCredentialsStore()->copy();
    for (NSObject* o : *store) {
        auto entry = as<NSDictionary>(Ref<NSObject>(o));
        auto theirURL = entry ? as<NSURL>(entry->objectForKey(kURL)) : nullptr;
        if (theirURL && theirURL->isEqual(requestURL) && realmFits(entry)) return entry;
    }
    for (NSObject* o : *store) {
        auto entry = as<NSDictionary>(Ref<NSObject>(o));
        auto theirURL = entry ? as<NSURL>(entry->objectForKey(kURL)) : nullptr;
        if (theirURL && sameServer(theirURL, requestURL) && realmFits(entry)) return entry;
    }
    return nullptr;
}

Ref<NSDictionary> NKHTTPRequest::findSessionProxyAuthenticationCredentials() {
    Locked lock(classState().sessionCredentialsLock);
    Ref<NSString> host = proxyHost();
    if (!host) return nullptr;
    Ref<NSArray> store = sessionProxyCredentialsStore()->copy();
    for (NSObject* o : *store) {
        auto entry = as<NSDictionary>(Ref<NSObject>(o));
        if (!entry) continue;
        auto theirHost = as<NSString>(entry->objectForKey(kHost));
        auto theirPort = as<NSNumber>(entry->objectForKey(kPort));
        if (theirHost && theirHost->isEqualToString(host) && theirPort &&
            theirPort->intValue() == proxyPort())
            return entry;
    }
    return nullptr;
}

void NKHTTPRequest::clearSession() {
    {
        Locked lock(classState().sessionCredentialsLock);
        sessionCredentialsStore()->removeAllObjects();
    }
    setSessionCookies(nullptr);
    if (Ref<NKCacheDelegate> cache = defaultCache())
        cache->clearCachedResponsesForStoragePolicy(NKCacheForSessionDurationCacheStoragePolicy);
}

// ---- the persistent store
// -------------------------------------------------------------------------

void NKHTTPRequest::saveCredentials(NSURLCredential* credentials, NSString* host, int32_t port,
                                    NSString* protocol, NSString* realm) {
    if (!credentials || !host) return;
    NSURLCredentialStorage::sharedCredentialStorage()->setDefaultCredential(
        credentials, serverSpace(host, port, protocol, realm));
}

void NKHTTPRequest::saveCredentials(NSURLCredential* credentials, NSString* proxyHost, int32_t port,
                                    NSString* realm) {
    if (!credentials || !proxyHost) return;
    NSURLCredentialStorage::sharedCredentialStorage()->setDefaultCredential(
        credentials, proxySpace(proxyHost, port, realm));
}

Ref<NSURLCredential> NKHTTPRequest::savedCredentialsForHost(NSString* host, int32_t port,
                                                            NSString* protocol, NSString* realm) {
    if (!host) return nullptr;
    return NSURLCredentialStorage::sharedCredentialStorage()->defaultCredentialForProtectionSpace(
        serverSpace(host, port, protocol, realm));
}

Ref<NSURLCredential> NKHTTPRequest::savedCredentialsForProxy(NSString* proxyHost, int32_t port,
                                                             NSString*, NSString* realm) {
    if (!proxyHost) return nullptr;
    return NSURLCredentialStorage::sharedCredentialStorage()->defaultCredentialForProtectionSpace(
        proxySpace(proxyHost, port, realm));
}

void NKHTTPRequest::removeCredentialsForHost(NSString* host, int32_t port, NSString* protocol,
                                             NSString* realm) {
    if (!host) return;
    Ref<NSURLProtectionSpace> space = serverSpace(host, port, protocol, realm);
    Ref<NSURLCredentialStorage> storage = NSURLCredentialStorage::sharedCredentialStorage();
    if (Ref<NSURLCredential> c = storage->defaultCredentialForProtectionSpace(space))
        storage->removeCredential(c, space);
}

void NKHTTPRequest::removeCredentialsForProxy(NSString* proxyHost, int32_t port, NSString* realm) {
    if (!proxyHost) return;
    Ref<NSURLProtectionSpace> space = proxySpace(proxyHost, port, realm);
    Ref<NSURLCredentialStorage> storage = NSURLCredentialStorage::sharedCredentialStorage();
    if (Ref<NSURLCredential> c = storage->defaultCredentialForProtectionSpace(space))
        storage->removeCredential(c, space);
}

void NKHTTPRequest::saveCredentialsToKeychain(NSDictionary* credentials) {
    if (!credentials) return;
    Ref<NSURL> theURL = url();
    auto user = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationUsername));
    auto pass = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationPassword));
    if (!theURL || !user || !pass) return;
    saveCredentials(
        NSURLCredential::credentialWithUser(user, pass, NSURLCredentialPersistencePermanent),
        theURL->host(), portOf(theURL), theURL->scheme(), authenticationRealm());
}

void NKHTTPRequest::saveProxyCredentialsToKeychain(NSDictionary* credentials) {
    if (!credentials) return;
    auto user = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationUsername));
    auto pass = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationPassword));
    if (!user || !pass) return;
    saveCredentials(
        NSURLCredential::credentialWithUser(user, pass, NSURLCredentialPersistencePermanent),
        proxyHost(), proxyPort(), proxyAuthenticationRealm());
}

// ---- finding and applying
// -------------------------------------------------------------------------

Ref<NSDictionary> NKHTTPRequest::findCredentials() {
    Ref<NSString> user, pass;
    Ref<NSURL> theURL = url();
    if (theURL) {
        user = theURL->user();
        pass = theURL->password();
    }
    if (!(user && pass)) {
        if (Ref<NKHTTPRequest> owner = mainRequest()) {
            user = owner->username();
            pass = owner->password();
        }
    }
    if (!(user && pass)) {
        user = username();
        pass = password();
    }
    if (!(user && pass) && useKeychainPersistence() && theURL) {
        if (Ref<NSURLCredential> saved = savedCredentialsForHost(
                theURL->host(), portOf(theURL), theURL->scheme(), authenticationRealm())) {
            user = saved->user();
            pass = saved->password();
        }
    }
    if (!(user && pass)) return nullptr;
    Ref<NSMutableDictionary> found = credentialDictionary(user, pass);
    auto auth = authenticationOf(requestAuthentication_);
    if (auth && CFHTTPAuthenticationRequiresAccountDomain(auth)) {
        Ref<NSString> theDomain = domain();
        found->setObject(theDomain ? theDomain.get() : NS(""), kCFHTTPAuthenticationAccountDomain);
    }
    return found;
}

Ref<NSDictionary> NKHTTPRequest::findProxyCredentials() {
    Ref<NSString> user, pass;
    if (Ref<NKHTTPRequest> owner = mainRequest()) {
        user = owner->proxyUsername();
        pass = owner->proxyPassword();
    }
    if (!(user && pass)) {
        user = proxyUsername();
        pass = proxyPassword();
    }
    // The persistent store is asked for a proxy whatever useKeychainPersistence says.
    if (!(user && pass)) {
        if (Ref<NSURLCredential> saved = savedCredentialsForProxy(proxyHost(), proxyPort(), nullptr,
                                                                  proxyAuthenticationRealm())) {
            user = saved->user();
            pass = saved->password();
        }
    }
    if (!(user && pass)) return nullptr;
    Ref<NSMutableDictionary> found = credentialDictionary(user, pass);
    auto auth = authenticationOf(proxyAuthentication_);
    if (auth && CFHTTPAuthenticationRequiresAccountDomain(auth)) {
        Ref<NSString> theDomain = proxyDomain();
        found->setObject(theDomain ? theDomain.get() : NS(""), kCFHTTPAuthenticationAccountDomain);
    }
    return found;
}

bool NKHTTPRequest::applyCredentials(NSDictionary* credentials) {
    ++authenticationRetryCount_;
    auto auth = authenticationOf(requestAuthentication_);
    if (!credentials || !auth || !request_) return false;
    if (!CFHTTPMessageApplyCredentialDictionary(request_, auth, credentials, nullptr)) {
        removeAuthenticationCredentialsFromSessionStore(credentials);
        return false;
    }
    if (useKeychainPersistence()) saveCredentialsToKeychain(credentials);
    if (useSessionPersistence()) {
        Ref<NSMutableDictionary> entry = NSMutableDictionary::dictionary();
        entry->setObject(auth, kAuthentication);
        entry->setObject(credentials, kCredentials);
        if (Ref<NSURL> theURL = url()) entry->setObject(theURL, kURL);
        if (Ref<NSString> scheme = authenticationScheme()) entry->setObject(scheme, kScheme);
        if (Ref<NSString> realm = authenticationRealm()) entry->setObject(realm, kRealm);
        storeAuthenticationCredentialsInSessionStore(entry);
    }
    setRequestCredentials(credentials);
    return true;
}

bool NKHTTPRequest::applyProxyCredentials(NSDictionary* credentials) {
    ++proxyAuthenticationRetryCount_;
    auto auth = authenticationOf(proxyAuthentication_);
    if (!credentials || !auth || !request_) return false;
    if (!CFHTTPMessageApplyCredentialDictionary(request_, auth, credentials, nullptr)) {
        removeProxyAuthenticationCredentialsFromSessionStore(credentials);
        return false;
    }
    // The persistent store keeps proxy credentials only when the request asks for it too.
    if (useKeychainPersistence()) saveProxyCredentialsToKeychain(credentials);
    if (useSessionPersistence()) {
        Ref<NSMutableDictionary> entry = NSMutableDictionary::dictionary();
        entry->setObject(auth, kAuthentication);
        entry->setObject(credentials, kCredentials);
        if (Ref<NSString> host = proxyHost()) entry->setObject(host, kHost);
        entry->setObject(NSNumber::numberWithInt(proxyPort()), kPort);
        if (Ref<NSString> scheme = proxyAuthenticationScheme()) entry->setObject(scheme, kScheme);
        storeProxyAuthenticationCredentialsInSessionStore(entry);
    }
    setProxyCredentials(credentials);
    return true;
}

// ---- before a challenge
// ---------------------------------------------------------------------------

void NKHTTPRequest::applyAuthorizationHeader() {
    if (!shouldPresentCredentialsBeforeChallenge()) return;
    Ref<NSDictionary> entry =
        useSessionPersistence() ? findSessionAuthenticationCredentials() : nullptr;
    Ref<NSString> user = username(), pass = password();
    if (user && pass && !domain()) {
        auto scheme = entry ? as<NSString>(entry->objectForKey(kScheme)) : nullptr;
        if (!entry || (scheme && scheme->isEqualToString(kCFHTTPAuthenticationSchemeBasic)))
            addBasicAuthenticationHeaderWithUsername(user, pass);
    }
    Ref<NSMutableDictionary> headers = requestHeaders();
    if (entry && !(headers && headers->objectForKey(NS("Authorization")))) {
        auto credentials = as<NSDictionary>(entry->objectForKey(kCredentials));
        if (auto auth = authenticationOf(entry->objectForKey(kAuthentication))) {
            if (!request_ ||
                !CFHTTPMessageApplyCredentialDictionary(request_, auth, credentials, nullptr))
                removeAuthenticationCredentialsFromSessionStore(credentials);
        } else if (credentials) {
            auto theirUser = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationUsername));
            auto theirPass = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationPassword));
            if (theirUser && theirPass)
                addBasicAuthenticationHeaderWithUsername(theirUser, theirPass);
        }
    }
    if (useSessionPersistence()) {
        if (Ref<NSDictionary> proxyEntry = findSessionProxyAuthenticationCredentials()) {
            auto credentials = as<NSDictionary>(proxyEntry->objectForKey(kCredentials));
            auto auth = authenticationOf(proxyEntry->objectForKey(kAuthentication));
            if (!auth || !request_ ||
                !CFHTTPMessageApplyCredentialDictionary(request_, auth, credentials, nullptr))
                removeProxyAuthenticationCredentialsFromSessionStore(credentials);
        }
    }
}

void NKHTTPRequest::storeBasicCredentialsAfterSuccess() {
    if (authenticationNeeded_ != NKNoAuthenticationNeededYet || requestAuthentication_ ||
        !useSessionPersistence())
        return;
    Ref<NSString> user = username(), pass = password();
    if (!user || !pass || !request_) return;
    // Only what really went out as Basic has proved itself: credentials that were never sent
    // (or sent another way) must not be offered in the clear to later requests.
    Ref<NSString> sent = CFHTTPMessageCopyHeaderFieldValue(request_, NS("Authorization"));
    Ref<NSString> basic = NSString::stringWithFormat(
        NS("Basic %@"), base64forData(NSString::stringWithFormat(NS("%@:%@"), user, pass)
                                          ->dataUsingEncoding(NSUTF8StringEncoding)));
    if (!sent || !sent->isEqualToString(basic)) return;
    Ref<NSMutableDictionary> entry = NSMutableDictionary::dictionary();
    entry->setObject(credentialDictionary(user, pass), kCredentials);
    if (Ref<NSURL> theURL = url()) entry->setObject(theURL, kURL);
    entry->setObject(kCFHTTPAuthenticationSchemeBasic, kScheme);
    storeAuthenticationCredentialsInSessionStore(entry);
}

// ---- asking
// -----------------------------------------------------------------------------------------

bool NKHTTPRequest::askDelegateForCredentials() {
    Receiver which = Receiver::Delegate;
    Ref<NSObject> target = receiverObject(which);
    if (!target) {
        which = Receiver::Queue;
        target = receiverObject(which);
    }
    std::atomic<SEL>& place = authenticationNeededPlace();
    // A queue answers only when its own delegate will: otherwise the request would wait on it.
    if (!NKNetworkQueue::receiverRespondsToSelector(target, place.load())) return false;
    awaitingCredentials_ = true;
    callSelectorOnMainThread(&place, which);
    return true;
}

bool NKHTTPRequest::askDelegateForProxyCredentials() {
    Receiver which = Receiver::Delegate;
    Ref<NSObject> target = receiverObject(which);
    if (!target) {
        which = Receiver::Queue;
        target = receiverObject(which);
    }
    std::atomic<SEL>& place = proxyAuthenticationNeededPlace();
    if (!NKNetworkQueue::receiverRespondsToSelector(target, place.load())) return false;
    awaitingCredentials_ = true;
    callSelectorOnMainThread(&place, which);
    return true;
}

namespace {

// A synchronous request on the main thread keeps the main loop in its private mode until it
// ends: a sheet shown there could never be answered.
bool mainLoopBlockedBy(NKHTTPRequest* request) {
    Ref<NSString> mode = request->runLoopMode();
    return NSThread::isMainThread() && mode && mode->isEqualToString(NKHTTPRequestRunLoopMode);
}

// The connection is free while a request waits for an answer, and another request to the same
// place may take it: the waiting request must then let go of the record, or its next send would
// share that request's connection and close its stream under it.
void forgetConnectionTakenMeanwhile(Ref<NSMutableDictionary>& record, NSNumber* requestID) {
    Locked conn(NKHTTPRequest::classState().connectionsLock);
    if (!record) return;
    Ref<NSObject> user = record->objectForKey(NS("request"));
    if (user && !(requestID && user->isEqual(requestID))) record = nullptr;
}

// The sheet lives on the main thread; the request waits for its answer, which comes back
// through retryUsingSuppliedCredentials or cancelAuthentication.
void presentLoginSheet(NKHTTPRequest* request) {
    Ref<NKHTTPRequest> keep(request);
    NSRunLoop::performOnMainThread(
        [keep] { NKAuthenticationDialog::presentAuthenticationDialogForRequest(keep); },
        NSThread::isMainThread());
}

}  // namespace

bool NKHTTPRequest::showAuthenticationDialog() {
    if (!shouldPresentAuthenticationDialog() || mainLoopBlockedBy(this)) return false;
    awaitingCredentials_ = true;
    presentLoginSheet(this);
    return true;
}

bool NKHTTPRequest::showProxyAuthenticationDialog() {
    if (!shouldPresentProxyAuthenticationDialog() || mainLoopBlockedBy(this)) return false;
    awaitingCredentials_ = true;
    presentLoginSheet(this);
    return true;
}

// ---- answers
// ------------------------------------------------------------------------------------------

void NKHTTPRequest::retryUsingSuppliedCredentials() {
    Ref<NKHTTPRequest> keep(this);
    performOnRequestThread([keep] {
        // Only a request that waits for an answer takes one: a stray call must not restart an
        // exchange that is running or over.
        if (!keep->awaitingCredentials_.exchange(false)) return;
        // The retry finds a free connection or makes one.
        forgetConnectionTakenMeanwhile(keep->connectionInfo_, keep->requestID());
        keep->attemptToApplyCredentialsAndResume();
    });
}

void NKHTTPRequest::cancelAuthentication() {
    Ref<NKHTTPRequest> keep(this);
    performOnRequestThread([keep] { keep->failAuthentication(); });
}

void NKHTTPRequest::failAuthentication() {
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    awaitingCredentials_ = false;
    // Ending must not touch the connection record of whoever took it meanwhile.
    forgetConnectionTakenMeanwhile(connectionInfo_, requestID());
    // A stream kept while the answer was awaited goes now, not when the request is released.
    cancelLoad();
    failWithError(classState().authenticationError);
}

// ---- the challenge handlers
// -----------------------------------------------------------------------

namespace {

bool rejectedCredentials(const CFStreamError& e) {
    return e.domain == kCFStreamErrorDomainHTTP &&
           (e.error == kCFStreamErrorHTTPAuthenticationBadUserName ||
            e.error == kCFStreamErrorHTTPAuthenticationBadPassword);
}

}  // namespace

void NKHTTPRequest::attemptToApplyCredentialsAndResume() {
    if (error() || isCancelled()) return;
    if (authenticationNeeded_ == NKProxyAuthenticationNeeded) {
        attemptToApplyProxyCredentialsAndResume();
        return;
    }
    // An answer is on its way: asking again would only ask twice.
    if (awaitingCredentials_) return;
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    ClassState& cs = classState();

    if (readStream_) {
        if (auto response = as<CFHTTPMessage>(
                CFReadStreamCopyProperty(readStream_, kCFStreamPropertyHTTPResponseHeader)))
            challengeResponse_ = response;
    }
    auto auth = authenticationOf(requestAuthentication_);
    if (auth && challengeResponse_)
        CFHTTPAuthenticationUpdateFromResponse(auth, challengeResponse_);
    if (!auth) {
        if (challengeResponse_)
            auth = CFHTTPAuthenticationCreateFromResponse(kCFAllocatorDefault, challengeResponse_);
        requestAuthentication_ = auth;
        if (!auth) {
            cancelLoad();
            failWithError(nk_detail::engineError(
                NKInternalErrorWhileApplyingCredentialsType,
                NS("Failed to get authentication object from response headers")));
            return;
        }
        authenticationScheme_.set(CFHTTPAuthenticationCopyMethod(auth));
    }
    authenticationRealm_.set(nullptr);
    if (!CFHTTPAuthenticationRequiresAccountDomain(auth))
        authenticationRealm_.set(CFHTTPAuthenticationCopyRealm(auth));

    CFStreamError err;
    if (CFHTTPAuthenticationIsValid(auth, &err)) {
        cancelLoad();
        Ref<NSString> scheme = authenticationScheme();
        bool ntlm = scheme && scheme->isEqualToString(kCFHTTPAuthenticationSchemeNTLM);
        if (Ref<NSDictionary> credentials = requestCredentials()) {
            if (!(ntlm && authenticationRetryCount_ > 1) && applyCredentials(credentials)) {
                startRequest();
                return;
            }
            if (ntlm && authenticationRetryCount_ == 2) {
                failWithError(cs.authenticationError);
            } else {
                failWithError(nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                                     NS("Failed to apply credentials to request")));
            }
            return;
        }
        // A scheme that takes no user name and password is one this engine cannot answer:
        // ending here, rather than stopping silently, keeps the request from hanging.
        if (!CFHTTPAuthenticationRequiresUserNameAndPassword(auth)) {
            failWithError(cs.authenticationError);
            return;
        }
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (error() || isCancelled()) return;
        if (useSessionPersistence()) {
            Ref<NSDictionary> entry = findSessionAuthenticationCredentials();
            if (entry && applyCredentials(as<NSDictionary>(entry->objectForKey(kCredentials)))) {
                delegateLock.unlock();
                startRequest();
                return;
            }
        }
        if (Ref<NSDictionary> found = findCredentials()) {
            bool applied = applyCredentials(found);
            delegateLock.unlock();
            if (applied) {
                startRequest();
            } else {
                failWithError(nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                                     NS("Failed to apply credentials to request")));
            }
            return;
        }
        if (askDelegateForCredentials() || showAuthenticationDialog()) return;
        delegateLock.unlock();
        failWithError(cs.authenticationError);
        return;
    }

    // Not valid: the next attempt makes a new object from the challenge.
    requestAuthentication_ = nullptr;
    if (rejectedCredentials(err)) {
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (Ref<NSDictionary> rejected = requestCredentials()) {
            removeAuthenticationCredentialsFromSessionStore(rejected);
            setRequestCredentials(nullptr);
        }
        if (error() || isCancelled()) return;
        if (useSessionPersistence()) {
            Ref<NSDictionary> entry = findSessionAuthenticationCredentials();
            if (entry && applyCredentials(as<NSDictionary>(entry->objectForKey(kCredentials)))) {
                delegateLock.unlock();
                startRequest();
                return;
            }
        }
        lastActivityTime_ = nullptr;
        if (askDelegateForCredentials() || showAuthenticationDialog()) return;
    }
    cancelLoad();
    failWithError(cs.authenticationError);
}

void NKHTTPRequest::attemptToApplyProxyCredentialsAndResume() {
    if (error() || isCancelled()) return;
    if (awaitingCredentials_) return;
    Ref<NKHTTPRequest> keep(this);
    Locked lock(cancelledLock_);
    ClassState& cs = classState();

    if (readStream_) {
        if (auto response = as<CFHTTPMessage>(
                CFReadStreamCopyProperty(readStream_, kCFStreamPropertyHTTPResponseHeader)))
            challengeResponse_ = response;
    }
    auto auth = authenticationOf(proxyAuthentication_);
    if (auth && challengeResponse_)
        CFHTTPAuthenticationUpdateFromResponse(auth, challengeResponse_);
    if (!auth) {
        if (challengeResponse_)
            auth = CFHTTPAuthenticationCreateFromResponse(kCFAllocatorDefault, challengeResponse_);
        proxyAuthentication_ = auth;
        if (!auth) {
            cancelLoad();
            failWithError(nk_detail::engineError(
                NKInternalErrorWhileApplyingCredentialsType,
                NS("Failed to get authentication object from response headers")));
            return;
        }
        proxyAuthenticationScheme_.set(CFHTTPAuthenticationCopyMethod(auth));
    }
    proxyAuthenticationRealm_.set(nullptr);
    if (!CFHTTPAuthenticationRequiresAccountDomain(auth))
        proxyAuthenticationRealm_.set(CFHTTPAuthenticationCopyRealm(auth));

    CFStreamError err;
    if (CFHTTPAuthenticationIsValid(auth, &err)) {
        cancelLoad();
        Ref<NSString> scheme = proxyAuthenticationScheme();
        bool ntlm = scheme && scheme->isEqualToString(kCFHTTPAuthenticationSchemeNTLM);
        if (Ref<NSDictionary> credentials = proxyCredentials()) {
            if (!(ntlm && proxyAuthenticationRetryCount_ > 1) &&
                applyProxyCredentials(credentials)) {
                startRequest();
                return;
            }
            if (ntlm && proxyAuthenticationRetryCount_ == 2) {
                failWithError(cs.authenticationError);
            } else {
                failWithError(
                    nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                           NS("Failed to apply proxy credentials to request")));
            }
            return;
        }
        if (!CFHTTPAuthenticationRequiresUserNameAndPassword(auth)) {
            failWithError(cs.authenticationError);
            return;
        }
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (error() || isCancelled()) return;
        if (useSessionPersistence()) {
            Ref<NSDictionary> entry = findSessionProxyAuthenticationCredentials();
            if (entry &&
                applyProxyCredentials(as<NSDictionary>(entry->objectForKey(kCredentials)))) {
                delegateLock.unlock();
                startRequest();
                return;
            }
        }
        if (Ref<NSDictionary> found = findProxyCredentials()) {
            bool applied = applyProxyCredentials(found);
            delegateLock.unlock();
            if (applied) {
                startRequest();
            } else {
                failWithError(
                    nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                           NS("Failed to apply proxy credentials to request")));
            }
            return;
        }
        if (askDelegateForProxyCredentials() || showProxyAuthenticationDialog()) return;
        delegateLock.unlock();
        failWithError(cs.authenticationError);
        return;
    }

    proxyAuthentication_ = nullptr;
    if (rejectedCredentials(err)) {
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (Ref<NSDictionary> rejected = proxyCredentials()) {
            removeProxyAuthenticationCredentialsFromSessionStore(rejected);
            setProxyCredentials(nullptr);
        }
        if (error() || isCancelled()) return;
        if (useSessionPersistence()) {
            Ref<NSDictionary> entry = findSessionProxyAuthenticationCredentials();
            if (entry &&
                applyProxyCredentials(as<NSDictionary>(entry->objectForKey(kCredentials)))) {
                delegateLock.unlock();
                startRequest();
                return;
            }
        }
        lastActivityTime_ = nullptr;
        // Once asked, the handler waits for that answer (retryUsingSuppliedCredentials or
        // cancelAuthentication) rather than running again and asking a second time.
        if (askDelegateForProxyCredentials() || showProxyAuthenticationDialog()) return;
    }
    cancelLoad();
    failWithError(cs.authenticationError);
}
