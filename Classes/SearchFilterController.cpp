#include "Classes/SearchFilterController.h"

#include "Foundation/NSBundle.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/Runtime.h"
#include "UIKit/UILabel.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"

namespace {
Ref<NSString> trimmed(UITextField* field) {
    auto text = field ? field->text() : nullptr;
    if (!text) return NS("");
    return text->stringByTrimmingCharactersInSet(NSCharacterSet::whitespaceCharacterSet());
}
}  // namespace

void SearchFilterController::describeClass(RuntimeClass& c) {
    c.implements({"textFieldShouldReturn:"});
    c.method("doneButtonPressed:", &SearchFilterController::doneButtonPressed);
    c.method("resetFilter:", &SearchFilterController::resetFilter);
}

void SearchFilterController::viewDidLoad() {
    UIViewController::viewDidLoad();
    auto defaults = NSUserDefaults::standardUserDefaults();
    if (maxPriceField_) {
        maxPriceField_->setText(defaults->stringForKey(NS("PriceMax")));
        maxPriceField_->setDelegate(this);
    }
    if (minPriceField_) {
        minPriceField_->setText(defaults->stringForKey(NS("PriceMin")));
        minPriceField_->setDelegate(this);
    }
    if (hasImageSwitch_) hasImageSwitch_->setOn(defaults->boolForKey(NS("HasImage")));
    if (scopeControl_)
        scopeControl_->setSelectedSegmentIndex(defaults->integerForKey(NS("TitleOnly")));
    if (sortControl_)
        sortControl_->setSelectedSegmentIndex(defaults->integerForKey(NS("SortOrder")));
    if (versionLabel_) {
        auto version = NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleVersion"));
        versionLabel_->setText(NSString::stringWithFormat(NS("v%@"), version.get()));
    }
}

void SearchFilterController::saveFilter() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setObject(trimmed(maxPriceField_), NS("PriceMax"));
    defaults->setObject(trimmed(minPriceField_), NS("PriceMin"));
    defaults->setObject(NSNumber::numberWithBool(hasImageSwitch_ && hasImageSwitch_->isOn()),
                        NS("HasImage"));
    defaults->setObject(
        NSNumber::numberWithInt(scopeControl_ ? scopeControl_->selectedSegmentIndex() : 0),
        NS("TitleOnly"));
    defaults->setObject(
        NSNumber::numberWithInt(sortControl_ ? sortControl_->selectedSegmentIndex() : 0),
        NS("SortOrder"));
    defaults->synchronize();
}

void SearchFilterController::doneButtonPressed(NSObject*) {
    saveFilter();
    dismissModalViewControllerAnimated(true);
}

void SearchFilterController::resetFilter(NSObject*) {
    if (maxPriceField_) maxPriceField_->setText(NS(""));
    if (minPriceField_) minPriceField_->setText(NS(""));
    if (hasImageSwitch_) hasImageSwitch_->setOn(false);
    if (scopeControl_) scopeControl_->setSelectedSegmentIndex(0);
    if (sortControl_) sortControl_->setSelectedSegmentIndex(0);
    saveFilter();
}

bool SearchFilterController::textFieldShouldReturn(UITextField*) {
    if (maxPriceField_) maxPriceField_->resignFirstResponder();
    if (minPriceField_) minPriceField_->resignFirstResponder();
    return true;
}
