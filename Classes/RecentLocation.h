// The last four distinct locations chosen, kept in the preferences as a ring of four slots
// ("LocationUrl", "LocationState" and "RecentCity" followed by the slot digit, with the slot of
// the newest under "RecentIndex").
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class NSArray;

class RecentLocation : public NSObject {
    NS_OBJECT(RecentLocation, NSObject)
    static void describeClass(RuntimeClass& c);

    // The stored locations in slot order 0 to 3, skipping slots with any string missing.
    static Ref<NSArray> getRecentLocations();
    // Records a chosen location in the slot after the newest, unless its URL is already listed.
    static void addRecentLocation(NSString* url, NSString* state, NSString* city);

    Ref<NSString> state() { return state_; }
    void setState(NSString* v) { state_ = v; }
    Ref<NSString> city() { return city_; }
    void setCity(NSString* v) { city_ = v; }
    Ref<NSString> url() { return url_; }
    void setUrl(NSString* v) { url_ = v; }

private:
    Ref<NSString> state_;
    Ref<NSString> city_;
    Ref<NSString> url_;
};
