#include "Foundation/NSCharacterSet.h"

#include <unicode/uchar.h>

#include <algorithm>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {
using List = std::vector<uint32_t>;
constexpr uint32_t kLimit = 0x110000;  // one past the last code point

// Merges two range lists under a membership rule: walks the union of their boundaries and
// emits a boundary wherever the combined membership changes.
template <class Op>
List combine(const List& a, const List& b, Op op) {
    List out;
    out.reserve(a.size() + b.size());
    size_t i = 0, j = 0;
    bool inA = false, inB = false, inOut = false;
    while (i < a.size() || j < b.size()) {
        uint32_t x = std::min(i < a.size() ? a[i] : UINT32_MAX, j < b.size() ? b[j] : UINT32_MAX);
        if (i < a.size() && a[i] == x) {
            inA = !inA;
            ++i;
        }
        if (j < b.size() && b[j] == x) {
            inB = !inB;
            ++j;
        }
        bool v = op(inA, inB);
        if (v != inOut) {
            out.push_back(x);
            inOut = v;
        }
    }
    return out;
}

List rangeList(uint32_t start, uint32_t end) {
    start = std::min(start, kLimit);
    end = std::min(end, kLimit);
    if (start >= end) return {};
    return {start, end};
}

List inverted(const List& l) {
    return combine(l, List{0, kLimit}, [](bool a, bool all) { return all && !a; });
}

// The code points of a string (a surrogate pair counts as the one code point it encodes),
// as a range list.
List listOfString(NSString* s) {
    if (!s) return {};
    std::u16string u = s->u16();
    std::vector<uint32_t> cps;
    cps.reserve(u.size());
    for (size_t i = 0; i < u.size(); ++i) {
        uint32_t c = u[i];
        if (U16_IS_LEAD(c) && i + 1 < u.size() && U16_IS_TRAIL(u[i + 1])) {
            c = U16_GET_SUPPLEMENTARY(c, u[i + 1]);
            ++i;
        }
        cps.push_back(c);
    }
    std::sort(cps.begin(), cps.end());
    List out;
    for (uint32_t c : cps) {
        if (!out.empty() && out.back() == c) {
            ++out.back();
        } else if (out.empty() || out.back() < c) {
            out.push_back(c);
            out.push_back(c + 1);
        }
    }
    return out;
}

List listOfRange(NSRange r) {
    uint64_t end = uint64_t(r.location) + r.length;
    return rangeList(r.location, static_cast<uint32_t>(std::min<uint64_t>(end, kLimit)));
}

// The code points whose general category is in `mask` (U_GC_*_MASK bits).
List listOfCategories(uint32_t mask) {
    struct Ctx {
        uint32_t mask;
        List out;
    } ctx{mask, {}};
    u_enumCharTypes(
        [](const void* context, UChar32 start, UChar32 limit, UCharCategory type) -> UBool {
            auto* c = static_cast<Ctx*>(const_cast<void*>(context));
            if (!(c->mask & U_MASK(type))) return true;
            if (!c->out.empty() && c->out.back() == uint32_t(start)) {
                c->out.back() = uint32_t(limit);
            } else {
                c->out.push_back(uint32_t(start));
                c->out.push_back(uint32_t(limit));
            }
            return true;
        },
        &ctx);
    return ctx.out;
}

List listOfASCII(const char* chars) {
    List out;
    for (const char* p = chars; *p; ++p) {
        out = combine(out, rangeList(uint8_t(*p), uint8_t(*p) + 1),
                      [](bool a, bool b) { return a || b; });
    }
    return out;
}

List listOfAlnumASCIIPlus(const char* extra) {
    List alnum{'0', '9' + 1, 'A', 'Z' + 1, 'a', 'z' + 1};
    return combine(alnum, listOfASCII(extra), [](bool a, bool b) { return a || b; });
}

List whitespaceList() {
    return combine(listOfCategories(U_GC_ZS_MASK), List{'\t', '\t' + 1},
                   [](bool a, bool b) { return a || b; });
}

List newlineList() {
    return List{0x0A, 0x0E, 0x85, 0x86, 0x2028, 0x202A};
}

uint32_t fnv(const List& l) {
    uint32_t h = 2166136261u;
    for (uint32_t v : l) {
        for (int k = 0; k < 4; ++k) {
            h ^= (v >> (8 * k)) & 0xFF;
            h *= 16777619u;
        }
    }
    return h;
}
}  // namespace

// ---- predefined sets -------------------------------------------------------------------

#define BN_SHARED_SET(expr)                                 \
    static NSCharacterSet* const shared = makeShared(expr); \
    return Ref<NSCharacterSet>(shared)

Ref<NSCharacterSet> NSCharacterSet::whitespaceCharacterSet() {
    BN_SHARED_SET(whitespaceList());
}
Ref<NSCharacterSet> NSCharacterSet::whitespaceAndNewlineCharacterSet() {
    BN_SHARED_SET(combine(whitespaceList(), newlineList(), [](bool a, bool b) { return a || b; }));
}
Ref<NSCharacterSet> NSCharacterSet::newlineCharacterSet() {
    BN_SHARED_SET(newlineList());
}
Ref<NSCharacterSet> NSCharacterSet::decimalDigitCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_ND_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::letterCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_L_MASK | U_GC_M_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::lowercaseLetterCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_LL_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::uppercaseLetterCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_LU_MASK | U_GC_LT_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::capitalizedLetterCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_LT_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::nonBaseCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_M_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::alphanumericCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_L_MASK | U_GC_M_MASK | U_GC_N_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::punctuationCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_P_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::symbolCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_S_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::controlCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_CC_MASK | U_GC_CF_MASK));
}
Ref<NSCharacterSet> NSCharacterSet::illegalCharacterSet() {
    BN_SHARED_SET(listOfCategories(U_GC_CN_MASK));
}
// The URL component sets: the unreserved characters plus the sub-delimiters each component
// may carry unescaped (RFC 3986).
Ref<NSCharacterSet> NSCharacterSet::URLUserAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,;="));
}
Ref<NSCharacterSet> NSCharacterSet::URLPasswordAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,;="));
}
Ref<NSCharacterSet> NSCharacterSet::URLHostAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,;=:[]"));
}
Ref<NSCharacterSet> NSCharacterSet::URLPathAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,=:@/"));
}
Ref<NSCharacterSet> NSCharacterSet::URLQueryAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,;=:@/?"));
}
Ref<NSCharacterSet> NSCharacterSet::URLFragmentAllowedCharacterSet() {
    BN_SHARED_SET(listOfAlnumASCIIPlus("-._~!$&'()*+,;=:@/?"));
}
#undef BN_SHARED_SET

// ---- made sets -------------------------------------------------------------------------

Ref<NSCharacterSet> NSCharacterSet::characterSetWithCharactersInString(NSString* s) {
    auto r = alloc<NSCharacterSet>();
    r->setRanges(listOfString(s));
    return r;
}

Ref<NSCharacterSet> NSCharacterSet::characterSetWithRange(NSRange range) {
    auto r = alloc<NSCharacterSet>();
    r->setRanges(listOfRange(range));
    return r;
}

// ---- queries -----------------------------------------------------------------------------

bool NSCharacterSet::characterIsMember(char16_t c) {
    return longCharacterIsMember(c);
}

bool NSCharacterSet::longCharacterIsMember(uint32_t c) {
    if (c < 128) return (ascii_[c >> 6] >> (c & 63)) & 1;
    auto it = std::upper_bound(ranges_.begin(), ranges_.end(), c);
    return (it - ranges_.begin()) & 1;
}

Ref<NSCharacterSet> NSCharacterSet::invertedSet() {
    auto r = alloc<NSCharacterSet>();
    r->setRanges(inverted(ranges_));
    return r;
}

bool NSCharacterSet::isSupersetOfSet(NSCharacterSet* other) {
    if (!other) return true;
    // Nothing of the other set may lie outside this one.
    return combine(ranges_, other->ranges_, [](bool a, bool b) { return b && !a; }).empty();
}

bool NSCharacterSet::hasMemberInPlane(uint8_t plane) {
    uint32_t lo = uint32_t(plane) << 16, hi = lo + 0x10000;
    return !combine(ranges_, rangeList(lo, hi), [](bool a, bool b) { return a && b; }).empty();
}

bool NSCharacterSet::isEqual(NSObject* other) {
    if (other == this) return true;
    auto o = as<NSCharacterSet>(other);
    return o && o->ranges_ == ranges_;
}

NSUInteger NSCharacterSet::hash() {
    return fnv(ranges_);
}

Ref<NSString> NSCharacterSet::description() {
    std::string d = "<" + getClass()->name() + ": ";
    for (size_t i = 0; i < ranges_.size(); i += 2) {
        char buf[40];
        if (ranges_[i + 1] - ranges_[i] == 1) {
            snprintf(buf, sizeof buf, "%sU+%04X", i ? " " : "", ranges_[i]);
        } else {
            snprintf(buf, sizeof buf, "%sU+%04X-U+%04X", i ? " " : "", ranges_[i],
                     ranges_[i + 1] - 1);
        }
        d += buf;
    }
    d += ">";
    return NSString::fromUTF8(d);
}

Ref<NSObject> NSCharacterSet::copyWithZone() {
    if (typeid(*this) == typeid(NSCharacterSet)) return Ref<NSObject>(this);
    auto r = alloc<NSCharacterSet>();
    r->setRanges(ranges_);
    return Ref<NSObject>(r);
}

Ref<NSObject> NSCharacterSet::mutableCopyWithZone() {
    auto r = alloc<NSMutableCharacterSet>();
    r->setRanges(ranges_);
    return Ref<NSObject>(r);
}

Ref<NSCharacterSet> NSCharacterSet::copy() {
    return cast<NSCharacterSet>(copyWithZone());
}
Ref<NSMutableCharacterSet> NSCharacterSet::mutableCopy() {
    return cast<NSMutableCharacterSet>(mutableCopyWithZone());
}

NSCharacterSet* NSCharacterSet::makeShared(std::vector<uint32_t> r) {
    auto* s = new NSCharacterSet();
    s->makeImmortal();
    s->setRanges(std::move(r));
    return s;
}

void NSCharacterSet::rebuildCache() {
    ascii_[0] = ascii_[1] = 0;
    for (size_t i = 0; i < ranges_.size() && ranges_[i] < 128; i += 2) {
        uint32_t end = std::min<uint32_t>(ranges_[i + 1], 128);
        for (uint32_t c = ranges_[i]; c < end; ++c)
            ascii_[c >> 6] |= uint64_t(1) << (c & 63);
    }
}

void NSCharacterSet::setRanges(std::vector<uint32_t> r) {
    ranges_ = std::move(r);
    rebuildCache();
}

// ---- mutable sets ----------------------------------------------------------------------

Ref<NSMutableCharacterSet> NSMutableCharacterSet::characterSet() {
    return alloc<NSMutableCharacterSet>();
}

Ref<NSMutableCharacterSet> NSMutableCharacterSet::characterSetWithCharactersInString(NSString* s) {
    auto r = alloc<NSMutableCharacterSet>();
    r->setRanges(listOfString(s));
    return r;
}

Ref<NSMutableCharacterSet> NSMutableCharacterSet::characterSetWithRange(NSRange range) {
    auto r = alloc<NSMutableCharacterSet>();
    r->setRanges(listOfRange(range));
    return r;
}

void NSMutableCharacterSet::addCharactersInString(NSString* s) {
    setRanges(combine(ranges_, listOfString(s), [](bool a, bool b) { return a || b; }));
}

void NSMutableCharacterSet::addCharactersInRange(NSRange range) {
    setRanges(combine(ranges_, listOfRange(range), [](bool a, bool b) { return a || b; }));
}

void NSMutableCharacterSet::removeCharactersInString(NSString* s) {
    setRanges(combine(ranges_, listOfString(s), [](bool a, bool b) { return a && !b; }));
}

void NSMutableCharacterSet::removeCharactersInRange(NSRange range) {
    setRanges(combine(ranges_, listOfRange(range), [](bool a, bool b) { return a && !b; }));
}

void NSMutableCharacterSet::formUnionWithCharacterSet(NSCharacterSet* other) {
    if (!other) return;
    setRanges(combine(ranges_, other->ranges(), [](bool a, bool b) { return a || b; }));
}

void NSMutableCharacterSet::formIntersectionWithCharacterSet(NSCharacterSet* other) {
    if (!other) return;
    setRanges(combine(ranges_, other->ranges(), [](bool a, bool b) { return a && b; }));
}

void NSMutableCharacterSet::invert() {
    setRanges(inverted(ranges_));
}
