// The client's full-screen ad: its own engine loads the ad without showing it, readiness goes
// to the interstitial's delegate, and the ad page shows in the web app screen when asked. The
// app-open controller covers the window with a splash image while the ad loads, up to the
// stored time-out ("applicationTimeout", 5 s unless the ad server or a page says otherwise),
// shows the ad and then gives the window back. Main thread only.
#pragma once

#include "UIKit/UIViewController.h"
#include "ads/pebble/PBLDelegateManager.h"

class NSArray;
class NSNotification;
class NSTimer;
class PBLObjectPrivate;
class PBLRequest;
class UIImage;
class UIImageView;
class UIWindow;

class PBLInterstitial : public NSObject {
    NS_OBJECT(PBLInterstitial, NSObject)
    bool init() override;
    void dealloc() override;
    // Registers the default time-out (5.0).
    static void initialize();

    // Covers the window with the image until the ad shows or the time-out ends; a time-out not
    // above 0 only logs.
    void loadAndDisplayRequest(PBLRequest* request, UIWindow* window, UIImage* image);
    // How long the splash covers the window at most: the stored time-out's whole seconds (3.5
    // stored waits 3), the longest wait an int holds for one beyond it (infinity included), 0
    // for one not above 0 (not-a-number included). Whether there is a splash at all goes by the
    // stored value being above 0.
    static int splashSeconds();
    // Without a rendered ad: a log line only.
    void presentFromRootViewController(UIViewController* controller);
    bool isReady();
    void loadRequest(PBLRequest* request);
    Ref<PBLInterstitialDelegate> delegate();
    void setDelegate(PBLInterstitialDelegate* delegate);
    Ref<NSString> adUnitID();
    void setAdUnitID(NSString* adUnitID);

    void webAction(NSNotification* note);
    void settingsChanged(NSNotification* note);
    Ref<PBLObjectPrivate> privateObject();

private:
    std::vector<Ref<NSObject>> observers_;
};

class PBLInterstitialAppController : public UIViewController, public PBLInterstitialDelegate {
    NS_OBJECT(PBLInterstitialAppController, UIViewController)
    bool initWithWindow(UIWindow* window, UIImage* image, int seconds,
                        PBLInterstitial* interstitial);
    void dealloc() override;

    void interstitialWillDismissScreen(PBLInterstitial* interstitial) override;
    void interstitialDidFailToReceiveAdWithError(PBLInterstitial* interstitial,
                                                 NSError* error) override;
    void interstitialDidReceiveAd(PBLInterstitial* interstitial) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    // The window's views back in their order, the status bar as it was; the controller lets go
    // of itself at the end of the pass.
    void restoreWindowAndRelease();
    // A late answer of the ad load no longer reaches the splash.
    void removeSelfAsDelegate();
    void timeout(NSTimer* timer);

    Ref<UIImageView> imageView() { return imageView_; }

private:
    Ref<PBLInterstitial> interstitial_;
    Weak<UIWindow> window_;
    Ref<NSArray> storedUserViews_;
    Ref<UIImageView> imageView_;
    Ref<NSTimer> timeout_;
    bool hideStatusBar_ = false;
    Ref<NSObject> keepAlive_;  // from the splash's start until it ends
};
