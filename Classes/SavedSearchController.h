// The saved searches, listed by keyword (the default search is not among them). Tapping a row
// runs the search; its detail button opens the search's own settings.
#pragma once

#include "UIKit/UITableViewController.h"

class NSArray;

class SavedSearchController : public UITableViewController {
    NS_OBJECT(SavedSearchController, UITableViewController)
    static void describeClass(RuntimeClass& c);

    Ref<NSArray> savedSearchList() { return savedSearchList_; }

    void viewWillAppear(bool animated) override;
    // Reads every saved search but the default one.
    void loadDb();

    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;
    void tableViewAccessoryButtonTappedForRowWithIndexPath(UITableView* tableView,
                                                           NSIndexPath* indexPath) override;

    void dealloc() override;

private:
    Ref<NSArray> savedSearchList_;
};
