// Small formatting helpers of the request parameters.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class PBLNumberUtilities : public NSObject {
    NS_OBJECT(PBLNumberUtilities, NSObject)
    // "%f" without trailing zeros or a trailing point: 320.0 gives "320", 2.5 gives "2.5".
    static Ref<NSString> stringWithFloat(float value);
};
