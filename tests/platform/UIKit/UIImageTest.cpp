#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UIScreen.h"

namespace {
std::vector<unsigned char> png(uint32_t w, uint32_t h) {
    std::vector<unsigned char> b = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A,
                                    0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    for (uint32_t v : {w, h})
        for (int s = 24; s >= 0; s -= 8)
            b.push_back(static_cast<unsigned char>(v >> s));
    b.insert(b.end(), {8, 6, 0, 0, 0, 0, 0, 0, 0});
    return b;
}

std::vector<unsigned char> jpeg(uint16_t w, uint16_t h) {
    // SOI, an APP0 segment to skip, then a baseline frame header.
    return {0xFF,
            0xD8,
            0xFF,
            0xE0,
            0x00,
            0x04,
            'J',
            'F',
            0xFF,
            0xC0,
            0x00,
            0x11,
            0x08,
            static_cast<unsigned char>(h >> 8),
            static_cast<unsigned char>(h),
            static_cast<unsigned char>(w >> 8),
            static_cast<unsigned char>(w),
            0x03};
}

Ref<NSData> bytesOf(const std::vector<unsigned char>& b) {
    return NSData::dataWithBytes(b.data(), static_cast<NSUInteger>(b.size()));
}

void write(const std::filesystem::path& p, const std::vector<unsigned char>& b) {
    std::ofstream(p, std::ios::binary)
        .write(reinterpret_cast<const char*>(b.data()), static_cast<std::streamsize>(b.size()));
}

// Makes a folder of the home the main bundle, holding `stem`.png (10 x 10 pixels) and its
// high-resolution form (20 x 20).
std::filesystem::path bundleWithIcon(const char* folder, const char* stem) {
    auto dir = std::filesystem::path(NSHomeDirectory()->utf8()) / folder;
    std::filesystem::create_directories(dir);
    write(dir / (std::string(stem) + ".png"), png(10, 10));
    write(dir / (std::string(stem) + "@2x.png"), png(20, 20));
    setenv("BAZAARNEST_BUNDLE", dir.c_str(), 1);
    NSBundle::resetMainBundle();
    return dir;
}
}  // namespace

TEST(UIImage, ReadsSizesFromPNGAndJPEGHeaders) {
    auto p = UIImage::imageWithData(bytesOf(png(64, 32)));
    ASSERT_TRUE(p);
    EXPECT_TRUE(CGSizeEqualToSize(p->size(), CGSizeMake(64, 32)));
    EXPECT_EQ(p->format()->utf8(), "png");
    auto j = UIImage::imageWithData(bytesOf(jpeg(640, 480)), 2);
    ASSERT_TRUE(j);
    EXPECT_TRUE(CGSizeEqualToSize(j->size(), CGSizeMake(320, 240)));
    auto turned = UIImage::imageWithImage(j, 1, UIImageOrientationRight);
    EXPECT_TRUE(CGSizeEqualToSize(turned->size(), CGSizeMake(480, 640)));
    EXPECT_FALSE(
        UIImage::imageWithData(bytesOf(std::vector<unsigned char>{'G', 'I', 'F', '8', '9', 'a'})));
    // No frame header before the end.
    EXPECT_FALSE(
        UIImage::imageWithData(bytesOf(std::vector<unsigned char>{0xFF, 0xD8, 0xFF, 0xD9})));
    auto truncated = png(1, 1);
    truncated.resize(20);
    EXPECT_FALSE(UIImage::imageWithData(bytesOf(truncated)));
    EXPECT_FALSE(UIImage::imageWithData(nullptr));
}

TEST(UIImage, NamedImagesComeFromTheBundleWithTheirHighResolutionForm) {
    auto dir = bundleWithIcon("TestBundle.app", "icon");
    UIImage::flushNamedCache();
    auto icon = UIImage::imageNamed(NS("icon.png"));
    ASSERT_TRUE(icon);
    EXPECT_FLOAT_EQ(icon->scale(), 1);
    EXPECT_EQ(UIImage::imageNamed(NS("icon.png")).get(), icon.get());  // cached
    UIScreen::mainScreen()->setScale(2);
    auto sharp = UIImage::imageNamed(NS("icon"));
    ASSERT_TRUE(sharp);
    EXPECT_FLOAT_EQ(sharp->scale(), 2);
    EXPECT_TRUE(CGSizeEqualToSize(sharp->size(), CGSizeMake(10, 10)));
    UIScreen::mainScreen()->setScale(1);
    EXPECT_FALSE(UIImage::imageNamed(NS("missing")));
    auto fromFile =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "icon@2x.png").string()));
    ASSERT_TRUE(fromFile);
    EXPECT_FLOAT_EQ(fromFile->scale(), 2);
    unsetenv("BAZAARNEST_BUNDLE");
    NSBundle::resetMainBundle();
    UIImage::flushNamedCache();
}

TEST(UIImage, NamedImagesAreForgottenBetweenTests) {
    bundleWithIcon("ScaledBundle.app", "badge");
    EXPECT_FLOAT_EQ(UIImage::imageNamed(NS("badge"))->scale(), 1);
    resetProcessWideInstances();  // the next test runs on the high-resolution screen
    UIScreen::mainScreen()->setScale(2);
    auto sharp = UIImage::imageNamed(NS("badge"));
    ASSERT_TRUE(sharp);
    EXPECT_FLOAT_EQ(sharp->scale(), 2);
    unsetenv("BAZAARNEST_BUNDLE");
    NSBundle::resetMainBundle();
}

TEST(UIImageView, PlacesTheImageByContentMode) {
    auto view =
        make<UIImageView>(static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage),
                          UIImage::imageWithData(bytesOf(png(100, 50))));
    EXPECT_TRUE(CGRectEqualToRect(view->frame(), CGRectMake(0, 0, 100, 50)));
    view->setFrame(CGRectMake(0, 0, 200, 200));
    view->setContentMode(UIViewContentModeScaleAspectFit);
    EXPECT_TRUE(CGRectEqualToRect(view->imageRect(), CGRectMake(0, 50, 200, 100)));
    view->setContentMode(UIViewContentModeScaleAspectFill);
    EXPECT_TRUE(CGRectEqualToRect(view->imageRect(), CGRectMake(-100, 0, 400, 200)));
    view->setContentMode(UIViewContentModeBottomRight);
    EXPECT_TRUE(CGRectEqualToRect(view->imageRect(), CGRectMake(100, 150, 100, 50)));
}

TEST(UIColor, ComponentsNamedColoursAndPatterns) {
    CGFloat r, g, b, a;
    ASSERT_TRUE(UIColor::orangeColor()->getRed(&r, &g, &b, &a));
    EXPECT_FLOAT_EQ(g, 0.5f);
    EXPECT_EQ(UIColor::redColor().get(), UIColor::redColor().get());
    auto c = UIColor::colorWithRed(2, -1, 0.5f, 1);  // clamped
    EXPECT_FLOAT_EQ(c->red(), 1);
    EXPECT_FLOAT_EQ(c->green(), 0);
    EXPECT_TRUE(UIColor::colorWithWhite(0, 1)->isEqual(UIColor::blackColor()));
    EXPECT_FLOAT_EQ(UIColor::blueColor()->colorWithAlphaComponent(0.25f)->alpha(), 0.25f);
    auto hsb = UIColor::colorWithHue(1.0f / 3, 1, 1, 1);
    EXPECT_NEAR(hsb->green(), 1, 1e-6);
    EXPECT_NEAR(hsb->red(), 0, 1e-6);
    auto image = UIImage::imageWithData(bytesOf(png(4, 4)));
    auto pattern = UIColor::colorWithPatternImage(image);
    EXPECT_EQ(pattern->patternImage().get(), image.get());
    EXPECT_FALSE(pattern->getRed(&r, &g, &b, &a));
    EXPECT_EQ(UIColor::whiteColor()->description()->utf8(), "UIDeviceWhiteColorSpace 1 1");
}
