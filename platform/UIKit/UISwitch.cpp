#include "UIKit/UISwitch.h"

#include <cmath>
#include <utility>

#include "Foundation/NSString.h"

#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"

namespace {
constexpr CGFloat kWidth = 79, kHeight = 27;
}

void UISwitch::describeClass(RuntimeClass& c) {
    c.property("on", &UISwitch::isOn, static_cast<void (UISwitch::*)(bool)>(&UISwitch::setOn));
}

bool UISwitch::initWithFrame(CGRect frame) {
    return UIControl::initWithFrame(CGRectMake(frame.origin.x, frame.origin.y, kWidth, kHeight));
}

void UISwitch::setOn(bool on) {
    setOn(on, false);
}

void UISwitch::setOn(bool on, bool) {
    on_ = on;
    setNeedsDisplay();
}

void UISwitch::setOnTintColor(UIColor* color) {
    onTint_ = color;
    setNeedsDisplay();
}

void UISwitch::setFrame(CGRect frame) {
    // The switch keeps its own size wherever it is put.
    UIControl::setFrame(CGRectMake(frame.origin.x, frame.origin.y, kWidth, kHeight));
}

CGSize UISwitch::sizeThatFits(CGSize) {
    return CGSizeMake(kWidth, kHeight);
}

void UISwitch::endTrackingWithTouch(UITouch* touch, UIEvent* event) {
    UIControl::endTrackingWithTouch(touch, event);
    slid_ = touch && touch->farthestFromLanding() > UITouchTapSlop;
    if (!slid_) return;
    // The knob follows the finger along the switch; a finger that went mostly up or down moves
    // nothing.
    CGPoint from = touch->landingLocationInView(this), to = touch->locationInView(this);
    CGFloat dx = to.x - from.x;
    if (std::fabs(dx) <= std::fabs(to.y - from.y) || (dx > 0) == on_) return;
    Ref<UISwitch> self(this);
    setOn(dx > 0, true);
    sendActions(UIControlEventValueChanged, event);
}

void UISwitch::tappedAt(CGPoint) {
    if (std::exchange(slid_, false)) return;
    setOn(!on_, true);
    sendActions(UIControlEventValueChanged, nullptr);
}

void UISwitch::encodeWithCoder(NSCoder* coder) {
    UIControl::encodeWithCoder(coder);
    coder->encodeBool(isOn(), NS("on"));
}

bool UISwitch::initWithCoder(NSCoder* coder) {
    if (!UIControl::initWithCoder(coder)) return false;
    setOn(coder->decodeBoolForKey(NS("on")));
    return true;
}
