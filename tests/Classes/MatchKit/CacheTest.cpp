#include <gtest/gtest.h>

#include <mutex>
#include <set>

#include "Foundation/Clock.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "MatchKitTesting.h"
#include "support/RunLoopTesting.h"

namespace {

NSString* const kMemoryWarning = NS("UIApplicationDidReceiveMemoryWarningNotification");

// Distinct pattern texts that fall into one set of the cache.
std::vector<Ref<NSString>> patternsInOneSet(size_t n, const char* stem) {
    std::vector<Ref<NSString>> out;
    int wanted = -1;
    for (int i = 0; out.size() < n; ++i) {
        auto p = str(std::string(stem) + std::to_string(i));
        int set = mtk_cacheSetFor(p, 0);
        if (wanted < 0) wanted = set;
        if (set == wanted) out.push_back(p);
    }
    return out;
}

TEST(MatchKitAge, FillOrderAndLeastRecentlyUsed) {
    uint16_t age = kMTKAgeStart;
    std::vector<int> order;
    for (int i = 0; i < 4; ++i) {
        int w = mtk_victimWay(age);
        order.push_back(w);
        age = mtk_touchAge(age, w);
    }
    EXPECT_EQ(order, (std::vector<int>{3, 2, 1, 0}));
    // Way 3 is now the oldest; touching it makes way 2 the oldest.
    EXPECT_EQ(mtk_victimWay(age), 3);
    age = mtk_touchAge(age, 3);
    EXPECT_EQ(mtk_victimWay(age), 2);
    // Exactly one row stays empty whatever the sequence of touches.
    for (int i = 0; i < 200; ++i) {
        age = mtk_touchAge(age, (i * 7 + i / 3) % 4);
        int zeros = 0;
        for (int w = 0; w < 4; ++w)
            zeros += ((age >> (4 * w)) & 0xF) == 0;
        ASSERT_EQ(zeros, 1);
    }
}

TEST(MatchKitCache, FifthPatternOfASetReplacesTheLeastRecentlyUsed) {
    clearStringCache();
    auto p = patternsInOneSet(5, "evict");
    int set = mtk_cacheSetFor(p[0], 0);
    std::set<int> entries;
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(isRegexValid(p[i]));
        int n = mtk_cacheEntryNumberFor(p[i], 0);
        EXPECT_EQ(n / kMTKCacheWays, set);
        entries.insert(n);
    }
    EXPECT_EQ(entries.size(), 4u);
    // The first one compiled is the oldest.
    EXPECT_EQ(set * 4 + mtk_victimWay(mtk_cacheAgeWord(set)), mtk_cacheEntryNumberFor(p[0], 0));

    // Using it again makes the second one the oldest, so the fifth replaces that one.
    int second = mtk_cacheEntryNumberFor(p[1], 0);
    ASSERT_TRUE(isRegexValid(p[0]));
    ASSERT_TRUE(isRegexValid(p[4]));
    EXPECT_EQ(mtk_cacheEntryNumberFor(p[1], 0), -1);
    EXPECT_EQ(mtk_cacheEntryNumberFor(p[4], 0), second);
    for (int i : {0, 2, 3})
        EXPECT_NE(mtk_cacheEntryNumberFor(p[i], 0), -1);
}

TEST(MatchKitCache, LastHitDirectIndexAndSetSearch) {
    clearStringCache();
    auto p = str("(\\w+)@(\\w+)");
    auto q = str("q[0-9]+");
    ASSERT_NE(mtk_cacheDirectIndexSlotFor(p, 0), mtk_cacheDirectIndexSlotFor(q, 0));
    ASSERT_TRUE(isMatchedByRegex(NS("me@home"), p));
    int entry = mtk_cacheEntryNumberFor(p, 0);
    EXPECT_EQ(mtk_cacheLastHitEntry(), entry);

    // The same object again: answered by the last hit.
    MTKCacheCounters before = mtk_cacheCounters();
    ASSERT_TRUE(isMatchedByRegex(NS("me@home"), p));
    EXPECT_EQ(mtk_cacheCounters().lastHits, before.lastHits + 1);

    // After another pattern, the same object is found through the direct index.
    ASSERT_FALSE(isMatchedByRegex(NS("x"), q));
    before = mtk_cacheCounters();
    ASSERT_TRUE(isMatchedByRegex(NS("me@home"), p));
    MTKCacheCounters after = mtk_cacheCounters();
    EXPECT_EQ(after.indexHits, before.indexHits + 1);
    EXPECT_EQ(after.compiles, before.compiles);

    // Equal text in another object finds the same entry, and indexes it for that object.
    auto same = str("(\\w+)@(\\w+)");
    ASSERT_NE(same.get(), p.get());
    ASSERT_TRUE(isMatchedByRegex(NS("you@work"), same));
    EXPECT_EQ(mtk_cacheCounters().compiles, after.compiles);
    EXPECT_EQ(mtk_cacheDirectIndexSlot(mtk_cacheDirectIndexSlotFor(same, 0)), entry);

    // Other options make another entry.
    ASSERT_TRUE(isMatchedByRegex(NS("ME@HOME"), p, MTKRegexCaseless, NSMakeRange(0, 7), nullptr));
    EXPECT_EQ(mtk_cacheCounters().compiles, after.compiles + 1);
    EXPECT_NE(mtk_cacheEntryNumberFor(p, MTKRegexCaseless), entry);
}

TEST(MatchKitCache, InvalidPatternIsCompiledAgainEachTime) {
    uint64_t compiles = mtk_cacheCounters().compiles;
    EXPECT_EQ(componentsMatchedByRegex(NS("abc"), NS("(a")), nullptr);
    EXPECT_EQ(componentsMatchedByRegex(NS("abc"), NS("(a")), nullptr);
    EXPECT_EQ(mtk_cacheCounters().compiles, compiles + 2);
}

TEST(MatchKitCache, FlushedOnMemoryWarning) {
    auto p = str("memory-[a-z]+");
    ASSERT_TRUE(isRegexValid(p));
    ASSERT_NE(mtk_cacheEntryNumberFor(p, 0), -1);
    NSNotificationCenter::defaultCenter()->postNotificationName(kMemoryWarning, nullptr);
    EXPECT_EQ(mtk_cacheEntryNumberFor(p, 0), -1);
    EXPECT_EQ(mtk_cacheLastHitEntry(), -1);
}

TEST(MatchKitCache, MemoryWarningWhileBusyIsRetriedEveryTenthOfASecond) {
    ManualClockScope clock;
    auto p = str("busy-[a-z]+");
    ASSERT_TRUE(isRegexValid(p));

    OSSpinLockLock(&mtk_cacheSpinLock);  // an operation in progress elsewhere
    NSNotificationCenter::defaultCenter()->postNotificationName(kMemoryWarning, nullptr);
    advanceRunLoop(0.1);  // the first retry finds the cache still busy
    advanceRunLoop(0.05);
    OSSpinLockUnlock(&mtk_cacheSpinLock);
    EXPECT_NE(mtk_cacheEntryNumberFor(p, 0), -1);
    advanceRunLoop(0.04);
    EXPECT_NE(mtk_cacheEntryNumberFor(p, 0), -1);
    advanceRunLoop(0.02);  // the second retry, 0.2 s after the warning
    EXPECT_EQ(mtk_cacheEntryNumberFor(p, 0), -1);
    // Served once: nothing is left scheduled.
    ASSERT_TRUE(isRegexValid(p));
    advanceRunLoop(1.0);
    EXPECT_NE(mtk_cacheEntryNumberFor(p, 0), -1);
}

TEST(MatchKitSubjects, InPlaceTextIsNotCopied) {
    auto page = str(std::string(5000, 'x') + "<b>bold</b>");
    uint64_t fills = mtk_cacheCounters().bufferFills;
    EXPECT_EQ(text(stringByMatching(page, NS("<b>([^<]*)</b>"), 1)), "bold");
    EXPECT_EQ(mtk_cacheCounters().bufferFills, fills);
}

TEST(MatchKitSubjects, TextWithoutStorageIsCopiedOnceAndShared) {
    for (size_t size : {100u, 3000u}) {
        auto s = FragmentedString::withUTF8(std::string(size, '-') + "id=42 name=bike");
        uint64_t fills = mtk_cacheCounters().bufferFills;
        EXPECT_EQ(text(stringByMatching(s, NS("id=(\\d+)"), 1)), "42");
        EXPECT_EQ(text(stringByMatching(s, NS("name=(\\w+)"), 1)), "bike");
        EXPECT_EQ(strings(componentsMatchedByRegex(s, NS("[a-z]+="))), (Strings{"id=", "name="}));
        EXPECT_EQ(mtk_cacheCounters().bufferFills, fills + 1) << size;

        // Once forgotten, the text is read afresh.
        flushCachedRegexData(s);
        EXPECT_TRUE(isMatchedByRegex(s, NS("id=(\\d+)")));
        EXPECT_EQ(mtk_cacheCounters().bufferFills, fills + 2) << size;
    }
}

TEST(MatchKitSubjects, SubjectEditedInPlaceIsNotMatchedAgainstOldText) {
    // Same object, same length, same hash: only the mutation count tells the edit apart.
    auto m = SameHashMutableString::withUTF8("the cat sat");
    NSString* pattern = NS("c[a-z]t");
    EXPECT_EQ(rangeOfRegex(m, pattern), NSMakeRange(4, 3));
    m->replaceCharactersInRange(NSMakeRange(4, 1), NS("b"));
    EXPECT_EQ(rangeOfRegex(m, pattern), kNotFound);
    EXPECT_EQ(strings(componentsMatchedByRegex(m, NS("[a-z]at"))), (Strings{"bat", "sat"}));

    auto plain = NSMutableString::stringWithString(NS("the cat sat"));
    EXPECT_EQ(rangeOfRegex(plain, pattern), NSMakeRange(4, 3));
    plain->replaceCharactersInRange(NSMakeRange(4, 1), NS("b"));
    EXPECT_EQ(rangeOfRegex(plain, pattern), kNotFound);

    // The same through the subject buffers.
    auto fragmented = FragmentedString::withUTF8("the cat sat");
    EXPECT_EQ(rangeOfRegex(fragmented, pattern), NSMakeRange(4, 3));
    fragmented->setCharacter(4, u'b');
    EXPECT_EQ(rangeOfRegex(fragmented, pattern), kNotFound);
    EXPECT_EQ(text(stringByMatching(fragmented, NS("b[a-z]t"))), "bat");
}

TEST(MatchKitLock, LockLeftHeldByAFailingSubjectIsForciblyReleased) {
    std::mutex m;
    std::vector<std::string> lines;
    NSLogSink previous = NSLogSetSink([&](const std::string& line) {
        std::lock_guard<std::mutex> hold(m);
        lines.push_back(line);
    });
    auto s = FragmentedString::withUTF8("abc unique-lock-subject");
    s->failCopy = true;
    uint64_t hooks = mtk_debugCacheSpinLockCount();
    auto logged = [&] {
        std::lock_guard<std::mutex> hold(m);
        return lines;
    };
    EXPECT_EQ(raisedName([&] { isMatchedByRegex(s, NS("b")); }), "NSGenericException");
    EXPECT_EQ(mtk_debugCacheSpinLockCount(), hooks + 1);
    std::vector<std::string> first = logged();
    EXPECT_EQ(raisedName([&] { isMatchedByRegex(s, NS("c")); }), "NSGenericException");
    EXPECT_EQ(mtk_debugCacheSpinLockCount(), hooks + 2);
    std::vector<std::string> second = logged();
    NSLogSetSink(std::move(previous));

    // The cache works again, for this subject too.
    s->failCopy = false;
    EXPECT_TRUE(isMatchedByRegex(s, NS("b")));
    // The warning is printed once per process: by the first of these tests to run.
    EXPECT_LE(first.size(), 1u);
    EXPECT_EQ(second.size(), first.size());
    if (!first.empty()) {
        EXPECT_NE(first[0].find("[MatchKit] Unusual condition detected: Recorded that "
                                "mtk_cacheSpinLock was locked, but for some reason it was not "
                                "unlocked.  Forcibly unlocking mtk_cacheSpinLock."),
                  std::string::npos);
    }
}

}  // namespace
