// The platform's banner, with no ad network behind it: once it has a delegate it loads a
// labelled test ad after one second and a new one every 30 seconds on the Clock, telling the
// delegate before and after each load. Tapping the ad asks the delegate whether the action may
// begin, then covers the window with a full-screen test ad until its Close button is tapped,
// when the delegate hears that the action finished.
//
// Test controls (also from the environment variable BAZAARNEST_IAD, a comma-separated list read
// by ADRegisterClasses, for scripts/run): "fail" makes every load fail, "missing" makes the
// class impossible to find by name, as on a device without the framework.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class ADBannerView;
class NSError;
class NSSet;
class NSTimer;
class UIButton;

extern NSString* const ADErrorDomain;
enum ADError : NSInteger {
    ADErrorUnknown = 0,
    ADErrorServerFailure = 1,
    ADErrorLoadingThrottled = 2,
    ADErrorInventoryUnavailable = 3,
};

// The content sizes: portrait 320 by 50, landscape 480 by 32 (the older names mean the same).
extern NSString* const ADBannerContentSizeIdentifierPortrait;
extern NSString* const ADBannerContentSizeIdentifierLandscape;
extern NSString* const ADBannerContentSizeIdentifier320x50;
extern NSString* const ADBannerContentSizeIdentifier480x32;

class ADBannerViewDelegate {
public:
    virtual ~ADBannerViewDelegate() = default;
    // bannerViewWillLoadAd:
    virtual void bannerViewWillLoadAd(ADBannerView*) {}
    // bannerViewDidLoadAd:
    virtual void bannerViewDidLoadAd(ADBannerView*) {}
    // bannerView:didFailToReceiveAdWithError:
    virtual void bannerView(ADBannerView*, NSError*) {}
    // bannerViewActionShouldBegin:willLeaveApplication:
    virtual bool bannerViewActionShouldBegin(ADBannerView*, bool /*willLeaveApplication*/) {
        return true;
    }
    // bannerViewActionDidFinish:
    virtual void bannerViewActionDidFinish(ADBannerView*) {}
};

class ADBannerView : public UIView {
    NS_OBJECT(ADBannerView, UIView)
    static void describeClass(RuntimeClass& c);

    bool initWithFrame(CGRect frame) override;
    static CGSize sizeFromBannerContentSizeIdentifier(NSString* identifier);

    Ref<NSSet> requiredContentSizeIdentifiers() { return required_; }
    void setRequiredContentSizeIdentifiers(NSSet* identifiers);
    // Setting it resizes the banner to that size, keeping its origin.
    Ref<NSString> currentContentSizeIdentifier() { return current_; }
    void setCurrentContentSizeIdentifier(NSString* identifier);

    // Not retained. Setting another one restarts the loads (the first a second later); the same
    // one again changes nothing; nil stops them.
    Ref<ADBannerViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(ADBannerViewDelegate* delegate);

    bool isBannerLoaded() { return loaded_; }
    bool isBannerViewActionInProgress() { return actionView_ != nullptr; }
    // Closes the full-screen ad without telling the delegate, as the platform does.
    void cancelBannerViewAction();

    // The ad's button: the action (also what a tap on the banner does).
    void adTapped();
    // The full-screen ad's Close button.
    void closeAction();
    // Ads loaded so far (a diagnostic the tests read).
    NSInteger loadCount() { return loads_; }

    void dealloc() override;

private:
    void scheduleLoads();
    void stopLoads();
    void loadAd();

    Weak<ADBannerViewDelegate> delegate_;
    Ref<NSSet> required_;
    Ref<NSString> current_;
    Ref<NSTimer> first_;
    Ref<NSTimer> refresh_;
    Ref<UIButton> ad_;
    Ref<UIView> actionView_;
    NSInteger loads_ = 0;
    bool loaded_ = false;
};

// Makes ADBannerView known by name, unless the environment (BAZAARNEST_IAD) says the class is
// missing, and applies the environment's other controls. Code that looks the class up by name
// calls this first.
void ADRegisterClasses();

namespace iad_testing {
void setLoadsFail(bool fail);
bool loadsFail();
void setClassMissing(bool missing);
}  // namespace iad_testing
