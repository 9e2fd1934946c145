// What the platform's standard controls paint of their own (bars, buttons, fields, switches,
// segments, tabs, cell separators, pickers, progress, alerts): the renderer draws it beneath a
// view's subviews, in the view's bounds coordinates, after its background colour. The
// controls here are models without drawing code; their look lives with the renderer.
#pragma once

#include "CoreGraphics/CGContext.h"

class UIView;

void UIDrawStandardAppearance(UIView* view, CGContextRef context);
