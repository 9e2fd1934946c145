#include "UIKit/UIActionSheet.h"

#include <cmath>

#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"

namespace {
SEL sel(const char* name) {
    return Selector::named(name);
}
}  // namespace

bool UIActionSheet::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setBackgroundColor(UIColor::colorWithWhite(0.2f, 0.9f));
    return true;
}

bool UIActionSheet::initWithTitle(NSString* title, UIActionSheetDelegate* delegate,
                                  NSString* cancelButtonTitle, NSString* destructiveButtonTitle,
                                  std::initializer_list<NSString*> otherButtonTitles) {
    CGFloat width = UIScreen::mainScreen()->bounds().size.width;
    if (!initWithFrame(CGRectMake(0, 0, width, 0))) return false;
    setTitle(title);
    delegate_ = delegate;
    if (destructiveButtonTitle) destructiveIndex_ = addButtonWithTitle(destructiveButtonTitle);
    addOtherButtons(otherButtonTitles);
    if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(cancelButtonTitle));
    return true;
}

void UIActionSheet::setDestructiveButtonIndex(NSInteger index) {
    destructiveIndex_ = index;
    if (isVisible()) rebuildContent();
}

void UIActionSheet::showInView(UIView* view) {
    // The keyboard stands above the app's windows: while it is up the sheet goes to the level
    // above it, where it can be seen and touched.
    Ref<UIWindow> window = view && !UIKeyboard::isVisible() ? view->window() : nullptr;
    if (!window) {
        presentIn(nullptr);
        return;
    }
    // In a window's content turned with the phone (a full-screen ad), the sheet turns with it:
    // it stands at the foot of the outermost turned view, across its width.
    Ref<UIView> host = window;
    for (Ref<UIView> v = view; v && v.get() != window.get(); v = v->superview()) {
        CGAffineTransform t = v->transform();
        bool quarterTurn =
            std::abs(t.a) < 0.01f && std::abs(t.d) < 0.01f && std::abs(std::abs(t.b) - 1) < 0.01f;
        bool halfTurn = std::abs(t.a + 1) < 0.01f && std::abs(t.d + 1) < 0.01f;
        if (quarterTurn || halfTurn) host = v;
    }
    presentIn(host);
}

void UIActionSheet::showFromTabBar(UITabBar* tabBar) {
    showInView(tabBar);
}

void UIActionSheet::showFromToolbar(UIToolbar* toolbar) {
    showInView(toolbar);
}

void UIActionSheet::showFromBarButtonItem(UIBarButtonItem* item, bool) {
    auto view = item ? item->itemView() : nullptr;
    showInView(view);
}

void UIActionSheet::showFromRect(CGRect, UIView* view, bool) {
    showInView(view);
}

void UIActionSheet::notifyClicked(NSInteger index) {
    tellDelegate(delegate_, sel("actionSheet:clickedButtonAtIndex:"),
                 &UIActionSheetDelegate::actionSheetClickedButtonAtIndex, this, index);
}

void UIActionSheet::notifyWillPresent() {
    tellDelegate(delegate_, sel("willPresentActionSheet:"),
                 &UIActionSheetDelegate::willPresentActionSheet, this);
}

void UIActionSheet::notifyDidPresent() {
    tellDelegate(delegate_, sel("didPresentActionSheet:"),
                 &UIActionSheetDelegate::didPresentActionSheet, this);
}

void UIActionSheet::notifyWillDismiss(NSInteger index) {
    tellDelegate(delegate_, sel("actionSheet:willDismissWithButtonIndex:"),
                 &UIActionSheetDelegate::actionSheetWillDismissWithButtonIndex, this, index);
}

void UIActionSheet::notifyDidDismiss(NSInteger index) {
    tellDelegate(delegate_, sel("actionSheet:didDismissWithButtonIndex:"),
                 &UIActionSheetDelegate::actionSheetDidDismissWithButtonIndex, this, index);
}
