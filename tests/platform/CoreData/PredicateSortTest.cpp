// The small predicate language of the app's queries, and sorting by key with missing values
// first.
#include <gtest/gtest.h>

#include "CoreData/NSPredicate.h"
#include "CoreData/NSSortDescriptor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "support/FoundationTesting.h"

namespace {
Ref<NSDictionary> row(std::initializer_list<std::pair<NSObject*, NSObject*>> pairs) {
    return NSDictionary::dictionaryWithPairs(pairs);
}
}  // namespace

TEST(Predicate, TheAppsFormsBindTheirValues) {
    auto us = row({{NS("region"), NS("US")}, {NS("name"), NS("Ohio")}});
    auto canada = row({{NS("region"), NS("Canada")}});
    auto p = NSPredicate::predicateWithFormat(NS("(region = %@)"), NS("US"));
    EXPECT_TRUE(p->evaluateWithObject(us));
    EXPECT_FALSE(p->evaluateWithObject(canada));
    EXPECT_EQ(p->predicateFormat()->utf8(), "region == \"US\"");
    // The value is bound, never parsed: quotes and keywords in it are just text.
    auto tricky = NSPredicate::predicateWithFormat(NS("name == %@"), NS("a\" OR 1 == 1"));
    EXPECT_FALSE(tricky->evaluateWithObject(us));
    EXPECT_TRUE(tricky->evaluateWithObject(row({{NS("name"), NS("a\" OR 1 == 1")}})));
    // The value may stand first; %K names the key; AND and && join.
    EXPECT_TRUE(
        NSPredicate::predicateWithFormat(NS("%@ == region"), NS("US"))->evaluateWithObject(us));
    EXPECT_TRUE(NSPredicate::predicateWithFormat(NS("%K == %@ AND name != %@"), NS("region"),
                                                 NS("US"), NS("Utah"))
                    ->evaluateWithObject(us));
    EXPECT_FALSE(NSPredicate::predicateWithFormat(NS("(region == 'US') && (name <> \"Ohio\")"))
                     ->evaluateWithObject(us));
}

TEST(Predicate, NilAndNumbersCompareAsValues) {
    auto missing = row({{NS("other"), NS("x")}});
    auto five = row({{NS("rank"), NSNumber::numberWithDouble(5.0)}});
    // nil matches a missing value; != matches it too.
    EXPECT_TRUE(NSPredicate::predicateWithFormat(NS("name == nil"))->evaluateWithObject(missing));
    EXPECT_TRUE(
        NSPredicate::predicateWithFormat(NS("name == %@"), nullptr)->evaluateWithObject(missing));
    EXPECT_TRUE(
        NSPredicate::predicateWithFormat(NS("name != %@"), NS("a"))->evaluateWithObject(missing));
    EXPECT_FALSE(NSPredicate::predicateWithFormat(NS("name != NULL"))->evaluateWithObject(missing));
    // Numbers by value, whatever their kind.
    EXPECT_TRUE(NSPredicate::predicateWithFormat(NS("rank == %d"), 5)->evaluateWithObject(five));
    EXPECT_TRUE(NSPredicate::predicateWithFormat(NS("rank == 5"))->evaluateWithObject(five));
    EXPECT_FALSE(
        NSPredicate::predicateWithFormat(NS("rank == %@"), NS("5"))->evaluateWithObject(five));
    auto args = NSArray::arrayWithObjects({NSNull::null()});
    EXPECT_TRUE(NSPredicate::predicateWithFormatArgumentArray(NS("name = %@"), args)
                    ->evaluateWithObject(missing));
}

TEST(Predicate, AnythingBeyondEqualityIsRefused) {
    for (const char* format :
         {"name CONTAINS %@", "name == %@ OR region == %@", "name < %@", "name ==", "(name == %@",
          "name == region", "%@ == %@", "NOT name == %@", "name == %@ extra"}) {
        EXPECT_EQ(raisedName([&] {
                      NSPredicate::predicateWithFormat(NSString::stringWithUTF8String(format),
                                                       NS("a"), NS("b"));
                  }),
                  "NSInvalidArgumentException")
            << format;
    }
    // Too few arguments.
    EXPECT_EQ(
        raisedName([] { NSPredicate::predicateWithFormat(NS("a == %@ AND b == %@"), NS("x")); }),
        "NSInvalidArgumentException");
}

TEST(SortDescriptor, MissingValuesLeadAscendingAndTrailDescending) {
    auto a = row({{NS("order"), NSNumber::numberWithInt(2)}, {NS("name"), NS("b")}});
    auto b = row({{NS("name"), NS("z")}});  // no order
    auto c = row({{NS("order"), NSNumber::numberWithInt(2)}, {NS("name"), NS("a")}});
    auto d = row({{NS("order"), NSNull::null()}, {NS("name"), NS("y")}});
    auto e = row({{NS("order"), NSNumber::numberWithInt(-1)}, {NS("name"), NS("c")}});
    auto items = NSArray::arrayWithObjects({a, b, c, d, e});
    auto byOrder = NSSortDescriptor::sortDescriptorWithKey(NS("order"), true);
    auto byName = NSSortDescriptor::sortDescriptorWithKey(NS("name"), true);
    auto sorted = sortedArrayUsingDescriptors(items, NSArray::arrayWithObjects({byOrder, byName}));
    EXPECT_EQ(text(sorted->valueForKey(NS("name"))),
              text(NSArray::arrayWithObjects({NS("y"), NS("z"), NS("c"), NS("a"), NS("b")})));
    // Ties keep their order (stable); descending puts the missing ones last.
    auto down = sortedArrayUsingDescriptors(
        items, NSArray::arrayWithObject(byOrder->reversedSortDescriptor()));
    EXPECT_EQ(text(down->valueForKey(NS("name"))),
              text(NSArray::arrayWithObjects({NS("b"), NS("a"), NS("c"), NS("z"), NS("y")})));
}

TEST(SortDescriptor, StringsCompareByTheNamedMethod) {
    auto items = NSMutableArray::arrayWithObjects({row({{NS("name"), NS("beta")}}),
                                                   row({{NS("name"), NS("Alpha")}}),
                                                   row({{NS("name"), NS("alpha2")}})});
    sortUsingDescriptors(
        items, NSArray::arrayWithObject(NSSortDescriptor::sortDescriptorWithKey(NS("name"), true)));
    EXPECT_EQ(text(items->valueForKey(NS("name"))),
              text(NSArray::arrayWithObjects({NS("Alpha"), NS("alpha2"), NS("beta")})));
    sortUsingDescriptors(items,
                         NSArray::arrayWithObject(NSSortDescriptor::sortDescriptorWithKey(
                             NS("name"), false, Selector::named("caseInsensitiveCompare:"))));
    EXPECT_EQ(text(items->valueForKey(NS("name"))),
              text(NSArray::arrayWithObjects({NS("beta"), NS("alpha2"), NS("Alpha")})));
}
