// What a person calls a control that shows only a picture. The libraries the app is built on
// (the platform, the UI framework, the ad clients) name theirs where they make them, with an
// accessibility label; the app's own picture-only controls carry none, so the front end names
// them here, in one table, each entry with the screen it serves.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

class UIImage;

struct SpokenPicture {
    // What a person calls it ("Favorite"); a picture not in the table goes by its file name
    // without ".png".
    std::string name;
    // The picture shows its control switched on (a filled star): printed between stars, as
    // selected segments and tabs are.
    bool on = false;
};

struct NamedPicture {
    // The picture's file name without ".png", or kPhotoInPlaceOfWords.
    std::string_view picture;
    std::string_view name;
    bool on;
    // The app's screen that shows it: the script of tests/tools/app whose transcript checks that
    // the entry names a control there.
    std::string_view screen;
};

// Stands in the table for a picture made in memory that took the place of a button's words (a
// posting's photo in its slot).
inline constexpr std::string_view kPhotoInPlaceOfWords = "(photo in place of words)";

// The table.
std::span<const NamedPicture> namedPictures();
// How many times the entry has named a control in this process.
size_t timesSpoken(const NamedPicture& entry);

// `file` is the picture's file name or path ("staroff32.png", "bundle://x/a.png"), or
// kPhotoInPlaceOfWords.
SpokenPicture spokenPicture(const std::string& file);

// A file name as a person would say it: the last part of a path, without ".png".
std::string pictureName(std::string file);

// The name imageFileName gives an image made in memory (a photo, a decoded picture).
inline constexpr std::string_view kUnnamedPicture = "image";

// The file name an image was made from; kUnnamedPicture for one made in memory, empty for none.
std::string imageFileName(UIImage* image);
