#include "ads/tally/TallyAdProperties.h"

#include <charconv>
#include <mutex>
#include <string>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/base/TallyUtil.h"

namespace {
enum Setting { Refresh, Timestamp, PortraitMax, LandscapeMax, PortraitStart, LandscapeStart };

std::mutex propertiesLock;
// The values the service set, nil for a default; under propertiesLock.
struct ServiceSettings {
    Ref<NSNumber> values[6];
};
Ref<NSNumber>& setting(Setting s) {
    static ProcessWide<ServiceSettings> slot;
    return slot.get()->values[s];
}
const char* const kNames[6] = {"BannerRefreshInSeconds",  "CacheUpdateTimestamp",
                               "PortraitAdsMaxShown",     "LandscapeAdsMaxShown",
                               "PortraitAdsShownAtStart", "LandscapeAdsShownAtStart"};

void set(Setting s, NSNumber* value) {
    TallyUtil::debugLog(NS("Tally: Set %s[%@]"), kNames[s], value);
    std::lock_guard lock(propertiesLock);
    setting(s) = value;
}

// The setting's value, or its default; logs where it came from and the result (printed with
// the format given, as the wider type W).
template <class T, class W = T, class F>
T valueOf(Setting s, T fallback, F convert, NSString* resultFormat) {
    Ref<NSNumber> value;
    {
        std::lock_guard lock(propertiesLock);
        value = setting(s);
    }
    TallyUtil::debugLog(value ? NS("Tally: Use %s property") : NS("Tally: Use %s default"),
                        kNames[s]);
    T result = value ? convert(value.get()) : fallback;
    TallyUtil::debugLog(resultFormat, kNames[s], static_cast<W>(result));
    return result;
}
}  // namespace

void TallyAdProperties::setBannerRefreshInSeconds(NSNumber* v) {
    set(Refresh, v);
}
uint32_t TallyAdProperties::getBannerRefreshInSeconds() {
    return valueOf<uint32_t, int>(
        Refresh, 20, [](NSNumber* n) { return n->unsignedIntValue(); }, NS("Tally: Get %s[%d]"));
}
void TallyAdProperties::setCacheUpdateTimestamp(NSNumber* v) {
    set(Timestamp, v);
}
int64_t TallyAdProperties::getCacheUpdateTimestamp() {
    return valueOf<int64_t, long long>(
        Timestamp, 0, [](NSNumber* n) { return static_cast<int64_t>(n->longLongValue()); },
        NS("Tally: Get %s[%lld]"));
}
// A negative count would size the canvas drawer below nothing: it counts as none.
void TallyAdProperties::setPortraitAdsMaxShown(NSNumber* v) {
    set(PortraitMax, v);
}
int32_t TallyAdProperties::getPortraitAdsMaxShown() {
    return valueOf<int32_t>(
        PortraitMax, 5, [](NSNumber* n) { return std::max(0, n->intValue()); },
        NS("Tally: Get %s[%d]"));
}
void TallyAdProperties::setLandscapeAdsMaxShown(NSNumber* v) {
    set(LandscapeMax, v);
}
int32_t TallyAdProperties::getLandscapeAdsMaxShown() {
    return valueOf<int32_t>(
        LandscapeMax, 3, [](NSNumber* n) { return std::max(0, n->intValue()); },
        NS("Tally: Get %s[%d]"));
}
void TallyAdProperties::setPortraitAdsShownAtStart(NSNumber* v) {
    set(PortraitStart, v);
}
float TallyAdProperties::getPortraitAdsShownAtStart() {
    return valueOf<float, double>(
        PortraitStart, 2.5f, [](NSNumber* n) { return n->floatValue(); }, NS("Tally: Get %s[%f]"));
}
void TallyAdProperties::setLandscapeAdsShownAtStart(NSNumber* v) {
    set(LandscapeStart, v);
}
float TallyAdProperties::getLandscapeAdsShownAtStart() {
    return valueOf<float, double>(
        LandscapeStart, 0.75f, [](NSNumber* n) { return n->floatValue(); },
        NS("Tally: Get %s[%f]"));
}

Ref<NSNumber> TallyAdProperties::numberFromText(NSString* text) {
    if (!text) return nullptr;
    std::string s = text->UTF8String();
    auto begin = s.data();
    auto end = s.data() + s.size();
    if (begin != end && *begin == '+') ++begin;
    double value = 0;
    auto [at, error] = std::from_chars(begin, end, value, std::chars_format::fixed);
    if (error != std::errc() || at != end || begin == end) return nullptr;
    return NSNumber::numberWithDouble(value);
}

namespace {
ProcessWide<TallyAdAssignment>& sharedAssignment() {
    static ProcessWide<TallyAdAssignment> slot;
    return slot;
}
}  // namespace

Ref<TallyAdAssignment> TallyAdAssignment::createInstance() {
    return sharedAssignment().get();
}

Ref<TallyAdAssignment> TallyAdAssignment::recreateInstance() {
    TallyUtil::debugLog(NS("Tally: recreate TallyAdAssignment"));
    // Freed after the new one is made, outside the slot's lock: its banners use the new one.
    auto previous = sharedAssignment().exchange(nullptr);
    return createInstance();
}

Ref<TallyAdAssignment> TallyAdAssignment::instance() {
    return sharedAssignment().peek();
}

bool TallyAdAssignment::init() {
    if (!NSObject::init()) return false;
    adAssignmentMap_ = NSMutableDictionary::dictionaryWithCapacity(10);
    bannerAssignmentMap_ = NSMutableDictionary::dictionaryWithCapacity(1);
    return true;
}

Ref<TallyAd> TallyAdAssignment::assignAd(TallyAd* ad, NSString* parentName) {
    if (!parentName || !ad) return ad;
    std::lock_guard lock(lock_);
    auto set = as<NSMutableSet>(adAssignmentMap_->objectForKey(parentName));
    if (!set) set = NSMutableSet::set();
    TallyUtil::debugLog(NS("Tally: Num of assigned ads[%d] found for parent[%@]"),
                        static_cast<int>(set->count()), parentName);
    auto adId = ad->adId();
    if (adId && set->containsObject(adId)) {
        TallyUtil::debugLog(NS("Tally: Cannot assign ad[%@] to parent[%@]"), adId, parentName);
        return nullptr;
    }
    if (adId) set->addObject(adId);
    adAssignmentMap_->setObject(set, parentName);
    TallyUtil::debugLog(NS("Tally: Assign ad[%@] to parent[%@]"), adId, parentName);
    return ad;
}

void TallyAdAssignment::removeAd(TallyAd* ad, NSString* parentName) {
    if (!parentName || !ad || !ad->adId()) return;
    std::lock_guard lock(lock_);
    auto set = as<NSMutableSet>(adAssignmentMap_->objectForKey(parentName));
    if (!set) return;
    set->removeObject(ad->adId());
    TallyUtil::debugLog(NS("Tally: Remove assigned ad[%@] on parent[%@]"), ad->adId(), parentName);
}

void TallyAdAssignment::removeAdsOnParentName(NSString* parentName) {
    if (!parentName) return;
    std::lock_guard lock(lock_);
    adAssignmentMap_->setObject(NSMutableSet::set(), parentName);
    TallyUtil::debugLog(NS("Tally: Remove assigned ads on parent[%@]"), parentName);
}

void TallyAdAssignment::assignBanner(NSObject* banner, NSString* hook, NSString* parentName) {
    if (!hook || !parentName || !banner) return;
    std::lock_guard lock(lock_);
    auto map = as<NSMutableDictionary>(bannerAssignmentMap_->objectForKey(parentName));
    if (!map) map = NSMutableDictionary::dictionaryWithCapacity(1);
    TallyUtil::debugLog(NS("Tally: Num of assigned banners[%d] found for parent[%@]"),
                        static_cast<int>(map->count()), parentName);
    if (map->objectForKey(hook)) return;
    map->setObject(banner, hook);
    bannerAssignmentMap_->setObject(map, parentName);
    TallyUtil::debugLog(NS("Tally: Assign banner[%@] to hook[%@] and parent[%@]"), banner, hook,
                        parentName);
}

Ref<NSObject> TallyAdAssignment::assignedBanner(NSString* hook, NSString* parentName) {
    if (!hook || !parentName) return nullptr;
    std::lock_guard lock(lock_);
    auto map = as<NSDictionary>(bannerAssignmentMap_->objectForKey(parentName));
    return map ? map->objectForKey(hook) : nullptr;
}

void TallyAdAssignment::unassignBanner(NSString* hook, NSString* parentName) {
    if (!hook || !parentName) return;
    std::lock_guard lock(lock_);
    if (auto map = as<NSMutableDictionary>(bannerAssignmentMap_->objectForKey(parentName)))
        map->removeObjectForKey(hook);
}
