// The screen controller of every framework table: a table view, the data source whose model
// drives it, and the table delegate. The model controller decides from the model's state when
// to show loading, model, empty or error content; this class supplies what each looks like (an
// activity label, an error view, the table), plus a banner pinned to the table's bottom, the
// overlay above it, a slide-in row menu, keyboard resizing, row animations of model changes
// and the scroll position kept by the navigator. Main thread only.
#pragma once

#include <vector>

#include "Foundation/NSTimer.h"
#include "UIKit/UITableView.h"
#include "ui/core/DZModelViewController.h"

class DZTableViewDataSource;
class DZTableViewDelegate;
class NSMutableDictionary;

class DZTableViewController : public DZModelViewController {
    NS_OBJECT(DZTableViewController, DZModelViewController)
    static void describeClass(RuntimeClass& c);

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithStyle(UITableViewStyle style);
    void dealloc() override;
    void loadView() override;
    void viewDidUnload() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewWillDisappear(bool animated) override;
    void setEditing(bool editing, bool animated) override;
    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;
    void keyboardDidAppear(bool animated, CGRect bounds) override;
    void keyboardWillDisappear(bool animated, CGRect bounds) override;
    void keyboardDidDisappear(bool animated, CGRect bounds) override;

    // ---- views -------------------------------------------------------------------------------
    // Made on first read: a DZTableView filling the view.
    Ref<UITableView> tableView();
    void setTableView(UITableView* tableView);
    Ref<UIView> tableBannerView() { return tableBannerView_; }
    void setTableBannerView(UIView* view);
    void setTableBannerView(UIView* view, bool animated);
    // The container over the table that holds the loading, error and empty views.
    Ref<UIView> tableOverlayView() { return tableOverlayView_; }
    void setTableOverlayView(UIView* view) { tableOverlayView_ = view; }
    void setTableOverlayView(UIView* view, bool animated);
    Ref<UIView> loadingView() { return loadingView_; }
    void setLoadingView(UIView* view);
    Ref<UIView> errorView() { return errorView_; }
    void setErrorView(UIView* view);
    Ref<UIView> emptyView() { return emptyView_; }
    void setEmptyView(UIView* view);
    Ref<UIView> menuView() { return menuView_; }
    UITableViewStyle tableViewStyle() { return tableViewStyle_; }
    void setTableViewStyle(UITableViewStyle style) { tableViewStyle_ = style; }
    bool variableHeightRows() { return variableHeightRows_; }
    void setVariableHeightRows(bool variable);
    bool showTableShadows() { return showTableShadows_; }
    void setShowTableShadows(bool show) { showTableShadows_ = show; }

    // ---- data source and delegate ---------------------------------------------------------------
    Ref<DZTableViewDataSource> dataSource() { return dataSource_; }
    virtual void setDataSource(DZTableViewDataSource* dataSource);
    void createInterstitialModel() override;
    virtual Ref<DZTableViewDelegate> createDelegate();
    void updateTableDelegate();
    // The delegate installed now (nil before the model was first shown).
    Ref<DZTableViewDelegate> tableDelegate() { return tableDelegate_; }

    // ---- view states ---------------------------------------------------------------------------
    bool canShowModel() override;
    void showModel(bool show) override;
    void showLoading(bool show) override;
    void showError(bool show) override;
    void showEmpty(bool show) override;
    void didLoadModel(bool firstTime) override;
    void didShowModel(bool firstTime) override;
    void beginUpdates();
    void endUpdates();
    Ref<NSString> defaultTitleForLoading();

    // ---- model changes -------------------------------------------------------------------------
    void modelDidUpdateObject(DZModelProtocol* model, NSObject* object,
                              NSIndexPath* indexPath) override;
    void modelDidInsertObject(DZModelProtocol* model, NSObject* object,
                              NSIndexPath* indexPath) override;
    void modelDidDeleteObject(DZModelProtocol* model, NSObject* object,
                              NSIndexPath* indexPath) override;

    // ---- overlay and banner ---------------------------------------------------------------------
    void addToOverlayView(UIView* view);
    void resetOverlayView();
    void addSubviewOverTableView(UIView* view);
    virtual CGRect rectForOverlayView();
    CGRect rectForBannerView();
    void layoutOverlayView();
    void layoutBannerView();
    void fadeOutView(UIView* view);

    // ---- row menu ------------------------------------------------------------------------------
    void showMenu(UIView* view, UITableViewCell* cell, bool animated);
    void hideMenu(bool animated);
    virtual void didBeginDragging();
    // A cell is about to show a row, perhaps another one than before: a menu in it, showing or
    // still sliding away, belongs to the old row and goes at once.
    void cellWillShowRow(UITableViewCell* cell);
    virtual void didEndDragging() {}

    // ---- selection -----------------------------------------------------------------------------
    virtual void didSelectObject(NSObject* object, NSIndexPath* indexPath);
    virtual bool shouldOpenURL(NSString*) { return true; }

private:
    enum class Change { update, insert, remove };
    void modelDidChangeObject(DZModelProtocol* model, NSObject* object, NSIndexPath* indexPath,
                              Change change);
    void setOverlaySlot(Ref<UIView>& slot, UIView* view);

    Ref<UITableView> tableView_;
    Ref<UIView> tableBannerView_;
    Ref<UIView> tableOverlayView_;
    Ref<UIView> loadingView_, errorView_, emptyView_;
    Ref<NSTimer> bannerTimer_;
    Ref<UIView> menuView_;
    Ref<UITableViewCell> menuCell_;
    // The menu sliding away after hideMenu, and the cell it leaves.
    Weak<UIView> leavingMenu_;
    Weak<UITableViewCell> leavingCell_;
    // The row's views the menu hid, shown again when it goes.
    std::vector<Ref<UIView>> menuHidden_;
    UITableViewStyle tableViewStyle_ = UITableViewStylePlain;
    NSInteger lastInterfaceOrientation_ = 0;
    bool variableHeightRows_ = false;
    bool showTableShadows_ = false;
    Ref<DZTableViewDataSource> dataSource_;
    Ref<DZTableViewDelegate> tableDelegate_;
};
