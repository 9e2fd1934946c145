// The number reader behind the geometry texts ("{x, y}", "[a, b, c, d, tx, ty]", edge insets),
// shared so that every reader takes the same spellings. Internal to the graphics layers.
#pragma once

#include "CoreGraphics/CGGeometry.h"

// Reads up to `n` numbers from the text in order, skipping whatever is not a number (braces,
// brackets, commas, spaces); the count read, 0 for nil. Accepts all that %g prints, "inf" and
// "nan" included.
int CGGeometryReadNumbers(NSString* s, CGFloat* out, int n);
