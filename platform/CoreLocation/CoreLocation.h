// Location services with no receiver: the device's location is whatever tests or the terminal
// front end set (none until then). Managers that are updating hear of each new location from
// their delegate on the main run loop; every manager's `location` is the latest one.
#pragma once

#include <vector>

#include "Foundation/NSObject.h"

class NSDate;
class NSError;
class CLLocationManager;

using CLLocationDegrees = double;
using CLLocationAccuracy = double;
using CLLocationDistance = double;

struct CLLocationCoordinate2D {
    CLLocationDegrees latitude = 0;
    CLLocationDegrees longitude = 0;
};

inline CLLocationCoordinate2D CLLocationCoordinate2DMake(CLLocationDegrees latitude,
                                                         CLLocationDegrees longitude) {
    return {latitude, longitude};
}

extern const CLLocationAccuracy kCLLocationAccuracyBest;              // -1
extern const CLLocationAccuracy kCLLocationAccuracyNearestTenMeters;  // 10
extern const CLLocationAccuracy kCLLocationAccuracyHundredMeters;     // 100
extern const CLLocationAccuracy kCLLocationAccuracyKilometer;         // 1000
extern const CLLocationDistance kCLDistanceFilterNone;                // -1

class CLLocation : public NSObject {
    NS_OBJECT(CLLocation, NSObject)
    // Horizontal accuracy 0, vertical accuracy -1 (no altitude), time stamp now.
    bool initWithLatitude(CLLocationDegrees latitude, CLLocationDegrees longitude);
    bool initWithCoordinate(CLLocationCoordinate2D coordinate, CLLocationDistance altitude,
                            CLLocationAccuracy horizontalAccuracy,
                            CLLocationAccuracy verticalAccuracy, NSDate* timestamp);

    CLLocationCoordinate2D coordinate() { return coordinate_; }
    CLLocationDistance altitude() { return altitude_; }
    // Metres; negative means the coordinate is not valid.
    CLLocationAccuracy horizontalAccuracy() { return horizontalAccuracy_; }
    CLLocationAccuracy verticalAccuracy() { return verticalAccuracy_; }
    Ref<NSDate> timestamp() { return timestamp_; }
    // Great-circle metres to another location.
    CLLocationDistance distanceFromLocation(CLLocation* other);

    // "<+52.37000000,+4.89000000> +/- 65.00m (speed -1.00 mps / course -1.00) @ <date>"
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

private:
    CLLocationCoordinate2D coordinate_;
    CLLocationDistance altitude_ = 0;
    CLLocationAccuracy horizontalAccuracy_ = 0;
    CLLocationAccuracy verticalAccuracy_ = -1;
    Ref<NSDate> timestamp_;
};

class CLLocationManagerDelegate {
public:
    virtual ~CLLocationManagerDelegate() = default;
    // locationManager:didUpdateToLocation:fromLocation: (the previous location may be nil)
    virtual void locationManager(CLLocationManager*, CLLocation* /*newLocation*/,
                                 CLLocation* /*oldLocation*/) {}
    // locationManager:didFailWithError:
    virtual void locationManagerDidFailWithError(CLLocationManager*, NSError*) {}
};

// Error domain and the code sent when updates start while services are off.
extern NSString* const kCLErrorDomain;
constexpr NSInteger kCLErrorDenied = 1;

class CLLocationManager : public NSObject {
    NS_OBJECT(CLLocationManager, NSObject)
    static void describeClass(RuntimeClass& c);

    // Whether the user allows location services (YES until tests or the front end say no).
    static bool locationServicesEnabled();
    // The older instance form of the same answer.
    bool locationServicesEnabledOnDevice() { return locationServicesEnabled(); }

    Ref<CLLocationManagerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(CLLocationManagerDelegate* delegate) { delegate_ = delegate; }
    CLLocationAccuracy desiredAccuracy() { return desiredAccuracy_; }
    void setDesiredAccuracy(CLLocationAccuracy accuracy) { desiredAccuracy_ = accuracy; }
    CLLocationDistance distanceFilter() { return distanceFilter_; }
    void setDistanceFilter(CLLocationDistance distance) { distanceFilter_ = distance; }

    // The latest location of the device, nil when none is known.
    Ref<CLLocation> location();
    // The delegate hears of the current location (when there is one) on the next pass of the
    // main loop, then of every new one; with services off it gets kCLErrorDenied instead.
    void startUpdatingLocation();
    void stopUpdatingLocation();
    bool isUpdatingLocation() { return updating_; }

    void dealloc() override;

private:
    friend struct LocationServices;
    void deliver(CLLocation* location, CLLocation* previous);

    Weak<CLLocationManagerDelegate> delegate_;
    CLLocationAccuracy desiredAccuracy_ = -1;
    CLLocationDistance distanceFilter_ = -1;
    bool updating_ = false;
};

// Test and front-end hooks.
namespace location_services {
// The device's new location (nil forgets it); updating managers hear of it on the main loop.
void setCurrentLocation(CLLocation* location);
Ref<CLLocation> currentLocation();
void setEnabled(bool enabled);
}  // namespace location_services
