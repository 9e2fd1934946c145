#include "ui/core/DZNavigationController.h"

#include "Foundation/Runtime.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/core/UIViewController+DZCategory.h"

namespace {
constexpr NSTimeInterval kFlipTransitionDuration = 0.7;

void animateTransition(UIViewController* controller, UIViewAnimationTransition transition,
                       bool cache) {
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kFlipTransitionDuration);
    UIView::setAnimationDelegate(controller);
    UIView::setAnimationDidStopSelector(Selector::named("pushAnimationDidStop"));
    UIView::setAnimationTransition(transition, controller->view(), cache);
    UIView::commitAnimations();
}
}  // namespace

void DZBaseNavigationController::describeClass(RuntimeClass& c) {
    c.method("pushAnimationDidStop", &DZBaseNavigationController::pushAnimationDidStop);
}

void DZBaseNavigationController::pushViewControllerAnimatedWithTransition(
    UIViewController* controller, UIViewAnimationTransition transition) {
    pushViewController(controller, false);
    animateTransition(this, transition, true);
}

Ref<UIViewController> DZBaseNavigationController::popViewControllerAnimatedWithTransition(
    UIViewAnimationTransition transition) {
    auto popped = UINavigationController::popViewControllerAnimated(false);
    animateTransition(this, transition, false);
    return popped;
}

Ref<UIViewController> DZBaseNavigationController::popViewControllerAnimated(bool animated) {
    if (animated) {
        auto top = topViewController();
        auto URL = top ? originalNavigatorURL(top.get()) : nullptr;
        if (URL) {
            auto transition = static_cast<UIViewAnimationTransition>(
                DZNavigator::navigator()->URLMap()->transitionForURL(URL));
            if (transition)
                return popViewControllerAnimatedWithTransition(invertTransition(transition));
        }
    }
    return UINavigationController::popViewControllerAnimated(animated);
}

void DZBaseNavigationController::addSubcontroller(UIViewController* controller, bool animated,
                                                  UIViewAnimationTransition transition) {
    if (animated && transition)
        pushViewControllerAnimatedWithTransition(controller, transition);
    else
        pushViewController(controller, animated);
}

UIViewAnimationTransition DZBaseNavigationController::invertTransition(
    UIViewAnimationTransition transition) {
    switch (transition) {
        case UIViewAnimationTransitionFlipFromLeft:
            return UIViewAnimationTransitionFlipFromRight;
        case UIViewAnimationTransitionFlipFromRight:
            return UIViewAnimationTransitionFlipFromLeft;
        case UIViewAnimationTransitionCurlUp:
            return UIViewAnimationTransitionCurlDown;
        case UIViewAnimationTransitionCurlDown:
            return UIViewAnimationTransitionCurlUp;
        default:
            return UIViewAnimationTransitionNone;
    }
}

void DZNavigationController::pushViewControllerAnimatedWithTransition(
    UIViewController* controller, UIViewAnimationTransition transition) {
    DZURLRequestQueue::mainQueue()->setSuspended(true);
    DZBaseNavigationController::pushViewControllerAnimatedWithTransition(controller, transition);
}

Ref<UIViewController> DZNavigationController::popViewControllerAnimatedWithTransition(
    UIViewAnimationTransition transition) {
    DZURLRequestQueue::mainQueue()->setSuspended(true);
    return DZBaseNavigationController::popViewControllerAnimatedWithTransition(transition);
}

void DZNavigationController::pushAnimationDidStop() {
    DZURLRequestQueue::mainQueue()->setSuspended(false);
    DZBaseNavigationController::pushAnimationDidStop();
}
