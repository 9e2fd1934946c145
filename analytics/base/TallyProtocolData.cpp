#include "analytics/base/TallyProtocolData.h"

#include <cmath>
#include <cstring>
#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"

namespace {

void appendBigEndian(uint64_t value, int bytes, NSMutableData* data) {
    uint8_t out[8];
    for (int i = 0; i < bytes; ++i)
        out[i] = static_cast<uint8_t>(value >> (8 * (bytes - 1 - i)));
    data->appendBytes(out, static_cast<NSUInteger>(bytes));
}

}  // namespace

void TallyProtocolData::appendBoolean(bool value, NSMutableData* data) {
    appendByte(value ? 1 : 0, data);
}

void TallyProtocolData::appendByte(int value, NSMutableData* data) {
    uint8_t b = static_cast<uint8_t>(value & 0xFF);
    data->appendBytes(&b, 1);
}

void TallyProtocolData::appendUshort(unsigned value, NSMutableData* data) {
    appendBigEndian(value & 0xFFFFu, 2, data);
}

void TallyProtocolData::appendInt(int32_t value, NSMutableData* data) {
    appendBigEndian(static_cast<uint32_t>(value), 4, data);
}

void TallyProtocolData::appendLong(int64_t value, NSMutableData* data) {
    appendBigEndian(static_cast<uint64_t>(value), 8, data);
}

void TallyProtocolData::appendFloat(float value, NSMutableData* data) {
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendBigEndian(bits, 4, data);
}

void TallyProtocolData::appendDouble(double value, NSMutableData* data) {
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    appendBigEndian(bits, 8, data);
}

void TallyProtocolData::appendTimestamp(NSDate* date, NSMutableData* data) {
    appendLong(date ? millisecondsOfSeconds(date->timeIntervalSince1970()) : 0, data);
}

void TallyProtocolData::appendString(NSString* string, NSMutableData* data) {
    auto limited = limitStringLength(string);
    if (!limited) {
        appendUshort(0, data);
        return;
    }
    // The whole UTF-8 text, not up to a NUL (a name may hold U+0000), converted into room the
    // thread keeps: a body writes thousands of short strings.
    thread_local std::string utf8;
    size_t n = limited->getUTF8(utf8) ? utf8.size() : 0;
    appendUshort(static_cast<unsigned>(n), data);
    if (n) data->appendBytes(utf8.data(), static_cast<NSUInteger>(n));
}

void TallyProtocolData::appendTinyData(NSData* value, NSMutableData* data) {
    NSUInteger n = value ? value->length() % 256 : 0;
    appendByte(static_cast<int>(n), data);
    if (n) data->appendBytes(value->bytes(), n);
}

void TallyProtocolData::appendShortData(NSData* value, NSMutableData* data) {
    NSUInteger n = value ? value->length() : 0;
    appendUshort(n % 65536, data);
    if (n) data->appendBytes(value->bytes(), n);
}

Ref<NSString> TallyProtocolData::limitStringLength(NSString* string) {
    if (!string || string->length() < 256) return string;
    NSUInteger cut = 255;
    char16_t last = string->characterAtIndex(cut - 1);
    if (last >= 0xD800 && last <= 0xDBFF) --cut;
    return string->substringToIndex(cut);
}

int64_t TallyProtocolData::timeIntervalFrom(NSDate* from, NSDate* to) {
    if (!from || !to) return 0;
    return millisecondsOfSeconds(to->timeIntervalSinceDate(from));
}

int64_t TallyProtocolData::millisecondsOfSeconds(double seconds) {
    double ms = seconds * 1000.0;
    // A microsecond is below the precision of any date we are given and above the rounding
    // error of a difference of two dates of this era (dates near 1e9 s carry about 1e-7 s).
    double nudge = ms >= 0 ? 1e-3 : -1e-3;
    return static_cast<int64_t>(std::trunc(ms + nudge));
}
