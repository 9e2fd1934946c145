// URL and query-string helpers of the ad client, and the user agent its own fetches send.
#pragma once

#include "Foundation/NSObject.h"

class NSDictionary;
class NSMutableDictionary;
class NSString;
class NSURL;

class PBLNetworkUtilities : public NSObject {
    NS_OBJECT(PBLNetworkUtilities, NSObject)
    static Ref<NSString> userAgentString();
    // Ignored when empty or unchanged.
    static void setUserAgentString(NSString* userAgent);

    // Percent-encodes the UTF-8 bytes, reserved URL characters included.
    static Ref<NSString> encodeURL(NSString* string);
    // Keys are appended as they stand; a value that encodes to nothing leaves a bare key.
    static Ref<NSURL> appendQueryParameters(NSDictionary* parameters, NSURL* url);
    static Ref<NSURL> appendQueryKey(NSString* key, NSString* value, NSURL* url);
    // The raw (undecoded) value of the first "key=value" piece whose key matches exactly.
    static Ref<NSString> parameterValueForKey(NSString* key, NSURL* url);
    // Pieces split on runs of "&" and ";"; keys decoded and lower-cased, "+" kept.
    static Ref<NSMutableDictionary> dictionaryFromQueryString(NSString* query);
};
