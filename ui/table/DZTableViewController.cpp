#include "ui/table/DZTableViewController.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSNumber.h"
#include "UIKit/UIColor.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZErrorView.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr NSTimeInterval kStandardDuration = 0.3;
constexpr NSTimeInterval kFastDuration = 0.2;

bool isEmpty(NSString* s) {
    return !s || s->length() == 0;
}

bool isSubviewOf(UIView* view, UIView* parent) {
    return view && parent && view->superview().get() == parent;
}

}  // namespace

void DZTableViewController::describeClass(RuntimeClass& c) {
    c.implements({"model:didUpdateObject:atIndexPath:", "model:didInsertObject:atIndexPath:",
                  "model:didDeleteObject:atIndexPath:"});
    // A search display controller of the core hands the results table over by message.
    c.method("dataSource", &DZTableViewController::dataSource)
        .method("setTableView:", &DZTableViewController::setTableView);
}

bool DZTableViewController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZModelViewController::initWithNibName(nibName, bundle)) return false;
    lastInterfaceOrientation_ = DZCurrentOrientation();
    tableViewStyle_ = UITableViewStylePlain;
    return true;
}

bool DZTableViewController::initWithStyle(UITableViewStyle style) {
    if (!initWithNibName(nullptr, nullptr)) return false;
    tableViewStyle_ = style;
    return true;
}

void DZTableViewController::dealloc() {
    if (tableView_) {
        tableView_->setDelegate(nullptr);
        tableView_->setDataSource(nullptr);
    }
    DZModelViewController::dealloc();
}

void DZTableViewController::loadView() {
    DZModelViewController::loadView();
    tableView();
}

Ref<UITableView> DZTableViewController::tableView() {
    if (!tableView_) {
        auto table = alloc<DZTableView>();
        table->initWithFrame(view()->bounds(), tableViewStyle_);
        table->setAutoresizingMask(static_cast<UIViewAutoresizing>(
            UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
        auto sheet = DZTableStyleSheet();
        auto color = tableViewStyle_ == UITableViewStyleGrouped
                         ? sheet->tableGroupedBackgroundColor()
                         : sheet->tablePlainBackgroundColor();
        if (color) {
            table->setBackgroundColor(color.get());
            view()->setBackgroundColor(color.get());
        }
        tableView_ = table;
        view()->addSubview(tableView_);
    }
    return tableView_;
}

void DZTableViewController::setTableView(UITableView* tableView) {
    if (tableView == tableView_.get()) return;
    tableView_ = tableView;
    if (!tableView) {
        setTableBannerView(nullptr);
        setTableOverlayView(nullptr);
    }
}

void DZTableViewController::viewDidUnload() {
    DZModelViewController::viewDidUnload();
    if (tableView_) {
        tableView_->setDelegate(nullptr);
        tableView_->setDataSource(nullptr);
    }
    tableDelegate_ = nullptr;
    tableView_ = nullptr;
    for (auto* slot : {&tableBannerView_, &tableOverlayView_, &loadingView_, &errorView_,
                       &emptyView_, &menuView_}) {
        if (*slot) (*slot)->removeFromSuperview();
        *slot = nullptr;
    }
    if (menuCell_) menuCell_->removeFromSuperview();
    menuCell_ = nullptr;
}

void DZTableViewController::viewWillAppear(bool animated) {
    DZModelViewController::viewWillAppear(animated);
    NSInteger orientation = DZCurrentOrientation();
    if (orientation == lastInterfaceOrientation_) {
        if (auto table = as<DZTableView>(tableView_)) {
            table->setHighlightedLabel(nullptr);
            table->setShowShadows(showTableShadows_);
        }
    } else {
        lastInterfaceOrientation_ = orientation;
        tableView()->reloadData();
    }
    if (tableView_) {
        if (auto selected = tableView_->indexPathForSelectedRow())
            tableView_->deselectRowAtIndexPath(selected.get(), true);
    }
}

void DZTableViewController::viewDidAppear(bool animated) {
    DZModelViewController::viewDidAppear(animated);
    if ((flags() & isShowingModel) && tableView_) tableView_->flashScrollIndicators();
}

void DZTableViewController::viewWillDisappear(bool animated) {
    DZModelViewController::viewWillDisappear(animated);
    hideMenu(true);
}

void DZTableViewController::setEditing(bool editing, bool animated) {
    DZModelViewController::setEditing(editing, animated);
    tableView()->setEditing(editing, animated);
}

// ---- persistence --------------------------------------------------------------------------------

bool DZTableViewController::persistView(NSMutableDictionary* state) {
    CGFloat y = tableView()->contentOffset().y;
    state->setObject(NSNumber::numberWithFloat(y).get(), NS("scrollOffsetY"));
    return DZModelViewController::persistView(state);
}

void DZTableViewController::restoreView(NSDictionary* state) {
    auto number = as<NSNumber>(state->objectForKey(NS("scrollOffsetY")));
    CGFloat y = number ? number->floatValue() : 0;
    if (y == 0) return;
    auto table = tableView();
    CGFloat bottom = table->contentSize().height - table->bounds().size.height;
    // Short content never scrolls above its top.
    CGFloat target = std::max<CGFloat>(0, std::min(y, bottom));
    table->setContentOffset(CGPointMake(0, target));
}

// ---- keyboard -----------------------------------------------------------------------------------

void DZTableViewController::keyboardDidAppear(bool animated, CGRect bounds) {
    DZModelViewController::keyboardDidAppear(animated, bounds);
    auto table = tableView();
    table->setFrame(DZRectShrinkSize(table->frame(), 0, bounds.size.height));
    scrollFirstResponderIntoView(table.get());
    layoutOverlayView();
    layoutBannerView();
}

void DZTableViewController::keyboardWillDisappear(bool animated, CGRect bounds) {
    DZModelViewController::keyboardWillDisappear(animated, bounds);
    if (!tableView_) return;
    CGRect previous = tableView_->frame();
    CGRect grown = DZRectShrinkSize(previous, 0, -bounds.size.height);
    if (grown.size.height > view()->bounds().size.height) grown = previous;
    tableView_->setFrame(grown);
}

void DZTableViewController::keyboardDidDisappear(bool animated, CGRect bounds) {
    DZModelViewController::keyboardDidDisappear(animated, bounds);
    // Grown back, a table scrolled to a row low in it would end in a blank band: its end comes
    // down to its foot again.
    if (tableView_) {
        CGPoint offset = tableView_->contentOffset();
        CGFloat end = tableView_->maximumContentOffset().y;
        if (offset.y > end) tableView_->setContentOffset(CGPointMake(offset.x, end));
    }
    layoutOverlayView();
    layoutBannerView();
}

// ---- data source and delegate -------------------------------------------------------------------

void DZTableViewController::setDataSource(DZTableViewDataSource* dataSource) {
    if (dataSource == dataSource_.get()) return;
    dataSource_ = dataSource;
    if (tableView_) tableView_->setDataSource(nullptr);
    setModel(dataSource ? dataSource->model().get() : nullptr);
}

void DZTableViewController::createInterstitialModel() {
    setDataSource(make<DZTableViewInterstitialDataSource>().get());
}

Ref<DZTableViewDelegate> DZTableViewController::createDelegate() {
    if (variableHeightRows_)
        return make<DZTableViewVarHeightDelegate>(&DZTableViewVarHeightDelegate::initWithController,
                                                  this);
    return make<DZTableViewDelegate>(&DZTableViewDelegate::initWithController, this);
}

void DZTableViewController::updateTableDelegate() {
    auto table = tableView();
    if (table->delegate()) return;
    tableDelegate_ = createDelegate();
    table->setDelegate(nullptr);
    table->setDelegate(tableDelegate_.get());
}

void DZTableViewController::setVariableHeightRows(bool variable) {
    if (variable == variableHeightRows_) return;
    variableHeightRows_ = variable;
    if (tableView_) tableView_->setDelegate(nullptr);
}

// ---- view states --------------------------------------------------------------------------------

bool DZTableViewController::canShowModel() {
    auto table = tableView();
    auto source = dataSource_;
    if (!source) return false;
    if (respondsTo(source.get(), Selector::named("numberOfSectionsInTableView:"))) {
        NSInteger sections = source->numberOfSectionsInTableView(table.get());
        if (sections == 0) return false;
        if (sections > 1) return true;
    }
    return source->tableViewNumberOfRowsInSection(table.get(), 0) > 0;
}

void DZTableViewController::showModel(bool show) {
    hideMenu(true);
    auto table = tableView();
    if (show) {
        updateTableDelegate();
        table->setDataSource(dataSource_.get());
    } else {
        table->setDataSource(nullptr);
    }
    table->reloadData();
}

void DZTableViewController::showLoading(bool show) {
    if (!show) {
        setLoadingView(nullptr);
        return;
    }
    if (model()->isLoaded() && canShowModel()) return;
    auto title = dataSource_ ? dataSource_->titleForLoading(false) : defaultTitleForLoading();
    if (isEmpty(title.get())) return;
    auto label =
        make<DZActivityLabel>(&DZActivityLabel::initWithStyle, DZActivityLabelStyleWhiteBox);
    label->setText(title.get());
    label->setBackgroundColor(tableView()->backgroundColor().get());
    setLoadingView(label.get());
}

namespace {
// The error or empty view for these texts and image: nil when there is nothing to show.
Ref<DZErrorView> messageView(NSString* title, NSString* subtitle, UIImage* image,
                             UIColor* background) {
    if (isEmpty(title) && isEmpty(subtitle) && !image) return nullptr;
    auto view = make<DZErrorView>(&DZErrorView::initWithTitle, title, subtitle, image);
    view->setBackgroundColor(background);
    return view;
}
}  // namespace

void DZTableViewController::showError(bool show) {
    if (!show) {
        setErrorView(nullptr);
        return;
    }
    if (model()->isLoaded() && canShowModel()) return;
    // Without a data source there is nothing to say, but the table still lets go of the rows.
    Ref<NSString> title, subtitle;
    Ref<UIImage> image;
    if (dataSource_) {
        title = dataSource_->titleForError(modelError().get());
        subtitle = dataSource_->subtitleForError(modelError().get());
        image = dataSource_->imageForError(modelError().get());
    }
    setErrorView(messageView(title, subtitle, image, tableView()->backgroundColor()).get());
    tableView()->setDataSource(nullptr);
    tableView()->reloadData();
}

void DZTableViewController::showEmpty(bool show) {
    if (!show) {
        setEmptyView(nullptr);
        return;
    }
    Ref<NSString> title, subtitle;
    Ref<UIImage> image;
    if (dataSource_) {
        title = dataSource_->titleForEmpty();
        subtitle = dataSource_->subtitleForEmpty();
        image = dataSource_->imageForEmpty();
    }
    setEmptyView(messageView(title, subtitle, image, tableView()->backgroundColor()).get());
    tableView()->setDataSource(nullptr);
    tableView()->reloadData();
}

void DZTableViewController::didLoadModel(bool firstTime) {
    DZModelViewController::didLoadModel(firstTime);
    if (dataSource_) dataSource_->tableViewDidLoadModel(tableView().get());
}

void DZTableViewController::didShowModel(bool firstTime) {
    DZModelViewController::didShowModel(firstTime);
    if (!isViewAppearing() && firstTime) tableView()->flashScrollIndicators();
}

void DZTableViewController::beginUpdates() {
    DZModelViewController::beginUpdates();
    tableView()->beginUpdates();
}

void DZTableViewController::endUpdates() {
    DZModelViewController::endUpdates();
    tableView()->endUpdates();
}

Ref<NSString> DZTableViewController::defaultTitleForLoading() {
    return DZBundleLocalizedString(NS("Loading..."), NS(""));
}

// ---- model changes ------------------------------------------------------------------------------

void DZTableViewController::modelDidUpdateObject(DZModelProtocol* model, NSObject* object,
                                                 NSIndexPath* indexPath) {
    modelDidChangeObject(model, object, indexPath, Change::update);
}

void DZTableViewController::modelDidInsertObject(DZModelProtocol* model, NSObject* object,
                                                 NSIndexPath* indexPath) {
    modelDidChangeObject(model, object, indexPath, Change::insert);
}

void DZTableViewController::modelDidDeleteObject(DZModelProtocol* model, NSObject* object,
                                                 NSIndexPath* indexPath) {
    modelDidChangeObject(model, object, indexPath, Change::remove);
}

void DZTableViewController::modelDidChangeObject(DZModelProtocol* model, NSObject* object,
                                                 NSIndexPath* indexPath, Change change) {
    if (!isModelCreated() || model != static_cast<DZModelProtocol*>(this->model().get())) return;
    if (!isViewAppearing() || !(flags() & isShowingModel)) {
        refresh();
        return;
    }
    const char* selector = change == Change::update   ? "tableView:willUpdateObject:atIndexPath:"
                           : change == Change::insert ? "tableView:willInsertObject:atIndexPath:"
                                                      : "tableView:willRemoveObject:atIndexPath:";
    if (!dataSource_ || !respondsTo(dataSource_.get(), Selector::named(selector))) return;
    auto table = tableView();
    Ref<NSIndexPath> path;
    switch (change) {
        case Change::update:
            path = dataSource_->tableViewWillUpdateObject(table.get(), object, indexPath);
            break;
        case Change::insert:
            path = dataSource_->tableViewWillInsertObject(table.get(), object, indexPath);
            break;
        case Change::remove:
            path = dataSource_->tableViewWillRemoveObject(table.get(), object, indexPath);
            break;
    }
    if (!path) {
        table->reloadData();
        return;
    }
    // Changes slide from the top; removals leave to the left.
    auto animation =
        change == Change::remove ? UITableViewRowAnimationLeft : UITableViewRowAnimationTop;
    if (path->length() == 1) {
        std::vector<NSUInteger> sections{path->indexAtPosition(0)};
        if (change == Change::update) table->reloadSections(sections, animation);
        if (change == Change::insert) table->insertSections(sections, animation);
        if (change == Change::remove) table->deleteSections(sections, animation);
    } else if (path->length() == 2) {
        auto paths = NSArray::arrayWithObject(path.get());
        if (change == Change::update) table->reloadRowsAtIndexPaths(paths.get(), animation);
        if (change == Change::insert) {
            table->insertRowsAtIndexPaths(paths.get(), animation);
            table->scrollToRowAtIndexPath(path.get(), UITableViewScrollPositionNone, false);
        }
        if (change == Change::remove) table->deleteRowsAtIndexPaths(paths.get(), animation);
    }
    invalidateView();
}

// ---- overlay and banner -------------------------------------------------------------------------

void DZTableViewController::setOverlaySlot(Ref<UIView>& slot, UIView* view) {
    if (view == slot.get()) return;
    if (slot) slot->removeFromSuperview();
    slot = view;
    if (view) {
        addToOverlayView(view);
    } else {
        resetOverlayView();
    }
}

void DZTableViewController::setLoadingView(UIView* view) {
    setOverlaySlot(loadingView_, view);
}

void DZTableViewController::setErrorView(UIView* view) {
    setOverlaySlot(errorView_, view);
}

void DZTableViewController::setEmptyView(UIView* view) {
    setOverlaySlot(emptyView_, view);
}

void DZTableViewController::addToOverlayView(UIView* view) {
    if (!tableOverlayView_) {
        auto container = make<UIView>(&UIView::initWithFrame, rectForOverlayView());
        container->setAutoresizesSubviews(true);
        container->setAutoresizingMask(static_cast<UIViewAutoresizing>(
            UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleBottomMargin));
        tableOverlayView_ = container;
        auto table = tableView();
        if (auto parent = table->superview(); isSubviewOf(table.get(), parent.get()))
            parent->addSubview(container);
    }
    view->setFrame(tableOverlayView_->bounds());
    view->setAutoresizingMask(static_cast<UIViewAutoresizing>(UIViewAutoresizingFlexibleWidth |
                                                              UIViewAutoresizingFlexibleHeight));
    tableOverlayView_->addSubview(view);
}

void DZTableViewController::resetOverlayView() {
    if (tableOverlayView_ && tableOverlayView_->subviews()->count() == 0) {
        tableOverlayView_->removeFromSuperview();
        tableOverlayView_ = nullptr;
    }
}

void DZTableViewController::addSubviewOverTableView(UIView* view) {
    auto table = tableView();
    if (auto parent = table->superview(); isSubviewOf(table.get(), parent.get()))
        parent->addSubview(view);
}

CGRect DZTableViewController::rectForOverlayView() {
    if (!tableView_) return CGRectZero;
    return frameWithKeyboardSubtracted(tableView_.get(), 0);
}

CGRect DZTableViewController::rectForBannerView() {
    CGRect r = tableView_ ? frameWithKeyboardSubtracted(tableView_.get(), 0) : CGRectZero;
    CGFloat h = DZTableStyleSheet()->tableBannerViewHeight();
    return CGRectMake(r.origin.x, r.origin.y + r.size.height - h, r.size.width, h);
}

void DZTableViewController::layoutOverlayView() {
    if (tableOverlayView_) tableOverlayView_->setFrame(rectForOverlayView());
}

void DZTableViewController::layoutBannerView() {
    if (tableBannerView_) tableBannerView_->setFrame(rectForBannerView());
}

void DZTableViewController::setTableOverlayView(UIView* view, bool animated) {
    if (view == tableOverlayView_.get()) return;
    if (tableOverlayView_) {
        if (animated) {
            fadeOutView(tableOverlayView_.get());
        } else {
            tableOverlayView_->removeFromSuperview();
        }
    }
    tableOverlayView_ = view;
    if (view) {
        view->setFrame(rectForOverlayView());
        addSubviewOverTableView(view);
    }
}

void DZTableViewController::setTableBannerView(UIView* view) {
    setTableBannerView(view, true);
}

void DZTableViewController::setTableBannerView(UIView* view, bool animated) {
    if (bannerTimer_) bannerTimer_->invalidate();
    bannerTimer_ = nullptr;
    if (view == tableBannerView_.get()) return;
    if (tableBannerView_) {
        if (animated) {
            fadeOutView(tableBannerView_.get());
        } else {
            tableBannerView_->removeFromSuperview();
        }
    }
    tableBannerView_ = view;
    auto table = tableView();
    if (view) {
        CGFloat h = DZTableStyleSheet()->tableBannerViewHeight();
        table->setContentInset(UIEdgeInsetsMake(0, 0, h, 0));
        table->setScrollIndicatorInsets(UIEdgeInsetsMake(0, 0, h, 0));
        view->setFrame(rectForBannerView());
        view->setUserInteractionEnabled(false);
        view->setAutoresizingMask(static_cast<UIViewAutoresizing>(
            UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin));
        addSubviewOverTableView(view);
        if (animated) {
            setTop(view, top(view) + h);
            UIView::beginAnimations(nullptr, nullptr);
            UIView::setAnimationDuration(kStandardDuration);
            UIView::setAnimationCurve(UIViewAnimationCurveEaseOut);
            setTop(view, top(view) - h);
            UIView::commitAnimations();
        }
    } else {
        table->setContentInset(UIEdgeInsetsZero);
        table->setScrollIndicatorInsets(UIEdgeInsetsZero);
    }
}

void DZTableViewController::fadeOutView(UIView* view) {
    Ref<UIView> kept(view);
    UIView::animateWithDuration(
        kStandardDuration, [kept] { kept->setAlpha(0); },
        [kept](bool) { kept->removeFromSuperview(); });
}

// ---- row menu -----------------------------------------------------------------------------------

void DZTableViewController::showMenu(UIView* view, UITableViewCell* cell, bool animated) {
    hideMenu(true);
    menuView_ = view;
    menuCell_ = cell;
    auto content = cell->contentView();
    content->insertSubview(view, 0);
    CGFloat w = content->bounds().size.width;
    // The row's own views make way for the menu: the cell lays its labels out again, so moving
    // them alone would leave their text under the menu's.
    auto subviews = content->subviews();
    for (NSUInteger i = 0; i < subviews->count(); ++i) {
        auto sub = as<UIView>(subviews->objectAtIndex(i));
        if (sub.get() == view || sub->isHidden()) continue;
        sub->setHidden(true);
        menuHidden_.push_back(sub);
    }
    auto move = [content, view, w] {
        auto subviews = content->subviews();
        for (NSUInteger i = 0; i < subviews->count(); ++i) {
            auto sub = as<UIView>(subviews->objectAtIndex(i));
            if (sub.get() != view) setLeft(sub.get(), left(sub.get()) - w);
        }
    };
    if (animated) {
        UIView::beginAnimations(nullptr, nullptr);
        UIView::setAnimationDuration(kFastDuration);
        UIView::setAnimationCurve(UIViewAnimationCurveEaseIn);
        move();
        UIView::commitAnimations();
    } else {
        move();
    }
}

void DZTableViewController::hideMenu(bool animated) {
    if (!menuView_) return;
    Ref<UIView> menu = menuView_;
    Ref<UITableViewCell> cell = menuCell_;
    auto content = cell ? cell->contentView() : nullptr;
    menuView_ = nullptr;
    menuCell_ = nullptr;
    for (auto& hidden : menuHidden_)
        hidden->setHidden(false);
    menuHidden_.clear();
    if (!content) {
        menu->removeFromSuperview();
        return;
    }
    CGFloat w = content->bounds().size.width;
    auto move = [content, menu, w] {
        auto subviews = content->subviews();
        for (NSUInteger i = 0; i < subviews->count(); ++i) {
            auto sub = as<UIView>(subviews->objectAtIndex(i));
            if (sub != menu) setLeft(sub.get(), left(sub.get()) + w);
        }
    };
    if (animated) {
        leavingMenu_ = menu.get();
        leavingCell_ = cell.get();
        UIView::animateWithDuration(kFastDuration, move,
                                    [menu](bool) { menu->removeFromSuperview(); });
    } else {
        move();
        menu->removeFromSuperview();
    }
}

void DZTableViewController::didBeginDragging() {
    hideMenu(true);
}

void DZTableViewController::cellWillShowRow(UITableViewCell* cell) {
    if (!cell) return;
    if (cell == menuCell_.get()) hideMenu(false);
    if (cell == leavingCell_.lock().get()) {
        // The slide's end would take it out too late: the row's views are already back in place.
        if (auto menu = leavingMenu_.lock()) {
            if (menu->superview() == cell->contentView()) menu->removeFromSuperview();
        }
        leavingMenu_ = nullptr;
        leavingCell_ = nullptr;
    }
}

// ---- selection ----------------------------------------------------------------------------------

void DZTableViewController::didSelectObject(NSObject* object, NSIndexPath*) {
    if (!object) return;
    auto URL = DZNavigator::navigator()->URLMap()->URLForObject(object);
    if (URL) DZNavigateToURLPath(URL.get());
}
