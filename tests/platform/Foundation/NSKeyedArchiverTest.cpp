#include "Foundation/NSKeyedArchiver.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <random>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSValue.h"
#include "Foundation/Runtime.h"
#include "tests/support/FoundationTesting.h"

namespace {

// An archivable record with a field of every kind; "reject" makes initWithCoder fail.
class ArchiveTestItem : public NSObject, public NSCoding {
    NS_OBJECT(ArchiveTestItem, NSObject)
    Ref<NSString> title;
    int32_t count = 0;
    int64_t big = 0;
    bool flag = false;
    float ratio = 0;
    double price = 0;
    std::vector<uint8_t> raw;
    Ref<NSObject> child;
    Ref<NSObject> back;         // a reference that may point up the graph
    bool backWasReady = false;  // whether `back` had finished decoding when read
    bool reject = false;

    void encodeWithCoder(NSCoder* c) override {
        c->encodeObject(title, NS("title"));
        c->encodeInt32(count, NS("count"));
        c->encodeInt64(big, NS("big"));
        c->encodeBool(flag, NS("flag"));
        c->encodeFloat(ratio, NS("ratio"));
        c->encodeDouble(price, NS("price"));
        c->encodeBytes(raw.data(), static_cast<NSUInteger>(raw.size()), NS("raw"));
        c->encodeObject(child, NS("child"));
        c->encodeObject(back, NS("back"));
        if (reject) c->encodeBool(true, NS("reject"));
    }
    bool initWithCoder(NSCoder* c) override {
        if (c->decodeBoolForKey(NS("reject"))) return false;
        title = as<NSString>(c->decodeObjectForKey(NS("title")));
        count = c->decodeInt32ForKey(NS("count"));
        big = c->decodeInt64ForKey(NS("big"));
        flag = c->decodeBoolForKey(NS("flag"));
        ratio = c->decodeFloatForKey(NS("ratio"));
        price = c->decodeDoubleForKey(NS("price"));
        NSUInteger n = 0;
        const uint8_t* p = c->decodeBytesForKey(NS("raw"), &n);
        raw.assign(p, p + n);
        child = c->decodeObjectForKey(NS("child"));
        back = c->decodeObjectForKey(NS("back"));
        if (auto up = as<ArchiveTestItem>(back)) backWasReady = up->child != nullptr;
        return true;
    }
};

Ref<ArchiveTestItem> item(const char* title) {
    auto i = make<ArchiveTestItem>();
    i->title = str(title);
    return i;
}

Ref<NSObject> roundTrip(NSObject* root) {
    return NSKeyedUnarchiver::unarchiveObjectWithData(
        NSKeyedArchiver::archivedDataWithRootObject(root));
}

std::string raisedReason(const std::function<void()>& f) {
    Ref<NSException> e = raisedBy(f);
    return e ? e->reason()->utf8() : std::string();
}

std::string sandbox(const char* name) {
    return std::string(std::getenv("BAZAARNEST_HOME")) + "/" + name;
}

}  // namespace

TEST(NSKeyedArchiverTest, ValueClassesRoundTripWithTheirKindsAndMutability) {
    const char16_t lone[] = {u'a', 0xD800, u'b'};
    auto strings = NSArray::arrayWithObjects(
        {NS(""), str("Grüße, 日本 😀"), NS("plain"), NSString::stringWithCharacters(lone, 3)});
    auto numbers = NSArray::arrayWithObjects(
        {NSNumber::numberWithBool(true), NSNumber::numberWithBool(false),
         NSNumber::numberWithInt(1), NSNumber::numberWithChar('x'),
         NSNumber::numberWithLongLong(std::numeric_limits<long long>::min()),
         NSNumber::numberWithUnsignedLongLong(std::numeric_limits<unsigned long long>::max()),
         NSNumber::numberWithLongLong((1LL << 53) + 1), NSNumber::numberWithFloat(0.1f),
         NSNumber::numberWithDouble(-0.0), NSNumber::numberWithDouble(INFINITY),
         NSDecimalNumber::decimalNumberWithString(NS("123456789012345678901234567890.125"))});
    auto base = NSURL::URLWithString(NS("http://example.com/a/"));
    auto root = NSDictionary::dictionaryWithPairs({
        {NS("strings"), strings},
        {NS("numbers"), numbers},
        {NS("nan"), NSNumber::numberWithDouble(NAN)},
        {NS("mstring"), NSMutableString::stringWithString(NS("grow"))},
        {NS("data"), NSData::dataWithBytes("\0\1\2\xff", 4)},
        {NS("empty data"), NSData::data()},
        {NS("mdata"), NSMutableData::dataWithBytes("ab", 2)},
        {NS("date"), NSDate::dateWithTimeIntervalSinceReferenceDate(123456.789)},
        {NS("nested"), NSArray::arrayWithObjects({NSArray::array(), NSDictionary::dictionary(),
                                                  NSArray::arrayWithObject(NSNull::null())})},
        {NS("marray"), NSMutableArray::arrayWithObject(NS("m"))},
        {NS("mdict"), NSMutableDictionary::dictionaryWithObject(NS("v"), NS("k"))},
        {NS("set"), NSSet::setWithObjects({NS("a"), NSNumber::numberWithInt(2)})},
        {NS("mset"), NSMutableSet::setWithObject(NS("s"))},
        {NS("url"), NSURL::URLWithString(NS("b?q=1#f"), base)},
        {NS("range"), NSValue::valueWithRange(NSMakeRange(3, 9))},
    });

    auto back = as<NSDictionary>(roundTrip(root));
    ASSERT_TRUE(back);
    EXPECT_FALSE(is<NSMutableDictionary>(back));
    // Everything but NaN compares equal, and keys keep their order.
    EXPECT_TRUE(back->allKeys()->isEqualToArray(root->allKeys()));
    for (NSObject* key : *root) {
        if (key->isEqual(NS("nan"))) continue;
        EXPECT_TRUE(objectsEqual(back->objectForKey(key), root->objectForKey(key))) << text(key);
    }
    EXPECT_TRUE(std::isnan(as<NSNumber>(back->objectForKey(NS("nan")))->doubleValue()));

    auto nums = as<NSArray>(back->objectForKey(NS("numbers")));
    EXPECT_TRUE(as<NSNumber>(nums->objectAtIndex(0))->isBoolean());
    EXPECT_FALSE(as<NSNumber>(nums->objectAtIndex(2))->isBoolean());
    EXPECT_STREQ(as<NSNumber>(nums->objectAtIndex(3))->objCType(), "c");
    EXPECT_EQ(as<NSNumber>(nums->objectAtIndex(5))->unsignedLongLongValue(),
              std::numeric_limits<unsigned long long>::max());
    EXPECT_EQ(as<NSNumber>(nums->objectAtIndex(6))->longLongValue(), (1LL << 53) + 1);
    EXPECT_STREQ(as<NSNumber>(nums->objectAtIndex(7))->objCType(), "f");
    EXPECT_TRUE(std::signbit(as<NSNumber>(nums->objectAtIndex(8))->doubleValue()));
    EXPECT_TRUE(is<NSDecimalNumber>(nums->objectAtIndex(10)));
    EXPECT_EQ(text(nums->objectAtIndex(10)), "123456789012345678901234567890.125");
    EXPECT_EQ(as<NSString>(as<NSArray>(back->objectForKey(NS("strings")))->objectAtIndex(3))
                  ->characterAtIndex(1),
              0xD800);

    EXPECT_TRUE(is<NSMutableString>(back->objectForKey(NS("mstring"))));
    EXPECT_FALSE(is<NSMutableString>(as<NSArray>(back->objectForKey(NS("strings")))->lastObject()));
    EXPECT_TRUE(is<NSMutableData>(back->objectForKey(NS("mdata"))));
    EXPECT_FALSE(is<NSMutableData>(back->objectForKey(NS("data"))));
    EXPECT_TRUE(is<NSMutableArray>(back->objectForKey(NS("marray"))));
    EXPECT_FALSE(is<NSMutableArray>(back->objectForKey(NS("nested"))));
    EXPECT_TRUE(is<NSMutableDictionary>(back->objectForKey(NS("mdict"))));
    EXPECT_TRUE(is<NSMutableSet>(back->objectForKey(NS("mset"))));
    EXPECT_FALSE(is<NSMutableSet>(back->objectForKey(NS("set"))));
    auto url = as<NSURL>(back->objectForKey(NS("url")));
    EXPECT_EQ(text(url->absoluteString()), "http://example.com/a/b?q=1#f");
    EXPECT_EQ(text(url->relativeString()), "b?q=1#f");
    EXPECT_EQ(as<NSValue>(back->objectForKey(NS("range")))->rangeValue(), NSMakeRange(3, 9));
    EXPECT_EQ(NSKeyedUnarchiver::unarchiveObjectWithData(
                  NSKeyedArchiver::archivedDataWithRootObject(nullptr)),
              nullptr);
}

TEST(NSKeyedArchiverTest, CodedObjectsNestSharedObjectsStayOneAndCyclesClose) {
    auto child = item("child");
    child->count = -7;
    child->big = -(1LL << 40);
    child->flag = true;
    child->ratio = 0.25f;
    child->price = 19.99;
    child->raw = {0, 1, 255};
    auto shared = NSMutableArray::arrayWithObject(NS("shared"));
    auto parent = item("parent");
    parent->child = NSArray::arrayWithObjects({child, shared, shared, child});
    child->back = parent;  // a cycle through the parent

    auto decoded = as<ArchiveTestItem>(roundTrip(parent));
    child->back = nullptr;
    ASSERT_TRUE(decoded);
    EXPECT_EQ(text(decoded->title), "parent");
    auto list = as<NSArray>(decoded->child);
    ASSERT_EQ(list->count(), 4u);
    auto c = as<ArchiveTestItem>(list->objectAtIndex(0));
    EXPECT_EQ(list->objectAtIndex(3).get(), c.get());
    EXPECT_EQ(list->objectAtIndex(1).get(), list->objectAtIndex(2).get());
    EXPECT_EQ(text(c->title), "child");
    EXPECT_EQ(c->count, -7);
    EXPECT_EQ(c->big, -(1LL << 40));
    EXPECT_TRUE(c->flag);
    EXPECT_EQ(c->ratio, 0.25f);
    EXPECT_EQ(c->price, 19.99);
    EXPECT_EQ(c->raw, (std::vector<uint8_t>{0, 1, 255}));
    // The way back up reaches the very same parent, which had not finished decoding then.
    EXPECT_EQ(c->back.get(), decoded.get());
    EXPECT_FALSE(c->backWasReady);
    c->back = nullptr;  // the decoded graph holds a cycle; break it

    // An object stored twice takes its bytes once.
    auto blob = NSMutableData::dataWithLength(4000);
    auto once = NSKeyedArchiver::archivedDataWithRootObject(NSArray::arrayWithObject(blob));
    auto twice =
        NSKeyedArchiver::archivedDataWithRootObject(NSArray::arrayWithObjects({blob, blob}));
    EXPECT_LT(twice->length(), once->length() + 8);
}

TEST(NSKeyedArchiverTest, FailingInitialiserDecodesAsNil) {
    auto rejected = item("no");
    rejected->reject = true;
    EXPECT_EQ(roundTrip(rejected), nullptr);
    auto holder = item("holder");
    holder->child = rejected;
    auto back = as<ArchiveTestItem>(roundTrip(holder));
    ASSERT_TRUE(back);
    EXPECT_EQ(back->child, nullptr);
    // A container cannot hold the nil the element became.
    EXPECT_EQ(raisedName([&] { roundTrip(NSArray::arrayWithObject(rejected)); }),
              "NSInvalidArgumentException");
}

TEST(NSKeyedArchiverTest, TypedReadsConvertAndMissingKeysGiveDefaults) {
    auto data = NSMutableData::dataWithBytes("x", 1);
    auto archiver = make<NSKeyedArchiver>(&NSKeyedArchiver::initForWritingWithMutableData, data);
    archiver->encodeInt64(5000000000LL, NS("wide"));
    archiver->encodeInt64(INT32_MIN, NS("low"));
    archiver->encodeDouble(-3.9, NS("real"));
    archiver->encodeDouble(1e300, NS("huge"));
    archiver->encodeDouble(NAN, NS("nan"));
    archiver->encodeInt(7, NS("seven"));
    archiver->encodeBool(true, NS("yes"));
    archiver->encodeObject(NSNumber::numberWithInt(42), NS("boxed"));
    archiver->encodeObject(NS("text"), NS("text"));
    archiver->encodeInt(1, NS("again"));
    archiver->encodeInt(2, NS("again"));  // the later value wins
    archiver->finishEncoding();
    EXPECT_EQ(raisedName([&] { archiver->encodeInt(1, NS("late")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(static_cast<const char*>(data->bytes())[0], 'x');  // appended after what was there
    auto u = make<NSKeyedUnarchiver>(&NSKeyedUnarchiver::initForReadingWithData,
                                     data->subdataWithRange(NSMakeRange(1, data->length() - 1)));

    EXPECT_EQ(u->decodeInt64ForKey(NS("wide")), 5000000000LL);
    EXPECT_EQ(raisedReason([&] { u->decodeIntForKey(NS("wide")); }),
              "*** -[NSKeyedUnarchiver decodeIntForKey:]: value (5000000000) for key (wide) too "
              "large to fit in 32-bit integer");
    EXPECT_EQ(raisedName([&] { u->decodeInt32ForKey(NS("wide")); }), "NSRangeException");
    EXPECT_EQ(raisedName([&] { u->decodeIntegerForKey(NS("wide")); }), "NSRangeException");
    EXPECT_EQ(u->decodeIntForKey(NS("low")), INT32_MIN);
    EXPECT_EQ(u->decodeInt64ForKey(NS("real")), -3);  // truncated toward zero
    EXPECT_EQ(raisedName([&] { u->decodeInt64ForKey(NS("nan")); }), "NSRangeException");
    EXPECT_EQ(raisedName([&] { u->decodeFloatForKey(NS("huge")); }), "NSRangeException");
    EXPECT_EQ(u->decodeDoubleForKey(NS("huge")), 1e300);
    EXPECT_EQ(u->decodeDoubleForKey(NS("seven")), 7.0);
    EXPECT_EQ(u->decodeIntForKey(NS("yes")), 1);
    EXPECT_TRUE(u->decodeBoolForKey(NS("seven")));
    EXPECT_EQ(u->decodeIntForKey(NS("boxed")), 42);
    EXPECT_EQ(u->decodeIntForKey(NS("again")), 2);
    EXPECT_EQ(raisedName([&] { u->decodeIntForKey(NS("text")); }),
              "NSInvalidUnarchiveOperationException");

    EXPECT_TRUE(u->containsValueForKey(NS("seven")));
    EXPECT_FALSE(u->containsValueForKey(NS("absent")));
    EXPECT_EQ(u->decodeObjectForKey(NS("absent")), nullptr);
    EXPECT_FALSE(u->decodeBoolForKey(NS("absent")));
    EXPECT_EQ(u->decodeIntForKey(NS("absent")), 0);
    EXPECT_EQ(u->decodeInt64ForKey(NS("absent")), 0);
    EXPECT_EQ(u->decodeDoubleForKey(NS("absent")), 0.0);
    NSUInteger length = 99;
    EXPECT_EQ(u->decodeBytesForKey(NS("absent"), &length), nullptr);
    EXPECT_EQ(length, 0u);
    u->finishDecoding();

    // An object missing a key it never wrote reads the defaults too.
    auto bare = as<ArchiveTestItem>(roundTrip(make<ArchiveTestItem>()));
    ASSERT_TRUE(bare);
    EXPECT_EQ(bare->title, nullptr);
    EXPECT_TRUE(bare->raw.empty());
    EXPECT_EQ(raisedName([&] { make<NSCoder>()->encodeInt(1, NS("k")); }),
              "NSInvalidArgumentException");
}

TEST(NSKeyedArchiverTest, ClassNamesAreMappedAndUnknownOnesRaise) {
    Class cls = ArchiveTestItem::staticClass();
    auto archiver = make<NSKeyedArchiver>();
    archiver->setClassName(NS("LegacyArchiveItem"), cls);
    EXPECT_EQ(text(archiver->classNameForClass(cls)), "LegacyArchiveItem");
    archiver->encodeRootObject(item("old"));
    auto data = archiver->encodedData();
    EXPECT_EQ(raisedReason([&] { NSKeyedUnarchiver::unarchiveObjectWithData(data); }),
              "*** -[NSKeyedUnarchiver decodeObjectForKey:]: cannot decode object of class "
              "(LegacyArchiveItem)");

    auto u = make<NSKeyedUnarchiver>(&NSKeyedUnarchiver::initForReadingWithData, data);
    u->setClass(cls, NS("LegacyArchiveItem"));
    EXPECT_EQ(u->classForClassName(NS("LegacyArchiveItem")), cls);
    EXPECT_EQ(text(as<ArchiveTestItem>(u->decodeObjectForKey(NSKeyedArchiveRootObjectKey))->title),
              "old");

    // The process-wide mappings serve every archiver and unarchiver, until removed.
    NSKeyedArchiver::setClassNameForClass(NS("GlobalArchiveItem"), cls);
    NSKeyedUnarchiver::setClassForClassName(cls, NS("GlobalArchiveItem"));
    auto mapped = NSKeyedArchiver::archivedDataWithRootObject(item("global"));
    EXPECT_NE(mapped->view().find("GlobalArchiveItem"), std::string_view::npos);
    EXPECT_EQ(text(as<ArchiveTestItem>(NSKeyedUnarchiver::unarchiveObjectWithData(mapped))->title),
              "global");
    NSKeyedArchiver::setClassNameForClass(nullptr, cls);
    NSKeyedUnarchiver::setClassForClassName(nullptr, NS("GlobalArchiveItem"));
    EXPECT_EQ(raisedName([&] { NSKeyedUnarchiver::unarchiveObjectWithData(mapped); }),
              "NSInvalidUnarchiveOperationException");

    // A registered class that does not adopt NSCoding cannot be made from an archive.
    auto impostor = make<NSKeyedArchiver>();
    impostor->setClassName(NS("NSObject"), cls);
    impostor->encodeRootObject(item("x"));
    EXPECT_EQ(
        raisedName([&] { NSKeyedUnarchiver::unarchiveObjectWithData(impostor->encodedData()); }),
        "NSInvalidUnarchiveOperationException");
}

TEST(NSKeyedArchiverTest, ObjectsThatCannotBeArchivedRaise) {
    EXPECT_EQ(
        raisedReason([] {
            NSKeyedArchiver::archivedDataWithRootObject(NSArray::arrayWithObject(make<NSObject>()));
        }).find("-[NSObject encodeWithCoder:]: unrecognized selector sent to instance"),
        0u);
    EXPECT_EQ(raisedName([] {
                  int x = 0;
                  NSKeyedArchiver::archivedDataWithRootObject(NSValue::valueWithPointer(&x));
              }),
              "NSInvalidArgumentException");
    // A value object that holds itself archives, but cannot be rebuilt.
    auto loop = NSMutableArray::array();
    loop->addObject(loop);
    auto data = NSKeyedArchiver::archivedDataWithRootObject(loop);
    loop->removeAllObjects();
    EXPECT_EQ(raisedName([&] { NSKeyedUnarchiver::unarchiveObjectWithData(data); }),
              "NSInvalidUnarchiveOperationException");
}

// A thousand objects one inside the other read back; deeper nesting raises on either side
// instead of exhausting the stack.
TEST(NSKeyedArchiverTest, NestingIsBoundedOnBothSides) {
    auto nest = [](int levels) {
        Ref<NSObject> deep = NS("leaf");
        for (int i = 1; i < levels; ++i)
            deep = NSArray::arrayWithObject(deep);
        return deep;
    };
    auto depthOf = [](NSObject* object) {
        int levels = 1;
        for (; is<NSArray>(object); ++levels)
            object = as<NSArray>(object)->objectAtIndex(0);
        return levels;
    };
    EXPECT_EQ(depthOf(roundTrip(nest(1000))), 1000);
    EXPECT_EQ(raisedName([&] { NSKeyedArchiver::archivedDataWithRootObject(nest(1001)); }),
              "NSInvalidArchiveOperationException");
    EXPECT_EQ(raisedName([&] { NSKeyedArchiver::archivedDataWithRootObject(nest(2000)); }),
              "NSInvalidArchiveOperationException");

    // Archives made elsewhere: arrays, each holding the next, then a null at the bottom.
    auto madeElsewhere = [](int levels) {
        std::string bytes = "BNKA\x01";
        auto varint = [&](uint64_t v) {
            for (; v >= 0x80; v >>= 7)
                bytes += static_cast<char>(v | 0x80);
            bytes += static_cast<char>(v);
        };
        varint(1);  // one name: the root key
        varint(4);
        bytes += "root";
        varint(levels);
        for (int n = 1; n < levels; ++n) {
            bytes += '\x07';  // an array of one: object n + 1
            bytes += '\x00';
            varint(1);
            varint(n + 1);
        }
        bytes += '\x0a';
        varint(1);  // the top fields: the root key names object 1
        varint(0);
        bytes += '\x01';
        varint(1);
        return NSData::dataWithBytes(bytes.data(), bytes.size());
    };
    EXPECT_EQ(depthOf(NSKeyedUnarchiver::unarchiveObjectWithData(madeElsewhere(1000))), 1000);
    EXPECT_EQ(raisedName([&] { NSKeyedUnarchiver::unarchiveObjectWithData(madeElsewhere(1500)); }),
              "NSInvalidUnarchiveOperationException");
}

TEST(NSKeyedArchiverTest, CorruptArchivesRaiseWithoutReadingOutOfBounds) {
    auto parent = item("parent");
    parent->child = NSDictionary::dictionaryWithPairs(
        {{NS("k"), item("c")}, {NS("u"), NSURL::URLWithString(NS("http://x/"))}});
    auto good = NSKeyedArchiver::archivedDataWithRootObject(parent);
    const char* incomprehensible =
        "*** -[NSKeyedUnarchiver initForReadingWithData:]: incomprehensible archive";
    for (NSUInteger n = 0; n < good->length(); ++n) {
        auto cut = good->subdataWithRange(NSMakeRange(0, n));
        ASSERT_EQ(raisedReason([&] { NSKeyedUnarchiver::unarchiveObjectWithData(cut); }),
                  incomprehensible)
            << n;
    }
    auto longer = good->mutableCopy();
    longer->appendBytes("\0", 1);
    EXPECT_EQ(raisedReason([&] { NSKeyedUnarchiver::unarchiveObjectWithData(longer); }),
              incomprehensible);
    EXPECT_EQ(raisedReason([] { NSKeyedUnarchiver::unarchiveObjectWithData(nullptr); }),
              "*** -[NSKeyedUnarchiver initForReadingWithData:]: data is NULL");

    std::mt19937 rng(1234);
    for (int round = 0; round < 300; ++round) {
        std::vector<uint8_t> bytes(rng() % 64);
        for (auto& b : bytes)
            b = static_cast<uint8_t>(rng());
        if (round % 2) bytes.insert(bytes.begin(), {'B', 'N', 'K', 'A', 1});
        auto junk = NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
        try {
            NSKeyedUnarchiver::unarchiveObjectWithData(junk);
        } catch (ExceptionRaised&) {
        }
    }
    // Damaged bytes of a real archive (value objects only, so that no damage can close a cycle
    // of objects that would then never be freed) decode or raise, and never crash.
    auto values = NSKeyedArchiver::archivedDataWithRootObject(NSDictionary::dictionaryWithPairs(
        {{NS("a"), NSArray::arrayWithObjects({NS("x"), NSNumber::numberWithDouble(2.5)})},
         {NS("s"), NSMutableSet::setWithObject(NSDate::dateWithTimeIntervalSinceReferenceDate(1))},
         {NS("v"), NSValue::valueWithRange(NSMakeRange(1, 2))},
         {NS("u"), NSURL::URLWithString(NS("p"), NSURL::URLWithString(NS("http://h/")))}}));
    int raised = 0;
    for (int round = 0; round < 2000; ++round) {
        auto damaged = values->mutableCopy();
        auto* p = static_cast<uint8_t*>(damaged->mutableBytes());
        for (int k = 0; k < 1 + round % 3; ++k)
            p[rng() % damaged->length()] = static_cast<uint8_t>(rng());
        try {
            NSKeyedUnarchiver::unarchiveObjectWithData(damaged);
        } catch (ExceptionRaised&) {
            ++raised;
        }
    }
    EXPECT_GT(raised, 0);
}

TEST(NSKeyedArchiverTest, FilesAreWrittenAtomicallyAndMissingOnesReadAsNil) {
    std::filesystem::path folder = sandbox("archives");
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    auto path = str((folder / "session.archive").string());
    EXPECT_EQ(NSKeyedUnarchiver::unarchiveObjectWithFile(path), nullptr);

    ASSERT_TRUE(NSKeyedArchiver::archiveRootObject(item("first"), path));
    ASSERT_TRUE(NSKeyedArchiver::archiveRootObject(item("second"), path));
    auto back = as<ArchiveTestItem>(NSKeyedUnarchiver::unarchiveObjectWithFile(path));
    ASSERT_TRUE(back);
    EXPECT_EQ(text(back->title), "second");
    // The replacement went through a temporary file that is gone now.
    int files = 0;
    for ([[maybe_unused]] auto& entry : std::filesystem::directory_iterator(folder))
        ++files;
    EXPECT_EQ(files, 1);
    EXPECT_FALSE(NSKeyedArchiver::archiveRootObject(item("x"), str(sandbox("none/x.archive"))));
}
