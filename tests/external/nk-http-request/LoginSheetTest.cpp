// The login sheet over the loopback server: what it shows for a server's and a proxy's challenge,
// typing into it and pressing its buttons as a person would, requests that wait for it, the
// synchronous cases, and the network queue asked only when its delegate will answer.
#include <atomic>
#include <cmath>
#include <thread>

#include "CFNetwork/CFHTTPAuthentication.h"
#include "CFNetwork/CFHTTPAuthenticationNTLM.h"
#include "EngineTesting.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIControl.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIWindow.h"
#include "external/nk-http-request/Classes/NKAuthenticationDialog.h"
#include "external/nk-http-request/Classes/NKNetworkQueue.h"

using namespace enginetest;
using testhttp::TestServer;

namespace {

Ref<NKAuthenticationDialog> sheet() {
    return NKAuthenticationDialog::currentDialog();
}

bool waitForSheet() {
    return runLoopUntil([] { return sheet() != nullptr; });
}

Ref<UINavigationBar> barOf(NKAuthenticationDialog* s) {
    return as<UINavigationBar>(s->view()->subviews()->firstObject());
}

// A person's tap on a bar button.
void press(UIBarButtonItem* item) {
    auto button = as<UIControl>(item->itemView());
    ASSERT_TRUE(button);
    button->simulateTap();
}

void pressLogin(NKAuthenticationDialog* s) {
    press(barOf(s)->topItem()->rightBarButtonItem());
}

void pressCancel(NKAuthenticationDialog* s) {
    press(barOf(s)->topItem()->leftBarButtonItem());
}

// Taps the field and types, as at the keyboard.
void type(UITextField* field, const char* text) {
    field->simulateTap();
    ASSERT_TRUE(field->isFirstResponder());
    field->insertText(str(text));
}

void fill(NKAuthenticationDialog* s, const char* user, const char* password) {
    type(s->usernameField(), user);
    type(s->passwordField(), password);
}

NSInteger codeOf(NKHTTPRequest* r) {
    return r->error() ? r->error()->code() : 0;
}

Ref<NKHTTPRequest> requestTo(const std::string& url) {
    return NKHTTPRequest::requestWithURL(urlOf(url));
}

void forgetCredentials() {
    NKHTTPRequest::clearSession();
    NKHTTPRequest::sessionProxyCredentialsStore()->removeAllObjects();
}

}  // namespace

class LoginSheet : public ::testing::Test {
protected:
    void SetUp() override {
        forgetCredentials();
        window->makeKeyAndVisible();
        server.route("GET", "/basic",
                     testhttp::basicAuth("ann", "right", "Members", testhttp::text("in")));
        server.startTls();
        server.route("GET", "/digest",
                     testhttp::digestAuth("ann", "right", "Digest Members", testhttp::text("in")));
    }
    void TearDown() override {
        // Whatever a failed test left waiting ends here rather than in the next test.
        for (int i = 0; i < 5 && sheet(); ++i)
            sheet()->cancelAuthenticationFromDialog(nullptr);
        forgetCredentials();
    }
    Ref<NKHTTPRequest> askingRequest(const std::string& url, Recorder* delegate) {
        Ref<NKHTTPRequest> r = requestTo(url);
        r->setShouldPresentAuthenticationDialog(true);
        r->setDelegate(delegate);
        return r;
    }

    Ref<UIWindow> window =
        make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
    TestServer server;
};

// ---- the server's sheet ----------------------------------------------------------------------

TEST_F(LoginSheet, ServerChallengeShowsTheSheetAndLoginRetriesWithWhatWasTyped) {
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.url("/basic"), d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> s = sheet();
    EXPECT_EQ(s->type(), NKStandardAuthenticationType);
    EXPECT_EQ(s->request().get(), r.get());
    EXPECT_TRUE(r->isAwaitingCredentials());

    // On screen in the application's window, over a presenting view that takes no touches.
    EXPECT_EQ(s->view()->window().get(), window.get());
    Ref<NKAutorotatingViewController> presenter = s->presentingController();
    EXPECT_EQ(s->presentingViewController().get(), presenter.get());
    EXPECT_FALSE(presenter->view()->isUserInteractionEnabled());
    EXPECT_TRUE(
        presenter->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));

    // The bar: Cancel, the host, Login.
    Ref<UINavigationBar> bar = barOf(s);
    ASSERT_TRUE(bar);
    EXPECT_EQ(text(bar->displayedTitle()), "127.0.0.1");
    EXPECT_EQ(text(bar->topItem()->prompt()), "Login to this secure server.");
    Ref<UIBarButtonItem> cancel = bar->topItem()->leftBarButtonItem();
    ASSERT_TRUE(cancel);
    EXPECT_TRUE(cancel->isSystemItem());
    EXPECT_EQ(cancel->systemItem(), UIBarButtonSystemItemCancel);
    Ref<UIBarButtonItem> login = bar->topItem()->rightBarButtonItem();
    ASSERT_TRUE(login);
    EXPECT_EQ(text(login->displayTitle()), "Login");
    EXPECT_EQ(login->style(), UIBarButtonItemStyleDone);

    // The table: the realm over the two fields, the warning under them.
    Ref<UITableView> table = s->tableView();
    ASSERT_TRUE(table);
    EXPECT_EQ(table->style(), UITableViewStyleGrouped);
    EXPECT_EQ(table->numberOfSections(), 1);
    EXPECT_EQ(table->numberOfRowsInSection(0), 2);
    EXPECT_EQ(text(table->titleForHeaderInSection(0)), "Members");
    EXPECT_EQ(table->rectForHeaderInSection(0).size.height, 30);
    EXPECT_EQ(text(table->titleForFooterInSection(0)), "Password will be sent in the clear.");
    EXPECT_EQ(table->rectForFooterInSection(0).size.height, 30);
    EXPECT_FALSE(s->domainField());
    Ref<UITextField> user = s->usernameField(), password = s->passwordField();
    EXPECT_EQ(text(user->placeholder()), "User");
    EXPECT_EQ(text(password->placeholder()), "Password");
    EXPECT_FALSE(user->isSecureTextEntry());
    EXPECT_TRUE(password->isSecureTextEntry());
    EXPECT_EQ(user->autocapitalizationType(), UITextAutocapitalizationTypeNone);
    EXPECT_EQ(user->autocorrectionType(), UITextAutocorrectionTypeNo);
    // Each field sits in its row's cell, and the user name has the keyboard.
    Ref<UITableViewCell> first = table->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(0, 0));
    ASSERT_TRUE(first);
    EXPECT_TRUE(user->isDescendantOfView(first));
    EXPECT_EQ(first->selectionStyle(), UITableViewCellSelectionStyleNone);
    EXPECT_TRUE(user->isFirstResponder());
    EXPECT_EQ(table->contentInset().bottom, 216);

    user->insertText(NS("ann"));
    type(password, "right");
    pressLogin(s);
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(text(r->username()), "ann");
    // The sheet and its presenting view are gone.
    EXPECT_FALSE(sheet());
    EXPECT_FALSE(s->view()->window());
    EXPECT_FALSE(presenter->view()->window());
    EXPECT_FALSE(s->request());
}

TEST_F(LoginSheet, CancelFailsTheRequestWithAuthenticationNeeded) {
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.url("/digest"), d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    EXPECT_EQ(text(sheet()->tableView()->titleForHeaderInSection(0)), "Digest Members");
    // Not Basic: the password does not travel as it was typed.
    EXPECT_EQ(text(sheet()->tableView()->titleForFooterInSection(0)),
              "Password will be sent securely.");
    pressCancel(sheet());
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_EQ(text(r->error()->localizedDescription()), "Authentication needed");
    EXPECT_EQ(d->count("failed"), 1u);
    EXPECT_FALSE(sheet());
}

TEST_F(LoginSheet, WrongPasswordBringsTheSheetBack) {
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.tlsUrl("/basic"), d);
    r->setValidatesSecureCertificate(false);
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> firstSheet = sheet();
    // Basic over https is protected by the connection.
    EXPECT_EQ(text(firstSheet->tableView()->titleForFooterInSection(0)),
              "Password will be sent securely.");
    fill(firstSheet, "ann", "wrong");
    pressLogin(firstSheet);
    ASSERT_TRUE(runLoopUntil([&] { return sheet() && sheet() != firstSheet; }));
    fill(sheet(), "ann", "right");
    pressLogin(sheet());
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(textOf(r), "in");
}

// ---- requests that wait --------------------------------------------------------------------

TEST_F(LoginSheet, RequestsForTheSamePlaceShareOneSheet) {
    auto a = make<Recorder>(), b = make<Recorder>();
    Ref<NKHTTPRequest> one = askingRequest(server.url("/basic"), a);
    Ref<NKHTTPRequest> two = askingRequest(server.url("/basic?second"), b);
    one->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> shown = sheet();
    // Challenged while the sheet is up: it waits for it.
    two->startAsynchronous();
    ASSERT_TRUE(
        runLoopUntil([] { return NKAuthenticationDialog::waitingRequests()->count() == 1; }));
    EXPECT_EQ(sheet().get(), shown.get());
    ASSERT_EQ(shown->requestsRequiringTheseCredentials()->count(), 2u);
    EXPECT_EQ(shown->requestsRequiringTheseCredentials()->lastObject().get(), one.get());

    fill(shown, "ann", "right");
    pressLogin(shown);
    // Both retry at once, on connections of their own.
    ASSERT_TRUE(runLoopUntil([&] { return a->ended() && b->ended(); }, 10.0));
    EXPECT_EQ(textOf(one), "in");
    EXPECT_EQ(textOf(two), "in");
    EXPECT_FALSE(sheet());
    EXPECT_EQ(NKAuthenticationDialog::waitingRequests()->count(), 0u);
}

TEST_F(LoginSheet, RequestForAnotherPlaceGetsItsOwnSheetAfterTheFirst) {
    auto a = make<Recorder>(), b = make<Recorder>();
    Ref<NKHTTPRequest> one = askingRequest(server.url("/basic"), a);
    Ref<NKHTTPRequest> two = askingRequest(server.url("/basic", "localhost"), b);
    one->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> first = sheet();
    two->startAsynchronous();
    ASSERT_TRUE(
        runLoopUntil([] { return NKAuthenticationDialog::waitingRequests()->count() == 1; }));
    // Another host: the first sheet's answer is not for it.
    EXPECT_EQ(first->requestsRequiringTheseCredentials()->count(), 1u);

    pressCancel(first);
    ASSERT_TRUE(waitForEnd(a));
    EXPECT_EQ(codeOf(one), NKAuthenticationErrorType);
    EXPECT_FALSE(b->ended());
    ASSERT_TRUE(sheet());
    EXPECT_NE(sheet().get(), first.get());
    EXPECT_EQ(sheet()->request().get(), two.get());
    EXPECT_EQ(text(barOf(sheet())->displayedTitle()), "localhost");
    fill(sheet(), "ann", "right");
    pressLogin(sheet());
    ASSERT_TRUE(waitForEnd(b));
    EXPECT_EQ(textOf(two), "in");
}

TEST_F(LoginSheet, WaitingRequestThatWasCancelledGetsNoSheet) {
    auto a = make<Recorder>(), b = make<Recorder>();
    Ref<NKHTTPRequest> one = askingRequest(server.url("/basic"), a);
    Ref<NKHTTPRequest> two = askingRequest(server.url("/basic", "localhost"), b);
    one->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    two->startAsynchronous();
    ASSERT_TRUE(
        runLoopUntil([] { return NKAuthenticationDialog::waitingRequests()->count() == 1; }));
    two->cancel();
    ASSERT_TRUE(waitForEnd(b));
    EXPECT_EQ(codeOf(two), NKRequestCancelledErrorType);
    pressCancel(sheet());
    ASSERT_TRUE(waitForEnd(a));
    EXPECT_FALSE(sheet());
}

// ---- synchronous requests and no window -----------------------------------------------------

TEST_F(LoginSheet, UnavailableWhileASynchronousRequestHoldsTheMainThread) {
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setShouldPresentAuthenticationDialog(true);
    r->startSynchronous();
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_FALSE(r->isAwaitingCredentials());
    runFor(0.05);
    EXPECT_FALSE(sheet());
}

TEST_F(LoginSheet, SynchronousRequestOnAnotherThreadWaitsForTheSheet) {
    std::atomic<bool> done{false};
    std::string body;
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setShouldPresentAuthenticationDialog(true);
    std::thread worker([&] {
        r->startSynchronous();
        body = textOf(r);
        done = true;
    });
    bool shown = waitForSheet();
    if (shown) {
        fill(sheet(), "ann", "right");
        pressLogin(sheet());
    }
    EXPECT_TRUE(runLoopUntil([&] { return done.load(); }, 10.0));
    worker.join();
    ASSERT_TRUE(shown);
    EXPECT_EQ(body, "in");
}

TEST_F(LoginSheet, WithoutAWindowTheRequestFailsInsteadOfWaiting) {
    window = nullptr;
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.url("/basic"), d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(codeOf(r), NKAuthenticationErrorType);
    EXPECT_FALSE(sheet());
}

// ---- turning the phone -----------------------------------------------------------------------

TEST_F(LoginSheet, TurningThePhoneTurnsTheSheetAndDropsThePrompt) {
    Ref<UIDevice> device = UIDevice::currentDevice();
    Ref<UIApplication> app = UIApplication::sharedApplication();
    bool wasGenerating = device->isGeneratingDeviceOrientationNotifications();
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.url("/basic"), d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> s = sheet();
    EXPECT_TRUE(device->isGeneratingDeviceOrientationNotifications());

    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    device->setOrientation(UIDeviceOrientationLandscapeLeft);
    EXPECT_FALSE(barOf(s)->topItem()->prompt());
    CGAffineTransform t = s->view()->transform();
    EXPECT_NEAR(std::atan2(t.b, t.a), M_PI_2, 1e-5);
    CGRect frame = UIScreen::mainScreen()->applicationFrame();
    EXPECT_EQ(s->view()->bounds().size.width, frame.size.height);
    EXPECT_EQ(s->view()->bounds().size.height, frame.size.width);
    // The table stays under the bar.
    EXPECT_EQ(s->tableView()->frame().origin.y, barOf(s)->frame().size.height);

    app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
    device->setOrientation(UIDeviceOrientationPortrait);
    EXPECT_EQ(text(barOf(s)->topItem()->prompt()), "Login to this secure server.");
    pressCancel(s);
    ASSERT_TRUE(waitForEnd(d));
    // The sheet switched the notifications on, and off again when it went.
    EXPECT_EQ(device->isGeneratingDeviceOrientationNotifications(), wasGenerating);
}

// ---- the proxy's sheet -----------------------------------------------------------------------

TEST_F(LoginSheet, ProxyChallengeShowsTheProxySheetByDefault) {
    TestServer proxy;
    proxy.enableProxy("pu", "pp");
    server.route("GET", "/hello", testhttp::text("hello"));
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = requestTo(server.tlsUrl("/hello"));
    r->setValidatesSecureCertificate(false);
    r->setProxyHost(NS("127.0.0.1"));
    r->setProxyPort(proxy.port());
    r->setDelegate(d);
    ASSERT_TRUE(r->shouldPresentProxyAuthenticationDialog());
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<NKAuthenticationDialog> s = sheet();
    EXPECT_EQ(s->type(), NKProxyAuthenticationType);
    EXPECT_EQ(text(barOf(s)->displayedTitle()), "127.0.0.1");
    EXPECT_EQ(text(barOf(s)->topItem()->prompt()), "Login to this secure proxy server.");
    // The proxy reads Basic credentials off the plain connection to it, https or not.
    EXPECT_EQ(text(s->tableView()->titleForFooterInSection(0)),
              "Password will be sent in the clear.");

    fill(s, "pu", "pp");
    pressLogin(s);
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(textOf(r), "hello");
    EXPECT_EQ(text(r->proxyUsername()), "pu");
    EXPECT_FALSE(r->username());
    auto seen = proxy.requests();
    ASSERT_FALSE(seen.empty());
    EXPECT_EQ(seen.back().method, "CONNECT");
    EXPECT_EQ(seen.back().header("Proxy-Authorization"), "Basic " + testhttp::base64("pu:pp"));
}

// ---- NTLM --------------------------------------------------------------------------------------

TEST_F(LoginSheet, NTLMAsksForTheDomainInASectionOfItsOwn) {
    if (!cfnet::ntlm::available()) GTEST_SKIP() << "no MD4 in this OpenSSL";
    server.route("GET", "/ntlm", [](const testhttp::Request&) {
        return testhttp::Response(401, "who?").header("WWW-Authenticate", "NTLM");
    });
    auto d = make<Recorder>();
    Ref<NKHTTPRequest> r = askingRequest(server.url("/ntlm"), d);
    r->startAsynchronous();
    ASSERT_TRUE(waitForSheet());
    Ref<UITableView> table = sheet()->tableView();
    EXPECT_EQ(table->numberOfSections(), 2);
    EXPECT_EQ(table->numberOfRowsInSection(1), 1);
    ASSERT_TRUE(sheet()->domainField());
    EXPECT_EQ(text(sheet()->domainField()->placeholder()), "Domain");
    // The footer goes under the last section only.
    EXPECT_FALSE(table->titleForFooterInSection(0));
    EXPECT_EQ(table->rectForFooterInSection(0).size.height, 0);
    EXPECT_EQ(text(table->titleForFooterInSection(1)), "Password will be sent securely.");

    fill(sheet(), "ann", "right");
    type(sheet()->domainField(), "CORP");
    pressLogin(sheet());
    // The server never accepts; what matters is what the sheet put on the request.
    ASSERT_TRUE(waitForEnd(d));
    EXPECT_EQ(text(r->domain()), "CORP");
}

// ---- the network queue -------------------------------------------------------------------------

namespace {

// A queue delegate that hears about failures only.
class FailureWatcher : public NSObject {
    NS_OBJECT(FailureWatcher, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("failed:", &FailureWatcher::failed); }
    void failed(NKHTTPRequest*) { ++failures; }
    int failures = 0;
};

// A queue delegate that answers the server's question from the main loop.
class QueueAnswerer : public FailureWatcher {
    NS_OBJECT(QueueAnswerer, FailureWatcher)
    static void describeClass(RuntimeClass& c) {
        c.method("authenticationNeededForRequest:", &QueueAnswerer::asked);
    }
    void asked(NKHTTPRequest* r) {
        ++questions;
        r->setUsername(NS("ann"));
        r->setPassword(NS("right"));
        r->retryUsingSuppliedCredentials();
    }
    int questions = 0;
};

}  // namespace

TEST_F(LoginSheet, QueueWhoseDelegateCannotAnswerLeavesTheQuestionToTheSheet) {
    Ref<NKNetworkQueue> queue = NKNetworkQueue::queue();
    auto watcher = make<FailureWatcher>();
    queue->setDelegate(watcher);
    queue->setRequestDidFailSelector(Selector::named("failed:"));
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setShouldPresentAuthenticationDialog(true);
    queue->addOperation(r);
    queue->go();
    // The queue is not asked (it would only give up): the sheet comes instead.
    ASSERT_TRUE(waitForSheet());
    EXPECT_EQ(sheet()->request().get(), r.get());
    fill(sheet(), "ann", "right");
    pressLogin(sheet());
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }, 10.0));
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(watcher->failures, 0);
}

TEST_F(LoginSheet, QueueWhoseDelegateAnswersIsAskedBeforeAnySheet) {
    Ref<NKNetworkQueue> queue = NKNetworkQueue::queue();
    auto answerer = make<QueueAnswerer>();
    queue->setDelegate(answerer);
    queue->setRequestDidFailSelector(Selector::named("failed:"));
    Ref<NKHTTPRequest> r = requestTo(server.url("/basic"));
    r->setShouldPresentAuthenticationDialog(true);
    queue->addOperation(r);
    queue->go();
    ASSERT_TRUE(runLoopUntil([&] { return r->isFinished(); }, 10.0));
    EXPECT_EQ(textOf(r), "in");
    EXPECT_EQ(answerer->questions, 1);
    EXPECT_FALSE(sheet());
}
