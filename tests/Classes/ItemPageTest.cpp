// Listing pages from the stand-in site over real HTTP: the body and its tag block, the time,
// phone numbers in each place the site puts them, images, both reply variants and expired
// listings; the rules on hand-made pages for what the site does not make; the stop notification.
#include <gtest/gtest.h>

#include "Classes/ItemInfo.h"
#include "Classes/ItemPage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "ListingPagesTesting.h"

using namespace listingtest;
using bnsite::Listing;

namespace {

Ref<ItemPage> loaded(const Listing& l) {
    auto page = make<ItemPage>();
    page->downloadPageSync(str(pageUrlOf(l)));
    return page;
}

// A page with hand-made text at a URL, without a download.
class HandMadeItemPage : public ItemPage {
    NS_OBJECT(HandMadeItemPage, ItemPage)

public:
    void setUrl(NSString* url) { url_ = NSURL::URLWithString(url); }
};

Ref<ItemPage> handMade(const std::string& html,
                       const char* url = "http://boston.bazaarnest.test/bik/1.html") {
    auto page = make<HandMadeItemPage>();
    page->setUrl(str(url));
    page->setWebpage(str(html));
    return page;
}

}  // namespace

TEST(ItemPageSite, BodyTimeAndPhoneNumbers) {
    auto tags = findListing([](const Listing& l) {
        return live(l) && !l.oldFormat && l.phonePlace == Listing::PhonePlace::Tags;
    });
    auto inBody = findListing(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::Body; });
    auto after = findListing(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::AfterTags; });
    auto oldFormat = findListing([](const Listing& l) { return live(l) && l.oldFormat; });
    ASSERT_TRUE(tags && inBody && after && oldFormat);

    auto page = loaded(*tags);
    auto detail = text(page->getDetail());
    // The body runs to the tag block and holds the poster's HTML as it stands.
    EXPECT_NE(detail.find(tags->bodyHtml), std::string::npos);
    EXPECT_EQ(detail.find("START BZTAGS"), std::string::npos);
    EXPECT_EQ(text(page->getTime()), " " + bnsite::listingTime(*tags, sitetest::site().catalog()));
    // Numbers in the tag block and in the body count; one after the tag block does not.
    EXPECT_EQ(text(page->getphoneNumber()), tags->phone);
    EXPECT_EQ(text(loaded(*inBody)->getphoneNumber()), inBody->phone);
    EXPECT_FALSE(loaded(*after)->getphoneNumber());
    // Without the tag block the body runs to the end of the page.
    EXPECT_NE(
        text(loaded(*oldFormat)->getDetail()).find("PostingID: " + std::to_string(oldFormat->id)),
        std::string::npos);
}

TEST(ItemPageSite, ImagesComeInPageOrderAndLoad) {
    auto l = findListing([](const Listing& l) { return live(l) && l.images >= 3; });
    auto without = findListing([](const Listing& l) { return live(l) && l.images == 0; });
    ASSERT_TRUE(l && without);
    auto page = loaded(*l);
    auto urls = NSMutableArray::arrayWithObjects({NS("stale")});
    page->getImages(urls);
    ASSERT_EQ(urls->count(), static_cast<NSUInteger>(l->images));
    auto html = page->getPage();
    NSUInteger previous = 0;
    for (NSObject* url : *urls) {
        NSRange at = html->rangeOfString(NSString::stringWithFormat(NS("<img src=\"%@\""), url));
        ASSERT_NE(at.location, static_cast<NSUInteger>(NSNotFound)) << text(url);
        EXPECT_GE(at.location, previous);
        previous = at.location;
    }
    auto image =
        NKHTTPRequest::requestWithURL(NSURL::URLWithString(cast<NSString>(urls->objectAtIndex(0))));
    image->startSynchronous();
    EXPECT_EQ(image->responseStatusCode(), 200);
    loaded(*without)->getImages(urls);
    EXPECT_EQ(urls->count(), 0u);
}

TEST(ItemPageSite, ReplyUrlForEachReplyVariantAndExpiredListings) {
    auto email =
        findListing([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Email; });
    auto form =
        findListing([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Form; });
    auto both =
        findListing([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Both; });
    auto expired =
        findListing([](const Listing& l) { return l.status == Listing::Status::Expired; });
    ASSERT_TRUE(email && form && both && expired);
    EXPECT_EQ(text(loaded(*email)->getReplyUrl()), email->relayAddress);
    // The link wins over the form.
    EXPECT_EQ(text(loaded(*both)->getReplyUrl()), both->relayAddress);
    EXPECT_EQ(text(loaded(*form)->getReplyUrl()),
              "http://boston.bazaarnest.test/reply/" + std::to_string(form->id));
    auto gone = loaded(*expired);
    EXPECT_EQ(text(gone->getDetail()), "This posting has expired.");
    EXPECT_FALSE(gone->getTime() || gone->getReplyUrl() || gone->getphoneNumber());
}

TEST(ItemPageSite, FillItemInfoKeepsTheRowFieldsAndImagesOnlyWhenAsked) {
    auto l = findListing([](const Listing& l) { return live(l) && l.images >= 2; });
    ASSERT_TRUE(l);
    auto page = loaded(*l);
    auto item = make<ItemInfo>();
    item->setTitle(NS("row title"));
    page->fillItemInfo(item);
    ASSERT_TRUE(item->imageUrl());
    EXPECT_EQ(item->imageUrl()->count(), 0u);
    EXPECT_EQ(text(item->title()), "row title");
    item->showImage = true;
    page->fillItemInfo(item);
    EXPECT_EQ(item->imageUrl()->count(), static_cast<NSUInteger>(l->images));
}

TEST(ItemPageRules, HandMadePages) {
    EXPECT_EQ(text(handMade("<div>Reply to: <a href=\"mailto:a@b.test\">a@b.test</a></div>\n"
                            "<form id=\"reply\" action=\"/reply/9\" method=\"get\"></form>")
                       ->getReplyUrl()),
              "a@b.test");
    // A secure page's form still gives http on the page's host; other forms of action too.
    const char* secure = "https://boston.bazaarnest.test/reply/9.html";
    EXPECT_EQ(text(handMade("<form id=\"reply\" action=\"/reply/9\">", secure)->getReplyUrl()),
              "http://boston.bazaarnest.test/reply/9");
    EXPECT_EQ(text(handMade("<form id=\"reply\" action=\"send\">", secure)->getReplyUrl()),
              "http://boston.bazaarnest.test/reply/send");
    EXPECT_EQ(text(handMade("<form id=\"reply\" action=\"http://o.test/r\">")->getReplyUrl()),
              "http://o.test/r");
    // Image entries without quotes are skipped.
    auto urls = NSMutableArray::arrayWithCapacity(4);
    handMade("imgList = new Array(\"http://i/1.jpg\",broken,\"http://i/2.jpg\");")->getImages(urls);
    EXPECT_EQ(text(urls),
              text(NSArray::arrayWithObjects({NS("http://i/1.jpg"), NS("http://i/2.jpg")})));
    // No body marker: the heading, else expired; and no phone number without the body.
    EXPECT_EQ(text(handMade("<h2>Gone away</h2>")->getDetail()), "Gone away");
    auto bare = handMade("<p>Call 617-555-1234</p>");
    EXPECT_EQ(text(bare->getDetail()), "This posting has expired");
    EXPECT_FALSE(bare->getphoneNumber());
}

TEST(ItemPageRules, PhoneNumberSeparators) {
    auto phone = [](const char* body) {
        return handMade(std::string("<div id=\"userbody\">") + body + "<!-- END BZTAGS -->")
            ->getphoneNumber();
    };
    EXPECT_EQ(text(phone("call (617) 555-1234 now")), "(617) 555-1234");
    EXPECT_EQ(text(phone("call 617.555.1234")), "617.555.1234");
    EXPECT_EQ(text(phone("call 6175551234")), "6175551234");
    // Only a space, a hyphen or a point separates the groups.
    EXPECT_FALSE(phone("price 617,555,1234"));
    EXPECT_FALSE(phone("code 617+555+1234"));
    EXPECT_FALSE(phone("call 617-555-12"));
}

TEST(ItemPageSite, StopNotificationSilencesADownload) {
    auto l = findListing(live);
    ASSERT_TRUE(l);
    bnsite::Fault slow;
    slow.host = "boston.bazaarnest.test";
    slow.gate = "item-stop";
    slow.remaining = 1;
    auto gate = sitetest::site().gate("item-stop");
    gate->close();  // a gate stays open once opened, and tests may repeat
    sitetest::site().addFault(slow);
    auto listener = make<RequestWatcher>();
    auto stopped = make<ItemPage>();
    stopped->downloadPage(str(pageUrlOf(*l)), listener);
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    NSNotificationCenter::defaultCenter()->postNotificationName(NS("StopItemPageNotification"),
                                                                nullptr);
    gate->open();
    auto request = stopped->request();
    EXPECT_TRUE(runLoopUntil([&] { return request->isFinished(); }));
    EXPECT_TRUE(drainMainLoop());
    EXPECT_EQ(listener->ended(), 0);
    sitetest::site().clearFaults();
    // A page that was not stopped reports as usual.
    auto page = make<ItemPage>();
    page->downloadPage(str(pageUrlOf(*l)), listener);
    EXPECT_TRUE(listener->waitFor(1));
    EXPECT_EQ(listener->finished, 1);
}
