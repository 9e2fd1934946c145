#include "analytics/base/TallySettings.h"

namespace tally_settings {

std::mutex& lock() {
    static std::mutex* m = new std::mutex();
    return *m;
}

TallySettings& shared() {
    static TallySettings* s = new TallySettings();
    return *s;
}

}  // namespace tally_settings
