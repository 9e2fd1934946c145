#include "analytics/TallyPageViewDelegate.h"

#include <mutex>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/ProcessWide.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyUtil.h"

namespace {
std::mutex installedLock;
std::vector<Ref<TallyPageViewDelegate>>& installed() {
    static ProcessWide<std::vector<Ref<TallyPageViewDelegate>>> all;
    return *all.get();
}

// A throwing previous delegate must not break the host's navigation.
template <class F>
void caught(F&& body) {
    try {
        body();
    } catch (ExceptionRaised& raised) {
        TallyUtil::handleException(raised.exception);
    }
}
}  // namespace

Ref<TallyPageViewDelegate> TallyPageViewDelegate::createDelegateOnTarget(NSObject* controller) {
    Ref<TallyPageViewDelegate> made;
    if (auto nav = as<UINavigationController>(controller)) {
        made = make<TallyPageViewDelegate>(&TallyPageViewDelegate::initWithSession,
                                           TallySession::currentSession().get(),
                                           dynamic_cast<NSObject*>(nav->delegate().get()));
        nav->setDelegate(made.get());
    } else if (auto tab = as<UITabBarController>(controller)) {
        made = make<TallyPageViewDelegate>(&TallyPageViewDelegate::initWithSession,
                                           TallySession::currentSession().get(),
                                           dynamic_cast<NSObject*>(tab->delegate().get()));
        tab->setDelegate(made.get());
    } else {
        return nullptr;
    }
    std::lock_guard lock(installedLock);
    installed().push_back(made);
    return made;
}

Ref<NSInvocation> TallyPageViewDelegate::createInvocationOnSelector(SEL selector,
                                                                    NSObject* target) {
    auto signature = target ? target->methodSignatureForSelector(selector) : nullptr;
    if (!signature) return nullptr;
    auto invocation = NSInvocation::invocationWithMethodSignature(signature);
    invocation->setTarget(target);
    invocation->setSelector(selector);
    return invocation;
}

Ref<TallySession> TallyPageViewDelegate::session() {
    return session_;
}

void TallyPageViewDelegate::setSession(TallySession* session) {
    session_ = session;
}

bool TallyPageViewDelegate::initWithSession(TallySession* session, NSObject* previous) {
    session_ = session;
    delegate_ = previous;
    TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate session[%@] delegate[%@] created"),
                        session, previous);
    return true;
}

void TallyPageViewDelegate::count() {
    if (auto session = TallySession::currentSession()) {
        session->maybeIncrementPageView();
        TallyUtil::debugLog(NS("Tally: pageViewCount[%d]"), session->pageViewCount());
    }
}

void TallyPageViewDelegate::passOnNavigation(UINavigationController* nav, UIViewController* vc,
                                             bool animated, bool didShow) {
    caught([&] {
        TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate [%@] [%@] [%d]"), nav, vc,
                            animated ? 1 : 0);
        auto d = dynamic_cast<UINavigationControllerDelegate*>(delegate_.get());
        if (!didShow) {
            if (d) d->navigationControllerWillShowViewController(nav, vc, animated);
            return;
        }
        if (d) d->navigationControllerDidShowViewController(nav, vc, animated);
        TallyUtil::debugLog(NS("Tally: Navigation View [%@]"), vc);
        count();
    });
}

void TallyPageViewDelegate::navigationControllerWillShowViewController(UINavigationController* nav,
                                                                       UIViewController* vc,
                                                                       bool animated) {
    passOnNavigation(nav, vc, animated, false);
}

void TallyPageViewDelegate::navigationControllerDidShowViewController(UINavigationController* nav,
                                                                      UIViewController* vc,
                                                                      bool animated) {
    passOnNavigation(nav, vc, animated, true);
}

bool TallyPageViewDelegate::tabBarControllerShouldSelectViewController(UITabBarController* tab,
                                                                       UIViewController* vc) {
    bool answer = true;
    passOnTab(
        [&](UITabBarControllerDelegate* d) {
            if (d) answer = d->tabBarControllerShouldSelectViewController(tab, vc);
        },
        tab, vc, nullptr);
    return answer;
}

void TallyPageViewDelegate::tabBarControllerDidSelectViewController(UITabBarController* tab,
                                                                    UIViewController* vc) {
    passOnTab(
        [&](UITabBarControllerDelegate* d) {
            if (d) d->tabBarControllerDidSelectViewController(tab, vc);
            count();
        },
        tab, vc, nullptr);
}

void TallyPageViewDelegate::passOnTab(const std::function<void(UITabBarControllerDelegate*)>& call,
                                      NSObject* tab, NSObject* what, const bool* flag) {
    caught([&] {
        if (flag)
            TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate [%@] [%@] [%d]"), tab, what,
                                *flag ? 1 : 0);
        else
            TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate [%@] [%@]"), tab, what);
        call(dynamic_cast<UITabBarControllerDelegate*>(delegate_.get()));
    });
}

void TallyPageViewDelegate::tabBarControllerWillBeginCustomizingViewControllers(
    UITabBarController* tab, NSArray* controllers) {
    passOnTab(
        [&](UITabBarControllerDelegate* d) {
            if (d) d->tabBarControllerWillBeginCustomizingViewControllers(tab, controllers);
        },
        tab, controllers, nullptr);
}

void TallyPageViewDelegate::tabBarControllerWillEndCustomizingViewControllers(
    UITabBarController* tab, NSArray* controllers, bool changed) {
    passOnTab(
        [&](UITabBarControllerDelegate* d) {
            if (d) d->tabBarControllerWillEndCustomizingViewControllers(tab, controllers, changed);
        },
        tab, controllers, &changed);
}

void TallyPageViewDelegate::tabBarControllerDidEndCustomizingViewControllers(
    UITabBarController* tab, NSArray* controllers, bool changed) {
    passOnTab(
        [&](UITabBarControllerDelegate* d) {
            if (d) d->tabBarControllerDidEndCustomizingViewControllers(tab, controllers, changed);
        },
        tab, controllers, &changed);
}
