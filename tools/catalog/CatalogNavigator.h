// The catalog's screens for the UI framework's controllers and navigator: the in-app browser on
// the stand-in site's front page, and a screen backed by a request model, which a shake
// reloads once the navigator supports it.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;
class UIWindow;

// The browser, as the app pushes it: black opaque status bar, the site's front page loading.
Ref<UIViewController> makeCatalogBrowser();
// A model screen whose model reads the site's location index through the request queue.
Ref<UIViewController> makeCatalogRequestModelScreen();
// The window becomes the global navigator's, the root its root controller; a shake reloads the
// visible model screen.
void installCatalogNavigator(UIWindow* window, UIViewController* root);
