#include "ads/meridian/MRJSONVideoButton.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIStringDrawing.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"

NSString* const MRVideoOverlayButtonWasTapped = NS("MRVideoOverlayButtonWasTapped");

namespace mrjson {

float floatOf(NSObject* value) {
    if (auto n = as<NSNumber>(value)) return n->floatValue();
    if (auto s = as<NSString>(value)) return s->floatValue();
    return 0;
}

bool boolOf(NSObject* value) {
    if (auto n = as<NSNumber>(value)) return n->boolValue();
    if (auto s = as<NSString>(value)) return s->boolValue();
    return false;
}

Ref<NSURL> urlOf(NSObject* value) {
    auto s = as<NSString>(value);
    return s ? NSURL::URLWithString(s.get()) : nullptr;
}

Ref<NSString> stringOf(NSObject* value) {
    auto s = as<NSString>(value);
    return s ? cast<NSString>(s->copy()) : nullptr;
}

// What a tap does, from the ad's own command the button's link carries; nil for any other link.
Ref<NSString> spokenCommand(NSURL* url) {
    if (!url) return nullptr;
    auto text = url->absoluteString();
    if (text->isEqualToString(NS("mrsdk://endVideo"))) return NS("Skip");
    if (text->isEqualToString(NS("mrsdk://restartVideo"))) return NS("Replay");
    if (text->isEqualToString(NS("mrsdk://pauseVideo"))) return NS("Pause");
    if (text->isEqualToString(NS("mrsdk://playVideo"))) return NS("Play");
    return nullptr;
}

}  // namespace mrjson

using namespace mrjson;

void MRJSONVideoButton::describeClass(RuntimeClass& c) {
    c.method("buttonWasTapped:", &MRJSONVideoButton::buttonWasTapped)
        .property("tapURL", &MRJSONVideoButton::tapURL);
}

bool MRJSONVideoButton::initWithJSONButton(NSDictionary* json) {
    if (!NSObject::init()) return false;
    imageURL_ = urlOf(json->objectForKey(NS("image")).get());
    tapURL_ = urlOf(json->objectForKey(NS("url")).get());
    activity_ = as<NSArray>(json->objectForKey(NS("activity")));
    xLocation_ = floatOf(json->objectForKey(NS("x-location")).get());
    yLocation_ = floatOf(json->objectForKey(NS("y-location")).get());
    if (auto opacity = as<NSDictionary>(json->objectForKey(NS("opacity")))) {
        startOpacity_ = floatOf(opacity->objectForKey(NS("start")).get());
        endOpacity_ = floatOf(opacity->objectForKey(NS("end")).get());
        fadeDuration_ = floatOf(opacity->objectForKey(NS("fadeDuration")).get());
    }
    appearanceDelay_ = floatOf(json->objectForKey(NS("appearanceDelay")).get());
    inactivityTimeout_ = floatOf(json->objectForKey(NS("inactivityTimeout")).get());
    title_ = stringOf(json->objectForKey(NS("title")).get());
    component_ = stringOf(json->objectForKey(NS("component")).get());
    if (!component_) component_ = NS("");
    buttonColor_ = colorFromString(as<NSString>(json->objectForKey(NS("buttonColor"))).get());
    if (!json->objectForKey(NS("buttonColor"))) buttonColor_ = UIColor::blackColor();
    textColor_ = colorFromString(as<NSString>(json->objectForKey(NS("textColor"))).get());
    if (!json->objectForKey(NS("textColor"))) textColor_ = UIColor::whiteColor();
    buttonWidth_ = floatOf(json->objectForKey(NS("width")).get());
    buttonHeight_ = floatOf(json->objectForKey(NS("height")).get());
    float fontSize = floatOf(json->objectForKey(NS("fontSize")).get());
    buttonFont_ = UIFont::systemFontOfSize(fontSize > 0 ? fontSize : 10);
    return true;
}

Ref<UIColor> MRJSONVideoButton::colorFromString(NSString* text) {
    if (!text) return nullptr;
    auto parts = text->componentsSeparatedByString(NS(","));
    NSUInteger n = parts->count();
    auto part = [&](NSUInteger i) { return cast<NSString>(parts->objectAtIndex(i))->floatValue(); };
    if (n == 4) return UIColor::colorWithRed(part(0), part(1), part(2), part(3));
    if (n == 3) return UIColor::colorWithRed(part(0), part(1), part(2), 1);
    if (n != 1) return nullptr;
    auto hex = text->stringByTrimmingCharactersInSet(
                       NSCharacterSet::whitespaceAndNewlineCharacterSet().get())
                   ->uppercaseString();
    if (hex->length() > 5 && hex->hasPrefix(NS("#"))) hex = hex->substringFromIndex(1);
    if (hex->length() != 6) return UIColor::blackColor();
    unsigned rgb = 0;
    auto scanner = NSScanner::scannerWithString(hex.get());
    if (!scanner->scanHexInt(&rgb)) return UIColor::blackColor();
    return UIColor::colorWithRed(((rgb >> 16) & 0xFF) / 255.0f, ((rgb >> 8) & 0xFF) / 255.0f,
                                 (rgb & 0xFF) / 255.0f, 1);
}

Ref<UIButton> MRJSONVideoButton::button() {
    if (generatedButton_) return generatedButton_;
    auto b = UIButton::buttonWithType(UIButtonTypeCustom);
    if (title_) {
        CGRect frame = CGRectMake(xLocation_, yLocation_, buttonWidth_, buttonHeight_);
        if (buttonWidth_ == 0 || buttonHeight_ == 0) {
            CGSize size = sizeWithFont(title_.get(), buttonFont_.get());
            frame.size = size;
        }
        b->setFrame(frame);
        for (UIControlState state :
             {UIControlStateNormal, UIControlStateHighlighted, UIControlStateSelected}) {
            b->setTitle(title_.get(), state);
            b->setTitleColor(textColor_.get(), state);
        }
        b->titleLabel()->setFont(buttonFont_.get());
        b->setBackgroundColor(buttonColor_.get());
    } else if (image_ || (imageData_ && imageData_->length() > 0)) {
        if (!image_) image_ = UIImage::imageWithData(imageData_.get());
        if (image_) {
            CGSize size = image_->size();
            b->setFrame(CGRectMake(xLocation_, yLocation_, size.width, size.height));
            b->setBackgroundImage(image_.get(), UIControlStateNormal);
            b->setBackgroundImage(image_.get(), UIControlStateHighlighted);
        }
    } else if (imageURL_) {
        // Fetched here, once: the cache builds every button when it stores the ad, and the
        // bytes are archived with it.
        Ref<NSURLResponse> response;
        Ref<NSError> error;
        auto bytes = NSURLConnection::sendSynchronousRequest(
            NSURLRequest::requestWithURL(imageURL_.get()).get(), &response, &error);
        auto http = as<NSHTTPURLResponse>(response);
        bool ok = bytes && (!http || (http->statusCode() >= 200 && http->statusCode() < 300));
        if (ok) {
            imageData_ = NSMutableData::dataWithData(bytes.get());
            image_ = UIImage::imageWithData(imageData_.get());
        }
        if (image_) {
            CGSize size = image_->size();
            b->setFrame(CGRectMake(xLocation_, yLocation_, size.width, size.height));
            b->setBackgroundImage(image_.get(), UIControlStateNormal);
        }
    }
    if (tapURL_ && tapURL_->absoluteString()->length() > 0)
        b->addTarget(this, Selector::named("buttonWasTapped:"), UIControlEventTouchUpInside);
    // A button that shows only a picture: assistive technology reads it by what it does.
    if (!title_) {
        if (auto said = spokenCommand(tapURL_.get())) b->setAccessibilityLabel(said.get());
    }
    generatedButton_ = b;
    return b;
}

void MRJSONVideoButton::buttonWasTapped(NSObject*) {
    Ref<MRJSONVideoButton> keep(this);
    NSNotificationCenter::defaultCenter()->postNotificationName(MRVideoOverlayButtonWasTapped,
                                                                nullptr);
    if (auto d = delegate_.lock()) d->jsonVideoButtonWasTapped(this);
}

bool MRJSONVideoButton::isEqualToVideoButton(MRJSONVideoButton* other) {
    if (!other) return false;
    auto text = [](NSURL* u) -> Ref<NSString> { return u ? u->absoluteString() : nullptr; };
    auto a = text(imageURL_.get()), b = text(other->imageURL_.get());
    bool sameImage = (!a && !b) || (a && b && a->isEqualToString(b.get()));
    if (!sameImage) return false;
    if (tapURL_ && other->tapURL_)
        return text(tapURL_.get())->isEqualToString(text(other->tapURL_.get()).get());
    return true;
}

Ref<NSString> MRJSONVideoButton::description() {
    return NSString::stringWithFormat(NS("<MRJSONVideoButton: url = %@, tap = %@, component = %@>"),
                                      imageURL_.get(), tapURL_.get(), component_.get());
}

void MRJSONVideoButton::encodeWithCoder(NSCoder* coder) {
    coder->encodeObject(activity_.get(), NS("activity"));
    coder->encodeObject(imageURL_.get(), NS("imageURL"));
    coder->encodeObject(imageData_.get(), NS("imageData"));
    coder->encodeObject(tapURL_.get(), NS("tapURL"));
    coder->encodeFloat(xLocation_, NS("xLocation"));
    coder->encodeFloat(yLocation_, NS("yLocation"));
    coder->encodeObject(title_.get(), NS("title"));
    coder->encodeObject(buttonColor_.get(), NS("buttonColor"));
    coder->encodeObject(textColor_.get(), NS("textColor"));
    coder->encodeObject(buttonFont_.get(), NS("buttonFont"));
    coder->encodeFloat(buttonHeight_, NS("buttonHeight"));
    coder->encodeFloat(buttonWidth_, NS("buttonWidth"));
    coder->encodeFloat(startOpacity_, NS("startOpacity"));
    coder->encodeFloat(endOpacity_, NS("endOpacity"));
    coder->encodeFloat(fadeDuration_, NS("fadeDuration"));
    coder->encodeFloat(appearanceDelay_, NS("appearanceDelay"));
    coder->encodeFloat(inactivityTimeout_, NS("inactivityTimeout"));
    coder->encodeObject(component_.get(), NS("component"));
}

bool MRJSONVideoButton::initWithCoder(NSCoder* coder) {
    if (!NSObject::init()) return false;
    activity_ = as<NSArray>(coder->decodeObjectForKey(NS("activity")));
    imageURL_ = as<NSURL>(coder->decodeObjectForKey(NS("imageURL")));
    if (auto data = as<NSData>(coder->decodeObjectForKey(NS("imageData"))))
        imageData_ = NSMutableData::dataWithData(data.get());
    tapURL_ = as<NSURL>(coder->decodeObjectForKey(NS("tapURL")));
    xLocation_ = coder->decodeFloatForKey(NS("xLocation"));
    yLocation_ = coder->decodeFloatForKey(NS("yLocation"));
    title_ = stringOf(coder->decodeObjectForKey(NS("title")).get());
    buttonColor_ = as<UIColor>(coder->decodeObjectForKey(NS("buttonColor")));
    textColor_ = as<UIColor>(coder->decodeObjectForKey(NS("textColor")));
    buttonFont_ = as<UIFont>(coder->decodeObjectForKey(NS("buttonFont")));
    buttonHeight_ = coder->decodeFloatForKey(NS("buttonHeight"));
    buttonWidth_ = coder->decodeFloatForKey(NS("buttonWidth"));
    startOpacity_ = coder->decodeFloatForKey(NS("startOpacity"));
    endOpacity_ = coder->decodeFloatForKey(NS("endOpacity"));
    fadeDuration_ = coder->decodeFloatForKey(NS("fadeDuration"));
    appearanceDelay_ = coder->decodeFloatForKey(NS("appearanceDelay"));
    inactivityTimeout_ = coder->decodeFloatForKey(NS("inactivityTimeout"));
    component_ = stringOf(coder->decodeObjectForKey(NS("component")).get());
    if (imageData_ && imageData_->length() > 0) image_ = UIImage::imageWithData(imageData_.get());
    return true;
}
