// The banner of a house ad: a whole-banner image (type 1) or an icon with text on a gradient
// (type 2), covered by a button that reports taps to the adapter.
#pragma once

#include "Foundation/NSURL.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"

class AdLoomCustomAdView;
class NSURL;
class UIColor;
class UIImage;
class UILabel;

class AdLoomCustomAdViewDelegate {
public:
    virtual ~AdLoomCustomAdViewDelegate() = default;
    // adTapped:
    virtual void adTapped(AdLoomCustomAdView* view) = 0;
};

enum AdLoomCustomAdType : int {
    AdLoomCustomAdTypeBanner = 1,
    AdLoomCustomAdTypeText = 2,
};

enum AdLoomCustomAdLaunchType : int {
    AdLoomCustomAdLaunchTypeSafari = 1,
    AdLoomCustomAdLaunchTypeCanvas = 2,
    AdLoomCustomAdLaunchTypeSafariRedirectFollowThrough = 3,
};

class AdLoomCustomAdView : public UIButton {
    NS_OBJECT(AdLoomCustomAdView, UIButton)
    static void describeClass(RuntimeClass& c);
    // initWithDelegate:text:redirectURL:clickMetricsURL:adType:launchType:animType:
    // backgroundColor:textColor:
    bool initWithDelegate(AdLoomCustomAdViewDelegate* delegate, NSString* text, NSURL* redirectURL,
                          NSURL* clickMetricsURL, int adType, int launchType, int animType,
                          UIColor* backgroundColor, UIColor* textColor);
    void drawRect(CGRect rect) override;
    void buttonTapUp(NSObject* sender);

    Ref<AdLoomCustomAdViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(AdLoomCustomAdViewDelegate* d) { delegate_ = d; }
    Ref<UIImage> image() { return image_; }
    void setImage(UIImage* image) { image_ = image; }
    Ref<UILabel> textLabel() { return textLabel_; }
    Ref<NSURL> redirectURL() { return redirectURL_; }
    Ref<NSURL> clickMetricsURL() { return clickMetricsURL_; }
    int adType() { return adType_; }
    int launchType() { return launchType_; }
    int animType() { return animType_; }
    Ref<UIColor> adBackgroundColor() { return backgroundColor_; }
    Ref<UIColor> textColor() { return textColor_; }
    // The button that covers the banner.
    Ref<UIButton> tapButton() { return tapButton_; }

private:
    void drawIconAd(CGRect bounds);

    Weak<AdLoomCustomAdViewDelegate> delegate_;
    Ref<UIImage> image_;
    Ref<UILabel> textLabel_;
    Ref<NSURL> redirectURL_;
    Ref<NSURL> clickMetricsURL_;
    int adType_ = 0;
    int launchType_ = 0;
    int animType_ = 0;
    Ref<UIColor> backgroundColor_;
    Ref<UIColor> textColor_;
    Ref<UIButton> tapButton_;
};
