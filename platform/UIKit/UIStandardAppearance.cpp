#include "UIKit/UIStandardAppearance.h"

#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "CoreGraphics/CGGradient.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIPickerView.h"
#include "UIKit/UIProgressView.h"
#include "UIKit/UISearchBar.h"
#include "UIKit/UISegmentedControl.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UISwitch.h"
#include "UIKit/UITabBar.h"
#include "UIKit/UITableView.h"
#include "UIKit/UITableViewCell.h"
#include "UIKit/UITextField.h"
#include "UIKit/UITextView.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebView.h"

namespace {

struct RGB {
    CGFloat r, g, b, a = 1;
};

// The platform's default bar tint (blue-grey) and its black style.
const RGB kBarTint{0.427f, 0.518f, 0.635f};
const RGB kBlackBar{0.1f, 0.1f, 0.1f};
const RGB kSelectionBlue{0.0f, 0.45f, 0.9f};
const RGB kDestructiveRed{0.86f, 0.15f, 0.13f};
// The smallest size a segment's title shrinks to before it is cut.
constexpr CGFloat kSegmentMinimumFontSize = 9;

RGB rgbOf(UIColor* color, RGB fallback) {
    RGB c = fallback;
    if (color && color->getRed(&c.r, &c.g, &c.b, &c.a)) return c;
    return fallback;
}

RGB mix(RGB a, RGB b, CGFloat t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t,
            a.a + (b.a - a.a) * t};
}

RGB lighter(RGB c, CGFloat t) {
    return mix(c, RGB{1, 1, 1, c.a}, t);
}

RGB darker(RGB c, CGFloat t) {
    return mix(c, RGB{0, 0, 0, c.a}, t);
}

void setFill(CGContextRef ctx, RGB c) {
    CGContextSetRGBFillColor(ctx, c.r, c.g, c.b, c.a);
}

void setStroke(CGContextRef ctx, RGB c) {
    CGContextSetRGBStrokeColor(ctx, c.r, c.g, c.b, c.a);
}

void addRoundedRect(CGContextRef ctx, CGRect r, CGFloat radius) {
    radius = std::min({radius, r.size.width / 2, r.size.height / 2});
    CGFloat x0 = CGRectGetMinX(r), x1 = CGRectGetMaxX(r), y0 = CGRectGetMinY(r),
            y1 = CGRectGetMaxY(r);
    CGContextMoveToPoint(ctx, x0 + radius, y0);
    CGContextAddArcToPoint(ctx, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(ctx, x1, y1, x0, y1, radius);
    CGContextAddArcToPoint(ctx, x0, y1, x0, y0, radius);
    CGContextAddArcToPoint(ctx, x0, y0, x1, y0, radius);
    CGContextClosePath(ctx);
}

// The navigation bar's back button: a rounded rectangle whose left end comes to a point.
void addBackButtonShape(CGContextRef ctx, CGRect r, CGFloat radius) {
    radius = std::min({radius, r.size.width / 2, r.size.height / 2});
    CGFloat x0 = CGRectGetMinX(r), x1 = CGRectGetMaxX(r), y0 = CGRectGetMinY(r),
            y1 = CGRectGetMaxY(r);
    CGFloat arrow = std::min(r.size.height * 0.35f, r.size.width / 2);
    CGContextMoveToPoint(ctx, x0, CGRectGetMidY(r));
    CGContextAddLineToPoint(ctx, x0 + arrow, y0);
    CGContextAddArcToPoint(ctx, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(ctx, x1, y1, x0 + arrow, y1, radius);
    CGContextAddLineToPoint(ctx, x0 + arrow, y1);
    CGContextClosePath(ctx);
}

// A vertical gradient over the rectangle (clipped to the current path when `clipToPath`).
void fillGradient(CGContextRef ctx, CGRect r, RGB top, RGB bottom, bool clipToPath = false) {
    CGContextSaveGState(ctx);
    if (clipToPath)
        CGContextClip(ctx);
    else
        CGContextClipToRect(ctx, r);
    CGFloat comps[8] = {top.r, top.g, top.b, top.a, bottom.r, bottom.g, bottom.b, bottom.a};
    CGFloat locs[2] = {0, 1};
    auto gradient =
        CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), comps, locs, 2);
    CGContextDrawLinearGradient(ctx, gradient, CGPointMake(0, CGRectGetMinY(r)),
                                CGPointMake(0, CGRectGetMaxY(r)), 0);
    CGContextRestoreGState(ctx);
}

void roundedPanel(CGContextRef ctx, CGRect r, CGFloat radius, RGB top, RGB bottom, RGB border,
                  CGFloat borderWidth = 1,
                  void (*addShape)(CGContextRef, CGRect, CGFloat) = addRoundedRect) {
    CGContextBeginPath(ctx);
    addShape(ctx, r, radius);
    fillGradient(ctx, r, top, bottom, true);
    if (borderWidth > 0) {
        CGFloat inset = borderWidth / 2;
        CGContextBeginPath(ctx);
        addShape(ctx, CGRectInset(r, inset, inset), std::max<CGFloat>(0, radius - inset));
        setStroke(ctx, border);
        CGContextSetLineWidth(ctx, borderWidth);
        CGContextStrokePath(ctx);
    }
}

// One line of text centred vertically in the rectangle.
void drawText(NSString* text, CGRect r, UIFont* font, RGB color, UITextAlignment alignment) {
    if (!text || text->length() == 0 || !font) return;
    auto ctx = UIGraphicsGetCurrentContext();
    CGContextSaveGState(ctx);
    setFill(ctx, color);
    CGFloat h = UITextMeasurerCurrent()->lineHeight(font);
    CGRect line =
        CGRectMake(r.origin.x, r.origin.y + std::floor((r.size.height - h) / 2), r.size.width, h);
    ::drawInRect(text, line, font, UILineBreakModeTailTruncation, alignment);
    CGContextRestoreGState(ctx);
}

void drawBar(CGContextRef ctx, CGRect b, UIColor* tint, NSInteger style, bool lineAtBottom) {
    RGB base = style != 0 ? kBlackBar : rgbOf(tint, kBarTint);
    base.a = 1;
    fillGradient(ctx, b, lighter(base, 0.35f), base);
    setFill(ctx, darker(base, 0.45f));
    CGContextFillRect(ctx, lineAtBottom
                               ? CGRectMake(b.origin.x, CGRectGetMaxY(b) - 1, b.size.width, 1)
                               : CGRectMake(b.origin.x, b.origin.y, b.size.width, 1));
}

UIColor* barTint(UIView* bar, NSInteger* style) {
    if (auto nav = dynamic_cast<UINavigationBar*>(bar)) {
        *style = nav->barStyle();
        return nav->tintColor().get();
    }
    if (auto tool = dynamic_cast<UIToolbar*>(bar)) {
        *style = tool->barStyle();
        return tool->tintColor().get();
    }
    if (auto search = dynamic_cast<UISearchBar*>(bar)) {
        *style = search->barStyle();
        return search->tintColor().get();
    }
    return nullptr;
}

bool isBar(UIView* v) {
    return dynamic_cast<UINavigationBar*>(v) || dynamic_cast<UIToolbar*>(v) ||
           dynamic_cast<UISearchBar*>(v);
}

// A button of an alert or an action sheet, by its part there (the panel records which index
// is which): a sheet's destructive button red, its cancel button dark, the others light; an
// alert's buttons glass over its blue, the cancel button the darker. False for other buttons.
bool drawPanelButton(UIButton* button, CGContextRef ctx) {
    auto panel = dynamic_cast<UIButtonPanelView*>(button->superview().get());
    if (!panel) return false;
    CGRect r = CGRectInset(button->bounds(), 0.5f, 0.5f);
    NSInteger index = button->tag();
    bool cancel = index == panel->cancelButtonIndex();
    if (button->isHighlighted()) {
        roundedPanel(ctx, r, 8, lighter(kSelectionBlue, 0.3f), kSelectionBlue,
                     darker(kSelectionBlue, 0.4f));
    } else if (auto sheet = dynamic_cast<UIActionSheet*>(panel)) {
        if (index == sheet->destructiveButtonIndex())
            roundedPanel(ctx, r, 8, kDestructiveRed, darker(kDestructiveRed, 0.3f),
                         darker(kDestructiveRed, 0.6f));
        else if (cancel)
            roundedPanel(ctx, r, 8, RGB{0.3f, 0.3f, 0.32f}, RGB{0.1f, 0.1f, 0.12f},
                         RGB{0.05f, 0.05f, 0.05f});
        else
            roundedPanel(ctx, r, 8, RGB{1, 1, 1}, RGB{0.82f, 0.82f, 0.84f}, RGB{0.1f, 0.1f, 0.12f});
    } else {
        CGFloat glass = cancel ? 0.12f : 0.28f;
        roundedPanel(ctx, r, 8, RGB{1, 1, 1, glass + 0.12f}, RGB{1, 1, 1, glass},
                     RGB{0, 0, 0, 0.6f});
    }
    return true;
}

void drawButtonFace(UIButton* button, CGContextRef ctx) {
    CGRect b = button->bounds();
    auto super = button->superview();
    if (super && isBar(super) && button->buttonType() == UIButtonTypeCustom &&
        !button->currentBackgroundImage() && !button->currentImage()) {
        // A bar button: a bezel a shade darker than its bar.
        NSInteger style = 0;
        UIColor* tint = barTint(super, &style);
        RGB base = style != 0 ? kBlackBar : rgbOf(tint, kBarTint);
        base.a = 1;
        RGB face = button->isHighlighted() ? darker(base, 0.4f) : darker(base, 0.15f);
        auto nav = dynamic_cast<UINavigationBar*>(super.get());
        bool back = nav && nav->backButtonView().get() == button;
        roundedPanel(ctx, CGRectInset(b, 0, 1), 5, lighter(face, 0.1f), face, darker(base, 0.5f), 1,
                     back ? addBackButtonShape : addRoundedRect);
        return;
    }
    if (auto bg = button->currentBackgroundImage()) {
        bg->drawInRect(b);
        return;
    }
    if (auto cell = dynamic_cast<UITableViewCell*>(super.get());
        cell && cell->deleteConfirmationButton().get() == button) {
        // A row's delete button: rounded, red, darker while pressed.
        RGB red = button->isHighlighted() ? darker(kDestructiveRed, 0.25f) : kDestructiveRed;
        roundedPanel(ctx, CGRectInset(b, 0.5f, 0.5f), 6, lighter(red, 0.2f), darker(red, 0.2f),
                     darker(red, 0.5f));
        return;
    }
    if (button->buttonType() == UIButtonTypeRoundedRect && drawPanelButton(button, ctx)) return;
    if (button->buttonType() == UIButtonTypeRoundedRect) {
        RGB top = button->isHighlighted() ? lighter(kSelectionBlue, 0.3f) : RGB{1, 1, 1};
        RGB bottom = button->isHighlighted() ? kSelectionBlue : RGB{1, 1, 1};
        roundedPanel(ctx, CGRectInset(b, 0.5f, 0.5f), 8, top, bottom, RGB{0.6f, 0.6f, 0.6f});
    }
}

void drawButton(UIButton* button, CGContextRef ctx) {
    // A disabled button's face is dimmed with its pictures.
    CGContextSaveGState(ctx);
    CGContextSetAlpha(ctx, button->backgroundImageAlphaForCurrentState());
    drawButtonFace(button, ctx);
    CGContextRestoreGState(ctx);
}

// The insertion point of the input that has the focus.
const RGB kCaretBlue{0.26f, 0.42f, 0.95f};

void drawCaret(CGContextRef ctx, CGRect caret) {
    setFill(ctx, kCaretBlue);
    CGContextFillRect(ctx, caret);
}

void drawTextView(UITextView* view, CGContextRef ctx) {
    auto text = view->text();
    auto font = view->font();
    CGFloat inset = UITextView::kTextInset;
    CGFloat width = std::max<CGFloat>(0, view->contentSize().width - 2 * inset);
    if (text->length() > 0) {
        CGContextSaveGState(ctx);
        setFill(ctx, rgbOf(view->textColor(), RGB{0, 0, 0}));
        // Laid out as the view's own lines are: word-wrapped to its width, every line shown.
        CGFloat height = std::max<CGFloat>(0, view->contentSize().height - 2 * inset);
        ::drawInRect(text, CGRectMake(inset, inset, width, height), font, UILineBreakModeWordWrap,
                     view->textAlignment());
        CGContextRestoreGState(ctx);
    }
    if (view->isFirstResponder() && view->isEditing()) drawCaret(ctx, view->caretRect());
}

void drawTextField(UITextField* field, CGContextRef ctx) {
    CGRect b = field->bounds();
    switch (field->borderStyle()) {
        case UITextBorderStyleRoundedRect:
            roundedPanel(ctx, b, 6, RGB{1, 1, 1}, RGB{1, 1, 1}, RGB{0.55f, 0.55f, 0.55f});
            break;
        case UITextBorderStyleLine:
            setStroke(ctx, RGB{0, 0, 0});
            CGContextSetLineWidth(ctx, 1);
            CGContextStrokeRect(ctx, CGRectInset(b, 0.5f, 0.5f));
            break;
        case UITextBorderStyleBezel:
            setFill(ctx, RGB{1, 1, 1});
            CGContextFillRect(ctx, b);
            setStroke(ctx, RGB{0.45f, 0.45f, 0.45f});
            CGContextSetLineWidth(ctx, 1);
            CGContextStrokeRect(ctx, CGRectInset(b, 0.5f, 0.5f));
            break;
        default:
            break;
    }
    auto text = field->text();
    bool empty = !text || text->length() == 0;
    CGRect r = empty ? field->placeholderRectForBounds(b) : field->textRectForBounds(b);
    RGB color = empty ? RGB{0.7f, 0.7f, 0.7f} : rgbOf(field->textColor(), RGB{0, 0, 0});
    bool editing = field->isFirstResponder() && field->isEditing();
    if (editing && !empty &&
        sizeWithFont(field->displayedText(), field->font()).width > r.size.width) {
        // Typing past the field's width: the text's end shows by the caret, its start cut off.
        auto font = field->font();
        CGFloat w = sizeWithFont(field->displayedText(), font).width;
        CGFloat h = UITextMeasurerCurrent()->lineHeight(font);
        CGContextSaveGState(ctx);
        CGContextClipToRect(ctx, r);
        setFill(ctx, color);
        ::drawAtPoint(
            field->displayedText(),
            CGPointMake(CGRectGetMaxX(r) - w, r.origin.y + std::floor((r.size.height - h) / 2)),
            font);
        CGContextRestoreGState(ctx);
    } else {
        drawText(field->displayedText(), r, field->font(), color, field->textAlignment());
    }
    if (field->clearButtonShows()) {
        // A grey disc with a white cross.
        CGRect c = field->clearButtonRectForBounds(b);
        setFill(ctx, RGB{0.62f, 0.62f, 0.62f});
        CGContextFillEllipseInRect(ctx, c);
        setStroke(ctx, RGB{1, 1, 1});
        CGContextSetLineWidth(ctx, 2);
        CGRect x = CGRectInset(c, 6, 6);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, CGRectGetMinX(x), CGRectGetMinY(x));
        CGContextAddLineToPoint(ctx, CGRectGetMaxX(x), CGRectGetMaxY(x));
        CGContextMoveToPoint(ctx, CGRectGetMaxX(x), CGRectGetMinY(x));
        CGContextAddLineToPoint(ctx, CGRectGetMinX(x), CGRectGetMaxY(x));
        CGContextStrokePath(ctx);
    }
    if (editing) {
        // Typing goes at the end of the text.
        auto font = field->font();
        CGRect t = field->textRectForBounds(b);
        CGFloat h = UITextMeasurerCurrent()->lineHeight(font);
        CGFloat w =
            empty ? 0 : std::min(sizeWithFont(field->displayedText(), font).width, t.size.width);
        CGFloat x = t.origin.x + w;
        if (field->textAlignment() == UITextAlignmentCenter)
            x = t.origin.x + (t.size.width + w) / 2;
        else if (field->textAlignment() == UITextAlignmentRight)
            x = CGRectGetMaxX(t);
        CGFloat top = t.origin.y + std::floor((t.size.height - h) / 2);
        drawCaret(ctx, CGRectMake(std::round(x) - 1, top, 2, h));
    }
}

void drawSwitch(UISwitch* control, CGContextRef ctx) {
    CGRect b = control->bounds();
    bool on = control->isOn();
    RGB face = on ? rgbOf(control->onTintColor(), kSelectionBlue) : RGB{0.93f, 0.93f, 0.93f};
    roundedPanel(ctx, CGRectInset(b, 0.5f, 0.5f), b.size.height / 2, darker(face, 0.1f),
                 lighter(face, 0.15f), RGB{0.55f, 0.55f, 0.55f});
    CGFloat knob = b.size.height;
    CGRect knobRect = CGRectMake(on ? CGRectGetMaxX(b) - knob : b.origin.x, b.origin.y, knob, knob);
    CGRect label =
        on ? CGRectMake(b.origin.x, b.origin.y, b.size.width - knob, b.size.height)
           : CGRectMake(b.origin.x + knob, b.origin.y, b.size.width - knob, b.size.height);
    drawText(on ? NS("ON") : NS("OFF"), label, UIFont::boldSystemFontOfSize(15),
             on ? RGB{1, 1, 1} : RGB{0.45f, 0.45f, 0.45f}, UITextAlignmentCenter);
    roundedPanel(ctx, CGRectInset(knobRect, 0.5f, 0.5f), knob / 2, RGB{0.98f, 0.98f, 0.98f},
                 RGB{0.85f, 0.85f, 0.85f}, RGB{0.6f, 0.6f, 0.6f});
}

void drawSegments(UISegmentedControl* control, CGContextRef ctx) {
    CGRect b = control->bounds();
    NSUInteger n = control->numberOfSegments();
    if (n == 0) return;
    RGB tint = rgbOf(control->tintColor(), kSelectionBlue);
    CGRect outline = CGRectInset(b, 0.5f, 0.5f);
    CGContextBeginPath(ctx);
    addRoundedRect(ctx, outline, 6);
    // The bar style is made for bars: its segments take the tint, with light content on them.
    bool onBar =
        control->segmentedControlStyle() == UISegmentedControlStyleBar && control->tintColor();
    if (onBar)
        fillGradient(ctx, b, lighter(tint, 0.25f), darker(tint, 0.15f), true);
    else
        fillGradient(ctx, b, RGB{1, 1, 1}, RGB{0.88f, 0.88f, 0.88f}, true);
    // Widths: the fixed ones, the rest shared equally.
    CGFloat fixed = 0;
    NSUInteger flexible = 0;
    for (NSUInteger i = 0; i < n; ++i) {
        CGFloat w = control->widthForSegmentAtIndex(i);
        if (w > 0)
            fixed += w;
        else
            ++flexible;
    }
    CGFloat share = flexible ? std::max<CGFloat>(0, b.size.width - fixed) / CGFloat(flexible) : 0;
    auto font = UIFont::boldSystemFontOfSize(13);
    auto widthOf = [&](NSUInteger i) {
        CGFloat w = control->widthForSegmentAtIndex(i);
        return w > 0 ? w : share;
    };
    // One type size for every segment: the largest at which each title fits its segment, so
    // that a long title shrinks the others with it, as the platform's segment labels do.
    CGFloat fitted = font->pointSize();
    for (NSUInteger i = 0; i < n; ++i) {
        if (auto title = control->titleForSegmentAtIndex(i)) {
            CGFloat size = font->pointSize();
            sizeWithFont(title, font, kSegmentMinimumFontSize, &size, widthOf(i) - 6,
                         UILineBreakModeTailTruncation);
            fitted = std::min(fitted, size);
        }
    }
    Ref<UIFont> titleFont = fitted < font->pointSize() ? font->fontWithSize(fitted) : font;
    CGFloat x = b.origin.x;
    for (NSUInteger i = 0; i < n; ++i) {
        CGFloat w = widthOf(i);
        CGRect seg = CGRectMake(x, b.origin.y, w, b.size.height);
        bool selected = control->selectedSegmentIndex() == NSInteger(i);
        if (selected) {
            CGContextSaveGState(ctx);
            CGContextBeginPath(ctx);
            addRoundedRect(ctx, outline, 6);
            CGContextClip(ctx);
            fillGradient(ctx, seg, lighter(tint, 0.3f), tint);
            CGContextRestoreGState(ctx);
        }
        if (i > 0) {
            setFill(ctx, RGB{0.55f, 0.55f, 0.55f});
            CGContextFillRect(ctx, CGRectMake(x, b.origin.y, 1, b.size.height));
        }
        drawText(control->titleForSegmentAtIndex(i), CGRectInset(seg, 3, 0), titleFont,
                 selected || onBar ? RGB{1, 1, 1} : RGB{0.3f, 0.3f, 0.3f}, UITextAlignmentCenter);
        // A pictured segment: its image centred, shrunk to fit, faded while disabled.
        if (auto image = control->imageForSegmentAtIndex(i)) {
            CGRect room = CGRectInset(seg, 4, 3);
            CGSize s = image->size();
            CGFloat k = std::min<CGFloat>({1, room.size.width / std::max<CGFloat>(1, s.width),
                                           room.size.height / std::max<CGFloat>(1, s.height)});
            CGSize d = CGSizeMake(s.width * k, s.height * k);
            CGContextSaveGState(ctx);
            if (!control->isEnabledForSegmentAtIndex(i)) CGContextSetAlpha(ctx, 0.35f);
            image->drawInRect(CGRectMake(CGRectGetMidX(room) - d.width / 2,
                                         CGRectGetMidY(room) - d.height / 2, d.width, d.height));
            CGContextRestoreGState(ctx);
        }
        x += w;
    }
    CGContextBeginPath(ctx);
    addRoundedRect(ctx, outline, 6);
    setStroke(ctx, RGB{0.55f, 0.55f, 0.55f});
    CGContextSetLineWidth(ctx, 1);
    CGContextStrokePath(ctx);
}

// The platform's own icons of the system tab items the app shows: a magnifying glass for
// Search, a star for Favorites (others show their title alone). Selected icons are lit blue.
void drawSystemTabIcon(CGContextRef ctx, UITabBarSystemItem item, CGRect box, bool selected) {
    RGB top = selected ? RGB{0.55f, 0.8f, 1} : RGB{0.62f, 0.62f, 0.62f};
    RGB bottom = selected ? RGB{0.1f, 0.45f, 0.95f} : RGB{0.45f, 0.45f, 0.45f};
    CGFloat x = box.origin.x, y = box.origin.y, s = std::min(box.size.width, box.size.height);
    CGContextBeginPath(ctx);
    if (item == UITabBarSystemItemSearch) {
        // A ring and a handle, as one outline.
        CGFloat r = s * 0.3f, cx = x + s * 0.42f, cy = y + s * 0.42f;
        CGContextAddArc(ctx, cx, cy, r, 0, 2 * static_cast<CGFloat>(M_PI), 0);
        CGContextAddArc(ctx, cx, cy, r * 0.62f, 0, 2 * static_cast<CGFloat>(M_PI), 1);
        CGFloat h = s * 0.09f;
        CGContextMoveToPoint(ctx, cx + r * 0.7f - h, cy + r * 0.7f + h);
        CGContextAddLineToPoint(ctx, cx + r * 0.7f + h, cy + r * 0.7f - h);
        CGContextAddLineToPoint(ctx, x + s * 0.95f, y + s * 0.83f);
        CGContextAddLineToPoint(ctx, x + s * 0.83f, y + s * 0.95f);
        CGContextClosePath(ctx);
    } else if (item == UITabBarSystemItemFavorites) {
        CGFloat cx = x + s / 2, cy = y + s * 0.53f, outer = s * 0.48f, inner = s * 0.2f;
        for (int i = 0; i < 10; ++i) {
            CGFloat radius = i % 2 == 0 ? outer : inner;
            double angle = -M_PI / 2 + i * M_PI / 5;
            CGFloat px = cx + radius * static_cast<CGFloat>(std::cos(angle));
            CGFloat py = cy + radius * static_cast<CGFloat>(std::sin(angle));
            if (i == 0)
                CGContextMoveToPoint(ctx, px, py);
            else
                CGContextAddLineToPoint(ctx, px, py);
        }
        CGContextClosePath(ctx);
    } else {
        return;
    }
    // Even-odd, so that the glass's ring stays open.
    CGContextSaveGState(ctx);
    CGContextEOClip(ctx);
    fillGradient(ctx, box, top, bottom);
    CGContextRestoreGState(ctx);
}

void drawTabBar(UITabBar* bar, CGContextRef ctx) {
    CGRect b = bar->bounds();
    fillGradient(ctx, b, RGB{0.25f, 0.25f, 0.25f}, RGB{0.05f, 0.05f, 0.05f});
    setFill(ctx, RGB{0.35f, 0.35f, 0.35f});
    CGContextFillRect(ctx, CGRectMake(b.origin.x, b.origin.y, b.size.width, 1));
    auto items = bar->items();
    NSUInteger n = items ? items->count() : 0;
    if (n == 0) return;
    auto selected = bar->selectedItem();
    CGFloat w = b.size.width / CGFloat(n);
    auto font = UIFont::boldSystemFontOfSize(10);
    for (NSUInteger i = 0; i < n; ++i) {
        auto item = as<UITabBarItem>(items->objectAtIndex(i));
        if (!item) continue;
        CGRect slot = CGRectMake(b.origin.x + w * CGFloat(i), b.origin.y, w, b.size.height);
        bool isSelected = item.get() == selected.get();
        if (isSelected) {
            CGContextBeginPath(ctx);
            addRoundedRect(ctx, CGRectInset(slot, 2, 2), 3);
            CGContextSetRGBFillColor(ctx, 1, 1, 1, 0.15f);
            CGContextFillPath(ctx);
        }
        if (!item->image() && item->isSystemItem()) {
            drawSystemTabIcon(ctx, item->systemItem(),
                              CGRectMake(CGRectGetMidX(slot) - 15, slot.origin.y + 4, 30, 30),
                              isSelected);
        }
        if (auto image = item->image()) {
            CGSize s = image->size();
            CGFloat k = std::min<CGFloat>(
                {1, 30 / std::max<CGFloat>(1, s.width), 30 / std::max<CGFloat>(1, s.height)});
            CGSize d = CGSizeMake(s.width * k, s.height * k);
            image->drawInRect(CGRectMake(CGRectGetMidX(slot) - d.width / 2,
                                         slot.origin.y + 4 + (30 - d.height) / 2, d.width,
                                         d.height));
        }
        drawText(item->title(),
                 CGRectMake(slot.origin.x + 2, CGRectGetMaxY(slot) - 15, slot.size.width - 4, 13),
                 font, isSelected ? RGB{1, 1, 1} : RGB{0.6f, 0.6f, 0.6f}, UITextAlignmentCenter);
    }
}

// A right-pointing chevron centred on (x, y).
void strokeChevron(CGContextRef ctx, CGFloat x, CGFloat y, CGFloat size, RGB color, CGFloat width) {
    CGContextBeginPath(ctx);
    CGContextMoveToPoint(ctx, x - size / 2, y - size);
    CGContextAddLineToPoint(ctx, x + size / 2, y);
    CGContextAddLineToPoint(ctx, x - size / 2, y + size);
    setStroke(ctx, color);
    CGContextSetLineWidth(ctx, width);
    CGContextSetLineCap(ctx, kCGLineCapSquare);
    CGContextSetLineJoin(ctx, kCGLineJoinMiter);
    CGContextStrokePath(ctx);
}

void fillCircle(CGContextRef ctx, CGFloat x, CGFloat y, CGFloat radius, RGB color) {
    setFill(ctx, color);
    CGContextFillEllipseInRect(ctx, CGRectMake(x - radius, y - radius, 2 * radius, 2 * radius));
}

// The accessory types the cell lays out room for (a custom accessory view draws itself).
void drawCellAccessory(UITableViewCell* cell, CGContextRef ctx) {
    if (cell->showingDeleteConfirmation()) return;
    if (cell->isEditing() ? cell->editingAccessoryView() : cell->accessoryView()) return;
    CGRect b = cell->bounds();
    CGFloat right = CGRectGetMaxX(b), midY = CGRectGetMidY(b);
    // On the selection's colour the marks turn white, as the words do.
    const bool selected = cell->showsStandardSelection();
    const RGB white{1, 1, 1};
    const RGB blue{0.22f, 0.33f, 0.53f};
    switch (cell->currentAccessoryType()) {
        case UITableViewCellAccessoryDisclosureIndicator:
            strokeChevron(ctx, right - 17, midY, 4.5f, selected ? white : RGB{0.5f, 0.5f, 0.5f},
                          2.5f);
            break;
        case UITableViewCellAccessoryCheckmark:
            CGContextBeginPath(ctx);
            CGContextMoveToPoint(ctx, right - 24, midY);
            CGContextAddLineToPoint(ctx, right - 19, midY + 5);
            CGContextAddLineToPoint(ctx, right - 10, midY - 7);
            setStroke(ctx, selected ? white : blue);
            CGContextSetLineWidth(ctx, 3);
            CGContextStrokePath(ctx);
            break;
        case UITableViewCellAccessoryDetailDisclosureButton:
            fillCircle(ctx, right - 21, midY, 11, RGB{0.15f, 0.45f, 0.9f});
            strokeChevron(ctx, right - 20, midY, 3.5f, RGB{1, 1, 1}, 2.5f);
            break;
        default:
            break;
    }
}

// A grouped cell's piece of its section's rounded panel: the top corners rounded on the
// section's first row, the bottom ones on its last, a line between rows.
constexpr CGFloat kGroupedRadius = 9;
const RGB kGroupedBorder{0.67f, 0.67f, 0.69f};

void addGroupedCellShape(CGContextRef ctx, CGRect r, bool first, bool last) {
    CGFloat top = first ? kGroupedRadius : 0, bottom = last ? kGroupedRadius : 0;
    CGFloat x0 = CGRectGetMinX(r), x1 = CGRectGetMaxX(r), y0 = CGRectGetMinY(r),
            y1 = CGRectGetMaxY(r);
    CGContextMoveToPoint(ctx, x0, y0 + top);
    CGContextAddArcToPoint(ctx, x0, y0, x1, y0, top);
    CGContextAddArcToPoint(ctx, x1, y0, x1, y1, top);
    CGContextAddArcToPoint(ctx, x1, y1, x0, y1, bottom);
    CGContextAddArcToPoint(ctx, x0, y1, x0, y0, bottom);
    CGContextClosePath(ctx);
}

// The phone's selection of a row: blue from top to bottom, or grey for the grey style.
void fillSelection(UITableViewCell* cell, CGContextRef ctx, CGRect r, bool clipToPath) {
    if (cell->selectionStyle() == UITableViewCellSelectionStyleGray)
        fillGradient(ctx, r, RGB{0.73f, 0.73f, 0.73f}, RGB{0.55f, 0.55f, 0.55f}, clipToPath);
    else
        fillGradient(ctx, r, RGB{0.02f, 0.55f, 0.96f}, RGB{0.0f, 0.37f, 0.9f}, clipToPath);
}

void drawGroupedCell(UITableViewCell* cell, UITableView* table, CGContextRef ctx) {
    auto path = table->indexPathForCell(cell);
    if (!path) return;
    NSInteger rows = table->numberOfRowsInSection(path->section());
    bool first = path->row() == 0, last = path->row() == rows - 1;
    CGRect b = cell->bounds();
    CGContextBeginPath(ctx);
    addGroupedCellShape(ctx, CGRectInset(b, 0.5f, 0), first, last);
    if (cell->showsStandardSelection()) {
        fillSelection(cell, ctx, b, true);
    } else {
        setFill(ctx, rgbOf(cell->backgroundColor(), RGB{1, 1, 1}));
        CGContextFillPath(ctx);
    }
    // The border: the sides and the rounded ends; between rows a line like a plain table's.
    // Ends that meet the next row lie outside the cell and are clipped away.
    CGFloat top = first ? CGRectGetMinY(b) + 0.5f : CGRectGetMinY(b) - 2;
    CGFloat bottom = last ? CGRectGetMaxY(b) - 0.5f : CGRectGetMaxY(b) + 2;
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, b);
    CGContextBeginPath(ctx);
    addGroupedCellShape(ctx, CGRectMake(b.origin.x + 0.5f, top, b.size.width - 1, bottom - top),
                        first, last);
    setStroke(ctx, kGroupedBorder);
    CGContextSetLineWidth(ctx, 1);
    CGContextStrokePath(ctx);
    CGContextRestoreGState(ctx);
    if (!last && table->separatorStyle() != UITableViewCellSeparatorStyleNone) {
        setFill(ctx, rgbOf(table->separatorColor(), kGroupedBorder));
        CGContextFillRect(ctx,
                          CGRectMake(b.origin.x + 1, CGRectGetMaxY(b) - 1, b.size.width - 2, 1));
    }
}

bool isGroupedCell(UIView* view, UITableView** table) {
    auto cell = dynamic_cast<UITableViewCell*>(view);
    auto super = cell ? view->superview() : nullptr;
    auto t = dynamic_cast<UITableView*>(super.get());
    if (!t || t->style() != UITableViewStyleGrouped || cell->backgroundView()) return false;
    if (table) *table = t;
    return true;
}

void drawCell(UITableViewCell* cell, CGContextRef ctx) {
    UITableView* grouped = nullptr;
    if (isGroupedCell(cell, &grouped))
        drawGroupedCell(cell, grouped, ctx);
    else if (cell->showsStandardSelection())
        fillSelection(cell, ctx, cell->bounds(), false);
    drawCellAccessory(cell, ctx);
    if (grouped) return;
    auto table = as<UITableView>(cell->superview());
    if (!table || table->separatorStyle() == UITableViewCellSeparatorStyleNone) return;
    CGRect b = cell->bounds();
    setFill(ctx, rgbOf(table->separatorColor(), RGB{0.88f, 0.88f, 0.88f}));
    CGContextFillRect(ctx, CGRectMake(b.origin.x, CGRectGetMaxY(b) - 1, b.size.width, 1));
}

void drawTable(UITableView* table, CGContextRef ctx) {
    CGRect b = table->bounds();
    if (table->style() == UITableViewStyleGrouped) {
        // The grouped background's fine vertical stripes.
        auto bg = table->backgroundColor();
        if (!bg || !bg->isEqual(UIColor::groupTableViewBackgroundColor())) return;
        setFill(ctx, lighter(rgbOf(bg, RGB{0.773f, 0.8f, 0.835f}), 0.12f));
        for (CGFloat x = std::floor(b.origin.x / 7) * 7; x < CGRectGetMaxX(b); x += 7)
            CGContextFillRect(ctx, CGRectMake(x, b.origin.y, 3, b.size.height));
        return;
    }
    // Below its last row a plain table goes on with empty rows: its background and row lines
    // down to the bottom of the screen.
    if (table->separatorStyle() == UITableViewCellSeparatorStyleNone || table->tableFooterView())
        return;
    CGFloat pitch = table->rowHeight();
    if (pitch < 4) return;
    CGFloat end = table->contentSize().height;
    setFill(ctx, rgbOf(table->separatorColor(), RGB{0.88f, 0.88f, 0.88f}));
    CGFloat first = std::max(end, end + std::floor((b.origin.y - end) / pitch) * pitch);
    for (CGFloat y = first + pitch; y - 1 < CGRectGetMaxY(b); y += pitch)
        CGContextFillRect(ctx, CGRectMake(b.origin.x, y - 1, b.size.width, 1));
}

void drawPicker(UIPickerView* picker, CGContextRef ctx) {
    CGRect b = picker->bounds();
    fillGradient(ctx, b, RGB{0.55f, 0.56f, 0.6f}, RGB{0.25f, 0.26f, 0.3f});
    NSInteger components = picker->numberOfComponents();
    if (components <= 0) return;
    auto font = UIFont::boldSystemFontOfSize(20);
    for (NSInteger c = 0; c < components; ++c) {
        CGRect wheel = picker->rectForComponent(c);
        fillGradient(ctx, wheel, RGB{0.8f, 0.8f, 0.8f}, RGB{1, 1, 1});
        CGFloat rowH = std::max<CGFloat>(20, picker->rowSizeForComponent(c).height);
        CGContextSaveGState(ctx);
        CGContextClipToRect(ctx, wheel);
        for (NSInteger row = 0; row < picker->numberOfRowsInComponent(c); ++row) {
            CGRect shown = picker->rectForRow(row, c);
            if (CGRectIsNull(shown)) continue;
            // A row cut by the wheel's edge keeps its words where the whole row has them.
            CGFloat y =
                shown.origin.y > wheel.origin.y ? shown.origin.y : CGRectGetMaxY(shown) - rowH;
            drawText(picker->titleForRow(row, c),
                     CGRectMake(wheel.origin.x + 10, y, wheel.size.width - 20, rowH), font,
                     RGB{0, 0, 0}, UITextAlignmentLeft);
        }
        CGContextRestoreGState(ctx);
        // The selection band.
        CGFloat mid = CGRectGetMidY(wheel);
        CGRect band = CGRectMake(wheel.origin.x, mid - rowH / 2, wheel.size.width, rowH);
        CGContextSetRGBFillColor(ctx, 0.55f, 0.6f, 0.8f, 0.35f);
        CGContextFillRect(ctx, band);
        setStroke(ctx, RGB{0.4f, 0.45f, 0.6f});
        CGContextSetLineWidth(ctx, 1);
        CGContextStrokeRect(ctx, CGRectInset(band, 0.5f, 0.5f));
    }
}

void drawProgress(UIProgressView* view, CGContextRef ctx) {
    CGRect b = CGRectInset(view->bounds(), 0.5f, 0.5f);
    roundedPanel(ctx, b, b.size.height / 2, RGB{0.8f, 0.8f, 0.8f}, RGB{0.95f, 0.95f, 0.95f},
                 RGB{0.55f, 0.55f, 0.55f});
    CGFloat p = std::clamp<CGFloat>(view->progress(), 0, 1);
    if (p <= 0) return;
    CGRect done = CGRectMake(b.origin.x, b.origin.y, b.size.width * p, b.size.height);
    roundedPanel(ctx, done, b.size.height / 2, lighter(kSelectionBlue, 0.3f), kSelectionBlue,
                 darker(kSelectionBlue, 0.3f));
}

// Twelve spokes round `centre`, fading from the last to the first, in the grey `g`.
void drawSpokes(CGContextRef ctx, CGPoint centre, CGFloat r, CGFloat g) {
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, centre.x, centre.y);
    CGContextSetLineWidth(ctx, std::max<CGFloat>(1.5f, r / 5));
    CGContextSetLineCap(ctx, kCGLineCapRound);
    for (int i = 0; i < 12; ++i) {
        CGFloat a = 0.25f + 0.75f * CGFloat(i) / 11;
        CGContextSetRGBStrokeColor(ctx, g, g, g, a);
        CGFloat angle = CGFloat(i) * CGFloat(M_PI) / 6;
        CGContextMoveToPoint(ctx, std::cos(angle) * r * 0.5f, std::sin(angle) * r * 0.5f);
        CGContextAddLineToPoint(ctx, std::cos(angle) * r * 0.9f, std::sin(angle) * r * 0.9f);
        CGContextStrokePath(ctx);
    }
    CGContextRestoreGState(ctx);
}

void drawSpinner(UIActivityIndicatorView* view, CGContextRef ctx) {
    if (!view->isAnimating() && view->hidesWhenStopped()) return;
    CGRect b = view->bounds();
    bool white = view->activityIndicatorViewStyle() != UIActivityIndicatorViewStyleGray;
    drawSpokes(ctx, CGPointMake(CGRectGetMidX(b), CGRectGetMidY(b)),
               std::min(b.size.width, b.size.height) / 2, white ? 1 : 0.4f);
}

// Pages are not laid out as a browser would: their readable text stands in, headings bold,
// without the numbers the shell puts on links.
void drawPageText(UIWebView* web, CGContextRef ctx) {
    auto text = web->readableText();
    if (!text) return;
    CGRect b = CGRectInset(web->bounds(), 8, 8);
    CGFloat y = b.origin.y;
    auto body = UIFont::systemFontOfSize(15);
    auto heading = UIFont::boldSystemFontOfSize(20);
    std::u16string all = text->u16();
    size_t start = 0;
    while (start <= all.size() && y < CGRectGetMaxY(b)) {
        size_t end = all.find(u'\n', start);
        if (end == std::u16string::npos) end = all.size();
        std::u16string line = all.substr(start, end - start);
        start = end + 1;
        UIFont* font = body;
        if (line.rfind(u"# ", 0) == 0) {
            line.erase(0, 2);
            font = heading;
        }
        std::u16string shown;
        for (size_t i = 0; i < line.size(); ++i) {
            if (line[i] == u'[') {
                size_t j = i + 1;
                while (j < line.size() && line[j] >= u'0' && line[j] <= u'9')
                    ++j;
                if (j > i + 1 && j + 1 < line.size() && line[j] == u']' && line[j + 1] == u' ') {
                    i = j + 1;
                    continue;
                }
            }
            shown.push_back(line[i]);
        }
        if (shown.empty()) {
            y += 8;
            continue;
        }
        auto str = NSString::stringWithCharacters(shown.data(), NSUInteger(shown.size()));
        setFill(ctx, RGB{0, 0, 0});
        CGSize used =
            ::drawInRect(str, CGRectMake(b.origin.x, y, b.size.width, CGRectGetMaxY(b) - y), font,
                         UILineBreakModeWordWrap, UITextAlignmentLeft);
        y += used.height + 6;
    }
}

}  // namespace

bool UIStandardAppearanceShapesBackground(UIView* view) {
    return isGroupedCell(view, nullptr);
}

void UIDrawStandardAppearance(UIView* view, CGContextRef ctx) {
    if (!view || !ctx) return;
    CGRect b = view->bounds();
    if (auto nav = dynamic_cast<UINavigationBar*>(view)) {
        drawBar(ctx, b, nav->tintColor(), nav->barStyle(), true);
    } else if (auto tool = dynamic_cast<UIToolbar*>(view)) {
        drawBar(ctx, b, tool->tintColor(), tool->barStyle(), false);
    } else if (auto search = dynamic_cast<UISearchBar*>(view)) {
        drawBar(ctx, b, search->tintColor(), search->barStyle(), true);
    } else if (auto tabs = dynamic_cast<UITabBar*>(view)) {
        drawTabBar(tabs, ctx);
    } else if (auto field = dynamic_cast<UITextField*>(view)) {
        drawTextField(field, ctx);
    } else if (auto toggle = dynamic_cast<UISwitch*>(view)) {
        drawSwitch(toggle, ctx);
    } else if (auto segments = dynamic_cast<UISegmentedControl*>(view)) {
        drawSegments(segments, ctx);
    } else if (auto button = dynamic_cast<UIButton*>(view)) {
        drawButton(button, ctx);
    } else if (auto cell = dynamic_cast<UITableViewCell*>(view)) {
        drawCell(cell, ctx);
    } else if (auto table = dynamic_cast<UITableView*>(view)) {
        drawTable(table, ctx);
    } else if (auto picker = dynamic_cast<UIPickerView*>(view)) {
        drawPicker(picker, ctx);
    } else if (auto progress = dynamic_cast<UIProgressView*>(view)) {
        drawProgress(progress, ctx);
    } else if (auto spinner = dynamic_cast<UIActivityIndicatorView*>(view)) {
        drawSpinner(spinner, ctx);
    } else if (auto textView = dynamic_cast<UITextView*>(view)) {
        drawTextView(textView, ctx);
    } else if (auto web = dynamic_cast<UIWebView*>(view)) {
        drawPageText(web, ctx);
    } else if (dynamic_cast<UIAlertView*>(view)) {
        // Opaque: the words behind must not read through the alert's own.
        roundedPanel(ctx, CGRectInset(b, 1, 1), 10, RGB{0.2f, 0.3f, 0.55f},
                     RGB{0.05f, 0.12f, 0.35f}, RGB{1, 1, 1, 0.9f}, 2);
    } else if (dynamic_cast<UIActionSheet*>(view)) {
        fillGradient(ctx, b, RGB{0.35f, 0.37f, 0.42f, 0.95f}, RGB{0.15f, 0.16f, 0.2f, 0.95f});
    }
}

// ---- the keyboard and the status bar ----------------------------------------------------------

namespace {

const RGB kKeyboardTop{0.55f, 0.58f, 0.64f};
const RGB kKeyboardBottom{0.38f, 0.41f, 0.48f};
const RGB kKeyTop{0.98f, 0.98f, 0.99f};
const RGB kKeyBottom{0.86f, 0.87f, 0.89f};
const RGB kKeyText{0.12f, 0.12f, 0.14f};
const RGB kFunctionKey{0.49f, 0.53f, 0.6f};
const RGB kReturnBlue{0.16f, 0.42f, 0.92f};

enum class KeyKind { Letter, Function, Return, Space };

struct Key {
    std::string title;
    CGFloat units;  // width in letter keys
    KeyKind kind = KeyKind::Letter;
};

void drawKey(CGContextRef ctx, CGRect r, const Key& key, UIFont* letters, UIFont* words) {
    RGB top = kKeyTop, bottom = kKeyBottom, text = kKeyText;
    if (key.kind == KeyKind::Function || (key.kind == KeyKind::Return && key.title == "return")) {
        top = lighter(kFunctionKey, 0.1f);
        bottom = kFunctionKey;
        text = RGB{1, 1, 1};
    } else if (key.kind == KeyKind::Return) {
        top = lighter(kReturnBlue, 0.2f);
        bottom = kReturnBlue;
        text = RGB{1, 1, 1};
    }
    // The key's shadow, a point below it.
    CGContextBeginPath(ctx);
    addRoundedRect(ctx, CGRectOffset(r, 0, 1), 5);
    setFill(ctx, RGB{0.15f, 0.17f, 0.2f, 0.6f});
    CGContextFillPath(ctx);
    roundedPanel(ctx, r, 5, top, bottom, darker(bottom, 0.25f), 0.5f);
    if (key.title.empty()) return;
    UIFont* font = key.kind == KeyKind::Letter && key.title.size() <= 2 ? letters : words;
    drawText(NSString::fromUTF8(key.title.c_str()), r, font, text, UITextAlignmentCenter);
}

// Rows of keys for a keyboard type, the return key's title given.
std::vector<std::vector<Key>> keyRows(UIKeyboardType type, const std::string& returnTitle) {
    auto letters = [](const char* row) {
        std::vector<Key> keys;
        for (const char* c = row; *c; ++c)
            keys.push_back({std::string(1, *c), 1});
        return keys;
    };
    Key shift{"\u21E7", 1.4f, KeyKind::Function};
    Key erase{"\u232B", 1.4f, KeyKind::Function};
    Key ret{returnTitle, 2.5f, KeyKind::Return};
    Key space{"space", 5, KeyKind::Space};
    switch (type) {
        case UIKeyboardTypeNumberPad:
        case UIKeyboardTypePhonePad:
        case UIKeyboardTypeDecimalPad: {
            Key corner{type == UIKeyboardTypeDecimalPad ? "." : "", 1,
                       type == UIKeyboardTypePhonePad ? KeyKind::Function : KeyKind::Letter};
            if (type == UIKeyboardTypePhonePad) corner.title = "+*#";
            return {{{"1", 1}, {"2", 1}, {"3", 1}},
                    {{"4", 1}, {"5", 1}, {"6", 1}},
                    {{"7", 1}, {"8", 1}, {"9", 1}},
                    {corner, {"0", 1}, {"\u232B", 1, KeyKind::Function}}};
        }
        case UIKeyboardTypeNumbersAndPunctuation: {
            auto third = letters(".,?!'");
            third.insert(third.begin(), Key{"#+=", 1.4f, KeyKind::Function});
            third.push_back(erase);
            return {letters("1234567890"),
                    letters("-/:;()$&@\""),
                    third,
                    {{"ABC", 2.5f, KeyKind::Function}, space, ret}};
        }
        default:
            break;
    }
    auto third = letters("ZXCVBNM");
    third.insert(third.begin(), shift);
    third.push_back(erase);
    std::vector<Key> bottom{{".?123", 2.5f, KeyKind::Function}};
    if (type == UIKeyboardTypeEmailAddress) {
        bottom.push_back({"space", 3, KeyKind::Space});
        bottom.push_back({"@", 1});
        bottom.push_back({".", 1});
    } else if (type == UIKeyboardTypeURL) {
        bottom.push_back({".", 1});
        bottom.push_back({"/", 1});
        bottom.push_back({".com", 2, KeyKind::Function});
        bottom.back().kind = KeyKind::Letter;
    } else {
        bottom.push_back(space);
    }
    bottom.push_back(ret);
    return {letters("QWERTYUIOP"), letters("ASDFGHJKL"), third, bottom};
}

}  // namespace

NSString* UIKeyboardReturnKeyTitle(UITextInputTraits* traits) {
    switch (traits ? traits->returnKeyType() : UIReturnKeyDefault) {
        case UIReturnKeyGo:
            return NS("Go");
        case UIReturnKeyWebSearch:
        case UIReturnKeySearch:
        case UIReturnKeyPortalSearch:
            return NS("Search");
        case UIReturnKeyJoin:
            return NS("Join");
        case UIReturnKeyNext:
            return NS("Next");
        case UIReturnKeyRoute:
            return NS("Route");
        case UIReturnKeySend:
            return NS("Send");
        case UIReturnKeyDone:
            return NS("Done");
        case UIReturnKeyEmergencyCall:
            return NS("Emergency Call");
        default:
            return NS("return");
    }
}

void UIDrawKeyboard(CGContextRef ctx, CGRect rect, UITextInputTraits* traits) {
    if (!ctx) return;
    CGContextSaveGState(ctx);
    fillGradient(ctx, rect, kKeyboardTop, kKeyboardBottom);
    setFill(ctx, darker(kKeyboardTop, 0.5f));
    CGContextFillRect(ctx, CGRectMake(rect.origin.x, rect.origin.y, rect.size.width, 1));
    UIKeyboardType type = traits ? traits->keyboardType() : UIKeyboardTypeDefault;
    auto rows = keyRows(type, UIKeyboardReturnKeyTitle(traits)->utf8());
    bool pad = rows.size() == 4 && rows[0].size() == 3;
    CGFloat rowHeight = rect.size.height / static_cast<CGFloat>(rows.size());
    CGFloat gap = pad ? 4 : 6;
    CGFloat keyHeight = rowHeight - (pad ? 4 : 12);
    // A letter key's width: ten of them, with their gaps, across the keyboard.
    CGFloat unit = pad ? (rect.size.width - gap * 4) / 3 : rect.size.width / 10;
    bool landscape = rect.size.width > rect.size.height * 2.5f;
    auto letters = UIFont::boldSystemFontOfSize(landscape ? 20 : 22);
    auto words = UIFont::boldSystemFontOfSize(landscape ? 15 : 14);
    for (size_t i = 0; i < rows.size(); ++i) {
        auto& row = rows[i];
        CGFloat units = 0;
        for (auto& k : row)
            units += k.units;
        // Space stretches to fill the bottom row; other rows are centred.
        bool fills = false;
        for (auto& k : row)
            if (k.kind == KeyKind::Space || k.kind == KeyKind::Return) fills = true;
        CGFloat stretch = 0;
        if (fills && !pad) {
            CGFloat spare = rect.size.width - units * unit;
            for (auto& k : row)
                if (k.kind == KeyKind::Space) stretch = spare / std::max<CGFloat>(1, k.units);
        }
        CGFloat rowWidth = pad ? rect.size.width - gap * 2 : units * unit;
        for (auto& k : row)
            if (k.kind == KeyKind::Space) rowWidth += stretch * k.units;
        CGFloat x = rect.origin.x + (rect.size.width - rowWidth) / 2 + (pad ? gap : 0);
        CGFloat y =
            rect.origin.y + rowHeight * static_cast<CGFloat>(i) + (rowHeight - keyHeight) / 2;
        for (auto& k : row) {
            CGFloat w = k.units * unit + (k.kind == KeyKind::Space ? stretch * k.units : 0);
            CGRect keyRect = pad ? CGRectMake(x, y, unit, keyHeight)
                                 : CGRectMake(x + gap / 2, y, w - gap, keyHeight);
            drawKey(ctx, keyRect, k, letters, words);
            x += pad ? unit + gap : w;
        }
    }
    CGContextRestoreGState(ctx);
}

void UIDrawStatusBar(CGContextRef ctx, CGRect rect, NSInteger style, NSString* time,
                     bool networkActivity) {
    if (!ctx) return;
    CGContextSaveGState(ctx);
    RGB ink{1, 1, 1};
    if (style == 1) {
        // Black translucent: the app shows through.
        setFill(ctx, RGB{0, 0, 0, 0.5f});
        CGContextFillRect(ctx, rect);
    } else if (style == 2) {
        setFill(ctx, RGB{0, 0, 0});
        CGContextFillRect(ctx, rect);
    } else {
        fillGradient(ctx, rect, RGB{0.9f, 0.9f, 0.9f}, RGB{0.66f, 0.66f, 0.66f});
        setFill(ctx, RGB{0.45f, 0.45f, 0.45f});
        CGContextFillRect(ctx,
                          CGRectMake(rect.origin.x, CGRectGetMaxY(rect) - 1, rect.size.width, 1));
        ink = RGB{0.1f, 0.1f, 0.1f};
    }
    CGFloat x = rect.origin.x + 6, mid = CGRectGetMidY(rect);
    // Five bars of signal, rising.
    setFill(ctx, ink);
    for (int i = 0; i < 5; ++i) {
        CGFloat h = 4 + 2 * static_cast<CGFloat>(i);
        CGContextFillRect(ctx, CGRectMake(x + 4 * static_cast<CGFloat>(i), mid + 5 - h, 3, h));
    }
    x += 24;
    auto small = UIFont::boldSystemFontOfSize(12);
    auto carrier = NSString::fromUTF8(UIStatusBarCarrierName);
    CGFloat carrierWidth = sizeWithFont(carrier, small).width;
    drawText(carrier, CGRectMake(x, rect.origin.y, carrierWidth + 1, rect.size.height), small, ink,
             UITextAlignmentLeft);
    // The network activity indicator turns beside the carrier while the app says it is busy.
    if (networkActivity) drawSpokes(ctx, CGPointMake(x + carrierWidth + 12, mid), 8, ink.r);
    if (time) {
        auto bold = UIFont::boldSystemFontOfSize(14);
        drawText(time, rect, bold, ink, UITextAlignmentCenter);
    }
    // The battery, full, with its terminal.
    CGRect battery = CGRectMake(CGRectGetMaxX(rect) - 31, mid - 5, 24, 10);
    setStroke(ctx, ink);
    CGContextSetLineWidth(ctx, 1);
    CGContextStrokeRect(ctx, CGRectInset(battery, 0.5f, 0.5f));
    setFill(ctx, ink);
    CGContextFillRect(ctx, CGRectInset(battery, 2, 2));
    CGContextFillRect(ctx, CGRectMake(CGRectGetMaxX(battery), mid - 2, 2, 4));
    CGContextRestoreGState(ctx);
}
