// Every screen laid over another or over the whole screen, in the app and in the catalog, tried
// five ways from a fresh session each: turned, under a memory warning, through the home screen,
// closed and opened again, and under a memory warning while turned. While it shows, its close
// control lies on the screen and takes a tap; once it is closed, the screen that comes back
// fills the upright screen below the status bar, every control on it lies on the screen, and a
// field tapped there brings the keyboard upright. A screen is one row of the table below.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "Classes/NoticewallAppDelegate.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "ads/meridian/MRHandshake.h"
#include "ads/tally/TallyAdParser.h"
#include "analytics/TallySession.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/IronvineFirstLaunch.h"
#include "support/services/RunningServices.h"
#include "support/site/RunningSite.h"
#include "tools/app/AppTesting.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/shell/ShellScreen.h"
#include "tools/shell/ShellSession.h"
#include "tools/shell/TranscriptTesting.h"

namespace {

[[maybe_unused]] testing::Environment* const kAppBundle =
    testing::AddGlobalTestEnvironment(new apptest::AppBundle);

enum class App { Bazaarnest, Catalog };

using Lines = std::vector<std::string>;

// One screen laid over another, in the app (its delegate) or the catalog. The commands are
// script lines; "tap {close}" taps the close control the last check found.
struct Row {
    const char* name;
    App app = App::Bazaarnest;
    // Before the session (the mediation's weighting, a fresh ad engine).
    std::function<void()> setUp = nullptr;
    // From the first screen to the one the screen is opened from.
    Lines reach = {};
    // What opens it; `reopen` opens it again after a close (empty: `open` again).
    Lines open = {};
    Lines reopen = {};
    // Its close control's label, and what closes it (empty: a tap on that control, a second).
    const char* closeLabel = "Close";
    Lines close = {};
    // From the screen shown after the close to a text field there, tapped (from the result list
    // back to the search screen's keyword field).
    Lines toField = {"back", "tap Keyword"};
    // The same after `reopen`, when that leaves the screen over another one (empty: `toField`).
    Lines toFieldAfterReopen = {};
    // Run before a line equal to the marker is read (a session's own waits).
    HookedLines::Hooks hooks = {};
    // The screen closes itself when the application goes to the background.
    bool closedByHome = false;
};

// The five ways, each from a fresh session.
enum class Way { Turned, MemoryWarning, HomeAndBack, Twice, WarningWhileTurned };

const char* wayName(Way way) {
    switch (way) {
        case Way::Turned:
            return "Turned";
        case Way::MemoryWarning:
            return "MemoryWarning";
        case Way::HomeAndBack:
            return "HomeAndBack";
        case Way::Twice:
            return "Twice";
        case Way::WarningWhileTurned:
            return "WarningWhileTurned";
    }
    return "?";
}

// ---- set-ups -----------------------------------------------------------------------------------

std::function<void()> weighted(const std::string& network) {
    return [network] { apptest::weightBannersTo(network); };
}

void freshIronvine() {
    servicestest::forgetTheIronvineEngine();
}

// ---- the table ---------------------------------------------------------------------------------

// The app's rows end on the search screen's keyword field; the catalog's on a listing's message
// field.
const Lines kFromItem{"back", "back", "tap Keyword"};
const Lines kToCatalogMessage{"tab Listings", "tap \"Road bike\"", "tap Message"};
// A list made again after a memory warning plays the cached video in its new banner: the way
// back to the search screen goes without it.
const HookedLines::Hooks kNoVideoOnTheWayBack{
    {"# next", [] { apptest::weightBannersTo("house"); }}};
const Lines kToListing{"tap Browse All", "scroll down 6", "tap 4"};

const std::vector<Row>& rows() {
    static const std::vector<Row> table{
        // ---- the app's banners: the ad networks' screens, the mediation's, the system banner's
        {.name = "PebbleBrowser",
         .setUp = weighted("pebble"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap Shop now", "wait 1"},
         .closeLabel = "Done"},
        {.name = "PebbleWebApp",
         .setUp = weighted("pebble-webapp"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap Shop now", "wait 1"}},
        {.name = "PebbleMail",
         .setUp = weighted("pebble"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap Mail"},
         .closeLabel = "Cancel"},
        {.name = "MeridianOverlay",
         .setUp = weighted("meridian"),
         .reach = {"tap Browse All", "wait 1", "tap 3", "wait 1"},
         .open = {"tap Order now", "wait 1"},
         .toField = kFromItem},
        {.name = "MeridianImageAd",
         .setUp = weighted("meridian-image"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap Advertisement", "wait 1"}},
        // The list's first sight of the video caches it; the item screen plays it. Once played,
        // the cached video plays again in the list's banner made again after a memory warning.
        {.name = "MeridianVideo",
         .setUp = weighted("meridian-video"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap 3", "wait 2"},
         .reopen = {"memory-warning", "back", "wait 2"},
         .closeLabel = "Done",
         .toField = kFromItem,
         .toFieldAfterReopen = {"back", "tap Keyword"},
         .hooks = kNoVideoOnTheWayBack},
        {.name = "MeridianVisit",
         .setUp = weighted("meridian-video"),
         .reach = {"tap Browse All", "wait 1", "tap 3", "wait 2"},
         .open = {"tap Visit", "wait 1"},
         .reopen = {"memory-warning", "back", "wait 2", "tap Visit", "wait 1"},
         .close = {"tap {close}", "wait 1", "tap Done", "wait 1"},
         .toField = kFromItem,
         .toFieldAfterReopen = {"back", "tap Keyword"},
         .hooks = kNoVideoOnTheWayBack},
        {.name = "IronvineBannerBrowser",
         .setUp =
             [] {
                 freshIronvine();
                 apptest::weightBannersTo("ironvine");
             },
         .reach = {"tap Browse All", "wait 10", "wait 1"},
         .open = {"tap Bazaar deals near you", "wait 3"},
         .reopen = {"wait 5", "tap Bazaar deals near you", "wait 3"},
         .closeLabel = "Done"},
        {.name = "HouseAdBrowser",
         .reach = {"tap Browse All"},
         .open = {"tap Bazaarnest Plus"},
         .closeLabel = "Done"},
        {.name = "SystemBannerAd",
         .setUp = weighted("iad"),
         .reach = {"tap Browse All", "wait 1"},
         .open = {"tap Test Advertisement 1"}},
        // ---- the app's own screens
        {.name = "MailComposer",
         .reach = kToListing,
         .open = {"tap Reply", "choose Reply with Email"},
         .closeLabel = "Cancel",
         .toField = kFromItem},
        {.name = "MessageComposer",
         .reach = kToListing,
         .open = {"tap Reply", "choose Text 940-555-0141"},
         .closeLabel = "Cancel",
         .toField = kFromItem},
        {.name = "ShareSheet",
         .reach = kToListing,
         .open = {"tap Share"},
         .closeLabel = "Cancel",
         .toField = kFromItem},
        {.name = "CaptchaScreen",
         .reach = {"tap Browse All", "tap 5"},
         .open = {"tap Reply", "choose Reply with Email", "wait 1"},
         .closeLabel = "Cancel",
         .toField = kFromItem},
        {.name = "LoginCaptcha",
         .reach = {"tab Post", "wait 0.3", "type captcha@example.test", "tap 2", "type secret"},
         .open = {"tap Login", "wait 1"},
         .closeLabel = "Cancel",
         .toField = {"tap Cancel", "wait 0.3", "tab Search", "tap Keyword"}},
        {.name = "PhotoPicker",
         .reach = {"tab Post", "wait 0.3", "tap Cancel", "wait 0.3", "tap Post without Account",
                   "wait 1", "tap For Sale", "tap Bikes"},
         .open = {"tap Add Picture", "choose Pick from Camera Roll"},
         .closeLabel = "Cancel",
         .toField = {"tab Search", "tap Keyword"}},
        // ---- the catalog
        {.name = "CatalogMailComposer",
         .app = App::Catalog,
         .reach = {"tap \"Road bike\""},
         .open = {"tap Share", "choose Mail"},
         .closeLabel = "Cancel",
         .toField = {"tap Message"}},
        {.name = "CatalogMessageComposer",
         .app = App::Catalog,
         .reach = {"tap \"Road bike\""},
         .open = {"tap Share", "choose Text Message"},
         .closeLabel = "Cancel",
         .toField = {"tap Message"}},
        {.name = "CatalogShareSheet",
         .app = App::Catalog,
         .reach = {"tap \"Road bike\""},
         .open = {"tap Share"},
         .closeLabel = "Cancel",
         .toField = {"tap Message"}},
        {.name = "CatalogPhotoPicker",
         .app = App::Catalog,
         .reach = {"tab Settings"},
         .open = {"tap \"Choose Photo\""},
         .closeLabel = "Cancel",
         .toField = kToCatalogMessage},
        {.name = "CatalogPhotoBrowser",
         .app = App::Catalog,
         .reach = {"tab Catalog", "scroll down", "scroll down"},
         .open = {"tap Photos", "wait 1"},
         .closeLabel = "Catalog",
         .toField = kToCatalogMessage},
        {.name = "CatalogComposer",
         .app = App::Catalog,
         .reach = {"tab Catalog", "scroll down", "tap Message Composer"},
         .open = {"tap New Message"},
         .closeLabel = "Cancel",
         .toField = kToCatalogMessage},
        {.name = "CatalogPostPopup",
         .app = App::Catalog,
         .reach = {"tab Catalog", "scroll down", "tap Post Popup"},
         .open = {"tap Write a Note"},
         .closeLabel = "Cancel",
         .toField = kToCatalogMessage},
        {.name = "CatalogAdBrowser",
         .app = App::Catalog,
         .reach = {"tab Catalog", "tap Ads"},
         .open = {"tap Bazaarnest Plus"},
         .closeLabel = "Done",
         .toField = kToCatalogMessage},
        {.name = "CatalogSystemBannerAd",
         .app = App::Catalog,
         .setUp = weighted("iad"),
         .reach = {"tab Catalog", "tap Ads", "wait 1"},
         .open = {"tap Test Advertisement 1"},
         .toField = kToCatalogMessage},
        // The analytics library closes the canvas when the application is paused.
        {.name = "CatalogCanvas",
         .app = App::Catalog,
         .setUp = [] { TallySession::removeFilesForTesting(kNoticewallAnalyticsKey); },
         .reach = {"tab Catalog", "tap House Ads", "# the ad reply", "tap Place Banner"},
         .open = {"tap Open Canvas", "wait 1"},
         .closeLabel = "Cancel",
         .toField = kToCatalogMessage,
         .hooks = {{"# the ad reply",
                    [] {
                        EXPECT_TRUE(
                            runLoopUntil([] { return TallyAdParser::isAdParserFinished(); }));
                    }}},
         .closedByHome = true},
        {.name = "CatalogInterstitial",
         .app = App::Catalog,
         .reach = {"tab Catalog", "scroll down", "tap Interstitial"},
         .open = {"tap Show Interstitial", "wait 1"},
         .toField = kToCatalogMessage},
        // The Ironvine engine fetches its full-screen ad as the clock moves, and the next one
        // once it is closed; Menu comes ten seconds after the ad's page. The in-ad browser's
        // Done closes the ad's window.
        {.name = "CatalogFullScreenAd",
         .app = App::Catalog,
         .setUp = freshIronvine,
         .reach = {"tab Catalog", "scroll down", "tap Full-Screen Ad", "wait 10", "wait 1"},
         .open = {"tap Show Ad", "wait 11"},
         .reopen = {"wait 10", "wait 1", "tap Show Ad", "wait 11"},
         .closeLabel = "Menu",
         .close = {"tap {close}", "choose Skip", "wait 1"},
         .toField = kToCatalogMessage},
        {.name = "CatalogFullScreenAdBrowser",
         .app = App::Catalog,
         .setUp = freshIronvine,
         .reach = {"tab Catalog", "scroll down", "tap Full-Screen Ad", "wait 10", "wait 1",
                   "tap Show Ad", "wait 11"},
         .open = {"tap See the deals", "wait 1"},
         .reopen = {"wait 10", "wait 1", "tap Show Ad", "wait 11", "tap See the deals", "wait 1"},
         .closeLabel = "Done",
         .toField = kToCatalogMessage},
    };
    return table;
}

// ---- the script of a row's way ----------------------------------------------------------------

constexpr const char* kPresented = "# presented";
constexpr const char* kNext = "# next";
constexpr const char* kField = "# field";

std::string scriptFor(const Row& row, Way way, const std::string& shotPrefix) {
    Lines lines = row.reach;
    auto add = [&lines](const Lines& more) { lines.insert(lines.end(), more.begin(), more.end()); };
    Lines close = row.close.empty() ? Lines{"tap {close}", "wait 1"} : row.close;
    add(row.open);
    lines.push_back(kPresented);
    switch (way) {
        case Way::Turned:
            add({"rotate landscape-left", kPresented});
            add(close);
            lines.push_back("rotate portrait");
            break;
        case Way::MemoryWarning:
            add({"memory-warning", kPresented});
            add(close);
            break;
        case Way::HomeAndBack:
            add({"background", "foreground"});
            if (row.closedByHome) break;
            lines.push_back(kPresented);
            add(close);
            break;
        case Way::Twice:
            add(close);
            add(row.reopen.empty() ? row.open : row.reopen);
            lines.push_back(kPresented);
            add(close);
            break;
        case Way::WarningWhileTurned:
            add({"rotate landscape-left", kPresented, "memory-warning", kPresented});
            add(close);
            lines.push_back("rotate portrait");
            break;
    }
    lines.push_back("screenshot " + shotPrefix + "-next.png");
    lines.push_back(kNext);
    add(way == Way::Twice && !row.toFieldAfterReopen.empty() ? row.toFieldAfterReopen
                                                             : row.toField);
    lines.push_back("screenshot " + shotPrefix + "-field.png");
    lines.push_back(kField);
    lines.push_back("quit");
    std::string text;
    for (const auto& line : lines)
        text += line + "\n";
    return text;
}

// ---- the checks --------------------------------------------------------------------------------

const CGRect kScreen = CGRectMake(0, 0, 320, 480);

bool inside(CGRect outer, CGRect inner) {
    const CGFloat slack = 0.5f;
    return inner.origin.x >= outer.origin.x - slack && inner.origin.y >= outer.origin.y - slack &&
           CGRectGetMaxX(inner) <= CGRectGetMaxX(outer) + slack &&
           CGRectGetMaxY(inner) <= CGRectGetMaxY(outer) + slack;
}

std::string describe(CGRect r) {
    std::ostringstream s;
    s << "(" << r.origin.x << ", " << r.origin.y << ", " << r.size.width << ", " << r.size.height
      << ")";
    return s.str();
}

// A view's rectangle on the screen: in its window, then through the window's own turn about
// its middle, which stands at the window's centre on the screen.
CGRect onScreen(UIView* view, CGRect rect) {
    auto window = view->window();
    if (!window) return CGRectNull;
    CGRect b = window->bounds();
    CGPoint centre = window->center();
    CGAffineTransform place = CGAffineTransformConcat(
        CGAffineTransformConcat(
            CGAffineTransformMakeTranslation(-CGRectGetMidX(b), -CGRectGetMidY(b)),
            window->transform()),
        CGAffineTransformMakeTranslation(centre.x, centre.y));
    return CGRectApplyAffineTransform(view->convertRect(rect, window.get()), place);
}

bool blackish(RGBA c) {
    return c.r < 8 && c.g < 8 && c.b < 8;
}
bool blueKey(RGBA c) {
    return c.b > c.r + 60 && c.b > 150;
}
// The app's status bar is black; the catalog's the platform's light grey.
bool statusBarGrey(RGBA c) {
    return c.r + c.g + c.b > 3 * 150 && std::abs(c.r - c.b) < 16;
}

class SweepCase {
public:
    SweepCase(const Row& row, Way way) : row_(row), way_(way) {}

    void run() {
        InScratchFolder shots("presented-screens");
        prefix_ = std::string(row_.name) + "-" + wayName(way_);
        for (const char* end : {"-next.png", "-field.png"})
            std::filesystem::remove(shots.path() / (prefix_ + end));
        HookedLines::Hooks hooks = row_.hooks;
        hooks.push_back({kPresented, [this] { checkPresented(); }});
        hooks.push_back({kNext, [this] { checkNext(false); }});
        hooks.push_back({kField, [this] { checkNext(true); }});
        HookedLines lines(scriptFor(row_, way_, prefix_), std::move(hooks),
                          [this](const std::string& line) { return rewrite(line); });
        std::istream in(&lines);
        std::ostringstream out;
        ShellOptions options;
        options.scriptPath = "-";
        if (row_.app == App::Catalog) {
            registerCatalogApp();
            options.delegateClassName = kCatalogDelegateClassName;
        } else {
            registerAppInterfaces();
        }
        sitetest::site();
        servicestest::services();
        int status = -1;
        {
            ShellSession session(options, out, in);
            session_ = &session;
            status = session.run();
            session_ = nullptr;
        }
        apptest::endSession();
        EXPECT_EQ(status, 0);
        std::string printed = out.str();
        // Every command was carried out: none refused.
        std::istringstream text(printed);
        for (std::string line; std::getline(text, line);)
            EXPECT_NE(line.rfind("!! ", 0), 0u) << line;
        EXPECT_EQ(presentedChecks_, expectedPresentedChecks()) << tail(printed);
        EXPECT_EQ(nextChecks_, 2) << tail(printed);
        // Beside the screenshots, for a person to read what the session showed.
        writeFile(shots.path() / (prefix_ + ".transcript"), printed);
    }

private:
    int expectedPresentedChecks() const {
        // After the opening and after each step; turned, before and after the warning.
        if (way_ == Way::HomeAndBack && row_.closedByHome) return 1;
        return way_ == Way::WarningWhileTurned ? 3 : 2;
    }

    static std::string tail(const std::string& printed) {
        return printed.size() > 3000 ? "..." + printed.substr(printed.size() - 3000) : printed;
    }

    std::string rewrite(const std::string& line) const {
        std::string out = line;
        auto at = out.find("{close}");
        if (at != std::string::npos) out.replace(at, 7, std::to_string(closeNumber_));
        return out;
    }

    // The close control, as the front end numbered it: a control of the screen before a link of
    // a page shown in it that reads the same.
    const ShellElement* closeControl() const {
        const ShellElement* found = nullptr;
        for (const auto& element : session_->screen().elements()) {
            if (element.label != row_.closeLabel) continue;
            bool inPage =
                element.kind == ShellElement::WebElement || element.kind == ShellElement::Link;
            if (!inPage) return &element;
            if (!found) found = &element;
        }
        return found;
    }

    // While the screen shows: its close control is numbered, on the screen, and a hit test at
    // its middle reaches it.
    void checkPresented() {
        ++presentedChecks_;
        SCOPED_TRACE("presented, check " + std::to_string(presentedChecks_));
        const ShellScreen& screen = session_->screen();
        const ShellElement* close = closeControl();
        ASSERT_TRUE(close) << "no \"" << row_.closeLabel << "\" on the screen:\n" << screen.text();
        closeNumber_ = close->number;
        EXPECT_TRUE(ShellScreen::isReachable(*close))
            << "\"" << row_.closeLabel << "\" takes no tap:\n"
            << screen.text();
        auto view = close->view.lock();
        ASSERT_TRUE(view);
        if (close->kind == ShellElement::PanelButton) return;
        CGRect r = onScreen(view.get(), view->bounds());
        EXPECT_TRUE(inside(kScreen, r))
            << "\"" << row_.closeLabel << "\" lies at " << describe(r) << ", off the screen";
    }

    // The screen shown after the close (and, with the keyboard, after a field's tap there).
    void checkNext(bool keyboard) {
        ++nextChecks_;
        SCOPED_TRACE(keyboard ? "after a field's tap" : "after the close");
        const ShellScreen& screen = session_->screen();
        auto name = prefix_ + (keyboard ? "-field.png" : "-next.png");
        auto shot = UIImage::imageWithContentsOfFile(
            NSString::fromUTF8((std::filesystem::current_path() / name).string()));
        ASSERT_TRUE(shot) << name;
        auto pixels = UIImagePixelsOf(shot->CGImage());
        // The status bar across the top, no dark band down either edge.
        auto bar = row_.app == App::Catalog ? statusBarGrey : blackish;
        EXPECT_GT(countPixels(pixels, CGRectMake(0, 0, 320, 20), bar), 320 * 20 / 2) << name;
        EXPECT_EQ(countPixels(pixels, CGRectMake(0, 30, 4, 220), blackish), 0) << name;
        EXPECT_EQ(countPixels(pixels, CGRectMake(316, 30, 4, 220), blackish), 0) << name;
        if (keyboard) {
            // Upright: the blue return key at the bottom right, none at the left.
            EXPECT_NE(screen.text().find("(keyboard:"), std::string::npos) << screen.text();
            EXPECT_GT(countPixels(pixels, CGRectMake(240, 430, 80, 50), blueKey), 1000) << name;
            EXPECT_EQ(countPixels(pixels, CGRectMake(0, 330, 60, 150), blueKey), 0) << name;
        }
        auto window = UIApplication::sharedApplication()->keyWindow();
        ASSERT_TRUE(window);
        auto rootView = contentOf(window.get());
        ASSERT_TRUE(rootView) << "no content in the key window";
        EXPECT_TRUE(CGRectEqualToRect(rootView->frame(), CGRectMake(0, 20, 320, 460)))
            << "the root view lies at " << describe(rootView->frame());
        EXPECT_TRUE(CGAffineTransformIsIdentity(rootView->transform()))
            << "the root view is turned";
        // The controls: the platform's, and whatever the front end numbers (bar buttons, tabs,
        // rows), outside an alert's or sheet's panel.
        std::set<UIView*> numbered;
        for (const auto& element : screen.elements())
            if (auto v = element.view.lock(); v && element.kind != ShellElement::PanelButton)
                numbered.insert(v.get());
        int controls = 0;
        expectControlsOnScreen(window.get(), CGRectInfinite, numbered, controls);
        EXPECT_GT(controls, 0) << "no control on the screen";
    }

    // The window's content: its root controller's view while that is in it, else its lowest view
    // a controller owns.
    static Ref<UIView> contentOf(UIWindow* window) {
        auto root = window->rootViewController();
        if (root && root->isViewLoaded() && root->view()->window().get() == window)
            return root->view();
        auto children = window->subviews();
        for (NSUInteger i = 0; children && i < children->count(); ++i) {
            auto child = as<UIView>(children->objectAtIndex(i));
            if (child->viewController()) return child;
        }
        return nullptr;
    }

    // Every control shown lies on the screen, as far as the scrolling views it sits in show it.
    void expectControlsOnScreen(UIView* view, CGRect clip, const std::set<UIView*>& numbered,
                                int& controls) {
        if (view->isHidden() || view->alpha() < 0.01f) return;
        CGRect r = onScreen(view, view->bounds());
        if (view->clipsToBounds() || is<UIScrollView>(view)) clip = CGRectIntersection(clip, r);
        if (CGRectIsNull(clip) || CGRectIsEmpty(clip)) return;
        if (is<UIControl>(view) || numbered.count(view)) {
            CGRect shown = CGRectIntersection(r, clip);
            if (!CGRectIsNull(shown) && !CGRectIsEmpty(shown)) {
                ++controls;
                EXPECT_TRUE(inside(kScreen, shown)) << view->className()->utf8() << " lies at "
                                                    << describe(shown) << ", off the screen";
            }
        }
        auto children = view->subviews();
        for (NSUInteger i = 0; children && i < children->count(); ++i)
            expectControlsOnScreen(as<UIView>(children->objectAtIndex(i)).get(), clip, numbered,
                                   controls);
    }

    const Row& row_;
    Way way_;
    std::string prefix_;
    ShellSession* session_ = nullptr;
    int closeNumber_ = 0;
    int presentedChecks_ = 0;
    int nextChecks_ = 0;
};

// ---- the test ----------------------------------------------------------------------------------

struct Case {
    size_t row;
    Way way;
};

void PrintTo(const Case& c, std::ostream* os) {
    *os << rows()[c.row].name << " " << wayName(c.way);
}

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (size_t r = 0; r < rows().size(); ++r)
        for (Way way : {Way::Turned, Way::MemoryWarning, Way::HomeAndBack, Way::Twice,
                        Way::WarningWhileTurned})
            cases.push_back({r, way});
    return cases;
}

// A fresh install of the ad clients that keep state of their own: the Pebble client numbers its
// ads by its request count, and the Meridian client keeps its handshake and cached videos.
void forgetAdClients() {
    for (NSString* key : {NS("pebble_stats_shared"), NS("pebble_timing_shared"),
                          NS("pebble_timing_shared_boot"), NS("applicationTimeout")})
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(key);
    MRHandshake::resetSharedHandshakeForTesting();
    auto files = NSFileManager::defaultManager();
    files->removeItemAtPath(MRHandshake::statePath().get(), nullptr);
    auto library = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true)
                       ->objectAtIndex(0);
    files->removeItemAtPath(
        cast<NSString>(library)->stringByAppendingPathComponent(NS("mrsdk")).get(), nullptr);
}

class PresentedScreens : public apptest::AppSessionTest, public testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
        forgetAdClients();
        apptest::chooseDenverBikes();
        sitetest::site().reset();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        UIImagePickerController::setCameraAvailable(true);
        std::filesystem::remove_all(MFMailComposeViewController::outboxPath()->utf8());
        previousLoader_ = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    }
    void TearDown() override {
        EXPECT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
        UIWebView::setURLLoader(previousLoader_);
        std::filesystem::remove_all(MFMailComposeViewController::outboxPath()->utf8());
        sitetest::site().reset();
        AppSessionTest::TearDown();
    }
    UIWebViewURLLoader previousLoader_;
};

TEST_P(PresentedScreens, CloseControlOnTheScreenAndTheAppUprightAfter) {
    const Row& row = rows()[GetParam().row];
    if (row.setUp) row.setUp();
    SweepCase(row, GetParam().way).run();
}

INSTANTIATE_TEST_SUITE_P(Rows, PresentedScreens, testing::ValuesIn(allCases()),
                         [](const testing::TestParamInfo<Case>& info) {
                             return std::string(rows()[info.param.row].name) + "_" +
                                    wayName(info.param.way);
                         });

}  // namespace
