#include "UIKit/UIFont.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "UIKit/FontSupport.h"
#include "UIKit/UIStringDrawing.h"

NSString* const UIFontSystemFontName = NS("Helvetica");
NSString* const UIFontBoldSystemFontName = NS("Helvetica-Bold");
NSString* const UIFontItalicSystemFontName = NS("Helvetica-Oblique");

Ref<UIFont> UIFont::systemFontOfSize(CGFloat size) {
    return fontWithName(UIFontSystemFontName, size);
}
Ref<UIFont> UIFont::boldSystemFontOfSize(CGFloat size) {
    return fontWithName(UIFontBoldSystemFontName, size);
}
Ref<UIFont> UIFont::italicSystemFontOfSize(CGFloat size) {
    return fontWithName(UIFontItalicSystemFontName, size);
}

Ref<UIFont> UIFont::fontWithName(NSString* name, CGFloat size) {
    if (!name || name->length() == 0) return nullptr;
    auto f = make<UIFont>();
    f->name_ = name->copy();
    // A size of zero or less asks for the default size.
    f->size_ = size > 0 ? size : 12;
    return f;
}

void UIFont::encodeWithCoder(NSCoder* coder) {
    coder->encodeObject(name_, NS("UIFontName"));
    coder->encodeFloat(size_, NS("UIFontPointSize"));
}

bool UIFont::initWithCoder(NSCoder* coder) {
    auto name = as<NSString>(coder->decodeObjectForKey(NS("UIFontName")));
    if (!name || name->length() == 0) return false;
    name_ = name->copy();
    CGFloat size = coder->decodeFloatForKey(NS("UIFontPointSize"));
    size_ = size > 0 ? size : 12;
    return true;
}

Ref<UIFont> UIFont::fontWithSize(CGFloat size) {
    return fontWithName(name_, size);
}

namespace {
// The families the name table knows, with their faces, in the order the platform lists them.
struct Family {
    const char* name;
    std::vector<const char*> faces;
};
const std::vector<Family>& families() {
    static const std::vector<Family> list = {
        {"American Typewriter", {"AmericanTypewriter", "AmericanTypewriter-Bold"}},
        {"Arial", {"ArialMT", "Arial-BoldMT", "Arial-ItalicMT", "Arial-BoldItalicMT"}},
        {"Arial Rounded MT Bold", {"ArialRoundedMTBold"}},
        {"Baskerville",
         {"Baskerville", "Baskerville-Bold", "Baskerville-Italic", "Baskerville-BoldItalic"}},
        {"Courier", {"Courier", "Courier-Bold", "Courier-Oblique", "Courier-BoldOblique"}},
        {"Courier New",
         {"CourierNewPSMT", "CourierNewPS-BoldMT", "CourierNewPS-ItalicMT",
          "CourierNewPS-BoldItalicMT"}},
        {"Futura", {"Futura-Medium", "Futura-MediumItalic", "Futura-CondensedExtraBold"}},
        {"Georgia", {"Georgia", "Georgia-Bold", "Georgia-Italic", "Georgia-BoldItalic"}},
        {"Gill Sans", {"GillSans", "GillSans-Bold", "GillSans-Italic", "GillSans-BoldItalic"}},
        {"Helvetica",
         {"Helvetica", "Helvetica-Bold", "Helvetica-Oblique", "Helvetica-BoldOblique",
          "Helvetica-Light", "Helvetica-LightOblique"}},
        {"Helvetica Neue",
         {"HelveticaNeue", "HelveticaNeue-Bold", "HelveticaNeue-Italic", "HelveticaNeue-BoldItalic",
          "HelveticaNeue-Light", "HelveticaNeue-LightItalic", "HelveticaNeue-Medium",
          "HelveticaNeue-UltraLight", "HelveticaNeue-CondensedBold"}},
        {"Marker Felt", {"MarkerFelt-Thin", "MarkerFelt-Wide"}},
        {"Optima", {"Optima-Regular", "Optima-Bold", "Optima-Italic", "Optima-BoldItalic"}},
        {"Palatino", {"Palatino-Roman", "Palatino-Bold", "Palatino-Italic", "Palatino-BoldItalic"}},
        {"Times New Roman",
         {"TimesNewRomanPSMT", "TimesNewRomanPS-BoldMT", "TimesNewRomanPS-ItalicMT",
          "TimesNewRomanPS-BoldItalicMT"}},
        {"Trebuchet MS",
         {"TrebuchetMS", "TrebuchetMS-Bold", "TrebuchetMS-Italic", "Trebuchet-BoldItalic"}},
        {"Verdana", {"Verdana", "Verdana-Bold", "Verdana-Italic", "Verdana-BoldItalic"}},
    };
    return list;
}

UIFontSupport::FontTraits traits(NSString* name) {
    return UIFontSupport::traitsForName(name ? name->utf8() : std::string());
}
}  // namespace

Ref<NSArray> UIFont::familyNames() {
    auto out = NSMutableArray::array();
    for (auto& f : families())
        out->addObject(NSString::fromUTF8(f.name));
    return out;
}

Ref<NSArray> UIFont::fontNamesForFamilyName(NSString* family) {
    auto out = NSMutableArray::array();
    if (!family) return out;
    std::string name = family->utf8();
    for (auto& f : families())
        if (name == f.name)
            for (auto* face : f.faces)
                out->addObject(NSString::fromUTF8(face));
    return out;
}

Ref<NSString> UIFont::familyName() {
    return NSString::fromUTF8(traits(name_).familyName);
}

bool UIFont::isBold() {
    return traits(name_).bold;
}

bool UIFont::isItalic() {
    return traits(name_).italic;
}

CGFloat UIFont::ascender() {
    return UITextMeasurerCurrent()->metrics(this).ascender;
}
CGFloat UIFont::descender() {
    return UITextMeasurerCurrent()->metrics(this).descender;
}
CGFloat UIFont::capHeight() {
    return UITextMeasurerCurrent()->metrics(this).capHeight;
}
CGFloat UIFont::xHeight() {
    return UITextMeasurerCurrent()->metrics(this).xHeight;
}
CGFloat UIFont::lineHeight() {
    return UITextMeasurerCurrent()->lineHeight(this);
}

bool UIFont::isEqual(NSObject* other) {
    auto o = dynamic_cast<UIFont*>(other);
    return o && o->size_ == size_ && o->name_->isEqualToString(name_);
}

NSUInteger UIFont::hash() {
    return name_->hash() ^ static_cast<NSUInteger>(size_ * 16);
}

Ref<NSString> UIFont::description() {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%g", static_cast<double>(size_));
    return NSString::stringWithFormat(NS("<UIFont: %p> font-family: \"%@\"; font-size: %s"),
                                      static_cast<void*>(this), familyName(), buf);
}
