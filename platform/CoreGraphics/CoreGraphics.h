// The framework: geometry and transforms, colours, paths, images, gradients, contexts.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGBase.h"
#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGDataProvider.h"
#include "CoreGraphics/CGGeometry.h"
#include "CoreGraphics/CGGradient.h"
#include "CoreGraphics/CGImage.h"
#include "CoreGraphics/CGLayer.h"
#include "CoreGraphics/CGPath.h"
