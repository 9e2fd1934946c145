#include "Classes/SearchSettingController.h"

#include "Classes/ListInfo.h"
#include "Classes/SavedSearch.h"
#include "Classes/SearchSettingViewCell.h"
#include "Classes/SearchSettings.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITextField.h"

namespace {
// clang-format off
constexpr std::initializer_list<const char*> kHousing = {
    "hhh/", "roo/", "sub/", "hsw/", "swp/", "vac/", "prk/", "rea/", "aap/", "abo/", "nfb/",
    "fee/", "nfa/", "aiv/"};
constexpr std::initializer_list<const char*> kJobs = {
    "jjj/", "acc/", "ofc/", "egr/", "med/", "sci/", "bus/", "csr/", "edu/", "fbh/", "lab/",
    "gov/", "hum/", "eng/", "lgl/", "mnu/", "mar/", "hea/", "npo/", "rej/", "ret/", "sls/",
    "spa/", "sec/", "trd/", "sof/", "sad/", "tch/", "trp/", "tfr/", "web/", "wri/", "etc/"};
constexpr std::initializer_list<const char*> kPersonals = {
    "stp/", "w4w/", "w4m/", "m4w/", "m4m/", "msr/", "cas/", "mis/", "rnr/"};
// clang-format on
constexpr const char* kOfficeSpace = "off/";

bool is(NSString* key, const char* name) {
    return key && key->isEqualToString(NSString::fromUTF8(name));
}
}  // namespace

void SearchSettingController::describeClass(RuntimeClass& c) {
    c.implements({"tableView:viewForFooterInSection:"});
    c.method("doneButtonPressed:", &SearchSettingController::doneButtonPressed);
    c.method("resetRows:", &SearchSettingController::resetRows);
}

bool SearchSettingController::isPartOf(NSString* url, std::initializer_list<const char*> urlList) {
    if (!url) return false;
    for (const char* entry : urlList) {
        if (url->isEqualToString(NSString::fromUTF8(entry))) return true;
    }
    return false;
}

void SearchSettingController::addCell(SearchSettingViewCell* cell) {
    if (cell) cells_->addObject(cell);
}

void SearchSettingController::viewDidLoad() {
    UIViewController::viewDidLoad();
    if (myTableView_) myTableView_->setAllowsSelection(false);
    if (cells_) return;
    cells_ = NSMutableArray::arrayWithCapacity(10);
    // A search stored before the filter was kept shows the filter it runs with (none: the
    // entire post, the site's order, no image or price bound), not the columns nothing applies.
    if (savedSearch_ && !savedSearch_->filterKept())
        savedSearch_->listInfo()->keepFilterInSettings();
    auto settings = savedSearch_ ? savedSearch_->listInfo()->searchSettings() : nullptr;
    if (!settings) settings = make<SearchSettings>();

    auto text = [&](const char* label, NSString* value) {
        auto cell = SearchSettingViewCell::createTableViewCell();
        if (cell) cell->configure(NSString::fromUTF8(label), 1, value);
        addCell(cell);
    };
    auto flag = [&](const char* label, bool on) {
        auto cell = SearchSettingViewCell::createTableViewCell();
        if (cell) {
            cell->configure(NSString::fromUTF8(label), 2, nullptr);
            cell->configureBoolean(NSString::fromUTF8(label), on);
        }
        addCell(cell);
    };
    auto choice = [&](const char* label, NSArray* titles, int index) {
        auto cell = SearchSettingViewCell::createTableViewCell();
        if (cell) {
            cell->configure(NSString::fromUTF8(label), 3, nullptr);
            cell->configureChoice(NSString::fromUTF8(label), titles, index);
        }
        addCell(cell);
    };

    bool housing = isPartOf(categoryUrl_, kHousing);
    bool office = isPartOf(categoryUrl_, {kOfficeSpace});
    if (housing || office) {
        text("Maximum Rent", settings->maxRent());
        text("Minimum Rent", settings->minRent());
        if (housing) {
            text("Number of Bedrooms",
                 NSString::stringWithFormat(NS("%d"), static_cast<int>(settings->numBedRoom())));
            flag("Dogs Allowed", settings->dogs());
            flag("Cats Allowed", settings->cats());
        }
        if (office) {
            text("Maximum Sq.Ft", settings->maxSqrt());
            text("Minimum Sq.Ft", settings->minSqrt());
        }
    } else if (isPartOf(categoryUrl_, kJobs)) {
        flag("Telecommute", settings->telecommute());
        flag("Contract", settings->contract());
        flag("Parttime", settings->part_time());
        flag("Non-profit", settings->non_profit());
    } else if (isPartOf(categoryUrl_, kPersonals)) {
        text("Maximum Age", settings->maxAge());
        text("Minimum Age", settings->minAge());
    } else {
        text("Maximum Price", settings->maxPrice());
        text("Minimum Price", settings->minPrice());
    }
    flag("Post Has Image", settings->hasImage());
    choice("Search Scope", NSArray::arrayWithObjects({NS("Title Only"), NS("Entire Post")}),
           settings->scope());
    choice("Search Sort",
           NSArray::arrayWithObjects(
               {NS("Most Recent"), NS("Best Match"), NS("Low Price"), NS("High Price")}),
           settings->sort());
    auto reset = SearchSettingViewCell::createTableViewCell();
    if (reset) {
        reset->configure(NS("Reset Settings"), 4, nullptr);
        // The rows go back to the defaults here; nothing is stored before "Done".
        if (auto button = reset->button())
            button->addTarget(this, Selector::named("resetRows:"), UIControlEventTouchUpInside);
    }
    addCell(reset);
    shownValues_ = rowValues();
}

std::vector<std::string> SearchSettingController::rowValues() {
    std::vector<std::string> values;
    for (NSObject* o : *cells_) {
        auto cell = as<SearchSettingViewCell>(o);
        switch (cell->type()) {
            case 0:
            case 1: {
                auto value = cell->getValue();
                values.push_back(value ? value->utf8() : std::string());
                break;
            }
            case 2:
                values.push_back(cell->getBoolValue() ? "1" : "0");
                break;
            case 3:
                values.push_back(std::to_string(cell->getChoice()));
                break;
            default:
                values.emplace_back();
                break;
        }
    }
    return values;
}

void SearchSettingController::resetRows(NSObject*) {
    for (NSObject* o : *cells_) {
        auto cell = as<SearchSettingViewCell>(o);
        switch (cell->type()) {
            case 0:
            case 1:
                if (auto field = cell->textField()) field->setText(NS(""));
                break;
            case 2:
                if (auto sw = cell->boolSwitch()) sw->setOn(false);
                break;
            case 3:
                if (auto choice = cell->choice()) choice->setSelectedSegmentIndex(0);
                break;
            default:
                break;
        }
    }
}

void SearchSettingController::saveSettings() {
    if (!savedSearch_ || !cells_) return;
    // Nothing changed on a search that runs without a filter: storing the rows would give it the
    // one they show, a new row and a new meaning.
    if (!savedSearch_->filterKept() && rowValues() == shownValues_) return;
    auto settings = savedSearch_->listInfo()->searchSettings();
    if (!settings) {
        settings = make<SearchSettings>();
        savedSearch_->listInfo()->setSearchSettings(settings);
    }
    for (NSObject* o : *cells_) {
        auto cell = as<SearchSettingViewCell>(o);
        auto key = cell->getKey();
        if (is(key, "Maximum Price"))
            settings->setMaxPrice(cell->getValue());
        else if (is(key, "Minimum Price"))
            settings->setMinPrice(cell->getValue());
        else if (is(key, "Search Scope"))
            settings->setScope(static_cast<int32_t>(cell->getChoice()));
        else if (is(key, "Search Sort"))
            settings->setSort(static_cast<int32_t>(cell->getChoice()));
        else if (is(key, "Post Has Image"))
            settings->setHasImage(cell->getBoolValue());
        else if (is(key, "Maximum Rent"))
            settings->setMaxRent(cell->getValue());
        else if (is(key, "Minimum Rent"))
            settings->setMinRent(cell->getValue());
        else if (is(key, "Maximum Age"))
            settings->setMaxAge(cell->getValue());
        else if (is(key, "Minimum Age"))
            settings->setMinAge(cell->getValue());
        else if (is(key, "Number of Bedrooms")) {
            auto value = cell->getValue();
            settings->setNumBedRoom(value ? value->intValue() : 0);
        } else if (is(key, "Dogs Allowed"))
            settings->setDogs(cell->getBoolValue());
        else if (is(key, "Cats Allowed"))
            settings->setCats(cell->getBoolValue());
        else if (is(key, "Maximum Sq.Ft"))
            settings->setMaxSqrt(cell->getValue());
        else if (is(key, "Minimum Sq.Ft"))
            settings->setMinSqrt(cell->getValue());
        else if (is(key, "Telecommute"))
            settings->setTelecommute(cell->getBoolValue());
        else if (is(key, "Contract"))
            settings->setContract(cell->getBoolValue());
        else if (is(key, "Parttime"))
            settings->setPart_time(cell->getBoolValue());
        else if (is(key, "Non-profit"))
            settings->setNon_profit(cell->getBoolValue());
    }
    // The search runs with what the screen shows from now on.
    savedSearch_->listInfo()->takeFilterFromSettings();
    savedSearch_->setFilterKept(true);
    savedSearch_->saveToDb();
}

void SearchSettingController::doneButtonPressed(NSObject*) {
    saveSettings();
    dismissModalViewControllerAnimated(true);
}

NSInteger SearchSettingController::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return cells_ ? static_cast<NSInteger>(cells_->count()) : 0;
}

Ref<UITableViewCell> SearchSettingController::tableViewCellForRowAtIndexPath(UITableView*,
                                                                             NSIndexPath* path) {
    return cast<UITableViewCell>(cells_->objectAtIndex(static_cast<NSUInteger>(path->row())));
}

Ref<UIView> SearchSettingController::tableViewViewForFooterInSection(UITableView*, NSInteger) {
    return make<UIView>();
}

void SearchSettingController::dealloc() {
    cells_ = nullptr;
    savedSearch_ = nullptr;
    categoryUrl_ = nullptr;
    UIViewController::dealloc();
}
