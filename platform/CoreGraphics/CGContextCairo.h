// The context's drawing pipeline opened to other drawing code of the platform (text): what it
// paints with cairo goes through the clip, global alpha, blend mode and shadow like any other
// painting. cairo.h is not included here; include it where the callback is written.
#pragma once

#include <functional>

#include "CoreGraphics/CGContext.h"

struct _cairo;
using cairo_t = struct _cairo;

// Calls paint with a cairo context whose matrix is the context's user space (CTM included,
// y as the CTM makes it), whose source is the fill colour (clamped) and operator OVER, with
// the context's antialiasing. paint draws its shapes (cairo_fill, cairo_show_glyphs, ...) with
// that operator (an opaque bitmap drawn into directly keeps its alpha through it); the result
// is then composited as one shape. Nothing happens for a nil context.
void CGContextPaintWithCairo(CGContextRef c, const std::function<void(cairo_t* cr)>& paint);

// Whether each shape painted goes straight onto the bitmap as it is drawn (no global alpha
// below 1, shadow, mask clip or blend mode but the normal one, and memory drawn into directly or
// kept in a surface between calls): then several shapes painted in one call of
// CGContextPaintWithCairo leave exactly what one call each would. False for a nil context.
bool CGContextDrawsShapesDirectly(CGContextRef c);

// Inside a CGContextPaintWithCairo callback: fills the rectangle (user space) with the
// callback's source, shaped exactly as CGContextFillRect shapes it. The callback's matrix and
// fill rule are left as they were, its path empty.
void CGContextFillRectWithCairo(CGContextRef c, cairo_t* cr, CGRect rect);
