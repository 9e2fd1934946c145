// The search filter, presented by the Search screen: price bounds, images only, title-only
// search and the sort order, kept straight in the preferences ("PriceMax", "PriceMin",
// "HasImage", "TitleOnly", "SortOrder"); it also shows the app's version.
#pragma once

#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"

class SearchFilterController : public UIViewController, public UITextFieldDelegate {
    NS_OBJECT(SearchFilterController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // ---- outlets of the interface file ------------------------------------------------------
    Ref<UITextField> maxPriceField() { return maxPriceField_; }
    void setMaxPriceField(UITextField* v) { maxPriceField_ = v; }
    Ref<UITextField> minPriceField() { return minPriceField_; }
    void setMinPriceField(UITextField* v) { minPriceField_ = v; }
    Ref<UISwitch> hasImageSwitch() { return hasImageSwitch_; }
    void setHasImageSwitch(UISwitch* v) { hasImageSwitch_ = v; }
    Ref<UISegmentedControl> scopeControl() { return scopeControl_; }
    void setScopeControl(UISegmentedControl* v) { scopeControl_ = v; }
    Ref<UISegmentedControl> sortControl() { return sortControl_; }
    void setSortControl(UISegmentedControl* v) { sortControl_ = v; }
    Ref<UILabel> versionLabel() { return versionLabel_; }
    void setVersionLabel(UILabel* v) { versionLabel_ = v; }

    void viewDidLoad() override;
    // Stores the five keys (prices trimmed of blanks) and synchronizes.
    void saveFilter();
    void doneButtonPressed(NSObject* sender);
    // Clears the filter and stores it at once.
    void resetFilter(NSObject* sender);
    bool textFieldShouldReturn(UITextField* textField) override;

private:
    Ref<UITextField> maxPriceField_, minPriceField_;
    Ref<UISwitch> hasImageSwitch_;
    Ref<UISegmentedControl> scopeControl_, sortControl_;
    Ref<UILabel> versionLabel_;
};
