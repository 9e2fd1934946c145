// Colours: RGBA components in 0...1, or a pattern image. `set`, `setFill` and `setStroke` make
// the colour the current context's paint; `CGColor` is the same colour for CoreGraphics calls.
#pragma once

#include "CoreGraphics/CGBase.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSCoder.h"
#include "Foundation/NSObject.h"

class UIImage;

// Keyed archives keep the components (and whether the colour is a grey), or a pattern's image
// as PNG data.
class UIColor : public NSObject, public NSCoding {
    NS_OBJECT(UIColor, NSObject)
    static Ref<UIColor> colorWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    static Ref<UIColor> colorWithWhite(CGFloat white, CGFloat alpha);
    static Ref<UIColor> colorWithHue(CGFloat hue, CGFloat saturation, CGFloat brightness,
                                     CGFloat alpha);
    // A colour that fills with the image, tiled; its components read as transparent black.
    static Ref<UIColor> colorWithPatternImage(UIImage* image);

    bool initWithRed(CGFloat red, CGFloat green, CGFloat blue, CGFloat alpha);
    bool initWithWhite(CGFloat white, CGFloat alpha);
    bool initWithPatternImage(UIImage* image);

    // The named colours (shared instances).
    static Ref<UIColor> blackColor();
    static Ref<UIColor> darkGrayColor();
    static Ref<UIColor> lightGrayColor();
    static Ref<UIColor> whiteColor();
    static Ref<UIColor> grayColor();
    static Ref<UIColor> redColor();
    static Ref<UIColor> greenColor();
    static Ref<UIColor> blueColor();
    static Ref<UIColor> cyanColor();
    static Ref<UIColor> yellowColor();
    static Ref<UIColor> magentaColor();
    static Ref<UIColor> orangeColor();
    static Ref<UIColor> purpleColor();
    static Ref<UIColor> brownColor();
    static Ref<UIColor> clearColor();
    static Ref<UIColor> lightTextColor();
    static Ref<UIColor> darkTextColor();
    static Ref<UIColor> groupTableViewBackgroundColor();
    static Ref<UIColor> viewFlipsideBackgroundColor();
    static Ref<UIColor> scrollViewTexturedBackgroundColor();
    static Ref<UIColor> underPageBackgroundColor();

    Ref<UIColor> colorWithAlphaComponent(CGFloat alpha);

    CGFloat red() { return r_; }
    CGFloat green() { return g_; }
    CGFloat blue() { return b_; }
    CGFloat alpha() { return a_; }
    // The colour's components; false for a pattern colour.
    bool getRed(CGFloat* red, CGFloat* green, CGFloat* blue, CGFloat* alpha);
    // The grey level (Rec. 601 luma for colours) and alpha; false for a pattern colour.
    bool getWhite(CGFloat* white, CGFloat* alpha);
    bool getHue(CGFloat* hue, CGFloat* saturation, CGFloat* brightness, CGFloat* alpha);
    Ref<UIImage> patternImage() { return pattern_; }

    // The colour as the current context's fill and stroke, its fill, or its stroke. A pattern
    // colour tiles its image upright, one image pixel to a bitmap pixel, from the bitmap's
    // corner. Nothing without a current context.
    virtual void set();
    virtual void setFill();
    virtual void setStroke();
    // The same colour for CoreGraphics (device RGB, or grey for colours made from a white
    // level; a pattern colour tiles its image). Made once per colour and held by it.
    Ref<::CGColor> CGColor();

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    // "UIDeviceRGBColorSpace r g b a", as the platform prints.
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

private:
    CGFloat r_ = 0, g_ = 0, b_ = 0, a_ = 1;
    bool white_ = false;
    Ref<UIImage> pattern_;
    Ref<::CGColor> cgColor_;
};
