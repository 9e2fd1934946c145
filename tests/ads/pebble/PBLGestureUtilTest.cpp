#include "ads/pebble/PBLGestureUtil.h"

#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"
#include "support/FoundationTesting.h"

namespace {

std::string names(NSArray* records) {
    std::string out;
    for (NSObject* r : *records) {
        std::string name = text(static_cast<NSDictionary*>(r)->objectForKey(NS("ViewName")));
        out += name.substr(0, name.find(':')) + " ";
    }
    return out;
}

TEST(PBLGestureUtilTest, ClassChainsAndTheVisibleViewTree) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->makeKeyAndVisible();
    auto panel = make<UIView>(&UIView::initWithFrame, CGRectMake(10, 20, 100, 50));
    auto button = UIButton::buttonWithType(UIButtonTypeCustom);
    button->setFrame(CGRectMake(5, 5, 20, 10));
    auto hidden = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 1, 1));
    hidden->setHidden(true);
    hidden->addSubview(make<UIView>());
    panel->addSubview(button);
    window->addSubview(panel);
    window->addSubview(hidden);

    EXPECT_EQ(text(PBLGestureUtil::viewInheritenceHierarchy(button, 16)), "UIButton:UIContr");
    EXPECT_EQ(text(PBLGestureUtil::viewInheritenceHierarchy(button, 128)),
              "UIButton:UIControl:UIView:UIResponder:NSObject");
    EXPECT_EQ(text(PBLGestureUtil::viewInheritenceHierarchy(nullptr, 16)), "");

    auto all = pblGestureWalkViews(nullptr);
    EXPECT_EQ(names(all), "UIWindow UIView UIButton ");
    auto record = cast<NSDictionary>(all->objectAtIndex(2));
    EXPECT_EQ(cast<NSNumber>(record->objectForKey(NS("w")))->floatValue(), 20.0f);
    auto stopped = pblGestureWalkViews(PBLGestureUtil::viewInheritenceHierarchy(panel, 128));
    EXPECT_EQ(names(stopped), "UIWindow UIView ");
}

TEST(PBLGestureUtilTest, Base64AndReachabilityOfTheZeroAddress) {
    const unsigned char bytes[] = {0xfb, 0xff};
    EXPECT_EQ(text(pblGestureBase64(bytes, 2)), "-_8");
    unsigned flags = 77;
    SCNetworkReachabilitySetFlagsForTesting(kSCNetworkReachabilityFlagsReachable);
    EXPECT_FALSE(pblGestureReachability(nullptr));
    EXPECT_TRUE(pblGestureReachability(&flags));
    EXPECT_EQ(flags, kSCNetworkReachabilityFlagsReachable);
    SCNetworkReachabilityClearFlagsForTesting();
}

}  // namespace
