// The status bar as the client's full-screen views share it: the movie player and a turned
// overlay each hide it while they show. It comes back, as it was before the first of them hid
// it, only when the last of them goes, so a player that ends under another view's player or
// page does not bring it back over them.
#pragma once

class MRStatusBarHold {
public:
    // Hides the bar for this holder; taking it twice counts once.
    void take();
    // This holder's share given back: the bar shows again when no other holder is left and it
    // showed before the first took it. Nothing when this holder holds nothing.
    void giveBack();
    bool isHeld() const { return held_; }

private:
    bool held_ = false;
};
