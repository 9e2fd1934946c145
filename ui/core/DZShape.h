// Outlines that fills, borders, shadows and images follow: the whole outline, its inverse (for
// inner shadows) or one edge at a time (for borders whose edges differ). A shape works in the
// local coordinates of the rectangle it is given; a radius of -1 means fully round (half the
// rectangle's height, rounded).
#pragma once

#include <cmath>

#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGPath.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIGeometry.h"

class DZShape : public NSObject {
    NS_OBJECT(DZShape, NSObject)
    // Saves the graphics state, moves the origin to the rectangle's and begins a path.
    void openPath(CGRect rect);
    // Closes the subpath and restores the state; the path stays for the caller.
    void closePath(CGRect rect);
    // How far the outline eats into a rectangle of the size.
    virtual UIEdgeInsets insetsForSize(CGSize size);
    // One edge, into a path the caller opened; the light source (degrees) says which end a
    // rounded corner belongs to.
    virtual void addTopEdgeToPath(CGRect rect, NSInteger lightSource);
    virtual void addRightEdgeToPath(CGRect rect, NSInteger lightSource);
    virtual void addBottomEdgeToPath(CGRect rect, NSInteger lightSource);
    virtual void addLeftEdgeToPath(CGRect rect, NSInteger lightSource);
    virtual void addToPath(CGRect rect);
    // Everything just outside the outline (with the even-odd rule).
    virtual void addInverseToPath(CGRect rect);

protected:
    // The outline alone, in local coordinates, into the context's path.
    virtual void addOutline(CGSize) {}
    // openPath:, the outline (or the inverse: a rectangle 5 larger all round, then the
    // outline), closePath:.
    void addWholeOutline(CGRect rect);
    void addInverseOutline(CGRect rect);
};

class DZRectangleShape : public DZShape {
    NS_OBJECT(DZRectangleShape, DZShape)
    // One shared instance.
    static Ref<DZRectangleShape> shape();
    void addTopEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addRightEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addBottomEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addLeftEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addToPath(CGRect rect) override;
    void addInverseToPath(CGRect rect) override;

protected:
    void addOutline(CGSize size) override;
};

class DZRoundedRectangleShape : public DZShape {
    NS_OBJECT(DZRoundedRectangleShape, DZShape)
    static Ref<DZRoundedRectangleShape> shapeWithRadius(CGFloat radius);
    static Ref<DZRoundedRectangleShape> shapeWithTopLeft(CGFloat topLeft, CGFloat topRight,
                                                         CGFloat bottomRight, CGFloat bottomLeft);
    CGFloat topLeftRadius() { return topLeftRadius_; }
    void setTopLeftRadius(CGFloat v) { topLeftRadius_ = v; }
    CGFloat topRightRadius() { return topRightRadius_; }
    void setTopRightRadius(CGFloat v) { topRightRadius_ = v; }
    CGFloat bottomRightRadius() { return bottomRightRadius_; }
    void setBottomRightRadius(CGFloat v) { bottomRightRadius_ = v; }
    CGFloat bottomLeftRadius() { return bottomLeftRadius_; }
    void setBottomLeftRadius(CGFloat v) { bottomLeftRadius_ = v; }

    void addTopEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addRightEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addBottomEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addLeftEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addToPath(CGRect rect) override;
    void addInverseToPath(CGRect rect) override;

protected:
    void addOutline(CGSize size) override;

private:
    CGFloat topLeftRadius_ = 0, topRightRadius_ = 0, bottomRightRadius_ = 0, bottomLeftRadius_ = 0;
};

// The back button's outline: the point on the left.
class DZRoundedLeftArrowShape : public DZShape {
    NS_OBJECT(DZRoundedLeftArrowShape, DZShape)
    static Ref<DZRoundedLeftArrowShape> shapeWithRadius(CGFloat radius);
    CGFloat radius() { return radius_; }
    void setRadius(CGFloat v) { radius_ = v; }

    UIEdgeInsets insetsForSize(CGSize size) override;
    void addTopEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addRightEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addBottomEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addLeftEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addToPath(CGRect rect) override;
    void addInverseToPath(CGRect rect) override;

protected:
    void addOutline(CGSize size) override;

private:
    CGFloat radius_ = 0;
};

// The forward button's outline: the point on the right. It has no inverse of its own.
class DZRoundedRightArrowShape : public DZShape {
    NS_OBJECT(DZRoundedRightArrowShape, DZShape)
    static Ref<DZRoundedRightArrowShape> shapeWithRadius(CGFloat radius);
    CGFloat radius() { return radius_; }
    void setRadius(CGFloat v) { radius_ = v; }

    UIEdgeInsets insetsForSize(CGSize size) override;
    void addTopEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addRightEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addBottomEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addLeftEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addToPath(CGRect rect) override;

protected:
    void addOutline(CGSize size) override;

private:
    CGFloat radius_ = 0;
};

// A rounded body with a pointer on the side `pointLocation` (degrees) names, pointing the way
// `pointAngle` says.
class DZSpeechBubbleShape : public DZShape {
    NS_OBJECT(DZSpeechBubbleShape, DZShape)
    static Ref<DZSpeechBubbleShape> shapeWithRadius(CGFloat radius, CGFloat pointLocation,
                                                    CGFloat pointAngle, CGSize pointSize);
    CGFloat radius() { return radius_; }
    void setRadius(CGFloat v) { radius_ = v; }
    CGFloat pointLocation() { return pointLocation_; }
    void setPointLocation(CGFloat v) { pointLocation_ = v; }
    CGFloat pointAngle() { return pointAngle_; }
    void setPointAngle(CGFloat v) { pointAngle_ = v; }
    CGSize pointSize() { return pointSize_; }
    void setPointSize(CGSize v) { pointSize_ = v; }

    // The body's rectangle, relative to the rectangle's origin.
    CGRect subtractPointFromRect(CGRect rect);
    void addTopEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addRightEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addBottomEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addLeftEdgeToPath(CGRect rect, NSInteger lightSource) override;
    void addToPath(CGRect rect) override;
    void addInverseToPath(CGRect rect) override;

private:
    CGFloat radius_ = 0, pointLocation_ = 0, pointAngle_ = 0;
    CGSize pointSize_ = CGSizeZero;
    CGFloat radiusFor(CGFloat h) { return radius_ == -1 ? std::round(h / 2) : radius_; }
    void addTopEdge(CGSize size, NSInteger light, CGMutablePathRef path, bool reset);
    void addRightEdge(CGSize size, NSInteger light, CGMutablePathRef path, bool reset);
    void addBottomEdge(CGSize size, NSInteger light, CGMutablePathRef path, bool reset);
    void addLeftEdge(CGSize size, NSInteger light, CGMutablePathRef path, bool reset);
    void addBodyToPath(CGSize size, CGMutablePathRef path);
    void drawPath(CGPathRef path, CGRect rect);
    void addBubble(CGRect rect, bool inverse);
    using EdgeFn = void (DZSpeechBubbleShape::*)(CGSize, NSInteger, CGMutablePathRef, bool);
    void addEdge(CGRect rect, NSInteger light, EdgeFn edge);
};
