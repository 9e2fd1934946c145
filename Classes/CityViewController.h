// The location picker's metro screen (a state's metros) and, for a metro with sub-areas, its
// sub-area screen, scraped live from the metro's home page. Choosing a place stores it as the
// location, adds it to the recent ones and closes the whole picker.
#pragma once

#include "Classes/MetroItem.h"
#include "Foundation/NSArray.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class NSArray;
class SuburbPage;

class CityViewController : public UIViewController,
                           public UITableViewDataSource,
                           public UITableViewDelegate,
                           public NKHTTPRequestDelegate {
    NS_OBJECT(CityViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // ---- outlets of the interface file ------------------------------------------------------
    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }
    Ref<UINavigationBar> navigationBar() { return navigationBar_; }
    void setNavigationBar(UINavigationBar* v) { navigationBar_ = v; }

    Ref<NSArray> metroArray() { return metroArray_; }
    void setMetroArray(NSArray* v) { metroArray_ = v; }
    Ref<MetroItem> parentMetro() { return parentMetro_; }
    Ref<UIView> activityLabel() { return activityLabel_; }

    // Lists the metro's sub-areas once its home page has downloaded.
    void loadSuburb(MetroItem* metro);
    void viewDidLoad() override;
    void selectionDone(NSObject* sender);

    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;

    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void dealloc() override;

private:
    // Stores the place as the location and closes every screen of the picker.
    void choose(MetroItem* metro);

    Ref<NSArray> metroArray_;
    Ref<UITableView> myTableView_;
    Ref<UINavigationBar> navigationBar_;
    Ref<UIView> activityLabel_;
    Ref<MetroItem> parentMetro_;
    Ref<SuburbPage> suburbPage_;
    bool loading_ = false;
};
