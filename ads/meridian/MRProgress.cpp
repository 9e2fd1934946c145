#include "ads/meridian/MRProgress.h"

#include <algorithm>

#include "CoreGraphics/CGContext.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"

void MRAddRoundedRectToPath(CGContextRef c, CGRect rect, CGFloat radius) {
    CGFloat x0 = CGRectGetMinX(rect), x1 = CGRectGetMaxX(rect);
    CGFloat y0 = CGRectGetMinY(rect), y1 = CGRectGetMaxY(rect);
    CGContextMoveToPoint(c, x0 + radius, y0);
    CGContextAddArcToPoint(c, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(c, x1, y1, x0, y1, radius);
    CGContextAddArcToPoint(c, x0, y1, x0, y0, radius);
    CGContextAddArcToPoint(c, x0, y0, x1, y0, radius);
    CGContextClosePath(c);
}

namespace {
void addPill(CGContextRef c, CGRect rect, CGFloat radius) {
    radius = std::max<CGFloat>(0, std::min({radius, rect.size.height / 2, rect.size.width / 2}));
    CGContextBeginPath(c);
    MRAddRoundedRectToPath(c, rect, radius);
}

// The shape's upper half (down to the middle line) at `upperAlpha`, its lower half opaque, both
// cut at `limit` on the right.
void fillHalves(CGContextRef c, CGRect shape, CGFloat radius, UIColor* color, CGFloat upperAlpha,
                CGFloat middle, CGFloat limit) {
    if (!color) return;
    CGContextSaveGState(c);
    CGContextClipToRect(c, CGRectMake(0, 0, limit, middle));
    CGContextSetFillColorWithColor(c, color->colorWithAlphaComponent(upperAlpha)->CGColor().get());
    addPill(c, shape, radius);
    CGContextFillPath(c);
    CGContextRestoreGState(c);
    CGContextSaveGState(c);
    CGContextClipToRect(c, CGRectMake(0, middle, limit, shape.origin.y + shape.size.height));
    CGContextSetFillColorWithColor(c, color->CGColor().get());
    addPill(c, shape, radius);
    CGContextFillPath(c);
    CGContextRestoreGState(c);
}
}  // namespace

bool MRProgress::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    minValue_ = 0;
    maxValue_ = 1;
    currentValue_ = 0;
    setBackgroundColor(UIColor::clearColor().get());
    lineColor_ = UIColor::whiteColor();
    progressColor_ = UIColor::darkGrayColor();
    progressRemainingColor_ = UIColor::lightGrayColor();
    return true;
}

void MRProgress::setMinValue(float v) {
    minValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setMaxValue(float v) {
    maxValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setCurrentValue(float v) {
    currentValue_ = v;
    setNeedsDisplay();
}
void MRProgress::setLineColor(UIColor* c) {
    lineColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setProgressRemainingColor(UIColor* c) {
    progressRemainingColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setProgressColor(UIColor* c) {
    progressColor_ = c;
    setNeedsDisplay();
}
void MRProgress::setNewRect(CGRect frame) {
    setFrame(frame);
    setNeedsDisplay();
}

void MRProgress::drawRect(CGRect) {
    auto context = UIGraphicsGetCurrentContext();
    if (!context) return;
    CGContextRef c = context.get();
    CGFloat w = bounds().size.width, h = bounds().size.height;
    CGFloat m = h / 2, r = m - 2;
    CGContextSetLineWidth(c, 2);
    if (lineColor_) CGContextSetStrokeColorWithColor(c, lineColor_->CGColor().get());
    auto track = CGRectMake(2, 2, w - 4, h - 4);
    fillHalves(c, track, r, progressRemainingColor_.get(), 0.7, m, w);
    addPill(c, track, r);
    CGContextStrokePath(c);

    CGFloat span = maxValue_ - minValue_;
    CGFloat p = span != 0 ? w * currentValue_ / span : 0;
    if (p <= 0) return;
    CGFloat end = r - 2;
    CGRect bar;
    CGFloat limit = w;
    if (p > w - end - 4) {
        bar = CGRectMake(4, 4, w - 8, h - 8);
    } else if (p >= 4 + end) {
        bar = CGRectMake(4, 4, p + end, h - 8);
    } else {
        // Only the curved left end, cut where the value ends.
        bar = CGRectMake(4, 4, 2 * end, h - 8);
        limit = p;
    }
    fillHalves(c, bar, end, progressColor_.get(), 0.78, m, limit);
}
