// The simulated audio player: WAV durations, other formats refused, playing, pausing, loops and
// the finish on the manual clock.
#include "AVFoundation/AVAudioPlayer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "support/FoundationTesting.h"
#include "support/MediaFiles.h"
#include "support/RunLoopTesting.h"

namespace {

class Finishes : public NSObject, public AVAudioPlayerDelegate {
    NS_OBJECT(Finishes, NSObject)
    void audioPlayerDidFinishPlaying(AVAudioPlayer* p, bool ok) override {
        times.push_back(Clock::now());
        EXPECT_TRUE(ok);
        EXPECT_FALSE(p->isPlaying());
    }
    std::vector<NSTimeInterval> times;
};

Ref<NSData> bytes(const std::string& s) {
    return NSData::dataWithBytes(s.data(), static_cast<NSUInteger>(s.size()));
}

Ref<AVAudioPlayer> playerFor(const std::string& content, Ref<NSError>* error = nullptr) {
    auto p = alloc<AVAudioPlayer>();
    return p->initWithData(bytes(content), error) ? p : nullptr;
}

TEST(AVAudioPlayer, ReadsTheDurationFromTheWaveHeader) {
    auto p = playerFor(media_files::wav(2.5));
    ASSERT_TRUE(p);
    EXPECT_DOUBLE_EQ(p->duration(), 2.5);
    EXPECT_EQ(p->numberOfChannels(), 1u);
    EXPECT_FALSE(p->isPlaying());
    // From a file too.
    std::string path = NSTemporaryDirectory()->utf8() + "/tone.wav";
    std::ofstream(path, std::ios::binary) << media_files::wav(0.75);
    Ref<NSError> error;
    auto fromFile = alloc<AVAudioPlayer>();
    ASSERT_TRUE(fromFile->initWithContentsOfURL(NSURL::fileURLWithPath(str(path)), &error));
    EXPECT_DOUBLE_EQ(fromFile->duration(), 0.75);
    EXPECT_EQ(fromFile->url()->path()->utf8(), path);
}

TEST(AVAudioPlayer, OtherContentFailsToLoadWithAnError) {
    Ref<NSError> error;
    EXPECT_FALSE(playerFor("ID3\x03 this is an mp3", &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->domain()->utf8(), "NSOSStatusErrorDomain");
    EXPECT_EQ(error->code(), AVAudioPlayerUnsupportedFileTypeError);
    // A WAV without its format chunk, or with a header that claims more than is there.
    error = nullptr;
    std::string noFormat("RIFF\x10\0\0\0WAVEdata\x04\0\0\0abcd", 24);
    EXPECT_FALSE(playerFor(noFormat, &error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), AVAudioPlayerInvalidFileError);
    std::string cut = media_files::wav(1).substr(0, 30);
    error = nullptr;
    EXPECT_FALSE(playerFor(cut, &error));
    EXPECT_EQ(error ? error->code() : 0, AVAudioPlayerInvalidFileError);
    // A data chunk cut short plays what is there.
    auto shortened = playerFor(media_files::wav(1).substr(0, 44 + 4000));
    ASSERT_TRUE(shortened);
    EXPECT_DOUBLE_EQ(shortened->duration(), 0.5);
    error = nullptr;
    auto missing = alloc<AVAudioPlayer>();
    EXPECT_FALSE(
        missing->initWithContentsOfURL(NSURL::fileURLWithPath(NS("/no/such.wav")), &error));
    EXPECT_EQ(error ? error->code() : 0, AVAudioPlayerFileNotFoundError);
}

TEST(AVAudioPlayer, PlaysPausesAndFinishesOnTheClock) {
    ManualClockScope clock;
    auto p = playerFor(media_files::wav(2));
    auto d = make<Finishes>();
    p->setDelegate(d);
    p->setVolume(0.5f);
    EXPECT_FLOAT_EQ(p->volume(), 0.5f);
    p->setVolume(3);
    EXPECT_FLOAT_EQ(p->volume(), 1.0f);
    NSTimeInterval start = Clock::now();
    EXPECT_TRUE(p->play());
    advanceRunLoop(0.5);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_DOUBLE_EQ(p->currentTime(), 0.5);
    p->pause();
    advanceRunLoop(10);  // paused: time stands still and nothing finishes
    EXPECT_DOUBLE_EQ(p->currentTime(), 0.5);
    EXPECT_TRUE(d->times.empty());
    p->play();
    advanceRunLoop(1.49);
    EXPECT_TRUE(d->times.empty());
    advanceRunLoop(0.02);
    ASSERT_EQ(d->times.size(), 1u);
    EXPECT_DOUBLE_EQ(d->times[0] - start, 12.0);
    EXPECT_FALSE(p->isPlaying());
    EXPECT_DOUBLE_EQ(p->currentTime(), 0);
    // Moving the position moves the finish.
    p->play();
    p->setCurrentTime(1.5);
    advanceRunLoop(0.6);
    EXPECT_EQ(d->times.size(), 2u);
    // Stopped: no finish, and the position stays until rewound.
    p->play();
    advanceRunLoop(1);
    p->stop();
    EXPECT_DOUBLE_EQ(p->currentTime(), 1.0);
    advanceRunLoop(5);
    EXPECT_EQ(d->times.size(), 2u);
}

TEST(AVAudioPlayer, LoopsPlayAgainBeforeFinishing) {
    ManualClockScope clock;
    auto p = playerFor(media_files::wav(1));
    auto d = make<Finishes>();
    p->setDelegate(d);
    p->setNumberOfLoops(2);  // three plays in all
    NSTimeInterval start = Clock::now();
    p->play();
    advanceRunLoop(1.25);
    EXPECT_NEAR(p->currentTime(), 0.25, 1e-9);  // in the second play
    EXPECT_TRUE(p->isPlaying());
    advanceRunLoop(1.7);
    EXPECT_TRUE(d->times.empty());
    advanceRunLoop(0.1);
    ASSERT_EQ(d->times.size(), 1u);
    EXPECT_DOUBLE_EQ(d->times[0] - start, 3.0);
    // A negative count loops until stopped.
    p->setNumberOfLoops(-1);
    p->play();
    advanceRunLoop(100.5);
    EXPECT_TRUE(p->isPlaying());
    EXPECT_NEAR(p->currentTime(), 0.5, 1e-9);
    EXPECT_EQ(d->times.size(), 1u);
    p->stop();
}

TEST(AVAudioPlayer, AFreedDelegateIsNotTold) {
    ManualClockScope clock;
    auto p = playerFor(media_files::wav(1));
    auto d = make<Finishes>();
    p->setDelegate(d);
    p->play();
    d = nullptr;
    advanceRunLoop(2);  // finishing without a delegate is quiet
    EXPECT_FALSE(p->isPlaying());
    EXPECT_FALSE(p->delegate());
}

}  // namespace
