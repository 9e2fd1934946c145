#include "ads/place/AdFullScreen.h"

#include "Foundation/ProcessWide.h"
#include "UIKit/UIView.h"
#include "UIKit/UIWindow.h"

namespace {

struct Holds {
    int count = 0;
};

ProcessWide<Holds>& holds() {
    static ProcessWide<Holds> slot;
    return slot;
}

}  // namespace

void AdFullScreenHold::take() {
    if (held_) return;
    held_ = true;
    ++holds().get()->count;
}

void AdFullScreenHold::giveBack() {
    if (!held_) return;
    held_ = false;
    // After a reset between tests the count starts again from nothing.
    if (auto state = holds().peek(); state && state->count > 0) --state->count;
}

bool AdFullScreenHold::heldByAnother() const {
    return anyHeld() && !(held_ && holds().peek()->count == 1);
}

bool AdFullScreenHold::anyHeld() {
    auto state = holds().peek();
    return state && state->count > 0;
}

bool AdViewIsInSight(UIView* view) {
    if (!view) return false;
    if (view->window()) return true;
    return !view->superview();
}
