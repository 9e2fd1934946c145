// The root tab bar: the tabs Search, Favorite and Post, inside the app's outer navigation
// stack. The tab bar itself shows without the outer navigation bar; every screen pushed over it
// shows the bar.
#pragma once

#include "UIKit/UIAlertView.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UITabBarController.h"

class FavoriteViewController;
class PostSectionController;
class SearchViewController;

class RootViewController : public UITabBarController,
                           public UITabBarControllerDelegate,
                           public UINavigationControllerDelegate,
                           public UIAlertViewDelegate {
    NS_OBJECT(RootViewController, UITabBarController)
    static void describeClass(RuntimeClass& c);

    void viewDidLoad() override;

    // Tapping the tab already selected does nothing.
    bool tabBarControllerShouldSelectViewController(UITabBarController* tabBarController,
                                                    UIViewController* viewController) override;
    void tabBarControllerDidSelectViewController(UITabBarController* tabBarController,
                                                 UIViewController* viewController) override;
    // The outer bar hides over the tab bar and shows for every pushed screen.
    void navigationControllerWillShowViewController(UINavigationController* navigationController,
                                                    UIViewController* viewController,
                                                    bool animated) override;

    Ref<PostSectionController> postController() { return postController_; }
    Ref<UINavigationController> postNavigationController() { return postNavigationController_; }

    void dealloc() override;

private:
    Ref<PostSectionController> postController_;
    Ref<SearchViewController> searchController_;
    Ref<FavoriteViewController> favoriteController_;
    Ref<UINavigationController> postNavigationController_;
};
