// A web page of the stand-in site in the terminal front end: the page loads over the URL
// connection, as in bazaarnest, and the screen printed after the settle shows its text.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/NetworkWork.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWebView.h"
#include "UIKit/UIWebViewConnectionLoader.h"
#include "UIKit/UIWindow.h"
#include "support/RunLoopTesting.h"
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
    // The site writes its log line after the answer, from its own thread.
    bool logged = runLoopUntil([] {
        for (const std::string& line : sitetest::takeLog())
            if (line.find("/about/sites") != std::string::npos) return true;
        return false;
    });
    EXPECT_TRUE(logged);
}

TEST(ShellWebPage, AScreenshotShowsThePagePainted) {
    sitetest::site();
    auto previous = UIWebView::setURLLoader(UIWebViewConnectionLoader());
    WebPageDelegate::staticClass();
    WebPageDelegate::url = "http://www.bazaarnest.test/about/sites";
    auto path = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("web-page.png"));
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = "WebPageDelegate";
    std::istringstream in("screenshot " + path->utf8() + "\nquit\n");
    std::ostringstream out;
    UIScreen::mainScreen()->setScale(2);
    {
        ShellSession session(options, out, in);
        EXPECT_EQ(session.run(), 0);
    }
    UIScreen::mainScreen()->setScale(1);
    UIWebView::setURLLoader(previous);
    std::string transcript = out.str();
    EXPECT_NE(transcript.find("Saved the screen to " + path->utf8()), std::string::npos)
        << transcript;
    auto image = UIImage::imageWithContentsOfFile(path);
    ASSERT_TRUE(image && image->CGImage()) << transcript;
    auto px = UIImagePixelsOf(image->CGImage());
    ASSERT_EQ(px.width, 640u);
    ASSERT_EQ(px.height, 960u);
    // A white page with dark text (the region headings) and blue links (the cities), all
    // within the page's margins. The page's top lies under the status bar's 20 points.
    size_t dark = 0, blue = 0, white = 0, darkInMargin = 0;
    for (size_t y = 40; y < px.height; ++y) {
        for (size_t x = 0; x < px.width; ++x) {
            uint32_t w = px.argb[y * px.width + x];
            int r = int((w >> 16) & 0xFF), g = int((w >> 8) & 0xFF), b = int(w & 0xFF);
            if (r > 250 && g > 250 && b > 250) {
                ++white;
            } else if (r < 60 && g < 60 && b < 60) {
                ++dark;
                if (x < 16) ++darkInMargin;  // 8 points of margin
            } else if (b > 180 && r < 80 && g < 80) {
                ++blue;
            }
        }
    }
    EXPECT_GT(white, px.width * px.height / 2);
    EXPECT_GT(dark, 100u);
    EXPECT_GT(blue, 100u);
    EXPECT_EQ(darkInMargin, 0u);
    NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
}
