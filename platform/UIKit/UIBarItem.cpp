#include "UIKit/UIBarItem.h"

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIImage.h"

void UIBarItem::describeClass(RuntimeClass& c) {
    c.property("title", &UIBarItem::title, &UIBarItem::setTitle);
    c.property("enabled", &UIBarItem::isEnabled, &UIBarItem::setEnabled);
    c.property("tag", &UIBarItem::tag, &UIBarItem::setTag);
}

void UIBarItem::setEnabled(bool enabled) {
    enabled_ = enabled;
    itemChanged();
}

void UIBarItem::setTitle(NSString* title) {
    title_ = title ? title->copy() : nullptr;
    itemChanged();
}

void UIBarItem::setImage(UIImage* image) {
    image_ = image;
    itemChanged();
}

Ref<NSString> UIBarItem::displayTitle() {
    if (title_) return title_;
    if (image_ && accessibilityLabel_ && accessibilityLabel_->length() > 0)
        return accessibilityLabel_;
    if (image_) {
        auto name = image_->sourceName();
        return name ? name->lastPathComponent() : Ref<NSString>(NS("image"));
    }
    return NS("");
}
