// Views: a rectangle in its superview's coordinates (frame), its own coordinate space (bounds),
// an ordered list of subviews (back to front) and the plumbing of layout, display, hit testing
// and animation. The model is headless: frames and bounds are in points and nothing is drawn
// until the drawing layer renders a tree.
//
// A view's backing layer is made on first use. From then on the layer holds the view's
// geometry (bounds, position as the centre, transform, anchor point) and its background,
// opacity, hidden, opaque and masksToBounds state, so changes made on either side read the
// same from both; the layers of a view tree mirror it (a subview's layer is a sublayer of its
// superview's, in subview order), and once one view of a tree has a layer, all of them do.
#pragma once

#include "Foundation/NSCoder.h"

#include <functional>
#include <vector>

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIResponder.h"

class NSArray;
class UIColor;
class UIWindow;

enum UIViewContentMode : NSInteger {
    UIViewContentModeScaleToFill = 0,
    UIViewContentModeScaleAspectFit,
    UIViewContentModeScaleAspectFill,
    UIViewContentModeRedraw,
    UIViewContentModeCenter,
    UIViewContentModeTop,
    UIViewContentModeBottom,
    UIViewContentModeLeft,
    UIViewContentModeRight,
    UIViewContentModeTopLeft,
    UIViewContentModeTopRight,
    UIViewContentModeBottomLeft,
    UIViewContentModeBottomRight,
};

using UIAccessibilityTraits = uint64_t;
enum : UIAccessibilityTraits {
    UIAccessibilityTraitNone = 0,
    UIAccessibilityTraitButton = 1 << 0,
    UIAccessibilityTraitLink = 1 << 1,
    UIAccessibilityTraitImage = 1 << 2,
    UIAccessibilityTraitSelected = 1 << 3,
    UIAccessibilityTraitStaticText = 1 << 6,
    UIAccessibilityTraitNotEnabled = 1 << 8,
};

using UIViewAutoresizing = NSUInteger;
enum : UIViewAutoresizing {
    UIViewAutoresizingNone = 0,
    UIViewAutoresizingFlexibleLeftMargin = 1 << 0,
    UIViewAutoresizingFlexibleWidth = 1 << 1,
    UIViewAutoresizingFlexibleRightMargin = 1 << 2,
    UIViewAutoresizingFlexibleTopMargin = 1 << 3,
    UIViewAutoresizingFlexibleHeight = 1 << 4,
    UIViewAutoresizingFlexibleBottomMargin = 1 << 5,
};

enum UIViewAnimationCurve : NSInteger {
    UIViewAnimationCurveEaseInOut = 0,
    UIViewAnimationCurveEaseIn,
    UIViewAnimationCurveEaseOut,
    UIViewAnimationCurveLinear,
};

enum UIViewAnimationTransition : NSInteger {
    UIViewAnimationTransitionNone = 0,
    UIViewAnimationTransitionFlipFromLeft,
    UIViewAnimationTransitionFlipFromRight,
    UIViewAnimationTransitionCurlUp,
    UIViewAnimationTransitionCurlDown,
};

using UIViewAnimationOptions = NSUInteger;
enum : UIViewAnimationOptions {
    UIViewAnimationOptionLayoutSubviews = 1 << 0,
    UIViewAnimationOptionAllowUserInteraction = 1 << 1,
    UIViewAnimationOptionBeginFromCurrentState = 1 << 2,
    UIViewAnimationOptionRepeat = 1 << 3,
    UIViewAnimationOptionAutoreverse = 1 << 4,
    UIViewAnimationOptionCurveEaseInOut = 0 << 16,
    UIViewAnimationOptionCurveEaseIn = 1 << 16,
    UIViewAnimationOptionCurveEaseOut = 2 << 16,
    UIViewAnimationOptionCurveLinear = 3 << 16,
    UIViewAnimationOptionTransitionNone = 0 << 20,
    UIViewAnimationOptionTransitionFlipFromLeft = 1 << 20,
    UIViewAnimationOptionTransitionFlipFromRight = 2 << 20,
    UIViewAnimationOptionTransitionCurlUp = 3 << 20,
    UIViewAnimationOptionTransitionCurlDown = 4 << 20,
};

class UIView : public UIResponder, public CALayerDelegate, public NSCoding {
    NS_OBJECT(UIView, UIResponder)
    static void describeClass(RuntimeClass& c);

    // Keyed archiving: the frame, the flags (hidden, alpha, tag, touches, autoresizing), the
    // background colour and the subviews; controls add their values.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // init is initWithFrame: with a zero frame.
    bool init() override;
    virtual bool initWithFrame(CGRect frame);

    // ---- geometry ------------------------------------------------------------------------
    // The frame is derived from center, bounds size and transform; setting it keeps the
    // transform and moves the center and the bounds size.
    CGRect frame();
    virtual void setFrame(CGRect frame);
    CGRect bounds();
    virtual void setBounds(CGRect bounds);
    CGPoint center();
    virtual void setCenter(CGPoint center);
    CGAffineTransform transform();
    virtual void setTransform(CGAffineTransform transform);
    // The layer's contentsScale.
    CGFloat contentScaleFactor();
    void setContentScaleFactor(CGFloat scale);

    // ---- appearance ----------------------------------------------------------------------
    // The layer's opacity.
    CGFloat alpha();
    virtual void setAlpha(CGFloat alpha);
    bool isHidden();
    virtual void setHidden(bool hidden);
    bool isOpaque();
    void setOpaque(bool opaque);
    // A colour set on the layer directly reads back as a UIColor of the same components.
    Ref<UIColor> backgroundColor();
    virtual void setBackgroundColor(UIColor* color);
    // The layer's masksToBounds (clipping follows the layer's corner radius).
    bool clipsToBounds();
    void setClipsToBounds(bool clips);
    bool clearsContextBeforeDrawing() { return clearsContext_; }
    void setClearsContextBeforeDrawing(bool clears) { clearsContext_ = clears; }
    UIViewContentMode contentMode() { return contentMode_; }
    virtual void setContentMode(UIViewContentMode mode);
    CGRect contentStretch() { return contentStretch_; }
    void setContentStretch(CGRect r) { contentStretch_ = r; }
    NSInteger tag() { return tag_; }
    void setTag(NSInteger tag) { tag_ = tag; }

    // ---- interaction ---------------------------------------------------------------------
    bool isUserInteractionEnabled() { return userInteraction_; }
    void setUserInteractionEnabled(bool enabled) { userInteraction_ = enabled; }
    bool isMultipleTouchEnabled() { return multipleTouch_; }
    void setMultipleTouchEnabled(bool enabled) { multipleTouch_ = enabled; }
    bool isExclusiveTouch() { return exclusiveTouch_; }
    void setExclusiveTouch(bool exclusive) { exclusiveTouch_ = exclusive; }
    // The text a person or the shell knows the view by; a view may answer its own.
    virtual Ref<NSString> accessibilityLabel() { return accessibilityLabel_; }
    void setAccessibilityLabel(NSString* label);
    // What kind of element the view is (UIAccessibilityTrait bits); a view may answer its own.
    virtual UIAccessibilityTraits accessibilityTraits() { return accessibilityTraits_; }
    void setAccessibilityTraits(UIAccessibilityTraits traits) { accessibilityTraits_ = traits; }
    // Whether assistive technology passes over the view and all it holds (a picture that is only
    // the backdrop of the words laid over it); the shell leaves it out of the screen's text.
    bool accessibilityElementsHidden() { return accessibilityElementsHidden_; }
    void setAccessibilityElementsHidden(bool hidden) { accessibilityElementsHidden_ = hidden; }
    // The container queries: a view that shows parts of its own to accessibility (links and
    // lines of a text) lists them as UIAccessibilityElement objects; the base lists none.
    virtual NSInteger accessibilityElementCount() { return 0; }
    virtual Ref<NSObject> accessibilityElementAtIndex(NSInteger) { return nullptr; }
    virtual NSInteger indexOfAccessibilityElement(NSObject*) { return NSNotFound; }

    // ---- hierarchy -----------------------------------------------------------------------
    Ref<UIView> superview() { return superview_.lock(); }
    // Back to front.
    Ref<NSArray> subviews();
    const std::vector<Ref<UIView>>& subviewList() const { return subviews_; }
    // The window at the root of the view's tree, nil when it is not in one.
    virtual Ref<UIWindow> window();
    // Adding a view that has another superview first removes it there; adding a view to itself
    // or to one of its own subviews raises NSInvalidArgumentException.
    void addSubview(UIView* view);
    // Beyond the end inserts at the end.
    void insertSubview(UIView* view, NSInteger index);
    void insertSubview(UIView* view, UIView* aboveSubview);
    void insertSubviewBelowSubview(UIView* view, UIView* belowSubview);
    void exchangeSubviewAtIndex(NSInteger index1, NSInteger index2);
    void bringSubviewToFront(UIView* view);
    void sendSubviewToBack(UIView* view);
    void removeFromSuperview();
    bool isDescendantOfView(UIView* view);
    // Depth first, the receiver included.
    Ref<UIView> viewWithTag(NSInteger tag);

    // Callbacks around changes of the hierarchy, in the platform's order: willMoveToSuperview,
    // willMoveToWindow, (change), didMoveToWindow, didMoveToSuperview, then didAddSubview on the
    // new superview; willRemoveSubview runs on the old superview before anything else. A view
    // being freed sends willMoveToSuperview: nil to each of its subviews.
    virtual void didAddSubview(UIView*) {}
    virtual void willRemoveSubview(UIView*) {}
    virtual void willMoveToSuperview(UIView*) {}
    virtual void didMoveToSuperview() {}
    virtual void willMoveToWindow(UIWindow*) {}
    virtual void didMoveToWindow() {}

    // ---- layout --------------------------------------------------------------------------
    bool autoresizesSubviews() { return autoresizesSubviews_; }
    void setAutoresizesSubviews(bool v) { autoresizesSubviews_ = v; }
    UIViewAutoresizing autoresizingMask() { return autoresizingMask_; }
    void setAutoresizingMask(UIViewAutoresizing mask) { autoresizingMask_ = mask; }
    // Marks the view; the layout runs at layoutIfNeeded or at the end of the run-loop pass.
    void setNeedsLayout();
    bool needsLayout() { return needsLayout_; }
    // Lays out this view and then its subviews, where marked.
    void layoutIfNeeded();
    virtual void layoutSubviews() {}
    // The size that fits the content within `size`; the base answers its bounds size.
    virtual CGSize sizeThatFits(CGSize size);
    // Resizes the bounds to sizeThatFits: of the current size, keeping the frame's origin.
    virtual void sizeToFit();
    // Runs every pending layout now (the end-of-pass work; a test and shell aid).
    static void layoutPendingViews();

    // ---- layer ---------------------------------------------------------------------------
    // The backing layer, made on first use (with the layers of the rest of the view's tree) of
    // the class layerClass() names, with the view as its delegate.
    Ref<CALayer> layer();
    // The layer when it was made, else nil; never makes one (for the renderer).
    CALayer* existingLayer() { return layer_.get(); }
    // +layerClass: the class of the layer a view of this class gets; a subclass answers a
    // subclass of CALayer (a class that is not one gives a plain CALayer).
    virtual Class layerClass();
    // As the layer's delegate: a display of the view's layer takes the view's own drawing as
    // its content, which the renderer paints live from drawRect:, so the layer drops any
    // contents it had and the view is marked for display.
    void displayLayer(CALayer* layer) override;
    // Draws the view's own content (not its background or subviews) into the context, in the
    // view's bounds coordinates: what renderInContext: of the view's layer shows for it.
    void drawLayer(CALayer* layer, CGContextRef ctx) override;

    // ---- display -------------------------------------------------------------------------
    // The view's own mark: the renderer answers it with drawRect:. It does not mark the
    // layer, so contents given to the layer stay until the layer itself is displayed. A view
    // in a visible window marked on the main thread is also drawn at the end of the main
    // loop's pass (after layout), once however often it was marked: its drawRect: runs with a
    // context of its bounds size current, whose drawing is not kept.
    void setNeedsDisplay();
    void setNeedsDisplayInRect(CGRect rect);
    // Runs the pending display pass now (pending layout first).
    static void displayPendingViews();
    bool needsDisplay() { return needsDisplay_; }
    // The area marked since the last display (the bounds for setNeedsDisplay).
    CGRect dirtyRect() { return dirty_; }
    virtual void drawRect(CGRect) {}
    // Called by whoever renders: draws the marked area and clears the mark.
    void displayIfNeeded();

    // ---- hit testing and conversion --------------------------------------------------------
    // The deepest visible, interactive view under the point (in the receiver's coordinates),
    // front to back; nil for a hidden view, one with alpha below 0.01, one that does not take
    // user interaction, or when the point is outside (pointInside:).
    virtual Ref<UIView> hitTest(CGPoint point, UIEvent* event);
    virtual bool pointInside(CGPoint point, UIEvent* event);
    // Conversions between the coordinate spaces of two views of the same window (nil: the
    // window), through bounds origins and transforms.
    CGPoint convertPoint(CGPoint point, UIView* toView);
    CGPoint convertPointFromView(CGPoint point, UIView* fromView);
    CGRect convertRect(CGRect rect, UIView* toView);
    CGRect convertRectFromView(CGRect rect, UIView* fromView);
    // From the view's bounds coordinates into its superview's (centre, transform, bounds
    // origin, and the layer's anchor point when it was moved).
    CGAffineTransform transformToSuperview();

    // ---- responder chain ---------------------------------------------------------------------
    // The controller whose view this is (set by the controller), else the superview.
    Ref<UIResponder> nextResponder() override;
    bool becomeFirstResponder() override;
    void setViewController(UIResponder* controller) { controller_ = controller; }
    Ref<UIResponder> viewController() { return controller_.lock(); }
    // The controller that let this view go on a memory warning: put back into a window by
    // whoever kept it, the view makes way for that controller's fresh one.
    void setFormerViewController(UIResponder* controller) { formerController_ = controller; }
    // Makes whichever descendant (or the view itself) is first responder resign.
    bool endEditing(bool force);

    // ---- animations (block-less) -----------------------------------------------------------
    // Properties change at once. When the outermost block commits, the delegate's will-start
    // selector is sent at once and its did-stop selector ("animationDidStop:finished:context:"
    // form, or with no arguments) is sent on the main run loop after delay plus duration on
    // the Clock. A nested block starts with its outer block's duration and delay; delegates and
    // selectors belong to each block.
    static void beginAnimations(NSString* animationID, void* context);
    static void commitAnimations();
    static void setAnimationDelegate(NSObject* delegate);
    static void setAnimationWillStartSelector(SEL selector);
    static void setAnimationDidStopSelector(SEL selector);
    static void setAnimationDuration(NSTimeInterval duration);  // default 0.2
    static void setAnimationDelay(NSTimeInterval delay);
    static void setAnimationStartDate(NSObject* date);
    static void setAnimationCurve(UIViewAnimationCurve curve);
    static void setAnimationRepeatCount(float count);
    static void setAnimationRepeatAutoreverses(bool autoreverses);
    static void setAnimationBeginsFromCurrentState(bool fromCurrentState);
    static void setAnimationTransition(UIViewAnimationTransition transition, UIView* forView,
                                       bool cache);
    static void setAnimationsEnabled(bool enabled);
    static bool areAnimationsEnabled();
    // Inside a beginAnimations block (a test and diagnostic aid).
    static bool isInsideAnimationBlock();
    // Animations committed and not yet finished.
    static NSUInteger runningAnimationCount();
    // Block forms: the changes run at once; the completion runs on the main loop after the
    // delay and duration.
    static void animateWithDuration(NSTimeInterval duration, std::function<void()> animations);
    static void animateWithDuration(NSTimeInterval duration, std::function<void()> animations,
                                    std::function<void(bool finished)> completion);
    static void animateWithDuration(NSTimeInterval duration, NSTimeInterval delay,
                                    UIViewAnimationOptions options,
                                    std::function<void()> animations,
                                    std::function<void(bool finished)> completion);
    static void transitionWithView(UIView* view, NSTimeInterval duration,
                                   UIViewAnimationOptions options, std::function<void()> animations,
                                   std::function<void(bool finished)> completion);
    // The last transition set on the view (a diagnostic the shell prints).
    UIViewAnimationTransition lastTransition() { return lastTransition_; }
    // While an animation slides the view away (the same size, showing less than nine tenths of
    // what showed), the view and everything in it take no touches (hitTest passes over them):
    // true for a view in such a view too.
    bool isLeavingScreen();

    void dealloc() override;
    Ref<NSString> description() override;

protected:
    // Applies the autoresizing of every subview after the bounds size changed.
    virtual void resizeSubviewsWithOldSize(CGSize oldSize);
    void resizeWithOldSuperviewSize(CGSize oldSize);
    // The window the view moves into (the hierarchy callbacks pass it down).
    void propagateWindowChange(UIWindow* oldWindow, UIWindow* newWindow, bool will);

private:
    friend class UIWindow;
    void insertSubviewAt(UIView* view, size_t index);
    void detachFromSuperview(bool notify);
    bool slidingAway();
    void boundsSizeChanged(CGSize oldSize);
    CGPoint anchorPoint();
    Ref<CALayer> makeOwnLayer();
    // Gives this view and every view below it a layer, linked in subview order.
    void materializeLayerTree();
    // Puts a subview's layer where its place among the subviews says.
    void placeSublayerOf(UIView* subview);

    Weak<UIView> superview_;
    std::vector<Ref<UIView>> subviews_;
    Weak<UIResponder> controller_;
    Weak<UIResponder> formerController_;
    CGRect bounds_{};
    CGPoint center_{};
    CGAffineTransform transform_{};
    CGFloat alpha_ = 1;
    CGFloat contentScale_ = 1;
    bool hidden_ = false;
    bool opaque_ = true;
    bool clipsToBounds_ = false;
    bool clearsContext_ = true;
    bool userInteraction_ = true;
    bool multipleTouch_ = false;
    bool exclusiveTouch_ = false;
    bool autoresizesSubviews_ = true;
    bool needsLayout_ = false;
    bool needsDisplay_ = false;
    bool displayQueued_ = false;
    UIViewAutoresizing autoresizingMask_ = UIViewAutoresizingNone;
    UIViewContentMode contentMode_ = UIViewContentModeScaleToFill;
    UIViewAnimationTransition lastTransition_ = UIViewAnimationTransitionNone;
    // Until this moment of the clock's uptime an animation is taking the view off the screen.
    NSTimeInterval leavingUntil_ = 0;
    CGRect contentStretch_{{0, 0}, {1, 1}};
    CGRect dirty_{};
    NSInteger tag_ = 0;
    Ref<UIColor> backgroundColor_;
    Ref<NSString> accessibilityLabel_;
    UIAccessibilityTraits accessibilityTraits_ = 0;
    bool accessibilityElementsHidden_ = false;
    Ref<CALayer> layer_;
};
