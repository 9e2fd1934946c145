#include "Foundation/ProcessWide.h"

#include <vector>

namespace {
struct Registry {
    std::mutex lock;
    std::vector<processwide_detail::Slot*> slots;
};
Registry& registry() {
    static Registry* r = new Registry();  // never destroyed, like the slots it lists
    return *r;
}
}  // namespace

void processwide_detail::enroll(Slot* slot) {
    auto& r = registry();
    std::lock_guard lock(r.lock);
    r.slots.push_back(slot);
}

void resetProcessWideInstances() {
    auto& r = registry();
    // An instance's dealloc may enroll or use other slots, so the list is copied and walked
    // without the registry's lock; a slot enrolled meanwhile is newer and its turn comes later.
    std::vector<processwide_detail::Slot*> slots;
    {
        std::lock_guard lock(r.lock);
        slots = r.slots;
    }
    for (auto it = slots.rbegin(); it != slots.rend(); ++it)
        (*it)->drop();
}
