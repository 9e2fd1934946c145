#include "UIKit/UIScrollView.h"

#include <algorithm>
#include <cmath>

#include "Foundation/Runtime.h"
#include "UIKit/UIKitSupport.h"

void UIScrollView::describeClass(RuntimeClass& c) {
    c.property("contentSize", &UIScrollView::contentSize, &UIScrollView::setContentSize);
    c.property("contentInset", &UIScrollView::contentInset, &UIScrollView::setContentInset);
    c.method("contentOffset", &UIScrollView::contentOffset);
    c.method("setContentOffset:",
             static_cast<void (UIScrollView::*)(CGPoint)>(&UIScrollView::setContentOffset));
}

bool UIScrollView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setClipsToBounds(true);
    setMultipleTouchEnabled(true);
    return true;
}

void UIScrollView::setBounds(CGRect bounds) {
    CGPoint old = this->bounds().origin;
    UIView::setBounds(bounds);
    if (!CGPointEqualToPoint(old, bounds.origin)) didScroll();
}

void UIScrollView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
}

void UIScrollView::didScroll() {
    Ref<UIScrollView> self(this);
    // Subviews that depend on the visible area lay out again.
    setNeedsLayout();
    if (auto d = delegate()) d->scrollViewDidScroll(this);
}

void UIScrollView::setContentOffset(CGPoint offset) {
    CGRect b = bounds();
    b.origin = offset;
    setBounds(b);
}

void UIScrollView::setContentOffset(CGPoint offset, bool animated) {
    bool moves = !CGPointEqualToPoint(offset, contentOffset());
    setContentOffset(offset);
    if (animated && moves) {
        Weak<UIScrollView> weak(this);
        UIKitAfterDelay(0.3, [weak] {
            if (auto s = weak.lock())
                if (auto d = s->delegate()) d->scrollViewDidEndScrollingAnimation(s);
        });
    }
}

void UIScrollView::setContentSize(CGSize size) {
    // The same size again asks for no layout: a view that sets its content size while it lays
    // itself out (a text view) would otherwise be laid out forever.
    bool changed = !CGSizeEqualToSize(size, contentSize_);
    contentSize_ = size;
    unzoomedContentSize_ = CGSizeMake(size.width / zoomScale_, size.height / zoomScale_);
    if (changed) setNeedsLayout();
}

void UIScrollView::setContentInset(UIEdgeInsets insets) {
    contentInset_ = insets;
    setNeedsLayout();
    // At rest, content held open above its top by the old inset (a refreshing table's header)
    // closes with the new one; a finger on the view keeps it where it is.
    if (tracking_ || dragging_ || decelerating_) return;
    CGPoint o = contentOffset(), mn = minimumContentOffset();
    if (o.x < mn.x || o.y < mn.y)
        setContentOffset(CGPointMake(std::max(o.x, mn.x), std::max(o.y, mn.y)));
}

CGPoint UIScrollView::minimumContentOffset() {
    return CGPointMake(-contentInset_.left, -contentInset_.top);
}

CGPoint UIScrollView::maximumContentOffset() {
    CGPoint mn = minimumContentOffset();
    CGSize b = bounds().size;
    return CGPointMake(std::max(mn.x, contentSize_.width + contentInset_.right - b.width),
                       std::max(mn.y, contentSize_.height + contentInset_.bottom - b.height));
}

CGPoint UIScrollView::restingOffset(CGPoint offset) {
    CGPoint mn = minimumContentOffset(), mx = maximumContentOffset();
    if (pagingEnabled_) {
        CGSize page = bounds().size;
        if (page.width > 0) offset.x = std::round(offset.x / page.width) * page.width;
        if (page.height > 0) offset.y = std::round(offset.y / page.height) * page.height;
    }
    return CGPointMake(std::clamp(offset.x, mn.x, mx.x), std::clamp(offset.y, mn.y, mx.y));
}

void UIScrollView::scrollRectToVisible(CGRect rect, bool animated) {
    CGRect b = bounds();
    CGPoint o = b.origin;
    if (CGRectGetMaxX(rect) > CGRectGetMaxX(b)) o.x = CGRectGetMaxX(rect) - b.size.width;
    if (rect.origin.x < o.x) o.x = rect.origin.x;
    if (CGRectGetMaxY(rect) > CGRectGetMaxY(b)) o.y = CGRectGetMaxY(rect) - b.size.height;
    if (rect.origin.y < o.y) o.y = rect.origin.y;
    CGPoint mn = minimumContentOffset(), mx = maximumContentOffset();
    o = CGPointMake(std::clamp(o.x, mn.x, mx.x), std::clamp(o.y, mn.y, mx.y));
    setContentOffset(o, animated);
}

// ---- dragging -------------------------------------------------------------------------------

void UIScrollView::beginDragging() {
    Ref<UIScrollView> self(this);
    tracking_ = true;
    dragging_ = true;
    if (auto d = delegate()) d->scrollViewWillBeginDragging(this);
}

void UIScrollView::dragTo(CGPoint offset) {
    setContentOffset(offset);
}

void UIScrollView::endDragging(bool decelerate) {
    Ref<UIScrollView> self(this);
    dragging_ = false;
    tracking_ = false;
    bool outside = !CGPointEqualToPoint(restingOffset(contentOffset()), contentOffset());
    bool willDecelerate = decelerate || outside;
    if (auto d = delegate()) d->scrollViewDidEndDraggingWillDecelerate(this, willDecelerate);
    if (!willDecelerate) return;
    decelerating_ = true;
    if (auto d = delegate()) d->scrollViewWillBeginDecelerating(this);
    // The delegate may have changed the insets at the end of the drag; settle against them.
    setContentOffset(restingOffset(contentOffset()));
    decelerating_ = false;
    if (auto d = delegate()) d->scrollViewDidEndDecelerating(this);
}

void UIScrollView::dragBy(CGPoint delta, bool decelerate) {
    if (!scrollEnabled_) return;
    Ref<UIScrollView> self(this);
    beginDragging();
    CGPoint target = CGPointMake(contentOffset().x + delta.x, contentOffset().y + delta.y);
    CGPoint mn = minimumContentOffset(), mx = maximumContentOffset();
    CGSize b = bounds().size;
    // Past the edges only when the view bounces there: always when the content is larger than
    // the view, else only when told to bounce on that axis.
    bool bounceX = bounces_ && (alwaysBounceHorizontal_ || contentSize_.width > b.width);
    bool bounceY = bounces_ && (alwaysBounceVertical_ || contentSize_.height > b.height);
    if (!bounceX) target.x = std::clamp(target.x, mn.x, mx.x);
    if (!bounceY) target.y = std::clamp(target.y, mn.y, mx.y);
    dragTo(target);
    endDragging(decelerate);
}

void UIScrollView::scrollToTop() {
    if (!scrollsToTop_) return;
    Ref<UIScrollView> self(this);
    if (auto d = delegate(); d && !d->scrollViewShouldScrollToTop(this)) return;
    setContentOffset(CGPointMake(contentOffset().x, -contentInset_.top));
    if (auto d = delegate()) d->scrollViewDidScrollToTop(this);
}

// ---- zooming
// -------------------------------------------------------------------------------------

void UIScrollView::setZoomScale(CGFloat scale) {
    setZoomScale(scale, false);
}

void UIScrollView::setZoomScale(CGFloat scale, bool animated) {
    Ref<UIScrollView> self(this);
    auto d = delegate();
    Ref<UIView> view = d ? d->viewForZoomingInScrollView(this) : nullptr;
    if (!view) return;
    scale = std::clamp(scale, minZoom_, std::max(minZoom_, maxZoom_));
    CGSize base = view->bounds().size;
    zoomScale_ = scale;
    view->setTransform(CGAffineTransformMakeScale(scale, scale));
    view->setCenter(CGPointMake(base.width * scale / 2, base.height * scale / 2));
    contentSize_ = CGSizeMake(base.width * scale, base.height * scale);
    unzoomedContentSize_ = base;
    d->scrollViewDidZoom(this);
    if (animated) d->scrollViewDidEndZoomingWithViewAtScale(this, view, scale);
}

void UIScrollView::zoomToRect(CGRect rect, bool animated) {
    CGSize b = bounds().size;
    if (rect.size.width <= 0 || rect.size.height <= 0) return;
    CGFloat scale = std::min(b.width / rect.size.width, b.height / rect.size.height);
    setZoomScale(scale, animated);
    CGPoint o = CGPointMake(rect.origin.x * zoomScale_, rect.origin.y * zoomScale_);
    CGPoint mn = minimumContentOffset(), mx = maximumContentOffset();
    setContentOffset(CGPointMake(std::clamp(o.x, mn.x, mx.x), std::clamp(o.y, mn.y, mx.y)));
}
