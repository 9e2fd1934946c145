// An invisible tappable area that opens a URL through the navigator; it takes touches only
// while it has an action, and shows the sheet's "linkHighlighted" style while highlighted.
#pragma once

#include "UIKit/UIControl.h"

class DZURLAction;
class DZView;

class DZLink : public UIControl {
    NS_OBJECT(DZLink, UIControl)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;

    Ref<DZURLAction> URLAction() { return URLAction_; }
    void setURLAction(DZURLAction* action);
    // The action's URL path.
    Ref<NSString> URL();
    // An animated action for the path.
    void setURL(NSString* urlPath);
    Ref<DZView> screenView() { return screenView_; }

    // The touch-up-inside action: the global navigator opens the action.
    void linkTouched();

    void setHighlighted(bool highlighted) override;
    bool continueTrackingWithTouch(UITouch* touch, UIEvent* event) override;

private:
    Ref<DZURLAction> URLAction_;
    Ref<DZView> screenView_;
};
