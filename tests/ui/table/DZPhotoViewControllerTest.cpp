// The photo browser in a navigation controller on the manual clock: its title and buttons by
// the set's size, the slideshow, the previews and the delayed full image around swipes, the
// chrome hidden by a tap, the grid by "See All", and the index clamps.
#include <gtest/gtest.h>

#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/http/TestServer.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigationController.h"
#include "ui/core/URLRequestTesting.h"
#include "ui/table/DZPhotoView.h"
#include "ui/table/DZPhotoViewController.h"
#include "ui/table/DZThumbsViewController.h"
#include "ui/table/PhotoTesting.h"

namespace {

class PhotoBrowsers : public RequestQueueTest {
protected:
    void SetUp() override {
        RequestQueueTest::SetUp();
        server.routePrefix("GET", "/set/", testhttp::image(testhttp::ImageFormat::PNG, 60, 40));
        window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
        window->makeKeyAndVisible();
    }
    void TearDown() override {
        if (nav) nav->view()->removeFromSuperview();
        RequestQueueTest::TearDown();
    }
    Ref<DZPhotoViewController> show(NSInteger count, NSInteger loaded = -1) {
        set = TestPhotoSet::setWith(count, loaded < 0 ? count : loaded, server.url("/set"));
        browser = make<DZPhotoViewController>(&DZPhotoViewController::initWithPhotoSource,
                                              static_cast<DZPhotoSource*>(set.get()));
        nav = make<DZNavigationController>(&UINavigationController::initWithRootViewController,
                                           browser.get());
        window->setRootViewController(nav);
        nav->view()->setFrame(window->bounds());
        UIView::layoutPendingViews();
        return browser;
    }
    Ref<DZPhotoView> page(NSInteger index) {
        return as<DZPhotoView>(browser->scrollView()->pageAtIndex(index));
    }
    bool waitIdle() {
        return runLoopUntil([] { return NetworkWork::inFlight() == 0; });
    }
    std::string title() { return browser->title() ? browser->title()->utf8() : "<nil>"; }

    Ref<UIWindow> window;
    Ref<TestPhotoSet> set;
    Ref<DZPhotoViewController> browser;
    Ref<DZNavigationController> nav;
};

TEST_F(PhotoBrowsers, TheTitleAndButtonsFollowTheSet) {
    show(10);
    EXPECT_EQ(title(), "1 of 10");
    auto seeAll = browser->navigationItem()->rightBarButtonItem();
    ASSERT_TRUE(seeAll);
    EXPECT_TRUE(seeAll->title()->isEqualToString(NS("See All")));
    EXPECT_FALSE(browser->previousButton()->isEnabled());
    EXPECT_TRUE(browser->nextButton()->isEnabled());
    browser->nextAction();
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 1);
    EXPECT_EQ(title(), "2 of 10");
    EXPECT_TRUE(browser->previousButton()->isEnabled());
    // The pager is black behind the pages: above and below the 3:2 photo.
    EXPECT_TRUE(browser->scrollView()->backgroundColor()->isEqual(UIColor::blackColor()));
    auto shot = UIViewRenderImage(browser->scrollView(), 1);
    RGBA above = pixelAt(shot.get(), 160, 60);
    EXPECT_EQ(above.r + above.g + above.b, 0);
    EXPECT_EQ(above.a, 255);

    show(1);
    EXPECT_EQ(title(), "Holiday");
    EXPECT_EQ(browser->navigationItem()->rightBarButtonItem(), nullptr);
    EXPECT_FALSE(browser->previousButton()->isEnabled());
    EXPECT_FALSE(browser->nextButton()->isEnabled());
}

TEST_F(PhotoBrowsers, TheSlideshowStepsEveryTwoSecondsAndWraps) {
    show(3);
    browser->playAction();
    EXPECT_TRUE(browser->isSlideshowRunning());
    advanceRunLoop(1.9);
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 0);
    advanceRunLoop(0.2);
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 1);
    advanceRunLoop(2);
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 2);
    advanceRunLoop(2);
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 0);
    // Next stops it.
    browser->nextAction();
    EXPECT_FALSE(browser->isSlideshowRunning());
    advanceRunLoop(4);
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->centerPhotoIndex(), 1);
}

TEST_F(PhotoBrowsers, ASwipeLoadsTheFullImageHalfASecondLaterUnlessADragComes) {
    show(5);
    ASSERT_TRUE(waitIdle());
    // At the start the centre loads its full image at once and the neighbour its thumbnail.
    EXPECT_EQ(page(0)->photoVersion(), DZPhotoVersionLarge);
    EXPECT_EQ(page(1)->photoVersion(), DZPhotoVersionThumbnail);

    auto fingers = UITouchScript::scriptWithWindow(window.get());
    auto f = fingers->down(CGPointMake(250, 240));
    fingers->move(f, CGPointMake(150, 240));
    fingers->up(f);
    advanceRunLoop(0.45);
    UIView::layoutPendingViews();
    ASSERT_EQ(browser->centerPhotoIndex(), 1);
    EXPECT_TRUE(browser->isImageLoadPending());
    EXPECT_EQ(page(1)->photoVersion(), DZPhotoVersionThumbnail);  // its cached thumbnail
    EXPECT_EQ(page(2)->photoVersion(), DZPhotoVersionThumbnail);
    // The page arrived 0.4 s after the lift; its full image follows 0.5 s later.
    advanceRunLoop(0.4);
    EXPECT_EQ(page(1)->photoVersion(), DZPhotoVersionThumbnail);
    advanceRunLoop(0.1);
    EXPECT_EQ(page(1)->photoVersion(), DZPhotoVersionLarge);
    ASSERT_TRUE(waitIdle());

    // A drag after the next swipe cancels the pending load.
    f = fingers->down(CGPointMake(250, 240));
    fingers->move(f, CGPointMake(150, 240));
    fingers->up(f);
    advanceRunLoop(0.45);
    UIView::layoutPendingViews();
    ASSERT_EQ(browser->centerPhotoIndex(), 2);
    EXPECT_TRUE(browser->isImageLoadPending());
    f = fingers->down(CGPointMake(200, 240));
    fingers->move(f, CGPointMake(190, 240));
    EXPECT_FALSE(browser->isImageLoadPending());
    // Let go, the page springs back in 0.3 s and its full image comes 0.25 s after that.
    fingers->up(f);
    advanceRunLoop(0.5);
    EXPECT_NE(page(2)->photoVersion(), DZPhotoVersionLarge);
    advanceRunLoop(0.1);
    EXPECT_EQ(page(2)->photoVersion(), DZPhotoVersionLarge);
}

TEST_F(PhotoBrowsers, ATapHidesTheChromeAnimatedAndAnotherShowsItAtOnce) {
    show(4);
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    ASSERT_TRUE(browser->isShowingChrome());
    fingers->tap(CGPointMake(160, 240));
    advanceRunLoop(0.25);
    EXPECT_EQ(browser->toolbar()->alpha(), 0);
    advanceRunLoop(0.4);
    EXPECT_FALSE(browser->isShowingChrome());
    EXPECT_TRUE(page(0)->hidesCaption());
    advanceRunLoop(1);
    fingers->tap(CGPointMake(160, 240));
    advanceRunLoop(0.21);
    EXPECT_TRUE(browser->isShowingChrome());
    EXPECT_EQ(browser->toolbar()->alpha(), 1);
    EXPECT_FALSE(page(0)->hidesCaption());
}

TEST_F(PhotoBrowsers, SeeAllOpensTheGridWhichOffersNoSeeAllBack) {
    show(10);
    browser->showThumbnails();
    advanceRunLoop(1);
    auto grid = as<DZThumbsViewController>(nav->topViewController());
    ASSERT_TRUE(grid);
    EXPECT_EQ(grid, browser->thumbsController());
    EXPECT_EQ(grid->photoSource(), Ref<DZPhotoSource>(set.get()));
    EXPECT_EQ(nav->view()->lastTransition(), UIViewAnimationTransitionCurlDown);

    // Picking a photo in the grid comes back to it, curling up. Two thumbs touched together (a
    // pinch across a row) pick none.
    UIView::layoutPendingViews();
    auto row = as<DZThumbsTableViewCell>(
        grid->tableView()->cellForRowAtIndexPath(NSIndexPath::indexPathForRow(1, 0)));
    ASSERT_TRUE(row);
    auto middle = [&](size_t i) {
        return row->contentView()->convertPoint(row->thumbViews()[i]->center(), window);
    };
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    auto f = fingers->down({middle(2), middle(1)});
    fingers->up(f[0]);
    fingers->up(f[1]);
    advanceRunLoop(1);
    EXPECT_EQ(nav->topViewController(), Ref<UIViewController>(grid.get()));
    fingers->tap(middle(2));
    advanceRunLoop(1);
    EXPECT_EQ(nav->topViewController(), Ref<UIViewController>(browser.get()));
    EXPECT_EQ(browser->centerPhotoIndex(), 6);

    // A browser over a grid offers no "See All".
    auto second = make<DZPhotoViewController>(&DZPhotoViewController::initWithPhotoSource,
                                              static_cast<DZPhotoSource*>(set.get()));
    nav->pushViewController(grid, false);
    nav->pushViewController(second, false);
    second->updateChrome();
    EXPECT_EQ(second->navigationItem()->rightBarButtonItem(), nullptr);
}

TEST_F(PhotoBrowsers, IndicesOutOfRangeAreClamped) {
    show(4);
    browser->moveToPhotoAtIndex(DZPhotoViewController::kNoPhotoIndex, false);
    EXPECT_EQ(browser->centerPhotoIndex(), 0);
    browser->moveToPhotoAtIndex(9, false);
    browser->moveToNextValidPhoto();
    EXPECT_EQ(browser->centerPhotoIndex(), 3);
    // An emptied set goes to the first index, not before it.
    set->loadedCount = 0;
    set->total = 0;
    browser->moveToNextValidPhoto();
    EXPECT_EQ(browser->centerPhotoIndex(), 0);
    set->didFinishLoad();
    UIView::layoutPendingViews();
    EXPECT_EQ(browser->scrollView()->centerPage(), nullptr);
    EXPECT_EQ(browser->centerPhoto(), nullptr);
}

}  // namespace

TEST_F(PhotoBrowsers, ASwipeSettlesWithTheNextPhotoCentredAndItsNeighboursOffScreen) {
    show(5);
    ASSERT_TRUE(waitIdle());
    auto pager = browser->scrollView();
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    // A quick swipe: two hundred points in five moves at one instant; the drag hides the chrome.
    auto f = fingers->down(CGPointMake(260, 240));
    for (int step = 1; step <= 5; ++step)
        fingers->move(f, CGPointMake(260 - 40 * step, 240));
    fingers->up(f);
    advanceRunLoop(1);
    ASSERT_TRUE(waitIdle());
    advanceRunLoop(1);
    UIView::layoutPendingViews();
    ASSERT_EQ(browser->centerPhotoIndex(), 1);
    CGRect bounds = pager->bounds();
    CGRect centre = page(1)->frame();
    EXPECT_FLOAT_EQ(CGRectGetMidX(centre), CGRectGetMidX(bounds)) << centre.origin.x;
    EXPECT_FLOAT_EQ(CGRectGetMidY(centre), CGRectGetMidY(bounds)) << centre.origin.y;
    for (NSInteger n : {0, 2})
        if (auto side = page(n)) {
            CGRect f = side->frame();
            EXPECT_TRUE(CGRectGetMaxX(f) <= CGRectGetMinX(bounds) ||
                        CGRectGetMinX(f) >= CGRectGetMaxX(bounds))
                << n << ": " << f.origin.x << " " << f.size.width;
        }
}
