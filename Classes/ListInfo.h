// One search or browse request: where (location), what (category and section), the keyword and
// the filter. A plain value holder: the Search screen fills it, the result list turns it into
// site URLs and the saved-search store keeps it.
#pragma once

#include "Classes/SearchSettings.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class ListInfo : public NSObject {
    NS_OBJECT(ListInfo, NSObject)
    static void describeClass(RuntimeClass& c);

    // Makes the record's own SearchSettings.
    bool init() override;

    // Display name of the chosen city or sub-area.
    Ref<NSString> location() { return location_; }
    void setLocation(NSString* v) { location_ = v; }
    // The location's site root URL: the base of every result URL.
    Ref<NSString> locationUrl() { return locationUrl_; }
    void setLocationUrl(NSString* v) { locationUrl_ = v; }
    // Display name of the category (the result list's title).
    Ref<NSString> catagory() { return catagory_; }
    void setCatagory(NSString* v) { catagory_ = v; }
    // The category's path under the location root.
    Ref<NSString> catagoryUrl() { return catagoryUrl_; }
    void setCatagoryUrl(NSString* v) { catagoryUrl_ = v; }
    // The keyword; nil browses instead of searching.
    Ref<NSString> searchKey() { return searchKey_; }
    void setSearchKey(NSString* v) { searchKey_ = v; }
    Ref<NSString> section() { return section_; }
    void setSection(NSString* v) { section_ = v; }
    Ref<NSString> priceMin() { return priceMin_; }
    void setPriceMin(NSString* v) { priceMin_ = v; }
    Ref<NSString> priceMax() { return priceMax_; }
    void setPriceMax(NSString* v) { priceMax_ = v; }
    // "T" titles only, "A" all text.
    Ref<NSString> searchType() { return searchType_; }
    void setSearchType(NSString* v) { searchType_ = v; }
    // 0 the site's order, 1 relevance, 2 price ascending, 3 price descending.
    int32_t sortOrder() { return sortOrder_; }
    void setSortOrder(int32_t v) { sortOrder_ = v; }
    bool hasImage() { return hasImage_; }
    void setHasImage(bool v) { hasImage_ = v; }
    Ref<SearchSettings> searchSettings() { return searchSettings_; }
    void setSearchSettings(SearchSettings* v) { searchSettings_ = v; }

    // The filter (search type, sort order, images only, price bounds) and the settings' scope,
    // sort, hasImage and price fields are the same choices: a saved search keeps its filter in
    // its settings, and the settings screen's edits become its filter.
    void keepFilterInSettings();
    void takeFilterFromSettings();

    // Saving belongs to SavedSearch, which holds a ListInfo; a bare query is never stored.
    void saveToDb() {}

    void dealloc() override;

private:
    Ref<NSString> location_;
    Ref<NSString> locationUrl_;
    Ref<NSString> catagory_;
    Ref<NSString> catagoryUrl_;
    Ref<NSString> searchKey_;
    Ref<NSString> section_;
    Ref<NSString> priceMin_;
    Ref<NSString> priceMax_;
    Ref<NSString> searchType_;
    int32_t sortOrder_ = 0;
    bool hasImage_ = false;
    Ref<SearchSettings> searchSettings_;
};
