// Drawing contexts (bitmap contexts and layers), with the platform's semantics on cairo.
//
// Coordinates. User space goes through the current transformation matrix (CTM) into the
// context's base space. A bitmap context's base space has its origin at the bottom-left corner
// and y upwards, one unit per pixel, so row 0 of the bitmap is at the top; UIKit's contexts
// flip it (translate by the height, scale by (1, -1)) and scale it by the screen's scale
// before anyone draws.
//
// Graphics state. CGContextSaveGState/RestoreGState keep a stack of: the CTM, the clip, fill and
// stroke colours (and colour spaces), line width, cap, join, miter limit, dash, flatness, blend
// mode, shadow, alpha, interpolation quality, antialiasing, font and text settings. The current
// path is not part of the state: it survives a restore. Points go through the CTM as they are
// added to the path, so changing the CTM afterwards does not move them.
//
// Painting (fill, stroke, clear, images, gradients, layers) honours the clip, the global alpha,
// the blend mode and the shadow. A shadow is the painted shape's alpha blurred by the blur
// radius, offset and tinted with the shadow colour, composited beneath the shape. The offset is
// in base-space units with a positive height moving the shadow down the bitmap (towards higher
// row numbers), whatever the CTM, as the platform does since system 3.2.
#pragma once

#include <memory>

#include "CoreGraphics/CGBase.h"
#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGGradient.h"
#include "CoreGraphics/CGImage.h"
#include "CoreGraphics/CGPath.h"

enum CGPathDrawingMode : int32_t {
    kCGPathFill = 0,
    kCGPathEOFill = 1,
    kCGPathStroke = 2,
    kCGPathFillStroke = 3,
    kCGPathEOFillStroke = 4,
};

enum CGBlendMode : int32_t {
    kCGBlendModeNormal = 0,
    kCGBlendModeMultiply,
    kCGBlendModeScreen,
    kCGBlendModeOverlay,
    kCGBlendModeDarken,
    kCGBlendModeLighten,
    kCGBlendModeColorDodge,
    kCGBlendModeColorBurn,
    kCGBlendModeSoftLight,
    kCGBlendModeHardLight,
    kCGBlendModeDifference,
    kCGBlendModeExclusion,
    kCGBlendModeHue,
    kCGBlendModeSaturation,
    kCGBlendModeColor,
    kCGBlendModeLuminosity,
    kCGBlendModeClear,            // R = 0
    kCGBlendModeCopy,             // R = S
    kCGBlendModeSourceIn,         // R = S*Da
    kCGBlendModeSourceOut,        // R = S*(1 - Da)
    kCGBlendModeSourceAtop,       // R = S*Da + D*(1 - Sa)
    kCGBlendModeDestinationOver,  // R = S*(1 - Da) + D
    kCGBlendModeDestinationIn,    // R = D*Sa
    kCGBlendModeDestinationOut,   // R = D*(1 - Sa)
    kCGBlendModeDestinationAtop,  // R = S*(1 - Da) + D*Sa
    kCGBlendModeXOR,              // R = S*(1 - Da) + D*(1 - Sa)
    kCGBlendModePlusDarker,       // R = MAX(0, 1 - ((1 - D) + (1 - S)))
    kCGBlendModePlusLighter,      // R = MIN(1, S + D)
};

enum CGInterpolationQuality : int32_t {
    kCGInterpolationDefault = 0,
    kCGInterpolationNone = 1,
    kCGInterpolationLow = 2,
    kCGInterpolationHigh = 3,
    kCGInterpolationMedium = 4,
};

enum CGTextDrawingMode : int32_t {
    kCGTextFill = 0,
    kCGTextStroke,
    kCGTextFillStroke,
    kCGTextInvisible,
    kCGTextFillClip,
    kCGTextStrokeClip,
    kCGTextFillStrokeClip,
    kCGTextClip,
};

enum CGTextEncoding : int32_t { kCGEncodingFontSpecific = 0, kCGEncodingMacRoman = 1 };

class CGContext : public NSObject {
    NS_OBJECT(CGContext, NSObject)
    CGContext();
    ~CGContext() override;
    struct Impl;
    Impl* impl() { return impl_.get(); }
    Ref<NSString> description() override;

private:
    std::unique_ptr<Impl> impl_;
};

// ---- graphics state ---------------------------------------------------------------------------
void CGContextSaveGState(CGContextRef c);
// Without a matching save it does nothing.
void CGContextRestoreGState(CGContextRef c);

// ---- transform ----------------------------------------------------------------------------
void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty);
void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy);
void CGContextRotateCTM(CGContextRef c, CGFloat angle);
void CGContextConcatCTM(CGContextRef c, CGAffineTransform transform);
CGAffineTransform CGContextGetCTM(CGContextRef c);
// User space to the bitmap's pixels (origin at the top-left, y down).
CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(CGContextRef c);
CGPoint CGContextConvertPointToDeviceSpace(CGContextRef c, CGPoint point);
CGPoint CGContextConvertPointToUserSpace(CGContextRef c, CGPoint point);
CGRect CGContextConvertRectToDeviceSpace(CGContextRef c, CGRect rect);
CGRect CGContextConvertRectToUserSpace(CGContextRef c, CGRect rect);

// ---- drawing attributes -----------------------------------------------------------------------
void CGContextSetLineWidth(CGContextRef c, CGFloat width);
void CGContextSetLineCap(CGContextRef c, CGLineCap cap);
void CGContextSetLineJoin(CGContextRef c, CGLineJoin join);
void CGContextSetMiterLimit(CGContextRef c, CGFloat limit);
// lengths NULL or count 0 turns dashing off.
void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat* lengths, size_t count);
void CGContextSetFlatness(CGContextRef c, CGFloat flatness);
void CGContextSetAlpha(CGContextRef c, CGFloat alpha);  // clamped to 0...1
void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode);
void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality);
CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c);
void CGContextSetShouldAntialias(CGContextRef c, bool shouldAntialias);
void CGContextSetAllowsAntialiasing(CGContextRef c, bool allowsAntialiasing);
// Offset in base-space units (positive height: down), blur radius >= 0, colour nil: no shadow.
void CGContextSetShadowWithColor(CGContextRef c, CGSize offset, CGFloat blur, CGColorRef color);
// The platform's default shadow colour: black at alpha 1/3.
void CGContextSetShadow(CGContextRef c, CGSize offset, CGFloat blur);

// ---- colours ------------------------------------------------------------------------------
void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color);
void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color);
void CGContextSetFillColorSpace(CGContextRef c, CGColorSpaceRef space);  // colour: black
void CGContextSetStrokeColorSpace(CGContextRef c, CGColorSpaceRef space);
// Components of the current fill (stroke) colour space, then alpha.
void CGContextSetFillColor(CGContextRef c, const CGFloat* components);
void CGContextSetStrokeColor(CGContextRef c, const CGFloat* components);
void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue,
                              CGFloat alpha);
void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue,
                                CGFloat alpha);
void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha);
void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat alpha);
// The colours in force (a diagnostic and a help to drawing code built on the context).
Ref<CGColor> CGContextCopyFillColor(CGContextRef c);
Ref<CGColor> CGContextCopyStrokeColor(CGContextRef c);

// ---- the current path ---------------------------------------------------------------------
void CGContextBeginPath(CGContextRef c);
void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y);
void CGContextAddCurveToPoint(CGContextRef c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x,
                              CGFloat cp2y, CGFloat x, CGFloat y);
void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y);
void CGContextClosePath(CGContextRef c);
// clockwise is 1 or 0, as the platform passes it.
void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, int clockwise);
// Tangent arc from the current point towards (x1, y1), turning towards (x2, y2); radius 0 or
// collinear points add a line to (x1, y1).
void CGContextAddArcToPoint(CGContextRef c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2,
                            CGFloat radius);
void CGContextAddRect(CGContextRef c, CGRect rect);
void CGContextAddRects(CGContextRef c, const CGRect* rects, size_t count);
void CGContextAddLines(CGContextRef c, const CGPoint* points, size_t count);
void CGContextAddEllipseInRect(CGContextRef c, CGRect rect);
// The path object's elements through the CTM.
void CGContextAddPath(CGContextRef c, CGPathRef path);
// The current path becomes the outline its stroke would cover (line width, caps, joins, dash).
void CGContextReplacePathWithStrokedPath(CGContextRef c);
bool CGContextIsPathEmpty(CGContextRef c);
CGPoint CGContextGetPathCurrentPoint(CGContextRef c);  // in user space
CGRect CGContextGetPathBoundingBox(CGContextRef c);    // in user space; CGRectNull when empty
bool CGContextPathContainsPoint(CGContextRef c, CGPoint point, CGPathDrawingMode mode);
// The current path as a path object in user space.
Ref<CGPath> CGContextCopyPath(CGContextRef c);

// ---- painting paths (each consumes the current path) ----------------------------------------
void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode);
void CGContextFillPath(CGContextRef c);
void CGContextEOFillPath(CGContextRef c);
void CGContextStrokePath(CGContextRef c);
// These leave the current path alone.
void CGContextFillRect(CGContextRef c, CGRect rect);
void CGContextFillRects(CGContextRef c, const CGRect* rects, size_t count);
void CGContextStrokeRect(CGContextRef c, CGRect rect);
void CGContextStrokeRectWithWidth(CGContextRef c, CGRect rect, CGFloat width);
// Makes the rectangle transparent (clip and CTM apply; alpha, blend mode and shadow do not).
void CGContextClearRect(CGContextRef c, CGRect rect);
void CGContextFillEllipseInRect(CGContextRef c, CGRect rect);
void CGContextStrokeEllipseInRect(CGContextRef c, CGRect rect);
// Pairs of points, each pair one segment.
void CGContextStrokeLineSegments(CGContextRef c, const CGPoint* points, size_t count);

// ---- clipping ---------------------------------------------------------------------------------
// Each intersects the clip with the current path and consumes the path.
void CGContextClip(CGContextRef c);
void CGContextEOClip(CGContextRef c);
void CGContextClipToRect(CGContextRef c, CGRect rect);
void CGContextClipToRects(CGContextRef c, const CGRect* rects, size_t count);
// Intersects the clip with the mask drawn into rect: an image mask lets paint through where its
// samples are 0; an image with alpha clips by its alpha; a grey image by its values.
void CGContextClipToMask(CGContextRef c, CGRect rect, CGImageRef mask);
// In user space; the whole context when nothing clips.
CGRect CGContextGetClipBoundingBox(CGContextRef c);

// ---- images, gradients, layers --------------------------------------------------------------
// The image's first row at the maximum y of rect (see CGImage.h). An image mask paints the
// fill colour through itself.
void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image);
// The image repeated from rect's origin at rect's size over the clip.
void CGContextDrawTiledImage(CGContextRef c, CGRect rect, CGImageRef image);
// Fills the clip; the options extend the end colours past the two ends.
void CGContextDrawLinearGradient(CGContextRef c, CGGradientRef gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options);
void CGContextDrawRadialGradient(CGContextRef c, CGGradientRef gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options);

// ---- transparency layers ------------------------------------------------------------------
// Drawing up to the matching End goes into an offscreen layer that is then composited as one
// image under the state in force at Begin (alpha, blend mode, shadow, clip). Inside, alpha is
// 1, the blend mode normal and there is no shadow. Begin saves the graphics state and End
// restores it. An End without a Begin does nothing.
void CGContextBeginTransparencyLayer(CGContextRef c, NSDictionary* auxiliaryInfo);
void CGContextBeginTransparencyLayerWithRect(CGContextRef c, CGRect rect,
                                             NSDictionary* auxiliaryInfo);
void CGContextEndTransparencyLayer(CGContextRef c);

// ---- text (the platform's simple text calls; fonts through fontconfig) ------------------------
// Text is drawn at the text position through the text matrix and the CTM, glyphs y-up.
void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size,
                         CGTextEncoding textEncoding);
void CGContextSetFontSize(CGContextRef c, CGFloat size);
void CGContextSetCharacterSpacing(CGContextRef c, CGFloat spacing);
void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode);
void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t);
CGAffineTransform CGContextGetTextMatrix(CGContextRef c);
void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y);
CGPoint CGContextGetTextPosition(CGContextRef c);
// UTF-8 bytes; the text position moves past the text.
void CGContextShowText(CGContextRef c, const char* string, size_t length);
void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string,
                              size_t length);

// ---- misc ---------------------------------------------------------------------------------
void CGContextFlush(CGContextRef c);
void CGContextSynchronize(CGContextRef c);

// The number of pixels in one base-space unit: what shadow offsets and blur radii are measured
// in. Bitmap contexts start at 1; UIKit's image and view contexts set
// the screen's scale so that shadows look alike at every scale.
void CGContextSetBaseScale(CGContextRef c, CGFloat scale);
CGFloat CGContextGetBaseScale(CGContextRef c);
