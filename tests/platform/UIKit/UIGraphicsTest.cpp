#include <gtest/gtest.h>

#include <filesystem>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColor.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIScreen.h"
#include "platform/UIKit/DrawingTesting.h"

TEST(UIGraphics, ImageContextsStackAndGiveImagesAtTheirScale) {
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);

    UIGraphicsBeginImageContextWithOptions(CGSizeMake(10, 5), false, 2);
    auto outer = UIGraphicsGetCurrentContext();
    ASSERT_TRUE(outer);
    EXPECT_EQ(CGBitmapContextGetWidth(outer), 20u);
    EXPECT_EQ(CGBitmapContextGetHeight(outer), 10u);
    // Points, origin at the top-left: the top-left point covers 2 x 2 pixels.
    fill(UIColor::redColor(), CGRectMake(0, 0, 1, 1));

    // A pushed context is current until popped; ending an image context does not pop it.
    auto other = CGBitmapContextCreate(nullptr, 4, 4, 8, 0, CGColorSpaceCreateDeviceRGB(),
                                       CGBitmapInfo(kCGImageAlphaPremultipliedFirst));
    UIGraphicsPushContext(other);
    EXPECT_EQ(UIGraphicsGetCurrentContext().get(), other.get());
    EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext().get(), other.get());
    UIGraphicsPopContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext().get(), outer.get());

    // An empty image context makes no bitmap, and its end does not end the outer one.
    UIGraphicsBeginImageContext(CGSizeMake(0, 7));
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    EXPECT_EQ(UIGraphicsGetImageFromCurrentImageContext(), nullptr);
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext().get(), outer.get());

    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    EXPECT_EQ(UIGraphicsGetCurrentContext(), nullptr);
    ASSERT_TRUE(image);
    EXPECT_FLOAT_EQ(image->scale(), 2);
    EXPECT_TRUE(CGSizeEqualToSize(image->size(), CGSizeMake(10, 5)));
    EXPECT_TRUE(near(pixelAt(image, 1, 1), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 2, 1), kClear, 0));
    EXPECT_TRUE(near(pixelAt(image, 1, 2), kClear, 0));

    // Scale 0 is the screen's; fractional sizes round up to whole pixels.
    UIScreen::mainScreen()->setScale(2);
    auto screenScaled = paintedImage(CGSizeMake(2.25f, 1), 0, [] {});
    UIScreen::mainScreen()->setScale(1);
    EXPECT_FLOAT_EQ(screenScaled->scale(), 2);
    EXPECT_EQ(CGImageGetWidth(screenScaled->CGImage()), 5u);
}

TEST(UIGraphics, RectFillCopiesAndRectFrameStaysInside) {
    auto image = paintedImage(CGSizeMake(10, 10), 1, [] {
        fill(UIColor::blueColor(), CGRectMake(0, 0, 10, 10));
        // Filling copies the colour, alpha included, rather than blending it.
        fill(UIColor::colorWithRed(1, 0, 0, 0.5f), CGRectMake(0, 0, 2, 2));
        UIColor::greenColor()->setFill();
        UIRectFrame(CGRectMake(4, 4, 5, 5));
        // With a blend mode, it blends.
        UIColor::colorWithWhite(1, 0.5f)->setFill();
        UIRectFillUsingBlendMode(CGRectMake(8, 0, 2, 2), kCGBlendModeNormal);
    });
    EXPECT_TRUE(near(pixelAt(image, 1, 1), RGBA{255, 0, 0, 128}, 1));
    EXPECT_TRUE(near(pixelAt(image, 4, 4), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(image, 8, 6), kGreen, 0));  // right edge: the last column inside
    EXPECT_TRUE(near(pixelAt(image, 6, 8), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(image, 6, 6), kBlue, 0));  // the middle stays
    EXPECT_TRUE(near(pixelAt(image, 9, 6), kBlue, 0));  // nothing outside
    EXPECT_TRUE(near(pixelAt(image, 9, 1), RGBA{128, 128, 255, 255}, 2));
}

TEST(UIGraphics, ColoursSetTheContextsPaint) {
    auto image = paintedImage(CGSizeMake(6, 2), 1, [] {
        auto ctx = UIGraphicsGetCurrentContext();
        UIColor::colorWithWhite(0.5f, 1)->set();
        CGContextFillRect(ctx, CGRectMake(0, 0, 2, 2));
        UIColor::redColor()->setFill();
        UIColor::blueColor()->setStroke();
        CGContextFillRect(ctx, CGRectMake(2, 0, 2, 2));
        CGContextSetLineWidth(ctx, 2);
        CGContextStrokeRect(ctx, CGRectMake(5, -1, 2, 4));  // its left half covers column 4
    });
    EXPECT_TRUE(near(pixelAt(image, 1, 1), RGBA{128, 128, 128, 255}, 1));
    EXPECT_TRUE(near(pixelAt(image, 3, 1), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 4, 1), kBlue, 0));

    // CGColor: grey colours are grey, others RGB, pattern colours tile their image.
    auto grey = UIColor::colorWithWhite(0.25f, 0.5f)->CGColor();
    ASSERT_EQ(CGColorGetNumberOfComponents(grey), 2u);
    EXPECT_FLOAT_EQ(CGColorGetComponents(grey)[0], 0.25f);
    auto orange = UIColor::orangeColor()->CGColor();
    ASSERT_EQ(CGColorGetNumberOfComponents(orange), 4u);
    EXPECT_FLOAT_EQ(CGColorGetComponents(orange)[1], 0.5f);
    EXPECT_EQ(UIColor::orangeColor()->CGColor().get(), orange.get());  // made once

    auto tile = paintedImage(CGSizeMake(2, 1), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 1, 1));
        fill(UIColor::greenColor(), CGRectMake(1, 0, 1, 1));
    });
    auto pattern = paintedImage(CGSizeMake(6, 2), 1, [&] {
        UIColor::colorWithPatternImage(tile)->setFill();
        CGContextFillRect(UIGraphicsGetCurrentContext(), CGRectMake(0, 0, 6, 2));
    });
    EXPECT_TRUE(near(pixelAt(pattern, 2, 1), kRed, 0));
    EXPECT_TRUE(near(pixelAt(pattern, 5, 0), kGreen, 0));

    // Without a context, setting a colour does nothing (and does not crash).
    UIColor::redColor()->set();
}

TEST(UIImageDrawing, DrawsScaledWithBlendModeAndAlpha) {
    auto red = paintedImage(CGSizeMake(2, 2), 1,
                            [] { fill(UIColor::redColor(), CGRectMake(0, 0, 2, 2)); });
    auto white = paintedImage(CGSizeMake(1, 1), 1,
                              [] { fill(UIColor::whiteColor(), CGRectMake(0, 0, 1, 1)); });
    auto image = paintedImage(CGSizeMake(10, 10), 1, [&] {
        fill(UIColor::blackColor(), CGRectMake(0, 0, 10, 10));
        red->drawInRect(CGRectMake(0, 0, 6, 4));  // scaled up
        red->drawAtPoint(CGPointMake(8, 8));      // at its own size
        white->drawInRect(CGRectMake(0, 6, 2, 2), kCGBlendModeNormal, 0.5f);
        white->drawInRect(CGRectMake(4, 6, 2, 2), kCGBlendModeMultiply, 1);
    });
    EXPECT_TRUE(near(pixelAt(image, 5, 3), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 6, 3), kBlack, 0));
    EXPECT_TRUE(near(pixelAt(image, 9, 9), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 7, 9), kBlack, 0));
    EXPECT_TRUE(near(pixelAt(image, 1, 7), RGBA{128, 128, 128, 255}, 2));
    EXPECT_TRUE(near(pixelAt(image, 5, 7), kBlack, 0));  // white times black
}

TEST(UIImageDrawing, StretchableImagesKeepTheirCaps) {
    // 5 x 5: a red frame 2 wide around one blue pixel.
    auto framed = paintedImage(CGSizeMake(5, 5), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 5, 5));
        fill(UIColor::blueColor(), CGRectMake(2, 2, 1, 1));
    });
    auto stretchy = framed->stretchableImageWithLeftCapWidth(2, 2);
    auto image = paintedImage(CGSizeMake(20, 12), 1,
                              [&] { stretchy->drawInRect(CGRectMake(0, 0, 20, 12)); });
    EXPECT_TRUE(near(pixelAt(image, 1, 1), kRed, 0));
    EXPECT_TRUE(near(pixelAt(image, 1, 6), kRed, 0));    // the left cap only stretches down
    EXPECT_TRUE(near(pixelAt(image, 18, 10), kRed, 0));  // the bottom-right cap, unscaled
    EXPECT_TRUE(near(pixelAt(image, 3, 3), kBlue, 0));   // the middle starts right after the caps
    EXPECT_TRUE(near(pixelAt(image, 17, 8), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(image, 18, 8), kRed, 0));

    // Tiled as a pattern from the origin.
    auto tiled = paintedImage(CGSizeMake(12, 6), 1,
                              [&] { framed->drawAsPatternInRect(CGRectMake(1, 0, 11, 6)); });
    EXPECT_TRUE(near(pixelAt(tiled, 0, 2), kClear, 0));  // outside the rectangle
    EXPECT_TRUE(near(pixelAt(tiled, 2, 2), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(tiled, 7, 2), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(tiled, 7, 5), kRed, 0));
}

TEST(UIImageDrawing, HighResolutionResourcesDrawAtTheirPointSize) {
    auto dir = std::filesystem::path(NSHomeDirectory()->utf8()) / "DrawBundle.app";
    std::filesystem::create_directories(dir);
    auto plain = paintedImage(CGSizeMake(2, 2), 1,
                              [] { fill(UIColor::redColor(), CGRectMake(0, 0, 2, 2)); });
    auto sharp = paintedImage(CGSizeMake(2, 2), 2, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 2, 2));
        fill(UIColor::blueColor(), CGRectMake(0, 0, 0.5f, 0.5f));  // one pixel of four
    });
    UIImagePNGRepresentation(plain)->writeToFile(NSString::fromUTF8((dir / "dot.png").string()),
                                                 true);
    UIImagePNGRepresentation(sharp)->writeToFile(NSString::fromUTF8((dir / "dot@2x.png").string()),
                                                 true);
    setenv("BAZAARNEST_BUNDLE", dir.c_str(), 1);
    NSBundle::resetMainBundle();
    UIImage::flushNamedCache();

    UIScreen::mainScreen()->setScale(2);
    auto dot = UIImage::imageNamed(NS("dot"));
    ASSERT_TRUE(dot);
    EXPECT_FLOAT_EQ(dot->scale(), 2);
    EXPECT_TRUE(CGSizeEqualToSize(dot->size(), CGSizeMake(2, 2)));
    // In a 2x context, each of its pixels lands on one pixel.
    auto drawn = paintedImage(CGSizeMake(4, 4), 0, [&] { dot->drawAtPoint(CGPointMake(1, 1)); });
    UIScreen::mainScreen()->setScale(1);
    EXPECT_TRUE(near(pixelAt(drawn, 2, 2), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(drawn, 3, 2), kRed, 0));
    EXPECT_TRUE(near(pixelAt(drawn, 5, 5), kRed, 0));
    EXPECT_TRUE(near(pixelAt(drawn, 6, 6), kClear, 0));

    UIImage::flushNamedCache();
    auto low = UIImage::imageNamed(NS("dot"));
    ASSERT_TRUE(low);
    EXPECT_FLOAT_EQ(low->scale(), 1);
    unsetenv("BAZAARNEST_BUNDLE");
    NSBundle::resetMainBundle();
    UIImage::flushNamedCache();
}
