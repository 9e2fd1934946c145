#include "ui/style/DZActivityLabel.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIProgressView.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"

namespace {

constexpr CGFloat kSpacing = 6;
constexpr CGFloat kProgressMargin = 6;
constexpr NSTimeInterval kSmoothInterval = 0.01;
constexpr float kSmoothStep = 0.01f;

Ref<DZDefaultStyleSheet> defaultSheet() {
    return as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
}

}  // namespace

void DZActivityLabel::describeClass(RuntimeClass& c) {
    c.method("smoothTimer:",
             static_cast<void (DZActivityLabel::*)(NSTimer*)>(&DZActivityLabel::smoothTimer));
}

bool DZActivityLabel::initWithFrame(CGRect frame, DZActivityLabelStyle style, NSString* text) {
    if (!UIView::initWithFrame(frame)) return false;
    style_ = style;
    progress_ = 0;
    smoothesProgress_ = false;
    smoothTimer_ = nullptr;
    progressView_ = nullptr;

    bezelView_ = make<DZView>();
    // The style's row: view background, bezel style, indicator, font, text colour, shadow.
    enum Background { Clear, Dark, White };
    struct Look {
        Background background;
        const char* bezelStyle;
        UIActivityIndicatorViewStyle indicator;
        bool bannerFont, whiteText, shadow;
    };
    static const Look looks[] = {
        {Clear, nullptr, UIActivityIndicatorViewStyleWhite, false, true, false},
        {Clear, nullptr, UIActivityIndicatorViewStyleGray, false, false, false},
        {Dark, nullptr, UIActivityIndicatorViewStyleWhiteLarge, false, true, true},
        {Clear, "blackBezel", UIActivityIndicatorViewStyleWhiteLarge, false, true, true},
        {Clear, "blackBanner", UIActivityIndicatorViewStyleWhite, true, true, true},
        {Clear, "whiteBezel", UIActivityIndicatorViewStyleGray, false, false, false},
        {White, nullptr, UIActivityIndicatorViewStyleGray, false, false, false},
    };
    // Styles beyond the table look as the plain white one does.
    const Look& look = style >= 0 && style < 7 ? looks[style] : looks[6];
    auto sheet = DZStyleSheet::globalStyleSheet();
    auto defaults = defaultSheet();
    setBackgroundColor(look.background == Dark    ? UIColor::colorWithWhite(0, 0.8f)
                       : look.background == White ? UIColor::whiteColor()
                                                  : UIColor::clearColor());
    Ref<UIFont> font = !defaults         ? UIFont::systemFontOfSize(17)
                       : look.bannerFont ? defaults->activityBannerFont()
                                         : defaults->activityLabelFont();
    Ref<UIColor> textColor = look.whiteText ? UIColor::whiteColor()
                             : defaults     ? defaults->tableActivityTextColor()
                                            : UIColor::grayColor();
    Ref<UIColor> shadowColor = look.shadow ? UIColor::colorWithWhite(0, 0.3f) : nullptr;
    UIActivityIndicatorViewStyle indicatorStyle = look.indicator;
    bool largeFrame = indicatorStyle == UIActivityIndicatorViewStyleWhiteLarge;
    Ref<NSString> bezelStyle =
        look.bezelStyle ? NSString::stringWithUTF8String(look.bezelStyle) : nullptr;
    if (bezelStyle && sheet) bezelView_->setStyle(sheet->styleWithSelector(bezelStyle));
    bezelView_->setBackgroundColor(UIColor::clearColor());
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);

    label_ = make<UILabel>();
    label_->setText(text);
    label_->setBackgroundColor(UIColor::clearColor());
    label_->setLineBreakMode(UILineBreakModeTailTruncation);
    label_->setFont(font);
    label_->setTextColor(textColor);
    if (shadowColor) {
        label_->setShadowColor(shadowColor);
        label_->setShadowOffset(CGSizeMake(1, 1));
    }

    activityIndicator_ = make<UIActivityIndicatorView>(
        &UIActivityIndicatorView::initWithActivityIndicatorStyle, indicatorStyle);
    if (largeFrame) activityIndicator_->setFrame(CGRectMake(0, 0, 24, 24));

    addSubview(bezelView_);
    bezelView_->addSubview(activityIndicator_);
    bezelView_->addSubview(label_);
    activityIndicator_->startAnimating();
    return true;
}

bool DZActivityLabel::initWithFrame(CGRect frame, DZActivityLabelStyle style) {
    return initWithFrame(frame, style, nullptr);
}

bool DZActivityLabel::initWithStyle(DZActivityLabelStyle style) {
    return initWithFrame(CGRectZero, style, nullptr);
}

bool DZActivityLabel::initWithFrame(CGRect frame) {
    return initWithFrame(frame, DZActivityLabelStyleWhiteBox, nullptr);
}

void DZActivityLabel::dealloc() {
    if (auto timer = std::move(smoothTimer_)) timer->invalidate();
    bezelView_ = nullptr;
    progressView_ = nullptr;
    activityIndicator_ = nullptr;
    label_ = nullptr;
    UIView::dealloc();
}

Ref<NSString> DZActivityLabel::text() {
    return label_->text();
}

void DZActivityLabel::setText(NSString* text) {
    label_->setText(text);
    setNeedsLayout();
}

Ref<UIFont> DZActivityLabel::font() {
    return label_->font();
}

void DZActivityLabel::setFont(UIFont* font) {
    label_->setFont(font);
    setNeedsLayout();
}

bool DZActivityLabel::isAnimating() {
    return activityIndicator_->isAnimating();
}

void DZActivityLabel::setIsAnimating(bool animating) {
    if (animating)
        activityIndicator_->startAnimating();
    else
        activityIndicator_->stopAnimating();
}

void DZActivityLabel::setProgress(float progress) {
    progress_ = progress;
    if (!progressView_) {
        progressView_ = make<UIProgressView>(&UIProgressView::initWithProgressViewStyle,
                                             UIProgressViewStyleDefault);
        progressView_->setProgress(0);
        bezelView_->addSubview(progressView_);
        setNeedsLayout();
    }
    if (!smoothesProgress_) {
        progressView_->setProgress(progress);
    } else if (!smoothTimer_) {
        smoothTimer_ = NSTimer::scheduledTimerWithTimeInterval(
            kSmoothInterval, this, Selector::named("smoothTimer:"), nullptr, true);
    }
}

void DZActivityLabel::smoothTimer(NSTimer*) {
    // The bar never passes 1, so the goal is the progress as the bar can show it; a goal above
    // 1 would keep the timer running for ever.
    float goal = std::clamp(progress_, 0.0f, 1.0f);
    if (progressView_->progress() >= goal) {
        if (auto timer = std::move(smoothTimer_)) timer->invalidate();
        return;
    }
    progressView_->setProgress(progressView_->progress() + kSmoothStep);
}

CGSize DZActivityLabel::sizeThatFits(CGSize size) {
    CGFloat height = dzLineHeight(label_->font()) + (isBoxed() ? 30 : 16);
    if (progressView_) height += progressView_->frame().size.height + kSpacing;
    return CGSizeMake(size.width, height);
}

void DZActivityLabel::layoutSubviews() {
    UIView::layoutSubviews();
    auto text = label_->text();
    CGSize textSize = text ? sizeWithFont(text, label_->font()) : CGSizeZero;
    activityIndicator_->sizeToFit();

    CGFloat indicatorSize = 0;
    if (activityIndicator_->isAnimating())
        indicatorSize = std::min(activityIndicator_->frame().size.height, textSize.height);

    CGFloat contentWidth = indicatorSize + kSpacing + textSize.width;
    CGFloat contentHeight = std::max(textSize.height, indicatorSize);
    if (progressView_) {
        progressView_->sizeToFit();
        contentHeight += progressView_->frame().size.height + kSpacing;
    }

    CGFloat padding = isBoxed() ? 15 : 8;
    CGFloat margin = isBoxed() ? 10 : 0;
    CGFloat bezelWidth, bezelHeight;
    if (isBoxed()) {
        bezelWidth = contentWidth + padding * 2;
        bezelHeight = contentHeight + padding * 2;
    } else {
        bezelWidth = width(this);
        bezelHeight = height(this);
    }

    CGFloat maxBezelWidth = DZOrientedScreenBounds().size.width - margin * 2;
    if (bezelWidth > maxBezelWidth) {
        bezelWidth = maxBezelWidth;
        contentWidth = bezelWidth - (indicatorSize + kSpacing);
    }
    CGFloat textWidth =
        std::min(textSize.width, bezelWidth - (indicatorSize + kSpacing) - padding * 2);

    bezelView_->setFrame(CGRectMake(std::floor(width(this) / 2 - bezelWidth / 2),
                                    std::floor(height(this) / 2 - bezelHeight / 2), bezelWidth,
                                    bezelHeight));

    CGFloat y = padding + std::floor((bezelHeight - padding * 2) / 2 - contentHeight / 2);
    if (progressView_) {
        if (style_ == DZActivityLabelStyleBlackBanner) y += 4;
        CGFloat barHeight = progressView_->frame().size.height;
        progressView_->setFrame(
            CGRectMake(kProgressMargin, y, bezelWidth - kProgressMargin * 2, barHeight));
        y += barHeight + 5;
    }

    label_->setFrame(
        CGRectMake(std::floor(bezelWidth / 2 - contentWidth / 2 + indicatorSize + kSpacing), y,
                   textWidth, textSize.height));
    activityIndicator_->setFrame(
        CGRectMake(left(label_) - (indicatorSize + kSpacing), y, indicatorSize, indicatorSize));
}
