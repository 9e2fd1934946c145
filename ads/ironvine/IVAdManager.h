// The ad manager's folder of downloaded ad content.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class IVAdManager : public NSObject {
    NS_OBJECT(IVAdManager, NSObject)
    // {ivBaseDir}/Content, worked out once; every call gives a new copy.
    static Ref<NSString> adRootDir();
};
