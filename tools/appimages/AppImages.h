// The images of the app's bundle, drawn with the platform's 2-D drawing at build time: the Post
// tab's icon, the category sections' icons, the item screen's arrows, stars and tool-bar icons,
// the result cell's background and price tag, and the captcha screen's transparent image.
#pragma once

#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class UIImage;

struct AppImage {
    std::string name;  // the file name in the bundle, such as "staron32.png"
    Ref<UIImage> image;
};

// Every image of the bundle, drawn anew.
std::vector<AppImage> drawAppImages();

// A launcher icon of 57 points square: a rounded tile in one of several colours (picked by the
// index) with the title's first letter in white, for screens whose items have no picture of
// their own (the catalog's launcher).
Ref<UIImage> drawLauncherIcon(const std::string& title, size_t index);

// Writes every image as a PNG file into the folder (made when missing). Returns the number of
// files written; a file that cannot be written ends the run with false.
bool writeAppImages(const std::string& folder, size_t* written);
