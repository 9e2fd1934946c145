// Sound for rich ads: one prepared player per sound file, a master volume and two channel
// volumes, respect for other audio already playing, and a pause while the application is
// inactive. Created by the first script that initialises BridgeAudio, torn down when a
// full-screen ad closes. Main thread.
#pragma once

#include "AVFoundation/AVAudioPlayer.h"
#include "Foundation/NSObject.h"
#include "ads/ironvine/IVCommandHandler.h"

class AVAudioPlayer;
class NSMutableDictionary;
class NSMutableSet;
class NSString;
class NSTimer;

class IVAudioEngine : public NSObject, public AVAudioPlayerDelegate {
    NS_OBJECT(IVAudioEngine, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<IVAudioEngine> sharedAudioEngine();
    static void startup();
    static void teardown();

    bool init() override;
    void dealloc() override;
    bool isMusicEnabled() { return musicEnabled_; }
    bool isSoundEnabled() { return soundEnabled_; }
    bool isMediaPlaying() { return mediaPlaying_; }
    bool isSuspended() { return suspended_; }
    void applicationDidBecomeActive();
    void applicationWillResignActive();
    void resume();
    void suspend();
    bool stopSoundEffectNamed(NSString* name);
    bool playSoundEffectNamed(NSString* name);
    bool playSoundEffectNamed(NSString* name, NSInteger loopCount);
    bool playSoundEffectNamed(NSString* name, NSInteger loopCount, float volume);
    void setBackgroundMusicVolume(float volume);
    bool stopBackgroundMusic();
    bool playBackgroundMusicNamed(NSString* name);
    bool playBackgroundMusicNamed(NSString* name, NSInteger loopCount);
    bool playBackgroundMusicNamed(NSString* name, NSInteger loopCount, float volume);
    void releaseAll();
    void releaseAudioNamed(NSString* name);
    void preloadAudioNamed(NSString* name);
    void setSoundEnabled(bool enabled);
    void setMusicEnabled(bool enabled);
    void setMasterVolume(float volume);
    void setSoundEffectVolume(float volume);
    bool stopSoundEffects();
    void updateSession();

    Ref<AVAudioPlayer> playerNamed(NSString* name);
    Ref<AVAudioPlayer> currentBackgroundMusic() { return currentBackgroundMusic_; }
    NSUInteger cachedCount();

private:
    void replayMusic();

    Ref<NSMutableDictionary> audioCache_;
    Ref<AVAudioPlayer> currentBackgroundMusic_;
    Ref<NSMutableSet> currentSoundEffects_;
    bool soundEnabled_ = true;
    bool musicEnabled_ = true;
    float masterVolume_ = 1.0f;
    float backgroundMusicVolume_ = 1.0f;
    float soundEffectVolume_ = 1.0f;
    bool mediaPlaying_ = false;
    bool suspended_ = false;
    Ref<NSTimer> replayTimer_;
};

// BridgeAudio: sound names resolve against the folder of the ad being shown.
class IVAudioCommandHandler : public IVCommandHandler {
    NS_OBJECT(IVAudioCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool init() override;
    Ref<NSString> pathForFileName(NSString* name);
    Ref<NSString> resourcePath() { return resourcePath_; }

    void bridge_setSoundEffectVolume(NSObject* volume);
    void bridge_stopSoundEffects();
    void bridge_stopSoundEffectNamed(NSString* name);
    void bridge_playSoundEffectNamed(NSString* name);
    void bridge_playSoundEffectNamedLoopCount(NSString* name, NSObject* loops);
    void bridge_playSoundEffectNamedLoopCountVolume(NSString* name, NSObject* loops,
                                                    NSObject* volume);
    void bridge_setBackgroundMusicVolume(NSObject* volume);
    void bridge_stopBackgroundMusic();
    void bridge_playBackgroundMusicNamed(NSString* name);
    void bridge_playBackgroundMusicNamedLoopCount(NSString* name, NSObject* loops);
    void bridge_playBackgroundMusicNamedLoopCountVolume(NSString* name, NSObject* loops,
                                                        NSObject* volume);
    void bridge_releaseAll();
    void bridge_releaseAudioNamed(NSString* name);
    void bridge_preloadAudioNamed(NSString* name);
    void bridge_setMasterVolume(NSObject* volume);
    void bridge_resume();
    void bridge_suspend();
    void bridge_initializeWithSlotName(NSString* slotName, NSObject* dlTime);

private:
    Ref<NSString> resourcePath_;
};
