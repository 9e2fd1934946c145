#include "tools/shell/ShellPictureNames.h"

#include <array>
#include <string_view>

#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"

namespace {

constexpr std::array<NamedPicture, 8> kNamedPictures{{
    // The item screen: its toolbar's buttons (the star filled for a favourite) and the
    // navigation bar's arrows to the listing before and after.
    {"staroff32", "Favorite", false, "results-item"},
    {"staron32", "Favorite", true, "results-item"},
    {"toolbar_reply", "Reply", false, "results-item"},
    {"toolbar_web", "Open in Browser", false, "results-item"},
    {"toolbar_share", "Share", false, "results-item"},
    {"triangelup", "Previous", false, "results-item"},
    {"triangeldown", "Next", false, "results-item"},
    // The compose screen: a picture slot showing the photo picked for it.
    {kPhotoInPlaceOfWords, "Photo", false, "post-photos"},
}};

std::array<size_t, kNamedPictures.size()>& uses() {
    static std::array<size_t, kNamedPictures.size()> counts{};
    return counts;
}

}  // namespace

std::span<const NamedPicture> namedPictures() {
    return kNamedPictures;
}

size_t timesSpoken(const NamedPicture& entry) {
    return uses()[static_cast<size_t>(&entry - kNamedPictures.data())];
}

std::string pictureName(std::string file) {
    if (size_t slash = file.find_last_of('/');
        slash != std::string::npos && slash + 1 < file.size())
        file.erase(0, slash + 1);
    constexpr std::string_view png = ".png";
    if (file.size() > png.size() && file.compare(file.size() - png.size(), png.size(), png) == 0)
        file.resize(file.size() - png.size());
    return file;
}

SpokenPicture spokenPicture(const std::string& file) {
    std::string bare = file == kPhotoInPlaceOfWords ? file : pictureName(file);
    for (size_t i = 0; i < kNamedPictures.size(); ++i) {
        if (kNamedPictures[i].picture != bare) continue;
        ++uses()[i];
        return {std::string(kNamedPictures[i].name), kNamedPictures[i].on};
    }
    return {bare, false};
}

std::string imageFileName(UIImage* image) {
    if (!image) return std::string();
    auto source = image->sourceName();
    return source ? source->lastPathComponent()->utf8() : std::string(kUnnamedPicture);
}
