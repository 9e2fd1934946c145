// UIKit's drawing state: a per-thread stack of current graphics contexts, image contexts
// (bitmaps in UIKit's coordinates: origin top-left, y down, one unit a point) and the
// rectangle helpers that paint in the current context's colours.
#pragma once

#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class UIImage;

// The context on top of the calling thread's stack; nil when nothing is pushed. The stack holds
// it, so the pointer stays good until the matching pop or end.
Ref<CGContext> UIGraphicsGetCurrentContext();
// Makes the context current (the stack retains it) until the matching pop.
void UIGraphicsPushContext(CGContextRef context);
// Pops whatever is on top; an empty stack is left alone.
void UIGraphicsPopContext();

// A transparent bitmap of `size` points at scale 1 made current.
void UIGraphicsBeginImageContext(CGSize size);
// `opaque` starts it black and drops alpha from the images taken from it; `scale` 0 means the
// main screen's scale. Pixel sizes are the point sizes times the scale, rounded up.
void UIGraphicsBeginImageContextWithOptions(CGSize size, bool opaque, CGFloat scale);
// An image of what the current image context holds, at its scale; nil when the current
// context is not an image context.
Ref<UIImage> UIGraphicsGetImageFromCurrentImageContext();
// Pops the current image context; does nothing when the top is not an image context.
void UIGraphicsEndImageContext();

// Fill with the current fill colour (copy blending unless a mode is given, as the platform
// fills), frame with a line one point wide inside the rectangle, or intersect the clip.
void UIRectFill(CGRect rect);
void UIRectFillUsingBlendMode(CGRect rect, CGBlendMode blendMode);
void UIRectFrame(CGRect rect);
void UIRectFrameUsingBlendMode(CGRect rect, CGBlendMode blendMode);
void UIRectClip(CGRect rect);
