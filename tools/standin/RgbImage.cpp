#include "tools/standin/RgbImage.h"

#include <csetjmp>
#include <cstddef>
#include <vector>

#include <png.h>

namespace standin {

namespace {

// A 5x7 bitmap font for lower-case letters (bit 4 is the left column).
const unsigned char kGlyphs[26][7] = {
    {0x00, 0x00, 0x0E, 0x01, 0x0F, 0x11, 0x0F}, {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x1E},
    {0x00, 0x00, 0x0E, 0x10, 0x10, 0x11, 0x0E}, {0x01, 0x01, 0x0D, 0x13, 0x11, 0x11, 0x0F},
    {0x00, 0x00, 0x0E, 0x11, 0x1F, 0x10, 0x0E}, {0x06, 0x09, 0x08, 0x1C, 0x08, 0x08, 0x08},
    {0x00, 0x0F, 0x11, 0x11, 0x0F, 0x01, 0x0E}, {0x10, 0x10, 0x16, 0x19, 0x11, 0x11, 0x11},
    {0x04, 0x00, 0x0C, 0x04, 0x04, 0x04, 0x0E}, {0x02, 0x00, 0x06, 0x02, 0x02, 0x12, 0x0C},
    {0x10, 0x10, 0x12, 0x14, 0x18, 0x14, 0x12}, {0x0C, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E},
    {0x00, 0x00, 0x1A, 0x15, 0x15, 0x11, 0x11}, {0x00, 0x00, 0x16, 0x19, 0x11, 0x11, 0x11},
    {0x00, 0x00, 0x0E, 0x11, 0x11, 0x11, 0x0E}, {0x00, 0x00, 0x1E, 0x11, 0x1E, 0x10, 0x10},
    {0x00, 0x00, 0x0D, 0x13, 0x0F, 0x01, 0x01}, {0x00, 0x00, 0x16, 0x19, 0x10, 0x10, 0x10},
    {0x00, 0x00, 0x0E, 0x10, 0x0E, 0x01, 0x1E}, {0x08, 0x08, 0x1C, 0x08, 0x08, 0x09, 0x06},
    {0x00, 0x00, 0x11, 0x11, 0x11, 0x13, 0x0D}, {0x00, 0x00, 0x11, 0x11, 0x11, 0x0A, 0x04},
    {0x00, 0x00, 0x11, 0x11, 0x15, 0x15, 0x0A}, {0x00, 0x00, 0x11, 0x0A, 0x04, 0x0A, 0x11},
    {0x00, 0x00, 0x11, 0x11, 0x0F, 0x01, 0x0E}, {0x00, 0x00, 0x1F, 0x02, 0x04, 0x08, 0x1F},
};

void pngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::string*>(png_get_io_ptr(png));
    out->append(reinterpret_cast<const char*>(data), length);
}

void pngFlush(png_structp) {}

}  // namespace

void setPixel(RgbImage& image, int x, int y, int r, int g, int b) {
    if (x < 0 || y < 0 || x >= image.width || y >= image.height) return;
    size_t at =
        (static_cast<size_t>(y) * static_cast<size_t>(image.width) + static_cast<size_t>(x)) * 3;
    image.pixels[at] = static_cast<unsigned char>(r);
    image.pixels[at + 1] = static_cast<unsigned char>(g);
    image.pixels[at + 2] = static_cast<unsigned char>(b);
}

void drawLetter(RgbImage& image, char letter, int x, int y, int scale, int r, int g, int b) {
    if (letter < 'a' || letter > 'z') return;
    const unsigned char* glyph = kGlyphs[letter - 'a'];
    for (int row = 0; row < 7; ++row)
        for (int col = 0; col < 5; ++col) {
            if (!(glyph[row] & (0x10 >> col))) continue;
            for (int dy = 0; dy < scale; ++dy)
                for (int dx = 0; dx < scale; ++dx)
                    setPixel(image, x + col * scale + dx, y + row * scale + dy, r, g, b);
        }
}

int drawWords(RgbImage& image, const std::string& words, int x, int y, int scale, int r, int g,
              int b) {
    int start = x;
    for (char ch : words) {
        drawLetter(image, ch, x, y, scale, r, g, b);
        x += 6 * scale;
    }
    return x - start;
}

RgbImage blank(int width, int height) {
    RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 3, 255);
    return image;
}

std::string encodePng(const RgbImage& image) {
    // Made before the library's error jump can be taken, which skips destructors.
    const size_t width = static_cast<size_t>(image.width);
    const bool withAlpha = !image.alpha.empty();
    std::vector<unsigned char> rgba(withAlpha ? width * 4 : 0);
    std::string out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    if (!png) return {};
    png_infop info = png_create_info_struct(png);
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, info ? &info : nullptr);
        return {};
    }
    png_set_write_fn(png, &out, pngWrite, pngFlush);
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width),
                 static_cast<png_uint_32>(image.height), 8,
                 withAlpha ? PNG_COLOR_TYPE_RGB_ALPHA : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    for (int y = 0; y < image.height; ++y) {
        const unsigned char* rgb = &image.pixels[static_cast<size_t>(y) * width * 3];
        if (!withAlpha) {
            png_write_row(png, const_cast<png_bytep>(rgb));
            continue;
        }
        for (size_t x = 0; x < width; ++x) {
            for (int c = 0; c < 3; ++c)
                rgba[x * 4 + c] = rgb[x * 3 + c];
            rgba[x * 4 + 3] = image.alpha[static_cast<size_t>(y) * width + x];
        }
        png_write_row(png, rgba.data());
    }
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

}  // namespace standin
