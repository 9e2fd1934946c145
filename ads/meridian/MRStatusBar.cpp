#include "ads/meridian/MRStatusBar.h"

#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"

namespace {

struct Holds {
    int count = 0;
    bool wasHidden = false;
};

std::shared_ptr<Holds> holds() {
    static ProcessWide<Holds> slot;
    return slot.get();
}

}  // namespace

void MRStatusBarHold::take() {
    if (held_) return;
    held_ = true;
    auto app = UIApplication::sharedApplication();
    auto state = holds();
    if (state->count++ == 0) state->wasHidden = app->isStatusBarHidden();
    app->setStatusBarHidden(true);
}

void MRStatusBarHold::giveBack() {
    if (!held_) return;
    held_ = false;
    auto state = holds();
    if (state->count > 0 && --state->count == 0 && !state->wasHidden)
        UIApplication::sharedApplication()->setStatusBarHidden(false);
}
