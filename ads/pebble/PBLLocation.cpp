#include "ads/pebble/PBLLocation.h"

#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "CommonCrypto/CommonCryptor.h"
#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "ads/pebble/PBLGestureUtil.h"

namespace {

const unsigned char kKey[16] = {0xa3, 0xc9, 0x1e, 0x0f, 0x7b, 0x24, 0xd8, 0x6e,
                                0x51, 0xf0, 0x3a, 0x9c, 0x2e, 0x7b, 0x4d, 0x18};

constexpr const char* kRecordHead =
    "role: 6 producer: 24 historical_role: 1 historical_producer: 12 timestamp: %.0f ";

// Out-of-range values clamp to the 32-bit range and NaN reads as 0, where a plain conversion
// would be undefined.
int32_t saturated(double v) {
    if (std::isnan(v)) return 0;
    if (v >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (v <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(v);
}

void putLittleEndian(unsigned char* out, int32_t v) {
    auto u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out[i] = static_cast<unsigned char>(u >> (8 * i));
}

Ref<NSString> webSafe(NSData* data) {
    return pblGestureBase64(data->bytes(), static_cast<unsigned>(data->length()));
}

}  // namespace

const unsigned char* PBLLocation::encryptionKey() {
    return kKey;
}

bool PBLLocation::initWithLatitude(float latitude, float longitude, float accuracy) {
    if (!NSObject::init()) return false;
    latitude_ = latitude;
    longitude_ = longitude;
    accuracy_ = accuracy;
    timestamp_ = Clock::now() + NSTimeIntervalSince1970;
    return isPreciseLocation();
}

bool PBLLocation::initWithDescription(NSString* description) {
    if (!NSObject::init() || !description || description->length() == 0) return false;
    description_ = description->copy();
    timestamp_ = Clock::now() + NSTimeIntervalSince1970;
    return true;
}

bool PBLLocation::isPreciseLocation() {
    float lat = std::fabs(latitude_), lng = std::fabs(longitude_);
    return lat <= 90 && lng <= 180 && lat > FLT_EPSILON && lng > FLT_EPSILON;
}

Ref<NSString> PBLLocation::description() {
    if (description_) return description_;
    if (isPreciseLocation())
        return NSString::stringWithFormat(NS("%f,%f"), static_cast<double>(latitude_),
                                          static_cast<double>(longitude_));
    return NSString::string();
}

bool PBLLocation::isEqual(NSObject* other) {
    auto o = as<PBLLocation>(other);
    if (!o || o->isPreciseLocation() != isPreciseLocation()) return false;
    if (isPreciseLocation())
        return std::fabs(latitude_ - o->latitude_) < FLT_EPSILON &&
               std::fabs(longitude_ - o->longitude_) < FLT_EPSILON &&
               std::fabs(accuracy_ - o->accuracy_) < FLT_EPSILON;
    return description()->isEqualToString(o->description());
}

Ref<NSObject> PBLLocation::copyWithZone() {
    Ref<PBLLocation> copy =
        description_
            ? make<PBLLocation>(&PBLLocation::initWithDescription, description_.get())
            : make<PBLLocation>(&PBLLocation::initWithLatitude, latitude_, longitude_, accuracy_);
    if (copy) copy->timestamp_ = timestamp_;
    return copy;
}

Ref<NSString> PBLLocation::recordText() {
    double micros = timestamp_ * 1000000.0;
    auto head = NSString::stringWithFormat(NSString::stringWithUTF8String(kRecordHead), micros);
    if (description_) {
        auto quoted = description_->stringByReplacingOccurrencesOfString(NS("\""), NS("'"));
        return NSString::stringWithFormat(NS("%@loc: \"%@\""), head.get(), quoted.get());
    }
    return NSString::stringWithFormat(
        NS("%@latlng <latitude_e7: %ld longitude_e7: %ld> radius: %ld"), head.get(),
        static_cast<long>(saturated(static_cast<double>(latitude_) * 10000000.0)),
        static_cast<long>(saturated(static_cast<double>(longitude_) * 10000000.0)),
        static_cast<long>(saturated(static_cast<double>(accuracy_) * 1000.0)));
}

Ref<NSString> PBLLocation::oolongRepresentation() {
    auto text = recordText();
    auto bytes = text->dataUsingEncoding(NSUTF8StringEncoding, false);
    if (!bytes) return nullptr;
    if (description_) return NSString::stringWithFormat(NS("a+%@"), webSafe(bytes).get());
    if (!isPreciseLocation()) return nullptr;
    std::vector<unsigned char> plain(
        static_cast<const unsigned char*>(bytes->bytes()),
        static_cast<const unsigned char*>(bytes->bytes()) + bytes->length());
    size_t pad = 16 - plain.size() % 16;
    plain.insert(plain.end(), pad, static_cast<unsigned char>(pad));
    std::vector<unsigned char> out(16 + plain.size());
    for (int i = 0; i < 4; ++i)
        putLittleEndian(&out[4 * i], saturated(timestamp_ * (i + 1)));
    size_t moved = 0;
    if (CCCrypt(kCCEncrypt, kCCAlgorithmAES128, 0, kKey, sizeof kKey, out.data(), plain.data(),
                plain.size(), out.data() + 16, plain.size(), &moved) != kCCSuccess ||
        moved != plain.size())
        return nullptr;
    auto data = NSData::dataWithBytes(out.data(), static_cast<NSUInteger>(out.size()));
    return NSString::stringWithFormat(NS("e1+%@"), webSafe(data).get());
}
