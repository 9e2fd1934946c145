// The movie player, simulated on the Clock: a movie plays for as long as its MP4 movie header
// ('mvhd') says, and its view shows the PNG pictures its media data ('mdat') starts with, each
// for an equal share of that time (there is no video codec: a movie without them shows black).
// The file is opened one main-loop pass after the player is made: then it is playable, or,
// when it cannot be read or its top-level boxes do not add up to the file's size, the movie
// finishes with an error of code -50 (NSOSStatusErrorDomain) under "error" in the did-finish
// notification.
#pragma once

#include <utility>
#include <vector>

#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class NSArray;
class NSError;
class NSTimer;
class NSURL;
class MPMoviePlayerController;
class UIImage;

enum MPMoviePlaybackState : NSInteger {
    MPMoviePlaybackStateStopped = 0,
    MPMoviePlaybackStatePlaying,
    MPMoviePlaybackStatePaused,
    MPMoviePlaybackStateInterrupted,
    MPMoviePlaybackStateSeekingForward,
    MPMoviePlaybackStateSeekingBackward,
};

using MPMovieLoadState = NSUInteger;
enum : MPMovieLoadState {
    MPMovieLoadStateUnknown = 0,
    MPMovieLoadStatePlayable = 1 << 0,
    MPMovieLoadStatePlaythroughOK = 1 << 1,
    MPMovieLoadStateStalled = 1 << 2,
};

enum MPMovieControlStyle : NSInteger {
    MPMovieControlStyleNone = 0,
    MPMovieControlStyleEmbedded,
    MPMovieControlStyleFullscreen,
    MPMovieControlStyleDefault = MPMovieControlStyleFullscreen,
};

enum MPMovieFinishReason : NSInteger {
    MPMovieFinishReasonPlaybackEnded = 0,
    MPMovieFinishReasonPlaybackError,
    MPMovieFinishReasonUserExited,
};

// The object of each is the player.
extern NSString* const MPMoviePlayerPlaybackDidFinishNotification;
extern NSString* const MPMoviePlayerPlaybackStateDidChangeNotification;
extern NSString* const MPMoviePlayerLoadStateDidChangeNotification;
extern NSString* const MPMoviePlayerWillEnterFullscreenNotification;
extern NSString* const MPMoviePlayerDidEnterFullscreenNotification;
extern NSString* const MPMoviePlayerWillExitFullscreenNotification;
extern NSString* const MPMoviePlayerDidExitFullscreenNotification;
// User info of the did-finish notification: the reason (a number) and, for an error, the
// error under "error".
extern NSString* const MPMoviePlayerPlaybackDidFinishReasonUserInfoKey;

// The player's view: the movie's place on screen, with a "Done" button while the control style
// shows full-screen controls.
class MPMovieView : public UIView {
    NS_OBJECT(MPMovieView, UIView)
    Ref<MPMoviePlayerController> player() { return player_.lock(); }
    // The player's own controls stay over what the app adds to its view (an overlay of the
    // app's own), as the full-screen player's controls do.
    void didAddSubview(UIView* view) override;
    // The movie's picture of the moment, fitted to the view, and a pause mark while paused.
    void drawRect(CGRect rect) override;

private:
    friend class MPMoviePlayerController;
    Weak<MPMoviePlayerController> player_;
};

class MPMoviePlayerController : public NSObject {
    NS_OBJECT(MPMoviePlayerController, NSObject)
    static void describeClass(RuntimeClass& c);

    bool initWithContentURL(NSURL* url);
    Ref<NSURL> contentURL() { return url_; }

    // Playing before the movie is loaded starts it when it is.
    void play();
    void pause();
    // Back to the start, stopped; posts no did-finish.
    void stop();
    void prepareToPlay() {}
    MPMoviePlaybackState playbackState() { return state_; }
    MPMovieLoadState loadState() { return loadState_; }
    NSTimeInterval duration() { return duration_; }
    NSTimeInterval currentPlaybackTime();
    void setCurrentPlaybackTime(NSTimeInterval time);

    MPMovieControlStyle controlStyle() { return controlStyle_; }
    void setControlStyle(MPMovieControlStyle style);
    // Starts playback as soon as the movie is loaded (YES by default).
    bool shouldAutoplay() { return autoplay_; }
    void setShouldAutoplay(bool autoplay) { autoplay_ = autoplay; }
    bool isFullscreen() { return fullscreen_; }
    void setFullscreen(bool fullscreen) { setFullscreen(fullscreen, false); }
    void setFullscreen(bool fullscreen, bool animated);
    Ref<UIView> view();

    // The Done control: leaves full screen and ends playback with the reason "user exited".
    void done();

    // The pictures the movie holds, in order (empty when it holds none or is not loaded), and
    // the one the playback time falls on.
    Ref<NSArray> frames() { return frames_; }
    Ref<UIImage> currentFrame();

    void dealloc() override;

private:
    void open();
    void startPlaying();
    void settle();
    void schedule();
    void finish(MPMovieFinishReason reason, NSError* error);
    void setState(MPMoviePlaybackState state);
    void post(NSString* name);

    Ref<NSURL> url_;
    Ref<MPMovieView> view_;
    Ref<NSTimer> endTimer_;
    Ref<NSArray> frames_;
    NSTimeInterval duration_ = 0;
    NSTimeInterval position_ = 0;
    NSTimeInterval startedAt_ = 0;
    MPMoviePlaybackState state_ = MPMoviePlaybackStateStopped;
    MPMovieLoadState loadState_ = MPMovieLoadStateUnknown;
    MPMovieControlStyle controlStyle_ = MPMovieControlStyleDefault;
    bool autoplay_ = true;
    bool fullscreen_ = false;
    bool opened_ = false;
    bool failed_ = false;
    bool playWhenLoaded_ = false;
};

// The movie's length from MP4 bytes: its 'mvhd' duration over its timescale. False when the
// top-level boxes do not add up to exactly `length` bytes or no movie header is found.
bool MPMovieDurationOfMP4(const uint8_t* bytes, size_t length, NSTimeInterval* seconds);
// Where the PNG files at the start of the movie's media data lie: (offset, length) of each, in
// order, up to the first bytes that are not a whole PNG file. Empty for a damaged movie.
std::vector<std::pair<size_t, size_t>> MPMoviePicturesOfMP4(const uint8_t* bytes, size_t length);
