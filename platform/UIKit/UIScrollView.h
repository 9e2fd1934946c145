// Scroll views: the content offset is the bounds origin; content size and insets bound it.
// Dragging, deceleration and zooming are driven by calls (the shell's scroll command, tests)
// that produce the delegate callbacks in the platform's order.
#pragma once

#include "UIKit/UIView.h"

class UIScrollView;

enum UIScrollViewIndicatorStyle : NSInteger {
    UIScrollViewIndicatorStyleDefault = 0,
    UIScrollViewIndicatorStyleBlack,
    UIScrollViewIndicatorStyleWhite,
};

inline constexpr CGFloat UIScrollViewDecelerationRateNormal = 0.998f;
inline constexpr CGFloat UIScrollViewDecelerationRateFast = 0.99f;

// All optional.
class UIScrollViewDelegate {
public:
    virtual ~UIScrollViewDelegate() = default;
    virtual void scrollViewDidScroll(UIScrollView*) {}
    virtual void scrollViewDidZoom(UIScrollView*) {}
    virtual void scrollViewWillBeginDragging(UIScrollView*) {}
    virtual void scrollViewDidEndDraggingWillDecelerate(UIScrollView*, bool) {}
    virtual void scrollViewWillBeginDecelerating(UIScrollView*) {}
    virtual void scrollViewDidEndDecelerating(UIScrollView*) {}
    virtual void scrollViewDidEndScrollingAnimation(UIScrollView*) {}
    virtual Ref<UIView> viewForZoomingInScrollView(UIScrollView*) { return nullptr; }
    virtual void scrollViewWillBeginZoomingWithView(UIScrollView*, UIView*) {}
    virtual void scrollViewDidEndZoomingWithViewAtScale(UIScrollView*, UIView*, float) {}
    virtual bool scrollViewShouldScrollToTop(UIScrollView*) { return true; }
    virtual void scrollViewDidScrollToTop(UIScrollView*) {}
};

class UIScrollView : public UIView {
    NS_OBJECT(UIScrollView, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;

    CGPoint contentOffset() { return bounds().origin; }
    // Moves the bounds origin (no clamping, as the platform does) and tells the delegate.
    virtual void setContentOffset(CGPoint offset);
    // Animated: the offset changes at once; scrollViewDidEndScrollingAnimation: follows on the
    // main loop after 0.3 seconds on the Clock.
    virtual void setContentOffset(CGPoint offset, bool animated);
    CGSize contentSize() { return contentSize_; }
    virtual void setContentSize(CGSize size);
    UIEdgeInsets contentInset() { return contentInset_; }
    virtual void setContentInset(UIEdgeInsets insets);
    UIEdgeInsets scrollIndicatorInsets() { return indicatorInsets_; }
    void setScrollIndicatorInsets(UIEdgeInsets insets) { indicatorInsets_ = insets; }
    // The offsets a resting scroll view may take: from -inset.top/-inset.left to where the
    // content's end (plus the bottom/right inset) meets the bounds' end.
    CGPoint minimumContentOffset();
    CGPoint maximumContentOffset();

    bool isScrollEnabled() { return scrollEnabled_; }
    void setScrollEnabled(bool v) { scrollEnabled_ = v; }
    bool isPagingEnabled() { return pagingEnabled_; }
    void setPagingEnabled(bool v) { pagingEnabled_ = v; }
    bool bounces() { return bounces_; }
    void setBounces(bool v) { bounces_ = v; }
    bool alwaysBounceVertical() { return alwaysBounceVertical_; }
    void setAlwaysBounceVertical(bool v) { alwaysBounceVertical_ = v; }
    bool alwaysBounceHorizontal() { return alwaysBounceHorizontal_; }
    void setAlwaysBounceHorizontal(bool v) { alwaysBounceHorizontal_ = v; }
    bool isDirectionalLockEnabled() { return directionalLock_; }
    void setDirectionalLockEnabled(bool v) { directionalLock_ = v; }
    bool showsHorizontalScrollIndicator() { return showsHorizontal_; }
    void setShowsHorizontalScrollIndicator(bool v) { showsHorizontal_ = v; }
    bool showsVerticalScrollIndicator() { return showsVertical_; }
    void setShowsVerticalScrollIndicator(bool v) { showsVertical_ = v; }
    UIScrollViewIndicatorStyle indicatorStyle() { return indicatorStyle_; }
    void setIndicatorStyle(UIScrollViewIndicatorStyle s) { indicatorStyle_ = s; }
    bool scrollsToTop() { return scrollsToTop_; }
    void setScrollsToTop(bool v) { scrollsToTop_ = v; }
    CGFloat decelerationRate() { return decelerationRate_; }
    void setDecelerationRate(CGFloat r) { decelerationRate_ = r; }
    bool delaysContentTouches() { return delaysContentTouches_; }
    void setDelaysContentTouches(bool v) { delaysContentTouches_ = v; }
    bool canCancelContentTouches() { return canCancelContentTouches_; }
    void setCanCancelContentTouches(bool v) { canCancelContentTouches_ = v; }
    void flashScrollIndicators() {}

    bool isTracking() { return tracking_; }
    bool isDragging() { return dragging_; }
    bool isDecelerating() { return decelerating_; }

    // Scrolls the least needed to show the rectangle (content coordinates) within the resting
    // range.
    void scrollRectToVisible(CGRect rect, bool animated);

    // ---- zooming ---------------------------------------------------------------------------
    CGFloat zoomScale() { return zoomScale_; }
    // Clamped to the minimum and maximum; scales the delegate's zooming view and the content
    // size, then tells the delegate (did zoom, and did end zooming).
    void setZoomScale(CGFloat scale);
    void setZoomScale(CGFloat scale, bool animated);
    void zoomToRect(CGRect rect, bool animated);
    CGFloat minimumZoomScale() { return minZoom_; }
    void setMinimumZoomScale(CGFloat s) { minZoom_ = s; }
    CGFloat maximumZoomScale() { return maxZoom_; }
    void setMaximumZoomScale(CGFloat s) { maxZoom_ = s; }
    bool bouncesZoom() { return bouncesZoom_; }
    void setBouncesZoom(bool v) { bouncesZoom_ = v; }
    bool isZooming() { return zooming_; }
    bool isZoomBouncing() { return false; }

    // Not retained.
    Ref<UIScrollViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIScrollViewDelegate* delegate) { delegate_ = delegate; }

    // ---- driving (the shell and tests) ----------------------------------------------------------
    // A finger drag that moves the content offset by `delta` (positive y scrolls down the
    // content). Calls: will begin dragging; the offset moves, past the edges only when the view
    // bounces (else clamped), with did-scroll; did end dragging (will decelerate when asked or
    // when the offset rests outside the range); then, when decelerating, will begin
    // decelerating, the offset settles into the range (paged when paging) with did-scroll, and
    // did end decelerating.
    void dragBy(CGPoint delta, bool decelerate);
    // The two halves of a drag, for callers that look at the state in between.
    void beginDragging();
    void dragTo(CGPoint offset);
    void endDragging(bool decelerate);
    // Tapping the status bar: scrolls to the top when allowed, with the delegate's calls.
    void scrollToTop();

    void setFrame(CGRect frame) override;
    void setBounds(CGRect bounds) override;

protected:
    // Where an offset comes to rest: clamped into the range (and onto a page when paging).
    CGPoint restingOffset(CGPoint offset);
    void didScroll();

private:
    Weak<UIScrollViewDelegate> delegate_;
    CGSize contentSize_{};
    UIEdgeInsets contentInset_{}, indicatorInsets_{};
    bool scrollEnabled_ = true, pagingEnabled_ = false, bounces_ = true;
    bool alwaysBounceVertical_ = false, alwaysBounceHorizontal_ = false;
    bool directionalLock_ = false, showsHorizontal_ = true, showsVertical_ = true;
    bool scrollsToTop_ = true, delaysContentTouches_ = true, canCancelContentTouches_ = true;
    bool tracking_ = false, dragging_ = false, decelerating_ = false, zooming_ = false;
    bool bouncesZoom_ = true;
    UIScrollViewIndicatorStyle indicatorStyle_ = UIScrollViewIndicatorStyleDefault;
    CGFloat decelerationRate_ = UIScrollViewDecelerationRateNormal;
    CGFloat zoomScale_ = 1, minZoom_ = 1, maxZoom_ = 1;
    CGSize unzoomedContentSize_{};
};
