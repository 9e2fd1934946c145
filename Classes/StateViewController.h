// The location picker's first screen: recent locations, then the states of the chosen region,
// with a region picker behind the tool-bar button. The lists come from the store; the site's
// location index is downloaded again when the region holds fewer than 10 states or ten days
// have passed. A state opens its metros (CityViewController).
#pragma once

#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"
#include "external/nk-http-request/Classes/NKHTTPRequestDelegate.h"

class MetroPage;
class NSArray;
class NSManagedObjectContext;
class NSMutableArray;

class StateViewController : public UIViewController,
                            public UITableViewDataSource,
                            public UITableViewDelegate,
                            public UIPickerViewDataSource,
                            public UIPickerViewDelegate,
                            public NKHTTPRequestDelegate {
    NS_OBJECT(StateViewController, UIViewController)
    static void describeClass(RuntimeClass& c);

    // ---- outlets of the interface file ------------------------------------------------------
    Ref<UITableView> myTableView() { return myTableView_; }
    void setMyTableView(UITableView* v) { myTableView_ = v; }
    Ref<UIPickerView> regionPickerView() { return regionPickerView_; }
    void setRegionPickerView(UIPickerView* v) { regionPickerView_ = v; }
    Ref<UIBarButtonItem> regionButton() { return regionButton_; }
    void setRegionButton(UIBarButtonItem* v) { regionButton_ = v; }

    Ref<NSArray> recentLocationArray() { return recentLocationArray_; }
    Ref<NSMutableArray> stateArray() { return stateArray_; }
    Ref<NSArray> updatedStateArray() { return updatedStateArray_; }
    Ref<NSArray> regionsArray() { return regionsArray_; }
    Ref<UIView> activityLabel() { return activityLabel_; }

    void viewDidLoad() override;
    void loadRegions();
    void loadRecentLocation();
    void loadStates();
    // Replaces the stored locations with the last scraped list.
    void updateManagedObjects();
    // The metros as MetroItem records, with their sub-area mark.
    static Ref<NSArray> convertMetroToMetroItemArray(NSArray* metros);
    // YES when the URL is the site root of one of the metros whose home page has sub-areas.
    static bool metroHasSuburb(NSString* url);
    void regionButtonPressed(NSObject* sender);
    void selectionDone(NSObject* sender);

    // ---- table -------------------------------------------------------------------------------
    NSInteger numberOfSectionsInTableView(UITableView* tableView) override;
    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView* tableView,
                                                   NSInteger section) override;
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;

    // ---- region picker -----------------------------------------------------------------------
    NSInteger numberOfComponentsInPickerView(UIPickerView* pickerView) override;
    NSInteger pickerViewNumberOfRowsInComponent(UIPickerView* pickerView,
                                                NSInteger component) override;
    Ref<NSString> pickerViewTitleForRowForComponent(UIPickerView* pickerView, NSInteger row,
                                                    NSInteger component) override;

    // ---- the location index's download ----------------------------------------------------
    void requestStarted(NKHTTPRequest* request) override;
    void requestReceivedResponseHeaders(NKHTTPRequest* request) override;
    void requestFinished(NKHTTPRequest* request) override;
    void requestFailed(NKHTTPRequest* request) override;

    void dealloc() override;

private:
    Ref<NSManagedObjectContext> managedObjectContext_;
    Ref<NSArray> recentLocationArray_;
    Ref<NSMutableArray> stateArray_;
    Ref<NSArray> updatedStateArray_;
    Ref<MetroPage> page_;
    Ref<UITableView> myTableView_;
    Ref<UIView> activityLabel_;
    Ref<UIPickerView> regionPickerView_;
    Ref<UIBarButtonItem> regionButton_;
    Ref<NSArray> regionsArray_;
};
