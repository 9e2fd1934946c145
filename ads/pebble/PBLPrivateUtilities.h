// The process-wide registry of private companion objects, filed under their owners. Owners are
// not retained (an owner removes its entry when it is released); companions are. Main thread
// only.
#pragma once

#include "Foundation/NSObject.h"

class PBLPrivateUtilities : public NSObject {
    NS_OBJECT(PBLPrivateUtilities, NSObject)
    // Replaces (and releases) an earlier companion of the same owner.
    static void setPrivateObject(NSObject* privateObject, NSObject* owner);
    static Ref<NSObject> privateObjectForKey(NSObject* owner);
    static void removePrivateObjectForKey(NSObject* owner);
};
