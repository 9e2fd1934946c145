// The URL connection against a real loopback server: the order of the delegate's calls, the
// defaults of a delegate that implements little, redirects, cookies, compression, time-outs,
// cancelling, the synchronous send, scheduling on another thread's loop, errors and the count
// of network work in flight.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "Foundation/Clock.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSRunLoop.h"
#include "SystemConfiguration/SCNetworkReachability.h"
#include "URLLoadingTesting.h"

using namespace testhttp;

namespace {

class Connection : public URLLoadingTest {};

std::string echoedHeader(const std::string& echo, const std::string& name) {
    std::string key = "\r\n" + name + ": ";
    size_t at = echo.find(key);
    if (at == std::string::npos) return "";
    size_t start = at + key.size();
    return echo.substr(start, echo.find("\r\n", start) - start);
}

}  // namespace

// ---- the order of calls -------------------------------------------------------------------------

TEST_F(Connection, CallbackOrderForAPlainLoad) {
    server.route("GET", "/hello", text("hello world"));
    auto r = load(server.url("/hello"));
    EXPECT_EQ(r->events, lines({"request", "response 200", "data", "cache", "finish"}));
    EXPECT_EQ(r->body, "hello world");
    EXPECT_TRUE(r->onMainThread);
    auto http = as<NSHTTPURLResponse>(r->response);
    ASSERT_TRUE(http);
    EXPECT_EQ(http->MIMEType()->utf8(), "text/plain");
    EXPECT_EQ(http->expectedContentLength(), 11);
    EXPECT_EQ(http->valueForHTTPHeaderField(NS("content-length"))->utf8(), "11");
    EXPECT_EQ(http->URL()->absoluteString()->utf8(), server.url("/hello"));
    // The fields kept apart from the response are looked up the same way.
    auto fields = http->allHeaderFields();
    EXPECT_EQ(text(NSHTTPURLResponse::valueForHTTPHeaderField(fields.get(), NS("CONTENT-LENGTH"))),
              "11");
    EXPECT_FALSE(NSHTTPURLResponse::valueForHTTPHeaderField(fields.get(), NS("Content-Lengt")));
    EXPECT_FALSE(NSHTTPURLResponse::valueForHTTPHeaderField(nullptr, NS("Content-Length")));
}

TEST_F(Connection, OneKeptConnectionServesLoadsOneAfterAnother) {
    server.route("GET", "/a", text("a"));
    server.route("GET", "/gz", gzipped(std::string(3000, 'g')));
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(load(server.url("/a"))->body, "a");
        EXPECT_EQ(load(server.url("/gz"))->body, std::string(3000, 'g'));
    }
    EXPECT_EQ(server.connectionCount(), 1u);
}

TEST_F(Connection, BodyProgressRisesBeforeTheResponse) {
    server.route("POST", "/upload", echo());
    std::string payload = patternBytes(300000);
    auto request = requestFor(server.url("/upload"));
    request->setHTTPMethod(NS("POST"));
    request->setHTTPBody(NSData::dataWithBytes(payload.data(), payload.size()));
    auto r = make<Recorder>();
    load(request, r);
    EXPECT_EQ(r->events, lines({"request", "body", "response 200", "data", "finish"}));
    ASSERT_FALSE(r->bodyProgress.empty());
    for (size_t i = 1; i < r->bodyProgress.size(); ++i)
        EXPECT_GT(r->bodyProgress[i], r->bodyProgress[i - 1]);
    EXPECT_EQ(r->bodyProgress.back(), 300000);
    EXPECT_EQ(r->bodyExpected, 300000);
    EXPECT_NE(r->body.find(payload), std::string::npos);
}

TEST_F(Connection, ADelegateWithoutOptionalMethodsGetsTheDefaults) {
    server.routePrefix("GET", "/chain/", redirectChain(302, 2, "arrived"));
    server.route("GET", "/guarded", basicAuth("ann", "pw", "Shop", text("inside")));
    // Redirects are followed, the response is cached, a challenge goes on without a credential.
    auto ends = make<Ends>();
    auto c = alloc<NSURLConnection>();
    c->initWithRequest(requestFor(server.url("/chain/0")), ends);
    ASSERT_TRUE(runLoopUntil([&] { return ends->done; }));
    EXPECT_EQ(ends->body, "arrived");
    EXPECT_EQ(ends->status, 200);
    EXPECT_TRUE(cache->cachedResponseForRequest(requestFor(server.url("/chain/2"))));

    auto guarded = make<Ends>();
    auto g = alloc<NSURLConnection>();
    g->initWithRequest(requestFor(server.url("/guarded")), guarded);
    ASSERT_TRUE(runLoopUntil([&] { return guarded->done; }));
    EXPECT_EQ(guarded->status, 401);
    EXPECT_FALSE(guarded->error);
}

TEST_F(Connection, ANilDelegateStillLoads) {
    server.route("GET", "/ping", text("pong"));
    auto c = NSURLConnection::connectionWithRequest(requestFor(server.url("/ping")), nullptr);
    ASSERT_TRUE(c);
    EXPECT_EQ(NetworkWork::inFlight(), 1);
    ASSERT_TRUE(runLoopUntil([&] { return NetworkWork::inFlight() == 0; }));
    EXPECT_EQ(server.requestsTo("/ping").size(), 1u);
}

TEST_F(Connection, TheDelegateIsRetainedUntilTheLoadEndsAndReleasedThen) {
    server.route("GET", "/x", text("x"));
    Weak<Recorder> weak;
    bool responded = false;
    {
        auto r = make<Recorder>();
        weak = r.get();
        r->onResponse = [&](NSURLConnection*, NSURLResponse*) { responded = true; };
        NSURLConnection::connectionWithRequest(requestFor(server.url("/x")), r);
    }
    EXPECT_TRUE(weak.lock());  // only the connection holds it now
    ASSERT_TRUE(runLoopUntil([&] { return !weak.lock(); }));
    EXPECT_TRUE(responded);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
}

// ---- redirects ----------------------------------------------------------------------------------

TEST_F(Connection, SixteenRedirectsAreFollowedTheSeventeenthFails) {
    server.routePrefix("GET", "/sixteen/", redirectChain(301, 16, "end"));
    server.routePrefix("GET", "/seventeen/", redirectChain(302, 17, "end"));
    auto ok = load(server.url("/sixteen/0"));
    EXPECT_EQ(ok->body, "end");
    EXPECT_EQ(std::count(ok->events.begin(), ok->events.end(), "redirect 301"), 16);
    auto tooMany = load(server.url("/seventeen/0"));
    EXPECT_EQ(tooMany->errorCode(), NSURLErrorHTTPTooManyRedirects);
    EXPECT_EQ(tooMany->error->domain()->utf8(), NSURLErrorDomain->utf8());
    EXPECT_EQ(server.requestsTo("/seventeen/17").size(), 0u);
}

TEST_F(Connection, ARedirectStoppedByTheDelegateIsTheResponse) {
    server.route("GET", "/moved", redirect(302, "/there"));
    server.route("GET", "/there", text("there"));
    auto r = make<Recorder>();
    r->onRedirect = [](NSURLRequest* request, NSURLResponse* redirect) -> Ref<NSURLRequest> {
        return redirect ? nullptr : Ref<NSURLRequest>(request);
    };
    load(requestFor(server.url("/moved")), r);
    // Only successful answers are offered to the cache.
    EXPECT_EQ(r->events, lines({"request", "redirect 302", "response 302", "finish"}));
    EXPECT_EQ(r->status(), 302);
    EXPECT_EQ(server.requestsTo("/there").size(), 0u);
}

TEST_F(Connection, ARedirectReplacedByTheDelegateGoesWhereItSays) {
    server.route("GET", "/moved", redirect(302, "/there"));
    server.route("GET", "/elsewhere", text("elsewhere"));
    auto r = make<Recorder>();
    r->onRedirect = [&](NSURLRequest* request, NSURLResponse* redirect) -> Ref<NSURLRequest> {
        if (!redirect) return request;
        EXPECT_EQ(request->URL()->absoluteString()->utf8(), server.url("/there"));
        return requestFor(server.url("/elsewhere"));
    };
    load(requestFor(server.url("/moved")), r);
    EXPECT_EQ(r->body, "elsewhere");
    EXPECT_EQ(server.requestsTo("/there").size(), 0u);
}

TEST_F(Connection, SeeOtherTurnsIntoGetAndTemporaryRedirectKeepsMethodAndBody) {
    server.route("POST", "/form303", redirect(303, "/echo"));
    server.route("POST", "/form307", redirect(307, "/echo"));
    server.route("*", "/echo", echo());
    for (int status : {303, 307}) {
        SCOPED_TRACE(status);
        auto request = requestFor(server.url("/form" + std::to_string(status)));
        request->setHTTPMethod(NS("POST"));
        request->setValueForHTTPHeaderField(NS("application/x-www-form-urlencoded"),
                                            NS("Content-Type"));
        request->setHTTPBody(NSData::dataWithBytes("a=1&b=2", 7));
        auto r = make<Recorder>();
        load(request, r);
        ASSERT_EQ(r->status(), 200) << text(r->error);
        if (status == 303) {
            EXPECT_EQ(r->body.rfind("GET /echo HTTP/1.1", 0), 0u) << r->body;
            EXPECT_EQ(r->body.find("a=1&b=2"), std::string::npos);
            EXPECT_EQ(echoedHeader(r->body, "Content-Type"), "");
        } else {
            EXPECT_EQ(r->body.rfind("POST /echo HTTP/1.1", 0), 0u) << r->body;
            EXPECT_NE(r->body.find("\r\n\r\na=1&b=2"), std::string::npos);
        }
    }
}

TEST_F(Connection, NotModifiedAndRedirectsWithoutLocationAreNotFollowed) {
    server.route("GET", "/nolocation", respondWith(Response(302, "stay")));
    server.route("GET", "/notmodified", respondWith(Response(304).header("Location", "/x")));
    auto stay = load(server.url("/nolocation"));
    EXPECT_EQ(stay->status(), 302);
    EXPECT_EQ(stay->body, "stay");
    auto same = load(server.url("/notmodified"));
    EXPECT_EQ(same->status(), 304);
    EXPECT_EQ(same->events, lines({"request", "response 304", "finish"}));
}

// ---- cookies
// --------------------------------------------------------------------------------------

TEST_F(Connection, CookiesSetByOneResponseAreSentWithTheNext) {
    ScopedEnv hosts("BAZAARNEST_HOSTS",
                    "shop.urlconn.test=127.0.0.1:" + std::to_string(server.port()));
    server.route("GET", "/login", setCookies({"session=abc; Path=/"}));
    server.route("GET", "/echo", echo());
    auto login = load("http://shop.urlconn.test/login");
    ASSERT_EQ(login->status(), 200) << text(login->error);
    auto next = load("http://shop.urlconn.test/echo");
    EXPECT_EQ(echoedHeader(next->body, "Cookie"), "session=abc");

    // A request that handles no cookies neither sends nor stores any.
    auto quiet = requestFor("http://shop.urlconn.test/echo");
    quiet->setHTTPShouldHandleCookies(false);
    auto r = make<Recorder>();
    load(quiet, r);
    EXPECT_EQ(echoedHeader(r->body, "Cookie"), "");
}

// ---- compression
// ----------------------------------------------------------------------------------

TEST_F(Connection, GzipAndDeflateBodiesArriveInflated) {
    std::string page(20000, 'a');
    for (size_t i = 0; i < page.size(); i += 7)
        page[i] = char('a' + i % 26);
    server.route("GET", "/gzip", gzipped(page));
    server.route("GET", "/deflate", zlibDeflated(page));
    auto g = load(server.url("/gzip"));
    EXPECT_EQ(g->body, page);
    auto d = load(server.url("/deflate"));
    EXPECT_EQ(d->body, page);
    EXPECT_EQ(server.requestsTo("/gzip").front().header("Accept-Encoding"), "gzip, deflate");
}

TEST_F(Connection, DamagedOrCutCompressedBodiesFail) {
    server.route("GET", "/damaged", damagedGzip(std::string(5000, 'z')));
    server.route("GET", "/cut", truncatedGzip(std::string(5000, 'z'), 20));
    auto damaged = load(server.url("/damaged"));
    EXPECT_EQ(damaged->errorCode(), NSURLErrorCannotDecodeRawData);
    EXPECT_EQ(damaged->events.back(), "fail -1015");
    auto cut = load(server.url("/cut"));
    EXPECT_EQ(cut->errorCode(), NSURLErrorCannotDecodeRawData);
}

// ---- time-outs and cancelling
// ---------------------------------------------------------------------

TEST_F(Connection, ASilentServerTimesOutOnTheClock) {
    ManualClockScope clock;
    server.route("GET", "/silent", silence());
    auto request = requestFor(server.url("/silent"));
    request->setTimeoutInterval(30);
    auto r = make<Recorder>();
    auto c = alloc<NSURLConnection>();
    c->initWithRequest(request, r);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestsTo("/silent").size() == 1; }));
    advanceRunLoop(29);
    EXPECT_FALSE(r->done);
    advanceRunLoop(2);
    ASSERT_TRUE(r->done);
    EXPECT_EQ(r->errorCode(), NSURLErrorTimedOut);
    EXPECT_EQ(r->events, lines({"request", "fail -1001"}));
}

TEST_F(Connection, CancelInsideDidReceiveResponseSilencesTheConnection) {
    server.route("GET", "/big", large(200000, true));
    auto r = make<Recorder>();
    r->onResponse = [](NSURLConnection* c, NSURLResponse*) { c->cancel(); };
    auto c = alloc<NSURLConnection>();
    c->initWithRequest(requestFor(server.url("/big")), r);
    ASSERT_TRUE(
        runLoopUntil([&] { return !r->events.empty() && r->events.back() == "response 200"; }));
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    runLoopUntil([] { return false; }, 0.2);
    EXPECT_EQ(r->events, lines({"request", "response 200"}));
    EXPECT_FALSE(r->done);
}

TEST_F(Connection, TheInFlightCountFollowsSuccessFailureAndCancel) {
    server.route("GET", "/ok", text("ok"));
    server.route("GET", "/held", silence());
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    auto ok = make<Recorder>();
    auto c1 = alloc<NSURLConnection>();
    c1->initWithRequest(requestFor(server.url("/ok")), ok);
    EXPECT_EQ(NetworkWork::inFlight(), 1);
    ASSERT_TRUE(runLoopUntil([&] { return ok->done; }));
    EXPECT_EQ(NetworkWork::inFlight(), 0);

    auto failed = make<Recorder>();
    auto c2 = alloc<NSURLConnection>();
    c2->initWithRequest(requestFor("http://nowhere.urlconn.test/"), failed);
    EXPECT_EQ(NetworkWork::inFlight(), 1);
    ASSERT_TRUE(runLoopUntil([&] { return failed->done; }));
    EXPECT_EQ(NetworkWork::inFlight(), 0);

    auto held = make<Recorder>();
    auto c3 = alloc<NSURLConnection>();
    c3->initWithRequest(requestFor(server.url("/held")), held);
    ASSERT_TRUE(runLoopUntil([&] { return server.requestsTo("/held").size() == 1; }));
    EXPECT_EQ(NetworkWork::inFlight(), 1);
    c3->cancel();
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    EXPECT_EQ(held->events, lines({"request"}));
}

// ---- errors
// ---------------------------------------------------------------------------------------

TEST_F(Connection, AnUnmappedTestNameFailsAtOnceAsHostNotFound) {
    auto r = load("http://unmapped.urlconn.test/page");
    EXPECT_EQ(r->errorCode(), NSURLErrorCannotFindHost);
    auto info = r->error->userInfo();
    EXPECT_EQ(as<NSString>(info->objectForKey(NSURLErrorFailingURLStringErrorKey))->utf8(),
              "http://unmapped.urlconn.test/page");
    EXPECT_TRUE(as<NSURL>(info->objectForKey(NSURLErrorFailingURLErrorKey)));
    EXPECT_TRUE(info->objectForKey(NSUnderlyingErrorKey));
}

TEST_F(Connection, ErrorsBeforeAnyAnswer) {
    auto unsupported = load("ftp://127.0.0.1/file");
    EXPECT_EQ(unsupported->errorCode(), NSURLErrorUnsupportedURL);
    auto bad = load("http:///nohost");
    EXPECT_EQ(bad->errorCode(), NSURLErrorBadURL);

    // A port nobody listens on.
    ClosedPort closed;
    auto refused = load(closed.url("/"));
    EXPECT_EQ(refused->errorCode(), NSURLErrorCannotConnectToHost);

    // No network at all, as reachability reports it.
    SCNetworkReachabilitySetFlagsForTesting(0);
    auto offline = load(server.url("/"));
    SCNetworkReachabilityClearFlagsForTesting();
    EXPECT_EQ(offline->errorCode(), NSURLErrorNotConnectedToInternet);
    EXPECT_EQ(server.requestCount(), 0u);
}

TEST_F(Connection, AConnectionLostMidBodyAndAGarbledHead) {
    server.route("GET", "/cut", [](Exchange& x) {
        x.write("HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\nonly part");
        x.reset();
    });
    server.route("GET", "/garbage", [](Exchange& x) {
        x.write("this is no HTTP\r\n\r\n");
        x.close();
    });
    auto lost = load(server.url("/cut"));
    EXPECT_EQ(lost->errorCode(), NSURLErrorNetworkConnectionLost);
    auto garbled = load(server.url("/garbage"));
    EXPECT_EQ(garbled->errorCode(), NSURLErrorBadServerResponse);
}

TEST_F(Connection, AReplyCutShortHandsOverItsHeadAndBytesAndIsNotSentAgain) {
    server.route("GET", "/short", [](Exchange& x) {
        x.write("HTTP/1.1 200 OK\r\nContent-Length: 5000\r\n\r\n" + std::string(1200, 'p'));
        x.close();
    });
    auto cut = load(server.url("/short"));
    EXPECT_EQ(cut->errorCode(), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(cut->status(), 200);
    EXPECT_EQ(cut->body, std::string(1200, 'p'));
    // The answer had begun: no second attempt on a new connection.
    EXPECT_EQ(server.requestCount(), 1u);
}

// ---- a connection lost before any answer
// ---------------------------------------------------------

namespace {

// A request carrying the body, POST unless told otherwise.
Ref<NSMutableURLRequest> sending(const std::string& url, const std::string& body,
                                 const std::string& method = "POST") {
    auto r = requestFor(url);
    r->setHTTPMethod(NSString::fromUTF8(method));
    r->setHTTPBody(NSData::dataWithBytes(body.data(), body.size()));
    return r;
}

}  // namespace

TEST_F(Connection, ARequestLostOnAKeptConnectionGoesAgainOnANewOneOnlyIfItMayBeAppliedTwice) {
    // Two loads at once leave two kept connections; the server then reads the next request on
    // each kept connection and closes it unanswered. GET and PUT go again, once, on a new
    // connection; a POST sent whole may have been acted on: it fails, sent once.
    for (std::string method : {"GET", "PUT", "POST"}) {
        SCOPED_TRACE(method);
        bool again = method != "POST";
        TestServer site;
        auto gate = site.gate();
        site.route("GET", "/held", held(gate, text("held")));
        site.route(method, "/upload", firstOnly(echo()));
        auto a = make<Recorder>(), b = make<Recorder>();
        auto ca = alloc<NSURLConnection>(), cb = alloc<NSURLConnection>();
        EXPECT_TRUE(ca->initWithRequest(requestFor(site.url("/held")), a));
        EXPECT_TRUE(cb->initWithRequest(requestFor(site.url("/held")), b));
        ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 2; }));
        gate->open();
        ASSERT_TRUE(runLoopUntil([&] { return a->done && b->done; }));
        ASSERT_EQ(a->body + b->body, "heldheld");
        ASSERT_EQ(site.connectionCount(), 2u);

        auto r = make<Recorder>();
        load(sending(site.url("/upload"), "sessions=3", method), r);
        // The delegate hears of one request, and of one answer or the failure.
        EXPECT_EQ(std::count(r->events.begin(), r->events.end(), "request"), 1);
        auto uploads = site.requestsTo("/upload");
        ASSERT_EQ(uploads.size(), again ? 2u : 1u);
        EXPECT_GT(uploads[0].indexOnConnection, 0u);
        if (!again) {
            EXPECT_EQ(r->errorCode(), NSURLErrorNetworkConnectionLost);
            EXPECT_EQ(r->events.back(), "fail " + std::to_string(NSURLErrorNetworkConnectionLost));
            EXPECT_EQ(site.connectionCount(), 2u);
            continue;
        }
        EXPECT_FALSE(r->error) << text(r->error ? r->error->localizedDescription() : nullptr);
        EXPECT_EQ(r->status(), 200);
        EXPECT_NE(r->body.find("sessions=3"), std::string::npos);
        EXPECT_EQ(std::count(r->events.begin(), r->events.end(), "response 200"), 1);
        // Sent again on a new connection, not on the other kept one.
        EXPECT_EQ(uploads[1].indexOnConnection, 0u);
        EXPECT_EQ(uploads[1].connectionId, 3u);
        EXPECT_EQ(uploads[1].body, "sessions=3");
    }
}

TEST_F(Connection, ARequestIsSentAgainOnlyOnce) {
    // The first request is answered on a kept connection; every later one is read and the
    // connection closed unanswered, the resend's new connection included. A PUT may go again.
    server.route("PUT", "/upload", [](Exchange& x) {
        if (x.request().sequence == 0) {
            x.respond(Response(200, "booked"));
        } else {
            x.close();
        }
    });
    auto first = make<Recorder>();
    load(sending(server.url("/upload"), "one", "PUT"), first);
    EXPECT_EQ(first->body, "booked");
    auto r = make<Recorder>();
    load(sending(server.url("/upload"), "two", "PUT"), r);
    EXPECT_EQ(r->errorCode(), NSURLErrorNetworkConnectionLost);
    EXPECT_EQ(std::count(r->events.begin(), r->events.end(), "request"), 1);
    auto uploads = server.requestsTo("/upload");
    ASSERT_EQ(uploads.size(), 3u);
    EXPECT_EQ(uploads[1].connectionId, 1u);
    EXPECT_EQ(uploads[2].connectionId, 2u);
    EXPECT_EQ(uploads[2].body, "two");
    EXPECT_EQ(server.connectionCount(), 2u);
}

TEST_F(Connection, TLSChecksTheChainAndTheName) {
    TlsOptions options;
    options.names = {"secure.urlconn.test"};
    server.startTls(options);
    server.route("GET", "/secret", text("secret"));
    ScopedEnv hosts("BAZAARNEST_HOSTS",
                    "*.urlconn.test=127.0.0.1:" + std::to_string(server.tlsPort()));
    auto untrusted = load("https://secure.urlconn.test/secret");
    EXPECT_EQ(untrusted->errorCode(), NSURLErrorServerCertificateUntrusted);

    // A name of its own: the platform keeps the anchors it read from a file by the file's name.
    std::string pem = ::testing::TempDir() + "urlconn-ca-XXXXXX.pem";
    int fd = ::mkstemps(pem.data(), 4);
    ASSERT_GE(fd, 0);
    ::close(fd);
    std::ofstream(pem) << server.certificatePem();
    ScopedEnv anchors("BAZAARNEST_CA_FILE", pem);
    auto trusted = load("https://secure.urlconn.test/secret");
    EXPECT_EQ(trusted->body, "secret") << text(trusted->error);
    auto wrongName = load("https://other.urlconn.test/secret");
    EXPECT_EQ(wrongName->errorCode(), NSURLErrorServerCertificateUntrusted);
    ::unlink(pem.c_str());
}

// ---- the synchronous send and other threads
// -------------------------------------------------------

TEST_F(Connection, SynchronousSendOnTheMainThread) {
    server.route("GET", "/sync", text("in step"));
    server.route("GET", "/missing", text("no such page", "text/plain", 404));
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    auto data =
        NSURLConnection::sendSynchronousRequest(requestFor(server.url("/sync")), &response, &error);
    ASSERT_TRUE(data) << text(error);
    EXPECT_EQ(std::string(static_cast<const char*>(data->bytes()), data->length()), "in step");
    EXPECT_EQ(as<NSHTTPURLResponse>(response)->statusCode(), 200);

    // An HTTP status is a response, not an error.
    data = NSURLConnection::sendSynchronousRequest(requestFor(server.url("/missing")), &response,
                                                   &error);
    ASSERT_TRUE(data);
    EXPECT_FALSE(error);
    EXPECT_EQ(as<NSHTTPURLResponse>(response)->statusCode(), 404);

    data = NSURLConnection::sendSynchronousRequest(requestFor("http://gone.urlconn.test/"),
                                                   &response, &error);
    EXPECT_FALSE(data);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSURLErrorCannotFindHost);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
}

TEST_F(Connection, SynchronousSendOnAWorkerThreadLeavesTheMainLoopAlone) {
    server.route("GET", "/sync", text("from a worker"));
    std::string body;
    int status = 0;
    bool finished = false;
    std::thread worker([&] {
        NSAutoreleasePool pool;
        Ref<NSURLResponse> response;
        Ref<NSError> error;
        auto data = NSURLConnection::sendSynchronousRequest(requestFor(server.url("/sync")),
                                                            &response, &error);
        if (data) body.assign(static_cast<const char*>(data->bytes()), data->length());
        if (auto http = as<NSHTTPURLResponse>(response)) status = int(http->statusCode());
        finished = true;
    });
    worker.join();
    EXPECT_TRUE(finished);
    EXPECT_EQ(body, "from a worker");
    EXPECT_EQ(status, 200);
}

TEST_F(Connection, AnUnstartedConnectionMovedToTheMainLoopCallsBackThere) {
    server.route("POST", "/upload", text("stored"));
    auto r = make<Recorder>();
    Ref<NSURLConnection> connection;
    std::thread worker([&] {
        NSAutoreleasePool pool;
        auto request = requestFor(server.url("/upload"));
        request->setHTTPMethod(NS("POST"));
        request->setHTTPBody(NSData::dataWithBytes("records", 7));
        auto c = alloc<NSURLConnection>();
        c->initWithRequest(request, r, false);
        c->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
        c->scheduleInRunLoop(NSRunLoop::mainRunLoop(), NSDefaultRunLoopMode);
        c->start();
        connection = c;
    });
    worker.join();
    ASSERT_TRUE(runLoopUntil([&] { return r->done; }));
    EXPECT_EQ(r->body, "stored");
    EXPECT_TRUE(r->onMainThread);
}

TEST_F(Connection, ScheduledInAnotherModeItWaitsForThatMode) {
    server.route("GET", "/modal", text("modal"));
    NSString* mode = NS("URLLoadingTestMode");
    auto r = make<Recorder>();
    auto c = alloc<NSURLConnection>();
    c->initWithRequest(requestFor(server.url("/modal")), r, false);
    c->scheduleInRunLoop(NSRunLoop::currentRunLoop(), mode);
    c->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
    c->start();
    runLoopUntil([] { return false; }, 0.2);
    EXPECT_TRUE(r->events.empty());
    ASSERT_TRUE(runLoopUntil([&] { return r->done; }, 5.0, mode));
    EXPECT_EQ(r->body, "modal");
}
