#include "tools/shell/ShellCommand.h"

#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>

namespace {

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.front())))
        s.remove_prefix(1);
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back())))
        s.remove_suffix(1);
    return s;
}

std::string lowercased(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return out;
}

// A positive whole number and nothing else.
std::optional<int> wholeNumber(std::string_view s) {
    if (s.empty() || s.size() > 9) return std::nullopt;
    for (char c : s) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return std::nullopt;
    }
    int value = 0;
    std::from_chars(s.data(), s.data() + s.size(), value);
    return value;
}

// The argument of a command: a quoted string (with \" and \\ escapes) or the bare rest.
struct Argument {
    std::string text;
    bool quoted = false;
    std::string error;
};

Argument argumentOf(std::string_view rest) {
    Argument a;
    if (rest.empty() || rest.front() != '"') {
        a.text = std::string(rest);
        return a;
    }
    a.quoted = true;
    size_t i = 1;
    for (; i < rest.size(); ++i) {
        char c = rest[i];
        if (c == '\\' && i + 1 < rest.size() && (rest[i + 1] == '"' || rest[i + 1] == '\\')) {
            a.text += rest[++i];
        } else if (c == '"') {
            break;
        } else {
            a.text += c;
        }
    }
    if (i >= rest.size()) {
        a.error = "the closing quote is missing";
    } else if (!trimmed(rest.substr(i + 1)).empty()) {
        a.error = "unexpected text after the closing quote";
    }
    return a;
}

ShellCommand invalid(std::string message) {
    ShellCommand c;
    c.kind = ShellCommandKind::Invalid;
    c.error = std::move(message);
    return c;
}

// A number (bare digits) or a label (anything else, or anything quoted).
ShellCommand numberOrLabel(ShellCommandKind kind, std::string_view verb, std::string_view rest,
                           const char* what) {
    if (rest.empty()) return invalid(std::string(verb) + " needs " + what);
    Argument a = argumentOf(rest);
    if (!a.error.empty()) return invalid(a.error);
    ShellCommand c;
    c.kind = kind;
    if (!a.quoted) {
        if (auto n = wholeNumber(a.text)) {
            if (*n < 1) return invalid("numbers start at 1");
            c.number = n;
            return c;
        }
    }
    if (a.text.empty()) return invalid(std::string(verb) + " needs " + what);
    c.text = std::move(a.text);
    return c;
}

ShellCommand numberOnly(ShellCommandKind kind, std::string_view verb, std::string_view rest,
                        const char* what) {
    auto n = wholeNumber(rest);
    if (!n) return invalid(std::string(verb) + " needs " + what);
    if (*n < 1) return invalid("numbers start at 1");
    ShellCommand c;
    c.kind = kind;
    c.number = n;
    return c;
}

ShellCommand bare(ShellCommandKind kind, std::string_view verb, std::string_view rest) {
    if (!rest.empty()) return invalid(std::string(verb) + " takes no argument");
    ShellCommand c;
    c.kind = kind;
    return c;
}

ShellCommand scrollCommand(std::string_view rest) {
    const char* usage = "scroll needs a direction: scroll up [n], scroll down [n] or scroll top";
    auto space = rest.find_first_of(" \t");
    std::string direction = lowercased(rest.substr(0, space));
    std::string_view count =
        space == std::string_view::npos ? std::string_view() : trimmed(rest.substr(space));
    ShellCommand c;
    c.kind = ShellCommandKind::Scroll;
    if (direction == "top") {
        if (!count.empty()) return invalid("scroll top takes no count");
        c.direction = 0;
        return c;
    }
    if (direction == "down") {
        c.direction = 1;
    } else if (direction == "up") {
        c.direction = -1;
    } else {
        return invalid(usage);
    }
    if (!count.empty()) {
        auto n = wholeNumber(count);
        if (!n || *n < 1) return invalid("scroll counts rows from 1: scroll down 3");
        c.number = n;
    }
    return c;
}

ShellCommand waitCommand(std::string_view rest) {
    const char* usage = "wait needs the seconds to wait: wait 2, wait 0.5";
    if (rest.empty() || rest.size() > 32) return invalid(usage);
    std::string s(rest);
    char* end = nullptr;
    double seconds = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(seconds) || seconds < 0) {
        return invalid(usage);
    }
    ShellCommand c;
    c.kind = ShellCommandKind::Wait;
    c.seconds = seconds;
    return c;
}

// Exactly `count` decimal numbers separated by blanks, each within [low, high].
ShellCommand numbersCommand(ShellCommandKind kind, std::string_view rest, size_t count, double low,
                            double high, const char* usage) {
    ShellCommand c;
    c.kind = kind;
    std::string s(rest);
    const char* p = s.c_str();
    while (*p) {
        char* end = nullptr;
        double v = std::strtod(p, &end);
        if (end == p || !std::isfinite(v) || v < low || v > high) return invalid(usage);
        c.values.push_back(v);
        p = end;
        while (*p == ' ' || *p == '\t')
            ++p;
        if (end == p && *p) return invalid(usage);  // no blank between two numbers
    }
    if (c.values.size() != count) return invalid(usage);
    return c;
}

// A decimal number of the whole text, nullopt when it is none.
std::optional<double> decimal(std::string_view text) {
    if (text.empty() || text.size() > 32) return std::nullopt;
    std::string s(text);
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    if (end != s.c_str() + s.size() || !std::isfinite(v)) return std::nullopt;
    return v;
}

std::vector<std::string_view> words(std::string_view rest) {
    std::vector<std::string_view> out;
    while (!rest.empty()) {
        auto space = rest.find_first_of(" \t");
        out.push_back(rest.substr(0, space));
        if (space == std::string_view::npos) break;
        rest = trimmed(rest.substr(space));
    }
    return out;
}

ShellCommand holdCommand(std::string_view rest) {
    const char* usage = "hold needs an element's number and may take seconds: hold 3, hold 3 2";
    auto w = words(rest);
    if (w.empty() || w.size() > 2) return invalid(usage);
    auto n = wholeNumber(w[0]);
    if (!n || *n < 1) return invalid(usage);
    ShellCommand c;
    c.kind = ShellCommandKind::Hold;
    c.number = n;
    c.seconds = 1.1;
    if (w.size() == 2) {
        auto s = decimal(w[1]);
        if (!s || *s < 0 || *s > 60) return invalid(usage);
        c.seconds = *s;
    }
    return c;
}

ShellCommand dragCommand(std::string_view rest) {
    const char* usage =
        "drag needs an element and where to: drag 3 to 7, drag 3 by 40 -20, and may end with "
        "hold <seconds>";
    auto w = words(rest);
    ShellCommand c;
    c.kind = ShellCommandKind::Drag;
    if (w.size() < 3) return invalid(usage);
    auto n = wholeNumber(w[0]);
    if (!n || *n < 1) return invalid(usage);
    c.number = n;
    size_t next = 0;
    if (lowercased(w[1]) == "to") {
        auto m = wholeNumber(w[2]);
        if (!m || *m < 1) return invalid(usage);
        c.target = m;
        next = 3;
    } else if (lowercased(w[1]) == "by" && w.size() >= 4) {
        auto dx = decimal(w[2]), dy = decimal(w[3]);
        if (!dx || !dy || std::fabs(*dx) > 2000 || std::fabs(*dy) > 2000) return invalid(usage);
        c.values = {*dx, *dy};
        next = 4;
    } else {
        return invalid(usage);
    }
    if (next == w.size()) return c;
    if (w.size() != next + 2 || lowercased(w[next]) != "hold") return invalid(usage);
    auto s = decimal(w[next + 1]);
    if (!s || *s < 0 || *s > 60) return invalid(usage);
    c.seconds = *s;
    return c;
}

ShellCommand pinchCommand(std::string_view rest) {
    const char* usage = "pinch needs an element and a factor: pinch 2 1.5 (below 1 closes)";
    auto w = words(rest);
    if (w.size() != 2) return invalid(usage);
    auto n = wholeNumber(w[0]);
    auto f = decimal(w[1]);
    if (!n || *n < 1 || !f || *f <= 0 || *f > 10) return invalid(usage);
    ShellCommand c;
    c.kind = ShellCommandKind::Pinch;
    c.number = n;
    c.values = {*f};
    return c;
}

ShellCommand swipeCommand(std::string_view rest) {
    const char* usage = "swipe needs a direction and may take a count: swipe left, swipe right 2";
    auto w = words(rest);
    if (w.empty() || w.size() > 2) return invalid(usage);
    std::string direction = lowercased(w[0]);
    ShellCommand c;
    c.kind = ShellCommandKind::Swipe;
    if (direction == "left") {
        c.direction = 1;  // the content moves left: the next page
    } else if (direction == "right") {
        c.direction = -1;
    } else {
        return invalid(usage);
    }
    c.number = 1;
    if (w.size() == 2) {
        auto n = wholeNumber(w[1]);
        if (!n || *n < 1 || *n > 100) return invalid(usage);
        c.number = n;
    }
    return c;
}

}  // namespace

ShellCommand parseShellCommand(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() == '#') return ShellCommand{};
    auto space = line.find_first_of(" \t");
    std::string verb = lowercased(line.substr(0, space));
    std::string_view rest =
        space == std::string_view::npos ? std::string_view() : trimmed(line.substr(space));

    using K = ShellCommandKind;
    if (verb == "tap") return numberOrLabel(K::Tap, verb, rest, "a number or a label: tap 3");
    if (verb == "type") {
        Argument a = argumentOf(rest);
        if (!a.error.empty()) return invalid(a.error);
        if (a.text.empty()) return invalid("type needs the text to type");
        ShellCommand c;
        c.kind = K::Type;
        c.text = std::move(a.text);
        return c;
    }
    if (verb == "return") return bare(K::Return, verb, rest);
    if (verb == "backspace") {
        if (rest.empty()) {
            ShellCommand c;
            c.kind = K::Backspace;
            c.number = 1;
            return c;
        }
        return numberOnly(K::Backspace, verb, rest, "how many characters: backspace 3");
    }
    if (verb == "pull") {
        ShellCommand c;
        c.kind = K::Pull;
        c.number = 70;
        if (rest.empty()) return c;
        auto n = wholeNumber(rest);
        if (!n || *n < 1 || *n > 1000) return invalid("pull takes the points to pull: pull 70");
        c.number = n;
        return c;
    }
    if (verb == "rotate") {
        std::string to = lowercased(rest);
        if (to != "portrait" && to != "landscape-left" && to != "landscape-right")
            return invalid("rotate needs portrait, landscape-left or landscape-right");
        ShellCommand c;
        c.kind = K::Rotate;
        c.text = to;
        return c;
    }
    if (verb == "back") return bare(K::Back, verb, rest);
    if (verb == "tab")
        return numberOrLabel(K::Tab, verb, rest, "a tab's number or title: tab 9, tab Search");
    if (verb == "scroll") return scrollCommand(rest);
    if (verb == "delete") return numberOnly(K::Delete, verb, rest, "a row's number: delete 4");
    if (verb == "choose") {
        return numberOrLabel(K::Choose, verb, rest, "a button's title or number: choose OK");
    }
    if (verb == "pick") return numberOnly(K::Pick, verb, rest, "a photo's number: pick 1");
    if (verb == "send") return bare(K::Send, verb, rest);
    if (verb == "cancel") return bare(K::Cancel, verb, rest);
    if (verb == "shake") return bare(K::Shake, verb, rest);
    if (verb == "memory-warning") return bare(K::MemoryWarning, verb, rest);
    if (verb == "background") return bare(K::Background, verb, rest);
    if (verb == "foreground") return bare(K::Foreground, verb, rest);
    if (verb == "tilt") {
        return numbersCommand(K::Tilt, rest, 3, -8, 8,
                              "tilt needs x, y and z in g (-8 to 8): tilt 0 -1 0");
    }
    if (verb == "location") {
        ShellCommand c = numbersCommand(K::Location, rest, 2, -180, 180,
                                        "location needs a latitude and a longitude: "
                                        "location 52.37 4.89");
        if (c.kind == K::Location && std::fabs(c.values[0]) > 90)
            return invalid("a latitude lies between -90 and 90");
        return c;
    }
    if (verb == "hold") return holdCommand(rest);
    if (verb == "drag") return dragCommand(rest);
    if (verb == "pinch") return pinchCommand(rest);
    if (verb == "swipe") return swipeCommand(rest);
    if (verb == "double-tap") {
        return numberOnly(K::DoubleTap, verb, rest, "an element's number: double-tap 3");
    }
    if (verb == "wait") return waitCommand(rest);
    if (verb == "screenshot") {
        Argument a = argumentOf(rest);
        if (!a.error.empty()) return invalid(a.error);
        if (a.text.empty()) return invalid("screenshot needs a file name: screenshot home.png");
        ShellCommand c;
        c.kind = K::Screenshot;
        c.text = std::move(a.text);
        return c;
    }
    if (verb == "log") return bare(K::Log, verb, rest);
    if (verb == "help" || verb == "?") return bare(K::Help, verb, rest);
    if (verb == "quit" || verb == "exit") return bare(K::Quit, verb, rest);
    return invalid("unknown command \"" + verb + "\" (help lists the commands)");
}

std::string shellHelpText() {
    return "Commands (numbers are the [n] shown on the screen):\n"
           "  tap <n>                 tap element [n]\n"
           "  tap <label>             tap the first element from the top with that label;\n"
           "                          quote labels that are numbers or have quotes: tap \"3\"\n"
           "  type <text>             type into the field that has the focus\n"
           "  return                  press the keyboard's return key\n"
           "  back                    tap the navigation bar's back button (also on a\n"
           "                          screen's own bar, as the pickers have)\n"
           "  tab <n or title>        select tab [n] of the tab bar, or the tab with that title\n"
           "  scroll <up|down> [n]    scroll the frontmost list by a screen, or by n rows\n"
           "  scroll top              tap the status bar: the frontmost list goes to its top\n"
           "  pull [points]           drag the frontmost list past its top and let go (70)\n"
           "  backspace [n]           press the keyboard's delete key (n times)\n"
           "  rotate <orientation>    turn the phone: portrait, landscape-left, landscape-right\n"
           "  delete <n>              swipe across row [n] to show its Delete button\n"
           "  choose <title or n>     choose a button of the alert or action sheet on top\n"
           "  pick <n>                pick photo n in the photo picker\n"
           "  send, cancel            send or cancel the mail or message composer\n"
           "                          (cancel also closes the photo picker or an alert)\n"
           "  shake                   shake the phone\n"
           "  memory-warning          send the app a memory warning\n"
           "  background              press the home button: the app leaves the screen\n"
           "  foreground              open the app again\n"
           "  tilt <x> <y> <z>        hold the phone so the accelerometer reads x y z (in g)\n"
           "  location <lat> <lon>    the phone is now at that latitude and longitude\n"
           "  hold <n> [seconds]      rest a finger on element [n] (1.1 s), then lift it\n"
           "  drag <n> to <m>         move a finger from [n] onto [m]; drag <n> by <dx> <dy>\n"
           "                          moves it by points; a closing hold <seconds> rests\n"
           "                          the finger before it lifts\n"
           "  double-tap <n>          two taps on element [n]\n"
           "  pinch <n> <factor>      two fingers on [n] spread (above 1) or close (below 1)\n"
           "  swipe <left|right> [n]  turn n pages: a paged scroller drags a page, anything\n"
           "                          else gets a finger across the middle of the screen\n"
           "  wait <seconds>          let time pass (timers fire, animations end)\n"
           "  screenshot <file.png>   save the screen as an image\n"
           "  log                     print what the app has logged (kept in a file, never\n"
           "                          on the screen: bazaarnest --help names it)\n"
           "  help                    this list\n"
           "  quit                    end the app (also at the end of input)\n"
           "Lines starting with # are comments. An empty line shows the screen again.\n";
}
