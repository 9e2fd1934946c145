// The favourites screen: records rebuilt from the store (image URL rules), no load-more row and
// no alert for an empty store, Edit/Done, deleting a row, and stars set or cleared on the item
// screen showing at the next appearance; a favourite stored without its body fetching it on
// Refresh and keeping it.
#include <gtest/gtest.h>

#include <cctype>

#include "Classes/FavoriteViewController.h"
#include "Classes/ItemTableViewCell.h"
#include "Classes/ItemViewController.h"
#include "Classes/ManagedObjects.h"
#include "CoreData/NSEntityDescription.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "ResultScreensTesting.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIWebView.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"
#include "tools/site/SiteInternal.h"
#include "ui/style/DZImageView.h"

class FavoritesScreen : public ResultScreensTest {
protected:
    void SetUp() override {
        ResultScreensTest::SetUp();
        screen = alloc<FavoriteViewController>();
        screen->initWithNibName(NS("FavoriteViewController"), nullptr);
    }
    void TearDown() override {
        screen = nullptr;
        ResultScreensTest::TearDown();
    }
    Ref<FavoriteItem> store(const char* title, const char* time, const char* url) {
        auto item = as<FavoriteItem>(
            NSEntityDescription::insertNewObjectForEntityForName(NS("FavoriteItem"), context()));
        item->setTitle(str(title));
        item->setTime(str(time));
        item->setDetailUrl(str(url));
        return item;
    }
    void show() {
        nav->pushViewController(screen, false);
        advanceRunLoop(0);
    }
    ItemInfo* record(NSUInteger i) {
        return static_cast<ItemInfo*>(screen->itemArray()->objectAtIndex(i).get());
    }
    NSInteger rows() { return screen->tableViewNumberOfRowsInSection(screen->myTableView(), 0); }

    Ref<FavoriteViewController> screen;
};

TEST_F(FavoritesScreen, AnEmptyStoreShowsAnEmptyList) {
    show();
    EXPECT_EQ(rows(), 0);
    EXPECT_EQ(screen->loadMoreRowNumber(), -1);
    advanceRunLoop(1);
    EXPECT_EQ(lastPanel(), nullptr);
    EXPECT_TRUE(screen->activityLabel()->isHidden());
}

TEST_F(FavoritesScreen, RecordsRebuiltInTimeOrder) {
    auto gap = store("Lamp", " 2012-02-20, 09:00AM EST", "http://x.test/lamp.html");
    gap->setImageUrl1(NS("http://images.bazaarnest.test/1.jpg"));
    gap->setImageUrl3(NS("http://images.bazaarnest.test/3.jpg"));
    gap->setPrice(NS("$15"));
    gap->setPhoneNumber(NS("617-555-0100"));
    gap->setReplyUrl(NS("sale-9@relay.bazaarnest.test"));
    auto noFirst = store("Chair", " 2012-02-10, 09:00AM EST", "http://x.test/chair.html");
    noFirst->setImageUrl2(NS("http://images.bazaarnest.test/2.jpg"));
    noFirst->setBodyImageUrl(NS("http://images.bazaarnest.test/body.jpg"));
    ASSERT_TRUE(context()->save(nullptr));
    show();
    ASSERT_EQ(rows(), 2);                          // no load-more row
    EXPECT_EQ(text(record(0)->title()), "Chair");  // by the time's text
    EXPECT_EQ(text(record(1)->title()), "Lamp");
    // A missing second image does not stop the third.
    ASSERT_TRUE(record(1)->imageUrl());
    EXPECT_EQ(record(1)->imageUrl()->count(), 2u);
    EXPECT_EQ(text(record(1)->imageUrl()->objectAtIndex(1)), "http://images.bazaarnest.test/3.jpg");
    EXPECT_EQ(text(record(1)->price()), "$15");
    EXPECT_EQ(text(record(1)->phoneNumber()), "617-555-0100");
    EXPECT_EQ(text(record(1)->replyUrl()), "sale-9@relay.bazaarnest.test");
    // Without a first image there is no image list; the thumbnail falls back to the body image.
    EXPECT_FALSE(record(0)->imageUrl());
    auto cell = as<ItemTableViewCell>(screen->tableViewCellForRowAtIndexPath(
        screen->myTableView(), NSIndexPath::indexPathForRow(0, 0)));
    ASSERT_TRUE(cell);
    EXPECT_EQ(text(cell->imgView()->urlPath()), "http://images.bazaarnest.test/body.jpg");
    cell = as<ItemTableViewCell>(screen->tableViewCellForRowAtIndexPath(
        screen->myTableView(), NSIndexPath::indexPathForRow(1, 0)));
    EXPECT_EQ(text(cell->imgView()->urlPath()), "http://images.bazaarnest.test/1.jpg");
    // Favourites start no listing-page downloads (only the thumbnails load).
    EXPECT_FALSE(record(0)->itemPage());
    EXPECT_FALSE(record(1)->itemPage());
    for (const std::string& work : NetworkWork::pending())
        EXPECT_EQ(work.find("x.test/"), std::string::npos) << work;
}

TEST_F(FavoritesScreen, EditDoneAndDelete) {
    store("Lamp", "2012-02-20, 09:00AM EST", "http://x.test/lamp.html");
    store("Lamp again", "2012-02-21, 09:00AM EST", "http://x.test/lamp.html");
    store("Desk", "2012-02-22, 09:00AM EST", "http://x.test/desk.html");
    ASSERT_TRUE(context()->save(nullptr));
    show();
    ASSERT_EQ(rows(), 3);
    EXPECT_TRUE(screen->tableViewCanEditRowAtIndexPath(screen->myTableView(),
                                                       NSIndexPath::indexPathForRow(0, 0)));
    screen->editButtonPressed(nullptr);
    EXPECT_TRUE(screen->myTableView()->isEditing());
    EXPECT_EQ(text(screen->editButton()->title()), "Done");
    // Deleting a row deletes every favourite of its listing.
    screen->tableViewCommitEditingStyle(screen->myTableView(), UITableViewCellEditingStyleDelete,
                                        NSIndexPath::indexPathForRow(0, 0));
    EXPECT_EQ(rows(), 2);
    EXPECT_FALSE(ManagedStore::isFavorite(context(), NS("http://x.test/lamp.html")));
    EXPECT_EQ(ManagedStore::favorites(context())->count(), 1u);
    // The second lamp row stays on screen until the list is read again.
    EXPECT_EQ(text(record(0)->title()), "Lamp again");
    screen->editButtonPressed(nullptr);
    EXPECT_FALSE(screen->myTableView()->isEditing());
    EXPECT_EQ(text(screen->editButton()->title()), "Edit");
    screen->viewWillAppear(false);
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(text(record(0)->title()), "Desk");
}

TEST_F(FavoritesScreen, StarsFromTheItemScreenShowAtTheNextAppearance) {
    store("Lamp", "2012-02-20, 09:00AM EST", "http://x.test/lamp.html");
    store("Desk", "2012-02-22, 09:00AM EST", "http://x.test/desk.html");
    ASSERT_TRUE(context()->save(nullptr));
    show();
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(),
                                             NSIndexPath::indexPathForRow(1, 0));
    advanceRunLoop(1);
    auto item = screen->itemViewController();
    ASSERT_TRUE(item);
    EXPECT_EQ(text(item->title()), "2 of 2");
    EXPECT_TRUE(item->isCurrentItemFavorite());
    item->starButtonPressed(nullptr);  // un-star the desk
    nav->popViewControllerAnimated(false);
    advanceRunLoop(1);
    EXPECT_EQ(rows(), 1);
    EXPECT_EQ(text(record(0)->title()), "Lamp");

    // Deleting the lamp from the list clears its star the next time it is shown.
    screen->deleteItem(NSIndexPath::indexPathForRow(0, 0));
    auto lamp = listing("Lamp", "http://x.test/lamp.html");
    item->displayItems(NSArray::arrayWithObject(lamp), 0);
    EXPECT_FALSE(item->isCurrentItemFavorite());
}

TEST_F(FavoritesScreen, ABodyFetchedOnRefreshShowsAndIsStored) {
    auto& site = sitetest::site();
    bnsite::ListingQuery q;
    q.metro = site.catalog().metroIndex("boston");
    ASSERT_TRUE(site.catalog().select("fua", &q.selector));
    q.limit = 1;
    auto found = site.listings().query(q);
    ASSERT_EQ(found.rows.size(), 1u);
    std::string url = bnsite::listingUrl(site.catalog(), found.rows[0]);
    // A word of the body, to find it on the screen and in the store.
    std::string words;
    {
        std::string body = found.rows[0].bodyText, word;
        for (char c : body + " ") {
            if (std::isalpha(static_cast<unsigned char>(c))) {
                word += c;
                continue;
            }
            if (word.size() > words.size()) words = word;
            word.clear();
        }
    }
    ASSERT_GE(words.size(), 5u);

    // Starred before its body arrived.
    store("Chair", "2012-02-20, 09:00AM EST", url.c_str());
    ASSERT_TRUE(context()->save(nullptr));
    show();
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(),
                                             NSIndexPath::indexPathForRow(0, 0));
    advanceRunLoop(1);
    auto item = screen->itemViewController();
    ASSERT_TRUE(item);
    auto reads = [&](const std::string& t) {
        return text(item->webView()->readableText()).find(t) != std::string::npos;
    };
    EXPECT_TRUE(reads("Loading ..."));

    auto refresh = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("http://refreshthispost")));
    item->webViewShouldStartLoadWithRequest(item->webView(), refresh, UIWebViewNavigationTypeOther);
    ASSERT_TRUE(runLoopUntil([] { return NetworkWork::inFlight() == 0; }, 20));
    advanceRunLoop(1);
    // Shown as soon as it came, without a second Refresh.
    EXPECT_FALSE(reads("Loading ...")) << text(item->webView()->readableText());
    EXPECT_TRUE(reads(words)) << words;

    // Kept with the favourite: the next visit shows it from the store.
    auto stored = ManagedStore::favorites(context());
    ASSERT_EQ(stored->count(), 1u);
    auto favorite = as<FavoriteItem>(stored->objectAtIndex(0));
    ASSERT_TRUE(favorite->detail());
    EXPECT_NE(text(favorite->detail()).find(words), std::string::npos);
    EXPECT_EQ(text(favorite->title()), "Chair");
    nav->popViewControllerAnimated(false);
    advanceRunLoop(1);
    EXPECT_TRUE(record(0)->detail());
}
