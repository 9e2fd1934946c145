// What a screen that hosts the banner answers. Two methods are required; every other one is
// optional and asked for by name (respondsToSelector:) before each call, so a host lists the
// ones it answers in its class description (`c.implements({...})`).
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UIApplication.h"

class AdLoomView;
class CLLocation;
class NSArray;
class NSDate;
class NSURL;
class UIColor;
class UIViewController;

class AdLoomDelegate {
public:
    virtual ~AdLoomDelegate() = default;

    // The mediation application key (32 lower-case hex digits).
    virtual Ref<NSString> adLoomApplicationKey() = 0;
    // The controller that presents full-screen ads and the in-app browser.
    virtual Ref<UIViewController> viewControllerForPresentingModalView() = 0;

    // Servers in place of the mediation layer's own.
    virtual Ref<NSURL> adLoomConfigURL() { return nullptr; }
    virtual Ref<NSURL> adLoomImpMetricURL() { return nullptr; }
    virtual Ref<NSURL> adLoomClickMetricURL() { return nullptr; }
    virtual Ref<NSURL> adLoomCustomAdURL() { return nullptr; }

    // Notices.
    virtual void adLoomDidReceiveAd(AdLoomView*) {}
    // adLoomDidFailToReceiveAd:usingBackup:
    virtual void adLoomDidFailToReceiveAd(AdLoomView*, bool /*usingBackup*/) {}
    virtual void adLoomDidAnimateToNewAdIn(AdLoomView*) {}
    virtual void adLoomReceivedRequestForDeveloperToFufill(AdLoomView*) {}
    virtual void adLoomReceivedNotificationAdsAreOff(AdLoomView*) {}
    virtual void adLoomWillPresentFullScreenModal() {}
    virtual void adLoomDidDismissFullScreenModal() {}
    // nil for a configuration fetched without a banner.
    virtual void adLoomDidReceiveConfig(AdLoomView*) {}

    // Settings.
    virtual bool adLoomTestMode() { return false; }
    virtual UIInterfaceOrientation adLoomCurrentOrientation() {
        return UIInterfaceOrientationPortrait;
    }
    virtual Ref<UIColor> adLoomAdBackgroundColor() { return nullptr; }
    virtual Ref<UIColor> adLoomTextColor() { return nullptr; }
    virtual Ref<UIColor> adLoomSecondaryTextColor() { return nullptr; }
    virtual Ref<UIColor> backgroundColor() { return nullptr; }
    virtual Ref<UIColor> textColor() { return nullptr; }

    // What networks may be told about the user.
    virtual Ref<NSString> pebblePublisherID() { return nullptr; }
    virtual Ref<NSString> meridianMediaApIDString() { return nullptr; }
    virtual unsigned meridianMediaAdType() { return 0; }
    virtual unsigned meridianMediaEducationLevel() { return 0; }
    virtual unsigned meridianMediaEthnicity() { return 0; }
    virtual unsigned meridianMediaAge() { return 0; }
    virtual unsigned incomeLevel() { return 0; }
    virtual Ref<CLLocation> locationInfo() { return nullptr; }
    virtual Ref<NSString> postalCode() { return nullptr; }
    virtual Ref<NSString> gender() { return nullptr; }
    virtual Ref<NSArray> keywords() { return nullptr; }
    virtual Ref<NSDate> dateOfBirth() { return nullptr; }
};

// Whether the host answers the optional method of that selector.
bool AdLoomDelegateAnswers(AdLoomDelegate* delegate, const char* selector);
