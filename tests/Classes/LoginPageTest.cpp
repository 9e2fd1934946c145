// The site account login over real HTTPS against the stand-in account service: success (and the
// account page by cookie, and logout by deleting the root domain's cookies), wrong credentials,
// the captcha for the captcha account and after repeated failures, a dropped connection, and
// account services whose certificate is not to be trusted.
#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <utility>
#include <vector>

#include "Classes/LoginPage.h"
#include "Classes/NoticewallAppDelegate.h"
#include "Classes/Regex.h"
#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/http/TestServer.h"
#include "support/site/RunningSite.h"

namespace {

class LoginWatcher : public NSObject, public LoginListner {
    NS_OBJECT(LoginWatcher, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"loginDone:"}); }

public:
    void loginDone(bool success) override { results.push_back(success); }
    std::vector<bool> results;
};

// A listener with the captcha step, like the login overlay.
class CaptchaLoginWatcher : public LoginWatcher {
    NS_OBJECT(CaptchaLoginWatcher, LoginWatcher)
    static void describeClass(RuntimeClass& c) { c.implements({"loginRequireVerification:"}); }

public:
    void loginRequireVerification(LoginPage* page) override { asked = page; }
    Weak<LoginPage> asked;
};

// Answers the captcha in the frame the way the captcha screen does, with the words the site
// drew; the verification code it hands out.
Ref<NSString> solveCaptcha(NSString* frameUrl) {
    auto frame = make<WebPage>();
    frame->downloadPageSync(frameUrl);
    auto challenge = frame->getInputValue(NS("recaptcha_challenge_field"));
    if (!challenge) return nullptr;
    auto answer = sitetest::site().captchaAnswer(challenge->utf8()).value_or("");
    frame->postDataArray(
        NSArray::arrayWithObjects({NS("recaptcha_challenge_field"), challenge.get(),
                                   NS("recaptcha_response_field"), str(answer).get()}),
        1, nullptr, frameUrl);
    return Regex::getMatch(frame->getReply(), NS("<textarea[^>]*>([^<]*)</textarea>"));
}

// The start of the name of every authority file this process makes.
std::string anchorFilePrefix() {
    return "login-anchor-" + std::to_string(getpid()) + "-";
}

class Login : public testing::Test {
protected:
    void SetUp() override {
        sitetest::site().reset();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        defaults = NSUserDefaults::standardUserDefaults();
        defaults->removePersistentDomain();
        defaults->setObject(NS("secret"), NS("Password"));
        delegate = make<NoticewallAppDelegate>();
        UIApplication::sharedApplication()->setDelegate(delegate.get());
    }
    void TearDown() override {
        // The authority files a test makes go with the test.
        for (const auto& entry : std::filesystem::directory_iterator(testing::TempDir()))
            EXPECT_NE(entry.path().filename().string().rfind(anchorFilePrefix(), 0), 0u)
                << entry.path();
        sitetest::site().clearFaults();
        for (auto panel = shown(); panel; panel = shown())
            panel->dismissWithClickedButtonIndex(0, false);
        UIApplication::sharedApplication()->setDelegate(nullptr);
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        defaults->removePersistentDomain();
        sitetest::site().reset();
    }

    static Ref<UIAlertView> shown() {
        auto panels = UIButtonPanelView::shownPanels();
        return panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
    }
    // Runs what the main thread has queued so far (messages are queued, not shown at once).
    static void flushMainQueue() {
        bool done = false;
        NSRunLoop::performOnMainThread([&] { done = true; }, false);
        ASSERT_TRUE(runLoopUntil([&] { return done; }));
    }
    static Ref<NSString> accountPage() {
        auto page = make<WebPage>();
        page->downloadPageSync(NS("https://accounts.bazaarnest.test/"));
        return page->getPage();
    }
    void logIn(LoginPage* page, LoginWatcher* watcher, const char* name, const char* password) {
        size_t before = watcher->results.size();
        page->login(str(name), str(password), watcher);
        ASSERT_TRUE(runLoopUntil([&] { return watcher->results.size() > before; }));
    }

    Ref<NSUserDefaults> defaults;
    Ref<NoticewallAppDelegate> delegate;
};

}  // namespace

TEST_F(Login, SuccessSetsTheLoginTimeAndTheCookieOpensTheAccountPage) {
    auto watcher = make<LoginWatcher>();
    Weak<LoginPage> weak;
    {
        // Nobody keeps the page, as when the posting screen logs in with the stored account.
        auto page = make<LoginPage>();
        weak = page.get();
        page->login(NS("tester@example.test"), NS("secret"), watcher);
        EXPECT_EQ(text(page->request()->url()->absoluteString()),
                  "https://accounts.bazaarnest.test");
    }
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->results.empty(); }));
    EXPECT_EQ(watcher->results, std::vector<bool>{true});
    EXPECT_TRUE(delegate->loginTime());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
    EXPECT_NE(text(accountPage()).find("home of tester@example.test"), std::string::npos);
    EXPECT_FALSE(weak.alive());  // let go once it has reported

    // Logout deletes the root domain's cookies; the account service then asks to log in again.
    auto storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    auto cookies = storage->cookiesForURL(NSURL::URLWithString(NS("http://bazaarnest.test")));
    ASSERT_GE(cookies->count(), 1u);
    for (NSUInteger i = 0; i < cookies->count(); ++i)
        storage->deleteCookie(as<NSHTTPCookie>(cookies->objectAtIndex(i)));
    auto after = text(accountPage());
    EXPECT_EQ(after.find("home of "), std::string::npos);
    EXPECT_NE(after.find("Log in to your account"), std::string::npos);
}

TEST_F(Login, TheGreetingIsMatchedWithoutCase) {
    auto watcher = make<LoginWatcher>();
    auto page = make<LoginPage>();
    logIn(page, watcher, "TESTER", "secret");  // the site greets "home of tester@example.test"
    EXPECT_EQ(watcher->results, std::vector<bool>{true});
    EXPECT_EQ(page->state(), LoginPage::kStateLoginPosted);
}

TEST_F(Login, WrongPasswordFailsClearsTheStoredPasswordAndSaysSo) {
    delegate->setLoginTime(NSDate::date());
    auto watcher = make<LoginWatcher>();
    auto page = make<LoginPage>();
    logIn(page, watcher, "tester@example.test", "wrong");
    EXPECT_EQ(watcher->results, std::vector<bool>{false});
    EXPECT_FALSE(delegate->loginTime());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "");
    flushMainQueue();
    ASSERT_TRUE(shown());
    EXPECT_EQ(text(shown()->message()), "Login Failed");
    EXPECT_EQ(accountPage()->rangeOfString(NS("home of ")).location, NSNotFound);
}

TEST_F(Login, TheCaptchaAccountIsAnsweredThroughTheListener) {
    auto watcher = make<CaptchaLoginWatcher>();
    auto page = make<LoginPage>();
    page->login(NS("captcha@example.test"), NS("secret"), watcher);
    ASSERT_TRUE(runLoopUntil([&] { return watcher->asked.alive(); }));
    EXPECT_EQ(watcher->asked.lock().get(), page.get());
    EXPECT_TRUE(watcher->results.empty());
    auto frame = page->getVerificationUrl();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->rangeOfString(NS("http://verify.captchaservice.test/recaptcha/api/")).location,
              0u);

    // A wrong code gets the captcha again; the right one logs in.
    watcher->asked = nullptr;
    page->loginWithVerification(nullptr, nullptr, nullptr, NS("not-a-code"));
    ASSERT_TRUE(runLoopUntil([&] { return watcher->asked.alive(); }));
    auto code = solveCaptcha(page->getVerificationUrl());
    ASSERT_TRUE(code);
    page->loginWithVerification(NS("ignored"), NS("ignored"), nullptr, code);
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->results.empty(); }));
    EXPECT_EQ(watcher->results, std::vector<bool>{true});
    EXPECT_NE(text(accountPage()).find("home of captcha@example.test"), std::string::npos);
}

TEST_F(Login, ACaptchaWithoutACaptchaStepFailsQuietly) {
    auto watcher = make<LoginWatcher>();
    auto page = make<LoginPage>();
    logIn(page, watcher, "captcha@example.test", "secret");
    EXPECT_EQ(watcher->results, std::vector<bool>{false});
    flushMainQueue();
    EXPECT_FALSE(shown());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
}

TEST_F(Login, RepeatedFailuresBringTheCaptcha) {
    auto watcher = make<CaptchaLoginWatcher>();
    auto page = make<LoginPage>();
    for (int i = 1; i < bnsite::kLoginFailuresBeforeCaptcha; ++i)
        logIn(page, watcher, "tester@example.test", "wrong");
    EXPECT_EQ(watcher->results.size(), size_t(bnsite::kLoginFailuresBeforeCaptcha - 1));
    EXPECT_FALSE(watcher->asked.alive());
    // The failure that reaches the limit answers with the captcha, and so does the next try.
    page->login(NS("tester@example.test"), NS("wrong"), watcher);
    ASSERT_TRUE(runLoopUntil([&] { return watcher->asked.alive(); }));
    watcher->asked = nullptr;
    page->login(NS("tester@example.test"), NS("secret"), watcher);
    ASSERT_TRUE(runLoopUntil([&] { return watcher->asked.alive(); }));
    EXPECT_EQ(watcher->results.size(), size_t(bnsite::kLoginFailuresBeforeCaptcha - 1));
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "");  // cleared by the failures
}

TEST_F(Login, ANetworkFailureShowsTheClockHintAndTellsTheListener) {
    bnsite::Fault drop;
    drop.host = "accounts.bazaarnest.test";
    drop.delivery = bnsite::Fault::Delivery::Drop;
    sitetest::site().addFault(drop);
    delegate->setLoginTime(NSDate::date());
    auto watcher = make<LoginWatcher>();
    auto page = make<LoginPage>();
    page->login(NS("tester@example.test"), NS("secret"), watcher);
    ASSERT_TRUE(runLoopUntil([&] { return bool(shown()); }, 30));
    EXPECT_EQ(text(shown()->message()),
              "Login: Network connection error. Please make sure clock is set correctly");
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->results.empty(); }));
    EXPECT_EQ(watcher->results, std::vector<bool>{false});
    EXPECT_FALSE(delegate->loginTime());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
}

namespace {

// The account host pointed at a loopback test server for the length of a test, with `caFile`
// as the trusted authority ("" keeps the site's), which is removed afterwards. Kept connections are
// found by host name, so they are dropped before and after (a clock far ahead makes every one due):
// the name's new address is used, and later tests reach the site again.
class AccountHostElsewhere {
public:
    AccountHostElsewhere(int port, const std::string& caFile) : caFile_(caFile) {
        dropKeptConnections();
        hosts_ = getenv("BAZAARNEST_HOSTS") ? getenv("BAZAARNEST_HOSTS") : "";
        ca_ = getenv("BAZAARNEST_CA_FILE") ? getenv("BAZAARNEST_CA_FILE") : "";
        std::string hosts = "accounts.bazaarnest.test=127.0.0.1:" + std::to_string(port);
        setenv("BAZAARNEST_HOSTS", hosts.c_str(), 1);
        if (!caFile.empty()) setenv("BAZAARNEST_CA_FILE", caFile.c_str(), 1);
    }
    ~AccountHostElsewhere() {
        setenv("BAZAARNEST_HOSTS", hosts_.c_str(), 1);
        setenv("BAZAARNEST_CA_FILE", ca_.c_str(), 1);
        dropKeptConnections();
        if (!caFile_.empty()) std::filesystem::remove(caFile_);
    }
    AccountHostElsewhere(const AccountHostElsewhere&) = delete;
    AccountHostElsewhere& operator=(const AccountHostElsewhere&) = delete;

private:
    static void dropKeptConnections() {
        ManualClockScope later(4e9);
        NKHTTPRequest::expirePersistentConnections();
    }
    std::string hosts_, ca_, caFile_;
};

// The server's own certificate as an authority file (a new file each time: the platform reads
// each file once).
std::string trustFileFor(const testhttp::TestServer& server) {
    static int made = 0;
    std::string path = testing::TempDir() + anchorFilePrefix() + std::to_string(++made) + ".pem";
    std::ofstream(path) << server.certificatePem();
    return path;
}

// An account service that would log anybody in.
void answerLikeTheAccountService(testhttp::TestServer& server) {
    server.route("GET", "/", [](testhttp::Exchange& x) {
        x.respond(testhttp::Response(200, "<html>sign in</html>", "text/html; charset=utf-8"));
    });
    server.route("POST", "/login", [](testhttp::Exchange& x) {
        x.respond(testhttp::Response(200, "<html>home of tester@example.test</html>",
                                     "text/html; charset=utf-8"));
    });
}

}  // namespace

TEST_F(Login, TheAccountServiceMustProveItsName) {
    auto attempt = [&](testhttp::TestServer& server, const std::string& caFile) {
        AccountHostElsewhere elsewhere(server.tlsPort(), caFile);
        auto watcher = make<LoginWatcher>();
        auto page = make<LoginPage>();
        page->login(NS("tester@example.test"), NS("secret"), watcher);
        EXPECT_TRUE(runLoopUntil([&] { return !watcher->results.empty(); }, 30));
        return std::make_pair(watcher->results, page->request());
    };
    auto expectRefused = [&](testhttp::TestServer& server, const std::string& caFile,
                             const char* what) {
        SCOPED_TRACE(what);
        auto [results, request] = attempt(server, caFile);
        EXPECT_EQ(results, std::vector<bool>{false});
        ASSERT_TRUE(request && request->error());
        EXPECT_EQ(request->error()->code(), NKConnectionFailureErrorType);
        EXPECT_NE(text(request->error()->localizedDescription()).find("SSL problem"),
                  std::string::npos);
        // The client got as far as the handshake, and not one request byte further.
        EXPECT_GE(server.connectionCount(), 1u);
        EXPECT_EQ(server.requestCount(), 0u);
        EXPECT_FALSE(delegate->loginTime());
        flushMainQueue();
        ASSERT_TRUE(shown());
        EXPECT_EQ(text(shown()->message()),
                  "Login: Network connection error. Please make sure clock is set correctly");
        shown()->dismissWithClickedButtonIndex(0, false);
    };

    // The right name, from an authority nobody trusts (the site's authority stays the trusted
    // one).
    testhttp::TestServer untrusted;
    answerLikeTheAccountService(untrusted);
    testhttp::TlsOptions accountName;
    accountName.names = {"accounts.bazaarnest.test"};
    untrusted.startTls(accountName);
    expectRefused(untrusted, "", "untrusted authority");

    // A trusted certificate for another host.
    testhttp::TestServer misnamed;
    answerLikeTheAccountService(misnamed);
    testhttp::TlsOptions otherName;
    otherName.names = {"elsewhere.bazaarnest.test"};
    otherName.commonName = "elsewhere.bazaarnest.test";
    misnamed.startTls(otherName);
    expectRefused(misnamed, trustFileFor(misnamed), "another host's certificate");

    // The same server, once its authority is trusted, gets the password: the refusals above
    // were the certificate's doing.
    auto [results, request] = attempt(untrusted, trustFileFor(untrusted));
    EXPECT_EQ(results, std::vector<bool>{true});
    EXPECT_EQ(untrusted.requestsTo("/login").size(), 1u);
}

TEST_F(Login, AReplyWithNoReadableTextIsNoLogin) {
    // An account service whose login answer cannot be read as text (bytes that are not the
    // UTF-8 it announces) has not greeted anybody.
    testhttp::TestServer server;
    server.route("GET", "/", [](testhttp::Exchange& x) {
        x.respond(testhttp::Response(200, "<html>sign in</html>", "text/html; charset=utf-8"));
    });
    server.route("POST", "/login", [](testhttp::Exchange& x) {
        x.respond(testhttp::Response(200, std::string("\xff\xfe\xfd home of", 11),
                                     "text/html; charset=utf-8"));
    });
    testhttp::TlsOptions accountName;
    accountName.names = {"accounts.bazaarnest.test"};
    server.startTls(accountName);
    auto watcher = make<LoginWatcher>();
    bool answered;
    {
        AccountHostElsewhere elsewhere(server.tlsPort(), trustFileFor(server));
        auto page = make<LoginPage>();
        page->login(NS("tester@example.test"), NS("secret"), watcher);
        answered = runLoopUntil([&] { return !watcher->results.empty(); }, 30);
    }
    ASSERT_TRUE(answered);
    EXPECT_EQ(server.requestsTo("/login").size(), 1u);
    EXPECT_EQ(watcher->results, std::vector<bool>{false});
    EXPECT_FALSE(delegate->loginTime());
    flushMainQueue();
    ASSERT_TRUE(shown());
    EXPECT_EQ(text(shown()->message()), "Login Failed");
    // Nothing said the password was wrong: it stays for the next try.
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
}
