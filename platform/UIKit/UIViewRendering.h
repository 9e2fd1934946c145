// The window renderer: draws a view tree as the screen would show it. For each visible view,
// back to front: its background colour, its layer's contents (placed by the content mode), its
// own drawing (drawRect: with the view's context current, origin at the view's top-left, y
// down), then its subviews in order. Alpha composites a view and its subviews as one; hidden
// views and views below 0.01 alpha are skipped; clipsToBounds clips the subviews; transforms
// turn and scale about the view's centre.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"

class CGContext;
using CGContextRef = CGContext*;
class NSError;
class UIImage;
class UIView;

// Draws the view and its subviews into the context, whose current transform maps the view's
// bounds (UIKit coordinates) to where it should appear. Pending layout runs first.
void UIViewRenderInContext(UIView* view, CGContextRef context);

// The view drawn into an image of its bounds size at `scale` (0: the main screen's scale),
// the view's bounds origin at the image's top-left; nil for nil or an empty view.
Ref<UIImage> UIViewRenderImage(UIView* view, CGFloat scale);

// The application's key window drawn at the main screen's scale, over black where the window
// does not cover the screen; nil when there is no key window.
Ref<UIImage> UIScreenRenderKeyWindow();

// Writes UIScreenRenderKeyWindow() as a PNG file. False (with an error, when asked) when there is
// no key window or the file cannot be written.
bool UIScreenWriteKeyWindowPNG(NSString* path, Ref<NSError>* error);
