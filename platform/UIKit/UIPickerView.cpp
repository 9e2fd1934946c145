#include "UIKit/UIPickerView.h"

#include <algorithm>

#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIEvent.h"

namespace {
constexpr CGFloat kPickerHeight = 216;
constexpr CGFloat kRowHeight = 44;
}  // namespace

void UIPickerView::describeClass(RuntimeClass& c) {
    c.method("reloadAllComponents", &UIPickerView::reloadAllComponents);
    c.method("selectedRowInComponent:", &UIPickerView::selectedRowInComponent);
}

bool UIPickerView::initWithFrame(CGRect frame) {
    return UIView::initWithFrame(CGRectMake(frame.origin.x, frame.origin.y,
                                            frame.size.width > 0 ? frame.size.width : 320,
                                            kPickerHeight));
}

void UIPickerView::setDataSource(UIPickerViewDataSource* dataSource) {
    dataSource_ = dataSource;
    loaded_ = false;
}

void UIPickerView::setDelegate(UIPickerViewDelegate* delegate) {
    delegate_ = delegate;
    rowViews_.clear();
}

void UIPickerView::loadIfNeeded() {
    if (loaded_) return;
    loaded_ = true;
    auto ds = dataSource();
    NSInteger n = ds ? ds->numberOfComponentsInPickerView(this) : 0;
    if (n < 0) n = 0;
    rows_.assign(static_cast<size_t>(n), 0);
    selected_.resize(static_cast<size_t>(n), 0);
    for (NSInteger c = 0; c < n; ++c)
        loadComponent(c);
}

void UIPickerView::loadComponent(NSInteger component) {
    auto ds = dataSource();
    auto i = static_cast<size_t>(component);
    NSInteger rows = ds ? ds->pickerViewNumberOfRowsInComponent(this, component) : 0;
    rows_[i] = rows < 0 ? 0 : rows;
    // The selection stays where it was while that row exists.
    if (rows_[i] == 0)
        selected_[i] = -1;
    else if (selected_[i] < 0)
        selected_[i] = 0;
    else if (selected_[i] >= rows_[i])
        selected_[i] = rows_[i] - 1;
    for (auto it = rowViews_.begin(); it != rowViews_.end();) {
        if (it->first.second == component)
            it = rowViews_.erase(it);
        else
            ++it;
    }
}

NSInteger UIPickerView::numberOfComponents() {
    loadIfNeeded();
    return static_cast<NSInteger>(rows_.size());
}

NSInteger UIPickerView::numberOfRowsInComponent(NSInteger component) {
    loadIfNeeded();
    if (component < 0 || component >= static_cast<NSInteger>(rows_.size())) return 0;
    return rows_[static_cast<size_t>(component)];
}

CGSize UIPickerView::rowSizeForComponent(NSInteger component) {
    auto d = delegate();
    CGFloat w = d ? d->pickerViewWidthForComponent(this, component) : 0;
    CGFloat h = d ? d->pickerViewRowHeightForComponent(this, component) : 0;
    NSInteger n = std::max<NSInteger>(1, numberOfComponents());
    if (w <= 0) w = (bounds().size.width - 20) / static_cast<CGFloat>(n);
    if (h <= 0) h = kRowHeight;
    return CGSizeMake(w, h);
}

Ref<NSString> UIPickerView::titleForRow(NSInteger row, NSInteger component) {
    if (row < 0 || row >= numberOfRowsInComponent(component)) return nullptr;
    auto d = delegate();
    return d ? d->pickerViewTitleForRowForComponent(this, row, component) : nullptr;
}

Ref<UIView> UIPickerView::viewForRow(NSInteger row, NSInteger component) {
    if (row < 0 || row >= numberOfRowsInComponent(component)) return nullptr;
    auto key = std::make_pair(row, component);
    auto it = rowViews_.find(key);
    UIView* reusing = it != rowViews_.end() ? it->second.get() : nullptr;
    auto d = delegate();
    auto view =
        d ? d->pickerViewViewForRowForComponentReusingView(this, row, component, reusing) : nullptr;
    if (view)
        rowViews_[key] = view;
    else
        rowViews_.erase(key);
    return view;
}

void UIPickerView::reloadAllComponents() {
    loaded_ = false;
    rowViews_.clear();
    loadIfNeeded();
    setNeedsLayout();
}

void UIPickerView::reloadComponent(NSInteger component) {
    loadIfNeeded();
    if (component < 0 || component >= static_cast<NSInteger>(rows_.size())) return;
    loadComponent(component);
    setNeedsLayout();
}

NSInteger UIPickerView::selectedRowInComponent(NSInteger component) {
    loadIfNeeded();
    if (component < 0 || component >= static_cast<NSInteger>(selected_.size())) return -1;
    return selected_[static_cast<size_t>(component)];
}

void UIPickerView::selectRow(NSInteger row, NSInteger component, bool) {
    loadIfNeeded();
    if (component < 0 || component >= static_cast<NSInteger>(rows_.size())) return;
    if (row < 0 || row >= rows_[static_cast<size_t>(component)]) return;
    selected_[static_cast<size_t>(component)] = row;
    setNeedsDisplay();
}

void UIPickerView::userSelectRow(NSInteger row, NSInteger component) {
    loadIfNeeded();
    if (component < 0 || component >= static_cast<NSInteger>(rows_.size())) return;
    if (row < 0 || row >= rows_[static_cast<size_t>(component)]) return;
    Ref<UIPickerView> self(this);
    selected_[static_cast<size_t>(component)] = row;
    setNeedsDisplay();
    if (auto d = delegate()) d->pickerViewDidSelectRowInComponent(this, row, component);
}

CGRect UIPickerView::rectForComponent(NSInteger component) {
    NSInteger components = numberOfComponents();
    if (component < 0 || component >= components) return CGRectNull;
    CGRect wheels = CGRectInset(bounds(), 10, 8);
    CGFloat w = wheels.size.width / static_cast<CGFloat>(components);
    return CGRectMake(wheels.origin.x + w * static_cast<CGFloat>(component), wheels.origin.y, w - 2,
                      wheels.size.height);
}

CGRect UIPickerView::rectForRow(NSInteger row, NSInteger component) {
    if (row < 0 || row >= numberOfRowsInComponent(component)) return CGRectNull;
    CGRect wheel = rectForComponent(component);
    CGFloat height = std::max<CGFloat>(20, rowSizeForComponent(component).height);
    NSInteger selected = std::max<NSInteger>(0, selectedRowInComponent(component));
    CGFloat y = CGRectGetMidY(wheel) - height / 2 + height * static_cast<CGFloat>(row - selected);
    CGRect shown =
        CGRectIntersection(wheel, CGRectMake(wheel.origin.x, y, wheel.size.width, height));
    return CGRectIsEmpty(shown) ? CGRectNull : shown;
}

void UIPickerView::touchesEnded(NSSet* touches, UIEvent* event) {
    auto touch = as<UITouch>(touches ? touches->anyObject() : nullptr);
    if (!touch || touch->farthestFromLanding() > UITouchTapSlop) {
        UIView::touchesEnded(touches, event);
        return;
    }
    CGPoint at = touch->locationInView(this);
    for (NSInteger c = 0; c < numberOfComponents(); ++c) {
        for (NSInteger r = 0; r < numberOfRowsInComponent(c); ++r) {
            if (CGRectContainsPoint(rectForRow(r, c), at)) return userSelectRow(r, c);
        }
    }
}

CGSize UIPickerView::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width > 0 ? size.width : 320, kPickerHeight);
}
