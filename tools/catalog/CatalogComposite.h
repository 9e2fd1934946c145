// The catalog's composite screens: a launcher of twenty icons (two with badges) and the three
// kinds of tab control with a line that names the tab selected.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogLauncherScreen();
Ref<UIViewController> makeCatalogTabsScreen();
