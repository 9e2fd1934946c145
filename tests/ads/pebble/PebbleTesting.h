// A clean store for each test: the ad client's saved statistics and timings removed, and the
// manual clock installed.
#pragma once

#include <gtest/gtest.h>

#include <optional>

#include "Foundation/Clock.h"
#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLStatistics.h"

class PebbleTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.emplace();
        clearStores();
        PBLSignals::reset();
        PBLSignals::setEnabled(true);
    }
    void TearDown() override {
        // The shared record saves what it counted when it is let go, so it goes before the store
        // is cleared.
        PBLStatistics::releaseSharedStatistics();
        clearStores();
        clock_.reset();
    }
    static void clearStores() {
        auto defaults = NSUserDefaults::standardUserDefaults();
        for (NSString* key : {NS("pebble_stats_shared"), NS("pebble_timing_shared"),
                              NS("pebble_timing_shared_boot"), NS("pebble_stats_test"),
                              NS("pebble_timing_test"), NS("pebble_timing_test_boot")})
            defaults->removeObjectForKey(key);
    }
    std::optional<ManualClockScope> clock_;
};
