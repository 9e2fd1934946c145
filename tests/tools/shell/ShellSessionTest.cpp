#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSException.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "TranscriptTesting.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/services/RunningServices.h"
#include "support/site/RunningSite.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/services/MediationModule.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"

namespace fs = std::filesystem;

namespace {

const fs::path kHere = shellTestFolder();

// Runs a session of the catalog over a script given as text.
int runScript(const std::string& script, std::string& transcript,
              const std::string& delegate = kCatalogDelegateClassName) {
    registerCatalogApp();
    auto options = catalogOptions();
    options.delegateClassName = delegate;
    std::istringstream in(script);
    std::ostringstream out;
    ShellSession session(options, out, in);
    int status = session.run();
    transcript = out.str();
    return status;
}

// The sandbox's photo library and outbox as the catalog transcript expects them: one photo that
// can be read, one that cannot, no mail sent before.
void prepareSandbox() {
    fs::path outbox = MFMailComposeViewController::outboxPath()->utf8();
    fs::remove_all(outbox);
    fs::path photos = UIImagePickerController::photoLibraryPath()->utf8();
    fs::remove_all(photos);
    fs::create_directories(photos);
    static const unsigned char png[] = {
        0x89, 0x50, 0x4E, 0x47, 0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D, 0x49, 0x48,
        0x44, 0x52, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x08, 0x06, 0x00, 0x00,
        0x00, 0x1F, 0x15, 0xC4, 0x89, 0x00, 0x00, 0x00, 0x0A, 0x49, 0x44, 0x41, 0x54, 0x78,
        0x9C, 0x63, 0x00, 0x01, 0x00, 0x00, 0x05, 0x00, 0x01, 0x0D, 0x0A, 0x2D, 0xB4, 0x00,
        0x00, 0x00, 0x00, 0x49, 0x45, 0x4E, 0x44, 0xAE, 0x42, 0x60, 0x82};
    writeFile(photos / "beach.png", std::string(reinterpret_cast<const char*>(png), sizeof png));
    writeFile(photos / "broken.jpg", "not a picture");
}

}  // namespace

// The whole catalog, every command, against the transcript kept beside this file.
TEST(ShellSession, TheCatalogScriptPrintsTheExpectedTranscript) {
    InScratchFolder scratch("catalog");
    EarlierWriterLeftover logo(
        NSTemporaryDirectory()->stringByAppendingPathComponent(NS("About/logo.png")));
    prepareSandbox();
    registerCatalogApp();
    expectTranscript(kHere / "catalog.transcript", runCatalogScript(kHere / "catalog.script"));
    // The mail the script sent is in the outbox.
    fs::path outbox = MFMailComposeViewController::outboxPath()->utf8();
    std::string mail = readFile(outbox / "mail-0001.eml");
    EXPECT_NE(mail.find("Subject: Road bike"), std::string::npos) << mail;
    EXPECT_TRUE(logo.gone());  // the About page's logo is one of the catalog's own files
    // The last screen is the About page: its logo, a blue tile, stands before "Read the".
    fs::path shot = fs::current_path() / "home.png";
    auto home = UIImage::imageWithContentsOfFile(NSString::fromUTF8(shot.string()));
    ASSERT_TRUE(home) << shot;
    EXPECT_GT(countPixels(home, CGRectMake(8, 140, 60, 80),
                          [](RGBA c) { return c.b > 150 && c.r < 120; }),
              1000);
}

// A memory warning lets a screen's view go while another covers it (a presented screen, or
// another tab): the view made again shows what the person set there and what came back to it,
// as the view kept without the warning does. Each row: the steps up to the covering screen, the
// commands that bring the screen back, and what its screen shows then.
TEST(ShellSession, ScreensShowWhatWasSetAgainAfterAMemoryWarning) {
    struct Row {
        const char* name;
        std::string start;
        std::string back;
        std::vector<std::string> shows;
    };
    const Row rows[] = {
        {"the listing under the mail composer",
         "tap \"Road bike\"\ntap Message\ntype Is it still available?\nreturn\nchoose Cancel\n"
         "tap \"Watch this item\"\ntap Share\nchoose Mail\n",
         "send",
         {"Shared by mail", "Is it still available?", "switch: ON"}},
        {"the settings under the photo picker",
         "tab Settings\ntap 1\ntap Cheapest\ntap Europe\ntap \"Choose Photo\"\n",
         "pick 1",
         {"switch: OFF", "*Cheapest*", "*Europe*", "beach.png"}},
        {"the message composer's screen under the composer",
         "tab Catalog\nscroll down\ntap Message Composer\ntap New Message\n",
         "tap Cancel",
         {"Cancelled"}},
        {"the tabs screen from another tab",
         "tab Catalog\nscroll down 10\ntap Tabs\ntap Nearby\ntap Caravans\ntap Year\n"
         "tab Listings\n",
         "tab Catalog",
         {"(*Nearby*)", "(*Caravans*)", "(*Year*)", "Selected: Year"}},
        {"the search screen from another tab",
         "tab Catalog\nscroll down\ntap Search\ntap Names\ntype ada\nwait 0.1\ntap Ada Brandt\n"
         "tab Listings\n",
         "tab Catalog",
         {"[ada]", "Chose Ada Brandt"}},
        {"the token picker from another tab",
         "tab Catalog\nscroll down\ntap Token Picker\ntap To:\ntype tan\nwait 0.1\n"
         "tap Cora Tanaka\nreturn\ntab Listings\n",
         "tab Catalog",
         {"To: [2] Cora Tanaka", "Tokens: Cora Tanaka"}},
        {"the widgets screen from another tab",
         "tab Catalog\ntap Widgets\ntap Page dots\ntap Page dots\ntab Listings\n",
         "tab Catalog",
         {"Page 3 of 4"}},
        {"the styles screen from another tab",
         "tab Catalog\ntap Styles\ntap Gray\ntab Listings\n",
         "tab Catalog",
         {"Tapped Gray"}},
        {"the ads screen under its ad's browser",
         "tab Catalog\ntap Ads\ntap Bazaarnest Plus\n",
         "tap Done",
         {"Back from the ad", "(Bazaarnest Plus)"}},
        {"the ads screen refreshing after its ad's browser",
         "tab Catalog\ntap Ads\ntap Bazaarnest Plus\n",
         "tap Done\nwait 30",
         {"Showing a house ad", "(Bazaarnest Plus: list faster"}},
        {"the ads screen refreshing after the pings",
         "tab Catalog\ntap Ads\ntap Pings\n",
         "back\nwait 30",
         {"Showing a house ad", "(Bazaarnest Plus: list faster"}},
    };
    InScratchFolder scratch("catalog-memory-warning");
    // The search screens complete names over the services' names service.
    servicestest::services().reset();
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        auto lastScreen = [&](const std::string& between) {
            prepareSandbox();
            servicestest::services().reset();  // the house ads start again from the first
            servicestest::services()
                .module<bnservices::MediationModule>("mediation")
                ->weightTo("house");
            std::string transcript;
            EXPECT_EQ(runScript(row.start + between + row.back + "\n", transcript), 0);
            // The screen after the last of the commands that bring it back.
            std::string last = row.back.substr(row.back.rfind('\n') + 1);
            std::string screen = transcript.substr(transcript.rfind("> " + last + "\n"));
            // The settings' count of warnings is the one line that differs.
            auto count = screen.find("Memory warnings: ");
            if (count != std::string::npos) screen.erase(count, screen.find('\n', count) - count);
            return screen;
        };
        std::string kept = lastScreen("");
        std::string warned = lastScreen("memory-warning\n");
        for (const auto& piece : row.shows)
            EXPECT_NE(kept.find(piece), std::string::npos) << piece << "\n" << kept;
        EXPECT_EQ(warned, kept);
    }
}

TEST(ShellSession, EachSessionStartsAFreshAppOnTheSameClock) {
    const std::string script = "tap Refresh\nwait 2\ntab Settings\ntap 1\n";
    std::string first, second;
    EXPECT_EQ(runScript(script, first), 0);
    EXPECT_EQ(runScript(script, second), 0);
    EXPECT_EQ(first, second);
    EXPECT_NE(first.find("Kayak"), std::string::npos);
    EXPECT_FALSE(UIApplication::sharedApplication()->isTerminating());
    EXPECT_EQ(UIApplication::sharedApplication()->keyWindow(), nullptr);
    EXPECT_FALSE(Clock::isManual());

    // An app that ended with an alert or the keyboard up leaves neither to the next one.
    for (const char* ending : {"tap 3\ntap Send Reply\n", "tap 3\ntap Message\n"}) {
        std::string ended, next;
        EXPECT_EQ(runScript(ending, ended), 0);
        EXPECT_TRUE(ended.find("== Alert: Notice ==") != std::string::npos ||
                    ended.find("(keyboard") != std::string::npos)
            << ended;
        EXPECT_EQ(runScript("quit\n", next), 0);
        EXPECT_EQ(next.find("== Alert"), std::string::npos) << next;
        EXPECT_EQ(next.find("(keyboard"), std::string::npos) << next;
    }
}

TEST(ShellSession, TimeMovesOnlyWithWaitInScripts) {
    std::string transcript;
    // The refresh ends two seconds on: not before, and exactly then.
    EXPECT_EQ(runScript("tap Refresh\nwait 1.999\n", transcript), 0);
    EXPECT_EQ(transcript.find("Kayak"), std::string::npos);
    EXPECT_EQ(runScript("tap Refresh\nwait 1\nwait 1\n", transcript), 0);
    EXPECT_NE(transcript.find("Kayak"), std::string::npos);
}

TEST(ShellSession, CommandsThatCannotBeCarriedOutPrintNoScreen) {
    std::string transcript;
    EXPECT_EQ(runScript("tap 42\npick 1\n", transcript), 0);
    EXPECT_NE(transcript.find("> tap 42\n!! There is no [42] on the screen.\n> pick 1\n"
                              "!! The photo picker is not showing.\n"),
              std::string::npos)
        << transcript;

    // With the app in the background the home screen is in front: nothing of the app prints,
    // and a tap, a row's number or typing reach nothing until "foreground".
    EXPECT_EQ(
        runScript("background\ntap 3\ntap Road bike\ntype x\nforeground\ntap 3\n", transcript), 0);
    const std::string away = "(The app is in the background: \"foreground\" opens it again.)\n";
    const std::string refused = "!! The app is in the background: \"foreground\" opens it again.\n";
    EXPECT_NE(transcript.find("> background\n" + std::string(60, '-') + "\n" + away),
              std::string::npos)
        << transcript;
    EXPECT_NE(transcript.find("> tap 3\n" + refused + "> tap Road bike\n" + refused + "> type x\n" +
                              refused + "> foreground\n"),
              std::string::npos)
        << transcript;
    // Opened again, the list is back and its rows take taps.
    EXPECT_NE(transcript.find("[3] Road bike - $120 >"), std::string::npos) << transcript;
    EXPECT_NE(transcript.find("| Road bike |"), std::string::npos) << transcript;
}

// What a finger does to each kind of element (on the list unless steps lead to its screen),
// counted by a mark in what prints from the gesture on (a screen pushed twice has its own title on
// its back button, an alert raised twice comes back after its OK). A finger lands on the numbered
// part, where it shows (not on a bar over half of it), a control counts its first finger only,
// one that slides selects nothing, and the second tap of two lands on what the first raised.
TEST(ShellSession, EachGestureActsOnceOnThePartItNames) {
    sitetest::site();                  // the browser's pages, through the platform's loading
    servicestest::services().reset();  // the photo sets
    auto previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    std::map<std::string, std::string> screens;
    screens["button"] = screens["back button"] = "tap 3\n";
    screens["sheet button"] = "tap 3\ntap Share\n";
    screens["segment"] = screens["picker row"] = "tab Settings\n";
    screens["editing control"] = "tap 1\n";
    screens["web link"] = "tab About\n";
    screens["web field"] = "tab Catalog\ntap Browser\ntap 3\n";
    screens["photo browser"] = "tab Catalog\nscroll down\nscroll down\ntap Photos\nwait 1\n";
    screens["accessory"] = "tab Catalog\ntap Tables\n";
    screens["clear button"] = "tab Catalog\nscroll down\ntap Search\ntap Names\ntype ada\n";
    screens["delete button"] = "delete 5\n";
    screens["row half under the tab bar"] = "tab Catalog\n";  // [9] House Ads
    screens["third screen's back button"] = "tab Catalog\ntap Tables\ntap Paged items\n";
    screens["site page"] = "tab Catalog\ntap Browser\nwait 1\n";  // [3] boston
    screens["photo grid"] = screens["photo browser"] + "tap See All\nwait 1\n";
    struct Row {
        const char *kind, *gesture, *mark;
        int times;
    };
    const Row rows[] = {
        {"row", "drag 6 by 0 -150", "[3] Bookshelf - $40 >", 1},
        {"row", "swipe left", "(Delete)", 1},
        {"row", "pinch 4 0.5", "Sofa |", 0},
        {"row", "pinch 4 2", "Sofa |", 0},
        {"delete button", "hold 6", "Desk lamp", 0},
        {"button", "pinch 3 0.5\nchoose OK", "Please type a message first.", 1},
        {"button", "pinch 3 2\nchoose OK", "Please type a message first.", 1},
        {"button", "double-tap 3\nchoose OK", "Please type a message first.", 1},
        {"row half under the tab bar", "hold 9", "| House Ads |", 1},
        {"row half under the tab bar", "drag 9 by 3 3", "| House Ads |", 1},
        {"row half under the tab bar", "pinch 9 2", "*Catalog*", 1},
        {"segment", "hold 4", "*Nearest*", 1},
        {"segment", "drag 4 by 3 0", "*Nearest*", 1},
        {"segment", "pinch 4 0.5", "*Nearest*", 1},
        {"sheet button", "hold 3", "[6] (Share)", 1},
        {"sheet button", "drag 3 by 4 0", "[6] (Share)", 1},
        {"sheet button", "pinch 3 0.5", "[6] (Share)", 1},
        {"sheet button", "pinch 3 2", "[6] (Share)", 1},
        {"tab", "hold 12", "*Settings*", 1},
        {"tab", "drag 12 by 3 0", "*Settings*", 1},
        {"tab", "pinch 12 0.5", "*Settings*", 1},
        {"tab", "pinch 12 2", "*Settings*", 1},
        {"bar button", "hold 1", "(Done)", 1},
        {"bar button", "drag 1 by 3 0", "(Done)", 1},
        {"bar button", "pinch 1 0.5", "(Done)", 1},
        {"bar button", "pinch 1 2", "(Done)", 1},
        {"back button", "hold 1", "| Listings |", 1},
        {"back button", "pinch 1 0.5", "| Listings |", 1},
        {"editing control", "hold 3", "(Delete)", 1},
        {"editing control", "pinch 3 2", "(Delete)", 1},
        {"accessory", "hold 7", "| Shared", 1},
        {"accessory", "drag 7 by 3 0", "| Shared", 1},
        {"clear button", "hold 3", "[_(Names)]", 1},
        {"picker row", "hold 8", "*Europe*", 1},
        {"picker row", "drag 7 by 3 0", "*Canada*", 1},
        {"web link", "hold 1", "Handed off", 1},
        {"web link", "drag 1 by 0 3", "Handed off", 1},
        {"web field", "hold 5\ntype hello", "[text: hello]", 1},
        {"photo browser", "double-tap 2", "| Photo set many |", 1},
        {"third screen's back button", "double-tap 1", "| Tables |", 1},
        {"photo grid", "back", "!! There is no back button", 1},
        {"site page", "double-tap 3", "| bazaarnest: boston classifieds", 1},
        {"web field", "drag 5 by 3 0\ntype hello", "[text: hello]", 1},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.kind) + ": " + row.gesture);
        std::string transcript;
        EXPECT_EQ(runScript(screens[row.kind] + row.gesture + "\n", transcript), 0);
        EXPECT_EQ(timesFromCommand(transcript, row.gesture, row.mark), row.times) << transcript;
    }
    UIWebView::setURLLoader(previousLoader);
}

namespace {
// An app whose only button raises, as a bug would.
class FaultyDelegate : public NSObject, public UIApplicationDelegate {
    NS_OBJECT(FaultyDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"application:didFinishLaunchingWithOptions:", "applicationWillTerminate:"});
        c.method("boom:", &FaultyDelegate::boom);
    }
    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        auto b = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        b->setFrame(CGRectMake(20, 40, 280, 37));
        b->setTitle(NS("Boom"), UIControlStateNormal);
        b->addTarget(this, Selector::named("boom:"), UIControlEventTouchUpInside);
        window_->addSubview(b);
        window_->makeKeyAndVisible();
        return true;
    }
    void applicationWillTerminate(UIApplication*) override { ++terminations; }
    void boom(NSObject*) { NSException::raise(NSRangeException, NS("index 7 beyond bounds")); }
    Ref<UIWindow> window() override { return window_; }
    static inline int terminations = 0;

private:
    Ref<UIWindow> window_;
};
}  // namespace

TEST(ShellSession, AnExceptionNobodyCatchesEndsTheApp) {
    FaultyDelegate::staticClass();
    FaultyDelegate::terminations = 0;
    std::string transcript;
    EXPECT_EQ(runScript("tap Boom\ntap Boom\n", transcript, "FaultyDelegate"), 1);
    EXPECT_NE(transcript.find("> tap Boom\n*** Terminating app due to uncaught exception "
                              "'NSRangeException', reason: 'index 7 beyond bounds'\n"),
              std::string::npos)
        << transcript;
    // Nothing after the fault runs.
    EXPECT_EQ(transcript.rfind("> tap Boom"), transcript.find("> tap Boom"));
    EXPECT_EQ(FaultyDelegate::terminations, 1);
}

TEST(ShellSession, AnUnknownDelegateClassEndsTheAppBeforeItStarts) {
    std::string transcript;
    EXPECT_EQ(runScript("tap 1\n", transcript, "NoSuchDelegate"), 1);
    EXPECT_NE(transcript.find("*** Terminating app due to uncaught exception "
                              "'NSInternalInconsistencyException'"),
              std::string::npos)
        << transcript;
    EXPECT_EQ(transcript.find("> tap 1"), std::string::npos);
    // The next session still starts.
    EXPECT_EQ(runScript("quit\n", transcript), 0);
    EXPECT_NE(transcript.find("| Listings |"), std::string::npos);
}

TEST(ShellSession, TheProgramsOptions) {
    std::istringstream in;
    std::ostringstream out;
    char program[] = "bazaarnest";
    char help[] = "--help";
    char* helpArgs[] = {program, help};
    EXPECT_EQ(ShellMain(2, helpArgs, kCatalogDelegateClassName, out, in), 0);
    EXPECT_NE(out.str().find("--script FILE"), std::string::npos);
    EXPECT_NE(out.str().find("memory-warning"), std::string::npos);
    // The log's file is named, and the command that prints it listed.
    EXPECT_NE(out.str().find("--log FILE"), std::string::npos);
    EXPECT_NE(out.str().find("Library/Logs/bazaarnest.log"), std::string::npos);
    EXPECT_NE(out.str().find("  log "), std::string::npos);

    char script[] = "--script=/nonexistent/demo.script";
    char* scriptArgs[] = {program, script};
    std::ostringstream missing;
    EXPECT_EQ(ShellMain(2, scriptArgs, kCatalogDelegateClassName, missing, in), 2);
    EXPECT_NE(missing.str().find("Cannot read the script /nonexistent/demo.script"),
              std::string::npos);

    char bogus[] = "--bogus";
    char* bogusArgs[] = {program, bogus};
    std::ostringstream unknown;
    EXPECT_EQ(ShellMain(2, bogusArgs, kCatalogDelegateClassName, unknown, in), 2);
}
