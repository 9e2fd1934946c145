// The catalog's composite screens: a launcher of twenty icons (two with badges), the three
// kinds of tab control with a line that names the tab selected, and the photo browser over a
// photo set of the services' catalog module (25 photos, ten a page) with its thumbnail grid.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogLauncherScreen();
Ref<UIViewController> makeCatalogTabsScreen();
Ref<UIViewController> makeCatalogPhotosScreen();
