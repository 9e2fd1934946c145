#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdlib>

#include "CFNetwork/CFNetwork.h"
#include "CFNetwork/HTTPConnection.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "LoopbackServer.h"
#include "StreamTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/ScopedEnv.h"

namespace {

int connectLoopback(int port) {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    return fd;
}

// Copies bytes both ways until either side closes.
void pump(int a, int b) {
    char buffer[16384];
    for (;;) {
        pollfd p[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
        if (::poll(p, 2, 5000) <= 0) return;
        for (int i = 0; i < 2; ++i) {
            if (!p[i].revents) continue;
            ssize_t n = ::recv(p[i].fd, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            ::send(i == 0 ? b : a, buffer, static_cast<size_t>(n), MSG_NOSIGNAL);
        }
    }
}

Ref<NSDictionary> sslSettings(std::initializer_list<std::pair<NSObject*, NSObject*>> pairs) {
    return NSDictionary::dictionaryWithPairs(pairs);
}

Ref<CFReadStream> streamFor(const std::string& url, NSDictionary* ssl = nullptr,
                            bool keep = false) {
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(url));
    if (ssl) CFReadStreamSetProperty(s, kCFStreamPropertySSLSettings, ssl);
    if (keep)
        CFReadStreamSetProperty(s, kCFStreamPropertyHTTPAttemptPersistentConnection,
                                kCFBooleanTrue);
    return s;
}

bool isSecureTransportError(NSError* e) {
    return e && e->domain()->isEqualToString(NSOSStatusErrorDomain) && e->code() >= -9818 &&
           e->code() <= -9800;
}

class TLSStream : public testing::Test {
protected:
    void SetUp() override { cfnet::pool::clear(); }
    void TearDown() override { cfnet::pool::clear(); }
    TestCertificate cert{{"secure.test", "localhost"}};
    LoopbackServer server{answerAlways(okResponse("secret")), &cert};
    std::string overrideMap() {
        return "secure.test=127.0.0.1:" + std::to_string(server.port()) +
               ",wrong.test=127.0.0.1:" + std::to_string(server.port());
    }
};

// ---- TLS -------------------------------------------------------------------------------------

TEST_F(TLSStream, SelfSignedCertificateFailsValidationUnlessToldNotTo) {
    StreamRun strict = runStream(streamFor(server.url("/", "localhost")));
    ASSERT_TRUE(strict.failed);
    EXPECT_TRUE(isSecureTransportError(strict.error)) << text(strict.error);
    EXPECT_EQ(strict.error->code(), errSSLNoRootCert);

    auto relaxed = sslSettings({{kCFStreamSSLValidatesCertificateChain, kCFBooleanFalse},
                                {kCFStreamSSLPeerName, kCFNull}});
    StreamRun run = runStream(streamFor(server.url("/", "localhost"), relaxed));
    EXPECT_EQ(run.body, "secret") << text(run.error);
    EXPECT_EQ(cert.lastServerName(), "localhost");
}

TEST_F(TLSStream, TrustAnchorFileAndHostNames) {
    ScopedEnv hosts("BAZAARNEST_HOSTS", overrideMap());
    ScopedEnv anchors("BAZAARNEST_CA_FILE", cert.pemPath);
    // Trusted, and the name matches: accepted, with SNI carrying the URL's name.
    StreamRun ok = runStream(streamFor("https://secure.test/"));
    EXPECT_EQ(ok.body, "secret") << text(ok.error);
    EXPECT_EQ(cert.lastServerName(), "secure.test");
    // Trusted, but issued for other names.
    StreamRun wrong = runStream(streamFor("https://wrong.test/"));
    ASSERT_TRUE(wrong.failed);
    EXPECT_EQ(wrong.error->code(), errSSLXCertChainInvalid);
    // The name check can be pointed elsewhere or switched off.
    StreamRun renamed = runStream(
        streamFor("https://wrong.test/", sslSettings({{kCFStreamSSLPeerName, NS("secure.test")}})));
    EXPECT_EQ(renamed.body, "secret") << text(renamed.error);
    StreamRun unnamed =
        runStream(streamFor("https://wrong.test/", sslSettings({{kCFStreamSSLPeerName, kCFNull}})));
    EXPECT_EQ(unnamed.body, "secret") << text(unnamed.error);
}

TEST_F(TLSStream, AnyRootAllowedStillChecksTheName) {
    ScopedEnv hosts("BAZAARNEST_HOSTS", overrideMap());
    auto anyRoot = sslSettings({{kCFStreamSSLAllowsAnyRoot, kCFBooleanTrue}});
    EXPECT_EQ(runStream(streamFor("https://secure.test/", anyRoot)).body, "secret");
    StreamRun wrong = runStream(streamFor("https://wrong.test/", anyRoot));
    ASSERT_TRUE(wrong.failed);
    EXPECT_TRUE(isSecureTransportError(wrong.error));
}

TEST_F(TLSStream, KeptTLSConnectionIsReused) {
    auto relaxed = sslSettings({{kCFStreamSSLValidatesCertificateChain, kCFBooleanFalse}});
    EXPECT_EQ(runStream(streamFor(server.url(), relaxed, true)).body, "secret");
    EXPECT_EQ(runStream(streamFor(server.url(), relaxed, true)).body, "secret");
    EXPECT_EQ(server.accepted(), 1);
    // Different TLS settings never share a connection.
    EXPECT_EQ(runStream(streamFor(server.url(), nullptr, true)).failed, true);
    EXPECT_EQ(server.accepted(), 2);
}

// ---- proxies ---------------------------------------------------------------------------------

TEST(Proxy, HTTPProxyGetsTheAbsoluteURL) {
    SeenRequest seen;
    LoopbackServer proxy([&](ServerConnection& c) {
        if (c.readRequest(seen)) c.send(okResponse("via proxy"));
    });
    auto s = streamFor("http://origin.test:8080/path?x=1#frag");
    CFReadStreamSetProperty(
        s, kCFStreamPropertyHTTPProxy,
        NSDictionary::dictionaryWithPairs(
            {{kCFStreamPropertyHTTPProxyHost, NS("127.0.0.1")},
             {kCFStreamPropertyHTTPProxyPort, NSNumber::numberWithInt(proxy.port())}}));
    StreamRun run = runStream(s);
    EXPECT_EQ(run.body, "via proxy") << text(run.error);
    EXPECT_EQ(seen.target, "http://origin.test:8080/path?x=1");
    EXPECT_EQ(seen.header("Host"), "origin.test:8080");
}

TEST(Proxy, HTTPSGoesThroughCONNECT) {
    TestCertificate cert({"secure.test"});
    LoopbackServer origin(answerAlways(okResponse("tunnelled")), &cert);
    SeenRequest connect;
    LoopbackServer proxy([&](ServerConnection& c) {
        if (!c.readRequest(connect)) return;
        if (connect.header("Proxy-Authorization").empty()) {
            c.send(
                "HTTP/1.1 407 Proxy Authentication Required\r\n"
                "Proxy-Authenticate: Basic realm=\"p\"\r\nContent-Length: 6\r\n\r\ndenied");
            return;
        }
        int up = connectLoopback(origin.port());
        c.send("HTTP/1.1 200 Connection established\r\n\r\n");
        pump(c.fd(), up);
        ::close(up);
    });
    auto proxyDict = NSDictionary::dictionaryWithPairs(
        {{kCFStreamPropertyHTTPSProxyHost, NS("127.0.0.1")},
         {kCFStreamPropertyHTTPSProxyPort, NSNumber::numberWithInt(proxy.port())}});
    auto relaxed = sslSettings({{kCFStreamSSLValidatesCertificateChain, kCFBooleanFalse}});

    // Without credentials the proxy's refusal is the response.
    auto refused = streamFor("https://secure.test/", relaxed);
    CFReadStreamSetProperty(refused, kCFStreamPropertyHTTPProxy, proxyDict);
    StreamRun denied = runStream(refused);
    ASSERT_TRUE(denied.ended) << text(denied.error);
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(denied.response), 407);
    EXPECT_EQ(denied.body, "denied");

    auto m = request("https://secure.test/inside");
    CFHTTPMessageSetHeaderFieldValue(m, NS("Proxy-Authorization"), NS("Basic dTpw"));
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, m);
    CFReadStreamSetProperty(s, kCFStreamPropertySSLSettings, relaxed);
    CFReadStreamSetProperty(s, kCFStreamPropertyHTTPProxy, proxyDict);
    StreamRun run = runStream(s);
    EXPECT_EQ(run.body, "tunnelled") << text(run.error);
    EXPECT_EQ(connect.method, "CONNECT");
    EXPECT_EQ(connect.target, "secure.test:443");
    EXPECT_EQ(cert.lastServerName(), "secure.test");
}

TEST(Proxy, SOCKS5) {
    SeenRequest seen;
    LoopbackServer origin([&](ServerConnection& c) {
        if (c.readRequest(seen)) c.send(okResponse("socks"));
    });
    std::string asked;
    LoopbackServer socks([&](ServerConnection& c) {
        if (c.readExactly(3) != std::string("\x05\x01\x00", 3)) return;
        c.send(std::string("\x05\x00", 2));
        std::string head = c.readExactly(5);
        if (head.size() < 5 || head[3] != 3) return;
        std::string rest = c.readExactly(static_cast<unsigned char>(head[4]) + 2);
        asked = rest.substr(0, rest.size() - 2) + ":" +
                std::to_string(static_cast<unsigned char>(rest[rest.size() - 2]) * 256 +
                               static_cast<unsigned char>(rest.back()));
        int up = connectLoopback(origin.port());
        c.send(std::string("\x05\x00\x00\x01\x7f\x00\x00\x01\x00\x50", 10));
        pump(c.fd(), up);
        ::close(up);
    });
    auto s = streamFor("http://far.away.test:81/s");
    CFReadStreamSetProperty(
        s, kCFStreamPropertySOCKSProxy,
        NSDictionary::dictionaryWithPairs(
            {{kCFStreamPropertySOCKSProxyHost, NS("127.0.0.1")},
             {kCFStreamPropertySOCKSProxyPort, NSNumber::numberWithInt(socks.port())}}));
    StreamRun run = runStream(s);
    EXPECT_EQ(run.body, "socks") << text(run.error);
    EXPECT_EQ(asked, "far.away.test:81");
    EXPECT_EQ(seen.target, "/s");
}

TEST(Proxy, SettingsFromTheEnvironment) {
    ScopedEnv http("http_proxy", "http://proxy.test:3128");
    ScopedEnv https("HTTPS_PROXY", "secure-proxy.test:8443");
    ScopedEnv none("no_proxy", "localhost, .internal.test");
    auto settings = CFNetworkCopySystemProxySettings();
    EXPECT_EQ(text(settings->objectForKey(kCFNetworkProxiesHTTPProxy)), "proxy.test");
    EXPECT_EQ(text(settings->objectForKey(kCFNetworkProxiesHTTPPort)), "3128");
    EXPECT_EQ(text(settings->objectForKey(kCFNetworkProxiesHTTPSProxy)), "secure-proxy.test");

    auto first = [&](const char* url, NSDictionary* in) {
        auto list = CFNetworkCopyProxiesForURL(NSURL::URLWithString(str(url)), in);
        return as<NSDictionary>(list->objectAtIndex(0));
    };
    EXPECT_EQ(text(first("http://a.test/", nullptr)->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeNone");
    EXPECT_EQ(text(first("http://a.test/", settings)->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeHTTP");
    EXPECT_EQ(text(first("http://a.test/", settings)->objectForKey(kCFProxyHostNameKey)),
              "proxy.test");
    EXPECT_EQ(text(first("https://a.test/", settings)->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeHTTPS");
    EXPECT_EQ(text(first("https://a.test/", settings)->objectForKey(kCFProxyPortNumberKey)),
              "8443");
    EXPECT_EQ(text(first("http://localhost/", settings)->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeNone");
    EXPECT_EQ(text(first("http://db.internal.test/", settings)->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeNone");
    // The settings dictionary works as a stream's proxy property as it is.
    EXPECT_TRUE(settings->objectForKey(kCFStreamPropertyHTTPProxyHost));

    ScopedEnv all("all_proxy", "socks5://127.0.0.1:1080");
    ::unsetenv("http_proxy");
    auto socks = CFNetworkCopySystemProxySettings();
    EXPECT_EQ(text(socks->objectForKey(kCFNetworkProxiesSOCKSProxy)), "127.0.0.1");
    auto list = CFNetworkCopyProxiesForURL(NSURL::URLWithString(NS("http://a.test/")), socks);
    EXPECT_EQ(text(as<NSDictionary>(list->objectAtIndex(0))->objectForKey(kCFProxyTypeKey)),
              "kCFProxyTypeSOCKS");
}

// The settings are kept between calls, so every change to the variables must still show.
TEST(Proxy, SettingsFollowEveryChangeOfTheEnvironment) {
    for (const char* name : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "all_proxy",
                             "ALL_PROXY", "no_proxy", "NO_PROXY"})
        ::unsetenv(name);
    auto typeFor = [](const char* url) {
        auto list = CFNetworkCopyProxiesForURL(NSURL::URLWithString(str(url)),
                                               CFNetworkCopySystemProxySettings());
        return text(as<NSDictionary>(list->objectAtIndex(0))->objectForKey(kCFProxyTypeKey));
    };
    EXPECT_EQ(typeFor("http://a.test/"), "kCFProxyTypeNone");
    EXPECT_EQ(typeFor("https://a.test/"), "kCFProxyTypeNone");
    {
        ScopedEnv http("http_proxy", "http://proxy.test:3128");
        EXPECT_EQ(typeFor("http://a.test/"), "kCFProxyTypeHTTP");
        EXPECT_EQ(typeFor("https://a.test/"), "kCFProxyTypeNone");
        // Same variable, new value.
        ::setenv("http_proxy", "http://other-proxy.test:8080", 1);
        auto settings = CFNetworkCopySystemProxySettings();
        EXPECT_EQ(text(settings->objectForKey(kCFNetworkProxiesHTTPProxy)), "other-proxy.test");
        EXPECT_EQ(text(settings->objectForKey(kCFNetworkProxiesHTTPPort)), "8080");
        {
            ScopedEnv none("NO_PROXY", "a.test");
            EXPECT_EQ(typeFor("http://a.test/"), "kCFProxyTypeNone");
            EXPECT_EQ(typeFor("http://b.test/"), "kCFProxyTypeHTTP");
        }
        EXPECT_EQ(typeFor("http://a.test/"), "kCFProxyTypeHTTP");
    }
    // Gone again: straight to the server, with nothing of the old settings left.
    auto settings = CFNetworkCopySystemProxySettings();
    EXPECT_FALSE(settings->objectForKey(kCFNetworkProxiesHTTPProxy));
    EXPECT_FALSE(settings->objectForKey(kCFNetworkProxiesExceptionsList));
    EXPECT_EQ(typeFor("http://a.test/"), "kCFProxyTypeNone");
    // An empty variable counts as unset, so the upper-case one is read.
    ScopedEnv empty("https_proxy", "");
    ScopedEnv upper("HTTPS_PROXY", "secure-proxy.test:8443");
    EXPECT_EQ(typeFor("https://a.test/"), "kCFProxyTypeHTTPS");
    // Both spellings set: the lower-case one is read, whichever came first. A longer name that
    // begins with a proxy variable's is another variable.
    ScopedEnv longer("http_proxy_old", "http://longer.test:1");
    ScopedEnv upperHTTP("HTTP_PROXY", "http://upper.test:2");
    ScopedEnv lowerHTTP("http_proxy", "http://lower.test:3");
    auto both = CFNetworkCopySystemProxySettings();
    EXPECT_EQ(text(both->objectForKey(kCFNetworkProxiesHTTPProxy)), "lower.test");
    EXPECT_EQ(text(both->objectForKey(kCFNetworkProxiesHTTPPort)), "3");
    ::unsetenv("http_proxy");
    EXPECT_EQ(text(CFNetworkCopySystemProxySettings()->objectForKey(kCFNetworkProxiesHTTPProxy)),
              "upper.test");
}

TEST(Proxy, AutoConfigurationScriptsReportAnError) {
    Ref<NSError> error;
    EXPECT_FALSE(CFNetworkCopyProxiesForAutoConfigurationScript(
        NS("function FindProxyForURL(u, h) { return 'DIRECT'; }"),
        NSURL::URLWithString(NS("http://a.test/")), &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), kCFErrorPACFileError);

    struct Result {
        bool called = false;
        Ref<NSError> error;
        Ref<NSArray> list;
    } result;
    CFStreamClientContext context{0, &result, nullptr, nullptr, nullptr};
    auto source = CFNetworkExecuteProxyAutoConfigurationURL(
        NSURL::URLWithString(NS("http://pac.test/proxy.pac")),
        NSURL::URLWithString(NS("http://a.test/")),
        [](void* client, NSArray* list, NSError* e) {
            auto* r = static_cast<Result*>(client);
            r->called = true;
            r->error = e;
            r->list = list;
        },
        &context);
    EXPECT_FALSE(result.called);  // only on the run loop
    NSRunLoop::currentRunLoop()->addSource(source, NSDefaultRunLoopMode);
    EXPECT_TRUE(runLoopUntil([&] { return result.called; }, 2));
    EXPECT_EQ(result.error->code(), kCFErrorPACFileError);
    EXPECT_FALSE(result.list);
}

}  // namespace
