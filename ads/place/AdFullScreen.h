// The screen as every ad client and the mediation share it. While one ad's full-screen view is
// up (a video, an expanded ad, an ad's page or browser) no banner refreshes and no other
// full-screen view starts, whichever network or banner it would come from; and a banner the
// person cannot see starts none: its refresh waits until it is shown again.
#pragma once

class UIView;

class AdFullScreenHold {
public:
    AdFullScreenHold() = default;
    AdFullScreenHold(const AdFullScreenHold&) = delete;
    AdFullScreenHold& operator=(const AdFullScreenHold&) = delete;
    // A holder that goes gives its share back, so a view dropped while up frees the screen.
    ~AdFullScreenHold() { giveBack(); }

    // This holder's full-screen view is up; taking it twice counts once.
    void take();
    // Its view is gone. Nothing when this holder holds nothing.
    void giveBack();
    // Another holder's full-screen view is up: this one must not start its own.
    bool heldByAnother() const;
    // This holder's view is up.
    bool held() const { return held_; }

    // Some ad's full-screen view is up.
    static bool anyHeld();

private:
    bool held_ = false;
};

// Whether the person can see a banner's view: placed in a window. A screen covered by another
// has left the window; a view not placed anywhere yet counts as seen, since its host is about
// to place it.
bool AdViewIsInSight(UIView* view);
