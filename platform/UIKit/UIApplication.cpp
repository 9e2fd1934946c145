#include "UIKit/UIApplication.h"

Ref<UIApplication> UIApplication::sharedApplication() {
    static UIApplication* shared = [] {
        auto* app = new UIApplication();
        app->makeImmortal();
        return app;
    }();
    return Ref<UIApplication>(shared);
}
