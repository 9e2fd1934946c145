// Answering a listing through the site's reply form: the captcha frame (moved off the service's
// former address), the form's fields, the multipart post with the code, the site's "sent" page
// and its errors.
#include <gtest/gtest.h>

#include "Classes/ReplyPage.h"
#include "ListingPagesTesting.h"

using namespace listingtest;
using bnsite::Listing;

namespace {

// The reply page of a live listing with the reply form; the site names the captcha service's
// former address on even ids.
std::optional<Listing> formListing(bool evenId) {
    return findListing([evenId](const Listing& l) {
        return live(l) && l.reply != Listing::Reply::Email && (l.id % 2 == 0) == evenId;
    });
}

Ref<ReplyPage> replyPageOf(const Listing& l) {
    auto page = make<ReplyPage>();
    page->downloadPageSync(str("http://boston.bazaarnest.test/reply/" + std::to_string(l.id)));
    return page;
}

}  // namespace

TEST(ReplyPage, FormFieldsAndTheFrameOnTheCurrentBase) {
    for (bool even : {true, false}) {
        auto l = formListing(even);
        ASSERT_TRUE(l);
        auto page = replyPageOf(*l);
        EXPECT_EQ(text(page->getOid()), std::to_string(l->id));
        EXPECT_EQ(text(page->getTextAreaId()).rfind("reply_body_", 0), 0u);
        EXPECT_EQ(text(page->getActionUrl()),
                  "http://boston.bazaarnest.test/reply/" + std::to_string(l->id) + "/send");
        EXPECT_EQ(text(page->getVerificationUrl()), bnsite::captchaChallengeUrl(false));
    }
    auto page = make<ReplyPage>();
    page->setWebpage(NS("<iframe src=\"http://elsewhere.test/api.captchaservice.test/\">"));
    EXPECT_EQ(text(page->getVerificationUrl()), "http://elsewhere.test/api.captchaservice.test/");
    page->setWebpage(NS("<li class=\"error\">Please enter a message. And more.</li>"));
    EXPECT_EQ(text(page->getReplyError()), "Please enter a message");
}

TEST(ReplyPage, ReplyWithTheRightCodeIsSent) {
    sitetest::site().reset();  // the mails counted are this reply's only
    auto l = formListing(true);
    ASSERT_TRUE(l);
    auto page = replyPageOf(*l);
    auto code = solveCaptcha(page->getVerificationUrl());
    ASSERT_TRUE(code);
    auto watcher = make<RequestWatcher>();
    page->reply(NS("me@example.test"), NS("Is it still available?\nThanks"), code, watcher);
    ASSERT_TRUE(watcher->waitFor(1));
    EXPECT_EQ(watcher->status, 200);
    EXPECT_FALSE(page->getReplyError()) << text(page->getReply());
    EXPECT_NE(text(page->getReply()).find("Your reply has been sent."), std::string::npos);
    auto mails = sitetest::site().sentMails();
    ASSERT_EQ(mails.size(), 1u);
    EXPECT_EQ(mails.back().to, l->relayAddress);
}

TEST(ReplyPage, RefusedRepliesGiveTheSitesError) {
    auto l = formListing(false);
    ASSERT_TRUE(l);
    auto page = replyPageOf(*l);
    auto watcher = make<RequestWatcher>();
    page->reply(NS("me@example.test"), NS("Hello"), NS("bnv-not-a-code"), watcher);
    ASSERT_TRUE(watcher->waitFor(1));
    EXPECT_EQ(text(page->getReplyError()), "Incorrect verification code");
    // Synchronous without a listener.
    page = replyPageOf(*l);
    page->reply(NS("not an address"), NS("Hello"), NS("x"), nullptr);
    EXPECT_EQ(text(page->getReplyError()), "Please enter a valid email address");
}
