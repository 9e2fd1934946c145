// The shell's command language: one command per line, a verb and its argument. Arguments that
// name something on screen may be quoted ("Rate it!") or bare (the rest of the line); a quoted
// argument is always taken as text, so `tap "3"` looks for the label 3 rather than element [3].
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class ShellCommandKind {
    Empty,  // a blank line or a comment
    Invalid,
    Tap,
    Type,
    Backspace,  // the keyboard's delete key
    Return,
    Back,
    Tab,
    Scroll,
    Pull,  // a list dragged past its top and let go (pull-to-refresh)
    Delete,
    Choose,
    Pick,
    Send,
    Cancel,
    Shake,
    MemoryWarning,
    Background,  // the home button: the app leaves the screen
    Foreground,  // the app is opened again
    Tilt,        // the accelerometer's reading
    Location,    // the device's location
    Rotate,      // the device turned to an orientation
    Hold,        // a finger rests on an element
    Drag,        // a finger moves an element to another or by an offset
    DoubleTap,   // two taps at one place
    Pinch,       // two fingers about an element, spread or closed by a factor
    Swipe,       // a page to the side: a finger across the screen, or a paged scroller's drag
    Wait,
    Screenshot,
    Log,  // what the app logged, printed from its file
    Help,
    Quit,
};

struct ShellCommand {
    ShellCommandKind kind = ShellCommandKind::Empty;
    // A number given as the argument (tap 3, delete 2, choose 1, pick 1, tab 2, scroll down 5).
    std::optional<int> number;
    // A label, title, text to type or file name.
    std::string text;
    // Scroll: +1 down, -1 up, 0 to the top (the status bar's tap).
    int direction = 0;
    // Wait and hold: seconds; drag: the closing hold, if any.
    double seconds = 0;
    // Drag: the element dragged onto (drag 3 to 7); without it the offset is in values.
    std::optional<int> target;
    // Tilt: x, y, z in g; location: latitude, longitude; drag: dx, dy; pinch: the factor.
    std::vector<double> values;
    // Why the line is not a command (Invalid).
    std::string error;

    bool hasLabel() const { return !number && !text.empty(); }
};

// Parses one line. Leading and trailing blanks are ignored; "#" starts a comment line.
ShellCommand parseShellCommand(std::string_view line);

// The text the help command prints (also scripts/run --help).
std::string shellHelpText();
