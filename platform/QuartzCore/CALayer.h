// Layers: a rectangle with a position in its superlayer, contents (an image), a background,
// border, corner radius, shadow and sublayers, drawn by renderInContext:. Changes take effect at
// once: there is no implicit animation; animations added to a layer are kept as data and end
// after their duration on the run loop (see CAAnimation.h).
#pragma once

#include <vector>

#include "CoreGraphics/CGBase.h"
#include "QuartzCore/CATransform3D.h"

class CAAnimation;
class CALayer;
class CGColor;
class CGPath;
class NSArray;
class NSString;

// The platform's contents gravities.
extern NSString* const kCAGravityCenter;
extern NSString* const kCAGravityTop;
extern NSString* const kCAGravityBottom;
extern NSString* const kCAGravityLeft;
extern NSString* const kCAGravityRight;
extern NSString* const kCAGravityTopLeft;
extern NSString* const kCAGravityTopRight;
extern NSString* const kCAGravityBottomLeft;
extern NSString* const kCAGravityBottomRight;
extern NSString* const kCAGravityResize;
extern NSString* const kCAGravityResizeAspect;
extern NSString* const kCAGravityResizeAspectFill;

// The layer's delegate (a view, usually). Optional methods are probed by name:
// "displayLayer:", "drawLayer:inContext:", "layoutSublayersOfLayer:".
class CALayerDelegate {
public:
    virtual ~CALayerDelegate() = default;
    virtual void displayLayer(CALayer*) {}
    virtual void drawLayer(CALayer*, CGContextRef) {}
    virtual void layoutSublayersOfLayer(CALayer*) {}
};

class CALayer : public NSObject {
    NS_OBJECT(CALayer, NSObject)
    static Ref<CALayer> layer();
    bool init() override;

    // ---- geometry (y down, as UIKit's) ---------------------------------------------------------
    CGRect bounds() { return bounds_; }
    virtual void setBounds(CGRect bounds);
    CGPoint position() { return position_; }
    virtual void setPosition(CGPoint position);
    // In unit coordinates of the bounds; (0.5, 0.5) by default.
    CGPoint anchorPoint() { return anchor_; }
    void setAnchorPoint(CGPoint anchorPoint);
    CGFloat zPosition() { return zPosition_; }
    void setZPosition(CGFloat z) { zPosition_ = z; }
    CATransform3D transform() { return transform_; }
    void setTransform(CATransform3D t) { transform_ = t; }
    CGAffineTransform affineTransform() { return CATransform3DGetAffineTransform(transform_); }
    void setAffineTransform(CGAffineTransform t) {
        transform_ = CATransform3DMakeAffineTransform(t);
    }
    // Derived from position, anchor point, bounds and transform; setting it keeps the
    // transform and moves the position and the bounds size.
    CGRect frame();
    virtual void setFrame(CGRect frame);
    // From this layer's bounds coordinates into the superlayer's.
    CGAffineTransform transformToSuperlayer();
    CGPoint convertPoint(CGPoint p, CALayer* toLayer);
    CGPoint convertPointFromLayer(CGPoint p, CALayer* fromLayer);
    CGRect convertRect(CGRect r, CALayer* toLayer);
    CGRect convertRectFromLayer(CGRect r, CALayer* fromLayer);
    // The bounds cut by every ancestor that masks to its bounds, in this layer's coordinates.
    CGRect visibleRect();
    bool containsPoint(CGPoint p);  // in bounds coordinates
    // The deepest visible layer under the point (superlayer coordinates), front to back.
    Ref<CALayer> hitTest(CGPoint p);

    // ---- hierarchy ---------------------------------------------------------------------------
    Ref<CALayer> superlayer() { return superlayer_.lock(); }
    // Back to front; nil when there are none.
    Ref<NSArray> sublayers();
    const std::vector<Ref<CALayer>>& sublayerList() { return sublayers_; }
    void setSublayers(NSArray* sublayers);
    // A layer with another superlayer is first removed there.
    void addSublayer(CALayer* layer);
    // Beyond the end inserts at the end.
    void insertSublayer(CALayer* layer, NSUInteger index);
    void insertSublayerBelow(CALayer* layer, CALayer* sibling);
    void insertSublayerAbove(CALayer* layer, CALayer* sibling);
    void replaceSublayer(CALayer* oldLayer, CALayer* newLayer);
    void removeFromSuperlayer();

    // ---- appearance --------------------------------------------------------------------------
    // A CGImage (other objects are kept and not drawn).
    Ref<NSObject> contents() { return contents_; }
    void setContents(NSObject* contents) { contents_ = contents; }
    Ref<NSString> contentsGravity() { return gravity_; }
    void setContentsGravity(NSString* gravity);
    // The part of the contents shown, in unit coordinates; (0, 0, 1, 1) by default.
    CGRect contentsRect() { return contentsRect_; }
    void setContentsRect(CGRect r) { contentsRect_ = r; }
    CGFloat contentsScale() { return contentsScale_; }
    void setContentsScale(CGFloat s) { contentsScale_ = s > 0 ? s : 1; }
    bool isHidden() { return hidden_; }
    void setHidden(bool hidden) { hidden_ = hidden; }
    float opacity() { return opacity_; }
    void setOpacity(float opacity) { opacity_ = opacity; }
    bool isOpaque() { return opaque_; }
    void setOpaque(bool opaque) { opaque_ = opaque; }
    bool masksToBounds() { return masksToBounds_; }
    void setMasksToBounds(bool masks) { masksToBounds_ = masks; }
    CGColor* backgroundColor() { return background_.get(); }
    void setBackgroundColor(CGColor* color);
    CGFloat cornerRadius() { return cornerRadius_; }
    void setCornerRadius(CGFloat r) { cornerRadius_ = r; }
    CGFloat borderWidth() { return borderWidth_; }
    void setBorderWidth(CGFloat w) { borderWidth_ = w; }
    // Opaque black by default.
    CGColor* borderColor() { return borderColor_.get(); }
    void setBorderColor(CGColor* color);
    // Opaque black, opacity 0, offset (0, -3), radius 3 by default (no shadow until the opacity
    // is raised). The offset is in the layer's coordinates: a positive height moves it down.
    CGColor* shadowColor() { return shadowColor_.get(); }
    void setShadowColor(CGColor* color);
    float shadowOpacity() { return shadowOpacity_; }
    void setShadowOpacity(float opacity) { shadowOpacity_ = opacity; }
    CGSize shadowOffset() { return shadowOffset_; }
    void setShadowOffset(CGSize offset) { shadowOffset_ = offset; }
    CGFloat shadowRadius() { return shadowRadius_; }
    void setShadowRadius(CGFloat radius) { shadowRadius_ = radius; }
    CGPath* shadowPath() { return shadowPath_.get(); }
    void setShadowPath(CGPath* path);
    // A layer whose alpha masks this one (drawn in this layer's coordinates).
    Ref<CALayer> mask() { return mask_; }
    void setMask(CALayer* mask) { mask_ = mask; }
    Ref<NSString> name() { return name_; }
    void setName(NSString* name);

    // ---- display -----------------------------------------------------------------------------
    Ref<CALayerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(CALayerDelegate* delegate) { delegate_ = delegate; }
    void setNeedsDisplay();
    void setNeedsDisplayInRect(CGRect rect);
    bool needsDisplay() { return needsDisplay_; }
    bool needsDisplayOnBoundsChange() { return displayOnBoundsChange_; }
    void setNeedsDisplayOnBoundsChange(bool v) { displayOnBoundsChange_ = v; }
    void displayIfNeeded();
    // The delegate's displayLayer: when it has one; otherwise draws drawInContext: into a new
    // bitmap of the bounds' size times contentsScale (cleared, flipped like UIKit's, unless
    // the layer is opaque with a background) and makes it the contents.
    virtual void display();
    // Base: the delegate's drawLayer:inContext:.
    virtual void drawInContext(CGContextRef ctx);
    // Draws the layer and its sublayers into ctx in this layer's bounds coordinates (ctx is
    // expected to be y-down, as UIKit's contexts are): background, contents or own drawing,
    // sublayers by zPosition, border, with opacity, shadow, masks and corner clipping.
    void renderInContext(CGContextRef ctx);

    // ---- layout ------------------------------------------------------------------------------
    void setNeedsLayout() { needsLayout_ = true; }
    bool needsLayout() { return needsLayout_; }
    void layoutIfNeeded();
    // Base: the delegate's layoutSublayersOfLayer:.
    virtual void layoutSublayers();

    // ---- animations (kept as data; see CAAnimation.h) ------------------------------------------
    // A copy of the animation is kept under the key (nil key: a key of its own); it replaces
    // one under the same key.
    void addAnimation(CAAnimation* animation, NSString* key);
    Ref<CAAnimation> animationForKey(NSString* key);
    void removeAnimationForKey(NSString* key);
    void removeAllAnimations();
    Ref<NSArray> animationKeys();

    void dealloc() override;
    Ref<NSString> description() override;

protected:
    // Draws this layer's own content (background, contents or drawing) into ctx in bounds
    // coordinates; subclasses that paint something of their own extend it.
    virtual void renderOwnContent(CGContextRef ctx);

private:
    friend class CAAnimation;
    void animationEnded(CAAnimation* animation, bool finished);
    void renderLayer(CGContextRef ctx);

    Weak<CALayer> superlayer_;
    std::vector<Ref<CALayer>> sublayers_;
    Weak<CALayerDelegate> delegate_;
    CGRect bounds_{};
    CGPoint position_{};
    CGPoint anchor_{0.5f, 0.5f};
    CGFloat zPosition_ = 0;
    CATransform3D transform_{};
    Ref<NSObject> contents_;
    Ref<NSString> gravity_;
    CGRect contentsRect_{{0, 0}, {1, 1}};
    CGFloat contentsScale_ = 1;
    bool hidden_ = false;
    bool opaque_ = false;
    bool masksToBounds_ = false;
    bool needsDisplay_ = false;
    bool needsLayout_ = false;
    bool displayOnBoundsChange_ = false;
    float opacity_ = 1;
    Ref<CGColor> background_;
    CGFloat cornerRadius_ = 0;
    CGFloat borderWidth_ = 0;
    Ref<CGColor> borderColor_;
    Ref<CGColor> shadowColor_;
    float shadowOpacity_ = 0;
    CGSize shadowOffset_{0, -3};
    CGFloat shadowRadius_ = 3;
    Ref<CGPath> shadowPath_;
    Ref<CALayer> mask_;
    Ref<NSString> name_;
    struct Running {
        Ref<NSString> key;
        Ref<CAAnimation> animation;
    };
    std::vector<Running> animations_;
};

// A layer that paints a gradient over its bounds (the colours as CGColor objects).
class CAGradientLayer : public CALayer {
    NS_OBJECT(CAGradientLayer, CALayer)
    static Ref<CAGradientLayer> layer();
    bool init() override;
    Ref<NSArray> colors() { return colors_; }
    void setColors(NSArray* colors);
    // nil: spread evenly.
    Ref<NSArray> locations() { return locations_; }
    void setLocations(NSArray* locations);
    // Unit coordinates of the bounds; (0.5, 0) to (0.5, 1) by default (top to bottom).
    CGPoint startPoint() { return start_; }
    void setStartPoint(CGPoint p) { start_ = p; }
    CGPoint endPoint() { return end_; }
    void setEndPoint(CGPoint p) { end_ = p; }
    Ref<NSString> type() { return type_; }  // "axial"

protected:
    void renderOwnContent(CGContextRef ctx) override;

private:
    Ref<NSArray> colors_;
    Ref<NSArray> locations_;
    CGPoint start_{0.5f, 0};
    CGPoint end_{0.5f, 1};
    Ref<NSString> type_;
};

extern NSString* const kCAGradientLayerAxial;
