// The framework's geometry and transforms.
#pragma once

#include "CoreGraphics/CGAffineTransform.h"
#include "CoreGraphics/CGGeometry.h"
