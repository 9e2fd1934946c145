// The first screen of the Post tab ("New Ads"). Posting a listing comes later; for now the
// screen holds nothing but its link to the root tab bar.
#pragma once

#include "UIKit/UIViewController.h"

class UITabBarController;

class PostSectionController : public UIViewController {
    NS_OBJECT(PostSectionController, UIViewController)

    // The root tab bar that shows this screen; not retained, since the tab bar owns this
    // screen's navigation stack.
    Ref<UITabBarController> rootTabBarController() { return tabBarController_.lock(); }
    void setTabBarController(UITabBarController* controller) { tabBarController_ = controller; }

private:
    Weak<UITabBarController> tabBarController_;
};
