#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/Runtime.h"
#include "support/FoundationTesting.h"
#include "ui/core/DZCollectionAdditions.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStringAdditions.h"

namespace {

// A list member that records the calls it gets; it may leave its list during a call.
class Listener : public NSObject {
    NS_OBJECT(Listener, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.method("ping", &Listener::ping)
            .method("ping:", &Listener::ping1)
            .method("ping:with:", &Listener::ping2)
            .method("ping:with:and:", &Listener::ping3)
            .method("join:b:c:d:", &Listener::join4)
            .method("join:b:c:d:e:f:g:", &Listener::join7)
            .method("count:b:c:d:", &Listener::count4)
            .method("nothing:b:c:d:", &Listener::nothing4)
            .method("matches:", &Listener::matches)
            .property("name", &Listener::name);
    }
    static Ref<Listener> named(const char* n) {
        auto l = make<Listener>();
        l->name_ = str(n);
        return l;
    }
    void ping() {
        calls.push_back("ping");
        leave();
    }
    void ping1(NSObject* a) {
        calls.push_back("ping:" + text(a));
        leave();
    }
    void ping2(NSObject* a, NSObject* b) { calls.push_back("ping:" + text(a) + text(b)); }
    void ping3(NSObject* a, NSObject* b, NSObject* c) {
        calls.push_back("ping:" + text(a) + text(b) + text(c));
    }
    Ref<NSString> join4(NSString* a, NSString* b, NSString* c, NSString* d) {
        return NSString::stringWithFormat(NS("%@%@%@%@"), a, b, c, d);
    }
    Ref<NSString> join7(NSString* a, NSString* b, NSString* c, NSString* d, NSString* e,
                        NSString* f, NSString* g) {
        return NSString::stringWithFormat(NS("%@%@%@%@%@%@%@"), a, b, c, d, e, f, g);
    }
    int count4(NSObject*, NSObject*, NSObject*, NSObject*) { return 4; }
    void nothing4(NSObject*, NSObject*, NSObject*, NSObject*) { calls.push_back("nothing"); }
    bool matches(NSString* s) { return s && s->isEqualToString(name_); }
    Ref<NSString> name() { return name_; }

    void leave() {
        if (auto list = leaveFrom.lock()) list->removeObject(this);
    }
    Weak<NSMutableArray> leaveFrom;
    std::vector<std::string> calls;

private:
    Ref<NSString> name_;
};

class Quiet : public NSObject {
    NS_OBJECT(Quiet, NSObject)
};

TEST(NSArrayDZCategory, PerformReachesEveryMemberEvenWhenOneLeaves) {
    auto list = DZNewWeakMutableArray();
    auto a = Listener::named("a"), b = Listener::named("b"), c = Listener::named("c");
    auto quiet = make<Quiet>();
    a->leaveFrom = list;
    for (NSObject* o : std::initializer_list<NSObject*>{a, quiet, b, c})
        list->addObject(o);
    perform(list, Selector::named("ping:"), NS("x"));
    EXPECT_EQ(a->calls, std::vector<std::string>{"ping:x"});
    EXPECT_EQ(b->calls, std::vector<std::string>{"ping:x"});
    EXPECT_EQ(c->calls, std::vector<std::string>{"ping:x"});
    EXPECT_EQ(list->count(), 3u);  // a left
    perform(list, Selector::named("ping"));
    perform(list, Selector::named("ping:with:"), NS("1"), NS("2"));
    perform(list, Selector::named("ping:with:and:"), NS("1"), NS("2"), NS("3"));
    EXPECT_EQ(b->calls, (std::vector<std::string>{"ping:x", "ping", "ping:12", "ping:123"}));
    EXPECT_EQ(a->calls.size(), 1u);
}

TEST(NSArrayDZCategory, MakeObjectsPerformSendsToEveryElement) {
    auto a = Listener::named("a"), b = Listener::named("b");
    auto list = NSMutableArray::arrayWithObjects({a, b});
    makeObjectsPerformSelector(list, Selector::named("ping:with:"), NS("p"), NS("q"));
    makeObjectsPerformSelector(list, Selector::named("ping:with:and:"), NS("p"), NS("q"), NS("r"));
    EXPECT_EQ(a->calls, (std::vector<std::string>{"ping:pq", "ping:pqr"}));
    EXPECT_EQ(b->calls, a->calls);
    // Without the test, an element that lacks the method is an error.
    list->addObject(make<Quiet>());
    EXPECT_EQ(raisedName([&] {
                  makeObjectsPerformSelector(list, Selector::named("ping:with:"), nullptr, nullptr);
              }),
              "NSInvalidArgumentException");
}

TEST(NSArrayDZCategory, FindingMembers) {
    auto a = Listener::named("a"), b = Listener::named("b");
    auto quiet = make<Quiet>();
    auto list = NSArray::arrayWithObjects({quiet, a, b});
    auto named = NSArray::arrayWithObjects({a, b});
    EXPECT_EQ(objectWithValue(named, NS("b"), NS("name")).get(), b.get());
    EXPECT_EQ(objectWithValue(named, NS("z"), NS("name")).get(), nullptr);
    // Key-value coding decides: a member without the key is an error, as for valueForKey.
    EXPECT_EQ(raisedName([&] { objectWithValue(list, NS("b"), NS("name")); }),
              "NSUnknownKeyException");
    EXPECT_EQ(objectWithClass(list, Listener::staticClass()).get(), a.get());
    EXPECT_EQ(objectWithClass(list, NSObject::staticClass()).get(), quiet.get());
    EXPECT_EQ(objectWithClass(list, NSString::staticClass()).get(), nullptr);
    auto listeners = NSArray::arrayWithObjects({a, b});
    EXPECT_TRUE(containsObject(listeners, NS("b"), Selector::named("matches:")));
    EXPECT_FALSE(containsObject(listeners, NS("c"), Selector::named("matches:")));
}

TEST(NSMutableCollectionsDZCategory, OnlyNonEmptyStringsGoIn) {
    auto list = NSMutableArray::array();
    addNonEmptyString(list, NS(""));
    addNonEmptyString(list, nullptr);
    addNonEmptyString(list, NS("x"));
    EXPECT_EQ(text(list->componentsJoinedByString(NS(","))), "x");
    auto map = NSMutableDictionary::dictionary();
    setNonEmptyString(map, NS(""), NS("a"));
    setNonEmptyString(map, nullptr, NS("b"));
    setNonEmptyString(map, NS("v"), NS("c"));
    EXPECT_EQ(map->count(), 1u);
    EXPECT_EQ(text(map->objectForKey(NS("c"))), "v");
}

TEST(NSObjectDZAdditions, PerformsWithManyArguments) {
    auto l = Listener::named("l");
    EXPECT_EQ(text(performSelector(l, Selector::named("join:b:c:d:"), NS("1"), NS("2"), NS("3"),
                                   NS("4"))),
              "1234");
    EXPECT_EQ(text(performSelector(l, Selector::named("join:b:c:d:e:f:g:"), NS("1"), NS("2"),
                                   NS("3"), NS("4"), NS("5"), NS("6"), NS("7"))),
              "1234567");
    performSelector(l, Selector::named("ping:with:and:"), NS("a"), NS("b"), NS("c"));
    EXPECT_EQ(l->calls, std::vector<std::string>{"ping:abc"});
    // No such method: nil, nothing raised.
    EXPECT_EQ(
        performSelector(l, Selector::named("absent:b:c:d:"), NS("1"), NS("2"), NS("3"), NS("4"))
            .get(),
        nullptr);
    // A result that is not an object is not handed back as one.
    EXPECT_EQ(
        performSelector(l, Selector::named("count:b:c:d:"), nullptr, nullptr, nullptr, nullptr)
            .get(),
        nullptr);
    EXPECT_EQ(
        performSelector(l, Selector::named("nothing:b:c:d:"), nullptr, nullptr, nullptr, nullptr)
            .get(),
        nullptr);
    EXPECT_EQ(l->calls.back(), "nothing");
}

TEST(NSStringDZAdditions, Digests) {
    EXPECT_EQ(text(md5Hash(NS(""))), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(text(md5Hash(NS("abc"))), "900150983cd24fb0d6963f7d28e17f72");
    EXPECT_EQ(text(sha1Hash(NS("abc"))), "a9993e364706816aba3e25717850c26c9cd0d89d");
    const unsigned char bytes[] = {0, 1, 2, 0xff};
    auto data = NSData::dataWithBytes(bytes, sizeof bytes);
    for (const std::string& hex : {text(md5Hash(data)), text(sha1Hash(data))}) {
        EXPECT_EQ(hex.find_first_not_of("0123456789abcdef"), std::string::npos) << hex;
    }
    EXPECT_EQ(text(md5Hash(data)).size(), 32u);
    EXPECT_EQ(text(sha1Hash(data)).size(), 40u);
    // The string's digest is that of its UTF-8 bytes.
    EXPECT_EQ(text(md5Hash(str("é"))),
              text(md5Hash(str("é")->dataUsingEncoding(NSUTF8StringEncoding))));
}

TEST(NSStringDZAdditions, WhiteSpaceTests) {
    EXPECT_TRUE(isWhitespaceAndNewlines(NS("")));
    EXPECT_TRUE(isWhitespaceAndNewlines(NS(" \t\n")));
    EXPECT_FALSE(isWhitespaceAndNewlines(NS(" a ")));
    EXPECT_TRUE(isEmptyOrWhitespace(NS("")));
    EXPECT_TRUE(isEmptyOrWhitespace(NS(" \t ")));
    EXPECT_FALSE(isEmptyOrWhitespace(NS("\n")));
    EXPECT_TRUE(isWhitespaceAndNewlines(NS("\n")));
    EXPECT_FALSE(isEmptyOrWhitespace(NS(" x ")));
}

std::string entries(NSDictionary* d) {
    std::string out;
    for (NSObject* key : *d) {
        Ref<NSObject> v = d->objectForKey(key);
        out += text(key) + "=";
        if (auto a = as<NSArray>(v)) {
            for (NSObject* e : *a)
                out += (is<NSNull>(e) ? std::string("<null>") : text(e)) + "|";
        } else {
            out += text(v);
        }
        out += " ";
    }
    return out;
}

TEST(NSStringDZAdditions, QueryDictionary) {
    auto q = [](const char* s) {
        return entries(queryDictionaryUsingEncoding(str(s), NSUTF8StringEncoding));
    };
    EXPECT_EQ(q("a=1&b=2;c=3"), "a=1 b=2 c=3 ");
    EXPECT_EQ(q("a=1&a=2"), "a=2 ");
    EXPECT_EQ(q("x&y=1"), "y=1 ");
    EXPECT_EQ(q("a=1=2&b=&&;;c=%41+%20"), "b= c=A+  ");
    EXPECT_EQ(q("%7Ekey=v%26w"), "~key=v&w ");
    // A bad escape cannot be read: the pair is skipped, the others stay.
    EXPECT_EQ(q("a=%zz&b=2&%G1=3"), "b=2 ");
    EXPECT_EQ(q(""), "");
    EXPECT_FALSE(is<NSMutableDictionary>(
        queryDictionaryUsingEncoding(NS("a=1"), NSUTF8StringEncoding).get()));
}

TEST(NSStringDZAdditions, QueryContents) {
    auto q = [](const char* s) {
        return entries(queryContentsUsingEncoding(str(s), NSUTF8StringEncoding));
    };
    EXPECT_EQ(q("a=1&a=2&b"), "a=1|2| b=<null>| ");
    EXPECT_EQ(q("a=1=2;b=%zz;c"), "c=<null>| ");
    auto d = queryContentsUsingEncoding(NS("a=1"), NSUTF8StringEncoding);
    EXPECT_FALSE(is<NSMutableArray>(d->objectForKey(NS("a")).get()));
}

TEST(NSStringDZAdditions, AddingAQuery) {
    auto one = NSDictionary::dictionaryWithPairs({{NS("q"), NS("a=b")}});
    EXPECT_EQ(text(stringByAddingQueryDictionary(NS("/path"), one)), "/path?q=a%3Db");
    auto two = NSMutableDictionary::dictionary();
    two->setObject(NS("1?2"), NS("x y"));
    two->setObject(NS("&"), NS("z"));
    EXPECT_EQ(text(stringByAddingQueryDictionary(NS("/p?k=v"), two)), "/p?k=v&x y=1%3F2&z=&");
    EXPECT_EQ(text(stringByAddingQueryDictionary(NS("/p"), NSDictionary::dictionary())), "/p?");
    EXPECT_EQ(text(stringByAddingQueryDictionary(NS("/p?"), NSDictionary::dictionary())), "/p?&");
}

TEST(NSStringDZAdditions, VersionOrder) {
    auto cmp = [](const char* a, const char* b) { return versionStringCompare(str(a), str(b)); };
    EXPECT_EQ(cmp("2.0", "2.0a3"), NSOrderedDescending);
    EXPECT_EQ(cmp("2.0a3", "2.0"), NSOrderedAscending);
    EXPECT_EQ(cmp("2.0a3", "2.0a10"), NSOrderedAscending);
    EXPECT_EQ(cmp("2.0", "2.0"), NSOrderedSame);
    // Dotted numbers compare as numbers, not as text.
    EXPECT_EQ(cmp("1.10", "1.9"), NSOrderedDescending);
    EXPECT_EQ(cmp("1.9", "1.10"), NSOrderedAscending);
    EXPECT_EQ(cmp("2", "2.0"), NSOrderedSame);
    EXPECT_EQ(cmp("2.0.1", "2.0"), NSOrderedDescending);
    EXPECT_EQ(cmp("3.0a1", "2.9"), NSOrderedDescending);
}

TEST(NSStringDZAdditions, RemovingTags) {
    EXPECT_EQ(text(stringByRemovingHTMLTags(NS("<b>Bold</b> text"))), "Bold text");
    EXPECT_EQ(text(stringByRemovingHTMLTags(NS("plain words"))), "plain words");
}

}  // namespace
