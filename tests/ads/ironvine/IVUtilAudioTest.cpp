#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>

#include "AVFoundation/AVAudioPlayer.h"
#include "AudioToolbox/AudioToolbox.h"
#include "Foundation/Clock.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "IronvineTesting.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/ironvine/IVAudioEngine.h"
#include "ads/ironvine/IVUtil.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "tools/services/IronvineBundles.h"

namespace {

TEST(IVUtilTest, VersionsLinksAndTransforms) {
    EXPECT_EQ(IVUtil::versionCompare(NS("4.2.1"), NS("4.2.1")), 0);
    EXPECT_EQ(IVUtil::versionCompare(NS("4.10"), NS("4.9")), 1);
    EXPECT_EQ(IVUtil::versionCompare(NS("3.9"), NS("4.0")), -1);
    auto device = UIDevice::currentDevice();
    auto tel = NSURL::URLWithString(NS("tel:5551234"));
    device->setSystemVersion(NS("4.2.1"));
    EXPECT_TRUE(IVUtil::URLWillLoadExternalApp(tel.get()));
    device->setSystemVersion(NS("4.1"));
    EXPECT_FALSE(IVUtil::URLWillLoadExternalApp(tel.get()));
    EXPECT_TRUE(IVUtil::URLWillLoadExternalApp(NSURL::URLWithString(NS("mailto:a@b.test")).get()));
    EXPECT_FALSE(
        IVUtil::URLWillLoadExternalApp(NSURL::URLWithString(NS("http://www.example.test/")).get()));
    for (NSString* host : {IVAppStoreHost, IVAppStoreCompanionHost, IVMapsHost}) {
        EXPECT_TRUE(host->utf8().ends_with(".test"));
        auto url =
            NSURL::URLWithString(NSString::stringWithFormat(NS("http://%@/app/1"), host).get());
        EXPECT_TRUE(IVUtil::URLWillLoadExternalApp(url.get()));
    }
    device->setSystemVersion(nullptr);  // the system the device reports by default
    for (int o : {0, 1, 5, 6}) {
        auto t = IVUtil::transformForOrientation(o);
        EXPECT_TRUE(t.a == 1 && t.b == 0 && t.c == 0 && t.d == 1) << o;
    }
    auto right = IVUtil::transformForOrientation(4);
    EXPECT_NEAR(right.b, -1.0, 1e-6);  // a quarter turn clockwise
    EXPECT_NEAR(IVUtil::transformForOrientation(3).b, 1.0, 1e-6);
    EXPECT_NEAR(IVUtil::transformForOrientation(2).a, -1.0, 1e-6);
}

TEST(IVUtilTest, DelimitedStrings) {
    EXPECT_EQ(text(IVUtil::delimitedStringFromString(NS("a[b]c"), NS("["), NS("]")).get()), "b");
    EXPECT_FALSE(IVUtil::delimitedStringFromString(NS("]a[b"), NS("["), NS("]")));
    EXPECT_FALSE(IVUtil::delimitedStringFromString(NS("a[b]c"), nullptr, NS("]")));
    EXPECT_EQ(text(IVUtil::delimitedStringFromString(NS("x[1] y[2]"), NS("y["), NS("]"), 3).get()),
              "(nil)");  // the first "]" lies before the second "["
    EXPECT_EQ(text(IVUtil::delimitedStringFromString(NS("<<tag>>"), NS("<<"), NS(">>"), 0).get()),
              "tag");
    EXPECT_EQ(text(IVUtil::replaceString(NS("X"), NS("["), NS("]"), NS("a[b]c")).get()), "a[X]c");
    EXPECT_EQ(text(IVUtil::replaceString(NS("X"), NS("["), NS("]"), NS("a[b]c[dd]e")).get()),
              "a[X]c[X]e");
    EXPECT_EQ(text(IVUtil::replaceString(NS("X"), NS("["), NS("]"), NS("a]b[c")).get()), "a]b[c");
}

// Sound files in an ad folder of their own.
struct AudioFixture : ::testing::Test {
    void SetUp() override {
        dir = NSTemporaryDirectory()->utf8() + "ivaudio";
        std::filesystem::create_directories(dir);
        ivtest::writeFile(dir + "/a.wav", *bnservices::ironvineFile("tone.wav"));
        ivtest::writeFile(dir + "/b.wav", *bnservices::ironvineFile("tone.wav"));
        IVAudioEngine::startup();
        engine = IVAudioEngine::sharedAudioEngine();
    }
    void TearDown() override { IVAudioEngine::teardown(); }
    Ref<NSString> path(const char* name) { return str(dir + "/" + name); }
    ManualClockScope clock;
    std::string dir;
    Ref<IVAudioEngine> engine;
};

TEST_F(AudioFixture, OtherAudioKeepsTheMusicButNotTheEffects) {
    IVAudioEngine::teardown();
    audio_session::setOtherAudioPlaying(true);
    IVAudioEngine::startup();
    engine = IVAudioEngine::sharedAudioEngine();
    EXPECT_TRUE(engine->isMediaPlaying());
    EXPECT_EQ(audio_session::category(), static_cast<UInt32>(kAudioSessionCategory_AmbientSound));
    EXPECT_FALSE(engine->playBackgroundMusicNamed(path("a.wav").get()));
    EXPECT_TRUE(engine->playSoundEffectNamed(path("b.wav").get()));
    EXPECT_TRUE(engine->playerNamed(path("b.wav").get())->isPlaying());
}

TEST_F(AudioFixture, VolumesMultiplyAndAZeroChannelRefuses) {
    engine->setMasterVolume(0.5f);
    engine->setBackgroundMusicVolume(0.8f);
    ASSERT_TRUE(engine->playBackgroundMusicNamed(path("a.wav").get(), -1, 0.5f));
    EXPECT_FLOAT_EQ(engine->currentBackgroundMusic()->volume(), 0.2f);
    engine->setSoundEffectVolume(0.0f);
    EXPECT_FALSE(engine->playSoundEffectNamed(path("b.wav").get()));
    engine->setSoundEffectVolume(1.0f);
    engine->setSoundEnabled(false);
    EXPECT_FALSE(engine->playSoundEffectNamed(path("b.wav").get()));
    engine->setMusicEnabled(false);
    EXPECT_FALSE(engine->currentBackgroundMusic());
    EXPECT_FALSE(engine->playBackgroundMusicNamed(path("a.wav").get()));
    EXPECT_FALSE(engine->playSoundEffectNamed(nullptr));
}

TEST_F(AudioFixture, SuspendRefusesAndResumeStartsTheMusicAgainTwoSecondsLater) {
    ASSERT_TRUE(engine->playBackgroundMusicNamed(path("a.wav").get(), 0, 1.0f));
    auto music = engine->currentBackgroundMusic();
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationWillResignActiveNotification, nullptr);
    EXPECT_TRUE(engine->isSuspended());
    EXPECT_FALSE(music->isPlaying());
    EXPECT_FALSE(engine->playSoundEffectNamed(path("b.wav").get()));
    NSNotificationCenter::defaultCenter()->postNotificationName(
        UIApplicationDidBecomeActiveNotification, nullptr);
    EXPECT_FALSE(engine->isSuspended());
    EXPECT_TRUE(music->isPlaying());
    advanceRunLoop(0.5);  // a quarter-second tone played once has ended
    EXPECT_FALSE(music->isPlaying());
    advanceRunLoop(1.5);
    EXPECT_TRUE(music->isPlaying());
}

TEST_F(AudioFixture, PreloadAndReleaseFindTheSameEntriesAsPlay) {
    engine->preloadAudioNamed(path("a.wav").get());
    engine->preloadAudioNamed(path("a.wav").get());
    EXPECT_EQ(engine->cachedCount(), 1u);
    EXPECT_TRUE(engine->playSoundEffectNamed(path("a.wav").get(), 2));
    EXPECT_EQ(engine->cachedCount(), 1u);
    EXPECT_EQ(engine->playerNamed(path("a.wav").get())->numberOfLoops(), 2);
    engine->releaseAudioNamed(path("a.wav").get());
    EXPECT_EQ(engine->cachedCount(), 0u);
    // A file that cannot be opened gives a player that does not play.
    EXPECT_FALSE(engine->playSoundEffectNamed(path("missing.wav").get()));
}

}  // namespace
