#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIViewRendering.h"
#include "UIKit/UIWindow.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/RunLoopTesting.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZView.h"
#include "ui/style/DZActivityLabel.h"
#include "ui/table/DZPostController.h"
#include "ui/table/TableTesting.h"

namespace {

class PostRecorder : public NSObject, public DZPostControllerDelegate {
    NS_OBJECT(PostRecorder, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"postController:willPostText:", "postController:willAnimateTowards:",
                      "postController:didPostText:withResult:", "postControllerDidCancel:"});
    }

public:
    bool postControllerWillPostText(DZPostController*, NSString* text) override {
        events.push_back(std::string("will ") + text->UTF8String());
        return posts;
    }
    CGRect postControllerWillAnimateTowards(DZPostController*, CGRect rect) override {
        events.push_back("towards");
        return towards ? *towards : rect;
    }
    void postControllerDidPostText(DZPostController*, NSString* text, NSObject*) override {
        events.push_back(std::string("did ") + text->UTF8String());
    }
    void postControllerDidCancel(DZPostController*) override { events.push_back("cancel"); }
    std::vector<std::string> events;
    bool posts = true;
    std::optional<CGRect> towards;
};

class TitledPost : public DZPostController {
    NS_OBJECT(TitledPost, DZPostController)

public:
    Ref<NSString> titleForActivity() override { return NS("Sending..."); }
};

Ref<UIAlertView> frontAlert() {
    auto panels = UIButtonPanelView::shownPanels();
    return panels && panels->count() ? as<UIAlertView>(panels->lastObject()) : nullptr;
}

class DZPostControllers : public ::testing::Test {
protected:
    void SetUp() override {
        app = UIApplication::sharedApplication();
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        app->setStatusBarHidden(false);
        app->setStatusBarStyle(UIStatusBarStyleDefault);
        window = testWindow();
        recorder = make<PostRecorder>();
    }
    void TearDown() override {
        app->setStatusBarOrientation(UIInterfaceOrientationPortrait);
        // Over a copy: each removal changes the list.
        Ref<NSArray> views = window->subviews();
        for (NSObject* v : *views)
            static_cast<UIView*>(v)->removeFromSuperview();
    }
    Ref<TitledPost> makePost(NSString* text, UIView* origin = nullptr) {
        auto query = NSMutableDictionary::dictionary();
        query->setObject(recorder.get(), NS("delegate"));
        if (text) query->setObject(text, NS("text"));
        query->setObject(NS("Comment"), NS("title"));
        if (origin) query->setObject(origin, NS("__target__"));
        return ::make<TitledPost>(&TitledPost::initWithNavigatorURL, nullptr, query.get());
    }

    ManualClockScope clock;
    Ref<UIApplication> app;
    Ref<UIWindow> window;
    Ref<PostRecorder> recorder;
};

TEST_F(DZPostControllers, TheBoxReachesDownToThePortraitAndLandscapeKeyboards) {
    auto post = makePost(NS("Hi"));
    post->showInView(window.get(), false);
    EXPECT_EQ(post->view()->window().get(), window.get());
    auto bar = post->navigatorBar();
    CGFloat barHeight = height(bar.get());
    ASSERT_GT(barHeight, 0);
    CGRect screen = post->screenView()->frame();
    EXPECT_FLOAT_EQ(screen.origin.y, barHeight);
    EXPECT_FLOAT_EQ(screen.size.width, 320);
    EXPECT_FLOAT_EQ(screen.size.height, 460 - (216 + barHeight));
    CGRect text = post->textView()->frame();
    EXPECT_FLOAT_EQ(text.origin.x, 5);
    EXPECT_FLOAT_EQ(text.origin.y, barHeight + 6);
    EXPECT_FLOAT_EQ(text.size.width, 310);
    EXPECT_FLOAT_EQ(text.size.height, screen.size.height - 12);
    EXPECT_STREQ(post->textView()->text()->UTF8String(), "Hi");
    EXPECT_TRUE(post->textView()->isFirstResponder());
    EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleBlackTranslucent);
    EXPECT_STREQ(bar->topItem()->title()->UTF8String(), "Comment");

    // The popup's own black bar over the black background.
    auto image = UIViewRenderImage(post->view().get(), 1);
    // Left of the title, clear of the Cancel button.
    RGBA onBar = pixelAt(image.get(), 100, static_cast<int>(barHeight / 2));
    EXPECT_LT(onBar.r + onBar.g + onBar.b, 3 * 90);

    app->setStatusBarOrientation(UIInterfaceOrientationLandscapeRight);
    post->willAnimateRotationToInterfaceOrientation(UIInterfaceOrientationLandscapeRight, 0.3);
    barHeight = height(bar.get());
    screen = post->screenView()->frame();
    EXPECT_FLOAT_EQ(screen.size.width, 480);
    EXPECT_FLOAT_EQ(screen.size.height, 300 - (160 + barHeight));

    post->dismissWithResult(nullptr, false);
    EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleDefault);
}

TEST_F(DZPostControllers, PostingShrinksIntoTheOriginThenReportsAndFreesTheController) {
    auto origin = ::make<UIView>(&UIView::initWithFrame, CGRectMake(10, 100, 50, 30));
    window->addSubview(origin.get());
    auto post = makePost(nullptr, origin.get());
    post->showInView(window.get(), true);
    EXPECT_TRUE(origin->isHidden());
    advanceRunLoop(0.31);
    EXPECT_FALSE(post->textView()->isHidden());
    post->textView()->insertText(NS("Nice bike"));

    Weak<DZPostController> weak = post.get();
    post->post();
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"will Nice bike", "towards"}));
    EXPECT_FALSE(origin->isHidden());
    // The box shrinks into the origin's screen frame, raised by the status bar.
    EXPECT_TRUE(CGRectEqualToRect(post->screenView()->frame(), CGRectMake(10, 80, 50, 30)));
    EXPECT_FLOAT_EQ(post->innerView()->alpha(), 0);
    EXPECT_FALSE(post->textView()->isFirstResponder());
    advanceRunLoop(0.31);
    EXPECT_EQ(recorder->events.back(), "did Nice bike");
    EXPECT_FALSE(post->view()->superview());
    post = nullptr;
    EXPECT_FALSE(weak.lock());
}

TEST_F(DZPostControllers, ARefusalShowsTheActivityUntilAnErrorAndEmptyTargetsKeepTheOrigin) {
    auto post = makePost(nullptr);
    post->setOriginRect(CGRectMake(0, 300, 100, 40));
    post->showInView(window.get(), false);
    post->textView()->insertText(NS("x"));
    recorder->posts = false;
    post->post();
    auto label = post->activityView();
    ASSERT_TRUE(label);
    EXPECT_FALSE(label->isHidden());
    EXPECT_STREQ(label->text()->UTF8String(), "Sending...");
    EXPECT_TRUE(post->textView()->isHidden());
    EXPECT_FALSE(post->navigationItem()->rightBarButtonItem()->isEnabled());
    post->failWithError(nullptr);
    EXPECT_TRUE(label->isHidden());
    EXPECT_FALSE(post->textView()->isHidden());
    EXPECT_TRUE(post->navigationItem()->rightBarButtonItem()->isEnabled());
    EXPECT_FALSE(frontAlert());  // no error title: no alert

    recorder->posts = true;
    recorder->towards = CGRectZero;
    post->post();
    EXPECT_TRUE(CGRectEqualToRect(post->originRect(), CGRectMake(0, 300, 100, 40)));
    EXPECT_TRUE(CGRectEqualToRect(post->screenView()->frame(), CGRectMake(0, 280, 100, 40)));
    advanceRunLoop(0.31);
}

TEST_F(DZPostControllers, CancelClosesAtOnceOnTheDefaultTextAndAsksOtherwise) {
    Weak<DZPostController> weak;
    {
        auto post = makePost(NS("Draft"));
        weak = post.get();
        post->showInView(window.get(), true);
        post->cancel();
        EXPECT_FALSE(frontAlert());
        EXPECT_EQ(recorder->events, (std::vector<std::string>{"cancel"}));
        EXPECT_FLOAT_EQ(post->view()->alpha(), 0);
        EXPECT_TRUE(post->view()->superview());  // until the fade ends
    }
    EXPECT_TRUE(weak.lock());  // it holds itself while it fades
    advanceRunLoop(0.31);
    EXPECT_FALSE(weak.lock());

    auto post = makePost(NS("Draft"));
    post->showInView(window.get(), false);
    post->textView()->insertText(NS("!"));
    post->cancel();
    ASSERT_TRUE(frontAlert());
    ASSERT_TRUE(frontAlert()->clickButtonWithTitle(NS("No")));
    EXPECT_TRUE(post->view()->superview());
    EXPECT_FLOAT_EQ(post->view()->alpha(), 1);
    post->cancel();
    ASSERT_TRUE(frontAlert()->clickButtonWithTitle(NS("Yes")));
    EXPECT_EQ(recorder->events.back(), "cancel");
    advanceRunLoop(0.31);
    EXPECT_FALSE(post->view()->superview());
}

TEST_F(DZPostControllers, ShowingTwiceHoldsOnceAndAnImmediateDismissalOutlivesItsLastHold) {
    auto post = makePost(NS("Once"));
    post->showInView(window.get(), false);
    post->showInView(window.get(), false);
    Weak<DZPostController> weak = post.get();
    DZPostController* raw = post.get();
    post = nullptr;
    ASSERT_TRUE(weak.lock());
    // The report, the release of the self-hold and the keyboard all happen in this call.
    raw->dismissWithResult(nullptr, false);
    EXPECT_EQ(recorder->events, (std::vector<std::string>{"did Once"}));
    EXPECT_FALSE(weak.lock());
    EXPECT_EQ(app->statusBarStyle(), UIStatusBarStyleDefault);
}

TEST_F(DZPostControllers, StateKeepsTextAndTitle) {
    auto post = makePost(NS("Kept"));
    post->showInView(window.get(), false);
    auto state = NSMutableDictionary::dictionary();
    post->persistView(state.get());
    EXPECT_STREQ(as<NSString>(state->objectForKey(NS("text")))->UTF8String(), "Kept");
    EXPECT_STREQ(as<NSString>(state->objectForKey(NS("title")))->UTF8String(), "Comment");
    EXPECT_TRUE(state->objectForKey(NS("__important__")));
    auto restored = ::make<DZPostController>();
    restored->restoreView(state.get());
    EXPECT_STREQ(restored->defaultText()->UTF8String(), "Kept");
    EXPECT_STREQ(restored->navigationItem()->title()->UTF8String(), "Comment");
    EXPECT_STREQ(DZPostController::stripWhitespace(NS(" \ta b\t "))->UTF8String(), "a b");
    EXPECT_STREQ(DZPostController::stripWhitespace(nullptr)->UTF8String(), "");
    post->dismissPopupViewControllerAnimated(false);
}

}  // namespace
