#include "ui/table/DZThumbsViewController.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UINavigationController.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"

namespace {
Ref<NSString> localized(const char* key) {
    return DZBundleLocalizedString(NSString::stringWithUTF8String(key), NS(""));
}
constexpr CGFloat kThumbPitch = 79;
}  // namespace

// ---- DZThumbView -------------------------------------------------------------------------------

bool DZThumbView::initWithFrame(CGRect frame) {
    if (!DZButton::initWithFrame(frame)) return false;
    setBackgroundColor(DZTableStyleSheet()->thumbnailBackgroundColor());
    setClipsToBounds(true);
    setStylesWithSelector(NS("thumbView:"));
    return true;
}

namespace {
// The event lists every finger on the screen.
bool severalOnScreen(UIEvent* event) {
    return event && event->touchList().size() > 1;
}
}  // namespace

void DZThumbView::touchesBegan(NSSet* touches, UIEvent* event) {
    severalFingers_ = severalOnScreen(event);
    DZButton::touchesBegan(touches, event);
}

void DZThumbView::touchesMoved(NSSet* touches, UIEvent* event) {
    severalFingers_ = severalFingers_ || severalOnScreen(event);
    DZButton::touchesMoved(touches, event);
}

void DZThumbView::touchesEnded(NSSet* touches, UIEvent* event) {
    // Two thumbs picked by one gesture would open the browser and then close it again.
    if (severalFingers_ || severalOnScreen(event)) {
        DZButton::touchesCancelled(touches, event);
        return;
    }
    DZButton::touchesEnded(touches, event);
}

Ref<NSString> DZThumbView::thumbURL() {
    return imageForState(UIControlStateNormal);
}

void DZThumbView::setThumbURL(NSString* url) {
    setImage(url, UIControlStateNormal);
}

// ---- DZThumbsTableViewCell ---------------------------------------------------------------------

void DZThumbsTableViewCell::describeClass(RuntimeClass& c) {
    c.method("thumbTouched:", &DZThumbsTableViewCell::thumbTouched);
}

bool DZThumbsTableViewCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!DZTableViewCell::initWithStyle(style, reuseIdentifier)) return false;
    thumbSize_ = 75;
    thumbOrigin_ = CGPointMake(kThumbSpacing, 0);
    columnCount_ = 0;
    setAccessoryType(UITableViewCellAccessoryNone);
    setSelectionStyle(UITableViewCellSelectionStyleNone);
    return true;
}

Ref<NSObject> DZThumbsTableViewCell::object() {
    return Ref<NSObject>(DZPhotoObject(photo_.get()));
}

void DZThumbsTableViewCell::setObject(NSObject* object) {
    setPhoto(DZPhotoOf(object));
}

void DZThumbsTableViewCell::assignPhotoAtIndex(NSInteger index, DZThumbView* view) {
    auto source = photo_ ? photo_->photoSource() : nullptr;
    auto photo = source ? source->photoAtIndex(index) : nullptr;
    if (photo) {
        view->setThumbURL(photo->URLForVersion(DZPhotoVersionThumbnail));
        view->setHidden(false);
    } else {
        view->setThumbURL(nullptr);
        view->setHidden(true);
    }
}

void DZThumbsTableViewCell::setPhoto(DZPhoto* photo) {
    if (photo == photo_.get()) return;
    photo_ = photo;
    if (!photo) {
        for (auto& view : thumbViews_)
            view->setThumbURL(nullptr);
        return;
    }
    NSInteger i = 0;
    for (auto& view : thumbViews_)
        assignPhotoAtIndex(photo->index() + i++, view);
}

void DZThumbsTableViewCell::setColumnCount(NSInteger count) {
    if (count == columnCount_) return;
    if (count < columnCount_) {
        for (auto& view : thumbViews_)
            view->removeFromSuperview();
        thumbViews_.clear();
    }
    columnCount_ = count;
    while (static_cast<NSInteger>(thumbViews_.size()) < count) {
        auto view = make<DZThumbView>(&DZThumbView::initWithFrame, CGRectZero);
        view->addTarget(this, Selector::named("thumbTouched:"), UIControlEventTouchUpInside);
        contentView()->addSubview(view);
        thumbViews_.push_back(view);
        if (photo_)
            assignPhotoAtIndex(photo_->index() + static_cast<NSInteger>(thumbViews_.size()) - 1,
                               view);
    }
    setNeedsLayout();
}

void DZThumbsTableViewCell::setThumbSize(CGFloat size) {
    thumbSize_ = size;
    setNeedsLayout();
}

void DZThumbsTableViewCell::setThumbOrigin(CGPoint origin) {
    thumbOrigin_ = origin;
    setNeedsLayout();
}

void DZThumbsTableViewCell::thumbTouched(DZThumbView* view) {
    NSInteger position = 0;
    for (auto& v : thumbViews_) {
        if (v.get() == view) break;
        ++position;
    }
    if (position >= static_cast<NSInteger>(thumbViews_.size()) || !photo_) return;
    auto source = photo_->photoSource();
    auto photo = source ? source->photoAtIndex(photo_->index() + position) : nullptr;
    if (auto d = delegate_.lock()) d->thumbsTableViewCellDidSelectPhoto(this, photo);
}

void DZThumbsTableViewCell::suspendLoading(bool suspended) {
    for (auto& view : thumbViews_)
        view->suspendLoadingImages(suspended);
}

void DZThumbsTableViewCell::layoutSubviews() {
    DZTableViewCell::layoutSubviews();
    layoutThumbViews();
}

void DZThumbsTableViewCell::layoutThumbViews() {
    CGFloat x = thumbOrigin_.x;
    for (auto& view : thumbViews_) {
        view->setFrame(CGRectMake(x, thumbOrigin_.y, thumbSize_, thumbSize_));
        x += thumbSize_ + kThumbSpacing;
    }
}

// ---- DZThumbsDataSource ------------------------------------------------------------------------

bool DZThumbsDataSource::initWithPhotoSource(DZPhotoSource* source,
                                             DZThumbsTableViewCellDelegate* delegate) {
    if (!init()) return false;
    photoSource_ = source;
    delegate_ = delegate;
    return true;
}

Ref<DZModel> DZThumbsDataSource::model() {
    auto model = photoSource_ ? photoSource_->photoModel() : nullptr;
    return model ? model : DZTableViewDataSource::model();
}

bool DZThumbsDataSource::hasMoreToLoad() {
    if (!photoSource_) return false;
    // A set that does not know its total yet may have more: the row offers them.
    NSInteger total = photoSource_->numberOfPhotos();
    return total == -1 || photoSource_->maxPhotoIndex() + 1 < total;
}

NSInteger DZThumbsDataSource::columnCount() {
    CGFloat width = DZOrientedScreenBounds().size.width;
    return static_cast<NSInteger>(std::round((width - 8) / kThumbPitch));
}

NSInteger DZThumbsDataSource::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    if (!photoSource_ || photoSource_->maxPhotoIndex() < 0) return 0;
    NSInteger columns = columnCount();
    // A screen too narrow for one column shows no rows rather than dividing by zero.
    if (columns <= 0) return 0;
    auto rows = static_cast<NSInteger>(
        std::ceil(static_cast<float>(photoSource_->maxPhotoIndex() + 1) / columns));
    return rows + (hasMoreToLoad() ? 1 : 0);
}

Ref<NSObject> DZThumbsDataSource::tableViewObjectForRowAtIndexPath(UITableView* tableView,
                                                                   NSIndexPath* indexPath) {
    if (!photoSource_) return nullptr;
    if (hasMoreToLoad() &&
        indexPath->row() == tableViewNumberOfRowsInSection(tableView, indexPath->section()) - 1) {
        NSInteger loaded = photoSource_->maxPhotoIndex() + 1;
        NSInteger total = photoSource_->numberOfPhotos();
        Ref<NSString> subtitle =
            total == -1 ? NSString::stringWithFormat(
                              localized("Showing %@ Photos"),
                              DZDecimalStringFromInt(static_cast<int32_t>(loaded)).get())
                        : NSString::stringWithFormat(
                              localized("Showing %@ of %@ Photos"),
                              DZDecimalStringFromInt(static_cast<int32_t>(loaded)).get(),
                              DZDecimalStringFromInt(static_cast<int32_t>(total)).get());
        return DZTableMoreButton::itemWithTextSubtitle(localized("Load More Photos..."), subtitle);
    }
    NSInteger columns = columnCount();
    return Ref<NSObject>(
        DZPhotoObject(photoSource_->photoAtIndex(indexPath->row() * columns).get()));
}

Class DZThumbsDataSource::tableViewCellClassForObject(UITableView* tableView, NSObject* object) {
    if (DZPhotoOf(object)) return DZThumbsTableViewCell::staticClass();
    return DZTableViewDataSource::tableViewCellClassForObject(tableView, object);
}

void DZThumbsDataSource::tableViewCellWillAppearAtIndexPath(UITableView*, UITableViewCell* cell,
                                                            NSIndexPath*) {
    if (auto thumbs = as<DZThumbsTableViewCell>(Ref<UITableViewCell>(cell))) {
        thumbs->setDelegate(delegate_.lock());
        thumbs->setColumnCount(columnCount());
    }
}

Ref<NSString> DZThumbsDataSource::titleForEmpty() {
    return localized("No Photos");
}
Ref<NSString> DZThumbsDataSource::subtitleForEmpty() {
    return localized("This photo set contains no photos.");
}
Ref<UIImage> DZThumbsDataSource::imageForError(NSError*) {
    return DZURLCache::sharedCache()->imageForURL(
        NS("bundle://Dodiz20.bundle/images/photoDefault.png"));
}
Ref<NSString> DZThumbsDataSource::subtitleForError(NSError*) {
    return localized("Unable to load this photo set.");
}

// ---- DZThumbsViewController --------------------------------------------------------------------

void DZThumbsViewController::describeClass(RuntimeClass& c) {
    c.method("initWithQuery:", &DZThumbsViewController::initWithQuery)
        .method("removeFromSupercontroller", &DZThumbsViewController::doneAction);
}

bool DZThumbsViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZTableViewController::initWithNibName(nibName, bundle)) return false;
    setStatusBarStyle(UIStatusBarStyleBlackTranslucent);
    setNavigationBarStyle(UIBarStyleBlackTranslucent);
    setNavigationBarTintColor(nullptr);
    setWantsFullScreenLayout(true);
    setHidesBottomBarWhenPushed(true);
    return true;
}

bool DZThumbsViewController::initWithDelegate(DZThumbsViewControllerDelegate* delegate) {
    if (!init()) return false;
    setDelegate(delegate);
    return true;
}

bool DZThumbsViewController::initWithQuery(NSDictionary* query) {
    auto delegate = query ? query->objectForKey(NS("delegate")) : nullptr;
    if (auto d = dynamic_cast<DZThumbsViewControllerDelegate*>(delegate.get()))
        return initWithDelegate(d);
    return init();
}

void DZThumbsViewController::dealloc() {
    if (photoSource_)
        if (auto model = photoSource_->photoModel())
            if (auto delegates = model->delegates()) delegates->removeObject(this);
    photoSource_ = nullptr;
    DZTableViewController::dealloc();
}

void DZThumbsViewController::doneAction() {
    removeFromSupercontroller(this);
}

void DZThumbsViewController::setDelegate(DZThumbsViewControllerDelegate* delegate) {
    delegate_ = delegate;
    if (!delegate) return;
    auto empty = make<UIView>();
    navigationItem()->setLeftBarButtonItem(
        make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, empty.get()));
    navigationItem()->setRightBarButtonItem(make<UIBarButtonItem>(
        &UIBarButtonItem::initWithTitle, localized("Done").get(), UIBarButtonItemStyleBordered,
        static_cast<NSObject*>(this), Selector::named("removeFromSupercontroller")));
}

void DZThumbsViewController::setPhotoSource(DZPhotoSource* source) {
    if (source == photoSource_.get()) return;
    photoSource_ = source;
    setTitle(source ? source->title() : nullptr);
    setDataSource(createDataSource());
}

Ref<DZThumbsDataSource> DZThumbsViewController::createDataSource() {
    return make<DZThumbsDataSource>(&DZThumbsDataSource::initWithPhotoSource, photoSource_.get(),
                                    static_cast<DZThumbsTableViewCellDelegate*>(this));
}

Ref<DZPhotoViewController> DZThumbsViewController::createPhotoViewController() {
    return make<DZPhotoViewController>();
}

void DZThumbsViewController::loadView() {
    DZTableViewController::loadView();
    auto table = tableView();
    table->setRowHeight(kRowHeight);
    table->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    table->setBackgroundColor(DZStyleSheet::globalStyleSheet()->backgroundColor());
    table->setSeparatorStyle(UITableViewCellSeparatorStyleNone);
    updateTableLayout();
}

void DZThumbsViewController::updateTableLayout() {
    auto table = tableView();
    // Room at the top for the bars where they lie over the grid: a grid laid out below them
    // would otherwise start with an empty band as high as they are.
    CGFloat covered = DZStatusAndNavBarHeight();
    if (auto above = table->superview(); above && table->window()) {
        // Its frame's top, not its bounds' origin, which moves with the scrolling.
        CGFloat top = above->convertPoint(table->frame().origin, nullptr).y;
        covered = std::max<CGFloat>(0, covered - top);
    }
    UIEdgeInsets before = table->contentInset();
    bool atTop = table->contentOffset().y == -before.top;
    table->setContentInset(UIEdgeInsetsMake(covered + 4, 0, 0, 0));
    table->setScrollIndicatorInsets(UIEdgeInsetsMake(covered, 0, 0, 0));
    if (atTop) table->setContentOffset(CGPointMake(table->contentOffset().x, -(covered + 4)));
}

void DZThumbsViewController::viewWillAppear(bool animated) {
    DZTableViewController::viewWillAppear(animated);
    updateTableLayout();
}

void DZThumbsViewController::viewDidAppear(bool animated) {
    DZTableViewController::viewDidAppear(animated);
    updateTableLayout();
    suspendLoadingThumbnails(false);
}

void DZThumbsViewController::viewDidDisappear(bool animated) {
    suspendLoadingThumbnails(true);
    DZTableViewController::viewDidDisappear(animated);
}

void DZThumbsViewController::suspendLoadingThumbnails(bool suspended) {
    if (!photoSource_ || photoSource_->maxPhotoIndex() < 0 || !isViewLoaded()) return;
    auto cells = tableView()->visibleCells();
    for (NSObject* cell : *cells)
        if (auto thumbs = as<DZThumbsTableViewCell>(Ref<NSObject>(cell)))
            thumbs->suspendLoading(suspended);
}

bool DZThumbsViewController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation o) {
    return DZOrientationAllowed(o);
}

void DZThumbsViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation o) {
    DZTableViewController::didRotateFromInterfaceOrientation(o);
    updateTableLayout();
    tableView()->reloadData();
}

void DZThumbsViewController::didRefreshModel() {
    DZTableViewController::didRefreshModel();
    setTitle(photoSource_ ? photoSource_->title() : nullptr);
}

CGRect DZThumbsViewController::rectForOverlayView() {
    CGRect r = DZTableViewController::rectForOverlayView();
    CGFloat bars = DZStatusAndNavBarHeight();
    r.origin.y += bars - tableView()->frame().origin.y;
    return DZRectShrinkSize(r, 0, bars);
}

bool DZThumbsViewController::persistView(NSMutableDictionary* state) {
    if (auto d = delegate_.lock())
        if (auto path = DZNavigator::navigator()->pathForObject(objc_detail::objectOf(d.get())))
            state->setObject(path, NS("delegate"));
    return DZTableViewController::persistView(state);
}

void DZThumbsViewController::restoreView(NSDictionary* state) {
    DZTableViewController::restoreView(state);
    if (auto path = as<NSString>(state->objectForKey(NS("delegate"))))
        if (auto d = dynamic_cast<DZThumbsViewControllerDelegate*>(
                DZNavigator::navigator()->objectForPath(path).get()))
            setDelegate(d);
}

void DZThumbsViewController::thumbsTableViewCellDidSelectPhoto(DZThumbsTableViewCell*,
                                                               DZPhoto* photo) {
    auto d = delegate_.lock();
    if (d) d->thumbsViewControllerDidSelectPhoto(this, photo);
    if (d && respondsTo(d.get(), Selector::named("thumbsViewController:shouldNavigateToPhoto:")) &&
        !d->thumbsViewControllerShouldNavigateToPhoto(this, photo))
        return;
    Ref<NSString> url;
    if (photo && respondsTo(photo, Selector::named("URLValueWithName:")))
        url = photo->URLValueWithName(NS("DZPhotoViewController"));
    if (url) {
        DZNavigateToURLPath(url);
        return;
    }
    auto controller = createPhotoViewController();
    controller->setCenterPhoto(photo);
    if (auto nav = navigationController()) nav->pushViewController(controller, true);
}
