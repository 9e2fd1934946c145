// The analytics facade's process-wide settings, shared by the facade and the vendor's ad client
// (the hosts it opens, whether house ads are on, the ad delegate kept between sessions).
#pragma once

#include <mutex>

#include "Foundation/NSDate.h"
#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "analytics/base/TallyHosts.h"

// Upload threads read the URLs and flags, so they sit under a lock.
struct TallySettings {
    Ref<NSString> serverURL = NSString::stringWithUTF8String(tally_hosts::kUploadURL);
    Ref<NSString> canvasURL = NSString::stringWithUTF8String(tally_hosts::kCanvasURL);
    Ref<NSString> landscapeCanvasURL =
        NSString::stringWithUTF8String(tally_hosts::kLandscapeCanvasURL);
    Ref<NSString> appStoreURL = NSString::stringWithUTF8String(tally_hosts::kAppStoreURL);
    Ref<NSString> savedResponseURL;
    int pauseSeconds = 10;
    bool reportsOnClose = true;
    bool reportsOnPause = true;
    bool eventLogging = true;
    int age = -1;
    Ref<NSString> appVersion;
    bool appCircleEnabled = false;
    Ref<NSString> userID;
    Ref<NSString> gender;
    Ref<NSString> apiKey;
    Ref<NSDate> pauseDate;
    Weak<NSObject> appCircleDelegate;
    UIBackgroundTaskIdentifier backgroundTask = UIBackgroundTaskInvalid;
};

namespace tally_settings {

std::mutex& lock();
// The one instance; touched only under lock().
TallySettings& shared();

template <class T>
T read(T TallySettings::*field) {
    std::lock_guard guard(lock());
    return shared().*field;
}

template <class T>
void write(T TallySettings::*field, T value) {
    std::lock_guard guard(lock());
    shared().*field = value;
}

}  // namespace tally_settings
