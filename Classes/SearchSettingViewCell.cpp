#include "Classes/SearchSettingViewCell.h"

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINib.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"

void SearchSettingViewCell::describeClass(RuntimeClass& c) {
    c.method("editDone:", &SearchSettingViewCell::editDone);
    c.method("buttonPressed:", &SearchSettingViewCell::buttonPressed);
}

Ref<SearchSettingViewCell> SearchSettingViewCell::createTableViewCell() {
    auto objects = loadNibNamed(nullptr, NS("SearchSettingViewCell"), nullptr, nullptr);
    for (NSUInteger i = 0; objects && i < objects->count(); ++i) {
        if (auto cell = as<SearchSettingViewCell>(objects->objectAtIndex(i))) return cell;
    }
    return nullptr;
}

void SearchSettingViewCell::configure(NSString* label, int type, NSString* value) {
    if (boolSwitch_) boolSwitch_->setHidden(true);
    type_ = type;
    if (type == 0 || type == 1) {
        if (label_) label_->setHidden(false);
        if (textField_) {
            textField_->setHidden(false);
            textField_->setText(value);
            if (type == 1) textField_->setKeyboardType(UIKeyboardTypeNumbersAndPunctuation);
        }
    } else if (type == 2) {
        if (label_) label_->setHidden(false);
        if (boolSwitch_) boolSwitch_->setHidden(false);
    } else if (type == 3) {
        if (label_) label_->setHidden(true);
        if (choice_) choice_->setHidden(false);
    } else if (type == 4) {
        if (label_) label_->setHidden(true);
        if (button_) {
            button_->setHidden(false);
            button_->setTitle(label, UIControlStateNormal);
            button_->setTitle(label, UIControlStateHighlighted);
        }
    }
    if (label_) label_->setText(label);
}

void SearchSettingViewCell::configureChoice(NSString* label, NSArray* titles, int index) {
    if (label_) label_->setText(label);
    type_ = 3;
    if (!choice_) return;
    choice_->setHidden(false);
    for (NSUInteger i = 0; titles && i < titles->count(); ++i) {
        // The control comes with two segments.
        if (i >= 2) choice_->insertSegmentWithTitle(NS(""), i, false);
        choice_->setTitle(as<NSString>(titles->objectAtIndex(i)), i);
    }
    choice_->setSelectedSegmentIndex(index);
}

void SearchSettingViewCell::configureBoolean(NSString* label, bool on) {
    if (label_) label_->setText(label);
    if (!boolSwitch_) return;
    boolSwitch_->setHidden(false);
    boolSwitch_->setOn(on);
}

Ref<NSString> SearchSettingViewCell::getValue() {
    if (type_ == 3) {
        if (!choice_ || choice_->selectedSegmentIndex() < 0) return nullptr;
        return choice_->titleForSegmentAtIndex(
            static_cast<NSUInteger>(choice_->selectedSegmentIndex()));
    }
    return textField_ ? textField_->text() : nullptr;
}

NSInteger SearchSettingViewCell::getChoice() {
    return choice_ ? choice_->selectedSegmentIndex() : -1;
}

Ref<NSString> SearchSettingViewCell::getKey() {
    return label_ ? label_->text() : nullptr;
}

bool SearchSettingViewCell::getBoolValue() {
    return boolSwitch_ && boolSwitch_->isOn();
}

void SearchSettingViewCell::editDone(NSObject* sender) {
    if (auto responder = as<UIResponder>(sender)) responder->resignFirstResponder();
}

void SearchSettingViewCell::buttonPressed(NSObject*) {
    resetSettings();
}
