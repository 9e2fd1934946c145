// Fonts: a name and a point size. The name maps to the nearest face installed on the system
// (the platform's names such as "Helvetica-Bold" or "MarkerFelt-Thin" to Liberation faces, whose
// advances are Helvetica's, Times's and Courier's, else DejaVu's; unknown names to the system
// face; characters a face lacks come from an installed face that has them). The vertical metrics
// come from the text measurer in use: the face's own with the font measurer, the model's with the
// fixed-advance test font.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSObject.h"

class NSArray;

// Keyed archives keep the name and the point size.
class UIFont : public NSObject, public NSCoding {
    NS_OBJECT(UIFont, NSObject)
    static Ref<UIFont> systemFontOfSize(CGFloat size);
    static Ref<UIFont> boldSystemFontOfSize(CGFloat size);
    static Ref<UIFont> italicSystemFontOfSize(CGFloat size);
    // nil for an empty name; any other name is accepted and drawn in its nearest face.
    static Ref<UIFont> fontWithName(NSString* name, CGFloat size);
    Ref<UIFont> fontWithSize(CGFloat size);
    static CGFloat systemFontSize() { return 14; }
    static CGFloat smallSystemFontSize() { return 12; }
    static CGFloat labelFontSize() { return 17; }
    static CGFloat buttonFontSize() { return 18; }
    static Ref<NSArray> familyNames();
    static Ref<NSArray> fontNamesForFamilyName(NSString* family);

    Ref<NSString> fontName() { return name_; }
    Ref<NSString> familyName();
    CGFloat pointSize() { return size_; }
    bool isBold();
    bool isItalic();
    CGFloat ascender();
    CGFloat descender();  // negative
    CGFloat capHeight();
    CGFloat xHeight();
    CGFloat lineHeight();
    CGFloat leading() { return lineHeight(); }

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    Ref<NSString> name_;
    CGFloat size_ = 0;
};

// The system font names the factories use.
extern NSString* const UIFontSystemFontName;        // "Helvetica"
extern NSString* const UIFontBoldSystemFontName;    // "Helvetica-Bold"
extern NSString* const UIFontItalicSystemFontName;  // "Helvetica-Oblique"
