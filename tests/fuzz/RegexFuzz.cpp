// The regular-expression operations on arbitrary subjects, with the app's patterns or arbitrary
// ones: nothing may crash, read outside the subject or disagree with itself. The only exception
// allowed is an ICU failure during an operation (a pattern that overflows ICU's stack, a template
// that names a missing group); anything else means the layer mishandled a range or its caches.
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "Classes/MatchKit/MatchKit.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

namespace {

// Text without contiguous storage, so that matching goes through the subject buffers.
class ScatteredString : public NSString {
    NS_OBJECT(ScatteredString, NSString)
    static Ref<ScatteredString> withUnits(const std::u16string& units) {
        auto s = alloc<ScatteredString>();
        s->units_ = units;
        return s;
    }
    NSUInteger length() override { return static_cast<NSUInteger>(units_.size()); }
    char16_t characterAtIndex(NSUInteger i) override { return units_.at(i); }
    void getCharacters(char16_t* out, NSRange r) override {
        for (NSUInteger i = 0; i < r.length; ++i)
            out[i] = units_.at(r.location + i);
    }
    const char16_t* charactersPtr() override { return nullptr; }

private:
    std::u16string units_;
};

const char* const kAppPatterns[] = {
    ">([^<]*)</a>",
    "<a href=\"([^>]*)\">",
    "(\\$[0-9][0-9\\.]*)",
    "([wmt]4[wmt][- 0-9]*)",
    "- ([0-9]*)",
    "<font size=\"-1\"> \\(([^<]*)\\)</font>",
    "<small class=\"gc\"><[^>]*>([^<>]*)</a></small>",
    "<input[^<>]*[ \t]+name=\"q\"[^>]*value=\"([^\"]*)\"",
    "(\\w+)@(\\w+)|(x)?",
    "\\b",
    "a*",
    ",",
};

class Input {
public:
    Input(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    // UTF-8 (invalid sequences replaced) or raw UTF-16 units, lone surrogates included.
    std::u16string text(size_t maxBytes, bool utf16) {
        size_t n = std::min<size_t>(maxBytes, static_cast<size_t>(end_ - p_));
        std::u16string out;
        if (utf16) {
            for (size_t i = 0; i + 1 < n; i += 2)
                out.push_back(static_cast<char16_t>(p_[i] | (p_[i + 1] << 8)));
        } else {
            out = NSString::fromUTF8(std::string_view(reinterpret_cast<const char*>(p_), n))->u16();
        }
        p_ += n;
        return out;
    }

private:
    const uint8_t* p_;
    const uint8_t* end_;
};

bool equal(NSString* a, NSString* b) {
    return a && b && a->isEqualToString(b);
}

void check(bool ok) {
    if (!ok) std::abort();
}

// `range` is what the operations are given (its length may be NSUIntegerMax, "to the end");
// `exact` is the same range spelt out.
void exercise(NSString* subject, NSString* plain, NSString* regex, MTKRegexOptions options,
              NSRange range, NSRange exact, uint8_t choice) {
    Ref<NSError> error;
    NSInteger groups = captureCountForRegex(regex, options, &error);
    if (groups < 0) {
        // A pattern that does not compile answers empty results, never an exception.
        check(error != nullptr);
        check(componentsMatchedByRegex(subject, regex, options, range, 0, nullptr) == nullptr);
        return;
    }
    NSInteger capture = choice % (groups + 1);
    Ref<NSString> expectedText = plain->substringWithRange(exact);

    NSRange found = rangeOfRegex(subject, regex, options, range, capture, nullptr);
    if (found.location != static_cast<NSUInteger>(NSNotFound))
        check(found.location >= exact.location && NSMaxRange(found) <= NSMaxRange(exact));

    auto matches = componentsMatchedByRegex(subject, regex, options, range, 0, nullptr);
    auto same = componentsMatchedByRegex(plain, regex, options, range, 0, nullptr);
    check(matches && same && matches->isEqual(same));
    componentsSeparatedByRegex(subject, regex, options, range, nullptr);
    arrayOfCaptureComponentsMatchedByRegex(subject, regex, options, range, nullptr);
    dictionaryByMatchingRegex(subject, regex, options, range, nullptr,
                              {{NS("whole"), 0}, {NS("group"), capture}});

    // Putting every match back changes nothing.
    auto replaced =
        stringByReplacingOccurrencesOfRegex(subject, regex, NS("$0"), options, range, nullptr);
    check(equal(replaced, expectedText));
    NSUInteger calls = 0;
    check(enumerateStringsMatchedByRegex(
        subject, regex, options, range, nullptr,
        (choice & 1) ? MTKRegexEnumerationUncopiedCapturedStrings : MTKRegexEnumerationNoOptions,
        [&](NSInteger count, NSString* const* strings, const NSRange* ranges, bool* stop) {
            check(count == groups + 1);
            check(strings[0]->length() == ranges[0].length);
            if (++calls > 100000) *stop = true;
        }));
    check(calls == matches->count());
    auto byBlock = stringByReplacingOccurrencesOfRegex(
        subject, regex, options, range, nullptr, 0,
        [](NSInteger, NSString* const* strings, const NSRange*, bool*) { return strings[0]; });
    check(equal(byBlock, expectedText));
    enumerateStringsSeparatedByRegex(subject, regex, options, range, nullptr,
                                     MTKRegexEnumerationNoCapturedStrings,
                                     [](NSInteger, NSString* const*, const NSRange*, bool*) {});

    auto m = NSMutableString::stringWithString(plain);
    NSInteger n = replaceOccurrencesOfRegex(m, regex, NS("$0"), options, range, nullptr);
    check(n == static_cast<NSInteger>(matches->count()));
    check(m->isEqualToString(plain));
    if (choice & 2) {
        stringByReplacingOccurrencesOfRegex(subject, regex, NS("<$1>\\$"), options, range, nullptr);
    }
    if (choice & 4) flushCachedRegexData(subject);
    if (choice & 8) clearStringCache();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    NSAutoreleasePool pool;
    Input in(data, size);
    uint8_t mode = in.byte();
    uint8_t start = in.byte();
    uint8_t span = in.byte();
    uint8_t choice = in.byte();
    const bool arbitraryPattern = mode & 1;
    const MTKRegexOptions optionChoices[] = {0, MTKRegexCaseless,
                                             MTKRegexMultiline | MTKRegexDotAll, MTKRegexComments,
                                             MTKRegexUnicodeWordBoundaries};
    MTKRegexOptions options = optionChoices[(mode >> 1) % 5];

    Ref<NSString> regex;
    std::u16string subjectUnits;
    if (arbitraryPattern) {
        // Short subjects keep pathological patterns from backtracking for minutes.
        uint8_t patternBytes = in.byte() % 64;
        regex = NSString::fromUTF16(in.text(patternBytes, false));
        subjectUnits = in.text(48, mode & 16);
    } else {
        regex = NSString::fromUTF8(kAppPatterns[in.byte() % std::size(kAppPatterns)]);
        subjectUnits = in.text(4096, mode & 16);
    }
    Ref<NSString> plain = NSString::fromUTF16(subjectUnits);
    Ref<NSString> subject =
        (mode & 32) ? Ref<NSString>(ScatteredString::withUnits(subjectUnits)) : plain;
    NSUInteger length = plain->length();
    NSUInteger location = length ? start % (length + 1) : 0;
    NSUInteger rangeLength = (span == 255) ? NSUIntegerMax : span % (length - location + 1);
    NSRange range = NSMakeRange(location, rangeLength);
    NSRange exact = range;
    if (rangeLength == NSUIntegerMax) exact.length = length - location;

    try {
        exercise(subject, plain, regex, options, range, exact, choice);
    } catch (ExceptionRaised& e) {
        if (!e.exception->name()->isEqualToString(MTKICURegexException)) std::abort();
    }
    return 0;
}
