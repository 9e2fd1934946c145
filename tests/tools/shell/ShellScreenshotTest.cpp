#include <gtest/gtest.h>

#include <string>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIWindow.h"
#include "tools/shell/ShellScreenshot.h"

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
