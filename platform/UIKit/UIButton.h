// Buttons: per-state titles, title colours, images and background images, with the normal
// state's value standing in for a state that has none.
#pragma once

#include <map>

#include "UIKit/UIControl.h"

class UIColor;
class UIFont;
class UIImage;
class UIImageView;
class UILabel;

enum UIButtonType : NSInteger {
    UIButtonTypeCustom = 0,
    UIButtonTypeRoundedRect,
    UIButtonTypeDetailDisclosure,
    UIButtonTypeInfoLight,
    UIButtonTypeInfoDark,
    UIButtonTypeContactAdd,
};

class UIButton : public UIControl {
    NS_OBJECT(UIButton, UIControl)
    static void describeClass(RuntimeClass& c);
    static Ref<UIButton> buttonWithType(UIButtonType type);
    bool initWithFrame(CGRect frame) override;

    UIButtonType buttonType() { return type_; }

    void setTitle(NSString* title, UIControlState state);
    void setTitleColor(UIColor* color, UIControlState state);
    void setTitleShadowColor(UIColor* color, UIControlState state);
    void setImage(UIImage* image, UIControlState state);
    void setBackgroundImage(UIImage* image, UIControlState state);
    Ref<NSString> titleForState(UIControlState state);
    Ref<UIColor> titleColorForState(UIControlState state);
    Ref<UIColor> titleShadowColorForState(UIControlState state);
    Ref<UIImage> imageForState(UIControlState state);
    Ref<UIImage> backgroundImageForState(UIControlState state);

    // For the current state.
    Ref<NSString> currentTitle();
    Ref<UIColor> currentTitleColor();
    Ref<UIColor> currentTitleShadowColor();
    Ref<UIImage> currentImage();
    Ref<UIImage> currentBackgroundImage();

    // The label and image view that show the current title and image (made on first use).
    Ref<UILabel> titleLabel();
    Ref<UIImageView> imageView();
    // The older way to set the title's font.
    Ref<UIFont> font();
    void setFont(UIFont* font);

    UIEdgeInsets contentEdgeInsets() { return contentInsets_; }
    void setContentEdgeInsets(UIEdgeInsets e);
    UIEdgeInsets titleEdgeInsets() { return titleInsets_; }
    void setTitleEdgeInsets(UIEdgeInsets e);
    UIEdgeInsets imageEdgeInsets() { return imageInsets_; }
    void setImageEdgeInsets(UIEdgeInsets e);
    bool reversesTitleShadowWhenHighlighted() { return reversesShadow_; }
    void setReversesTitleShadowWhenHighlighted(bool v) { reversesShadow_ = v; }
    bool adjustsImageWhenHighlighted() { return adjustsWhenHighlighted_; }
    void setAdjustsImageWhenHighlighted(bool v) { adjustsWhenHighlighted_ = v; }
    bool adjustsImageWhenDisabled() { return adjustsWhenDisabled_; }
    void setAdjustsImageWhenDisabled(bool v) { adjustsWhenDisabled_ = v; }
    // While disabled, a button without a picture of its own for that state shows its normal
    // pictures (image and background) faded to this opacity, as the platform dims them; 1 while
    // enabled or when it does not adjust its images. A title without a disabled colour of its
    // own fades alike.
    CGFloat imageAlphaForCurrentState();
    CGFloat backgroundImageAlphaForCurrentState();
    bool showsTouchWhenHighlighted() { return showsTouch_; }
    void setShowsTouchWhenHighlighted(bool v) { showsTouch_ = v; }

    virtual CGRect backgroundRectForBounds(CGRect bounds);
    virtual CGRect contentRectForBounds(CGRect bounds);
    virtual CGRect titleRectForContentRect(CGRect contentRect);
    virtual CGRect imageRectForContentRect(CGRect contentRect);

    void setEnabled(bool enabled) override;
    void setSelected(bool selected) override;
    void setHighlighted(bool highlighted) override;
    CGSize sizeThatFits(CGSize size) override;
    void layoutSubviews() override;

    // What one state holds (the normal state's value stands in for missing ones).
    struct StateValues {
        Ref<NSString> title;
        Ref<UIColor> titleColor;
        Ref<UIColor> titleShadowColor;
        Ref<UIImage> image;
        Ref<UIImage> backgroundImage;
    };

private:
    StateValues* valuesFor(UIControlState state, bool create);
    void updateContent();

    UIButtonType type_ = UIButtonTypeCustom;
    std::map<UIControlState, StateValues> states_;
    Ref<UILabel> titleLabel_;
    Ref<UIImageView> imageView_;
    UIEdgeInsets contentInsets_{}, titleInsets_{}, imageInsets_{};
    bool reversesShadow_ = false;
    bool adjustsWhenHighlighted_ = true;
    bool adjustsWhenDisabled_ = true;
    bool showsTouch_ = false;
};
