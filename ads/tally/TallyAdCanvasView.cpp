#include "ads/tally/TallyAdCanvasView.h"

#include "Foundation/NSString.h"

void TallyAdCanvasView::createViewElements() {
    makeViewElements(true);
}

void TallyAdCanvasView::updateToOrientation() {
    auto o = orientation();
    if (o && o->caseInsensitiveCompare(NS("landscape")) == NSOrderedSame)
        TallyAdView::updateToOrientation();
}
