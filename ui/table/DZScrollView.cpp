#include "ui/table/DZScrollView.h"

#include <algorithm>
#include <cmath>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSTimer.h"
#include "ui/core/DZGeometry.h"

namespace {
bool isNull(NSObject* object) {
    return !object || is<NSNull>(object);
}
UIEdgeInsets addEdges(UIEdgeInsets a, UIEdgeInsets b, CGFloat factor = 1) {
    return UIEdgeInsetsMake(a.top + b.top * factor, a.left + b.left * factor,
                            a.bottom + b.bottom * factor, a.right + b.right * factor);
}
UIEdgeInsets negated(UIEdgeInsets e) {
    return UIEdgeInsetsMake(-e.top, -e.left, -e.bottom, -e.right);
}
}  // namespace

template <class Call>
void DZScrollView::tell(const char* selector, Call call) {
    auto d = delegate_.lock();
    if (respondsTo(d.get(), Selector::named(selector))) call(d.get());
}

bool DZScrollView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setClipsToBounds(true);
    setMultipleTouchEnabled(true);
    setUserInteractionEnabled(true);
    pages_ = NSMutableArray::array();
    for (NSInteger i = 0; i < maxPages_; ++i)
        pages_->addObject(NSNull::null());
    pageQueue_ = NSMutableArray::array();
    return true;
}

void DZScrollView::dealloc() {
    delegate_ = nullptr;
    for (auto* timer : {&animationTimer_, &tapTimer_, &holdingTimer_})
        if (auto t = std::move(*timer)) t->invalidate();
    pages_ = nullptr;
    pageQueue_ = nullptr;
    touch1_ = touch2_ = nullptr;
    UIView::dealloc();
}

void DZScrollView::setDataSource(DZScrollViewDataSource* dataSource) {
    dataSource_ = dataSource;
    reloadData();
}

void DZScrollView::reloadData() {
    if (!dataSource_.lock()) return;
    enqueueAllPages();
    visiblePageIndex_ = -1;
    pageEdges_ = pageStartEdges_ = UIEdgeInsetsZero;
    cancelTouches();
    setNeedsLayout();
}

NSInteger DZScrollView::numberOfPages() {
    auto source = dataSource_.lock();
    return source ? source->numberOfPagesInScrollView(this) : 0;
}

Ref<UIView> DZScrollView::centerPage() {
    return pageAtIndex(centerPageIndex_, true);
}

Ref<UIView> DZScrollView::pageAtIndex(NSInteger index) {
    return pageAtIndex(index, false);
}

Ref<NSDictionary> DZScrollView::visiblePages() {
    auto pages = NSMutableDictionary::dictionaryWithCapacity(3);
    for (NSInteger i = centerPageIndex_ - 1; i <= centerPageIndex_ + 1; ++i)
        if (auto page = pageAtIndex(i, true)) pages->setObject(page, NSNumber::numberWithInt(i));
    return pages;
}

Ref<UIView> DZScrollView::dequeueReusablePage() {
    if (pageQueue_->count() == 0) return nullptr;
    Ref<UIView> page = cast<UIView>(pageQueue_->lastObject());
    page->autorelease();
    pageQueue_->removeLastObject();
    return page;
}

void DZScrollView::setCenterPageIndex(NSInteger index) {
    moveToPageAtIndex(index, touchCount_ == 0);
}

// ---- geometry --------------------------------------------------------------------------------

bool DZScrollView::isLandscape() {
    return orientation_ == UIInterfaceOrientationLandscapeLeft ||
           orientation_ == UIInterfaceOrientationLandscapeRight;
}
bool DZScrollView::isFlipped() {
    return orientation_ == UIInterfaceOrientationLandscapeLeft ||
           orientation_ == UIInterfaceOrientationPortraitUpsideDown;
}
CGFloat DZScrollView::pageWidth() {
    return isLandscape() ? bounds().size.height : bounds().size.width;
}
CGFloat DZScrollView::pageHeight() {
    return isLandscape() ? bounds().size.width : bounds().size.height;
}
CGFloat DZScrollView::stretchedWidth() {
    return pageWidth() - pageEdges_.left + pageEdges_.right;
}
CGFloat DZScrollView::stretchedHeight() {
    return pageHeight() - pageEdges_.top + pageEdges_.bottom;
}
CGFloat DZScrollView::zoomFactor() {
    CGFloat w = pageWidth();
    return w > 0 ? stretchedWidth() / w : 1;
}
CGFloat DZScrollView::zoomScale() {
    return zoomFactor();
}
bool DZScrollView::edgesAreZoomed(UIEdgeInsets e) {
    return e.left != e.right || e.top != e.bottom;
}
bool DZScrollView::isZoomed() {
    return edgesAreZoomed(pageEdges_);
}
bool DZScrollView::isPinched() {
    return pageEdges_.right - pageEdges_.left < 0;
}
bool DZScrollView::isPulled() {
    return pageEdges_.left > 0 || pageEdges_.top > 0 || pageEdges_.right < 0 ||
           pageEdges_.bottom < 0;
}
bool DZScrollView::isFirstPage() {
    return centerPageIndex_ == 0;
}
bool DZScrollView::isLastPage() {
    return centerPageIndex_ + 1 >= numberOfPages();
}

CGPoint DZScrollView::touchLocation(UITouch* touch) {
    CGPoint p = touch->locationInView(this);
    return isLandscape() ? CGPointMake(p.y, p.x) : p;
}
CGPoint DZScrollView::offsetForOrientation(CGFloat x, CGFloat y) {
    return isLandscape() ? CGPointMake(y, x) : CGPointMake(x, y);
}

CGRect DZScrollView::frameOfPageAtIndex(NSInteger index) {
    CGSize size = CGSizeMake(pageWidth(), pageHeight());
    auto source = dataSource_.lock();
    if (respondsTo(source.get(), Selector::named("scrollView:sizeOfPageAtIndex:"))) {
        CGSize s = source->scrollViewSizeOfPageAtIndex(this, index);
        if (s.width != 0 && s.height != 0) size = s;
    }
    CGFloat W = bounds().size.width, H = bounds().size.height;
    if (size.height == 0 || pageHeight() == 0) return CGRectMake(0, 0, W, H);
    CGFloat a = size.width / size.height, v = pageWidth() / pageHeight();
    CGFloat w, h;
    if (!isLandscape()) {
        if (a <= v) {
            w = a * H;
            h = H;
        } else {
            w = W;
            h = size.height / size.width * W;
        }
    } else if (a <= v) {
        w = W;
        h = a * W;
    } else {
        w = size.height / size.width * H;
        h = H;
    }
    return CGRectMake((W - w) / 2, (H - h) / 2, w, h);
}

CGFloat DZScrollView::overflowForFrame(CGRect frame) {
    CGFloat o = isLandscape() ? frame.origin.y : frame.origin.x;
    return o < 0 ? std::fabs(o) : 0;
}

CGAffineTransform DZScrollView::rotateTransform(CGAffineTransform t) {
    switch (orientation_) {
        case UIInterfaceOrientationPortraitUpsideDown:
            return CGAffineTransformRotate(t, static_cast<CGFloat>(-M_PI));
        case UIInterfaceOrientationLandscapeRight:
            return CGAffineTransformRotate(t, static_cast<CGFloat>(M_PI / 2));
        case UIInterfaceOrientationLandscapeLeft:
            return CGAffineTransformRotate(t, static_cast<CGFloat>(3 * M_PI / 2));
        default:
            return t;
    }
}

// Puts a page where its frame (the bounding box on screen) says, scaled and turned: the
// transform holds the scale and the rotation, the bounds the unturned, unscaled page and the
// centre the frame's middle, so the frame the view reports is the one asked for.
void DZScrollView::placePage(UIView* page, CGRect frame, CGFloat scale) {
    CGAffineTransform t = rotateTransform(scale == 1 ? CGAffineTransformIdentity
                                                     : CGAffineTransformMakeScale(scale, scale));
    CGFloat w = frame.size.width / scale, h = frame.size.height / scale;
    if (isLandscape()) std::swap(w, h);
    page->setTransform(t);
    page->setBounds(CGRectMake(0, 0, w, h));
    page->setCenter(CGPointMake(CGRectGetMidX(frame), CGRectGetMidY(frame)));
}

// ---- the ring of pages ---------------------------------------------------------------------

NSInteger DZScrollView::arrayIndexForPageIndex(NSInteger index, NSInteger relativeTo) {
    NSInteger count = numberOfPages();
    if (count == 0 || index < 0 || index >= count || std::abs(index - relativeTo) > 1) return -1;
    NSInteger slot = pageArrayIndex_ + (index - relativeTo);
    if (slot >= maxPages_) slot -= maxPages_;
    if (slot < 0) slot += maxPages_;
    return slot;
}

Ref<UIView> DZScrollView::pageAtIndex(NSInteger index, bool create) {
    NSInteger slot = arrayIndexForPageIndex(index, centerPageIndex_);
    if (slot < 0) return nullptr;
    Ref<NSObject> held = pages_->objectAtIndex(static_cast<NSUInteger>(slot));
    if (!isNull(held)) return cast<UIView>(held);
    if (!create) return nullptr;
    auto source = dataSource_.lock();
    if (!source) return nullptr;
    auto page = source->scrollViewPageAtIndex(this, index);
    if (!page) return nullptr;
    page->setMultipleTouchEnabled(true);
    page->setUserInteractionEnabled(true);
    addSubview(page);
    pages_->replaceObjectAtIndex(static_cast<NSUInteger>(slot), page);
    return page;
}

Ref<UIView> DZScrollView::enqueuePageAtIndex(NSInteger index) {
    NSInteger slot = arrayIndexForPageIndex(index, centerPageIndex_);
    if (slot < 0) return nullptr;
    Ref<NSObject> held = pages_->objectAtIndex(static_cast<NSUInteger>(slot));
    if (isNull(held)) return nullptr;
    auto page = cast<UIView>(held);
    pageQueue_->addObject(page);
    pages_->replaceObjectAtIndex(static_cast<NSUInteger>(slot), NSNull::null());
    page->removeFromSuperview();
    return page;
}

void DZScrollView::enqueueAllPages() {
    for (NSUInteger slot = 0; slot < pages_->count(); ++slot) {
        Ref<NSObject> held = pages_->objectAtIndex(slot);
        if (isNull(held)) continue;
        auto page = cast<UIView>(held);
        pageQueue_->addObject(page);
        pages_->replaceObjectAtIndex(slot, NSNull::null());
        page->removeFromSuperview();
    }
}

void DZScrollView::moveToPageAtIndex(NSInteger index, bool resetEdges) {
    if (resetEdges) {
        pageEdges_ = pageStartEdges_ = UIEdgeInsetsZero;
        zooming_ = false;
        setNeedsLayout();
    } else if (index != centerPageIndex_) {
        adjustPageEdgesForPageAtIndex(index);
        zooming_ = false;
    }
    if (index == centerPageIndex_) return;
    NSInteger d = index - centerPageIndex_;
    if (std::abs(d) > 1)
        reloadData();
    else if (d == 1)
        enqueuePageAtIndex(centerPageIndex_ - 1);
    else
        enqueuePageAtIndex(centerPageIndex_ + 1);
    NSInteger slot = arrayIndexForPageIndex(index, centerPageIndex_);
    // After a jump every slot is empty; the centre goes to the last one.
    pageArrayIndex_ = slot < 0 ? maxPages_ - 1 : slot;
    centerPageIndex_ = index;
    setNeedsLayout();
}

void DZScrollView::adjustPageEdgesForPageAtIndex(NSInteger index) {
    CGFloat sign = centerPageIndex_ > index ? 1 : -1;
    if (isFlipped()) sign = -sign;
    CGFloat shift = (pageWidth() + pageSpacing_ +
                     overflowForFrame(frameOfPageAtIndex(centerPageIndex_)) * zoomFactor() +
                     overflowForFrame(frameOfPageAtIndex(index))) *
                    sign;
    UIEdgeInsets e = pageEdges_;
    UIEdgeInsets start{};
    if (!isFlipped()) {
        start.left = (e.left > 0 ? e.left : e.right) - shift;
        start.right = (e.right < 0 ? e.right : e.left) - shift;
    } else {
        start.left = (e.right > 0 ? e.right : e.left) - shift;
        start.right = (e.left < 0 ? e.left : e.right) - shift;
    }
    pageStartEdges_ = pageEdges_ = start;
}

// ---- layout ----------------------------------------------------------------------------------

void DZScrollView::layoutPage() {
    auto page = centerPage();
    if (!page) return;
    CGPoint o = offsetForOrientation(pageEdges_.left, pageEdges_.top);
    CGRect f = frameOfPageAtIndex(centerPageIndex_);
    if (isZoomed()) {
        CGFloat z = zoomFactor();
        placePage(page,
                  CGRectMake(o.x + f.origin.x * z, o.y + f.origin.y * z, f.size.width * z,
                             f.size.height * z),
                  z);
    } else {
        placePage(page, CGRectOffset(f, o.x, o.y), 1);
    }
}

void DZScrollView::layoutAdjacentPages() {
    CGFloat centreOverflow = overflowForFrame(frameOfPageAtIndex(centerPageIndex_)) * zoomFactor();
    CGFloat step = pageWidth() + pageSpacing_;
    for (NSInteger n : {centerPageIndex_ - 1, centerPageIndex_ + 1}) {
        auto page = pageAtIndex(n, true);
        if (!page) continue;
        CGRect f = frameOfPageAtIndex(n);
        CGFloat acc = centreOverflow + overflowForFrame(f);
        bool onTheLeft = (n < centerPageIndex_) != isFlipped();
        CGFloat x = onTheLeft ? -step + pageEdges_.left - acc : step + pageEdges_.right + acc;
        CGPoint o = offsetForOrientation(x, 0);
        placePage(page, CGRectOffset(f, o.x, o.y), 1);
        page->setHidden(isPinched());
    }
}

void DZScrollView::layoutSubviews() {
    layoutPage();
    layoutAdjacentPages();
    if (visiblePageIndex_ != centerPageIndex_ && pageAtIndex(centerPageIndex_, false)) {
        visiblePageIndex_ = centerPageIndex_;
        if (auto d = delegate_.lock()) d->scrollViewDidMoveToPageAtIndex(this, centerPageIndex_);
    }
}

void DZScrollView::didMoveToSuperview() {
    if (!superview()) stopAnimation(true);
}

// ---- touches ---------------------------------------------------------------------------------

void DZScrollView::acquireTouch(UITouch* touch) {
    if (!touch1_) {
        touch1_ = touch;
        ++touchCount_;
    } else if (!touch2_ && touch1_.get() != touch) {
        touch2_ = touch;
        ++touchCount_;
    }
}

Ref<UITouch> DZScrollView::removeTouch(UITouch* touch) {
    if (touch1_.get() == touch) {
        touch1_ = nullptr;
        --touchCount_;
        return touch2_;
    }
    if (touch2_.get() == touch) {
        touch2_ = nullptr;
        --touchCount_;
        return touch1_;
    }
    return nullptr;
}

void DZScrollView::ensureTouches() {
    for (auto* t : {&touch1_, &touch2_})
        if (*t && (*t)->phase() == UITouchPhaseEnded) removeTouch(t->get());
}

UIEdgeInsets DZScrollView::stretchTouchEdges(UIEdgeInsets e, CGPoint p) {
    if (e.left == 0 || p.x < e.left) e.left = p.x;
    if (e.right == 0 || p.x > e.right) e.right = p.x;
    if (e.top == 0 || p.y < e.top) e.top = p.y;
    if (e.bottom == 0 || p.y > e.bottom) e.bottom = p.y;
    return e;
}

void DZScrollView::touchesBegan(NSSet* touches, UIEvent* event) {
    UIView::touchesBegan(touches, event);
    Ref<DZScrollView> self(this);
    ensureTouches();
    if (touchCount_ > 1) return;
    stopAnimation(false);
    for (NSObject* object : *touches) {
        auto* touch = static_cast<UITouch*>(object);
        NSUInteger before = touchCount_;
        acquireTouch(touch);
        if (touchCount_ == before) continue;  // a third finger
        severalFingers_ = before > 0;
        if (touchCount_ == 2) {
            if (scrollEnabled_ && !holding_) {
                touchEdges_ = stretchTouchEdges(touchEdges_, touchLocation(touch));
                touchStartEdges_ = touchEdges_;
                pageStartEdges_ = pageEdges_;
            }
        } else {
            tell("scrollView:touchedDown:",
                 [&](DZScrollViewDelegate* d) { d->scrollViewTouchedDown(this, touch); });
            if (holdsAfterTouchingForInterval_ != 0) {
                cancelHoldingTimer();
                Weak<DZScrollView> weak(this);
                holdingTimer_ = NSTimer::scheduledTimerWithTimeInterval(
                    holdsAfterTouchingForInterval_, false, [weak](NSTimer*) {
                        if (auto view = weak.lock()) {
                            view->holdingTimer_ = nullptr;
                            view->beginHolding();
                        }
                    });
            }
            if (scrollEnabled_ && !holding_) {
                touchEdges_ = touchStartEdges_ =
                    stretchTouchEdges(UIEdgeInsetsZero, touchLocation(touch));
                pageStartEdges_ = pageEdges_;
                renewPosition_ = CGPointMake(touchEdges_.left, touchEdges_.top);
            }
        }
        if (touch->tapCount() == 2) cancelTapTimer();
    }
    actualDistanceBetweenFingers_ = 0;
    if (touchCount_ == 2) {
        CGPoint a = touchLocation(touch1_.get()), b = touchLocation(touch2_.get());
        centerOfFingers_ = CGPointMake((a.x + b.x) / 2, (a.y + b.y) / 2);
    }
}

bool DZScrollView::calculateZoomScaleUsingFingerDistances(CGFloat* scale) {
    CGPoint a = touchLocation(touch1_.get()), b = touchLocation(touch2_.get());
    distanceBetweenFingers_ = std::hypot(a.x - b.x, a.y - b.y);
    // Fingers on one spot give no distance to scale by: the step is skipped.
    if (distanceBetweenFingers_ == 0) return false;
    if (actualDistanceBetweenFingers_ == 0) actualDistanceBetweenFingers_ = distanceBetweenFingers_;
    CGFloat s = zoomFactor() * distanceBetweenFingers_ / actualDistanceBetweenFingers_;
    *scale = std::min(s, maximumZoomScale_);
    actualDistanceBetweenFingers_ = distanceBetweenFingers_;
    return true;
}

UIEdgeInsets DZScrollView::squareEdgesUsingZoomScale(CGFloat s, CGPoint anchor) {
    CGFloat pw = pageWidth(), ph = pageHeight();
    // The page keeps at least a point each way, so it can always be zoomed back.
    CGFloat w = std::max<CGFloat>(1, std::floor(pw * s));
    CGFloat h = std::max<CGFloat>(1, std::floor(ph * s));
    UIEdgeInsets e = pageEdges_;
    UIEdgeInsets r{};
    r.left = anchor.x - w * (anchor.x - e.left) / stretchedWidth();
    r.right = r.left + w - pw;
    r.top = anchor.y - h * (anchor.y - e.top) / stretchedHeight();
    r.bottom = r.top + h - ph;
    return r;
}

CGFloat DZScrollView::resist(CGFloat current, CGFloat target, CGFloat limit) {
    CGFloat factor = limit != 0 ? (1 - std::fabs(target) / limit) * 0.15f : 0;
    factor = std::clamp<CGFloat>(factor, 0, 1);
    return current + (target - current) * factor;
}

UIEdgeInsets DZScrollView::resistPageEdges(UIEdgeInsets e) {
    CGFloat W = pageWidth(), H = pageHeight();
    UIEdgeInsets cur = pageEdges_;
    if (e.right - e.left < 0 || e.bottom - e.top < 0) {
        CGFloat z = zoomFactor();
        e.left = resist(cur.left, e.left, W * z);
        e.right = resist(cur.right, e.right, W * z);
        e.top = resist(cur.top, e.top, H * z);
        e.bottom = resist(cur.bottom, e.bottom, H * z);
        return e;
    }
    bool one = touchCount_ < 2;
    auto recentreHorizontally = [&] {
        CGFloat dx = (W / H * (H - e.top + e.bottom) - (W - e.left + e.right)) / 2;
        e.left -= dx;
        e.right += dx;
    };
    auto recentreVertically = [&] {
        CGFloat dy = (H / W * (W - e.left + e.right) - (H - e.top + e.bottom)) / 2;
        e.top -= dy;
        e.bottom += dy;
    };
    if (!one || isZoomed()) {
        if (e.top > 0) {
            CGFloat top = resist(cur.top, e.top, H);
            e.bottom = (one ? cur.bottom : e.bottom) + (top - cur.top);
            e.top = top;
            recentreHorizontally();
        } else if (e.bottom < 0) {
            CGFloat bottom = resist(cur.bottom, e.bottom, H);
            e.top = (one ? cur.top : e.top) + (bottom - cur.bottom);
            e.bottom = bottom;
            recentreHorizontally();
        }
    }
    bool towardsPrevious = isFlipped() ? e.left < 0 : e.left > 0;
    bool towardsNext = isFlipped() ? e.right > 0 : e.right < 0;
    if (isFirstPage() && towardsPrevious && !isZoomed()) {
        CGFloat left = resist(cur.left, e.left, W);
        e.right = (one ? cur.right : e.right) + (left - cur.left);
        e.left = left;
        recentreVertically();
    } else if (isLastPage() && towardsNext && !isZoomed()) {
        CGFloat right = resist(cur.right, e.right, W);
        e.left = (one ? cur.left : e.left) + (right - cur.right);
        e.right = right;
        recentreVertically();
    }
    return e;
}

bool DZScrollView::canZoom() {
    if (!zoomEnabled_ || holding_) return false;
    if (zooming_) return true;
    auto d = delegate_.lock();
    if (respondsTo(d.get(), Selector::named("scrollViewShouldZoom:")))
        return d->scrollViewShouldZoom(this);
    return true;
}

void DZScrollView::updateZooming(UIEdgeInsets edges) {
    if (!zooming_ && (isZoomed() || edgesAreZoomed(edges))) {
        zooming_ = true;
        if (auto page = pageAtIndex(centerPageIndex_, false))
            page->setUserInteractionEnabled(false);
        tell("scrollViewDidBeginZooming:",
             [&](DZScrollViewDelegate* d) { d->scrollViewDidBeginZooming(this); });
    } else if (zooming_ && !isZoomed()) {
        zooming_ = false;
        if (auto page = pageAtIndex(centerPageIndex_, false)) page->setUserInteractionEnabled(true);
        tell("scrollViewDidEndZooming:",
             [&](DZScrollViewDelegate* d) { d->scrollViewDidEndZooming(this); });
    }
}

void DZScrollView::touchesMoved(NSSet* touches, UIEvent* event) {
    UIView::touchesMoved(touches, event);
    Ref<DZScrollView> self(this);
    cancelHoldingTimer();
    if (!scrollEnabled_ || holding_ || touchCount_ == 0 || animationTimer_) return;
    if (!dragging_) {
        dragging_ = true;
        cancelTapTimer();
        tell("scrollViewWillBeginDragging:",
             [&](DZScrollViewDelegate* d) { d->scrollViewWillBeginDragging(this); });
    }
    touchEdges_ = UIEdgeInsetsZero;
    for (auto& t : event->touchList())
        if (t == touch1_ || t == touch2_)
            touchEdges_ = stretchTouchEdges(touchEdges_, touchLocation(t.get()));
    UIEdgeInsets c = pageEdges_;
    c.left = pageStartEdges_.left + (touchEdges_.left - touchStartEdges_.left);
    c.right = pageStartEdges_.right + (touchEdges_.right - touchStartEdges_.right);
    if ((touchCount_ == 2 || isZoomed()) && zoomEnabled_ && !holding_) {
        c.top = pageStartEdges_.top + (touchEdges_.top - touchStartEdges_.top);
        c.bottom = pageStartEdges_.bottom + (touchEdges_.bottom - touchStartEdges_.bottom);
    }
    if (touchCount_ == 1) {
        c = resistPageEdges(c);
        executingZoomGesture_ = false;
    } else if (touchCount_ == 2 && zoomEnabled_ && !holding_) {
        CGFloat scale = 1;
        if (!calculateZoomScaleUsingFingerDistances(&scale)) return;
        c = resistPageEdges(squareEdgesUsingZoomScale(scale, centerOfFingers_));
        executingZoomGesture_ = true;
    }
    inertiaSpeed_ =
        CGPointMake(touchEdges_.left - renewPosition_.x, touchEdges_.top - renewPosition_.y);
    renewPosition_ = CGPointMake(touchEdges_.left, touchEdges_.top);
    if (!edgesAreZoomed(c) || canZoom()) {
        pageEdges_ = c;
        updateZooming(c);
        setNeedsLayout();
    }
}

void DZScrollView::touchesEnded(NSSet* touches, UIEvent* event) {
    UIView::touchesEnded(touches, event);
    Ref<DZScrollView> self(this);
    cancelHoldingTimer();
    if (holding_) endHolding();
    for (NSObject* object : *touches) {
        Ref<UITouch> touch(static_cast<UITouch*>(object));
        if (touch != touch1_ && touch != touch2_) continue;
        auto other = removeTouch(touch.get());
        if (touchCount_ == 0) {
            // Only a finger that stayed where it landed taps (a drag or a pinch does not).
            bool still = !severalFingers_ && touch->farthestFromLanding() <= UITouchTapSlop;
            if (touch->tapCount() == 1 && !dragging_ && still) {
                executingZoomGesture_ = false;
                tell("scrollView:touchedUpInside:", [&](DZScrollViewDelegate* d) {
                    d->scrollViewTouchedUpInside(this, touch.get());
                });
                startTapTimer(touch.get());
            } else if (touch->tapCount() == 2 && canZoom()) {
                if (!isZoomed())
                    setZoomScale(maximumZoomScale_ / 1.3f, touchLocation(touch.get()), true);
                else
                    zoomToFit();
            }
            if (scrollEnabled_ && isZoomed() && std::abs(static_cast<int>(inertiaSpeed_.x)) >= 1 &&
                std::abs(static_cast<int>(inertiaSpeed_.y)) >= 1) {
                inertiaSpeed_.x *= 1.5f;
                inertiaSpeed_.y *= 1.5f;
                pageStartEdges_ = pageEdges_;
                tell("scrollViewWillBeginDecelerating:",
                     [&](DZScrollViewDelegate* d) { d->scrollViewWillBeginDecelerating(this); });
                if (!animationTimer_) {
                    decelerating_ = true;
                    cancelTapTimer();
                    Weak<DZScrollView> weak(this);
                    animationTimer_ = NSTimer::scheduledTimerWithTimeInterval(
                        kAnimationTick, true, [weak](NSTimer*) {
                            if (auto view = weak.lock()) view->inertiaAnimator();
                        });
                }
            }
            stopDragging(true);
        } else if (touchCount_ == 1 && other) {
            touchEdges_ = touchStartEdges_ =
                stretchTouchEdges(UIEdgeInsetsZero, touchLocation(other.get()));
            pageStartEdges_ = pageEdges_;
            renewPosition_ = CGPointMake(touchEdges_.left, touchEdges_.top);
            executingZoomGesture_ = false;
        }
        startPageAnimationIfNeeded();
    }
}

void DZScrollView::touchesCancelled(NSSet* touches, UIEvent* event) {
    UIView::touchesCancelled(touches, event);
    Ref<DZScrollView> self(this);
    cancelHoldingTimer();
    for (NSObject* object : *touches)
        removeTouch(static_cast<UITouch*>(object));
    if (touchCount_ == 0) {
        stopAnimation(true);
        stopDragging(false);
        updateZooming(UIEdgeInsetsZero);
        pageEdges_ = UIEdgeInsetsZero;
        setNeedsLayout();
    }
}

void DZScrollView::cancelTouches() {
    stopAnimation(true);
    stopDragging(false);
    updateZooming(UIEdgeInsetsZero);
    touch1_ = touch2_ = nullptr;
    touchCount_ = 0;
}

void DZScrollView::stopDragging(bool willDecelerate) {
    if (!dragging_) return;
    dragging_ = false;
    tell("scrollViewDidEndDragging:willDecelerate:",
         [&](DZScrollViewDelegate* d) { d->scrollViewDidEndDragging(this, willDecelerate); });
}

void DZScrollView::startTapTimer(UITouch* touch) {
    cancelTapTimer();
    Weak<DZScrollView> weak(this);
    Ref<UITouch> held(touch);
    tapTimer_ = NSTimer::scheduledTimerWithTimeInterval(kTapDelay, false, [weak, held](NSTimer*) {
        auto view = weak.lock();
        if (!view) return;
        view->tapTimer_ = nullptr;
        view->tell("scrollView:tapped:",
                   [&](DZScrollViewDelegate* d) { d->scrollViewTapped(view.get(), held.get()); });
    });
}

void DZScrollView::cancelTapTimer() {
    if (auto t = std::move(tapTimer_)) t->invalidate();
}

void DZScrollView::cancelHoldingTimer() {
    if (auto t = std::move(holdingTimer_)) t->invalidate();
}

void DZScrollView::beginHolding() {
    cancelHoldingTimer();
    holding_ = true;
    tell("scrollViewDidBeginHolding:",
         [&](DZScrollViewDelegate* d) { d->scrollViewDidBeginHolding(this); });
}

void DZScrollView::endHolding() {
    holding_ = false;
    tell("scrollViewDidEndHolding:",
         [&](DZScrollViewDelegate* d) { d->scrollViewDidEndHolding(this); });
}

// ---- page changes and animation -----------------------------------------------------------

NSInteger DZScrollView::realPageIndex() {
    if (isPinched()) return centerPageIndex_;
    const UIEdgeInsets& e = pageEdges_;
    if (!isFlipped()) {
        if (e.left > kFlickThreshold && !isFirstPage()) return centerPageIndex_ - 1;
        if (e.right < -kFlickThreshold && !isLastPage()) return centerPageIndex_ + 1;
    } else {
        if (e.left > kFlickThreshold && !isLastPage()) return centerPageIndex_ + 1;
        if (e.right < -kFlickThreshold && !isFirstPage()) return centerPageIndex_ - 1;
    }
    return centerPageIndex_;
}

bool DZScrollView::isFlicked() {
    return realPageIndex() != centerPageIndex_;
}

UIEdgeInsets DZScrollView::pageEdgesForAnimation() {
    const UIEdgeInsets e = pageEdges_;
    if (isPinched()) return negated(e);
    if (isFlicked()) {
        bool leftward = e.left >= 0;
        NSInteger n = (leftward != isFlipped()) ? centerPageIndex_ - 1 : centerPageIndex_ + 1;
        CGFloat acc = overflowForFrame(frameOfPageAtIndex(centerPageIndex_)) * zoomFactor() +
                      overflowForFrame(frameOfPageAtIndex(n));
        CGFloat nearer = std::fabs(e.left) < std::fabs(e.right) ? e.left : e.right;
        if (leftward) {
            CGFloat d = pageWidth() + pageSpacing_ - nearer + acc;
            return UIEdgeInsetsMake(0, d, 0, d);
        }
        CGFloat d = pageWidth() + pageSpacing_ + nearer + acc;
        return UIEdgeInsetsMake(0, -d, 0, -d);
    }
    CGFloat h = e.left > 0 ? -e.left : e.right < 0 ? -e.right : 0;
    CGFloat v = e.top > 0 ? -e.top : e.bottom < 0 ? -e.bottom : 0;
    return UIEdgeInsetsMake(v, h, v, h);
}

void DZScrollView::startPageAnimationIfNeeded() {
    if ((isPinched() || (touchCount_ == 0 && isPulled())) && scrollEnabled_)
        startAnimation(pageEdgesForAnimation(), isFlicked() ? 0.4 : 0.3);
}

void DZScrollView::startAnimation(UIEdgeInsets change, NSTimeInterval duration) {
    if (animationTimer_) return;
    pageStartEdges_ = pageEdges_;
    updateZooming(change);
    cancelTapTimer();
    animateEdges_ = change;
    animationDuration_ = duration;
    animationStartTime_ = Clock::uptime();
    Weak<DZScrollView> weak(this);
    animationTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(kAnimationTick, true, [weak](NSTimer*) {
            if (auto view = weak.lock()) view->animator();
        });
}

void DZScrollView::animator() {
    Ref<DZScrollView> self(this);
    double t = Clock::uptime() - animationStartTime_;
    double p = 1;
    if (animationDuration_ > 0) {
        // Cubic ease-out; the tiny margin lets the last tick land on the end despite rounding.
        double r = t / animationDuration_ - 1;
        p = t + 1e-9 >= animationDuration_ ? 1.0 : std::min(1.0, r * r * r + 1);
    }
    pageEdges_ = addEdges(pageStartEdges_, animateEdges_, static_cast<CGFloat>(p));
    setNeedsLayout();
    if (p >= 1) {
        layoutIfNeeded();
        stopAnimation(false);
        tell("scrollViewDidEndDecelerating:",
             [&](DZScrollViewDelegate* d) { d->scrollViewDidEndDecelerating(this); });
    }
}

void DZScrollView::stopAnimation(bool resetEdges) {
    if (!animationTimer_) return;
    if (auto t = std::move(animationTimer_)) t->invalidate();
    animationStartTime_ = 0;
    updateZooming(UIEdgeInsetsZero);
    NSInteger index = realPageIndex();
    if (index != centerPageIndex_ || isPinched()) moveToPageAtIndex(index, resetEdges);
}

void DZScrollView::inertiaAnimator() {
    Ref<DZScrollView> self(this);
    CGFloat rate = decelerationRate_;
    if (isPulled()) rate /= 2;
    inertiaSpeed_.x *= rate;
    inertiaSpeed_.y *= rate;
    UIEdgeInsets e = pageEdges_;
    e.top += inertiaSpeed_.y;
    e.bottom += inertiaSpeed_.y;
    e.left += inertiaSpeed_.x;
    e.right += inertiaSpeed_.x;
    updateZooming(e);
    pageEdges_ = e;
    setNeedsLayout();
    if (static_cast<int>(inertiaSpeed_.x) == 0 && static_cast<int>(inertiaSpeed_.y) == 0) {
        stopAnimation(false);
        decelerating_ = false;
        inertiaSpeed_ = CGPointZero;
        tell("scrollViewDidEndDecelerating:",
             [&](DZScrollViewDelegate* d) { d->scrollViewDidEndDecelerating(this); });
        startPageAnimationIfNeeded();
    }
}

void DZScrollView::setZoomScale(CGFloat scale) {
    setZoomScale(scale, true);
}

void DZScrollView::setZoomScale(CGFloat scale, bool animated) {
    setZoomScale(scale, CGPointMake(pageWidth() / 2, pageHeight() / 2), animated);
}

void DZScrollView::setZoomScale(CGFloat scale, CGPoint point, bool animated) {
    if (scale > maximumZoomScale_ || !zoomEnabled_) return;
    UIEdgeInsets edges = squareEdgesUsingZoomScale(scale, point);
    if (animated) {
        // The animation moves by a change: from where the page is to the zoomed edges.
        startAnimation(addEdges(edges, pageEdges_, -1), 0.3);
        return;
    }
    edges = resistPageEdges(edges);
    if (edgesAreZoomed(edges) && !canZoom()) return;
    pageEdges_ = edges;
    updateZooming(edges);
    setNeedsLayout();
}

void DZScrollView::zoomToFit() {
    startAnimation(negated(pageEdges_), 0.3);
}

void DZScrollView::zoomToDistance(CGFloat d) {
    startAnimation(UIEdgeInsetsMake(d, d, -d, -d), 0.3);
}

// ---- rotation --------------------------------------------------------------------------------

bool DZScrollView::supportsOrientation(UIInterfaceOrientation o) {
    return o >= 1 && o <= 6;
}

void DZScrollView::setOrientation(UIInterfaceOrientation o) {
    setOrientation(o, true);
}

void DZScrollView::setOrientation(UIInterfaceOrientation o, bool animated) {
    if (o == orientation_ || !supportsOrientation(o)) return;
    tell("scrollViewWillRotate:toOrientation:",
         [&](DZScrollViewDelegate* d) { d->scrollViewWillRotate(this, o); });
    orientation_ = o;
    if (animated) {
        Weak<DZScrollView> weak(this);
        UIView::animateWithDuration(
            0.3, [this] { layoutPage(); },
            [weak](bool) {
                if (auto view = weak.lock()) view->rotationDidStop();
            });
    } else {
        rotationDidStop();
        setNeedsLayout();
    }
}

void DZScrollView::rotationDidStop() {
    tell("scrollViewDidRotate:", [&](DZScrollViewDelegate* d) { d->scrollViewDidRotate(this); });
}
