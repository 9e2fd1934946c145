// The app's style sheet: bar tints from the theme, the three tinted tool-bar buttons and the
// embossed button's chain.
#include <gtest/gtest.h>

#include "Classes/MyStyleSheet.h"
#include "Classes/Theme.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"

namespace {

struct Components {
    CGFloat r = -1, g = -1, b = -1, a = -1;
};

Components rgba(UIColor* color) {
    Components c;
    if (color) color->getRed(&c.r, &c.g, &c.b, &c.a);
    return c;
}

void expectColor(UIColor* color, int r, int g, int b, CGFloat a = 1) {
    auto c = rgba(color);
    EXPECT_NEAR(c.r * 255, r, 0.01) << "red";
    EXPECT_NEAR(c.g * 255, g, 0.01) << "green";
    EXPECT_NEAR(c.b * 255, b, 0.01) << "blue";
    EXPECT_NEAR(c.a, a, 0.001) << "alpha";
}

class AppStyleSheet : public testing::Test {
protected:
    void SetUp() override {
        MyStyleSheet::initTTStyleSheet();
        sheet = as<MyStyleSheet>(DZStyleSheet::globalStyleSheet());
        ASSERT_TRUE(sheet);
    }
    Ref<MyStyleSheet> sheet;
};

// The tint a tool-bar style was made with: its reflective fill's colour follows the tint's hue.
Ref<UIColor> fillColorOf(DZStyle* style) {
    for (Ref<DZStyle> s = style; s; s = s->next()) {
        if (auto fill = as<DZReflectiveFillStyle>(s)) return fill->color();
    }
    return nullptr;
}

}  // namespace

TEST_F(AppStyleSheet, BarTintsFollowTheCurrentTheme) {
    auto bar = Theme::sys()->toolBarColor();
    ASSERT_TRUE(bar);
    EXPECT_TRUE(sheet->toolbarTintColor()->isEqual(bar));
    EXPECT_TRUE(sheet->navigationBarTintColor()->isEqual(bar));
}

TEST_F(AppStyleSheet, ToolbarButtonsAreTheFrameworksStyleWithTheirTints) {
    struct Case {
        const char* name;
        int r, g, b;
    } cases[] = {{"blueToolbarButton:", 30, 110, 255},
                 {"greyToolbarButton:", 103, 107, 124},
                 {"redToolbarButton:", 255, 30, 30}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto tint = UIColor::colorWithRed(c.r / 255.0f, c.g / 255.0f, c.b / 255.0f, 1);
        auto expected = sheet->toolbarButtonForState(
            UIControlStateNormal, DZRoundedRectangleShape::shapeWithRadius(4.5f), tint, nullptr);
        auto style = sheet->styleWithSelector(NSString::fromUTF8(c.name), UIControlStateNormal);
        ASSERT_TRUE(style);
        auto shape = as<DZShapeStyle>(style);
        ASSERT_TRUE(shape);
        EXPECT_FLOAT_EQ(as<DZRoundedRectangleShape>(shape->shape())->topLeftRadius(), 4.5f);
        EXPECT_TRUE(fillColorOf(style)->isEqual(fillColorOf(expected)));
        EXPECT_TRUE(sheet->styleWithSelector(NSString::fromUTF8(c.name), UIControlStateDisabled));
    }
    EXPECT_FALSE(
        fillColorOf(sheet->styleWithSelector(NS("blueToolbarButton:"), UIControlStateNormal))
            ->isEqual(fillColorOf(
                sheet->styleWithSelector(NS("redToolbarButton:"), UIControlStateNormal))));
}

TEST_F(AppStyleSheet, TheEmbossedButtonsChainForNormalAndHighlightedOnly) {
    EXPECT_FALSE(sheet->styleWithSelector(NS("embossedButton:"), UIControlStateDisabled));
    EXPECT_FALSE(sheet->styleWithSelector(NS("embossedButton:"), UIControlStateSelected));

    for (UIControlState state : {UIControlStateNormal, UIControlStateHighlighted}) {
        SCOPED_TRACE(state);
        bool normal = state == UIControlStateNormal;
        auto shape = as<DZShapeStyle>(sheet->styleWithSelector(NS("embossedButton:"), state));
        ASSERT_TRUE(shape);
        EXPECT_FLOAT_EQ(as<DZRoundedRectangleShape>(shape->shape())->topLeftRadius(), 8);
        auto inset = as<DZInsetStyle>(shape->next());
        ASSERT_TRUE(inset);
        EXPECT_EQ(inset->inset().bottom, 1);
        EXPECT_EQ(inset->inset().top, 0);
        auto shadow = as<DZShadowStyle>(inset->next());
        ASSERT_TRUE(shadow);
        expectColor(shadow->color(), 255, 255, 255, 0);
        EXPECT_EQ(shadow->blur(), 1);
        EXPECT_EQ(shadow->offset().height, 1);
        auto gradient = as<DZLinearGradientFillStyle>(shadow->next());
        ASSERT_TRUE(gradient);
        if (normal) {
            expectColor(gradient->color1(), 255, 255, 255);
            expectColor(gradient->color2(), 226, 231, 241);
        } else {
            expectColor(gradient->color1(), 225, 225, 225);
            expectColor(gradient->color2(), 186, 191, 211);
        }
        auto border = as<DZSolidBorderStyle>(gradient->next());
        ASSERT_TRUE(border);
        expectColor(border->color(), 161, 167, 178);
        EXPECT_EQ(border->width(), 1);
        auto box = as<DZBoxStyle>(border->next());
        ASSERT_TRUE(box);
        EXPECT_EQ(box->padding().top, 10);
        EXPECT_EQ(box->padding().left, 12);
        EXPECT_EQ(box->padding().bottom, 9);
        EXPECT_EQ(box->padding().right, 12);
        auto text = as<DZTextStyle>(box->next());
        ASSERT_TRUE(text);
        if (normal)
            EXPECT_TRUE(text->color()->isEqual(sheet->linkTextColor()));
        else
            expectColor(text->color(), 255, 255, 255);
        expectColor(text->shadowColor(), 255, 255, 255, 0.4f);
        EXPECT_EQ(text->shadowOffset().height, -1);
        EXPECT_FALSE(text->next());
    }
}
