// The services of the vendor's ad client that the analytics client starts and feeds: the
// heartbeat, the caches, the assignment of ads and banners, and the reply parser.
#pragma once

#include "Foundation/NSObject.h"
#include "ads/tally/TallyAdParser.h"
#include "ads/tally/TallyAdProperties.h"
#include "ads/tally/TallyImageCache.h"

class NSTimer;

// The one periodic timer of the ad side: it posts "TallyHeartBeatNotification", which every
// banner observes to retry a missing ad and to pause or resume its refresh.
class TallyHeartBeater : public NSObject {
    NS_OBJECT(TallyHeartBeater, NSObject)
    static void describeClass(RuntimeClass& c);
    // Made and started once; later calls answer the running one unchanged.
    static Ref<TallyHeartBeater> createAndStartInstance(double interval);
    static Ref<TallyHeartBeater> instance();
    void start(double interval);
    // Stops the beats for good (also when the reset between tests drops it while held).
    void stop();
    void heartBeat();
    int beats() { return beats_; }
    double interval() { return interval_; }
    void dealloc() override;

private:
    Ref<NSTimer> timer_;
    double interval_ = 0;
    int beats_ = 0;
};
