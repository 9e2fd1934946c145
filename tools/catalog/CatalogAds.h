// The catalog's Ads screen: the mediation banner as the app's result list and item screens host
// it, on the stand-in services' mediation configuration. A person sees the ad, taps a house ad
// (the in-app browser) or the platform's banner (its full-screen ad), asks for the next ad, and
// reads the pings the metrics server received on the services' admin host.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class CatalogStatusLine;
class NSString;
class UIView;
class UIViewController;

Ref<UIViewController> makeCatalogAdsScreen();

// What the ad screens share: a white page the size of the application frame with a status line
// at its top, shown by `status` (which keeps its words for a view made again).
Ref<UIView> makeCatalogAdPage(NSString* firstStatus, CatalogStatusLine& status);
