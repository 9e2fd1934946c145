#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

namespace {

// An object of a chosen size that can tell whether its memory was disturbed.
template <size_t N>
class Sized : public NSObject {
    NS_OBJECT(Sized, NSObject)
    void fill(unsigned char seed) {
        for (size_t i = 0; i < N; ++i)
            bytes[i] = static_cast<unsigned char>(seed + i);
    }
    bool intact(unsigned char seed) const {
        for (size_t i = 0; i < N; ++i)
            if (bytes[i] != static_cast<unsigned char>(seed + i)) return false;
        return true;
    }
    unsigned char bytes[N] = {};
};

// Objects of every size the thread keeps blocks for and beyond, and strings whose text follows
// them in the same block, made and freed in waves: each keeps its contents while the blocks of
// freed ones serve new ones.
template <size_t N>
void wave(std::vector<Ref<NSObject>>& live, unsigned char seed) {
    auto o = make<Sized<N>>();
    o->fill(seed);
    live.push_back(o);
}

bool allIntact(const std::vector<Ref<NSObject>>& live, unsigned char seed) {
    for (const Ref<NSObject>& o : live) {
        if (auto* a = dynamic_cast<Sized<1>*>(o.get()); a && !a->intact(seed)) return false;
        if (auto* b = dynamic_cast<Sized<100>*>(o.get()); b && !b->intact(seed)) return false;
        if (auto* c = dynamic_cast<Sized<500>*>(o.get()); c && !c->intact(seed)) return false;
        if (auto* d = dynamic_cast<Sized<2000>*>(o.get()); d && !d->intact(seed)) return false;
    }
    return true;
}

void churn(unsigned char seed) {
    for (int round = 0; round < 20; ++round) {
        std::vector<Ref<NSObject>> live;
        std::vector<Ref<NSString>> texts;
        for (int i = 0; i < 50; ++i) {
            wave<1>(live, seed);
            wave<100>(live, seed);
            wave<500>(live, seed);
            wave<2000>(live, seed);
            const std::u16string text(static_cast<size_t>(i * 7 + round), u'a' + (i % 26));
            texts.push_back(NSString::compactStringWithUnits(text));
        }
        ASSERT_TRUE(allIntact(live, seed));
        for (int i = 0; i < 50; ++i) {
            const std::u16string text(static_cast<size_t>(i * 7 + round), u'a' + (i % 26));
            ASSERT_EQ(texts[static_cast<size_t>(i)]->u16(), text);
        }
        // Every other object freed, then as many made again among the survivors.
        for (size_t i = 0; i < live.size(); i += 2)
            live[i] = nullptr;
        std::vector<Ref<NSObject>> again;
        for (int i = 0; i < 25; ++i) {
            wave<1>(again, static_cast<unsigned char>(seed + 1));
            wave<100>(again, static_cast<unsigned char>(seed + 1));
            wave<500>(again, static_cast<unsigned char>(seed + 1));
        }
        std::erase(live, nullptr);
        ASSERT_TRUE(allIntact(live, seed));
        ASSERT_TRUE(allIntact(again, static_cast<unsigned char>(seed + 1)));
    }
}

TEST(ObjectMemory, FreedBlocksServeNewObjectsWithoutDisturbingLiveOnes) {
    churn(1);
    // On other threads at once, and objects made on one thread freed on another, which keeps
    // their blocks until it ends.
    std::vector<Ref<NSObject>> handed;
    for (int i = 0; i < 300; ++i)
        wave<100>(handed, 9);
    std::thread a([] { churn(3); });
    std::thread b([&handed] {
        churn(5);
        handed.clear();
        churn(7);
    });
    a.join();
    b.join();
    EXPECT_TRUE(handed.empty());
    churn(11);
}

TEST(ObjectMemory, TheBlockOfAFreedObjectServesTheNextOfItsSize) {
    if (!objc_detail::objectBlocksAreKept())
        GTEST_SKIP() << "the address sanitizer sees every free";
    auto first = make<Sized<40>>();
    const void* block = first.get();
    first = nullptr;
    auto next = make<Sized<40>>();
    EXPECT_EQ(static_cast<const void*>(next.get()), block);
}

}  // namespace
