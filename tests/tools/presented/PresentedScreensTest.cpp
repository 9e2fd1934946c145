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
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "AdLoom/internal/AdLoomConfigStore.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Foundation/NSHTTPCookieStorage.h"
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
#include "tools/standin/HttpMessage.h"

namespace {

[[maybe_unused]] testing::Environment* const kAppBundle =
    testing::AddGlobalTestEnvironment(new apptest::AppBundle);

enum class App { Bazaarnest, Catalog };

using Lines = std::vector<std::string>;

// One screen laid over another. The commands are script lines; "tap {close}" taps the close
// control the last check found, "{captcha}" stands for the words of the site's newest captcha.
struct Row {
    const char* name;
    App app;
    // Before the session (the mediation's weighting, a fresh ad engine).
    std::function<void()> setUp;
    // From the first screen to the one the screen is opened from.
    Lines reach;
    // What opens it; `reopen` opens it again after a close (empty: `open` again).
    Lines open;
    Lines reopen;
    // Its close control's label, and what closes it (empty: tap that control, then a second).
    const char* closeLabel;
    Lines close;
    // From the screen shown after the close to a text field there, tapped.
    Lines toField;
    // Run before a line equal to the marker is read (a session's own waits).
    HookedLines::Hooks hooks;
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

// The Pebble client numbers its ads by its request count, which starts afresh with the install.
void forgetPebble() {
    for (NSString* key : {NS("pebble_stats_shared"), NS("pebble_timing_shared"),
                          NS("pebble_timing_shared_boot"), NS("applicationTimeout")})
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(key);
}

std::function<void()> pebbleWeighted(const std::string& network) {
    return [network] {
        apptest::weightBannersTo(network);
        forgetPebble();
    };
}

void freshIronvine() {
    servicestest::forgetTheIronvineEngine();
}

// ---- the table ---------------------------------------------------------------------------------

const Lines kToKeywordFromList{"back", "tap Keyword"};
const Lines kToKeywordFromItem{"back", "back", "tap Keyword"};
const Lines kToCatalogMessage{"tab Listings", "tap \"Road bike\"", "tap Message"};

const std::vector<Row>& rows() {
    static const std::vector<Row> table{
        // ---- the app's banners and their ad networks
        {"PebbleBrowser",
         App::Bazaarnest,
         pebbleWeighted("pebble"),
         {"tap Browse All", "wait 1"},
         {"tap Shop now", "wait 1"},
         {},
         "Done",
         {},
         kToKeywordFromList,
         {}},
        {"PebbleWebApp",
         App::Bazaarnest,
         pebbleWeighted("pebble-webapp"),
         {"tap Browse All", "wait 1"},
         {"tap Shop now", "wait 1"},
         {},
         "Close",
         {},
         kToKeywordFromList,
         {}},
        {"PebbleMail",
         App::Bazaarnest,
         pebbleWeighted("pebble"),
         {"tap Browse All", "wait 1"},
         {"tap Mail"},
         {},
         "Cancel",
         {},
         kToKeywordFromList,
         {}},
        {"MeridianOverlay",
         App::Bazaarnest,
         weighted("meridian"),
         {"tap Browse All", "wait 1", "tap 3", "wait 1"},
         {"tap Order now", "wait 1"},
         {},
         "Close",
         {},
         kToKeywordFromItem,
         {}},
        {"MeridianImageAd",
         App::Bazaarnest,
         weighted("meridian-image"),
         {"tap Browse All", "wait 1"},
         {"tap Advertisement", "wait 1"},
         {},
         "Close",
         {},
         kToKeywordFromList,
         {}},
        {"MeridianVideo",
         App::Bazaarnest,
         weighted("meridian-video"),
         {"tap Browse All", "wait 1"},
         {"tap 3", "wait 2"},
         {"back", "wait 1", "tap 3", "wait 2"},
         "Done",
         {},
         kToKeywordFromItem,
         {}},
        {"MeridianVisit",
         App::Bazaarnest,
         weighted("meridian-video"),
         {"tap Browse All", "wait 1", "tap 3", "wait 2"},
         {"tap Visit", "wait 1"},
         {},
         "Close",
         {"tap {close}", "wait 1", "tap Done", "wait 1"},
         kToKeywordFromItem,
         {}},
        {"IronvineBannerBrowser",
         App::Bazaarnest,
         [] {
             freshIronvine();
             apptest::weightBannersTo("ironvine");
         },
         {"tap Browse All", "wait 10", "wait 1"},
         {"tap Bazaar deals near you", "wait 3"},
         {"wait 5", "tap Bazaar deals near you", "wait 3"},
         "Done",
         {},
         kToKeywordFromList,
         {}},
        {"HouseAdBrowser",
         App::Bazaarnest,
         nullptr,
         {"tap Browse All"},
         {"tap Bazaarnest Plus"},
         {},
         "Done",
         {},
         kToKeywordFromList,
         {}},
        {"SystemBannerAd",
         App::Bazaarnest,
         weighted("iad"),
         {"tap Browse All", "wait 1"},
         {"tap Test Advertisement 1"},
         {},
         "Close",
         {},
         kToKeywordFromList,
         {}},
        // ---- the app's own screens
        {"MailComposer",
         App::Bazaarnest,
         nullptr,
         {"tap Browse All", "scroll down 6", "tap 4"},
         {"tap Reply", "choose Reply with Email"},
         {},
         "Cancel",
         {},
         kToKeywordFromItem,
         {}},
        {"MessageComposer",
         App::Bazaarnest,
         nullptr,
         {"tap Browse All", "scroll down 6", "tap 4"},
         {"tap Reply", "choose Text 940-555-0141"},
         {},
         "Cancel",
         {},
         kToKeywordFromItem,
         {}},
        {"ShareSheet",
         App::Bazaarnest,
         nullptr,
         {"tap Browse All", "scroll down 6", "tap 4"},
         {"tap Share"},
         {},
         "Cancel",
         {},
         kToKeywordFromItem,
         {}},
        {"CaptchaScreen",
         App::Bazaarnest,
         nullptr,
         {"tap Browse All", "tap 5"},
         {"tap Reply", "choose Reply with Email", "wait 1"},
         {},
         "Cancel",
         {},
         kToKeywordFromItem,
         {}},
        {"PhotoPicker",
         App::Bazaarnest,
         nullptr,
         {"tab Post", "wait 0.3", "tap Cancel", "wait 0.3", "tap Post without Account", "wait 1",
          "tap For Sale", "tap Bikes"},
         {"tap Add Picture", "choose Pick from Camera Roll"},
         {},
         "Cancel",
         {},
         {"tap Title"},
         {}},
        // ---- the catalog
        {"CatalogMailComposer",
         App::Catalog,
         nullptr,
         {"tap \"Road bike\""},
         {"tap Share", "choose Mail"},
         {},
         "Cancel",
         {},
         {"tap Message"},
         {}},
        {"CatalogMessageComposer",
         App::Catalog,
         nullptr,
         {"tap \"Road bike\""},
         {"tap Share", "choose Text Message"},
         {},
         "Cancel",
         {},
         {"tap Message"},
         {}},
        {"CatalogShareSheet",
         App::Catalog,
         nullptr,
         {"tap \"Road bike\""},
         {"tap Share"},
         {},
         "Cancel",
         {},
         {"tap Message"},
         {}},
        {"CatalogPhotoPicker",
         App::Catalog,
         nullptr,
         {"tab Settings"},
         {"tap \"Choose Photo\""},
         {},
         "Cancel",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogPhotoBrowser",
         App::Catalog,
         nullptr,
         {"tab Catalog", "scroll down", "scroll down"},
         {"tap Photos", "wait 1"},
         {},
         "Catalog",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogComposer",
         App::Catalog,
         nullptr,
         {"tab Catalog", "scroll down", "tap Message Composer"},
         {"tap New Message"},
         {},
         "Cancel",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogPostPopup",
         App::Catalog,
         nullptr,
         {"tab Catalog", "scroll down", "tap Post Popup"},
         {"tap Write a Note"},
         {},
         "Cancel",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogAdBrowser",
         App::Catalog,
         nullptr,
         {"tab Catalog", "tap Ads"},
         {"tap Bazaarnest Plus"},
         {},
         "Done",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogSystemBannerAd",
         App::Catalog,
         weighted("iad"),
         {"tab Catalog", "tap Ads", "wait 1"},
         {"tap Test Advertisement 1"},
         {},
         "Close",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogCanvas",
         App::Catalog,
         [] { TallySession::removeFilesForTesting(kNoticewallAnalyticsKey); },
         {"tab Catalog", "tap House Ads", "# the ad reply", "tap Place Banner"},
         {"tap Open Canvas", "wait 1"},
         {},
         "Cancel",
         {},
         kToCatalogMessage,
         {{"# the ad reply",
           [] { EXPECT_TRUE(runLoopUntil([] { return TallyAdParser::isAdParserFinished(); })); }}}},
        {"CatalogInterstitial",
         App::Catalog,
         forgetPebble,
         {"tab Catalog", "scroll down", "tap Interstitial"},
         {"tap Show Interstitial", "wait 1"},
         {},
         "Close",
         {},
         kToCatalogMessage,
         {}},
        {"CatalogFullScreenAd",
         App::Catalog,
         freshIronvine,
         {"tab Catalog", "scroll down", "tap Full-Screen Ad", "wait 10", "wait 1"},
         {"tap Show Ad", "wait 11"},
         {"wait 10", "wait 1", "tap Show Ad", "wait 11"},
         "Menu",
         {"tap {close}", "choose Skip", "wait 1"},
         kToCatalogMessage,
         {}},
        {"CatalogFullScreenAdBrowser",
         App::Catalog,
         freshIronvine,
         {"tab Catalog", "scroll down", "tap Full-Screen Ad", "wait 10", "wait 1", "tap Show Ad",
          "wait 11"},
         {"tap See the deals", "wait 1"},
         {},
         "Done",
         {},
         kToCatalogMessage,
         {}},
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
            add({"background", "foreground", kPresented});
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
    add(row.toField);
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
            EXPECT_NE(line.rfind("!! ", 0), 0u) << line << "\n" << tail(printed);
        EXPECT_EQ(presentedChecks_, expectedPresentedChecks()) << tail(printed);
        EXPECT_EQ(nextChecks_, 2) << tail(printed);
        if (testing::Test::HasFailure())
            writeFile(shots.path() / (prefix_ + ".transcript"), printed);
    }

private:
    int expectedPresentedChecks() const {
        return way_ == Way::MemoryWarning || way_ == Way::HomeAndBack || way_ == Way::Turned ? 2
                                                                                             : 3;
    }

    static std::string tail(const std::string& printed) {
        return printed.size() > 3000 ? "..." + printed.substr(printed.size() - 3000) : printed;
    }

    std::string rewrite(const std::string& line) {
        std::string out = line;
        auto at = out.find("{close}");
        if (at != std::string::npos) out.replace(at, 7, std::to_string(closeNumber_));
        at = out.find("{captcha}");
        if (at != std::string::npos)
            out.replace(at, 9, sitetest::site().lastCaptchaAnswer().value_or("(none)"));
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
        // The status bar across the top, no dark band down either edge.
        auto bar = row_.app == App::Catalog ? statusBarGrey : blackish;
        EXPECT_GT(countPixels(shot.get(), CGRectMake(0, 0, 320, 20), bar), 320 * 20 / 2) << name;
        EXPECT_EQ(countPixels(shot.get(), CGRectMake(0, 30, 4, 220), blackish), 0) << name;
        EXPECT_EQ(countPixels(shot.get(), CGRectMake(316, 30, 4, 220), blackish), 0) << name;
        if (keyboard) {
            // Upright: the blue return key at the bottom right, none at the left.
            EXPECT_NE(screen.text().find("(keyboard:"), std::string::npos) << screen.text();
            EXPECT_GT(countPixels(shot.get(), CGRectMake(240, 430, 80, 50), blueKey), 1000) << name;
            EXPECT_EQ(countPixels(shot.get(), CGRectMake(0, 330, 60, 150), blueKey), 0) << name;
        }
        auto window = UIApplication::sharedApplication()->keyWindow();
        ASSERT_TRUE(window);
        auto root = window->rootViewController();
        ASSERT_TRUE(root);
        auto rootView = root->view();
        EXPECT_TRUE(CGRectEqualToRect(rootView->frame(), CGRectMake(0, 20, 320, 460)))
            << "the root view lies at " << describe(rootView->frame());
        EXPECT_TRUE(CGAffineTransformIsIdentity(rootView->transform()))
            << "the root view is turned";
        expectControlsOnScreen(window.get(), CGRectInfinite);
    }

    // Every control shown lies on the screen, as far as the scrolling views it sits in show it.
    void expectControlsOnScreen(UIView* view, CGRect clip) {
        if (view->isHidden() || view->alpha() < 0.01f) return;
        CGRect r = onScreen(view, view->bounds());
        if (view->clipsToBounds() || is<UIScrollView>(view)) clip = CGRectIntersection(clip, r);
        if (CGRectIsNull(clip) || CGRectIsEmpty(clip)) return;
        if (is<UIControl>(view)) {
            CGRect shown = CGRectIntersection(r, clip);
            if (!CGRectIsNull(shown) && !CGRectIsEmpty(shown)) {
                EXPECT_TRUE(inside(kScreen, shown)) << view->className()->utf8() << " lies at "
                                                    << describe(shown) << ", off the screen";
            }
        }
        auto children = view->subviews();
        for (NSUInteger i = 0; children && i < children->count(); ++i)
            expectControlsOnScreen(as<UIView>(children->objectAtIndex(i)).get(), clip);
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

std::vector<Case> allCases() {
    std::vector<Case> cases;
    for (size_t r = 0; r < rows().size(); ++r)
        for (Way way : {Way::Turned, Way::MemoryWarning, Way::HomeAndBack, Way::Twice,
                        Way::WarningWhileTurned})
            cases.push_back({r, way});
    return cases;
}

class PresentedScreens : public apptest::AppSessionTest, public testing::WithParamInterface<Case> {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
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
