// The engine's bookkeeper of ad slots and downloaded ads: one slot record per name, a queue of
// slots that need an ad (one fetch in flight, through the client driver), the listeners to tell
// when an ad arrives, one expiry timer per waiting ad, and the deletion of ads from the `ads`
// table and the content folders Content/{slot}/{dlTime}. Main thread.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class IVAdSlot;
class NSArray;
class NSMutableArray;
class NSMutableDictionary;
class NSString;
class NSURL;

// What the ad manager tells the views of a slot.
class IVAdDownloadListener {
public:
    virtual ~IVAdDownloadListener() = default;
    virtual void adDownloadedForSlotNamed(NSString* name) = 0;
};

class IVAdManager : public NSObject {
    NS_OBJECT(IVAdManager, NSObject)
    static void describeClass(RuntimeClass& c);
    // {ivBaseDir}/Content, worked out on each call (the home folder may change); a new string.
    static Ref<NSString> adRootDir();
    // The ad root as the scripts' base URL: "file:/" + the path with "/" doubled and blanks as
    // %20 + "//".
    static Ref<NSURL> adBaseURL();
    // True when the time (milliseconds since 1970) lies before now.
    static bool expirationTimeHasPassed(int64_t milliseconds);
    // Now on the Clock, in seconds since 1970.
    static double nowSince1970();

    // Raises "Ironvine Initialization Failure" for a name given twice. Recovers each slot's
    // newest unexpired stored ad whose content folder is there and queues a fetch for every
    // slot without one.
    bool initWithSlotDescriptions(NSArray* descriptions);

    Ref<NSMutableDictionary> slotDict() { return slotDict_; }
    double fetchReenqueueDelay() { return fetchReenqueueDelay_.load(); }
    void setFetchReenqueueDelay(double seconds) { fetchReenqueueDelay_.store(seconds); }

    Ref<IVAdSlot> slotForName(NSString* name);
    bool isAdFetchedForSlotNamed(NSString* name);
    // False for an unknown slot; a listener of a slot that already has an ad is told at once.
    bool registerListener(NSObject* listener, NSString* name);

    void queueFetchForSlotNamed(NSString* name);
    // Asks the driver for the head of the queue; a refused request stays at the head.
    void fetchNextAd();
    void clientDriverDidInitialize() { fetchNextAd(); }
    void adDownloadFailedForSlotNamed(NSString* name);
    void adDownloadedForSlotNamed(NSString* name, int64_t dlTime, int64_t expiration);
    void notifyListenersAdDownloadedForSlotNamed(NSString* name);
    void scheduleExpirationForSlotNamed(NSString* name, int64_t dlTime, int64_t expiration);
    void expireAdForSlotNamed(NSString* name, int64_t dlTime);

    bool deleteAd(int64_t dlTime, NSString* name, bool fetchReplacement, bool async);
    bool deleteAd(int64_t dlTime, NSString* name, bool fetchReplacement) {
        return deleteAd(dlTime, name, fetchReplacement, true);
    }
    bool deleteAd(int64_t dlTime, NSString* name) { return deleteAd(dlTime, name, true, true); }
    void deleteAdCallback(NSString* name) { queueFetchForSlotNamed(name); }
    // Every row and the content folder of a slot name that is not (or no longer) in use.
    void nukeSlotNamed(NSString* name);
    void shutdown() {}

    // The queued slot names, head first.
    std::vector<std::string> fetchQueue() const;

private:
    Ref<NSMutableDictionary> slotDict_;
    std::map<std::string, std::vector<Ref<NSObject>>> listenerDict_;
    Ref<NSMutableArray> fetchQueue_;
    std::atomic<double> fetchReenqueueDelay_{60.0};
};
