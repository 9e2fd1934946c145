// The login overlay and the posting screens against the stand-in site in process: the overlay's
// slide on the manual clock and its buttons, login success, failure and captcha, the posting
// start screen's entry decision (no city, no account, the stored account, the four-hour reuse,
// logout, "My Postings"), each posting step, pages without their signature, and the compose
// screen's form, photos, state tables, guard and messages, with the analytics events and errors
// as the services server decodes them.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "Classes/Interfaces/PostingInterfaces.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/LoginViewController.h"
#include "Classes/PostCatagoryController.h"
#include "Classes/PostController.h"
#include "Classes/PostLocationController.h"
#include "Classes/PostSection.h"
#include "Classes/PostSectionController.h"
#include "Classes/PostingSupport.h"
#include "Classes/ReplyViewController.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSHTTPCookie.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/NetworkWork.h"
#include "ListingPagesTesting.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "ResultScreensTesting.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImagePickerController.h"
#include "UIKit/UIKitNotifications.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITabBarController.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallySession.h"
#include "external/nk-http-request/Classes/NKFormDataRequest.h"
#include "support/services/RunningServices.h"
#include "tools/services/AnalyticsModule.h"
#include "tools/site/SiteNames.h"
#include "ui/core/DZWebController.h"
#include "ui/style/DZButton.h"

using namespace listingtest;

namespace {

std::string alertText(UIButtonPanelView* panel) {
    auto alert = as<UIAlertView>(panel);
    return alert ? text(alert->message()) : "";
}

// The form fields a page's last post carried, "name=value" in wire order (files as "name=<file>").
std::vector<std::string> fieldsPosted(WebPage* page) {
    std::vector<std::string> out;
    auto form = as<NKFormDataRequest>(page->request());
    if (!form) return out;
    if (auto values = form->postData())
        for (NSObject* o : *values) {
            auto entry = as<NSDictionary>(o);
            out.push_back(text(as<NSString>(entry->objectForKey(NS("key")))) + "=" +
                          text(as<NSString>(entry->objectForKey(NS("value")))));
        }
    if (auto files = form->fileData())
        for (NSObject* o : *files) {
            auto entry = as<NSDictionary>(o);
            out.push_back(text(as<NSString>(entry->objectForKey(NS("key")))) + "=<file>");
        }
    return out;
}

// The form's action as the page writes it (a path on the posting host).
std::string actionPath(WebPage* page) {
    std::string html = text(page->getPage());
    auto at = html.find("action=\"");
    if (at == std::string::npos) return "";
    at += 8;
    return html.substr(at, html.find('"', at) - at);
}

// A posting page as the site writes it: the phrase that tells its step, then one form.
Ref<NSString> postingPage(const std::string& phrase, const std::string& action,
                          const std::string& inputs) {
    return str("<h3>" + phrase + "</h3>\n<form action=\"" + action +
               "\" method=\"post\" enctype=\"multipart/form-data\">\n" + inputs + "</form>\n");
}

std::string hidden(const std::string& name, const std::string& value) {
    return "<input type=\"hidden\" name=\"" + name + "\" value=\"" + value + "\">\n";
}

std::string submit(const std::string& value) {
    return "<button type=\"submit\" name=\"go\" value=\"" + value + "\">" + value + "</button>\n";
}

const char* const kPhotoPhrase = "You can add up to 4 images to be displayed with this posting.";

std::vector<std::string> namesOf(NSArray* sections) {
    std::vector<std::string> out;
    if (sections)
        for (NSObject* o : *sections)
            out.push_back(text(as<PostSection>(o)->name()));
    return out;
}

// The page without its signature field (the hidden input with the long name).
void stripSignature(WebPage* page) {
    std::string html = text(page->getPage());
    auto at = html.find("<input type=\"hidden\" name=\"");
    ASSERT_NE(at, std::string::npos);
    html.erase(at, html.find('>', at) - at + 1);
    page->setWebpage(str(html));
    ASSERT_EQ(as<PostPage>(page)->getSignatureValueAndKey()->count(), 0u);
}

bnservices::AnalyticsModule& analytics() {
    return *servicestest::services().module<bnservices::AnalyticsModule>("analytics");
}

Ref<UIImage> photo(CGFloat width, CGFloat height) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), true, 1);
    auto ctx = UIGraphicsGetCurrentContext();
    CGContextSetRGBFillColor(ctx, 0.2f, 0.5f, 0.8f, 1);
    CGContextFillRect(ctx, CGRectMake(0, 0, width, height));
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

class LoginListener : public NSObject, public LoginListner {
    NS_OBJECT(LoginListener, NSObject)
    static void describeClass(RuntimeClass& c) { c.implements({"loginDone:"}); }

public:
    void loginDone(bool success) override { results.push_back(success); }
    std::vector<bool> results;
};

}  // namespace

class PostingScreens : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        registerPostingInterfaces();
        sitetest::site().reset();
        sitetest::site().clearFaults();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        defaults = NSUserDefaults::standardUserDefaults();
        defaults->removePersistentDomain();
        defaults->setObject(NS("http://boston.bazaarnest.test/"), NS("LocationUrl"));
        defaults->setObject(NS("Boston"), NS("LocationName"));
        TallySession::createActiveTallySession(NS("posting-screens-key"));
        start = alloc<PostSectionController>();
        start->initWithNibName(NS("PostSectionController"), nullptr);
        postNav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                               start.get());
        tabs = make<UITabBarController>();
        tabs->setViewControllers(NSArray::arrayWithObjects(
            {make<UIViewController>().get(), make<UIViewController>().get(), postNav.get()}));
        start->setTabBarController(tabs);
        window->setRootViewController(tabs);
    }
    void TearDown() override {
        if (tabs->presentedViewController()) tabs->dismissModalViewControllerAnimated(false);
        // Messages still queued show now, and go with the rest.
        advanceRunLoop(1);
        closePanels();
        window->setRootViewController(nav);
        start = nullptr;
        defaults->removePersistentDomain();
        sitetest::site().clearFaults();
        sitetest::site().reset();
        NSFileManager::defaultManager()->removeItemAtPath(TallySession::currentSessionFilePath(),
                                                          nullptr);
        ResultScreensTest::TearDown();
    }

    // Shows the Post tab: the start screen appears.
    void showPostTab() {
        tabs->setSelectedIndex(2);
        advanceRunLoop(0.5);
    }
    // How often the analytics event was logged in this session.
    static long eventCount(const char* name) {
        auto counts = TallySession::currentSession()->eventCounts();
        auto n = counts ? as<NSNumber>(counts->objectForKey(NSString::fromUTF8(name))) : nullptr;
        return n ? n->longValue() : 0;
    }
    // The analytics client's session against the services server, in place of the local one:
    // what the screens log arrives there, decoded, when the session ends.
    static void startAnalytics() {
        servicestest::services().reset();
        TallySession::removeFilesForTesting(NS("posting-screens-key"));
        TallyAPI::startSession(NS("posting-screens-key"));
        ASSERT_TRUE(runLoopUntil([] { return analytics().uploads().size() == 1; }));
    }
    // Ends the session: its record as the service decoded it.
    static bnservices::TallyUploadRecord endAnalytics() {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            UIApplicationWillTerminateNotification, nullptr);
        EXPECT_TRUE(runLoopUntil([] { return analytics().uploads().size() == 2; }));
        auto uploads = analytics().uploads();
        EXPECT_TRUE(analytics().refusals().empty());
        if (uploads.size() != 2 || uploads[1].upload.sessions.size() != 1) {
            ADD_FAILURE() << "no session ended";
            return {};
        }
        return uploads[1].upload.sessions[0];
    }
    static long uploadedEvents(const bnservices::TallyUploadRecord& record, const char* name) {
        return std::count_if(record.events.begin(), record.events.end(),
                             [&](const auto& e) { return e.name == name; });
    }
    // What is under way, one request a line, for a failure's message.
    static std::string requestsOut() {
        std::string out = "requests out:";
        for (const auto& line : NetworkWork::pending())
            out += "\n  " + line;
        return out;
    }
    // The requests to the account service under way.
    static int accountRequestsInFlight() {
        auto pending = NetworkWork::pending();
        return static_cast<int>(std::count_if(pending.begin(), pending.end(), [](auto& line) {
            return line.find(bnsite::kAccountHost) != std::string::npos;
        }));
    }
    // Waits for an alert and gives its message (and closes it).
    std::string nextMessage() {
        if (!runLoopUntil([] { return lastPanel() != nullptr; })) return "(no message)";
        auto message = alertText(lastPanel());
        closePanels();
        return message;
    }
    // Waits for a screen of the class above `below` (the top screen when the step started).
    template <class T>
    Ref<T> waitForTop(UIViewController* below = nullptr) {
        runLoopUntil([&] {
            auto top = postNav->topViewController();
            return as<T>(top) != nullptr && top.get() != below;
        });
        advanceRunLoop(0.5);
        return as<T>(postNav->topViewController());
    }
    // Picks the row whose name starts so on a list screen.
    template <class Screen>
    void choose(Screen* screen, NSArray* rows, const std::string& name) {
        for (NSUInteger i = 0; i < rows->count(); ++i) {
            if (text(as<PostSection>(rows->objectAtIndex(i))->name()).rfind(name, 0) == 0) {
                screen->tableViewDidSelectRowAtIndexPath(
                    screen->myTableView(),
                    NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), 0));
                return;
            }
        }
        ADD_FAILURE() << "no row " << name;
    }
    // Logged in with the stored account, through "Bikes" and the area's bypass: the compose
    // screen.
    Ref<PostController> loggedInCompose() {
        defaults->setObject(NS("tester@example.test"), NS("Username"));
        defaults->setObject(NS("secret"), NS("Password"));
        showPostTab();
        auto categories = forSaleCategories();
        if (!categories) return nullptr;
        choose(categories.get(), categories->catagoryList(), "Bikes");
        auto area = waitForTop<PostLocationController>();
        if (!area) return nullptr;
        choose(area.get(), area->suburbList(), "Bypass this step");
        return waitForTop<PostController>();
    }
    // Post without an account, the overlay cancelled first as a person must.
    void withoutAccount() {
        if (auto overlay = start->loginWindow()) overlay->cancelAction(nullptr);
        advanceRunLoop(0.3);
        start->postNoAccountButtonPressed(nullptr);
    }
    // Post without an account, then "For Sale": the category screen.
    Ref<PostCatagoryController> toCategories() {
        showPostTab();
        withoutAccount();
        return forSaleCategories();
    }
    // Once the start screen lists the posting types, "For Sale": the category screen.
    Ref<PostCatagoryController> forSaleCategories() {
        EXPECT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
        choose(start.get(), start->sectionList(), "For Sale");
        return waitForTop<PostCatagoryController>();
    }
    // On to the compose screen through a category and the area step's bypass.
    Ref<PostController> toCompose(const std::string& category = "Bikes") {
        auto categories = toCategories();
        if (!categories) return nullptr;
        return chooseThroughAreas(categories.get(), categories->catagoryList(), category);
    }
    // The row chosen on its screen (a category, a posting type), then the area step's bypass:
    // the compose screen.
    template <class Screen>
    Ref<PostController> chooseThroughAreas(Screen* screen, NSArray* rows, const std::string& row) {
        choose(screen, rows, row);
        runLoopUntil([&] {
            return as<PostLocationController>(postNav->topViewController()) ||
                   as<PostController>(postNav->topViewController());
        });
        advanceRunLoop(0.5);
        while (auto area = as<PostLocationController>(postNav->topViewController())) {
            choose(area.get(), area->suburbList(), "Bypass this step");
            runLoopUntil([&] { return postNav->topViewController().get() != area.get(); });
            advanceRunLoop(0.5);
        }
        return as<PostController>(postNav->topViewController());
    }
    // The compose screen with a bike's texts typed in.
    Ref<PostController> filledCompose() {
        auto compose = toCompose();
        if (compose)
            fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
        return compose;
    }
    // Answers the captcha of a posting made without an account while the site takes the post
    // and loses its answer as `how` says; the post must go once and fail.
    void answerTheCaptchaAndLoseTheAnswer(bnsite::Fault::Delivery how);
    // Posts the compose screen through to the captcha, and answers what the site expects
    // once the captcha screen is gone; nil when no captcha came.
    Ref<NSString> postToTheCaptcha(PostController* compose) {
        compose->postButtonPressed(nullptr);
        runLoopUntil([&] { return compose->presentedViewController() != nullptr; }, 30);
        auto captcha = as<ValidationViewController>(compose->presentedViewController());
        if (!captcha) return nullptr;
        auto code = solveCaptcha(captcha->verificationUrl());
        compose->dismissModalViewControllerAnimated(false);
        return code;
    }
    static void fill(PostController* compose, const char* title, const char* price,
                     const char* place, const char* email, const char* body) {
        compose->titleField()->setText(NSString::fromUTF8(title));
        compose->priceField()->setText(NSString::fromUTF8(price));
        compose->locationField()->setText(NSString::fromUTF8(place));
        compose->emailField()->setText(NSString::fromUTF8(email));
        compose->messageView()->setText(NSString::fromUTF8(body));
    }
    static void addPhoto(PostController* compose, UIButton* slot, UIImage* image) {
        compose->imageAction(slot);
        closePanels();
        compose->imagePickerControllerDidFinishPickingImage(nullptr, image, nullptr);
    }

    Ref<NSUserDefaults> defaults;
    Ref<PostSectionController> start;
    Ref<UINavigationController> postNav;
    Ref<UITabBarController> tabs;
};

// ---- the login overlay ------------------------------------------------------------------------

TEST_F(PostingScreens, OverlaySlidesOnTheClockWithEmbossedButtons) {
    showPostTab();
    // No stored account: the overlay.
    auto overlay = start->loginWindow();
    ASSERT_TRUE(overlay);
    EXPECT_EQ(overlay->view()->superview().get(), static_cast<UIView*>(window.get()));
    EXPECT_TRUE(CGRectEqualToRect(overlay->view()->frame(), CGRectMake(0, 20, 320, 600)));
    advanceRunLoop(0.3);
    EXPECT_TRUE(CGRectEqualToRect(overlay->view()->frame(), CGRectMake(0, 20, 320, 600)));
    EXPECT_TRUE(overlay->usernameTextField()->isFirstResponder());
    std::vector<std::string> buttons;
    auto subviews = overlay->view()->subviews();
    for (NSObject* o : *subviews) {
        auto button = as<DZButton>(o);
        if (!button) continue;
        buttons.push_back(text(button->titleForState(UIControlStateNormal)));
        CGRect f = button->frame();
        EXPECT_EQ(f.origin.y, 186);
        EXPECT_EQ(f.size.width, 90);
        EXPECT_EQ(f.size.height, 37);
        EXPECT_EQ(f.origin.x, buttons.back() == "Cancel" ? 40 : 200);
    }
    EXPECT_EQ(buttons, (std::vector<std::string>{"Cancel", "Login"}));
    // Cancel: up to -200, gone from the window when the slide ends; the start screen offers
    // both login buttons.
    overlay->cancelAction(nullptr);
    EXPECT_TRUE(CGRectEqualToRect(overlay->view()->frame(), CGRectMake(0, -200, 320, 600)));
    EXPECT_TRUE(overlay->view()->superview());
    advanceRunLoop(0.29);
    EXPECT_TRUE(overlay->view()->superview());
    advanceRunLoop(0.02);
    EXPECT_FALSE(overlay->view()->superview());
    EXPECT_FALSE(start->loginWindow());
    EXPECT_EQ(start->postMode(), PostSectionController::kPostModeLoggedOut);
    EXPECT_FALSE(start->loginButton()->isHidden());
    EXPECT_FALSE(start->postNoAccountButton()->isHidden());
}

TEST_F(PostingScreens, OverlayLoginFailsThenSucceeds) {
    showPostTab();
    auto overlay = start->loginWindow();
    ASSERT_TRUE(overlay);
    advanceRunLoop(0.3);
    overlay->usernameTextField()->setText(NS("tester@example.test"));
    overlay->passwordTextField()->setText(NS("wrong"));
    overlay->loginAction(nullptr);
    EXPECT_EQ(text(overlay->statusLabel()->text()), "Login ...");
    EXPECT_EQ(nextMessage(), "Login Failed");
    ASSERT_TRUE(
        runLoopUntil([&] { return text(overlay->statusLabel()->text()) == "Failed to login"; }));
    EXPECT_TRUE(overlay->view()->superview());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "");
    EXPECT_EQ(text(defaults->stringForKey(NS("Username"))), "tester@example.test");
    overlay->passwordTextField()->setText(NS("secret"));
    overlay->loginAction(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return !start->loginWindow(); }));
    EXPECT_TRUE(delegate->loginTime());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
    advanceRunLoop(0.3);
    EXPECT_FALSE(overlay->view()->superview());
    // Logged in: the posting types load, with the account's bar buttons.
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    EXPECT_EQ(start->navigationItem()->leftBarButtonItem().get(), start->logoutButton().get());
    EXPECT_EQ(start->navigationItem()->rightBarButtonItem().get(), start->accountButton().get());
    EXPECT_EQ(text(start->tableHeadLabel()->text()), "   Post to Boston:");
}

TEST_F(PostingScreens, OverlayLoginThroughTheCaptcha) {
    showPostTab();
    auto overlay = start->loginWindow();
    ASSERT_TRUE(overlay);
    overlay->usernameTextField()->setText(NS("captcha@example.test"));
    overlay->passwordTextField()->setText(NS("secret"));
    overlay->loginAction(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return tabs->presentedViewController() != nullptr; }));
    auto captcha = as<ValidationViewController>(tabs->presentedViewController());
    ASSERT_TRUE(captcha);
    EXPECT_EQ(captcha->delegate().get(), static_cast<ValidationViewDelegate*>(overlay.get()));
    auto code = solveCaptcha(captcha->verificationUrl());
    ASSERT_TRUE(code);
    // The login's request counts until the callbacks queued after its answer have run, which a
    // loaded machine may leave for a later pass than the captcha's showing: it ends first.
    ASSERT_TRUE(runLoopUntil([] { return accountRequestsInFlight() == 0; })) << requestsOut();
    tabs->dismissModalViewControllerAnimated(false);
    // The start screen shows again under the overlay, with the account the overlay saved: the
    // overlay's login is the only one (a second would race it and could answer it "Login
    // Failed").
    EXPECT_EQ(accountRequestsInFlight(), 0) << requestsOut();
    overlay->validationSuccess(code);
    EXPECT_EQ(text(overlay->statusLabel()->text()), "Login ...");
    EXPECT_EQ(accountRequestsInFlight(), 1) << requestsOut();
    // Two requests in a row (the answer, then the login): a loaded machine gets more time.
    ASSERT_TRUE(runLoopUntil([&] { return delegate->loginTime() != nullptr; }, 30));
    ASSERT_TRUE(runLoopUntil([&] { return !start->loginWindow(); }, 30));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30));
    advanceRunLoop(0);
    EXPECT_FALSE(lastPanel()) << alertText(lastPanel());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
    // A cancelled captcha leaves the overlay up with "Failed to login".
    auto second = alloc<LoginViewController>();
    second->initWithNibName(NS("LoginViewController"), nullptr);
    ASSERT_TRUE(second->view());
    second->validationCanceled();
    EXPECT_EQ(text(second->statusLabel()->text()), "Failed to login");
}

// Cancel while the overlay's login is out: whatever the login's answer, the screen stays in the
// state the person chose, logged out, and nothing of the login is kept.
class LoginCancelled : public PostingScreens, public testing::WithParamInterface<bool> {};

TEST_P(LoginCancelled, TheCancelledStateStaysWhateverTheAnswer) {
    const bool right = GetParam();
    showPostTab();
    auto overlay = start->loginWindow();
    ASSERT_TRUE(overlay);
    advanceRunLoop(0.3);
    auto gate = sitetest::site().gate("login-held");
    gate->close();
    bnsite::Fault held;
    held.host = std::string(bnsite::kAccountHost);
    held.gate = "login-held";
    sitetest::site().addFault(held);
    overlay->usernameTextField()->setText(NS("tester@example.test"));
    overlay->passwordTextField()->setText(right ? NS("secret") : NS("wrong"));
    overlay->loginAction(nullptr);
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    overlay->cancelAction(nullptr);
    advanceRunLoop(0.3);
    EXPECT_FALSE(overlay->view()->superview());
    overlay = nullptr;
    gate->open();
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30));
    advanceRunLoop(0.5);
    EXPECT_FALSE(lastPanel()) << alertText(lastPanel());
    EXPECT_FALSE(delegate->loginTime());
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), right ? "secret" : "wrong");
    auto root = NSURL::URLWithString(NS("http://bazaarnest.test"));
    EXPECT_EQ(NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(root)->count(), 0u);
    // The same state now and once the screen shows again (another tab, then back).
    for (const char* when : {"after the answer", "shown again"}) {
        SCOPED_TRACE(when);
        // Logged out: the login choice alone.
        EXPECT_FALSE(start->loginButton()->isHidden());
        EXPECT_FALSE(start->postNoAccountButton()->isHidden());
        EXPECT_EQ(start->sectionList()->count(), 0u);
        EXPECT_FALSE(start->navigationItem()->leftBarButtonItem());
        EXPECT_FALSE(start->navigationItem()->rightBarButtonItem());
        EXPECT_FALSE(start->loginWindow());
        tabs->setSelectedIndex(0);
        advanceRunLoop(0.5);
        showPostTab();
        ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30));
        advanceRunLoop(0.5);
    }
}

INSTANTIATE_TEST_SUITE_P(PostingScreens, LoginCancelled, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& info) {
                             return std::string(info.param ? "Accepted" : "Refused");
                         });

TEST_F(PostingScreens, ANetworkFailureEndsTheLoginWithNo) {
    auto listener = make<LoginListener>();
    defaults->setObject(NS("secret"), NS("Password"));
    bnsite::Fault dropped;
    dropped.host = std::string(bnsite::kAccountHost);
    dropped.delivery = bnsite::Fault::Delivery::Drop;
    sitetest::site().addFault(dropped);
    auto page = make<LoginPage>();
    page->login(NS("tester@example.test"), NS("secret"), listener);
    ASSERT_TRUE(runLoopUntil([&] { return !listener->results.empty(); }));
    EXPECT_EQ(listener->results, std::vector<bool>{false});
    EXPECT_EQ(nextMessage(),
              "Login: Network connection error. Please make sure clock is set correctly");
    EXPECT_EQ(text(defaults->stringForKey(NS("Password"))), "secret");
}

// ---- the posting start screen -----------------------------------------------------------------

TEST_F(PostingScreens, NoCityAsksForOneThenShowsTheSearchTab) {
    defaults->removeObjectForKey(NS("LocationUrl"));
    showPostTab();
    ASSERT_TRUE(lastPanel());
    EXPECT_EQ(text(as<UIAlertView>(lastPanel())->title()), "Choose Location");
    EXPECT_EQ(alertText(lastPanel()), "Please choose your location first.");
    EXPECT_FALSE(start->loginWindow());
    lastPanel()->clickButtonAtIndex(0);
    advanceRunLoop(0.5);
    EXPECT_EQ(tabs->selectedIndex(), 0u);
}

TEST_F(PostingScreens, StoredAccountReusedForFourHoursThenLogout) {
    defaults->setObject(NS("tester@example.test"), NS("Username"));
    defaults->setObject(NS("secret"), NS("Password"));
    showPostTab();
    EXPECT_FALSE(start->loginWindow());
    ASSERT_TRUE(runLoopUntil([&] { return delegate->loginTime() != nullptr; }));
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    auto firstLogin = delegate->loginTime()->timeIntervalSince1970();
    auto types = namesOf(start->sectionList());
    ASSERT_FALSE(types.empty());
    EXPECT_EQ(types[0], "For Sale");
    for (const char* dropped : {"Job Offered", "Gig Offered", "Personal / Romance",
                                "Housing Offered", "Housing Wanted", "Event"})
        EXPECT_EQ(std::count(types.begin(), types.end(), dropped), 0) << dropped;
    EXPECT_GT(types.size(), 3u);
    // Within four hours the login is reused.
    advanceRunLoop(14000);
    tabs->setSelectedIndex(0);
    showPostTab();
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    EXPECT_EQ(delegate->loginTime()->timeIntervalSince1970(), firstLogin);
    // Past four hours the stored account logs in again.
    advanceRunLoop(500);
    tabs->setSelectedIndex(0);
    showPostTab();
    ASSERT_TRUE(
        runLoopUntil([&] { return delegate->loginTime()->timeIntervalSince1970() > firstLogin; }));
    // Logout: the root domain's cookies go, and the login time.
    auto storage = NSHTTPCookieStorage::sharedHTTPCookieStorage();
    auto root = NSURL::URLWithString(NS("http://bazaarnest.test"));
    ASSERT_GT(storage->cookiesForURL(root)->count(), 0u);
    start->logoutButtonPressed(nullptr);
    EXPECT_EQ(storage->cookiesForURL(root)->count(), 0u);
    EXPECT_FALSE(delegate->loginTime());
    EXPECT_EQ(start->sectionList()->count(), 0u);
    EXPECT_EQ(start->postMode(), PostSectionController::kPostModeLoggedOut);
    EXPECT_FALSE(start->loginButton()->isHidden());
    EXPECT_EQ(text(start->tableHeadLabel()->text()), "");
    EXPECT_FALSE(start->navigationItem()->leftBarButtonItem());
}

TEST_F(PostingScreens, MyPostingsOpensTheAccountPage) {
    showPostTab();
    start->accountButtonPressed(nullptr);
    auto browser = as<DZWebController>(postNav->topViewController());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->statusBarStyle(), UIStatusBarStyleBlackOpaque);
    EXPECT_EQ(text(browser->URL()->absoluteString()),
              "https://" + std::string(bnsite::kAccountHost) + "/");
}

TEST_F(PostingScreens, PostingWithoutAnAccountRetitlesTheLeftButton) {
    showPostTab();
    closePanels();
    start->postNoAccountButtonPressed(nullptr);
    EXPECT_EQ(start->postMode(), PostSectionController::kPostModeNoAccount);
    EXPECT_EQ(text(start->logoutButton()->title()), "Login");
    EXPECT_FALSE(start->navigationItem()->rightBarButtonItem());
    // Appearing again keeps posting without an account.
    tabs->setSelectedIndex(0);
    showPostTab();
    EXPECT_FALSE(start->loginWindow());
    EXPECT_EQ(text(start->logoutButton()->title()), "Login");
}

// ---- the posting steps and the compose screen -------------------------------------------------

TEST_F(PostingScreens, CategoryAreaAndComposeSteps) {
    auto categories = toCategories();
    ASSERT_TRUE(categories);
    EXPECT_EQ(text(categories->title()), "Select Category");
    EXPECT_GT(categories->catagoryList()->count(), 5u);
    EXPECT_TRUE(categories->myInfo().get() == start->postInfo().get());
    // Cars and trucks ask which seller (a sub-category level): another category screen.
    choose(categories.get(), categories->catagoryList(), "Cars & Trucks");
    auto seller = waitForTop<PostCatagoryController>(categories);
    ASSERT_TRUE(seller);
    ASSERT_NE(seller.get(), categories.get());
    EXPECT_EQ(seller->myInfo().get(), categories->postInfo().get());
    // The dealer's choice needs a phone-verified account: the message, nothing pushed.
    choose(seller.get(), seller->catagoryList(), "Cars & Trucks - By Dealer");
    EXPECT_EQ(nextMessage(),
              "Bazaarnest requires an account, verified by phone, for posting in this categorie. "
              "Please visit Bazaarnest website to verify your account.");
    EXPECT_EQ(postNav->topViewController().get(), seller.get());
}

// The row named so on a list screen, or -1.
static NSInteger rowNamed(NSArray* rows, const std::string& name) {
    for (NSUInteger i = 0; i < rows->count(); ++i)
        if (text(as<PostSection>(rows->objectAtIndex(i))->name()) == name)
            return static_cast<NSInteger>(i);
    return -1;
}

// The posts the site answered on its posting host since the log was last taken, added to
// `posts`, once there are `expected` of them: the site writes each line after its answer, from
// its own thread.
static size_t postingPostsLogged(size_t& posts, size_t expected) {
    runLoopUntil([&] {
        for (const std::string& line : sitetest::takeLog())
            posts += line.find("POST") != std::string::npos &&
                     line.find(bnsite::kPostingHost) != std::string::npos;
        return posts >= expected;
    });
    return posts;
}

TEST_F(PostingScreens, WhileAChoiceIsOutItsRowsTakeNoTaps) {
    showPostTab();
    start->postNoAccountButtonPressed(nullptr);
    // The rows take no taps while the type page itself loads.
    EXPECT_TRUE(start->isLoading());
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    EXPECT_FALSE(start->isLoading());
    auto gate = sitetest::site().gate("choice-held");
    bnsite::Fault held;
    held.host = std::string(bnsite::kPostingHost);
    held.gate = "choice-held";
    sitetest::takeLog();
    // The first choice goes out and waits at the site; the second, under the bezel, goes
    // nowhere, whether tapped on the table or chosen.
    auto secondChoiceWhileHeld = [&](auto* screen, NSArray* rows, const char* first,
                                     const char* second, auto isBusy) {
        gate->close();
        held.remaining = 1;
        sitetest::site().addFault(held);
        choose(screen, rows, first);
        ASSERT_TRUE(gate->waitUntilWaiting(1));
        EXPECT_TRUE(isBusy());
        NSInteger row = rowNamed(rows, second);
        ASSERT_GE(row, 0);
        EXPECT_FALSE(
            screen->myTableView()->tapRowAtIndexPath(NSIndexPath::indexPathForRow(row, 0)));
        choose(screen, rows, second);
        EXPECT_EQ(NetworkWork::inFlight(), 1);
        gate->open();
    };
    secondChoiceWhileHeld(start.get(), start->sectionList(), "For Sale", "Community",
                          [&] { return start->isLoading(); });
    auto categories = waitForTop<PostCatagoryController>();
    ASSERT_TRUE(categories);
    EXPECT_GE(rowNamed(categories->catagoryList(), "Bikes"), 0);
    EXPECT_FALSE(lastPanel());
    EXPECT_FALSE(start->isLoading());
    size_t posts = 0;
    EXPECT_EQ(postingPostsLogged(posts, 1), 1u);

    // The same on a category screen.
    secondChoiceWhileHeld(categories.get(), categories->catagoryList(), "Bikes", "Books",
                          [&] { return categories->isPosting(); });
    auto area = waitForTop<PostLocationController>(categories);
    ASSERT_TRUE(area);
    EXPECT_FALSE(categories->isPosting());
    EXPECT_FALSE(lastPanel());
    EXPECT_EQ(postingPostsLogged(posts, 2), 2u);
    gate->close();
}

TEST_F(PostingScreens, AnAnswerOfNoStepShowsItsTextAndTheRowsPostTheirFormAgain) {
    showPostTab();
    start->postNoAccountButtonPressed(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    sitetest::site().setNextPostingPage("error");
    choose(start.get(), start->sectionList(), "For Sale");
    auto message = nextMessage();
    EXPECT_NE(message.find("The site could not take this posting."), std::string::npos) << message;
    EXPECT_EQ(message.find('<'), std::string::npos) << message;
    EXPECT_EQ(postNav->topViewController().get(), start.get());
    // The rows still post the listed form: the next choice goes on.
    auto categories = forSaleCategories();
    ASSERT_TRUE(categories);
    EXPECT_FALSE(lastPanel());

    // A category step answered by a page of no step says so too, and stays.
    sitetest::site().setNextPostingPage("error");
    choose(categories.get(), categories->catagoryList(), "Bikes");
    message = nextMessage();
    EXPECT_NE(message.find("The site could not take this posting."), std::string::npos) << message;
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), categories.get());
    choose(categories.get(), categories->catagoryList(), "Bikes");
    EXPECT_TRUE(waitForTop<PostLocationController>(categories));
}

TEST_F(PostingScreens, AreaStepsThenAnUnknownPageLogsLocationErrorAndShowsItsText) {
    auto categories = toCategories();
    ASSERT_TRUE(categories);
    choose(categories.get(), categories->catagoryList(), "Bikes");
    auto area = waitForTop<PostLocationController>();
    ASSERT_TRUE(area);
    EXPECT_EQ(text(area->title()), "Choose Area");
    auto names = namesOf(area->suburbList());
    ASSERT_GT(names.size(), 1u);
    EXPECT_EQ(names[0], "Bypass this step");
    // An area page again (a finer level) pushes another area screen.
    sitetest::site().setNextPostingPage("area");
    choose(area.get(), area->suburbList(), names[1]);
    auto finer = waitForTop<PostLocationController>(area);
    ASSERT_TRUE(finer);
    EXPECT_NE(finer.get(), area.get());
    // A page of no known step: nothing pushed, the analytics event and the page's words.
    sitetest::site().setNextPostingPage("error");
    choose(finer.get(), finer->suburbList(), "Bypass this step");
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), finer.get());
    auto message = nextMessage();
    EXPECT_NE(message.find("The site could not take this posting."), std::string::npos) << message;
    EXPECT_EQ(eventCount("Location Error"), 1);
}

TEST_F(PostingScreens, ComposeSetUpByFormAndLogin) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    EXPECT_EQ(text(compose->title()), "Compose");
    // Not logged in: the e-mail field, no privacy button; the title field 120 wide.
    EXPECT_FALSE(compose->emailField()->isHidden());
    EXPECT_TRUE(compose->emailButton()->isHidden());
    EXPECT_EQ(compose->titleField()->frame().size.width, 120);
    // Bikes have an asking price.
    EXPECT_TRUE(compose->showPrice());
    EXPECT_FALSE(compose->priceField()->isHidden());
    for (auto* slot : {compose->button1().get(), compose->button4().get()})
        EXPECT_FALSE(slot->isHidden());
    // The styled Post button over the placeholder: 2 points higher, 4 taller.
    auto post = compose->styledPostButton();
    ASSERT_TRUE(post);
    CGRect placeholder = compose->postButton()->frame();
    EXPECT_EQ(post->frame().origin.y, placeholder.origin.y - 2);
    EXPECT_EQ(post->frame().size.height, placeholder.size.height + 4);
    EXPECT_EQ(text(post->titleForState(UIControlStateNormal)), "Post");
    EXPECT_EQ(text(post->titleForState(UIControlStateHighlighted)), "This could take a while");
    EXPECT_EQ(text(compose->emailButton()->titleForState(UIControlStateNormal)), "Anonymous");
    // Missing texts.
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Please enter title");
    fill(compose, "Road bike", "250", "Back Bay", "", "");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Please enter description");
    fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Please enter your email");
    EXPECT_EQ(compose->state(), PostController::kStateEditing);
}

TEST_F(PostingScreens, PhotoSheetVariantsAndPrivacy) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    for (bool camera : {true, false}) {
        SCOPED_TRACE(camera ? "camera" : "no camera");
        UIImagePickerController::setCameraAvailable(camera);
        compose->imageAction(compose->button2());
        EXPECT_EQ(buttonsOf(lastPanel()), camera ? "Cancel|Pick from Camera Roll|Take Picture"
                                                 : "Cancel|Pick from Camera Roll");
        closePanels();
        compose->imagePickerControllerDidFinishPickingImage(nullptr, photo(300, 240), nullptr);
        compose->imageAction(compose->button2());
        EXPECT_EQ(buttonsOf(lastPanel()),
                  camera ? "Cancel|Pick from Camera Roll|Take New Picture|Delete this Picture"
                         : "Cancel|Pick from Camera Roll|Delete this Picture");
        // Delete: index 3 with a camera, 2 without.
        compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), camera ? 3 : 2);
        closePanels();
        EXPECT_FALSE(compose->image(2));
        EXPECT_EQ(text(compose->button2()->titleForState(UIControlStateNormal)), "Add Picture");
    }
    UIImagePickerController::setCameraAvailable(true);
    // A picked photo is a third of its size and becomes the slot's background.
    addPhoto(compose, compose->button4(), photo(300, 240));
    ASSERT_TRUE(compose->image(4));
    EXPECT_EQ(compose->image(4)->size().width, 100);
    EXPECT_EQ(compose->image(4)->size().height, 80);
    EXPECT_EQ(compose->button4()->backgroundImageForState(UIControlStateNormal).get(),
              compose->image(4).get());
    // Privacy sheet.
    compose->emailAction(nullptr);
    auto names = buttonsOf(lastPanel());
    EXPECT_EQ(names,
              "Cancel|Hide (No Email)|Anonymize (xxxx@" + std::string(bnsite::kMailDomain) + ")");
    compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), 1);
    closePanels();
    EXPECT_EQ(text(compose->emailButton()->titleForState(UIControlStateNormal)), "Hidden");
    compose->emailAction(nullptr);
    compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), 2);
    closePanels();
    EXPECT_EQ(text(compose->emailButton()->titleForState(UIControlStateNormal)), "Anonymous");
}

TEST_F(PostingScreens, PostWithTwoPhotosThroughTermsAndCaptcha) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
    addPhoto(compose, compose->button2(), photo(300, 240));
    addPhoto(compose, compose->button4(), photo(450, 330));
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
    // Photos, review, terms, then the captcha (no account).
    ASSERT_TRUE(runLoopUntil([&] { return compose->presentedViewController() != nullptr; }, 30));
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    auto uploads = sitetest::site().uploadedPhotos();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_EQ(uploads[0].width, 100);
    EXPECT_EQ(uploads[0].height, 80);
    EXPECT_EQ(uploads[1].width, 150);
    EXPECT_EQ(uploads[1].height, 110);
    auto captcha = as<ValidationViewController>(compose->presentedViewController());
    ASSERT_TRUE(captcha);
    auto code = solveCaptcha(captcha->verificationUrl());
    compose->dismissModalViewControllerAnimated(false);
    compose->validationSuccess(code);
    EXPECT_EQ(compose->state(), PostController::kStateCaptcha);
    // Without an account the site mails a link: the further-action message, then the compose
    // screen again right above the start screen, texts and photos kept.
    EXPECT_EQ(nextMessage(),
              "IMPORTANT - FURTHER ACTION IS REQUIRED TO COMPLETE YOUR REQUEST! You should "
              "receive an email shortly with a link to publish your ads.");
    advanceRunLoop(1);
    ASSERT_EQ(postNav->viewControllers()->count(), 2u);
    EXPECT_EQ(postNav->topViewController().get(), compose.get());
    EXPECT_EQ(text(compose->titleField()->text()), "Road bike");
    EXPECT_TRUE(compose->image(2));
    EXPECT_EQ(sitetest::site().sentMails().size(), 1u);
}

namespace {

// The site takes the next post of a posting's steps, but its answer stops a hundred bytes into
// the page (or, dropped, before its first byte) and the connection closes.
// The posting host's steps from now on: the first post's answer is cut; the rest pass a fault
// that changes nothing but counts them. Faults count a request as it comes, before its answer,
// so nothing sent earlier is counted and nothing sent since is missed.
constexpr int kStepsCounted = 1000;

void cutTheNextStepsAnswer(bnsite::Fault::Delivery how = bnsite::Fault::Delivery::Truncate) {
    bnsite::Fault counter;
    counter.host = std::string(bnsite::kPostingHost);
    counter.path = "/k/";
    counter.remaining = kStepsCounted;
    sitetest::site().addFault(counter);
    bnsite::Fault cut = counter;
    cut.delivery = how;
    cut.truncateAt = 100;
    cut.remaining = 1;
    sitetest::site().addFault(cut);
}

// The posts to the posting's steps since the fault was set.
std::size_t stepPostsSent() {
    std::size_t sent = 1;  // the cut one, unless its fault is still there
    for (const auto& fault : sitetest::site().faultsInForce()) {
        if (fault.host != bnsite::kPostingHost || fault.path != "/k/") continue;
        if (fault.delivery != bnsite::Fault::Delivery::Normal)
            --sent;
        else
            sent += static_cast<std::size_t>(kStepsCounted - fault.remaining);
    }
    return sent;
}

}  // namespace

// A post whose answer was cut after it began, or that the site took and then closed its
// connection without a word, is not sent again: the user hears of the lost connection, not of
// a posting the site would call a second submission.
void PostingScreens::answerTheCaptchaAndLoseTheAnswer(bnsite::Fault::Delivery how) {
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    auto code = postToTheCaptcha(compose);
    ASSERT_TRUE(code);
    cutTheNextStepsAnswer(how);
    compose->validationSuccess(code);
    EXPECT_EQ(nextMessage(),
              "Network connection error: the answer about your posting \"Road bike\" "
              "was lost, and the site may have taken it. Please look for its email "
              "before you post it again.");
    EXPECT_EQ(sitetest::site().sentMails().size(), 1u);
    EXPECT_EQ(stepPostsSent(), 1u);
}

TEST_F(PostingScreens, ACaptchaPostWhoseAnswerIsCutIsSentOnce) {
    answerTheCaptchaAndLoseTheAnswer(bnsite::Fault::Delivery::Truncate);
}

TEST_F(PostingScreens, ACaptchaPostTheSiteTookAndDroppedUnansweredIsSentOnce) {
    answerTheCaptchaAndLoseTheAnswer(bnsite::Fault::Delivery::Drop);
}

TEST_F(PostingScreens, AComposePostWhoseAnswerIsCutIsSentOnce) {
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    cutTheNextStepsAnswer();
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Network connection error");
    EXPECT_EQ(stepPostsSent(), 1u);
    EXPECT_FALSE(compose->presentedViewController());
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), compose.get());
}

TEST_F(PostingScreens, LoggedInPostSendsTheAccountAndSucceeds) {
    auto compose = loggedInCompose();
    ASSERT_TRUE(compose);
    // Logged in: the privacy button instead of the e-mail field; no "ConfirmEMail" on the
    // form, so the account goes as "FromEMail".
    EXPECT_TRUE(compose->emailField()->isHidden());
    EXPECT_FALSE(compose->emailButton()->isHidden());
    fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
    compose->emailAction(nullptr);
    compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), 1);
    closePanels();
    sitetest::takeLog();
    EXPECT_EQ(eventCount("Post Success"), 0);
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Post Success");
    EXPECT_EQ(eventCount("Post Success"), 1);
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), compose.get());
    ASSERT_EQ(postNav->viewControllers()->count(), 2u);
    // Post again on the compose screen returned: its ad is posted, and it sends nothing more.
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Your posting \"Road bike\" was posted. Another ad starts from New Ads.");
    EXPECT_EQ(eventCount("Post Error - Submit"), 0);
    EXPECT_EQ(eventCount("Post Success"), 1);
}

TEST_F(PostingScreens, AnEmptyAnswerIsNoPosting) {
    auto compose = loggedInCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
    addPhoto(compose, compose->button2(), photo(90, 60));
    auto expectKept = [&] {
        advanceRunLoop(1);
        EXPECT_EQ(postNav->topViewController().get(), compose.get());
        EXPECT_EQ(postNav->viewControllers()->count(), 4u);
        EXPECT_EQ(text(compose->titleField()->text()), "Road bike");
        EXPECT_EQ(text(compose->messageView()->text()), "Light and fast.");
        EXPECT_TRUE(compose->image(2));
    };
    // The compose post answered with nothing at all: no posting was made.
    sitetest::site().setNextPostingPage("empty");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Post Failed");
    EXPECT_EQ(eventCount("Post Error - Submit"), 1);
    expectKept();
    // Likewise the confirm post.
    sitetest::site().setNextPostingPage("review,empty");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Post Failed");
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    EXPECT_EQ(eventCount("Post Error - Confirm"), 1);
    EXPECT_EQ(eventCount("Post Success"), 0);
    expectKept();
    EXPECT_TRUE(sitetest::site().uploadedPhotos().empty());
    // The same texts and photo go through on the next try.
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Post Success");
    EXPECT_EQ(eventCount("Post Success"), 1);
    EXPECT_EQ(sitetest::site().uploadedPhotos().size(), 1u);
}

TEST_F(PostingScreens, APhotoTheSiteRefusesIsLeftOutWithItsWordsAndThePostingGoesOn) {
    auto compose = loggedInCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
    addPhoto(compose, compose->button1(), photo(300, 240));
    addPhoto(compose, compose->button3(), photo(450, 330));
    // The compose post answers as ever; the first photo's post finds the site out of room.
    sitetest::site().setNextPostingPage(",photosfull");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "The site has no room for more images now: this one was not added. You can go on "
              "without it.");
    EXPECT_EQ(nextMessage(), "Post Success");
    auto uploads = sitetest::site().uploadedPhotos();
    ASSERT_EQ(uploads.size(), 1u);
    EXPECT_EQ(uploads[0].width, 150);
    EXPECT_EQ(uploads[0].height, 110);
}

TEST_F(PostingScreens, TheGuardCoversEveryStep) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
    // The compose form without its signature: "Unknown Error".
    auto form = compose->myInfo()->postPage();
    auto original = form->getPage();
    stripSignature(form);
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Unknown Error");
    EXPECT_EQ(compose->state(), PostController::kStateEditing);
    form->setWebpage(original);
    // A reply with an error status is never a success: the site's words show.
    sitetest::site().setNextPostingPage("error");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
    auto refusal = nextMessage();
    EXPECT_NE(refusal.find("The site could not take this posting."), std::string::npos) << refusal;
    EXPECT_EQ(eventCount("Post Error - Submit"), 1);
    EXPECT_EQ(eventCount("Post Success"), 0);
    // A photo page without its submit button: the upload falls to the guard.
    addPhoto(compose, compose->button1(), photo(90, 90));
    auto reply = compose->postInfo()->postPage();
    reply->setWebpage(
        NS("<div>You can add up to 4 images to be displayed with this posting.</div>"
           "<form action=\"/k/x\"><input type=\"hidden\" name=\"a\" "
           "value=\"add\"><input type=\"file\" name=\"file\"></form>"));
    compose->requestFinished(nullptr);
    EXPECT_EQ(nextMessage(), "Unknown Error");
    // The captcha answer's post on a page without a submit button: the guard.
    reply->setWebpage(NS("<h3>To finalize your post</h3><form action=\"/k/x\"></form>"));
    compose->validationSuccess(NS("bnv-code"));
    EXPECT_EQ(nextMessage(), "Unknown Error");
    // Nothing went out: the state stays.
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
}

TEST_F(PostingScreens, ConfirmStateMessages) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test",
         "Write me at seller@example.test");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Your email address is included in the body of your posting, exposing you to "
              "phishing attacks and spam. Please consider removing it.");
    // The site's phone step after the confirm post.
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
    sitetest::site().setNextPostingPage("review,phone");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Bazaarnest requires an account, verified by phone, for posting in this categorie. "
              "Please visit Bazaarnest website to verify your account.");
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    // The page text made plain.
    EXPECT_EQ(text(posting::plainText(NS("<h3>Sorry</h3>\n<div>That &amp; this.</div>  "))),
              "Sorry \n That & this.");
}

TEST_F(PostingScreens, TheComposeFormSentBackShowsTheSitesOwnErrors) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    std::string body(20001, 'x');
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", body.c_str());
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Posting description is too long: it may have at most 20000 characters.");
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
    EXPECT_EQ(text(compose->titleField()->text()), "Road bike");
    EXPECT_EQ(text(compose->messageView()->text()), body);
    // Several errors, one a line; a form sent back without any still asks for every field.
    fill(compose, "Road bike", "cheap", "Back Bay", "seller@example.test", body.c_str());
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Posting description is too long: it may have at most 20000 characters.\n"
              "Price must be a whole number.");
    auto page = make<PostPage>();
    page->setWebpage(NS("<p>Posting Description:</p><ul class=\"errors\"></ul>"));
    EXPECT_FALSE(page->getErrorText());
    page->setWebpage(NS("<ul class=\"errors\"><li class=\"error\"> Fish &amp; chips. </li></ul>"));
    EXPECT_EQ(text(page->getErrorText()), "Fish & chips.");
}

TEST_F(PostingScreens, ComposeFieldsGoOutInOrder) {
    auto compose = toCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
    compose->postButtonPressed(nullptr);
    auto page = compose->postInfo()->postPage();
    auto fields = fieldsPosted(page);
    ASSERT_EQ(fields.size(), 9u);
    std::vector<std::string> expected = {
        "PostingTitle=Road bike",           "Ask=250",
        "GeographicArea=Back Bay",          "FromEMail=seller@example.test",
        "ConfirmEMail=seller@example.test", "Privacy=C",
        "PostingBody=Light and fast.",      "go=Continue"};
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(fields[i], expected[i]) << i;
    // The signature last.
    auto signature = compose->myInfo()->postPage()->getSignatureValueAndKey();
    EXPECT_EQ(fields[8], text(as<NSString>(signature->objectAtIndex(0))) + "=" +
                             text(as<NSString>(signature->objectAtIndex(1))));
    // Multipart, the parts in that order in the body that went out.
    auto request = as<NKFormDataRequest>(page->request());
    EXPECT_EQ(request->postFormat(), 0);
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    ASSERT_TRUE(request->postBody());
    std::string body(static_cast<const char*>(request->postBody()->bytes()),
                     request->postBody()->length());
    std::vector<std::string> parts;
    for (auto at = body.find("form-data; name=\""); at != std::string::npos;
         at = body.find("form-data; name=\"", at)) {
        at += 17;
        parts.push_back(body.substr(at, body.find('"', at) - at));
    }
    std::vector<std::string> names;
    for (const auto& f : fields)
        names.push_back(f.substr(0, f.find('=')));
    EXPECT_EQ(parts, names);
}

TEST_F(PostingScreens, LoggedInComposeSendsTheAccountHiddenAndNoPriceWhereNone) {
    defaults->setObject(NS("tester@example.test"), NS("Username"));
    defaults->setObject(NS("secret"), NS("Password"));
    showPostTab();
    auto categories = forSaleCategories();
    ASSERT_TRUE(categories);
    // Free stuff has no price on the site's form.
    choose(categories.get(), categories->catagoryList(), "Free Stuff");
    runLoopUntil([&] { return postNav->topViewController().get() != categories.get(); });
    advanceRunLoop(0.5);
    if (auto area = as<PostLocationController>(postNav->topViewController())) {
        choose(area.get(), area->suburbList(), "Bypass this step");
        waitForTop<PostController>(area);
    }
    auto compose = as<PostController>(postNav->topViewController());
    ASSERT_TRUE(compose);
    EXPECT_FALSE(compose->showPrice());
    EXPECT_TRUE(compose->priceField()->isHidden());
    EXPECT_TRUE(compose->priceLabel()->isHidden());
    fill(compose, "Old sofa", "99", "Back Bay", "", "Come and take it.");
    compose->emailAction(nullptr);
    compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), 1);
    closePanels();
    compose->postButtonPressed(nullptr);
    auto fields = fieldsPosted(compose->postInfo()->postPage());
    ASSERT_GE(fields.size(), 6u);
    EXPECT_EQ(fields[0], "PostingTitle=Old sofa");
    EXPECT_EQ(fields[1], "GeographicArea=Back Bay");
    EXPECT_EQ(fields[2], "FromEMail=tester@example.test");
    EXPECT_EQ(fields[3], "Privacy=A");
    for (const auto& f : fields) {
        EXPECT_NE(f.rfind("ConfirmEMail=", 0), 0u) << f;
        EXPECT_NE(f.rfind("Ask=", 0), 0u) << f;
    }
}

// A privacy choice outlives a view let go on a memory warning, as the texts and photos do: the
// view made again shows it, and the post carries it. Each row takes the view away and brings it
// back as a person does.
struct AwayAndBack {
    const char* name;
    void (*away)(PostController* compose, UITabBarController* tabs);
    void (*back)(PostController* compose, UITabBarController* tabs);
};

class PrivacyKept : public PostingScreens, public testing::WithParamInterface<AwayAndBack> {
public:
    // The button at the index of the action sheet on top, as a person chooses it.
    static void choose(PostController* compose, NSInteger index) {
        compose->actionSheetClickedButtonAtIndex(as<UIActionSheet>(lastPanel()), index);
        closePanels();
    }
};

TEST_P(PrivacyKept, TheChoiceShowsAgainAndIsPosted) {
    auto compose = loggedInCompose();
    ASSERT_TRUE(compose);
    fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
    compose->emailAction(nullptr);
    choose(compose, 1);
    ASSERT_EQ(text(compose->emailButton()->titleForState(UIControlStateNormal)), "Hidden");
    GetParam().away(compose, tabs);
    UIApplication::sharedApplication()->performMemoryWarning();
    ASSERT_FALSE(compose->isViewLoaded());
    GetParam().back(compose, tabs);
    ASSERT_TRUE(compose->isViewLoaded());
    EXPECT_EQ(text(compose->emailButton()->titleForState(UIControlStateNormal)), "Hidden");
    EXPECT_EQ(text(compose->titleField()->text()), "Road bike");
    compose->postButtonPressed(nullptr);
    ASSERT_TRUE(compose->postInfo());
    auto fields = fieldsPosted(compose->postInfo()->postPage());
    EXPECT_NE(std::find(fields.begin(), fields.end(), "Privacy=A"), fields.end());
    EXPECT_EQ(std::find(fields.begin(), fields.end(), "Privacy=C"), fields.end());
}

INSTANTIATE_TEST_SUITE_P(
    PostingScreens, PrivacyKept,
    testing::Values(AwayAndBack{"UnderThePhotoPicker",
                                [](PostController* compose, UITabBarController*) {
                                    compose->imageAction(compose->button2());
                                    PrivacyKept::choose(compose, 1);
                                    advanceRunLoop(1);
                                    ASSERT_TRUE(as<UIImagePickerController>(
                                        compose->presentedViewController()));
                                },
                                [](PostController* compose, UITabBarController*) {
                                    compose->imagePickerControllerDidFinishPickingImage(
                                        nullptr, photo(300, 240), nullptr);
                                    advanceRunLoop(1);
                                    EXPECT_TRUE(compose->image(2));
                                }},
                    AwayAndBack{"OnAnotherTab",
                                [](PostController*, UITabBarController* tabs) {
                                    tabs->setSelectedIndex(0);
                                    advanceRunLoop(0.5);
                                },
                                [](PostController*, UITabBarController* tabs) {
                                    tabs->setSelectedIndex(2);
                                    advanceRunLoop(0.5);
                                }}),
    [](const testing::TestParamInfo<AwayAndBack>& info) { return std::string(info.param.name); });

TEST_F(PostingScreens, AnAreaWithNeighbourhoodsAsksWhichLocationFitsBest) {
    auto categories = toCategories();
    ASSERT_TRUE(categories);
    choose(categories.get(), categories->catagoryList(), "Bikes");
    auto area = waitForTop<PostLocationController>();
    ASSERT_TRUE(area);
    // Boston, Cambridge and Brookline has neighbourhoods: the site's finest step follows.
    choose(area.get(), area->suburbList(), "Boston/");
    auto hood = waitForTop<PostLocationController>(area);
    ASSERT_TRUE(hood);
    ASSERT_NE(hood.get(), area.get());
    EXPECT_EQ(hood->myInfo().get(), area->postInfo().get());
    EXPECT_EQ(hood->myInfo()->postPage()->getPostPageType(), kPostPageChooseLocation);
    EXPECT_EQ(text(hood->title()), "Choose Area");
    EXPECT_EQ(
        namesOf(hood->suburbList()),
        (std::vector<std::string>{"Bypass this step", "", "Cambridge", "Brookline", "Jamaica Plain",
                                  "Somerville", "Allston / Brighton", "Back Bay"}));
    // The choice goes back URL-encoded with the shown page's signature.
    choose(hood.get(), hood->suburbList(), "Back Bay");
    auto sent = hood->postInfo()->postPage();
    auto signature = hood->myInfo()->postPage()->getSignatureValueAndKey();
    ASSERT_EQ(signature->count(), 2u);
    EXPECT_EQ(fieldsPosted(sent),
              (std::vector<std::string>{"n=6",
                                        text(as<NSString>(signature->objectAtIndex(0))) + "=" +
                                            text(as<NSString>(signature->objectAtIndex(1))),
                                        "go=Continue"}));
    EXPECT_EQ(as<NKFormDataRequest>(sent->request())->postFormat(), 1);
    // Then the compose form.
    auto compose = waitForTop<PostController>(hood);
    ASSERT_TRUE(compose);
    EXPECT_EQ(compose->myInfo().get(), hood->postInfo().get());
    EXPECT_EQ(postNav->viewControllers()->count(), 5u);
}

TEST_F(PostingScreens, AChoiceOnAPageWithoutSignaturePostsTheRest) {
    startAnalytics();
    showPostTab();
    start->postNoAccountButtonPressed(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    // The start screen: the type goes without the missing pair; the site refuses it, and its
    // error page is no step: nothing is pushed, the site's words are shown, and the page is the
    // listed one again, whose rows post its form.
    auto typePage = start->postInfo()->postPage();
    stripSignature(typePage);
    choose(start.get(), start->sectionList(), "For Sale");
    EXPECT_EQ(fieldsPosted(typePage), (std::vector<std::string>{"id=fso", "go=Continue"}));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    EXPECT_EQ(typePage->request()->responseStatusCode(), 400);
    auto refusal = nextMessage();
    EXPECT_NE(refusal.find("The form is missing its signature field."), std::string::npos)
        << refusal;
    EXPECT_EQ(postNav->topViewController().get(), start.get());
    EXPECT_EQ(typePage->getPostPageType(), kPostPageChooseType);
    EXPECT_EQ(typePage->getSignatureValueAndKey()->count(), 2u);

    // The category screen: the same, and no event.
    start->sectionList()->removeAllObjects();
    start->loadSectionPage();
    auto categories = forSaleCategories();
    ASSERT_TRUE(categories);
    stripSignature(categories->myInfo()->postPage());
    choose(categories.get(), categories->catagoryList(), "Bikes");
    auto categoryReply = categories->postInfo()->postPage();
    EXPECT_EQ(fieldsPosted(categoryReply), (std::vector<std::string>{"id=bik", "go=Continue"}));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    EXPECT_EQ(categoryReply->request()->responseStatusCode(), 400);
    EXPECT_EQ(postNav->topViewController().get(), categories.get());
    refusal = nextMessage();
    EXPECT_NE(refusal.find("The form is missing its signature field."), std::string::npos)
        << refusal;

    // The area screen (the signature back on the category page): the refusal is no step it
    // knows, so it logs "Location Error" and shows the site's words.
    // Back on the start screen, which loads its section page again as it appears: one load
    // only (a second one of the same page would race it, and the later reply would take the
    // place of the next step's).
    start->sectionList()->removeAllObjects();
    postNav->popToViewController(start, false);
    ASSERT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    choose(start.get(), start->sectionList(), "For Sale");
    categories = waitForTop<PostCatagoryController>();
    ASSERT_TRUE(categories);
    choose(categories.get(), categories->catagoryList(), "Bikes");
    auto area = waitForTop<PostLocationController>(categories);
    ASSERT_TRUE(area);
    stripSignature(area->myInfo()->postPage());
    choose(area.get(), area->suburbList(), "North Shore");
    EXPECT_EQ(fieldsPosted(area->postInfo()->postPage()),
              (std::vector<std::string>{"n=2", "go=Continue"}));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), area.get());
    refusal = nextMessage();
    EXPECT_NE(refusal.find("The form is missing its signature field."), std::string::npos)
        << refusal;
    auto record = endAnalytics();
    EXPECT_EQ(uploadedEvents(record, "Location Error"), 1);
    EXPECT_EQ(record.events.size(), 1u);
    EXPECT_TRUE(record.errors.empty());
}

TEST_F(PostingScreens, TheGuardCoversTheFinishConfirmAndTermsPosts) {
    startAnalytics();
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    auto form = compose->myInfo()->postPage();
    std::string composeAction = text(form->getActionUrl());
    std::string action = actionPath(form);
    ASSERT_FALSE(action.empty());
    std::string signature = hidden("bnPostingSig_ABCDEFGHJK", "0123456789ABCDEF");
    // The site answers with the form again: submitted, nothing more goes out.
    sitetest::site().setNextPostingPage("compose");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Please fill in all fields");
    ASSERT_EQ(compose->state(), PostController::kStateSubmitted);
    auto reply = compose->postInfo()->postPage();
    auto lastRequest = reply->request();
    // A photo page whose finish form lacks its "fin" input: no photos, so the finish post.
    reply->setWebpage(postingPage(kPhotoPhrase, action, signature + submit("Done with Images")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(nextMessage(), "Unknown Error");
    EXPECT_EQ(reply->request().get(), lastRequest.get());
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
    // A review page without its submit button: the confirm post.
    reply->setWebpage(postingPage("Please review and confirm your posting.", action,
                                  signature + hidden("a", "publish")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(nextMessage(), "Unknown Error");
    EXPECT_EQ(reply->request().get(), lastRequest.get());
    EXPECT_EQ(compose->state(), PostController::kStateSubmitted);
    // After a confirm post, a terms page without its submit button: the terms post.
    sitetest::site().setNextPostingPage("review,phone");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(),
              "Bazaarnest requires an account, verified by phone, for posting in this categorie. "
              "Please visit Bazaarnest website to verify your account.");
    ASSERT_EQ(compose->state(), PostController::kStateConfirmed);
    lastRequest = reply->request();
    reply->setWebpage(
        postingPage("MODIFICATIONS TO THIS AGREEMENT", action, signature + hidden("a", "terms")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(nextMessage(), "Unknown Error");
    EXPECT_EQ(reply->request().get(), lastRequest.get());
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    // The same terms page with its button goes out: the guard is what stopped it.
    reply->setWebpage(
        postingPage("MODIFICATIONS TO THIS AGREEMENT", action,
                    signature + hidden("a", "terms") + submit("ACCEPT the terms of use")));
    compose->requestFinished(nullptr);
    EXPECT_NE(reply->request().get(), lastRequest.get());
    EXPECT_EQ(fieldsPosted(reply),
              (std::vector<std::string>{"bnPostingSig_ABCDEFGHJK=0123456789ABCDEF", "a=terms",
                                        "go=ACCEPT the terms of use"}));
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    advanceRunLoop(1);
    closePanels();
    // The service heard of each stopped post once, with the compose form's action.
    auto record = endAnalytics();
    ASSERT_EQ(record.errors.size(), 3u);
    for (const auto& error : record.errors) {
        EXPECT_EQ(error.id, "POST Error Unknown");
        EXPECT_EQ(error.message, composeAction);
        EXPECT_EQ(error.exception.rfind("NSInvalidArgumentException", 0), 0u) << error.exception;
    }
    EXPECT_EQ(uploadedEvents(record, "Post Success"), 0);
}

TEST_F(PostingScreens, PhotoFinishAndConfirmPostsLeaveAMissingSignatureOut) {
    startAnalytics();
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    addPhoto(compose, compose->button3(), photo(90, 60));
    std::string action = actionPath(compose->myInfo()->postPage());
    sitetest::site().setNextPostingPage("compose");
    compose->postButtonPressed(nullptr);
    EXPECT_EQ(nextMessage(), "Please fill in all fields");
    auto reply = compose->postInfo()->postPage();
    // The site's refusal, shown as plain text.
    auto refused = [&] {
        auto message = nextMessage();
        EXPECT_NE(message.find("The form is missing its signature field."), std::string::npos)
            << message;
        EXPECT_EQ(message.find('<'), std::string::npos) << message;
    };
    // The photo page without a signature: the photo goes without the pair, and the site's
    // refusal is no success.
    reply->setWebpage(postingPage(kPhotoPhrase, action,
                                  hidden("a", "add") +
                                      "<input type=\"file\" name=\"file\" accept=\"image/*\">\n" +
                                      submit("add image")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(fieldsPosted(reply),
              (std::vector<std::string>{"a=add", "go=add image", "file=<file>"}));
    refused();
    EXPECT_EQ(reply->request()->responseStatusCode(), 400);
    EXPECT_TRUE(sitetest::site().uploadedPhotos().empty());
    // Slot 3 was the last photo: the finish post, likewise.
    reply->setWebpage(
        postingPage(kPhotoPhrase, action, hidden("a", "fin") + submit("Done with Images")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(fieldsPosted(reply), (std::vector<std::string>{"a=fin", "go=Done with Images"}));
    refused();
    // The review page without a signature: the confirm post, whose refusal is shown likewise.
    reply->setWebpage(postingPage("Please review and confirm your posting.", action,
                                  hidden("a", "publish") + submit("Continue")));
    compose->requestFinished(nullptr);
    EXPECT_EQ(fieldsPosted(reply), (std::vector<std::string>{"a=publish", "go=Continue"}));
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    refused();
    auto record = endAnalytics();
    EXPECT_EQ(uploadedEvents(record, "Post Error - Submit"), 2);
    EXPECT_EQ(uploadedEvents(record, "Post Error - Confirm"), 1);
    EXPECT_TRUE(record.errors.empty());
}

TEST_F(PostingScreens, RefusedConfirmAndCaptchaPostsReachTheAnalyticsService) {
    startAnalytics();
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    // The confirm post refused: the page's text, plain; the screen stays.
    sitetest::site().setNextPostingPage("review,error");
    compose->postButtonPressed(nullptr);
    auto message = nextMessage();
    EXPECT_NE(message.find("The site could not take this posting."), std::string::npos) << message;
    EXPECT_EQ(message.find('<'), std::string::npos) << message;
    EXPECT_EQ(compose->state(), PostController::kStateConfirmed);
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), compose.get());
    EXPECT_EQ(postNav->viewControllers()->count(), 4u);
    // Again, through the terms to the captcha, whose answer's post the site refuses: the text,
    // then back to the start.
    auto code = postToTheCaptcha(compose);
    ASSERT_TRUE(code);
    sitetest::site().setNextPostingPage("error");
    compose->validationSuccess(code);
    EXPECT_EQ(compose->state(), PostController::kStateCaptcha);
    message = nextMessage();
    EXPECT_NE(message.find("The site could not take this posting."), std::string::npos) << message;
    advanceRunLoop(1);
    EXPECT_EQ(postNav->topViewController().get(), compose.get());
    EXPECT_EQ(postNav->viewControllers()->count(), 2u);
    auto record = endAnalytics();
    EXPECT_EQ(uploadedEvents(record, "Post Error - Confirm"), 1);
    EXPECT_EQ(uploadedEvents(record, "Post Failed"), 1);
    EXPECT_EQ(uploadedEvents(record, "Post Success"), 0);
    EXPECT_TRUE(record.errors.empty());
}

// ---- one request out at a time ----------------------------------------------------------------

// What the person does while a control's answer is held at the site.
enum class WhileHeld {
    SecondTap,           // the same control again
    Back,                // back out of the control's screen
    TabAndBack,          // another tab and back, then the control again
    MemoryWarning,       // another tab, a memory warning, back, then the control again
    Home,                // the app sent to the background and back, then the control again
    Cancel,              // Cancel on the control's screen
    OpenAgain,           // Cancel, the same overlay opened again and its control tapped
    OpenAgainAndWait,    // Cancel, the same overlay opened again; Cancel on it once it is over
    PostWithoutAccount,  // Cancel, then a posting made without an account, posted once it ends
    Next,                // the next listing on the control's screen
    MyPostings,          // "My Postings" opened over the Post tab's start
    Lost,                // nothing: the answer is lost, then the control again
    Logout,              // "Login" on the Post tab's start: the logged-out choice
    OtherTab,            // another tab, until the answer is in
};

// A control that sends a request, reached on its screen: how to tap it, and the screen its
// answers present over. Whether its screen shows its busy line, and how to cancel it.
struct ControlReached {
    std::function<void()> tap;
    Ref<UIViewController> presenter;
    std::function<bool()> busy = nullptr;
    std::function<void()> cancel = nullptr;
    // The row's own act while the answer is held, and its own checks at the end.
    std::function<void()> meanwhile = nullptr, check = nullptr;
};

class OneRequestOut;

// The request the site holds: its method, host and path prefix.
struct HeldRequest {
    const char* method;
    std::string_view host;
    const char* path;
};
constexpr HeldRequest kStep{"POST", bnsite::kPostingHost, "/k/"},
    kLogin{"POST", bnsite::kAccountHost, "/login"}, kCaptcha{"POST", bnsite::kCaptchaHost, "/"},
    kReplyPage{"GET", "boston.bazaarnest.test", "/reply/"},
    kReplyCode{"POST", "boston.bazaarnest.test", "/reply/"},
    kNextPage{"GET", "denver.bazaarnest.test", "/bik/index"};

// A row of the sweep: how to reach the control; the request the site holds (method, host, path
// prefix); how often that request is in the site's log once the flow has settled, and how many
// screens stand presented then; with what the person does meanwhile, and the Post tab's top.
struct HeldControl {
    const char* name;
    ControlReached (OneRequestOut::*reach)();
    WhileHeld action;
    HeldRequest held;
    size_t logged;
    size_t presented;
    const char* top;
    // Requests to the place let through before the one held, and how its answer ends.
    int passBefore = 0;
    bnsite::Fault::Delivery delivery = bnsite::Fault::Delivery::Normal;
    // Words of a message the person is told once the answer is in, wherever they are.
    const char* told = nullptr;
};

// The answer the site drops after it acted, and the Post tab's screens on top.
constexpr auto kLost = bnsite::Fault::Delivery::Drop, kWhole = bnsite::Fault::Delivery::Normal;
constexpr const char *kStart = "PostSectionController", *kTypes = "PostCatagoryController",
                     *kCompose = "PostController";

class OneRequestOut : public PostingScreens, public testing::WithParamInterface<HeldControl> {
public:
    static bool shows(UIView* view) { return view && view->window() && !view->isHidden(); }
    static void tapOverlay(LoginViewController* overlay, const char* title) {
        auto subviews = overlay->view()->subviews();
        for (NSObject* o : *subviews)
            if (auto button = as<DZButton>(o);
                button && text(button->titleForState(UIControlStateNormal)) == title)
                button->simulateTap();
    }
    ControlReached forSale() {
        showPostTab();
        withoutAccount();
        runLoopUntil([&] { return start->sectionList()->count() > 0; });
        runLoopUntil([] { return NetworkWork::inFlight() == 0; });
        return {[this] { choose(start.get(), start->sectionList(), "For Sale"); }, tabs,
                [this] { return shows(start->activityLabel()); }};
    }
    ControlReached composePost() {
        auto compose = filledCompose();
        if (!compose) return {};
        return {[compose] { compose->styledPostButton()->simulateTap(); }, compose,
                [compose] { return shows(compose->activityLabel()); }};
    }
    ControlReached overlayLogin() {
        showPostTab();
        auto overlay = start->loginWindow();
        if (!overlay) return {};
        advanceRunLoop(0.3);
        overlay->usernameTextField()->setText(NS("tester@example.test"));
        overlay->passwordTextField()->setText(NS("secret"));
        return {[overlay] { tapOverlay(overlay, "Login"); }, tabs,
                [this] {
                    auto shown = start->loginWindow();
                    return shown && text(shown->statusLabel()->text()) == "Login ...";
                },
                [overlay] { tapOverlay(overlay, "Cancel"); }};
    }
    // The Post tab chosen (again) with the stored account: its login.
    ControlReached postTabWithTheStoredAccount() {
        defaults->setObject(NS("tester@example.test"), NS("Username"));
        defaults->setObject(NS("secret"), NS("Password"));
        return {[this] {
                    tabs->setSelectedIndex(0);
                    advanceRunLoop(0.5);
                    showPostTab();
                },
                tabs, [this] { return shows(start->activityLabel()); }};
    }
    // Logout while it is out: its answer logs nobody in. The overlay's Login, tapped later or
    // meanwhile (it waits for that answer, which lets go of the site's cookies), holds.
    ControlReached storedAccountLogout(bool loginMeanwhile) {
        auto control = postTabWithTheStoredAccount();
        auto login = [this] {
            start->loginButtonPressed(nullptr);
            advanceRunLoop(0.3);
            tapOverlay(start->loginWindow().get(), "Login");
            EXPECT_EQ(NetworkWork::inFlight(), 1) << "two logins out at once";
        };
        if (loginMeanwhile) control.meanwhile = login;
        control.check = [=, this] {
            if (!loginMeanwhile) {
                EXPECT_FALSE(delegate->loginTime() || start->loginButton()->isHidden());
                login();
            }
            EXPECT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }, 30));
            auto root = NSURL::URLWithString(NS("http://bazaarnest.test"));
            EXPECT_GT(NSHTTPCookieStorage::sharedHTTPCookieStorage()->cookiesForURL(root)->count(),
                      0u);
        };
        return control;
    }
    ControlReached storedAccountThenLogout() { return storedAccountLogout(false); }
    ControlReached storedAccountLogoutLogin() { return storedAccountLogout(true); }
    // The captcha of a posting without an account, its image shown and its answer typed.
    ControlReached captchaDone() {
        auto compose = filledCompose();
        if (!compose) return {};
        compose->postButtonPressed(nullptr);
        runLoopUntil([&] { return compose->presentedViewController() != nullptr; }, 30);
        auto captcha = as<ValidationViewController>(compose->presentedViewController());
        if (!captcha || !runLoopUntil([&] { return captcha->imageView()->isLoaded(); })) return {};
        auto challenge = text(captcha->verificationPage()->getChallengeField());
        captcha->verificationTextField()->setText(
            str(sitetest::site().captchaAnswer(challenge).value_or("")));
        ControlReached control{[captcha] { captcha->doneButtonPressed(nullptr); }, compose, nullptr,
                               [captcha] { captcha->cancelButtonPressed(nullptr); }};
        control.check = [captcha] { EXPECT_FALSE(captcha->verificationCode()); };
        return control;
    }
    // Post with the stored account, the compose screen held by its stack alone as in the app.
    ControlReached loggedInPost() {
        auto compose = loggedInCompose();
        if (!compose) return {};
        fill(compose, "Road bike", "250", "Back Bay", "", "Light and fast.");
        Weak<PostController> held = compose.get();
        return {[held] { held.lock()->styledPostButton()->simulateTap(); }, tabs};
    }
    // Back to the session's category screen meanwhile (or only to its area step), and a choice
    // made there: while a step is out it sends nothing and says the earlier ad is still
    // being sent; once the session is over, the area step says it cannot be sent. The ad told is
    // the one the site took; the alert, left up, goes as the answer comes.
    ControlReached newFormMeanwhile(ControlReached control, bool areaStep = false) {
        if (!control.tap) return {};
        auto choice = [this] {
            if (auto area = as<PostLocationController>(step))
                choose(area.get(), area->suburbList(), "Bypass this step");
            else if (auto categories = as<PostCatagoryController>(step))
                choose(categories.get(), categories->catagoryList(), "Bikes");
            runLoopUntil([] { return lastPanel() != nullptr; });
            return alertText(lastPanel());
        };
        control.meanwhile = [this, areaStep, choice] {
            while (postNav->viewControllers()->count() > (areaStep ? 3u : 2u))
                postNav->popViewControllerAnimated(false);
            step = postNav->topViewController();
            EXPECT_NE(choice().find("still being sent"), std::string::npos);
            EXPECT_EQ(postNav->topViewController().get(), step.get());
        };
        // The area step left holds the session's page still (the start, shown again, loads the
        // posting types anew into the page its category screen had).
        control.check = [this, areaStep, choice, check = control.check] {
            if (check) check();
            EXPECT_EQ(adsTaken(), "Road bike;");
            for (auto& told : messages)
                EXPECT_EQ(told.find("still being sent"), std::string::npos);
            EXPECT_TRUE(!areaStep || choice().find("cannot be sent") != std::string::npos);
        };
        return control;
    }
    ControlReached captchaDoneThenNewForm() { return newFormMeanwhile(captchaDone()); }
    ControlReached loggedInPostThenNewForm() { return newFormMeanwhile(loggedInPost()); }
    // The compose step out: once it is in, the choice goes, and "Mountain bike" is posted
    // through its captcha; the form shown again names the ad the site mailed.
    ControlReached composeThenNewForm() {
        auto control = newFormMeanwhile(composePost());
        control.check = [this] {
            auto compose =
                chooseThroughAreas(cast<PostCatagoryController>(step).get(),
                                   cast<PostCatagoryController>(step)->catagoryList(), "Bikes");
            ASSERT_TRUE(compose);
            fill(compose, "Mountain bike", "300", "Back Bay", "seller@example.test", "Wide tyres.");
            compose->validationSuccess(postToTheCaptcha(compose));
            EXPECT_NE(nextMessage().find("FURTHER ACTION"), std::string::npos);
            compose->styledPostButton()->simulateTap();
            auto taken = adsTaken();
            EXPECT_EQ(nextMessage(), "Your posting \"" + taken.substr(0, taken.size() - 1) +
                                         "\" was received. Another ad starts from New Ads.");
            EXPECT_EQ(taken, "Mountain bike;");
        };
        return control;
    }
    ControlReached loggedInPostThenArea() { return newFormMeanwhile(loggedInPost(), true); }
    // The area chosen, then Back while its step is out, its screen gone with it: Bikes chosen on
    // the category screen waits for that step all the same.
    ControlReached areaThenBikes() {
        auto categories = toCategories();
        if (!categories) return {};
        choose(categories.get(), categories->catagoryList(), "Bikes");
        Weak<PostLocationController> area = waitForTop<PostLocationController>().get();
        if (!area.lock()) return {};
        ControlReached control{
            [this, area] { choose(area.lock().get(), area.lock()->suburbList(), "Bypass"); }, tabs};
        control.meanwhile = [this, categories, area] {
            EXPECT_FALSE(area.lock());
            choose(categories.get(), categories->catagoryList(), "Bikes");
            EXPECT_NE(nextMessage().find("still being sent"), std::string::npos);
            EXPECT_EQ(requestsOutTo(bnsite::kPostingHost), 1);
        };
        return control;
    }
    // Back to New Ads, whose posting types fail to load again: the types listed are still the
    // session's, and a type chosen there waits for its step too.
    ControlReached loggedInPostThenTypes() {
        auto control = roadBikeTaken();
        control.meanwhile = [this] {
            sitetest::site().addFault({"boston.bazaarnest.test", "/", "", 0, 503, {}, 0, 1});
            postNav->popToRootViewControllerAnimated(false);
            EXPECT_NE(nextMessage().find("not able to answer"), std::string::npos);
            choose(start.get(), start->sectionList(), "Items Wanted");
            EXPECT_NE(nextMessage().find("still being sent"), std::string::npos);
            EXPECT_EQ(requestsOutTo(bnsite::kPostingHost), 1);
        };
        return control;
    }
    Ref<UIViewController> step;
    // The title edited while the last step is out: the ad told is the one sent.
    ControlReached loggedInPostEdited() {
        auto control = roadBikeTaken();
        auto compose = as<PostController>(postNav->topViewController());
        control.meanwhile = [compose] {
            compose->titleField()->setText(NS("Road bike-SOLD"));
            compose->textFieldDidEndEditing(compose->titleField());
        };
        return control;
    }
    ControlReached roadBikeTaken() {
        auto control = loggedInPost();
        control.check = [] { EXPECT_EQ(adsTaken(), "Road bike;"); };
        return control;
    }
    // The form shown again above New Ads once its ad is posted sends nothing more, edited or not.
    ControlReached loggedInPostThenAgain() { return postedThenAgain(loggedInPost()); }
    // "Items Wanted & Barter", whose compose screen comes straight from New Ads.
    ControlReached wantedPostThenAgain() {
        defaults->setObject(NS("tester@example.test"), NS("Username"));
        defaults->setObject(NS("secret"), NS("Password"));
        showPostTab();
        EXPECT_TRUE(runLoopUntil([&] { return start->sectionList()->count() > 0; }));
        auto compose = chooseThroughAreas(start.get(), start->sectionList(), "Items Wanted");
        if (!compose) return {};
        fill(compose, "Road bike", "", "Back Bay", "", "Wanted, light and fast.");
        return postedThenAgain({[compose] { compose->styledPostButton()->simulateTap(); }, tabs});
    }
    ControlReached postedThenAgain(ControlReached control) {
        control.check = [this] {
            auto again = as<PostController>(postNav->topViewController());
            ASSERT_TRUE(again && postNav->viewControllers()->count() == 2);
            again->titleField()->setText(NS("Road bike, red"));
            again->styledPostButton()->simulateTap();
            EXPECT_EQ(requestsOutTo(bnsite::kPostingHost), 0);
            EXPECT_EQ(nextMessage(),
                      "Your posting \"Road bike\" was posted. Another ad starts from New Ads.");
            EXPECT_EQ(adsTaken(), "Road bike;");
        };
        return control;
    }
    // The ads the site took: the bikes it published in Boston, then those it mailed.
    static std::string adsTaken() {
        auto& site = sitetest::site();
        bnsite::ListingQuery query;
        query.metro = site.catalog().metroIndex("boston");
        for (size_t category = 0; category < site.catalog().categories.size(); ++category)
            query.selector.categories.push_back(static_cast<int>(category));
        query.words = {"bike"};
        std::string taken;
        for (const auto& listing : site.listings().query(query).rows)
            taken += listing.userPosted ? listing.titleText + ";" : "";
        for (const auto& mail : site.sentMails()) {
            auto quoted = mail.subject.substr(mail.subject.find('"') + 1);
            taken += quoted.substr(0, quoted.rfind('"')) + ";";
        }
        return taken;
    }
    // Its view let go under a screen over it: Done's answer lands, the typed text stays.
    ControlReached captchaDoneCovered() {
        auto control = captchaDone();
        auto captcha = as<ValidationViewController>(control.presenter->presentedViewController());
        control.meanwhile = [captcha] {
            captcha->presentModalViewController(make<UIViewController>(), false);
            UIApplication::sharedApplication()->performMemoryWarning();
            captcha->dismissModalViewControllerAnimated(false);
            EXPECT_TRUE(shows(captcha->imageView()));
            EXPECT_NE(text(captcha->verificationTextField()->text()), "");
        };
        return control;
    }
    // The site's reply form on a listing that has one, its texts typed.
    ControlReached replySend() {
        auto listing = findListing([](const bnsite::Listing& l) {
            return live(l) && l.reply == bnsite::Listing::Reply::Form;
        });
        if (!listing) return {};
        auto item =
            ResultScreensTest::listing(listing->titleText.c_str(), pageUrlOf(*listing).c_str());
        item->setReplyUrl(
            str("http://boston.bazaarnest.test/reply/" + std::to_string(listing->id)));
        auto reply = alloc<ReplyViewController>();
        reply->initWithNibName(NS("ReplyViewController"), nullptr);
        reply->setItemInfo(item);
        postNav->pushViewController(reply, false);
        if (!reply->view()) return {};
        reply->emailTextField()->setText(NS("buyer@example.test"));
        reply->messageTextView()->setText(NS("Is it still for sale?"));
        auto send = reply->navigationItem()->rightBarButtonItem();
        return {[reply, send] { reply->sendButtonPressed(send); }, reply};
    }

    void meanwhile(WhileHeld action, const ControlReached& control) {
        Ref<UINavigationController> screens = control.presenter->navigationController();
        if (action == WhileHeld::Back)
            (screens ? screens : postNav)->popViewControllerAnimated(false);
        if (action == WhileHeld::Home) {
            UIApplication::sharedApplication()->performEnterBackground();
            advanceRunLoop(0.5);
            UIApplication::sharedApplication()->performEnterForeground();
        }
        if (action == WhileHeld::MyPostings) start->accountButtonPressed(nullptr);
        if (action == WhileHeld::OtherTab) tabs->setSelectedIndex(0);
        if (action == WhileHeld::Logout) start->logoutButtonPressed(nullptr);
        if (action == WhileHeld::TabAndBack || action == WhileHeld::MemoryWarning) {
            tabs->setSelectedIndex(0);
            advanceRunLoop(0.5);
            if (action == WhileHeld::MemoryWarning)
                UIApplication::sharedApplication()->performMemoryWarning();
            showPostTab();
        }
        if (action >= WhileHeld::Cancel && action <= WhileHeld::PostWithoutAccount)
            control.cancel();
        if (action == WhileHeld::PostWithoutAccount) filledCompose();
        if (action == WhileHeld::OpenAgain || action == WhileHeld::OpenAgainAndWait) {
            advanceRunLoop(0.1);
            start->loginButtonPressed(nullptr);
            advanceRunLoop(0.3);
            if (auto shown = start->loginWindow(); shown && action == WhileHeld::OpenAgain)
                tapOverlay(shown, "Login");
        }
        // Once its other requests are in, the screen says it waits; the control sends nothing.
        advanceRunLoop(0.5);
        runLoopUntil([] { return NetworkWork::inFlight() == 1; });
        bool again = action <= WhileHeld::Home && action != WhileHeld::Back;
        if (control.busy && (again || action == WhileHeld::OpenAgainAndWait)) {
            EXPECT_TRUE(control.busy()) << "no busy line while the answer is held";
        }
        if (action == WhileHeld::Logout) {
            EXPECT_FALSE(control.busy()) << "the busy line covers the login choice";
        }
        if (again) control.tap();
    }
    // Once the answer is in: Cancel closes the overlay that shows; the posting made meanwhile
    // goes out to its captcha; a lost answer's control is tapped again; a choice's step waits
    // under "My Postings".
    void afterwards(WhileHeld action, const ControlReached& control) {
        if (action == WhileHeld::Lost) control.tap();
        EXPECT_TRUE(action != WhileHeld::MyPostings ||
                    is<PostCatagoryController>(postNav->viewControllers()->objectAtIndex(1)));
        if (action == WhileHeld::OpenAgain || action == WhileHeld::OpenAgainAndWait)
            if (auto shown = start->loginWindow()) tapOverlay(shown, "Cancel");
        if (auto compose = as<PostController>(postNav->topViewController());
            compose && action == WhileHeld::PostWithoutAccount) {
            compose->styledPostButton()->simulateTap();
            runLoopUntil([&] { return compose->presentedViewController() != nullptr; }, 30);
            EXPECT_TRUE(as<ValidationViewController>(compose->presentedViewController()));
        }
    }
    // The flow runs to its end, messages and all: what they said is kept.
    void settle() {
        for (int pass = 0; pass < 2; ++pass) {
            runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30);
            advanceRunLoop(1);
            auto panels = UIButtonPanelView::shownPanels();
            for (NSObject* o : *panels)
                messages.push_back(alertText(static_cast<UIButtonPanelView*>(o)));
            closePanels();
        }
    }
    std::vector<std::string> messages;
    // A listing's address on its way from the site's reply page, the next listing shown meanwhile.
    ControlReached revealedAddressThenNext() {
        auto found =
            findListing([](auto& l) { return live(l) && l.reply == bnsite::Listing::Reply::Form; });
        auto item = ResultScreensTest::listing(found->titleText.c_str(), pageUrlOf(*found).c_str());
        item->setReplyUrl(str("http://boston.bazaarnest.test/reply/" + std::to_string(found->id)));
        auto screen = alloc<ItemViewController>();
        screen->initWithNibName(NS("ItemViewController"), nullptr);
        window->setRootViewController(nav);
        nav->pushViewController(screen, false);
        screen->displayItems(NSArray::arrayWithObjects({item.get(), make<ItemInfo>().get()}), 0);
        screen->showReplyView();
        auto captcha = as<ValidationViewController>(screen->presentedViewController());
        screen->dismissModalViewControllerAnimated(false);
        Ref<NSString> code = captcha ? solveCaptcha(captcha->verificationUrl()) : nullptr;
        ControlReached control{[screen, code] { screen->validationSuccess(code); }, screen};
        control.meanwhile = [screen] { screen->setCurrentIndex(1), screen->displayCurrentItem(); };
        control.check = [item, relay = found->relayAddress] {
            EXPECT_EQ(text(item->replyUrl()), relay);
        };
        return control;
    }
    // The listing's record made again meanwhile, as the favourites make theirs as they show:
    // it writes to the address that came.
    ControlReached revealedAddressThenAgain() {
        auto control = revealedAddressThenNext();
        auto screen = cast<ItemViewController>(control.presenter);
        auto shown = screen->currentItem(), again = listing("Again", "http://x.test/again.html");
        again->setReplyUrl(shown->replyUrl());
        control.meanwhile = [screen, again] {
            screen->displayItems(NSArray::arrayWithObject(again), 0);
        };
        control.check = [screen, shown] {
            screen->showReplyView();
            auto mail = as<MFMailComposeViewController>(screen->presentedViewController());
            ASSERT_TRUE(mail);
            EXPECT_EQ(text(mail->toRecipients()->objectAtIndex(0)), text(shown->replyUrl()));
            screen->dismissModalViewControllerAnimated(false);
        };
        return control;
    }
    // The compose screen with one photo or two, and what the rows below do with them.
    ControlReached photoPost(int photos) {
        auto control = composePost();
        auto compose = cast<PostController>(control.presenter);
        for (int i = 0; i < photos; ++i)
            addPhoto(compose, i ? compose->button2() : compose->button1(), photo(300 + i, 240));
        control.check = [this, control, compose, photos] {
            runLoopUntil([&] { return photos == 1 || compose->presentedViewController(); }, 30);
            if (auto area = as<PostLocationController>(postNav->topViewController()))
                choose(area.get(), area->suburbList(), "Bypass this step");
            auto again = waitForTop<PostController>(photos == 2 ? nullptr : compose.get());
            EXPECT_EQ(again && again->view() ? again->image(1).get() : nullptr,
                      compose->image(1).get());
            EXPECT_EQ(sitetest::site().uploadedPhotos().size(), size_t(photos));
        };
        return control;
    }
    ControlReached secondPhotoLost() { return photoPost(2); }
    ControlReached photoThenBack() { return photoPost(1); }
    // Back from the photo's upload, and the area step's choice made while it is out: it waits.
    ControlReached photoThenBackAndPost() {
        auto control = photoPost(1);
        control.meanwhile = [this] {
            auto area = waitForTop<PostLocationController>();
            choose(area.get(), area->suburbList(), "Bypass this step");
            EXPECT_NE(nextMessage().find("still being sent"), std::string::npos);
        };
        // Once it is in, the compose form made again goes on to the captcha without sending it.
        control.check = [this, check = control.check] {
            check();
            auto again = cast<PostController>(postNav->topViewController());
            fill(again, "Road bike", "250", "Back Bay", "seller@example.test", "Light and fast.");
            again->styledPostButton()->simulateTap();
            EXPECT_TRUE(runLoopUntil([&] { return again->presentedViewController(); }, 30));
            EXPECT_EQ(sitetest::site().uploadedPhotos().size(), 1u);
        };
        return control;
    }
    // A result list's second page ("Load More Items ...") once its first is in.
    ControlReached loadMore() {
        auto info = make<ListInfo>();
        info->setLocationUrl(NS("http://denver.bazaarnest.test")), info->setCatagoryUrl(NS("bik/"));
        auto list = alloc<ItemListViewController>();
        list->initWithNibName(NS("ItemListViewController"), nullptr);
        list->setListInfo(info);
        window->setRootViewController(nav);
        nav->pushViewController(list, false);
        list->loadFirstItemList();
        runLoopUntil([&] { return list->itemArray() && NetworkWork::inFlight() == 0; }, 30);
        auto more = NSIndexPath::indexPathForRow(list->loadMoreRowNumber(), 0);
        ControlReached control{
            [list, more] { list->tableViewDidSelectRowAtIndexPath(list->myTableView(), more); },
            list, [list] { return list->isLoading(); }};
        control.check = [list] { EXPECT_EQ(list->itemArray()->count(), 200u); };
        return control;
    }

    // The requests to the host under way.
    static int requestsOutTo(std::string_view host) {
        auto pending = NetworkWork::pending();
        return static_cast<int>(std::count_if(pending.begin(), pending.end(), [&](auto& line) {
            return line.find(host) != std::string::npos;
        }));
    }
    static size_t presentedOver(UIViewController* presenter) {
        size_t n = 0;
        for (auto shown = presenter->presentedViewController(); shown;
             shown = shown->presentedViewController())
            ++n;
        return n;
    }
};

// A control's answer held while the person goes on: each request reaches the site once, every
// screen left can be closed, none is stacked on its like, and the answer lands where asked.
TEST_P(OneRequestOut, WhatAPersonDoesWhileTheAnswerIsHeld) {
    const HeldControl& row = GetParam();
    auto control = (this->*row.reach)();
    ASSERT_TRUE(control.tap);
    auto gate = sitetest::site().gate("held");
    gate->close();
    bnsite::Fault held;
    held.host = std::string(row.held.host);
    held.path = row.held.path;
    held.gate = "held";
    held.delivery = row.delivery;
    if (row.delivery != bnsite::Fault::Delivery::Normal) held.remaining = 1;
    sitetest::site().addFault(held);
    if (row.passBefore > 0)  // the requests let through before it
        sitetest::site().addFault({held.host, held.path, "", 0, 0, {}, 0, row.passBefore});
    sitetest::takeLog();
    control.tap();
    // A login's post follows its page's answer: the loop turns meanwhile.
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    meanwhile(row.action, control);
    EXPECT_EQ(requestsOutTo(row.held.host), 1);
    if (control.meanwhile) control.meanwhile();
    gate->open();
    settle();
    afterwards(row.action, control);
    settle();
    // The site writes a line after its answer: a line an earlier test's request left may come
    // in late, but only the requests that met this fault carry its gate.
    const std::string asked = "\"" + std::string(row.held.method) + " ";
    const std::string where = std::string(row.held.host) + row.held.path;
    size_t logged = 0;
    runLoopUntil(
        [&] {
            for (const auto& line : sitetest::takeLog())
                logged += line.find(asked) != std::string::npos &&
                          line.find(where) != std::string::npos &&
                          line.find("gate=held]") != std::string::npos;
            return logged >= row.logged;
        },
        5);
    EXPECT_EQ(logged, row.logged);
    EXPECT_EQ(presentedOver(control.presenter), row.presented);
    auto stack = postNav->viewControllers();
    for (NSUInteger i = 1; i < stack->count(); ++i)
        EXPECT_NE(text(stack->objectAtIndex(i)->className()),
                  text(stack->objectAtIndex(i - 1)->className()));
    if (row.top) {
        EXPECT_EQ(text(postNav->topViewController()->className()), row.top);
    }
    if (row.told) {
        EXPECT_TRUE(std::any_of(messages.begin(), messages.end(), [&](auto& m) {
            return m.find(row.told) != std::string::npos;
        })) << testing::PrintToString(messages);
    }
    // Nothing on the window but the front screen and the overlay its screen still holds.
    advanceRunLoop(0.5);
    auto overlay = start->loginWindow();
    std::vector<NSObject*> closable{window->rootViewController()->view().get(),
                                    overlay ? overlay->view().get() : nullptr};
    for (Ref<UIViewController> front : {control.presenter, postNav->topViewController()})
        while (front && (front = front->presentedViewController()))
            closable.push_back(front->view().get());
    auto onWindow = window->subviews();
    for (NSObject* o : *onWindow)
        EXPECT_NE(std::find(closable.begin(), closable.end(), o), closable.end()) << "unclosable";
    if (control.check) control.check();
}

using R = OneRequestOut;
using W = WhileHeld;
INSTANTIATE_TEST_SUITE_P(
    PostingScreens, OneRequestOut,
    testing::ValuesIn(std::vector<HeldControl>{
        // The posting types load again as the Post tab shows while the choice is out.
        {"ForSaleTabAndBack", &R::forSale, W::TabAndBack, kStep, 1, 0, kTypes},
        {"ForSaleMemoryWarning", &R::forSale, W::MemoryWarning, kStep, 1, 0, kTypes},
        {"ComposePost", &R::composePost, W::SecondTap, kStep, 4, 1, kCompose},
        {"ComposePostBack", &R::composePost, W::Back, kStep, 1, 0, "PostLocationController"},
        {"ComposePostMemoryWarning", &R::composePost, W::MemoryWarning, kStep, 4, 1, kCompose},
        // The login overlay: a cancelled login changes nothing, and the overlay opened again
        // neither sends a second login nor is left without its controller.
        {"OverlayLogin", &R::overlayLogin, W::SecondTap, kLogin, 1, 0, kStart},
        {"OverlayLoginOpenAgain", &R::overlayLogin, W::OpenAgain, kLogin, 1, 0, kStart},
        {"OverlayLoginOpenAgainAndWait", &R::overlayLogin, W::OpenAgainAndWait, kLogin, 1, 0,
         kStart},
        {"OverlayLoginPostWithoutAccount", &R::overlayLogin, W::PostWithoutAccount, kLogin, 1, 0,
         kCompose},
        // The stored account's login as the Post tab shows.
        {"PostTabWithTheStoredAccount", &R::postTabWithTheStoredAccount, W::SecondTap, kLogin, 1, 0,
         kStart},
        {"PostTabWithTheStoredAccountMemoryWarning", &R::postTabWithTheStoredAccount,
         W::MemoryWarning, kLogin, 1, 0, kStart},
        {"CaptchaDone", &R::captchaDone, W::SecondTap, kCaptcha, 1, 0, kCompose},
        {"CaptchaCovered", &R::captchaDoneCovered, W::MemoryWarning, kCaptcha, 1, 0, kCompose},
        // The reply form's page, whose answer asks for the captcha.
        {"ReplySend", &R::replySend, W::SecondTap, kReplyPage, 1, 1, nullptr},
        {"ReplySendBack", &R::replySend, W::Back, kReplyPage, 1, 0, nullptr},
        // A revealed address, then Next: no composer over another listing. The second photo's
        // answer lost (no line logged), then Post again; a photo's upload, then Back: the screen
        // left posts nothing more, and the session's compose form made again shows the photo.
        {"RevealedAddressThenNext", &R::revealedAddressThenNext, W::Next, kReplyCode, 1, 0,
         nullptr},
        {"SecondPhotoLost", &R::secondPhotoLost, W::Lost, kStep, 0, 1, nullptr, 2, kLost},
        {"PhotoThenBack", &R::photoThenBack, W::Back, kStep, 1, 0, nullptr, 1},
        // The area step after Back sends nothing while the photo is out.
        {"PhotoThenBackAndPost", &R::photoThenBackAndPost, W::Back, kStep, 1, 0,
         "PostLocationController", 1},
        // Home while the Post tab's start, the compose Post and the overlay's Login are out;
        // each answer lost after the site acted, then the same control again.
        {"StoredAccountHome", &R::postTabWithTheStoredAccount, W::Home, kLogin, 1, 0, kStart},
        {"ComposePostHome", &R::composePost, W::Home, kStep, 4, 1, kCompose},
        {"OverlayLoginHome", &R::overlayLogin, W::Home, kLogin, 1, 0, kStart},
        {"ComposePostLost", &R::composePost, W::Lost, kStep, 0, 1, kCompose, 0, kLost},
        {"OverlayLoginLost", &R::overlayLogin, W::Lost, kLogin, 0, 0, kStart, 0, kLost},
        {"ForSaleLost", &R::forSale, W::Lost, kStep, 0, 0, kTypes, 0, kLost},
        // Cancel on the captcha while its answer is out; "My Postings" while a choice is.
        {"CaptchaDoneCancel", &R::captchaDone, W::Cancel, kCaptcha, 1, 0, kStart},
        {"ForSaleMyPostings", &R::forSale, W::MyPostings, kStep, 1, 0, "DZWebController"},
        // A result list's next page: a second tap asks for nothing more; Back lets it land.
        {"LoadMore", &R::loadMore, W::SecondTap, kNextPage, 1, 0, nullptr},
        {"LoadMoreBack", &R::loadMore, W::Back, kNextPage, 1, 0, nullptr},
        // Back while the posting's last step is out: its outcome is told all the same, and the
        // session ends as ever. A starred listing's address, then the listing opened again; a
        // choice, then the logged-out start: no busy line over it, no step comes. The stored
        // account's login, then the logged-out start: its answer logs nobody in.
        {"CaptchaDoneLastStepBack", &R::captchaDone, W::Back, kStep, 1, 0, kCompose, 0, kWhole,
         "Your posting \"Road bike\" was received.\nIMPORTANT - FURTHER ACTION"},
        {"LoggedInLastStepBack", &R::loggedInPostThenAgain, W::Back, kStep, 1, 0, kCompose, 3,
         kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        // The same, with a category chosen meanwhile: it waits for the outcome. The answer lost:
        // the person is told, and told the site may have taken the ad. A category chosen
        // meanwhile with the stored account, or while the compose step is out. The last step's
        // answer lost, then Post again: it goes, and the site says it was submitted.
        {"CaptchaDoneLastStepBackNewForm", &R::captchaDoneThenNewForm, W::Back, kStep, 1, 0,
         kCompose, 0, kWhole, "Your posting \"Road bike\" was received.\nIMPORTANT - FURTHER"},
        {"CaptchaDoneLastStepBackLost", &R::captchaDone, W::Back, kStep, 0, 0,
         "PostLocationController", 0, kLost, "may have taken it. Please look for its email before"},
        {"LoggedInLastStepBackNewForm", &R::loggedInPostThenNewForm, W::Back, kStep, 1, 0, kCompose,
         3, kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        {"ComposeBackNewForm", &R::composeThenNewForm, W::Back, kStep, 1, 0, kTypes},
        {"LoggedInPostLost", &R::roadBikeTaken, W::Lost, kStep, 0, 0, kCompose, 3, kLost,
         "This posting has already been submitted."},
        // The area step meanwhile, then the title edited meanwhile: the ad told is the one the site
        // took. Told on another tab, it is named.
        {"AreaBackBikes", &R::areaThenBikes, W::Back, kStep, 1, 0, kTypes},
        {"LoggedInLastStepBackAreaStep", &R::loggedInPostThenArea, W::Back, kStep, 1, 0, kCompose,
         3, kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        {"LoggedInLastStepBackEdited", &R::loggedInPostEdited, W::Back, kStep, 1, 0, kCompose, 3,
         kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        {"LoggedInLastStepEdited", &R::loggedInPostEdited, W::Next, kStep, 1, 0, kCompose, 3,
         kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        {"LoggedInLastStepBackTypes", &R::loggedInPostThenTypes, W::Back, kStep, 1, 0, kStart, 3,
         kWhole, "Your posting \"Road bike\" was posted.\nPost Success"},
        {"CaptchaDoneOtherTab", &R::captchaDone, W::OtherTab, kStep, 1, 0, kCompose, 0, kWhole,
         "Your posting \"Road bike\" was received.\nIMPORTANT - FURTHER"},
        // The form shown again above New Ads once posted sends nothing, for a posting type whose
        // form comes straight from New Ads too.
        {"WantedPostThenAgain", &R::wantedPostThenAgain, W::Next, kStep, 1, 0, kCompose, 3, kWhole,
         "Post Success"},
        {"RevealedAddressThenAgain", &R::revealedAddressThenAgain, W::Next, kReplyCode, 1, 0,
         nullptr},
        {"ForSaleLogout", &R::forSale, W::Logout, kStep, 1, 0, kStart},
        {"StoredAccountLogout", &R::storedAccountThenLogout, W::Logout, kLogin, 1, 0, kStart},
        {"StoredAccountLogoutLogin", &R::storedAccountLogoutLogin, W::Logout, kLogin, 2, 0,
         kStart}}),
    [](const testing::TestParamInfo<HeldControl>& info) { return std::string(info.param.name); });

// An answer that comes after another asks for no second captcha screen: the one shown is the one
// answered, and nothing is left over it.
TEST_F(PostingScreens, ALateAnswerPresentsNoSecondCaptcha) {
    auto compose = filledCompose();
    ASSERT_TRUE(compose);
    compose->postButtonPressed(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return compose->presentedViewController() != nullptr; }, 30));
    auto captcha = as<ValidationViewController>(compose->presentedViewController());
    ASSERT_TRUE(captcha);
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }));
    // The captcha page once more, as a second post's answer would bring it.
    compose->requestFinished(nullptr);
    advanceRunLoop(1);
    EXPECT_EQ(compose->presentedViewController().get(), captcha.get());
    EXPECT_FALSE(captcha->presentedViewController());
    auto code = solveCaptcha(captcha->verificationUrl());
    ASSERT_TRUE(code);
    compose->dismissModalViewControllerAnimated(false);
    compose->validationSuccess(code);
    EXPECT_EQ(nextMessage(),
              "IMPORTANT - FURTHER ACTION IS REQUIRED TO COMPLETE YOUR REQUEST! You should "
              "receive an email shortly with a link to publish your ads.");
    advanceRunLoop(1);
    EXPECT_FALSE(compose->presentedViewController());
    EXPECT_EQ(sitetest::site().sentMails().size(), 1u);
}
