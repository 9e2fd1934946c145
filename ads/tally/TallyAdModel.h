// The value records of the ad reply: ads, images, hooks, themes with their text styles, places
// and sizes, and the states of an impression. All are archivable by key, the keys being the
// property names, so the parser and the image cache can keep them across sessions.
#pragma once

#include <cstdint>

#include "Foundation/NSArray.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"

class NSData;
class NSNumber;
class NSString;
class UIColor;
class UIImage;

class TallyAd : public NSObject, public NSCoding {
    NS_OBJECT(TallyAd, NSObject)

    Ref<NSNumber> adId() { return adId_; }
    void setAdId(NSNumber* v) { adId_ = v; }
    Ref<NSNumber> projectId() { return projectId_; }
    void setProjectId(NSNumber* v) { projectId_ = v; }
    Ref<NSString> adText() { return adText_; }
    void setAdText(NSString* v);
    Ref<NSString> advertiser() { return advertiser_; }
    void setAdvertiser(NSString* v);
    Ref<NSNumber> canvasId() { return canvasId_; }
    void setCanvasId(NSNumber* v) { canvasId_ = v; }
    Ref<NSNumber> imageId() { return imageId_; }
    void setImageId(NSNumber* v) { imageId_ = v; }
    Ref<NSNumber> adCookieSize() { return adCookieSize_; }
    void setAdCookieSize(NSNumber* v) { adCookieSize_ = v; }
    Ref<NSData> adCookie() { return adCookie_; }
    void setAdCookie(NSData* v) { adCookie_ = v; }
    Ref<UIImage> adImage() { return adImage_; }
    void setAdImage(UIImage* v) { adImage_ = v; }

    // The cookie as lower-case hex, two digits a byte; "" without one.
    Ref<NSString> adCookieString();

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSNumber> adId_, projectId_;
    Ref<NSString> adText_, advertiser_;
    Ref<NSNumber> canvasId_, imageId_, adCookieSize_;
    Ref<NSData> adCookie_;
    Ref<UIImage> adImage_;
};

class TallyAdImage : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdImage, NSObject)

    Ref<NSNumber> imageId() { return imageId_; }
    void setImageId(NSNumber* v) { imageId_ = v; }
    Ref<NSNumber> width() { return width_; }
    void setWidth(NSNumber* v) { width_ = v; }
    Ref<NSNumber> height() { return height_; }
    void setHeight(NSNumber* v) { height_ = v; }
    Ref<NSString> mimeFormat() { return mimeFormat_; }
    void setMimeFormat(NSString* v);
    Ref<NSNumber> imageDataSize() { return imageDataSize_; }
    void setImageDataSize(NSNumber* v) { imageDataSize_ = v; }
    Ref<UIImage> image() { return image_; }
    void setImage(UIImage* v) { image_ = v; }
    Ref<NSString> fileName() { return fileName_; }
    void setFileName(NSString* v);

    // The image travels as PNG under "imageData".
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSNumber> imageId_, width_, height_;
    Ref<NSString> mimeFormat_;
    Ref<NSNumber> imageDataSize_;
    Ref<UIImage> image_;
    Ref<NSString> fileName_;
};

class TallyAdLocation : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdLocation, NSObject)
    Ref<NSNumber> x() { return x_; }
    void setX(NSNumber* v) { x_ = v; }
    Ref<NSNumber> y() { return y_; }
    void setY(NSNumber* v) { y_ = v; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSNumber> x_, y_;
};

class TallyAdDimension : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdDimension, NSObject)
    Ref<NSNumber> width() { return width_; }
    void setWidth(NSNumber* v) { width_ = v; }
    Ref<NSNumber> height() { return height_; }
    void setHeight(NSNumber* v) { height_ = v; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSNumber> width_, height_;
};

class TallyAdTextStyle : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdTextStyle, NSObject)
    bool init() override;  // with an empty location and dimension

    Ref<UIColor> fontColor() { return fontColor_; }
    void setFontColor(UIColor* v);
    Ref<NSNumber> fontSize() { return fontSize_; }
    void setFontSize(NSNumber* v) { fontSize_ = v; }
    Ref<NSString> font() { return font_; }
    void setFont(NSString* v) { font_ = v; }
    Ref<TallyAdLocation> location() { return location_; }
    void setLocation(TallyAdLocation* v) { location_ = v; }
    Ref<TallyAdDimension> dimension() { return dimension_; }
    void setDimension(TallyAdDimension* v) { dimension_ = v; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<UIColor> fontColor_;
    Ref<NSNumber> fontSize_;
    Ref<NSString> font_;
    Ref<TallyAdLocation> location_;
    Ref<TallyAdDimension> dimension_;
};

class TallyAdTheme : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdTheme, NSObject)
    // Makes every text style, dimension and location, for the parser to fill in place.
    bool init() override;

    Ref<NSNumber> themeId() { return themeId_; }
    void setThemeId(NSNumber* v) { themeId_ = v; }
    Ref<NSString> sellMessage() { return sellMessage_; }
    void setSellMessage(NSString* v);
    Ref<NSNumber> portraitAdImageId() { return portraitAdImageId_; }
    void setPortraitAdImageId(NSNumber* v) { portraitAdImageId_ = v; }
    Ref<NSNumber> landscapeAdImageId() { return landscapeAdImageId_; }
    void setLandscapeAdImageId(NSNumber* v) { landscapeAdImageId_ = v; }

    Ref<TallyAdTextStyle> portraitAppNameTextStyle() { return styles_[0]; }
    Ref<TallyAdTextStyle> portraitSellMessageTextStyle() { return styles_[1]; }
    Ref<TallyAdTextStyle> portraitAdvertiserTextStyle() { return styles_[2]; }
    Ref<TallyAdTextStyle> landscapeAppNameTextStyle() { return styles_[3]; }
    Ref<TallyAdTextStyle> landscapeSellMessageTextStyle() { return styles_[4]; }
    Ref<TallyAdTextStyle> landscapeAdvertiserTextStyle() { return styles_[5]; }
    Ref<TallyAdDimension> portraitAdDimension() { return dimensions_[0]; }
    Ref<TallyAdDimension> portraitAppImageDimension() { return dimensions_[1]; }
    Ref<TallyAdLocation> portraitAppImageLocation() { return locations_[0]; }
    Ref<TallyAdDimension> landscapeAdDimension() { return dimensions_[2]; }
    Ref<TallyAdDimension> landscapeAppImageDimension() { return dimensions_[3]; }
    Ref<TallyAdLocation> landscapeAppImageLocation() { return locations_[1]; }

    Ref<UIImage> portraitAdImage() { return portraitAdImage_; }
    void setPortraitAdImage(UIImage* v) { portraitAdImage_ = v; }
    Ref<UIImage> landscapeAdImage() { return landscapeAdImage_; }
    void setLandscapeAdImage(UIImage* v) { landscapeAdImage_ = v; }

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSNumber> themeId_;
    Ref<NSString> sellMessage_;
    Ref<NSNumber> portraitAdImageId_, landscapeAdImageId_;
    Ref<TallyAdTextStyle> styles_[6];
    Ref<TallyAdDimension> dimensions_[4];
    Ref<TallyAdLocation> locations_[2];
    Ref<UIImage> portraitAdImage_, landscapeAdImage_;
};

class TallyAdHook : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdHook, NSObject)
    Ref<NSString> name() { return name_; }
    void setName(NSString* v);
    Ref<NSNumber> adBlockId() { return adBlockId_; }
    void setAdBlockId(NSNumber* v) { adBlockId_ = v; }
    Ref<NSNumber> themeId() { return themeId_; }
    void setThemeId(NSNumber* v) { themeId_ = v; }
    Ref<NSNumber> clickAction() { return clickAction_; }
    void setClickAction(NSNumber* v) { clickAction_ = v; }
    Ref<TallyAdTheme> adTheme() { return adTheme_; }
    void setAdTheme(TallyAdTheme* v) { adTheme_ = v; }
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> name_;
    Ref<NSNumber> adBlockId_, themeId_, clickAction_;
    Ref<TallyAdTheme> adTheme_;
};

// One state of an impression: its code and the milliseconds since the session started.
class TallyAdState : public NSObject, public NSCoding {
    NS_OBJECT(TallyAdState, NSObject)
    bool initWithState(int32_t state, int64_t time);
    int64_t timeIntervalSinceSessionStart() { return time_; }
    int32_t state() { return state_; }
    // The codes of impressions stored in the older form: 0..4 -> 1, 3, 4, 5, 8; others 0.
    static int32_t translateAdStateFromOldToNew(int32_t old);
    // The time is written as a double and read back truncated toward zero.
    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    int64_t time_ = 0;
    int32_t state_ = 0;
};

// The model classes are re-created by name when archives are read.
void registerTallyAdModelClasses();
