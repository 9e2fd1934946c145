// A search display controller: a search bar over a contents controller, whose results show in
// their own table while the search is active. The contents controller knows it as its
// searchDisplayController. The controller is the bar's delegate: editing the bar begins the
// search, each change of the text asks whether to reload the results, the results table shows
// while there is text, and the bar's Cancel ends the search.
#pragma once

#include "Foundation/NSObject.h"
#include "UIKit/UISearchBar.h"

class NSString;
class UISearchDisplayController;
class UITableView;
class UITableViewDataSource;
class UITableViewDelegate;
class UIViewController;

// The delegate's messages are optional; the defaults reload on every change.
class UISearchDisplayDelegate {
public:
    virtual ~UISearchDisplayDelegate() = default;
    virtual void searchDisplayControllerWillBeginSearch(UISearchDisplayController*) {}
    virtual void searchDisplayControllerDidBeginSearch(UISearchDisplayController*) {}
    virtual void searchDisplayControllerWillEndSearch(UISearchDisplayController*) {}
    virtual void searchDisplayControllerDidEndSearch(UISearchDisplayController*) {}
    virtual void searchDisplayControllerDidLoadSearchResultsTableView(UISearchDisplayController*,
                                                                      UITableView*) {}
    virtual void searchDisplayControllerWillUnloadSearchResultsTableView(UISearchDisplayController*,
                                                                         UITableView*) {}
    virtual void searchDisplayControllerWillShowSearchResultsTableView(UISearchDisplayController*,
                                                                       UITableView*) {}
    virtual void searchDisplayControllerDidShowSearchResultsTableView(UISearchDisplayController*,
                                                                      UITableView*) {}
    virtual void searchDisplayControllerWillHideSearchResultsTableView(UISearchDisplayController*,
                                                                       UITableView*) {}
    virtual void searchDisplayControllerDidHideSearchResultsTableView(UISearchDisplayController*,
                                                                      UITableView*) {}
    virtual bool searchDisplayControllerShouldReloadTableForSearchString(UISearchDisplayController*,
                                                                         NSString*) {
        return true;
    }
    virtual bool searchDisplayControllerShouldReloadTableForSearchScope(UISearchDisplayController*,
                                                                        NSInteger) {
        return true;
    }
};

class UISearchDisplayController : public NSObject, public UISearchBarDelegate {
    NS_OBJECT(UISearchDisplayController, NSObject)
    virtual bool initWithSearchBar(UISearchBar* searchBar, UIViewController* contentsController);
    void dealloc() override;
    Ref<UISearchBar> searchBar() { return searchBar_; }
    Ref<UIViewController> searchContentsController() { return contents_.lock(); }
    // Not retained.
    Ref<UISearchDisplayDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UISearchDisplayDelegate* delegate) { delegate_ = delegate; }
    bool isActive() { return active_; }
    void setActive(bool active) { setActive(active, false); }
    // Beginning shows the bar's Cancel button; ending hides the results, clears and leaves the
    // bar. Each direction tells the delegate will, then did.
    virtual void setActive(bool active, bool animated);

    // Made on first read, framed under the bar over the contents controller's view.
    Ref<UITableView> searchResultsTableView();
    // Not retained; handed to the results table.
    Ref<UITableViewDataSource> searchResultsDataSource() { return resultsDataSource_.lock(); }
    void setSearchResultsDataSource(UITableViewDataSource* dataSource);
    Ref<UITableViewDelegate> searchResultsDelegate() { return resultsDelegate_.lock(); }
    virtual void setSearchResultsDelegate(UITableViewDelegate* delegate);
    // Whether the results table is in the contents controller's view.
    bool showsSearchResultsTable() { return tableShown_; }

    // The bar's calls.
    void searchBarTextDidBeginEditing(UISearchBar* searchBar) override;
    void searchBarTextDidChange(UISearchBar* searchBar, NSString* text) override;
    void searchBarCancelButtonClicked(UISearchBar* searchBar) override;
    void searchBarSelectedScopeButtonIndexDidChange(UISearchBar* searchBar,
                                                    NSInteger index) override;

private:
    void showResultsTable(bool show);

    Ref<UISearchBar> searchBar_;
    Weak<UIViewController> contents_;
    Weak<UISearchDisplayDelegate> delegate_;
    Ref<UITableView> resultsTable_;
    Weak<UITableViewDataSource> resultsDataSource_;
    Weak<UITableViewDelegate> resultsDelegate_;
    bool active_ = false;
    bool tableShown_ = false;
};
