// The ad reply's process-wide settings, each with its default until a reply sets it, and the
// record of which ads and banners are in use under each parent view.
#pragma once

#include <cstdint>
#include <mutex>

#include "Foundation/NSObject.h"

class NSMutableDictionary;
class NSNumber;
class NSString;
class TallyAd;

class TallyAdProperties : public NSObject {
    NS_OBJECT(TallyAdProperties, NSObject)
    // A nil number brings the default back.
    static void setBannerRefreshInSeconds(NSNumber* value);
    static uint32_t getBannerRefreshInSeconds();  // 20
    static void setCacheUpdateTimestamp(NSNumber* value);
    static int64_t getCacheUpdateTimestamp();  // 0
    static void setPortraitAdsMaxShown(NSNumber* value);
    static int32_t getPortraitAdsMaxShown();  // 5; never below 0
    static void setLandscapeAdsMaxShown(NSNumber* value);
    static int32_t getLandscapeAdsMaxShown();  // 3; never below 0
    static void setPortraitAdsShownAtStart(NSNumber* value);
    static float getPortraitAdsShownAtStart();  // 2.5
    static void setLandscapeAdsShownAtStart(NSNumber* value);
    static float getLandscapeAdsShownAtStart();  // 0.75
    // A decimal text with "." as its point, whatever the locale; nil for anything else.
    static Ref<NSNumber> numberFromText(NSString* text);
};

class TallyAdAssignment : public NSObject {
    NS_OBJECT(TallyAdAssignment, NSObject)
    static Ref<TallyAdAssignment> createInstance();
    // Forgets every assignment; run at every session start.
    static Ref<TallyAdAssignment> recreateInstance();
    // The instance, or nil before one was made (never made here).
    static Ref<TallyAdAssignment> instance();

    bool init() override;
    // The ad, or nil when its id is already in use under the parent. A nil parent records
    // nothing and always gives the ad.
    Ref<TallyAd> assignAd(TallyAd* ad, NSString* parentName);
    void removeAd(TallyAd* ad, NSString* parentName);
    void removeAdsOnParentName(NSString* parentName);
    // The first banner assigned to a hook under a parent stays.
    void assignBanner(NSObject* banner, NSString* hook, NSString* parentName);
    Ref<NSObject> assignedBanner(NSString* hook, NSString* parentName);
    void unassignBanner(NSString* hook, NSString* parentName);

private:
    std::mutex lock_;  // lookups come from the main thread and the upload thread
    Ref<NSMutableDictionary> adAssignmentMap_;
    Ref<NSMutableDictionary> bannerAssignmentMap_;
};
