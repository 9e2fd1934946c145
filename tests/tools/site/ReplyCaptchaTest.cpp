// The captcha service and the reply page's two forms: revealing the poster's address (the item
// screen's e-mail page) and answering through the site (the reply page class).
#include "SiteTesting.h"
#include "tools/site/SiteInternal.h"

using namespace sitetest;
using bnsite::Listing;

namespace {

const std::string kApiBase = "http://verify.captchaservice.test/recaptcha/api/";

// A live listing in boston that is answered through the reply form, with an id of the wanted
// parity (even ones name the captcha service's former address).
Listing formListing(bool evenId) {
    const auto& catalog = site().catalog();
    for (const auto& l :
         *site().listings().generated(catalog.metroIndex("boston"), catalog.categoryIndex("fua"))) {
        if (l.status == Listing::Status::Live && l.reply == Listing::Reply::Form &&
            (l.id % 2 == 0) == evenId)
            return l;
    }
    ADD_FAILURE() << "no such listing";
    return {};
}

std::string replyPageUrl(const Listing& l) {
    return "http://boston.bazaarnest.test/reply/" + std::to_string(l.id);
}

// The reply page's challenge address as the reply page class reads it.
std::string rewrittenChallenge(const std::string& page) {
    return readPage(page, &ReplyPage::getVerificationUrl).value_or("");
}

// The e-mail page's reveal post, with a key and fields of the test's choosing.
Page validateCode(const Page& replyPage, const std::string& code, const std::string& replyKey,
                  Pairs extra = {}) {
    std::string action =
        readPage(replyPage.text, &EmailPage::getActionUrl, replyPage.url).value_or("");
    Pairs pairs = {{"replyKey", replyKey},
                   {"recaptcha_challenge_field", code},
                   {"recaptcha_response_field", "manual_challenge"}};
    pairs.insert(pairs.end(), extra.begin(), extra.end());
    return post(action, pairs, 1);
}

}  // namespace

TEST(Captcha, ChallengeImageAndCode) {
    std::string challengeUrl = kApiBase + "noscript?k=" + std::string(bnsite::kCaptchaSiteKey);
    Page challenge = get(challengeUrl);
    auto field = readPage(challenge.text, &VerificationPage::getChallengeField);
    auto image = readPage(challenge.text, &VerificationPage::getImageUrl);
    ASSERT_TRUE(field && image);
    Page picture = get(*readPage(challenge.text, &VerificationPage::getImageFullUrl));
    int w = 0, h = 0;
    EXPECT_TRUE(decodesAsJpeg(picture.bytes, &w, &h));
    EXPECT_EQ(w, 300);
    EXPECT_EQ(h, 57);
    // The answer as the site tells tests (and people, through the admin host).
    auto answer = site().captchaAnswer(*field);
    ASSERT_TRUE(answer);
    EXPECT_EQ(get("http://admin.bazaarnest.test/captcha?c=" + *field).text, *answer + "\n");

    auto code = solveCaptcha(challengeUrl);
    ASSERT_TRUE(code);
    EXPECT_EQ(code->find_first_of("<>\" "), std::string::npos);
    EXPECT_FALSE(solveCaptcha(challengeUrl, false));
}

TEST(Captcha, AWrongAnswerOrAUsedChallengeGetsANewChallenge) {
    std::string url = kApiBase + "noscript?k=x";
    Page challenge = get(url);
    std::string field = readPage(challenge.text, &VerificationPage::getChallengeField).value_or("");
    std::string answer = site().captchaAnswer(field).value_or("");
    Page wrong = post(
        url, {{"recaptcha_challenge_field", field}, {"recaptcha_response_field", "no+way"}}, 1);
    auto next = readPage(wrong.text, &VerificationPage::getChallengeField);
    ASSERT_TRUE(next);
    EXPECT_NE(*next, field);
    EXPECT_FALSE(readPage(wrong.text, &VerificationPage::getVerificationCode));
    // The right words once the challenge is spent change nothing.
    Page late =
        post(url, {{"recaptcha_challenge_field", field}, {"recaptcha_response_field", answer}}, 1);
    EXPECT_FALSE(readPage(late.text, &VerificationPage::getVerificationCode));
    EXPECT_EQ(get(kApiBase + "noscript").status, 400);  // no site key
}

TEST(Captcha, ChallengesAndCodesAreKeptUpToACountTheOldestGoing) {
    site().reset();
    auto challengePage = [] { return handled(kApiBase + "noscript?k=x"); };
    std::string first =
        readPage(challengePage().body, &VerificationPage::getChallengeField).value_or("");
    for (int i = 0; i < 5000; ++i)
        challengePage();
    std::string newest =
        readPage(challengePage().body, &VerificationPage::getChallengeField).value_or("");
    std::string firstCode = site().issueVerificationCode();
    for (int i = 0; i < 5000; ++i)
        site().issueVerificationCode();
    auto sizes = site().storeSizes();
    EXPECT_EQ(sizes.captchaChallenges, 4096u);
    EXPECT_EQ(sizes.captchaCodes, 4096u);
    // The newest challenge is answered as ever; the oldest is gone, and its image with it.
    auto answer = site().captchaAnswer(newest);
    ASSERT_TRUE(answer);
    EXPECT_FALSE(site().captchaAnswer(first));
    EXPECT_EQ(get(kApiBase + "image?c=" + first).status, 404);
    Page right =
        post(kApiBase + "noscript?k=x",
             {{"recaptcha_challenge_field", newest}, {"recaptcha_response_field", *answer}}, 1);
    EXPECT_TRUE(readPage(right.text, &VerificationPage::getVerificationCode));
    site().reset();
}

TEST(ReplyPage, FormerCaptchaAddressesAreRewrittenAndBothServe) {
    Page even = get(replyPageUrl(formListing(true)));
    Page odd = get(replyPageUrl(formListing(false)));
    EXPECT_EQ(
        match(even.text, "<iframe src=\"([^\"]*)\"")->rfind("http://api.captchaservice.test/", 0),
        0u);
    EXPECT_EQ(match(odd.text, "<iframe src=\"([^\"]*)\"")->rfind(kApiBase, 0), 0u);
    EXPECT_EQ(rewrittenChallenge(even.text).rfind(kApiBase, 0), 0u);
    EXPECT_EQ(rewrittenChallenge(odd.text), *match(odd.text, "<iframe src=\"([^\"]*)\""));
    // The e-mail page takes the frame's address as it stands: the former address answers too.
    EXPECT_TRUE(solveCaptcha(*readPage(even.text, &EmailPage::getVerificationUrl)));
    EXPECT_TRUE(solveCaptcha(rewrittenChallenge(even.text)));
}

TEST(ReplyPage, TheCaptchaCodeRevealsThePostersAddress) {
    Listing l = formListing(false);
    Page reply = get(replyPageUrl(l));
    auto key = inputValue(reply.text, "replyKey");
    ASSERT_TRUE(key);
    auto code = solveCaptcha(*readPage(reply.text, &EmailPage::getVerificationUrl));
    ASSERT_TRUE(code);
    Page answer = validateCode(reply, *code, *key);
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(readPage(answer.text, &EmailPage::getEmail), l.relayAddress);
    // A code works once; the page then holds no address.
    Page again = validateCode(reply, *code, *key);
    EXPECT_EQ(again.status, 403);
    EXPECT_FALSE(readPage(again.text, &EmailPage::getEmail));
}

TEST(ReplyPage, RevealFormsAreCheckedLikeARealServer) {
    Page reply = get(replyPageUrl(formListing(false)));
    std::string key = inputValue(reply.text, "replyKey").value_or("");
    Page wrongKey = validateCode(reply, site().issueVerificationCode(), "NOTTHEKEY");
    EXPECT_EQ(wrongKey.status, 403);
    Page extra = validateCode(reply, site().issueVerificationCode(), key, {{"sneaky", "1"}});
    EXPECT_EQ(extra.status, 400);
    EXPECT_EQ(readPage(extra.text, &ReplyPage::getReplyError), "Unexpected form field sneaky");
    Page made = validateCode(reply, "made-up-code", key);
    EXPECT_EQ(made.status, 403);
    EXPECT_FALSE(readPage(made.text, &EmailPage::getEmail));
}

TEST(ReplyPage, TheReplyFormSendsAMessageOrSaysWhatIsWrong) {
    Listing l = formListing(false);
    Page reply = get(replyPageUrl(l));
    auto oid = readPage(reply.text, &ReplyPage::getOid);
    auto textArea = readPage(reply.text, &ReplyPage::getTextAreaId);
    auto action = readPage(reply.text, &ReplyPage::getActionUrl);
    ASSERT_TRUE(oid && textArea && action);
    EXPECT_EQ(*oid, std::to_string(l.id));
    EXPECT_EQ(action->rfind("http://boston.bazaarnest.test/", 0), 0u);  // posted to as it stands
    auto send = [&](const std::string& from, const std::string& message, const std::string& code) {
        return post(*action,
                    {{"oid", *oid},
                     {"layout", ""},
                     {"pageState", "reply"},
                     {"from", from},
                     {"fromVerify", from},
                     {*textArea, message},
                     {"recaptcha_challenge_field", code},
                     {"recaptcha_response_field", "manual_challenge"}},
                    0);
    };
    Page empty = send("me@example.test", "", site().issueVerificationCode());
    EXPECT_EQ(readPage(empty.text, &ReplyPage::getReplyError), "Please enter a message");
    Page badCode = send("me@example.test", "Is it still available?", "nope");
    EXPECT_EQ(readPage(badCode.text, &ReplyPage::getReplyError), "Incorrect verification code");

    auto code = solveCaptcha(rewrittenChallenge(reply.text));
    ASSERT_TRUE(code);
    size_t mailsBefore = site().sentMails().size();
    Page sent = send("me@example.test", "Is it still available?", *code);
    EXPECT_EQ(sent.status, 200);
    EXPECT_FALSE(readPage(sent.text, &ReplyPage::getReplyError));
    EXPECT_NE(sent.text.find("Your reply has been sent."), std::string::npos);
    auto mails = site().sentMails();
    ASSERT_EQ(mails.size(), mailsBefore + 1);
    EXPECT_EQ(mails.back().to, l.relayAddress);
}
