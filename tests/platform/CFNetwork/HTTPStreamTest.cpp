#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <map>
#include <set>
#include <thread>
#include <tuple>

#include "CFNetwork/CFNetwork.h"
#include "CFNetwork/HTTPConnection.h"
#include "CFNetwork/HostResolver.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "LoopbackServer.h"
#include "StreamTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

class HTTPStream : public testing::Test {
protected:
    void SetUp() override { cfnet::pool::clear(); }
    void TearDown() override { cfnet::pool::clear(); }

    static Ref<CFReadStream> keptStream(const std::string& url, NSObject* streamID = nullptr) {
        auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(url));
        CFReadStreamSetProperty(s, kCFStreamPropertyHTTPAttemptPersistentConnection,
                                kCFBooleanTrue);
        if (streamID) CFReadStreamSetProperty(s, NS("NKStreamID"), streamID);
        return s;
    }
    // Whether the stream's connection came out of the pool, as the stream reports it.
    static bool connectionReused(CFReadStream* s) {
        auto flag =
            as<NSNumber>(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPConnectionReused));
        EXPECT_TRUE(flag);
        return flag && flag->boolValue();
    }
};

// ---- framing -----------------------------------------------------------------------------------

TEST_F(HTTPStream, BodiesByLengthChunksAndClose) {
    LoopbackServer server([](ServerConnection& c) {
        SeenRequest r;
        if (!c.readRequest(r)) return;
        if (r.target == "/length") {
            c.send(okResponse("hello world"));
        } else if (r.target == "/chunked") {
            c.send(
                "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                "5;ext=1\r\nhello\r\n1\r\n \r\n5\r\nworld\r\n0\r\nTrailer: x\r\n\r\n");
        } else if (r.target == "/close") {
            c.send("HTTP/1.0 200 OK\r\n\r\nuntil the end");
            c.close();
        }
    });
    for (const char* path : {"/length", "/chunked", "/close"}) {
        SCOPED_TRACE(path);
        auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url(path)));
        StreamRun run = runStream(s);
        ASSERT_TRUE(run.ended) << text(run.error);
        EXPECT_EQ(run.body, std::string(path) == "/close" ? "until the end" : "hello world");
        ASSERT_TRUE(run.response);
        EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(run.response), 200);
        EXPECT_EQ(run.events.front(), kCFStreamEventOpenCompleted);
        EXPECT_EQ(run.events.back(), kCFStreamEventEndEncountered);
        EXPECT_EQ(CFReadStreamGetStatus(s), kCFStreamStatusAtEnd);
    }
}

TEST_F(HTTPStream, ResponsesWithoutBodies) {
    // Each announces a length (or nothing) but must be read as having no body; the server then
    // sends a second response that must not be mistaken for one.
    LoopbackServer server([](ServerConnection& c) {
        SeenRequest r;
        while (c.readRequest(r)) {
            if (r.target == "/head") c.send("HTTP/1.1 200 OK\r\nContent-Length: 50\r\n\r\n");
            if (r.target == "/204") c.send("HTTP/1.1 204 No Content\r\n\r\n");
            if (r.target == "/304")
                c.send("HTTP/1.1 304 Not Modified\r\nContent-Length: 9\r\n\r\n");
            if (r.target == "/continue")
                c.send("HTTP/1.1 100 Continue\r\n\r\n" + okResponse("after interim"));
        }
    });
    for (auto [path, method, status] :
         {std::tuple{"/head", "HEAD", 200}, {"/204", "GET", 204}, {"/304", "GET", 304}}) {
        SCOPED_TRACE(path);
        auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault,
                                                  request(server.url(path), method));
        StreamRun run = runStream(s);
        ASSERT_TRUE(run.ended) << text(run.error);
        EXPECT_EQ(run.body, "");
        EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(run.response), status);
        EXPECT_EQ(std::count(run.events.begin(), run.events.end(), kCFStreamEventHasBytesAvailable),
                  0);
    }
    auto s =
        CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url("/continue")));
    StreamRun run = runStream(s);
    EXPECT_EQ(run.body, "after interim");
    EXPECT_EQ(CFHTTPMessageGetResponseStatusCode(run.response), 200);
}

TEST_F(HTTPStream, LargeBodyArrivesWholeInSizedReads) {
    std::string big(3 * 1024 * 1024 + 17, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + i % 26);
    LoopbackServer server(answerAlways(okResponse(big)));
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url()));
    StreamRun run = runStream(s, 20);
    ASSERT_TRUE(run.ended);
    EXPECT_TRUE(run.body == big);
    // One read per event: the stream tells again while bytes wait.
    EXPECT_GE(std::count(run.events.begin(), run.events.end(), kCFStreamEventHasBytesAvailable),
              static_cast<long>(big.size() / run.readSize));
}

TEST_F(HTTPStream, MalformedAndTruncatedResponsesFail) {
    LoopbackServer server([](ServerConnection& c) {
        SeenRequest r;
        if (!c.readRequest(r)) return;
        if (r.target == "/short") c.send("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly this");
        if (r.target == "/badlength") c.send("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\n");
        if (r.target == "/badchunk")
            c.send("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\n");
        if (r.target == "/nothing") {
        }
        c.close();
    });
    auto fetch = [&](const char* path) {
        auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url(path)));
        StreamRun run = runStream(s);
        EXPECT_TRUE(run.failed) << path;
        EXPECT_EQ(CFReadStreamGetStatus(s), kCFStreamStatusError);
        return run.error;
    };
    // A connection lost before the response is whole is the "connection lost" error.
    EXPECT_TRUE(isNewConnectionError(fetch("/short")));
    EXPECT_TRUE(isNewConnectionError(fetch("/nothing")));
    auto bad = fetch("/badlength");
    EXPECT_EQ(text(bad->domain()), "kCFErrorDomainCFNetwork");
    EXPECT_EQ(bad->code(), kCFErrorHTTPParseFailure);
    EXPECT_EQ(fetch("/badchunk")->code(), kCFErrorHTTPParseFailure);
}

TEST_F(HTTPStream, RefusedConnectionUsesThePlatformErrno) {
    int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    socklen_t len = sizeof addr;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len);
    ::close(fd);  // nobody listens there now
    auto s = CFReadStreamCreateForHTTPRequest(
        kCFAllocatorDefault,
        request("http://127.0.0.1:" + std::to_string(ntohs(addr.sin_port)) + "/"));
    StreamRun run = runStream(s);
    ASSERT_TRUE(run.failed);
    EXPECT_EQ(text(run.error->domain()), "NSPOSIXErrorDomain");
    EXPECT_EQ(run.error->code(), 61);  // the platform's ECONNREFUSED, not Linux's 111
    EXPECT_EQ(CFNetworkPlatformErrno(ECONNRESET), 54);
    EXPECT_EQ(CFNetworkPlatformErrno(ENOTCONN), 57);
    EXPECT_EQ(CFNetworkPlatformErrno(EPIPE), 32);
}

// ---- requests --------------------------------------------------------------------------------

TEST_F(HTTPStream, StreamsNeedARequestWithAnHTTPURL) {
    EXPECT_FALSE(CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, nullptr));
    auto ftp = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request("ftp://h.test/f"));
    ASSERT_TRUE(ftp);
    EXPECT_FALSE(CFReadStreamOpen(ftp));
    EXPECT_EQ(CFReadStreamGetStatus(ftp), kCFStreamStatusError);
    EXPECT_EQ(CFReadStreamCopyError(ftp)->code(), kCFErrorHTTPBadURL);
}

TEST_F(HTTPStream, RequestHeadAndBody) {
    SeenRequest seen;
    LoopbackServer server([&](ServerConnection& c) {
        if (c.readRequest(seen)) c.send(okResponse("ok"));
    });
    auto m = CFHTTPMessageCreateRequest(kCFAllocatorDefault, NS("PUT"),
                                        NSURL::URLWithString(str(server.url("/p/a%20th?q=1#f"))),
                                        kCFHTTPVersion1_1);
    CFHTTPMessageSetHeaderFieldValue(m, NS("X-Test"), NS("yes"));
    CFHTTPMessageSetBody(m, NSData::dataWithBytes("0123456789", 10));
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, m);
    // Nothing has gone out before the stream opens.
    EXPECT_FALSE(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPFinalRequest));
    StreamRun run = runStream(s);
    ASSERT_TRUE(run.ended);
    EXPECT_EQ(seen.method, "PUT");
    EXPECT_EQ(seen.target, "/p/a%20th?q=1");
    EXPECT_EQ(seen.header("Host"), "127.0.0.1:" + std::to_string(server.port()));
    EXPECT_EQ(seen.header("X-Test"), "yes");
    EXPECT_EQ(seen.header("Content-Length"), "10");
    EXPECT_EQ(seen.body, "0123456789");
    auto written =
        as<NSNumber>(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPRequestBytesWrittenCount));
    EXPECT_EQ(written->unsignedLongLongValue(), 10u);
    // Any other key is stored and read back.
    EXPECT_TRUE(CFReadStreamSetProperty(s, NS("MyKey"), NS("v")));
    EXPECT_EQ(text(CFReadStreamCopyProperty(s, NS("MyKey"))), "v");
    EXPECT_FALSE(CFReadStreamSetProperty(s, kCFStreamPropertyHTTPResponseHeader, NS("x")));
    // The request as sent: the fields the stream added in the order they went out, no body.
    auto sent = as<CFHTTPMessage>(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPFinalRequest));
    ASSERT_TRUE(sent);
    EXPECT_EQ(text(CFHTTPMessageCopyRequestMethod(sent)), "PUT");
    ASSERT_EQ(sent->fields.size(), 3u);
    EXPECT_EQ(sent->fields[0].name, "Host");
    EXPECT_EQ(sent->fields[0].value, seen.header("Host"));
    EXPECT_EQ(sent->fields[1].name, "X-Test");
    EXPECT_EQ(sent->fields[2].name, "Content-Length");
    EXPECT_EQ(sent->fields[2].value, "10");
    EXPECT_FALSE(CFHTTPMessageCopyBody(sent));
    // The message the stream was made from is not changed by the sending.
    EXPECT_FALSE(CFHTTPMessageCopyHeaderFieldValue(m, NS("Host")));
    EXPECT_FALSE(CFHTTPMessageCopyHeaderFieldValue(m, NS("Content-Length")));
}

TEST_F(HTTPStream, StreamedBodyIsPulledAndCounted) {
    // Beyond what the sockets between the two ends hold while the server reads nothing: what the
    // server sends before it reads has been read by the client before the body ends.
    std::string body(16u << 20, 'x');
    for (size_t i = 0; i < body.size(); i += 4096)
        body[i] = static_cast<char>('0' + (i / 4096) % 10);
    SeenRequest withLength, chunked;
    std::atomic<const char*> first{""};
    LoopbackServer server([&](ServerConnection& c) {
        c.send(first.load());
        c.waitUntilReceived();
        SeenRequest r;
        if (!c.readRequest(r, 10)) return;
        (r.chunked ? chunked : withLength) = r;
        c.send(okResponse("got it"));
    });
    // Declared, not declared, declared a byte longer than the stream, and that after interim
    // responses, which answer nothing.
    for (auto [announce, past, interim] :
         {std::tuple{true, 0, ""},
          {false, 0, ""},
          {true, 1, ""},
          {true, 1,
           "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 103 Early Hints\r\nLink: </a>\r\n\r\n"}}) {
        SCOPED_TRACE(std::to_string(announce) + " " + std::to_string(past) + " " + interim);
        first = interim;
        auto m = request(server.url("/upload"), "POST");
        if (announce)
            CFHTTPMessageSetHeaderFieldValue(m, NS("Content-Length"),
                                             str(std::to_string(body.size() + past)));
        auto input = NSInputStream::inputStreamWithData(
            NSData::dataWithBytes(body.data(), static_cast<NSUInteger>(body.size())));
        auto s = CFReadStreamCreateForStreamedHTTPRequest(kCFAllocatorDefault, m, input);
        StreamRun run = runStream(s, 10);
        if (past) {  // fails at once, not when the server tires of waiting for the rest
            ASSERT_TRUE(run.failed);
            EXPECT_EQ(run.error->code(), kCFURLErrorRequestBodyStreamExhausted);
            EXPECT_EQ(input->streamStatus(), NSStreamStatusClosed);
            continue;
        }
        ASSERT_TRUE(run.ended) << text(run.error);
        EXPECT_EQ(run.body, "got it");
        // The count is body bytes only, never shrinks, and ends at the body's length.
        EXPECT_TRUE(std::is_sorted(run.written.begin(), run.written.end()));
        auto written = as<NSNumber>(
            CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPRequestBytesWrittenCount));
        EXPECT_EQ(written->unsignedLongLongValue(), body.size());
        // The body stream was opened and read to its end by the HTTP stream, then closed.
        EXPECT_EQ(input->streamStatus(), NSStreamStatusClosed);
        // The request as sent says how its body was framed.
        auto sent =
            as<CFHTTPMessage>(CFReadStreamCopyProperty(s, kCFStreamPropertyHTTPFinalRequest));
        ASSERT_TRUE(sent);
        auto framing = [&](const char* name) {
            auto value = CFHTTPMessageCopyHeaderFieldValue(sent, str(name));
            return value ? text(value) : std::string("none");
        };
        EXPECT_EQ(framing("Transfer-Encoding"), announce ? "none" : "chunked");
        EXPECT_EQ(framing("Content-Length"), announce ? std::to_string(body.size()) : "none");
    }
    EXPECT_TRUE(withLength.body == body);
    EXPECT_FALSE(withLength.chunked);
    // Without a length the body goes in chunks.
    EXPECT_TRUE(chunked.body == body);
    EXPECT_EQ(chunked.header("Transfer-Encoding"), "chunked");
}

// ---- kept connections ------------------------------------------------------------------------

TEST_F(HTTPStream, KeptConnectionsAreSharedByTheirProperties) {
    LoopbackServer server(answerAlways(okResponse("same")));
    auto id1 = NSNumber::numberWithInt(1);
    auto id2 = NSNumber::numberWithInt(2);
    auto first = keptStream(server.url("/1"), id1);
    EXPECT_EQ(runStream(first).body, "same");
    auto second = keptStream(server.url("/2"), id1);
    EXPECT_EQ(runStream(second).body, "same");
    EXPECT_EQ(server.accepted(), 1);
    EXPECT_FALSE(connectionReused(first));
    EXPECT_TRUE(connectionReused(second));
    // Another stream id never shares it.
    auto third = keptStream(server.url("/3"), id2);
    EXPECT_EQ(runStream(third).body, "same");
    EXPECT_FALSE(connectionReused(third));
    EXPECT_EQ(server.accepted(), 2);
    // Nor does a stream that does not ask to keep connections.
    auto plain = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url("/4")));
    EXPECT_EQ(runStream(plain).body, "same");
    EXPECT_EQ(server.accepted(), 3);
    // Closing the stream that left a connection idle ends that connection.
    EXPECT_EQ(cfnet::pool::idleCount(), 2u);
    CFReadStreamClose(third);
    EXPECT_EQ(cfnet::pool::idleCount(), 1u);
    auto fourth = keptStream(server.url("/5"), id1);
    EXPECT_EQ(runStream(fourth).body, "same");
    EXPECT_EQ(server.accepted(), 3);
}

TEST_F(HTTPStream, PropertiesTheStreamReadsItselfDoNotSplitKeptConnections) {
    LoopbackServer server(answerAlways(okResponse("same")));
    auto withProperty = [&](NSString* name, int value) {
        auto s = keptStream(server.url("/"));
        CFReadStreamSetProperty(s, name, NSNumber::numberWithInt(value));
        return s;
    };
    // A "kCF" name or a proxy dictionary key is the stream's own: any value shares. Any other
    // name, even one that starts like those, keeps connections apart by its value; the same
    // name and value in a string stored in its own allocation still match.
    const std::pair<NSString*, bool> names[] = {{NS("kCFStreamPropertySomethingNew"), true},
                                                {NS("HTTPSPort"), true},
                                                {NS("SOCKSEnable"), true},
                                                {NS("HTTPSPortX"), false},
                                                {NS("kC"), false},
                                                {NS("SOCKS"), false}};
    for (const auto& [name, streamsOwn] : names) {
        SCOPED_TRACE(name->utf8());
        cfnet::pool::clear();
        int before = server.accepted();
        EXPECT_EQ(runStream(withProperty(name, 1)).body, "same");
        EXPECT_EQ(runStream(withProperty(name, 2)).body, "same");
        int opened = streamsOwn ? 1 : 2;
        EXPECT_EQ(server.accepted(), before + opened);
        Ref<NSString> compact = NSString::compactStringWithUTF8(name->utf8());
        EXPECT_EQ(runStream(withProperty(compact, 2)).body, "same");
        EXPECT_EQ(server.accepted(), before + opened);
    }
}

// The key a stream builds against what it stands for: two keys are equal exactly when the
// places, proxies, TLS settings and properties are (host names compared without case).
TEST(PoolKey, EqualExactlyWhenTheConnectionWouldServe) {
    using Custom = std::vector<std::pair<std::string, std::string>>;
    std::vector<cfnet::TLSOptions> tlsVariants(10);
    tlsVariants[1].validateChain = false;
    tlsVariants[2].checkName = false;
    tlsVariants[3].allowExpired = true;
    tlsVariants[4].allowExpiredRoots = true;
    tlsVariants[5].allowAnyRoot = true;
    tlsVariants[6].peerName = "other.test";
    tlsVariants[7].clientPEMs = {"identity a"};
    tlsVariants[8].clientPEMs = {"identity b"};
    tlsVariants[9].clientPEMs = {"identity a", "chain"};
    const std::vector<Custom> customs = {
        {}, {{"NKStreamID", "1"}}, {{"NKStreamID", "2"}}, {{"A", "1"}, {"NKStreamID", "1"}}};
    struct Proxy {
        int kind;
        std::string host;
        int port;
    };
    const std::vector<Proxy> proxies = {{0, "", 0},          {1, "p.test", 3128},
                                        {1, "P.TEST", 3128}, {1, "p.test", 8080},
                                        {1, "q.test", 3128}, {3, "p.test", 3128}};

    auto lower = [](std::string s) {
        for (char& c : s)
            c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        return s;
    };
    using Meaning = std::tuple<std::string, std::string, int, int, std::string, int, int, size_t>;
    std::map<std::string, Meaning> seen;
    std::set<Meaning> meanings;
    std::string key = "left over from an earlier stream, longer than any key built here";
    for (std::string scheme : {"http", "https"}) {
        for (std::string host : {"a.test", "A.Test", "b.test"}) {
            for (int port : {80, 8080}) {
                for (size_t p = 0; p < proxies.size(); ++p) {
                    int tlsCount = scheme == "https" ? static_cast<int>(tlsVariants.size()) : 1;
                    for (int t = 0; t < tlsCount; ++t) {
                        for (size_t c = 0; c < customs.size(); ++c) {
                            cfnet::PoolKeyParts parts;
                            parts.scheme = scheme;
                            parts.host = host;
                            parts.port = port;
                            parts.proxyKind = proxies[p].kind;
                            parts.proxyHost = proxies[p].host;
                            parts.proxyPort = proxies[p].port;
                            if (scheme == "https") parts.tls = &tlsVariants[static_cast<size_t>(t)];
                            parts.custom = customs[c];
                            cfnet::buildPoolKey(parts, key);
                            Meaning meaning{scheme,
                                            lower(host),
                                            port,
                                            proxies[p].kind,
                                            lower(proxies[p].host),
                                            proxies[p].port,
                                            scheme == "https" ? t : -1,
                                            c};
                            auto [it, added] = seen.emplace(key, meaning);
                            EXPECT_EQ(it->second, meaning) << key;
                            meanings.insert(meaning);
                        }
                    }
                }
            }
        }
    }
    // As many keys as meanings: nothing that differs shares a key.
    EXPECT_EQ(seen.size(), meanings.size());
}

TEST_F(HTTPStream, AKeptConnectionSendsTheRequestAsTheStreamOpens) {
    std::atomic<int> seen{0};
    LoopbackServer server([&seen](ServerConnection& c) {
        SeenRequest r;
        while (c.readRequest(r)) {
            ++seen;
            c.send(okResponse("kept"));
        }
    });
    EXPECT_EQ(runStream(keptStream(server.url("/1"))).body, "kept");
    auto second = keptStream(server.url("/2"));
    ASSERT_TRUE(CFReadStreamOpen(second));
    // Nothing has run since the open, no loop and no read: the request went out with it.
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (seen.load() < 2 && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    EXPECT_EQ(seen.load(), 2);
    EXPECT_EQ(server.accepted(), 1);
    // The answer is read as on any other connection.
    std::string body;
    uint8_t buffer[64];
    for (CFIndex n; (n = CFReadStreamRead(second, buffer, sizeof buffer)) > 0;)
        body.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    EXPECT_EQ(body, "kept");
    EXPECT_EQ(CFReadStreamGetStatus(second), kCFStreamStatusAtEnd);
}

TEST_F(HTTPStream, ConnectionsThatMayNotBeKept) {
    for (std::string response :
         {"HTTP/1.1 200 OK\r\nConnection: close\r\nContent-Length: 2\r\n\r\nno",
          "HTTP/1.0 200 OK\r\nContent-Length: 2\r\n\r\nno", "HTTP/1.1 200 OK\r\n\r\nno"}) {
        LoopbackServer server([response](ServerConnection& c) {
            SeenRequest r;
            if (c.readRequest(r)) c.send(response);
            if (response.find("Length") == std::string::npos) c.close();
            c.waitForClose(2);
        });
        EXPECT_EQ(runStream(keptStream(server.url())).body, "no");
        EXPECT_EQ(runStream(keptStream(server.url())).body, "no");
        EXPECT_EQ(server.accepted(), 2);
    }
    // HTTP/1.0 with keep-alive may be kept.
    LoopbackServer server(
        answerAlways("HTTP/1.0 200 OK\r\nConnection: keep-alive\r\nContent-Length: 3\r\n\r\nyes"));
    EXPECT_EQ(runStream(keptStream(server.url())).body, "yes");
    EXPECT_EQ(runStream(keptStream(server.url())).body, "yes");
    EXPECT_EQ(server.accepted(), 1);
}

namespace {

// Spins until the flag is up, for at most five seconds; false when it never came.
bool waitForFlag(const std::atomic<bool>& flag) {
    auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!flag.load() && std::chrono::steady_clock::now() < limit)
        std::this_thread::yield();
    return flag.load();
}

}  // namespace

TEST_F(HTTPStream, AKeptConnectionTheServerClosedOrWroteToIsPassedOver) {
    // The first request is answered; then, while its connection waits in the pool, the server
    // closes it, sends a 408 and closes it, or sends bytes nobody asked for. The next request
    // goes out once, on a new connection, and succeeds.
    struct Case {
        bool tls;
        std::string after;
        bool closes;
    };
    const std::string timeout =
        "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
    TestCertificate cert{{"localhost"}};
    auto relaxed =
        NSDictionary::dictionaryWithPairs({{kCFStreamSSLValidatesCertificateChain, kCFBooleanFalse},
                                           {kCFStreamSSLPeerName, kCFNull}});
    for (const Case& c :
         {Case{false, "", true}, Case{false, timeout, true}, Case{false, "stray", false},
          Case{true, "", true}, Case{true, timeout, true}, Case{true, "stray", false}}) {
        SCOPED_TRACE((c.tls ? "https " : "http ") + c.after);
        cfnet::pool::clear();
        std::atomic<int> connections{0}, requests{0};
        std::atomic<bool> idle{false}, done{false};
        LoopbackServer server(
            [&](ServerConnection& link) {
                bool first = ++connections == 1;
                SeenRequest r;
                while (link.readRequest(r)) {
                    ++requests;
                    link.send(okResponse(first ? "first" : "second"));
                    if (!first) continue;
                    waitForFlag(idle);
                    if (!c.after.empty()) link.send(c.after);
                    if (c.closes) link.close();
                    link.waitUntilReceived();
                    done = true;
                    if (!c.closes) link.waitForClose();
                    return;
                }
            },
            c.tls ? &cert : nullptr);
        auto kept = [&] {
            auto s = keptStream(server.url("/", "localhost"));
            if (c.tls) CFReadStreamSetProperty(s, kCFStreamPropertySSLSettings, relaxed);
            return s;
        };
        EXPECT_EQ(runStream(kept()).body, "first");
        EXPECT_EQ(cfnet::pool::idleCount(), 1u);
        idle = true;
        ASSERT_TRUE(waitForFlag(done));
        auto next = kept();
        StreamRun run = runStream(next);
        EXPECT_TRUE(run.ended) << text(run.error);
        EXPECT_EQ(run.body, "second");
        EXPECT_FALSE(connectionReused(next));
        EXPECT_EQ(server.accepted(), 2);
        EXPECT_EQ(requests.load(), 2);
        // The dead connection is gone; the new one waits.
        EXPECT_EQ(cfnet::pool::idleCount(), 1u);
        cfnet::pool::clear();
    }
}

TEST_F(HTTPStream, ARequestLostWithItsConnectionMayGoAgainOnlyIfTheServerCannotHaveActedOnIt) {
    // The server reads the request (whole, or only its first bytes before a reset) on a
    // connection of its own or on a kept one after answering a first request, sends a part of
    // an answer or nothing, and closes.
    const std::vector<std::pair<const char*, std::string>> cuts = {
        {"before the answer", ""},
        {"in the status line", "HTTP/1.1 2"},
        {"in the head", "HTTP/1.1 200 OK\r\nContent-Le"},
        {"in the body", "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabc"}};
    // Beyond what the sockets between the two ends hold while the server reads nothing: the
    // server never has it whole.
    const std::string bigText(16u << 20, 'b');
    const Ref<NSData> big = NSData::dataWithBytes(bigText.data(), bigText.size());
    const Ref<NSData> small = NSData::dataWithBytes("sessions=3", 10);
    const std::set<std::string> idempotent = {"GET", "HEAD", "OPTIONS", "TRACE", "PUT", "DELETE"};
    for (std::string method :
         {"GET", "HEAD", "OPTIONS", "TRACE", "PUT", "DELETE", "POST", "PATCH"}) {
        for (size_t cut = 0; cut < cuts.size(); ++cut) {
            // A HEAD answer has no body to cut.
            if (method == "HEAD" && cut == 3) continue;
            for (bool reused : {false, true}) {
                for (auto row :
                     {std::pair<bool, size_t>{true, 0}, {false, 0}, {true, 10}, {true, 3u << 20}}) {
                    const bool whole = row.first;
                    const size_t streamed = row.second;  // the body's declared length, or 0
                    // A server answers a request it has not read whole only to refuse it.
                    if ((!whole || streamed) && cut != 0) continue;
                    const std::string& answer = cuts[cut].second;
                    SCOPED_TRACE(method + " cut " + cuts[cut].first +
                                 (reused ? ", kept connection" : ", own connection") +
                                 (whole ? ", sent whole" : ", not sent whole") +
                                 (streamed ? ", streamed " + std::to_string(streamed) : ""));
                    cfnet::pool::clear();
                    LoopbackServer server([&](ServerConnection& c) {
                        SeenRequest r;
                        if (reused) {
                            if (!c.readRequest(r)) return;
                            c.send(okResponse("first"));
                        }
                        if (!whole) {
                            c.readSome();
                            c.reset();
                            return;
                        }
                        if (c.readRequest(r)) c.send(answer);
                        streamed ? c.reset() : c.close();  // reset the moment it has the body
                    });
                    if (reused) {
                        EXPECT_EQ(runStream(keptStream(server.url())).body, "first");
                    }
                    auto message = request(server.url(), method.c_str());
                    CFHTTPMessageSetBody(message, whole ? small : big);
                    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, message);
                    if (streamed) {  // from a stream that never ends
                        auto length = NSString::fromUTF8(std::to_string(streamed));
                        CFHTTPMessageSetHeaderFieldValue(message, NS("Content-Length"), length);
                        auto zero = NSInputStream::inputStreamWithFileAtPath(NS("/dev/zero"));
                        s = CFReadStreamCreateForStreamedHTTPRequest(kCFAllocatorDefault, message,
                                                                     zero);
                    }
                    CFReadStreamSetProperty(s, kCFStreamPropertyHTTPAttemptPersistentConnection,
                                            kCFBooleanTrue);
                    StreamRun run = runStream(s, 20);
                    ASSERT_TRUE(run.failed);
                    EXPECT_TRUE(isNewConnectionError(run.error)) << text(run.error);
                    // Still told after the failure, and nobody can say otherwise.
                    EXPECT_EQ(connectionReused(s), reused);
                    EXPECT_FALSE(
                        CFReadStreamSetProperty(s, kCFStreamPropertyHTTPConnectionReused,
                                                reused ? kCFBooleanFalse : kCFBooleanTrue));
                    EXPECT_EQ(connectionReused(s), reused);
                    EXPECT_EQ(server.accepted(), 1);
                    bool again = reused && cut == 0 && (idempotent.count(method) || !whole);
                    EXPECT_EQ(CFHTTPReadStreamMaySendAgain(s, run.error), again);
                    // Another error is never the lost connection's.
                    auto parse = NSError::errorWithDomain(kCFErrorDomainCFNetwork,
                                                          kCFErrorHTTPParseFailure, nullptr);
                    EXPECT_FALSE(CFHTTPReadStreamMaySendAgain(s, parse));
                }
            }
        }
    }
}

// ---- run loops, threads and modes ------------------------------------------------------------

TEST_F(HTTPStream, EventsComeOnlyInTheScheduledMode) {
    LoopbackServer server(answerAlways("HTTP/1.1 204 No Content\r\n\r\n"));
    NSString* mode = NS("CFNetworkTestMode");
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url()));
    StreamRun run;
    CFStreamClientContext context{0, &run, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(
        s, kCFStreamEventEndEncountered | kCFStreamEventErrorOccurred,
        [](CFReadStreamRef, CFStreamEventType type, void* info) {
            static_cast<StreamRun*>(info)->events.push_back(type);
        },
        &context);
    CFReadStreamScheduleWithRunLoop(s, CFRunLoopGetCurrent(), mode);
    ASSERT_TRUE(CFReadStreamOpen(s));
    // Keep the default mode busy with something to serve; the stream must not answer there.
    auto keepAlive = RunLoopSource::sourceWithHandler([] {});
    NSRunLoop::currentRunLoop()->addSource(keepAlive, NSDefaultRunLoopMode);
    EXPECT_FALSE(runLoopUntil([&] { return !run.events.empty(); }, 0.3));
    NSRunLoop::currentRunLoop()->removeSource(keepAlive, NSDefaultRunLoopMode);
    EXPECT_TRUE(runLoopUntil([&] { return !run.events.empty(); }, 5, mode));
    // Only the events the client asked for.
    EXPECT_EQ(run.events, std::vector<CFStreamEventType>{kCFStreamEventEndEncountered});
    CFReadStreamSetClient(s, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(s, CFRunLoopGetCurrent(), mode);
}

TEST_F(HTTPStream, ScheduledOnAnotherThreadsLoop) {
    LoopbackServer server(answerAlways(okResponse("elsewhere")));
    std::atomic<bool> done{false};
    std::atomic<bool> onWorker{true};
    std::string body;
    auto worker = NSThread::detachNewThreadWithBlock([&] {
        auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault, request(server.url()));
        Ref<NSThread> me = NSThread::currentThread();
        StreamRun run = runStream(s);
        onWorker = !NSThread::isMainThread();
        body = run.body;
        done = true;
    });
    EXPECT_TRUE(runLoopUntil([&] { return done.load(); }, 10));
    worker->waitUntilFinished();
    EXPECT_EQ(body, "elsewhere");
    EXPECT_TRUE(onWorker);
}

TEST_F(HTTPStream, UnscheduledStreamsReadByBlocking) {
    LoopbackServer server(answerAlways(okResponse("blocking read")));
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault,
                                              request(server.url("/", "localhost")));
    ASSERT_TRUE(CFReadStreamOpen(s));
    std::string body;
    uint8_t buffer[4];
    CFIndex n;
    while ((n = CFReadStreamRead(s, buffer, sizeof buffer)) > 0)
        body.append(reinterpret_cast<char*>(buffer), static_cast<size_t>(n));
    EXPECT_EQ(n, 0);
    EXPECT_EQ(body, "blocking read");
    CFReadStreamClose(s);
    EXPECT_EQ(CFReadStreamRead(s, buffer, sizeof buffer), -1);
}

TEST_F(HTTPStream, SlowNameLookupDoesNotHoldTheLoop) {
    LoopbackServer server(answerAlways(okResponse("resolved")));
    cfnet::setLookupDelayForTesting(0.4);
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault,
                                              request(server.url("/", "localhost")));
    StreamRun run;
    bool performed = false;
    bool performedBeforeOpen = false;
    CFStreamClientContext context{0, &run, nullptr, nullptr, nullptr};
    CFReadStreamSetClient(
        s,
        kCFStreamEventOpenCompleted | kCFStreamEventEndEncountered | kCFStreamEventErrorOccurred |
            kCFStreamEventHasBytesAvailable,
        [](CFReadStreamRef st, CFStreamEventType type, void* info) {
            auto* r = static_cast<StreamRun*>(info);
            r->events.push_back(type);
            uint8_t b[64];
            if (type == kCFStreamEventHasBytesAvailable) {
                CFIndex n = CFReadStreamRead(st, b, sizeof b);
                r->body.append(reinterpret_cast<char*>(b), static_cast<size_t>(n));
            }
            r->ended = type == kCFStreamEventEndEncountered;
            r->failed = type == kCFStreamEventErrorOccurred;
        },
        &context);
    CFReadStreamScheduleWithRunLoop(s, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
    auto start = std::chrono::steady_clock::now();
    ASSERT_TRUE(CFReadStreamOpen(s));
    EXPECT_LT(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(), 0.2);
    NSRunLoop::currentRunLoop()->performBlock([&] {
        performed = true;
        performedBeforeOpen = run.events.empty();
    });
    EXPECT_TRUE(runLoopUntil([&] { return run.done(); }, 5));
    cfnet::setLookupDelayForTesting(0);
    EXPECT_TRUE(performed);
    EXPECT_TRUE(performedBeforeOpen);
    EXPECT_EQ(run.body, "resolved");
    CFReadStreamSetClient(s, 0, nullptr, nullptr);
    CFReadStreamUnscheduleFromRunLoop(s, CFRunLoopGetCurrent(), kCFRunLoopDefaultMode);
}

// ---- the host override -----------------------------------------------------------------------

TEST_F(HTTPStream, HostOverrideSendsNamesToLocalServers) {
    SeenRequest seen;
    LoopbackServer server([&](ServerConnection& c) {
        if (c.readRequest(seen)) c.send(okResponse("overridden"));
    });
    std::string map =
        "other.test=127.0.0.1:1, *.bazaarnest.test=127.0.0.1:" + std::to_string(server.port());
    ::setenv("BAZAARNEST_HOSTS", map.c_str(), 1);
    auto s = CFReadStreamCreateForHTTPRequest(kCFAllocatorDefault,
                                              request("http://www.bazaarnest.test/page"));
    StreamRun run = runStream(s);
    ::unsetenv("BAZAARNEST_HOSTS");
    EXPECT_EQ(run.body, "overridden") << text(run.error);
    EXPECT_EQ(seen.header("Host"), "www.bazaarnest.test");
    EXPECT_EQ(seen.target, "/page");

    EXPECT_TRUE(cfnet::hostPatternMatches("*.bazaarnest.test", "a.b.BAZAARNEST.test"));
    EXPECT_FALSE(cfnet::hostPatternMatches("*.bazaarnest.test", "bazaarnest.test"));
    EXPECT_TRUE(cfnet::hostPatternMatches("api*.test", "api-2.test"));
    EXPECT_FALSE(cfnet::hostPatternMatches("api*.test", "www.test"));
}

}  // namespace
