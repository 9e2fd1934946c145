// The search bar: a styled bar holding a search text field in a rounded box, with an optional
// magnifier icon and Cancel button, that moves the enclosing table's section index out of the
// way while the field is edited. Main thread only.
#pragma once

#include "UIKit/UIColor.h"
#include "UIKit/UITextInputTraits.h"
#include "ui/core/DZView.h"

class DZButton;
class DZSearchTextField;
class DZStyle;
class DZTableView;
class DZTableViewDataSource;
class UIColor;
class UIFont;
class UITextFieldDelegate;

class DZSearchBar : public DZView {
    NS_OBJECT(DZSearchBar, DZView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;

    // The width of the enclosing table's section index, 0 without one.
    CGFloat indexViewWidth();
    void showIndexView(bool show);
    void scrollToTop();
    void textFieldDidBeginEditing();
    void textFieldDidEndEditing();
    bool becomeFirstResponder() override;
    bool resignFirstResponder() override;
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    Ref<DZSearchTextField> searchField() { return searchField_; }
    Ref<DZView> boxView() { return boxView_; }
    Ref<DZButton> cancelButton() { return cancelButton_; }
    Ref<NSString> text();
    void setText(NSString* text);
    Ref<NSString> placeholder();
    void setPlaceholder(NSString* placeholder);
    Ref<DZTableView> tableView();
    Ref<UIColor> tintColor() { return tintColor_; }
    void setTintColor(UIColor* color) { tintColor_ = color; }
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    Ref<DZStyle> textFieldStyle() { return textFieldStyle_; }
    void setTextFieldStyle(DZStyle* style);
    UIReturnKeyType returnKeyType();
    void setReturnKeyType(UIReturnKeyType type);
    CGFloat rowHeight();
    void setRowHeight(CGFloat height);
    bool isEditing();
    bool searchesAutomatically();
    void setSearchesAutomatically(bool v);
    bool showsCancelButton() { return showsCancelButton_; }
    void setShowsCancelButton(bool show);
    bool showsDoneButton();
    void setShowsDoneButton(bool v);
    bool showsDarkScreen();
    void setShowsDarkScreen(bool v);
    bool showsSearchIcon() { return showsSearchIcon_; }
    void setShowsSearchIcon(bool show);
    Ref<DZTableViewDataSource> dataSource();
    void setDataSource(DZTableViewDataSource* dataSource);
    Ref<UITextFieldDelegate> delegate();
    void setDelegate(UITextFieldDelegate* delegate);

    void search();
    void showSearchResults(bool show);

private:
    Ref<DZSearchTextField> searchField_;
    Ref<DZView> boxView_;
    Ref<DZButton> cancelButton_;
    Ref<UIColor> tintColor_;
    Ref<DZStyle> textFieldStyle_;
    bool showsCancelButton_ = false;
    bool showsSearchIcon_ = false;
};
