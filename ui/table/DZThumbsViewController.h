// The thumbnail grid: every loaded photo of a photo source as 75-point thumbnails on a 79-point
// pitch, one table row a line, with a "Load More Photos..." row while the source has more. It
// opens from the browser's "See All" (and hands the photo tapped back), or stands alone and
// opens a browser itself. Thumbnail loading is suspended while the grid is off screen.
// Main thread only.
#pragma once

#include <vector>

#include "Foundation/NSArray.h"
#include "ui/style/DZButton.h"
#include "ui/table/DZPhotoSource.h"
#include "ui/table/DZPhotoViewController.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewController.h"
#include "ui/table/DZTableViewDataSource.h"

class DZThumbsTableViewCell;

class DZThumbsTableViewCellDelegate {
public:
    virtual ~DZThumbsTableViewCellDelegate() = default;
    virtual void thumbsTableViewCellDidSelectPhoto(DZThumbsTableViewCell* cell, DZPhoto* photo) = 0;
};

class DZThumbView : public DZButton {
    NS_OBJECT(DZThumbView, DZButton)

public:
    bool initWithFrame(CGRect frame) override;
    Ref<NSString> thumbURL();
    void setThumbURL(NSString* url);
    // A thumb picks its photo for a finger alone on the screen: one that shares it with another
    // at any time (a pinch across a row) lifts as a cancelled touch, picking nothing.
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;

private:
    bool severalFingers_ = false;
};

class DZThumbsTableViewCell : public DZTableViewCell {
    NS_OBJECT(DZThumbsTableViewCell, DZTableViewCell)
    static void describeClass(RuntimeClass& c);

public:
    static constexpr CGFloat kThumbSpacing = 4;

    bool initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) override;
    Ref<NSObject> object() override;
    void setObject(NSObject* object) override;
    Ref<DZPhoto> photo() { return photo_; }
    void setPhoto(DZPhoto* photo);
    NSInteger columnCount() { return columnCount_; }
    void setColumnCount(NSInteger count);
    CGFloat thumbSize() { return thumbSize_; }
    void setThumbSize(CGFloat size);
    CGPoint thumbOrigin() { return thumbOrigin_; }
    void setThumbOrigin(CGPoint origin);
    Ref<DZThumbsTableViewCellDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZThumbsTableViewCellDelegate* delegate) { delegate_ = delegate; }
    const std::vector<Ref<DZThumbView>>& thumbViews() const { return thumbViews_; }

    void thumbTouched(DZThumbView* view);
    void suspendLoading(bool suspended);
    void layoutSubviews() override;

private:
    void assignPhotoAtIndex(NSInteger index, DZThumbView* view);
    void layoutThumbViews();

    Ref<DZPhoto> photo_;
    std::vector<Ref<DZThumbView>> thumbViews_;
    CGFloat thumbSize_ = 75;
    CGPoint thumbOrigin_ = CGPointMake(kThumbSpacing, 0);
    NSInteger columnCount_ = 0;
    Weak<DZThumbsTableViewCellDelegate> delegate_;
};

class DZThumbsDataSource : public DZTableViewDataSource {
    NS_OBJECT(DZThumbsDataSource, DZTableViewDataSource)

public:
    bool initWithPhotoSource(DZPhotoSource* source, DZThumbsTableViewCellDelegate* delegate);
    Ref<DZPhotoSource> photoSource() { return photoSource_; }
    void setPhotoSource(DZPhotoSource* source) { photoSource_ = source; }
    Ref<DZThumbsTableViewCellDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZThumbsTableViewCellDelegate* delegate) { delegate_ = delegate; }

    bool hasMoreToLoad();
    // Columns that fit the oriented screen's width on the 79-point pitch.
    NSInteger columnCount();

    // The photo source's model: the table controller loads and watches it.
    Ref<DZModel> model() override;

    NSInteger tableViewNumberOfRowsInSection(UITableView* tableView, NSInteger section) override;
    Ref<NSObject> tableViewObjectForRowAtIndexPath(UITableView* tableView,
                                                   NSIndexPath* indexPath) override;
    Class tableViewCellClassForObject(UITableView* tableView, NSObject* object) override;
    void tableViewCellWillAppearAtIndexPath(UITableView* tableView, UITableViewCell* cell,
                                            NSIndexPath* indexPath) override;
    Ref<NSString> titleForEmpty() override;
    Ref<NSString> subtitleForEmpty() override;
    Ref<UIImage> imageForError(NSError* error) override;
    Ref<NSString> subtitleForError(NSError* error) override;

private:
    Ref<DZPhotoSource> photoSource_;
    Weak<DZThumbsTableViewCellDelegate> delegate_;
};

class DZThumbsViewController : public DZTableViewController, public DZThumbsTableViewCellDelegate {
    NS_OBJECT(DZThumbsViewController, DZTableViewController)
    static void describeClass(RuntimeClass& c);

public:
    static constexpr CGFloat kRowHeight = 79;

    bool initWithNibName(NSString* nibName, NSBundle* bundle) override;
    bool initWithDelegate(DZThumbsViewControllerDelegate* delegate);
    bool initWithQuery(NSDictionary* query);
    void dealloc() override;

    Ref<DZThumbsViewControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZThumbsViewControllerDelegate* delegate);
    Ref<DZPhotoSource> photoSource() { return photoSource_; }
    void setPhotoSource(DZPhotoSource* source);

    virtual Ref<DZThumbsDataSource> createDataSource();
    virtual Ref<DZPhotoViewController> createPhotoViewController();

    void loadView() override;
    void viewWillAppear(bool animated) override;
    void viewDidAppear(bool animated) override;
    void viewDidDisappear(bool animated) override;
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void didRotateFromInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void didRefreshModel() override;
    CGRect rectForOverlayView() override;
    bool persistView(NSMutableDictionary* state) override;
    void restoreView(NSDictionary* state) override;

    void updateTableLayout();
    // The Done button: the grid leaves the screen.
    void doneAction();
    void suspendLoadingThumbnails(bool suspended);
    void thumbsTableViewCellDidSelectPhoto(DZThumbsTableViewCell* cell, DZPhoto* photo) override;

private:
    Ref<DZPhotoSource> photoSource_;
    Weak<DZThumbsViewControllerDelegate> delegate_;
};
