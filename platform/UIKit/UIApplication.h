// The application object (one per process), its delegate protocol and UIApplicationMain.
// Hand-offs to other apps (openURL:) are recorded, so that the shell can show them, and take the
// app to the background as on a phone; the life-cycle changes that the platform makes on its own
// (background, memory warnings, shakes, termination) are methods that the shell and tests call.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIResponder.h"

class NSArray;
class NSDictionary;
class NSURL;
class NSTimer;
class UIApplication;
class UIView;
class UIWindow;

enum UIInterfaceOrientation : NSInteger {
    UIInterfaceOrientationPortrait = 1,
    UIInterfaceOrientationPortraitUpsideDown = 2,
    UIInterfaceOrientationLandscapeLeft = 4,
    UIInterfaceOrientationLandscapeRight = 3,
};
inline bool UIInterfaceOrientationIsPortrait(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationPortrait || o == UIInterfaceOrientationPortraitUpsideDown;
}
inline bool UIInterfaceOrientationIsLandscape(UIInterfaceOrientation o) {
    return o == UIInterfaceOrientationLandscapeLeft || o == UIInterfaceOrientationLandscapeRight;
}

enum UIStatusBarStyle : NSInteger {
    UIStatusBarStyleDefault = 0,
    UIStatusBarStyleBlackTranslucent = 1,
    UIStatusBarStyleBlackOpaque = 2,
};

enum UIStatusBarAnimation : NSInteger {
    UIStatusBarAnimationNone = 0,
    UIStatusBarAnimationFade,
    UIStatusBarAnimationSlide,
};

enum UIApplicationState : NSInteger {
    UIApplicationStateActive = 0,
    UIApplicationStateInactive,
    UIApplicationStateBackground,
};

using UIBackgroundTaskIdentifier = NSUInteger;
inline constexpr UIBackgroundTaskIdentifier UIBackgroundTaskInvalid = 0;
// How long a background task may run once the app is in the background.
inline constexpr NSTimeInterval UIApplicationBackgroundTaskTime = 600;

using UIRemoteNotificationType = NSUInteger;

extern NSString* const UIApplicationLaunchOptionsURLKey;
extern NSString* const UIApplicationLaunchOptionsSourceApplicationKey;

// The application delegate. Every method is optional.
class UIApplicationDelegate {
public:
    virtual ~UIApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching(UIApplication*) {}
    // Called in place of the one above when the delegate implements it; NO refuses a launch URL.
    virtual bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) {
        return true;
    }
    virtual void applicationDidBecomeActive(UIApplication*) {}
    virtual void applicationWillResignActive(UIApplication*) {}
    virtual void applicationDidEnterBackground(UIApplication*) {}
    virtual void applicationWillEnterForeground(UIApplication*) {}
    virtual void applicationWillTerminate(UIApplication*) {}
    virtual void applicationDidReceiveMemoryWarning(UIApplication*) {}
    virtual void applicationSignificantTimeChange(UIApplication*) {}
    virtual bool applicationHandleOpenURL(UIApplication*, NSURL*) { return false; }
    // The delegate's main window (the interface file's outlet), when it has one.
    virtual Ref<UIWindow> window() { return nullptr; }
};

class UIApplication : public UIResponder {
    NS_OBJECT(UIApplication, UIResponder)
    static void describeClass(RuntimeClass& c);
    static Ref<UIApplication> sharedApplication();

    // ---- delegate and windows --------------------------------------------------------------
    // Not retained (UIApplicationMain keeps the delegate it makes).
    Ref<UIApplicationDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIApplicationDelegate* delegate) { delegate_ = delegate; }
    // Every live window, in the order they were made.
    Ref<NSArray> windows();
    Ref<UIWindow> keyWindow() { return keyWindow_.lock(); }
    Ref<UIResponder> nextResponder() override;
    // Systems before 4.0 (UIDevice's system version) have no background tasks: the probes for
    // them answer NO there.
    bool respondsToSelector(SEL sel) override;

    // ---- hand-offs ------------------------------------------------------------------------------
    // Whether some app takes URLs of the scheme. The default set: http, https, mailto, tel, sms,
    // itms, itms-apps, maps.
    bool canOpenURL(NSURL* url);
    // Hands the URL to the app of its scheme: records it, tells the observer, enters the
    // background and returns YES; NO (and nothing recorded as handed off) for nil or a scheme no
    // app takes. Touches do not reach the app while it is in the background.
    bool openURL(NSURL* url);
    // The schemes (lower case) that count as openable (tests and the shell configure them).
    void setOpenableURLSchemes(NSArray* schemes);
    Ref<NSArray> openableURLSchemes();
    // Every URL handed off, oldest first.
    Ref<NSArray> openedURLs();
    void clearOpenedURLs();
    // Called at every hand-off (the shell prints it at once).
    void setOpenURLObserver(std::function<void(NSURL*)> observer) {
        openURLObserver_ = std::move(observer);
    }

    // ---- status bar -------------------------------------------------------------------------
    bool isNetworkActivityIndicatorVisible() { return networkActivityIndicatorVisible_.load(); }
    void setNetworkActivityIndicatorVisible(bool visible) {
        networkActivityIndicatorVisible_.store(visible);
    }
    // The indicator has many owners (the request engine, the UI framework's loads, web pages,
    // the ads' browsers): each takes a hold while it loads and gives it back when done, and the
    // flag is on while any hold is out, so that one finishing does not turn it off under another.
    // Any thread. A hold given back that was never taken changes nothing.
    void beginNetworkActivity();
    void endNetworkActivity();
    UIStatusBarStyle statusBarStyle() { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle style) { statusBarStyle_ = style; }
    void setStatusBarStyle(UIStatusBarStyle style, bool animated);
    bool isStatusBarHidden() { return statusBarHidden_; }
    void setStatusBarHidden(bool hidden) { setStatusBarHidden(hidden, UIStatusBarAnimationNone); }
    void setStatusBarHidden(bool hidden, bool animated);
    void setStatusBarHidden(bool hidden, UIStatusBarAnimation animation);
    // Changing it posts the will- and did-change notifications (user info: the old or new
    // orientation under UIApplicationStatusBarOrientationUserInfoKey).
    UIInterfaceOrientation statusBarOrientation() { return statusBarOrientation_; }
    void setStatusBarOrientation(UIInterfaceOrientation orientation);
    void setStatusBarOrientation(UIInterfaceOrientation orientation, bool animated);
    // A 20-point strip along the screen edge that is the top in the current orientation (in the
    // screen's portrait coordinates); zero while hidden.
    CGRect statusBarFrame();
    // The same strip whether the bar shows or not: the room that layouts reaching up under the
    // bar keep as it hides (the platform's own).
    CGRect statusBarStrip();
    NSTimeInterval statusBarOrientationAnimationDuration() { return 0.3; }
    // The view the status bar is drawn in, made on first use with the bar's frame (it is in no
    // window list). Hosts that fade the bar instead of hiding it reach it by the key
    // "statusBarWindow".
    Ref<UIView> statusBarWindow();

    NSInteger applicationIconBadgeNumber() { return badgeNumber_; }
    void setApplicationIconBadgeNumber(NSInteger n) { badgeNumber_ = n; }
    bool isIdleTimerDisabled() { return idleTimerDisabled_; }
    void setIdleTimerDisabled(bool v) { idleTimerDisabled_ = v; }
    bool applicationSupportsShakeToEdit() { return shakeToEdit_; }
    void setApplicationSupportsShakeToEdit(bool v) { shakeToEdit_ = v; }
    void registerForRemoteNotificationTypes(UIRemoteNotificationType types) {
        remoteTypes_ = types;
    }
    UIRemoteNotificationType enabledRemoteNotificationTypes() { return remoteTypes_; }

    // ---- state and life cycle ---------------------------------------------------------------
    UIApplicationState applicationState() { return state_; }
    // The platform's own moves, each calling the delegate and posting the notification:
    // active -> inactive -> background, and back; termination; a memory warning; a shake
    // (motion began and ended, delivered to the key window's first responder).
    void performResignActive();
    void performBecomeActive();
    void performEnterBackground();  // resigns active first when active
    void performEnterForeground();  // becomes active after
    void performMemoryWarning();
    void performShake();
    // Ends the app: the will-terminate call and notification, then the main loop stops and
    // UIApplicationMain returns.
    void terminate();
    bool isTerminating() { return terminating_; }

    // ---- background tasks ---------------------------------------------------------------------
    // A task keeps running in the background until ended; when the app has been in the
    // background for UIApplicationBackgroundTaskTime the expiration handlers run on the main
    // loop. The handler must end its task. Identifiers start at 1 (0 is UIBackgroundTaskInvalid);
    // ending one that is not running writes a line to the log.
    UIBackgroundTaskIdentifier beginBackgroundTaskWithExpirationHandler(
        std::function<void()> handler);
    void endBackgroundTask(UIBackgroundTaskIdentifier identifier);
    // Seconds left before expiry in the background; the largest double while active.
    NSTimeInterval backgroundTimeRemaining();
    NSUInteger activeBackgroundTaskCount() { return static_cast<NSUInteger>(tasks_.size()); }

    // ---- events and actions -------------------------------------------------------------------
    // Sends the action to the target by name (0, 1 or 2 arguments: sender, event). A nil target
    // looks for the first responder, then up its chain, for an object that responds. NO when
    // nobody did.
    bool sendAction(SEL action, NSObject* target, NSObject* sender, UIEvent* event);
    // Delivers an event to its window (the key window for motion).
    virtual void sendEvent(UIEvent* event);
    void beginIgnoringInteractionEvents() { ++ignoring_; }
    void endIgnoringInteractionEvents() {
        if (ignoring_ > 0) --ignoring_;
    }
    bool isIgnoringInteractionEvents() { return ignoring_ > 0; }

    // ---- the main loop
    // ----------------------------------------------------------------------------
    // UIApplicationMain's part after the delegate was made (tests may call it directly):
    // launches, then runs the main loop until terminate().
    int runMain(UIApplicationDelegate* delegate, NSDictionary* launchOptions);
    // The launch steps alone: the delegate's launch method, the did-finish-launching
    // notification, then becoming active. NO when the delegate refused.
    bool launch(UIApplicationDelegate* delegate, NSDictionary* launchOptions);
    // Loads the main interface file for the delegate when one is named; installed by the
    // interface-file registry.
    using InterfaceLoader = std::function<void(UIApplication*, NSString* interfaceName)>;
    static void setMainInterfaceLoader(InterfaceLoader loader);

    // Back to a fresh application: no delegate, windows or hand-offs, inactive, default status
    // bar and schemes (tests and the shell between runs).
    void resetState();

    // Internal: windows register and take the key role through these.
    void windowCreated(UIWindow* window);
    void windowBecameKey(UIWindow* window);
    void windowResignedKey(UIWindow* window);

private:
    friend int UIApplicationMain(int, char**, NSString*, NSString*);
    void setState(UIApplicationState state);
    void scheduleTaskExpiry();
    void expireTasks();

    std::atomic<bool> networkActivityIndicatorVisible_{false};
    std::mutex activityLock_;  // the count and the flag change as one step
    int32_t activityHolds_ = 0;
    Weak<UIApplicationDelegate> delegate_;
    Ref<NSObject> ownedDelegate_;
    std::vector<Weak<UIWindow>> windows_;
    Weak<UIWindow> keyWindow_;
    std::vector<std::string> schemes_;
    std::vector<Ref<NSURL>> opened_;
    std::function<void(NSURL*)> openURLObserver_;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
    bool statusBarHidden_ = false;
    Ref<UIView> statusBarWindow_;
    UIInterfaceOrientation statusBarOrientation_ = UIInterfaceOrientationPortrait;
    NSInteger badgeNumber_ = 0;
    bool idleTimerDisabled_ = false;
    bool shakeToEdit_ = true;
    UIRemoteNotificationType remoteTypes_ = 0;
    UIApplicationState state_ = UIApplicationStateInactive;
    bool terminating_ = false;
    int ignoring_ = 0;
    std::map<UIBackgroundTaskIdentifier, std::function<void()>> tasks_;
    UIBackgroundTaskIdentifier nextTask_ = 1;
    NSTimeInterval backgroundSince_ = 0;
    Ref<NSTimer> expiryTimer_;
};

// One owner's hold on the network activity indicator: `setHeld(true)` takes it (once, however
// often it is called), `setHeld(false)` gives it back, and an owner that goes away holding gives
// it back with it. It is held on the shared application of the time it was taken, and taken anew
// when that application was replaced meanwhile. Not shared between threads without a lock.
class UINetworkActivityHold {
public:
    UINetworkActivityHold() = default;
    UINetworkActivityHold(const UINetworkActivityHold&) = delete;
    UINetworkActivityHold& operator=(const UINetworkActivityHold&) = delete;
    ~UINetworkActivityHold() { setHeld(false); }
    void setHeld(bool held);

private:
    Weak<UIApplication> app_;
    bool held_ = false;
};

// Makes the application (the principal class by name, nil for UIApplication), makes the delegate
// by class name through the runtime registry (nil: the main interface file supplies it), loads
// the main interface file named by the main bundle's "NSMainNibFile", launches and runs the main
// run loop until the application terminates. Returns 0. Raises NSInternalInconsistencyException
// when a class name is unknown or the delegate class does not adopt UIApplicationDelegate.
int UIApplicationMain(int argc, char** argv, NSString* principalClassName,
                      NSString* delegateClassName);
