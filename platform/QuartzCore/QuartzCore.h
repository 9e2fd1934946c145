// The framework: layers, 3-D transforms, animations and transactions.
#pragma once

#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"
#include "QuartzCore/CATransform3D.h"
