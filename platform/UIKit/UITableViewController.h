// A controller whose view is a table: it is the table's data source and delegate, reloads the
// table the first time it appears, clears the selection each time it appears and flashes the
// scroll indicators once it has.
#pragma once

#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"

class UITableViewController : public UIViewController,
                              public UITableViewDataSource,
                              public UITableViewDelegate {
    NS_OBJECT(UITableViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // The plain style.
    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    virtual bool initWithStyle(UITableViewStyle style);

    // The interface file's view when there is one, else a table of the style filling the
    // application frame; the controller becomes the table's data source and delegate.
    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void setEditing(bool editing, bool animated) override;

    Ref<UITableView> tableView();
    void setTableView(UITableView* tableView);
    bool clearsSelectionOnViewWillAppear() { return clearsSelection_; }
    void setClearsSelectionOnViewWillAppear(bool clears) { clearsSelection_ = clears; }

    // The data source's required answers: no rows until a subclass says otherwise.
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 0; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) override {
        return nullptr;
    }

private:
    UITableViewStyle style_ = UITableViewStylePlain;
    bool clearsSelection_ = true;
    bool reloadedOnce_ = false;
};
