#include "support/http/TestServer.h"

#include <gtest/gtest.h>
#include <poll.h>

#include "support-tests/http/RawClient.h"

using namespace testhttp;

namespace {
// Nothing is waiting to be read right now (the server has not answered).
bool nothingPending(int fd) {
    pollfd p{fd, POLLIN, 0};
    return ::poll(&p, 1, 0) == 0;
}
}  // namespace

TEST(TestServerFraming, EchoReturnsTheRequestAsSentAndRecordsIt) {
    TestServer server;
    server.route("POST", "/echo", echo());
    RawClient c(server.port());
    std::string head =
        "POST /echo?x=1 HTTP/1.1\r\nHost: a\r\nX-Case: One\r\nx-case: two\r\n"
        "Content-Length: 5\r\n\r\n";
    c.send(head + std::string("a\0b\r\n", 5));
    RawResponse r = c.readResponse();
    EXPECT_EQ(r.status, 200);
    EXPECT_EQ(r.body, head + std::string("a\0b\r\n", 5));

    Request rec = server.lastRequest().value();
    EXPECT_EQ(rec.path, "/echo");
    EXPECT_EQ(rec.query, "x=1");
    EXPECT_EQ(rec.headers.all("X-CASE"), (std::vector<std::string>{"One", "two"}));
    EXPECT_EQ(rec.body, std::string("a\0b\r\n", 5));
    EXPECT_FALSE(rec.chunked);
}

TEST(TestServerFraming, ChunkedUploadsArriveWithoutFraming) {
    TestServer server;
    server.route("PUT", "/up", echo());
    RawClient c(server.port());
    c.send(
        "PUT /up HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3;ext=1\r\nabc\r\nA\r\n0123456789\r\n0\r\nTrailer: x\r\n\r\n");
    RawResponse r = c.readResponse();
    ASSERT_TRUE(r.complete);
    Request rec = server.lastRequest().value();
    EXPECT_TRUE(rec.chunked);
    EXPECT_EQ(rec.body, "abc0123456789");
    // The connection stays usable after the trailer.
    EXPECT_EQ(c.get("/none").status, 404);
}

TEST(TestServerFraming, PipelinedRequestsShareAConnectionInOrder) {
    TestServer server;
    server.route("*", "/a", text("A"));
    server.route("*", "/b", text("BB"));
    RawClient c(server.port());
    c.send(
        "GET /a HTTP/1.1\r\n\r\nPOST /b HTTP/1.1\r\nContent-Length: 2\r\n\r\nzzHEAD /b "
        "HTTP/1.1\r\n\r\n");
    EXPECT_EQ(c.readResponse().body, "A");
    EXPECT_EQ(c.readResponse().body, "BB");
    RawResponse head = c.readResponse(true);
    EXPECT_EQ(head.headers.value("Content-Length"), "2");  // announced, not sent
    RawResponse after = c.get("/a");                       // a HEAD body would have shown up here
    EXPECT_EQ(after.version, "HTTP/1.1");
    EXPECT_EQ(after.body, "A");

    auto reqs = server.requests();
    ASSERT_EQ(reqs.size(), 4u);
    for (std::size_t i = 0; i < reqs.size(); ++i) {
        EXPECT_EQ(reqs[i].connectionId, 1u);
        EXPECT_EQ(reqs[i].indexOnConnection, i);
        EXPECT_EQ(reqs[i].sequence, i);
    }
    EXPECT_EQ(reqs[1].body, "zz");
    EXPECT_EQ(server.connections().at(0).requests, 4u);
}

TEST(TestServerFraming, RoutesPreferExactThenLongestPrefixThenLatest) {
    TestServer server;
    server.routePrefix("*", "/", text("root"));
    server.routePrefix("*", "/a/", text("a"));
    server.routePrefix("GET", "/a/b/", text("ab"));
    server.route("*", "/a/b/c", text("exact"));
    server.routePrefix("*", "/a/", text("a again"));
    RawClient c(server.port());
    EXPECT_EQ(c.get("/a/b/c").body, "exact");
    EXPECT_EQ(c.get("/a/b/d").body, "ab");
    EXPECT_EQ(c.get("/a/x").body, "a again");
    EXPECT_EQ(c.get("/zz").body, "root");
    c.send("DELETE /a/b/d HTTP/1.1\r\n\r\n");
    EXPECT_EQ(c.readResponse().body, "a again");
    server.clearRoutes();
    EXPECT_EQ(c.get("/a").status, 404);
}

TEST(TestServerBodies, CompressedChunkedLargeAndCharsetBodies) {
    TestServer server;
    std::string text = "hello hello hello hello";
    server.route("GET", "/gz", gzipped(text));
    server.route("GET", "/z", zlibDeflated(text));
    server.route("GET", "/cut", truncatedGzip(text, 12));
    server.route("GET", "/chunks", chunked({"ab", "", "cde"}));
    server.route("GET", "/latin", inCharset("caf\xC3\xA9", "ISO-8859-1"));
    server.route("GET", "/big", large(300000, true));
    server.route("GET", "/bigclose", large(70000, false));
    RawClient c(server.port());

    RawResponse gz = c.get("/gz");
    EXPECT_EQ(gz.headers.value("Content-Encoding"), "gzip");
    EXPECT_EQ(inflateBytes(gz.body), text);
    EXPECT_EQ(gz.body.substr(0, 2), "\x1f\x8b");
    RawResponse z = c.get("/z");
    EXPECT_EQ(z.headers.value("Content-Encoding"), "deflate");
    EXPECT_EQ(inflateBytes(z.body), text);
    RawResponse cut = c.get("/cut");
    EXPECT_EQ(cut.body.size(), 12u);
    EXPECT_FALSE(inflateBytes(cut.body).has_value());

    c.send("GET /chunks HTTP/1.1\r\n\r\n");
    std::string raw;
    while (raw.find("0\r\n\r\n") == std::string::npos)
        raw += c.receiveSome();
    EXPECT_NE(raw.find("\r\n\r\n2\r\nab\r\n3\r\ncde\r\n0\r\n\r\n"), std::string::npos) << raw;

    RawResponse latin = c.get("/latin");
    EXPECT_EQ(latin.body, "caf\xE9");
    EXPECT_EQ(latin.headers.value("Content-Type"), "text/html; charset=ISO-8859-1");

    RawResponse big = c.get("/big");
    EXPECT_EQ(big.body, patternBytes(300000));
    RawResponse bigClose = c.get("/bigclose");
    EXPECT_FALSE(bigClose.headers.has("Content-Length"));
    EXPECT_EQ(bigClose.body, patternBytes(70000));
    EXPECT_TRUE(server.waitForConnectionClosed(1));
}

TEST(TestServerBodies, DamagedGzipAndEntityTags) {
    TestServer server;
    server.route("GET", "/damaged", damagedGzip("hello hello hello hello"));
    server.route("GET", "/tag", etagged("tagged", "\"v7\""));
    RawClient c(server.port());
    RawResponse damaged = c.get("/damaged");
    EXPECT_EQ(damaged.headers.value("Content-Encoding"), "gzip");
    EXPECT_EQ(damaged.body.substr(0, 2), "\x1f\x8b");
    EXPECT_EQ(std::stoul(damaged.headers.value("Content-Length")), damaged.body.size());
    EXPECT_FALSE(inflateBytes(damaged.body));

    RawResponse plain = c.get("/tag");
    EXPECT_EQ(plain.status, 200);
    EXPECT_EQ(plain.headers.value("ETag"), "\"v7\"");
    EXPECT_EQ(plain.body, "tagged");
    for (const char* form : {"\"v7\"", "W/\"v7\"", "v7", "\"v1\", \"v7\"", "*"}) {
        RawResponse same = c.get("/tag", std::string("If-None-Match: ") + form + "\r\n");
        EXPECT_EQ(same.status, 304) << form;
        EXPECT_EQ(same.body, "") << form;
    }
    EXPECT_EQ(c.get("/tag", "If-None-Match: \"v8\"\r\n").status, 200);
}

namespace {

// Width and height from a PNG's header chunk, or from a JPEG's start-of-frame marker.
std::pair<int, int> imageSize(const std::string& b) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(b[i]); };
    if (b.size() > 24 && b.compare(0, 8, "\x89PNG\r\n\x1a\n") == 0)
        return {(byte(16) << 24) | (byte(17) << 16) | (byte(18) << 8) | byte(19),
                (byte(20) << 24) | (byte(21) << 16) | (byte(22) << 8) | byte(23)};
    for (size_t i = 2; i + 9 < b.size();) {
        if (byte(i) != 0xFF) return {-1, -1};
        unsigned char marker = byte(i + 1);
        size_t length = (byte(i + 2) << 8) | byte(i + 3);
        if (marker >= 0xC0 && marker <= 0xC2)
            return {(byte(i + 7) << 8) | byte(i + 8), (byte(i + 5) << 8) | byte(i + 6)};
        i += 2 + length;
    }
    return {-1, -1};
}

}  // namespace

TEST(TestServerBodies, ImagesOfAChosenSizeAndUndecodableBytes) {
    TestServer server;
    server.route("GET", "/p.png", image(ImageFormat::PNG, 37, 21));
    server.route("GET", "/j.jpg", image(ImageFormat::JPEG, 64, 48));
    server.route("GET", "/bad.png", undecodableImage());
    RawClient c(server.port());
    RawResponse png = c.get("/p.png");
    EXPECT_EQ(png.headers.value("Content-Type"), "image/png");
    EXPECT_EQ(imageSize(png.body), std::make_pair(37, 21));
    RawResponse jpg = c.get("/j.jpg");
    EXPECT_EQ(jpg.headers.value("Content-Type"), "image/jpeg");
    EXPECT_EQ(jpg.body.substr(0, 2), "\xFF\xD8");
    EXPECT_EQ(imageSize(jpg.body), std::make_pair(64, 48));
    RawResponse bad = c.get("/bad.png");
    EXPECT_EQ(bad.headers.value("Content-Type"), "image/png");
    // The signature of an image, with no header chunk after it.
    EXPECT_EQ(bad.body.compare(0, 8, "\x89PNG\r\n\x1a\n"), 0);
    EXPECT_NE(bad.body.substr(12, 4), "IHDR");
    EXPECT_EQ(png.body.substr(12, 4), "IHDR");
}

TEST(TestServerConnections, CloseRulesOfBothSides) {
    TestServer server;
    server.route("GET", "/ok", text("ok"));
    server.route("GET", "/close", connectionClose());
    server.route("GET", "/old", http10());
    server.route("GET", "/oldkeep", http10("ok", true));
    server.route("GET", "/drop", closeAfterResponse());
    server.route("GET", "/keep", keepAlive("timeout=15, max=100"));

    for (const char* path : {"/close", "/old", "/drop"}) {
        RawClient c(server.port());
        RawResponse r = c.get(path);
        EXPECT_EQ(r.body, "ok") << path;
        EXPECT_TRUE(c.serverClosed()) << path;
    }
    RawClient keep(server.port());
    EXPECT_EQ(keep.get("/keep").headers.value("Keep-Alive"), "timeout=15, max=100");
    RawResponse old = keep.get("/oldkeep");
    EXPECT_EQ(old.version, "HTTP/1.0");
    EXPECT_EQ(keep.get("/ok").body, "ok");  // still open after both

    RawClient leaving(server.port());
    EXPECT_EQ(leaving.get("/ok", "Connection: close\r\n").body, "ok");
    EXPECT_TRUE(leaving.serverClosed());

    // "/drop" answered without announcing the close: the record still shows it closed.
    auto conns = server.connections();
    ASSERT_EQ(conns.size(), 5u);
    EXPECT_FALSE(conns[2].open);
    EXPECT_FALSE(conns[2].closedByPeer);
    EXPECT_TRUE(conns[3].open);
}

TEST(TestServerConnections, FirstOnlyDropsTheSecondRequestUnanswered) {
    TestServer server;
    server.route("GET", "/once", firstOnly(text("first")));
    RawClient c(server.port());
    EXPECT_EQ(c.get("/once").body, "first");
    c.send("GET /once HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(c.serverClosed());
    EXPECT_EQ(server.requestCount(), 2u);
    RawClient fresh(server.port());
    EXPECT_EQ(fresh.get("/once").body, "first");
}

TEST(TestServerConnections, RedirectChainsAndLoops) {
    TestServer server;
    server.routePrefix("*", "/chain/", redirectChain(303, 2, "end"));
    server.routePrefix("*", "/loop/", redirectLoop(307));
    RawClient c(server.port());
    RawResponse r0 = c.get("/chain/0");
    EXPECT_EQ(r0.status, 303);
    EXPECT_EQ(r0.reason, "See Other");
    EXPECT_EQ(r0.headers.value("Location"), "1");
    EXPECT_EQ(c.get("/chain/1").headers.value("Location"), "2");
    EXPECT_EQ(c.get("/chain/2").body, "end");
    EXPECT_EQ(c.get("/chain/3").status, 404);
    EXPECT_EQ(c.get("/loop/a").headers.value("Location"), "b");
    EXPECT_EQ(c.get("/loop/b").headers.value("Location"), "a");
}

TEST(TestServerGates, SilenceAndHeldAnswersWaitForTheTest) {
    auto server = std::make_unique<TestServer>();
    auto gate = server->gate();
    server->route("GET", "/held", held(gate, text("late")));
    server->route("GET", "/quiet", silence());
    RawClient held1(server->port()), held2(server->port());
    held1.send("GET /held HTTP/1.1\r\n\r\n");
    held2.send("GET /held HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(gate->waitUntilWaiting(2));
    EXPECT_TRUE(nothingPending(held1.fd()));
    gate->release(1);
    ASSERT_TRUE(gate->waitUntilPassed(1));
    gate->open();
    EXPECT_EQ(held1.readResponse().body, "late");
    EXPECT_EQ(held2.readResponse().body, "late");

    // A silent exchange and one held by a closed gate are ended by the destructor.
    auto never = server->gate();
    server->route("GET", "/never", held(never, text("x")));
    RawClient quiet(server->port()), stuck(server->port());
    quiet.send("GET /quiet HTTP/1.1\r\n\r\n");
    stuck.send("GET /never HTTP/1.1\r\n\r\n");
    ASSERT_TRUE(never->waitUntilWaiting(1));
    ASSERT_TRUE(server->waitForRequests(4));
    EXPECT_TRUE(nothingPending(quiet.fd()));
    server.reset();
    EXPECT_TRUE(quiet.serverClosed());
    EXPECT_TRUE(stuck.serverClosed());
}

TEST(TestServerGates, PacedBodiesStopBetweenSlices) {
    TestServer server;
    auto gate = server.gate();
    server.route("GET", "/p", paced({"abc", "de", "f"}, gate));
    server.route("GET", "/pc", paced({"abc", "de"}, gate, true));
    RawClient c(server.port());
    c.send("GET /p HTTP/1.1\r\n\r\n");
    std::string got;
    while (got.find("abc") == std::string::npos)
        got += c.receiveSome();
    EXPECT_NE(got.find("Content-Length: 6\r\n"), std::string::npos);
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    EXPECT_TRUE(nothingPending(c.fd()));
    gate->release(1);
    ASSERT_TRUE(gate->waitUntilPassed(1));
    EXPECT_EQ(c.receiveSome(), "de");
    gate->open();
    EXPECT_EQ(c.receiveSome(), "f");
    EXPECT_EQ(c.get("/pc").body, "abcde");
}

TEST(TestServerGates, SlowReadTakesTheUploadTickByTick) {
    TestServer server;
    auto ticks = server.gate();
    server.route("POST", "/slow", slowRead(ticks, 4));
    RawClient c(server.port());
    c.send("POST /slow HTTP/1.1\r\nContent-Length: 10\r\n\r\n0123456789");
    ASSERT_TRUE(ticks->waitUntilWaiting(1));
    ticks->release(2);
    ASSERT_TRUE(ticks->waitUntilPassed(2));
    ASSERT_TRUE(ticks->waitUntilWaiting(1));  // 8 bytes read, waiting for the third tick
    EXPECT_TRUE(nothingPending(c.fd()));
    ticks->release(1);
    EXPECT_EQ(c.readResponse().body, "10");
    EXPECT_EQ(server.lastRequest()->body, "0123456789");
    EXPECT_EQ(c.get("/x").status, 404);  // framing kept
}

TEST(TestServerGates, ASmallReceiveBufferStallsAnUnreadUpload) {
    ServerOptions options;
    options.limits.receiveBufferSize = 8192;
    TestServer server(options);
    auto ticks = server.gate();
    server.route("PUT", "/up", slowRead(ticks, 1 << 20));
    RawClient c(server.port());
    const std::size_t size = 8 << 20;
    ASSERT_TRUE(c.send("PUT /up HTTP/1.1\r\nContent-Length: " + std::to_string(size) + "\r\n\r\n"));
    ASSERT_TRUE(ticks->waitUntilWaiting(1));
    std::string body = patternBytes(size);
    std::size_t sent = 0;
    for (;;) {  // without blocking, until the socket takes no more
        ssize_t n = ::send(c.fd(), body.data() + sent, body.size() - sent, MSG_DONTWAIT);
        if (n <= 0) break;
        sent += static_cast<std::size_t>(n);
    }
    EXPECT_LT(sent, size);
    ticks->open();
    ASSERT_TRUE(c.send(std::string_view(body).substr(sent)));
    EXPECT_EQ(c.readResponse().body, std::to_string(size));
    EXPECT_EQ(server.lastRequest()->body, body);
}

TEST(TestServerAuth, BasicAndDigestChallenges) {
    TestServer server;
    server.route("GET", "/basic", basicAuth("u", "p", "R", text("in")));
    server.route("GET", "/digest", digestAuth("u", "p", "R", text("in")));
    RawClient c(server.port());
    RawResponse no = c.get("/basic");
    EXPECT_EQ(no.status, 401);
    EXPECT_EQ(no.headers.value("WWW-Authenticate"), "Basic realm=\"R\"");
    EXPECT_EQ(c.get("/basic", "Authorization: Basic " + base64("u:p") + "\r\n").body, "in");

    RawResponse challenge = c.get("/digest");
    ASSERT_EQ(challenge.status, 401);
    std::string field = challenge.headers.value("WWW-Authenticate");
    std::size_t at = field.find("nonce=\"") + 7;
    std::string nonce = field.substr(at, field.find('"', at) - at);
    std::string ha1 = md5Hex("u:R:p"), ha2 = md5Hex("GET:/digest");
    std::string answer = md5Hex(ha1 + ":" + nonce + ":00000001:c1:auth:" + ha2);
    std::string auth = "Authorization: Digest username=\"u\", realm=\"R\", nonce=\"" + nonce +
                       "\", uri=\"/digest\", qop=auth, nc=00000001, cnonce=\"c1\", response=\"";
    EXPECT_EQ(c.get("/digest", auth + answer + "\"\r\n").body, "in");
    EXPECT_EQ(c.get("/digest", auth + md5Hex("wrong") + "\"\r\n").status, 401);
}

TEST(TestServerTls, CertificateVerifiesForItsNamesAndSniIsRecorded) {
    TestServer server;
    server.route("GET", "/s", text("secure"));
    server.startTls({TlsOptions::Key::EC, {"site.example.test"}});
    std::string pem = server.certificatePem();
    ASSERT_NE(pem.find("BEGIN CERTIFICATE"), std::string::npos);

    RawClient c(server.tlsPort());
    ASSERT_TRUE(c.startTls("site.example.test", pem, "site.example.test"));
    EXPECT_EQ(c.verifyResult(), X509_V_OK);
    EXPECT_EQ(c.get("/s").body, "secure");
    RawClient byIp(server.tlsPort());
    ASSERT_TRUE(byIp.startTls("", pem, "127.0.0.1"));
    EXPECT_EQ(byIp.verifyResult(), X509_V_OK);

    RawClient wrongName(server.tlsPort());
    ASSERT_TRUE(wrongName.startTls("other.test", pem, "other.test"));
    EXPECT_EQ(wrongName.verifyResult(), X509_V_ERR_HOSTNAME_MISMATCH);
    RawClient untrusted(server.tlsPort());
    ASSERT_TRUE(untrusted.startTls("localhost"));
    EXPECT_NE(untrusted.verifyResult(), X509_V_OK);

    // A request on each connection makes sure its handshake is recorded.
    EXPECT_EQ(wrongName.get("/s").status, 200);
    EXPECT_EQ(untrusted.get("/s").status, 200);
    Request rec = server.lastRequest().value();
    EXPECT_TRUE(rec.tls);
    EXPECT_EQ(rec.sni, "localhost");
    auto conns = server.connections();
    EXPECT_EQ(conns[0].sni, "site.example.test");
    EXPECT_EQ(conns[1].sni, "");
    EXPECT_EQ(conns[3].sni, "localhost");
}

TEST(TestServerTls, CertificateWithoutLoopbackNamesHoldsOnlyItsOwn) {
    TestServer server;
    server.route("GET", "/s", text("secure"));
    TlsOptions options;
    options.names = {"only.example.test"};
    options.loopbackNames = false;
    server.startTls(options);
    std::string pem = server.certificatePem();
    RawClient own(server.tlsPort());
    ASSERT_TRUE(own.startTls("only.example.test", pem, "only.example.test"));
    EXPECT_EQ(own.verifyResult(), X509_V_OK);
    for (const char* name : {"localhost", "127.0.0.1"}) {
        RawClient loopback(server.tlsPort());
        ASSERT_TRUE(loopback.startTls("", pem, name));
        EXPECT_NE(loopback.verifyResult(), X509_V_OK) << name;
    }
}

TEST(TestServerTls, ExpiredRsaCertificateFailsVerification) {
    TestServer server;
    TlsOptions options;
    options.key = TlsOptions::Key::RSA;
    options.expired = true;
    server.startTls(options);
    RawClient c(server.tlsPort());
    ASSERT_TRUE(c.startTls("localhost", server.certificatePem(), "localhost"));
    EXPECT_EQ(c.verifyResult(), X509_V_ERR_CERT_HAS_EXPIRED);
    EXPECT_EQ(c.get("/x").status, 404);  // still served: accepting is the client's choice
}

TEST(TestServerProxy, TunnelsForwardsAndChallenges) {
    TestServer origin, proxy;
    origin.route("GET", "/o", echo());
    origin.startTls();
    proxy.enableProxy();
    proxy.mapHost("origin.test", origin.port());

    RawClient tunnel(proxy.port());
    tunnel.send("CONNECT localhost:" + std::to_string(origin.tlsPort()) + " HTTP/1.1\r\n\r\n");
    RawResponse established = tunnel.readResponse(true);
    EXPECT_EQ(established.status, 200);
    ASSERT_TRUE(tunnel.startTls("localhost", origin.certificatePem(), "localhost"));
    EXPECT_EQ(tunnel.verifyResult(), X509_V_OK);
    EXPECT_EQ(tunnel.get("/o").status, 200);
    EXPECT_TRUE(origin.lastRequest()->tls);
    EXPECT_TRUE(proxy.connections().at(0).tunnel);

    RawClient forward(proxy.port());
    forward.send(
        "GET http://origin.test:1/o?q HTTP/1.1\r\nHost: origin.test\r\n"
        "Proxy-Connection: keep-alive\r\n\r\n");
    RawResponse relayed = forward.readResponse();
    EXPECT_EQ(relayed.body.substr(0, relayed.body.find("\r\n")), "GET /o?q HTTP/1.1");
    EXPECT_EQ(relayed.body.find("Proxy-Connection"), std::string::npos);
    Request seen = proxy.lastRequest().value();
    EXPECT_TRUE(seen.absoluteForm);
    EXPECT_EQ(seen.authority, "origin.test:1");
    EXPECT_EQ(seen.path, "/o");

    RawClient unknown(proxy.port());
    unknown.send("CONNECT elsewhere.test:443 HTTP/1.1\r\n\r\n");
    EXPECT_EQ(unknown.readResponse().status, 502);

    TestServer guarded;
    guarded.enableProxy("pu", "pp");
    RawClient asks(guarded.port());
    RawResponse challenge = asks.get("http://127.0.0.1:" + std::to_string(origin.port()) + "/o");
    EXPECT_EQ(challenge.status, 407);
    EXPECT_EQ(challenge.headers.value("Proxy-Authenticate"), "Basic realm=\"proxy\"");
    RawResponse in = asks.get("http://127.0.0.1:" + std::to_string(origin.port()) + "/o",
                              "Proxy-Authorization: Basic " + base64("pu:pp") + "\r\n");
    EXPECT_EQ(in.status, 200);
    EXPECT_EQ(in.body.find("Proxy-Authorization"), std::string::npos);
    RawClient refused(guarded.port());
    refused.send("CONNECT localhost:" + std::to_string(origin.tlsPort()) + " HTTP/1.1\r\n\r\n");
    EXPECT_EQ(refused.readResponse().status, 407);
    EXPECT_TRUE(refused.serverClosed());
}

TEST(TestServerRecords, BadRequestsAndHandlerFailuresAreAnswered) {
    TestServer server;
    server.route("GET", "/mute", Handler([](Exchange&) {}));
    server.route("GET", "/throw",
                 Handler([](const Request&) -> Response { throw std::runtime_error("boom"); }));
    RawClient mute(server.port());
    EXPECT_EQ(mute.get("/mute").status, 500);
    EXPECT_TRUE(mute.serverClosed());
    RawClient thrown(server.port());
    RawResponse r = thrown.get("/throw");
    EXPECT_EQ(r.status, 500);
    EXPECT_NE(r.body.find("boom"), std::string::npos);
    RawClient bad(server.port());
    bad.send("NONSENSE\r\n\r\n");
    EXPECT_EQ(bad.readResponse().status, 400);
    RawClient badLength(server.port());
    badLength.send("POST /x HTTP/1.1\r\nContent-Length: -1\r\n\r\n");
    EXPECT_EQ(badLength.readResponse().status, 400);

    EXPECT_EQ(server.requestCount(), 2u);
    server.clearRecords();
    EXPECT_EQ(server.requestCount(), 0u);
    EXPECT_EQ(server.connectionCount(), 0u);
    RawClient again(server.port());
    again.get("/none");
    EXPECT_EQ(server.requests().at(0).connectionId, 5u);  // ids go on counting
}

TEST(TestServerBytes, HelpersRoundTrip) {
    std::string data = patternBytes(100000);
    EXPECT_EQ(inflateBytes(gzipBytes(data)), data);
    EXPECT_EQ(inflateBytes(zlibBytes(data)), data);
    EXPECT_FALSE(inflateBytes("plain text").has_value());
    EXPECT_EQ(base64("u:p"), "dTpw");
    EXPECT_EQ(md5Hex(""), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(encodeText("\xE2\x82\xAC", "windows-1252"), "\x80");
    Headers h{{"A", "1"}, {"b", "2"}, {"a", "3"}};
    h.set("A", "x");
    EXPECT_EQ(h.size(), 2u);
    EXPECT_EQ(h.fields()[0].value, "x");
    EXPECT_EQ(h.value("B"), "2");
}
