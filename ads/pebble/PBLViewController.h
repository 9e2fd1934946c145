// The base of the client's full-screen screens (the in-app browser, the web app screen): it
// presents itself over the application, tells the banner's delegate when the first such screen
// comes and goes, hides and restores the status bar and keeps rotation to what the ad asks for.
// A screen opened from another ad screen is stacked on it. Its state is a private object filed
// under the screen in the private object registry. Main thread only.
#pragma once

#include "UIKit/UIViewController.h"

class NSNotification;
class PBLDelegateManager;
class UIWebView;

extern NSString* const PBLViewControllerWillPresentFullScreenNotification;
extern NSString* const PBLViewControllerDidRelinquishFullScreenNotification;

class PBLViewControllerPrivate : public NSObject {
    NS_OBJECT(PBLViewControllerPrivate, NSObject)
public:
    int supportedOrientations_ = 1;  // 1 any, 2 portrait, 3 landscape
    Weak<UIWebView> openingWebView_;
    Ref<PBLDelegateManager> delegateManager_;
    bool statusBarWasHidden_ = false;
    bool interactingWithParent_ = false;
    // Presented as the first screen over the application: only such a screen tells the
    // delegate that it is gone when it is released.
    bool presentedAsFirst_ = false;
    // The screen keeps itself from its presentation until it gives up the screen.
    Ref<NSObject> keepAlive_;
    Ref<NSObject> settingsObserver_;
};

class PBLViewController : public UIViewController {
    NS_OBJECT(PBLViewController, UIViewController)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    void dealloc() override;

    // "any" 1, "portrait" 2, "landscape" 3; anything else 0.
    static int orientationFromString(NSString* name);

    void settingsChanged(NSNotification* note);
    // Without a controller: a log line and nothing shown.
    void presentFromViewController(UIViewController* controller);
    void presentSelfFrom(UIViewController* controller);
    void relinquishScreen();
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    // Whether the presenting controller is not one of these screens (asked afresh each time).
    bool isFirstPBLViewController();
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;

    int supportedOrientations();
    void setSupportedOrientations(int orientations);  // 0 is ignored
    Ref<UIWebView> openingWebView();
    void setOpeningWebView(UIWebView* webView);
    bool statusBarWasHidden();
    void setStatusBarWasHidden(bool hidden);
    Ref<PBLDelegateManager> delegateManager();
    void setDelegateManager(PBLDelegateManager* manager);
    Ref<PBLViewControllerPrivate> privateObject();

protected:
    virtual Ref<PBLViewControllerPrivate> createPrivateData();
    // The web view that shows the screen's page: its "settings" count as the screen's own.
    virtual Ref<UIWebView> contentWebView() { return nullptr; }
};
