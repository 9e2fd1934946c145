#include "ui/table/DZTableViewDragRefreshDelegate.h"

#include <numbers>

#include "Foundation/NSArray.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSNotification.h"
#include "QuartzCore/CALayer.h"
#include "QuartzCore/CATransform3D.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableViewController.h"

NSString* const DZDragRefreshTableReloadNotification = NS("DragRefreshTableReload");

namespace {

// A pull this far past the top (content offset y) reloads; a loading table keeps this much of
// the header in view.
constexpr CGFloat kRefreshDeltaY = -65;
constexpr CGFloat kHeaderVisibleHeight = 60;
constexpr NSTimeInterval kFlipDuration = 0.2;
constexpr NSTimeInterval kInsetDuration = 0.3;
// Network only.
constexpr int32_t kReloadPolicy = 4;

Ref<NSDate> loadedTimeOf(DZModel* model) {
    if (auto requestModel = as<DZURLRequestModel>(model)) return requestModel->loadedTime();
    return nullptr;
}

bool answersLoadedTime(DZModel* model) {
    return is<DZURLRequestModel>(model);
}

}  // namespace

// ---- the style sheet's variables ----------------------------------------------------------------

Ref<UIFont> tableRefreshHeaderLastUpdatedFont(DZDefaultStyleSheet*) {
    return UIFont::systemFontOfSize(12);
}

Ref<UIFont> tableRefreshHeaderStatusFont(DZDefaultStyleSheet*) {
    return UIFont::boldSystemFontOfSize(14);
}

Ref<UIColor> tableRefreshHeaderBackgroundColor(DZDefaultStyleSheet*) {
    return UIColor::colorWithRed(226 / 255.0f, 231 / 255.0f, 237 / 255.0f, 1);
}

Ref<UIColor> tableRefreshHeaderTextColor(DZDefaultStyleSheet*) {
    return UIColor::colorWithRed(109 / 255.0f, 128 / 255.0f, 153 / 255.0f, 1);
}

Ref<UIColor> tableRefreshHeaderTextShadowColor(DZDefaultStyleSheet*) {
    return UIColor::colorWithWhite(1, 0.9f);
}

CGSize tableRefreshHeaderTextShadowOffset(DZDefaultStyleSheet*) {
    return CGSizeMake(0, 1);
}

Ref<UIImage> tableRefreshHeaderArrowImage(DZDefaultStyleSheet*) {
    return DZURLCache::sharedCache()->imageForURL(
        NS("bundle://Dodiz20.bundle/images/blueArrow.png"));
}

// ---- DZTableHeaderDragRefreshView ---------------------------------------------------------------

bool DZTableHeaderDragRefreshView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    auto sheet = DZTableStyleSheet();
    CGFloat w = frame.size.width, h = frame.size.height;
    setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    auto makeLabel = [&](CGRect labelFrame, UIFont* font) {
        auto label = make<UILabel>(&UILabel::initWithFrame, labelFrame);
        label->setAutoresizingMask(static_cast<UIViewAutoresizing>(
            UIViewAutoresizingFlexibleLeftMargin | UIViewAutoresizingFlexibleRightMargin |
            UIViewAutoresizingFlexibleWidth));
        label->setFont(font);
        label->setTextColor(tableRefreshHeaderTextColor(sheet.get()).get());
        label->setShadowColor(tableRefreshHeaderTextShadowColor(sheet.get()).get());
        label->setShadowOffset(tableRefreshHeaderTextShadowOffset(sheet.get()));
        label->setBackgroundColor(UIColor::clearColor().get());
        label->setTextAlignment(UITextAlignmentCenter);
        addSubview(label);
        return label;
    };
    lastUpdatedLabel_ = makeLabel(CGRectMake(0, h - 30, w, 20),
                                  tableRefreshHeaderLastUpdatedFont(sheet.get()).get());
    statusLabel_ =
        makeLabel(CGRectMake(0, h - 48, w, 20), tableRefreshHeaderStatusFont(sheet.get()).get());
    auto arrow = tableRefreshHeaderArrowImage(sheet.get());
    CGSize arrowSize = arrow ? arrow->size() : CGSizeMake(0, 0);
    arrowImage_ = make<UIImageView>(&UIImageView::initWithFrame,
                                    CGRectMake(25, h - 60, arrowSize.width, arrowSize.height));
    arrowImage_->setImage(arrow.get());
    arrowImage_->layer()->setTransform(
        CATransform3DMakeRotation(static_cast<CGFloat>(std::numbers::pi), 0, 0, 1));
    addSubview(arrowImage_);
    activityView_ = make<UIActivityIndicatorView>(
        &UIActivityIndicatorView::initWithActivityIndicatorStyle, UIActivityIndicatorViewStyleGray);
    activityView_->setFrame(CGRectMake(30, h - 38, 20, 20));
    activityView_->setHidesWhenStopped(true);
    addSubview(activityView_);
    setStatus(DZTableHeaderDragRefreshPullToReload);
    return true;
}

void DZTableHeaderDragRefreshView::setStatus(NSInteger status) {
    Ref<NSString> text;
    switch (status) {
        case DZTableHeaderDragRefreshReleaseToReload:
            showActivity(false, true);
            setImageFlipped(true);
            text = DZBundleLocalizedString(NS("Release to update..."),
                                           NS("Release the table view to update the contents."));
            break;
        case DZTableHeaderDragRefreshPullToReload:
            showActivity(false, true);
            setImageFlipped(false);
            text = DZBundleLocalizedString(NS("Pull down to update..."),
                                           NS("Drag the table view down to update the contents."));
            break;
        case DZTableHeaderDragRefreshLoading:
            showActivity(true, true);
            setImageFlipped(false);
            text = DZBundleLocalizedString(NS("Updating..."),
                                           NS("Updating the contents of a table view."));
            break;
        default:
            return;
    }
    status_ = status;
    statusLabel_->setText(text.get());
}

void DZTableHeaderDragRefreshView::showActivity(bool show, bool animated) {
    if (show) {
        activityView_->startAnimating();
    } else {
        activityView_->stopAnimating();
    }
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(animated ? kFlipDuration : 0);
    arrowImage_->setAlpha(show ? 0 : 1);
    UIView::commitAnimations();
}

void DZTableHeaderDragRefreshView::setImageFlipped(bool flipped) {
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kFlipDuration);
    CGFloat angle = static_cast<CGFloat>(flipped ? 2 * std::numbers::pi : std::numbers::pi);
    arrowImage_->layer()->setTransform(CATransform3DMakeRotation(angle, 0, 0, 1));
    UIView::commitAnimations();
}

void DZTableHeaderDragRefreshView::setUpdateDate(NSDate* date) {
    if (date) {
        lastUpdatedDate_ = date;
        auto formatter = make<NSDateFormatter>();
        formatter->setDateStyle(NSDateFormatterShortStyle);
        formatter->setTimeStyle(NSDateFormatterShortStyle);
        auto format = DZBundleLocalizedString(NS("Last updated: %@"),
                                              NS("The last time the table view was updated."));
        lastUpdatedLabel_->setText(
            NSString::stringWithFormat(format.get(), formatter->stringFromDate(date).get()).get());
    } else {
        lastUpdatedDate_ = nullptr;
        lastUpdatedLabel_->setText(
            DZBundleLocalizedString(NS("Last updated: never"),
                                    NS("The table view has never been updated"))
                .get());
    }
}

void DZTableHeaderDragRefreshView::setCurrentDate() {
    setUpdateDate(NSDate::date().get());
}

// ---- DZTableViewDragRefreshDelegate -------------------------------------------------------------

void DZTableViewDragRefreshDelegate::describeClass(RuntimeClass& c) {
    c.implements({"modelDidStartLoad:", "modelDidFinishLoad:", "model:didFailLoadWithError:",
                  "modelDidCancelLoad:"});
}

bool DZTableViewDragRefreshDelegate::initWithController(DZTableViewController* controller) {
    if (!DZTableViewVarHeightDelegate::initWithController(controller)) return false;
    auto tableView = controller->tableView();
    CGRect b = tableView->bounds();
    headerView_ = make<DZTableHeaderDragRefreshView>(
        &DZTableHeaderDragRefreshView::initWithFrame,
        CGRectMake(0, -b.size.height, b.size.width, b.size.height));
    headerView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth);
    headerView_->setBackgroundColor(
        tableRefreshHeaderBackgroundColor(DZTableStyleSheet().get()).get());
    headerView_->setStatus(DZTableHeaderDragRefreshPullToReload);
    tableView->addSubview(headerView_);
    model_ = controller->model();
    if (auto delegates = model_ ? model_->delegates() : nullptr) delegates->addObject(this);
    if (auto loaded = loadedTimeOf(model_.get())) headerView_->setUpdateDate(loaded.get());
    return true;
}

void DZTableViewDragRefreshDelegate::dealloc() {
    if (auto delegates = model_ ? model_->delegates() : nullptr) delegates->removeObject(this);
    // The header goes with its delegate, so a replacement does not stack a second one.
    if (headerView_) headerView_->removeFromSuperview();
    headerView_ = nullptr;
    model_ = nullptr;
    DZTableViewVarHeightDelegate::dealloc();
}

Ref<UITableView> DZTableViewDragRefreshDelegate::table() {
    auto c = controller();
    return c ? c->tableView() : nullptr;
}

void DZTableViewDragRefreshDelegate::scrollViewDidScroll(UIScrollView* scrollView) {
    DZTableViewVarHeightDelegate::scrollViewDidScroll(scrollView);
    CGFloat y = scrollView->contentOffset().y;
    bool loading = model_ && model_->isLoading();
    if (scrollView->isDragging() && !loading) {
        if (y > kRefreshDeltaY && y < 0) {
            headerView_->setStatus(DZTableHeaderDragRefreshPullToReload);
        } else if (y < kRefreshDeltaY) {
            headerView_->setStatus(DZTableHeaderDragRefreshReleaseToReload);
        }
    }
    if (loading) {
        if (y < 0) {
            scrollView->setContentInset(UIEdgeInsetsMake(kHeaderVisibleHeight, 0, 0, 0));
        } else {
            scrollView->setContentInset(UIEdgeInsetsZero);
        }
    }
}

void DZTableViewDragRefreshDelegate::scrollViewDidEndDraggingWillDecelerate(
    UIScrollView* scrollView, bool decelerate) {
    DZTableViewVarHeightDelegate::scrollViewDidEndDraggingWillDecelerate(scrollView, decelerate);
    if (scrollView->contentOffset().y <= kRefreshDeltaY && model_ && !model_->isLoading()) {
        NSNotificationCenter::defaultCenter()->postNotificationName(
            DZDragRefreshTableReloadNotification, nullptr);
        model_->load(kReloadPolicy, false);
    }
}

void DZTableViewDragRefreshDelegate::modelDidStartLoad(DZModelProtocol*) {
    headerView_->setStatus(DZTableHeaderDragRefreshLoading);
    auto tableView = table();
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kFlipDuration);
    if (tableView && tableView->contentOffset().y < 0)
        tableView->setContentInset(UIEdgeInsetsMake(kHeaderVisibleHeight, 0, 0, 0));
    UIView::commitAnimations();
}

void DZTableViewDragRefreshDelegate::loadEnded() {
    headerView_->setStatus(DZTableHeaderDragRefreshPullToReload);
    auto tableView = table();
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kInsetDuration);
    if (tableView) tableView->setContentInset(UIEdgeInsetsZero);
    UIView::commitAnimations();
}

void DZTableViewDragRefreshDelegate::modelDidFinishLoad(DZModelProtocol*) {
    loadEnded();
    if (answersLoadedTime(model_.get())) {
        headerView_->setUpdateDate(loadedTimeOf(model_.get()).get());
    } else {
        headerView_->setCurrentDate();
    }
}

void DZTableViewDragRefreshDelegate::modelDidFailLoadWithError(DZModelProtocol*, NSError*) {
    loadEnded();
}

void DZTableViewDragRefreshDelegate::modelDidCancelLoad(DZModelProtocol*) {
    loadEnded();
}
