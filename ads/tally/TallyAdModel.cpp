#include "ads/tally/TallyAdModel.h"

#include <cmath>

#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "analytics/base/TallyUtil.h"

namespace {
Ref<NSString> copyOf(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}
template <class T>
Ref<T> decoded(NSCoder* c, const char* key) {
    return as<T>(c->decodeObjectForKey(NSString::stringWithUTF8String(key)));
}
}  // namespace

void TallyAd::setAdText(NSString* v) {
    adText_ = copyOf(v);
}
void TallyAd::setAdvertiser(NSString* v) {
    advertiser_ = copyOf(v);
}

Ref<NSString> TallyAd::adCookieString() {
    auto out = NSMutableString::string();
    if (!adCookie_) return out;
    auto* p = static_cast<const uint8_t*>(adCookie_->bytes());
    for (NSUInteger i = 0; i < adCookie_->length(); ++i)
        out->appendFormat(NS("%02x"), p[i]);
    return out;
}

void TallyAd::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyAd"));
    c->encodeObject(adId_, NS("adId"));
    c->encodeObject(projectId_, NS("projectId"));
    c->encodeObject(adText_, NS("adText"));
    c->encodeObject(advertiser_, NS("advertiser"));
    c->encodeObject(canvasId_, NS("canvasId"));
    c->encodeObject(imageId_, NS("imageId"));
    c->encodeObject(adCookieSize_, NS("adCookieSize"));
    c->encodeObject(adCookie_, NS("adCookie"));
}

bool TallyAd::initWithCoder(NSCoder* c) {
    adId_ = decoded<NSNumber>(c, "adId");
    projectId_ = decoded<NSNumber>(c, "projectId");
    adText_ = decoded<NSString>(c, "adText");
    advertiser_ = decoded<NSString>(c, "advertiser");
    canvasId_ = decoded<NSNumber>(c, "canvasId");
    imageId_ = decoded<NSNumber>(c, "imageId");
    adCookieSize_ = decoded<NSNumber>(c, "adCookieSize");
    adCookie_ = decoded<NSData>(c, "adCookie");
    return true;
}

void TallyAdImage::setMimeFormat(NSString* v) {
    mimeFormat_ = copyOf(v);
}
void TallyAdImage::setFileName(NSString* v) {
    fileName_ = copyOf(v);
}

void TallyAdImage::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyAdImage"));
    c->encodeObject(imageId_, NS("imageId"));
    c->encodeObject(width_, NS("width"));
    c->encodeObject(height_, NS("height"));
    c->encodeObject(mimeFormat_, NS("mimeFormat"));
    c->encodeObject(imageDataSize_, NS("imageDataSize"));
    c->encodeObject(fileName_, NS("fileName"));
    c->encodeObject(image_ ? UIImagePNGRepresentation(image_) : nullptr, NS("imageData"));
}

bool TallyAdImage::initWithCoder(NSCoder* c) {
    imageId_ = decoded<NSNumber>(c, "imageId");
    width_ = decoded<NSNumber>(c, "width");
    height_ = decoded<NSNumber>(c, "height");
    mimeFormat_ = decoded<NSString>(c, "mimeFormat");
    imageDataSize_ = decoded<NSNumber>(c, "imageDataSize");
    fileName_ = decoded<NSString>(c, "fileName");
    if (auto data = decoded<NSData>(c, "imageData")) image_ = UIImage::imageWithData(data);
    return true;
}

void TallyAdLocation::encodeWithCoder(NSCoder* c) {
    c->encodeObject(x_, NS("x"));
    c->encodeObject(y_, NS("y"));
}
bool TallyAdLocation::initWithCoder(NSCoder* c) {
    x_ = decoded<NSNumber>(c, "x");
    y_ = decoded<NSNumber>(c, "y");
    return true;
}

void TallyAdDimension::encodeWithCoder(NSCoder* c) {
    c->encodeObject(width_, NS("width"));
    c->encodeObject(height_, NS("height"));
}
bool TallyAdDimension::initWithCoder(NSCoder* c) {
    width_ = decoded<NSNumber>(c, "width");
    height_ = decoded<NSNumber>(c, "height");
    return true;
}

bool TallyAdTextStyle::init() {
    if (!NSObject::init()) return false;
    location_ = make<TallyAdLocation>();
    dimension_ = make<TallyAdDimension>();
    return true;
}
void TallyAdTextStyle::setFontColor(UIColor* v) {
    fontColor_ = v;
}
void TallyAdTextStyle::encodeWithCoder(NSCoder* c) {
    c->encodeObject(fontColor_, NS("fontColor"));
    c->encodeObject(fontSize_, NS("fontSize"));
    c->encodeObject(font_, NS("font"));
    c->encodeObject(location_, NS("location"));
    c->encodeObject(dimension_, NS("dimension"));
}
bool TallyAdTextStyle::initWithCoder(NSCoder* c) {
    fontColor_ = decoded<UIColor>(c, "fontColor");
    fontSize_ = decoded<NSNumber>(c, "fontSize");
    font_ = decoded<NSString>(c, "font");
    location_ = decoded<TallyAdLocation>(c, "location");
    dimension_ = decoded<TallyAdDimension>(c, "dimension");
    return true;
}

namespace {
const char* const kStyleKeys[6] = {"portraitAppNameTextStyle",      "portraitSellMessageTextStyle",
                                   "portraitAdvertiserTextStyle",   "landscapeAppNameTextStyle",
                                   "landscapeSellMessageTextStyle", "landscapeAdvertiserTextStyle"};
const char* const kDimensionKeys[4] = {"portraitAdDimension", "portraitAppImageDimension",
                                       "landscapeAdDimension", "landscapeAppImageDimension"};
const char* const kLocationKeys[2] = {"portraitAppImageLocation", "landscapeAppImageLocation"};
}  // namespace

bool TallyAdTheme::init() {
    if (!NSObject::init()) return false;
    for (auto& s : styles_)
        s = make<TallyAdTextStyle>();
    for (auto& d : dimensions_)
        d = make<TallyAdDimension>();
    for (auto& l : locations_)
        l = make<TallyAdLocation>();
    return true;
}
void TallyAdTheme::setSellMessage(NSString* v) {
    sellMessage_ = copyOf(v);
}
void TallyAdTheme::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyAdTheme"));
    c->encodeObject(themeId_, NS("themeId"));
    c->encodeObject(sellMessage_, NS("sellMessage"));
    c->encodeObject(portraitAdImageId_, NS("portraitAdImageId"));
    c->encodeObject(landscapeAdImageId_, NS("landscapeAdImageId"));
    for (int i = 0; i < 6; ++i)
        c->encodeObject(styles_[i], NSString::stringWithUTF8String(kStyleKeys[i]));
    for (int i = 0; i < 4; ++i)
        c->encodeObject(dimensions_[i], NSString::stringWithUTF8String(kDimensionKeys[i]));
    for (int i = 0; i < 2; ++i)
        c->encodeObject(locations_[i], NSString::stringWithUTF8String(kLocationKeys[i]));
}
bool TallyAdTheme::initWithCoder(NSCoder* c) {
    themeId_ = decoded<NSNumber>(c, "themeId");
    sellMessage_ = decoded<NSString>(c, "sellMessage");
    portraitAdImageId_ = decoded<NSNumber>(c, "portraitAdImageId");
    landscapeAdImageId_ = decoded<NSNumber>(c, "landscapeAdImageId");
    for (int i = 0; i < 6; ++i)
        styles_[i] = decoded<TallyAdTextStyle>(c, kStyleKeys[i]);
    for (int i = 0; i < 4; ++i)
        dimensions_[i] = decoded<TallyAdDimension>(c, kDimensionKeys[i]);
    for (int i = 0; i < 2; ++i)
        locations_[i] = decoded<TallyAdLocation>(c, kLocationKeys[i]);
    return true;
}

void TallyAdHook::setName(NSString* v) {
    name_ = copyOf(v);
}
void TallyAdHook::encodeWithCoder(NSCoder* c) {
    TallyUtil::debugLog(NS("Tally: Encode TallyAdHook"));
    c->encodeObject(name_, NS("name"));
    c->encodeObject(adBlockId_, NS("adBlockId"));
    c->encodeObject(themeId_, NS("themeId"));
    c->encodeObject(clickAction_, NS("clickAction"));
    c->encodeObject(adTheme_, NS("adTheme"));
}
bool TallyAdHook::initWithCoder(NSCoder* c) {
    name_ = decoded<NSString>(c, "name");
    adBlockId_ = decoded<NSNumber>(c, "adBlockId");
    themeId_ = decoded<NSNumber>(c, "themeId");
    clickAction_ = decoded<NSNumber>(c, "clickAction");
    adTheme_ = decoded<TallyAdTheme>(c, "adTheme");
    return true;
}

bool TallyAdState::initWithState(int32_t state, int64_t time) {
    state_ = state;
    time_ = time;
    return true;
}
int32_t TallyAdState::translateAdStateFromOldToNew(int32_t old) {
    static const int32_t kNew[] = {1, 3, 4, 5, 8};
    return old >= 0 && old <= 4 ? kNew[old] : 0;
}
void TallyAdState::encodeWithCoder(NSCoder* c) {
    c->encodeDouble(static_cast<double>(time_), NS("timeIntervalSinceSessionStart"));
    c->encodeInt32(state_, NS("state"));
}
bool TallyAdState::initWithCoder(NSCoder* c) {
    double t = c->decodeDoubleForKey(NS("timeIntervalSinceSessionStart"));
    time_ = std::isfinite(t) && std::fabs(t) < 9.2e18 ? static_cast<int64_t>(t) : 0;
    state_ = c->decodeInt32ForKey(NS("state"));
    return true;
}

void registerTallyAdModelClasses() {
    TallyAd::staticClass();
    TallyAdImage::staticClass();
    TallyAdLocation::staticClass();
    TallyAdDimension::staticClass();
    TallyAdTextStyle::staticClass();
    TallyAdTheme::staticClass();
    TallyAdHook::staticClass();
    TallyAdState::staticClass();
    UIColor::staticClass();
}
