// Strings: immutable NSString and its mutable subclass, stored as UTF-16 code units. Ranges and
// lengths count UTF-16 units. A subclass may keep its text elsewhere: it then overrides the
// primitives (length, characterAtIndex, getCharacters, charactersPtr) and every other operation
// works through them.
#pragma once

#include <string>
#include <string_view>

#include "Foundation/NSObject.h"

class NSData;
class NSArray;
class NSCharacterSet;
class NSMutableString;

using NSStringEncoding = NSUInteger;
enum : NSStringEncoding {
    NSASCIIStringEncoding = 1,
    NSNEXTSTEPStringEncoding = 2,
    NSUTF8StringEncoding = 4,
    NSISOLatin1StringEncoding = 5,
    NSNonLossyASCIIStringEncoding = 7,
    NSUnicodeStringEncoding = 10,
    NSUTF16StringEncoding = 10,
    NSWindowsCP1252StringEncoding = 12,
    NSMacOSRomanStringEncoding = 30,
    NSUTF16BigEndianStringEncoding = 0x90000100,
    NSUTF16LittleEndianStringEncoding = 0x94000100,
    NSUTF32StringEncoding = 0x8c000100,
    NSUTF32BigEndianStringEncoding = 0x98000100,
    NSUTF32LittleEndianStringEncoding = 0x9c000100,
};

using NSStringCompareOptions = NSUInteger;
enum : NSStringCompareOptions {
    NSCaseInsensitiveSearch = 1,
    NSLiteralSearch = 2,
    NSBackwardsSearch = 4,
    NSAnchoredSearch = 8,
    NSNumericSearch = 64,
    NSDiacriticInsensitiveSearch = 128,
    NSWidthInsensitiveSearch = 256,
    NSForcedOrderingSearch = 512,
};

// One argument of a format: what the directive reads from it is decided by the directive
// (%@ takes the object's description, %d the integer, %f the double, ...).
struct FormatArg {
    enum Kind { Object, Signed, Unsigned, Double, CString, Pointer, UTF16CString };
    Kind kind;
    union {
        NSObject* object;
        long long i;
        unsigned long long u;
        double d;
        const char* s;
        const void* p;
        const char16_t* s16;
    };
    FormatArg(std::nullptr_t) : kind(Object), object(nullptr) {}
    template <class T, std::enable_if_t<std::is_polymorphic_v<T>, int> = 0>
    FormatArg(T* o) : kind(Object), object(o ? objc_detail::objectOf(o) : nullptr) {}
    template <class T>
    FormatArg(const Ref<T>& o) : FormatArg(o.get()) {}
    FormatArg(bool v) : kind(Signed), i(v) {}
    FormatArg(char v) : kind(Signed), i(v) {}
    FormatArg(signed char v) : kind(Signed), i(v) {}
    FormatArg(char16_t v) : kind(Unsigned), u(v) {}
    FormatArg(short v) : kind(Signed), i(v) {}
    FormatArg(int v) : kind(Signed), i(v) {}
    FormatArg(long v) : kind(Signed), i(v) {}
    FormatArg(long long v) : kind(Signed), i(v) {}
    FormatArg(unsigned char v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned short v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned long v) : kind(Unsigned), u(v) {}
    FormatArg(unsigned long long v) : kind(Unsigned), u(v) {}
    FormatArg(float v) : kind(Double), d(v) {}
    FormatArg(double v) : kind(Double), d(v) {}
    FormatArg(const char* v) : kind(CString), s(v) {}
    FormatArg(const char16_t* v) : kind(UTF16CString), s16(v) {}
    FormatArg(const void* v) : kind(Pointer), p(v) {}
    FormatArg(void* v) : kind(Pointer), p(v) {}
    template <class E, std::enable_if_t<std::is_enum_v<E>, int> = 0>
    FormatArg(E v) : FormatArg(static_cast<std::underlying_type_t<E>>(v)) {}
};

class NSString : public NSObject {
    NS_OBJECT(NSString, NSObject)
    static void describeClass(RuntimeClass& c);

    // ---- creation ------------------------------------------------------------------------
    static Ref<NSString> string();
    static Ref<NSString> stringWithString(NSString* s);
    // nil when the bytes are not valid UTF-8 (or the pointer is null).
    static Ref<NSString> stringWithUTF8String(const char* utf8);
    static Ref<NSString> stringWithCharacters(const char16_t* chars, NSUInteger length);
    static Ref<NSString> stringWithCString(const char* s, NSStringEncoding enc);
    static Ref<NSString> stringWithData(NSData* data, NSStringEncoding enc);  // initWithData
    template <class... A>
    static Ref<NSString> stringWithFormat(NSString* format, const A&... args) {
        const FormatArg list[] = {FormatArg(args)..., FormatArg(nullptr)};
        return stringWithFormatArgs(format, list, sizeof...(A));
    }
    static Ref<NSString> stringWithFormatArgs(NSString* format, const FormatArg* args,
                                              size_t count);
    // C++ conveniences. fromUTF8 replaces invalid sequences with U+FFFD.
    static Ref<NSString> fromUTF8(std::string_view utf8);
    static Ref<NSString> fromUTF16(std::u16string_view utf16);
    // Takes over a buffer of UTF-16 units without copying it.
    static Ref<NSString> adoptUnits(std::u16string&& units);
    // A string whose units live in the object's own allocation: one allocation instead of two,
    // for readers that make many strings. It behaves in every way as one made otherwise.
    static Ref<NSString> compactStringWithUnits(std::u16string_view units);
    // The same from strict UTF-8 (ASCII widened straight into the string's allocation); nil
    // when the bytes are not valid UTF-8.
    static Ref<NSString> compactStringWithUTF8(std::string_view utf8);
    // The same from bytes the caller has already seen to be ASCII (all below 0x80).
    static Ref<NSString> compactStringWithASCII(std::string_view ascii);
    // The same, hashed as it is made: `hash` is given what hash() answers, and the string keeps
    // it (for readers that put the string in a dictionary at once).
    static Ref<NSString> hashedStringWithASCII(std::string_view ascii, NSUInteger* hash);
    // Appends strict UTF-8 decoded as UTF-16 units; NO, leaving `units` as it was, when the bytes
    // are not valid UTF-8.
    static bool appendUTF8(std::u16string& units, std::string_view utf8);
    // An immortal string over a literal, as NS("...") makes.
    static NSString* literal(const char16_t* chars, size_t length);

    // Initialisers (after alloc<NSString>() or alloc<NSMutableString>()).
    bool initWithString(NSString* s);
    bool initWithCharacters(const char16_t* chars, NSUInteger length);
    bool initWithUTF8String(const char* utf8);
    bool initWithData(NSData* data, NSStringEncoding enc);
    bool initWithBytes(const void* bytes, NSUInteger length, NSStringEncoding enc);

    // ---- primitives ----------------------------------------------------------------------
    virtual NSUInteger length();
    // Raises NSRangeException for an index at or past the end.
    virtual char16_t characterAtIndex(NSUInteger index);
    virtual void getCharacters(char16_t* buffer, NSRange range);
    // The UTF-16 units in place, or nullptr for a string that does not keep them contiguous.
    virtual const char16_t* charactersPtr();
    // The units in place followed by a NUL unit, for readers that stop at one instead of
    // counting; nullptr for a string that does not keep them so (only the default storage does).
    const char16_t* terminatedCharactersPtr();
    // Grows with every change to a mutable string; 0 for a string that never changes.
    virtual uint64_t mutationCount() { return 0; }

    // ---- conversions ---------------------------------------------------------------------
    std::string utf8();
    // The text as strict UTF-8 into `out`, reusing its room (for writers that convert many
    // strings); NO, leaving `out` empty, for text with lone surrogates.
    bool getUTF8(std::string& out);
    std::u16string u16();
    // A C string valid until the current release pool drains.
    const char* UTF8String();
    const char* cStringUsingEncoding(NSStringEncoding enc);  // NULL when not convertible
    Ref<NSData> dataUsingEncoding(NSStringEncoding enc);     // nil when not convertible
    Ref<NSData> dataUsingEncoding(NSStringEncoding enc, bool allowLossyConversion);
    bool canBeConvertedToEncoding(NSStringEncoding enc);
    NSUInteger lengthOfBytesUsingEncoding(NSStringEncoding enc);

    // ---- comparison ----------------------------------------------------------------------
    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    bool isEqualToString(NSString* other);
    NSComparisonResult compare(NSString* other);
    NSComparisonResult compare(NSString* other, NSStringCompareOptions mask);
    NSComparisonResult compare(NSString* other, NSStringCompareOptions mask, NSRange range);
    NSComparisonResult caseInsensitiveCompare(NSString* other);
    NSComparisonResult localizedCompare(NSString* other);
    NSComparisonResult localizedCaseInsensitiveCompare(NSString* other);
    // Both answer NO for an empty prefix or suffix, as the platform does.
    bool hasPrefix(NSString* prefix);
    bool hasSuffix(NSString* suffix);

    // ---- search --------------------------------------------------------------------------
    NSRange rangeOfString(NSString* s);
    NSRange rangeOfString(NSString* s, NSStringCompareOptions mask);
    NSRange rangeOfString(NSString* s, NSStringCompareOptions mask, NSRange range);
    NSRange rangeOfCharacterFromSet(NSCharacterSet* set);
    NSRange rangeOfCharacterFromSet(NSCharacterSet* set, NSStringCompareOptions mask);
    NSRange rangeOfCharacterFromSet(NSCharacterSet* set, NSStringCompareOptions mask,
                                    NSRange range);
    NSRange rangeOfComposedCharacterSequenceAtIndex(NSUInteger index);

    // ---- substrings and derived strings --------------------------------------------------
    Ref<NSString> substringFromIndex(NSUInteger from);
    Ref<NSString> substringToIndex(NSUInteger to);
    Ref<NSString> substringWithRange(NSRange range);
    Ref<NSArray> componentsSeparatedByString(NSString* separator);
    Ref<NSArray> componentsSeparatedByCharactersInSet(NSCharacterSet* set);
    Ref<NSString> stringByAppendingString(NSString* s);
    template <class... A>
    Ref<NSString> stringByAppendingFormat(NSString* format, const A&... args) {
        return stringByAppendingString(stringWithFormat(format, args...));
    }
    Ref<NSString> stringByReplacingOccurrencesOfString(NSString* target, NSString* replacement);
    Ref<NSString> stringByReplacingOccurrencesOfString(NSString* target, NSString* replacement,
                                                       NSStringCompareOptions options,
                                                       NSRange searchRange);
    Ref<NSString> stringByReplacingCharactersInRange(NSRange range, NSString* replacement);
    Ref<NSString> stringByTrimmingCharactersInSet(NSCharacterSet* set);
    Ref<NSString> stringByPaddingToLength(NSUInteger newLength, NSString* pad,
                                          NSUInteger startingAtIndex);
    Ref<NSString> lowercaseString();
    Ref<NSString> uppercaseString();
    Ref<NSString> capitalizedString();

    // ---- numeric reads (leading whitespace skipped; 0 when there is no number) -----------
    int32_t intValue();
    NSInteger integerValue();
    long long longLongValue();
    float floatValue();
    double doubleValue();
    // YES for a leading "Y", "y", "T", "t" or a non-zero digit after optional whitespace,
    // sign and zeros.
    bool boolValue();

    // ---- percent escapes -----------------------------------------------------------------
    // Escapes what is not legal in a URL (the platform's legacy set: "#%<>[\]^`{|}", space,
    // quote, controls and non-ASCII, the latter as bytes of the encoding).
    Ref<NSString> stringByAddingPercentEscapesUsingEncoding(NSStringEncoding enc);
    // The same with the adjustments of the platform's C-level URL escaping: the characters of
    // `legalToEscape` are escaped as well, those of `leaveUnescaped` are kept as they are (the
    // former wins when a character is in both; nil means none). nil when a character has no
    // bytes in the encoding.
    Ref<NSString> stringByAddingPercentEscapesUsingEncoding(NSStringEncoding enc,
                                                            NSString* leaveUnescaped,
                                                            NSString* legalToEscape);
    // nil when an escape is malformed or the bytes do not decode in the encoding.
    Ref<NSString> stringByReplacingPercentEscapesUsingEncoding(NSStringEncoding enc);
    Ref<NSString> stringByAddingPercentEncodingWithAllowedCharacters(NSCharacterSet* allowed);
    Ref<NSString> stringByRemovingPercentEncoding();

    // ---- paths ---------------------------------------------------------------------------
    Ref<NSArray> pathComponents();
    Ref<NSString> lastPathComponent();
    Ref<NSString> pathExtension();
    bool isAbsolutePath();
    Ref<NSString> stringByAppendingPathComponent(NSString* component);
    Ref<NSString> stringByAppendingPathExtension(NSString* ext);  // nil when not possible
    Ref<NSString> stringByDeletingLastPathComponent();
    Ref<NSString> stringByDeletingPathExtension();
    // "~" at the start stands for the app's home folder (NSHomeDirectory).
    Ref<NSString> stringByExpandingTildeInPath();
    Ref<NSString> stringByStandardizingPath();
    static Ref<NSString> pathWithComponents(NSArray* components);

    // ---- NSObject ------------------------------------------------------------------------
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override;
    Ref<NSObject> mutableCopyWithZone() override;
    Ref<NSString> copy();
    Ref<NSMutableString> mutableCopy();
    // YES for a plain immutable string or its compact form: nothing can change the text, so the
    // string is its own copy and its hash can be kept.
    bool hasFixedText() { return isFixedTextString(this); }
    // The same for any object: YES only for such a string (collections ask it of their keys).
    static bool isFixedTextString(NSObject* object);

protected:
    // The default storage; subclasses that keep their text elsewhere leave it empty.
    std::u16string s_;

private:
    // The hash of a plain immutable string, kept once computed (dictionary keys are hashed on
    // every insertion and lookup): bit 32 set when present, the hash in the low bits.
    std::atomic<uint64_t> hashCache_{0};
    void textChanged() { hashCache_.store(0, std::memory_order_relaxed); }
};

class NSMutableString : public NSString {
    NS_OBJECT(NSMutableString, NSString)
    static Ref<NSMutableString> string();
    static Ref<NSMutableString> stringWithCapacity(NSUInteger capacity);
    static Ref<NSMutableString> stringWithString(NSString* s);
    // Takes over a buffer of UTF-16 units without copying it.
    static Ref<NSMutableString> adoptUnits(std::u16string&& units);
    // The mutable form of NSString::compactStringWithUnits: the first change moves the text into
    // ordinary storage.
    static Ref<NSMutableString> compactStringWithUnits(std::u16string_view units);
    template <class... A>
    static Ref<NSMutableString> stringWithFormat(NSString* format, const A&... args) {
        return stringWithString(NSString::stringWithFormat(format, args...));
    }

    uint64_t mutationCount() override { return mutations_; }

    void appendString(NSString* s);
    template <class... A>
    void appendFormat(NSString* format, const A&... args) {
        appendString(NSString::stringWithFormat(format, args...));
    }
    void insertString(NSString* s, NSUInteger index);
    void deleteCharactersInRange(NSRange range);
    void replaceCharactersInRange(NSRange range, NSString* replacement);
    void setString(NSString* s);
    NSUInteger replaceOccurrencesOfString(NSString* target, NSString* replacement,
                                          NSStringCompareOptions options, NSRange searchRange);

    NSUInteger hash() override;

protected:
    // Called before every change: a subclass that keeps its text elsewhere moves it into the
    // default storage here, and from then on answers from it.
    virtual void willChangeText() {}

private:
    void changed() { ++mutations_; }
    uint64_t mutations_ = 0;
};

// NS("text"): an immortal string made once per use site.
#define NS(text)                                                                  \
    ([]() -> NSString* {                                                          \
        static NSString* const lit =                                              \
            NSString::literal(u"" text, sizeof(u"" text) / sizeof(char16_t) - 1); \
        return lit;                                                               \
    }())
