#include "UIKit/UIFont.h"

#include <cmath>
#include <cstdio>

#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"

NSString* const UIFontSystemFontName = NS("Helvetica");
NSString* const UIFontBoldSystemFontName = NS("Helvetica-Bold");
NSString* const UIFontItalicSystemFontName = NS("Helvetica-Oblique");

namespace {
Ref<UIFont> makeFont(NSString* name, CGFloat size) {
    auto f = UIFont::fontWithName(name, size);
    return f;
}
}  // namespace

Ref<UIFont> UIFont::systemFontOfSize(CGFloat size) {
    return makeFont(UIFontSystemFontName, size);
}
Ref<UIFont> UIFont::boldSystemFontOfSize(CGFloat size) {
    return makeFont(UIFontBoldSystemFontName, size);
}
Ref<UIFont> UIFont::italicSystemFontOfSize(CGFloat size) {
    return makeFont(UIFontItalicSystemFontName, size);
}

Ref<UIFont> UIFont::fontWithName(NSString* name, CGFloat size) {
    if (!name || name->length() == 0) return nullptr;
    auto f = make<UIFont>();
    f->name_ = name->copy();
    // A size of zero or less asks for the default size.
    f->size_ = size > 0 ? size : 12;
    return f;
}

Ref<UIFont> UIFont::fontWithSize(CGFloat size) {
    return fontWithName(name_, size);
}

Ref<NSArray> UIFont::familyNames() {
    return NSArray::arrayWithObjects(
        {NS("Helvetica"), NS("Arial"), NS("Georgia"), NS("Courier"), NS("Times New Roman")});
}

Ref<NSArray> UIFont::fontNamesForFamilyName(NSString* family) {
    if (!family) return NSArray::array();
    std::string f = family->utf8();
    if (f == "Helvetica")
        return NSArray::arrayWithObjects({NS("Helvetica"), NS("Helvetica-Bold"),
                                          NS("Helvetica-Oblique"), NS("Helvetica-BoldOblique")});
    return NSArray::arrayWithObject(family);
}

Ref<NSString> UIFont::familyName() {
    std::string n = name_->utf8();
    auto dash = n.find('-');
    return NSString::fromUTF8(dash == std::string::npos ? n : n.substr(0, dash));
}

bool UIFont::isBold() {
    return name_->utf8().find("Bold") != std::string::npos;
}

bool UIFont::isItalic() {
    std::string n = name_->utf8();
    return n.find("Oblique") != std::string::npos || n.find("Italic") != std::string::npos;
}

CGFloat UIFont::ascender() {
    return size_ * 0.8f;
}
CGFloat UIFont::descender() {
    return -size_ * 0.2f;
}
CGFloat UIFont::capHeight() {
    return size_ * 0.7f;
}
CGFloat UIFont::xHeight() {
    return size_ * 0.5f;
}
CGFloat UIFont::lineHeight() {
    // Whole points, as text measures on the platform come out.
    return std::ceil(size_ * 1.2f);
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
