// The framework's controller chain below the model level: bar styling on appear, appear flags,
// keyboard notifications with resize hooks, a state frozen across a memory warning, rotation
// handed to a popup over the controller (DZBaseViewController); removal of the navigator's
// links on destruction (DZNavigatorViewController); tint from the style sheet, a plain view,
// the shared request queue suspended while the view appears and a search display controller
// (DZViewController). Main thread only.
#pragma once

class NSTimer;

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

// A search display controller that is its own delegate and feeds the typed text to the data
// source of a results table controller, at once or after a pause in typing. The results
// controller shows its model in the platform's results table while that is on screen.
class DZSearchDisplayController : public UISearchDisplayController, public UISearchDisplayDelegate {
    NS_OBJECT(DZSearchDisplayController, UISearchDisplayController)
    static void describeClass(RuntimeClass& c);
    bool initWithSearchBar(UISearchBar* searchBar, UIViewController* contentsController) override;
    void dealloc() override;

    void resetResults();
    void restartPauseTimer();
    void searchAfterPause();

    void searchDisplayControllerWillBeginSearch(UISearchDisplayController* controller) override;
    void searchDisplayControllerDidBeginSearch(UISearchDisplayController* controller) override;
    void searchDisplayControllerWillEndSearch(UISearchDisplayController* controller) override;
    void searchDisplayControllerDidEndSearch(UISearchDisplayController* controller) override;
    void searchDisplayControllerDidShowSearchResultsTableView(UISearchDisplayController* controller,
                                                              UITableView* tableView) override;
    void searchDisplayControllerWillHideSearchResultsTableView(
        UISearchDisplayController* controller, UITableView* tableView) override;
    // Always NO: the results controller reloads its own table when its model changes.
    bool searchDisplayControllerShouldReloadTableForSearchString(
        UISearchDisplayController* controller, NSString* searchString) override;
    bool searchDisplayControllerShouldReloadTableForSearchScope(
        UISearchDisplayController* controller, NSInteger scope) override;
    // Kept here as well, since the platform does not retain it.
    void setSearchResultsDelegate(UITableViewDelegate* delegate) override;

    Ref<DZModelViewController> searchResultsViewController();
    void setSearchResultsViewController(DZModelViewController* controller);
    bool pausesBeforeSearching() { return pausesBeforeSearching_; }
    void setPausesBeforeSearching(bool v) { pausesBeforeSearching_ = v; }

private:
    // Sends search: to the results controller's data source.
    void searchResultsFor(NSString* text);

    Ref<DZModelViewController> results_;
    Weak<NSTimer> pauseTimer_;
    bool pausesBeforeSearching_ = false;
    Ref<NSObject> searchResultsDelegate2_;
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
