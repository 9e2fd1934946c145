#include "UIKit/UITableViewCell.h"

#include <algorithm>
#include <cmath>
#include <functional>

#include "CoreGraphics/CGContext.h"

#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UITableView.h"

namespace {
constexpr CGFloat kMargin = 10;
constexpr CGFloat kEditControlWidth = 32;
constexpr CGFloat kDeleteButtonWidth = 63;
constexpr CGFloat kValue2TextWidth = 67;

// The room an accessory takes at the row's right edge.
CGFloat accessoryRoom(UIView* custom, UITableViewCellAccessoryType type) {
    if (custom) return custom->frame().size.width + 2 * kMargin;
    switch (type) {
        case UITableViewCellAccessoryDisclosureIndicator:
        case UITableViewCellAccessoryCheckmark:
            return 30;
        case UITableViewCellAccessoryDetailDisclosureButton:
            return 43;
        default:
            return 0;
    }
}

bool sameFrame(CGRect a, CGRect b) {
    constexpr CGFloat e = 0.01f;
    return std::abs(a.origin.x - b.origin.x) < e && std::abs(a.origin.y - b.origin.y) < e &&
           std::abs(a.size.width - b.size.width) < e && std::abs(a.size.height - b.size.height) < e;
}

// The red minus (delete) or green plus (insert) disc an editing row shows at its left; the
// minus stands upright while the row's delete button shows.
class UITableViewCellEditControl : public UIView {
    NS_OBJECT(UITableViewCellEditControl, UIView)
public:
    bool insert = false;
    bool turned = false;
    void drawRect(CGRect) override {
        auto ctx = UIGraphicsGetCurrentContext();
        CGFloat x = 16, y = CGRectGetMidY(bounds());
        auto disc = [ctx](CGFloat cx, CGFloat cy, CGFloat r) {
            CGContextFillEllipseInRect(ctx, CGRectMake(cx - r, cy - r, 2 * r, 2 * r));
        };
        CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
        disc(x, y, 10);
        if (insert)
            CGContextSetRGBFillColor(ctx, 0.2f, 0.7f, 0.25f, 1);
        else
            CGContextSetRGBFillColor(ctx, 0.9f, 0.15f, 0.15f, 1);
        disc(x, y, 8.5f);
        CGContextSetRGBFillColor(ctx, 1, 1, 1, 1);
        if (!turned) CGContextFillRect(ctx, CGRectMake(x - 5, y - 1.25f, 10, 2.5f));
        if (insert || turned) CGContextFillRect(ctx, CGRectMake(x - 1.25f, y - 5, 2.5f, 10));
    }
};

// A label of the cell's content: see-through, white on a highlighted row; the style does the
// rest.
Ref<UILabel> makeContentLabel() {
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
    label->setBackgroundColor(UIColor::clearColor());
    label->setHighlightedTextColor(UIColor::whiteColor());
    return label;
}
}  // namespace

void UITableViewCell::describeClass(RuntimeClass& c) {
    c.method("deleteButtonPressed:", &UITableViewCell::deleteButtonPressed);
}

bool UITableViewCell::initWithStyle(UITableViewCellStyle style, NSString* reuseIdentifier) {
    if (!UIView::initWithFrame(CGRectMake(0, 0, 320, 44))) return false;
    style_ = style;
    reuseIdentifier_ = reuseIdentifier ? reuseIdentifier->copy() : nullptr;
    contentView_ = make<UIView>(&UIView::initWithFrame, bounds());
    contentView_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                      UIViewAutoresizingFlexibleHeight);
    contentView_->setBackgroundColor(UIColor::clearColor());
    addSubview(contentView_);
    setBackgroundColor(UIColor::whiteColor());
    return true;
}

bool UITableViewCell::initWithFrame(CGRect frame, NSString* reuseIdentifier) {
    if (!initWithStyle(UITableViewCellStyleDefault, reuseIdentifier)) return false;
    setFrame(frame);
    return true;
}

bool UITableViewCell::initWithFrame(CGRect frame) {
    return initWithFrame(frame, nullptr);
}

void UITableViewCell::prepareForReuse() {
    fading_ = 0;
    setSelected(false, false);
    setHighlighted(false, false);
    setShowingDeleteConfirmation(false, nullptr);
}

// ---- content ------------------------------------------------------------------------------

Ref<UILabel> UITableViewCell::textLabel() {
    if (!textLabel_) {
        textLabel_ = makeContentLabel();
        switch (style_) {
            case UITableViewCellStyleValue2:
                textLabel_->setFont(UIFont::boldSystemFontOfSize(12));
                textLabel_->setTextAlignment(UITextAlignmentRight);
                textLabel_->setTextColor(
                    UIColor::colorWithRed(81 / 255.0f, 102 / 255.0f, 145 / 255.0f, 1));
                break;
            case UITableViewCellStyleSubtitle:
                textLabel_->setFont(UIFont::boldSystemFontOfSize(18));
                break;
            case UITableViewCellStyleValue1:
                textLabel_->setFont(UIFont::boldSystemFontOfSize(17));
                break;
            default:
                textLabel_->setFont(UIFont::boldSystemFontOfSize(20));
                break;
        }
        contentView_->addSubview(textLabel_);
        setNeedsLayout();
    }
    return textLabel_;
}

Ref<UILabel> UITableViewCell::detailTextLabel() {
    if (style_ == UITableViewCellStyleDefault) return nullptr;
    if (!detailTextLabel_) {
        detailTextLabel_ = makeContentLabel();
        switch (style_) {
            case UITableViewCellStyleValue1:
                detailTextLabel_->setFont(UIFont::systemFontOfSize(17));
                detailTextLabel_->setTextAlignment(UITextAlignmentRight);
                detailTextLabel_->setTextColor(
                    UIColor::colorWithRed(56 / 255.0f, 84 / 255.0f, 135 / 255.0f, 1));
                break;
            case UITableViewCellStyleValue2:
                detailTextLabel_->setFont(UIFont::boldSystemFontOfSize(15));
                break;
            default:
                detailTextLabel_->setFont(UIFont::systemFontOfSize(14));
                detailTextLabel_->setTextColor(UIColor::grayColor());
                break;
        }
        contentView_->addSubview(detailTextLabel_);
        setNeedsLayout();
    }
    return detailTextLabel_;
}

Ref<UIImageView> UITableViewCell::imageView() {
    if (!imageView_) {
        imageView_ = make<UIImageView>(&UIImageView::initWithFrame, CGRectZero);
        contentView_->insertSubview(imageView_, 0);
        setNeedsLayout();
    }
    return imageView_;
}

Ref<NSString> UITableViewCell::text() {
    return textLabel()->text();
}

void UITableViewCell::setText(NSString* text) {
    textLabel()->setText(text);
}

void UITableViewCell::setBackgroundView(UIView* view) {
    if (backgroundView_.get() == view) return;
    if (backgroundView_) {
        if (hidBackgroundView_) backgroundView_->setHidden(false);
        backgroundView_->removeFromSuperview();
    }
    hidBackgroundView_ = false;
    backgroundView_ = view;
    if (view) {
        view->setFrame(bounds());
        view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
        insertSubview(view, 0);
    }
    updateHighlight();
}

void UITableViewCell::setSelectedBackgroundView(UIView* view) {
    if (selectedBackgroundView_.get() == view) return;
    if (selectedBackgroundView_) selectedBackgroundView_->removeFromSuperview();
    selectedBackgroundView_ = view;
    updateHighlight();
}

// ---- accessories ------------------------------------------------------------------------------

void UITableViewCell::setAccessoryType(UITableViewCellAccessoryType type) {
    accessoryType_ = type;
    setNeedsLayout();
}

void UITableViewCell::setAccessoryView(UIView* view) {
    if (accessoryView_.get() == view) return;
    if (accessoryView_) accessoryView_->removeFromSuperview();
    accessoryView_ = view;
    if (view && !editing_) addSubview(view);
    setNeedsLayout();
}

void UITableViewCell::setEditingAccessoryView(UIView* view) {
    if (editingAccessoryView_.get() == view) return;
    if (editingAccessoryView_) editingAccessoryView_->removeFromSuperview();
    editingAccessoryView_ = view;
    if (view && editing_) addSubview(view);
    setNeedsLayout();
}

UITableViewCellAccessoryType UITableViewCell::currentAccessoryType() {
    return editing_ ? editingAccessoryType_ : accessoryType_;
}

CGFloat UITableViewCell::accessoryWidth() {
    if (showingDeleteConfirmation_) return 0;
    return accessoryRoom(editing_ ? editingAccessoryView_.get() : accessoryView_.get(),
                         currentAccessoryType());
}

CGRect UITableViewCell::accessoryButtonRect() {
    if (currentAccessoryType() != UITableViewCellAccessoryDetailDisclosureButton ||
        (editing_ ? editingAccessoryView_ : accessoryView_))
        return CGRectNull;
    CGFloat room = accessoryWidth();
    if (room <= 0) return CGRectNull;
    CGRect b = bounds();
    return CGRectMake(CGRectGetMaxX(b) - room, b.origin.y, room, b.size.height);
}

CGRect UITableViewCell::editingControlRect() {
    layoutIfNeeded();
    if (!editControl_ || editControl_->superview().get() != this) return CGRectNull;
    return editControl_->frame();
}

// ---- states ---------------------------------------------------------------------------------

void UITableViewCell::setSelected(bool selected, bool animated) {
    bool leaving = selected_ && !selected;
    selected_ = selected;
    if (leaving && animated && selectionStyle_ != UITableViewCellSelectionStyleNone) {
        // The selection fades out over the fade's time; the row is deselected at once.
        ++fading_;
        Weak<UITableViewCell> weak(this);
        NSTimer::scheduledTimerWithTimeInterval(kDeselectionFade, false, [weak](NSTimer*) {
            auto cell = weak.lock();
            if (!cell || cell->fading_ == 0) return;
            --cell->fading_;
            cell->updateHighlight();
        });
    } else if (selected) {
        fading_ = 0;
    }
    updateHighlight();
}

void UITableViewCell::setHighlighted(bool highlighted, bool) {
    highlighted_ = highlighted;
    updateHighlight();
}

bool UITableViewCell::showsStandardSelection() {
    return (selected_ || highlighted_ || fading_ > 0) &&
           selectionStyle_ != UITableViewCellSelectionStyleNone && !selectedBackgroundView_;
}

void UITableViewCell::clearContentBackgrounds(bool clear) {
    if (!clear) {
        for (auto& c : clearedBackgrounds_)
            if (auto v = c.view.lock()) v->setBackgroundColor(c.color);
        clearedBackgrounds_.clear();
        return;
    }
    if (!clearedBackgrounds_.empty()) return;
    std::function<void(UIView*)> walk = [&](UIView* view) {
        for (auto& sub : std::vector<Ref<UIView>>(view->subviewList())) {
            auto color = sub->backgroundColor();
            if (color && CGColorGetAlpha(color->CGColor()) > 0) {
                clearedBackgrounds_.push_back({sub.get(), color});
                sub->setBackgroundColor(UIColor::clearColor());
            }
            walk(sub);
        }
    };
    walk(contentView_.get());
}

void UITableViewCell::updateHighlight() {
    bool on = (selected_ || highlighted_ || fading_ > 0) &&
              selectionStyle_ != UITableViewCellSelectionStyleNone;
    clearContentBackgrounds(on);
    // The phone's selection is drawn by the cell itself, over its background view's place.
    bool standard = showsStandardSelection();
    if (backgroundView_ && standard != hidBackgroundView_) {
        if (standard && !backgroundView_->isHidden()) {
            backgroundView_->setHidden(true);
            hidBackgroundView_ = true;
        } else if (!standard && hidBackgroundView_) {
            backgroundView_->setHidden(false);
            hidBackgroundView_ = false;
        }
    }
    setNeedsDisplay();
    if (textLabel_) textLabel_->setHighlighted(on);
    if (detailTextLabel_) detailTextLabel_->setHighlighted(on);
    if (imageView_) imageView_->setHighlighted(on);
    if (selectedBackgroundView_) {
        if (on && !selectedBackgroundView_->superview()) {
            selectedBackgroundView_->setFrame(bounds());
            insertSubview(selectedBackgroundView_, backgroundView_ ? 1 : 0);
        } else if (!on) {
            selectedBackgroundView_->removeFromSuperview();
        }
    }
}

void UITableViewCell::setEditing(bool editing, bool) {
    if (editing_ == editing) return;
    UITableViewCellStateMask mask =
        editing ? UITableViewCellStateShowingEditControlMask : UITableViewCellStateDefaultMask;
    willTransitionToState(mask);
    editing_ = editing;
    // The editing accessory takes the plain one's place.
    if (accessoryView_) {
        if (editing)
            accessoryView_->removeFromSuperview();
        else
            addSubview(accessoryView_);
    }
    if (editingAccessoryView_) {
        if (editing)
            addSubview(editingAccessoryView_);
        else
            editingAccessoryView_->removeFromSuperview();
    }
    setNeedsLayout();
    layoutIfNeeded();
    didTransitionToState(mask);
}

void UITableViewCell::setShowingDeleteConfirmation(bool showing, NSString* title) {
    if (showing == showingDeleteConfirmation_) return;
    UITableViewCellStateMask mask = showing ? UITableViewCellStateShowingDeleteConfirmationMask
                                            : UITableViewCellStateDefaultMask;
    if (editing_) mask |= UITableViewCellStateShowingEditControlMask;
    willTransitionToState(mask);
    showingDeleteConfirmation_ = showing;
    if (showing) {
        deleteTitle_ = title ? title : NS("Delete");
        // Its rounded red face is the renderer's.
        deleteButton_ = UIButton::buttonWithType(UIButtonTypeCustom);
        deleteButton_->setTitle(deleteTitle_, UIControlStateNormal);
        deleteButton_->titleLabel()->setFont(UIFont::boldSystemFontOfSize(14));
        deleteButton_->addTarget(this, Selector::named("deleteButtonPressed:"),
                                 UIControlEventTouchUpInside);
        addSubview(deleteButton_);
    } else {
        deleteTitle_ = nullptr;
        if (deleteButton_) deleteButton_->removeFromSuperview();
        deleteButton_ = nullptr;
    }
    setNeedsLayout();
    layoutIfNeeded();
    didTransitionToState(mask);
}

void UITableViewCell::deleteButtonPressed(NSObject*) {
    for (auto v = superview(); v; v = v->superview()) {
        if (auto table = as<UITableView>(v)) {
            table->confirmDeleteConfirmation();
            return;
        }
    }
}

void UITableViewCell::setIndentationLevel(NSInteger level) {
    indentationLevel_ = level;
    setNeedsLayout();
}

void UITableViewCell::setIndentationWidth(CGFloat width) {
    indentationWidth_ = width;
    setNeedsLayout();
}

// ---- layout ----------------------------------------------------------------------------------

void UITableViewCell::shiftOwnViews(CGFloat shift) {
    std::vector<ShiftedView> kept;
    for (auto& sub : std::vector<Ref<UIView>>(subviewList())) {
        UIView* v = sub.get();
        if (v == contentView_.get() || v == backgroundView_.get() ||
            v == selectedBackgroundView_.get() || v == accessoryView_.get() ||
            v == editingAccessoryView_.get() || v == deleteButton_.get() || v == editControl_.get())
            continue;
        auto it = std::find_if(shifted_.begin(), shifted_.end(),
                               [v](ShiftedView& s) { return s.view.lock().get() == v; });
        CGRect base = v->frame();
        // Unless the app has placed it anew since, it stands where the cell moved it (give or
        // take the rounding of a frame kept as centre and bounds).
        if (it != shifted_.end() && sameFrame(base, it->placed))
            base = CGRectOffset(base, -it->shift, 0);
        if (shift == 0 && it == shifted_.end()) continue;
        CGRect placed = CGRectOffset(base, shift, 0);
        if (!sameFrame(placed, v->frame())) v->setFrame(placed);
        if (shift != 0) kept.push_back({sub.get(), placed, shift});
    }
    shifted_ = std::move(kept);
}

void UITableViewCell::layoutSubviews() {
    CGRect b = bounds();
    // The delete button an editing row's minus shows leaves the row where it is.
    bool indent =
        editing_ && shouldIndentWhileEditing_ && editingStyle_ != UITableViewCellEditingStyleNone;
    CGFloat left = indent ? kEditControlWidth : 0;
    CGFloat accessory = accessoryWidth();
    // An indented row's content moves right to make room for the edit control; it keeps the
    // room of the row's plain accessory, so that what it lays against its right edge (with a
    // flexible left margin) stays where it was instead of passing the row's edge.
    if (indent)
        accessory = std::max(accessory, accessoryRoom(accessoryView_.get(), accessoryType_));
    CGFloat deleteWidth = showingDeleteConfirmation_ ? kDeleteButtonWidth + kMargin : 0;
    CGFloat contentWidth = std::max<CGFloat>(0, b.size.width - left - accessory - deleteWidth);
    contentView_->setFrame(CGRectMake(left, 0, contentWidth, b.size.height));
    if (backgroundView_) backgroundView_->setFrame(b);
    if (selectedBackgroundView_) selectedBackgroundView_->setFrame(b);
    shiftOwnViews(left);
    if (indent) {
        if (!editControl_) {
            auto control = make<UITableViewCellEditControl>(&UIView::initWithFrame, CGRectZero);
            control->setOpaque(false);
            control->setBackgroundColor(UIColor::clearColor());
            // The table handles the control's touches by where they fall in the row.
            control->setUserInteractionEnabled(false);
            editControl_ = control;
        }
        auto control = cast<UITableViewCellEditControl>(editControl_);
        control->insert = editingStyle_ == UITableViewCellEditingStyleInsert;
        control->turned = showingDeleteConfirmation_ && !control->insert;
        editControl_->setFrame(CGRectMake(0, 0, kEditControlWidth, b.size.height));
        editControl_->setNeedsDisplay();
        if (editControl_->superview().get() != this)
            addSubview(editControl_);
        else
            bringSubviewToFront(editControl_);
    } else if (editControl_) {
        editControl_->removeFromSuperview();
        editControl_ = nullptr;
    }

    Ref<UIView> custom = editing_ ? editingAccessoryView_ : accessoryView_;
    if (custom && !showingDeleteConfirmation_) {
        CGSize size = custom->frame().size;
        custom->setFrame(CGRectMake(b.size.width - kMargin - size.width,
                                    (b.size.height - size.height) / 2, size.width, size.height));
    }
    if (deleteButton_) {
        deleteButton_->setFrame(CGRectMake(b.size.width - kMargin - kDeleteButtonWidth,
                                           (b.size.height - 30) / 2, kDeleteButtonWidth, 30));
    }

    CGFloat h = b.size.height;
    CGFloat x = kMargin + static_cast<CGFloat>(indentationLevel_) * indentationWidth_;
    if (imageView_ && imageView_->image()) {
        CGSize size = imageView_->image()->size();
        CGFloat ih = std::min(size.height, h);
        CGFloat iw = size.height > 0 ? size.width * ih / size.height : size.width;
        imageView_->setFrame(CGRectMake(x, (h - ih) / 2, iw, ih));
        x += iw + kMargin;
    } else if (imageView_) {
        imageView_->setFrame(CGRectZero);
    }
    CGFloat width = std::max<CGFloat>(0, contentWidth - x - kMargin);
    switch (style_) {
        case UITableViewCellStyleDefault:
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, width, h));
            break;
        case UITableViewCellStyleSubtitle: {
            CGFloat inner = std::max<CGFloat>(0, h - 8);
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 4, width, inner * 0.55f));
            if (detailTextLabel_) {
                detailTextLabel_->setFrame(CGRectMake(x, 4 + inner * 0.55f, width, inner * 0.45f));
            }
            break;
        }
        case UITableViewCellStyleValue1:
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, width * 0.55f, h));
            if (detailTextLabel_) {
                detailTextLabel_->setFrame(CGRectMake(x + width * 0.55f, 0, width * 0.45f, h));
            }
            break;
        case UITableViewCellStyleValue2: {
            if (textLabel_) textLabel_->setFrame(CGRectMake(x, 0, kValue2TextWidth, h));
            CGFloat dx = x + kValue2TextWidth + 6;
            if (detailTextLabel_) {
                detailTextLabel_->setFrame(
                    CGRectMake(dx, 0, std::max<CGFloat>(0, contentWidth - dx - kMargin), h));
            }
            break;
        }
    }
}
