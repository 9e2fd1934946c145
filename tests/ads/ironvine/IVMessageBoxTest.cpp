#include "ads/ironvine/IVMessageBox.h"

#include <gtest/gtest.h>

#include <string>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScrollView.h"
#include "UIKit/UITouchScript.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"

namespace {

class TouchRecorder : public UIView {
    NS_OBJECT(TouchRecorder, UIView)
    void touchesEnded(NSSet*, UIEvent*) override { ++ended; }
    int ended = 0;
};

TEST(IVMessageBoxTest, StartsAsACentredSquare) {
    auto box = IVMessageBox::messageBox();
    auto view = box->boxView();
    ASSERT_TRUE(view);
    EXPECT_EQ(view->frame().size.width, 256.0f);
    EXPECT_EQ(view->frame().size.height, 256.0f);
    EXPECT_EQ(view->frame().origin.x, (320.0f - 256.0f) * 0.5f);
    EXPECT_EQ(view->autoresizingMask(), 45u);
    EXPECT_EQ(view->cornerRadius(), 16.0f);
    EXPECT_EQ(view->contentView()->frame().size.width, 256.0f - 32.0f);
}

TEST(IVMessageBoxTest, TitleAndMessageStackAndTheBoxFits) {
    auto box = IVMessageBox::messageBox();
    box->setTitle(NS("Loading"));
    box->setMessage(NS("Please wait"));
    box->setMessage(NS("Still loading"));  // replaces the message
    auto view = box->boxView();
    auto labels = view->contentView()->subviews();
    ASSERT_EQ(labels->count(), 2u);
    CGFloat titleHeight = box->titleView()->frame().size.height;
    CGFloat messageHeight = box->messageView()->frame().size.height;
    EXPECT_EQ(box->messageView()->frame().origin.y, titleHeight);
    auto container = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    box->showInView(container.get());
    EXPECT_EQ(view->superview().get(), container.get());
    EXPECT_FLOAT_EQ(view->center().x, 160.0f);
    EXPECT_FLOAT_EQ(view->center().y, 240.0f);
    EXPECT_NEAR(view->bounds().size.height, titleHeight + messageHeight + 32.0f, 0.01);
    CGFloat widest =
        std::max(box->titleView()->frame().size.width, box->messageView()->frame().size.width);
    EXPECT_NEAR(view->bounds().size.width, widest + 32.0f, 0.01);
    box->hide();
    EXPECT_FALSE(view->superview());  // gone at once; the fade is not seen
}

TEST(IVMessageBoxTest, TallContentScrollsInAtMost320Points) {
    auto box = IVMessageBox::messageBox();
    box->setTitle(NS("Title"));
    std::string lines;
    for (int i = 0; i < 40; ++i)
        lines += "line " + std::to_string(i) + "\n";
    box->setMessage(str(lines).get());
    auto container = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    box->showInView(container.get());
    auto view = box->boxView();
    EXPECT_EQ(view->bounds().size.height, 320.0f);
    EXPECT_GT(view->contentView()->contentSize().height, view->contentView()->bounds().size.height);
}

TEST(IVMessageBoxTest, BackgroundIsARoundedGradientWithAWhiteRim) {
    auto box = IVMessageBox::messageBox();
    auto view = box->boxView();
    auto image = UIViewRenderImage(view.get(), 1.0f);
    ASSERT_TRUE(image);
    // Outside the rounded corner nothing is drawn.
    EXPECT_TRUE(near(pixelAt(image.get(), 0, 0), kClear));
    EXPECT_TRUE(near(pixelAt(image.get(), 255, 255), kClear));
    // The rim is white.
    EXPECT_TRUE(near(pixelAt(image.get(), 1, 128), kWhite, 8));
    EXPECT_TRUE(near(pixelAt(image.get(), 128, 1), kWhite, 8));
    // Translucent grey at the top, darker further down, black near the bottom.
    RGBA top = pixelAt(image.get(), 128, 10);
    RGBA middle = pixelAt(image.get(), 128, 128);
    RGBA bottom = pixelAt(image.get(), 128, 250);
    EXPECT_NEAR(top.a, 191, 4);
    EXPECT_NEAR(middle.a, 191, 4);
    EXPECT_GT(top.r, middle.r);
    EXPECT_GT(middle.r, bottom.r);
    EXPECT_NEAR(top.r, 102, 6);  // 0.04 of the way: between grey 0.5 and 0.25
    EXPECT_LT(bottom.r, 12);
    EXPECT_EQ(top.r, top.g);
    EXPECT_EQ(top.g, top.b);
}

// The loading box covers what lies beneath it: a tap on it goes no further.
TEST(IVMessageBoxTest, TouchesOnTheBoxAreSwallowed) {
    ManualClockScope clock;
    auto window = make<UIWindow>(&UIWindow::initWithFrame, CGRectMake(0, 0, 320, 480));
    auto beneath = make<TouchRecorder>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
    window->addSubview(beneath.get());
    window->makeKeyAndVisible();
    auto box = IVMessageBox::messageBox();
    box->setMessage(NS("Loading"));
    box->showInView(beneath.get());
    auto fingers = UITouchScript::scriptWithWindow(window.get());
    CGRect frame = box->boxView()->frame();
    // Inside the rim, outside the stacked views: the box's own view is hit.
    auto hit = fingers->tap(CGPointMake(frame.origin.x + 4, frame.origin.y + 4));
    EXPECT_EQ(hit.get(), box->boxView().get());
    EXPECT_EQ(beneath->ended, 0);
    advanceRunLoop(1.0);
    auto outside = fingers->tap(CGPointMake(4, 4));
    EXPECT_EQ(outside.get(), beneath.get());
    EXPECT_EQ(beneath->ended, 1);
    window->setHidden(true);
}

}  // namespace
