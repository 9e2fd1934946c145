#include "ads/ironvine/IVAudioEngine.h"

#include "AudioToolbox/AudioToolbox.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIKitNotifications.h"
#include "ads/ironvine/IVAdManager.h"

namespace {
ProcessWide<IVAudioEngine>& sharedSlot() {
    static ProcessWide<IVAudioEngine> shared;
    return shared;
}

float floatOf(NSObject* o) {
    if (auto n = as<NSNumber>(o)) return n->floatValue();
    if (auto s = as<NSString>(o)) return s->floatValue();
    return 0;
}

NSInteger integerOf(NSObject* o) {
    if (auto n = as<NSNumber>(o)) return static_cast<NSInteger>(n->longLongValue());
    if (auto s = as<NSString>(o))
        return NSNumber::numberWithDouble(s->doubleValue())->integerValue();
    return 0;
}

Ref<IVAudioEngine> engine() {
    return IVAudioEngine::sharedAudioEngine();
}
}  // namespace

void IVAudioEngine::describeClass(RuntimeClass& c) {
    c.method("applicationDidBecomeActive", &IVAudioEngine::applicationDidBecomeActive)
        .method("applicationWillResignActive", &IVAudioEngine::applicationWillResignActive);
}

Ref<IVAudioEngine> IVAudioEngine::sharedAudioEngine() {
    return sharedSlot().peek();
}

void IVAudioEngine::startup() {
    if (sharedSlot().peek()) return;
    auto e = make<IVAudioEngine>();
    auto center = NSNotificationCenter::defaultCenter();
    center->addObserver(e.get(), Selector::named("applicationWillResignActive"),
                        UIApplicationWillResignActiveNotification, nullptr);
    center->addObserver(e.get(), Selector::named("applicationDidBecomeActive"),
                        UIApplicationDidBecomeActiveNotification, nullptr);
    sharedSlot().exchange(e);
}

void IVAudioEngine::teardown() {
    auto e = sharedSlot().peek();
    if (!e) return;
    NSNotificationCenter::defaultCenter()->removeObserver(e.get());
    e->stopBackgroundMusic();
    e->stopSoundEffects();
    sharedSlot().reset();
    AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr);
    AudioSessionSetActive(false);
}

bool IVAudioEngine::init() {
    if (!NSObject::init()) return false;
    audioCache_ = NSMutableDictionary::dictionaryWithCapacity(64);
    currentSoundEffects_ = NSMutableSet::set();
    AudioSessionInitialize(nullptr, nullptr, nullptr, nullptr);
    updateSession();
    return true;
}

void IVAudioEngine::dealloc() {
    if (replayTimer_) replayTimer_->invalidate();
    NSObject::dealloc();
}

void IVAudioEngine::updateSession() {
    AudioSessionSetActive(false);
    UInt32 other = 0, size = sizeof other;
    AudioSessionGetProperty(kAudioSessionProperty_OtherAudioIsPlaying, &size, &other);
    mediaPlaying_ = other != 0;
    UInt32 category =
        mediaPlaying_ ? kAudioSessionCategory_AmbientSound : kAudioSessionCategory_SoloAmbientSound;
    if (mediaPlaying_) {
        AudioSessionSetProperty(kAudioSessionProperty_AudioCategory, sizeof category, &category);
        AudioSessionSetActive(true);
    } else {
        AudioSessionSetActive(true);
        AudioSessionSetProperty(kAudioSessionProperty_AudioCategory, sizeof category, &category);
    }
}

void IVAudioEngine::applicationDidBecomeActive() {
    if (auto e = engine()) e->resume();
}

void IVAudioEngine::applicationWillResignActive() {
    if (auto e = engine()) e->suspend();
}

void IVAudioEngine::suspend() {
    if (suspended_) return;
    if (currentBackgroundMusic_) currentBackgroundMusic_->stop();
    stopSoundEffects();
    suspended_ = true;
}

void IVAudioEngine::resume() {
    if (!suspended_) return;
    updateSession();
    if (currentBackgroundMusic_) currentBackgroundMusic_->play();
    if (replayTimer_) replayTimer_->invalidate();
    Weak<IVAudioEngine> weak(this);
    replayTimer_ = NSTimer::scheduledTimerWithTimeInterval(2.0, false, [weak](NSTimer*) {
        if (auto self = weak.lock()) self->replayMusic();
    });
    suspended_ = false;
}

void IVAudioEngine::replayMusic() {
    replayTimer_ = nullptr;
    if (currentBackgroundMusic_) currentBackgroundMusic_->play();
}

void IVAudioEngine::preloadAudioNamed(NSString* name) {
    if (!name || audioCache_->objectForKey(name)) return;
    auto path = name->isAbsolutePath()
                    ? Ref<NSString>(name)
                    : NSBundle::mainBundle()->bundlePath()->stringByAppendingPathComponent(name);
    auto player = alloc<AVAudioPlayer>();
    // A file that cannot be opened leaves nothing to play.
    if (!player->initWithContentsOfURL(NSURL::fileURLWithPath(path.get()).get(), nullptr)) return;
    player->prepareToPlay();
    auto entry = NSDictionary::dictionaryWithObjectsAndKeys(
        {path.get(), NS("path"), name, NS("name"), player.get(), NS("player")});
    audioCache_->setObject(entry.get(), name);
}

Ref<AVAudioPlayer> IVAudioEngine::playerNamed(NSString* name) {
    auto entry = name ? as<NSDictionary>(audioCache_->objectForKey(name)) : nullptr;
    return entry ? as<AVAudioPlayer>(entry->objectForKey(NS("player"))) : nullptr;
}

NSUInteger IVAudioEngine::cachedCount() {
    return audioCache_->count();
}

bool IVAudioEngine::playSoundEffectNamed(NSString* name) {
    return playSoundEffectNamed(name, 0, 1.0f);
}

bool IVAudioEngine::playSoundEffectNamed(NSString* name, NSInteger loopCount) {
    return playSoundEffectNamed(name, loopCount, 1.0f);
}

bool IVAudioEngine::playSoundEffectNamed(NSString* name, NSInteger loopCount, float volume) {
    if (!name || !soundEnabled_ || suspended_ || !(soundEffectVolume_ > 0.0f)) return false;
    preloadAudioNamed(name);
    auto player = playerNamed(name);
    if (!player) return false;
    player->setCurrentTime(0);
    player->setVolume(masterVolume_ * soundEffectVolume_ * volume);
    player->setNumberOfLoops(loopCount);
    currentSoundEffects_->addObject(player.get());
    bool played = player->play();
    if (!played) {
        player->stop();
        player->play();
    }
    return played;
}

bool IVAudioEngine::stopSoundEffectNamed(NSString* name) {
    if (auto player = playerNamed(name)) {
        player->stop();
        player->setCurrentTime(0);
        currentSoundEffects_->removeObject(player.get());
    }
    return true;
}

bool IVAudioEngine::stopSoundEffects() {
    auto effects = currentSoundEffects_->allObjects();
    for (NSObject* p : *effects) {
        auto player = static_cast<AVAudioPlayer*>(p);
        player->stop();
        player->setCurrentTime(0);
    }
    currentSoundEffects_->removeAllObjects();
    return true;
}

bool IVAudioEngine::playBackgroundMusicNamed(NSString* name) {
    return playBackgroundMusicNamed(name, -1, 1.0f);
}

bool IVAudioEngine::playBackgroundMusicNamed(NSString* name, NSInteger loopCount) {
    return playBackgroundMusicNamed(name, loopCount, 1.0f);
}

bool IVAudioEngine::playBackgroundMusicNamed(NSString* name, NSInteger loopCount, float volume) {
    stopBackgroundMusic();
    if (!name || !musicEnabled_ || suspended_ || mediaPlaying_) return false;
    preloadAudioNamed(name);
    auto player = playerNamed(name);
    if (!player) return false;
    player->setCurrentTime(0);
    player->setVolume(masterVolume_ * backgroundMusicVolume_ * volume);
    player->setNumberOfLoops(loopCount);
    currentBackgroundMusic_ = player;
    return player->play();
}

bool IVAudioEngine::stopBackgroundMusic() {
    if (currentBackgroundMusic_) {
        currentBackgroundMusic_->stop();
        currentBackgroundMusic_->setCurrentTime(0);
    }
    currentBackgroundMusic_ = nullptr;
    return true;
}

void IVAudioEngine::setBackgroundMusicVolume(float volume) {
    backgroundMusicVolume_ = volume;
    if (currentBackgroundMusic_) currentBackgroundMusic_->setVolume(volume * masterVolume_);
}

void IVAudioEngine::setSoundEffectVolume(float volume) {
    soundEffectVolume_ = volume;
    auto effects = currentSoundEffects_->allObjects();
    for (NSObject* p : *effects)
        static_cast<AVAudioPlayer*>(p)->setVolume(masterVolume_ * volume);
}

void IVAudioEngine::setMasterVolume(float volume) {
    masterVolume_ = volume;
    setBackgroundMusicVolume(backgroundMusicVolume_);
    setSoundEffectVolume(soundEffectVolume_);
}

void IVAudioEngine::setSoundEnabled(bool enabled) {
    soundEnabled_ = enabled;
    if (!enabled) stopSoundEffects();
}

void IVAudioEngine::setMusicEnabled(bool enabled) {
    musicEnabled_ = enabled;
    if (!enabled) stopBackgroundMusic();
}

void IVAudioEngine::releaseAll() {
    stopBackgroundMusic();
    stopSoundEffects();
    audioCache_->removeAllObjects();
}

void IVAudioEngine::releaseAudioNamed(NSString* name) {
    if (name) audioCache_->removeObjectForKey(name);
}

// ---- BridgeAudio ----------------------------------------------------------------------------

void IVAudioCommandHandler::describeClass(RuntimeClass& c) {
    using H = IVAudioCommandHandler;
    c.method("bridge_setSoundEffectVolume:", &H::bridge_setSoundEffectVolume)
        .method("bridge_stopSoundEffects", &H::bridge_stopSoundEffects)
        .method("bridge_stopSoundEffectNamed:", &H::bridge_stopSoundEffectNamed)
        .method("bridge_playSoundEffectNamed:", &H::bridge_playSoundEffectNamed)
        .method("bridge_playSoundEffectNamed:loopCount:", &H::bridge_playSoundEffectNamedLoopCount)
        .method("bridge_playSoundEffectNamed:loopCount:volume:",
                &H::bridge_playSoundEffectNamedLoopCountVolume)
        .method("bridge_setBackgroundMusicVolume:", &H::bridge_setBackgroundMusicVolume)
        .method("bridge_stopBackgroundMusic", &H::bridge_stopBackgroundMusic)
        .method("bridge_playBackgroundMusicNamed:", &H::bridge_playBackgroundMusicNamed)
        .method("bridge_playBackgroundMusicNamed:loopCount:",
                &H::bridge_playBackgroundMusicNamedLoopCount)
        .method("bridge_playBackgroundMusicNamed:loopCount:volume:",
                &H::bridge_playBackgroundMusicNamedLoopCountVolume)
        .method("bridge_releaseAll", &H::bridge_releaseAll)
        .method("bridge_releaseAudioNamed:", &H::bridge_releaseAudioNamed)
        .method("bridge_preloadAudioNamed:", &H::bridge_preloadAudioNamed)
        .method("bridge_setMasterVolume:", &H::bridge_setMasterVolume)
        .method("bridge_resume", &H::bridge_resume)
        .method("bridge_suspend", &H::bridge_suspend)
        .method("bridge_initializeWithSlotName:dlTime:", &H::bridge_initializeWithSlotName);
}

bool IVAudioCommandHandler::init() {
    return initWithName(NS("BridgeAudio"));
}

Ref<NSString> IVAudioCommandHandler::pathForFileName(NSString* name) {
    if (!name) return nullptr;
    if (!resourcePath_) return Ref<NSString>(name);
    return resourcePath_->stringByAppendingPathComponent(name);
}

void IVAudioCommandHandler::bridge_initializeWithSlotName(NSString* slotName, NSObject* dlTime) {
    long long time = 0;
    if (auto n = as<NSNumber>(dlTime))
        time = n->longLongValue();
    else if (auto s = as<NSString>(dlTime))
        time = s->longLongValue();
    resourcePath_ =
        IVAdManager::adRootDir()
            ->stringByAppendingPathComponent(slotName ? slotName : NS(""))
            ->stringByAppendingPathComponent(NSString::stringWithFormat(NS("%qi"), time).get());
    IVAudioEngine::startup();
}

void IVAudioCommandHandler::bridge_setSoundEffectVolume(NSObject* v) {
    if (auto e = engine()) e->setSoundEffectVolume(floatOf(v));
}
void IVAudioCommandHandler::bridge_stopSoundEffects() {
    if (auto e = engine()) e->stopSoundEffects();
}
void IVAudioCommandHandler::bridge_stopSoundEffectNamed(NSString* name) {
    if (auto e = engine()) e->stopSoundEffectNamed(pathForFileName(name).get());
}
void IVAudioCommandHandler::bridge_playSoundEffectNamed(NSString* name) {
    if (auto e = engine()) e->playSoundEffectNamed(pathForFileName(name).get(), -1, 1.0f);
}
void IVAudioCommandHandler::bridge_playSoundEffectNamedLoopCount(NSString* name, NSObject* loops) {
    if (auto e = engine())
        e->playSoundEffectNamed(pathForFileName(name).get(), integerOf(loops), 1.0f);
}
void IVAudioCommandHandler::bridge_playSoundEffectNamedLoopCountVolume(NSString* name,
                                                                       NSObject* loops,
                                                                       NSObject* volume) {
    if (auto e = engine())
        e->playSoundEffectNamed(pathForFileName(name).get(), integerOf(loops), floatOf(volume));
}
void IVAudioCommandHandler::bridge_setBackgroundMusicVolume(NSObject* v) {
    if (auto e = engine()) e->setBackgroundMusicVolume(floatOf(v));
}
void IVAudioCommandHandler::bridge_stopBackgroundMusic() {
    if (auto e = engine()) e->stopBackgroundMusic();
}
void IVAudioCommandHandler::bridge_playBackgroundMusicNamed(NSString* name) {
    if (auto e = engine()) e->playBackgroundMusicNamed(pathForFileName(name).get(), -1, 1.0f);
}
void IVAudioCommandHandler::bridge_playBackgroundMusicNamedLoopCount(NSString* name,
                                                                     NSObject* loops) {
    if (auto e = engine())
        e->playBackgroundMusicNamed(pathForFileName(name).get(), integerOf(loops), 1.0f);
}
void IVAudioCommandHandler::bridge_playBackgroundMusicNamedLoopCountVolume(NSString* name,
                                                                           NSObject* loops,
                                                                           NSObject* volume) {
    if (auto e = engine())
        e->playBackgroundMusicNamed(pathForFileName(name).get(), integerOf(loops), floatOf(volume));
}
void IVAudioCommandHandler::bridge_releaseAll() {
    if (auto e = engine()) e->releaseAll();
}
// Preloading and releasing find the same cache entry as playing: the name resolves the same way.
void IVAudioCommandHandler::bridge_releaseAudioNamed(NSString* name) {
    if (auto e = engine()) e->releaseAudioNamed(pathForFileName(name).get());
}
void IVAudioCommandHandler::bridge_preloadAudioNamed(NSString* name) {
    if (auto e = engine()) e->preloadAudioNamed(pathForFileName(name).get());
}
void IVAudioCommandHandler::bridge_setMasterVolume(NSObject* v) {
    if (auto e = engine()) e->setMasterVolume(floatOf(v));
}
void IVAudioCommandHandler::bridge_resume() {
    if (auto e = engine()) e->resume();
}
void IVAudioCommandHandler::bridge_suspend() {
    if (auto e = engine()) e->suspend();
}
