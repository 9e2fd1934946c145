#include "ads/ironvine/IVDatabase.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "IronvineTesting.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIDevice.h"
#include "ads/ironvine/IVAdManager.h"
#include "ads/ironvine/IVAsyncCommand.h"
#include "ads/ironvine/IVController.h"
#include "ads/ironvine/IVStandardCommandHandler.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

class FetchSink : public NSObject {
    NS_OBJECT(FetchSink, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("fetched:", &FetchSink::fetched); }
    void fetched(NSObject* value) {
        values.push_back(value ? Ref<NSObject>(value) : Ref<NSObject>());
    }
    Ref<NSInvocation> call(NSObject* initial) {
        SEL sel = Selector::named("fetched:");
        auto sig = NSMethodSignature::signatureWithObjCTypes(
            getClass()->instanceMethod(sel)->types.c_str());
        auto inv = NSInvocation::invocationWithMethodSignature(sig.get());
        inv->setTarget(this);
        inv->setSelector(sel);
        inv->setArgument(Value::ofObject(initial), 2);
        return inv;
    }
    std::vector<Ref<NSObject>> values;
};

std::string documents() {
    return IVController::localFileBasePath()->utf8();
}

// Waits until everything queued on the store so far has run and been delivered.
void drainStore() {
    bool done = false;
    auto sink = make<FetchSink>();
    IVController::sharedController()->database()->fetchStringForRecordID(
        NS("version"), NS("settings"), sink->call(nullptr).get());
    // The store's queue fires at most every 0.3 s of the Clock: on the manual clock that wait
    // is skipped, not sat through.
    if (Clock::isManual())
        ASSERT_TRUE(advanceRunLoopUntil([&] { return !sink->values.empty(); }));
    else
        ASSERT_TRUE(runLoopUntil([&] { return !sink->values.empty(); }));
    (void)done;
}

TEST(IVDatabaseTest, FirstLaunchHoldsOnlyTheVersionRow) {
    // A first launch: no engine files at all.
    IVController::sharedController()->shutdown();
    std::filesystem::remove_all(documents() + "/IV");
    auto controller = IVController::sharedController();
    auto rows = controller->database()->sqlExecute(NS("SELECT id, data FROM settings"));
    EXPECT_EQ(
        text(rows.get()),
        text(NSArray::arrayWithObject(NSArray::arrayWithObjects({NS("version"), NS("3.1.2")}).get())
                 .get()));
    EXPECT_TRUE(controller->database()->initialized());
    EXPECT_TRUE(std::filesystem::exists(documents() + "/IV/ironvinedb.sql"));
    EXPECT_EQ(IVAdManager::adRootDir()->utf8(), documents() + "/IV/Content");
    EXPECT_TRUE(IVAdManager::adRootDir()->isEqualToString(IVAdManager::adRootDir().get()));
}

TEST(IVDatabaseTest, AdPathsAndTheBridgeFollowTheHomeFolder) {
    // First use under the test's home, then another home, as a later test may set.
    auto first = IVAdManager::adRootDir()->utf8();
    EXPECT_NE(IVAdManager::adBaseURL(), nullptr);
    auto handler = make<IVStandardCommandHandler>();
    EXPECT_NE(handler->bridgeScript()->utf8().find(
                  IVController::localFileBaseURL()->absoluteString()->utf8()),
              std::string::npos);
    struct HomeScope {
        std::string previous = std::getenv("BAZAARNEST_HOME");
        ~HomeScope() { setenv("BAZAARNEST_HOME", previous.c_str(), 1); }
    } scope;
    std::string home = scope.previous + "/another-home";
    setenv("BAZAARNEST_HOME", home.c_str(), 1);
    EXPECT_NE(IVAdManager::adRootDir()->utf8(), first);
    EXPECT_EQ(IVAdManager::adRootDir()->utf8(), home + "/Documents/IV/Content");
    EXPECT_NE(IVAdManager::adBaseURL()->absoluteString()->utf8().find(
                  "//another-home//Documents//IV//Content//"),
              std::string::npos);
    EXPECT_NE(handler->bridgeScript()->utf8().find(home + "/Documents"), std::string::npos);
}

TEST(IVDatabaseTest, ValuesKeepTheirQuotesAndTypes) {
    ManualClockScope clock;
    auto db = IVController::sharedController()->database();
    auto sink = make<FetchSink>();
    db->setRecordID(NS("quoted"), NS("settings"), str("it's \"x\"; DROP TABLE settings;--").get(),
                    nullptr);
    db->setRecordID(NS("o'id"), NS("settings"), int64_t{9007199254740993}, nullptr);
    std::string raw("\x00\x01\xFF bytes", 9);
    db->setRecordID(NS("blob"), NS("settings"), NSData::dataWithBytes(raw.data(), raw.size()).get(),
                    nullptr);
    db->fetchStringForRecordID(NS("quoted"), NS("settings"), sink->call(nullptr).get());
    db->fetchNumberForRecordID(NS("o'id"), NS("settings"), sink->call(nullptr).get());
    db->fetchDataForRecordID(NS("blob"), NS("settings"), sink->call(nullptr).get());
    db->fetchNumberForRecordID(NS("missing"), NS("settings"), sink->call(NS("as prepared")).get());
    ASSERT_TRUE(advanceRunLoopUntil([&] { return sink->values.size() == 4; }));
    EXPECT_EQ(text(sink->values[0].get()), "it's \"x\"; DROP TABLE settings;--");
    auto number = as<NSNumber>(sink->values[1]);
    ASSERT_TRUE(number);
    EXPECT_EQ(number->longLongValue(), 9007199254740993LL);
    auto data = as<NSData>(sink->values[2]);
    ASSERT_TRUE(data);
    EXPECT_EQ(std::string(static_cast<const char*>(data->bytes()), data->length()), raw);
    EXPECT_EQ(text(sink->values[3].get()), "as prepared");
    // Data rows are base64 text in the table.
    auto stored = db->sqlExecute(NS("SELECT typeof(data), data FROM settings WHERE id='blob'"));
    EXPECT_EQ(text(as<NSArray>(stored->objectAtIndex(0))->objectAtIndex(0).get()), "text");
    db->removeRecordID(NS("quoted"), NS("settings"), nullptr);
    drainStore();
    EXPECT_EQ(db->sqlExecute(NS("SELECT data FROM settings WHERE id='quoted'"))->count(), 0u);
}

TEST(IVDatabaseTest, ColumnsConvertByType) {
    ManualClockScope clock;
    auto db = IVController::sharedController()->database();
    db->createTable(NS("extra"), nullptr);
    drainStore();
    db->sqlExecute(NS("INSERT INTO extra VALUES('a', NULL), ('b', 2.5), ('c', x'0102')"));
    auto rows = db->sqlExecute(NS("SELECT data FROM extra ORDER BY id"));
    ASSERT_EQ(rows->count(), 3u);
    EXPECT_TRUE(is<NSNull>(as<NSArray>(rows->objectAtIndex(0))->objectAtIndex(0).get()));
    EXPECT_DOUBLE_EQ(
        as<NSNumber>(as<NSArray>(rows->objectAtIndex(1))->objectAtIndex(0))->doubleValue(), 2.5);
    EXPECT_EQ(as<NSData>(as<NSArray>(rows->objectAtIndex(2))->objectAtIndex(0))->length(), 2u);
    EXPECT_EQ(db->sqlExecute(NS("SELECT nonsense FROM nowhere"))->count(), 0u);
    db->dropTable(NS("extra"), nullptr);
    drainStore();
    EXPECT_EQ(db->sqlExecute(NS("SELECT * FROM extra"))->count(), 0u);
}

TEST(IVDatabaseTest, ControllerSettingsAndProperties) {
    auto controller = IVController::sharedController();
    EXPECT_EQ(controller->execMode(), 0);
    EXPECT_DOUBLE_EQ(controller->menuDisplayTime(), 10.0);
    EXPECT_DOUBLE_EQ(controller->exitItemDisplayTime(), 4.0);
    EXPECT_EQ(IVController::ivSDKVersion()->utf8(), "3.1.2");
    EXPECT_EQ(IVController::deviceName()->utf8().find(' '), std::string::npos);
    EXPECT_FALSE(IVController::deviceName()->utf8().empty());
    controller->setSbwPropName(NS("first"));
    controller->setSbwPropName(NS("second"));
    EXPECT_EQ(text(controller->sbwPropName().get()), "first");
    controller->database()->setRecordID(NS("disabled"), NS("settings"), int64_t{1}, nullptr);
    drainStore();
    auto row = controller->database()->sqlExecute(NS("SELECT data FROM settings WHERE id='sbw'"));
    EXPECT_EQ(text(row.get()),
              text(NSArray::arrayWithObject(NSArray::arrayWithObject(NS("second")).get()).get()));
    // A simulated relaunch reads both settings back.
    int64_t before = IVController::sessionStart();
    controller->setExecMode(1);
    controller->shutdown();
    IVController::setSessionStartForTesting(before + 60000);
    auto relaunched = IVController::sharedController();
    EXPECT_NE(relaunched.get(), controller.get());
    EXPECT_EQ(relaunched->execMode(), 0);
    EXPECT_EQ(text(relaunched->sbwPropName().get()), "second");
    EXPECT_TRUE(relaunched->disabled());
    EXPECT_EQ(IVController::sessionStart(), before + 60000);
    relaunched->setSbwPropName(NS(""));
    relaunched->database()->removeRecordID(NS("disabled"), NS("settings"), nullptr);
    drainStore();
    EXPECT_EQ(
        relaunched->database()->sqlExecute(NS("SELECT * FROM settings WHERE id='sbw'"))->count(),
        0u);
    EXPECT_EQ(text(relaunched->sbwPropName().get()), "second");
}

TEST(IVDatabaseTest, AnotherVersionWipesTheEngineFilesButNotCookies) {
    auto controller = IVController::sharedController();
    controller->database()->sqlExecute(NS("UPDATE settings SET data='3.0' WHERE id='version'"));
    std::string docs = documents();
    std::filesystem::create_directories(docs + "/IV/Config");
    ivtest::writeFile(docs + "/IV/Config/client.js", "old");
    ivtest::writeFile(docs + "/boot.js", "old");
    std::filesystem::create_directories(docs + "/IVContent");
    std::string cookies = NSHomeDirectory()->utf8() + "/Library/Cookies";
    std::filesystem::create_directories(cookies);
    ivtest::writeFile(cookies + "/Cookies.plist", "app cookies");
    controller->shutdown();
    auto fresh = IVController::sharedController();
    EXPECT_FALSE(std::filesystem::exists(docs + "/IV/Config"));
    EXPECT_FALSE(std::filesystem::exists(docs + "/boot.js"));
    EXPECT_FALSE(std::filesystem::exists(docs + "/IVContent"));
    EXPECT_EQ(ivtest::readFile(cookies + "/Cookies.plist"), "app cookies");
    EXPECT_EQ(fresh->database()->sqlExecute(NS("SELECT id FROM settings"))->count(), 1u);
}

class Listener : public NSObject, public UIAccelerometerDelegate {
    NS_OBJECT(Listener, NSObject)
};

TEST(IVDatabaseTest, AccelerometerIsLentAndGivenBack) {
    auto controller = IVController::sharedController();
    auto accelerometer = UIAccelerometer::sharedAccelerometer();
    auto host = make<Listener>(), ad = make<Listener>();
    accelerometer->setDelegate(host.get());
    accelerometer->setUpdateInterval(0.05);
    controller->setSdkAccelerometerUpdateInterval(0.2);
    controller->captureAccelerometer(ad.get());
    controller->captureAccelerometer(ad.get());
    EXPECT_EQ(accelerometer->delegate().get(), static_cast<UIAccelerometerDelegate*>(ad.get()));
    EXPECT_DOUBLE_EQ(accelerometer->updateInterval(), 0.2);
    controller->releaseAccelerometer();
    EXPECT_EQ(accelerometer->delegate().get(), static_cast<UIAccelerometerDelegate*>(host.get()));
    EXPECT_DOUBLE_EQ(accelerometer->updateInterval(), 0.05);
    accelerometer->setDelegate(nullptr);
}

}  // namespace
