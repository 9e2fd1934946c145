// Revealing a poster's relay address through the site's reply page: the captcha frame, the
// code posted with the reply key, the "Reply to:" address; a used code and a page without the
// address give none.
#include <gtest/gtest.h>

#include "Classes/EmailPage.h"
#include "ListingPagesTesting.h"

using namespace listingtest;
using bnsite::Listing;

namespace {

class HandMadeEmailPage : public EmailPage {
    NS_OBJECT(HandMadeEmailPage, EmailPage)

public:
    void setUrl(NSString* url) { url_ = NSURL::URLWithString(url); }
};

std::optional<Listing> formListing() {
    return findListing([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Form; });
}

std::string replyUrlOf(const Listing& l) {
    return "http://boston.bazaarnest.test/reply/" + std::to_string(l.id);
}

}  // namespace

TEST(EmailPage, CaptchaRevealsTheRelayAddressOnce) {
    auto listing = formListing();
    ASSERT_TRUE(listing);
    auto replyUrl = replyUrlOf(*listing);
    auto page = make<EmailPage>();
    page->downloadPageSync(str(replyUrl));
    EXPECT_EQ(text(page->getActionUrl()), replyUrl + "/email");
    // The frame is used as the page gives it.
    auto code = solveCaptcha(page->getVerificationUrl());
    ASSERT_TRUE(code);
    auto watcher = make<RequestWatcher>();
    page->validateCode(code, watcher);
    ASSERT_TRUE(watcher->waitFor(1));
    EXPECT_EQ(watcher->status, 200);
    EXPECT_EQ(text(page->getEmail()), listing->relayAddress);
    // The code works once: the same post again is refused and gives no address.
    auto again = make<EmailPage>();
    again->downloadPageSync(str(replyUrl));
    again->validateCode(code, watcher);
    ASSERT_TRUE(watcher->waitFor(2));
    EXPECT_EQ(watcher->status, 403);
    EXPECT_FALSE(again->getEmail());
}

TEST(EmailPage, HandMadePages) {
    auto page = make<HandMadeEmailPage>();
    page->setUrl(NS("https://boston.bazaarnest.test/reply/7"));
    page->setWebpage(
        NS("<form action=\"/reply/7/email\" method=\"post\">"
           "<iframe height=1 src=\"http://verify.captchaservice.test/x\"></iframe>"));
    // Plain http on the reply page's own host, whatever the page's scheme.
    EXPECT_EQ(text(page->getActionUrl()), "http://boston.bazaarnest.test/reply/7/email");
    EXPECT_EQ(text(page->getVerificationUrl()), "http://verify.captchaservice.test/x");
    page->setWebpage(NS("<form method=\"post\">"));
    EXPECT_FALSE(page->getActionUrl());
    EXPECT_FALSE(page->getVerificationUrl());
    // Only "Reply to: " with its capital counts.
    page->setWebpage(NS("<h3>reply to: <a href=\"mailto:x@y.test\">x@y.test</a></h3>"));
    EXPECT_FALSE(page->getEmail());
    page->setWebpage(NS("<div>Reply to: <a href=\"mailto:x@y.test\">x@y.test</a></div>"));
    EXPECT_EQ(text(page->getEmail()), "x@y.test");
}

TEST(EmailPage, WithoutAnActionTheFormGoesToThePageItself) {
    auto listing = formListing();
    ASSERT_TRUE(listing);
    auto page = make<EmailPage>();
    page->downloadPageSync(str(replyUrlOf(*listing)));
    page->setWebpage(NS("<input type=\"hidden\" name=\"replyKey\" value=\"K\">"));
    auto watcher = make<RequestWatcher>();
    page->validateCode(NS("code"), watcher);
    ASSERT_TRUE(watcher->waitFor(1));
    EXPECT_EQ(watcher->url, replyUrlOf(*listing));
    EXPECT_FALSE(page->getEmail());
}
