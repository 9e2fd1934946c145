#include "Classes/Settings.h"

#include "Foundation/NSString.h"
#include "Foundation/NSUserDefaults.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"

namespace {
ProcessWide<Settings>& shared() {
    static ProcessWide<Settings> instance;
    return instance;
}
}  // namespace

void Settings::describeClass(RuntimeClass& c) {
    c.property("fullscreen", &Settings::fullscreen, &Settings::setFullscreen);
    c.property("theme", &Settings::theme, &Settings::setTheme);
    c.method("saveSettings", &Settings::saveSettings);
    c.classMethod("sys", &Settings::sys);
}

Ref<Settings> Settings::sys() {
    return shared().getOr([] {
        auto defaults = NSUserDefaults::standardUserDefaults();
        auto settings = make<Settings>();
        settings->fullscreen_ = defaults->integerForKey(NS("fullscreen"));
        settings->theme_ = defaults->integerForKey(NS("theme"));
        return settings;
    });
}

void Settings::resetShared() {
    shared().reset();
}

void Settings::saveSettings() {
    auto defaults = NSUserDefaults::standardUserDefaults();
    defaults->setInteger(fullscreen_, NS("fullscreen"));
    defaults->setInteger(theme_, NS("theme"));
    defaults->synchronize();
}
