// On/off switches, 79 x 27 points whatever frame they are given. A tap flips the switch and a
// finger that slides along it (past the tap slop, wherever it lifts) turns it the way it went,
// on to the right, off to the left; either sends the value-changed actions when the value
// changes. Setting the value from code sends nothing.
#pragma once

#include "UIKit/UIControl.h"

class UIColor;

class UISwitch : public UIControl {
    NS_OBJECT(UISwitch, UIControl)
    static void describeClass(RuntimeClass& c);
    // Archives whether it is on.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;
    bool initWithFrame(CGRect frame) override;

    bool isOn() { return on_; }
    void setOn(bool on);
    void setOn(bool on, bool animated);
    Ref<UIColor> onTintColor() { return onTint_; }
    void setOnTintColor(UIColor* color);

    void setFrame(CGRect frame) override;
    CGSize sizeThatFits(CGSize size) override;
    void endTrackingWithTouch(UITouch* touch, UIEvent* event) override;

protected:
    void tappedAt(CGPoint point) override;

private:
    bool on_ = false;
    // The finger that just lifted slid: it set the value, and the lift is no tap.
    bool slid_ = false;
    Ref<UIColor> onTint_;
};
