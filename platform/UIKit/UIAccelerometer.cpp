#include "UIKit/UIAccelerometer.h"

#include <algorithm>

#include "Foundation/Clock.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSTimer.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"

namespace {
constexpr NSTimeInterval kFastestInterval = 0.01;
}  // namespace

bool UIAcceleration::initWithX(UIAccelerationValue x, UIAccelerationValue y, UIAccelerationValue z,
                               NSTimeInterval timestamp) {
    x_ = x;
    y_ = y;
    z_ = z;
    timestamp_ = timestamp;
    return true;
}

void UIAccelerometer::describeClass(RuntimeClass& c) {
    c.method("updateInterval", &UIAccelerometer::updateInterval);
    c.method("setUpdateInterval:", &UIAccelerometer::setUpdateInterval);
}

Ref<UIAccelerometer> UIAccelerometer::sharedAccelerometer() {
    // A dropped instance stops sampling: its timer calls into it.
    static ProcessWide<UIAccelerometer> shared{nullptr,
                                               [](UIAccelerometer* a) { a->setDelegate(nullptr); }};
    return shared.get();
}

void UIAccelerometer::setDelegate(UIAccelerometerDelegate* delegate) {
    // Setting the same delegate again keeps the rhythm: code that re-installs itself on every
    // read would otherwise never see a sample.
    if (timer_ && delegate && delegate_.lock().get() == delegate) return;
    delegate_ = delegate;
    restartTimer();
}

void UIAccelerometer::setUpdateInterval(NSTimeInterval seconds) {
    seconds = std::max(seconds, kFastestInterval);
    if (seconds == interval_) return;
    interval_ = seconds;
    if (timer_) restartTimer();
}

void UIAccelerometer::injectSample(UIAccelerationValue x, UIAccelerationValue y,
                                   UIAccelerationValue z) {
    x_ = x;
    y_ = y;
    z_ = z;
}

bool UIAccelerometer::isDelivering() {
    return timer_ && delegate_.lock();
}

void UIAccelerometer::restartTimer() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    if (!delegate_.lock()) return;
    // Samples arrive on the main loop in every common mode, as the sensor's do.
    timer_ = NSTimer::timerWithTimeInterval(interval_, true, [this](NSTimer*) { deliver(); });
    NSRunLoop::mainRunLoop()->addTimer(timer_, NSRunLoopCommonModes);
}

void UIAccelerometer::deliver() {
    auto delegate = delegate_.lock();
    if (!delegate) {
        // The delegate was freed without letting go: stop sampling.
        Ref<NSTimer> firing = timer_;
        if (firing) firing->invalidate();
        timer_ = nullptr;
        return;
    }
    auto sample = make<UIAcceleration>(&UIAcceleration::initWithX, x_, y_, z_, Clock::uptime());
    delegate->accelerometer(this, sample);
}
