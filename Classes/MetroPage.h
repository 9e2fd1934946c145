// The site's location index ("/about/sites" on the main host): regions, their states and the
// metros of each state.
#pragma once

#include "WebPage.h"

class MetroItem;
class NSMutableArray;

class MetroPage : public WebPage {
    NS_OBJECT(MetroPage, WebPage)
    static void describeClass(RuntimeClass& c);

    // The index's URL on the main host.
    static Ref<NSString> locationIndexUrl();

    // Every metro of the downloaded index, in page order, with its state and region.
    Ref<NSMutableArray> getMetros();
    // The English version of a city URL: the first "." becomes ".en.".
    Ref<NSString> getEnglishVersionUrl(NSString* url);
};
