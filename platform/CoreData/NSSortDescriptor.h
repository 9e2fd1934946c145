// Sorting by key: a descriptor names a key, a direction and a comparison method of the values
// ("compare:" by default; "caseInsensitiveCompare:", "localizedCompare:" and
// "localizedCaseInsensitiveCompare:" for strings). A missing (nil or NSNull) value sorts before
// every other value when ascending.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSMutableArray;
class NSString;

class NSSortDescriptor : public NSObject {
    NS_OBJECT(NSSortDescriptor, NSObject)

    static Ref<NSSortDescriptor> sortDescriptorWithKey(NSString* key, bool ascending);
    static Ref<NSSortDescriptor> sortDescriptorWithKey(NSString* key, bool ascending, SEL selector);
    bool initWithKey(NSString* key, bool ascending);
    bool initWithKey(NSString* key, bool ascending, SEL selector);

    Ref<NSString> key() { return key_; }
    bool ascending() { return ascending_; }
    SEL selector() { return selector_; }
    Ref<NSSortDescriptor> reversedSortDescriptor();

    // The order of the two objects' values for the key in this descriptor's direction.
    NSComparisonResult compareObject(NSObject* a, NSObject* b);

    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    Ref<NSString> key_;
    bool ascending_ = true;
    SEL selector_ = nullptr;
};

// The NSArray and NSMutableArray sorting of the platform, as free functions: a stable sort by
// the first descriptor, ties broken by the next.
Ref<NSArray> sortedArrayUsingDescriptors(NSArray* array, NSArray* sortDescriptors);
void sortUsingDescriptors(NSMutableArray* array, NSArray* sortDescriptors);
// Values in the descriptors' sense: nil first, numbers and dates by value, strings by the
// selector's comparison, others through the runtime.
NSComparisonResult NSSortDescriptorCompareValues(NSObject* a, NSObject* b, SEL selector);
