// What the ad request says about the device, the app and the screen.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSMutableDictionary;
class NSString;

class PBLIdentifierUtilities : public NSObject {
    NS_OBJECT(PBLIdentifierUtilities, NSObject)
    static Ref<PBLIdentifierUtilities> sharedInstance();
    // Splits the system version at "."; a missing part gives 0. Any pointer may be null.
    static void getOSMajor(int* major, int* minor, int* bugFix);
    static bool isOSAtLeastMajor(long major, long minor, long bug);
    bool init() override;

    Ref<NSMutableDictionary> parameters();
    bool isPhoneIdiom() { return isPhoneIdiom_; }
    Ref<NSString> deviceIdentifier();  // MD5 of the unique identifier, upper-case hex
    Ref<NSString> deviceIdentifierBase64();
    Ref<NSString> deviceModel();
    Ref<NSString> deviceSubmodel();  // the hardware model
    Ref<NSString> osVersion();
    Ref<NSString> locale();
    // 1 speaker or unknown, 2 headphones or headset, 3 an empty route name, 5 anything else.
    int audioRoute();
    bool isOrientationLandscape();
    float screenDensity();
    // The application frame, with the status bar's height added unless it is hidden.
    CGSize screenSize();
    Ref<NSDictionary> canOpenURLs(NSArray* urls);

private:
    bool isPhoneIdiom_ = true;
    Ref<NSString> deviceIdentifier_;
    Ref<NSString> deviceIdentifierBase64_;
    Ref<NSString> deviceSubmodel_;
    Ref<NSString> locale_;
};
