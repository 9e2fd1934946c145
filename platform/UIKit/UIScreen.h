// The screen: 320 x 480 points at a configurable scale (1, or 2 for the high-resolution phone).
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSArray;

class UIScreen : public NSObject {
    NS_OBJECT(UIScreen, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<UIScreen> mainScreen();
    static Ref<NSArray> screens();

    CGRect bounds() { return CGRectMake(0, 0, 320, 480); }
    // The screen less the status bar's strip (20 points along the edge the bar is on, in the
    // portrait coordinates of the screen).
    CGRect applicationFrame();
    CGFloat scale() { return scale_; }
    // For tests and the shell: the high-resolution screen has scale 2.
    void setScale(CGFloat scale) { scale_ = scale; }
    CGFloat brightness() { return brightness_; }
    void setBrightness(CGFloat b) { brightness_ = b; }

private:
    CGFloat scale_ = 1;
    CGFloat brightness_ = 0.5f;
};
