// The services of the vendor's ad client that the analytics client starts and feeds. The ad
// client itself comes later; until then these keep the interface with an empty client's
// behaviour: no ads, no offers, nothing cached.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSData;
class NSMutableDictionary;
class NSString;
class NSTimer;
class TallyAdImpression;
class TallyOffer;

// The host's ad delegate: the facade only keeps it and hands it to the parser, the banners and
// the canvas; what they tell it comes with the ad client.
class TallyAdDelegate {
public:
    virtual ~TallyAdDelegate() = default;
};

// The heartbeat: one repeating timer per process.
class TallyHeartBeater : public NSObject {
    NS_OBJECT(TallyHeartBeater, NSObject)
    // Made and started once; later calls answer the running one unchanged.
    static Ref<TallyHeartBeater> createAndStartInstance(double interval);
    int beats() { return beats_; }
    double interval() { return interval_; }

private:
    Ref<NSTimer> timer_;
    double interval_ = 0;
    int beats_ = 0;
};

// The ad client's file cache, made once for the first API key.
class TallyFileCache : public NSObject {
    NS_OBJECT(TallyFileCache, NSObject)
    static Ref<TallyFileCache> createInstanceWithApiKey(NSString* apiKey);
    static Ref<TallyFileCache> instance();  // nil before creation
    Ref<NSString> apiKey() { return apiKey_; }

private:
    Ref<NSString> apiKey_;
};

// Which banner is assigned to which hook and parent.
class TallyAdAssignment : public NSObject {
    NS_OBJECT(TallyAdAssignment, NSObject)
    static void recreateInstance();
    static Ref<TallyAdAssignment> instance();
    Ref<NSObject> assignedBanner(NSString* hook, NSString* parentName);
    void assignBanner(NSObject* banner, NSString* hook, NSString* parentName);
    void unassignBanner(NSString* hook, NSString* parentName);

private:
    Ref<NSMutableDictionary> banners_;
};

// The parser of the ad reply that comes back with the start-up upload.
class TallyAdParser : public NSObject {
    NS_OBJECT(TallyAdParser, NSObject)
    static void recreateOldInstance();
    static void recreateInstance();
    static Ref<TallyAdParser> instance();
    static Ref<TallyAdParser> oldInstance();
    // No ads in an empty client.
    static Ref<NSObject> fastAdWithHook(NSString* hook, NSString* parentName);
    // Whether it filled the container with a valid offer: never in an empty client.
    static bool fastOfferWithHook(NSString* hook, TallyAdImpression* impression,
                                  TallyOffer* container);

    Ref<NSObject> adDelegate() { return adDelegate_.lock(); }
    void setAdDelegate(NSObject* delegate) { adDelegate_ = delegate; }
    // Whether the latest upload reached the server, and the reply it brought (nil on failure);
    // remembered as given.
    void setInternetAvailable(bool available);
    bool internetAvailable() { return internetAvailable_; }
    void parseData(NSData* data);
    Ref<NSData> lastData() { return lastData_; }
    int parsedCount() { return parsedCount_; }

private:
    Weak<NSObject> adDelegate_;
    bool internetAvailable_ = false;
    Ref<NSData> lastData_;
    int parsedCount_ = 0;
};
