#include "UIKit/UIControl.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIWindow.h"

void UIControl::describeClass(RuntimeClass& c) {
    c.property("enabled", &UIControl::isEnabled, &UIControl::setEnabled);
    c.property("selected", &UIControl::isSelected, &UIControl::setSelected);
    c.property("highlighted", &UIControl::isHighlighted, &UIControl::setHighlighted);
    c.method("sendActionsForControlEvents:", &UIControl::sendActionsForControlEvents);
}

void UIControl::addTarget(NSObject* target, SEL action, UIControlEvents events) {
    if (!action || events == 0) return;
    for (auto& e : entries_) {
        if (e.action == action && e.hasTarget == (target != nullptr) && e.target.is(target)) {
            e.events |= events;
            return;
        }
    }
    Entry e;
    e.target = target;
    e.hasTarget = target != nullptr;
    e.action = action;
    e.events = events;
    entries_.push_back(std::move(e));
}

void UIControl::removeTarget(NSObject* target, SEL action, UIControlEvents events) {
    for (auto& e : entries_) {
        bool targetMatches = !target || (e.hasTarget && e.target.is(target));
        if (targetMatches && (!action || e.action == action)) e.events &= ~events;
    }
    std::erase_if(entries_, [](const Entry& e) {
        return e.events == 0 || (e.hasTarget && !e.target.alive());
    });
}

Ref<NSSet> UIControl::allTargets() {
    auto set = NSMutableSet::set();
    for (auto& e : entries_)
        if (auto t = e.target.lock()) set->addObject(t);
    return set;
}

UIControlEvents UIControl::allControlEvents() {
    UIControlEvents all = 0;
    for (auto& e : entries_)
        all |= e.events;
    return all;
}

Ref<NSArray> UIControl::actionsForTarget(NSObject* target, UIControlEvents event) {
    auto out = NSMutableArray::array();
    for (auto& e : entries_) {
        bool same = target ? (e.hasTarget && e.target.is(target)) : !e.hasTarget;
        if (same && (e.events & event)) out->addObject(NSStringFromSelector(e.action));
    }
    if (out->count() == 0) return nullptr;
    return out;
}

void UIControl::sendActionsForControlEvents(UIControlEvents events) {
    sendActions(events, nullptr);
}

void UIControl::sendActions(UIControlEvents events, UIEvent* event) {
    Ref<UIControl> self(this);
    // Actions may add or remove targets; the list is read as it was.
    auto entries = entries_;
    for (auto& e : entries) {
        if (!(e.events & events)) continue;
        if (e.hasTarget) {
            auto t = e.target.lock();
            if (!t) continue;  // a freed target is never messaged
            sendAction(e.action, t, event);
        } else {
            sendAction(e.action, nullptr, event);
        }
    }
}

void UIControl::sendAction(SEL action, NSObject* target, UIEvent* event) {
    UIApplication::sharedApplication()->sendAction(action, target, this, event);
}

void UIControl::setEnabled(bool enabled) {
    if (enabled_ == enabled) return;
    enabled_ = enabled;
    if (!enabled) highlighted_ = false;
    setNeedsDisplay();
}

void UIControl::setSelected(bool selected) {
    selected_ = selected;
    setNeedsDisplay();
}

void UIControl::setHighlighted(bool highlighted) {
    highlighted_ = highlighted;
    setNeedsDisplay();
}

UIControlState UIControl::state() {
    UIControlState s = UIControlStateNormal;
    if (isHighlighted()) s |= UIControlStateHighlighted;
    if (!isEnabled()) s |= UIControlStateDisabled;
    if (isSelected()) s |= UIControlStateSelected;
    return s;
}

bool UIControl::beginTrackingWithTouch(UITouch*, UIEvent*) {
    return true;
}
bool UIControl::continueTrackingWithTouch(UITouch*, UIEvent*) {
    return true;
}
void UIControl::endTrackingWithTouch(UITouch*, UIEvent*) {}
void UIControl::cancelTrackingWithEvent(UIEvent*) {}

namespace {
Ref<UITouch> firstTouch(NSSet* touches) {
    return touches ? as<UITouch>(touches->anyObject()) : nullptr;
}
}  // namespace

void UIControl::touchesBegan(NSSet* touches, UIEvent* event) {
    auto touch = firstTouch(touches);
    if (!touch || !isEnabled()) return;
    Ref<UIControl> self(this);
    touchInside_ = true;
    tracking_ = beginTrackingWithTouch(touch, event);
    setHighlighted(true);
    UIControlEvents ev = UIControlEventTouchDown;
    if (touch->tapCount() > 1) ev |= UIControlEventTouchDownRepeat;
    sendActions(ev, event);
}

void UIControl::touchesMoved(NSSet* touches, UIEvent* event) {
    auto touch = firstTouch(touches);
    if (!touch || !isEnabled()) return;
    Ref<UIControl> self(this);
    bool wasInside = touchInside_;
    touchInside_ = pointInside(touch->locationInView(this), event);
    setHighlighted(touchInside_);
    if (tracking_) tracking_ = continueTrackingWithTouch(touch, event);
    UIControlEvents ev =
        touchInside_ ? UIControlEventTouchDragInside : UIControlEventTouchDragOutside;
    if (wasInside != touchInside_)
        ev |= touchInside_ ? UIControlEventTouchDragEnter : UIControlEventTouchDragExit;
    sendActions(ev, event);
}

void UIControl::touchesEnded(NSSet* touches, UIEvent* event) {
    auto touch = firstTouch(touches);
    if (!touch || !isEnabled()) return;
    Ref<UIControl> self(this);
    CGPoint p = touch->locationInView(this);
    touchInside_ = pointInside(p, event);
    setHighlighted(false);
    if (tracking_) endTrackingWithTouch(touch, event);
    tracking_ = false;
    if (touchInside_) {
        tappedAt(p);
        sendActions(UIControlEventTouchUpInside, event);
    } else {
        sendActions(UIControlEventTouchUpOutside, event);
    }
    touchInside_ = false;
}

void UIControl::touchesCancelled(NSSet*, UIEvent* event) {
    Ref<UIControl> self(this);
    setHighlighted(false);
    if (tracking_) cancelTrackingWithEvent(event);
    tracking_ = false;
    touchInside_ = false;
    sendActions(UIControlEventTouchCancel, event);
}

Ref<UIView> UIControl::hitTest(CGPoint point, UIEvent* event) {
    auto hit = UIView::hitTest(point, event);
    // A disabled control swallows nothing: touches fall through to what lies beneath.
    if (hit.get() == this && !isEnabled()) return nullptr;
    return hit;
}

void UIControl::simulateTap() {
    Ref<UIControl> self(this);
    // A finger cannot reach a control on its way off the screen.
    if (isLeavingScreen()) return;
    // The control's frame may still wait for the end of the pass.
    UIView::layoutPendingViews();
    CGRect b = bounds();
    CGPoint mid = CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b));
    if (auto w = window()) {
        auto touch = UITouch::touchInWindow(w, convertPoint(mid, w), this);
        auto event = UIEvent::touchEvent({touch});
        touch->setPhase(UITouchPhaseBegan);
        touchesBegan(event->allTouches(), event);
        touch->setPhase(UITouchPhaseEnded);
        touchesEnded(event->allTouches(), event);
        return;
    }
    // Off screen: the touch reads in the control's own coordinates.
    auto touch = UITouch::touchInWindow(nullptr, mid, this);
    auto event = UIEvent::touchEvent({touch});
    touchesBegan(event->allTouches(), event);
    touch->setPhase(UITouchPhaseEnded);
    touchesEnded(event->allTouches(), event);
}

void UIControl::encodeWithCoder(NSCoder* coder) {
    UIView::encodeWithCoder(coder);
    coder->encodeBool(isEnabled(), NS("enabled"));
    coder->encodeBool(isSelected(), NS("selected"));
}

bool UIControl::initWithCoder(NSCoder* coder) {
    if (!UIView::initWithCoder(coder)) return false;
    if (coder->containsValueForKey(NS("enabled")))
        setEnabled(coder->decodeBoolForKey(NS("enabled")));
    setSelected(coder->decodeBoolForKey(NS("selected")));
    return true;
}
