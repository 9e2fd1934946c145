#include "ads/meridian/MRJSONVideoOverlayControlView.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "UIKit/UILabel.h"
#include "ads/meridian/MRVideoTesting.h"
#include "support/FoundationTesting.h"

namespace {

class TapSink : public NSObject, public MRJSONVideoOverlayControlViewDelegate {
    NS_OBJECT(TapSink, NSObject)

public:
    void jsonVideoButtonWasTapped(MRJSONVideoButton* b, MRJSONVideoOverlayControlView*) override {
        taps.push_back(b->tapURL()->absoluteString()->utf8());
    }
    std::vector<std::string> taps;
};

class MRJSONVideoOverlayControlViewTest : public testing::Test {
protected:
    void SetUp() override {
        clock_.emplace();
        auto ad = jsonAd(videoJSON("o", "http://media.meridian.test/o.mp4", R"(,"buttons":[
            {"title":"Skip","url":"mrsdk://endVideo","appearanceDelay":2,"inactivityTimeout":3,
             "opacity":{"start":0.8,"end":0.2,"fadeDuration":0.5},"width":60,"height":20},
            {"title":"More","url":"http://land.test/more","appearanceDelay":4,
             "inactivityTimeout":1,"opacity":{"start":1,"end":0.4,"fadeDuration":0}}])"));
        overlay = alloc<MRJSONVideoOverlayControlView>();
        overlay->initWithFrame(CGRectMake(0, 0, 480, 320), ad->videoButtons().get(), true,
                               sink.get());
    }
    void TearDown() override {
        overlay = nullptr;
        clock_.reset();
    }
    Ref<UIButton> button(NSUInteger i) {
        return cast<UIButton>(
            cast<NSDictionary>(overlay->buttons()->objectAtIndex(i))->objectForKey(NS("UIButton")));
    }
    bool shown(NSUInteger i) { return button(i)->superview() == overlay; }

    std::optional<ManualClockScope> clock_;
    Ref<TapSink> sink = make<TapSink>();
    Ref<MRJSONVideoOverlayControlView> overlay;
};

TEST_F(MRJSONVideoOverlayControlViewTest, ButtonsAppearFadeAndTimeOutOnTheClock) {
    ASSERT_EQ(overlay->buttons()->count(), 2u);
    auto label = overlay->countdownLabel();
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(text(label->text().get()), "Calculating time remaining...");
    EXPECT_FLOAT_EQ(label->frame().origin.x, 480 - 155);
    EXPECT_FLOAT_EQ(label->frame().size.width, 150);

    overlay->showButtons();
    advanceRunLoop(1.9);
    EXPECT_FALSE(shown(0));
    advanceRunLoop(0.2);  // 2.1 s
    ASSERT_TRUE(shown(0));
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);
    EXPECT_FALSE(shown(1));
    advanceRunLoop(2.0);  // 4.1 s
    ASSERT_TRUE(shown(1));
    EXPECT_FLOAT_EQ(button(1)->alpha(), 1.0f);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);
    advanceRunLoop(1.0);  // 5.1 s: both time-outs have run
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.2f);
    EXPECT_FLOAT_EQ(button(1)->alpha(), 0.4f);

    // A touch brings every button back at once and restarts the time-outs on release.
    auto touches = NSSet::set();
    overlay->touchesBegan(touches.get(), nullptr);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);
    EXPECT_FLOAT_EQ(button(1)->alpha(), 1.0f);
    EXPECT_EQ(overlay->runningTimeoutCount(), 0u);
    advanceRunLoop(5);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);  // held while touched
    overlay->touchesEnded(touches.get(), nullptr);
    EXPECT_EQ(overlay->runningTimeoutCount(), 2u);
    advanceRunLoop(1.1);
    EXPECT_FLOAT_EQ(button(1)->alpha(), 0.4f);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);
    advanceRunLoop(2.0);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.2f);
}

TEST_F(MRJSONVideoOverlayControlViewTest, TapPostsAndReachesTheDelegate) {
    overlay->showButtons();
    advanceRunLoop(4.1);
    advanceRunLoop(3.1);
    ASSERT_FLOAT_EQ(button(0)->alpha(), 0.2f);
    button(0)->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_EQ(sink->taps, std::vector<std::string>{"mrsdk://endVideo"});
    // The notification brought the buttons back and restarted their time-outs.
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);
    EXPECT_EQ(overlay->runningTimeoutCount(), 2u);
}

TEST_F(MRJSONVideoOverlayControlViewTest, FinishedVideoKeepsEveryButtonAndRestartStartsOver) {
    overlay->showButtons();
    advanceRunLoop(2.1);
    overlay->videoFinishedPlaying();
    EXPECT_TRUE(overlay->isVideoFinishedPlaying());
    EXPECT_EQ(overlay->countdownLabel(), nullptr);
    ASSERT_TRUE(shown(0));
    ASSERT_TRUE(shown(1));
    auto subviews = overlay->subviews();
    EXPECT_EQ(subviews->indexOfObject(button(0).get()) + 1,
              subviews->indexOfObject(button(1).get()));
    EXPECT_EQ(overlay->runningTimeoutCount(), 0u);
    advanceRunLoop(10);
    EXPECT_FLOAT_EQ(button(0)->alpha(), 0.8f);  // no time-out after the end
    overlay->touchesEnded(NSSet::set().get(), nullptr);
    EXPECT_EQ(overlay->runningTimeoutCount(), 0u);

    overlay->restart();
    EXPECT_FALSE(overlay->isVideoFinishedPlaying());
    EXPECT_FALSE(shown(0));
    EXPECT_FALSE(shown(1));
    EXPECT_NE(overlay->countdownLabel(), nullptr);
    advanceRunLoop(2.1);
    EXPECT_TRUE(shown(0));
}

}  // namespace
