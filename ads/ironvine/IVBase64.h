// Base64 for the ad engine's store, file transfers and tracker pieces. Decoding is lenient in
// the way the downloaded scripts expect: characters outside the alphabet are skipped and the
// padding may be missing.
#pragma once

#include "Foundation/NSObject.h"

class NSData;
class NSString;

class IVBase64 : public NSObject {
    NS_OBJECT(IVBase64, NSObject)
    static Ref<NSString> base64StringWithData(NSData* data);
    static Ref<NSString> base64StringWithString(NSString* string);
    // Only the bits that counted characters carry become bytes: a skipped character or a
    // missing "=" adds no zero bytes at the end.
    static Ref<NSData> dataWithBase64String(NSString* base64);
    static Ref<NSData> dataWithBase64Data(NSData* base64);
    static Ref<NSString> stringWithBase64String(NSString* base64);
    static Ref<NSString> stringWithBase64Data(NSData* base64);
};
