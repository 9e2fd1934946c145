// The web app screen with the stand-in's rich ad page: what it keeps before it shows, its
// close button and spinner, the page's events, its reach into the ad that opened it, and the
// opener's ways to it.
#include "ads/pebble/PBLWebAppViewController.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "ads/pebble/PBLBrowserController.h"
#include "ads/pebble/PBLFullScreenTesting.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLRequest.h"

namespace {

class PBLWebAppViewControllerTest : public PBLFullScreenTest {
protected:
    bool idle(PBLWebAppViewController* screen) {
        return runLoopUntil(
            [&] { return screen->vars()->loaded_ && !screen->webView()->isLoading(); });
    }
    static std::string eval(PBLWebAppViewController* screen, const char* script) {
        return text(
            screen->webView()->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(script)));
    }
};

TEST_F(PBLWebAppViewControllerTest, KeptContentShowsWhenItAppearsAndAKeptURLWins) {
    auto html = make<PBLWebAppViewController>();
    html->loadHTML(nullptr, nullptr);  // ignored
    html->loadHTML(NS("<p>First rich ad</p>"), nullptr);
    html->loadHTML(NS("<p>Second rich ad</p>"), nullptr);
    html->presentFromViewController(root.get());
    ASSERT_TRUE(idle(html.get()));
    EXPECT_EQ(text(html->webView()->readableText()), "Second rich ad");
    html->relinquishScreen();

    auto both = make<PBLWebAppViewController>();
    both->loadHTML(NS("<p>Kept text</p>"), nullptr);
    both->load(NSURL::URLWithString(NS("http://shop.advertiser.test/webapp")).get());
    both->presentFromViewController(root.get());
    ASSERT_TRUE(idle(both.get()));
    EXPECT_NE(text(both->webView()->readableText()).find("Garden planner"), std::string::npos);
    EXPECT_EQ(targets("/webapp").size(), 1u);
}

TEST_F(PBLWebAppViewControllerTest, ATransparentPageWithTheCloseButtonAndASpinnerUntilItIsIn) {
    standin::Fault hold;
    hold.host = "shop.advertiser.test";
    hold.path = "/webapp";
    hold.gate = "rich ad";
    services->addFault(hold);
    auto screen = make<PBLWebAppViewController>();
    screen->load(NSURL::URLWithString(NS("http://shop.advertiser.test/webapp")).get());
    screen->setDelegateManager(manager.get());
    screen->presentFromViewController(root.get());
    auto web = screen->webView();
    ASSERT_TRUE(web);
    EXPECT_FALSE(web->isOpaque());
    EXPECT_EQ(web->dataDetectorTypes(), UIDataDetectorTypeNone);
    EXPECT_TRUE(CGRectEqualToRect(web->frame(), screen->view()->bounds()));
    auto close = screen->vars()->closeButton_;
    ASSERT_TRUE(close);
    EXPECT_TRUE(CGRectEqualToRect(close->frame(), CGRectMake(4, 4, 25, 25)));
    EXPECT_EQ(close->superview().get(), screen->view().get());
    auto spinner = screen->vars()->loadingSpinner_;
    ASSERT_TRUE(spinner);
    CGRect bounds = screen->view()->bounds();
    EXPECT_EQ(spinner->frame().origin.x, (bounds.size.width - 20) / 2);
    EXPECT_EQ(spinner->frame().origin.y, (bounds.size.height - 20) / 2);
    EXPECT_TRUE(spinner->isAnimating());
    EXPECT_EQ(spinner->superview().get(), web.get());

    services->gate("rich ad")->open();
    ASSERT_TRUE(idle(screen.get()));
    EXPECT_FALSE(screen->vars()->loadingSpinner_);
    EXPECT_FALSE(spinner->superview());
    // Turning the phone leaves the button in its corner.
    screen->rotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft, 0);
    EXPECT_TRUE(CGRectEqualToRect(close->frame(), CGRectMake(4, 4, 25, 25)));
    EXPECT_EQ(eval(screen.get(), "String(window.orientation)"), "-90");  // left: 4

    close->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(root->modalViewController());
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"will present", "will dismiss"}));
}

TEST_F(PBLWebAppViewControllerTest, ThePageHearsOnshowOnceAndOnhideEachTimeItGoes) {
    auto screen = make<PBLWebAppViewController>();
    screen->load(NSURL::URLWithString(NS("http://shop.advertiser.test/webapp")).get());
    screen->presentFromViewController(root.get());
    ASSERT_TRUE(idle(screen.get()));
    EXPECT_EQ(eval(screen.get(), "events.join(',')"), "onshow");
    std::string device = text(PBLIdentifierUtilities::sharedInstance()->deviceSubmodel());
    ASSERT_TRUE(runLoopUntil([&] { return log.find("webapp onshow") != std::string::npos; }));
    EXPECT_NE(log.find("webapp onshow " + text(PBLRequest::sdkVersion()) + " " + device),
              std::string::npos)
        << log;
    for (int i = 0; i < 2; ++i) {
        // Another screen over it, then gone again.
        auto cover = make<PBLViewController>();
        cover->presentFromViewController(screen.get());
        cover->relinquishScreen();
        advanceRunLoop(0.01);
    }
    EXPECT_EQ(eval(screen.get(), "events.join(',')"), "onshow,onhide,onhide");
    screen->relinquishScreen();
    EXPECT_EQ(eval(screen.get(), "events.join(',')"), "onshow,onhide,onhide,onhide");
}

TEST_F(PBLWebAppViewControllerTest, ThePageReadsItsOpenerSetsItsOrientationAndClosesItself) {
    auto opening = make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 320, 50));
    opening->loadHTMLString(NS("<p>Pebble ad 7: Garden tools at half price</p>"), nullptr);
    advanceRunLoop(0.01);
    auto screen = make<PBLWebAppViewController>();
    screen->setOpeningWebView(opening.get());
    screen->setDelegateManager(manager.get());
    screen->load(NSURL::URLWithString(NS("http://shop.advertiser.test/webapp")).get());
    screen->presentFromViewController(root.get());
    ASSERT_TRUE(idle(screen.get()));
    ASSERT_TRUE(screen->webView()->clickElementAtIndex(1))
        << text(screen->webView()->readableText());
    ASSERT_TRUE(runLoopUntil([&] {
        return eval(screen.get(), "document.getElementById('answer').textContent") ==
               "The ad says: Pebble ad 7: Garden tools at half price";
    }));
    // "settings" come with the screen's web view as sender.
    EXPECT_EQ(screen->supportedOrientations(), 1);
    ASSERT_TRUE(screen->webView()->clickElementAtIndex(2));
    ASSERT_TRUE(runLoopUntil([&] { return screen->supportedOrientations() == 2; }));
    EXPECT_FALSE(
        screen->shouldAutorotateToInterfaceOrientation(UIInterfaceOrientationLandscapeLeft));
    ASSERT_TRUE(screen->webView()->clickElementAtIndex(3));
    ASSERT_TRUE(runLoopUntil([&] { return !root->modalViewController(); }));
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"will present", "will dismiss"}));
}

TEST_F(PBLWebAppViewControllerTest, TheOpenCommandOpensTheScreenItAsksFor) {
    auto opener = make<PBLOpener>();
    opener->setViewController(root.get());
    opener->setDelegateManager(manager.get());
    auto open = [&](std::initializer_list<std::pair<const char*, const char*>> fields) {
        auto p = NSMutableDictionary::dictionary();
        for (auto& [k, v] : fields)
            p->setObject(NSString::fromUTF8(v), NSString::fromUTF8(k));
        auto note = make<PBLNotification>();
        note->setName(NS("open"));
        note->setParameters(p.get());
        opener->openNotification(note.get());
    };
    open({{"a", "webapp"}});  // neither a URL nor a page: nothing
    EXPECT_FALSE(root->modalViewController());

    open({{"a", "webapp"}, {"html", "<p>Inline rich ad</p>"}, {"o", "l"}});
    auto screen = as<PBLWebAppViewController>(root->modalViewController());
    ASSERT_TRUE(screen);
    EXPECT_EQ(screen->supportedOrientations(), 3);
    ASSERT_TRUE(idle(screen.get()));
    EXPECT_EQ(text(screen->webView()->readableText()), "Inline rich ad");

    // From the screen, the next one stacks on it and tells the banner nothing.
    opener->setViewController(screen.get());
    open({{"a", "video"}, {"u", "http://shop.advertiser.test/garden"}, {"o", "p"}});
    auto browser = as<PBLBrowserController>(screen->modalViewController());
    ASSERT_TRUE(browser);
    EXPECT_EQ(browser->supportedOrientations(), 2);
    ASSERT_TRUE(runLoopUntil([&] { return targets("/garden").size() == 1; }));
    EXPECT_EQ(recorder->events, std::vector<std::string>{"will present"});
    browser->relinquishScreen();
    screen->relinquishScreen();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"will present", "will dismiss"}));
}

}  // namespace
