// The string operations as callers see them: thin wrappers that fill in the defaults and name
// themselves for the messages, over mtk_performRegexOp.
#include <vector>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"

namespace {

constexpr NSRange kWholeSubject = {0, NSUIntegerMax};
constexpr size_t kMaxKeyPairs = 62;

Ref<NSObject> run(NSString* subject, const char* selector, int op, NSString* regex,
                  MTKRegexOptions options, NSRange range, NSInteger capture, Ref<NSError>* error,
                  NSString* replacement = nullptr, NSInteger* count = nullptr,
                  NSUInteger keyCount = 0, NSString* const* keys = nullptr,
                  const NSInteger* captures = nullptr) {
    return mtk_performRegexOp(subject, selector, op, regex, options, capture, subject, &range,
                              replacement, error, nullptr, count, keyCount, keys, captures);
}

NSRange findRange(NSString* subject, const char* selector, NSString* regex, MTKRegexOptions options,
                  NSRange range, NSInteger capture, Ref<NSError>* error) {
    NSRange found = kMTKNotFoundRange;
    mtk_performRegexOp(subject, selector, kMTKRangeOp, regex, options, capture, subject, &range,
                       nullptr, error, &found, nullptr, 0, nullptr, nullptr);
    return found;
}

Ref<NSString> matching(NSString* subject, const char* selector, NSString* regex,
                       MTKRegexOptions options, NSRange range, NSInteger capture,
                       Ref<NSError>* error) {
    NSRange found = findRange(subject, selector, regex, options, range, capture, error);
    if (found.location == static_cast<NSUInteger>(NSNotFound)) return nullptr;
    return subject->substringWithRange(found);
}

Ref<NSArray> asArray(Ref<NSObject> o) {
    return cast<NSArray>(o);
}

// The key/capture list up to its first nil key, at most 62 pairs.
struct KeyList {
    std::vector<NSString*> keys;
    std::vector<NSInteger> captures;
    explicit KeyList(MTKKeyCaptureList list) {
        for (const MTKKeyCapture& kc : list) {
            if (!kc.key || keys.size() == kMaxKeyPairs) break;
            keys.push_back(kc.key);
            captures.push_back(kc.capture);
        }
    }
    NSUInteger count() const { return static_cast<NSUInteger>(keys.size()); }
    // Never null, so that an empty list is not mistaken for a missing one.
    NSString* const* keyData() const { return keys.empty() ? &kNoKey : keys.data(); }
    const NSInteger* captureData() const {
        return captures.empty() ? &kNoCapture : captures.data();
    }
    static inline NSString* const kNoKey = nullptr;
    static inline const NSInteger kNoCapture = 0;
};

Ref<NSDictionary> keyedFirst(NSString* subject, const char* selector, NSString* regex,
                             MTKRegexOptions options, NSRange range, Ref<NSError>* error,
                             NSUInteger count, NSString* const* keys, const NSInteger* captures) {
    return cast<NSDictionary>(run(subject, selector, kMTKDictionaryOfCapturesOp, regex, options,
                                  range, 0, error, nullptr, nullptr, count, keys, captures));
}

Ref<NSArray> keyedAll(NSString* subject, const char* selector, NSString* regex,
                      MTKRegexOptions options, NSRange range, Ref<NSError>* error, NSUInteger count,
                      NSString* const* keys, const NSInteger* captures) {
    return asArray(run(subject, selector, kMTKArrayOfDictionariesOp, regex, options, range, 0,
                       error, nullptr, nullptr, count, keys, captures));
}

Ref<NSString> replacing(NSString* subject, const char* selector, NSString* regex,
                        NSString* replacement, MTKRegexOptions options, NSRange range,
                        Ref<NSError>* error) {
    NSInteger count = 0;
    return cast<NSString>(run(subject, selector, kMTKReplaceOp, regex, options, range, 0, error,
                              replacement, &count));
}

NSInteger replacingInPlace(NSMutableString* subject, const char* selector, NSString* regex,
                           NSString* replacement, MTKRegexOptions options, NSRange range,
                           Ref<NSError>* error) {
    NSInteger count = -1;
    run(subject, selector, kMTKReplaceOp | kMTKReplaceMutable, regex, options, range, 0, error,
        replacement, &count);
    return count;
}

}  // namespace

// ---- split ----------------------------------------------------------------------------------

Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex) {
    return asArray(run(subject, "componentsSeparatedByRegex:", kMTKSplitOp, regex, 0, kWholeSubject,
                       0, nullptr));
}

Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex, NSRange range) {
    return asArray(run(subject, "componentsSeparatedByRegex:range:", kMTKSplitOp, regex, 0, range,
                       0, nullptr));
}

Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                        NSRange range, Ref<NSError>* error) {
    return asArray(run(subject, "componentsSeparatedByRegex:options:range:error:", kMTKSplitOp,
                       regex, options, range, 0, error));
}

// ---- replace by template ---------------------------------------------------------------------

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement) {
    return replacing(subject, "stringByReplacingOccurrencesOfRegex:withString:", regex, replacement,
                     0, kWholeSubject, nullptr);
}

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement, NSRange range) {
    return replacing(subject, "stringByReplacingOccurrencesOfRegex:withString:range:", regex,
                     replacement, 0, range, nullptr);
}

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement, MTKRegexOptions options,
                                                  NSRange range, Ref<NSError>* error) {
    return replacing(subject,
                     "stringByReplacingOccurrencesOfRegex:withString:options:range:error:", regex,
                     replacement, options, range, error);
}

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement) {
    return replacingInPlace(subject, "replaceOccurrencesOfRegex:withString:", regex, replacement, 0,
                            kWholeSubject, nullptr);
}

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement, NSRange range) {
    return replacingInPlace(subject, "replaceOccurrencesOfRegex:withString:range:", regex,
                            replacement, 0, range, nullptr);
}

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement, MTKRegexOptions options, NSRange range,
                                    Ref<NSError>* error) {
    return replacingInPlace(subject,
                            "replaceOccurrencesOfRegex:withString:options:range:error:", regex,
                            replacement, options, range, error);
}

// ---- first match ------------------------------------------------------------------------------

bool isMatchedByRegex(NSString* subject, NSString* regex) {
    return findRange(subject, "isMatchedByRegex:", regex, 0, kWholeSubject, 0, nullptr).location !=
           static_cast<NSUInteger>(NSNotFound);
}

bool isMatchedByRegex(NSString* subject, NSString* regex, NSRange range) {
    return findRange(subject, "isMatchedByRegex:inRange:", regex, 0, range, 0, nullptr).location !=
           static_cast<NSUInteger>(NSNotFound);
}

bool isMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options, NSRange range,
                      Ref<NSError>* error) {
    return findRange(subject, "isMatchedByRegex:options:inRange:error:", regex, options, range, 0,
                     error)
               .location != static_cast<NSUInteger>(NSNotFound);
}

NSRange rangeOfRegex(NSString* subject, NSString* regex) {
    return findRange(subject, "rangeOfRegex:", regex, 0, kWholeSubject, 0, nullptr);
}

NSRange rangeOfRegex(NSString* subject, NSString* regex, NSInteger capture) {
    return findRange(subject, "rangeOfRegex:capture:", regex, 0, kWholeSubject, capture, nullptr);
}

NSRange rangeOfRegex(NSString* subject, NSString* regex, NSRange range) {
    return findRange(subject, "rangeOfRegex:inRange:", regex, 0, range, 0, nullptr);
}

NSRange rangeOfRegex(NSString* subject, NSString* regex, MTKRegexOptions options, NSRange range,
                     NSInteger capture, Ref<NSError>* error) {
    return findRange(subject, "rangeOfRegex:options:inRange:capture:error:", regex, options, range,
                     capture, error);
}

Ref<NSString> stringByMatching(NSString* subject, NSString* regex) {
    return matching(subject, "stringByMatching:", regex, 0, kWholeSubject, 0, nullptr);
}

Ref<NSString> stringByMatching(NSString* subject, NSString* regex, NSInteger capture) {
    return matching(subject, "stringByMatching:capture:", regex, 0, kWholeSubject, capture,
                    nullptr);
}

Ref<NSString> stringByMatching(NSString* subject, NSString* regex, NSRange range) {
    return matching(subject, "stringByMatching:inRange:", regex, 0, range, 0, nullptr);
}

Ref<NSString> stringByMatching(NSString* subject, NSString* regex, MTKRegexOptions options,
                               NSRange range, NSInteger capture, Ref<NSError>* error) {
    return matching(subject, "stringByMatching:options:inRange:capture:error:", regex, options,
                    range, capture, error);
}

// ---- collections of captures ------------------------------------------------------------------

Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex) {
    return asArray(run(subject, "componentsMatchedByRegex:", kMTKArrayOfStringsOp, regex, 0,
                       kWholeSubject, 0, nullptr));
}

Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, NSInteger capture) {
    return asArray(run(subject, "componentsMatchedByRegex:capture:", kMTKArrayOfStringsOp, regex, 0,
                       kWholeSubject, capture, nullptr));
}

Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, NSRange range) {
    return asArray(run(subject, "componentsMatchedByRegex:range:", kMTKArrayOfStringsOp, regex, 0,
                       range, 0, nullptr));
}

Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                      NSRange range, NSInteger capture, Ref<NSError>* error) {
    return asArray(run(subject, "componentsMatchedByRegex:options:range:capture:error:",
                       kMTKArrayOfStringsOp, regex, options, range, capture, error));
}

Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex) {
    return asArray(run(subject, "captureComponentsMatchedByRegex:", kMTKCapturesArrayOp, regex, 0,
                       kWholeSubject, 0, nullptr));
}

Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex, NSRange range) {
    return asArray(run(subject, "captureComponentsMatchedByRegex:range:", kMTKCapturesArrayOp,
                       regex, 0, range, 0, nullptr));
}

Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                             MTKRegexOptions options, NSRange range,
                                             Ref<NSError>* error) {
    return asArray(run(subject, "captureComponentsMatchedByRegex:options:range:error:",
                       kMTKCapturesArrayOp, regex, options, range, 0, error));
}

Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex) {
    return asArray(run(subject, "arrayOfCaptureComponentsMatchedByRegex:",
                       kMTKArrayOfCapturesOp | kMTKSubcapturesArray, regex, 0, kWholeSubject, 0,
                       nullptr));
}

Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                                    NSRange range) {
    return asArray(run(subject, "arrayOfCaptureComponentsMatchedByRegex:range:",
                       kMTKArrayOfCapturesOp | kMTKSubcapturesArray, regex, 0, range, 0, nullptr));
}

Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                                    MTKRegexOptions options, NSRange range,
                                                    Ref<NSError>* error) {
    return asArray(run(subject, "arrayOfCaptureComponentsMatchedByRegex:options:range:error:",
                       kMTKArrayOfCapturesOp | kMTKSubcapturesArray, regex, options, range, 0,
                       error));
}

// ---- keyed captures ---------------------------------------------------------------------------

Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedFirst(subject, "dictionaryByMatchingRegex:withKeysAndCaptures:", regex, 0,
                      kWholeSubject, nullptr, k.count(), k.keyData(), k.captureData());
}

Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex, NSRange range,
                                            MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedFirst(subject, "dictionaryByMatchingRegex:range:withKeysAndCaptures:", regex, 0,
                      range, nullptr, k.count(), k.keyData(), k.captureData());
}

Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKRegexOptions options, NSRange range,
                                            Ref<NSError>* error,
                                            MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedFirst(subject,
                      "dictionaryByMatchingRegex:options:range:error:withKeysAndCaptures:", regex,
                      options, range, error, k.count(), k.keyData(), k.captureData());
}

Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKRegexOptions options, NSRange range,
                                            Ref<NSError>* error, NSString* const* keys,
                                            const NSInteger* captures, NSUInteger count) {
    return keyedFirst(
        subject, "dictionaryByMatchingRegex:options:range:error:withKeys:forCaptures:count:", regex,
        options, range, error, count, keys, captures);
}

Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedAll(subject, "arrayOfDictionariesByMatchingRegex:withKeysAndCaptures:", regex, 0,
                    kWholeSubject, nullptr, k.count(), k.keyData(), k.captureData());
}

Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex, NSRange range,
                                                MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedAll(subject, "arrayOfDictionariesByMatchingRegex:range:withKeysAndCaptures:", regex,
                    0, range, nullptr, k.count(), k.keyData(), k.captureData());
}

Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKRegexOptions options, NSRange range,
                                                Ref<NSError>* error,
                                                MTKKeyCaptureList keysAndCaptures) {
    KeyList k(keysAndCaptures);
    return keyedAll(subject,
                    "arrayOfDictionariesByMatchingRegex:options:range:error:withKeysAndCaptures:",
                    regex, options, range, error, k.count(), k.keyData(), k.captureData());
}

Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKRegexOptions options, NSRange range,
                                                Ref<NSError>* error, NSString* const* keys,
                                                const NSInteger* captures, NSUInteger count) {
    return keyedAll(
        subject,
        "arrayOfDictionariesByMatchingRegex:options:range:error:withKeys:forCaptures:count:", regex,
        options, range, error, count, keys, captures);
}
