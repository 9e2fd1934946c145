// Full-screen ads: IVFullScreenAdWindow, a second window over the host's into which an ad's
// controller is moved with the status bar hidden and fades, and IVFullScreenAdController, the
// one controller that shows every full-screen slot's ads with a "Menu" button, the script's
// action sheet plus "Skip", and a loading box. Main thread; the displaying flag is also taken
// under the window's own lock by the engine controller.
#pragma once

#include <map>
#include <string>

#include "Foundation/NSLock.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIWindow.h"
#include "ads/ironvine/IVAdView.h"

class IVMessageBox;
class NSMutableArray;
class NSNotification;
class NSNumber;
class NSTimer;
class UIButton;

class IVFullScreenAdWindow : public UIWindow {
    NS_OBJECT(IVFullScreenAdWindow, UIWindow)
    static void describeClass(RuntimeClass& c);

    bool init() override;
    Ref<UIWindow> appWindow() { return appWindow_.lock(); }
    Ref<IVAdViewInternal> contentController() { return contentController_; }
    bool isDisplaying();
    // Reports a change to the engine controller after leaving the lock.
    void setIsDisplaying(bool displaying);
    // The lock under which the engine tests and sets the flag in one step.
    NSRecursiveLock& displayLock() { return *displayLock_; }

    void displayController(IVAdViewInternal* controller);
    void dismissAnimated(bool animated);
    void dismiss() { dismissAnimated(true); }
    void collapseAnimated(bool animated);
    void didDisappearAnimated(bool animated);
    // Ends a close still fading out at once: content opens again, or the app leaves the screen.
    void finishClosing() {
        if (closing_) didDisappearAnimated(true);
    }
    void hideStatusBarAnimated(bool animated);
    void restoreStatusBarAnimated(bool animated);
    void applicationWillEnterForeground();
    void beginListeningToDeviceOrientationNotifications();
    void stopListeningToDeviceOrientationNotifications();
    void deviceOrientationDidChange(NSNotification* notification);
    void layoutInterfaceWithAnimation(bool animated);

    void presentControllerAnimationDidStop(NSString* animationID, NSNumber* finished, void*);
    void dismissControllerAnimationDidStop(NSString* animationID, NSNumber* finished, void*);

private:
    // The view the host names (the controller's sbwPropName) to be faded instead of hiding the
    // status bar; nil when there is none or it cannot fade.
    Ref<UIView> statusBarView();
    void fadeStatusBarView(UIView* view, float alpha, bool animated);
    // The last stages of opening, shared by full-screen ads and expanding banners.
    void open(IVAdViewInternal* controller, bool banner);
    // A banner's view back where it was, at its slot's size; returns its container view.
    UIView* putBack(IVAdViewInternal* content);
    Ref<NSRecursiveLock> displayLock_ = make<NSRecursiveLock>();
    Weak<UIWindow> appWindow_;
    Weak<UIView> prevSuperview_;
    CGAffineTransform prevTransform_ = CGAffineTransformIdentity;
    bool wipeContent_ = false;
    bool closing_ = false;
    // A banner's browser page, fading out alone while the banner is back in its slot.
    Ref<UIView> fadingPage_;
    bool prevGeneratingOrientationNotifications_ = false;
    bool listening_ = false;
    Ref<IVAdViewInternal> contentController_;
    bool isDisplaying_ = false;
    bool prevStatusBarHidden_ = true;
    // A hide has saved the bar's state and no restore has used it yet: a second hide (on the
    // return from the background) hides again but keeps what the first saved.
    bool statusBarStateSaved_ = false;
    // The host's view laid out in the application frame, given that frame again when the
    // status bar comes back.
    Weak<UIView> hostAppFrameViewToRestore_;
    bool wasForceDismissed_ = false;
    Ref<NSTimer> clearDisplayingTimer_;
};

class IVFullScreenAdController : public IVAdViewInternal, public UIActionSheetDelegate {
    NS_OBJECT(IVFullScreenAdController, IVAdViewInternal)
    static void describeClass(RuntimeClass& c);

    bool init() override;
    void dealloc() override;
    Ref<UIActionSheet> actionSheet() { return actionSheet_; }
    Ref<UIButton> menuButton() { return menuButton_; }
    Ref<IVMessageBox> adLoadingIndicator() { return adLoadingIndicator_; }
    bool shouldDisplayActionSheetOnEnterForeground() {
        return shouldDisplayActionSheetOnEnterForeground_;
    }

    bool notifyDelegateAdReadyForSlotNamed(NSString* name) override;
    void adContentDidLoad() override;
    void adContentWillLoad() override;
    UIView* containerView() override { return nullptr; }
    bool controlsFullScreenSlot() override { return true; }
    void adDownloadedForSlotNamed(NSString* name) override;
    void layout() override;
    void prepareAdViewBrowserMode(bool on) override;
    void applicationWillEnterForeground() override;
    void applicationDidEnterBackground();
    void dismissAnimated(bool animated) override;
    void adDisplayFailedForSlotNamed(NSString* name) override;

    void hideMenuButton();
    void showMenuButton();
    void scheduleMenuButtonAppearance();
    void placeMenuButton();
    void addMenuButton();
    void displayActionSheetWithDismissAnimation(bool animated);
    void displayActionSheet() { displayActionSheetWithDismissAnimation(true); }
    void actionSheetDidDismissWithButtonIndex(UIActionSheet* sheet, NSInteger index) override;
    void addButtonToActionSheet(NSString* title, NSString* callback);
    void prepareActionSheet();
    void hideAdLoadingIndicator();
    void showAdLoadingIndicator();
    void setDelegateForSlotNamed(NSObject* delegate, NSString* name);
    bool displayAdForSlot(IVAdSlot* slot);
    bool isDisplaying();

private:
    // A display that never reached the window gives back the window's flag and the slot's mark.
    void releaseUnshownDisplay();

    std::map<std::string, Ref<NSObject>> delegateDict_;
    Ref<UIActionSheet> actionSheet_;
    Ref<NSMutableArray> actionSheetButtons_;
    Ref<NSTimer> menuTimer_;
    Ref<UIButton> menuButton_;
    Ref<IVMessageBox> adLoadingIndicator_;
    bool shouldDisplayActionSheetOnEnterForeground_ = false;
};
