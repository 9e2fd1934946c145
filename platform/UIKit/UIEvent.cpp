#include "UIKit/UIEvent.h"

#include <algorithm>
#include <cmath>

#include "Foundation/Clock.h"
#include "Foundation/NSSet.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

Ref<UITouch> UITouch::touchInWindow(UIWindow* window, CGPoint windowPoint, UIView* view) {
    auto t = make<UITouch>();
    t->window_ = window;
    t->view_ = view;
    t->location_ = t->previous_ = t->landing_ = windowPoint;
    t->timestamp_ = Clock::uptime();
    return t;
}

Ref<UIWindow> UITouch::window() {
    return window_.lock();
}
Ref<UIView> UITouch::view() {
    return view_;
}
void UITouch::setView(UIView* view) {
    view_ = view;
}

void UITouch::moveTo(CGPoint windowPoint) {
    previous_ = location_;
    location_ = windowPoint;
    farthest_ =
        std::max(farthest_, std::hypot(windowPoint.x - landing_.x, windowPoint.y - landing_.y));
    timestamp_ = Clock::uptime();
}

namespace {
CGPoint fromWindow(Ref<UIWindow> window, CGPoint p, UIView* view) {
    if (!view) return p;
    if (window) return view->convertPointFromView(p, window);
    return p;
}
}  // namespace

CGPoint UITouch::locationInView(UIView* view) {
    return fromWindow(window_.lock(), location_, view);
}
CGPoint UITouch::previousLocationInView(UIView* view) {
    return fromWindow(window_.lock(), previous_, view);
}
CGPoint UITouch::landingLocationInView(UIView* view) {
    return fromWindow(window_.lock(), landing_, view);
}

Ref<UIEvent> UIEvent::touchEvent(std::vector<Ref<UITouch>> touches) {
    auto e = make<UIEvent>();
    e->type_ = UIEventTypeTouches;
    e->touches_ = std::move(touches);
    e->timestamp_ = Clock::uptime();
    return e;
}

Ref<UIEvent> UIEvent::motionEvent(UIEventSubtype subtype) {
    auto e = make<UIEvent>();
    e->type_ = UIEventTypeMotion;
    e->subtype_ = subtype;
    e->timestamp_ = Clock::uptime();
    return e;
}

Ref<NSSet> UIEvent::allTouches() {
    auto set = NSMutableSet::set();
    for (auto& t : touches_)
        set->addObject(t);
    return set;
}

Ref<NSSet> UIEvent::touchesForView(UIView* view) {
    auto set = NSMutableSet::set();
    for (auto& t : touches_)
        if (t->view().get() == view) set->addObject(t);
    return set;
}

Ref<NSSet> UIEvent::touchesForWindow(UIWindow* window) {
    auto set = NSMutableSet::set();
    for (auto& t : touches_)
        if (t->window().get() == window) set->addObject(t);
    return set;
}
