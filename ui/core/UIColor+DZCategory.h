// HSV arithmetic on colours, from which styles and style sheets derive lighter and darker
// shades, and the framework's line height of a font. Hue is in degrees (0 up to 360, -1 for
// greys, which have none), saturation and value run from 0 to 1. Results are not clamped.
#pragma once

#include "CoreGraphics/CGBase.h"
#include "Foundation/NSObject.h"

class UIColor;
class UIFont;

void colorComponentsRGBToHueSatVal(const CGFloat rgb[3], CGFloat* hue, CGFloat* saturation,
                                   CGFloat* value);
void colorComponentsHueSatValToRGB(const CGFloat hsv[3], CGFloat* red, CGFloat* green,
                                   CGFloat* blue);

// +colorWithHue:saturation:value:alpha: (named apart from the platform's brightness form).
Ref<UIColor> colorWithHueSaturationValueAlpha(CGFloat hue, CGFloat saturation, CGFloat value,
                                              CGFloat alpha);
// The colour's hue, saturation and value each multiplied by the factor given, same alpha.
Ref<UIColor> multiplyHue(UIColor* color, CGFloat hd, CGFloat sd, CGFloat vd);
// The same with the amounts added.
Ref<UIColor> addHue(UIColor* color, CGFloat hd, CGFloat sd, CGFloat vd);
// The colour's red, green and blue with another alpha.
Ref<UIColor> copyWithAlpha(UIColor* color, CGFloat alpha);
Ref<UIColor> highlight(UIColor* color);  // saturation × 0.4, value × 1.2
Ref<UIColor> shadow(UIColor* color);     // saturation × 0.6, value × 0.6
CGFloat hue(UIColor* color);
CGFloat saturation(UIColor* color);
CGFloat value(UIColor* color);

// Ascender − descender + 1: the font's full height and a point.
CGFloat dzLineHeight(UIFont* font);
