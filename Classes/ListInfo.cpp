#include "Classes/ListInfo.h"

#include "Classes/SearchSettings.h"
#include "Foundation/Runtime.h"

void ListInfo::describeClass(RuntimeClass& c) {
    c.property("location", &ListInfo::location, &ListInfo::setLocation);
    c.property("locationUrl", &ListInfo::locationUrl, &ListInfo::setLocationUrl);
    c.property("catagory", &ListInfo::catagory, &ListInfo::setCatagory);
    c.property("catagoryUrl", &ListInfo::catagoryUrl, &ListInfo::setCatagoryUrl);
    c.property("searchKey", &ListInfo::searchKey, &ListInfo::setSearchKey);
    c.property("section", &ListInfo::section, &ListInfo::setSection);
    c.property("priceMin", &ListInfo::priceMin, &ListInfo::setPriceMin);
    c.property("priceMax", &ListInfo::priceMax, &ListInfo::setPriceMax);
    c.property("searchType", &ListInfo::searchType, &ListInfo::setSearchType);
    c.property("sortOrder", &ListInfo::sortOrder, &ListInfo::setSortOrder);
    c.property("hasImage", &ListInfo::hasImage, &ListInfo::setHasImage);
    c.property("searchSettings", &ListInfo::searchSettings, &ListInfo::setSearchSettings);
    c.method("saveToDb", &ListInfo::saveToDb);
}

bool ListInfo::init() {
    if (!super::init()) return false;
    searchSettings_ = make<SearchSettings>();
    return true;
}

namespace {
// The settings' scope choices: 0 "Title Only", 1 "Entire Post".
constexpr int32_t kTitleOnlyScope = 0;
constexpr int32_t kEntirePostScope = 1;
}  // namespace

void ListInfo::keepFilterInSettings() {
    if (!searchSettings_) searchSettings_ = make<SearchSettings>();
    bool titleOnly = searchType_ && searchType_->isEqualToString(NS("T"));
    searchSettings_->setScope(titleOnly ? kTitleOnlyScope : kEntirePostScope);
    searchSettings_->setSort(sortOrder_);
    searchSettings_->setHasImage(hasImage_);
    searchSettings_->setMaxPrice(priceMax_);
    searchSettings_->setMinPrice(priceMin_);
}

void ListInfo::takeFilterFromSettings() {
    if (!searchSettings_) return;
    searchType_ = searchSettings_->scope() == kTitleOnlyScope ? NS("T") : NS("A");
    sortOrder_ = searchSettings_->sort();
    hasImage_ = searchSettings_->hasImage();
    priceMax_ = searchSettings_->maxPrice();
    priceMin_ = searchSettings_->minPrice();
}

void ListInfo::dealloc() {
    location_ = nullptr;
    locationUrl_ = nullptr;
    catagory_ = nullptr;
    catagoryUrl_ = nullptr;
    searchKey_ = nullptr;
    section_ = nullptr;
    priceMin_ = nullptr;
    priceMax_ = nullptr;
    searchType_ = nullptr;
    searchSettings_ = nullptr;
    super::dealloc();
}
