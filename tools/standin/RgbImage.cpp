#include "tools/standin/RgbImage.h"

#include <csetjmp>
#include <cstddef>
#include <vector>

#include <png.h>

namespace standin {

namespace {

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
