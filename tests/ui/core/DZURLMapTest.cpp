#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIViewController.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/DZURLPattern.h"

namespace {

std::string text(NSString* s) {
    return s ? s->utf8() : std::string("(nil)");
}

// Created by patterns: records which initializer ran and with what.
class Kinds : public NSObject {
    NS_OBJECT(Kinds, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.initializer("flag:count:big:ratio:precise:name:", &Kinds::initWithKinds)
            .initializer("letter:", &Kinds::initWithLetter)
            .initializer("init", &Kinds::init);
    }
    bool init() override {
        how = "init";
        return true;
    }
    bool initWithKinds(bool f, int c, long long b, float r, double p, NSString* n) {
        how = "kinds";
        flag = f;
        count = c;
        big = b;
        ratio = r;
        precise = p;
        name = n;
        return true;
    }
    bool initWithLetter(signed char l) {
        how = "letter";
        count = l;
        return true;
    }
    std::string how;
    bool flag = false;
    int count = 0;
    long long big = 0;
    float ratio = 0;
    double precise = 0;
    Ref<NSString> name;
};

// A plain object target whose methods patterns call.
class Catalog : public NSObject {
    NS_OBJECT(Catalog, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("item:query:", &Catalog::item)
            .method("page:", &Catalog::page)
            .method("section:", &Catalog::section)
            .method("refreshAll", &Catalog::refreshAll);
    }
    Ref<NSObject> item(int itemId, NSDictionary* query) {
        lastId = itemId;
        lastQuery = query;
        return NS("item");
    }
    int page(int number) {  // a scalar result is not handed back
        lastId = number;
        return number;
    }
    Ref<NSObject> section(NSString* name) {
        lastName = name;
        return NS("section");
    }
    void refreshAll() { ++refreshes; }
    int lastId = -1;
    Ref<NSDictionary> lastQuery;
    Ref<NSString> lastName;
    int refreshes = 0;
};

class Owner : public NSObject {
    NS_OBJECT(Owner, NSObject)
    static void describeClass(RuntimeClass& c) { c.property("name", &Owner::name); }
    Ref<NSString> name() { return NS("ann"); }
};

class Listing : public NSObject {
    NS_OBJECT(Listing, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.property("listingId", &Listing::listingId)
            .property("title", &Listing::title)
            .property("price", &Listing::price)
            .property("owner", &Listing::owner);
    }
    int listingId() { return 42; }
    Ref<NSString> title() { return NS("Bike"); }
    double price() { return 2.5; }
    Ref<Owner> owner() { return make<Owner>(); }
};

class CarListing : public Listing {
    NS_OBJECT(CarListing, Listing)
};

Ref<DZURLNavigatorPattern> compiled(NSString* url, NSObject* target, int32_t mode) {
    auto p = make<DZURLNavigatorPattern>(
        static_cast<bool (DZURLNavigatorPattern::*)(NSObject*, int32_t)>(
            &DZURLNavigatorPattern::initWithTarget),
        target, mode);
    p->setURL(url);
    p->compile();
    return p;
}

Ref<NSURL> url(const char* s) {
    return NSURL::URLWithString(NSString::stringWithUTF8String(s));
}

}  // namespace

TEST(DZURLPatternTest, SpecificityCountsLiteralsTwiceAndWildcardsOnceAndMatchesPartCounts) {
    auto p = compiled(NS("app://host/(id)"), Kinds::staticClass(), 1);
    EXPECT_EQ(3, p->specificity());
    EXPECT_TRUE(p->matchURL(url("app://host/12")));
    EXPECT_FALSE(p->matchURL(url("app://host")));
    EXPECT_FALSE(p->matchURL(url("app://host/1/2")));
    EXPECT_FALSE(p->matchURL(url("APP://host/12")));  // the scheme is case-sensitive
    EXPECT_FALSE(p->matchURL(url("app://other/12")));

    auto q = compiled(NS("app://host/a/(b)?x=(x)#(f)"), Kinds::staticClass(), 1);
    EXPECT_EQ(2 + 2 + 1 + 1 + 1, q->specificity());
    EXPECT_TRUE(q->matchURL(url("app://host/a/b#frag")));
    EXPECT_FALSE(q->matchURL(url("app://host/a/b")));  // a fragment pattern needs a fragment
    auto r = compiled(NS("app://host/a/(b)"), Kinds::staticClass(), 1);
    EXPECT_FALSE(r->matchURL(url("app://host/a/b#frag")));  // and the reverse
}

TEST(DZURLPatternTest, EveryArgumentKindIsConvertedFromItsText) {
    EXPECT_EQ(2, DZArgKindForTypeCode("B"));
    for (const char* code : {"c", "i", "l", "s", "C", "I", "L", "S"})
        EXPECT_EQ(3, DZArgKindForTypeCode(code)) << code;
    EXPECT_EQ(4, DZArgKindForTypeCode("q"));
    EXPECT_EQ(4, DZArgKindForTypeCode("Q"));
    EXPECT_EQ(5, DZArgKindForTypeCode("f"));
    EXPECT_EQ(6, DZArgKindForTypeCode("d"));
    EXPECT_EQ(1, DZArgKindForTypeCode("@"));
    EXPECT_EQ(1, DZArgKindForTypeCode("{CGRect=}"));
    EXPECT_EQ(0, DZArgKindForProperty(Listing::staticClass(), NS("missing")));
    EXPECT_EQ(3, DZArgKindForProperty(Listing::staticClass(), NS("listingId")));
    EXPECT_EQ(6, DZArgKindForProperty(Listing::staticClass(), NS("price")));
    EXPECT_EQ(1, DZArgKindForProperty(Listing::staticClass(), NS("title")));

    auto p = compiled(NS("kinds://all/(flag)/(count)/(big)/(ratio)/(precise)/(name:)"),
                      Kinds::staticClass(), 1);
    EXPECT_EQ(Selector::named("flag:count:big:ratio:precise:name:"), p->selector());
    EXPECT_EQ(6, p->argumentCount());
    auto made = as<Kinds>(
        p->createObjectFromURL(url("kinds://all/yes/-7/9000000000/1.5/2.25/Bike"), nullptr));
    ASSERT_TRUE(made);
    EXPECT_EQ("kinds", made->how);
    EXPECT_TRUE(made->flag);
    EXPECT_EQ(-7, made->count);
    EXPECT_EQ(9000000000LL, made->big);
    EXPECT_FLOAT_EQ(1.5f, made->ratio);
    EXPECT_DOUBLE_EQ(2.25, made->precise);
    EXPECT_EQ("Bike", text(made->name));

    // A signed-char argument counts as int.
    auto letter = compiled(NS("kinds://one/(letter)"), Kinds::staticClass(), 1);
    auto l = as<Kinds>(letter->createObjectFromURL(url("kinds://one/65"), nullptr));
    ASSERT_TRUE(l);
    EXPECT_EQ("letter", l->how);
    EXPECT_EQ(65, l->count);
}

TEST(DZURLPatternTest, UnansweredSelectorsLeaveNoneAndInstancesAreMadeWithPlainInit) {
    auto p = compiled(NS("kinds://x/(unknown)"), Kinds::staticClass(), 1);
    EXPECT_EQ(nullptr, p->selector());
    auto made = as<Kinds>(p->createObjectFromURL(url("kinds://x/1"), nullptr));
    ASSERT_TRUE(made);
    EXPECT_EQ("init", made->how);
    // A plain target with no selector gives nothing.
    auto catalog = make<Catalog>();
    auto q = compiled(NS("cat://x/(unknown)"), catalog, 0);
    EXPECT_EQ(nullptr, q->createObjectFromURL(url("cat://x/1"), nullptr));
}

TEST(DZURLPatternTest, TheQueryMergesIntoTheTrailingObjectArgumentOnly) {
    auto catalog = make<Catalog>();
    auto p = compiled(NS("cat://item/(item)"), catalog, 0);
    EXPECT_EQ(Selector::named("item:query:"), p->selector());
    auto query = NSDictionary::dictionaryWithObject(NS("b"), NS("a"));
    auto result = p->createObjectFromURL(url("cat://item/7?sort=new"), query);
    EXPECT_EQ("item", text(as<NSString>(result)));
    EXPECT_EQ(7, catalog->lastId);
    ASSERT_TRUE(catalog->lastQuery);
    EXPECT_EQ(2u, catalog->lastQuery->count());
    EXPECT_EQ("b", text(as<NSString>(catalog->lastQuery->objectForKey(NS("a")))));
    EXPECT_EQ("new", text(as<NSString>(catalog->lastQuery->objectForKey(NS("sort")))));

    // A method whose arguments are all filled gets no query; a scalar result is not returned.
    auto page = compiled(NS("cat://page/(page)"), catalog, 0);
    EXPECT_EQ(nullptr, page->createObjectFromURL(url("cat://page/3?x=1"), query));
    EXPECT_EQ(3, catalog->lastId);

    // A query parameter named by the pattern fills its argument.
    auto named = compiled(NS("cat://s?section=(section)"), catalog, 0);
    EXPECT_EQ(Selector::named("section:"), named->selector());
    named->createObjectFromURL(url("cat://s?section=bikes"), nullptr);
    EXPECT_EQ("bikes", text(catalog->lastName));
}

TEST(DZURLPatternTest, GeneratorsReadPropertiesChainsAndLeaveMissingOnesEmpty) {
    auto g = make<DZURLGeneratorPattern>(&DZURLGeneratorPattern::initWithTargetClass,
                                         Listing::staticClass());
    g->setURL(NS("app://listing/(listingId)/(owner.name)?title=(title)&price=(price)&no=(no)"));
    g->compile();
    auto listing = make<Listing>();
    EXPECT_EQ("app://listing/42/ann?title=Bike&price=2.500000&no=",
              text(g->generateURLFromObject(listing)));

    auto empty = make<DZURLGeneratorPattern>(&DZURLGeneratorPattern::initWithTargetClass,
                                             Listing::staticClass());
    empty->setURL(NS("app://listing/(missing)/end"));
    empty->compile();
    EXPECT_EQ("app://listing//end", text(empty->generateURLFromObject(listing)));
}

TEST(DZURLMapTest, AnEmptyMapMatchesNothing) {
    auto map = make<DZURLMap>();
    EXPECT_EQ(nullptr, map->objectForURL(NS("http://www.bazaarnest.test/")));
    EXPECT_EQ(4, map->navigationModeForURL(NS("http://www.bazaarnest.test/")));
    EXPECT_EQ(4, map->navigationModeForURL(NS("app://anything")));
    EXPECT_EQ(0, map->transitionForURL(NS("app://anything")));
}

TEST(DZURLMapTest, TheMostSpecificPatternWinsWhateverTheOrderOfRegistration) {
    auto map = make<DZURLMap>();
    auto wild = make<Catalog>(), hostWild = make<Catalog>(), literal = make<Catalog>();
    map->fromToObject(NS("cat://(section)/(page)"), wild, Selector::named("refreshAll"));
    map->fromToObject(NS("cat://shop/(page)"), hostWild, Selector::named("refreshAll"));
    map->fromToObject(NS("cat://shop/bikes"), literal, Selector::named("refreshAll"));
    map->objectForURL(NS("cat://shop/bikes"));
    map->objectForURL(NS("cat://shop/cars"));
    map->objectForURL(NS("cat://mall/cars"));
    EXPECT_EQ(1, literal->refreshes);
    EXPECT_EQ(1, hostWild->refreshes);
    EXPECT_EQ(1, wild->refreshes);
    ASSERT_EQ(3u, map->objectPatterns().size());
    EXPECT_EQ(4, map->objectPatterns()[0]->specificity());
    EXPECT_EQ(2, map->objectPatterns()[2]->specificity());
    // A URL nothing matches falls to the universal pattern; a second one replaces the first.
    auto first = make<Catalog>(), second = make<Catalog>();
    map->fromToObject(NS("*"), first, Selector::named("refreshAll"));
    map->fromToObject(NS("*"), second, Selector::named("refreshAll"));
    map->objectForURL(NS("other://x"));
    EXPECT_EQ(0, first->refreshes);
    EXPECT_EQ(1, second->refreshes);
}

TEST(DZURLMapTest, SharedObjectsAreStoredWithoutBeingOwned) {
    auto map = make<DZURLMap>();
    map->fromToSharedViewController(NS("app://shared"), UIViewController::staticClass());
    auto first = map->objectForURL(NS("app://shared"));
    ASSERT_TRUE(is<UIViewController>(first));
    EXPECT_EQ(first, map->objectForURL(NS("app://shared")));
    EXPECT_EQ(2, map->navigationModeForURL(NS("app://shared")));
    map->removeObjectForURL(NS("app://shared"));
    auto second = map->objectForURL(NS("app://shared"));
    EXPECT_NE(first, second);
    map->removeURL(NS("app://shared"));  // also removes the pattern
    EXPECT_EQ(nullptr, map->objectForURL(NS("app://shared")));
    EXPECT_TRUE(map->objectPatterns().empty());

    // Stored, not retained: a freed object leaves the map.
    map->fromToSharedViewController(NS("kinds://one"), Kinds::staticClass());
    auto kinds = map->objectForURL(NS("kinds://one"));
    ASSERT_TRUE(kinds);
    EXPECT_EQ(1u, kinds->retainCount());
    EXPECT_EQ(kinds, map->objectForURL(NS("kinds://one")));
    NSObject* raw = kinds.get();
    kinds = nullptr;
    auto fresh = map->objectForURL(NS("kinds://one"));
    ASSERT_TRUE(fresh);
    EXPECT_EQ("init", as<Kinds>(fresh)->how);
    (void)raw;
}

TEST(DZURLMapTest, AppWebAndExternalURLsAreToldApart) {
    auto map = make<DZURLMap>();
    EXPECT_TRUE(map->isWebURL(url("HTTP://a.test/")));
    EXPECT_TRUE(map->isWebURL(url("data:text/plain,x")));
    EXPECT_FALSE(map->isWebURL(url("tel:5551234")));
    EXPECT_TRUE(map->isExternalURL(url("http://phobos.appstore.test/app")));
    EXPECT_TRUE(map->isAppURL(url("http://itunes.appstore.test/app")));
    EXPECT_TRUE(map->isAppURL(url("tel:5551234")));
    EXPECT_TRUE(map->isAppURL(url("mailto:a@relay.bazaarnest.test")));
    EXPECT_FALSE(map->isAppURL(url("http://www.bazaarnest.test/")));
    EXPECT_FALSE(map->isAppURL(url("unknown:thing")));  // nothing can open it
    // A scheme used by a pattern belongs to the app.
    map->fromToViewController(NS("tel://(number)"), UIViewController::staticClass());
    EXPECT_TRUE(map->isSchemeSupported(NS("tel")));
    EXPECT_FALSE(map->isAppURL(url("tel:5551234")));
    EXPECT_FALSE(map->isSchemeSupported(nullptr));
}

TEST(DZURLMapTest, GeneratorsAreFoundThroughTheSuperclassChain) {
    auto map = make<DZURLMap>();
    EXPECT_EQ(nullptr, map->URLForObject(make<CarListing>()));
    map->fromToURL(Listing::staticClass(), NS("app://listing/(listingId)"));
    map->fromNameToURL(Listing::staticClass(), NS("edit"), NS("app://edit/(listingId)"));
    EXPECT_EQ("app://listing/42", text(map->URLForObject(make<CarListing>())));
    EXPECT_EQ("app://edit/42", text(map->URLForObject(make<CarListing>(), NS("edit"))));
    EXPECT_EQ("Listing_edit", text(map->keyForClass(Listing::staticClass(), NS("edit"))));
    EXPECT_EQ("Listing_", text(map->keyForClass(Listing::staticClass(), nullptr)));
}

TEST(DZURLMapTest, FragmentsDispatchOnlyToRegisteredArgumentlessMethods) {
    auto map = make<DZURLMap>();
    auto catalog = make<Catalog>();
    EXPECT_EQ(nullptr, map->dispatchURL(NS("cat://x#refreshAll"), catalog, nullptr));
    EXPECT_EQ(1, catalog->refreshes);
    // A method with arguments, an unknown one and the destructor are never sent.
    map->dispatchURL(NS("cat://x#page:"), catalog, nullptr);
    map->dispatchURL(NS("cat://x#dealloc"), catalog, nullptr);
    map->dispatchURL(NS("cat://x#nothing"), catalog, nullptr);
    EXPECT_EQ(-1, catalog->lastId);
    // A fragment pattern is invoked on the target instead.
    map->fromToObject(NS("cat://x#(section)"), catalog);
    auto result = map->dispatchURL(NS("cat://x#bikes"), catalog, nullptr);
    EXPECT_EQ("section", text(as<NSString>(result)));
    EXPECT_EQ("bikes", text(catalog->lastName));
}
