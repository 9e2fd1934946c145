#include "ui/table/DZLauncherItem.h"

#include <algorithm>
#include <cmath>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZLabel.h"
#include "ui/table/DZLauncherView.h"

// ---- DZLauncherItem ----------------------------------------------------------------------------

Ref<DZLauncherView> DZLauncherItem::launcher() {
    return launcher_.lock();
}

void DZLauncherItem::setLauncher(DZLauncherView* launcher) {
    launcher_ = launcher;
}

bool DZLauncherItem::initWithTitle(NSString* title, NSString* image, NSString* URL) {
    return initWithTitle(title, image, URL, false);
}

bool DZLauncherItem::initWithTitle(NSString* title, NSString* image, NSString* URL,
                                   bool canDelete) {
    if (!init()) return false;
    canDelete_ = canDelete;
    title_ = title ? title->copy() : nullptr;
    image_ = image ? image->copy() : nullptr;
    URL_ = URL ? URL->copy() : nullptr;
    return true;
}

bool DZLauncherItem::initWithCoder(NSCoder* coder) {
    if (!init()) return false;
    title_ = as<NSString>(coder->decodeObjectForKey(NS("title")));
    image_ = as<NSString>(coder->decodeObjectForKey(NS("image")));
    URL_ = as<NSString>(coder->decodeObjectForKey(NS("URL")));
    style_ = as<NSString>(coder->decodeObjectForKey(NS("style")));
    canDelete_ = coder->decodeBoolForKey(NS("canDelete"));
    return true;
}

void DZLauncherItem::encodeWithCoder(NSCoder* coder) {
    if (title_) coder->encodeObject(title_, NS("title"));
    if (image_) coder->encodeObject(image_, NS("image"));
    if (URL_) coder->encodeObject(URL_, NS("URL"));
    if (style_) coder->encodeObject(style_, NS("style"));
    coder->encodeBool(canDelete_, NS("canDelete"));
}

void DZLauncherItem::setStyle(NSString* style) {
    style_ = style ? style->copy() : nullptr;
}

void DZLauncherItem::setBadgeNumber(NSInteger number) {
    badgeNumber_ = number;
    if (auto launcher = launcher_.lock()) launcher->updateItemBadge(this);
}

// ---- DZLauncherButton --------------------------------------------------------------------------

bool DZLauncherButton::initWithFrame(CGRect frame) {
    if (!DZButton::initWithFrame(frame)) return false;
    setIsVertical(true);
    return true;
}

bool DZLauncherButton::initWithItem(DZLauncherItem* item) {
    if (!init()) return false;
    item_ = item;
    Ref<NSString> title;
    if (item->title())
        title = NSBundle::mainBundle()->localizedStringForKey(item->title(), nullptr, nullptr);
    setTitle(title, UIControlStateNormal);
    setImage(item->image(), UIControlStateNormal);
    Ref<NSString> style = item->style() ? item->style() : Ref<NSString>(NS("launcherButton:"));
    setStylesWithSelector(style);
    updateBadge();
    return true;
}

Ref<DZButton> DZLauncherButton::closeButton() {
    if (!closeButton_ && item_ && item_->canDelete()) {
        closeButton_ = DZButton::buttonWithStyle(NS("launcherCloseButton:"));
        closeButton_->setImage(NS("bundle://Dodiz20.bundle/images/closeButton.png"),
                               UIControlStateNormal);
        CGRect f = closeButton_->frame();
        f.size = CGSizeMake(26, 29);
        closeButton_->setFrame(f);
        closeButton_->setIsVertical(true);
    }
    return closeButton_;
}

void DZLauncherButton::setEditing(bool editing) {
    if (editing == editing_) return;
    editing_ = editing;
    if (editing) {
        if (auto close = closeButton()) addSubview(close);
        setNeedsLayout();
    } else if (closeButton_) {
        closeButton_->removeFromSuperview();
        closeButton_ = nullptr;
    }
}

void DZLauncherButton::setDragging(bool dragging) {
    if (dragging == dragging_) return;
    dragging_ = dragging;
    if (dragging) {
        setTransform(CGAffineTransformMakeScale(kDragScale, kDragScale));
        setAlpha(kDragAlpha);
    } else {
        setTransform(CGAffineTransformIdentity);
        setAlpha(1);
    }
}

bool DZLauncherButton::isHighlighted() {
    return !dragging_ && DZButton::isHighlighted();
}

bool DZLauncherButton::isSelected() {
    return !dragging_ && DZButton::isSelected();
}

void DZLauncherButton::updateBadge() {
    NSInteger number = item_ ? item_->badgeNumber() : 0;
    if (!badge_ && number != 0) {
        badge_ = make<DZLabel>(&DZLabel::initWithFrame, CGRectZero);
        badge_->setStyle(DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("largeBadge")));
        badge_->setBackgroundColor(UIColor::clearColor());
        badge_->setUserInteractionEnabled(false);
        addSubview(badge_);
    }
    if (!badge_) return;
    if (number >= 1) {
        badge_->setText(number <= 99
                            ? NSString::stringWithFormat(NS("%d"), static_cast<int>(number))
                            : NSString::stringWithFormat(NS("%d+"), 99));
    }
    badge_->setHidden(number < 1);
    badge_->sizeToFit();
    setNeedsLayout();
}

void DZLauncherButton::touchesBegan(NSSet* touches, UIEvent* event) {
    Ref<DZLauncherButton> self(this);
    DZButton::touchesBegan(touches, event);
    if (auto next = nextResponder()) next->touchesBegan(touches, event);
}

void DZLauncherButton::touchesMoved(NSSet* touches, UIEvent* event) {
    Ref<DZLauncherButton> self(this);
    DZButton::touchesMoved(touches, event);
    if (auto next = nextResponder()) next->touchesMoved(touches, event);
}

void DZLauncherButton::touchesEnded(NSSet* touches, UIEvent* event) {
    Ref<DZLauncherButton> self(this);
    DZButton::touchesEnded(touches, event);
    if (auto next = nextResponder()) next->touchesEnded(touches, event);
}

void DZLauncherButton::touchesCancelled(NSSet* touches, UIEvent* event) {
    Ref<DZLauncherButton> self(this);
    DZButton::touchesCancelled(touches, event);
    if (auto next = nextResponder()) next->touchesCancelled(touches, event);
}

void DZLauncherButton::layoutSubviews() {
    DZButton::layoutSubviews();
    if (!badge_ && !closeButton_) return;
    CGRect r = rectForImage();
    if (badge_) {
        CGRect b = badge_->frame();
        b.origin = CGPointMake(r.origin.x + r.size.width - std::floor(b.size.width * 0.7f),
                               r.origin.y - std::floor(b.size.height * 0.25f));
        badge_->setFrame(b);
    }
    if (closeButton_) {
        CGRect c = closeButton_->frame();
        c.origin = CGPointMake(r.origin.x - std::floor(c.size.width * 0.4f),
                               r.origin.y - std::floor(c.size.height * 0.4f));
        closeButton_->setFrame(c);
    }
}

// ---- DZLauncherHighlightView -------------------------------------------------------------------

void DZLauncherHighlightView::describeClass(RuntimeClass& c) {
    c.method("animateTextIn", &DZLauncherHighlightView::animateTextIn);
}

bool DZLauncherHighlightView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    UIView::setAlpha(0);
    setOpaque(false);
    textLabel_ = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
    textLabel_->setLineBreakMode(UILineBreakModeWordWrap);
    textLabel_->setNumberOfLines(0);
    textLabel_->setBackgroundColor(UIColor::clearColor());
    textLabel_->setTextAlignment(UITextAlignmentCenter);
    textLabel_->setTextColor(UIColor::whiteColor());
    textLabel_->setFont(UIFont::boldSystemFontOfSize(17));
    textLabel_->setShadowColor(UIColor::blackColor());
    textLabel_->setShadowOffset(CGSizeMake(0, 1));
    addSubview(textLabel_);
    statusBarCover_ = make<UIWindow>(&UIWindow::initWithFrame,
                                     UIApplication::sharedApplication()->statusBarFrame());
    statusBarCover_->setBackgroundColor(UIColor::colorWithWhite(0, 0.7f));
    statusBarCover_->setWindowLevel(UIWindowLevelStatusBar);
    statusBarCover_->UIView::setAlpha(0);
    statusBarCover_->setHidden(false);
    return true;
}

void DZLauncherHighlightView::dealloc() {
    if (statusBarCover_) statusBarCover_->setHidden(true);
    textLabel_ = nullptr;
    statusBarCover_ = nullptr;
    parentView_ = nullptr;
    UIView::dealloc();
}

Ref<DZLauncherView> DZLauncherHighlightView::parentView() {
    return parentView_;
}

void DZLauncherHighlightView::setParentView(DZLauncherView* view) {
    parentView_ = view;
}

void DZLauncherHighlightView::setHighlightRect(CGRect rect) {
    highlightRect_ = rect;
    layoutLabel();
}

Ref<NSString> DZLauncherHighlightView::text() {
    return textLabel_->text();
}

void DZLauncherHighlightView::setText(NSString* text) {
    textLabel_->setText(text);
    layoutLabel();
}

void DZLauncherHighlightView::setAlpha(CGFloat alpha) {
    UIView::setAlpha(alpha);
    if (statusBarCover_) statusBarCover_->setAlpha(alpha);
}

void DZLauncherHighlightView::layoutLabel() {
    auto parent = superview();
    CGRect B = parent ? parent->bounds() : CGRectZero;
    CGRect H = highlightRect_;
    CGFloat width = B.size.width - 40;
    CGSize size = textLabel_->text() ? sizeWithFont(textLabel_->text(), textLabel_->font(),
                                                    CGSizeMake(width, B.size.height))
                                     : CGSizeZero;
    CGFloat y = H.origin.y + H.size.height / 2 < B.size.height / 2 ? H.origin.y + H.size.height + 20
                                                                   : H.origin.y - size.height - 20;
    textLabel_->setFrame(CGRectMake(20, y, width, size.height));
}

void DZLauncherHighlightView::appear(bool animated) {
    auto parent = superview();
    CGRect B = parent ? parent->bounds() : CGRectZero;
    CGRect H = highlightRect_;
    setFrame(CGRectMake(-(H.origin.x + H.size.width / 2) * 1.5f,
                        -(H.origin.y + H.size.height / 2) * 1.5f, B.size.width * 2.5f,
                        B.size.height * 2.5f));
    setAlpha(0);
    textLabel_->setAlpha(0);
    auto show = [this, B] {
        setAlpha(1);
        setFrame(B);
        statusBarCover_->setAlpha(1);
    };
    if (animated) {
        Weak<DZLauncherHighlightView> weak(this);
        UIView::animateWithDuration(0.3, 0, UIViewAnimationOptionCurveEaseOut, show, [weak](bool) {
            if (auto self = weak.lock()) self->animateTextIn();
        });
    } else {
        show();
        textLabel_->setAlpha(1);
    }
}

void DZLauncherHighlightView::animateTextIn() {
    textLabel_->setAlpha(0);
    UIView::animateWithDuration(0.2, [this] { textLabel_->setAlpha(1); });
}

void DZLauncherHighlightView::drawRect(CGRect rect) {
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx) return;
    CGRect H = highlightRect_;
    CGContextSetRGBFillColor(ctx, 0, 0, 0, 0.7f);
    CGContextSetBlendMode(ctx, kCGBlendModeOverlay);
    CGContextFillRect(ctx, rect);
    CGContextSetBlendMode(ctx, kCGBlendModeCopy);
    auto space = CGColorSpaceCreateDeviceRGB();
    const CGFloat components[] = {0, 0, 0, 0.43f, 0, 0, 0, 0.7f};
    const CGFloat locations[] = {0, 1};
    auto gradient = CGGradientCreateWithColorComponents(space, components, locations, 2);
    CGPoint centre = CGPointMake(std::floor(H.origin.x + H.size.width / 2),
                                 std::floor(H.origin.y + H.size.height / 2));
    CGFloat radius = std::min(H.size.width, H.size.height) / 2;
    CGContextDrawRadialGradient(ctx, gradient, centre, radius, centre, radius + 120,
                                kCGGradientDrawsAfterEndLocation);
    CGContextSetRGBFillColor(ctx, 0, 0, 0, 0);
    CGContextFillEllipseInRect(ctx, H);
}

bool DZLauncherHighlightView::pointInside(CGPoint point, UIEvent* event) {
    // A nil-event test looks through the overlay to what lies below.
    return event && UIView::pointInside(point, event);
}

void DZLauncherHighlightView::touchesEnded(NSSet* touches, UIEvent* event) {
    Ref<DZLauncherHighlightView> self(this);
    UIView::touchesEnded(touches, event);
    auto touch = static_cast<UITouch*>(touches->anyObject().get());
    auto parent = superview();
    if (touch && parent) {
        CGPoint p = touch->locationInView(parent);
        if (CGRectContainsPoint(highlightRect_, p)) {
            if (auto button = as<DZLauncherButton>(parent->hitTest(p, nullptr)))
                button->sendActionsForControlEvents(UIControlEventTouchUpInside);
        }
    }
    if (auto launcher = parentView_) launcher->endHighlightItem(nullptr);
}
