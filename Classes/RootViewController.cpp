#include "Classes/RootViewController.h"

#include "Classes/FavoriteViewController.h"
#include "Classes/PostSectionController.h"
#include "Classes/SearchViewController.h"
#include "Foundation/NSArray.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UITabBar.h"

namespace {
constexpr NSInteger kSearchTag = 100;
constexpr NSInteger kFavoriteTag = 200;
constexpr NSInteger kPostTag = 300;

}  // namespace

void RootViewController::describeClass(RuntimeClass& c) {
    c.implements({"tabBarController:shouldSelectViewController:",
                  "tabBarController:didSelectViewController:",
                  "navigationController:willShowViewController:animated:"});
}

void RootViewController::viewDidLoad() {
    UITabBarController::viewDidLoad();
    setTitle(NS("Bazaarnest"));
    setDelegate(this);

    auto outer = navigationController();
    if (outer) outer->setNavigationBarHidden(true);

    auto app = UIApplication::sharedApplication();
    app->setStatusBarStyle(UIStatusBarStyleBlackOpaque);
    app->setStatusBarHidden(false);

    // The tabs' screens are made once: a view rebuilt after a memory warning shows the same
    // screens again, with what was typed and chosen on them.
    if (!searchController_) {
        searchController_ = alloc<SearchViewController>();
        searchController_->initWithNibName(NS("SearchViewController"), nullptr);
        searchController_->setTitle(NS("Search"));
        searchController_->setTabBarItem(make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem,
                                                            UITabBarSystemItemSearch, kSearchTag)
                                             .get());
    }
    if (!favoriteController_) {
        favoriteController_ = alloc<FavoriteViewController>();
        favoriteController_->initWithNibName(NS("FavoriteViewController"), nullptr);
        favoriteController_->setTitle(NS("Favorite"));
        favoriteController_->setTabBarItem(
            make<UITabBarItem>(&UITabBarItem::initWithTabBarSystemItem, UITabBarSystemItemFavorites,
                               kFavoriteTag)
                .get());
    }

    if (!postController_) {
        postController_ = alloc<PostSectionController>();
        postController_->initWithNibName(NS("PostSectionController"), nullptr);
        postController_->setTitle(NS("New Ads"));
        postController_->setTabBarController(this);
    }
    if (!postNavigationController_) {
        postNavigationController_ = make<UINavigationController>(
            &UINavigationController::initWithRootViewController, postController_.get());
        postNavigationController_->navigationBar()->setTintColor(
            UIColor::colorWithRed(87 / 255.0f, 119 / 255.0f, 156 / 255.0f, 0));
        postNavigationController_->setTabBarItem(
            make<UITabBarItem>(&UITabBarItem::initWithTitle, NS("Post"),
                               UIImage::imageNamed(NS("document_sans_edit_32.png")).get(), kPostTag)
                .get());
    }

    setViewControllers(NSArray::arrayWithObjects(
        {searchController_.get(), favoriteController_.get(), postNavigationController_.get()}));
    if (outer) outer->setDelegate(this);
}

bool RootViewController::tabBarControllerShouldSelectViewController(UITabBarController*,
                                                                    UIViewController* controller) {
    return selectedViewController().get() != controller;
}

void RootViewController::tabBarControllerDidSelectViewController(UITabBarController*,
                                                                 UIViewController*) {}

void RootViewController::navigationControllerWillShowViewController(
    UINavigationController* navigationController, UIViewController* viewController, bool) {
    auto controllers = navigationController->viewControllers();
    bool first = controllers && controllers->count() > 0 &&
                 controllers->objectAtIndex(0).get() == viewController;
    navigationController->setNavigationBarHidden(first);
}

void RootViewController::dealloc() {
    postController_ = nullptr;
    postNavigationController_ = nullptr;
    searchController_ = nullptr;
    favoriteController_ = nullptr;
    UITabBarController::dealloc();
}
