// The Meridian ad client's public view and its delegate protocol. Hosts build views through the
// class factories only; the concrete classes (MRBannerAdView, MRIntersticialAdView) do the work
// in MRGenericAdView.
#pragma once

#include <cstdint>

#include "UIKit/UIView.h"

class MRAdView;
class NSDictionary;
class NSString;

// Every method is optional: the client asks respondsToSelector: first, so an implementing class
// lists what it answers in its class description.
class MRAdDelegate {
public:
    virtual ~MRAdDelegate() = default;
    virtual Ref<NSDictionary> requestData() { return nullptr; }
    virtual int32_t adRefreshDuration() { return 0; }
    virtual bool accelerometerEnabled() { return true; }
    virtual void adRequestSucceeded(MRAdView*) {}
    virtual void adRequestFailed(MRAdView*) {}
    virtual void adDidRefresh(MRAdView*) {}
    virtual void adWasTapped(MRAdView*) {}
    virtual void adRequestIsCaching(MRAdView*) {}
    virtual void applicationWillTerminateFromAd() {}
    virtual void adModalWillAppear() {}
    virtual void adModalDidAppear() {}
    virtual void adModalWasDismissed() {}
    // The view a host places the ad's view in once its ad arrives (a mediation's banner): until
    // then the ad is in sight when that view is.
    virtual Ref<UIView> adHostView() { return nullptr; }
};

// Ad types, as the factories take them.
enum : int32_t {
    MRBannerAdTop = 1,
    MRBannerAdBottom = 2,
    MRBannerAdRectangle = 3,
    MRFullScreenAdLaunch = 4,
    MRFullScreenAdTransition = 5,
};

// The client's version, sent with every request.
inline constexpr const char* MRSDKVersion = "4.2.2-11.4.6.i";
// The agent both agent headers carry.
inline constexpr const char* MRUserAgentHeader = "MRSDK/4.2.2";

class MRAdView : public UIView {
    NS_OBJECT(MRAdView, UIView)

    // The name an ad type is requested and configured by; unknown types are banners on top.
    static Ref<NSString> adTypeName(int32_t type);

    virtual void refreshAd() {}
    // Conversions are tracked by the class operation; a view sends nothing.
    virtual void startConversionTrackerWithGoalId(NSString*) {}
    virtual void enableAdRefresh() {}
    virtual void disableAdRefresh() {}
    double adRequestTimeoutInterval() { return adRequestTimeoutInterval_; }
    void setAdRequestTimeoutInterval(double seconds) { adRequestTimeoutInterval_ = seconds; }
    virtual bool refreshTimerEnabled() { return refreshTimerEnabled_; }
    virtual void setRefreshTimerEnabled(bool enabled) { refreshTimerEnabled_ = enabled; }
    Ref<MRAdDelegate> delegate() { return delegate_.lock(); }
    // Whether the person can see the banner (or, not placed yet, its host's view): out of sight
    // it starts nothing full screen.
    bool isInSight();
    void setDelegate(MRAdDelegate* delegate) { delegate_ = delegate; }

    static Ref<NSString> version();
    // Blocks the calling thread for one request to the conversion host.
    static void startSynchronousConversionTrackerWithGoalId(NSString* goalId);
    static Ref<MRAdView> interstitialWithType(int32_t type, NSString* apid, MRAdDelegate* delegate,
                                              bool loadAd);
    static Ref<MRAdView> adWithFrame(CGRect frame, int32_t type, NSString* apid,
                                     MRAdDelegate* delegate, bool loadAd, bool startTimer);
    static Ref<MRAdView> adWithFrame(CGRect frame, int32_t type, NSString* apid,
                                     MRAdDelegate* delegate);

private:
    Weak<MRAdDelegate> delegate_;
    bool refreshTimerEnabled_ = false;
    double adRequestTimeoutInterval_ = 0;
};

// A delegate callback is sent only when the delegate is there and answers the selector.
template <class D>
bool MRDelegateAnswers(D* delegate, const char* selector) {
    return respondsTo(delegate, Selector::named(selector));
}
