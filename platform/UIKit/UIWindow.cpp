#include "UIKit/UIWindow.h"

#include <algorithm>

#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"

#define DEFINE_NAME(name) NSString* const name = NS(#name)
DEFINE_NAME(UIWindowDidBecomeVisibleNotification);
DEFINE_NAME(UIWindowDidBecomeHiddenNotification);
DEFINE_NAME(UIWindowDidBecomeKeyNotification);
DEFINE_NAME(UIWindowDidResignKeyNotification);

void UIWindow::describeClass(RuntimeClass& c) {
    c.method("rootViewController", &UIWindow::rootViewController);
    c.method("setRootViewController:", &UIWindow::setRootViewController);
    c.method("makeKeyAndVisible", &UIWindow::makeKeyAndVisible);
}

bool UIWindow::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    UIView::setHidden(true);
    screen_ = UIScreen::mainScreen().get();
    UIApplication::sharedApplication()->windowCreated(this);
    return true;
}

Ref<UIResponder> UIWindow::nextResponder() {
    return UIApplication::sharedApplication();
}

Ref<UIScreen> UIWindow::screen() {
    if (auto s = screen_.lock()) return s;
    return UIScreen::mainScreen();
}

void UIWindow::setScreen(UIScreen* screen) {
    screen_ = screen;
}

void UIWindow::setRootViewController(UIViewController* controller) {
    if (rootViewController_.get() == controller) return;
    Ref<UIWindow> self(this);
    if (auto old = rootViewController_) {
        if (old->isViewLoaded()) {
            auto v = old->view();
            if (v->superview().get() == this) v->removeFromSuperview();
        }
    }
    rootViewController_ = controller;
    if (controller) {
        auto v = controller->view();
        controller->layOutWindowContent();
        addSubview(v);
    }
}

bool UIWindow::isKeyWindow() {
    return UIApplication::sharedApplication()->keyWindow().get() == this;
}

void UIWindow::becomeKeyWindow() {
    NSNotificationCenter::defaultCenter()->postNotificationName(UIWindowDidBecomeKeyNotification,
                                                                this);
}

void UIWindow::resignKeyWindow() {
    NSNotificationCenter::defaultCenter()->postNotificationName(UIWindowDidResignKeyNotification,
                                                                this);
}

void UIWindow::makeKeyWindow() {
    if (isKeyWindow()) return;
    UIApplication::sharedApplication()->windowBecameKey(this);
}

void UIWindow::makeKeyAndVisible() {
    setHidden(false);
    makeKeyWindow();
}

void UIWindow::setHidden(bool hidden) {
    bool was = isHidden();
    UIView::setHidden(hidden);
    if (was == hidden) return;
    NSNotificationCenter::defaultCenter()->postNotificationName(
        hidden ? UIWindowDidBecomeHiddenNotification : UIWindowDidBecomeVisibleNotification, this);
    if (hidden && isKeyWindow()) UIApplication::sharedApplication()->windowResignedKey(this);
}

void UIWindow::sendEvent(UIEvent* event) {
    if (!event) return;
    Ref<UIWindow> self(this);
    if (event->type() == UIEventTypeMotion) {
        Ref<UIResponder> target = UIResponder::currentFirstResponder();
        if (!target) target = Ref<UIResponder>(this);
        target->motionBegan(event->subtype(), event);
        target->motionEnded(event->subtype(), event);
        return;
    }
    // A view that does not take several touches keeps to the first finger on it: one that lands
    // while another is down there passes it by, so that two fingers press a button once.
    const auto& list = event->touchList();
    for (size_t i = 0; i < list.size(); ++i) {
        auto& t = list[i];
        if (t->phase() != UITouchPhaseBegan) continue;
        auto v = t->view();
        bool taken = false;
        for (size_t j = 0; v && !v->isMultipleTouchEnabled() && j < list.size() && !taken; ++j) {
            auto& other = list[j];
            // Fingers landing in this event are settled in order: the later ones wait.
            if (j == i || (j > i && other->phase() == UITouchPhaseBegan)) continue;
            taken = other->view() == v && other->isDeliveredToView() &&
                    other->phase() != UITouchPhaseEnded && other->phase() != UITouchPhaseCancelled;
        }
        t->setDeliveredToView(!taken);
    }
    // Touches go to their views, grouped per view and by phase; stationary fingers are listed
    // in the event but not delivered.
    std::vector<Ref<UIView>> views;
    for (auto& t : event->touchList()) {
        auto v = t->view();
        if (v && std::find(views.begin(), views.end(), v) == views.end()) views.push_back(v);
    }
    for (auto& v : views) {
        for (UITouchPhase phase :
             {UITouchPhaseBegan, UITouchPhaseMoved, UITouchPhaseEnded, UITouchPhaseCancelled}) {
            auto touches = NSMutableSet::set();
            for (auto& t : event->touchList())
                if (t->view() == v && t->phase() == phase && t->isDeliveredToView())
                    touches->addObject(t);
            if (touches->count() == 0) continue;
            switch (phase) {
                case UITouchPhaseBegan:
                    v->touchesBegan(touches, event);
                    break;
                case UITouchPhaseMoved:
                    v->touchesMoved(touches, event);
                    break;
                case UITouchPhaseEnded:
                    v->touchesEnded(touches, event);
                    break;
                default:
                    v->touchesCancelled(touches, event);
                    break;
            }
        }
    }
}

Ref<UIView> UIWindow::tapAtPoint(CGPoint point) {
    return dragFromPoint(point, point, 0);
}

Ref<UIView> UIWindow::dragFromPoint(CGPoint from, CGPoint to, NSUInteger steps) {
    Ref<UIWindow> self(this);
    UIView::layoutPendingViews();
    auto probe = UIEvent::touchEvent({});
    auto hit = hitTest(from, probe);
    if (!hit) return nullptr;
    auto app = UIApplication::sharedApplication();
    auto touch = UITouch::touchInWindow(this, from, hit);
    auto event = UIEvent::touchEvent({touch});
    touch->setPhase(UITouchPhaseBegan);
    app->sendEvent(event);
    for (NSUInteger i = 1; i <= steps; ++i) {
        CGFloat f = static_cast<CGFloat>(i) / static_cast<CGFloat>(steps);
        touch->moveTo(CGPointMake(from.x + (to.x - from.x) * f, from.y + (to.y - from.y) * f));
        touch->setPhase(UITouchPhaseMoved);
        app->sendEvent(event);
    }
    if (steps == 0 && !CGPointEqualToPoint(from, to)) touch->moveTo(to);
    touch->setPhase(UITouchPhaseEnded);
    app->sendEvent(event);
    return hit;
}

CGPoint UIWindow::convertPointToWindow(CGPoint point, UIWindow* window) {
    return convertPoint(point, window);
}
CGPoint UIWindow::convertPointFromWindow(CGPoint point, UIWindow* window) {
    return convertPointFromView(point, window);
}
CGRect UIWindow::convertRectToWindow(CGRect rect, UIWindow* window) {
    return convertRect(rect, window);
}
CGRect UIWindow::convertRectFromWindow(CGRect rect, UIWindow* window) {
    return convertRectFromView(rect, window);
}

void UIWindow::dealloc() {
    super::dealloc();
}
