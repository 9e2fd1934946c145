// The framework's navigation controllers: pushes and pops with a flip or curl transition of
// 0.7 seconds, a pop inverting the transition its controller's URL was pushed with. The
// framework's own one keeps the shared request queue suspended while a transition animates.
#pragma once

#include "UIKit/UINavigationController.h"
#include "UIKit/UIView.h"

class DZBaseNavigationController : public UINavigationController {
    NS_OBJECT(DZBaseNavigationController, UINavigationController)
    static void describeClass(RuntimeClass& c);

    virtual void pushViewControllerAnimatedWithTransition(UIViewController* controller,
                                                          UIViewAnimationTransition transition);
    virtual Ref<UIViewController> popViewControllerAnimatedWithTransition(
        UIViewAnimationTransition transition);
    Ref<UIViewController> popViewControllerAnimated(bool animated) override;
    void addSubcontroller(UIViewController* controller, bool animated,
                          UIViewAnimationTransition transition) override;
    static UIViewAnimationTransition invertTransition(UIViewAnimationTransition transition);
    virtual void pushAnimationDidStop() {}
};

class DZNavigationController : public DZBaseNavigationController {
    NS_OBJECT(DZNavigationController, DZBaseNavigationController)
    void pushViewControllerAnimatedWithTransition(UIViewController* controller,
                                                  UIViewAnimationTransition transition) override;
    Ref<UIViewController> popViewControllerAnimatedWithTransition(
        UIViewAnimationTransition transition) override;
    void pushAnimationDidStop() override;
};
