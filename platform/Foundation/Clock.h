// The one source of time for the whole system. Everything that reads the wall clock or measures
// elapsed time asks here, so that tests can swap in a manual clock and move time by hand.
#pragma once

#include <cstdint>
#include <functional>

#include "Foundation/NSObject.h"

class Clock {
public:
    // Seconds since 2001-01-01 00:00:00 UTC.
    static NSTimeInterval now();
    // Monotonic seconds. On the manual clock it moves forward with now() (advance, or setNow to
    // a later time); setting now() back leaves it where it is, as a wall-clock change would.
    static NSTimeInterval uptime();
    static bool isManual();
    // Installs the controllable clock at `start`.
    static void useManual(NSTimeInterval start);
    static void useReal();
    // Manual clock only (raises NSInternalInconsistencyException otherwise).
    static void advance(NSTimeInterval seconds);
    // Manual clock only; may go backwards.
    static void setNow(NSTimeInterval t);
    // Called after every change of the manual time (and when the clock is switched), on the
    // thread that made it; run loops wake on it. Returns an id for removeListener. Safe to add
    // and remove from any thread; once removeListener returns, the listener is not running on
    // another thread and will not be called again.
    static uint64_t addListener(std::function<void()> fn);
    static void removeListener(uint64_t id);
};

// 2012-03-01 12:00:00 UTC, the default start of a manual clock in tests.
inline constexpr NSTimeInterval kManualClockDefaultStart = 352296000.0;

// Test helper: the manual clock for a scope, the previous clock after it.
class ManualClockScope {
public:
    explicit ManualClockScope(NSTimeInterval start = kManualClockDefaultStart);
    ~ManualClockScope();
    ManualClockScope(const ManualClockScope&) = delete;
    ManualClockScope& operator=(const ManualClockScope&) = delete;

private:
    bool wasManual_;
    NSTimeInterval previous_;
};

NSTimeInterval CFAbsoluteTimeGetCurrent();
// Seconds from 1970-01-01 to 2001-01-01.
inline constexpr NSTimeInterval NSTimeIntervalSince1970 = 978307200.0;
