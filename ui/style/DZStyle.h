// A drawing style: one link of a chain that draws a view (fills, borders, shadows, insets,
// text ...). Each style draws its part into the style context and passes the context on to the
// next style; sizes grow the same way along the chain.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class DZStyleContext;

class DZStyle : public NSObject {
    NS_OBJECT(DZStyle, NSObject)
    bool initWithNext(DZStyle* next);

    Ref<DZStyle> next() { return next_; }
    void setNext(DZStyle* next) { next_ = next; }

    // Draws this style's part, then passes the context on; the base only passes it on.
    virtual void draw(DZStyleContext* context);
    // The size grown by this style and the rest of the chain; the base answers the next
    // style's answer, or the size itself at the end of the chain.
    virtual CGSize addToSize(CGSize size, DZStyleContext* context);

private:
    Ref<DZStyle> next_;
};
