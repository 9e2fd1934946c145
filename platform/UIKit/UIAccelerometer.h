// The accelerometer: one shared instance that delivers samples to its delegate on the main run
// loop, one every update interval on the Clock, while it has a delegate. No sensor exists
// here: the reading is whatever tests or the terminal front end last injected (lying flat,
// face up, until then); each delivery is a new sample of that reading, stamped with the time
// since start-up.
#pragma once

#include "Foundation/NSObject.h"

class NSTimer;
class UIAccelerometer;

using UIAccelerationValue = double;

class UIAcceleration : public NSObject {
    NS_OBJECT(UIAcceleration, NSObject)
    bool initWithX(UIAccelerationValue x, UIAccelerationValue y, UIAccelerationValue z,
                   NSTimeInterval timestamp);
    UIAccelerationValue x() { return x_; }
    UIAccelerationValue y() { return y_; }
    UIAccelerationValue z() { return z_; }
    // Seconds since start-up (Clock::uptime) when the sample was taken.
    NSTimeInterval timestamp() { return timestamp_; }

private:
    UIAccelerationValue x_ = 0, y_ = 0, z_ = 0;
    NSTimeInterval timestamp_ = 0;
};

class UIAccelerometerDelegate {
public:
    virtual ~UIAccelerometerDelegate() = default;
    // accelerometer:didAccelerate:
    virtual void accelerometer(UIAccelerometer*, UIAcceleration*) {}
};

class UIAccelerometer : public NSObject {
    NS_OBJECT(UIAccelerometer, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<UIAccelerometer> sharedAccelerometer();

    // Not retained: a freed delegate reads nil and the samples stop.
    Ref<UIAccelerometerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIAccelerometerDelegate* delegate);
    // Seconds between samples; the platform's fastest rate (100 a second) is the floor.
    NSTimeInterval updateInterval() { return interval_; }
    void setUpdateInterval(NSTimeInterval seconds);

    // Test and front-end hook: the reading that the following samples report, in g.
    void injectSample(UIAccelerationValue x, UIAccelerationValue y, UIAccelerationValue z);
    // Whether samples are being delivered (a delegate is set and alive).
    bool isDelivering();

private:
    void restartTimer();
    void deliver();

    Weak<UIAccelerometerDelegate> delegate_;
    NSTimeInterval interval_ = 0.1;
    UIAccelerationValue x_ = 0, y_ = 0, z_ = -1;
    Ref<NSTimer> timer_;
};
