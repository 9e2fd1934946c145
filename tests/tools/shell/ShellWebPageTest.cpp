// A web page of the stand-in site in the terminal front end: the page loads over the URL
// connection, as in bazaarnest, and the screen printed after the settle shows its text.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "support/site/RunningSite.h"
#include "tools/shell/ShellSession.h"

namespace {

// An app whose one screen is a web view that opens the given page at launch.
class WebPageDelegate : public NSObject, public UIApplicationDelegate {
    NS_OBJECT(WebPageDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"application:didFinishLaunchingWithOptions:"});
    }
    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        web_ = make<UIWebView>(&UIWebView::initWithFrame, window_->bounds());
        window_->addSubview(web_);
        window_->makeKeyAndVisible();
        web_->loadRequest(
            NSURLRequest::requestWithURL(NSURL::URLWithString(NSString::fromUTF8(url))));
        return true;
    }
    Ref<UIWindow> window() override { return window_; }

    static inline std::string url;

private:
    Ref<UIWindow> window_;
    Ref<UIWebView> web_;
};

}  // namespace

TEST(ShellWebPage, AStandInSitePageShowsItsTextAfterTheSettle) {
    sitetest::site();  // running, its names mapped to it
    auto previous = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    WebPageDelegate::staticClass();
    WebPageDelegate::url = "http://www.bazaarnest.test/about/sites";
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = "WebPageDelegate";
    std::istringstream in("quit\n");
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    UIWebView::setURLLoader(previous);
    std::string transcript = out.str();
    std::string firstScreen = transcript.substr(0, transcript.find("\n> "));
    // The location index: regions as headings, cities as numbered links.
    EXPECT_NE(firstScreen.find("# US"), std::string::npos) << transcript;
    EXPECT_NE(firstScreen.find("] birmingham\n"), std::string::npos) << transcript;
    EXPECT_NE(firstScreen.find("bazaarnest \xC2\xA9 2012"), std::string::npos) << transcript;
    EXPECT_EQ(firstScreen.find("(loading)"), std::string::npos) << transcript;
    EXPECT_EQ(transcript.find("Still waiting"), std::string::npos) << transcript;
    EXPECT_EQ(NetworkWork::inFlight(), 0);
    auto log = sitetest::takeLog();
    ASSERT_FALSE(log.empty());
    EXPECT_NE(log.back().find("/about/sites"), std::string::npos) << log.back();
}
