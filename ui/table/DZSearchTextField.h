// A text field that searches as the user types: the trimmed text goes to a table data source on
// the next run-loop pass after an edit, and the source's results show in a table laid over the
// screen under the field. While editing it can put a Done button in the visible controller's
// navigation bar and dim the rest of the screen with a dark screen that ends editing when
// tapped. Main thread only.
#pragma once

#include "Foundation/Runtime.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITextField.h"
#include "ui/core/DZModel.h"

class DZSearchTextField;
class DZTableView;
class DZTableViewDataSource;
class DZView;
class NSTimer;
class UIBarButtonItem;
class UIButton;
class UINavigationItem;

// What the field's delegate may hear beyond the text field's own calls.
class DZSearchTextFieldDelegate : public UITextFieldDelegate {
public:
    virtual void textFieldDidSelectObject(DZSearchTextField*, NSObject*) {}
};

// The field's own text-field delegate: it lets the field schedule its searches and forwards
// everything to the public delegate, which it does not retain.
class DZSearchTextFieldInternal : public NSObject, public UITextFieldDelegate {
    NS_OBJECT(DZSearchTextFieldInternal, NSObject)
    bool initWithTextField(DZSearchTextField* textField);
    Ref<UITextFieldDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UITextFieldDelegate* delegate) { delegate_ = delegate; }

    bool textFieldShouldBeginEditing(UITextField* textField) override;
    void textFieldDidBeginEditing(UITextField* textField) override;
    bool textFieldShouldEndEditing(UITextField* textField) override;
    void textFieldDidEndEditing(UITextField* textField) override;
    bool textFieldShouldChangeCharactersInRangeReplacementString(UITextField* textField,
                                                                 NSRange range,
                                                                 NSString* string) override;
    bool textFieldShouldClear(UITextField* textField) override;
    bool textFieldShouldReturn(UITextField* textField) override;

private:
    Weak<DZSearchTextField> textField_;
    Weak<UITextFieldDelegate> delegate_;
};

class DZSearchTextField : public UITextField, public UITableViewDelegate, public DZModelDelegate {
    NS_OBJECT(DZSearchTextField, UITextField)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    void showDoneButton(bool show);
    void showDarkScreen(bool show);
    // The text without leading and trailing spaces and tabs; empty when hasText is NO.
    Ref<NSString> searchText();
    void autoSearch();
    void dispatchUpdate(NSTimer* timer);
    // One search on the next pass, however many edits come before it.
    void delayedUpdate();
    bool hasSearchResults();
    void reloadTable();
    void screenAnimationDidStop();
    void doneAction();

    // The public delegate lives in the internal forwarder.
    Ref<UITextFieldDelegate> delegate() override;
    void setDelegate(UITextFieldDelegate* delegate) override;
    void setText(NSString* text) override;

    CGFloat tableViewHeightForRowAtIndexPath(UITableView* tableView,
                                             NSIndexPath* indexPath) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;

    void modelDidStartLoad(DZModelProtocol* model) override;
    void modelDidFinishLoad(DZModelProtocol* model) override;
    void modelDidChange(DZModelProtocol* model) override;
    void modelDidFailLoadWithError(DZModelProtocol* model, NSError* error) override;

    void didBeginEditing();
    void didEndEditing();

    Ref<DZTableViewDataSource> dataSource() { return dataSource_; }
    void setDataSource(DZTableViewDataSource* dataSource);
    // Made on first read.
    Ref<DZTableView> tableView();
    bool searchesAutomatically() { return searchesAutomatically_; }
    void setSearchesAutomatically(bool automatic);
    bool hasText() override;
    CGFloat rowHeight() { return rowHeight_; }
    void setRowHeight(CGFloat height) { rowHeight_ = height; }
    bool showsDoneButton() { return showsDoneButton_; }
    void setShowsDoneButton(bool v) { showsDoneButton_ = v; }
    bool showsDarkScreen() { return showsDarkScreen_; }
    void setShowsDarkScreen(bool v) { showsDarkScreen_ = v; }

    // Overridden by the picker field.
    virtual void search();
    virtual void showSearchResults(bool show);
    Ref<UIView> superviewForSearchResults();
    virtual CGRect rectForSearchResults(bool withKeyboard);
    // emptyText is YES for a deletion; NO refuses the edit.
    virtual bool shouldUpdate(bool emptyText);

    // For tests and the shell: the shadow strip and the dark screen, nil until first used.
    Ref<DZView> shadowView() { return shadowView_; }
    Ref<UIButton> screenView() { return screenView_; }

protected:
    // The internal forwarder sends the public delegate's selection reports through this.
    Ref<DZSearchTextFieldInternal> internal() { return internal_; }

private:
    Ref<DZSearchTextFieldInternal> internal_;
    Ref<DZTableView> tableView_;
    Ref<DZView> shadowView_;
    Ref<UIButton> screenView_;
    Ref<UINavigationItem> previousNavigationItem_;
    Ref<UIBarButtonItem> previousRightBarButtonItem_;
    Weak<NSTimer> searchTimer_;
    CGFloat rowHeight_ = 0;
    bool searchesAutomatically_ = true;
    bool showsDoneButton_ = false;
    bool showsDarkScreen_ = false;
    Ref<DZTableViewDataSource> dataSource_;
};
