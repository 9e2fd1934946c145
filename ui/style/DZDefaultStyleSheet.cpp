#include "ui/style/DZDefaultStyleSheet.h"

#include "CoreGraphics/CGContext.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZFillStyles.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZTextStyle.h"

namespace {
Ref<UIColor> rgb(int red, int green, int blue, CGFloat alpha = 1) {
    return UIColor::colorWithRed(red / 255.0f, green / 255.0f, blue / 255.0f, alpha);
}
Ref<UIColor> white(CGFloat w, CGFloat alpha = 1) {
    return UIColor::colorWithWhite(w, alpha);
}
Ref<UIColor> black(CGFloat alpha) {
    return UIColor::colorWithWhite(0, alpha);
}
// The global sheet's variables; a sheet installed that is not a default sheet has none of
// them, and the asking sheet's own stand in.
Ref<DZDefaultStyleSheet> globalSheet(DZDefaultStyleSheet* self) {
    auto global = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
    return global ? global : Ref<DZDefaultStyleSheet>(self);
}
UIEdgeInsets ins(CGFloat top, CGFloat left, CGFloat bottom, CGFloat right) {
    return UIEdgeInsetsMake(top, left, bottom, right);
}
Ref<DZShape> roundRect(CGFloat radius) {
    return DZRoundedRectangleShape::shapeWithRadius(radius);
}
// So that a program linking the styles finds the default sheet by name from the core.
[[maybe_unused]] const Class registered = DZDefaultStyleSheet::staticClass();
}  // namespace

void DZDefaultStyleSheet::describeClass(RuntimeClass& c) {
    c.method("textColor", &DZDefaultStyleSheet::textColor)
        .method("highlightedTextColor", &DZDefaultStyleSheet::highlightedTextColor)
        .method("font", &DZDefaultStyleSheet::font)
        .method("searchBarTintColor", &DZDefaultStyleSheet::searchBarTintColor)
        .method("tablePlainBackgroundColor", &DZDefaultStyleSheet::tablePlainBackgroundColor)
        .method("tableGroupedBackgroundColor", &DZDefaultStyleSheet::tableGroupedBackgroundColor)
        .method("searchTableBackgroundColor", &DZDefaultStyleSheet::searchTableBackgroundColor)
        .method("searchTableSeparatorColor", &DZDefaultStyleSheet::searchTableSeparatorColor)
        .method("timestampTextColor", &DZDefaultStyleSheet::timestampTextColor)
        .method("moreLinkTextColor", &DZDefaultStyleSheet::moreLinkTextColor)
        .method("tableHeaderTextColor", &DZDefaultStyleSheet::tableHeaderTextColor)
        .method("tableHeaderShadowColor", &DZDefaultStyleSheet::tableHeaderShadowColor)
        .method("tableHeaderShadowOffset", &DZDefaultStyleSheet::tableHeaderShadowOffset)
        .method("tableHeaderTintColor", &DZDefaultStyleSheet::tableHeaderTintColor)
        .method("photoCaptionTextColor", &DZDefaultStyleSheet::photoCaptionTextColor)
        .method("photoCaptionTextShadowColor", &DZDefaultStyleSheet::photoCaptionTextShadowColor)
        .method("photoCaptionTextShadowOffset", &DZDefaultStyleSheet::photoCaptionTextShadowOffset)
        .method("screenBackgroundColor", &DZDefaultStyleSheet::screenBackgroundColor)
        .method("tableActivityTextColor", &DZDefaultStyleSheet::tableActivityTextColor)
        .method("tableErrorTextColor", &DZDefaultStyleSheet::tableErrorTextColor)
        .method("tableSubTextColor", &DZDefaultStyleSheet::tableSubTextColor)
        .method("tableTitleTextColor", &DZDefaultStyleSheet::tableTitleTextColor)
        .method("tabBarTintColor", &DZDefaultStyleSheet::tabBarTintColor)
        .method("tabTintColor", &DZDefaultStyleSheet::tabTintColor)
        .method("messageFieldTextColor", &DZDefaultStyleSheet::messageFieldTextColor)
        .method("messageFieldSeparatorColor", &DZDefaultStyleSheet::messageFieldSeparatorColor)
        .method("thumbnailBackgroundColor", &DZDefaultStyleSheet::thumbnailBackgroundColor)
        .method("postButtonColor", &DZDefaultStyleSheet::postButtonColor)
        .method("buttonFont", &DZDefaultStyleSheet::buttonFont)
        .method("tableFont", &DZDefaultStyleSheet::tableFont)
        .method("tableSmallFont", &DZDefaultStyleSheet::tableSmallFont)
        .method("tableTitleFont", &DZDefaultStyleSheet::tableTitleFont)
        .method("tableTimestampFont", &DZDefaultStyleSheet::tableTimestampFont)
        .method("tableButtonFont", &DZDefaultStyleSheet::tableButtonFont)
        .method("tableSummaryFont", &DZDefaultStyleSheet::tableSummaryFont)
        .method("tableHeaderPlainFont", &DZDefaultStyleSheet::tableHeaderPlainFont)
        .method("tableHeaderGroupedFont", &DZDefaultStyleSheet::tableHeaderGroupedFont)
        .method("tableBannerViewHeight", &DZDefaultStyleSheet::tableBannerViewHeight)
        .method("photoCaptionFont", &DZDefaultStyleSheet::photoCaptionFont)
        .method("messageFont", &DZDefaultStyleSheet::messageFont)
        .method("errorTitleFont", &DZDefaultStyleSheet::errorTitleFont)
        .method("errorSubtitleFont", &DZDefaultStyleSheet::errorSubtitleFont)
        .method("activityLabelFont", &DZDefaultStyleSheet::activityLabelFont)
        .method("activityBannerFont", &DZDefaultStyleSheet::activityBannerFont)
        .method("tableSelectionStyle", &DZDefaultStyleSheet::tableSelectionStyle)
        .method("linkText:", &DZDefaultStyleSheet::linkText)
        .method("linkHighlighted", &DZDefaultStyleSheet::linkHighlighted)
        .method("thumbView:", &DZDefaultStyleSheet::thumbView)
        .method("searchTextField", &DZDefaultStyleSheet::searchTextField)
        .method("searchBar", &DZDefaultStyleSheet::searchBar)
        .method("searchBarBottom", &DZDefaultStyleSheet::searchBarBottom)
        .method("blackSearchBar", &DZDefaultStyleSheet::blackSearchBar)
        .method("tableHeader", &DZDefaultStyleSheet::tableHeader)
        .method("pickerCell:", &DZDefaultStyleSheet::pickerCell)
        .method("searchTableShadow", &DZDefaultStyleSheet::searchTableShadow)
        .method("blackBezel", &DZDefaultStyleSheet::blackBezel)
        .method("whiteBezel", &DZDefaultStyleSheet::whiteBezel)
        .method("blackBanner", &DZDefaultStyleSheet::blackBanner)
        .method("miniBadge", &DZDefaultStyleSheet::miniBadge)
        .method("badge", &DZDefaultStyleSheet::badge)
        .method("largeBadge", &DZDefaultStyleSheet::largeBadge)
        .method("tabBar", &DZDefaultStyleSheet::tabBar)
        .method("tabStrip", &DZDefaultStyleSheet::tabStrip)
        .method("tabGrid", &DZDefaultStyleSheet::tabGrid)
        .method("tabGridTabImage:", &DZDefaultStyleSheet::tabGridTabImage)
        .method("tabGridTabTopLeft:", &DZDefaultStyleSheet::tabGridTabTopLeft)
        .method("tabGridTabTopRight:", &DZDefaultStyleSheet::tabGridTabTopRight)
        .method("tabGridTabBottomRight:", &DZDefaultStyleSheet::tabGridTabBottomRight)
        .method("tabGridTabBottomLeft:", &DZDefaultStyleSheet::tabGridTabBottomLeft)
        .method("tabGridTabLeft:", &DZDefaultStyleSheet::tabGridTabLeft)
        .method("tabGridTabRight:", &DZDefaultStyleSheet::tabGridTabRight)
        .method("tabGridTabCenter:", &DZDefaultStyleSheet::tabGridTabCenter)
        .method("tab:", &DZDefaultStyleSheet::tab)
        .method("tabRound:", &DZDefaultStyleSheet::tabRound)
        .method("tabOverflowLeft", &DZDefaultStyleSheet::tabOverflowLeft)
        .method("tabOverflowRight", &DZDefaultStyleSheet::tabOverflowRight)
        .method("rounded", &DZDefaultStyleSheet::rounded)
        .method("postTextEditor", &DZDefaultStyleSheet::postTextEditor)
        .method("photoCaption", &DZDefaultStyleSheet::photoCaption)
        .method("photoStatusLabel", &DZDefaultStyleSheet::photoStatusLabel)
        .method("pageDot:", &DZDefaultStyleSheet::pageDot)
        .method("launcherButton:", &DZDefaultStyleSheet::launcherButton)
        .method("launcherButtonImage:", &DZDefaultStyleSheet::launcherButtonImage)
        .method("launcherCloseButtonImage:", &DZDefaultStyleSheet::launcherCloseButtonImage)
        .method("launcherCloseButton:", &DZDefaultStyleSheet::launcherCloseButton)
        .method("launcherPageDot:", &DZDefaultStyleSheet::launcherPageDot)
        .method("textBar", &DZDefaultStyleSheet::textBar)
        .method("textBarFooter", &DZDefaultStyleSheet::textBarFooter)
        .method("textBarTextField", &DZDefaultStyleSheet::textBarTextField)
        .method("textBarPostButton:", &DZDefaultStyleSheet::textBarPostButton)
        .method("toolbarButton:", &DZDefaultStyleSheet::toolbarButton)
        .method("toolbarBackButton:", &DZDefaultStyleSheet::toolbarBackButton)
        .method("toolbarForwardButton:", &DZDefaultStyleSheet::toolbarForwardButton)
        .method("toolbarRoundButton:", &DZDefaultStyleSheet::toolbarRoundButton)
        .method("blackToolbarButton:", &DZDefaultStyleSheet::blackToolbarButton)
        .method("grayToolbarButton:", &DZDefaultStyleSheet::grayToolbarButton)
        .method("blackToolbarForwardButton:", &DZDefaultStyleSheet::blackToolbarForwardButton)
        .method("blackToolbarRoundButton:", &DZDefaultStyleSheet::blackToolbarRoundButton);
}

// ---- variables ---------------------------------------------------------------------------

Ref<UIColor> DZDefaultStyleSheet::textColor() {
    return UIColor::blackColor();
}

Ref<UIColor> DZDefaultStyleSheet::highlightedTextColor() {
    return UIColor::whiteColor();
}

Ref<UIFont> DZDefaultStyleSheet::font() {
    return UIFont::systemFontOfSize(14);
}

Ref<UIColor> DZDefaultStyleSheet::backgroundColor() {
    return UIColor::whiteColor();
}

Ref<UIColor> DZDefaultStyleSheet::navigationBarTintColor() {
    return rgb(119, 140, 168);
}

Ref<UIColor> DZDefaultStyleSheet::toolbarTintColor() {
    return rgb(109, 132, 162);
}

Ref<UIColor> DZDefaultStyleSheet::searchBarTintColor() {
    return rgb(200, 200, 200);
}

Ref<UIColor> DZDefaultStyleSheet::tablePlainBackgroundColor() {
    return nullptr;
}

Ref<UIColor> DZDefaultStyleSheet::tableGroupedBackgroundColor() {
    return UIColor::groupTableViewBackgroundColor();
}

Ref<UIColor> DZDefaultStyleSheet::searchTableBackgroundColor() {
    return rgb(235, 235, 235);
}

Ref<UIColor> DZDefaultStyleSheet::searchTableSeparatorColor() {
    return white(0.85f);
}

Ref<UIColor> DZDefaultStyleSheet::linkTextColor() {
    return rgb(87, 107, 149);
}

Ref<UIColor> DZDefaultStyleSheet::timestampTextColor() {
    return rgb(36, 112, 216);
}

Ref<UIColor> DZDefaultStyleSheet::moreLinkTextColor() {
    return rgb(36, 112, 216);
}

Ref<UIColor> DZDefaultStyleSheet::tableHeaderTextColor() {
    return nullptr;
}

Ref<UIColor> DZDefaultStyleSheet::tableHeaderShadowColor() {
    return nullptr;
}

CGSize DZDefaultStyleSheet::tableHeaderShadowOffset() {
    return CGSizeMake(0, 1);
}

Ref<UIColor> DZDefaultStyleSheet::tableHeaderTintColor() {
    return nullptr;
}

Ref<UIColor> DZDefaultStyleSheet::photoCaptionTextColor() {
    return UIColor::whiteColor();
}

Ref<UIColor> DZDefaultStyleSheet::photoCaptionTextShadowColor() {
    return white(0, 0.9f);
}

CGSize DZDefaultStyleSheet::photoCaptionTextShadowOffset() {
    return CGSizeMake(0, 1);
}

Ref<UIColor> DZDefaultStyleSheet::screenBackgroundColor() {
    return white(0, 0.8f);
}

Ref<UIColor> DZDefaultStyleSheet::tableActivityTextColor() {
    return rgb(99, 109, 125);
}

Ref<UIColor> DZDefaultStyleSheet::tableErrorTextColor() {
    return rgb(96, 103, 111);
}

Ref<UIColor> DZDefaultStyleSheet::tableSubTextColor() {
    return rgb(79, 89, 105);
}

Ref<UIColor> DZDefaultStyleSheet::tableTitleTextColor() {
    return rgb(99, 109, 125);
}

Ref<UIColor> DZDefaultStyleSheet::tabBarTintColor() {
    return rgb(119, 140, 168);
}

Ref<UIColor> DZDefaultStyleSheet::tabTintColor() {
    return rgb(228, 230, 235);
}

Ref<UIColor> DZDefaultStyleSheet::messageFieldTextColor() {
    return white(0.5f);
}

Ref<UIColor> DZDefaultStyleSheet::messageFieldSeparatorColor() {
    return white(0.7f);
}

Ref<UIColor> DZDefaultStyleSheet::thumbnailBackgroundColor() {
    return white(0.95f);
}

Ref<UIColor> DZDefaultStyleSheet::postButtonColor() {
    return rgb(117, 144, 181);
}

Ref<UIFont> DZDefaultStyleSheet::buttonFont() {
    return UIFont::boldSystemFontOfSize(12);
}

Ref<UIFont> DZDefaultStyleSheet::tableFont() {
    return UIFont::boldSystemFontOfSize(17);
}

Ref<UIFont> DZDefaultStyleSheet::tableSmallFont() {
    return UIFont::boldSystemFontOfSize(15);
}

Ref<UIFont> DZDefaultStyleSheet::tableTitleFont() {
    return UIFont::boldSystemFontOfSize(13);
}

Ref<UIFont> DZDefaultStyleSheet::tableTimestampFont() {
    return UIFont::systemFontOfSize(13);
}

Ref<UIFont> DZDefaultStyleSheet::tableButtonFont() {
    return UIFont::boldSystemFontOfSize(13);
}

Ref<UIFont> DZDefaultStyleSheet::tableSummaryFont() {
    return UIFont::systemFontOfSize(17);
}

Ref<UIFont> DZDefaultStyleSheet::tableHeaderPlainFont() {
    return UIFont::boldSystemFontOfSize(16);
}

Ref<UIFont> DZDefaultStyleSheet::tableHeaderGroupedFont() {
    return UIFont::boldSystemFontOfSize(18);
}

CGFloat DZDefaultStyleSheet::tableBannerViewHeight() {
    return 22;
}

Ref<UIFont> DZDefaultStyleSheet::photoCaptionFont() {
    return UIFont::boldSystemFontOfSize(12);
}

Ref<UIFont> DZDefaultStyleSheet::messageFont() {
    return UIFont::systemFontOfSize(15);
}

Ref<UIFont> DZDefaultStyleSheet::errorTitleFont() {
    return UIFont::boldSystemFontOfSize(18);
}

Ref<UIFont> DZDefaultStyleSheet::errorSubtitleFont() {
    return UIFont::boldSystemFontOfSize(12);
}

Ref<UIFont> DZDefaultStyleSheet::activityLabelFont() {
    return UIFont::systemFontOfSize(17);
}

Ref<UIFont> DZDefaultStyleSheet::activityBannerFont() {
    return UIFont::boldSystemFontOfSize(11);
}

NSInteger DZDefaultStyleSheet::tableSelectionStyle() {
    return 1;
}

// ---- builders -----------------------------------------------------------------------------

Ref<UIColor> DZDefaultStyleSheet::toolbarButtonColorWithTintColor(UIColor* color,
                                                                  UIControlState state) {
    if (state & (UIControlStateHighlighted | UIControlStateSelected)) {
        if (double(value(color)) < 0.2) return addHue(color, 0, 0, 0.2f);
        if (double(saturation(color)) <= 0.3) return multiplyHue(color, 1, 2.3f, 0.64f);
        return multiplyHue(color, 1, 1, 0.4f);
    }
    if (double(saturation(color)) >= 0.5) return multiplyHue(color, 1, 1.25f, 0.75f);
    return multiplyHue(color, 1, 1.6f, 0.97f);
}

Ref<UIColor> DZDefaultStyleSheet::toolbarButtonTextColorForState(UIControlState state) {
    return state & UIControlStateDisabled ? white(1, 0.4f) : UIColor::whiteColor();
}

Ref<DZStyle> DZDefaultStyleSheet::selectionFillStyle(DZStyle* next) {
    return DZLinearGradientFillStyle::styleWithColor1(rgb(5, 140, 245), rgb(1, 93, 230), next);
}

Ref<DZStyle> DZDefaultStyleSheet::toolbarButtonForState(UIControlState state, DZShape* shape,
                                                        UIColor* tintColor, UIFont* font) {
    auto c = toolbarButtonColorWithTintColor(tintColor, state);
    auto t = toolbarButtonTextColorForState(state);
    return DZShapeStyle::styleWithShape(
        shape,
        DZInsetStyle::styleWithInset(
            ins(2, 0, 1, 0),
            DZShadowStyle::styleWithColor(
                white(1, 0.18f), 0, CGSizeMake(0, 1),
                DZReflectiveFillStyle::styleWithColor(
                    c,
                    DZBevelBorderStyle::styleWithHighlight(
                        multiplyHue(c, 1, 0.9f, 0.7f), multiplyHue(c, 1, 0.5f, 0.6f), 1, 270,
                        DZInsetStyle::styleWithInset(
                            ins(0, -1, 0, -1),
                            DZBevelBorderStyle::styleWithHighlight(
                                nullptr, black(0.15f), 1, 270,
                                DZBoxStyle::styleWithPadding(
                                    ins(8, 8, 8, 8),
                                    DZImageStyle::styleWithImageURL(
                                        nullptr, nullptr, UIViewContentModeScaleToFill, CGSizeZero,
                                        DZTextStyle::styleWithFont(font, t, white(0, 0.4f),
                                                                   CGSizeMake(0, -1),
                                                                   nullptr))))))))));
}

Ref<DZStyle> DZDefaultStyleSheet::pageDotWithColor(UIColor* color) {
    return DZBoxStyle::styleWithMargin(
        ins(0, 0, 0, 10), ins(6, 6, 0, 0),
        DZShapeStyle::styleWithShape(roundRect(2.5f),
                                     DZSolidFillStyle::styleWithColor(color, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::badgeWithFontSize(CGFloat fontSize) {
    return DZShapeStyle::styleWithShape(
        roundRect(-1),
        DZInsetStyle::styleWithInset(
            ins(1, 1, 1, 1),
            DZShadowStyle::styleWithColor(
                black(0.8f), 3, CGSizeMake(0, 4),
                DZReflectiveFillStyle::styleWithColor(
                    rgb(221, 17, 27),
                    DZInsetStyle::styleWithInset(
                        ins(-1, -1, -1, -1),
                        DZSolidBorderStyle::styleWithColor(
                            UIColor::whiteColor(), 2,
                            DZBoxStyle::styleWithPadding(
                                ins(1, 7, 2, 7),
                                DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(fontSize),
                                                           UIColor::whiteColor(), nullptr))))))));
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTab(UIControlState state, NSInteger corner) {
    Ref<DZShape> shape;
    switch (corner) {
        case 1:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(8, 0, 0, 0);
            break;
        case 2:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(0, 8, 0, 0);
            break;
        case 3:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(0, 0, 8, 0);
            break;
        case 4:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(0, 0, 0, 8);
            break;
        case 5:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(8, 0, 0, 8);
            break;
        case 6:
            shape = DZRoundedRectangleShape::shapeWithTopLeft(0, 8, 8, 0);
            break;
        default:
            shape = DZRectangleShape::shape();
            break;
    }
    auto image = styleWithSelector(NS("tabGridTabImage:"), state);
    if (state == UIControlStateSelected)
        return DZShapeStyle::styleWithShape(
            shape, DZSolidFillStyle::styleWithColor(
                       rgb(150, 168, 191),
                       DZInnerShadowStyle::styleWithColor(
                           black(0.6f), 3, CGSizeMake(0, 0),
                           DZBoxStyle::styleWithPadding(
                               ins(11, 10, 9, 10),
                               DZPartStyle::styleWithName(
                                   NS("image"), image,
                                   DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(11),
                                                              UIColor::whiteColor(), 8, black(0.1f),
                                                              CGSizeMake(-1, -1), nullptr))))));
    return DZShapeStyle::styleWithShape(
        shape,
        DZBevelBorderStyle::styleWithHighlight(
            white(1, 0.7f), multiplyHue(tabTintColor(), 1, 1.1f, 0.88f), 1, 125,
            DZBoxStyle::styleWithPadding(
                ins(11, 10, 9, 10),
                DZPartStyle::styleWithName(
                    NS("image"), image,
                    DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(11), linkTextColor(), 8,
                                               white(1, 0.9f), CGSizeMake(0, -1), nullptr)))));
}

// ---- tool-bar buttons ---------------------------------------------------------------------

Ref<DZStyle> DZDefaultStyleSheet::toolbarButton(UIControlState state) {
    return toolbarButtonForState(state, roundRect(4.5f), globalSheet(this)->toolbarTintColor(),
                                 nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::toolbarBackButton(UIControlState state) {
    return toolbarButtonForState(state, DZRoundedLeftArrowShape::shapeWithRadius(4.5f),
                                 globalSheet(this)->toolbarTintColor(), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::toolbarForwardButton(UIControlState state) {
    return toolbarButtonForState(state, DZRoundedRightArrowShape::shapeWithRadius(4.5f),
                                 globalSheet(this)->toolbarTintColor(), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::toolbarRoundButton(UIControlState state) {
    return toolbarButtonForState(state, roundRect(-1), globalSheet(this)->toolbarTintColor(),
                                 nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::blackToolbarButton(UIControlState state) {
    return toolbarButtonForState(state, roundRect(4.5f), rgb(10, 10, 10), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::grayToolbarButton(UIControlState state) {
    return toolbarButtonForState(state, roundRect(4.5f), rgb(40, 40, 40), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::blackToolbarForwardButton(UIControlState state) {
    return toolbarButtonForState(state, DZRoundedRightArrowShape::shapeWithRadius(4.5f),
                                 rgb(10, 10, 10), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::blackToolbarRoundButton(UIControlState state) {
    return toolbarButtonForState(state, roundRect(-1), rgb(10, 10, 10), nullptr);
}

// ---- links and thumbnails -----------------------------------------------------------------

Ref<DZStyle> DZDefaultStyleSheet::linkText(UIControlState state) {
    if (state == UIControlStateHighlighted)
        return DZInsetStyle::styleWithInset(
            ins(-3, -4, -3, -4),
            DZShapeStyle::styleWithShape(
                roundRect(4.5f),
                DZSolidFillStyle::styleWithColor(
                    white(0.75f),
                    DZInsetStyle::styleWithInset(
                        ins(3, 4, 3, 4), DZTextStyle::styleWithColor(linkTextColor(), nullptr)))));
    return DZTextStyle::styleWithColor(linkTextColor(), nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::linkHighlighted() {
    return DZShapeStyle::styleWithShape(roundRect(4.5f),
                                        DZSolidFillStyle::styleWithColor(black(0.25f), nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::thumbView(UIControlState state) {
    auto chain = DZImageStyle::styleWithImageURL(
        nullptr, nullptr, UIViewContentModeScaleAspectFill, CGSizeZero,
        DZSolidBorderStyle::styleWithColor(black(0.2f), 1, nullptr));
    if (state & UIControlStateHighlighted)
        chain->addStyle(DZSolidFillStyle::styleWithColor(black(0.5f), nullptr));
    return chain;
}

// ---- search and table parts ---------------------------------------------------------------

namespace {
Ref<DZStyle> sunkenField(UIColor* background) {
    return DZShadowStyle::styleWithColor(
        white(1, 0.4f), 0, CGSizeMake(0, 1),
        DZSolidFillStyle::styleWithColor(
            background,
            DZInnerShadowStyle::styleWithColor(black(0.4f), 3, CGSizeMake(0, 2),
                                               DZBevelBorderStyle::styleWithHighlight(
                                                   black(0.25f), black(0.4f), 1, 270, nullptr))));
}
}  // namespace

Ref<DZStyle> DZDefaultStyleSheet::searchTextField() {
    return DZShapeStyle::styleWithShape(
        roundRect(-1), DZInsetStyle::styleWithInset(
                           ins(1, 0, 1, 0), sunkenField(globalSheet(this)->backgroundColor())));
}

Ref<DZStyle> DZDefaultStyleSheet::searchBar() {
    auto tint = searchBarTintColor();
    return DZLinearGradientFillStyle::styleWithColor1(
        multiplyHue(tint, 0, 0, 1.2f), tint,
        DZFourBorderStyle::styleWithBottom(multiplyHue(tint, 0, 0, 0.82f), 1, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::searchBarBottom() {
    auto tint = searchBarTintColor();
    return DZLinearGradientFillStyle::styleWithColor1(
        multiplyHue(tint, 0, 0, 1.2f), tint,
        DZFourBorderStyle::styleWithTop(multiplyHue(tint, 0, 0, 0.82f), 1, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::blackSearchBar() {
    return DZLinearGradientFillStyle::styleWithColor1(
        white(0.4f, 0.6f), white(0, 0.8f),
        DZFourBorderStyle::styleWithBottom(
            white(0, 0.8f), 1, DZFourBorderStyle::styleWithBottom(white(1, 0.05f), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::tableHeader() {
    // Without a tint both stops are transparent and only the border shows.
    auto tint = tableHeaderTintColor();
    return DZLinearGradientFillStyle::styleWithColor1(
        tint ? multiplyHue(tint, 0, 0, 1.1f) : nullptr, tint,
        DZInsetStyle::styleWithInset(ins(-1, 0, 0, 0),
                                     DZFourBorderStyle::styleWithBottom(black(0.15f), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::searchTableShadow() {
    return DZLinearGradientFillStyle::styleWithColor1(
        black(0.18f), UIColor::clearColor(),
        DZFourBorderStyle::styleWithTop(rgb(130, 130, 130), 1, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::pickerCell(UIControlState state) {
    Ref<DZStyle> fill;
    if (state == UIControlStateSelected) {
        auto edge = rgb(53, 94, 255);
        fill = DZLinearGradientFillStyle::styleWithColor1(
            rgb(79, 144, 255), rgb(49, 90, 255),
            DZFourBorderStyle::styleWithTop(edge, edge, edge, edge, 1, nullptr));
    } else {
        fill = DZLinearGradientFillStyle::styleWithColor1(
            rgb(221, 231, 248), rgb(188, 206, 241),
            DZLinearGradientBorderStyle::styleWithColor1(rgb(161, 187, 283), rgb(118, 130, 214), 1,
                                                         nullptr));
    }
    return DZShapeStyle::styleWithShape(roundRect(-1),
                                        DZInsetStyle::styleWithInset(ins(1, 1, 1, 1), fill));
}

// ---- bezels, banners and badges -----------------------------------------------------------

Ref<DZStyle> DZDefaultStyleSheet::blackBezel() {
    return DZShapeStyle::styleWithShape(roundRect(10),
                                        DZSolidFillStyle::styleWithColor(black(0.7f), nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::whiteBezel() {
    return DZShapeStyle::styleWithShape(
        roundRect(10), DZSolidFillStyle::styleWithColor(
                           UIColor::whiteColor(),
                           DZSolidBorderStyle::styleWithColor(rgb(178, 178, 178), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::blackBanner() {
    return DZSolidFillStyle::styleWithColor(
        black(0.5f),
        DZFourBorderStyle::styleWithTop(
            UIColor::blackColor(), 1, DZFourBorderStyle::styleWithTop(white(1, 0.2f), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::miniBadge() {
    return badgeWithFontSize(12);
}

Ref<DZStyle> DZDefaultStyleSheet::badge() {
    return badgeWithFontSize(15);
}

Ref<DZStyle> DZDefaultStyleSheet::largeBadge() {
    return badgeWithFontSize(17);
}

// ---- tabs ---------------------------------------------------------------------------------

Ref<DZStyle> DZDefaultStyleSheet::tabBar() {
    auto tint = tabBarTintColor();
    return DZSolidFillStyle::styleWithColor(
        tint, DZFourBorderStyle::styleWithBottom(multiplyHue(tint, 0, 0, 0.7f), 1, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::tabStrip() {
    auto tint = tabTintColor();
    return DZReflectiveFillStyle::styleWithColor(
        tint, DZFourBorderStyle::styleWithBottom(multiplyHue(tint, 0, 0, 0.4f), 1, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::tabGrid() {
    auto tint = tabTintColor();
    return DZShapeStyle::styleWithShape(
        roundRect(8),
        DZInsetStyle::styleWithInset(ins(0, -1, -1, -2),
                                     DZShadowStyle::styleWithColor(
                                         white(1, 0.7f), 1, CGSizeMake(0, 1),
                                         DZLinearGradientFillStyle::styleWithColor1(
                                             multiplyHue(tint, 1, 0.9f, 1.1f), tint,
                                             DZSolidBorderStyle::styleWithColor(
                                                 multiplyHue(tint, 1, 1.1f, 0.86f), 1, nullptr)))));
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabImage(UIControlState) {
    return DZImageStyle::styleWithImageURL(nullptr, nullptr, UIViewContentModeLeft, CGSizeZero,
                                           nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabTopLeft(UIControlState state) {
    return tabGridTab(state, 1);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabTopRight(UIControlState state) {
    return tabGridTab(state, 2);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabBottomRight(UIControlState state) {
    return tabGridTab(state, 3);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabBottomLeft(UIControlState state) {
    return tabGridTab(state, 4);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabLeft(UIControlState state) {
    return tabGridTab(state, 5);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabRight(UIControlState state) {
    return tabGridTab(state, 6);
}

Ref<DZStyle> DZDefaultStyleSheet::tabGridTabCenter(UIControlState state) {
    return tabGridTab(state, 0);
}

Ref<DZStyle> DZDefaultStyleSheet::tab(UIControlState state) {
    if (state == UIControlStateSelected) {
        auto edge = multiplyHue(tabBarTintColor(), 0, 0, 0.7f);
        return DZShapeStyle::styleWithShape(
            DZRoundedRectangleShape::shapeWithTopLeft(4.5f, 4.5f, 0, 0),
            DZInsetStyle::styleWithInset(
                ins(5, 1, 0, 1),
                DZReflectiveFillStyle::styleWithColor(
                    tabTintColor(),
                    DZInsetStyle::styleWithInset(
                        ins(-1, -1, 0, -1),
                        DZFourBorderStyle::styleWithTop(
                            edge, edge, nullptr, edge, 1,
                            DZBoxStyle::styleWithPadding(
                                ins(6, 12, 2, 12),
                                DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(14),
                                                           globalSheet(this)->textColor(), 8,
                                                           white(1, 0.8f), CGSizeMake(0, -1),
                                                           nullptr)))))));
    }
    return DZInsetStyle::styleWithInset(
        ins(5, 1, 1, 1),
        DZBoxStyle::styleWithPadding(
            ins(6, 12, 2, 12),
            DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(14), UIColor::whiteColor(), 8,
                                       white(0, 0.6f), CGSizeMake(0, -1), nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::tabRound(UIControlState state) {
    if (state == UIControlStateSelected)
        return DZShapeStyle::styleWithShape(
            roundRect(-1),
            DZInsetStyle::styleWithInset(
                ins(9, 1, 8, 1),
                DZShadowStyle::styleWithColor(
                    white(1, 0.8f), 0, CGSizeMake(0, 1),
                    DZReflectiveFillStyle::styleWithColor(
                        tabBarTintColor(),
                        DZInnerShadowStyle::styleWithColor(
                            black(0.3f), 1, CGSizeMake(1, 1),
                            DZInsetStyle::styleWithInset(
                                ins(-1, -1, -1, -1),
                                DZBoxStyle::styleWithPadding(
                                    ins(0, 10, 0, 10),
                                    DZTextStyle::styleWithFont(
                                        UIFont::boldSystemFontOfSize(13), UIColor::whiteColor(), 8,
                                        white(0, 0.5f), CGSizeMake(0, -1), nullptr))))))));
    return DZBoxStyle::styleWithPadding(
        ins(0, 10, 0, 10),
        DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(13), linkTextColor(), 8,
                                   white(1, 0.9f), CGSizeMake(0, -1), nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::tabOverflowLeft() {
    auto image = DZURLCache::sharedCache()->imageForURL(
        NS("bundle://Dodiz20.bundle/images/overflowLeft.png"));
    return DZImageStyle::styleWithImage(image, nullptr, UIViewContentModeCenter, CGSizeZero,
                                        nullptr);
}

Ref<DZStyle> DZDefaultStyleSheet::tabOverflowRight() {
    auto image = DZURLCache::sharedCache()->imageForURL(
        NS("bundle://Dodiz20.bundle/images/overflowRight.png"));
    return DZImageStyle::styleWithImage(image, nullptr, UIViewContentModeCenter, CGSizeZero,
                                        nullptr);
}

// ---- other widgets ------------------------------------------------------------------------

Ref<DZStyle> DZDefaultStyleSheet::rounded() {
    return DZShapeStyle::styleWithShape(::roundRect(8), DZContentStyle::styleWithNext(nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::postTextEditor() {
    return DZInsetStyle::styleWithInset(
        ins(6, 5, 6, 5),
        DZShapeStyle::styleWithShape(
            ::roundRect(15), DZSolidFillStyle::styleWithColor(UIColor::whiteColor(), nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::photoCaption() {
    auto sheet = globalSheet(this);
    return DZSolidFillStyle::styleWithColor(
        white(0, 0.5f),
        DZFourBorderStyle::styleWithTop(
            black(0.5f), 1,
            DZBoxStyle::styleWithPadding(
                ins(8, 8, 8, 8),
                DZTextStyle::styleWithFont(
                    sheet->photoCaptionFont(), sheet->photoCaptionTextColor(), 0,
                    sheet->photoCaptionTextShadowColor(), sheet->photoCaptionTextShadowOffset(),
                    UITextAlignmentCenter, 0, UILineBreakModeTailTruncation, 6, nullptr))));
}

Ref<DZStyle> DZDefaultStyleSheet::photoStatusLabel() {
    return DZSolidFillStyle::styleWithColor(
        white(0, 0.5f),
        DZBoxStyle::styleWithPadding(
            ins(20, 8, 20, 8),
            DZTextStyle::styleWithFont(globalSheet(this)->tableFont(), rgb(200, 200, 200), 0,
                                       white(0, 0.9f), CGSizeMake(0, -1), nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::pageDot(UIControlState state) {
    return pageDotWithColor(state == UIControlStateSelected ? UIColor::whiteColor()
                                                            : rgb(77, 77, 77));
}

Ref<DZStyle> DZDefaultStyleSheet::launcherPageDot(UIControlState state) {
    return pageDot(state);
}

Ref<DZStyle> DZDefaultStyleSheet::launcherButton(UIControlState state) {
    return DZPartStyle::styleWithName(
        NS("image"), globalSheet(this)->styleWithSelector(NS("launcherButtonImage:"), state),
        DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(11), rgb(180, 180, 180), 11,
                                   nullptr, CGSizeZero, nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::launcherButtonImage(UIControlState state) {
    auto chain = DZBoxStyle::styleWithMargin(
        ins(-7, 0, 11, 0),
        DZShapeStyle::styleWithShape(
            ::roundRect(8), DZImageStyle::styleWithImageURL(
                                nullptr, nullptr, UIViewContentModeCenter, CGSizeZero, nullptr)));
    if (state == UIControlStateHighlighted || state == UIControlStateSelected)
        chain->addStyle(DZBlendStyle::styleWithBlend(
            kCGBlendModeSourceAtop, DZSolidFillStyle::styleWithColor(black(0.5f), nullptr)));
    return chain;
}

Ref<DZStyle> DZDefaultStyleSheet::launcherCloseButtonImage(UIControlState) {
    return DZBoxStyle::styleWithMargin(
        ins(-2, 0, 0, 0), DZImageStyle::styleWithImageURL(nullptr, nullptr, UIViewContentModeCenter,
                                                          CGSizeMake(10, 10), nullptr));
}

Ref<DZStyle> DZDefaultStyleSheet::launcherCloseButton(UIControlState) {
    return DZShapeStyle::styleWithShape(
        ::roundRect(-1),
        DZInsetStyle::styleWithInset(
            ins(1, 1, 1, 1),
            DZShadowStyle::styleWithColor(
                black(0.5f), 2, CGSizeMake(0, 3),
                DZSolidFillStyle::styleWithColor(
                    UIColor::blackColor(),
                    DZInsetStyle::styleWithInset(
                        ins(-1, -1, -1, -1),
                        DZSolidBorderStyle::styleWithColor(
                            UIColor::whiteColor(), 2,
                            DZPartStyle::styleWithName(
                                NS("image"),
                                globalSheet(this)->styleWithSelector(
                                    NS("launcherCloseButtonImage:"), UIControlStateNormal),
                                nullptr)))))));
}

Ref<DZStyle> DZDefaultStyleSheet::textBar() {
    return DZLinearGradientFillStyle::styleWithColor1(
        rgb(237, 239, 241), rgb(206, 208, 212),
        DZFourBorderStyle::styleWithTop(
            rgb(187, 189, 190), 1,
            DZFourBorderStyle::styleWithTop(UIColor::whiteColor(), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::textBarFooter() {
    return DZLinearGradientFillStyle::styleWithColor1(
        rgb(206, 208, 212), rgb(184, 186, 190),
        DZFourBorderStyle::styleWithTop(
            rgb(161, 161, 161), 1,
            DZFourBorderStyle::styleWithTop(rgb(230, 232, 235), 1, nullptr)));
}

Ref<DZStyle> DZDefaultStyleSheet::textBarTextField() {
    return DZInsetStyle::styleWithInset(
        ins(6, 0, 3, 6),
        DZShapeStyle::styleWithShape(
            ::roundRect(12.5f),
            DZInsetStyle::styleWithInset(ins(1, 0, 1, 0),
                                         sunkenField(globalSheet(this)->backgroundColor()))));
}

Ref<DZStyle> DZDefaultStyleSheet::textBarPostButton(UIControlState state) {
    auto c = state == UIControlStateHighlighted ? rgb(19, 61, 126) : rgb(31, 100, 206);
    auto title = state == UIControlStateDisabled ? white(1, 0.5f) : UIColor::whiteColor();
    return DZShapeStyle::styleWithShape(
        ::roundRect(13),
        DZInsetStyle::styleWithInset(
            ins(2, 0, 1, 0),
            DZShadowStyle::styleWithColor(
                white(1, 0.5f), 0, CGSizeMake(0, 1),
                DZReflectiveFillStyle::styleWithColor(
                    c, DZLinearGradientBorderStyle::styleWithColor1(
                           c, rgb(14, 83, 187), 1,
                           DZInsetStyle::styleWithInset(
                               ins(0, -1, 0, -1),
                               DZBoxStyle::styleWithPadding(
                                   ins(8, 9, 8, 9),
                                   DZTextStyle::styleWithFont(UIFont::boldSystemFontOfSize(15),
                                                              title, white(0, 0.3f),
                                                              CGSizeMake(0, -1), nullptr))))))));
}
