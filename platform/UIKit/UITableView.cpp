#include "UIKit/UITableView.h"

#include <algorithm>
#include <cmath>
#include <set>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"

NSString* const UITableViewIndexSearch = NS("{search}");

namespace {
constexpr CGFloat kGroupedMargin = 10;

SEL sel(const char* name) {
    return Selector::named(name);
}

// Restores a flag when the scope ends, also when a callback raises.
struct FlagGuard {
    bool& flag;
    explicit FlagGuard(bool& f) : flag(f) { flag = true; }
    ~FlagGuard() { flag = false; }
};

// Positions that survive a change, in order, matched to the free positions after it.
std::vector<NSInteger> survivors(NSInteger count, const std::set<NSInteger>& removed) {
    std::vector<NSInteger> out;
    for (NSInteger i = 0; i < count; ++i) {
        if (!removed.count(i)) out.push_back(i);
    }
    return out;
}

// Swaps the view held in `slot` (the table header or footer) for `view` among the table's
// subviews; false when it is already there.
bool replaceSubview(UIView* table, Ref<UIView>& slot, UIView* view) {
    if (slot.get() == view) return false;
    if (slot) slot->removeFromSuperview();
    slot = view;
    if (view) table->addSubview(view);
    return true;
}
}  // namespace

// ---- the section index -----------------------------------------------------------------------

void UITableViewIndex::setTitles(NSArray* titles) {
    titles_ = titles;
}

namespace {
Ref<UIFont> indexFont() {
    return UIFont::boldSystemFontOfSize(11);
}
// The titles shrink this far to fit the strip before they are cut.
constexpr CGFloat kIndexMinimumFontSize = 8;
constexpr CGFloat kIndexMargin = 2;
// The strip's width runs from the narrowest, for single letters, to the widest it grows for long
// titles (a section name such as "Community" whole); titles wider still shrink into that.
constexpr CGFloat kIndexMinimumWidth = 15;
constexpr CGFloat kIndexMaximumWidth = 70;
// Each title's share of the height, at most; the titles sit together in the middle of the strip,
// clear of its ends, as the phone's do.
constexpr CGFloat kIndexSlot = 16;
constexpr CGFloat kIndexEnds = 7;

// The band the titles take: `count` slots centred in a strip of `height`.
std::pair<CGFloat, CGFloat> indexBand(NSInteger count, CGFloat height) {
    CGFloat room = std::max<CGFloat>(0, height - 2 * kIndexEnds);
    CGFloat slot = std::min(kIndexSlot, room / static_cast<CGFloat>(count));
    return {std::floor((height - slot * static_cast<CGFloat>(count)) / 2), slot};
}
}  // namespace

NSInteger UITableViewIndex::titleIndexAtPoint(CGPoint point) {
    NSInteger count = titles_ ? static_cast<NSInteger>(titles_->count()) : 0;
    CGFloat height = bounds().size.height;
    if (count == 0 || height <= 0 || point.y < 0 || point.y >= height) return -1;
    // Above the titles picks the first, below them the last.
    auto [top, slot] = indexBand(count, height);
    if (slot <= 0) return 0;
    NSInteger i = static_cast<NSInteger>(std::floor((point.y - top) / slot));
    return std::clamp<NSInteger>(i, 0, count - 1);
}

CGRect UITableViewIndex::rectForTitleAtIndex(NSInteger index) {
    NSInteger count = titles_ ? static_cast<NSInteger>(titles_->count()) : 0;
    CGSize size = bounds().size;
    if (index < 0 || index >= count || size.height <= 0) return CGRectNull;
    auto [top, slot] = indexBand(count, size.height);
    return CGRectMake(0, top + slot * static_cast<CGFloat>(index), size.width, slot);
}

CGFloat UITableViewIndex::widthForTitles(NSArray* titles) {
    CGFloat widest = 0;
    auto font = indexFont();
    // Measured as the titles are drawn, with the faces' own advances, whatever measurer the
    // session lays text out with.
    auto faces = UIFontTextMeasurer::shared();
    for (NSUInteger i = 0; titles && i < titles->count(); ++i) {
        if (auto title = as<NSString>(titles->objectAtIndex(i)))
            widest = std::max(widest, faces->widthOfText(title->u16(), font));
    }
    // A strip over the rows' right ends as wide as its widest title: narrow for letters, wider
    // for whole words, which stay whole up to the cap.
    return std::clamp(std::ceil(widest) + 2 * kIndexMargin, kIndexMinimumWidth, kIndexMaximumWidth);
}

void UITableViewIndex::drawRect(CGRect) {
    NSInteger count = titles_ ? static_cast<NSInteger>(titles_->count()) : 0;
    CGRect b = bounds();
    if (count == 0 || b.size.height <= 0) return;
    auto font = indexFont();
    UITextMeasurerScope faces(UIFontTextMeasurer::shared());
    auto [top, slot] = indexBand(count, b.size.height);
    CGFloat room = std::max<CGFloat>(0, b.size.width - 2 * kIndexMargin);
    // One size for every title: the largest at which the widest fits, as far as the minimum.
    CGFloat fitted = font->pointSize();
    for (NSInteger i = 0; i < count; ++i) {
        if (auto title = as<NSString>(titles_->objectAtIndex(static_cast<NSUInteger>(i)))) {
            CGFloat size = font->pointSize();
            ::sizeWithFont(title, font, kIndexMinimumFontSize, &size, room,
                           UILineBreakModeTailTruncation);
            fitted = std::min(fitted, size);
        }
    }
    Ref<UIFont> shown = fitted < font->pointSize() ? font->fontWithSize(fitted) : font;
    CGFloat line = UITextMeasurerCurrent()->lineHeight(shown);
    auto ctx = UIGraphicsGetCurrentContext();
    CGContextSaveGState(ctx);
    CGContextSetRGBFillColor(ctx, 0.33f, 0.36f, 0.42f, 1);
    for (NSInteger i = 0; i < count; ++i) {
        auto title = as<NSString>(titles_->objectAtIndex(static_cast<NSUInteger>(i)));
        if (!title) continue;
        // Centred where a touch picks it (titleIndexAtPoint).
        CGFloat y =
            b.origin.y + top + slot * static_cast<CGFloat>(i) + std::floor((slot - line) / 2);
        ::drawInRect(title, CGRectMake(b.origin.x + kIndexMargin, y, room, line), shown,
                     UILineBreakModeTailTruncation, UITextAlignmentCenter);
    }
    CGContextRestoreGState(ctx);
}

void UITableViewIndex::touchesEnded(NSSet* touches, UIEvent*) {
    auto touch = as<UITouch>(touches ? touches->anyObject() : nullptr);
    auto table = as<UITableView>(superview());
    if (!touch || !table) return;
    NSInteger index = titleIndexAtPoint(touch->locationInView(this));
    if (index >= 0) table->tapSectionIndexAtIndex(index);
}

// ---- creation
// ------------------------------------------------------------------------------------

void UITableView::describeClass(RuntimeClass& c) {
    c.method("reloadData", &UITableView::reloadData);
}

bool UITableView::initWithFrame(CGRect frame) {
    return initWithFrame(frame, UITableViewStylePlain);
}

bool UITableView::initWithFrame(CGRect frame, UITableViewStyle style) {
    if (!UIScrollView::initWithFrame(frame)) return false;
    // Code that looks for the index by its class name finds the class entered.
    UITableViewIndex::staticClass();
    style_ = style;
    if (style == UITableViewStyleGrouped) {
        sectionHeaderHeight_ = 10;
        sectionFooterHeight_ = 10;
        setBackgroundColor(UIColor::groupTableViewBackgroundColor());
    } else {
        setBackgroundColor(UIColor::whiteColor());
    }
    separatorColor_ = UIColor::colorWithWhite(0.88f, 1);
    setAlwaysBounceVertical(true);
    return true;
}

void UITableView::dealloc() {
    visible_.clear();
    reuse_.clear();
    super::dealloc();
}

void UITableView::setDataSource(UITableViewDataSource* dataSource) {
    dataSource_ = dataSource;
    dropAllCells();
    selected_.clear();
    swipedRow_ = nullptr;
    invalidateData();
}

Ref<UITableViewDelegate> UITableView::delegate() {
    auto d = UIScrollView::delegate();
    return Ref<UITableViewDelegate>(dynamic_cast<UITableViewDelegate*>(d.get()));
}

void UITableView::setDelegate(UITableViewDelegate* delegate) {
    UIScrollView::setDelegate(delegate);
    invalidateData();
}

void UITableView::setRowHeight(CGFloat height) {
    rowHeight_ = height;
    invalidateData();
}

void UITableView::setSectionHeaderHeight(CGFloat height) {
    sectionHeaderHeight_ = height;
    invalidateData();
}

void UITableView::setSectionFooterHeight(CGFloat height) {
    sectionFooterHeight_ = height;
    invalidateData();
}

void UITableView::setSeparatorColor(UIColor* color) {
    separatorColor_ = color;
}

void UITableView::setBackgroundView(UIView* view) {
    if (backgroundView_.get() == view) return;
    if (backgroundView_) backgroundView_->removeFromSuperview();
    backgroundView_ = view;
    if (view) insertSubview(view, 0);
    setNeedsLayout();
}

void UITableView::setTableHeaderView(UIView* view) {
    if (replaceSubview(this, tableHeaderView_, view)) invalidateData();
}

void UITableView::setTableFooterView(UIView* view) {
    if (replaceSubview(this, tableFooterView_, view)) invalidateData();
}

// ---- data and geometry -------------------------------------------------------------------------

void UITableView::invalidateData() {
    dataValid_ = false;
    headerViews_.clear();
    footerViews_.clear();
    setNeedsLayout();
}

void UITableView::ensureData() {
    if (!dataValid_) computeGeometry();
}

CGFloat UITableView::contentTop() {
    return tableHeaderView_ ? tableHeaderView_->frame().size.height : 0;
}

CGFloat UITableView::defaultHeaderHeight(NSInteger section, bool header) {
    auto title = header ? titleForHeaderInSection(section) : titleForFooterInSection(section);
    bool titled = title && title->length() > 0;
    if (style_ == UITableViewStylePlain) {
        return titled ? (header ? sectionHeaderHeight_ : sectionFooterHeight_) : 0;
    }
    if (!titled) return header ? sectionHeaderHeight_ : sectionFooterHeight_;
    return header ? 46 : 30;
}

void UITableView::computeGeometry() {
    Ref<UITableView> keep(this);
    auto ds = dataSource_.lock();
    auto del = delegate();
    dataValid_ = true;  // the questions below may ask for geometry again
    std::vector<Section> sections;
    CGFloat width = bounds().size.width;
    CGFloat y = contentTop();
    if (tableHeaderView_) {
        CGRect f = tableHeaderView_->frame();
        tableHeaderView_->setFrame(CGRectMake(0, 0, width, f.size.height));
    }
    NSInteger count = 0;
    if (ds) {
        count = respondsTo(ds.get(), sel("numberOfSectionsInTableView:"))
                    ? ds->numberOfSectionsInTableView(this)
                    : 1;
    }
    bool askRowHeight = respondsTo(del.get(), sel("tableView:heightForRowAtIndexPath:"));
    bool askHeader = respondsTo(del.get(), sel("tableView:heightForHeaderInSection:"));
    bool askFooter = respondsTo(del.get(), sel("tableView:heightForFooterInSection:"));
    for (NSInteger s = 0; s < std::max<NSInteger>(0, count); ++s) {
        Section sec;
        sec.rows = std::max<NSInteger>(0, ds->tableViewNumberOfRowsInSection(this, s));
        sec.top = y;
        sec.headerHeight = askHeader ? del->tableViewHeightForHeaderInSection(this, s)
                                     : defaultHeaderHeight(s, true);
        y += sec.headerHeight;
        sec.rowTops.reserve(static_cast<size_t>(sec.rows) + 1);
        for (NSInteger r = 0; r < sec.rows; ++r) {
            sec.rowTops.push_back(y);
            CGFloat h = rowHeight_;
            if (askRowHeight) {
                h = del->tableViewHeightForRowAtIndexPath(this, NSIndexPath::indexPathForRow(r, s));
            }
            y += std::max<CGFloat>(0, h);
        }
        sec.rowTops.push_back(y);
        sec.footerHeight = askFooter ? del->tableViewHeightForFooterInSection(this, s)
                                     : defaultHeaderHeight(s, false);
        y += sec.footerHeight;
        sections.push_back(std::move(sec));
    }
    if (tableFooterView_) {
        CGRect f = tableFooterView_->frame();
        tableFooterView_->setFrame(CGRectMake(0, y, width, f.size.height));
        y += f.size.height;
    }
    sections_ = std::move(sections);
    auto titles = sectionIndexTitles();
    NSInteger totalRows = 0;
    for (auto& sec : sections_)
        totalRows += sec.rows;
    indexShown_ = titles && titles->count() > 0 && totalRows >= indexMinimumRows_;
    indexWidth_ = indexShown_ ? UITableViewIndex::widthForTitles(titles) : 0;
    setContentSize(CGSizeMake(width, y));
    // Content that shrank under the viewport brings the offset back within it.
    CGPoint offset = contentOffset();
    CGPoint max = maximumContentOffset();
    CGPoint min = minimumContentOffset();
    if (offset.y > max.y) {
        UIScrollView::setContentOffset(CGPointMake(offset.x, std::max(max.y, min.y)));
    }
}

void UITableView::reloadData() {
    Ref<UITableView> keep(this);
    endSwipe(false);
    dropAllCells();
    selected_.clear();
    invalidateData();
    computeGeometry();
}

void UITableView::reloadSectionIndexTitles() {
    dataValid_ = false;
    setNeedsLayout();
}

NSInteger UITableView::numberOfSections() {
    ensureData();
    return static_cast<NSInteger>(sections_.size());
}

NSInteger UITableView::numberOfRowsInSection(NSInteger section) {
    checkSection("numberOfRowsInSection:", section);
    return sections_[static_cast<size_t>(section)].rows;
}

void UITableView::checkSection(const char* method, NSInteger section) {
    ensureData();
    if (section < 0 || section >= static_cast<NSInteger>(sections_.size())) {
        NSException::raise(NSRangeException,
                           NS("-[UITableView %s]: section (%d) beyond bounds (%d)."), method,
                           section, static_cast<NSInteger>(sections_.size()));
    }
}

void UITableView::checkIndexPath(const char* method, NSIndexPath* path) {
    if (!path || path->length() != 2) {
        NSException::raise(NSInvalidArgumentException,
                           NS("Invalid index path for use with UITableView. Index paths passed to "
                              "table view must contain exactly two indices specifying the section "
                              "and row. Please use the category on NSIndexPath in UITableView.h "
                              "if possible."));
    }
    checkSection(method, path->section());
    NSInteger rows = sections_[static_cast<size_t>(path->section())].rows;
    if (path->row() < 0 || path->row() >= rows) {
        NSException::raise(NSRangeException,
                           NS("-[UITableView %s]: row (%d) beyond bounds (%d) for section (%d)."),
                           method, path->row(), rows, path->section());
    }
}

CGRect UITableView::rectForSection(NSInteger section) {
    checkSection("rectForSection:", section);
    auto& s = sections_[static_cast<size_t>(section)];
    return CGRectMake(0, s.top, bounds().size.width,
                      s.headerHeight + (s.rowTops.back() - s.rowTops.front()) + s.footerHeight);
}

CGRect UITableView::rectForHeaderInSection(NSInteger section) {
    checkSection("rectForHeaderInSection:", section);
    auto& s = sections_[static_cast<size_t>(section)];
    return CGRectMake(0, s.top, bounds().size.width, s.headerHeight);
}

CGRect UITableView::rectForFooterInSection(NSInteger section) {
    checkSection("rectForFooterInSection:", section);
    auto& s = sections_[static_cast<size_t>(section)];
    return CGRectMake(0, s.rowTops.back(), bounds().size.width, s.footerHeight);
}

CGRect UITableView::rectForRowAtIndexPath(NSIndexPath* path) {
    checkIndexPath("rectForRowAtIndexPath:", path);
    auto& s = sections_[static_cast<size_t>(path->section())];
    size_t r = static_cast<size_t>(path->row());
    return CGRectMake(0, s.rowTops[r], bounds().size.width, s.rowTops[r + 1] - s.rowTops[r]);
}

Ref<NSIndexPath> UITableView::indexPathForRowAtPoint(CGPoint point) {
    ensureData();
    if (point.x < 0 || point.x >= bounds().size.width) return nullptr;
    for (size_t s = 0; s < sections_.size(); ++s) {
        auto& sec = sections_[s];
        if (point.y < sec.rowTops.front() || point.y >= sec.rowTops.back()) continue;
        auto it = std::upper_bound(sec.rowTops.begin(), sec.rowTops.end(), point.y);
        NSInteger row = static_cast<NSInteger>(it - sec.rowTops.begin()) - 1;
        if (row >= 0 && row < sec.rows) {
            return NSIndexPath::indexPathForRow(row, static_cast<NSInteger>(s));
        }
    }
    return nullptr;
}

Ref<NSIndexPath> UITableView::indexPathForCell(UITableViewCell* cell) {
    for (auto& v : visible_) {
        if (v.cell.get() == cell) return NSIndexPath::indexPathForRow(v.row, v.section);
    }
    return nullptr;
}

Ref<NSArray> UITableView::indexPathsForRowsInRect(CGRect rect) {
    ensureData();
    auto result = NSMutableArray::array();
    CGFloat top = CGRectGetMinY(rect), bottom = CGRectGetMaxY(rect);
    for (size_t s = 0; s < sections_.size(); ++s) {
        auto& sec = sections_[s];
        for (NSInteger r = 0; r < sec.rows; ++r) {
            CGFloat rt = sec.rowTops[static_cast<size_t>(r)];
            CGFloat rb = sec.rowTops[static_cast<size_t>(r) + 1];
            if (rb > top && rt < bottom && rb > rt) {
                result->addObject(NSIndexPath::indexPathForRow(r, static_cast<NSInteger>(s)));
            }
        }
    }
    return result;
}

// ---- cells ------------------------------------------------------------------------------------

void UITableView::enqueueCell(Ref<UITableViewCell> cell) {
    cell->removeFromSuperview();
    cell->setShowingDeleteConfirmation(false, nullptr);
    auto identifier = cell->reuseIdentifier();
    if (!identifier) return;
    for (auto& [name, queue] : reuse_) {
        if (name->isEqualToString(identifier)) {
            queue.push_back(std::move(cell));
            return;
        }
    }
    reuse_.push_back({identifier, {std::move(cell)}});
}

void UITableView::dropAllCells() {
    auto cells = std::move(visible_);
    visible_.clear();
    // Last in, first out: queued from the bottom row up, the rows asked for again from the top
    // get back the cells that showed them, with what those still hold (a loaded thumbnail).
    for (auto v = cells.rbegin(); v != cells.rend(); ++v)
        enqueueCell(v->cell);
    for (auto& [s, view] : headerViews_)
        view->removeFromSuperview();
    for (auto& [s, view] : footerViews_)
        view->removeFromSuperview();
    headerViews_.clear();
    footerViews_.clear();
}

Ref<UITableViewCell> UITableView::dequeueReusableCellWithIdentifier(NSString* identifier) {
    if (!identifier) return nullptr;
    for (auto& [name, queue] : reuse_) {
        if (name->isEqualToString(identifier) && !queue.empty()) {
            Ref<UITableViewCell> cell = queue.back();
            queue.pop_back();
            cell->prepareForReuse();
            return cell;
        }
    }
    return nullptr;
}

UITableViewCellEditingStyle UITableView::editingStyleFor(NSIndexPath* path) {
    if (!canEdit(path)) return UITableViewCellEditingStyleNone;
    auto del = delegate();
    if (respondsTo(del.get(), sel("tableView:editingStyleForRowAtIndexPath:"))) {
        return del->tableViewEditingStyleForRowAtIndexPath(this, path);
    }
    return UITableViewCellEditingStyleDelete;
}

bool UITableView::canEdit(NSIndexPath* path) {
    auto ds = dataSource_.lock();
    if (respondsTo(ds.get(), sel("tableView:canEditRowAtIndexPath:"))) {
        return ds->tableViewCanEditRowAtIndexPath(this, path);
    }
    return true;
}

void UITableView::configureCell(UITableViewCell* cell, NSInteger section, NSInteger row) {
    auto& sec = sections_[static_cast<size_t>(section)];
    size_t r = static_cast<size_t>(row);
    CGFloat margin = style_ == UITableViewStyleGrouped ? kGroupedMargin : 0;
    // Rows keep their width: the index is a transparent strip over their right ends.
    CGFloat width = std::max<CGFloat>(0, bounds().size.width - 2 * margin);
    cell->setFrame(CGRectMake(margin, sec.rowTops[r], width, sec.rowTops[r + 1] - sec.rowTops[r]));
}

void UITableView::updateVisibleCells() {
    if (updatingCells_) return;
    Ref<UITableView> keep(this);
    FlagGuard guard(updatingCells_);
    ensureData();
    auto ds = dataSource_.lock();
    auto del = delegate();
    CGRect viewport = bounds();
    CGFloat top = CGRectGetMinY(viewport), bottom = CGRectGetMaxY(viewport);

    // The rows that meet the viewport, in order.
    std::vector<std::pair<NSInteger, NSInteger>> wanted;
    if (ds && viewport.size.height > 0) {
        for (size_t s = 0; s < sections_.size(); ++s) {
            auto& sec = sections_[s];
            if (sec.rowTops.back() <= top || sec.rowTops.front() >= bottom) continue;
            auto first = std::upper_bound(sec.rowTops.begin(), sec.rowTops.end(), top);
            NSInteger r =
                std::max<NSInteger>(0, static_cast<NSInteger>(first - sec.rowTops.begin()) - 1);
            for (; r < sec.rows; ++r) {
                CGFloat rt = sec.rowTops[static_cast<size_t>(r)];
                CGFloat rb = sec.rowTops[static_cast<size_t>(r) + 1];
                if (rt >= bottom) break;
                if (rb > top && rb > rt) wanted.emplace_back(static_cast<NSInteger>(s), r);
            }
        }
    }

    // Cells that left go to their queues first, so the new rows can have them.
    std::vector<VisibleCell> kept;
    for (auto& v : visible_) {
        bool stays = std::find(wanted.begin(), wanted.end(), std::make_pair(v.section, v.row)) !=
                     wanted.end();
        if (stays)
            kept.push_back(v);
        else
            enqueueCell(v.cell);
    }
    visible_ = std::move(kept);

    bool askDisplay = respondsTo(del.get(), sel("tableView:willDisplayCell:forRowAtIndexPath:"));
    bool askIndent = respondsTo(del.get(), sel("tableView:indentationLevelForRowAtIndexPath:"));
    bool askShouldIndent =
        respondsTo(del.get(), sel("tableView:shouldIndentWhileEditingRowAtIndexPath:"));
    std::vector<VisibleCell> result;
    for (const auto& want : wanted) {
        // Plain names: lambdas cannot capture structured bindings before clang 16.
        NSInteger s = want.first, r = want.second;
        auto it = std::find_if(visible_.begin(), visible_.end(),
                               [&](const VisibleCell& v) { return v.section == s && v.row == r; });
        if (it != visible_.end()) {
            configureCell(it->cell, s, r);
            result.push_back(*it);
            continue;
        }
        auto path = NSIndexPath::indexPathForRow(r, s);
        Ref<UITableViewCell> cell = ds->tableViewCellForRowAtIndexPath(this, path);
        if (!cell) {
            NSException::raise(NSInternalInconsistencyException,
                               NS("UITableView dataSource must return a cell from "
                                  "tableView:cellForRowAtIndexPath:"));
        }
        // A data source may hand back a cell that is still on screen elsewhere.
        for (auto& other : result) {
            if (other.cell == cell) {
                NSException::raise(NSInternalInconsistencyException,
                                   NS("UITableView dataSource returned a cell that is already "
                                      "in use for another row"));
            }
        }
        configureCell(cell, s, r);
        if (askIndent)
            cell->setIndentationLevel(del->tableViewIndentationLevelForRowAtIndexPath(this, path));
        if (askShouldIndent) {
            cell->setShouldIndentWhileEditing(
                del->tableViewShouldIndentWhileEditingRowAtIndexPath(this, path));
        }
        cell->setEditingStyle(editing_ ? editingStyleFor(path) : UITableViewCellEditingStyleNone);
        cell->setEditing(editing_, false);
        bool isSelected =
            std::find(selected_.begin(), selected_.end(), std::make_pair(s, r)) != selected_.end();
        cell->setSelected(isSelected, false);
        if (cell->superview().get() != this) insertSubview(cell, backgroundView_ ? 1 : 0);
        if (askDisplay) del->tableViewWillDisplayCellForRowAtIndexPath(this, cell, path);
        result.push_back({s, r, cell});
    }
    visible_ = std::move(result);
    for (auto& v : visible_)
        v.cell->layoutIfNeeded();
    placeSupplementaryViews(viewport);
}

namespace {
// A plain table's section title sits a little in from the left edge of its grey band.
class UITableViewPlainHeaderLabel : public UILabel {
    NS_OBJECT(UITableViewPlainHeaderLabel, UILabel)

public:
    void drawTextInRect(CGRect rect) override {
        constexpr CGFloat inset = 12;
        UILabel::drawTextInRect(CGRectMake(rect.origin.x + inset, rect.origin.y,
                                           std::max<CGFloat>(0, rect.size.width - inset),
                                           rect.size.height));
    }
};
}  // namespace

Ref<UIView> UITableView::headerOrFooterView(NSInteger section, bool header) {
    auto& cache = header ? headerViews_ : footerViews_;
    for (auto& [s, view] : cache) {
        if (s == section) return view;
    }
    auto del = delegate();
    Ref<UIView> view;
    if (header && respondsTo(del.get(), sel("tableView:viewForHeaderInSection:"))) {
        view = del->tableViewViewForHeaderInSection(this, section);
    } else if (!header && respondsTo(del.get(), sel("tableView:viewForFooterInSection:"))) {
        view = del->tableViewViewForFooterInSection(this, section);
    }
    if (!view) {
        auto title = header ? titleForHeaderInSection(section) : titleForFooterInSection(section);
        if (title && title->length() > 0) {
            Ref<UILabel> label =
                header && style_ == UITableViewStylePlain
                    ? make<UITableViewPlainHeaderLabel>(&UILabel::initWithFrame, CGRectZero)
                    : make<UILabel>(&UILabel::initWithFrame, CGRectZero);
            label->setText(title);
            if (header)
                label->setFont(
                    UIFont::boldSystemFontOfSize(style_ == UITableViewStylePlain ? 18 : 17));
            else
                label->setFont(UIFont::systemFontOfSize(15));
            // Opaque: a pinned header covers the rows scrolling under it.
            label->setBackgroundColor(style_ == UITableViewStylePlain
                                          ? UIColor::colorWithWhite(0.7f, 1)
                                          : UIColor::clearColor());
            view = label;
        }
    }
    if (view) cache.push_back({section, view});
    return view;
}

void UITableView::placeSupplementaryViews(CGRect viewport) {
    CGFloat top = CGRectGetMinY(viewport), bottom = CGRectGetMaxY(viewport);
    CGFloat width = bounds().size.width;
    CGFloat margin = style_ == UITableViewStyleGrouped ? kGroupedMargin : 0;
    for (int pass = 0; pass < 2; ++pass) {
        bool header = pass == 0;
        auto& cache = header ? headerViews_ : footerViews_;
        std::vector<NSInteger> shown;
        for (size_t s = 0; s < sections_.size(); ++s) {
            auto& sec = sections_[s];
            CGFloat y = header ? sec.top : sec.rowTops.back();
            CGFloat h = header ? sec.headerHeight : sec.footerHeight;
            if (header && style_ == UITableViewStylePlain) {
                // A plain table's header stays at the top of the viewport while its section
                // scrolls under it, until the section's end pushes it up.
                CGFloat pinned = top + contentInset().top;
                CGFloat end = sec.rowTops.back() + sec.footerHeight;
                if (y < pinned) y = std::max(y, std::min(pinned, end - h));
            }
            if (h <= 0 || y + h <= top || y >= bottom) continue;
            auto view = headerOrFooterView(static_cast<NSInteger>(s), header);
            if (!view) continue;
            view->setFrame(CGRectMake(margin, y, width - 2 * margin, h));
            if (view->superview().get() != this)
                addSubview(view);
            else
                bringSubviewToFront(view);
            shown.push_back(static_cast<NSInteger>(s));
        }
        for (auto& [s, view] : cache) {
            if (std::find(shown.begin(), shown.end(), s) == shown.end())
                view->removeFromSuperview();
        }
    }
    if (backgroundView_) {
        backgroundView_->setFrame(viewport);
        sendSubviewToBack(backgroundView_);
    }
    // The index stays at the right edge of the viewport, in front of everything.
    if (indexShown_) {
        if (!indexView_) indexView_ = make<UITableViewIndex>(&UIView::initWithFrame, CGRectZero);
        indexView_->setTitles(sectionIndexTitles());
        indexView_->setFrame(CGRectMake(viewport.origin.x + viewport.size.width - indexWidth_,
                                        viewport.origin.y, indexWidth_, viewport.size.height));
        if (indexView_->superview().get() != this)
            addSubview(indexView_);
        else
            bringSubviewToFront(indexView_);
    } else if (indexView_) {
        indexView_->removeFromSuperview();
        indexView_ = nullptr;
    }
}

Ref<UITableViewCell> UITableView::cellForRowAtIndexPath(NSIndexPath* path) {
    if (!path || path->length() != 2) return nullptr;
    updateVisibleCells();
    for (auto& v : visible_) {
        if (v.section == path->section() && v.row == path->row()) return v.cell;
    }
    return nullptr;
}

Ref<NSArray> UITableView::visibleCells() {
    updateVisibleCells();
    auto result = NSMutableArray::array();
    for (auto& v : visible_)
        result->addObject(v.cell);
    return result;
}

Ref<NSArray> UITableView::indexPathsForVisibleRows() {
    updateVisibleCells();
    auto result = NSMutableArray::array();
    for (auto& v : visible_)
        result->addObject(NSIndexPath::indexPathForRow(v.row, v.section));
    return result;
}

void UITableView::layoutSubviews() {
    UIScrollView::layoutSubviews();
    ensureData();
    CGSize size = contentSize();
    if (size.width != bounds().size.width) {
        setContentSize(CGSizeMake(bounds().size.width, size.height));
    }
    updateVisibleCells();
}

void UITableView::setContentOffset(CGPoint offset) {
    UIScrollView::setContentOffset(offset);
    setNeedsLayout();
}

void UITableView::setFrame(CGRect frame) {
    UIScrollView::setFrame(frame);
    setNeedsLayout();
}

void UITableView::setBounds(CGRect bounds) {
    UIScrollView::setBounds(bounds);
    setNeedsLayout();
}

// ---- scrolling ----------------------------------------------------------------------------------

void UITableView::scrollToRowAtIndexPath(NSIndexPath* path, UITableViewScrollPosition position,
                                         bool animated) {
    checkIndexPath("_contentOffsetForScrollingToRowAtIndexPath:atScrollPosition:", path);
    CGRect row = rectForRowAtIndexPath(path);
    CGRect viewport = bounds();
    CGFloat height = viewport.size.height;
    CGFloat y = viewport.origin.y;
    // A plain table's section header stays pinned over the top of the rows: the row is
    // brought into the room below it.
    CGFloat header =
        style_ == UITableViewStylePlain ? rectForHeaderInSection(path->section()).size.height : 0;
    switch (position) {
        case UITableViewScrollPositionTop:
            y = row.origin.y - header;
            break;
        case UITableViewScrollPositionMiddle:
            y = CGRectGetMidY(row) - (height + header) / 2;
            break;
        case UITableViewScrollPositionBottom:
            y = CGRectGetMaxY(row) - height;
            break;
        case UITableViewScrollPositionNone:
            if (row.origin.y < y + header)
                y = row.origin.y - header;
            else if (CGRectGetMaxY(row) > y + height)
                y = CGRectGetMaxY(row) - height;
            break;
    }
    CGPoint min = minimumContentOffset(), max = maximumContentOffset();
    y = std::max(min.y, std::min(y, std::max(min.y, max.y)));
    UIScrollView::setContentOffset(CGPointMake(viewport.origin.x, y), animated);
    setNeedsLayout();
}

void UITableView::scrollToNearestSelectedRowAtScrollPosition(UITableViewScrollPosition position,
                                                             bool animated) {
    auto path = indexPathForSelectedRow();
    if (path) scrollToRowAtIndexPath(path, position, animated);
}

// ---- updates
// -------------------------------------------------------------------------------------

bool UITableView::Update::empty() const {
    return insertedSections.empty() && deletedSections.empty() && reloadedSections.empty() &&
           insertedRows.empty() && deletedRows.empty() && reloadedRows.empty();
}

void UITableView::beginUpdates() {
    if (updateDepth_++ == 0) pending_ = Update();
}

void UITableView::endUpdates() {
    if (updateDepth_ == 0) return;
    if (--updateDepth_ > 0) return;
    Update update = std::move(pending_);
    pending_ = Update();
    applyUpdate(update);
}

void UITableView::recordRows(NSArray* paths, std::vector<std::pair<NSInteger, NSInteger>>& into) {
    for (NSUInteger i = 0; paths && i < paths->count(); ++i) {
        auto path = as<NSIndexPath>(paths->objectAtIndex(i));
        if (!path || path->length() != 2) {
            NSException::raise(NSInvalidArgumentException,
                               NS("Invalid index path for use with UITableView. Index paths "
                                  "passed to table view must contain exactly two indices "
                                  "specifying the section and row. Please use the category on "
                                  "NSIndexPath in UITableView.h if possible."));
        }
        into.emplace_back(path->section(), path->row());
    }
}

void UITableView::insertRowsAtIndexPaths(NSArray* paths, UITableViewRowAnimation) {
    beginUpdates();
    recordRows(paths, pending_.insertedRows);
    endUpdates();
}

void UITableView::deleteRowsAtIndexPaths(NSArray* paths, UITableViewRowAnimation) {
    beginUpdates();
    recordRows(paths, pending_.deletedRows);
    endUpdates();
}

void UITableView::reloadRowsAtIndexPaths(NSArray* paths, UITableViewRowAnimation) {
    beginUpdates();
    recordRows(paths, pending_.reloadedRows);
    endUpdates();
}

void UITableView::insertSections(const std::vector<NSUInteger>& sections, UITableViewRowAnimation) {
    beginUpdates();
    pending_.insertedSections.insert(pending_.insertedSections.end(), sections.begin(),
                                     sections.end());
    endUpdates();
}

void UITableView::deleteSections(const std::vector<NSUInteger>& sections, UITableViewRowAnimation) {
    beginUpdates();
    pending_.deletedSections.insert(pending_.deletedSections.end(), sections.begin(),
                                    sections.end());
    endUpdates();
}

void UITableView::reloadSections(const std::vector<NSUInteger>& sections, UITableViewRowAnimation) {
    beginUpdates();
    pending_.reloadedSections.insert(pending_.reloadedSections.end(), sections.begin(),
                                     sections.end());
    endUpdates();
}

namespace {

using RowPaths = std::vector<std::pair<NSInteger, NSInteger>>;

// The sections an update names, each checked against the count it refers to (the old one for
// deletes and reloads, the new one for inserts).
std::set<NSInteger> sectionSet(const std::vector<NSUInteger>& sections, NSInteger count,
                               NSString* message) {
    std::set<NSInteger> result;
    for (NSUInteger s : sections) {
        NSInteger i = static_cast<NSInteger>(s);
        if (i >= count) NSException::raise(NSInternalInconsistencyException, message, i, count);
        result.insert(i);
    }
    return result;
}

// Rows, section by section: old positions for deletes and reloads, new ones for inserts. Each
// must lie inside its section's count: `fail(row, section, count)` raises for one that does not
// (count 0 for a section that does not exist). Rows of sections that go or come whole (`whole`)
// are left to the section.
template <class Fail>
std::vector<std::set<NSInteger>> rowSets(const RowPaths& paths, const std::vector<NSInteger>& rows,
                                         const std::set<NSInteger>* whole, const Fail& fail) {
    NSInteger count = static_cast<NSInteger>(rows.size());
    std::vector<std::set<NSInteger>> result(rows.size());
    for (auto& [s, r] : paths) {
        bool section = s >= 0 && s < count;
        if (!section || r < 0 || r >= rows[static_cast<size_t>(s)])
            fail(r, s, section ? rows[static_cast<size_t>(s)] : 0);
        if (!whole || !whole->count(s)) result[static_cast<size_t>(s)].insert(r);
    }
    return result;
}

}  // namespace

// What an update does to the sections and rows, checked against the counts before it and the
// data source's after it.
struct UITableView::UpdateMap {
    NSInteger oldCount = 0, newCount = 0;
    std::vector<NSInteger> oldRows, newRows;  // rows per section, before and after
    std::set<NSInteger> deletedS, reloadedS, insertedS;
    std::vector<NSInteger> oldSections;  // the old sections that stay
    std::vector<NSInteger> sectionMap;   // old section -> new section, -1 when it goes
    std::vector<std::set<NSInteger>> deletedR, reloadedR, insertedR;

    void mapSections(const Update& u);
    void mapRows(const Update& u);
    // Where an old row goes: nowhere (deleted, or its section deleted or reloaded; reloaded
    // itself unless `keepReloaded`), or a new position.
    std::pair<NSInteger, NSInteger> mapRow(NSInteger s, NSInteger r, bool keepReloaded) const;
};

void UITableView::UpdateMap::mapSections(const Update& u) {
    deletedS = sectionSet(
        u.deletedSections, oldCount,
        NS("attempt to delete section %d, but there are only %d sections before the update"));
    reloadedS = sectionSet(
        u.reloadedSections, oldCount,
        NS("attempt to reload section %d, but there are only %d sections before the update"));
    insertedS = sectionSet(
        u.insertedSections, newCount,
        NS("attempt to insert section %d but there are only %d sections after the update"));
    NSInteger expected = oldCount - static_cast<NSInteger>(deletedS.size()) +
                         static_cast<NSInteger>(insertedS.size());
    if (newCount != expected) {
        NSException::raise(
            NSInternalInconsistencyException,
            NS("Invalid update: invalid number of sections.  The number of sections contained in "
               "the table view after the update (%d) must be equal to the number of sections "
               "contained in the table view before the update (%d), plus or minus the number of "
               "sections inserted or deleted (%d inserted, %d deleted)."),
            newCount, oldCount, static_cast<NSInteger>(insertedS.size()),
            static_cast<NSInteger>(deletedS.size()));
    }
    oldSections = survivors(oldCount, deletedS);
    auto newSections = survivors(newCount, insertedS);
    sectionMap.assign(static_cast<size_t>(oldCount), -1);
    for (size_t i = 0; i < oldSections.size(); ++i) {
        sectionMap[static_cast<size_t>(oldSections[i])] = newSections[i];
    }
}

void UITableView::UpdateMap::mapRows(const Update& u) {
    deletedR =
        rowSets(u.deletedRows, oldRows, &deletedS, [](NSInteger r, NSInteger s, NSInteger n) {
            NSException::raise(NSInternalInconsistencyException,
                               NS("attempt to delete row %d from section %d which only "
                                  "contains %d rows before the update"),
                               r, s, n);
        });
    reloadedR =
        rowSets(u.reloadedRows, oldRows, nullptr, [](NSInteger r, NSInteger s, NSInteger n) {
            NSException::raise(NSInternalInconsistencyException,
                               NS("attempt to reload row %d from section %d which only "
                                  "contains %d rows before the update"),
                               r, s, n);
        });
    insertedR =
        rowSets(u.insertedRows, newRows, &insertedS, [](NSInteger r, NSInteger s, NSInteger n) {
            NSException::raise(NSInternalInconsistencyException,
                               NS("attempt to insert row %d into section %d, but there are "
                                  "only %d rows in section %d after the update"),
                               r, s, n, s);
        });
    for (NSInteger s : oldSections) {
        if (reloadedS.count(s)) continue;
        NSInteger t = sectionMap[static_cast<size_t>(s)];
        NSInteger before = oldRows[static_cast<size_t>(s)];
        NSInteger ins = static_cast<NSInteger>(insertedR[static_cast<size_t>(t)].size());
        NSInteger del = static_cast<NSInteger>(deletedR[static_cast<size_t>(s)].size());
        NSInteger after = newRows[static_cast<size_t>(t)];
        if (after != before + ins - del) {
            NSException::raise(
                NSInternalInconsistencyException,
                NS("Invalid update: invalid number of rows in section %d.  The number of rows "
                   "contained in an existing section after the update (%d) must be equal to the "
                   "number of rows contained in that section before the update (%d), plus or "
                   "minus the number of rows inserted or deleted from that section (%d inserted, "
                   "%d deleted)."),
                t, after, before, ins, del);
        }
    }
}

std::pair<NSInteger, NSInteger> UITableView::UpdateMap::mapRow(NSInteger s, NSInteger r,
                                                               bool keepReloaded) const {
    if (s < 0 || s >= oldCount || deletedS.count(s) || reloadedS.count(s)) return {-1, -1};
    if (deletedR[static_cast<size_t>(s)].count(r)) return {-1, -1};
    if (!keepReloaded && reloadedR[static_cast<size_t>(s)].count(r)) return {-1, -1};
    NSInteger t = sectionMap[static_cast<size_t>(s)];
    auto oldRowsKept = survivors(oldRows[static_cast<size_t>(s)], deletedR[static_cast<size_t>(s)]);
    auto newRowsFree =
        survivors(newRows[static_cast<size_t>(t)], insertedR[static_cast<size_t>(t)]);
    auto it = std::find(oldRowsKept.begin(), oldRowsKept.end(), r);
    if (it == oldRowsKept.end()) return {-1, -1};
    size_t i = static_cast<size_t>(it - oldRowsKept.begin());
    if (i >= newRowsFree.size()) return {-1, -1};
    return {t, newRowsFree[i]};
}

UITableView::UpdateMap UITableView::mapUpdate(const Update& u) {
    UpdateMap map;
    // The counts before the change, then the data source's counts after it.
    for (auto& s : sections_)
        map.oldRows.push_back(s.rows);
    map.oldCount = static_cast<NSInteger>(map.oldRows.size());
    auto ds = dataSource_.lock();
    if (ds) {
        map.newCount = respondsTo(ds.get(), sel("numberOfSectionsInTableView:"))
                           ? ds->numberOfSectionsInTableView(this)
                           : 1;
    }
    for (NSInteger s = 0; s < map.newCount; ++s) {
        map.newRows.push_back(std::max<NSInteger>(0, ds->tableViewNumberOfRowsInSection(this, s)));
    }
    map.mapSections(u);
    map.mapRows(u);
    return map;
}

void UITableView::moveRowsThrough(const UpdateMap& map) {
    std::vector<VisibleCell> moved;
    for (auto& v : visible_) {
        auto [t, q] = map.mapRow(v.section, v.row, false);
        if (t < 0) {
            enqueueCell(v.cell);
        } else {
            moved.push_back({t, q, v.cell});
        }
    }
    visible_ = std::move(moved);
    std::vector<std::pair<NSInteger, NSInteger>> selection;
    for (auto& [s, r] : selected_) {
        auto [t, q] = map.mapRow(s, r, true);
        if (t >= 0) selection.emplace_back(t, q);
    }
    selected_ = std::move(selection);
    if (swipedRow_) {
        auto [t, q] = map.mapRow(swipedRow_->section(), swipedRow_->row(), true);
        swipedRow_ = t >= 0 ? NSIndexPath::indexPathForRow(q, t) : nullptr;
    }
}

void UITableView::applyUpdate(const Update& u) {
    Ref<UITableView> keep(this);
    if (u.empty()) return;
    if (!dataValid_) {
        // Nothing was shown yet: there is no old state to change, only new data to load.
        computeGeometry();
        setNeedsLayout();
        return;
    }
    // Checked whole before anything moves: a bad update raises with the table as it was.
    moveRowsThrough(mapUpdate(u));

    for (auto& [s, view] : headerViews_)
        view->removeFromSuperview();
    for (auto& [s, view] : footerViews_)
        view->removeFromSuperview();
    headerViews_.clear();
    footerViews_.clear();
    computeGeometry();
    updateVisibleCells();
}

// ---- editing ------------------------------------------------------------------------------------

void UITableView::setEditing(bool editing, bool animated) {
    Ref<UITableView> keep(this);
    endSwipe(true);
    if (editing_ == editing) return;
    editing_ = editing;
    for (auto& v : visible_) {
        auto path = NSIndexPath::indexPathForRow(v.row, v.section);
        v.cell->setEditingStyle(editing ? editingStyleFor(path) : UITableViewCellEditingStyleNone);
        v.cell->setEditing(editing, animated);
    }
}

bool UITableView::swipeToDeleteRowAtIndexPath(NSIndexPath* path) {
    Ref<UITableView> keep(this);
    if (editing_ || !path || path->length() != 2) return false;
    auto ds = dataSource_.lock();
    if (!respondsTo(ds.get(), sel("tableView:commitEditingStyle:forRowAtIndexPath:"))) return false;
    auto cell = cellForRowAtIndexPath(path);
    if (!cell) return false;
    if (editingStyleFor(path) != UITableViewCellEditingStyleDelete) return false;
    endSwipe(true);
    swipedRow_ = NSIndexPath::indexPathForRow(path->row(), path->section());
    auto del = delegate();
    if (respondsTo(del.get(), sel("tableView:willBeginEditingRowAtIndexPath:"))) {
        del->tableViewWillBeginEditingRowAtIndexPath(this, swipedRow_);
    }
    Ref<NSString> title;
    if (respondsTo(del.get(),
                   sel("tableView:titleForDeleteConfirmationButtonForRowAtIndexPath:"))) {
        title = del->tableViewTitleForDeleteConfirmationButtonForRowAtIndexPath(this, swipedRow_);
    }
    // The delegate may have changed the table; show the button only if the row still is.
    if (auto shown = cellForRowAtIndexPath(swipedRow_)) {
        shown->setShowingDeleteConfirmation(true, title ? title.get() : NS("Delete"));
    }
    return true;
}

bool UITableView::tapEditingControlForRowAtIndexPath(NSIndexPath* path) {
    Ref<UITableView> keep(this);
    if (!editing_ || !path || path->length() != 2) return false;
    auto cell = cellForRowAtIndexPath(path);
    if (!cell) return false;
    auto ds = dataSource_.lock();
    if (!respondsTo(ds.get(), sel("tableView:commitEditingStyle:forRowAtIndexPath:"))) return false;
    auto style = editingStyleFor(path);
    auto row = NSIndexPath::indexPathForRow(path->row(), path->section());
    if (style == UITableViewCellEditingStyleInsert) {
        ds->tableViewCommitEditingStyle(this, style, row);
        return true;
    }
    if (style != UITableViewCellEditingStyleDelete) return false;
    endSwipe(false);
    swipedRow_ = row;
    Ref<NSString> title;
    auto del = delegate();
    if (respondsTo(del.get(),
                   sel("tableView:titleForDeleteConfirmationButtonForRowAtIndexPath:"))) {
        title = del->tableViewTitleForDeleteConfirmationButtonForRowAtIndexPath(this, row);
    }
    cell->setShowingDeleteConfirmation(true, title ? title.get() : NS("Delete"));
    return true;
}

bool UITableView::confirmDeleteConfirmation() {
    Ref<UITableView> keep(this);
    if (!swipedRow_) return false;
    Ref<NSIndexPath> path = swipedRow_;
    bool wasSwipe = !editing_;
    swipedRow_ = nullptr;
    for (auto& v : visible_) {
        if (v.section == path->section() && v.row == path->row()) {
            v.cell->setShowingDeleteConfirmation(false, nullptr);
        }
    }
    if (auto ds = dataSource_.lock()) {
        ds->tableViewCommitEditingStyle(this, UITableViewCellEditingStyleDelete, path);
    }
    auto del = delegate();
    if (wasSwipe && respondsTo(del.get(), sel("tableView:didEndEditingRowAtIndexPath:"))) {
        del->tableViewDidEndEditingRowAtIndexPath(this, path);
    }
    return true;
}

void UITableView::cancelDeleteConfirmation() {
    endSwipe(true);
}

void UITableView::endSwipe(bool notify) {
    if (!swipedRow_) return;
    Ref<NSIndexPath> path = swipedRow_;
    bool wasSwipe = !editing_;
    swipedRow_ = nullptr;
    for (auto& v : visible_) {
        if (v.section == path->section() && v.row == path->row()) {
            v.cell->setShowingDeleteConfirmation(false, nullptr);
        }
    }
    auto del = delegate();
    if (notify && wasSwipe &&
        respondsTo(del.get(), sel("tableView:didEndEditingRowAtIndexPath:"))) {
        del->tableViewDidEndEditingRowAtIndexPath(this, path);
    }
}

// ---- selection ----------------------------------------------------------------------------------

Ref<NSIndexPath> UITableView::indexPathForSelectedRow() {
    if (selected_.empty()) return nullptr;
    return NSIndexPath::indexPathForRow(selected_.front().second, selected_.front().first);
}

void UITableView::setSelectedRow(NSInteger section, NSInteger row, bool selected, bool animated) {
    auto key = std::make_pair(section, row);
    auto it = std::find(selected_.begin(), selected_.end(), key);
    if (selected && it == selected_.end()) selected_.push_back(key);
    if (!selected && it != selected_.end()) selected_.erase(it);
    for (auto& v : visible_) {
        if (v.section == section && v.row == row) v.cell->setSelected(selected, animated);
    }
}

void UITableView::selectRowAtIndexPath(NSIndexPath* path, bool animated,
                                       UITableViewScrollPosition position) {
    if (!path) {
        auto old = selected_;
        for (auto& [s, r] : old)
            setSelectedRow(s, r, false);
        return;
    }
    checkIndexPath("selectRowAtIndexPath:animated:scrollPosition:", path);
    auto old = selected_;
    for (auto& [s, r] : old) {
        if (s != path->section() || r != path->row()) setSelectedRow(s, r, false);
    }
    setSelectedRow(path->section(), path->row(), true);
    if (position != UITableViewScrollPositionNone) {
        scrollToRowAtIndexPath(path, position, animated);
    }
}

void UITableView::deselectRowAtIndexPath(NSIndexPath* path, bool animated) {
    if (!path || path->length() != 2) return;
    setSelectedRow(path->section(), path->row(), false, animated);
}

bool UITableView::tapRowAtIndexPath(NSIndexPath* path) {
    Ref<UITableView> keep(this);
    if (!path || path->length() != 2) return false;
    ensureData();
    NSInteger s = path->section(), r = path->row();
    if (s < 0 || s >= static_cast<NSInteger>(sections_.size()) || r < 0 ||
        r >= sections_[static_cast<size_t>(s)].rows) {
        return false;
    }
    if (swipedRow_ && !editing_) {
        // A tap while a delete button shows only takes the button away.
        endSwipe(true);
        return false;
    }
    if (editing_ ? !allowsSelectionDuringEditing_ : !allowsSelection_) return false;
    auto del = delegate();
    Ref<NSIndexPath> target = NSIndexPath::indexPathForRow(r, s);
    if (respondsTo(del.get(), sel("tableView:willSelectRowAtIndexPath:"))) {
        target = del->tableViewWillSelectRowAtIndexPath(this, target);
        if (!target) return false;
        checkIndexPath("tableView:willSelectRowAtIndexPath:", target);
    }
    auto old = indexPathForSelectedRow();
    if (old && (old->section() != target->section() || old->row() != target->row())) {
        Ref<NSIndexPath> leaving = old;
        if (respondsTo(del.get(), sel("tableView:willDeselectRowAtIndexPath:"))) {
            leaving = del->tableViewWillDeselectRowAtIndexPath(this, old);
        }
        if (leaving) {
            setSelectedRow(leaving->section(), leaving->row(), false);
            if (respondsTo(del.get(), sel("tableView:didDeselectRowAtIndexPath:"))) {
                del->tableViewDidDeselectRowAtIndexPath(this, leaving);
            }
        }
    }
    auto rest = selected_;
    for (auto& [ss, rr] : rest) {
        if (ss != target->section() || rr != target->row()) setSelectedRow(ss, rr, false);
    }
    setSelectedRow(target->section(), target->row(), true);
    if (respondsTo(del.get(), sel("tableView:didSelectRowAtIndexPath:"))) {
        del->tableViewDidSelectRowAtIndexPath(this, target);
    }
    return true;
}

bool UITableView::tapAccessoryButtonForRowWithIndexPath(NSIndexPath* path) {
    Ref<UITableView> keep(this);
    auto cell = cellForRowAtIndexPath(path);
    if (!cell || cell->currentAccessoryType() != UITableViewCellAccessoryDetailDisclosureButton) {
        return false;
    }
    auto del = delegate();
    if (respondsTo(del.get(), sel("tableView:accessoryButtonTappedForRowWithIndexPath:"))) {
        del->tableViewAccessoryButtonTappedForRowWithIndexPath(
            this, NSIndexPath::indexPathForRow(path->row(), path->section()));
    }
    return true;
}

Ref<NSArray> UITableView::sectionIndexTitles() {
    auto ds = dataSource_.lock();
    if (!respondsTo(ds.get(), sel("sectionIndexTitlesForTableView:"))) return nullptr;
    return ds->sectionIndexTitlesForTableView(this);
}

bool UITableView::tapSectionIndexAtIndex(NSInteger index) {
    Ref<UITableView> keep(this);
    auto titles = sectionIndexTitles();
    if (!titles || index < 0 || index >= static_cast<NSInteger>(titles->count())) return false;
    auto title = as<NSString>(titles->objectAtIndex(static_cast<NSUInteger>(index)));
    auto ds = dataSource_.lock();
    NSInteger section = index;
    if (respondsTo(ds.get(), sel("tableView:sectionForSectionIndexTitle:atIndex:"))) {
        section = ds->tableViewSectionForSectionIndexTitle(this, title, index);
    }
    if (section < 0) return true;  // the data source took care of it
    NSInteger count = numberOfSections();
    if (count == 0) return true;
    section = std::min(section, count - 1);
    CGFloat y = rectForSection(section).origin.y;
    CGPoint min = minimumContentOffset(), max = maximumContentOffset();
    y = std::max(min.y, std::min(y, std::max(min.y, max.y)));
    setContentOffset(CGPointMake(contentOffset().x, y));
    return true;
}

CGRect UITableView::rectForSectionIndexAtIndex(NSInteger index) {
    if (!indexView_ || indexView_->superview().get() != this) return CGRectNull;
    CGRect r = indexView_->rectForTitleAtIndex(index);
    return CGRectIsNull(r) ? r : indexView_->convertRect(r, this);
}

Ref<NSString> UITableView::titleForHeaderInSection(NSInteger section) {
    auto ds = dataSource_.lock();
    if (!respondsTo(ds.get(), sel("tableView:titleForHeaderInSection:"))) return nullptr;
    return ds->tableViewTitleForHeaderInSection(this, section);
}

Ref<NSString> UITableView::titleForFooterInSection(NSInteger section) {
    auto ds = dataSource_.lock();
    if (!respondsTo(ds.get(), sel("tableView:titleForFooterInSection:"))) return nullptr;
    return ds->tableViewTitleForFooterInSection(this, section);
}

namespace {
bool isDown(UITouch* t) {
    return t && t->phase() != UITouchPhaseEnded && t->phase() != UITouchPhaseCancelled;
}

// The event lists every finger on the screen: a pinch's second finger counts even while the
// view it landed on keeps it from the table.
bool severalOnScreen(UIEvent* event) {
    return event && event->touchList().size() > 1;
}
}  // namespace

void UITableView::touchesBegan(NSSet* touches, UIEvent* event) {
    UIScrollView::touchesBegan(touches, event);
    if (!touches) return;
    std::erase_if(fingers_, [](Weak<UITouch>& w) { return !isDown(w.lock().get()); });
    // In the event's order: of fingers that land together, the first works the rows.
    std::vector<Ref<UITouch>> landed;
    if (event)
        for (auto& t : event->touchList())
            if (touches->containsObject(t)) landed.push_back(t);
    if (landed.empty())
        if (auto t = as<UITouch>(touches->anyObject())) landed.push_back(t);
    for (auto& t : landed) {
        if (fingers_.empty()) {
            rowTouch_ = t;
            severalFingers_ = false;
        }
        fingers_.emplace_back(t.get());
    }
    if (fingers_.size() > 1 || severalOnScreen(event)) severalFingers_ = true;
}

void UITableView::touchesMoved(NSSet* touches, UIEvent* event) {
    UIScrollView::touchesMoved(touches, event);
    if (severalOnScreen(event)) severalFingers_ = true;
}

bool UITableView::holdsRowTouch(NSSet* touches) {
    if (!touches) return false;
    auto row = rowTouch_.lock();
    if (row && touches->containsObject(row)) return true;
    for (auto& w : fingers_)
        if (auto t = w.lock(); t && touches->containsObject(t)) return false;
    // Touches that did not land here (a caller's own event) act as one finger alone would.
    return !isDown(row.get());
}

void UITableView::forgetFingers(NSSet* touches) {
    std::erase_if(fingers_, [&](Weak<UITouch>& w) {
        auto t = w.lock();
        return !t || touches->containsObject(t);
    });
    if (auto row = rowTouch_.lock(); !row || touches->containsObject(row)) rowTouch_ = nullptr;
}

void UITableView::touchesEnded(NSSet* touches, UIEvent* event) {
    if (!touches) return;
    // Only the finger that works the rows acts as it lifts; the others lift to no effect.
    Ref<UITouch> touch;
    if (holdsRowTouch(touches)) {
        touch = rowTouch_.lock();
        if (!touch || !touches->containsObject(touch)) touch = as<UITouch>(touches->anyObject());
    }
    if (severalOnScreen(event)) severalFingers_ = true;
    forgetFingers(touches);
    if (!touch) return;
    if (touch->farthestFromLanding() > UITouchTapSlop) {
        fingerSlid(touch);
        return;
    }
    auto path = indexPathForRowAtPoint(touch->locationInView(this));
    if (!path) {
        endSwipe(true);
        return;
    }
    // The row's own buttons take a finger that lands on them, as their taps do.
    if (auto cell = cellForRowAtIndexPath(path)) {
        CGPoint at = touch->locationInView(cell.get());
        if (CGRectContainsPoint(cell->editingControlRect(), at)) {
            // The control turned by the Delete button it showed takes that button away.
            if (cell->showingDeleteConfirmation())
                cancelDeleteConfirmation();
            else
                tapEditingControlForRowAtIndexPath(path);
            return;
        }
        if (CGRectContainsPoint(cell->accessoryButtonRect(), at)) {
            tapAccessoryButtonForRowWithIndexPath(path);
            return;
        }
    }
    tapRowAtIndexPath(path);
}

void UITableView::touchesCancelled(NSSet* touches, UIEvent* event) {
    UIScrollView::touchesCancelled(touches, event);
    if (touches) forgetFingers(touches);
}

void UITableView::fingerSlid(UITouch* touch) {
    Ref<UITableView> keep(this);
    CGPoint from = touch->landingLocationInView(nullptr), to = touch->locationInView(nullptr);
    CGFloat dx = to.x - from.x, dy = to.y - from.y;
    if (std::fabs(dx) > std::fabs(dy)) {
        auto path = indexPathForRowAtPoint(touch->landingLocationInView(this));
        bool again = path && swipedRow_ && swipedRow_->compare(path) == NSOrderedSame;
        // A swipe is one finger's: with another down (a pinch) the row offers nothing.
        if (path && !again && !severalFingers_ && swipeToDeleteRowAtIndexPath(path)) return;
        endSwipe(true);
        return;
    }
    endSwipe(true);
    CGFloat current = contentOffset().y;
    CGFloat low = minimumContentOffset().y, high = std::max(low, maximumContentOffset().y);
    CGFloat target = std::clamp(current - dy, low, high);
    if (target != current) dragBy(CGPointMake(0, target - current), false);
}
