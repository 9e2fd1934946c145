// Timers: fire once or repeatedly on the run loop they were added to, while it runs in one of
// the timer's modes. A timer retains its target (or block) until it is invalidated. Fire dates
// are clock times, so timers follow the manual clock in tests.
#pragma once

#include <atomic>
#include <functional>
#include <mutex>

#include "Foundation/NSObject.h"

class NSDate;
class NSRunLoop;

class NSTimer : public NSObject {
    NS_OBJECT(NSTimer, NSObject)
    using Block = std::function<void(NSTimer*)>;

    // The target's method (registered with the runtime) is called with the timer as argument.
    static Ref<NSTimer> timerWithTimeInterval(NSTimeInterval seconds, NSObject* target,
                                              SEL selector, NSObject* userInfo, bool repeats);
    // The same, added to the current run loop in the default mode.
    static Ref<NSTimer> scheduledTimerWithTimeInterval(NSTimeInterval seconds, NSObject* target,
                                                       SEL selector, NSObject* userInfo,
                                                       bool repeats);
    static Ref<NSTimer> timerWithTimeInterval(NSTimeInterval seconds, bool repeats, Block block);
    static Ref<NSTimer> scheduledTimerWithTimeInterval(NSTimeInterval seconds, bool repeats,
                                                       Block block);
    bool initWithFireDate(NSDate* date, NSTimeInterval interval, NSObject* target, SEL selector,
                          NSObject* userInfo, bool repeats);
    bool initWithFireDate(NSDate* date, NSTimeInterval interval, bool repeats, Block block);

    // Calls the target now. A non-repeating timer is invalidated after it; a repeating one
    // keeps its schedule.
    void fire();
    // From any thread: the timer will not fire again and lets go of its target.
    void invalidate();
    bool isValid() { return valid_.load(std::memory_order_acquire); }
    Ref<NSDate> fireDate();
    void setFireDate(NSDate* date);
    NSTimeInterval timeInterval() { return repeats_ ? interval_ : 0; }
    Ref<NSObject> userInfo();

    // Internal: the fire time in clock seconds, for the loop.
    NSTimeInterval fireTime() { return fireTime_.load(std::memory_order_acquire); }

private:
    friend class NSRunLoop;
    // Called by the loop when due: runs the callout and reschedules or invalidates.
    void fireFromLoop(NSTimeInterval now);
    void callout();

    std::atomic<NSTimeInterval> fireTime_{0};
    NSTimeInterval interval_ = 0;
    bool repeats_ = false;
    std::atomic<bool> valid_{true};
    std::mutex lock_;  // guards the target, block and user info against invalidate()
    Ref<NSObject> target_;
    SEL selector_ = nullptr;
    Block block_;
    Ref<NSObject> userInfo_;
    Weak<NSRunLoop> loop_;
};
