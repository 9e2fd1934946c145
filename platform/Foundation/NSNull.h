// The object that stands for "nothing" inside collections, which cannot hold nil.
#pragma once

#include "Foundation/NSObject.h"

class NSNull : public NSObject {
    NS_OBJECT(NSNull, NSObject)
    // The one shared instance; it is never deallocated.
    static Ref<NSNull> null();

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;  // "<null>"
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    Ref<NSNull> copy() { return Ref<NSNull>(this); }
};
