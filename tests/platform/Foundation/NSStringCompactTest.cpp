#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

namespace {

// Texts of every width: empty, ASCII, two- and three-byte characters, a pair.
const std::u16string kTexts[] = {u"", u"id", u"Caf\u00e9 racer \u2013 7", u"smile \U0001F600!",
                                 u"a longer text that does not fit in any small buffer at all"};

std::u16string unitsOf(NSString* s) {
    std::u16string out(s->length(), u'\0');
    s->getCharacters(out.data(), NSMakeRange(0, s->length()));
    return out;
}

// Everything a reader of the string can see, compared with an ordinary string of the same text.
void expectSameAsOrdinary(NSString* compact, const std::u16string& text) {
    auto ordinary = NSString::fromUTF16(text);
    SCOPED_TRACE(ordinary->utf8());
    EXPECT_TRUE(compact->isEqual(ordinary));
    EXPECT_TRUE(ordinary->isEqual(compact));
    EXPECT_TRUE(compact->isEqualToString(ordinary));
    EXPECT_EQ(compact->hash(), ordinary->hash());
    EXPECT_EQ(compact->length(), text.size());
    EXPECT_EQ(unitsOf(compact), text);
    EXPECT_EQ(compact->u16(), text);
    ASSERT_NE(compact->charactersPtr(), nullptr);
    EXPECT_EQ(std::u16string(compact->charactersPtr(), compact->length()), text);
    for (NSUInteger i = 0; i < text.size(); ++i)
        EXPECT_EQ(compact->characterAtIndex(i), text[i]);
    EXPECT_EQ(raisedName([&] { compact->characterAtIndex(text.size()); }), "NSRangeException");
    EXPECT_EQ(raisedName([&] {
                  compact->getCharacters(nullptr,
                                         NSMakeRange(1, static_cast<NSUInteger>(text.size())));
              }),
              "NSRangeException");
    EXPECT_EQ(compact->utf8(), ordinary->utf8());
    EXPECT_EQ(compact->description()->utf8(), ordinary->description()->utf8());
    EXPECT_EQ(compact->compare(ordinary), NSOrderedSame);
    EXPECT_TRUE(compact->stringByAppendingString(NS("+"))->isEqual(
        ordinary->stringByAppendingString(NS("+"))));

    // The copies are ordinary: a mutable copy is a real mutable string of its own.
    auto copy = compact->copy();
    EXPECT_FALSE(is<NSMutableString>(copy));
    EXPECT_TRUE(copy->isEqual(ordinary));
    auto mutableCopy = compact->mutableCopy();
    ASSERT_TRUE(is<NSMutableString>(mutableCopy));
    mutableCopy->appendString(NS("!"));
    EXPECT_EQ(mutableCopy->u16(), text + u"!");
    EXPECT_EQ(compact->u16(), text);

    // Archived as its text and kind, read back equal.
    auto back = as<NSString>(NSKeyedUnarchiver::unarchiveObjectWithData(
        NSKeyedArchiver::archivedDataWithRootObject(compact)));
    ASSERT_TRUE(back);
    EXPECT_TRUE(back->isEqual(ordinary));
    EXPECT_EQ(is<NSMutableString>(back), is<NSMutableString>(compact));

    // Interchangeable as a key with the ordinary string, both ways.
    auto byCompact = NSMutableDictionary::dictionary();
    byCompact->setObject(NS("v"), compact);
    EXPECT_TRUE(byCompact->objectForKey(ordinary));
    auto byOrdinary = NSMutableDictionary::dictionary();
    byOrdinary->setObject(NS("v"), ordinary);
    EXPECT_TRUE(byOrdinary->objectForKey(compact));
}

TEST(NSStringCompactTest, ImmutableIsEqualInEveryRespectAndItsOwnCopy) {
    for (const auto& text : kTexts) {
        auto s = NSString::compactStringWithUnits(text);
        EXPECT_FALSE(is<NSMutableString>(s));
        EXPECT_TRUE(s->hasFixedText());
        EXPECT_EQ(s->copy().get(), s.get());
        EXPECT_EQ(s->hash(), s->hash());  // the kept hash answers as the computed one
        expectSameAsOrdinary(s, text);
    }
    EXPECT_TRUE(NSString::fromUTF16(u"x")->hasFixedText());
    EXPECT_FALSE(NSMutableString::string()->hasFixedText());
}

// A string hashed as it is made gives and keeps the hash that hashing its text gives: every ASCII
// byte, at every position, in texts of every length around the word sizes.
TEST(NSStringCompactTest, HashedASCIIGivesTheHashOfItsText) {
    std::mt19937 random(48);
    for (size_t length = 0; length <= 40; ++length) {
        for (int trial = 0; trial < 16; ++trial) {
            std::string ascii;
            for (size_t i = 0; i < length; ++i)
                ascii += static_cast<char>((trial == 0 ? 'a' + i % 26 : random()) & 0x7F);
            SCOPED_TRACE(ascii);
            NSUInteger hash = 0;
            auto s = NSString::hashedStringWithASCII(ascii, &hash);
            ASSERT_TRUE(s);
            const std::u16string text(ascii.begin(), ascii.end());
            EXPECT_EQ(hash, NSString::fromUTF16(text)->hash());
            EXPECT_EQ(hash, NSMutableString::compactStringWithUnits(text)->hash());
            EXPECT_EQ(s->hash(), hash);
            expectSameAsOrdinary(s, text);
        }
    }
}

TEST(NSStringCompactTest, MutableIsEqualInEveryRespectAndCopiesAreIndependent) {
    for (const auto& text : kTexts) {
        auto s = NSMutableString::compactStringWithUnits(text);
        EXPECT_TRUE(is<NSMutableString>(s));
        EXPECT_FALSE(s->hasFixedText());
        expectSameAsOrdinary(s, text);
        auto copy = s->copy();
        EXPECT_NE(copy.get(), static_cast<NSString*>(s.get()));
        s->appendString(NS("x"));
        EXPECT_EQ(copy->u16(), text);
    }
}

// Every change acts on a compact mutable string as on an ordinary one, the first change included.
TEST(NSStringCompactTest, MutableChangesAsAnOrdinaryMutableString) {
    using Change = void (*)(NSMutableString*);
    const Change changes[] = {
        [](NSMutableString* s) { s->appendString(NS(" tail")); },
        [](NSMutableString* s) { s->appendString(s); },
        [](NSMutableString* s) { s->insertString(NS("<"), 1); },
        [](NSMutableString* s) { s->deleteCharactersInRange(NSMakeRange(1, 3)); },
        [](NSMutableString* s) { s->replaceCharactersInRange(NSMakeRange(0, 2), NS("AB")); },
        [](NSMutableString* s) { s->setString(s); },
        [](NSMutableString* s) { s->setString(NS("other")); },
        [](NSMutableString* s) {
            s->replaceOccurrencesOfString(NS("a"), NS("4"), 0, NSMakeRange(0, s->length()));
        },
    };
    const std::u16string text = u"a racer \u2013 and a car";
    for (size_t i = 0; i < std::size(changes); ++i) {
        SCOPED_TRACE(i);
        auto compact = NSMutableString::compactStringWithUnits(text);
        auto ordinary = NSMutableString::adoptUnits(std::u16string(text));
        const NSUInteger hashBefore = compact->hash();
        const uint64_t countBefore = compact->mutationCount();
        changes[i](compact);
        changes[i](ordinary);
        EXPECT_EQ(compact->u16(), ordinary->u16());
        EXPECT_EQ(compact->length(), ordinary->length());
        EXPECT_EQ(compact->hash(), ordinary->hash());
        EXPECT_TRUE(compact->isEqual(ordinary));
        EXPECT_GT(compact->mutationCount(), countBefore);
        if (compact->u16() != text) {
            EXPECT_NE(compact->hash(), hashBefore);
        }
        // A second change works on the moved text.
        compact->appendString(NS("."));
        ordinary->appendString(NS("."));
        EXPECT_EQ(std::u16string(compact->charactersPtr(), compact->length()), ordinary->u16());
    }
}

// UTF-8 output against the text assembled from pieces of known encodings, with ASCII runs of
// every length around the wider characters (the ASCII path goes eight units at a time).
TEST(NSStringCompactTest, UTF8OfMixedTextsMatchesTheirPieces) {
    struct Piece {
        std::u16string units;
        std::string bytes;
    };
    const Piece wide[] = {{u"\u00e9", "\xC3\xA9"},
                          {u"\u2013", "\xE2\x80\x93"},
                          {u"\U0001F600", "\xF0\x9F\x98\x80"},
                          {u"\u07FF", "\xDF\xBF"},
                          {u"\u0800", "\xE0\xA0\x80"}};
    std::mt19937 random(26);
    for (int round = 0; round < 200; ++round) {
        std::u16string units;
        std::string bytes;
        const int pieces = static_cast<int>(random() % 12);
        for (int i = 0; i < pieces; ++i) {
            const size_t run = random() % 20;
            for (size_t k = 0; k < run; ++k) {
                char ch = static_cast<char>('a' + (k + i) % 26);
                units.push_back(static_cast<char16_t>(ch));
                bytes.push_back(ch);
            }
            const Piece& piece = wide[random() % std::size(wide)];
            units += piece.units;
            bytes += piece.bytes;
        }
        SCOPED_TRACE(bytes);
        auto s = NSString::fromUTF16(units);
        EXPECT_EQ(s->utf8(), bytes);
        EXPECT_EQ(s->lengthOfBytesUsingEncoding(NSUTF8StringEncoding), bytes.size());
        auto data = s->dataUsingEncoding(NSUTF8StringEncoding);
        ASSERT_TRUE(data);
        EXPECT_EQ(std::string(static_cast<const char*>(data->bytes()), data->length()), bytes);
        EXPECT_TRUE(NSString::fromUTF8(bytes)->isEqual(s));
    }
}

// Made from UTF-8 bytes, a compact string is the one decoding makes: ASCII runs of every length
// around a wider character (the ASCII check goes eight bytes at a time), and every kind of
// invalid sequence refused as strict decoding refuses it.
TEST(NSStringCompactTest, FromUTF8IsTheDecodedTextOrNil) {
    for (const auto& text : kTexts) {
        const std::string bytes = NSString::fromUTF16(text)->utf8();
        auto compact = NSString::compactStringWithUTF8(bytes);
        ASSERT_TRUE(compact);
        expectSameAsOrdinary(compact, text);
        EXPECT_TRUE(NSString::isFixedTextString(compact.get()));
    }
    const std::string wide[] = {"\xC3\xA9", "\xE2\x80\x93", "\xF0\x9F\x98\x80", "\x7F"};
    for (size_t before = 0; before < 18; ++before) {
        for (const std::string& w : wide) {
            const std::string bytes = std::string(before, 'x') + w + std::string(before % 5, 'y');
            SCOPED_TRACE(bytes);
            auto compact = NSString::compactStringWithUTF8(bytes);
            ASSERT_TRUE(compact);
            EXPECT_EQ(compact->u16(), NSString::fromUTF8(bytes)->u16());
            std::u16string appended = u"k";
            ASSERT_TRUE(NSString::appendUTF8(appended, bytes));
            EXPECT_EQ(appended, u"k" + compact->u16());
        }
    }
    // A lone continuation byte, an overlong form, an encoded surrogate, a code point past
    // U+10FFFF, bytes that never occur, sequences cut short: nil, and units left as they were.
    const std::string invalid[] = {
        "\x80",     "\xC0\x80",     "\xED\xA0\x80", "\xF4\x90\x80\x80",    "\xFF",
        "\xE2\x80", "\xF0\x9F\x98", "abcdefgh\xC3", "abcdefghijklmnop\xBF"};
    for (const std::string& bytes : invalid) {
        SCOPED_TRACE(bytes);
        EXPECT_FALSE(NSString::compactStringWithUTF8(bytes));
        EXPECT_FALSE(make<NSString>(&NSString::initWithBytes,
                                    static_cast<const void*>(bytes.data()),
                                    static_cast<NSUInteger>(bytes.size()), NSUTF8StringEncoding));
        std::u16string units = u"kept";
        EXPECT_FALSE(NSString::appendUTF8(units, bytes));
        EXPECT_EQ(units, u"kept");
    }
}

TEST(NSStringCompactTest, UTF8OfLoneSurrogatesIsReplacementOrRefused) {
    const std::u16string lone[] = {u"abcdefghij\xD800klmnopqrst", u"\xDC00", u"tail \xD83D",
                                   u"\xDE00\xD83D"};
    const std::string expected[] = {"abcdefghij\xEF\xBF\xBDklmnopqrst", "\xEF\xBF\xBD",
                                    "tail \xEF\xBF\xBD", "\xEF\xBF\xBD\xEF\xBF\xBD"};
    for (size_t i = 0; i < std::size(lone); ++i) {
        auto s = NSString::fromUTF16(lone[i]);
        EXPECT_EQ(s->utf8(), expected[i]);
        EXPECT_FALSE(s->dataUsingEncoding(NSUTF8StringEncoding));
        EXPECT_TRUE(s->dataUsingEncoding(NSUTF8StringEncoding, true));
    }
}

}  // namespace
