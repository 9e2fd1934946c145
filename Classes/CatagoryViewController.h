// The category picker: the chosen city's categories grouped by section, with a section index at
// the right edge. The lists come from the store; the city's home page is downloaded again when
// the chosen location changed or the stored lists are of an older version.
#pragma once

#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class Catagory;
class CatagoryPage;
class NSManagedObjectContext;
class NSMutableArray;

class CatagoryViewController : public UIViewController,
                               public UITableViewDataSource,
                               public UITableViewDelegate,
                               public NKHTTPRequestDelegate {
    NS_OBJECT(CatagoryViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }

    Ref<NSMutableArray> sectionArray() { return sectionArray_; }
    Ref<NSMutableArray> indexArray() { return indexArray_; }
    Ref<UIView> activityLabel() { return activityLabel_; }
    // The city page the lists are read from.
    static Ref<NSString> catagoryPageUrl();

    void viewDidLoad() override;
    void viewDidAppear(bool animated) override;
    void loadCatagories();
    Ref<Catagory> getCatagoryAt(NSIndexPath* indexPath);
    void selectionDone(NSObject* sender);

    NSInteger numberOfSectionsInTableView(UITableView* tableView) override;
    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView* tableView,
                                                   NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    Ref<NSArray> sectionIndexTitlesForTableView(UITableView* tableView) override;
    NSInteger tableViewSectionForSectionIndexTitle(UITableView* tableView, NSString* title,
                                                   NSInteger index) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void dealloc() override;

private:
    Ref<NSManagedObjectContext> managedObjectContext_;
    Ref<NSMutableArray> sectionArray_;
    Ref<NSMutableArray> indexArray_;
    Ref<CatagoryPage> page_;
    Ref<NSString> pageUrl_;
    Ref<UITableView> myTableView_;
    Ref<UIView> activityLabel_;
};
