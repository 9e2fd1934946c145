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

TEST(NetworkWork, WorkDescribedAnewIsNamedSoUntilItEnds) {
    uint64_t a = NetworkWork::begin("GET http://a.test/form");
    uint64_t b = NetworkWork::begin("GET http://b.test/");
    NetworkWork::describe(a, "POST http://a.test/form");
    auto pending = NetworkWork::pending();
    ASSERT_GE(pending.size(), 2u);
    // Still in its place among the rest, oldest first.
    EXPECT_EQ(pending[pending.size() - 2], "POST http://a.test/form");
    EXPECT_EQ(pending.back(), "GET http://b.test/");
    NetworkWork::end(a);
    // An ended ticket describes nothing, and counts nothing back in.
    int before = NetworkWork::inFlight();
    NetworkWork::describe(a, "PUT http://a.test/form");
    NetworkWork::describe(0, "PUT http://a.test/form");
    EXPECT_EQ(NetworkWork::inFlight(), before);
    EXPECT_EQ(NetworkWork::pending().back(), "GET http://b.test/");
    NetworkWork::end(b);
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
