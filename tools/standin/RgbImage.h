// Images the stand-in servers draw (listing photos, captchas, house ads) and their PNG files.
#pragma once

#include <string>
#include <vector>

namespace standin {

struct RgbImage {
    int width = 0, height = 0;
    std::vector<unsigned char> pixels;  // RGB, rows top down
    std::vector<unsigned char> alpha;   // empty: opaque; else one value per pixel
};

// White, of that size.
RgbImage blank(int width, int height);
// Points outside the image are left alone.
void setPixel(RgbImage& image, int x, int y, int r, int g, int b);
// A lower-case letter of a 5 x 7 bitmap font, each dot a square of `scale`, its top left at
// (x, y); other characters draw nothing.
void drawLetter(RgbImage& image, char letter, int x, int y, int scale, int r, int g, int b);
// Words in that font, a letter's room (6 dots) for each character; gives the width taken.
int drawWords(RgbImage& image, const std::string& words, int x, int y, int scale, int r, int g,
              int b);
// A real PNG file of the image; "" when it cannot be written.
std::string encodePng(const RgbImage& image);

}  // namespace standin
