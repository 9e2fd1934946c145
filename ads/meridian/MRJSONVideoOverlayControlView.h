// The layer over a playing video ad: the ad's buttons, each appearing after its delay, fading to
// its start opacity and, after its inactivity time-out, to its end opacity; a touch brings them
// all back. An optional countdown label in the top right corner.
#pragma once

#include "UIKit/UIView.h"
#include "ads/meridian/MRJSONVideoButton.h"

class MRJSONVideoOverlayControlView;
class NSArray;
class NSDictionary;
class NSMutableArray;
class NSNotification;
class NSTimer;
class UILabel;

class MRJSONVideoOverlayControlViewDelegate {
public:
    virtual ~MRJSONVideoOverlayControlViewDelegate() = default;
    virtual void jsonVideoButtonWasTapped(MRJSONVideoButton* button,
                                          MRJSONVideoOverlayControlView* overlay) = 0;
};

class MRJSONVideoOverlayControlView : public UIView, public MRJSONVideoButtonDelegate {
    NS_OBJECT(MRJSONVideoOverlayControlView, UIView)
    static void describeClass(RuntimeClass& c);

    using UIView::initWithFrame;
    bool initWithFrame(CGRect frame, NSArray* jsonVideoButtons, bool showCountdownHUD,
                       MRJSONVideoOverlayControlViewDelegate* delegate);
    void dealloc() override;

    void createAndShowCountdownLabel();
    void showButtons();
    void fadeInButton(NSDictionary* entry);
    void timeoutButton(NSDictionary* entry);
    void fadeInButtons();
    void startTimeouts();
    void stopTimeouts();
    void videoFinishedPlaying();
    void restart();
    void fadeButton(UIView* button, float opacity, float duration);

    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;
    void videoButtonWasTapped(NSNotification* note);
    void jsonVideoButtonWasTapped(MRJSONVideoButton* button) override;

    Ref<NSArray> jsonVideoButtons() { return jsonVideoButtons_; }
    void setJsonVideoButtons(NSArray* buttons);
    // Entries {"videoButton": model, "UIButton": its button}, in the ad's order.
    Ref<NSArray> buttons();
    Ref<UILabel> countdownLabel() { return countdownLabel_.lock(); }
    Ref<MRJSONVideoOverlayControlViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRJSONVideoOverlayControlViewDelegate* d) { delegate_ = d; }
    bool isVideoFinishedPlaying() { return videoFinishedPlaying_; }
    // The inactivity timers running now.
    NSUInteger runningTimeoutCount();

private:
    static Ref<UIButton> buttonOf(NSDictionary* entry);
    static Ref<MRJSONVideoButton> modelOf(NSDictionary* entry);
    void scheduleTimeout(NSDictionary* entry);

    Ref<NSArray> jsonVideoButtons_;
    Ref<NSMutableArray> buttons_;
    Ref<NSMutableArray> timeoutTimers_;
    Weak<UILabel> countdownLabel_;
    Weak<MRJSONVideoOverlayControlViewDelegate> delegate_;
    bool videoFinishedPlaying_ = false;
};
