// Bandwidth throttling: the one-second windows and their samples, the share of the allowance a
// read may take, the wake-up of paused streams, WWAN throttling following reachability, and
// transfer rates measured on the manual clock.
#include <atomic>
#include <cmath>
#include <memory>
#include <string>

#include "EngineTesting.h"
#include "external/nk-http-request/Classes/NKInputStream.h"
#include "external/nk-http-request/Classes/Reachability.h"

using namespace enginetest;
using testhttp::TestServer;

class Throttling : public ::testing::Test {
protected:
    void SetUp() override {
        // Whatever earlier tests counted is closed off and forgotten: a window with traffic (or
        // none), then a silent one, which leaves a single empty sample.
        NKHTTPRequest::measureBandwidthUsage();
        Clock::advance(1);
        NKHTTPRequest::measureBandwidthUsage();
        Clock::advance(1);
        NKHTTPRequest::measureBandwidthUsage();
        windowEnd = Clock::now() + 1;
    }
    void TearDown() override {
        NKHTTPRequest::setShouldThrottleBandwidthForWWAN(false);
        NKHTTPRequest::setMaxBandwidthPerSecond(0);
        SCNetworkReachabilityClearFlagsForTesting();
    }
    // A body read of up to `length` bytes through the counting stream.
    NSInteger bodyRead(NSUInteger length) {
        std::vector<uint8_t> buffer(length);
        return body->read(buffer.data(), length);
    }
    // Moves the clock in status-check steps until the request ends; the virtual time it took.
    double runOnTheClock(Recorder* d, double limit = 60) {
        double start = Clock::now();
        while (!d->ended() && Clock::now() - start < limit) {
            Clock::advance(0.25);
            if (!settleNetworkThread()) break;
            runFor(0.005);
        }
        return Clock::now() - start;
    }

    ManualClockScope clock;
    NSTimeInterval windowEnd = 0;
    Ref<NKInputStream> body = [] {
        std::string bytes(100000, 'b');
        Ref<NKInputStream> s = NKInputStream::inputStreamWithData(
            NSData::dataWithBytes(bytes.data(), bytes.size()), nullptr);
        s->open();
        return s;
    }();
};

TEST_F(Throttling, UnlimitedReadsPassUnchangedButAreCounted) {
    EXPECT_FALSE(NKHTTPRequest::isBandwidthThrottled());
    EXPECT_EQ(bodyRead(4096), 4096);
    EXPECT_EQ(NKHTTPRequest::bandwidthUsedInLastSecond(), 4096u);
}

TEST_F(Throttling, BodyReadsTakeAQuarterOfWhatIsLeftAndAtLeastOneByte) {
    NKHTTPRequest::setMaxBandwidthPerSecond(1000);
    EXPECT_TRUE(NKHTTPRequest::isBandwidthThrottled());
    EXPECT_EQ(NKHTTPRequest::maxUploadReadLength(), 250u);
    EXPECT_EQ(bodyRead(100), 100);  // less than the share: as asked
    NKHTTPRequest::incrementBandwidthUsedInLastSecond(800);
    EXPECT_EQ(bodyRead(4096), 100);  // 900 used
    EXPECT_EQ(bodyRead(4096), 1);    // 1,000 used: one byte
    EXPECT_EQ(NKHTTPRequest::throttleWakeUpTime(), windowEnd);
    EXPECT_EQ(NKHTTPRequest::bandwidthUsedInLastSecond(), 1001u);
}

TEST_F(Throttling, OvershootPausesPastTheEndOfTheWindowInProportion) {
    NKHTTPRequest::setMaxBandwidthPerSecond(1000);
    NKHTTPRequest::incrementBandwidthUsedInLastSecond(1500);
    NKHTTPRequest::measureBandwidthUsage();
    EXPECT_DOUBLE_EQ(NKHTTPRequest::throttleWakeUpTime(), windowEnd + 0.5);
}

TEST_F(Throttling, SamplesKeepFiveSecondsAndSilenceDropsThem) {
    for (unsigned long i = 1; i <= 6; ++i) {
        NKHTTPRequest::incrementBandwidthUsedInLastSecond(1000 * i);
        Clock::advance(1);
        NKHTTPRequest::measureBandwidthUsage();
    }
    // The empty sample and 1,000 to 5,000 made six: the oldest went for 6,000.
    EXPECT_EQ(NKHTTPRequest::averageBandwidthUsedPerSecond(), 21000u / 6);
    // Traffic, then three silent seconds: three old samples go.
    NKHTTPRequest::incrementBandwidthUsedInLastSecond(7000);
    Clock::advance(4);
    NKHTTPRequest::measureBandwidthUsage();
    EXPECT_EQ(NKHTTPRequest::averageBandwidthUsedPerSecond(), (4000u + 5000 + 6000 + 7000) / 4);
    // A second with nothing leaves nothing.
    Clock::advance(1);
    NKHTTPRequest::measureBandwidthUsage();
    EXPECT_EQ(NKHTTPRequest::averageBandwidthUsedPerSecond(), 0u);
}

TEST_F(Throttling, ClockSetBackDoesNotHoldTheStreams) {
    NKHTTPRequest::setMaxBandwidthPerSecond(1000);
    NKHTTPRequest::incrementBandwidthUsedInLastSecond(5000);
    NKHTTPRequest::measureBandwidthUsage();
    EXPECT_DOUBLE_EQ(NKHTTPRequest::throttleWakeUpTime(), windowEnd + 4);
    Clock::setNow(Clock::now() - 3600);
    NKHTTPRequest::measureBandwidthUsage();
    EXPECT_LT(NKHTTPRequest::throttleWakeUpTime(), Clock::now() + 1);
    EXPECT_EQ(NKHTTPRequest::maxUploadReadLength(), 250u);
}

TEST_F(Throttling, DownloadMovesAtTheLimitOnTheClock) {
    TestServer server;
    server.route("GET", "/big", testhttp::large(8000, true));
    NKHTTPRequest::setMaxBandwidthPerSecond(2000);
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/big")));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return r->totalBytesRead() > 0; }));
    ASSERT_TRUE(settleNetworkThread());
    // A window's worth and a byte, then a pause until the clock moves.
    EXPECT_EQ(r->totalBytesRead(), 2001u);
    double took = runOnTheClock(d);
    ASSERT_EQ(d->events.back(), "finished");
    EXPECT_EQ(r->responseData()->length(), 8000u);
    // Four windows of 2,000 bytes: the last starts three seconds in, plus a status check.
    EXPECT_GE(took, 3.0);
    EXPECT_LE(took, 4.5);
}

TEST_F(Throttling, UploadIsHeldToTheLimitOnTheClock) {
    TestServer server;
    // Counts the body as it comes in; the short answer leaves the clock to the upload.
    auto arrived = std::make_shared<std::atomic<size_t>>(0);
    auto received = std::make_shared<std::string>();
    server.route("POST", "/up",
                 testhttp::Handler(
                     [arrived, received](testhttp::Exchange& x) {
                         for (;;) {
                             std::string piece = x.readBodySome(65536);
                             if (piece.empty()) break;
                             *received += piece;
                             *arrived += piece.size();
                         }
                         x.respond(testhttp::Response(200, "ok"));
                     },
                     true));
    NKHTTPRequest::setMaxBandwidthPerSecond(1000);
    Ref<Recorder> d = make<Recorder>();
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(urlOf(server.url("/up")));
    std::string sent = testhttp::patternBytes(3000);
    r->appendPostData(NSData::dataWithBytes(sent.data(), sent.size()));
    r->setDelegate(d);
    r->startAsynchronous();
    ASSERT_TRUE(runLoopUntil([&] { return arrived->load() > 0; }));
    ASSERT_TRUE(settleNetworkThread());
    runFor(0.05);  // for the server to read what is on its way
    // The first window's allowance and the byte that finds it spent; the rest waits for the
    // clock.
    EXPECT_LE(arrived->load(), 1001u);
    double took = runOnTheClock(d);
    ASSERT_EQ(d->events.back(), "finished");
    EXPECT_EQ(textOf(r), "ok");
    EXPECT_TRUE(*received == sent);
    // No faster than the limit: the last of 3,000 bytes cannot leave before the third second.
    EXPECT_GE(took, 2.0);
    EXPECT_LE(took, 8.0);
}

TEST_F(Throttling, WWANLimitAppliesOnlyOnTheMobileNetworkAndFollowsItsChanges) {
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    NKHTTPRequest::setShouldThrottleBandwidthForWWAN(true);
    EXPECT_EQ(NKHTTPRequest::maxBandwidthPerSecond(), 14800u);
    EXPECT_FALSE(NKHTTPRequest::isBandwidthThrottled());
    // The subscription outlives the pass that made it.
    runFor(0.05);
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable |
                                            kSCNetworkReachabilityFlagsIsWWAN);
    ASSERT_TRUE(runLoopUntil([] { return NKHTTPRequest::isBandwidthThrottled(); }));
    EXPECT_EQ(NKHTTPRequest::maxUploadReadLength(), 3700u);
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    ASSERT_TRUE(runLoopUntil([] { return !NKHTTPRequest::isBandwidthThrottled(); }));

    NKHTTPRequest::setShouldThrottleBandwidthForWWAN(false);
    EXPECT_EQ(NKHTTPRequest::maxBandwidthPerSecond(), 0u);
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable |
                                            kSCNetworkReachabilityFlagsIsWWAN);
    runFor(0.1);
    EXPECT_FALSE(NKHTTPRequest::isBandwidthThrottled());
}
