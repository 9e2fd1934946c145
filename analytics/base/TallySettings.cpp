#include "analytics/base/TallySettings.h"

#include "Foundation/ProcessWide.h"

namespace tally_settings {

std::mutex& lock() {
    // A lock, not state: an upload thread may still hold it while the process ends.
    static std::mutex* m = new std::mutex();
    return *m;
}

TallySettings& shared() {
    static ProcessWide<TallySettings> slot;
    return *slot.get();
}

}  // namespace tally_settings
