// Counts a page view each time a navigation controller shows a screen or a tab-bar controller
// selects a tab, passing every call on to the delegate that was there before.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"

class TallyPageViewDelegate : public NSObject,
                              public UINavigationControllerDelegate,
                              public UITabBarControllerDelegate {
    NS_OBJECT(TallyPageViewDelegate, NSObject)

    // Installs a delegate on a navigation or tab-bar controller and answers it; nil (and
    // nothing installed) for anything else. The delegate lives as long as the process, since
    // the controller does not keep its delegate.
    static Ref<TallyPageViewDelegate> createDelegateOnTarget(NSObject* controller);

    bool initWithDelegate(NSObject* previous);
    Ref<NSObject> delegate() { return delegate_; }

    void navigationControllerWillShowViewController(UINavigationController* nav,
                                                    UIViewController* vc, bool animated) override;
    void navigationControllerDidShowViewController(UINavigationController* nav,
                                                   UIViewController* vc, bool animated) override;
    bool tabBarControllerShouldSelectViewController(UITabBarController* tab,
                                                    UIViewController* vc) override;
    void tabBarControllerDidSelectViewController(UITabBarController* tab,
                                                 UIViewController* vc) override;

private:
    // Page views go to the session current at the time: a delegate installed before a new
    // session started must not count into a session already filed.
    void count();
    void passOnNavigation(UINavigationController* nav, UIViewController* vc, bool animated,
                          bool didShow);
    Ref<NSObject> delegate_;  // the previous delegate, retained; calls are passed on to it
};
