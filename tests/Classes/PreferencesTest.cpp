// Recent locations, settings and themes over the preferences store.
#include <gtest/gtest.h>

#include "Classes/RecentLocation.h"
#include "Classes/Settings.h"
#include "Classes/Theme.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIColor.h"
#include "support/FoundationTesting.h"

namespace {
class Preferences : public testing::Test {
protected:
    void SetUp() override {
        defaults = NSUserDefaults::standardUserDefaults();
        defaults->removePersistentDomain();
    }
    void TearDown() override { defaults->removePersistentDomain(); }

    // The listed cities, in list order.
    std::vector<std::string> listed() {
        std::vector<std::string> out;
        auto list = RecentLocation::getRecentLocations();
        for (NSUInteger i = 0; i < list->count(); ++i) {
            auto r = cast<RecentLocation>(list->objectAtIndex(i));
            out.push_back(r->city()->utf8());
        }
        return out;
    }
    void add(const char* city) {
        RecentLocation::addRecentLocation(str(std::string("https://") + city + ".example"),
                                          NS("State"), str(city));
    }

    Ref<NSUserDefaults> defaults;
};

using Names = std::vector<std::string>;

void expectRGB(UIColor* c, int r, int g, int b) {
    ASSERT_TRUE(c);
    EXPECT_FLOAT_EQ(c->red(), r / 255.0f);
    EXPECT_FLOAT_EQ(c->green(), g / 255.0f);
    EXPECT_FLOAT_EQ(c->blue(), b / 255.0f);
    EXPECT_FLOAT_EQ(c->alpha(), 1.0f);
}
}  // namespace

TEST_F(Preferences, FirstRecentLocationLandsInSlotOne) {
    EXPECT_EQ(RecentLocation::getRecentLocations()->count(), 0u);
    add("Austin");
    EXPECT_EQ(listed(), Names{"Austin"});
    EXPECT_EQ(defaults->integerForKey(NS("RecentIndex")), 1);
    EXPECT_EQ(text(defaults->stringForKey(NS("RecentCity1"))), "Austin");
    EXPECT_EQ(text(defaults->stringForKey(NS("LocationUrl1"))), "https://Austin.example");
    EXPECT_EQ(text(defaults->stringForKey(NS("LocationState1"))), "State");
}

TEST_F(Preferences, RecentLocationsFormARingShownInSlotOrder) {
    add("A");
    add("B");
    add("A");  // already listed: nothing moves
    EXPECT_EQ(listed(), (Names{"A", "B"}));
    EXPECT_EQ(defaults->integerForKey(NS("RecentIndex")), 2);

    add("C");
    add("D");  // slot 0
    add("E");  // overwrites the oldest, A in slot 1
    EXPECT_EQ(listed(), (Names{"D", "E", "B", "C"}));
    EXPECT_EQ(defaults->integerForKey(NS("RecentIndex")), 1);
}

TEST_F(Preferences, IncompleteSlotIsNotListed) {
    defaults->setObject(NS("https://x.example"), NS("LocationUrl2"));
    defaults->setObject(NS("TX"), NS("LocationState2"));
    EXPECT_EQ(RecentLocation::getRecentLocations()->count(), 0u);
    defaults->setObject(NS("X"), NS("RecentCity2"));
    EXPECT_EQ(listed(), Names{"X"});
}

TEST_F(Preferences, TamperedRecentIndexStaysInRange) {
    defaults->setInteger(-7, NS("RecentIndex"));
    add("A");
    NSInteger slot = defaults->integerForKey(NS("RecentIndex"));
    EXPECT_GE(slot, 0);
    EXPECT_LT(slot, 4);
    EXPECT_EQ(listed(), Names{"A"});
}

TEST_F(Preferences, SettingsReadAndSaveTheirKeys) {
    defaults->setInteger(1, NS("theme"));
    defaults->setInteger(1, NS("fullscreen"));
    auto s = Settings::sys();
    EXPECT_EQ(s.get(), Settings::sys().get());
    EXPECT_EQ(s->theme(), 1);
    EXPECT_EQ(s->fullscreen(), 1);
    s->setTheme(0);
    s->setFullscreen(0);
    s->saveSettings();
    EXPECT_EQ(defaults->integerForKey(NS("theme")), 0);
    EXPECT_EQ(defaults->integerForKey(NS("fullscreen")), 0);
}

TEST_F(Preferences, DefaultThemeColoursAndAlternatingCells) {
    auto t = Theme::sys();
    EXPECT_EQ(text(t->name()), "default");
    expectRGB(t->toolBarColor(), 87, 119, 156);
    EXPECT_EQ(t->toolBarStyle(), 0);
    expectRGB(t->tableCellBackground1(), 239, 240, 244);
    expectRGB(t->tableCellBackground2(), 226, 228, 236);
    EXPECT_TRUE(t->viewBackground()->isEqual(t->tableCellBackground1()));
    EXPECT_EQ(t->tableSeperator(), nullptr);

    auto even = Theme::getCellBackgroundColor(NSIndexPath::indexPathForRow(2, 0));
    auto odd = Theme::getCellBackgroundColor(NSIndexPath::indexPathForRow(3, 1));
    EXPECT_EQ(even.get(), t->tableCellBackground1().get());
    EXPECT_EQ(odd.get(), t->tableCellBackground2().get());
    // A table that passes no index path gets the first colour on every row.
    EXPECT_EQ(Theme::getCellBackgroundColor(nullptr).get(), t->tableCellBackground1().get());
}

TEST_F(Preferences, NightThemeFollowsTheStoredSetting) {
    defaults->setInteger(1, NS("theme"));
    auto night = Theme::sys();
    EXPECT_EQ(text(night->name()), "night");
    EXPECT_EQ(night->toolBarStyle(), 1);
    EXPECT_EQ(night->toolBarColor(), nullptr);
    expectRGB(night->tableSeperator(), 50, 50, 50);
    EXPECT_EQ(Theme::getCellBackgroundColor(NSIndexPath::indexPathForRow(1, 0)), nullptr);
    EXPECT_EQ(Theme::getCellBackgroundColor(nullptr), nullptr);

    // Both themes live until the reset between tests; an unknown value shows the default one.
    Settings::resetShared();
    defaults->setInteger(7, NS("theme"));
    EXPECT_EQ(text(Theme::sys()->name()), "default");
    Settings::resetShared();
    defaults->setInteger(1, NS("theme"));
    EXPECT_EQ(Theme::sys().get(), night.get());
}

TEST(Themes, AThemeChangedInOneTestIsMadeAfreshForTheNext) {
    auto before = Theme::sys();
    auto name = text(before->name());
    before->setTableTitle(UIColor::redColor());
    resetProcessWideInstances();  // as between two tests
    auto after = Theme::sys();
    EXPECT_NE(after.get(), before.get());
    EXPECT_EQ(text(after->name()), name);
    EXPECT_FALSE(after->tableTitle()->isEqual(UIColor::redColor()));
}
