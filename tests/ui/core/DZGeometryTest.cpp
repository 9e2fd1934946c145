#include <gtest/gtest.h>

#include <cmath>

#include "DodizTesting.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"

namespace {

// Puts the status bar in an orientation for the test and back afterwards.
class Oriented {
public:
    explicit Oriented(UIInterfaceOrientation o)
        : previous_(UIApplication::sharedApplication()->statusBarOrientation()) {
        UIApplication::sharedApplication()->setStatusBarOrientation(o);
    }
    ~Oriented() { UIApplication::sharedApplication()->setStatusBarOrientation(previous_); }

private:
    UIInterfaceOrientation previous_;
};

Ref<UIView> viewAt(CGRect frame) {
    return make<UIView>(&UIView::initWithFrame, frame);
}

Ref<UIBarButtonItem> tagged(NSInteger tag) {
    auto item = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                      UIBarButtonSystemItemDone, nullptr, nullptr);
    item->setTag(tag);
    return item;
}

}  // namespace

TEST(DZGeometryTest, TheFixedSizesFollowTheOrientation) {
    EXPECT_EQ(44, DZOrientationBarHeight(UIInterfaceOrientationPortrait));
    EXPECT_EQ(44, DZOrientationBarHeight(UIInterfaceOrientationPortraitUpsideDown));
    EXPECT_EQ(33, DZOrientationBarHeight(UIInterfaceOrientationLandscapeRight));
    EXPECT_EQ(33, DZOrientationBarHeight(UIInterfaceOrientationLandscapeLeft));
    EXPECT_EQ(216, DZOrientationKeyboardHeight(UIInterfaceOrientationPortrait));
    EXPECT_EQ(160, DZOrientationKeyboardHeight(UIInterfaceOrientationLandscapeLeft));
    EXPECT_TRUE(DZOrientationAllowed(UIInterfaceOrientationPortrait));
    EXPECT_TRUE(DZOrientationAllowed(UIInterfaceOrientationLandscapeRight));
    EXPECT_FALSE(DZOrientationAllowed(UIInterfaceOrientationPortraitUpsideDown));
    EXPECT_FALSE(DZOrientationAllowed(static_cast<UIInterfaceOrientation>(9)));
    auto flip = DZOrientationRotationTransform(UIInterfaceOrientationPortraitUpsideDown);
    EXPECT_NEAR(-1, flip.a, 1e-6);
    auto right = DZOrientationRotationTransform(UIInterfaceOrientationLandscapeRight);
    EXPECT_NEAR(1, right.b, 1e-6);  // a quarter turn
    auto left = DZOrientationRotationTransform(UIInterfaceOrientationLandscapeLeft);
    EXPECT_NEAR(-1, left.b, 1e-6);  // three quarters
    auto none = DZOrientationRotationTransform(UIInterfaceOrientationPortrait);
    EXPECT_EQ(1, none.a);
    EXPECT_EQ(0, none.b);
}

TEST(DZGeometryTest, FramesUnderTheBarsFollowTheCurrentOrientation) {
    CGRect app = UIScreen::mainScreen()->applicationFrame();
    EXPECT_EQ(app.size.height - 44, DZFrameUnderNavigationBar().size.height);
    EXPECT_EQ(app.size.height - 88, DZFrameBetweenBars().size.height);
    EXPECT_EQ(app.size.height - 44 - 216, DZFrameAboveKeyboard().size.height);
    EXPECT_EQ(app.size.width, DZFrameBetweenBars().size.width);
    {
        Oriented landscape(UIInterfaceOrientationLandscapeRight);
        CGRect bounds = DZOrientedScreenBounds();
        EXPECT_GT(bounds.size.width, bounds.size.height);
        CGRect landscapeApp = UIScreen::mainScreen()->applicationFrame();
        EXPECT_EQ(landscapeApp.size.height - 66, DZFrameBetweenBars().size.height);
        EXPECT_EQ(160, DZCurrentKeyboardHeight());
    }
    CGRect bounds = DZOrientedScreenBounds();
    EXPECT_LT(bounds.size.width, bounds.size.height);
}

TEST(DZGeometryTest, AnUnknownStatusBarOrientationAsksTheVisibleController) {
    DZBaseNavigator::setGlobalNavigator(nullptr);
    Ref<UIViewController> controller;
    {
        Oriented landscape(UIInterfaceOrientationLandscapeLeft);
        controller = make<UIViewController>();
    }
    DZNavigator::navigator()->setWindow(
        make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds()));
    DZNavigator::navigator()->setRootViewController(controller);
    {
        Oriented unknown(static_cast<UIInterfaceOrientation>(0));
        EXPECT_EQ(UIInterfaceOrientationLandscapeLeft, DZCurrentOrientation());
        EXPECT_EQ(33, DZCurrentBarHeight());
    }
    EXPECT_EQ(44, DZCurrentBarHeight());
    DZNavigator::navigator()->removeAllViewControllers();
    DZBaseNavigator::setGlobalNavigator(nullptr);
}

TEST(DZGeometryTest, FrameShortcutsAndScreenPositions) {
    auto outer = viewAt(CGRectMake(10, 20, 300, 400));
    auto scroll = make<UIScrollView>(&UIView::initWithFrame, CGRectMake(5, 5, 200, 200));
    auto inner = viewAt(CGRectMake(1, 2, 50, 60));
    outer->addSubview(scroll);
    scroll->addSubview(inner);
    scroll->setContentOffset(CGPointMake(0, 30));
    EXPECT_EQ(51, right(inner));
    EXPECT_EQ(62, bottom(inner));
    setRight(inner, 100);
    EXPECT_EQ(50, left(inner));
    setBottom(inner, 100);
    EXPECT_EQ(40, top(inner));
    setWidth(inner, 20);
    EXPECT_EQ(20, width(inner));
    EXPECT_EQ(0, left(nullptr));
    EXPECT_EQ(10 + 5 + 50, dzScreenX(inner));
    EXPECT_EQ(20 + 5 + 40, dzScreenY(inner));
    EXPECT_EQ(20 + 5 + 40 - 30, screenViewY(inner));
    CGPoint offset = offsetFromView(inner, outer);
    EXPECT_EQ(55, offset.x);
    EXPECT_EQ(45, offset.y);
    EXPECT_EQ(scroll, ancestorOrSelfWithClass(inner, UIScrollView::staticClass()));
    EXPECT_EQ(outer, descendantOrSelfWithClass(outer, UIView::staticClass()));
    EXPECT_EQ(scroll, descendantOrSelfWithClass(outer, UIScrollView::staticClass()));
    EXPECT_EQ(nullptr, descendantOrSelfWithClass(inner, UIScrollView::staticClass()));
    // No first responder: the keyboard takes nothing off.
    EXPECT_EQ(rectText(inner->frame()), rectText(frameWithKeyboardSubtracted(inner, 0)));
    removeAllSubviews(outer);
    EXPECT_EQ(0u, outer->subviews()->count());
}

TEST(DZGeometryTest, KeyboardUserInfoDescribesASlideFromTheBottom) {
    auto pad = viewAt(CGRectMake(0, 0, 320, 200));
    auto info = userInfoForKeyboardNotification(pad);
    CGRect screen = DZOrientedScreenBounds();
    EXPECT_EQ("{{0, 0}, {320, 200}}",
              rectText(CGRectValue(as<NSValue>(info->objectForKey(UIKeyboardBoundsUserInfoKey)))));
    CGPoint begin = CGPointValue(as<NSValue>(info->objectForKey(UIKeyboardCenterBeginUserInfoKey)));
    CGPoint end = CGPointValue(as<NSValue>(info->objectForKey(UIKeyboardCenterEndUserInfoKey)));
    EXPECT_EQ(0, begin.x);
    EXPECT_EQ(screen.size.height + 100, begin.y);
    EXPECT_EQ(screen.size.height - 100, end.y);
}

TEST(DZGeometryTest, ToolbarItemsAreReplacedByTagFirstOnly) {
    auto toolbar = make<UIToolbar>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 44));
    auto a = tagged(3), b = tagged(3), c = tagged(1), replacement = tagged(3);
    toolbar->setItems(NSArray::arrayWithObjects({a.get(), b.get(), c.get()}));
    EXPECT_EQ(a, itemWithTag(toolbar, 3));
    EXPECT_EQ(nullptr, itemWithTag(toolbar, 7));
    replaceItemWithTag(toolbar, 3, replacement);
    EXPECT_EQ(replacement, as<UIBarButtonItem>(toolbar->items()->objectAtIndex(0)));
    EXPECT_EQ(b, as<UIBarButtonItem>(toolbar->items()->objectAtIndex(1)));
    replaceItemWithTag(toolbar, 9, a);  // no such tag: nothing
    EXPECT_EQ(3u, toolbar->items()->count());
}

TEST(DZGeometryTest, ElementFramesNeedFourNumbers) {
    auto web = make<UIWebView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 400));
    web->loadHTMLString(NS("<html><body><img id=\"box\" width=\"40\" height=\"30\"></body></html>"),
                        nullptr);
    runLoopUntil([&] { return !web->isLoading(); });
    CGRect frame = frameOfElement(web, NS("document.getElementById('box')"));
    EXPECT_EQ("{{0, 0}, {40, 30}}", rectText(frame));
    // A missing element makes the script fail: a zero rectangle, never garbage.
    EXPECT_EQ(rectText(CGRectZero),
              rectText(frameOfElement(web, NS("document.getElementById('none')"))));
    EXPECT_EQ(rectText(CGRectZero), rectText(frameOfElement(web, NS("'a,b'; 'x,y,z,w'"))));
}
