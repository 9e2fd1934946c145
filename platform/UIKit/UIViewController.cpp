#include "UIKit/UIViewController.h"

#include <algorithm>
#include <mutex>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UINib.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UISearchDisplayController.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"

namespace {
// One observer for the whole process turns the screens when the device turns, and lays the
// windows' content out again when the application comes back from Home.
void observeDeviceOrientation() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The default center is never reset and the blocks keep nothing, so the tokens that
        // keep the observers registered live as long as the center.
        auto center = NSNotificationCenter::defaultCenter();
        immortal(center->addObserverForName(
            UIDeviceOrientationDidChangeNotification, nullptr,
            [](NSNotification*) { UIViewController::attemptRotationToDeviceOrientation(); }));
        immortal(center->addObserverForName(
            UIApplicationWillEnterForegroundNotification, nullptr,
            [](NSNotification*) { UIViewController::showWindowsContentInAllowedOrientation(); }));
    });
}

// The size of a window's root view for an orientation.
CGSize rootSizeFor(UIInterfaceOrientation orientation, bool fullScreen) {
    CGRect screen = UIScreen::mainScreen()->bounds();
    CGFloat statusBar = fullScreen ? 0 : 20;
    if (UIInterfaceOrientationIsLandscape(orientation)) {
        return CGSizeMake(screen.size.height, screen.size.width - statusBar);
    }
    return CGSizeMake(screen.size.width, screen.size.height - statusBar);
}

// Where a window's content lies on the screen for an orientation: the screen less the status
// bar's strip along that orientation's top (none under a full-screen layout). Worked out from
// the orientation asked for, never from the status bar as it stands, which may still be turned
// with a screen that is closing.
CGRect windowContentFrame(UIInterfaceOrientation orientation, bool fullScreen) {
    CGRect frame = UIScreen::mainScreen()->bounds();
    if (fullScreen) return frame;
    constexpr CGFloat strip = 20;
    switch (orientation) {
        case UIInterfaceOrientationLandscapeLeft:
            frame.origin.x += strip;
            frame.size.width -= strip;
            break;
        case UIInterfaceOrientationLandscapeRight:
            frame.size.width -= strip;
            break;
        case UIInterfaceOrientationPortraitUpsideDown:
            frame.size.height -= strip;
            break;
        default:
            frame.origin.y += strip;
            frame.size.height -= strip;
            break;
    }
    return frame;
}

// Lays out the view of a window's content (a root or presented controller's) for the
// orientation: turned by whole quarters about its centre (none upright), as big as the screen
// less the status bar's strip, and centred in what that strip leaves, so that it is drawn
// turned and whole. Every path that puts a controller's view into a window ends here.
void placeWindowContent(UIView* view, UIInterfaceOrientation orientation, bool fullScreen) {
    bool barHidden = fullScreen || UIApplication::sharedApplication()->isStatusBarHidden();
    CGAffineTransform turn = UIInterfaceToScreenTransform(orientation);
    turn.tx = 0;
    turn.ty = 0;
    CGRect frame = windowContentFrame(orientation, barHidden);
    view->setTransform(turn);
    CGRect bounds = view->bounds();
    bounds.size = rootSizeFor(orientation, barHidden);
    view->setBounds(bounds);
    view->setCenter(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
}

// The controller whose view is a window's content: its root controller's while that view is in
// it, else the one that owns its lowest view. A view laid over it (a popup, an ad's cover, a
// login panel) is not content: it turns only when the controller under it passes the turn on,
// and keeps the frame its maker gave it.
Ref<UIViewController> contentControllerOf(UIWindow* window) {
    if (auto root = window->rootViewController();
        root && root->isViewLoaded() && root->view()->superview().get() == window)
        return root;
    for (auto& sub : window->subviewList())
        if (auto owner = as<UIViewController>(sub->viewController())) return owner;
    return nullptr;
}

// The orientation a controller coming to the screen takes: the device's when it allows it,
// else the one it has when it allows that, else upright.
UIInterfaceOrientation orientationAllowedBy(UIViewController* controller,
                                            UIInterfaceOrientation current) {
    auto device = UIDevice::currentDevice()->orientation();
    if (UIDevice::currentDevice()->isGeneratingDeviceOrientationNotifications() &&
        UIDeviceOrientationIsValidInterfaceOrientation(device)) {
        auto held = static_cast<UIInterfaceOrientation>(static_cast<NSInteger>(device));
        if (controller->shouldAutorotateToInterfaceOrientation(held)) return held;
    }
    if (controller->shouldAutorotateToInterfaceOrientation(current)) return current;
    return UIInterfaceOrientationPortrait;
}
}  // namespace

void UIViewController::describeClass(RuntimeClass& c) {
    c.method("handleMemoryWarning:", &UIViewController::handleMemoryWarning);
    c.method("editButtonPressed:", &UIViewController::editButtonPressed);
    c.method("viewDidLoad", &UIViewController::viewDidLoad);
    c.method("didReceiveMemoryWarning", &UIViewController::didReceiveMemoryWarning);
    c.property("title", &UIViewController::title, &UIViewController::setTitle);
}

bool UIViewController::init() {
    return initWithNibName(nullptr, nullptr);
}

bool UIViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    nibName_ = nibName ? nibName->copy() : nullptr;
    nibBundle_ = bundle;
    orientation_ = UIApplication::sharedApplication()->statusBarOrientation();
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("handleMemoryWarning:"),
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    observeDeviceOrientation();
    return true;
}

void UIViewController::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    if (view_ && view_->viewController().get() == this) view_->setViewController(nullptr);
    for (auto& child : children_)
        child->parent_ = nullptr;
    children_.clear();
    if (modal_) modal_->presenter_ = nullptr;
    modal_ = nullptr;
    super::dealloc();
}

// ---- the view ------------------------------------------------------------------------------

Ref<UIView> UIViewController::view() {
    loadViewIfNeeded();
    return view_;
}

void UIViewController::loadViewIfNeeded() {
    if (view_ || loadingView_) return;
    loadingView_ = true;
    try {
        loadView();
    } catch (...) {
        loadingView_ = false;
        throw;
    }
    loadingView_ = false;
    if (!view_) {
        NSException::raise(NSInternalInconsistencyException,
                           NS("-[%@ loadView] did not set the controller's view"),
                           className().get());
    }
    viewDidLoad();
}

void UIViewController::setView(UIView* view) {
    if (view_.get() == view) return;
    if (view_ && view_->viewController().get() == this) view_->setViewController(nullptr);
    view_ = view;
    if (view_) {
        view_->setViewController(this);
        view_->setFormerViewController(nullptr);
    }
}

bool UIViewController::isViewLoaded() {
    return view_ != nullptr;
}

void UIViewController::loadView() {
    Ref<NSString> name = nibName_;
    if (!name) {
        // The platform's search for an interface named after the class.
        std::string cls = className()->utf8();
        std::string suffix = "Controller";
        if (cls.size() > suffix.size() &&
            cls.compare(cls.size() - suffix.size(), suffix.size(), suffix) == 0) {
            auto shortName = NSString::fromUTF8(cls.substr(0, cls.size() - suffix.size()));
            if (isInterfaceRegistered(shortName)) name = shortName;
        }
        if (!name && isInterfaceRegistered(className())) name = className();
    }
    if (name) {
        auto objects = UINib::nibWithNibName(name, nibBundle_)->instantiateWithOwner(this, nullptr);
        if (!view_) {
            // A builder that returned the view without connecting the outlet.
            for (NSUInteger i = 0; objects && i < objects->count(); ++i) {
                if (auto v = as<UIView>(objects->objectAtIndex(i))) {
                    setView(v);
                    break;
                }
            }
        }
        if (!view_) {
            NSException::raise(NSInternalInconsistencyException,
                               NS("-[UIViewController _loadViewFromNibNamed:bundle:] loaded the "
                                  "\"%@\" nib but the view outlet was not set."),
                               name.get());
        }
        return;
    }
    auto view = make<UIView>(&UIView::initWithFrame, fullScreenFrame());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    setView(view);
}

void UIViewController::didReceiveMemoryWarning() {
    if (!view_ || view_->window()) return;
    viewWillUnload();
    // The view goes with everything in it; it is made again when next needed.
    Ref<UIView> dropped = view_;
    dropped->removeFromSuperview();
    setView(nullptr);
    // Whoever else holds the view may put it back; then this controller's fresh view goes in.
    dropped->setFormerViewController(this);
    viewDidUnload();
}

void UIViewController::takePlaceOfLetGoView(UIView* old) {
    Ref<UIView> keep(old);
    old->setFormerViewController(nullptr);
    auto superview = old->superview();
    // A view of its own already showing somewhere stays where it is.
    if (!superview || (view_ && view_->superview())) return;
    Ref<UIView> fresh = view();
    fresh->setTransform(old->transform());
    CGRect bounds = fresh->bounds();
    bounds.size = old->bounds().size;
    fresh->setBounds(bounds);
    fresh->setCenter(old->center());
    superview->insertSubviewBelowSubview(fresh, old);
    old->removeFromSuperview();
    // Back as the window's content, it is laid out for the orientation the window shows.
    if (isWindowContent()) showInAllowedOrientation(true);
}

void UIViewController::handleMemoryWarning(NSNotification*) {
    didReceiveMemoryWarning();
}

CGRect UIViewController::fullScreenFrame() {
    // For the controller's own orientation: a view made while a turned screen closes (the
    // one let go on a memory warning) is not sized for that screen.
    return windowContentFrame(
        orientation_,
        wantsFullScreenLayout_ || UIApplication::sharedApplication()->isStatusBarHidden());
}

void UIViewController::layOutWindowContent() {
    if (view_) placeWindowContent(view_.get(), orientation_, wantsFullScreenLayout_);
}

// ---- titles and items ------------------------------------------------------------------------

void UIViewController::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
    if (navigationItem_) navigationItem_->setTitle(title_);
    if (tabBarItem_ && !tabBarItem_->isSystemItem()) tabBarItem_->setTitle(title_);
}

Ref<UINavigationItem> UIViewController::navigationItem() {
    if (!navigationItem_) {
        navigationItem_ = make<UINavigationItem>(&UINavigationItem::initWithTitle, title_.get());
    }
    return navigationItem_;
}

Ref<UITabBarItem> UIViewController::tabBarItem() {
    if (!tabBarItem_) {
        tabBarItem_ = make<UITabBarItem>(&UITabBarItem::initWithTitle, title_.get(), nullptr, 0);
    }
    return tabBarItem_;
}

void UIViewController::setTabBarItem(UITabBarItem* item) {
    tabBarItem_ = item;
    if (auto tabs = as<UITabBarController>(parent_.lock())) tabs->syncTabBar();
}

void UIViewController::setToolbarItems(NSArray* items) {
    setToolbarItems(items, false);
}

void UIViewController::setToolbarItems(NSArray* items, bool animated) {
    toolbarItems_ = items;
    if (auto nav = as<UINavigationController>(parent_.lock())) {
        if (nav->topViewController().get() == this) nav->syncBars(animated);
    }
}

void UIViewController::setEditing(bool editing, bool) {
    editing_ = editing;
    setEditingButtonTitle();
}

Ref<UIBarButtonItem> UIViewController::editButtonItem() {
    if (!editButtonItem_) {
        editButtonItem_ = make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Edit"),
                                                UIBarButtonItemStyleBordered, this,
                                                Selector::named("editButtonPressed:"));
        setEditingButtonTitle();
    }
    return editButtonItem_;
}

void UIViewController::setEditingButtonTitle() {
    if (!editButtonItem_) return;
    editButtonItem_->setTitle(editing_ ? NS("Done") : NS("Edit"));
    editButtonItem_->setStyle(editing_ ? UIBarButtonItemStyleDone : UIBarButtonItemStyleBordered);
}

void UIViewController::editButtonPressed(NSObject*) {
    setEditing(!editing_, true);
}

// ---- containment -------------------------------------------------------------------------------

Ref<UINavigationController> UIViewController::navigationController() {
    for (auto p = parent_.lock(); p; p = p->parent_.lock()) {
        if (auto nav = as<UINavigationController>(p)) return nav;
    }
    return nullptr;
}

Ref<UITabBarController> UIViewController::tabBarController() {
    for (auto p = parent_.lock(); p; p = p->parent_.lock()) {
        if (auto tabs = as<UITabBarController>(p)) return tabs;
    }
    return nullptr;
}

Ref<NSArray> UIViewController::childViewControllers() {
    return NSArray::arrayWithVector(children_);
}

void UIViewController::addChildViewController(UIViewController* child) {
    if (!child || child == this || child->parent_.is(this)) return;
    if (child->parent_.lock()) child->removeFromParentViewController();
    child->willMoveToParentViewController(this);
    children_.emplace_back(child);
    child->parent_ = this;
    // A child shows in its container's orientation.
    child->orientation_ = orientation_;
}

void UIViewController::removeFromParentViewController() {
    Ref<UIViewController> keep(this);
    if (auto parent = parent_.lock()) {
        auto& list = parent->children_;
        list.erase(
            std::remove_if(list.begin(), list.end(),
                           [this](const Ref<UIViewController>& c) { return c.get() == this; }),
            list.end());
    }
    parent_ = nullptr;
    didMoveToParentViewController(nullptr);
}

Ref<UIViewController> UIViewController::outermostController() {
    Ref<UIViewController> c(this);
    while (auto p = c->parent_.lock())
        c = p;
    return c;
}

// ---- modal presentation
// ---------------------------------------------------------------------------

void UIViewController::presentModalViewController(UIViewController* controller, bool animated) {
    if (!controller) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Application tried to present a nil modal view controller on "
                              "target %@."),
                           this);
    }
    if (controller == this || controller->parent_.lock() || controller->presenter_.lock()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Application tried to present modally an active controller %@."),
                           controller);
    }
    if (modal_) {
        modal_->presentModalViewController(controller, animated);
        return;
    }
    presentOver(controller, animated);
}

void UIViewController::presentViewController(UIViewController* controller, bool animated,
                                             std::function<void()> completion) {
    presentModalViewController(controller, animated);
    if (completion) completion();
}

void UIViewController::presentOver(UIViewController* controller, bool animated) {
    Ref<UIViewController> presented(controller);
    Ref<UIViewController> root = outermostController();
    modal_ = presented;
    presented->presenter_ = this;
    presented->beingPresented_ = true;
    Ref<UIWindow> window = root->view_ ? root->view_->window() : nullptr;
    Ref<UIView> modalView = presented->view();
    auto app = UIApplication::sharedApplication();
    // Over a turned screen the presented one comes turned too when it allows that, else
    // upright: the status bar and the keyboard go with it.
    UIInterfaceOrientation orientation =
        window ? orientationAllowedBy(presented.get(), app->statusBarOrientation())
               : root->orientation_;
    presented->orientation_ = orientation;
    if (window) app->setStatusBarOrientation(orientation);
    if (window) {
        presented->layOutWindowContent();
    } else {
        modalView->setTransform(CGAffineTransformIdentity);
        modalView->setFrame(presented->fullScreenFrame());
    }
    if (window) {
        root->beginAppearanceTransition(false, animated);
        presented->beginAppearanceTransition(true, animated);
        Ref<UIView> covered = root->view_;
        if (auto superview = covered->superview()) {
            const auto& list = superview->subviewList();
            auto it = std::find_if(list.begin(), list.end(),
                                   [&](const Ref<UIView>& v) { return v.get() == covered.get(); });
            root->coveredSuperview_ = superview.get();
            root->coveredIndex_ = static_cast<NSInteger>(it - list.begin());
        }
        window->addSubview(modalView);
        covered->removeFromSuperview();
        root->endAppearanceTransition();
        presented->endAppearanceTransition();
    }
    presented->beingPresented_ = false;
}

void UIViewController::dismissModalViewControllerAnimated(bool animated) {
    Ref<UIViewController> keep(this);
    if (modal_) {
        dismissPresented(animated);
        return;
    }
    if (auto presenter = presenter_.lock()) {
        presenter->dismissPresented(animated);
        return;
    }
    if (auto parent = parent_.lock()) {
        parent->dismissModalViewControllerAnimated(animated);
        return;
    }
    // A container asked to dismiss what one of its children presented.
    if (auto descendant = presentingDescendant()) descendant->dismissPresented(animated);
}

void UIViewController::dismissViewControllerAnimated(bool animated,
                                                     std::function<void()> completion) {
    dismissModalViewControllerAnimated(animated);
    if (completion) completion();
}

Ref<UIViewController> UIViewController::presentingDescendant() {
    for (auto& child : shownChildViewControllers()) {
        if (child->modal_) return child;
        if (auto deeper = child->presentingDescendant()) return deeper;
    }
    return nullptr;
}

void UIViewController::dismissPresented(bool animated) {
    if (!modal_) return;
    Ref<UIViewController> keep(this);
    std::vector<Ref<UIViewController>> chain;
    for (Ref<UIViewController> c = modal_; c; c = c->modal_)
        chain.push_back(c);
    Ref<UIViewController> top = chain.back();
    Ref<UIViewController> root = outermostController();
    for (auto& c : chain)
        c->beingDismissed_ = true;

    Ref<UIWindow> window = top->view_ ? top->view_->window() : nullptr;
    if (window) {
        top->beginAppearanceTransition(false, animated);
        root->beginAppearanceTransition(true, animated);
        Ref<UIView> back = root->view();
        Ref<UIView> container = root->coveredSuperview_.lock();
        if (!container) container = window;
        NSInteger index = std::min<NSInteger>(
            root->coveredIndex_, static_cast<NSInteger>(container->subviewList().size()));
        container->insertSubview(back, index);
        for (auto& c : chain) {
            if (c->view_) c->view_->removeFromSuperview();
        }
        top->endAppearanceTransition();
        root->endAppearanceTransition();
    }
    for (auto& c : chain) {
        c->presenter_ = nullptr;
        c->modal_ = nullptr;
        c->beingDismissed_ = false;
    }
    modal_ = nullptr;
    if (!window) return;
    // The screen shown again is the window's content, unless the one that presented was laid
    // over it: then that content takes its place for the orientation.
    Ref<UIViewController> shown = root;
    if (!root->isWindowContent())
        if (auto content = contentControllerOf(window.get())) shown = content;
    shown->showInAllowedOrientation(false);
}

void UIViewController::showInAllowedOrientation(bool keepAllowed) {
    // The screen shown again (after a presented one closed, its view made again, a screen of
    // its stack gone, the application back from Home): the interface takes an orientation it
    // allows, the content is laid out for it whatever it was before, and the status bar and
    // the keyboard go with it.
    auto app = UIApplication::sharedApplication();
    UIInterfaceOrientation orientation =
        keepAllowed && shouldAutorotateToInterfaceOrientation(orientation_)
            ? orientation_
            : orientationAllowedBy(this, app->statusBarOrientation());
    // Refused only when the controller changed its mind meanwhile: then as it stands.
    if (orientation != orientation_) rotateToInterfaceOrientation(orientation, 0);
    if (isWindowContent()) layOutWindowContent();
    app->setStatusBarOrientation(orientation_);
}

void UIViewController::shownChildChanged() {
    // A screen that does not turn, shown while the content is turned (one went back to it),
    // brings the content back upright rather than stand sideways until the phone turns.
    auto outer = outermostController();
    if (outer->isWindowContent()) outer->showInAllowedOrientation(true);
}

void UIViewController::showWindowsContentInAllowedOrientation() {
    auto visible = visibleViewControllers();
    for (NSUInteger i = 0; i < visible->count(); ++i) {
        auto c = cast<UIViewController>(visible->objectAtIndex(i));
        if (c->isWindowContent()) c->showInAllowedOrientation(false);
    }
}

void UIViewController::layOutWindowsContent() {
    auto visible = visibleViewControllers();
    for (NSUInteger i = 0; i < visible->count(); ++i) {
        auto c = cast<UIViewController>(visible->objectAtIndex(i));
        if (c->isWindowContent()) c->layOutWindowContent();
    }
}

bool UIViewController::isWindowContent() {
    if (!view_ || parent_.lock()) return false;
    if (presenter_.lock()) return true;
    Ref<UIWindow> window = view_->window();
    if (!window || view_->superview().get() != window.get()) return false;
    return contentControllerOf(window.get()).get() == this;
}

// ---- orientation
// ---------------------------------------------------------------------------------

bool UIViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return orientation == UIInterfaceOrientationPortrait;
}

bool UIViewController::rotateToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                    NSTimeInterval duration) {
    if (!shouldAutorotateToInterfaceOrientation(orientation)) return false;
    if (orientation == orientation_) return true;
    UIInterfaceOrientation old = orientation_;
    Ref<UIViewController> keep(this);
    auto children = shownChildViewControllers();
    willRotateToInterfaceOrientation(orientation, duration);
    for (auto& c : children)
        c->willRotateToInterfaceOrientation(orientation, duration);
    // Everything the controller shows stands in its orientation, down to the top of a stack in
    // a tab.
    std::function<void(UIViewController*)> follow = [&](UIViewController* c) {
        c->orientation_ = orientation;
        for (auto& shown : c->shownChildViewControllers())
            follow(shown.get());
    };
    follow(this);
    if (!parent_.lock() && view_) {
        if (isWindowContent()) {
            layOutWindowContent();
        } else {
            CGRect bounds = view_->bounds();
            bounds.size = rootSizeFor(orientation, wantsFullScreenLayout_);
            view_->setBounds(bounds);
        }
    }
    willAnimateRotationToInterfaceOrientation(orientation, duration);
    for (auto& c : children)
        c->willAnimateRotationToInterfaceOrientation(orientation, duration);
    didRotateFromInterfaceOrientation(old);
    for (auto& c : children)
        c->didRotateFromInterfaceOrientation(old);
    return true;
}

void UIViewController::attemptRotationToDeviceOrientation() {
    auto device = UIDevice::currentDevice()->orientation();
    if (!UIDeviceOrientationIsValidInterfaceOrientation(device)) return;
    // The device's and the interface's values name the same positions.
    auto orientation = static_cast<UIInterfaceOrientation>(static_cast<NSInteger>(device));
    auto visible = visibleViewControllers();
    bool turned = false;
    for (NSUInteger i = 0; i < visible->count(); ++i) {
        auto c = cast<UIViewController>(visible->objectAtIndex(i));
        if (!c->isWindowContent()) continue;
        if (c->orientation_ != orientation && c->rotateToInterfaceOrientation(orientation, 0.3)) {
            turned = true;
        }
    }
    if (turned) UIApplication::sharedApplication()->setStatusBarOrientation(orientation);
}

// ---- appearance -------------------------------------------------------------------------------

void UIViewController::beginAppearanceTransition(bool isAppearing, bool animated) {
    Ref<UIViewController> keep(this);
    if (isAppearing) {
        if (appearance_ == UIViewControllerAppearing || appearance_ == UIViewControllerAppeared) {
            return;
        }
        appearance_ = UIViewControllerAppearing;
        appearingAnimated_ = animated;
        loadViewIfNeeded();
        viewWillAppear(animated);
    } else {
        if (appearance_ == UIViewControllerDisappearing ||
            appearance_ == UIViewControllerDisappeared) {
            return;
        }
        appearance_ = UIViewControllerDisappearing;
        appearingAnimated_ = animated;
        viewWillDisappear(animated);
    }
    forwardAppearance(true, isAppearing, animated);
}

void UIViewController::endAppearanceTransition() {
    Ref<UIViewController> keep(this);
    if (appearance_ == UIViewControllerAppearing) {
        appearance_ = UIViewControllerAppeared;
        viewDidAppear(appearingAnimated_);
        forwardAppearance(false, true, appearingAnimated_);
    } else if (appearance_ == UIViewControllerDisappearing) {
        appearance_ = UIViewControllerDisappeared;
        viewDidDisappear(appearingAnimated_);
        forwardAppearance(false, false, appearingAnimated_);
    }
}

void UIViewController::forwardAppearance(bool begin, bool isAppearing, bool animated) {
    if (begin) willForwardAppearance(isAppearing);
    for (auto& child : shownChildViewControllers()) {
        if (begin) {
            child->beginAppearanceTransition(isAppearing, animated);
        } else {
            child->endAppearanceTransition();
        }
    }
    if (!begin) didForwardAppearance(isAppearing);
}

bool UIViewController::isViewVisible() {
    return view_ && view_->window();
}

void UIViewController::viewMovedToWindow(UIWindow* window) {
    // Containers and presentations drive their own; a stand-alone controller whose view is
    // put in (or taken out of) a window hears it here.
    if (parent_.lock()) return;
    if (window && appearance_ == UIViewControllerDisappeared) {
        beginAppearanceTransition(true, false);
        endAppearanceTransition();
    } else if (!window && appearance_ == UIViewControllerAppeared) {
        beginAppearanceTransition(false, false);
        endAppearanceTransition();
    }
}

Ref<NSArray> UIViewController::visibleViewControllers() {
    auto result = NSMutableArray::array();
    std::function<void(UIView*)> walk = [&](UIView* view) {
        if (view->isHidden()) return;
        if (auto c = as<UIViewController>(view->viewController())) {
            if (!result->containsObject(c)) result->addObject(c);
        }
        for (auto& sub : view->subviewList())
            walk(sub);
    };
    auto windows = UIApplication::sharedApplication()->windows();
    for (NSUInteger i = 0; windows && i < windows->count(); ++i) {
        auto window = cast<UIWindow>(windows->objectAtIndex(i));
        if (!window->isHidden()) walk(window);
    }
    return result;
}

Ref<UIResponder> UIViewController::nextResponder() {
    if (!view_) return nullptr;
    return view_->superview();
}

// ---- the UI framework's operations ------------------------------------------------------------

namespace {
UIViewController::FrameworkDefaults& installedDefaults() {
    static UIViewController::FrameworkDefaults defaults;
    return defaults;
}
}  // namespace

void UIViewController::installFrameworkDefaults(FrameworkDefaults defaults) {
    installedDefaults() = std::move(defaults);
}

const UIViewController::FrameworkDefaults& UIViewController::frameworkDefaults() {
    return installedDefaults();
}

bool UIViewController::persistView(NSMutableDictionary*) {
    return true;
}

Ref<NSDictionary> UIViewController::frozenState() {
    return nullptr;
}

Ref<UIViewController> UIViewController::topSubcontroller() {
    return nullptr;
}

void UIViewController::addSubcontroller(UIViewController* controller, bool animated,
                                        UIViewAnimationTransition transition) {
    if (auto nav = navigationController()) nav->addSubcontroller(controller, animated, transition);
}

void UIViewController::removeFromSupercontrollerAnimated(bool animated) {
    if (auto nav = navigationController()) nav->popViewControllerAnimated(animated);
}

Ref<NSString> UIViewController::keyForSubcontroller(UIViewController*) {
    return nullptr;
}

Ref<UIViewController> UIViewController::subcontrollerForKey(NSString*) {
    return nullptr;
}

void UIViewController::persistNavigationPath(NSMutableArray* path) {
    if (auto& f = installedDefaults().persistNavigationPath) f(this, path);
}

Ref<NSString> UIViewController::navigatorURL() {
    if (auto& f = installedDefaults().navigatorURL) return f(this);
    return nullptr;
}

bool UIViewController::initWithNavigatorURL(NSURL*, NSDictionary*) {
    return initWithNibName(nullptr, nullptr);
}

Ref<UISearchDisplayController> UIViewController::searchDisplayController() {
    return search_.lock();
}

void UIViewController::setSearchDisplayController(UISearchDisplayController* search) {
    search_ = search;
}
