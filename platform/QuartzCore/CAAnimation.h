// Animations as data: what code configures is kept for whoever reads it (the UIKit animation
// model, the shell). An animation added to a layer starts at once (the delegate hears
// animationDidStart:) and stops after its duration on the current run loop, following the
// Clock (animationDidStop:finished: with true), or earlier when it is removed (false).
// Nothing is interpolated: the layer's properties are whatever the code set.
#pragma once

#include <functional>

#include "CoreGraphics/CGBase.h"
#include "Foundation/NSObject.h"

class CAAnimation;
class NSString;

extern NSString* const kCAMediaTimingFunctionLinear;
extern NSString* const kCAMediaTimingFunctionEaseIn;
extern NSString* const kCAMediaTimingFunctionEaseOut;
extern NSString* const kCAMediaTimingFunctionEaseInEaseOut;
extern NSString* const kCAMediaTimingFunctionDefault;

extern NSString* const kCAFillModeRemoved;
extern NSString* const kCAFillModeForwards;
extern NSString* const kCAFillModeBackwards;
extern NSString* const kCAFillModeBoth;

extern NSString* const kCATransitionFade;
extern NSString* const kCATransitionMoveIn;
extern NSString* const kCATransitionPush;
extern NSString* const kCATransitionReveal;
extern NSString* const kCATransitionFromRight;
extern NSString* const kCATransitionFromLeft;
extern NSString* const kCATransitionFromTop;
extern NSString* const kCATransitionFromBottom;

// The animation delegate's optional methods (probed by name: "animationDidStart:",
// "animationDidStop:finished:").
class CAAnimationDelegate {
public:
    virtual ~CAAnimationDelegate() = default;
    virtual void animationDidStart(CAAnimation*) {}
    virtual void animationDidStop(CAAnimation*, bool /*finished*/) {}
};

class CAMediaTimingFunction : public NSObject {
    NS_OBJECT(CAMediaTimingFunction, NSObject)
    static Ref<CAMediaTimingFunction> functionWithName(NSString* name);
    static Ref<CAMediaTimingFunction> functionWithControlPoints(float c1x, float c1y, float c2x,
                                                                float c2y);
    Ref<NSString> name() { return name_; }  // nil for one made from control points
    // index 0...3: (0, 0), the two control points, (1, 1).
    void getControlPointAtIndex(size_t index, float values[2]);

private:
    Ref<NSString> name_;
    float c_[4] = {0, 0, 1, 1};
};

class CAAnimation : public NSObject {
    NS_OBJECT(CAAnimation, NSObject)
    static Ref<CAAnimation> animation();
    Ref<NSObject> copyWithZone() override;

    // 0 means the platform's default of 0.25 seconds once added.
    NSTimeInterval duration() { return duration_; }
    void setDuration(NSTimeInterval d) { duration_ = d; }
    NSTimeInterval beginTime() { return beginTime_; }
    void setBeginTime(NSTimeInterval t) { beginTime_ = t; }
    float repeatCount() { return repeatCount_; }
    void setRepeatCount(float n) { repeatCount_ = n; }
    bool autoreverses() { return autoreverses_; }
    void setAutoreverses(bool v) { autoreverses_ = v; }
    float speed() { return speed_; }
    void setSpeed(float s) { speed_ = s; }
    Ref<CAMediaTimingFunction> timingFunction() { return timing_; }
    void setTimingFunction(CAMediaTimingFunction* f) { timing_ = f; }
    bool isRemovedOnCompletion() { return removedOnCompletion_; }
    void setRemovedOnCompletion(bool v) { removedOnCompletion_ = v; }
    Ref<NSString> fillMode() { return fillMode_; }
    void setFillMode(NSString* mode);
    // Retained, as on the platform.
    Ref<CAAnimationDelegate> delegate() { return delegate_; }
    void setDelegate(CAAnimationDelegate* d) { delegate_ = d; }

    // The time the animation runs once added: duration (0.25 when 0) times repeats (and twice
    // with autoreverse), over the speed, plus the begin time.
    NSTimeInterval activeDuration();

protected:
    // Copies the fields of this class into a new copy.
    void copyInto(CAAnimation* copy);

private:
    friend class CALayer;
    NSTimeInterval duration_ = 0;
    NSTimeInterval beginTime_ = 0;
    float repeatCount_ = 0;
    bool autoreverses_ = false;
    float speed_ = 1;
    bool removedOnCompletion_ = true;
    Ref<CAMediaTimingFunction> timing_;
    Ref<NSString> fillMode_;
    Ref<CAAnimationDelegate> delegate_;
    // While added to a layer: the stop that ends it.
    Ref<NSObject> timer_;
};

class CAPropertyAnimation : public CAAnimation {
    NS_OBJECT(CAPropertyAnimation, CAAnimation)
    static Ref<CAPropertyAnimation> animationWithKeyPath(NSString* keyPath);
    Ref<NSObject> copyWithZone() override;
    Ref<NSString> keyPath() { return keyPath_; }
    void setKeyPath(NSString* keyPath);
    bool isAdditive() { return additive_; }
    void setAdditive(bool v) { additive_ = v; }
    bool isCumulative() { return cumulative_; }
    void setCumulative(bool v) { cumulative_ = v; }

protected:
    void copyPropertyInto(CAPropertyAnimation* copy);

private:
    Ref<NSString> keyPath_;
    bool additive_ = false;
    bool cumulative_ = false;
};

class CABasicAnimation : public CAPropertyAnimation {
    NS_OBJECT(CABasicAnimation, CAPropertyAnimation)
    static Ref<CABasicAnimation> animationWithKeyPath(NSString* keyPath);
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> fromValue() { return from_; }
    void setFromValue(NSObject* v) { from_ = v; }
    Ref<NSObject> toValue() { return to_; }
    void setToValue(NSObject* v) { to_ = v; }
    Ref<NSObject> byValue() { return by_; }
    void setByValue(NSObject* v) { by_ = v; }

private:
    Ref<NSObject> from_, to_, by_;
};

class CATransition : public CAAnimation {
    NS_OBJECT(CATransition, CAAnimation)
    static Ref<CATransition> animation();
    bool init() override;
    Ref<NSObject> copyWithZone() override;
    // kCATransitionFade by default.
    Ref<NSString> type() { return type_; }
    void setType(NSString* type);
    // nil by default.
    Ref<NSString> subtype() { return subtype_; }
    void setSubtype(NSString* subtype);
    float startProgress() { return startProgress_; }
    void setStartProgress(float p) { startProgress_ = p; }
    float endProgress() { return endProgress_; }
    void setEndProgress(float p) { endProgress_ = p; }

private:
    Ref<NSString> type_, subtype_;
    float startProgress_ = 0, endProgress_ = 1;
};

// Transactions group property changes; with no implicit animations here they only keep their
// settings for whoever asks, and run the completion block when the outermost one commits.
class CATransaction {
public:
    static void begin();
    static void commit();
    static void flush() {}
    static bool disableActions();
    static void setDisableActions(bool flag);
    static NSTimeInterval animationDuration();  // 0.25 outside any setting
    static void setAnimationDuration(NSTimeInterval duration);
    static Ref<CAMediaTimingFunction> animationTimingFunction();
    static void setAnimationTimingFunction(CAMediaTimingFunction* function);
    static void setCompletionBlock(std::function<void()> block);
};
