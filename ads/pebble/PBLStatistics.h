// The ad client's own counters, flags and timings, reported with the next ad request.
// Main thread only.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDate;
class NSDictionary;
class NSMutableDictionary;
class NSNumber;
class NSString;
class NSURL;
class PBLTiming;
class PBLTimingManager;

// A typed key-value store kept in the user defaults under "pebble_stats_<identifier>".
class PBLStatisticsCore : public NSObject {
    NS_OBJECT(PBLStatisticsCore, NSObject)
    bool initWithIdentifier(NSString* identifier);
    void dealloc() override;  // saves first

    Ref<NSString> identifier() { return identifier_; }
    Ref<NSString> userDefaultsKey();

    // nil when absent or when the stored object is of another class.
    Ref<NSNumber> numberForKey(NSString* key);
    Ref<NSString> stringForKey(NSString* key);
    Ref<NSDate> dateForKey(NSString* key);
    Ref<NSArray> arrayForKey(NSString* key);
    Ref<NSDictionary> dictionaryForKey(NSString* key);

    void setNumber(NSNumber* value, NSString* key);
    void setString(NSString* value, NSString* key);
    void setDate(NSDate* value, NSString* key);
    void setArray(NSArray* value, NSString* key);
    void setDictionary(NSDictionary* value, NSString* key);
    // Stores the value only when it is a kind of the class.
    void setObject(NSObject* value, NSString* key, Class matchingClass);
    int addValue(int value, NSString* key);

    void removeObjectForKey(NSString* key);
    void removeAllObjects();
    void synchronize() { savePersistentStatistics(); }
    void savePersistentStatistics();
    void loadPersistentStatistics();

private:
    template <class T>
    Ref<T> typed(NSString* key);
    Ref<NSString> identifier_;
    Ref<NSMutableDictionary> statistics_;
};

class PBLStatistics : public NSObject {
    NS_OBJECT(PBLStatistics, NSObject)
    static Ref<PBLStatistics> sharedStatistics();
    static void releaseSharedStatistics();
    static Ref<NSArray> allTimingNames();
    bool init() override;

    int incrementAdRequestCount();
    void setAdRequestCount(int count);
    int adRequestCount();
    void incrementClickCount();
    void resetClickCount();
    void incrementPageNavigationCount();
    void resetPageNavigationCount();
    void incrementSSLPageNavigationCount();
    void resetSSLPageNavigationCount();

    void setFlagWithParameterName(NSString* name);
    void resetFlagWithParameterName(NSString* name);
    void setBreakOutToSafari();
    void resetBreakOutToSafari();
    void setClickBackgroundedApp();
    void resetClickBackgroundedApp();
    void setAppOpenInterstitialTimeOut();
    void resetAppOpenInterstitialTimeOut();
    void setAppOpenInterstitialNoFill();
    void resetAppOpenInterstitialNoFill();

    void startTimingNamed(NSString* name);
    void endTimingNamed(NSString* name);
    Ref<PBLTiming> timingNamed(NSString* name);
    void removeTimingNamed(NSString* name);
    bool isTimingClick();

    // Keeps part of the path of a click-tracking URL of the ad network's own hosts.
    void addClickTrackingURL(NSURL* url);
    // Counts and times a click and returns the URL to open (with a signal key when there is one).
    Ref<NSURL> urlForClick(NSURL* url);
    // Reports, then clears everything but "preqs" and "ptime". Saves nothing.
    Ref<NSDictionary> parameters();
    void synchronize();

    Ref<PBLStatisticsCore> core() { return statistics_; }
    Ref<PBLTimingManager> timingManager() { return timingMgr_; }

private:
    Ref<PBLStatisticsCore> statistics_;
    Ref<PBLTimingManager> timingMgr_;
};
