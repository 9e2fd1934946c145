// The string operations: one worker (mtk_performRegexOp) checks the arguments, takes the cache
// lock, binds the compiled pattern to the subject, runs the operation and builds its result
// objects, then unlocks and only then raises what it recorded.
#include <algorithm>
#include <cstring>
#include <vector>

#include "Classes/MatchKit/MTKInternal.h"
#include "Classes/MatchKit/MTKRegexList.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

constexpr NSUInteger kUnlimited = NSUIntegerMax;
constexpr NSUInteger kStackRanges = 2048;  // 16 KiB of ranges before the heap is used

// Fixed buffers used only under the cache lock, so that the common sizes need no heap and no
// large stack frames on the caller's thread.
NSRange gLockedRanges[kStackRanges];
char16_t gLockedOutput[kMTKStackBudget / 2];

// Makes room for at least `needed` more ranges, predicting the total from the progress so far.
bool growRanges(MTKFindAll* fa, NSUInteger needed, NSUInteger position) {
    if (fa->capacity - fa->found >= needed) return true;
    float done = float(position + 1) / float(fa->found + 1);
    float predicted = done > 0 ? float(fa->lastLength) / done : 0;
    float grown = 1.5f * float(fa->capacity);
    double next = (double(std::max(predicted, grown)) + grown) / 2 + needed;
    if (next > double(UINT32_MAX / sizeof(NSRange))) return false;
    NSUInteger capacity = static_cast<NSUInteger>(next);
    bool onStack = fa->scratch->p[kMTKScratchRanges] != fa->ranges;
    auto* grownBuf = static_cast<NSRange*>(
        mtk_growScratch(fa->scratch, kMTKScratchRanges, size_t(capacity) * sizeof(NSRange)));
    if (!grownBuf) return false;
    if (onStack && fa->found) std::memcpy(grownBuf, fa->ranges, fa->found * sizeof(NSRange));
    fa->ranges = grownBuf;
    fa->capacity = capacity;
    return true;
}

Ref<NSString> stringFor(MTKCachedRegex* e, NSRange r) {
    if (r.length == 0 || r.location == static_cast<NSUInteger>(NSNotFound)) return NS("");
    return NSString::stringWithCharacters(e->setToUniChar + r.location, r.length);
}

Ref<NSArray> stringsFor(MTKCachedRegex* e, const NSRange* ranges, NSUInteger count) {
    std::vector<Ref<NSObject>> items;
    items.reserve(count);
    for (NSUInteger i = 0; i < count; ++i)
        items.emplace_back(stringFor(e, ranges[i]));
    return NSArray::arrayWithVector(std::move(items));
}

Ref<NSDictionary> dictionaryFor(MTKCachedRegex* e, const NSRange* match, NSUInteger keyCount,
                                NSString* const* keys, const NSInteger* captures) {
    auto dict = NSMutableDictionary::dictionaryWithCapacity(keyCount);
    for (NSUInteger i = 0; i < keyCount; ++i) {
        NSRange r = match[captures[i]];
        if (r.location == static_cast<NSUInteger>(NSNotFound)) continue;
        dict->setObject(stringFor(e, r), keys[i]);
    }
    return dict;
}

// Operation 2: every match replaced by the template, over the bound range only.
Ref<NSString> replaceAll(MTKCachedRegex* e, NSString* subject, bool inPlace, NSString* replacement,
                         NSInteger* count, UErrorCode* status, Ref<NSObject>* exception) {
    *count = -1;
    NSUInteger boundLength = e->setToRange.length;
    uint64_t templateLength = replacement->length();
    if (templateLength > 0x7ffffffe || 2 * templateLength + boundLength / 2 >= 0x7fffffff) {
        *exception = NSException::exceptionWithName(
            NSRangeException, NS("Replacement string length exceeds INT_MAX."), nullptr);
        return nullptr;
    }
    auto T = static_cast<int32_t>(templateLength);
    const char16_t* templ = replacement->charactersPtr();
    if (!templ) {
        auto* buf = static_cast<char16_t*>(
            mtk_growScratch(&mtk_scratchBuffers, kMTKScratchTemplate, (size_t(T) + 1) * 2));
        if (!buf) {
            *exception = MTK_ASSERTION(NS("Failed to set up UTF16 buffer."));
            return nullptr;
        }
        if (T) replacement->getCharacters(buf, NSMakeRange(0, T));
        templ = buf;
    }
    if (!templ) templ = kMTKEmptyText;

    uint64_t capacity = uint64_t(boundLength) + boundLength / 2 + 2 * templateLength + 16;
    int32_t needed = 0;
    NSInteger replaced = 0;
    char16_t* out = nullptr;
    for (int pass = 0; pass < 2; ++pass) {
        out = capacity * 2 <= kMTKStackBudget
                  ? gLockedOutput
                  : static_cast<char16_t*>(mtk_growScratch(&mtk_scratchBuffers, kMTKScratchOutput,
                                                           size_t(capacity) * 2));
        if (!out) {
            *exception = MTK_ASSERTION(NS("Failed to set up UTF16 buffer."));
            return nullptr;
        }
        UErrorCode st = U_ZERO_ERROR;
        if (mtk_prepareICUText(e, &st)) uregex_reset(e->icu_regex, 0, &st);
        if (st == U_INDEX_OUTOFBOUNDS_ERROR && boundLength == 0) st = U_ZERO_ERROR;
        if (U_FAILURE(st)) {
            *status = st;
            return nullptr;
        }
        char16_t* dest = out;
        auto destCapacity = static_cast<int32_t>(capacity);
        UErrorCode appendStatus = U_ZERO_ERROR;
        int64_t total = 0;
        replaced = 0;
        for (;;) {
            UErrorCode findStatus = U_ZERO_ERROR;
            if (!uregex_findNext(e->icu_regex, &findStatus)) {
                if (U_FAILURE(findStatus)) {
                    *status = findStatus;
                    return nullptr;
                }
                break;
            }
            ++replaced;
            // An overflow is carried on so that ICU keeps counting the length needed.
            total += uregex_appendReplacement(e->icu_regex, templ, T, &dest, &destCapacity,
                                              &appendStatus);
            if (U_FAILURE(appendStatus) && appendStatus != U_BUFFER_OVERFLOW_ERROR) {
                *status = appendStatus;
                return nullptr;
            }
        }
        total += uregex_appendTail(e->icu_regex, &dest, &destCapacity, &appendStatus);
        bool overflow = appendStatus == U_BUFFER_OVERFLOW_ERROR ||
                        appendStatus == U_STRING_NOT_TERMINATED_WARNING;
        if (U_FAILURE(appendStatus) && !overflow) {
            *status = appendStatus;
            return nullptr;
        }
        if (total >= 0x7fffffff - 4) {
            *exception = NSException::exceptionWithName(
                NSInternalInconsistencyException, NS("Replaced string length exceeds INT_MAX."),
                nullptr);
            return nullptr;
        }
        needed = static_cast<int32_t>(total);
        if (!overflow) break;
        if (pass == 1) {
            *exception = MTK_ASSERTION(NS("Failed to set up UTF16 buffer."));
            return nullptr;
        }
        capacity = uint64_t(needed) + 8;
    }
    // The matcher has moved on: the remembered find no longer describes its state.
    e->lastFindRange = kMTKNotFoundRange;
    e->lastMatchRange = kMTKNotFoundRange;
    *count = replaced;

    Ref<NSString> result;
    if (needed == 0) {
        result = NS("");
    } else if (replaced == 0 && NSUInteger(needed) == NSUInteger(e->setToLength)) {
        if (!inPlace) result = subject->copy();
    } else {
        result = NSString::stringWithCharacters(out, static_cast<NSUInteger>(needed));
    }
    if (inPlace && replaced > 0) {
        // The receiver is about to change: nothing may keep its present text.
        NSUInteger hash = e->setToHashKnown ? e->setToHash : subject->hash();
        mtk_releaseBuffersFor(subject, hash, e->setToLength);
        mtk_detachSubject(e);
    }
    return result;
}

}  // namespace

// ---- finding --------------------------------------------------------------------------------

NSRange mtk_groupRange(MTKCachedRegex* e, int32_t group, UErrorCode* status) {
    int32_t start = uregex_start(e->icu_regex, group, status);
    int32_t end = uregex_end(e->icu_regex, group, status);
    if (U_FAILURE(*status) || start < 0) return kMTKNotFoundRange;
    return NSMakeRange(static_cast<NSUInteger>(start) + e->setToRange.location,
                       static_cast<NSUInteger>(end - start));
}

NSRange mtk_findNextMatch(MTKCachedRegex* e, NSRange* searchRange, bool advance,
                          UErrorCode* status) {
    const NSRange search = *searchRange;
    const NSUInteger notFound = static_cast<NSUInteger>(NSNotFound);
    // A walk that ended on an empty match at the end of its range has nothing left to find.
    if (search.location == notFound) return kMTKNotFoundRange;
    NSRange match;
    bool lastFound = e->lastMatchRange.location != notFound;
    if (search == e->lastFindRange && e->lastFindRange.location != notFound &&
        !(lastFound && e->lastMatchRange.length == 0)) {
        match = e->lastMatchRange;
    } else {
        UErrorCode st = U_ZERO_ERROR;
        if (!mtk_prepareICUText(e, &st)) {
            *status = st;
            e->lastFindRange = kMTKNotFoundRange;
            e->lastMatchRange = kMTKNotFoundRange;
            if (advance) *searchRange = NSMakeRange(NSMaxRange(search), 0);
            return kMTKNotFoundRange;
        }
        // ICU moves one unit past an empty match by itself, so continuing is right only for a
        // search that starts there; a search starting at the empty match must find it again.
        bool continues = false;
        if (lastFound) {
            NSUInteger lastEnd = NSMaxRange(e->lastMatchRange);
            if (e->lastMatchRange.length == 0) ++lastEnd;
            continues = search.location == lastEnd;
        }
        bool found =
            continues
                ? uregex_findNext(e->icu_regex, &st)
                : uregex_find(e->icu_regex,
                              static_cast<int32_t>(search.location - e->setToRange.location), &st);
        if (found && U_SUCCESS(st)) match = mtk_groupRange(e, 0, &st);
        if (!found || U_FAILURE(st)) {
            if (U_FAILURE(st)) *status = st;
            e->lastFindRange = kMTKNotFoundRange;
            e->lastMatchRange = kMTKNotFoundRange;
            if (advance) *searchRange = NSMakeRange(NSMaxRange(search), 0);
            return kMTKNotFoundRange;
        }
        e->lastFindRange = search;
        e->lastMatchRange = match;
    }
    if (advance) {
        NSUInteger end = NSMaxRange(search);
        NSUInteger next = NSMaxRange(match);
        if (match.length == 0) {
            if (next >= end) {
                *searchRange = kMTKNotFoundRange;
                return match;
            }
            ++next;
        }
        next = std::min(next, end);
        *searchRange = NSMakeRange(next, end - next);
    }
    return match;
}

bool mtk_findRanges(MTKCachedRegex* e, int regexOp, MTKFindAll* fa, UErrorCode* status,
                    Ref<NSObject>* exception) {
    const int op = regexOp & kMTKMaskOp;
    if (op != kMTKSplitOp && (op < kMTKArrayOfStringsOp || op > kMTKArrayOfDictionariesOp)) {
        *exception = MTK_ASSERTION(NS("Unknown regexOp."));
        return false;
    }
    const auto groups = static_cast<NSUInteger>(std::max(e->captureCount, 0));
    const NSUInteger room = 12 + 4 * groups;
    UErrorCode st = U_ZERO_ERROR;
    fa->previousEnd = fa->findInRange.location;
    while (fa->matches < fa->findUpTo) {
        NSUInteger position = fa->searchRange.location;
        if (!growRanges(fa, room, std::min(position, NSMaxRange(fa->findInRange)))) return false;
        NSRange match = mtk_findNextMatch(e, &fa->searchRange, true, &st);
        if (U_FAILURE(st)) {
            *status = st;
            return false;
        }
        if (match.location == static_cast<NSUInteger>(NSNotFound)) break;
        // A split never ends a segment with an empty match where the segment begins.
        if (op == kMTKSplitOp && match.length == 0 && match.location == position) continue;

        if (op == kMTKSplitOp) {
            fa->ranges[fa->found++] =
                NSMakeRange(fa->previousEnd, match.location - fa->previousEnd);
        } else if (op == kMTKArrayOfStringsOp) {
            fa->ranges[fa->found++] =
                fa->capture == 0 ? match
                                 : mtk_groupRange(e, static_cast<int32_t>(fa->capture), &st);
        } else {
            fa->ranges[fa->found++] = match;
        }
        if (op != kMTKArrayOfStringsOp) {
            for (NSUInteger g = 1; g <= groups; ++g)
                fa->ranges[fa->found++] = mtk_groupRange(e, static_cast<int32_t>(g), &st);
        }
        if (U_FAILURE(st)) {
            *status = st;
            return false;
        }
        fa->previousEnd = NSMaxRange(match);
        ++fa->matches;
    }

    if (op == kMTKSplitOp) {
        NSUInteger end = NSMaxRange(fa->findInRange);
        if (end > fa->previousEnd) {
            if (!growRanges(fa, 1, end)) return false;
            fa->ranges[fa->found++] = NSMakeRange(fa->previousEnd, end - fa->previousEnd);
        } else {
            // Trailing empty segments are dropped with the groups of the matches that ended them.
            const NSUInteger perMatch = 1 + groups;
            while (fa->matches > 0 && fa->ranges[fa->found - perMatch].length == 0) {
                fa->found -= perMatch;
                --fa->matches;
            }
        }
    }
    return true;
}

// ---- the worker -----------------------------------------------------------------------------

namespace {

bool takesKeys(int op) {
    return op == kMTKDictionaryOfCapturesOp || op == kMTKArrayOfDictionariesOp;
}

// Raises at once for the arguments an operation cannot do without.
void requireOpArguments(NSObject* self, const char* selector, int op, NSString* regex,
                        NSString* subject, NSRange* range, NSString* replacement,
                        NSString* const* keys, const NSInteger* captures) {
    mtk_requireRegexAndSubject(self, selector, regex, subject);
    if (!range) {
        mtk_raiseArgument(self, selector, NSInternalInconsistencyException,
                          NS("The match range argument is NULL."));
    }
    if (op == kMTKReplaceOp && !replacement) {
        mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                          NS("The replacement string argument is NULL."));
    }
    if (takesKeys(op)) {
        if (!keys) {
            mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                              NS("The keys argument is NULL."));
        }
        if (!captures) {
            mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                              NS("The captures argument is NULL."));
        }
    }
}

// The exception for a range outside the subject or a subject too long, or nil.
Ref<NSObject> subjectRangeException(NSRange range, NSUInteger length) {
    if (uint64_t(range.location) + range.length > length) {
        return NSException::exceptionWithName(NSRangeException, NS("Range or index out of bounds."),
                                              nullptr);
    }
    if (length > 0x7ffffffe) {
        return NSException::exceptionWithName(NSRangeException,
                                              NS("String length exceeds INT_MAX."), nullptr);
    }
    return nullptr;
}

// The exception for a capture number or a capture key the pattern does not have, or nil.
Ref<NSObject> captureException(MTKCachedRegex* e, int op, NSInteger capture, NSUInteger keyCount,
                               NSString* const* keys, const NSInteger* captures) {
    if ((op == kMTKRangeOp || op == kMTKArrayOfStringsOp) &&
        (capture < 0 || capture > e->captureCount)) {
        return NSException::exceptionWithName(NSInvalidArgumentException,
                                              NS("The capture argument is not valid."), nullptr);
    }
    if (!takesKeys(op)) return nullptr;
    for (NSUInteger i = 0; i < keyCount; ++i) {
        if (!keys[i]) {
            return NSException::exceptionWithName(
                NSInvalidArgumentException,
                NSString::stringWithFormat(NS("The capture key (key %lu of %lu) is NULL."),
                                           static_cast<unsigned long>(i + 1),
                                           static_cast<unsigned long>(keyCount)),
                nullptr);
        }
        if (captures[i] < 0 || captures[i] > e->captureCount) {
            return NSException::exceptionWithName(
                NSInvalidArgumentException,
                NSString::stringWithFormat(
                    NS("The capture argument %d (capture %lu of %lu) for key '%@' is not "
                       "valid."),
                    captures[i], static_cast<unsigned long>(i + 1),
                    static_cast<unsigned long>(keyCount), keys[i]),
                nullptr);
        }
    }
    return nullptr;
}

// Operation 3: the range of the capture in the first match, into *rangeResult.
void firstMatchRange(MTKCachedRegex* e, NSRange range, NSInteger capture, NSRange* rangeResult,
                     UErrorCode* status) {
    if (e->simple) {
        // Without ICU: its remembered find stays as it was, so it is forgotten.
        e->lastFindRange = kMTKNotFoundRange;
        e->lastMatchRange = kMTKNotFoundRange;
        NSRange match =
            mtk_simpleFirstMatch(e->simple, e->setToUniChar, range, static_cast<int32_t>(capture));
        if (rangeResult) *rangeResult = match;
        return;
    }
    NSRange search = range;
    NSRange match = mtk_findNextMatch(e, &search, false, status);
    if (match.location != static_cast<NSUInteger>(NSNotFound) && capture > 0)
        match = mtk_groupRange(e, static_cast<int32_t>(capture), status);
    if (rangeResult && U_SUCCESS(*status)) *rangeResult = match;
}

// The result objects of a find-all run: strings, arrays of captures or dictionaries of them.
Ref<NSObject> findAllResult(MTKCachedRegex* e, int regexOp, const MTKFindAll& fa,
                            NSUInteger keyCount, NSString* const* keys, const NSInteger* captures) {
    const int op = regexOp & kMTKMaskOp;
    const NSUInteger perMatch = 1 + static_cast<NSUInteger>(e->captureCount);
    if (op == kMTKSplitOp || op == kMTKArrayOfStringsOp ||
        (op == kMTKArrayOfCapturesOp && !(regexOp & kMTKSubcapturesArray))) {
        return stringsFor(e, fa.ranges, fa.found);
    }
    if (op == kMTKCapturesArrayOp)
        return fa.matches ? stringsFor(e, fa.ranges, perMatch) : NSArray::array();
    if (op == kMTKDictionaryOfCapturesOp) {
        return fa.matches ? dictionaryFor(e, fa.ranges, keyCount, keys, captures)
                          : NSDictionary::dictionary();
    }
    std::vector<Ref<NSObject>> items;
    for (NSUInteger m = 0; m < fa.matches; ++m) {
        const NSRange* match = fa.ranges + m * perMatch;
        if (op == kMTKArrayOfCapturesOp)
            items.emplace_back(stringsFor(e, match, perMatch));
        else
            items.emplace_back(dictionaryFor(e, match, keyCount, keys, captures));
    }
    return NSArray::arrayWithVector(std::move(items));
}

// Operations 1 and 4 to 8 on the bound entry, in the fixed buffers while they suffice.
Ref<NSObject> findAll(MTKCachedRegex* e, int regexOp, NSRange range, NSInteger capture,
                      NSUInteger length, NSUInteger keyCount, NSString* const* keys,
                      const NSInteger* captures, UErrorCode* status, Ref<NSObject>* exception) {
    const int op = regexOp & kMTKMaskOp;
    MTKFindAll fa;
    fa.ranges = gLockedRanges;
    fa.capacity = kStackRanges;
    fa.findInRange = range;
    fa.searchRange = range;
    fa.findUpTo = op == kMTKCapturesArrayOp || op == kMTKDictionaryOfCapturesOp ? 1 : kUnlimited;
    fa.capture = capture;
    fa.stackUsed = sizeof gLockedRanges;
    fa.scratch = &mtk_scratchBuffers;
    fa.lastLength = static_cast<NSInteger>(length);
    if (!mtk_findRanges(e, regexOp, &fa, status, exception)) return nullptr;
    return findAllResult(e, regexOp, fa, keyCount, keys, captures);
}

}  // namespace

Ref<NSObject> mtk_performRegexOp(NSObject* self, const char* selector, int regexOp, NSString* regex,
                                 MTKRegexOptions options, NSInteger capture, NSString* subject,
                                 NSRange* range, NSString* replacement, Ref<NSError>* error,
                                 NSRange* rangeResult, NSInteger* countResult, NSUInteger keyCount,
                                 NSString* const* keys, const NSInteger* captures) {
    const int op = regexOp & kMTKMaskOp;
    const bool inPlace = (regexOp & kMTKReplaceMutable) != 0;
    requireOpArguments(self, selector, op, regex, subject, range, replacement, keys, captures);
    if (rangeResult) *rangeResult = kMTKNotFoundRange;
    if (countResult) *countResult = -1;

    Ref<NSObject> result;
    Ref<NSObject> exception;
    UErrorCode status = U_ZERO_ERROR;
    NSInteger replaced = -1;

    MTKLockSection lock;
    lock.lock();
    MTKCachedRegex* e = mtk_findOrCompileCachedRegex(regex, options, error, &exception);
    NSUInteger length = subject->length();
    if (range->length == NSUIntegerMax && range->location <= length)
        range->length = length - range->location;

    // Checked before binding: a subject that will be refused is never copied.
    if (!exception) exception = subjectRangeException(*range, length);
    if (e && !exception) exception = captureException(e, op, capture, keyCount, keys, captures);
    if (e && !exception && mtk_getCachedRegexSetToString(e, subject, *range, &exception, &status)) {
        switch (op) {
            case kMTKReplaceOp:
                result =
                    replaceAll(e, subject, inPlace, replacement, &replaced, &status, &exception);
                break;
            case kMTKRangeOp:
                firstMatchRange(e, *range, capture, rangeResult, &status);
                break;
            case kMTKSplitOp:
            case kMTKArrayOfStringsOp:
            case kMTKArrayOfCapturesOp:
            case kMTKCapturesArrayOp:
            case kMTKDictionaryOfCapturesOp:
            case kMTKArrayOfDictionariesOp:
                result = findAll(e, regexOp, *range, capture, length, keyCount, keys, captures,
                                 &status, &exception);
                break;
            default:
                exception = MTK_ASSERTION(NS("Unknown regexOp code."));
                break;
        }
    }
    mtk_freeScratch(&mtk_scratchBuffers);
    lock.unlock();

    if (!exception && U_FAILURE(status)) exception = mtk_makeICUException(regex, options, status);
    if (exception) replaced = -1;
    if (countResult) *countResult = replaced;
    mtk_raiseRecorded(self, selector, exception);

    if (inPlace && replaced > 0 && result) {
        static_cast<NSMutableString*>(subject)->replaceCharactersInRange(
            *range, static_cast<NSString*>(result.get()));
    }
    if (!result && status < U_ZERO_ERROR && error) {
        int flags = kMTKErrorRangeFlag | (op == kMTKReplaceOp ? kMTKErrorCountFlag : 0);
        *error = mtk_makeNSError(flags, regex, options, nullptr, status, subject, *range, replaced,
                                 op == kMTKReplaceOp ? replacement : nullptr, nullptr, 0,
                                 NS("The ICU library returned an unexpected error."));
    }
    return result;
}

// ---- pattern lists --------------------------------------------------------------------------

MTKRegexList::MTKRegexList(std::initializer_list<Item> items, MTKRegexOptions options)
    : options_(options) {
    for (const Item& item : items) {
        regexes_.emplace_back(item.regex);
        captures_.push_back(item.capture);
        hasNilRegex_ |= item.regex == nullptr;
    }
    entries_.assign(regexes_.size(), nullptr);
}

void MTKRegexList::rangesInRange(NSString* subject, NSRange range, NSRange* ranges) {
    static const char* const kSelector = "rangeOfRegex:options:inRange:capture:error:";
    const size_t n = regexes_.size();
    // Raised before anything else, in the order the patterns stand.
    if (!subject || hasNilRegex_) {
        for (size_t i = 0; i < n; ++i)
            mtk_requireRegexAndSubject(subject, kSelector, regexes_[i].get(), subject);
    }
    for (size_t i = 0; i < n; ++i)
        ranges[i] = kMTKNotFoundRange;
    Ref<NSObject> exception;
    UErrorCode status = U_ZERO_ERROR;
    NSString* failed = nullptr;

    MTKLockSection lock;
    lock.lock();
    // Read once for every pattern: nothing changes the subject while the lock is held.
    const MTKSubjectFacts facts = mtk_subjectFacts(subject);
    const NSUInteger length = facts.length;
    if (range.length == NSUIntegerMax && range.location <= length)
        range.length = length - range.location;
    exception = subjectRangeException(range, length);
    for (size_t i = 0; i < n && !exception; ++i) {
        NSString* regex = regexes_[i].get();
        MTKCachedRegex* e = entries_[i];
        // The entry still holds this very pattern object (the list keeps it alive, so its
        // address names it): the cache's own lookup would answer the same entry, and its
        // capture number was checked when it was found.
        if (!e || e->regexString != regex || e->options != options_ || !e->icu_regex) {
            entries_[i] = nullptr;
            e = mtk_findOrCompileCachedRegex(regex, options_, nullptr, &exception);
            if (!e) continue;  // does not compile: not found, as without an error pointer
            exception = captureException(e, kMTKRangeOp, captures_[i], 0, nullptr, nullptr);
            if (exception) break;
            entries_[i] = e;
        }
        // The direct matcher reads units the subject keeps in place: the entry need not be
        // bound to the subject at all, and nothing of ICU's state is used or changed.
        if (e->simple && facts.direct) {
            ranges[i] = mtk_simpleFirstMatch(e->simple, facts.direct, range,
                                             static_cast<int32_t>(captures_[i]));
            continue;
        }
        if (!mtk_bindSubject(e, subject, facts, range, &exception, &status)) break;
        firstMatchRange(e, range, captures_[i], &ranges[i], &status);
        if (U_FAILURE(status)) {
            failed = regex;
            break;
        }
    }
    mtk_freeScratch(&mtk_scratchBuffers);
    lock.unlock();

    if (!exception && U_FAILURE(status)) exception = mtk_makeICUException(failed, options_, status);
    mtk_raiseRecorded(subject, kSelector, exception);
}
