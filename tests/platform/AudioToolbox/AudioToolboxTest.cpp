// The audio session's state, route and "other audio" hook, and the system sound log.
#include "AudioToolbox/AudioToolbox.h"

#include <gtest/gtest.h>

#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"

namespace {

class AudioToolboxTest : public testing::Test {
protected:
    static Ref<NSString> route(OSStatus* status = nullptr) {
        Ref<NSString> r = NS("unset");
        UInt32 size = sizeof r;
        OSStatus st = AudioSessionGetProperty(kAudioSessionProperty_AudioRoute, &size, &r);
        if (status) *status = st;
        return st == kAudioSessionNoError ? r : nullptr;
    }
    static UInt32 uint32Property(AudioSessionPropertyID id) {
        UInt32 value = 99, size = sizeof value;
        EXPECT_EQ(AudioSessionGetProperty(id, &size, &value), kAudioSessionNoError);
        return value;
    }
};

TEST_F(AudioToolboxTest, TheSessionMustBeInitialisedOnce) {
    OSStatus st = 0;
    route(&st);
    EXPECT_EQ(st, kAudioSessionNotInitialized);
    EXPECT_EQ(AudioSessionSetActive(true), kAudioSessionNotInitialized);
    EXPECT_EQ(AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr), kAudioSessionNoError);
    EXPECT_EQ(AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr),
              kAudioSessionAlreadyInitialized);
}

TEST_F(AudioToolboxTest, CategoryActivityAndRoute) {
    AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr);
    EXPECT_EQ(uint32Property(kAudioSessionProperty_AudioCategory),
              kAudioSessionCategory_SoloAmbientSound);
    UInt32 ambient = kAudioSessionCategory_AmbientSound;
    EXPECT_EQ(
        AudioSessionSetProperty(kAudioSessionProperty_AudioCategory, sizeof ambient, &ambient),
        kAudioSessionNoError);
    EXPECT_EQ(audio_session::category(), kAudioSessionCategory_AmbientSound);
    EXPECT_EQ(AudioSessionSetProperty(kAudioSessionProperty_AudioRoute, sizeof ambient, &ambient),
              kAudioSessionUnsupportedPropertyError);
    EXPECT_EQ(AudioSessionSetProperty(kAudioSessionProperty_AudioCategory, 2, &ambient),
              kAudioSessionBadPropertySizeError);
    EXPECT_FALSE(audio_session::isActive());
    EXPECT_EQ(AudioSessionSetActive(true), kAudioSessionNoError);
    EXPECT_TRUE(audio_session::isActive());
    AudioSessionSetActive(false);
    EXPECT_FALSE(audio_session::isActive());

    EXPECT_EQ(route()->utf8(), "Speaker");
    audio_session::setRoute(NS("Headphone"));
    EXPECT_EQ(route()->utf8(), "Headphone");
    audio_session::setRoute(nullptr);  // a session that gives no route
    OSStatus st = -1;
    EXPECT_FALSE(route(&st));
    EXPECT_EQ(st, kAudioSessionNoError);
    // A size that is not the property's is refused, not written past.
    UInt32 small = 0, size = 1;
    EXPECT_EQ(AudioSessionGetProperty(kAudioSessionProperty_OtherAudioIsPlaying, &size, &small),
              kAudioSessionBadPropertySizeError);
    EXPECT_EQ(uint32Property(kAudioSessionProperty_OtherAudioIsPlaying), 0u);
    audio_session::setOtherAudioPlaying(true);
    EXPECT_EQ(uint32Property(kAudioSessionProperty_OtherAudioIsPlaying), 1u);
    UInt32 unknown = 0;
    size = sizeof unknown;
    EXPECT_EQ(AudioSessionGetProperty(0x78787878, &size, &unknown),
              kAudioSessionUnsupportedPropertyError);
}

TEST_F(AudioToolboxTest, SystemSoundsGoToTheLog) {
    EXPECT_TRUE(audio_session::playedSystemSounds().empty());
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    AudioServicesPlaySystemSound(1007);
    AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    EXPECT_EQ(audio_session::playedSystemSounds(), (std::vector<SystemSoundID>{4095, 1007, 4095}));
    audio_session::clearSystemSoundLog();
    EXPECT_TRUE(audio_session::playedSystemSounds().empty());
}

// The reset between tests leaves the session as a new process finds it.
TEST_F(AudioToolboxTest, TheResetBetweenTestsStartsAFreshSession) {
    AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr);
    AudioSessionSetActive(true);
    audio_session::setRoute(NS("Headphone"));
    AudioServicesPlaySystemSound(1007);
    resetProcessWideInstances();
    EXPECT_FALSE(audio_session::isActive());
    EXPECT_TRUE(audio_session::playedSystemSounds().empty());
    OSStatus st = 0;
    route(&st);
    EXPECT_EQ(st, kAudioSessionNotInitialized);
    EXPECT_EQ(AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr), kAudioSessionNoError);
    EXPECT_EQ(route()->utf8(), "Speaker");
}

}  // namespace
