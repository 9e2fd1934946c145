// One option row of a saved search's settings: a label with a text field (type 0, or 1 with
// the numbers keyboard), a label with a switch (2), a segmented choice (3) or a button (4).
// Loaded from the interface file "SearchSettingViewCell".
#pragma once

#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"

class NSArray;

class SearchSettingViewCell : public UITableViewCell {
    NS_OBJECT(SearchSettingViewCell, UITableViewCell)
    static void describeClass(RuntimeClass& c);

    // The first SearchSettingViewCell of the interface file; nil when it has none.
    static Ref<SearchSettingViewCell> createTableViewCell();

    Ref<UILabel> label() { return label_; }
    void setLabel(UILabel* v) { label_ = v; }
    Ref<UITextField> textField() { return textField_; }
    void setTextField(UITextField* v) { textField_ = v; }
    Ref<UISwitch> boolSwitch() { return boolSwitch_; }
    void setBoolSwitch(UISwitch* v) { boolSwitch_ = v; }
    Ref<UISegmentedControl> choice() { return choice_; }
    void setChoice(UISegmentedControl* v) { choice_ = v; }
    Ref<UIButton> button() { return button_; }
    // The interface file's connection of the read-only button.
    void setButton(UIButton* v) { button_ = v; }
    int32_t type() { return type_; }

    void configure(NSString* label, int type, NSString* value);
    void configureChoice(NSString* label, NSArray* titles, int index);
    void configureBoolean(NSString* label, bool on);

    Ref<NSString> getValue();
    NSInteger getChoice();
    // The label's text: which option the row edits.
    Ref<NSString> getKey();
    bool getBoolValue();

    void editDone(NSObject* sender);
    void buttonPressed(NSObject* sender);
    // What "Reset Settings" does: nothing.
    void resetSettings() {}

private:
    Ref<UILabel> label_;
    Ref<UITextField> textField_;
    Ref<UISwitch> boolSwitch_;
    Ref<UISegmentedControl> choice_;
    Ref<UIButton> button_;
    int32_t type_ = 0;
};
