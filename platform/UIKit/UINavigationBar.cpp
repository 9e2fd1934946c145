#include "UIKit/UINavigationBar.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"

namespace {
constexpr CGFloat kBarHeight = 44;
constexpr CGFloat kMargin = 5;
constexpr CGFloat kSpacing = 8;
constexpr CGFloat kTitleMinimumFontSize = 14;
// The back button's pointed end takes this much room left of its title.
constexpr CGFloat kBackArrowInset = 8;
constexpr CGFloat kBackButtonPadding = 24;

Ref<UIFont> backButtonFont() {
    return UIFont::boldSystemFontOfSize(12);
}

Ref<NSArray> single(UIBarButtonItem* item) {
    return item ? NSArray::arrayWithObject(item) : nullptr;
}
}  // namespace

// ---- UINavigationItem -------------------------------------------------------------------------

void UINavigationItem::describeClass(RuntimeClass& c) {
    c.property("title", &UINavigationItem::title, &UINavigationItem::setTitle);
    c.initializer("initWithTitle:", &UINavigationItem::initWithTitle);
}

bool UINavigationItem::initWithTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
    return true;
}

void UINavigationItem::changed() {
    if (auto bar = bar_.lock()) bar->itemChanged(this);
}

void UINavigationItem::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
    changed();
}
void UINavigationItem::setTitleView(UIView* view) {
    titleView_ = view;
    changed();
}
void UINavigationItem::setPrompt(NSString* prompt) {
    prompt_ = prompt ? prompt->copy() : nullptr;
    changed();
}
void UINavigationItem::setBackBarButtonItem(UIBarButtonItem* item) {
    backBarButtonItem_ = item;
    changed();
}
void UINavigationItem::setHidesBackButton(bool hides) {
    setHidesBackButton(hides, false);
}
void UINavigationItem::setHidesBackButton(bool hides, bool) {
    hidesBackButton_ = hides;
    changed();
}
Ref<UIBarButtonItem> UINavigationItem::leftBarButtonItem() {
    return leftItems_ && leftItems_->count() ? as<UIBarButtonItem>(leftItems_->objectAtIndex(0))
                                             : nullptr;
}
void UINavigationItem::setLeftBarButtonItem(UIBarButtonItem* item) {
    setLeftBarButtonItems(single(item), false);
}
void UINavigationItem::setLeftBarButtonItem(UIBarButtonItem* item, bool animated) {
    setLeftBarButtonItems(single(item), animated);
}
Ref<UIBarButtonItem> UINavigationItem::rightBarButtonItem() {
    return rightItems_ && rightItems_->count() ? as<UIBarButtonItem>(rightItems_->objectAtIndex(0))
                                               : nullptr;
}
void UINavigationItem::setRightBarButtonItem(UIBarButtonItem* item) {
    setRightBarButtonItems(single(item), false);
}
void UINavigationItem::setRightBarButtonItem(UIBarButtonItem* item, bool animated) {
    setRightBarButtonItems(single(item), animated);
}
void UINavigationItem::setLeftBarButtonItems(NSArray* items) {
    setLeftBarButtonItems(items, false);
}
void UINavigationItem::setLeftBarButtonItems(NSArray* items, bool) {
    leftItems_ = items && items->count() ? items->copy() : nullptr;
    changed();
}
void UINavigationItem::setRightBarButtonItems(NSArray* items) {
    setRightBarButtonItems(items, false);
}
void UINavigationItem::setRightBarButtonItems(NSArray* items, bool) {
    rightItems_ = items && items->count() ? items->copy() : nullptr;
    changed();
}
void UINavigationItem::setLeftItemsSupplementBackButton(bool v) {
    supplementBack_ = v;
    changed();
}

// ---- UINavigationBar ---------------------------------------------------------------------------

void UINavigationBar::describeClass(RuntimeClass& c) {
    c.method("backButtonTapped:", &UINavigationBar::backButtonTapped);
    c.property("topItem", &UINavigationBar::topItem);
}

bool UINavigationBar::initWithFrame(CGRect frame) {
    return UIView::initWithFrame(frame);
}

void UINavigationBar::setTintColor(UIColor* color) {
    tintColor_ = color;
    setNeedsDisplay();
}

void UINavigationBar::setBarStyle(UIBarStyle s) {
    if (s == barStyle_) return;
    barStyle_ = s;
    setNeedsDisplay();
    if (auto d = delegate()) d->navigationBarDidChangeStyle(this);
}

void UINavigationBar::setTranslucent(bool v) {
    if (v == translucent_) return;
    translucent_ = v;
    setNeedsDisplay();
    if (auto d = delegate()) d->navigationBarDidChangeStyle(this);
}

Ref<NSArray> UINavigationBar::items() {
    return NSArray::arrayWithVector(items_);
}

void UINavigationBar::setItems(NSArray* items) {
    setItems(items, false);
}

void UINavigationBar::setItems(NSArray* items, bool) {
    for (auto& i : items_)
        i->setNavigationBar(nullptr);
    items_.clear();
    NSUInteger n = items ? items->count() : 0;
    for (NSUInteger i = 0; i < n; ++i) {
        if (auto item = as<UINavigationItem>(items->objectAtIndex(i))) {
            item->setNavigationBar(this);
            items_.push_back(item);
        }
    }
    rebuild();
}

Ref<UINavigationItem> UINavigationBar::topItem() {
    return items_.empty() ? nullptr : items_.back();
}

Ref<UINavigationItem> UINavigationBar::backItem() {
    return items_.size() < 2 ? nullptr : items_[items_.size() - 2];
}

void UINavigationBar::pushNavigationItem(UINavigationItem* item, bool) {
    if (!item) return;
    if (item->navigationBar())
        NSException::raise(NSInternalInconsistencyException,
                           NS("Cannot push a navigation item that is already on a navigation bar"));
    Ref<UINavigationBar> self(this);
    Ref<UINavigationItem> keep(item);
    if (auto d = delegate(); d && !d->navigationBarShouldPushItem(this, item)) return;
    item->setNavigationBar(this);
    items_.push_back(keep);
    rebuild();
    if (auto d = delegate()) d->navigationBarDidPushItem(this, item);
}

Ref<UINavigationItem> UINavigationBar::popNavigationItemAnimated(bool) {
    if (items_.size() < 2) return nullptr;
    Ref<UINavigationBar> self(this);
    Ref<UINavigationItem> top = items_.back();
    if (auto d = delegate(); d && !d->navigationBarShouldPopItem(this, top)) return nullptr;
    // The delegate may have changed the stack itself.
    if (items_.empty() || items_.back() != top) return nullptr;
    items_.pop_back();
    top->setNavigationBar(nullptr);
    rebuild();
    if (auto d = delegate()) d->navigationBarDidPopItem(this, top);
    return top;
}

Ref<NSString> UINavigationBar::displayedTitle() {
    auto top = topItem();
    return top ? top->title() : nullptr;
}

Ref<NSString> UINavigationBar::backButtonTitle() {
    auto top = topItem();
    auto back = backItem();
    if (!top || !back || top->hidesBackButton()) return nullptr;
    if (top->leftBarButtonItems() && !top->leftItemsSupplementBackButton()) return nullptr;
    if (auto custom = back->backBarButtonItem()) {
        if (auto t = custom->title()) return t;
    }
    if (auto t = back->title(); t && t->length() > 0) return t;
    return NS("Back");
}

Ref<NSArray> UINavigationBar::displayedLeftItems() {
    auto top = topItem();
    auto items = top ? top->leftBarButtonItems() : nullptr;
    return items ? items : NSArray::array();
}

Ref<NSArray> UINavigationBar::displayedRightItems() {
    auto top = topItem();
    auto items = top ? top->rightBarButtonItems() : nullptr;
    return items ? items : NSArray::array();
}

bool UINavigationBar::tapBackButton() {
    if (!backButtonTitle()) return false;
    return popNavigationItemAnimated(true) != nullptr;
}

void UINavigationBar::backButtonTapped(NSObject*) {
    tapBackButton();
}

Ref<UIView> UINavigationBar::backButtonView() {
    return backButtonTitle() ? Ref<UIView>(backButton_) : nullptr;
}

void UINavigationBar::itemChanged(UINavigationItem* item) {
    // Only the top two items show.
    if (item == topItem().get() || item == backItem().get()) rebuild();
}

void UINavigationBar::rebuild() {
    Ref<UINavigationBar> self(this);
    for (auto& v : shownViews_)
        if (v->superview().get() == this) v->removeFromSuperview();
    shownViews_.clear();
    auto top = topItem();
    if (!top) {
        setNeedsLayout();
        return;
    }
    if (auto back = backButtonTitle()) {
        if (!backButton_) {
            backButton_ = make<UIButton>();
            backButton_->addTarget(this, Selector::named("backButtonTapped:"),
                                   UIControlEventTouchUpInside);
            backButton_->titleLabel()->setFont(backButtonFont());
            backButton_->setContentEdgeInsets(UIEdgeInsetsMake(0, kBackArrowInset, 0, 0));
        }
        backButton_->setTitle(back, UIControlStateNormal);
        shownViews_.push_back(backButton_);
    }
    auto addItems = [&](NSArray* items) {
        for (NSUInteger i = 0; items && i < items->count(); ++i)
            if (auto item = as<UIBarButtonItem>(items->objectAtIndex(i)))
                if (auto v = item->itemView()) shownViews_.push_back(v);
    };
    addItems(displayedLeftItems());
    addItems(displayedRightItems());
    if (auto tv = top->titleView()) {
        shownViews_.push_back(tv);
    } else {
        if (!titleLabel_) {
            titleLabel_ = make<UILabel>();
            titleLabel_->setFont(UIFont::boldSystemFontOfSize(20));
            // A title wider than the room the buttons leave shrinks before it is cut.
            titleLabel_->setAdjustsFontSizeToFitWidth(true);
            titleLabel_->setMinimumFontSize(kTitleMinimumFontSize);
            titleLabel_->setTextAlignment(UITextAlignmentCenter);
            titleLabel_->setTextColor(UIColor::whiteColor());
            titleLabel_->setBackgroundColor(UIColor::clearColor());
        }
        titleLabel_->setText(top->title());
        shownViews_.push_back(titleLabel_);
    }
    for (auto& v : shownViews_)
        addSubview(v);
    setNeedsLayout();
}

void UINavigationBar::layoutSubviews() {
    CGRect b = bounds();
    CGFloat left = b.origin.x + kMargin, right = CGRectGetMaxX(b) - kMargin;
    auto place = [&](UIView* v, CGFloat width, bool fromLeft) {
        CGFloat h = std::min<CGFloat>(30, b.size.height);
        if (fromLeft) {
            v->setFrame(CGRectMake(left, CGRectGetMidY(b) - h / 2, width, h));
            left += width + kSpacing;
        } else {
            right -= width;
            v->setFrame(CGRectMake(right, CGRectGetMidY(b) - h / 2, width, h));
            right -= kSpacing;
        }
    };
    if (auto back = backButtonTitle(); back && backButton_) {
        // A title too long for the button's third of the bar gives way to "Back", as on the
        // phone, rather than being cut.
        CGFloat most = b.size.width / 3;
        CGFloat w = std::ceil(::sizeWithFont(back, backButtonFont()).width + kBackButtonPadding);
        if (w > most) {
            back = NS("Back");
            w = std::ceil(::sizeWithFont(back, backButtonFont()).width + kBackButtonPadding);
        }
        backButton_->setTitle(back, UIControlStateNormal);
        place(backButton_, std::min(w, most), true);
    }
    auto placeItems = [&](NSArray* items, bool fromLeft) {
        NSUInteger n = items ? items->count() : 0;
        for (NSUInteger k = 0; k < n; ++k) {
            NSUInteger i = fromLeft ? k : n - 1 - k;
            auto item = as<UIBarButtonItem>(items->objectAtIndex(i));
            if (!item) continue;
            if (auto v = item->itemView()) place(v, UIBarItemNaturalWidth(item), fromLeft);
        }
    };
    placeItems(displayedLeftItems(), true);
    placeItems(displayedRightItems(), false);
    auto top = topItem();
    if (!top) return;
    // The title is centred on the bar, within the room the buttons leave.
    UIView* title = top->titleView() ? top->titleView().get() : titleLabel_.get();
    if (!title) return;
    CGSize want =
        top->titleView()
            ? title->bounds().size
            : CGSizeMake(std::ceil(::sizeWithFont(top->title(), titleLabel_->font()).width),
                         std::min<CGFloat>(b.size.height, 24));
    CGFloat room = std::max<CGFloat>(0, right - left);
    CGFloat mid = CGRectGetMidX(b);
    if (!top->titleView()) {
        // A title text stays centred on the bar, shrinking into the room the buttons leave
        // around the middle, as long as it fits there at its smallest size; only a longer one
        // takes the whole room beside the buttons.
        CGFloat centred = std::max<CGFloat>(0, 2 * std::min(mid - left, right - mid));
        CGFloat smallest = std::ceil(
            ::sizeWithFont(top->title(), titleLabel_->font()->fontWithSize(kTitleMinimumFontSize))
                .width);
        if (want.width <= centred || smallest <= centred) {
            CGFloat w = std::min(want.width, centred);
            title->setFrame(
                CGRectMake(mid - w / 2, CGRectGetMidY(b) - want.height / 2, w, want.height));
            return;
        }
    }
    CGFloat w = std::min(want.width, room);
    CGFloat x = std::clamp(mid - w / 2, left, std::max(left, right - w));
    title->setFrame(CGRectMake(x, CGRectGetMidY(b) - want.height / 2, w, want.height));
}

CGSize UINavigationBar::sizeThatFits(CGSize size) {
    return CGSizeMake(size.width > 0 ? size.width : 320, kBarHeight);
}
