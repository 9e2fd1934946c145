// The app's analytics session as a person sees it with scripts/run: replayed with the catalog
// (which stands in for the app's screens and starts the app's analytics session) against the
// stand-in services server, then read back from its admin host as a person would: the start-up
// upload, the pause upload after "background", the new session's start-up upload after
// "wait 11" and "foreground", and the end upload at "quit".
#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>

#include "Classes/NoticewallAppDelegate.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NetworkWork.h"
#include "TranscriptTesting.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "json/ZJSONDeserializer.h"
#include "support/RunLoopTesting.h"
#include "support/services/RunningServices.h"
#include "tools/catalog/CatalogApp.h"
#include "tools/services/AnalyticsModule.h"
#include "tools/shell/CatalogSessions.h"
#include "tools/shell/ShellSession.h"
#include "ui/core/DZNavigator.h"

namespace fs = std::filesystem;

namespace {

size_t uploadCount() {
    return servicestest::services()
        .module<bnservices::AnalyticsModule>("analytics")
        ->uploads()
        .size();
}

Ref<NSArray> adminUploads() {
    auto request = NSURLRequest::requestWithURL(
        NSURL::URLWithString(NS("http://admin.services.test/analytics/uploads")));
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    auto body = NSURLConnection::sendSynchronousRequest(request, &response, &error);
    if (!body) return nullptr;
    return ZJSONDeserializer::deserializer()->deserializeAsArray(body, nullptr);
}

double number(NSObject* dictionary, NSString* key) {
    auto d = as<NSDictionary>(dictionary);
    auto n = d ? as<NSNumber>(d->objectForKey(key)) : nullptr;
    return n ? n->doubleValue() : -1;
}

Ref<NSArray> sessionsOf(NSObject* upload) {
    auto d = as<NSDictionary>(upload);
    return d ? as<NSArray>(d->objectForKey(NS("sessions"))) : nullptr;
}

}  // namespace

TEST(AnalyticsScenario, UploadsAtLaunchPauseNewSessionAndQuitReachTheStandIn) {
    servicestest::services().reset();
    // No files of earlier sessions: the start-up upload sends nothing.
    TallySession::removeFilesForTesting(kNoticewallAnalyticsKey);
    registerCatalogApp();
    fs::path here = shellTestFolder();
    // Each upload is waited for before the next step, so that the clock moves only after it.
    auto uploaded = [](size_t count) {
        return [count] { EXPECT_TRUE(runLoopUntil([&] { return uploadCount() == count; })); };
    };
    HookedLines lines(readFile(here / "analytics.script"),
                      {{"background", uploaded(1)},
                       {"wait 11", uploaded(2)},
                       {"quit", [] {
                            // Received, and booked: the filed session left the saved ones.
                            EXPECT_TRUE(runLoopUntil([] {
                                return uploadCount() == 3 &&
                                       TallySession::savedSessions()->count() == 0;
                            }));
                        }}});
    std::istream in(&lines);
    std::string out = runCatalogScript(in);
    DZBaseNavigator::setGlobalNavigator(nullptr);
    expectTranscript(here / "analytics.transcript", out);
    EXPECT_EQ(NetworkWork::inFlight(), 0);

    auto uploads = adminUploads();
    ASSERT_TRUE(uploads);
    ASSERT_EQ(uploads->count(), 4u);
    // The script's clock starts at 2012-03-01 12:00:00 UTC.
    const double launch = 1330603200000.0, reopened = launch + 11000;
    for (NSUInteger i = 0; i < 4; ++i) {
        auto upload = as<NSDictionary>(uploads->objectAtIndex(i));
        ASSERT_TRUE(upload);
        EXPECT_TRUE(as<NSString>(upload->objectForKey(NS("apiKey")))
                        ->isEqualToString(kNoticewallAnalyticsKey));
        // The catalog turns house ads on: the start-up uploads ask for them.
        EXPECT_EQ(number(upload, NS("adsRequested")), i == 0 || i == 2 ? 1 : 0) << i;
        EXPECT_EQ(number(upload, NS("sessionStart")), i < 2 ? launch : reopened) << i;
    }
    // At launch nothing was saved.
    EXPECT_EQ(sessionsOf(uploads->objectAtIndex(0))->count(), 0u);
    // The pause sends the session, its end stamped at the pause.
    auto paused = sessionsOf(uploads->objectAtIndex(1));
    ASSERT_EQ(paused->count(), 1u);
    EXPECT_EQ(number(paused->objectAtIndex(0), NS("start")), launch);
    EXPECT_EQ(number(paused->objectAtIndex(0), NS("length")), 0);
    // Back after 11 s: the new session's start-up upload sends the filed one.
    auto filed = sessionsOf(uploads->objectAtIndex(2));
    ASSERT_EQ(filed->count(), 1u);
    EXPECT_EQ(number(filed->objectAtIndex(0), NS("start")), launch);
    // At quit the new session goes, ended at once; the filed one went with the start-up upload.
    auto ended = sessionsOf(uploads->objectAtIndex(3));
    ASSERT_EQ(ended->count(), 1u);
    EXPECT_EQ(number(ended->objectAtIndex(0), NS("start")), reopened);
    EXPECT_EQ(number(ended->objectAtIndex(0), NS("length")), 0);
    EXPECT_EQ(TallySession::currentSession(), nullptr);
}
