// The settle step and network work in flight: a screen is printed once the reply to a request
// has been delivered, in scripts (manual clock) and interactive sessions (real clock) alike, and
// a reply that never comes is waited for a bounded real time, with a line naming it; so is a
// thread of the app's that does not come to rest before a script's clock moves on.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <sstream>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NetworkWork.h"
#include "Foundation/Runtime.h"
#include "Foundation/ThreadActivity.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "tools/shell/ShellSession.h"
#include "tools/shell/TranscriptTesting.h"

namespace {

// An app with one label and five buttons: Fetch loads a URL with the request engine and shows
// the reply in the label, Send posts a body to it; Clear changes the label without the network;
// Busy starts a thread that works until Rest lets it end.
class FetchingDelegate : public NSObject,
                         public UIApplicationDelegate,
                         public NKHTTPRequestDelegate {
    NS_OBJECT(FetchingDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements(
            {"application:didFinishLaunchingWithOptions:", "requestFinished:", "requestFailed:"});
        c.method("fetch:", &FetchingDelegate::fetch);
        c.method("send:", &FetchingDelegate::send);
        c.method("clear:", &FetchingDelegate::clear);
        c.method("busy:", &FetchingDelegate::busy);
        c.method("rest:", &FetchingDelegate::rest);
    }
    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        answer_ = make<UILabel>(&UILabel::initWithFrame, CGRectMake(20, 20, 280, 21));
        answer_->setText(NS("Answer: none"));
        window_->addSubview(answer_);
        addButton("Fetch", "fetch:", 60);
        addButton("Clear", "clear:", 110);
        addButton("Busy", "busy:", 160);
        addButton("Rest", "rest:", 210);
        addButton("Send", "send:", 260);
        window_->makeKeyAndVisible();
        return true;
    }
    Ref<UIWindow> window() override { return window_; }

    void fetch(NSObject*) {
        answer_->setText(NS("Answer: loading"));
        request_ = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
        request_->setDelegate(this);
        request_->startAsynchronous();
    }
    // A body makes the request a POST only once it is under way.
    void send(NSObject*) {
        answer_->setText(NS("Answer: loading"));
        request_ = NKHTTPRequest::requestWithURL(NSURL::URLWithString(str(url)));
        request_->appendPostData(
            NSString::fromUTF8("title=Kayak")->dataUsingEncoding(NSUTF8StringEncoding));
        request_->setDelegate(this);
        request_->startAsynchronous();
    }
    void clear(NSObject*) { answer_->setText(NS("Answer: cleared")); }
    // The thread counts as at work for as long as its body runs: a wait on a plain condition
    // is no rest the platform knows of.
    void busy(NSObject*) {
        auto worker = work_;
        NSThread::detachNewThreadWithBlock([worker] {
            std::unique_lock<std::mutex> g(worker->lock);
            worker->changed.wait_for(g, std::chrono::seconds(60), [&] { return worker->done; });
        });
    }
    void rest(NSObject*) { work_->finish(); }
    void requestFinished(NKHTTPRequest* r) override {
        answer_->setText(NSString::stringWithFormat(NS("Answer: %@"), r->responseString().get()));
    }
    void requestFailed(NKHTTPRequest*) override { answer_->setText(NS("Answer: failed")); }

    static inline std::string url;

private:
    void addButton(const char* title, const char* action, float y) {
        auto b = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        b->setFrame(CGRectMake(20, y, 280, 37));
        b->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
        b->addTarget(this, Selector::named(action), UIControlEventTouchUpInside);
        window_->addSubview(b);
    }
    Ref<UIWindow> window_;
    Ref<UILabel> answer_;
    Ref<NKHTTPRequest> request_;
    struct Work {
        std::mutex lock;
        std::condition_variable changed;
        bool done = false;
        void finish() {
            std::lock_guard<std::mutex> g(lock);
            done = true;
            changed.notify_all();
        }
    };
    std::shared_ptr<Work> work_ = std::make_shared<Work>();
};

// Runs the fetching app over the commands; a script on the manual clock, or lines read one by
// one on the real clock as at a terminal. A hook runs before its line is read.
std::string runSession(const std::string& commands, bool script, double networkWait = 10.0,
                       double threadWait = 10.0, HookedLines::Hooks hooks = {}) {
    FetchingDelegate::staticClass();
    ShellOptions options;
    if (script) options.scriptPath = "-";
    options.delegateClassName = "FetchingDelegate";
    options.networkWaitSeconds = networkWait;
    options.threadWaitSeconds = threadWait;
    HookedLines lines(commands, std::move(hooks));
    std::istream in(&lines);
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    return out.str();
}

// What the session printed after the command (up to the next one).
std::string afterCommand(const std::string& transcript, const std::string& command) {
    size_t at = transcript.find("> " + command + "\n");
    if (at == std::string::npos) return "(no such command)";
    size_t next = transcript.find("\n> ", at + 1);
    return transcript.substr(at, next == std::string::npos ? std::string::npos : next - at);
}

size_t occurrences(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

}  // namespace

TEST(ShellNetwork, TheScreenAfterACommandShowsTheReplyItsRequestWaitedFor) {
    testhttp::TestServer server;
    server.route("GET", "/answer", testhttp::text("Kayak for sale"));
    FetchingDelegate::url = server.url("/answer");
    for (bool script : {true, false}) {
        std::string transcript = runSession("tap Fetch\ntap Fetch\n", script);
        std::string first = afterCommand(transcript, "tap Fetch");
        EXPECT_NE(first.find("Answer: Kayak for sale"), std::string::npos) << transcript;
        EXPECT_EQ(first.find("Answer: loading"), std::string::npos) << transcript;
        EXPECT_EQ(transcript.find("Still waiting"), std::string::npos) << transcript;
        EXPECT_EQ(occurrences(transcript, "Answer: Kayak for sale"), 2u) << transcript;
    }
    EXPECT_EQ(server.requestsTo("/answer").size(), 4u);
    EXPECT_EQ(NetworkWork::inFlight(), 0);
}

TEST(ShellNetwork, ManyRepliesWaitedForAreNamedByTheirCountAndTheFirst) {
    testhttp::TestServer server;
    auto gate = server.gate();
    server.route("GET", "/never", testhttp::held(gate, testhttp::text("too late")));
    FetchingDelegate::url = server.url("/never");
    std::string transcript = runSession("tap Fetch\ntap Fetch\ntap Fetch\n", true, 0.5);
    const std::string said = ">> Still waiting for the network after 0.5 s: ";
    const std::string first = "GET " + FetchingDelegate::url;
    // Each tap leaves one more request under way: one is named, more are counted.
    std::vector<std::string> lines;
    for (size_t at = transcript.find(said); at != std::string::npos;
         at = transcript.find(said, at + 1))
        lines.push_back(
            transcript.substr(at + said.size(), transcript.find('\n', at) - at - said.size()));
    EXPECT_EQ(lines, (std::vector<std::string>{first, "2 requests, the first " + first,
                                               "3 requests, the first " + first}))
        << transcript;
    gate->open();
    runLoopUntil([] { return NetworkWork::inFlight() == 0; });
}

TEST(ShellNetwork, AReplyThatNeverComesIsWaitedForABoundedTimeAndNamedOncePerCommand) {
    testhttp::TestServer server;
    auto gate = server.gate();
    server.route("GET", "/never", testhttp::held(gate, testhttp::text("too late")));
    server.route("POST", "/never", testhttp::held(gate, testhttp::text("too late")));
    FetchingDelegate::url = server.url("/never");
    // The line names the request by the method it was sent with, a posted body's included.
    struct Case {
        const char* button;
        const char* method;
    };
    for (const Case& c : {Case{"Fetch", "GET"}, Case{"Send", "POST"}}) {
        SCOPED_TRACE(c.button);
        const std::string tap = std::string("tap ") + c.button;
        std::string pendingLine =
            ">> Still waiting for the network after 0.5 s: " + std::string(c.method) + " " +
            FetchingDelegate::url + "\n";

        std::string transcript = runSession(tap + "\ntap Clear\nwait 30\n", true, 0.5);
        // Said, and the session went on: the screen shows the request still under way.
        std::string sent = afterCommand(transcript, tap);
        EXPECT_EQ(occurrences(sent, pendingLine), 1u) << transcript;
        EXPECT_NE(sent.find("Answer: loading"), std::string::npos) << transcript;
        // Each command waits on its own, and says so once.
        std::string cleared = afterCommand(transcript, "tap Clear");
        EXPECT_EQ(occurrences(cleared, pendingLine), 1u) << transcript;
        EXPECT_NE(cleared.find("Answer: cleared"), std::string::npos) << transcript;
        // Time on the script's clock brings the request's time-out; the screen after the wait
        // shows its failure, delivered before the screen was printed.
        std::string waited = afterCommand(transcript, "wait 30");
        EXPECT_NE(waited.find("Answer: failed"), std::string::npos) << transcript;
        EXPECT_EQ(occurrences(transcript, "Still waiting"), 2u) << transcript;
        EXPECT_EQ(NetworkWork::inFlight(), 0);
    }
    gate->open();
}

TEST(ShellNetwork, AThreadThatDoesNotRestIsWaitedForABoundedTimeAndNamedOncePerCommand) {
    const std::string said =
        ">> Still waiting for the app's threads after 0.5 s; the clock "
        "moves on\n";
    // The clock moves on for the last time once the thread has ended, however long a loaded
    // machine takes to let it.
    std::string transcript = runSession(
        "tap Busy\nwait 1\nwait 2\ntap Rest\nwait 3\n", true, 10.0, 0.5,
        {{"wait 3", [] { runLoopUntil([] { return thread_activity::atWork() == 0; }); }}});
    // Each move of the clock while the thread works spends the command's budget once, and says
    // so once; the script goes on.
    EXPECT_EQ(occurrences(afterCommand(transcript, "wait 1"), said), 1u) << transcript;
    EXPECT_EQ(occurrences(afterCommand(transcript, "wait 2"), said), 1u) << transcript;
    // Once it has ended, the clock moves on without a word.
    EXPECT_EQ(occurrences(afterCommand(transcript, "wait 3"), said), 0u) << transcript;
    EXPECT_NE(afterCommand(transcript, "wait 3").find("Answer: none"), std::string::npos)
        << transcript;
    EXPECT_TRUE(runLoopUntil([] { return thread_activity::atWork() == 0; }));
}
