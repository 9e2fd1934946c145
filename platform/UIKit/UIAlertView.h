// Alerts: a title, a message and buttons over everything, in an overlay window of their own, over
// a dimmed screen. One alert shows at a time: one shown while another is up waits until those
// before it are dismissed. Buttons are numbered in the order they were added (the cancel button
// given at creation is index 0); a tap calls the delegate's clickedButtonAtIndex, then willDismiss,
// then didDismiss.
#pragma once

#include <initializer_list>
#include <type_traits>
#include <vector>

#include "UIKit/UIView.h"

class NSNotification;
class UIAlertView;
class UIButton;
class UILabel;

// Every method optional (the runtime's answers decide which are called).
class UIAlertViewDelegate {
public:
    virtual ~UIAlertViewDelegate() = default;
    virtual void alertViewClickedButtonAtIndex(UIAlertView*, NSInteger) {}
    virtual void alertViewCancel(UIAlertView*) {}
    virtual void willPresentAlertView(UIAlertView*) {}
    virtual void didPresentAlertView(UIAlertView*) {}
    virtual void alertViewWillDismissWithButtonIndex(UIAlertView*, NSInteger) {}
    virtual void alertViewDidDismissWithButtonIndex(UIAlertView*, NSInteger) {}
};

// What alerts and action sheets share: the titled list of buttons, the special indexes, the
// list of those on screen, and the shell's way to choose a button.
class UIButtonPanelView : public UIView {
    NS_OBJECT(UIButtonPanelView, UIView)
    static void describeClass(RuntimeClass& c);

    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title);
    NSInteger addButtonWithTitle(NSString* title);
    // Nil outside the buttons.
    Ref<NSString> buttonTitleAtIndex(NSInteger index);
    NSInteger numberOfButtons() { return static_cast<NSInteger>(buttons_.size()); }
    // -1 when there is none.
    NSInteger cancelButtonIndex() { return cancelIndex_; }
    // The cancel button: an alert's pair puts it on the left, a sheet draws it dark.
    void setCancelButtonIndex(NSInteger index);
    // The first button given among the other buttons at creation; -1 when there was none.
    NSInteger firstOtherButtonIndex() { return firstOtherIndex_; }
    bool isVisible() { return visible_; }

    // A person's tap on a button (the shell): the clicked call, then the dismissal. Out of
    // range indexes do nothing. False when the panel is not shown.
    bool clickButtonAtIndex(NSInteger index);
    // By title; false when no button has it.
    bool clickButtonWithTitle(NSString* title);
    // Dismisses without the clicked call (will- and did-dismiss only); an alert still waiting
    // to show leaves the queue with the same calls.
    void dismissWithClickedButtonIndex(NSInteger index, bool animated);

    // Alerts and action sheets on screen, oldest first (the last is in front). Alerts waiting
    // for their turn are not on screen.
    static Ref<NSArray> shownPanels();
    // Alerts shown while another was up, in the order they will show.
    static Ref<NSArray> waitingAlerts();
    // Dismisses every panel on screen and every waiting alert, front first, as their cancel
    // buttons would (a session's end), and the follow-ups those dismissals show; nothing is left
    // showing or waiting after it.
    static void dismissAllPanels();

    void layoutSubviews() override;
    void dealloc() override;

protected:
    // The subclass's delegate calls.
    virtual void notifyClicked(NSInteger) {}
    virtual void notifyWillPresent() {}
    virtual void notifyDidPresent() {}
    virtual void notifyWillDismiss(NSInteger) {}
    virtual void notifyDidDismiss(NSInteger) {}
    // Puts the panel in `container` (nil: the overlay window, above the keyboard) over a dimmed
    // screen, and announces it.
    void presentIn(UIView* container);
    // An alert's turn: shown now when no other alert is, else queued behind those waiting.
    void presentInTurn();
    // The other buttons given at creation, in order (nil titles skipped); the first of them
    // becomes firstOtherButtonIndex.
    void addOtherButtons(std::initializer_list<NSString*> titles);
    // Makes one of the delegate's optional calls, only when the delegate answers its selector.
    template <class Delegate, class Panel, class... Args>
    static void tellDelegate(const Weak<Delegate>& delegate, SEL selector,
                             void (Delegate::*call)(Panel*, Args...), Panel* panel,
                             std::type_identity_t<Args>... args) {
        auto d = delegate.lock();
        if (respondsTo(d.get(), selector)) (d.get()->*call)(panel, args...);
    }
    // The panel's own views: a label per text and a button per title.
    void rebuildContent();
    virtual Ref<NSString> bodyText() { return nullptr; }

private:
    void buttonPressed(NSObject* sender);
    void removeFromScreen();
    // Where the panel stands in its host: a sheet along the bottom, an alert in the middle of
    // the room the keyboard leaves.
    void placeIn(UIView* host);
    void keyboardMoved(NSNotification* notification);
    void stopWatchingTheKeyboard();
    bool isWaiting();
    // The first waiting alert, once no other alert shows.
    static void showNextWaiting();

    Ref<NSString> title_;
    std::vector<Ref<NSString>> buttons_;
    std::vector<Ref<UIView>> contentViews_;
    // The shade over the screen behind the panel, in its host just below it.
    Ref<UIView> dimming_;
    NSInteger cancelIndex_ = -1;
    NSInteger firstOtherIndex_ = -1;
    bool visible_ = false;
    bool dismissing_ = false;
    // The notification center's tokens for the alert's watch of the keyboard.
    std::vector<Ref<NSObject>> keyboardWatch_;
    // A sheet's width: its host's (a turned full-screen view's is the screen's height).
    CGFloat sheetWidth_ = 0;
};

class UIAlertView : public UIButtonPanelView {
    NS_OBJECT(UIAlertView, UIButtonPanelView)

    bool initWithFrame(CGRect frame) override;
    // The cancel button (when given) is index 0, the others follow in order.
    bool initWithTitle(NSString* title, NSString* message, UIAlertViewDelegate* delegate,
                       NSString* cancelButtonTitle,
                       std::initializer_list<NSString*> otherButtonTitles = {});

    Ref<NSString> message() { return message_; }
    void setMessage(NSString* message);
    Ref<UIAlertViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIAlertViewDelegate* delegate) { delegate_ = delegate; }

    // Shows the alert over everything (in the overlay window); a shown alert stays shown.
    void show();

protected:
    void notifyClicked(NSInteger index) override;
    void notifyWillPresent() override;
    void notifyDidPresent() override;
    void notifyWillDismiss(NSInteger index) override;
    void notifyDidDismiss(NSInteger index) override;
    Ref<NSString> bodyText() override { return message_; }

private:
    Ref<NSString> message_;
    Weak<UIAlertViewDelegate> delegate_;
};
