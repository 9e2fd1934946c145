// A styled tool-bar button ("toolbarButton:" with a title, 40 x 32 at scale 2: shape, shadow
// layer, gloss, two bevels and the text) against the same rounded rectangle filled and stroked
// with plain CoreGraphics calls, in the same run. Target: under 1 ms a button.
#include <benchmark/benchmark.h>

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "ui/style/DZButton.h"

namespace {

constexpr CGFloat kWidth = 40, kHeight = 32;

// One image context for the run; each pass clears it first.
struct Canvas {
    Canvas() { UIGraphicsBeginImageContextWithOptions(CGSizeMake(kWidth, kHeight), false, 2); }
    ~Canvas() { UIGraphicsEndImageContext(); }
    CGContextRef clear() {
        CGContextRef c = UIGraphicsGetCurrentContext().get();
        CGContextClearRect(c, CGRectMake(0, 0, kWidth, kHeight));
        return c;
    }
};

void BM_StyledToolbarButton(benchmark::State& state) {
    NSAutoreleasePool pool;
    Canvas canvas;
    auto button = DZButton::buttonWithStyle(NS("toolbarButton:"), NS("Post"));
    button->setFrame(CGRectMake(0, 0, kWidth, kHeight));
    for (auto _ : state) {
        canvas.clear();
        button->drawRect(button->bounds());
    }
}
BENCHMARK(BM_StyledToolbarButton)->Unit(benchmark::kMicrosecond);

void BM_PlainRoundedRectangle(benchmark::State& state) {
    NSAutoreleasePool pool;
    Canvas canvas;
    auto fill = UIColor::colorWithRed(75 / 255.0f, 111 / 255.0f, 157 / 255.0f, 1);
    auto stroke = UIColor::colorWithRed(44 / 255.0f, 53 / 255.0f, 65 / 255.0f, 1);
    for (auto _ : state) {
        CGContextRef c = canvas.clear();
        CGRect r = CGRectMake(0.5f, 0.5f, kWidth - 1, kHeight - 1);
        CGFloat radius = 4.5f;
        CGContextBeginPath(c);
        CGContextMoveToPoint(c, r.origin.x + radius, r.origin.y);
        CGContextAddArcToPoint(c, CGRectGetMaxX(r), r.origin.y, CGRectGetMaxX(r), CGRectGetMaxY(r),
                               radius);
        CGContextAddArcToPoint(c, CGRectGetMaxX(r), CGRectGetMaxY(r), r.origin.x, CGRectGetMaxY(r),
                               radius);
        CGContextAddArcToPoint(c, r.origin.x, CGRectGetMaxY(r), r.origin.x, r.origin.y, radius);
        CGContextAddArcToPoint(c, r.origin.x, r.origin.y, CGRectGetMaxX(r), r.origin.y, radius);
        CGContextClosePath(c);
        CGContextSetFillColorWithColor(c, fill->CGColor());
        CGContextSetStrokeColorWithColor(c, stroke->CGColor());
        CGContextSetLineWidth(c, 1);
        CGContextDrawPath(c, kCGPathFillStroke);
    }
}
BENCHMARK(BM_PlainRoundedRectangle)->Unit(benchmark::kMicrosecond);

}  // namespace
