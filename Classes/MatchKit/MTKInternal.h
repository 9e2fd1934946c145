// The layer's inner workings, shared by its source files and reachable from its tests: the
// compiled-pattern cache and subject buffers, the workers and the error builders.
#pragma once

#include <unicode/uregex.h>

#include <cstddef>
#include <cstdint>

#include "Classes/MatchKit/MatchKit.h"
#include "Foundation/OSAtomic.h"

class NSException;
class NSDictionary;

// ---- cache records --------------------------------------------------------------------------

inline constexpr int kMTKCacheSets = 13;
inline constexpr int kMTKCacheWays = 4;
inline constexpr int kMTKCacheEntries = kMTKCacheSets * kMTKCacheWays;  // 52
inline constexpr int kMTKDirectIndexSlots = 64;
inline constexpr int kMTKBufferSlots = 4;
inline constexpr NSInteger kMTKSmallBufferUnits = 2048;
inline constexpr uint16_t kMTKAgeStart = 0x0137;
// Bytes of stack an operation may use for its buffers before it turns to the heap.
inline constexpr size_t kMTKStackBudget = 0x1ffff;
inline constexpr NSRange kMTKNotFoundRange = {static_cast<NSUInteger>(NSNotFound), 0};
// What an empty subject or template points at, so that ICU never sees a null text.
inline constexpr char16_t kMTKEmptyText[1] = {0};

// One subject buffer slot: the UTF-16 text of a subject that keeps none in place.
struct MTKBuffer {
    NSString* string = nullptr;  // retained
    NSUInteger hash = 0;
    NSInteger length = 0;
    uint64_t mutation = 0;  // the subject's mutation count when its text was copied
    char16_t* uniChar = nullptr;
    size_t capacity = 0;  // units the buffer can hold
};

// The five scratch buffers of an operation, grown on demand and freed at its end.
enum MTKScratchIndex {
    kMTKScratchPattern = 0,
    kMTKScratchTemplate,
    kMTKScratchOutput,
    kMTKScratchRanges,
    kMTKScratchObjects,
    kMTKScratchCount
};
struct MTKScratch {
    void* p[kMTKScratchCount] = {};
    size_t size[kMTKScratchCount] = {};
};
// A buffer of at least `bytes` (contents kept when it grows), or nullptr when memory fails.
void* mtk_growScratch(MTKScratch* scratch, int index, size_t bytes);
void mtk_freeScratch(MTKScratch* scratch);
// The scratch buffers of the operations that run under the cache lock.
extern MTKScratch mtk_scratchBuffers;

// A pattern simple enough to be matched without ICU (see MTKSimplePattern.cpp).
struct MTKSimplePattern;
// The direct matcher for the pattern, or nullptr when ICU must match it. `captureCount` is
// ICU's count for the pattern; a disagreement leaves the pattern to ICU.
MTKSimplePattern* mtk_compileSimplePattern(NSString* regex, MTKRegexOptions options,
                                           int32_t captureCount);
void mtk_freeSimplePattern(MTKSimplePattern* pattern);
// The range of group `group` (0: the whole match, up to the pattern's capture count) of the
// first match in `range` of the units `s`, in subject positions, searching from the range's
// start as ICU's find does; {NSNotFound, 0} when nothing matches. Every group of a match takes
// part in it.
NSRange mtk_simpleFirstMatch(const MTKSimplePattern* pattern, const char16_t* s, NSRange range,
                             int32_t group);

// One compiled pattern and the subject it is bound to. Strings are held by hand (retain and
// release) so that the static cache needs no destructors at exit.
struct MTKCachedRegex {
    NSString* regexString = nullptr;  // retained immutable copy of the pattern
    NSUInteger regexHash = 0;
    MTKRegexOptions options = 0;
    URegularExpression* icu_regex = nullptr;
    int32_t captureCount = -1;
    // Set when the pattern needs no ICU to find its first match.
    MTKSimplePattern* simple = nullptr;
    NSString* setToString = nullptr;  // retained
    NSUInteger setToHash = 0;
    // A subject whose class reports its changes is hashed only when its hash is asked for.
    bool setToHashKnown = false;
    int32_t setToLength = 0;
    // The subject's mutation count at binding: a mutable string edited in place to the same
    // length and hash must not be matched against the text seen before.
    uint64_t setToMutation = 0;
    bool setToIsImmutable = false;
    bool setToNeedsConversion = false;
    const char16_t* setToUniChar = nullptr;
    NSRange setToRange = kMTKNotFoundRange;
    NSRange lastFindRange = kMTKNotFoundRange;
    NSRange lastMatchRange = kMTKNotFoundRange;
    MTKBuffer* buffer = nullptr;
    // ICU is handed the bound text only when it is about to search it: a binding that the
    // direct matcher serves never costs ICU's text set-up.
    bool icuTextPending = false;
};

// Under the lock: gives ICU the bound text if a binding has not done so yet. Every use of the
// entry's ICU regex goes through it.
bool mtk_prepareICUText(MTKCachedRegex* entry, UErrorCode* status);

// The one lock over the cache, the buffers and the global scratch buffers.
extern volatile OSSpinLock mtk_cacheSpinLock;
// Called whenever a locked section was left without unlocking; counts its calls.
void mtk_debugCacheSpinLock();
uint64_t mtk_debugCacheSpinLockCount();

// Takes and releases the cache lock, recording both; leaving the scope with the lock still
// recorded as held (an exception passing through) runs the check that forcibly unlocks.
class MTKLockSection {
public:
    MTKLockSection() = default;
    MTKLockSection(const MTKLockSection&) = delete;
    MTKLockSection& operator=(const MTKLockSection&) = delete;
    ~MTKLockSection();
    void lock();
    void unlock();
    bool held() const { return (state_ & 3) == 1; }

private:
    unsigned state_ = 0;  // bit 0: taken, bit 1: released
};

// Registers the memory-warning observer on first use (an atomic flag makes it once).
void mtk_registerLowMemoryObserver();

// Under the lock. The entry for the pattern and options, compiled on a miss; nullptr when it
// does not compile (*error set when asked). An exception to raise after unlocking is handed
// back through *exception.
MTKCachedRegex* mtk_findOrCompileCachedRegex(NSString* regex, MTKRegexOptions options,
                                             Ref<NSError>* error, Ref<NSObject>* exception);

// Under the lock. Binds the entry to the subject and the range (a length of NSUIntegerMax is
// taken as "to the end"); false, with an assertion record in *exception, when the subject's text
// could not be set up. The range must lie inside the subject.
bool mtk_getCachedRegexSetToString(MTKCachedRegex* entry, NSString* subject, NSRange range,
                                   Ref<NSObject>* exception, UErrorCode* status);
// What binding reads of a subject: read once when one subject is bound to several entries under
// one taking of the lock (nothing can change the subject meanwhile).
struct MTKSubjectFacts {
    NSUInteger length = 0;
    uint64_t mutation = 0;
    bool trusted = false;              // see mtk_subjectReportsMutations
    const char16_t* direct = nullptr;  // the subject's charactersPtr()
};
MTKSubjectFacts mtk_subjectFacts(NSString* subject);
// mtk_getCachedRegexSetToString with the subject's facts already read.
bool mtk_bindSubject(MTKCachedRegex* entry, NSString* subject, const MTKSubjectFacts& facts,
                     NSRange range, Ref<NSObject>* exception, UErrorCode* status);

// Resets an entry (closes its regex, releases its pattern and subject).
void mtk_resetCachedRegex(MTKCachedRegex* entry);
// Forgets an entry's subject.
void mtk_detachSubject(MTKCachedRegex* entry);
// Releases, without freeing, every buffer slot of the subject's size class holding it.
void mtk_releaseBuffersFor(NSString* subject, NSUInteger hash, NSInteger length);
// Under the lock: empties everything.
void mtk_flushAll();

// The age matrix of a 4-way set.
uint16_t mtk_touchAge(uint16_t age, int way);
int mtk_victimWay(uint16_t age);

// Whether the subject's text can never change or its class reports every change through
// mutationCount, so that identity, length and mutation count prove its text unchanged without
// hashing it.
bool mtk_subjectReportsMutations(NSString* subject);

// ---- finding ------------------------------------------------------------------------------

// The next match inside *searchRange on the bound entry (subject positions), or
// {NSNotFound, 0}. In advancing mode *searchRange then starts after the match.
NSRange mtk_findNextMatch(MTKCachedRegex* entry, NSRange* searchRange, bool advance,
                          UErrorCode* status);

// The range of a capture group (0: the whole match) of the entry's current match, in subject
// positions; {NSNotFound, 0} for a group that took no part.
NSRange mtk_groupRange(MTKCachedRegex* entry, int32_t group, UErrorCode* status);

// The work record of a find-all run.
struct MTKFindAll {
    NSRange* ranges = nullptr;
    NSRange searchRange{};
    NSRange findInRange{};
    NSUInteger capacity = 0;  // in ranges
    NSUInteger found = 0;     // ranges recorded
    NSUInteger matches = 0;   // matches recorded
    NSUInteger findUpTo = 0;  // matches wanted; NSUIntegerMax: all
    NSInteger capture = 0;    // operation 4
    size_t stackUsed = 0;     // bytes of the stack budget in use
    NSUInteger rangesHandedOn = 0;
    NSUInteger previousEnd = 0;  // operation 1: where the next segment starts
    MTKScratch* scratch = nullptr;
    NSInteger lastLength = 0;  // subject length, for the growth prediction
};

// Operations 1 and 4 to 8. False when the run failed (an ICU error or no memory).
bool mtk_findRanges(MTKCachedRegex* entry, int regexOp, MTKFindAll* findAll, UErrorCode* status,
                    Ref<NSObject>* exception);

// ---- the workers ----------------------------------------------------------------------------

enum MTKRegexOp : int {
    kMTKSplitOp = 1,
    kMTKReplaceOp = 2,
    kMTKRangeOp = 3,
    kMTKArrayOfStringsOp = 4,
    kMTKArrayOfCapturesOp = 5,
    kMTKCapturesArrayOp = 6,
    kMTKDictionaryOfCapturesOp = 7,
    kMTKArrayOfDictionariesOp = 8,
    kMTKMaskOp = 0xf,
    kMTKReplaceMutable = 16,
    kMTKSubcapturesArray = 32,
};

// The worker under every string operation. `self` and `selector` name the calling method in
// messages (pass the class object for class methods). `range` is read and written; for
// operation 3 *rangeResult receives the range, for operation 2 *countResult the count.
Ref<NSObject> mtk_performRegexOp(NSObject* self, const char* selector, int regexOp, NSString* regex,
                                 MTKRegexOptions options, NSInteger capture, NSString* subject,
                                 NSRange* range, NSString* replacement, Ref<NSError>* error,
                                 NSRange* rangeResult, NSInteger* countResult, NSUInteger keyCount,
                                 NSString* const* keys, const NSInteger* captures);

enum MTKBlockEnumerationOp : int {
    kMTKBlockEnumerationMatchOp = 1,
    kMTKBlockEnumerationReplaceOp = 2,
};

// The block walk. Operation 6 walks matches, 1 segments. For replacing, answers the new string
// (and the count through *replacedCount); for enumerating, answers a non-nil marker on success.
Ref<NSObject> mtk_performEnumerationUsingBlock(
    NSObject* self, const char* selector, int regexOp, NSString* regex, MTKRegexOptions options,
    NSString* subject, NSRange range, int blockEnumerationOp,
    MTKRegexEnumerationOptions enumerationOptions, NSInteger* replacedCount, Ref<NSError>* error,
    const MTKEnumerationBlock* enumerationBlock, const MTKReplacementBlock* replacementBlock);

// ---- reports --------------------------------------------------------------------------------

// "*** %c[%@ %@]: %@"
Ref<NSString> mtk_makeReason(NSObject* self, const char* selector, NSString* message);
Ref<NSException> mtk_makeICUException(NSString* regex, MTKRegexOptions options, int32_t status);

enum : int {
    kMTKErrorRangeFlag = 1,
    kMTKErrorCountFlag = 2,
    kMTKErrorEnumerationOptionsFlag = 4,
};
// The layer's NSError. `parseError` may be null; `extra` holds key/value pairs (up to the first
// nil).
Ref<NSError> mtk_makeNSError(int flags, NSString* regex, MTKRegexOptions options,
                             const UParseError* parseError, int32_t status, NSString* subject,
                             NSRange range, NSInteger count, NSString* replacement,
                             NSString* replaced, MTKRegexEnumerationOptions enumerationOptions,
                             NSString* description, std::initializer_list<NSObject*> extra = {});
// An assertion record: description, function, file, line, exceptionName.
Ref<NSDictionary> mtk_makeAssertion(const char* function, long line, NSString* description);
// Raises what a worker recorded: an assertion through the assertion handler, an exception
// anew with its reason passed through mtk_makeReason. Does nothing for nil.
void mtk_raiseRecorded(NSObject* self, const char* selector, NSObject* recorded);
// Raises an argument error at once.
[[noreturn]] void mtk_raiseArgument(NSObject* self, const char* selector, NSString* name,
                                    NSString* message);
// The checks every worker makes first: raises for a nil pattern or a nil subject.
void mtk_requireRegexAndSubject(NSObject* self, const char* selector, NSString* regex,
                                NSString* subject);

#define MTK_ASSERTION(description) mtk_makeAssertion(__PRETTY_FUNCTION__, __LINE__, description)

// ---- test aids ------------------------------------------------------------------------------

// The entry number (0-51) caching the pattern text with these options, or -1.
int mtk_cacheEntryNumberFor(NSString* regex, MTKRegexOptions options);
// The set a pattern falls in.
int mtk_cacheSetFor(NSString* regex, MTKRegexOptions options);
uint16_t mtk_cacheAgeWord(int set);
int mtk_cacheLastHitEntry();  // -1 when none
int mtk_cacheDirectIndexSlot(int slot);
int mtk_cacheDirectIndexSlotFor(NSString* regex, MTKRegexOptions options);
// Counters since start: patterns compiled, subject texts copied into buffers, cache lookups
// answered by the last hit, by the direct index and by the set search.
struct MTKCacheCounters {
    uint64_t compiles = 0;
    uint64_t bufferFills = 0;
    uint64_t lastHits = 0;
    uint64_t indexHits = 0;
    uint64_t setHits = 0;
};
MTKCacheCounters mtk_cacheCounters();
