#include "support/RunLoopTesting.h"

#include <algorithm>
#include <chrono>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSRunLoop.h"

void advanceRunLoop(NSTimeInterval seconds, NSString* mode) {
    if (!mode) mode = NSDefaultRunLoopMode;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    const NSTimeInterval end = Clock::now() + seconds;
    for (;;) {
        loop->runInMode(mode, 0, false);
        Ref<NSDate> next = loop->limitDateForMode(mode);
        if (!next || next->timeIntervalSinceReferenceDate() > end) break;
        Clock::setNow(std::max(Clock::now(), next->timeIntervalSinceReferenceDate()));
    }
    Clock::setNow(end);
    loop->runInMode(mode, 0, false);
}

bool runLoopUntil(const std::function<bool()>& done, double realSeconds, NSString* mode) {
    if (!mode) mode = NSDefaultRunLoopMode;
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    auto start = std::chrono::steady_clock::now();
    while (!done()) {
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() > realSeconds) return false;
        loop->runInMode(mode, 0, true);
        if (done()) break;
        loop->waitForWork(mode, 0.01);
    }
    return true;
}

namespace {
// Lets real work run until `done()` holds, the whole process is at rest, or `realSeconds` have
// passed. True when it ended at rest, with `nextWake` the earliest time anything is due.
bool settle(const std::function<bool()>& done, NSRunLoop* loop, double realSeconds,
            NSTimeInterval* nextWake) {
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        loop->runInMode(NSDefaultRunLoopMode, 0, false);
        if (done()) return false;
        if (NSRunLoop::processAtRest(loop, NSDefaultRunLoopMode, nextWake)) return true;
        std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
        if (elapsed.count() > realSeconds) return false;
        loop->waitForWork(NSDefaultRunLoopMode, 0.001);
    }
}
}  // namespace

bool advanceRunLoopUntil(const std::function<bool()>& done, NSTimeInterval step, int steps) {
    Ref<NSRunLoop> loop = NSRunLoop::currentRunLoop();
    const NSTimeInterval end = Clock::now() + step * steps;
    for (;;) {
        if (done()) return true;
        // Real time is given only while real work is in flight, up to a slice per step; at rest
        // the clock goes straight to the next moment anything is due.
        NSTimeInterval nextWake = 0;
        bool atRest = settle(done, loop.get(), 0.02, &nextWake);
        if (done()) return true;
        const NSTimeInterval now = Clock::now();
        if (now >= end) return false;
        NSTimeInterval target = now + step;
        if (atRest) target = std::max(now, nextWake);
        advanceRunLoop(std::min(target, end) - now);
    }
}
