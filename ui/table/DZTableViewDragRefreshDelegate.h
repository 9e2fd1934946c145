// Pull-to-refresh: a table delegate that puts a header above the table's first row, watches the
// drag, reloads the model from the network when the user lets go far enough past the top, and
// keeps the header in view while the model loads (whoever started the load). Main thread only.
#pragma once

#include "ui/core/DZModel.h"
#include "ui/table/DZTableView.h"

class DZDefaultStyleSheet;
class NSDate;
class UIActivityIndicatorView;
class UIFont;
class UIImage;
class UIImageView;

// The header's looks: variables that the category "DZDragRefreshHeader" adds to the default
// style sheet.
Ref<UIFont> tableRefreshHeaderLastUpdatedFont(DZDefaultStyleSheet* sheet);
Ref<UIFont> tableRefreshHeaderStatusFont(DZDefaultStyleSheet* sheet);
Ref<UIColor> tableRefreshHeaderBackgroundColor(DZDefaultStyleSheet* sheet);
Ref<UIColor> tableRefreshHeaderTextColor(DZDefaultStyleSheet* sheet);
Ref<UIColor> tableRefreshHeaderTextShadowColor(DZDefaultStyleSheet* sheet);
CGSize tableRefreshHeaderTextShadowOffset(DZDefaultStyleSheet* sheet);
Ref<UIImage> tableRefreshHeaderArrowImage(DZDefaultStyleSheet* sheet);

// "DragRefreshTableReload": posted when a pull lets go far enough, before the reload.
extern NSString* const DZDragRefreshTableReloadNotification;

enum DZTableHeaderDragRefreshStatus : NSInteger {
    DZTableHeaderDragRefreshReleaseToReload = 0,
    DZTableHeaderDragRefreshPullToReload = 1,
    DZTableHeaderDragRefreshLoading = 2,
};

class DZTableHeaderDragRefreshView : public UIView {
    NS_OBJECT(DZTableHeaderDragRefreshView, UIView)
    bool initWithFrame(CGRect frame) override;
    void setStatus(NSInteger status);
    NSInteger status() { return status_; }
    void showActivity(bool show, bool animated);
    void setImageFlipped(bool flipped);
    void setUpdateDate(NSDate* date);
    void setCurrentDate();
    Ref<NSDate> lastUpdatedDate() { return lastUpdatedDate_; }
    Ref<UILabel> lastUpdatedLabel() { return lastUpdatedLabel_; }
    Ref<UILabel> statusLabel() { return statusLabel_; }
    Ref<UIImageView> arrowImage() { return arrowImage_; }
    Ref<UIActivityIndicatorView> activityView() { return activityView_; }

private:
    Ref<NSDate> lastUpdatedDate_;
    Ref<UILabel> lastUpdatedLabel_;
    Ref<UILabel> statusLabel_;
    Ref<UIImageView> arrowImage_;
    Ref<UIActivityIndicatorView> activityView_;
    NSInteger status_ = -1;
};

class DZTableViewDragRefreshDelegate : public DZTableViewVarHeightDelegate, public DZModelDelegate {
    NS_OBJECT(DZTableViewDragRefreshDelegate, DZTableViewVarHeightDelegate)
    static void describeClass(RuntimeClass& c);
    bool initWithController(DZTableViewController* controller);
    void dealloc() override;
    Ref<DZTableHeaderDragRefreshView> headerView() { return headerView_; }

    void scrollViewDidScroll(UIScrollView* scrollView) override;
    void scrollViewDidEndDraggingWillDecelerate(UIScrollView* scrollView, bool decelerate) override;

    void modelDidStartLoad(DZModelProtocol* model) override;
    void modelDidFinishLoad(DZModelProtocol* model) override;
    void modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) override;
    void modelDidCancelLoad(DZModelProtocol* model) override;

private:
    void loadEnded();
    Ref<UITableView> table();

    Ref<DZTableHeaderDragRefreshView> headerView_;
    Ref<DZModel> model_;
};
