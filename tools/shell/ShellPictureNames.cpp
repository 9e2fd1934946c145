#include "tools/shell/ShellPictureNames.h"

#include <array>
#include <string_view>

#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"

namespace {

struct NamedPicture {
    std::string_view picture;  // without ".png"
    std::string_view name;
    bool on;
};

// The app's and the UI framework's pictures that stand alone on a button, bar item or segment.
constexpr std::array<NamedPicture, 9> kNamedPictures{{
    {"staroff32", "Favorite", false},
    {"staron32", "Favorite", true},
    {"toolbar_reply", "Reply", false},
    {"toolbar_web", "Open in Browser", false},
    {"toolbar_share", "Share", false},
    {"triangelup", "Previous", false},
    {"triangeldown", "Next", false},
    {"backIcon", "Back", false},
    {"forwardIcon", "Forward", false},
}};

struct NamedAction {
    std::string_view action;
    std::string_view name;
};

// Actions of picture-only buttons, and commands of the links they follow.
constexpr std::array<NamedAction, 13> kNamedActions{{
    {"relinquishScreen", "Close"},
    {"close", "Close"},
    {"closeButtonPressed:", "Close"},
    {"closeButtonClicked", "Close"},
    {"cancel", "Cancel"},
    {"goBack", "Back"},
    {"back:", "Back"},
    {"goForward", "Forward"},
    {"forward:", "Forward"},
    {"endVideo", "Skip"},
    {"skip", "Skip"},
    {"dismiss", "Done"},
    // The search field's dimmer: a tap on it ends the search.
    {"doneAction", "Cancel search"},
}};

}  // namespace

std::string spokenAction(const std::string& action) {
    for (auto& named : kNamedActions) {
        if (named.action == action) return std::string(named.name);
    }
    return std::string();
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
    std::string bare = pictureName(file);
    for (auto& named : kNamedPictures) {
        if (named.picture == bare) return {std::string(named.name), named.on};
    }
    return {bare, false};
}

std::string imageFileName(UIImage* image) {
    if (!image) return std::string();
    auto source = image->sourceName();
    return source ? source->lastPathComponent()->utf8() : std::string(kUnnamedPicture);
}
