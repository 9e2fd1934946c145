// The result list screen: the site URLs of search and browse pages, the cell's time and place
// texts, and the screen against the stand-in site (paging to the last page, the load-more row,
// listing pages arriving, a failed page retried, no match, saving the search, work handed over
// before the view has loaded).
#include <gtest/gtest.h>

#include <string>

#include "Classes/ItemListPage.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ItemTableViewCell.h"
#include "Classes/ItemViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchDb.h"
#include "Foundation/Clock.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSTimeZone.h"
#include "Foundation/NSURL.h"
#include "ResultScreensTesting.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIViewRendering.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/Site.h"
#include "ui/style/DZImageView.h"

namespace {

Ref<ListInfo> search(const char* locationUrl, const char* catagoryUrl, const char* keyword) {
    auto info = make<ListInfo>();
    info->setLocationUrl(str(locationUrl));
    info->setCatagoryUrl(str(catagoryUrl));
    if (keyword) info->setSearchKey(str(keyword));
    return info;
}

std::string url(ListInfo* info, int page) {
    return ItemListViewController::pageUrl(info, page)->utf8();
}

}  // namespace

TEST(ItemListViewControllerUrls, SearchPartsStandInTheirOrder) {
    auto info = search("http://boston.bazaarnest.test", "bik/", "bike");
    info->setSearchType(NS("A"));
    info->setSortOrder(2);
    info->setPriceMin(NS("10"));
    info->setPriceMax(NS("200"));
    info->setHasImage(true);
    EXPECT_EQ(url(info, 2),
              "http://boston.bazaarnest.test/search/bik?query=bike&sort=priceasc&srchType=A"
              "&minAsk=10&maxAsk=200&hasPic=1&s=100");
    // The first page has no offset; later ones count in hundreds.
    EXPECT_EQ(url(info, 1),
              "http://boston.bazaarnest.test/search/bik?query=bike&sort=priceasc&srchType=A"
              "&minAsk=10&maxAsk=200&hasPic=1");
    EXPECT_EQ(url(info, 4).substr(url(info, 4).size() - 6), "&s=300");

    // Without bounds both keys stay, empty; without images no hasPic; other sort orders.
    info->setPriceMin(nullptr);
    info->setPriceMax(nullptr);
    info->setHasImage(false);
    info->setSortOrder(1);
    EXPECT_EQ(url(info, 1),
              "http://boston.bazaarnest.test/search/bik?query=bike&sort=rel"
              "&srchType=A&minAsk=&maxAsk=");
    info->setSortOrder(3);
    EXPECT_NE(url(info, 1).find("&sort=pricedsc&"), std::string::npos);
    info->setSortOrder(0);
    EXPECT_EQ(url(info, 1).find("sort="), std::string::npos);
    info->setSortOrder(7);
    EXPECT_EQ(url(info, 1).find("sort="), std::string::npos);

    // A saved search without a search type sends the key empty, never "(null)".
    info->setSearchType(nullptr);
    EXPECT_NE(url(info, 1).find("&srchType=&minAsk="), std::string::npos);
}

TEST(ItemListViewControllerUrls, AreasKeywordsAndBrowsePages) {
    // A sub-area's path follows the category code.
    auto area = search("http://sfbay.bazaarnest.test/eby", "bik/", "bike");
    EXPECT_EQ(url(area, 1).rfind("http://sfbay.bazaarnest.test/search/bik/eby?query=bike&", 0), 0u);
    // A space, an ampersand and a line feed are escaped.
    auto odd = search("http://boston.bazaarnest.test", "sss/", "red bike & lock\n");
    EXPECT_NE(url(odd, 1).find("query=red%20bike%20%26%20lock%0A%0D&"), std::string::npos);
    // An empty keyword is still a search.
    auto empty = search("http://boston.bazaarnest.test", "sss/", "");
    EXPECT_EQ(url(empty, 1).rfind("http://boston.bazaarnest.test/search/sss?query=&", 0), 0u);
    // Without a keyword: the category page, then its index pages.
    auto browse = search("http://boston.bazaarnest.test", "bik/", nullptr);
    EXPECT_EQ(url(browse, 1), "http://boston.bazaarnest.test/bik/");
    EXPECT_EQ(url(browse, 2), "http://boston.bazaarnest.test/bik/index100.html");
    EXPECT_EQ(url(browse, 3), "http://boston.bazaarnest.test/bik/index200.html");
}

TEST(ItemListViewControllerTexts, AgesOfPostingTimes) {
    ManualClockScope clock;  // 2012-03-01 12:00:00 UTC
    auto age = [](const char* time) {
        return ItemListViewController::friendlyTime(time ? str(time).get() : nullptr)->utf8();
    };
    EXPECT_EQ(age(nullptr), "");
    EXPECT_EQ(age("2012-03-01, 06:59AM EST"), "1 mins");
    EXPECT_EQ(age("2012-03-01, 06:01AM EST"), "59 mins");
    EXPECT_EQ(age("2012-03-01, 05:30AM EST"), "1 hours");  // 90 minutes
    // The page writes the time after "Date:" with a space before it.
    EXPECT_EQ(age(" 2012-03-01, 05:30AM EST \n"), "1 hours");
    EXPECT_EQ(age("2012-03-01, 07:00AM EST"), "0 secs");
    EXPECT_EQ(age("2012-02-28, 07:01AM EST"), "47 hours");
    EXPECT_EQ(age("2012-02-28, 07:00AM EST"), "2 days");
    EXPECT_EQ(age("2012-02-16, 07:01AM EST"), "13 days");
    EXPECT_EQ(age("2012-02-16, 07:00AM EST"), "2 weeks");
    EXPECT_EQ(age("2012-01-27, 07:00AM EST"), "4 weeks");
    EXPECT_EQ(age("2012-01-26, 07:00AM EST"), "1 months");  // 35 days
    EXPECT_EQ(age("2012-01-25, 07:00AM EST"), "1 months");  // 36 days
    EXPECT_EQ(age("2011-09-03, 07:00AM EST"), "6 months");
    // A time in the future and one that does not read both count as no time at all.
    EXPECT_EQ(age("2012-03-02, 07:00AM EST"), "0 secs");
    EXPECT_EQ(age("yesterday"), "0 secs");
}

TEST(ItemListViewControllerTexts, PlaceLines) {
    auto previous = NSTimeZone::defaultTimeZone();
    NSTimeZone::setDefaultTimeZone(NSTimeZone::timeZoneWithName(NS("America/Los_Angeles")));
    auto place = [](const char* time, const char* location) {
        return text(ItemListViewController::dateAndLocation(
                        time ? str(time).get() : nullptr, location ? str(location).get() : nullptr)
                        .get());
    };
    EXPECT_EQ(place("2011-10-05, 10:00AM PDT", "Oakland"), "Oakland \u2727 Oct 5");
    EXPECT_EQ(place(" 2011-10-05, 10:00AM PDT", nullptr), "Oct 5");
    EXPECT_EQ(place(nullptr, "Oakland"), "Oakland");
    EXPECT_EQ(place(nullptr, nullptr), "(nil)");
    EXPECT_EQ(place("soon", "Oakland"), "Oakland \u2727 ");
    NSTimeZone::setDefaultTimeZone(previous);
}

// ---- against the site ------------------------------------------------------------------------

class ItemListScreen : public ResultScreensTest {
protected:
    void SetUp() override {
        sitetest::site();  // started, with the site's names mapped to it
        ResultScreensTest::SetUp();
    }
    Ref<ItemListViewController> makeScreen() {
        auto screen = alloc<ItemListViewController>();
        screen->initWithNibName(NS("ItemListViewController"), nullptr);
        return screen;
    }
    // Pushes the screen, as the Search screen does after handing it the request.
    void show(ItemListViewController* screen) {
        nav->pushViewController(screen, false);
        advanceRunLoop(0);
    }
    static void waitForPage(ItemListViewController* screen) {
        ASSERT_TRUE(runLoopUntil([&] { return !screen->isLoading(); }, 20));
        advanceRunLoop(0);
        ASSERT_TRUE(screen->itemArray() || lastPanel());
    }
    // Shows the first page of Boston's furniture once its listing pages have all arrived.
    void showFurnitureWithListings(ItemListViewController* screen) {
        screen->setListInfo(search("http://boston.bazaarnest.test", "fua/", nullptr));
        show(screen);
        screen->loadFirstItemList();
        waitForPage(screen);
        ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30));
        advanceRunLoop(0);
    }
    static NSInteger rows(ItemListViewController* screen) {
        return screen->tableViewNumberOfRowsInSection(screen->myTableView(), 0);
    }
    static Ref<NSIndexPath> row(NSInteger r) { return NSIndexPath::indexPathForRow(r, 0); }

    size_t totalFor(const char* metro, const char* category) {
        const auto& c = sitetest::site().catalog();
        bnsite::ListingQuery q;
        q.metro = c.metroIndex(metro);
        EXPECT_TRUE(c.select(category, &q.selector));
        q.limit = 100000;
        return sitetest::site().listings().query(q).total;
    }
};

TEST_F(ItemListScreen, BrowsesAndLoadsMoreToTheLastPage) {
    size_t total = totalFor("denver", "bik");
    ASSERT_GT(total, 200u);
    ASSERT_LT(total, 1000u);
    auto screen = makeScreen();
    auto info = search("http://denver.bazaarnest.test", "bik/", nullptr);
    info->setCatagory(NS("bicycles"));
    screen->setListInfo(info);
    screen->loadFirstItemList();
    // Checked before the loop runs: on a slow machine the page can arrive in the first pass.
    nav->pushViewController(screen.get(), false);
    EXPECT_EQ(text(screen->title()), "bicycles");
    EXPECT_FALSE(screen->activityLabel()->isHidden());  // the first load shows the label
    advanceRunLoop(0);
    waitForPage(screen);
    EXPECT_TRUE(screen->activityLabel()->isHidden());
    EXPECT_EQ(rows(screen), 101);
    EXPECT_EQ(screen->loadMoreRowNumber(), 100);
    auto more = screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(100));
    EXPECT_EQ(text(more->reuseIdentifier()), "loadmore");
    EXPECT_EQ(text(more->textLabel()->text()), "Load More Items ...");

    int pages = 1;
    while (screen->loadMoreRowNumber() >= 0) {
        NSInteger before = screen->loadMoreRowNumber();
        screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(before));
        EXPECT_TRUE(screen->isLoading());
        EXPECT_TRUE(screen->activityIndicator()->isAnimating());
        // A second tap while the page loads asks for nothing more.
        screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(before));
        ++pages;
        EXPECT_EQ(screen->pageNumber(), pages);
        waitForPage(screen);
        EXPECT_FALSE(screen->activityIndicator()->isAnimating());
        ASSERT_LT(pages, 12);
    }
    EXPECT_EQ(static_cast<size_t>(rows(screen)), total);  // no load-more row at the end
    EXPECT_EQ(screen->itemArray()->count(), total);
    EXPECT_EQ(
        text(screen->itemListPage()->url()->absoluteString()),
        "http://denver.bazaarnest.test/bik/index" + std::to_string((pages - 1) * 100) + ".html");

    // The listing pages arrive in the background and fill the records and their rows.
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 30));
    advanceRunLoop(0);
    auto first = cast<ItemInfo>(screen->itemArray()->objectAtIndex(0));
    ASSERT_TRUE(first->detail());
    EXPECT_TRUE(first->time());
    EXPECT_EQ(first->itemPage()->url()->absoluteString()->utf8(), first->detailUrl()->utf8());
    auto cell = as<ItemTableViewCell>(
        screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(0)));
    ASSERT_TRUE(cell);
    EXPECT_EQ(text(cell->titleLabel()->text()), text(first->title()));
    EXPECT_FALSE(cell->detailLabel()->text()->length() == 0);
    EXPECT_EQ(cell->detailLabel()->text()->rangeOfString(NS("<")).location, NSNotFound);
    EXPECT_EQ(text(cell->timeLabel()->text()),
              text(ItemListViewController::friendlyTime(first->time())));
}

TEST_F(ItemListScreen, WorkHandedOverBeforeTheViewLoads) {
    auto screen = makeScreen();
    auto info = search("http://boston.bazaarnest.test", "fua/", "table");
    info->setCatagory(NS("furniture"));
    screen->setListInfo(info);
    // The page is held at the site until the view has been looked at.
    auto& site = sitetest::site();
    auto gate = site.gate("handed-over");
    bnsite::Fault held;
    held.host = "boston.*";
    held.path = "/search/";
    held.gate = "handed-over";
    site.addFault(held);
    // No view yet: the outlets are nil and the label does not exist; nothing breaks.
    screen->loadFirstItemList();
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_FALSE(screen->activityLabel());
    EXPECT_EQ(text(screen->title()), "\"table\" in furniture");
    ASSERT_TRUE(gate->waitUntilWaiting(1));
    // Loaded while the page is on its way, the view shows the label...
    show(screen);
    ASSERT_TRUE(screen->activityLabel());
    EXPECT_FALSE(screen->activityLabel()->isHidden());
    EXPECT_TRUE(screen->myTableView()->separatorColor()->isEqual(UIColor::whiteColor()));
    // ...and the page fills the table when it comes.
    gate->open();
    waitForPage(screen);
    site.clearFaults();
    gate->close();
    EXPECT_TRUE(screen->activityLabel()->isHidden());
    EXPECT_GT(rows(screen), 0);
    EXPECT_EQ(screen->myTableView()->numberOfRowsInSection(0), rows(screen));
}

TEST_F(ItemListScreen, AFailedPageIsRetriedFromTheLoadMoreRow) {
    auto& site = sitetest::site();
    auto screen = makeScreen();
    screen->setListInfo(search("http://denver.bazaarnest.test", "bik/", nullptr));
    show(screen);
    screen->loadFirstItemList();
    waitForPage(screen);
    ASSERT_EQ(rows(screen), 101);

    bnsite::Fault broken;
    broken.host = "denver.bazaarnest.test";
    broken.path = "/bik/index100.html";
    broken.delivery = bnsite::Fault::Delivery::Drop;
    site.addFault(broken);
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(100));
    waitForPage(screen);
    ASSERT_TRUE(runLoopUntil([] { return lastPanel() != nullptr; }));
    auto alert = as<UIAlertView>(lastPanel());
    ASSERT_TRUE(alert);
    EXPECT_EQ(text(alert->title()), "Notice");
    EXPECT_EQ(text(alert->message()), "Network connection error");
    closePanels();
    // The failed page is not counted: the row stays and the spinner stops.
    EXPECT_EQ(screen->pageNumber(), 1);
    EXPECT_FALSE(screen->activityIndicator()->isAnimating());
    EXPECT_EQ(rows(screen), 101);

    // An error page from the site is a failure too, not an empty result.
    bnsite::Fault error;
    error.host = "denver.bazaarnest.test";
    error.path = "/bik/index100.html";
    error.status = 503;
    site.clearFaults();
    site.addFault(error);
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(100));
    waitForPage(screen);
    ASSERT_TRUE(runLoopUntil([] { return lastPanel() != nullptr; }));
    EXPECT_EQ(text(as<UIAlertView>(lastPanel())->message()), "Network connection error");
    closePanels();
    EXPECT_EQ(screen->pageNumber(), 1);
    EXPECT_FALSE(screen->noMoreItem());

    // The next tap asks for the same page again.
    site.clearFaults();
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(100));
    EXPECT_EQ(screen->pageNumber(), 2);
    waitForPage(screen);
    EXPECT_GT(rows(screen), 101);
    EXPECT_EQ(text(screen->itemListPage()->url()->absoluteString()),
              "http://denver.bazaarnest.test/bik/index100.html");
    EXPECT_EQ(lastPanel(), nullptr);
}

TEST_F(ItemListScreen, NoMatchFound) {
    auto screen = makeScreen();
    auto info = search("http://boston.bazaarnest.test", "sss/", "zzqxv");
    info->setSearchType(NS("A"));
    screen->setListInfo(info);
    show(screen);
    screen->loadFirstItemList();
    waitForPage(screen);
    EXPECT_EQ(rows(screen), 0);
    EXPECT_TRUE(screen->noMoreItem());
    ASSERT_TRUE(runLoopUntil([] { return lastPanel() != nullptr; }));
    auto alert = as<UIAlertView>(lastPanel());
    ASSERT_TRUE(alert);
    EXPECT_EQ(text(alert->title()), "Message");
    EXPECT_EQ(text(alert->message()), "No match found");
    EXPECT_EQ(buttonsOf(alert), "OK");
}

TEST_F(ItemListScreen, PersonalsCollectNoListingImages) {
    auto screen = makeScreen();
    auto info = search("http://boston.bazaarnest.test", "m4w/", nullptr);
    info->setSection(NS("personals"));
    screen->setListInfo(info);
    show(screen);
    screen->loadFirstItemList();
    waitForPage(screen);
    ASSERT_GT(screen->itemArray()->count(), 0u);
    for (NSObject* o : *screen->itemArray())
        EXPECT_FALSE(static_cast<ItemInfo*>(o)->showImage);

    info = search("http://boston.bazaarnest.test", "fua/", nullptr);
    info->setSection(NS("For Sale"));
    screen->setListInfo(info);
    screen->loadFirstItemList();
    waitForPage(screen);
    ASSERT_GT(screen->itemArray()->count(), 0u);
    for (NSObject* o : *screen->itemArray()) {
        auto item = static_cast<ItemInfo*>(o);
        EXPECT_TRUE(item->showImage);
        EXPECT_EQ(item->controller().get(), static_cast<ItemInfoListener*>(screen.get()));
    }
}

TEST_F(ItemListScreen, ListingsOpenTheItemScreenAndComeBackSelected) {
    auto screen = makeScreen();
    screen->setListInfo(search("http://boston.bazaarnest.test", "fua/", nullptr));
    show(screen);
    screen->loadFirstItemList();
    waitForPage(screen);
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(2));
    advanceRunLoop(0);
    auto item = screen->itemViewController();
    ASSERT_TRUE(item);
    EXPECT_EQ(nav->topViewController().get(), static_cast<UIViewController*>(item.get()));
    EXPECT_EQ(item->currentIndex(), 2);
    EXPECT_EQ(item->itemArray().get(), static_cast<NSArray*>(screen->itemArray().get()));
    item->segmentedControl()->tapSegment(1);
    EXPECT_EQ(item->currentIndex(), 3);
    // Back on the list, the row last viewed is selected, then let go once the list shows.
    screen->viewWillAppear(false);
    EXPECT_EQ(screen->myTableView()->indexPathForSelectedRow()->row(), 3);
    screen->viewDidAppear(false);
    EXPECT_FALSE(screen->myTableView()->indexPathForSelectedRow());
    // The same item screen serves the next tap.
    nav->popViewControllerAnimated(false);
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(0));
    EXPECT_EQ(screen->itemViewController().get(), item.get());
    EXPECT_EQ(item->currentIndex(), 0);
}

TEST_F(ItemListScreen, SavesTheSearchOnYes) {
    auto db = make<SavedSearchDb>();
    db->openDb();
    db->clearTable();
    auto screen = makeScreen();
    auto info = search("http://boston.bazaarnest.test", "bik/", "fixie");
    info->setCatagory(NS("bicycles"));
    screen->setListInfo(info);
    show(screen);
    screen->saveAction(nullptr);
    auto sheet = as<UIActionSheet>(lastPanel());
    ASSERT_TRUE(sheet);
    EXPECT_EQ(text(sheet->title()), "Save this search?");
    EXPECT_EQ(buttonsOf(sheet), "Yes|Cancel");
    sheet->clickButtonWithTitle(NS("Cancel"));
    EXPECT_EQ(db->getItems()->count(), 0u);
    screen->saveAction(nullptr);
    as<UIActionSheet>(lastPanel())->clickButtonWithTitle(NS("Yes"));
    auto saved = db->getItems();
    ASSERT_EQ(saved->count(), 1u);
    EXPECT_EQ(text(cast<SavedSearch>(saved->objectAtIndex(0))->listInfo()->searchKey()), "fixie");
    db->clearTable();
    db->closeDb();
}

TEST_F(ItemListScreen, BannerDelegateAnswers) {
    auto screen = makeScreen();
    EXPECT_EQ(text(screen->adLoomApplicationKey()), "3f9a1c0be7d24a5c8e61b0f2d4a97c3e");
    EXPECT_EQ(screen->viewControllerForPresentingModalView().get(),
              static_cast<UIViewController*>(screen.get()));
}

TEST_F(ItemListScreen, ARowsPreviewShowsNoScriptOrStyle) {
    auto screen = makeScreen();
    ASSERT_NO_FATAL_FAILURE(showFurnitureWithListings(screen));
    auto item = cast<ItemInfo>(screen->itemArray()->objectAtIndex(0));
    // The row's picture with the code in the body, then with the plain text alone.
    auto rowPicture = [&](const char* detail) {
        item->setDetail(NSString::fromUTF8(detail));
        auto cell = as<ItemTableViewCell>(
            screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(0)));
        EXPECT_EQ(text(cell->detailLabel()->text()), "Plain words");
        return UIImagePixelsOf(UIViewRenderImage(cell, 2)->CGImage()).argb;
    };
    auto withCode = rowPicture(
        "Plain words<script type=\"text/javascript\">var promo = 1;</script><style>b {}</style>");
    EXPECT_EQ(withCode, rowPicture("Plain words"));
}

TEST_F(ItemListScreen, ThumbnailsLoadAndSizeTheirRows) {
    auto screen = makeScreen();
    ASSERT_NO_FATAL_FAILURE(showFurnitureWithListings(screen));
    NSInteger withImage = -1, without = -1;
    for (NSUInteger i = 0; i < screen->itemArray()->count(); ++i) {
        auto item = cast<ItemInfo>(screen->itemArray()->objectAtIndex(i));
        bool has = item->imageUrl() && item->imageUrl()->count() > 0;
        if (has && withImage < 0) withImage = static_cast<NSInteger>(i);
        if (!has && without < 0) without = static_cast<NSInteger>(i);
    }
    ASSERT_GE(withImage, 0);
    ASSERT_GE(without, 0);
    auto cell = as<ItemTableViewCell>(
        screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(withImage)));
    auto item =
        cast<ItemInfo>(screen->itemArray()->objectAtIndex(static_cast<NSUInteger>(withImage)));
    EXPECT_EQ(text(cell->imgView()->urlPath()), text(item->imageUrl()->objectAtIndex(0)));
    ASSERT_TRUE(runLoopUntil([&] { return cell->imgView()->image() != nullptr; }, 10));
    auto size = cell->imgView()->image()->size();
    CGFloat width = std::min<CGFloat>(size.width * 80 / size.height, 120);
    EXPECT_NEAR(cell->imgView()->frame().size.width, width, 0.01);
    EXPECT_EQ(cell->leftMargin(), static_cast<int32_t>(width) + 9);
    EXPECT_EQ(cell->titleLabel()->frame().origin.x, cell->leftMargin());
    // A row without images shows none, even in a cell that showed one before.
    auto reused = as<ItemTableViewCell>(
        screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(without)));
    EXPECT_EQ(text(reused->imgView()->urlPath()), "(nil)");
}

TEST_F(ItemListScreen, AViewGivenUpUnderAMemoryWarningComesBackWithTheRows) {
    auto screen = makeScreen();
    screen->setListInfo(search("http://denver.bazaarnest.test", "bik/", nullptr));
    show(screen);
    screen->loadFirstItemList();
    waitForPage(screen);
    // Covered by the item screen, the list gives its view up.
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(0));
    advanceRunLoop(1);
    screen->didReceiveMemoryWarning();
    EXPECT_FALSE(screen->isViewLoaded());
    EXPECT_FALSE(screen->myTableView());
    EXPECT_FALSE(screen->adsHolder());
    EXPECT_FALSE(screen->activityLabel());
    EXPECT_FALSE(screen->activityIndicator());
    // The next page arrives while there is no view: nothing to draw, nothing breaks.
    screen->loadMoreItemList();
    waitForPage(screen);
    EXPECT_EQ(screen->itemArray()->count(), 200u);
    // Back on the list: a new view with every row.
    screen->itemViewController()->segmentedControl()->tapSegment(1);
    nav->popViewControllerAnimated(false);
    advanceRunLoop(1);
    ASSERT_TRUE(screen->isViewLoaded());
    EXPECT_EQ(screen->myTableView()->numberOfRowsInSection(0), 201);
    EXPECT_TRUE(screen->activityLabel()->isHidden());
}
