// The simulated movie player: loading one pass after opening, the MP4 header's duration, the
// finish at the end on the manual clock, damaged files, full screen and the Done control, and
// the pictures its view shows.
#include "MediaPlayer/MPMoviePlayerController.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "platform/UIKit/DrawingTesting.h"
#include "support/FoundationTesting.h"
#include "support/MediaFiles.h"
#include "support/RunLoopTesting.h"

namespace {

// Every notification of the player, by short name, with the time and the finish details.
struct Watcher {
    struct Seen {
        std::string name;
        NSTimeInterval at;
        NSInteger reason = -1;
        NSInteger errorCode = 0;
    };
    std::vector<Seen> seen;
    std::vector<Ref<NSObject>> tokens;

    explicit Watcher(MPMoviePlayerController* player) {
        const std::pair<NSString*, const char*> names[] = {
            {MPMoviePlayerPlaybackDidFinishNotification, "finish"},
            {MPMoviePlayerPlaybackStateDidChangeNotification, "state"},
            {MPMoviePlayerLoadStateDidChangeNotification, "load"},
            {MPMoviePlayerWillEnterFullscreenNotification, "will-enter"},
            {MPMoviePlayerDidExitFullscreenNotification, "did-exit"},
        };
        for (auto& [name, shortName] : names) {
            std::string s = shortName;
            tokens.push_back(NSNotificationCenter::defaultCenter()->addObserverForName(
                name, player, [this, s](NSNotification* n) {
                    Seen e{s, Clock::now()};
                    if (auto info = n->userInfo()) {
                        if (auto r = as<NSNumber>(info->objectForKey(
                                MPMoviePlayerPlaybackDidFinishReasonUserInfoKey)))
                            e.reason = r->integerValue();
                        if (auto err = as<NSError>(info->objectForKey(NS("error"))))
                            e.errorCode = err->code();
                    }
                    seen.push_back(e);
                }));
        }
    }
    ~Watcher() {
        for (auto& t : tokens)
            NSNotificationCenter::defaultCenter()->removeObserver(t);
    }
    std::string names() {
        std::string out;
        for (auto& e : seen)
            out += (out.empty() ? "" : " ") + e.name;
        return out;
    }
};

Ref<NSURL> movieFile(const std::string& name, const std::string& bytes) {
    std::string path = NSTemporaryDirectory()->utf8() + "/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return NSURL::fileURLWithPath(str(path));
}

Ref<MPMoviePlayerController> player(NSURL* url) {
    return make<MPMoviePlayerController>(&MPMoviePlayerController::initWithContentURL, url);
}

TEST(MPMoviePlayerController, ReadsTheDurationFromTheMovieHeader) {
    std::string good = media_files::mp4(30);
    NSTimeInterval d = 0;
    auto p = reinterpret_cast<const uint8_t*>(good.data());
    ASSERT_TRUE(MPMovieDurationOfMP4(p, good.size(), &d));
    EXPECT_DOUBLE_EQ(d, 30.0);
    // Boxes that do not add up to the file: cut short, or with bytes after the last box.
    EXPECT_FALSE(MPMovieDurationOfMP4(p, good.size() - 10, &d));
    std::string padded = good + "xyz";
    EXPECT_FALSE(
        MPMovieDurationOfMP4(reinterpret_cast<const uint8_t*>(padded.data()), padded.size(), &d));
    // No movie header at all.
    std::string bare = media_files::box("ftyp", "isom") + media_files::box("mdat", "abc");
    EXPECT_FALSE(
        MPMovieDurationOfMP4(reinterpret_cast<const uint8_t*>(bare.data()), bare.size(), &d));
}

TEST(MPMoviePlayerController, AThirtySecondMovieFinishesAtThirtySeconds) {
    ManualClockScope clock;
    auto p = player(movieFile("thirty.mp4", media_files::mp4(30)));
    Watcher w(p);
    p->setShouldAutoplay(false);
    EXPECT_EQ(p->loadState(), MPMovieLoadStateUnknown);
    p->play();  // before loading: starts when loaded
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStateStopped);
    NSTimeInterval start = Clock::now();
    advanceRunLoop(0);  // one pass of the main loop opens the file
    EXPECT_EQ(p->loadState(), MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK);
    EXPECT_DOUBLE_EQ(p->duration(), 30.0);
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStatePlaying);
    EXPECT_EQ(w.names(), "load state");
    advanceRunLoop(12);
    EXPECT_DOUBLE_EQ(p->currentPlaybackTime(), 12.0);
    p->pause();
    advanceRunLoop(100);
    EXPECT_DOUBLE_EQ(p->currentPlaybackTime(), 12.0);
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStatePaused);
    p->play();
    advanceRunLoop(17.9);
    EXPECT_EQ(w.names(), "load state state state");
    advanceRunLoop(0.2);
    ASSERT_EQ(w.names(), "load state state state state finish");
    EXPECT_DOUBLE_EQ(w.seen.back().at - start, 130.0);
    EXPECT_EQ(w.seen.back().reason, MPMovieFinishReasonPlaybackEnded);
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStateStopped);
    EXPECT_DOUBLE_EQ(p->currentPlaybackTime(), 30.0);
}

TEST(MPMoviePlayerController, AutoplayAndSeeking) {
    ManualClockScope clock;
    auto p = player(movieFile("ten.mp4", media_files::mp4(10)));
    Watcher w(p);
    EXPECT_TRUE(p->shouldAutoplay());
    advanceRunLoop(0);
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStatePlaying);
    p->setCurrentPlaybackTime(8);  // the end moves with the position
    advanceRunLoop(2.5);
    EXPECT_EQ(w.seen.back().name, "finish");
    // Stopping rewinds and finishes nothing.
    p->play();
    advanceRunLoop(3);
    p->stop();
    EXPECT_DOUBLE_EQ(p->currentPlaybackTime(), 0);
    size_t count = w.seen.size();
    advanceRunLoop(20);
    EXPECT_EQ(w.seen.size(), count);
}

TEST(MPMoviePlayerController, ADamagedMovieFinishesWithErrorMinus50) {
    ManualClockScope clock;
    std::string movie = media_files::mp4(30);
    auto p = player(movieFile("damaged.mp4", movie.substr(0, movie.size() - 100)));
    Watcher w(p);
    p->play();
    EXPECT_TRUE(w.seen.empty());
    advanceRunLoop(0);
    ASSERT_EQ(w.names(), "finish");
    EXPECT_EQ(w.seen[0].reason, MPMovieFinishReasonPlaybackError);
    EXPECT_EQ(w.seen[0].errorCode, -50);
    EXPECT_EQ(p->loadState(), MPMovieLoadStateUnknown);
    p->play();  // nothing to play
    advanceRunLoop(60);
    EXPECT_EQ(w.names(), "finish");
    // A file that is not there fails the same way.
    auto missing = player(NSURL::fileURLWithPath(NS("/no/such/movie.mp4")));
    Watcher wm(missing);
    advanceRunLoop(0);
    ASSERT_EQ(wm.names(), "finish");
    EXPECT_EQ(wm.seen[0].errorCode, -50);
}

TEST(MPMoviePlayerController, FullScreenViewAndTheDoneControl) {
    ManualClockScope clock;
    auto p = player(movieFile("done.mp4", media_files::mp4(30)));
    Watcher w(p);
    p->setControlStyle(MPMovieControlStyleEmbedded);
    auto view = p->view();
    ASSERT_TRUE(is<MPMovieView>(view));
    EXPECT_EQ(cast<MPMovieView>(view)->player(), p);
    auto done = as<UIButton>(view->subviewList().at(0));
    ASSERT_TRUE(done);
    EXPECT_EQ(text(done->titleForState(UIControlStateNormal)), "Done");
    EXPECT_TRUE(done->isHidden());  // embedded controls have no Done
    p->setControlStyle(MPMovieControlStyleFullscreen);
    EXPECT_FALSE(done->isHidden());
    p->setFullscreen(true, true);
    EXPECT_TRUE(p->isFullscreen());
    advanceRunLoop(5);
    done->sendActionsForControlEvents(UIControlEventTouchUpInside);
    EXPECT_FALSE(p->isFullscreen());
    EXPECT_EQ(w.names(), "will-enter load state did-exit state finish");
    EXPECT_EQ(w.seen.back().reason, MPMovieFinishReasonUserExited);
    EXPECT_EQ(p->playbackState(), MPMoviePlaybackStateStopped);
    advanceRunLoop(60);  // no second finish when the movie would have ended
    EXPECT_EQ(w.seen.back().name, "finish");
    EXPECT_EQ(w.seen.size(), 6u);
}

// A PNG file of one colour, 48 x 32.
std::string picture(UIColor* colour) {
    auto image =
        paintedImage(CGSizeMake(48, 32), 1, [&] { fill(colour, CGRectMake(0, 0, 48, 32)); });
    auto png = UIImagePNGRepresentation(image.get());
    return std::string(static_cast<const char*>(png->bytes()), png->length());
}

// The player's view as drawn, 120 x 80.
Ref<UIImage> drawn(MPMoviePlayerController* p) {
    auto view = p->view();
    view->setFrame(CGRectMake(0, 0, 120, 80));
    return paintedImage(CGSizeMake(120, 80), 1,
                        [&] { view->layer()->renderInContext(UIGraphicsGetCurrentContext()); });
}

TEST(MPMoviePlayerController, TheViewShowsTheMoviesPicturesInTurnAndMarksAPause) {
    ManualClockScope clock;
    // Two pictures at the start of the media data, then filler: each shows for half the movie.
    std::string red = picture(UIColor::redColor().get()),
                blue = picture(UIColor::blueColor().get());
    std::string movie = media_files::mp4(30);
    std::string mdat = red + blue + std::string(100, '\x11');
    movie = movie.substr(0, movie.size() - 256 - 8) + media_files::box("mdat", mdat);
    auto positions =
        MPMoviePicturesOfMP4(reinterpret_cast<const uint8_t*>(movie.data()), movie.size());
    ASSERT_EQ(positions.size(), 2u);
    EXPECT_EQ(positions[1].second, blue.size());

    auto p = player(movieFile("pictures.mp4", movie));
    EXPECT_TRUE(near(pixelAt(drawn(p).get(), 60, 40), kBlack, 0));  // not loaded yet: black
    advanceRunLoop(0.1);
    ASSERT_EQ(p->frames()->count(), 2u);
    // The 3:2 pictures fill the 3:2 view.
    auto first = drawn(p);
    EXPECT_TRUE(near(pixelAt(first.get(), 60, 40), kRed, 2));
    EXPECT_TRUE(near(pixelAt(first.get(), 2, 2), kRed, 2));
    advanceRunLoop(16);
    EXPECT_TRUE(near(pixelAt(drawn(p).get(), 2, 2), kBlue, 2));
    // Paused: a dark disc with two white bars in the middle over the picture.
    p->pause();
    auto paused = drawn(p);
    EXPECT_TRUE(near(pixelAt(paused.get(), 60 - 8, 40), kWhite, 2));
    EXPECT_TRUE(near(pixelAt(paused.get(), 60 + 8, 40), kWhite, 2));
    RGBA disc = pixelAt(paused.get(), 60, 40);
    EXPECT_LT(disc.b, 120);
    EXPECT_TRUE(near(pixelAt(paused.get(), 2, 2), kBlue, 2));
    p->play();
    EXPECT_TRUE(near(pixelAt(drawn(p).get(), 60, 40), kBlue, 2));

    // A movie without pictures shows black, and a damaged one has none.
    auto plain = player(movieFile("plain.mp4", media_files::mp4(30)));
    advanceRunLoop(0.1);
    EXPECT_EQ(plain->frames()->count(), 0u);
    EXPECT_TRUE(near(pixelAt(drawn(plain).get(), 60, 40), kBlack, 0));
    EXPECT_TRUE(
        MPMoviePicturesOfMP4(reinterpret_cast<const uint8_t*>(movie.data()), movie.size() - 1)
            .empty());
}

}  // namespace
