// Key-value observing, in the small form the system needs: code that changes a key's value
// announces it with willChangeValueForKey / didChangeValueForKey around the change (nothing is
// announced on its own, setters and key-value coding included), and every observer added for a
// key path that starts with that key hears of it through observeValueForKeyPath, at once and on
// the thread that made the change. Observers are not retained; one that is freed drops out. The
// operations themselves are NSObject's (NSObject.h); this header has their options and keys.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

// What an observer asks to be handed, or-ed together.
enum NSKeyValueObservingOptions : NSUInteger {
    NSKeyValueObservingOptionNew = 0x01,      // the value after the change
    NSKeyValueObservingOptionOld = 0x02,      // the value before it
    NSKeyValueObservingOptionInitial = 0x04,  // one call at once, when added
    NSKeyValueObservingOptionPrior = 0x08,    // one call before the change as well
};

// The kind of change (the only kind announced here is a setting).
enum NSKeyValueChange : NSUInteger {
    NSKeyValueChangeSetting = 1,
};

// Keys of the change dictionary. A nil value is handed over as the null singleton.
extern NSString* const NSKeyValueChangeKindKey;                 // "kind", an NSKeyValueChange
extern NSString* const NSKeyValueChangeNewKey;                  // "new"
extern NSString* const NSKeyValueChangeOldKey;                  // "old"
extern NSString* const NSKeyValueChangeNotificationIsPriorKey;  // "notificationIsPriorKey", YES
