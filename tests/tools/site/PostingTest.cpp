// The posting host walked the way the posting screens walk it: the home page's posting link, the
// posting types, categories, areas, the compose form, photos, review, terms, captcha and the
// final pages, each told apart by the posting page classifier and read through its scrapers.
#include <algorithm>
#include <set>
#include <thread>

#include "SiteTesting.h"
#include "support/HostileClients.h"
#include "support/StandInTesting.h"

using namespace sitetest;

namespace {

// The posting start screen: the city page's posting link, then the posting types.
Page startPosting(const std::string& city = "http://boston.bazaarnest.test/") {
    auto link = readPage(get(city).text, &PostPage::getPostUrl);
    EXPECT_TRUE(link);
    return get(link.value_or(""));
}

// The rows the start screen shows: six types left out, "For Sale" first.
std::vector<Section> shownTypes(const std::string& page) {
    std::vector<Section> shown;
    for (const auto& s : sectionList(page)) {
        static const std::set<std::string> hidden = {"Job Offered",        "Gig Offered",
                                                     "Personal / Romance", "Housing Offered",
                                                     "Housing Wanted",     "Event"};
        if (hidden.count(s.name)) continue;
        if (s.name == "For Sale")
            shown.insert(shown.begin(), s);
        else
            shown.push_back(s);
    }
    return shown;
}

// Posting one choice of a step, URL-encoded, to the page's action, as the step screens do.
Page choose(const std::string& page, const Section& choice) {
    auto sig = signature(page);
    EXPECT_EQ(sig.size(), 2u);
    Pairs pairs = {{choice.key, choice.value}};
    if (sig.size() == 2) pairs.push_back({sig[0], sig[1]});
    pairs.push_back({"go", "Continue"});
    return post(postActionUrl(page).value_or(""), pairs, 1);
}

// The choice of that name, or the first that begins with it.
Page chooseNamed(const std::string& page, const std::string& name) {
    auto list = sectionList(page);
    for (const auto& s : list) {
        if (s.name == name) return choose(page, s);
    }
    for (const auto& s : list) {
        if (s.name.rfind(name, 0) == 0) return choose(page, s);
    }
    ADD_FAILURE() << "no choice named " << name;
    return {};
}

struct Compose {
    std::string title = "Blue road bike", price = "250", location = "cambridge";
    std::string email, description = "Ridden twice.\nComes with a lock.";
    bool hidden = false;
};

// The compose screen's post: the form's fields found by their tokens, in the screen's order.
Page submitCompose(const std::string& form, const Compose& c, const std::string& storedUsername) {
    Pairs pairs;
    if (auto k = inputKeyByToken(form, "size=\"30\"")) pairs.push_back({*k, c.title});
    auto price = inputKeyByToken(form, "size=\"4\"");
    if (!price) price = inputKeyByToken(form, "size=\"3\"");
    if (price) pairs.push_back({*price, c.price});
    if (auto k = inputKeyByToken(form, "size=\"20\"")) pairs.push_back({*k, c.location});
    if (inputValue(form, "ConfirmEMail")) {
        pairs.push_back({"FromEMail", c.email});
        pairs.push_back({"ConfirmEMail", c.email});
    } else {
        pairs.push_back({"FromEMail", storedUsername});
    }
    pairs.push_back({inputKeyByToken(form, "checked").value_or("?"), c.hidden ? "A" : "C"});
    pairs.push_back({readPage(form, &PostPage::getTextAreaKey).value_or("?"), c.description});
    pairs.push_back({readPage(form, &PostPage::getSubmitKey).value_or("?"), "Continue"});
    auto sig = signature(form);
    if (sig.size() == 2) pairs.push_back({sig[0], sig[1]});
    return post(postActionUrl(form).value_or(""), pairs, 0);
}

Page uploadPhoto(const std::string& photoPage, const std::string& jpeg) {
    auto sig = signature(photoPage);
    Pairs pairs = {{sig.at(0), sig.at(1)},
                   {inputKeyByToken(photoPage, "add").value_or("?"), "add"},
                   {"file", FormValue::file(jpeg)},
                   {readPage(photoPage, &PostPage::getSubmitKey).value_or("?"), "add image"}};
    return post(postActionUrl(photoPage).value_or(""), pairs, 0);
}

Page finishPhotos(const std::string& photoPage) {
    auto sig = signature(photoPage);
    Pairs pairs = {
        {sig.at(0), sig.at(1)},
        {inputKeyByToken(photoPage, "fin").value_or("?"), "fin"},
        {readPage(photoPage, &PostPage::getSubmitKey).value_or("?"), "Done with Images"}};
    return post(postActionUrl(photoPage).value_or(""), pairs, 0);
}

// The confirm, terms and captcha posts: the first form's inputs with a few set.
Page postConfirm(const std::string& page, std::map<std::string, std::string> set) {
    auto inputs = confirmInputs(page);
    std::string submit = readPage(page, &PostPage::getSubmitKey).value_or("?");
    for (auto& [k, v] : set)
        inputs[k == "<submit>" ? submit : k] = v;
    auto sig = signature(page);
    if (sig.size() == 2) inputs[sig[0]] = sig[1];
    Pairs pairs(inputs.begin(), inputs.end());
    return post(postActionUrl(page).value_or(""), pairs, 0);
}

void logIn(const std::string& email) {
    get("https://accounts.bazaarnest.test");
    Page reply = post("https://accounts.bazaarnest.test/login",
                      {{"step", "confirmation"},
                       {"originalURI", "/"},
                       {"rt", ""},
                       {"rp", ""},
                       {"inputEmailHandle", email},
                       {"inputPassword", "secret"}},
                      1);
    ASSERT_NE(reply.text.find("home of " + email), std::string::npos);
}

class Posting : public ::testing::Test {
protected:
    void SetUp() override {
        site().reset();
        clearCookies();
    }
    // Postings and logins would change what other tests see.
    void TearDown() override {
        clearCookies();
        site().reset();
    }
};

}  // namespace

TEST_F(Posting, TheTypeStepListsChoicesWithASignature) {
    Page types = startPosting();
    EXPECT_EQ(postPageType(types.text), 1);
    auto shown = shownTypes(types.text);
    ASSERT_GE(shown.size(), 4u);
    EXPECT_EQ(shown[0].name, "For Sale");
    std::set<std::string> names;
    for (const auto& s : shown)
        names.insert(s.name);
    EXPECT_TRUE(names.count("Items Wanted & Barter"));  // decoded, capitalised, trimmed
    EXPECT_TRUE(names.count("Service Offered"));
    EXPECT_FALSE(names.count("Event"));
    auto sig = signature(types.text);
    ASSERT_EQ(sig.size(), 2u);
    EXPECT_GE(sig[0].size(), 20u);
    // No other hidden field on any page could pass for the signature.
    for (const auto& name : walk(types.text, "<input type=\"hidden\" name=\"([^\"]*)\"", 1))
        EXPECT_TRUE(name[0] == sig[0] || name[0].size() < 20) << name[0];
    EXPECT_EQ(postActionUrl(types.text)->rfind("https://post.bazaarnest.test/k/", 0), 0u);
    EXPECT_FALSE(readPage(types.text, &PostPage::getPostUrl));  // no loop
}

TEST_F(Posting, WithAnAccountFromTypeToPublishedListing) {
    logIn("tester@example.test");
    Page category = chooseNamed(startPosting().text, "For Sale");
    ASSERT_EQ(postPageType(category.text), 2);
    Page area = chooseNamed(category.text, "Bikes");
    ASSERT_EQ(postPageType(area.text), 3);
    auto areas = sectionList(area.text);
    ASSERT_GE(areas.size(), 3u);
    EXPECT_EQ(areas[0].name, "Bypass this step");
    EXPECT_EQ(areas[1].name, "");  // the same radio, in page order
    EXPECT_EQ(areas[0].value, areas[1].value);
    Page place = chooseNamed(area.text, "Boston/");
    ASSERT_EQ(postPageType(place.text), 4);
    Page form = chooseNamed(place.text, "Cambridge");
    ASSERT_EQ(postPageType(form.text), 5);
    EXPECT_FALSE(inputValue(form.text, "ConfirmEMail"));  // logged in: the account's address

    Page photos = submitCompose(form.text, Compose{}, "tester@example.test");
    ASSERT_EQ(postPageType(photos.text), 11);
    std::string jpeg = jpegBytes();
    photos = uploadPhoto(photos.text, jpeg);
    ASSERT_EQ(postPageType(photos.text), 11);
    photos = uploadPhoto(photos.text, jpeg);
    // Each upload's pixel size is kept, in order.
    int width = 0, height = 0;
    ASSERT_TRUE(decodesAsJpeg(jpeg, &width, &height));
    auto uploaded = site().uploadedPhotos();
    ASSERT_EQ(uploaded.size(), 2u);
    EXPECT_EQ(uploaded[0].width, width);
    EXPECT_EQ(uploaded[1].height, height);
    EXPECT_EQ(uploaded[1].key.substr(uploaded[1].key.size() - 2), "_2");
    Page review = finishPhotos(photos.text);
    ASSERT_EQ(postPageType(review.text), 8);
    Page terms = postConfirm(review.text, {{"<submit>", "Continue"}});
    ASSERT_EQ(postPageType(terms.text), 9);
    Page done = postConfirm(terms.text, {{"<submit>", "ACCEPT the terms of use"}});
    ASSERT_NE(done.text.find("Your posting can be seen"), std::string::npos) << done.text;

    auto url = match(done.text, "Your posting can be seen at <a href=\"([^\"]*)\"");
    ASSERT_TRUE(url);
    ItemDetails item = scrapeItem(get(*url).text, *url);
    EXPECT_NE(item.detail.find("Ridden twice.<br>"), std::string::npos);
    ASSERT_EQ(item.images.size(), 2u);
    EXPECT_EQ(get(item.images[1]).bytes, jpeg);
    // Newest first in its category and sub-area.
    auto rows = scrapeRows(get("http://boston.bazaarnest.test/gbs/bik/").text);
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0].title, "Blue road bike");
    EXPECT_EQ(rows[0].price, "$250");
    // A second posting by the same account skips the terms.
    Page again = chooseNamed(startPosting().text, "Items Wanted & Barter");
    ASSERT_EQ(postPageType(again.text), 3);
    Page form2 = choose(again.text, sectionList(again.text)[0]);  // bypass
    ASSERT_EQ(postPageType(form2.text), 5);
    EXPECT_FALSE(inputKeyByToken(form2.text, "size=\"4\""));  // no price for wanted items
    Page review2 = finishPhotos(submitCompose(form2.text, Compose{}, "tester").text);
    Page done2 = postConfirm(review2.text, {{"<submit>", "Continue"}});
    EXPECT_NE(done2.text.find("Your posting can be seen"), std::string::npos);
}

TEST_F(Posting, WithoutAnAccountTheCaptchaAndTheMailPublish) {
    Page category = chooseNamed(startPosting().text, "For Sale");
    Page area = chooseNamed(category.text, "Furniture");
    Page form = choose(area.text, sectionList(area.text)[0]);  // bypass the area
    ASSERT_EQ(postPageType(form.text), 5);
    ASSERT_EQ(inputValue(form.text, "ConfirmEMail"), "");
    Compose c;
    c.title = "Oak table & 4 chairs";
    c.email = "seller@example.test";
    Page photos = submitCompose(form.text, c, "");
    ASSERT_EQ(postPageType(photos.text), 11);
    Page review = finishPhotos(photos.text);  // no photos at all
    Page terms = postConfirm(review.text, {{"<submit>", "Continue"}});
    ASSERT_EQ(postPageType(terms.text), 9);
    Page captcha = postConfirm(terms.text, {{"<submit>", "ACCEPT the terms of use"}});
    ASSERT_EQ(postPageType(captcha.text), 6);
    auto frame = iframeUrl(captcha.text);
    ASSERT_TRUE(frame);
    Page wrong = postConfirm(captcha.text,
                             {{"recaptcha_challenge_field", "guess"}, {"<submit>", "Continue"}});
    EXPECT_EQ(postPageType(wrong.text), 6);
    auto code = solveCaptcha(*frame);
    ASSERT_TRUE(code);
    Page mailed =
        postConfirm(captcha.text, {{"recaptcha_challenge_field", *code}, {"<submit>", "Continue"}});
    EXPECT_NE(mailed.text.find("You should receive an email shortly"), std::string::npos);
    EXPECT_EQ(mailed.text.find("Your posting can be seen"), std::string::npos);

    auto mails = site().sentMails();
    ASSERT_FALSE(mails.empty());
    EXPECT_EQ(mails.back().to, "seller@example.test");
    Page published = get(mails.back().link);
    ASSERT_NE(published.text.find("Your posting can be seen"), std::string::npos);
    EXPECT_EQ(scrapeRows(get("http://boston.bazaarnest.test/fua/").text).at(0).title,
              "Oak table & 4 chairs");
    EXPECT_EQ(get(mails.back().link).status, 404);  // a link publishes once
}

TEST_F(Posting, FormsAreCheckedLikeARealServer) {
    Page types = startPosting();
    std::string action = postActionUrl(types.text).value_or("");
    auto sig = signature(types.text);
    Page unsigned_ = post(action, {{"id", "fso"}, {"go", "Continue"}}, 1);
    EXPECT_EQ(unsigned_.status, 400);
    EXPECT_EQ(postPageType(unsigned_.text), 12);
    Page forged =
        post(action, {{"id", "fso"}, {sig[0], "0000000000000000"}, {"go", "Continue"}}, 1);
    EXPECT_EQ(forged.status, 403);
    Page extra = post(action, {{"id", "fso"}, {sig[0], sig[1]}, {"go", "Continue"}, {"x", "1"}}, 1);
    EXPECT_EQ(extra.status, 400);
    EXPECT_EQ(post(action, {{"id", "nope"}, {sig[0], sig[1]}, {"go", "Continue"}}, 1).status, 400);

    Page form = choose(chooseNamed(chooseNamed(types.text, "For Sale").text, "Tools").text,
                       Section{"", "n", "0"});
    ASSERT_EQ(postPageType(form.text), 5);
    Compose noTitle;
    noTitle.title = "";
    noTitle.email = "a@example.test";
    EXPECT_EQ(postPageType(submitCompose(form.text, noTitle, "").text), 5);  // "fill in all fields"
    Compose leaky;
    leaky.email = "a@example.test";
    leaky.description = "Write to a@example.test please";
    EXPECT_EQ(postPageType(submitCompose(form.text, leaky, "").text), 10);
    // A description of more than 20,000 characters is refused, kept to its first 20,000.
    Compose tooLong;
    tooLong.email = "a@example.test";
    tooLong.description = std::string(20001, 'x');
    Page refused = submitCompose(form.text, tooLong, "");
    EXPECT_EQ(postPageType(refused.text), 5);
    EXPECT_NE(refused.text.find("at most 20000 characters"), std::string::npos);
    EXPECT_NE(refused.text.find(">" + std::string(20000, 'x') + "</textarea>"), std::string::npos);
    tooLong.description.pop_back();
    EXPECT_EQ(postPageType(submitCompose(form.text, tooLong, "").text), 11);
    // So are a title, a place and a price longer than the form's maxlengths, and an address
    // longer than mail can carry, each kept to its longest; a title of 8 MB among them.
    struct Field {
        std::string Compose::*field;
        std::size_t most;
        std::string error;
        char fill;
    };
    for (const Field& f : {Field{&Compose::title, 70, "Posting title is too long", 'T'},
                           Field{&Compose::location, 40, "Specific location is too long", 'L'},
                           Field{&Compose::price, 11, "Price is too long", '9'}}) {
        for (std::size_t length : {f.most + 1, std::size_t{8} << 20}) {
            Compose c;
            c.email = "a@example.test";
            c.*f.field = std::string(length, f.fill);
            Page refused = submitCompose(form.text, c, "");
            EXPECT_EQ(postPageType(refused.text), 5) << f.error;
            EXPECT_NE(refused.text.find(f.error + ": it may have at most " +
                                        std::to_string(f.most) + " characters."),
                      std::string::npos);
            EXPECT_NE(refused.text.find("value=\"" + std::string(f.most, f.fill) + "\""),
                      std::string::npos);
            EXPECT_LT(refused.text.size(), 10000u) << f.error;
        }
        Compose longest;
        longest.email = "a@example.test";
        longest.*f.field = std::string(f.most, f.fill);
        EXPECT_EQ(postPageType(submitCompose(form.text, longest, "").text), 11) << f.error;
    }
    Compose longAddress;
    longAddress.email = std::string(250, 'a') + "@example.test";
    Page badAddress = submitCompose(form.text, longAddress, "");
    EXPECT_EQ(postPageType(badAddress.text), 5);
    EXPECT_NE(
        badAddress.text.find("Email address is too long: it may have at most 254 characters."),
        std::string::npos);
    EXPECT_EQ(badAddress.text.find("do not match"), std::string::npos);
    longAddress.email = std::string(241, 'a') + "@example.test";
    EXPECT_EQ(postPageType(submitCompose(form.text, longAddress, "").text), 11);
    // The compose form's own signature still works after a correction.
    Compose fine;
    fine.email = "a@example.test";
    EXPECT_EQ(postPageType(submitCompose(form.text, fine, "").text), 11);
}

TEST_F(Posting, ALongBoundaryIsRefusedAtOnceAndOtherPostingsGoOnMeanwhile) {
    Page mine = startPosting();
    Page other = startPosting();
    auto sig = signature(mine.text);
    ASSERT_EQ(sig.size(), 2u);
    const std::string host = "https://post.bazaarnest.test";
    std::string action = postActionUrl(mine.text).value_or("");
    ASSERT_EQ(action.rfind(host, 0), 0u) << action;

    // A whole, signed form choosing "For Sale", under a boundary of 60,000 characters and after
    // runs that almost make its delimiter: a parse that compares the whole boundary at every
    // place of those runs spends seconds on them.
    const std::string boundary(60000, '-');
    std::string body;
    for (int i = 0; i < 30; ++i)
        body += std::string(boundary.size() + 1, '-') + "x";
    for (const auto& [name, value] : std::vector<std::pair<std::string, std::string>>{
             {"id", "fso"}, {sig[0], sig[1]}, {"go", "Continue"}})
        body += "--" + boundary + "\r\nContent-Disposition: form-data; name=\"" + name +
                "\"\r\n\r\n" + value + "\r\n";
    body += "--" + boundary + "--\r\n";
    const std::string request =
        "POST " + action.substr(host.size()) +
        " HTTP/1.1\r\nHost: post.bazaarnest.test\r\nContent-Type: multipart/form-data; boundary=" +
        boundary + "\r\nContent-Length: " + std::to_string(body.size()) +
        "\r\nConnection: close\r\n\r\n" + body;
    std::string refused;
    std::thread poster([&] {
        refused = standintest::tlsExchange(site().port(), "post.bazaarnest.test", request);
    });
    // Another posting's page, while that one is answered.
    Page page = get(postActionUrl(other.text).value_or(""));
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(postPageType(page.text), 1);
    poster.join();
    EXPECT_EQ(standintest::rawStatus(refused), "400") << refused.substr(0, 300);
    EXPECT_NE(refused.find("The form could not be read."), std::string::npos);
    // The posting goes on with a boundary of the usual length.
    EXPECT_EQ(postPageType(chooseNamed(mine.text, "For Sale").text), 2);
}

namespace {
// A posting without an account up to its photo page, with one photo added: that page.
Page postingWithAPhoto() {
    Page form = choose(chooseNamed(chooseNamed(startPosting().text, "For Sale").text, "Tools").text,
                       Section{"", "n", "0"});
    Compose c;
    c.email = "a@example.test";
    Page photos = submitCompose(form.text, c, "");
    EXPECT_EQ(postPageType(photos.text), 11);
    return uploadPhoto(photos.text, jpegBytes());
}

// A new posting session started straight through the site (no sockets), as many clients would.
void startSessionDirectly() {
    ASSERT_EQ(handled("https://post.bazaarnest.test/c/boston").status, 200);
}
}  // namespace

TEST_F(Posting, AtTheCapTheSessionsIdleLongestGoWithTheirPhotos) {
    Page first = postingWithAPhoto();
    Page second = postingWithAPhoto();
    ASSERT_EQ(site().uploadedPhotos().size(), 2u);
    std::string secondKey = site().uploadedPhotos()[1].key;
    for (int i = 0; i < 1998; ++i)
        startSessionDirectly();
    // The first poster goes on while the second has left; then comes the 2,001st session.
    first = uploadPhoto(first.text, jpegBytes());
    ASSERT_EQ(postPageType(first.text), 11);
    startSessionDirectly();
    // The first posting goes on; the second, idle longest, has gone with its photo.
    EXPECT_EQ(postPageType(finishPhotos(first.text).text), 8);
    Page ended = uploadPhoto(second.text, jpegBytes());
    EXPECT_EQ(ended.status, 404);
    EXPECT_NE(ended.text.find("This posting session has ended"), std::string::npos);
    auto kept = site().uploadedPhotos();
    EXPECT_EQ(kept.size(), 2u);
    for (const auto& photo : kept)
        EXPECT_NE(photo.key, secondKey);
    EXPECT_EQ(get("http://images.bazaarnest.test/u/" + secondKey + ".jpg").status, 404);
}

TEST_F(Posting, PhotosOfPostingsNotMadeAreKeptWithinASizeTheSessionsIdleLongestGoFirst) {
    // Photos of 10 MB, the JPEG's own bytes first.
    std::string large = jpegBytes();
    large.resize(10u << 20, '\0');
    Page first = postingWithAPhoto();
    for (int i = 0; i < 2; ++i)
        first = uploadPhoto(first.text, large);
    Page second = postingWithAPhoto();
    for (int i = 0; i < 3; ++i)
        second = uploadPhoto(second.text, large);
    Page third = postingWithAPhoto();
    third = uploadPhoto(third.text, large);
    ASSERT_EQ(site().uploadedPhotos().size(), 9u);
    std::string firstKey = site().uploadedPhotos().at(0).key;
    // Past 64 MB: the first posting, idle longest, goes with its three photos.
    third = uploadPhoto(third.text, large);
    ASSERT_EQ(postPageType(third.text), 11);
    auto kept = site().uploadedPhotos();
    EXPECT_EQ(kept.size(), 7u);
    for (const auto& photo : kept)
        EXPECT_NE(photo.key.substr(0, photo.key.find('_')), firstKey.substr(0, firstKey.find('_')));
    EXPECT_EQ(uploadPhoto(first.text, jpegBytes()).status, 404);
    EXPECT_EQ(postPageType(finishPhotos(second.text).text), 8);
    EXPECT_EQ(postPageType(finishPhotos(third.text).text), 8);
}

TEST_F(Posting, APhotoOverTheLimitIsRefusedOnThePhotoStepAndNothingElseIsLost) {
    Page photos = postingWithAPhoto();
    ASSERT_EQ(site().uploadedPhotos().size(), 1u);
    std::string largest = jpegBytes();
    largest.resize(10u << 20, '\0');
    std::string over = largest + '\0';
    Page refused = uploadPhoto(photos.text, over);
    EXPECT_EQ(refused.status, 200);
    EXPECT_EQ(postPageType(refused.text), 11);
    EXPECT_NE(refused.text.find("That image is too large: an image may be at most 10 MB."),
              std::string::npos);
    EXPECT_EQ(site().uploadedPhotos().size(), 1u);
    EXPECT_EQ(site().storeSizes().photoBytes, jpegBytes().size());
    // The page goes on: the photo already added, one of the largest size, and the review.
    Page added = uploadPhoto(refused.text, largest);
    EXPECT_EQ(postPageType(added.text), 11);
    EXPECT_EQ(added.text.find("too large"), std::string::npos);
    EXPECT_EQ(site().uploadedPhotos().size(), 2u);
    Page review = finishPhotos(added.text);
    ASSERT_EQ(postPageType(review.text), 8);
    EXPECT_EQ(walk(review.text, "<img src=\"([^\"]*)\"", 1).size(), 2u);
}

namespace {
// A posting by the logged-in account, published with `count` photos of `bytes`: its page's
// address.
std::string publishedWithPhotos(int count, const std::string& bytes) {
    Page form = choose(chooseNamed(chooseNamed(startPosting().text, "For Sale").text, "Tools").text,
                       Section{"", "n", "0"});
    Page photos = submitCompose(form.text, Compose{}, "tester@example.test");
    for (int i = 0; i < count; ++i) {
        photos = uploadPhoto(photos.text, bytes);
        EXPECT_EQ(photos.text.find("class=\"error\""), std::string::npos);
    }
    Page next = postConfirm(finishPhotos(photos.text).text, {{"<submit>", "Continue"}});
    if (postPageType(next.text) == 9)
        next = postConfirm(next.text, {{"<submit>", "ACCEPT the terms of use"}});
    return match(next.text, "Your posting can be seen at <a href=\"([^\"]*)\"").value_or("");
}
}  // namespace

TEST_F(Posting, AllPhotosKeptStayWithinASizeANewOneIsRefusedAtTheBound) {
    logIn("tester@example.test");
    std::string large = jpegBytes();
    large.resize(10u << 20, '\0');
    // Three postings of four photos of 10 MB: 120 MB of the 128 MB all photos may take.
    std::vector<std::string> published;
    for (int i = 0; i < 3; ++i)
        published.push_back(publishedWithPhotos(4, large));
    for (const auto& url : published)
        ASSERT_FALSE(url.empty());
    EXPECT_EQ(site().storeSizes().photoBytes, 120u << 20);
    // The next photo would pass the bound: refused, with the posting going on without it.
    Page form = choose(chooseNamed(chooseNamed(startPosting().text, "For Sale").text, "Tools").text,
                       Section{"", "n", "0"});
    Page photos = submitCompose(form.text, Compose{}, "tester@example.test");
    Page refused = uploadPhoto(photos.text, large);
    EXPECT_EQ(postPageType(refused.text), 11);
    EXPECT_NE(refused.text.find("The site has no room for more images now"), std::string::npos);
    EXPECT_EQ(site().uploadedPhotos().size(), 12u);
    EXPECT_EQ(site().storeSizes().photoBytes, 120u << 20);
    // A smaller one still fits; the postings already made keep all their photos.
    std::string small = jpegBytes();
    EXPECT_EQ(uploadPhoto(refused.text, small).text.find("class=\"error\""), std::string::npos);
    ItemDetails first = scrapeItem(get(published[0]).text, published[0]);
    ASSERT_EQ(first.images.size(), 4u);
    EXPECT_EQ(get(first.images[0]).bytes, large);
    // A reset empties them.
    site().reset();
    EXPECT_EQ(site().storeSizes().photoBytes, 0u);
}

namespace {
// A posting made without an account, up to the mail: the link the mail carries.
std::string mailedWithoutAnAccount(const Compose& c) {
    Page form = choose(chooseNamed(chooseNamed(startPosting().text, "For Sale").text, "Tools").text,
                       Section{"", "n", "0"});
    Page review = finishPhotos(submitCompose(form.text, c, "").text);
    Page terms = postConfirm(review.text, {{"<submit>", "Continue"}});
    Page captcha = postConfirm(terms.text, {{"<submit>", "ACCEPT the terms of use"}});
    auto code = solveCaptcha(iframeUrl(captcha.text).value_or(""));
    Page mailed = postConfirm(
        captcha.text, {{"recaptcha_challenge_field", code.value_or("")}, {"<submit>", "Continue"}});
    EXPECT_NE(mailed.text.find("You should receive an email shortly"), std::string::npos);
    auto mails = site().sentMails();
    return mails.empty() ? "" : mails.back().link;
}
}  // namespace

TEST_F(Posting, PostingsAndTheirMailsAreKeptWithinBoundsTheOldestGoing) {
    site().setPostingBounds({.count = 2, .bytes = 32u << 20});
    // Published: the oldest goes with its photo.
    logIn("tester@example.test");
    std::vector<std::string> published;
    for (int i = 0; i < 3; ++i)
        published.push_back(publishedWithPhotos(1, jpegBytes()));
    auto sizes = site().storeSizes();
    EXPECT_EQ(sizes.publishedPostings, 2u);
    EXPECT_EQ(sizes.photoBytes, 2 * jpegBytes().size());
    EXPECT_EQ(site().uploadedPhotos().size(), 2u);
    EXPECT_EQ(get(published[0]).status, 404);
    EXPECT_EQ(get(published[2]).status, 200);
    // The account's page lists those kept.
    std::string account = get("https://accounts.bazaarnest.test/").text;
    EXPECT_EQ(account.find(published[0]), std::string::npos);
    EXPECT_NE(account.find(published[1]), std::string::npos);

    // Waiting for their mailed links: the oldest goes, with its mail.
    clearCookies();
    Compose c;
    c.email = "seller@example.test";
    std::vector<std::string> links;
    for (int i = 0; i < 3; ++i)
        links.push_back(mailedWithoutAnAccount(c));
    sizes = site().storeSizes();
    EXPECT_EQ(sizes.heldPostings, 2u);
    EXPECT_EQ(sizes.mails, 2u);
    EXPECT_EQ(site().sentMails().front().link, links[1]);
    EXPECT_EQ(get(links[0]).status, 404);
    EXPECT_EQ(get(links[2]).status, 200);
    EXPECT_EQ(site().storeSizes().heldPostings, 1u);

    // By bytes: postings of the longest description, two of which fit.
    site().setPostingBounds({.count = 100, .bytes = 100000});
    c.description = std::string(20000, 'x');
    for (int i = 0; i < 3; ++i)
        links.push_back(mailedWithoutAnAccount(c));
    sizes = site().storeSizes();
    EXPECT_EQ(sizes.heldPostings, 2u);
    EXPECT_LE(sizes.heldBytes, 100000u);
    EXPECT_EQ(get(links[3]).status, 404);
    EXPECT_EQ(get(links[5]).status, 200);
    // Published past the bytes: the account's page lists only what is kept.
    site().setPostingBounds({.count = 100, .bytes = 1});
    logIn("tester@example.test");
    std::string older = publishedWithPhotos(0, ""), newest = publishedWithPhotos(0, "");
    account = get("https://accounts.bazaarnest.test/").text;
    EXPECT_EQ(get(older).status, 404);
    EXPECT_EQ(account.find(older), std::string::npos);
    EXPECT_NE(account.find(newest), std::string::npos);
}

TEST_F(Posting, StepsThatNeedAPhoneVerifiedAccount) {
    // Without an account.
    Page services = chooseNamed(startPosting().text, "Service Offered");
    ASSERT_EQ(postPageType(services.text), 2);
    Page anonymous = chooseNamed(services.text, "Lessons");
    EXPECT_EQ(postPageType(anonymous.text), 7);
    EXPECT_NE(anonymous.text.find("You need to have a"), std::string::npos);
    // With an account that is not verified.
    logIn("tester@example.test");
    Page unverified =
        chooseNamed(chooseNamed(startPosting().text, "Service Offered").text, "Lessons");
    EXPECT_NE(unverified.text.find("needs to be authenticated by phone"), std::string::npos);
    Page vehicle = chooseNamed(chooseNamed(startPosting().text, "For Sale").text, "Cars & Trucks");
    ASSERT_EQ(postPageType(vehicle.text), 2);  // a second category level
    EXPECT_NE(vehicle.text.find("Which of these most closely matches"), std::string::npos);
    Page dealer = chooseNamed(vehicle.text, "Cars & Trucks - By Dealer");
    EXPECT_NE(dealer.text.find("Telephone Account Verification"), std::string::npos);
    EXPECT_EQ(postPageType(dealer.text), 7);
    // A verified account goes on to the area.
    clearCookies();
    logIn("verified@example.test");
    Page verified =
        chooseNamed(chooseNamed(startPosting().text, "Service Offered").text, "Lessons");
    EXPECT_EQ(postPageType(verified.text), 3);
}

TEST_F(Posting, CommunityHousingAndCitiesWithoutAreas) {
    Page community = chooseNamed(startPosting().text, "Community");
    EXPECT_NE(community.text.find("These 4 categories work"), std::string::npos);
    EXPECT_EQ(sectionList(community.text).size(), 4u);
    // A city without sub-areas goes from the category straight to the form.
    Page tucson = startPosting("http://tucson.bazaarnest.test/");
    Page items = chooseNamed(tucson.text, "Items Wanted & Barter");
    EXPECT_EQ(postPageType(items.text), 5);
    // Housing asks for the rent in a three-digit field.
    Page housingTypes = startPosting("http://tucson.bazaarnest.test/");
    Page housingCats = chooseNamed(housingTypes.text, "Housing Offered");
    Page rooms = chooseNamed(housingCats.text, "Rooms / Shared");
    ASSERT_EQ(postPageType(rooms.text), 5);
    EXPECT_FALSE(inputKeyByToken(rooms.text, "size=\"4\""));
    EXPECT_EQ(inputKeyByToken(rooms.text, "size=\"3\""), "Rent");
}

// A step's page the admin's switch puts in takes its form: posting goes on through it.
TEST_F(Posting, APageOfTheSwitchTakesItsForm) {
    logIn("tester@example.test");
    Page first = chooseNamed(startPosting().text, "Items Wanted & Barter");
    Page form = choose(first.text, sectionList(first.text)[0]);
    Page review = finishPhotos(submitCompose(form.text, Compose{}, "tester").text);
    Page done = postConfirm(review.text, {{"<submit>", "Continue"}});
    ASSERT_EQ(postPageType(done.text), 9);  // the first posting accepts the terms
    ASSERT_NE(postConfirm(done.text, {{"<submit>", "ACCEPT the terms of use"}})
                  .text.find("Your posting can be seen"),
              std::string::npos);

    // The account has accepted them: only the switch shows the terms again.
    Page again = chooseNamed(startPosting().text, "Items Wanted & Barter");
    Page form2 = choose(again.text, sectionList(again.text)[0]);
    Page review2 = finishPhotos(submitCompose(form2.text, Compose{}, "tester").text);
    site().setNextPostingPage("terms");
    Page terms = postConfirm(review2.text, {{"<submit>", "Continue"}});
    ASSERT_EQ(postPageType(terms.text), 9);
    Page posted = postConfirm(terms.text, {{"<submit>", "ACCEPT the terms of use"}});
    EXPECT_EQ(posted.status, 200);
    EXPECT_NE(posted.text.find("Your posting can be seen"), std::string::npos) << posted.text;
}

// The admin's switch answers the next posts with pages no choice reaches, one each.
TEST_F(Posting, TheAdminSwitchAndTheUploadSizes) {
    Page types = startPosting();
    Page set = get("http://admin.bazaarnest.test/posting-page?p=phone,sent,error");
    EXPECT_EQ(set.status, 200);
    EXPECT_EQ(postPageType(chooseNamed(types.text, "For Sale").text), 7);
    Page sent = chooseNamed(types.text, "For Sale");
    EXPECT_NE(sent.text.find("You should receive an email shortly"), std::string::npos);
    EXPECT_EQ(chooseNamed(types.text, "For Sale").status, 400);
    // Used up: the step's own page again.
    EXPECT_EQ(postPageType(chooseNamed(types.text, "For Sale").text), 2);
    // A reset forgets a switch not used yet.
    site().setNextPostingPage("phone");
    site().reset();
    Page fresh = startPosting();
    EXPECT_EQ(postPageType(chooseNamed(fresh.text, "For Sale").text), 2);
}
