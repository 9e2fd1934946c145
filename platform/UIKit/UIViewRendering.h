// The window renderer: draws a view tree as the screen would show it. For each visible view,
// back to front: its background colour (rounded by its layer's corner radius), its layer's
// contents (placed by the view's content mode), its own drawing (drawRect: with the view's
// context current, origin at the view's top-left, y down), then its subviews in order and, once
// it has a layer, the sublayers that belong to no view among them (by zPosition), and the
// layer's border on top. Alpha composites a view and its subviews as one (with the layer's
// shadow under them); hidden views and views below 0.01 alpha are skipped; clipsToBounds clips
// the content and the subviews, to the rounded corners when the layer has a radius;
// transforms turn and scale about the view's centre. Layers marked for display are displayed
// before they are drawn.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIView.h"

class CGContext;
using CGContextRef = CGContext*;
class NSError;
class UIImage;
enum UIInterfaceOrientation : NSInteger;

// Draws the view and its subviews into the context, whose current transform maps the view's
// bounds (UIKit coordinates) to where it should appear. Pending layout runs first.
void UIViewRenderInContext(UIView* view, CGContextRef context);

// The view's own drawing, without its background, layer contents or subviews, into the
// context in the view's bounds coordinates: the look of a standard control, an image view's
// image, and drawRect: (clipped to the bounds, answering a pending display mark). What the
// view's layer asks of it as the layer's delegate.
void UIViewDrawOwnContent(UIView* view, CGContextRef context);

// The display pass's drawing: the view's pending display mark answered with drawRect: of the
// marked area, with a context of the view's bounds size current (UIView's display pass).
void UIViewDisplayPending(UIView* view);

// Where content of `size` (points) lands in `bounds` under a content mode (the redraw mode
// scales to fill, as the platform's does).
CGRect UIViewContentModeRect(UIViewContentMode mode, CGRect bounds, CGSize size);

// The view drawn into an image of its bounds size at `scale` (0: the main screen's scale),
// the view's bounds origin at the image's top-left; nil for nil or an empty view.
Ref<UIImage> UIViewRenderImage(UIView* view, CGFloat scale);

// The application's key window drawn at the main screen's scale, over black where the window
// does not cover the screen, with what the system shows over it: the keyboard while a text input
// has the focus (under alerts), and the status bar unless it is hidden. Nil when there is no
// key window.
Ref<UIImage> UIScreenRenderKeyWindow();

// The time the status bar shows: the Clock's, as "9:41 AM", in the default time zone.
Ref<NSString> UIStatusBarTimeText();

// From interface coordinates (the top-left of the interface turned to `orientation`, the
// status bar's strip at its top) to the portrait screen's.
CGAffineTransform UIInterfaceToScreenTransform(UIInterfaceOrientation orientation);

// Writes UIScreenRenderKeyWindow() as a PNG file. False (with an error, when asked) when there is
// no key window or the file cannot be written.
bool UIScreenWriteKeyWindowPNG(NSString* path, Ref<NSError>* error);
