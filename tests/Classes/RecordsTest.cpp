// The query and search-settings records: what a fresh record holds and how bounds clear.
#include <gtest/gtest.h>

#include "Classes/ListInfo.h"
#include "Classes/SearchSettings.h"
#include "support/FoundationTesting.h"

TEST(ListInfo, NewRecordBrowsesWithItsOwnSettings) {
    auto info = make<ListInfo>();
    ASSERT_TRUE(info->searchSettings());
    EXPECT_EQ(info->searchKey(), nullptr);
    EXPECT_EQ(info->location(), nullptr);
    EXPECT_EQ(info->sortOrder(), 0);
    EXPECT_FALSE(info->hasImage());
    // Each record owns its settings: editing one search never edits another.
    EXPECT_NE(make<ListInfo>()->searchSettings().get(), info->searchSettings().get());
}

TEST(SearchSettings, FreshRecordIsEmptyAndBoundsClear) {
    auto s = make<SearchSettings>();
    EXPECT_EQ(s->scope(), 0);
    EXPECT_EQ(s->sort(), 0);
    EXPECT_FALSE(s->hasImage());
    EXPECT_FALSE(s->dogs() || s->cats());
    EXPECT_FALSE(s->telecommute() || s->contract() || s->internship() || s->part_time() ||
                 s->non_profit());
    EXPECT_EQ(s->maxPrice(), nullptr);
    EXPECT_EQ(s->minAge(), nullptr);
    EXPECT_EQ(s->gigOption(), 0);

    s->setMaxRent(NS("1500"));
    EXPECT_EQ(text(s->maxRent()), "1500");
    s->setMaxRent(nullptr);
    EXPECT_EQ(s->maxRent(), nullptr);
}
