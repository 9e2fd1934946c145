// Counts a page view each time a navigation controller shows a screen or a tab-bar controller
// selects a tab, passing every call on to the delegate that was there before.
#pragma once

#include <functional>

#include "Foundation/NSObject.h"
#include "Foundation/Runtime.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"

class TallySession;

class TallyPageViewDelegate : public NSObject,
                              public UINavigationControllerDelegate,
                              public UITabBarControllerDelegate {
    NS_OBJECT(TallyPageViewDelegate, NSObject)

    // Installs a delegate on a navigation or tab-bar controller and answers it; nil (and
    // nothing installed) for anything else. The delegate lives as long as the process, since
    // the controller does not keep its delegate.
    static Ref<TallyPageViewDelegate> createDelegateOnTarget(NSObject* controller);

    // An invocation of the selector on the target, from the target's method signature; nil
    // when the target has no such method that can be called by name.
    static Ref<NSInvocation> createInvocationOnSelector(SEL selector, NSObject* target);

    // session: the session current at creation; delegate: the controller's previous delegate.
    bool initWithSession(TallySession* session, NSObject* previous);
    Ref<TallySession> session();
    void setSession(TallySession* session);
    Ref<NSObject> delegate() { return delegate_; }
    void setDelegate(NSObject* previous) { delegate_ = previous; }

    void navigationControllerWillShowViewController(UINavigationController* nav,
                                                    UIViewController* vc, bool animated) override;
    void navigationControllerDidShowViewController(UINavigationController* nav,
                                                   UIViewController* vc, bool animated) override;
    bool tabBarControllerShouldSelectViewController(UITabBarController* tab,
                                                    UIViewController* vc) override;
    void tabBarControllerDidSelectViewController(UITabBarController* tab,
                                                 UIViewController* vc) override;
    void tabBarControllerWillBeginCustomizingViewControllers(UITabBarController* tab,
                                                             NSArray* controllers) override;
    void tabBarControllerWillEndCustomizingViewControllers(UITabBarController* tab,
                                                           NSArray* controllers,
                                                           bool changed) override;
    void tabBarControllerDidEndCustomizingViewControllers(UITabBarController* tab,
                                                          NSArray* controllers,
                                                          bool changed) override;

private:
    // Page views go to the session current at the time: a delegate installed before a new
    // session started must not count into a session already filed.
    void count();
    // Logs the call and runs it, with the previous delegate's tab-bar side (nil when it has
    // none), inside the catch-all.
    void passOnTab(const std::function<void(UITabBarControllerDelegate*)>& call, NSObject* tab,
                   NSObject* what, const bool* flag);
    void passOnNavigation(UINavigationController* nav, UIViewController* vc, bool animated,
                          bool didShow);
    Ref<NSObject> delegate_;  // the previous delegate, retained; calls are passed on to it
    Ref<TallySession> session_;
};
