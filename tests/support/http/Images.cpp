// Images of a chosen pixel size for the loaders that decode what they download, encoded by the
// stand-in site's own encoders.
#include "support/http/TestServer.h"
#include "tools/site/SiteInternal.h"

namespace testhttp {

namespace {

// A gradient, so that every pixel differs from its neighbours a little.
bnsite::RgbImage gradient(int width, int height) {
    bnsite::RgbImage image;
    image.width = width;
    image.height = height;
    image.pixels.resize(static_cast<std::size_t>(width) * height * 3);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &image.pixels[(static_cast<std::size_t>(y) * width + x) * 3];
            p[0] = static_cast<unsigned char>(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = static_cast<unsigned char>(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = 128;
        }
    }
    return image;
}

}  // namespace

std::string pngBytes(int width, int height) {
    return bnsite::encodePng(gradient(width, height));
}

std::string jpegBytes(int width, int height) {
    return bnsite::encodeJpeg(gradient(width, height), 90);
}

Handler image(ImageFormat format, int width, int height) {
    bool png = format == ImageFormat::PNG;
    return respondWith(Response(200, png ? pngBytes(width, height) : jpegBytes(width, height),
                                png ? "image/png" : "image/jpeg"));
}

Handler undecodableImage(std::string contentType) {
    // An image's signature, then bytes no decoder reads.
    return respondWith(
        Response(200, std::string("\x89PNG\r\n\x1a\n", 8) + "this is not an image", contentType));
}

}  // namespace testhttp
