#include "ui/table/DZSearchlightLabel.h"

#include <cfloat>
#include <cmath>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "CoreGraphics/CGImage.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableSupport.h"

namespace {

constexpr NSTimeInterval kSweepInterval = 0.03125;
constexpr CGFloat kSweepStep = 0.040625;
constexpr CGFloat kSweepStart = -0.5;
constexpr CGFloat kSweepEnd = 2.0;
// Past this point the spotlight is off the text: no redraw, which makes the pause between sweeps.
constexpr CGFloat kSweepVisibleEnd = 1.5;

}  // namespace

void DZSearchlightLabel::describeClass(RuntimeClass& c) {
    c.method("updateSpotlight", &DZSearchlightLabel::updateSpotlight);
}

bool DZSearchlightLabel::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    text_ = NS("");
    font_ = DZTableStyleSheet()->font();
    textColor_ = UIColor::colorWithWhite(0.25, 1);
    spotlightColor_ = UIColor::whiteColor();
    setBackgroundColor(UIColor::clearColor().get());
    setContentMode(UIViewContentModeCenter);
    return true;
}

void DZSearchlightLabel::dealloc() {
    stopAnimating();
    UIView::dealloc();
}

void DZSearchlightLabel::setText(NSString* text) {
    text_ = text ? text->copy() : Ref<NSString>(NS(""));
    setNeedsDisplay();
}

void DZSearchlightLabel::setFont(UIFont* font) {
    font_ = font;
    setNeedsDisplay();
}

void DZSearchlightLabel::setTextColor(UIColor* color) {
    textColor_ = color;
    setNeedsDisplay();
}

void DZSearchlightLabel::setTextAlignment(UITextAlignment alignment) {
    textAlignment_ = alignment;
    setNeedsDisplay();
}

UIAccessibilityTraits DZSearchlightLabel::accessibilityTraits() {
    return UIView::accessibilityTraits() | UIAccessibilityTraitStaticText;
}

void DZSearchlightLabel::newMask() {
    size_t w = static_cast<size_t>(bounds().size.width);
    size_t h = static_cast<size_t>(bounds().size.height);
    size_t bytesPerRow = w * 4;
    maskData_.assign(bytesPerRow * h, 0);
    maskContext_ =
        CGBitmapContextCreate(maskData_.data(), w, h, 8, bytesPerRow,
                              CGColorSpaceCreateDeviceRGB().get(), kCGImageAlphaPremultipliedLast);
}

void DZSearchlightLabel::releaseMask() {
    maskContext_ = nullptr;
    maskData_.clear();
    maskData_.shrink_to_fit();
}

Ref<CGImage> DZSearchlightLabel::newSpotlightMask(CGRect rect, CGPoint origin, CGFloat radius) {
    if (!maskContext_) return nullptr;
    CGContextClearRect(maskContext_.get(), rect);
    const CGFloat components[] = {1, 1, 1, 1, 0, 0, 0, 0};
    const CGFloat locations[] = {0, 1};
    auto gradient = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB().get(),
                                                        components, locations, 2);
    CGContextDrawRadialGradient(maskContext_.get(), gradient.get(), origin, 0, origin, radius, 0);
    return CGBitmapContextCreateImage(maskContext_.get());
}

void DZSearchlightLabel::updateSpotlight() {
    spotlightPoint_ += kSweepStep;
    if (spotlightPoint_ > kSweepEnd) spotlightPoint_ = kSweepStart;
    if (spotlightPoint_ <= kSweepVisibleEnd) setNeedsDisplay();
}

CGSize DZSearchlightLabel::sizeThatFits(CGSize) {
    if (!text_ || text_->length() == 0) return CGSizeZero;
    return sizeWithFont(text_.get(), font_.get(), CGSizeMake(FLT_MAX, FLT_MAX));
}

void DZSearchlightLabel::drawRect(CGRect rect) {
    auto context = UIGraphicsGetCurrentContext();
    if (!context || !font_) return;
    CGSize size = sizeThatFits(CGSizeZero);
    CGFloat frameWidth = frame().size.width;
    CGFloat x = 0;
    if (textAlignment_ == UITextAlignmentCenter)
        x = std::ceil(frameWidth * 0.5f - size.width * 0.5f);
    else if (textAlignment_ == UITextAlignmentRight)
        x = frameWidth - size.width;
    CGFloat capHeight = font_->capHeight();
    CGFloat y;
    if (contentMode() == UIViewContentModeCenter)
        y = std::ceil(rect.size.height * 0.5f + capHeight * 0.5f);
    else if (contentMode() == UIViewContentModeBottom)
        y = rect.size.height + font_->descender();
    else
        y = capHeight;

    // Through the framework's own text drawing: the text shows as itself whatever its script,
    // with the baseline at y.
    CGPoint origin = CGPointMake(x, y - font_->ascender());
    auto drawText = [&](UIColor* color) {
        CGContextSetFillColorWithColor(context.get(), color->CGColor().get());
        drawAtPoint(text_.get(), origin, font_.get());
    };
    drawText(textColor_.get());

    if (isAnimating()) {
        CGPoint centre =
            CGPointMake(x + size.width * spotlightPoint_, y - std::ceil(capHeight * 0.5f));
        auto mask = newSpotlightMask(rect, centre, capHeight * 2);
        if (!mask) return;
        CGContextSaveGState(context.get());
        CGContextClipToMask(context.get(), rect, mask.get());
        drawText(spotlightColor_.get());
        CGContextRestoreGState(context.get());
    }
}

void DZSearchlightLabel::startAnimating() {
    if (isAnimating()) return;
    timer_ = NSTimer::scheduledTimerWithTimeInterval(
        kSweepInterval, this, Selector::named("updateSpotlight"), nullptr, true);
    spotlightPoint_ = kSweepStart;
    newMask();
}

void DZSearchlightLabel::stopAnimating() {
    if (auto timer = timer_.lock()) {
        timer->invalidate();
        timer_ = nullptr;
        releaseMask();
    }
    setNeedsDisplay();
}
