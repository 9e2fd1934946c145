// The listing record as the listener of its own listing-page download: it fills itself on the
// main run loop and tells its screen; error pages, truncated pages and dropped connections leave
// what the row gave it and end the wait (a listing the site no longer has reads as expired), and
// the page can be fetched again; a screen that is gone is not told.
#include <gtest/gtest.h>

#include <vector>

#include "Classes/ItemInfo.h"
#include "Classes/ItemPage.h"
#include "Foundation/NSArray.h"
#include "ListingPagesTesting.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/RunLoopTesting.h"

using namespace listingtest;
using bnsite::Listing;

namespace {

class ItemWatcher : public NSObject, public ItemInfoListener {
    NS_OBJECT(ItemWatcher, NSObject)

public:
    void itemUpdated(ItemInfo* item) override {
        updated.push_back(item);
        sawDetail = item->detail() != nullptr;
    }
    std::vector<ItemInfo*> updated;
    bool sawDetail = false;
};

// A record as the result list sets it up, with its page downloading and itself listening.
Ref<ItemInfo> startedRecord(const Listing& l, ItemWatcher* watcher) {
    auto item = make<ItemInfo>();
    item->setTitle(NS("Row title"));
    item->setController(watcher);
    item->showImage = true;
    item->setItemPage(make<ItemPage>());
    item->itemPage()->downloadPage(str(pageUrlOf(l)), item);
    return item;
}

void settle(ItemInfo* item) {
    auto request = item->itemPage()->request();
    ASSERT_TRUE(runLoopUntil([&] { return request->isFinished(); }));
    ASSERT_TRUE(drainMainLoop());
}

Listing richListing() {
    auto l = findListing([](const Listing& l) {
        return live(l) && l.images >= 2 && l.phonePlace == Listing::PhonePlace::Body &&
               l.reply == Listing::Reply::Form;
    });
    EXPECT_TRUE(l);
    return l.value_or(Listing{});
}

}  // namespace

TEST(ItemInfo, NewRecordIsEmptyAndAnswersByName) {
    auto item = make<ItemInfo>();
    EXPECT_FALSE(item->title() || item->time() || item->detail() || item->detailUrl() ||
                 item->imageUrl() || item->bodyImageUrl() || item->location() || item->price() ||
                 item->phoneNumber() || item->email() || item->extraInfo() || item->adsId() ||
                 item->replyUrl() || item->itemPage() || item->controller());
    EXPECT_FALSE(item->showImage);
    item->setValue(NS("$40"), NS("price"));
    EXPECT_EQ(text(item->valueForKey(NS("price"))), "$40");
}

TEST(ItemInfo, FillsItselfFromItsPageThenTellsItsScreen) {
    auto l = richListing();
    auto watcher = make<ItemWatcher>();
    auto item = startedRecord(l, watcher);
    ASSERT_TRUE(runLoopUntil([&] { return !watcher->updated.empty(); }));
    ASSERT_EQ(watcher->updated.size(), 1u);
    EXPECT_EQ(watcher->updated[0], item.get());
    EXPECT_TRUE(watcher->sawDetail);
    EXPECT_NE(text(item->detail()).find(l.bodyHtml), std::string::npos);
    EXPECT_EQ(text(item->phoneNumber()), l.phone);
    EXPECT_EQ(item->imageUrl()->count(), static_cast<NSUInteger>(l.images));
    EXPECT_EQ(text(item->replyUrl()),
              "http://boston.bazaarnest.test/reply/" + std::to_string(l.id));
    EXPECT_EQ(text(item->time()), " " + bnsite::listingTime(l, sitetest::site().catalog()));
    EXPECT_EQ(text(item->title()), "Row title");
}

TEST(ItemInfo, FaultsEndTheWaitAndKeepTheRowFields) {
    auto l = richListing();
    struct Case {
        const char* name;
        int status;
        bnsite::Fault::Delivery delivery;
        bool expired;  // the site no longer has the listing
    };
    for (Case c : {Case{"error status", 500, bnsite::Fault::Delivery::Normal, false},
                   Case{"unavailable", 503, bnsite::Fault::Delivery::Normal, false},
                   Case{"not found", 404, bnsite::Fault::Delivery::Normal, true},
                   Case{"gone", 410, bnsite::Fault::Delivery::Normal, true},
                   Case{"truncated", 0, bnsite::Fault::Delivery::Truncate, false},
                   Case{"dropped", 0, bnsite::Fault::Delivery::Drop, false}}) {
        SCOPED_TRACE(c.name);
        bnsite::Fault fault;
        fault.host = "boston.bazaarnest.test";
        fault.status = c.status;
        fault.delivery = c.delivery;
        fault.truncateAt = 200;
        sitetest::site().addFault(fault);
        auto watcher = make<ItemWatcher>();
        auto item = startedRecord(l, watcher);
        settle(item);
        sitetest::site().clearFaults();
        // The screen hears that the wait is over either way.
        ASSERT_EQ(watcher->updated.size(), 1u);
        if (c.expired)
            EXPECT_EQ(text(item->detail()), "This posting has expired");
        else
            EXPECT_FALSE(item->detail());
        EXPECT_EQ(item->loadFailed(), !c.expired);
        EXPECT_FALSE(item->time() || item->replyUrl() || item->phoneNumber() || item->imageUrl());
        EXPECT_EQ(text(item->title()), "Row title");

        // Fetching again after a failure fills the record; an expired one has its body.
        item->setDetailUrl(str(pageUrlOf(l)));
        auto before = item->itemPage()->request();
        item->reloadPage();
        if (c.expired) {
            EXPECT_EQ(item->itemPage()->request().get(), before.get());
            continue;
        }
        EXPECT_FALSE(item->loadFailed());
        settle(item);
        EXPECT_EQ(watcher->updated.size(), 2u);
        EXPECT_NE(text(item->detail()).find(l.bodyHtml), std::string::npos);
        EXPECT_EQ(text(item->phoneNumber()), l.phone);
    }
}

TEST(ItemInfo, FetchingAgainWaitsForADownloadUnderWay) {
    auto watcher = make<ItemWatcher>();
    auto l = richListing();
    auto item = startedRecord(l, watcher);
    item->setDetailUrl(str(pageUrlOf(l)));
    auto first = item->itemPage()->request();
    item->reloadPage();
    EXPECT_EQ(item->itemPage()->request().get(), first.get());
    // Finished on its network thread, its completion not yet run on the main thread (the loop
    // turns in a mode of its own meanwhile): the download is still under way for the record.
    ASSERT_TRUE(runLoopUntil([&] { return first->isFinished(); }, 15.0, NS("ItemInfoTest.Aside")));
    EXPECT_TRUE(watcher->updated.empty());
    item->reloadPage();
    EXPECT_EQ(item->itemPage()->request().get(), first.get());
    settle(item);
    EXPECT_EQ(watcher->updated.size(), 1u);
    EXPECT_TRUE(item->detail());
    // A record made without a page (a favourite) gets one.
    auto bare = make<ItemInfo>();
    bare->setDetailUrl(str(pageUrlOf(l)));
    bare->setController(watcher);
    bare->reloadPage();
    ASSERT_TRUE(bare->itemPage());
    settle(bare);
    EXPECT_NE(text(bare->detail()).find(l.bodyHtml), std::string::npos);
}

TEST(ItemInfo, AScreenThatIsGoneIsNotTold) {
    auto watcher = make<ItemWatcher>();
    auto item = startedRecord(richListing(), watcher);
    watcher = nullptr;
    EXPECT_FALSE(item->controller());
    settle(item);
    EXPECT_TRUE(item->detail());
}
