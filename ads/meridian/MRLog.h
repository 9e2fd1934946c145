// The activity log pixel: one GET per reported activity, its answer ignored.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSString;

class MRLog : public NSObject {
    NS_OBJECT(MRLog, NSObject)
    static Ref<NSString> stringFromLogType(int32_t type);
    static void log(NSDictionary* parameters, int32_t activity, NSString* acid);
    static void logActivityWithString(NSDictionary* parameters, NSString* activity, NSString* acid);
    static void logURL(NSString* url);
    // The pixel's URL text for these values (what log: sends).
    static Ref<NSString> pixelURLString(NSDictionary* parameters, NSString* activity,
                                        NSString* acid);
};
