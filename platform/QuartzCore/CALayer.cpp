#include "QuartzCore/CALayer.h"

#include <algorithm>
#include <cmath>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGImage.h"
#include "CoreGraphics/CGPath.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "QuartzCore/CAAnimation.h"

NSString* const kCAGravityCenter = NS("center");
NSString* const kCAGravityTop = NS("top");
NSString* const kCAGravityBottom = NS("bottom");
NSString* const kCAGravityLeft = NS("left");
NSString* const kCAGravityRight = NS("right");
NSString* const kCAGravityTopLeft = NS("topLeft");
NSString* const kCAGravityTopRight = NS("topRight");
NSString* const kCAGravityBottomLeft = NS("bottomLeft");
NSString* const kCAGravityBottomRight = NS("bottomRight");
NSString* const kCAGravityResize = NS("resize");
NSString* const kCAGravityResizeAspect = NS("resizeAspect");
NSString* const kCAGravityResizeAspectFill = NS("resizeAspectFill");
NSString* const kCAGradientLayerAxial = NS("axial");

namespace {

// Draws an image upright into rect of a y-down context.
void drawImageUpright(CGContextRef ctx, CGImage* image, CGRect rect) {
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, rect.origin.x, rect.origin.y + rect.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, rect.size.width, rect.size.height), image);
    CGContextRestoreGState(ctx);
}

void addRoundedBounds(CGContextRef ctx, CGRect r, CGFloat radius) {
    if (radius <= 0) {
        CGContextAddRect(ctx, r);
        return;
    }
    auto path = CGPathCreateWithRoundedRect(r, radius, radius, nullptr);
    CGContextAddPath(ctx, path);
}

bool same(NSString* a, NSString* b) {
    return a && b && a->isEqualToString(b);
}

// Where contents of the given size go inside bounds for a gravity (y down: "top" is the top).
CGRect gravityRect(NSString* gravity, CGRect b, CGSize s) {
    if (!gravity || same(gravity, kCAGravityResize) || s.width <= 0 || s.height <= 0) return b;
    const CGFloat bw = b.size.width, bh = b.size.height;
    if (same(gravity, kCAGravityResizeAspect) || same(gravity, kCAGravityResizeAspectFill)) {
        CGFloat sx = bw / s.width, sy = bh / s.height;
        CGFloat k = same(gravity, kCAGravityResizeAspect) ? std::min(sx, sy) : std::max(sx, sy);
        CGSize t{s.width * k, s.height * k};
        return CGRectMake(b.origin.x + (bw - t.width) / 2, b.origin.y + (bh - t.height) / 2,
                          t.width, t.height);
    }
    CGFloat x = b.origin.x + (bw - s.width) / 2, y = b.origin.y + (bh - s.height) / 2;
    std::string g = gravity->utf8();
    if (g.find("left") != std::string::npos || g == "left") x = b.origin.x;
    if (g.find("Left") != std::string::npos) x = b.origin.x;
    if (g.find("right") != std::string::npos || g.find("Right") != std::string::npos) {
        x = b.origin.x + bw - s.width;
    }
    if (g.rfind("top", 0) == 0) y = b.origin.y;
    if (g.rfind("bottom", 0) == 0) y = b.origin.y + bh - s.height;
    return CGRectMake(x, y, s.width, s.height);
}

}  // namespace

// ---- CALayer ----------------------------------------------------------------------------------

Ref<CALayer> CALayer::layer() {
    return make<CALayer>();
}

bool CALayer::init() {
    if (!NSObject::init()) return false;
    gravity_ = kCAGravityResize;
    borderColor_ = CGColorCreateGenericGray(0, 1);
    shadowColor_ = CGColorCreateGenericGray(0, 1);
    return true;
}

void CALayer::setBounds(CGRect bounds) {
    CGSize old = bounds_.size;
    bounds_ = bounds;
    if (displayOnBoundsChange_ && !CGSizeEqualToSize(old, bounds.size)) setNeedsDisplay();
    if (!CGSizeEqualToSize(old, bounds.size)) setNeedsLayout();
}

void CALayer::setPosition(CGPoint position) {
    position_ = position;
}

void CALayer::setAnchorPoint(CGPoint anchorPoint) {
    anchor_ = anchorPoint;
}

CGAffineTransform CALayer::transformToSuperlayer() {
    // Bounds coordinates to the anchor, through the transform, to the position.
    CGFloat ax = bounds_.origin.x + anchor_.x * bounds_.size.width;
    CGFloat ay = bounds_.origin.y + anchor_.y * bounds_.size.height;
    CGAffineTransform t = CGAffineTransformMakeTranslation(-ax, -ay);
    t = CGAffineTransformConcat(t, affineTransform());
    return CGAffineTransformConcat(t, CGAffineTransformMakeTranslation(position_.x, position_.y));
}

CGRect CALayer::frame() {
    return CGRectApplyAffineTransform(bounds_, transformToSuperlayer());
}

void CALayer::setFrame(CGRect frame) {
    CGRect f = CGRectStandardize(frame);
    if (CATransform3DIsIdentity(transform_)) {
        setBounds(CGRectMake(bounds_.origin.x, bounds_.origin.y, f.size.width, f.size.height));
    }
    position_ =
        CGPointMake(f.origin.x + anchor_.x * f.size.width, f.origin.y + anchor_.y * f.size.height);
}

namespace {
// From a layer's bounds coordinates to those of the root of its tree.
CGAffineTransform toRoot(CALayer* layer) {
    CGAffineTransform t = CGAffineTransformIdentity;
    for (Ref<CALayer> l = layer; l; l = l->superlayer()) {
        if (!l->superlayer()) break;
        t = CGAffineTransformConcat(t, l->transformToSuperlayer());
    }
    return t;
}
}  // namespace

CGPoint CALayer::convertPoint(CGPoint p, CALayer* toLayer) {
    CGPoint r = CGPointApplyAffineTransform(p, toRoot(this));
    return toLayer ? CGPointApplyAffineTransform(r, CGAffineTransformInvert(toRoot(toLayer))) : r;
}

CGPoint CALayer::convertPointFromLayer(CGPoint p, CALayer* fromLayer) {
    if (!fromLayer) return CGPointApplyAffineTransform(p, CGAffineTransformInvert(toRoot(this)));
    return fromLayer->convertPoint(p, this);
}

CGRect CALayer::convertRect(CGRect r, CALayer* toLayer) {
    CGAffineTransform t = toRoot(this);
    if (toLayer) t = CGAffineTransformConcat(t, CGAffineTransformInvert(toRoot(toLayer)));
    return CGRectApplyAffineTransform(r, t);
}

CGRect CALayer::convertRectFromLayer(CGRect r, CALayer* fromLayer) {
    if (!fromLayer) return CGRectApplyAffineTransform(r, CGAffineTransformInvert(toRoot(this)));
    return fromLayer->convertRect(r, this);
}

CGRect CALayer::visibleRect() {
    CGRect r = bounds_;
    for (Ref<CALayer> l = superlayer(); l; l = l->superlayer()) {
        if (l->masksToBounds()) r = CGRectIntersection(r, l->convertRect(l->bounds(), this));
    }
    return CGRectIsNull(r) ? CGRectZero : r;
}

bool CALayer::containsPoint(CGPoint p) {
    return CGRectContainsPoint(bounds_, p);
}

Ref<CALayer> CALayer::hitTest(CGPoint p) {
    if (hidden_ || opacity_ <= 0) return nullptr;
    CGPoint local =
        CGPointApplyAffineTransform(p, CGAffineTransformInvert(transformToSuperlayer()));
    bool inside = containsPoint(local);
    if (masksToBounds_ && !inside) return nullptr;
    for (auto it = sublayers_.rbegin(); it != sublayers_.rend(); ++it) {
        if (auto hit = (*it)->hitTest(local)) return hit;
    }
    return inside ? Ref<CALayer>(this) : nullptr;
}

Ref<NSArray> CALayer::sublayers() {
    if (sublayers_.empty()) return nullptr;
    return NSArray::arrayWithVector(sublayers_);
}

void CALayer::setSublayers(NSArray* sublayers) {
    auto old = sublayers_;
    for (auto& l : old)
        l->removeFromSuperlayer();
    if (!sublayers) return;
    for (NSUInteger i = 0; i < sublayers->count(); ++i) {
        if (auto l = as<CALayer>(sublayers->objectAtIndex(i))) addSublayer(l);
    }
}

void CALayer::addSublayer(CALayer* layer) {
    insertSublayer(layer, NSUInteger(sublayers_.size()));
}

void CALayer::insertSublayer(CALayer* layer, NSUInteger index) {
    if (!layer || layer == this) return;
    Ref<CALayer> keep(layer);
    if (layer->superlayer().get() == this) {
        // Moving within this layer: the index counts the list without it.
        auto it = std::find(sublayers_.begin(), sublayers_.end(), keep);
        sublayers_.erase(it);
    } else {
        layer->removeFromSuperlayer();
    }
    size_t at = std::min<size_t>(index, sublayers_.size());
    sublayers_.insert(sublayers_.begin() + ptrdiff_t(at), keep);
    layer->superlayer_ = this;
}

void CALayer::insertSublayerBelow(CALayer* layer, CALayer* sibling) {
    auto it = std::find(sublayers_.begin(), sublayers_.end(), Ref<CALayer>(sibling));
    if (!sibling || it == sublayers_.end()) {
        insertSublayer(layer, 0);
        return;
    }
    if (layer == sibling) return;
    Ref<CALayer> keep(layer);
    if (layer && layer->superlayer().get() == this) {
        sublayers_.erase(std::find(sublayers_.begin(), sublayers_.end(), keep));
    } else if (layer) {
        layer->removeFromSuperlayer();
    }
    if (!layer) return;
    it = std::find(sublayers_.begin(), sublayers_.end(), Ref<CALayer>(sibling));
    sublayers_.insert(it, keep);
    layer->superlayer_ = this;
}

void CALayer::insertSublayerAbove(CALayer* layer, CALayer* sibling) {
    auto it = std::find(sublayers_.begin(), sublayers_.end(), Ref<CALayer>(sibling));
    if (!sibling || it == sublayers_.end()) {
        addSublayer(layer);
        return;
    }
    if (!layer || layer == sibling) return;
    Ref<CALayer> keep(layer);
    if (layer->superlayer().get() == this) {
        sublayers_.erase(std::find(sublayers_.begin(), sublayers_.end(), keep));
    } else {
        layer->removeFromSuperlayer();
    }
    it = std::find(sublayers_.begin(), sublayers_.end(), Ref<CALayer>(sibling));
    sublayers_.insert(it + 1, keep);
    layer->superlayer_ = this;
}

void CALayer::replaceSublayer(CALayer* oldLayer, CALayer* newLayer) {
    auto it = std::find(sublayers_.begin(), sublayers_.end(), Ref<CALayer>(oldLayer));
    if (!oldLayer || it == sublayers_.end()) return;
    NSUInteger index = NSUInteger(it - sublayers_.begin());
    Ref<CALayer> keepOld(oldLayer);
    oldLayer->removeFromSuperlayer();
    if (newLayer) insertSublayer(newLayer, index);
}

void CALayer::removeFromSuperlayer() {
    Ref<CALayer> parent = superlayer();
    if (!parent) return;
    Ref<CALayer> keep(this);
    auto& list = parent->sublayers_;
    list.erase(std::remove(list.begin(), list.end(), keep), list.end());
    superlayer_ = nullptr;
}

void CALayer::setContentsGravity(NSString* gravity) {
    gravity_ = gravity ? cast<NSString>(gravity->copy()) : Ref<NSString>(kCAGravityResize);
}

void CALayer::setBackgroundColor(CGColor* color) {
    background_ = color;
}

void CALayer::setBorderColor(CGColor* color) {
    borderColor_ = color;
}

void CALayer::setShadowColor(CGColor* color) {
    shadowColor_ = color;
}

void CALayer::setShadowPath(CGPath* path) {
    shadowPath_ = path ? CGPathCreateCopy(path) : nullptr;
}

void CALayer::setName(NSString* name) {
    name_ = name ? cast<NSString>(name->copy()) : nullptr;
}

void CALayer::setNeedsDisplay() {
    needsDisplay_ = true;
}

void CALayer::setNeedsDisplayInRect(CGRect) {
    needsDisplay_ = true;
}

void CALayer::displayIfNeeded() {
    if (needsDisplay_) display();
}

void CALayer::display() {
    needsDisplay_ = false;
    auto d = delegate();
    if (respondsTo(d.get(), Selector::named("displayLayer:"))) {
        d->displayLayer(this);
        return;
    }
    size_t w = size_t(std::ceil(bounds_.size.width * contentsScale_));
    size_t h = size_t(std::ceil(bounds_.size.height * contentsScale_));
    if (w == 0 || h == 0) {
        contents_ = nullptr;
        return;
    }
    auto space = CGColorSpaceCreateDeviceRGB();
    auto ctx = CGBitmapContextCreate(nullptr, w, h, 8, 0, space,
                                     kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
    if (!ctx) return;
    // The layer's own coordinates, y down, at the contents scale.
    CGContextTranslateCTM(ctx, 0, CGFloat(h));
    CGContextScaleCTM(ctx, contentsScale_, -contentsScale_);
    CGContextTranslateCTM(ctx, -bounds_.origin.x, -bounds_.origin.y);
    CGContextSetBaseScale(ctx, contentsScale_);
    if (opaque_ && background_) {
        CGContextSetFillColorWithColor(ctx, background_);
        CGContextFillRect(ctx, bounds_);
    }
    drawInContext(ctx);
    contents_ = CGBitmapContextCreateImage(ctx);
}

void CALayer::drawInContext(CGContextRef ctx) {
    auto d = delegate();
    if (respondsTo(d.get(), Selector::named("drawLayer:inContext:"))) d->drawLayer(this, ctx);
}

void CALayer::layoutIfNeeded() {
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSublayers();
    }
    for (auto& l : std::vector<Ref<CALayer>>(sublayers_))
        l->layoutIfNeeded();
}

void CALayer::layoutSublayers() {
    auto d = delegate();
    if (respondsTo(d.get(), Selector::named("layoutSublayersOfLayer:")))
        d->layoutSublayersOfLayer(this);
}

void CALayer::renderOwnContent(CGContextRef ctx) {
    if (background_) {
        CGContextSaveGState(ctx);
        CGContextBeginPath(ctx);
        addRoundedBounds(ctx, bounds_, cornerRadius_);
        CGContextSetFillColorWithColor(ctx, background_);
        CGContextFillPath(ctx);
        CGContextRestoreGState(ctx);
    }
    if (auto image = as<CGImage>(contents_)) {
        Ref<CGImage> shown = image;
        CGRect cr = contentsRect_;
        if (!CGRectEqualToRect(cr, CGRectMake(0, 0, 1, 1))) {
            CGFloat iw = CGFloat(CGImageGetWidth(image)), ih = CGFloat(CGImageGetHeight(image));
            shown = CGImageCreateWithImageInRect(
                image, CGRectMake(cr.origin.x * iw, cr.origin.y * ih, cr.size.width * iw,
                                  cr.size.height * ih));
        }
        if (shown) {
            CGSize size{CGFloat(CGImageGetWidth(shown)) / contentsScale_,
                        CGFloat(CGImageGetHeight(shown)) / contentsScale_};
            drawImageUpright(ctx, shown, gravityRect(gravity_, bounds_, size));
        }
    } else if (!contents_) {
        CGContextSaveGState(ctx);
        CGContextClipToRect(ctx, bounds_);
        drawInContext(ctx);
        CGContextRestoreGState(ctx);
    }
}

void CALayer::renderInContext(CGContextRef ctx) {
    if (!ctx) return;
    CGContextSaveGState(ctx);
    renderLayer(ctx);
    CGContextRestoreGState(ctx);
}

void CALayer::renderLayer(CGContextRef ctx) {
    if (hidden_ || opacity_ <= 0) return;
    CGContextSaveGState(ctx);
    CGFloat shadowRGBA[4] = {0, 0, 0, 0};
    if (shadowColor_) shadowColor_->getPaintRGBA(shadowRGBA);
    const bool shadow = shadowOpacity_ > 0 && shadowRGBA[3] > 0;
    const bool group = opacity_ < 1 || shadow;
    if (shadow) {
        // The offset is in layer units; shadows are measured in the context's base units.
        CGAffineTransform ctm = CGContextGetCTM(ctx);
        CGFloat k = std::hypot(ctm.a, ctm.b) / CGContextGetBaseScale(ctx);
        auto color =
            CGColorCreateGenericRGB(shadowRGBA[0], shadowRGBA[1], shadowRGBA[2],
                                    shadowRGBA[3] * std::clamp(shadowOpacity_, 0.0f, 1.0f));
        CGContextSetShadowWithColor(ctx,
                                    CGSizeMake(shadowOffset_.width * k, shadowOffset_.height * k),
                                    shadowRadius_ * k, color);
    }
    if (group) {
        CGContextSetAlpha(ctx, std::clamp(opacity_, 0.0f, 1.0f));
        CGContextBeginTransparencyLayer(ctx, nullptr);
    }
    if (mask_) {
        // The mask layer's alpha, drawn at this context's resolution, clips everything here.
        CGAffineTransform ctm = CGContextGetCTM(ctx);
        CGFloat scale = std::max<CGFloat>(1, std::hypot(ctm.a, ctm.b));
        size_t w = size_t(std::ceil(bounds_.size.width * scale));
        size_t h = size_t(std::ceil(bounds_.size.height * scale));
        if (w && h) {
            auto space = CGColorSpaceCreateDeviceRGB();
            auto mctx =
                CGBitmapContextCreate(nullptr, w, h, 8, 0, space,
                                      kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little);
            CGContextTranslateCTM(mctx, 0, CGFloat(h));
            CGContextScaleCTM(mctx, scale, -scale);
            CGContextTranslateCTM(mctx, -bounds_.origin.x, -bounds_.origin.y);
            CGContextConcatCTM(mctx, mask_->transformToSuperlayer());
            mask_->renderInContext(mctx);
            auto image = CGBitmapContextCreateImage(mctx);
            CGContextTranslateCTM(ctx, bounds_.origin.x, bounds_.origin.y + bounds_.size.height);
            CGContextScaleCTM(ctx, 1, -1);
            CGContextClipToMask(ctx, CGRectMake(0, 0, bounds_.size.width, bounds_.size.height),
                                image);
            CGContextScaleCTM(ctx, 1, -1);
            CGContextTranslateCTM(ctx, -bounds_.origin.x,
                                  -(bounds_.origin.y + bounds_.size.height));
        }
    }
    if (masksToBounds_) {
        CGContextBeginPath(ctx);
        addRoundedBounds(ctx, bounds_, cornerRadius_);
        CGContextClip(ctx);
    }
    renderOwnContent(ctx);
    std::vector<Ref<CALayer>> order(sublayers_);
    std::stable_sort(order.begin(), order.end(), [](const Ref<CALayer>& a, const Ref<CALayer>& b) {
        return a->zPosition() < b->zPosition();
    });
    for (auto& l : order) {
        CGContextSaveGState(ctx);
        CGContextConcatCTM(ctx, l->transformToSuperlayer());
        l->renderLayer(ctx);
        CGContextRestoreGState(ctx);
    }
    if (borderWidth_ > 0 && borderColor_) {
        CGContextSaveGState(ctx);
        CGRect r = CGRectInset(bounds_, borderWidth_ / 2, borderWidth_ / 2);
        CGContextBeginPath(ctx);
        addRoundedBounds(ctx, r, std::max<CGFloat>(0, cornerRadius_ - borderWidth_ / 2));
        CGContextSetStrokeColorWithColor(ctx, borderColor_);
        CGContextSetLineWidth(ctx, borderWidth_);
        CGContextStrokePath(ctx);
        CGContextRestoreGState(ctx);
    }
    if (group) CGContextEndTransparencyLayer(ctx);
    CGContextRestoreGState(ctx);
}

// ---- animations -------------------------------------------------------------------------------

void CALayer::addAnimation(CAAnimation* animation, NSString* key) {
    if (!animation) return;
    Ref<CAAnimation> copy = cast<CAAnimation>(animation->copy());
    if (key) removeAnimationForKey(key);
    animations_.push_back({key ? cast<NSString>(key->copy()) : nullptr, copy});
    if (auto d = copy->delegate()) d->animationDidStart(copy);
    Weak<CALayer> weakSelf(this);
    Weak<CAAnimation> weakAnim(copy.get());
    auto timer = NSTimer::timerWithTimeInterval(copy->activeDuration(), false,
                                                [weakSelf, weakAnim](NSTimer*) {
                                                    auto layer = weakSelf.lock();
                                                    auto anim = weakAnim.lock();
                                                    if (layer && anim)
                                                        layer->animationEnded(anim, true);
                                                });
    copy->timer_ = timer;
    NSRunLoop::currentRunLoop()->addTimer(timer, NSRunLoopCommonModes);
}

void CALayer::animationEnded(CAAnimation* animation, bool finished) {
    Ref<CAAnimation> keep(animation);
    if (auto t = as<NSTimer>(animation->timer_)) t->invalidate();
    animation->timer_ = nullptr;
    auto it = std::find_if(animations_.begin(), animations_.end(),
                           [&](const Running& r) { return r.animation.get() == animation; });
    if (it == animations_.end()) return;
    if (!finished || animation->isRemovedOnCompletion()) animations_.erase(it);
    if (auto d = animation->delegate()) d->animationDidStop(animation, finished);
}

Ref<CAAnimation> CALayer::animationForKey(NSString* key) {
    if (!key) return nullptr;
    for (auto& r : animations_) {
        if (r.key && r.key->isEqualToString(key)) return r.animation;
    }
    return nullptr;
}

void CALayer::removeAnimationForKey(NSString* key) {
    if (auto a = animationForKey(key)) {
        if (a->timer_) {
            animationEnded(a, false);
        } else {
            // Already finished and kept (not removed on completion): it only goes away.
            animations_.erase(std::find_if(animations_.begin(), animations_.end(),
                                           [&](const Running& r) { return r.animation == a; }));
        }
    }
}

void CALayer::removeAllAnimations() {
    auto running = animations_;
    for (auto& r : running) {
        if (r.animation->timer_) {
            animationEnded(r.animation, false);
        }
    }
    animations_.clear();
}

Ref<NSArray> CALayer::animationKeys() {
    std::vector<Ref<NSObject>> keys;
    for (auto& r : animations_) {
        if (r.key) keys.push_back(r.key);
    }
    if (keys.empty()) return nullptr;
    return NSArray::arrayWithVector(keys);
}

void CALayer::dealloc() {
    // Pending stops are cancelled without telling anyone: the layer is gone.
    for (auto& r : animations_) {
        if (auto t = as<NSTimer>(r.animation->timer_)) t->invalidate();
        r.animation->timer_ = nullptr;
    }
    animations_.clear();
    for (auto& l : sublayers_)
        l->superlayer_ = nullptr;
    sublayers_.clear();
    NSObject::dealloc();
}

Ref<NSString> CALayer::description() {
    CGRect f = frame();
    return NSString::stringWithFormat(
        NS("<%s: %p; position = CGPoint (%g %g); bounds = CGRect (%g %g; %g %g)>"),
        getClass()->name().c_str(), this, double(position_.x), double(position_.y),
        double(bounds_.origin.x), double(bounds_.origin.y), double(f.size.width),
        double(f.size.height));
}

// ---- CAGradientLayer --------------------------------------------------------------------------

Ref<CAGradientLayer> CAGradientLayer::layer() {
    return make<CAGradientLayer>();
}

bool CAGradientLayer::init() {
    if (!CALayer::init()) return false;
    type_ = kCAGradientLayerAxial;
    return true;
}

void CAGradientLayer::setColors(NSArray* colors) {
    colors_ = colors ? NSArray::arrayWithArray(colors) : nullptr;
}

void CAGradientLayer::setLocations(NSArray* locations) {
    locations_ = locations ? NSArray::arrayWithArray(locations) : nullptr;
}

void CAGradientLayer::renderOwnContent(CGContextRef ctx) {
    CALayer::renderOwnContent(ctx);
    if (!colors_ || colors_->count() == 0) return;
    std::vector<CGFloat> locs;
    const CGFloat* locations = nullptr;
    if (locations_ && locations_->count() == colors_->count()) {
        for (NSUInteger i = 0; i < locations_->count(); ++i) {
            auto n = as<NSNumber>(locations_->objectAtIndex(i));
            locs.push_back(n ? n->floatValue() : 0);
        }
        locations = locs.data();
    }
    auto space = CGColorSpaceCreateDeviceRGB();
    auto gradient = CGGradientCreateWithColors(space, colors_, locations);
    if (!gradient) return;
    CGRect b = bounds();
    CGPoint s{b.origin.x + start_.x * b.size.width, b.origin.y + start_.y * b.size.height};
    CGPoint e{b.origin.x + end_.x * b.size.width, b.origin.y + end_.y * b.size.height};
    CGContextSaveGState(ctx);
    CGContextBeginPath(ctx);
    addRoundedBounds(ctx, b, cornerRadius());
    CGContextClip(ctx);
    CGContextDrawLinearGradient(
        ctx, gradient, s, e,
        kCGGradientDrawsBeforeStartLocation | kCGGradientDrawsAfterEndLocation);
    CGContextRestoreGState(ctx);
}
