#include "ads/meridian/MRJSONVideoOverlayControlView.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"

void MRJSONVideoOverlayControlView::describeClass(RuntimeClass& c) {
    c.method("videoButtonWasTapped:", &MRJSONVideoOverlayControlView::videoButtonWasTapped);
}

bool MRJSONVideoOverlayControlView::initWithFrame(CGRect frame, NSArray* jsonVideoButtons,
                                                  bool showCountdownHUD,
                                                  MRJSONVideoOverlayControlViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    delegate_ = delegate;
    setBackgroundColor(UIColor::colorWithWhite(1, 0).get());
    jsonVideoButtons_ = jsonVideoButtons;
    buttons_ = NSMutableArray::array();
    timeoutTimers_ = NSMutableArray::array();
    for (NSUInteger i = 0; jsonVideoButtons && i < jsonVideoButtons->count(); ++i) {
        auto model = as<MRJSONVideoButton>(jsonVideoButtons->objectAtIndex(i));
        if (!model) continue;
        model->setDelegate(this);
        if (auto button = model->button())
            buttons_->addObject(NSDictionary::dictionaryWithObjectsAndKeys(
                                    {model.get(), NS("videoButton"), button.get(), NS("UIButton")})
                                    .get());
    }
    if (showCountdownHUD) createAndShowCountdownLabel();
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("videoButtonWasTapped:"), MRVideoOverlayButtonWasTapped, nullptr);
    return true;
}

void MRJSONVideoOverlayControlView::dealloc() {
    stopTimeouts();
    for (NSUInteger i = 0; jsonVideoButtons_ && i < jsonVideoButtons_->count(); ++i)
        if (auto model = as<MRJSONVideoButton>(jsonVideoButtons_->objectAtIndex(i)))
            if (model->delegate().get() == this) model->setDelegate(nullptr);
    jsonVideoButtons_ = nullptr;
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    buttons_ = nullptr;
    timeoutTimers_ = nullptr;
    UIView::dealloc();
}

void MRJSONVideoOverlayControlView::setJsonVideoButtons(NSArray* buttons) {
    jsonVideoButtons_ = buttons;
}

Ref<NSArray> MRJSONVideoOverlayControlView::buttons() {
    return buttons_;
}

NSUInteger MRJSONVideoOverlayControlView::runningTimeoutCount() {
    NSUInteger n = 0;
    for (NSUInteger i = 0; i < timeoutTimers_->count(); ++i)
        if (auto t = as<NSTimer>(timeoutTimers_->objectAtIndex(i)); t && t->isValid()) ++n;
    return n;
}

Ref<UIButton> MRJSONVideoOverlayControlView::buttonOf(NSDictionary* entry) {
    return as<UIButton>(entry->objectForKey(NS("UIButton")));
}

Ref<MRJSONVideoButton> MRJSONVideoOverlayControlView::modelOf(NSDictionary* entry) {
    return as<MRJSONVideoButton>(entry->objectForKey(NS("videoButton")));
}

void MRJSONVideoOverlayControlView::createAndShowCountdownLabel() {
    if (countdownLabel_.lock()) return;
    auto label = alloc<UILabel>();
    label->initWithFrame(CGRectMake(frame().size.width - 155, 0, 150, 20));
    label->setTextColor(UIColor::whiteColor().get());
    label->setFont(UIFont::systemFontOfSize(14).get());
    label->setAdjustsFontSizeToFitWidth(true);
    label->setTextAlignment(UITextAlignmentRight);
    label->setBackgroundColor(UIColor::clearColor().get());
    label->setText(NS("Calculating time remaining..."));
    addSubview(label.get());
    countdownLabel_ = label.get();
}

void MRJSONVideoOverlayControlView::showButtons() {
    if (!NSThread::isMainThread()) {
        Ref<MRJSONVideoOverlayControlView> self(this);
        NSRunLoop::performOnMainThread([self] { self->showButtons(); }, false);
        return;
    }
    Weak<MRJSONVideoOverlayControlView> weak(this);
    for (NSUInteger i = 0; i < buttons_->count(); ++i) {
        Ref<NSDictionary> entry = cast<NSDictionary>(buttons_->objectAtIndex(i));
        NSTimer::scheduledTimerWithTimeInterval(modelOf(entry.get())->appearanceDelay(), false,
                                                [weak, entry](NSTimer*) {
                                                    if (auto self = weak.lock())
                                                        self->fadeInButton(entry.get());
                                                });
    }
}

void MRJSONVideoOverlayControlView::scheduleTimeout(NSDictionary* entry) {
    Weak<MRJSONVideoOverlayControlView> weak(this);
    Ref<NSDictionary> kept(entry);
    auto timer = NSTimer::scheduledTimerWithTimeInterval(modelOf(entry)->inactivityTimeout(), false,
                                                         [weak, kept](NSTimer*) {
                                                             if (auto self = weak.lock())
                                                                 self->timeoutButton(kept.get());
                                                         });
    timeoutTimers_->addObject(timer.get());
}

void MRJSONVideoOverlayControlView::fadeInButton(NSDictionary* entry) {
    auto button = buttonOf(entry);
    auto model = modelOf(entry);
    if (!button || !model) return;
    if (button->superview().get() != this) {
        button->setAlpha(0);
        addSubview(button.get());
    }
    fadeButton(button.get(), model->startOpacity(), model->fadeDuration());
    scheduleTimeout(entry);
}

void MRJSONVideoOverlayControlView::timeoutButton(NSDictionary* entry) {
    auto button = buttonOf(entry);
    auto model = modelOf(entry);
    if (button && model) fadeButton(button.get(), model->endOpacity(), model->fadeDuration());
}

void MRJSONVideoOverlayControlView::fadeButton(UIView* button, float opacity, float duration) {
    Ref<UIView> kept(button);
    UIView::animateWithDuration(duration, [kept, opacity] { kept->setAlpha(opacity); });
}

void MRJSONVideoOverlayControlView::fadeInButtons() {
    if (videoFinishedPlaying_) return;
    for (NSUInteger i = 0; i < buttons_->count(); ++i) {
        auto entry = cast<NSDictionary>(buttons_->objectAtIndex(i));
        buttonOf(entry.get())->setAlpha(modelOf(entry.get())->startOpacity());
    }
}

void MRJSONVideoOverlayControlView::startTimeouts() {
    if (videoFinishedPlaying_) return;
    for (NSUInteger i = 0; i < buttons_->count(); ++i)
        scheduleTimeout(cast<NSDictionary>(buttons_->objectAtIndex(i)).get());
}

void MRJSONVideoOverlayControlView::stopTimeouts() {
    if (!timeoutTimers_) return;
    for (NSUInteger i = 0; i < timeoutTimers_->count(); ++i)
        if (auto t = as<NSTimer>(timeoutTimers_->objectAtIndex(i))) t->invalidate();
    timeoutTimers_->removeAllObjects();
}

void MRJSONVideoOverlayControlView::videoFinishedPlaying() {
    stopTimeouts();
    if (auto label = countdownLabel_.lock()) label->removeFromSuperview();
    countdownLabel_ = nullptr;
    videoFinishedPlaying_ = true;
    // Every button stays up at its start opacity; the ad's order is kept, the last on top.
    NSUInteger n = buttons_->count();
    for (NSUInteger i = n; i-- > 0;) {
        auto entry = cast<NSDictionary>(buttons_->objectAtIndex(i));
        auto button = buttonOf(entry.get());
        button->setAlpha(modelOf(entry.get())->startOpacity());
        if (button->superview().get() == this) continue;
        if (i + 1 < n) {
            auto next = buttonOf(cast<NSDictionary>(buttons_->objectAtIndex(i + 1)).get());
            if (next->superview().get() == this) {
                insertSubviewBelowSubview(button.get(), next.get());
                continue;
            }
        }
        addSubview(button.get());
    }
}

void MRJSONVideoOverlayControlView::restart() {
    stopTimeouts();
    videoFinishedPlaying_ = false;
    for (NSUInteger i = 0; i < buttons_->count(); ++i) {
        auto entry = cast<NSDictionary>(buttons_->objectAtIndex(i));
        auto button = buttonOf(entry.get());
        button->removeFromSuperview();
        button->setAlpha(modelOf(entry.get())->startOpacity());
    }
    showButtons();
    createAndShowCountdownLabel();
}

void MRJSONVideoOverlayControlView::touchesBegan(NSSet* touches, UIEvent* event) {
    UIView::touchesBegan(touches, event);
    stopTimeouts();
    fadeInButtons();
}

void MRJSONVideoOverlayControlView::touchesMoved(NSSet* touches, UIEvent* event) {
    UIView::touchesMoved(touches, event);
}

void MRJSONVideoOverlayControlView::touchesEnded(NSSet* touches, UIEvent* event) {
    UIView::touchesEnded(touches, event);
    startTimeouts();
}

void MRJSONVideoOverlayControlView::touchesCancelled(NSSet* touches, UIEvent* event) {
    UIView::touchesCancelled(touches, event);
    startTimeouts();
}

void MRJSONVideoOverlayControlView::videoButtonWasTapped(NSNotification*) {
    stopTimeouts();
    fadeInButtons();
    startTimeouts();
}

void MRJSONVideoOverlayControlView::jsonVideoButtonWasTapped(MRJSONVideoButton* button) {
    if (auto d = delegate_.lock()) d->jsonVideoButtonWasTapped(button, this);
}
