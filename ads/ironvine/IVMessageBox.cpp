#include "ads/ironvine/IVMessageBox.h"

#include <algorithm>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "CoreGraphics/CGLayer.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIWindow.h"

namespace {
constexpr CGFloat kBoxSide = 256.0f;

void roundedRect(CGContextRef c, CGSize size, CGFloat r) {
    CGFloat w = size.width, h = size.height;
    CGContextBeginPath(c);
    CGContextMoveToPoint(c, r, 0);
    CGContextAddLineToPoint(c, w - r, 0);
    CGContextAddArcToPoint(c, w, 0, w, r, r);
    CGContextAddLineToPoint(c, w, h - r);
    CGContextAddArcToPoint(c, w, h, w - r, h, r);
    CGContextAddLineToPoint(c, r, h);
    CGContextAddArcToPoint(c, 0, h, 0, h - r, r);
    CGContextAddLineToPoint(c, 0, r);
    CGContextAddArcToPoint(c, 0, 0, r, 0, r);
    CGContextClosePath(c);
}
}  // namespace

// ---- the box's view -------------------------------------------------------------------------

bool IVMessageBoxView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    initialize();
    return true;
}

void IVMessageBoxView::dealloc() {
    contentView_ = nullptr;
    bgLayer_ = nullptr;
    UIView::dealloc();
}

void IVMessageBoxView::initialize() {
    setOpaque(false);
    setBackgroundColor(UIColor::clearColor().get());
    updateBackgroundLayerForSize(bounds().size);
    layoutViews();
    contentView_ = make<UIScrollView>(&UIScrollView::initWithFrame,
                                      CGRectInset(bounds(), cornerRadius_, cornerRadius_));
    contentView_->setBackgroundColor(UIColor::clearColor().get());
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                      UIViewAutoresizingFlexibleHeight);
    addSubview(contentView_.get());
}

void IVMessageBoxView::layoutViews() {
    if (!contentView_) return;
    CGFloat width = contentView_->bounds().size.width, running = 0;
    auto views = contentView_->subviews();
    for (NSObject* o : *views) {
        auto v = static_cast<UIView*>(o);
        CGFloat h = v->frame().size.height;
        v->setCenter(CGPointMake(width * 0.5f, running + h * 0.5f));
        running += h;
    }
    contentView_->setContentSize(CGSizeMake(width, running));
    contentSize_ = CGSizeMake(width, running);
}

void IVMessageBoxView::removeView(UIView* view) {
    if (!view || !contentView_ || view->superview().get() != contentView_.get()) return;
    CGFloat h = view->frame().size.height;
    auto views = contentView_->subviews();
    bool after = false;
    for (NSObject* o : *views) {
        auto v = static_cast<UIView*>(o);
        if (after) v->setCenter(CGPointMake(v->center().x, v->center().y - h));
        if (v == view) after = true;
    }
    view->removeFromSuperview();
    contentSize_.height -= h;
    contentView_->setContentSize(contentSize_);
}

void IVMessageBoxView::addView(UIView* view) {
    if (!view || !contentView_) return;
    CGFloat h = view->frame().size.height;
    contentView_->addSubview(view);
    view->setCenter(
        CGPointMake(contentView_->bounds().size.width * 0.5f, contentSize_.height + h * 0.5f));
    contentSize_.height += h;
    contentView_->setContentSize(contentSize_);
}

void IVMessageBoxView::sizeToFit() {
    auto views = contentView_ ? contentView_->subviews() : nullptr;
    if (!views || views->count() == 0) return;
    CGRect all = CGRectNull;
    for (NSObject* o : *views)
        all = CGRectUnion(all, static_cast<UIView*>(o)->frame());
    CGSize size =
        CGSizeMake(all.size.width + 2 * cornerRadius_, all.size.height + 2 * cornerRadius_);
    size.height = std::min(size.height, kMaximumHeight);  // taller content scrolls
    setBounds(CGRectMake(0, 0, size.width, size.height));
    contentView_->setFrame(CGRectInset(bounds(), cornerRadius_, cornerRadius_));
    updateBackgroundLayerForSize(size);
    layoutViews();
}

void IVMessageBoxView::drawRect(CGRect) {
    auto c = UIGraphicsGetCurrentContext();
    if (c && bgLayer_) CGContextDrawLayerAtPoint(c.get(), CGPointZero, bgLayer_.get());
}

void IVMessageBoxView::updateBackgroundLayerForSize(CGSize size) {
    cornerRadius_ = UIScreen::mainScreen()->bounds().size.width / 20.0f;
    bgLayer_ = nullptr;
    if (size.width <= 0 || size.height <= 0) return;
    // Outside a drawing pass there is no current context; a scratch one gives the layer its
    // kind, so the box has its background before it is first drawn.
    auto current = UIGraphicsGetCurrentContext();
    bool scratch = !current;
    if (scratch) {
        UIGraphicsBeginImageContext(CGSizeMake(1, 1));
        current = UIGraphicsGetCurrentContext();
    }
    bgLayer_ = CGLayerCreateWithContext(current.get(), size, nullptr);
    if (scratch) UIGraphicsEndImageContext();
    if (!bgLayer_) return;
    CGContextRef c = CGLayerGetContext(bgLayer_.get());
    CGContextSaveGState(c);
    roundedRect(c, size, cornerRadius_);
    CGContextClip(c);
    const CGFloat components[] = {0.5f,  0.5f,  0.5f, 0.75f, 0.25f, 0.25f,
                                  0.25f, 0.75f, 0.0f, 0.0f,  0.0f,  0.75f};
    const CGFloat locations[] = {0.0f, 0.1f, 1.0f};
    auto space = CGColorSpaceCreateDeviceRGB();
    auto gradient = CGGradientCreateWithColorComponents(space.get(), components, locations, 3);
    // Drawn into the view, the layer's y = 0 is the box's top.
    CGContextDrawLinearGradient(c, gradient.get(), CGPointMake(0, 0), CGPointMake(0, size.height),
                                0);
    CGContextRestoreGState(c);
    roundedRect(c, size, cornerRadius_);
    CGContextSetRGBStrokeColor(c, 1, 1, 1, 1);
    CGContextSetLineWidth(c, 4.0f);
    CGContextStrokePath(c);
    setNeedsDisplay();
}

// ---- the box --------------------------------------------------------------------------------

void IVMessageBox::describeClass(RuntimeClass& c) {
    c.method("animationFinished:finished:context:", &IVMessageBox::animationFinished);
}

Ref<IVMessageBox> IVMessageBox::messageBox() {
    return make<IVMessageBox>();
}

bool IVMessageBox::init() {
    if (!UIViewController::init()) return false;
    auto window = UIApplication::sharedApplication()->keyWindow();
    CGRect area = window ? window->bounds() : UIScreen::mainScreen()->bounds();
    auto box = make<IVMessageBoxView>(
        &IVMessageBoxView::initWithFrame,
        CGRectMake((area.size.width - kBoxSide) * 0.5f, (area.size.height - kBoxSide) * 0.5f,
                   kBoxSide, kBoxSide));
    box->setAutoresizingMask(
        UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
        UIViewAutoresizingFlexibleTopMargin | UIViewAutoresizingFlexibleBottomMargin);
    setView(box.get());
    return true;
}

void IVMessageBox::dealloc() {
    titleView_ = nullptr;
    messageView_ = nullptr;
    UIViewController::dealloc();
}

Ref<IVMessageBoxView> IVMessageBox::boxView() {
    return as<IVMessageBoxView>(view());
}

void IVMessageBox::setTransform(CGAffineTransform transform) {
    view()->setTransform(transform);
}

void IVMessageBox::animationFinished(NSString*, NSNumber*, void*) {
    view()->removeFromSuperview();
}

void IVMessageBox::hide() {
    UIView::beginAnimations(NS("IVMessageBox"), nullptr);
    UIView::setAnimationDuration(0.5);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(Selector::named("animationFinished:finished:context:"));
    view()->setAlpha(0);
    UIView::commitAnimations();
    view()->removeFromSuperview();
}

void IVMessageBox::showInView(UIView* target) {
    auto box = boxView();
    box->sizeToFit();
    CGRect b = target->bounds();
    box->setCenter(CGPointMake(b.size.width * 0.5f, b.size.height * 0.5f));
    box->setTransform(CGAffineTransformScale(box->transform(), 1.25f, 1.25f));
    box->setAlpha(0);
    target->addSubview(box.get());
    UIView::beginAnimations(NS("IVMessageBox"), nullptr);
    UIView::setAnimationDuration(0.5);
    box->setTransform(CGAffineTransformScale(box->transform(), 0.8f, 0.8f));
    box->setAlpha(1.0f);
    UIView::commitAnimations();
}

void IVMessageBox::removeView(UIView* v) {
    boxView()->removeView(v);
}
void IVMessageBox::addView(UIView* v) {
    boxView()->addView(v);
}

Ref<UILabel> IVMessageBox::makeLabel(NSString* text) {
    auto label = make<UILabel>(&UILabel::initWithFrame, view()->bounds());
    label->setOpaque(false);
    label->setBackgroundColor(UIColor::clearColor().get());
    label->setTextColor(UIColor::whiteColor().get());
    label->setShadowColor(UIColor::blackColor().get());
    label->setText(text);
    return label;
}

void IVMessageBox::setMessage(NSString* message) {
    if (messageView_) removeView(messageView_.get());
    messageView_ = makeLabel(message);
    messageView_->setFont(UIFont::systemFontOfSize(UIFont::labelFontSize()).get());
    messageView_->setNumberOfLines(0);
    messageView_->sizeToFit();
    addView(messageView_.get());
}

void IVMessageBox::setTitle(NSString* title) {
    if (titleView_) removeView(titleView_.get());
    titleView_ = makeLabel(title);
    titleView_->setFont(UIFont::boldSystemFontOfSize(UIFont::labelFontSize()).get());
    titleView_->setNumberOfLines(2);
    titleView_->setAdjustsFontSizeToFitWidth(true);
    titleView_->setMinimumFontSize(5.0f);
    titleView_->sizeToFit();
    addView(titleView_.get());
}
