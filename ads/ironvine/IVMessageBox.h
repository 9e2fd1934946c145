// The rounded translucent box the full-screen window shows while an ad loads: a title, a
// message and any other views stacked in it, over a pre-drawn background. Main thread.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"
#include "UIKit/UIViewController.h"

class CGLayer;
class NSCoder;
class NSNumber;
class NSSet;
class UIEvent;
class UILabel;
class UIScrollView;

class IVMessageBoxView : public UIView {
    NS_OBJECT(IVMessageBoxView, UIView)
    static constexpr CGFloat kMaximumHeight = 320.0f;

    bool initWithFrame(CGRect frame) override;
    void dealloc() override;
    CGSize contentSize() { return contentSize_; }
    void setContentSize(CGSize size) { contentSize_ = size; }
    CGFloat cornerRadius() { return cornerRadius_; }
    Ref<UIScrollView> contentView() { return contentView_; }

    void layoutViews();
    void removeView(UIView* view);
    void addView(UIView* view);
    void sizeToFit() override;
    void drawRect(CGRect rect) override;
    void updateBackgroundLayerForSize(CGSize size);

private:
    void initialize();

    Ref<CGLayer> bgLayer_;
    CGFloat cornerRadius_ = 0;
    CGSize contentSize_{};
    Ref<UIScrollView> contentView_;
};

class IVMessageBox : public UIViewController {
    NS_OBJECT(IVMessageBox, UIViewController)
    static void describeClass(RuntimeClass& c);
    static Ref<IVMessageBox> messageBox();

    bool init() override;
    void dealloc() override;
    // Touches on the box end here rather than reach the views beneath it.
    void touchesEnded(NSSet*, UIEvent*) override {}
    void setTransform(CGAffineTransform transform);
    void animationFinished(NSString* animationID, NSNumber* finished, void* context);
    void hide();
    void showInView(UIView* view);
    void removeView(UIView* view);
    void addView(UIView* view);
    void setMessage(NSString* message);
    void setTitle(NSString* title) override;
    Ref<UILabel> titleView() { return titleView_; }
    Ref<UILabel> messageView() { return messageView_; }
    Ref<IVMessageBoxView> boxView();

private:
    Ref<UILabel> makeLabel(NSString* text);

    Ref<UILabel> titleView_;
    Ref<UILabel> messageView_;
};
