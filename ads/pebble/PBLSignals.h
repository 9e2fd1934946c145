// The signal component: extra values for ad requests and click URLs, fed with ad loads and the
// touches that ad pages report. Main thread only.
#pragma once

class NSMutableString;
class NSString;

// Counts one ad page load; the result is not used.
int pblSignalsNoteAdLoad(int requestType, NSString* sdkVersion);
// Fills `pair` with "ms=" and the encoded record of loads, touches, the last acceleration
// sample and the reachability flags. Zero when nothing was written.
int pblSignalsRequestParameter(NSMutableString* pair);
// Fills `key` with one bare query key for the click URL ("nb" and the encoded "ai;touches").
// Zero when nothing was written.
int pblSignalsClickParameter(NSString* ai, NSMutableString* key);
// The page's "tx", "ty" and "td" values (-1 when absent); counts one touch.
void pblSignalsRecordTouch(int x, int y, int duration);

class PBLSignals {
public:
    // Off: no entry writes anything.
    static void setEnabled(bool enabled);
    static bool isEnabled();
    static unsigned loads();
    static unsigned touches();
    static void reset();  // counts back to zero (tests, and a fresh launch)
};
