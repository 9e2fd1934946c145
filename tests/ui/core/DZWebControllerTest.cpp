#include <gtest/gtest.h>

#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIActionSheet.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZURLMap.h"
#include "ui/core/DZWebController.h"

namespace {

std::string text(NSString* s) {
    return s ? s->utf8() : std::string("(nil)");
}

const char* kLinksPage =
    "<html><head><title>Links</title></head><body>"
    "<a href=\"tel:5551234\">call</a> <a href=\"http://itunes.appstore.test/app/1\">store</a>"
    "</body></html>";

class DZWebControllerTest : public testing::Test {
protected:
    void SetUp() override {
        DZBaseNavigator::setGlobalNavigator(nullptr);
        window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        window->makeKeyAndVisible();
        web = make<DZWebController>();
        nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                           web.get());
        window->addSubview(nav->view());
        UIApplication::sharedApplication()->clearOpenedURLs();
    }
    void TearDown() override {
        nav->view()->removeFromSuperview();
        DZBaseNavigator::setGlobalNavigator(nullptr);
    }
    bool settle() {
        return runLoopUntil([&] { return !web->webView()->isLoading(); }, 10);
    }
    std::vector<NSInteger> tags() {
        std::vector<NSInteger> t;
        auto items = web->toolbar()->items();
        for (auto item : *items)
            t.push_back(as<UIBarButtonItem>(item)->tag());
        return t;
    }
    Ref<UIWindow> window;
    Ref<DZWebController> web;
    Ref<UINavigationController> nav;
};

}  // namespace

TEST_F(DZWebControllerTest, TheToolbarHasItsOrderTagsAndStartsDisabled) {
    web->view();
    EXPECT_TRUE(web->hidesBottomBarWhenPushed());
    auto items = web->toolbar()->items();
    ASSERT_EQ(7u, items->count());
    EXPECT_EQ((std::vector<NSInteger>{2, 0, 1, 0, 3, 0, 0}), tags());
    EXPECT_EQ(web->backButton(), as<UIBarButtonItem>(items->objectAtIndex(0)));
    EXPECT_EQ(web->forwardButton(), as<UIBarButtonItem>(items->objectAtIndex(2)));
    EXPECT_TRUE(as<UIBarButtonItem>(items->objectAtIndex(0))->image());
    EXPECT_TRUE(as<UIBarButtonItem>(items->objectAtIndex(2))->image());
    EXPECT_FALSE(web->backButton()->isEnabled());
    EXPECT_FALSE(web->forwardButton()->isEnabled());
    // 44 points in portrait, 33 in landscape, the page filling the rest.
    web->updateToolbarWithOrientation(UIInterfaceOrientationPortrait);
    EXPECT_EQ(44, height(web->toolbar()));
    EXPECT_EQ(height(web->view()) - 44, height(web->webView()));
    UIApplication::sharedApplication()->setStatusBarOrientation(
        UIInterfaceOrientationLandscapeLeft);
    web->updateToolbarWithOrientation(UIInterfaceOrientationLandscapeLeft);
    EXPECT_EQ(33, height(web->toolbar()));
    EXPECT_EQ(height(web->view()) - 33, top(web->toolbar()));
    UIApplication::sharedApplication()->setStatusBarOrientation(UIInterfaceOrientationPortrait);
}

TEST_F(DZWebControllerTest, APageOverHTTPShowsLoadingThenItsTitle) {
    sitetest::site();
    auto previous = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    web->openURL(NSURL::URLWithString(NS("http://www.bazaarnest.test/about/sites")));
    EXPECT_EQ("Loading...", text(web->title()));
    EXPECT_EQ(web->activityItem(), web->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(UIBarButtonSystemItemStop,
              itemWithTag(web->toolbar(), DZWebControllerRefreshStopTag)->systemItem());
    ASSERT_TRUE(settle());
    EXPECT_NE("Loading...", text(web->title()));
    EXPECT_EQ(text(web->webView()->pageTitle()), text(web->title()));
    EXPECT_EQ(nullptr, web->navigationItem()->rightBarButtonItem());
    EXPECT_EQ(UIBarButtonSystemItemRefresh,
              itemWithTag(web->toolbar(), DZWebControllerRefreshStopTag)->systemItem());
    EXPECT_EQ("http://www.bazaarnest.test/about/sites", text(web->URL()->absoluteString()));

    // Following a link enables back; a missing page fails like a finish.
    ASSERT_GT(web->webView()->clickableElementCount(), 0u);
    web->webView()->clickElementAtIndex(1);
    runLoopUntil([&] { return web->webView()->canGoBack(); }, 10);
    ASSERT_TRUE(settle());
    EXPECT_TRUE(web->backButton()->isEnabled());
    web->openURL(NSURL::URLWithString(NS("http://www.bazaarnest.test/no/such/page")));
    ASSERT_TRUE(settle());
    EXPECT_EQ(UIBarButtonSystemItemRefresh,
              itemWithTag(web->toolbar(), DZWebControllerRefreshStopTag)->systemItem());
    web->backAction();
    ASSERT_TRUE(settle());
    EXPECT_TRUE(web->forwardButton()->isEnabled());

    // The history entry holds the page's URL.
    auto state = NSMutableDictionary::dictionary();
    EXPECT_TRUE(web->persistView(state));
    EXPECT_EQ(text(web->URL()->absoluteString()),
              text(as<NSString>(state->objectForKey(NS("URL")))));
    UIWebView::setURLLoader(previous);
}

TEST_F(DZWebControllerTest, AppLinksAreHandedOffAndTheirLoadRefused) {
    web->view();
    web->webView()->loadHTMLString(NSString::stringWithUTF8String(kLinksPage),
                                   NSURL::URLWithString(NS("http://www.bazaarnest.test/")));
    ASSERT_TRUE(settle());
    EXPECT_EQ("Links", text(web->title()));
    web->webView()->clickElementAtIndex(1);
    runLoopUntil([] { return UIApplication::sharedApplication()->openedURLs()->count() > 0; }, 2);
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(1u, opened->count());
    EXPECT_EQ("tel:5551234", text(as<NSURL>(opened->objectAtIndex(0))->absoluteString()));
    EXPECT_EQ("about:blank", text(web->URL()->absoluteString()));
    EXPECT_EQ("Links", text(web->webView()->pageTitle()));  // the page stays
    // Such a history entry is written and then skipped on restore.
    auto state = NSMutableDictionary::dictionary();
    EXPECT_TRUE(web->persistView(state));
    EXPECT_EQ("about:blank", text(as<NSString>(state->objectForKey(NS("URL")))));
    web->restoreView(state);
    EXPECT_FALSE(web->webView()->isLoading());

    web->webView()->clickElementAtIndex(2);
    runLoopUntil([] { return UIApplication::sharedApplication()->openedURLs()->count() > 1; }, 2);
    EXPECT_EQ(2u, UIApplication::sharedApplication()->openedURLs()->count());
}

TEST_F(DZWebControllerTest, TheShareSheetOpensThePageInTheSystemBrowserAndIsReleased) {
    web->view();
    web->webView()->loadHTMLString(NSString::stringWithUTF8String(kLinksPage),
                                   NSURL::URLWithString(NS("http://www.bazaarnest.test/page")));
    ASSERT_TRUE(settle());
    web->shareAction();
    auto sheet = web->actionSheet();
    ASSERT_TRUE(sheet);
    EXPECT_TRUE(sheet->isVisible());
    EXPECT_EQ("Open in Safari", text(sheet->buttonTitleAtIndex(0)));
    EXPECT_EQ("Cancel", text(sheet->buttonTitleAtIndex(sheet->cancelButtonIndex())));
    // A second tap drops it.
    web->shareAction();
    EXPECT_FALSE(web->actionSheet());
    EXPECT_FALSE(sheet->isVisible());
    web->shareAction();
    web->actionSheet()->clickButtonWithTitle(NS("Open in Safari"));
    auto opened = UIApplication::sharedApplication()->openedURLs();
    ASSERT_EQ(1u, opened->count());
    EXPECT_EQ("http://www.bazaarnest.test/page",
              text(as<NSURL>(opened->objectAtIndex(0))->absoluteString()));
    EXPECT_FALSE(web->actionSheet());  // released once dismissed
    web->shareAction();
    EXPECT_TRUE(web->actionSheet());
    web->actionSheet()->clickButtonWithTitle(NS("Cancel"));
    EXPECT_FALSE(web->actionSheet());
    EXPECT_EQ(1u, UIApplication::sharedApplication()->openedURLs()->count());
}

TEST_F(DZWebControllerTest, NavigatorCreationAndTheHeaderAboveThePage) {
    DZNavigator::navigator()->URLMap()->fromToViewController(NS("*"),
                                                             DZWebController::staticClass());
    auto request = NSURLRequest::requestWithURL(NSURL::URLWithString(NS("about:blank")));
    auto made = as<DZWebController>(DZNavigator::navigator()->viewControllerForURL(
        NS("http://www.bazaarnest.test/x"),
        NSDictionary::dictionaryWithObject(request, NS("request"))));
    ASSERT_TRUE(made);
    EXPECT_EQ("about:blank", text(made->URL()->absoluteString()));

    web->view();
    auto scroller = descendantOrSelfWithClass(web->webView(), classNamed("UIScroller"));
    auto document = descendantOrSelfWithClass(web->webView(), classNamed("UIWebDocumentView"));
    ASSERT_TRUE(scroller && document);
    CGFloat top0 = top(document), height0 = height(document);
    auto header = make<UIView>(&UIView::initWithFrame, CGRectMake(5, 5, 10, 40));
    web->setHeaderView(header);
    EXPECT_EQ(scroller, header->superview());
    EXPECT_EQ(width(web->webView()), width(header));
    EXPECT_EQ(0, top(header));
    EXPECT_EQ(top0 + 40, top(document));
    EXPECT_EQ(height0 - 40, height(document));
    web->setHeaderView(header);  // the same header changes nothing
    EXPECT_EQ(top0 + 40, top(document));
    web->setHeaderView(nullptr);
    EXPECT_FALSE(header->superview());
    EXPECT_EQ(top0, top(document));
    EXPECT_EQ(height0, height(document));
}
