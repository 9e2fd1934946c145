// A city's home page read for its categories, grouped by section, with the variants the page
// does not list by themselves (by owner and by dealer, apartment kinds, personals by who seeks
// whom).
#pragma once

#include <initializer_list>
#include <utility>

#include "WebPage.h"

class CatagoryItem;
class NSMutableArray;

class CatagoryPage : public WebPage {
    NS_OBJECT(CatagoryPage, WebPage)
    static void describeClass(RuntimeClass& c);

    // Every category of the downloaded city page, in page order, each variant right after its
    // main item. The forums column is left out.
    Ref<NSMutableArray> getCatagories();

    // Appends "All Apartments", "All No-Fee Apartments" and "By-Owner Apartments".
    void addApartmentSubcatagories(NSMutableArray* list, NSString* section);
    // Appends the four personals variants ("w4m", "w4w", "m4w", "m4m") of the main category.
    void addPersonalSubcategories(NSMutableArray* list, CatagoryItem* mainCategory);
    // Appends one item per (name suffix, path) pair: "<main name> <suffix>" with that path.
    void addSubcategories(NSMutableArray* list, CatagoryItem* mainCategory,
                          std::initializer_list<std::pair<NSString*, NSString*>> subCategories);
};
