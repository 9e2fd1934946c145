// The posting pages read by PostPage over real HTTPS against the stand-in posting host, walked
// the way the posting screens walk them: the city page's posting link, types, categories,
// areas, the compose form, photos, review, terms, captcha and the final pages; the signature
// present and missing, the site's error page for forms it refuses, and pages built by hand for
// the readers' edge cases.
#include <gtest/gtest.h>

#include "Classes/LoginPage.h"
#include "Classes/NSMutableArray+Key.h"
#include "Classes/PostPage.h"
#include "Classes/PostSection.h"
#include "Classes/Regex.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSHTTPCookieStorage.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"

namespace {

class PostPageTestListener : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(PostPageTestListener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }

public:
    void requestFinished(NKHTTPRequest*) override { ++finished; }
    void requestFailed(NKHTTPRequest*) override { ++failed; }
    int finished = 0, failed = 0;
};

class PostPageTestLogin : public NSObject, public LoginListner {
    NS_OBJECT(PostPageTestLogin, NSObject)

public:
    void loginDone(bool success) override { result = success ? 1 : 0; }
    int result = -1;
};

Ref<PostPage> pageWithText(const char* html) {
    auto page = make<PostPage>();
    page->setWebpage(str(html));
    return page;
}

Ref<PostPage> startPosting(const char* city = "http://boston.bazaarnest.test/") {
    auto page = make<PostPage>();
    page->downloadPageSync(str(city));
    auto link = page->getPostUrl();
    EXPECT_TRUE(link);
    if (link) page->downloadPageSync(link);
    return page;
}

Ref<PostSection> sectionNamed(PostPage* page, const std::string& name) {
    auto list = page->getSectionList();
    for (NSUInteger i = 0; i < list->count(); ++i) {
        auto s = as<PostSection>(list->objectAtIndex(i));
        if (text(s->name()).rfind(name, 0) == 0) return s;
    }
    ADD_FAILURE() << "no choice named " << name;
    return nullptr;
}

// A step screen's choice: the choice, the signature and "go", URL-encoded, to the shown page's
// action; the reply lands in a page of its own, as it does in the next screen's holder.
Ref<PostPage> choose(PostPage* shown, PostSection* choice) {
    auto values = NSMutableDictionary::dictionaryWithCapacity(10);
    if (choice) values->setObject(choice->value(), choice->key());
    EXPECT_TRUE(shown->addSignatureToValues(values));
    values->setObject(NS("Continue"), NS("go"));
    auto next = make<PostPage>();
    next->postData(values, 1, nullptr, shown->getActionUrl());
    return next;
}
Ref<PostPage> choose(PostPage* shown, const std::string& name) {
    return choose(shown, sectionNamed(shown, name));
}

// The compose screen's submit, in its field order; the replies come to `reply`.
void submitCompose(PostPage* form, PostPage* reply, const char* title, const char* email,
                   const char* body = "Ridden twice.\nComes with a lock.") {
    auto pairs = NSMutableArray::arrayWithCapacity(16);
    if (auto k = form->getInputKeyByToken(NS("size=\"30\""))) setObjectForKey(pairs, str(title), k);
    auto price = form->getInputKeyByToken(NS("size=\"4\""));
    if (!price) price = form->getInputKeyByToken(NS("size=\"3\""));
    if (price) setObjectForKey(pairs, NS("250"), price);
    if (auto k = form->getInputKeyByToken(NS("size=\"20\""))) setObjectForKey(pairs, NS("here"), k);
    if (form->getInputValue(NS("ConfirmEMail"))) {
        setObjectForKey(pairs, str(email), NS("FromEMail"));
        setObjectForKey(pairs, str(email), NS("ConfirmEMail"));
    } else {
        setObjectForKey(pairs, str(email), NS("FromEMail"));
    }
    setObjectForKey(pairs, NS("C"), form->getInputKeyByToken(NS("checked")));
    setObjectForKey(pairs, str(body), form->getTextAreaKey());
    setObjectForKey(pairs, NS("Continue"), form->getSubmitKey());
    EXPECT_TRUE(form->addSignatureToPairs(pairs));
    reply->postDataArray(pairs, 0, nullptr, form->getActionUrl());
}

// A photo as the compose screen has it after picking: a listing photo of the site.
Ref<NSData> sitePhoto() {
    const auto& catalog = sitetest::site().catalog();
    auto rows = sitetest::site().listings().generated(catalog.metroIndex("boston"),
                                                      catalog.categoryIndex("bik"));
    for (const auto& listing : *rows) {
        if (!listing.hasImages()) continue;
        auto request =
            NKHTTPRequest::requestWithURL(NSURL::URLWithString(NSString::stringWithFormat(
                NS("http://images.bazaarnest.test/thumb/%u_1.jpg"), unsigned(listing.id))));
        request->startSynchronous();
        return request->responseData();
    }
    return nullptr;
}

// The photo page's upload (the JPEG at the compose screen's quality) and finish posts.
void photoStep(PostPage* page, bool upload) {
    auto pairs = NSMutableArray::arrayWithCapacity(8);
    page->addSignatureToPairs(pairs);
    if (upload) {
        auto image = UIImage::imageWithData(sitePhoto());
        setObjectForKey(pairs, NS("add"), page->getInputKeyByToken(NS("add")));
        setObjectForKey(pairs, UIImageJPEGRepresentation(image, 0.4f), NS("file"));
        setObjectForKey(pairs, NS("add image"), page->getSubmitKey());
    } else {
        setObjectForKey(pairs, NS("fin"), page->getInputKeyByToken(NS("fin")));
        setObjectForKey(pairs, NS("Done with Images"), page->getSubmitKey());
    }
    page->postDataArray(pairs, 0, nullptr, page->getActionUrl());
}

// The review, terms and captcha posts: the first form's inputs with the submit (and more) set.
void confirm(PostPage* page, NSString* submit, NSString* code = nullptr) {
    auto inputs = page->getConfirmInputs();
    inputs->setObject(submit, page->getSubmitKey());
    if (code) inputs->setObject(code, NS("recaptcha_challenge_field"));
    page->addSignatureToValues(inputs);
    page->postData(inputs, 0, nullptr, page->getActionUrl());
}

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

class PostPages : public testing::Test {
protected:
    void SetUp() override {
        sitetest::site().reset();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
    }
    void TearDown() override {
        sitetest::site().clearFaults();
        NSHTTPCookieStorage::sharedHTTPCookieStorage()->removeAllCookies();
        NKHTTPRequest::setSessionCookies(nullptr);
        sitetest::site().reset();
    }
    void logIn(const char* email) {
        auto watcher = make<PostPageTestLogin>();
        make<LoginPage>()->login(str(email), NS("secret"), watcher);
        ASSERT_TRUE(runLoopUntil([&] { return watcher->result >= 0; }));
        ASSERT_EQ(watcher->result, 1);
    }
};

}  // namespace

TEST_F(PostPages, TheCityPageLeadsToThePostingTypes) {
    auto page = make<PostPage>();
    auto listener = make<PostPageTestListener>();
    page->downloadPage(NS("http://boston.bazaarnest.test/"), listener);
    ASSERT_TRUE(runLoopUntil([&] { return listener->finished + listener->failed > 0; }));
    ASSERT_EQ(listener->finished, 1);
    EXPECT_EQ(text(page->getPostUrl()), "https://post.bazaarnest.test/c/boston");
    page->downloadPageSync(page->getPostUrl());

    EXPECT_EQ(page->getPostPageType(), kPostPageChooseType);
    auto types = page->getSectionList();
    ASSERT_EQ(types->count(), 11u);
    std::vector<std::string> names;
    for (NSUInteger i = 0; i < types->count(); ++i) {
        auto s = as<PostSection>(types->objectAtIndex(i));
        names.push_back(text(s->name()));
        EXPECT_EQ(text(s->key()), "id");
    }
    EXPECT_EQ(names[0], "Job Offered");
    EXPECT_EQ(names[2], "Resume / Job Wanted");
    EXPECT_EQ(names[5], "For Sale");
    EXPECT_EQ(names[6], "Items Wanted & Barter");  // " items wanted &amp; barter " on the page
    EXPECT_EQ(text(as<PostSection>(types->objectAtIndex(5))->value()), "fso");

    auto signature = page->getSignatureValueAndKey();
    ASSERT_EQ(signature->count(), 2u);
    EXPECT_GE(as<NSString>(signature->objectAtIndex(0))->length(), 20u);
    EXPECT_GT(as<NSString>(signature->objectAtIndex(1))->length(), 0u);
    EXPECT_EQ(text(page->getActionUrl()).rfind("https://post.bazaarnest.test/k/", 0), 0u);
    EXPECT_EQ(text(page->getSubmitKey()), "go");
}

TEST_F(PostPages, WithAnAccountEveryStepToThePublishedListing) {
    logIn("tester@example.test");
    auto categories = choose(startPosting(), "For Sale");
    ASSERT_EQ(categories->getPostPageType(), kPostPageChooseCategory);
    auto areas = choose(categories, "Bikes");
    ASSERT_EQ(areas->getPostPageType(), kPostPageChooseArea);
    auto list = areas->getSuburbList();
    ASSERT_GE(list->count(), 3u);
    auto bypass = as<PostSection>(list->objectAtIndex(0));
    auto again = as<PostSection>(list->objectAtIndex(1));
    EXPECT_EQ(text(bypass->name()), "Bypass this step");
    EXPECT_EQ(text(again->name()), "");  // the same radio once more, in page order
    EXPECT_EQ(text(again->value()), text(bypass->value()));
    auto places = choose(areas, "Boston/");
    ASSERT_EQ(places->getPostPageType(), kPostPageChooseLocation);
    auto form = choose(places, "Cambridge");
    ASSERT_EQ(form->getPostPageType(), kPostPageCompose);
    EXPECT_EQ(text(form->getTextAreaKey()), "PostingBody");  // its tag runs over lines
    EXPECT_FALSE(form->getInputValue(NS("ConfirmEMail")));

    auto reply = make<PostPage>();
    submitCompose(form, reply, "Blue road bike", "tester@example.test");
    ASSERT_EQ(reply->getPostPageType(), kPostPagePhotos);
    photoStep(reply, true);
    ASSERT_EQ(reply->getPostPageType(), kPostPagePhotos);
    EXPECT_NE(text(reply->getReply()).find("/u/"), std::string::npos);  // the uploaded photo
    photoStep(reply, false);
    ASSERT_EQ(reply->getPostPageType(), kPostPageReview);
    EXPECT_EQ(text(reply->getConfirmInputs()->objectForKey(NS("a"))), "publish");
    confirm(reply, NS("Continue"));
    ASSERT_EQ(reply->getPostPageType(), kPostPageTerms);
    confirm(reply, NS("ACCEPT the terms of use"));
    auto done = text(reply->getReply());
    EXPECT_NE(done.find("Your posting can be seen"), std::string::npos) << done;
    EXPECT_EQ(reply->getPostPageType(), kPostPageUnknown);
}

TEST_F(PostPages, WithoutAnAccountTheCaptchaFinalisesThePost) {
    auto areas = choose(choose(startPosting(), "For Sale"), "Furniture");
    auto form = choose(areas, "Bypass this step");
    ASSERT_EQ(form->getPostPageType(), kPostPageCompose);
    ASSERT_TRUE(form->getInputValue(NS("ConfirmEMail")));  // empty, over two lines
    auto reply = make<PostPage>();
    submitCompose(form, reply, "Oak table", "seller@example.test", "Solid oak.");
    photoStep(reply, false);
    confirm(reply, NS("Continue"));
    confirm(reply, NS("ACCEPT the terms of use"));
    ASSERT_EQ(reply->getPostPageType(), kPostPageCaptcha);
    auto frame = reply->getVerificationUrl();
    ASSERT_TRUE(frame);

    confirm(reply, NS("Continue"), NS("guess"));
    EXPECT_EQ(reply->getPostPageType(), kPostPageCaptcha);
    auto code = solveCaptcha(frame);
    ASSERT_TRUE(code);
    confirm(reply, NS("Continue"), code);
    EXPECT_NE(text(reply->getReply()).find("You should receive an email shortly"),
              std::string::npos);
    auto mails = sitetest::site().sentMails();
    ASSERT_FALSE(mails.empty());
    EXPECT_EQ(mails.back().to, "seller@example.test");
}

TEST_F(PostPages, TheOtherStepsClassify) {
    auto community = choose(startPosting(), "Community");
    EXPECT_EQ(community->getPostPageType(), kPostPageChooseCategory);  // "These 4 categories work"
    EXPECT_EQ(community->getCatagoryList()->count(), 4u);
    auto vehicle = choose(choose(startPosting(), "For Sale"), "Cars & Trucks");
    EXPECT_EQ(vehicle->getPostPageType(), kPostPageChooseCategory);  // "Which of these ..."
    EXPECT_EQ(choose(choose(startPosting(), "Service Offered"), "Lessons")->getPostPageType(),
              kPostPagePhoneVerification);

    // A city without areas goes straight to the form; wanted items have no price field.
    auto form = choose(startPosting("http://tucson.bazaarnest.test/"), "Items Wanted");
    ASSERT_EQ(form->getPostPageType(), kPostPageCompose);
    EXPECT_FALSE(form->getInputKeyByToken(NS("size=\"4\"")));
    EXPECT_FALSE(form->getInputKeyByToken(NS("size=\"3\"")));
    auto reply = make<PostPage>();
    submitCompose(form, reply, "", "a@example.test");
    EXPECT_EQ(reply->getPostPageType(), kPostPageCompose);  // the form again, with its errors
    submitCompose(form, reply, "Wanted: piano", "a@example.test", "Mail a@example.test");
    EXPECT_EQ(reply->getPostPageType(), kPostPageEmailInBody);
}

TEST_F(PostPages, TheSiteRefusesFormsWithoutSignatureOrWithStrangeFields) {
    auto types = startPosting();
    auto action = types->getActionUrl();
    auto choice = sectionNamed(types, "For Sale");
    auto values = NSMutableDictionary::dictionaryWithCapacity(10);
    values->setObject(choice->value(), choice->key());
    values->setObject(NS("Continue"), NS("go"));
    auto refused = make<PostPage>();
    refused->postData(values, 1, nullptr, action);  // no signature
    EXPECT_EQ(refused->request()->responseStatusCode(), 400);
    EXPECT_EQ(refused->getPostPageType(), kPostPageUnknown);
    EXPECT_EQ(refused->getSectionList()->count(), 0u);

    // The error page has no signature: the pair is left out, nothing is read past it.
    EXPECT_EQ(refused->getSignatureValueAndKey()->count(), 0u);
    auto pairs = NSMutableArray::arrayWithCapacity(4);
    EXPECT_FALSE(refused->addSignatureToPairs(pairs));
    EXPECT_FALSE(refused->addSignatureToValues(values));
    EXPECT_EQ(pairs->count(), 0u);
    EXPECT_EQ(values->count(), 2u);

    types->addSignatureToValues(values);
    values->setObject(NS("1"), NS("extra"));
    refused->postData(values, 1, nullptr, action);
    EXPECT_EQ(refused->request()->responseStatusCode(), 400);
    EXPECT_NE(text(refused->getPage()).find("Unexpected form field extra."), std::string::npos);
}

TEST_F(PostPages, ServerFaultsAndLostConnectionsGiveNoSteps) {
    bnsite::Fault unavailable;
    unavailable.host = "post.bazaarnest.test";
    unavailable.path = "/c/";
    unavailable.status = 503;
    sitetest::site().addFault(unavailable);
    auto page = startPosting();
    EXPECT_EQ(page->request()->responseStatusCode(), 503);
    EXPECT_EQ(page->getPostPageType(), kPostPageUnknown);
    EXPECT_EQ(page->getSectionList()->count(), 0u);
    EXPECT_EQ(page->getSignatureValueAndKey()->count(), 0u);

    sitetest::site().clearFaults();
    bnsite::Fault drop;
    drop.host = "post.bazaarnest.test";
    drop.delivery = bnsite::Fault::Delivery::Drop;
    sitetest::site().addFault(drop);
    auto listener = make<PostPageTestListener>();
    page->downloadPage(NS("https://post.bazaarnest.test/c/boston"), listener);
    ASSERT_TRUE(runLoopUntil([&] { return listener->finished + listener->failed > 0; }, 30));
    EXPECT_EQ(listener->failed, 1);
    EXPECT_FALSE(page->getPage());
    EXPECT_EQ(page->getPostPageType(), kPostPageChooseType);  // no text reads as the first step
    EXPECT_EQ(page->getSectionList()->count(), 0u);
}

TEST_F(PostPages, ReadersOnPagesBuiltByHand) {
    auto empty = make<PostPage>();
    EXPECT_EQ(empty->getPostPageType(), kPostPageChooseType);
    EXPECT_EQ(empty->getSectionList()->count(), 0u);
    EXPECT_FALSE(empty->getActionUrl());
    EXPECT_EQ(empty->getConfirmInputs()->count(), 0u);

    EXPECT_EQ(text(pageWithText("<form action=\"/k/abc\">")->getActionUrl()),
              "https://post.bazaarnest.test/k/abc");
    EXPECT_EQ(text(pageWithText("<form action=\"go?u=http://x.test/\">")->getActionUrl()),
              "go?u=http://x.test/");
    // A 19-character hidden name is no signature; 20 is.
    EXPECT_EQ(pageWithText("<input type=\"hidden\" name=\"abcdefghijklmnopqrs\" value=\"v\">")
                  ->getSignatureValueAndKey()
                  ->count(),
              0u);
    auto sig = pageWithText("<input type=\"hidden\"\r\n name=\"abcdefghijklmnopqrst\" value=\"v\">")
                   ->getSignatureValueAndKey();
    ASSERT_EQ(sig->count(), 2u);
    EXPECT_EQ(text(sig->objectAtIndex(1)), "v");

    // A confirm page's first form only, a later input of a name replacing an earlier one.
    auto inputs = pageWithText(
                      "<input name=\"outside\" value=\"1\"><form><input name=\"a\" value=\"1\">"
                      "<input type=\"hidden\" name=\"a\" value=\"2\"></form>"
                      "<form><input name=\"b\" value=\"3\"></form>")
                      ->getConfirmInputs();
    EXPECT_EQ(inputs->count(), 1u);
    EXPECT_EQ(text(inputs->objectForKey(NS("a"))), "2");

    // The order of the phrases decides: a photo page with compose text is the photo page, a
    // review page that mentions phone verification asks for it.
    EXPECT_EQ(pageWithText("Posting Description: images to be displayed with this posting")
                  ->getPostPageType(),
              kPostPagePhotos);
    EXPECT_EQ(pageWithText("Please review and confirm. Phone verified: no")->getPostPageType(),
              kPostPagePhoneVerification);
    auto label =
        pageWithText("<input type=\"radio\" name=\"id\" value=\"x\">  tools &amp; hARDware\n<");
    ASSERT_EQ(label->getSectionList()->count(), 1u);
    EXPECT_EQ(text(as<PostSection>(label->getSectionList()->objectAtIndex(0))->name()),
              "Tools & Hardware");
}
