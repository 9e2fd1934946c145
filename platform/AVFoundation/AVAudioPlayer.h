// The audio player, simulated on the Clock: nothing is heard, but a sound plays for as long as
// its file says, loops as asked and tells its delegate when it is done. Only WAV files (RIFF
// "WAVE" with a "fmt " and a "data" chunk) load; their duration is the data's length over the
// byte rate. Any other content fails to load with an NSError in NSOSStatusErrorDomain.
#pragma once

#include "Foundation/NSObject.h"

class AVAudioPlayer;
class NSData;
class NSError;
class NSTimer;
class NSURL;

// kAudioFileUnsupportedFileTypeError ('typ?'), kAudioFileInvalidFileError ('dta?') and the
// file system's "file not found" (-43), the codes of failed loads.
constexpr NSInteger AVAudioPlayerUnsupportedFileTypeError = 0x7479703f;
constexpr NSInteger AVAudioPlayerInvalidFileError = 0x6474613f;
constexpr NSInteger AVAudioPlayerFileNotFoundError = -43;

class AVAudioPlayerDelegate {
public:
    virtual ~AVAudioPlayerDelegate() = default;
    // audioPlayerDidFinishPlaying:successfully:
    virtual void audioPlayerDidFinishPlaying(AVAudioPlayer*, bool /*successfully*/) {}
};

class AVAudioPlayer : public NSObject {
    NS_OBJECT(AVAudioPlayer, NSObject)
    static void describeClass(RuntimeClass& c);

    // False (nil), with the error when asked, for a file that cannot be read or is no WAV.
    bool initWithContentsOfURL(NSURL* url, Ref<NSError>* error);
    bool initWithData(NSData* data, Ref<NSError>* error);

    bool prepareToPlay() { return prepared_ = true; }
    // Starts or resumes; the finish is due after the rest of this play and every loop left.
    bool play();
    // Keeps the position; play resumes there.
    void pause();
    // Stops like pause and undoes prepareToPlay; the position stays (rewind with
    // setCurrentTime: 0).
    void stop();
    bool isPlaying() { return playing_; }

    NSTimeInterval duration() { return duration_; }
    // Within the current play; setting it moves playback there (clamped to the duration).
    NSTimeInterval currentTime();
    void setCurrentTime(NSTimeInterval time);
    float volume() { return volume_; }
    void setVolume(float volume);
    // Extra plays after the first; a negative number loops until stopped. Set during a run, it
    // counts the plays after the current one.
    NSInteger numberOfLoops() { return loops_; }
    void setNumberOfLoops(NSInteger loops);
    NSUInteger numberOfChannels() { return channels_; }
    Ref<NSURL> url() { return url_; }
    Ref<NSData> data() { return data_; }

    Ref<AVAudioPlayerDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(AVAudioPlayerDelegate* delegate) { delegate_ = delegate; }

    void dealloc() override;

private:
    bool load(NSData* data, Ref<NSError>* error);
    // Moves the position and the loops left up to now.
    void settle();
    void schedule();
    void finish();

    Ref<NSURL> url_;
    Ref<NSData> data_;
    Weak<AVAudioPlayerDelegate> delegate_;
    NSTimeInterval duration_ = 0;
    NSTimeInterval position_ = 0;   // within the current play, as of startedAt_
    NSTimeInterval startedAt_ = 0;  // Clock time of the last start or settle
    NSInteger loops_ = 0;
    NSInteger loopsLeft_ = 0;  // of the current run; negative: without end
    float volume_ = 1;
    NSUInteger channels_ = 0;
    bool prepared_ = false;
    bool playing_ = false;
    bool running_ = false;  // a run began and has not finished or stopped
    Ref<NSTimer> finishTimer_;
};
