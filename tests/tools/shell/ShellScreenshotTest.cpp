#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UINavigationController.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIStringDrawing.h"
#include "UIKit/UIWindow.h"
#include "tools/shell/ShellScreenshot.h"
#include "tools/shell/ShellSession.h"
#include "tools/shell/TranscriptTesting.h"

namespace {

// A screen of titles sized to their text: a back button, a bar button, a button's title and an
// alert's OK, each a little wider in the installed faces than in the test font the session's
// layout in a test program measures with.
class TitledDelegate : public NSObject, public UIApplicationDelegate {
    NS_OBJECT(TitledDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"application:didFinishLaunchingWithOptions:"});
    }
    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        auto first = make<UIViewController>();
        first->setTitle(NS("Catalog"));
        auto nav = make<UINavigationController>(&UINavigationController::initWithRootViewController,
                                                first.get());
        auto second = make<UIViewController>();
        second->setTitle(NS("Compose"));
        second->navigationItem()->setRightBarButtonItem(
            make<UIBarButtonItem>(&UIBarButtonItem::initWithTitle, NS("Hide Keyboard"),
                                  UIBarButtonItemStyleBordered, nullptr, nullptr));
        button = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        button->setFrame(CGRectMake(20, 10, 280, 40));
        button->setTitle(NS("Place Banner"), UIControlStateNormal);
        second->view()->addSubview(button);
        nav->pushViewController(second, false);
        window_->setRootViewController(nav);
        window_->makeKeyAndVisible();
        auto alert =
            make<UIAlertView>(&UIAlertView::initWithTitle, NS("Posted"), NS("Your listing is up."),
                              nullptr, NS("OK"), std::initializer_list<NSString*>{});
        alert->show();
        return true;
    }
    Ref<UIWindow> window() override { return window_; }

    static inline Ref<UIButton> button;

private:
    Ref<UIWindow> window_;
};

// Records the lines of text drawn, in place of painting them.
class RecordingPainter : public UITextPainter {
public:
    void drawLines(const std::vector<UITextLine>& lines, UIFont*, CGRect,
                   UITextAlignment) override {
        for (auto& line : lines)
            drawn.push_back(line.text);
    }
    std::vector<std::u16string> drawn;
};

}  // namespace

TEST(ShellScreenshot, WritesTheKeyWindowAsAPNGOfTheScreensPixelSize) {
    auto window = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
    window->setBackgroundColor(UIColor::redColor());
    window->makeKeyAndVisible();
    auto path = NSTemporaryDirectory()->stringByAppendingPathComponent(NS("shot.png"));

    UIScreen::mainScreen()->setScale(2);
    std::string line = ShellTakeScreenshot(path->utf8());
    UIScreen::mainScreen()->setScale(1);
    EXPECT_EQ(line,
              "Saved the screen to " + path->utf8() + " (320 x 480 points, 640 x 960 pixels).\n");
    auto image = UIImage::imageWithContentsOfFile(path);
    ASSERT_TRUE(image);
    EXPECT_EQ(image->format()->utf8(), "png");
    ASSERT_TRUE(image->CGImage());
    EXPECT_EQ(CGImageGetWidth(image->CGImage()), 640u);
    EXPECT_EQ(CGImageGetHeight(image->CGImage()), 960u);

    // A file that cannot be written is reported, and nothing else happens.
    std::string failed = ShellTakeScreenshot("/nonexistent-folder/shot.png");
    EXPECT_EQ(failed.rfind("No screenshot: ", 0), 0u) << failed;
    EXPECT_NE(failed.find("/nonexistent-folder/shot.png"), std::string::npos) << failed;
    window->setHidden(true);
    NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
}

TEST(ShellScreenshot, TitlesSizedToTheirTextReadWholeInTheShot) {
    InScratchFolder scratch("titles");
    TitledDelegate::staticClass();
    auto painter = std::make_shared<RecordingPainter>();
    CGRect before = CGRectZero;
    // The first shot is drawn, for a person to look at; of the second, what the screen was
    // drawn with is recorded. Where the title stood in the session's own layout is taken before
    // either.
    HookedLines lines(
        "screenshot titles.png\nscreenshot titles-recorded.png\nquit\n",
        HookedLines::Hooks{
            {"screenshot titles.png",
             [&] { before = TitledDelegate::button->titleLabel()->frame(); }},
            {"screenshot titles-recorded.png", [&] { UITextPainterInstall(painter); }}});
    std::istream in(&lines);
    std::ostringstream out;
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = "TitledDelegate";
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    UITextPainterInstall(nullptr);
    EXPECT_NE(out.str().find("Saved the screen to titles-recorded.png"), std::string::npos)
        << out.str();

    for (std::u16string title :
         {u"Catalog", u"Compose", u"Hide Keyboard", u"Place Banner", u"Posted", u"OK"}) {
        int whole = 0;
        for (auto& text : painter->drawn)
            whole += text == title;
        EXPECT_GT(whole, 0) << std::string(title.begin(), title.end());
    }
    for (auto& text : painter->drawn)
        EXPECT_EQ(text.find(u'\u2026'), std::u16string::npos)
            << std::string(text.begin(), text.end());
    // The session goes on with its own measures after the shot.
    CGRect after = TitledDelegate::button->titleLabel()->frame();
    EXPECT_TRUE(CGRectEqualToRect(before, after));
    EXPECT_GT(before.size.width, 0);
    TitledDelegate::button = nullptr;
}
