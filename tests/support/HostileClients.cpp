#include "support/HostileClients.h"

#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
#include <thread>

#include "support/RunLoopTesting.h"
#include "support/StandInTesting.h"

namespace standintest {

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start) {
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// One request on a connection of its own; everything the server sent until it closed.
std::string askRaw(int port, const std::string& bytes) {
    RawClient client(port);
    EXPECT_TRUE(client.connected());
    client.send(bytes);
    return client.readToEnd();
}

std::string bodyOf(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? std::string() : reply.substr(end + 4);
}

// The threads of this process (the server runs in it).
std::size_t threadCount() {
    std::ifstream status("/proc/self/status");
    std::string name;
    std::size_t count = 0;
    while (status >> name) {
        if (name == "Threads:") {
            status >> count;
            break;
        }
    }
    return count;
}

std::string getRequest(const HostileServer& server, const std::string& extra = {}) {
    return "GET " + server.path + " HTTP/1.1\r\nHost: " + server.host + "\r\n" + extra +
           "Connection: close\r\n\r\n";
}

}  // namespace

std::vector<std::string> logLinesWith(const HostileServer& server, const std::string& marker,
                                      std::size_t count) {
    std::vector<std::string> mine;
    runLoopUntil([&] {
        for (const auto& line : server.takeLog()) {
            if (line.find(marker) != std::string::npos) mine.push_back(line);
        }
        return mine.size() >= count;
    });
    return mine;
}

std::string tlsExchange(int port, const std::string& serverName, const std::string& bytes) {
    RawClient client(port);
    // A server that never answers fails the test rather than holding it.
    timeval wait{30, 0};
    ::setsockopt(client.fd(), SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    SSL* ssl = SSL_new(context);
    SSL_set_fd(ssl, client.fd());
    SSL_set_tlsext_host_name(ssl, serverName.c_str());
    std::string out;
    bool sent = client.connected() && SSL_connect(ssl) == 1;
    for (std::size_t at = 0; sent && at < bytes.size();) {
        int n = SSL_write(ssl, bytes.data() + at, static_cast<int>(bytes.size() - at));
        sent = n > 0;
        at += sent ? static_cast<std::size_t>(n) : 0;
    }
    EXPECT_TRUE(sent);
    char buffer[16384];
    for (int n; sent && (n = SSL_read(ssl, buffer, sizeof buffer)) > 0;)
        out.append(buffer, static_cast<std::size_t>(n));
    SSL_free(ssl);
    SSL_CTX_free(context);
    return out;
}

std::size_t raiseDescriptorLimit(std::size_t wanted) {
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0) return 0;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min<rlim_t>(wanted, limit.rlim_max);
        ::setrlimit(RLIMIT_NOFILE, &limit);
        ::getrlimit(RLIMIT_NOFILE, &limit);
    }
    return static_cast<std::size_t>(limit.rlim_cur);
}

// ---- the idle crowd ---------------------------------------------------------------------------

IdleCrowd::IdleCrowd(int port, std::size_t silent, std::size_t stalled) {
    auto connect = [&]() -> int {
        auto client = std::make_unique<RawClient>(port);
        if (!client->connected()) return -1;
        clients_.push_back(std::move(client));
        return clients_.back()->fd();
    };
    for (std::size_t i = 0; i < silent; ++i) {
        int fd = connect();
        if (fd >= 0) fds_.push_back(fd);
    }
    SSL_CTX* context = SSL_CTX_new(TLS_client_method());
    context_ = context;
    for (std::size_t i = 0; i < stalled; ++i) {
        int fd = connect();
        if (fd < 0) continue;
        // Sends the ClientHello and stops there, waiting for an answer it never reads. The
        // handshake runs on memory: on the socket it would go on, and finish, whenever the
        // server answered within the call.
        SSL* ssl = SSL_new(context);
        SSL_set_bio(ssl, BIO_new(BIO_s_mem()), BIO_new(BIO_s_mem()));
        SSL_connect(ssl);
        char* hello = nullptr;
        long length = BIO_get_mem_data(SSL_get_wbio(ssl), &hello);
        EXPECT_EQ(::send(fd, hello, static_cast<std::size_t>(length), MSG_NOSIGNAL), length);
        fds_.push_back(fd);
        tls_.push_back(ssl);
    }
}

IdleCrowd::~IdleCrowd() {
    for (void* ssl : tls_)
        SSL_free(static_cast<SSL*>(ssl));
    SSL_CTX_free(static_cast<SSL_CTX*>(context_));
}

std::size_t IdleCrowd::closedWithin(double realSeconds) {
    auto start = Clock::now();
    std::vector<bool> closed(fds_.size(), false);
    std::size_t count = 0;
    char scrap[16384];
    while (count < fds_.size()) {
        double left = realSeconds - secondsSince(start);
        if (left <= 0) break;
        std::vector<pollfd> watched;
        std::vector<std::size_t> which;
        for (std::size_t i = 0; i < fds_.size(); ++i) {
            if (closed[i]) continue;
            watched.push_back({fds_[i], POLLIN, 0});
            which.push_back(i);
        }
        int ready = ::poll(watched.data(), watched.size(), static_cast<int>(left * 1000) + 1);
        if (ready <= 0) continue;
        for (std::size_t k = 0; k < watched.size(); ++k) {
            if (!watched[k].revents) continue;
            // What a TLS server says before it waits is read and dropped; the end of the
            // stream (or a reset) is what counts.
            ssize_t n = ::recv(watched[k].fd, scrap, sizeof scrap, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) {
                closed[which[k]] = true;
                ++count;
            }
        }
    }
    return count;
}

// ---- parsing ----------------------------------------------------------------------------------

void expectStrictRequestParsing(const HostileServer& server) {
    using namespace std::string_literals;
    const std::string host = "Host: " + server.host + "\r\n";
    const std::string end = "Connection: close\r\n\r\n";
    auto line = [&](const std::string& method, const std::string& target) {
        return method + " " + target + " HTTP/1.1\r\n";
    };
    struct Case {
        std::string bytes;
        std::string reason;
    };
    const std::string target = "malformed request target";
    std::vector<Case> refused;
    // Bytes outside the URI characters.
    for (const std::string& bad : {"/t\0x"s, "/t\x1b[31m"s, "/t\x7f"s, "/t\bx"s, "/t\tx"s, "/t\rx"s,
                                   "/t\nx"s, "/t\x9b"s, "/t\xc3\xa9"s, "/t<b>"s, "/t\"x"s, "/t{x}"s,
                                   "/t|x"s, "/t^x"s, "/t`x"s, "/t\\x"s, "/t#fragment"s})
        refused.push_back({line("GET", bad) + host + end, target});
    // Targets of no form the method takes.
    refused.push_back({line("GET", "t/x") + host + end, target});
    refused.push_back({line("GET", "ftp://" + server.host + "/x") + host + end, target});
    refused.push_back({line("GET", "http:///x") + host + end, target});
    refused.push_back({line("GET", "http://" + server.host + ":99999/x") + host + end, target});
    refused.push_back({line("GET", "*") + host + end, "\"*\" is a target for OPTIONS only"});
    refused.push_back({line("GET", server.host + ":80") + host + end, target});
    refused.push_back(
        {line("CONNECT", "/x") + host + end, "CONNECT takes host:port as its target"});
    refused.push_back(
        {line("CONNECT", server.host) + host + end, "CONNECT takes host:port as its target"});
    // Host: twice, a port no server has, none at all.
    refused.push_back({line("GET", server.path) + host + "Host: other.test\r\n" + end,
                       "more than one Host field"});
    for (const char* port : {":99999", ":-1", ":abc", ":", ":123456"})
        refused.push_back({line("GET", server.path) + "Host: " + server.host + port + "\r\n" + end,
                           "malformed Host field"});
    refused.push_back({line("GET", server.path) + "Host: a b\r\n" + end, "malformed Host field"});
    refused.push_back({line("GET", server.path) + end, "no Host field"});
    // Transfer codings over two lines are one list: chunked is not the only one.
    refused.push_back({line("POST", server.path) + host +
                           "Transfer-Encoding: chunked\r\nTransfer-Encoding: gzip\r\n" + end +
                           "1\r\na\r\n0\r\n\r\n",
                       "unsupported Transfer-Encoding"});
    refused.push_back({line("POST", server.path) + host +
                           "Transfer-Encoding: gzip\r\nTransfer-Encoding: chunked\r\n" + end +
                           "1\r\na\r\n0\r\n\r\n",
                       "unsupported Transfer-Encoding"});
    // Versions other than the two, with a Host field or without (which HTTP/1.1 needs).
    for (const char* version : {"HTTP/1.2", "HTTP/1.10", "HTTP/1.1x", "HTTP/1.", "HTTP/2.0"}) {
        const std::string start = "GET " + server.path + " " + version + "\r\n";
        refused.push_back({start + host + end, "unsupported protocol version"});
        refused.push_back({start + end, "unsupported protocol version"});
    }
    // Chunk extensions with a bare CR or LF, or no name.
    for (const char* size : {"1;a\rb", "1;a\nb", "1;x=\"a\nb\"", "1;=v"})
        refused.push_back({line("POST", server.path) + host + "Transfer-Encoding: chunked\r\n" +
                               end + size + "\r\na\r\n0\r\n\r\n",
                           "malformed chunk size"});
    for (const auto& c : refused) {
        std::string reply = askRaw(server.port, c.bytes);
        EXPECT_EQ(rawStatus(reply), "400") << c.bytes << "\n" << reply;
        // The core's refusal, with its reason, not a page of the handler's.
        EXPECT_EQ(bodyOf(reply), c.reason + "\n") << c.bytes;
    }

    // What real clients send is still served: absolute-form (to a proxy) in any letter case, a
    // Host with its port, chunked on its own line beside another field.
    for (std::string scheme : {"http", "HTTP", "hTTp"}) {
        std::string reply = askRaw(
            server.port, line("GET", scheme + "://" + server.host + server.path) + host + end);
        EXPECT_EQ(rawStatus(reply), "200") << scheme << "\n" << reply.substr(0, 300);
    }
    std::string older = askRaw(server.port, "GET " + server.path + " HTTP/1.0\r\n" + host + "\r\n");
    EXPECT_EQ(rawStatus(older), "200") << older.substr(0, 300);
    std::string ported =
        askRaw(server.port, line("GET", server.path) + "Host: " + server.host + ":8080\r\n" + end);
    EXPECT_EQ(rawStatus(ported), "200") << ported.substr(0, 300);
    std::string query = askRaw(
        server.port, line("GET", server.path + "?a=%20b&c=d;e,f!$'()*+@:/?[1]~") + host + end);
    EXPECT_EQ(rawStatus(query), "200") << query.substr(0, 300);
}

void expectHeadCapExact(const HostileServer& server) {
    const std::string start = "GET " + server.path + " HTTP/1.1\r\nHost: " + server.host +
                              "\r\nConnection: close\r\nX-Pad: ";
    const std::string end = "\r\n\r\n";
    const std::size_t pad = 64 * 1024 - start.size() - end.size();
    std::string fits = askRaw(server.port, start + std::string(pad, 'p') + end);
    EXPECT_EQ(rawStatus(fits), "200") << fits.substr(0, 300);
    std::string over = askRaw(server.port, start + std::string(pad + 1, 'p') + end);
    EXPECT_EQ(rawStatus(over), "400") << over.substr(0, 300);
    EXPECT_EQ(bodyOf(over), "request head too large\n");
    // And far over it (where a read of 16 KB used to follow the last check).
    std::string far = askRaw(server.port, start + std::string(pad + 16 * 1024, 'p') + end);
    EXPECT_EQ(rawStatus(far), "400") << far.substr(0, 300);
}

void expectOverlongChunkLinesRefused(const HostileServer& server) {
    server.takeLog();
    struct Case {
        std::string marker;
        std::string body;
        std::string reason;
    };
    const std::string megabyte(1024 * 1024, 'e');
    const std::vector<Case> cases = {
        {"chunkline=size", "1;" + megabyte + "\r\nx\r\n0\r\n\r\n", "chunk size line too long"},
        {"chunkline=trailer", "1\r\nx\r\n0\r\nX-Trailer: " + megabyte + "\r\n\r\n",
         "trailer section too long"},
        {"chunkline=trailers",
         [] {
             std::string many = "1\r\nx\r\n0\r\n";
             for (int i = 0; i < 20000; ++i)
                 many += "X-T: " + std::to_string(i) + "\r\n";
             return many + "\r\n";
         }(),
         "trailer section too long"},
    };
    for (const auto& c : cases) {
        std::string reply =
            askRaw(server.port,
                   "POST " + server.path + "?" + c.marker + " HTTP/1.1\r\nHost: " + server.host +
                       "\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + c.body);
        EXPECT_EQ(rawStatus(reply), "400") << c.marker << "\n" << reply.substr(0, 300);
        EXPECT_EQ(bodyOf(reply), c.reason + "\n") << c.marker;
        auto logged = logLinesWith(server, c.marker + " ");
        ASSERT_EQ(logged.size(), 1u) << c.marker;
        EXPECT_NE(logged[0].find("\" 400 "), std::string::npos) << logged[0];
        EXPECT_NE(logged[0].find("[" + c.reason + "]"), std::string::npos) << logged[0];
    }
}

void expectLogEscapesEveryNonAsciiByte(const HostileServer& server) {
    server.takeLog();
    const std::string target = "/esc\x9b[31m\xff\xc3\xa9\x80";
    askRaw(server.port,
           "GET " + target + " HTTP/1.1\r\nHost: " + server.host + "\r\nConnection: close\r\n\r\n");
    auto logged = logLinesWith(server, "/esc");
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_NE(logged[0].find("/esc\\x9b[31m\\xff\\xc3\\xa9\\x80 HTTP/1.1\""), std::string::npos)
        << logged[0];
    for (unsigned char c : logged[0])
        EXPECT_TRUE(c >= 0x20 && c < 0x7f) << "byte " << int(c) << " in " << logged[0];
}

// ---- holding places ---------------------------------------------------------------------------

void expectServedBesideIdleCrowd(const HostileServer& server, std::size_t silent,
                                 std::size_t stalled) {
    // Each connection is a descriptor on both sides here (the server runs in this process).
    std::size_t limit = raiseDescriptorLimit(2 * (silent + stalled) + 256);
    ASSERT_GE(limit, 2 * (silent + stalled) + 256) << "too few descriptors for the crowd";
    IdleCrowd crowd(server.port, silent, stalled);
    ASSERT_EQ(crowd.connected(), silent + stalled);
    auto start = Clock::now();
    std::string reply = askRaw(server.port, getRequest(server));
    EXPECT_EQ(rawStatus(reply), "200") << reply.substr(0, 300);
    EXPECT_LT(secondsSince(start), 10.0);  // (before: 503 at once)
}

void expectSilentConnectionsClosedSoon(const HostileServer& server, double firstByteSeconds) {
    // A kept connection between requests is not held to the first byte's time.
    RawClient kept(server.port);
    ASSERT_TRUE(kept.send("GET " + server.path + " HTTP/1.1\r\nHost: " + server.host + "\r\n\r\n"));
    EXPECT_EQ(rawStatus(kept.readAnswer()), "200");

    // Well under the idle time-out they used to wait for (60 s), with room for a loaded machine
    // and a sanitizer build's slow handshakes.
    auto start = Clock::now();
    IdleCrowd crowd(server.port, 3, 3);
    EXPECT_EQ(crowd.closedWithin(firstByteSeconds + 10), 6u);
    double took = secondsSince(start);
    EXPECT_GE(took, firstByteSeconds * 0.9);
    EXPECT_LT(took, firstByteSeconds + 10);

    EXPECT_FALSE(kept.serverSpoke());
    ASSERT_TRUE(kept.send(getRequest(server)));
    EXPECT_EQ(rawStatus(kept.readToEnd()), "200");
}

void expectOneThreadPerConnection(const HostileServer& server) {
    const std::size_t crowd = 40;
    const std::size_t before = threadCount();
    std::vector<std::unique_ptr<RawClient>> clients;
    for (std::size_t i = 0; i < crowd; ++i) {
        clients.push_back(std::make_unique<RawClient>(server.port));
        // Half of them inside a request head, the deadline of which runs.
        if (i % 2) {
            EXPECT_TRUE(clients.back()->send("GET " + server.path + " HTTP/1.1\r\n"));
        }
    }
    ASSERT_TRUE(runLoopUntil([&] { return threadCount() >= before + crowd; }));
    // Before, each deadline (the first byte's, then the head's) had a thread of its own.
    EXPECT_FALSE(runLoopUntil([&] { return threadCount() > before + crowd + 2; }, 1.0))
        << threadCount() - before << " threads for " << crowd << " connections";
}

namespace {

// A request on a connection kept alive, answered; returns once the connection waits for its next
// request (its answer is logged by then).
void keptRequest(const HostileServer& server, RawClient& client, const std::string& marker) {
    EXPECT_TRUE(client.send("GET " + server.path + "?kept=" + marker +
                            " HTTP/1.1\r\nHost: " + server.host + "\r\n\r\n"));
    EXPECT_EQ(rawStatus(client.readAnswer()), "200") << marker;
    logLinesWith(server, "kept=" + marker + " ");
}

}  // namespace

void expectKeptConnectionsBesideANewcomer(const HostileServer& server, bool giveWay) {
    server.takeLog();
    RawClient first(server.port), second(server.port);
    keptRequest(server, first, "first");
    keptRequest(server, second, "second");
    std::string reply = askRaw(server.port, getRequest(server));
    EXPECT_EQ(rawStatus(reply), giveWay ? "200" : "503") << reply.substr(0, 300);
    if (giveWay) {
        // The first, idle longest, made room.
        bool closed = false;
        EXPECT_EQ(first.readToEnd(&closed), "");
        EXPECT_TRUE(closed);
    } else {
        EXPECT_FALSE(first.serverSpoke());
        ASSERT_TRUE(first.send(getRequest(server)));
        EXPECT_EQ(rawStatus(first.readToEnd()), "200");
    }
    ASSERT_TRUE(second.send(getRequest(server)));
    EXPECT_EQ(rawStatus(second.readToEnd()), "200");
}

void expectNonReadersLeaveRoom(const HostileServer& server, std::size_t places,
                               const std::string& target, std::size_t count) {
    std::string pipelined;
    for (std::size_t i = 0; i < count; ++i)
        pipelined += "GET " + target + " HTTP/1.1\r\nHost: " + server.host + "\r\n\r\n";
    std::vector<std::unique_ptr<RawClient>> crowd;
    for (std::size_t i = 0; i < places; ++i) {
        crowd.push_back(std::make_unique<RawClient>(server.port, 4096));
        ASSERT_TRUE(crowd.back()->send(pipelined));
    }
    // Each is being answered (and soon stuck in that answer).
    for (auto& client : crowd)
        ASSERT_TRUE(runLoopUntil([&] { return client->serverSpoke(); }));
    // Before, the newcomer was answered 503 until the crowd's send time ran out.
    std::string reply;
    EXPECT_TRUE(runLoopUntil(
        [&] {
            reply = askRaw(server.port, getRequest(server));
            return rawStatus(reply) == "200";
        },
        5))
        << reply.substr(0, 300);
}

// ---- slow readers -----------------------------------------------------------------------------

void expectUnreadAnswerEndsByDeadline(const HostileServer& server, const std::string& target,
                                      std::size_t count, double sendSeconds) {
    server.takeLog();
    RawClient client(server.port, 4096);
    ASSERT_TRUE(client.connected());
    std::string pipelined;
    for (std::size_t i = 0; i < count; ++i)
        pipelined += "GET " + target + (target.find('?') == std::string::npos ? "?" : "&") +
                     "unread=" + std::to_string(i) + " HTTP/1.1\r\nHost: " + server.host +
                     "\r\n\r\n";
    ASSERT_TRUE(client.send(pipelined));
    // A client that takes a little every few milliseconds: each single write makes progress,
    // the answer as a whole does not come near its end in time.
    std::atomic<bool> done{false};
    std::thread reader([&] {
        char scrap[1024];
        while (!done) {
            if (::recv(client.fd(), scrap, sizeof scrap, MSG_DONTWAIT) == 0) break;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    });
    auto start = Clock::now();
    bool given = false;
    double took = 0;
    runLoopUntil(
        [&] {
            for (const auto& line : server.takeLog()) {
                if (line.find("unread=") != std::string::npos &&
                    line.find("\" 200 0 ") != std::string::npos && !given) {
                    given = true;
                    took = secondsSince(start);
                }
            }
            return given;
        },
        sendSeconds + 10);
    done = true;
    reader.join();
    // Room for a loaded machine: a deadline per write would never end this answer.
    EXPECT_TRUE(given) << "no answer given up within " << sendSeconds + 10 << " s";
    EXPECT_LT(took, sendSeconds + 8);
}

}  // namespace standintest
