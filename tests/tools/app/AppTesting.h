// The app's transcripts: sessions of the app itself (its main interface file makes the
// delegate) over scripts kept beside the tests, against the stand-in site and services server in
// process, on the bundle made beside the program. Each session starts from a fresh install: no
// preferences, no stored locations, categories or saved searches; the mediation service gives
// the app's banners house ads only, so that what they show does not depend on a dart.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "AdLoom/internal/AdLoomConfigStore.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Classes/Interfaces/AppInterfaces.h"
#include "Classes/Settings.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "support/site/RunningSite.h"
#include "tools/services/MediationModule.h"
#include "tools/shell/ShellPictureNames.h"
#include "tools/shell/ShellSession.h"
#include "tools/shell/TranscriptTesting.h"

namespace apptest {

// The folder of the app's scripts and transcripts in the source tree.
inline std::filesystem::path appTestFolder() {
    return std::filesystem::path(BN_SOURCE_DIR) / "tests" / "tools" / "app";
}

// The documents folder of the sandbox.
inline std::filesystem::path documentsFolder() {
    auto paths = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return as<NSString>(paths->lastObject())->utf8();
}

// The search the result-list transcripts start from: bikes for sale in Denver.
inline void chooseDenverBikes() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(NS("Denver"), NS("LocationName"));
    defaults->setObject(NS("http://denver.bazaarnest.test"), NS("LocationUrl"));
    defaults->setObject(NS("Colorado"), NS("LocationState"));
    defaults->setObject(NS("Bikes"), NS("CatagoryName"));
    defaults->setObject(NS("bik/"), NS("CatagoryUrl"));
    defaults->setObject(NS("For Sale"), NS("CatagorySection"));
    defaults->synchronize();
}

// A fresh install: the preferences and the app's stores gone.
inline void freshInstall() {
    NSUserDefaults::standardUserDefaults()->removePersistentDomain();
    Settings::resetShared();
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(documentsFolder(), error)) {
        std::string name = entry.path().filename().string();
        if (name.rfind("Noticwall.sqlite", 0) == 0 || name == "data.sqlite3")
            std::filesystem::remove(entry.path(), error);
    }
}

// Takes every mediation banner under `view` out of its holder.
inline void removeBanners(UIView* view) {
    if (!view) return;
    if (dynamic_cast<AdLoomView*>(view)) {
        view->removeFromSuperview();
        return;
    }
    auto children = view->subviews();
    for (NSUInteger i = 0; children && i < children->count(); ++i)
        removeBanners(as<UIView>(children->objectAtIndex(i)).get());
}

// After a session: the ended app is off the screen. Its screens outlive the session in this
// process, and their banners would go on asking for ads whenever a later loop passes their
// refresh time: told the app is inactive, they ask for none.
inline void endSession() {
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillResignActiveNotification, UIApplication::sharedApplication().get());
    // The next session's start makes the app active again, which would wake them: taken out of
    // their screens, the banners drop their refresh timers for good.
    auto windows = UIApplication::sharedApplication()->windows();
    for (NSUInteger i = 0; windows && i < windows->count(); ++i)
        removeBanners(as<UIView>(windows->objectAtIndex(i)).get());
}

// Runs the app over the script's text; `hook` runs just before the line `marker` is read. On
// the real clock the lines are read as a person's would be, one after the other.
inline std::string runApp(const std::string& script, const std::string& marker = "",
                          std::function<void()> hook = nullptr, int* status = nullptr,
                          bool realClock = false) {
    registerAppInterfaces();
    sitetest::site();
    servicestest::services();
    HookedLines lines(script, marker, std::move(hook));
    std::istream in(&lines);
    std::ostringstream out;
    ShellOptions options;
    if (!realClock) options.scriptPath = "-";
    ShellSession session(options, out, in);
    int result = session.run();
    endSession();
    if (status) *status = result;
    return out.str();
}

// Runs the script file `name`.script and compares the printout with `name`.transcript.
inline void expectAppTranscript(const std::string& name, const std::string& marker = "",
                                std::function<void()> hook = nullptr) {
    auto here = appTestFolder();
    int status = -1;
    std::string out = runApp(readFile(here / (name + ".script")), marker, std::move(hook), &status);
    EXPECT_EQ(status, 0);
    expectTranscript(here / (name + ".transcript"), out);
}

// The app's screens whose transcript tests check the front end's names for the app's pictures
// (tools/shell/ShellPictureNames.cpp): every entry of that table serves one of them.
inline const std::vector<std::string>& screensCheckingPictureNames() {
    static const std::vector<std::string> screens{"results-item", "post-photos"};
    return screens;
}

// Runs `test` (the transcript test of the script `screen`) and expects each entry of the table
// of the app's picture names that serves that screen to have named a control in it.
inline void expectPictureNamesUsed(const std::string& screen, const std::function<void()>& test) {
    auto entries = namedPictures();
    std::vector<size_t> before;
    for (auto& entry : entries)
        before.push_back(timesSpoken(entry));
    test();
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].screen != screen) continue;
        EXPECT_GT(timesSpoken(entries[i]), before[i])
            << "\"" << entries[i].picture << "\" named nothing on " << screen;
    }
}

// Runs the script `name` as expectAppTranscript does, in the folder `folder` of the tests''
// scratch space, where the script's screenshots land; answers the folder.
inline std::filesystem::path expectTranscriptWithShots(const std::string& name,
                                                       const std::string& folder,
                                                       const std::string& marker = "",
                                                       std::function<void()> hook = nullptr) {
    InScratchFolder shots(folder);
    expectAppTranscript(name, marker, std::move(hook));
    return shots.path();
}

// The services server's mediation module.
inline bnservices::MediationModule& mediation() {
    auto* module = servicestest::services().module<bnservices::MediationModule>("mediation");
    EXPECT_NE(module, nullptr);
    return *module;
}

// The mediation service gives the app's key only that network, and the banners forget the
// configuration they were given before.
inline void weightBannersTo(const std::string& network) {
    EXPECT_TRUE(mediation().weightTo(network)) << network;
    AdLoomConfigStore::resetStore();
}

// What every session of the app starts from: timers earlier sessions left have fired, a fresh
// install, no site or services faults, house ads in the banners (the first an image ad), and the
// request engine's half of the status bar's network indicator
// left out. Two owners hold that indicator: the request engine (from every page's start to half a
// second after the last, which a script's clock seldom reaches) and the framework's image loads
// (until the last thumbnail arrives); transcripts print only what the thumbnails hold, not the
// engine's indicator after nearly every command.
class AppSessionTest : public testing::Test {
protected:
    void SetUp() override {
        settleEarlierSessions();
        freshInstall();
        sitetest::site().clearFaults();
        // What the tests count of the servers' logs is their own: requests from before the
        // resets are left out of them.
        sitetest::site().reset();
        sitetest::takeLog();
        servicestest::services().clearFaults();
        servicestest::services().reset();
        servicestest::takeLog();
        weightBannersTo("house");
        NKHTTPRequest::setShouldUpdateNetworkActivityIndicator(false);
    }
    void TearDown() override {
        NKHTTPRequest::setShouldUpdateNetworkActivityIndicator(true);
        sitetest::site().clearFaults();
        servicestest::services().clearFaults();
        freshInstall();
    }

    // Every session starts its clock at the same time, so a timer an earlier session left
    // (the request engine's hide of the network indicator, half a second after its last
    // stream; a banner's refresh) would fire at a different point of this one: let them all
    // fire first, and what they asked for arrive, before the services forget what they got.
    static void settleEarlierSessions() {
        ManualClockScope later(kManualClockDefaultStart + 30 * 86400);
        advanceRunLoop(60);
        // A fetch may start only when a reply or perform is handled, so the loop runs until it
        // has nothing to do and nothing is on the wire.
        auto loop = NSRunLoop::mainRunLoop();
        for (int round = 0; round < 20; ++round) {
            for (int pass = 0; pass < 1000; ++pass)
                if (loop->runInMode(NSDefaultRunLoopMode, 0, true) != NSRunLoop::RunHandledSource)
                    break;
            if (NetworkWork::inFlight() == 0) break;
            runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
        }
        UIApplication::sharedApplication()->setNetworkActivityIndicatorVisible(false);
    }
};

// The app's bundle as the main bundle, set before anything reads it.
class AppBundle : public testing::Environment {
public:
    void SetUp() override { setenv("BAZAARNEST_BUNDLE", BN_APP_BUNDLE, 1); }
};

}  // namespace apptest
