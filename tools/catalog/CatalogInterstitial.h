// The catalog's Interstitial screen: the Pebble client's full-screen ad with its app-open
// splash, on the stand-in services' interstitial slot. A person covers the window with the
// splash, sees the ad come over it and closes it, or asks a slot without an ad and gets the
// window back at once.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogInterstitialScreen();
