// The catalog's text input screens: search as you type over the catalog's names service (a
// search bar with Cancel and a dark screen), a token picker of names, the message composer whose
// sent fields the screen prints, the text bar and the post popup.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogSearchScreen();
Ref<UIViewController> makeCatalogTokensScreen();
Ref<UIViewController> makeCatalogComposerScreen();
Ref<UIViewController> makeCatalogTextBarScreen();
Ref<UIViewController> makeCatalogPostPopupScreen();
