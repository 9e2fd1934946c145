// The device: a phone running the platform's version 5.0. Its unique identifier is made once
// and kept in the sandbox's Library folder, so it stays the same across launches. Tests make it
// another device (a pad, an older system, one without multitasking) with the setters; the
// hardware model behind `uname` and "hw.machine" is in Foundation/SystemInfo.h.
#pragma once

#include "Foundation/NSObject.h"

enum UIDeviceOrientation : NSInteger {
    UIDeviceOrientationUnknown = 0,
    UIDeviceOrientationPortrait,
    UIDeviceOrientationPortraitUpsideDown,
    UIDeviceOrientationLandscapeLeft,
    UIDeviceOrientationLandscapeRight,
    UIDeviceOrientationFaceUp,
    UIDeviceOrientationFaceDown,
};

enum UIUserInterfaceIdiom : NSInteger {
    UIUserInterfaceIdiomPhone = 0,
    UIUserInterfaceIdiomPad,
};

enum UIDeviceBatteryState : NSInteger {
    UIDeviceBatteryStateUnknown = 0,
    UIDeviceBatteryStateUnplugged,
    UIDeviceBatteryStateCharging,
    UIDeviceBatteryStateFull,
};

inline bool UIDeviceOrientationIsPortrait(UIDeviceOrientation o) {
    return o == UIDeviceOrientationPortrait || o == UIDeviceOrientationPortraitUpsideDown;
}
inline bool UIDeviceOrientationIsLandscape(UIDeviceOrientation o) {
    return o == UIDeviceOrientationLandscapeLeft || o == UIDeviceOrientationLandscapeRight;
}
inline bool UIDeviceOrientationIsValidInterfaceOrientation(UIDeviceOrientation o) {
    return o >= UIDeviceOrientationPortrait && o <= UIDeviceOrientationLandscapeRight;
}

class UIDevice : public NSObject {
    NS_OBJECT(UIDevice, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<UIDevice> currentDevice();

    Ref<NSString> name();            // "Bazaarnest Phone"
    Ref<NSString> model();           // "iPhone"
    Ref<NSString> localizedModel();  // the model
    Ref<NSString> systemName();      // "iPhone OS"
    Ref<NSString> systemVersion();   // "5.0"
    // 40 lower-case hexadecimal digits, made on first use and kept in Library/ of the sandbox
    // (file "DeviceIdentifier").
    Ref<NSString> uniqueIdentifier();
    UIUserInterfaceIdiom userInterfaceIdiom() { return idiom_; }
    bool isMultitaskingSupported() { return multitasking_; }

    // Test hooks: another model ("iPad"), system version, idiom or multitasking support.
    void setModel(NSString* model);
    void setSystemVersion(NSString* version);
    void setUserInterfaceIdiom(UIUserInterfaceIdiom idiom) { idiom_ = idiom; }
    void setMultitaskingSupported(bool supported) { multitasking_ = supported; }

    // Orientation: unknown until notifications are on; changes post
    // UIDeviceOrientationDidChangeNotification while they are generated.
    UIDeviceOrientation orientation();
    bool isGeneratingDeviceOrientationNotifications() { return generating_ > 0; }
    void beginGeneratingDeviceOrientationNotifications();
    void endGeneratingDeviceOrientationNotifications();
    // The shell and tests turn the phone.
    void setOrientation(UIDeviceOrientation orientation);

    bool isBatteryMonitoringEnabled() { return batteryMonitoring_; }
    void setBatteryMonitoringEnabled(bool v) { batteryMonitoring_ = v; }
    UIDeviceBatteryState batteryState();
    float batteryLevel();  // -1 unless monitoring
    bool isProximityMonitoringEnabled() { return false; }
    void setProximityMonitoringEnabled(bool) {}

    // Forgets the cached identifier, so that the next read goes to the sandbox again (tests).
    void resetIdentifierCache();

private:
    Ref<NSString> identifier_;
    Ref<NSString> model_;
    Ref<NSString> systemVersion_;
    UIUserInterfaceIdiom idiom_ = UIUserInterfaceIdiomPhone;
    bool multitasking_ = true;
    UIDeviceOrientation orientation_ = UIDeviceOrientationPortrait;
    int generating_ = 0;
    bool batteryMonitoring_ = false;
};

inline UIUserInterfaceIdiom UI_USER_INTERFACE_IDIOM() {
    return UIDevice::currentDevice()->userInterfaceIdiom();
}
