// The location and category pickers against the stand-in site: when they download, what they
// store, how they close.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "AppScreensTesting.h"
#include "Classes/CatagoryViewController.h"
#include "Classes/CityViewController.h"
#include "Classes/MetroItem.h"
#include "Classes/RecentLocation.h"
#include "Classes/StateViewController.h"
#include "Classes/Theme.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSPathUtilities.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIViewRendering.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/ScopedEnv.h"

namespace {

std::string str(NSString* s) {
    return s ? s->utf8() : "(nil)";
}

Ref<NSIndexPath> row(NSInteger r, NSInteger s) {
    return NSIndexPath::indexPathForRow(r, s);
}

class Pickers : public AppScreensTest {
protected:
    // Opens the location screen over the navigation stack's root, as the Search screen does.
    Ref<StateViewController> openLocations() {
        auto screen = alloc<StateViewController>();
        screen->initWithNibName(NS("StateViewController"), nullptr);
        root->presentModalViewController(screen, false);
        settle();
        return screen;
    }
    Ref<CatagoryViewController> openCatagories() {
        auto screen = alloc<CatagoryViewController>();
        screen->initWithNibName(NS("CatagoryViewController"), nullptr);
        root->presentModalViewController(screen, false);
        settle();
        return screen;
    }
    void close() {
        root->dismissModalViewControllerAnimated(false);
        advanceRunLoop(1);
    }
    // The state's row in the states section.
    static NSInteger stateRow(StateViewController* screen, const char* name) {
        auto states = screen->stateArray();
        for (NSUInteger i = 0; i < states->count(); ++i)
            if (str(cast<State>(states->objectAtIndex(i))->name()) == name)
                return static_cast<NSInteger>(i);
        return -1;
    }
    // The state's metro screen, opened from the location screen.
    Ref<CityViewController> openMetros(StateViewController* screen, const char* state) {
        screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(),
                                                 row(stateRow(screen, state), 1));
        return as<CityViewController>(screen->modalViewController());
    }
    static NSInteger metroRow(CityViewController* screen, const char* name) {
        auto metros = screen->metroArray();
        for (NSUInteger i = 0; metros && i < metros->count(); ++i)
            if (str(cast<MetroItem>(metros->objectAtIndex(i))->name()) == name)
                return static_cast<NSInteger>(i);
        return -1;
    }
};

}  // namespace

TEST_F(Pickers, TheFirstLocationScreenFillsTheStoreAndLaterOnesWaitTenDays) {
    auto screen = openLocations();
    EXPECT_EQ(requestsFor("/about/sites", 1), 1);
    EXPECT_EQ(str(screen->title()), "Locations");
    EXPECT_TRUE(screen->activityLabel()->isHidden());
    EXPECT_GE(screen->stateArray()->count(), 10u);
    EXPECT_EQ(str(defaults->stringForKey(NS("Region"))), "US");
    EXPECT_EQ(screen->myTableView()->numberOfRowsInSection(1),
              static_cast<NSInteger>(screen->stateArray()->count()));
    EXPECT_FALSE(screen->tableViewTitleForHeaderInSection(screen->myTableView(), 0));
    EXPECT_EQ(str(screen->tableViewTitleForHeaderInSection(screen->myTableView(), 1)), "US");
    close();

    // The refresh-due test was not consulted while the store was short, so the next opening
    // asks it: due (never recorded), the index comes again.
    screen = openLocations();
    EXPECT_EQ(requestsFor("/about/sites", 1), 1);
    close();
    screen = openLocations();
    EXPECT_EQ(requestsFor("/about/sites"), 0);
    close();
    // Ten days and a second later it is due again.
    Clock::advance(864001);
    screen = openLocations();
    EXPECT_EQ(requestsFor("/about/sites", 1), 1);
    close();
}

TEST_F(Pickers, ARegionWithFewStatesDownloadsAtEveryOpeningAndTheToggleStoresTheRegion) {
    openLocations();
    close();
    requestsFor("/about/sites", 1);
    defaults->setObject(NS("Canada"), NS("Region"));
    auto screen = openLocations();
    EXPECT_LT(screen->stateArray()->count(), 10u);
    EXPECT_EQ(requestsFor("/about/sites", 1), 1);

    auto picker = screen->regionPickerView();
    EXPECT_TRUE(picker->isHidden());
    screen->regionButtonPressed(nullptr);
    EXPECT_FALSE(picker->isHidden());
    EXPECT_EQ(str(screen->regionButton()->title()), "Done");
    // It opens at the first region whatever was stored: "Done" right away stores "US".
    EXPECT_EQ(picker->selectedRowInComponent(0), 0);
    screen->regionButtonPressed(nullptr);
    EXPECT_TRUE(picker->isHidden());
    EXPECT_EQ(str(screen->regionButton()->title()), "Change Country or Continent");
    EXPECT_EQ(str(defaults->stringForKey(NS("Region"))), "US");
    EXPECT_GE(screen->stateArray()->count(), 10u);
    screen->regionButtonPressed(nullptr);
    picker->selectRow(4, 0, false);
    screen->regionButtonPressed(nullptr);
    EXPECT_EQ(str(defaults->stringForKey(NS("Region"))), "Oceania");
    EXPECT_EQ(screen->stateArray()->count(), 2u);
    EXPECT_EQ(screen->myTableView()->numberOfRowsInSection(1), 2);
    close();
}

TEST_F(Pickers, AFreshListReplacesTheStoredOneOnlyWhenTheScreenGoes) {
    openLocations();
    close();
    requestsFor("/about/sites", 1);
    // The stored list loses its states; the next opening shows what is stored and downloads.
    auto states = ManagedStore::statesOfRegion(context(), NS("US"));
    auto alabama = cast<State>(states->objectAtIndex(0));
    ASSERT_EQ(str(alabama->name()), "Alabama");
    context()->deleteObject(alabama);
    context()->save(nullptr);
    {
        auto screen = openLocations();
        EXPECT_EQ(requestsFor("/about/sites", 1), 1);
        EXPECT_TRUE(screen->updatedStateArray());
        EXPECT_EQ(stateRow(screen, "Alabama"), -1);
        close();
    }
    advanceRunLoop(1);
    EXPECT_EQ(str(cast<State>(ManagedStore::statesOfRegion(context(), NS("US"))->objectAtIndex(0))
                      ->name()),
              "Alabama");
}

TEST_F(Pickers, AFailedIndexShowsTheNetworkErrorAndKeepsTheStore) {
    bnsite::Fault fault;
    fault.host = "www.bazaarnest.test";
    fault.path = "/about/sites";
    fault.delivery = bnsite::Fault::Delivery::Reset;
    sitetest::site().addFault(fault);
    auto screen = openLocations();
    EXPECT_EQ(alertMessage(), "Network connection error");
    EXPECT_TRUE(screen->activityLabel()->isHidden());
    EXPECT_EQ(screen->stateArray()->count(), 0u);
    closePanels();
    // No states to scroll to after a region change: nothing raises.
    screen->regionButtonPressed(nullptr);
    screen->regionPickerView()->selectRow(2, 0, false);
    EXPECT_NO_THROW(screen->regionButtonPressed(nullptr));
    EXPECT_EQ(str(defaults->stringForKey(NS("Region"))), "Europe");
    close();
}

TEST_F(Pickers, AFailedRefreshKeepsItsTimeSoTheNextOpeningsSendNothing) {
    openLocations();  // fills the store without consulting the refresh time
    close();
    openLocations();  // due (never recorded): recorded now, the index comes again
    close();
    requestsFor("/about/sites", 1);
    auto recorded = defaults->objectForKey(NS("LastStateUpdate"));
    ASSERT_TRUE(recorded);

    Clock::advance(864001);
    bnsite::Fault fault;
    fault.host = "www.bazaarnest.test";
    fault.path = "/about/sites";
    fault.status = 503;
    sitetest::site().addFault(fault);
    auto screen = openLocations();
    EXPECT_EQ(requestsFor("/about/sites", 1), 1);
    EXPECT_EQ(alertMessage(), "Network connection error");
    EXPECT_GE(screen->stateArray()->count(), 10u);  // the stored list stays usable
    closePanels();
    close();
    // The time of the refresh that fell due stays: while the site fails, later openings neither
    // download nor complain.
    auto kept = as<NSNumber>(defaults->objectForKey(NS("LastStateUpdate")));
    ASSERT_TRUE(kept);
    EXPECT_GT(kept->longLongValue(), as<NSNumber>(recorded)->longLongValue());
    for (int i = 0; i < 2; ++i) {
        screen = openLocations();
        EXPECT_EQ(requestsFor("/about/sites"), 0);
        EXPECT_EQ(alertMessage(), "");
        EXPECT_GE(screen->stateArray()->count(), 10u);
        close();
    }
}

TEST_F(Pickers, AStatesCityIsChosenAndAddedToTheRecentOnes) {
    auto screen = openLocations();
    NSInteger alabama = stateRow(screen, "Alabama");
    ASSERT_GE(alabama, 0);
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(alabama, 1));
    auto metros = as<CityViewController>(screen->modalViewController());
    ASSERT_TRUE(metros);
    metros->view();
    EXPECT_EQ(str(metros->title()), "Alabama");
    EXPECT_EQ(str(metros->navigationBar()->topItem()->title()), "Alabama");
    EXPECT_TRUE(metros->activityLabel()->isHidden());
    NSInteger mobile = metroRow(metros, "Mobile");
    ASSERT_GE(mobile, 0);
    metros->tableViewDidSelectRowAtIndexPath(metros->myTableView(), row(mobile, 0));
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationName"))), "Mobile");
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationUrl"))), "http://mobile.bazaarnest.test");
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationState"))), "Alabama");
    auto recent = RecentLocation::getRecentLocations();
    ASSERT_EQ(recent->count(), 1u);
    EXPECT_EQ(str(cast<RecentLocation>(recent->objectAtIndex(0))->city()), "Mobile");

    // The recent one heads the next list; choosing it closes the screen without touching the
    // ring.
    defaults->removeObjectForKey(NS("LocationName"));
    screen = openLocations();
    EXPECT_EQ(str(screen->tableViewTitleForHeaderInSection(screen->myTableView(), 0)),
              "Recent Locations");
    auto cell = screen->tableViewCellForRowAtIndexPath(screen->myTableView(), row(0, 0));
    EXPECT_EQ(str(cell->textLabel()->text()), "Mobile");
    EXPECT_EQ(str(cell->detailTextLabel()->text()), "Alabama");
    screen->tableViewDidSelectRowAtIndexPath(screen->myTableView(), row(0, 0));
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationName"))), "Mobile");
    EXPECT_EQ(RecentLocation::getRecentLocations()->count(), 1u);
}

TEST_F(Pickers, TheMetroScreensBackButtonIsPointedAndGoesBack) {
    auto screen = openLocations();
    auto metros = openMetros(screen, "Alabama");
    ASSERT_TRUE(metros);
    auto bar = metros->navigationBar();
    bar->layoutIfNeeded();
    auto back = as<UIButton>(bar->backButtonView());
    ASSERT_TRUE(back);
    EXPECT_EQ(str(back->currentTitle()), "Back");
    EXPECT_EQ(str(bar->topItem()->title()), "Alabama");
    // Pointed as a pushed screen's: the bar's colour at the button's top-left corner, the
    // button's face at the left end of its middle.
    auto image = UIViewRenderImage(bar, 1);
    CGRect f = back->frame();
    int x0 = int(f.origin.x), top = int(f.origin.y) + 1, mid = int(CGRectGetMidY(f));
    auto barAt = [&](int y) { return pixelAt(image, x0 - 3, y); };
    ASSERT_FALSE(near(pixelAt(image, x0 + 20, mid), barAt(mid), 6));
    EXPECT_TRUE(near(pixelAt(image, x0 + 3, top + 3), barAt(top + 3), 3))
        << pixelAt(image, x0 + 3, top + 3);
    EXPECT_FALSE(near(pixelAt(image, x0 + 2, mid), barAt(mid), 6)) << pixelAt(image, x0 + 2, mid);
    // Its tap takes the metro screen away; the bar keeps its button while it leaves.
    back->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_TRUE(bar->backButtonView());
    advanceRunLoop(1);
    EXPECT_FALSE(screen->modalViewController());
    EXPECT_EQ(root->modalViewController(), screen);
    close();
}

TEST_F(Pickers, ASubAreaClosesAllThreeScreens) {
    auto screen = openLocations();
    auto metros = openMetros(screen, "Massachusetts");
    ASSERT_TRUE(metros);
    NSInteger boston = metroRow(metros, "Boston");
    ASSERT_GE(boston, 0);
    auto bostonItem = cast<MetroItem>(metros->metroArray()->objectAtIndex(NSUInteger(boston)));
    EXPECT_TRUE(bostonItem->hasSuburb());
    auto cell = metros->tableViewCellForRowAtIndexPath(metros->myTableView(), row(boston, 0));
    EXPECT_EQ(cell->accessoryType(), UITableViewCellAccessoryDisclosureIndicator);
    metros->tableViewDidSelectRowAtIndexPath(metros->myTableView(), row(boston, 0));
    auto areas = as<CityViewController>(metros->modalViewController());
    ASSERT_TRUE(areas);
    EXPECT_EQ(str(areas->parentMetro()->name()), "Boston");
    settle();
    EXPECT_EQ(str(areas->title()), "Boston");
    EXPECT_TRUE(areas->activityLabel()->isHidden());
    // The parent first, then its sub-areas.
    ASSERT_GT(areas->metroArray()->count(), 1u);
    EXPECT_EQ(str(cast<MetroItem>(areas->metroArray()->objectAtIndex(0))->name()), "Boston");
    NSInteger west = metroRow(areas, "Metro West");
    ASSERT_GE(west, 0);
    EXPECT_EQ(str(cast<MetroItem>(areas->metroArray()->objectAtIndex(NSUInteger(west)))->url()),
              "http://boston.bazaarnest.test/bmw");
    areas->tableViewDidSelectRowAtIndexPath(areas->myTableView(), row(west, 0));
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_FALSE(screen->modalViewController());
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationName"))), "Metro West");
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationState"))), "Massachusetts");
}

TEST_F(Pickers, SubAreasLoadBeforeTheViewAndAFailureLeavesAnEmptyList) {
    auto parent = MetroItem::itemWithName(NS("Boston"), NS("http://boston.bazaarnest.test"),
                                          NS("Massachusetts"), NS("US"));
    bnsite::Fault fault;
    fault.host = "boston.bazaarnest.test";
    fault.delivery = bnsite::Fault::Delivery::Reset;
    sitetest::site().addFault(fault);
    auto areas = alloc<CityViewController>();
    areas->initWithNibName(NS("CityViewController"), nullptr);
    areas->loadSuburb(parent);  // before the view: the label comes with the view
    EXPECT_FALSE(areas->isViewLoaded());
    areas->view();
    EXPECT_FALSE(areas->activityLabel()->isHidden());
    EXPECT_EQ(str(areas->title()), "Boston");
    settle();
    EXPECT_TRUE(areas->activityLabel()->isHidden());
    EXPECT_EQ(alertMessage(), "Network connection error");
    EXPECT_EQ(areas->myTableView()->numberOfRowsInSection(0), 0);
}

TEST_F(Pickers, AnErrorPageForSubAreasLeavesTheWholeMetroToChoose) {
    auto parent = MetroItem::itemWithName(NS("Boston"), NS("http://boston.bazaarnest.test"),
                                          NS("Massachusetts"), NS("US"));
    bnsite::Fault fault;
    fault.host = "boston.bazaarnest.test";
    fault.status = 503;
    sitetest::site().addFault(fault);
    auto areas = alloc<CityViewController>();
    areas->initWithNibName(NS("CityViewController"), nullptr);
    areas->loadSuburb(parent);
    areas->view();
    settle();
    EXPECT_TRUE(areas->activityLabel()->isHidden());
    EXPECT_EQ(alertMessage(), "Network connection error");
    ASSERT_EQ(areas->myTableView()->numberOfRowsInSection(0), 1);
    auto cell = areas->tableViewCellForRowAtIndexPath(areas->myTableView(), row(0, 0));
    EXPECT_EQ(str(cell->textLabel()->text()), "Boston");
    closePanels();
    // Chosen, it is stored as any location.
    areas->tableViewDidSelectRowAtIndexPath(areas->myTableView(), row(0, 0));
    advanceRunLoop(1);
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationName"))), "Boston");
    EXPECT_EQ(str(defaults->stringForKey(NS("LocationUrl"))), "http://boston.bazaarnest.test");
}

TEST_F(Pickers, SubAreaMetrosAreTheTwentyTwoSiteRootsExactly) {
    EXPECT_TRUE(StateViewController::metroHasSuburb(NS("http://boston.bazaarnest.test")));
    EXPECT_TRUE(StateViewController::metroHasSuburb(NS("http://toronto.bazaarnest.test")));
    EXPECT_FALSE(StateViewController::metroHasSuburb(NS("http://boston.bazaarnest.test/")));
    EXPECT_FALSE(StateViewController::metroHasSuburb(NS("http://worcester.bazaarnest.test")));
    EXPECT_FALSE(StateViewController::metroHasSuburb(nullptr));
}

TEST_F(Pickers, CategoriesDownloadForANewLocationOnceAndAgainForANewVersion) {
    auto screen = openCatagories();
    // No location: the default city's page.
    EXPECT_EQ(requestsFor("GET http://boston.bazaarnest.test/ ", 1), 1);
    EXPECT_EQ(str(screen->title()), "Catagories");
    EXPECT_EQ(str(defaults->stringForKey(NS("CatagoryLocationUrl"))),
              "http://boston.bazaarnest.test/");
    EXPECT_EQ(defaults->integerForKey(NS("CatagoryVersion")), 2);
    ASSERT_GT(screen->sectionArray()->count(), 6u);
    close();

    screen = openCatagories();
    EXPECT_EQ(requestsFor("bazaarnest.test/"), 0);
    close();

    defaults->setObject(NS("http://mobile.bazaarnest.test"), NS("LocationUrl"));
    screen = openCatagories();
    EXPECT_EQ(requestsFor("GET http://mobile.bazaarnest.test/ ", 1), 1);
    close();

    defaults->setInteger(3, NS("CatagoryVersion"));
    screen = openCatagories();
    EXPECT_EQ(requestsFor("GET http://mobile.bazaarnest.test/ ", 1), 1);
    EXPECT_EQ(defaults->integerForKey(NS("CatagoryVersion")), 2);
    close();
}

TEST_F(Pickers, AFailedCityPageIsTriedAgainAtTheNextOpening) {
    bnsite::Fault fault;
    fault.host = "boston.bazaarnest.test";
    fault.delivery = bnsite::Fault::Delivery::Reset;
    sitetest::site().addFault(fault);
    auto screen = openCatagories();
    // The picker's quick tip came first: the message waits for it.
    EXPECT_EQ(alertMessage(), "Tap the index on the right to move through the categories quickly.");
    ASSERT_TRUE(lastPanel()->clickButtonAtIndex(0));
    EXPECT_EQ(alertMessage(), "Network connection error");
    EXPECT_FALSE(defaults->objectForKey(NS("CatagoryLocationUrl")));
    EXPECT_FALSE(defaults->objectForKey(NS("CatagoryVersion")));
    closePanels();
    close();
    sitetest::site().clearFaults();
    requestsFor("boston", 1);
    screen = openCatagories();
    EXPECT_EQ(requestsFor("GET http://boston.bazaarnest.test/ ", 1), 1);
    EXPECT_GT(screen->sectionArray()->count(), 0u);
    close();
}

TEST_F(Pickers, TheCategoryTableIndexImagesAndChoice) {
    // Two of the section images, in a main bundle of the test's own in its sandbox: never the
    // build's folder, which copies of the program running at once would share.
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(4, 4), false, 1);
    auto png = UIImagePNGRepresentation(UIGraphicsGetImageFromCurrentImageContext());
    UIGraphicsEndImageContext();
    auto folder = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("Pickers.app"));
    std::filesystem::create_directories(folder->utf8());
    // Put back (after the variable) however the test ends.
    struct Restore {
        std::string folder;
        ~Restore() {
            NSBundle::resetMainBundle();
            UIImage::flushNamedCache();
            std::filesystem::remove_all(folder);
        }
    } restore{folder->utf8()};
    ScopedEnv bundle("BAZAARNEST_BUNDLE", folder->utf8());
    NSBundle::resetMainBundle();
    for (NSString* name : {NS("supermarket.png"), NS("home.png")})
        ASSERT_TRUE(png->writeToFile(folder->stringByAppendingPathComponent(name), true));
    UIImage::flushNamedCache();
    auto screen = openCatagories();
    auto table = screen->myTableView();
    auto index = screen->sectionIndexTitlesForTableView(table);
    ASSERT_EQ(index->count(), screen->sectionArray()->count());
    for (NSUInteger i = 0; i < index->count(); ++i) {
        auto title = as<NSString>(index->objectAtIndex(i));
        EXPECT_EQ(title->rangeOfString(NS("/Trade")).location, NSNotFound) << str(title);
        EXPECT_EQ(screen->tableViewSectionForSectionIndexTitle(table, title, NSInteger(i)),
                  NSInteger(i));
    }
    EXPECT_EQ(str(screen->tableViewTitleForHeaderInSection(table, 0)), "For Sale");
    // Row 0 of the first seven sections carries its section's image; other rows none.
    auto first = screen->tableViewCellForRowAtIndexPath(table, row(0, 0));
    ASSERT_TRUE(first->imageView()->image());
    EXPECT_NE(str(first->imageView()->image()->sourceName()).find("supermarket.png"),
              std::string::npos);
    auto housing = screen->tableViewCellForRowAtIndexPath(table, row(0, 3));
    ASSERT_TRUE(housing->imageView()->image());
    EXPECT_NE(str(housing->imageView()->image()->sourceName()).find("home.png"), std::string::npos);
    EXPECT_FALSE(screen->tableViewCellForRowAtIndexPath(table, row(1, 0))->imageView()->image());
    // Alternating backgrounds.
    auto odd = screen->tableViewCellForRowAtIndexPath(table, row(1, 0));
    EXPECT_TRUE(odd->backgroundColor()->isEqual(Theme::getCellBackgroundColor(row(1, 0))));
    EXPECT_FALSE(odd->backgroundColor()->isEqual(first->backgroundColor()));

    auto chosen = screen->getCatagoryAt(row(0, 0));
    screen->tableViewDidSelectRowAtIndexPath(table, row(0, 0));
    advanceRunLoop(1);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(str(defaults->stringForKey(NS("CatagoryName"))), str(chosen->name()));
    EXPECT_EQ(str(defaults->stringForKey(NS("CatagoryUrl"))), str(chosen->url()));
    EXPECT_EQ(str(defaults->stringForKey(NS("CatagorySection"))), "For Sale");
}

TEST_F(Pickers, TheQuickTipShowsOnce) {
    auto screen = openCatagories();
    screen->viewDidAppear(false);
    auto tip = as<UIAlertView>(lastPanel());
    ASSERT_TRUE(tip);
    EXPECT_EQ(str(tip->title()), "Quick Tip");
    EXPECT_EQ(alertMessage(), "Tap the index on the right to move through the categories quickly.");
    EXPECT_TRUE(defaults->boolForKey(NS("tipCategory")));
    closePanels();
    screen->viewDidAppear(false);
    EXPECT_FALSE(lastPanel());
    close();
}
