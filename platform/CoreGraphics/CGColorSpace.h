// Colour spaces: device RGB, device grey and the pattern space of pattern colours.
#pragma once

#include "CoreGraphics/CGBase.h"

enum CGColorSpaceModel : int32_t {
    kCGColorSpaceModelUnknown = -1,
    kCGColorSpaceModelMonochrome = 0,
    kCGColorSpaceModelRGB = 1,
    kCGColorSpaceModelCMYK = 2,
    kCGColorSpaceModelLab = 3,
    kCGColorSpaceModelDeviceN = 4,
    kCGColorSpaceModelIndexed = 5,
    kCGColorSpaceModelPattern = 6,
};

class CGColorSpace : public NSObject {
    NS_OBJECT(CGColorSpace, NSObject)
    CGColorSpaceModel model() { return model_; }
    // Colour components, alpha not counted (3 for RGB, 1 for grey, 0 for patterns).
    size_t numberOfComponents();
    Ref<NSString> description() override;

    // The shared spaces; the Create functions below hand them out.
    static CGColorSpace* deviceRGB();
    static CGColorSpace* deviceGray();
    static CGColorSpace* pattern();

private:
    static CGColorSpace* shared(CGColorSpaceModel model);
    CGColorSpaceModel model_ = kCGColorSpaceModelRGB;
};

Ref<CGColorSpace> CGColorSpaceCreateDeviceRGB();
Ref<CGColorSpace> CGColorSpaceCreateDeviceGray();
// A pattern space (baseSpace must be nil: only coloured patterns exist here).
Ref<CGColorSpace> CGColorSpaceCreatePattern(CGColorSpaceRef baseSpace);
size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space);
CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space);
