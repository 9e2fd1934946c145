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

bool advanceRunLoopUntil(const std::function<bool()>& done, NSTimeInterval step, int steps) {
    for (int i = 0; i < steps; ++i) {
        if (done()) return true;
        advanceRunLoop(step);
        runLoopUntil(done, 0.02);
    }
    return done();
}
