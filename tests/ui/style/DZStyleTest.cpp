#include <gtest/gtest.h>

#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIView.h"
#include "support/FoundationTesting.h"
#include "ui/style/DZLayout.h"
#include "ui/style/DZStyle.h"
#include "ui/style/DZStyleContext.h"
#include "ui/style/DZStyleDelegate.h"
#include "ui/style/DZStyleSheet.h"

namespace {

class CountingStyle : public DZStyle {
    NS_OBJECT(CountingStyle, DZStyle)
    void draw(DZStyleContext* context) override {
        ++draws;
        DZStyle::draw(context);
    }
    int draws = 0;
};

TEST(DZStyle, TheBasePassesAlongTheChain) {
    auto last = make<CountingStyle>();
    auto middle = make<DZStyle>(&DZStyle::initWithNext, last.get());
    auto first = make<CountingStyle>(&DZStyle::initWithNext, middle.get());
    auto context = make<DZStyleContext>();
    first->draw(context);
    EXPECT_EQ(first->draws, 1);
    EXPECT_EQ(last->draws, 1);
    CGSize size = first->addToSize(CGSizeMake(3, 4), context);
    EXPECT_EQ(size.width, 3);
    EXPECT_EQ(size.height, 4);
    EXPECT_EQ(first->next().get(), middle.get());
    EXPECT_EQ(make<DZStyle>()->next().get(), nullptr);
}

TEST(DZStyleContext, StartsEmptyAndHoldsWhatItIsGiven) {
    auto context = make<DZStyleContext>();
    EXPECT_TRUE(CGRectEqualToRect(context->frame(), CGRectZero));
    EXPECT_TRUE(CGRectEqualToRect(context->contentFrame(), CGRectZero));
    EXPECT_FALSE(context->didDrawContent());
    EXPECT_EQ(context->font().get(), nullptr);
    EXPECT_EQ(context->delegate().get(), nullptr);
    auto font = UIFont::systemFontOfSize(12);
    context->setFont(font);
    EXPECT_EQ(context->font().get(), font.get());
    context->setFont(nullptr);
    EXPECT_EQ(context->font().get(), nullptr);
}

class Drawn : public NSObject, public DZStyleDelegate {
    NS_OBJECT(Drawn, NSObject)
};

TEST(DZStyleContext, TheDelegateIsNotKept) {
    auto context = make<DZStyleContext>();
    {
        auto drawn = make<Drawn>();
        context->setDelegate(drawn);
        EXPECT_EQ(context->delegate().get(), static_cast<DZStyleDelegate*>(drawn.get()));
        // The optional questions answer nothing by default.
        EXPECT_EQ(drawn->textForLayerWithStyle(nullptr).get(), nullptr);
        EXPECT_EQ(drawn->imageForLayerWithStyle(nullptr).get(), nullptr);
    }
    EXPECT_EQ(context->delegate().get(), nullptr);
}

TEST(DZLayout, TheBasePlacesNothing) {
    auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 10, 10));
    auto sub = make<UIView>(&UIView::initWithFrame, CGRectMake(1, 2, 3, 4));
    view->addSubview(sub);
    CGSize size = make<DZLayout>()->layoutSubviews(view->subviews(), view);
    EXPECT_EQ(size.width, 0);
    EXPECT_EQ(size.height, 0);
    EXPECT_TRUE(CGRectEqualToRect(sub->frame(), CGRectMake(1, 2, 3, 4)));
}

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
