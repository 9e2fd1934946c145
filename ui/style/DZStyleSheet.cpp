#include "ui/style/DZStyleSheet.h"

#include <span>
#include <utility>

#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/style/DZStyle.h"

namespace {
// Never destroyed: a sheet freed while the process ends would talk to a notification centre
// that may be gone already.
Ref<DZStyleSheet>& sharedSheet() {
    static auto* sheet = new Ref<DZStyleSheet>();
    return *sheet;
}

Ref<UIColor> rgb(int red, int green, int blue) {
    return UIColor::colorWithRed(red / 255.0f, green / 255.0f, blue / 255.0f, 1);
}
}  // namespace

void DZStyleSheet::describeClass(RuntimeClass& c) {
    c.method("didReceiveMemoryWarning:", &DZStyleSheet::didReceiveMemoryWarning)
        .method("navigationBarTintColor", &DZStyleSheet::navigationBarTintColor)
        .method("toolbarTintColor", &DZStyleSheet::toolbarTintColor)
        .method("backgroundColor", &DZStyleSheet::backgroundColor)
        .method("linkTextColor", &DZStyleSheet::linkTextColor);
}

Ref<DZStyleSheet> DZStyleSheet::globalStyleSheet() {
    Ref<DZStyleSheet>& sheet = sharedSheet();
    if (!sheet) sheet = make<DZDefaultStyleSheet>();
    return sheet;
}

void DZStyleSheet::setGlobalStyleSheet(DZStyleSheet* sheet) {
    Ref<DZStyleSheet> old = std::exchange(sharedSheet(), Ref<DZStyleSheet>(sheet));
}

bool DZStyleSheet::init() {
    NSNotificationCenter::defaultCenter()->addObserver(
        this, Selector::named("didReceiveMemoryWarning:"),
        UIApplicationDidReceiveMemoryWarningNotification, nullptr);
    return true;
}

void DZStyleSheet::dealloc() {
    NSNotificationCenter::defaultCenter()->removeObserver(this);
    NSObject::dealloc();
}

Ref<DZStyle> DZStyleSheet::styleWithSelector(NSString* selector) {
    return styleWithSelector(selector, UIControlStateNormal);
}

Ref<DZStyle> DZStyleSheet::styleWithSelector(NSString* selector, UIControlState state) {
    if (!selector) return nullptr;
    auto key = std::make_pair(selector->utf8(), state);
    if (auto it = styles_.find(key); it != styles_.end()) return it->second;
    SEL sel = Selector::named(key.first);
    if (!respondsToSelector(sel)) return nullptr;
    Value args[] = {Value::of(state)};
    std::span<const Value> given(args, key.first.ends_with(':') ? 1 : 0);
    Ref<DZStyle> style = as<DZStyle>(invokeMethod(this, sel, given).object());
    if (style) styles_[key] = style;
    return style;
}

void DZStyleSheet::freeMemory() {
    std::map<std::pair<std::string, UIControlState>, Ref<DZStyle>> gone;
    gone.swap(styles_);
}

void DZStyleSheet::didReceiveMemoryWarning(NSNotification*) {
    freeMemory();
}

Ref<UIColor> DZDefaultStyleSheet::navigationBarTintColor() {
    return rgb(119, 140, 168);
}

Ref<UIColor> DZDefaultStyleSheet::toolbarTintColor() {
    return rgb(109, 132, 162);
}

Ref<UIColor> DZDefaultStyleSheet::backgroundColor() {
    return UIColor::whiteColor();
}

Ref<UIColor> DZDefaultStyleSheet::linkTextColor() {
    return rgb(87, 107, 149);
}
