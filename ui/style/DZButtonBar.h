// A row of styled buttons centred in the bar, each at most 120 points wide and 30 high.
#pragma once

#include "Foundation/NSArray.h"
#include "ui/core/DZView.h"

class DZButton;
class NSMutableArray;

class DZButtonBar : public DZView {
    NS_OBJECT(DZButtonBar, DZView)
    bool initWithFrame(CGRect frame) override;

    Ref<NSMutableArray> buttons() { return buttons_; }
    void setButtons(NSMutableArray* buttons) { buttons_ = buttons; }
    Ref<NSString> buttonStyle() { return buttonStyle_; }
    void setButtonStyle(NSString* name);

    // A button of the bar's style with the title, sending the action on touch-up-inside.
    void addButton(NSString* title, NSObject* target, SEL action);
    void removeButtons();

    void layoutSubviews() override;
    // Touches that miss the buttons stop here.
    void touchesBegan(NSSet* touches, UIEvent* event) override;

private:
    Ref<NSMutableArray> buttons_;
    Ref<NSString> buttonStyle_;
};
