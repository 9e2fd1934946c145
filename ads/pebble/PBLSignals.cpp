#include "ads/pebble/PBLSignals.h"

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "ads/pebble/PBLGestureUtil.h"

namespace {
struct SignalState {
    bool enabled = true;
    unsigned loads = 0;
    unsigned touches = 0;
};

SignalState& state() {
    static ProcessWide<SignalState> slot;
    return *slot.get();
}

Ref<NSString> webSafeBase64(NSString* text) {
    std::string utf8 = text->utf8();
    return pblGestureBase64(utf8.data(), static_cast<unsigned>(utf8.size()));
}
}  // namespace

int pblSignalsNoteAdLoad(int, NSString*) {
    if (!state().enabled) return 0;
    ++state().loads;
    return 1;
}

int pblSignalsRequestParameter(NSMutableString* pair) {
    if (!state().enabled || !pair) return 0;
    int32_t sample[4];
    pblGestureAccelerationSample(sample);
    unsigned flags = 0;
    pblGestureReachability(&flags);
    auto record = NSString::stringWithFormat(NS("v1;loads=%u;touches=%u;acc=%d,%d,%d;reach=%u"),
                                             state().loads, state().touches, sample[0], sample[1],
                                             sample[2], flags);
    pair->setString(NS("ms="));
    pair->appendString(webSafeBase64(record));
    return 1;
}

int pblSignalsClickParameter(NSString* ai, NSMutableString* key) {
    if (!state().enabled || !ai || ai->length() == 0 || !key) return 0;
    auto record = NSString::stringWithFormat(NS("%@;%u"), ai, state().touches);
    key->setString(NS("nb"));
    key->appendString(webSafeBase64(record));
    return 1;
}

void pblSignalsRecordTouch(int, int, int) {
    if (state().enabled) ++state().touches;
}

void PBLSignals::setEnabled(bool enabled) {
    state().enabled = enabled;
}
bool PBLSignals::isEnabled() {
    return state().enabled;
}
unsigned PBLSignals::loads() {
    return state().loads;
}
unsigned PBLSignals::touches() {
    return state().touches;
}
void PBLSignals::reset() {
    state().loads = 0;
    state().touches = 0;
}
