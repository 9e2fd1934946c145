// The accelerometer: samples at the update interval on the manual clock, injected readings,
// delegates replaced and freed while samples flow.
#include <gtest/gtest.h>

#include <vector>

#include "Foundation/Clock.h"
#include "UIKit/UIAccelerometer.h"
#include "support/RunLoopTesting.h"

namespace {

class Recorder : public NSObject, public UIAccelerometerDelegate {
    NS_OBJECT(Recorder, NSObject)
    void accelerometer(UIAccelerometer* a, UIAcceleration* sample) override {
        EXPECT_EQ(a, UIAccelerometer::sharedAccelerometer().get());
        samples.push_back(sample);
    }
    std::vector<Ref<UIAcceleration>> samples;
};

class UIAccelerometerTest : public testing::Test {
protected:
    ManualClockScope clock_;
};

TEST_F(UIAccelerometerTest, DeliversSamplesAtTheIntervalOnTheMainLoop) {
    auto acc = UIAccelerometer::sharedAccelerometer();
    EXPECT_EQ(acc, UIAccelerometer::sharedAccelerometer());
    auto r = make<Recorder>();
    acc->setUpdateInterval(0.25);
    acc->setDelegate(r);
    EXPECT_TRUE(acc->isDelivering());
    EXPECT_TRUE(r->samples.empty());  // nothing before the first interval
    NSTimeInterval start = Clock::uptime();
    advanceRunLoop(1.1);
    ASSERT_EQ(r->samples.size(), 4u);
    EXPECT_NEAR(r->samples[0]->timestamp() - start, 0.25, 1e-6);
    EXPECT_NEAR(r->samples[3]->timestamp() - start, 1.0, 1e-6);
    // At rest the phone lies face up.
    EXPECT_EQ(r->samples[0]->z(), -1.0);
    acc->injectSample(0.5, -0.25, 0.75);
    advanceRunLoop(0.25);
    ASSERT_EQ(r->samples.size(), 5u);
    EXPECT_EQ(r->samples[4]->x(), 0.5);
    EXPECT_EQ(r->samples[4]->y(), -0.25);
    EXPECT_EQ(r->samples[4]->z(), 0.75);
    // A faster interval applies from now on; the floor is a hundred a second.
    acc->setUpdateInterval(0.125);
    advanceRunLoop(0.5);
    EXPECT_EQ(r->samples.size(), 9u);
    acc->setUpdateInterval(0);
    EXPECT_DOUBLE_EQ(acc->updateInterval(), 0.01);
    acc->setDelegate(nullptr);
    EXPECT_FALSE(acc->isDelivering());
    advanceRunLoop(1);
    EXPECT_EQ(r->samples.size(), 9u);
}

TEST_F(UIAccelerometerTest, AFreedDelegateStopsTheStream) {
    auto acc = UIAccelerometer::sharedAccelerometer();
    auto r = make<Recorder>();
    acc->setUpdateInterval(0.125);
    acc->setDelegate(r);
    advanceRunLoop(0.4);
    EXPECT_EQ(r->samples.size(), 3u);
    Weak<Recorder> gone = r.get();
    r = nullptr;  // freed without clearing the delegate
    EXPECT_FALSE(gone.lock());
    EXPECT_FALSE(acc->delegate());
    advanceRunLoop(0.5);  // no message reaches the freed object
    EXPECT_FALSE(acc->isDelivering());
    // A new delegate starts the samples again.
    auto next = make<Recorder>();
    acc->setDelegate(next);
    advanceRunLoop(0.25);
    EXPECT_EQ(next->samples.size(), 2u);
}

TEST_F(UIAccelerometerTest, SettingTheSameDelegateOrIntervalAgainKeepsTheRhythm) {
    auto acc = UIAccelerometer::sharedAccelerometer();
    auto r = make<Recorder>();
    acc->setUpdateInterval(0.5);
    acc->setDelegate(r);
    // Re-installed more often than the interval, as a delegate that chains itself in on every
    // read does: the samples still come.
    for (int i = 0; i < 8; ++i) {
        advanceRunLoop(0.25);
        acc->setDelegate(r);
        acc->setUpdateInterval(0.5);
    }
    EXPECT_EQ(r->samples.size(), 4u);
}

TEST_F(UIAccelerometerTest, ReplacingTheDelegateHandsOverTheStream) {
    auto acc = UIAccelerometer::sharedAccelerometer();
    auto first = make<Recorder>(), second = make<Recorder>();
    acc->setUpdateInterval(0.125);
    acc->setDelegate(first);
    advanceRunLoop(0.4);
    acc->setDelegate(second);
    EXPECT_EQ(acc->delegate().get(), static_cast<UIAccelerometerDelegate*>(second.get()));
    advanceRunLoop(0.4);
    EXPECT_EQ(first->samples.size(), 3u);
    EXPECT_EQ(second->samples.size(), 3u);
}

}  // namespace
