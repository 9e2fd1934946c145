#include "analytics/TallyPageViewDelegate.h"

#include <mutex>
#include <vector>

#include "Foundation/NSException.h"
#include "analytics/TallySession.h"
#include "analytics/TallyUtil.h"

namespace {
std::mutex installedLock;
std::vector<Ref<TallyPageViewDelegate>>& installed() {
    static auto* all = new std::vector<Ref<TallyPageViewDelegate>>();
    return *all;
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
        made = make<TallyPageViewDelegate>(&TallyPageViewDelegate::initWithDelegate,
                                           dynamic_cast<NSObject*>(nav->delegate().get()));
        nav->setDelegate(made.get());
    } else if (auto tab = as<UITabBarController>(controller)) {
        made = make<TallyPageViewDelegate>(&TallyPageViewDelegate::initWithDelegate,
                                           dynamic_cast<NSObject*>(tab->delegate().get()));
        tab->setDelegate(made.get());
    } else {
        return nullptr;
    }
    std::lock_guard lock(installedLock);
    installed().push_back(made);
    return made;
}

bool TallyPageViewDelegate::initWithDelegate(NSObject* previous) {
    delegate_ = previous;
    TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate session[%@] delegate[%@] created"),
                        TallySession::currentSession(), previous);
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
    caught([&] {
        TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate [%@] [%@]"), tab, vc);
        if (auto d = dynamic_cast<UITabBarControllerDelegate*>(delegate_.get()))
            answer = d->tabBarControllerShouldSelectViewController(tab, vc);
    });
    return answer;
}

void TallyPageViewDelegate::tabBarControllerDidSelectViewController(UITabBarController* tab,
                                                                    UIViewController* vc) {
    caught([&] {
        TallyUtil::debugLog(NS("Tally: TallyPageViewDelegate [%@] [%@]"), tab, vc);
        if (auto d = dynamic_cast<UITabBarControllerDelegate*>(delegate_.get()))
            d->tabBarControllerDidSelectViewController(tab, vc);
        count();
    });
}
