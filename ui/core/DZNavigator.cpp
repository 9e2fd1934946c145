#include "ui/core/DZNavigator.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UISearchDisplayController.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIView.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZModelViewController.h"
#include "ui/core/DZNavigationController.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/UIViewController+DZCategory.h"

NSString* const DZNavigatorHistoryKey = NS("DZNavigatorHistory");
NSString* const DZNavigatorHistoryTimeKey = NS("DZNavigatorHistoryTime");
NSString* const DZNavigatorHistoryImportantKey = NS("DZNavigatorHistoryImportant");

// ---- actions
// --------------------------------------------------------------------------------------

Ref<DZURLAction> DZURLAction::actionWithURLPath(NSString* urlPath) {
    return make<DZURLAction>(&DZURLAction::initWithURLPath, urlPath);
}

bool DZURLAction::initWithURLPath(NSString* urlPath) {
    setUrlPath(urlPath);
    return true;
}

void DZURLAction::setUrlPath(NSString* path) {
    urlPath_ = path ? path->copy() : nullptr;
}
void DZURLAction::setParentURLPath(NSString* path) {
    parentURLPath_ = path ? path->copy() : nullptr;
}
void DZURLAction::setQuery(NSDictionary* query) {
    query_ = query;
}
void DZURLAction::setState(NSDictionary* state) {
    state_ = state;
}
DZURLAction* DZURLAction::applyParentURLPath(NSString* path) {
    setParentURLPath(path);
    return this;
}
DZURLAction* DZURLAction::applyQuery(NSDictionary* query) {
    setQuery(query);
    return this;
}
DZURLAction* DZURLAction::applyState(NSDictionary* state) {
    setState(state);
    return this;
}
DZURLAction* DZURLAction::applyAnimated(bool animated) {
    animated_ = animated;
    return this;
}
DZURLAction* DZURLAction::applyWithDelay(bool withDelay) {
    withDelay_ = withDelay;
    return this;
}
DZURLAction* DZURLAction::applyTransition(int32_t transition) {
    transition_ = transition;
    return this;
}

// ---- the navigator
// --------------------------------------------------------------------------------

namespace {
ProcessWide<DZBaseNavigator>& globalNavigatorSlot() {
    static ProcessWide<DZBaseNavigator> slot;
    return slot;
}
}  // namespace

void DZBaseNavigator::describeClass(RuntimeClass& c) {
    c.method("applicationWillLeaveForeground:", &DZBaseNavigator::applicationWillLeaveForeground);
}

bool DZBaseNavigator::init() {
    DZInstallControllerExtensions();
    URLMap_ = make<DZURLMap>();
    persistenceMode_ = DZNavigatorPersistenceModeNone;
    auto center = NSNotificationCenter::defaultCenter();
    SEL leave = Selector::named("applicationWillLeaveForeground:");
    center->addObserver(this, leave, UIApplicationWillTerminateNotification, nullptr);
    center->addObserver(this, leave, UIApplicationDidEnterBackgroundNotification, nullptr);
    return true;
}

void DZBaseNavigator::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    delegate_ = nullptr;
    window_ = nullptr;
    rootViewController_ = nullptr;
    delayedControllers_ = nullptr;
    URLMap_ = nullptr;
    NSObject::dealloc();
}

Ref<DZBaseNavigator> DZBaseNavigator::globalNavigator() {
    return globalNavigatorSlot().peek();
}

void DZBaseNavigator::setGlobalNavigator(DZBaseNavigator* navigator) {
    globalNavigatorSlot().exchange(navigator);
}

void DZBaseNavigator::applicationWillLeaveForeground(NSNotification*) {
    if (persistenceMode_ != DZNavigatorPersistenceModeNone) persistViewControllers();
}

Ref<UIViewController> DZBaseNavigator::openURLAction(DZURLAction* action) {
    if (!action || !action->urlPath()) return nullptr;
    Ref<NSString> path = action->urlPath();
    auto URL = NSURL::URLWithString(path);
    if (URLMap_->isAppURL(URL)) {
        UIApplication::sharedApplication()->openURL(URL);
        return nullptr;
    }
    if (!URL || !URL->scheme()) {
        if (URL && URL->fragment()) {
            // A bare fragment acts on the current screen; with no screen there is nothing to
            // act on.
            auto current = this->URL();
            if (!current) return nullptr;
            path = NSString::stringWithFormat(NS("%@%@"), current.get(), path.get());
        } else {
            path = NSString::stringWithFormat(NS("http://%@"), path.get());
        }
        URL = NSURL::URLWithString(path);
    }
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(), Selector::named("navigator:shouldOpenURL:")) &&
        !delegate->navigatorShouldOpenURL(this, URL))
        return nullptr;
    if (respondsTo(delegate.get(), Selector::named("navigator:URLToOpen:"))) {
        URL = delegate->navigatorURLToOpen(this, URL);
        if (!URL) return nullptr;
        path = URL->absoluteString();
    }
    if (action->withDelay()) beginDelay();

    Ref<DZURLNavigatorPattern> pattern;
    auto controller = viewControllerForURL(path, action->query(), &pattern);
    if (controller) {
        if (auto state = action->state()) {
            controller->restoreView(state);
            controller->setFrozenState(state);
            didRestoreController(controller);
        }
        if (respondsTo(delegate.get(), Selector::named("navigator:willOpenURL:inViewController:")))
            delegate->navigatorWillOpenURLInViewController(this, URL, controller);
        int32_t transition = action->transition();
        if (!transition && pattern) transition = pattern->transition();
        bool isNew = presentController(controller, action->parentURLPath(), pattern,
                                       action->animated(), transition);
        if (action->withDelay() && !isNew) cancelDelay();
        return controller;
    }
    if (opensExternalURLs_) {
        if (respondsTo(delegate.get(), Selector::named("navigator:willOpenURL:inViewController:")))
            delegate->navigatorWillOpenURLInViewController(this, URL, nullptr);
        UIApplication::sharedApplication()->openURL(URL);
    }
    return nullptr;
}

Ref<UIViewController> DZBaseNavigator::openURLs(std::initializer_list<NSString*> URLs) {
    Ref<UIViewController> last;
    for (NSString* URL : URLs)
        last = openURLAction(DZURLAction::actionWithURLPath(URL));
    return last;
}

Ref<NSString> DZBaseNavigator::URL() {
    auto top = topViewController();
    return top ? top->navigatorURL() : nullptr;
}

void DZBaseNavigator::setURL(NSString* URL) {
    openURLAction(DZURLAction::actionWithURLPath(URL)->applyAnimated(true));
}

Ref<UIViewController> DZBaseNavigator::viewControllerForURL(NSString* URL) {
    return viewControllerForURL(URL, nullptr, nullptr);
}

Ref<UIViewController> DZBaseNavigator::viewControllerForURL(NSString* URL, NSDictionary* query) {
    return viewControllerForURL(URL, query, nullptr);
}

Ref<UIViewController> DZBaseNavigator::viewControllerForURL(NSString* URL, NSDictionary* query,
                                                            Ref<DZURLNavigatorPattern>* pattern) {
    if (!URL) return nullptr;
    NSRange hash = URL->rangeOfString(NS("#"), NSBackwardsSearch);
    if (hash.location == NSNotFound) {
        auto controller = as<UIViewController>(URLMap_->objectForURL(URL, query, pattern));
        if (!controller) return nullptr;
        setOriginalNavigatorURL(controller, URL);
        if (delayCount_) {
            if (!delayedControllers_) delayedControllers_ = NSMutableArray::array();
            delayedControllers_->addObject(controller);
        }
        return controller;
    }
    auto base = URL->substringToIndex(hash.location);
    auto current = this->URL();
    Ref<UIViewController> target;
    if (current && base->isEqualToString(current)) {
        target = visibleViewController();
    } else {
        target = as<UIViewController>(URLMap_->objectForURL(base, nullptr, pattern));
    }
    if (!target) return nullptr;
    auto result = as<UIViewController>(URLMap_->dispatchURL(URL, target, query));
    return result ? result : target;
}

Ref<UIWindow> DZBaseNavigator::window() {
    if (!window_) {
        if (auto key = UIApplication::sharedApplication()->keyWindow()) {
            window_ = key;
        } else {
            auto window = cast<UIWindow>(windowClass()->createInstance());
            window->initWithFrame(DZOrientedScreenBounds());
            window->makeKeyAndVisible();
            window_ = window;
        }
    }
    return window_;
}

void DZBaseNavigator::setWindow(UIWindow* window) {
    window_ = window;
}

Class DZBaseNavigator::windowClass() {
    return UIWindow::staticClass();
}

void DZBaseNavigator::setRootViewController(UIViewController* controller) {
    if (controller == rootViewController_.get()) return;
    rootViewController_ = controller;
    if (controller) window()->addSubview(controller->view());
}

Ref<UIViewController> DZBaseNavigator::visibleViewController() {
    Ref<UIViewController> controller = rootViewController_;
    while (controller) {
        Ref<UIViewController> child = controller->modalViewController();
        if (!child) child = getVisibleChildController(controller);
        if (!child) return controller;
        controller = child;
    }
    return nullptr;
}

Ref<UIViewController> DZBaseNavigator::topViewController() {
    Ref<UIViewController> controller = rootViewController_;
    while (controller) {
        Ref<UIViewController> next;
        auto popup = popupViewController(controller);
        if (popup && popup->canBeTopViewController())
            next = popup;
        else if (auto modal = controller->modalViewController())
            next = modal;
        else
            next = controller->topSubcontroller();
        if (!next) return controller;
        if (next == rootViewController_) return next;
        controller = next;
    }
    return nullptr;
}

Ref<UIViewController> DZBaseNavigator::frontViewControllerForController(
    UIViewController* controller) {
    Ref<UIViewController> front;
    if (auto tabs = as<UITabBarController>(controller)) {
        front = tabs->selectedViewController();
        if (!front && tabs->viewControllers()->count())
            front = cast<UIViewController>(tabs->viewControllers()->objectAtIndex(0));
    } else if (auto nav = as<UINavigationController>(controller)) {
        front = nav->topViewController();
    } else {
        front = controller;
    }
    if (front && front->modalViewController())
        return frontViewControllerForController(front->modalViewController());
    return front;
}

Ref<UINavigationController> DZBaseNavigator::frontNavigationController() {
    if (auto tabs = as<UITabBarController>(rootViewController_)) {
        auto selected = tabs->selectedViewController();
        if (!selected && tabs->viewControllers()->count())
            selected = cast<UIViewController>(tabs->viewControllers()->objectAtIndex(0));
        return as<UINavigationController>(selected);
    }
    return as<UINavigationController>(rootViewController_);
}

Ref<UIViewController> DZBaseNavigator::frontViewController() {
    if (auto nav = frontNavigationController()) return frontViewControllerForController(nav);
    if (!rootViewController_) return nullptr;
    return frontViewControllerForController(rootViewController_);
}

void DZBaseNavigator::beginDelay() {
    ++delayCount_;
}

void DZBaseNavigator::endDelay() {
    if (!delayCount_) return;
    if (--delayCount_ == 0) {
        auto controllers = delayedControllers_;
        delayedControllers_ = nullptr;
        if (controllers) {
            for (auto c : *controllers)
                as<UIViewController>(c)->delayDidEnd();
        }
    }
}

void DZBaseNavigator::cancelDelay() {
    if (!delayCount_) return;
    if (--delayCount_ == 0) delayedControllers_ = nullptr;
}

// ---- presentation
// ---------------------------------------------------------------------------------

bool DZBaseNavigator::presentController(UIViewController* controller, NSString* parentURLPath,
                                        DZURLNavigatorPattern* pattern, bool animated,
                                        int32_t transition) {
    if (!controller || controller == topViewController().get()) return false;
    Ref<NSString> parentPath = parentURLPath;
    if (!parentPath && pattern) parentPath = pattern->parentURL();
    auto parent = parentForController(controller, controller->canContainControllers(), parentPath);
    if (parent && parent != topViewController())
        presentController(parent, nullptr, DZNavigationModeNone, false, 0);
    return presentController(controller, parent, pattern ? pattern->navigationMode() : 0, animated,
                             transition);
}

Ref<UIViewController> DZBaseNavigator::parentForController(UIViewController* controller,
                                                           bool isContainer,
                                                           NSString* parentURLPath) {
    if (controller == rootViewController_.get()) return nullptr;
    if (!rootViewController_ && !isContainer) {
        auto nav = cast<UIViewController>(navigationControllerClass()->createInstance());
        nav->init();
        setRootViewController(nav);
    }
    if (parentURLPath) return openURLAction(DZURLAction::actionWithURLPath(parentURLPath));
    auto top = topViewController();
    return top.get() == controller ? nullptr : top;
}

bool DZBaseNavigator::presentController(UIViewController* controller, UIViewController* parent,
                                        int32_t mode, bool animated, int32_t transition) {
    if (!rootViewController_) {
        setRootViewController(controller);
        return true;
    }
    if (auto super = superController(controller)) {
        if (super.get() != parent) {
            // Bring it to the front along its chain, animating only the outermost step.
            Ref<UIViewController> child(controller);
            for (auto s = super; s; child = s, s = superController(s)) {
                bool outermost = !superController(s);
                s->bringControllerToFront(child, animated && outermost);
            }
        }
        return false;
    }
    if (parent) presentDependantController(controller, parent, mode, animated, transition);
    return true;
}

void DZBaseNavigator::presentDependantController(UIViewController* controller,
                                                 UIViewController* parent, int32_t mode,
                                                 bool animated, int32_t transition) {
    if (mode == DZNavigationModeModal)
        presentModalController(controller, parent, animated, transition);
    else
        parent->addSubcontroller(controller, animated,
                                 static_cast<UIViewAnimationTransition>(transition));
}

void DZBaseNavigator::presentModalController(UIViewController* controller, UIViewController* parent,
                                             bool animated, int32_t transition) {
    controller->setModalTransitionStyle(static_cast<UIModalTransitionStyle>(transition));
    if (is<UINavigationController>(controller)) {
        parent->presentModalViewController(controller, animated);
        return;
    }
    auto nav = cast<UINavigationController>(navigationControllerClass()->createInstance());
    nav->init();
    nav->pushViewController(controller, false);
    nav->setModalTransitionStyle(static_cast<UIModalTransitionStyle>(transition));
    parent->presentModalViewController(nav, animated);
}

Ref<UIViewController> DZBaseNavigator::getVisibleChildController(UIViewController* controller) {
    return controller->topSubcontroller();
}

Class DZBaseNavigator::navigationControllerClass() {
    return DZBaseNavigationController::staticClass();
}

// ---- history
// --------------------------------------------------------------------------------------

void DZBaseNavigator::persistViewControllers() {
    auto path = NSMutableArray::array();
    if (rootViewController_) persistController(rootViewController_, path);
    bool important = false;
    for (auto entry : *path) {
        if (as<NSDictionary>(entry)->objectForKey(NS("__important__"))) important = true;
    }
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (!path->count()) {
        resetDefaults();
        return;
    }
    defaults->setObject(path, DZNavigatorHistoryKey);
    defaults->setObject(NSDate::date(), DZNavigatorHistoryTimeKey);
    defaults->setObject(NSNumber::numberWithInt(important ? 1 : 0), DZNavigatorHistoryImportantKey);
    defaults->synchronize();
}

void DZBaseNavigator::persistController(UIViewController* controller, NSMutableArray* path) {
    if (auto URL = controller->navigatorURL()) {
        auto state = NSMutableDictionary::dictionary();
        state->setObject(URL, NS("__navigatorURL__"));
        if (controller->persistView(state)) path->addObject(state);
    }
    controller->persistNavigationPath(path);
    auto modal = controller->modalViewController();
    if (modal && modal->presentingViewController().get() == controller) {
        persistController(modal, path);
    } else if (auto popup = popupViewController(controller);
               popup && superController(popup).get() == controller) {
        persistController(popup, path);
    }
}

Ref<UIViewController> DZBaseNavigator::restoreViewControllers() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    auto time = as<NSDate>(defaults->objectForKey(DZNavigatorHistoryTimeKey));
    auto history = as<NSArray>(defaults->objectForKey(DZNavigatorHistoryKey));
    auto importantNumber = as<NSNumber>(defaults->objectForKey(DZNavigatorHistoryImportantKey));
    bool important = importantNumber && importantNumber->boolValue();
    if (persistenceExpirationAge_ != 0 && time && !important &&
        -time->timeIntervalSinceNow() > persistenceExpirationAge_)
        return nullptr;
    Ref<UIViewController> last;
    bool afterContainer = false;
    if (history) {
        for (auto item : *history) {
            // Entries that are not dictionaries with a URL are not ours: skipped.
            auto entry = as<NSDictionary>(item);
            auto URL = entry ? as<NSString>(entry->objectForKey(NS("__navigatorURL__"))) : nullptr;
            if (!URL) continue;
            auto controller = openURLAction(DZURLAction::actionWithURLPath(URL)->applyState(entry));
            if (controller) last = controller;
            if (persistenceMode_ == DZNavigatorPersistenceModeTop && afterContainer) break;
            if (controller && controller->canContainControllers()) afterContainer = true;
        }
    }
    window()->makeKeyAndVisible();
    return last;
}

void DZBaseNavigator::resetDefaults() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->removeObjectForKey(DZNavigatorHistoryKey);
    defaults->removeObjectForKey(DZNavigatorHistoryTimeKey);
    defaults->removeObjectForKey(DZNavigatorHistoryImportantKey);
    defaults->synchronize();
}

Ref<NSString> DZBaseNavigator::pathForObject(NSObject* object) {
    auto controller = as<UIViewController>(object);
    if (!controller) return nullptr;
    auto keys = NSMutableArray::array();
    for (auto child = controller, super = superController(child); super;
         child = super, super = superController(child)) {
        if (auto key = super->keyForSubcontroller(child)) keys->addObject(key);
    }
    return keys->componentsJoinedByString(NS("/"));
}

Ref<UIViewController> DZBaseNavigator::objectForPath(NSString* path) {
    auto keys = path->componentsSeparatedByString(NS("/"));
    Ref<UIViewController> controller = rootViewController_;
    for (NSUInteger i = keys->count(); i > 0 && controller; --i)
        controller = controller->subcontrollerForKey(cast<NSString>(keys->objectAtIndex(i - 1)));
    return controller;
}

void DZBaseNavigator::removeAllViewControllers() {
    if (rootViewController_) rootViewController_->view()->removeFromSuperview();
    rootViewController_ = nullptr;
    URLMap_->removeAllObjects();
}

// ---- the framework's navigator ----------------------------------------------------------------

Ref<DZNavigator> DZNavigator::navigator() {
    auto global = as<DZNavigator>(globalNavigator());
    if (!global) {
        global = make<DZNavigator>();
        setGlobalNavigator(global);
    }
    return global;
}

Class DZNavigator::windowClass() {
    return DZNavigatorWindow::staticClass();
}

Class DZNavigator::navigationControllerClass() {
    return DZNavigationController::staticClass();
}

void DZNavigator::presentDependantController(UIViewController* controller, UIViewController* parent,
                                             int32_t mode, bool animated, int32_t transition) {
    if (is<DZPopupViewController>(controller))
        presentPopupController(controller, parent, animated);
    else
        DZBaseNavigator::presentDependantController(controller, parent, mode, animated, transition);
}

void DZNavigator::presentPopupController(UIViewController* controller, UIViewController* parent,
                                         bool animated) {
    setPopupViewController(parent, controller);
    setSuperController(controller, parent);
    cast<DZPopupViewController>(Ref<UIViewController>(controller))
        ->showInView(parent->view(), animated);
}

void DZNavigator::didRestoreController(UIViewController* controller) {
    if (auto model = as<DZModelViewController>(Ref<UIViewController>(controller))) model->model();
}

Ref<UIViewController> DZNavigator::getVisibleChildController(UIViewController* controller) {
    auto search = controller->searchDisplayController();
    if (search && search->isActive()) {
        if (auto dz = as<DZSearchDisplayController>(search))
            return Ref<UIViewController>(dz->searchResultsViewController().get());
    }
    return DZBaseNavigator::getVisibleChildController(controller);
}

void DZNavigator::reload() {
    if (auto model = as<DZModelViewController>(visibleViewController())) model->reload();
}

void DZNavigatorWindow::motionBegan(UIEventSubtype motion, UIEvent* event) {
    if (event && event->type() == UIEventTypeMotion) {
        auto navigator = DZNavigator::navigator();
        if (navigator->supportsShakeToReload()) navigator->reload();
    }
    UIWindow::motionBegan(motion, event);
}

// ---- string and object extensions
// ------------------------------------------------------------------

Ref<UIViewController> DZNavigateToURLPath(NSString* URL) {
    return DZNavigator::navigator()->openURLAction(
        DZURLAction::actionWithURLPath(URL)->applyAnimated(true));
}

Ref<UIViewController> openURL(NSString* URL) {
    return DZNavigateToURLPath(URL);
}

Ref<UIViewController> openURLFromButton(NSString* URL, NSObject* button) {
    auto query = NSDictionary::dictionaryWithObject(button, NS("__target__"));
    return DZNavigator::navigator()->openURLAction(
        DZURLAction::actionWithURLPath(URL)->applyQuery(query)->applyAnimated(true));
}

Ref<NSObject> objectValue(NSString* URL) {
    return DZNavigator::navigator()->URLMap()->objectForURL(URL);
}
