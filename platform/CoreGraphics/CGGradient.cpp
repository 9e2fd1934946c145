#include "CoreGraphics/CGGradient.h"

#include <algorithm>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGColorSpace.h"
#include "Foundation/NSArray.h"

struct CGGradientFactory {
    static Ref<CGGradient> make(CGColorSpaceRef space, std::vector<CGGradient::Stop> stops) {
        Ref<CGGradient> g = alloc<CGGradient>();
        g->space_ = space;
        // A stable sort keeps stops at one location in the caller's order, so a hard edge
        // (two colours at 0.5) stays a hard edge.
        std::stable_sort(stops.begin(), stops.end(),
                         [](const auto& a, const auto& b) { return a.location < b.location; });
        g->stops_ = std::move(stops);
        return g;
    }
};

namespace {
CGFloat clamp01(CGFloat v) {
    return v > 0 ? (v < 1 ? v : 1) : 0;
}

CGFloat locationAt(const CGFloat* locations, size_t i, size_t count) {
    if (locations) return locations[i];
    return count > 1 ? CGFloat(i) / CGFloat(count - 1) : 0;
}
}  // namespace

Ref<CGGradient> CGGradientCreateWithColorComponents(CGColorSpaceRef space,
                                                    const CGFloat* components,
                                                    const CGFloat* locations, size_t count) {
    if (!space || !components || count == 0) return nullptr;
    size_t n = space->numberOfComponents();
    if (n != 1 && n != 3) return nullptr;
    std::vector<CGGradient::Stop> stops;
    for (size_t i = 0; i < count; ++i) {
        const CGFloat* c = components + i * (n + 1);
        CGGradient::Stop s{};
        s.location = locationAt(locations, i, count);
        if (n == 1) {
            s.rgba[0] = s.rgba[1] = s.rgba[2] = clamp01(c[0]);
        } else {
            for (int k = 0; k < 3; ++k)
                s.rgba[k] = clamp01(c[k]);
        }
        s.rgba[3] = clamp01(c[n]);
        stops.push_back(s);
    }
    return CGGradientFactory::make(space, std::move(stops));
}

Ref<CGGradient> CGGradientCreateWithColors(CGColorSpaceRef space, NSArray* colors,
                                           const CGFloat* locations) {
    if (!colors || colors->count() == 0) return nullptr;
    if (space && space->model() == kCGColorSpaceModelPattern) return nullptr;
    size_t count = colors->count();
    std::vector<CGGradient::Stop> stops;
    for (size_t i = 0; i < count; ++i) {
        auto color = as<CGColor>(colors->objectAtIndex(NSUInteger(i)));
        CGGradient::Stop s{};
        s.location = locationAt(locations, i, count);
        // Anything that is not a colour is a transparent stop.
        if (color) color->getPaintRGBA(s.rgba);
        stops.push_back(s);
    }
    return CGGradientFactory::make(space ? space : CGColorSpace::deviceRGB(), std::move(stops));
}
