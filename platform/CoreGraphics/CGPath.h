// Paths: subpaths of lines and cubic curves (quadratic curves, arcs, rectangles and ellipses are
// stored as cubics and lines). A path adds its points through the transform it is given, so a
// path holds final coordinates. CGPath is immutable once shared; CGMutablePath adds elements.
#pragma once

#include <functional>
#include <vector>

#include "CoreGraphics/CGBase.h"

enum CGPathElementType : int32_t {
    kCGPathElementMoveToPoint = 0,
    kCGPathElementAddLineToPoint = 1,
    kCGPathElementAddQuadCurveToPoint = 2,
    kCGPathElementAddCurveToPoint = 3,
    kCGPathElementCloseSubpath = 4,
};

struct CGPathElement {
    CGPathElementType type = kCGPathElementMoveToPoint;
    CGPoint* points = nullptr;  // 1 point for move and line, 3 for a curve, 0 for close
};

using CGPathApplierFunction = void (*)(void* info, const CGPathElement* element);

enum CGLineJoin : int32_t { kCGLineJoinMiter = 0, kCGLineJoinRound = 1, kCGLineJoinBevel = 2 };
enum CGLineCap : int32_t { kCGLineCapButt = 0, kCGLineCapRound = 1, kCGLineCapSquare = 2 };

// The geometry shared by path objects and the context's current path.
struct CGPathData {
    struct Element {
        CGPathElementType type;
        CGPoint p[3];
    };
    std::vector<Element> elements;
    CGPoint current{};        // the current point
    CGPoint subpathStart{};   // where the open subpath began (close returns there)
    bool hasCurrent = false;  // a move has been made

    bool empty() const { return elements.empty(); }
    void clear();
    void moveTo(CGPoint p);
    // A line or curve without a current point starts a subpath at its first point, as the
    // platform does (and logs); the call is never lost.
    void lineTo(CGPoint p);
    void curveTo(CGPoint c1, CGPoint c2, CGPoint p);
    void quadTo(CGPoint c, CGPoint p);
    void close();
    // Every element through the transform.
    void append(const CGPathData& other, const CGAffineTransform* t);
    // An arc of a circle (centre, radius, angles in radians, clockwise in the path's own
    // y-up sense as the platform counts it); joined to the current point by a line.
    void addArc(CGPoint centre, CGFloat radius, CGFloat startAngle, CGFloat endAngle,
                bool clockwise, const CGAffineTransform* t);
    // The tangent arc: from the current point towards p1, turning towards p2 with the radius.
    // A zero radius or collinear points add a line to p1.
    void addArcToPoint(CGPoint p1, CGPoint p2, CGFloat radius, const CGAffineTransform* t);
    void addRect(CGRect r, const CGAffineTransform* t);
    void addEllipse(CGRect r, const CGAffineTransform* t);
    void addRoundedRect(CGRect r, CGFloat cornerWidth, CGFloat cornerHeight,
                        const CGAffineTransform* t);
    // The smallest rectangle holding every point, control points included; CGRectNull when
    // empty.
    CGRect boundingBox() const;
    // Only the curves' extremes, not their control points.
    CGRect pathBoundingBox() const;
    bool containsPoint(CGPoint p, bool evenOdd) const;
    // Whether the path is one rectangle with sides along the axes that holds all of `r`.
    bool coversRect(CGRect r) const;
    // Straight segments within `tolerance` of the curves, one polyline per subpath.
    struct Polyline {
        std::vector<CGPoint> points;
        bool closed = false;
    };
    std::vector<Polyline> flatten(CGFloat tolerance) const;
    // The area a stroke of these settings covers, as a path to fill with the non-zero rule.
    // `toUser` takes the path's points into the space where the line width is measured and
    // `fromUser` back (a non-uniform scale makes the pen an ellipse).
    struct StrokeStyle {
        CGFloat lineWidth = 1;
        CGLineCap cap = kCGLineCapButt;
        CGLineJoin join = kCGLineJoinMiter;
        CGFloat miterLimit = 10;
        std::vector<CGFloat> dashes;
        CGFloat dashPhase = 0;
    };
    CGPathData strokedOutline(const StrokeStyle& style, const CGAffineTransform& toUser,
                              const CGAffineTransform& fromUser, CGFloat tolerance) const;
};

class CGPath : public NSObject {
    NS_OBJECT(CGPath, NSObject)
    CGPathData& data() { return data_; }
    bool isEqual(NSObject* other) override;

protected:
    CGPathData data_;
};

class CGMutablePath : public CGPath {
    NS_OBJECT(CGMutablePath, CGPath)
};

Ref<CGMutablePath> CGPathCreateMutable();
Ref<CGPath> CGPathCreateCopy(CGPathRef path);
Ref<CGMutablePath> CGPathCreateMutableCopy(CGPathRef path);
Ref<CGPath> CGPathCreateWithRect(CGRect rect, const CGAffineTransform* transform);
Ref<CGPath> CGPathCreateWithEllipseInRect(CGRect rect, const CGAffineTransform* transform);
Ref<CGPath> CGPathCreateWithRoundedRect(CGRect rect, CGFloat cornerWidth, CGFloat cornerHeight,
                                        const CGAffineTransform* transform);
// The outline that stroking the path would cover, in the path's own space.
Ref<CGPath> CGPathCreateCopyByStrokingPath(CGPathRef path, const CGAffineTransform* transform,
                                           CGFloat lineWidth, CGLineCap lineCap,
                                           CGLineJoin lineJoin, CGFloat miterLimit);

// The transform m (may be NULL) applies to the points given.
void CGPathMoveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddLineToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y);
void CGPathAddQuadCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cpx,
                               CGFloat cpy, CGFloat x, CGFloat y);
void CGPathAddCurveToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat cp1x,
                           CGFloat cp1y, CGFloat cp2x, CGFloat cp2y, CGFloat x, CGFloat y);
void CGPathAddArc(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x, CGFloat y,
                  CGFloat radius, CGFloat startAngle, CGFloat endAngle, bool clockwise);
void CGPathAddArcToPoint(CGMutablePathRef path, const CGAffineTransform* m, CGFloat x1, CGFloat y1,
                         CGFloat x2, CGFloat y2, CGFloat radius);
void CGPathAddRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRects(CGMutablePathRef path, const CGAffineTransform* m, const CGRect* rects,
                    size_t count);
void CGPathAddLines(CGMutablePathRef path, const CGAffineTransform* m, const CGPoint* points,
                    size_t count);
void CGPathAddEllipseInRect(CGMutablePathRef path, const CGAffineTransform* m, CGRect rect);
void CGPathAddRoundedRect(CGMutablePathRef path, const CGAffineTransform* transform, CGRect rect,
                          CGFloat cornerWidth, CGFloat cornerHeight);
void CGPathAddPath(CGMutablePathRef path1, const CGAffineTransform* m, CGPathRef path2);
void CGPathCloseSubpath(CGMutablePathRef path);

bool CGPathIsEmpty(CGPathRef path);
bool CGPathIsRect(CGPathRef path, CGRect* rect);
bool CGPathEqualToPath(CGPathRef path1, CGPathRef path2);
CGPoint CGPathGetCurrentPoint(CGPathRef path);
// Control points included; CGRectNull for an empty path.
CGRect CGPathGetBoundingBox(CGPathRef path);
CGRect CGPathGetPathBoundingBox(CGPathRef path);
// The point is taken through m first (may be NULL).
bool CGPathContainsPoint(CGPathRef path, const CGAffineTransform* m, CGPoint point, bool eoFill);
void CGPathApply(CGPathRef path, void* info, CGPathApplierFunction function);
