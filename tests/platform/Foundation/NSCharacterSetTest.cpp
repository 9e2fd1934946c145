#include <gtest/gtest.h>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSString.h"

namespace {
// Members and non-members of a set, as code points.
void expectMembers(NSCharacterSet* set, std::initializer_list<uint32_t> in,
                   std::initializer_list<uint32_t> out) {
    for (uint32_t c : in)
        EXPECT_TRUE(set->longCharacterIsMember(c)) << std::hex << c;
    for (uint32_t c : out)
        EXPECT_FALSE(set->longCharacterIsMember(c)) << std::hex << c;
}
}  // namespace

TEST(NSCharacterSetTest, WhitespaceAndNewlines) {
    expectMembers(NSCharacterSet::whitespaceCharacterSet(), {' ', '\t', 0xA0, 0x2003, 0x3000},
                  {'\n', '\r', 0x85, 0x2028, 'a', 0x200B});
    expectMembers(NSCharacterSet::whitespaceAndNewlineCharacterSet(),
                  {' ', '\t', '\n', 0x0B, 0x0C, '\r', 0x85, 0x2028, 0x2029, 0x3000},
                  {'a', 0x0E, 0x86});
    expectMembers(NSCharacterSet::newlineCharacterSet(), {'\n', '\r', 0x85, 0x2029}, {' ', '\t'});
}

TEST(NSCharacterSetTest, UnicodeCategories) {
    expectMembers(NSCharacterSet::decimalDigitCharacterSet(), {'0', '9', 0x0660, 0xFF10, 0x1D7CE},
                  {'a', 0xBD, '/'});
    expectMembers(NSCharacterSet::letterCharacterSet(), {'a', 0xE9, 0x0301, 0x4E2D, 0x10400},
                  {'1', ' ', '_'});
    expectMembers(NSCharacterSet::lowercaseLetterCharacterSet(), {'a', 0xDF, 0x10428}, {'A', '1'});
    expectMembers(NSCharacterSet::uppercaseLetterCharacterSet(), {'A', 0x01C5, 0x10400}, {'a'});
    expectMembers(NSCharacterSet::alphanumericCharacterSet(), {'a', '7', 0xBD, 0x0301}, {'-', ' '});
    expectMembers(NSCharacterSet::punctuationCharacterSet(), {'!', ',', '-', 0xAB, 0x3002},
                  {'+', '$'});
    expectMembers(NSCharacterSet::symbolCharacterSet(), {'+', '$', 0x20AC, 0x1F600}, {'!'});
    expectMembers(NSCharacterSet::controlCharacterSet(), {0, 0x1F, 0x7F, 0x200B}, {' '});
    expectMembers(NSCharacterSet::illegalCharacterSet(), {0x0378, 0x10FFFF}, {'a', 0x1F600});
    // A BMP query sees the unit alone.
    EXPECT_TRUE(NSCharacterSet::letterCharacterSet()->characterIsMember(u'\u00E9'));
    EXPECT_FALSE(NSCharacterSet::letterCharacterSet()->characterIsMember(u'\xD801'));
}

TEST(NSCharacterSetTest, URLComponentSets) {
    expectMembers(NSCharacterSet::URLQueryAllowedCharacterSet(), {'a', '?', '/', '=', '&', '~'},
                  {'#', ' ', '%', '"', 0xE9});
    expectMembers(NSCharacterSet::URLPathAllowedCharacterSet(), {'/', ':', '@', '='},
                  {'?', ';', '#', ' '});
    expectMembers(NSCharacterSet::URLHostAllowedCharacterSet(), {'[', ']', ':'}, {'/', '@'});
    expectMembers(NSCharacterSet::URLUserAllowedCharacterSet(), {';', '!'}, {':', '@', '/'});
    expectMembers(NSCharacterSet::URLFragmentAllowedCharacterSet(), {'?', '/'}, {'#'});
}

TEST(NSCharacterSetTest, SharedSetsAreImmortalSingletons) {
    auto a = NSCharacterSet::whitespaceCharacterSet();
    EXPECT_EQ(a.get(), NSCharacterSet::whitespaceCharacterSet().get());
    EXPECT_EQ(a->retainCount(), NSUIntegerMax);
    // A mutable copy is independent of the shared set.
    auto m = a->mutableCopy();
    m->addCharactersInString(NS("x"));
    EXPECT_FALSE(a->characterIsMember('x'));
    EXPECT_TRUE(m->characterIsMember(' '));
}

TEST(NSCharacterSetTest, MadeSets) {
    auto s = NSCharacterSet::characterSetWithCharactersInString(NS("ca😀a"));
    expectMembers(s, {'a', 'c', 0x1F600}, {'b', 0xD83D, 0xDE00});
    auto r = NSCharacterSet::characterSetWithRange(NSMakeRange('a', 3));
    expectMembers(r, {'a', 'b', 'c'}, {'`', 'd'});
    EXPECT_EQ(NSCharacterSet::characterSetWithRange(NSMakeRange('a', 0))->ranges().size(), 0u);
    // Boundaries on both sides of the ASCII fast path.
    auto edge = NSCharacterSet::characterSetWithRange(NSMakeRange(120, 20));
    expectMembers(edge, {120, 127, 128, 139}, {119, 140});
    // A range past the last code point is clipped, not wrapped.
    auto top = NSCharacterSet::characterSetWithRange(NSMakeRange(0x10FFF0, 0xFFFFFFF0u));
    expectMembers(top, {0x10FFFF}, {0, 0x10FFEF});
}

TEST(NSCharacterSetTest, InversionAndEquality) {
    auto abc = NSCharacterSet::characterSetWithCharactersInString(NS("abc"));
    auto inv = abc->invertedSet();
    expectMembers(inv, {0, 'd', 0xE9, 0x10FFFF}, {'a', 'b', 'c'});
    EXPECT_TRUE(inv->invertedSet()->isEqual(abc));
    EXPECT_EQ(inv->invertedSet()->hash(), abc->hash());
    EXPECT_FALSE(inv->isEqual(abc));
    EXPECT_TRUE(abc->isEqual(NSCharacterSet::characterSetWithRange(NSMakeRange('a', 3))));
    EXPECT_TRUE(
        inv->isSupersetOfSet(NSCharacterSet::characterSetWithCharactersInString(NS("xyz"))));
    EXPECT_FALSE(
        inv->isSupersetOfSet(NSCharacterSet::characterSetWithCharactersInString(NS("xa"))));
    EXPECT_TRUE(abc->hasMemberInPlane(0));
    EXPECT_FALSE(abc->hasMemberInPlane(1));
}

TEST(NSCharacterSetTest, MutableOperations) {
    auto m = NSMutableCharacterSet::characterSet();
    m->addCharactersInString(NS("ab"));
    m->addCharactersInRange(NSMakeRange('0', 10));
    expectMembers(m, {'a', 'b', '0', '9'}, {'c', '/'});
    m->removeCharactersInString(NS("a5"));
    expectMembers(m, {'b', '4', '6'}, {'a', '5'});
    m->removeCharactersInRange(NSMakeRange('0', 3));
    expectMembers(m, {'3'}, {'0', '2'});
    m->formUnionWithCharacterSet(NSCharacterSet::whitespaceCharacterSet());
    expectMembers(m, {' ', 0x3000, 'b'}, {'\n'});
    m->formIntersectionWithCharacterSet(NSCharacterSet::decimalDigitCharacterSet());
    expectMembers(m, {'3', '9'}, {'b', ' '});
    m->invert();
    expectMembers(m, {'b', '0', 0x10000}, {'3', '9'});

    auto snapshot = m->copy();
    EXPECT_FALSE(is<NSMutableCharacterSet>(snapshot));
    m->invert();
    EXPECT_TRUE(snapshot->characterIsMember('b'));
    EXPECT_FALSE(m->characterIsMember('b'));
    auto imm = NSCharacterSet::characterSetWithCharactersInString(NS("q"));
    EXPECT_EQ(imm->copy().get(), imm.get());
}
