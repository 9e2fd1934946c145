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
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKAuthenticationDialog.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequestInternal.h"
#include "external/nk-http-request/Classes/NKNetworkQueue.h"

using nk_detail::Locked;
using nk_detail::sameServer;

namespace {

NSString* const kAuthentication = NS("Authentication");
NSString* const kCredentials = NS("Credentials");
NSString* const kURL = NS("URL");
NSString* const kHost = NS("Host");
NSString* const kPort = NS("Port");
NSString* const kScheme = NS("AuthenticationScheme");
NSString* const kRealm = NS("AuthenticationRealm");

// The two session lists, under the session-credentials lock.
struct SessionStores {
    Ref<NSMutableArray> server;
    Ref<NSMutableArray> proxy;
};
SessionStores& sessionStores() {
    static ProcessWide<SessionStores> slot;
    return *slot.get();
}
Ref<NSMutableArray>& serverStore() {
    return sessionStores().server;
}
Ref<NSMutableArray>& proxyStore() {
    return sessionStores().proxy;
}

Ref<CFHTTPAuthentication> authenticationOf(NSObject* o) {
    return as<CFHTTPAuthentication>(o);
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

// Adds an entry to a session list (under the session-credentials lock), in place of the one
// holding the same credentials and of those it repeats.
void storeEntry(NSMutableArray* store, NSDictionary* entry, NSString* placeKey) {
    if (auto credentials = as<NSDictionary>(entry->objectForKey(kCredentials)))
        removeFrom(store, credentials);
    removeRepeats(store, entry, placeKey);
    store->addObject(entry);
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

void removeDefaultCredential(NSURLProtectionSpace* space) {
    Ref<NSURLCredentialStorage> storage = NSURLCredentialStorage::sharedCredentialStorage();
    if (Ref<NSURLCredential> c = storage->defaultCredentialForProtectionSpace(space))
        storage->removeCredential(c, space);
}

Ref<NSMutableDictionary> credentialDictionary(NSString* user, NSString* password) {
    Ref<NSMutableDictionary> d = NSMutableDictionary::dictionary();
    d->setObject(user, kCFHTTPAuthenticationUsername);
    d->setObject(password, kCFHTTPAuthenticationPassword);
    return d;
}

// The credentials found, with the account domain a scheme that asks for one needs.
Ref<NSDictionary> foundCredentials(NSString* user, NSString* password, NSObject* authentication,
                                   NSString* domain) {
    if (!(user && password)) return nullptr;
    Ref<NSMutableDictionary> found = credentialDictionary(user, password);
    auto auth = authenticationOf(authentication);
    if (auth && CFHTTPAuthenticationRequiresAccountDomain(auth))
        found->setObject(domain ? domain : NS(""), kCFHTTPAuthenticationAccountDomain);
    return found;
}

// What the persistent store keeps of applied credentials (nil without a user and password).
Ref<NSURLCredential> permanentCredential(NSDictionary* credentials) {
    auto user = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationUsername));
    auto pass = as<NSString>(credentials->objectForKey(kCFHTTPAuthenticationPassword));
    if (!user || !pass) return nullptr;
    return NSURLCredential::credentialWithUser(user, pass, NSURLCredentialPersistencePermanent);
}

// The start of a session store entry: what answered the challenge, and with what.
Ref<NSMutableDictionary> sessionEntry(NSObject* authentication, NSDictionary* credentials) {
    Ref<NSMutableDictionary> entry = NSMutableDictionary::dictionary();
    entry->setObject(authentication, kAuthentication);
    entry->setObject(credentials, kCredentials);
    return entry;
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

// The server (401) and proxy (407) challenges are answered by the same steps; each side names
// the state and the steps of its own kind.
struct NKHTTPRequest::AuthenticationSide {
    Ref<NSObject> NKHTTPRequest::*authentication;
    nk_detail::AtomicRef<NSString> NKHTTPRequest::*scheme;
    nk_detail::AtomicRef<NSString> NKHTTPRequest::*realm;
    std::atomic<int32_t> NKHTTPRequest::*retryCount;
    nk_detail::AtomicRef<NSDictionary> NKHTTPRequest::*credentials;
    void (*removeFromSessionStore)(NSDictionary* credentials);
    Ref<NSDictionary> (NKHTTPRequest::*findSessionCredentials)();
    Ref<NSDictionary> (NKHTTPRequest::*findCredentials)();
    bool (NKHTTPRequest::*applyCredentials)(NSDictionary* credentials);
    bool (NKHTTPRequest::*askDelegate)();
    bool (NKHTTPRequest::*showDialog)();
    NSString* applyFailureDescription;

    static const AuthenticationSide server;
    static const AuthenticationSide proxy;

    // The challenge handler of either side.
    static void answerChallenge(NKHTTPRequest* request, const AuthenticationSide& side);
    // Counts the attempt and puts the credentials on the message; credentials it refuses leave
    // the session store.
    static bool applyToMessage(NKHTTPRequest* request, const AuthenticationSide& side,
                               NSDictionary* credentials);
    // Asks the delegate (or the queue) the question kept at `place`.
    static bool ask(NKHTTPRequest* request, std::atomic<SEL>& place);
    // Shows the login sheet when the request wants it and it can be answered.
    static bool showSheet(NKHTTPRequest* request, bool wanted);
};

const NKHTTPRequest::AuthenticationSide NKHTTPRequest::AuthenticationSide::server{
    &NKHTTPRequest::requestAuthentication_,
    &NKHTTPRequest::authenticationScheme_,
    &NKHTTPRequest::authenticationRealm_,
    &NKHTTPRequest::authenticationRetryCount_,
    &NKHTTPRequest::requestCredentials_,
    &NKHTTPRequest::removeAuthenticationCredentialsFromSessionStore,
    &NKHTTPRequest::findSessionAuthenticationCredentials,
    &NKHTTPRequest::findCredentials,
    &NKHTTPRequest::applyCredentials,
    &NKHTTPRequest::askDelegateForCredentials,
    &NKHTTPRequest::showAuthenticationDialog,
    NS("Failed to apply credentials to request"),
};

const NKHTTPRequest::AuthenticationSide NKHTTPRequest::AuthenticationSide::proxy{
    &NKHTTPRequest::proxyAuthentication_,
    &NKHTTPRequest::proxyAuthenticationScheme_,
    &NKHTTPRequest::proxyAuthenticationRealm_,
    &NKHTTPRequest::proxyAuthenticationRetryCount_,
    &NKHTTPRequest::proxyCredentials_,
    &NKHTTPRequest::removeProxyAuthenticationCredentialsFromSessionStore,
    &NKHTTPRequest::findSessionProxyAuthenticationCredentials,
    &NKHTTPRequest::findProxyCredentials,
    &NKHTTPRequest::applyProxyCredentials,
    &NKHTTPRequest::askDelegateForProxyCredentials,
    &NKHTTPRequest::showProxyAuthenticationDialog,
    NS("Failed to apply proxy credentials to request"),
};

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
    storeEntry(sessionCredentialsStore(), entry, kURL);
}

void NKHTTPRequest::storeProxyAuthenticationCredentialsInSessionStore(NSDictionary* entry) {
    if (!entry) return;
    Locked lock(classState().sessionCredentialsLock);
    storeEntry(sessionProxyCredentialsStore(), entry, kHost);
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
    if (host) removeDefaultCredential(serverSpace(host, port, protocol, realm));
}

void NKHTTPRequest::removeCredentialsForProxy(NSString* proxyHost, int32_t port, NSString* realm) {
    if (proxyHost) removeDefaultCredential(proxySpace(proxyHost, port, realm));
}

void NKHTTPRequest::saveCredentialsToKeychain(NSDictionary* credentials) {
    if (!credentials) return;
    Ref<NSURL> theURL = url();
    Ref<NSURLCredential> saved = permanentCredential(credentials);
    if (!theURL || !saved) return;
    saveCredentials(saved, theURL->host(), portOf(theURL), theURL->scheme(), authenticationRealm());
}

void NKHTTPRequest::saveProxyCredentialsToKeychain(NSDictionary* credentials) {
    if (!credentials) return;
    if (Ref<NSURLCredential> saved = permanentCredential(credentials))
        saveCredentials(saved, proxyHost(), proxyPort(), proxyAuthenticationRealm());
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
    return foundCredentials(user, pass, requestAuthentication_, domain());
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
    return foundCredentials(user, pass, proxyAuthentication_, proxyDomain());
}

bool NKHTTPRequest::AuthenticationSide::applyToMessage(NKHTTPRequest* request,
                                                       const AuthenticationSide& side,
                                                       NSDictionary* credentials) {
    ++(request->*side.retryCount);
    auto auth = authenticationOf(request->*side.authentication);
    if (!credentials || !auth || !request->request_) return false;
    if (!CFHTTPMessageApplyCredentialDictionary(request->request_, auth, credentials, nullptr)) {
        side.removeFromSessionStore(credentials);
        return false;
    }
    return true;
}

bool NKHTTPRequest::applyCredentials(NSDictionary* credentials) {
    if (!AuthenticationSide::applyToMessage(this, AuthenticationSide::server, credentials))
        return false;
    if (useKeychainPersistence()) saveCredentialsToKeychain(credentials);
    if (useSessionPersistence()) {
        Ref<NSMutableDictionary> entry = sessionEntry(requestAuthentication_, credentials);
        if (Ref<NSURL> theURL = url()) entry->setObject(theURL, kURL);
        if (Ref<NSString> scheme = authenticationScheme()) entry->setObject(scheme, kScheme);
        if (Ref<NSString> realm = authenticationRealm()) entry->setObject(realm, kRealm);
        storeAuthenticationCredentialsInSessionStore(entry);
    }
    setRequestCredentials(credentials);
    return true;
}

bool NKHTTPRequest::applyProxyCredentials(NSDictionary* credentials) {
    if (!AuthenticationSide::applyToMessage(this, AuthenticationSide::proxy, credentials))
        return false;
    // The persistent store keeps proxy credentials only when the request asks for it too.
    if (useKeychainPersistence()) saveProxyCredentialsToKeychain(credentials);
    if (useSessionPersistence()) {
        Ref<NSMutableDictionary> entry = sessionEntry(proxyAuthentication_, credentials);
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

bool NKHTTPRequest::AuthenticationSide::ask(NKHTTPRequest* request, std::atomic<SEL>& place) {
    Receiver which = Receiver::Delegate;
    Ref<NSObject> target = request->receiverObject(which);
    if (!target) {
        which = Receiver::Queue;
        target = request->receiverObject(which);
    }
    // A queue answers only when its own delegate will: otherwise the request would wait on it.
    if (!NKNetworkQueue::receiverRespondsToSelector(target, place.load())) return false;
    request->awaitingCredentials_ = true;
    // Waiting for someone to answer is no network work; the answer counts it again. The ticket
    // is taken before the question goes out, so that an answer given at once starts a new one.
    uint64_t asking = request->networkWork_.exchange(0);
    request->callSelectorOnMainThread(&place, which);
    endNetworkWorkAfterCallbacks(asking);
    return true;
}

bool NKHTTPRequest::askDelegateForCredentials() {
    return AuthenticationSide::ask(this, authenticationNeededPlace());
}

bool NKHTTPRequest::askDelegateForProxyCredentials() {
    return AuthenticationSide::ask(this, proxyAuthenticationNeededPlace());
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

bool NKHTTPRequest::AuthenticationSide::showSheet(NKHTTPRequest* request, bool wanted) {
    if (!wanted || mainLoopBlockedBy(request)) return false;
    request->awaitingCredentials_ = true;
    // Counted again when the person answers; the sheet is on screen before the count drops.
    uint64_t asking = request->networkWork_.exchange(0);
    presentLoginSheet(request);
    endNetworkWorkAfterCallbacks(asking);
    return true;
}

bool NKHTTPRequest::showAuthenticationDialog() {
    return AuthenticationSide::showSheet(this, shouldPresentAuthenticationDialog());
}

bool NKHTTPRequest::showProxyAuthenticationDialog() {
    return AuthenticationSide::showSheet(this, shouldPresentProxyAuthenticationDialog());
}

// ---- answers
// ------------------------------------------------------------------------------------------

void NKHTTPRequest::retryUsingSuppliedCredentials() {
    Ref<NKHTTPRequest> keep(this);
    // Counted from the answer on, so that nobody sees the network idle before the retry.
    if (awaitingCredentials_) beginNetworkWork();
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
    // Counted until the failure it brings has been delivered.
    if (awaitingCredentials_) beginNetworkWork();
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
    AuthenticationSide::answerChallenge(this, AuthenticationSide::server);
}

void NKHTTPRequest::attemptToApplyProxyCredentialsAndResume() {
    AuthenticationSide::answerChallenge(this, AuthenticationSide::proxy);
}

void NKHTTPRequest::AuthenticationSide::answerChallenge(NKHTTPRequest* request,
                                                        const AuthenticationSide& side) {
    NKHTTPRequest& r = *request;
    if (r.error() || r.isCancelled()) return;
    // An answer is on its way: asking again would only ask twice.
    if (r.awaitingCredentials_) return;
    Ref<NKHTTPRequest> keep(request);
    Locked lock(r.cancelledLock_);
    ClassState& cs = classState();
    Ref<NSObject>& authentication = r.*side.authentication;
    auto applyCredentials = [&](NSDictionary* credentials) {
        return (r.*side.applyCredentials)(credentials);
    };
    auto applySessionCredentials = [&] {
        Ref<NSDictionary> entry = (r.*side.findSessionCredentials)();
        return entry && applyCredentials(as<NSDictionary>(entry->objectForKey(kCredentials)));
    };
    auto askForCredentials = [&] { return (r.*side.askDelegate)() || (r.*side.showDialog)(); };

    if (r.readStream_) {
        if (auto response = as<CFHTTPMessage>(
                CFReadStreamCopyProperty(r.readStream_, kCFStreamPropertyHTTPResponseHeader)))
            r.challengeResponse_ = response;
    }
    auto auth = authenticationOf(authentication);
    if (auth && r.challengeResponse_)
        CFHTTPAuthenticationUpdateFromResponse(auth, r.challengeResponse_);
    if (!auth) {
        if (r.challengeResponse_)
            auth =
                CFHTTPAuthenticationCreateFromResponse(kCFAllocatorDefault, r.challengeResponse_);
        authentication = auth;
        if (!auth) {
            r.cancelLoad();
            r.failWithError(nk_detail::engineError(
                NKInternalErrorWhileApplyingCredentialsType,
                NS("Failed to get authentication object from response headers")));
            return;
        }
        (r.*side.scheme).set(CFHTTPAuthenticationCopyMethod(auth));
    }
    (r.*side.realm).set(nullptr);
    if (!CFHTTPAuthenticationRequiresAccountDomain(auth))
        (r.*side.realm).set(CFHTTPAuthenticationCopyRealm(auth));

    CFStreamError err;
    if (CFHTTPAuthenticationIsValid(auth, &err)) {
        r.cancelLoad();
        Ref<NSString> scheme = (r.*side.scheme).get();
        bool ntlm = scheme && scheme->isEqualToString(kCFHTTPAuthenticationSchemeNTLM);
        std::atomic<int32_t>& retries = r.*side.retryCount;
        if (Ref<NSDictionary> credentials = (r.*side.credentials).get()) {
            if (!(ntlm && retries > 1) && applyCredentials(credentials)) {
                r.startRequest();
                return;
            }
            // Read again: the attempt just made counts.
            if (ntlm && retries == 2) {
                r.failWithError(cs.authenticationError);
            } else {
                r.failWithError(nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                                       side.applyFailureDescription));
            }
            return;
        }
        // A scheme that takes no user name and password is one this engine cannot answer:
        // ending here, rather than stopping silently, keeps the request from hanging.
        if (!CFHTTPAuthenticationRequiresUserNameAndPassword(auth)) {
            r.failWithError(cs.authenticationError);
            return;
        }
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (r.error() || r.isCancelled()) return;
        if (r.useSessionPersistence() && applySessionCredentials()) {
            delegateLock.unlock();
            r.startRequest();
            return;
        }
        if (Ref<NSDictionary> found = (r.*side.findCredentials)()) {
            bool applied = applyCredentials(found);
            delegateLock.unlock();
            if (applied) {
                r.startRequest();
            } else {
                r.failWithError(nk_detail::engineError(NKInternalErrorWhileApplyingCredentialsType,
                                                       side.applyFailureDescription));
            }
            return;
        }
        if (askForCredentials()) return;
        delegateLock.unlock();
        r.failWithError(cs.authenticationError);
        return;
    }

    // Not valid: the next attempt makes a new object from the challenge.
    authentication = nullptr;
    if (rejectedCredentials(err)) {
        Locked delegateLock(cs.delegateAuthenticationLock);
        if (Ref<NSDictionary> rejected = (r.*side.credentials).get()) {
            side.removeFromSessionStore(rejected);
            (r.*side.credentials).set(nullptr);
        }
        if (r.error() || r.isCancelled()) return;
        if (r.useSessionPersistence() && applySessionCredentials()) {
            delegateLock.unlock();
            r.startRequest();
            return;
        }
        r.lastActivityTime_ = nullptr;
        // Once asked, the handler waits for that answer (retryUsingSuppliedCredentials or
        // cancelAuthentication) rather than running again and asking a second time.
        if (askForCredentials()) return;
    }
    r.cancelLoad();
    r.failWithError(cs.authenticationError);
}
