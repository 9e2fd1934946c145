#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIProgressView.h"
#include "UIKit/UIWindow.h"

TEST(UIActivityIndicatorView, HiddenWhileStoppedUnlessToldOtherwise) {
    auto spinner =
        make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                      UIActivityIndicatorViewStyleWhiteLarge);
    EXPECT_TRUE(CGSizeEqualToSize(spinner->frame().size, CGSizeMake(37, 37)));
    EXPECT_TRUE(spinner->isHidden());
    spinner->startAnimating();
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_FALSE(spinner->isHidden());
    spinner->stopAnimating();
    EXPECT_TRUE(spinner->isHidden());
    spinner->setHidesWhenStopped(false);
    EXPECT_FALSE(spinner->isHidden());
    spinner->setActivityIndicatorViewStyle(UIActivityIndicatorViewStyleGray);
    EXPECT_TRUE(CGSizeEqualToSize(spinner->frame().size, CGSizeMake(20, 20)));
}

TEST(UIProgressView, ClampsItsValue) {
    auto bar =
        make<UIProgressView>(&UIProgressView::initWithProgressViewStyle, UIProgressViewStyleBar);
    bar->setProgress(1.5f);
    EXPECT_FLOAT_EQ(bar->progress(), 1);
    bar->setProgress(-1, true);
    EXPECT_FLOAT_EQ(bar->progress(), 0);
}

TEST(UIWindow, KeyWindowMovesWithNotificationsAndHidingResigns) {
    auto app = UIApplication::sharedApplication();
    auto a = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto b = make<UIWindow>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    EXPECT_TRUE(a->isHidden());  // windows start hidden
    int becameKey = 0, resignedKey = 0;
    auto center = NSNotificationCenter::defaultCenter();
    auto t1 = center->addObserverForName(UIWindowDidBecomeKeyNotification, nullptr,
                                         [&](NSNotification*) { ++becameKey; });
    auto t2 = center->addObserverForName(UIWindowDidResignKeyNotification, nullptr,
                                         [&](NSNotification*) { ++resignedKey; });
    a->makeKeyAndVisible();
    b->makeKeyAndVisible();
    EXPECT_EQ(app->keyWindow().get(), b.get());
    EXPECT_FALSE(a->isKeyWindow());
    EXPECT_EQ(becameKey, 2);
    EXPECT_EQ(resignedKey, 1);
    b->setHidden(true);
    EXPECT_FALSE(app->keyWindow());
    EXPECT_EQ(resignedKey, 2);
    EXPECT_EQ(app->windows()->count(), 2u);
    center->removeObserver(t1);
    center->removeObserver(t2);
}
