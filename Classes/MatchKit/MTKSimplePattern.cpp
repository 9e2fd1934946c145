// A direct matcher for the plain patterns that scraping uses most: literal characters, ASCII
// character classes (negated or not) and the greedy quantifiers *, + and ? on single characters,
// inside capture groups that are neither quantified nor alternated. For such a pattern ICU's
// backtracking order is the obvious one (the latest loop gives back first, one character at a
// time), so the first match found here is the one ICU finds, with the same captures. Anything
// outside that shape is left to ICU.
#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSString.h"
#include "Foundation/UnitSearch.h"

struct MTKSimplePattern {
    struct Atom {
        bool isClass = false;
        bool negated = false;
        char16_t ch = 0;        // a literal
        uint64_t bits[2] = {};  // a class: its ASCII members
        uint32_t min = 1;
        uint32_t max = 1;  // 1, or UINT32_MAX for * and +
        // A negated class of at most four characters: those characters, for a fast run.
        char16_t stops[4] = {};
        size_t stopCount = 0;
        // For a literal: how many literals stand in a row from this one (itself included), so
        // that they are compared together.
        uint32_t literalRun = 0;
    };
    std::vector<Atom> atoms;
    // Capture group g (from 1) spans the positions before atoms groupStart[g] and groupEnd[g].
    std::vector<uint32_t> groupStart{0};
    std::vector<uint32_t> groupEnd{0};
    // The literal units every match starts with: where they are absent nothing is tried.
    std::u16string prefix;
    // Without a prefix, the characters (at most four) one of which every match starts with, when
    // the first atom tells them; only where they stand is a match tried.
    char16_t firstUnits[4] = {};
    size_t firstUnitCount = 0;
};

namespace {

constexpr uint32_t kMany = UINT32_MAX;

bool isMeta(char16_t c) {
    return c != 0 && c < 0x80 && std::strchr("\\^$.|?*+()[]{}", static_cast<char>(c)) != nullptr;
}

bool isSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDFFF;
}

bool isLead(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}

bool isTrail(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// An escaped character that stands for itself: ASCII punctuation only (letters and digits
// start ICU's escape sequences).
bool isLiteralEscape(char16_t c) {
    return c > 0x20 && c < 0x7f &&
           !((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'));
}

void addToClass(MTKSimplePattern::Atom& a, char16_t c) {
    a.bits[c >> 6] |= uint64_t(1) << (c & 63);
}

// Parses the class whose "[" is at p[i]; false when it is not a plain ASCII class.
bool parseClass(const char16_t* p, size_t n, size_t& i, MTKSimplePattern::Atom& a) {
    a.isClass = true;
    ++i;
    if (i < n && p[i] == '^') {
        a.negated = true;
        ++i;
    }
    bool any = false;
    // A hyphen that opens the class stands for itself.
    if (i < n && p[i] == '-') {
        addToClass(a, '-');
        any = true;
        ++i;
    }
    while (i < n && p[i] != ']') {
        char16_t c = p[i];
        // Nested sets, set operators, properties and variables are ICU's alone.
        if (c == '[' || c == '&' || c == '$' || c == '{' || c == '}' || c == ':' || c == '^' ||
            c == '-' || c >= 0x80)
            return false;
        if (c == '\\') {
            if (i + 1 >= n || !isLiteralEscape(p[i + 1])) return false;
            c = p[++i];
        }
        ++i;
        if (i + 1 < n && p[i] == '-' && p[i + 1] != ']') {
            char16_t hi = p[i + 1];
            if (hi == '\\') {
                if (i + 2 >= n || !isLiteralEscape(p[i + 2])) return false;
                hi = p[i + 2];
                ++i;
            } else if (hi == '[' || hi == '&' || hi == '$' || hi == '{' || hi == '}' || hi == ':' ||
                       hi == '^' || hi == '-' || hi >= 0x80) {
                return false;
            }
            i += 2;
            if (hi < c) return false;
            for (char16_t x = c; x <= hi; ++x)
                addToClass(a, x);
        } else {
            addToClass(a, c);
        }
        any = true;
    }
    if (i >= n || !any) return false;
    ++i;  // the "]"
    return true;
}

inline bool atomMatches(const MTKSimplePattern::Atom& a, char16_t c) {
    if (!a.isClass) return c == a.ch;
    bool member = c < 0x80 && (a.bits[c >> 6] >> (c & 63) & 1);
    return member != a.negated;
}

// Matches the whole pattern at `start`; fills pos (one position before each atom, and the end).
// The first `verified` atoms (literals) are known to match there already.
bool matchAt(const MTKSimplePattern& sp, const char16_t* s, size_t start, size_t end,
             size_t verified, size_t* pos, size_t* loopEnd, size_t* loopMinEnd) {
    const size_t n = sp.atoms.size();
    const MTKSimplePattern::Atom* atoms = sp.atoms.data();
    // pos[k] of a verified atom would be start + k; the caller knows it without being told.
    size_t k = verified;
    size_t p = start + verified;
    for (;;) {
        bool failed = false;
        while (k < n) {
            const auto& a = atoms[k];
            pos[k] = p;
            if (a.literalRun) {
                // Literals never give anything back, so a run of them fails or matches whole;
                // where it fails, the loop to give back is the same as for its first literal.
                const uint32_t run = a.literalRun;
                if (end - p < run) {
                    failed = true;
                    break;
                }
                uint32_t i = 0;
                while (i < run && s[p + i] == atoms[k + i].ch)
                    ++i;
                if (i < run) {
                    failed = true;
                    break;
                }
                for (i = 1; i < run; ++i)
                    pos[k + i] = p + i;
                p += run;
                k += run;
                continue;
            }
            if (a.max == 1 && a.min == 1) {
                if (p < end && atomMatches(a, s[p])) {
                    // A negated class takes a whole surrogate pair, as ICU's code points do.
                    p += (a.negated && isLead(s[p]) && p + 1 < end && isTrail(s[p + 1])) ? 2 : 1;
                    ++k;
                    continue;
                }
                failed = true;
                break;
            }
            size_t q = p;
            size_t minEnd = p;
            if (a.stopCount && a.max == kMany) {
                // The run ends at the first excluded character, whatever pairs lie before it.
                q = bn::findAnyUnit(s, p, end, a.stops, a.stopCount);
                if (a.min == 1) {
                    if (q == p) {
                        failed = true;
                        break;
                    }
                    minEnd = p + ((isLead(s[p]) && p + 1 < q && isTrail(s[p + 1])) ? 2 : 1);
                }
            } else {
                uint32_t count = 0;
                while (count < a.max && q < end && atomMatches(a, s[q])) {
                    q += (a.negated && isLead(s[q]) && q + 1 < end && isTrail(s[q + 1])) ? 2 : 1;
                    if (++count == a.min) minEnd = q;
                }
                if (count < a.min) {
                    failed = true;
                    break;
                }
            }
            loopEnd[k] = q;
            loopMinEnd[k] = minEnd;
            p = q;
            ++k;
        }
        if (!failed) {
            pos[n] = p;
            return true;
        }
        // Back to the latest loop that can give back a character.
        size_t j = k;
        for (;;) {
            if (j == 0) return false;
            --j;
            const auto& a = atoms[j];
            if ((a.max != 1 || a.min != 1) && loopEnd[j] > loopMinEnd[j]) break;
        }
        const auto& a = atoms[j];
        size_t q = loopEnd[j];
        // The pairs it took stand where its run began, so they are found again from the end.
        bool pair = a.negated && q >= pos[j] + 2 && isTrail(s[q - 1]) && isLead(s[q - 2]);
        q -= pair ? 2 : 1;
        // When the next atom must match a character that a pair's second half never is, the
        // places where it does not match fail at once: they are skipped.
        if (j + 1 < n) {
            const auto& next = atoms[j + 1];
            if (next.min >= 1 && !next.negated) {
                // A character that ended the run stands nowhere inside it.
                if (!next.isClass && a.stopCount &&
                    std::find(a.stops, a.stops + a.stopCount, next.ch) != a.stops + a.stopCount)
                    q = loopMinEnd[j];
                while (q > loopMinEnd[j] && !atomMatches(next, s[q]))
                    --q;
            }
        }
        loopEnd[j] = q;
        p = q;
        k = j + 1;
    }
}

}  // namespace

MTKSimplePattern* mtk_compileSimplePattern(NSString* regex, MTKRegexOptions options,
                                           int32_t captureCount) {
    if (options != 0 || !regex) return nullptr;
    const char16_t* p = regex->charactersPtr();
    const size_t n = regex->length();
    if (!p || n == 0 || n > 256) return nullptr;
    auto sp = std::make_unique<MTKSimplePattern>();
    std::vector<uint32_t> open;  // groups not yet closed
    size_t i = 0;
    while (i < n) {
        char16_t c = p[i];
        if (c == '(') {
            if (i + 1 < n && p[i + 1] == '?') return nullptr;
            open.push_back(static_cast<uint32_t>(sp->groupStart.size()));
            sp->groupStart.push_back(static_cast<uint32_t>(sp->atoms.size()));
            sp->groupEnd.push_back(0);
            ++i;
            continue;
        }
        if (c == ')') {
            if (open.empty()) return nullptr;
            sp->groupEnd[open.back()] = static_cast<uint32_t>(sp->atoms.size());
            open.pop_back();
            ++i;
            // A quantified group repeats its captures: ICU's.
            if (i < n && (p[i] == '*' || p[i] == '+' || p[i] == '?' || p[i] == '{')) return nullptr;
            continue;
        }
        MTKSimplePattern::Atom a;
        if (c == '[') {
            if (!parseClass(p, n, i, a)) return nullptr;
        } else if (c == '\\') {
            if (i + 1 >= n || !isLiteralEscape(p[i + 1])) return nullptr;
            a.ch = p[i + 1];
            i += 2;
        } else {
            if (isMeta(c) || isSurrogate(c)) return nullptr;
            a.ch = c;
            ++i;
        }
        if (i < n) {
            char16_t q = p[i];
            if (q == '*' || q == '+' || q == '?') {
                a.min = q == '+' ? 1 : 0;
                a.max = q == '?' ? 1 : kMany;
                ++i;
                // Lazy and possessive forms, and counted repeats, are ICU's.
                if (i < n && (p[i] == '?' || p[i] == '+' || p[i] == '*')) return nullptr;
            } else if (q == '{') {
                return nullptr;
            }
        }
        sp->atoms.push_back(a);
    }
    if (!open.empty()) return nullptr;
    for (auto& a : sp->atoms) {
        if (!a.negated) continue;
        for (char16_t c = 0; c < 0x80 && a.stopCount <= 4; ++c) {
            if (atomMatches(a, c)) continue;
            if (a.stopCount < 4) a.stops[a.stopCount] = c;
            ++a.stopCount;
        }
        if (a.stopCount > 4) a.stopCount = 0;
    }
    for (const auto& a : sp->atoms) {
        if (a.isClass || a.min != 1 || a.max != 1) break;
        sp->prefix.push_back(a.ch);
    }
    for (size_t k = sp->atoms.size(); k-- > 0;) {
        auto& a = sp->atoms[k];
        if (a.isClass || a.min != 1 || a.max != 1) continue;
        a.literalRun = 1 + (k + 1 < sp->atoms.size() ? sp->atoms[k + 1].literalRun : 0);
    }
    if (sp->prefix.empty() && !sp->atoms.empty()) {
        // A first class that every match must take a character of (so not negated: its
        // members are all ASCII).
        const auto& first = sp->atoms[0];
        if (first.isClass && !first.negated && first.min >= 1) {
            size_t count = 0;
            for (char16_t c = 0; c < 0x80 && count <= 4; ++c) {
                if (!atomMatches(first, c)) continue;
                if (count < 4) sp->firstUnits[count] = c;
                ++count;
            }
            sp->firstUnitCount = count <= 4 ? count : 0;
        }
    }
    if (static_cast<int32_t>(sp->groupStart.size()) - 1 != captureCount) return nullptr;
    return sp.release();
}

void mtk_freeSimplePattern(MTKSimplePattern* sp) {
    delete sp;
}

NSRange mtk_simpleFirstMatch(const MTKSimplePattern* sp, const char16_t* s, NSRange range,
                             int32_t group) {
    const size_t n = sp->atoms.size();
    // Positions live on the stack; patterns are at most 256 units long.
    size_t pos[260], loopEnd[260], loopMinEnd[260];
    const size_t begin = range.location;
    const size_t end = NSMaxRange(range);
    const char16_t* prefix = sp->prefix.data();
    const size_t prefixLength = sp->prefix.size();
    for (size_t start = begin; start <= end;) {
        if (prefixLength) {
            start = bn::findUnits(s, start, end, prefix, prefixLength);
            if (start >= end) return kMTKNotFoundRange;
        } else if (sp->firstUnitCount) {
            // Elsewhere the first atom fails at once, with nothing before it to give back.
            start = bn::findAnyUnit(s, start, end, sp->firstUnits, sp->firstUnitCount);
            if (start >= end) return kMTKNotFoundRange;
        }
        if (matchAt(*sp, s, start, end, prefixLength, pos, loopEnd, loopMinEnd)) {
            const auto g = static_cast<size_t>(group);
            // The prefix's atoms stand one unit each from the start.
            auto at = [&](size_t atom) { return atom < prefixLength ? start + atom : pos[atom]; };
            size_t a = g == 0 ? start : at(sp->groupStart[g]);
            size_t b = g == 0 ? at(n) : at(sp->groupEnd[g]);
            return NSMakeRange(static_cast<NSUInteger>(a), static_cast<NSUInteger>(b - a));
        }
        // ICU starts its attempts on code points, never inside a surrogate pair.
        start += (start + 1 < end && isLead(s[start]) && isTrail(s[start + 1])) ? 2 : 1;
    }
    return kMTKNotFoundRange;
}
