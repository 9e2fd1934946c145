// Answering authentication challenges over the loopback server: Basic and Digest, credentials
// from the URL, the session and persistent stores, the delegate's answers, proxies with CONNECT,
// and the ways a challenge ends in failure.
#include <functional>
#include <thread>

#include "CFNetwork/CFHTTPAuthentication.h"
#include "CFNetwork/CFHTTPAuthenticationNTLM.h"
#include "EngineTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLCredential.h"
#include "Foundation/NSURLCredentialStorage.h"
#include "Foundation/NSURLProtectionSpace.h"
#include "Foundation/ProcessWide.h"

using namespace enginetest;
using testhttp::Request;
using testhttp::Response;
using testhttp::TestServer;

namespace {

// Answers the credential callbacks with what the test lines up, and records the other events.
class Answerer : public Recorder {
    NS_OBJECT(Answerer, Recorder)
    static void describeClass(RuntimeClass& c) {
        c.implements({"authenticationNeededForRequest:", "proxyAuthenticationNeededForRequest:"});
    }
    struct Answer {
        std::string user, password;  // empty user: cancel
    };
    void authenticationNeededForRequest(NKHTTPRequest* r) override { answer(r, false); }
    void proxyAuthenticationNeededForRequest(NKHTTPRequest* r) override { answer(r, true); }

    std::vector<Answer> answers;
    int asked = 0, proxyAsked = 0;
    bool askedOffMainThread = false;
    // Answer later, from the main loop, rather than inside the callback.
    bool answerLater = false;

private:
    void answer(NKHTTPRequest* r, bool proxy) {
        if (!NSThread::isMainThread()) askedOffMainThread = true;
        int n = (proxy ? proxyAsked++ : asked++);
        Answer a =
            n < static_cast<int>(answers.size()) ? answers[static_cast<size_t>(n)] : Answer{};
        Ref<NKHTTPRequest> request(r);
        auto reply = [request, a, proxy] {
            if (a.user.empty()) return request->cancelAuthentication();
            if (proxy) {
                request->setProxyUsername(str(a.user));
                request->setProxyPassword(str(a.password));
            } else {
                request->setUsername(str(a.user));
                request->setPassword(str(a.password));
            }
            request->retryUsingSuppliedCredentials();
        };
        if (answerLater)
            NSRunLoop::mainRunLoop()->performBlock(reply);
        else
            reply();
    }
};

Ref<NKHTTPRequest> requestTo(const std::string& url) {
    return NKHTTPRequest::requestWithURL(urlOf(url));
}

Ref<NKHTTPRequest> runAsync(NKHTTPRequest* r, Recorder* delegate) {
    r->setDelegate(delegate);
    r->startAsynchronous();
    EXPECT_TRUE(waitForEnd(delegate));
    return r;
}

std::string basicOf(const std::string& user, const std::string& password) {
    return "Basic " + testhttp::base64(user + ":" + password);
}

NSInteger codeOf(NKHTTPRequest* r) {
    return r->error() ? r->error()->code() : 0;
}

std::string describedError(NKHTTPRequest* r) {
    return r->error() ? r->error()->localizedDescription()->utf8() : std::string();
}

void forgetCredentials() {
    NKHTTPRequest::clearSession();
    NKHTTPRequest::sessionProxyCredentialsStore()->removeAllObjects();
    NSURLCredentialStorage::sharedCredentialStorage()->removeAllCredentialsForTesting();
}

}  // namespace

class Authentication : public ::testing::Test {
protected:
    void SetUp() override {
        forgetCredentials();
        server.route("GET", "/basic",
                     testhttp::basicAuth("ann", "right", "Members", testhttp::text("in")));
        server.route("GET", "/digest",
                     testhttp::digestAuth("ann", "right", "Digest Members", testhttp::text("in")));
    }
    void TearDown() override { forgetCredentials(); }

    std::vector<Request> to(const char* path) { return server.requestsTo(path); }

    TestServer server;
};

// ---- Basic and Digest ------------------------------------------------------------------------

TEST_F(Authentication, BasicChallengeIsAnsweredWithTheRequestsCredentials) {
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setUsername(NS("ann"));
    r->setPassword(NS("right"));
    r->setShouldPresentCredentialsBeforeChallenge(false);
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(text(r->authenticationScheme()), "Basic");
    EXPECT_EQ(text(r->authenticationRealm()), "Members");
    auto seen = to("/basic");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_FALSE(seen[0].headers.has("Authorization"));
    EXPECT_EQ(seen[1].header("Authorization"), basicOf("ann", "right"));
}

TEST_F(Authentication, BasicGoesOutBeforeAnyChallengeAndIsRememberedForTheSession) {
    Ref<NKHTTPRequest> first = requestTo(server.url("/basic"));
    first->setUsername(NS("ann"));
    first->setPassword(NS("right"));
    first->startSynchronous();
    EXPECT_EQ(textOf(first), "in");
    ASSERT_EQ(to("/basic").size(), 1u);

    // Another request for the address, without credentials of its own, sends them at once.
    Ref<NKHTTPRequest> second = requestTo(server.url("/basic"));
    second->startSynchronous();
    EXPECT_EQ(textOf(second), "in");
    auto seen = to("/basic");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[1].header("Authorization"), basicOf("ann", "right"));
    // Requests repeating a success keep one entry, not one each.
    Ref<NKHTTPRequest> third = requestTo(server.url("/basic"));
    third->setUsername(NS("ann"));
    third->setPassword(NS("right"));
    third->startSynchronous();
    EXPECT_EQ(NKHTTPRequest::sessionCredentialsStore()->count(), 1u);

    // Without session persistence nothing is offered, and the store forgets on clearSession.
    Ref<NKHTTPRequest> apart = requestTo(server.url("/basic"));
    apart->setUseSessionPersistence(false);
    apart->startSynchronous();
    EXPECT_EQ(codeOf(apart), NKAuthenticationErrorType);
    NKHTTPRequest::clearSession();
    Ref<NKHTTPRequest> after = requestTo(server.url("/basic"));
    after->startSynchronous();
    EXPECT_EQ(codeOf(after), NKAuthenticationErrorType);
}

TEST_F(Authentication, DigestChallengeIsAnsweredAndItsObjectReusedBeforeTheNextChallenge) {
    Ref<NKHTTPRequest> first = requestTo(server.url("/digest?page=1"));
    first->setUsername(NS("ann"));
    first->setPassword(NS("right"));
    first->startSynchronous();
    EXPECT_EQ(textOf(first), "in");
    EXPECT_EQ(text(first->authenticationScheme()), "Digest");
    EXPECT_EQ(text(first->authenticationRealm()), "Digest Members");
    auto seen = to("/digest");
    ASSERT_EQ(seen.size(), 2u);
    // Basic went out first (the request had credentials), then the Digest answer.
    EXPECT_EQ(seen[0].header("Authorization"), basicOf("ann", "right"));
    EXPECT_EQ(seen[1].header("Authorization").rfind("Digest username=\"ann\"", 0), 0u);
    EXPECT_NE(seen[1].header("Authorization").find("uri=\"/digest?page=1\""), std::string::npos);

    // The session entry carries the Digest object: the next request answers without a challenge
    // (and without sending the password in the clear).
    Ref<NKHTTPRequest> second = requestTo(server.url("/digest?page=1"));
    second->startSynchronous();
    EXPECT_EQ(textOf(second), "in");
    seen = to("/digest");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].header("Authorization").rfind("Digest ", 0), 0u);
    EXPECT_NE(seen[2].header("Authorization").find("nc=00000002"), std::string::npos);
}

TEST_F(Authentication, ChallengeThatNeverAcceptsEndsWithAuthenticationNeeded) {
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setUsername(NS("ann"));
    r->setPassword(NS("wrong"));
    auto delegate = make<Recorder>();
    runAsync(r, delegate);
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(describedError(r), "Authentication needed");
    EXPECT_EQ(delegate->count("failed"), 1u);
    // Sent before the challenge, then once more with the credentials found: no further tries.
    EXPECT_EQ(to("/basic").size(), 2u);
    // The rejected credentials are not kept for later requests.
    for (NSObject* o : *NKHTTPRequest::sessionCredentialsStore()) {
        auto entry = as<NSDictionary>(Ref<NSObject>(o));
        auto credentials = as<NSDictionary>(entry->objectForKey(NS("Credentials")));
        EXPECT_NE(text(credentials->objectForKey(kCFHTTPAuthenticationPassword)), "wrong");
    }
}

TEST_F(Authentication, CredentialsInTheURLWinOverTheRequests) {
    std::string url = server.url("/basic");
    url.replace(url.find("//") + 2, 0, "ann:right@");
    Ref<NKHTTPRequest> r = requestTo(url);
    r->setUsername(NS("ann"));
    r->setPassword(NS("wrong"));
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "in");
    auto seen = to("/basic");
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].header("Authorization"), basicOf("ann", "wrong"));
    EXPECT_EQ(seen[1].header("Authorization"), basicOf("ann", "right"));
}

TEST_F(Authentication, UnknownSchemeFailsInsteadOfStalling) {
    server.route("GET", "/negotiate", [](const Request&) {
        return Response(401, "no").header("WWW-Authenticate", "Negotiate");
    });
    Ref<NKHTTPRequest> r = requestTo(server.url("/negotiate"));
    r->setUsername(NS("ann"));
    r->setPassword(NS("right"));
    auto delegate = make<Answerer>();
    runAsync(r, delegate);
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(delegate->asked, 0);
}

// ---- the persistent store --------------------------------------------------------------------

TEST_F(Authentication, KeychainPersistenceSavesAndFindsServerCredentials) {
    Ref<NKHTTPRequest> quiet = requestTo(server.url("/basic"));
    quiet->setUsername(NS("ann"));
    quiet->setPassword(NS("right"));
    quiet->setShouldPresentCredentialsBeforeChallenge(false);
    quiet->startSynchronous();
    ASSERT_EQ(textOf(quiet), "in");
    EXPECT_EQ(NSURLCredentialStorage::sharedCredentialStorage()->allCredentials()->count(), 0u);

    Ref<NKHTTPRequest> saving = requestTo(server.url("/basic"));
    saving->setUsername(NS("ann"));
    saving->setPassword(NS("right"));
    saving->setShouldPresentCredentialsBeforeChallenge(false);
    saving->setUseKeychainPersistence(true);
    saving->startSynchronous();
    ASSERT_EQ(textOf(saving), "in");
    Ref<NSURLCredential> saved = NKHTTPRequest::savedCredentialsForHost(
        NS("127.0.0.1"), server.port(), NS("http"), NS("Members"));
    ASSERT_TRUE(saved);
    EXPECT_EQ(text(saved->password()), "right");
    EXPECT_EQ(saved->persistence(), NSURLCredentialPersistencePermanent);

    // After the session is forgotten, only a request that asks reads the persistent copy.
    NKHTTPRequest::clearSession();
    Ref<NKHTTPRequest> without = requestTo(server.url("/basic"));
    without->startSynchronous();
    EXPECT_EQ(codeOf(without), NKAuthenticationErrorType);
    Ref<NKHTTPRequest> with = requestTo(server.url("/basic"));
    with->setUseKeychainPersistence(true);
    with->startSynchronous();
    EXPECT_EQ(textOf(with), "in");

    NKHTTPRequest::removeCredentialsForHost(NS("127.0.0.1"), server.port(), NS("http"),
                                            NS("Members"));
    EXPECT_FALSE(NKHTTPRequest::savedCredentialsForHost(NS("127.0.0.1"), server.port(), NS("http"),
                                                        NS("Members")));
}

// ---- the delegate ------------------------------------------------------------------------------

TEST_F(Authentication, DelegateSuppliesCredentialsOnTheMainThread) {
    auto delegate = make<Answerer>();
    delegate->answers = {{"ann", "wrong"}, {"ann", "right"}};
    delegate->answerLater = true;
    Ref<NKHTTPRequest> r = runAsync(requestTo(server.url("/basic")), delegate);
    EXPECT_EQ(textOf(r), "in");
    // Asked again after the wrong password was refused.
    EXPECT_EQ(delegate->asked, 2);
    EXPECT_FALSE(delegate->askedOffMainThread);
    EXPECT_EQ(delegate->count("finished"), 1u);
    EXPECT_EQ(to("/basic").size(), 3u);
}

TEST_F(Authentication, CancellingTheAnswerFailsTheRequest) {
    auto delegate = make<Answerer>();  // no answers lined up: it cancels
    Ref<NKHTTPRequest> r = runAsync(requestTo(server.url("/digest")), delegate);
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(delegate->asked, 1);
    EXPECT_EQ(delegate->count("failed"), 1u);
}

TEST_F(Authentication, RequestWaitingForAnAnswerCanBeCancelled) {
    auto delegate = make<Answerer>();
    delegate->answers = {{"ann", "right"}};
    delegate->answerLater = true;
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setDelegate(delegate);
    r->startAsynchronous();
    // Cancelled from the callback's own pass, before the queued answer runs.
    ASSERT_TRUE(runLoopUntil([&] { return delegate->asked == 1; }));
    r->cancel();
    ASSERT_TRUE(waitForEnd(delegate));
    EXPECT_EQ(codeOf(r), NKRequestCancelledErrorType);
    runFor(0.1);
    EXPECT_EQ(delegate->count("finished"), 0u);
    EXPECT_TRUE(r->isFinished());
}

TEST_F(Authentication, SynchronousRequestWaitsOnItsOwnThreadForTheAnswer) {
    auto delegate = make<Answerer>();
    delegate->answers = {{"ann", "right"}};
    delegate->answerLater = true;
    std::atomic<bool> done{false};
    std::string body;
    std::thread worker([&] {
        Ref<NKHTTPRequest> r = requestTo(server.url("/digest"));
        r->setDelegate(delegate);
        r->startSynchronous();
        body = textOf(r);
        done = true;
    });
    EXPECT_TRUE(runLoopUntil([&] { return done.load(); }, 10.0));
    worker.join();
    EXPECT_EQ(body, "in");
    EXPECT_EQ(delegate->asked, 1);
}

TEST_F(Authentication, SynchronousRequestOnTheMainThreadTakesAnAnswerGivenAtOnce) {
    auto delegate = make<Answerer>();
    delegate->answers = {{"ann", "right"}};
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setDelegate(delegate);
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(delegate->asked, 1);
}

TEST_F(Authentication, LoginSheetIsUnavailableWhileTheMainLoopIsBlocked) {
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setShouldPresentAuthenticationDialog(true);
    r->startSynchronous();  // on the main thread: a sheet could never be answered
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_FALSE(r->isAwaitingCredentials());
}

TEST_F(Authentication, RequestsChallengedTogetherBothGetThrough) {
    auto a = make<Recorder>(), b = make<Recorder>();
    Ref<NKHTTPRequest> one = requestTo(server.url("/digest"));
    Ref<NKHTTPRequest> two = requestTo(server.url("/digest"));
    for (NKHTTPRequest* r : {one.get(), two.get()}) {
        r->setUsername(NS("ann"));
        r->setPassword(NS("right"));
        r->setShouldPresentCredentialsBeforeChallenge(false);
    }
    one->setDelegate(a);
    two->setDelegate(b);
    one->startAsynchronous();
    two->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return a->ended() && b->ended(); }, 10.0));
    EXPECT_EQ(textOf(one), "in");
    EXPECT_EQ(textOf(two), "in");
}

// ---- proxies -----------------------------------------------------------------------------------

class ProxyAuthentication : public ::testing::Test {
protected:
    void SetUp() override {
        forgetCredentials();
        origin.route("GET", "/hello", testhttp::text("hello"));
        origin.startTls();
        proxy.enableProxy("pu", "pp");
    }
    void TearDown() override { forgetCredentials(); }

    Ref<NKHTTPRequest> throughProxy(const std::string& url) {
        Ref<NKHTTPRequest> r = requestTo(url);
        r->setProxyHost(NS("127.0.0.1"));
        r->setProxyPort(proxy.port());
        return r;
    }
    size_t connects() {
        size_t n = 0;
        for (auto& q : proxy.requests())
            n += q.method == "CONNECT";
        return n;
    }

    TestServer origin, proxy;
};

TEST_F(ProxyAuthentication, TunnelIsOpenedWithTheProxyCredentials) {
    Ref<NKHTTPRequest> r = throughProxy(origin.tlsUrl("/hello"));
    r->setProxyUsername(NS("pu"));
    r->setProxyPassword(NS("pp"));
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_EQ(text(r->proxyAuthenticationScheme()), "Basic");
    EXPECT_EQ(text(r->proxyAuthenticationRealm()), "proxy");
    auto seen = proxy.requests();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].method, "CONNECT");
    EXPECT_FALSE(seen[0].headers.has("Proxy-Authorization"));
    EXPECT_EQ(seen[1].method, "CONNECT");
    EXPECT_EQ(seen[1].header("Proxy-Authorization"), basicOf("pu", "pp"));
    // The origin never sees the proxy's credentials.
    ASSERT_EQ(origin.requestCount(), 1u);
    EXPECT_FALSE(origin.lastRequest()->headers.has("Proxy-Authorization"));

    // The next tunnel through the proxy offers them at once from the session store.
    Ref<NKHTTPRequest> again = throughProxy(origin.tlsUrl("/hello"));
    again->setShouldAttemptPersistentConnection(false);
    again->startSynchronous();
    EXPECT_EQ(textOf(again), "hello");
    seen = proxy.requests();
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].header("Proxy-Authorization"), basicOf("pu", "pp"));
}

TEST_F(ProxyAuthentication, PlainRequestsCarryProxyCredentialsToo) {
    Ref<NKHTTPRequest> r = throughProxy(origin.url("/hello"));
    r->setProxyUsername(NS("pu"));
    r->setProxyPassword(NS("pp"));
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "hello");
    auto last = proxy.lastRequest();
    ASSERT_TRUE(last);
    EXPECT_TRUE(last->absoluteForm);
    EXPECT_EQ(last->header("Proxy-Authorization"), basicOf("pu", "pp"));
}

TEST_F(ProxyAuthentication, ProxyDelegateIsAskedOnceAndItsAnswerAwaited) {
    auto delegate = make<Answerer>();
    delegate->answers = {{"pu", "pp"}};
    delegate->answerLater = true;
    Ref<NKHTTPRequest> r = throughProxy(origin.tlsUrl("/hello"));
    r->setProxyUsername(NS("pu"));
    r->setProxyPassword(NS("wrong"));
    runAsync(r, delegate);
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_EQ(delegate->proxyAsked, 1);
    EXPECT_EQ(delegate->asked, 0);
    // Without credentials, with the wrong ones, then with the delegate's.
    EXPECT_EQ(connects(), 3u);
}

TEST_F(ProxyAuthentication, ProxyCredentialsComeFromThePersistentStoreRegardless) {
    NKHTTPRequest::saveCredentials(NSURLCredential::credentialWithUser(
                                       NS("pu"), NS("pp"), NSURLCredentialPersistencePermanent),
                                   NS("127.0.0.1"), proxy.port(), NS("proxy"));
    Ref<NKHTTPRequest> r = throughProxy(origin.tlsUrl("/hello"));
    ASSERT_FALSE(r->useKeychainPersistence());
    r->setShouldPresentProxyAuthenticationDialog(false);
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "hello");
}

TEST_F(ProxyAuthentication, NobodyToAskEndsWithAuthenticationNeeded) {
    Ref<NKHTTPRequest> r = throughProxy(origin.tlsUrl("/hello"));
    auto delegate = make<Recorder>();
    runAsync(r, delegate);
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(connects(), 1u);
}

// ---- NTLM --------------------------------------------------------------------------------------

namespace {

std::string unbase64(const std::string& text) {
    auto data = alloc<NSData>();
    return data->initWithBase64EncodedString(str(text)) ? std::string(data->view()) : "";
}

uint32_t le(const std::string& s, size_t at, int bytes) {
    uint32_t v = 0;
    for (int i = bytes - 1; i >= 0; --i)
        v = v << 8 | static_cast<unsigned char>(s[at + static_cast<size_t>(i)]);
    return v;
}

// A server of the connection-bound handshake: opening, challenge, answer, all on one connection.
// The answer is checked against the password; `refuseAll` turns every answer down.
testhttp::Handler ntlmServer(bool refuseAll) {
    const std::string serverChallenge("\x01\x23\x45\x67\x89\xab\xcd\xef", 8);
    return [=](const Request& q) {
        Response challenge(401, "who?");
        std::string field = q.header("Authorization");
        if (field.rfind("NTLM ", 0) != 0) return challenge.header("WWW-Authenticate", "NTLM");
        std::string message = unbase64(field.substr(5));
        if (message.size() >= 12 && message[8] == 1) {
            std::string type2 = std::string("NTLMSSP\0", 8) + std::string("\x02\0\0\0", 4) +
                                std::string(8, '\0') + std::string("\x05\x02\x02\x00", 4) +
                                serverChallenge + std::string(8, '\0');
            return challenge.header("WWW-Authenticate", "NTLM " + testhttp::base64(type2));
        }
        if (message.size() >= 64 && message[8] == 3 && !refuseAll && q.indexOnConnection == 2) {
            auto field3 = [&](size_t at) {
                return message.substr(le(message, at + 4, 4), le(message, at, 2));
            };
            std::string nt = field3(20);
            if (nt.size() < 48) return challenge.header("WWW-Authenticate", "NTLM");
            std::string key = cfnet::ntlm::responseKey("ann", "right", "CORP");
            // The blob after the proof: version, reserved, time (at 24), client challenge (32).
            uint64_t time = 0;
            for (int i = 7; i >= 0; --i)
                time = time << 8 | static_cast<unsigned char>(nt[24 + static_cast<size_t>(i)]);
            std::string expected = cfnet::ntlm::ntlmv2Response(
                key, serverChallenge, nt.substr(32, 8), time, std::string());
            if (nt == expected) return Response(200, "in");
        }
        return challenge.header("WWW-Authenticate", "NTLM");
    };
}

}  // namespace

TEST_F(Authentication, NTLMSucceedsOnItsSecondExchange) {
    if (!cfnet::ntlm::available()) GTEST_SKIP() << "no MD4 in this OpenSSL";
    server.route("GET", "/ntlm", ntlmServer(false));
    Ref<NKHTTPRequest> r = requestTo(server.url("/ntlm"));
    r->setUsername(NS("ann"));
    r->setPassword(NS("right"));
    r->setDomain(NS("CORP"));
    r->startSynchronous();
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(text(r->authenticationScheme()), "NTLM");
    EXPECT_FALSE(r->authenticationRealm());
    auto seen = to("/ntlm");
    ASSERT_EQ(seen.size(), 3u);
    EXPECT_EQ(seen[2].connectionId, seen[0].connectionId);
}

TEST_F(Authentication, NTLMRefusedOnItsThirdExchangeFails) {
    if (!cfnet::ntlm::available()) GTEST_SKIP() << "no MD4 in this OpenSSL";
    server.route("GET", "/ntlm", ntlmServer(true));
    Ref<NKHTTPRequest> r = requestTo(server.url("/ntlm"));
    r->setUsername(NS("ann"));
    r->setPassword(NS("right"));
    r->setDomain(NS("CORP"));
    r->startSynchronous();
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(r->authenticationRetryCount(), 2);
    EXPECT_EQ(to("/ntlm").size(), 3u);
}

// The session stores live as long as the process: the reset between tests empties them.
TEST(SessionCredentialStores, TheResetBetweenTestsEmptiesThem) {
    NKHTTPRequest::storeAuthenticationCredentialsInSessionStore(NSDictionary::dictionaryWithPairs(
        {{NS("URL"), NSURL::URLWithString(NS("http://members.bazaarnest.test/"))}}));
    NKHTTPRequest::storeProxyAuthenticationCredentialsInSessionStore(
        NSDictionary::dictionaryWithPairs({{NS("Host"), NS("proxy.bazaarnest.test")}}));
    EXPECT_EQ(NKHTTPRequest::sessionCredentialsStore()->count(), 1u);
    EXPECT_EQ(NKHTTPRequest::sessionProxyCredentialsStore()->count(), 1u);
    resetProcessWideInstances();
    EXPECT_EQ(NKHTTPRequest::sessionCredentialsStore()->count(), 0u);
    EXPECT_EQ(NKHTTPRequest::sessionProxyCredentialsStore()->count(), 0u);
}
