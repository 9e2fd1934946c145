// The per-search options beyond the Search screen's filter: rent, bedrooms, pets, floor area,
// job options, age bounds and a gig option. Stored with a saved search and edited by its
// settings screen; no search URL uses them.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"

class SearchSettings : public NSObject {
    NS_OBJECT(SearchSettings, NSObject)
    static void describeClass(RuntimeClass& c);

    // 0 "Title Only", 1 "Entire Post".
    int32_t scope() { return scope_; }
    void setScope(int32_t v) { scope_ = v; }
    // 0 "Most Recent", 1 "Best Match", 2 "Low Price", 3 "High Price".
    int32_t sort() { return sort_; }
    void setSort(int32_t v) { sort_ = v; }
    bool hasImage() { return hasImage_; }
    void setHasImage(bool v) { hasImage_ = v; }

    Ref<NSString> maxPrice() { return maxPrice_; }
    void setMaxPrice(NSString* v) { maxPrice_ = v; }
    Ref<NSString> minPrice() { return minPrice_; }
    void setMinPrice(NSString* v) { minPrice_ = v; }
    Ref<NSString> maxRent() { return maxRent_; }
    void setMaxRent(NSString* v) { maxRent_ = v; }
    Ref<NSString> minRent() { return minRent_; }
    void setMinRent(NSString* v) { minRent_ = v; }

    int32_t numBedRoom() { return numBedRoom_; }
    void setNumBedRoom(int32_t v) { numBedRoom_ = v; }
    bool dogs() { return dogs_; }
    void setDogs(bool v) { dogs_ = v; }
    bool cats() { return cats_; }
    void setCats(bool v) { cats_ = v; }

    // Floor area bounds in square feet.
    Ref<NSString> maxSqrt() { return maxSqrt_; }
    void setMaxSqrt(NSString* v) { maxSqrt_ = v; }
    Ref<NSString> minSqrt() { return minSqrt_; }
    void setMinSqrt(NSString* v) { minSqrt_ = v; }

    bool telecommute() { return telecommute_; }
    void setTelecommute(bool v) { telecommute_ = v; }
    bool contract() { return contract_; }
    void setContract(bool v) { contract_ = v; }
    bool internship() { return internship_; }
    void setInternship(bool v) { internship_ = v; }
    bool part_time() { return part_time_; }
    void setPart_time(bool v) { part_time_ = v; }
    bool non_profit() { return non_profit_; }
    void setNon_profit(bool v) { non_profit_ = v; }

    Ref<NSString> maxAge() { return maxAge_; }
    void setMaxAge(NSString* v) { maxAge_ = v; }
    Ref<NSString> minAge() { return minAge_; }
    void setMinAge(NSString* v) { minAge_ = v; }

    int32_t gigOption() { return gigOption_; }
    void setGigOption(int32_t v) { gigOption_ = v; }

    void dealloc() override;

private:
    [[maybe_unused]] int32_t category_ = 0;  // declared by the record, used by nothing
    int32_t scope_ = 0;
    int32_t sort_ = 0;
    bool hasImage_ = false;
    Ref<NSString> maxPrice_, minPrice_;
    Ref<NSString> maxRent_, minRent_;
    int32_t numBedRoom_ = 0;
    bool dogs_ = false, cats_ = false;
    Ref<NSString> maxSqrt_, minSqrt_;
    bool telecommute_ = false, contract_ = false, internship_ = false, part_time_ = false,
         non_profit_ = false;
    Ref<NSString> maxAge_, minAge_;
    int32_t gigOption_ = 0;
};
