// The Search screen: the styled buttons, the filter button, the labels, the notification at
// each appearance, and the query it makes from the preferences.
#include <gtest/gtest.h>

#include <vector>

#include "AppScreensTesting.h"
#include "Classes/ItemListViewController.h"
#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SearchViewController.h"
#include "Foundation/NSNotification.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "ui/style/DZButton.h"

namespace {

Ref<NSString> normalized(const char* url) {
    return SearchViewController::normalizedCatagoryUrl(NSString::fromUTF8(url));
}

std::string str(NSString* s) {
    return s ? s->utf8() : "(nil)";
}

class Counter : public NSObject {
    NS_OBJECT(Counter, NSObject)
    static void describeClass(RuntimeClass& c) { c.method("heard:", &Counter::heard); }

public:
    void heard(NSNotification* n) {
        ++count;
        sender = n->object().get();
    }
    int count = 0;
    NSObject* sender = nullptr;
};

class SearchScreen : public AppScreensTest {
protected:
    Ref<SearchViewController> makeScreen() {
        auto screen = alloc<SearchViewController>();
        screen->initWithNibName(NS("SearchViewController"), nullptr);
        screen->view();
        screen->viewWillAppear(false);
        return screen;
    }
    void chooseLocation() {
        defaults->setObject(NS("Mobile"), NS("LocationName"));
        defaults->setObject(NS("http://mobile.bazaarnest.test"), NS("LocationUrl"));
        defaults->setObject(NS("Alabama"), NS("LocationState"));
    }
    void chooseCategory(const char* name, const char* url, const char* section) {
        defaults->setObject(NSString::fromUTF8(name), NS("CatagoryName"));
        defaults->setObject(NSString::fromUTF8(url), NS("CatagoryUrl"));
        defaults->setObject(NSString::fromUTF8(section), NS("CatagorySection"));
    }
    // The styled buttons in the order they were added.
    static std::vector<Ref<DZButton>> styledButtons(UIView* view) {
        std::vector<Ref<DZButton>> out;
        for (auto& sub : view->subviewList())
            if (auto b = as<DZButton>(sub)) out.push_back(b);
        return out;
    }
};

}  // namespace

TEST_F(SearchScreen, CategoryPathsAreNormalisedStepByStep) {
    EXPECT_EQ(str(normalized("sss/")), "sss/");
    EXPECT_EQ(str(normalized("apt/")), "aap/");
    EXPECT_EQ(str(normalized("http://mobile.bazaarnest.test/i/autos")), "cta/");
    EXPECT_EQ(str(normalized("http://mobile.bazaarnest.test/i/apartments")), "aap/");
    EXPECT_EQ(str(normalized("http://mobile.bazaarnest.test/i/browse?category=bik")), "bik/");
    EXPECT_EQ(str(normalized("http://mobile.bazaarnest.test/cgi-bin/browse.cgi?category=fua&x=1")),
              "fua/");
    // Still a full URL after the earlier steps: the letters at its start.
    EXPECT_EQ(str(normalized("http://mobile.bazaarnest.test/bik/")), "http/");
    EXPECT_EQ(str(normalized("ab-c/")), "ab/");
    // A "/cgi-bin/" URL without a category key keeps no letters rather than a "(null)".
    EXPECT_EQ(str(normalized("http://x.test/cgi-bin/apartments.cgi")), "/");
}

TEST_F(SearchScreen, TheCodeInParenthesesGoesBeforeTheKeyword) {
    auto personals = NS("Casual Encounters (w4m)");
    EXPECT_EQ(str(SearchViewController::searchKeyFor(personals, NS("tall"))), "w4m tall");
    EXPECT_EQ(str(SearchViewController::searchKeyFor(personals, nullptr)), "w4m");
    EXPECT_EQ(str(SearchViewController::searchKeyFor(personals, NS(""))), "w4m");
    EXPECT_EQ(str(SearchViewController::searchKeyFor(NS("Antiques"), NS("lamp"))), "lamp");
    EXPECT_EQ(str(SearchViewController::searchKeyFor(NS("Antiques"), nullptr)), "(nil)");

    EXPECT_TRUE(SearchViewController::sectionHasPrice(NS("For Sale")));
    EXPECT_TRUE(SearchViewController::sectionHasPrice(NS("PERSONALS")));
    EXPECT_TRUE(SearchViewController::sectionHasPrice(NS("housing")));
    EXPECT_FALSE(SearchViewController::sectionHasPrice(NS("Jobs")));
    EXPECT_FALSE(SearchViewController::sectionHasPrice(nullptr));
}

TEST_F(SearchScreen, StyledButtonsLieTwoPointsHigherAndFourTallerOverTheInterfacesButtons) {
    auto screen = makeScreen();
    auto buttons = styledButtons(screen->view());
    ASSERT_EQ(buttons.size(), 5u);
    // The two large buttons went behind everything; the other three are in order of making.
    std::vector<std::pair<UIButton*, std::string>> places = {
        {screen->searchButton().get(), "Search"},
        {screen->browseButton().get(), "Browse All"},
        {screen->filterButton().get(), "Search Settings"}};
    for (auto& [place, title] : places) {
        Ref<DZButton> found;
        for (auto& b : buttons)
            if (str(b->titleForState(UIControlStateNormal)) == title) found = b;
        ASSERT_TRUE(found) << title;
        CGRect want = place->frame();
        CGRect got = found->frame();
        EXPECT_EQ(got.origin.x, want.origin.x) << title;
        EXPECT_EQ(got.origin.y, want.origin.y - 2) << title;
        EXPECT_EQ(got.size.width, want.size.width) << title;
        EXPECT_EQ(got.size.height, want.size.height + 4) << title;
    }
    EXPECT_EQ(buttons[0]->accessibilityLabel()->utf8(), "Choose Location");
    EXPECT_EQ(buttons[1]->accessibilityLabel()->utf8(), "Choose Category");
    EXPECT_EQ(buttons[1]->titleForState(UIControlStateNormal)->length(), 0u);
    EXPECT_EQ(buttons[1]->frame().origin.y, screen->catagoryButton()->frame().origin.y - 2);
    EXPECT_TRUE(buttons[0]->styleForState(UIControlStateNormal) ==
                DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("embossedButton:"),
                                                                    UIControlStateNormal));
    // The background image view lies behind the large buttons.
    EXPECT_EQ(screen->view()->subviewList().front().get(),
              static_cast<UIView*>(screen->backgroundImageView().get()));
}

TEST_F(SearchScreen, TheFilterButtonIsGreyForTheDefaultFilterAndRedOtherwise) {
    auto sheet = DZStyleSheet::globalStyleSheet();
    auto screen = makeScreen();
    auto button = screen->filterTTButton();
    EXPECT_EQ(str(button->titleForState(UIControlStateNormal)), "Search Settings");
    EXPECT_TRUE(button->styleForState(UIControlStateNormal) ==
                sheet->styleWithSelector(NS("greyToolbarButton:"), UIControlStateNormal));

    struct Change {
        const char* key;
        Ref<NSObject> value;
    };
    const Change changes[] = {{"PriceMax", NS("100")},
                              {"PriceMin", NS(" ")},
                              {"HasImage", NSNumber::numberWithBool(true)},
                              {"TitleOnly", NSNumber::numberWithInt(1)},
                              {"SortOrder", NSNumber::numberWithInt(3)}};
    for (const auto& change : changes) {
        SCOPED_TRACE(change.key);
        defaults->removePersistentDomain();
        defaults->setObject(change.value, NSString::fromUTF8(change.key));
        EXPECT_FALSE(SearchViewController::useDefaultFilter());
        screen->viewWillAppear(false);
        EXPECT_EQ(str(button->titleForState(UIControlStateNormal)), "Search Settings*");
        EXPECT_TRUE(button->styleForState(UIControlStateNormal) ==
                    sheet->styleWithSelector(NS("redToolbarButton:"), UIControlStateNormal));
    }
    // Empty prices are the default.
    defaults->removePersistentDomain();
    defaults->setObject(NS(""), NS("PriceMax"));
    screen->viewWillAppear(false);
    EXPECT_TRUE(SearchViewController::useDefaultFilter());
    EXPECT_EQ(str(button->titleForState(UIControlStateNormal)), "Search Settings");
}

TEST_F(SearchScreen, LabelsShowTheChoicesAndEveryAppearancePostsTheStopNotification) {
    auto counter = make<Counter>();
    NSNotificationCenter::defaultCenter()->addObserver(counter, Selector::named("heard:"),
                                                       NS("StopItemPageNotification"), nullptr);
    auto screen = makeScreen();
    EXPECT_EQ(counter->count, 1);
    EXPECT_EQ(counter->sender, static_cast<NSObject*>(screen.get()));
    EXPECT_EQ(str(screen->cityLabel()->text()), "Location");
    EXPECT_EQ(str(screen->stateLabel()->text()), "Press to select");
    EXPECT_EQ(str(screen->catagoryLabel()->text()), "Category");
    EXPECT_EQ(str(screen->sectionLabel()->text()), "Press to select");

    chooseLocation();
    chooseCategory("casual encounters (w4m)", "cas/", "personals");
    screen->viewWillAppear(false);
    EXPECT_EQ(counter->count, 2);
    EXPECT_EQ(str(screen->cityLabel()->text()), "Mobile");
    EXPECT_EQ(str(screen->stateLabel()->text()), "Alabama");
    EXPECT_EQ(str(screen->catagoryLabel()->text()), "Casual Encounters (W4m)");
    EXPECT_EQ(str(screen->sectionLabel()->text()), "personals");
    NSNotificationCenter::defaultCenter()->removeObserver(counter);

    // The default saved search, new when the store has none.
    ASSERT_TRUE(screen->defaultSearch());
    EXPECT_EQ(str(screen->defaultSearch()->listInfo()->searchKey()), "THIS_IS_DEFAULT");
}

TEST_F(SearchScreen, WithoutALocationOrCategoryTheSearchAsksForThemAndStops) {
    auto screen = makeScreen();
    chooseCategory("Antiques", "atq/", "For Sale");
    screen->searchButtonPressed(nullptr);
    advanceRunLoop(0);
    EXPECT_EQ(alertMessage(), "Please Select Your Location");
    EXPECT_FALSE(screen->lastListInfo());
    closePanels();

    chooseLocation();
    defaults->removeObjectForKey(NS("CatagoryUrl"));
    screen->browseButtonPressed(nullptr);
    advanceRunLoop(0);
    EXPECT_EQ(alertMessage(), "Please Select the Category");
    EXPECT_FALSE(screen->lastListInfo());
    EXPECT_EQ(nav->viewControllers()->count(), 1u);
}

TEST_F(SearchScreen, TheQueryComesFromThePreferencesAndTheResultListIsKept) {
    sitetest::site();
    auto screen = makeScreen();
    chooseLocation();
    chooseCategory("Antiques", "http://mobile.bazaarnest.test/i/browse?category=atq", "For Sale");
    defaults->setObject(NS("500"), NS("PriceMax"));
    defaults->setObject(NS("5"), NS("PriceMin"));
    defaults->setInteger(1, NS("TitleOnly"));
    defaults->setBool(true, NS("HasImage"));
    defaults->setInteger(2, NS("SortOrder"));
    screen->searchTextField()->setText(NS("lamp"));
    screen->searchButtonPressed(nullptr);
    auto info = screen->lastListInfo();
    ASSERT_TRUE(info);
    EXPECT_EQ(str(info->location()), "Mobile");
    EXPECT_EQ(str(info->locationUrl()), "http://mobile.bazaarnest.test");
    EXPECT_EQ(str(info->catagory()), "Antiques");
    EXPECT_EQ(str(info->catagoryUrl()), "atq/");
    EXPECT_EQ(str(info->section()), "For Sale");
    EXPECT_EQ(str(info->searchKey()), "lamp");
    EXPECT_EQ(str(info->searchType()), "T");
    EXPECT_TRUE(info->hasImage());
    EXPECT_EQ(info->sortOrder(), 2);
    EXPECT_EQ(str(info->priceMax()), "500");
    EXPECT_EQ(str(info->priceMin()), "5");
    auto list = screen->itemListViewController();
    ASSERT_TRUE(list);
    EXPECT_EQ(list->listInfo().get(), info.get());
    EXPECT_EQ(nav->topViewController().get(), static_cast<UIViewController*>(list.get()));
    settle();
    nav->popViewControllerAnimated(false);

    // Browsing a jobs category: no keyword, no price bounds, search type "A"; the same list.
    chooseCategory("All Jobs", "jjj/", "Jobs");
    defaults->setInteger(0, NS("TitleOnly"));
    screen->browseButtonPressed(nullptr);
    info = screen->lastListInfo();
    EXPECT_EQ(str(info->searchKey()), "(nil)");
    EXPECT_EQ(str(info->priceMax()), "(nil)");
    EXPECT_EQ(str(info->priceMin()), "(nil)");
    EXPECT_EQ(str(info->searchType()), "A");
    EXPECT_EQ(screen->itemListViewController().get(), list.get());
    settle();
}

TEST_F(SearchScreen, AViewRebuiltAfterAMemoryWarningKeepsTheTypedKeyword) {
    chooseLocation();
    auto screen = makeScreen();
    screen->searchTextField()->setText(NS("red bike"));
    // Off screen (another screen covers it), the view goes with the warning.
    screen->didReceiveMemoryWarning();
    ASSERT_FALSE(screen->isViewLoaded());
    EXPECT_FALSE(screen->searchTextField());
    screen->view();
    screen->viewWillAppear(false);
    ASSERT_TRUE(screen->searchTextField());
    EXPECT_EQ(str(screen->searchTextField()->text()), "red bike");
    EXPECT_EQ(str(screen->cityLabel()->text()), "Mobile");
    EXPECT_EQ(str(screen->stateLabel()->text()), "Alabama");
    // An empty field comes back empty, and a second warning keeps what the first kept.
    screen->searchTextField()->setText(NS(""));
    screen->didReceiveMemoryWarning();
    screen->view();
    EXPECT_EQ(str(screen->searchTextField()->text()), "");
    screen->searchTextField()->setText(NS("lamp"));
    screen->didReceiveMemoryWarning();
    screen->didReceiveMemoryWarning();
    screen->view();
    EXPECT_EQ(str(screen->searchTextField()->text()), "lamp");
}
