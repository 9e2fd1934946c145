// The image operations: alpha, borders, resizing with orientation, content modes, rounded
// corners.
#include <gtest/gtest.h>

#include "Classes/RoundImageView.h"
#include "Classes/UIImage+Alpha.h"
#include "Classes/UIImage+Resize.h"
#include "Classes/UIImage+RoundedCorner.h"
#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "Foundation/NSData.h"
#include "Foundation/NSException.h"
#include "platform/UIKit/DrawingTesting.h"

namespace {

// An opaque image, red on its left half and blue on its right, with a green top row.
Ref<UIImage> halves(CGFloat width, CGFloat height) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), true, 1);
    auto ctx = UIGraphicsGetCurrentContext();
    CGContextSetRGBFillColor(ctx, 1, 0, 0, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, width / 2, height));
    CGContextSetRGBFillColor(ctx, 0, 0, 1, 1);
    CGContextFillRect(ctx, CGRectMake(width / 2, 0, width / 2, height));
    CGContextSetRGBFillColor(ctx, 0, 1, 0, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, width, 1));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

Ref<UIImage> jpeg(UIImage* image) {
    return UIImage::imageWithData(UIImageJPEGRepresentation(image, 1));
}

}  // namespace

TEST(ImageAlpha, AnOpaqueJpegGetsAnAlphaChannelAndAnImageWithAlphaIsKept) {
    auto photo = jpeg(halves(40, 20));
    ASSERT_TRUE(photo && photo->CGImage());
    EXPECT_FALSE(UIImageAlpha::hasAlpha(photo));
    auto withAlpha = UIImageAlpha::imageWithAlpha(photo);
    EXPECT_TRUE(UIImageAlpha::hasAlpha(withAlpha));
    EXPECT_EQ(CGImageGetAlphaInfo(withAlpha->CGImage()), kCGImageAlphaPremultipliedFirst);
    EXPECT_EQ(withAlpha->pixelSize().width, 40);
    EXPECT_TRUE(near(pixelAt(withAlpha, 5, 10), kRed, 12));

    EXPECT_EQ(UIImageAlpha::imageWithAlpha(withAlpha).get(), withAlpha.get());
}

TEST(ImageAlpha, ABorderOfFiveAroundAHundredByFiftyIsTransparent) {
    auto bordered = UIImageAlpha::transparentBorderImage(halves(100, 50), 5);
    ASSERT_TRUE(bordered->CGImage());
    EXPECT_EQ(bordered->pixelSize().width, 110);
    EXPECT_EQ(bordered->pixelSize().height, 60);
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(pixelAt(bordered, i, 30).a, 0) << i;
        EXPECT_EQ(pixelAt(bordered, 109 - i, 30).a, 0) << i;
        EXPECT_EQ(pixelAt(bordered, 55, i).a, 0) << i;
        EXPECT_EQ(pixelAt(bordered, 55, 59 - i).a, 0) << i;
    }
    EXPECT_TRUE(near(pixelAt(bordered, 10, 30), kRed));
    EXPECT_TRUE(near(pixelAt(bordered, 100, 30), kBlue));

    auto mask = UIImageAlpha::newBorderMask(2, CGSizeMake(10, 6));
    ASSERT_TRUE(mask);
    EXPECT_TRUE(near(pixelAt(mask, 0, 0), kBlack));
    EXPECT_TRUE(near(pixelAt(mask, 1, 3), kBlack));
    EXPECT_TRUE(near(pixelAt(mask, 2, 2), kWhite));
    EXPECT_TRUE(near(pixelAt(mask, 7, 3), kWhite));
    EXPECT_TRUE(near(pixelAt(mask, 8, 3), kBlack));
}

TEST(ImageResize, ContentModesFillOrFitAndAnyOtherModeRaises) {
    auto image = halves(200, 100);
    auto filled = UIImageResize::resizedImageWithContentMode(
        image, UIViewContentModeScaleAspectFill, CGSizeMake(50, 50), kCGInterpolationHigh);
    EXPECT_EQ(filled->size().width, 100);
    EXPECT_EQ(filled->size().height, 50);
    auto fitted = UIImageResize::resizedImageWithContentMode(
        image, UIViewContentModeScaleAspectFit, CGSizeMake(50, 50), kCGInterpolationHigh);
    EXPECT_EQ(fitted->size().width, 50);
    EXPECT_EQ(fitted->size().height, 25);
    // Upright and unmirrored: red still left, the green row still on top.
    EXPECT_TRUE(near(pixelAt(filled, 10, 25), kRed, 20));
    EXPECT_TRUE(near(pixelAt(filled, 90, 25), kBlue, 20));

    try {
        UIImageResize::resizedImageWithContentMode(image, UIViewContentModeScaleToFill,
                                                   CGSizeMake(50, 50), kCGInterpolationHigh);
        FAIL() << "mode 0 did not raise";
    } catch (ExceptionRaised& e) {
        EXPECT_EQ(e.exception->name()->utf8(), NSInvalidArgumentException->utf8());
        EXPECT_EQ(e.exception->reason()->utf8(), "Unsupported content mode: 0");
    }
}

TEST(ImageResize, APortraitPhotoComesOutUprightAndMirroringIsUndone) {
    // The camera stores a portrait photo lying on its side: orientation right, a 400 x 300
    // bitmap whose top (green) row is the photo's right edge.
    auto stored = halves(400, 300);
    auto portrait = UIImage::imageWithCGImage(stored->CGImage(), 1, UIImageOrientationRight);
    ASSERT_EQ(portrait->size().width, 300);
    auto upright =
        UIImageResize::resizedImage(portrait, CGSizeMake(300, 400), kCGInterpolationHigh);
    ASSERT_EQ(upright->pixelSize().width, 300);
    ASSERT_EQ(upright->pixelSize().height, 400);
    EXPECT_EQ(upright->imageOrientation(), UIImageOrientationUp);
    // Turned a quarter clockwise: the stored left half (red) is the top, the green row the
    // right edge.
    EXPECT_TRUE(near(pixelAt(upright, 150, 50), kRed, 20));
    EXPECT_TRUE(near(pixelAt(upright, 150, 350), kBlue, 20));
    EXPECT_TRUE(near(pixelAt(upright, 299, 200), kGreen, 20));

    auto mirrored = UIImage::imageWithCGImage(stored->CGImage(), 1, UIImageOrientationUpMirrored);
    auto unmirrored =
        UIImageResize::resizedImage(mirrored, CGSizeMake(400, 300), kCGInterpolationHigh);
    EXPECT_TRUE(near(pixelAt(unmirrored, 50, 150), kBlue, 20));
    EXPECT_TRUE(near(pixelAt(unmirrored, 350, 150), kRed, 20));

    auto cropped = UIImageResize::croppedImage(stored, CGRectMake(190, 10, 20, 10));
    EXPECT_EQ(cropped->pixelSize().width, 20);
    EXPECT_TRUE(near(pixelAt(cropped, 2, 5), kRed));
    EXPECT_TRUE(near(pixelAt(cropped, 17, 5), kBlue));
}

TEST(ImageRoundedCorner, CornersAreCutByTheRadiusAndSizeZeroKeepsThemSquare) {
    auto image = halves(60, 40);
    auto rounded = UIImageRoundedCorner::roundedCornerImage(image, 10, 0);
    EXPECT_EQ(rounded->pixelSize().width, 60);
    EXPECT_EQ(pixelAt(rounded, 0, 39).a, 0);
    EXPECT_EQ(pixelAt(rounded, 59, 0).a, 0);
    EXPECT_TRUE(near(pixelAt(rounded, 30, 20), kRed) || near(pixelAt(rounded, 30, 20), kBlue));
    EXPECT_TRUE(near(pixelAt(rounded, 1, 20), kRed));

    auto square = UIImageRoundedCorner::roundedCornerImage(image, 0, 0);
    EXPECT_EQ(pixelAt(square, 0, 39).a, 255);
    EXPECT_EQ(pixelAt(square, 59, 0).a, 255);

    // A border inset: the outer pixels go.
    auto inset = UIImageRoundedCorner::roundedCornerImage(image, 0, 3);
    EXPECT_EQ(pixelAt(inset, 1, 20).a, 0);
    EXPECT_EQ(pixelAt(inset, 4, 20).a, 255);

    auto thumbnail = UIImageResize::thumbnailImage(halves(200, 100), 50, 2, 6, kCGInterpolationLow);
    EXPECT_EQ(thumbnail->pixelSize().width, 54);
    EXPECT_EQ(thumbnail->pixelSize().height, 54);
    EXPECT_EQ(pixelAt(thumbnail, 0, 27).a, 0);
    EXPECT_GT(pixelAt(thumbnail, 27, 27).a, 200);
}

TEST(ImageOperations, AnImageWithoutABitmapGivesAnEmptyImage) {
    auto nothing = alloc<UIImage>();
    EXPECT_FALSE(UIImageAlpha::hasAlpha(nothing));
    EXPECT_EQ(UIImageAlpha::imageWithAlpha(nothing)->size().width, 0);
    EXPECT_EQ(UIImageRoundedCorner::roundedCornerImage(nothing, 10, 0)->size().width, 0);
    EXPECT_EQ(
        UIImageResize::resizedImage(nothing, CGSizeMake(10, 10), kCGInterpolationLow)->size().width,
        0);
}

TEST(RoundImageView, ShowsARoundedCopyAndAnEmptyCopyClearsTheView) {
    auto view = make<RoundImageView>(&DZImageView::initWithFrame, CGRectMake(0, 0, 60, 40));
    view->setImage(halves(60, 40));
    auto shown = view->image();
    ASSERT_TRUE(shown);
    EXPECT_EQ(pixelAt(shown, 0, 0).a, 0);
    EXPECT_TRUE(near(pixelAt(shown, 30, 20), kBlue));

    // Not the unrounded image: nothing.
    view->setImage(alloc<UIImage>());
    EXPECT_FALSE(view->image());
    view->setImage(halves(60, 40));
    view->setImage(nullptr);
    EXPECT_FALSE(view->image());
}
