#include <gtest/gtest.h>

#include <vector>

#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"

namespace {

// A sheet with named styles, counting how often it is asked.
class TestSheet : public DZDefaultStyleSheet {
    NS_OBJECT(TestSheet, DZDefaultStyleSheet)
    static void describeClass(RuntimeClass& c) {
        c.method("plain", &TestSheet::plain).method("button:", &TestSheet::button);
    }
    Ref<DZStyle> plain() {
        ++asked;
        return make<DZStyle>();
    }
    Ref<DZStyle> button(UIControlState state) {
        ++asked;
        states.push_back(state);
        return make<DZStyle>();
    }
    Ref<UIColor> navigationBarTintColor() override { return UIColor::redColor(); }
    int asked = 0;
    std::vector<UIControlState> states;
};

class StyleSheets : public testing::Test {
protected:
    void TearDown() override { DZStyleSheet::setGlobalStyleSheet(nullptr); }
};

void expectRGB(UIColor* c, int r, int g, int b) {
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->red() * 255, r, 1e-3);
    EXPECT_NEAR(c->green() * 255, g, 1e-3);
    EXPECT_NEAR(c->blue() * 255, b, 1e-3);
    EXPECT_EQ(c->alpha(), 1);
}

TEST_F(StyleSheets, TheDefaultSheetIsMadeOnFirstUseAndKept) {
    DZStyleSheet::setGlobalStyleSheet(nullptr);
    auto sheet = DZStyleSheet::globalStyleSheet();
    EXPECT_TRUE(is<DZDefaultStyleSheet>(sheet.get()));
    EXPECT_EQ(DZStyleSheet::globalStyleSheet().get(), sheet.get());
    expectRGB(sheet->navigationBarTintColor(), 119, 140, 168);
    expectRGB(sheet->toolbarTintColor(), 109, 132, 162);
    expectRGB(sheet->backgroundColor(), 255, 255, 255);
    expectRGB(sheet->linkTextColor(), 87, 107, 149);
    EXPECT_EQ(make<DZStyleSheet>()->linkTextColor().get(), nullptr);
}

TEST_F(StyleSheets, AnInstalledSheetReplacesTheShared) {
    Weak<DZStyleSheet> old = DZStyleSheet::globalStyleSheet();
    auto mine = make<TestSheet>();
    DZStyleSheet::setGlobalStyleSheet(mine);
    EXPECT_FALSE(old.alive());
    EXPECT_EQ(DZStyleSheet::globalStyleSheet().get(), mine.get());
    expectRGB(DZStyleSheet::globalStyleSheet()->navigationBarTintColor(), 255, 0, 0);
    expectRGB(DZStyleSheet::globalStyleSheet()->toolbarTintColor(), 109, 132, 162);
}

TEST_F(StyleSheets, StylesByNameAreKeptUntilAMemoryWarning) {
    auto sheet = make<TestSheet>();
    auto plain = sheet->styleWithSelector(NS("plain"));
    ASSERT_TRUE(plain);
    EXPECT_EQ(sheet->styleWithSelector(NS("plain")).get(), plain.get());
    EXPECT_EQ(sheet->asked, 1);
    auto normal = sheet->styleWithSelector(NS("button:"), UIControlStateNormal);
    auto highlighted = sheet->styleWithSelector(NS("button:"), UIControlStateHighlighted);
    EXPECT_NE(normal.get(), highlighted.get());
    EXPECT_EQ(sheet->styleWithSelector(NS("button:"), UIControlStateHighlighted).get(),
              highlighted.get());
    EXPECT_EQ(sheet->states,
              (std::vector<UIControlState>{UIControlStateNormal, UIControlStateHighlighted}));
    EXPECT_EQ(sheet->styleWithSelector(NS("absent")).get(), nullptr);
    EXPECT_EQ(sheet->styleWithSelector(nullptr).get(), nullptr);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    EXPECT_NE(sheet->styleWithSelector(NS("plain")).get(), plain.get());
    EXPECT_EQ(sheet->asked, 4);
}

}  // namespace
