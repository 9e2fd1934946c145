#include "UIKit/UIAlertView.h"

#include <algorithm>
#include <cfloat>

#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIWindow.h"

namespace {
constexpr CGFloat kAlertWidth = 284;
constexpr CGFloat kPadding = 12;
constexpr CGFloat kLabelHeight = 22;
constexpr CGFloat kButtonHeight = 44;
// Between two buttons side by side.
constexpr CGFloat kButtonGap = 8;
// How dark the shade over the screen behind a panel is.
constexpr CGFloat kDimming = 0.4f;

std::vector<Weak<UIButtonPanelView>>& shownList() {
    static ProcessWide<std::vector<Weak<UIButtonPanelView>>> list;
    return *list.get();
}

// Alerts shown while another was up, in turn.
std::vector<Ref<UIButtonPanelView>>& waitingList() {
    static ProcessWide<std::vector<Ref<UIButtonPanelView>>> list;
    return *list.get();
}

bool anAlertShows() {
    for (auto& w : shownList())
        if (auto panel = w.lock(); panel && panel->isVisible() && is<UIAlertView>(panel.get()))
            return true;
    return false;
}

// The part of the screen an alert stands in: clear of the status bar's height at the top and
// the bottom, and above the keyboard while it is up (a keyboard along the bottom: portrait).
CGRect alertArea() {
    CGRect screen = UIScreen::mainScreen()->bounds();
    CGRect bar = UIApplication::sharedApplication()->statusBarFrame();
    CGFloat barHeight = std::min(bar.size.width, bar.size.height);
    CGFloat bottom = CGRectGetMaxY(screen) - barHeight;
    CGRect keys = UIKeyboard::frame();
    if (UIKeyboard::isVisible() && keys.size.width >= screen.size.width)
        bottom = std::min(bottom, CGRectGetMinY(keys) - kPadding);
    return CGRectMake(0, barHeight, screen.size.width, std::max<CGFloat>(0, bottom - barHeight));
}

// Alerts show in a window of their own above the app's.
Ref<UIWindow> overlayWindow() {
    static ProcessWide<UIWindow> window{[] {
        auto made = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        made->setWindowLevel(UIWindowLevelAlert);
        made->setBackgroundColor(UIColor::clearColor());
        return made;
    }};
    // The window outlives an application's session (a test's or the shell's next app): each
    // session lists it among its windows again, as the screen and its pictures are drawn from
    // that list.
    auto made = window.get();
    auto app = UIApplication::sharedApplication();
    if (!app->windows()->containsObject(made.get())) app->windowCreated(made.get());
    return made;
}

SEL sel(const char* name) {
    return Selector::named(name);
}
}  // namespace

// ---- the shared panel --------------------------------------------------------------------------

void UIButtonPanelView::describeClass(RuntimeClass& c) {
    c.method("buttonPressed:", &UIButtonPanelView::buttonPressed);
}

void UIButtonPanelView::dealloc() {
    stopWatchingTheKeyboard();
    super::dealloc();
}

void UIButtonPanelView::setCancelButtonIndex(NSInteger index) {
    cancelIndex_ = index;
    if (visible_) rebuildContent();
}

void UIButtonPanelView::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
    if (visible_) rebuildContent();
}

NSInteger UIButtonPanelView::addButtonWithTitle(NSString* title) {
    buttons_.push_back(title ? title->copy() : Ref<NSString>(NS("")));
    if (visible_) rebuildContent();
    return static_cast<NSInteger>(buttons_.size()) - 1;
}

Ref<NSString> UIButtonPanelView::buttonTitleAtIndex(NSInteger index) {
    if (index < 0 || index >= numberOfButtons()) return nullptr;
    return buttons_[static_cast<size_t>(index)];
}

bool UIButtonPanelView::clickButtonAtIndex(NSInteger index) {
    if (!visible_ || dismissing_ || index < 0 || index >= numberOfButtons()) return false;
    Ref<UIButtonPanelView> keep(this);
    notifyClicked(index);
    // The delegate may have dismissed the panel itself while handling the click.
    if (visible_) dismissWithClickedButtonIndex(index, true);
    return true;
}

bool UIButtonPanelView::clickButtonWithTitle(NSString* title) {
    if (!title) return false;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        if (buttons_[i]->isEqualToString(title)) {
            return clickButtonAtIndex(static_cast<NSInteger>(i));
        }
    }
    return false;
}

void UIButtonPanelView::dismissWithClickedButtonIndex(NSInteger index, bool) {
    if (dismissing_) return;
    Ref<UIButtonPanelView> keep(this);
    if (!visible_) {
        // An alert still waiting for its turn leaves the queue.
        auto& waiting = waitingList();
        auto at = std::find_if(waiting.begin(), waiting.end(),
                               [this](auto& p) { return p.get() == this; });
        if (at == waiting.end()) return;
        waiting.erase(at);
        notifyWillDismiss(index);
        notifyDidDismiss(index);
        return;
    }
    dismissing_ = true;
    notifyWillDismiss(index);
    removeFromScreen();
    dismissing_ = false;
    notifyDidDismiss(index);
    showNextWaiting();
}

void UIButtonPanelView::presentInTurn() {
    if (visible_ || isWaiting()) return;
    auto& waiting = waitingList();
    if (anAlertShows() || !waiting.empty()) {
        waiting.emplace_back(this);
        return;
    }
    presentIn(nullptr);
}

bool UIButtonPanelView::isWaiting() {
    auto& waiting = waitingList();
    return std::any_of(waiting.begin(), waiting.end(), [this](auto& p) { return p.get() == this; });
}

void UIButtonPanelView::showNextWaiting() {
    auto& waiting = waitingList();
    if (waiting.empty() || anAlertShows()) return;
    auto next = waiting.front();
    waiting.erase(waiting.begin());
    next->presentIn(nullptr);
}

void UIButtonPanelView::presentIn(UIView* container) {
    if (visible_) return;
    Ref<UIButtonPanelView> keep(this);
    notifyWillPresent();
    Ref<UIView> host(container);
    if (!host) {
        auto window = overlayWindow();
        window->setHidden(false);
        host = window;
    }
    sheetWidth_ = host->bounds().size.width;
    rebuildContent();
    placeIn(host);
    visible_ = true;
    // The screen behind is shaded, and takes no touches while the panel shows.
    dimming_ = make<UIView>(&UIView::initWithFrame, host->bounds());
    dimming_->setBackgroundColor(UIColor::colorWithWhite(0, kDimming));
    dimming_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
    host->addSubview(dimming_);
    host->addSubview(this);
    if (!is<UIActionSheet>(this)) {
        // Through tokens of its own, so that taking the panel off the screen ends this watch
        // alone and leaves whatever a subclass watches.
        auto center = NSNotificationCenter::defaultCenter();
        Weak<UIButtonPanelView> weak(this);
        for (NSString* name : {UIKeyboardDidShowNotification, UIKeyboardDidHideNotification}) {
            keyboardWatch_.push_back(
                center->addObserverForName(name, nullptr, [weak](NSNotification* note) {
                    if (auto panel = weak.lock()) panel->keyboardMoved(note);
                }));
        }
    }
    auto& list = shownList();
    list.erase(std::remove_if(list.begin(), list.end(), [](auto& w) { return !w.alive(); }),
               list.end());
    list.emplace_back(this);
    notifyDidPresent();
}

void UIButtonPanelView::placeIn(UIView* host) {
    CGRect area = host->bounds();
    CGSize size = frame().size;
    if (is<UIActionSheet>(this)) {
        setFrame(CGRectMake(0, area.size.height - size.height, area.size.width, size.height));
        return;
    }
    CGRect room = alertArea();
    CGFloat y = std::max(room.origin.y, room.origin.y + (room.size.height - size.height) / 2);
    setFrame(CGRectMake((area.size.width - size.width) / 2, y, size.width, size.height));
}

void UIButtonPanelView::keyboardMoved(NSNotification*) {
    // The room above the keyboard changed: the message's room and the alert's place with it.
    auto host = superview();
    if (!visible_ || !host) return;
    rebuildContent();
    placeIn(host);
}

void UIButtonPanelView::stopWatchingTheKeyboard() {
    if (keyboardWatch_.empty()) return;
    auto center = NSNotificationCenter::defaultCenter();
    for (auto& token : keyboardWatch_)
        center->removeObserver(token.get());
    keyboardWatch_.clear();
}

void UIButtonPanelView::removeFromScreen() {
    visible_ = false;
    stopWatchingTheKeyboard();
    auto& list = shownList();
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](auto& w) { return !w.alive() || w.is(this); }),
               list.end());
    Ref<UIView> host = superview();
    removeFromSuperview();
    if (dimming_) dimming_->removeFromSuperview();
    dimming_ = nullptr;
    auto window = overlayWindow();
    if (host.get() == window.get() && window->subviewList().empty()) window->setHidden(true);
}

Ref<NSArray> UIButtonPanelView::shownPanels() {
    auto result = NSMutableArray::array();
    for (auto& w : shownList()) {
        if (auto panel = w.lock(); panel && panel->visible_) result->addObject(panel);
    }
    return result;
}

Ref<NSArray> UIButtonPanelView::waitingAlerts() {
    auto result = NSMutableArray::array();
    for (auto& panel : waitingList())
        result->addObject(panel);
    return result;
}

void UIButtonPanelView::dismissAllPanels() {
    // What is up or waiting goes as its cancel button would take it, with the delegate's calls.
    // Those calls may show a follow-up (a notice after a cancel), which a second round takes the
    // same way. What a follow-up's own dismissal shows is taken off without calls: a delegate
    // that answered every dismissal with another alert would otherwise never let the session end.
    constexpr int kRounds = 2;
    for (int round = 0; round < kRounds; ++round) {
        auto shown = shownPanels();
        if (shown->count() == 0 && waitingList().empty()) return;
        // The waiting alerts leave first, so none of them shows as the others go.
        std::vector<Ref<UIButtonPanelView>> waiting;
        waiting.swap(waitingList());
        for (NSUInteger i = shown->count(); i-- > 0;) {
            auto panel = cast<UIButtonPanelView>(shown->objectAtIndex(i));
            panel->dismissWithClickedButtonIndex(panel->cancelButtonIndex(), false);
        }
        for (auto& panel : waiting) {
            panel->notifyWillDismiss(panel->cancelButtonIndex());
            panel->notifyDidDismiss(panel->cancelButtonIndex());
        }
    }
    waitingList().clear();
    auto left = shownPanels();
    for (NSUInteger i = left->count(); i-- > 0;)
        cast<UIButtonPanelView>(left->objectAtIndex(i))->removeFromScreen();
}

void UIButtonPanelView::rebuildContent() {
    for (auto& v : contentViews_)
        v->removeFromSuperview();
    contentViews_.clear();
    bool sheet = is<UIActionSheet>(this);
    CGFloat width = !sheet            ? kAlertWidth
                    : sheetWidth_ > 0 ? sheetWidth_
                                      : UIScreen::mainScreen()->bounds().size.width;
    CGFloat textWidth = width - 2 * kPadding;
    CGFloat y = kPadding;
    auto makeLabel = [&](NSString* text, UIFont* font, CGFloat height) {
        auto label =
            make<UILabel>(&UILabel::initWithFrame, CGRectMake(kPadding, y, textWidth, height));
        label->setText(text);
        label->setFont(font);
        label->setNumberOfLines(0);
        label->setTextAlignment(UITextAlignmentCenter);
        label->setBackgroundColor(UIColor::clearColor());
        label->setTextColor(UIColor::whiteColor());
        return label;
    };
    // The height that holds a text wrapped to the panel's width: at least a line.
    auto heightOf = [&](NSString* text, UIFont* font) {
        CGSize s = sizeWithFont(text, font, CGSizeMake(textWidth, CGFLOAT_MAX));
        return std::max(kLabelHeight, s.height);
    };
    if (title_ && title_->length() > 0) {
        auto font = UIFont::boldSystemFontOfSize(17);
        CGFloat h = heightOf(title_, font);
        auto label = makeLabel(title_, font, h);
        addSubview(label);
        contentViews_.push_back(label);
        y += h + 4;
    }
    size_t buttonRows = !sheet && buttons_.size() == 2 ? 1 : buttons_.size();
    CGFloat buttonsHeight = static_cast<CGFloat>(buttonRows) * (kButtonHeight + 8);
    if (auto body = bodyText(); body && body->length() > 0) {
        auto font = UIFont::systemFontOfSize(15);
        CGFloat h = heightOf(body, font);
        // The panel grows to hold the whole message, up to the screen below the status bar
        // (above the keyboard while it is up); past that the message scrolls in what room is
        // left.
        CGFloat room = alertArea().size.height - 2 * kPadding - y - buttonsHeight - kPadding - 4;
        if (h > room && room >= kLabelHeight) {
            auto scroller = make<UIScrollView>(&UIScrollView::initWithFrame,
                                               CGRectMake(kPadding, y, textWidth, room));
            scroller->setBackgroundColor(UIColor::clearColor());
            auto label = makeLabel(body, font, h);
            label->setFrame(CGRectMake(0, 0, textWidth, h));
            scroller->addSubview(label);
            scroller->setContentSize(CGSizeMake(textWidth, h));
            addSubview(scroller);
            contentViews_.push_back(scroller);
            h = room;
        } else {
            auto label = makeLabel(body, font, h);
            addSubview(label);
            contentViews_.push_back(label);
        }
        y += h + 4;
    }
    // An alert's two buttons stand side by side, the cancel button on the left; more stack.
    bool pair = !sheet && buttons_.size() == 2;
    auto asSheet = as<UIActionSheet>(this);
    NSInteger destructive = asSheet ? asSheet->destructiveButtonIndex() : -1;
    CGFloat half = (textWidth - kButtonGap) / 2;
    for (size_t i = 0; i < buttons_.size(); ++i) {
        auto index = static_cast<NSInteger>(i);
        auto button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        if (pair) {
            bool left = cancelIndex_ == 1 ? index == 1 : index == 0;
            button->setFrame(CGRectMake(left ? kPadding : kPadding + half + kButtonGap, y + 4, half,
                                        kButtonHeight));
        } else {
            button->setFrame(CGRectMake(kPadding, y + 4, textWidth, kButtonHeight));
        }
        button->setTitle(buttons_[i], UIControlStateNormal);
        // Dark words only on a sheet's plain light buttons; the rest are lit on their face.
        bool lit = !sheet || index == cancelIndex_ || index == destructive;
        button->setTitleColor(lit ? UIColor::whiteColor() : UIColor::colorWithWhite(0.1f, 1),
                              UIControlStateNormal);
        button->titleLabel()->setFont(UIFont::boldSystemFontOfSize(sheet ? 19 : 17));
        button->setTag(index);
        button->addTarget(this, Selector::named("buttonPressed:"), UIControlEventTouchUpInside);
        addSubview(button);
        contentViews_.push_back(button);
        if (!pair || i + 1 == buttons_.size()) y += kButtonHeight + 8;
    }
    CGRect f = frame();
    setFrame(CGRectMake(f.origin.x, f.origin.y, width, y + kPadding));
}

void UIButtonPanelView::addOtherButtons(std::initializer_list<NSString*> titles) {
    bool first = true;
    for (NSString* other : titles) {
        if (!other) continue;
        NSInteger index = addButtonWithTitle(other);
        if (first) firstOtherIndex_ = index;
        first = false;
    }
}

void UIButtonPanelView::layoutSubviews() {}

void UIButtonPanelView::buttonPressed(NSObject* sender) {
    if (auto button = as<UIView>(sender)) clickButtonAtIndex(button->tag());
}

// ---- alerts ----------------------------------------------------------------------------------

bool UIAlertView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    // The rounded panel is the alert's own look; past its corners the screen shows through.
    setBackgroundColor(UIColor::clearColor());
    return true;
}

bool UIAlertView::initWithTitle(NSString* title, NSString* message, UIAlertViewDelegate* delegate,
                                NSString* cancelButtonTitle,
                                std::initializer_list<NSString*> otherButtonTitles) {
    if (!initWithFrame(CGRectMake(0, 0, kAlertWidth, 0))) return false;
    setTitle(title);
    setMessage(message);
    delegate_ = delegate;
    if (cancelButtonTitle) setCancelButtonIndex(addButtonWithTitle(cancelButtonTitle));
    addOtherButtons(otherButtonTitles);
    return true;
}

void UIAlertView::setMessage(NSString* message) {
    message_ = message ? message->copy() : nullptr;
    if (isVisible()) rebuildContent();
}

void UIAlertView::show() {
    presentInTurn();
}

void UIAlertView::notifyClicked(NSInteger index) {
    tellDelegate(delegate_, sel("alertView:clickedButtonAtIndex:"),
                 &UIAlertViewDelegate::alertViewClickedButtonAtIndex, this, index);
}

void UIAlertView::notifyWillPresent() {
    tellDelegate(delegate_, sel("willPresentAlertView:"),
                 &UIAlertViewDelegate::willPresentAlertView, this);
}

void UIAlertView::notifyDidPresent() {
    tellDelegate(delegate_, sel("didPresentAlertView:"), &UIAlertViewDelegate::didPresentAlertView,
                 this);
}

void UIAlertView::notifyWillDismiss(NSInteger index) {
    tellDelegate(delegate_, sel("alertView:willDismissWithButtonIndex:"),
                 &UIAlertViewDelegate::alertViewWillDismissWithButtonIndex, this, index);
}

void UIAlertView::notifyDidDismiss(NSInteger index) {
    tellDelegate(delegate_, sel("alertView:didDismissWithButtonIndex:"),
                 &UIAlertViewDelegate::alertViewDidDismissWithButtonIndex, this, index);
}
