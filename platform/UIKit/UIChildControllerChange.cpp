#include "UIKit/UIChildControllerChange.h"

#include <algorithm>

#include "UIKit/UIView.h"

namespace {
bool contains(const std::vector<Ref<UIViewController>>& list, UIViewController* c) {
    return std::any_of(list.begin(), list.end(),
                       [c](const Ref<UIViewController>& x) { return x.get() == c; });
}
}  // namespace

UIChildControllerChange UIChildControllerChange::begin(
    UIViewController* container, const std::vector<Ref<UIViewController>>& current,
    const std::vector<Ref<UIViewController>>& next) {
    UIChildControllerChange change;
    for (auto& c : current) {
        if (!contains(next, c)) change.removed.push_back(c);
    }
    for (auto& c : next) {
        if (!contains(current, c)) change.added.push_back(c);
    }
    for (auto& c : change.added)
        container->addChildViewController(c);
    return change;
}

void UIChildControllerChange::finish(UIViewController* container) const {
    for (auto& c : removed) {
        c->willMoveToParentViewController(nullptr);
        if (c->isViewLoaded() && container->isViewLoaded() &&
            c->view()->superview().get() == container->view().get()) {
            c->view()->removeFromSuperview();
        }
        c->removeFromParentViewController();
    }
    for (auto& c : added) {
        if (c->parentViewController().get() == container)
            c->didMoveToParentViewController(container);
    }
}
