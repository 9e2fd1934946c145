#include "ads/pebble/PBLStatistics.h"

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLTiming.h"

namespace {
// Click trackers of these hosts carry the ad's path part worth reporting.
NSString* const kAdNetworkDomain = NS("pebbleads.test");
}  // namespace

// ---- core ---------------------------------------------------------------------------------

bool PBLStatisticsCore::initWithIdentifier(NSString* identifier) {
    if (!NSObject::init() || !identifier) return false;
    identifier_ = identifier->copy();
    statistics_ = NSMutableDictionary::dictionary();
    loadPersistentStatistics();
    return true;
}

void PBLStatisticsCore::dealloc() {
    if (statistics_) savePersistentStatistics();
    NSObject::dealloc();
}

Ref<NSString> PBLStatisticsCore::userDefaultsKey() {
    return NSString::stringWithFormat(NS("pebble_stats_%@"), identifier_.get());
}

template <class T>
Ref<T> PBLStatisticsCore::typed(NSString* key) {
    return key ? as<T>(statistics_->objectForKey(key)) : nullptr;
}

Ref<NSNumber> PBLStatisticsCore::numberForKey(NSString* key) {
    return typed<NSNumber>(key);
}
Ref<NSString> PBLStatisticsCore::stringForKey(NSString* key) {
    return typed<NSString>(key);
}
Ref<NSDate> PBLStatisticsCore::dateForKey(NSString* key) {
    return typed<NSDate>(key);
}
Ref<NSArray> PBLStatisticsCore::arrayForKey(NSString* key) {
    return typed<NSArray>(key);
}
Ref<NSDictionary> PBLStatisticsCore::dictionaryForKey(NSString* key) {
    return typed<NSDictionary>(key);
}

void PBLStatisticsCore::setNumber(NSNumber* value, NSString* key) {
    setObject(value, key, NSNumber::staticClass());
}
void PBLStatisticsCore::setString(NSString* value, NSString* key) {
    setObject(value, key, NSString::staticClass());
}
void PBLStatisticsCore::setDate(NSDate* value, NSString* key) {
    setObject(value, key, NSDate::staticClass());
}
void PBLStatisticsCore::setArray(NSArray* value, NSString* key) {
    setObject(value, key, NSArray::staticClass());
}
void PBLStatisticsCore::setDictionary(NSDictionary* value, NSString* key) {
    setObject(value, key, NSDictionary::staticClass());
}

void PBLStatisticsCore::setObject(NSObject* value, NSString* key, Class matchingClass) {
    if (value && key && value->isKindOfClass(matchingClass)) statistics_->setObject(value, key);
}

int PBLStatisticsCore::addValue(int value, NSString* key) {
    auto stored = numberForKey(key);
    int sum = (stored ? stored->intValue() : 0) + value;
    setNumber(NSNumber::numberWithInt(sum), key);
    return sum;
}

void PBLStatisticsCore::removeObjectForKey(NSString* key) {
    if (key) statistics_->removeObjectForKey(key);
}

void PBLStatisticsCore::removeAllObjects() {
    statistics_->removeAllObjects();
}

void PBLStatisticsCore::savePersistentStatistics() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NSDictionary::dictionaryWithDictionary(statistics_), userDefaultsKey());
    defaults->synchronize();
}

void PBLStatisticsCore::loadPersistentStatistics() {
    auto stored = NSUserDefaults::standardUserDefaults()->dictionaryForKey(userDefaultsKey());
    if (stored) statistics_->addEntriesFromDictionary(stored);
}

// ---- statistics ---------------------------------------------------------------------------

namespace {
ProcessWide<PBLStatistics>& sharedSlot() {
    static ProcessWide<PBLStatistics> shared;
    return shared;
}
}  // namespace

Ref<PBLStatistics> PBLStatistics::sharedStatistics() {
    return sharedSlot().get();
}

void PBLStatistics::releaseSharedStatistics() {
    sharedSlot().reset();
}

Ref<NSArray> PBLStatistics::allTimingNames() {
    return NSArray::arrayWithObjects({NS("prl"), NS("pcl"), NS("pai"), NS("ppcl"), NS("pcrl"),
                                      NS("plpl"), NS("plpd"), NS("ptime")});
}

bool PBLStatistics::init() {
    if (!NSObject::init()) return false;
    statistics_ = make<PBLStatisticsCore>(&PBLStatisticsCore::initWithIdentifier, NS("shared"));
    timingMgr_ = make<PBLTimingManager>(&PBLTimingManager::initWithIdentifier, NS("shared"));
    return statistics_ && timingMgr_;
}

int PBLStatistics::incrementAdRequestCount() {
    return statistics_->addValue(1, NS("preqs"));
}
void PBLStatistics::setAdRequestCount(int count) {
    statistics_->setNumber(NSNumber::numberWithInt(count), NS("preqs"));
}
int PBLStatistics::adRequestCount() {
    auto n = statistics_->numberForKey(NS("preqs"));
    return n ? n->intValue() : 0;
}
void PBLStatistics::incrementClickCount() {
    statistics_->addValue(1, NS("pcc"));
}
void PBLStatistics::resetClickCount() {
    statistics_->setNumber(NSNumber::numberWithInt(0), NS("pcc"));
}
void PBLStatistics::incrementPageNavigationCount() {
    statistics_->addValue(1, NS("plpnc"));
}
void PBLStatistics::resetPageNavigationCount() {
    statistics_->setNumber(NSNumber::numberWithInt(0), NS("plpnc"));
}
void PBLStatistics::incrementSSLPageNavigationCount() {
    statistics_->addValue(1, NS("plpsnc"));
}
void PBLStatistics::resetSSLPageNavigationCount() {
    statistics_->setNumber(NSNumber::numberWithInt(0), NS("plpsnc"));
}

void PBLStatistics::setFlagWithParameterName(NSString* name) {
    statistics_->setNumber(NSNumber::numberWithInt(1), name);
}
void PBLStatistics::resetFlagWithParameterName(NSString* name) {
    statistics_->removeObjectForKey(name);
}
void PBLStatistics::setBreakOutToSafari() {
    setFlagWithParameterName(NS("pcbo"));
}
void PBLStatistics::resetBreakOutToSafari() {
    resetFlagWithParameterName(NS("pcbo"));
}
void PBLStatistics::setClickBackgroundedApp() {
    setFlagWithParameterName(NS("pclb"));
}
void PBLStatistics::resetClickBackgroundedApp() {
    resetFlagWithParameterName(NS("pclb"));
}
void PBLStatistics::setAppOpenInterstitialTimeOut() {
    setFlagWithParameterName(NS("aoi_timedout"));
}
void PBLStatistics::resetAppOpenInterstitialTimeOut() {
    resetFlagWithParameterName(NS("aoi_timedout"));
}
void PBLStatistics::setAppOpenInterstitialNoFill() {
    setFlagWithParameterName(NS("aoi_nofill"));
}
void PBLStatistics::resetAppOpenInterstitialNoFill() {
    resetFlagWithParameterName(NS("aoi_nofill"));
}

void PBLStatistics::startTimingNamed(NSString* name) {
    timingMgr_->removeTimingForCategory(name);
    if (auto timing = timingMgr_->addTimingWithCategory(name)) timing->start();
}

void PBLStatistics::endTimingNamed(NSString* name) {
    if (auto timing = timingMgr_->timingForCategory(name)) timing->end();
}

Ref<PBLTiming> PBLStatistics::timingNamed(NSString* name) {
    return timingMgr_->timingForCategory(name);
}

void PBLStatistics::removeTimingNamed(NSString* name) {
    timingMgr_->removeTimingForCategory(name);
}

bool PBLStatistics::isTimingClick() {
    auto timing = timingNamed(NS("pcl"));
    return timing && timing->isActive();
}

void PBLStatistics::addClickTrackingURL(NSURL* url) {
    auto host = url ? url->host() : nullptr;
    auto path = url ? url->path() : nullptr;
    if (!host || !host->hasSuffix(kAdNetworkDomain) || !path || path->length() < 5) return;
    if (auto click = timingNamed(NS("pcl")))
        click->setValue(path->substringFromIndex(4), NS("pit"));
}

Ref<NSURL> PBLStatistics::urlForClick(NSURL* url) {
    if (!url) return nullptr;
    auto scheme = url->scheme();
    if (scheme && (scheme->isEqualToString(NS("gmsg")) || scheme->isEqualToString(NS("pebble"))))
        return url;
    if (auto text = url->absoluteString(); text && text->isEqualToString(NS("about:blank")))
        return url;
    incrementClickCount();
    startTimingNamed(NS("pcl"));
    startTimingNamed(NS("pcrl"));
    endTimingNamed(NS("ppcl"));
    auto click = timingNamed(NS("pcl"));
    click->setValue(NSDate::date(), NS("date"));
    Ref<NSURL> result = url;
    auto ai = PBLNetworkUtilities::parameterValueForKey(NS("ai"), url);
    if (ai && ai->length() > 0) {
        click->setValue(ai, NS("pai"));
        auto signal = NSMutableString::string();
        if (pblSignalsClickParameter(ai, signal) && signal->length() > 0)
            result = PBLNetworkUtilities::appendQueryKey(signal, nullptr, url);
    }
    endTimingNamed(NS("pcrl"));
    return result;
}

Ref<NSDictionary> PBLStatistics::parameters() {
    auto result = NSMutableDictionary::dictionary();
    auto click = timingNamed(NS("pcl"));
    // A time from the ad to the click is reported only together with the click.
    if (!click) removeTimingNamed(NS("ppcl"));
    unsigned backgroundedMs = 0;
    if (statistics_->numberForKey(NS("pclb")) && click) {
        if (auto date = as<NSDate>(click->valueForKey(NS("date")))) {
            double ms = std::fabs(date->timeIntervalSinceNow()) * 1000.0;
            backgroundedMs = ms >= 4294967295.0 ? 4294967295u : static_cast<unsigned>(ms);
        }
    }
    if (click) click->removeValueForKey(NS("date"));
    auto names = allTimingNames();
    for (NSObject* item : *names) {
        auto name = static_cast<NSString*>(item);
        auto timing = timingNamed(name);
        if (!timing) continue;
        result->setObject(timing->elapsedMillisecondsString(), name);
        result->addEntriesFromDictionary(timing->keysAndValues());
        if (!name->isEqualToString(NS("ptime"))) removeTimingNamed(name);
    }
    if (backgroundedMs != 0)
        result->setObject(NSNumber::numberWithUnsignedInt(backgroundedMs), NS("pcl"));
    for (NSString* key : {NS("preqs"), NS("pcbo"), NS("aoi_timedout"), NS("aoi_nofill"), NS("pclb"),
                          NS("plpnc"), NS("plpsnc"), NS("pcc")}) {
        auto stored = statistics_->numberForKey(key);
        if (stored && stored->intValue() != 0) result->setObject(stored, key);
    }
    for (NSString* flag : {NS("pcbo"), NS("aoi_timedout"), NS("aoi_nofill"), NS("pclb")})
        resetFlagWithParameterName(flag);
    resetPageNavigationCount();
    resetSSLPageNavigationCount();
    resetClickCount();
    return NSDictionary::dictionaryWithDictionary(result);
}

void PBLStatistics::synchronize() {
    statistics_->synchronize();
    timingMgr_->synchronize();
}
