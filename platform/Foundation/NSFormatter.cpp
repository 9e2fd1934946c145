#include "Foundation/NSFormatter.h"

#include "Foundation/NSString.h"

Ref<NSString> NSFormatter::stringForObjectValue(NSObject*) {
    return nullptr;
}

bool NSFormatter::getObjectValue(Ref<NSObject>* obj, NSString*, Ref<NSString>* error) {
    if (obj) *obj = nullptr;
    if (error) *error = NS("This formatter reads no values.");
    return false;
}
