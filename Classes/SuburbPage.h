// A metro's home page read for its sub-area bar.
#pragma once

#include "WebPage.h"

class MetroItem;
class NSMutableArray;

class SuburbPage : public WebPage {
    NS_OBJECT(SuburbPage, WebPage)
    static void describeClass(RuntimeClass& c);

    // The parent metro (as a copy without sub-areas) followed by its sub-areas, in page order.
    // A page without a sub-area bar gives the parent alone.
    Ref<NSMutableArray> getSuburbs(MetroItem* parent);
};
