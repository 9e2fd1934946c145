// A horizontal pager of page views from a data source, with its own touch handling: one finger
// drags the centre page (resisting at the ends), a lift past 60 points goes to the neighbour,
// two fingers or a double tap zoom the centre page, a zoomed page pans and is thrown with
// inertia, and the pages turn with the interface orientation. It is not a platform scroll
// view: the whole geometry is one value, the page edges (how far each edge of the centre page
// has moved from its fitted place), and pages move by their frames and transforms. At most
// three pages live at once, in a ring of three slots; pages leaving it wait in a reuse queue.
// Animations and inertia tick every 0.025 s on the run loop's timers. Main thread only.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIView.h"

class DZScrollView;
class NSArray;
class NSDictionary;
class NSMutableArray;
class NSTimer;

class DZScrollViewDataSource {
public:
    virtual ~DZScrollViewDataSource() = default;
    virtual NSInteger numberOfPagesInScrollView(DZScrollView* scrollView) = 0;
    virtual Ref<UIView> scrollViewPageAtIndex(DZScrollView* scrollView, NSInteger index) = 0;
    // The natural size of a page's content; a zero side means the page fills the view. Asked
    // only of sources that list "scrollView:sizeOfPageAtIndex:" among their answers.
    virtual CGSize scrollViewSizeOfPageAtIndex(DZScrollView*, NSInteger) { return CGSizeZero; }
};

// Every method but the first is optional: an implementer lists the ones it answers.
class DZScrollViewDelegate {
public:
    virtual ~DZScrollViewDelegate() = default;
    virtual void scrollViewDidMoveToPageAtIndex(DZScrollView* scrollView, NSInteger index) = 0;
    virtual void scrollViewWillRotate(DZScrollView*, UIInterfaceOrientation) {}
    virtual void scrollViewDidRotate(DZScrollView*) {}
    virtual void scrollViewWillBeginDragging(DZScrollView*) {}
    virtual void scrollViewDidEndDragging(DZScrollView*, bool /*willDecelerate*/) {}
    virtual void scrollViewWillBeginDecelerating(DZScrollView*) {}
    virtual void scrollViewDidEndDecelerating(DZScrollView*) {}
    virtual bool scrollViewShouldZoom(DZScrollView*) { return true; }
    virtual void scrollViewDidBeginZooming(DZScrollView*) {}
    virtual void scrollViewDidEndZooming(DZScrollView*) {}
    virtual void scrollViewTouchedDown(DZScrollView*, UITouch*) {}
    virtual void scrollViewTouchedUpInside(DZScrollView*, UITouch*) {}
    virtual void scrollViewTapped(DZScrollView*, UITouch*) {}
    virtual void scrollViewDidBeginHolding(DZScrollView*) {}
    virtual void scrollViewDidEndHolding(DZScrollView*) {}
    virtual bool scrollViewShouldAutorotateToInterfaceOrientation(DZScrollView*,
                                                                  UIInterfaceOrientation) {
        return true;
    }
};

class DZScrollView : public UIView {
    NS_OBJECT(DZScrollView, UIView)

public:
    static constexpr NSTimeInterval kAnimationTick = 0.025;
    static constexpr NSTimeInterval kTapDelay = 0.2;
    static constexpr CGFloat kFlickThreshold = 60;

    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    Ref<DZScrollViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZScrollViewDelegate* delegate) { delegate_ = delegate; }
    Ref<DZScrollViewDataSource> dataSource() { return dataSource_.lock(); }
    void setDataSource(DZScrollViewDataSource* dataSource);

    NSInteger centerPageIndex() { return centerPageIndex_; }
    void setCenterPageIndex(NSInteger index);
    NSInteger numberOfPages();
    Ref<UIView> centerPage();
    // The page at an index when it is loaded; never creates one.
    Ref<UIView> pageAtIndex(NSInteger index);
    // Page index (NSNumber) to view for the centre page and its neighbours, made as needed.
    Ref<NSDictionary> visiblePages();
    Ref<UIView> dequeueReusablePage();
    void reloadData();

    bool isZoomed();
    bool isZooming() { return executingZoomGesture_; }
    bool isHolding() { return holding_; }
    bool isDecelerating() { return decelerating_; }
    bool isDragging() { return dragging_; }
    bool scrollEnabled() { return scrollEnabled_; }
    void setScrollEnabled(bool enabled) { scrollEnabled_ = enabled; }
    bool zoomEnabled() { return zoomEnabled_; }
    void setZoomEnabled(bool enabled) { zoomEnabled_ = enabled; }
    bool rotateEnabled() { return rotateEnabled_; }
    void setRotateEnabled(bool enabled) { rotateEnabled_ = enabled; }
    CGFloat pageSpacing() { return pageSpacing_; }
    void setPageSpacing(CGFloat spacing) { pageSpacing_ = spacing; }
    NSTimeInterval holdsAfterTouchingForInterval() { return holdsAfterTouchingForInterval_; }
    void setHoldsAfterTouchingForInterval(NSTimeInterval s) { holdsAfterTouchingForInterval_ = s; }
    CGFloat decelerationRate() { return decelerationRate_; }
    void setDecelerationRate(CGFloat rate) { decelerationRate_ = rate; }
    CGFloat maximumZoomScale() { return maximumZoomScale_; }
    void setMaximumZoomScale(CGFloat scale) { maximumZoomScale_ = scale; }
    UIInterfaceOrientation orientation() { return orientation_; }
    void setOrientation(UIInterfaceOrientation orientation);
    void setOrientation(UIInterfaceOrientation orientation, bool animated);
    bool supportsOrientation(UIInterfaceOrientation orientation);

    UIEdgeInsets pageEdges() { return pageEdges_; }
    // The zoom factor of the centre page (1 when fitted).
    CGFloat zoomScale();
    void setZoomScale(CGFloat scale);
    void setZoomScale(CGFloat scale, bool animated);
    // Zooms to a scale about a point of the view; scales above the maximum are ignored.
    void setZoomScale(CGFloat scale, CGPoint point, bool animated);
    void zoomToFit();
    void zoomToDistance(CGFloat distance);
    void cancelTouches();

    // The fitted frame of a page in the view (its rotated bounding box in landscape).
    CGRect frameOfPageAtIndex(NSInteger index);

    void layoutSubviews() override;
    void didMoveToSuperview() override;
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;

private:
    bool isLandscape();
    bool isFlipped();
    CGFloat pageWidth();
    CGFloat pageHeight();
    CGFloat stretchedWidth();
    CGFloat stretchedHeight();
    CGFloat zoomFactor();
    static bool edgesAreZoomed(UIEdgeInsets edges);
    bool isPinched();
    bool isPulled();
    bool isFirstPage();
    bool isLastPage();
    CGPoint touchLocation(UITouch* touch);
    CGPoint offsetForOrientation(CGFloat x, CGFloat y);
    CGFloat overflowForFrame(CGRect frame);
    CGAffineTransform rotateTransform(CGAffineTransform transform);
    void placePage(UIView* page, CGRect frame, CGFloat scale);

    NSInteger arrayIndexForPageIndex(NSInteger index, NSInteger relativeTo);
    Ref<UIView> pageAtIndex(NSInteger index, bool create);
    Ref<UIView> enqueuePageAtIndex(NSInteger index);
    void enqueueAllPages();
    void moveToPageAtIndex(NSInteger index, bool resetEdges);
    void adjustPageEdgesForPageAtIndex(NSInteger index);
    void layoutPage();
    void layoutAdjacentPages();

    void acquireTouch(UITouch* touch);
    Ref<UITouch> removeTouch(UITouch* touch);
    void ensureTouches();
    static UIEdgeInsets stretchTouchEdges(UIEdgeInsets edges, CGPoint point);
    bool calculateZoomScaleUsingFingerDistances(CGFloat* scale);
    UIEdgeInsets squareEdgesUsingZoomScale(CGFloat scale, CGPoint anchor);
    static CGFloat resist(CGFloat current, CGFloat target, CGFloat limit);
    UIEdgeInsets resistPageEdges(UIEdgeInsets edges);
    bool canZoom();
    void updateZooming(UIEdgeInsets edges);
    void stopDragging(bool willDecelerate);
    void startTapTimer(UITouch* touch);
    void cancelTapTimer();
    void cancelHoldingTimer();
    void beginHolding();
    void endHolding();

    bool isFlicked();
    NSInteger realPageIndex();
    UIEdgeInsets pageEdgesForAnimation();
    void startAnimation(UIEdgeInsets change, NSTimeInterval duration);
    void startPageAnimationIfNeeded();
    void animator();
    void stopAnimation(bool resetEdges);
    void inertiaAnimator();
    void rotationDidStop();
    template <class Call>
    void tell(const char* selector, Call call);

    NSInteger centerPageIndex_ = 0;
    NSInteger visiblePageIndex_ = -1;
    bool scrollEnabled_ = true;
    bool zoomEnabled_ = true;
    bool rotateEnabled_ = true;
    CGFloat pageSpacing_ = 40;
    NSTimeInterval holdsAfterTouchingForInterval_ = 0;
    UIInterfaceOrientation orientation_ = UIInterfaceOrientationPortrait;
    Weak<DZScrollViewDelegate> delegate_;
    Weak<DZScrollViewDataSource> dataSource_;
    Ref<NSMutableArray> pages_;
    Ref<NSMutableArray> pageQueue_;
    NSInteger maxPages_ = 3;
    NSInteger pageArrayIndex_ = 0;
    Ref<NSTimer> tapTimer_;
    Ref<NSTimer> holdingTimer_;
    Ref<NSTimer> animationTimer_;
    NSTimeInterval animationStartTime_ = 0;
    NSTimeInterval animationDuration_ = 0;
    UIEdgeInsets animateEdges_{};
    CGPoint inertiaSpeed_{};
    CGPoint renewPosition_{};
    CGFloat maximumZoomScale_ = 4;
    CGPoint centerOfFingers_{};
    CGFloat actualDistanceBetweenFingers_ = 0;
    CGFloat distanceBetweenFingers_ = 0;
    CGFloat decelerationRate_ = 0.9f;
    UIEdgeInsets pageEdges_{};
    UIEdgeInsets pageStartEdges_{};
    UIEdgeInsets touchEdges_{};
    UIEdgeInsets touchStartEdges_{};
    NSUInteger touchCount_ = 0;
    Ref<UITouch> touch1_, touch2_;
    bool dragging_ = false, decelerating_ = false, zooming_ = false;
    bool executingZoomGesture_ = false, holding_ = false;
    // A second finger came down since the first landed: what they do together is no tap.
    bool severalFingers_ = false;
};
