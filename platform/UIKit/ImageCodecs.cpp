#include "UIKit/ImageCodecs.h"

#include <jpeglib.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGDataProvider.h"
#include "Foundation/NSData.h"

namespace {

uint8_t channel(uint32_t word, int shift) {
    return static_cast<uint8_t>((word >> shift) & 0xFF);
}

uint32_t word(uint32_t a, uint32_t r, uint32_t g, uint32_t b) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

uint32_t premultiply(uint8_t a, uint8_t r, uint8_t g, uint8_t b) {
    if (a == 255) return word(a, r, g, b);
    auto m = [a](uint8_t c) { return static_cast<uint32_t>((c * a + 127) / 255); };
    return word(a, m(r), m(g), m(b));
}

// Straight colour from a premultiplied word, as R, G, B, A bytes.
void unpremultiply(uint32_t w, uint8_t out[4]) {
    uint8_t a = channel(w, 24);
    out[3] = a;
    for (int i = 0; i < 3; ++i) {
        uint32_t c = channel(w, 16 - 8 * i);
        out[i] = a == 0 ? 0 : static_cast<uint8_t>(std::min<uint32_t>(255, (c * 255 + a / 2) / a));
    }
}

uint16_t read16(const uint8_t* p, bool little) {
    return little ? static_cast<uint16_t>(p[0] | (p[1] << 8))
                  : static_cast<uint16_t>((p[0] << 8) | p[1]);
}

uint32_t read32(const uint8_t* p, bool little) {
    return little ? (uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) |
                     (uint32_t(p[3]) << 24))
                  : ((uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) |
                     uint32_t(p[3]));
}

// The orientation tag (0x0112) of IFD0 in an EXIF block ("Exif\0\0" then a TIFF header).
int exifOrientation(const uint8_t* p, size_t n) {
    if (n < 14 || std::memcmp(p, "Exif\0\0", 6) != 0) return 1;
    const uint8_t* tiff = p + 6;
    size_t size = n - 6;
    bool little;
    if (tiff[0] == 'I' && tiff[1] == 'I')
        little = true;
    else if (tiff[0] == 'M' && tiff[1] == 'M')
        little = false;
    else
        return 1;
    if (read16(tiff + 2, little) != 42) return 1;
    size_t ifd = read32(tiff + 4, little);
    if (ifd + 2 > size) return 1;
    size_t count = read16(tiff + ifd, little);
    for (size_t i = 0; i < count; ++i) {
        size_t e = ifd + 2 + i * 12;
        if (e + 12 > size) return 1;
        if (read16(tiff + e, little) != 0x0112) continue;
        uint16_t type = read16(tiff + e + 2, little);
        if (type != 3) return 1;  // SHORT
        int v = read16(tiff + e + 8, little);
        return v >= 1 && v <= 8 ? v : 1;
    }
    return 1;
}

// libjpeg reports fatal errors through error_exit, which must not return: jump back to the
// caller's setjmp instead of ending the process.
struct JPEGError {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void jpegErrorExit(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JPEGError*>(info->err)->jump, 1);
}

void jpegSilence(j_common_ptr, int) {}

UIImagePixels allocatePixels(size_t w, size_t h) {
    UIImagePixels px;
    px.width = w;
    px.height = h;
    px.argb.assign(w * h, 0);
    return px;
}

// Refuses sizes whose pixels would take more than 128 MB (a hostile or broken header): far
// beyond any photo a phone takes.
constexpr size_t kMaxPixels = size_t(1) << 25;

bool decodeJPEGInto(const uint8_t* bytes, size_t length, UIImagePixels& px) {
    jpeg_decompress_struct info;
    JPEGError error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = jpegErrorExit;
    error.mgr.emit_message = jpegSilence;
    std::vector<uint8_t> row;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(length));
    if (jpeg_read_header(&info, TRUE) != JPEG_HEADER_OK) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_BGRA;
    jpeg_start_decompress(&info);
    size_t w = info.output_width, h = info.output_height;
    if (w == 0 || h == 0 || w * h > kMaxPixels) {
        jpeg_destroy_decompress(&info);
        return false;
    }
    px = allocatePixels(w, h);
    row.resize(w * 4);
    // Adobe writes CMYK inverted (the usual case); others write it plain.
    bool inverted = cmyk && info.saw_Adobe_marker;
    while (info.output_scanline < info.output_height) {
        size_t y = info.output_scanline;
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&info, rows, 1);
        uint32_t* out = px.argb.data() + y * w;
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* s = row.data() + x * 4;
            if (cmyk) {
                uint32_t c = s[0], m = s[1], yv = s[2], k = s[3];
                if (!inverted) {
                    c = 255 - c;
                    m = 255 - m;
                    yv = 255 - yv;
                    k = 255 - k;
                }
                out[x] = word(255, c * k / 255, m * k / 255, yv * k / 255);
            } else {
                out[x] = word(255, s[2], s[1], s[0]);
            }
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

struct JPEGOutput {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
};

bool encodeJPEGInto(const UIImagePixels& px, int quality, JPEGOutput& out) {
    jpeg_compress_struct info;
    JPEGError error;
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = jpegErrorExit;
    error.mgr.emit_message = jpegSilence;
    std::vector<uint8_t> row(px.width * 3);
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        return false;
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &out.buffer, &out.size);
    info.image_width = static_cast<JDIMENSION>(px.width);
    info.image_height = static_cast<JDIMENSION>(px.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        const uint32_t* in = px.argb.data() + info.next_scanline * px.width;
        for (size_t x = 0; x < px.width; ++x) {
            row[x * 3] = channel(in[x], 16);
            row[x * 3 + 1] = channel(in[x], 8);
            row[x * 3 + 2] = channel(in[x], 0);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&info, rows, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    return true;
}

}  // namespace

UIImagePixels UIImagePixelsOf(CGImageRef image) {
    UIImagePixels px;
    if (!image) return px;
    auto drawn = image->premultipliedPixels();
    if (!drawn) return px;
    px.width = drawn->width;
    px.height = drawn->height;
    px.argb = drawn->argb;
    return px;
}

Ref<CGImage> UIImageMakeCGImage(UIImagePixels pixels, bool hasAlpha) {
    if (pixels.width == 0 || pixels.height == 0) return nullptr;
    size_t w = pixels.width, h = pixels.height, stride = w * 4;
    auto data = NSData::dataWithBytes(pixels.argb.data(), static_cast<NSUInteger>(stride * h));
    auto provider = CGDataProviderCreateWithCFData(data);
    CGBitmapInfo info =
        CGBitmapInfo(hasAlpha ? kCGImageAlphaPremultipliedFirst : kCGImageAlphaNoneSkipFirst) |
        kCGBitmapByteOrder32Little;
    auto space = CGColorSpaceCreateDeviceRGB();
    return CGImageCreate(w, h, 8, 32, stride, space, info, provider, nullptr, true,
                         kCGRenderingIntentDefault);
}

Ref<CGImage> UIImageDecodePNG(const uint8_t* bytes, size_t length) {
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_memory(&image, bytes, length)) return nullptr;
    bool hasAlpha = (image.format & PNG_FORMAT_FLAG_ALPHA) != 0;
    size_t w = image.width, h = image.height;
    if (w == 0 || h == 0 || w * h > kMaxPixels) {
        png_image_free(&image);
        return nullptr;
    }
    // BGRA bytes are the native ARGB words on this little-endian machine; straight alpha.
    image.format = PNG_FORMAT_BGRA;
    std::vector<uint8_t> buffer(PNG_IMAGE_SIZE(image));
    if (!png_image_finish_read(&image, nullptr, buffer.data(), 0, nullptr)) {
        png_image_free(&image);
        return nullptr;
    }
    auto px = allocatePixels(w, h);
    for (size_t i = 0; i < w * h; ++i) {
        const uint8_t* s = buffer.data() + i * 4;
        px.argb[i] = premultiply(hasAlpha ? s[3] : 255, s[2], s[1], s[0]);
    }
    return UIImageMakeCGImage(std::move(px), hasAlpha);
}

Ref<CGImage> UIImageDecodeJPEG(const uint8_t* bytes, size_t length) {
    UIImagePixels px;
    if (!bytes || !decodeJPEGInto(bytes, length, px)) return nullptr;
    return UIImageMakeCGImage(std::move(px), false);
}

UIImageOrientation UIImageJPEGOrientation(const uint8_t* p, size_t n) {
    static const UIImageOrientation byTag[9] = {
        UIImageOrientationUp,           UIImageOrientationUp,
        UIImageOrientationUpMirrored,   UIImageOrientationDown,
        UIImageOrientationDownMirrored, UIImageOrientationLeftMirrored,
        UIImageOrientationRight,        UIImageOrientationRightMirrored,
        UIImageOrientationLeft};
    if (!p || n < 4 || p[0] != 0xFF || p[1] != 0xD8) return UIImageOrientationUp;
    size_t i = 2;
    while (i + 4 <= n) {
        if (p[i] != 0xFF) break;
        uint8_t marker = p[i + 1];
        if (marker == 0xFF) {
            ++i;
            continue;
        }
        if (marker == 0xD9 || marker == 0xDA) break;  // the orientation comes before the data
        size_t len = read16(p + i + 2, false);
        if (len < 2 || i + 2 + len > n) break;
        if (marker == 0xE1) {
            int tag = exifOrientation(p + i + 4, len - 2);
            if (tag != 1) return byTag[tag];
        }
        i += 2 + len;
    }
    return UIImageOrientationUp;
}

UIImagePixels UIImageOrientPixels(const UIImagePixels& s, UIImageOrientation o) {
    size_t w = s.width, h = s.height, rowWords = s.width;
    bool swap = o == UIImageOrientationLeft || o == UIImageOrientationRight ||
                o == UIImageOrientationLeftMirrored || o == UIImageOrientationRightMirrored;
    size_t W = swap ? h : w, H = swap ? w : h;
    auto d = allocatePixels(W, H);
    for (size_t y = 0; y < H; ++y) {
        for (size_t x = 0; x < W; ++x) {
            size_t sx = x, sy = y;  // which stored pixel shows at (x, y)
            switch (o) {
                case UIImageOrientationUp:
                    break;
                case UIImageOrientationDown:
                    sx = w - 1 - x;
                    sy = h - 1 - y;
                    break;
                case UIImageOrientationRight:
                    sx = y;
                    sy = h - 1 - x;
                    break;
                case UIImageOrientationLeft:
                    sx = w - 1 - y;
                    sy = x;
                    break;
                case UIImageOrientationUpMirrored:
                    sx = w - 1 - x;
                    break;
                case UIImageOrientationDownMirrored:
                    sy = h - 1 - y;
                    break;
                case UIImageOrientationLeftMirrored:
                    sx = y;
                    sy = x;
                    break;
                case UIImageOrientationRightMirrored:
                    sx = w - 1 - y;
                    sy = h - 1 - x;
                    break;
            }
            d.argb[y * W + x] = s.argb[sy * rowWords + sx];
        }
    }
    return d;
}

Ref<NSData> UIImageEncodePNG(const UIImagePixels& px, bool withAlpha) {
    if (px.width == 0 || px.height == 0) return nullptr;
    size_t channels = withAlpha ? 4 : 3;
    std::vector<uint8_t> straight(px.width * px.height * channels);
    for (size_t y = 0; y < px.height; ++y) {
        const uint32_t* in = px.argb.data() + y * px.width;
        uint8_t* out = straight.data() + y * px.width * channels;
        for (size_t x = 0; x < px.width; ++x) {
            uint8_t rgba[4];
            if (withAlpha) {
                unpremultiply(in[x], rgba);
            } else {
                rgba[0] = channel(in[x], 16);
                rgba[1] = channel(in[x], 8);
                rgba[2] = channel(in[x], 0);
            }
            std::memcpy(out + x * channels, rgba, channels);
        }
    }
    png_image image;
    std::memset(&image, 0, sizeof image);
    image.version = PNG_IMAGE_VERSION;
    image.width = static_cast<png_uint_32>(px.width);
    image.height = static_cast<png_uint_32>(px.height);
    image.format = withAlpha ? PNG_FORMAT_RGBA : PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (!png_image_write_to_memory(&image, nullptr, &size, 0, straight.data(), 0, nullptr))
        return nullptr;
    auto data = NSMutableData::dataWithLength(static_cast<NSUInteger>(size));
    if (!png_image_write_to_memory(&image, data->mutableBytes(), &size, 0, straight.data(), 0,
                                   nullptr))
        return nullptr;
    data->setLength(static_cast<NSUInteger>(size));
    return data;
}

Ref<NSData> UIImageEncodeJPEG(const UIImagePixels& px, CGFloat quality) {
    if (px.width == 0 || px.height == 0) return nullptr;
    int q = static_cast<int>(std::lround(std::clamp<CGFloat>(quality, 0, 1) * 100));
    JPEGOutput out;
    bool ok = encodeJPEGInto(px, std::max(q, 1), out);
    Ref<NSData> data;
    if (ok) data = NSData::dataWithBytes(out.buffer, static_cast<NSUInteger>(out.size));
    std::free(out.buffer);
    return data;
}
