// The catalog's table screens: every kind of framework table row (URLs of the four navigation
// modes, an editor row, a banner and a row menu), and a paged model screen on the catalog's
// items service with load more and pull-to-refresh.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogTablesScreen();
