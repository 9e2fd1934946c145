#include <gtest/gtest.h>

#include <thread>

#include "Foundation/NetworkWork.h"

TEST(NetworkWork, CountsBeginAndEndOnceEachFromAnyThread) {
    int before = NetworkWork::inFlight();
    uint64_t a = NetworkWork::begin("GET http://a.test/");
    uint64_t b = 0;
    std::thread([&] { b = NetworkWork::begin("GET http://b.test/"); }).join();
    EXPECT_EQ(NetworkWork::inFlight(), before + 2);
    auto pending = NetworkWork::pending();
    ASSERT_GE(pending.size(), 2u);
    EXPECT_EQ(pending[pending.size() - 2], "GET http://a.test/");
    EXPECT_EQ(pending.back(), "GET http://b.test/");
    NetworkWork::end(a);
    NetworkWork::end(a);  // a second end of one ticket does not end another's work
    NetworkWork::end(0);
    EXPECT_EQ(NetworkWork::inFlight(), before + 1);
    std::thread([&] { NetworkWork::end(b); }).join();
    EXPECT_EQ(NetworkWork::inFlight(), before);
}

TEST(NetworkWork, TicketEndsWithItsLastOwner) {
    int before = NetworkWork::inFlight();
    {
        NetworkWorkTicket first("load");
        EXPECT_EQ(NetworkWork::inFlight(), before + 1);
        NetworkWorkTicket moved(std::move(first));
        EXPECT_FALSE(first.active());
        EXPECT_EQ(NetworkWork::inFlight(), before + 1);
        NetworkWorkTicket other("other");
        other = std::move(moved);  // the other's own work ends here
        EXPECT_EQ(NetworkWork::inFlight(), before + 1);
    }
    EXPECT_EQ(NetworkWork::inFlight(), before);
}
