// The Search tab: the chosen location and category (from the preferences), a keyword field and
// the buttons that open the pickers and the filter, search, browse and list the saved searches.
// Searching or browsing turns the preferences into a ListInfo, normalises its category path to
// the form the site's URLs need and pushes the result list onto the outer navigation stack.
#pragma once

#include "UIKit/UIButton.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextField.h"
#include "UIKit/UIViewController.h"

class DZButton;
class ItemListViewController;
class ListInfo;
class SavedSearch;

class SearchViewController : public UIViewController, public UITextFieldDelegate {
    NS_OBJECT(SearchViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // ---- outlets of the interface file ------------------------------------------------------
    Ref<UIButton> catagoryButton() { return catagoryButton_; }
    void setCatagoryButton(UIButton* v) { catagoryButton_ = v; }
    Ref<UIButton> locationButton() { return locationButton_; }
    void setLocationButton(UIButton* v) { locationButton_ = v; }
    Ref<UIButton> browseButton() { return browseButton_; }
    void setBrowseButton(UIButton* v) { browseButton_ = v; }
    Ref<UIButton> filterButton() { return filterButton_; }
    void setFilterButton(UIButton* v) { filterButton_ = v; }
    Ref<UIButton> searchButton() { return searchButton_; }
    void setSearchButton(UIButton* v) { searchButton_ = v; }
    Ref<UITextField> searchTextField() { return searchTextField_; }
    void setSearchTextField(UITextField* v) { searchTextField_ = v; }
    Ref<UILabel> cityLabel() { return cityLabel_; }
    void setCityLabel(UILabel* v) { cityLabel_ = v; }
    Ref<UILabel> stateLabel() { return stateLabel_; }
    void setStateLabel(UILabel* v) { stateLabel_ = v; }
    Ref<UILabel> catagoryLabel() { return catagoryLabel_; }
    void setCatagoryLabel(UILabel* v) { catagoryLabel_ = v; }
    Ref<UILabel> sectionLabel() { return sectionLabel_; }
    void setSectionLabel(UILabel* v) { sectionLabel_ = v; }
    Ref<UIImageView> backgroundImageView() { return backgroundImageView_; }
    void setBackgroundImageView(UIImageView* v) { backgroundImageView_ = v; }

    // The styled filter button, made in viewDidLoad.
    Ref<DZButton> filterTTButton() { return filterTTButton_; }
    // The result list, made on first use and kept for every query.
    Ref<ItemListViewController> itemListViewController() { return itemListViewController_; }
    Ref<SavedSearch> defaultSearch() { return defaultSearch_; }
    // The query of the last search or browse (nil before the first).
    Ref<ListInfo> lastListInfo() { return lastListInfo_; }

    void viewDidLoad() override;
    void viewWillAppear(bool animated) override;
    void viewDidUnload() override;

    void loadDefaultSearchSettings();
    // YES when no filter preference differs from the defaults.
    static bool useDefaultFilter();
    void udpateFilterButton();
    // "for sale", "personals" and "housing", ignoring case, take price bounds.
    static bool sectionHasPrice(NSString* section);
    // The category path in the form the site's search and browse URLs need.
    static Ref<NSString> normalizedCatagoryUrl(NSString* catagoryUrl);
    // The keyword sent: the code in parentheses in the category name (if any) before the typed
    // keyword; nil when browsing a category without a code.
    static Ref<NSString> searchKeyFor(NSString* catagoryName, NSString* keyword);
    // Builds the query from the preferences and pushes the result list; search NO browses.
    void showListing(bool search);

    // ---- actions -------------------------------------------------------------------------
    void searchButtonPressed(NSObject* sender);
    void browseButtonPressed(NSObject* sender);
    void filterButtonPressed(NSObject* sender);
    void catagoryButtonPressed(NSObject* sender);
    void locationButtonPressed(NSObject* sender);
    void savedSearchesButtonPressed(NSObject* sender);
    void backgroundPressed(NSObject* sender);
    void hideKeyboard();
    bool textFieldShouldReturn(UITextField* textField) override;

    void dealloc() override;

private:
    // Lays a styled button over an interface button: its frame 2 points higher and 4 taller.
    Ref<DZButton> overlay(UIButton* place, NSString* style, NSString* title, CGFloat fontSize,
                          const char* action);
    void presentPicker(UIViewController* picker);

    Ref<UIButton> catagoryButton_, locationButton_, browseButton_, filterButton_, searchButton_;
    Ref<UITextField> searchTextField_;
    Ref<UILabel> cityLabel_, stateLabel_, catagoryLabel_, sectionLabel_;
    Ref<UIImageView> backgroundImageView_;
    Ref<DZButton> filterTTButton_;
    Ref<ItemListViewController> itemListViewController_;
    Ref<SavedSearch> defaultSearch_;
    Ref<ListInfo> lastListInfo_;
    Ref<NSString> keptKeyword_;  // the keyword while the view is unloaded
};
