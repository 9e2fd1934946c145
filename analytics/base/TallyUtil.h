// Debug mode, the debug log file and the catch-all exception report shared by the analytics
// client and the ad client.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSString.h"
#include "analytics/base/TallyDebugKey.h"

class NSDate;
class NSNumber;
class UIView;

class TallyUtil : public NSObject {
    NS_OBJECT(TallyUtil, NSObject)

    // The nine characters joined between the API key and the date in a debug key.
    static constexpr const char* kDebugKeySeparator = tally_debug_key::kSeparator;

    // Debug mode is on only while a key issued for this API key and a day from today to seven
    // days on was the last one given; nil or anything else turns it off.
    static void unlockDebugMode(NSString* key, NSString* apiKey);
    static bool isDebugModeUnlocked();
    // The key for an API key on a date: SHA-1 hex of key, separator and "MM-dd-yyyy".
    static Ref<NSString> debugKeyFor(NSString* apiKey, NSDate* date);
    // Appends one dated, scrambled line per control-character-separated piece to
    // Documents/tally.logfile.txt.
    static void logToFile(NSString* message);
    static Ref<NSString> transposeEncode(NSString* string);
    static Ref<NSString> transposeDecode(NSString* string);
    static void setShowErrorInLogEnabled(bool enabled);
    static void handleException(NSObject* object);

    // The screen for a canvas orientation: 320 x 480, or 480 x 320 in landscape.
    static CGRect screenBounds(NSString* orientation);
    // "landscapeLeft" or "landscapeRight", any case.
    static bool canvasInLandscape(NSString* orientation);
    static bool canvasInLandscapeRight(NSString* orientation);
    static bool canvasInLandscapeLeft(NSString* orientation);
    static void removeViewFromSuperview(UIView* view);
    // A decimal number, or nil for anything else.
    static Ref<NSNumber> convertStrToNum(NSString* string);

    // A debug line: formatted and written only while debug mode is unlocked.
    template <typename... A>
    static void debugLog(NSString* format, const A&... args) {
        if (isDebugModeUnlocked()) logToFile(NSString::stringWithFormat(format, args...));
    }
};
