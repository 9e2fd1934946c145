#include "AVFoundation/AVAudioPlayer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"

namespace {

uint32_t le32(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}
uint16_t le16(const uint8_t* p) {
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

struct WaveInfo {
    double seconds = 0;
    unsigned channels = 0;
};

// RIFF chunks are walked with their sizes checked against the bytes present, so a damaged
// header cannot send the reader outside the data. A data chunk cut short by the end of the
// file plays what is there.
NSInteger readWave(const uint8_t* p, size_t n, WaveInfo& out) {
    if (n < 12 || std::memcmp(p, "RIFF", 4) != 0 || std::memcmp(p + 8, "WAVE", 4) != 0)
        return AVAudioPlayerUnsupportedFileTypeError;
    uint32_t byteRate = 0;
    unsigned channels = 0;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= n) {
        const uint8_t* chunk = p + at;
        uint64_t size = le32(chunk + 4);
        size_t body = at + 8;
        uint64_t available = n - body;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (size < 16 || available < 16) return AVAudioPlayerInvalidFileError;
            channels = le16(chunk + 10);
            byteRate = le32(chunk + 16);
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat || byteRate == 0 || channels == 0) return AVAudioPlayerInvalidFileError;
            out.seconds = static_cast<double>(std::min(size, available)) / byteRate;
            out.channels = channels;
            return 0;
        }
        // Chunks are padded to an even length.
        uint64_t next = body + size + (size & 1);
        if (next > n) break;
        at = static_cast<size_t>(next);
    }
    return AVAudioPlayerInvalidFileError;
}

Ref<NSError> loadError(NSInteger code) {
    return NSError::errorWithDomain(NSOSStatusErrorDomain, code, nullptr);
}

}  // namespace

void AVAudioPlayer::describeClass(RuntimeClass& c) {
    c.method("play", &AVAudioPlayer::play);
    c.method("pause", &AVAudioPlayer::pause);
    c.method("stop", &AVAudioPlayer::stop);
    c.method("prepareToPlay", &AVAudioPlayer::prepareToPlay);
}

bool AVAudioPlayer::initWithContentsOfURL(NSURL* url, Ref<NSError>* error) {
    Ref<NSData> bytes;
    if (url && url->isFileURL()) bytes = NSData::dataWithContentsOfFile(url->path());
    if (!bytes) {
        if (error) *error = loadError(AVAudioPlayerFileNotFoundError);
        return false;
    }
    url_ = url;
    return load(bytes, error);
}

bool AVAudioPlayer::initWithData(NSData* data, Ref<NSError>* error) {
    if (!data) {
        if (error) *error = loadError(AVAudioPlayerInvalidFileError);
        return false;
    }
    data_ = data;
    return load(data, error);
}

bool AVAudioPlayer::load(NSData* data, Ref<NSError>* error) {
    WaveInfo info;
    NSInteger code = readWave(static_cast<const uint8_t*>(data->bytes()), data->length(), info);
    if (code != 0) {
        if (error) *error = loadError(code);
        return false;
    }
    duration_ = info.seconds;
    channels_ = info.channels;
    return true;
}

void AVAudioPlayer::settle() {
    if (!playing_) return;
    NSTimeInterval now = Clock::now();
    NSTimeInterval t = position_ + (now - startedAt_);
    startedAt_ = now;
    if (duration_ <= 0) {
        position_ = 0;
        return;
    }
    auto plays = static_cast<NSInteger>(std::floor(t / duration_));
    if (loopsLeft_ >= 0) plays = std::min(plays, loopsLeft_);
    if (loopsLeft_ >= 0) loopsLeft_ -= plays;
    position_ = std::min(t - static_cast<double>(plays) * duration_, duration_);
}

NSTimeInterval AVAudioPlayer::currentTime() {
    settle();
    return position_;
}

void AVAudioPlayer::setCurrentTime(NSTimeInterval time) {
    settle();
    position_ = std::clamp(time, 0.0, duration_);
    if (playing_) schedule();
}

void AVAudioPlayer::setVolume(float volume) {
    volume_ = std::clamp(volume, 0.0f, 1.0f);
}

void AVAudioPlayer::setNumberOfLoops(NSInteger loops) {
    settle();
    loops_ = loops;
    // During a run the new count is the plays still to come after the current one.
    if (running_) loopsLeft_ = loops < 0 ? -1 : loops;
    if (playing_) schedule();
}

bool AVAudioPlayer::play() {
    if (playing_) return true;
    if (!running_) {
        running_ = true;
        loopsLeft_ = loops_ < 0 ? -1 : loops_;
    }
    prepared_ = true;
    playing_ = true;
    startedAt_ = Clock::now();
    schedule();
    return true;
}

void AVAudioPlayer::pause() {
    settle();
    playing_ = false;
    if (finishTimer_) finishTimer_->invalidate();
    finishTimer_ = nullptr;
}

void AVAudioPlayer::stop() {
    pause();
    prepared_ = false;
    running_ = false;
}

void AVAudioPlayer::schedule() {
    if (finishTimer_) finishTimer_->invalidate();
    finishTimer_ = nullptr;
    if (loopsLeft_ < 0) return;  // loops until stopped
    NSTimeInterval rest = (duration_ - position_) + static_cast<double>(loopsLeft_) * duration_;
    // The timer holds the player until it has finished, as a playing sound keeps its player.
    Ref<AVAudioPlayer> self(this);
    finishTimer_ = NSTimer::timerWithTimeInterval(std::max(rest, 0.0), false,
                                                  [self](NSTimer*) { self->finish(); });
    NSRunLoop::mainRunLoop()->addTimer(finishTimer_, NSRunLoopCommonModes);
}

void AVAudioPlayer::finish() {
    Ref<AVAudioPlayer> self(this);
    finishTimer_ = nullptr;
    playing_ = false;
    running_ = false;
    position_ = 0;
    if (auto d = delegate_.lock()) d->audioPlayerDidFinishPlaying(this, true);
}

void AVAudioPlayer::dealloc() {
    if (finishTimer_) finishTimer_->invalidate();
    finishTimer_ = nullptr;
    super::dealloc();
}
