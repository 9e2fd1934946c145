// Events and touches, enough to deliver a tap, a drag or a shake to the views.
#pragma once

#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSSet;
class UIView;
class UIWindow;

enum UIEventType : NSInteger {
    UIEventTypeTouches = 0,
    UIEventTypeMotion,
    UIEventTypeRemoteControl,
};

enum UIEventSubtype : NSInteger {
    UIEventSubtypeNone = 0,
    UIEventSubtypeMotionShake = 1,
};

enum UITouchPhase : NSInteger {
    UITouchPhaseBegan = 0,
    UITouchPhaseMoved,
    UITouchPhaseStationary,
    UITouchPhaseEnded,
    UITouchPhaseCancelled,
};

// How far a finger may wander and still tap.
inline constexpr CGFloat UITouchTapSlop = 10;

class UITouch : public NSObject {
    NS_OBJECT(UITouch, NSObject)
    // A touch at a point of the window, delivered to the view under it.
    static Ref<UITouch> touchInWindow(UIWindow* window, CGPoint windowPoint, UIView* view);

    Ref<UIWindow> window();
    Ref<UIView> view();
    UITouchPhase phase() { return phase_; }
    NSUInteger tapCount() { return tapCount_; }
    NSTimeInterval timestamp() { return timestamp_; }
    // The location in the view's coordinates (the window's when view is nil).
    CGPoint locationInView(UIView* view);
    CGPoint previousLocationInView(UIView* view);
    // Where the finger landed, in the view's coordinates as they are now.
    CGPoint landingLocationInView(UIView* view);

    // Moving the finger: the previous location keeps the old point.
    void setPhase(UITouchPhase phase) { phase_ = phase; }
    void moveTo(CGPoint windowPoint);
    // How far, in window points, the finger has been from where it landed: a touch that wandered
    // past a few points is a drag, not a tap.
    CGFloat farthestFromLanding() { return farthest_; }
    // Whether its view takes it: a view that does not take several touches gets only the first
    // finger that lands on it; the others pass it by until they lift.
    bool isDeliveredToView() { return delivered_; }
    void setDeliveredToView(bool delivered) { delivered_ = delivered; }
    void setTapCount(NSUInteger count) { tapCount_ = count; }
    void setTimestamp(NSTimeInterval t) { timestamp_ = t; }
    void setView(UIView* view);

private:
    Weak<UIWindow> window_;
    Ref<UIView> view_;  // a touch keeps its view while it lasts
    CGPoint location_{}, previous_{}, landing_{};
    CGFloat farthest_ = 0;
    bool delivered_ = true;
    UITouchPhase phase_ = UITouchPhaseBegan;
    NSUInteger tapCount_ = 1;
    NSTimeInterval timestamp_ = 0;
};

class UIEvent : public NSObject {
    NS_OBJECT(UIEvent, NSObject)
    static Ref<UIEvent> touchEvent(std::vector<Ref<UITouch>> touches);
    static Ref<UIEvent> motionEvent(UIEventSubtype subtype);

    UIEventType type() { return type_; }
    UIEventSubtype subtype() { return subtype_; }
    NSTimeInterval timestamp() { return timestamp_; }
    Ref<NSSet> allTouches();
    Ref<NSSet> touchesForView(UIView* view);
    Ref<NSSet> touchesForWindow(UIWindow* window);
    const std::vector<Ref<UITouch>>& touchList() const { return touches_; }

private:
    UIEventType type_ = UIEventTypeTouches;
    UIEventSubtype subtype_ = UIEventSubtypeNone;
    NSTimeInterval timestamp_ = 0;
    std::vector<Ref<UITouch>> touches_;
};
