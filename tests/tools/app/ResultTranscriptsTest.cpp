// The result list, item and favourites screens replayed through the terminal front end against
// the stand-in site, with Denver's bikes chosen before each session (240 listings: two full
// pages and one of 40); their ad banner, with the pings read back on the services' admin host;
// and pictures of them probed pixel by pixel.
#include <gtest/gtest.h>

#include <unistd.h>
#include <sstream>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "AppTesting.h"
#include "Classes/ItemInfo.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemTableViewCell.h"
#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NSUserDefaults.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"
#include "ads/pebble/PBLStatistics.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "json/ZJSONDeserializer.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "support/services/IronvineFirstLaunch.h"
#include "tools/standin/Faults.h"
#include "tools/standin/HttpMessage.h"

namespace {

// A fault of the Denver site on one path: `status` for the next `remaining` requests (0: all).
void addDenverFault(const std::string& path, int status, int remaining = 0) {
    bnsite::Fault fault;
    fault.host = "denver.bazaarnest.test";
    fault.path = path;
    fault.status = status;
    if (remaining) fault.remaining = remaining;
    sitetest::site().addFault(fault);
}

class ResultTranscripts : public apptest::AppSessionTest {
protected:
    void SetUp() override {
        AppSessionTest::SetUp();
        apptest::chooseDenverBikes();
        sitetest::takeLog();
        // Pages the item screen and the browser open load over the URL connection, as in the
        // program.
        previousLoader = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    }
    void TearDown() override {
        UIWebView::setURLLoader(previousLoader);
        AppSessionTest::TearDown();
    }
    // The site's log since the session began, once it holds a line with `last` (the site
    // writes its log line after the answer, from its own thread).
    static std::vector<std::string> logUpTo(const std::string& last) {
        std::vector<std::string> lines;
        runLoopUntil([&] {
            for (const std::string& line : sitetest::takeLog())
                lines.push_back(line);
            for (const std::string& line : lines)
                if (line.find(last) != std::string::npos) return true;
            return false;
        });
        return lines;
    }
    UIWebViewURLLoader previousLoader;

    static std::vector<std::string> matching(const std::vector<std::string>& lines,
                                             const std::string& part) {
        std::vector<std::string> out;
        for (const std::string& line : lines)
            if (line.find(part) != std::string::npos) out.push_back(line);
        return out;
    }
};

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

}  // namespace

TEST_F(ResultTranscripts, BrowsingLoadsMoreToTheLastPage) {
    apptest::expectAppTranscript("results-browse");
    auto log = logUpTo("/bik/index200.html");
    EXPECT_EQ(matching(log, "denver.bazaarnest.test/bik/ HTTP").size(), 1u);
    auto more = matching(log, "denver.bazaarnest.test/bik/index");
    ASSERT_EQ(more.size(), 2u);
    EXPECT_TRUE(contains(more[0], "/bik/index100.html")) << more[0];
    EXPECT_TRUE(contains(more[1], "/bik/index200.html")) << more[1];
    // Every listing's own page was fetched once.
    EXPECT_EQ(matching(log, "GET http://denver.bazaarnest.test/bik/100").size(), 240u);
}

TEST_F(ResultTranscripts, OpenStepStarAndKeepFavourites) {
    apptest::expectPictureNamesUsed("results-item",
                                    [] { apptest::expectAppTranscript("results-item"); });
}

// Every name the front end keeps for the app's pictures serves a screen whose transcript test
// checks that it still names a control there: a picture renamed in the app cannot silently
// change what a screen prints.
TEST(AppPictureNames, EachServesAScreenWhoseTestChecksIt) {
    auto& checked = apptest::screensCheckingPictureNames();
    for (auto& entry : namedPictures()) {
        EXPECT_NE(std::find(checked.begin(), checked.end(), std::string(entry.screen)),
                  checked.end())
            << entry.picture << " serves " << entry.screen;
    }
}

TEST_F(ResultTranscripts, AGoneListingHasExpiredAFailedOneIsFetchedAgainOnRefresh) {
    addDenverFault("/bik/1003114000.html", 404);
    addDenverFault("/bik/1003114001.html", 503, 1);
    apptest::expectAppTranscript("results-failing-item");
    std::vector<std::string> second;
    runLoopUntil([&] {
        for (const std::string& line : matching(sitetest::takeLog(), "/bik/1003114001.html"))
            second.push_back(line);
        return second.size() >= 2;
    });
    ASSERT_EQ(second.size(), 2u);  // the failed page, then the one Refresh asked for
    EXPECT_TRUE(contains(second[0], "\" 503 ")) << second[0];
    EXPECT_TRUE(contains(second[1], "\" 200 ")) << second[1];
}

TEST_F(ResultTranscripts, CallTextMailShareTheOriginalPostingAndALink) {
    apptest::expectAppTranscript("results-reply");
}

TEST_F(ResultTranscripts, AFailedPageIsRetriedAndNothingMatches) {
    addDenverFault("/bik/index100.html", 503, 1);
    apptest::expectAppTranscript("results-retry");
    auto log = logUpTo("/search/bik?query=zzqxv");
    auto second = matching(log, "/bik/index100.html");
    ASSERT_EQ(second.size(), 2u);  // the failed page, then the retry
    EXPECT_TRUE(contains(second[0], "\" 503 ")) << second[0];
    EXPECT_TRUE(contains(second[1], "\" 200 ")) << second[1];
    auto search = matching(log, "/search/bik?query=zzqxv");
    ASSERT_EQ(search.size(), 1u);
    EXPECT_TRUE(contains(search[0], "/search/bik?query=zzqxv&srchType=A&minAsk=&maxAsk="))
        << search[0];
}

// ---- the banner --------------------------------------------------------------------------------

namespace {

// A page of the services' admin host, as a person opens it; "" when it did not come.
std::string adminPage(const char* path) {
    auto url =
        NSURL::URLWithString(NSString::fromUTF8(std::string("http://admin.services.test") + path));
    Ref<NSURLResponse> response;
    Ref<NSError> error;
    auto data = NSURLConnection::sendSynchronousRequest(
        NSURLRequest::requestWithURL(url.get()).get(), &response, &error);
    auto http = as<NSHTTPURLResponse>(response);
    EXPECT_TRUE(data && http && http->statusCode() == 200) << path;
    if (!data) return "";
    return std::string(static_cast<const char*>(data->bytes()), data->length());
}

// The pings the mediation service received, read on its admin page once the last has gone out:
// "kind nid" each, in order.
std::vector<std::string> pingsOnTheAdminHost() {
    runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20);
    std::string page = adminPage("/mediation/pings");
    Ref<NSError> error;
    auto list = ZJSONDeserializer::deserializer()->deserializeAsArray(
        NSData::dataWithBytes(page.data(), page.size()).get(), &error);
    EXPECT_TRUE(list) << page;
    std::vector<std::string> out;
    if (!list) return out;
    for (NSUInteger i = 0; i < list->count(); ++i) {
        auto ping = as<NSDictionary>(list->objectAtIndex(i));
        auto field = [&](const char* key) {
            auto value = ping ? as<NSString>(ping->objectForKey(NSString::fromUTF8(key))) : nullptr;
            return value ? value->utf8() : std::string("?");
        };
        out.push_back(field("kind") + " " + field("nid"));
    }
    return out;
}

}  // namespace

// The ads are numbered by the Pebble client's request count, which starts afresh with the
// install: the copy an earlier test's shared record saved when it was let go goes.
static void forgetPebbleStatistics() {
    for (NSString* key :
         {NS("pebble_stats_shared"), NS("pebble_timing_shared"), NS("pebble_timing_shared_boot")})
        NSUserDefaults::standardUserDefaults()->removeObjectForKey(key);
}

TEST_F(ResultTranscripts, TheBannersHouseAdsRefreshOpenTheBrowserAndPing) {
    apptest::expectAppTranscript("results-banner");
    // One click ping per tapped ad, from the ad's own metrics address.
    EXPECT_EQ(
        pingsOnTheAdminHost(),
        (std::vector<std::string>{"house click image", "house click icon", "house click image"}));
    // The list's first ad, its refresh, the item screen's ad: nothing more was asked for.
    EXPECT_EQ(apptest::mediation().houseAdRequests(),
              (std::vector<std::string>{"house", "house", "house"}));
}

TEST_F(ResultTranscripts, WeightedToThePlatformsBannerAFullScreenAdOpens) {
    // As a person running the app sets it on the admin host.
    EXPECT_NE(adminPage("/mediation/weight?network=iad").find("now uses iad"), std::string::npos);
    AdLoomConfigStore::resetStore();
    apptest::expectAppTranscript("results-banner-iad");
    // An impression for each screen's banner; no house ad was asked for.
    EXPECT_EQ(pingsOnTheAdminHost(),
              (std::vector<std::string>{"impression iad", "impression iad"}));
    EXPECT_TRUE(apptest::mediation().houseAdRequests().empty());
}

TEST_F(ResultTranscripts, WeightedToIronvineTheBannersLinkOpensTheInAdBrowser) {
    servicestest::forgetTheIronvineEngine();
    apptest::weightBannersTo("ironvine");
    auto* ironvine = servicestest::services().module("ironvine");
    apptest::expectAppTranscript("results-banner-ironvine");
    // The banner's impression reached the ad server, and the mediation its ping.
    // (The ad's number depends on what earlier tests asked the same stand-in for.)
    auto hits = ironvine->adminView("hits", {})->body;
    bool impression = false;
    std::istringstream hitLines(hits);
    for (std::string line; std::getline(hitLines, line);) {
        const std::string tail = "/impression";
        impression =
            impression || (line.rfind("track/ivBanner/", 0) == 0 && line.size() > tail.size() &&
                           line.compare(line.size() - tail.size(), tail.size(), tail) == 0);
    }
    EXPECT_TRUE(impression) << hits;
    // The platform's banners of earlier sessions load their next ads on their own clock and
    // report them; only this network's pings are this session's.
    std::vector<std::string> pings;
    for (auto& ping : pingsOnTheAdminHost())
        if (ping.find("iad") == std::string::npos) pings.push_back(ping);
    EXPECT_EQ(pings, std::vector<std::string>{"impression ironvine"});
    servicestest::forgetTheIronvineEngine();
}

TEST_F(ResultTranscripts, WeightedToPebbleTheItemScreenShowsThePebbleAd) {
    EXPECT_NE(adminPage("/mediation/weight?network=pebble").find("now uses pebble"),
              std::string::npos);
    AdLoomConfigStore::resetStore();
    forgetPebbleStatistics();
    apptest::expectAppTranscript("item-banner-pebble");
    // The list's and the item screen's first ads; at 30 seconds the item screen's banner asks
    // again with the mediation's own refresh (a new Pebble banner); the list's Pebble ad, out of
    // sight, does not refresh itself (its trackers would count an ad nobody sees). The list's
    // mediation refresh waits while the list is out of sight and asks once it shows again.
    std::vector<std::string> slots;
    for (auto& r : servicestest::services().received("pebble"))
        if (r.target.rfind("/pbma/ad?", 0) == 0)
            slots.push_back(
                standin::fieldValue(standin::parseQuery(r.target.substr(9)), "slotname"));
    EXPECT_EQ(slots, std::vector<std::string>(4, "banner"));
}

TEST_F(ResultTranscripts, APebbleAdsLinkOpensTheInAppBrowserAndDoneBringsTheListBack) {
    apptest::weightBannersTo("pebble");
    forgetPebbleStatistics();
    apptest::expectAppTranscript("item-banner-pebble-browser");
    std::vector<std::string> shop;
    for (auto& r : servicestest::services().received("pebble"))
        if (r.host == "shop.advertiser.test") shop.push_back(r.target);
    // The landing page through the ad's click redirect, then the links followed, the secure one
    // too.
    ASSERT_EQ(shop.size(), 3u);
    EXPECT_EQ(shop[0], "/offer");
    EXPECT_EQ(shop[1], "/garden");
    EXPECT_EQ(shop[2], "/account");
}

TEST_F(ResultTranscripts, APebbleAdsMailComposerClosesAfterAMemoryWarningLetItsBannerGo) {
    apptest::weightBannersTo("pebble");
    forgetPebbleStatistics();
    std::filesystem::path outbox = MFMailComposeViewController::outboxPath()->utf8();
    std::filesystem::remove_all(outbox);
    apptest::expectAppTranscript("item-banner-pebble-mail");
    // The mail sent over the result list, and only it.
    std::string mail = readFile(outbox / "mail-0001.eml");
    EXPECT_NE(mail.find("To: shop@advertiser.test"), std::string::npos) << mail;
    EXPECT_FALSE(std::filesystem::exists(outbox / "mail-0002.eml"));
    std::filesystem::remove_all(outbox);
}

TEST_F(ResultTranscripts, APebbleRichAdOpensTheWebAppScreenAndItsCloseButton) {
    apptest::weightBannersTo("pebble-webapp");
    forgetPebbleStatistics();
    auto dir = apptest::expectTranscriptWithShots("item-banner-pebble-webapp", "banner-shots");
    std::vector<std::string> shop;
    for (auto& r : servicestest::services().received("pebble"))
        if (r.host == "shop.advertiser.test") shop.push_back(r.target);
    EXPECT_EQ(shop, std::vector<std::string>{"/webapp"});
    // The close button holds the top left corner; the page's title is written below it, with
    // nothing of it beside the button.
    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "pebble-webapp.png").string()));
    ASSERT_TRUE(shot);
    auto inked = [&](CGRect area) {
        return countPixels(shot.get(), area, [](RGBA c) { return c.r + c.g + c.b < 200; });
    };
    EXPECT_EQ(inked(CGRectMake(36, 4, 200, 36)), 0);
    EXPECT_GT(inked(CGRectMake(16, 50, 200, 50)), 100);
}

// ---- pictures ----------------------------------------------------------------------------------

namespace {

bool dark(RGBA c) {
    return c.r < 100 && c.g < 100 && c.b < 100;
}
bool red(RGBA c) {
    return c.r > 180 && c.g < 90 && c.b < 90;
}
bool gold(RGBA c) {
    return c.r > 200 && c.g > 120 && c.b < 110;
}
bool linkBlue(RGBA c) {
    return c.r < 40 && c.g < 40 && c.b > 200;
}
bool bannerOrange(RGBA c) {
    return near(c, RGBA{240, 128, 32, 255}, 6);
}
bool bannerFrame(RGBA c) {
    return near(c, RGBA{16, 32, 96, 255}, 6);
}
bool tagGreen(RGBA c) {
    return c.g > c.r + 40 && c.g > c.b + 40;
}
bool white(RGBA c) {
    return c.r > 200 && c.g > 200 && c.b > 200;
}
namespace fs = std::filesystem;

int count(UIImage* image, CGRect r, bool (*test)(RGBA)) {
    return countPixels(image, r, test);
}

// The first view of the class under `view`, depth first.
template <class T>
Ref<T> findView(UIView* view) {
    if (!view) return nullptr;
    if (auto found = as<T>(view)) return found;
    auto children = view->subviews();
    for (NSUInteger i = 0; children && i < children->count(); ++i)
        if (auto found = findView<T>(cast<UIView>(children->objectAtIndex(i)).get())) return found;
    return nullptr;
}

}  // namespace

TEST_F(ResultTranscripts, PicturesOfTheListTheItemAndTheBrowser) {
    fs::path dir = apptest::expectTranscriptWithShots("results-shots", "result-shots");

    auto list =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "results-list.png").string()));
    ASSERT_TRUE(list);
    ASSERT_EQ(list->size().width, 320);
    // Rows start below the status and navigation bars, 88 points each.
    const int top = 64, row = 88;
    // Alternating row colours, seen through the rows' translucent sheen near their foot.
    RGBA first = pixelAt(list, 200, top + 84), second = pixelAt(list, 200, top + row + 84);
    EXPECT_TRUE(near(first, RGBA{239, 240, 244, 255}, 4)) << first;
    EXPECT_TRUE(near(second, RGBA{226, 228, 236, 255}, 4)) << second;
    EXPECT_TRUE(near(pixelAt(list, 200, top + 2 * row + 84), first, 1));
    // The price tag touches the right edge on the title's line.
    EXPECT_TRUE(tagGreen(pixelAt(list, 318, top + 15))) << pixelAt(list, 318, top + 15);
    EXPECT_TRUE(tagGreen(pixelAt(list, 318, top + row + 15)));
    // The thumbnail: the image inside, the row's colour in its rounded-off corners.
    RGBA inside = pixelAt(list, 30, top + 43);
    EXPECT_FALSE(near(inside, first, 12)) << inside;
    EXPECT_TRUE(near(pixelAt(list, 3, top + 3), first, 12)) << pixelAt(list, 3, top + 3);
    EXPECT_TRUE(near(pixelAt(list, 3, top + 82), first, 12)) << pixelAt(list, 3, top + 82);
    EXPECT_FALSE(near(pixelAt(list, 14, top + 14), first, 12)) << pixelAt(list, 14, top + 14);

    // The item screen paints the listing: dark title and body text and the red price.
    auto off = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "results-item-off.png").string()));
    auto on = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "results-item-on.png").string()));
    ASSERT_TRUE(off && on);
    CGRect page = CGRectMake(0, 64, 320, 322);
    EXPECT_GT(count(off, page, dark), 200);
    EXPECT_GT(count(off, page, red), 20);
    // The star in the tool bar: gold only once the listing is a favourite.
    CGRect toolbar = CGRectMake(0, 436, 320, 44);
    EXPECT_EQ(count(off, toolbar, gold), 0);
    EXPECT_GT(count(on, toolbar, gold), 30);

    // The original posting: the relay address breaks at the screen's edge and goes on below,
    // instead of running off it.
    auto original = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "results-original.png").string()));
    ASSERT_TRUE(original);
    EXPECT_GT(count(original, CGRectMake(0, 64, 320, 322), linkBlue), 200);
    EXPECT_EQ(count(original, CGRectMake(312, 64, 8, 322), linkBlue), 0);

    // The framework's browser paints the site's page.
    auto browser = UIImage::imageWithContentsOfFile(
        NSString::fromUTF8((dir / "results-browser.png").string()));
    ASSERT_TRUE(browser);
    EXPECT_GT(count(browser, CGRectMake(0, 64, 320, 372), dark), 200);
}

TEST_F(ResultTranscripts, APriceTagStandsClearOfTheTitleAndItsHoleClearOfThePrice) {
    // A result row of the list, measured and drawn with the real faces as on the phone.
    UITextMeasurerScope fonts(UIFontTextMeasurer::shared());
    registerAppInterfaces();
    auto screen = alloc<ItemListViewController>();
    screen->initWithNibName(NS("ItemListViewController"), nullptr);
    screen->view();
    auto item = make<ItemInfo>();
    screen->setItemArray(NSMutableArray::arrayWithObject(item));
    for (const char* price : {"$2350", "$5", "$12500"}) {
        item->setTitle(NS("Beautiful hybrid bike for a long ride"));
        item->setPrice(NSString::fromUTF8(price));
        auto cell = as<ItemTableViewCell>(screen->tableViewCellForRowAtIndexPath(
            screen->myTableView(), NSIndexPath::indexPathForRow(0, 0)));
        ASSERT_TRUE(cell);
        cell->setFrame(CGRectMake(0, 0, 320, 88));
        cell->layoutIfNeeded();
        auto px = UIImagePixelsOf(UIViewRenderImage(cell, 1)->CGImage());
        auto at = [&](int x, int y) { return pixelAt(px, x, y); };
        // The tag's middle row (the tag is 22 points high from y 4).
        const int mid = 15;
        int tip = -1;
        for (int x = 150; x < 320 && tip < 0; ++x)
            if (tagGreen(at(x, mid))) tip = x;
        ASSERT_GT(tip, 150) << price;
        // The title's ellipsis ends before the tag's point, with room between them.
        int lastInk = -1;
        for (int y = 4; y < 26; ++y)
            for (int x = 150; x < 320; ++x)
                if (dark(at(x, y))) lastInk = std::max(lastInk, x);
        EXPECT_GT(lastInk, 200) << price;
        EXPECT_LT(lastInk, tip - 1) << price;
        // The string hole: a white dot on the point, green just above and below it, and the
        // price's white letters only after green again.
        int hole = -1;
        for (int x = tip; x < tip + 12 && hole < 0; ++x)
            if (white(at(x, mid))) hole = x;
        ASSERT_GT(hole, tip) << price;
        for (int x = hole; x < hole + 3; ++x) {
            for (int y : {mid - 4, mid - 3, mid - 2, mid + 2, mid + 3, mid + 4})
                EXPECT_FALSE(white(at(x, y))) << price << " at " << x << "," << y;
        }
        int letters = 0;
        for (int y = 6; y < 24; ++y)
            for (int x = hole + 4; x < 320; ++x)
                letters += white(at(x, y));
        EXPECT_GT(letters, 10) << price;
    }
}

namespace {

// The photo as the site serves it, decoded.
UIImagePixels sitePhoto(const std::string& name) {
    standin::HttpRequest request;
    request.host = "images.bazaarnest.test";
    request.target = "/" + name;
    std::string body = sitetest::site().handle(request).body;
    auto image = UIImage::imageWithData(NSData::dataWithBytes(body.data(), body.size()));
    return image ? UIImagePixelsOf(image->CGImage()) : UIImagePixels();
}

// Where the photo shows in the shot, drawn at its size and centred across the 320-point screen
// between the top `from` and `to`: the top edge's screen row (it may lie above the shown part)
// whose rows match the photo best, with the rows that show. Nullopt when no placement matches.
struct Placement {
    int top = 0;
    int rowsShown = 0;
};
std::optional<Placement> placementOf(const UIImagePixels& photo, const UIImagePixels& shot,
                                     int from, int to) {
    int w = int(photo.width), h = int(photo.height), left = (320 - w) / 2;
    std::optional<Placement> best;
    double bestError = 1e9;
    for (int top = from - h + 1; top < to; ++top) {
        double error = 0;
        int samples = 0, rows = 0;
        for (int r = 0; r < h; ++r) {
            int y = top + r;
            if (y < from || y >= to) continue;
            ++rows;
            for (int x = 5; x < w; x += 10) {
                RGBA a = pixelAt(photo, x, r), b = pixelAt(shot, left + x, y);
                error += std::abs(a.r - b.r) + std::abs(a.g - b.g) + std::abs(a.b - b.b);
                ++samples;
            }
        }
        if (rows < 20) continue;
        error /= samples * 3;
        if (error < bestError) {
            bestError = error;
            best = Placement{top, rows};
        }
    }
    return bestError < 6 ? best : std::nullopt;
}

}  // namespace

TEST_F(ResultTranscripts, TheItemScreenScrolledToItsPhotosShowsThem) {
    fs::path dir = apptest::expectTranscriptWithShots("item-photos", "item-photos");
    auto shot =
        UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / "item-photos.png").string()));
    ASSERT_TRUE(shot);
    auto px = UIImagePixelsOf(shot->CGImage());
    ASSERT_EQ(px.width, 320u);
    // The page between the navigation bar and the banner shows the end of the first photo, all
    // of the second and the start of the third, one below the other.
    std::vector<Placement> found;
    for (int n = 1; n <= 3; ++n) {
        auto photo = sitePhoto("1003114000_" + std::to_string(n) + ".jpg");
        ASSERT_EQ(photo.width, 200u) << n;
        auto at = placementOf(photo, px, 64, 386);
        ASSERT_TRUE(at) << "photo " << n << " is not on the screen";
        found.push_back(*at);
    }
    EXPECT_LT(found[0].top, 64);
    EXPECT_EQ(found[1].rowsShown, 150);
    EXPECT_GT(found[2].top + 150, 386);
    EXPECT_GT(found[1].top, found[0].top + 150);
    EXPECT_GT(found[2].top, found[1].top + 150);
}

TEST_F(ResultTranscripts, TheWebPageBannersShowTheirAdsWithinTheirSlots) {
    // The banner's slot at the foot of the result list.
    const CGRect slot = CGRectMake(0, 430, 320, 50);
    auto shotIn = [](const fs::path& dir, const char* name) {
        return UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / name).string()));
    };
    // Pebble's text ad: its line of links shows within the slot, under the ad's text.
    apptest::weightBannersTo("pebble");
    forgetPebbleStatistics();
    fs::path dir = apptest::expectTranscriptWithShots("banner-shots-pebble", "banner-shots");
    auto pebble = shotIn(dir, "pebble-banner.png");
    ASSERT_TRUE(pebble);
    EXPECT_GT(count(pebble, CGRectMake(0, 430, 320, 15), dark), 100);
    EXPECT_GT(count(pebble, CGRectMake(0, 445, 320, 35), linkBlue), 100);

    // Ironvine's banner: its picture, a bag on an orange tile, with its link and a line of
    // words beside it, all within the slot's margins.
    servicestest::forgetTheIronvineEngine();
    apptest::weightBannersTo("ironvine");
    UIEdgeInsets listInset;
    apptest::expectTranscriptWithShots(
        "banner-shots-ironvine", "banner-shots", "# The banner shows its ad.", [&] {
            if (auto table =
                    findView<UITableView>(UIApplication::sharedApplication()->keyWindow().get()))
                listInset = table->contentInset();
        });
    servicestest::forgetTheIronvineEngine();
    // With the ad shown, the list's foot leaves the banner its room.
    EXPECT_EQ(listInset.bottom, 50);
    auto ironvine = shotIn(dir, "ironvine-banner.png");
    ASSERT_TRUE(ironvine);
    EXPECT_GT(count(ironvine, slot, linkBlue), 100);
    EXPECT_GT(count(ironvine, slot, bannerOrange), 700);
    EXPECT_GT(count(ironvine, slot, bannerFrame), 100);
    EXPECT_GT(count(ironvine, CGRectMake(100, 430, 220, 50), dark), 50);  // the line of words
    // Nothing touches the slot's edges: the picture starts past the left margin, the link to
    // its right.
    auto marked = [](RGBA c) { return c.r + c.g + c.b < 3 * 220; };
    EXPECT_EQ(count(ironvine, CGRectMake(0, 431, 6, 48), marked), 0);
    EXPECT_EQ(count(ironvine, CGRectMake(0, 431, 56, 48), linkBlue), 0);
    EXPECT_GT(count(ironvine, CGRectMake(6, 431, 50, 48), bannerOrange), 700);
    // Back from the browser, the banner is in its slot at once, with its ad.
    EXPECT_GT(count(shotIn(dir, "ironvine-back.png"), slot, bannerOrange), 700);
    // The landing page's "Watch the video" reaches the video site's page: its dark screen under
    // the browser's bar.
    auto video = shotIn(dir, "ironvine-video.png");
    ASSERT_TRUE(video);
    auto black = [](RGBA c) { return c.r + c.g + c.b < 30; };
    EXPECT_GT(count(video, CGRectMake(20, 60, 280, 60), black), 15000);
}

// The web app screen the Pebble ad opens turns with the phone, drawn turned and whole; closed
// while turned, with or without a memory warning before, it leaves the list and the app
// upright for the rest of the session; and a listing gone back to while turned is upright.
TEST_F(ResultTranscripts, AWebAppClosedWhileTurnedLeavesTheAppUpright) {
    apptest::weightBannersTo("pebble-webapp");
    forgetPebbleStatistics();
    auto dir = apptest::expectTranscriptWithShots("item-banner-pebble-webapp-turned", "turned");
    auto shotIn = [&dir](const char* name) {
        return UIImage::imageWithContentsOfFile(NSString::fromUTF8((dir / name).string()));
    };
    auto black = [](RGBA c) { return c.r < 8 && c.g < 8 && c.b < 8; };
    auto blue = [](RGBA c) { return c.b > c.r + 60 && c.b > 150; };

    // Turned, the page covers the whole screen, no black bands around it, and its close button
    // stands in the turned screen's top left corner: the screen's top right.
    auto turned = shotIn("webapp-turned.png");
    ASSERT_TRUE(turned);
    EXPECT_EQ(countPixels(turned.get(), CGRectMake(0, 0, 280, 8), black), 0);
    EXPECT_EQ(countPixels(turned.get(), CGRectMake(0, 470, 320, 10), black), 0);
    EXPECT_GT(count(turned.get(), CGRectMake(286, 0, 34, 34), dark), 50);
    EXPECT_EQ(count(turned.get(), CGRectMake(0, 0, 34, 34), dark), 0);

    // Back upright: the status bar on top (black, as the app shows it), none along the right
    // edge, where the price tags reach the screen's edge.
    auto list = shotIn("list-after-turned-webapp.png");
    ASSERT_TRUE(list);
    EXPECT_GT(countPixels(list.get(), CGRectMake(0, 0, 320, 20), black), 320 * 20 / 2);
    EXPECT_EQ(countPixels(list.get(), CGRectMake(300, 40, 20, 380), black), 0);
    EXPECT_GT(count(list.get(), CGRectMake(304, 60, 16, 360), tagGreen), 100);

    // The keyboard upright along the screen's foot, its blue return key at the bottom right,
    // not at the bottom left where a sideways keyboard has it.
    auto keyboard = shotIn("keyboard-after-turned-webapp.png");
    ASSERT_TRUE(keyboard);
    EXPECT_GT(countPixels(keyboard.get(), CGRectMake(240, 430, 80, 50), blue), 1000);
    EXPECT_EQ(countPixels(keyboard.get(), CGRectMake(0, 330, 60, 150), blue), 0);
    EXPECT_GT(countPixels(keyboard.get(), CGRectMake(0, 0, 320, 20), black), 320 * 20 / 2);

    // After a memory warning under the web app turned the other way, the screens made again
    // fill the upright screen: no dark band down either edge, the status bar across the top,
    // the navigation bar right under it, the keyboard upright. So does the listing gone back
    // to from a site page while turned.
    auto navBar = [](RGBA c) { return c.r < 150 && c.b > c.r + 25; };
    const struct {
        const char* name;
        bool navigationBar;
    } screens[] = {{"list-after-warning.png", true},
                   {"keyboard-after-warning.png", false},
                   {"item-after-back-turned.png", true}};
    for (const auto& screen : screens) {
        SCOPED_TRACE(screen.name);
        auto shot = shotIn(screen.name);
        ASSERT_TRUE(shot);
        EXPECT_GT(countPixels(shot.get(), CGRectMake(0, 0, 320, 20), black), 320 * 20 / 2);
        EXPECT_EQ(countPixels(shot.get(), CGRectMake(0, 30, 4, 220), black), 0);
        EXPECT_EQ(countPixels(shot.get(), CGRectMake(316, 30, 4, 220), black), 0);
        if (screen.navigationBar) {
            EXPECT_GT(countPixels(shot.get(), CGRectMake(0, 22, 320, 40), navBar),
                      320 * 40 * 7 / 10);
        }
    }
    EXPECT_GT(count(shotIn("list-after-warning.png").get(), CGRectMake(304, 60, 16, 360), tagGreen),
              100);
    auto keyboardAfter = shotIn("keyboard-after-warning.png");
    EXPECT_GT(countPixels(keyboardAfter.get(), CGRectMake(240, 430, 80, 50), blue), 1000);
    EXPECT_EQ(countPixels(keyboardAfter.get(), CGRectMake(0, 330, 60, 150), blue), 0);
}
