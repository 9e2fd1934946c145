#include "Classes/Interfaces/AppInterfaces.h"

#include "Classes/Interfaces/PostingInterfaces.h"
#include "Classes/ResultScreenInterfaces.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UINib.h"

void registerAppInterfaces() {
    registerInterface(NS("MainWindow"), buildMainWindow);
    registerInterface(NS("SearchViewController"), buildSearchViewController);
    registerInterface(NS("SearchFilterController"), buildSearchFilterController);
    registerInterface(NS("StateViewController"), buildStateViewController);
    registerInterface(NS("CityViewController"), buildCityViewController);
    registerInterface(NS("CatagoryViewController"), buildCatagoryViewController);
    registerInterface(NS("SavedSearchController"), buildSavedSearchController);
    registerInterface(NS("SearchSettingController"), buildSearchSettingController);
    registerInterface(NS("SearchSettingViewCell"), buildSearchSettingViewCell);
    registerResultScreenInterfaces();
    registerPostingInterfaces();
}
