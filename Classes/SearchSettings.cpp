#include "Classes/SearchSettings.h"

#include "Foundation/Runtime.h"

void SearchSettings::describeClass(RuntimeClass& c) {
    c.property("scope", &SearchSettings::scope, &SearchSettings::setScope);
    c.property("sort", &SearchSettings::sort, &SearchSettings::setSort);
    c.property("hasImage", &SearchSettings::hasImage, &SearchSettings::setHasImage);
    c.property("maxPrice", &SearchSettings::maxPrice, &SearchSettings::setMaxPrice);
    c.property("minPrice", &SearchSettings::minPrice, &SearchSettings::setMinPrice);
    c.property("maxRent", &SearchSettings::maxRent, &SearchSettings::setMaxRent);
    c.property("minRent", &SearchSettings::minRent, &SearchSettings::setMinRent);
    c.property("numBedRoom", &SearchSettings::numBedRoom, &SearchSettings::setNumBedRoom);
    c.property("dogs", &SearchSettings::dogs, &SearchSettings::setDogs);
    c.property("cats", &SearchSettings::cats, &SearchSettings::setCats);
    c.property("maxSqrt", &SearchSettings::maxSqrt, &SearchSettings::setMaxSqrt);
    c.property("minSqrt", &SearchSettings::minSqrt, &SearchSettings::setMinSqrt);
    c.property("telecommute", &SearchSettings::telecommute, &SearchSettings::setTelecommute);
    c.property("contract", &SearchSettings::contract, &SearchSettings::setContract);
    c.property("internship", &SearchSettings::internship, &SearchSettings::setInternship);
    c.property("part_time", &SearchSettings::part_time, &SearchSettings::setPart_time);
    c.property("non_profit", &SearchSettings::non_profit, &SearchSettings::setNon_profit);
    c.property("maxAge", &SearchSettings::maxAge, &SearchSettings::setMaxAge);
    c.property("minAge", &SearchSettings::minAge, &SearchSettings::setMinAge);
    c.property("gigOption", &SearchSettings::gigOption, &SearchSettings::setGigOption);
}

void SearchSettings::dealloc() {
    maxPrice_ = nullptr;
    minPrice_ = nullptr;
    maxRent_ = nullptr;
    minRent_ = nullptr;
    maxSqrt_ = nullptr;
    minSqrt_ = nullptr;
    maxAge_ = nullptr;
    minAge_ = nullptr;
    super::dealloc();
}
