#include <gtest/gtest.h>

#include <map>
#include <string>
#include <thread>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/ImageCodecs.h"
#include "platform/UIKit/DrawingTesting.h"

namespace {

// Four quadrants: red, green / blue, half-transparent white.
Ref<UIImage> quadrants(CGSize size) {
    CGFloat w = size.width / 2, h = size.height / 2;
    return paintedImage(size, 1, [&] {
        fill(UIColor::redColor(), CGRectMake(0, 0, w, h));
        fill(UIColor::greenColor(), CGRectMake(w, 0, w, h));
        fill(UIColor::blueColor(), CGRectMake(0, h, w, h));
        fill(UIColor::colorWithWhite(1, 0.5f), CGRectMake(w, h, w, h));
    });
}

// The JPEG with an EXIF block that carries the orientation tag, right after the start marker.
Ref<NSData> withExifOrientation(NSData* jpeg, uint8_t tag, bool littleEndian) {
    std::vector<uint8_t> exif = {'E', 'x', 'i', 'f', 0, 0};
    std::vector<uint8_t> tiff =
        littleEndian ? std::vector<uint8_t>{'I', 'I', 42, 0, 8, 0,   0, 0, 1, 0, 0x12, 0x01, 3,
                                            0,   1,   0,  0, 0, tag, 0, 0, 0, 0, 0,    0,    0}
                     : std::vector<uint8_t>{'M', 'M', 0, 42, 0, 0, 0,   8, 0, 1, 0x01, 0x12, 0,
                                            3,   0,   0, 0,  1, 0, tag, 0, 0, 0, 0,    0,    0};
    exif.insert(exif.end(), tiff.begin(), tiff.end());
    auto* b = static_cast<const uint8_t*>(jpeg->bytes());
    std::vector<uint8_t> out(b, b + 2);
    size_t len = exif.size() + 2;
    out.insert(out.end(), {0xFF, 0xE1, uint8_t(len >> 8), uint8_t(len)});
    out.insert(out.end(), exif.begin(), exif.end());
    out.insert(out.end(), b + 2, b + jpeg->length());
    return NSData::dataWithBytes(out.data(), NSUInteger(out.size()));
}

}  // namespace

TEST(UIImageCodec, PNGKeepsEveryPixelAndItsAlpha) {
    auto image = quadrants(CGSizeMake(8, 6));
    ASSERT_TRUE(image);
    auto png = UIImagePNGRepresentation(image);
    ASSERT_TRUE(png);
    auto back = UIImage::imageWithData(png);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format()->utf8(), "png");
    EXPECT_TRUE(CGSizeEqualToSize(back->size(), CGSizeMake(8, 6)));
    EXPECT_TRUE(near(pixelAt(back, 1, 1), kRed, 0));
    EXPECT_TRUE(near(pixelAt(back, 6, 1), kGreen, 0));
    EXPECT_TRUE(near(pixelAt(back, 1, 4), kBlue, 0));
    EXPECT_TRUE(near(pixelAt(back, 6, 4), RGBA{255, 255, 255, 128}, 1));
    EXPECT_NE(CGImageGetAlphaInfo(back->CGImage()), kCGImageAlphaNoneSkipFirst);

    // An opaque context gives an image without alpha, and a PNG without it.
    auto opaque = paintedImage(
        CGSizeMake(3, 3), 1, [] { fill(UIColor::redColor(), CGRectMake(0, 0, 3, 3)); }, true);
    auto opaquePNG = UIImage::imageWithData(UIImagePNGRepresentation(opaque));
    ASSERT_TRUE(opaquePNG);
    EXPECT_EQ(CGImageGetAlphaInfo(opaquePNG->CGImage()), kCGImageAlphaNoneSkipFirst);
    EXPECT_TRUE(near(pixelAt(opaquePNG, 2, 2), kRed, 0));
}

TEST(UIImageCodec, JPEGComesBackCloseAndSmallerAtLowerQuality) {
    auto image = quadrants(CGSizeMake(32, 32));
    auto best = UIImageJPEGRepresentation(image, 1);
    auto rough = UIImageJPEGRepresentation(image, 0.1f);
    ASSERT_TRUE(best && rough);
    EXPECT_LT(rough->length(), best->length());
    auto back = UIImage::imageWithData(best);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format()->utf8(), "jpeg");
    EXPECT_TRUE(CGSizeEqualToSize(back->size(), CGSizeMake(32, 32)));
    EXPECT_EQ(CGImageGetAlphaInfo(back->CGImage()), kCGImageAlphaNoneSkipFirst);
    EXPECT_TRUE(near(pixelAt(back, 4, 4), kRed, 8));
    EXPECT_TRUE(near(pixelAt(back, 27, 4), kGreen, 8));
    EXPECT_TRUE(near(pixelAt(back, 4, 27), kBlue, 8));
    // JPEG has no alpha: the half-transparent white lies over black.
    EXPECT_TRUE(near(pixelAt(back, 27, 27), RGBA{128, 128, 128, 255}, 8));
}

TEST(UIImageCodec, UndecodableBytesGiveNoBitmapAndNoEncoding) {
    // A PNG header alone has a size, but nothing to draw.
    std::vector<uint8_t> header = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0,
                                   13,   'I', 'H', 'D', 'R',  0,    0,    0,    4, 0, 0,
                                   0,    4,   8,   6,   0,    0,    0,    0,    0, 0, 0};
    auto image =
        UIImage::imageWithData(NSData::dataWithBytes(header.data(), NSUInteger(header.size())));
    ASSERT_TRUE(image);
    EXPECT_EQ(image->CGImage(), nullptr);
    EXPECT_EQ(UIImagePNGRepresentation(image), nullptr);
    EXPECT_EQ(UIImageJPEGRepresentation(image, 0.5f), nullptr);
    EXPECT_EQ(UIImagePNGRepresentation(nullptr), nullptr);
    // Drawing it draws nothing (and does not fail).
    auto canvas = paintedImage(CGSizeMake(4, 4), 1, [&] { image->drawAtPoint(CGPointZero); });
    EXPECT_TRUE(near(pixelAt(canvas, 1, 1), kClear, 0));
}

TEST(UIImageCodec, JPEGOrientationFromEXIFTurnsTheImageUpright) {
    // Stored 8 x 4: left half red, right half blue. "Right" means: turn it a quarter clockwise
    // to show it, so the red half ends up on top of a 4 x 8 picture.
    auto stored = paintedImage(CGSizeMake(8, 4), 1, [] {
        fill(UIColor::redColor(), CGRectMake(0, 0, 4, 4));
        fill(UIColor::blueColor(), CGRectMake(4, 0, 4, 4));
    });
    auto jpeg = UIImageJPEGRepresentation(stored, 1);
    for (bool little : {false, true}) {
        auto photo = UIImage::imageWithData(withExifOrientation(jpeg, 6, little));
        ASSERT_TRUE(photo);
        EXPECT_EQ(photo->imageOrientation(), UIImageOrientationRight);
        EXPECT_TRUE(CGSizeEqualToSize(photo->size(), CGSizeMake(4, 8)));
        EXPECT_EQ(CGImageGetWidth(photo->CGImage()), 8u);  // the bitmap stays as stored

        auto drawn = paintedImage(CGSizeMake(4, 8), 1, [&] { photo->drawAtPoint(CGPointZero); });
        EXPECT_TRUE(near(pixelAt(drawn, 2, 1), kRed, 10));
        EXPECT_TRUE(near(pixelAt(drawn, 2, 6), kBlue, 10));

        // The encodings are upright and carry no orientation of their own.
        auto png = UIImage::imageWithData(UIImagePNGRepresentation(photo));
        ASSERT_TRUE(png);
        EXPECT_EQ(png->imageOrientation(), UIImageOrientationUp);
        EXPECT_TRUE(CGSizeEqualToSize(png->size(), CGSizeMake(4, 8)));
        EXPECT_TRUE(near(pixelAt(png, 2, 1), kRed, 10));
        auto again = UIImage::imageWithData(UIImageJPEGRepresentation(photo, 1));
        ASSERT_TRUE(again);
        EXPECT_EQ(again->imageOrientation(), UIImageOrientationUp);
        EXPECT_TRUE(near(pixelAt(again, 2, 6), kBlue, 12));
    }
    // Tag 3 is upside down; tag 1 and a missing tag are up.
    EXPECT_EQ(UIImage::imageWithData(withExifOrientation(jpeg, 3, false))->imageOrientation(),
              UIImageOrientationDown);
    EXPECT_EQ(UIImage::imageWithData(withExifOrientation(jpeg, 1, true))->imageOrientation(),
              UIImageOrientationUp);
    EXPECT_EQ(UIImage::imageWithData(jpeg)->imageOrientation(), UIImageOrientationUp);
}

TEST(UIImageCodec, EveryOrientationShowsTheCornerWhereItBelongs) {
    // A 3 x 2 bitmap with one red pixel at the stored top-left; where it shows for each
    // orientation (shown size in brackets).
    auto stored = paintedImage(CGSizeMake(3, 2), 1, [] {
        fill(UIColor::whiteColor(), CGRectMake(0, 0, 3, 2));
        fill(UIColor::redColor(), CGRectMake(0, 0, 1, 1));
    });
    struct Case {
        UIImageOrientation o;
        int x, y, w, h;
    };
    const Case cases[] = {
        {UIImageOrientationUp, 0, 0, 3, 2},           {UIImageOrientationDown, 2, 1, 3, 2},
        {UIImageOrientationRight, 1, 0, 2, 3},        {UIImageOrientationLeft, 0, 2, 2, 3},
        {UIImageOrientationUpMirrored, 2, 0, 3, 2},   {UIImageOrientationDownMirrored, 0, 1, 3, 2},
        {UIImageOrientationLeftMirrored, 0, 0, 2, 3}, {UIImageOrientationRightMirrored, 1, 2, 2, 3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.o));
        auto turned = UIImage::imageWithImage(stored, 1, c.o);
        EXPECT_TRUE(CGSizeEqualToSize(turned->size(), CGSizeMake(CGFloat(c.w), CGFloat(c.h))));
        // Drawing through the context and encoding by remapping pixels must agree.
        auto drawn = paintedImage(turned->size(), 1, [&] { turned->drawAtPoint(CGPointZero); });
        auto encoded = UIImage::imageWithData(UIImagePNGRepresentation(turned));
        for (int y = 0; y < c.h; ++y) {
            for (int x = 0; x < c.w; ++x) {
                RGBA want = (x == c.x && y == c.y) ? kRed : kWhite;
                EXPECT_TRUE(near(pixelAt(drawn, x, y), want, 1)) << x << "," << y;
                EXPECT_TRUE(near(pixelAt(encoded, x, y), want, 0)) << x << "," << y;
            }
        }
    }
}

namespace {

// A GIF of one image: colour indices row by row (or in the four interlaced passes), LZW-coded
// as encoders do it (codes widen as the table grows, a full table is kept), with a graphic
// control block naming the transparent index when there is one.
std::string gifOf(size_t w, size_t h, const std::vector<uint32_t>& palette,
                  const std::vector<uint8_t>& indices, int transparent, bool interlaced) {
    auto le16 = [](std::string& s, size_t v) {
        s += char(v & 0xFF);
        s += char(v >> 8);
    };
    int depth = 1;
    while ((size_t(1) << depth) < palette.size())
        ++depth;
    std::string out = "GIF89a";
    le16(out, w);
    le16(out, h);
    out += char(0x80 | (depth - 1));
    out += '\0';
    out += '\0';
    for (size_t i = 0; i < (size_t(1) << depth); ++i) {
        uint32_t c = i < palette.size() ? palette[i] : 0;
        out += char(c >> 16);
        out += char(c >> 8);
        out += char(c);
    }
    if (transparent >= 0) out += std::string("\x21\xF9\x04\x01\0\0", 6) + char(transparent) + '\0';
    out += "\x2C";
    le16(out, 0);
    le16(out, 0);
    le16(out, w);
    le16(out, h);
    out += char(interlaced ? 0x40 : 0);
    std::vector<uint8_t> rows;
    std::vector<size_t> order;
    if (interlaced) {
        for (auto [start, step] : {std::pair{0, 8}, {4, 8}, {2, 4}, {1, 2}})
            for (size_t r = size_t(start); r < h; r += size_t(step))
                order.push_back(r);
    } else {
        for (size_t r = 0; r < h; ++r)
            order.push_back(r);
    }
    for (size_t r : order)
        rows.insert(rows.end(), indices.begin() + long(r * w), indices.begin() + long(r * w + w));
    int minSize = std::max(depth, 2);
    int clear = 1 << minSize, size = minSize + 1, next = clear + 2;
    std::string data;
    uint32_t bits = 0;
    int held = 0;
    auto emit = [&](int code) {
        bits |= uint32_t(code) << held;
        for (held += size; held >= 8; held -= 8, bits >>= 8)
            data += char(bits & 0xFF);
        if (next >= (1 << size) && size < 12) ++size;
    };
    std::map<std::pair<int, uint8_t>, int> table;
    emit(clear);
    int w0 = rows[0];
    for (size_t i = 1; i < rows.size(); ++i) {
        auto found = table.find({w0, rows[i]});
        if (found != table.end()) {
            w0 = found->second;
            continue;
        }
        emit(w0);
        if (next < 4096) table[{w0, rows[i]}] = next++;
        w0 = rows[i];
    }
    emit(w0);
    emit(clear + 1);
    if (held > 0) data += char(bits & 0xFF);
    out += char(minSize);
    for (size_t at = 0; at < data.size(); at += 255) {
        size_t n = std::min<size_t>(255, data.size() - at);
        out += char(n);
        out += data.substr(at, n);
    }
    out += '\0';
    out += ';';
    return out;
}

Ref<UIImage> imageOf(const std::string& bytes) {
    return UIImage::imageWithData(NSData::dataWithBytes(bytes.data(), NSUInteger(bytes.size())));
}

}  // namespace

TEST(UIImageCodec, GIFsShowTheirFirstImageWithTransparency) {
    // A 256 by 128 picture in four colours: a transparent band (index 3) on top, then noise
    // enough that the codes widen to 12 bits and the table fills.
    const std::vector<uint32_t> palette = {0xFF0000, 0x00FF00, 0x0000FF, 0xFFFFFF};
    const size_t w = 256, h = 128;
    std::vector<uint8_t> indices(w * h);
    uint32_t noise = 12345;
    for (size_t y = 0; y < h; ++y) {
        for (size_t x = 0; x < w; ++x) {
            noise = noise * 1103515245u + 12345u;
            indices[y * w + x] = uint8_t(y < 8 ? 3 : (noise >> 16) % 3);
        }
    }
    for (bool interlaced : {false, true}) {
        auto image = imageOf(gifOf(w, h, palette, indices, 3, interlaced));
        ASSERT_TRUE(image) << interlaced;
        EXPECT_EQ(image->format()->utf8(), "gif");
        EXPECT_EQ(image->size().width, 256);
        EXPECT_EQ(image->size().height, 128);
        auto px = UIImagePixelsOf(image->CGImage());
        ASSERT_EQ(px.argb.size(), w * h) << interlaced;
        int wrong = 0;
        for (size_t y = 0; y < h; ++y) {
            for (size_t x = 0; x < w; ++x) {
                uint8_t i = indices[y * w + x];
                RGBA want = i == 3 ? kClear
                                   : RGBA{int(palette[i] >> 16), int(palette[i] >> 8 & 0xFF),
                                          int(palette[i] & 0xFF), 255};
                wrong += near(pixelAt(px, int(x), int(y)), want) ? 0 : 1;
            }
        }
        EXPECT_EQ(wrong, 0) << interlaced;
    }
    // Data cut short leaves the rest transparent; bytes that are no GIF give nothing.
    std::string whole = gifOf(w, h, palette, indices, -1, false);
    auto cut = imageOf(whole.substr(0, whole.size() / 2));
    ASSERT_TRUE(cut);
    auto px = UIImagePixelsOf(cut->CGImage());
    ASSERT_EQ(px.argb.size(), w * h);
    EXPECT_EQ(pixelAt(px, 0, 0).a, 255);
    EXPECT_EQ(pixelAt(px, 255, 127).a, 0);
    EXPECT_FALSE(imageOf("GIF89a\x01"));
    // An image larger than the screen its header announces is cut to that screen.
    std::string wide = whole;
    wide[6] = 8;
    wide[7] = 0;
    wide[8] = 4;
    wide[9] = 0;
    auto cutToScreen = imageOf(wide);
    ASSERT_TRUE(cutToScreen && cutToScreen->CGImage());
    EXPECT_EQ(CGImageGetWidth(cutToScreen->CGImage()), 8u);
    EXPECT_EQ(CGImageGetHeight(cutToScreen->CGImage()), 4u);
    EXPECT_TRUE(near(pixelAt(cutToScreen.get(), 0, 0), kWhite));
    // Bytes all along changed in turn: nothing breaks, and a bitmap that comes out is whole.
    for (size_t at = 6; at < whole.size(); at += 1 + whole.size() / 300) {
        std::string bent = whole;
        bent[at] = char(bent[at] ^ 0xA5);
        auto image = imageOf(bent);
        if (!image || !image->CGImage()) continue;
        auto bentPixels = UIImagePixelsOf(image->CGImage());
        EXPECT_EQ(bentPixels.argb.size(), bentPixels.width * bentPixels.height) << at;
        EXPECT_GE(bentPixels.width, 1u) << at;
    }
    auto noImage = imageOf(whole.substr(0, 13 + 12));
    EXPECT_TRUE(!noImage || !noImage->CGImage());
}

TEST(UIImageCodec, BrokenAndHostileBytesNeverCrash) {
    auto image = quadrants(CGSizeMake(16, 16));
    for (auto data : {UIImagePNGRepresentation(image), UIImageJPEGRepresentation(image, 0.8f)}) {
        auto* b = static_cast<const uint8_t*>(data->bytes());
        for (NSUInteger cut : {NSUInteger(30), data->length() / 2, data->length() - 3}) {
            std::vector<uint8_t> bytes(b, b + cut);
            // Flip bits in the middle as well as cutting the end off.
            if (cut > 40) bytes[cut / 2] ^= 0x5A;
            auto broken = UIImage::imageWithData(NSData::dataWithBytes(bytes.data(), cut));
            // The header alone may still pass; the pixels, when any, have the header's size.
            if (broken && broken->CGImage()) {
                EXPECT_EQ(CGImageGetWidth(broken->CGImage()), 16u);
            }
        }
    }
    // A header that claims 100000 x 100000 pixels is refused before anything is allocated.
    std::vector<uint8_t> huge = {0x89, 'P',  'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0,    0, 0,
                                 13,   'I',  'H', 'D', 'R',  0,    1,    0x86, 0xA0, 0, 1,
                                 0x86, 0xA0, 8,   6,   0,    0,    0,    0,    0,    0, 0};
    auto big = UIImage::imageWithData(NSData::dataWithBytes(huge.data(), NSUInteger(huge.size())));
    ASSERT_TRUE(big);
    EXPECT_EQ(big->CGImage(), nullptr);
}

TEST(UIImageCodec, ManyThreadsShareOneDecoding) {
    auto png = UIImagePNGRepresentation(quadrants(CGSizeMake(64, 64)));
    auto image = UIImage::imageWithData(png);
    std::vector<CGImage*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < seen.size(); ++i)
        threads.emplace_back([&, i] {
            NSAutoreleasePool pool;
            seen[i] = image->CGImage().get();
        });
    for (auto& t : threads)
        t.join();
    ASSERT_NE(seen[0], nullptr);
    for (auto* s : seen)
        EXPECT_EQ(s, seen[0]);
    EXPECT_TRUE(UIImage::staticClass()->instancesRespondToSelector(
        Selector::named("initWithCGImage:scale:orientation:")));
}
