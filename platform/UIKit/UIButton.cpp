#include "UIKit/UIButton.h"

#include <algorithm>
#include <cmath>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"

void UIButton::describeClass(RuntimeClass& c) {
    c.classMethod("buttonWithType:", &UIButton::buttonWithType);
    c.method("setTitle:forState:", &UIButton::setTitle);
    c.method("titleForState:", &UIButton::titleForState);
    c.property("currentTitle", &UIButton::currentTitle);
}

Ref<UIButton> UIButton::buttonWithType(UIButtonType type) {
    auto b = make<UIButton>();
    b->type_ = type;
    switch (type) {
        case UIButtonTypeRoundedRect:
            b->setTitleColor(UIColor::colorWithRed(0.196f, 0.310f, 0.522f, 1),
                             UIControlStateNormal);
            b->setTitleColor(UIColor::whiteColor(), UIControlStateHighlighted);
            break;
        case UIButtonTypeDetailDisclosure:
        case UIButtonTypeInfoLight:
        case UIButtonTypeInfoDark:
        case UIButtonTypeContactAdd:
            // The small round buttons have a fixed size and show their touch.
            b->setFrame(CGRectMake(0, 0, 29, 31));
            b->showsTouch_ = true;
            break;
        default:
            break;
    }
    return b;
}

bool UIButton::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setOpaque(false);
    return true;
}

UIButton::StateValues* UIButton::valuesFor(UIControlState state, bool create) {
    auto it = states_.find(state);
    if (it != states_.end()) return &it->second;
    if (!create) return nullptr;
    return &states_[state];
}

namespace {
template <class T, class F>
Ref<T> pick(UIButton::StateValues* exact, UIButton::StateValues* normal, F field) {
    if (exact && field(*exact)) return field(*exact);
    if (normal) return field(*normal);
    return nullptr;
}
}  // namespace

#define STATE_ACCESSORS(Type, setter, getter, member)                                      \
    void UIButton::setter(Type* value, UIControlState state) {                             \
        valuesFor(state, true)->member = value;                                            \
        updateContent();                                                                   \
    }                                                                                      \
    Ref<Type> UIButton::getter(UIControlState state) {                                     \
        return pick<Type>(valuesFor(state, false), valuesFor(UIControlStateNormal, false), \
                          [](StateValues& v) { return v.member; });                        \
    }

STATE_ACCESSORS(UIColor, setTitleColor, titleColorForState, titleColor)
STATE_ACCESSORS(UIColor, setTitleShadowColor, titleShadowColorForState, titleShadowColor)
STATE_ACCESSORS(UIImage, setImage, imageForState, image)
STATE_ACCESSORS(UIImage, setBackgroundImage, backgroundImageForState, backgroundImage)

void UIButton::setTitle(NSString* title, UIControlState state) {
    valuesFor(state, true)->title = title ? title->copy() : nullptr;
    updateContent();
}

Ref<NSString> UIButton::titleForState(UIControlState state) {
    return pick<NSString>(valuesFor(state, false), valuesFor(UIControlStateNormal, false),
                          [](StateValues& v) { return v.title; });
}

Ref<NSString> UIButton::currentTitle() {
    return titleForState(state());
}
Ref<UIColor> UIButton::currentTitleColor() {
    auto c = titleColorForState(state());
    return c ? c : UIColor::whiteColor();
}
Ref<UIColor> UIButton::currentTitleShadowColor() {
    return titleShadowColorForState(state());
}
Ref<UIImage> UIButton::currentImage() {
    return imageForState(state());
}
Ref<UIImage> UIButton::currentBackgroundImage() {
    return backgroundImageForState(state());
}

Ref<UILabel> UIButton::titleLabel() {
    if (!titleLabel_) {
        titleLabel_ = make<UILabel>();
        titleLabel_->setFont(
            UIFont::boldSystemFontOfSize(type_ == UIButtonTypeRoundedRect ? 15 : 18));
        titleLabel_->setBackgroundColor(UIColor::clearColor());
        titleLabel_->setLineBreakMode(UILineBreakModeMiddleTruncation);
        addSubview(titleLabel_);
        updateContent();
    }
    return titleLabel_;
}

Ref<UIImageView> UIButton::imageView() {
    if (!imageView_) {
        imageView_ = make<UIImageView>();
        addSubview(imageView_);
        updateContent();
    }
    return imageView_;
}

Ref<UIFont> UIButton::font() {
    return titleLabel()->font();
}

void UIButton::setFont(UIFont* font) {
    titleLabel()->setFont(font);
    setNeedsLayout();
}

void UIButton::setContentEdgeInsets(UIEdgeInsets e) {
    contentInsets_ = e;
    setNeedsLayout();
}
void UIButton::setTitleEdgeInsets(UIEdgeInsets e) {
    titleInsets_ = e;
    setNeedsLayout();
}
void UIButton::setImageEdgeInsets(UIEdgeInsets e) {
    imageInsets_ = e;
    setNeedsLayout();
}

void UIButton::setEnabled(bool enabled) {
    UIControl::setEnabled(enabled);
    updateContent();
}
void UIButton::setSelected(bool selected) {
    UIControl::setSelected(selected);
    updateContent();
}
void UIButton::setHighlighted(bool highlighted) {
    UIControl::setHighlighted(highlighted);
    updateContent();
}

namespace {
constexpr CGFloat kDisabledAlpha = 0.4f;
}  // namespace

CGFloat UIButton::imageAlphaForCurrentState() {
    if (isEnabled() || !adjustsWhenDisabled_) return 1;
    auto own = valuesFor(UIControlStateDisabled, false);
    return own && own->image ? 1 : kDisabledAlpha;
}

CGFloat UIButton::backgroundImageAlphaForCurrentState() {
    if (isEnabled() || !adjustsWhenDisabled_) return 1;
    auto own = valuesFor(UIControlStateDisabled, false);
    return own && own->backgroundImage ? 1 : kDisabledAlpha;
}

void UIButton::updateContent() {
    if (titleLabel_) {
        titleLabel_->setText(currentTitle());
        titleLabel_->setTextColor(currentTitleColor());
        titleLabel_->setShadowColor(currentTitleShadowColor());
        auto own = valuesFor(UIControlStateDisabled, false);
        titleLabel_->setAlpha(isEnabled() || (own && own->titleColor) ? 1 : kDisabledAlpha);
    }
    if (imageView_) {
        imageView_->setImage(currentImage());
        imageView_->setAlpha(imageAlphaForCurrentState());
    }
    setNeedsLayout();
    setNeedsDisplay();
}

CGRect UIButton::backgroundRectForBounds(CGRect bounds) {
    return bounds;
}

CGRect UIButton::contentRectForBounds(CGRect bounds) {
    return UIEdgeInsetsInsetRect(bounds, contentInsets_);
}

namespace {
CGSize titleSize(NSString* title, UIFont* font) {
    return title && font ? ::sizeWithFont(title, font) : CGSizeZero;
}
}  // namespace

CGRect UIButton::imageRectForContentRect(CGRect content) {
    auto img = currentImage();
    if (!img) return CGRectMake(CGRectGetMidX(content), CGRectGetMidY(content), 0, 0);
    CGSize is = img->size();
    CGSize ts = titleSize(currentTitle(), titleLabel_ ? titleLabel_->font().get() : nullptr);
    CGFloat total = is.width + ts.width;
    CGFloat x = content.origin.x + (content.size.width - total) / 2;
    if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentLeft)
        x = content.origin.x;
    else if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentRight)
        x = CGRectGetMaxX(content) - total;
    CGRect r = CGRectMake(x, content.origin.y + (content.size.height - is.height) / 2, is.width,
                          is.height);
    return UIEdgeInsetsInsetRect(r, imageInsets_);
}

CGRect UIButton::titleRectForContentRect(CGRect content) {
    auto title = currentTitle();
    if (!title || title->length() == 0)
        return CGRectMake(CGRectGetMidX(content), CGRectGetMidY(content), 0, 0);
    CGSize ts = titleSize(title, titleLabel()->font());
    auto img = currentImage();
    CGFloat iw = img ? img->size().width : 0;
    CGFloat room = std::max<CGFloat>(0, content.size.width - iw);
    // A title label of several lines wraps in the room there is, as tall as its lines.
    if (NSInteger lines = titleLabel()->numberOfLines(); lines != 1 && ts.width > room) {
        auto font = titleLabel()->font();
        CGFloat most = lines > 0 ? lines * font->lineHeight() : content.size.height;
        ts = ::sizeWithFont(title, font.get(), CGSizeMake(room, std::max<CGFloat>(most, 0)),
                            titleLabel()->lineBreakMode());
    }
    ts.width = std::min(ts.width, room);
    CGFloat total = iw + ts.width;
    CGFloat x = content.origin.x + (content.size.width - total) / 2 + iw;
    if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentLeft)
        x = content.origin.x + iw;
    else if (contentHorizontalAlignment() == UIControlContentHorizontalAlignmentRight)
        x = CGRectGetMaxX(content) - ts.width;
    CGRect r = CGRectMake(x, content.origin.y + (content.size.height - ts.height) / 2, ts.width,
                          ts.height);
    return UIEdgeInsetsInsetRect(r, titleInsets_);
}

void UIButton::layoutSubviews() {
    CGRect content = contentRectForBounds(bounds());
    if (currentTitle() || titleLabel_) titleLabel()->setFrame(titleRectForContentRect(content));
    if (currentImage() || imageView_) imageView()->setFrame(imageRectForContentRect(content));
}

CGSize UIButton::sizeThatFits(CGSize) {
    auto img = currentImage();
    auto bg = currentBackgroundImage();
    CGSize ts = titleSize(currentTitle(), titleLabel()->font());
    CGSize is = img ? img->size() : CGSizeZero;
    CGFloat w = ts.width + is.width + contentInsets_.left + contentInsets_.right;
    CGFloat h = std::max(ts.height, is.height) + contentInsets_.top + contentInsets_.bottom;
    if (bg) {
        w = std::max(w, bg->size().width);
        h = std::max(h, bg->size().height);
    }
    if (type_ == UIButtonTypeRoundedRect) h = std::max<CGFloat>(h, 37);
    if (type_ != UIButtonTypeCustom && type_ != UIButtonTypeRoundedRect) return CGSizeMake(29, 31);
    return CGSizeMake(std::ceil(w), std::ceil(h));
}
