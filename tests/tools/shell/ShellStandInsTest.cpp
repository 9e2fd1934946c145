// The front end and the platform's stand-ins: played system sounds, a playing movie and its
// Done control, the location and tilt commands, and image-only bar items by their
// accessibility label.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "AudioToolbox/AudioToolbox.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "MediaPlayer/MPMoviePlayerController.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"
#include "support/MediaFiles.h"
#include "tools/shell/ShellCommand.h"
#include "tools/shell/ShellSession.h"

namespace {

class StandInsDelegate : public NSObject,
                         public UIApplicationDelegate,
                         public CLLocationManagerDelegate,
                         public UIAccelerometerDelegate {
    NS_OBJECT(StandInsDelegate, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"application:didFinishLaunchingWithOptions:"});
        c.method("vibrate:", &StandInsDelegate::vibrate);
        c.method("playMovie:", &StandInsDelegate::playMovie);
        c.method("goBack:", &StandInsDelegate::goBack);
    }
    bool applicationDidFinishLaunchingWithOptions(UIApplication*, NSDictionary*) override {
        window_ = make<UIWindow>(&UIWindow::initWithFrame, UIScreen::mainScreen()->bounds());
        addButton("Vibrate", "vibrate:", 20);
        addButton("Movie", "playMovie:", 70);
        status_ = make<UILabel>(&UIView::initWithFrame, CGRectMake(20, 120, 280, 20));
        status_->setText(NS("nowhere"));
        window_->addSubview(status_);
        tilt_ = make<UILabel>(&UIView::initWithFrame, CGRectMake(20, 150, 280, 20));
        tilt_->setText(NS("still"));
        window_->addSubview(tilt_);
        auto bar = make<UIToolbar>(&UIView::initWithFrame, CGRectMake(0, 436, 320, 44));
        UIGraphicsBeginImageContextWithOptions(CGSizeMake(20, 20), false, 1);
        auto arrow = UIGraphicsGetImageFromCurrentImageContext();
        UIGraphicsEndImageContext();
        auto back = make<UIBarButtonItem>(&UIBarButtonItem::initWithImage, arrow.get(),
                                          UIBarButtonItemStylePlain, static_cast<NSObject*>(this),
                                          Selector::named("goBack:"));
        back->setAccessibilityLabel(NS("Back"));
        bar->setItems(NSArray::arrayWithObject(back));
        window_->addSubview(bar);
        window_->makeKeyAndVisible();
        locations_ = make<CLLocationManager>();
        locations_->setDelegate(this);
        locations_->startUpdatingLocation();
        UIAccelerometer::sharedAccelerometer()->setUpdateInterval(0.5);
        UIAccelerometer::sharedAccelerometer()->setDelegate(this);
        return true;
    }
    Ref<UIWindow> window() override { return window_; }
    void addButton(const char* title, const char* action, CGFloat y) {
        auto b = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        b->setFrame(CGRectMake(20, y, 280, 37));
        b->setTitle(NSString::fromUTF8(title), UIControlStateNormal);
        b->addTarget(this, Selector::named(action), UIControlEventTouchUpInside);
        window_->addSubview(b);
    }
    void vibrate(NSObject*) { AudioServicesPlaySystemSound(kSystemSoundID_Vibrate); }
    void playMovie(NSObject*) {
        std::string path = NSTemporaryDirectory()->utf8() + "/shell-movie.mp4";
        std::ofstream(path, std::ios::binary) << media_files::mp4(30);
        player_ = make<MPMoviePlayerController>(&MPMoviePlayerController::initWithContentURL,
                                                NSURL::fileURLWithPath(NSString::fromUTF8(path)));
        player_->setControlStyle(MPMovieControlStyleFullscreen);
        player_->view()->setFrame(window_->bounds());
        window_->addSubview(player_->view());
        token_ = NSNotificationCenter::defaultCenter()->addObserverForName(
            MPMoviePlayerPlaybackDidFinishNotification, player_, [this](NSNotification* n) {
                auto reason = cast<NSNumber>(
                    n->userInfo()->objectForKey(MPMoviePlayerPlaybackDidFinishReasonUserInfoKey));
                player_->view()->removeFromSuperview();
                status_->setText(NSString::stringWithFormat(NS("movie finished, reason %d"),
                                                            int(reason->integerValue())));
                NSNotificationCenter::defaultCenter()->removeObserver(token_);
            });
        player_->play();
    }
    void goBack(NSObject*) { status_->setText(NS("went back")); }
    void locationManager(CLLocationManager*, CLLocation* now, CLLocation*) override {
        status_->setText(NSString::stringWithFormat(NS("at %.2f, %.2f"), now->coordinate().latitude,
                                                    now->coordinate().longitude));
    }
    void accelerometer(UIAccelerometer*, UIAcceleration* a) override {
        tilt_->setText(
            NSString::stringWithFormat(NS("tilt %.1f %.1f %.1f"), a->x(), a->y(), a->z()));
    }

private:
    Ref<UIWindow> window_;
    Ref<UILabel> status_, tilt_;
    Ref<CLLocationManager> locations_;
    Ref<MPMoviePlayerController> player_;
    Ref<NSObject> token_;
};

std::string run(const std::string& script) {
    StandInsDelegate::staticClass();
    ShellOptions options;
    options.scriptPath = "-";
    options.delegateClassName = "StandInsDelegate";
    std::istringstream in(script);
    std::ostringstream out;
    ShellSession session(options, out, in);
    EXPECT_EQ(session.run(), 0);
    return out.str();
}

bool has(const std::string& transcript, const std::string& text) {
    return transcript.find(text) != std::string::npos;
}

TEST(ShellStandIns, SoundsMoviesLocationTiltAndBarItems) {
    std::string t =
        run("tap Vibrate\n"
            "tap Movie\n"
            "wait 12\n"
            "tap Done\n"
            "location 52.37 4.89\n"
            "tilt 0 -1 0.5\n"
            "wait 0.5\n"
            "tap Back\n");
    EXPECT_TRUE(has(t, "> tap Vibrate\n>> vibrate\n")) << t;
    EXPECT_TRUE(has(t, "[movie 0 s of 30 s]")) << t;
    EXPECT_TRUE(has(t, "[movie 12 s of 30 s]")) << t;
    EXPECT_TRUE(has(t, "movie finished, reason 2")) << t;  // user exited
    EXPECT_TRUE(has(t, "at 52.37, 4.89")) << t;
    EXPECT_TRUE(has(t, "tilt 0.0 -1.0 0.5")) << t;
    EXPECT_TRUE(has(t, "(Back)")) << t;
    EXPECT_TRUE(has(t, "went back")) << t;
    // Sounds played before the session are not its own.
    EXPECT_EQ(t.find(">> vibrate", t.find(">> vibrate") + 1), std::string::npos) << t;
}

TEST(ShellStandIns, CommandArguments) {
    using K = ShellCommandKind;
    auto tilt = parseShellCommand("tilt 0.1 -1 0");
    ASSERT_EQ(tilt.kind, K::Tilt);
    EXPECT_EQ(tilt.values, (std::vector<double>{0.1, -1, 0}));
    auto loc = parseShellCommand("location -33.87 151.21");
    ASSERT_EQ(loc.kind, K::Location);
    EXPECT_EQ(loc.values, (std::vector<double>{-33.87, 151.21}));
    for (const char* bad :
         {"tilt", "tilt 1 2", "tilt 1 2 3 4", "tilt a b c", "tilt 9 0 0", "location", "location 52",
          "location 91 4", "location 52 181", "location 52,4", "location nan 4"})
        EXPECT_EQ(parseShellCommand(bad).kind, K::Invalid) << bad;
}

}  // namespace
