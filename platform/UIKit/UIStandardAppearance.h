// What the platform's standard controls paint of their own (bars, buttons, fields, switches,
// segments, tabs, cell separators, pickers, progress, alerts): the renderer draws it beneath a
// view's subviews, in the view's bounds coordinates, after its background colour. The
// controls here are models without drawing code; their look lives with the renderer.
#pragma once

#include "CoreGraphics/CGContext.h"

class UIView;

void UIDrawStandardAppearance(UIView* view, CGContextRef context);

// Whether the look above paints the view's background colour itself, in its own shape (a
// grouped table's cell: its piece of the section's rounded panel), so the renderer does not
// fill the bounds with it.
bool UIStandardAppearanceShapesBackground(UIView* view);

class NSString;
class UITextInputTraits;

// The system keyboard in `rect` (interface coordinates: the full width, 216 points high in
// portrait and 162 in landscape): the keys of the input's keyboard type and its return key's
// title, over the keyboard's blue-grey.
void UIDrawKeyboard(CGContextRef context, CGRect rect, UITextInputTraits* traits);

// The return key's title for an input (its return key type).
NSString* UIKeyboardReturnKeyTitle(UITextInputTraits* traits);

// The status bar across `rect` in a style (UIStatusBarStyle): the signal and carrier name on
// the left (followed by the network activity indicator with `networkActivity`), `time` in the
// middle, the battery on the right.
void UIDrawStatusBar(CGContextRef context, CGRect rect, NSInteger style, NSString* time,
                     bool networkActivity = false);

// The name the status bar shows for the phone's network.
inline constexpr const char* UIStatusBarCarrierName = "Carrier";
