#include "UIKit/UITabBarController.h"

#include <algorithm>

#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIChildControllerChange.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIView.h"

namespace {
constexpr CGFloat kTabBarHeight = 49;
}

void UITabBarController::describeClass(RuntimeClass& c) {
    c.implements({"tabBar:didSelectItem:"});
}

void UITabBarController::dealloc() {
    if (tabBar_) tabBar_->setDelegate(nullptr);
    for (auto& c : tabs_)
        c->parent_ = nullptr;
    tabs_.clear();
    super::dealloc();
}

Ref<UITabBar> UITabBarController::tabBar() {
    if (!tabBar_) {
        tabBar_ = make<UITabBar>(&UITabBar::initWithFrame, CGRectMake(0, 0, 320, kTabBarHeight));
        tabBar_->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                     UIViewAutoresizingFlexibleTopMargin);
        tabBar_->setDelegate(this);
        syncTabBar();
    }
    return tabBar_;
}

void UITabBarController::loadView() {
    auto view = make<UIView>(&UIView::initWithFrame, fullScreenFrame());
    view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    view->addSubview(tabBar());
    setView(view);
    layoutContent();
}

Ref<NSArray> UITabBarController::viewControllers() {
    return NSArray::arrayWithVector(tabs_);
}

bool UITabBarController::onScreen() {
    // While the container itself is still coming, its own forwarding tells the children.
    return appearance() == UIViewControllerAppeared;
}

void UITabBarController::setViewControllers(NSArray* controllers, bool animated) {
    Ref<UITabBarController> keep(this);
    std::vector<Ref<UIViewController>> tabs;
    for (NSUInteger i = 0; controllers && i < controllers->count(); ++i) {
        auto c = as<UIViewController>(controllers->objectAtIndex(i));
        if (!c) {
            NSException::raise(NSInvalidArgumentException, NS("%@ is not a view controller"),
                               controllers->objectAtIndex(i));
        }
        tabs.push_back(c);
    }
    Ref<UIViewController> old = selectedViewController();
    auto children = UIChildControllerChange::begin(this, tabs_, tabs);

    size_t index = 0;
    auto it = std::find_if(tabs.begin(), tabs.end(), [&](auto& c) { return c == old; });
    if (old && it != tabs.end()) {
        index = static_cast<size_t>(it - tabs.begin());
    } else if (selected_ < tabs.size()) {
        index = selected_;
    }
    switchTo(old, &tabs, index, animated);
    children.finish(this);
}

Ref<UIViewController> UITabBarController::selectedViewController() {
    return selected_ < tabs_.size() ? tabs_[selected_] : nullptr;
}

void UITabBarController::setSelectedViewController(UIViewController* controller) {
    for (size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i].get() == controller) {
            select(i, false);
            return;
        }
    }
}

NSUInteger UITabBarController::selectedIndex() {
    return tabs_.empty() ? static_cast<NSUInteger>(NSNotFound) : static_cast<NSUInteger>(selected_);
}

void UITabBarController::setSelectedIndex(NSUInteger index) {
    if (index < tabs_.size()) select(index, false);
}

void UITabBarController::select(size_t index, bool animated) {
    Ref<UITabBarController> keep(this);
    Ref<UIViewController> old = selectedViewController();
    if (old == tabs_[index]) {
        syncTabBar();
        return;
    }
    switchTo(old, nullptr, index, animated);
}

void UITabBarController::switchTo(UIViewController* old, std::vector<Ref<UIViewController>>* tabs,
                                  size_t index, bool animated) {
    const auto& list = tabs ? *tabs : tabs_;
    Ref<UIViewController> fresh = index < list.size() ? list[index] : nullptr;
    bool visible = onScreen() && fresh != old;
    if (visible) {
        if (old) old->beginAppearanceTransition(false, animated);
        if (fresh) fresh->beginAppearanceTransition(true, animated);
    }
    if (old && old != fresh && old->isViewLoaded()) old->view()->removeFromSuperview();
    if (tabs) tabs_ = std::move(*tabs);
    selected_ = index;
    if (isViewLoaded()) installSelectedView();
    syncTabBar();
    if (visible) {
        if (old) old->endAppearanceTransition();
        if (fresh) fresh->endAppearanceTransition();
    }
}

void UITabBarController::installSelectedView() {
    auto selected = selectedViewController();
    if (!selected) return;
    Ref<UIView> container = view();
    Ref<UIView> content = selected->view();
    content->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
    if (content->superview().get() != container.get()) container->insertSubview(content, 0);
    layoutContent();
}

void UITabBarController::willForwardAppearance(bool isAppearing) {
    if (isAppearing) installSelectedView();
}

void UITabBarController::syncTabBar() {
    if (!tabBar_) return;
    auto items = NSMutableArray::array();
    for (auto& c : tabs_)
        items->addObject(c->tabBarItem());
    tabBar_->setItems(items);
    auto selected = selectedViewController();
    tabBar_->setSelectedItem(selected ? selected->tabBarItem().get() : nullptr);
}

void UITabBarController::layoutContent() {
    if (!isViewLoaded()) return;
    CGRect bounds = view()->bounds();
    auto selected = selectedViewController();
    auto nav = as<UINavigationController>(selected);
    bool hideBar = nav && nav->hidesBottomBar();
    tabBar_->setHidden(hideBar);
    tabBar_->setFrame(
        CGRectMake(0, bounds.size.height - kTabBarHeight, bounds.size.width, kTabBarHeight));
    if (selected && selected->isViewLoaded() &&
        selected->view()->superview().get() == view().get()) {
        CGFloat height = bounds.size.height - (hideBar ? 0 : kTabBarHeight);
        selected->view()->setFrame(CGRectMake(0, 0, bounds.size.width, height));
    }
}

std::vector<Ref<UIViewController>> UITabBarController::shownChildViewControllers() {
    auto selected = selectedViewController();
    if (!selected) return {};
    return {selected};
}

bool UITabBarController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    if (tabs_.empty()) return UIViewController::shouldAutorotateToInterfaceOrientation(orientation);
    return std::all_of(tabs_.begin(), tabs_.end(), [orientation](auto& c) {
        return c->shouldAutorotateToInterfaceOrientation(orientation);
    });
}

bool UITabBarController::userSelectTabAtIndex(NSUInteger index) {
    if (index >= tabs_.size()) return false;
    Ref<UITabBarController> keep(this);
    Ref<UIViewController> chosen = tabs_[index];
    if (chosen->tabBarItem() && !chosen->tabBarItem()->isEnabled()) return false;
    auto delegate = delegate_.lock();
    if (respondsTo(delegate.get(),
                   Selector::named("tabBarController:shouldSelectViewController:")) &&
        !delegate->tabBarControllerShouldSelectViewController(this, chosen)) {
        syncTabBar();  // the bar goes back to the tab that stays selected
        return false;
    }
    if (chosen == selectedViewController()) {
        // A second tap on the selected tab takes its stack back to the root.
        if (auto nav = as<UINavigationController>(chosen))
            nav->popToRootViewControllerAnimated(true);
        syncTabBar();
    } else {
        select(index, false);
    }
    if (respondsTo(delegate.get(), Selector::named("tabBarController:didSelectViewController:"))) {
        delegate->tabBarControllerDidSelectViewController(this, chosen);
    }
    return true;
}

bool UITabBarController::userSelectTabWithTitle(NSString* title) {
    if (!title) return false;
    for (size_t i = 0; i < tabs_.size(); ++i) {
        auto item = tabs_[i]->tabBarItem();
        auto shown = item ? item->displayTitle() : nullptr;
        auto own = tabs_[i]->title();
        if ((shown && shown->isEqualToString(title)) || (own && own->isEqualToString(title))) {
            return userSelectTabAtIndex(static_cast<NSUInteger>(i));
        }
    }
    return false;
}

void UITabBarController::tabBarDidSelectItem(UITabBar*, UITabBarItem* item) {
    for (size_t i = 0; i < tabs_.size(); ++i) {
        if (tabs_[i]->tabBarItem().get() == item) {
            userSelectTabAtIndex(static_cast<NSUInteger>(i));
            return;
        }
    }
}

// ---- the UI framework's container operations ------------------------------------------------

void UITabBarController::addSubcontroller(UIViewController* controller, bool,
                                          UIViewAnimationTransition) {
    setSelectedViewController(controller);
}

void UITabBarController::bringControllerToFront(UIViewController* controller, bool) {
    setSelectedViewController(controller);
}
