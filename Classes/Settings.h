// The app's two stored settings ("fullscreen" and "theme" in the preferences), one shared
// instance read on first use.
#pragma once

#include "Foundation/NSObject.h"

class Settings : public NSObject {
    NS_OBJECT(Settings, NSObject)
    static void describeClass(RuntimeClass& c);

    static Ref<Settings> sys();
    // Forgets the shared instance so that the next sys() reads the preferences again (a
    // restart, for tests).
    static void resetShared();

    // Writes both fields back and synchronizes.
    void saveSettings();

    int32_t fullscreen() { return fullscreen_; }
    void setFullscreen(int32_t v) { fullscreen_ = v; }
    // 0 "default", 1 "night".
    int32_t theme() { return theme_; }
    void setTheme(int32_t v) { theme_ = v; }

private:
    int32_t fullscreen_ = 0;
    int32_t theme_ = 0;
};
