#include "ads/pebble/PBLSignals.h"

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "ads/pebble/HXStringEncoding.h"

namespace {
struct SignalState {
    bool enabled = true;
    unsigned loads = 0;
    unsigned touches = 0;
};

SignalState& state() {
    static SignalState s;
    return s;
}

Ref<NSString> webSafeBase64(NSString* text) {
    auto encoding = HXStringEncoding::rfc4648Base64WebsafeStringEncoding();
    encoding->setDoPad(false);
    return encoding->encodeString(text);
}
}  // namespace

int pblSignalsNoteAdLoad(int, NSString*) {
    if (!state().enabled) return 0;
    ++state().loads;
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
