// The saved-search database: rows written and read back across reopenings, the default row,
// edits that replace rows, and failures that must leave other searches alone.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "Classes/ItemListViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchDb.h"
#include "Classes/SearchSettings.h"
#include "Foundation/NSArray.h"
#include "support/FoundationTesting.h"
#include "support/SqlTesting.h"

namespace {
class SavedSearches : public testing::Test {
protected:
    void SetUp() override {
        path = make<SavedSearchDb>()->dbFilePath()->utf8();
        std::filesystem::remove(path);
    }
    void TearDown() override { std::filesystem::remove(path); }

    static Ref<SavedSearch> search(const char* keyword) {
        auto s = make<SavedSearch>();
        s->listInfo()->setSearchKey(keyword ? str(keyword) : nullptr);
        s->listInfo()->setLocation(NS("Austin"));
        return s;
    }
    // Every stored row, as a fresh program would read it.
    static Ref<NSMutableArray> stored(bool defaults = false) {
        auto db = make<SavedSearchDb>();
        db->openDb();
        auto items = db->getItems(defaults);
        db->closeDb();
        return items;
    }
    static Ref<SavedSearch> at(NSArray* list, NSUInteger i) {
        return cast<SavedSearch>(list->objectAtIndex(i));
    }
    // SQL run on a connection of its own, as another program would.
    void sql(const char* statement) { runSql(path, {statement}); }

    std::string path;
};
}  // namespace

TEST_F(SavedSearches, EveryFieldSurvivesARestartQuotesIncluded) {
    auto s = search("O'Brien's \"bike\"'); DROP TABLE savedSearch; --");
    auto info = s->listInfo();
    info->setLocationUrl(NS("https://austin.example"));
    info->setCatagory(NS("bicycles"));
    info->setCatagoryUrl(NS("bia/"));
    auto st = info->searchSettings();
    st->setScope(1);
    st->setSort(3);
    st->setHasImage(true);
    st->setMaxPrice(NS("500"));
    st->setMinPrice(NS("50"));
    st->setMaxRent(NS("2000"));
    st->setMinRent(NS("900"));
    st->setNumBedRoom(2);
    st->setDogs(true);
    st->setMaxSqrt(NS("1200"));
    st->setMinSqrt(NS("300"));
    st->setTelecommute(true);
    st->setPart_time(true);
    st->setNon_profit(true);
    st->setMaxAge(NS("40"));
    st->setMinAge(NS("30"));
    st->setGigOption(4);
    s->saveToDb();
    EXPECT_EQ(s->dbId(), 1);

    auto items = stored();
    ASSERT_EQ(items->count(), 1u);
    auto back = at(items, 0);
    auto bi = back->listInfo();
    auto bs = bi->searchSettings();
    EXPECT_EQ(back->dbId(), 1);
    EXPECT_EQ(text(bi->searchKey()), "O'Brien's \"bike\"'); DROP TABLE savedSearch; --");
    EXPECT_EQ(text(bi->location()), "Austin");
    EXPECT_EQ(text(bi->locationUrl()), "https://austin.example");
    EXPECT_EQ(text(bi->catagory()), "bicycles");
    EXPECT_EQ(text(bi->catagoryUrl()), "bia/");
    EXPECT_EQ(bs->scope(), 1);
    EXPECT_EQ(bs->sort(), 3);
    EXPECT_TRUE(bs->hasImage());
    EXPECT_EQ(text(bs->maxPrice()), "500");
    EXPECT_EQ(text(bs->minPrice()), "50");
    EXPECT_EQ(text(bs->maxRent()), "2000");
    EXPECT_EQ(text(bs->minRent()), "900");
    EXPECT_EQ(bs->numBedRoom(), 2);
    EXPECT_TRUE(bs->dogs());
    EXPECT_FALSE(bs->cats());
    EXPECT_EQ(text(bs->maxSqrt()), "1200");
    EXPECT_EQ(text(bs->minSqrt()), "300");
    EXPECT_TRUE(bs->telecommute());
    EXPECT_FALSE(bs->contract());
    EXPECT_FALSE(bs->internship());
    EXPECT_TRUE(bs->part_time());
    EXPECT_TRUE(bs->non_profit());
    EXPECT_EQ(text(bs->maxAge()), "40");
    EXPECT_EQ(text(bs->minAge()), "30");
    EXPECT_EQ(bs->gigOption(), 4);
    // The filter comes back from the settings that hold it; the section, which the table does
    // not hold, at its initial value.
    EXPECT_EQ(text(bi->searchType()), "A");
    EXPECT_EQ(bi->sortOrder(), 3);
    EXPECT_TRUE(bi->hasImage());
    EXPECT_EQ(text(bi->priceMax()), "500");
    EXPECT_EQ(text(bi->priceMin()), "50");
    EXPECT_EQ(bi->section(), nullptr);
}

TEST_F(SavedSearches, SavingAgainReplacesTheRowWithANewId) {
    auto a = search("a");
    auto b = search("b");
    a->saveToDb();
    b->saveToDb();
    a->listInfo()->setSearchKey(NS("a2"));
    a->saveToDb();
    EXPECT_EQ(a->dbId(), 3);

    auto items = stored();
    ASSERT_EQ(items->count(), 2u);
    EXPECT_EQ(text(at(items, 0)->listInfo()->searchKey()), "b");
    EXPECT_EQ(text(at(items, 1)->listInfo()->searchKey()), "a2");

    auto db = make<SavedSearchDb>();
    db->openDb();
    db->removeItem(b);
    EXPECT_EQ(db->getItems()->count(), 1u);
    EXPECT_EQ(db->getLastDbId(), 3);
    db->clearTable();
    EXPECT_EQ(db->getLastDbId(), 0);  // an empty table
    db->closeDb();
    EXPECT_EQ(db->getLastDbId(), -1);  // no connection
}

TEST_F(SavedSearches, MissingKeywordStoresEmptyAndNullReadsNil) {
    search(nullptr)->saveToDb();
    auto items = stored();
    ASSERT_EQ(items->count(), 1u);
    EXPECT_EQ(text(at(items, 0)->listInfo()->searchKey()), "");
    EXPECT_EQ(text(at(items, 0)->listInfo()->searchSettings()->maxPrice()), "");

    // A row written by another program may hold NULLs.
    sql("INSERT INTO savedSearch (keyword) VALUES (NULL)");
    items = stored();
    ASSERT_EQ(items->count(), 2u);
    auto row = at(items, 1)->listInfo();
    EXPECT_EQ(row->searchKey(), nullptr);
    EXPECT_EQ(row->location(), nullptr);
    EXPECT_EQ(row->searchSettings()->minAge(), nullptr);
    EXPECT_EQ(row->searchSettings()->scope(), 0);
}

TEST_F(SavedSearches, DefaultRowIsHiddenAndTheLastOneWins) {
    auto db = make<SavedSearchDb>();
    db->openDb();
    EXPECT_EQ(db->getDefault(), nullptr);
    db->closeDb();

    search("THIS_IS_DEFAULT")->saveToDb();
    search("kayak")->saveToDb();
    auto second = search("THIS_IS_DEFAULT");
    second->listInfo()->setLocation(NS("Boston"));
    second->saveToDb();
    search("this_is_default")->saveToDb();  // only the exact keyword marks the default

    db->openDb();
    auto def = db->getDefault();
    ASSERT_TRUE(def);
    EXPECT_EQ(def->dbId(), second->dbId());
    EXPECT_EQ(text(def->listInfo()->location()), "Boston");
    EXPECT_EQ(db->getItems(true)->count(), 2u);
    EXPECT_EQ(db->getItems()->count(), 2u);
    db->closeDb();
}

TEST_F(SavedSearches, FailedInsertKeepsIdsAndNeverTouchesOtherRows) {
    auto kept = search("kept");
    kept->saveToDb();
    ASSERT_EQ(kept->dbId(), 1);
    sql("CREATE TRIGGER refuse BEFORE INSERT ON savedSearch WHEN NEW.keyword = 'boom' "
        "BEGIN SELECT RAISE(ABORT, 'refused'); END");

    // A new search that fails to store stays unstored, so that saving it later cannot take
    // another search's row with it.
    auto fresh = search("boom");
    fresh->saveToDb();
    EXPECT_EQ(fresh->dbId(), -1);
    fresh->listInfo()->setSearchKey(NS("fine"));
    fresh->saveToDb();
    EXPECT_EQ(fresh->dbId(), 2);
    EXPECT_EQ(stored()->count(), 2u);

    // An edit that fails leaves the search's old row and id in place.
    fresh->listInfo()->setSearchKey(NS("boom"));
    auto db = make<SavedSearchDb>();
    db->openDb();
    EXPECT_FALSE(db->addItem(fresh));
    db->closeDb();
    EXPECT_EQ(fresh->dbId(), 2);
    auto items = stored();
    ASSERT_EQ(items->count(), 2u);
    EXPECT_EQ(text(at(items, 0)->listInfo()->searchKey()), "kept");
    EXPECT_EQ(text(at(items, 1)->listInfo()->searchKey()), "fine");
    EXPECT_EQ(at(items, 1)->dbId(), 2);
}

TEST_F(SavedSearches, ForeignFileAndClosedDatabaseFailQuietly) {
    {
        std::ofstream junk(path, std::ios::binary);
        junk << std::string(4096, 'x');
    }
    auto s = search("bike");
    s->saveToDb();
    EXPECT_EQ(s->dbId(), -1);
    EXPECT_EQ(stored()->count(), 0u);

    auto db = make<SavedSearchDb>();  // never opened
    EXPECT_FALSE(db->addItem(s));
    db->removeItem(s);
    EXPECT_EQ(db->getItems()->count(), 0u);
    EXPECT_EQ(db->getDefault(), nullptr);
}

TEST_F(SavedSearches, ASearchKeepsItsFilterAndOlderRowsRunAsBefore) {
    // A file whose rows were stored before the filter was kept: the table as always, no mark.
    auto fresh = make<SavedSearchDb>();
    ASSERT_TRUE(fresh->openDb());
    fresh->closeDb();
    sql("PRAGMA user_version = 0");
    sql("INSERT INTO savedSearch (keyword, locationUrl, categoryUrl, scope, sort, hasImage, "
        "maxPrice, minPrice) VALUES ('chair', 'http://mobile.bazaarnest.test', 'atq/', '0', "
        "'0', '0', '', '')");
    // One whose settings screen chose options that nothing applied then.
    sql("INSERT INTO savedSearch (keyword, locationUrl, categoryUrl, scope, sort, hasImage, "
        "maxPrice, minPrice) VALUES ('lamp', 'http://mobile.bazaarnest.test', 'atq/', '1', "
        "'2', '1', '900', '')");
    auto unfiltered = [](SavedSearch* search, const char* keyword) {
        EXPECT_EQ(text(ItemListViewController::pageUrl(search->listInfo(), 1)),
                  std::string("http://mobile.bazaarnest.test/search/atq?query=") + keyword +
                      "&srchType=&minAsk=&maxAsk=");
    };
    auto items = stored();
    ASSERT_EQ(items->count(), 2u);
    unfiltered(at(items, 0), "chair");
    unfiltered(at(items, 1), "lamp");
    EXPECT_EQ(text(at(items, 1)->listInfo()->searchSettings()->maxPrice()), "900");

    // A search saved now keeps its filter, across reopenings, beside the older rows.
    auto filtered = search("chair");
    auto info = filtered->listInfo();
    info->setLocationUrl(NS("http://mobile.bazaarnest.test"));
    info->setCatagoryUrl(NS("atq/"));
    info->setSearchType(NS("T"));
    info->setSortOrder(2);
    info->setHasImage(true);
    info->setPriceMax(NS("250"));
    info->keepFilterInSettings();
    filtered->saveToDb();
    const std::string withFilter =
        "http://mobile.bazaarnest.test/search/atq?query=chair&sort=priceasc&srchType=T&minAsk=&"
        "maxAsk=250&hasPic=1";
    for (int reopening = 0; reopening < 2; ++reopening) {
        items = stored();
        ASSERT_EQ(items->count(), 3u);
        unfiltered(at(items, 0), "chair");
        unfiltered(at(items, 1), "lamp");
        EXPECT_EQ(text(ItemListViewController::pageUrl(at(items, 2)->listInfo(), 1)), withFilter);
    }

    // An older row saved again from its settings runs with what they show.
    auto edited = at(items, 1);
    edited->listInfo()->takeFilterFromSettings();
    edited->saveToDb();
    items = stored();
    ASSERT_EQ(items->count(), 3u);
    EXPECT_EQ(text(ItemListViewController::pageUrl(at(items, 2)->listInfo(), 1)),
              "http://mobile.bazaarnest.test/search/atq?query=lamp&sort=priceasc&srchType=A&"
              "minAsk=&maxAsk=900&hasPic=1");
}
