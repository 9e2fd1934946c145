// Tabs: one child controller per tab bar item; the selected child's view fills the space
// above the tab bar.
#pragma once

#include "UIKit/UITabBar.h"
#include "UIKit/UIViewController.h"

class UITabBarController;

// "tabBarController:shouldSelectViewController:", "tabBarController:didSelectViewController:"
// and the three customizing calls, all optional.
class UITabBarControllerDelegate {
public:
    virtual ~UITabBarControllerDelegate() = default;
    virtual bool tabBarControllerShouldSelectViewController(UITabBarController*,
                                                            UIViewController*) {
        return true;
    }
    virtual void tabBarControllerDidSelectViewController(UITabBarController*, UIViewController*) {}
    // The user's editing of which controllers the tab bar holds (the More list).
    virtual void tabBarControllerWillBeginCustomizingViewControllers(UITabBarController*,
                                                                     NSArray*) {}
    virtual void tabBarControllerWillEndCustomizingViewControllers(UITabBarController*, NSArray*,
                                                                   bool /*changed*/) {}
    virtual void tabBarControllerDidEndCustomizingViewControllers(UITabBarController*, NSArray*,
                                                                  bool /*changed*/) {}
};

class UITabBarController : public UIViewController, public UITabBarDelegate {
    NS_OBJECT(UITabBarController, UIViewController)
    static void describeClass(RuntimeClass& c);

    void loadView() override;

    Ref<NSArray> viewControllers();
    void setViewControllers(NSArray* controllers) { setViewControllers(controllers, false); }
    // The selection stays on the controller selected before when it is still there, else on
    // the same index when it exists, else on the first tab.
    virtual void setViewControllers(NSArray* controllers, bool animated);

    // Selecting by program asks no delegate (as on the platform).
    Ref<UIViewController> selectedViewController();
    void setSelectedViewController(UIViewController* controller);
    // NSNotFound when there are no tabs.
    NSUInteger selectedIndex();
    void setSelectedIndex(NSUInteger index);

    Ref<UITabBar> tabBar();

    Ref<UITabBarControllerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UITabBarControllerDelegate* delegate) { delegate_ = delegate; }

    // A tap on a tab (the shell's "tab" command and the tab bar's items): the delegate may
    // refuse; choosing the tab already selected pops a navigation controller to its root.
    // False when nothing was selected.
    bool userSelectTabAtIndex(NSUInteger index);
    // By the tab's title (the item's title, else the controller's).
    bool userSelectTabWithTitle(NSString* title);

    std::vector<Ref<UIViewController>> shownChildViewControllers() override;
    // Every tab must agree.
    bool shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) override;
    void tabBarDidSelectItem(UITabBar* bar, UITabBarItem* item) override;
    void dealloc() override;

    // The framework's container operations: adding or bringing a child selects it; the tabs
    // have no keys.
    bool canContainControllers() override { return true; }
    Ref<UIViewController> topSubcontroller() override { return selectedViewController(); }
    void addSubcontroller(UIViewController* controller, bool animated,
                          UIViewAnimationTransition transition) override;
    void bringControllerToFront(UIViewController* controller, bool animated) override;
    Ref<NSString> keyForSubcontroller(UIViewController*) override { return nullptr; }
    Ref<UIViewController> subcontrollerForKey(NSString*) override { return nullptr; }

    // Lays out the tab bar and the selected view (the tab bar hides while a pushed controller
    // asks for it).
    void layoutContent();

protected:
    void willForwardAppearance(bool isAppearing) override;

private:
    friend class UIViewController;
    void select(size_t index, bool animated);
    // Hands the screen from `old` to the tab at `index` of `tabs` (which become the tabs; nil:
    // the tabs stay), with the appearance calls when on screen and the shown controller changes.
    void switchTo(UIViewController* old, std::vector<Ref<UIViewController>>* tabs, size_t index,
                  bool animated);
    void installSelectedView();
    bool onScreen();
    void syncTabBar();

    std::vector<Ref<UIViewController>> tabs_;
    size_t selected_ = 0;
    Ref<UITabBar> tabBar_;
    Weak<UITabBarControllerDelegate> delegate_;
};
