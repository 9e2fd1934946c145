// Driving run loops from tests: virtual time for timers, bounded real-time waits for work that
// comes from other threads or real input.
#pragma once

#include <functional>

#include "Foundation/NSObject.h"

// Moves the manual clock forward by `seconds`, stopping at every due timer of the current
// thread's run loop in `mode` (default mode when nil) and running the loop there, so that
// timers fire in order, each reading its own fire time as now. Ends `seconds` later.
void advanceRunLoop(NSTimeInterval seconds, NSString* mode = nullptr);

// Runs the current thread's loop in `mode` until `done()` holds or `realSeconds` of real time
// have passed; false on time-out. The default is generous: under the sanitizers on a loaded
// two-core machine a first secure connection alone can take seconds.
bool runLoopUntil(const std::function<bool()>& done, double realSeconds = 15.0,
                  NSString* mode = nullptr);

// For work that mixes both: moves the manual clock forward until `done()` holds, at most
// `step` * `steps` seconds. While real work is in flight (network work, a platform thread at
// work, a loop with work ready) each step of `step` gives it up to 20 ms of real time first;
// when the process is at rest the clock goes straight to the next due timer or wake-up of any
// thread, without waiting.
bool advanceRunLoopUntil(const std::function<bool()>& done, NSTimeInterval step = 0.05,
                         int steps = 400);
