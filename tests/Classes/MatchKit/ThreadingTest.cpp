#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "MatchKitTesting.h"

namespace {

// Several threads match at once, over shared and private subjects, with more patterns than the
// cache holds, while another thread keeps emptying the cache.
TEST(MatchKitThreads, ConcurrentMatchingGivesTheSameAnswers) {
    auto shared =
        str("<p class=\"row\"><a href=\"/item/7\">Bike</a> $120 <small>(Oakland)</small>");
    auto sharedFragmented = FragmentedString::withUTF8(shared->utf8());
    std::atomic<int> failures{0};
    std::atomic<bool> done{false};

    auto worker = [&](int id) {
        NSAutoreleasePool pool;
        for (int i = 0; i < 150; ++i) {
            // 80 distinct patterns across the threads: far more than the 52 entries.
            auto pattern = str("\\$(\\d+)|x" + std::to_string((id * 10 + i) % 80));
            NSString* subject = (i % 3 == 0) ? static_cast<NSString*>(sharedFragmented.get())
                                             : static_cast<NSString*>(shared.get());
            if (text(stringByMatching(subject, pattern, 1)) != "120") ++failures;
            if (text(stringByMatching(subject, NS("href=\"([^\"]*)\""), 1)) != "/item/7")
                ++failures;
            auto own = str("id" + std::to_string(id) + " n" + std::to_string(i));
            if (text(stringByMatching(own, NS("n(\\d+)"), 1)) != std::to_string(i)) ++failures;
            auto replaced = stringByReplacingOccurrencesOfRegex(own, NS("\\d"), NS("#"));
            if (replaced->rangeOfString(NS("1")).location != static_cast<NSUInteger>(NSNotFound))
                ++failures;
            if (i % 25 == 0) {
                int calls = 0;
                enumerateStringsMatchedByRegex(
                    shared, NS("\\w+"),
                    [&](NSInteger, NSString* const*, const NSRange*, bool*) { ++calls; });
                if (calls < 5) ++failures;
            }
        }
    };

    std::thread flusher([&] {
        while (!done.load()) {
            clearStringCache();
            std::this_thread::yield();
        }
    });
    std::vector<std::thread> threads;
    for (int t = 0; t < 6; ++t)
        threads.emplace_back(worker, t);
    for (auto& t : threads)
        t.join();
    done = true;
    flusher.join();
    EXPECT_EQ(failures.load(), 0);
}

}  // namespace
