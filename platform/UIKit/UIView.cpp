#include "UIKit/UIView.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CoreGraphics/CGColor.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSTimer.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIKitSupport.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"

namespace {
// Keeps, in the animation block open now, where the view stood before the block moved it.
void noteAnimatedMove(UIView* view);
}  // namespace

// ---- registration -------------------------------------------------------------------------

void UIView::describeClass(RuntimeClass& c) {
    c.initializer("initWithFrame:", &UIView::initWithFrame);
    c.property("frame", &UIView::frame, &UIView::setFrame);
    c.property("bounds", &UIView::bounds, &UIView::setBounds);
    c.property("center", &UIView::center, &UIView::setCenter);
    c.property("alpha", &UIView::alpha, &UIView::setAlpha);
    c.property("hidden", &UIView::isHidden, &UIView::setHidden);
    c.property("tag", &UIView::tag, &UIView::setTag);
    c.property("backgroundColor", &UIView::backgroundColor, &UIView::setBackgroundColor);
    // A method, not a property: the property form would name this class while it is being made.
    c.method("superview", &UIView::superview);
    c.property("subviews", &UIView::subviews);
    c.method("addSubview:", &UIView::addSubview);
    c.method("removeFromSuperview", &UIView::removeFromSuperview);
    c.method("layoutSubviews", &UIView::layoutSubviews);
    c.method("setNeedsLayout", &UIView::setNeedsLayout);
    c.method("setNeedsDisplay", &UIView::setNeedsDisplay);
    c.method("sizeToFit", &UIView::sizeToFit);
    c.method("layer", &UIView::layer);
    // The layer's delegate calls: the layer probes for them by name.
    c.implements({"displayLayer:", "drawLayer:inContext:"});
}

bool UIView::init() {
    return initWithFrame(CGRectZero);
}

void UIView::encodeWithCoder(NSCoder* coder) {
    CGRect f = frame();
    coder->encodeFloat(f.origin.x, NS("frame.x"));
    coder->encodeFloat(f.origin.y, NS("frame.y"));
    coder->encodeFloat(f.size.width, NS("frame.width"));
    coder->encodeFloat(f.size.height, NS("frame.height"));
    coder->encodeBool(isHidden(), NS("hidden"));
    coder->encodeFloat(alpha(), NS("alpha"));
    coder->encodeInteger(tag(), NS("tag"));
    coder->encodeBool(isUserInteractionEnabled(), NS("userInteractionEnabled"));
    coder->encodeInteger(static_cast<NSInteger>(autoresizingMask()), NS("autoresizingMask"));
    if (auto color = backgroundColor()) coder->encodeObject(color.get(), NS("backgroundColor"));
    auto children = subviews();
    if (children && children->count() > 0) coder->encodeObject(children.get(), NS("subviews"));
}

bool UIView::initWithCoder(NSCoder* coder) {
    CGRect f = CGRectMake(
        coder->decodeFloatForKey(NS("frame.x")), coder->decodeFloatForKey(NS("frame.y")),
        coder->decodeFloatForKey(NS("frame.width")), coder->decodeFloatForKey(NS("frame.height")));
    if (!initWithFrame(f)) return false;
    setHidden(coder->decodeBoolForKey(NS("hidden")));
    if (coder->containsValueForKey(NS("alpha"))) setAlpha(coder->decodeFloatForKey(NS("alpha")));
    setTag(coder->decodeIntegerForKey(NS("tag")));
    if (coder->containsValueForKey(NS("userInteractionEnabled")))
        setUserInteractionEnabled(coder->decodeBoolForKey(NS("userInteractionEnabled")));
    setAutoresizingMask(
        static_cast<UIViewAutoresizing>(coder->decodeIntegerForKey(NS("autoresizingMask"))));
    if (auto color = as<UIColor>(coder->decodeObjectForKey(NS("backgroundColor"))))
        setBackgroundColor(color.get());
    if (auto children = as<NSArray>(coder->decodeObjectForKey(NS("subviews")))) {
        for (NSUInteger i = 0; i < children->count(); ++i) {
            if (auto child = as<UIView>(children->objectAtIndex(i))) addSubview(child.get());
        }
    }
    return true;
}

bool UIView::initWithFrame(CGRect frame) {
    frame = CGRectStandardize(frame);
    bounds_ = CGRectMake(0, 0, frame.size.width, frame.size.height);
    center_ =
        CGPointMake(frame.origin.x + frame.size.width / 2, frame.origin.y + frame.size.height / 2);
    transform_ = CGAffineTransformIdentity;
    if (layer_) {
        layer_->setBounds(bounds_);
        layer_->setPosition(center_);
        layer_->setAffineTransform(transform_);
    }
    return true;
}

// ---- geometry -----------------------------------------------------------------------------

// Once the layer is made it holds the geometry: whatever is set on it directly reads back here.
CGRect UIView::bounds() {
    return layer_ ? layer_->bounds() : bounds_;
}

CGPoint UIView::center() {
    return layer_ ? layer_->position() : center_;
}

CGAffineTransform UIView::transform() {
    return layer_ ? layer_->affineTransform() : transform_;
}

CGPoint UIView::anchorPoint() {
    return layer_ ? layer_->anchorPoint() : CGPointMake(0.5f, 0.5f);
}

CGRect UIView::frame() {
    CGRect b = bounds();
    CGPoint a = anchorPoint(), c = center();
    CGAffineTransform t = transform();
    CGRect local =
        CGRectMake(-a.x * b.size.width, -a.y * b.size.height, b.size.width, b.size.height);
    CGRect r = CGAffineTransformIsIdentity(t) ? local : CGRectApplyAffineTransform(local, t);
    return CGRectOffset(r, c.x, c.y);
}

void UIView::setFrame(CGRect frame) {
    noteAnimatedMove(this);
    frame = CGRectStandardize(frame);
    CGRect b = bounds();
    CGSize old = b.size;
    CGPoint a = anchorPoint();
    center_ = CGPointMake(frame.origin.x + a.x * frame.size.width,
                          frame.origin.y + a.y * frame.size.height);
    // Under a turn by whole quarters (a window turned with the phone) the frame still gives the
    // size, sideways for an odd number of quarters; under any other transform it only moves the
    // view, its size not being defined then.
    CGAffineTransform t = transform();
    auto near = [](CGFloat v, CGFloat to) { return std::fabs(v - to) < 1e-4f; };
    if (CGAffineTransformIsIdentity(t) ||
        (near(t.b, 0) && near(t.c, 0) && near(std::fabs(t.a), 1) && near(std::fabs(t.d), 1)))
        b.size = frame.size;
    else if (near(t.a, 0) && near(t.d, 0) && near(std::fabs(t.b), 1) && near(std::fabs(t.c), 1))
        b.size = CGSizeMake(frame.size.height, frame.size.width);
    bounds_ = b;
    if (layer_) {
        layer_->setBounds(b);
        layer_->setPosition(center_);
    }
    if (!CGSizeEqualToSize(old, b.size)) boundsSizeChanged(old);
}

void UIView::setBounds(CGRect bounds) {
    CGSize old = this->bounds().size;
    bounds_ = bounds;
    if (layer_) layer_->setBounds(bounds);
    if (!CGSizeEqualToSize(old, bounds.size)) boundsSizeChanged(old);
}

void UIView::setCenter(CGPoint center) {
    noteAnimatedMove(this);
    center_ = center;
    if (layer_) layer_->setPosition(center);
}

void UIView::setTransform(CGAffineTransform transform) {
    transform_ = transform;
    if (layer_) layer_->setAffineTransform(transform);
}

CGFloat UIView::contentScaleFactor() {
    return layer_ ? layer_->contentsScale() : contentScale_;
}

void UIView::setContentScaleFactor(CGFloat scale) {
    contentScale_ = scale;
    if (layer_) layer_->setContentsScale(scale);
}

void UIView::boundsSizeChanged(CGSize oldSize) {
    if (autoresizesSubviews_) resizeSubviewsWithOldSize(oldSize);
    setNeedsLayout();
    if (contentMode_ == UIViewContentModeRedraw) setNeedsDisplay();
}

void UIView::resizeSubviewsWithOldSize(CGSize oldSize) {
    auto subs = subviews_;
    for (auto& s : subs)
        s->resizeWithOldSuperviewSize(oldSize);
}

namespace {
// Spreads `delta` over the flexible parts of one axis in proportion to their current lengths
// (equally when they are all zero).
void distribute(CGFloat delta, bool flexLead, bool flexSize, bool flexTrail, CGFloat& lead,
                CGFloat& size, CGFloat& trail) {
    int count = flexLead + flexSize + flexTrail;
    if (count == 0 || delta == 0) {
        trail += delta;
        return;
    }
    CGFloat total = (flexLead ? lead : 0) + (flexSize ? size : 0) + (flexTrail ? trail : 0);
    auto share = [&](bool flex, CGFloat part) -> CGFloat {
        if (!flex) return 0;
        return total > 0 ? delta * part / total : delta / count;
    };
    CGFloat dl = share(flexLead, lead), ds = share(flexSize, size), dt = share(flexTrail, trail);
    lead += dl;
    size += ds;
    trail += dt;
}
}  // namespace

void UIView::resizeWithOldSuperviewSize(CGSize oldSize) {
    auto parent = superview();
    if (!parent || autoresizingMask_ == UIViewAutoresizingNone) return;
    CGSize newSize = parent->bounds().size;
    CGRect f = frame();
    UIViewAutoresizing m = autoresizingMask_;
    CGFloat left = f.origin.x, width = f.size.width,
            right = oldSize.width - f.origin.x - f.size.width;
    distribute(newSize.width - oldSize.width, m & UIViewAutoresizingFlexibleLeftMargin,
               m & UIViewAutoresizingFlexibleWidth, m & UIViewAutoresizingFlexibleRightMargin, left,
               width, right);
    CGFloat top = f.origin.y, height = f.size.height,
            bottom = oldSize.height - f.origin.y - f.size.height;
    distribute(newSize.height - oldSize.height, m & UIViewAutoresizingFlexibleTopMargin,
               m & UIViewAutoresizingFlexibleHeight, m & UIViewAutoresizingFlexibleBottomMargin,
               top, height, bottom);
    setFrame(CGRectMake(left, top, std::max<CGFloat>(0, width), std::max<CGFloat>(0, height)));
}

// ---- appearance ---------------------------------------------------------------------------

CGFloat UIView::alpha() {
    return layer_ ? layer_->opacity() : alpha_;
}

void UIView::setAlpha(CGFloat alpha) {
    alpha_ = std::clamp<CGFloat>(alpha, 0, 1);
    if (layer_) layer_->setOpacity(alpha_);
}

bool UIView::isHidden() {
    return layer_ ? layer_->isHidden() : hidden_;
}

void UIView::setHidden(bool hidden) {
    if (isHidden() == hidden) return;
    hidden_ = hidden;
    if (layer_) layer_->setHidden(hidden);
    // A view that disappears cannot keep the focus.
    if (hidden) {
        auto first = UIResponder::currentFirstResponder();
        if (auto v = as<UIView>(first); v && (v.get() == this || v->isDescendantOfView(this)))
            v->UIResponder::resignFirstResponder();
    }
}

bool UIView::isOpaque() {
    return layer_ ? layer_->isOpaque() : opaque_;
}

void UIView::setOpaque(bool opaque) {
    opaque_ = opaque;
    if (layer_) layer_->setOpaque(opaque);
}

bool UIView::clipsToBounds() {
    return layer_ ? layer_->masksToBounds() : clipsToBounds_;
}

void UIView::setClipsToBounds(bool clips) {
    clipsToBounds_ = clips;
    if (layer_) layer_->setMasksToBounds(clips);
}

namespace {
// A colour given to the layer directly, as UIKit reads it back.
Ref<UIColor> colorFromCGColor(CGColor* color) {
    if (!color) return nullptr;
    if (auto pattern = color->patternImage())
        return UIColor::colorWithPatternImage(UIImage::imageWithCGImage(pattern));
    const auto& c = color->components();
    if (c.size() == 2) return UIColor::colorWithWhite(c[0], c[1]);
    if (c.size() == 4) return UIColor::colorWithRed(c[0], c[1], c[2], c[3]);
    CGFloat rgba[4];
    color->getPaintRGBA(rgba);
    return UIColor::colorWithRed(rgba[0], rgba[1], rgba[2], rgba[3]);
}

NSString* gravityForContentMode(UIViewContentMode mode) {
    switch (mode) {
        case UIViewContentModeScaleAspectFit:
            return kCAGravityResizeAspect;
        case UIViewContentModeScaleAspectFill:
            return kCAGravityResizeAspectFill;
        case UIViewContentModeCenter:
            return kCAGravityCenter;
        case UIViewContentModeTop:
            return kCAGravityTop;
        case UIViewContentModeBottom:
            return kCAGravityBottom;
        case UIViewContentModeLeft:
            return kCAGravityLeft;
        case UIViewContentModeRight:
            return kCAGravityRight;
        case UIViewContentModeTopLeft:
            return kCAGravityTopLeft;
        case UIViewContentModeTopRight:
            return kCAGravityTopRight;
        case UIViewContentModeBottomLeft:
            return kCAGravityBottomLeft;
        case UIViewContentModeBottomRight:
            return kCAGravityBottomRight;
        default:
            return kCAGravityResize;
    }
}
}  // namespace

Ref<UIColor> UIView::backgroundColor() {
    if (layer_) {
        CGColor* shown = layer_->backgroundColor();
        Ref<CGColor> mine = backgroundColor_ ? backgroundColor_->CGColor() : nullptr;
        if (shown != mine.get()) return colorFromCGColor(shown);
    }
    return backgroundColor_;
}

void UIView::setBackgroundColor(UIColor* color) {
    backgroundColor_ = color;
    if (layer_) layer_->setBackgroundColor(color ? color->CGColor().get() : nullptr);
    setNeedsDisplay();
}

void UIView::setContentMode(UIViewContentMode mode) {
    contentMode_ = mode;
    if (layer_) layer_->setContentsGravity(gravityForContentMode(mode));
}

void UIView::setAccessibilityLabel(NSString* label) {
    accessibilityLabel_ = label ? cast<NSString>(label->copy()) : nullptr;
}

// ---- hierarchy ----------------------------------------------------------------------------

Ref<NSArray> UIView::subviews() {
    return NSArray::arrayWithVector(subviews_);
}

Ref<UIWindow> UIView::window() {
    auto parent = superview();
    return parent ? parent->window() : nullptr;
}

bool UIView::isDescendantOfView(UIView* view) {
    if (!view) return false;
    for (Ref<UIView> v(this); v; v = v->superview())
        if (v.get() == view) return true;
    return false;
}

Ref<UIView> UIView::viewWithTag(NSInteger tag) {
    if (tag_ == tag) return Ref<UIView>(this);
    for (auto& s : subviews_)
        if (auto found = s->viewWithTag(tag)) return found;
    return nullptr;
}

void UIView::propagateWindowChange(UIWindow* oldWindow, UIWindow* newWindow, bool will) {
    (void)oldWindow;
    Ref<UIView> self(this);
    if (will) {
        willMoveToWindow(newWindow);
    } else {
        didMoveToWindow();
        // The controller of this view hears of it (its appearance follows the window).
        if (auto vc = as<UIViewController>(controller_.lock())) vc->viewMovedToWindow(newWindow);
    }
    auto subs = subviews_;
    for (auto& s : subs)
        s->propagateWindowChange(oldWindow, newWindow, will);
}

void UIView::addSubview(UIView* view) {
    if (!view) return;
    insertSubviewAt(view, subviews_.size());
}

void UIView::insertSubview(UIView* view, NSInteger index) {
    if (!view) return;
    size_t at = index < 0 ? 0 : std::min<size_t>(static_cast<size_t>(index), subviews_.size());
    insertSubviewAt(view, at);
}

void UIView::insertSubview(UIView* view, UIView* aboveSubview) {
    if (!view) return;
    auto it = std::find(subviews_.begin(), subviews_.end(), aboveSubview);
    size_t at =
        it == subviews_.end() ? subviews_.size() : static_cast<size_t>(it - subviews_.begin()) + 1;
    insertSubviewAt(view, at);
}

void UIView::insertSubviewBelowSubview(UIView* view, UIView* belowSubview) {
    if (!view) return;
    auto it = std::find(subviews_.begin(), subviews_.end(), belowSubview);
    size_t at =
        it == subviews_.end() ? subviews_.size() : static_cast<size_t>(it - subviews_.begin());
    insertSubviewAt(view, at);
}

void UIView::insertSubviewAt(UIView* view, size_t index) {
    if (view == this || isDescendantOfView(view))
        NSException::raise(NSInvalidArgumentException, NS("Can't add self as subview"));
    Ref<UIView> keep(view);
    Ref<UIView> self(this);
    auto old = view->superview();
    if (old.get() == this) {
        // Moving within the same superview only reorders.
        auto it = std::find(subviews_.begin(), subviews_.end(), keep);
        size_t from = static_cast<size_t>(it - subviews_.begin());
        subviews_.erase(it);
        if (index > from) --index;
        index = std::min(index, subviews_.size());
        subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
        if (layer_) placeSublayerOf(view);
        return;
    }
    auto oldWindow = view->window();
    auto newWindow = window();
    if (old) old->willRemoveSubview(view);
    view->willMoveToSuperview(this);
    bool windowChanges = oldWindow != newWindow;
    if (windowChanges) {
        // The focus does not travel with a view out of its window.
        auto first = UIResponder::currentFirstResponder();
        if (auto fv = as<UIView>(first); fv && fv->isDescendantOfView(view))
            fv->UIResponder::resignFirstResponder();
        view->propagateWindowChange(oldWindow, newWindow, true);
    }
    if (old) {
        auto& list = old->subviews_;
        list.erase(std::remove(list.begin(), list.end(), keep), list.end());
        if (view->layer_ && old->layer_ && view->layer_->superlayer() == old->layer_)
            view->layer_->removeFromSuperlayer();
    }
    index = std::min(index, subviews_.size());
    subviews_.insert(subviews_.begin() + static_cast<std::ptrdiff_t>(index), keep);
    view->superview_ = this;
    // The layers follow: a tree where one view has a layer gets them everywhere.
    if (layer_) {
        if (!view->layer_) view->materializeLayerTree();
        placeSublayerOf(view);
    } else if (view->layer_) {
        Ref<UIView> root(this);
        while (auto up = root->superview())
            root = up;
        root->materializeLayerTree();
    }
    if (windowChanges) view->propagateWindowChange(oldWindow, newWindow, false);
    view->didMoveToSuperview();
    didAddSubview(view);
    view->setNeedsLayout();
    if (newWindow && windowChanges) {
        if (auto former = as<UIViewController>(view->formerController_.lock()))
            former->takePlaceOfLetGoView(view);
    }
}

void UIView::exchangeSubviewAtIndex(NSInteger index1, NSInteger index2) {
    auto n = static_cast<NSInteger>(subviews_.size());
    if (index1 < 0 || index2 < 0 || index1 >= n || index2 >= n)
        NSException::raise(NSRangeException, NS("index (%d) beyond bounds (%d)"),
                           std::max(index1, index2), n);
    std::swap(subviews_[static_cast<size_t>(index1)], subviews_[static_cast<size_t>(index2)]);
    if (!layer_ || index1 == index2) return;
    // The two layers trade places among the sublayers, whatever lies between them.
    CALayer* a = subviews_[static_cast<size_t>(index1)]->layer_.get();
    CALayer* b = subviews_[static_cast<size_t>(index2)]->layer_.get();
    const auto& list = layer_->sublayerList();
    auto ia = std::find(list.begin(), list.end(), a), ib = std::find(list.begin(), list.end(), b);
    if (ia == list.end() || ib == list.end()) return;
    auto pa = NSUInteger(ia - list.begin()), pb = NSUInteger(ib - list.begin());
    Ref<CALayer> first = pa < pb ? Ref<CALayer>(a) : Ref<CALayer>(b);
    Ref<CALayer> second = pa < pb ? Ref<CALayer>(b) : Ref<CALayer>(a);
    NSUInteger lo = std::min(pa, pb), hi = std::max(pa, pb);
    layer_->insertSublayer(second, lo);
    layer_->insertSublayer(first, hi);
}

void UIView::bringSubviewToFront(UIView* view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    Ref<UIView> keep = *it;
    subviews_.erase(it);
    subviews_.push_back(keep);
    if (layer_ && keep->layer_) layer_->addSublayer(keep->layer_);
}

void UIView::sendSubviewToBack(UIView* view) {
    auto it = std::find(subviews_.begin(), subviews_.end(), view);
    if (it == subviews_.end()) return;
    Ref<UIView> keep = *it;
    subviews_.erase(it);
    subviews_.insert(subviews_.begin(), keep);
    if (layer_ && keep->layer_) layer_->insertSublayer(keep->layer_, 0);
}

void UIView::removeFromSuperview() {
    detachFromSuperview(true);
}

void UIView::detachFromSuperview(bool notify) {
    auto old = superview();
    if (!old) return;
    Ref<UIView> self(this);
    auto oldWindow = window();
    if (notify) {
        old->willRemoveSubview(this);
        willMoveToSuperview(nullptr);
    }
    if (oldWindow) {
        auto first = UIResponder::currentFirstResponder();
        if (auto fv = as<UIView>(first); fv && fv->isDescendantOfView(this))
            fv->UIResponder::resignFirstResponder();
        if (notify) propagateWindowChange(oldWindow, nullptr, true);
    }
    auto& list = old->subviews_;
    list.erase(std::remove(list.begin(), list.end(), self), list.end());
    if (layer_ && old->layer_ && layer_->superlayer() == old->layer_)
        layer_->removeFromSuperlayer();
    superview_.reset();
    if (notify) {
        if (oldWindow) propagateWindowChange(oldWindow, nullptr, false);
        didMoveToSuperview();
    }
}

// ---- layout -------------------------------------------------------------------------------

namespace {
struct LayoutQueue {
    std::vector<Weak<UIView>> pending;
    bool scheduled = false;
};
LayoutQueue& layoutQueue() {
    static LayoutQueue q;
    return q;
}
}  // namespace

void UIView::setNeedsLayout() {
    if (needsLayout_) return;
    needsLayout_ = true;
    auto& q = layoutQueue();
    q.pending.emplace_back(this);
    // Layout runs once at the end of the main loop's pass, however many views asked.
    if (!q.scheduled && NSThread::isMainThread()) {
        q.scheduled = true;
        NSRunLoop::mainRunLoop()->performBlock([] { UIView::layoutPendingViews(); });
    }
}

void UIView::layoutPendingViews() {
    auto& q = layoutQueue();
    q.scheduled = false;
    // Layout may mark more views; they join the next round of this same call.
    for (int round = 0; round < 8 && !q.pending.empty(); ++round) {
        auto pending = std::move(q.pending);
        q.pending.clear();
        for (auto& w : pending)
            if (auto v = w.lock()) v->layoutIfNeeded();
    }
}

void UIView::layoutIfNeeded() {
    Ref<UIView> self(this);
    if (needsLayout_) {
        needsLayout_ = false;
        layoutSubviews();
    }
    auto subs = subviews_;
    for (auto& s : subs)
        s->layoutIfNeeded();
}

CGSize UIView::sizeThatFits(CGSize) {
    return bounds().size;
}

void UIView::sizeToFit() {
    CGSize size = sizeThatFits(bounds().size);
    CGRect f = frame();
    setFrame(CGRectMake(f.origin.x, f.origin.y, size.width, size.height));
}

// ---- display ------------------------------------------------------------------------------

void UIView::setNeedsDisplay() {
    setNeedsDisplayInRect(bounds());
}

namespace {
struct DisplayQueue {
    std::vector<Weak<UIView>> pending;
    bool scheduled = false;
};
DisplayQueue& displayQueue() {
    static DisplayQueue q;
    return q;
}

bool inVisibleWindow(UIView* view) {
    auto window = view->window();
    return window && !window->isHidden();
}
}  // namespace

void UIView::setNeedsDisplayInRect(CGRect rect) {
    dirty_ = needsDisplay_ ? CGRectUnion(dirty_, rect) : rect;
    needsDisplay_ = true;
    // A view on screen is drawn at the end of the main loop's pass, once however often it was
    // marked; other views wait until something renders them.
    if (displayQueued_ || !NSThread::isMainThread() || !inVisibleWindow(this)) return;
    displayQueued_ = true;
    auto& q = displayQueue();
    q.pending.emplace_back(this);
    if (!q.scheduled) {
        q.scheduled = true;
        NSRunLoop::mainRunLoop()->performBlock([] { UIView::displayPendingViews(); });
    }
}

void UIView::displayPendingViews() {
    auto& q = displayQueue();
    q.scheduled = false;
    // Layout first, as the platform lays out before it draws.
    layoutPendingViews();
    auto pending = std::move(q.pending);
    q.pending.clear();
    for (auto& w : pending) {
        auto v = w.lock();
        if (!v) continue;
        v->displayQueued_ = false;
        if (inVisibleWindow(v)) UIViewDisplayPending(v);
    }
}

void UIView::displayIfNeeded() {
    if (!needsDisplay_) return;
    CGRect r = dirty_;
    needsDisplay_ = false;
    dirty_ = CGRectZero;
    drawRect(r);
}

// ---- layer --------------------------------------------------------------------------------

Class UIView::layerClass() {
    return CALayer::staticClass();
}

Ref<CALayer> UIView::layer() {
    if (!layer_) {
        // Layers come for the whole tree at once, so that the layer tree mirrors the views.
        Ref<UIView> root(this);
        while (auto up = root->superview())
            root = up;
        root->materializeLayerTree();
    }
    return layer_;
}

Ref<CALayer> UIView::makeOwnLayer() {
    Ref<CALayer> layer;
    Class cls = layerClass();
    Class base = CALayer::staticClass();
    if (cls && cls != base && cls->isSubclassOfClass(base)) {
        layer = as<CALayer>(cls->createInstance());
        if (layer && !layer->init()) layer = nullptr;
    }
    if (!layer) layer = make<CALayer>();
    layer->setDelegate(this);
    layer->setBounds(bounds_);
    layer->setPosition(center_);
    layer->setAffineTransform(transform_);
    layer->setOpacity(alpha_);
    layer->setHidden(hidden_);
    layer->setOpaque(opaque_);
    layer->setMasksToBounds(clipsToBounds_);
    layer->setContentsScale(contentScale_);
    layer->setContentsGravity(gravityForContentMode(contentMode_));
    layer->setBackgroundColor(backgroundColor_ ? backgroundColor_->CGColor().get() : nullptr);
    layer_ = layer;
    return layer;
}

void UIView::materializeLayerTree() {
    if (!layer_) makeOwnLayer();
    auto subs = subviews_;
    for (auto& s : subs) {
        // A subview that has its layer has them below it too.
        if (!s->layer_) s->materializeLayerTree();
        if (s->layer_->superlayer() != layer_) layer_->addSublayer(s->layer_);
    }
}

void UIView::placeSublayerOf(UIView* subview) {
    if (!layer_ || !subview || !subview->layer_) return;
    auto it = std::find(subviews_.begin(), subviews_.end(), subview);
    if (it == subviews_.end()) return;
    // Just below the next subview's layer; the last subview goes on top of every sublayer.
    for (auto next = it + 1; next != subviews_.end(); ++next) {
        CALayer* l = (*next)->layer_.get();
        if (l && l->superlayer() == layer_) {
            layer_->insertSublayerBelow(subview->layer_, l);
            return;
        }
    }
    layer_->addSublayer(subview->layer_);
}

void UIView::displayLayer(CALayer* layer) {
    if (layer != layer_.get()) return;
    layer->setContents(nullptr);
    setNeedsDisplay();
}

void UIView::drawLayer(CALayer* layer, CGContextRef ctx) {
    if (layer != layer_.get() || !ctx) return;
    UIViewDrawOwnContent(this, ctx);
}

// ---- hit testing and conversion -----------------------------------------------------------

bool UIView::pointInside(CGPoint point, UIEvent*) {
    return CGRectContainsPoint(bounds(), point);
}

Ref<UIView> UIView::hitTest(CGPoint point, UIEvent* event) {
    if (isHidden() || !userInteraction_ || alpha() < 0.01f || slidingAway()) return nullptr;
    if (!pointInside(point, event)) return nullptr;
    auto subs = subviews_;
    for (auto it = subs.rbegin(); it != subs.rend(); ++it) {
        CGPoint p = CGPointApplyAffineTransform(
            point, CGAffineTransformInvert((*it)->transformToSuperview()));
        if (auto hit = (*it)->hitTest(p, event)) return hit;
    }
    return Ref<UIView>(this);
}

CGAffineTransform UIView::transformToSuperview() {
    // Bounds coordinates -> around the centre (the anchor point) -> the view's transform -> the
    // superview's space.
    CGRect b = bounds();
    CGPoint a = anchorPoint(), c = center();
    CGAffineTransform t = CGAffineTransformMakeTranslation(-b.origin.x - a.x * b.size.width,
                                                           -b.origin.y - a.y * b.size.height);
    t = CGAffineTransformConcat(t, transform());
    return CGAffineTransformConcat(t, CGAffineTransformMakeTranslation(c.x, c.y));
}

namespace {
// From the view's coordinates to the space its topmost ancestor sits in (the screen for a
// window).
CGAffineTransform toRootSpace(UIView* view, Ref<UIView>* root) {
    CGAffineTransform t = CGAffineTransformIdentity;
    Ref<UIView> v(view);
    while (v) {
        t = CGAffineTransformConcat(t, v->transformToSuperview());
        *root = v;
        v = v->superview();
    }
    return t;
}
}  // namespace

CGPoint UIView::convertPoint(CGPoint point, UIView* toView) {
    Ref<UIView> myRoot, otherRoot;
    CGAffineTransform mine = toRootSpace(this, &myRoot);
    if (!toView) {
        // Nil means the window; outside a window, the root of the view's tree.
        auto w = window();
        toView = w ? static_cast<UIView*>(w.get()) : myRoot.get();
        CGAffineTransform theirs = toRootSpace(toView, &otherRoot);
        return CGPointApplyAffineTransform(CGPointApplyAffineTransform(point, mine),
                                           CGAffineTransformInvert(theirs));
    }
    CGAffineTransform theirs = toRootSpace(toView, &otherRoot);
    return CGPointApplyAffineTransform(CGPointApplyAffineTransform(point, mine),
                                       CGAffineTransformInvert(theirs));
}

CGPoint UIView::convertPointFromView(CGPoint point, UIView* fromView) {
    if (!fromView) {
        auto w = window();
        Ref<UIView> root;
        toRootSpace(this, &root);
        fromView = w ? static_cast<UIView*>(w.get()) : root.get();
    }
    return fromView->convertPoint(point, this);
}

CGRect UIView::convertRect(CGRect rect, UIView* toView) {
    if (CGRectIsNull(rect)) return rect;
    rect = CGRectStandardize(rect);
    CGPoint corners[4] = {rect.origin, CGPointMake(CGRectGetMaxX(rect), rect.origin.y),
                          CGPointMake(rect.origin.x, CGRectGetMaxY(rect)),
                          CGPointMake(CGRectGetMaxX(rect), CGRectGetMaxY(rect))};
    CGFloat x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    for (int i = 0; i < 4; ++i) {
        CGPoint p = convertPoint(corners[i], toView);
        if (i == 0 || p.x < x0) x0 = p.x;
        if (i == 0 || p.x > x1) x1 = p.x;
        if (i == 0 || p.y < y0) y0 = p.y;
        if (i == 0 || p.y > y1) y1 = p.y;
    }
    return CGRectMake(x0, y0, x1 - x0, y1 - y0);
}

CGRect UIView::convertRectFromView(CGRect rect, UIView* fromView) {
    if (!fromView) {
        auto w = window();
        Ref<UIView> root;
        toRootSpace(this, &root);
        fromView = w ? static_cast<UIView*>(w.get()) : root.get();
    }
    return fromView->convertRect(rect, this);
}

// ---- responder chain ----------------------------------------------------------------------

Ref<UIResponder> UIView::nextResponder() {
    if (auto c = controller_.lock()) return c;
    return superview();
}

bool UIView::becomeFirstResponder() {
    // Only a view on screen can take the focus.
    if (!isFirstResponder() && !window()) return false;
    return UIResponder::becomeFirstResponder();
}

bool UIView::endEditing(bool force) {
    auto first = as<UIView>(UIResponder::currentFirstResponder());
    if (!first || !first->isDescendantOfView(this)) return true;
    if (first->resignFirstResponder()) return true;
    if (!force) return false;
    // Forced: the focus goes whatever the responder says.
    first->UIResponder::resignFirstResponder();
    return true;
}

// ---- animations ---------------------------------------------------------------------------

namespace {
// A view the block moves: how much of it its window showed before, and its size then.
struct AnimatedMove {
    Weak<UIView> view;
    UIView* identity;
    CGFloat shownBefore;
    CGSize size;
};
struct AnimationBlock {
    Ref<NSString> animationID;
    void* context = nullptr;
    Ref<NSObject> delegate;  // kept until the did-stop call went out
    SEL willStart = nullptr;
    SEL didStop = nullptr;
    NSTimeInterval duration = 0.2;
    NSTimeInterval delay = 0;
    std::function<void(bool)> completion;
    std::vector<AnimatedMove> moves;
};
struct AnimationState {
    std::vector<AnimationBlock> stack;
    bool enabled = true;
    NSUInteger running = 0;
};
AnimationState& animations() {
    static AnimationState s;
    return s;
}
AnimationBlock* currentBlock() {
    auto& s = animations();
    return s.stack.empty() ? nullptr : &s.stack.back();
}

// How much of the view's place its window shows, in square points; -1 outside a window. The
// view's own transform (an icon's wiggle, a zoom) is left out: only where it stands counts.
CGFloat shownArea(UIView* view) {
    auto window = view->window();
    auto superview = view->superview();
    if (!window || !superview) return -1;
    CGSize size = view->bounds().size;
    CGPoint center = view->center();
    CGRect place =
        CGRectMake(center.x - size.width / 2, center.y - size.height / 2, size.width, size.height);
    CGRect seen = CGRectIntersection(superview->convertRect(place, nullptr), window->bounds());
    return CGRectIsNull(seen) ? 0 : seen.size.width * seen.size.height;
}

void noteAnimatedMove(UIView* view) {
    auto* b = currentBlock();
    if (!b || !animations().enabled) return;
    for (auto& m : b->moves)
        if (m.identity == view) return;
    b->moves.push_back({view, view, shownArea(view), view->bounds().size});
}

void finishAnimation(AnimationBlock block) {
    auto& s = animations();
    if (s.running > 0) --s.running;
    if (block.delegate && block.didStop && block.delegate->respondsToSelector(block.didStop)) {
        std::vector<Value> args;
        unsigned n = block.didStop->keywordCount;
        if (n >= 1) args.push_back(Value::ofObject(block.animationID));
        if (n >= 2) args.push_back(Value::ofObject(NSNumber::numberWithBool(true)));
        if (n >= 3) args.push_back(Value::ofPointer(block.context));
        invokeMethod(block.delegate, block.didStop, args);
    }
    if (block.completion) block.completion(true);
}
}  // namespace

void UIView::beginAnimations(NSString* animationID, void* context) {
    auto& s = animations();
    AnimationBlock b;
    // A nested block starts with its outer block's timing.
    if (auto* outer = currentBlock()) {
        b.duration = outer->duration;
        b.delay = outer->delay;
    }
    b.animationID = animationID;
    b.context = context;
    s.stack.push_back(std::move(b));
}

void UIView::commitAnimations() {
    auto& s = animations();
    if (s.stack.empty()) return;
    AnimationBlock b = std::move(s.stack.back());
    s.stack.pop_back();
    if (b.delegate && b.willStart && b.delegate->respondsToSelector(b.willStart)) {
        std::vector<Value> args;
        if (b.willStart->keywordCount >= 1) args.push_back(Value::ofObject(b.animationID));
        if (b.willStart->keywordCount >= 2) args.push_back(Value::ofPointer(b.context));
        invokeMethod(b.delegate, b.willStart, args);
    }
    NSTimeInterval wait = s.enabled ? b.delay + b.duration : 0;
    // A view slid away (the same size, showing less than nine tenths of what showed) is leaving
    // until the end; one the block brings on is hit where it is going at once.
    for (auto& m : b.moves) {
        auto view = m.view.lock();
        if (!view) continue;
        CGFloat shown = shownArea(view.get());
        bool slidAway = m.shownBefore > 0 && shown >= 0 && shown < m.shownBefore * 0.9f &&
                        CGSizeEqualToSize(view->bounds().size, m.size);
        view->leavingUntil_ = slidAway && wait > 0 ? Clock::uptime() + wait : 0;
    }
    if (!b.delegate && !b.completion) return;
    ++s.running;
    UIKitAfterDelay(wait, [b = std::move(b)]() mutable { finishAnimation(std::move(b)); });
}

void UIView::setAnimationDelegate(NSObject* delegate) {
    if (auto* b = currentBlock()) b->delegate = delegate;
}
void UIView::setAnimationWillStartSelector(SEL selector) {
    if (auto* b = currentBlock()) b->willStart = selector;
}
void UIView::setAnimationDidStopSelector(SEL selector) {
    if (auto* b = currentBlock()) b->didStop = selector;
}
void UIView::setAnimationDuration(NSTimeInterval duration) {
    if (auto* b = currentBlock()) b->duration = std::max(0.0, duration);
}
void UIView::setAnimationDelay(NSTimeInterval delay) {
    if (auto* b = currentBlock()) b->delay = std::max(0.0, delay);
}
void UIView::setAnimationStartDate(NSObject*) {}
void UIView::setAnimationCurve(UIViewAnimationCurve) {}
void UIView::setAnimationRepeatCount(float) {}
void UIView::setAnimationRepeatAutoreverses(bool) {}
void UIView::setAnimationBeginsFromCurrentState(bool) {}
void UIView::setAnimationTransition(UIViewAnimationTransition transition, UIView* forView, bool) {
    if (forView && currentBlock()) forView->lastTransition_ = transition;
}
void UIView::setAnimationsEnabled(bool enabled) {
    animations().enabled = enabled;
}
bool UIView::areAnimationsEnabled() {
    return animations().enabled;
}
bool UIView::isInsideAnimationBlock() {
    return currentBlock() != nullptr;
}
NSUInteger UIView::runningAnimationCount() {
    return animations().running;
}

bool UIView::isLeavingScreen() {
    for (Ref<UIView> v(this); v; v = v->superview())
        if (v->slidingAway()) return true;
    return false;
}

bool UIView::slidingAway() {
    return leavingUntil_ > 0 && Clock::uptime() < leavingUntil_;
}

void UIView::animateWithDuration(NSTimeInterval duration, std::function<void()> animations) {
    animateWithDuration(duration, 0, 0, std::move(animations), nullptr);
}

void UIView::animateWithDuration(NSTimeInterval duration, std::function<void()> animations,
                                 std::function<void(bool)> completion) {
    animateWithDuration(duration, 0, 0, std::move(animations), std::move(completion));
}

void UIView::animateWithDuration(NSTimeInterval duration, NSTimeInterval delay,
                                 UIViewAnimationOptions, std::function<void()> changes,
                                 std::function<void(bool)> completion) {
    beginAnimations(nullptr, nullptr);
    setAnimationDuration(duration);
    setAnimationDelay(delay);
    if (auto* b = currentBlock()) b->completion = std::move(completion);
    if (changes) changes();
    commitAnimations();
}

void UIView::transitionWithView(UIView* view, NSTimeInterval duration,
                                UIViewAnimationOptions options, std::function<void()> changes,
                                std::function<void(bool)> completion) {
    if (view) {
        auto kind = (options >> 20) & 0xF;
        view->lastTransition_ = static_cast<UIViewAnimationTransition>(
            kind <= UIViewAnimationTransitionCurlDown ? kind : 0);
    }
    animateWithDuration(duration, 0, options, std::move(changes), std::move(completion));
}

// ---- life -------------------------------------------------------------------------------------

void UIView::dealloc() {
    // The subviews hear that they leave their superview, as on the platform, so that what
    // they run while on screen (timers, observers) stops with it.
    auto subs = subviews_;
    for (auto& s : subs)
        s->willMoveToSuperview(nullptr);
    for (auto& s : subviews_) {
        s->superview_.reset();
        // A subview that lives on takes its layer out of this view's.
        if (layer_ && s->layer_ && s->layer_->superlayer() == layer_)
            s->layer_->removeFromSuperlayer();
    }
    subviews_.clear();
    super::dealloc();
}

Ref<NSString> UIView::description() {
    CGRect f = frame();
    char buf[200];
    std::snprintf(buf, sizeof buf, "<%s: %p; frame = (%g %g; %g %g)%s%s>",
                  getClass()->name().c_str(), static_cast<void*>(this),
                  static_cast<double>(f.origin.x), static_cast<double>(f.origin.y),
                  static_cast<double>(f.size.width), static_cast<double>(f.size.height),
                  isHidden() ? "; hidden = YES" : "", tag_ ? "; tag" : "");
    std::string s = buf;
    if (tag_) {
        s.insert(s.size() - 1, " = " + std::to_string(tag_));
    }
    return NSString::fromUTF8(s);
}
