// One overlay button of a video ad: its model as the ad server describes it, archived with the
// video cache (image bytes included, so no fetch is needed later), and the platform button made
// from it once.
#pragma once

#include "Foundation/NSCoder.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIButton.h"

class MRJSONVideoButton;
class NSArray;
class NSDictionary;
class NSMutableData;
class NSURL;
class UIColor;
class UIFont;
class UIImage;

// Posted (object nil) on the default center whenever an overlay button is tapped.
extern NSString* const MRVideoOverlayButtonWasTapped;

class MRJSONVideoButtonDelegate {
public:
    virtual ~MRJSONVideoButtonDelegate() = default;
    virtual void jsonVideoButtonWasTapped(MRJSONVideoButton*) {}
};

class MRJSONVideoButton : public NSObject, public NSCoding {
    NS_OBJECT(MRJSONVideoButton, NSObject)
    static void describeClass(RuntimeClass& c);

    bool initWithJSONButton(NSDictionary* json);
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // "r,g,b", "r,g,b,a" (0-1 components) or one "#RRGGBB"/"RRGGBB" text; any other single
    // text is black; two parts or more than four give nil.
    static Ref<UIColor> colorFromString(NSString* text);

    // Built on the first call (fetching the image then, synchronously) and kept.
    Ref<UIButton> button();
    void buttonWasTapped(NSObject* sender);
    bool isEqualToVideoButton(MRJSONVideoButton* other);
    Ref<NSString> description() override;

    Ref<NSURL> imageURL() { return imageURL_; }
    Ref<NSURL> tapURL() { return tapURL_; }
    Ref<NSString> component() { return component_; }
    Ref<NSArray> activity() { return activity_; }
    float appearanceDelay() { return appearanceDelay_; }
    float inactivityTimeout() { return inactivityTimeout_; }
    float startOpacity() { return startOpacity_; }
    float endOpacity() { return endOpacity_; }
    float fadeDuration() { return fadeDuration_; }
    Ref<NSString> title() { return title_; }
    Ref<UIColor> buttonColor() { return buttonColor_; }
    Ref<UIColor> textColor() { return textColor_; }
    Ref<UIFont> buttonFont() { return buttonFont_; }
    Ref<NSMutableData> imageData() { return imageData_; }
    Ref<UIImage> image() { return image_; }
    float xLocation() { return xLocation_; }
    float yLocation() { return yLocation_; }
    float buttonWidth() { return buttonWidth_; }
    float buttonHeight() { return buttonHeight_; }

    Ref<MRJSONVideoButtonDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRJSONVideoButtonDelegate* d) { delegate_ = d; }

private:
    Ref<NSURL> imageURL_;
    Ref<UIImage> image_;
    Ref<NSMutableData> imageData_;
    Ref<NSURL> tapURL_;
    float xLocation_ = 0, yLocation_ = 0;
    Ref<NSString> title_;
    Ref<UIColor> buttonColor_, textColor_;
    float buttonHeight_ = 0, buttonWidth_ = 0;
    Ref<UIFont> buttonFont_;
    Ref<NSString> component_;
    Ref<UIButton> generatedButton_;
    Ref<NSArray> activity_;
    float appearanceDelay_ = 0, inactivityTimeout_ = 0;
    float startOpacity_ = 1, endOpacity_ = 1, fadeDuration_ = 1;
    Weak<MRJSONVideoButtonDelegate> delegate_;
};

// Reading JSON values as the ad server sends them: numbers and texts alike.
namespace mrjson {
float floatOf(NSObject* value);
bool boolOf(NSObject* value);
Ref<NSURL> urlOf(NSObject* value);        // nil unless a text
Ref<NSString> stringOf(NSObject* value);  // copied; nil unless a text
}  // namespace mrjson
