// Faults on demand, set in process and through the admin host: error statuses, answers held at a
// gate the test opens, truncated pages, dropped and reset connections.
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "SiteTesting.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"
#include "support/RunLoopTesting.h"

using namespace sitetest;

namespace {

const std::string kBikes = "http://boston.bazaarnest.test/bik/";

class Listener : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(Listener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }
    void requestFinished(NKHTTPRequest*) override { finished = true; }
    void requestFailed(NKHTTPRequest*) override { failed = true; }

public:
    bool finished = false, failed = false;
    bool ended() const { return finished || failed; }
};

// An asynchronous download, as the page classes start them.
Ref<NKHTTPRequest> download(const std::string& url, Listener* listener) {
    Ref<NKHTTPRequest> r = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
    r->setDelegate(listener);
    r->startAsynchronous();
    return r;
}

std::string rawGet(const std::string& host, const std::string& path) {
    return "GET " + path + " HTTP/1.1\r\nHost: " + host + "\r\nConnection: close\r\n\r\n";
}

class Faults : public ::testing::Test {
protected:
    void SetUp() override { site().clearFaults(); }
    void TearDown() override { site().clearFaults(); }
};

}  // namespace

TEST_F(Faults, StatusesAnswerTheErrorPageForTheirHostAndPathOnly) {
    bnsite::Fault f;
    f.host = "boston.bazaarnest.test";
    f.path = "/bik/";
    f.status = 503;
    site().addFault(f);
    Page faulted = get(kBikes);
    EXPECT_EQ(faulted.status, 503);
    EXPECT_FALSE(faulted.failed);  // an answer, not a broken connection
    EXPECT_TRUE(scrapeRows(faulted.text).empty());
    EXPECT_EQ(get("http://boston.bazaarnest.test/fua/").status, 200);
    EXPECT_EQ(get("http://miami.bazaarnest.test/bik/").status, 200);

    bnsite::Fault once;
    once.host = "*.bazaarnest.test";
    once.path = "/tls/";
    once.status = 500;
    once.remaining = 1;
    site().addFault(once);
    EXPECT_EQ(get("http://boston.bazaarnest.test/tls/").status, 500);
    EXPECT_EQ(get("http://boston.bazaarnest.test/tls/").status, 200);
}

TEST_F(Faults, ASlowAnswerWaitsForItsGate) {
    bnsite::Fault f;
    f.path = "/bik/";
    f.gate = "slow-bikes";
    site().addFault(f);
    auto gate = site().gate("slow-bikes");
    gate->close();  // when the test runs again
    size_t passed = gate->passed();
    Ref<Listener> listener = make<Listener>();
    Ref<NKHTTPRequest> r = download(kBikes, listener);
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    EXPECT_FALSE(listener->ended());  // the answer is held at the gate
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] { return listener->ended(); }, 10.0));
    EXPECT_TRUE(listener->finished);
    EXPECT_EQ(r->responseStatusCode(), 200);
    EXPECT_EQ(scrapeRows(r->responseString()->utf8()).size(), 100u);
    EXPECT_EQ(gate->passed(), passed + 1);
}

TEST_F(Faults, TruncatedPagesDroppedAndResetConnections) {
    std::string whole = rawBody(rawExchange(rawGet("boston.bazaarnest.test", "/bik/")));
    ASSERT_GT(whole.size(), 1000u);

    bnsite::Fault cut;
    cut.path = "/bik/";
    cut.delivery = bnsite::Fault::Delivery::Truncate;
    cut.truncateAt = 300;
    site().addFault(cut);
    std::string truncated = rawExchange(rawGet("boston.bazaarnest.test", "/bik/"));
    EXPECT_NE(truncated.find("Content-Length: " + std::to_string(whole.size())), std::string::npos);
    EXPECT_EQ(rawBody(truncated), whole.substr(0, 300));
    EXPECT_TRUE(get(kBikes).failed);

    site().clearFaults();
    bnsite::Fault drop;
    drop.path = "/bik/";
    drop.delivery = bnsite::Fault::Delivery::Drop;
    site().addFault(drop);
    EXPECT_EQ(rawExchange(rawGet("boston.bazaarnest.test", "/bik/")), "");
    EXPECT_TRUE(get(kBikes).failed);

    site().clearFaults();
    bnsite::Fault reset;
    reset.path = "/bik/";
    reset.delivery = bnsite::Fault::Delivery::Reset;
    site().addFault(reset);
    bool wasReset = false;
    EXPECT_EQ(rawExchange(rawGet("boston.bazaarnest.test", "/bik/"), &wasReset), "");
    EXPECT_TRUE(wasReset);
    EXPECT_TRUE(get(kBikes).failed);
}

TEST_F(Faults, TheAdminHostSetsFaultsAndOpensGates) {
    Page set =
        get("http://admin.bazaarnest.test/faults?host=boston.bazaarnest.test&path=/bik/"
            "&status=502&count=1");
    EXPECT_NE(set.text.find("boston.bazaarnest.test/bik/: status=502 remaining=1"),
              std::string::npos);
    EXPECT_EQ(get(kBikes).status, 502);
    EXPECT_EQ(get(kBikes).status, 200);

    get("http://admin.bazaarnest.test/gates/close?name=by-hand");
    get("http://admin.bazaarnest.test/faults?path=/fua/&gate=by-hand");
    Ref<Listener> listener = make<Listener>();
    Ref<NKHTTPRequest> r = download("http://boston.bazaarnest.test/fua/", listener);
    ASSERT_TRUE(site().gate("by-hand")->waitUntilWaiting(1));
    Page opened = get("http://admin.bazaarnest.test/gates/open?name=by-hand");
    EXPECT_NE(opened.text.find("by-hand: open"), std::string::npos);
    ASSERT_TRUE(runLoopUntil([&] { return listener->ended(); }, 10.0));
    EXPECT_EQ(r->responseStatusCode(), 200);

    // A fault for every host and path leaves the admin host alone.
    get("http://admin.bazaarnest.test/faults?host=*&path=/&status=500");
    EXPECT_EQ(get(kBikes).status, 500);
    EXPECT_EQ(get("http://admin.bazaarnest.test/faults/clear").status, 200);
    EXPECT_EQ(get(kBikes).status, 200);
    EXPECT_EQ(get("http://admin.bazaarnest.test/faults?path=/x&status=42").status, 400);
}

TEST_F(Faults, ARealTimeDelayStillAnswers) {
    // For people trying the app by hand; tests hold answers at gates instead.
    bnsite::Fault f;
    f.path = "/tls/";
    f.delaySeconds = 0.01;
    site().addFault(f);
    EXPECT_EQ(get("http://boston.bazaarnest.test/tls/").status, 200);
}
