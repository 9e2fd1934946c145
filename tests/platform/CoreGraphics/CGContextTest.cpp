#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include <cairo.h>
#include "CGTesting.h"

#include "CoreGraphics/CGContextCairo.h"
#include "Foundation/NSArray.h"

namespace {
constexpr CGFloat kPi = 3.14159265f;

// The rounded-rectangle outline the style shapes build from tangent arcs.
void addRoundedOutline(CGContextRef c, CGRect r, CGFloat radius) {
    CGFloat w = r.size.width, h = r.size.height;
    CGContextSaveGState(c);
    CGContextTranslateCTM(c, r.origin.x, r.origin.y);
    CGContextBeginPath(c);
    CGContextMoveToPoint(c, w, std::floor(h / 2));
    CGContextAddArcToPoint(c, w, h, std::floor(w / 2), h, radius);
    CGContextAddArcToPoint(c, 0, h, 0, std::floor(h / 2), radius);
    CGContextAddArcToPoint(c, 0, 0, std::floor(w / 2), 0, radius);
    CGContextAddArcToPoint(c, w, 0, w, std::floor(h / 2), radius);
    CGContextClosePath(c);
    CGContextRestoreGState(c);
}
}  // namespace

TEST(CGContext, RoundedCornersFromTangentArcsLeaveTheCornersEmpty) {
    auto c = makeContext(60, 40, true);
    addRoundedOutline(c, CGRectMake(0, 0, 60, 40), 10);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillPath(c);
    // Outside the arc at each corner, inside it just past the curve, and along the edges.
    for (auto [x, y] : {std::pair{0, 0}, {59, 0}, {0, 39}, {59, 39}, {1, 1}, {58, 38}}) {
        EXPECT_EQ(pixelAt(c, size_t(x), size_t(y)).a, 0) << x << "," << y;
    }
    for (auto [x, y] : {std::pair{5, 5}, {54, 34}, {30, 0}, {0, 20}, {59, 20}, {30, 39}}) {
        EXPECT_TRUE(near(pixelAt(c, size_t(x), size_t(y)), 255, 0, 0, 255, 40)) << x << "," << y;
    }
    // The path was consumed by the fill.
    EXPECT_TRUE(CGContextIsPathEmpty(c));
}

TEST(CGContext, TangentArcWithZeroRadiusOrCollinearPointsIsALine) {
    auto c = makeContext(10, 10);
    CGContextMoveToPoint(c, 0, 0);
    CGContextAddArcToPoint(c, 5, 0, 5, 5, 0);
    CGPoint p = CGContextGetPathCurrentPoint(c);
    EXPECT_FLOAT_EQ(p.x, 5);
    EXPECT_FLOAT_EQ(p.y, 0);
    CGContextAddArcToPoint(c, 8, 0, 9, 0, 3);  // collinear
    p = CGContextGetPathCurrentPoint(c);
    EXPECT_FLOAT_EQ(p.x, 8);
    EXPECT_FLOAT_EQ(p.y, 0);
    // A real corner ends at the second tangent point, the radius short of the corner.
    CGContextAddArcToPoint(c, 8, 8, 0, 8, 2);
    p = CGContextGetPathCurrentPoint(c);
    EXPECT_NEAR(p.x, 6, 1e-4);
    EXPECT_NEAR(p.y, 8, 1e-4);
}

TEST(CGContext, LinearGradientRowsAndTheDrawPastOptions) {
    CGFloat comps[] = {1, 0, 0, 1, 0, 0, 1, 1};
    auto space = CGColorSpaceCreateDeviceRGB();
    auto g = CGGradientCreateWithColorComponents(space, comps, nullptr, 2);
    ASSERT_TRUE(g);
    auto full = makeContext(4, 100, true);
    CGContextDrawLinearGradient(full, g, CGPointMake(0, 0), CGPointMake(0, 100), 0);
    // Red at the top, blue at the bottom, a quarter of the way mostly red.
    EXPECT_TRUE(near(pixelAt(full, 1, 0), 255, 0, 0, 255, 6));
    EXPECT_TRUE(near(pixelAt(full, 1, 25), 191, 0, 64, 255, 6));
    EXPECT_TRUE(near(pixelAt(full, 1, 50), 128, 0, 128, 255, 6));
    EXPECT_TRUE(near(pixelAt(full, 1, 99), 0, 0, 255, 255, 6));

    auto plain = makeContext(4, 100, true);
    CGContextDrawLinearGradient(plain, g, CGPointMake(0, 25), CGPointMake(0, 75), 0);
    EXPECT_EQ(pixelAt(plain, 1, 10).a, 0);
    EXPECT_EQ(pixelAt(plain, 1, 90).a, 0);
    EXPECT_TRUE(near(pixelAt(plain, 1, 50), 128, 0, 128, 255, 6));

    auto before = makeContext(4, 100, true);
    CGContextDrawLinearGradient(before, g, CGPointMake(0, 25), CGPointMake(0, 75),
                                kCGGradientDrawsBeforeStartLocation);
    EXPECT_TRUE(near(pixelAt(before, 1, 10), 255, 0, 0, 255));
    EXPECT_EQ(pixelAt(before, 1, 90).a, 0);

    auto after = makeContext(4, 100, true);
    CGContextDrawLinearGradient(after, g, CGPointMake(0, 25), CGPointMake(0, 75),
                                kCGGradientDrawsAfterEndLocation);
    EXPECT_EQ(pixelAt(after, 1, 10).a, 0);
    EXPECT_TRUE(near(pixelAt(after, 1, 90), 0, 0, 255, 255));
}

TEST(CGContext, GradientFromGreyColoursHasEqualChannelsAndFollowsTheClip) {
    auto grey = CGColorCreateGenericGray(0.5f, 1);
    auto white = CGColorCreateGenericGray(1, 1);
    auto colors = NSArray::arrayWithObjects({grey.get(), white.get()});
    auto g = CGGradientCreateWithColors(CGColorSpaceCreateDeviceRGB(), colors, nullptr);
    ASSERT_EQ(g->stops().size(), 2u);
    auto c = makeContext(10, 10, true);
    CGContextClipToRect(c, CGRectMake(0, 0, 5, 10));
    CGContextDrawLinearGradient(c, g, CGPointMake(0, 0), CGPointMake(0, 10),
                                kCGGradientDrawsAfterEndLocation);
    Pixel p = pixelAt(c, 2, 0);
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
    EXPECT_NEAR(p.r, 134, 6);
    EXPECT_EQ(pixelAt(c, 7, 5).a, 0);  // outside the clip
}

TEST(CGContext, ShadowFallsBelowForPositiveHeightAndAboveForNegative) {
    for (bool flipped : {true, false}) {
        for (CGFloat dy : {6.0f, -6.0f}) {
            auto c = makeContext(40, 40, flipped);
            CGContextSetShadowWithColor(c, CGSizeMake(0, dy), 0, CGColorCreateGenericGray(0, 1));
            CGContextSetRGBFillColor(c, 1, 1, 1, 1);
            CGContextFillRect(c, CGRectMake(10, 10, 20, 20));  // rows 10...29 either way
            Pixel below = pixelAt(c, 20, 33), above = pixelAt(c, 20, 6);
            if (dy > 0) {
                EXPECT_TRUE(near(below, 0, 0, 0, 255)) << flipped;
                EXPECT_EQ(above.a, 0) << flipped;
            } else {
                EXPECT_TRUE(near(above, 0, 0, 0, 255)) << flipped;
                EXPECT_EQ(below.a, 0) << flipped;
            }
            // The shape itself stays on top of its shadow.
            EXPECT_TRUE(near(pixelAt(c, 20, 20), 255, 255, 255, 255));
        }
    }
}

TEST(CGContext, BlurredShadowSpreadsAndFades) {
    auto c = makeContext(60, 60, true);
    CGContextSetShadowWithColor(c, CGSizeMake(0, 0), 8, CGColorCreateGenericGray(0, 1));
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextFillRect(c, CGRectMake(20, 20, 20, 20));
    int nearEdge = pixelAt(c, 30, 18).a, farther = pixelAt(c, 30, 13).a;
    EXPECT_GT(nearEdge, farther);
    EXPECT_GT(farther, 0);
    EXPECT_LT(nearEdge, 255);
    EXPECT_EQ(pixelAt(c, 30, 1).a, 0);
}

TEST(CGContext, ShadowOfATransparencyLayerIsCastOnceForEverythingInIt) {
    auto c = makeContext(40, 40, true);
    CGContextSaveGState(c);
    CGContextSetShadowWithColor(c, CGSizeMake(5, 0), 0, CGColorCreateGenericGray(0, 0.5f));
    CGContextBeginTransparencyLayer(c, nullptr);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(5, 5, 10, 10));
    CGContextFillRect(c, CGRectMake(10, 5, 10, 10));  // overlaps the first
    CGContextEndTransparencyLayer(c);
    CGContextRestoreGState(c);
    // Right of the union: one shadow of alpha one half, not two stacked.
    EXPECT_TRUE(near(pixelAt(c, 22, 10), 0, 0, 0, 128, 4));
    // Where the first square's shadow would fall on the second square, the layer is on top.
    EXPECT_TRUE(near(pixelAt(c, 17, 10), 255, 0, 0, 255));
}

TEST(CGContext, TransparencyLayerCompositesOverlapsWithOneAlpha) {
    auto c = makeContext(30, 10);
    CGContextSetAlpha(c, 0.5f);
    CGContextBeginTransparencyLayer(c, nullptr);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 10));
    CGContextFillRect(c, CGRectMake(10, 0, 20, 10));
    CGContextEndTransparencyLayer(c);
    EXPECT_TRUE(near(pixelAt(c, 15, 5), 128, 0, 0, 128));  // overlap: still one half
    EXPECT_TRUE(near(pixelAt(c, 5, 5), 128, 0, 0, 128));
    // Without a layer the overlap adds up.
    auto d = makeContext(30, 10);
    CGContextSetAlpha(d, 0.5f);
    CGContextSetRGBFillColor(d, 1, 0, 0, 1);
    CGContextFillRect(d, CGRectMake(0, 0, 20, 10));
    CGContextFillRect(d, CGRectMake(10, 0, 20, 10));
    EXPECT_TRUE(near(pixelAt(d, 15, 5), 191, 0, 0, 191));
}

TEST(CGContext, ClipToMaskUsesGreyValuesAlphaAndInvertedImageMasks) {
    // A grey image, white on the left half: paint goes through where it is white.
    auto greyData = NSMutableData::dataWithLength(20 * 10);
    auto* gp = static_cast<uint8_t*>(greyData->mutableBytes());
    for (int y = 0; y < 10; ++y) {
        for (int x = 0; x < 20; ++x)
            gp[y * 20 + x] = x < 10 ? 255 : 0;
    }
    auto grey = CGImageCreate(20, 10, 8, 8, 20, CGColorSpaceCreateDeviceGray(), kCGImageAlphaNone,
                              CGDataProviderCreateWithCFData(greyData), nullptr, false,
                              kCGRenderingIntentDefault);
    ASSERT_TRUE(grey);
    auto c = makeContext(20, 10);
    CGContextClipToMask(c, CGRectMake(0, 0, 20, 10), grey);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 10));
    EXPECT_TRUE(near(pixelAt(c, 3, 5), 0, 0, 255, 255));
    EXPECT_EQ(pixelAt(c, 15, 5).a, 0);

    // The same samples as an image mask: 0 lets paint through, so the sense inverts.
    auto mask = CGImageMaskCreate(20, 10, 8, 8, 20, CGDataProviderCreateWithCFData(greyData),
                                  nullptr, false);
    ASSERT_TRUE(mask);
    auto d = makeContext(20, 10);
    CGContextClipToMask(d, CGRectMake(0, 0, 20, 10), mask);
    CGContextSetRGBFillColor(d, 0, 0, 1, 1);
    CGContextFillRect(d, CGRectMake(0, 0, 20, 10));
    EXPECT_EQ(pixelAt(d, 3, 5).a, 0);
    EXPECT_TRUE(near(pixelAt(d, 15, 5), 0, 0, 255, 255));

    // Outside the mask's rectangle nothing is painted either.
    auto e = makeContext(40, 10);
    CGContextClipToMask(e, CGRectMake(0, 0, 20, 10), grey);
    CGContextSetRGBFillColor(e, 0, 0, 1, 1);
    CGContextFillRect(e, CGRectMake(0, 0, 40, 10));
    EXPECT_EQ(pixelAt(e, 30, 5).a, 0);
}

TEST(CGContext, SourceAtopPaintsOnlyOverWhatIsThere) {
    auto image = makeImage(20, 20, [](size_t x, size_t y) {
        bool in = x >= 5 && x < 15 && y >= 5 && y < 15;
        return in ? Pixel{255, 255, 255, 255} : Pixel{0, 0, 0, 0};
    });
    auto c = makeContext(20, 20);
    CGContextDrawImage(c, CGRectMake(0, 0, 20, 20), image);
    CGContextSetBlendMode(c, kCGBlendModeSourceAtop);
    CGContextSetRGBFillColor(c, 0, 0, 1, 0.5f);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 20));
    EXPECT_TRUE(near(pixelAt(c, 10, 10), 128, 128, 255, 255));
    EXPECT_EQ(pixelAt(c, 2, 2).a, 0);
}

TEST(CGContext, BlendModesThatReachBeyondTheSourceStayInsideTheShape) {
    auto c = makeContext(20, 10);
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 20, 10));
    CGContextSetBlendMode(c, kCGBlendModeCopy);
    CGContextSetRGBFillColor(c, 0, 0, 1, 0.5f);
    CGContextFillRect(c, CGRectMake(0, 0, 10, 10));
    EXPECT_TRUE(near(pixelAt(c, 5, 5), 0, 0, 128, 128));   // replaced, alpha and all
    EXPECT_TRUE(near(pixelAt(c, 15, 5), 255, 0, 0, 255));  // untouched beside it
    CGContextSetBlendMode(c, kCGBlendModeDestinationIn);
    CGContextSetGrayFillColor(c, 0, 0.5f);
    CGContextFillRect(c, CGRectMake(10, 0, 5, 10));
    EXPECT_TRUE(near(pixelAt(c, 12, 5), 128, 0, 0, 128));
    EXPECT_TRUE(near(pixelAt(c, 17, 5), 255, 0, 0, 255));
}

TEST(CGContext, EvenOddAndNonZeroFillOfASelfIntersectingPath) {
    // A five-pointed star drawn in one stroke: its centre is wound twice.
    auto star = [](CGContextRef c) {
        CGContextBeginPath(c);
        for (int i = 0; i < 5; ++i) {
            CGFloat a = kPi / 2 + CGFloat(i) * 4 * kPi / 5;
            CGFloat x = 50 + 45 * std::cos(a), y = 50 + 45 * std::sin(a);
            if (i == 0) {
                CGContextMoveToPoint(c, x, y);
            } else {
                CGContextAddLineToPoint(c, x, y);
            }
        }
        CGContextClosePath(c);
    };
    auto nz = makeContext(100, 100);
    star(nz);
    EXPECT_TRUE(CGContextPathContainsPoint(nz, CGPointMake(50, 50), kCGPathFill));
    EXPECT_FALSE(CGContextPathContainsPoint(nz, CGPointMake(50, 50), kCGPathEOFill));
    CGContextFillPath(nz);
    EXPECT_EQ(pixelAt(nz, 50, 50).a, 255);
    auto eo = makeContext(100, 100);
    star(eo);
    CGContextEOFillPath(eo);
    EXPECT_EQ(pixelAt(eo, 50, 50).a, 0);
    // A point of the star is filled either way.
    EXPECT_EQ(pixelAt(eo, 50, 100 - 88).a, 255);
}

TEST(CGContext, RestoreBringsBackClipAndColourButNotThePath) {
    auto c = makeContext(20, 20);
    CGContextSaveGState(c);
    CGContextClipToRect(c, CGRectMake(0, 0, 5, 5));
    CGContextSetRGBFillColor(c, 1, 0, 0, 1);
    CGContextAddRect(c, CGRectMake(0, 0, 20, 20));  // the path is not part of the state
    CGContextRestoreGState(c);
    EXPECT_FALSE(CGContextIsPathEmpty(c));
    CGContextFillPath(c);
    // The default black fill, unclipped.
    EXPECT_TRUE(near(pixelAt(c, 15, 15), 0, 0, 0, 255));
    EXPECT_TRUE(near(pixelAt(c, 2, 17), 0, 0, 0, 255));
    // A restore without a save changes nothing.
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextRestoreGState(c);
    EXPECT_FLOAT_EQ(CGColorGetComponents(CGContextCopyFillColor(c))[1], 1);
}

TEST(CGContext, PointsTakeTheTransformInForceWhenAdded) {
    auto c = makeContext(20, 20);
    CGContextTranslateCTM(c, 10, 0);
    CGContextAddRect(c, CGRectMake(0, 0, 5, 5));
    CGContextTranslateCTM(c, -10, 0);
    CGRect box = CGContextGetPathBoundingBox(c);
    EXPECT_FLOAT_EQ(box.origin.x, 10);
    EXPECT_FLOAT_EQ(box.size.width, 5);
    CGContextFillPath(c);
    EXPECT_EQ(pixelAt(c, 12, 17).a, 255);  // y-up: user rows 0...5 are the bottom rows
    EXPECT_EQ(pixelAt(c, 2, 17).a, 0);
}

TEST(CGContext, ImageRowOrderThroughFlippedAndUnflippedContexts) {
    // Red top row, blue below.
    auto image = makeImage(4, 4, [](size_t, size_t y) {
        return y == 0 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255};
    });
    auto plain = makeContext(4, 4);
    CGContextDrawImage(plain, CGRectMake(0, 0, 4, 4), image);
    EXPECT_TRUE(near(pixelAt(plain, 1, 0), 255, 0, 0, 255));
    EXPECT_TRUE(near(pixelAt(plain, 1, 3), 0, 0, 255, 255));

    // In UIKit's flipped coordinates, with the usual counter-flip around the drawing, the red
    // row stays on top.
    auto flipped = makeContext(4, 4, true);
    CGContextSaveGState(flipped);
    CGContextTranslateCTM(flipped, 0, 4);
    CGContextScaleCTM(flipped, 1, -1);
    CGContextDrawImage(flipped, CGRectMake(0, 0, 4, 4), image);
    CGContextRestoreGState(flipped);
    EXPECT_TRUE(near(pixelAt(flipped, 1, 0), 255, 0, 0, 255));
    // Without it the image comes out upside down, as on the platform.
    auto raw = makeContext(4, 4, true);
    CGContextDrawImage(raw, CGRectMake(0, 0, 4, 4), image);
    EXPECT_TRUE(near(pixelAt(raw, 1, 3), 255, 0, 0, 255));

    // And what a bitmap context makes into an image keeps its rows.
    auto copy = CGBitmapContextCreateImage(plain);
    auto again = makeContext(4, 4);
    CGContextDrawImage(again, CGRectMake(0, 0, 4, 4), copy);
    EXPECT_TRUE(near(pixelAt(again, 1, 0), 255, 0, 0, 255));
}

TEST(CGContext, ColourComponentsAreKeptButClampedWhenPainted) {
    auto color = CGColorCreateGenericRGB(2, -1, 0.5f, 1.5f);
    ASSERT_EQ(CGColorGetNumberOfComponents(color), 4u);
    EXPECT_FLOAT_EQ(CGColorGetComponents(color)[0], 2);
    EXPECT_FLOAT_EQ(CGColorGetAlpha(color), 1.5f);
    auto c = makeContext(2, 2);
    CGContextSetFillColorWithColor(c, color);
    CGContextFillRect(c, CGRectMake(0, 0, 2, 2));
    EXPECT_TRUE(near(pixelAt(c, 0, 0), 255, 0, 128, 255, 1));
    auto grey = CGColorCreateGenericGray(0.25f, 1);
    EXPECT_EQ(CGColorGetNumberOfComponents(grey), 2u);
    auto half = CGColorCreateCopyWithAlpha(grey, 0.5f);
    EXPECT_FLOAT_EQ(CGColorGetAlpha(half), 0.5f);
    EXPECT_FLOAT_EQ(CGColorGetComponents(half)[0], 0.25f);
    EXPECT_FALSE(CGColorEqualToColor(grey, half));
}

TEST(CGContext, StrokedPathAsClipMakesAGradientBorder) {
    auto c = makeContext(40, 40, true);
    CGContextAddRect(c, CGRectMake(5, 5, 30, 30));
    CGContextSetLineWidth(c, 4);
    CGContextReplacePathWithStrokedPath(c);
    CGRect box = CGContextGetPathBoundingBox(c);
    EXPECT_NEAR(box.origin.x, 3, 0.01);
    EXPECT_NEAR(box.size.width, 34, 0.01);
    CGContextClip(c);
    CGFloat comps[] = {1, 0, 0, 1, 1, 0, 0, 1};
    auto g = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), comps, nullptr, 2);
    CGContextDrawLinearGradient(c, g, CGPointMake(0, 0), CGPointMake(0, 40), 0);
    EXPECT_TRUE(near(pixelAt(c, 20, 5), 255, 0, 0, 255));  // on the line
    EXPECT_EQ(pixelAt(c, 20, 20).a, 0);                    // inside the frame
    EXPECT_EQ(pixelAt(c, 20, 0).a, 0);                     // outside it
    CGRect clip = CGContextGetClipBoundingBox(c);
    EXPECT_NEAR(clip.origin.y, 3, 0.01);
}

TEST(CGContext, ClearRectMakesTransparentWithinTheClip) {
    auto c = makeContext(10, 10);
    CGContextFillRect(c, CGRectMake(0, 0, 10, 10));
    CGContextClipToRect(c, CGRectMake(0, 0, 5, 10));
    CGContextSetAlpha(c, 0.2f);  // not applied to clearing
    CGContextClearRect(c, CGRectMake(0, 0, 10, 10));
    EXPECT_EQ(pixelAt(c, 2, 5).a, 0);
    EXPECT_EQ(pixelAt(c, 7, 5).a, 255);
}

TEST(CGContext, DashedStrokeLeavesGaps) {
    auto c = makeContext(40, 4);
    CGFloat dash[] = {5, 5};
    CGContextSetLineDash(c, 0, dash, 2);
    CGContextSetLineWidth(c, 2);
    CGContextMoveToPoint(c, 0, 2);
    CGContextAddLineToPoint(c, 40, 2);
    CGContextStrokePath(c);
    EXPECT_EQ(pixelAt(c, 2, 1).a, 255);
    EXPECT_EQ(pixelAt(c, 7, 1).a, 0);
    EXPECT_EQ(pixelAt(c, 12, 1).a, 255);
}

TEST(CGContext, PaintingThroughCairoHonoursClipAndAlpha) {
    auto c = makeContext(10, 10);
    CGContextClipToRect(c, CGRectMake(0, 0, 5, 10));
    CGContextSetAlpha(c, 0.5f);
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextPaintWithCairo(c, [](cairo_t* cr) {
        cairo_rectangle(cr, 0, 0, 10, 10);
        cairo_fill(cr);
    });
    EXPECT_TRUE(near(pixelAt(c, 2, 5), 0, 128, 0, 128));
    EXPECT_EQ(pixelAt(c, 7, 5).a, 0);
}

// Several shapes in one cairo paint look as one call each only while each goes straight onto the
// bitmap; a rectangle filled from inside the paint is the very one CGContextFillRect fills.
TEST(CGContext, ShapesPaintedTogetherThroughCairo) {
    auto c = makeContext(30, 20, true);
    EXPECT_TRUE(CGContextDrawsShapesDirectly(c));
    EXPECT_FALSE(CGContextDrawsShapesDirectly(nullptr));
    auto directAfter = [&](auto change) {
        CGContextSaveGState(c);
        change();
        bool direct = CGContextDrawsShapesDirectly(c);
        CGContextRestoreGState(c);
        return direct;
    };
    EXPECT_TRUE(directAfter([&] { CGContextClipToRect(c, CGRectMake(1, 1, 5, 5)); }));
    EXPECT_FALSE(directAfter([&] { CGContextSetAlpha(c, 0.5f); }));
    EXPECT_FALSE(directAfter([&] { CGContextSetBlendMode(c, kCGBlendModeMultiply); }));
    EXPECT_FALSE(directAfter([&] {
        CGContextSetShadowWithColor(c, CGSizeMake(1, 1), 0, CGColorCreateGenericRGB(0, 0, 0, 1));
    }));
    EXPECT_FALSE(directAfter([&] {
        auto mask = makeImage(2, 2, [](size_t, size_t) { return Pixel{0, 0, 0, 255}; });
        CGContextClipToMask(c, CGRectMake(0, 0, 30, 20), mask);
    }));

    // Fractional rectangles under a scale, against the context's own fills.
    const CGRect rects[] = {CGRectMake(1.3f, 2.7f, 7.45f, 1.142857f),
                            CGRectMake(10.5f, 0.2f, 3.3f, 9.9f), CGRectMake(-2, 12.6f, 40, 0.4f)};
    auto paintBoth = [&](bool throughCairo) {
        auto d = makeContext(30, 20, true);
        CGContextScaleCTM(d, 0.75f, 1.25f);
        CGContextSetRGBFillColor(d, 0.1f, 0.3f, 0.8f, 0.7f);
        if (throughCairo) {
            CGContextPaintWithCairo(d, [&](cairo_t* cr) {
                for (CGRect r : rects)
                    CGContextFillRectWithCairo(d, cr, r);
            });
        } else {
            for (CGRect r : rects)
                CGContextFillRect(d, r);
        }
        auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(d));
        return std::vector<uint8_t>(p, p + CGBitmapContextGetBytesPerRow(d) * 20);
    };
    auto own = paintBoth(false);
    EXPECT_EQ(paintBoth(true), own);
    EXPECT_NE(std::count(own.begin(), own.end(), 0), std::ptrdiff_t(own.size()));
}

TEST(CGContext, TextIsDrawnUprightAtTheTextPosition) {
    auto c = makeContext(80, 30);
    CGContextSelectFont(c, "Helvetica-Bold", 20, kCGEncodingMacRoman);
    CGContextSetTextDrawingMode(c, kCGTextFill);
    CGContextShowTextAtPoint(c, 5, 8, "Ab", 2);
    EXPECT_GT(CGContextGetTextPosition(c).x, 20);  // moved past the text
    int ink = 0;
    for (size_t y = 0; y < 30; ++y) {
        for (size_t x = 0; x < 80; ++x)
            ink += pixelAt(c, x, y).a > 128;
    }
    EXPECT_GT(ink, 20);
    // Glyphs stand on the baseline (y 8 from the bottom): nothing well below it.
    for (size_t x = 0; x < 80; ++x)
        EXPECT_EQ(pixelAt(c, x, 28).a, 0);
}

TEST(CGContext, PatternColoursTileUprightFromTheTopLeft) {
    // A 2 x 2 tile: red top row, blue bottom row.
    auto tile = makeImage(2, 2, [](size_t, size_t y) {
        return y == 0 ? Pixel{255, 0, 0, 255} : Pixel{0, 0, 255, 255};
    });
    auto pattern = CGColorCreateWithPatternImage(tile, 1);
    EXPECT_EQ(CGColorGetNumberOfComponents(pattern), 1u);  // neither grey nor RGB
    auto c = makeContext(6, 6, true);
    CGContextSetInterpolationQuality(c, kCGInterpolationNone);
    CGContextSetFillColorWithColor(c, pattern);
    CGContextFillRect(c, CGRectMake(0, 0, 6, 6));
    EXPECT_TRUE(near(pixelAt(c, 3, 0), 255, 0, 0, 255));
    EXPECT_TRUE(near(pixelAt(c, 3, 1), 0, 0, 255, 255));
    EXPECT_TRUE(near(pixelAt(c, 3, 4), 255, 0, 0, 255));
}

TEST(CGContext, RadialGradientFromTheCentreOutwards) {
    CGFloat comps[] = {1, 1, 1, 1, 0, 0, 0, 0};
    CGFloat locs[] = {0, 1};
    auto g = CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), comps, locs, 2);
    auto c = makeContext(41, 41);
    CGContextDrawRadialGradient(c, g, CGPointMake(20.5f, 20.5f), 0, CGPointMake(20.5f, 20.5f), 20,
                                0);
    EXPECT_GT(pixelAt(c, 20, 20).a, 240);
    EXPECT_NEAR(pixelAt(c, 30, 20).a, 128, 10);
    EXPECT_EQ(pixelAt(c, 0, 0).a, 0);  // beyond the end circle, not extended
}

TEST(CGContext, ShadowsAreMeasuredInBaseUnits) {
    // At base scale 2 (a 2x image context) an offset of 3 moves the shadow 6 pixels.
    auto c = makeContext(40, 40, true);
    CGContextScaleCTM(c, 2, 2);
    CGContextSetBaseScale(c, 2);
    CGContextSetShadowWithColor(c, CGSizeMake(3, 0), 0, CGColorCreateGenericGray(0, 1));
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextFillRect(c, CGRectMake(2, 2, 5, 5));  // pixels 4...13
    EXPECT_TRUE(near(pixelAt(c, 18, 8), 0, 0, 0, 255));
    EXPECT_EQ(pixelAt(c, 21, 8).a, 0);
}

TEST(CGContext, RoundCapsReachPastTheEndsAndClipBoundsAreInUserSpace) {
    auto c = makeContext(20, 10, true);
    CGContextSetLineCap(c, kCGLineCapRound);
    CGContextSetLineWidth(c, 6);
    CGContextMoveToPoint(c, 5, 5);
    CGContextAddLineToPoint(c, 15, 5);
    CGContextStrokePath(c);
    EXPECT_GT(pixelAt(c, 3, 5).a, 200);
    EXPECT_EQ(pixelAt(c, 0, 5).a, 0);
    CGContextClipToRect(c, CGRectMake(2, 1, 5, 3));
    CGRect box = CGContextGetClipBoundingBox(c);
    EXPECT_FLOAT_EQ(box.origin.y, 1);
    EXPECT_FLOAT_EQ(box.size.height, 3);
    CGContextClipToRect(c, CGRectMake(10, 0, 5, 5));  // disjoint: nothing is left
    EXPECT_TRUE(CGRectIsNull(CGContextGetClipBoundingBox(c)));
}

// fontconfig keeps a few allocations of its configuration for the life of the process (cairo
// loads it for the text calls); they are not ours to free.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}
