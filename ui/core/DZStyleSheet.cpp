#include "ui/core/DZStyleSheet.h"

#include <span>
#include <utility>

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIKitNotifications.h"
#include "ui/core/DZStyle.h"

namespace {
// Never destroyed: a sheet freed while the process ends would talk to a notification centre
// that may be gone already.
ProcessWide<DZStyleSheet>& sharedSheet() {
    static ProcessWide<DZStyleSheet> slot;
    return slot;
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
    return sharedSheet().getOr([] {
        // The default sheet lives in the styles library above this one, so it is made by name.
        Class cls = classNamed("DZDefaultStyleSheet");
        Ref<DZStyleSheet> made = cls ? as<DZStyleSheet>(cls->createInstance()) : nullptr;
        if (!made || !made->init()) made = make<DZStyleSheet>();
        return made;
    });
}

void DZStyleSheet::setGlobalStyleSheet(DZStyleSheet* sheet) {
    auto old = sharedSheet().exchange(sheet);  // released outside the slot's lock
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
    Ref<NSString> key =
        state ? NSString::stringWithFormat(NS("%@%d"), selector, int(state)) : selector->copy();
    if (styles_)
        if (auto kept = as<DZStyle>(styles_->objectForKey(key))) return kept;
    SEL sel = Selector::named(selector->utf8());
    if (!respondsToSelector(sel)) return nullptr;
    Value args[] = {Value::of(state)};
    std::span<const Value> given(args, sel->keywordCount > 0 ? 1 : 0);
    Ref<DZStyle> style = as<DZStyle>(invokeMethod(this, sel, given).object());
    if (!style) return nullptr;
    if (!styles_) styles_ = NSMutableDictionary::dictionary();
    styles_->setObject(style, key);
    return style;
}

void DZStyleSheet::freeMemory() {
    Ref<NSMutableDictionary> gone = std::move(styles_);
}

void DZStyleSheet::didReceiveMemoryWarning(NSNotification*) {
    freeMemory();
}
