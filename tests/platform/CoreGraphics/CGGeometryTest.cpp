#include <gtest/gtest.h>

#include <cmath>

#include "CoreGraphics/CoreGraphics.h"
#include "Foundation/NSString.h"
#include "Foundation/NSValue.h"

namespace {
void expectRect(CGRect r, CGFloat x, CGFloat y, CGFloat w, CGFloat h) {
    EXPECT_FLOAT_EQ(r.origin.x, x);
    EXPECT_FLOAT_EQ(r.origin.y, y);
    EXPECT_FLOAT_EQ(r.size.width, w);
    EXPECT_FLOAT_EQ(r.size.height, h);
}
}  // namespace

TEST(CGGeometry, EdgesReadTheStandardisedRectangle) {
    CGRect r = CGRectMake(10, 20, -4, 6);  // negative width: spans 6...10
    EXPECT_FLOAT_EQ(CGRectGetMinX(r), 6);
    EXPECT_FLOAT_EQ(CGRectGetMaxX(r), 10);
    EXPECT_FLOAT_EQ(CGRectGetMidX(r), 8);
    EXPECT_FLOAT_EQ(CGRectGetMaxY(r), 26);
    EXPECT_FLOAT_EQ(CGRectGetWidth(r), 4);
    expectRect(CGRectStandardize(r), 6, 20, 4, 6);
    EXPECT_TRUE(CGRectEqualToRect(r, CGRectMake(6, 20, 4, 6)));
}

TEST(CGGeometry, IntersectionUnionAndContainment) {
    CGRect a = CGRectMake(0, 0, 10, 10), b = CGRectMake(5, 5, 10, 10);
    expectRect(CGRectIntersection(a, b), 5, 5, 5, 5);
    expectRect(CGRectUnion(a, b), 0, 0, 15, 15);
    // Disjoint rectangles meet in the null rectangle; touching ones in an empty one.
    EXPECT_TRUE(CGRectIsNull(CGRectIntersection(a, CGRectMake(20, 20, 1, 1))));
    CGRect touch = CGRectIntersection(a, CGRectMake(10, 0, 5, 5));
    EXPECT_FALSE(CGRectIsNull(touch));
    EXPECT_TRUE(CGRectIsEmpty(touch));
    EXPECT_FALSE(CGRectIntersectsRect(a, CGRectMake(10, 0, 5, 5)));
    EXPECT_TRUE(CGRectIntersectsRect(a, b));
    // The null rectangle is the identity of the union.
    expectRect(CGRectUnion(CGRectNull, b), 5, 5, 10, 10);
    // Min edges are inside, max edges outside.
    EXPECT_TRUE(CGRectContainsPoint(a, CGPointMake(0, 0)));
    EXPECT_FALSE(CGRectContainsPoint(a, CGPointMake(10, 5)));
    EXPECT_TRUE(CGRectContainsRect(a, CGRectMake(2, 2, 8, 8)));
    EXPECT_FALSE(CGRectContainsRect(a, b));
    EXPECT_FALSE(CGRectContainsPoint(CGRectNull, CGPointZero));
}

TEST(CGGeometry, InsetOffsetIntegralAndDivide) {
    expectRect(CGRectInset(CGRectMake(0, 0, 10, 20), 2, 3), 2, 3, 6, 14);
    EXPECT_TRUE(CGRectIsNull(CGRectInset(CGRectMake(0, 0, 10, 10), 6, 0)));
    expectRect(CGRectOffset(CGRectMake(1, 2, 3, 4), -1, 10), 0, 12, 3, 4);
    expectRect(CGRectIntegral(CGRectMake(0.5f, 1.2f, 2.0f, 2.9f)), 0, 1, 3, 4);
    CGRect slice, rest;
    CGRectDivide(CGRectMake(0, 0, 100, 50), &slice, &rest, 30, CGRectMaxXEdge);
    expectRect(slice, 70, 0, 30, 50);
    expectRect(rest, 0, 0, 70, 50);
    CGRectDivide(CGRectMake(0, 0, 100, 50), &slice, &rest, 80, CGRectMinYEdge);
    expectRect(slice, 0, 0, 100, 50);  // cut no more than there is
    expectRect(rest, 0, 50, 100, 0);
}

TEST(CGGeometry, StringsRoundTrip) {
    EXPECT_EQ(NSStringFromCGRect(CGRectMake(1, 2.5f, 30, 40))->utf8(), "{{1, 2.5}, {30, 40}}");
    EXPECT_EQ(NSStringFromCGPoint(CGPointMake(-3, 0))->utf8(), "{-3, 0}");
    EXPECT_EQ(NSStringFromCGSize(CGSizeMake(320, 480))->utf8(), "{320, 480}");
    expectRect(CGRectFromString(NS("{{1, 2.5}, {30, 40}}")), 1, 2.5f, 30, 40);
    CGPoint p = CGPointFromString(NS("{ -3 ,7}"));
    EXPECT_FLOAT_EQ(p.x, -3);
    EXPECT_FLOAT_EQ(p.y, 7);
    // What cannot be read gives zeros.
    expectRect(CGRectFromString(NS("{{1, 2}}")), 0, 0, 0, 0);
    expectRect(CGRectFromString(nullptr), 0, 0, 0, 0);
}

TEST(CGGeometry, BoxesInNSValue) {
    auto v = NSValue::valueWith(CGRectMake(1, 2, 3, 4));
    EXPECT_STREQ(v->objCType(), "{CGRect={CGPoint=ff}{CGSize=ff}}");
    expectRect(v->get<CGRect>(), 1, 2, 3, 4);
    // Another struct type reads as zeros rather than reinterpreting bytes.
    EXPECT_FLOAT_EQ(v->get<CGPoint>().x, 0);
    EXPECT_STREQ(NSValue::valueWith(CGAffineTransformIdentity)->objCType(),
                 "{CGAffineTransform=ffffff}");
}

TEST(CGAffineTransform, ComposesInThePlatformsOrder) {
    // Translate then scale, applied as the platform does: the new operation comes first.
    CGAffineTransform t = CGAffineTransformScale(CGAffineTransformMakeTranslation(10, 20), 2, 3);
    CGPoint p = CGPointApplyAffineTransform(CGPointMake(1, 1), t);
    EXPECT_FLOAT_EQ(p.x, 12);  // scaled to (2, 3), then moved by (10, 20)
    EXPECT_FLOAT_EQ(p.y, 23);
    CGAffineTransform c = CGAffineTransformConcat(CGAffineTransformMakeScale(2, 3),
                                                  CGAffineTransformMakeTranslation(10, 20));
    EXPECT_TRUE(CGAffineTransformEqualToTransform(t, c));
    CGPoint q = CGPointApplyAffineTransform(
        CGPointMake(1, 0), CGAffineTransformMakeRotation(static_cast<CGFloat>(M_PI / 2)));
    EXPECT_NEAR(q.x, 0, 1e-6);
    EXPECT_NEAR(q.y, 1, 1e-6);
}

TEST(CGAffineTransform, InvertsAndBoundsRectangles) {
    CGAffineTransform t = CGAffineTransformRotate(CGAffineTransformMakeTranslation(5, -7), 0.7f);
    CGAffineTransform back = CGAffineTransformConcat(t, CGAffineTransformInvert(t));
    EXPECT_NEAR(back.a, 1, 1e-5);
    EXPECT_NEAR(back.b, 0, 1e-5);
    EXPECT_NEAR(back.tx, 0, 1e-5);
    EXPECT_NEAR(back.ty, 0, 1e-5);
    // A singular transform is returned unchanged.
    CGAffineTransform flat = CGAffineTransformMakeScale(0, 1);
    EXPECT_TRUE(CGAffineTransformEqualToTransform(CGAffineTransformInvert(flat), flat));
    // A quarter turn of a 10 x 20 rectangle at the origin spans x -20...0 and y 0...10.
    CGRect r = CGRectApplyAffineTransform(
        CGRectMake(0, 0, 10, 20), CGAffineTransformMakeRotation(static_cast<CGFloat>(M_PI / 2)));
    EXPECT_NEAR(r.origin.x, -20, 1e-4);
    EXPECT_NEAR(r.origin.y, 0, 1e-4);
    EXPECT_NEAR(r.size.width, 20, 1e-4);
    EXPECT_NEAR(r.size.height, 10, 1e-4);
    EXPECT_EQ(NSStringFromCGAffineTransform(CGAffineTransformMake(1, 0, 0, 2, 3, 4))->utf8(),
              "[1, 0, 0, 2, 3, 4]");
}
