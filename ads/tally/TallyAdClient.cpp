#include "ads/tally/TallyAdClient.h"

#include "Foundation/Runtime.h"

#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/ProcessWide.h"

namespace {
// A dropped beater stops beating, even while something still holds it.
ProcessWide<TallyHeartBeater>& heartBeater() {
    static ProcessWide<TallyHeartBeater> slot{nullptr, [](TallyHeartBeater* b) { b->stop(); }};
    return slot;
}
}  // namespace

void TallyHeartBeater::describeClass(RuntimeClass& c) {
    c.method("heartBeat", &TallyHeartBeater::heartBeat);
}

Ref<TallyHeartBeater> TallyHeartBeater::createAndStartInstance(double interval) {
    return heartBeater().getOr([interval] {
        auto beater = make<TallyHeartBeater>();
        beater->start(interval);
        return beater;
    });
}

Ref<TallyHeartBeater> TallyHeartBeater::instance() {
    return heartBeater().peek();
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

void TallyHeartBeater::stop() {
    if (timer_) timer_->invalidate();
    timer_ = nullptr;
}

void TallyHeartBeater::dealloc() {
    stop();
    NSObject::dealloc();
}
