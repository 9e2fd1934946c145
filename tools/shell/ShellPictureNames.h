// What a person calls a picture that stands in for words. The app's picture-only buttons carry
// no labels, so the front end names them here, by what they do, from their pictures' file names:
// the one table of such names.
#pragma once

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

// `file` is the picture's file name or path ("staroff32.png", "bundle://x/backIcon.png").
SpokenPicture spokenPicture(const std::string& file);

// What a control does, said from the name of its action ("relinquishScreen": "Close") or the
// command of the link it follows ("endVideo": "Skip"); empty for a name that says nothing. The ad
// libraries draw their buttons from pictures decoded in memory, which have no file name to go by.
std::string spokenAction(const std::string& action);

// A file name as a person would say it: the last part of a path, without ".png".
std::string pictureName(std::string file);

// The name imageFileName gives an image made in memory (a photo, a decoded picture).
inline constexpr std::string_view kUnnamedPicture = "image";

// The file name an image was made from; kUnnamedPicture for one made in memory, empty for none.
std::string imageFileName(UIImage* image);
