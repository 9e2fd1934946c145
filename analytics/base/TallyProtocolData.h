// The primitive encoders of the upload body and the saved session records: every multi-byte
// value is big-endian.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSData;
class NSDate;
class NSMutableData;
class NSString;

class TallyProtocolData : public NSObject {
    NS_OBJECT(TallyProtocolData, NSObject)

    static void appendBoolean(bool value, NSMutableData* data);
    static void appendByte(int value, NSMutableData* data);
    static void appendUshort(unsigned value, NSMutableData* data);
    static void appendInt(int32_t value, NSMutableData* data);
    static void appendLong(int64_t value, NSMutableData* data);
    static void appendFloat(float value, NSMutableData* data);
    static void appendDouble(double value, NSMutableData* data);
    // Milliseconds since 1970, truncated toward zero; a nil date writes 0.
    static void appendTimestamp(NSDate* date, NSMutableData* data);
    // The limited string's UTF-8 length as a ushort, then its bytes; nil writes a zero length.
    static void appendString(NSString* string, NSMutableData* data);
    static void appendTinyData(NSData* value, NSMutableData* data);
    static void appendShortData(NSData* value, NSMutableData* data);

    // A string of 256 or more UTF-16 units cut to its first 255 (254 when the 255th would be
    // the first half of a surrogate pair, which must not travel alone).
    static Ref<NSString> limitStringLength(NSString* string);
    // Milliseconds from one date to the other, truncated toward zero; 0 when either is nil.
    static int64_t timeIntervalFrom(NSDate* from, NSDate* to);
    // The milliseconds of a span of seconds, truncated toward zero. The span is a difference of
    // two doubles, so a whole number of milliseconds may come out a hair below itself; that
    // representation error is absorbed before truncating.
    static int64_t millisecondsOfSeconds(double seconds);
};
