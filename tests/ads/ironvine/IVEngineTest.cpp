#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "IronvineTesting.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/ironvine/IVAdEngine.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVClientDriver.h"
#include "ads/ironvine/IVClientManager.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVDatabase.h"
#include "ads/ironvine/IVJavascriptBridge.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/services/Services.h"

namespace fs = std::filesystem;

namespace {

std::string ivBase() {
    return IVController::ivBaseDir()->utf8();
}

std::string configDir() {
    return ivBase() + "/Config";
}

template <class F>
std::pair<std::string, std::string> raised(F&& f) {
    try {
        f();
    } catch (ExceptionRaised& e) {
        return {e.exception->name()->utf8(), e.exception->reason()->utf8()};
    }
    return {"", ""};
}

// The ads table as the driver script makes it.
void createAdsTable(IVDatabase* db) {
    db->sqlExecute(
        NS("CREATE TABLE IF NOT EXISTS ads (slotName TEXT, dlTime INTEGER, "
           "expiration INTEGER, trackers TEXT)"));
}

Ref<NSArray> twoSlots() {
    return NSArray::arrayWithObjects(
        {IVAdSlotDescription::descriptionWithSize(IVAdSizeBanner, NS("ivBanner")).get(),
         IVAdSlotDescription::descriptionWithSize(IVAdSizeFullScreen, NS("ivFullScreen")).get()});
}

// Every launch starts from a fresh controller and forgets the engine's folder unless asked.
class IVEngineTest : public testing::Test {
protected:
    ManualClockScope clock_;
    void SetUp() override {
        IVController::sharedController()->shutdown();
        std::error_code ec;
        fs::remove_all(configDir(), ec);
        fs::remove_all(ivBase() + "/Content", ec);
        IVController::sharedController()->database()->sqlExecute(NS("DROP TABLE IF EXISTS ads"));
        servicestest::services().reset();
        servicestest::services().clearFaults();
        admin("version=1.0&disabled=0&variant=normal");
        IVController::setSessionStartForTesting(1000000);
    }
    void TearDown() override {
        // A sync still under way would reach the next test.
        auto manager = IVController::sharedController()->clientManager();
        EXPECT_TRUE(advanceRunLoopUntil([&] { return !manager->isSynchronizing(); }));
        IVController::sharedController()->shutdown();
        servicestest::services().clearFaults();
        admin("version=1.0&disabled=0&variant=normal");
    }
    static void admin(const std::string& query) {
        auto* m = servicestest::services().module("ironvine");
        m->adminView("sync", standin::parseQuery(query));
    }
    // A launch: a new controller started with the two slots; true once the sync's reply (or its
    // failure) has been handled.
    Ref<IVController> launch(int64_t sessionStart) {
        IVController::sharedController()->shutdown();
        IVController::setSessionStartForTesting(sessionStart);
        auto controller = IVController::sharedController();
        IVAdEngine::startupWithAppID(NS("app123"), twoSlots().get());
        return controller;
    }
    std::vector<bnservices::Received> syncs() {
        std::vector<bnservices::Received> out;
        for (auto& r : servicestest::services().received("ironvine"))
            if (r.target.find("req_js.json") != std::string::npos) out.push_back(r);
        return out;
    }
};

TEST_F(IVEngineTest, SlotDescriptionsCheckNamesAndCompareByNameAndSize) {
    auto banner = IVAdSlotDescription::descriptionWithSize(1, NS("ivBanner"));
    EXPECT_EQ(text(banner->name().get()), "ivBanner");
    EXPECT_EQ(banner->size(), 1);
    auto same = IVAdSlotDescription::descriptionWithSize(1, NS("ivBanner"));
    EXPECT_TRUE(banner->isEqual(same.get()));
    EXPECT_EQ(banner->hash(), same->hash());
    uint32_t expected = (static_cast<uint32_t>(NS("ivBanner")->hash()) + 527u) * 31u + 1u;
    EXPECT_EQ(banner->hash(), expected);
    EXPECT_FALSE(
        banner->isEqual(IVAdSlotDescription::descriptionWithSize(3, NS("ivBanner")).get()));
    EXPECT_FALSE(banner->isEqual(NS("ivBanner")));
    EXPECT_TRUE(
        IVAdSlotDescription::descriptionWithSize(1, NS(""))->name()->isEqualToString(NS("")));
    EXPECT_TRUE(IVAdSlotDescription::descriptionWithSize(1, NS("bannière2")));
    auto bad = raised([] { IVAdSlotDescription::descriptionWithSize(1, NS("iv-Banner")); });
    EXPECT_EQ(bad.first, "NSInvalidArgumentException");
    EXPECT_EQ(bad.second,
              "Unable to create IVAdSlotDescription because name contains at least one "
              "non-alphanumeric character");
    // Any code is accepted until its size is asked for.
    EXPECT_TRUE(IVAdSlotDescription::descriptionWithSize(9, NS("odd")));
    EXPECT_EQ(IVSizeForAdSize(1).width, 320);
    EXPECT_EQ(IVSizeForAdSize(1).height, 48);
    EXPECT_EQ(IVSizeForAdSize(5).height, 600);
    EXPECT_EQ(IVSizeForAdSize(2).height, 480);
    for (int code : {0, 6}) {
        auto r = raised([code] { IVSizeForAdSize(code); });
        EXPECT_EQ(r.first, "NSInvalidArgumentException");
        EXPECT_EQ(r.second, "Attempt to use unrecognized IVAdSize");
    }
    auto slot = IVAdSlot::slotWithDescription(banner.get());
    EXPECT_FALSE(slot->isFetched());
    slot->setNextAdDlTime(42);
    EXPECT_TRUE(slot->hasNextAdDownloaded());
    EXPECT_EQ(IVMinimumRefreshIntervalSeconds, 5.0);
    EXPECT_EQ(text(IVAdEngine::version().get()), "IVSDK 3.1.2 universal build");
}

TEST_F(IVEngineTest, FrontRaisesOnMisuseWithItsOwnTexts) {
    const std::string notStarted =
        "IVAdEngine must be started up before invoking any nontrivial methods.";
    for (auto call : std::vector<std::function<void()>>{
             [] { IVAdEngine::isAdReadyForSlotNamed(NS("ivBanner")); },
             [] { IVAdEngine::isNextAdDownloadedForSlotNamed(NS("ivBanner")); },
             [] { IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")); },
             [] { IVAdEngine::setFullScreenDelegate(nullptr, NS("ivFullScreen")); },
             [] { IVAdEngine::executeCommand(NS("x();")); },
             [] { IVAdEngine::setDownloadDelayInterval(NSNumber::numberWithDouble(0.5).get()); }}) {
        auto r = raised(call);
        EXPECT_EQ(r.first, "NSInternalInconsistencyException");
        EXPECT_EQ(r.second, notStarted);
    }
    auto empty = raised([] { IVAdEngine::startupWithAppID(NS("app"), NSArray::array().get()); });
    EXPECT_EQ(empty.first, "NSInvalidArgumentException");
    EXPECT_EQ(empty.second, "IVAdEngine must be started with a positive number of slots.");
    for (NSString* id : {NS("has blank"), static_cast<NSString*>(nullptr)}) {
        auto r = raised([id] { IVAdEngine::startupWithAppID(id, twoSlots().get()); });
        EXPECT_EQ(r.first, "NSInvalidArgumentException");
        EXPECT_EQ(r.second, "Invalid appID provided to [IVAdEngine startupWithAppID:]");
    }
    EXPECT_FALSE(IVController::sharedController()->hasStartedUp());
    EXPECT_TRUE(syncs().empty());  // the probe sends nothing

    auto controller = launch(1000000);
    EXPECT_TRUE(controller->hasStartedUp());
    EXPECT_EQ(text(controller->serverURL().get()), "http://ads.ironvine.test/AdBridgeServer");
    EXPECT_EQ(text(controller->applicationID().get()), "app123");
    auto again = raised([] { IVAdEngine::startupWithAppID(NS("other"), twoSlots().get()); });
    EXPECT_EQ(again.first, "NSInternalInconsistencyException");
    EXPECT_EQ(again.second, "Attempt to start up IVAdEngine after it has already been started.");
    EXPECT_EQ(text(controller->applicationID().get()), "app123");
    // The empty array is tested first, even on a started engine.
    empty = raised([] { IVAdEngine::startupWithAppID(NS("app"), NSArray::array().get()); });
    EXPECT_EQ(empty.second, "IVAdEngine must be started with a positive number of slots.");

    auto wrongSize = raised([] { IVAdEngine::setFullScreenDelegate(nullptr, NS("ivBanner")); });
    EXPECT_EQ(wrongSize.first, "NSInternalInconsistencyException");
    EXPECT_EQ(wrongSize.second,
              "Attempt to register full screen delegate for slot not having full screen size.");

    LogLines log;
    EXPECT_FALSE(IVAdEngine::isAdReadyForSlotNamed(NS("nope")));
    EXPECT_TRUE(
        log.has("IVAdEngine: WARNING - call to isAdReadyForSlotNamed: for slot nope which "
                "is a slot that has not been registered with the IVAdEngine."));
    IVAdEngine::setFullScreenDelegate(nullptr, NS("nope"));
    EXPECT_TRUE(
        log.has("IVAdEngine: WARNING - Unable to set full screen delegate for slot named "
                "nope because no slot with that name has been registered with the "
                "IVAdEngine."));
    EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("nope")));
    EXPECT_TRUE(
        log.has("IVAdEngine: WARNING - Unable to display full screen ad for slot named "
                "nope because no slot with that name has been registered with the "
                "IVAdEngine."));
    EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("ivFullScreen")));
    EXPECT_TRUE(
        log.has("IVAdEngine: Unable to display full screen ad for slot named ivFullScreen "
                "because no ad is ready to be displayed for that slot."));
    EXPECT_FALSE(IVAdEngine::isNextAdDownloadedForSlotNamed(NS("ivBanner")));
    // Offline, the connectivity line comes first, even for a slot nobody registered.
    SCNetworkReachabilitySetFlagsForTesting(0);
    EXPECT_FALSE(IVAdEngine::displayFullScreenAdForSlotNamed(NS("nope")));
    SCNetworkReachabilityClearFlagsForTesting();
    EXPECT_TRUE(
        log.has("IVAdEngine: Unable to display full screen ad due to no network "
                "connectivity."));
}

TEST_F(IVEngineTest, ClientFolderNamesAndPaths) {
    EXPECT_EQ(IVClientManager::timestampFromClientDirName(NS("1700000000000_2.1")), 1700000000000);
    EXPECT_EQ(text(IVClientManager::clientVersionFromClientDirName(NS("1700000000000_2.1")).get()),
              "2.1");
    EXPECT_EQ(IVClientManager::timestampFromClientDirName(NS("abc_2.1")), -1);
    EXPECT_EQ(IVClientManager::timestampFromClientDirName(NS("0_2.1")), -1);
    EXPECT_EQ(IVClientManager::timestampFromClientDirName(NS("5_2_1")), -1);
    EXPECT_EQ(text(IVClientManager::clientVersionFromClientDirName(NS("5_2_1")).get()), "2_1");
    EXPECT_FALSE(IVClientManager::clientVersionFromClientDirName(NS("plain")));
    auto manager = IVController::sharedController()->clientManager();
    EXPECT_EQ(text(manager->pathForComponent(NS("display")).get()), configDir() + "/display.js");
    EXPECT_FALSE(manager->pathForComponent(NS("other")));
    EXPECT_FALSE(manager->hasClient());
    EXPECT_EQ(text(manager->clientVersion().get()), "0.0");
    EXPECT_EQ(manager->syncTimeout(), 80.0);
}

TEST_F(IVEngineTest, DriverInitCommandKeepsTheEntitiesAndFetchNeedsAnIdleLoadedScript) {
    auto controller = IVController::sharedController();
    standin::Fault broken;
    broken.host = "ads.ironvine.test";
    broken.status = 500;
    servicestest::services().addFault(broken);
    IVAdEngine::startupWithAppID(NS("app123"), twoSlots().get());
    auto driver = controller->clientManager()->clientDriver();
    EXPECT_EQ(text(driver->driverInitCommand().get()),
              "try {driverInit(&quot;[{name:\\&quot;ivBanner\\&quot;,size:1},{name:\\&quot;"
              "ivFullScreen\\&quot;,size:2}]&quot;);} catch(e){BridgeLib.log('failed: ' + e);}");
    EXPECT_EQ(driver->state(), 0);
    EXPECT_FALSE(driver->fetchAdForSlotNamed(NS("ivBanner")));
    driver->setState(1);
    EXPECT_FALSE(driver->fetchAdForSlotNamed(NS("ivBanner")));  // no script loaded
    EXPECT_EQ(driver->state(), 1);
    // Both slots wait at the head of the queue while the driver refuses.
    controller->adManager()->fetchNextAd();
    EXPECT_EQ(controller->adManager()->fetchQueue(),
              (std::vector<std::string>{"ivBanner", "ivFullScreen"}));
}

// A sync that answers once its engine is gone (a callback queued before a shut-down, or reaching
// a controller made afresh) finds no ad manager: the driver neither starts nor lists slots.
TEST_F(IVEngineTest, ADriverWithNoStartedEngineNeitherStartsNorListsSlots) {
    auto controller = IVController::sharedController();
    ASSERT_FALSE(controller->adManager());
    controller->clientManager()->setClientVersion(NS("1.0"));
    auto driver = make<IVClientDriver>();
    driver->startup();
    EXPECT_EQ(driver->state(), 0);
    EXPECT_EQ(text(driver->driverInitCommand().get()),
              "try {driverInit(&quot;[]&quot;);} catch(e){BridgeLib.log('failed: ' + e);}");
    controller->clientManager()->setClientVersion(nullptr);
}

TEST_F(IVEngineTest, FirstInstallLinksThePairAndStartsTheDriver) {
    auto controller = launch(1000000);
    auto manager = controller->clientManager();
    auto driver = manager->clientDriver();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return driver->state() == 1; }));
    auto requests = syncs();
    ASSERT_EQ(requests.size(), 1u);
    std::string expected = "/AdBridgeServer/v2/req_js.json?appguid=app123&deviceid=" +
                           IVController::deviceName()->utf8() +
                           "&userid=" + IVController::deviceUID()->utf8() +
                           "&hostversion=3.1.2&clientversion=0.0";
    EXPECT_EQ(requests[0].target, expected);
    EXPECT_EQ(requests[0].fault, "");
    EXPECT_EQ(text(manager->clientVersion().get()), "1.0");
    EXPECT_EQ(fs::read_symlink(configDir() + "/display.js").string(), "1000000_1.0/display.js");
    EXPECT_EQ(fs::read_symlink(configDir() + "/driver.js").string(), "1000000_1.0/driver.js");
    EXPECT_NE(ivtest::readFile(configDir() + "/driver.js").find("driverInit"), std::string::npos);
    // The driver script read its slot list and reported: the manager asked for the first ad,
    // which this server does not have.
    EXPECT_TRUE(advanceRunLoopUntil(
        [&] { return driver->state() == 1 && controller->adManager()->fetchQueue().size() == 1; }));
}

TEST_F(IVEngineTest, StagedPairIsTakenAtTheNextLaunchAndOldOnesGo) {
    launch(1000000);
    auto manager = IVController::sharedController()->clientManager();
    ASSERT_TRUE(advanceRunLoopUntil([&] { return manager->hasClient(); }));
    admin("version=2.0");
    auto second = launch(2000000);
    EXPECT_EQ(text(second->clientManager()->clientVersion().get()), "1.0");
    EXPECT_EQ(second->clientManager()->syncTimeout(), 40.0);
    ASSERT_TRUE(
        advanceRunLoopUntil([] { return fs::exists(configDir() + "/2000000_2.0/driver.js"); }));
    ASSERT_TRUE(advanceRunLoopUntil([&] { return syncs().size() == 2; }));
    EXPECT_NE(syncs()[1].target.find("clientversion=1.0"), std::string::npos);
    advanceRunLoop(1.0);
    // Staged only: the links still name the first pair.
    EXPECT_EQ(fs::read_symlink(configDir() + "/driver.js").string(), "1000000_1.0/driver.js");

    auto third = launch(3000000);
    EXPECT_EQ(text(third->clientManager()->clientVersion().get()), "2.0");
    EXPECT_EQ(fs::read_symlink(configDir() + "/display.js").string(), "2000000_2.0/display.js");
    EXPECT_EQ(fs::read_symlink(configDir() + "/driver.js").string(), "2000000_2.0/driver.js");
    EXPECT_FALSE(fs::exists(configDir() + "/1000000_1.0"));
    EXPECT_TRUE(fs::exists(configDir() + "/driver.js"));
}

// A sync that answers after its engine was shut down writes no client: the next engine (here the
// next launch, in a test the next test) finds the folder as it was.
TEST_F(IVEngineTest, ASyncAnsweredAfterShutdownWritesNothing) {
    auto controller = launch(1000000);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return !syncs().empty(); }));
    controller->shutdown();
    auto next = IVController::sharedController();  // another engine, not started
    advanceRunLoop(5.0);
    EXPECT_TRUE(ivtest::tree(configDir()).empty());
    EXPECT_FALSE(controller->clientManager()->hasClient());
}

TEST_F(IVEngineTest, UnsafeOrIncompleteRepliesWriteNothing) {
    for (std::string variant : {"variant=nodriver", "variant=nontext", "variant=status",
                                "version=..%2F..%2Fescape", "variant=nested"}) {
        SCOPED_TRACE(variant);
        admin(variant);
        auto controller = launch(1000000);
        // The clock moves while the reply is read and stored (the nested one takes seconds under
        // the sanitizers, more on a loaded machine): up to 75 s of it, short of the sync's own
        // 80 s time-out, so that how fast the machine is decides nothing.
        ASSERT_TRUE(advanceRunLoopUntil(
            [&] { return !syncs().empty() && !controller->clientManager()->isSynchronizing(); },
            0.05, 1500));
        advanceRunLoop(1.0);
        EXPECT_FALSE(controller->clientManager()->hasClient());
        EXPECT_TRUE(ivtest::tree(configDir()).empty()) << variant;
        EXPECT_FALSE(fs::exists(ivBase() + "/escape"));
        servicestest::services().reset();
        admin("version=1.0&variant=normal");
    }
}

TEST_F(IVEngineTest, DisabledIsStoredAndActsAtTheNextLaunch) {
    admin("disabled=1");
    auto controller = launch(1000000);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return controller->clientManager()->hasClient(); }));
    advanceRunLoop(1.0);
    EXPECT_FALSE(controller->disabled());
    admin("disabled=0");
    auto next = launch(2000000);
    EXPECT_TRUE(next->disabled());
    auto stored = [&] {
        auto rows =
            next->database()->sqlExecute(NS("SELECT data FROM settings WHERE id='disabled'"));
        return rows->count() == 1
                   ? as<NSArray>(rows->objectAtIndex(0))->objectAtIndex(0)->description()->utf8()
                   : std::string("none");
    };
    EXPECT_EQ(stored(), "1");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return stored() == "0"; }));
    EXPECT_TRUE(next->disabled());
    EXPECT_FALSE(launch(3000000)->disabled());
}

TEST_F(IVEngineTest, SyncTimesOutOnTheClockAfterThreeAttempts) {
    auto gate = servicestest::services().gate("ivsync");
    servicestest::services().addFault(
        {.host = "ads.ironvine.test", .path = "/AdBridgeServer/v2/req_js.json", .gate = "ivsync"});
    auto controller = launch(1000000);
    // Each attempt is awaited on a clock that stands still, so that the 80 s count from its
    // start whatever real time it took to arrive.
    ASSERT_TRUE(runLoopUntil([&] { return syncs().size() == 1; }));
    advanceRunLoop(79.0);
    EXPECT_EQ(syncs().size(), 1u);
    advanceRunLoop(2.0);
    ASSERT_TRUE(runLoopUntil([&] { return syncs().size() == 2; }));
    advanceRunLoop(81.0);
    ASSERT_TRUE(runLoopUntil([&] { return syncs().size() == 3; }));
    advanceRunLoop(81.0);
    advanceRunLoop(1.0);
    EXPECT_EQ(syncs().size(), 3u);
    EXPECT_FALSE(controller->clientManager()->hasClient());
    EXPECT_FALSE(controller->clientManager()->isSynchronizing());
    gate->open();
}

TEST_F(IVEngineTest, AdManagerRecoversTheNewestUnexpiredAdPerSlot) {
    auto db = IVController::sharedController()->database();
    createAdsTable(db.get());
    int64_t now = static_cast<int64_t>(IVAdManager::nowSince1970() * 1000.0);
    auto row = [&](const char* slot, int64_t dl, int64_t exp) {
        db->sqlExecute(NS("INSERT INTO ads VALUES(?,?,?,'')"),
                       NSArray::arrayWithObjects({NSString::fromUTF8(slot).get(),
                                                  NSNumber::numberWithLongLong(dl).get(),
                                                  NSNumber::numberWithLongLong(exp).get()})
                           .get());
    };
    auto insert = [&](const char* slot, int64_t dl, int64_t exp) {
        row(slot, dl, exp);
        fs::create_directories(ivBase() + "/Content/" + slot + "/" + std::to_string(dl));
    };
    insert("ivBanner", 100, now + 60000);
    insert("ivBanner", 200, now + 60000);
    insert("gone", 150, now + 60000);
    insert("ivFullScreen", 300, now - 1000);
    // Rows an ad script wrote with names that lead out of the content folder, or take all of it.
    std::string outside = (fs::path(ivBase()) / "victim").string();
    std::string farOutside = (fs::path(ivBase()).parent_path() / "victim").string();
    std::string nested = ivBase() + "/Content/keep/inner";
    for (const auto& folder : {outside, farOutside, nested})
        fs::create_directories(folder);
    for (const char* unsafe : {"../victim", "../../victim", "keep/inner", "..", ".", ""})
        row(unsafe, 160, now + 60000);
    LoggedLines log;
    auto manager = alloc<IVAdManager>();
    manager->initWithSlotDescriptions(twoSlots().get());
    EXPECT_TRUE(fs::exists(outside));
    EXPECT_TRUE(fs::exists(farOutside));
    EXPECT_TRUE(fs::exists(nested));
    EXPECT_TRUE(fs::exists(ivBase() + "/Content/ivBanner/200"));
    EXPECT_EQ(log.count("not a plain folder name"), 6u);
    for (const auto& folder : {outside, farOutside, ivBase() + "/Content/keep"})
        fs::remove_all(folder);
    EXPECT_EQ(manager->slotForName(NS("ivBanner"))->nextAdDlTime(), 200);
    EXPECT_EQ(manager->slotForName(NS("ivFullScreen"))->nextAdDlTime(), 0);
    EXPECT_FALSE(fs::exists(ivBase() + "/Content/ivBanner/100"));
    EXPECT_TRUE(fs::exists(ivBase() + "/Content/ivBanner/200"));
    EXPECT_FALSE(fs::exists(ivBase() + "/Content/gone"));
    EXPECT_FALSE(fs::exists(ivBase() + "/Content/ivFullScreen/300"));
    EXPECT_EQ(db->sqlExecute(NS("SELECT dlTime FROM ads ORDER BY dlTime"))->count(), 1u);
    EXPECT_EQ(manager->fetchQueue(), std::vector<std::string>{"ivFullScreen"});
    EXPECT_TRUE(manager->isAdFetchedForSlotNamed(NS("ivBanner")));
    EXPECT_FALSE(manager->isAdFetchedForSlotNamed(NS("nope")));

    // The waiting ad expires on the clock and a replacement is queued once its row is gone.
    advanceRunLoop(61.0);
    ASSERT_TRUE(advanceRunLoopUntil([&] { return manager->fetchQueue().size() == 2; }));
    EXPECT_EQ(manager->slotForName(NS("ivBanner"))->nextAdDlTime(), 0);
    EXPECT_FALSE(fs::exists(ivBase() + "/Content/ivBanner/200"));

    auto dup = raised([] {
        auto m = alloc<IVAdManager>();
        m->initWithSlotDescriptions(
            NSArray::arrayWithObjects({IVAdSlotDescription::descriptionWithSize(1, NS("a")).get(),
                                       IVAdSlotDescription::descriptionWithSize(2, NS("a")).get()})
                .get());
    });
    EXPECT_EQ(dup.first, "Ironvine Initialization Failure");
    EXPECT_EQ(dup.second, "All given slot names must be unique.");
}

TEST_F(IVEngineTest, AStoredAdWhoseContentIsGoneIsNoAdAndItsSlotIsFetchedFor) {
    // Quits came between the removal of an ad's folder and the removal of its row (banner 200,
    // full screen 300), and in the middle of downloads, whose folders have no row (150, 250).
    auto db = IVController::sharedController()->database();
    createAdsTable(db.get());
    int64_t later = static_cast<int64_t>(IVAdManager::nowSince1970() * 1000.0) + 60000;
    const std::pair<const char*, int64_t> stored[] = {
        {"ivBanner", 100}, {"ivBanner", 200}, {"ivFullScreen", 300}};
    for (auto [slot, dl] : stored)
        db->sqlExecute(NS("INSERT INTO ads VALUES(?,?,?,'')"),
                       NSArray::arrayWithObjects({NSString::fromUTF8(slot).get(),
                                                  NSNumber::numberWithLongLong(dl).get(),
                                                  NSNumber::numberWithLongLong(later).get()})
                           .get());
    std::string content = ivBase() + "/Content/";
    for (const char* folder : {"ivBanner/100", "ivBanner/150", "ivFullScreen/250"}) {
        fs::create_directories(content + folder);
        std::ofstream(content + folder + "/index.html") << "<html></html>";
    }
    auto manager = alloc<IVAdManager>();
    manager->initWithSlotDescriptions(twoSlots().get());
    // The banner's newest row with its content there is its ad.
    EXPECT_EQ(manager->slotForName(NS("ivBanner"))->nextAdDlTime(), 100);
    EXPECT_TRUE(fs::exists(content + "ivBanner/100/index.html"));
    EXPECT_FALSE(manager->isAdFetchedForSlotNamed(NS("ivFullScreen")));
    EXPECT_EQ(manager->fetchQueue(), std::vector<std::string>{"ivFullScreen"});
    auto rows = db->sqlExecute(NS("SELECT slotName, dlTime FROM ads"));
    ASSERT_EQ(rows->count(), 1u);
    EXPECT_EQ(cast<NSArray>(rows->objectAtIndex(0))->objectAtIndex(1)->description()->utf8(),
              "100");
    for (const char* folder : {"ivBanner/150", "ivFullScreen/250"})
        EXPECT_FALSE(fs::exists(content + folder)) << folder;
}

TEST_F(IVEngineTest, AQuitRunsTheQueuedRowDeletionsFirst) {
    auto controller = IVController::sharedController();
    auto db = controller->database();
    createAdsTable(db.get());
    auto manager = alloc<IVAdManager>();
    manager->initWithSlotDescriptions(twoSlots().get());
    // A banner arrives: its row, written on the database worker, and its folder.
    int64_t now = static_cast<int64_t>(IVAdManager::nowSince1970() * 1000.0);
    controller->sendDatabaseQuery(
        IVDBQuery::queryWithQuery(
            NS("INSERT INTO ads VALUES('ivBanner',100,?,'')"),
            NSArray::arrayWithObject(NSNumber::numberWithLongLong(now + 60000)), nullptr)
            .get());
    fs::create_directories(ivBase() + "/Content/ivBanner/100");
    auto rowCount = [&] { return db->sqlExecute(NS("SELECT dlTime FROM ads"))->count(); };
    auto worker = controller->dbQueryManager()->commandExecThread()->runLoop();
    // The worker has run it and sleeps again; it was woken just now, so the next wake-up waits
    // 0.3 s on the clock, which stands still.
    ASSERT_TRUE(runLoopUntil([&] { return rowCount() == 1 && worker->isWaiting(); }));
    manager->adDownloadedForSlotNamed(NS("ivBanner"), 100, now + 60000);
    ASSERT_TRUE(manager->deleteAd(100, NS("ivBanner")));
    EXPECT_FALSE(fs::exists(ivBase() + "/Content/ivBanner/100"));
    ASSERT_EQ(rowCount(), 1u);
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillTerminateNotification, nullptr);
    // The process may end now: the row went with its folder.
    EXPECT_EQ(rowCount(), 0u);
    EXPECT_TRUE(controller->dbQueryManager()->drain(5.0));
}

TEST_F(IVEngineTest, FailedDownloadsComeBackAfterTheReenqueueDelay) {
    auto manager = alloc<IVAdManager>();
    manager->initWithSlotDescriptions(twoSlots().get());
    EXPECT_EQ(manager->fetchReenqueueDelay(), 60.0);
    manager->adDownloadFailedForSlotNamed(NS("ivBanner"));
    advanceRunLoop(59.0);
    EXPECT_EQ(manager->fetchQueue().size(), 2u);
    advanceRunLoop(2.0);
    EXPECT_EQ(manager->fetchQueue(),
              (std::vector<std::string>{"ivBanner", "ivFullScreen", "ivBanner"}));
    manager->setFetchReenqueueDelay(0);
    manager->adDownloadFailedForSlotNamed(NS("ivBanner"));
    advanceRunLoop(3600.0);
    EXPECT_EQ(manager->fetchQueue().size(), 3u);
}

}  // namespace

namespace {

// The driver's own commands, with a script of the test's making loaded in its web view.
TEST_F(IVEngineTest, DriverCommandsReachOnlyTheirTwoPropertiesAndTheDrainEnds) {
    standin::Fault broken;
    broken.host = "ads.ironvine.test";
    broken.status = 500;
    servicestest::services().addFault(broken);
    auto controller = launch(1000000);
    auto driver = controller->clientManager()->clientDriver();
    std::string script =
        "var got = [];\n"
        "function keep(v) { got.push(v); }\n"
        "function again() { BridgeLib.callback('again()'); }\n"
        "function shutdown() { again(); }\n";
    driver->executeScript(NS("0;"), IVAdManager::adBaseURL().get(),
                          NSData::dataWithBytes(script.data(), script.size()).get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return driver->bridge()->isIVJSLoaded(); }));
    auto eval = [&](const char* js) {
        return text(driver->webView()
                        ->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(js).get())
                        .get());
    };
    eval(
        "BridgeDriver.getAdManagerPropertyCallback('fetchReenqueueDelay', 'keep(%s)');"
        "BridgeDriver.getAdManagerPropertyCallback('description', 'keep(%s)');"
        "BridgeDriver.setAdManagerPropertyValue('fetchReenqueueDelay', '12.5');"
        "BridgeDriver.setAdManagerPropertyValue('slotDict', 'x');"
        "BridgeDriver.getAdManagerPropertyCallback('slotDict', 'keep(%s)');"
        "BridgeDriver.setState('3'); BridgeDriver.setState('0');");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return eval("got.length") == "2"; }));
    EXPECT_EQ(eval("got[0]"), "60");
    // The slot table's text, with its quotes, arrives whole as one script string.
    EXPECT_NE(eval("got[1]").find("ivBanner"), std::string::npos);
    EXPECT_EQ(controller->adManager()->fetchReenqueueDelay(), 12.5);
    EXPECT_EQ(controller->adManager()->slotDict()->count(), 2u);
    EXPECT_EQ(driver->state(), 0);
    eval("BridgeDriver.setState('2');");
    ASSERT_TRUE(advanceRunLoopUntil([&] { return driver->state() == 2; }));
    EXPECT_FALSE(driver->fetchAdForSlotNamed(NS("ivBanner")));  // busy

    // The front hands commands to the driver's script unless the engine is disabled, and sets
    // how often its bridge is polled.
    IVAdEngine::executeCommand(NS("keep('front');"));
    EXPECT_EQ(eval("got[got.length - 1]"), "front");
    controller->setDisabled(true);
    IVAdEngine::executeCommand(NS("keep('disabled');"));
    EXPECT_EQ(eval("got[got.length - 1]"), "front");
    controller->setDisabled(false);
    IVAdEngine::setDownloadDelayInterval(NSNumber::numberWithDouble(0.5).get());
    EXPECT_EQ(driver->bridge()->pollingIntervalOverride()->doubleValue(), 0.5);

    // A script that answers every poll with more work cannot hold the shut-down for ever.
    driver->shutdown();
    EXPECT_GT(driver->bridge()->poll(), 0u);
    servicestest::services().clearFaults();
}

}  // namespace
