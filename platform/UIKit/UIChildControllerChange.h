// How a container controller (navigation or tab bar) swaps its whole list of children: who
// joins and who leaves, with the parent calls in the order the platform makes them. Internal to
// the toolkit.
#pragma once

#include <vector>

#include "UIKit/UIViewController.h"

struct UIChildControllerChange {
    std::vector<Ref<UIViewController>> removed, added;

    // The change from `current` to `next`; the newcomers are adopted at once
    // (addChildViewController, which sends their willMove), before the container swaps lists.
    static UIChildControllerChange begin(UIViewController* container,
                                         const std::vector<Ref<UIViewController>>& current,
                                         const std::vector<Ref<UIViewController>>& next);
    // Once the lists are swapped: each leaver hears willMove to nil, loses its view from the
    // container's and leaves; each newcomer still there hears didMove.
    void finish(UIViewController* container) const;
};
