// On/off switches, 79 x 27 points whatever frame they are given. A tap flips the switch and
// sends the value-changed actions; setting the value from code sends nothing.
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

protected:
    void tappedAt(CGPoint point) override;

private:
    bool on_ = false;
    Ref<UIColor> onTint_;
};
