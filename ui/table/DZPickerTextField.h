// The picker field: a search text field that turns chosen results into token cells laid out
// inline before the cursor, wrapping onto further lines and growing the field, as in the
// address fields of a message composer. Backspace selects the last cell, then deletes it;
// typing over a selected cell removes it and keeps the character. Main thread only.
#pragma once

#include "ui/core/DZView.h"
#include "ui/table/DZSearchTextField.h"

class NSArray;
class NSMutableArray;
class UIFont;
class UILabel;
class DZPickerTextField;

// What the picker's delegate may hear beyond the search field's calls.
class DZPickerTextFieldDelegate : public DZSearchTextFieldDelegate {
public:
    virtual void textFieldDidAddCellAtIndex(DZPickerTextField*, NSInteger) {}
    virtual void textFieldDidRemoveCellAtIndex(DZPickerTextField*, NSInteger) {}
    virtual void textFieldDidResize(DZPickerTextField*) {}
};

// One token: a rounded label for a chosen object.
class DZPickerViewCell : public DZView {
    NS_OBJECT(DZPickerViewCell, DZView)
    bool initWithFrame(CGRect frame) override;
    void layoutSubviews() override;
    // The label's size plus 16 by 6, no wider than 250.
    CGSize sizeThatFits(CGSize size) override;

    Ref<NSObject> object() { return object_; }
    void setObject(NSObject* object) { object_ = object; }
    Ref<NSString> label();
    void setLabel(NSString* label);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    bool selected() { return selected_; }
    void setSelected(bool selected);
    Ref<UILabel> labelView() { return labelView_; }

private:
    Ref<NSObject> object_;
    Ref<UILabel> labelView_;
    bool selected_ = false;
};

class DZPickerTextField : public DZSearchTextField {
    NS_OBJECT(DZPickerTextField, DZSearchTextField)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;

    // Places the cells; answers the height they need.
    CGFloat layoutCells();
    void updateHeight();
    CGFloat marginY();
    CGFloat topOfLine(NSInteger line);
    CGFloat centerOfLine(NSInteger line);
    CGFloat heightWithLines(NSInteger lines);
    void selectLastCell();
    Ref<NSString> labelForObject(NSObject* object);

    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void setText(NSString* text) override;
    CGRect textRectForBounds(CGRect bounds) override;
    CGRect editingRectForBounds(CGRect bounds) override;
    CGRect placeholderRectForBounds(CGRect bounds) override;
    CGRect leftViewRectForBounds(CGRect bounds) override;
    CGRect rightViewRectForBounds(CGRect bounds) override;
    // Neither the blank that lets backspace through nor the selection marker is text.
    bool hasText() override;
    void showSearchResults(bool show) override;
    CGRect rectForSearchResults(bool withKeyboard) override;
    bool shouldUpdate(bool emptyText) override;
    void tableViewDidSelectRowAtIndexPath(UITableView* tableView, NSIndexPath* indexPath) override;
    void textFieldDidEndEditing();

    // The objects of the cells, in order.
    Ref<NSArray> cells();
    void addCellWithObject(NSObject* object);
    void removeCellWithObject(NSObject* object);
    void removeAllCells();
    Ref<DZPickerViewCell> selectedCell() { return selectedCell_.lock(); }
    void setSelectedCell(DZPickerViewCell* cell);
    void removeSelectedCell();
    void scrollToVisibleLine(bool animated);
    void scrollToEditingLine(bool animated);

    Ref<NSArray> cellViews();
    NSInteger lineCount() { return lineCount_; }
    CGPoint cursorOrigin() { return cursorOrigin_; }

private:
    // Removes that cell, telling the delegate; the selection goes with it.
    void removeCell(DZPickerViewCell* cell);
    Ref<DZPickerTextFieldDelegate> pickerDelegate(const char* selector);

    Ref<NSMutableArray> cellViews_;
    Weak<DZPickerViewCell> selectedCell_;
    NSInteger lineCount_ = 1;
    CGPoint cursorOrigin_{};
};
