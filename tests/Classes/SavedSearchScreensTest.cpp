// The saved searches list, a search's settings screen and its option cells; the search filter.
#include <gtest/gtest.h>

#include <filesystem>

#include "AppScreensTesting.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SavedSearchController.h"
#include "Classes/SearchFilterController.h"
#include "Classes/SearchSettingController.h"
#include "Classes/SearchSettingViewCell.h"
#include "Classes/SearchSettings.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSIndexPath.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewRendering.h"
#include "support/SqlTesting.h"

namespace {

std::string str(NSString* s) {
    return s ? s->utf8() : "(nil)";
}

class SavedSearchScreens : public AppScreensTest {
protected:
    Ref<SearchSettingController> settingsFor(SavedSearch* search, const char* categoryUrl) {
        auto screen = alloc<SearchSettingController>();
        screen->initWithNibName(NS("SearchSettingController"), nullptr);
        screen->setSavedSearch(search);
        screen->setCategoryUrl(categoryUrl ? NSString::fromUTF8(categoryUrl) : nullptr);
        screen->view();
        return screen;
    }
    static std::string keys(SearchSettingController* screen) {
        std::string out;
        for (NSObject* o : *screen->cells()) {
            if (!out.empty()) out += "|";
            out += str(static_cast<SearchSettingViewCell*>(o)->getKey());
        }
        return out;
    }
    static Ref<SearchSettingViewCell> cellNamed(SearchSettingController* screen, const char* key) {
        for (NSObject* o : *screen->cells()) {
            auto cell = as<SearchSettingViewCell>(o);
            if (str(cell->getKey()) == key) return cell;
        }
        return nullptr;
    }
    static Ref<SavedSearch> search(const char* keyword, const char* categoryUrl) {
        auto s = make<SavedSearch>();
        s->listInfo()->setSearchKey(NSString::fromUTF8(keyword));
        s->listInfo()->setCatagoryUrl(NSString::fromUTF8(categoryUrl));
        return s;
    }
    static Ref<NSMutableArray> stored() {
        auto db = make<SavedSearchDb>();
        db->openDb();
        auto items = db->getItems();
        db->closeDb();
        return items;
    }
};

}  // namespace

TEST_F(SavedSearchScreens, TheRowsFollowTheCategory) {
    auto s = search("flat", "hhh/");
    EXPECT_EQ(keys(settingsFor(s, "hhh/")),
              "Maximum Rent|Minimum Rent|Number of Bedrooms|Dogs Allowed|Cats Allowed|Post Has "
              "Image|Search Scope|Search Sort|Reset Settings");
    EXPECT_EQ(keys(settingsFor(s, "off/")),
              "Maximum Rent|Minimum Rent|Maximum Sq.Ft|Minimum Sq.Ft|Post Has Image|Search "
              "Scope|Search Sort|Reset Settings");
    EXPECT_EQ(keys(settingsFor(s, "sof/")),
              "Telecommute|Contract|Parttime|Non-profit|Post Has Image|Search Scope|Search "
              "Sort|Reset Settings");
    EXPECT_EQ(keys(settingsFor(s, "w4m/")),
              "Maximum Age|Minimum Age|Post Has Image|Search Scope|Search Sort|Reset Settings");
    EXPECT_EQ(keys(settingsFor(s, "zzz/")),
              "Maximum Price|Minimum Price|Post Has Image|Search Scope|Search Sort|Reset "
              "Settings");
    EXPECT_EQ(keys(settingsFor(s, nullptr)),
              "Maximum Price|Minimum Price|Post Has Image|Search Scope|Search Sort|Reset "
              "Settings");
    EXPECT_TRUE(SearchSettingController::isPartOf(NS("aap/"), {"hhh/", "aap/"}));
    EXPECT_FALSE(SearchSettingController::isPartOf(NS("aap"), {"hhh/", "aap/"}));
}

TEST_F(SavedSearchScreens, CellsShowTheirKindAndTheStoredValues) {
    auto s = search("flat", "hhh/");
    auto settings = s->listInfo()->searchSettings();
    settings->setMaxRent(NS("1500"));
    settings->setNumBedRoom(2);
    settings->setCats(true);
    settings->setScope(1);
    settings->setSort(3);
    auto screen = settingsFor(s, "hhh/");
    auto rent = cellNamed(screen, "Maximum Rent");
    EXPECT_EQ(rent->type(), 1);
    EXPECT_FALSE(rent->textField()->isHidden());
    EXPECT_EQ(rent->textField()->keyboardType(), UIKeyboardTypeNumbersAndPunctuation);
    EXPECT_EQ(str(rent->getValue()), "1500");
    EXPECT_TRUE(rent->boolSwitch()->isHidden());
    EXPECT_EQ(str(cellNamed(screen, "Number of Bedrooms")->getValue()), "2");
    auto cats = cellNamed(screen, "Cats Allowed");
    EXPECT_EQ(cats->type(), 2);
    EXPECT_FALSE(cats->boolSwitch()->isHidden());
    EXPECT_TRUE(cats->getBoolValue());
    EXPECT_FALSE(cellNamed(screen, "Dogs Allowed")->getBoolValue());
    auto sort = cellNamed(screen, "Search Sort");
    EXPECT_EQ(sort->type(), 3);
    EXPECT_TRUE(sort->label()->isHidden());
    EXPECT_EQ(sort->choice()->numberOfSegments(), 4u);
    EXPECT_EQ(sort->getChoice(), 3);
    EXPECT_EQ(str(sort->getValue()), "High Price");
    EXPECT_EQ(cellNamed(screen, "Search Scope")->getChoice(), 1);
    auto reset = cellNamed(screen, "Reset Settings");
    EXPECT_EQ(reset->type(), 4);
    EXPECT_FALSE(reset->button()->isHidden());
    EXPECT_EQ(str(reset->button()->titleForState(UIControlStateNormal)), "Reset Settings");
    EXPECT_EQ(screen->tableViewNumberOfRowsInSection(screen->myTableView(), 0), 9);
    EXPECT_TRUE(screen->tableViewViewForFooterInSection(screen->myTableView(), 0));
}

TEST_F(SavedSearchScreens, DoneStoresTheRowsAndUneditedFieldsStayAsStored) {
    auto s = search("flat", "hhh/");
    auto settings = s->listInfo()->searchSettings();
    settings->setInternship(true);
    settings->setGigOption(2);
    auto screen = settingsFor(s, "hhh/");
    root->presentModalViewController(screen, false);
    cellNamed(screen, "Minimum Rent")->textField()->setText(NS("700"));
    cellNamed(screen, "Number of Bedrooms")->textField()->setText(NS("two"));
    cellNamed(screen, "Dogs Allowed")->boolSwitch()->setOn(true);
    cellNamed(screen, "Post Has Image")->boolSwitch()->setOn(true);
    cellNamed(screen, "Search Sort")->choice()->setSelectedSegmentIndex(2);
    screen->doneButtonPressed(nullptr);
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());

    auto items = stored();
    ASSERT_EQ(items->count(), 1u);
    auto saved = cast<SavedSearch>(items->objectAtIndex(0))->listInfo()->searchSettings();
    EXPECT_EQ(str(saved->minRent()), "700");
    EXPECT_EQ(saved->numBedRoom(), 0);
    EXPECT_TRUE(saved->dogs());
    EXPECT_TRUE(saved->hasImage());
    EXPECT_EQ(saved->sort(), 2);
    EXPECT_TRUE(saved->internship());
    EXPECT_EQ(saved->gigOption(), 2);
    EXPECT_GE(s->dbId(), 0);
}

TEST_F(SavedSearchScreens, AnOlderSearchShowsTheFilterItRunsWithUntilASettingChanges) {
    // A file of the earlier code: its rows hold settings that no search ran with (a title-only
    // scope, a price sort, pictures only and a price bound), and no mark.
    std::string path = make<SavedSearchDb>()->dbFilePath()->utf8();
    std::filesystem::remove(path);
    auto create = make<SavedSearchDb>();
    ASSERT_TRUE(create->openDb());
    create->closeDb();
    runSql(path,
           {"PRAGMA user_version = 0",
            "INSERT INTO savedSearch (keyword, locationUrl, categoryUrl, scope, sort, hasImage, "
            "maxPrice, minPrice, maxRent) VALUES ('lamp', 'http://mobile.bazaarnest.test', 'atq/', "
            "'0', '2', '1', '900', '', '')",
            "INSERT INTO savedSearch (keyword, locationUrl, categoryUrl, scope, sort, hasImage, "
            "maxPrice, minPrice, maxRent) VALUES ('flat', 'http://mobile.bazaarnest.test', 'hhh/', "
            "'0', '3', '0', '900', '', '2000')"});
    auto url = [](SavedSearch* search) {
        return str(ItemListViewController::pageUrl(search->listInfo(), 1));
    };
    auto find = [&](const char* keyword) -> Ref<SavedSearch> {
        auto items = stored();
        for (NSObject* o : *items) {
            auto search = as<SavedSearch>(o);
            if (str(search->listInfo()->searchKey()) == keyword) return search;
        }
        return nullptr;
    };
    const std::string lampAsRun =
        "http://mobile.bazaarnest.test/search/atq?query=lamp&srchType=&minAsk=&maxAsk=";
    const std::string flatAsRun =
        "http://mobile.bazaarnest.test/search/hhh?query=flat&srchType=&minAsk=&maxAsk=";
    auto lamp = find("lamp");
    ASSERT_TRUE(lamp);
    EXPECT_FALSE(lamp->filterKept());
    EXPECT_EQ(url(lamp), lampAsRun);
    int32_t lampId = lamp->dbId();

    // Its screen shows what it runs with: the entire post, the site's order, no picture or
    // price bound.
    auto screen = settingsFor(lamp, "atq/");
    root->presentModalViewController(screen, false);
    EXPECT_EQ(cellNamed(screen, "Search Scope")->getChoice(), 1);
    EXPECT_EQ(str(cellNamed(screen, "Search Scope")->getValue()), "Entire Post");
    EXPECT_EQ(cellNamed(screen, "Search Sort")->getChoice(), 0);
    EXPECT_FALSE(cellNamed(screen, "Post Has Image")->getBoolValue());
    auto bound = cellNamed(screen, "Maximum Price")->getValue();
    EXPECT_TRUE(!bound || bound->length() == 0) << str(bound);
    // Done without a change: the row and what the search finds stay as they were.
    screen->doneButtonPressed(nullptr);
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(url(lamp), lampAsRun);
    auto again = find("lamp");
    ASSERT_TRUE(again);
    EXPECT_EQ(again->dbId(), lampId);
    EXPECT_FALSE(again->filterKept());
    EXPECT_EQ(url(again), lampAsRun);
    EXPECT_EQ(again->listInfo()->searchSettings()->sort(), 2);
    EXPECT_EQ(str(again->listInfo()->searchSettings()->maxPrice()), "900");

    // A housing search shows no price rows; changing one of its own settings stores the
    // search with the filter it ran with: the price bound stored long ago stays out of force.
    auto flat = find("flat");
    ASSERT_TRUE(flat);
    screen = settingsFor(flat, "hhh/");
    root->presentModalViewController(screen, false);
    screen->doneButtonPressed(nullptr);
    advanceRunLoop(1);
    flat = find("flat");
    ASSERT_TRUE(flat);
    EXPECT_FALSE(flat->filterKept());
    EXPECT_EQ(url(flat), flatAsRun);
    screen = settingsFor(flat, "hhh/");
    root->presentModalViewController(screen, false);
    EXPECT_EQ(str(cellNamed(screen, "Maximum Rent")->getValue()), "2000");
    cellNamed(screen, "Dogs Allowed")->boolSwitch()->setOn(true);
    screen->doneButtonPressed(nullptr);
    advanceRunLoop(1);
    EXPECT_TRUE(flat->filterKept());
    const std::string flatEdited =
        "http://mobile.bazaarnest.test/search/hhh?query=flat&srchType=A&minAsk=&maxAsk=";
    EXPECT_EQ(url(flat), flatEdited);
    auto edited = find("flat");
    ASSERT_TRUE(edited);
    EXPECT_TRUE(edited->filterKept());
    EXPECT_EQ(url(edited), flatEdited);
    EXPECT_TRUE(edited->listInfo()->searchSettings()->dogs());
    EXPECT_EQ(str(edited->listInfo()->searchSettings()->maxRent()), "2000");
    // The other older search is left as it was.
    EXPECT_EQ(url(find("lamp")), lampAsRun);
    std::filesystem::remove(path);
}

TEST_F(SavedSearchScreens, ResetSettingsClearsTheRowsAndStoresNothingBeforeDone) {
    auto s = search("job", "sof/");
    s->listInfo()->searchSettings()->setTelecommute(true);
    s->listInfo()->searchSettings()->setSort(1);
    auto screen = settingsFor(s, "sof/");
    auto telecommute = cellNamed(screen, "Telecommute");
    EXPECT_TRUE(telecommute->getBoolValue());
    cellNamed(screen, "Reset Settings")->button()->simulateTap();
    EXPECT_FALSE(telecommute->getBoolValue());
    EXPECT_EQ(cellNamed(screen, "Search Sort")->getChoice(), 0);
    EXPECT_EQ(stored()->count(), 0u);
    screen->saveSettings();
    auto items = stored();
    ASSERT_EQ(items->count(), 1u);
    auto saved = cast<SavedSearch>(items->objectAtIndex(0))->listInfo()->searchSettings();
    EXPECT_FALSE(saved->telecommute());
    EXPECT_EQ(saved->sort(), 0);
}

TEST_F(SavedSearchScreens, TheListLeavesOutTheDefaultAndOpensASearchsSettings) {
    auto plain = search("bike", "bik/");
    plain->saveToDb();
    auto byDefault = search(kSavedSearchDefaultKeyword->utf8().c_str(), "sss/");
    byDefault->saveToDb();
    auto list = alloc<SavedSearchController>();
    list->initWithNibName(NS("SavedSearchController"), nullptr);
    nav->pushViewController(list, false);
    advanceRunLoop(1);
    ASSERT_EQ(list->savedSearchList()->count(), 1u);
    auto table = list->tableView();
    EXPECT_EQ(table->numberOfRowsInSection(0), 1);
    auto path = NSIndexPath::indexPathForRow(0, 0);
    auto cell = list->tableViewCellForRowAtIndexPath(table, path);
    EXPECT_EQ(str(cell->textLabel()->text()), "bike");
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDetailDisclosureButton);
    EXPECT_FALSE(
        list->tableViewCanEditRowAtIndexPath(table, path) &&
        respondsTo(list.get(), Selector::named("tableView:commitEditingStyle:forRowAtIndexPath:")));

    list->tableViewAccessoryButtonTappedForRowWithIndexPath(table, path);
    auto settings = as<SearchSettingController>(list->modalViewController());
    ASSERT_TRUE(settings);
    EXPECT_EQ(str(settings->categoryUrl()), "bik/");
    EXPECT_EQ(str(settings->savedSearch()->listInfo()->searchKey()), "bike");
    list->dismissModalViewControllerAnimated(false);
    advanceRunLoop(1);
    nav->popViewControllerAnimated(false);
}

TEST_F(SavedSearchScreens, ASavedBrowseIsListedByItsCategory) {
    // A browse (no keyword) saved twice, then a search.
    for (int i = 0; i < 2; ++i) {
        auto browse = make<SavedSearch>();
        browse->listInfo()->setCatagory(NS("Bikes"));
        browse->listInfo()->setCatagoryUrl(NS("bik/"));
        browse->saveToDb();
    }
    search("lamp", "atq/")->saveToDb();
    auto list = alloc<SavedSearchController>();
    list->initWithNibName(NS("SavedSearchController"), nullptr);
    nav->pushViewController(list, false);
    advanceRunLoop(1);
    auto table = list->tableView();
    ASSERT_EQ(table->numberOfRowsInSection(0), 3);
    std::string names;
    for (NSInteger i = 0; i < 3; ++i) {
        auto cell = list->tableViewCellForRowAtIndexPath(table, NSIndexPath::indexPathForRow(i, 0));
        names += str(cell->textLabel()->text()) + "|";
        // The row's picture shows its name: dark ink where the label stands.
        cell->setFrame(CGRectMake(0, 0, 320, 44));
        cell->layoutIfNeeded();
        auto px = UIImagePixelsOf(UIViewRenderImage(cell, 1)->CGImage());
        int ink = 0;
        for (int y = 8; y < 36; ++y)
            for (int x = 10; x < 100; ++x) {
                uint32_t p = px.argb[size_t(y) * px.width + size_t(x)];
                ink += (p >> 24) > 200 && ((p >> 16) & 0xFF) < 100 && (p & 0xFF) < 100;
            }
        EXPECT_GT(ink, 20) << "row " << i;
    }
    EXPECT_EQ(names, "Bikes|Bikes|lamp|");
    nav->popViewControllerAnimated(false);
}

TEST_F(SavedSearchScreens, TheFilterStoresTrimmedPricesAndResetsAtOnce) {
    defaults->setObject(NS("40"), NS("PriceMin"));
    defaults->setInteger(3, NS("SortOrder"));
    defaults->setBool(true, NS("HasImage"));
    auto filter = alloc<SearchFilterController>();
    filter->initWithNibName(NS("SearchFilterController"), nullptr);
    root->presentModalViewController(filter, false);
    EXPECT_EQ(str(filter->minPriceField()->text()), "40");
    EXPECT_EQ(filter->sortControl()->selectedSegmentIndex(), 3);
    EXPECT_TRUE(filter->hasImageSwitch()->isOn());
    EXPECT_EQ(filter->scopeControl()->selectedSegmentIndex(), 0);
    auto version = NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleVersion"));
    EXPECT_EQ(str(filter->versionLabel()->text()),
              str(NSString::stringWithFormat(NS("v%@"), version.get())));

    filter->maxPriceField()->setText(NS(" \t250x \t"));
    filter->scopeControl()->setSelectedSegmentIndex(1);
    EXPECT_TRUE(filter->textFieldShouldReturn(filter->maxPriceField()));
    filter->doneButtonPressed(nullptr);
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(str(defaults->stringForKey(NS("PriceMax"))), "250x");
    EXPECT_EQ(defaults->integerForKey(NS("TitleOnly")), 1);

    filter = alloc<SearchFilterController>();
    filter->initWithNibName(NS("SearchFilterController"), nullptr);
    root->presentModalViewController(filter, false);
    filter->resetFilter(nullptr);
    // Stored at once, before "Done".
    EXPECT_EQ(str(defaults->stringForKey(NS("PriceMax"))), "");
    EXPECT_EQ(str(defaults->stringForKey(NS("PriceMin"))), "");
    EXPECT_FALSE(defaults->boolForKey(NS("HasImage")));
    EXPECT_EQ(defaults->integerForKey(NS("TitleOnly")), 0);
    EXPECT_EQ(defaults->integerForKey(NS("SortOrder")), 0);
    EXPECT_TRUE(root->modalViewController());
    root->dismissModalViewControllerAnimated(false);
}
