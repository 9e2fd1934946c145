#include "UIKit/UITextInputTraits.h"

#include <utility>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewRendering.h"

namespace {
// Whether the keyboard is up. Held in a slot beside the focus that brings it up, so that a reset
// (between tests) puts it down with the focus.
struct KeyboardState {
    bool visible = false;
};
bool& visible() {
    static ProcessWide<KeyboardState> slot;
    return slot.get()->visible;
}
constexpr CGFloat kKeyboardHeight = 216;
constexpr CGFloat kLandscapeKeyboardHeight = 162;
constexpr double kKeyboardDuration = 0.25;

UIInterfaceOrientation orientation() {
    auto app = UIApplication::sharedApplication();
    return app ? app->statusBarOrientation() : UIInterfaceOrientationPortrait;
}

// The interface's size turned to the orientation.
CGSize interfaceSize() {
    CGSize s = UIScreen::mainScreen()->bounds().size;
    if (UIInterfaceOrientationIsLandscape(orientation())) std::swap(s.width, s.height);
    return s;
}

CGFloat keyboardHeight() {
    return UIInterfaceOrientationIsLandscape(orientation()) ? kLandscapeKeyboardHeight
                                                            : kKeyboardHeight;
}

CGRect toScreen(CGRect r) {
    return CGRectApplyAffineTransform(r, UIInterfaceToScreenTransform(orientation()));
}

CGRect shownFrame() {
    CGSize s = interfaceSize();
    return toScreen(CGRectMake(0, s.height - keyboardHeight(), s.width, keyboardHeight()));
}
CGRect hiddenFrame() {
    CGSize s = interfaceSize();
    return toScreen(CGRectMake(0, s.height, s.width, keyboardHeight()));
}

Ref<NSDictionary> info(CGRect begin, CGRect end) {
    auto d = NSMutableDictionary::dictionary();
    d->setObject(valueWithCGRect(begin), UIKeyboardFrameBeginUserInfoKey);
    d->setObject(valueWithCGRect(end), UIKeyboardFrameEndUserInfoKey);
    // The bounds are the keyboard's own, upright: as wide as the interface.
    CGSize s = interfaceSize();
    d->setObject(valueWithCGRect(CGRectMake(0, 0, s.width, keyboardHeight())),
                 UIKeyboardBoundsUserInfoKey);
    d->setObject(valueWithCGPoint(CGPointMake(CGRectGetMidX(begin), CGRectGetMidY(begin))),
                 UIKeyboardCenterBeginUserInfoKey);
    d->setObject(valueWithCGPoint(CGPointMake(CGRectGetMidX(end), CGRectGetMidY(end))),
                 UIKeyboardCenterEndUserInfoKey);
    d->setObject(NSNumber::numberWithDouble(kKeyboardDuration),
                 UIKeyboardAnimationDurationUserInfoKey);
    d->setObject(NSNumber::numberWithInteger(UIViewAnimationCurveEaseInOut),
                 UIKeyboardAnimationCurveUserInfoKey);
    return d;
}

void post(NSString* name, NSDictionary* userInfo) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, nullptr, userInfo);
}
}  // namespace

bool UIKeyboard::isVisible() {
    return visible();
}

CGRect UIKeyboard::interfaceFrame() {
    CGSize s = interfaceSize();
    return CGRectMake(0, s.height - keyboardHeight(), s.width, keyboardHeight());
}

CGRect UIKeyboard::frame() {
    return visible() ? shownFrame() : hiddenFrame();
}

void UIKeyboard::show() {
    if (visible()) return;
    auto userInfo = info(hiddenFrame(), shownFrame());
    post(UIKeyboardWillShowNotification, userInfo);
    visible() = true;
    post(UIKeyboardDidShowNotification, userInfo);
}

void UIKeyboard::hide() {
    if (!visible()) return;
    auto userInfo = info(shownFrame(), hiddenFrame());
    post(UIKeyboardWillHideNotification, userInfo);
    visible() = false;
    post(UIKeyboardDidHideNotification, userInfo);
}
