#include "Foundation/NSTimer.h"

#include <cmath>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/Runtime.h"

namespace {
// The platform's floor for intervals: a zero or negative interval means 0.1 ms.
NSTimeInterval usable(NSTimeInterval seconds) {
    return seconds > 0 ? seconds : 0.0001;
}
}  // namespace

Ref<NSTimer> NSTimer::timerWithTimeInterval(NSTimeInterval seconds, NSObject* target, SEL selector,
                                            NSObject* userInfo, bool repeats) {
    auto t = alloc<NSTimer>();
    t->initWithFireDate(NSDate::dateWithTimeIntervalSinceNow(usable(seconds)), seconds, target,
                        selector, userInfo, repeats);
    return t;
}

Ref<NSTimer> NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval seconds, NSObject* target,
                                                     SEL selector, NSObject* userInfo,
                                                     bool repeats) {
    auto t = timerWithTimeInterval(seconds, target, selector, userInfo, repeats);
    NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
    return t;
}

Ref<NSTimer> NSTimer::timerWithTimeInterval(NSTimeInterval seconds, bool repeats, Block block) {
    auto t = alloc<NSTimer>();
    t->initWithFireDate(NSDate::dateWithTimeIntervalSinceNow(usable(seconds)), seconds, repeats,
                        std::move(block));
    return t;
}

Ref<NSTimer> NSTimer::scheduledTimerWithTimeInterval(NSTimeInterval seconds, bool repeats,
                                                     Block block) {
    auto t = timerWithTimeInterval(seconds, repeats, std::move(block));
    NSRunLoop::currentRunLoop()->addTimer(t, NSDefaultRunLoopMode);
    return t;
}

bool NSTimer::initWithFireDate(NSDate* date, NSTimeInterval interval, NSObject* target,
                               SEL selector, NSObject* userInfo, bool repeats) {
    fireTime_.store(date ? date->timeIntervalSinceReferenceDate() : Clock::now());
    interval_ = usable(interval);
    repeats_ = repeats;
    target_ = target;
    selector_ = selector;
    userInfo_ = userInfo;
    return true;
}

bool NSTimer::initWithFireDate(NSDate* date, NSTimeInterval interval, bool repeats, Block block) {
    fireTime_.store(date ? date->timeIntervalSinceReferenceDate() : Clock::now());
    interval_ = usable(interval);
    repeats_ = repeats;
    block_ = std::move(block);
    return true;
}

void NSTimer::callout() {
    Ref<NSObject> target;
    SEL selector;
    Block block;
    {
        std::lock_guard<std::mutex> g(lock_);
        target = target_;  // held for the call: invalidating from inside must not free it
        selector = selector_;
        block = block_;
    }
    Ref<NSTimer> keep(this);
    if (block) {
        block(this);
    } else if (target && selector) {
        Value args[] = {Value::ofObject(this)};
        invokeMethod(target, selector, args);
    }
}

void NSTimer::fire() {
    if (!isValid()) return;
    callout();
    if (!repeats_) invalidate();
}

void NSTimer::fireFromLoop(NSTimeInterval now) {
    Ref<NSTimer> keep(this);
    if (repeats_) {
        // The next fire date stays on the original schedule; missed fires are skipped.
        NSTimeInterval fire = fireTime();
        double periods = std::floor((now - fire) / interval_) + 1;
        fireTime_.store(fire + std::max(1.0, periods) * interval_);
    }
    callout();
    if (!repeats_) invalidate();
}

void NSTimer::invalidate() {
    if (!valid_.exchange(false)) return;
    Ref<NSObject> target;
    Block block;
    {
        std::lock_guard<std::mutex> g(lock_);
        target.swap(target_);
        std::swap(block, block_);
    }
    if (auto loop = loop_.lock()) loop->removeTimer(this);
    // The target and the block's captures are released here, outside every lock.
}

Ref<NSDate> NSTimer::fireDate() {
    return NSDate::dateWithTimeIntervalSinceReferenceDate(fireTime());
}

void NSTimer::setFireDate(NSDate* date) {
    fireTime_.store(date ? date->timeIntervalSinceReferenceDate() : Clock::now());
    if (auto loop = loop_.lock()) loop->timerChanged();
}

Ref<NSObject> NSTimer::userInfo() {
    std::lock_guard<std::mutex> g(lock_);
    return userInfo_;
}
