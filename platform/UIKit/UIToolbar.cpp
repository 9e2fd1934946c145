#include "UIKit/UIToolbar.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"

namespace {
constexpr CGFloat kBarHeight = 44;
constexpr CGFloat kEdgeMargin = 6;
constexpr CGFloat kSpacing = 10;
}  // namespace

CGFloat UIBarItemNaturalWidth(UIBarButtonItem* item) {
    if (!item) return 0;
    if (item->isSystemItem() && item->systemItem() == UIBarButtonSystemItemFlexibleSpace) return 0;
    if (item->width() > 0) return item->width();
    if (item->isSystemItem() && item->systemItem() == UIBarButtonSystemItemFixedSpace) return 0;
    if (auto v = item->customView()) return v->frame().size.width;
    CGFloat content = 0;
    if (item->image() && !item->isSystemItem())
        content = item->image()->size().width;
    else if (auto glyph = item->systemImage())
        content = glyph->size().width;
    else
        content = ::sizeWithFont(item->displayTitle(), UIFont::boldSystemFontOfSize(12)).width;
    return std::ceil(content + 20);
}

std::vector<CGRect> UIBarLayoutItems(NSArray* items, CGRect area, CGFloat spacing) {
    std::vector<CGRect> frames;
    NSUInteger n = items ? items->count() : 0;
    if (n == 0) return frames;
    std::vector<CGFloat> widths(n, 0);
    std::vector<bool> flexible(n, false);
    CGFloat used = spacing * static_cast<CGFloat>(n - 1);
    size_t flexCount = 0;
    for (NSUInteger i = 0; i < n; ++i) {
        auto item = as<UIBarButtonItem>(items->objectAtIndex(i));
        if (item && item->isSystemItem() &&
            item->systemItem() == UIBarButtonSystemItemFlexibleSpace) {
            flexible[i] = true;
            ++flexCount;
        } else {
            widths[i] = UIBarItemNaturalWidth(item);
            used += widths[i];
        }
    }
    CGFloat left = std::max<CGFloat>(0, area.size.width - used);
    for (NSUInteger i = 0; i < n; ++i)
        if (flexible[i]) widths[i] = left / static_cast<CGFloat>(flexCount);
    // Without flexible spaces the items sit together in the middle, as the platform's do.
    CGFloat x = area.origin.x + (flexCount == 0 ? left / 2 : 0);
    for (NSUInteger i = 0; i < n; ++i) {
        CGFloat h = std::min<CGFloat>(30, area.size.height);
        frames.push_back(CGRectMake(x, area.origin.y + (area.size.height - h) / 2, widths[i], h));
        x += widths[i] + spacing;
    }
    return frames;
}

void UIToolbar::describeClass(RuntimeClass& c) {
    c.property("items", &UIToolbar::items,
               static_cast<void (UIToolbar::*)(NSArray*)>(&UIToolbar::setItems));
}

bool UIToolbar::initWithFrame(CGRect frame) {
    return UIView::initWithFrame(frame);
}

void UIToolbar::setTintColor(UIColor* color) {
    tintColor_ = color;
    setNeedsDisplay();
}

void UIToolbar::setItems(NSArray* items) {
    setItems(items, false);
}

void UIToolbar::setItems(NSArray* items, bool) {
    Ref<UIToolbar> self(this);
    // The old items' views leave; the new ones come in item order.
    if (items_) {
        for (NSUInteger i = 0; i < items_->count(); ++i) {
            auto item = as<UIBarButtonItem>(items_->objectAtIndex(i));
            if (auto v = item ? item->itemView() : nullptr)
                if (v->superview().get() == this) v->removeFromSuperview();
        }
    }
    items_ = items ? items->copy() : nullptr;
    if (items_) {
        for (NSUInteger i = 0; i < items_->count(); ++i) {
            auto item = as<UIBarButtonItem>(items_->objectAtIndex(i));
            if (auto v = item ? item->itemView() : nullptr) addSubview(v);
        }
    }
    itemFrames_.clear();
    setNeedsLayout();
}

CGRect UIToolbar::frameForItemAtIndex(NSUInteger index) {
    if (itemFrames_.empty()) layoutSubviews();
    return index < itemFrames_.size() ? itemFrames_[index] : CGRectZero;
}

void UIToolbar::layoutSubviews() {
    CGRect area = CGRectInset(bounds(), kEdgeMargin, 0);
    if (CGRectIsNull(area)) area = bounds();
    itemFrames_ = UIBarLayoutItems(items_, area, kSpacing);
    for (size_t i = 0; i < itemFrames_.size(); ++i) {
        auto item = as<UIBarButtonItem>(items_->objectAtIndex(static_cast<NSUInteger>(i)));
        if (!item) continue;
        if (auto v = item->itemView()) {
            CGRect f = itemFrames_[i];
            if (item->customView()) {
                // A custom view keeps its size, centred in its slot.
                CGSize s = v->bounds().size;
                f = CGRectMake(f.origin.x, CGRectGetMidY(bounds()) - s.height / 2, s.width,
                               s.height);
            }
            v->setFrame(f);
        }
    }
}

CGSize UIToolbar::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width, kBarHeight);
}
