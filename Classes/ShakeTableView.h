// Table views that can stand in for the platform's plain one: ShakeTableView passes a shake of
// the device to an observer; ShadowedTableView draws gradient shadows along the top of the
// visible area, above the first row and below the last row. Nothing in the app uses them yet.
#pragma once

#include "UIKit/UITableView.h"

class CAGradientLayer;

// The shake observer's contract.
class ShakeObserver {
public:
    virtual ~ShakeObserver() = default;
    virtual void shake() = 0;
};

class ShakeTableView : public UITableView {
    NS_OBJECT(ShakeTableView, UITableView)

    // So that the table receives motion events.
    bool canBecomeFirstResponder() override { return true; }
    // Retains the observer (an object adopting ShakeObserver).
    void addShakeObserver(NSObject* observer);
    Ref<NSObject> shakeObserver() { return shakeObserver_; }
    void motionEnded(UIEventSubtype motion, UIEvent* event) override;

    void dealloc() override;

private:
    Ref<NSObject> shakeObserver_;
};

class ShadowedTableView : public ShakeTableView {
    NS_OBJECT(ShadowedTableView, ShakeTableView)

    // A new shadow as wide as the table: 10 points darkening downwards when inverse, else 20
    // points fading downwards.
    Ref<CAGradientLayer> shadowAsInverse(bool inverse);
    void layoutSubviews() override;

    Ref<CAGradientLayer> originShadow() { return originShadow_.lock(); }
    Ref<CAGradientLayer> topShadow() { return topShadow_; }
    Ref<CAGradientLayer> bottomShadow() { return bottomShadow_; }

    void dealloc() override;

private:
    // Held by the table's layer once inserted.
    Weak<CAGradientLayer> originShadow_;
    Ref<CAGradientLayer> topShadow_;
    Ref<CAGradientLayer> bottomShadow_;
};
