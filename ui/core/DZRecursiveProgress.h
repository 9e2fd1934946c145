// Nested progress ranges mapped onto one overall percentage: a step that runs from 50 % to
// 100 % of its parent's range reports its own 0..1 progress, and the root's delegate hears
// the overall value.
#pragma once

#include "Foundation/NSObject.h"

// The receiver of the overall value.
class DZRecursiveProgressDelegate {
public:
    virtual ~DZRecursiveProgressDelegate() = default;
    virtual void didSetProgress(float progress) = 0;
};

class DZRecursiveProgress : public NSObject {
    NS_OBJECT(DZRecursiveProgress, NSObject)
    static Ref<DZRecursiveProgress> progressWithDelegate(DZRecursiveProgressDelegate* delegate);
    static Ref<DZRecursiveProgress> progressWithParent(DZRecursiveProgress* parent,
                                                       float firstPercent, float lastPercent);
    // The whole range, 0 to 1, reported to the delegate.
    bool initWithDelegate(DZRecursiveProgressDelegate* delegate);
    bool initWithParent(DZRecursiveProgress* parent, float firstPercent, float lastPercent);

    // Always 0: the value is passed on, not kept.
    float percent() { return 0; }
    // Maps p (0..1) into this range and hands it to the parent, or to the delegate at the root.
    void setPercent(float p);
    float percentWidth() { return lastPercent_ - firstPercent_; }

    float firstPercent() { return firstPercent_; }
    void setFirstPercent(float v) { firstPercent_ = v; }
    float lastPercent() { return lastPercent_; }
    void setLastPercent(float v) { lastPercent_ = v; }
    Ref<DZRecursiveProgressDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZRecursiveProgressDelegate* d) { delegate_ = d; }

private:
    Weak<DZRecursiveProgressDelegate> delegate_;
    Weak<DZRecursiveProgress> parent_;
    float firstPercent_ = 0;
    float lastPercent_ = 1;
};
