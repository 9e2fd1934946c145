#include "UIKit/UISearchDisplayController.h"

#include <algorithm>

#include "Foundation/NSString.h"
#include "UIKit/UITableView.h"
#include "UIKit/UIViewController.h"

bool UISearchDisplayController::initWithSearchBar(UISearchBar* searchBar,
                                                  UIViewController* contentsController) {
    if (!init()) return false;
    searchBar_ = searchBar;
    contents_ = contentsController;
    if (searchBar) searchBar->setDelegate(this);
    if (contentsController) contentsController->setSearchDisplayController(this);
    return true;
}

void UISearchDisplayController::dealloc() {
    if (resultsTable_) resultsTable_->removeFromSuperview();
    NSObject::dealloc();
}

void UISearchDisplayController::setActive(bool active, bool) {
    if (active == active_) return;
    Ref<UISearchDisplayController> self(this);
    auto d = delegate();
    if (active) {
        if (d) d->searchDisplayControllerWillBeginSearch(this);
        active_ = true;
        if (searchBar_) searchBar_->setShowsCancelButton(true);
        if (d) d->searchDisplayControllerDidBeginSearch(this);
    } else {
        if (d) d->searchDisplayControllerWillEndSearch(this);
        showResultsTable(false);
        active_ = false;
        if (searchBar_) {
            searchBar_->setShowsCancelButton(false);
            searchBar_->resignFirstResponder();
        }
        if (d) d->searchDisplayControllerDidEndSearch(this);
    }
}

Ref<UITableView> UISearchDisplayController::searchResultsTableView() {
    if (!resultsTable_) {
        CGRect frame = CGRectZero;
        if (auto contents = searchContentsController()) frame = contents->view()->bounds();
        if (searchBar_) {
            CGFloat barBottom = searchBar_->frame().origin.y + searchBar_->frame().size.height;
            frame.origin.y += barBottom;
            frame.size.height = std::max<CGFloat>(0, frame.size.height - barBottom);
        }
        resultsTable_ = alloc<UITableView>();
        resultsTable_->initWithFrame(frame, UITableViewStylePlain);
        resultsTable_->setDataSource(resultsDataSource_.lock().get());
        resultsTable_->setDelegate(resultsDelegate_.lock().get());
        if (auto d = delegate())
            d->searchDisplayControllerDidLoadSearchResultsTableView(this, resultsTable_.get());
    }
    return resultsTable_;
}

void UISearchDisplayController::setSearchResultsDataSource(UITableViewDataSource* dataSource) {
    resultsDataSource_ = dataSource;
    if (resultsTable_) resultsTable_->setDataSource(dataSource);
}

void UISearchDisplayController::setSearchResultsDelegate(UITableViewDelegate* delegate) {
    resultsDelegate_ = delegate;
    if (resultsTable_) resultsTable_->setDelegate(delegate);
}

void UISearchDisplayController::showResultsTable(bool show) {
    if (show == tableShown_) return;
    auto contents = searchContentsController();
    if (show && !contents) return;
    Ref<UISearchDisplayController> self(this);
    auto table = searchResultsTableView();
    auto d = delegate();
    if (show) {
        if (d) d->searchDisplayControllerWillShowSearchResultsTableView(this, table.get());
        contents->view()->addSubview(table.get());
        tableShown_ = true;
        if (d) d->searchDisplayControllerDidShowSearchResultsTableView(this, table.get());
    } else {
        if (d) d->searchDisplayControllerWillHideSearchResultsTableView(this, table.get());
        table->removeFromSuperview();
        tableShown_ = false;
        if (d) d->searchDisplayControllerDidHideSearchResultsTableView(this, table.get());
    }
}

void UISearchDisplayController::searchBarTextDidBeginEditing(UISearchBar*) {
    setActive(true, true);
}

void UISearchDisplayController::searchBarTextDidChange(UISearchBar*, NSString* text) {
    if (!active_) return;
    Ref<UISearchDisplayController> self(this);
    bool reload = true;
    if (auto d = delegate())
        reload = d->searchDisplayControllerShouldReloadTableForSearchString(this, text);
    showResultsTable(text && text->length() > 0);
    if (reload && resultsTable_) resultsTable_->reloadData();
}

void UISearchDisplayController::searchBarCancelButtonClicked(UISearchBar*) {
    setActive(false, true);
}

void UISearchDisplayController::searchBarSelectedScopeButtonIndexDidChange(UISearchBar*,
                                                                           NSInteger index) {
    Ref<UISearchDisplayController> self(this);
    bool reload = true;
    if (auto d = delegate())
        reload = d->searchDisplayControllerShouldReloadTableForSearchScope(this, index);
    if (reload && resultsTable_) resultsTable_->reloadData();
}
