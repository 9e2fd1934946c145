// One category as a city's home page lists it.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class CatagoryItem : public NSObject {
    NS_OBJECT(CatagoryItem, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<CatagoryItem> itemWithName(NSString* name, NSString* url, NSString* section,
                                          bool allCatagory);

    Ref<NSString> name() { return name_; }
    void setName(NSString* v) { name_ = v; }
    Ref<NSString> url() { return url_; }
    void setUrl(NSString* v) { url_ = v; }
    Ref<NSString> section() { return section_; }
    void setSection(NSString* v) { section_ = v; }
    // Set for a section's catch-all entry (its name begins with "All ").
    bool allCatagory() { return allCatagory_; }
    void setAllCatagory(bool v) { allCatagory_ = v; }

private:
    Ref<NSString> name_;
    Ref<NSString> url_;
    Ref<NSString> section_;
    bool allCatagory_ = false;
};
