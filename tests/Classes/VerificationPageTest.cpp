// The captcha service's pages against the stand-in service: the challenge page's image and
// challenge, a wrong answer (a new challenge, no code) and a right one of two words (a code).
#include <gtest/gtest.h>

#include <cctype>

#include "Classes/VerificationPage.h"
#include "ListingPagesTesting.h"

using namespace listingtest;

namespace {

Ref<VerificationPage> challengePage() {
    sitetest::site();
    auto page = make<VerificationPage>();
    page->downloadPageSync(str(bnsite::captchaChallengeUrl()));
    return page;
}

std::string answerFor(VerificationPage* page) {
    return sitetest::site().captchaAnswer(text(page->getChallengeField())).value_or("");
}

int statusOf(NSString* url) {
    auto request = NKHTTPRequest::requestWithURL(NSURL::URLWithString(url));
    request->startSynchronous();
    return request->responseStatusCode();
}

}  // namespace

TEST(VerificationPage, ChallengePageGivesImageAndChallenge) {
    auto page = challengePage();
    EXPECT_EQ(text(VerificationPage::apiBase()),
              "http://verify.captchaservice.test/recaptcha/api/");
    ASSERT_TRUE(page->getChallengeField());
    EXPECT_EQ(text(page->getImageUrl()), "image?c=" + text(page->getChallengeField()));
    EXPECT_EQ(text(page->getImageFullUrl()),
              text(VerificationPage::apiBase()) + text(page->getImageUrl()));
    EXPECT_FALSE(page->getVerificationCode());
    EXPECT_EQ(statusOf(page->getImageFullUrl()), 200);
    // Without an image path the bare base is all there is, and it loads no image.
    page->setWebpage(NS("<form><center>no image here</center></form>"));
    EXPECT_EQ(text(page->getImageFullUrl()), text(VerificationPage::apiBase()));
    EXPECT_GE(statusOf(page->getImageFullUrl()), 400);
}

TEST(VerificationPage, WrongThenRightAnswer) {
    auto page = challengePage();
    auto first = text(page->getChallengeField());
    auto watcher = make<RequestWatcher>();
    page->postAnswer(NS("not the words"), watcher);
    ASSERT_TRUE(watcher->waitFor(1));
    EXPECT_FALSE(page->getVerificationCode());
    ASSERT_TRUE(page->getChallengeField());
    EXPECT_NE(text(page->getChallengeField()), first);
    // The words joined by a typed "+" are one word to the service: wrong, and a new challenge.
    auto joined = answerFor(page);
    ASSERT_NE(joined.find(' '), std::string::npos);
    joined[joined.find(' ')] = '+';
    page->postAnswer(str(joined), watcher);
    ASSERT_TRUE(watcher->waitFor(2));
    EXPECT_FALSE(page->getVerificationCode());
    // The new challenge, answered in upper case with the blank as typed: the service reads the
    // words without case, the blank escaped once by the form encoder.
    auto answer = answerFor(page);
    ASSERT_NE(answer.find(' '), std::string::npos);
    for (char& c : answer)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    page->postAnswer(str(answer), watcher);
    ASSERT_TRUE(watcher->waitFor(3));
    EXPECT_EQ(watcher->url, bnsite::captchaChallengeUrl());
    EXPECT_EQ(text(page->getVerificationCode()).rfind("bnv", 0), 0u);
}
