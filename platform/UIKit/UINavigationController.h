// A stack of controllers under a navigation bar: the top controller's view fills the space
// between the bar and the optional toolbar; the bar shows the navigation items of the stack.
#pragma once

#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewController.h"

class UINavigationController;
class UIToolbar;

// "navigationController:willShowViewController:animated:" and
// "navigationController:didShowViewController:animated:", both optional.
class UINavigationControllerDelegate {
public:
    virtual ~UINavigationControllerDelegate() = default;
    virtual void navigationControllerWillShowViewController(UINavigationController*,
                                                            UIViewController*, bool) {}
    virtual void navigationControllerDidShowViewController(UINavigationController*,
                                                           UIViewController*, bool) {}
};

class UINavigationController : public UIViewController, public UINavigationBarDelegate {
    NS_OBJECT(UINavigationController, UIViewController)
    static void describeClass(RuntimeClass& c);

    bool initWithRootViewController(UIViewController* root);
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;

    // The container's view: the bar at the top, the toolbar at the bottom, the top
    // controller's view in between.
    void loadView() override;

    Ref<NSArray> viewControllers();
    void setViewControllers(NSArray* controllers);
    virtual void setViewControllers(NSArray* controllers, bool animated);
    Ref<UIViewController> topViewController();
    // What shows on top: a controller presented over the stack or its top, else the top.
    Ref<UIViewController> visibleViewController();

    // Pushing a controller that is already in a container raises NSInvalidArgumentException
    // ("Pushing the same view controller instance more than once is not supported").
    virtual void pushViewController(UIViewController* controller, bool animated);
    // Nil when only the root is left.
    virtual Ref<UIViewController> popViewControllerAnimated(bool animated);
    // The controllers popped (nil when the controller is already on top). A controller that is
    // not in the stack raises NSInternalInconsistencyException.
    virtual Ref<NSArray> popToViewController(UIViewController* controller, bool animated);
    virtual Ref<NSArray> popToRootViewControllerAnimated(bool animated);

    Ref<UINavigationBar> navigationBar();
    bool isNavigationBarHidden() { return navigationBarHidden_; }
    void setNavigationBarHidden(bool hidden) { setNavigationBarHidden(hidden, false); }
    virtual void setNavigationBarHidden(bool hidden, bool animated);
    // The toolbar shows the top controller's toolbar items; hidden at first.
    Ref<UIToolbar> toolbar();
    bool isToolbarHidden() { return toolbarHidden_; }
    void setToolbarHidden(bool hidden) { setToolbarHidden(hidden, false); }
    virtual void setToolbarHidden(bool hidden, bool animated);

    Ref<UINavigationControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UINavigationControllerDelegate* delegate) { delegate_ = delegate; }

    // Whether a controller of the stack hides a bottom bar (the tab bar) while it is pushed.
    bool hidesBottomBar();

    // The bar's back button: pops the top controller, animated (the shell's "back").
    bool goBack();

    std::vector<Ref<UIViewController>> shownChildViewControllers() override;
    // The top controller decides.
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    bool navigationBarShouldPopItem(UINavigationBar* bar, UINavigationItem* item) override;
    void navigationBarDidChangeStyle(UINavigationBar* bar) override;
    void dealloc() override;

    // The framework's container operations: the stack holds the children, keyed by index.
    bool canContainControllers() override { return true; }
    Ref<UIViewController> topSubcontroller() override { return topViewController(); }
    void addSubcontroller(UIViewController* controller, bool animated,
                          UIViewAnimationTransition transition) override;
    void bringControllerToFront(UIViewController* controller, bool animated) override;
    Ref<NSString> keyForSubcontroller(UIViewController* controller) override;
    Ref<UIViewController> subcontrollerForKey(NSString* key) override;
    Ref<UIView> rotatingHeaderView() override;

    // Lays out the bar, the toolbar and the top view for the current bar states.
    void layoutContent();
    // The space between the bars (in the container view's coordinates).
    CGRect contentFrame();
    // How far the shown status bar reaches into the container view from its top: a container
    // put at its window's top keeps its bar and content below the status bar.
    CGFloat statusBarInset();
    // Whether the top view takes the whole screen under the bars rather than the room between.
    bool laysTopViewUnderBars();

protected:
    void willForwardAppearance(bool isAppearing) override;
    void didForwardAppearance(bool isAppearing) override;

private:
    friend class UIViewController;
    void transition(std::vector<Ref<UIViewController>> newStack, bool animated);
    void syncBars(bool animated);
    void installTopView();
    bool onScreen();

    std::vector<Ref<UIViewController>> stack_;
    Ref<UINavigationBar> navigationBar_;
    Ref<UIToolbar> toolbar_;
    Weak<UINavigationControllerDelegate> delegate_;
    bool navigationBarHidden_ = false;
    bool toolbarHidden_ = true;
    bool popping_ = false;
};
