// Bitmap contexts draw straight into memory in cairo's layout, and write other layouts back
// only when the memory is asked for. Each way must leave the very bytes that copying the memory
// to and from a surface around every drawing call (the general path) leaves.
#include <gtest/gtest.h>

#include <cairo.h>
#include <malloc.h>

#include <cstring>
#include <string>
#include <vector>

#include "CGTesting.h"
#include "CoreGraphics/CGContextCairo.h"
#include "CoreGraphics/CGPixelConversion.h"

namespace {

constexpr size_t kW = 37, kH = 29;

struct Layout {
    const char* name;
    size_t components;  // 3 RGB, 1 grey, 0 alpha only
    CGBitmapInfo info;
    size_t bytesPerRow;  // 0: the context's choice
};

// Premultiplied BGRA, drawn into directly since it first could be, is left out: the general
// path clamps colour that some operators leave above alpha, the direct one keeps it.
const Layout kLayouts[] = {
    {"BGRX", 3, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, 0},
    {"BGRX wide rows", 3, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Little, kW * 4 + 12},
    {"RGBA premultiplied", 3, kCGImageAlphaPremultipliedLast, 0},
    {"RGBX", 3, kCGImageAlphaNoneSkipLast, 0},
    {"XRGB", 3, kCGImageAlphaNoneSkipFirst | kCGBitmapByteOrder32Big, 0},
    {"ARGB premultiplied", 3, kCGImageAlphaPremultipliedFirst, 0},
    {"grey", 1, kCGImageAlphaNone, 0},
    {"alpha", 0, kCGImageAlphaOnly, 0},
    {"alpha odd rows", 0, kCGImageAlphaOnly, kW + 2},
};

Ref<CGContext> makeContextIn(const Layout& l, void* data) {
    Ref<CGColorSpace> space = l.components == 3   ? CGColorSpaceCreateDeviceRGB()
                              : l.components == 1 ? CGColorSpaceCreateDeviceGray()
                                                  : nullptr;
    return CGBitmapContextCreate(data, kW, kH, 8, l.bytesPerRow, space, l.info);
}

std::vector<uint8_t> bytesOf(CGContextRef c) {
    auto* p = static_cast<const uint8_t*>(CGBitmapContextGetData(c));
    return std::vector<uint8_t>(p, p + CGBitmapContextGetBytesPerRow(c) * kH);
}

std::vector<uint8_t> bytesOf(CGImageRef image) {
    auto data = CGDataProviderCopyData(CGImageGetDataProvider(image));
    auto* p = static_cast<const uint8_t*>(data->bytes());
    return std::vector<uint8_t>(p, p + data->length());
}

// Every kind of drawing call, under every blend mode, with alpha, clips, masks, shadows and
// transparency layers: operators that lower the alpha of an opaque bitmap among them.
void drawScene(CGContextRef c) {
    // First what depends on the alpha already there.
    CGContextSaveGState(c);
    CGContextSetBlendMode(c, kCGBlendModeMultiply);
    CGContextSetRGBFillColor(c, 0.4f, 0.2f, 0.6f, 0.5f);
    CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
    CGContextRestoreGState(c);
    CGContextSetRGBFillColor(c, 0.9f, 0.8f, 0.1f, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 30, 20));
    for (int mode = kCGBlendModeNormal; mode <= kCGBlendModePlusLighter; ++mode) {
        CGContextSaveGState(c);
        CGContextSetBlendMode(c, CGBlendMode(mode));
        CGContextSetRGBFillColor(c, 0.2f + 0.02f * CGFloat(mode), 0.5f, 0.7f, 0.6f);
        const CGFloat x = CGFloat(mode % 7) * 5, y = CGFloat(mode / 7) * 7;
        CGContextFillEllipseInRect(c, CGRectMake(x, y, 9, 8));
        CGContextRestoreGState(c);
    }
    CGContextSaveGState(c);
    CGContextSetAlpha(c, 0.7f);
    CGContextSetShadowWithColor(c, CGSizeMake(2, -3), 2,
                                CGColorCreateGenericRGB(0.1f, 0, 0.3f, 0.8f));
    CGContextSetRGBStrokeColor(c, 0, 0.6f, 0.2f, 0.9f);
    CGContextSetLineWidth(c, 2.5f);
    const CGFloat dashes[] = {3, 2};
    CGContextSetLineDash(c, 0.5f, dashes, 2);
    CGContextStrokeRect(c, CGRectMake(4.5f, 3.5f, 25, 18));
    CGContextRestoreGState(c);

    CGContextSaveGState(c);
    CGContextBeginPath(c);
    CGContextAddEllipseInRect(c, CGRectMake(12, 6, 22, 20));
    CGContextClip(c);
    const CGFloat stops[] = {1, 0, 0, 1, 0, 0, 1, 0.3f};
    auto gradient =
        CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), stops, nullptr, 2);
    CGContextDrawLinearGradient(c, gradient, CGPointMake(12, 6), CGPointMake(34, 26), 0);
    CGContextSetBlendMode(c, kCGBlendModeCopy);
    CGContextSetRGBFillColor(c, 0.3f, 0.3f, 0.9f, 0.4f);
    CGContextFillRect(c, CGRectMake(20, 0, 5, kH));
    CGContextRestoreGState(c);

    auto image = makeImage(6, 5, [](size_t x, size_t y) {
        return Pixel{int(x * 40), int(y * 50), 200, int(60 + x * 30)};
    });
    CGContextDrawImage(c, CGRectMake(2.3f, 15.2f, 13, 11), image);
    CGContextSaveGState(c);
    CGContextClipToMask(c, CGRectMake(0, 0, kW, kH), image);
    CGContextSetRGBFillColor(c, 0, 0, 0, 1);
    CGContextFillRect(c, CGRectMake(0, 0, 8, kH));
    CGContextRestoreGState(c);

    CGContextClearRect(c, CGRectMake(31.5f, 2.5f, 4, 6));
    CGContextSelectFont(c, "Helvetica-Bold", 11, kCGEncodingMacRoman);
    CGContextSetRGBFillColor(c, 0.1f, 0.1f, 0.6f, 0.8f);
    CGContextShowTextAtPoint(c, 1, 2, "Wq", 2);
    CGContextSetRGBFillColor(c, 0.7f, 0.1f, 0.1f, 0.9f);
    CGContextPaintWithCairo(c, [](cairo_t* cr) {
        cairo_arc(cr, 28, 24, 3.3, 0, 6.3);
        cairo_fill(cr);
    });

    CGContextSaveGState(c);
    CGContextSetAlpha(c, 0.5f);
    CGContextSetBlendMode(c, kCGBlendModeXOR);
    CGContextBeginTransparencyLayer(c, nullptr);
    CGContextSetRGBFillColor(c, 0, 0.8f, 0.8f, 1);
    CGContextFillRect(c, CGRectMake(5, 5, 12, 12));
    CGContextFillRect(c, CGRectMake(10, 10, 12, 12));
    CGContextEndTransparencyLayer(c);
    CGContextRestoreGState(c);
    // Over what the clearing and the operators above left.
    CGContextSetRGBFillColor(c, 0.5f, 0.9f, 0.2f, 0.5f);
    CGContextSetBlendMode(c, kCGBlendModeMultiply);
    CGContextFillRect(c, CGRectMake(29, 0, 8, 12));
}

// What someone holding the memory writes into it between drawing calls: stray pixels of four
// equal bytes (valid premultiplied colour in any order; in opaque layouts the skipped byte is
// not 255).
void scribble(uint8_t* p, size_t bytes) {
    for (size_t i = 0; i + 4 <= bytes; i += 28)
        std::memset(p + i, int(i * 13 % 251), 4);
}

struct Result {
    std::vector<uint8_t> midImage, finalBytes;
};

// Draws the scene in two halves into a context of the layout, in the caller's memory or its
// own, snapshotting between them; with `scribbleBetween` the memory is written to between the
// halves through the pointer the context gives.
Result run(const Layout& l, bool callerMemory, bool scribbleBetween) {
    std::vector<uint8_t> memory;
    size_t rowBytes = l.bytesPerRow ? l.bytesPerRow : ((l.components == 3 ? 4 : 1) * kW + 3) & ~3u;
    if (callerMemory) {
        memory.resize(rowBytes * kH);
        scribble(memory.data(), memory.size());
    }
    auto c = makeContextIn(l, callerMemory ? memory.data() : nullptr);
    EXPECT_TRUE(c);
    if (!c) return {};
    CGContextSaveGState(c);
    CGContextScaleCTM(c, 0.5f, 0.5f);
    drawScene(c);
    CGContextRestoreGState(c);
    Result r;
    r.midImage = bytesOf(CGBitmapContextCreateImage(c));
    if (scribbleBetween) {
        auto* p = static_cast<uint8_t*>(CGBitmapContextGetData(c));
        scribble(p, CGBitmapContextGetBytesPerRow(c) * kH);
    }
    drawScene(c);
    r.finalBytes = bytesOf(c);
    return r;
}

TEST(CGBitmapLayouts, EveryLayoutLeavesTheBytesOfTheGeneralPath) {
    for (const auto& l : kLayouts) {
        for (bool callerMemory : {false, true}) {
            for (bool scribbleBetween : {false, true}) {
                SCOPED_TRACE(std::string(l.name) + (callerMemory ? ", caller's memory" : "") +
                             (scribbleBetween ? ", written between drawing" : ""));
                Result general;
                {
                    cg_detail::ConvertEveryPaintScope every;
                    general = run(l, callerMemory, scribbleBetween);
                }
                Result fast = run(l, callerMemory, scribbleBetween);
                ASSERT_FALSE(general.finalBytes.empty());
                EXPECT_EQ(fast.midImage, general.midImage);
                EXPECT_EQ(fast.finalBytes, general.finalBytes);
            }
        }
    }
}

// The scene must reach every operator's effect: a context that ignored the blend modes or the
// clearing would not pass for the general path.
TEST(CGBitmapLayouts, TheSceneDependsOnWhatTheOpaqueLayoutKeepsOfAlpha) {
    const Layout& bgrx = kLayouts[0];
    const Layout bgra{"BGRA", 3, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, 0};
    Result opaque = run(bgrx, false, false);
    Result withAlpha = run(bgra, false, false);
    ASSERT_EQ(opaque.finalBytes.size(), withAlpha.finalBytes.size());
    size_t colourDiffers = 0;
    for (size_t i = 0; i < opaque.finalBytes.size(); ++i) {
        if (i % 4 == 3) {
            EXPECT_EQ(opaque.finalBytes[i], 255) << "skipped byte at " << i;
        } else {
            colourDiffers += opaque.finalBytes[i] != withAlpha.finalBytes[i];
        }
    }
    EXPECT_GT(colourDiffers, 50u);
}

TEST(CGBitmapLayouts, ImagesOfAnOpaqueContextAreOpaque) {
    const Layout& bgrx = kLayouts[0];
    auto c = makeContextIn(bgrx, nullptr);
    ASSERT_TRUE(c);
    // Clearing an opaque bitmap leaves black, not holes.
    CGContextSetRGBFillColor(c, 1, 1, 1, 1);
    CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
    CGContextClearRect(c, CGRectMake(0, 0, 10, kH));
    CGContextSetBlendMode(c, kCGBlendModeCopy);
    CGContextSetRGBFillColor(c, 1, 0, 0, 0.5f);
    CGContextFillRect(c, CGRectMake(10, 0, 10, kH));
    auto image = CGBitmapContextCreateImage(c);
    auto bytes = bytesOf(image);
    const size_t row = CGImageGetBytesPerRow(image);
    auto px = [&](size_t x, size_t y) { return bytes.data() + y * row + x * 4; };
    EXPECT_EQ(px(5, 5)[0] | px(5, 5)[1] | px(5, 5)[2], 0);
    EXPECT_EQ(px(5, 5)[3], 255);
    EXPECT_NEAR(px(15, 5)[2], 128, 1);  // half red over black
    EXPECT_EQ(px(15, 5)[3], 255);
    EXPECT_EQ(px(25, 5)[0], 255);
}

// A fresh bitmap of the context's own stands for a cleared one until it is first needed; a
// first fill that replaces every pixel spares the clearing. Every first drawing call, those that
// replace every pixel and those that only seem to, must leave the bytes of memory cleared
// beforehand (the caller's, which is never left uncleared) and of the general path.
using FirstCall = void (*)(CGContextRef c);
const std::pair<const char*, FirstCall> kFirstCalls[] = {
    {"nothing", [](CGContextRef) {}},
    {"opaque fill of the whole bitmap",
     [](CGContextRef c) {
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill beyond the bitmap",
     [](CGContextRef c) {
         CGContextSetRGBFillColor(c, 1, 1, 1, 1);
         CGContextFillRect(c, CGRectMake(-3, -2, kW + 9, kH + 4));
     }},
    {"opaque fill, flipped and scaled",
     [](CGContextRef c) {
         CGContextTranslateCTM(c, 0, kH);
         CGContextScaleCTM(c, 0.5f, -0.5f);
         CGContextSetRGBFillColor(c, 0.9f, 0.1f, 0.3f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, 2 * kW, 2 * kH));
     }},
    {"opaque fill short of a pixel",
     [](CGContextRef c) {
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW - 0.5f, kH));
     }},
    {"opaque fill, turned",
     [](CGContextRef c) {
         CGContextRotateCTM(c, 0.01f);
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"translucent fill",
     [](CGContextRef c) {
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 0.5f);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"translucent fill, copied",
     [](CGContextRef c) {
         CGContextSetBlendMode(c, kCGBlendModeCopy);
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 0.5f);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill, multiplied",
     [](CGContextRef c) {
         CGContextSetBlendMode(c, kCGBlendModeMultiply);
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill at half alpha",
     [](CGContextRef c) {
         CGContextSetAlpha(c, 0.5f);
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill through a clip",
     [](CGContextRef c) {
         CGContextClipToRect(c, CGRectMake(3, 4, 20, 10));
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill through a clip larger than the bitmap",
     [](CGContextRef c) {
         CGContextClipToRect(c, CGRectMake(-1, -1, kW + 2, kH + 2));
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
     }},
    {"opaque fill under a shadow",
     [](CGContextRef c) {
         CGContextSetShadowWithColor(c, CGSizeMake(3, 3), 1,
                                     CGColorCreateGenericRGB(0.5f, 0, 0, 0.5f));
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(2, 2, kW, kH));
     }},
    {"even-odd fill of two rectangles",
     [](CGContextRef c) {
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextAddRect(c, CGRectMake(0, 0, kW, kH));
         CGContextAddRect(c, CGRectMake(5, 5, 10, 10));
         CGContextEOFillPath(c);
     }},
    {"opaque fill in a transparency layer",
     [](CGContextRef c) {
         CGContextSetAlpha(c, 0.5f);
         CGContextBeginTransparencyLayer(c, nullptr);
         CGContextSetRGBFillColor(c, 0.2f, 0.7f, 0.4f, 1);
         CGContextFillRect(c, CGRectMake(0, 0, kW, kH));
         CGContextEndTransparencyLayer(c);
     }},
    {"clearing a part", [](CGContextRef c) { CGContextClearRect(c, CGRectMake(3, 3, 5, 5)); }},
    {"an image drawn",
     [](CGContextRef c) {
         auto image = makeImage(4, 3, [](size_t x, size_t y) {
             return Pixel{int(x * 60), int(y * 80), 100, int(90 + x * 40)};
         });
         CGContextDrawImage(c, CGRectMake(1, 2, 20, 15), image);
     }},
};

std::vector<uint8_t> afterFirstCall(const Layout& l, FirstCall first, bool callerMemory) {
    std::vector<uint8_t> memory;
    if (callerMemory)
        memory.assign((l.bytesPerRow ? l.bytesPerRow : kW * (l.components == 3 ? 4 : 1) + 3) * kH,
                      0);
    auto c = makeContextIn(l, callerMemory ? memory.data() : nullptr);
    EXPECT_TRUE(c);
    if (!c) return {};
    CGContextSaveGState(c);
    first(c);
    CGContextRestoreGState(c);
    // Drawing after it sees what the first call left.
    CGContextSetRGBFillColor(c, 0.6f, 0.1f, 0.8f, 0.5f);
    CGContextFillEllipseInRect(c, CGRectMake(6, 5, 20, 15));
    auto image = bytesOf(CGBitmapContextCreateImage(c));
    auto bytes = bytesOf(c);
    bytes.insert(bytes.end(), image.begin(), image.end());
    return bytes;
}

TEST(CGBitmapLayouts, AFreshBitmapIsClearedUnlessTheFirstFillReplacesEveryPixel) {
    // Fresh memory that is not cleared shows: allocations come filled with other bytes.
    mallopt(M_PERTURB, 0x5a);
    struct Restore {
        ~Restore() { mallopt(M_PERTURB, 0); }
    } restore;
    const Layout bgra{"BGRA", 3, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Little, 0};
    const Layout layouts[] = {kLayouts[0], kLayouts[1], bgra, kLayouts[7]};
    for (const auto& l : layouts) {
        for (const auto& [name, first] : kFirstCalls) {
            SCOPED_TRACE(std::string(l.name) + ", " + name);
            auto own = afterFirstCall(l, first, false);
            ASSERT_FALSE(own.empty());
            EXPECT_EQ(own, afterFirstCall(l, first, true));
            // The general path clamps colour above alpha in premultiplied memory (see above).
            if (&l == &layouts[2]) continue;
            cg_detail::ConvertEveryPaintScope every;
            EXPECT_EQ(own, afterFirstCall(l, first, false));
        }
    }
}

}  // namespace
