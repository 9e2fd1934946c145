#include "ui/table/DZTableViewDataSource.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSError.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSString.h"
#include "UIKit/UIControl.h"
#include "UIKit/UITextView.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/style/DZStyledText.h"
#include "ui/table/DZTableItem.h"
#include "ui/table/DZTableViewCell.h"
#include "ui/table/DZTextEditor.h"

// ---- DZTableViewDataSource ----------------------------------------------------------------------

void DZTableViewDataSource::describeClass(RuntimeClass& c) {
    // What every source answers of the platform's optional questions; the count of sections
    // is left to the sectioned source, so that a table asks it of no one else.
    c.implements(
        {"sectionIndexTitlesForTableView:", "tableView:sectionForSectionIndexTitle:atIndex:"});
    c.method("search:", &DZTableViewDataSource::search);
}

Ref<NSMutableArray> DZTableViewDataSource::lettersForSectionsWithSearch(bool search, bool summary) {
    auto titles = NSMutableArray::array();
    if (search) titles->addObject(UITableViewIndexSearch);
    for (int c = 'A'; c <= 'Z'; ++c)
        titles->addObject(NSString::stringWithFormat(NS("%c"), c));
    if (summary) titles->addObject(NS("#"));
    return titles;
}

Ref<UITableViewCell> DZTableViewDataSource::tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                                           NSIndexPath* indexPath) {
    auto object = tableViewObjectForRowAtIndexPath(tableView, indexPath);
    Class cls = tableViewCellClassForObject(tableView, object.get());
    auto identifier = NSString::stringWithUTF8String(cls->name().c_str());
    auto cell = tableView->dequeueReusableCellWithIdentifier(identifier.get());
    if (!cell) {
        cell = as<UITableViewCell>(cls->createInstance());
        cell->initWithStyle(UITableViewCellStyleDefault, identifier.get());
    }
    if (auto dzCell = as<DZTableViewCell>(cell)) dzCell->setObject(object.get());
    tableViewCellWillAppearAtIndexPath(tableView, cell.get(), indexPath);
    return cell;
}

NSInteger DZTableViewDataSource::tableViewSectionForSectionIndexTitle(UITableView* tableView,
                                                                      NSString* title,
                                                                      NSInteger index) {
    if (tableView->tableHeaderView() && index == 0) {
        tableView->scrollRectToVisible(tableView->tableHeaderView()->bounds(), false);
        return -1;
    }
    NSInteger sections = tableView->numberOfSections();
    if (title && title->length() > 0) {
        char16_t letter = title->characterAtIndex(0);
        for (NSInteger i = 0; i < sections; ++i) {
            auto header = tableView->titleForHeaderInSection(i);
            if (header && header->length() > 0 && header->characterAtIndex(0) == letter) return i;
        }
    }
    return sections > index ? index : sections - 1;
}

Ref<DZModel> DZTableViewDataSource::model() {
    if (model_) return model_;
    return Ref<DZModel>(this);
}

Class DZTableViewDataSource::tableViewCellClassForObject(UITableView*, NSObject* object) {
    if (is<DZTableItem>(object)) {
        if (is<DZTableMoreButton>(object)) return DZTableMoreButtonCell::staticClass();
        if (is<DZTableSubtextItem>(object)) return DZTableSubtextItemCell::staticClass();
        if (is<DZTableRightCaptionItem>(object)) return DZTableRightCaptionItemCell::staticClass();
        if (is<DZTableCaptionItem>(object)) return DZTableCaptionItemCell::staticClass();
        if (is<DZTableSubtitleItem>(object)) return DZTableSubtitleItemCell::staticClass();
        if (is<DZTableMessageItem>(object)) return DZTableMessageItemCell::staticClass();
        if (is<DZTableImageItem>(object)) return DZTableImageItemCell::staticClass();
        if (is<DZTableStyledTextItem>(object)) return DZStyledTextTableItemCell::staticClass();
        if (is<DZTableActivityItem>(object)) return DZTableActivityItemCell::staticClass();
        if (is<DZTableControlItem>(object)) return DZTableControlCell::staticClass();
        if (is<DZTableViewItem>(object)) return DZTableFlushViewCell::staticClass();
        return DZTableTextItemCell::staticClass();
    }
    if (is<DZStyledText>(object)) return DZStyledTextTableCell::staticClass();
    if (is<UIControl>(object) || is<UITextView>(object) || is<DZTextEditor>(object))
        return DZTableControlCell::staticClass();
    if (is<UIView>(object)) return DZTableFlushViewCell::staticClass();
    return DZTableViewCell::staticClass();
}

Ref<NSString> DZTableViewDataSource::tableViewLabelForObject(UITableView*, NSObject* object) {
    if (auto item = as<DZTableTextItem>(object)) return item->text();
    return NSString::stringWithFormat(NS("%@"), object);
}

Ref<NSString> DZTableViewDataSource::titleForLoading(bool reloading) {
    if (reloading) return DZBundleLocalizedString(NS("Updating..."), NS(""));
    return DZBundleLocalizedString(NS("Loading..."), NS(""));
}

Ref<UIImage> DZTableViewDataSource::imageForEmpty() {
    return imageForError(nullptr);
}

Ref<NSString> DZTableViewDataSource::titleForError(NSError* error) {
    return DZUserErrorTitle(error);
}

Ref<NSString> DZTableViewDataSource::subtitleForError(NSError*) {
    return DZBundleLocalizedString(NS("Sorry, there was an error."), NS(""));
}

// ---- DZListDataSource ---------------------------------------------------------------------------

namespace {

Ref<NSIndexPath> findUserInfo(NSArray* items, NSObject* userInfo, NSInteger section) {
    if (!items) return nullptr;
    for (NSUInteger i = 0; i < items->count(); ++i) {
        auto item = as<DZTableItem>(items->objectAtIndex(i));
        if (item && item->userInfo().get() == userInfo)
            return NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), section);
    }
    return nullptr;
}

}  // namespace

bool DZListDataSource::initWithItems(NSArray* items) {
    if (!init()) return false;
    items_ = items ? items->mutableCopy() : nullptr;
    return true;
}

Ref<DZListDataSource> DZListDataSource::dataSourceWithItems(NSMutableArray* items) {
    return make<DZListDataSource>(&DZListDataSource::initWithItems, static_cast<NSArray*>(items));
}

Ref<DZListDataSource> DZListDataSource::dataSourceWithObjects(
    std::initializer_list<NSObject*> objects) {
    auto items = NSMutableArray::array();
    for (auto* o : objects)
        items->addObject(o);
    return dataSourceWithItems(items.get());
}

Ref<NSMutableArray> DZListDataSource::items() {
    if (!items_) items_ = NSMutableArray::array();
    return items_;
}

NSInteger DZListDataSource::tableViewNumberOfRowsInSection(UITableView*, NSInteger) {
    return items_ ? static_cast<NSInteger>(items_->count()) : 0;
}

Ref<NSObject> DZListDataSource::tableViewObjectForRowAtIndexPath(UITableView*,
                                                                 NSIndexPath* indexPath) {
    if (!items_ || indexPath->row() < 0 ||
        static_cast<NSUInteger>(indexPath->row()) >= items_->count())
        return nullptr;
    return items_->objectAtIndex(static_cast<NSUInteger>(indexPath->row()));
}

Ref<NSIndexPath> DZListDataSource::tableViewIndexPathForObject(UITableView*, NSObject* object) {
    if (!items_) return nullptr;
    NSUInteger i = items_->indexOfObject(object);
    if (i == NSNotFound) return nullptr;
    return NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), 0);
}

Ref<NSIndexPath> DZListDataSource::indexPathOfItemWithUserInfo(NSObject* userInfo) {
    return findUserInfo(items_.get(), userInfo, 0);
}

// ---- DZSectionedDataSource ----------------------------------------------------------------------

void DZSectionedDataSource::describeClass(RuntimeClass& c) {
    c.implements({"numberOfSectionsInTableView:", "tableView:titleForHeaderInSection:"});
}

bool DZSectionedDataSource::initWithItems(NSArray* items, NSArray* sections) {
    if (!init()) return false;
    items_ = items ? items->mutableCopy() : nullptr;
    sections_ = sections ? sections->mutableCopy() : nullptr;
    return true;
}

Ref<DZSectionedDataSource> DZSectionedDataSource::dataSourceWithItems(NSArray* items,
                                                                      NSArray* sections) {
    return make<DZSectionedDataSource>(&DZSectionedDataSource::initWithItems, items, sections);
}

Ref<DZSectionedDataSource> DZSectionedDataSource::dataSourceWithObjects(
    std::initializer_list<NSObject*> objects) {
    auto items = NSMutableArray::array();
    auto sections = NSMutableArray::array();
    Ref<NSMutableArray> section;
    for (auto* o : objects) {
        if (is<NSString>(o)) {
            sections->addObject(o);
            section = NSMutableArray::array();
            items->addObject(section);
        } else if (section) {
            section->addObject(o);
        }
    }
    return dataSourceWithItems(items.get(), sections.get());
}

Ref<DZSectionedDataSource> DZSectionedDataSource::dataSourceWithArrays(
    std::initializer_list<NSObject*> objects) {
    auto items = NSMutableArray::array();
    auto sections = NSMutableArray::array();
    for (auto* o : objects) {
        if (is<NSString>(o)) {
            sections->addObject(o);
        } else {
            items->addObject(o);
        }
    }
    return dataSourceWithItems(items.get(), sections.get());
}

Ref<NSMutableArray> DZSectionedDataSource::rowsOfSection(NSInteger section) {
    if (!items_ || section < 0 || static_cast<NSUInteger>(section) >= items_->count())
        return nullptr;
    auto rows = items_->objectAtIndex(static_cast<NSUInteger>(section));
    if (auto mutableRows = as<NSMutableArray>(rows)) return mutableRows;
    // A section handed in as an immutable array becomes editable on first touch.
    if (auto fixed = as<NSArray>(rows)) {
        auto copy = fixed->mutableCopy();
        items_->replaceObjectAtIndex(static_cast<NSUInteger>(section), copy.get());
        return copy;
    }
    return nullptr;
}

NSInteger DZSectionedDataSource::numberOfSectionsInTableView(UITableView*) {
    return sections_ ? static_cast<NSInteger>(sections_->count()) : 1;
}

NSInteger DZSectionedDataSource::tableViewNumberOfRowsInSection(UITableView*, NSInteger section) {
    if (sections_) {
        auto rows = rowsOfSection(section);
        return rows ? static_cast<NSInteger>(rows->count()) : 0;
    }
    return items_ ? static_cast<NSInteger>(items_->count()) : 0;
}

Ref<NSString> DZSectionedDataSource::tableViewTitleForHeaderInSection(UITableView*,
                                                                      NSInteger section) {
    if (!sections_ || sections_->count() == 0 || section < 0 ||
        static_cast<NSUInteger>(section) >= sections_->count())
        return nullptr;
    return as<NSString>(sections_->objectAtIndex(static_cast<NSUInteger>(section)));
}

Ref<NSObject> DZSectionedDataSource::tableViewObjectForRowAtIndexPath(UITableView*,
                                                                      NSIndexPath* indexPath) {
    // Paths outside the counts answer nil instead of raising.
    Ref<NSArray> rows =
        sections_ ? Ref<NSArray>(rowsOfSection(indexPath->section())) : Ref<NSArray>(items_);
    if (!rows || indexPath->row() < 0 || static_cast<NSUInteger>(indexPath->row()) >= rows->count())
        return nullptr;
    return rows->objectAtIndex(static_cast<NSUInteger>(indexPath->row()));
}

Ref<NSIndexPath> DZSectionedDataSource::tableViewIndexPathForObject(UITableView*,
                                                                    NSObject* object) {
    if (!items_) return nullptr;
    if (!sections_) {
        NSUInteger i = items_->indexOfObject(object);
        return i == NSNotFound ? nullptr
                               : NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), 0);
    }
    for (NSUInteger s = 0; s < items_->count(); ++s) {
        auto rows = as<NSArray>(items_->objectAtIndex(s));
        if (!rows) continue;
        NSUInteger i = rows->indexOfObject(object);
        if (i != NSNotFound)
            return NSIndexPath::indexPathForRow(static_cast<NSInteger>(i),
                                                static_cast<NSInteger>(s));
    }
    return nullptr;
}

Ref<NSIndexPath> DZSectionedDataSource::indexPathOfItemWithUserInfo(NSObject* userInfo) {
    if (!items_) return nullptr;
    if (!sections_ || sections_->count() == 0) return findUserInfo(items_.get(), userInfo, 0);
    for (NSUInteger s = 0; s < items_->count(); ++s) {
        if (auto found = findUserInfo(as<NSArray>(items_->objectAtIndex(s)).get(), userInfo,
                                      static_cast<NSInteger>(s)))
            return found;
    }
    return nullptr;
}

void DZSectionedDataSource::removeItemAtIndexPath(NSIndexPath* indexPath) {
    removeItemAtIndexPath(indexPath, false);
}

bool DZSectionedDataSource::removeItemAtIndexPath(NSIndexPath* indexPath, bool andSectionIfEmpty) {
    if (!items_) return false;
    NSInteger section = indexPath->section(), row = indexPath->row();
    if (sections_ && sections_->count() > 0) {
        // A path outside the counts removes nothing.
        auto rows = rowsOfSection(section);
        if (!rows || row < 0 || static_cast<NSUInteger>(row) >= rows->count()) return false;
        rows->removeObjectAtIndex(static_cast<NSUInteger>(row));
        if (rows->count() == 0 && andSectionIfEmpty &&
            static_cast<NSUInteger>(section) < sections_->count()) {
            sections_->removeObjectAtIndex(static_cast<NSUInteger>(section));
            items_->removeObjectAtIndex(static_cast<NSUInteger>(section));
            return true;
        }
        return false;
    }
    if (section == 0 && row >= 0 && static_cast<NSUInteger>(row) < items_->count())
        items_->removeObjectAtIndex(static_cast<NSUInteger>(row));
    return false;
}

// ---- DZTableViewInterstitialDataSource ----------------------------------------------------------

Ref<DZModel> DZTableViewInterstitialDataSource::model() {
    return Ref<DZModel>(this);
}
