// The audio session and system sounds. No sound is made here: the session keeps its category,
// whether it is active and the current route ("Speaker" until tests or the front end plug
// something in), and every system sound played goes into a log that tests and the terminal
// front end read (4095, kSystemSoundID_Vibrate, is the vibration).
#pragma once

#include <cstdint>
#include <vector>

#include "Foundation/NSObject.h"

using OSStatus = int32_t;
using UInt32 = uint32_t;
using AudioSessionPropertyID = UInt32;
using SystemSoundID = UInt32;
using AudioSessionInterruptionListener = void (*)(void* userData, UInt32 interruptionState);

constexpr OSStatus kAudioSessionNoError = 0;
constexpr OSStatus kAudioSessionNotInitialized = 0x21696e69;            // '!ini'
constexpr OSStatus kAudioSessionAlreadyInitialized = 0x696e6974;        // 'init'
constexpr OSStatus kAudioSessionUnsupportedPropertyError = 0x7074793f;  // 'pty?'
constexpr OSStatus kAudioSessionBadPropertySizeError = 0x2173697a;      // '!siz'

enum : AudioSessionPropertyID {
    kAudioSessionProperty_AudioCategory = 0x61636174,        // 'acat', a UInt32
    kAudioSessionProperty_AudioRoute = 0x726f7574,           // 'rout', a Ref<NSString>
    kAudioSessionProperty_OtherAudioIsPlaying = 0x6f746872,  // 'othr', a UInt32 (0 or 1)
};

enum : UInt32 {
    kAudioSessionCategory_AmbientSound = 0x616d6269,      // 'ambi': mixes with other audio
    kAudioSessionCategory_SoloAmbientSound = 0x736f6c6f,  // 'solo': the default
    kAudioSessionCategory_MediaPlayback = 0x6d656469,     // 'medi'
    kAudioSessionCategory_RecordAudio = 0x72656361,       // 'reca'
    kAudioSessionCategory_PlayAndRecord = 0x706c6172,     // 'plar'
};

constexpr SystemSoundID kSystemSoundID_Vibrate = 4095;

// Once per process; later calls answer kAudioSessionAlreadyInitialized. The run loop and its
// mode are accepted for the platform's signature and not used; nothing interrupts the session.
OSStatus AudioSessionInitialize(void* runLoop, NSString* runLoopMode,
                                AudioSessionInterruptionListener listener, void* userData);
OSStatus AudioSessionSetActive(bool active);
// *ioDataSize must be the property's size: sizeof(UInt32), or sizeof(Ref<NSString>) for the
// route, which is stored into the Ref<NSString> that outData points to (nil when no route is
// given). Before initialisation: kAudioSessionNotInitialized.
OSStatus AudioSessionGetProperty(AudioSessionPropertyID property, UInt32* ioDataSize,
                                 void* outData);
// Only the category can be set.
OSStatus AudioSessionSetProperty(AudioSessionPropertyID property, UInt32 dataSize,
                                 const void* data);

// Records the sound in the log; nothing else happens.
void AudioServicesPlaySystemSound(SystemSoundID sound);

// Test and front-end hooks.
namespace audio_session {
bool isActive();
UInt32 category();
// The current route ("Speaker", "Headphone", "Headset", ...); nil means the session gives none.
void setRoute(NSString* route);
void setOtherAudioPlaying(bool playing);
// The system sounds played, oldest first, and forgetting them.
std::vector<SystemSoundID> playedSystemSounds();
void clearSystemSoundLog();
}  // namespace audio_session
