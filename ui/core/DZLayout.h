// Places a view's subviews. The base places nothing; layouts that arrange rows, flows or grids
// derive from it.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class NSArray;
class UIView;

class DZLayout : public NSObject {
    NS_OBJECT(DZLayout, NSObject)
    // Places the subviews inside the view and answers the size of the content.
    virtual CGSize layoutSubviews(NSArray* subviews, UIView* view);
};
