#include "UIKit/UINavigationController.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIChildControllerChange.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

namespace {
constexpr CGFloat kBarHeight = 44;

// How thick the status bar's strip is, whether it shows or not.
CGFloat statusBarThickness() {
    CGRect strip = UIApplication::sharedApplication()->statusBarStrip();
    return std::min(strip.size.width, strip.size.height);
}

bool contains(const std::vector<Ref<UIViewController>>& list, UIViewController* c) {
    return std::any_of(list.begin(), list.end(),
                       [c](const Ref<UIViewController>& x) { return x.get() == c; });
}

// The delegate's optional show calls, made only for a controller actually shown.
void tellWillShow(UINavigationControllerDelegate* delegate, UINavigationController* nav,
                  UIViewController* shown, bool animated) {
    if (shown &&
        respondsTo(delegate,
                   Selector::named("navigationController:willShowViewController:animated:"))) {
        delegate->navigationControllerWillShowViewController(nav, shown, animated);
    }
}

void tellDidShow(UINavigationControllerDelegate* delegate, UINavigationController* nav,
                 UIViewController* shown, bool animated) {
    if (shown &&
        respondsTo(delegate,
                   Selector::named("navigationController:didShowViewController:animated:"))) {
        delegate->navigationControllerDidShowViewController(nav, shown, animated);
    }
}
}  // namespace

void UINavigationController::describeClass(RuntimeClass& c) {
    c.implements({"navigationBar:shouldPopItem:"});
    c.method("popViewControllerAnimated:", &UINavigationController::popViewControllerAnimated);
}

bool UINavigationController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!UIViewController::initWithNibName(nibName, bundle)) return false;
    navigationBar_ =
        make<UINavigationBar>(&UINavigationBar::initWithFrame, CGRectMake(0, 0, 320, kBarHeight));
    navigationBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                        UIViewAutoresizingFlexibleBottomMargin);
    navigationBar_->setDelegate(this);
    toolbar_ = make<UIToolbar>(&UIToolbar::initWithFrame, CGRectMake(0, 0, 320, kBarHeight));
    toolbar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleTopMargin);
    toolbar_->setHidden(true);
    return true;
}

bool UINavigationController::initWithRootViewController(UIViewController* root) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    if (root) pushViewController(root, false);
    return true;
}

void UINavigationController::dealloc() {
    if (navigationBar_) navigationBar_->setDelegate(nullptr);
    for (auto& c : stack_)
        c->parent_ = nullptr;
    stack_.clear();
    super::dealloc();
}

void UINavigationController::loadView() {
    auto view = make<UIView>(&UIView::initWithFrame, fullScreenFrame());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view->addSubview(navigationBar_);
    view->addSubview(toolbar_);
    setView(view);
    layoutContent();
}

// ---- the stack ---------------------------------------------------------------------------------

Ref<NSArray> UINavigationController::viewControllers() {
    return NSArray::arrayWithVector(stack_);
}

void UINavigationController::setViewControllers(NSArray* controllers) {
    setViewControllers(controllers, false);
}

void UINavigationController::setViewControllers(NSArray* controllers, bool animated) {
    std::vector<Ref<UIViewController>> stack;
    for (NSUInteger i = 0; controllers && i < controllers->count(); ++i) {
        auto c = as<UIViewController>(controllers->objectAtIndex(i));
        if (!c) {
            NSException::raise(NSInvalidArgumentException, NS("%@ is not a view controller"),
                               controllers->objectAtIndex(i));
        }
        if (contains(stack, c)) {
            NSException::raise(NSInvalidArgumentException,
                               NS("Pushing the same view controller instance more than once is "
                                  "not supported (%@)"),
                               c.get());
        }
        stack.push_back(c);
    }
    transition(std::move(stack), animated);
}

Ref<UIViewController> UINavigationController::topViewController() {
    return stack_.empty() ? nullptr : stack_.back();
}

Ref<UIViewController> UINavigationController::visibleViewController() {
    Ref<UIViewController> c = modalViewController();
    if (!c) {
        c = topViewController();
        if (c && c->modalViewController())
            c = c->modalViewController();
        else
            return c;
    }
    while (c->modalViewController())
        c = c->modalViewController();
    return c;
}

void UINavigationController::pushViewController(UIViewController* controller, bool animated) {
    if (!controller) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Application tried to push a nil view controller on target %@."),
                           this);
    }
    if (contains(stack_, controller)) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Pushing the same view controller instance more than once is not "
                              "supported (%@)"),
                           controller);
    }
    if (is<UINavigationController>(controller)) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Pushing a navigation controller is not supported"));
    }
    if (controller->parentViewController() || controller->presentingViewController()) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Pushing a view controller that another container or a "
                              "presentation holds is not supported (%@)"),
                           controller);
    }
    auto stack = stack_;
    stack.emplace_back(controller);
    transition(std::move(stack), animated);
}

Ref<UIViewController> UINavigationController::popViewControllerAnimated(bool animated) {
    if (stack_.size() < 2) return nullptr;
    Ref<UIViewController> top = stack_.back();
    auto stack = stack_;
    stack.pop_back();
    transition(std::move(stack), animated);
    return top;
}

Ref<NSArray> UINavigationController::popToViewController(UIViewController* controller,
                                                         bool animated) {
    auto it = std::find_if(stack_.begin(), stack_.end(),
                           [controller](auto& c) { return c.get() == controller; });
    if (it == stack_.end()) {
        NSException::raise(NSInternalInconsistencyException,
                           NS("Tried to pop to a view controller that doesn't exist."));
    }
    if (it + 1 == stack_.end()) return nullptr;
    std::vector<Ref<UIViewController>> popped(it + 1, stack_.end());
    std::vector<Ref<UIViewController>> stack(stack_.begin(), it + 1);
    transition(std::move(stack), animated);
    return NSArray::arrayWithVector(popped);
}

Ref<NSArray> UINavigationController::popToRootViewControllerAnimated(bool animated) {
    if (stack_.size() < 2) return nullptr;
    return popToViewController(stack_.front(), animated);
}

bool UINavigationController::onScreen() {
    // While the container itself is still coming, its own forwarding tells the children.
    return appearance() == UIViewControllerAppeared;
}

void UINavigationController::transition(std::vector<Ref<UIViewController>> newStack,
                                        bool animated) {
    Ref<UINavigationController> keep(this);
    Ref<UIViewController> oldTop = topViewController();
    Ref<UIViewController> newTop = newStack.empty() ? nullptr : newStack.back();
    auto children = UIChildControllerChange::begin(this, stack_, newStack);
    stack_ = std::move(newStack);

    bool visible = newTop != oldTop && onScreen();
    if (newTop != oldTop) {
        auto delegate = delegate_.lock();
        if (visible) {
            tellWillShow(delegate.get(), this, newTop, animated);
            if (oldTop) oldTop->beginAppearanceTransition(false, animated);
            if (newTop) newTop->beginAppearanceTransition(true, animated);
        }
        if (oldTop && oldTop->isViewLoaded() && isViewLoaded() &&
            oldTop->view()->superview().get() == view().get()) {
            oldTop->view()->removeFromSuperview();
        }
        if (visible || isViewLoaded()) installTopView();
        syncBars(animated);
        if (visible) {
            if (oldTop) oldTop->endAppearanceTransition();
            if (newTop) newTop->endAppearanceTransition();
            tellDidShow(delegate.get(), this, newTop, animated);
        }
    } else {
        syncBars(animated);
    }
    children.finish(this);
    if (visible) shownChildChanged();
}

void UINavigationController::installTopView() {
    auto top = topViewController();
    if (!top) return;
    Ref<UIView> container = view();
    Ref<UIView> topView = top->view();
    topView->setFrame(contentFrame());
    topView->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
    if (topView->superview().get() != container.get()) container->insertSubview(topView, 0);
}

void UINavigationController::willForwardAppearance(bool isAppearing) {
    if (!isAppearing) return;
    // In its window now: where the status bar lies is known.
    layoutContent();
    installTopView();
    tellWillShow(delegate_.lock().get(), this, topViewController(), false);
}

void UINavigationController::didForwardAppearance(bool isAppearing) {
    if (!isAppearing) return;
    tellDidShow(delegate_.lock().get(), this, topViewController(), false);
}

std::vector<Ref<UIViewController>> UINavigationController::shownChildViewControllers() {
    if (stack_.empty()) return {};
    return {stack_.back()};
}

bool UINavigationController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    auto top = topViewController();
    return top ? top->shouldAutorotateToInterfaceOrientation(orientation)
               : UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
}

// ---- bars ---------------------------------------------------------------------------------------

void UINavigationController::syncBars(bool animated) {
    auto items = NSMutableArray::array();
    for (auto& c : stack_)
        items->addObject(c->navigationItem());
    navigationBar_->setItems(items, animated);
    auto top = topViewController();
    toolbar_->setItems(top ? top->toolbarItems() : nullptr, animated);
    if (auto tabs = as<UITabBarController>(parentViewController())) tabs->layoutContent();
}

Ref<UINavigationBar> UINavigationController::navigationBar() {
    return navigationBar_;
}

void UINavigationController::setNavigationBarHidden(bool hidden, bool) {
    navigationBarHidden_ = hidden;
    navigationBar_->setHidden(hidden);
    layoutContent();
}

Ref<UIToolbar> UINavigationController::toolbar() {
    return toolbar_;
}

void UINavigationController::setToolbarHidden(bool hidden, bool) {
    toolbarHidden_ = hidden;
    toolbar_->setHidden(hidden);
    layoutContent();
}

CGFloat UINavigationController::statusBarInset() {
    if (!isViewLoaded() || wantsFullScreenLayout()) return 0;
    auto top = topViewController();
    if (top && top->wantsFullScreenLayout()) return 0;
    auto window = view()->window();
    auto app = UIApplication::sharedApplication();
    if (!window || app->isStatusBarHidden()) return 0;
    CGRect bar = app->statusBarFrame();
    // Only the bar across the top of an upright screen.
    if (bar.origin.y != 0 || bar.size.width < bar.size.height) return 0;
    CGFloat y = view()->convertPoint(CGPointZero, window.get()).y;
    return std::clamp<CGFloat>(CGRectGetMaxY(bar) - y, 0, CGRectGetMaxY(bar));
}

CGRect UINavigationController::contentFrame() {
    CGRect bounds = isViewLoaded() ? view()->bounds() : fullScreenFrame();
    CGFloat bottom = toolbarHidden_ ? 0 : kBarHeight;
    if (laysTopViewUnderBars()) {
        // From the window's top: a container placed below the status bar reaches up under it,
        // and keeps that room while the bar hides (a photo shown whole as the bars go).
        CGFloat up = 0;
        if (auto window = view()->window())
            up = std::clamp<CGFloat>(view()->convertPoint(CGPointZero, window.get()).y, 0,
                                     statusBarThickness());
        return CGRectMake(0, -up, bounds.size.width,
                          std::max<CGFloat>(0, bounds.size.height + up - bottom));
    }
    CGFloat inset = statusBarInset();
    CGFloat top = inset + (navigationBarHidden_ ? 0 : kBarHeight);
    return CGRectMake(0, top, bounds.size.width,
                      std::max<CGFloat>(0, bounds.size.height - top - bottom));
}

bool UINavigationController::laysTopViewUnderBars() {
    // A screen that asks for the whole screen lies under see-through bars, which are drawn over
    // it, as on the phone; under an opaque bar it still starts below it.
    auto top = topViewController();
    if (!isViewLoaded() || !top || !top->wantsFullScreenLayout()) return false;
    return navigationBarHidden_ || navigationBar_->isTranslucent() ||
           navigationBar_->barStyle() == UIBarStyleBlackTranslucent;
}

void UINavigationController::layoutContent() {
    if (!isViewLoaded()) return;
    CGRect bounds = view()->bounds();
    navigationBar_->setFrame(CGRectMake(0, statusBarInset(), bounds.size.width, kBarHeight));
    toolbar_->setFrame(
        CGRectMake(0, bounds.size.height - kBarHeight, bounds.size.width, kBarHeight));
    auto top = topViewController();
    if (top && top->isViewLoaded() && top->view()->superview().get() == view().get()) {
        top->view()->setFrame(contentFrame());
    }
}

void UINavigationController::navigationBarDidChangeStyle(UINavigationBar*) {
    // Whether the top view lies under the bar may have changed with it.
    layoutContent();
}

bool UINavigationController::hidesBottomBar() {
    return std::any_of(stack_.begin(), stack_.end(),
                       [](auto& c) { return c->hidesBottomBarWhenPushed(); });
}

bool UINavigationController::goBack() {
    if (stack_.size() < 2) return false;
    if (navigationBarHidden_) return popViewControllerAnimated(true) != nullptr;
    // The bar knows whether a back button shows; its tap comes back here.
    size_t before = stack_.size();
    navigationBar_->tapBackButton();
    return stack_.size() < before;
}

bool UINavigationController::navigationBarShouldPopItem(UINavigationBar*, UINavigationItem* item) {
    if (popping_) return true;
    auto top = topViewController();
    if (stack_.size() > 1 && top && top->navigationItem().get() == item) {
        popping_ = true;
        try {
            popViewControllerAnimated(true);
        } catch (...) {
            popping_ = false;
            throw;
        }
        popping_ = false;
    }
    // The stack's pop already set the bar's items.
    return false;
}

// ---- the UI framework's container operations ------------------------------------------------

void UINavigationController::addSubcontroller(UIViewController* controller, bool animated,
                                              UIViewAnimationTransition) {
    // The framework's own navigation controllers push with the transition.
    pushViewController(controller, animated);
}

void UINavigationController::bringControllerToFront(UIViewController* controller, bool animated) {
    auto stack = viewControllers();
    if (stack->containsObject(controller) && topViewController().get() != controller)
        popToViewController(controller, animated);
}

Ref<NSString> UINavigationController::keyForSubcontroller(UIViewController* controller) {
    NSUInteger index = viewControllers()->indexOfObject(controller);
    if (index == NSNotFound) return nullptr;
    return NSString::stringWithFormat(NS("%d"), static_cast<int>(index));
}

Ref<UIViewController> UINavigationController::subcontrollerForKey(NSString* key) {
    auto stack = viewControllers();
    int32_t index = key ? key->intValue() : 0;
    if (index < 0 || static_cast<NSUInteger>(index) >= stack->count()) return nullptr;
    return as<UIViewController>(stack->objectAtIndex(static_cast<NSUInteger>(index)));
}

Ref<UIView> UINavigationController::rotatingHeaderView() {
    if (auto& f = frameworkDefaults().rotatingHeaderView) return f(this);
    return nullptr;
}
