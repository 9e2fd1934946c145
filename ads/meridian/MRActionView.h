// A centred busy-or-error panel; at most one is on show in the process.
#pragma once

#include "UIKit/UIView.h"

class MRProgress;
class NSNumber;
class UIImageView;
class UILabel;

class MRActionView : public UIView {
    NS_OBJECT(MRActionView, UIView)
    static void describeClass(RuntimeClass& c);
    static Ref<MRActionView> errorViewForView(UIView* view, NSString* text);
    bool initForView(UIView* view, NSString* text);
    Ref<UILabel> textLabel();
    Ref<MRProgress> progress() { return spinner_; }
    void layoutSubviews() override;
    void removeView();
    static void removeViewOnShow();
    static Ref<MRActionView> viewOnShow();
    void removeAnimationDidStop(NSString*, NSNumber*, void*) {}
    void dealloc() override;

private:
    void fadeOutDidStop();
    Ref<UIImageView> imageView_;
    Ref<UILabel> textLabel_;
    Ref<MRProgress> spinner_;
};
