#include "tools/appimages/AppImages.h"

#include <cmath>
#include <filesystem>
#include <functional>

#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGGradient.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"

namespace {

struct RGBA {
    CGFloat r, g, b, a = 1;
};

Ref<UIImage> draw(CGFloat width, CGFloat height, const std::function<void(CGContextRef)>& body) {
    UIGraphicsBeginImageContextWithOptions(CGSizeMake(width, height), false, 1);
    auto ctx = UIGraphicsGetCurrentContext();
    body(ctx);
    auto image = UIGraphicsGetImageFromCurrentImageContext();
    UIGraphicsEndImageContext();
    return image;
}

void fill(CGContextRef ctx, RGBA c) {
    CGContextSetRGBFillColor(ctx, c.r, c.g, c.b, c.a);
}

void stroke(CGContextRef ctx, RGBA c, CGFloat width) {
    CGContextSetRGBStrokeColor(ctx, c.r, c.g, c.b, c.a);
    CGContextSetLineWidth(ctx, width);
}

// A vertical gradient clipped to the current path.
void gradientInPath(CGContextRef ctx, CGRect r, RGBA top, RGBA bottom) {
    CGContextSaveGState(ctx);
    CGContextClip(ctx);
    CGFloat comps[8] = {top.r, top.g, top.b, top.a, bottom.r, bottom.g, bottom.b, bottom.a};
    CGFloat locs[2] = {0, 1};
    auto gradient =
        CGGradientCreateWithColorComponents(CGColorSpaceCreateDeviceRGB(), comps, locs, 2);
    CGContextDrawLinearGradient(ctx, gradient, CGPointMake(0, CGRectGetMinY(r)),
                                CGPointMake(0, CGRectGetMaxY(r)), 0);
    CGContextRestoreGState(ctx);
}

void roundedRect(CGContextRef ctx, CGRect r, CGFloat radius) {
    CGFloat x0 = CGRectGetMinX(r), x1 = CGRectGetMaxX(r), y0 = CGRectGetMinY(r),
            y1 = CGRectGetMaxY(r);
    CGContextBeginPath(ctx);
    CGContextMoveToPoint(ctx, x0 + radius, y0);
    CGContextAddArcToPoint(ctx, x1, y0, x1, y1, radius);
    CGContextAddArcToPoint(ctx, x1, y1, x0, y1, radius);
    CGContextAddArcToPoint(ctx, x0, y1, x0, y0, radius);
    CGContextAddArcToPoint(ctx, x0, y0, x1, y0, radius);
    CGContextClosePath(ctx);
}

void polygon(CGContextRef ctx, std::initializer_list<CGPoint> points) {
    CGContextBeginPath(ctx);
    bool first = true;
    for (CGPoint p : points) {
        if (first)
            CGContextMoveToPoint(ctx, p.x, p.y);
        else
            CGContextAddLineToPoint(ctx, p.x, p.y);
        first = false;
    }
    CGContextClosePath(ctx);
}

// A five-pointed star centred in a square of the side.
void starPath(CGContextRef ctx, CGFloat side) {
    CGFloat cx = side / 2, cy = side / 2 + side * 0.03f, outer = side * 0.47f, inner = side * 0.19f;
    CGContextBeginPath(ctx);
    for (int i = 0; i < 10; ++i) {
        CGFloat radius = i % 2 == 0 ? outer : inner;
        double angle = -M_PI / 2 + i * M_PI / 5;
        CGFloat x = cx + radius * static_cast<CGFloat>(std::cos(angle));
        CGFloat y = cy + radius * static_cast<CGFloat>(std::sin(angle));
        if (i == 0)
            CGContextMoveToPoint(ctx, x, y);
        else
            CGContextAddLineToPoint(ctx, x, y);
    }
    CGContextClosePath(ctx);
}

// ---- the images --------------------------------------------------------------------------------

const RGBA kInk{0.25f, 0.29f, 0.36f};
const RGBA kWhite{1, 1, 1};

Ref<UIImage> postIcon() {
    // A sheet with a folded corner and a pencil across it.
    return draw(32, 32, [](CGContextRef ctx) {
        polygon(ctx, {{6, 3}, {20, 3}, {26, 9}, {26, 29}, {6, 29}});
        fill(ctx, kWhite);
        CGContextFillPath(ctx);
        polygon(ctx, {{6, 3}, {20, 3}, {26, 9}, {26, 29}, {6, 29}});
        stroke(ctx, kInk, 1.5f);
        CGContextStrokePath(ctx);
        polygon(ctx, {{20, 3}, {20, 9}, {26, 9}});
        stroke(ctx, kInk, 1);
        CGContextStrokePath(ctx);
        stroke(ctx, RGBA{0.55f, 0.58f, 0.64f}, 1.5f);
        for (CGFloat y : {14.0f, 18.0f, 22.0f}) {
            CGContextBeginPath(ctx);
            CGContextMoveToPoint(ctx, 10, y);
            CGContextAddLineToPoint(ctx, 22, y);
            CGContextStrokePath(ctx);
        }
    });
}

Ref<UIImage> shoppingCart() {
    return draw(32, 32, [](CGContextRef ctx) {
        stroke(ctx, RGBA{0.2f, 0.45f, 0.8f}, 2.5f);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 3, 6);
        CGContextAddLineToPoint(ctx, 8, 6);
        CGContextAddLineToPoint(ctx, 11, 21);
        CGContextAddLineToPoint(ctx, 26, 21);
        CGContextAddLineToPoint(ctx, 29, 10);
        CGContextAddLineToPoint(ctx, 9, 10);
        CGContextStrokePath(ctx);
        fill(ctx, RGBA{0.2f, 0.45f, 0.8f});
        CGContextFillEllipseInRect(ctx, CGRectMake(10, 24, 5, 5));
        CGContextFillEllipseInRect(ctx, CGRectMake(22, 24, 5, 5));
    });
}

Ref<UIImage> briefcase() {
    return draw(32, 32, [](CGContextRef ctx) {
        roundedRect(ctx, CGRectMake(3, 10, 26, 18), 3);
        gradientInPath(ctx, CGRectMake(3, 10, 26, 18), RGBA{0.62f, 0.42f, 0.24f},
                       RGBA{0.42f, 0.27f, 0.14f});
        roundedRect(ctx, CGRectMake(11, 5, 10, 7), 2);
        stroke(ctx, RGBA{0.42f, 0.27f, 0.14f}, 2);
        CGContextStrokePath(ctx);
        fill(ctx, RGBA{0.95f, 0.8f, 0.3f});
        CGContextFillRect(ctx, CGRectMake(14, 17, 4, 4));
    });
}

Ref<UIImage> smallCity() {
    return draw(32, 32, [](CGContextRef ctx) {
        fill(ctx, RGBA{0.45f, 0.5f, 0.6f});
        CGContextFillRect(ctx, CGRectMake(3, 14, 8, 16));
        fill(ctx, RGBA{0.3f, 0.35f, 0.45f});
        CGContextFillRect(ctx, CGRectMake(12, 4, 9, 26));
        fill(ctx, RGBA{0.55f, 0.6f, 0.7f});
        CGContextFillRect(ctx, CGRectMake(22, 10, 7, 20));
        fill(ctx, RGBA{1, 0.9f, 0.5f});
        for (int row = 0; row < 4; ++row) {
            CGContextFillRect(ctx, CGRectMake(14, 7 + row * 6, 2, 3));
            CGContextFillRect(ctx, CGRectMake(18, 7 + row * 6, 2, 3));
        }
    });
}

Ref<UIImage> house() {
    return draw(32, 32, [](CGContextRef ctx) {
        polygon(ctx, {{16, 3}, {30, 15}, {2, 15}});
        fill(ctx, RGBA{0.75f, 0.2f, 0.15f});
        CGContextFillPath(ctx);
        fill(ctx, RGBA{0.93f, 0.88f, 0.75f});
        CGContextFillRect(ctx, CGRectMake(6, 15, 20, 14));
        fill(ctx, RGBA{0.45f, 0.3f, 0.18f});
        CGContextFillRect(ctx, CGRectMake(14, 20, 5, 9));
    });
}

Ref<UIImage> findAJob() {
    // A magnifying glass.
    return draw(32, 32, [](CGContextRef ctx) {
        stroke(ctx, RGBA{0.2f, 0.5f, 0.3f}, 3);
        CGContextStrokeEllipseInRect(ctx, CGRectMake(4, 4, 16, 16));
        stroke(ctx, RGBA{0.2f, 0.5f, 0.3f}, 4);
        CGContextSetLineCap(ctx, kCGLineCapRound);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 18, 18);
        CGContextAddLineToPoint(ctx, 28, 28);
        CGContextStrokePath(ctx);
    });
}

Ref<UIImage> rentalKey() {
    return draw(32, 32, [](CGContextRef ctx) {
        stroke(ctx, RGBA{0.8f, 0.6f, 0.1f}, 3);
        CGContextStrokeEllipseInRect(ctx, CGRectMake(3, 10, 12, 12));
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 15, 16);
        CGContextAddLineToPoint(ctx, 29, 16);
        CGContextMoveToPoint(ctx, 25, 16);
        CGContextAddLineToPoint(ctx, 25, 22);
        CGContextMoveToPoint(ctx, 21, 16);
        CGContextAddLineToPoint(ctx, 21, 21);
        CGContextStrokePath(ctx);
    });
}

Ref<UIImage> triangle(bool up) {
    return draw(16, 12, [up](CGContextRef ctx) {
        if (up)
            polygon(ctx, {{8, 1}, {15, 11}, {1, 11}});
        else
            polygon(ctx, {{1, 1}, {15, 1}, {8, 11}});
        fill(ctx, kWhite);
        CGContextFillPath(ctx);
    });
}

Ref<UIImage> star(bool on) {
    return draw(32, 32, [on](CGContextRef ctx) {
        starPath(ctx, 32);
        if (on) {
            gradientInPath(ctx, CGRectMake(0, 0, 32, 32), RGBA{1, 0.87f, 0.3f},
                           RGBA{0.95f, 0.65f, 0.05f});
            starPath(ctx, 32);
            stroke(ctx, RGBA{0.75f, 0.5f, 0.05f}, 1);
        } else {
            fill(ctx, RGBA{1, 1, 1, 0.25f});
            CGContextFillPath(ctx);
            starPath(ctx, 32);
            stroke(ctx, RGBA{0.85f, 0.85f, 0.85f}, 1.5f);
        }
        CGContextStrokePath(ctx);
    });
}

Ref<UIImage> cellBackground() {
    // Tiled behind a result row: a sheen fading down the row and a hairline at its foot. The
    // sheen is translucent, so the row's own colour (alternating by row) shows through.
    return draw(4, 88, [](CGContextRef ctx) {
        CGContextBeginPath(ctx);
        CGContextAddRect(ctx, CGRectMake(0, 0, 4, 88));
        gradientInPath(ctx, CGRectMake(0, 0, 4, 88), RGBA{1, 1, 1, 0.35f}, RGBA{1, 1, 1, 0});
        fill(ctx, RGBA{0.82f, 0.84f, 0.88f});
        CGContextFillRect(ctx, CGRectMake(0, 87, 4, 1));
    });
}

Ref<UIImage> transparent() {
    return draw(8, 8, [](CGContextRef) {});
}

Ref<UIImage> priceTag() {
    // A green tag with its point and string hole to the left, drawn at the row's tag height. The
    // first 12 columns (a clear margin, the point, the hole) are the left cap: the row stretches
    // the body to the price's width and keeps the price clear of the hole. The margin keeps
    // the title's last letters off the point.
    return draw(16, 22, [](CGContextRef ctx) {
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 5, 11);
        CGContextAddLineToPoint(ctx, 11, 0.5f);
        CGContextAddLineToPoint(ctx, 16, 0.5f);
        CGContextAddLineToPoint(ctx, 16, 21.5f);
        CGContextAddLineToPoint(ctx, 11, 21.5f);
        CGContextClosePath(ctx);
        gradientInPath(ctx, CGRectMake(0, 0.5f, 16, 21), RGBA{0.35f, 0.7f, 0.3f},
                       RGBA{0.2f, 0.5f, 0.18f});
        fill(ctx, kWhite);
        CGContextFillEllipseInRect(ctx, CGRectMake(8, 9.5f, 3, 3));
    });
}

Ref<UIImage> replyIcon() {
    // A curved arrow pointing back.
    return draw(24, 24, [](CGContextRef ctx) {
        polygon(ctx, {{2, 10}, {10, 3}, {10, 17}});
        fill(ctx, kWhite);
        CGContextFillPath(ctx);
        stroke(ctx, kWhite, 3);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 9, 10);
        CGContextAddQuadCurveToPoint(ctx, 20, 10, 21, 21);
        CGContextStrokePath(ctx);
    });
}

Ref<UIImage> webIcon() {
    // A globe.
    return draw(24, 24, [](CGContextRef ctx) {
        stroke(ctx, kWhite, 1.5f);
        CGContextStrokeEllipseInRect(ctx, CGRectMake(2, 2, 20, 20));
        CGContextStrokeEllipseInRect(ctx, CGRectMake(8, 2, 8, 20));
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 2, 12);
        CGContextAddLineToPoint(ctx, 22, 12);
        CGContextMoveToPoint(ctx, 4, 7);
        CGContextAddLineToPoint(ctx, 20, 7);
        CGContextMoveToPoint(ctx, 4, 17);
        CGContextAddLineToPoint(ctx, 20, 17);
        CGContextStrokePath(ctx);
    });
}

Ref<UIImage> shareIcon() {
    // A box with an arrow leaving it.
    return draw(24, 24, [](CGContextRef ctx) {
        stroke(ctx, kWhite, 2);
        CGContextBeginPath(ctx);
        CGContextMoveToPoint(ctx, 8, 9);
        CGContextAddLineToPoint(ctx, 3, 9);
        CGContextAddLineToPoint(ctx, 3, 22);
        CGContextAddLineToPoint(ctx, 21, 22);
        CGContextAddLineToPoint(ctx, 21, 9);
        CGContextAddLineToPoint(ctx, 16, 9);
        CGContextMoveToPoint(ctx, 12, 16);
        CGContextAddLineToPoint(ctx, 12, 3);
        CGContextStrokePath(ctx);
        polygon(ctx, {{12, 1}, {17, 7}, {7, 7}});
        fill(ctx, kWhite);
        CGContextFillPath(ctx);
    });
}

}  // namespace

std::vector<AppImage> drawAppImages() {
    return {
        {"document_sans_edit_32.png", postIcon()},
        {"supermarket.png", shoppingCart()},
        {"workoffice.png", briefcase()},
        {"smallcity.png", smallCity()},
        {"home.png", house()},
        {"findajob.png", findAJob()},
        {"rental.png", rentalKey()},
        {"triangelup.png", triangle(true)},
        {"triangeldown.png", triangle(false)},
        {"staron32.png", star(true)},
        {"staroff32.png", star(false)},
        {"background.png", cellBackground()},
        {"transparent.png", transparent()},
        {"pricetag.png", priceTag()},
        {"toolbar_reply.png", replyIcon()},
        {"toolbar_web.png", webIcon()},
        {"toolbar_share.png", shareIcon()},
    };
}

Ref<UIImage> drawLauncherIcon(const std::string& title, size_t index) {
    // Light over dark, so the tiles read on a dark launcher as well as a light one.
    static const RGBA kTiles[][2] = {
        {{0.35f, 0.6f, 0.95f}, {0.12f, 0.32f, 0.7f}}, {{0.95f, 0.55f, 0.25f}, {0.75f, 0.3f, 0.08f}},
        {{0.4f, 0.8f, 0.4f}, {0.15f, 0.5f, 0.18f}},   {{0.9f, 0.4f, 0.5f}, {0.65f, 0.15f, 0.28f}},
        {{0.65f, 0.5f, 0.9f}, {0.38f, 0.22f, 0.65f}}, {{0.3f, 0.8f, 0.8f}, {0.08f, 0.5f, 0.55f}},
    };
    const auto& tile = kTiles[index % (sizeof kTiles / sizeof kTiles[0])];
    auto letter = NSString::fromUTF8(title.substr(0, 1));
    return draw(57, 57, [&](CGContextRef ctx) {
        CGRect r = CGRectMake(0, 0, 57, 57);
        roundedRect(ctx, r, 9);
        gradientInPath(ctx, r, tile[0], tile[1]);
        // The gloss over the upper half.
        roundedRect(ctx, CGRectMake(2, 2, 53, 26), 8);
        fill(ctx, RGBA{1, 1, 1, 0.18f});
        CGContextFillPath(ctx);
        auto font = UIFont::boldSystemFontOfSize(30);
        CGSize size = sizeWithFont(letter, font);
        fill(ctx, kWhite);
        drawAtPoint(
            letter,
            CGPointMake(std::round((57 - size.width) / 2), std::round((57 - size.height) / 2)),
            font);
    });
}

bool writeAppImages(const std::string& folder, size_t* written) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    size_t count = 0;
    for (auto& [name, image] : drawAppImages()) {
        auto png = UIImagePNGRepresentation(image);
        auto path = NSString::fromUTF8((std::filesystem::path(folder) / name).string());
        if (!png || !png->writeToFile(path, true)) {
            if (written) *written = count;
            return false;
        }
        ++count;
    }
    if (written) *written = count;
    return true;
}
