#include "ui/core/DZBaseViewController.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UISearchBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIView.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZModelViewController.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/core/UIViewController+DZCategory.h"

void DZBaseViewController::describeClass(RuntimeClass& c) {
    c.method("keyboardWillShow:", &DZBaseViewController::keyboardWillShow);
    c.method("keyboardDidShow:", &DZBaseViewController::keyboardDidShow);
    c.method("keyboardDidHide:", &DZBaseViewController::keyboardDidHide);
    c.method("keyboardWillHide:", &DZBaseViewController::keyboardWillHide);
}

bool DZBaseViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    DZInstallControllerExtensions();
    if (!UIViewController::initWithNibName(nibName, bundle)) return false;
    navigationBarStyle_ = UIBarStyleDefault;
    statusBarStyle_ = UIStatusBarStyleDefault;
    return true;
}

void DZBaseViewController::dealloc() {
    unsetCommonProperties(this);
    navigationBarTintColor_ = nullptr;
    frozenState_ = nullptr;
    setAutoresizesForKeyboard(false);
    viewDidUnload();
    UIViewController::dealloc();
}

void DZBaseViewController::setFrozenState(NSDictionary* state) {
    frozenState_ = state;
}

void DZBaseViewController::setNavigationBarTintColor(UIColor* color) {
    navigationBarTintColor_ = color;
}

void DZBaseViewController::viewWillAppear(bool animated) {
    UIViewController::viewWillAppear(animated);
    isViewAppearing_ = true;
    hasViewAppeared_ = true;
    if (popupViewController(this)) return;
    if (auto nav = navigationController()) {
        auto bar = nav->navigationBar();
        bar->setTintColor(navigationBarTintColor_);
        bar->setBarStyle(navigationBarStyle_);
    }
    UIApplication::sharedApplication()->setStatusBarStyle(statusBarStyle_, true);
}

void DZBaseViewController::viewWillDisappear(bool animated) {
    UIViewController::viewWillDisappear(animated);
    isViewAppearing_ = false;
}

bool DZBaseViewController::freezeOnMemoryWarning() {
    if (hasViewAppeared_ && !isViewAppearing_) {
        auto state = NSMutableDictionary::dictionary();
        persistView(state);
        setFrozenState(state);
        UIViewController::didReceiveMemoryWarning();
        hasViewAppeared_ = false;
        return true;
    }
    UIViewController::didReceiveMemoryWarning();
    return false;
}

void DZBaseViewController::didReceiveMemoryWarning() {
    freezeOnMemoryWarning();
}

bool DZBaseViewController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    if (DZDeviceIsPadIdiom()) return true;
    if (auto popup = popupViewController(this))
        return popup->shouldAutorotateToInterfaceOrientation(orientation);
    return UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

void DZBaseViewController::willAnimateRotationToInterfaceOrientation(
    UIInterfaceOrientation orientation, NSTimeInterval duration) {
    if (auto popup = popupViewController(this))
        popup->willAnimateRotationToInterfaceOrientation(orientation, duration);
    else
        UIViewController::willAnimateRotationToInterfaceOrientation(orientation, duration);
}

void DZBaseViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation orientation) {
    if (auto popup = popupViewController(this))
        popup->didRotateFromInterfaceOrientation(orientation);
    else
        UIViewController::didRotateFromInterfaceOrientation(orientation);
}

Ref<UIView> DZBaseViewController::rotatingHeaderView() {
    if (auto popup = popupViewController(this)) return popup->rotatingHeaderView();
    return UIViewController::rotatingHeaderView();
}

Ref<UIView> DZBaseViewController::rotatingFooterView() {
    if (auto popup = popupViewController(this)) return popup->rotatingFooterView();
    return UIViewController::rotatingFooterView();
}

// ---- the keyboard -----------------------------------------------------------------------------

namespace {
CGRect keyboardBounds(NSNotification* notification) {
    auto info = notification ? notification->userInfo() : nullptr;
    auto value = info ? as<NSValue>(info->objectForKey(UIKeyboardBoundsUserInfoKey)) : nullptr;
    return value ? CGRectValue(value) : CGRectZero;
}
}  // namespace

void DZBaseViewController::resizeForKeyboard(NSNotification* notification, bool appearing) {
    auto info = notification ? notification->userInfo() : nullptr;
    CGRect bounds = keyboardBounds(notification);
    auto begin = info ? as<NSValue>(info->objectForKey(UIKeyboardCenterBeginUserInfoKey)) : nullptr;
    auto end = info ? as<NSValue>(info->objectForKey(UIKeyboardCenterEndUserInfoKey)) : nullptr;
    CGPoint from = begin ? CGPointValue(begin) : CGPointZero;
    CGPoint to = end ? CGPointValue(end) : CGPointZero;
    bool animated = from.y != to.y;
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(DZ_TRANSITION_DURATION);
    }
    if (appearing)
        keyboardWillAppear(animated, bounds);
    else
        keyboardDidDisappear(animated, bounds);
    if (animated) UIView::commitAnimations();
}

void DZBaseViewController::keyboardWillShow(NSNotification* notification) {
    if (isViewAppearing_) resizeForKeyboard(notification, true);
}

void DZBaseViewController::keyboardDidShow(NSNotification* notification) {
    keyboardDidAppear(true, keyboardBounds(notification));
}

void DZBaseViewController::keyboardDidHide(NSNotification* notification) {
    if (isViewAppearing_) resizeForKeyboard(notification, false);
}

void DZBaseViewController::keyboardWillHide(NSNotification* notification) {
    keyboardWillDisappear(true, keyboardBounds(notification));
}

void DZBaseViewController::keyboardWillAppear(bool, CGRect) {}
void DZBaseViewController::keyboardWillDisappear(bool, CGRect) {}
void DZBaseViewController::keyboardDidAppear(bool, CGRect) {}
void DZBaseViewController::keyboardDidDisappear(bool, CGRect) {}

void DZBaseViewController::setAutoresizesForKeyboard(bool autoresizes) {
    if (autoresizes == autoresizesForKeyboard_) return;
    autoresizesForKeyboard_ = autoresizes;
    auto center = NSNotificationCenter::defaultCenter();
    if (autoresizes) {
        center->addObserver(this, Selector::named("keyboardWillShow:"),
                            UIKeyboardWillShowNotification, nullptr);
        center->addObserver(this, Selector::named("keyboardWillHide:"),
                            UIKeyboardWillHideNotification, nullptr);
        center->addObserver(this, Selector::named("keyboardDidShow:"),
                            UIKeyboardDidShowNotification, nullptr);
        center->addObserver(this, Selector::named("keyboardDidHide:"),
                            UIKeyboardDidHideNotification, nullptr);
    } else {
        center->removeObserver(this, UIKeyboardWillShowNotification, nullptr);
        center->removeObserver(this, UIKeyboardWillHideNotification, nullptr);
        center->removeObserver(this, UIKeyboardDidShowNotification, nullptr);
        center->removeObserver(this, UIKeyboardDidHideNotification, nullptr);
    }
}

// ---- the navigator level --------------------------------------------------------------------

void DZNavigatorViewController::dealloc() {
    unsetNavigatorProperties(this);
    DZBaseViewController::dealloc();
}

// ---- search
// ---------------------------------------------------------------------------------------

namespace {

constexpr NSTimeInterval kSearchPause = 0.4;
constexpr NSTimeInterval kSearchFadeDuration = 0.2;
// The subview of a search bar that fades while a search is active, when the host gives one.
constexpr NSInteger kSearchBarFadingTag = 18942;

void fadeSearchBarSubview(UISearchBar* bar, CGFloat alpha) {
    auto view = bar ? bar->viewWithTag(kSearchBarFadingTag) : nullptr;
    if (!view) return;
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kSearchFadeDuration);
    view->setAlpha(alpha);
    UIView::commitAnimations();
}

void enableRightButton(UIViewController* contents, bool enabled) {
    if (!contents) return;
    if (auto item = contents->navigationItem()->rightBarButtonItem()) item->setEnabled(enabled);
}

}  // namespace

void DZSearchDisplayController::describeClass(RuntimeClass& c) {
    c.method("searchAfterPause", &DZSearchDisplayController::searchAfterPause);
}

bool DZSearchDisplayController::initWithSearchBar(UISearchBar* searchBar,
                                                  UIViewController* contentsController) {
    if (!UISearchDisplayController::initWithSearchBar(searchBar, contentsController)) return false;
    setDelegate(this);
    return true;
}

void DZSearchDisplayController::dealloc() {
    if (auto timer = pauseTimer_.lock()) timer->invalidate();
    searchResultsDelegate2_ = nullptr;
    results_ = nullptr;
    UISearchDisplayController::dealloc();
}

Ref<DZModelViewController> DZSearchDisplayController::searchResultsViewController() {
    return results_;
}

void DZSearchDisplayController::setSearchResultsViewController(DZModelViewController* controller) {
    results_ = controller;
}

void DZSearchDisplayController::searchResultsFor(NSString* text) {
    if (!results_) return;
    // The results controller is a table controller of the table library, reached by message.
    auto source = results_->performSelector(Selector::named("dataSource"));
    if (source) source->performSelector(Selector::named("search:"), text);
}

void DZSearchDisplayController::resetResults() {
    if (!results_) return;
    Ref<DZModelViewController> results = results_;
    if (auto model = results->model(); model && model->isLoading()) model->cancel();
    searchResultsFor(nullptr);
    results->viewWillDisappear(false);
    results->viewDidDisappear(false);
    results->performSelector(Selector::named("setTableView:"), nullptr);
}

void DZSearchDisplayController::restartPauseTimer() {
    if (auto timer = pauseTimer_.lock()) timer->invalidate();
    pauseTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        kSearchPause, this, Selector::named("searchAfterPause"), nullptr, false);
}

void DZSearchDisplayController::searchAfterPause() {
    pauseTimer_ = nullptr;
    searchResultsFor(searchBar() ? searchBar()->text().get() : nullptr);
}

void DZSearchDisplayController::searchDisplayControllerWillBeginSearch(UISearchDisplayController*) {
    enableRightButton(searchContentsController().get(), false);
    fadeSearchBarSubview(searchBar().get(), 0);
}

void DZSearchDisplayController::searchDisplayControllerDidBeginSearch(UISearchDisplayController*) {
    if (results_) results_->updateView();
}

void DZSearchDisplayController::searchDisplayControllerWillEndSearch(UISearchDisplayController*) {
    enableRightButton(searchContentsController().get(), true);
    fadeSearchBarSubview(searchBar().get(), 1);
}

void DZSearchDisplayController::searchDisplayControllerDidEndSearch(UISearchDisplayController*) {
    resetResults();
}

void DZSearchDisplayController::searchDisplayControllerDidShowSearchResultsTableView(
    UISearchDisplayController*, UITableView* tableView) {
    if (!results_) return;
    Ref<DZModelViewController> results = results_;
    results->performSelector(Selector::named("setTableView:"), tableView);
    results->viewWillAppear(false);
    results->viewDidAppear(false);
}

void DZSearchDisplayController::searchDisplayControllerWillHideSearchResultsTableView(
    UISearchDisplayController*, UITableView*) {
    resetResults();
}

bool DZSearchDisplayController::searchDisplayControllerShouldReloadTableForSearchString(
    UISearchDisplayController*, NSString* searchString) {
    if (pausesBeforeSearching_)
        restartPauseTimer();
    else
        searchResultsFor(searchString);
    return false;
}

bool DZSearchDisplayController::searchDisplayControllerShouldReloadTableForSearchScope(
    UISearchDisplayController*, NSInteger) {
    if (results_) results_->invalidateModel();
    searchResultsFor(searchBar() ? searchBar()->text().get() : nullptr);
    return false;
}

void DZSearchDisplayController::setSearchResultsDelegate(UITableViewDelegate* delegate) {
    UISearchDisplayController::setSearchResultsDelegate(delegate);
    searchResultsDelegate2_ = dynamic_cast<NSObject*>(delegate);
}

// ---- the view level ---------------------------------------------------------------------------

bool DZViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZNavigatorViewController::initWithNibName(nibName, bundle)) return false;
    setNavigationBarTintColor(DZStyleSheet::globalStyleSheet()->navigationBarTintColor());
    return true;
}

void DZViewController::dealloc() {
    DZURLRequestQueue::mainQueue()->cancelRequestsWithDelegate(this);
    DZNavigatorViewController::dealloc();
}

void DZViewController::loadView() {
    if (nibName()) {
        UIViewController::loadView();
        return;
    }
    CGRect frame = wantsFullScreenLayout() ? DZOrientedScreenBounds() : DZFrameUnderNavigationBar();
    auto view = make<UIView>(&UIView::initWithFrame, frame);
    view->setAutoresizesSubviews(true);
    view->setAutoresizingMask(static_cast<UIViewAutoresizing>(UIViewAutoresizingFlexibleWidth |
                                                              UIViewAutoresizingFlexibleHeight));
    view->setBackgroundColor(DZStyleSheet::globalStyleSheet()->backgroundColor());
    setView(view);
}

void DZViewController::viewDidUnload() {
    DZNavigatorViewController::viewDidUnload();
    searchController_ = nullptr;
}

void DZViewController::viewWillAppear(bool animated) {
    DZNavigatorViewController::viewWillAppear(animated);
    DZURLRequestQueue::mainQueue()->setSuspended(true);
}

void DZViewController::viewDidAppear(bool animated) {
    DZNavigatorViewController::viewDidAppear(animated);
    DZURLRequestQueue::mainQueue()->setSuspended(false);
}

Ref<DZModelViewController> DZViewController::searchViewController() {
    return searchController_ ? searchController_->searchResultsViewController() : nullptr;
}

void DZViewController::setSearchViewController(DZModelViewController* controller) {
    if (controller) {
        if (!searchController_) {
            auto bar = make<UISearchBar>();
            bar->sizeToFit();
            searchController_ =
                make<DZSearchDisplayController>(&DZSearchDisplayController::initWithSearchBar,
                                                bar.get(), static_cast<UIViewController*>(this));
        }
        setSuperController(controller, this);
        searchController_->setSearchResultsViewController(controller);
    } else {
        if (searchController_) searchController_->setSearchResultsViewController(nullptr);
        searchController_ = nullptr;
    }
}

void DZViewController::doGarbageCollection() {
    doNavigatorGarbageCollection();
    doCommonGarbageCollection();
}
