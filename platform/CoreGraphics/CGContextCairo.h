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
