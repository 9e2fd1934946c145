// Listing photos and captcha images, drawn from the seed and encoded as real JPEG and PNG files.
// jpeglib.h needs size_t and FILE declared before it.
#include <csetjmp>
#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

#include "tools/site/Hash.h"
#include "tools/site/SiteInternal.h"

namespace bnsite {

namespace {

struct JpegErrors {
    jpeg_error_mgr manager;
    std::jmp_buf jump;
};

void jpegFailed(j_common_ptr info) {
    std::longjmp(reinterpret_cast<JpegErrors*>(info->err)->jump, 1);
}

}  // namespace

std::string encodeJpeg(const RgbImage& image, int quality) {
    jpeg_compress_struct info{};
    JpegErrors errors{};
    info.err = jpeg_std_error(&errors.manager);
    errors.manager.error_exit = jpegFailed;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(errors.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, quality, TRUE);
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&image.pixels[static_cast<size_t>(info.next_scanline) *
                                                          static_cast<size_t>(image.width) * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::string out(reinterpret_cast<const char*>(buffer), size);
    std::free(buffer);
    return out;
}

RgbImage listingPhoto(std::uint64_t seed, std::uint32_t id, int number, int width, int height) {
    Rng rng(hashOf({seed, id, static_cast<std::uint64_t>(number), 101}));
    RgbImage image = blank(width, height);
    int r0 = rng.between(40, 220), g0 = rng.between(40, 220), b0 = rng.between(40, 220);
    int r1 = rng.between(20, 235), g1 = rng.between(20, 235), b1 = rng.between(20, 235);
    int horizon = height / 2 + rng.between(-height / 6, height / 6);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            bool ground = y > horizon;
            int shade = (y * 60) / height;
            if (ground)
                setPixel(image, x, y, r1 - shade / 2, g1 - shade / 2, b1 - shade / 2);
            else
                setPixel(image, x, y, r0 + shade / 2, g0 + shade / 2, b0 + shade / 2);
        }
    }
    // The thing for sale: a few solid shapes.
    int shapes = rng.between(1, 3);
    for (int s = 0; s < shapes; ++s) {
        int cx = rng.between(width / 5, width * 4 / 5),
            cy = rng.between(height / 4, height * 3 / 4);
        int radius = rng.between(height / 8, height / 3);
        int r = rng.between(0, 255), g = rng.between(0, 255), b = rng.between(0, 255);
        bool round = rng.chance(50);
        for (int y = cy - radius; y <= cy + radius; ++y) {
            for (int x = cx - radius; x <= cx + radius; ++x) {
                int dx = x - cx, dy = y - cy;
                if (!round || dx * dx + dy * dy <= radius * radius) setPixel(image, x, y, r, g, b);
            }
        }
    }
    return image;
}

RgbImage captchaImage(const std::string& words, std::uint64_t noise) {
    const int width = 300, height = 57, scale = 3;
    RgbImage image = blank(width, height);
    Rng rng(noise);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            int v = 235 + static_cast<int>(rng.below(20));
            setPixel(image, x, y, v, v, v);
        }
    }
    int textWidth = static_cast<int>(words.size()) * 6 * scale;
    int x = std::max(2, (width - textWidth) / 2);
    for (char ch : words) {
        if (ch >= 'a' && ch <= 'z') {
            int top = (height - 7 * scale) / 2 + rng.between(-4, 4);
            standin::drawLetter(image, ch, x, top, scale, 20, 20, 40);
        }
        x += 6 * scale;
    }
    // Strike-through lines that a reader looks past.
    for (int line = 0; line < 3; ++line) {
        int y0 = rng.between(5, height - 5), y1 = rng.between(5, height - 5);
        for (int px = 0; px < width; ++px) {
            int py = y0 + (y1 - y0) * px / width;
            setPixel(image, px, py, 90, 90, 110);
        }
    }
    return image;
}

}  // namespace bnsite
