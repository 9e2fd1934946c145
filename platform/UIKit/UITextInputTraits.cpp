#include "UIKit/UITextInputTraits.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIView.h"

namespace {
bool gVisible = false;
constexpr CGFloat kKeyboardHeight = 216;
constexpr double kKeyboardDuration = 0.25;

CGRect shownFrame() {
    CGRect s = UIScreen::mainScreen()->bounds();
    return CGRectMake(0, s.size.height - kKeyboardHeight, s.size.width, kKeyboardHeight);
}
CGRect hiddenFrame() {
    CGRect s = UIScreen::mainScreen()->bounds();
    return CGRectMake(0, s.size.height, s.size.width, kKeyboardHeight);
}

Ref<NSDictionary> info(CGRect begin, CGRect end) {
    auto d = NSMutableDictionary::dictionary();
    d->setObject(valueWithCGRect(begin), UIKeyboardFrameBeginUserInfoKey);
    d->setObject(valueWithCGRect(end), UIKeyboardFrameEndUserInfoKey);
    d->setObject(valueWithCGRect(CGRectMake(0, 0, end.size.width, end.size.height)),
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
    return gVisible;
}

CGRect UIKeyboard::frame() {
    return gVisible ? shownFrame() : hiddenFrame();
}

void UIKeyboard::show() {
    if (gVisible) return;
    auto userInfo = info(hiddenFrame(), shownFrame());
    post(UIKeyboardWillShowNotification, userInfo);
    gVisible = true;
    post(UIKeyboardDidShowNotification, userInfo);
}

void UIKeyboard::hide() {
    if (!gVisible) return;
    auto userInfo = info(shownFrame(), hiddenFrame());
    post(UIKeyboardWillHideNotification, userInfo);
    gVisible = false;
    post(UIKeyboardDidHideNotification, userInfo);
}
