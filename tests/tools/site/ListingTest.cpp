// Listing pages read the way the listing page scraper fills a record, for every variant the site
// writes: reply address or reply form (or both), phone numbers in the body, in the tag block and
// after it, image lists, postings older than the tag block, expired and removed postings.
#include <functional>
#include <set>

#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "SiteTesting.h"
#include "tools/site/SiteInternal.h"

using namespace sitetest;
using bnsite::Listing;

namespace {

// The first generated listing in boston (any for-sale or housing category) that satisfies `want`.
std::optional<Listing> findListing(const std::function<bool(const Listing&)>& want) {
    const auto& catalog = site().catalog();
    int boston = catalog.metroIndex("boston");
    for (size_t c = 0; c < catalog.categories.size(); ++c) {
        if (catalog.categories[c].section != 3 && catalog.categories[c].section != 2) continue;
        for (const auto& l : *site().listings().generated(boston, static_cast<int>(c))) {
            if (want(l)) return l;
        }
    }
    return std::nullopt;
}

struct Fetched {
    Listing listing;
    std::string url;
    Page page;
    ItemDetails item;
};

Fetched fetch(const std::function<bool(const Listing&)>& want) {
    auto l = findListing(want);
    EXPECT_TRUE(l.has_value());
    if (!l) return {};
    std::string url = bnsite::listingUrl(site().catalog(), *l);
    Page page = get(url);
    EXPECT_EQ(page.status, 200) << url;
    return {*l, url, page, scrapeItem(page.text, url)};
}

bool live(const Listing& l) {
    return l.status == Listing::Status::Live && !l.oldFormat;
}

}  // namespace

TEST(ListingPage, BodyTimeAndTheTimeFormatTheAppReads) {
    Fetched f = fetch(
        [](const Listing& l) { return live(l) && l.bodyHtml.find("<table") == std::string::npos; });
    EXPECT_NE(f.item.detail.find(f.listing.bodyHtml), std::string::npos);
    EXPECT_EQ(f.item.detail.find("BZTAGS"), std::string::npos);
    ASSERT_TRUE(f.item.time);
    EXPECT_EQ(*f.item.time, " " + bnsite::listingTime(f.listing, site().catalog()));
    Ref<NSDateFormatter> format = make<NSDateFormatter>();
    format->setDateFormat(NS("yyyy-MM-dd, hh:mma zzz"));
    Ref<NSDate> date = format->dateFromString(str(*f.item.time));
    ASSERT_TRUE(date);
    // Listing times count back from 2012-03-01 12:00 UTC.
    double ago = 1330603200.0 - date->timeIntervalSince1970();
    EXPECT_NEAR(ago, f.listing.minutesAgo * 60.0, 1.0);
}

TEST(ListingPage, PhoneNumbersAreFoundInTheBodyAndTagsOnly) {
    Fetched body = fetch(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::Body; });
    EXPECT_EQ(body.item.phone, body.listing.phone);
    Fetched tags = fetch(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::Tags; });
    EXPECT_EQ(tags.item.phone, tags.listing.phone);
    Fetched after = fetch(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::AfterTags; });
    EXPECT_FALSE(after.item.phone);
    EXPECT_NE(after.page.text.find(after.listing.phone),
              std::string::npos);  // on the page, after the tags
    Fetched none = fetch(
        [](const Listing& l) { return live(l) && l.phonePlace == Listing::PhonePlace::None; });
    EXPECT_FALSE(none.item.phone);
    // Every written form of a number is read whole by the app's phone reader.
    std::set<char> separators;
    for (const auto& l : *site().listings().generated(site().catalog().metroIndex("boston"),
                                                      site().catalog().categoryIndex("bik"))) {
        if (l.phone.empty()) continue;
        EXPECT_EQ(readPage("<div id=\"userbody\">" + l.phone, &ItemPage::getphoneNumber), l.phone);
        separators.insert(l.phone[3]);
    }
    EXPECT_GE(separators.size(), 4u);
}

TEST(ListingPage, ReplyByAddressByFormOrBoth) {
    Fetched email =
        fetch([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Email; });
    EXPECT_EQ(email.item.replyUrl, email.listing.relayAddress);
    Fetched form =
        fetch([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Form; });
    EXPECT_EQ(form.item.replyUrl,
              "http://boston.bazaarnest.test/reply/" + std::to_string(form.listing.id));
    EXPECT_EQ(form.page.text.find("Reply to:"), std::string::npos);
    Fetched both =
        fetch([](const Listing& l) { return live(l) && l.reply == Listing::Reply::Both; });
    EXPECT_EQ(both.item.replyUrl, both.listing.relayAddress);  // the address wins over the form
    EXPECT_EQ(get(*form.item.replyUrl).status, 200);
}

TEST(ListingPage, ImageListsAreRealPhotos) {
    Fetched jpeg = fetch([](const Listing& l) { return live(l) && l.images >= 3 && !l.pngImages; });
    ASSERT_EQ(jpeg.item.images.size(), static_cast<size_t>(jpeg.listing.images));
    EXPECT_EQ(jpeg.item.images, bnsite::listingImageUrls(jpeg.listing));
    for (const auto& url : jpeg.item.images) {
        Page photo = get(url);
        int w = 0, h = 0;
        EXPECT_EQ(photo.contentType, "image/jpeg");
        EXPECT_TRUE(decodesAsJpeg(photo.bytes, &w, &h)) << url;
        EXPECT_EQ(w, 200);
        EXPECT_EQ(h, 150);
    }
    Fetched png = fetch([](const Listing& l) { return live(l) && l.images >= 1 && l.pngImages; });
    ASSERT_FALSE(png.item.images.empty());
    int w = 0, h = 0;
    EXPECT_TRUE(decodesAsPng(get(png.item.images[0]).bytes, &w, &h));
    EXPECT_TRUE(decodesAsJpeg(get(bnsite::listingThumbnailUrl(png.listing)).bytes, &w, &h));
    EXPECT_EQ(w, 50);
    Fetched bare = fetch([](const Listing& l) { return live(l) && l.images == 0; });
    EXPECT_TRUE(bare.item.images.empty());
    EXPECT_EQ(get(jpeg.item.images[0] + ".png").status, 404);
}

TEST(ListingPage, OldPostingsWithoutTagsExpiredAndRemovedOnes) {
    Fetched old = fetch([](const Listing& l) {
        return l.status == Listing::Status::Live && l.oldFormat && l.images > 0;
    });
    // Without the tag block the body runs to the end, image script included.
    EXPECT_NE(old.item.detail.find(old.listing.bodyHtml), std::string::npos);
    EXPECT_NE(old.item.detail.find("<!--\nimgList ="), std::string::npos);

    Fetched expired = fetch([](const Listing& l) { return l.status == Listing::Status::Expired; });
    EXPECT_EQ(expired.item.detail, "This posting has expired.");  // the page's heading
    EXPECT_FALSE(expired.item.time);
    EXPECT_FALSE(expired.item.phone);
    EXPECT_FALSE(expired.item.replyUrl);
    Fetched removed = fetch([](const Listing& l) { return l.status == Listing::Status::Removed; });
    EXPECT_EQ(removed.item.detail, "This posting has expired");  // neither body nor heading
    EXPECT_EQ(
        get("http://boston.bazaarnest.test/reply/" + std::to_string(expired.listing.id)).status,
        410);
}

TEST(ListingPage, UnknownPostingsAreNotFound) {
    auto l = findListing(live);
    ASSERT_TRUE(l);
    std::string path = "/bik/" + std::to_string(l->id) + ".html";
    EXPECT_EQ(get("http://miami.bazaarnest.test" + path).status, 404);  // another city's host
    EXPECT_EQ(get("http://boston.bazaarnest.test/bik/1999999999.html").status, 404);
    EXPECT_EQ(get("http://images.bazaarnest.test/1999999999_1.jpg").status, 404);
}

TEST(ListingDates, CountBackFromTheStoresEpoch) {
    // The scripted clock's start by default; a site started later dates the same listings as
    // far before its own start.
    const auto& catalog = site().catalog();
    int denver = catalog.metroIndex("denver");
    int bikes = catalog.categoryIndex("bik");
    ASSERT_GE(denver, 0);
    ASSERT_GE(bikes, 0);
    bnsite::ListingStore fixed(site().listings().seed(), catalog);
    bnsite::ListingStore week(site().listings().seed(), catalog,
                              bnsite::kContentEpochUnix + 7 * 86400);
    auto a = fixed.generated(denver, bikes);
    auto b = week.generated(denver, bikes);
    ASSERT_FALSE(a->empty());
    ASSERT_EQ(a->size(), b->size());
    const Listing& first = a->front();
    const Listing& same = b->front();
    EXPECT_EQ(first.epochUnix, bnsite::kContentEpochUnix);
    EXPECT_EQ(first.minutesAgo, same.minutesAgo);
    EXPECT_EQ(first.titleHtml, same.titleHtml);
    // Same minutes before a moment a week later: the date a week on, the clock time the same.
    std::string then = bnsite::listingTime(first, catalog);
    std::string now = bnsite::listingTime(same, catalog);
    EXPECT_EQ(then.substr(10), now.substr(10)) << then << " / " << now;
    EXPECT_EQ(bnsite::listingDay(first, catalog), "Mar 1");
    EXPECT_EQ(bnsite::listingDay(same, catalog), "Mar 8");
    EXPECT_EQ(now.substr(0, 10), "2012-03-08");
    // The site's own store keeps the fixed dates.
    EXPECT_EQ(site().listings().generated(denver, bikes)->front().epochUnix,
              bnsite::kContentEpochUnix);
}
