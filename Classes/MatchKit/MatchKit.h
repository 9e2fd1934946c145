// Regular expressions over ICU for the platform's strings: match, capture, split, collect,
// replace, keyed captures and block walks, with a process-wide cache of compiled patterns.
//
// The operations are free functions taking the subject string first (the platform's string
// classes stay free of ICU). Patterns use ICU syntax; the options are ICU's flag bits.
//
// Wrong use (nil arguments, ranges beyond the subject, bad capture numbers) raises an
// exception; a pattern that does not compile answers an empty result and, when asked, an
// NSError of MTKICURegexErrorDomain whose code is the ICU status.
#pragma once

#include <cstdint>
#include <functional>
#include <initializer_list>

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSError;
class NSMutableString;
class NSNotification;
class NSString;

// ---- options --------------------------------------------------------------------------------

// ICU's pattern flags, passed to ICU unchanged.
using MTKRegexOptions = uint32_t;
enum : MTKRegexOptions {
    MTKRegexNoOptions = 0,
    MTKRegexCaseless = 2,
    MTKRegexComments = 4,
    MTKRegexMultiline = 8,
    MTKRegexDotAll = 32,
    MTKRegexUnicodeWordBoundaries = 256,
};

using MTKRegexEnumerationOptions = uint32_t;
enum : MTKRegexEnumerationOptions {
    MTKRegexEnumerationNoOptions = 0,
    // The block wants no strings: it receives a null string array and none are made.
    MTKRegexEnumerationNoCapturedStrings = 0x200,
    // Replacement only: the block hands over a string it owns. Ownership is carried by the
    // returned Ref here, so the flag is accepted and checked but changes nothing.
    MTKRegexEnumerationReplacementStringOwned = 0x400,
    // The strings are made once and re-pointed at each match's text without copying; they
    // are meant to be read during the block call only.
    MTKRegexEnumerationUncopiedCapturedStrings = 0x800,
};

// ---- names ----------------------------------------------------------------------------------

extern NSString* const MTKICURegexErrorDomain;  // "MTKICURegexErrorDomain"
extern NSString* const MTKICURegexException;    // "MTKICURegexException"

// User-info keys of the layer's errors and exceptions.
extern NSString* const MTKICURegexRegexErrorKey;               // "MTKICURegexRegex"
extern NSString* const MTKICURegexRegexOptionsErrorKey;        // "MTKICURegexRegexOptions"
extern NSString* const MTKICURegexErrorCodeErrorKey;           // "MTKICURegexErrorCode"
extern NSString* const MTKICURegexErrorNameErrorKey;           // "MTKICURegexErrorName"
extern NSString* const MTKICURegexSubjectStringErrorKey;       // "MTKICURegexSubjectString"
extern NSString* const MTKICURegexSubjectRangeErrorKey;        // "MTKICURegexSubjectRange"
extern NSString* const MTKICURegexReplacementStringErrorKey;   // "MTKICURegexReplacementString"
extern NSString* const MTKICURegexReplacedStringErrorKey;      // "MTKICURegexReplacedString"
extern NSString* const MTKICURegexReplacedCountErrorKey;       // "MTKICURegexReplacedCount"
extern NSString* const MTKICURegexEnumerationOptionsErrorKey;  // "MTKICURegexEnumerationOptions"
extern NSString* const MTKICURegexLineErrorKey;                // "MTKICURegexLine"
extern NSString* const MTKICURegexOffsetErrorKey;              // "MTKICURegexOffset"
extern NSString* const MTKICURegexPreContextErrorKey;          // "MTKICURegexPreContext"
extern NSString* const MTKICURegexPostContextErrorKey;         // "MTKICURegexPostContext"

// ---- cache and pattern services ---------------------------------------------------------------

// Empties the compiled-pattern cache and the subject buffers.
void clearStringCache();
// Forgets `subject` (and any string of the same length and hash) as a cached subject, so that
// the next operation on it reads its text afresh.
void flushCachedRegexData(NSString* subject);

// The pattern's number of capture groups, -1 when it does not compile.
NSInteger captureCountForRegex(NSString* regex);
NSInteger captureCountForRegex(NSString* regex, MTKRegexOptions options, Ref<NSError>* error);
// The same with the pattern as the receiver.
NSInteger captureCount(NSString* regex);
NSInteger captureCountWithOptions(NSString* regex, MTKRegexOptions options, Ref<NSError>* error);
bool isRegexValid(NSString* regex);
bool isRegexValidWithOptions(NSString* regex, MTKRegexOptions options, Ref<NSError>* error);

// The observer of the platform's memory warning; it empties the cache, or retries after 0.1 s
// while the cache is busy. Registered with the default center on the cache's first use.
class MTKLowMemoryWarningObserver : public NSObject {
    NS_OBJECT(MTKLowMemoryWarningObserver, NSObject)
    static void describeClass(RuntimeClass& c);
    static void lowMemoryWarning(NSNotification* notification);
};

// ---- string operations ------------------------------------------------------------------------
// Short forms: no options, the whole subject, capture 0, no error. A range length of
// NSUIntegerMax means "to the end of the subject".

Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex);
Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex, NSRange range);
Ref<NSArray> componentsSeparatedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                        NSRange range, Ref<NSError>* error);

// Templates use ICU's syntax: $n inserts group n, a backslash makes the next character literal.
// The result covers the searched range only.
Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement);
Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement, NSRange range);
Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  NSString* replacement, MTKRegexOptions options,
                                                  NSRange range, Ref<NSError>* error);

bool isMatchedByRegex(NSString* subject, NSString* regex);
bool isMatchedByRegex(NSString* subject, NSString* regex, NSRange range);
bool isMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options, NSRange range,
                      Ref<NSError>* error);

// {NSNotFound, 0} when nothing matches or the capture did not participate in the match.
NSRange rangeOfRegex(NSString* subject, NSString* regex);
NSRange rangeOfRegex(NSString* subject, NSString* regex, NSInteger capture);
NSRange rangeOfRegex(NSString* subject, NSString* regex, NSRange range);
NSRange rangeOfRegex(NSString* subject, NSString* regex, MTKRegexOptions options, NSRange range,
                     NSInteger capture, Ref<NSError>* error);

// nil when nothing matches.
Ref<NSString> stringByMatching(NSString* subject, NSString* regex);
Ref<NSString> stringByMatching(NSString* subject, NSString* regex, NSInteger capture);
Ref<NSString> stringByMatching(NSString* subject, NSString* regex, NSRange range);
Ref<NSString> stringByMatching(NSString* subject, NSString* regex, MTKRegexOptions options,
                               NSRange range, NSInteger capture, Ref<NSError>* error);

Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex);
Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, NSInteger capture);
Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, NSRange range);
Ref<NSArray> componentsMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                      NSRange range, NSInteger capture, Ref<NSError>* error);

// The whole first match and each of its groups ("" for a group that did not participate).
Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex);
Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex, NSRange range);
Ref<NSArray> captureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                             MTKRegexOptions options, NSRange range,
                                             Ref<NSError>* error);

// One such array per match.
Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex);
Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                                    NSRange range);
Ref<NSArray> arrayOfCaptureComponentsMatchedByRegex(NSString* subject, NSString* regex,
                                                    MTKRegexOptions options, NSRange range,
                                                    Ref<NSError>* error);

// Keyed captures: {{key, capture}, ...}. The list ends at the first nil key; at most 62 pairs
// are taken. A capture that did not participate in the match leaves its key out.
struct MTKKeyCapture {
    NSString* key;
    NSInteger capture;
};
using MTKKeyCaptureList = std::initializer_list<MTKKeyCapture>;

Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKKeyCaptureList keysAndCaptures);
Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex, NSRange range,
                                            MTKKeyCaptureList keysAndCaptures);
Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKRegexOptions options, NSRange range,
                                            Ref<NSError>* error, MTKKeyCaptureList keysAndCaptures);
// withKeys:forCaptures:count: — two arrays of `count` entries.
Ref<NSDictionary> dictionaryByMatchingRegex(NSString* subject, NSString* regex,
                                            MTKRegexOptions options, NSRange range,
                                            Ref<NSError>* error, NSString* const* keys,
                                            const NSInteger* captures, NSUInteger count);

Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKKeyCaptureList keysAndCaptures);
Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex, NSRange range,
                                                MTKKeyCaptureList keysAndCaptures);
Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKRegexOptions options, NSRange range,
                                                Ref<NSError>* error,
                                                MTKKeyCaptureList keysAndCaptures);
Ref<NSArray> arrayOfDictionariesByMatchingRegex(NSString* subject, NSString* regex,
                                                MTKRegexOptions options, NSRange range,
                                                Ref<NSError>* error, NSString* const* keys,
                                                const NSInteger* captures, NSUInteger count);

// In place: the number of replacements, -1 on an error.
NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement);
NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement, NSRange range);
NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    NSString* replacement, MTKRegexOptions options, NSRange range,
                                    Ref<NSError>* error);

// ---- block walks ------------------------------------------------------------------------------
// The walk runs without the cache lock, on a private clone of the pattern and a private copy of
// the subject, so a block may use every other operation. The block gets the number of captures
// passed (the whole match or segment, then each group), their strings (null with
// MTKRegexEnumerationNoCapturedStrings) and ranges, and a stop flag.

using MTKEnumerationBlock =
    std::function<void(NSInteger captureCount, NSString* const* capturedStrings,
                       const NSRange* capturedRanges, bool* stop)>;
// What the block returns replaces the match; nil removes it.
using MTKReplacementBlock =
    std::function<Ref<NSString>(NSInteger captureCount, NSString* const* capturedStrings,
                                const NSRange* capturedRanges, bool* stop)>;

bool enumerateStringsMatchedByRegex(NSString* subject, NSString* regex,
                                    const MTKEnumerationBlock& block);
bool enumerateStringsMatchedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                    NSRange range, Ref<NSError>* error,
                                    MTKRegexEnumerationOptions enumerationOptions,
                                    const MTKEnumerationBlock& block);

// Each call gets a segment followed by the groups of the match that ended it; the last call gets
// the remaining text. Trailing empty segments are not passed.
bool enumerateStringsSeparatedByRegex(NSString* subject, NSString* regex,
                                      const MTKEnumerationBlock& block);
bool enumerateStringsSeparatedByRegex(NSString* subject, NSString* regex, MTKRegexOptions options,
                                      NSRange range, Ref<NSError>* error,
                                      MTKRegexEnumerationOptions enumerationOptions,
                                      const MTKEnumerationBlock& block);

Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  const MTKReplacementBlock& block);
Ref<NSString> stringByReplacingOccurrencesOfRegex(NSString* subject, NSString* regex,
                                                  MTKRegexOptions options, NSRange range,
                                                  Ref<NSError>* error,
                                                  MTKRegexEnumerationOptions enumerationOptions,
                                                  const MTKReplacementBlock& block);

NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    const MTKReplacementBlock& block);
NSInteger replaceOccurrencesOfRegex(NSMutableString* subject, NSString* regex,
                                    MTKRegexOptions options, NSRange range, Ref<NSError>* error,
                                    MTKRegexEnumerationOptions enumerationOptions,
                                    const MTKReplacementBlock& block);
