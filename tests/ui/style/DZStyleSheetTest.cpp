#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "Foundation/NSNotification.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"
#include "ui/style/StyleTesting.h"

namespace {

Ref<NSString> str(const std::string& s) {
    return NSString::stringWithUTF8String(s.c_str());
}

// The framework's bundle as shipped, for the images the sheet names.
class ShippedBundle : public testing::Environment {
    void SetUp() override {
        setenv("BAZAARNEST_BUNDLE",
               (std::string(BN_SOURCE_DIR) + "/resources/Bazaarnest.app").c_str(), 1);
    }
};
[[maybe_unused]] testing::Environment* const kBundle =
    testing::AddGlobalTestEnvironment(new ShippedBundle);

// A sheet with named styles, counting how often it is asked.
class TestSheet : public DZDefaultStyleSheet {
    NS_OBJECT(TestSheet, DZDefaultStyleSheet)
    static void describeClass(RuntimeClass& c) {
        c.method("plain", &TestSheet::plain)
            .method("button:", &TestSheet::button)
            .method("notDisabled:", &TestSheet::notDisabled);
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
    Ref<UIColor> toolbarTintColor() override { return UIColor::colorWithRed(0.8f, 0.1f, 0.1f, 1); }
    Ref<DZStyle> notDisabled(UIControlState state) {
        ++asked;
        return state == UIControlStateDisabled ? nullptr : make<DZStyle>();
    }
    int asked = 0;
    std::vector<UIControlState> states;
};

using StyleSheets = testing::Test;

void expectRGB(UIColor* c, double r, double g, double b) {
    ASSERT_TRUE(c);
    EXPECT_NEAR(c->red() * 255, r, 1e-3);
    EXPECT_NEAR(c->green() * 255, g, 1e-3);
    EXPECT_NEAR(c->blue() * 255, b, 1e-3);
    EXPECT_EQ(c->alpha(), 1);
}

TEST_F(StyleSheets, TheDefaultSheetIsMadeOnFirstUseAndKept) {
    auto sheet = DZStyleSheet::globalStyleSheet();
    EXPECT_TRUE(is<DZDefaultStyleSheet>(sheet.get()));
    EXPECT_EQ(DZStyleSheet::globalStyleSheet().get(), sheet.get());
    expectRGB(sheet->navigationBarTintColor(), 119, 140, 168);
    expectRGB(sheet->toolbarTintColor(), 109, 132, 162);
    expectRGB(sheet->backgroundColor(), 255, 255, 255);
    expectRGB(sheet->linkTextColor(), 87, 107, 149);
    EXPECT_EQ(make<DZStyleSheet>()->linkTextColor().get(), nullptr);
}

// The sheet a test installed is gone for the next: the default sheet is made again.
TEST_F(StyleSheets, TheResetBetweenTestsBringsBackTheDefaultSheet) {
    auto mine = make<TestSheet>();
    DZStyleSheet::setGlobalStyleSheet(mine);
    resetProcessWideInstances();
    auto sheet = DZStyleSheet::globalStyleSheet();
    EXPECT_NE(sheet.get(), mine.get());
    EXPECT_FALSE(is<TestSheet>(sheet.get()));
    EXPECT_TRUE(is<DZDefaultStyleSheet>(sheet.get()));
}

TEST_F(StyleSheets, AnInstalledSheetReplacesTheShared) {
    Weak<DZStyleSheet> old = DZStyleSheet::globalStyleSheet();
    auto mine = make<TestSheet>();
    DZStyleSheet::setGlobalStyleSheet(mine);
    EXPECT_FALSE(old.alive());
    EXPECT_EQ(DZStyleSheet::globalStyleSheet().get(), mine.get());
    expectRGB(DZStyleSheet::globalStyleSheet()->navigationBarTintColor(), 255, 0, 0);
    expectRGB(DZStyleSheet::globalStyleSheet()->toolbarTintColor(), 204, 25.5, 25.5);
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

TEST_F(StyleSheets, MissesAndNilAnswersAreAskedAgain) {
    auto sheet = make<TestSheet>();
    EXPECT_EQ(sheet->styleWithSelector(NS("notDisabled:"), UIControlStateDisabled).get(), nullptr);
    EXPECT_EQ(sheet->styleWithSelector(NS("notDisabled:"), UIControlStateDisabled).get(), nullptr);
    EXPECT_EQ(sheet->asked, 2);
    EXPECT_TRUE(sheet->styleWithSelector(NS("notDisabled:")));
}

TEST_F(StyleSheets, InstallingTheCurrentSheetAgainKeepsIt) {
    DZStyleSheet::setGlobalStyleSheet(make<TestSheet>());
    // Only the global reference holds it now.
    DZStyleSheet* current = DZStyleSheet::globalStyleSheet().get();
    Weak<DZStyleSheet> watch = current;
    DZStyleSheet::setGlobalStyleSheet(current);
    ASSERT_TRUE(watch.alive());
    EXPECT_EQ(DZStyleSheet::globalStyleSheet().get(), current);
}

TEST_F(StyleSheets, AReplacedSheetKeepsItsOwnCache) {
    auto first = make<TestSheet>();
    DZStyleSheet::setGlobalStyleSheet(first);
    auto kept = first->styleWithSelector(NS("plain"));
    DZStyleSheet::setGlobalStyleSheet(make<TestSheet>());
    EXPECT_EQ(first->styleWithSelector(NS("plain")).get(), kept.get());
    EXPECT_EQ(first->asked, 1);
}

// ---- the default sheet --------------------------------------------------------------------

Ref<UIColor> bodyOf(DZStyle* chain) {
    auto fill = chain->firstStyleOfClass<DZReflectiveFillStyle>();
    return fill ? fill->color() : nullptr;
}

TEST_F(StyleSheets, ToolbarButtonColoursByState) {
    auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    ASSERT_TRUE(sheet);
    auto tint = sheet->toolbarTintColor();
    auto highlighted = bodyOf(sheet->styleWithSelector(NS("toolbarButton:"), 1));
    EXPECT_NEAR(value(highlighted), value(tint) * 0.4f, 1e-5);
    EXPECT_NEAR(saturation(highlighted), saturation(tint), 1e-5);
    auto disabled = sheet->styleWithSelector(NS("toolbarButton:"), 2);
    auto normal = sheet->styleWithSelector(NS("toolbarButton:"), 0);
    EXPECT_NE(disabled.get(), normal.get());
    EXPECT_EQ(sheet->styleWithSelector(NS("toolbarButton:"), 0).get(), normal.get());
    // Disabled keeps the normal body.
    EXPECT_FLOAT_EQ(bodyOf(disabled)->red(), bodyOf(normal)->red());
    EXPECT_FLOAT_EQ(bodyOf(disabled)->blue(), bodyOf(normal)->blue());
    EXPECT_NEAR(bodyOf(normal)->red() * 255, 75, 1);
    auto title = disabled->firstStyleOfClass<DZTextStyle>()->color();
    EXPECT_FLOAT_EQ(title->alpha(), 0.4f);
    EXPECT_EQ(normal->firstStyleOfClass<DZTextStyle>()->color()->alpha(), 1);
    // A black tint is raised, not darkened.
    auto black = bodyOf(sheet->styleWithSelector(NS("blackToolbarButton:"), 1));
    EXPECT_NEAR(value(black), 10 / 255.0 + 0.2, 1e-5);
    // The builder's chain, front to back.
    std::vector<Class> kinds;
    for (Ref<DZStyle> s = normal; s; s = s->next())
        kinds.push_back(s->getClass());
    std::vector<Class> expected = {
        DZShapeStyle::staticClass(),       DZInsetStyle::staticClass(),
        DZShadowStyle::staticClass(),      DZReflectiveFillStyle::staticClass(),
        DZBevelBorderStyle::staticClass(), DZInsetStyle::staticClass(),
        DZBevelBorderStyle::staticClass(), DZBoxStyle::staticClass(),
        DZImageStyle::staticClass(),       DZTextStyle::staticClass()};
    EXPECT_EQ(kinds, expected);
}

TEST_F(StyleSheets, AnInstalledTintRecoloursTheFirstFourToolbarStyles) {
    auto mine = make<TestSheet>();
    DZStyleSheet::setGlobalStyleSheet(mine);
    auto expectedBody = mine->toolbarButtonColorWithTintColor(mine->toolbarTintColor(), 0);
    for (auto name :
         {"toolbarButton:", "toolbarBackButton:", "toolbarForwardButton:", "toolbarRoundButton:"}) {
        auto body = bodyOf(mine->styleWithSelector(str(name), 0));
        EXPECT_NEAR(body->red(), expectedBody->red(), 1e-5) << name;
        EXPECT_NEAR(body->green(), expectedBody->green(), 1e-5) << name;
    }
    auto black = bodyOf(mine->styleWithSelector(NS("blackToolbarButton:"), 0));
    EXPECT_LT(black->red(), 0.1f);
    // The default sheet reads its own tint from the installed sheet too.
    auto plain = make<DZDefaultStyleSheet>();
    EXPECT_NEAR(bodyOf(plain->toolbarButton(0))->red(), expectedBody->red(), 1e-5);
}

TEST_F(StyleSheets, NamedStylesEdgeCases) {
    auto sheet = make<DZDefaultStyleSheet>();
    EXPECT_EQ(sheet->tableHeaderTintColor().get(), nullptr);
    EXPECT_EQ(sheet->tableHeaderTextColor().get(), nullptr);
    EXPECT_EQ(sheet->tableHeaderShadowColor().get(), nullptr);
    EXPECT_EQ(sheet->tablePlainBackgroundColor().get(), nullptr);
    auto link = sheet->styleWithSelector(NS("linkText:"), 0);
    EXPECT_TRUE(is<DZTextStyle>(link.get()));
    EXPECT_EQ(link->next().get(), nullptr);

    auto left = as<DZRoundedRectangleShape>(sheet->styleWithSelector(NS("tabGridTabLeft:"), 0)
                                                ->firstStyleOfClass<DZShapeStyle>()
                                                ->shape());
    ASSERT_TRUE(left);
    EXPECT_EQ(left->topLeftRadius(), 8);
    EXPECT_EQ(left->bottomLeftRadius(), 8);
    EXPECT_EQ(left->topRightRadius(), 0);
    EXPECT_EQ(left->bottomRightRadius(), 0);
    auto other = sheet->tabGridTab(0, 9)->firstStyleOfClass<DZShapeStyle>()->shape();
    EXPECT_TRUE(is<DZRectangleShape>(other.get()));
    EXPECT_TRUE(sheet->tabGridTab(4, 1)->styleForPart(NS("image")));

    auto plain = sheet->styleWithSelector(NS("launcherButtonImage:"), 2);
    EXPECT_EQ(plain->firstStyleOfClass<DZBlendStyle>().get(), nullptr);
    auto selected = sheet->styleWithSelector(NS("launcherButtonImage:"), 4);
    auto blend = selected->firstStyleOfClass<DZBlendStyle>();
    ASSERT_TRUE(blend);
    EXPECT_EQ(blend->blendMode(), 20);
    ASSERT_TRUE(is<DZSolidFillStyle>(blend->next().get()));
    EXPECT_EQ(blend->next()->next().get(), nullptr);
}

TEST_F(StyleSheets, EveryNamedStyleBuilds) {
    auto sheet = make<DZDefaultStyleSheet>();
    const char* names[] = {"linkText:",
                           "linkHighlighted",
                           "thumbView:",
                           "searchTextField",
                           "searchBar",
                           "searchBarBottom",
                           "blackSearchBar",
                           "tableHeader",
                           "pickerCell:",
                           "searchTableShadow",
                           "blackBezel",
                           "whiteBezel",
                           "blackBanner",
                           "miniBadge",
                           "badge",
                           "largeBadge",
                           "tabBar",
                           "tabStrip",
                           "tabGrid",
                           "tabGridTabImage:",
                           "tabGridTabTopLeft:",
                           "tabGridTabTopRight:",
                           "tabGridTabBottomRight:",
                           "tabGridTabBottomLeft:",
                           "tabGridTabLeft:",
                           "tabGridTabRight:",
                           "tabGridTabCenter:",
                           "tab:",
                           "tabRound:",
                           "tabOverflowLeft",
                           "tabOverflowRight",
                           "rounded",
                           "postTextEditor",
                           "photoCaption",
                           "photoStatusLabel",
                           "pageDot:",
                           "launcherButton:",
                           "launcherButtonImage:",
                           "launcherCloseButtonImage:",
                           "launcherCloseButton:",
                           "launcherPageDot:",
                           "textBar",
                           "textBarFooter",
                           "textBarTextField",
                           "textBarPostButton:",
                           "toolbarButton:",
                           "toolbarBackButton:",
                           "toolbarForwardButton:",
                           "toolbarRoundButton:",
                           "blackToolbarButton:",
                           "grayToolbarButton:",
                           "blackToolbarForwardButton:",
                           "blackToolbarRoundButton:"};
    for (const char* name : names)
        for (UIControlState state : {0u, 1u, 2u, 4u}) {
            if (!std::string(name).ends_with(":") && state) continue;
            auto chain = sheet->styleWithSelector(str(name), state);
            ASSERT_TRUE(chain) << name << " " << state;
            // Each draws without a delegate.
            drawChain(chain, CGSizeMake(60, 30));
        }
    // The overflow arrows come from the framework's bundle.
    auto arrow = sheet->styleWithSelector(NS("tabOverflowLeft"))->firstStyleOfClass<DZImageStyle>();
    ASSERT_TRUE(arrow->image());
    EXPECT_EQ(arrow->contentMode(), UIViewContentModeCenter);
    EXPECT_TRUE(sheet->styleWithSelector(NS("tabOverflowRight"))
                    ->firstStyleOfClass<DZImageStyle>()
                    ->image());
}

TEST_F(StyleSheets, ATableHeaderWithoutATintDrawsOnlyItsBorder) {
    auto image = drawChain(make<DZDefaultStyleSheet>()->tableHeader(), CGSizeMake(40, 20));
    EXPECT_TRUE(near(at(image, 20, 5), kClear));
    EXPECT_GT(at(image, 20, 19.5f).a, 20);
}

TEST_F(StyleSheets, UnderASheetWithoutVariablesTheDefaultSheetUsesItsOwn) {
    DZStyleSheet::setGlobalStyleSheet(make<DZStyleSheet>());
    auto sheet = make<DZDefaultStyleSheet>();
    auto body = bodyOf(sheet->styleWithSelector(NS("toolbarButton:"), 0));
    auto expected = sheet->toolbarButtonColorWithTintColor(sheet->toolbarTintColor(), 0);
    ASSERT_TRUE(body);
    EXPECT_FLOAT_EQ(body->red(), expected->red());
    EXPECT_TRUE(sheet->styleWithSelector(NS("photoCaption")));
}

}  // namespace
