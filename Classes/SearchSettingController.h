// A saved search's own options, as rows chosen by the search's category (rent and pets for
// housing, floor area for office space, job kinds, ages for personals, prices otherwise, then
// image, scope, sort and a reset button). "Done" copies the rows back and stores the search.
#pragma once

#include <initializer_list>
#include <string>
#include <vector>

#include "Classes/SavedSearch.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"

class NSMutableArray;
class SearchSettingViewCell;

class SearchSettingController : public UIViewController,
                                public UITableViewDataSource,
                                public UITableViewDelegate {
    NS_OBJECT(SearchSettingController, UIViewController)
    static void describeClass(RuntimeClass& c);

    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }
    Ref<SavedSearch> savedSearch() { return savedSearch_; }
    void setSavedSearch(SavedSearch* v) { savedSearch_ = v; }
    Ref<NSString> categoryUrl() { return categoryUrl_; }
    void setCategoryUrl(NSString* v) { categoryUrl_ = v; }
    Ref<NSMutableArray> cells() { return cells_; }

    // YES when the URL equals an entry of the list.
    static bool isPartOf(NSString* url, std::initializer_list<const char*> urlList);

    void viewDidLoad() override;
    // Copies the rows into the search's settings and stores the search again. A search stored
    // before the filter was kept is stored only when a row was changed: until then it keeps
    // its row, and runs without a filter as it always has.
    void saveSettings();
    void doneButtonPressed(NSObject* sender);
    // "Reset Settings": every row back to empty, off or the first choice; stored at "Done".
    void resetRows(NSObject* sender);

    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    Ref<UIView> tableViewViewForFooterInSection(UITableView* tableView, NSInteger section) override;

    void dealloc() override;

private:
    void addCell(SearchSettingViewCell* cell);
    // What each row shows, in order, to tell whether the user changed any.
    std::vector<std::string> rowValues();

    Ref<NSMutableArray> cells_;
    Ref<UITableView> myTableView_;
    Ref<SavedSearch> savedSearch_;
    Ref<NSString> categoryUrl_;
    std::vector<std::string> shownValues_;
};
