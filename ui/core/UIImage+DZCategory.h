// Placing an image inside a rectangle by content mode, optionally clipped to a rounded
// rectangle, as image views draw their images; and redrawing an image at a new size, turned
// upright. Drawing goes to the current graphics context. Main thread.
#pragma once

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class UIImage;

// The rectangle the image is drawn in for the target and the content mode. The aspect modes
// fit or fill by comparing the image's shape with the target's.
CGRect convertRect(UIImage* image, CGRect rect, UIViewContentMode contentMode);
// Draws the image placed by convertRect, clipped to the target but for the aspect modes.
void drawInRect(UIImage* image, CGRect rect, UIViewContentMode contentMode);
// drawInRect:radius: (scale to fill), and drawInRect:radius:contentMode:: clipped to the
// target's rounded rectangle when the radius is not 0.
void drawInRectRadius(UIImage* image, CGRect rect, CGFloat radius);
void drawInRect(UIImage* image, CGRect rect, CGFloat radius, UIViewContentMode contentMode);
// Begins a new path in the context holding the rectangle with corners of the radius (a plain
// rectangle for 0), left in the context for the caller's clip or fill.
void addRoundedRectToPath(CGContextRef context, CGRect rect, CGFloat radius);
// A new image of width × height pixels drawn from the image, turned upright by its orientation
// when `rotate` is set.
Ref<UIImage> transformWidth(UIImage* image, CGFloat width, CGFloat height, bool rotate);
