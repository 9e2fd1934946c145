#include "MediaPlayer/MPMoviePlayerController.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Foundation/Clock.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"

NSString* const MPMoviePlayerPlaybackDidFinishNotification =
    NS("MPMoviePlayerPlaybackDidFinishNotification");
NSString* const MPMoviePlayerPlaybackStateDidChangeNotification =
    NS("MPMoviePlayerPlaybackStateDidChangeNotification");
NSString* const MPMoviePlayerLoadStateDidChangeNotification =
    NS("MPMoviePlayerLoadStateDidChangeNotification");
NSString* const MPMoviePlayerWillEnterFullscreenNotification =
    NS("MPMoviePlayerWillEnterFullscreenNotification");
NSString* const MPMoviePlayerDidEnterFullscreenNotification =
    NS("MPMoviePlayerDidEnterFullscreenNotification");
NSString* const MPMoviePlayerWillExitFullscreenNotification =
    NS("MPMoviePlayerWillExitFullscreenNotification");
NSString* const MPMoviePlayerDidExitFullscreenNotification =
    NS("MPMoviePlayerDidExitFullscreenNotification");
NSString* const MPMoviePlayerPlaybackDidFinishReasonUserInfoKey =
    NS("MPMoviePlayerPlaybackDidFinishReasonUserInfoKey");

namespace {

constexpr NSInteger kParamError = -50;
constexpr NSInteger kDoneTag = 0x4d50;

uint32_t be32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}
uint64_t be64(const uint8_t* p) {
    return uint64_t(be32(p)) << 32 | be32(p + 4);
}

// One box header at `at` within [at, end): its type, where its body starts and where it ends.
// False when the header does not fit or the box reaches past `end`.
bool readBox(const uint8_t* p, size_t at, size_t end, uint32_t& type, size_t& body, size_t& next) {
    if (at + 8 > end) return false;
    uint64_t size = be32(p + at);
    type = be32(p + at + 4);
    body = at + 8;
    if (size == 1) {  // a 64-bit size follows
        if (at + 16 > end) return false;
        size = be64(p + at + 8);
        body = at + 16;
    } else if (size == 0) {  // to the end of the enclosing space
        size = end - at;
    }
    if (size < body - at || size > end - at) return false;
    next = at + static_cast<size_t>(size);
    return true;
}

constexpr uint32_t fourcc(const char (&s)[5]) {
    return uint32_t(uint8_t(s[0])) << 24 | uint32_t(uint8_t(s[1])) << 16 |
           uint32_t(uint8_t(s[2])) << 8 | uint32_t(uint8_t(s[3]));
}

bool movieHeaderDuration(const uint8_t* p, size_t at, size_t end, NSTimeInterval* seconds) {
    while (at < end) {
        uint32_t type;
        size_t body, next;
        if (!readBox(p, at, end, type, body, next)) return false;
        if (type == fourcc("mvhd")) {
            size_t n = next - body;
            if (n < 4) return false;
            uint8_t version = p[body];
            uint64_t timescale, duration;
            if (version == 1) {
                if (n < 4 + 8 + 8 + 4 + 8) return false;
                timescale = be32(p + body + 20);
                duration = be64(p + body + 24);
            } else {
                if (n < 4 + 4 + 4 + 4 + 4) return false;
                timescale = be32(p + body + 12);
                duration = be32(p + body + 16);
            }
            if (timescale == 0) return false;
            *seconds = static_cast<double>(duration) / static_cast<double>(timescale);
            return true;
        }
        at = next;
    }
    return false;
}

// The length of the whole PNG file at `at` (its signature, then chunks up to its IEND), or 0.
size_t pngLength(const uint8_t* p, size_t at, size_t end) {
    static const uint8_t signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (end - at < 8 || std::memcmp(p + at, signature, 8) != 0) return 0;
    size_t i = at + 8;
    while (end - i >= 12) {
        size_t n = be32(p + i);
        if (n > end - i - 12) return 0;
        uint32_t type = be32(p + i + 4);
        i += 12 + n;
        if (type == fourcc("IEND")) return i - at;
    }
    return 0;
}

}  // namespace

std::vector<std::pair<size_t, size_t>> MPMoviePicturesOfMP4(const uint8_t* p, size_t length) {
    std::vector<std::pair<size_t, size_t>> out;
    if (!MPMovieDurationOfMP4(p, length, nullptr)) return out;
    size_t at = 0;
    while (at < length) {
        uint32_t type;
        size_t body, next;
        if (!readBox(p, at, length, type, body, next)) break;
        if (type == fourcc("mdat")) {
            for (size_t i = body, n; (n = pngLength(p, i, next)) > 0; i += n)
                out.emplace_back(i, n);
            break;
        }
        at = next;
    }
    return out;
}

bool MPMovieDurationOfMP4(const uint8_t* p, size_t length, NSTimeInterval* seconds) {
    if (!p || length == 0) return false;
    // The top-level boxes must tile the file exactly; a file cut short or padded with
    // something else is damaged.
    size_t at = 0;
    bool found = false;
    NSTimeInterval d = 0;
    while (at < length) {
        uint32_t type;
        size_t body, next;
        if (!readBox(p, at, length, type, body, next)) return false;
        if (type == fourcc("moov") && !found) found = movieHeaderDuration(p, body, next, &d);
        at = next;
    }
    if (!found) return false;
    if (seconds) *seconds = d;
    return true;
}

void MPMoviePlayerController::describeClass(RuntimeClass& c) {
    c.method("play", &MPMoviePlayerController::play);
    c.method("pause", &MPMoviePlayerController::pause);
    c.method("stop", &MPMoviePlayerController::stop);
    c.method("done", &MPMoviePlayerController::done);
    c.method("setShouldAutoplay:", &MPMoviePlayerController::setShouldAutoplay);
    c.method("setControlStyle:", &MPMoviePlayerController::setControlStyle);
    c.method("setFullscreen:", static_cast<void (MPMoviePlayerController::*)(bool)>(
                                   &MPMoviePlayerController::setFullscreen));
}

bool MPMoviePlayerController::initWithContentURL(NSURL* url) {
    if (!url) return false;
    url_ = url;
    // The file is opened on the next pass of the main loop, as the platform loads it.
    Ref<MPMoviePlayerController> self(this);
    NSRunLoop::mainRunLoop()->performBlock([self] { self->open(); });
    return true;
}

void MPMoviePlayerController::open() {
    if (opened_) return;
    opened_ = true;
    Ref<NSData> data;
    if (url_->isFileURL()) data = NSData::dataWithContentsOfFile(url_->path());
    NSTimeInterval seconds = 0;
    if (!data || !MPMovieDurationOfMP4(static_cast<const uint8_t*>(data->bytes()), data->length(),
                                       &seconds)) {
        failed_ = true;
        finish(MPMovieFinishReasonPlaybackError,
               NSError::errorWithDomain(NSOSStatusErrorDomain, kParamError, nullptr));
        return;
    }
    duration_ = seconds;
    auto pictures = NSMutableArray::array();
    auto bytes = static_cast<const uint8_t*>(data->bytes());
    for (auto [at, n] : MPMoviePicturesOfMP4(bytes, data->length()))
        if (auto picture = UIImage::imageWithData(NSData::dataWithBytes(bytes + at, n).get()))
            pictures->addObject(picture.get());
    frames_ = pictures;
    if (view_) view_->setNeedsDisplay();
    loadState_ = MPMovieLoadStatePlayable | MPMovieLoadStatePlaythroughOK;
    post(MPMoviePlayerLoadStateDidChangeNotification);
    if ((autoplay_ || playWhenLoaded_) && state_ != MPMoviePlaybackStatePlaying) startPlaying();
}

void MPMoviePlayerController::play() {
    if (failed_) return;
    if (!opened_) {
        playWhenLoaded_ = true;
        return;
    }
    if (state_ == MPMoviePlaybackStatePlaying) return;
    startPlaying();
}

void MPMoviePlayerController::startPlaying() {
    playWhenLoaded_ = false;
    if (position_ >= duration_) position_ = 0;
    startedAt_ = Clock::now();
    setState(MPMoviePlaybackStatePlaying);
    schedule();
}

void MPMoviePlayerController::pause() {
    playWhenLoaded_ = false;
    if (state_ != MPMoviePlaybackStatePlaying) return;
    settle();
    if (endTimer_) endTimer_->invalidate();
    endTimer_ = nullptr;
    setState(MPMoviePlaybackStatePaused);
}

void MPMoviePlayerController::stop() {
    playWhenLoaded_ = false;
    if (endTimer_) endTimer_->invalidate();
    endTimer_ = nullptr;
    position_ = 0;
    setState(MPMoviePlaybackStateStopped);
}

void MPMoviePlayerController::settle() {
    if (state_ != MPMoviePlaybackStatePlaying) return;
    NSTimeInterval now = Clock::now();
    position_ = std::min(duration_, position_ + (now - startedAt_));
    startedAt_ = now;
}

NSTimeInterval MPMoviePlayerController::currentPlaybackTime() {
    settle();
    return position_;
}

void MPMoviePlayerController::setCurrentPlaybackTime(NSTimeInterval time) {
    settle();
    position_ = std::clamp(time, 0.0, duration_);
    if (state_ == MPMoviePlaybackStatePlaying) schedule();
}

void MPMoviePlayerController::schedule() {
    if (endTimer_) endTimer_->invalidate();
    // A playing movie keeps its player until the end, as the platform's does.
    Ref<MPMoviePlayerController> self(this);
    endTimer_ = NSTimer::timerWithTimeInterval(
        std::max(0.0, duration_ - position_), false,
        [self](NSTimer*) { self->finish(MPMovieFinishReasonPlaybackEnded, nullptr); });
    NSRunLoop::mainRunLoop()->addTimer(endTimer_, NSRunLoopCommonModes);
}

void MPMoviePlayerController::finish(MPMovieFinishReason reason, NSError* error) {
    Ref<MPMoviePlayerController> self(this);
    if (endTimer_) endTimer_->invalidate();
    endTimer_ = nullptr;
    settle();
    if (reason == MPMovieFinishReasonPlaybackEnded) position_ = duration_;
    setState(MPMoviePlaybackStateStopped);
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NSNumber::numberWithInteger(reason),
                    MPMoviePlayerPlaybackDidFinishReasonUserInfoKey);
    if (error) info->setObject(error, NS("error"));
    NSNotificationCenter::defaultCenter()->postNotificationName(
        MPMoviePlayerPlaybackDidFinishNotification, this, info);
}

void MPMoviePlayerController::setState(MPMoviePlaybackState state) {
    if (state == state_) return;
    state_ = state;
    if (view_) view_->setNeedsDisplay();
    post(MPMoviePlayerPlaybackStateDidChangeNotification);
}

void MPMoviePlayerController::post(NSString* name) {
    NSNotificationCenter::defaultCenter()->postNotificationName(name, this);
}

void MPMoviePlayerController::setControlStyle(MPMovieControlStyle style) {
    controlStyle_ = style;
    if (!view_) return;
    if (auto button = view_->viewWithTag(kDoneTag))
        button->setHidden(style != MPMovieControlStyleFullscreen);
}

void MPMoviePlayerController::setFullscreen(bool fullscreen, bool) {
    if (fullscreen == fullscreen_) return;
    post(fullscreen ? MPMoviePlayerWillEnterFullscreenNotification
                    : MPMoviePlayerWillExitFullscreenNotification);
    fullscreen_ = fullscreen;
    post(fullscreen ? MPMoviePlayerDidEnterFullscreenNotification
                    : MPMoviePlayerDidExitFullscreenNotification);
}

Ref<UIView> MPMoviePlayerController::view() {
    if (!view_) {
        view_ = make<MPMovieView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 480));
        view_->player_ = this;
        view_->setBackgroundColor(UIColor::blackColor());
        auto done = UIButton::buttonWithType(UIButtonTypeRoundedRect);
        done->setFrame(CGRectMake(5, 5, 60, 30));
        done->setTitle(NS("Done"), UIControlStateNormal);
        done->setTag(kDoneTag);
        done->setAutoresizingMask(UIViewAutoresizingFlexibleRightMargin |
                                  UIViewAutoresizingFlexibleBottomMargin);
        done->addTarget(this, Selector::named("done"), UIControlEventTouchUpInside);
        done->setHidden(controlStyle_ != MPMovieControlStyleFullscreen);
        view_->addSubview(done);
    }
    return view_;
}

void MPMovieView::didAddSubview(UIView* view) {
    UIView::didAddSubview(view);
    auto done = viewWithTag(kDoneTag);
    if (done && done.get() != view && done->superview().get() == this) bringSubviewToFront(done);
}

Ref<UIImage> MPMoviePlayerController::currentFrame() {
    NSUInteger count = frames_ ? frames_->count() : 0;
    if (count == 0) return nullptr;
    NSTimeInterval t = currentPlaybackTime();
    NSUInteger i = duration_ > 0 ? static_cast<NSUInteger>(std::floor(t / duration_ * count)) : 0;
    return cast<UIImage>(frames_->objectAtIndex(std::min(i, count - 1)));
}

void MPMovieView::drawRect(CGRect) {
    auto player = player_.lock();
    if (!player) return;
    CGRect b = bounds();
    if (auto picture = player->currentFrame()) {
        CGSize size = picture->size();
        if (size.width > 0 && size.height > 0) {
            CGFloat k = std::min(b.size.width / size.width, b.size.height / size.height);
            CGFloat w = size.width * k, h = size.height * k;
            picture->drawInRect(CGRectMake(b.origin.x + (b.size.width - w) / 2,
                                           b.origin.y + (b.size.height - h) / 2, w, h));
        }
    }
    auto ctx = UIGraphicsGetCurrentContext();
    if (!ctx || player->playbackState() != MPMoviePlaybackStatePaused) return;
    // Paused: a dark disc with two bars in the middle, as the platform's player shows it.
    CGFloat x = CGRectGetMidX(b), y = CGRectGetMidY(b);
    CGContextSetRGBFillColor(ctx.get(), 0, 0, 0, 0.6);
    CGContextFillEllipseInRect(ctx.get(), CGRectMake(x - 32, y - 32, 64, 64));
    CGContextSetRGBFillColor(ctx.get(), 1, 1, 1, 1);
    CGContextFillRect(ctx.get(), CGRectMake(x - 13, y - 16, 9, 32));
    CGContextFillRect(ctx.get(), CGRectMake(x + 4, y - 16, 9, 32));
}

void MPMoviePlayerController::done() {
    Ref<MPMoviePlayerController> self(this);
    setFullscreen(false, true);
    finish(MPMovieFinishReasonUserExited, nullptr);
}

void MPMoviePlayerController::dealloc() {
    if (endTimer_) endTimer_->invalidate();
    endTimer_ = nullptr;
    if (view_) view_->player_.reset();
    super::dealloc();
}
