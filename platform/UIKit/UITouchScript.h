// Scripted fingers on a window, for tests and the terminal front end: fingers go down, move,
// lift or are cancelled one at a time, and each change is one touch event that lists every
// finger down (the unchanged ones as stationary), as a screen reports a multi-finger gesture.
// A finger lands on the view that hit testing finds under it and keeps it until it lifts.
// Time comes from the Clock: the caller advances it between steps (holding a finger still is
// advancing the clock without a step). Tap counts grow for taps at one place (within
// kTapSlop points) that land within kMultiTapInterval seconds of the previous lift.
#pragma once

#include <vector>

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIEvent.h"

class UIView;
class UIWindow;

class UITouchScript : public NSObject {
    NS_OBJECT(UITouchScript, NSObject)

public:
    static constexpr NSTimeInterval kMultiTapInterval = 0.35;
    static constexpr CGFloat kTapSlop = UITouchTapSlop;

    static Ref<UITouchScript> scriptWithWindow(UIWindow* window);

    // A finger lands at a window point; returns its number (from 0), or -1 when the point hits
    // no view. The event carries every finger down.
    NSInteger down(CGPoint windowPoint);
    // Lands several fingers in one event; -1 entries for points that hit nothing.
    std::vector<NSInteger> down(const std::vector<CGPoint>& windowPoints);
    // Moves fingers in one event (a point per finger number given).
    void move(NSInteger finger, CGPoint windowPoint);
    void move(const std::vector<std::pair<NSInteger, CGPoint>>& moves);
    // Lifts a finger (its touch ends); the others stay down.
    void up(NSInteger finger);
    // Cancels every finger down.
    void cancel();

    // A finger down and up at one point, with the tap count of a run of taps there.
    Ref<UIView> tap(CGPoint windowPoint);

    NSUInteger fingersDown();
    Ref<UITouch> touchForFinger(NSInteger finger);
    Ref<UIWindow> window();

private:
    struct Finger {
        NSInteger number;
        Ref<UITouch> touch;
        CGPoint landing;
    };
    void send(const std::vector<NSInteger>& changed, UITouchPhase phase);
    Finger* finger(NSInteger number);

    Weak<UIWindow> window_;
    std::vector<Finger> fingers_;
    NSInteger nextNumber_ = 0;
    // The previous lift, for tap counts.
    CGPoint lastLift_{};
    NSTimeInterval lastLiftTime_ = -1;
    NSUInteger lastTapCount_ = 0;
};
