// Controls: target/action pairs per control event, and the normal / highlighted / disabled /
// selected states. A touch that starts on a control tracks it: touch down, then touch up inside
// or outside.
#pragma once

#include <vector>

#include "UIKit/UIView.h"

using UIControlEvents = NSUInteger;
enum : UIControlEvents {
    UIControlEventTouchDown = 1 << 0,
    UIControlEventTouchDownRepeat = 1 << 1,
    UIControlEventTouchDragInside = 1 << 2,
    UIControlEventTouchDragOutside = 1 << 3,
    UIControlEventTouchDragEnter = 1 << 4,
    UIControlEventTouchDragExit = 1 << 5,
    UIControlEventTouchUpInside = 1 << 6,
    UIControlEventTouchUpOutside = 1 << 7,
    UIControlEventTouchCancel = 1 << 8,
    UIControlEventValueChanged = 1 << 12,
    UIControlEventEditingDidBegin = 1 << 16,
    UIControlEventEditingChanged = 1 << 17,
    UIControlEventEditingDidEnd = 1 << 18,
    UIControlEventEditingDidEndOnExit = 1 << 19,
    UIControlEventAllTouchEvents = 0x00000FFF,
    UIControlEventAllEditingEvents = 0x000F0000,
    UIControlEventApplicationReserved = 0x0F000000,
    UIControlEventSystemReserved = 0xF0000000,
    UIControlEventAllEvents = 0xFFFFFFFF,
};

using UIControlState = NSUInteger;
enum : UIControlState {
    UIControlStateNormal = 0,
    UIControlStateHighlighted = 1 << 0,
    UIControlStateDisabled = 1 << 1,
    UIControlStateSelected = 1 << 2,
    UIControlStateApplication = 0x00FF0000,
    UIControlStateReserved = 0xFF000000,
};

enum UIControlContentHorizontalAlignment : NSInteger {
    UIControlContentHorizontalAlignmentCenter = 0,
    UIControlContentHorizontalAlignmentLeft,
    UIControlContentHorizontalAlignmentRight,
    UIControlContentHorizontalAlignmentFill,
};

enum UIControlContentVerticalAlignment : NSInteger {
    UIControlContentVerticalAlignmentCenter = 0,
    UIControlContentVerticalAlignmentTop,
    UIControlContentVerticalAlignmentBottom,
    UIControlContentVerticalAlignmentFill,
};

class UIControl : public UIView {
    NS_OBJECT(UIControl, UIView)
    static void describeClass(RuntimeClass& c);
    // Archives the enabled and selected states beside the view's.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // ---- target / action ------------------------------------------------------------------
    // The target is not retained; nil sends the action up the responder chain. The same pair
    // added again for an event is kept once. The action takes no argument, the sender, or the
    // sender and the event.
    void addTarget(NSObject* target, SEL action, UIControlEvents events);
    // nil action: every action of the target; nil target: every target.
    void removeTarget(NSObject* target, SEL action, UIControlEvents events);
    Ref<NSSet> allTargets();
    UIControlEvents allControlEvents();
    // The names of the target's actions for one event, nil when none.
    Ref<NSArray> actionsForTarget(NSObject* target, UIControlEvents event);
    // Sends the actions of every event in the mask, in the order they were added.
    void sendActionsForControlEvents(UIControlEvents events);
    virtual void sendAction(SEL action, NSObject* target, UIEvent* event);

    // ---- state ------------------------------------------------------------------------------
    // The getters are overridable: a subclass may answer from state of its own.
    virtual bool isEnabled() { return enabled_; }
    virtual void setEnabled(bool enabled);
    virtual bool isSelected() { return selected_; }
    virtual void setSelected(bool selected);
    virtual bool isHighlighted() { return highlighted_; }
    virtual void setHighlighted(bool highlighted);
    UIControlState state();
    UIControlContentHorizontalAlignment contentHorizontalAlignment() { return hAlign_; }
    void setContentHorizontalAlignment(UIControlContentHorizontalAlignment a) { hAlign_ = a; }
    UIControlContentVerticalAlignment contentVerticalAlignment() { return vAlign_; }
    void setContentVerticalAlignment(UIControlContentVerticalAlignment a) { vAlign_ = a; }

    // ---- tracking -----------------------------------------------------------------------------
    bool isTracking() { return tracking_; }
    bool isTouchInside() { return touchInside_; }
    virtual bool beginTrackingWithTouch(UITouch* touch, UIEvent* event);
    virtual bool continueTrackingWithTouch(UITouch* touch, UIEvent* event);
    virtual void endTrackingWithTouch(UITouch* touch, UIEvent* event);
    virtual void cancelTrackingWithEvent(UIEvent* event);

    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;

    // A disabled control takes no touches.
    Ref<UIView> hitTest(CGPoint point, UIEvent* event) override;

    // A tap as the shell makes it: touch down then touch up inside, through the window when the
    // control is in one, else directly.
    void simulateTap();

protected:
    // Sends the actions of the events in the mask for a touch event.
    void sendActions(UIControlEvents events, UIEvent* event);
    // What a tap inside means beyond the touch events (a switch toggles, a segment selects);
    // runs before the touch-up-inside actions.
    virtual void tappedAt(CGPoint) {}

private:
    struct Entry {
        Weak<NSObject> target;
        bool hasTarget = false;  // a nil target goes up the responder chain
        SEL action = nullptr;
        UIControlEvents events = 0;
    };
    std::vector<Entry> entries_;
    bool enabled_ = true;
    bool selected_ = false;
    bool highlighted_ = false;
    bool tracking_ = false;
    bool touchInside_ = false;
    UIControlContentHorizontalAlignment hAlign_ = UIControlContentHorizontalAlignmentCenter;
    UIControlContentVerticalAlignment vAlign_ = UIControlContentVerticalAlignmentCenter;
};
