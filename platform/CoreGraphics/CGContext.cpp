#include "CoreGraphics/CGContext.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "CoreGraphics/CGContextImpl.h"
#include "CoreGraphics/CGDataProvider.h"
#include "CoreGraphics/CGPixelConversion.h"
#include "Foundation/NSString.h"

using namespace cg_detail;
using Impl = CGContext::Impl;

// ---- helpers ------------------------------------------------------------------------------------

namespace cg_detail {

cairo_matrix_t toCairo(const CGAffineTransform& t) {
    cairo_matrix_t m;
    cairo_matrix_init(&m, t.a, t.b, t.c, t.d, t.tx, t.ty);
    return m;
}

cairo_surface_t* imageSurface(CGImage* image, std::shared_ptr<const void>& keep) {
    auto px = image->premultipliedPixels();
    keep = px;
    return cairo_image_surface_create_for_data(
        reinterpret_cast<unsigned char*>(const_cast<uint32_t*>(px->argb.data())),
        CAIRO_FORMAT_ARGB32, int(px->width), int(px->height), int(px->width * 4));
}

cairo_surface_t* coverageSurface(CGImage* image, std::shared_ptr<const void>& keep) {
    auto cov = image->maskCoverage();
    keep = cov;
    return cairo_image_surface_create_for_data(const_cast<unsigned char*>(cov->alpha.data()),
                                               CAIRO_FORMAT_A8, int(cov->width), int(cov->height),
                                               int(cov->stride));
}

}  // namespace cg_detail

namespace {

constexpr CGFloat kPi = 3.14159265358979323846f;

cairo_operator_t cairoOperator(CGBlendMode m) {
    switch (m) {
        case kCGBlendModeNormal:
            return CAIRO_OPERATOR_OVER;
        case kCGBlendModeMultiply:
            return CAIRO_OPERATOR_MULTIPLY;
        case kCGBlendModeScreen:
            return CAIRO_OPERATOR_SCREEN;
        case kCGBlendModeOverlay:
            return CAIRO_OPERATOR_OVERLAY;
        case kCGBlendModeDarken:
            return CAIRO_OPERATOR_DARKEN;
        case kCGBlendModeLighten:
            return CAIRO_OPERATOR_LIGHTEN;
        case kCGBlendModeColorDodge:
            return CAIRO_OPERATOR_COLOR_DODGE;
        case kCGBlendModeColorBurn:
            return CAIRO_OPERATOR_COLOR_BURN;
        case kCGBlendModeSoftLight:
            return CAIRO_OPERATOR_SOFT_LIGHT;
        case kCGBlendModeHardLight:
            return CAIRO_OPERATOR_HARD_LIGHT;
        case kCGBlendModeDifference:
            return CAIRO_OPERATOR_DIFFERENCE;
        case kCGBlendModeExclusion:
            return CAIRO_OPERATOR_EXCLUSION;
        case kCGBlendModeHue:
            return CAIRO_OPERATOR_HSL_HUE;
        case kCGBlendModeSaturation:
            return CAIRO_OPERATOR_HSL_SATURATION;
        case kCGBlendModeColor:
            return CAIRO_OPERATOR_HSL_COLOR;
        case kCGBlendModeLuminosity:
            return CAIRO_OPERATOR_HSL_LUMINOSITY;
        case kCGBlendModeClear:
            return CAIRO_OPERATOR_CLEAR;
        case kCGBlendModeCopy:
            return CAIRO_OPERATOR_SOURCE;
        case kCGBlendModeSourceIn:
            return CAIRO_OPERATOR_IN;
        case kCGBlendModeSourceOut:
            return CAIRO_OPERATOR_OUT;
        case kCGBlendModeSourceAtop:
            return CAIRO_OPERATOR_ATOP;
        case kCGBlendModeDestinationOver:
            return CAIRO_OPERATOR_DEST_OVER;
        case kCGBlendModeDestinationIn:
            return CAIRO_OPERATOR_DEST_IN;
        case kCGBlendModeDestinationOut:
            return CAIRO_OPERATOR_DEST_OUT;
        case kCGBlendModeDestinationAtop:
            return CAIRO_OPERATOR_DEST_ATOP;
        case kCGBlendModeXOR:
            return CAIRO_OPERATOR_XOR;
        // cairo has no "plus darker"; multiply is the nearest darkening operator it has.
        case kCGBlendModePlusDarker:
            return CAIRO_OPERATOR_MULTIPLY;
        case kCGBlendModePlusLighter:
            return CAIRO_OPERATOR_ADD;
    }
    return CAIRO_OPERATOR_OVER;
}

// Operators that change the destination where the source is transparent: painting with them
// must be confined to the drawn shape, as the platform confines every blend to it.
bool reachesOutsideSource(cairo_operator_t op) {
    return op == CAIRO_OPERATOR_CLEAR || op == CAIRO_OPERATOR_SOURCE || op == CAIRO_OPERATOR_IN ||
           op == CAIRO_OPERATOR_OUT || op == CAIRO_OPERATOR_DEST_IN ||
           op == CAIRO_OPERATOR_DEST_ATOP;
}

cairo_line_cap_t cairoCap(CGLineCap c) {
    switch (c) {
        case kCGLineCapRound:
            return CAIRO_LINE_CAP_ROUND;
        case kCGLineCapSquare:
            return CAIRO_LINE_CAP_SQUARE;
        default:
            return CAIRO_LINE_CAP_BUTT;
    }
}

cairo_line_join_t cairoJoin(CGLineJoin j) {
    switch (j) {
        case kCGLineJoinRound:
            return CAIRO_LINE_JOIN_ROUND;
        case kCGLineJoinBevel:
            return CAIRO_LINE_JOIN_BEVEL;
        default:
            return CAIRO_LINE_JOIN_MITER;
    }
}

CGRect transformRect(CGRect r, const CGAffineTransform& t) {
    return CGRectApplyAffineTransform(CGRectStandardize(r), t);
}

// Three box blurs of an A8 buffer approximate a Gaussian of the given deviation.
void blurA8(uint8_t* data, int w, int h, int stride, double sigma) {
    if (sigma <= 0.25 || w <= 0 || h <= 0) return;
    const int passes = 3;
    double ideal = std::sqrt(12.0 * sigma * sigma / passes + 1);
    int wl = int(std::floor(ideal));
    if (wl % 2 == 0) --wl;
    int wu = wl + 2;
    double mIdeal = (12 * sigma * sigma - passes * wl * wl - 4.0 * passes * wl - 3.0 * passes) /
                    (-4.0 * wl - 4);
    int m = int(std::lround(mIdeal));
    std::vector<float> line(size_t(std::max(w, h)));
    std::vector<float> out(line.size());
    auto boxLine = [&](int n, int r) {
        // Sliding sum over [i - r, i + r]; outside the buffer counts as transparent.
        double sum = 0;
        for (int i = -r; i <= r; ++i)
            sum += (i >= 0 && i < n) ? line[size_t(i)] : 0;
        double norm = 1.0 / (2 * r + 1);
        for (int i = 0; i < n; ++i) {
            out[size_t(i)] = float(sum * norm);
            int add = i + r + 1, drop = i - r;
            if (add < n) sum += line[size_t(add)];
            if (drop >= 0) sum -= line[size_t(drop)];
        }
    };
    for (int pass = 0; pass < passes; ++pass) {
        int r = ((pass < m ? wl : wu) - 1) / 2;
        if (r <= 0) continue;
        for (int y = 0; y < h; ++y) {
            uint8_t* row = data + size_t(y) * size_t(stride);
            for (int x = 0; x < w; ++x)
                line[size_t(x)] = row[x];
            boxLine(w, r);
            for (int x = 0; x < w; ++x)
                row[x] = uint8_t(std::lround(std::clamp(out[size_t(x)], 0.0f, 255.0f)));
        }
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[size_t(y)] = data[size_t(y) * size_t(stride) + size_t(x)];
            boxLine(h, r);
            for (int y = 0; y < h; ++y) {
                data[size_t(y) * size_t(stride) + size_t(x)] =
                    uint8_t(std::lround(std::clamp(out[size_t(y)], 0.0f, 255.0f)));
            }
        }
    }
}

Ref<CGColor> makeColor(CGColorSpace* space, std::initializer_list<CGFloat> comps) {
    std::vector<CGFloat> v(comps);
    return CGColorCreate(space, v.data());
}

}  // namespace

// ---- Impl
// -----------------------------------------------------------------------------------------

Impl::~Impl() {
    for (auto& l : layers) {
        cairo_destroy(l.cr);
        cairo_surface_destroy(l.surface);
    }
    if (cr) cairo_destroy(cr);
    if (surface) cairo_surface_destroy(surface);
}

bool Impl::setUp(void* callerData, const CGPixelLayout& L, CGColorSpace* sp) {
    layout = L;
    width = int(L.width);
    height = int(L.height);
    space = sp;
    if (callerData) {
        data = static_cast<uint8_t*>(callerData);
        exposed = true;
    }
    const bool alphaOnly = L.colorComponents == 0;
    const CGImageAlphaInfo ai = L.alphaInfo();
    skipsAlpha = ai == kCGImageAlphaNoneSkipFirst || ai == kCGImageAlphaNoneSkipLast;
    const bool general = ConvertEveryPaintScope::active();
    direct = !general &&
             (alphaOnly ? L.bytesPerRow % 4 == 0 : isNativeARGB(L) || isNativeSkippedAlphaWords(L));
    if (!callerData) {
        // Cleared memory of our own, as the platform gives. Drawn into directly, it is cleared
        // only when first needed (a first fill of the whole bitmap never needs it); otherwise
        // calloc leaves fresh pages to be cleared when first touched.
        uncleared = direct;
        ownData.reset(static_cast<uint8_t*>(direct ? std::malloc(L.bytesPerRow * L.height)
                                                   : std::calloc(L.bytesPerRow * L.height, 1)));
        if (!ownData) return false;
        data = ownData.get();
    }
    // Only alpha, and colour whose alpha is skipped, go to memory and back unchanged; grey
    // loses colour on the way and premultiplied colour is clamped to its alpha, so drawing
    // into those sees what the memory holds.
    everyPaint = !direct && (general || !(alphaOnly || skipsAlpha));
    const cairo_format_t fmt = alphaOnly ? CAIRO_FORMAT_A8 : CAIRO_FORMAT_ARGB32;
    if (direct) {
        surface = cairo_image_surface_create_for_data(data, fmt, width, height, int(L.bytesPerRow));
    } else {
        surface = cairo_image_surface_create(fmt, width, height);
    }
    if (cairo_surface_status(surface) != CAIRO_STATUS_SUCCESS) return false;
    cr = cairo_create(surface);
    if (cairo_status(cr) != CAIRO_STATUS_SUCCESS) return false;
    g.clipDeviceBounds = CGRectMake(0, 0, CGFloat(width), CGFloat(height));
    g.fillSpace = g.strokeSpace = CGColorSpace::deviceGray();
    g.fill = makeColor(CGColorSpace::deviceGray(), {0, 1});
    g.stroke = g.fill;
    readMemory();
    // Memory written only when asked for gets the surface then, as it would have after a
    // round trip (skipped bytes 255).
    if (!everyPaint) memoryStale = true;
    return true;
}

CGAffineTransform Impl::baseToDevice() const {
    return CGAffineTransformMake(1, 0, 0, -1, 0, CGFloat(height));
}

CGAffineTransform Impl::userToDevice() const {
    return CGAffineTransformConcat(g.ctm, baseToDevice());
}

void Impl::clearMemory() {
    if (!uncleared) return;
    uncleared = false;
    std::memset(data, 0, layout.bytesPerRow * size_t(height));
    // What reading cleared memory in leaves: the skipped alpha at 255.
    if (skipsAlpha) makeOpaque(data, width, height, layout.bytesPerRow);
    cairo_surface_mark_dirty(surface);
}

bool Impl::fillReplacesEveryPixel(const CGPathData& p) const {
    if (!layers.empty() || g.clipEmpty || g.clipMask || g.alpha < 1) return false;
    if (castsShadow()) return false;
    if (!g.fill || g.fill->patternImage()) return false;
    CGFloat rgba[4] = {0, 0, 0, 0};
    g.fill->getPaintRGBA(rgba);
    if (!(g.blend == kCGBlendModeCopy || (g.blend == kCGBlendModeNormal && rgba[3] >= 1)))
        return false;
    const CGRect device = CGRectMake(0, 0, CGFloat(width), CGFloat(height));
    if (!p.coversRect(device)) return false;
    for (const auto& cp : g.clipPaths)
        if (!cp->path.coversRect(device)) return false;
    return true;
}

void Impl::readMemory() {
    if (direct) {
        if (uncleared) return;  // cleared (and made opaque) when first needed
        if (skipsAlpha) makeOpaque(data, width, height, layout.bytesPerRow);
        cairo_surface_mark_dirty(surface);
        return;
    }
    cairo_surface_flush(surface);
    unsigned char* dst = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        const uint8_t* src = data + size_t(y) * layout.bytesPerRow;
        unsigned char* d = dst + size_t(y) * size_t(stride);
        if (layout.colorComponents == 0) {
            std::memcpy(d, src, size_t(width));
        } else {
            readRowPremultiplied(layout, src, reinterpret_cast<uint32_t*>(d), false, nullptr);
        }
    }
    cairo_surface_mark_dirty(surface);
}

void Impl::writeMemory() {
    cairo_surface_flush(surface);
    if (direct) return;
    const unsigned char* src = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < height; ++y) {
        uint8_t* d = data + size_t(y) * layout.bytesPerRow;
        const unsigned char* s = src + size_t(y) * size_t(stride);
        if (layout.colorComponents == 0) {
            std::memcpy(d, s, size_t(width));
        } else {
            writeRowFromPremultiplied(layout, reinterpret_cast<const uint32_t*>(s), d);
        }
    }
}

void Impl::beginDrawing() {
    clearMemory();
    // Memory that may hold what someone else wrote is read again (when exposed, what was drawn
    // is already in it).
    if (everyPaint || exposed) readMemory();
}

void Impl::endDrawing(bool alphaMayDrop) {
    cairo_surface_flush(surface);
    if (skipsAlpha && alphaMayDrop) {
        // What the general path's round trip through the memory does to a pixel.
        makeOpaque(cairo_image_surface_get_data(surface), width, height,
                   size_t(cairo_image_surface_get_stride(surface)));
        cairo_surface_mark_dirty(surface);
    }
    if (direct) return;
    if (everyPaint || exposed) {
        writeMemory();
        memoryStale = false;
    } else {
        memoryStale = true;
    }
}

void Impl::syncMemory() {
    clearMemory();
    cairo_surface_flush(surface);
    if (!memoryStale) return;
    writeMemory();
    memoryStale = false;
}

uint8_t* Impl::exposeMemory() {
    syncMemory();
    exposed = true;
    return data;
}

void Impl::appendPath(cairo_t* c, const CGPathData& p) {
    for (const auto& e : p.elements) {
        switch (e.type) {
            case kCGPathElementMoveToPoint:
                cairo_move_to(c, e.p[0].x, e.p[0].y);
                break;
            case kCGPathElementAddLineToPoint:
            case kCGPathElementAddQuadCurveToPoint:
                cairo_line_to(c, e.p[0].x, e.p[0].y);
                break;
            case kCGPathElementAddCurveToPoint:
                cairo_curve_to(c, e.p[0].x, e.p[0].y, e.p[1].x, e.p[1].y, e.p[2].x, e.p[2].y);
                break;
            case kCGPathElementCloseSubpath:
                cairo_close_path(c);
                break;
        }
    }
}

void Impl::applyClip(cairo_t* c) {
    for (const auto& cp : g.clipPaths) {
        cairo_new_path(c);
        appendPath(c, cp->path);
        cairo_set_fill_rule(c, cp->evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING);
        cairo_set_antialias(c, cp->antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
        cairo_clip(c);
    }
    cairo_new_path(c);
    cairo_set_antialias(
        c, g.antialias && g.allowsAntialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
}

void Impl::composite(cairo_t* c, CGFloat alpha) {
    if (!g.clipMask) {
        cairo_paint_with_alpha(c, alpha);
    } else if (alpha >= 1) {
        cairo_mask_surface(c, g.clipMask.get(), 0, 0);
    } else {
        cairo_push_group(c);
        cairo_paint_with_alpha(c, alpha);
        cairo_pop_group_to_source(c);
        cairo_mask_surface(c, g.clipMask.get(), 0, 0);
    }
}

void Impl::paint(const DrawFn& draw, const DrawFn& cover) {
    if (g.clipEmpty) return;
    const bool onBase = layers.empty();
    if (onBase) beginDrawing();
    cairo_t* c = currentCr();
    const cairo_operator_t op = cairoOperator(g.blend);
    CGFloat shadowRGBA[4] = {0, 0, 0, 0};
    if (g.shadow.color) g.shadow.color->getPaintRGBA(shadowRGBA);
    const bool shadow = castsShadow();
    const bool confine = reachesOutsideSource(op);
    const bool group = shadow || g.alpha < 1 || g.clipMask || (confine && !cover);
    const cairo_antialias_t aa =
        g.antialias && g.allowsAntialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE;

    cairo_save(c);
    cairo_identity_matrix(c);
    cairo_set_antialias(c, aa);
    if (!group) {
        applyClip(c);
        if (confine) {
            cover(c);
            cairo_new_path(c);
        }
        cairo_set_operator(c, op);
        draw(c);
    } else {
        // The content first, unclipped, so that shapes outside the clip still cast shadows into
        // it.
        cairo_push_group(c);
        cairo_set_operator(c, CAIRO_OPERATOR_OVER);
        draw(c);
        cairo_pattern_t* content = cairo_pop_group(c);
        cairo_identity_matrix(c);
        applyClip(c);
        if (confine && cover) {
            cover(c);
            cairo_new_path(c);
        }
        cairo_set_operator(c, op);
        if (shadow) {
            cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
            cairo_t* ac = cairo_create(a8);
            cairo_set_source(ac, content);
            cairo_paint(ac);
            cairo_destroy(ac);
            cairo_surface_flush(a8);
            blurA8(cairo_image_surface_get_data(a8), width, height,
                   cairo_image_surface_get_stride(a8), double(g.shadow.blur * baseScale) / 2);
            cairo_surface_mark_dirty(a8);
            // Base-space offsets: a positive height goes down the bitmap whatever the CTM.
            const double dx = g.shadow.offset.width * baseScale;
            const double dy = g.shadow.offset.height * baseScale;
            cairo_push_group(c);
            cairo_set_operator(c, CAIRO_OPERATOR_OVER);
            cairo_set_source_rgba(c, shadowRGBA[0], shadowRGBA[1], shadowRGBA[2], shadowRGBA[3]);
            cairo_mask_surface(c, a8, dx, dy);
            cairo_pop_group_to_source(c);
            cairo_set_operator(c, op);
            composite(c, g.alpha);
            cairo_surface_destroy(a8);
        }
        cairo_set_source(c, content);
        composite(c, g.alpha);
        cairo_pattern_destroy(content);
    }
    cairo_restore(c);
    if (onBase) endDrawing(op != CAIRO_OPERATOR_OVER);
}

bool Impl::castsShadow() const {
    CGFloat rgba[4] = {0, 0, 0, 0};
    if (g.shadow.color) g.shadow.color->getPaintRGBA(rgba);
    return rgba[3] > 0 &&
           (g.shadow.blur > 0 || g.shadow.offset.width != 0 || g.shadow.offset.height != 0);
}

bool Impl::paintsDirectly() const {
    return g.blend == kCGBlendModeNormal && g.alpha >= 1 && !g.clipMask && !castsShadow();
}

CGPathData Impl::deviceRects(const CGRect* rects, size_t count) const {
    CGPathData p;
    CGAffineTransform u = userToDevice();
    for (size_t i = 0; i < count; ++i)
        p.addRect(rects[i], &u);
    return p;
}

void Impl::setSourceColor(cairo_t* c, CGColor* color) {
    if (color && color->patternImage()) {
        std::shared_ptr<const void> keep;
        cairo_surface_t* s = imageSurface(color->patternImage(), keep);
        // The pixels must outlive the pattern: they ride along as user data.
        auto* holder = new std::shared_ptr<const void>(keep);
        static cairo_user_data_key_t key;
        cairo_surface_set_user_data(
            s, &key, holder, [](void* p) { delete static_cast<std::shared_ptr<const void>*>(p); });
        cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
        cairo_pattern_set_extend(pat, CAIRO_EXTEND_REPEAT);
        // One image pixel per base unit, tiled from the device's top-left corner, upright.
        cairo_matrix_t m;
        cairo_matrix_init_scale(&m, 1 / baseScale, 1 / baseScale);
        cairo_pattern_set_matrix(pat, &m);
        cairo_set_source(c, pat);
        cairo_pattern_destroy(pat);
        cairo_surface_destroy(s);
        CGFloat a = std::clamp(CGColorGetAlpha(color), 0.0f, 1.0f);
        if (a < 1) {
            cairo_push_group(c);
            cairo_paint_with_alpha(c, a);
            cairo_pop_group_to_source(c);
        }
        return;
    }
    CGFloat rgba[4] = {0, 0, 0, 1};
    if (color) color->getPaintRGBA(rgba);
    cairo_set_source_rgba(c, rgba[0], rgba[1], rgba[2], rgba[3]);
}

void Impl::fillPath(const CGPathData& p, bool evenOdd) {
    if (p.empty()) return;
    // Nothing of the uncleared memory shows through such a fill but the ends of rows longer
    // than their pixels, which no drawing reaches.
    if (uncleared && fillReplacesEveryPixel(p)) {
        const size_t used = size_t(width) * (layout.bitsPerPixel / 8);
        if (layout.bytesPerRow > used) {
            for (int y = 0; y < height; ++y)
                std::memset(data + size_t(y) * layout.bytesPerRow + used, 0,
                            layout.bytesPerRow - used);
        }
        uncleared = false;
    }
    Ref<CGColor> color = g.fill;
    auto rule = evenOdd ? CAIRO_FILL_RULE_EVEN_ODD : CAIRO_FILL_RULE_WINDING;
    auto shape = [&](cairo_t* c) {
        appendPath(c, p);
        cairo_set_fill_rule(c, rule);
    };
    paint(
        [&](cairo_t* c) {
            setSourceColor(c, color);
            shape(c);
            cairo_fill(c);
        },
        [&](cairo_t* c) {
            shape(c);
            cairo_clip(c);
        });
}

void Impl::strokePath(const CGPathData& p) {
    if (p.empty()) return;
    Ref<CGColor> color = g.stroke;
    const auto style = g.strokeStyle;
    const cairo_matrix_t user = toCairo(userToDevice());
    auto shape = [&](cairo_t* c) {
        cairo_identity_matrix(c);
        appendPath(c, p);
        // The pen lives in user space.
        cairo_set_matrix(c, &user);
        cairo_set_line_width(c, style.lineWidth);
        cairo_set_line_cap(c, cairoCap(style.cap));
        cairo_set_line_join(c, cairoJoin(style.join));
        cairo_set_miter_limit(c, style.miterLimit);
        std::vector<double> dashes(style.dashes.begin(), style.dashes.end());
        cairo_set_dash(c, dashes.data(), int(dashes.size()), style.dashPhase);
    };
    paint(
        [&](cairo_t* c) {
            setSourceColor(c, color);
            shape(c);
            cairo_stroke(c);
        },
        [&](cairo_t* c) {
            CGAffineTransform u = userToDevice();
            CGPathData outline = p.strokedOutline(style, CGAffineTransformInvert(u), u,
                                                  std::max(0.05f, g.flatness / 4));
            cairo_identity_matrix(c);
            appendPath(c, outline);
            cairo_set_fill_rule(c, CAIRO_FILL_RULE_WINDING);
            cairo_clip(c);
        });
}

void Impl::drawSurfaceInRect(cairo_surface_t* s, int w, int h, CGRect rect, bool isMask,
                             bool interpolate, bool tiled) {
    rect = CGRectStandardize(rect);
    if (w <= 0 || h <= 0 || rect.size.width <= 0 || rect.size.height <= 0) return;
    // Image pixels (rows down) to user space: the first row at the rect's maximum y.
    CGAffineTransform imageToUser =
        CGAffineTransformMake(rect.size.width / CGFloat(w), 0, 0, -rect.size.height / CGFloat(h),
                              rect.origin.x, rect.origin.y + rect.size.height);
    CGAffineTransform imageToDevice = CGAffineTransformConcat(imageToUser, userToDevice());
    cairo_matrix_t patternMatrix = toCairo(imageToDevice);
    if (cairo_matrix_invert(&patternMatrix) != CAIRO_STATUS_SUCCESS) return;
    cairo_filter_t filter = CAIRO_FILTER_GOOD;
    switch (g.interpolation) {
        case kCGInterpolationNone:
            filter = CAIRO_FILTER_NEAREST;
            break;
        case kCGInterpolationLow:
            filter = CAIRO_FILTER_BILINEAR;
            break;
        case kCGInterpolationHigh:
            filter = CAIRO_FILTER_BEST;
            break;
        default:
            break;
    }
    if (!interpolate) filter = CAIRO_FILTER_NEAREST;
    Ref<CGColor> fillColor = g.fill;
    const CGAffineTransform u = userToDevice();
    auto area = [&](cairo_t* c) {
        cairo_matrix_t um = toCairo(u);
        cairo_set_matrix(c, &um);
        cairo_rectangle(c, rect.origin.x, rect.origin.y, rect.size.width, rect.size.height);
        cairo_identity_matrix(c);
    };
    auto makePattern = [&]() {
        cairo_pattern_t* pat = cairo_pattern_create_for_surface(s);
        cairo_pattern_set_matrix(pat, &patternMatrix);
        cairo_pattern_set_filter(pat, filter);
        // Padding keeps the edges crisp; repeating tiles.
        cairo_pattern_set_extend(pat, tiled ? CAIRO_EXTEND_REPEAT : CAIRO_EXTEND_PAD);
        return pat;
    };
    paint(
        [&](cairo_t* c) {
            cairo_pattern_t* pat = makePattern();
            if (!tiled) {
                area(c);
                cairo_clip(c);
            }
            if (isMask) {
                setSourceColor(c, fillColor);
                cairo_mask(c, pat);
            } else {
                cairo_set_source(c, pat);
                cairo_paint(c);
            }
            cairo_pattern_destroy(pat);
        },
        [&](cairo_t* c) {
            if (tiled) return;
            area(c);
            cairo_clip(c);
        });
}

void Impl::drawImage(CGImage* image, CGRect rect, bool tiled) {
    std::shared_ptr<const void> keep;
    cairo_surface_t* s = image->isMask() ? coverageSurface(image, keep) : imageSurface(image, keep);
    drawSurfaceInRect(s, int(image->layout().width), int(image->layout().height), rect,
                      image->isMask(), image->shouldInterpolate(), tiled);
    cairo_surface_destroy(s);
}

void Impl::clipToPath(const CGPathData& p, bool evenOdd) {
    if (p.empty()) {
        g.clipEmpty = true;
        return;
    }
    auto cp = std::make_shared<ClipPath>();
    cp->path = p;
    cp->evenOdd = evenOdd;
    cp->antialias = g.antialias && g.allowsAntialias;
    g.clipPaths.push_back(cp);
    g.clipDeviceBounds = CGRectIntersection(g.clipDeviceBounds, p.pathBoundingBox());
    if (CGRectIsNull(g.clipDeviceBounds)) g.clipEmpty = true;
}

void Impl::clipToDeviceMask(cairo_surface_t* mask, CGRect deviceBounds) {
    if (g.clipMask) {
        // The product of the old and new masks.
        cairo_surface_t* both = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
        cairo_t* c = cairo_create(both);
        cairo_set_source_surface(c, g.clipMask.get(), 0, 0);
        cairo_mask_surface(c, mask, 0, 0);
        cairo_destroy(c);
        cairo_surface_destroy(mask);
        mask = both;
    }
    g.clipMask = std::shared_ptr<cairo_surface_t>(mask, cairo_surface_destroy);
    g.clipDeviceBounds = CGRectIntersection(g.clipDeviceBounds, deviceBounds);
    if (CGRectIsNull(g.clipDeviceBounds)) g.clipEmpty = true;
}

// ---- CGContext
// --------------------------------------------------------------------------------------

CGContext::CGContext() : impl_(std::make_unique<Impl>()) {}
CGContext::~CGContext() = default;

Ref<NSString> CGContext::description() {
    return NSString::stringWithFormat(NS("<CGContext %p> (bitmap %d x %d)"), this, impl_->width,
                                      impl_->height);
}

#define IMPL(c)       \
    if (!(c)) return; \
    Impl& d = *(c)->impl()

void CGContextSaveGState(CGContextRef c) {
    IMPL(c);
    d.stack.push_back(d.g);
}

void CGContextRestoreGState(CGContextRef c) {
    IMPL(c);
    // A transparency layer's own save is undone only by its End.
    size_t floor = d.layers.empty() ? 0 : d.layers.back().stackDepth;
    if (d.stack.size() <= floor) return;
    d.g = std::move(d.stack.back());
    d.stack.pop_back();
}

void CGContextTranslateCTM(CGContextRef c, CGFloat tx, CGFloat ty) {
    IMPL(c);
    d.g.ctm = CGAffineTransformTranslate(d.g.ctm, tx, ty);
}

void CGContextScaleCTM(CGContextRef c, CGFloat sx, CGFloat sy) {
    IMPL(c);
    d.g.ctm = CGAffineTransformScale(d.g.ctm, sx, sy);
}

void CGContextRotateCTM(CGContextRef c, CGFloat angle) {
    IMPL(c);
    d.g.ctm = CGAffineTransformRotate(d.g.ctm, angle);
}

void CGContextConcatCTM(CGContextRef c, CGAffineTransform transform) {
    IMPL(c);
    d.g.ctm = CGAffineTransformConcat(transform, d.g.ctm);
}

CGAffineTransform CGContextGetCTM(CGContextRef c) {
    return c ? c->impl()->g.ctm : CGAffineTransformIdentity;
}

CGAffineTransform CGContextGetUserSpaceToDeviceSpaceTransform(CGContextRef c) {
    return c ? c->impl()->userToDevice() : CGAffineTransformIdentity;
}

CGPoint CGContextConvertPointToDeviceSpace(CGContextRef c, CGPoint point) {
    return c ? CGPointApplyAffineTransform(point, c->impl()->userToDevice()) : point;
}

CGPoint CGContextConvertPointToUserSpace(CGContextRef c, CGPoint point) {
    if (!c) return point;
    return CGPointApplyAffineTransform(point, CGAffineTransformInvert(c->impl()->userToDevice()));
}

CGRect CGContextConvertRectToDeviceSpace(CGContextRef c, CGRect rect) {
    return c ? transformRect(rect, c->impl()->userToDevice()) : rect;
}

CGRect CGContextConvertRectToUserSpace(CGContextRef c, CGRect rect) {
    if (!c) return rect;
    return transformRect(rect, CGAffineTransformInvert(c->impl()->userToDevice()));
}

void CGContextSetLineWidth(CGContextRef c, CGFloat width) {
    IMPL(c);
    d.g.strokeStyle.lineWidth = width;
}

void CGContextSetLineCap(CGContextRef c, CGLineCap cap) {
    IMPL(c);
    d.g.strokeStyle.cap = cap;
}

void CGContextSetLineJoin(CGContextRef c, CGLineJoin join) {
    IMPL(c);
    d.g.strokeStyle.join = join;
}

void CGContextSetMiterLimit(CGContextRef c, CGFloat limit) {
    IMPL(c);
    d.g.strokeStyle.miterLimit = limit;
}

void CGContextSetLineDash(CGContextRef c, CGFloat phase, const CGFloat* lengths, size_t count) {
    IMPL(c);
    d.g.strokeStyle.dashes.clear();
    d.g.strokeStyle.dashPhase = phase;
    if (!lengths || count == 0) return;
    CGFloat total = 0;
    for (size_t i = 0; i < count; ++i) {
        // A negative length or an all-zero pattern would never end: no dashing then.
        if (lengths[i] < 0) return;
        total += lengths[i];
    }
    if (total <= 0) return;
    d.g.strokeStyle.dashes.assign(lengths, lengths + count);
}

void CGContextSetFlatness(CGContextRef c, CGFloat flatness) {
    IMPL(c);
    d.g.flatness = std::max(flatness, 0.01f);
}

void CGContextSetAlpha(CGContextRef c, CGFloat alpha) {
    IMPL(c);
    d.g.alpha = std::isnan(alpha) ? 0 : std::clamp(alpha, 0.0f, 1.0f);
}

void CGContextSetBlendMode(CGContextRef c, CGBlendMode mode) {
    IMPL(c);
    d.g.blend = mode;
}

void CGContextSetInterpolationQuality(CGContextRef c, CGInterpolationQuality quality) {
    IMPL(c);
    d.g.interpolation = quality;
}

CGInterpolationQuality CGContextGetInterpolationQuality(CGContextRef c) {
    return c ? c->impl()->g.interpolation : kCGInterpolationDefault;
}

void CGContextSetShouldAntialias(CGContextRef c, bool shouldAntialias) {
    IMPL(c);
    d.g.antialias = shouldAntialias;
}

void CGContextSetAllowsAntialiasing(CGContextRef c, bool allowsAntialiasing) {
    IMPL(c);
    d.g.allowsAntialias = allowsAntialiasing;
}

void CGContextSetShadowWithColor(CGContextRef c, CGSize offset, CGFloat blur, CGColorRef color) {
    IMPL(c);
    d.g.shadow.offset = offset;
    d.g.shadow.blur = std::max(blur, 0.0f);
    d.g.shadow.color = color;
}

void CGContextSetShadow(CGContextRef c, CGSize offset, CGFloat blur) {
    if (!c) return;
    auto color = CGColorCreateGenericGray(0, 1.0f / 3);
    CGContextSetShadowWithColor(c, offset, blur, color);
}

void CGContextSetFillColorWithColor(CGContextRef c, CGColorRef color) {
    IMPL(c);
    if (!color) return;
    d.g.fill = color;
    d.g.fillSpace = color->colorSpace();
}

void CGContextSetStrokeColorWithColor(CGContextRef c, CGColorRef color) {
    IMPL(c);
    if (!color) return;
    d.g.stroke = color;
    d.g.strokeSpace = color->colorSpace();
}

namespace {
Ref<CGColor> blackIn(CGColorSpace* space) {
    std::vector<CGFloat> v(space->numberOfComponents() + 1, 0);
    v.back() = 1;
    return CGColorCreate(space, v.data());
}
}  // namespace

void CGContextSetFillColorSpace(CGContextRef c, CGColorSpaceRef space) {
    IMPL(c);
    if (!space || space->model() == kCGColorSpaceModelPattern) return;
    d.g.fillSpace = space;
    d.g.fill = blackIn(space);
}

void CGContextSetStrokeColorSpace(CGContextRef c, CGColorSpaceRef space) {
    IMPL(c);
    if (!space || space->model() == kCGColorSpaceModelPattern) return;
    d.g.strokeSpace = space;
    d.g.stroke = blackIn(space);
}

void CGContextSetFillColor(CGContextRef c, const CGFloat* components) {
    IMPL(c);
    if (auto color = CGColorCreate(d.g.fillSpace, components)) d.g.fill = color;
}

void CGContextSetStrokeColor(CGContextRef c, const CGFloat* components) {
    IMPL(c);
    if (auto color = CGColorCreate(d.g.strokeSpace, components)) d.g.stroke = color;
}

void CGContextSetRGBFillColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue,
                              CGFloat alpha) {
    CGContextSetFillColorWithColor(c, CGColorCreateGenericRGB(red, green, blue, alpha));
}

void CGContextSetRGBStrokeColor(CGContextRef c, CGFloat red, CGFloat green, CGFloat blue,
                                CGFloat alpha) {
    CGContextSetStrokeColorWithColor(c, CGColorCreateGenericRGB(red, green, blue, alpha));
}

void CGContextSetGrayFillColor(CGContextRef c, CGFloat gray, CGFloat alpha) {
    CGContextSetFillColorWithColor(c, CGColorCreateGenericGray(gray, alpha));
}

void CGContextSetGrayStrokeColor(CGContextRef c, CGFloat gray, CGFloat alpha) {
    CGContextSetStrokeColorWithColor(c, CGColorCreateGenericGray(gray, alpha));
}

Ref<CGColor> CGContextCopyFillColor(CGContextRef c) {
    return c ? c->impl()->g.fill : nullptr;
}

Ref<CGColor> CGContextCopyStrokeColor(CGContextRef c) {
    return c ? c->impl()->g.stroke : nullptr;
}

// ---- path
// -------------------------------------------------------------------------------------------

void CGContextBeginPath(CGContextRef c) {
    IMPL(c);
    d.path.clear();
}

void CGContextMoveToPoint(CGContextRef c, CGFloat x, CGFloat y) {
    IMPL(c);
    d.path.moveTo(CGPointApplyAffineTransform({x, y}, d.userToDevice()));
}

void CGContextAddLineToPoint(CGContextRef c, CGFloat x, CGFloat y) {
    IMPL(c);
    d.path.lineTo(CGPointApplyAffineTransform({x, y}, d.userToDevice()));
}

void CGContextAddCurveToPoint(CGContextRef c, CGFloat cp1x, CGFloat cp1y, CGFloat cp2x,
                              CGFloat cp2y, CGFloat x, CGFloat y) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.curveTo(CGPointApplyAffineTransform({cp1x, cp1y}, u),
                   CGPointApplyAffineTransform({cp2x, cp2y}, u),
                   CGPointApplyAffineTransform({x, y}, u));
}

void CGContextAddQuadCurveToPoint(CGContextRef c, CGFloat cpx, CGFloat cpy, CGFloat x, CGFloat y) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.quadTo(CGPointApplyAffineTransform({cpx, cpy}, u),
                  CGPointApplyAffineTransform({x, y}, u));
}

void CGContextClosePath(CGContextRef c) {
    IMPL(c);
    d.path.close();
}

void CGContextAddArc(CGContextRef c, CGFloat x, CGFloat y, CGFloat radius, CGFloat startAngle,
                     CGFloat endAngle, int clockwise) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.addArc({x, y}, radius, startAngle, endAngle, clockwise != 0, &u);
}

void CGContextAddArcToPoint(CGContextRef c, CGFloat x1, CGFloat y1, CGFloat x2, CGFloat y2,
                            CGFloat radius) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.addArcToPoint({x1, y1}, {x2, y2}, radius, &u);
}

void CGContextAddRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.addRect(rect, &u);
}

void CGContextAddRects(CGContextRef c, const CGRect* rects, size_t count) {
    IMPL(c);
    if (!rects) return;
    CGAffineTransform u = d.userToDevice();
    for (size_t i = 0; i < count; ++i)
        d.path.addRect(rects[i], &u);
}

void CGContextAddLines(CGContextRef c, const CGPoint* points, size_t count) {
    IMPL(c);
    if (!points || count == 0) return;
    CGAffineTransform u = d.userToDevice();
    d.path.moveTo(CGPointApplyAffineTransform(points[0], u));
    for (size_t i = 1; i < count; ++i)
        d.path.lineTo(CGPointApplyAffineTransform(points[i], u));
}

void CGContextAddEllipseInRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    CGAffineTransform u = d.userToDevice();
    d.path.addEllipse(rect, &u);
}

void CGContextAddPath(CGContextRef c, CGPathRef path) {
    IMPL(c);
    if (!path) return;
    CGAffineTransform u = d.userToDevice();
    d.path.append(path->data(), &u);
}

void CGContextReplacePathWithStrokedPath(CGContextRef c) {
    IMPL(c);
    if (d.path.empty()) return;
    CGAffineTransform u = d.userToDevice();
    d.path = d.path.strokedOutline(d.g.strokeStyle, CGAffineTransformInvert(u), u,
                                   std::max(0.05f, d.g.flatness / 4));
}

bool CGContextIsPathEmpty(CGContextRef c) {
    return !c || c->impl()->path.empty();
}

CGPoint CGContextGetPathCurrentPoint(CGContextRef c) {
    if (!c || !c->impl()->path.hasCurrent) return CGPointZero;
    Impl& d = *c->impl();
    return CGPointApplyAffineTransform(d.path.current, CGAffineTransformInvert(d.userToDevice()));
}

CGRect CGContextGetPathBoundingBox(CGContextRef c) {
    if (!c || c->impl()->path.empty()) return CGRectNull;
    Impl& d = *c->impl();
    CGPathData user;
    CGAffineTransform inv = CGAffineTransformInvert(d.userToDevice());
    user.append(d.path, &inv);
    return user.pathBoundingBox();
}

bool CGContextPathContainsPoint(CGContextRef c, CGPoint point, CGPathDrawingMode mode) {
    if (!c) return false;
    Impl& d = *c->impl();
    CGAffineTransform u = d.userToDevice();
    CGPoint p = CGPointApplyAffineTransform(point, u);
    bool eo = mode == kCGPathEOFill || mode == kCGPathEOFillStroke;
    bool fills = mode != kCGPathStroke;
    bool strokes =
        mode == kCGPathStroke || mode == kCGPathFillStroke || mode == kCGPathEOFillStroke;
    if (fills && d.path.containsPoint(p, eo)) return true;
    if (strokes) {
        CGPathData outline =
            d.path.strokedOutline(d.g.strokeStyle, CGAffineTransformInvert(u), u, 0.05f);
        return outline.containsPoint(p, false);
    }
    return false;
}

Ref<CGPath> CGContextCopyPath(CGContextRef c) {
    if (!c) return nullptr;
    Impl& d = *c->impl();
    auto p = CGPathCreateMutable();
    CGAffineTransform inv = CGAffineTransformInvert(d.userToDevice());
    p->data().append(d.path, &inv);
    return p;
}

// ---- painting
// ---------------------------------------------------------------------------------------

namespace {

// Shapes given in user space, as device-space paths of their own (the current path is kept).
CGPathData deviceEllipse(const Impl& d, CGRect rect) {
    CGPathData p;
    CGAffineTransform u = d.userToDevice();
    p.addEllipse(rect, &u);
    return p;
}

}  // namespace

void CGContextDrawPath(CGContextRef c, CGPathDrawingMode mode) {
    IMPL(c);
    CGPathData p = std::move(d.path);
    d.path.clear();
    switch (mode) {
        case kCGPathFill:
            d.fillPath(p, false);
            break;
        case kCGPathEOFill:
            d.fillPath(p, true);
            break;
        case kCGPathStroke:
            d.strokePath(p);
            break;
        case kCGPathFillStroke:
            d.fillPath(p, false);
            d.strokePath(p);
            break;
        case kCGPathEOFillStroke:
            d.fillPath(p, true);
            d.strokePath(p);
            break;
    }
}

void CGContextFillPath(CGContextRef c) {
    CGContextDrawPath(c, kCGPathFill);
}

void CGContextEOFillPath(CGContextRef c) {
    CGContextDrawPath(c, kCGPathEOFill);
}

void CGContextStrokePath(CGContextRef c) {
    CGContextDrawPath(c, kCGPathStroke);
}

void CGContextFillRect(CGContextRef c, CGRect rect) {
    CGContextFillRects(c, &rect, 1);
}

void CGContextFillRects(CGContextRef c, const CGRect* rects, size_t count) {
    IMPL(c);
    if (!rects) return;
    d.fillPath(d.deviceRects(rects, count), false);
}

void CGContextStrokeRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    d.strokePath(d.deviceRects(&rect, 1));
}

void CGContextStrokeRectWithWidth(CGContextRef c, CGRect rect, CGFloat width) {
    IMPL(c);
    CGFloat old = d.g.strokeStyle.lineWidth;
    d.g.strokeStyle.lineWidth = width;
    CGContextStrokeRect(c, rect);
    d.g.strokeStyle.lineWidth = old;
}

void CGContextClearRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    if (d.g.clipEmpty) return;
    const bool onBase = d.layers.empty();
    if (onBase) d.beginDrawing();
    cairo_t* cr = d.currentCr();
    cairo_save(cr);
    cairo_identity_matrix(cr);
    d.applyClip(cr);
    d.appendPath(cr, d.deviceRects(&rect, 1));
    cairo_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    if (d.g.clipMask) {
        cairo_mask_surface(cr, d.g.clipMask.get(), 0, 0);
    } else {
        cairo_paint(cr);
    }
    cairo_restore(cr);
    if (onBase) d.endDrawing(true);
}

void CGContextFillEllipseInRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    d.fillPath(deviceEllipse(d, rect), false);
}

void CGContextStrokeEllipseInRect(CGContextRef c, CGRect rect) {
    IMPL(c);
    d.strokePath(deviceEllipse(d, rect));
}

void CGContextStrokeLineSegments(CGContextRef c, const CGPoint* points, size_t count) {
    IMPL(c);
    if (!points) return;
    CGPathData p;
    CGAffineTransform u = d.userToDevice();
    for (size_t i = 0; i + 1 < count; i += 2) {
        p.moveTo(CGPointApplyAffineTransform(points[i], u));
        p.lineTo(CGPointApplyAffineTransform(points[i + 1], u));
    }
    d.strokePath(p);
}

// ---- clipping
// -------------------------------------------------------------------------------------

void CGContextClip(CGContextRef c) {
    IMPL(c);
    d.clipToPath(d.path, false);
    d.path.clear();
}

void CGContextEOClip(CGContextRef c) {
    IMPL(c);
    d.clipToPath(d.path, true);
    d.path.clear();
}

void CGContextClipToRect(CGContextRef c, CGRect rect) {
    CGContextClipToRects(c, &rect, 1);
}

void CGContextClipToRects(CGContextRef c, const CGRect* rects, size_t count) {
    IMPL(c);
    if (!rects) return;
    d.clipToPath(d.deviceRects(rects, count), false);
}

void CGContextClipToMask(CGContextRef c, CGRect rect, CGImageRef mask) {
    IMPL(c);
    if (!mask) return;
    rect = CGRectStandardize(rect);
    const auto& L = mask->layout();
    cairo_surface_t* a8 = cairo_image_surface_create(CAIRO_FORMAT_A8, d.width, d.height);
    {
        std::shared_ptr<const void> keep;
        cairo_surface_t* cov = coverageSurface(mask, keep);
        CGAffineTransform imageToUser = CGAffineTransformMake(
            rect.size.width / CGFloat(L.width), 0, 0, -rect.size.height / CGFloat(L.height),
            rect.origin.x, rect.origin.y + rect.size.height);
        cairo_matrix_t pm = toCairo(CGAffineTransformConcat(imageToUser, d.userToDevice()));
        cairo_t* ac = cairo_create(a8);
        if (cairo_matrix_invert(&pm) == CAIRO_STATUS_SUCCESS) {
            cairo_pattern_t* pat = cairo_pattern_create_for_surface(cov);
            cairo_pattern_set_matrix(pat, &pm);
            cairo_pattern_set_extend(pat, CAIRO_EXTEND_PAD);
            CGPathData area;
            CGAffineTransform u = d.userToDevice();
            area.addRect(rect, &u);
            d.appendPath(ac, area);
            cairo_clip(ac);
            cairo_set_source(ac, pat);
            cairo_paint(ac);
            cairo_pattern_destroy(pat);
        }
        cairo_destroy(ac);
        cairo_surface_destroy(cov);
    }
    d.clipToDeviceMask(a8, transformRect(rect, d.userToDevice()));
}

CGRect CGContextGetClipBoundingBox(CGContextRef c) {
    if (!c) return CGRectNull;
    Impl& d = *c->impl();
    if (d.g.clipEmpty) return CGRectNull;
    return transformRect(d.g.clipDeviceBounds, CGAffineTransformInvert(d.userToDevice()));
}

// ---- images and gradients
// -------------------------------------------------------------------------

void CGContextDrawImage(CGContextRef c, CGRect rect, CGImageRef image) {
    IMPL(c);
    if (image) d.drawImage(image, rect, false);
}

void CGContextDrawTiledImage(CGContextRef c, CGRect rect, CGImageRef image) {
    IMPL(c);
    if (image) d.drawImage(image, rect, true);
}

namespace {

void addStops(cairo_pattern_t* pat, CGGradient* gradient) {
    for (const auto& s : gradient->stops()) {
        cairo_pattern_add_color_stop_rgba(pat, std::clamp(s.location, 0.0f, 1.0f), s.rgba[0],
                                          s.rgba[1], s.rgba[2], s.rgba[3]);
    }
}

// The user-space extent of the whole device, for half-planes that must reach every pixel.
CGFloat deviceReach(Impl& d) {
    CGRect r = transformRect(CGRectMake(0, 0, CGFloat(d.width), CGFloat(d.height)),
                             CGAffineTransformInvert(d.userToDevice()));
    return 2 * (std::fabs(r.origin.x) + std::fabs(r.origin.y) + r.size.width + r.size.height) + 1;
}

}  // namespace

void CGContextDrawLinearGradient(CGContextRef c, CGGradientRef gradient, CGPoint startPoint,
                                 CGPoint endPoint, CGGradientDrawingOptions options) {
    IMPL(c);
    if (!gradient || gradient->stops().empty()) return;
    CGPoint axis{endPoint.x - startPoint.x, endPoint.y - startPoint.y};
    CGFloat len = std::hypot(axis.x, axis.y);
    if (len == 0) return;
    const bool before = options & kCGGradientDrawsBeforeStartLocation;
    const bool after = options & kCGGradientDrawsAfterEndLocation;
    const cairo_matrix_t u = toCairo(d.userToDevice());
    const CGFloat reach = deviceReach(d) + len;
    CGPoint n{axis.x / len, axis.y / len};
    CGPoint perp{-n.y, n.x};
    d.paint(
        [&](cairo_t* cr) {
            cairo_set_matrix(cr, &u);
            cairo_pattern_t* pat =
                cairo_pattern_create_linear(startPoint.x, startPoint.y, endPoint.x, endPoint.y);
            addStops(pat, gradient);
            cairo_pattern_set_extend(pat, before || after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
            if (before != after) {
                // Only one end extends: cut off the far side of the other end.
                CGPoint edge = before ? endPoint : startPoint;
                CGFloat dir = before ? -1 : 1;
                CGPoint a{edge.x + perp.x * reach, edge.y + perp.y * reach};
                CGPoint b{edge.x - perp.x * reach, edge.y - perp.y * reach};
                CGPoint bb{b.x + dir * n.x * reach, b.y + dir * n.y * reach};
                CGPoint aa{a.x + dir * n.x * reach, a.y + dir * n.y * reach};
                cairo_move_to(cr, a.x, a.y);
                cairo_line_to(cr, b.x, b.y);
                cairo_line_to(cr, bb.x, bb.y);
                cairo_line_to(cr, aa.x, aa.y);
                cairo_close_path(cr);
                cairo_clip(cr);
            }
            cairo_set_source(cr, pat);
            cairo_paint(cr);
            cairo_pattern_destroy(pat);
        },
        [](cairo_t*) {});
}

void CGContextDrawRadialGradient(CGContextRef c, CGGradientRef gradient, CGPoint startCenter,
                                 CGFloat startRadius, CGPoint endCenter, CGFloat endRadius,
                                 CGGradientDrawingOptions options) {
    IMPL(c);
    if (!gradient || gradient->stops().empty()) return;
    const bool before = options & kCGGradientDrawsBeforeStartLocation;
    const bool after = options & kCGGradientDrawsAfterEndLocation;
    const cairo_matrix_t u = toCairo(d.userToDevice());
    d.paint(
        [&](cairo_t* cr) {
            cairo_set_matrix(cr, &u);
            cairo_pattern_t* pat =
                cairo_pattern_create_radial(startCenter.x, startCenter.y, std::fabs(startRadius),
                                            endCenter.x, endCenter.y, std::fabs(endRadius));
            addStops(pat, gradient);
            cairo_pattern_set_extend(pat, after ? CAIRO_EXTEND_PAD : CAIRO_EXTEND_NONE);
            cairo_set_source(cr, pat);
            cairo_paint(cr);
            cairo_pattern_destroy(pat);
            if (before && !after && startRadius > 0) {
                // Inside the start circle: the first colour.
                const auto& s = gradient->stops().front();
                cairo_set_source_rgba(cr, s.rgba[0], s.rgba[1], s.rgba[2], s.rgba[3]);
                cairo_new_path(cr);
                cairo_arc(cr, startCenter.x, startCenter.y, std::fabs(startRadius), 0, 2 * kPi);
                cairo_fill(cr);
            }
        },
        [](cairo_t*) {});
}

// ---- transparency layers
// ----------------------------------------------------------------------------

void CGContextBeginTransparencyLayer(CGContextRef c, NSDictionary*) {
    IMPL(c);
    d.stack.push_back(d.g);
    Impl::TransparencyLayer l;
    l.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, d.width, d.height);
    l.cr = cairo_create(l.surface);
    l.stackDepth = d.stack.size();
    d.layers.push_back(l);
    // Inside the layer everything draws plainly; the layer as a whole gets the effects.
    d.g.alpha = 1;
    d.g.blend = kCGBlendModeNormal;
    d.g.shadow = Impl::Shadow{};
}

void CGContextBeginTransparencyLayerWithRect(CGContextRef c, CGRect, NSDictionary* auxiliaryInfo) {
    CGContextBeginTransparencyLayer(c, auxiliaryInfo);
}

void CGContextEndTransparencyLayer(CGContextRef c) {
    IMPL(c);
    if (d.layers.empty()) return;
    Impl::TransparencyLayer l = d.layers.back();
    d.layers.pop_back();
    // Back to the state saved at Begin (saves made inside and not restored are dropped).
    if (d.stack.size() >= l.stackDepth && l.stackDepth > 0) {
        d.stack.resize(l.stackDepth);
        d.g = std::move(d.stack.back());
        d.stack.pop_back();
    }
    cairo_surface_flush(l.surface);
    d.paint(
        [&](cairo_t* cr) {
            cairo_set_source_surface(cr, l.surface, 0, 0);
            cairo_paint(cr);
        },
        [](cairo_t*) {});
    cairo_destroy(l.cr);
    cairo_surface_destroy(l.surface);
}

// ---- text
// -------------------------------------------------------------------------------------------

void CGContextSelectFont(CGContextRef c, const char* name, CGFloat size, CGTextEncoding) {
    IMPL(c);
    if (name) d.g.fontName = name;
    d.g.fontSize = size;
}

void CGContextSetFontSize(CGContextRef c, CGFloat size) {
    IMPL(c);
    d.g.fontSize = size;
}

void CGContextSetCharacterSpacing(CGContextRef c, CGFloat spacing) {
    IMPL(c);
    d.g.characterSpacing = spacing;
}

void CGContextSetTextDrawingMode(CGContextRef c, CGTextDrawingMode mode) {
    IMPL(c);
    d.g.textMode = mode;
}

void CGContextSetTextMatrix(CGContextRef c, CGAffineTransform t) {
    IMPL(c);
    d.textMatrix = t;
}

CGAffineTransform CGContextGetTextMatrix(CGContextRef c) {
    return c ? c->impl()->textMatrix : CGAffineTransformIdentity;
}

void CGContextSetTextPosition(CGContextRef c, CGFloat x, CGFloat y) {
    IMPL(c);
    d.textMatrix.tx = x;
    d.textMatrix.ty = y;
}

CGPoint CGContextGetTextPosition(CGContextRef c) {
    return c ? CGPointMake(c->impl()->textMatrix.tx, c->impl()->textMatrix.ty) : CGPointZero;
}

void CGContextShowText(CGContextRef c, const char* string, size_t length) {
    IMPL(c);
    if (!string || length == 0) return;
    std::string text(string, length);
    // "Family-Style" names: the style part picks weight and slant.
    std::string family = d.g.fontName;
    cairo_font_weight_t weight = CAIRO_FONT_WEIGHT_NORMAL;
    cairo_font_slant_t slant = CAIRO_FONT_SLANT_NORMAL;
    if (auto dash = family.find('-'); dash != std::string::npos) {
        std::string style = family.substr(dash + 1);
        family.resize(dash);
        if (style.find("Bold") != std::string::npos) weight = CAIRO_FONT_WEIGHT_BOLD;
        if (style.find("Italic") != std::string::npos ||
            style.find("Oblique") != std::string::npos) {
            slant = CAIRO_FONT_SLANT_ITALIC;
        }
    }
    const CGAffineTransform textToDevice = CGAffineTransformConcat(d.textMatrix, d.userToDevice());
    const CGFloat size = d.g.fontSize;
    // The advance, measured once for the text position.
    double advance = 0;
    {
        cairo_t* m = d.currentCr();
        cairo_save(m);
        cairo_select_font_face(m, family.c_str(), slant, weight);
        cairo_set_font_size(m, size);
        cairo_text_extents_t ext;
        cairo_text_extents(m, text.c_str(), &ext);
        advance = ext.x_advance;
        cairo_restore(m);
    }
    const CGTextDrawingMode mode = d.g.textMode;
    if (mode != kCGTextInvisible && mode != kCGTextClip) {
        Ref<CGColor> fill = d.g.fill, stroke = d.g.stroke;
        const CGFloat lineWidth = d.g.strokeStyle.lineWidth;
        const cairo_matrix_t tm = toCairo(textToDevice);
        auto shape = [&](cairo_t* cr) {
            cairo_set_matrix(cr, &tm);
            cairo_select_font_face(cr, family.c_str(), slant, weight);
            // Glyphs stand upright in text space, whose y goes up.
            cairo_matrix_t fm;
            cairo_matrix_init(&fm, size, 0, 0, -size, 0, 0);
            cairo_set_font_matrix(cr, &fm);
            cairo_move_to(cr, 0, 0);
            cairo_text_path(cr, text.c_str());
        };
        d.paint(
            [&](cairo_t* cr) {
                shape(cr);
                if (mode == kCGTextFill || mode == kCGTextFillStroke || mode == kCGTextFillClip ||
                    mode == kCGTextFillStrokeClip) {
                    d.setSourceColor(cr, fill);
                    cairo_fill_preserve(cr);
                }
                if (mode == kCGTextStroke || mode == kCGTextFillStroke ||
                    mode == kCGTextStrokeClip || mode == kCGTextFillStrokeClip) {
                    d.setSourceColor(cr, stroke);
                    cairo_set_line_width(cr, lineWidth);
                    cairo_stroke_preserve(cr);
                }
                cairo_new_path(cr);
            },
            [&](cairo_t* cr) {
                shape(cr);
                cairo_clip(cr);
            });
    }
    d.textMatrix.tx += CGFloat(advance) * d.textMatrix.a;
    d.textMatrix.ty += CGFloat(advance) * d.textMatrix.b;
}

void CGContextShowTextAtPoint(CGContextRef c, CGFloat x, CGFloat y, const char* string,
                              size_t length) {
    CGContextSetTextPosition(c, x, y);
    CGContextShowText(c, string, length);
}

// ---- misc
// -------------------------------------------------------------------------------------------

void CGContextFlush(CGContextRef c) {
    IMPL(c);
    d.syncMemory();
}

void CGContextSynchronize(CGContextRef c) {
    CGContextFlush(c);
}

void CGContextSetBaseScale(CGContextRef c, CGFloat scale) {
    IMPL(c);
    if (scale > 0) d.baseScale = scale;
}

CGFloat CGContextGetBaseScale(CGContextRef c) {
    return c ? c->impl()->baseScale : 1;
}
