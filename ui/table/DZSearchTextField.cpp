#include "ui/table/DZSearchTextField.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

constexpr NSTimeInterval kScreenFadeDuration = 0.3;
constexpr CGFloat kShadowHeight = 24;
// An ancestor taller than this can hold the results when no scroll view encloses the field.
constexpr CGFloat kResultsHostMinHeight = 150;

SEL sel(const char* name) {
    return Selector::named(name);
}

}  // namespace

// ---- the forwarder ------------------------------------------------------------------------------

bool DZSearchTextFieldInternal::initWithTextField(DZSearchTextField* textField) {
    if (!init()) return false;
    textField_ = textField;
    return true;
}

bool DZSearchTextFieldInternal::textFieldShouldBeginEditing(UITextField* textField) {
    if (auto d = delegate()) return d->textFieldShouldBeginEditing(textField);
    return true;
}

void DZSearchTextFieldInternal::textFieldDidBeginEditing(UITextField* textField) {
    if (auto d = delegate()) d->textFieldDidBeginEditing(textField);
}

bool DZSearchTextFieldInternal::textFieldShouldEndEditing(UITextField* textField) {
    if (auto d = delegate()) return d->textFieldShouldEndEditing(textField);
    return true;
}

void DZSearchTextFieldInternal::textFieldDidEndEditing(UITextField* textField) {
    if (auto d = delegate()) d->textFieldDidEndEditing(textField);
}

bool DZSearchTextFieldInternal::textFieldShouldChangeCharactersInRangeReplacementString(
    UITextField* textField, NSRange range, NSString* string) {
    auto field = textField_.lock();
    if (field && !field->shouldUpdate(!string || string->length() == 0)) return false;
    if (auto d = delegate())
        return d->textFieldShouldChangeCharactersInRangeReplacementString(textField, range, string);
    return true;
}

bool DZSearchTextFieldInternal::textFieldShouldClear(UITextField* textField) {
    if (auto field = textField_.lock()) field->shouldUpdate(true);
    if (auto d = delegate()) return d->textFieldShouldClear(textField);
    return true;
}

bool DZSearchTextFieldInternal::textFieldShouldReturn(UITextField* textField) {
    bool answer = true;
    if (auto d = delegate()) {
        answer = d->textFieldShouldReturn(textField);
        if (!answer) return false;
    }
    if (auto field = textField_.lock()) {
        if (field->searchesAutomatically())
            field->doneAction();
        else
            field->search();
    }
    return answer;
}

// ---- the field ----------------------------------------------------------------------------------

void DZSearchTextField::describeClass(RuntimeClass& c) {
    c.implements({"tableView:heightForRowAtIndexPath:", "tableView:didSelectRowAtIndexPath:",
                  "modelDidStartLoad:", "modelDidFinishLoad:", "modelDidChange:",
                  "model:didFailLoadWithError:"});
    c.method("didBeginEditing", &DZSearchTextField::didBeginEditing)
        .method("didEndEditing", &DZSearchTextField::didEndEditing)
        .method("doneAction", &DZSearchTextField::doneAction)
        .method("screenAnimationDidStop", &DZSearchTextField::screenAnimationDidStop)
        .method("dispatchUpdate:", &DZSearchTextField::dispatchUpdate);
}

bool DZSearchTextField::initWithFrame(CGRect frame) {
    if (!UITextField::initWithFrame(frame)) return false;
    internal_ =
        make<DZSearchTextFieldInternal>(&DZSearchTextFieldInternal::initWithTextField, this);
    setAutocorrectionType(UITextAutocorrectionTypeNo);
    setClearButtonMode(UITextFieldViewModeWhileEditing);
    setSearchesAutomatically(true);
    addTarget(this, sel("didBeginEditing"), UIControlEventEditingDidBegin);
    addTarget(this, sel("didEndEditing"), UIControlEventEditingDidEnd);
    // The inherited setter: the public delegate lives in the forwarder.
    UITextField::setDelegate(internal_.get());
    return true;
}

void DZSearchTextField::dealloc() {
    if (auto t = searchTimer_.lock()) t->invalidate();
    if (dataSource_)
        if (auto delegates = dataSource_->model()->delegates()) delegates->removeObject(this);
    if (tableView_) tableView_->setDelegate(nullptr);
    if (screenView_) screenView_->removeFromSuperview();
    UITextField::dealloc();
}

Ref<UITextFieldDelegate> DZSearchTextField::delegate() {
    return internal_ ? internal_->delegate() : nullptr;
}

void DZSearchTextField::setDelegate(UITextFieldDelegate* delegate) {
    if (internal_) internal_->setDelegate(delegate);
}

void DZSearchTextField::setText(NSString* text) {
    UITextField::setText(text);
    autoSearch();
}

bool DZSearchTextField::hasText() {
    return text()->length() > 0;
}

Ref<NSString> DZSearchTextField::searchText() {
    if (!hasText()) return NS("");
    return text()->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet().get());
}

void DZSearchTextField::autoSearch() {
    if (searchesAutomatically_ && text()->length() > 0) search();
}

void DZSearchTextField::dispatchUpdate(NSTimer*) {
    searchTimer_ = nullptr;
    autoSearch();
}

void DZSearchTextField::delayedUpdate() {
    if (auto t = searchTimer_.lock()) t->invalidate();
    searchTimer_ =
        NSTimer::scheduledTimerWithTimeInterval(0, this, sel("dispatchUpdate:"), nullptr, false);
}

bool DZSearchTextField::hasSearchResults() {
    auto table = tableView();
    if (respondsTo(dataSource_.get(), sel("numberOfSectionsInTableView:")) &&
        dataSource_->numberOfSectionsInTableView(table.get()) == 0)
        return false;
    return dataSource_ && dataSource_->tableViewNumberOfRowsInSection(table.get(), 0) > 0;
}

void DZSearchTextField::reloadTable() {
    Ref<DZSearchTextField> self(this);
    if (dataSource_) dataSource_->tableViewDidLoadModel(tableView().get());
    if (hasSearchResults()) {
        layoutIfNeeded();
        showSearchResults(true);
        tableView_->reloadData();
    } else {
        showSearchResults(false);
    }
}

void DZSearchTextField::screenAnimationDidStop() {
    if (screenView_ && screenView_->alpha() == 0) screenView_->removeFromSuperview();
}

void DZSearchTextField::doneAction() {
    Ref<DZSearchTextField> self(this);
    resignFirstResponder();
    if (dataSource_) setText(NS(""));
}

CGFloat DZSearchTextField::tableViewHeightForRowAtIndexPath(UITableView* tableView,
                                                            NSIndexPath* indexPath) {
    if (rowHeight_) return rowHeight_;
    if (!dataSource_) return kDZTableDefaultRowHeight;
    auto object = dataSource_->tableViewObjectForRowAtIndexPath(tableView, indexPath);
    Class cls = dataSource_->tableViewCellClassForObject(tableView, object.get());
    return DZTableViewCell::rowHeightForClass(cls, tableView, object.get());
}

void DZSearchTextField::tableViewDidSelectRowAtIndexPath(UITableView* tableView,
                                                         NSIndexPath* indexPath) {
    auto d = delegate();
    auto* object = d ? dynamic_cast<NSObject*>(d.get()) : nullptr;
    auto* reporter = d ? dynamic_cast<DZSearchTextFieldDelegate*>(d.get()) : nullptr;
    if (!reporter || !respondsTo(object, sel("textField:didSelectObject:")) || !dataSource_) return;
    auto selected = dataSource_->tableViewObjectForRowAtIndexPath(tableView, indexPath);
    auto cell = tableView->cellForRowAtIndexPath(indexPath);
    if (cell && cell->selectionStyle() == UITableViewCellSelectionStyleNone) return;
    reporter->textFieldDidSelectObject(this, selected.get());
}

void DZSearchTextField::modelDidStartLoad(DZModelProtocol*) {
    if (!searchesAutomatically_) reloadTable();
}

void DZSearchTextField::modelDidFinishLoad(DZModelProtocol*) {
    reloadTable();
}

void DZSearchTextField::modelDidChange(DZModelProtocol*) {
    reloadTable();
}

void DZSearchTextField::modelDidFailLoadWithError(DZModelProtocol*, NSError*) {
    reloadTable();
}

void DZSearchTextField::didBeginEditing() {
    if (!dataSource_) return;
    Ref<DZSearchTextField> self(this);
    if (auto scroll =
            as<UIScrollView>(ancestorOrSelfWithClass(this, UIScrollView::staticClass()))) {
        scroll->setScrollEnabled(false);
        scroll->setScrollsToTop(false);
    }
    if (showsDoneButton_) showDoneButton(true);
    if (showsDarkScreen_) showDarkScreen(true);
    if (hasText() && hasSearchResults()) showSearchResults(true);
}

void DZSearchTextField::didEndEditing() {
    if (!dataSource_) return;
    Ref<DZSearchTextField> self(this);
    if (auto scroll =
            as<UIScrollView>(ancestorOrSelfWithClass(this, UIScrollView::staticClass()))) {
        scroll->setScrollEnabled(true);
        scroll->setScrollsToTop(true);
    }
    showSearchResults(false);
    if (showsDoneButton_) showDoneButton(false);
    if (showsDarkScreen_) showDarkScreen(false);
}

void DZSearchTextField::setDataSource(DZTableViewDataSource* dataSource) {
    if (dataSource == dataSource_.get()) return;
    if (dataSource_)
        if (auto delegates = dataSource_->model()->delegates()) delegates->removeObject(this);
    dataSource_ = dataSource;
    if (dataSource_)
        if (auto delegates = dataSource_->model()->delegates()) delegates->addObject(this);
}

Ref<DZTableView> DZSearchTextField::tableView() {
    if (!tableView_) {
        tableView_ =
            make<DZTableView>(&DZTableView::initWithFrame, CGRectZero, UITableViewStylePlain);
        auto sheet = DZTableStyleSheet();
        tableView_->setBackgroundColor(sheet->searchTableBackgroundColor().get());
        tableView_->setSeparatorColor(sheet->searchTableSeparatorColor().get());
        tableView_->setRowHeight(rowHeight_);
        tableView_->setDataSource(dataSource_.get());
        tableView_->setDelegate(this);
        tableView_->setScrollsToTop(false);
    }
    return tableView_;
}

void DZSearchTextField::setSearchesAutomatically(bool automatic) {
    searchesAutomatically_ = automatic;
    if (automatic) {
        setReturnKeyType(UIReturnKeyDone);
        setEnablesReturnKeyAutomatically(false);
    } else {
        setReturnKeyType(UIReturnKeySearch);
        setEnablesReturnKeyAutomatically(true);
    }
}

void DZSearchTextField::search() {
    if (dataSource_) dataSource_->search(searchText().get());
}

void DZSearchTextField::showSearchResults(bool show) {
    if (show && dataSource_) {
        auto table = tableView();
        if (!shadowView_) {
            shadowView_ = make<DZView>(&DZView::initWithFrame, CGRectZero);
            shadowView_->setStyle(
                DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("searchTableShadow")).get());
            shadowView_->setBackgroundColor(UIColor::clearColor().get());
            shadowView_->setUserInteractionEnabled(false);
        }
        if (!table->superview()) {
            table->setFrame(rectForSearchResults(true));
            shadowView_->setFrame(CGRectMake(left(table.get()), top(table.get()) - 1,
                                             width(table.get()), kShadowHeight));
            auto host = superviewForSearchResults();
            host->addSubview(table.get());
            if (table->separatorStyle() != UITableViewCellSeparatorStyleNone)
                host->addSubview(shadowView_.get());
        }
        if (auto selected = table->indexPathForSelectedRow())
            table->deselectRowAtIndexPath(selected.get(), false);
    } else {
        if (tableView_) tableView_->removeFromSuperview();
        if (shadowView_) shadowView_->removeFromSuperview();
    }
}

Ref<UIView> DZSearchTextField::superviewForSearchResults() {
    if (auto scroll = ancestorOrSelfWithClass(this, UIScrollView::staticClass())) return scroll;
    for (auto view = superview(); view; view = view->superview())
        if (height(view.get()) > kResultsHostMinHeight) return view;
    return superview();
}

CGRect DZSearchTextField::rectForSearchResults(bool withKeyboard) {
    auto host = superviewForSearchResults();
    CGFloat y = 0;
    for (Ref<UIView> view(this); view && view != host; view = view->superview())
        y += top(view.get());
    CGFloat keyboard = withKeyboard ? DZCurrentKeyboardHeight() : 0;
    CGFloat windowHeight =
        window() ? height(window().get()) : UIScreen::mainScreen()->bounds().size.height;
    CGFloat h = windowHeight - (dzScreenY(this) + height(this) + keyboard) + 1;
    return CGRectMake(0, y + height(this) - 1, host ? width(host.get()) : 0, h);
}

bool DZSearchTextField::shouldUpdate(bool) {
    delayedUpdate();
    return true;
}

// ---- Done button and dark screen ------------------------------------------------------------

void DZSearchTextField::showDoneButton(bool show) {
    auto controller = DZNavigator::navigator()->visibleViewController();
    if (!controller) return;
    if (show) {
        previousNavigationItem_ = controller->navigationItem();
        previousRightBarButtonItem_ = previousNavigationItem_->rightBarButtonItem();
        auto done = make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                          UIBarButtonSystemItemDone, static_cast<NSObject*>(this),
                                          sel("doneAction"));
        previousNavigationItem_->setRightBarButtonItem(done.get(), true);
    } else if (previousNavigationItem_) {
        previousNavigationItem_->setRightBarButtonItem(previousRightBarButtonItem_.get(), true);
        previousNavigationItem_ = nullptr;
        previousRightBarButtonItem_ = nullptr;
    }
}

void DZSearchTextField::showDarkScreen(bool show) {
    if (show && !screenView_) {
        screenView_ = UIButton::buttonWithType(UIButtonTypeCustom);
        screenView_->setBackgroundColor(DZTableStyleSheet()->screenBackgroundColor().get());
        screenView_->setFrame(rectForSearchResults(false));
        screenView_->setAlpha(0);
        screenView_->addTarget(this, sel("doneAction"), UIControlEventTouchUpInside);
        // A dark pane over the page: assistive technology says what a tap on it does.
        screenView_->setAccessibilityLabel(NS("Cancel search"));
    }
    if (!screenView_) return;
    if (show) superviewForSearchResults()->addSubview(screenView_.get());
    UIView::beginAnimations(nullptr, nullptr);
    UIView::setAnimationDuration(kScreenFadeDuration);
    UIView::setAnimationDelegate(this);
    UIView::setAnimationDidStopSelector(sel("screenAnimationDidStop"));
    screenView_->setAlpha(show ? 1 : 0);
    UIView::commitAnimations();
}
