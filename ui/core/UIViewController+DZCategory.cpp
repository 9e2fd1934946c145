#include "ui/core/UIViewController+DZCategory.h"

#include <algorithm>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZBaseViewController.h"
#include "ui/core/DZNavigationController.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"

namespace {

// The links, keyed by the controller's identity. A plain controller with an entry is kept in
// its collection's set until collected, and the framework's controllers remove their entries
// when they die, so a key never outlives its controller.
struct Tables {
    std::unordered_map<UIViewController*, Weak<UIViewController>> superControllers;
    std::unordered_map<UIViewController*, Weak<UIViewController>> popups;
    std::unordered_map<UIViewController*, Ref<NSString>> openingURLs;
};

Tables& tables() {
    static ProcessWide<Tables> t;  // never destroyed: controllers may die at exit
    return *t.get();
}

// One collection: its retained members and the timer that collects them.
struct Collection {
    std::vector<Ref<UIViewController>> members;
    Ref<NSTimer> timer;
};

// A dropped collection's timer stops: it would collect in the next one's time.
void stopCollecting(Collection* c) {
    if (c->timer) c->timer->invalidate();
}

Collection& commonCollection() {
    static ProcessWide<Collection> c{nullptr, stopCollecting};
    return *c.get();
}

Collection& navigatorCollection() {
    static ProcessWide<Collection> c{nullptr, stopCollecting};
    return *c.get();
}

Ref<NSArray> membersOf(Collection& c) {
    auto list = NSMutableArray::array();
    for (auto& m : c.members)
        list->addObject(m);
    return list;
}

bool contains(Collection& c, UIViewController* controller) {
    return std::find(c.members.begin(), c.members.end(), controller) != c.members.end();
}

void addTo(Collection& c, UIViewController* controller, void (*collect)()) {
    if (!contains(c, controller)) c.members.emplace_back(controller);
    if (!c.timer) {
        c.timer =
            NSTimer::scheduledTimerWithTimeInterval(20, true, [collect](NSTimer*) { collect(); });
    }
}

// Drops the links of every member held by nothing but the set (and the walk's copy), then
// stops the timer once the set is empty. A controller listed in the other collection too is
// held by it as well; counting that hold keeps the two sets from keeping each other's members
// alive for ever.
void collect(Collection& c, Collection& other, void (*unset)(UIViewController*)) {
    if (!c.members.empty()) {
        auto copy = c.members;
        for (auto& controller : copy) {
            NSUInteger heldOnlyByUs = contains(other, controller.get()) ? 3 : 2;
            if (controller->retainCount() != heldOnlyByUs) continue;
            unset(controller.get());
            c.members.erase(std::find(c.members.begin(), c.members.end(), controller));
        }
    }
    if (c.members.empty() && c.timer) {
        c.timer->invalidate();
        c.timer = nullptr;
    }
}

}  // namespace

// ---- windows ------------------------------------------------------------------------------------

Ref<UIView> findFirstResponder(UIWindow* window) {
    return findFirstResponderInView(window, window);
}

Ref<UIView> findFirstResponderInView(UIWindow* window, UIView* view) {
    if (!view) return nullptr;
    if (view->isFirstResponder()) return Ref<UIView>(view);
    auto subviewsList = view->subviews();
    for (auto sub : *subviewsList) {
        auto subview = as<UIView>(sub);
        if (subview->isFirstResponder()) return subview;
        if (auto found = findFirstResponderInView(window, subview.get())) return found;
    }
    return nullptr;
}

// ---- links
// ----------------------------------------------------------------------------------------

Ref<UIViewController> superController(UIViewController* controller) {
    if (!controller) return nullptr;
    if (auto parent = controller->parentViewController()) return parent;
    auto& map = tables().superControllers;
    auto it = map.find(controller);
    return it == map.end() ? nullptr : it->second.lock();
}

void setSuperController(UIViewController* controller, UIViewController* superController) {
    if (!controller) return;
    if (superController) {
        tables().superControllers[controller] = superController;
        dzAddCommonController(controller);
    } else {
        tables().superControllers.erase(controller);
    }
}

Ref<UIViewController> popupViewController(UIViewController* controller) {
    auto& map = tables().popups;
    auto it = map.find(controller);
    return it == map.end() ? nullptr : it->second.lock();
}

void setPopupViewController(UIViewController* controller, UIViewController* popup) {
    if (!controller) return;
    if (popup) {
        tables().popups[controller] = popup;
        dzAddCommonController(controller);
    } else {
        tables().popups.erase(controller);
    }
}

Ref<UIViewController> dzPreviousViewController(UIViewController* controller) {
    auto nav = controller->navigationController();
    if (!nav) return nullptr;
    auto stack = nav->viewControllers();
    NSUInteger index = stack->indexOfObject(controller);
    if (stack->count() < 2 || index == NSNotFound || index == 0) return nullptr;
    return cast<UIViewController>(stack->objectAtIndex(index - 1));
}

Ref<UIViewController> nextViewController(UIViewController* controller) {
    auto nav = controller->navigationController();
    if (!nav) return nullptr;
    auto stack = nav->viewControllers();
    NSUInteger index = stack->indexOfObject(controller);
    if (stack->count() < 2 || index == NSNotFound || index + 1 >= stack->count()) return nullptr;
    return cast<UIViewController>(stack->objectAtIndex(index + 1));
}

void removeFromSupercontroller(UIViewController* controller) {
    controller->removeFromSupercontrollerAnimated(true);
}

void showBars(UIViewController* controller, bool show, bool animated) {
    auto app = UIApplication::sharedApplication();
    app->setStatusBarHidden(!show, animated ? UIStatusBarAnimationFade : UIStatusBarAnimationNone);
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(0.3);
    }
    if (auto nav = controller->navigationController()) nav->navigationBar()->setAlpha(show ? 1 : 0);
    if (animated) UIView::commitAnimations();
}

void dismissModalViewController(UIViewController* controller) {
    controller->dismissModalViewControllerAnimated(true);
}

Ref<NSString> originalNavigatorURL(UIViewController* controller) {
    auto& map = tables().openingURLs;
    auto it = map.find(controller);
    return it == map.end() ? nullptr : it->second;
}

void setOriginalNavigatorURL(UIViewController* controller, NSString* URL) {
    if (!controller) return;
    if (URL) {
        tables().openingURLs[controller] = URL->copy();
        dzAddNavigatorController(controller);
    } else {
        tables().openingURLs.erase(controller);
    }
}

// ---- collections ----------------------------------------------------------------------------

Ref<NSArray> dzCommonControllers() {
    return membersOf(commonCollection());
}

void dzAddCommonController(UIViewController* controller) {
    // The framework's controllers unset their links when they die.
    if (is<DZBaseViewController>(controller)) return;
    addTo(commonCollection(), controller, &doCommonGarbageCollection);
}

void doCommonGarbageCollection() {
    collect(commonCollection(), navigatorCollection(), &unsetCommonProperties);
}

Ref<NSArray> dzNavigatorControllers() {
    return membersOf(navigatorCollection());
}

void dzAddNavigatorController(UIViewController* controller) {
    if (is<DZNavigatorViewController>(controller)) return;
    addTo(navigatorCollection(), controller, &doNavigatorGarbageCollection);
}

void doNavigatorGarbageCollection() {
    collect(navigatorCollection(), commonCollection(), &unsetNavigatorProperties);
}

bool dzCommonCollectionScheduled() {
    return commonCollection().timer != nullptr;
}

bool dzNavigatorCollectionScheduled() {
    return navigatorCollection().timer != nullptr;
}

void unsetCommonProperties(UIViewController* controller) {
    setSuperController(controller, nullptr);
    setPopupViewController(controller, nullptr);
}

void unsetNavigatorProperties(UIViewController* controller) {
    auto URL = originalNavigatorURL(controller);
    if (!URL) return;
    DZNavigator::navigator()->URLMap()->removeObjectForURL(URL);
    setOriginalNavigatorURL(controller, nullptr);
}

// ---- tab bars -----------------------------------------------------------------------------------

Ref<UIViewController> rootControllerForController(UITabBarController*,
                                                  UIViewController* controller) {
    if (controller->canContainControllers()) return Ref<UIViewController>(controller);
    auto nav = make<DZNavigationController>();
    nav->pushViewController(controller, false);
    return nav;
}

void setTabURLs(UITabBarController* tabBar, NSArray* URLs) {
    auto controllers = NSMutableArray::array();
    for (auto item : *URLs) {
        auto controller = DZNavigator::navigator()->viewControllerForURL(as<NSString>(item).get());
        if (controller) controllers->addObject(rootControllerForController(tabBar, controller));
    }
    tabBar->setViewControllers(controllers);
}

// ---- installation -------------------------------------------------------------------------------

void DZInstallControllerExtensions() {
    static std::once_flag once;
    std::call_once(once, [] {
        UIViewController::FrameworkDefaults defaults;
        defaults.navigatorURL = [](UIViewController* c) { return originalNavigatorURL(c); };
        defaults.persistNavigationPath = [](UIViewController* c, NSMutableArray* path) {
            auto navigator = DZNavigator::navigator();
            if (auto nav = as<UINavigationController>(c)) {
                auto viewControllersList = nav->viewControllers();
                for (auto child : *viewControllersList)
                    navigator->persistController(as<UIViewController>(child).get(), path);
            } else if (auto tabs = as<UITabBarController>(c)) {
                if (auto selected = tabs->selectedViewController())
                    navigator->persistController(selected.get(), path);
            }
        };
        defaults.rotatingHeaderView = [](UIViewController* c) -> Ref<UIView> {
            if (auto popup = popupViewController(c)) return popup->rotatingHeaderView();
            return nullptr;
        };
        UIViewController::installFrameworkDefaults(std::move(defaults));
        // Any object's URL comes from the global navigator's map.
        NSObject::installURLValueDefault([](NSObject* object, NSString* name) {
            return DZNavigator::navigator()->URLMap()->URLForObject(object, name);
        });

        // The operations the navigator and the URL patterns reach by name.
        RuntimeClass& c = *UIViewController::staticClass();
        c.initializer("init", &UIViewController::init);
        c.initializer("initWithNibName:bundle:", &UIViewController::initWithNibName);
        c.initializer("initWithNavigatorURL:query:", &UIViewController::initWithNavigatorURL);
        c.method("persistView:", &UIViewController::persistView);
        c.method("restoreView:", &UIViewController::restoreView);
        c.method("frozenState", &UIViewController::frozenState);
        c.method("setFrozenState:", &UIViewController::setFrozenState);
        c.method("canContainControllers", &UIViewController::canContainControllers);
        c.method("canBeTopViewController", &UIViewController::canBeTopViewController);
        c.method("topSubcontroller", &UIViewController::topSubcontroller);
        c.method("addSubcontroller:animated:transition:", &UIViewController::addSubcontroller);
        c.method("removeFromSupercontrollerAnimated:",
                 &UIViewController::removeFromSupercontrollerAnimated);
        c.method("bringControllerToFront:animated:", &UIViewController::bringControllerToFront);
        c.method("keyForSubcontroller:", &UIViewController::keyForSubcontroller);
        c.method("subcontrollerForKey:", &UIViewController::subcontrollerForKey);
        c.method("persistNavigationPath:", &UIViewController::persistNavigationPath);
        c.method("delayDidEnd", &UIViewController::delayDidEnd);
        c.method("navigatorURL", &UIViewController::navigatorURL);
    });
}
