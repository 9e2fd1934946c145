#include <gtest/gtest.h>

#include "CGTesting.h"

TEST(CGBitmapContext, LayoutsItDrawsIntoAndOnesItRefuses) {
    auto rgb = CGColorSpaceCreateDeviceRGB();
    auto grey = CGColorSpaceCreateDeviceGray();
    // RGBA bytes, premultiplied last.
    uint8_t rgba[4 * 4 * 4] = {};
    auto a = CGBitmapContextCreate(rgba, 4, 4, 8, 16, rgb, kCGImageAlphaPremultipliedLast);
    ASSERT_TRUE(a);
    CGContextSetRGBFillColor(a, 1, 0, 0, 0.5f);
    CGContextFillRect(a, CGRectMake(0, 0, 4, 4));
    EXPECT_NEAR(rgba[0], 128, 1);  // red, premultiplied
    EXPECT_EQ(rgba[1], 0);
    EXPECT_NEAR(rgba[3], 128, 1);  // alpha last
    // Grey without alpha, rows of 3 bytes (not a multiple of 4).
    uint8_t g[3 * 2] = {};
    auto gc = CGBitmapContextCreate(g, 3, 2, 8, 3, grey, kCGImageAlphaNone);
    ASSERT_TRUE(gc);
    CGContextSetGrayFillColor(gc, 1, 1);
    CGContextFillRect(gc, CGRectMake(1, 0, 2, 2));
    EXPECT_EQ(g[0], 0);
    EXPECT_EQ(g[1], 255);
    EXPECT_EQ(g[5], 255);
    // Alpha only.
    auto m = CGBitmapContextCreate(nullptr, 5, 5, 8, 0, nullptr, kCGImageAlphaOnly);
    ASSERT_TRUE(m);
    CGContextFillRect(m, CGRectMake(0, 0, 2, 5));
    auto* md = static_cast<uint8_t*>(CGBitmapContextGetData(m));
    EXPECT_EQ(md[0], 255);
    EXPECT_EQ(md[4], 0);
    EXPECT_EQ(CGBitmapContextGetBytesPerRow(m) % 4, 0u);
    // What the caller writes into the memory is seen by the next drawing call.
    rgba[4 * 15 + 3] = 255;
    rgba[4 * 15 + 1] = 255;  // last pixel opaque green... then blended over
    CGContextSetBlendMode(a, kCGBlendModeDestinationOver);
    CGContextFillRect(a, CGRectMake(0, 0, 4, 4));
    EXPECT_EQ(rgba[4 * 15 + 1], 255);
    // Refused: straight alpha, 16 bits, a grey space with alpha.
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, rgb, kCGImageAlphaLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 16, 0, rgb, kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 4, 4, 8, 0, grey, kCGImageAlphaPremultipliedLast));
    EXPECT_FALSE(CGBitmapContextCreate(nullptr, 0, 4, 8, 0, rgb, kCGImageAlphaPremultipliedLast));
}

TEST(CGImage, ImagesFromContextsAreSnapshots) {
    auto c = makeContext(3, 3);
    CGContextSetRGBFillColor(c, 0, 1, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 3, 3));
    auto image = CGBitmapContextCreateImage(c);
    CGContextClearRect(c, CGRectMake(0, 0, 3, 3));
    ASSERT_TRUE(image);
    EXPECT_EQ(CGImageGetWidth(image), 3u);
    EXPECT_EQ(CGImageGetBitsPerPixel(image), 32u);
    EXPECT_EQ(CGImageGetAlphaInfo(image), kCGImageAlphaPremultipliedFirst);
    auto bytes = CGDataProviderCopyData(CGImageGetDataProvider(image));
    const auto* p = static_cast<const uint8_t*>(bytes->bytes());
    EXPECT_EQ(p[1], 255);  // green of the first BGRA pixel
    EXPECT_EQ(p[3], 255);
}

TEST(CGImage, CroppingTakesPixelCoordinatesFromTheTop) {
    auto image = makeImage(10, 10, [](size_t x, size_t y) {
        return Pixel{int(x * 20), int(y * 20), 0, 255};
    });
    auto part = CGImageCreateWithImageInRect(image, CGRectMake(2.5f, 3, 4, 20));
    ASSERT_TRUE(part);
    EXPECT_EQ(CGImageGetWidth(part), 5u);   // made integral: 2...7
    EXPECT_EQ(CGImageGetHeight(part), 7u);  // cut at the bottom edge
    auto c = makeContext(5, 7);
    CGContextDrawImage(c, CGRectMake(0, 0, 5, 7), part);
    EXPECT_TRUE(near(pixelAt(c, 0, 0), 40, 60, 0, 255));
    EXPECT_FALSE(CGImageCreateWithImageInRect(image, CGRectMake(20, 20, 5, 5)));
}

TEST(CGImage, MaskingWithAGreyImageMakesABorderTransparent) {
    // The border mask of the image helpers: black all round, white inside.
    auto grey = CGColorSpaceCreateDeviceGray();
    auto maskCtx = CGBitmapContextCreate(nullptr, 12, 12, 8, 0, grey, kCGImageAlphaNone);
    CGContextSetGrayFillColor(maskCtx, 0, 1);
    CGContextFillRect(maskCtx, CGRectMake(0, 0, 12, 12));
    CGContextSetGrayFillColor(maskCtx, 1, 1);
    CGContextFillRect(maskCtx, CGRectMake(2, 2, 8, 8));
    auto mask = CGBitmapContextCreateImage(maskCtx);
    auto image = makeImage(12, 12, [](size_t, size_t) { return Pixel{255, 0, 0, 255}; });
    auto masked = CGImageCreateWithMask(image, mask);
    ASSERT_TRUE(masked);
    auto c = makeContext(12, 12);
    CGContextDrawImage(c, CGRectMake(0, 0, 12, 12), masked);
    EXPECT_EQ(pixelAt(c, 0, 0).a, 0);
    EXPECT_EQ(pixelAt(c, 1, 6).a, 0);
    EXPECT_TRUE(near(pixelAt(c, 6, 6), 255, 0, 0, 255));
    // An image with alpha cannot be a mask.
    EXPECT_FALSE(CGImageCreateWithMask(image, image));
}

TEST(CGImage, ImageMaskPaintsTheFillColour) {
    uint8_t bits[2] = {0x0F, 0x0F};  // 1-bit rows: left half 0 (paint), right half 1
    auto data = NSData::dataWithBytes(bits, 2);
    auto mask =
        CGImageMaskCreate(8, 2, 1, 1, 1, CGDataProviderCreateWithCFData(data), nullptr, false);
    ASSERT_TRUE(mask);
    EXPECT_TRUE(CGImageIsMask(mask));
    auto c = makeContext(8, 2);
    CGContextSetInterpolationQuality(c, kCGInterpolationNone);
    CGContextSetRGBFillColor(c, 0, 0, 1, 1);
    CGContextDrawImage(c, CGRectMake(0, 0, 8, 2), mask);
    EXPECT_TRUE(near(pixelAt(c, 1, 0), 0, 0, 255, 255));
    EXPECT_EQ(pixelAt(c, 6, 0).a, 0);
}

TEST(CGImage, ProvidersCallTheirReleaseOnce) {
    static int released;
    released = 0;
    static uint8_t pixels[4] = {1, 2, 3, 4};
    {
        auto provider =
            CGDataProviderCreateWithData(nullptr, pixels, 4, [](void*, const void* d, size_t n) {
                EXPECT_EQ(d, pixels);
                EXPECT_EQ(n, 4u);
                ++released;
            });
        auto image = CGImageCreate(1, 1, 8, 32, 4, CGColorSpaceCreateDeviceRGB(),
                                   kCGImageAlphaPremultipliedLast, provider, nullptr, false,
                                   kCGRenderingIntentDefault);
        ASSERT_TRUE(image);
        EXPECT_EQ(released, 0);
        // Too few bytes for the layout.
        EXPECT_FALSE(CGImageCreate(2, 2, 8, 32, 8, CGColorSpaceCreateDeviceRGB(),
                                   kCGImageAlphaPremultipliedLast, provider, nullptr, false,
                                   kCGRenderingIntentDefault));
    }
    EXPECT_EQ(released, 1);
}

TEST(CGLayer, DrawnContentScalesIntoTheRect) {
    auto c = makeContext(20, 20, true);
    auto layer = CGLayerCreateWithContext(c, CGSizeMake(10, 10), nullptr);
    ASSERT_TRUE(layer);
    auto lc = CGLayerGetContext(layer);
    CGContextSetRGBFillColor(lc, 1, 0, 0, 1);
    CGContextFillRect(lc, CGRectMake(0, 5, 10, 5));  // the top half, y up
    CGContextDrawLayerInRect(c, CGRectMake(0, 0, 20, 20), layer);
    // The flipped context shows the layer upside down, like an image.
    EXPECT_TRUE(near(pixelAt(c, 10, 15), 255, 0, 0, 255));
    EXPECT_EQ(pixelAt(c, 10, 4).a, 0);
}

TEST(CGPath, BoundsContainmentAndCopies) {
    auto p = CGPathCreateMutable();
    CGPathMoveToPoint(p, nullptr, 0, 0);
    CGPathAddCurveToPoint(p, nullptr, 0, 10, 10, 10, 10, 0);
    CGRect withControls = CGPathGetBoundingBox(p);
    CGRect tight = CGPathGetPathBoundingBox(p);
    EXPECT_FLOAT_EQ(withControls.size.height, 10);
    EXPECT_NEAR(tight.size.height, 7.5, 1e-3);
    CGPathCloseSubpath(p);
    EXPECT_TRUE(CGPathContainsPoint(p, nullptr, CGPointMake(5, 3), false));
    EXPECT_FALSE(CGPathContainsPoint(p, nullptr, CGPointMake(5, 9), false));
    auto t = CGAffineTransformMakeTranslation(100, 0);
    auto q = CGPathCreateMutable();
    CGPathAddRoundedRect(q, &t, CGRectMake(0, 0, 20, 10), 4, 4);
    CGRect box = CGPathGetBoundingBox(q);
    EXPECT_FLOAT_EQ(box.origin.x, 100);
    EXPECT_FALSE(CGPathContainsPoint(q, nullptr, CGPointMake(100.5f, 0.5f), false));
    auto copy = CGPathCreateCopy(q);
    EXPECT_TRUE(CGPathEqualToPath(copy, q));
    CGPathAddLineToPoint(q, nullptr, 0, 0);
    EXPECT_FALSE(CGPathEqualToPath(copy, q));
    CGRect r;
    EXPECT_TRUE(CGPathIsRect(CGPathCreateWithRect(CGRectMake(1, 2, 3, 4), nullptr), &r));
    EXPECT_FLOAT_EQ(r.size.height, 4);
    EXPECT_TRUE(CGRectIsNull(CGPathGetBoundingBox(CGPathCreateMutable())));
}

TEST(CGPath, ReplayedUnderTheCurrentTransform) {
    auto p = CGPathCreateMutable();
    CGPathAddRect(p, nullptr, CGRectMake(0, 0, 4, 4));
    auto c = makeContext(20, 20, true);
    CGContextTranslateCTM(c, 10, 10);
    CGContextScaleCTM(c, 2, 2);
    CGContextAddPath(c, p);
    CGContextFillPath(c);
    EXPECT_EQ(pixelAt(c, 15, 15).a, 255);
    EXPECT_EQ(pixelAt(c, 5, 5).a, 0);
    // Arcs: a full circle whichever way round.
    auto circle = CGPathCreateMutable();
    CGPathAddArc(circle, nullptr, 0, 0, 10, 0, 2 * 3.14159265f, true);
    CGRect b = CGPathGetPathBoundingBox(circle);
    EXPECT_NEAR(b.size.width, 20, 0.01);
    EXPECT_NEAR(b.size.height, 20, 0.01);
}
