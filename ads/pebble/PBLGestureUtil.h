// Device state for the signal component: the last accelerometer sample, the reachability
// flags, the call stack and web-safe base64. Main thread only.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "UIKit/UIAccelerometer.h"

class NSArray;
class NSMutableArray;
class NSString;
class UIView;

// The accelerometer's delegate for the ad client. It keeps the last sample and passes every
// sample on to the delegate the application had installed before it.
class PBLGestureUtil : public NSObject, public UIAccelerometerDelegate {
    NS_OBJECT(PBLGestureUtil, NSObject)
    static Ref<PBLGestureUtil> shared();
    static void chainAccDelegatesIfNeeded();
    static void initGestures() { chainAccDelegatesIfNeeded(); }
    // Flags of the route to the IPv4 zero address; left unchanged when they cannot be read.
    static void reachability(unsigned* flags);
    void accelerometer(UIAccelerometer* accelerometer, UIAcceleration* acceleration) override;
    // The class name and each superclass's up to the root, joined by ":", cut to `maxSize`.
    static Ref<NSString> viewInheritenceHierarchy(UIView* view, unsigned maxSize);
    // Records ("ViewName", "x", "y", "w", "h") of the key window's visible views, depth first;
    // the subviews of a view named `stopName` are not visited.
    static Ref<NSArray> walkViews(NSString* stopName);

    // x, y and z times 100 and the timestamp in seconds, each truncated.
    int32_t sample[4] = {0, 0, 0, 0};

private:
    static void walk(UIView* view, UIView* window, NSString* stopName, NSMutableArray* into);
    Weak<UIAccelerometerDelegate> previous_;
};

Ref<NSString> pblGestureBase64(const void* bytes, unsigned length);
void pblGestureAccelerationSample(int32_t* sample);
void pblGestureInit();
bool pblGestureReachability(unsigned* flags);
Ref<NSArray> pblGestureWalkViews(NSString* stopName);
// The caller's call stack as text.
Ref<NSString> pblGestureStackTrace();
