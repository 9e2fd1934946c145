#include "ads/tally/TallyAdClient.h"

#include <mutex>

#include "Foundation/Runtime.h"

#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"

namespace {
std::mutex beaterLock;
Ref<TallyHeartBeater> heartBeater;
}  // namespace

void TallyHeartBeater::describeClass(RuntimeClass& c) {
    c.method("heartBeat", &TallyHeartBeater::heartBeat);
}

Ref<TallyHeartBeater> TallyHeartBeater::createAndStartInstance(double interval) {
    std::lock_guard lock(beaterLock);
    if (!heartBeater) {
        heartBeater = make<TallyHeartBeater>();
        heartBeater->start(interval);
    }
    return heartBeater;
}

Ref<TallyHeartBeater> TallyHeartBeater::instance() {
    std::lock_guard lock(beaterLock);
    return heartBeater;
}

void TallyHeartBeater::start(double interval) {
    interval_ = interval;
    TallyHeartBeater* beater = this;  // the timer is invalidated before the beater goes
    timer_ = NSTimer::scheduledTimerWithTimeInterval(interval, true,
                                                     [beater](NSTimer*) { beater->heartBeat(); });
}

void TallyHeartBeater::heartBeat() {
    ++beats_;
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("TallyHeartBeatNotification"),
                                                                nullptr);
}

void TallyHeartBeater::dealloc() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
    NSObject::dealloc();
}
