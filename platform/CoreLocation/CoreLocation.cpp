#include "CoreLocation/CoreLocation.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <mutex>

#include "Foundation/NSDate.h"
#include "Foundation/NSError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"

const CLLocationAccuracy kCLLocationAccuracyBest = -1;
const CLLocationAccuracy kCLLocationAccuracyNearestTenMeters = 10;
const CLLocationAccuracy kCLLocationAccuracyHundredMeters = 100;
const CLLocationAccuracy kCLLocationAccuracyKilometer = 1000;
const CLLocationDistance kCLDistanceFilterNone = -1;
NSString* const kCLErrorDomain = NS("kCLErrorDomain");

// ---- CLLocation ------------------------------------------------------------------------------

bool CLLocation::initWithLatitude(CLLocationDegrees latitude, CLLocationDegrees longitude) {
    return initWithCoordinate(CLLocationCoordinate2DMake(latitude, longitude), 0, 0, -1,
                              NSDate::date());
}

bool CLLocation::initWithCoordinate(CLLocationCoordinate2D coordinate, CLLocationDistance altitude,
                                    CLLocationAccuracy horizontalAccuracy,
                                    CLLocationAccuracy verticalAccuracy, NSDate* timestamp) {
    coordinate_ = coordinate;
    altitude_ = altitude;
    horizontalAccuracy_ = horizontalAccuracy;
    verticalAccuracy_ = verticalAccuracy;
    timestamp_ = timestamp ? Ref<NSDate>(timestamp) : NSDate::date();
    return true;
}

CLLocationDistance CLLocation::distanceFromLocation(CLLocation* other) {
    if (!other) return 0;
    // Haversine on a sphere of the earth's mean radius.
    constexpr double kRadius = 6371009.0, kRad = M_PI / 180.0;
    double la1 = coordinate_.latitude * kRad, la2 = other->coordinate_.latitude * kRad;
    double dla = la2 - la1;
    double dlo = (other->coordinate_.longitude - coordinate_.longitude) * kRad;
    double a = std::sin(dla / 2) * std::sin(dla / 2) +
               std::cos(la1) * std::cos(la2) * std::sin(dlo / 2) * std::sin(dlo / 2);
    return 2 * kRadius * std::atan2(std::sqrt(a), std::sqrt(1 - a));
}

Ref<NSString> CLLocation::description() {
    char buf[128];
    std::snprintf(buf, sizeof buf, "<%+.8f,%+.8f> +/- %.2fm (speed -1.00 mps / course -1.00) @ ",
                  coordinate_.latitude, coordinate_.longitude, horizontalAccuracy_);
    return NSString::fromUTF8(buf)->stringByAppendingString(timestamp_->description());
}

// ---- the device's location -------------------------------------------------------------------

struct LocationServices {
    std::mutex lock;
    Ref<CLLocation> current;
    bool enabled = true;
    std::vector<Weak<CLLocationManager>> updating;

    static LocationServices& shared() {
        static ProcessWide<LocationServices> slot;
        return *slot.get();
    }
    // Each updating manager hears on the main loop, in the order they started.
    void announce(CLLocation* location, CLLocation* previous) {
        std::vector<Weak<CLLocationManager>> managers;
        {
            std::lock_guard<std::mutex> g(lock);
            managers = updating;
        }
        Ref<CLLocation> now(location), before(previous);
        for (auto& w : managers) {
            NSRunLoop::mainRunLoop()->performBlock([w, now, before] {
                if (auto m = w.lock(); m && m->updating_) m->deliver(now, before);
            });
        }
    }
};

namespace location_services {

void setCurrentLocation(CLLocation* location) {
    auto& s = LocationServices::shared();
    Ref<CLLocation> previous;
    {
        std::lock_guard<std::mutex> g(s.lock);
        previous = s.current;
        s.current = location;
    }
    if (location) s.announce(location, previous);
}

Ref<CLLocation> currentLocation() {
    auto& s = LocationServices::shared();
    std::lock_guard<std::mutex> g(s.lock);
    return s.current;
}

void setEnabled(bool enabled) {
    auto& s = LocationServices::shared();
    std::lock_guard<std::mutex> g(s.lock);
    s.enabled = enabled;
}

}  // namespace location_services

// ---- CLLocationManager -------------------------------------------------------------------------

void CLLocationManager::describeClass(RuntimeClass& c) {
    c.classMethod("locationServicesEnabled", &CLLocationManager::locationServicesEnabled);
    c.method("locationServicesEnabled", &CLLocationManager::locationServicesEnabledOnDevice);
    c.method("location", &CLLocationManager::location);
    c.method("startUpdatingLocation", &CLLocationManager::startUpdatingLocation);
    c.method("stopUpdatingLocation", &CLLocationManager::stopUpdatingLocation);
}

bool CLLocationManager::locationServicesEnabled() {
    auto& s = LocationServices::shared();
    std::lock_guard<std::mutex> g(s.lock);
    return s.enabled;
}

Ref<CLLocation> CLLocationManager::location() {
    return location_services::currentLocation();
}

void CLLocationManager::startUpdatingLocation() {
    if (updating_) return;
    auto& s = LocationServices::shared();
    Ref<CLLocation> current;
    bool enabled;
    {
        std::lock_guard<std::mutex> g(s.lock);
        enabled = s.enabled;
        current = s.current;
        if (enabled) s.updating.emplace_back(this);
    }
    Weak<CLLocationManager> weak(this);
    if (!enabled) {
        NSRunLoop::mainRunLoop()->performBlock([weak] {
            auto m = weak.lock();
            if (!m) return;
            if (auto d = m->delegate_.lock())
                d->locationManagerDidFailWithError(
                    m, NSError::errorWithDomain(kCLErrorDomain, kCLErrorDenied, nullptr));
        });
        return;
    }
    updating_ = true;
    if (current)
        NSRunLoop::mainRunLoop()->performBlock([weak, current] {
            if (auto m = weak.lock(); m && m->updating_) m->deliver(current, nullptr);
        });
}

void CLLocationManager::stopUpdatingLocation() {
    updating_ = false;
    auto& s = LocationServices::shared();
    std::lock_guard<std::mutex> g(s.lock);
    auto& list = s.updating;
    list.erase(std::remove_if(list.begin(), list.end(),
                              [this](Weak<CLLocationManager>& w) {
                                  auto m = w.lock();
                                  return !m || m.get() == this;
                              }),
               list.end());
}

void CLLocationManager::deliver(CLLocation* location, CLLocation* previous) {
    if (auto d = delegate_.lock()) d->locationManager(this, location, previous);
}

void CLLocationManager::dealloc() {
    // Weak references already read nil here; drop the dead entries.
    auto& s = LocationServices::shared();
    {
        std::lock_guard<std::mutex> g(s.lock);
        auto& list = s.updating;
        list.erase(std::remove_if(list.begin(), list.end(),
                                  [](Weak<CLLocationManager>& w) { return !w.lock(); }),
                   list.end());
    }
    super::dealloc();
}
