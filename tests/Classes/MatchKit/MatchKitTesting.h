// Subjects for the regular-expression tests: strings that keep no contiguous UTF-16 text, and
// mutable strings whose hash ignores their content, so that an in-place edit keeps length and
// hash.
#pragma once

#include <ostream>
#include <string>
#include <vector>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "support/FoundationTesting.h"

// Text kept in a container that offers no pointer to its units, so matching must go through
// the subject buffers. Its hash depends on the length only, so edits keep it.
class FragmentedString : public NSString {
    NS_OBJECT(FragmentedString, NSString)

    static Ref<FragmentedString> withText(std::u16string_view text) {
        auto s = alloc<FragmentedString>();
        s->text_.assign(text.begin(), text.end());
        return s;
    }
    static Ref<FragmentedString> withUTF8(std::string_view utf8) {
        return withText(NSString::fromUTF8(utf8)->u16());
    }

    NSUInteger length() override { return reportedLength_ ? reportedLength_ : text_.size(); }
    char16_t characterAtIndex(NSUInteger i) override { return text_.at(i); }
    void getCharacters(char16_t* out, NSRange r) override {
        if (failCopy) NSException::raise(NSGenericException, NS("copy refused"));
        for (NSUInteger i = 0; i < r.length; ++i)
            out[i] = text_.at(r.location + i);
    }
    const char16_t* charactersPtr() override { return nullptr; }
    uint64_t mutationCount() override { return mutations_; }
    NSUInteger hash() override { return length() * 31; }

    void setCharacter(NSUInteger i, char16_t c) {
        text_.at(i) = c;
        ++mutations_;
    }
    // Claims a length it does not have (only the layer's length checks may look at it).
    void pretendLength(NSUInteger n) { reportedLength_ = n; }

    bool failCopy = false;

private:
    std::vector<char16_t> text_;
    uint64_t mutations_ = 0;
    NSUInteger reportedLength_ = 0;
};

// A mutable string whose hash is its length: an in-place edit of the same length leaves both
// length and hash as they were.
class SameHashMutableString : public NSMutableString {
    NS_OBJECT(SameHashMutableString, NSMutableString)
    static Ref<SameHashMutableString> withUTF8(std::string_view utf8) {
        auto s = alloc<SameHashMutableString>();
        s->setString(NSString::fromUTF8(utf8));
        return s;
    }
    NSUInteger hash() override { return length(); }
};

// Ranges in failure messages as {location, length}.
inline void PrintTo(const NSRange& r, std::ostream* os) {
    *os << "{" << r.location << ", " << r.length << "}";
}

inline constexpr NSRange kNotFound = {static_cast<NSUInteger>(NSNotFound), 0};

// The strings of an array, as UTF-8.
inline std::vector<std::string> strings(NSArray* a) {
    std::vector<std::string> out;
    if (!a) return out;
    for (NSObject* o : *a)
        out.push_back(text(o));
    return out;
}

// The reason of the exception a call raised, "" when none.
template <class F>
std::string raisedReason(F&& f) {
    Ref<NSException> e = raisedBy(std::forward<F>(f));
    return e ? e->reason()->utf8() : std::string();
}

using Strings = std::vector<std::string>;
