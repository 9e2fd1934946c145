// The framework's own style sheet: the style variables (colours, fonts, numbers) that widgets
// read from the global sheet, the builders of the tool-bar button and page-dot chains, and the
// named styles found by name. Named styles are registered by name in the class description; a
// subclass overrides one by overriding the member (and registers styles of its own the same
// way).
#pragma once

#include "UIKit/UIControl.h"
#include "ui/core/DZStyleSheet.h"

class DZShape;
class UIFont;

class DZDefaultStyleSheet : public DZStyleSheet {
    NS_OBJECT(DZDefaultStyleSheet, DZStyleSheet)
    static void describeClass(RuntimeClass& c);

    // ---- variables ----------------------------------------------------------------------
    virtual Ref<UIColor> textColor();
    virtual Ref<UIColor> highlightedTextColor();
    virtual Ref<UIFont> font();
    Ref<UIColor> backgroundColor() override;
    Ref<UIColor> navigationBarTintColor() override;
    Ref<UIColor> toolbarTintColor() override;
    virtual Ref<UIColor> searchBarTintColor();
    virtual Ref<UIColor> tablePlainBackgroundColor();
    virtual Ref<UIColor> tableGroupedBackgroundColor();
    virtual Ref<UIColor> searchTableBackgroundColor();
    virtual Ref<UIColor> searchTableSeparatorColor();
    Ref<UIColor> linkTextColor() override;
    virtual Ref<UIColor> timestampTextColor();
    virtual Ref<UIColor> moreLinkTextColor();
    virtual Ref<UIColor> tableHeaderTextColor();
    virtual Ref<UIColor> tableHeaderShadowColor();
    virtual CGSize tableHeaderShadowOffset();
    virtual Ref<UIColor> tableHeaderTintColor();
    virtual Ref<UIColor> photoCaptionTextColor();
    virtual Ref<UIColor> photoCaptionTextShadowColor();
    virtual CGSize photoCaptionTextShadowOffset();
    virtual Ref<UIColor> screenBackgroundColor();
    virtual Ref<UIColor> tableActivityTextColor();
    virtual Ref<UIColor> tableErrorTextColor();
    virtual Ref<UIColor> tableSubTextColor();
    virtual Ref<UIColor> tableTitleTextColor();
    virtual Ref<UIColor> tabBarTintColor();
    virtual Ref<UIColor> tabTintColor();
    virtual Ref<UIColor> messageFieldTextColor();
    virtual Ref<UIColor> messageFieldSeparatorColor();
    virtual Ref<UIColor> thumbnailBackgroundColor();
    virtual Ref<UIColor> postButtonColor();
    virtual Ref<UIFont> buttonFont();
    virtual Ref<UIFont> tableFont();
    virtual Ref<UIFont> tableSmallFont();
    virtual Ref<UIFont> tableTitleFont();
    virtual Ref<UIFont> tableTimestampFont();
    virtual Ref<UIFont> tableButtonFont();
    virtual Ref<UIFont> tableSummaryFont();
    virtual Ref<UIFont> tableHeaderPlainFont();
    virtual Ref<UIFont> tableHeaderGroupedFont();
    virtual CGFloat tableBannerViewHeight();
    virtual Ref<UIFont> photoCaptionFont();
    virtual Ref<UIFont> messageFont();
    virtual Ref<UIFont> errorTitleFont();
    virtual Ref<UIFont> errorSubtitleFont();
    virtual Ref<UIFont> activityLabelFont();
    virtual Ref<UIFont> activityBannerFont();
    virtual NSInteger tableSelectionStyle();

    // ---- builders -----------------------------------------------------------------------
    Ref<UIColor> toolbarButtonColorWithTintColor(UIColor* color, UIControlState state);
    Ref<UIColor> toolbarButtonTextColorForState(UIControlState state);
    Ref<DZStyle> selectionFillStyle(DZStyle* next);
    Ref<DZStyle> toolbarButtonForState(UIControlState state, DZShape* shape, UIColor* tintColor,
                                       UIFont* font);
    Ref<DZStyle> pageDotWithColor(UIColor* color);
    Ref<DZStyle> badgeWithFontSize(CGFloat fontSize);
    Ref<DZStyle> tabGridTab(UIControlState state, NSInteger corner);

    // ---- named styles -------------------------------------------------------------------
    virtual Ref<DZStyle> linkText(UIControlState state);               // "linkText:"
    virtual Ref<DZStyle> linkHighlighted();                            // "linkHighlighted"
    virtual Ref<DZStyle> thumbView(UIControlState state);              // "thumbView:"
    virtual Ref<DZStyle> searchTextField();                            // "searchTextField"
    virtual Ref<DZStyle> searchBar();                                  // "searchBar"
    virtual Ref<DZStyle> searchBarBottom();                            // "searchBarBottom"
    virtual Ref<DZStyle> blackSearchBar();                             // "blackSearchBar"
    virtual Ref<DZStyle> tableHeader();                                // "tableHeader"
    virtual Ref<DZStyle> pickerCell(UIControlState state);             // "pickerCell:"
    virtual Ref<DZStyle> searchTableShadow();                          // "searchTableShadow"
    virtual Ref<DZStyle> blackBezel();                                 // "blackBezel"
    virtual Ref<DZStyle> whiteBezel();                                 // "whiteBezel"
    virtual Ref<DZStyle> blackBanner();                                // "blackBanner"
    virtual Ref<DZStyle> miniBadge();                                  // "miniBadge"
    virtual Ref<DZStyle> badge();                                      // "badge"
    virtual Ref<DZStyle> largeBadge();                                 // "largeBadge"
    virtual Ref<DZStyle> tabBar();                                     // "tabBar"
    virtual Ref<DZStyle> tabStrip();                                   // "tabStrip"
    virtual Ref<DZStyle> tabGrid();                                    // "tabGrid"
    virtual Ref<DZStyle> tabGridTabImage(UIControlState state);        // "tabGridTabImage:"
    virtual Ref<DZStyle> tabGridTabTopLeft(UIControlState state);      // "tabGridTabTopLeft:"
    virtual Ref<DZStyle> tabGridTabTopRight(UIControlState state);     // "tabGridTabTopRight:"
    virtual Ref<DZStyle> tabGridTabBottomRight(UIControlState state);  // "tabGridTabBottomRight:"
    virtual Ref<DZStyle> tabGridTabBottomLeft(UIControlState state);   // "tabGridTabBottomLeft:"
    virtual Ref<DZStyle> tabGridTabLeft(UIControlState state);         // "tabGridTabLeft:"
    virtual Ref<DZStyle> tabGridTabRight(UIControlState state);        // "tabGridTabRight:"
    virtual Ref<DZStyle> tabGridTabCenter(UIControlState state);       // "tabGridTabCenter:"
    virtual Ref<DZStyle> tab(UIControlState state);                    // "tab:"
    virtual Ref<DZStyle> tabRound(UIControlState state);               // "tabRound:"
    virtual Ref<DZStyle> tabOverflowLeft();                            // "tabOverflowLeft"
    virtual Ref<DZStyle> tabOverflowRight();                           // "tabOverflowRight"
    virtual Ref<DZStyle> rounded();                                    // "rounded"
    virtual Ref<DZStyle> postTextEditor();                             // "postTextEditor"
    virtual Ref<DZStyle> photoCaption();                               // "photoCaption"
    virtual Ref<DZStyle> photoStatusLabel();                           // "photoStatusLabel"
    virtual Ref<DZStyle> pageDot(UIControlState state);                // "pageDot:"
    virtual Ref<DZStyle> launcherButton(UIControlState state);         // "launcherButton:"
    virtual Ref<DZStyle> launcherButtonImage(UIControlState state);    // "launcherButtonImage:"
    virtual Ref<DZStyle> launcherCloseButtonImage(
        UIControlState state);                                        // "launcherCloseButtonImage:"
    virtual Ref<DZStyle> launcherCloseButton(UIControlState state);   // "launcherCloseButton:"
    virtual Ref<DZStyle> launcherPageDot(UIControlState state);       // "launcherPageDot:"
    virtual Ref<DZStyle> textBar();                                   // "textBar"
    virtual Ref<DZStyle> textBarFooter();                             // "textBarFooter"
    virtual Ref<DZStyle> textBarTextField();                          // "textBarTextField"
    virtual Ref<DZStyle> textBarPostButton(UIControlState state);     // "textBarPostButton:"
    virtual Ref<DZStyle> toolbarButton(UIControlState state);         // "toolbarButton:"
    virtual Ref<DZStyle> toolbarBackButton(UIControlState state);     // "toolbarBackButton:"
    virtual Ref<DZStyle> toolbarForwardButton(UIControlState state);  // "toolbarForwardButton:"
    virtual Ref<DZStyle> toolbarRoundButton(UIControlState state);    // "toolbarRoundButton:"
    virtual Ref<DZStyle> blackToolbarButton(UIControlState state);    // "blackToolbarButton:"
    virtual Ref<DZStyle> grayToolbarButton(UIControlState state);     // "grayToolbarButton:"
    virtual Ref<DZStyle> blackToolbarForwardButton(
        UIControlState state);  // "blackToolbarForwardButton:"
    virtual Ref<DZStyle> blackToolbarRoundButton(
        UIControlState state);  // "blackToolbarRoundButton:"
};
