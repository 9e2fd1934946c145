// The catalog's Ads screen: the mediation banner as the app's result list and item screens host
// it, on the stand-in services' mediation configuration. A person sees the ad, taps a house ad
// (the in-app browser) or the platform's banner (its full-screen ad), asks for the next ad, and
// reads the pings the metrics server received on the services' admin host.
#pragma once

#include "Foundation/NSObject.h"

class UIViewController;

Ref<UIViewController> makeCatalogAdsScreen();
