// The framework's controller chain below the model level: bar styling on appear, appear flags,
// keyboard notifications with resize hooks, a state frozen across a memory warning, rotation
// handed to a popup over the controller (DZBaseViewController); removal of the navigator's
// links on destruction (DZNavigatorViewController); tint from the style sheet, a plain view,
// the shared request queue suspended while the view appears and a search display controller
// (DZViewController). Main thread only.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UISearchDisplayController.h"
#include "UIKit/UIViewController.h"

class DZModelViewController;
class NSDictionary;
class NSMutableDictionary;
class NSNotification;
class UIColor;

class DZBaseViewController : public UIViewController {
    NS_OBJECT(DZBaseViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    void dealloc() override;

    void resizeForKeyboard(NSNotification* notification, bool appearing);
    Ref<NSDictionary> frozenState() override { return frozenState_; }
    void setFrozenState(NSDictionary* state) override;

    void viewWillAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void didReceiveMemoryWarning() override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                   NSTimeInterval duration) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation orientation) override;
    Ref<UIView> rotatingHeaderView() override;
    Ref<UIView> rotatingFooterView() override;

    void keyboardWillShow(NSNotification* notification);
    void keyboardDidShow(NSNotification* notification);
    void keyboardDidHide(NSNotification* notification);
    void keyboardWillHide(NSNotification* notification);

    // Hooks for subclasses, empty here.
    virtual void keyboardWillAppear(bool animated, CGRect bounds);
    virtual void keyboardWillDisappear(bool animated, CGRect bounds);
    virtual void keyboardDidAppear(bool animated, CGRect bounds);
    virtual void keyboardDidDisappear(bool animated, CGRect bounds);

    UIBarStyle navigationBarStyle() { return navigationBarStyle_; }
    void setNavigationBarStyle(UIBarStyle style) { navigationBarStyle_ = style; }
    Ref<UIColor> navigationBarTintColor() { return navigationBarTintColor_; }
    void setNavigationBarTintColor(UIColor* color);
    UIStatusBarStyle statusBarStyle() { return statusBarStyle_; }
    void setStatusBarStyle(UIStatusBarStyle style) { statusBarStyle_ = style; }
    bool isViewAppearing() { return isViewAppearing_; }
    bool hasViewAppeared() { return hasViewAppeared_; }
    bool autoresizesForKeyboard() { return autoresizesForKeyboard_; }
    void setAutoresizesForKeyboard(bool autoresizes);

protected:
    void setViewAppearing(bool appearing) { isViewAppearing_ = appearing; }
    void setViewAppeared(bool appeared) { hasViewAppeared_ = appeared; }
    // The platform's memory-warning handling after the freeze decision; YES when frozen.
    bool freezeOnMemoryWarning();

private:
    Ref<NSDictionary> frozenState_;
    UIBarStyle navigationBarStyle_ = UIBarStyleDefault;
    Ref<UIColor> navigationBarTintColor_;
    UIStatusBarStyle statusBarStyle_ = UIStatusBarStyleDefault;
    bool isViewAppearing_ = false;
    bool hasViewAppeared_ = false;
    bool autoresizesForKeyboard_ = false;
};

class DZNavigatorViewController : public DZBaseViewController {
    NS_OBJECT(DZNavigatorViewController, DZBaseViewController)
    void dealloc() override;
};

// A search display controller that is its own delegate and keeps a results controller.
class DZSearchDisplayController : public UISearchDisplayController, public UISearchDisplayDelegate {
    NS_OBJECT(DZSearchDisplayController, UISearchDisplayController)
    bool initWithSearchBar(UISearchBar* searchBar, UIViewController* contentsController) override;
    Ref<DZModelViewController> searchResultsViewController();
    void setSearchResultsViewController(DZModelViewController* controller);

private:
    Ref<UIViewController> results_;
};

class DZViewController : public DZNavigatorViewController {
    NS_OBJECT(DZViewController, DZNavigatorViewController)
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    void dealloc() override;
    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    Ref<DZModelViewController> searchViewController();
    void setSearchViewController(DZModelViewController* controller);
    Ref<DZSearchDisplayController> searchController() { return searchController_; }
    // Both collections once each.
    static void doGarbageCollection();

private:
    Ref<DZSearchDisplayController> searchController_;
};
