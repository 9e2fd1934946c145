#include "AdLoom/internal/AdLoomCustomAdView.h"

#include <cmath>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"

namespace {
// The icon of a type-2 ad: a rounded square of this side and corner radius, 4 points in.
constexpr CGFloat kIconLeft = 4;
constexpr CGFloat kIconSide = 39;
constexpr CGFloat kIconRadius = 7;
}  // namespace

void AdLoomCustomAdView::describeClass(RuntimeClass& c) {
    c.method("buttonTapUp:", &AdLoomCustomAdView::buttonTapUp);
}

bool AdLoomCustomAdView::initWithDelegate(AdLoomCustomAdViewDelegate* delegate, NSString* text,
                                          NSURL* redirectURL, NSURL* clickMetricsURL, int adType,
                                          int launchType, int animType, UIColor* backgroundColor,
                                          UIColor* textColor) {
    if (!initWithFrame(CGRectMake(0, 0, 320, 50))) return false;
    delegate_ = delegate;
    redirectURL_ = redirectURL;
    clickMetricsURL_ = clickMetricsURL;
    adType_ = adType;
    launchType_ = launchType;
    animType_ = animType;
    backgroundColor_ = backgroundColor;
    textColor_ = textColor;
    CGRect bounds = this->bounds();
    if (adType == AdLoomCustomAdTypeText) {
        textLabel_ =
            make<UILabel>(&UILabel::initWithFrame, CGRectMake(50, 0, 270, bounds.size.height));
        textLabel_->setText(text);
        textLabel_->setTextColor(textColor);
        textLabel_->setNumberOfLines(3);
        textLabel_->setBackgroundColor(UIColor::clearColor().get());
        textLabel_->setFont(UIFont::fontWithName(NS("TrebuchetMS-Bold"), 13).get());
        addSubview(textLabel_.get());
    }
    tapButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
    tapButton_->setFrame(bounds);
    tapButton_->setShowsTouchWhenHighlighted(true);
    tapButton_->addTarget(this, Selector::named("buttonTapUp:"), UIControlEventTouchUpInside);
    addSubview(tapButton_.get());
    // A finger lands on the covering button; whoever taps the banner itself (the terminal
    // front end, which taps the outermost control) gets the same answer.
    addTarget(this, Selector::named("buttonTapUp:"), UIControlEventTouchUpInside);
    setAccessibilityLabel(text && text->length() ? text : NS("House ad"));
    return true;
}

void AdLoomCustomAdView::buttonTapUp(NSObject*) {
    if (auto d = delegate_.lock()) d->adTapped(this);
}

void AdLoomCustomAdView::drawRect(CGRect) {
    CGRect bounds = this->bounds();
    if (adType_ == AdLoomCustomAdTypeBanner) {
        if (!image_) return;
        CGSize size = image_->size();
        image_->drawAtPoint(CGPointMake((bounds.size.width - size.width) / 2,
                                        (bounds.size.height - size.height) / 2));
    } else if (adType_ == AdLoomCustomAdTypeText) {
        drawIconAd(bounds);
    }
}

void AdLoomCustomAdView::drawIconAd(CGRect bounds) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGFloat h = bounds.size.height;
    CGContextSaveGState(ctx.get());
    CGContextSetRGBFillColor(ctx.get(), 1, 1, 1, 1);
    CGContextFillRect(ctx.get(), bounds);

    CGFloat r = 0.3f, g = 0.3f, b = 0.3f, a = 1;
    if (backgroundColor_) backgroundColor_->getRed(&r, &g, &b, &a);
    const CGFloat components[] = {r, g, b, 0.6f, r, g, b, a, r, g, b, a};
    const CGFloat locations[] = {0.0f, 0.7f, 1.0f};
    auto space = CGColorSpaceCreateDeviceRGB();
    auto gradient = CGGradientCreateWithColorComponents(space.get(), components, locations, 3);
    CGContextDrawLinearGradient(ctx.get(), gradient.get(), CGPointMake(0, 0), CGPointMake(0, h / 2),
                                0);
    CGContextDrawLinearGradient(ctx.get(), gradient.get(), CGPointMake(0, h), CGPointMake(0, h / 2),
                                0);

    CGFloat y0 = (h - kIconSide) / 2;
    CGFloat left = kIconLeft, right = kIconLeft + kIconSide, top = y0, bottom = y0 + kIconSide;
    CGFloat cl = left + kIconRadius, cr = right - kIconRadius;
    CGFloat ct = top + kIconRadius, cb = bottom - kIconRadius;
    const CGFloat pi = static_cast<CGFloat>(M_PI);
    if (image_) {
        CGContextSaveGState(ctx.get());
        CGContextBeginPath(ctx.get());
        CGContextMoveToPoint(ctx.get(), left, ct);
        CGContextAddArc(ctx.get(), cl, ct, kIconRadius, pi, 1.5f * pi, 0);
        CGContextAddLineToPoint(ctx.get(), cr, top);
        CGContextAddArc(ctx.get(), cr, ct, kIconRadius, 1.5f * pi, 2 * pi, 0);
        CGContextAddLineToPoint(ctx.get(), right, cb);
        CGContextAddArc(ctx.get(), cr, cb, kIconRadius, 0, 0.5f * pi, 0);
        CGContextAddLineToPoint(ctx.get(), cl, bottom);
        CGContextAddArc(ctx.get(), cl, cb, kIconRadius, 0.5f * pi, pi, 0);
        CGContextClosePath(ctx.get());
        CGContextClip(ctx.get());
        image_->drawAtPoint(CGPointMake(left, y0));
        CGContextRestoreGState(ctx.get());
    }

    // The outline: lit from the top right, darker on the left and at the bottom.
    CGContextSetLineWidth(ctx.get(), 0.5f);
    CGContextSetRGBStrokeColor(ctx.get(), 1, 1, 1, 0.4f);
    CGContextBeginPath(ctx.get());
    CGContextMoveToPoint(ctx.get(), left, cb);
    CGContextAddLineToPoint(ctx.get(), left, ct);
    CGContextAddArc(ctx.get(), cl, ct, kIconRadius, pi, 1.25f * pi, 0);
    CGContextStrokePath(ctx.get());

    CGContextSetRGBStrokeColor(ctx.get(), 1, 1, 1, 0.9f);
    CGContextBeginPath(ctx.get());
    CGContextAddArc(ctx.get(), cl, ct, kIconRadius, 1.25f * pi, 1.5f * pi, 0);
    CGContextAddLineToPoint(ctx.get(), cr, top);
    CGContextAddArc(ctx.get(), cr, ct, kIconRadius, 1.5f * pi, 2 * pi, 0);
    CGContextAddLineToPoint(ctx.get(), right, cb);
    CGContextAddArc(ctx.get(), cr, cb, kIconRadius, 0, 0.25f * pi, 0);
    CGContextStrokePath(ctx.get());

    CGContextSetRGBStrokeColor(ctx.get(), 1, 1, 1, 0.4f);
    CGContextBeginPath(ctx.get());
    CGContextAddArc(ctx.get(), cr, cb, kIconRadius, 0.25f * pi, 0.5f * pi, 0);
    CGContextAddLineToPoint(ctx.get(), cl, bottom);
    CGContextAddArc(ctx.get(), cl, cb, kIconRadius, 0.5f * pi, pi, 0);
    CGContextStrokePath(ctx.get());
    CGContextRestoreGState(ctx.get());
}
