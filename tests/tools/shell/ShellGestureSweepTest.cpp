// Every finger's command on every numbered element of starting screens that between them hold
// every kind of element, each from a fresh session of the catalog, checked for what holds
// whatever the element: the app stays up; no gesture asks the servers more than a tap on the
// element does (a double tap, two); a slide taps nothing; a hold, a nudge or a pinch acts at most
// as a tap does; a double tap's second tap acts on what the first left, not on it again; and a
// full-screen view keeps what it covers as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSUserDefaults.h"
#include "TranscriptTesting.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "ads/pebble/PBLStatistics.h"
#include "support/services/IronvineFirstLaunch.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace {

struct Session {
    int status = 0;
    std::string out;   // all it printed
    std::string from;  // from the swept command's line on
    std::string last;  // the last screen
    size_t requests = 0;
};

// What the services server has received since it was reset (the catalog's only server), but
// the analytics uploads: the app's start and end send them, at no set time from a thread's queue.
size_t requestsReceived() {
    auto& services = servicestest::services();
    size_t n = 0;
    for (const std::string& module : services.moduleNames())
        if (module != "analytics") n += services.received(module).size();
    return n;
}

// A session from a fresh install (no preferences: an ad client counts its requests there), with
// the server's ads from their first again; its requests counted from the swept commands on.
Session runSession(const std::string& script, const std::string& swept = "") {
    PBLStatistics::releaseSharedStatistics();
    servicestest::forgetTheIronvineEngine();
    NSUserDefaults::standardUserDefaults()->removePersistentDomain();
    servicestest::services().reset();
    // (Not the app's farewell upload as it quits, which may come in after the count.)
    size_t before = 0, after = 0;
    HookedLines lines(script + swept + (swept.empty() ? "" : "quit\n"),
                      {{swept.substr(0, swept.find('\n')), [&] { before = requestsReceived(); }},
                       {"quit", [&] { after = requestsReceived(); }}});
    std::istream in(&lines);
    std::ostringstream out;
    Session s;
    s.status = ShellSession(catalogOptions(), out, in).run();
    s.out = out.str();
    s.requests = after - before;
    size_t from =
        swept.empty() ? std::string::npos : s.out.rfind("> " + swept.substr(0, swept.find('\n')));
    s.from = s.out.substr(std::min(s.out.size(), from));
    const std::string rule = std::string(60, '-') + "\n";
    size_t end = s.out.rfind(rule), begin = s.out.rfind(rule, end - 1);
    if (end != std::string::npos && begin != std::string::npos)
        s.last = s.out.substr(begin + rule.size(), end - begin - rule.size());
    return s;
}

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// The screen's navigation bar (back button, title, its buttons) without numbers; "" without one.
std::string bar(const std::string& screen) {
    std::string first = screen.substr(0, screen.find('\n'));
    if (first.rfind("Tabs:", 0) == 0 || !std::regex_search(first, std::regex(R"(\| .* \|)")))
        return "";
    return std::regex_replace(first, std::regex(R"(\[\d+\] )"), "");
}

// The title on the screen's navigation bar; "" without one.
std::string title(const std::string& screen) {
    std::smatch m;
    std::string b = bar(screen);
    return std::regex_search(b, m, std::regex(R"(\| (.*) \|)")) ? m[1].str() : "";
}

// What a tap may do once: alerts and sheets up, a row's Delete offered, hand-offs to other apps,
// composers opened.
std::array<int, 4> marks(const Session& s) {
    return {count(s.last, "\n== "), count(s.last, "(Delete)"), count(s.from, ">> Handed off"),
            count(s.from, " composer opened")};
}

// The switches' states and the segments and tabs chosen (a picker's wheel aside: a slide turns it).
std::string settings(const std::string& screen) {
    static const std::regex chosen(R"(switch: \w+|\*[^*\n]+\*)");
    std::string all;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("Picker:", 0) == 0) continue;
        for (std::sregex_iterator m(line.begin(), line.end(), chosen), e; m != e; ++m)
            all += m->str() + " ";
    }
    return all;
}

// Which screen shows, and what is set on it.
std::string where(const std::string& screen) {
    return bar(screen) + " / " + settings(screen);
}

int highestNumber(const std::string& screen) {
    int n = 0;
    static const std::regex number(R"(\[(\d+)\])");
    for (std::sregex_iterator m(screen.begin(), screen.end(), number), e; m != e; ++m)
        n = std::max(n, std::stoi((*m)[1]));
    return n;
}

}  // namespace

TEST(ShellGestureSweep, EveryGestureOnEveryElementKeepsWhatHoldsEverywhere) {
    struct Start {
        const char* name;
        std::string steps;
        std::string close = "";  // for a full-screen view: what closes it
    };
    const std::string photos = "tab Catalog\nscroll down\nscroll down\ntap Photos\nwait 1\n";
    const Start starts[] = {
        {"list", ""},  // rows (the last half under the tab bar), bar buttons, tabs
        {"scrolled list", "scroll down\nscroll up 1\n"},
        {"catalog", "tab Catalog\nscroll down 2\n"},  // its last row's middle under the tab bar
        {"listing", "tap 3\n"},  // a field, a button raising an alert, a switch, a hand-off
        {"alert", "tap 3\ntap Send Reply\n"},
        {"sheet", "tap 3\ntap Share\n"},
        {"settings", "tab Settings\n"},  // a switch, a segmented control, a picker's rows
        {"web page", "tab About\n"},
        {"tables", "tab Catalog\ntap Tables\n"},
        {"photo browser", photos},
        {"photo grid", photos + "tap See All\nwait 1\n"},
        {"interstitial",
         "tab Catalog\nscroll down\ntap Interstitial\ntap Show Interstitial\nwait 1\n",
         "tap Close\nwait 1\n"},
        {"full-screen ad",
         "tab Catalog\nscroll down\ntap Full-Screen Ad\nwait 10\nwait 1\ntap Show Ad\nwait 11\n",
         "tap Menu\nchoose Skip\nwait 1\n"},
    };
    const std::vector<std::string> gestures = {"hold %",       "drag % by 0 -150", "drag % by 3 3",
                                               "double-tap %", "pinch % 0.5",      "pinch % 2"};
    InScratchFolder scratch("gesture-sweep");
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    std::vector<std::string> broken;
    for (const Start& start : starts) {
        Session begun = runSession(start.steps);
        int elements = highestNumber(begun.last);
        if (begun.status != 0 || elements == 0 || begun.out.find("\n!! ") != std::string::npos)
            broken.push_back(std::string(start.name) + ": the start fails");
        // A broken rule is named with its session's printout, kept in the scratch folder.
        auto check = [&](bool holds, const std::string& what, const std::string& rule,
                         const std::string& printout) {
            if (holds) return;
            std::string name = std::to_string(broken.size() + 1) + ".txt";
            writeFile(scratch.path() / name, printout);
            broken.push_back(std::string(start.name) + ", " + what + ": " + rule + " (" + name +
                             ")");
        };
        // What a full-screen view covers takes neither back nor scroll (the view's own page may
        // scroll), nor any finger on the view, and shows as it was once the view is closed.
        Session closed;
        if (!start.close.empty()) {
            closed = runSession(start.steps + start.close);
            Session tried = runSession(start.steps, "back\nscroll down\n" + start.close);
            check(tried.out.find("> back\n!! ") != std::string::npos, "back",
                  "refused under the full-screen view", tried.out);
            check(tried.last == closed.last, "back, scroll", "what it covers unchanged", tried.out);
        }
        // A tap on each element first: where a single tap can end (a pinch's fingers land beside
        // the middle, on the parts of a row), and what it raises at most.
        auto on = [](std::string gesture, int n) {
            return gesture.replace(gesture.find('%'), 1, std::to_string(n));
        };
        std::vector<Session> taps(1, begun);
        auto before = marks(begun);
        std::set<std::string> ends = {where(begun.last)};
        auto most = before;
        for (int n = 1; n <= elements; ++n) {
            taps.push_back(runSession(start.steps, on("tap %", n) + "\nwait 1\n"));
            ends.insert(where(taps[n].last));
            for (size_t i = 0; i < most.size(); ++i)
                most[i] = std::max(most[i], marks(taps[n])[i]);
        }
        for (int n = 1; n <= elements; ++n) {
            const Session& tap = taps[n];
            for (const std::string& g : gestures) {
                std::string gesture = on(g, n), what = "[" + std::to_string(n) + "] " + gesture;
                Session s = runSession(start.steps, gesture + "\nwait 1\n");
                std::string kept = s.out + "# A tap on it ends on:\n" + tap.last;
                check(s.status == 0 && s.out.find("*** Terminating app") == std::string::npos, what,
                      "the app stays up", kept);
                check(s.out.compare(0, begun.out.size(), begun.out) == 0, what,
                      "starts from the same screen", kept);
                // A double tap's second tap acts too: on the element as the first left it, or
                // on what the first brought over it, which no tap here is a measure of.
                bool doubled = g.rfind("double-tap", 0) == 0;
                bool leftAsItWas = where(tap.last) == where(begun.last) && marks(tap) == before;
                check(s.requests <= tap.requests * (doubled ? 2 : 1) || (doubled && !leftAsItWas),
                      what,
                      "requests " + std::to_string(s.requests) + " > a tap's " +
                          std::to_string(tap.requests),
                      kept);
                auto m = marks(s);
                bool atMostOnce = true;
                for (size_t i = 0; i < m.size(); ++i)
                    atMostOnce = atMostOnce && m[i] <= most[i];
                if (g == "drag % by 0 -150") {
                    // No other screen (a photo's bars may hide as it is dragged), no alert, no
                    // hand-off, no switch turned nor segment chosen.
                    check((bar(s.last) == bar(begun.last) || bar(s.last).empty()) && m == before &&
                              settings(s.last) == settings(begun.last),
                          what, "a slide taps nothing", kept);
                } else if (doubled) {
                    // The second tap finds what the first left: not the same screen again on top
                    // of itself, not a second alert, nor a second hand-off.
                    std::string pushed = title(tap.last);
                    bool pushedTwice = !pushed.empty() && pushed != title(begun.last) &&
                                       bar(s.last).find("< " + pushed + " ") != std::string::npos;
                    check(atMostOnce && !pushedTwice, what,
                          "the second tap acts on what the first left", kept);
                } else {
                    // A finger where a tap's lands ends as it does, or does nothing (a photo waits
                    // for a second tap); a pinch's two may land on two parts, but act once.
                    bool asTapped = where(s.last) == where(tap.last) ||
                                    where(s.last) == where(begun.last) ||
                                    (g.rfind("pinch", 0) == 0 && ends.count(where(s.last)));
                    check(atMostOnce && asTapped, what, "acts at most as one tap does", kept);
                }
                if (!start.close.empty()) {
                    // (Unless the gesture closed the view itself, or opened a page over it.)
                    Session after = runSession(start.steps, gesture + "\nwait 1\n" + start.close);
                    check(
                        after.from.find("\n!! ") != std::string::npos || after.last == closed.last,
                        what, "what the view covers unchanged", after.out);
                }
            }
        }
    }
    UIWebView::setURLLoader(previousLoader);
    servicestest::forgetTheIronvineEngine();
    std::string all;
    for (const std::string& b : broken)
        all += "\n  " + b;
    EXPECT_TRUE(broken.empty()) << broken.size() << " broken (printouts in " << scratch.path()
                                << "):" << all;
}
