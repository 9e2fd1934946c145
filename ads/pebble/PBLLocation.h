// The user's location for an ad request, given as coordinates or as a description, and its
// "uule" parameter: an encrypted record for coordinates, an encoded one for a description.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class PBLLocation : public NSObject {
    NS_OBJECT(PBLLocation, NSObject)
    // nil for a point that is not precise (off the globe, or on the equator or prime meridian).
    bool initWithLatitude(float latitude, float longitude, float accuracy);
    bool initWithDescription(NSString* description);  // nil for an empty description

    float latitude() { return latitude_; }
    float longitude() { return longitude_; }
    float accuracy() { return accuracy_; }
    double timestamp() { return timestamp_; }  // seconds since 1970
    void setTimestamp(double timestamp) { timestamp_ = timestamp; }
    bool isPreciseLocation();

    Ref<NSString> description() override;
    bool isEqual(NSObject* other) override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSString> oolongRepresentation();

    // The record text before padding and encryption (tests decrypt against it).
    Ref<NSString> recordText();
    static const unsigned char* encryptionKey();  // 16 bytes

private:
    float latitude_ = 0;
    float longitude_ = 0;
    float accuracy_ = 0;
    Ref<NSString> description_;
    double timestamp_ = 0;
};
