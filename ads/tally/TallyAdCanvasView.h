// A banner in the canvas's drawer: a TallyAdView without a sell message, whose advertiser shows
// in portrait too, and which re-lays itself out only for the landscape orientation.
#pragma once

#include "ads/tally/TallyAdView.h"

class TallyAdCanvasView : public TallyAdView {
    NS_OBJECT(TallyAdCanvasView, TallyAdView)
    void createViewElements() override;
    void updateToOrientation() override;
};
