// The server under bad input, over raw loopback sockets: heads that trickle in past the head
// deadline (408), malformed body framing and request lines (400), and the log, which records
// every answered request with what the client sent escaped.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <deque>
#include <mutex>

#include "SiteTesting.h"
#include "support/HeapUse.h"
#include "support/HostileClients.h"
#include "support/RunLoopTesting.h"
#include "support/StandInTesting.h"

using namespace sitetest;

namespace {

using standintest::RawClient;

std::string status(const std::string& reply) {
    return standintest::rawStatus(reply);
}

// The log lines that hold `marker`, once `count` of them have come (the server writes a line
// once its answer is out, so the last one may still be on its way).
std::vector<std::string> logLinesWith(const std::string& marker, size_t count,
                                      std::vector<std::string> (*take)() = takeLog) {
    std::vector<std::string> mine;
    runLoopUntil([&] {
        for (const auto& l : take()) {
            if (l.find(marker) != std::string::npos) mine.push_back(l);
        }
        return mine.size() >= count;
    });
    return mine;
}

// A site of its own whose head deadline is a gate the test opens.
class HeadDeadline : public testing::Test {
protected:
    void SetUp() override {
        bnsite::SiteOptions options;
        options.headGate = "head";
        options.log = [this](const std::string& line) {
            std::lock_guard<std::mutex> g(lock);
            lines.push_back(line);
        };
        own = std::make_unique<bnsite::Site>(options);
        ASSERT_TRUE(own->start());
        deadline = own->gate("head");
        current = this;
    }
    void TearDown() override {
        own->stop();
        current = nullptr;
    }
    static std::vector<std::string> takeOwnLog() {
        std::lock_guard<std::mutex> g(current->lock);
        std::vector<std::string> out(current->lines.begin(), current->lines.end());
        current->lines.clear();
        return out;
    }

    std::unique_ptr<bnsite::Site> own;
    std::shared_ptr<bnsite::Gate> deadline;
    std::mutex lock;
    std::deque<std::string> lines;
    static HeadDeadline* current;
};
HeadDeadline* HeadDeadline::current = nullptr;

}  // namespace

TEST_F(HeadDeadline, AHeadThatTricklesInIsAnswered408WhenTheDeadlineComes) {
    RawClient client(own->port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("GET /trickle HTTP/1.1\r\nHost: boston.bazaarnest.test\r\n"));
    ASSERT_TRUE(deadline->waitUntilWaiting(1));
    // Every new byte would have restarted an idle time-out; the deadline stays where it was.
    for (int i = 0; i < 5; ++i) {
        ASSERT_TRUE(client.send("X-Slow: " + std::to_string(i) + "\r\n"));
        EXPECT_FALSE(client.serverSpoke());
    }
    EXPECT_EQ(deadline->waiting(), 1u);
    deadline->release();
    bool closed = false;
    std::string reply = client.readToEnd(&closed);
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << reply;
    EXPECT_NE(reply.find("Connection: close"), std::string::npos);
    EXPECT_TRUE(closed);
    auto logged = logLinesWith("/trickle", 1, takeOwnLog);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("\"GET /trickle HTTP/1.1\" 408 "), std::string::npos) << logged[0];
}

TEST_F(HeadDeadline, AHeadInTimeIsServedAndAKeptConnectionWaitsOnlyForItsNextHead) {
    RawClient client(own->port());
    ASSERT_TRUE(client.connected());
    ASSERT_TRUE(client.send("GET / HTTP/1.1\r\n"));
    ASSERT_TRUE(deadline->waitUntilWaiting(1));
    ASSERT_TRUE(client.send("Host: boston.bazaarnest.test\r\n\r\n"));
    EXPECT_EQ(status(client.readAnswer()), "200");
    // The finished head withdrew its wait; an idle kept connection holds none.
    EXPECT_EQ(deadline->waiting(), 0u);
    EXPECT_EQ(deadline->passed(), 0u);
    ASSERT_TRUE(
        client.send("GET / HTTP/1.1\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n"));
    bool closed = false;
    EXPECT_EQ(status(client.readToEnd(&closed)), "200");
    EXPECT_TRUE(closed);
    EXPECT_EQ(deadline->passed(), 0u);
}

TEST_F(HeadDeadline, OverTlsTheLateHeadIsAnswered408Too) {
    RawClient client(own->port());
    ASSERT_TRUE(client.connected());
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, client.fd());
    ASSERT_EQ(SSL_connect(ssl), 1);
    auto write = [&](const std::string& bytes) {
        return SSL_write(ssl, bytes.data(), static_cast<int>(bytes.size())) ==
               static_cast<int>(bytes.size());
    };
    // A first request in time: once it is answered, neither the handshake nor its head holds a
    // wait any more.
    ASSERT_TRUE(write("GET / HTTP/1.1\r\nHost: accounts.bazaarnest.test\r\n\r\n"));
    std::string reply;
    char buffer[4096];
    while (reply.find("</html>") == std::string::npos) {
        int n = SSL_read(ssl, buffer, sizeof buffer);
        ASSERT_GT(n, 0);
        reply.append(buffer, static_cast<size_t>(n));
    }
    EXPECT_EQ(status(reply), "200");
    EXPECT_EQ(deadline->waiting(), 0u);

    ASSERT_TRUE(write("GET /late-secure HTTP/1.1\r\nHost: accounts.bazaarnest.test\r\n"));
    ASSERT_TRUE(deadline->waitUntilWaiting(1));
    deadline->release();
    reply.clear();
    for (int n; (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;)
        reply.append(buffer, static_cast<size_t>(n));
    SSL_free(ssl);
    SSL_CTX_free(context);
    EXPECT_EQ(reply.rfind("HTTP/1.1 408 Request Timeout\r\n", 0), 0u) << reply;
    EXPECT_EQ(deadline->passed(), 1u);
}

TEST_F(HeadDeadline, AHandshakeThatTricklesInIsCutOff) {
    RawClient client(own->port());
    ASSERT_TRUE(client.connected());
    // The start of a TLS record, and no more.
    ASSERT_TRUE(client.send(std::string("\x16\x03\x01\x00", 4)));
    ASSERT_TRUE(deadline->waitUntilWaiting(1));
    EXPECT_FALSE(client.serverSpoke());
    deadline->release();
    bool closed = false;
    EXPECT_EQ(client.readToEnd(&closed), "");
    EXPECT_TRUE(closed);
}

TEST(SiteBadInput, BodyFramingThatCannotBeReadIsRefused) {
    site();
    takeLog();
    auto ask = [](const std::string& marker, const std::string& framing, const std::string& body) {
        return rawExchange("POST /recaptcha/api/noscript?" + marker +
                           " HTTP/1.1\r\nHost: verify.captchaservice.test\r\n"
                           "Content-Type: application/x-www-form-urlencoded\r\n" +
                           framing + "Connection: close\r\n\r\n" + body);
    };
    const std::vector<std::pair<std::string, std::string>> refused = {
        {"Content-Length: abc\r\n", "a=b"},
        {"Content-Length: 3abc\r\n", "a=b"},
        {"Content-Length: -3\r\n", "a=b"},
        {"Content-Length: \r\n", "a=b"},
        {"Content-Length: 3\r\nContent-Length: 4\r\n", "a=b"},
        {"Content-Length: 3, 4\r\n", "a=b"},
        // Asked to wait for a go-ahead, the client gets the refusal instead.
        {"Expect: 100-continue\r\nContent-Length: 0x3\r\n", "a=b"},
        {"Transfer-Encoding: chunked\r\n", "zz\r\na=b\r\n0\r\n\r\n"},
        {"Transfer-Encoding: chunked\r\n", "-3\r\na=b\r\n0\r\n\r\n"},
        {"Transfer-Encoding: chunked\r\n", "0x3\r\na=b\r\n0\r\n\r\n"},
        {"Transfer-Encoding: chunked\r\n", "\r\na=b\r\n0\r\n\r\n"},
    };
    int n = 0;
    for (const auto& [framing, body] : refused) {
        std::string marker = "refused=" + std::to_string(++n);
        std::string reply = ask(marker, framing, body);
        EXPECT_EQ(reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << framing << reply;
        auto logged = logLinesWith(marker + " ", 1);
        ASSERT_EQ(logged.size(), 1u) << framing;
        EXPECT_NE(
            logged[0].find("\"POST http://verify.captchaservice.test/recaptcha/api/noscript?" +
                           marker + " HTTP/1.1\" 400 "),
            std::string::npos)
            << logged[0];
    }

    // What real clients send is still read: a repeated equal length, chunk extensions, sizes
    // in either case.
    const std::vector<std::pair<std::string, std::string>> accepted = {
        {"Content-Length: 3\r\nContent-Length: 3\r\n", "a=b"},
        {"Content-Length: 3, 3\r\n", "a=b"},
        {"Transfer-Encoding: chunked\r\n", "3;note=1\r\na=b\r\n0\r\n\r\n"},
        {"Transfer-Encoding: chunked\r\n", "a\r\na=b&c=defg\r\n0\r\n\r\n"},
    };
    // The site's own answer (it finds no captcha answer in "a=b"), not the server's refusal.
    std::string plain = ask("accepted", "Content-Length: 3\r\n", "a=b");
    ASSERT_NE(plain.find("Content-Type: text/html"), std::string::npos) << plain;
    for (const auto& [framing, body] : accepted) {
        std::string reply = ask("accepted", framing, body);
        EXPECT_EQ(status(reply), status(plain)) << framing << reply;
        EXPECT_NE(reply.find("Content-Type: text/html"), std::string::npos) << framing << reply;
    }
}

TEST(SiteBadInput, ADenseFormIsRefusedBeforeItsFieldsAreMade) {
    site();
    // 30 MB of empty fields, each of which would be a record of its own: about 140 bytes each.
    std::string fields;
    fields.reserve(30u * 1000 * 1000);
    while (fields.size() < 30u * 1000 * 1000)
        fields += "a&";
    const std::string request =
        "POST /recaptcha/api/noscript?k=key HTTP/1.1\r\nHost: verify.captchaservice.test\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
        std::to_string(fields.size()) + "\r\nConnection: close\r\n\r\n" + fields;
    const std::size_t body = fields.size();
    fields = std::string();
    standintest::HeapPeak peak;
    std::string reply = rawExchange(request);
    std::size_t grew = peak.stop();
    EXPECT_EQ(status(reply), "400") << reply.substr(0, 300);
    EXPECT_NE(rawBody(reply).find("The form could not be read."), std::string::npos)
        << rawBody(reply).substr(0, 300);
    // The body as it came in and the server's buffer, and little besides.
    EXPECT_LT(grew, 4 * body) << "the heap grew by " << grew / (1024 * 1024) << " MB";

    // A form of as many fields as a form may have is read.
    std::string most;
    for (std::size_t i = 0; i < standin::kMaxFormFields; ++i)
        most += "a=" + std::to_string(i) + "&";
    std::string read = rawExchange(
        "POST /recaptcha/api/noscript?k=key HTTP/1.1\r\nHost: verify.captchaservice.test\r\n"
        "Content-Type: application/x-www-form-urlencoded\r\nContent-Length: " +
        std::to_string(most.size()) + "\r\nConnection: close\r\n\r\n" + most);
    EXPECT_EQ(status(read), "200") << read.substr(0, 300);
}

TEST(SiteBadInput, RequestLinesWithMoreOrLessThanTwoSpacesAreRefusedAndLoggedAsSent) {
    site();
    takeLog();
    const std::vector<std::string> lines = {
        "GET X /spaced-method HTTP/1.1",
        "GET /spaced target HTTP/1.1",
        "G(T /odd-method HTTP/1.1",
        "GET  /double-space HTTP/1.1",
    };
    for (const auto& line : lines) {
        std::string reply =
            rawExchange(line + "\r\nHost: boston.bazaarnest.test\r\nConnection: close\r\n\r\n");
        EXPECT_EQ(reply.rfind("HTTP/1.1 400 Bad Request\r\n", 0), 0u) << line << reply;
        // Logged as it came, not as a method and a target guessed from it.
        auto logged = logLinesWith("\"" + line + "\"", 1);
        ASSERT_EQ(logged.size(), 1u) << line;
        EXPECT_NE(logged[0].find("\"" + line + "\" 400 "), std::string::npos) << logged[0];
    }
}

TEST(SiteBadInput, ControlBytesReachTheLogEscaped) {
    site();
    takeLog();
    const char raw[] = "/ctl\x01path\x1b[31m\x7f\"\\end";
    std::string target(raw, sizeof raw - 1);
    std::string reply = rawExchange("GET " + target +
                                    " HTTP/1.1\r\nHost: boston.bazaarnest.test\r\n"
                                    "Connection: close\r\n\r\n");
    // No such target is taken (it holds bytes outside the URI characters), but it is logged.
    EXPECT_EQ(status(reply), "400") << reply;
    auto logged = logLinesWith("/ctl", 1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("/ctl\\x01path\\x1b[31m\\x7f\\x22\\x5cend HTTP/1.1\" 400 "),
              std::string::npos)
        << logged[0];
    for (unsigned char c : logged[0])
        EXPECT_TRUE(c >= 0x20 && c != 0x7f) << int(c);

    // Also in a line the server could not read.
    const char unreadable[] = "GET /ctl2\x07 \x00 HTTP/1.1\r\n\r\n";
    rawExchange(std::string(unreadable, sizeof unreadable - 1));
    logged = logLinesWith("/ctl2", 1);
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("\"GET /ctl2\\x07 \\x00 HTTP/1.1\" 400 "), std::string::npos)
        << logged[0];
}

// ---- what the services server is tried with too (the two share their HTTP core) -------------

namespace {

standintest::HostileServer sharedSite() {
    return {site().port(), "boston.bazaarnest.test", "/", [] { return takeLog(); }};
}

// A site of its own with the limits a case sets.
class SiteHoldingPlaces : public testing::Test {
protected:
    void start(bnsite::SiteOptions options) {
        options.log = log.writer();
        own = std::make_unique<bnsite::Site>(options);
        ASSERT_TRUE(own->start());
    }
    void TearDown() override {
        if (own) own->stop();
    }
    standintest::HostileServer hostile() {
        return {own->port(), "boston.bazaarnest.test", "/", [this] { return log.take(); }};
    }

    standintest::RequestLog log;
    std::unique_ptr<bnsite::Site> own;
};

}  // namespace

TEST(SiteBadInput, RequestsOutsideTheGrammarAreRefused400) {
    standintest::expectStrictRequestParsing(sharedSite());
    standintest::expectHeadCapExact(sharedSite());
}

TEST(SiteBadInput, TheLogSaysWhatWasSent) {
    standintest::expectLogEscapesEveryNonAsciiByte(sharedSite());
    standintest::expectOverlongChunkLinesRefused(sharedSite());
}

TEST_F(SiteHoldingPlaces, SilentConnectionsAndStalledHandshakesLockNobodyOut) {
    start({});
    ASSERT_TRUE(own->offersTls());
    standintest::expectServedBesideIdleCrowd(hostile(), 300, 300);
}

TEST_F(SiteHoldingPlaces, NoDeadlineTakesAThreadOfItsOwn) {
    start({});
    standintest::expectOneThreadPerConnection(hostile());
}

TEST_F(SiteHoldingPlaces, ConnectionsThatSayNothingAreClosedSoon) {
    bnsite::SiteOptions options;
    options.limits.firstByteSeconds = 0.3;
    start(options);
    standintest::expectSilentConnectionsClosedSoon(hostile(), options.limits.firstByteSeconds);
}

TEST_F(SiteHoldingPlaces, KeptConnectionsGiveWayToNewcomers) {
    bnsite::SiteOptions options;
    options.limits.maxConnections = 2;
    options.limits.keptIdleSeconds = 0;
    start(options);
    standintest::expectKeptConnectionsBesideANewcomer(hostile(), true);
}

TEST_F(SiteHoldingPlaces, ConnectionsJustAnsweredAreNotClosedForNewcomers) {
    bnsite::SiteOptions options;
    options.limits.maxConnections = 2;
    options.limits.keptIdleSeconds = 600;
    start(options);
    standintest::expectKeptConnectionsBesideANewcomer(hostile(), false);
}

TEST_F(SiteHoldingPlaces, ClientsThatReadNothingLeaveRoom) {
    bnsite::SiteOptions options;
    options.limits.maxConnections = 4;
    options.limits.stalledSendSeconds = 0;
    start(options);
    standintest::expectNonReadersLeaveRoom(hostile(), 4, "/", 600);
}

TEST_F(SiteHoldingPlaces, AnAnswerReadTooSlowlyEndsAtTheWriteDeadline) {
    bnsite::SiteOptions options;
    options.limits.sendSeconds = 0.5;
    start(options);
    standintest::expectUnreadAnswerEndsByDeadline(hostile(), "/", 600, options.limits.sendSeconds);
}
