#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tools/shell/ShellCommand.h"

namespace {
using K = ShellCommandKind;

ShellCommand parse(std::string_view line) {
    return parseShellCommand(line);
}
}  // namespace

TEST(ShellCommand, TapTakesANumberOrALabel) {
    auto byNumber = parse("tap 3");
    EXPECT_EQ(byNumber.kind, K::Tap);
    ASSERT_TRUE(byNumber.number);
    EXPECT_EQ(*byNumber.number, 3);

    auto bare = parse("  tap   Send Reply  ");
    EXPECT_EQ(bare.kind, K::Tap);
    EXPECT_FALSE(bare.number);
    EXPECT_EQ(bare.text, "Send Reply");

    // Quoted text is a label even when it looks like a number.
    auto quotedNumber = parse("tap \"3\"");
    EXPECT_FALSE(quotedNumber.number);
    EXPECT_EQ(quotedNumber.text, "3");
    EXPECT_TRUE(quotedNumber.hasLabel());

    auto escaped = parse(R"(tap "Say \"hi\" \\ now")");
    EXPECT_EQ(escaped.text, R"(Say "hi" \ now)");

    // Digits mixed with letters are a label, not a number.
    EXPECT_EQ(parse("tap 3rd").text, "3rd");
    EXPECT_EQ(parse("TAP 2").kind, K::Tap);
}

TEST(ShellCommand, MalformedArgumentsAreExplained) {
    EXPECT_EQ(parse("tap").kind, K::Invalid);
    EXPECT_EQ(parse("tap \"\"").kind, K::Invalid);
    EXPECT_EQ(parse("tap 0").error, "numbers start at 1");
    EXPECT_EQ(parse("tap \"Rate it!").error, "the closing quote is missing");
    EXPECT_EQ(parse("tap \"OK\" now").error, "unexpected text after the closing quote");
    EXPECT_EQ(parse("back now").error, "back takes no argument");
    EXPECT_EQ(parse("delete Sofa").kind, K::Invalid);
    EXPECT_EQ(parse("pick").kind, K::Invalid);
    EXPECT_EQ(parse("pick 0").kind, K::Invalid);
    EXPECT_EQ(parse("tap 99999999999").kind, K::Tap);  // too long for a number: a label
    auto unknown = parse("fling 3");
    EXPECT_EQ(unknown.kind, K::Invalid);
    EXPECT_NE(unknown.error.find("unknown command \"fling\""), std::string::npos);
}

TEST(ShellCommand, TypeKeepsTheTextAsWritten) {
    EXPECT_EQ(parse("type Is it  still there?").text, "Is it  still there?");
    EXPECT_EQ(parse("type \"  padded  \"").text, "  padded  ");
    EXPECT_EQ(parse("type 42").text, "42");
    EXPECT_FALSE(parse("type 42").number);
    EXPECT_EQ(parse("type").kind, K::Invalid);
    EXPECT_EQ(parse("type \"\"").kind, K::Invalid);
}

TEST(ShellCommand, ScrollTakesADirectionAndAnOptionalCount) {
    auto down = parse("scroll down");
    EXPECT_EQ(down.kind, K::Scroll);
    EXPECT_EQ(down.direction, 1);
    EXPECT_FALSE(down.number);
    auto up = parse("scroll UP 3");
    EXPECT_EQ(up.direction, -1);
    ASSERT_TRUE(up.number);
    EXPECT_EQ(*up.number, 3);
    EXPECT_EQ(parse("scroll").kind, K::Invalid);
    EXPECT_EQ(parse("scroll sideways").kind, K::Invalid);
    EXPECT_EQ(parse("scroll down 0").kind, K::Invalid);
    EXPECT_EQ(parse("scroll down many").kind, K::Invalid);
}

TEST(ShellCommand, WaitTakesNonNegativeSeconds) {
    EXPECT_DOUBLE_EQ(parse("wait 2").seconds, 2.0);
    EXPECT_DOUBLE_EQ(parse("wait 0.25").seconds, 0.25);
    EXPECT_DOUBLE_EQ(parse("wait 0").seconds, 0.0);
    for (const char* bad : {"wait", "wait -1", "wait 2s", "wait soon", "wait inf", "wait nan"}) {
        EXPECT_EQ(parse(bad).kind, K::Invalid) << bad;
    }
}

TEST(ShellCommand, EveryOtherVerb) {
    EXPECT_EQ(parse("return").kind, K::Return);
    EXPECT_EQ(parse("back").kind, K::Back);
    EXPECT_EQ(parse("tab Settings").text, "Settings");
    EXPECT_EQ(*parse("tab 2").number, 2);
    EXPECT_EQ(*parse("delete 4").number, 4);
    EXPECT_EQ(parse("choose Rate it!").text, "Rate it!");
    EXPECT_EQ(*parse("choose 1").number, 1);
    EXPECT_EQ(*parse("pick 2").number, 2);
    EXPECT_EQ(parse("send").kind, K::Send);
    EXPECT_EQ(parse("cancel").kind, K::Cancel);
    EXPECT_EQ(parse("shake").kind, K::Shake);
    EXPECT_EQ(parse("memory-warning").kind, K::MemoryWarning);
    EXPECT_EQ(parse("screenshot home.png").text, "home.png");
    EXPECT_EQ(parse("screenshot").kind, K::Invalid);
    EXPECT_EQ(parse("help").kind, K::Help);
    EXPECT_EQ(parse("?").kind, K::Help);
    EXPECT_EQ(parse("quit").kind, K::Quit);
    EXPECT_EQ(parse("exit").kind, K::Quit);
}

TEST(ShellCommand, BlankLinesAndCommentsAreEmpty) {
    EXPECT_EQ(parse("").kind, K::Empty);
    EXPECT_EQ(parse(" \t ").kind, K::Empty);
    EXPECT_EQ(parse("# tap 3").kind, K::Empty);
    EXPECT_EQ(parse("   # indented").kind, K::Empty);
}

// The commands are listed in three places a person reads: the shell's help, scripts/run --help
// and the README. Each must list every command, and every command listed must parse.
TEST(ShellCommand, EveryCommandIsUnderstoodAndDocumented) {
    namespace fs = std::filesystem;
    fs::path root = BN_SOURCE_DIR;
    auto read = [](const fs::path& p) {
        std::ifstream in(p);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    };
    std::string run = read(root / "scripts" / "run");
    std::string readme = read(root / "README.md");
    ASSERT_FALSE(run.empty());
    ASSERT_FALSE(readme.empty());
    // Listed: named where a line of the list starts ("  tap <n>  ..."), or after a comma or a bar
    // among the names before the text ("send, cancel  ...").
    auto listed = [](const std::string& list, const std::string& verb) {
        std::istringstream lines(list);
        for (std::string line; std::getline(lines, line);) {
            line.erase(0, line.find_first_not_of(' '));
            std::string names = line.substr(0, line.find("  ")) + " ";
            if (names.rfind(verb + " ", 0) == 0 || names.rfind(verb + ",", 0) == 0 ||
                names.find(", " + verb) != std::string::npos ||
                names.find("| " + verb) != std::string::npos)
                return true;
        }
        return false;
    };
    const char* examples[] = {
        "tap 1",          "type x",     "return",           "back", "tab x",  "scroll down",
        "delete 1",       "choose x",   "pick 1",           "send", "cancel", "shake",
        "memory-warning", "wait 1",     "screenshot a.png", "help", "quit",   "tilt 0 0 -1",
        "location 1 2",   "background", "foreground",       "log",  "hold 1", "drag 1 to 2",
        "double-tap 1",   "pinch 1 2",  "swipe left"};
    for (const char* example : examples) {
        std::string verb = std::string(example).substr(0, std::string(example).find(' '));
        EXPECT_NE(parse(example).kind, K::Invalid) << example;
        EXPECT_TRUE(listed(shellHelpText(), verb)) << verb;
        EXPECT_TRUE(listed(run, verb)) << verb;
        EXPECT_TRUE(listed(readme, verb)) << verb;
    }
}

TEST(ShellCommand, PullBackspaceRotateAndScrollTop) {
    auto pull = parse("pull");
    EXPECT_EQ(pull.kind, K::Pull);
    EXPECT_EQ(pull.number.value_or(0), 70);
    EXPECT_EQ(parse("pull 40").number.value_or(0), 40);
    EXPECT_EQ(parse("pull -5").kind, K::Invalid);
    EXPECT_EQ(parse("pull far").kind, K::Invalid);
    auto backspace = parse("backspace");
    EXPECT_EQ(backspace.kind, K::Backspace);
    EXPECT_EQ(backspace.number.value_or(0), 1);
    EXPECT_EQ(parse("backspace 12").number.value_or(0), 12);
    EXPECT_EQ(parse("backspace 0").kind, K::Invalid);
    auto rotate = parse("rotate Landscape-Left");
    EXPECT_EQ(rotate.kind, K::Rotate);
    EXPECT_EQ(rotate.text, "landscape-left");
    EXPECT_EQ(parse("rotate upside-down").kind, K::Invalid);
    EXPECT_EQ(parse("rotate").kind, K::Invalid);
    auto top = parse("scroll top");
    EXPECT_EQ(top.kind, K::Scroll);
    EXPECT_EQ(top.direction, 0);
    EXPECT_EQ(parse("scroll top 3").kind, K::Invalid);
    EXPECT_NE(shellHelpText().find("pull [points]"), std::string::npos);
}

TEST(ShellCommand, GesturesNameAnElementAndWhereTo) {
    using K = ShellCommandKind;
    auto hold = parse("hold 3");
    EXPECT_EQ(hold.kind, K::Hold);
    EXPECT_EQ(hold.number, 3);
    EXPECT_DOUBLE_EQ(hold.seconds, 1.1);
    EXPECT_DOUBLE_EQ(parse("hold 3 2.5").seconds, 2.5);
    EXPECT_EQ(parse("hold").kind, K::Invalid);
    EXPECT_EQ(parse("hold 3 -1").kind, K::Invalid);

    auto onto = parse("drag 3 to 7");
    EXPECT_EQ(onto.kind, K::Drag);
    EXPECT_EQ(onto.number, 3);
    EXPECT_EQ(onto.target, 7);
    EXPECT_DOUBLE_EQ(onto.seconds, 0);
    auto by = parse("drag 2 by 260 -10 hold 0.6");
    EXPECT_EQ(by.kind, K::Drag);
    EXPECT_FALSE(by.target);
    EXPECT_EQ(by.values, (std::vector<double>{260, -10}));
    EXPECT_DOUBLE_EQ(by.seconds, 0.6);
    for (const char* bad : {"drag 3", "drag 3 to", "drag 3 by 5", "drag 3 to 7 hold",
                            "drag 3 to 7 wait 1", "drag x to 7", "drag 3 over 7"})
        EXPECT_EQ(parse(bad).kind, K::Invalid) << bad;

    auto pinch = parse("pinch 4 1.5");
    EXPECT_EQ(pinch.kind, K::Pinch);
    EXPECT_EQ(pinch.values, (std::vector<double>{1.5}));
    EXPECT_EQ(parse("pinch 4 0").kind, K::Invalid);
    EXPECT_EQ(parse("pinch 4").kind, K::Invalid);
    auto twice = parse("double-tap 5");
    EXPECT_EQ(twice.kind, K::DoubleTap);
    EXPECT_EQ(twice.number, 5);
    EXPECT_EQ(parse("double-tap Cars").kind, K::Invalid);

    auto swipe = parse("swipe left");
    EXPECT_EQ(swipe.kind, K::Swipe);
    EXPECT_EQ(swipe.direction, 1);
    EXPECT_EQ(swipe.number, 1);
    auto back = parse("swipe right 3");
    EXPECT_EQ(back.direction, -1);
    EXPECT_EQ(back.number, 3);
    EXPECT_EQ(parse("swipe up").kind, K::Invalid);
    EXPECT_EQ(parse("swipe left 0").kind, K::Invalid);
}
