// The styled button: per control state a title, an image (named by a URL, loaded in the
// background) and a style chain from the style sheet; draws the current state's chain with the
// title and image fed to its text and image steps. Main thread.
#pragma once

#include "UIKit/UIControl.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleDelegate.h"
#include "ui/core/DZURLRequest.h"
#include "ui/style/DZImageViewDelegate.h"

class DZButton;
class NSMutableDictionary;
class UIFont;

// One state's title, image and style; it also loads that state's image.
class DZButtonContent : public NSObject, public DZURLRequestDelegate {
    NS_OBJECT(DZButtonContent, NSObject)
    static void describeClass(RuntimeClass& c);
    bool initWithButton(DZButton* button);
    void dealloc() override;

    Ref<NSString> title() { return title_; }
    void setTitle(NSString* title);
    Ref<NSString> imageURL() { return imageURL_; }
    // Loads the image (from the cache, else in the background); nil or empty clears it.
    void setImageURL(NSString* url);
    Ref<UIImage> image() { return image_; }
    void setImage(UIImage* image) { image_ = image; }
    Ref<DZStyle> style() { return style_; }
    void setStyle(DZStyle* style) { style_ = style; }
    Ref<DZImageViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZImageViewDelegate* delegate) { delegate_ = delegate; }
    Ref<DZURLRequest> request() { return request_; }

    void reload();
    void stopLoading();

    void requestDidStartLoad(DZURLRequest* request) override;
    void requestDidFinishLoad(DZURLRequest* request) override;
    void requestDidFailLoadWithError(DZURLRequest* request, NSError* error) override;
    void requestDidCancelLoad(DZURLRequest* request) override;

private:
    void redrawButton();
    Weak<DZButton> button_;
    Ref<NSString> title_, imageURL_;
    Ref<UIImage> image_;
    Ref<DZStyle> style_;
    Ref<DZURLRequest> request_;
    Weak<DZImageViewDelegate> delegate_;
};

class DZButton : public UIControl, public DZStyleDelegate, public DZImageViewDelegate {
    NS_OBJECT(DZButton, UIControl)
    static void describeClass(RuntimeClass& c);
    static Ref<DZButton> buttonWithStyle(NSString* selector);
    static Ref<DZButton> buttonWithStyle(NSString* selector, NSString* title);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    // The record of the state's key (made on first use, never nil).
    Ref<DZButtonContent> contentForState(UIControlState state);
    Ref<DZButtonContent> contentForCurrentState();

    // The current state's value, else the normal state's.
    Ref<NSString> titleForCurrentState();
    Ref<UIImage> imageForCurrentState();
    Ref<DZStyle> styleForCurrentState();
    Ref<UIFont> fontForCurrentState();

    // The font set, else (kept from then on) the global sheet's button font.
    Ref<UIFont> font();
    void setFont(UIFont* font);
    bool isVertical() { return isVertical_; }
    void setIsVertical(bool vertical) { isVertical_ = vertical; }
    Ref<DZImageViewDelegate> imageDelegate() { return imageDelegate_.lock(); }
    void setImageDelegate(DZImageViewDelegate* delegate) { imageDelegate_ = delegate; }

    Ref<NSString> titleForState(UIControlState state);
    void setTitle(NSString* title, UIControlState state);
    // The image's URL string.
    Ref<NSString> imageForState(UIControlState state);
    void setImage(NSString* url, UIControlState state);
    Ref<DZStyle> styleForState(UIControlState state);
    void setStyle(DZStyle* style, UIControlState state);
    // The sheet's style of that name for the normal, highlighted, selected and disabled states.
    void setStylesWithSelector(NSString* selector);

    void setHighlighted(bool highlighted) override;
    void setSelected(bool selected) override;
    void setEnabled(bool enabled) override;

    void suspendLoadingImages(bool suspended);
    CGRect rectForImage();

    CGSize sizeThatFits(CGSize size) override;
    void drawRect(CGRect rect) override;

    Ref<NSString> textForLayerWithStyle(DZStyle* style) override;
    Ref<UIImage> imageForLayerWithStyle(DZStyle* style) override;
    // imageView:didLoadImage: answers and does nothing: the content redraws the button itself.
    void imageViewDidLoadImage(DZImageView*, UIImage*) override {}

    // The label set on the button, else its current title.
    Ref<NSString> accessibilityLabel() override {
        auto label = UIControl::accessibilityLabel();
        return label && label->length() > 0 ? label : titleForCurrentState();
    }
    UIAccessibilityTraits accessibilityTraits() override {
        return UIControl::accessibilityTraits() | UIAccessibilityTraitButton;
    }

private:
    static Ref<NSString> keyForState(UIControlState state);
    Ref<NSMutableDictionary> content_;
    Ref<UIFont> font_;
    bool isVertical_ = false;
    Weak<DZImageViewDelegate> imageDelegate_;
};
