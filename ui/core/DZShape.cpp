#include "ui/core/DZShape.h"

#include <cmath>

#include "CoreGraphics/CGContext.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIGraphics.h"

namespace {
CGContextRef current() {
    return UIGraphicsGetCurrentContext().get();
}
// -1 is fully round: half the height, rounded.
CGFloat roundRadius(CGFloat radius, CGFloat h) {
    return radius == -1 ? std::round(h / 2) : radius;
}
void moveTo(CGFloat x, CGFloat y) {
    CGContextMoveToPoint(current(), x, y);
}
void lineTo(CGFloat x, CGFloat y) {
    CGContextAddLineToPoint(current(), x, y);
}
void arcTo(CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2, CGFloat r) {
    CGContextAddArcToPoint(current(), x1, y1, x2, y2, r);
}
// The arrows' insets: the radius, or a sixth of the height for a round one.
CGFloat arrowInset(CGFloat radius, CGFloat h) {
    CGFloat q = radius == -1 ? std::round((h / 3) / 2) : radius;
    return std::floor(q);
}
}  // namespace

// ---- the base -----------------------------------------------------------------------------

void DZShape::openPath(CGRect rect) {
    CGContextRef c = current();
    CGContextSaveGState(c);
    CGContextTranslateCTM(c, rect.origin.x, rect.origin.y);
    CGContextBeginPath(c);
}

void DZShape::closePath(CGRect) {
    CGContextRef c = current();
    CGContextClosePath(c);
    CGContextRestoreGState(c);
}

UIEdgeInsets DZShape::insetsForSize(CGSize) {
    return UIEdgeInsetsZero;
}

void DZShape::addTopEdgeToPath(CGRect, NSInteger) {}
void DZShape::addRightEdgeToPath(CGRect, NSInteger) {}
void DZShape::addBottomEdgeToPath(CGRect, NSInteger) {}
void DZShape::addLeftEdgeToPath(CGRect, NSInteger) {}
void DZShape::addToPath(CGRect) {}
void DZShape::addInverseToPath(CGRect) {}

void DZShape::addWholeOutline(CGRect rect) {
    openPath(rect);
    addOutline(rect.size);
    closePath(rect);
}

// The outer rectangle, then the outline, as one path: filled even-odd it covers what lies
// just outside the outline.
void DZShape::addInverseOutline(CGRect rect) {
    openPath(rect);
    CGContextAddRect(current(), CGRectMake(-5, -5, rect.size.width + 10, rect.size.height + 10));
    addOutline(rect.size);
    closePath(rect);
}

// ---- rectangle ----------------------------------------------------------------------------

Ref<DZRectangleShape> DZRectangleShape::shape() {
    static ProcessWide<DZRectangleShape> shared;
    return shared.get();
}

void DZRectangleShape::addOutline(CGSize size) {
    CGContextAddRect(current(), CGRectMake(0, 0, size.width, size.height));
}

void DZRectangleShape::addToPath(CGRect rect) {
    addWholeOutline(rect);
}

void DZRectangleShape::addInverseToPath(CGRect rect) {
    addInverseOutline(rect);
}

void DZRectangleShape::addTopEdgeToPath(CGRect rect, NSInteger) {
    moveTo(0, 0);
    lineTo(rect.size.width, 0);
}

void DZRectangleShape::addRightEdgeToPath(CGRect rect, NSInteger) {
    moveTo(rect.size.width, 0);
    lineTo(rect.size.width, rect.size.height);
}

void DZRectangleShape::addBottomEdgeToPath(CGRect rect, NSInteger) {
    moveTo(rect.size.width, rect.size.height);
    lineTo(0, rect.size.height);
}

void DZRectangleShape::addLeftEdgeToPath(CGRect rect, NSInteger) {
    moveTo(0, rect.size.height);
    lineTo(0, 0);
}

// ---- rounded rectangle --------------------------------------------------------------------

Ref<DZRoundedRectangleShape> DZRoundedRectangleShape::shapeWithRadius(CGFloat radius) {
    return shapeWithTopLeft(radius, radius, radius, radius);
}

Ref<DZRoundedRectangleShape> DZRoundedRectangleShape::shapeWithTopLeft(CGFloat topLeft,
                                                                       CGFloat topRight,
                                                                       CGFloat bottomRight,
                                                                       CGFloat bottomLeft) {
    auto shape = make<DZRoundedRectangleShape>();
    shape->topLeftRadius_ = topLeft;
    shape->topRightRadius_ = topRight;
    shape->bottomRightRadius_ = bottomRight;
    shape->bottomLeftRadius_ = bottomLeft;
    return shape;
}

void DZRoundedRectangleShape::addOutline(CGSize size) {
    CGFloat w = size.width, h = size.height;
    CGFloat tl = roundRadius(topLeftRadius_, h), tr = roundRadius(topRightRadius_, h);
    CGFloat br = roundRadius(bottomRightRadius_, h), bl = roundRadius(bottomLeftRadius_, h);
    moveTo(w, std::floor(h / 2));
    arcTo(w, h, std::floor(w / 2), h, br);
    arcTo(0, h, 0, std::floor(h / 2), bl);
    arcTo(0, 0, std::floor(w / 2), 0, tl);
    arcTo(w, 0, w, std::floor(h / 2), tr);
    CGContextClosePath(current());
}

void DZRoundedRectangleShape::addToPath(CGRect rect) {
    addWholeOutline(rect);
}

void DZRoundedRectangleShape::addInverseToPath(CGRect rect) {
    addInverseOutline(rect);
}

void DZRoundedRectangleShape::addTopEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat tl = roundRadius(topLeftRadius_, h), tr = roundRadius(topRightRadius_, h);
    if (light > 90) {
        moveTo(0, tl);
        arcTo(0, 0, tl, 0, tl);
    } else {
        moveTo(tl, 0);
    }
    arcTo(w, 0, w, tr, tr);
    lineTo(w, tr);
}

void DZRoundedRectangleShape::addRightEdgeToPath(CGRect rect, NSInteger) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat tr = roundRadius(topRightRadius_, h), br = roundRadius(bottomRightRadius_, h);
    moveTo(w, tr);
    arcTo(w, h, w - br, h, br);
    lineTo(w - br, h);
}

void DZRoundedRectangleShape::addBottomEdgeToPath(CGRect rect, NSInteger) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat br = roundRadius(bottomRightRadius_, h), bl = roundRadius(bottomLeftRadius_, h);
    moveTo(w - br, h);
    lineTo(bl, h);
    arcTo(0, h, 0, h - bl, bl);
}

void DZRoundedRectangleShape::addLeftEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat h = rect.size.height;
    CGFloat tl = roundRadius(topLeftRadius_, h), bl = roundRadius(bottomLeftRadius_, h);
    moveTo(0, h - bl);
    lineTo(0, tl);
    if (light <= 90) arcTo(0, 0, tl, 0, tl);
}

// ---- left arrow ---------------------------------------------------------------------------

Ref<DZRoundedLeftArrowShape> DZRoundedLeftArrowShape::shapeWithRadius(CGFloat radius) {
    auto shape = make<DZRoundedLeftArrowShape>();
    shape->radius_ = radius;
    return shape;
}

UIEdgeInsets DZRoundedLeftArrowShape::insetsForSize(CGSize size) {
    return UIEdgeInsetsMake(0, arrowInset(radius_, size.height), 0, 0);
}

void DZRoundedLeftArrowShape::addOutline(CGSize size) {
    CGFloat w = size.width, h = size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f), r2 = r * 2;
    moveTo(0, std::floor(h / 2));
    arcTo(p, 0, std::floor(w - r), 0, r2);
    arcTo(w, 0, w, std::floor(r), r);
    arcTo(w, h, std::floor(p + r2), h, r);
    arcTo(p, h, 0, std::floor(h / 2), r2);
    CGContextClosePath(current());
}

void DZRoundedLeftArrowShape::addToPath(CGRect rect) {
    addWholeOutline(rect);
}

void DZRoundedLeftArrowShape::addInverseToPath(CGRect rect) {
    addInverseOutline(rect);
}

void DZRoundedLeftArrowShape::addTopEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    moveTo(0, std::floor(h / 2));
    arcTo(p, 0, std::floor(w - r), 0, r * 2);
    if (light > 90)
        arcTo(w, 0, w, std::floor(r), r);
    else
        lineTo(std::floor(w - r), 0);
}

void DZRoundedLeftArrowShape::addRightEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h);
    if (light > 90) {
        moveTo(w, r);
        lineTo(w, h - r);
    } else {
        moveTo(std::floor(w - r), 0);
        arcTo(w, 0, w, std::floor(r), r);
    }
}

void DZRoundedLeftArrowShape::addBottomEdgeToPath(CGRect rect, NSInteger) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    moveTo(w, std::floor(h - r));
    arcTo(w, h, std::floor(p + r * 2), h, r);
    // One unit short of where the left edge starts.
    lineTo(std::floor(p + r * 2) - 1, h);
}

void DZRoundedLeftArrowShape::addLeftEdgeToPath(CGRect rect, NSInteger) {
    CGFloat h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    moveTo(std::floor(p + r * 2), h);
    arcTo(p, h, 0, std::floor(h / 2), r * 2);
    lineTo(0, std::floor(h / 2));
}

// ---- right arrow --------------------------------------------------------------------------

Ref<DZRoundedRightArrowShape> DZRoundedRightArrowShape::shapeWithRadius(CGFloat radius) {
    auto shape = make<DZRoundedRightArrowShape>();
    shape->radius_ = radius;
    return shape;
}

UIEdgeInsets DZRoundedRightArrowShape::insetsForSize(CGSize size) {
    return UIEdgeInsetsMake(0, 0, 0, arrowInset(radius_, size.height));
}

void DZRoundedRightArrowShape::addOutline(CGSize size) {
    CGFloat w = size.width, h = size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f), r2 = r * 2;
    moveTo(w, std::floor(h / 2));
    arcTo(w - p, h, 0, h, r2);
    arcTo(0, h, 0, 0, r);
    arcTo(0, 0, w - p, 0, r);
    arcTo(w - p, 0, w, std::floor(h / 2), r2);
    lineTo(w, std::floor(h / 2));
    CGContextClosePath(current());
}

void DZRoundedRightArrowShape::addToPath(CGRect rect) {
    addWholeOutline(rect);
}

void DZRoundedRightArrowShape::addTopEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    if (light > 90) {
        moveTo(0, r);
        arcTo(0, 0, r, 0, r);
    } else {
        moveTo(r, 0);
    }
    lineTo(w - (p + r * 2), 0);
    arcTo(w - p, 0, w, std::floor(h / 2), r * 2);
    lineTo(w, std::floor(h / 2));
}

void DZRoundedRightArrowShape::addRightEdgeToPath(CGRect rect, NSInteger) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    moveTo(w, std::floor(h / 2));
    arcTo(w - p, h, w - (p + r * 2), h, r * 2);
    lineTo(w - (p + r * 2), h);
}

void DZRoundedRightArrowShape::addBottomEdgeToPath(CGRect rect, NSInteger) {
    CGFloat w = rect.size.width, h = rect.size.height;
    CGFloat r = roundRadius(radius_, h), p = std::floor(h / 2.8f);
    moveTo(std::floor(w - (p + r * 2)), h);
    arcTo(0, h, 0, std::floor(h - r), r);
}

void DZRoundedRightArrowShape::addLeftEdgeToPath(CGRect rect, NSInteger light) {
    CGFloat h = rect.size.height;
    CGFloat r = roundRadius(radius_, h);
    moveTo(0, std::floor(h - r));
    lineTo(0, std::floor(r));
    if (light <= 90) arcTo(0, 0, std::floor(r), 0, r);
}

// ---- speech bubble ------------------------------------------------------------------------

Ref<DZSpeechBubbleShape> DZSpeechBubbleShape::shapeWithRadius(CGFloat radius, CGFloat pointLocation,
                                                              CGFloat pointAngle,
                                                              CGSize pointSize) {
    auto shape = make<DZSpeechBubbleShape>();
    shape->radius_ = radius;
    shape->pointLocation_ = pointLocation;
    shape->pointAngle_ = pointAngle;
    shape->pointSize_ = pointSize;
    return shape;
}

CGRect DZSpeechBubbleShape::subtractPointFromRect(CGRect rect) {
    CGRect body = CGRectMake(0, 0, rect.size.width, rect.size.height);
    CGFloat loc = pointLocation_, angle = pointAngle_;
    bool up = angle >= 0 && angle < 180, down = angle >= 180 && angle < 360;
    if ((loc >= 315 && loc < 360) || (loc >= 0 && loc < 45)) {
        if ((angle >= 270 && angle < 360) || (angle >= 0 && angle < 90)) {
            body.origin.x = pointSize_.width;
            body.size.width = rect.size.width - pointSize_.width;
        }
    } else if (loc >= 45 && loc < 135) {
        if (up) {
            body.origin.y = pointSize_.height;
            body.size.height = rect.size.height - pointSize_.height;
        }
    } else if (loc >= 135 && loc < 225) {
        if (angle >= 90 && angle < 270) body.size.width = rect.size.width - pointSize_.width;
    } else if (loc >= 225 && loc < 315) {
        if (down) body.size.height = rect.size.height - pointSize_.height;
    }
    return body;
}

void DZSpeechBubbleShape::addTopEdge(CGSize size, NSInteger light, CGMutablePathRef path,
                                     bool reset) {
    CGFloat w = size.width, R = radiusFor(size.height);
    if (light > 90) {
        if (reset) CGPathMoveToPoint(path, nullptr, 0, R);
        CGPathAddArcToPoint(path, nullptr, 0, 0, R, 0, R);
    } else if (reset) {
        CGPathMoveToPoint(path, nullptr, R, 0);
    }
    if (pointLocation_ >= 45 && pointLocation_ <= 135) {
        CGFloat px = (pointLocation_ - 45) / 90 * w;
        CGFloat tip =
            pointAngle_ >= 0 && pointAngle_ < 180 ? -pointSize_.height : pointSize_.height;
        CGFloat half = std::floor(pointSize_.width / 2);
        CGPathAddLineToPoint(path, nullptr, px - half, 0);
        CGPathAddLineToPoint(path, nullptr, px, tip);
        CGPathAddLineToPoint(path, nullptr, px + half, 0);
    }
    CGPathAddArcToPoint(path, nullptr, w, 0, w, R, R);
}

void DZSpeechBubbleShape::addRightEdge(CGSize size, NSInteger, CGMutablePathRef path, bool reset) {
    CGFloat w = size.width, h = size.height, R = radiusFor(h);
    if (reset) CGPathMoveToPoint(path, nullptr, w, R);
    CGPathAddArcToPoint(path, nullptr, w, h, w - R, h, R);
}

void DZSpeechBubbleShape::addBottomEdge(CGSize size, NSInteger, CGMutablePathRef path, bool reset) {
    CGFloat w = size.width, h = size.height, R = radiusFor(h);
    if (reset) CGPathMoveToPoint(path, nullptr, w - R, h);
    if (pointLocation_ >= 225 && pointLocation_ <= 315) {
        CGFloat px = w - (pointLocation_ - 225) / 90 * w;
        CGFloat d = pointAngle_ >= 0 && pointAngle_ < 180 ? pointSize_.height : -pointSize_.height;
        CGFloat half = std::floor(pointSize_.width / 2);
        CGPathAddLineToPoint(path, nullptr, px + half, h);
        CGPathAddLineToPoint(path, nullptr, px, h - d);
        CGPathAddLineToPoint(path, nullptr, px - half, h);
        CGPathAddLineToPoint(path, nullptr, R, h);
    }
    CGPathAddArcToPoint(path, nullptr, 0, h, 0, h - R, R);
}

void DZSpeechBubbleShape::addLeftEdge(CGSize size, NSInteger light, CGMutablePathRef path,
                                      bool reset) {
    CGFloat h = size.height, R = radiusFor(h);
    if (reset) CGPathMoveToPoint(path, nullptr, 0, h - R);
    if (light <= 90)
        CGPathAddArcToPoint(path, nullptr, 0, 0, R, 0, R);
    else
        CGPathAddLineToPoint(path, nullptr, 0, R);
}

void DZSpeechBubbleShape::addBodyToPath(CGSize size, CGMutablePathRef path) {
    addTopEdge(size, 0, path, true);
    addRightEdge(size, 0, path, false);
    addBottomEdge(size, 0, path, false);
    addLeftEdge(size, 0, path, false);
}

void DZSpeechBubbleShape::drawPath(CGPathRef path, CGRect rect) {
    CGContextRef c = current();
    CGContextTranslateCTM(c, rect.origin.x, rect.origin.y);
    CGContextAddPath(c, path);
    CGContextTranslateCTM(c, -rect.origin.x, -rect.origin.y);
}

void DZSpeechBubbleShape::addBubble(CGRect rect, bool inverse) {
    openPath(rect);
    auto path = CGPathCreateMutable();
    CGRect body = subtractPointFromRect(rect);
    if (inverse)
        CGPathAddRect(path, nullptr,
                      CGRectMake(-5, -5, body.size.width + 10, body.size.height + 10));
    addBodyToPath(body.size, path);
    CGPathCloseSubpath(path);
    drawPath(path, body);
    closePath(rect);
}

void DZSpeechBubbleShape::addToPath(CGRect rect) {
    addBubble(rect, false);
}

void DZSpeechBubbleShape::addInverseToPath(CGRect rect) {
    addBubble(rect, true);
}

void DZSpeechBubbleShape::addEdge(CGRect rect, NSInteger light, EdgeFn edge) {
    CGRect body = subtractPointFromRect(rect);
    auto path = CGPathCreateMutable();
    (this->*edge)(body.size, light, path, true);
    drawPath(path, body);
}

void DZSpeechBubbleShape::addTopEdgeToPath(CGRect rect, NSInteger light) {
    addEdge(rect, light, &DZSpeechBubbleShape::addTopEdge);
}

void DZSpeechBubbleShape::addRightEdgeToPath(CGRect rect, NSInteger light) {
    addEdge(rect, light, &DZSpeechBubbleShape::addRightEdge);
}

void DZSpeechBubbleShape::addBottomEdgeToPath(CGRect rect, NSInteger light) {
    addEdge(rect, light, &DZSpeechBubbleShape::addBottomEdge);
}

void DZSpeechBubbleShape::addLeftEdgeToPath(CGRect rect, NSInteger light) {
    addEdge(rect, light, &DZSpeechBubbleShape::addLeftEdge);
}
