// Location services: no location until one is set, updates to the delegates of updating
// managers on the main loop, services turned off.
#include "CoreLocation/CoreLocation.h"

#include <gtest/gtest.h>

#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSError.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

class Listener : public NSObject, public CLLocationManagerDelegate {
    NS_OBJECT(Listener, NSObject)
    void locationManager(CLLocationManager*, CLLocation* now, CLLocation* before) override {
        updates.push_back({now, before});
    }
    void locationManagerDidFailWithError(CLLocationManager*, NSError* e) override {
        errors.push_back(e->code());
    }
    std::vector<std::pair<Ref<CLLocation>, Ref<CLLocation>>> updates;
    std::vector<NSInteger> errors;
};

Ref<CLLocation> at(double lat, double lon, double accuracy) {
    return make<CLLocation>(&CLLocation::initWithCoordinate, CLLocationCoordinate2DMake(lat, lon),
                            0.0, accuracy, -1.0, NSDate::date());
}

class CoreLocationTest : public testing::Test {
protected:
    ManualClockScope clock_;
};

TEST_F(CoreLocationTest, LocationsCarryCoordinateAccuracyAndTime) {
    NSTimeInterval now = Clock::now();
    auto l = make<CLLocation>(&CLLocation::initWithLatitude, 52.37, 4.89);
    EXPECT_DOUBLE_EQ(l->coordinate().latitude, 52.37);
    EXPECT_DOUBLE_EQ(l->coordinate().longitude, 4.89);
    EXPECT_DOUBLE_EQ(l->horizontalAccuracy(), 0);
    EXPECT_DOUBLE_EQ(l->timestamp()->timeIntervalSinceReferenceDate(), now);
    auto rotterdam = at(51.92, 4.48, 65);
    EXPECT_DOUBLE_EQ(rotterdam->horizontalAccuracy(), 65);
    EXPECT_NEAR(l->distanceFromLocation(rotterdam), 57000, 1500);
    EXPECT_EQ(text(rotterdam).substr(0, 36), "<+51.92000000,+4.48000000> +/- 65.00");
}

TEST_F(CoreLocationTest, NoLocationUntilOneIsSet) {
    auto m = make<CLLocationManager>();
    EXPECT_TRUE(CLLocationManager::locationServicesEnabled());
    EXPECT_FALSE(m->location());
    auto l = make<Listener>();
    m->setDelegate(l);
    m->startUpdatingLocation();
    advanceRunLoop(10);
    EXPECT_TRUE(l->updates.empty());
    auto home = at(52.37, 4.89, 65);
    location_services::setCurrentLocation(home);
    EXPECT_EQ(m->location(), home);   // known at once
    EXPECT_TRUE(l->updates.empty());  // told on the main loop
    advanceRunLoop(0);
    ASSERT_EQ(l->updates.size(), 1u);
    EXPECT_EQ(l->updates[0].first, home);
    EXPECT_FALSE(l->updates[0].second);
    auto work = at(52.09, 5.12, 10);
    location_services::setCurrentLocation(work);
    advanceRunLoop(0);
    ASSERT_EQ(l->updates.size(), 2u);
    EXPECT_EQ(l->updates[1].first, work);
    EXPECT_EQ(l->updates[1].second, home);
    m->stopUpdatingLocation();
    location_services::setCurrentLocation(home);
    advanceRunLoop(0);
    EXPECT_EQ(l->updates.size(), 2u);
    EXPECT_EQ(m->location(), home);  // the latest is still readable
}

TEST_F(CoreLocationTest, StartingHearsTheKnownLocationAndServicesCanBeOff) {
    location_services::setCurrentLocation(at(1, 2, 3));
    auto m = make<CLLocationManager>();
    auto l = make<Listener>();
    m->setDelegate(l);
    m->startUpdatingLocation();
    advanceRunLoop(0);
    EXPECT_EQ(l->updates.size(), 1u);
    // A freed manager or delegate is not told.
    auto other = make<CLLocationManager>();
    auto gone = make<Listener>();
    other->setDelegate(gone);
    other->startUpdatingLocation();
    gone = nullptr;
    other = nullptr;
    location_services::setCurrentLocation(at(4, 5, 6));
    advanceRunLoop(0);
    EXPECT_EQ(l->updates.size(), 2u);

    location_services::setEnabled(false);
    EXPECT_FALSE(CLLocationManager::locationServicesEnabled());
    // Asked by name, at class and instance level, as configuration code does.
    Class cls = CLLocationManager::staticClass();
    ASSERT_TRUE(cls->respondsToSelector(Selector::named("locationServicesEnabled")));
    auto off = make<CLLocationManager>();
    EXPECT_TRUE(off->respondsToSelector(Selector::named("locationServicesEnabled")));
    EXPECT_FALSE(off->locationServicesEnabledOnDevice());
    auto offListener = make<Listener>();
    off->setDelegate(offListener);
    off->startUpdatingLocation();
    advanceRunLoop(0);
    EXPECT_EQ(offListener->errors, std::vector<NSInteger>{kCLErrorDenied});
    EXPECT_FALSE(off->isUpdatingLocation());
}

// The reset between tests forgets the location, turns services back on and drops the managers
// that were updating: a manager of the next test hears nothing of the last one's.
TEST_F(CoreLocationTest, TheResetBetweenTestsStartsWithoutALocation) {
    auto earlier = make<CLLocationManager>();
    auto heard = make<Listener>();
    earlier->setDelegate(heard);
    earlier->startUpdatingLocation();
    location_services::setCurrentLocation(at(52.37, 4.89, 10));
    location_services::setEnabled(false);
    advanceRunLoop(1);
    size_t before = heard->updates.size();
    resetProcessWideInstances();
    EXPECT_FALSE(location_services::currentLocation());
    EXPECT_TRUE(CLLocationManager::locationServicesEnabled());
    location_services::setCurrentLocation(at(51.92, 4.48, 10));
    advanceRunLoop(1);
    EXPECT_EQ(heard->updates.size(), before);
}

}  // namespace
