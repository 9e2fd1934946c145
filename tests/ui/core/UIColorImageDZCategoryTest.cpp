#include <gtest/gtest.h>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "DodizTesting.h"
#include "UIKit/UIFont.h"
#include "platform/UIKit/DrawingTesting.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/core/UIImage+DZCategory.h"

namespace {

void expectRGBA(UIColor* c, CGFloat r, CGFloat g, CGFloat b, CGFloat a) {
    EXPECT_NEAR(c->red(), r, 1e-5);
    EXPECT_NEAR(c->green(), g, 1e-5);
    EXPECT_NEAR(c->blue(), b, 1e-5);
    EXPECT_NEAR(c->alpha(), a, 1e-5);
}

TEST(UIColorDZCategory, HueSaturationValueOfColours) {
    auto red = UIColor::colorWithRed(1, 0, 0, 1);
    EXPECT_FLOAT_EQ(hue(red), 0);
    EXPECT_FLOAT_EQ(saturation(red), 1);
    EXPECT_FLOAT_EQ(value(red), 1);
    EXPECT_FLOAT_EQ(hue(UIColor::colorWithRed(0, 1, 0, 1)), 120);
    EXPECT_FLOAT_EQ(hue(UIColor::colorWithRed(0, 0, 1, 1)), 240);
    EXPECT_FLOAT_EQ(hue(UIColor::colorWithRed(1, 0, 0.5f, 1)), 330);  // negative turned round
    EXPECT_FLOAT_EQ(hue(UIColor::blackColor()), -1);
    EXPECT_FLOAT_EQ(saturation(UIColor::blackColor()), 0);
    // A grey has no hue either.
    auto grey = UIColor::colorWithRed(0.5f, 0.5f, 0.5f, 1);
    EXPECT_FLOAT_EQ(hue(grey), -1);
    EXPECT_FLOAT_EQ(saturation(grey), 0);
    EXPECT_FLOAT_EQ(value(grey), 0.5f);
}

TEST(UIColorDZCategory, ConversionsRoundTrip) {
    for (CGFloat h : {0.f, 30.f, 90.f, 150.f, 210.f, 270.f, 330.f}) {
        auto c = colorWithHueSaturationValueAlpha(h, 0.5f, 0.8f, 0.25f);
        EXPECT_NEAR(hue(c), h, 1e-3) << h;
        EXPECT_NEAR(saturation(c), 0.5f, 1e-5);
        EXPECT_NEAR(value(c), 0.8f, 1e-5);
        EXPECT_FLOAT_EQ(c->alpha(), 0.25f);
    }
    expectRGBA(colorWithHueSaturationValueAlpha(60, 1, 1, 1), 1, 1, 0, 1);
    expectRGBA(colorWithHueSaturationValueAlpha(300, 1, 0.5f, 1), 0.5f, 0, 0.5f, 1);
    expectRGBA(colorWithHueSaturationValueAlpha(-1, 0, 0.3f, 1), 0.3f, 0.3f, 0.3f, 1);
}

TEST(UIColorDZCategory, HighlightsAndShadows) {
    // The arithmetic does not clamp: the value goes above 1, and the platform's colour keeps
    // what it can of it.
    const CGFloat brighter[3] = {0, 0.4f, 1.2f};
    CGFloat r, g, b;
    colorComponentsHueSatValToRGB(brighter, &r, &g, &b);
    EXPECT_FLOAT_EQ(r, 1.2f);
    EXPECT_FLOAT_EQ(g, 0.72f);
    EXPECT_FLOAT_EQ(b, 0.72f);
    expectRGBA(highlight(UIColor::colorWithRed(1, 0, 0, 0.5f)), 1, 0.72f, 0.72f, 0.5f);
    expectRGBA(shadow(UIColor::colorWithRed(0.5f, 0.5f, 0.5f, 1)), 0.3f, 0.3f, 0.3f, 1);
    // A colour made from a white level is the grey it reads as.
    expectRGBA(shadow(UIColor::colorWithWhite(0.5f, 1)), 0.3f, 0.3f, 0.3f, 1);
    expectRGBA(highlight(UIColor::colorWithWhite(0.5f, 1)), 0.6f, 0.6f, 0.6f, 1);
    expectRGBA(addHue(UIColor::colorWithRed(1, 0, 0, 1), 120, 0, -0.5f), 0, 0.5f, 0, 1);
    expectRGBA(multiplyHue(UIColor::colorWithRed(0, 0, 1, 1), 0.5f, 1, 1), 0, 1, 0, 1);
    auto faded = copyWithAlpha(UIColor::colorWithRed(0.1f, 0.2f, 0.3f, 1), 0.4f);
    expectRGBA(faded, 0.1f, 0.2f, 0.3f, 0.4f);
}

TEST(UIFontDZCategory, LineHeightIsTheFullHeightAndAPoint) {
    auto font = UIFont::systemFontOfSize(14);
    EXPECT_FLOAT_EQ(dzLineHeight(font), font->ascender() - font->descender() + 1);
    EXPECT_GT(dzLineHeight(font), 14);
}

// A 100 × 50 image: its left half red, its right half blue.
Ref<UIImage> wideImage() {
    return paintedImage(CGSizeMake(100, 50), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 50, 50));
        fill(UIColor::blueColor(), CGRectMake(50, 0, 50, 50));
    });
}

TEST(UIImageDZCategory, PlacementByContentMode) {
    auto image = wideImage();
    CGRect square = CGRectMake(0, 0, 50, 50);
    auto placed = [&](UIViewContentMode mode, CGRect target) {
        return rectText(convertRect(image, target, mode));
    };
    EXPECT_EQ(placed(UIViewContentModeScaleAspectFit, square), rectText({{0, 12}, {50, 25}}));
    EXPECT_EQ(placed(UIViewContentModeScaleAspectFill, square), rectText({{-25, 0}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeCenter, square), rectText({{-25, 0}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeTop, CGRectMake(10, 10, 50, 80)),
              rectText({{-15, 10}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeBottom, CGRectMake(0, 0, 50, 80)),
              rectText({{-25, 30}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeLeft, CGRectMake(0, 0, 50, 81)),
              rectText({{0, 15}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeRight, CGRectMake(0, 0, 50, 80)),
              rectText({{-50, 15}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeTopRight, square), rectText({{-50, 0}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeBottomLeft, CGRectMake(0, 0, 50, 80)),
              rectText({{0, 30}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeBottomRight, CGRectMake(5, 5, 50, 80)),
              rectText({{-45, 35}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeTopLeft, square), rectText({{0, 0}, {100, 50}}));
    EXPECT_EQ(placed(UIViewContentModeScaleToFill, square), rectText(square));
    EXPECT_EQ(placed(UIViewContentModeRedraw, square), rectText(square));
    // Equal sizes come back as the target whatever the mode.
    CGRect same = CGRectMake(3, 4, 100, 50);
    EXPECT_EQ(placed(UIViewContentModeCenter, same), rectText(same));
    EXPECT_EQ(placed(UIViewContentModeScaleAspectFill, same), rectText(same));
}

TEST(UIImageDZCategory, AspectModesCompareShapes) {
    auto image = wideImage();  // 2:1
    // A target wider still: fitting meets the top and bottom and stays inside.
    EXPECT_EQ(
        rectText(convertRect(image, CGRectMake(0, 0, 300, 50), UIViewContentModeScaleAspectFit)),
        rectText({{100, 0}, {100, 50}}));
    // Filling it covers the width and overflows the height.
    EXPECT_EQ(
        rectText(convertRect(image, CGRectMake(0, 0, 300, 50), UIViewContentModeScaleAspectFill)),
        rectText({{0, -50}, {300, 150}}));
    // A taller image in a square: fit meets the top and bottom.
    auto tall = paintedImage(CGSizeMake(20, 40), 1, [] {});
    EXPECT_EQ(
        rectText(convertRect(tall, CGRectMake(0, 0, 40, 40), UIViewContentModeScaleAspectFit)),
        rectText({{10, 0}, {20, 40}}));
}

// The pixels of a 50 × 50 canvas, white outside what the drawing covers.
Ref<UIImage> canvas(const std::function<void()>& draw) {
    return paintedImage(CGSizeMake(60, 60), 1, [&] {
        fill(UIColor::whiteColor(), CGRectMake(0, 0, 60, 60));
        draw();
    });
}

TEST(UIImageDZCategory, DrawingByContentModeProbes) {
    auto image = wideImage();
    CGRect target = CGRectMake(5, 5, 50, 50);
    // Aspect fit: the whole image, halved, in a band across the middle.
    auto fit = canvas([&] { drawInRect(image, target, UIViewContentModeScaleAspectFit); });
    EXPECT_TRUE(near(pixelAt(fit, 10, 30), kRed));
    EXPECT_TRUE(near(pixelAt(fit, 50, 30), kBlue));
    EXPECT_TRUE(near(pixelAt(fit, 30, 10), kWhite));  // above the band
    EXPECT_TRUE(near(pixelAt(fit, 30, 50), kWhite));  // below it
    // Aspect fill is drawn unclipped: the red half reaches left of the target.
    auto fill = canvas([&] { drawInRect(image, target, UIViewContentModeScaleAspectFill); });
    EXPECT_TRUE(near(pixelAt(fill, 2, 30), kRed));
    EXPECT_TRUE(near(pixelAt(fill, 58, 30), kBlue));
    // Center is the same placement, clipped to the target.
    auto center = canvas([&] { drawInRect(image, target, UIViewContentModeCenter); });
    EXPECT_TRUE(near(pixelAt(center, 2, 30), kWhite));
    EXPECT_TRUE(near(pixelAt(center, 58, 30), kWhite));
    EXPECT_TRUE(near(pixelAt(center, 10, 30), kRed));
    EXPECT_TRUE(near(pixelAt(center, 40, 30), kBlue));
    // Equal sizes: drawn into the target for every mode.
    auto exact = paintedImage(CGSizeMake(110, 60), 1, [&] {
        drawInRect(image, CGRectMake(5, 5, 100, 50), UIViewContentModeScaleAspectFill);
    });
    EXPECT_TRUE(near(pixelAt(exact, 4, 30), kClear));
    EXPECT_TRUE(near(pixelAt(exact, 5, 30), kRed));
    EXPECT_TRUE(near(pixelAt(exact, 104, 30), kBlue));
    EXPECT_TRUE(near(pixelAt(exact, 105, 30), kClear));
}

TEST(UIImageDZCategory, RoundedCorners) {
    auto red = paintedImage(CGSizeMake(10, 10), 1,
                            [] { fill(UIColor::redColor(), CGRectMake(0, 0, 10, 10)); });
    CGRect target = CGRectMake(5, 5, 50, 50);
    auto rounded = canvas([&] { drawInRect(red, target, 10, UIViewContentModeScaleToFill); });
    EXPECT_TRUE(near(pixelAt(rounded, 6, 6), kWhite));  // the corner is cut
    EXPECT_TRUE(near(pixelAt(rounded, 53, 53), kWhite));
    EXPECT_TRUE(near(pixelAt(rounded, 30, 6), kRed));  // the edge between corners is not
    EXPECT_TRUE(near(pixelAt(rounded, 30, 30), kRed));
    // A zero radius: no rounded clip, the corners are drawn.
    auto square = canvas([&] { drawInRectRadius(red, target, 0); });
    EXPECT_TRUE(near(pixelAt(square, 5, 5), kRed));
    EXPECT_TRUE(near(pixelAt(square, 54, 54), kRed));
    EXPECT_TRUE(near(pixelAt(square, 55, 55), kWhite));
}

TEST(UIImageDZCategory, RoundedRectanglePath) {
    auto bitmap = CGBitmapContextCreate(nullptr, 20, 20, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                        CGBitmapInfo(kCGImageAlphaPremultipliedFirst));
    addRoundedRectToPath(bitmap, CGRectMake(2, 3, 10, 8), 2);
    EXPECT_EQ(rectText(CGContextGetPathBoundingBox(bitmap)), rectText({{2, 3}, {10, 8}}));
    // The current transform is left as it was.
    CGAffineTransform ctm = CGContextGetCTM(bitmap);
    EXPECT_FLOAT_EQ(ctm.a, 1);
    EXPECT_FLOAT_EQ(ctm.tx, 0);
    addRoundedRectToPath(bitmap, CGRectMake(1, 1, 4, 5), 0);
    EXPECT_EQ(rectText(CGContextGetPathBoundingBox(bitmap)), rectText({{1, 1}, {4, 5}}));
}

TEST(UIImageDZCategory, TransformToSizeAndUpright) {
    auto image = wideImage();
    auto half = transformWidth(image, 50, 25, false);
    ASSERT_TRUE(half);
    EXPECT_EQ(half->pixelSize().width, 50);
    EXPECT_EQ(half->pixelSize().height, 25);
    EXPECT_TRUE(near(pixelAt(half, 5, 12), kRed, 3));
    EXPECT_TRUE(near(pixelAt(half, 45, 12), kBlue, 3));
    // An image shown turned by half a turn is drawn upright: blue comes first.
    auto down = UIImage::imageWithCGImage(image->CGImage(), 1, UIImageOrientationDown);
    auto upright = transformWidth(down, 100, 50, true);
    ASSERT_TRUE(upright);
    EXPECT_TRUE(near(pixelAt(upright, 5, 25), kBlue, 3));
    EXPECT_TRUE(near(pixelAt(upright, 95, 25), kRed, 3));
    // Without rotate the orientation is ignored.
    auto asStored = transformWidth(down, 100, 50, false);
    EXPECT_TRUE(near(pixelAt(asStored, 5, 25), kRed, 3));
    // A quarter turn: the result is as tall as asked, from the sideways bitmap.
    auto left = UIImage::imageWithCGImage(image->CGImage(), 1, UIImageOrientationLeft);
    auto turned = transformWidth(left, 50, 100, true);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->pixelSize().height, 100);
    RGBA top = pixelAt(turned, 25, 5), bottom = pixelAt(turned, 25, 95);
    EXPECT_TRUE((near(top, kRed, 3) && near(bottom, kBlue, 3)) ||
                (near(top, kBlue, 3) && near(bottom, kRed, 3)))
        << top << " " << bottom;
}

}  // namespace
