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

namespace {

// The first image of a GIF, reading only what lies within the bytes. Nil for anything that is
// not one.
class GIFReader {
public:
    GIFReader(const uint8_t* bytes, size_t length) : p_(bytes), n_(length) {}

    Ref<CGImage> firstImage() {
        if (!p_ || n_ < 13 ||
            (std::memcmp(p_, "GIF87a", 6) != 0 && std::memcmp(p_, "GIF89a", 6) != 0))
            return nullptr;
        size_t screenW = le16(6), screenH = le16(8);
        uint8_t flags = p_[10];
        at_ = 13;
        std::vector<uint32_t> global;
        if ((flags & 0x80) && !readTable(size_t(2) << (flags & 7), global)) return nullptr;
        int transparent = -1;
        while (at_ < n_) {
            uint8_t kind = p_[at_++];
            if (kind == 0x21) {  // an extension: only the graphic control one matters
                if (at_ >= n_) return nullptr;
                uint8_t label = p_[at_++];
                if (label == 0xF9 && at_ + 5 <= n_ && p_[at_] >= 4) {
                    if (p_[at_ + 1] & 1) transparent = p_[at_ + 4];
                }
                if (!skipSubBlocks()) return nullptr;
            } else if (kind == 0x2C) {
                return readImage(screenW, screenH, global, transparent);
            } else {
                return nullptr;  // the trailer, or not a GIF block: no image
            }
        }
        return nullptr;
    }

private:
    size_t le16(size_t at) const { return size_t(p_[at]) | size_t(p_[at + 1]) << 8; }

    bool readTable(size_t entries, std::vector<uint32_t>& table) {
        if (at_ + entries * 3 > n_) return false;
        table.resize(entries);
        for (size_t i = 0; i < entries; ++i, at_ += 3)
            table[i] = premultiply(255, p_[at_], p_[at_ + 1], p_[at_ + 2]);
        return true;
    }

    bool skipSubBlocks() {
        while (at_ < n_) {
            uint8_t size = p_[at_++];
            if (size == 0) return true;
            at_ += size;
        }
        return false;
    }

    Ref<CGImage> readImage(size_t screenW, size_t screenH, const std::vector<uint32_t>& global,
                           int transparent) {
        if (at_ + 9 > n_) return nullptr;
        size_t left = le16(at_), top = le16(at_ + 2), w = le16(at_ + 4), h = le16(at_ + 6);
        uint8_t flags = p_[at_ + 8];
        at_ += 9;
        std::vector<uint32_t> local;
        if ((flags & 0x80) && !readTable(size_t(2) << (flags & 7), local)) return nullptr;
        const std::vector<uint32_t>& table = (flags & 0x80) ? local : global;
        // The picture is the logical screen the header announced; an image reaching past it
        // is cut at its edges.
        if (screenW == 0 || screenH == 0 || w == 0 || h == 0 || w * h > kMaxPixels ||
            screenW * screenH > kMaxPixels || at_ >= n_)
            return nullptr;
        std::vector<uint8_t> indices;
        if (!decompress(p_[at_++], w * h, indices)) return nullptr;
        auto px = allocatePixels(screenW, screenH);
        std::fill(px.argb.begin(), px.argb.end(), 0u);
        bool interlaced = flags & 0x40;
        size_t row = 0;
        for (size_t pass = 0, r = 0; r < h; ++r) {
            if (interlaced) {
                // Rows 0, 8, ...; then 4, 12, ...; then 2, 6, ...; then 1, 3, ...
                static const size_t start[4] = {0, 4, 2, 1}, step[4] = {8, 8, 4, 2};
                if (r > 0) row += step[pass];
                while (pass < 4 && row >= h) {
                    ++pass;
                    row = pass < 4 ? start[pass] : h;
                }
                if (pass >= 4) break;
            } else {
                row = r;
            }
            if (top + row >= screenH) continue;
            // What the data did not reach stays transparent.
            for (size_t x = 0; x < w && left + x < screenW && r * w + x < indices.size(); ++x) {
                uint8_t i = indices[r * w + x];
                if (int(i) == transparent || i >= table.size()) continue;
                px.argb[(top + row) * screenW + left + x] = table[i];
            }
        }
        return UIImageMakeCGImage(std::move(px), true);
    }

    // The colour indices of the image's LZW data, at most `count`; false for data that is
    // not LZW. Data that ends early leaves the rest to the caller.
    bool decompress(uint8_t minSize, size_t count, std::vector<uint8_t>& out) {
        if (minSize < 1 || minSize > 11) return false;
        const int clear = 1 << minSize, end = clear + 1;
        std::vector<uint16_t> prefix(4096, 0);
        std::vector<uint8_t> suffix(4096, 0), stack;
        stack.reserve(4096);
        for (int i = 0; i < clear; ++i)
            suffix[size_t(i)] = uint8_t(i);
        int size = minSize + 1, next = clear + 2, previous = -1;
        uint8_t first = 0;
        uint32_t bits = 0;
        int held = 0;
        out.reserve(std::min<size_t>(count, size_t(1) << 20));
        // The string a code stands for, last character first, on the stack.
        auto spell = [&](int code) {
            stack.clear();
            while (code >= clear && stack.size() < 4096) {
                stack.push_back(suffix[size_t(code)]);
                code = prefix[size_t(code)];
            }
            stack.push_back(uint8_t(code));
        };
        while (at_ < n_) {
            size_t block = p_[at_++];
            if (block == 0) return true;
            if (at_ + block > n_) block = n_ - at_;
            for (size_t b = 0; b < block; ++b) {
                bits |= uint32_t(p_[at_ + b]) << held;
                held += 8;
                while (held >= size) {
                    int code = int(bits & ((1u << size) - 1));
                    bits >>= size;
                    held -= size;
                    if (code == clear) {
                        size = minSize + 1;
                        next = clear + 2;
                        previous = -1;
                        continue;
                    }
                    if (code == end || out.size() >= count) {
                        at_ += block;
                        skipSubBlocks();
                        return true;
                    }
                    if (previous < 0) {
                        if (code > clear) return false;
                        out.push_back(uint8_t(code));
                        previous = code;
                        first = uint8_t(code);
                        continue;
                    }
                    if (code < next) {
                        spell(code);
                    } else if (code == next) {
                        spell(previous);
                        stack.insert(stack.begin(), first);  // the string's first again, last
                    } else {
                        return false;
                    }
                    first = stack.back();
                    for (auto c = stack.rbegin(); c != stack.rend() && out.size() < count; ++c)
                        out.push_back(*c);
                    if (next < 4096) {
                        prefix[size_t(next)] = uint16_t(previous);
                        suffix[size_t(next)] = first;
                        ++next;
                        if (next == (1 << size) && size < 12) ++size;
                    }
                    previous = code;
                }
            }
            at_ += block;
        }
        return true;
    }

    const uint8_t* p_;
    size_t n_;
    size_t at_ = 0;
};

}  // namespace

Ref<CGImage> UIImageDecodeGIF(const uint8_t* bytes, size_t length) {
    return GIFReader(bytes, length).firstImage();
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

Ref<NSData> UIImageEncodePNG(const UIImagePixels& px, bool withAlpha, bool fast) {
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
    if (fast) image.flags |= PNG_IMAGE_FLAG_FAST;
    // Written once into room for the largest file these pixels can make, rather than once to
    // learn the size and again to write it.
    png_alloc_size_t size = PNG_IMAGE_PNG_SIZE_MAX(image);
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
