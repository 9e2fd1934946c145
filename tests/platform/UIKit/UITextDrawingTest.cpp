#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "Foundation/NSString.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIStringDrawing.h"

namespace {
// An RGBA bitmap in UIKit's coordinates (origin top-left, one unit a pixel), made current.
class Canvas {
public:
    Canvas(int width, int height)
        : width_(width), height_(height), pixels_(static_cast<size_t>(width * height * 4)) {
        auto rgb = CGColorSpaceCreateDeviceRGB();
        context_ = CGBitmapContextCreate(pixels_.data(), width, height, 8, width * 4, rgb,
                                         kCGImageAlphaPremultipliedLast);
        CGContextTranslateCTM(context_, 0, height);
        CGContextScaleCTM(context_, 1, -1);
        UIGraphicsPushContext(context_);
    }
    ~Canvas() { UIGraphicsPopContext(); }
    CGContextRef context() { return context_; }

    // Red, green, blue, alpha (premultiplied) at a pixel; row 0 is the top.
    const uint8_t* pixel(int x, int y) {
        return &pixels_[static_cast<size_t>((y * width_ + x) * 4)];
    }
    bool inked(int x, int y) { return pixel(x, y)[3] > 0; }
    int inkInside(CGRect r) {
        int n = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (inked(x, y) && CGRectContainsPoint(r, CGPointMake(x + 0.5f, y + 0.5f))) ++n;
        return n;
    }
    int inkOutside(CGRect r) {
        int all = 0;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                all += inked(x, y);
        return all - inkInside(r);
    }
    // The smallest rectangle of pixels holding all ink (null when there is none).
    CGRect inkBounds(bool (*keep)(const uint8_t*) = nullptr) {
        int minX = width_, minY = height_, maxX = -1, maxY = -1;
        for (int y = 0; y < height_; ++y)
            for (int x = 0; x < width_; ++x)
                if (inked(x, y) && (!keep || keep(pixel(x, y)))) {
                    minX = std::min(minX, x);
                    maxX = std::max(maxX, x);
                    minY = std::min(minY, y);
                    maxY = std::max(maxY, y);
                }
        if (maxX < 0) return CGRectNull;
        return CGRectMake(minX, minY, maxX - minX + 1, maxY - minY + 1);
    }

private:
    int width_, height_;
    std::vector<uint8_t> pixels_;
    Ref<CGContext> context_;
};

class TextDrawing : public ::testing::Test {
protected:
    UITextMeasurerScope scope{UIFontTextMeasurer::shared()};
};
}  // namespace

TEST_F(TextDrawing, InkStaysInsideTheRectangleInTheFillColour) {
    Canvas canvas(200, 60);
    CGContextSetRGBFillColor(canvas.context(), 1, 0, 0, 1);
    CGRect rect = CGRectMake(20, 10, 150, 30);
    CGSize s = drawInRect(NS("Bazaar"), rect, UIFont::boldSystemFontOfSize(20));
    EXPECT_GT(s.width, 40);
    EXPECT_GT(canvas.inkInside(rect), 100);
    EXPECT_EQ(canvas.inkOutside(rect), 0);
    // The fully covered pixels are pure red.
    int solid = 0;
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 200; ++x)
            if (auto* p = canvas.pixel(x, y); p[3] == 255) {
                ++solid;
                EXPECT_EQ(p[0], 255);
                EXPECT_EQ(p[1], 0);
                EXPECT_EQ(p[2], 0);
            }
    EXPECT_GT(solid, 20);
}

TEST_F(TextDrawing, GlyphsSitOnTheBaselineAtTheAscender) {
    Canvas canvas(120, 60);
    auto font = UIFont::systemFontOfSize(20);
    drawAtPoint(NS("HHH"), CGPointMake(10, 10), font);
    CGRect ink = canvas.inkBounds();
    ASSERT_FALSE(CGRectIsNull(ink));
    CGFloat baseline = 10 + font->ascender();
    EXPECT_NEAR(CGRectGetMaxY(ink), baseline, 1.0);
    EXPECT_NEAR(CGRectGetMinY(ink), baseline - font->capHeight(), 1.0);
    // Starts at the point (less the H's small side bearing) and ends within the measured width.
    EXPECT_GE(CGRectGetMinX(ink), 10);
    EXPECT_LE(CGRectGetMinX(ink), 14);
    EXPECT_LE(CGRectGetMaxX(ink), 10 + sizeWithFont(NS("HHH"), font).width);
}

TEST_F(TextDrawing, AlignmentMovesTheLineAcrossTheRectangle) {
    auto font = UIFont::systemFontOfSize(14);
    CGRect rect = CGRectMake(0, 0, 200, 20);
    auto inkFor = [&](UITextAlignment a) {
        Canvas canvas(200, 20);
        drawInRect(NS("Center"), rect, font, UILineBreakModeTailTruncation, a);
        return canvas.inkBounds();
    };
    CGRect left = inkFor(UITextAlignmentLeft), center = inkFor(UITextAlignmentCenter),
           right = inkFor(UITextAlignmentRight);
    EXPECT_LT(CGRectGetMinX(left), 3);
    EXPECT_NEAR(CGRectGetMidX(center), 100, 2);
    EXPECT_GT(CGRectGetMaxX(right), 196);
    EXPECT_LE(CGRectGetMaxX(right), 200);
    EXPECT_NEAR(left.size.width, right.size.width, 1);
}

TEST_F(TextDrawing, ClipModeStopsAtTheWidthAndTruncationFitsIt) {
    auto font = UIFont::systemFontOfSize(14);
    {
        Canvas canvas(200, 30);
        drawInRect(NS("Mountain bikes and parts"), CGRectMake(10, 5, 60, 20), font,
                   UILineBreakModeClip);
        CGRect ink = canvas.inkBounds();
        EXPECT_LE(CGRectGetMaxX(ink), 70);
        EXPECT_GE(CGRectGetMaxX(ink), 66);  // cut through a glyph at the edge
    }
    {
        Canvas canvas(200, 30);
        drawAtPoint(NS("Mountain bikes and parts"), CGPointMake(10, 5), 60, font,
                    UILineBreakModeTailTruncation);
        EXPECT_LE(CGRectGetMaxX(canvas.inkBounds()), 70);
    }
}

TEST_F(TextDrawing, ShadowFallsAtItsOffsetInItsColour) {
    auto font = UIFont::boldSystemFontOfSize(20);
    CGRect plain;
    {
        Canvas canvas(120, 50);
        drawAtPoint(NS("Sale"), CGPointMake(10, 10), font);
        plain = canvas.inkBounds();
    }
    Canvas canvas(120, 50);
    auto blue = CGColorCreateGenericRGB(0, 0, 1, 1);
    // Which way a vertical offset points is the context's business; the text only has to
    // carry the shadow the context is set up with.
    CGContextSetShadowWithColor(canvas.context(), CGSizeMake(3, 4), 0, blue);
    drawAtPoint(NS("Sale"), CGPointMake(10, 10), font);
    CGRect all = canvas.inkBounds();
    EXPECT_NEAR(CGRectGetMinX(all), CGRectGetMinX(plain), 1);
    EXPECT_NEAR(CGRectGetMaxX(all), CGRectGetMaxX(plain) + 3, 1);
    EXPECT_NEAR(all.size.height, plain.size.height + 4, 1);
    CGRect shadow = canvas.inkBounds([](const uint8_t* p) { return p[2] > 200 && p[0] < 30; });
    ASSERT_FALSE(CGRectIsNull(shadow));
    EXPECT_NEAR(CGRectGetMaxX(shadow), CGRectGetMaxX(plain) + 3, 1);
    bool below = std::abs(CGRectGetMaxY(shadow) - (CGRectGetMaxY(plain) + 4)) <= 1;
    bool above = std::abs(CGRectGetMinY(shadow) - (CGRectGetMinY(plain) - 4)) <= 1;
    EXPECT_TRUE(below || above);
}

TEST(TextDrawingWithoutContext, MeasuresAndDrawsNothing) {
    ASSERT_FALSE(UIGraphicsGetCurrentContext());
    CGSize s = drawInRect(NS("abc"), CGRectMake(0, 0, 100, 100), UIFont::systemFontOfSize(10));
    EXPECT_FLOAT_EQ(s.width, 15);  // the test font
    EXPECT_FLOAT_EQ(s.height, 12);
}

TEST(TextDrawingWithTheTestFont, StillDrawsRealGlyphs) {
    Canvas canvas(100, 30);
    drawInRect(NS("Post"), CGRectMake(0, 0, 100, 30), UIFont::systemFontOfSize(14));
    EXPECT_GT(canvas.inkInside(CGRectMake(0, 0, 40, 30)), 20);
}

TEST_F(TextDrawing, ImageContextsDrawTextAtTheirScale) {
    auto font = UIFont::systemFontOfSize(10);
    auto inkHeight = [&](CGFloat scale) {
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(60, 20), false, scale);
        auto context = UIGraphicsGetCurrentContext();
        drawAtPoint(NS("HHH"), CGPointMake(2, 2), font);
        auto* data = static_cast<const uint8_t*>(CGBitmapContextGetData(context));
        size_t rowBytes = CGBitmapContextGetBytesPerRow(context);
        size_t w = CGBitmapContextGetWidth(context), h = CGBitmapContextGetHeight(context);
        int top = -1, bottom = -1;
        for (size_t y = 0; y < h; ++y)
            for (size_t x = 0; x < w; ++x)
                if (data[y * rowBytes + x * 4 + 3] > 127) {
                    if (top < 0) top = static_cast<int>(y);
                    bottom = static_cast<int>(y);
                }
        UIGraphicsEndImageContext();
        return bottom - top + 1;
    };
    int one = inkHeight(1), two = inkHeight(2);
    EXPECT_NEAR(one, font->capHeight(), 1.5);
    EXPECT_NEAR(two, 2 * font->capHeight(), 1.5);
}

TEST_F(TextDrawing, CharactersTheFaceLacksDrawFromAFaceThatHasThem) {
    auto font = UIFont::systemFontOfSize(20);
    auto measurer = UITextMeasurerCurrent();
    // Ideographs take a whole em each, as the faces that have them give them.
    CGFloat cjk = measurer->widthOfText(u"日本", font);
    EXPECT_NEAR(cjk, 40, 0.5);
    // Each ideograph draws its own glyph: a missing-glyph box would be the same for both.
    auto ink = [&](const char16_t* text, std::vector<uint8_t>& alpha) {
        Canvas canvas(40, 30);
        drawAtPoint(NSString::fromUTF16(text), CGPointMake(5, 2), font);
        for (int y = 0; y < 30; ++y)
            for (int x = 0; x < 40; ++x)
                alpha.push_back(canvas.pixel(x, y)[3]);
    };
    std::vector<uint8_t> sun, book;
    ink(u"日", sun);
    ink(u"本", book);
    int differing = 0, inked = 0;
    for (size_t i = 0; i < sun.size(); ++i) {
        differing += std::abs(int(sun[i]) - int(book[i])) > 100;
        inked += sun[i] > 100;
    }
    EXPECT_GT(inked, 30);
    EXPECT_GT(differing, 40);
    // Drawing places what follows where measuring said it would go.
    CGRect after;
    {
        Canvas canvas(120, 30);
        drawAtPoint(NS("日本H"), CGPointMake(10, 2), font);
        after = canvas.inkBounds();
    }
    CGRect alone;
    {
        Canvas canvas(120, 30);
        drawAtPoint(NS("H"), CGPointMake(10 + cjk, 2), font);
        alone = canvas.inkBounds();
    }
    EXPECT_NEAR(CGRectGetMaxX(after), CGRectGetMaxX(alone), 1);
    // The emoji comes in its own colours, whatever the fill.
    CGFloat bike = measurer->widthOfText(u"\U0001F6B2", font);
    EXPECT_GT(bike, 15);
    Canvas canvas(60, 40);
    drawAtPoint(NS("\U0001F6B2"), CGPointMake(5, 5), font);
    CGRect coloured = canvas.inkBounds([](const uint8_t* p) {
        return p[3] > 150 && std::max({p[0], p[1], p[2]}) - std::min({p[0], p[1], p[2]}) > 60;
    });
    ASSERT_FALSE(CGRectIsNull(coloured));
    EXPECT_LE(CGRectGetMaxX(coloured), 5 + bike + 1);
}
