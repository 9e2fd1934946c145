// A search display controller: a search bar over a contents controller, whose results show in
// their own table while the search is active. The contents controller knows it as its
// searchDisplayController.
#pragma once

#include "Foundation/NSObject.h"

class UISearchBar;
class UIViewController;

// The delegate's messages are optional.
class UISearchDisplayDelegate {
public:
    virtual ~UISearchDisplayDelegate() = default;
};

class UISearchDisplayController : public NSObject {
    NS_OBJECT(UISearchDisplayController, NSObject)
    virtual bool initWithSearchBar(UISearchBar* searchBar, UIViewController* contentsController);
    Ref<UISearchBar> searchBar() { return searchBar_; }
    Ref<UIViewController> searchContentsController() { return contents_.lock(); }
    // Not retained.
    Ref<UISearchDisplayDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UISearchDisplayDelegate* delegate) { delegate_ = delegate; }
    bool isActive() { return active_; }
    void setActive(bool active) { setActive(active, false); }
    virtual void setActive(bool active, bool animated);

private:
    Ref<UISearchBar> searchBar_;
    Weak<UIViewController> contents_;
    Weak<UISearchDisplayDelegate> delegate_;
    bool active_ = false;
};
