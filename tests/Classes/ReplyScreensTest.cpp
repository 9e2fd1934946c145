// The captcha screen against the stand-in captcha service (right, wrong, cancelled, two words
// with a blank, a failed load), the item screen's site-reply path that reveals the poster's
// relay address and opens the mail composer to it, and the site's own reply form screen.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Classes/EmailPage.h"
#include "Classes/Interfaces/PostingInterfaces.h"
#include "Classes/ItemViewController.h"
#include "Classes/ReplyPage.h"
#include "Classes/ReplyViewController.h"
#include "Classes/ValidationViewController.h"
#include "Foundation/NSUserDefaults.h"
#include "ListingPagesTesting.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "ResultScreensTesting.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIImage.h"
#include "UIKit/UITextView.h"
#include "tools/site/SiteNames.h"
#include "ui/style/DZImageView.h"

using namespace listingtest;

namespace {

class CaptchaWatcher : public NSObject, public ValidationViewDelegate {
    NS_OBJECT(CaptchaWatcher, NSObject)

public:
    void validationSuccess(NSString* code) override { codes.push_back(text(code)); }
    void validationCanceled() override { ++cancels; }
    std::vector<std::string> codes;
    int cancels = 0;
};

std::string alertText(UIButtonPanelView* panel) {
    auto alert = as<UIAlertView>(panel);
    return alert ? text(alert->title()) + ": " + text(alert->message()) : "";
}

}  // namespace

class ReplyScreens : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        registerPostingInterfaces();
        sitetest::site().reset();
        sitetest::site().clearFaults();
        MFMailComposeViewController::setCanSendMail(true);
    }
    void TearDown() override {
        if (root->presentedViewController()) root->dismissModalViewControllerAnimated(false);
        advanceRunLoop(1);
        sitetest::site().clearFaults();
        ResultScreensTest::TearDown();
    }

    // A captcha screen on the challenge page, presented over the root screen, its image shown.
    Ref<ValidationViewController> presentCaptcha(CaptchaWatcher* watcher) {
        auto captcha = alloc<ValidationViewController>();
        captcha->initWithNibName(NS("ValidationViewController"), nullptr);
        captcha->setVerificationUrl(str(bnsite::captchaChallengeUrl()));
        captcha->setDelegate(watcher);
        root->presentModalViewController(captcha, false);
        return captcha;
    }
    static bool waitForImage(ValidationViewController* captcha) {
        return runLoopUntil([&] { return captcha->imageView()->isLoaded(); });
    }
    static std::string answerOf(ValidationViewController* captcha) {
        return sitetest::site()
            .captchaAnswer(text(captcha->verificationPage()->getChallengeField()))
            .value_or("");
    }
    static void answer(ValidationViewController* captcha, const std::string& words) {
        captcha->verificationTextField()->setText(str(words));
        captcha->doneButtonPressed(nullptr);
    }
};

TEST_F(ReplyScreens, CaptchaScreenSetUpAndImage) {
    auto watcher = make<CaptchaWatcher>();
    auto captcha = presentCaptcha(watcher);
    auto image = captcha->imageView();
    ASSERT_TRUE(image);
    EXPECT_EQ(captcha->state(), ValidationViewController::kStateLoadingChallenge);
    EXPECT_TRUE(CGRectEqualToRect(image->frame(), CGRectMake(10, 65, 300, 57)));
    EXPECT_TRUE(image->isHidden());
    EXPECT_FALSE(image->autoresizesToImage());
    EXPECT_EQ(image->defaultImage().get(), UIImage::imageNamed(NS("transparent.png")).get());
    EXPECT_TRUE(captcha->verificationTextField()->isFirstResponder());
    EXPECT_TRUE(captcha->activityIndicator()->isAnimating());
    ASSERT_TRUE(waitForImage(captcha));
    EXPECT_FALSE(image->isHidden());
    EXPECT_FALSE(captcha->activityIndicator()->isAnimating());
    // The image comes from the service's API base followed by the page's image path.
    EXPECT_EQ(text(image->urlPath()), "http://" + std::string(bnsite::kCaptchaHost) +
                                          "/recaptcha/api/" +
                                          text(captcha->verificationPage()->getImageUrl()));
}

TEST_F(ReplyScreens, RightAnswerTellsTheDelegateAfterTheScreenHasGone) {
    auto watcher = make<CaptchaWatcher>();
    auto captcha = presentCaptcha(watcher);
    ASSERT_TRUE(waitForImage(captcha));
    // The two words as typed, blank and all.
    std::string words = answerOf(captcha);
    ASSERT_NE(words.find(' '), std::string::npos);
    answer(captcha, words);
    EXPECT_EQ(captcha->state(), ValidationViewController::kStateAnswerPosted);
    ASSERT_TRUE(
        runLoopUntil([&] { return captcha->verificationCode() || !watcher->codes.empty(); }));
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->codes.empty(); }));
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_EQ(watcher->codes.size(), 1u);
    EXPECT_EQ(watcher->codes[0].rfind("bnv", 0), 0u);
    EXPECT_EQ(watcher->cancels, 0);
}

TEST_F(ReplyScreens, WrongAnswerShowsTheNewChallenge) {
    auto watcher = make<CaptchaWatcher>();
    auto captcha = presentCaptcha(watcher);
    ASSERT_TRUE(waitForImage(captcha));
    auto firstImage = text(captcha->imageView()->urlPath());
    std::string words = answerOf(captcha);
    // The words joined by a "+" are no answer.
    words[words.find(' ')] = '+';
    answer(captcha, words);
    ASSERT_TRUE(runLoopUntil([&] { return text(captcha->imageView()->urlPath()) != firstImage; }));
    // The new image's arrival empties the answer.
    ASSERT_TRUE(
        runLoopUntil([&] { return text(captcha->verificationTextField()->text()).empty(); }));
    EXPECT_EQ(root->presentedViewController().get(), captcha.get());
    EXPECT_TRUE(watcher->codes.empty());
    // The new challenge answered right.
    answer(captcha, answerOf(captcha));
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->codes.empty(); }));
    EXPECT_FALSE(root->presentedViewController());
}

TEST_F(ReplyScreens, CancelDismissesThenTellsTheDelegate) {
    auto watcher = make<CaptchaWatcher>();
    auto captcha = presentCaptcha(watcher);
    ASSERT_TRUE(waitForImage(captcha));
    captcha->cancelButtonPressed(nullptr);
    EXPECT_EQ(watcher->cancels, 1);
    advanceRunLoop(1);
    EXPECT_FALSE(root->presentedViewController());
    EXPECT_TRUE(watcher->codes.empty());
}

TEST_F(ReplyScreens, FailedChallengeLoadKeepsTheScreen) {
    auto watcher = make<CaptchaWatcher>();
    auto captcha = alloc<ValidationViewController>();
    captcha->initWithNibName(NS("ValidationViewController"), nullptr);
    captcha->setVerificationUrl(NS("http://127.0.0.1:1/recaptcha/api/noscript?k=x"));
    captcha->setDelegate(watcher);
    root->presentModalViewController(captcha, false);
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    EXPECT_EQ(alertText(lastPanel()), "Notice: Network connection error");
    EXPECT_EQ(root->presentedViewController().get(), captcha.get());
    EXPECT_TRUE(watcher->codes.empty());
}

// ---- the item screen's site reply ------------------------------------------------------------

class ItemSiteReply : public ReplyScreens {
protected:
    void SetUp() override {
        ReplyScreens::SetUp();
        listing = findListing([](const bnsite::Listing& l) {
            return live(l) && l.reply == bnsite::Listing::Reply::Form;
        });
        ASSERT_TRUE(listing);
        auto item =
            ResultScreensTest::listing(listing->titleText.c_str(), pageUrlOf(*listing).c_str());
        item->setReplyUrl(
            str("http://boston.bazaarnest.test/reply/" + std::to_string(listing->id)));
        items = NSMutableArray::arrayWithObject(item);
        screen = alloc<ItemViewController>();
        screen->initWithNibName(NS("ItemViewController"), nullptr);
        nav->pushViewController(screen, false);
        screen->displayItems(items, 0);
    }
    void TearDown() override {
        if (screen->presentedViewController()) screen->dismissModalViewControllerAnimated(false);
        advanceRunLoop(1);
        screen = nullptr;
        ReplyScreens::TearDown();
    }
    std::optional<bnsite::Listing> listing;
    Ref<NSMutableArray> items;
    Ref<ItemViewController> screen;
};

TEST_F(ItemSiteReply, CaptchaRevealsTheRelayAddressAndOpensTheComposer) {
    screen->showReplyView();
    auto captcha = as<ValidationViewController>(screen->presentedViewController());
    ASSERT_TRUE(captcha);
    EXPECT_EQ(captcha->delegate().get(), static_cast<ValidationViewDelegate*>(screen.get()));
    EXPECT_EQ(text(captcha->verificationUrl()), text(screen->emailPage()->getVerificationUrl()));
    ASSERT_TRUE(waitForImage(captcha));
    answer(captcha, answerOf(captcha));
    ASSERT_TRUE(runLoopUntil([&] {
        return as<MFMailComposeViewController>(screen->presentedViewController()) != nullptr;
    }));
    auto mail = as<MFMailComposeViewController>(screen->presentedViewController());
    ASSERT_EQ(mail->toRecipients()->count(), 1u);
    EXPECT_EQ(text(as<NSString>(mail->toRecipients()->objectAtIndex(0))), listing->relayAddress);
    EXPECT_EQ(text(screen->currentItem()->replyUrl()), listing->relayAddress);
    EXPECT_NE(listing->relayAddress.find("@" + std::string(bnsite::kMailDomain)),
              std::string::npos);
}

// While the answer's code is out to the reply page, "Reply with Email" again asks for nothing:
// the answer under way opens the one composer.
TEST_F(ItemSiteReply, WhileTheCodeIsOutAnotherReplyAsksForNoSecondCaptcha) {
    screen->showReplyView();
    auto captcha = as<ValidationViewController>(screen->presentedViewController());
    ASSERT_TRUE(captcha);
    ASSERT_TRUE(waitForImage(captcha));
    auto gate = sitetest::site().gate("code-held");
    gate->close();
    bnsite::Fault held;
    held.path = "/reply/";
    held.gate = "code-held";
    held.remaining = 1;
    sitetest::site().addFault(held);
    answer(captcha, answerOf(captcha));
    ASSERT_TRUE(runLoopUntil([&] { return gate->waiting() == 1; }));
    EXPECT_FALSE(screen->presentedViewController());
    EXPECT_TRUE(screen->isRevealing());
    screen->showReplyView();
    EXPECT_FALSE(screen->presentedViewController());
    gate->open();
    ASSERT_TRUE(runLoopUntil([&] {
        return as<MFMailComposeViewController>(screen->presentedViewController()) != nullptr;
    }));
    EXPECT_FALSE(screen->presentedViewController()->presentedViewController());
    EXPECT_FALSE(screen->isRevealing());
}

TEST_F(ItemSiteReply, AReplyPageThatFailsGivesAMessageAndNoCaptcha) {
    bnsite::Fault broken;
    broken.path = "/reply/";
    broken.status = 500;
    sitetest::site().addFault(broken);
    screen->showReplyView();
    EXPECT_FALSE(screen->presentedViewController());
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    EXPECT_EQ(alertText(lastPanel()), "Notice: Network connection error");
    closePanels();
    // A page that came without its captcha frame is no better.
    sitetest::site().clearFaults();
    screen->currentItem()->setReplyUrl(NS("http://boston.bazaarnest.test/"));
    screen->showReplyView();
    EXPECT_FALSE(screen->presentedViewController());
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    EXPECT_EQ(alertText(lastPanel()), "Notice: Network connection error");
}

TEST_F(ItemSiteReply, AFailedAnswerPostGivesTheMessage) {
    screen->showReplyView();
    ASSERT_TRUE(screen->emailPage());
    bnsite::Fault dropped;
    dropped.path = "/reply/";
    dropped.delivery = bnsite::Fault::Delivery::Drop;
    sitetest::site().addFault(dropped);
    screen->validationSuccess(NS("bnv-not-used"));
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    EXPECT_EQ(alertText(lastPanel()), "Notice: Network connection error");
    EXPECT_FALSE(as<MFMailComposeViewController>(screen->presentedViewController()));
}

TEST_F(ItemSiteReply, AReplyPageInAnySchemeOrCaseIsThePageNotAMailAddress) {
    // Secure or upper-case web addresses are the site's reply page too: never a mail recipient.
    const std::string page = "boston.bazaarnest.test/reply/" + std::to_string(listing->id);
    for (const std::string& url : {"HTTP://" + page, "Http://" + page, "https://" + page}) {
        SCOPED_TRACE(url);
        screen->currentItem()->setReplyUrl(str(url));
        screen->showReplyView();
        EXPECT_FALSE(as<MFMailComposeViewController>(screen->presentedViewController()));
        ASSERT_TRUE(screen->emailPage());
        ASSERT_TRUE(screen->emailPage()->url());
        EXPECT_EQ(text(screen->emailPage()->url()->absoluteString()), url);
        if (screen->presentedViewController()) screen->dismissModalViewControllerAnimated(false);
        closePanels();
        advanceRunLoop(1);
    }
    // A mail address still goes straight to the composer.
    screen->currentItem()->setReplyUrl(NS("poster@mail.bazaarnest.test"));
    screen->showReplyView();
    EXPECT_TRUE(as<MFMailComposeViewController>(screen->presentedViewController()));
}

// ---- the site's reply form screen ------------------------------------------------------------

class ReplyForm : public ItemSiteReply {
protected:
    void SetUp() override {
        ItemSiteReply::SetUp();
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("Email"));
        reply = alloc<ReplyViewController>();
        reply->initWithNibName(NS("ReplyViewController"), nullptr);
        reply->setItemInfo(screen->currentItem());
    }
    void TearDown() override {
        reply = nullptr;
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(NS("Email"));
        ItemSiteReply::TearDown();
    }
    Ref<ReplyViewController> reply;
};

TEST_F(ReplyForm, AlertsForMissingFieldsAndTheStoredAddress) {
    nav->pushViewController(reply, false);
    EXPECT_EQ(text(reply->title()), "Reply Message");
    EXPECT_TRUE(reply->emailTextField()->isFirstResponder());
    reply->sendButtonPressed(nullptr);
    EXPECT_EQ(alertText(lastPanel()), "Reply Error: Please enter your email address.");
    closePanels();
    reply->emailTextField()->setText(NS("buyer@example.test"));
    reply->sendButtonPressed(nullptr);
    EXPECT_EQ(alertText(lastPanel()), "Reply Error: Please enter a message.");
    EXPECT_TRUE(reply->messageTextView()->isFirstResponder());
    closePanels();
    EXPECT_EQ(text(NSUserDefaults::standardUserDefaults()->stringForKey(NS("Email"))),
              "buyer@example.test");
    // The next reply screen starts with the stored address and the message focused.
    auto next = alloc<ReplyViewController>();
    next->initWithNibName(NS("ReplyViewController"), nullptr);
    nav->pushViewController(next, false);
    EXPECT_EQ(text(next->emailTextField()->text()), "buyer@example.test");
    EXPECT_TRUE(next->messageTextView()->isFirstResponder());
}

TEST_F(ReplyForm, SuccessAndSiteError) {
    nav->pushViewController(reply, false);
    reply->emailTextField()->setText(NS("buyer@example.test"));
    reply->messageTextView()->setText(NS("Is it still for sale?"));
    reply->sendButtonPressed(nullptr);
    ASSERT_TRUE(runLoopUntil(
        [&] { return as<ValidationViewController>(reply->presentedViewController()) != nullptr; }));
    auto captcha = as<ValidationViewController>(reply->presentedViewController());
    auto code = solveCaptcha(captcha->verificationUrl());
    ASSERT_TRUE(code);
    // A memory warning under the captcha lets the form's view go: the view made again shows
    // what was typed, and the reply under way is the one answered.
    reply->didReceiveMemoryWarning();
    ASSERT_FALSE(reply->isViewLoaded());
    reply->dismissModalViewControllerAnimated(false);
    reply->view();
    EXPECT_EQ(text(reply->emailTextField()->text()), "buyer@example.test");
    EXPECT_EQ(text(reply->messageTextView()->text()), "Is it still for sale?");
    EXPECT_TRUE(reply->messageLabel()->isHidden());
    auto held = reply;
    reply->validationSuccess(code);
    EXPECT_EQ(reply->state(), ReplyViewController::kStateReplied);
    EXPECT_TRUE(reply->isHeldForResult());
    EXPECT_NE(nav->topViewController().get(), reply.get());
    // Held until its result arrives, then let go.
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    EXPECT_EQ(alertText(lastPanel()), "Reply: Sussess");
    EXPECT_FALSE(held->isHeldForResult());
    closePanels();

    // The same code again: the site refuses it, and its error shows.
    reply = alloc<ReplyViewController>();
    reply->initWithNibName(NS("ReplyViewController"), nullptr);
    reply->setItemInfo(screen->currentItem());
    nav->pushViewController(reply, false);
    reply->messageTextView()->setText(NS("Again?"));
    reply->sendButtonPressed(nullptr);
    ASSERT_TRUE(runLoopUntil([&] { return reply->presentedViewController() != nullptr; }));
    reply->dismissModalViewControllerAnimated(false);
    reply->validationSuccess(code);
    ASSERT_TRUE(runLoopUntil([&] { return lastPanel() != nullptr; }));
    auto shown = alertText(lastPanel());
    EXPECT_EQ(shown.rfind("Reply Error: ", 0), 0u) << shown;
    EXPECT_FALSE(reply->isHeldForResult());
}
