#include <gtest/gtest.h>

#include "support/FoundationTesting.h"

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

std::string keysOf(NSDictionary* d) {
    return d->allKeys()->componentsJoinedByString(NS(","))->utf8();
}

// A key whose hash says nothing: every lookup has to walk the collisions.
class DictTestCollider : public NSObject {
    NS_OBJECT(DictTestCollider, NSObject)
    static Ref<DictTestCollider> with(int v) {
        auto c = make<DictTestCollider>();
        c->value = v;
        return c;
    }
    bool isEqual(NSObject* other) override {
        auto* o = dynamic_cast<DictTestCollider*>(other);
        return o && o->value == value;
    }
    NSUInteger hash() override { return 42; }
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }
    int value = 0;
};

TEST(NSDictionary, KeepsInsertionOrderThroughReplaceAndRemove) {
    auto d = NSMutableDictionary::dictionary();
    d->setObject(NS("1"), NS("one"));
    d->setObject(NS("2"), NS("two"));
    d->setObject(NS("3"), NS("three"));
    d->setObject(NS("II"), str("two"));  // replacing keeps the key's place
    EXPECT_EQ(keysOf(d), "one,two,three");
    EXPECT_EQ(text(d->objectForKey(NS("two"))), "II");
    d->removeObjectForKey(NS("one"));
    d->setObject(NS("1"), NS("one"));  // re-added: now last
    EXPECT_EQ(keysOf(d), "two,three,one");
    EXPECT_EQ(d->allValues()->componentsJoinedByString(NS(","))->utf8(), "II,3,1");
    EXPECT_EQ(d->count(), 3u);
    d->removeObjectForKey(NS("absent"));
    EXPECT_EQ(d->count(), 3u);
    EXPECT_FALSE(d->objectForKey(NS("absent")));
    EXPECT_FALSE(d->objectForKey(nullptr));
}

TEST(NSDictionary, AgreesWithAReferenceMapUnderChurn) {
    // Many inserts, replacements and removals exercise growth, holes and compaction.
    auto d = NSMutableDictionary::dictionary();
    std::vector<std::pair<std::string, int>> ref;  // insertion order
    std::mt19937 rng(7);
    for (int step = 0; step < 20000; ++step) {
        std::string k = "k" + std::to_string(rng() % 600);
        auto it = std::find_if(ref.begin(), ref.end(), [&](auto& p) { return p.first == k; });
        if (rng() % 3 == 0) {
            d->removeObjectForKey(str(k));
            if (it != ref.end()) ref.erase(it);
        } else {
            d->setObject(NSNumber::numberWithInt(step), str(k));
            if (it != ref.end())
                it->second = step;
            else
                ref.emplace_back(k, step);
        }
    }
    ASSERT_EQ(d->count(), ref.size());
    size_t i = 0;
    for (NSObject* key : *d) {
        ASSERT_LT(i, ref.size());
        EXPECT_EQ(text(key), ref[i].first);
        EXPECT_EQ(as<NSNumber>(d->objectForKey(key))->intValue(), ref[i].second);
        ++i;
    }
    EXPECT_EQ(i, ref.size());
}

TEST(NSDictionary, SmallTablesAgreeWithAReferenceMapAcrossTheirLimit) {
    // A handful of keys: tables move between walking their few entries and indexing them.
    for (bool colliding : {false, true}) {
        auto d = NSMutableDictionary::dictionary();
        std::vector<std::pair<int, int>> ref;  // insertion order
        std::mt19937 rng(11);
        auto key = [&](int k) -> Ref<NSObject> {
            if (colliding) return DictTestCollider::with(k);
            return str("k" + std::to_string(k));
        };
        for (int step = 0; step < 4000; ++step) {
            int k = static_cast<int>(rng() % 12);
            auto it = std::find_if(ref.begin(), ref.end(), [&](auto& p) { return p.first == k; });
            if (rng() % 3 == 0) {
                d->removeObjectForKey(key(k));
                if (it != ref.end()) ref.erase(it);
            } else {
                d->setObject(NSNumber::numberWithInt(step), key(k));
                if (it != ref.end())
                    it->second = step;
                else
                    ref.emplace_back(k, step);
            }
            ASSERT_EQ(d->count(), ref.size());
            for (const auto& [k2, v] : ref)
                ASSERT_EQ(as<NSNumber>(d->objectForKey(key(k2)))->intValue(), v);
            size_t i = 0;
            for (NSObject* stored : *d)
                ASSERT_TRUE(stored->isEqual(key(ref[i++].first)));
        }
    }
}

TEST(NSDictionary, EntriesAreTakenOverInOrder) {
    using Entry = collection_detail::HashTable::Entry;
    for (int n : {0, 3, 8, 9, 40}) {
        std::vector<Entry> entries;
        for (int i = 0; i < n; ++i)
            entries.push_back(Entry{str("k" + std::to_string(i)), NSNumber::numberWithInt(i)});
        // Equal keys that are other objects: the later one gives its value, the first its place.
        if (n) entries.push_back(Entry{str("k0"), NS("again")});
        auto d = NSDictionary::dictionaryWithEntries(std::move(entries));
        ASSERT_EQ(d->count(), static_cast<NSUInteger>(n));
        EXPECT_FALSE(is<NSMutableDictionary>(d));
        for (int i = 0; i < n; ++i) {
            EXPECT_EQ(text(d->allKeys()->objectAtIndex(static_cast<NSUInteger>(i))),
                      "k" + std::to_string(i));
            auto value = d->objectForKey(str("k" + std::to_string(i)));
            EXPECT_EQ(text(value), i ? std::to_string(i) : "again");
        }
        EXPECT_FALSE(d->objectForKey(NS("absent")));
    }

    // Keys are copied; nils raise as for any other factory.
    auto key = NSMutableString::stringWithString(NS("name"));
    std::vector<Entry> entries;
    entries.push_back(Entry{key, NS("Ann")});
    auto d = NSDictionary::dictionaryWithEntries(std::move(entries));
    key->appendString(NS("s"));
    EXPECT_EQ(text(d->objectForKey(NS("name"))), "Ann");
    EXPECT_FALSE(is<NSMutableString>(d->allKeys()->objectAtIndex(0)));
    std::vector<Entry> nilValue;
    nilValue.push_back(Entry{NS("k"), nullptr});
    EXPECT_EQ(raisedName([&] { NSDictionary::dictionaryWithEntries(std::move(nilValue)); }),
              "NSInvalidArgumentException");
    std::vector<Entry> nilKey;
    nilKey.push_back(Entry{nullptr, NS("v")});
    EXPECT_EQ(raisedName([&] { NSDictionary::dictionaryWithEntries(std::move(nilKey)); }),
              "NSInvalidArgumentException");
}

// A small dictionary looks for an earlier equal key only among keys whose hashes share their low
// bits with the new one's: keys that share them without being equal stay apart, equal ones meet,
// whatever their place.
TEST(NSDictionary, SmallEntryListsFindEqualKeysAmongLikeHashes) {
    using Entry = collection_detail::HashTable::Entry;
    // Keys grouped by the low six bits of their hash: a group of four that share them, and
    // keys of other groups between.
    std::vector<std::vector<std::string>> groups(64);
    for (int i = 0; i < 2000; ++i) {
        std::string k = "key" + std::to_string(i);
        groups[str(k)->hash() & 63].push_back(k);
    }
    auto big = std::find_if(groups.begin(), groups.end(), [](auto& g) { return g.size() >= 4; });
    ASSERT_NE(big, groups.end());
    const std::vector<std::string> alike(big->begin(), big->begin() + 4);
    std::vector<std::string> others;
    for (auto& g : groups)
        if (&g != &*big && !g.empty()) others.push_back(g.front());
    for (int repeatAt = 0; repeatAt < 4; ++repeatAt) {
        SCOPED_TRACE(repeatAt);
        std::vector<std::string> names = {alike[0], others[0], alike[1], others[1],
                                          alike[2], others[2], alike[3]};
        names.push_back(alike[static_cast<size_t>(repeatAt)]);  // an equal key, another object
        names.push_back(others[static_cast<size_t>(repeatAt % 3)]);
        std::vector<Entry> entries;
        auto expected = NSMutableDictionary::dictionary();
        for (size_t i = 0; i < names.size(); ++i) {
            entries.push_back(Entry{str(names[i]), NSNumber::numberWithInt(static_cast<int>(i))});
            expected->setObject(NSNumber::numberWithInt(static_cast<int>(i)), str(names[i]));
        }
        auto d = NSDictionary::dictionaryWithEntries(std::move(entries));
        EXPECT_EQ(d->count(), 7u);
        EXPECT_TRUE(d->isEqual(expected));
        EXPECT_EQ(text(d->allKeys()), text(expected->allKeys()));
    }
}

// The mutable form takes entries the same way and then grows and shrinks like any other.
TEST(NSDictionary, MutableDictionaryTakesOverEntries) {
    using Entry = collection_detail::HashTable::Entry;
    for (int n : {2, 8, 12}) {
        std::vector<Entry> entries;
        for (int i = 0; i < n; ++i)
            entries.push_back(Entry{str("k" + std::to_string(i)), NSNumber::numberWithInt(i)});
        entries.push_back(Entry{str("k1"), NS("again")});
        auto d = NSMutableDictionary::dictionaryWithEntries(std::move(entries));
        ASSERT_TRUE(is<NSMutableDictionary>(d));
        ASSERT_EQ(d->count(), static_cast<NSUInteger>(n));
        EXPECT_EQ(text(d->allKeys()->objectAtIndex(1)), "k1");
        EXPECT_EQ(text(d->objectForKey(NS("k1"))), "again");
        for (int i = n; i < n + 10; ++i)
            d->setObject(NSNumber::numberWithInt(i), str("k" + std::to_string(i)));
        d->removeObjectForKey(NS("k0"));
        ASSERT_EQ(d->count(), static_cast<NSUInteger>(n + 9));
        EXPECT_FALSE(d->objectForKey(NS("k0")));
        for (int i = 2; i < n + 10; ++i)
            EXPECT_EQ(text(d->objectForKey(str("k" + std::to_string(i)))), std::to_string(i));
    }
}

// A dictionary made from hashed entries against one made from the same entries asked: same
// contents, order, lookups (also by an equal key of another class), equality and description.
void expectAlike(NSDictionary* hashed, NSDictionary* asked, const std::string& step) {
    SCOPED_TRACE(step);
    ASSERT_EQ(hashed->count(), asked->count());
    EXPECT_EQ(keysOf(hashed), keysOf(asked));
    EXPECT_TRUE(hashed->allValues()->isEqual(asked->allValues()));
    EXPECT_TRUE(hashed->isEqual(asked));
    EXPECT_TRUE(asked->isEqual(hashed));
    EXPECT_EQ(hashed->hash(), asked->hash());
    EXPECT_EQ(text(hashed->description()), text(asked->description()));
    auto keys = asked->allKeys();
    for (NSObject* key : *keys) {
        // Found by an equal key of another class as well as by the stored one.
        auto other = NSMutableString::stringWithString(cast<NSString>(Ref<NSObject>(key)));
        auto found = hashed->objectForKey(other);
        ASSERT_TRUE(found);
        EXPECT_TRUE(found->isEqual(asked->objectForKey(key)));
    }
    EXPECT_FALSE(hashed->objectForKey(NS("absent")));
    EXPECT_TRUE(hashed->copy()->isEqual(asked));
    EXPECT_TRUE(hashed->mutableCopy()->isEqual(asked));
}

// Entries whose keys are immutable strings with their hashes given make the same dictionary as
// entries whose keys the dictionary asks: same contents, order, lookups, equality and
// description, and every later change leaves the two alike.
TEST(NSDictionary, HashedEntriesMakeTheSameDictionary) {
    using Entry = collection_detail::HashTable::Entry;
    for (int n : {0, 1, 2, 8, 9, 12, 20, 40}) {
        std::vector<Entry> hashedEntries;
        std::vector<Entry> askedEntries;
        for (int i = 0; i < n + n / 3; ++i) {
            // Every third entry past the first n repeats an earlier key with a new value; keys
            // are both ordinary and compact strings.
            const int k = i < n ? i : (i - n) * 3;
            const std::u16string name = u"key" + NSString::fromUTF8(std::to_string(k))->u16();
            Ref<NSString> key =
                i % 2 ? NSString::compactStringWithUnits(name) : NSString::fromUTF16(name);
            auto value = NSNumber::numberWithInt(i);
            hashedEntries.push_back(Entry{key, value, key->hash()});
            askedEntries.push_back(Entry{NSString::fromUTF16(name), value});
        }
        auto hashed = NSMutableDictionary::dictionaryWithHashedEntries(std::move(hashedEntries));
        auto asked = NSMutableDictionary::dictionaryWithEntries(std::move(askedEntries));
        const std::string size = "n=" + std::to_string(n);
        ASSERT_TRUE(is<NSMutableDictionary>(hashed));
        expectAlike(hashed, asked, size);

        // The same changes to both.
        auto change = [&](const std::string& step, auto&& apply) {
            apply(hashed.get());
            apply(asked.get());
            expectAlike(hashed, asked, size + " " + step);
        };
        change("replace", [](NSMutableDictionary* d) { d->setObject(NS("new"), NS("key1")); });
        change("add", [](NSMutableDictionary* d) { d->setObject(NS("added"), NS("extra")); });
        change("remove", [](NSMutableDictionary* d) { d->removeObjectForKey(NS("key0")); });
        change("remove several", [](NSMutableDictionary* d) {
            d->removeObjectsForKeys(NSArray::arrayWithObjects({NS("key2"), NS("key5")}));
        });
        change("grow", [](NSMutableDictionary* d) {
            for (int i = 0; i < 30; ++i)
                d->setObject(NSNumber::numberWithInt(i), str("more" + std::to_string(i)));
        });
        change("merge", [](NSMutableDictionary* d) {
            d->addEntriesFromDictionary(
                NSDictionary::dictionaryWithPairs({{NS("key3"), NS("merged")}}));
        });
        change("empty", [](NSMutableDictionary* d) { d->removeAllObjects(); });
        change("refill", [](NSMutableDictionary* d) { d->setObject(NS("v"), NS("key1")); });
    }
    // Nil keys and values are refused here too.
    std::vector<Entry> nilValue;
    nilValue.push_back(Entry{NS("k"), nullptr, NS("k")->hash()});
    EXPECT_EQ(
        raisedName([&] { NSMutableDictionary::dictionaryWithHashedEntries(std::move(nilValue)); }),
        "NSInvalidArgumentException");
}

// Many entries without equal keys: indexed at once, and the index serves later changes.

// The immutable form: the same contents, order and lookups as entries the dictionary asks,
// repeated keys included, at sizes on both sides of the indexed table.
TEST(NSDictionary, ImmutableFromHashedEntriesMatchesAskedEntries) {
    using Entry = collection_detail::HashTable::Entry;
    for (int n : {0, 1, 5, 16, 17, 40}) {
        SCOPED_TRACE(n);
        std::vector<Entry> hashedEntries;
        std::vector<Entry> askedEntries;
        for (int i = 0; i < n + n / 2; ++i) {
            const int k = i < n ? i : (i - n) * 2;  // past n, every second key again
            const std::string name = "key" + std::to_string(k);
            auto key = NSString::compactStringWithUTF8(name);
            auto value = NSNumber::numberWithInt(i);
            hashedEntries.push_back(Entry{key, value, key->hash()});
            askedEntries.push_back(Entry{str(name), value});
        }
        auto hashed = NSDictionary::dictionaryWithHashedEntries(std::move(hashedEntries));
        auto asked = NSDictionary::dictionaryWithEntries(std::move(askedEntries));
        EXPECT_FALSE(is<NSMutableDictionary>(hashed));
        expectAlike(hashed, asked, "n=" + std::to_string(n));
    }
}

TEST(NSDictionary, ManyDistinctEntriesAreIndexedWhenTakenOver) {
    using Entry = collection_detail::HashTable::Entry;
    std::vector<Entry> entries;
    for (int i = 0; i < 20; ++i)
        entries.push_back(Entry{str("k" + std::to_string(i)), NSNumber::numberWithInt(i)});
    auto d = NSMutableDictionary::dictionaryWithEntries(std::move(entries));
    ASSERT_EQ(d->count(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(text(d->objectForKey(str("k" + std::to_string(i)))), std::to_string(i));
    d->setObject(NS("new"), NS("k5"));
    d->setObject(NS("added"), NS("k20"));
    d->removeObjectForKey(NS("k0"));
    EXPECT_EQ(d->count(), 20u);
    EXPECT_EQ(text(d->objectForKey(NS("k5"))), "new");
    EXPECT_EQ(text(d->objectForKey(NS("k20"))), "added");
    EXPECT_FALSE(d->objectForKey(NS("k0")));
    EXPECT_EQ(text(d->allKeys()->objectAtIndex(0)), "k1");
}

TEST(NSDictionary, CollidingHashesStillFindTheRightKey) {
    auto d = NSMutableDictionary::dictionary();
    for (int i = 0; i < 200; ++i)
        d->setObject(NSNumber::numberWithInt(i), DictTestCollider::with(i));
    for (int i = 0; i < 200; i += 2)
        d->removeObjectForKey(DictTestCollider::with(i));
    EXPECT_EQ(d->count(), 100u);
    EXPECT_FALSE(d->objectForKey(DictTestCollider::with(10)));
    EXPECT_EQ(as<NSNumber>(d->objectForKey(DictTestCollider::with(11)))->intValue(), 11);
    EXPECT_EQ(as<NSNumber>(d->objectForKey(DictTestCollider::with(199)))->intValue(), 199);
}

TEST(NSDictionary, KeysAreCopiedOnInsertion) {
    auto key = NSMutableString::stringWithString(NS("name"));
    auto d = NSMutableDictionary::dictionary();
    d->setObject(NS("Ann"), key);
    key->appendString(NS("s"));
    EXPECT_EQ(text(d->objectForKey(NS("name"))), "Ann");
    EXPECT_FALSE(d->objectForKey(NS("names")));
    Ref<NSObject> stored = d->allKeys()->objectAtIndex(0);
    EXPECT_NE(stored.get(), static_cast<NSObject*>(key.get()));
    EXPECT_FALSE(is<NSMutableString>(stored));

    // An object that cannot be copied cannot be a key.
    auto e = raisedBy([&] { d->setObject(NS("x"), make<NSObject>()); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_EQ(d->count(), 1u);
}

TEST(NSDictionary, NumbersOfDifferentKindsAreTheSameKey) {
    auto d = NSMutableDictionary::dictionary();
    d->setObject(NS("int"), NSNumber::numberWithInt(1));
    d->setObject(NS("double"), NSNumber::numberWithDouble(1.0));
    EXPECT_EQ(d->count(), 1u);
    EXPECT_EQ(text(d->objectForKey(NSNumber::numberWithLongLong(1))), "double");
    EXPECT_EQ(as<NSNumber>(d->allKeys()->objectAtIndex(0))->intValue(), 1);
}

TEST(NSDictionary, NilAndMalformedListsRaise) {
    auto d = NSMutableDictionary::dictionary();
    auto e = raisedBy([&] { d->setObject(nullptr, NS("k")); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_EQ(e->reason()->utf8(),
              "*** -[__NSDictionaryM setObject:forKey:]: object cannot be nil (key: k)");
    e = raisedBy([&] { d->setObject(NS("v"), nullptr); });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_TRUE(raisedBy([&] { d->removeObjectForKey(nullptr); }));

    EXPECT_TRUE(raisedBy([] {
        NSDictionary::dictionaryWithObjectsAndKeys({NS("v"), NS("k"), NS("v2")});
    }));
    EXPECT_TRUE(raisedBy([] { NSDictionary::dictionaryWithObjectsAndKeys({NS("v"), nullptr}); }));
    EXPECT_TRUE(raisedBy([] { NSDictionary::dictionaryWithPairs({{NS("k"), nullptr}}); }));
    e = raisedBy([] {
        NSDictionary::dictionaryWithObjects(NSArray::arrayWithObjects({NS("a"), NS("b")}),
                                            NSArray::arrayWithObjects({NS("k")}));
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSInvalidArgumentException");
    EXPECT_EQ(d->count(), 0u);
}

TEST(NSDictionary, FactoriesReadObjectsThenKeys) {
    auto d = NSDictionary::dictionaryWithObjectsAndKeys({NS("v1"), NS("k1"), NS("v2"), NS("k2")});
    EXPECT_EQ(keysOf(d), "k1,k2");
    EXPECT_EQ(text(d->objectForKey(NS("k2"))), "v2");
    auto z = NSDictionary::dictionaryWithObjects(NSArray::arrayWithObjects({NS("a"), NS("b")}),
                                                 NSArray::arrayWithObjects({NS("x"), NS("x")}));
    EXPECT_EQ(z->count(), 1u);  // a repeated key: the later value wins
    EXPECT_EQ(text(z->objectForKey(NS("x"))), "b");
    EXPECT_EQ(text(NSDictionary::dictionaryWithObject(NS("v"), NS("k"))->objectForKey(NS("k"))),
              "v");
}

TEST(NSDictionary, CopiesFollowTheMutabilityRules) {
    auto d = NSDictionary::dictionaryWithPairs({{NS("a"), NS("1")}, {NS("b"), NS("2")}});
    EXPECT_EQ(d->copy().get(), d.get());
    auto m = d->mutableCopy();
    m->setObject(NS("3"), NS("c"));
    EXPECT_EQ(d->count(), 2u);
    auto frozen = m->copy();
    EXPECT_FALSE(is<NSMutableDictionary>(frozen));
    m->removeAllObjects();
    EXPECT_EQ(keysOf(frozen), "a,b,c");
    EXPECT_TRUE(frozen->isEqual(NSMutableDictionary::dictionaryWithDictionary(frozen)));
    EXPECT_EQ(frozen->hash(), 3u);
}

TEST(NSDictionary, EqualityIgnoresOrder) {
    auto a = NSDictionary::dictionaryWithPairs({{NS("a"), NS("1")}, {NS("b"), NS("2")}});
    auto b = NSMutableDictionary::dictionaryWithPairs({{str("b"), str("2")}, {str("a"), str("1")}});
    EXPECT_TRUE(a->isEqual(b));
    EXPECT_TRUE(b->isEqualToDictionary(a));
    b->setObject(NS("other"), NS("a"));
    EXPECT_FALSE(a->isEqual(b));
    EXPECT_FALSE(a->isEqual(NSArray::array()));
}

TEST(NSDictionary, BulkOperations) {
    auto m = NSMutableDictionary::dictionaryWithPairs({{NS("a"), NS("1")}, {NS("b"), NS("2")}});
    m->addEntriesFromDictionary(
        NSDictionary::dictionaryWithPairs({{NS("b"), NS("two")}, {NS("c"), NS("3")}}));
    EXPECT_EQ(keysOf(m), "a,b,c");
    EXPECT_EQ(text(m->objectForKey(NS("b"))), "two");
    m->removeObjectsForKeys(NSArray::arrayWithObjects({NS("a"), NS("zz")}));
    EXPECT_EQ(keysOf(m), "b,c");
    m->removeObjectsForKeys(m->allKeys());
    EXPECT_EQ(m->count(), 0u);
    m->setDictionary(NSDictionary::dictionaryWithPairs({{NS("x"), NS("1")}, {NS("y"), NS("1")}}));
    EXPECT_EQ(keysOf(m), "x,y");
    EXPECT_EQ(m->allKeysForObject(str("1"))->count(), 2u);
    auto got = m->objectsForKeys(NSArray::arrayWithObjects({NS("y"), NS("q")}), NS("-"));
    EXPECT_EQ(got->componentsJoinedByString(NS(","))->utf8(), "1,-");
}

TEST(NSDictionary, SortsKeysByValueStably) {
    auto d = NSDictionary::dictionaryWithPairs({{NS("p"), NSNumber::numberWithInt(3)},
                                                {NS("q"), NSNumber::numberWithInt(1)},
                                                {NS("r"), NSNumber::numberWithInt(3)},
                                                {NS("s"), NSNumber::numberWithInt(2)}});
    auto keys = d->keysSortedByValueUsingComparator([](NSObject* a, NSObject* b) {
        return static_cast<NSNumber*>(a)->compare(static_cast<NSNumber*>(b));
    });
    EXPECT_EQ(keys->componentsJoinedByString(NS(""))->utf8(), "qspr");
    if (NSNumber::staticClass()->instanceMethod(Selector::named("compare:"))) {
        keys = d->keysSortedByValueUsingSelector(Selector::named("compare:"));
        EXPECT_EQ(keys->componentsJoinedByString(NS(""))->utf8(), "qspr");
    }
}

TEST(NSDictionary, MutationDuringEnumerationRaises) {
    auto m = NSMutableDictionary::dictionaryWithPairs({{NS("a"), NS("1")}, {NS("b"), NS("2")}});
    auto e = raisedBy([&] {
        for (NSObject* k : *m)
            m->setObject(NS("x"), k);  // even a replacement is a change
    });
    ASSERT_TRUE(e);
    EXPECT_EQ(e->name()->utf8(), "NSGenericException");
    EXPECT_NE(e->reason()->utf8().find("<__NSDictionaryM: 0x"), std::string::npos);

    EXPECT_TRUE(raisedBy([&] {
        m->enumerateKeysAndObjectsUsingBlock(
            [&](NSObject* k, NSObject*, bool*) { m->removeObjectForKey(k); });
    }));
    auto keys = m->keyEnumerator();
    m->setObject(NS("3"), NS("c"));
    EXPECT_TRUE(raisedBy([&] { keys->nextObject(); }));

    // Reading the values through an enumerator, and stopping a block early.
    std::string values;
    for (NSObject* v : m->objectEnumerator())
        values += text(v);
    EXPECT_EQ(values.size(), m->count());
    int calls = 0;
    m->enumerateKeysAndObjectsUsingBlock([&](NSObject*, NSObject*, bool* stop) {
        ++calls;
        *stop = true;
    });
    EXPECT_EQ(calls, 1);
}

// Enumerating an immutable dictionary, indexed or not, visits every entry once in order, in
// both directions, and stops when asked.
TEST(NSDictionary, ImmutableEnumerationVisitsEveryEntryInOrder) {
    for (int n : {0, 3, 40}) {
        auto m = NSMutableDictionary::dictionary();
        for (int i = 0; i < n; ++i)
            m->setObject(NSNumber::numberWithInt(i), str("k" + std::to_string(i)));
        m->removeObjectForKey(NS("k1"));  // a hole in the table
        auto d = NSDictionary::dictionaryWithDictionary(m);
        std::string forward, backward, expected, expectedBackward;
        auto keys = m->allKeys();
        for (NSObject* key : *keys) {
            expected += text(key) + "=" + text(m->objectForKey(key)) + ",";
            expectedBackward = text(key) + "," + expectedBackward;
        }
        d->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value, bool*) {
            forward += text(key) + "=" + text(value) + ",";
        });
        EXPECT_EQ(forward, expected);
        d->enumerateKeysAndObjectsWithOptions(
            NSEnumerationReverse,
            [&](NSObject* key, NSObject*, bool*) { backward += text(key) + ","; });
        EXPECT_EQ(backward, expectedBackward);
        int calls = 0;
        d->enumerateKeysAndObjectsUsingBlock([&](NSObject*, NSObject*, bool* stop) {
            ++calls;
            *stop = calls == 2;
        });
        EXPECT_EQ(calls, std::min<int>(2, static_cast<int>(d->count())));
    }
}

TEST(NSDictionary, DescribesInPropertyListStyle) {
    EXPECT_EQ(text(NSDictionary::dictionary()), "{\n}");
    auto d = NSDictionary::dictionaryWithPairs(
        {{NS("key"), NS("value")},
         {NS("a b"), NSNumber::numberWithInt(2)},
         {NS("list"), NSArray::arrayWithObjects({NS("x"), NS("y z")})},
         {NS("inner"), NSDictionary::dictionaryWithObject(NS(""), NS("e"))}});
    EXPECT_EQ(text(d),
              "{\n"
              "    key = value;\n"
              "    \"a b\" = 2;\n"
              "    list = (\n"
              "        x,\n"
              "        \"y z\"\n"
              "    );\n"
              "    inner = {\n"
              "        e = \"\";\n"
              "    };\n"
              "}");
}

TEST(NSDictionary, KeyValueCoding) {
    auto m = NSMutableDictionary::dictionary();
    m->setValue(NS("v"), NS("count"));  // a key like any other
    EXPECT_EQ(text(m->valueForKey(NS("count"))), "v");
    auto n = as<NSNumber>(m->valueForKey(NS("@count")));  // the dictionary's own count
    ASSERT_TRUE(n);
    EXPECT_EQ(n->intValue(), 1);
    m->setValue(nullptr, NS("count"));
    EXPECT_EQ(m->count(), 0u);
    EXPECT_FALSE(m->valueForKey(NS("missing")));

    Value args[] = {Value::ofObject(NS("v")), Value::ofObject(NS("k"))};
    invokeMethod(m, Selector::named("setObject:forKey:"), args);
    Value key[] = {Value::ofObject(NS("k"))};
    EXPECT_EQ(text(invokeMethod(m, Selector::named("objectForKey:"), key).object()), "v");
}

}  // namespace
