#include "ads/pebble/PBLCachedFile.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "ads/pebble/PBLClickTracker.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBLTiming.h"
#include "ads/pebble/PebbleTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"

namespace {

using namespace testhttp;

class Events : public NSObject, public PBLCachedFileDelegate {
    NS_OBJECT(Events, NSObject)
public:
    void cachedFileDownloadDidEnd(PBLCachedFile*) override { log += "end;"; }
    void cachedFileDownloadDidFail(PBLCachedFile*, NSError* error) override {
        log += error ? "fail error;" : "fail nil;";
        lastError = error;
    }
    Ref<NSError> cachedFileShouldRedirectToURL(PBLCachedFile*, NSURL* url) override {
        log += "redirect " + text(url->path()) + ";";
        return refuse ? NSError::errorWithDomain(NS("test"), 9, nullptr) : nullptr;
    }
    std::string log;
    Ref<NSError> lastError;
    bool refuse = false;
};

class PBLCachedFileTest : public PebbleTest {
protected:
    Ref<PBLCachedFile> fileFor(const std::string& url) {
        auto f = make<PBLCachedFile>(&PBLCachedFile::initWithDelegate,
                                     static_cast<PBLCachedFileDelegate*>(events),
                                     NSURL::URLWithString(NSString::fromUTF8(url)).get());
        f->invalidate();  // no file left from an earlier run
        return f;
    }
    bool fetch(PBLCachedFile* f) {
        size_t before = events->log.size();
        f->validate();
        return runLoopUntil([&] { return events->log.size() > before && !f->isFetching(); });
    }
    TestServer server;
    Ref<Events> events = make<Events>();
};

TEST_F(PBLCachedFileTest, LastModifiedBecomesFileTimeAndComesBackAsIfModifiedSince) {
    int served = 0;
    server.route("GET", "/script.js", [&](const Request& r) {
        ++served;
        if (!r.header("If-Modified-Since").empty()) return Response(304);
        return Response(200, "var a = 1;", "text/javascript")
            .header("Last-Modified", "Tue, 15 Nov 1994 12:45:26 GMT");
    });
    PBLNetworkUtilities::setUserAgentString(NS("PebbleTest/1"));
    auto f = fileFor(server.url("/script.js"));
    EarlierWriterLeftover leftover(f->filePath());
    EXPECT_FALSE(f->hasContent());
    ASSERT_TRUE(fetch(f));
    EXPECT_EQ(events->log, "end;");
    EXPECT_TRUE(leftover.gone());  // one of the client's own files
    EXPECT_EQ(text(f->content()), "var a = 1;");
    EXPECT_EQ(f->httpStatusCode(), 200);
    EXPECT_EQ(text(f->fileModificationDate()), "Tue, 15 Nov 1994 12:45:26");
    EXPECT_EQ(server.lastRequest()->header("User-Agent"), "PebbleTest/1");
    EXPECT_EQ(server.lastRequest()->header("If-Modified-Since"), "");

    ASSERT_TRUE(fetch(f));
    EXPECT_EQ(events->log, "end;end;");
    EXPECT_EQ(server.lastRequest()->header("If-Modified-Since"), "Tue, 15 Nov 1994 12:45:26");
    EXPECT_EQ(f->httpStatusCode(), 304);
    EXPECT_EQ(text(f->content()), "var a = 1;");  // untouched
    EXPECT_EQ(served, 2);
}

TEST_F(PBLCachedFileTest, FailedStatusKeepsTheOldFile) {
    bool missing = false;
    server.route("GET", "/page", [&](const Request&) {
        return missing ? Response(404, "gone") : Response(200, "<html>ad</html>");
    });
    auto f = fileFor(server.url("/page"));
    ASSERT_TRUE(fetch(f));
    missing = true;
    ASSERT_TRUE(fetch(f));
    EXPECT_EQ(events->log, "end;fail nil;");
    EXPECT_EQ(f->httpStatusCode(), 404);
    EXPECT_EQ(text(f->content()), "<html>ad</html>");
    f->invalidate();
    EXPECT_FALSE(f->hasContent());
    EXPECT_EQ(f->content().get(), nullptr);
}

TEST_F(PBLCachedFileTest, SecondValidateWhileFetchingStartsNothing) {
    server.route("GET", "/a", text("a"));
    auto f = fileFor(server.url("/a"));
    f->validate();
    f->validate();
    ASSERT_TRUE(runLoopUntil([&] { return !f->isFetching(); }));
    EXPECT_EQ(events->log, "end;");
    EXPECT_EQ(server.requestCount(), 1u);
}

TEST_F(PBLCachedFileTest, RedirectsUpdateDestinationAndAskTheDelegate) {
    server.route("GET", "/r1", redirect(302, "/r2"));
    server.route("GET", "/r2", [](const Request&) {
        return Response(301).header("Location", "/final").header("X-Hop", "2");
    });
    server.route("GET", "/final", text("landed"));
    auto f = fileFor(server.url("/r1"));
    ASSERT_TRUE(fetch(f));
    EXPECT_EQ(events->log, "redirect /r2;redirect /final;end;");
    EXPECT_EQ(text(f->httpDestinationURL()->absoluteString()), server.url("/final"));
    EXPECT_EQ(text(f->sourceURL()->absoluteString()), server.url("/r1"));
    EXPECT_EQ(text(f->content()), "landed");

    events->log.clear();
    events->refuse = true;
    auto refused = fileFor(server.url("/r1"));
    ASSERT_TRUE(fetch(refused));
    EXPECT_EQ(events->log, "redirect /r2;fail error;");
    EXPECT_EQ(events->lastError->code(), 9);
    EXPECT_EQ(text(refused->httpHeaders()->objectForKey(NS("Location"))), "/r2");
    EXPECT_FALSE(refused->hasContent());
}

TEST_F(PBLCachedFileTest, CacheBusterAndFileNames) {
    server.route("GET", "/q", text("q"));
    auto f = fileFor(server.url("/q") + "?a=1");
    f->validateWithCacheBuster();
    ASSERT_TRUE(runLoopUntil([&] { return !f->isFetching(); }));
    EXPECT_EQ(server.lastRequest()->query, "a=1&unique=352296000");
    auto plain = fileFor(server.url("/q"));
    plain->validateWithCacheBuster();
    ASSERT_TRUE(runLoopUntil([&] { return !plain->isFetching(); }));
    EXPECT_EQ(server.lastRequest()->query, "unique=352296000");

    auto other = fileFor(server.url("/other"));
    std::string a = text(plain->filePath()), b = text(other->filePath());
    EXPECT_NE(a, b);
    EXPECT_EQ(a.substr(0, a.rfind('/')), b.substr(0, b.rfind('/')));
    EXPECT_EQ(a.substr(0, a.rfind('/')).substr(a.rfind('/', a.rfind('/') - 1) + 1), "127.0.0.1");
    EXPECT_NE(text(plain->description()).find("HTTP code: 200"), std::string::npos);
}

TEST_F(PBLCachedFileTest, OnlyWebSchemesAreFetched) {
    auto f = fileFor("file:///etc/passwd");
    f->validate();
    EXPECT_EQ(events->log, "fail nil;");
    EXPECT_FALSE(f->isFetching());
    EXPECT_FALSE(f->hasContent());
}

// ---- click tracker ------------------------------------------------------------------------

class TrackerEvents : public NSObject, public PBLClickTrackerDelegate {
    NS_OBJECT(TrackerEvents, NSObject)
public:
    void trackerDidFailWithError(PBLClickTracker*, NSError*) override { log += "fail;"; }
    void trackerDidRedirect(PBLClickTracker*, NSURL* url) override {
        log += "done " + text(url->scheme()) + ";";
    }
    std::string log;
};

class PBLClickTrackerTest : public PBLCachedFileTest {
protected:
    Ref<PBLClickTracker> trackerFor(TrackerEvents* d) {
        auto t = make<PBLClickTracker>();
        t->setDelegate(d);
        return t;
    }
    static Ref<NSURL> url(const std::string& s) {
        return NSURL::URLWithString(NSString::fromUTF8(s));
    }
    Ref<TrackerEvents> delegate = make<TrackerEvents>();
};

TEST_F(PBLClickTrackerTest, RedirectToAnApplicationURLIsSuccess) {
    server.route("GET", "/aclk", redirect(302, "itms://store.test/app/1"));
    auto t = trackerFor(delegate);
    auto stats = PBLStatistics::sharedStatistics();
    stats->urlForClick(url("http://ads.test/c"));
    t->trackURL(url(server.url("/aclk")));
    ASSERT_TRUE(runLoopUntil([&] { return t->hasTracked(); }));
    runLoopUntil([] { return false; }, 0.05);  // any late failure would arrive now
    EXPECT_EQ(delegate->log, "done itms;");
    EXPECT_EQ(text(t->trackingURL()->absoluteString()), "itms://store.test/app/1");
}

TEST_F(PBLClickTrackerTest, FailureAndTheCountWithoutBackgroundTasks) {
    UIDevice::currentDevice()->setMultitaskingSupported(false);
    server.route("GET", "/pixel", text(""));
    server.route("GET", "/broken", text("no", "text/plain", 500));
    auto first = trackerFor(delegate);
    auto second = trackerFor(delegate);
    EXPECT_FALSE(PBLClickTracker::activeTrackings());
    first->trackURL(url(server.url("/pixel")));
    second->trackURL(url(server.url("/broken")));
    EXPECT_TRUE(PBLClickTracker::activeTrackings());
    ASSERT_TRUE(runLoopUntil([&] { return first->hasTracked() && second->hasTracked(); }));
    EXPECT_NE(delegate->log.find("done http;"), std::string::npos);
    EXPECT_NE(delegate->log.find("fail;"), std::string::npos);
    EXPECT_FALSE(PBLClickTracker::activeTrackings());
    // A tracker that added nothing takes nothing back from another one's tracking.
    first->trackURL(url(server.url("/pixel")));
    second->reset();
    second->reset();
    EXPECT_TRUE(PBLClickTracker::activeTrackings());
    first = nullptr;  // released: abandoned
    EXPECT_FALSE(PBLClickTracker::activeTrackings());
}

TEST_F(PBLClickTrackerTest, NewTrackingDropsTheOldSilently) {
    auto gate = server.gate();
    server.route("GET", "/slow", [gate](Exchange& x) {
        x.wait(*gate);
        x.respond(Response(200, "late"));
    });
    server.route("GET", "/fast", text("ok"));
    auto app = UIApplication::sharedApplication();
    NSUInteger tasks = app->activeBackgroundTaskCount();
    auto t = trackerFor(delegate);
    t->trackURL(url(server.url("/slow")));
    EXPECT_EQ(app->activeBackgroundTaskCount(), tasks + 1);
    t->trackURL(url(server.url("/fast")));
    EXPECT_EQ(app->activeBackgroundTaskCount(), tasks + 1);
    ASSERT_TRUE(runLoopUntil([&] { return t->hasTracked(); }));
    gate->open();
    runLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(delegate->log, "done http;");
    EXPECT_EQ(app->activeBackgroundTaskCount(), tasks);
}

TEST_F(PBLClickTrackerTest, ExpiredBackgroundTimeAbandonsTheTracking) {
    auto gate = server.gate();
    server.route("GET", "/slow", [gate](Exchange& x) {
        x.wait(*gate);
        x.respond(Response(200, "late"));
    });
    auto app = UIApplication::sharedApplication();
    NSUInteger tasks = app->activeBackgroundTaskCount();
    auto t = trackerFor(delegate);
    // Started late in the background, so the time runs out before the request's own time-out.
    app->performEnterBackground();
    advanceRunLoop(UIApplicationBackgroundTaskTime - 10);
    t->trackURL(url(server.url("/slow")));
    EXPECT_EQ(app->activeBackgroundTaskCount(), tasks + 1);
    advanceRunLoop(11);
    EXPECT_EQ(app->activeBackgroundTaskCount(), tasks);
    EXPECT_EQ(t->trackingURL().get(), nullptr);
    gate->open();
    runLoopUntil([] { return false; }, 0.05);
    EXPECT_EQ(delegate->log, "");
    app->performEnterForeground();
}

}  // namespace
