// The services server under hostile input, over raw loopback sockets: each request that once
// brought it down, answered wrongly or made it grow, and after each a normal request that must
// still be answered.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/HostileClients.h"
#include "support/RunLoopTesting.h"
#include "support/StandInTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Kept.h"
#include "tools/services/MediationModule.h"
#include "tools/services/MeridianJSONAds.h"
#include "tools/services/Module.h"
#include "tools/services/Services.h"
#include "tools/services/ServicesTesting.h"
#include "tools/standin/RequestReader.h"

namespace servicestest {

namespace {

// A module of the test's own whose handler goes wrong on demand.
class FaultyModule : public bnservices::Module {
public:
    std::vector<std::string> hosts() const override { return {"faulty.services.test"}; }
    standin::HttpResponse handle(const standin::HttpRequest& request) override {
        if (request.path == "/throw") throw std::out_of_range("stoll");
        if (request.path == "/inject") {
            standin::HttpResponse r = standin::HttpResponse::plain("injected\n");
            return r.header("X-Note", "a\r\nSet-Cookie: pwn=1"), r;
        }
        if (request.path == "/status") return standin::HttpResponse::plain("odd\n", 0);
        return standin::HttpResponse::plain("fine\n");
    }
};

}  // namespace

BN_SERVICES_MODULE("faulty", FaultyModule)

namespace {

using standintest::RawClient;
using standintest::rawStatus;

// One raw request on a connection of its own; everything the server sent until it closed.
std::string exchange(const std::string& bytes, int port = 0) {
    RawClient client(port ? port : services().port());
    EXPECT_TRUE(client.connected());
    client.send(bytes);
    return client.readToEnd();
}

// The server still answers a normal request.
void expectStillServing(int port = 0) {
    Reply after = get("echo.services.test", "/after", port);
    EXPECT_EQ(after.status, 200);
    EXPECT_EQ(after.body, "GET echo.services.test/after ");
}

bool hasHeader(const Reply& reply, const std::string& line) {
    return ("\r\n" + reply.head + "\r\n").find("\r\n" + line + "\r\n") != std::string::npos;
}

class ServicesBadInput : public ::testing::Test {
protected:
    void SetUp() override {
        services().reset();
        services().clearFaults();
        takeLog();
    }
    // The program's server as the shared hostile clients take it.
    static standintest::HostileServer shared() {
        return {services().port(), "echo.services.test", "/hostile", [] { return takeLog(); }};
    }
};

TEST_F(ServicesBadInput, RequestsOutsideTheGrammarAreRefused400) {
    standintest::expectStrictRequestParsing(shared());
    standintest::expectHeadCapExact(shared());
    // None of the refused requests reached the module.
    for (const auto& r : services().received("echo"))
        EXPECT_EQ(r.target.rfind("/t", 0), std::string::npos) << r.target;
    expectStillServing();
}

TEST_F(ServicesBadInput, TheLogSaysWhatWasSent) {
    // A handler's answer the core refused is logged as the 500 that went out, with the reason.
    EXPECT_EQ(get("faulty.services.test", "/inject?logged=refused").status, 500);
    auto refused = standintest::logLinesWith(shared(), "logged=refused");
    ASSERT_EQ(refused.size(), 1u);
    EXPECT_NE(refused[0].find("HTTP/1.1\" 500 22 "), std::string::npos) << refused[0];
    EXPECT_NE(refused[0].find("[response refused: control byte in X-Note]"), std::string::npos)
        << refused[0];

    standintest::expectLogEscapesEveryNonAsciiByte(shared());
    standintest::expectOverlongChunkLinesRefused(shared());
    expectStillServing();
}

TEST_F(ServicesBadInput, AHandlerThatThrowsIsAnswered500AndLoggedAndTheServerGoesOn) {
    Reply thrown = get("faulty.services.test", "/throw");
    EXPECT_EQ(thrown.status, 500);
    EXPECT_EQ(thrown.body, "internal server error\n");
    expectStillServing();
    bool logged = false;
    runLoopUntil([&] {
        for (const auto& line : takeLog())
            logged |= line.find("/throw HTTP/1.1\" 500 ") != std::string::npos &&
                      line.find("[handler failed: stoll]") != std::string::npos;
        return logged;
    });
    EXPECT_TRUE(logged);

    // The number in a bundle name that once threw out of range.
    Reply bundle =
        get("ads.ironvine.test", "/AdBridgeServer/adbundle/slot/99999999999999999999.zip");
    EXPECT_EQ(bundle.status, 400);
    EXPECT_EQ(get("ads.ironvine.test", "/AdBridgeServer/adbundle/slot/12.zip").status, 200);
    EXPECT_EQ(admin("/ironvine/ads?expiration=99999999999999999999").status, 400);
    EXPECT_EQ(admin("/ironvine/ads?expiration=-5").status, 400);
    EXPECT_EQ(admin("/ironvine/ads?expiration=1700000000").body, "noad 0 expiration 1700000000\n");
    expectStillServing();
}

TEST_F(ServicesBadInput, LongRecordsInAnAdRequestAreReadWithoutRecursion) {
    // About 29,000 characters inside the location description, and as many digits in a signal
    // record (the two within the 64 KB request head).
    std::string record =
        "role: 6 producer: 24 historical_role: 1 historical_producer: 12 "
        "timestamp: 1330603200000000 loc: \"" +
        std::string(22000, 'x') + "\"";
    std::string query =
        "js=pbma-sdk-i-v1&preqs=1&app_name=bn&format=320x50_mb&u_audio=1&u_sd=2&u_w=320&"
        "u_h=480&u_so=p&slotname=banner&uule=a%2B" +
        webSafeBase64(record);
    Reply accepted = get("ads.pebbleads.test", "/pbma/ad?" + query);
    EXPECT_EQ(accepted.status, 200) << accepted.body.substr(0, 200);
    Reply refused = get(
        "ads.pebbleads.test",
        "/pbma/ad?" + query + "&ms=" + webSafeBase64("v1;loads=" + std::string(22000, '1') + ";x"));
    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(refused.body, "bad parameter: ms: not a signal record");
    expectStillServing();
}

TEST_F(ServicesBadInput, NoHeaderCarriesALineBreakOfTheClients) {
    Reply redirect = get("ads.pebbleads.test",
                         "/aclk?adurl=http://shop.advertiser.test/%0d%0aSet-Cookie:%20pwn=1");
    EXPECT_EQ(redirect.status, 302);
    EXPECT_TRUE(hasHeader(redirect, "Location: http://shop.advertiser.test/")) << redirect.head;
    EXPECT_EQ(redirect.head.find("pwn"), std::string::npos) << redirect.head;
    // Elsewhere on the advertiser's shop the redirect goes where it says.
    Reply shop = get("ads.pebbleads.test", "/aclk?adurl=http://shop.advertiser.test/garden");
    EXPECT_TRUE(hasHeader(shop, "Location: http://shop.advertiser.test/garden")) << shop.head;

    // A handler's header with a line break, or a status no client can read, is not written.
    Reply injected = get("faulty.services.test", "/inject");
    EXPECT_EQ(injected.status, 500);
    EXPECT_EQ(injected.head.find("pwn"), std::string::npos) << injected.head;
    EXPECT_EQ(get("faulty.services.test", "/status").status, 500);
    expectStillServing();
}

TEST_F(ServicesBadInput, NumbersOutOfRangeAreRefused) {
    std::string click =
        "/getCanvas.do?apik=k&cid=1&adid=9223372036854775807&pid=IPHONE1&sid=1&its=1&hid=h&"
        "ac=ab&ats=1";
    EXPECT_EQ(get("ads.tally.test", click).status, 400);
    Reply canvas = get("ads.tally.test",
                       "/getCanvas.do?apik=k&cid=1&adid=41&pid=IPHONE1&sid=1&its=1&hid=h&"
                       "ac=ab&ats=1");
    EXPECT_EQ(canvas.status, 200);
    EXPECT_NE(canvas.body.find(">App 43<"), std::string::npos) << canvas.body;

    EXPECT_EQ(get("catalog.services.test", "/items.json?page=2147483647").status, 400);
    EXPECT_EQ(get("catalog.services.test", "/items.json?page=-1").status, 400);
    EXPECT_EQ(get("catalog.services.test", "/photos.json?set=many&page=99999999999").status, 400);
    EXPECT_EQ(get("catalog.services.test", "/photos/many/99999999999-1.png").status, 404);
    EXPECT_EQ(get("catalog.services.test", "/thumbs/4294967303.png").status, 404);
    EXPECT_EQ(get("catalog.services.test", "/items.json?page=2").status, 200);

    // Admin values: a status no client can read, float values that no integer holds.
    EXPECT_EQ(admin("/meridian/handshake?status=0").status, 400);
    EXPECT_EQ(admin("/meridian/handshake?deferred=inf").status, 400);
    EXPECT_EQ(admin("/mediation/config?appid=k2&status=99999999999").status, 400);
    EXPECT_EQ(admin("/faults?path=/x&truncate=-1").status, 400);
    EXPECT_EQ(admin("/faults?path=/x&delay=nan").status, 400);
    EXPECT_EQ(admin("/faults?path=/x&count=99999999999").status, 400);
    EXPECT_EQ(admin("/faults").body, "no faults\n");
    EXPECT_EQ(get("media.meridian.test", "/videos/x-infs.mp4").status, 400);
    EXPECT_EQ(get("media.meridian.test", "/videos/x-1e300s.mp4").status, 400);
    EXPECT_EQ(get("media.meridian.test", "/videos/x-5s.mp4").status, 200);
    expectStillServing();
}

TEST_F(ServicesBadInput, ClientTextReachesPagesEscaped) {
    const std::string attack = "%3Cscript%3Ealert(1)%3C/script%3E";
    Reply search = get("shop.advertiser.test", "/search?q=" + attack);
    EXPECT_EQ(search.body.find("<script>"), std::string::npos);
    EXPECT_NE(search.body.find("Results for &lt;script&gt;alert(1)"), std::string::npos);
    Reply landing = get("ads.meridian.test", "/landing?page=" + attack);
    EXPECT_EQ(landing.body.find("<script>alert"), std::string::npos);
    EXPECT_NE(landing.body.find("page &lt;script&gt;"), std::string::npos);
    // A path holds no "<" (a target with one is refused), but "&" and quotes still mean markup.
    Reply advertiser = get("mediation.adloom.test", "/advertiser/a&b'c");
    EXPECT_NE(advertiser.body.find("Advertiser a&amp;b"), std::string::npos) << advertiser.body;
    EXPECT_EQ(advertiser.body.find("b'c"), std::string::npos) << advertiser.body;
    EXPECT_EQ(get("mediation.adloom.test", "/advertiser/<b>x").status, 400);
    expectStillServing();
}

TEST_F(ServicesBadInput, RangesFollowTheRules) {
    const std::string video = "/videos/mrvideo-30s.mp4";
    const std::size_t size = bnservices::meridianjson::kVideoSize;
    auto ask = [&](const std::string& range) {
        return request("GET", "media.meridian.test", video, {}, {{"Range", range}});
    };
    Reply whole = get("media.meridian.test", video);
    ASSERT_EQ(whole.body.size(), size);

    Reply suffix = ask("bytes=-500");
    EXPECT_EQ(suffix.status, 206);
    EXPECT_EQ(suffix.body, whole.body.substr(size - 500));
    EXPECT_TRUE(hasHeader(suffix, "Content-Range: bytes " + std::to_string(size - 500) + "-" +
                                      std::to_string(size - 1) + "/" + std::to_string(size)));
    Reply first = ask("bytes=0-0");
    EXPECT_EQ(first.status, 206);
    EXPECT_EQ(first.body, whole.body.substr(0, 1));
    EXPECT_TRUE(hasHeader(first, "Content-Range: bytes 0-0/" + std::to_string(size)));
    Reply middle = ask("bytes=100-199");
    EXPECT_EQ(middle.body, whole.body.substr(100, 100));
    Reply open = ask("bytes=1000-");
    EXPECT_EQ(open.body, whole.body.substr(1000));
    // Invalid ranges are ignored; an unsatisfiable one is 416.
    for (const char* invalid : {"bytes=500-100", "bytes=abc", "bytes=1-2,5-6", "items=1-2"}) {
        Reply r = ask(invalid);
        EXPECT_EQ(r.status, 200) << invalid;
        EXPECT_EQ(r.body.size(), size) << invalid;
    }
    // A range on condition of a validator: the videos have none, so none matches and the whole
    // video comes.
    for (const char* validator :
         {"\"mrvideo-30s\"", "W/\"mrvideo-30s\"", "Sat, 29 Oct 1994 19:43:31 GMT"}) {
        Reply r = request("GET", "media.meridian.test", video, {},
                          {{"Range", "bytes=100-199"}, {"If-Range", validator}});
        EXPECT_EQ(r.status, 200) << validator;
        EXPECT_EQ(r.body, whole.body) << validator;
        EXPECT_FALSE(hasHeader(r, "Content-Range: bytes 100-199/" + std::to_string(size)));
    }
    for (const std::string& unsatisfiable :
         std::vector<std::string>{"bytes=" + std::to_string(size) + "-", "bytes=-0"}) {
        Reply r = ask(unsatisfiable);
        EXPECT_EQ(r.status, 416) << unsatisfiable;
        EXPECT_TRUE(hasHeader(r, "Content-Range: bytes */" + std::to_string(size)));
    }
    expectStillServing();
}

TEST_F(ServicesBadInput, HeadsNoClientSendsAreRefused) {
    using namespace std::string_literals;
    const std::vector<std::string> refused = {
        "G\0T / HTTP/1.1\r\nHost: echo.services.test\r\n\r\n"s,
        "GET / HTTP/1.1\r\nHost: echo.services.test\r\nX-A: a\0b\r\n\r\n"s,
        "GET / HTTP/1.1\r\nHost: echo.services.test\r\nX-A: a\rb\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: echo.services.test\r\nno colon here\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: echo.services.test\r\nX-A : spaced\r\n\r\n",
        "GET / HTTP/1.1\r\nHost: echo.services.test\r\n folded: line\r\n\r\n",
        "POST / HTTP/1.1\r\nHost: echo.services.test\r\nTransfer-Encoding: gzip\r\n\r\nab",
    };
    for (const auto& bytes : refused) {
        std::string reply = exchange(bytes);
        EXPECT_EQ(rawStatus(reply), "400") << bytes << "\n" << reply;
    }
    EXPECT_EQ(services().received("echo").size(), 0u);
    expectStillServing();
}

TEST_F(ServicesBadInput, NoRequestIsSmuggledInTheBodyOfOneWithBothFramings) {
    const std::string smuggled =
        "POST /first HTTP/1.1\r\nHost: echo.services.test\r\nContent-Length: 5\r\n"
        "Transfer-Encoding: chunked\r\n\r\n0\r\n\r\n"
        "GET /smuggled HTTP/1.1\r\nHost: echo.services.test\r\n\r\n";
    bool closed = false;
    RawClient client(services().port());
    client.send(smuggled);
    std::string reply = client.readToEnd(&closed);
    EXPECT_EQ(rawStatus(reply), "400") << reply;
    EXPECT_TRUE(closed);
    EXPECT_EQ(reply.find("HTTP/1.1", 8), std::string::npos) << "one answer only:\n" << reply;
    EXPECT_EQ(services().received("echo").size(), 0u);
    expectStillServing();
}

TEST_F(ServicesBadInput, ABodyOverTheLimitIsAnswered413BeforeAnyContinue) {
    RawClient client(services().port());
    client.send(
        "POST /big HTTP/1.1\r\nHost: echo.services.test\r\nExpect: 100-continue\r\n"
        "Content-Length: " +
        std::to_string(standin::kMaxRequestBody + 1) + "\r\n\r\n");
    std::string reply = client.readToEnd();
    EXPECT_EQ(rawStatus(reply), "413") << reply;
    EXPECT_EQ(reply.find("100 Continue"), std::string::npos) << reply;

    // Within the limit the go-ahead still comes first.
    RawClient small(services().port());
    small.send(
        "POST /small HTTP/1.1\r\nHost: echo.services.test\r\nExpect: 100-continue\r\n"
        "Content-Length: 3\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(rawStatus(small.readAnswer()), "100");
    small.send("abc");
    std::string answer = small.readToEnd();
    EXPECT_EQ(rawStatus(answer), "200") << answer;
    EXPECT_NE(answer.find("POST echo.services.test/small abc"), std::string::npos);
    expectStillServing();
}

TEST_F(ServicesBadInput, WhatIsKeptOfRequestsIsCapped) {
    // A large body is kept by its first bytes and its length.
    std::string body(1024 * 1024, 'b');
    EXPECT_EQ(request("POST", "echo.services.test", "/upload", body).status, 200);
    auto received = services().received("echo");
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0].body, body.substr(0, bnservices::kKeptText));
    EXPECT_EQ(received[0].bodyLength, body.size());

    // Pings past the cap push the oldest out.
    const std::string ping =
        "/exmet.php?appid=k&nid=n&type=t&country_code=US&appver=1&client=c&"
        "pad=";
    for (int i = 0; i < 80; ++i)
        EXPECT_EQ(
            get("metrics.adloom.test", ping + std::to_string(i) + std::string(60000, 'p')).status,
            200);
    auto* mediation = services().module<bnservices::MediationModule>("mediation");
    ASSERT_NE(mediation, nullptr);
    auto pings = mediation->pings();
    ASSERT_FALSE(pings.empty());
    std::size_t bytes = 0;
    for (const auto& p : pings)
        bytes += p.target.size();
    EXPECT_LE(bytes, bnservices::kKeptBytes);
    EXPECT_LT(pings.size(), 80u);
    EXPECT_NE(pings.back().target.find("pad=79"), std::string::npos);
    expectStillServing();
}

TEST(KeptTest, KeepsTheMostRecentByCountAndByBytes) {
    bnservices::Kept<int> byCount(3, 1000);
    for (int i = 0; i < 5; ++i)
        byCount.push(i, 1);
    EXPECT_EQ(byCount.list(), (std::vector<int>{2, 3, 4}));
    bnservices::Kept<int> byBytes(100, 10);
    for (int i = 0; i < 5; ++i)
        byBytes.push(i, 4);
    EXPECT_EQ(byBytes.list(), (std::vector<int>{3, 4}));
    EXPECT_EQ(byBytes.bytes(), 8u);
    // One entry larger than the whole is still kept, alone.
    byBytes.push(9, 50);
    EXPECT_EQ(byBytes.list(), (std::vector<int>{9}));
    byBytes.clear();
    EXPECT_TRUE(byBytes.empty());
    EXPECT_EQ(byBytes.bytes(), 0u);
}

// A server of its own with small limits, for the clients that hold on.
class SlowClients : public ::testing::Test {
protected:
    void start(bnservices::ServicesOptions options, bool tls = false) {
        options.tls = tls;
        options.log = log.writer();
        own = std::make_unique<bnservices::Services>(options);
        ASSERT_TRUE(own->start());
    }
    void TearDown() override {
        if (own) own->stop();
    }
    // Log lines holding `marker`, once `done` says they are all there.
    std::vector<std::string> linesWith(const std::string& marker,
                                       const std::function<bool(const std::string&)>& done) {
        std::vector<std::string> mine;
        runLoopUntil([&] {
            bool finished = false;
            for (const auto& line : log.take()) {
                if (line.find(marker) == std::string::npos) continue;
                mine.push_back(line);
                finished |= done(line);
            }
            return finished;
        });
        return mine;
    }

    standintest::HostileServer hostile() {
        return {own->port(), "echo.services.test", "/hostile", [this] { return log.take(); }};
    }

    standintest::RequestLog log;
    std::unique_ptr<bnservices::Services> own;
};

TEST_F(SlowClients, SilentConnectionsAndStalledHandshakesLockNobodyOut) {
    // The default cap and first-byte time: the client is served at once, not once they pass.
    start({}, true);
    ASSERT_TRUE(own->offersTls());
    standintest::expectServedBesideIdleCrowd(hostile(), 300, 300);
}

TEST_F(SlowClients, NoDeadlineTakesAThreadOfItsOwn) {
    start({});
    standintest::expectOneThreadPerConnection(hostile());
}

TEST_F(SlowClients, ConnectionsThatSayNothingAreClosedSoon) {
    bnservices::ServicesOptions options;
    options.limits.firstByteSeconds = 0.3;
    start(options, true);
    standintest::expectSilentConnectionsClosedSoon(hostile(), options.limits.firstByteSeconds);
}

TEST_F(SlowClients, KeptConnectionsGiveWayToNewcomers) {
    bnservices::ServicesOptions options;
    options.limits.maxConnections = 2;
    options.limits.keptIdleSeconds = 0;
    start(options);
    standintest::expectKeptConnectionsBesideANewcomer(hostile(), true);
}

TEST_F(SlowClients, ConnectionsJustAnsweredAreNotClosedForNewcomers) {
    bnservices::ServicesOptions options;
    options.limits.maxConnections = 2;
    options.limits.keptIdleSeconds = 600;
    start(options);
    standintest::expectKeptConnectionsBesideANewcomer(hostile(), false);
}

TEST_F(SlowClients, ClientsThatReadNothingLeaveRoom) {
    bnservices::ServicesOptions options;
    options.limits.maxConnections = 4;
    options.limits.stalledSendSeconds = 0;
    start(options);
    standintest::expectNonReadersLeaveRoom(
        hostile(), 4, "http://media.meridian.test/videos/mrvideo-30s.mp4", 200);
    expectStillServing(own->port());
}

TEST_F(SlowClients, AnAnswerReadTooSlowlyEndsAtTheWriteDeadline) {
    bnservices::ServicesOptions options;
    options.limits.sendSeconds = 0.5;
    start(options);
    standintest::HostileServer videos = hostile();
    videos.host = "media.meridian.test";
    standintest::expectUnreadAnswerEndsByDeadline(videos, "/videos/mrvideo-30s.mp4", 200,
                                                  options.limits.sendSeconds);
    expectStillServing(own->port());
}

TEST_F(SlowClients, ABodyThatTricklesInIsCutOffAtItsDeadline) {
    bnservices::ServicesOptions options;
    options.headSeconds = 0.5;
    start(options);
    RawClient client(own->port());
    client.send(
        "POST /trickle HTTP/1.1\r\nHost: echo.services.test\r\nContent-Length: 10\r\n\r\nab");
    std::string reply = client.readToEnd();
    EXPECT_EQ(rawStatus(reply), "408") << reply;
    EXPECT_NE(reply.find("request body not complete in time"), std::string::npos) << reply;
    expectStillServing(own->port());
}

TEST_F(SlowClients, AClientThatDoesNotReadIsLeftAfterOneFailedWrite) {
    bnservices::ServicesOptions options;
    options.limits.sendSeconds = 0.2;
    start(options);
    RawClient client(own->port(), 4096);
    std::string pipelined;
    for (int i = 0; i < 200; ++i)
        pipelined += "GET /videos/mrvideo-30s.mp4?pipelined=" + std::to_string(i) +
                     " HTTP/1.1\r\nHost: media.meridian.test\r\n\r\n";
    ASSERT_TRUE(client.send(pipelined));
    // The answer whose write timed out is logged with nothing sent; none come after it.
    auto lines = linesWith("pipelined=", [](const std::string& line) {
        return line.find("\" 200 0 ") != std::string::npos;
    });
    ASSERT_FALSE(lines.empty());
    EXPECT_NE(lines.back().find("\" 200 0 "), std::string::npos) << lines.back();
    EXPECT_LT(lines.size(), 200u);
    expectStillServing(own->port());
}

TEST_F(SlowClients, ConnectionsBeyondTheCapAreAnswered503WhenNoneIsIdle) {
    bnservices::ServicesOptions options;
    options.limits.maxConnections = 2;
    options.headGate = "head";
    start(options);
    auto a = std::make_unique<RawClient>(own->port());
    auto b = std::make_unique<RawClient>(own->port());
    ASSERT_TRUE(a->send("GET /held HTTP/1.1\r\nHost: echo.services.test\r\n"));
    ASSERT_TRUE(b->send("GET /held HTTP/1.1\r\nHost: echo.services.test\r\n"));
    // Both are inside a request by now (its head's deadline runs), so neither is idle.
    ASSERT_TRUE(own->gate("head")->waitUntilWaiting(2));
    RawClient third(own->port());
    std::string reply = third.readToEnd();
    EXPECT_EQ(rawStatus(reply), "503") << reply;
    // Once the held ones go, connections are served again.
    a.reset();
    b.reset();
    EXPECT_TRUE(runLoopUntil(
        [&] { return get("echo.services.test", "/after", own->port()).status == 200; }));
}

}  // namespace

}  // namespace servicestest
