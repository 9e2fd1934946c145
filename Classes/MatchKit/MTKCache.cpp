// The compiled-pattern cache (52 entries as 13 sets of 4 ways, with a last-hit pointer and a
// direct index in front), the subject buffer caches and the lock over all of it. The same few
// patterns run again and again over the same page text, so a repeat must cost almost nothing.
#include <unicode/ustring.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <typeinfo>

#include "Classes/MatchKit/MTKInternal.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

volatile OSSpinLock mtk_cacheSpinLock = OS_SPINLOCK_INIT;
MTKScratch mtk_scratchBuffers;

namespace {

// The observer is registered under this name; MatchKit does not link the toolkit that defines
// the constant, and the name is all the notification center compares.
const char16_t kMemoryWarningName[] = u"UIApplicationDidReceiveMemoryWarningNotification";

MTKCachedRegex gCache[kMTKCacheEntries];
MTKCachedRegex* gLastHit = nullptr;
uint8_t gDirectIndex[kMTKDirectIndexSlots];
uint16_t gAge[kMTKCacheSets] = {kMTKAgeStart, kMTKAgeStart, kMTKAgeStart, kMTKAgeStart,
                                kMTKAgeStart, kMTKAgeStart, kMTKAgeStart, kMTKAgeStart,
                                kMTKAgeStart, kMTKAgeStart, kMTKAgeStart, kMTKAgeStart,
                                kMTKAgeStart};

// Subject buffers: the small class owns fixed buffers that are never freed, so short subjects
// never touch the heap; the large class grows its buffers and frees them on a flush.
MTKBuffer gSmall[kMTKBufferSlots];
MTKBuffer gLarge[kMTKBufferSlots];
uint16_t gSmallAge = kMTKAgeStart;
uint16_t gLargeAge = kMTKAgeStart;
char16_t gSmallStorage[kMTKBufferSlots][kMTKSmallBufferUnits];

MTKCacheCounters gCounters;
std::atomic<uint64_t> gDebugHookCalls{0};
volatile int32_t gObserverRegistered = 0;
std::atomic<bool> gLoggedStillLocked{false};
std::atomic<bool> gLoggedNotLocked{false};

int entryNumber(MTKCachedRegex* e) {
    return static_cast<int>(e - gCache);
}

uint32_t setOf(NSUInteger hash, MTKRegexOptions options) {
    return (hash ^ options) % kMTKCacheSets;
}

uint32_t directSlotOf(NSString* regex, MTKRegexOptions options) {
    uint32_t address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(regex) >> 4);
    return ((options >> 4) + options + address) & (kMTKDirectIndexSlots - 1);
}

bool entryMatches(MTKCachedRegex* e, NSString* regex, MTKRegexOptions options) {
    if (e->options != options || !e->icu_regex) return false;
    return e->regexString == regex || (e->regexString && e->regexString->isEqualToString(regex));
}

void retainString(NSString* s) {
    if (s) s->retain();
}
void releaseString(NSString*& s) {
    NSString* old = s;
    s = nullptr;
    if (old) old->release();
}

// Makes the entry the one answered last and most recently used.
void noteUse(MTKCachedRegex* e, NSString* regex) {
    gLastHit = e;
    gDirectIndex[directSlotOf(regex, e->options)] = static_cast<uint8_t>(entryNumber(e));
    uint32_t set = setOf(e->regexHash, e->options);
    gAge[set] = mtk_touchAge(gAge[set], entryNumber(e) % kMTKCacheWays);
}

bool bufferHolds(MTKBuffer* b, NSString* s, NSUInteger hash, NSInteger length, uint64_t mutation) {
    return b->string == s && b->hash == hash && b->length == length && b->mutation == mutation;
}

void releaseBuffer(MTKBuffer* b) {
    releaseString(b->string);
    b->hash = 0;
    b->length = 0;
    b->mutation = 0;
}

void lockCheckFailed() {
    if (mtk_cacheSpinLock != 0) {
        if (!gLoggedStillLocked.exchange(true)) {
            NSLog(
                NS("[MatchKit] Unusual condition detected: Recorded that mtk_cacheSpinLock was "
                   "locked, but for some reason it was not unlocked.  Forcibly unlocking "
                   "mtk_cacheSpinLock. Set a breakpoint at mtk_debugCacheSpinLock to debug. This "
                   "warning is only printed once."));
        }
        mtk_debugCacheSpinLock();
        OSSpinLockUnlock(&mtk_cacheSpinLock);
    } else {
        if (!gLoggedNotLocked.exchange(true)) {
            NSLog(
                NS("[MatchKit] Unusual condition detected: Recorded that mtk_cacheSpinLock was "
                   "locked, but for some reason it was not unlocked, yet mtk_cacheSpinLock is "
                   "currently not locked? Set a breakpoint at mtk_debugCacheSpinLock to debug. "
                   "This warning is only printed once."));
        }
        mtk_debugCacheSpinLock();
    }
}

}  // namespace

// ---- scratch buffers ----------------------------------------------------------------------

void* mtk_growScratch(MTKScratch* scratch, int index, size_t bytes) {
    if (scratch->size[index] >= bytes) return scratch->p[index];
    void* p = std::realloc(scratch->p[index], bytes);
    if (!p) return nullptr;
    scratch->p[index] = p;
    scratch->size[index] = bytes;
    return p;
}

void mtk_freeScratch(MTKScratch* scratch) {
    for (int i = 0; i < kMTKScratchCount; ++i) {
        if (!scratch->p[i]) continue;  // most operations grow none
        std::free(scratch->p[i]);
        scratch->p[i] = nullptr;
        scratch->size[i] = 0;
    }
}

// ---- the lock -----------------------------------------------------------------------------

void mtk_debugCacheSpinLock() {
    gDebugHookCalls.fetch_add(1);
}

uint64_t mtk_debugCacheSpinLockCount() {
    return gDebugHookCalls.load();
}

void MTKLockSection::lock() {
    mtk_registerLowMemoryObserver();
    OSSpinLockLock(&mtk_cacheSpinLock);
    state_ |= 1;
}

void MTKLockSection::unlock() {
    OSSpinLockUnlock(&mtk_cacheSpinLock);
    state_ |= 2;
}

MTKLockSection::~MTKLockSection() {
    if (!held()) return;
    try {
        lockCheckFailed();
    } catch (...) {
        // Logging must not turn an unwinding exception into a termination.
        OSSpinLockUnlock(&mtk_cacheSpinLock);
    }
}

// ---- the memory warning -------------------------------------------------------------------

void mtk_registerLowMemoryObserver() {
    if (__atomic_load_n(&gObserverRegistered, __ATOMIC_ACQUIRE)) return;
    if (!OSAtomicCompareAndSwap32Barrier(0, 1, &gObserverRegistered)) return;
    NSNotificationCenter::defaultCenter()->addObserver(
        MTKLowMemoryWarningObserver::staticClass(), Selector::named("lowMemoryWarning:"),
        NSString::literal(kMemoryWarningName, std::size(kMemoryWarningName) - 1), nullptr);
}

void MTKLowMemoryWarningObserver::describeClass(RuntimeClass& c) {
    c.classMethod("lowMemoryWarning:", &MTKLowMemoryWarningObserver::lowMemoryWarning);
}

void MTKLowMemoryWarningObserver::lowMemoryWarning(NSNotification* notification) {
    // Never wait on the main thread: a busy cache is flushed a little later instead.
    if (OSSpinLockTry(&mtk_cacheSpinLock)) {
        mtk_flushAll();
        OSSpinLockUnlock(&mtk_cacheSpinLock);
        return;
    }
    staticClass()->performSelector(Selector::named("lowMemoryWarning:"), notification, 0.1);
}

// ---- age matrix ---------------------------------------------------------------------------

uint16_t mtk_touchAge(uint16_t age, int way) {
    unsigned a = age;
    a = (a | (0xFu << (4 * way))) & ~(0x1111u << (3 - way));
    return static_cast<uint16_t>(a);
}

int mtk_victimWay(uint16_t age) {
    for (int w = kMTKCacheWays - 1; w >= 0; --w) {
        if (((age >> (4 * w)) & 0xF) == 0) return w;
    }
    return kMTKCacheWays - 1;
}

// ---- entries ------------------------------------------------------------------------------

void mtk_detachSubject(MTKCachedRegex* e) {
    // ICU is pointed at the empty text before it is next used, not now: most detaches are
    // followed at once by a new binding.
    e->icuTextPending = e->icu_regex != nullptr;
    releaseString(e->setToString);
    e->setToRange = kMTKNotFoundRange;
    e->lastFindRange = kMTKNotFoundRange;
    e->lastMatchRange = kMTKNotFoundRange;
    e->setToIsImmutable = false;
    e->setToNeedsConversion = false;
    e->setToUniChar = nullptr;
    e->setToHash = 0;
    e->setToHashKnown = false;
    e->setToLength = 0;
    e->setToMutation = 0;
    e->buffer = nullptr;
}

void mtk_resetCachedRegex(MTKCachedRegex* e) {
    mtk_detachSubject(e);
    if (gLastHit == e) gLastHit = nullptr;
    if (e->icu_regex) uregex_close(e->icu_regex);
    e->icu_regex = nullptr;
    e->icuTextPending = false;
    mtk_freeSimplePattern(e->simple);
    e->simple = nullptr;
    e->captureCount = -1;
    releaseString(e->regexString);
    e->regexHash = 0;
    e->options = 0;
}

void mtk_releaseBuffersFor(NSString* subject, NSUInteger hash, NSInteger length) {
    for (MTKBuffer* cls : {gSmall, gLarge}) {
        for (int i = 0; i < kMTKBufferSlots; ++i) {
            MTKBuffer* b = &cls[i];
            if (b->string && (b->string == subject || (b->length == length && b->hash == hash)))
                releaseBuffer(b);
        }
    }
}

void mtk_flushAll() {
    gLastHit = nullptr;
    mtk_freeScratch(&mtk_scratchBuffers);
    for (auto& e : gCache)
        mtk_resetCachedRegex(&e);
    for (auto& b : gSmall)
        releaseBuffer(&b);
    for (auto& b : gLarge) {
        releaseBuffer(&b);
        std::free(b.uniChar);
        b.uniChar = nullptr;
        b.capacity = 0;
    }
}

bool mtk_subjectReportsMutations(NSString* subject) {
    // Text that can never change (compact strings included) needs no reports.
    if (subject->hasFixedText()) return true;
    const std::type_info& t = typeid(*subject);
    return t == typeid(NSString) || t == typeid(NSMutableString);
}

MTKCachedRegex* mtk_findOrCompileCachedRegex(NSString* regex, MTKRegexOptions options,
                                             Ref<NSError>* error, Ref<NSObject>* exception) {
    // 1. The same pattern object as last time.
    if (gLastHit && gLastHit->regexString == regex && gLastHit->options == options &&
        gLastHit->icu_regex) {
        ++gCounters.lastHits;
        return gLastHit;
    }
    gLastHit = nullptr;

    // 2. The direct index, by the pattern's address.
    MTKCachedRegex* hit = nullptr;
    MTKCachedRegex* indexed = &gCache[gDirectIndex[directSlotOf(regex, options)]];
    if (entryMatches(indexed, regex, options)) {
        hit = indexed;
        ++gCounters.indexHits;
    }

    // 3. The set search, by the pattern's hash.
    NSUInteger hash = 0;
    uint32_t set = 0;
    if (!hit) {
        hash = regex->hash();
        set = setOf(hash, options);
        for (int w = kMTKCacheWays - 1; w >= 0; --w) {
            MTKCachedRegex* e = &gCache[set * kMTKCacheWays + w];
            if (e->regexHash == hash && entryMatches(e, regex, options)) {
                hit = e;
                ++gCounters.setHits;
                break;
            }
        }
    }
    if (hit) {
        noteUse(hit, regex);
        return hit;
    }

    // A miss: the set's oldest way is compiled afresh.
    MTKCachedRegex* e = &gCache[set * kMTKCacheWays + mtk_victimWay(gAge[set])];
    mtk_resetCachedRegex(e);
    Ref<NSString> copy = regex->copy();
    e->regexString = copy.get();
    retainString(e->regexString);
    e->regexHash = hash;
    e->options = options;
    UParseError parseError;
    std::memset(&parseError, 0, sizeof parseError);

    NSUInteger length = copy->length();
    if (length >= static_cast<NSUInteger>(INT32_MAX)) {
        mtk_resetCachedRegex(e);
        *exception = NSException::exceptionWithName(
            NSRangeException, NS("Regex string length exceeds INT_MAX"), nullptr);
        return nullptr;
    }
    // An immutable copy keeps its units in place; a pattern class that does not gets them
    // copied out.
    const char16_t* chars = copy->charactersPtr();
    if (!chars) {
        auto* buf = static_cast<char16_t*>(
            mtk_growScratch(&mtk_scratchBuffers, kMTKScratchPattern, (length + 1) * 2));
        if (!buf) {
            mtk_resetCachedRegex(e);
            *exception = MTK_ASSERTION(NS("Failed to set up UTF16 buffer."));
            return nullptr;
        }
        if (length) copy->getCharacters(buf, NSMakeRange(0, length));
        chars = buf;
    }

    UErrorCode status = U_ZERO_ERROR;
    ++gCounters.compiles;
    e->icu_regex = uregex_open(chars, static_cast<int32_t>(length), options, &parseError, &status);
    if (e->icu_regex && U_SUCCESS(status)) {
        e->captureCount = uregex_groupCount(e->icu_regex, &status);
        if (U_SUCCESS(status)) {
            e->simple = mtk_compileSimplePattern(e->regexString, options, e->captureCount);
            noteUse(e, regex);
        }
    }
    if (U_FAILURE(status)) {
        mtk_resetCachedRegex(e);
        gLastHit = nullptr;
        if (error) {
            *error = mtk_makeNSError(0, regex, options, &parseError, status, nullptr, NSRange{}, 0,
                                     nullptr, nullptr, 0,
                                     NS("There was an error compiling the regular expression."));
        }
        return nullptr;
    }
    return e;
}

// ---- binding a subject ----------------------------------------------------------------------

MTKSubjectFacts mtk_subjectFacts(NSString* subject) {
    MTKSubjectFacts facts;
    facts.length = subject->length();
    facts.mutation = subject->mutationCount();
    facts.trusted = mtk_subjectReportsMutations(subject);
    facts.direct = subject->charactersPtr();
    return facts;
}

bool mtk_getCachedRegexSetToString(MTKCachedRegex* e, NSString* subject, NSRange range,
                                   Ref<NSObject>* exception, UErrorCode* status) {
    return mtk_bindSubject(e, subject, mtk_subjectFacts(subject), range, exception, status);
}

bool mtk_bindSubject(MTKCachedRegex* e, NSString* subject, const MTKSubjectFacts& facts,
                     NSRange range, Ref<NSObject>* exception, UErrorCode* status) {
    const NSUInteger length = facts.length;
    if (range.length == NSUIntegerMax && range.location <= length)
        range.length = length - range.location;
    if (uint64_t(range.location) + range.length > length) return false;

    const uint64_t mutation = facts.mutation;
    const bool trusted = facts.trusted;
    // Identity, length and mutation count prove a mutation-reporting string unchanged; any
    // other class is checked by its hash as well.
    bool keep = e->setToString == subject && e->setToLength == static_cast<int32_t>(length) &&
                e->setToMutation == mutation && (trusted || e->setToHash == subject->hash());
    const char16_t* direct = facts.direct;
    if (!keep) {
        mtk_detachSubject(e);
        retainString(subject);
        e->setToString = subject;
        e->setToIsImmutable = false;
        e->setToNeedsConversion = direct == nullptr;
        // Hashing reads the whole text; a string matched in place and known by its mutation
        // count is hashed only if a flush asks.
        e->setToHashKnown = !(trusted && direct);
        e->setToHash = e->setToHashKnown ? subject->hash() : 0;
        e->setToLength = static_cast<int32_t>(length);
        e->setToMutation = mutation;
        e->setToRange = kMTKNotFoundRange;
    }

    auto fail = [&](NSString* why) {
        e->buffer = nullptr;
        e->setToUniChar = nullptr;
        e->setToRange = kMTKNotFoundRange;
        e->lastFindRange = kMTKNotFoundRange;
        e->lastMatchRange = kMTKNotFoundRange;
        *exception = MTK_ASSERTION(why);
        return false;
    };

    if (direct) {
        // A string's storage may move when it changes; a new pointer means a new binding.
        if (direct != e->setToUniChar) {
            e->setToUniChar = direct;
            e->setToRange = kMTKNotFoundRange;
        }
        e->buffer = nullptr;
        e->setToNeedsConversion = false;
    } else {
        if (!e->setToHashKnown) {
            e->setToHash = subject->hash();
            e->setToHashKnown = true;
        }
        NSUInteger hash = e->setToHash;
        bool small = static_cast<NSInteger>(length) < kMTKSmallBufferUnits;
        MTKBuffer* cls = small ? gSmall : gLarge;
        uint16_t& age = small ? gSmallAge : gLargeAge;
        MTKBuffer* slot = nullptr;
        bool filled = false;
        if (e->buffer && bufferHolds(e->buffer, subject, hash, length, mutation)) {
            slot = e->buffer;
        } else {
            for (int i = kMTKBufferSlots - 1; i >= 0 && !slot; --i) {
                if (bufferHolds(&cls[i], subject, hash, length, mutation)) slot = &cls[i];
            }
        }
        if (!slot) {
            slot = &cls[mtk_victimWay(age)];
            // The entry must not point at a buffer that is being refilled should copying fail.
            e->buffer = nullptr;
            e->setToUniChar = nullptr;
            e->setToRange = kMTKNotFoundRange;
            releaseBuffer(slot);
            if (small) {
                slot->uniChar = gSmallStorage[slot - gSmall];
                slot->capacity = kMTKSmallBufferUnits;
            } else if (slot->capacity < length) {
                void* grown = std::realloc(slot->uniChar, size_t(length) * 2);
                if (!grown) return fail(NS("Failed to set up UTF16 buffer."));
                slot->uniChar = static_cast<char16_t*>(grown);
                slot->capacity = length;
            }
            if (length) subject->getCharacters(slot->uniChar, NSMakeRange(0, length));
            retainString(subject);
            slot->string = subject;
            slot->hash = hash;
            slot->length = static_cast<NSInteger>(length);
            slot->mutation = mutation;
            filled = true;
            ++gCounters.bufferFills;
        }
        age = mtk_touchAge(age, static_cast<int>(slot - cls));
        e->buffer = slot;
        // A refilled buffer may sit at the same address with other text in it.
        if (filled || slot->uniChar != e->setToUniChar) {
            e->setToUniChar = slot->uniChar;
            e->setToRange = kMTKNotFoundRange;
        }
    }

    if (e->setToRange != range) {
        e->lastFindRange = kMTKNotFoundRange;
        e->lastMatchRange = kMTKNotFoundRange;
        e->setToRange = range;
        e->icuTextPending = true;
    }
    (void)status;
    return true;
}

bool mtk_prepareICUText(MTKCachedRegex* e, UErrorCode* status) {
    if (!e->icuTextPending) return true;
    UErrorCode st = U_ZERO_ERROR;
    const bool bound = e->setToRange.location != kMTKNotFoundRange.location;
    const char16_t* text =
        bound && e->setToUniChar ? e->setToUniChar + e->setToRange.location : kMTKEmptyText;
    int32_t length = bound ? static_cast<int32_t>(e->setToRange.length) : 0;
    uregex_setText(e->icu_regex, text, length, &st);
    if (U_FAILURE(st)) {
        *status = st;
        return false;
    }
    e->icuTextPending = false;
    return true;
}

// ---- cache services -----------------------------------------------------------------------

void clearStringCache() {
    MTKLockSection lock;
    lock.lock();
    mtk_flushAll();
    lock.unlock();
}

void flushCachedRegexData(NSString* subject) {
    if (!subject) return;
    NSInteger length = static_cast<NSInteger>(subject->length());
    NSUInteger hash = subject->hash();
    MTKLockSection lock;
    lock.lock();
    for (auto& e : gCache) {
        if (!e.setToString) continue;
        if (e.setToString != subject && e.setToLength == length && !e.setToHashKnown) {
            e.setToHash = e.setToString->hash();
            e.setToHashKnown = true;
        }
        if (e.setToString == subject || (e.setToLength == length && e.setToHash == hash))
            mtk_detachSubject(&e);
    }
    mtk_releaseBuffersFor(subject, hash, length);
    lock.unlock();
}

namespace {

NSInteger captureCountOf(NSObject* self, const char* selector, NSString* regex,
                         MTKRegexOptions options, Ref<NSError>* error) {
    if (!regex) {
        mtk_raiseArgument(self, selector, NSInvalidArgumentException,
                          NS("The regular expression argument is NULL."));
    }
    Ref<NSObject> exception;
    NSInteger count = -1;
    MTKLockSection lock;
    lock.lock();
    if (MTKCachedRegex* e = mtk_findOrCompileCachedRegex(regex, options, error, &exception))
        count = e->captureCount;
    lock.unlock();
    mtk_raiseRecorded(self, selector, exception);
    return count;
}

}  // namespace

NSInteger captureCountForRegex(NSString* regex) {
    return captureCountOf(NSString::staticClass(), "captureCountForRegex:", regex, 0, nullptr);
}

NSInteger captureCountForRegex(NSString* regex, MTKRegexOptions options, Ref<NSError>* error) {
    return captureCountOf(NSString::staticClass(), "captureCountForRegex:options:error:", regex,
                          options, error);
}

NSInteger captureCount(NSString* regex) {
    return captureCountOf(regex, "captureCount", regex, 0, nullptr);
}

NSInteger captureCountWithOptions(NSString* regex, MTKRegexOptions options, Ref<NSError>* error) {
    return captureCountOf(regex, "captureCountWithOptions:error:", regex, options, error);
}

bool isRegexValid(NSString* regex) {
    return captureCountOf(regex, "isRegexValid", regex, 0, nullptr) >= 0;
}

bool isRegexValidWithOptions(NSString* regex, MTKRegexOptions options, Ref<NSError>* error) {
    return captureCountOf(regex, "isRegexValidWithOptions:error:", regex, options, error) >= 0;
}

// ---- test aids ------------------------------------------------------------------------------

int mtk_cacheEntryNumberFor(NSString* regex, MTKRegexOptions options) {
    int found = -1;
    MTKLockSection lock;
    lock.lock();
    for (auto& e : gCache) {
        if (entryMatches(&e, regex, options)) {
            found = entryNumber(&e);
            break;
        }
    }
    lock.unlock();
    return found;
}

int mtk_cacheSetFor(NSString* regex, MTKRegexOptions options) {
    return static_cast<int>(setOf(regex->hash(), options));
}

uint16_t mtk_cacheAgeWord(int set) {
    MTKLockSection lock;
    lock.lock();
    uint16_t age = gAge[set];
    lock.unlock();
    return age;
}

int mtk_cacheLastHitEntry() {
    MTKLockSection lock;
    lock.lock();
    int n = gLastHit ? entryNumber(gLastHit) : -1;
    lock.unlock();
    return n;
}

int mtk_cacheDirectIndexSlot(int slot) {
    MTKLockSection lock;
    lock.lock();
    int n = gDirectIndex[slot];
    lock.unlock();
    return n;
}

int mtk_cacheDirectIndexSlotFor(NSString* regex, MTKRegexOptions options) {
    return static_cast<int>(directSlotOf(regex, options));
}

MTKCacheCounters mtk_cacheCounters() {
    MTKLockSection lock;
    lock.lock();
    MTKCacheCounters c = gCounters;
    lock.unlock();
    return c;
}
