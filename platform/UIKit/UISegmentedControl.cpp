#include "UIKit/UISegmentedControl.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIWindow.h"

void UISegmentedControl::describeClass(RuntimeClass& c) {
    c.property("selectedSegmentIndex", &UISegmentedControl::selectedSegmentIndex,
               &UISegmentedControl::setSelectedSegmentIndex);
    c.initializer("initWithItems:", &UISegmentedControl::initWithItems);
}

bool UISegmentedControl::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setOpaque(false);
    return true;
}

bool UISegmentedControl::initWithItems(NSArray* items) {
    if (!initWithFrame(CGRectZero)) return false;
    NSUInteger n = items ? items->count() : 0;
    for (NSUInteger i = 0; i < n; ++i) {
        auto item = items->objectAtIndex(i);
        Segment s;
        if (auto t = as<NSString>(item))
            s.title = t;
        else if (auto img = as<UIImage>(item))
            s.image = img;
        else
            NSException::raise(NSInvalidArgumentException,
                               NS("segment items must be strings or images"));
        segments_.push_back(std::move(s));
    }
    // Sized to its items, as the platform's is.
    CGSize size = sizeThatFits(CGSizeZero);
    setFrame(CGRectMake(0, 0, size.width, size.height));
    return true;
}

void UISegmentedControl::setTintColor(UIColor* color) {
    tintColor_ = color;
    setNeedsDisplay();
}

void UISegmentedControl::insertSegment(Segment s, NSUInteger index) {
    size_t at = std::min<size_t>(index, segments_.size());
    segments_.insert(segments_.begin() + static_cast<std::ptrdiff_t>(at), std::move(s));
    // The selection stays on the same segment.
    if (selected_ >= 0 && static_cast<size_t>(selected_) >= at) ++selected_;
    setNeedsLayout();
    setNeedsDisplay();
}

void UISegmentedControl::insertSegmentWithTitle(NSString* title, NSUInteger index, bool) {
    Segment s;
    s.title = title ? title->copy() : nullptr;
    insertSegment(std::move(s), index);
}

void UISegmentedControl::insertSegmentWithImage(UIImage* image, NSUInteger index, bool) {
    Segment s;
    s.image = image;
    insertSegment(std::move(s), index);
}

void UISegmentedControl::removeSegmentAtIndex(NSUInteger index, bool) {
    if (index >= segments_.size()) return;
    segments_.erase(segments_.begin() + static_cast<std::ptrdiff_t>(index));
    if (selected_ == static_cast<NSInteger>(index))
        selected_ = UISegmentedControlNoSegment;
    else if (selected_ > static_cast<NSInteger>(index))
        --selected_;
    setNeedsDisplay();
}

void UISegmentedControl::removeAllSegments() {
    segments_.clear();
    selected_ = UISegmentedControlNoSegment;
    setNeedsDisplay();
}

void UISegmentedControl::setTitle(NSString* title, NSUInteger segment) {
    if (segment >= segments_.size()) return;
    segments_[segment].title = title ? title->copy() : nullptr;
    segments_[segment].image = nullptr;
    setNeedsDisplay();
}

Ref<NSString> UISegmentedControl::titleForSegmentAtIndex(NSUInteger segment) {
    return segment < segments_.size() ? segments_[segment].title : nullptr;
}

void UISegmentedControl::setImage(UIImage* image, NSUInteger segment) {
    if (segment >= segments_.size()) return;
    segments_[segment].image = image;
    segments_[segment].title = nullptr;
    setNeedsDisplay();
}

Ref<UIImage> UISegmentedControl::imageForSegmentAtIndex(NSUInteger segment) {
    return segment < segments_.size() ? segments_[segment].image : nullptr;
}

void UISegmentedControl::setWidth(CGFloat width, NSUInteger segment) {
    if (segment >= segments_.size()) return;
    segments_[segment].width = std::max<CGFloat>(0, width);
    setNeedsDisplay();
}

CGFloat UISegmentedControl::widthForSegmentAtIndex(NSUInteger segment) {
    return segment < segments_.size() ? segments_[segment].width : 0;
}

void UISegmentedControl::setEnabled(bool enabled, NSUInteger segment) {
    if (segment >= segments_.size()) return;
    segments_[segment].enabled = enabled;
    setNeedsDisplay();
}

bool UISegmentedControl::isEnabledForSegmentAtIndex(NSUInteger segment) {
    return segment < segments_.size() && segments_[segment].enabled;
}

void UISegmentedControl::setSelectedSegmentIndex(NSInteger index) {
    if (index != UISegmentedControlNoSegment &&
        (index < 0 || index >= static_cast<NSInteger>(segments_.size())))
        NSException::raise(NSRangeException, NS("index %d beyond bounds (%u)"), index,
                           static_cast<NSUInteger>(segments_.size()));
    selected_ = index;
    setNeedsDisplay();
}

CGRect UISegmentedControl::rectForSegmentAtIndex(NSUInteger segment) {
    CGRect b = bounds();
    if (segment >= segments_.size()) return CGRectZero;
    CGFloat fixed = 0;
    size_t flexible = 0;
    for (auto& s : segments_) {
        if (s.width > 0)
            fixed += s.width;
        else
            ++flexible;
    }
    CGFloat share =
        flexible ? std::max<CGFloat>(0, b.size.width - fixed) / static_cast<CGFloat>(flexible) : 0;
    CGFloat x = b.origin.x;
    for (size_t i = 0; i < segments_.size(); ++i) {
        CGFloat w = segments_[i].width > 0 ? segments_[i].width : share;
        if (i == segment) return CGRectMake(x, b.origin.y, w, b.size.height);
        x += w;
    }
    return CGRectZero;
}

NSInteger UISegmentedControl::segmentAtPoint(CGPoint point) {
    for (size_t i = 0; i < segments_.size(); ++i)
        if (CGRectContainsPoint(rectForSegmentAtIndex(static_cast<NSUInteger>(i)), point))
            return static_cast<NSInteger>(i);
    return UISegmentedControlNoSegment;
}

void UISegmentedControl::tappedAt(CGPoint point) {
    NSInteger seg = segmentAtPoint(point);
    if (seg == UISegmentedControlNoSegment || !segments_[static_cast<size_t>(seg)].enabled) return;
    Ref<UISegmentedControl> self(this);
    // A tap on the selected segment changes nothing (unless the control is momentary).
    if (seg == selected_ && !momentary_) return;
    selected_ = seg;
    sendActions(UIControlEventValueChanged, nullptr);
    if (momentary_) selected_ = UISegmentedControlNoSegment;
    setNeedsDisplay();
}

void UISegmentedControl::tapSegment(NSUInteger segment) {
    if (segment >= segments_.size() || !isEnabled()) return;
    UIView::layoutPendingViews();
    CGRect r = rectForSegmentAtIndex(segment);
    if (r.size.width <= 0) {
        // A control not laid out yet: the tap still means the segment.
        Ref<UISegmentedControl> self(this);
        if (static_cast<NSInteger>(segment) == selected_ && !momentary_) return;
        if (!segments_[segment].enabled) return;
        selected_ = static_cast<NSInteger>(segment);
        sendActions(UIControlEventTouchDown, nullptr);
        sendActions(UIControlEventValueChanged, nullptr);
        if (momentary_) selected_ = UISegmentedControlNoSegment;
        sendActions(UIControlEventTouchUpInside, nullptr);
        return;
    }
    CGPoint mid = CGPointMake(CGRectGetMidX(r), CGRectGetMidY(r));
    auto touch =
        UITouch::touchInWindow(window(), window() ? convertPoint(mid, window()) : mid, this);
    auto event = UIEvent::touchEvent({touch});
    touchesBegan(event->allTouches(), event);
    touch->setPhase(UITouchPhaseEnded);
    touchesEnded(event->allTouches(), event);
}

CGSize UISegmentedControl::sizeThatFits(CGSize) {
    auto font = UIFont::boldSystemFontOfSize(13);
    CGFloat w = 0;
    for (auto& s : segments_) {
        CGFloat sw = s.width;
        if (sw <= 0) {
            if (s.title)
                sw = ::sizeWithFont(s.title, font).width + 20;
            else if (s.image)
                sw = s.image->size().width + 20;
            else
                sw = 40;
        }
        w += sw;
    }
    CGFloat h = style_ == UISegmentedControlStyleBar ? 30 : 44;
    return CGSizeMake(std::ceil(w), h);
}
