// Table data sources: the one object behind a framework table. A source answers the table's
// questions (counts, cells, the section index), describes each row as an object, picks the
// cell class that shows it, and is a model itself, so that the table controller drives its
// loading, empty and error states through it. A source without a model set is its own, loaded
// model. Main thread only.
#pragma once

#include <initializer_list>

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UISearchDisplayController.h"
#include "UIKit/UITableView.h"
#include "ui/core/DZModel.h"

class NSArray;
class NSError;
class NSMutableArray;
class UIImage;

// The protocol's operations beyond the platform table data source and the model contract.
// The optional "will" operations answer the index path at which the table must show a change
// (one index: a section, two: a row), or nil for a full reload; a source says it answers them
// in its class description.
class DZTableViewDataSource : public DZModel,
                              public UITableViewDataSource,
                              public UISearchDisplayDelegate {
    NS_OBJECT(DZTableViewDataSource, DZModel)
    static void describeClass(RuntimeClass& c);

    // The search index titles: the search marker when asked, "A" to "Z", "#" for a summary.
    static Ref<NSMutableArray> lettersForSectionsWithSearch(bool search, bool summary);

    // ---- the platform table's questions -----------------------------------------------------
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override { return 0; }
    Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView* tableView,
                                                        NSIndexPath* indexPath) override;
    Ref<NSArray> sectionIndexTitlesForTableView(UITableView*) override { return nullptr; }
    NSInteger tableViewSectionForSectionIndexTitle(UITableView* tableView, NSString* title,
                                                   NSInteger index) override;

    // ---- the model contract: a source without a model is loaded at once -----------------------
    Ref<NSMutableArray> delegates() override { return nullptr; }
    bool isLoaded() override { return true; }
    bool isLoading() override { return false; }
    bool isLoadingMore() override { return false; }
    bool isOutdated() override { return false; }
    void load(int32_t, bool) override {}
    void cancel() override {}
    void invalidate(bool) override {}
    // The model set, else the source itself.
    virtual Ref<DZModel> model();
    virtual void setModel(DZModel* model) { model_ = model; }

    // ---- rows ------------------------------------------------------------------------------
    virtual Ref<NSObject> tableViewObjectForRowAtIndexPath(UITableView*, NSIndexPath*) {
        return nullptr;
    }
    virtual Class tableViewCellClassForObject(UITableView* tableView, NSObject* object);
    virtual Ref<NSString> tableViewLabelForObject(UITableView* tableView, NSObject* object);
    virtual Ref<NSIndexPath> tableViewIndexPathForObject(UITableView*, NSObject*) {
        return nullptr;
    }
    virtual void tableViewCellWillAppearAtIndexPath(UITableView*, UITableViewCell*, NSIndexPath*) {}
    virtual void tableViewDidLoadModel(UITableView*) {}
    virtual void search(NSString*) {}

    // ---- optional changes (answered only by sources that say so) -----------------------------
    virtual Ref<NSIndexPath> tableViewWillUpdateObject(UITableView*, NSObject*, NSIndexPath*) {
        return nullptr;
    }
    virtual Ref<NSIndexPath> tableViewWillInsertObject(UITableView*, NSObject*, NSIndexPath*) {
        return nullptr;
    }
    virtual Ref<NSIndexPath> tableViewWillRemoveObject(UITableView*, NSObject*, NSIndexPath*) {
        return nullptr;
    }

    // ---- state texts -------------------------------------------------------------------------
    virtual Ref<NSString> titleForLoading(bool reloading);
    virtual Ref<UIImage> imageForEmpty();
    virtual Ref<NSString> titleForEmpty() { return nullptr; }
    virtual Ref<NSString> subtitleForEmpty() { return nullptr; }
    virtual Ref<UIImage> imageForError(NSError*) { return nullptr; }
    virtual Ref<NSString> titleForError(NSError* error);
    virtual Ref<NSString> subtitleForError(NSError* error);

private:
    Ref<DZModel> model_;
};

class DZListDataSource : public DZTableViewDataSource {
    NS_OBJECT(DZListDataSource, DZTableViewDataSource)
    bool initWithItems(NSArray* items);
    static Ref<DZListDataSource> dataSourceWithItems(NSMutableArray* items);
    static Ref<DZListDataSource> dataSourceWithObjects(std::initializer_list<NSObject*> objects);

    // Made empty on first read when none was set.
    Ref<NSMutableArray> items();
    void setItems(NSMutableArray* items) { items_ = items; }

    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) override;
    Ref<NSObject> tableViewObjectForRowAtIndexPath(UITableView*, NSIndexPath* indexPath) override;
    Ref<NSIndexPath> tableViewIndexPathForObject(UITableView*, NSObject* object) override;
    // The first item whose userInfo is that very object.
    Ref<NSIndexPath> indexPathOfItemWithUserInfo(NSObject* userInfo);

private:
    Ref<NSMutableArray> items_;
};

class DZSectionedDataSource : public DZTableViewDataSource {
    NS_OBJECT(DZSectionedDataSource, DZTableViewDataSource)
    static void describeClass(RuntimeClass& c);
    bool initWithItems(NSArray* items, NSArray* sections);
    static Ref<DZSectionedDataSource> dataSourceWithItems(NSArray* items, NSArray* sections);
    // Each string starts a section; other objects join the latest one (earlier ones are
    // dropped).
    static Ref<DZSectionedDataSource> dataSourceWithObjects(
        std::initializer_list<NSObject*> objects);
    // Strings are titles, arrays are sections.
    static Ref<DZSectionedDataSource> dataSourceWithArrays(
        std::initializer_list<NSObject*> objects);

    Ref<NSMutableArray> sections() { return sections_; }
    void setSections(NSMutableArray* sections) { sections_ = sections; }
    Ref<NSMutableArray> items() { return items_; }
    void setItems(NSMutableArray* items) { items_ = items; }

    NSInteger numberOfSectionsInTableView(UITableView*) override;
    NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger section) override;
    Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger section) override;
    Ref<NSObject> tableViewObjectForRowAtIndexPath(UITableView*, NSIndexPath* indexPath) override;
    Ref<NSIndexPath> tableViewIndexPathForObject(UITableView*, NSObject* object) override;
    Ref<NSIndexPath> indexPathOfItemWithUserInfo(NSObject* userInfo);
    void removeItemAtIndexPath(NSIndexPath* indexPath);
    // YES when the emptied section went too.
    bool removeItemAtIndexPath(NSIndexPath* indexPath, bool andSectionIfEmpty);

private:
    // The rows of a section, nil outside the counts.
    Ref<NSMutableArray> rowsOfSection(NSInteger section);

    Ref<NSMutableArray> sections_;
    Ref<NSMutableArray> items_;
};

// The placeholder while the real content is not yet available: a model always loading.
class DZTableViewInterstitialDataSource : public DZTableViewDataSource {
    NS_OBJECT(DZTableViewInterstitialDataSource, DZTableViewDataSource)
    Ref<DZModel> model() override;
    bool isLoaded() override { return false; }
    bool isLoading() override { return true; }
};
