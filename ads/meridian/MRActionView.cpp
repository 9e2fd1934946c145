#include "ads/meridian/MRActionView.h"

#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "ads/meridian/MRProgress.h"

namespace {
Ref<MRActionView>& onShow() {
    struct Shown {
        Ref<MRActionView> view;
    };
    static ProcessWide<Shown> slot;
    return slot.get()->view;
}
}  // namespace

void MRActionView::describeClass(RuntimeClass& c) {
    c.method("fadeOutDidStop", &MRActionView::fadeOutDidStop);
}

Ref<MRActionView> MRActionView::errorViewForView(UIView* view, NSString* text) {
    auto panel = alloc<MRActionView>();
    if (!panel->initForView(view, text)) return nullptr;
    return panel;
}

Ref<MRActionView> MRActionView::viewOnShow() {
    return onShow();
}

bool MRActionView::initForView(UIView* view, NSString* text) {
    if (!UIView::initWithFrame(CGRectZero)) return false;
    removeViewOnShow();
    onShow() = this;
    setOpaque(false);
    setBackgroundColor(UIColor::colorWithWhite(0, 0.75).get());
    layer()->setCornerRadius(10);
    setUserInteractionEnabled(false);
    spinner_ = make<MRProgress>(&MRProgress::initWithFrame, CGRectMake(20, 50, 160, 40));
    addSubview(spinner_.get());
    textLabel()->setText(text);
    addSubview(textLabel().get());
    if (view) {
        view->addSubview(this);
        setCenter(view->center());
    }
    setAlpha(0);
    setTransform(CGAffineTransformMakeScale(3, 3));
    Ref<MRActionView> self(this);
    UIView::animateWithDuration(0.3, [self] {
        self->setAlpha(1);
        self->setTransform(CGAffineTransformIdentity);
    });
    return true;
}

Ref<UILabel> MRActionView::textLabel() {
    if (!textLabel_) {
        textLabel_ = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
        textLabel_->setFont(UIFont::systemFontOfSize(UIFont::systemFontSize()).get());
        textLabel_->setNumberOfLines(0);
        textLabel_->setTextAlignment(UITextAlignmentCenter);
        textLabel_->setTextColor(UIColor::whiteColor().get());
        textLabel_->setBackgroundColor(UIColor::clearColor().get());
    }
    return textLabel_;
}

void MRActionView::layoutSubviews() {
    UIView::setFrame(CGRectMake(60, 96, 200, 154));
    if (auto parent = superview()) {
        auto b = parent->bounds();
        setCenter(CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)));
    }
    if (textLabel_) textLabel_->setFrame(CGRectMake(20, 87, 160, 60));
}

void MRActionView::removeView() {
    Ref<MRActionView> self(this);
    UIView::animateWithDuration(
        0.5, [self] { self->setAlpha(0); }, [self](bool) { self->fadeOutDidStop(); });
}

void MRActionView::fadeOutDidStop() {
    removeViewOnShow();
}

void MRActionView::removeViewOnShow() {
    auto& shown = onShow();
    if (!shown) return;
    Ref<MRActionView> view = shown;
    shown = nullptr;
    view->removeFromSuperview();
}

void MRActionView::dealloc() {
    if (spinner_) spinner_->removeFromSuperview();
    spinner_ = nullptr;
    imageView_ = nullptr;
    textLabel_ = nullptr;
    UIView::dealloc();
}
