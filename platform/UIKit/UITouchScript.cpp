#include "UIKit/UITouchScript.h"

#include <algorithm>
#include <cmath>

#include "Foundation/Clock.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

Ref<UITouchScript> UITouchScript::scriptWithWindow(UIWindow* window) {
    auto script = make<UITouchScript>();
    script->window_ = window;
    return script;
}

Ref<UIWindow> UITouchScript::window() {
    return window_.lock();
}

NSUInteger UITouchScript::fingersDown() {
    return static_cast<NSUInteger>(fingers_.size());
}

UITouchScript::Finger* UITouchScript::finger(NSInteger number) {
    for (auto& f : fingers_)
        if (f.number == number) return &f;
    return nullptr;
}

Ref<UITouch> UITouchScript::touchForFinger(NSInteger number) {
    auto* f = finger(number);
    return f ? f->touch : nullptr;
}

void UITouchScript::send(const std::vector<NSInteger>& changed, UITouchPhase phase) {
    std::vector<Ref<UITouch>> touches;
    for (auto& f : fingers_) {
        bool isChanged = std::find(changed.begin(), changed.end(), f.number) != changed.end();
        f.touch->setPhase(isChanged ? phase : UITouchPhaseStationary);
        touches.push_back(f.touch);
    }
    if (touches.empty()) return;
    UIApplication::sharedApplication()->sendEvent(UIEvent::touchEvent(std::move(touches)));
}

std::vector<NSInteger> UITouchScript::down(const std::vector<CGPoint>& points) {
    std::vector<NSInteger> numbers;
    auto window = window_.lock();
    if (!window) return std::vector<NSInteger>(points.size(), -1);
    UIView::layoutPendingViews();
    NSTimeInterval now = Clock::uptime();
    // Hit testing for a touch carries an event: views that look through themselves for
    // event-less tests still take real touches.
    auto probe = UIEvent::touchEvent({});
    for (CGPoint p : points) {
        auto hit = window->hitTest(p, probe);
        if (!hit) {
            numbers.push_back(-1);
            continue;
        }
        auto touch = UITouch::touchInWindow(window.get(), p, hit.get());
        bool again = lastLiftTime_ >= 0 && now - lastLiftTime_ <= kMultiTapInterval &&
                     std::fabs(p.x - lastLift_.x) <= kTapSlop &&
                     std::fabs(p.y - lastLift_.y) <= kTapSlop;
        touch->setTapCount(again ? lastTapCount_ + 1 : 1);
        fingers_.push_back({nextNumber_, touch, p});
        numbers.push_back(nextNumber_++);
    }
    std::vector<NSInteger> landed;
    for (auto n : numbers)
        if (n >= 0) landed.push_back(n);
    if (!landed.empty()) send(landed, UITouchPhaseBegan);
    return numbers;
}

NSInteger UITouchScript::down(CGPoint windowPoint) {
    return down(std::vector<CGPoint>{windowPoint}).front();
}

void UITouchScript::move(const std::vector<std::pair<NSInteger, CGPoint>>& moves) {
    std::vector<NSInteger> moved;
    for (auto& [number, p] : moves) {
        if (auto* f = finger(number)) {
            f->touch->moveTo(p);
            moved.push_back(number);
        }
    }
    if (!moved.empty()) send(moved, UITouchPhaseMoved);
}

void UITouchScript::move(NSInteger number, CGPoint windowPoint) {
    move({{number, windowPoint}});
}

void UITouchScript::up(NSInteger number) {
    auto* f = finger(number);
    if (!f) return;
    Ref<UITouch> touch = f->touch;
    // A finger that did not wander ends a tap that the next one at that place may continue.
    CGPoint at = touch->locationInView(nullptr);
    bool tapped =
        std::fabs(at.x - f->landing.x) <= kTapSlop && std::fabs(at.y - f->landing.y) <= kTapSlop;
    lastLift_ = at;
    lastLiftTime_ = tapped ? Clock::uptime() : -1;
    lastTapCount_ = touch->tapCount();
    send({number}, UITouchPhaseEnded);
    fingers_.erase(std::remove_if(fingers_.begin(), fingers_.end(),
                                  [&](const Finger& g) { return g.number == number; }),
                   fingers_.end());
}

void UITouchScript::cancel() {
    std::vector<NSInteger> all;
    for (auto& f : fingers_)
        all.push_back(f.number);
    send(all, UITouchPhaseCancelled);
    fingers_.clear();
    lastLiftTime_ = -1;
}

Ref<UIView> UITouchScript::tap(CGPoint windowPoint) {
    NSInteger n = down(windowPoint);
    if (n < 0) return nullptr;
    auto view = touchForFinger(n)->view();
    up(n);
    return view;
}
