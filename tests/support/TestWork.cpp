#include "support/TestWork.h"

#include <chrono>
#include <cstdio>

#include "Foundation/NSDate.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/ThreadActivity.h"

namespace testsupport {

bool letWorkFinish(const std::string& who) {
    // Real time, as the work is real; work blocked on a server that never answers is given up
    // on, and the drop that follows ends it.
    const auto start = std::chrono::steady_clock::now();
    while (thread_activity::atWork() > 0 || NetworkWork::inFlight() > 0) {
        if (std::chrono::steady_clock::now() - start > std::chrono::seconds(5)) {
            std::fprintf(stderr, "note: %s left %d thread(s) at work and %d request(s) out\n",
                         who.c_str(), thread_activity::atWork(), NetworkWork::inFlight());
            return false;
        }
        NSAutoreleasePool pool;
        NSRunLoop::mainRunLoop()->runMode(NSDefaultRunLoopMode,
                                          NSDate::dateWithTimeIntervalSinceNow(0.001));
    }
    return true;
}

void dropProcessWideInstances(const std::string& who) {
    NSAutoreleasePool pool;  // for what the instances' deallocs autorelease
    resetProcessWideInstances();
    letWorkFinish(who + " (after the drop)");
}

}  // namespace testsupport
