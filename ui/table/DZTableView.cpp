#include "ui/table/DZTableView.h"

#include "CoreGraphics/CGColor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSSet.h"
#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITextInputTraits.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLRequestQueue.h"
#include "ui/core/UIViewController+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZStyledNode.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewController.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr CGFloat kInverseShadowHeight = 10;
constexpr CGFloat kShadowHeight = 20;
constexpr CGFloat kGroupedHeaderHeight = 35;
constexpr CGFloat kHeaderLabelLeft = 12;
// The cache policy of a "load more" request: memory, disk and network.
constexpr int32_t kLoadMorePolicy = 7;

SEL sel(const char* name) {
    return Selector::named(name);
}

// The shadow layer as the first sublayer of `layer`, framed without implicit animation.
void keepFirst(CALayer* layer, CALayer* shadow) {
    auto& list = layer->sublayerList();
    if (list.empty() || list.front().get() != shadow) layer->insertSublayer(shadow, 0);
}

void dropShadow(Ref<CAGradientLayer>& shadow) {
    if (shadow) shadow->removeFromSuperlayer();
    shadow = nullptr;
}

}  // namespace

// ---- DZTableView --------------------------------------------------------------------------------

bool DZTableView::initWithFrame(CGRect frame, UITableViewStyle style) {
    if (!UITableView::initWithFrame(frame, style)) return false;
    highlightStartPoint_ = CGPointZero;
    return true;
}

void DZTableView::dealloc() {
    highlightedLabel_ = nullptr;
    UITableView::dealloc();
}

void DZTableView::setHighlightedLabel(DZStyledTextLabel* label) {
    if (label == highlightedLabel_.get()) return;
    if (highlightedLabel_) highlightedLabel_->setHighlightedNode(nullptr);
    highlightedLabel_ = label;
}

void DZTableView::clearHighlightedLabel() {
    setHighlightedLabel(nullptr);
}

void DZTableView::touchesBegan(NSSet* touches, UIEvent* event) {
    UITableView::touchesBegan(touches, event);
    auto d = delegate();
    if (respondsTo(d.get(), sel("tableView:touchesBegan:withEvent:"))) {
        if (auto touchDelegate = dynamic_cast<DZTableViewTouchDelegate*>(d.get()))
            touchDelegate->tableViewTouchesBegan(this, touches, event);
    }
    if (highlightedLabel_) {
        if (auto touch = as<UITouch>(touches->anyObject()))
            highlightStartPoint_ = touch->locationInView(this);
    }
}

void DZTableView::touchesEnded(NSSet* touches, UIEvent* event) {
    // A finger that landed while another worked the rows follows no link as it lifts.
    bool rowTouch = holdsRowTouch(touches);
    UITableView::touchesEnded(touches, event);
    auto d = delegate();
    if (respondsTo(d.get(), sel("tableView:touchesEnded:withEvent:"))) {
        if (auto touchDelegate = dynamic_cast<DZTableViewTouchDelegate*>(d.get()))
            touchDelegate->tableViewTouchesEnded(this, touches, event);
    }
    if (!highlightedLabel_ || !rowTouch) return;
    // A finger that slid scrolled the list: the link it landed on stays untouched.
    if (auto touch = as<UITouch>(touches->anyObject());
        touch && touch->farthestFromLanding() > UITouchTapSlop) {
        clearHighlightedLabel();
        return;
    }
    auto node = highlightedLabel_->highlightedNode();
    if (auto link = as<DZStyledLinkNode>(node)) {
        DZNavigateToURLPath(link->URL().get());
    } else if (auto button = as<DZStyledButtonNode>(node)) {
        DZNavigateToURLPath(button->URL().get());
    } else if (node) {
        node->performDefaultAction();
    }
}

void DZTableView::touchesCancelled(NSSet* touches, UIEvent* event) {
    UITableView::touchesCancelled(touches, event);
    clearHighlightedLabel();
}

void DZTableView::selectRowAtIndexPath(NSIndexPath* indexPath, bool animated,
                                       UITableViewScrollPosition position) {
    if (highlightedLabel_) return;
    UITableView::selectRowAtIndexPath(indexPath, animated, position);
}

void DZTableView::setContentSize(CGSize size) {
    if (contentOrigin_ == 0) {
        UITableView::setContentSize(size);
        return;
    }
    CGFloat minimum = bounds().size.height + contentOrigin_;
    if (size.height < minimum) size.height = minimum;
    CGFloat y = contentOffset().y;
    UITableView::setContentSize(size);
    UITableView::setContentOffset(CGPointMake(0, y));
}

void DZTableView::setContentOffset(CGPoint offset) {
    if (contentOrigin_ != 0) {
        if (!isScrollEnabled()) return;
        if (offset.y == 0 && contentOffset().y == contentOrigin_) return;
    }
    UITableView::setContentOffset(offset);
}

void DZTableView::reloadData() {
    // The focused input keeps its focus (and the keyboard stays up) across the reload.
    Ref<UIView> responder;
    if (auto w = window()) responder = findFirstResponderInView(w.get(), this);
    CGFloat y = contentOffset().y;
    {
        UIKeyboardFocusHandover handover;
        UITableView::reloadData();
        if (responder && !responder->isFirstResponder()) {
            // The rows come back at the next layout; the input must be on screen again first.
            layoutSubviews();
            responder->becomeFirstResponder();
        }
    }
    clearHighlightedLabel();
    if (contentOrigin_ != 0) UITableView::setContentOffset(CGPointMake(0, y));
}

Ref<CAGradientLayer> DZTableView::shadowAsInverse(bool inverse) {
    auto shadow = CAGradientLayer::layer();
    shadow->setFrame(
        CGRectMake(0, 0, bounds().size.width, inverse ? kInverseShadowHeight : kShadowHeight));
    auto background = backgroundColor();
    if (!background) background = UIColor::clearColor();
    auto dark = UIColor::colorWithRed(0, 0, 0, inverse ? 0.25f : 0.5f)->CGColor();
    auto light = background->colorWithAlphaComponent(0)->CGColor();
    if (inverse) {
        shadow->setColors(
            NSArray::arrayWithObjects({static_cast<NSObject*>(light.get()), dark.get()}).get());
    } else {
        shadow->setColors(
            NSArray::arrayWithObjects({static_cast<NSObject*>(dark.get()), light.get()}).get());
    }
    return shadow;
}

void DZTableView::layoutSubviews() {
    UITableView::layoutSubviews();
    if (!showShadows_ || style() != UITableViewStylePlain) return;
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    if (!originShadow_) originShadow_ = shadowAsInverse(false);
    keepFirst(layer().get(), originShadow_.get());
    CGRect f = originShadow_->frame();
    originShadow_->setFrame(
        CGRectMake(f.origin.x, contentOffset().y, bounds().size.width, f.size.height));
    auto paths = indexPathsForVisibleRows();
    if (!paths || paths->count() == 0) {
        dropShadow(topShadow_);
        dropShadow(bottomShadow_);
        CATransaction::commit();
        return;
    }
    auto first = as<NSIndexPath>(paths->objectAtIndex(0));
    auto last = as<NSIndexPath>(paths->lastObject());
    if (first->section() == 0 && first->row() == 0) {
        auto cell = cellForRowAtIndexPath(first.get());
        if (!topShadow_) topShadow_ = shadowAsInverse(true);
        keepFirst(cell->layer().get(), topShadow_.get());
        CGRect t = topShadow_->frame();
        topShadow_->setFrame(CGRectMake(t.origin.x, -kInverseShadowHeight,
                                        cell->bounds().size.width, t.size.height));
    } else {
        dropShadow(topShadow_);
    }
    NSInteger lastSection = numberOfSections() - 1;
    if (last->section() == lastSection && last->row() == numberOfRowsInSection(lastSection) - 1) {
        auto cell = cellForRowAtIndexPath(last.get());
        if (!bottomShadow_) bottomShadow_ = shadowAsInverse(false);
        keepFirst(cell->layer().get(), bottomShadow_.get());
        CGRect b = bottomShadow_->frame();
        bottomShadow_->setFrame(CGRectMake(b.origin.x, cell->bounds().size.height,
                                           cell->bounds().size.width, b.size.height));
    } else {
        dropShadow(bottomShadow_);
    }
    CATransaction::commit();
}

// ---- DZTableViewDelegate ------------------------------------------------------------------------

void DZTableViewDelegate::describeClass(RuntimeClass& c) {
    c.implements(
        {"tableView:didSelectRowAtIndexPath:",
         "tableView:accessoryButtonTappedForRowWithIndexPath:", "tableView:viewForHeaderInSection:",
         "tableView:touchesBegan:withEvent:", "tableView:willDisplayCell:forRowAtIndexPath:"});
}

bool DZTableViewDelegate::initWithController(DZTableViewController* controller) {
    if (!init()) return false;
    controller_ = controller;
    return true;
}

void DZTableViewDelegate::dealloc() {
    // A delegate that goes while a drag or scroll-to-top holds the queue lets it go, or image
    // loading would stop app-wide.
    resumeQueue();
    DZTableViewDelegate::super::dealloc();
}

void DZTableViewDelegate::suspendQueue() {
    suspending_ = true;
    DZURLRequestQueue::mainQueue()->setSuspended(true);
}

void DZTableViewDelegate::resumeQueue() {
    if (!suspending_) return;
    suspending_ = false;
    DZURLRequestQueue::mainQueue()->setSuspended(false);
}

void DZTableViewDelegate::tableViewDidSelectRowAtIndexPath(UITableView* tableView,
                                                           NSIndexPath* indexPath) {
    auto controller = controller_.lock();
    auto dataSource = as<DZTableViewDataSource>(tableView->dataSource().get());
    auto object =
        dataSource ? dataSource->tableViewObjectForRowAtIndexPath(tableView, indexPath) : nullptr;
    if (auto item = as<DZTableLinkedItem>(object)) {
        if (item->URL() && controller && controller->shouldOpenURL(item->URL().get())) {
            DZNavigateToURLPath(item->URL().get());
        } else if (auto target = item->delegate(); target && item->selector()) {
            target->performSelector(item->selector(), item.get());
        }
        if (is<DZTableButton>(item.get())) {
            tableView->deselectRowAtIndexPath(indexPath, true);
        } else if (auto more = as<DZTableMoreButton>(item)) {
            more->setIsLoading(true);
            if (auto cell = as<DZTableMoreButtonCell>(tableView->cellForRowAtIndexPath(indexPath)))
                cell->setAnimating(true);
            tableView->deselectRowAtIndexPath(indexPath, true);
            Ref<DZModel> model = more->model();
            if (!model && controller) model = controller->model();
            if (model) model->load(kLoadMorePolicy, true);
        }
    }
    if (controller) controller->didSelectObject(object.get(), indexPath);
}

void DZTableViewDelegate::tableViewAccessoryButtonTappedForRowWithIndexPath(
    UITableView* tableView, NSIndexPath* indexPath) {
    auto controller = controller_.lock();
    auto dataSource = as<DZTableViewDataSource>(tableView->dataSource().get());
    if (!dataSource) return;
    auto item =
        as<DZTableLinkedItem>(dataSource->tableViewObjectForRowAtIndexPath(tableView, indexPath));
    if (item && item->accessoryURL() && controller &&
        controller->shouldOpenURL(item->accessoryURL().get()))
        DZNavigateToURLPath(item->accessoryURL().get());
}

Ref<UIView> DZTableViewDelegate::tableViewViewForHeaderInSection(UITableView* tableView,
                                                                 NSInteger section) {
    if (tableView->style() != UITableViewStylePlain) return nullptr;
    if (!DZTableStyleSheet()->tableHeaderTintColor()) return nullptr;
    auto dataSource = tableView->dataSource();
    if (!respondsTo(dataSource.get(), sel("tableView:titleForHeaderInSection:"))) return nullptr;
    auto title = dataSource->tableViewTitleForHeaderInSection(tableView, section);
    if (!title || title->length() == 0) return nullptr;
    if (!headers_) headers_ = NSMutableDictionary::dictionary();
    auto header = as<UIView>(headers_->objectForKey(title.get()));
    if (!header) {
        header = make<DZTableHeaderView>(&DZTableHeaderView::initWithTitle, title.get());
        headers_->setObject(header.get(), title.get());
    }
    return header;
}

bool DZTableViewDelegate::scrollViewShouldScrollToTop(UIScrollView*) {
    suspendQueue();
    return true;
}

void DZTableViewDelegate::scrollViewDidScrollToTop(UIScrollView*) {
    resumeQueue();
}

void DZTableViewDelegate::scrollViewWillBeginDragging(UIScrollView* scrollView) {
    suspendQueue();
    if (auto controller = controller_.lock()) controller->didBeginDragging();
    if (auto table = as<DZTableView>(scrollView)) table->setHighlightedLabel(nullptr);
}

void DZTableViewDelegate::scrollViewDidEndDraggingWillDecelerate(UIScrollView*, bool decelerate) {
    if (!decelerate) resumeQueue();
    if (auto controller = controller_.lock()) controller->didEndDragging();
}

void DZTableViewDelegate::scrollViewDidEndDecelerating(UIScrollView*) {
    resumeQueue();
}

void DZTableViewDelegate::hideControllerMenu() {
    auto controller = controller_.lock();
    if (controller && controller->menuView()) controller->hideMenu(true);
}

void DZTableViewDelegate::scrollViewDidScroll(UIScrollView*) {
    hideControllerMenu();
}

void DZTableViewDelegate::tableViewTouchesBegan(UITableView*, NSSet*, UIEvent*) {
    hideControllerMenu();
}

void DZTableViewDelegate::tableViewWillDisplayCellForRowAtIndexPath(UITableView*,
                                                                    UITableViewCell* cell,
                                                                    NSIndexPath*) {
    if (auto controller = controller_.lock()) controller->cellWillShowRow(cell);
}

// ---- variable heights ---------------------------------------------------------------------------

void DZTableViewVarHeightDelegate::describeClass(RuntimeClass& c) {
    c.implements({"tableView:heightForRowAtIndexPath:"});
}

CGFloat DZTableViewVarHeightDelegate::tableViewHeightForRowAtIndexPath(UITableView* tableView,
                                                                       NSIndexPath* indexPath) {
    auto dataSource = as<DZTableViewDataSource>(tableView->dataSource().get());
    if (!dataSource) return tableView->rowHeight();
    auto object = dataSource->tableViewObjectForRowAtIndexPath(tableView, indexPath);
    Class cls = dataSource->tableViewCellClassForObject(tableView, object.get());
    return DZTableViewCell::rowHeightForClass(cls, tableView, object.get());
}

void DZTableViewGroupedVarHeightDelegate::describeClass(RuntimeClass& c) {
    c.implements({"tableView:heightForHeaderInSection:"});
}

CGFloat DZTableViewGroupedVarHeightDelegate::tableViewHeightForHeaderInSection(
    UITableView* tableView, NSInteger section) {
    auto dataSource = tableView->dataSource();
    auto title =
        dataSource ? dataSource->tableViewTitleForHeaderInSection(tableView, section) : nullptr;
    return title && title->length() > 0 ? kGroupedHeaderHeight : 1;
}

// ---- DZTableHeaderView --------------------------------------------------------------------------

bool DZTableHeaderView::initWithTitle(NSString* title) {
    if (!initWithFrame(CGRectZero)) return false;
    auto sheet = DZTableStyleSheet();
    setBackgroundColor(UIColor::clearColor().get());
    setStyle(sheet->styleWithSelector(NS("tableHeader")).get());
    label_ = make<UILabel>();
    label_->setText(title);
    label_->setBackgroundColor(UIColor::clearColor().get());
    auto textColor = sheet->tableHeaderTextColor();
    label_->setTextColor((textColor ? textColor : sheet->linkTextColor()).get());
    auto shadowColor = sheet->tableHeaderShadowColor();
    label_->setShadowColor((shadowColor ? shadowColor : UIColor::clearColor()).get());
    label_->setShadowOffset(sheet->tableHeaderShadowOffset());
    label_->setFont(sheet->tableHeaderPlainFont().get());
    addSubview(label_);
    return true;
}

void DZTableHeaderView::layoutSubviews() {
    DZView::layoutSubviews();
    label_->setFrame(CGRectMake(kHeaderLabelLeft, 0, bounds().size.width, bounds().size.height));
}
