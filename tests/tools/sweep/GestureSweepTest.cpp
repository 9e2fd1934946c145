// Every finger's command on every numbered element of starting screens that between them hold
// every kind of element, in the catalog and in the app, each from a fresh session, checked for
// what holds whatever the element: the app stays up; a hold, a nudge or a pinch ends as the
// element's tap ends or where it began, asking the servers no more than that tap; a double tap's
// second tap lands on what the first left, nothing once the first took the element away, and
// asks no more than a tap there; a slide or a swipe taps nothing; and a full-screen view keeps
// what it covers as it was. The servers' requests are the site's and the services'. A start is
// one row of the table below, a gesture one row of the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIResponder.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/pebble/PBLStatistics.h"
#include "support/TestWork.h"
#include "support/services/IronvineFirstLaunch.h"
#include "tools/app/AppTesting.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/CatalogSessions.h"

namespace {

[[maybe_unused]] testing::Environment* const kAppBundle =
    testing::AddGlobalTestEnvironment(new apptest::AppBundle);

struct Start {
    const char* name;
    bool app;
    std::string steps;
    std::string close = "";  // for a full-screen view: what closes it
};

const std::string kPhotos = "tab Catalog\nscroll down\nscroll down\ntap Photos\nwait 1\n";
const std::string kCategories =
    "tab Post\nwait 0.3\ntap Cancel\nwait 0.3\ntap Post without Account\nwait 1\n";
// The test framework deals the starts to the program's CTest entries in turn (row i to entry
// i mod 6, the SHARDS of its CMake line), so the rows stand in the order that keeps the entries'
// times even, each about 55 s on the sanitizer build by what each start took there: the app's
// favourites, listing, results and compose form 30-43 s, the photo grid 24, the others 1-17. A
// new start goes where it keeps them even.
const Start kStarts[] = {
    {"CatalogPhotoGrid", false, kPhotos + "tap See All\nwait 1\n"},
    {"CatalogPagedItems", false, "tab Catalog\ntap Tables\ntap Paged items\n"},  // over a bar
    // A row's Delete showing: a finger anywhere else, the banner's included, only takes it away.
    {"AppFavoriteDelete", true,
     "tap Browse All\nwait 1\ntap 3\nwait 1\ntap Favorite\nback\nback\ntab Favorites\ndelete 2\n"},
    {"AppListing", true, "tap Browse All\nwait 1\ntap 3\nwait 1\n"},
    {"AppResults", true, "tap Browse All\nwait 1\n"},  // its back button pops to the start
    {"AppCompose", true, kCategories + "tap For Sale\ntap Bikes\n"},
    {"CatalogFullScreenAd", false,
     "tab Catalog\nscroll down\ntap Full-Screen Ad\nwait 10\nwait 1\ntap Show Ad\nwait 11\n",
     "tap Menu\nchoose Skip\nwait 1\n"},
    {"CatalogTables", false, "tab Catalog\ntap Tables\n"},
    {"CatalogListing", false, "tap 3\n"},  // a field, a button raising an alert, a switch
    {"AppCategories", true, kCategories},  // a table picker, its last row half covered
    {"Catalog", false, "tab Catalog\nscroll down 2\n"},  // its last row's middle under the tab bar
    {"CatalogScrolledList", false, "scroll down\nscroll up 1\n"},
    {"CatalogSettings", false, "tab Settings\n"},  // a switch, a segmented control, a wheel
    {"CatalogList", false, ""},  // rows (the last half under the tab bar), bar buttons, tabs
    {"CatalogAlert", false, "tap 3\ntap Send Reply\n"},
    {"AppLogin", true, "tab Post\nwait 0.3\n"},  // the overlay over the Post tab
    {"CatalogPhotoBrowser", false, kPhotos},
    {"CatalogInterstitial", false,
     "tab Catalog\nscroll down\ntap Interstitial\ntap Show Interstitial\nwait 1\n",
     "tap Close\nwait 1\n"},
    {"CatalogSheet", false, "tap 3\ntap Share\n"},
    {"CatalogWebPage", false, "tab About\n"},
};

// How a gesture's end is judged.
enum class Rule { AsTap, Double, Slide, Sideways };
struct Gesture {
    const char* command;  // "%" stands for the element's number; none: once per start
    Rule rule;
};
const Gesture kGestures[] = {
    {"hold %", Rule::AsTap},
    {"drag % by 3 3", Rule::AsTap},  // a nudge within a tap's reach
    {"pinch % 0.5", Rule::AsTap},
    {"pinch % 2", Rule::AsTap},
    {"double-tap %", Rule::Double},
    {"drag % by 0 -150", Rule::Slide},
    // Far enough that the finger lifts off whatever it landed on: a button acts when the finger
    // lifts inside it.
    {"drag % by -165 0", Rule::Sideways},
    {"swipe left", Rule::Sideways},
    {"swipe right", Rule::Sideways},
};

struct Session {
    int status = 0;
    std::string out;   // all it printed before it quit
    std::string from;  // from the swept command's line on
    std::string last;  // the last screen
    size_t requests = 0;
    // Read from the app as the last screen printed: its controllers on show, the text input or
    // page field with the focus, the pages its web views show.
    std::string screens, focus, pages;
};

// What the servers have received (the site since the program began, the services since their
// reset; only differences are read), but the analytics uploads: the app's start and end send
// them, at no set time from a thread's queue.
size_t requestsReceived() {
    auto& services = servicestest::services();
    size_t n = sitetest::requestsReceived();
    for (const std::string& module : services.moduleNames())
        if (module != "analytics") n += services.received(module).size();
    return n;
}

void findPages(UIView* view, std::string& pages) {
    if (auto web = as<UIWebView>(view)) {
        auto request = web->request();
        auto url = request ? request->URL() : nullptr;
        // (Not its query: an ad's carries the count of the ads loaded so far.)
        std::string page = url ? url->absoluteString()->utf8() : "(none)";
        pages += page.substr(0, page.find('?')) + " ";
    }
    auto children = view->subviews();
    for (NSUInteger i = 0; children && i < children->count(); ++i)
        findPages(as<UIView>(children->objectAtIndex(i)).get(), pages);
}

// A controller, the one on top inside it and what it presents, by class (and a stack's depth).
std::string screensOf(UIViewController* c) {
    if (!c) return "";
    std::string s = c->className()->utf8();
    if (auto nav = as<UINavigationController>(c))
        s += "(" + std::to_string(nav->viewControllers()->count()) + ")";
    s += " " + screensOf(c->topSubcontroller().get());
    if (auto modal = c->modalViewController()) s += "over it " + screensOf(modal.get());
    return s;
}

void readState(const ShellSession& shell, Session& s) {
    auto responder = UIResponder::currentFirstResponder();
    if (dynamic_cast<UITextInputTraits*>(responder.get())) s.focus = responder->className()->utf8();
    for (const ShellElement& e : shell.screen().elements())
        if (auto web = e.webView.lock(); web && web->focusedElementIndex() == e.webIndex)
            s.focus += " page field " + e.label;
    auto windows = UIApplication::sharedApplication()->windows();
    for (NSUInteger i = 0; windows && i < windows->count(); ++i) {
        auto window = as<UIWindow>(windows->objectAtIndex(i));
        if (window->isHidden()) continue;
        findPages(window.get(), s.pages);
        // Its root controller, else the controllers whose views were put in it (an alert's
        // window has none: the marks count alerts).
        if (auto root = window->rootViewController()) s.screens += screensOf(root.get()) + "; ";
        auto children = window->subviews();
        for (NSUInteger k = 0; !window->rootViewController() && k < children->count(); ++k)
            if (auto c =
                    as<UIViewController>(as<UIView>(children->objectAtIndex(k))->viewController()))
                s.screens += screensOf(c.get()) + "; ";
    }
}

class GestureSweep : public apptest::AppSessionTest, public testing::WithParamInterface<size_t> {
protected:
    // A session from a fresh install (no preferences: an ad client counts its requests there),
    // with the servers' ads from their first again, once what earlier sessions left running has
    // run out; its requests counted from the swept commands on. A line "tap again" there taps
    // element n of the start where the screen shows it then, and nothing once it has gone.
    static Session run(const Start& start, const std::string& swept = "", int n = 0) {
        // Nothing of the last session's app goes on in this one: its threads' work and its
        // requests end, and every shared instance goes (a browser it left open holds back every
        // banner), with the ends the drop brings back delivered.
        const std::string who = std::string("the session before ") + start.name + " " +
                                swept.substr(0, swept.find('\n'));
        testsupport::letWorkFinish(who);
        servicestest::forgetTheIronvineEngine();  // as at its first launch
        testsupport::dropProcessWideInstances(who);
        NKHTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
        PBLStatistics::releaseSharedStatistics();
        apptest::freshInstall();
        servicestest::services().reset();
        sitetest::site().reset();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        ShellOptions options = catalogOptions();
        if (start.app) {
            apptest::chooseDenverBikes();
            apptest::weightBannersTo("house");
            registerAppInterfaces();
            options.delegateClassName.clear();
        }
        Session s;
        const ShellSession* shell = nullptr;
        ShellElement element;
        // (Not the app's farewell upload as it quits, which may come in after the count.)
        size_t before = 0, after = 0;
        std::string first = swept.substr(0, swept.find('\n'));
        auto again = [&](const std::string& line) {
            if (line != "tap again") return line;
            for (const ShellElement& e : shell->screen().elements())
                if (e.label == element.label && e.view.lock() == element.view.lock())
                    return "tap " + std::to_string(e.number);
            return std::string("# gone");
        };
        HookedLines lines(start.steps + swept + "quit\n",
                          {{first,
                            [&] {
                                before = requestsReceived();
                                if (auto e = shell->screen().elementNumbered(n)) element = *e;
                            }},
                           {"quit",
                            [&] {
                                after = requestsReceived();
                                readState(*shell, s);
                            }}},
                          again);
        std::istream in(&lines);
        std::ostringstream out;
        {
            ShellSession session(options, out, in);
            shell = &session;
            s.status = session.run();
        }
        apptest::endSession();
        s.out = out.str();
        s.out = s.out.substr(0, s.out.rfind("> quit\n"));
        s.requests = after - before;
        s.from =
            swept.empty() ? "" : s.out.substr(std::min(s.out.size(), s.out.rfind("> " + first)));
        const std::string rule = std::string(60, '-') + "\n";
        size_t end = s.out.rfind(rule), begin = s.out.rfind(rule, end - 1);
        if (end != std::string::npos && begin != std::string::npos)
            s.last = s.out.substr(begin + rule.size(), end - begin - rule.size());
        return s;
    }
};

int count(const std::string& text, const std::string& what) {
    int n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

std::string withoutNumbers(const std::string& text) {
    static const std::regex number(R"(\[\d+\] )");
    return std::regex_replace(text, number, "");
}

// The screen's navigation bar (back button, title, its buttons) without numbers; "" without one.
std::string bar(const std::string& screen) {
    std::string first = screen.substr(0, screen.find('\n'));
    if (first.rfind("Tabs:", 0) == 0 || !std::regex_search(first, std::regex(R"(\| .* \|)")))
        return "";
    return withoutNumbers(first);
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

// The switches' states, and the segments, tabs and rows chosen; but what a slide moves: a
// vertical one a wheel, a sideways one a switch.
std::string settings(const std::string& screen, Rule rule = Rule::AsTap) {
    static const std::regex chosen(R"(switch: \w+|\*[^*\n]+\*)");
    std::string all;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        if (rule == Rule::Slide && line.rfind("Picker", 0) == 0) continue;
        for (std::sregex_iterator m(line.begin(), line.end(), chosen), e; m != e; ++m)
            if (rule != Rule::Sideways || m->str().rfind("switch", 0) != 0) all += m->str() + " ";
    }
    return all;
}

// Which screens show and with what bar, what is set and focused on them, and which pages show.
std::string where(const Session& s, Rule rule = Rule::AsTap, bool withBar = true) {
    return s.screens + " / " + (withBar ? bar(s.last) : "") + " / " + settings(s.last, rule) +
           " / " + s.focus + " / " + s.pages;
}

int highestNumber(const std::string& screen) {
    int n = 0;
    static const std::regex number(R"(\[(\d+)\])");
    for (std::sregex_iterator m(screen.begin(), screen.end(), number), e; m != e; ++m)
        n = std::max(n, std::stoi((*m)[1]));
    return n;
}

// A printed line without numbers or what a tap sets on an element (a star, a switch's state, a
// caret).
std::string unset(const std::string& line) {
    static const std::regex set(R"(\*|switch: \w+|_)");
    return std::regex_replace(withoutNumbers(line), set, "");
}

// The line that prints element n, as `unset` leaves it: once a tap no longer leaves it printed,
// the tap took the element away.
std::string lineOf(const std::string& screen, int n) {
    size_t at = screen.find("[" + std::to_string(n) + "]");
    if (at == std::string::npos) return "";
    size_t begin = screen.rfind('\n', at), end = screen.find('\n', at);
    begin = begin == std::string::npos ? 0 : begin + 1;
    return unset(screen.substr(begin, end - begin));
}

bool printsLine(const std::string& screen, const std::string& line) {
    std::istringstream in(screen);
    for (std::string l; std::getline(in, l);)
        if (unset(l) == line) return true;
    return false;
}

}  // namespace

TEST_P(GestureSweep, EveryGestureOnEveryElementKeepsWhatHoldsEverywhere) {
    const Start& start = kStarts[GetParam()];
    InScratchFolder scratch(std::string("gesture-sweep-") + start.name);
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    registerCatalogApp();
    std::vector<std::string> broken;
    Session begun = run(start);
    int elements = highestNumber(begun.last);
    if (begun.status != 0 || elements == 0 || begun.out.find("\n!! ") != std::string::npos)
        broken.push_back("the start fails:\n" + begun.out);
    // A broken rule is named with its session's printout, kept in the scratch folder.
    auto check = [&](bool holds, const std::string& what, const std::string& rule,
                     const std::string& printout) {
        if (holds) return;
        std::string name = std::to_string(broken.size() + 1) + ".txt";
        writeFile(scratch.path() / name, printout);
        broken.push_back(what + ": " + rule + " (" + name + ")");
    };
    // What a full-screen view covers takes neither back nor scroll (the view's own page may
    // scroll), nor any finger on the view, and shows as it was once the view is closed.
    Session closed;
    if (!start.close.empty()) {
        closed = run({start.name, start.app, start.steps + start.close});
        Session tried = run(start, "back\nscroll down\n" + start.close);
        check(tried.out.find("> back\n!! ") != std::string::npos, "back",
              "refused under the full-screen view", tried.out);
        check(tried.last == closed.last, "back, scroll", "what it covers unchanged", tried.out);
    }
    const auto before = marks(begun);
    for (int n = 0; n <= elements; ++n) {
        auto on = [n](std::string gesture) {
            auto at = gesture.find('%');
            return at == std::string::npos ? gesture : gesture.replace(at, 1, std::to_string(n));
        };
        // The element's tap: where the fingers on it may end, and what they may raise.
        Session tap = n == 0 ? begun : run(start, on("tap %") + "\nwait 1\n");
        // It took the element away when the element no longer prints and its screen went (its
        // controller, alert or page).
        bool takenAway =
            n > 0 && !printsLine(tap.last, lineOf(begun.last, n)) &&
            (tap.screens != begun.screens || tap.pages != begun.pages || marks(tap)[0] < before[0]);
        // What a double tap may ask of the servers: its tap's, and a second tap's on the element
        // as the first left it, unless that took it away.
        size_t twice =
            n == 0 || takenAway
                ? tap.requests
                : run(start, on("tap %") + "\nwait 0.1\ntap again\nwait 1\n", n).requests;
        for (const Gesture& g : kGestures) {
            if ((n == 0) != (std::string(g.command).find('%') == std::string::npos)) continue;
            std::string gesture = on(g.command);
            std::string what = n == 0 ? gesture : "[" + std::to_string(n) + "] " + gesture;
            Session s = run(start, gesture + "\nwait 1\n");
            std::string kept = s.out + "# A tap on it ends on:\n" + tap.last +
                               "# Ends (gesture, tap, start):\n" + where(s) + "\n" + where(tap) +
                               "\n" + where(begun) + "\n";
            check(s.status == 0 && s.out.find("*** Terminating app") == std::string::npos, what,
                  "the app stays up", kept);
            check(s.out.compare(0, begun.out.size(), begun.out) == 0, what,
                  "starts from the same screen", kept);
            auto m = marks(s);
            bool asTapped = where(s) == where(tap) && m == marks(tap);
            bool untouched = where(s) == where(begun) && m == before;
            std::string requests = "requests " + std::to_string(s.requests) + " > a tap's " +
                                   std::to_string(tap.requests);
            switch (g.rule) {
                case Rule::AsTap:
                    check(s.requests <= tap.requests, what, requests, kept);
                    check(asTapped || untouched, what, "ends as its tap or where it began", kept);
                    break;
                case Rule::Double: {
                    // The second tap lands on what the first left there: nothing once the first
                    // took the element away, else the element again or what came over it (not
                    // the same screen again on top of itself, a second alert or hand-off).
                    check(s.requests <= twice, what,
                          "requests " + std::to_string(s.requests) + " > " + std::to_string(twice) +
                              (takenAway ? ", its tap's, which took it away" : ", two taps'"),
                          kept);
                    std::string pushed = title(tap.last);
                    bool pushedTwice = !pushed.empty() && pushed != title(begun.last) &&
                                       bar(s.last).find("< " + pushed + " ") != std::string::npos;
                    bool once = true;
                    for (size_t i = 0; i < m.size(); ++i)
                        once = once && m[i] <= std::max(before[i], marks(tap)[i]);
                    check(takenAway ? asTapped : once && !pushedTwice, what,
                          takenAway ? "its second tap lands on nothing: ends as its tap"
                                    : "the second tap acts on what the first left",
                          kept);
                    break;
                }
                case Rule::Slide:
                case Rule::Sideways: {
                    // No other screen, alert, hand-off, composer, focus, page or setting (a
                    // photo's bars hide as it is dragged); a finger takes a row's Delete away, a
                    // sideways slide may offer one. What it scrolls into view may ask the
                    // servers for what it shows.
                    auto expected = before;
                    if (m[1] < before[1] || g.rule == Rule::Sideways) expected[1] = m[1];
                    bool same = where(s, g.rule) == where(begun, g.rule) ||
                                (bar(s.last).empty() &&
                                 where(s, g.rule, false) == where(begun, g.rule, false));
                    check(same && m == expected, what, "a slide taps nothing", kept);
                    check(s.last != begun.last || s.requests <= (n == 0 ? 0 : tap.requests), what,
                          requests, kept);
                    break;
                }
            }
            if (!start.close.empty()) {
                // (Unless the gesture closed the view itself, or opened a page over it.)
                Session after = run(start, gesture + "\nwait 1\n" + start.close);
                check(after.from.find("\n!! ") != std::string::npos || after.last == closed.last,
                      what, "what the view covers unchanged", after.out);
            }
        }
    }
    UIWebView::setURLLoader(previousLoader);
    std::string all;
    for (const std::string& b : broken)
        all += "\n  " + b;
    EXPECT_TRUE(broken.empty()) << broken.size() << " broken (printouts in " << scratch.path()
                                << "):" << all;
}

INSTANTIATE_TEST_SUITE_P(Starts, GestureSweep, testing::Range<size_t>(0, std::size(kStarts)),
                         [](const testing::TestParamInfo<size_t>& info) {
                             return std::string(kStarts[info.param].name);
                         });
