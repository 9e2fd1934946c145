// Windows: the roots of view trees. The key window receives typed text and motion; touches go
// to the view that hit testing finds.
#pragma once

#include "UIKit/UIView.h"

class UIScreen;
class UIViewController;

using UIWindowLevel = CGFloat;
inline constexpr UIWindowLevel UIWindowLevelNormal = 0;
inline constexpr UIWindowLevel UIWindowLevelAlert = 2000;
inline constexpr UIWindowLevel UIWindowLevelStatusBar = 1000;

extern NSString* const UIWindowDidBecomeVisibleNotification;
extern NSString* const UIWindowDidBecomeHiddenNotification;
extern NSString* const UIWindowDidBecomeKeyNotification;
extern NSString* const UIWindowDidResignKeyNotification;

class UIWindow : public UIView {
    NS_OBJECT(UIWindow, UIView)
    static void describeClass(RuntimeClass& c);
    // Windows start hidden, as the platform's do.
    bool initWithFrame(CGRect frame) override;

    Ref<UIWindow> window() override { return Ref<UIWindow>(this); }
    Ref<UIResponder> nextResponder() override;

    Ref<UIScreen> screen();
    void setScreen(UIScreen* screen);
    UIWindowLevel windowLevel() { return level_; }
    void setWindowLevel(UIWindowLevel level) { level_ = level; }
    // The window's root controller (retained); its view fills the window, replacing the old
    // root controller's view.
    Ref<UIViewController> rootViewController() { return rootViewController_; }
    void setRootViewController(UIViewController* controller);

    bool isKeyWindow();
    // Key: the application's key window is this one (the previous one resigns).
    virtual void becomeKeyWindow();
    virtual void resignKeyWindow();
    void makeKeyWindow();
    // Shows the window and makes it key.
    void makeKeyAndVisible();
    void setHidden(bool hidden) override;

    // Delivers an event: touches to their views (touchesBegan/Moved/Ended/Cancelled by phase),
    // motion to the first responder (or the window).
    virtual void sendEvent(UIEvent* event);
    // The shell's tap: a touch down and up at a point of the window on the view that hit testing
    // finds there. Returns that view (nil when the point hits nothing).
    Ref<UIView> tapAtPoint(CGPoint point);
    // A drag from one point to another: began, moved in `steps` steps, ended.
    Ref<UIView> dragFromPoint(CGPoint from, CGPoint to, NSUInteger steps);

    CGPoint convertPointToWindow(CGPoint point, UIWindow* window);
    CGPoint convertPointFromWindow(CGPoint point, UIWindow* window);
    CGRect convertRectToWindow(CGRect rect, UIWindow* window);
    CGRect convertRectFromWindow(CGRect rect, UIWindow* window);

    void dealloc() override;

private:
    Weak<UIScreen> screen_;
    Ref<UIViewController> rootViewController_;
    UIWindowLevel level_ = UIWindowLevelNormal;
};
