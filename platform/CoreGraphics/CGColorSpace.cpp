#include "CoreGraphics/CGColorSpace.h"

#include "Foundation/NSString.h"

CGColorSpace* CGColorSpace::shared(CGColorSpaceModel model) {
    // Lives for the whole process, as the platform's device spaces do.
    Ref<CGColorSpace> s = alloc<CGColorSpace>();
    s->model_ = model;
    s->makeImmortal();
    return s.get();
}

CGColorSpace* CGColorSpace::deviceRGB() {
    static CGColorSpace* s = shared(kCGColorSpaceModelRGB);
    return s;
}

CGColorSpace* CGColorSpace::deviceGray() {
    static CGColorSpace* s = shared(kCGColorSpaceModelMonochrome);
    return s;
}

CGColorSpace* CGColorSpace::pattern() {
    static CGColorSpace* s = shared(kCGColorSpaceModelPattern);
    return s;
}

size_t CGColorSpace::numberOfComponents() {
    switch (model_) {
        case kCGColorSpaceModelMonochrome:
            return 1;
        case kCGColorSpaceModelRGB:
            return 3;
        default:
            return 0;
    }
}

Ref<NSString> CGColorSpace::description() {
    switch (model_) {
        case kCGColorSpaceModelMonochrome:
            return NS("<CGColorSpace (kCGColorSpaceDeviceGray)>");
        case kCGColorSpaceModelRGB:
            return NS("<CGColorSpace (kCGColorSpaceDeviceRGB)>");
        default:
            return NS("<CGColorSpace (kCGColorSpacePattern)>");
    }
}

Ref<CGColorSpace> CGColorSpaceCreateDeviceRGB() {
    return CGColorSpace::deviceRGB();
}

Ref<CGColorSpace> CGColorSpaceCreateDeviceGray() {
    return CGColorSpace::deviceGray();
}

Ref<CGColorSpace> CGColorSpaceCreatePattern(CGColorSpaceRef baseSpace) {
    return baseSpace ? nullptr : CGColorSpace::pattern();
}

size_t CGColorSpaceGetNumberOfComponents(CGColorSpaceRef space) {
    return space ? space->numberOfComponents() : 0;
}

CGColorSpaceModel CGColorSpaceGetModel(CGColorSpaceRef space) {
    return space ? space->model() : kCGColorSpaceModelUnknown;
}
