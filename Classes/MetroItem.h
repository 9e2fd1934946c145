// One location as the site's location index lists it, or as read back from the store.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class MetroItem : public NSObject {
    NS_OBJECT(MetroItem, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<MetroItem> itemWithName(NSString* name, NSString* url, NSString* state,
                                       NSString* region);

    Ref<NSString> name() { return name_; }
    void setName(NSString* v) { name_ = v; }
    Ref<NSString> url() { return url_; }
    void setUrl(NSString* v) { url_ = v; }
    // nil for a metro listed without a state; the store then files it under its region.
    Ref<NSString> state() { return state_; }
    void setState(NSString* v) { state_ = v; }
    Ref<NSString> region() { return region_; }
    void setRegion(NSString* v) { region_ = v; }
    bool hasSuburb() { return hasSuburb_; }
    void setHasSuburb(bool v) { hasSuburb_ = v; }

private:
    Ref<NSString> name_;
    Ref<NSString> url_;
    Ref<NSString> state_;
    Ref<NSString> region_;
    bool hasSuburb_ = false;
};
