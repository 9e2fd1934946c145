#include "Classes/MyStyleSheet.h"

#include "Classes/Theme.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"

namespace {
Ref<UIColor> rgb(int red, int green, int blue) {
    return UIColor::colorWithRed(red / 255.0f, green / 255.0f, blue / 255.0f, 1);
}

Ref<DZStyle> tintedToolbarButton(UIControlState state, UIColor* tint) {
    auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    if (!sheet) return nullptr;
    return sheet->toolbarButtonForState(state, DZRoundedRectangleShape::shapeWithRadius(4.5f), tint,
                                        nullptr);
}
}  // namespace

void MyStyleSheet::describeClass(RuntimeClass& c) {
    c.method("blueToolbarButton:", &MyStyleSheet::blueToolbarButton)
        .method("greyToolbarButton:", &MyStyleSheet::greyToolbarButton)
        .method("redToolbarButton:", &MyStyleSheet::redToolbarButton)
        .method("embossedButton:", &MyStyleSheet::embossedButton);
}

void MyStyleSheet::initTTStyleSheet() {
    DZStyleSheet::setGlobalStyleSheet(make<MyStyleSheet>().get());
}

Ref<UIColor> MyStyleSheet::toolbarTintColor() {
    return Theme::sys()->toolBarColor();
}

Ref<UIColor> MyStyleSheet::navigationBarTintColor() {
    return Theme::sys()->toolBarColor();
}

Ref<DZStyle> MyStyleSheet::blueToolbarButton(UIControlState state) {
    return tintedToolbarButton(state, rgb(30, 110, 255));
}

Ref<DZStyle> MyStyleSheet::greyToolbarButton(UIControlState state) {
    return tintedToolbarButton(state, rgb(103, 107, 124));
}

Ref<DZStyle> MyStyleSheet::redToolbarButton(UIControlState state) {
    return tintedToolbarButton(state, rgb(255, 30, 30));
}

Ref<DZStyle> MyStyleSheet::embossedButton(UIControlState state) {
    Ref<UIColor> top, bottom, text;
    if (state == UIControlStateNormal) {
        top = rgb(255, 255, 255);
        bottom = rgb(226, 231, 241);
        auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
        text = sheet ? sheet->linkTextColor() : linkTextColor();
    } else if (state == UIControlStateHighlighted) {
        top = rgb(225, 225, 225);
        bottom = rgb(186, 191, 211);
        text = UIColor::whiteColor();
    } else {
        return nullptr;
    }
    return DZShapeStyle::styleWithShape(
        DZRoundedRectangleShape::shapeWithRadius(8),
        DZInsetStyle::styleWithInset(
            UIEdgeInsetsMake(0, 0, 1, 0),
            DZShadowStyle::styleWithColor(
                UIColor::colorWithWhite(1, 0), 1, CGSizeMake(0, 1),
                DZLinearGradientFillStyle::styleWithColor1(
                    top, bottom,
                    DZSolidBorderStyle::styleWithColor(
                        rgb(161, 167, 178), 1,
                        DZBoxStyle::styleWithPadding(
                            UIEdgeInsetsMake(10, 12, 9, 12),
                            DZTextStyle::styleWithFont(nullptr, text,
                                                       UIColor::colorWithWhite(1, 0.4f),
                                                       CGSizeMake(0, -1), nullptr)))))));
}
