// The catalog's Full-Screen Ad screen: the ad engine's full-screen slot on the stand-in services'
// ad server. A person waits for the ad, shows it over everything, taps its link (the in-ad
// browser opens in the ad's window) and closes it with done.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogFullScreenAdScreen();
