// Table views: sections of rows laid out top to bottom in a scroll view. The data source
// supplies the counts, the cells and the titles; the delegate the heights, the header and
// footer views and the answers around selection and editing. Only the rows that meet the
// viewport (the bounds at the content offset) have cells, as subviews; a cell that scrolls
// off goes to the reuse queue of its identifier, where dequeueReusableCellWithIdentifier:
// finds it again.
#pragma once

#include <vector>

#include "Foundation/NSIndexPath.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITableViewCell.h"

class UILabel;
class UITableView;

enum UITableViewStyle : NSInteger {
    UITableViewStylePlain = 0,
    UITableViewStyleGrouped,
};

enum UITableViewScrollPosition : NSInteger {
    UITableViewScrollPositionNone = 0,
    UITableViewScrollPositionTop,
    UITableViewScrollPositionMiddle,
    UITableViewScrollPositionBottom,
};

enum UITableViewRowAnimation : NSInteger {
    UITableViewRowAnimationFade = 0,
    UITableViewRowAnimationRight,
    UITableViewRowAnimationLeft,
    UITableViewRowAnimationTop,
    UITableViewRowAnimationBottom,
    UITableViewRowAnimationNone,
    UITableViewRowAnimationMiddle,
    UITableViewRowAnimationAutomatic = 100,
};

enum UITableViewCellSeparatorStyle : NSInteger {
    UITableViewCellSeparatorStyleNone = 0,
    UITableViewCellSeparatorStyleSingleLine,
    UITableViewCellSeparatorStyleSingleLineEtched,
};

// The section index's search marker (a magnifying glass on the platform).
extern NSString* const UITableViewIndexSearch;

// Optional methods are called when the object's class says it answers them (respondsTo).
class UITableViewDataSource {
public:
    virtual ~UITableViewDataSource() = default;
    // Required: "tableView:numberOfRowsInSection:", "tableView:cellForRowAtIndexPath:".
    virtual NSInteger tableViewNumberOfRowsInSection(UITableView*, NSInteger) = 0;
    virtual Ref<UITableViewCell> tableViewCellForRowAtIndexPath(UITableView*, NSIndexPath*) = 0;
    // "numberOfSectionsInTableView:" (1 when not answered).
    virtual NSInteger numberOfSectionsInTableView(UITableView*) { return 1; }
    virtual Ref<NSString> tableViewTitleForHeaderInSection(UITableView*, NSInteger) {
        return nullptr;
    }
    virtual Ref<NSString> tableViewTitleForFooterInSection(UITableView*, NSInteger) {
        return nullptr;
    }
    // "tableView:canEditRowAtIndexPath:" (YES when not answered).
    virtual bool tableViewCanEditRowAtIndexPath(UITableView*, NSIndexPath*) { return true; }
    virtual bool tableViewCanMoveRowAtIndexPath(UITableView*, NSIndexPath*) { return false; }
    virtual Ref<NSArray> sectionIndexTitlesForTableView(UITableView*) { return nullptr; }
    // "tableView:sectionForSectionIndexTitle:atIndex:" (the index when not answered).
    virtual NSInteger tableViewSectionForSectionIndexTitle(UITableView*, NSString*,
                                                           NSInteger index) {
        return index;
    }
    // "tableView:commitEditingStyle:forRowAtIndexPath:"; a data source that answers it gets
    // swipe to delete.
    virtual void tableViewCommitEditingStyle(UITableView*, UITableViewCellEditingStyle,
                                             NSIndexPath*) {}
    virtual void tableViewMoveRowAtIndexPath(UITableView*, NSIndexPath*, NSIndexPath*) {}
};

// Optional methods, as above; the scroll view's callbacks come with it.
class UITableViewDelegate : public UIScrollViewDelegate {
public:
    virtual void tableViewWillDisplayCellForRowAtIndexPath(UITableView*, UITableViewCell*,
                                                           NSIndexPath*) {}
    virtual CGFloat tableViewHeightForRowAtIndexPath(UITableView*, NSIndexPath*) { return 44; }
    virtual CGFloat tableViewHeightForHeaderInSection(UITableView*, NSInteger) { return 0; }
    virtual CGFloat tableViewHeightForFooterInSection(UITableView*, NSInteger) { return 0; }
    virtual Ref<UIView> tableViewViewForHeaderInSection(UITableView*, NSInteger) { return nullptr; }
    virtual Ref<UIView> tableViewViewForFooterInSection(UITableView*, NSInteger) { return nullptr; }
    virtual void tableViewAccessoryButtonTappedForRowWithIndexPath(UITableView*, NSIndexPath*) {}
    // Returns the row to select instead (nil: none).
    virtual Ref<NSIndexPath> tableViewWillSelectRowAtIndexPath(UITableView*, NSIndexPath* path) {
        return Ref<NSIndexPath>(path);
    }
    virtual Ref<NSIndexPath> tableViewWillDeselectRowAtIndexPath(UITableView*, NSIndexPath* path) {
        return Ref<NSIndexPath>(path);
    }
    virtual void tableViewDidSelectRowAtIndexPath(UITableView*, NSIndexPath*) {}
    virtual void tableViewDidDeselectRowAtIndexPath(UITableView*, NSIndexPath*) {}
    virtual UITableViewCellEditingStyle tableViewEditingStyleForRowAtIndexPath(UITableView*,
                                                                               NSIndexPath*) {
        return UITableViewCellEditingStyleDelete;
    }
    virtual Ref<NSString> tableViewTitleForDeleteConfirmationButtonForRowAtIndexPath(UITableView*,
                                                                                     NSIndexPath*) {
        return nullptr;
    }
    virtual bool tableViewShouldIndentWhileEditingRowAtIndexPath(UITableView*, NSIndexPath*) {
        return true;
    }
    virtual void tableViewWillBeginEditingRowAtIndexPath(UITableView*, NSIndexPath*) {}
    virtual void tableViewDidEndEditingRowAtIndexPath(UITableView*, NSIndexPath*) {}
    virtual NSInteger tableViewIndentationLevelForRowAtIndexPath(UITableView*, NSIndexPath*) {
        return 0;
    }
};

// The section index along the right edge: a narrow transparent strip over the rows' right ends
// (a subview of the table while the data source gives titles).
class UITableViewIndex : public UIView {
    NS_OBJECT(UITableViewIndex, UIView)
    Ref<NSArray> titles() { return titles_; }
    void setTitles(NSArray* titles);
    // The title under a point of the index's bounds (-1 when none; above the titles the first,
    // below them the last).
    NSInteger titleIndexAtPoint(CGPoint point);
    // Where the title shows in the index's bounds, the slot a touch picks it by (null for none).
    CGRect rectForTitleAtIndex(NSInteger index);
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    // The titles together in the middle of the height, in small bold letters centred across the
    // strip; a title too wide shrinks, then is cut.
    void drawRect(CGRect rect) override;
    // The strip's width: the widest title with a small margin, within 15 to 70 points.
    static CGFloat widthForTitles(NSArray* titles);

private:
    Ref<NSArray> titles_;
};

class UITableView : public UIScrollView {
    NS_OBJECT(UITableView, UIScrollView)
    static void describeClass(RuntimeClass& c);

    // The plain style.
    bool initWithFrame(CGRect frame) override;
    virtual bool initWithFrame(CGRect frame, UITableViewStyle style);

    UITableViewStyle style() { return style_; }
    Ref<UITableViewDataSource> dataSource() { return dataSource_.lock(); }
    // Not retained. Changing it drops the table's cells; the rows come back at the next layout.
    void setDataSource(UITableViewDataSource* dataSource);
    // The scroll view's delegate seen as a table delegate (nil when it is not one).
    Ref<UITableViewDelegate> delegate();
    void setDelegate(UITableViewDelegate* delegate);

    CGFloat rowHeight() { return rowHeight_; }
    void setRowHeight(CGFloat height);
    // The heights of headers and footers that have a title or a view and no height from the
    // delegate.
    CGFloat sectionHeaderHeight() { return sectionHeaderHeight_; }
    void setSectionHeaderHeight(CGFloat height);
    CGFloat sectionFooterHeight() { return sectionFooterHeight_; }
    void setSectionFooterHeight(CGFloat height);
    UITableViewCellSeparatorStyle separatorStyle() { return separatorStyle_; }
    void setSeparatorStyle(UITableViewCellSeparatorStyle style) { separatorStyle_ = style; }
    Ref<UIColor> separatorColor() { return separatorColor_; }
    void setSeparatorColor(UIColor* color);
    Ref<UIView> backgroundView() { return backgroundView_; }
    void setBackgroundView(UIView* view);
    // Above the first section and below the last; they scroll with the rows.
    Ref<UIView> tableHeaderView() { return tableHeaderView_; }
    void setTableHeaderView(UIView* view);
    Ref<UIView> tableFooterView() { return tableFooterView_; }
    void setTableFooterView(UIView* view);
    bool allowsSelection() { return allowsSelection_; }
    void setAllowsSelection(bool allows) { allowsSelection_ = allows; }
    bool allowsSelectionDuringEditing() { return allowsSelectionDuringEditing_; }
    void setAllowsSelectionDuringEditing(bool allows) { allowsSelectionDuringEditing_ = allows; }
    NSInteger sectionIndexMinimumDisplayRowCount() { return indexMinimumRows_; }
    void setSectionIndexMinimumDisplayRowCount(NSInteger count) { indexMinimumRows_ = count; }

    // ---- data ------------------------------------------------------------------------------
    // Asks the data source again for everything; visible cells go to the reuse queues and the
    // selection is cleared.
    virtual void reloadData();
    void reloadSectionIndexTitles();
    NSInteger numberOfSections();
    // Raises NSRangeException for a section beyond the count.
    NSInteger numberOfRowsInSection(NSInteger section);

    // ---- geometry --------------------------------------------------------------------------
    // In content coordinates. Invalid sections and rows raise NSRangeException.
    CGRect rectForSection(NSInteger section);
    CGRect rectForHeaderInSection(NSInteger section);
    CGRect rectForFooterInSection(NSInteger section);
    CGRect rectForRowAtIndexPath(NSIndexPath* indexPath);
    // Nil for a point on no row.
    Ref<NSIndexPath> indexPathForRowAtPoint(CGPoint point);
    Ref<NSIndexPath> indexPathForCell(UITableViewCell* cell);
    Ref<NSArray> indexPathsForRowsInRect(CGRect rect);

    // ---- cells -----------------------------------------------------------------------------
    // The cell of a visible row; nil for a row off screen or out of range.
    Ref<UITableViewCell> cellForRowAtIndexPath(NSIndexPath* indexPath);
    // The cells of the rows that meet the viewport, top to bottom.
    Ref<NSArray> visibleCells();
    Ref<NSArray> indexPathsForVisibleRows();
    // A cell that scrolled off (or was reloaded away) with that identifier, after its
    // prepareForReuse; nil when the queue is empty.
    Ref<UITableViewCell> dequeueReusableCellWithIdentifier(NSString* identifier);

    // ---- scrolling --------------------------------------------------------------------------
    // Raises NSRangeException for an invalid row.
    void scrollToRowAtIndexPath(NSIndexPath* indexPath, UITableViewScrollPosition position,
                                bool animated);
    void scrollToNearestSelectedRowAtScrollPosition(UITableViewScrollPosition position,
                                                    bool animated);

    // ---- updates ----------------------------------------------------------------------------
    // Inserts and deletes between begin and end apply together at the end (at once outside).
    // Deleted and reloaded rows and sections are named by their old positions, inserted ones
    // by their new positions; the data source's counts must agree with the changes, else
    // NSInternalInconsistencyException ("Invalid update: ...").
    void beginUpdates();
    void endUpdates();
    virtual void insertRowsAtIndexPaths(NSArray* indexPaths, UITableViewRowAnimation animation);
    virtual void deleteRowsAtIndexPaths(NSArray* indexPaths, UITableViewRowAnimation animation);
    virtual void reloadRowsAtIndexPaths(NSArray* indexPaths, UITableViewRowAnimation animation);
    virtual void insertSections(const std::vector<NSUInteger>& sections,
                                UITableViewRowAnimation animation);
    virtual void deleteSections(const std::vector<NSUInteger>& sections,
                                UITableViewRowAnimation animation);
    virtual void reloadSections(const std::vector<NSUInteger>& sections,
                                UITableViewRowAnimation animation);

    // ---- editing ------------------------------------------------------------------------------
    // Also true while a row shows its delete button after a swipe.
    bool isEditing() { return editing_ || swipedRow_; }
    void setEditing(bool editing) { setEditing(editing, false); }
    virtual void setEditing(bool editing, bool animated);

    // ---- selection ----------------------------------------------------------------------------
    Ref<NSIndexPath> indexPathForSelectedRow();
    // Selects without asking the delegate; nil deselects. Raises NSRangeException for an
    // invalid row.
    virtual void selectRowAtIndexPath(NSIndexPath* indexPath, bool animated,
                                      UITableViewScrollPosition position);
    // Also without the delegate; a row that is not selected is left alone.
    virtual void deselectRowAtIndexPath(NSIndexPath* indexPath, bool animated);

    // ---- a person's touches (the shell and hit testing) ---------------------------------------
    // A tap on a row: will-select (which may redirect or refuse), the old selection's
    // will- and did-deselect, the selection, did-select. False when nothing was selected.
    bool tapRowAtIndexPath(NSIndexPath* indexPath);
    // The detail disclosure button: the delegate's accessory call.
    bool tapAccessoryButtonForRowWithIndexPath(NSIndexPath* indexPath);
    // A swipe across a row: the row shows its delete button (will-begin-editing) when the data
    // source commits edits, the row can be edited and its editing style is delete.
    bool swipeToDeleteRowAtIndexPath(NSIndexPath* indexPath);
    // The delete button's tap: commitEditingStyle, then did-end-editing.
    bool confirmDeleteConfirmation();
    // A tap elsewhere: the button goes away (did-end-editing).
    void cancelDeleteConfirmation();
    // In editing mode, a tap on a row's editing control: a delete control shows the delete
    // button (confirmed as above), an insert control commits the insertion at once.
    bool tapEditingControlForRowAtIndexPath(NSIndexPath* indexPath);
    // The row showing its delete button, nil when none.
    Ref<NSIndexPath> indexPathShowingDeleteConfirmation() { return swipedRow_; }
    // The section index: its titles (nil without one) and a tap on one of them, which scrolls
    // the section that the data source names to the top. False without an index.
    Ref<NSArray> sectionIndexTitles();
    bool tapSectionIndexAtIndex(NSInteger index);
    // Where the index shows that title, in the table's coordinates; null while no index shows.
    CGRect rectForSectionIndexAtIndex(NSInteger index);
    // The title the data source gives a section's header or footer (nil for none).
    Ref<NSString> titleForHeaderInSection(NSInteger section);
    Ref<NSString> titleForFooterInSection(NSInteger section);

    // ---- view ---------------------------------------------------------------------------------
    // Places the cells, headers and footers that meet the viewport.
    void layoutSubviews() override;
    void setContentOffset(CGPoint offset) override;
    using UIScrollView::setContentOffset;
    void setFrame(CGRect frame) override;
    void setBounds(CGRect bounds) override;
    // One finger at a time works the rows: the one that lands while no other is down on the
    // table; any that lands meanwhile stays inert until it lifts, even after the first has gone.
    // The working finger, if it stays put, taps the row it lifts on (or the row's detail
    // disclosure button or editing control, when it lifts on one); if it slides it scrolls the
    // list by as much, or, across a row and with no other finger on the screen meanwhile,
    // offers the row's delete button.
    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void dealloc() override;

protected:
    // Whether these touches hold the finger that works the rows (any of them, for touches that
    // did not land on the table): what a subclass does as fingers lift follows that one only.
    bool holdsRowTouch(NSSet* touches);

private:
    struct Section {
        NSInteger rows = 0;
        CGFloat top = 0;  // where the header starts
        CGFloat headerHeight = 0;
        CGFloat footerHeight = 0;
        std::vector<CGFloat> rowTops;  // row i starts at rowTops[i]; one more entry: the end
    };
    struct Update {
        std::vector<NSUInteger> insertedSections, deletedSections, reloadedSections;
        std::vector<std::pair<NSInteger, NSInteger>> insertedRows, deletedRows, reloadedRows;
        bool empty() const;
    };
    struct VisibleCell {
        NSInteger section, row;
        Ref<UITableViewCell> cell;
    };

    void ensureData();
    void computeGeometry();
    void invalidateData();
    void updateVisibleCells();
    void enqueueCell(Ref<UITableViewCell> cell);
    void dropAllCells();
    void placeSupplementaryViews(CGRect viewport);
    void configureCell(UITableViewCell* cell, NSInteger section, NSInteger row);
    void checkIndexPath(const char* method, NSIndexPath* indexPath);
    void checkSection(const char* method, NSInteger section);
    struct UpdateMap;  // what an update does to the sections and rows
    UpdateMap mapUpdate(const Update& update);
    void moveRowsThrough(const UpdateMap& map);
    void applyUpdate(const Update& update);
    void recordRows(NSArray* indexPaths, std::vector<std::pair<NSInteger, NSInteger>>& into);
    void setSelectedRow(NSInteger section, NSInteger row, bool selected, bool animated = false);
    Ref<UIView> headerOrFooterView(NSInteger section, bool header);
    CGFloat defaultHeaderHeight(NSInteger section, bool header);
    UITableViewCellEditingStyle editingStyleFor(NSIndexPath* path);
    bool canEdit(NSIndexPath* path);
    void endSwipe(bool notify);
    void fingerSlid(UITouch* touch);
    void forgetFingers(NSSet* touches);
    CGFloat contentTop();

    UITableViewStyle style_ = UITableViewStylePlain;
    Weak<UITableViewDataSource> dataSource_;
    CGFloat rowHeight_ = 44;
    CGFloat sectionHeaderHeight_ = 22;
    CGFloat sectionFooterHeight_ = 22;
    UITableViewCellSeparatorStyle separatorStyle_ = UITableViewCellSeparatorStyleSingleLine;
    Ref<UIColor> separatorColor_;
    Ref<UIView> backgroundView_;
    Ref<UIView> tableHeaderView_;
    Ref<UIView> tableFooterView_;
    Ref<UITableViewIndex> indexView_;
    CGFloat indexWidth_ = 0;
    bool allowsSelection_ = true;
    bool allowsSelectionDuringEditing_ = false;
    NSInteger indexMinimumRows_ = 0;
    bool editing_ = false;

    bool dataValid_ = false;
    bool indexShown_ = false;
    bool updatingCells_ = false;
    std::vector<Section> sections_;
    std::vector<VisibleCell> visible_;
    std::vector<std::pair<NSInteger, Ref<UIView>>> headerViews_, footerViews_;
    std::vector<std::pair<Ref<NSString>, std::vector<Ref<UITableViewCell>>>> reuse_;
    std::vector<std::pair<NSInteger, NSInteger>> selected_;
    Ref<NSIndexPath> swipedRow_;
    // The finger working the rows, until it lifts, and every finger down on the table.
    Weak<UITouch> rowTouch_;
    std::vector<Weak<UITouch>> fingers_;
    // Another finger was on the screen while the working one was down: its slide is no swipe.
    bool severalFingers_ = false;
    int updateDepth_ = 0;
    Update pending_;
};
