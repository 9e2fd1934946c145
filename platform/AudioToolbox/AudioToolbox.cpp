#include "AudioToolbox/AudioToolbox.h"

#include <mutex>

#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"

namespace {
struct Session {
    std::mutex lock;
    bool initialized = false;
    bool active = false;
    UInt32 category = kAudioSessionCategory_SoloAmbientSound;
    Ref<NSString> route = NS("Speaker");
    bool otherAudio = false;
    std::vector<SystemSoundID> sounds;
};
Session& session() {
    // Never destroyed: sounds may be played while the process exits.
    static ProcessWide<Session> slot;
    return *slot.get();
}
}  // namespace

OSStatus AudioSessionInitialize(void*, NSString*, AudioSessionInterruptionListener, void*) {
    Session& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    if (s.initialized) return kAudioSessionAlreadyInitialized;
    s.initialized = true;
    return kAudioSessionNoError;
}

OSStatus AudioSessionSetActive(bool active) {
    Session& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.initialized) return kAudioSessionNotInitialized;
    s.active = active;
    return kAudioSessionNoError;
}

OSStatus AudioSessionGetProperty(AudioSessionPropertyID property, UInt32* ioDataSize,
                                 void* outData) {
    Session& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.initialized) return kAudioSessionNotInitialized;
    if (!ioDataSize || !outData) return kAudioSessionBadPropertySizeError;
    switch (property) {
        case kAudioSessionProperty_AudioRoute:
            if (*ioDataSize != sizeof(Ref<NSString>)) return kAudioSessionBadPropertySizeError;
            *static_cast<Ref<NSString>*>(outData) = s.route;
            return kAudioSessionNoError;
        case kAudioSessionProperty_AudioCategory:
        case kAudioSessionProperty_OtherAudioIsPlaying:
            if (*ioDataSize != sizeof(UInt32)) return kAudioSessionBadPropertySizeError;
            *static_cast<UInt32*>(outData) =
                property == kAudioSessionProperty_AudioCategory ? s.category : s.otherAudio;
            return kAudioSessionNoError;
        default:
            return kAudioSessionUnsupportedPropertyError;
    }
}

OSStatus AudioSessionSetProperty(AudioSessionPropertyID property, UInt32 dataSize,
                                 const void* data) {
    Session& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    if (!s.initialized) return kAudioSessionNotInitialized;
    if (property != kAudioSessionProperty_AudioCategory)
        return kAudioSessionUnsupportedPropertyError;
    if (dataSize != sizeof(UInt32) || !data) return kAudioSessionBadPropertySizeError;
    s.category = *static_cast<const UInt32*>(data);
    return kAudioSessionNoError;
}

void AudioServicesPlaySystemSound(SystemSoundID sound) {
    Session& s = session();
    std::lock_guard<std::mutex> g(s.lock);
    s.sounds.push_back(sound);
}

namespace audio_session {

bool isActive() {
    std::lock_guard<std::mutex> g(session().lock);
    return session().active;
}

UInt32 category() {
    std::lock_guard<std::mutex> g(session().lock);
    return session().category;
}

void setRoute(NSString* route) {
    Ref<NSString> copy = route ? route->copy() : nullptr;
    std::lock_guard<std::mutex> g(session().lock);
    session().route = copy;
}

void setOtherAudioPlaying(bool playing) {
    std::lock_guard<std::mutex> g(session().lock);
    session().otherAudio = playing;
}

std::vector<SystemSoundID> playedSystemSounds() {
    std::lock_guard<std::mutex> g(session().lock);
    return session().sounds;
}

void clearSystemSoundLog() {
    std::lock_guard<std::mutex> g(session().lock);
    session().sounds.clear();
}

}  // namespace audio_session
