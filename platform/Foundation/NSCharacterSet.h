// Character sets: membership over Unicode code points. A set is kept as a sorted list of code
// point ranges, so that inversion, unions and intersections are exact and cheap; the predefined
// sets are built once from the Unicode character database and shared.
#pragma once

#include <cstdint>
#include <vector>

#include "Foundation/NSObject.h"

class NSData;
class NSMutableCharacterSet;

class NSCharacterSet : public NSObject {
    NS_OBJECT(NSCharacterSet, NSObject)

    // ---- predefined sets (shared, immortal) ---------------------------------------------
    // Space, tab and the other space separators (Zs).
    static Ref<NSCharacterSet> whitespaceCharacterSet();
    // Whitespace plus U+000A-U+000D, U+0085, U+2028 and U+2029.
    static Ref<NSCharacterSet> whitespaceAndNewlineCharacterSet();
    static Ref<NSCharacterSet> newlineCharacterSet();
    static Ref<NSCharacterSet> decimalDigitCharacterSet();       // Nd
    static Ref<NSCharacterSet> letterCharacterSet();             // L*, M*
    static Ref<NSCharacterSet> lowercaseLetterCharacterSet();    // Ll
    static Ref<NSCharacterSet> uppercaseLetterCharacterSet();    // Lu, Lt
    static Ref<NSCharacterSet> capitalizedLetterCharacterSet();  // Lt
    static Ref<NSCharacterSet> nonBaseCharacterSet();            // M*
    static Ref<NSCharacterSet> alphanumericCharacterSet();       // L*, M*, N*
    static Ref<NSCharacterSet> punctuationCharacterSet();        // P*
    static Ref<NSCharacterSet> symbolCharacterSet();             // S*
    static Ref<NSCharacterSet> controlCharacterSet();            // Cc, Cf
    static Ref<NSCharacterSet> illegalCharacterSet();            // Cn (unassigned)
    static Ref<NSCharacterSet> URLUserAllowedCharacterSet();
    static Ref<NSCharacterSet> URLPasswordAllowedCharacterSet();
    static Ref<NSCharacterSet> URLHostAllowedCharacterSet();
    static Ref<NSCharacterSet> URLPathAllowedCharacterSet();
    static Ref<NSCharacterSet> URLQueryAllowedCharacterSet();
    static Ref<NSCharacterSet> URLFragmentAllowedCharacterSet();

    // ---- made sets ------------------------------------------------------------------------
    // The characters of the string; a surrogate pair adds the code point it encodes.
    static Ref<NSCharacterSet> characterSetWithCharactersInString(NSString* s);
    // Code points location ..< location + length.
    static Ref<NSCharacterSet> characterSetWithRange(NSRange range);

    // ---- queries --------------------------------------------------------------------------
    bool characterIsMember(char16_t c);
    bool longCharacterIsMember(uint32_t c);
    Ref<NSCharacterSet> invertedSet();
    bool isSupersetOfSet(NSCharacterSet* other);
    bool hasMemberInPlane(uint8_t plane);

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSCharacterSet> copy();
    Ref<NSMutableCharacterSet> mutableCopy();

    // The sorted range list: [start0, end0, start1, end1, ...), ends exclusive. A test and
    // implementation aid.
    const std::vector<uint32_t>& ranges() const { return ranges_; }

protected:
    // Half-open ranges as boundaries: a code point is a member when the number of boundaries at
    // or below it is odd.
    std::vector<uint32_t> ranges_;
    // Membership of the ASCII range, for the common case (recomputed after every change).
    uint64_t ascii_[2] = {0, 0};
    void rebuildCache();
    void setRanges(std::vector<uint32_t> r);
    // A set that lives for the whole program (the predefined ones).
    static NSCharacterSet* makeShared(std::vector<uint32_t> r);
};

class NSMutableCharacterSet : public NSCharacterSet {
    NS_OBJECT(NSMutableCharacterSet, NSCharacterSet)
    static Ref<NSMutableCharacterSet> characterSet();  // empty
    static Ref<NSMutableCharacterSet> characterSetWithCharactersInString(NSString* s);
    static Ref<NSMutableCharacterSet> characterSetWithRange(NSRange range);

    void addCharactersInString(NSString* s);
    void addCharactersInRange(NSRange range);
    void removeCharactersInString(NSString* s);
    void removeCharactersInRange(NSRange range);
    void formUnionWithCharacterSet(NSCharacterSet* other);
    void formIntersectionWithCharacterSet(NSCharacterSet* other);
    void invert();
};
