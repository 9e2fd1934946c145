#include "ui/table/DZLauncherView.h"

#include <cmath>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/style/DZPageControl.h"

namespace {
// Alternates between wobble steps, for every launcher at once.
bool wobbleLeft = false;
constexpr NSTimeInterval kTransition = 0.3;
constexpr NSTimeInterval kFastTransition = 0.2;

Ref<NSMutableArray> pageAt(NSArray* pages, NSInteger index) {
    return cast<NSMutableArray>(pages->objectAtIndex(static_cast<NSUInteger>(index)));
}
NSInteger countOf(NSArray* array) {
    return array ? static_cast<NSInteger>(array->count()) : 0;
}
}  // namespace

template <class Call>
void DZLauncherView::tell(const char* selector, Call call) {
    auto d = delegate_.lock();
    if (respondsTo(d.get(), Selector::named(selector))) call(d.get());
}

void DZLauncherView::describeClass(RuntimeClass& c) {
    c.method("buttonTouchedDown:withEvent:", &DZLauncherView::buttonTouchedDown)
        .method("buttonTouchedUpInside:", &DZLauncherView::buttonTouchedUpInside)
        .method("buttonTouchedUpOutside:", &DZLauncherView::buttonTouchedUpOutside)
        .method("closeButtonTouchedUpInside:", &DZLauncherView::closeButtonTouchedUpInside)
        .method("pageChanged", &DZLauncherView::pageChanged)
        .method("wobble", &DZLauncherView::wobble);
}

bool DZLauncherView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    scrollView_ = make<DZLauncherScrollView>(
        &DZLauncherScrollView::initWithFrame,
        CGRectMake(0, 0, frame.size.width, frame.size.height - kPagerHeight));
    scrollView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                     UIViewAutoresizingFlexibleHeight);
    scrollView_->setDelegate(this);
    scrollView_->setScrollsToTop(false);
    scrollView_->setShowsHorizontalScrollIndicator(false);
    scrollView_->setShowsVerticalScrollIndicator(false);
    scrollView_->setAlwaysBounceHorizontal(true);
    scrollView_->setPagingEnabled(true);
    scrollView_->setDelaysContentTouches(false);
    scrollView_->setMultipleTouchEnabled(false);
    addSubview(scrollView_);
    pager_ = make<DZPageControl>();
    pager_->setDotStyle(NS("launcherPageDot:"));
    pager_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                UIViewAutoresizingFlexibleRightMargin |
                                UIViewAutoresizingFlexibleBottomMargin);
    pager_->addTarget(this, Selector::named("pageChanged"), UIControlEventValueChanged);
    addSubview(pager_);
    setAutoresizesSubviews(true);
    setColumnCount(kDefaultColumnCount);
    return true;
}

void DZLauncherView::dealloc() {
    if (pages_)
        for (NSObject* page : *pages_)
            for (NSObject* item : *static_cast<NSArray*>(page))
                static_cast<DZLauncherItem*>(item)->setLauncher(nullptr);
    if (scrollView_) scrollView_->setDelegate(nullptr);
    cancelEditHoldTimer();
    cancelSpringLoadTimer();
    pages_ = buttons_ = nullptr;
    scrollView_ = nullptr;
    pager_ = nullptr;
    highlightView_ = nullptr;
    UIView::dealloc();
}

// ---- model ------------------------------------------------------------------------------------

void DZLauncherView::setPages(NSArray* pages) {
    if (pages_)
        for (NSObject* page : *pages_)
            for (NSObject* item : *static_cast<NSArray*>(page))
                static_cast<DZLauncherItem*>(item)->setLauncher(nullptr);
    pages_ = NSMutableArray::array();
    if (pages) {
        for (NSObject* page : *pages) {
            Ref<NSMutableArray> copy = static_cast<NSArray*>(page)->mutableCopy();
            for (NSObject* item : *copy)
                static_cast<DZLauncherItem*>(item)->setLauncher(this);
            pages_->addObject(copy);
        }
    }
    buttons_ = nullptr;
    setNeedsLayout();
}

void DZLauncherView::setColumnCount(NSInteger count) {
    if (count == columnCount_) return;
    columnCount_ = count;
    rowCount_ = 0;
    buttons_ = nullptr;
    setNeedsLayout();
}

CGFloat DZLauncherView::rowHeight() {
    return std::round(scrollView_->frame().size.height / 3);
}

NSInteger DZLauncherView::rowCount() {
    if (rowCount_ == 0) {
        CGFloat h = rowHeight();
        // A view with no height has no rows (rather than a division by zero).
        rowCount_ = h > 0 ? static_cast<NSInteger>(std::floor(frame().size.height / h)) : 0;
    }
    return rowCount_;
}

NSInteger DZLauncherView::currentPageIndex() {
    CGFloat w = scrollView_->frame().size.width;
    return w > 0 ? static_cast<NSInteger>(std::floor(scrollView_->contentOffset().x / w)) : 0;
}

void DZLauncherView::setCurrentPageIndex(NSInteger index) {
    scrollView_->setContentOffset(CGPointMake(index * scrollView_->frame().size.width, 0));
}

void DZLauncherView::setPrompt(NSString* prompt) {
    prompt_ = prompt ? prompt->copy() : nullptr;
}

Ref<NSMutableArray> DZLauncherView::pageWithItem(DZLauncherItem* item) {
    if (!pages_) return nullptr;
    for (NSObject* page : *pages_)
        if (static_cast<NSArray*>(page)->indexOfObject(item) != NSNotFound)
            return Ref<NSMutableArray>(static_cast<NSMutableArray*>(page));
    return nullptr;
}

Ref<NSIndexPath> DZLauncherView::indexPathOfItem(DZLauncherItem* item) {
    if (!pages_) return nullptr;
    for (NSInteger p = 0; p < countOf(pages_); ++p) {
        NSUInteger i = pageAt(pages_, p)->indexOfObject(item);
        if (i != NSNotFound) return NSIndexPath::indexPathForRow(static_cast<NSInteger>(i), p);
    }
    return nullptr;
}

Ref<NSMutableArray> DZLauncherView::pageWithButton(DZLauncherButton* button) {
    auto path = indexPathOfItem(button->item());
    if (!path || !buttons_ || path->section() >= countOf(buttons_)) return nullptr;
    return pageAt(buttons_, path->section());
}

Ref<DZLauncherButton> DZLauncherView::buttonForItem(DZLauncherItem* item) {
    auto path = indexPathOfItem(item);
    if (!path || !buttons_ || path->section() >= countOf(buttons_)) return nullptr;
    auto page = pageAt(buttons_, path->section());
    if (path->row() >= countOf(page)) return nullptr;
    return cast<DZLauncherButton>(page->objectAtIndex(static_cast<NSUInteger>(path->row())));
}

void DZLauncherView::updateItemBadge(DZLauncherItem* item) {
    if (auto button = buttonForItem(item)) button->updateBadge();
}

Ref<DZLauncherItem> DZLauncherView::itemWithURL(NSString* URL) {
    if (!pages_ || !URL) return nullptr;
    for (NSObject* page : *pages_)
        for (NSObject* object : *static_cast<NSArray*>(page)) {
            auto item = static_cast<DZLauncherItem*>(object);
            if (item->URL() && item->URL()->isEqualToString(URL)) return Ref<DZLauncherItem>(item);
        }
    return nullptr;
}

Ref<NSMutableArray> DZLauncherView::pageWithFreeSpace(NSInteger start) {
    NSInteger room = columnCount_ * rowCount();
    for (NSInteger p = std::max<NSInteger>(start, 0); p < countOf(pages_); ++p) {
        auto page = pageAt(pages_, p);
        if (countOf(page) < room) return page;
    }
    auto page = NSMutableArray::array();
    pages_->addObject(page);
    return page;
}

void DZLauncherView::addItem(DZLauncherItem* item, bool animated) {
    if (!item || itemWithURL(item->URL())) return;
    item->setLauncher(this);
    if (!pages_ || countOf(pages_) == 0) {
        pages_ = NSMutableArray::array();
        auto page = NSMutableArray::array();
        page->addObject(item);
        pages_->addObject(page);
    } else {
        pageWithFreeSpace(currentPageIndex())->addObject(item);
    }
    tell("launcherView:didAddItem:",
         [&](DZLauncherViewDelegate* d) { d->launcherViewDidAddItem(this, item); });
    if (buttons_) recreateButtons();
    scrollToItem(item, animated);
}

void DZLauncherView::removeItem(DZLauncherItem* item, bool animated) {
    Ref<DZLauncherItem> held(item);
    auto itemPage = item ? pageWithItem(item) : nullptr;
    if (!itemPage) return;
    auto button = buttonForItem(item);
    auto buttonPage = button ? pageWithButton(button) : nullptr;
    item->setLauncher(nullptr);
    itemPage->removeObject(item);
    if (buttonPage) {
        buttonPage->removeObject(button);
        if (animated) {
            Weak<DZLauncherButton> weak(button.get());
            UIView::animateWithDuration(
                kFastTransition,
                [&] {
                    layoutButtons();
                    button->setTransform(CGAffineTransformMakeScale(0.01f, 0.01f));
                    button->setAlpha(0);
                },
                [weak](bool) {
                    if (auto b = weak.lock()) b->removeFromSuperview();
                });
        } else {
            button->removeFromSuperview();
            layoutButtons();
        }
    }
    tell("launcherView:didRemoveItem:",
         [&](DZLauncherViewDelegate* d) { d->launcherViewDidRemoveItem(this, item); });
}

void DZLauncherView::scrollToItem(DZLauncherItem* item, bool animated) {
    auto path = indexPathOfItem(item);
    if (!path) return;
    scrollView_->setContentOffset(CGPointMake(path->section() * scrollView_->frame().size.width, 0),
                                  animated);
}

// ---- layout -----------------------------------------------------------------------------------

void DZLauncherView::layoutSubviews() {
    UIView::layoutSubviews();
    CGFloat h = scrollView_->frame().size.height;
    pager_->setFrame(CGRectMake(0, h, frame().size.width, kPagerHeight));
    if (!buttons_) recreateButtons();
}

void DZLauncherView::setFrame(CGRect frame) {
    UIView::setFrame(frame);
    if (scrollView_) layoutButtons();
}

void DZLauncherView::recreateButtons() {
    layoutIfNeeded();
    for (auto& v : std::vector<Ref<UIView>>(scrollView_->subviewList()))
        v->removeFromSuperview();
    buttons_ = NSMutableArray::array();
    if (pages_) {
        for (NSObject* page : *pages_) {
            auto buttonPage = NSMutableArray::array();
            buttons_->addObject(buttonPage);
            for (NSObject* item : *static_cast<NSArray*>(page))
                addButtonWithItem(static_cast<DZLauncherItem*>(item), buttonPage);
        }
    }
    layoutButtons();
}

void DZLauncherView::addButtonWithItem(DZLauncherItem* item, NSMutableArray* buttonPage) {
    auto button = make<DZLauncherButton>(&DZLauncherButton::initWithItem, item);
    button->addTarget(this, Selector::named("buttonTouchedUpInside:"), UIControlEventTouchUpInside);
    // A cancelled touch (the app leaving, a touch taken away) drops the icon as a lift does.
    button->addTarget(this, Selector::named("buttonTouchedUpOutside:"),
                      UIControlEventTouchUpOutside | UIControlEventTouchCancel);
    button->addTarget(this, Selector::named("buttonTouchedDown:withEvent:"),
                      UIControlEventTouchDown);
    scrollView_->addSubview(button);
    buttonPage->addObject(button);
}

void DZLauncherView::layoutButtons() {
    layoutIfNeeded();
    if (!buttons_) return;
    CGFloat pageWidth = scrollView_->frame().size.width;
    CGFloat buttonWidth = columnCount_ > 0 ? std::ceil(frame().size.width / columnCount_) : 0;
    CGFloat buttonHeight = rowHeight();
    auto dragged = dragButton_.lock();
    for (NSInteger p = 0; p < countOf(buttons_); ++p) {
        CGFloat pageLeft = p * pageWidth;
        CGFloat x = pageLeft, y = 0;
        for (NSObject* object : *pageAt(buttons_, p)) {
            auto button = static_cast<DZLauncherButton*>(object);
            CGRect slot = CGRectMake(x, y, buttonWidth, buttonHeight);
            if (!button->dragging()) {
                button->setTransform(CGAffineTransformIdentity);
                if (button == dragged.get())
                    button->setFrame(scrollView_->convertRect(slot, this));
                else
                    button->setFrame(slot);
            }
            x += buttonWidth;
            if (x >= pageLeft + pageWidth || buttonWidth <= 0) {
                x = pageLeft;
                y += buttonHeight;
            }
        }
    }
    NSInteger count = countOf(pages_);
    if (count == 1 && prompt_) {
        showPrompt();
        count = 2;
    }
    updateContentSize(count);
}

void DZLauncherView::updateContentSize(NSInteger count) {
    CGRect f = scrollView_->frame();
    scrollView_->setContentSize(CGSizeMake(count * f.size.width, f.size.height));
    if (pager_->numberOfPages() != count) pager_->setNumberOfPages(count);
}

void DZLauncherView::showPrompt() {
    if (scrollView_->viewWithTag(kPromptTag)) return;
    CGRect f = scrollView_->frame();
    auto label = make<UILabel>(
        &UILabel::initWithFrame,
        CGRectInset(CGRectMake(f.size.width, 0, f.size.width, f.size.height), 40, 40));
    label->setTag(kPromptTag);
    label->setText(prompt_);
    label->setFont(UIFont::boldSystemFontOfSize(17));
    label->setBackgroundColor(UIColor::clearColor());
    label->setTextColor(UIColor::colorWithRed(81 / 255.0f, 95 / 255.0f, 122 / 255.0f, 1));
    label->setShadowColor(UIColor::colorWithWhite(1, 0.6f));
    label->setShadowOffset(CGSizeMake(0, 1));
    label->setTextAlignment(UITextAlignmentCenter);
    label->setNumberOfLines(0);
    scrollView_->addSubview(label);
}

void DZLauncherView::checkButtonOverflow(NSInteger p) {
    NSInteger room = columnCount_ * rowCount();
    // With room for no icon at all every page overflows; moving icons on would make pages
    // forever.
    if (room <= 0 || !buttons_) return;
    while (p < countOf(buttons_)) {
        auto buttonPage = pageAt(buttons_, p);
        if (countOf(buttonPage) <= room) return;
        if (p + 1 >= countOf(buttons_)) {
            buttons_->addObject(NSMutableArray::array());
            pages_->addObject(NSMutableArray::array());
        }
        auto itemPage = pageAt(pages_, p);
        auto nextButtons = pageAt(buttons_, p + 1);
        auto nextItems = pageAt(pages_, p + 1);
        while (countOf(buttonPage) > room) {
            Ref<NSObject> button = buttonPage->lastObject();
            Ref<NSObject> item = itemPage->lastObject();
            buttonPage->removeLastObject();
            itemPage->removeLastObject();
            nextButtons->insertObject(button, 0);
            nextItems->insertObject(item, 0);
        }
        ++p;
    }
}

// ---- page dots --------------------------------------------------------------------------------

void DZLauncherView::scrollViewWillBeginDragging(UIScrollView*) {
    cancelEditHoldTimer();
}

void DZLauncherView::scrollViewDidEndDecelerating(UIScrollView*) {
    updatePagerWithContentOffset(scrollView_->contentOffset());
}

void DZLauncherView::updatePagerWithContentOffset(CGPoint offset) {
    CGFloat w = scrollView_->frame().size.width;
    if (w <= 0) return;
    pager_->setCurrentPage(static_cast<NSInteger>(std::floor((offset.x - w / 2) / w) + 1));
}

void DZLauncherView::pageChanged() {
    scrollView_->setContentOffset(
        CGPointMake(pager_->currentPage() * scrollView_->frame().size.width, 0));
}

// ---- touches ----------------------------------------------------------------------------------

void DZLauncherView::cancelEditHoldTimer() {
    if (auto t = std::move(editHoldTimer_)) t->invalidate();
}

void DZLauncherView::cancelSpringLoadTimer() {
    if (auto t = std::move(springLoadTimer_)) t->invalidate();
}

void DZLauncherView::buttonTouchedDown(DZLauncherButton* button, UIEvent* event) {
    if (editing_) {
        if (!dragButton_.lock()) startDraggingButton(button, event);
        return;
    }
    cancelEditHoldTimer();
    Weak<DZLauncherView> weak(this);
    Weak<DZLauncherButton> weakButton(button);
    Ref<UIEvent> held(event);
    editHoldTimer_ = NSTimer::scheduledTimerWithTimeInterval(
        kEditHoldTime, false, [weak, weakButton, held](NSTimer*) {
            auto self = weak.lock();
            auto b = weakButton.lock();
            if (!self) return;
            self->editHoldTimer_ = nullptr;
            // A button gone meanwhile (freed, or no longer the launcher's) starts nothing.
            if (b && b->item() && self->buttonForItem(b->item()) == b) self->editHoldTimer(held, b);
        });
}

void DZLauncherView::editHoldTimer(UIEvent* event, DZLauncherButton* button) {
    Ref<DZLauncherButton> held(button);
    beginEditing();
    button->setSelected(false);
    button->setHighlighted(false);
    startDraggingButton(button, event);
}

void DZLauncherView::buttonTouchedUpInside(DZLauncherButton* button) {
    if (editing_) {
        if (button == dragButton_.lock().get()) startDraggingButton(nullptr, nullptr);
        return;
    }
    cancelEditHoldTimer();
    button->setSelected(true);
    Weak<DZLauncherView> weak(this);
    Weak<DZLauncherButton> weakButton(button);
    NSTimer::scheduledTimerWithTimeInterval(kTransition, false, [weak, weakButton](NSTimer*) {
        auto self = weak.lock();
        auto b = weakButton.lock();
        if (self && b) self->deselectButton(b);
    });
    auto item = button->item();
    if (item && item->URL())
        tell("launcherView:didSelectItem:",
             [&](DZLauncherViewDelegate* d) { d->launcherViewDidSelectItem(this, item); });
}

void DZLauncherView::buttonTouchedUpOutside(DZLauncherButton* button) {
    if (editing_) {
        if (button == dragButton_.lock().get()) startDraggingButton(nullptr, nullptr);
        return;
    }
    cancelEditHoldTimer();
}

void DZLauncherView::deselectButton(DZLauncherButton* button) {
    button->setSelected(false);
}

void DZLauncherView::closeButtonTouchedUpInside(DZButton* closeButton) {
    if (!buttons_) return;
    for (NSObject* page : *buttons_)
        for (NSObject* object : *static_cast<NSArray*>(page)) {
            auto button = static_cast<DZLauncherButton*>(object);
            if (button->closeButton().get() == closeButton) {
                removeItem(button->item(), true);
                return;
            }
        }
}

void DZLauncherView::touchesMoved(NSSet* touches, UIEvent* event) {
    UIView::touchesMoved(touches, event);
    auto touch = dragTouch_.lock();
    if (dragButton_.lock() && !springing_ && touch && touches->containsObject(touch)) updateTouch();
}

void DZLauncherView::touchesEnded(NSSet* touches, UIEvent* event) {
    UIView::touchesEnded(touches, event);
    endDragTouch(touches);
}

void DZLauncherView::touchesCancelled(NSSet* touches, UIEvent* event) {
    UIView::touchesCancelled(touches, event);
    endDragTouch(touches);
}

void DZLauncherView::endDragTouch(NSSet* touches) {
    auto touch = dragTouch_.lock();
    if (touch && touches->containsObject(touch)) {
        tell("launcherViewDidEndDragging:",
             [&](DZLauncherViewDelegate* d) { d->launcherViewDidEndDragging(this); });
        dragTouch_ = nullptr;
    }
}

void DZLauncherView::startDraggingButton(DZLauncherButton* button, UIEvent* event) {
    Ref<DZLauncherView> self(this);
    Ref<DZLauncherButton> held(button);
    cancelSpringLoadTimer();
    if (button) {
        button->setTransform(CGAffineTransformIdentity);
        CGRect f = scrollView_->convertRect(button->frame(), this);
        addSubview(button);
        button->setFrame(f);
        button->layoutIfNeeded();
    }
    auto previous = dragButton_.lock();
    UIView::animateWithDuration(
        kFastTransition,
        [&] {
            if (previous) {
                previous->setSelected(false);
                previous->setHighlighted(false);
                previous->setDragging(false);
                layoutButtons();
            }
            if (!button) {
                scrollView_->setScrollEnabled(true);
            } else {
                dragButton_ = button;
                auto path = indexPathOfItem(button->item());
                positionOrigin_ = path ? path->row() : 0;
                Ref<UITouch> touch =
                    event ? as<UITouch>(event->allTouches()->anyObject()) : nullptr;
                dragTouch_ = touch.get();
                if (touch) touchOrigin_ = touch->locationInView(scrollView_);
                dragOrigin_ = button->center();
                button->setDragging(true);
                scrollView_->setScrollEnabled(false);
            }
        },
        [weak = Weak<DZLauncherView>(this), previous, button = held](bool) {
            auto self = weak.lock();
            // The dropped button goes back into the scroller where it now lies on screen.
            if (!self || button || !previous) return;
            if (previous->superview() == self) {
                CGRect f = self->convertRect(previous->frame(), self->scrollView_);
                self->scrollView_->addSubview(previous);
                previous->setFrame(f);
            }
            if (self->dragButton_.lock() == previous) self->dragButton_ = nullptr;
        });
}

void DZLauncherView::updateTouch() {
    auto button = dragButton_.lock();
    auto touch = dragTouch_.lock();
    if (!button || !touch) return;
    CGPoint location = touch->locationInView(scrollView_);
    button->setCenter(CGPointMake(dragOrigin_.x + location.x - touchOrigin_.x,
                                  dragOrigin_.y + location.y - touchOrigin_.y));
    CGFloat buttonWidth = button->frame().size.width / DZLauncherButton::kDragScale;
    CGFloat buttonHeight = button->frame().size.height / DZLauncherButton::kDragScale;
    CGFloat pageWidth = scrollView_->frame().size.width;
    if (buttonWidth <= 0 || buttonHeight <= 0 || pageWidth <= 0) return;
    // The slot under the finger: an icon dropped onto another takes that one's place.
    auto column = static_cast<NSInteger>(
        std::floor((location.x - scrollView_->contentOffset().x) / buttonWidth));
    auto row = static_cast<NSInteger>(std::floor(location.y / buttonHeight));
    NSInteger target = row * columnCount_ + column;
    auto page = static_cast<NSInteger>(std::floor(scrollView_->contentOffset().x / pageWidth));

    if (target != positionOrigin_ && page < countOf(buttons_)) {
        auto buttonPage = pageAt(buttons_, page);
        NSInteger count = countOf(buttonPage);
        // Past the end, or before the start, means the end.
        if (target < 0 || target > count) target = count;
        if (target != positionOrigin_) {
            auto item = button->item();
            auto itemPage = pageWithItem(item);
            auto oldButtonPage = pageWithButton(button);
            NSInteger oldIndex =
                itemPage ? static_cast<NSInteger>(itemPage->indexOfObject(item)) : -1;
            bool samePage = itemPage == pageAt(pages_, page);
            if (itemPage) itemPage->removeObject(item);
            if (oldButtonPage) oldButtonPage->removeObject(button);
            auto newItems = pageAt(pages_, page);
            if (target > countOf(buttonPage)) target = countOf(buttonPage);
            newItems->insertObject(item, static_cast<NSUInteger>(target));
            buttonPage->insertObject(button, static_cast<NSUInteger>(target));
            positionOrigin_ = target;
            checkButtonOverflow(page);
            if (!samePage || oldIndex != target)
                tell("launcherView:didMoveItem:",
                     [&](DZLauncherViewDelegate* d) { d->launcherViewDidMoveItem(this, item); });
            UIView::animateWithDuration(kTransition, [this] { layoutButtons(); });
        }
    }

    // Held near an edge, the next page comes.
    CGFloat zone = kSpringLoadFraction * buttonWidth;
    CGPoint centre = button->center();
    if (button->superview().get() != this) centre = scrollView_->convertPoint(centre, this);
    bool left = centre.x - zone < 0;
    bool right = pageWidth - centre.x - zone < 0;
    if (!left && !right) {
        cancelSpringLoadTimer();
    } else if (!springLoadTimer_) {
        Weak<DZLauncherView> weak(this);
        springLoadTimer_ =
            NSTimer::scheduledTimerWithTimeInterval(kSpringLoadTime, false, [weak, left](NSTimer*) {
                if (auto self = weak.lock()) self->springLoadTimer(left);
            });
    }
}

void DZLauncherView::springLoadTimer(bool left) {
    springLoadTimer_ = nullptr;
    CGFloat width = scrollView_->frame().size.width;
    CGFloat x = scrollView_->contentOffset().x + (left ? -width : width);
    if (left ? x < 0 : x > scrollView_->contentSize().width - width) return;
    scrollView_->setContentOffset(CGPointMake(x, 0), true);
    updatePagerWithContentOffset(CGPointMake(x, 0));
    dragOrigin_.x += left ? width : -width;
    positionOrigin_ = -1;
    springing_ = true;
    Weak<DZLauncherView> weak(this);
    NSTimer::scheduledTimerWithTimeInterval(kSpringPause, false, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->springing_ = false;
    });
}

// ---- editing ----------------------------------------------------------------------------------

void DZLauncherView::wobble() {
    wobbleScheduled_ = false;
    // Off screen the steps stop, so a launcher left editing is not kept alive by its own
    // animations; coming back on screen starts them again.
    if (!editing_ || !buttons_ || !window()) return;
    CGAffineTransform plus = CGAffineTransformMakeRotation(kWobbleRadians);
    CGAffineTransform minus = CGAffineTransformMakeRotation(-kWobbleRadians);
    auto dragged = dragButton_.lock();
    // One animation turns every icon; its end starts the next step.
    UIView::beginAnimations(nullptr, nullptr);
    NSInteger index = 0, counted = 0;
    for (NSObject* page : *buttons_)
        for (NSObject* object : *static_cast<NSArray*>(page)) {
            auto button = static_cast<DZLauncherButton*>(object);
            if (button != dragged.get()) {
                ++counted;
                bool even = index % 2 == 0;
                button->setTransform(even == wobbleLeft ? plus : minus);
            }
            ++index;
        }
    wobbleScheduled_ = true;
    // With animations off an animation ends at once; a chain of those would never yield.
    if (counted > 0 && UIView::areAnimationsEnabled()) {
        UIView::setAnimationDuration(kWobbleTime);
        UIView::setAnimationDelegate(this);
        UIView::setAnimationDidStopSelector(Selector::named("wobble"));
    } else {
        NSObject::cancelPreviousPerformRequestsWithTarget(this);
        performSelector(Selector::named("wobble"), nullptr, kWobbleTime);
    }
    if (counted > 0) wobbleLeft = !wobbleLeft;
    UIView::commitAnimations();
}

void DZLauncherView::didMoveToWindow() {
    if (window() && editing_ && !wobbleScheduled_) wobble();
}

void DZLauncherView::beginEditing() {
    if (!buttons_) recreateButtons();
    editing_ = true;
    scrollView_->setDelaysContentTouches(true);
    if (auto prompt = scrollView_->viewWithTag(kPromptTag)) prompt->removeFromSuperview();
    for (NSObject* page : *buttons_)
        for (NSObject* object : *static_cast<NSArray*>(page)) {
            auto button = static_cast<DZLauncherButton*>(object);
            button->setEditing(true);
            if (auto close = button->closeButton())
                close->addTarget(this, Selector::named("closeButtonTouchedUpInside:"),
                                 UIControlEventTouchUpInside);
        }
    pages_->addObject(NSMutableArray::array());
    buttons_->addObject(NSMutableArray::array());
    updateContentSize(countOf(pages_));
    if (!wobbleScheduled_) wobble();
    tell("launcherViewDidBeginEditing:",
         [&](DZLauncherViewDelegate* d) { d->launcherViewDidBeginEditing(this); });
}

void DZLauncherView::endEditing() {
    editing_ = false;
    scrollView_->setDelaysContentTouches(false);
    if (!buttons_) return;
    Ref<NSArray> all = buttons_->copy();
    UIView::animateWithDuration(
        kTransition,
        [all] {
            for (NSObject* page : *all)
                for (NSObject* object : *static_cast<NSArray*>(page)) {
                    auto button = static_cast<DZLauncherButton*>(object);
                    button->setTransform(CGAffineTransformIdentity);
                    if (auto close = button->closeButton()) close->setAlpha(0);
                }
        },
        [all, weak = Weak<DZLauncherView>(this)](bool) {
            auto self = weak.lock();
            if (self && self->editing_) return;  // editing began again meanwhile
            for (NSObject* page : *all)
                for (NSObject* object : *static_cast<NSArray*>(page))
                    static_cast<DZLauncherButton*>(object)->setEditing(false);
        });
    for (NSInteger i = 0; i < countOf(pages_); ++i) {
        if (countOf(pageAt(pages_, i)) == 0) {
            pages_->removeObjectAtIndex(static_cast<NSUInteger>(i));
            if (i < countOf(buttons_)) buttons_->removeObjectAtIndex(static_cast<NSUInteger>(i));
            --i;
        }
    }
    layoutButtons();
    tell("launcherViewDidEndEditing:",
         [&](DZLauncherViewDelegate* d) { d->launcherViewDidEndEditing(this); });
}

// ---- highlight --------------------------------------------------------------------------------

void DZLauncherView::beginHighlightItem(DZLauncherItem* item, NSString* text) {
    auto window = this->window();
    if (!window) return;
    if (!highlightView_) {
        highlightView_ =
            make<DZLauncherHighlightView>(&DZLauncherHighlightView::initWithFrame, CGRectZero);
        highlightView_->setParentView(this);
        window->addSubview(highlightView_);
    }
    highlightView_->setText(text);
    if (auto button = buttonForItem(item)) {
        CGRect r = scrollView_->convertRect(button->frame(), window);
        highlightView_->setHighlightRect(DZRectInsetByEdges(r, UIEdgeInsetsMake(8, 2, -4, 2)));
    }
    highlightView_->setNeedsDisplay();
    highlightView_->appear(true);
}

void DZLauncherView::endHighlightItem(DZLauncherItem*) {
    auto view = highlightView_;
    if (!view) return;
    Weak<DZLauncherView> weak(this);
    UIView::animateWithDuration(
        kFastTransition, [view] { view->setAlpha(0); },
        [weak, view](bool) {
            view->removeFromSuperview();
            if (auto self = weak.lock())
                if (self->highlightView_ == view) self->highlightView_ = nullptr;
        });
}
