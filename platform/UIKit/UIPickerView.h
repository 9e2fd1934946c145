// Pickers: spinning wheels of rows, one wheel per component, asked of a data source and
// labelled by a delegate. A finger or the shell picks a row; the delegate hears of choices the
// user makes, not of selections made in code.
#pragma once

#include <map>
#include <vector>

#include "UIKit/UIView.h"

class UIPickerView;

class UIPickerViewDataSource {
public:
    virtual ~UIPickerViewDataSource() = default;
    virtual NSInteger numberOfComponentsInPickerView(UIPickerView* pickerView) = 0;
    virtual NSInteger pickerViewNumberOfRowsInComponent(UIPickerView* pickerView,
                                                        NSInteger component) = 0;
};

// All optional. A row shows the delegate's view when it gives one, else its title.
class UIPickerViewDelegate {
public:
    virtual ~UIPickerViewDelegate() = default;
    virtual CGFloat pickerViewWidthForComponent(UIPickerView*, NSInteger) { return 0; }
    virtual CGFloat pickerViewRowHeightForComponent(UIPickerView*, NSInteger) { return 0; }
    virtual Ref<NSString> pickerViewTitleForRowForComponent(UIPickerView*, NSInteger, NSInteger) {
        return nullptr;
    }
    virtual Ref<UIView> pickerViewViewForRowForComponentReusingView(UIPickerView*, NSInteger,
                                                                    NSInteger, UIView*) {
        return nullptr;
    }
    virtual void pickerViewDidSelectRowInComponent(UIPickerView*, NSInteger, NSInteger) {}
};

class UIPickerView : public UIView {
    NS_OBJECT(UIPickerView, UIView)
    static void describeClass(RuntimeClass& c);
    // The platform's picker is 320 x 216 whatever height it is given.
    bool initWithFrame(CGRect frame) override;

    // Neither is retained.
    Ref<UIPickerViewDataSource> dataSource() { return dataSource_.lock(); }
    void setDataSource(UIPickerViewDataSource* dataSource);
    Ref<UIPickerViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIPickerViewDelegate* delegate);
    bool showsSelectionIndicator() { return showsSelectionIndicator_; }
    void setShowsSelectionIndicator(bool v) { showsSelectionIndicator_ = v; }

    // From the data source, as of the last load (loaded on first use and by the reloads).
    NSInteger numberOfComponents();
    NSInteger numberOfRowsInComponent(NSInteger component);
    CGSize rowSizeForComponent(NSInteger component);
    // The row's title (nil when the delegate gives a view or nothing).
    Ref<NSString> titleForRow(NSInteger row, NSInteger component);
    // The view the delegate gave for a row, nil when it gives titles.
    Ref<UIView> viewForRow(NSInteger row, NSInteger component);
    void reloadAllComponents();
    // Keeps the selection when the row still exists, else moves it to the last row.
    void reloadComponent(NSInteger component);

    // -1 when the component has no rows. Selecting in code tells nobody; a component or row
    // out of range is ignored.
    NSInteger selectedRowInComponent(NSInteger component);
    void selectRow(NSInteger row, NSInteger component, bool animated);
    // The user's choice (the shell): selects and tells the delegate.
    void userSelectRow(NSInteger row, NSInteger component);

    // Where a component's wheel lies in the bounds, and where a row shows on it (the selected
    // one in the middle, the others above and below it, cut by the wheel); null for one out of
    // range or out of sight.
    CGRect rectForComponent(NSInteger component);
    CGRect rectForRow(NSInteger row, NSInteger component);
    // A finger that lifts where it landed on a row picks it, as userSelectRow does.
    void touchesEnded(NSSet* touches, UIEvent* event) override;

    CGSize sizeThatFits(CGSize size) override;

private:
    void loadIfNeeded();
    void loadComponent(NSInteger component);
    Weak<UIPickerViewDataSource> dataSource_;
    Weak<UIPickerViewDelegate> delegate_;
    bool showsSelectionIndicator_ = false;
    bool loaded_ = false;
    std::vector<NSInteger> rows_;
    std::vector<NSInteger> selected_;
    std::map<std::pair<NSInteger, NSInteger>, Ref<UIView>> rowViews_;
};
