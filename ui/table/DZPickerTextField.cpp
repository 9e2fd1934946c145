#include "ui/table/DZPickerTextField.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/UIColor+DZCategory.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/table/DZTableSupport.h"
#include "ui/table/DZTableView.h"
#include "ui/table/DZTableViewDataSource.h"

namespace {

// The text while no typed text is there but backspace must still arrive.
NSString* blank() {
    return NS(" ");
}
// The text while a cell is selected.
NSString* selectionMarker() {
    return NS("`");
}

constexpr CGFloat kPadding = 8;
constexpr CGFloat kSpacing = 8;
constexpr CGFloat kLeftViewGap = 4;
constexpr CGFloat kRightViewWidth = 38;
constexpr CGFloat kLineGap = 12;
constexpr CGFloat kCellRise = 3;
constexpr CGFloat kMinimumTypingWidth = 50;
constexpr CGFloat kCellMaxWidth = 250;
constexpr CGFloat kCellPaddingX = 8;
constexpr CGFloat kCellPaddingY = 3;

}  // namespace

// ---- cell -------------------------------------------------------------------------------------

bool DZPickerViewCell::initWithFrame(CGRect frame) {
    if (!DZView::initWithFrame(frame)) return false;
    labelView_ = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
    labelView_->setBackgroundColor(UIColor::clearColor().get());
    auto sheet = DZTableStyleSheet();
    labelView_->setTextColor(sheet->textColor().get());
    labelView_->setHighlightedTextColor(sheet->highlightedTextColor().get());
    labelView_->setLineBreakMode(UILineBreakModeTailTruncation);
    addSubview(labelView_.get());
    setBackgroundColor(UIColor::clearColor().get());
    setStyle(DZStyleSheet::globalStyleSheet()
                 ->styleWithSelector(NS("pickerCell:"), UIControlStateNormal)
                 .get());
    return true;
}

void DZPickerViewCell::layoutSubviews() {
    DZView::layoutSubviews();
    labelView_->setFrame(CGRectMake(kCellPaddingX, kCellPaddingY, width(this) - kCellPaddingX * 2,
                                    height(this) - kCellPaddingY * 2));
}

CGSize DZPickerViewCell::sizeThatFits(CGSize) {
    CGSize text = sizeWithFont(labelView_->text().get(), labelView_->font().get());
    return CGSizeMake(std::min(text.width + kCellPaddingX * 2, kCellMaxWidth),
                      text.height + kCellPaddingY * 2);
}

Ref<NSString> DZPickerViewCell::label() {
    return labelView_->text();
}

void DZPickerViewCell::setLabel(NSString* label) {
    labelView_->setText(label ? label->copy().get() : nullptr);
}

Ref<UIFont> DZPickerViewCell::font() {
    return labelView_->font();
}

void DZPickerViewCell::setFont(UIFont* font) {
    labelView_->setFont(font);
}

void DZPickerViewCell::setSelected(bool selected) {
    selected_ = selected;
    labelView_->setHighlighted(selected);
    setStyle(DZStyleSheet::globalStyleSheet()
                 ->styleWithSelector(NS("pickerCell:"),
                                     selected ? UIControlStateSelected : UIControlStateNormal)
                 .get());
    setNeedsDisplay();
}

// ---- field ------------------------------------------------------------------------------------

void DZPickerTextField::describeClass(RuntimeClass& c) {
    c.method("textFieldDidEndEditing", &DZPickerTextField::textFieldDidEndEditing);
}

bool DZPickerTextField::initWithFrame(CGRect frame) {
    if (!DZSearchTextField::initWithFrame(frame)) return false;
    cellViews_ = NSMutableArray::array();
    lineCount_ = 1;
    cursorOrigin_ = CGPointZero;
    UITextField::setText(blank());
    setContentVerticalAlignment(UIControlContentVerticalAlignmentTop);
    setClearButtonMode(UITextFieldViewModeNever);
    setReturnKeyType(UIReturnKeyDone);
    setEnablesReturnKeyAutomatically(false);
    addTarget(this, Selector::named("textFieldDidEndEditing"), UIControlEventEditingDidEnd);
    return true;
}

Ref<DZPickerTextFieldDelegate> DZPickerTextField::pickerDelegate(const char* selector) {
    auto d = delegate();
    auto* object = d ? dynamic_cast<NSObject*>(d.get()) : nullptr;
    if (!object || !respondsTo(object, Selector::named(selector))) return nullptr;
    return Ref<DZPickerTextFieldDelegate>(dynamic_cast<DZPickerTextFieldDelegate*>(d.get()));
}

CGFloat DZPickerTextField::marginY() {
    return std::floor(dzLineHeight(font().get()) / 1.75f);
}

CGFloat DZPickerTextField::topOfLine(NSInteger line) {
    if (line == 0) return 0;
    CGFloat lineHeight = dzLineHeight(font().get());
    return marginY() + line * (lineHeight + kLineGap) - kLineGap;
}

CGFloat DZPickerTextField::centerOfLine(NSInteger line) {
    CGFloat lineHeight = dzLineHeight(font().get());
    return topOfLine(line) + std::floor((lineHeight + kLineGap) * 0.5f);
}

CGFloat DZPickerTextField::heightWithLines(NSInteger lines) {
    CGFloat lineHeight = dzLineHeight(font().get());
    CGFloat inner = lines == 0 ? 0 : lines * lineHeight + (lines - 1) * kLineGap;
    return marginY() + inner + marginY();
}

CGFloat DZPickerTextField::layoutCells() {
    CGFloat lineHeight = dzLineHeight(font().get());
    CGFloat x0 = leftView() ? width(leftView().get()) + kPadding + kLeftViewGap : kPadding;
    CGFloat rightPadding = kPadding + (rightView() ? kRightViewWidth : 0);
    CGFloat fieldWidth = width(this);
    CGPoint cursor = CGPointMake(x0, marginY());
    lineCount_ = 1;
    auto newLine = [&] {
        cursor.x = x0;
        cursor.y += lineHeight + kLineGap;
        ++lineCount_;
    };
    if (fieldWidth) {
        for (NSObject* object : *cellViews_) {
            auto* cell = static_cast<DZPickerViewCell*>(object);
            cell->sizeToFit();
            CGFloat cellWidth = width(cell);
            if (cursor.x + cellWidth + rightPadding >= fieldWidth) newLine();
            cell->setFrame(CGRectMake(cursor.x, cursor.y - kCellRise, cellWidth, height(cell)));
            cursor.x += cellWidth + kSpacing;
        }
        if (fieldWidth - (cursor.x + rightPadding) < kMinimumTypingWidth) newLine();
    }
    cursorOrigin_ = cursor;
    return cursor.y + lineHeight + marginY();
}

void DZPickerTextField::updateHeight() {
    CGFloat needed = layoutCells();
    if (height(this) != 0 && height(this) != needed) {
        setHeight(this, needed);
        setNeedsDisplay();
        if (auto d = pickerDelegate("textFieldDidResize:")) d->textFieldDidResize(this);
        scrollToVisibleLine(true);
    }
}

void DZPickerTextField::selectLastCell() {
    if (cellViews_->count() == 0) return;
    setSelectedCell(cast<DZPickerViewCell>(cellViews_->lastObject()).get());
}

Ref<NSString> DZPickerTextField::labelForObject(NSObject* object) {
    auto source = dataSource();
    if (source) {
        if (auto label = source->tableViewLabelForObject(tableView().get(), object)) return label;
    }
    return NSString::stringWithFormat(NS("%@"), object);
}

void DZPickerTextField::layoutSubviews() {
    if (dataSource()) {
        layoutCells();
    } else {
        cursorOrigin_ = CGPointMake(kPadding, marginY());
        if (leftView()) cursorOrigin_.x += width(leftView().get()) + kLeftViewGap;
    }
    DZSearchTextField::layoutSubviews();
}

CGSize DZPickerTextField::sizeThatFits(CGSize size) {
    layoutIfNeeded();
    return CGSizeMake(size.width, heightWithLines(lineCount_));
}

void DZPickerTextField::touchesBegan(NSSet* touches, UIEvent* event) {
    Ref<DZPickerTextField> self(this);
    DZSearchTextField::touchesBegan(touches, event);
    if (!dataSource()) return;
    auto touch = touches ? as<UITouch>(touches->anyObject()) : nullptr;
    if (!touch) return;
    auto view = touch->view();
    if (auto cell = as<DZPickerViewCell>(view)) {
        setSelectedCell(cell.get());
        becomeFirstResponder();
    } else if (view.get() == this) {
        setSelectedCell(nullptr);
    }
}

void DZPickerTextField::setText(NSString* text) {
    if (dataSource()) updateHeight();
    DZSearchTextField::setText(text);
}

CGRect DZPickerTextField::textRectForBounds(CGRect bounds) {
    if (dataSource() && text()->isEqualToString(selectionMarker()))
        return CGRectMake(-10, 0, 0, 0);  // hides the caret while a cell is selected
    CGRect r = CGRectOffset(bounds, cursorOrigin_.x, cursorOrigin_.y);
    r.size.width -= cursorOrigin_.x + kPadding + (rightView() ? kRightViewWidth : 0);
    // One line high: the typed text sits on the cursor's line, level with the label and the
    // cells beside it, rather than in the middle of the whole field shifted down by the margin.
    r.size.height = dzLineHeight(font().get());
    return r;
}

CGRect DZPickerTextField::editingRectForBounds(CGRect bounds) {
    return textRectForBounds(bounds);
}

CGRect DZPickerTextField::placeholderRectForBounds(CGRect bounds) {
    return textRectForBounds(bounds);
}

CGRect DZPickerTextField::leftViewRectForBounds(CGRect bounds) {
    if (auto view = leftView())
        return CGRectMake(bounds.origin.x + kPadding, marginY(), width(view.get()),
                          height(view.get()));
    return bounds;
}

CGRect DZPickerTextField::rightViewRectForBounds(CGRect bounds) {
    if (rightView())
        return CGRectMake(bounds.size.width - kRightViewWidth, bounds.size.height - kRightViewWidth,
                          kRightViewWidth, kRightViewWidth);
    return bounds;
}

bool DZPickerTextField::hasText() {
    auto t = text();
    return t->length() > 0 && !t->isEqualToString(blank()) &&
           !t->isEqualToString(selectionMarker());
}

void DZPickerTextField::showSearchResults(bool show) {
    DZSearchTextField::showSearchResults(show);
    if (show)
        scrollToEditingLine(true);
    else
        scrollToVisibleLine(true);
}

CGRect DZPickerTextField::rectForSearchResults(bool withKeyboard) {
    auto host = superviewForSearchResults();
    CGFloat keyboard = withKeyboard ? DZCurrentKeyboardHeight() : 0;
    CGFloat screenHeight = DZOrientedScreenBounds().size.height;
    CGFloat hostY = host ? dzScreenY(host.get()) : 0;
    CGFloat h = screenHeight - (hostY + heightWithLines(1) + keyboard) + 1;
    return CGRectMake(0, bottom(this) - 1, host ? width(host.get()) : 0, h);
}

bool DZPickerTextField::shouldUpdate(bool emptyText) {
    Ref<DZPickerTextField> self(this);
    auto selected = selectedCell();
    if (emptyText && !hasText() && !selected && cellViews_->count() > 0) {
        selectLastCell();
        return false;
    }
    if (emptyText && selected) {
        removeSelectedCell();
        DZSearchTextField::shouldUpdate(emptyText);
        return false;
    }
    if (!emptyText && !hasText() && selected) {
        removeSelectedCell();
        DZSearchTextField::shouldUpdate(emptyText);
        return true;
    }
    return DZSearchTextField::shouldUpdate(emptyText);
}

void DZPickerTextField::tableViewDidSelectRowAtIndexPath(UITableView* tableView,
                                                         NSIndexPath* indexPath) {
    tableView->deselectRowAtIndexPath(indexPath, false);
    auto source = dataSource();
    if (!source) return;
    auto object = source->tableViewObjectForRowAtIndexPath(tableView, indexPath);
    if (object) addCellWithObject(object.get());
}

void DZPickerTextField::textFieldDidEndEditing() {
    if (selectedCell()) setSelectedCell(nullptr);
}

Ref<NSArray> DZPickerTextField::cells() {
    auto objects = NSMutableArray::array();
    for (NSObject* object : *cellViews_) {
        auto cellObject = static_cast<DZPickerViewCell*>(object)->object();
        objects->addObject(cellObject ? cellObject.get() : NSNull::null().get());
    }
    return objects;
}

Ref<NSArray> DZPickerTextField::cellViews() {
    return cellViews_->copy();
}

void DZPickerTextField::addCellWithObject(NSObject* object) {
    Ref<DZPickerTextField> self(this);
    auto cell = make<DZPickerViewCell>(&DZPickerViewCell::initWithFrame, CGRectZero);
    cell->setObject(object);
    cell->setLabel(labelForObject(object).get());
    cell->setFont(font().get());
    cellViews_->addObject(cell.get());
    addSubview(cell.get());
    setText(blank());
    if (auto d = pickerDelegate("textField:didAddCellAtIndex:"))
        d->textFieldDidAddCellAtIndex(this, static_cast<NSInteger>(cellViews_->count()) - 1);
}

void DZPickerTextField::removeCell(DZPickerViewCell* cell) {
    Ref<DZPickerTextField> self(this);
    NSUInteger index = cellViews_->indexOfObjectIdenticalTo(cell);
    if (index != NSNotFound) {
        Ref<DZPickerViewCell> held(cell);
        if (selectedCell_.lock().get() == cell) {
            cell->setSelected(false);
            selectedCell_ = nullptr;
        }
        cellViews_->removeObjectAtIndex(index);
        cell->removeFromSuperview();
        if (auto d = pickerDelegate("textField:didRemoveCellAtIndex:"))
            d->textFieldDidRemoveCellAtIndex(this, static_cast<NSInteger>(index));
    }
    setText(text().get());
}

void DZPickerTextField::removeCellWithObject(NSObject* object) {
    Ref<DZPickerViewCell> found;
    for (NSObject* view : *cellViews_) {
        auto* cell = static_cast<DZPickerViewCell*>(view);
        if (cell->object().get() == object) {
            found = cell;
            break;
        }
    }
    if (found)
        removeCell(found.get());
    else
        setText(text().get());
}

void DZPickerTextField::removeAllCells() {
    for (NSObject* view : *cellViews_)
        static_cast<DZPickerViewCell*>(view)->removeFromSuperview();
    cellViews_->removeAllObjects();
    selectedCell_ = nullptr;
}

void DZPickerTextField::setSelectedCell(DZPickerViewCell* cell) {
    if (auto previous = selectedCell_.lock()) previous->setSelected(false);
    selectedCell_ = cell;
    if (cell) {
        cell->setSelected(true);
        setText(selectionMarker());
    } else if (cellViews_->count() > 0) {
        setText(blank());
    }
}

void DZPickerTextField::removeSelectedCell() {
    if (auto cell = selectedCell_.lock()) removeCell(cell.get());
    selectedCell_ = nullptr;
    setText(cellViews_->count() > 0 ? blank() : NS(""));
}

void DZPickerTextField::scrollToVisibleLine(bool animated) {
    if (!isEditing()) return;
    if (auto scroll = as<UIScrollView>(ancestorOrSelfWithClass(this, UIScrollView::staticClass())))
        scroll->setContentOffset(CGPointMake(0, top(this)), animated);
}

void DZPickerTextField::scrollToEditingLine(bool animated) {
    auto scroll = as<UIScrollView>(ancestorOrSelfWithClass(this, UIScrollView::staticClass()));
    if (!scroll) return;
    CGFloat y = lineCount_ > 1 ? top(this) + topOfLine(lineCount_ - 1) : top(this);
    scroll->setContentOffset(CGPointMake(0, y), animated);
}
