// View controllers: one screen's view, loaded on first use (from its interface file or by
// loadView), and the calls around its life in the platform's order. Containers (navigation and
// tab bar controllers) hold children; any controller can present another modally over the
// whole window.
//
// Appearance calls follow one rule everywhere (push, pop, tab switch, modal presentation and
// dismissal): the controller that leaves gets viewWillDisappear:, the one that comes gets
// viewWillAppear:, the views are swapped, then viewDidDisappear: and viewDidAppear:. Each
// controller moves through disappeared → appearing → appeared → disappearing, and a call that
// would not change its state is not made, so no controller hears "will appear" twice.
// Transitions finish at once: the animated flag is passed on to the calls, the platform clock
// does not delay them. Containers forward the calls to the children they show.
#pragma once

#include <functional>
#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIResponder.h"

class NSArray;
class NSBundle;
class NSDictionary;
class NSMutableArray;
class NSMutableDictionary;
class NSNotification;
class NSString;
class NSURL;
class UIBarButtonItem;
class UINavigationController;
class UINavigationItem;
class UISearchDisplayController;
class UITabBarController;
class UITabBarItem;
class UIView;
class UIWindow;

enum UIViewAnimationTransition : NSInteger;

enum UIModalTransitionStyle : NSInteger {
    UIModalTransitionStyleCoverVertical = 0,
    UIModalTransitionStyleFlipHorizontal,
    UIModalTransitionStyleCrossDissolve,
    UIModalTransitionStylePartialCurl,
};

enum UIModalPresentationStyle : NSInteger {
    UIModalPresentationFullScreen = 0,
    UIModalPresentationPageSheet,
    UIModalPresentationFormSheet,
    UIModalPresentationCurrentContext,
};

// Where a controller is in its appearance (inspectable by tests and the shell).
enum UIViewControllerAppearance : NSInteger {
    UIViewControllerDisappeared = 0,
    UIViewControllerAppearing,
    UIViewControllerAppeared,
    UIViewControllerDisappearing,
};

class UIViewController : public UIResponder {
    NS_OBJECT(UIViewController, UIResponder)
    static void describeClass(RuntimeClass& c);

    // init is initWithNibName:nil bundle:nil.
    bool init() override;
    // The designated initialiser. With a name, loadView builds the view from the interface of
    // that name (UINib.h); without one, from an interface named after the class ("XView" for
    // "XViewController", then "XViewController") when one is registered.
    virtual bool initWithNibName(NSString* nibName, NSBundle* bundle);
    void dealloc() override;

    // ---- the view ------------------------------------------------------------------------
    // Loads the view on first use: loadView, then viewDidLoad.
    Ref<UIView> view();
    // Setting nil releases the view (the caller runs viewDidUnload when it means it).
    void setView(UIView* view);
    bool isViewLoaded();
    // The interface file's view, or a plain view of the full-screen frame's size
    // (fullScreenFrame).
    virtual void loadView();
    virtual void viewDidLoad() {}
    virtual void viewWillUnload() {}
    virtual void viewDidUnload() {}
    virtual void viewWillAppear(bool) {}
    virtual void viewDidAppear(bool) {}
    virtual void viewWillDisappear(bool) {}
    virtual void viewDidDisappear(bool) {}
    // Every controller hears the application's memory warning. The base drops the view when it
    // is loaded and off screen (not in a window): viewWillUnload, the view released,
    // viewDidUnload. A view on screen is kept.
    virtual void didReceiveMemoryWarning();

    Ref<NSString> nibName() { return nibName_; }
    Ref<NSBundle> nibBundle() { return nibBundle_; }

    // ---- titles and items ------------------------------------------------------------------
    Ref<NSString> title() { return title_; }
    // Also titles the navigation item and the tab bar item, when the controller has them.
    virtual void setTitle(NSString* title);
    // Made on first use, titled with the controller's title.
    Ref<UINavigationItem> navigationItem();
    // Made on first use, titled with the controller's title.
    Ref<UITabBarItem> tabBarItem();
    void setTabBarItem(UITabBarItem* item);
    Ref<NSArray> toolbarItems() { return toolbarItems_; }
    void setToolbarItems(NSArray* items);
    void setToolbarItems(NSArray* items, bool animated);
    bool hidesBottomBarWhenPushed() { return hidesBottomBarWhenPushed_; }
    void setHidesBottomBarWhenPushed(bool hides) { hidesBottomBarWhenPushed_ = hides; }
    bool wantsFullScreenLayout() { return wantsFullScreenLayout_; }
    void setWantsFullScreenLayout(bool wants) { wantsFullScreenLayout_ = wants; }

    bool isEditing() { return editing_; }
    void setEditing(bool editing) { setEditing(editing, false); }
    virtual void setEditing(bool editing, bool animated);
    // A bar button titled "Edit" or "Done" that toggles editing.
    Ref<UIBarButtonItem> editButtonItem();

    // ---- containment -----------------------------------------------------------------------
    // The container that holds this controller (a navigation or tab bar controller), nil for
    // a controller that is presented or stands alone.
    Ref<UIViewController> parentViewController() { return parent_.lock(); }
    // The nearest navigation (tab bar) controller among the containers around this one.
    Ref<UINavigationController> navigationController();
    Ref<UITabBarController> tabBarController();
    Ref<NSArray> childViewControllers();
    void addChildViewController(UIViewController* child);
    void removeFromParentViewController();
    virtual void willMoveToParentViewController(UIViewController*) {}
    virtual void didMoveToParentViewController(UIViewController*) {}

    // The search display controller whose contents this controller is (not retained).
    Ref<UISearchDisplayController> searchDisplayController();
    void setSearchDisplayController(UISearchDisplayController* search);

    // ---- modal presentation -----------------------------------------------------------------
    // Presents over the whole window: the presented view is laid out as the window's content
    // (layOutWindowContent) in the window of the controller's outermost container, whose view
    // leaves the window until the dismissal. A controller that already presents one passes the
    // request to it, so modals stack.
    virtual void presentModalViewController(UIViewController* controller, bool animated);
    void presentViewController(UIViewController* controller, bool animated,
                               std::function<void()> completion);
    // Dismisses the controller this one presents, with everything stacked over it; a
    // controller that presents nothing passes the request to the controller that presented it
    // (or to its container), as the platform does.
    virtual void dismissModalViewControllerAnimated(bool animated);
    void dismissViewControllerAnimated(bool animated, std::function<void()> completion);
    Ref<UIViewController> modalViewController() { return modal_; }
    Ref<UIViewController> presentedViewController() { return modal_; }
    Ref<UIViewController> presentingViewController() { return presenter_.lock(); }
    UIModalTransitionStyle modalTransitionStyle() { return transitionStyle_; }
    void setModalTransitionStyle(UIModalTransitionStyle style) { transitionStyle_ = style; }
    UIModalPresentationStyle modalPresentationStyle() { return presentationStyle_; }
    void setModalPresentationStyle(UIModalPresentationStyle style) { presentationStyle_ = style; }
    bool isBeingPresented() { return beingPresented_; }
    bool isBeingDismissed() { return beingDismissed_; }

    // ---- orientation -------------------------------------------------------------------------
    UIInterfaceOrientation interfaceOrientation() { return orientation_; }
    // The base allows portrait only, as the platform's does.
    virtual bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation);
    virtual void willRotateToInterfaceOrientation(UIInterfaceOrientation, NSTimeInterval) {}
    virtual void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation, NSTimeInterval) {
    }
    virtual void didRotateFromInterfaceOrientation(UIInterfaceOrientation) {}
    virtual Ref<UIView> rotatingHeaderView() { return nullptr; }
    virtual Ref<UIView> rotatingFooterView() { return nullptr; }
    // Turns the controller (and the children it shows) to the orientation when it allows it:
    // will-rotate, the orientation changes, will-animate, did-rotate. False when refused.
    bool rotateToInterfaceOrientation(UIInterfaceOrientation orientation, NSTimeInterval duration);
    // Turns the screen to the device's orientation where it allows it: in each window the
    // controller of its content and what is presented over it, each when it allows it.
    static void attemptRotationToDeviceOrientation();
    // The application back from Home: each window's content takes an orientation it allows
    // (the device's when it allows it) and is laid out for it.
    static void showWindowsContentInAllowedOrientation();
    // The status bar shown again: each window's content, laid out while the bar was hidden (the
    // application back from Home under a screen that hides it), goes back below it.
    static void layOutWindowsContent();
    // Lays the view out as a window's content for the controller's orientation: turned by whole
    // quarters (none upright), the screen less the status bar's strip along the interface's
    // top. The one rule for where a window's content goes; every path that puts a root or
    // presented controller's view into a window (a window's root, presenting, closing, a view
    // made again after a memory warning, turning, the application back from Home) applies it.
    void layOutWindowContent();

    // ---- appearance ----------------------------------------------------------------------
    // The containment calls by which containers drive their children; each is made only when
    // it changes the controller's state.
    void beginAppearanceTransition(bool isAppearing, bool animated);
    void endAppearanceTransition();
    UIViewControllerAppearance appearance() { return appearance_; }
    // Whether the view is in a window now.
    bool isViewVisible();

    // The controllers whose views are on screen now, outermost first, each followed by what
    // it shows (the shell and the memory-warning test read it).
    static Ref<NSArray> visibleViewControllers();

    // The controller's next responder is its view's superview.
    Ref<UIResponder> nextResponder() override;

    // ---- for containers ------------------------------------------------------------------
    // The children whose views the container shows now (the top of a navigation stack, the
    // selected tab); appearance calls are forwarded to them.
    virtual std::vector<Ref<UIViewController>> shownChildViewControllers() { return {}; }
    // Called by the view when it enters or leaves a window.
    void viewMovedToWindow(UIWindow* window);
    // Called when the view this controller let go on a memory warning is put back into a
    // window (by whoever kept it while something covered the screen): a fresh view takes its
    // place, so that the controller shows again.
    void takePlaceOfLetGoView(UIView* old);

    // Sent by the memory-warning notification.
    void handleMemoryWarning(NSNotification* note);

    // ---- the UI framework's operations ------------------------------------------------------
    // The framework's navigator asks these of every controller, and its own controllers
    // override them. The bodies here are the plain controller's answers; the ones that need the
    // framework's state (the opening URL, the saved path, the popup over a controller) run the
    // defaults it installs (installFrameworkDefaults) and answer nothing before. Registered by
    // name when the framework installs its defaults.
    // Writes the controller's state for the navigator's history; NO keeps it out. YES here.
    virtual bool persistView(NSMutableDictionary* state);
    virtual void restoreView(NSDictionary*) {}
    // State kept across a memory warning; the plain controller keeps none.
    virtual Ref<NSDictionary> frozenState();
    virtual void setFrozenState(NSDictionary*) {}
    virtual bool canContainControllers() { return false; }
    virtual bool canBeTopViewController() { return true; }
    virtual Ref<UIViewController> topSubcontroller();
    // In a navigation controller: that controller's addSubcontroller.
    virtual void addSubcontroller(UIViewController* controller, bool animated,
                                  UIViewAnimationTransition transition);
    // In a navigation controller: popped from it.
    virtual void removeFromSupercontrollerAnimated(bool animated);
    virtual void bringControllerToFront(UIViewController*, bool) {}
    virtual Ref<NSString> keyForSubcontroller(UIViewController* controller);
    virtual Ref<UIViewController> subcontrollerForKey(NSString* key);
    virtual void persistNavigationPath(NSMutableArray* path);
    virtual void delayDidEnd() {}
    // The URL the navigator opened the controller with.
    virtual Ref<NSString> navigatorURL();
    // The navigator's creation: initWithNibName:nil bundle:nil, the arguments unused.
    virtual bool initWithNavigatorURL(NSURL* url, NSDictionary* query);

    struct FrameworkDefaults {
        std::function<Ref<NSString>(UIViewController*)> navigatorURL;
        std::function<void(UIViewController*, NSMutableArray*)> persistNavigationPath;
        // The navigation controller's header: the popup's over it, else none.
        std::function<Ref<UIView>(UIViewController*)> rotatingHeaderView;
    };
    static void installFrameworkDefaults(FrameworkDefaults defaults);
    static const FrameworkDefaults& frameworkDefaults();

protected:
    // A container's chance to put the views of the children it shows in place before they
    // hear they are appearing.
    virtual void willForwardAppearance(bool) {}
    // And after the children heard that they appeared (disappeared).
    virtual void didForwardAppearance(bool) {}
    // The outermost container around this controller (itself when it has none).
    Ref<UIViewController> outermostController();
    // The frame a full-screen view takes for the controller's orientation: the screen less the
    // status bar's strip, or the whole screen with wantsFullScreenLayout or the bar hidden.
    CGRect fullScreenFrame();

private:
    friend class UINavigationController;
    friend class UITabBarController;
    void loadViewIfNeeded();
    Ref<UIViewController> presentingDescendant();
    void forwardAppearance(bool begin, bool isAppearing, bool animated);
    void presentOver(UIViewController* controller, bool animated);
    // Whether the view is a window's content (its root controller's while in it, else the
    // lowest one a controller owns; or a presented one's): laid out for the controller's
    // orientation, and offered the device's turn (attemptRotationToDeviceOrientation).
    bool isWindowContent();
    // Turns the controller shown again (after a dismissal, its view made again, the application
    // back from Home) to an orientation it allows, keeping the one it has when `keepAllowed`
    // and it allows it, else the device's, else the status bar's, else upright; lays its view
    // out for it and the status bar follows.
    void showInAllowedOrientation(bool keepAllowed);
    // Called by containers when the child they show changed: the window's content turns to an
    // orientation the new one allows when it refuses the one shown.
    void shownChildChanged();
    void dismissPresented(bool animated);
    void setEditingButtonTitle();
    void editButtonPressed(NSObject* sender);

    Ref<UIView> view_;
    Ref<NSString> nibName_;
    Ref<NSBundle> nibBundle_;
    Ref<NSString> title_;
    Ref<UINavigationItem> navigationItem_;
    Ref<UITabBarItem> tabBarItem_;
    Ref<NSArray> toolbarItems_;
    Ref<UIBarButtonItem> editButtonItem_;
    Weak<UIViewController> parent_;
    std::vector<Ref<UIViewController>> children_;
    Ref<UIViewController> modal_;
    Weak<UIViewController> presenter_;
    Weak<UISearchDisplayController> search_;
    // Where the outermost container's view stood before a presentation took its place.
    Weak<UIView> coveredSuperview_;
    NSInteger coveredIndex_ = 0;
    UIModalTransitionStyle transitionStyle_ = UIModalTransitionStyleCoverVertical;
    UIModalPresentationStyle presentationStyle_ = UIModalPresentationFullScreen;
    UIViewControllerAppearance appearance_ = UIViewControllerDisappeared;
    UIInterfaceOrientation orientation_ = UIInterfaceOrientationPortrait;
    bool appearingAnimated_ = false;
    bool loadingView_ = false;
    bool editing_ = false;
    bool hidesBottomBarWhenPushed_ = false;
    bool wantsFullScreenLayout_ = false;
    bool beingPresented_ = false;
    bool beingDismissed_ = false;
};
