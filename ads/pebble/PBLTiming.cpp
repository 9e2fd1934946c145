#include "ads/pebble/PBLTiming.h"

#include <cmath>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIKitNotifications.h"

double PBLTiming::counter() {
    return Clock::uptime();
}

bool PBLTiming::initWithCategory(NSString* category) {
    if (!NSObject::init() || !category) return false;
    category_ = category->copy();
    return true;
}

bool PBLTiming::initWithDictionaryRepresentation(NSDictionary* representation) {
    if (!NSObject::init() || !representation) return false;
    category_ = as<NSString>(representation->objectForKey(NS("category")));
    if (auto start = as<NSNumber>(representation->objectForKey(NS("start"))))
        startSeconds_ = start->doubleValue();
    if (auto end = as<NSNumber>(representation->objectForKey(NS("end"))))
        endSeconds_ = end->doubleValue();
    if (auto userData = as<NSDictionary>(representation->objectForKey(NS("userData"))))
        userData_ = NSMutableDictionary::dictionaryWithDictionary(userData);
    return true;
}

Ref<NSDictionary> PBLTiming::dictionaryRepresentation() {
    auto result = NSMutableDictionary::dictionary();
    if (category_) result->setObject(category_, NS("category"));
    result->setObject(NSNumber::numberWithDouble(startSeconds_), NS("start"));
    result->setObject(NSNumber::numberWithDouble(endSeconds_), NS("end"));
    if (userData_)
        result->setObject(NSDictionary::dictionaryWithDictionary(userData_), NS("userData"));
    return result;
}

Ref<NSObject> PBLTiming::copyWithZone() {
    return make<PBLTiming>(&PBLTiming::initWithDictionaryRepresentation,
                           dictionaryRepresentation().get());
}

void PBLTiming::start() {
    startSeconds_ = counter();
    endSeconds_ = 0;
}

void PBLTiming::end() {
    if (startSeconds_ > 0) endSeconds_ = counter();
}

void PBLTiming::reset() {
    startSeconds_ = endSeconds_ = 0;
}

unsigned PBLTiming::elapsedMilliseconds() {
    if (startSeconds_ <= 0) return 0;
    double end = endSeconds_ < startSeconds_ ? counter() : endSeconds_;
    double ms = (end - startSeconds_) * 1000.0;
    if (!(ms > 0)) return 0;
    // Truncated, but the difference of two clock readings is a hair off the time between them,
    // either way: a microsecond of slack keeps a whole count of milliseconds whole, far above
    // that error even after days of uptime and far below what a count of milliseconds tells.
    ms = std::floor(ms + 1e-3);
    return ms >= 4294967295.0 ? 4294967295u : static_cast<unsigned>(ms);
}

Ref<NSString> PBLTiming::elapsedMillisecondsString() {
    return NSString::stringWithFormat(NS("%d"), elapsedMilliseconds());
}

void PBLTiming::setValue(NSObject* value, NSString* key) {
    if (!value || !key) return;
    if (!userData_) userData_ = NSMutableDictionary::dictionary();
    userData_->setObject(value, key);
}

Ref<NSObject> PBLTiming::valueForKey(NSString* key) {
    return userData_ && key ? userData_->objectForKey(key) : nullptr;
}

void PBLTiming::removeValueForKey(NSString* key) {
    if (userData_ && key) userData_->removeObjectForKey(key);
}

Ref<NSDictionary> PBLTiming::keysAndValues() {
    return userData_ ? NSDictionary::dictionaryWithDictionary(userData_)
                     : NSDictionary::dictionary();
}

Ref<NSString> PBLTiming::description() {
    return NSString::stringWithFormat(NS("%@ (%p): %@"), NS("PBLTiming"), this,
                                      dictionaryRepresentation().get());
}

// ---- manager ------------------------------------------------------------------------------

namespace {
// Wall time at boot, stored beside the timings to tell a later boot's clock from this one's.
double bootTime() {
    return Clock::now() - Clock::uptime();
}
constexpr double kBootTolerance = 5.0;  // the wall clock drifts against the monotonic one
}  // namespace

void PBLTimingManager::describeClass(RuntimeClass& c) {
    c.method("applicationWillTerminate:", &PBLTimingManager::applicationWillTerminate);
}

bool PBLTimingManager::initWithIdentifier(NSString* identifier) {
    if (!NSObject::init() || !identifier) return false;
    identifier_ = identifier->copy();
    timings_ = NSMutableDictionary::dictionary();
    loadPersistentTimings();
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("applicationWillTerminate:"), UIApplicationWillTerminateNotification,
        nullptr);
    return true;
}

void PBLTimingManager::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (identifier_) savePersistentTimings();
    timings_ = nullptr;
    NSObject::dealloc();
}

void PBLTimingManager::applicationWillTerminate(NSNotification*) {
    savePersistentTimings();
}

Ref<PBLTiming> PBLTimingManager::addTimingWithCategory(NSString* category) {
    auto timing = make<PBLTiming>(&PBLTiming::initWithCategory, category);
    addTiming(timing);
    return timing;
}

void PBLTimingManager::addTiming(PBLTiming* timing) {
    if (timing && timing->category()) timings_->setObject(timing, timing->category());
}

Ref<PBLTiming> PBLTimingManager::timingForCategory(NSString* category) {
    return category ? as<PBLTiming>(timings_->objectForKey(category)) : nullptr;
}

void PBLTimingManager::removeTimingForCategory(NSString* category) {
    if (category) timings_->removeObjectForKey(category);
}

void PBLTimingManager::removeTiming(PBLTiming* timing) {
    if (timing) removeTimingForCategory(timing->category());
}

void PBLTimingManager::removeTimingsForCategories(NSArray* categories) {
    if (!categories) return;
    for (NSObject* category : *categories)
        if (auto s = as<NSString>(category)) removeTimingForCategory(s);
}

void PBLTimingManager::removeAllTimings() {
    timings_->removeAllObjects();
}

Ref<NSArray> PBLTimingManager::categories() {
    return timings_->allKeys();
}

Ref<NSArray> PBLTimingManager::timings() {
    return timings_->allValues();
}

Ref<NSString> PBLTimingManager::userDefaultsKey() {
    return NSString::stringWithFormat(NS("pebble_timing_%@"), identifier_.get());
}

void PBLTimingManager::savePersistentTimings() {
    auto stored = NSMutableDictionary::dictionary();
    auto categories = timings_->allKeys();
    for (NSObject* category : *categories)
        stored->setObject(
            cast<PBLTiming>(timings_->objectForKey(category))->dictionaryRepresentation(),
            category);
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto key = userDefaultsKey();
    defaults->setObject(stored, key);
    defaults->setObject(NSNumber::numberWithDouble(bootTime()),
                        key->stringByAppendingString(NS("_boot")));
    defaults->synchronize();
}

void PBLTimingManager::loadPersistentTimings() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto key = userDefaultsKey();
    auto stored = defaults->dictionaryForKey(key);
    if (!stored) return;
    auto savedBoot =
        as<NSNumber>(defaults->objectForKey(key->stringByAppendingString(NS("_boot"))));
    if (!savedBoot || std::fabs(savedBoot->doubleValue() - bootTime()) > kBootTolerance) return;
    auto keys = stored->allKeys();
    for (NSObject* entryKey : *keys) {
        auto representation = as<NSDictionary>(stored->objectForKey(entryKey));
        if (!representation || !as<NSString>(representation->objectForKey(NS("category"))))
            continue;
        auto timing =
            make<PBLTiming>(&PBLTiming::initWithDictionaryRepresentation, representation.get());
        if (timing) timings_->setObject(timing, entryKey);
    }
}
