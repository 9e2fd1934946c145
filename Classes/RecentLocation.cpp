#include "Classes/RecentLocation.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"

namespace {
constexpr int kSlots = 4;

Ref<NSString> slotKey(NSString* prefix, int slot) {
    return NSString::stringWithFormat(NS("%@%d"), prefix, slot);
}
}  // namespace

void RecentLocation::describeClass(RuntimeClass& c) {
    c.property("state", &RecentLocation::state, &RecentLocation::setState);
    c.property("city", &RecentLocation::city, &RecentLocation::setCity);
    c.property("url", &RecentLocation::url, &RecentLocation::setUrl);
    c.classMethod("getRecentLocations", &RecentLocation::getRecentLocations);
    c.classMethod("addRecentLocation:state:city:", &RecentLocation::addRecentLocation);
}

Ref<NSArray> RecentLocation::getRecentLocations() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto list = NSMutableArray::arrayWithCapacity(kSlots);
    for (int slot = 0; slot < kSlots; ++slot) {
        auto url = defaults->stringForKey(slotKey(NS("LocationUrl"), slot));
        auto state = defaults->stringForKey(slotKey(NS("LocationState"), slot));
        auto city = defaults->stringForKey(slotKey(NS("RecentCity"), slot));
        if (!url || !state || !city) continue;
        auto entry = make<RecentLocation>();
        entry->setUrl(url);
        entry->setState(state);
        entry->setCity(city);
        list->addObject(entry);
    }
    return list;
}

void RecentLocation::addRecentLocation(NSString* url, NSString* state, NSString* city) {
    // A location without a URL cannot be searched; storing it would only wipe a slot.
    if (!url) return;
    auto current = getRecentLocations();
    for (NSUInteger i = 0; i < current->count(); ++i) {
        auto entry = cast<RecentLocation>(current->objectAtIndex(i));
        if (entry->url()->isEqualToString(url)) return;
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    // Kept in range even if the stored index was tampered with.
    int slot = ((defaults->integerForKey(NS("RecentIndex")) % kSlots) + kSlots + 1) % kSlots;
    defaults->setObject(url, slotKey(NS("LocationUrl"), slot));
    defaults->setObject(state, slotKey(NS("LocationState"), slot));
    defaults->setObject(city, slotKey(NS("RecentCity"), slot));
    defaults->setInteger(slot, NS("RecentIndex"));
    defaults->synchronize();
}
