#include "ads/pebble/PBLPrivateUtilities.h"

#include <unordered_map>
#include <vector>

namespace {
struct Entry {
    NSObject* owner;  // not retained
    Ref<NSObject> companion;
};

// Buckets by the owner's hash; owners match by their own equality.
// Never torn down: companions still filed at exit (a screen that is showing) would otherwise
// reach back into the table while it is being destroyed.
std::unordered_map<NSUInteger, std::vector<Entry>>& registry() {
    static auto* entries = new std::unordered_map<NSUInteger, std::vector<Entry>>;
    return *entries;
}

Entry* find(NSObject* owner) {
    auto bucket = registry().find(owner->hash());
    if (bucket == registry().end()) return nullptr;
    for (auto& entry : bucket->second)
        if (entry.owner == owner || entry.owner->isEqual(owner)) return &entry;
    return nullptr;
}
}  // namespace

void PBLPrivateUtilities::setPrivateObject(NSObject* privateObject, NSObject* owner) {
    if (!owner) return;
    if (!privateObject) {
        removePrivateObjectForKey(owner);
        return;
    }
    if (auto entry = find(owner)) {
        Ref<NSObject> old = entry->companion;  // released after the entry is updated
        entry->companion = privateObject;
        return;
    }
    registry()[owner->hash()].push_back({owner, privateObject});
}

Ref<NSObject> PBLPrivateUtilities::privateObjectForKey(NSObject* owner) {
    auto entry = owner ? find(owner) : nullptr;
    return entry ? entry->companion : nullptr;
}

void PBLPrivateUtilities::removePrivateObjectForKey(NSObject* owner) {
    if (!owner) return;
    auto bucket = registry().find(owner->hash());
    if (bucket == registry().end()) return;
    auto& entries = bucket->second;
    for (auto it = entries.begin(); it != entries.end(); ++it) {
        if (it->owner == owner || it->owner->isEqual(owner)) {
            // The companion may remove other entries while it goes away: take it out first.
            Ref<NSObject> companion = std::move(it->companion);
            entries.erase(it);
            if (entries.empty()) registry().erase(bucket);
            return;
        }
    }
}
