// The server's places for connections: a connection whose last write has ended (its last answer
// went out, or a write failed because the client went away) only closes from then on, and a
// newcomer at the cap is served rather than refused while it does.
#include "tools/standin/HttpServer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>
#include <string>

#include "support/RunLoopTesting.h"
#include "support/StandInTesting.h"

namespace {

using standintest::RawClient;
using standintest::rawStatus;

// Holds the first answered connection between its last write and its close, where the server
// logs the answer, until released.
class HeldLog {
public:
    void log() {
        std::unique_lock<std::mutex> g(lock_);
        if (calls_++ > 0) return;
        holding_ = true;
        // Bounded, so that a failing test cannot hang the program.
        changed_.wait_for(g, std::chrono::seconds(30), [this] { return released_; });
    }
    bool holding() {
        std::lock_guard<std::mutex> g(lock_);
        return holding_;
    }
    void release() {
        std::lock_guard<std::mutex> g(lock_);
        released_ = true;
        changed_.notify_all();
    }

private:
    std::mutex lock_;
    std::condition_variable changed_;
    int calls_ = 0;
    bool holding_ = false;
    bool released_ = false;
};

const std::string kLarge(8 * 1024 * 1024, 'x');

}  // namespace

TEST(ConnectionPlaces, AConnectionWhoseLastWriteHasEndedHoldsNoPlace) {
    for (bool failed : {false, true}) {
        SCOPED_TRACE(failed ? "its client went away" : "its last answer went out");
        auto held = std::make_shared<HeldLog>();
        standin::ServerLimits limits;
        limits.maxConnections = 1;
        standin::HttpServer server(
            [](standin::HttpRequest& request) {
                return standin::HttpResponse::plain(request.path == "/large" ? kLarge : "small\n");
            },
            [held](const standin::HttpRequest&, const standin::HttpResponse&, std::size_t, double) {
                held->log();
            },
            {}, limits);
        std::string error;
        ASSERT_TRUE(server.start(0, "", "", &error)) << error;

        {
            // The one place: a last answer, or a large one its client stops reading and leaves.
            RawClient first(server.port(), failed ? 4096 : 0);
            ASSERT_TRUE(first.send(failed ? "GET /large HTTP/1.1\r\nHost: a.test\r\n\r\n"
                                          : "GET /small HTTP/1.1\r\nHost: a.test\r\n"
                                            "Connection: close\r\n\r\n"));
            ASSERT_TRUE(runLoopUntil([&] { return first.serverSpoke(); }));
        }
        ASSERT_TRUE(runLoopUntil([&] { return held->holding(); }));

        RawClient newcomer(server.port());
        ASSERT_TRUE(
            newcomer.send("GET /small HTTP/1.1\r\nHost: a.test\r\nConnection: close\r\n\r\n"));
        std::string reply = newcomer.readToEnd();
        EXPECT_EQ(rawStatus(reply), "200") << reply.substr(0, 200);
        held->release();
        server.stop();
    }
}
