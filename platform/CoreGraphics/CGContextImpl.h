// The insides of a drawing context, shared by the context, bitmap-context, layer and cairo
// hook sources. Internal to the framework.
#pragma once

#include <cairo.h>

#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "CoreGraphics/CGContext.h"

struct CGContext::Impl {
    // One clipping path in device space, with the rule and antialiasing it was made with.
    struct ClipPath {
        CGPathData path;
        bool evenOdd = false;
        bool antialias = true;
    };
    struct Shadow {
        CGSize offset{};
        CGFloat blur = 0;
        Ref<CGColor> color;
    };
    struct GState {
        CGAffineTransform ctm{};
        std::vector<std::shared_ptr<const ClipPath>> clipPaths;
        // The product of every mask clipped to, device-sized A8; null when none.
        std::shared_ptr<cairo_surface_t> clipMask;
        CGRect clipDeviceBounds{};  // what the clips leave, in device pixels
        bool clipEmpty = false;
        Ref<CGColor> fill, stroke;
        Ref<CGColorSpace> fillSpace, strokeSpace;
        CGPathData::StrokeStyle strokeStyle;
        CGFloat flatness = 0.5f;
        CGFloat alpha = 1;
        CGBlendMode blend = kCGBlendModeNormal;
        CGInterpolationQuality interpolation = kCGInterpolationDefault;
        bool antialias = true;
        bool allowsAntialias = true;
        Shadow shadow;
        std::string fontName = "Helvetica";
        CGFloat fontSize = 12;
        CGFloat characterSpacing = 0;
        CGTextDrawingMode textMode = kCGTextFill;
    };
    struct TransparencyLayer {
        cairo_surface_t* surface = nullptr;
        cairo_t* cr = nullptr;
        size_t stackDepth = 0;  // the state stack's size once Begin had saved
    };

    // The drawing surface. It is the memory itself when the memory is in cairo's layout: ARGB
    // words in the machine's order, premultiplied, or with the alpha byte skipped (then kept at
    // 255, so that cairo sees an opaque bitmap, as the layout means). Otherwise it is a surface
    // of our own, copied from and back to the memory around each drawing call while the memory
    // can change outside drawing (the caller's, or ours once handed out) or while the copy is
    // lossy (grey); else written back only when the memory is asked for.
    int width = 0, height = 0;
    cairo_surface_t* surface = nullptr;
    cairo_t* cr = nullptr;
    CGPixelLayout layout;
    uint8_t* data = nullptr;
    std::unique_ptr<uint8_t, void (*)(void*)> ownData{nullptr, &std::free};
    bool direct = false;       // the surface is the memory
    bool skipsAlpha = false;   // the layout has no alpha: the surface's is kept at 255
    bool exposed = false;      // the memory may change outside drawing
    bool everyPaint = false;   // copied around every drawing call (not direct)
    bool memoryStale = false;  // drawing not yet written back to the memory
    // Our own memory, drawn into directly and not yet cleared: it stands for a cleared bitmap
    // until something reads it or draws over it, so that a first drawing call that sets every
    // pixel whatever was there (a page's background) spares the clearing pass.
    bool uncleared = false;
    Ref<CGColorSpace> space;
    GState g;
    std::vector<GState> stack;
    CGPathData path;  // in device space
    std::vector<TransparencyLayer> layers;
    CGFloat baseScale = 1;
    CGAffineTransform textMatrix = CGAffineTransformIdentity;

    Impl() = default;
    Impl(const Impl&) = delete;
    Impl& operator=(const Impl&) = delete;
    ~Impl();

    // Makes the surface for a checked layout; false when cairo cannot.
    bool setUp(void* callerData, const CGPixelLayout& layout, CGColorSpace* space);

    // Base space (y up, origin bottom-left) to device pixels (y down, origin top-left).
    CGAffineTransform baseToDevice() const;
    // User space to device pixels.
    CGAffineTransform userToDevice() const;
    cairo_t* currentCr() { return layers.empty() ? cr : layers.back().cr; }

    // Around every drawing call on the base surface: the memory's changes brought in, and
    // the drawing taken out (alphaMayDrop: the call used an operator that can lower the alpha
    // of an opaque destination).
    void beginDrawing();
    void endDrawing(bool alphaMayDrop);
    // The memory made current with what was drawn.
    void syncMemory();
    // Gives uncleared memory the cleared bitmap's bytes.
    void clearMemory();
    // Whether filling the device-space path leaves the same pixels whatever the bitmap held: it
    // covers every pixel whole, through no clip, in a colour that replaces what is there.
    bool fillReplacesEveryPixel(const CGPathData& p) const;
    // The memory handed out: from now on it may change outside drawing.
    uint8_t* exposeMemory();
    void readMemory();
    void writeMemory();

    using DrawFn = std::function<void(cairo_t*)>;
    // Paints what draw draws (in device space, operator OVER, matrix identity) through the
    // clip, alpha, blend mode and shadow. cover, when given, clips to the area the drawing
    // covers: the operators that touch the destination outside the source need it to leave
    // the rest alone.
    void paint(const DrawFn& draw, const DrawFn& cover);
    // Whether the state casts a shadow.
    bool castsShadow() const;
    // Whether paint draws straight onto the destination, without a group: normal blending,
    // alpha 1, no shadow and no mask clip.
    bool paintsDirectly() const;
    // Rectangles given in user space, as a device-space path of their own.
    CGPathData deviceRects(const CGRect* rects, size_t count) const;
    void applyClip(cairo_t* c);
    // The current source through global alpha and the clip mask.
    void composite(cairo_t* c, CGFloat alpha);

    void setSourceColor(cairo_t* c, CGColor* color);
    void appendPath(cairo_t* c, const CGPathData& p);
    void fillPath(const CGPathData& p, bool evenOdd);
    void strokePath(const CGPathData& p);
    // A surface of W x H pixels (rows top first) into rect in user space, first row at the
    // rect's maximum y; a mask surface (A8) paints the fill colour through itself.
    void drawSurfaceInRect(cairo_surface_t* s, int w, int h, CGRect rect, bool isMask,
                           bool interpolate, bool tiled);
    void drawImage(CGImage* image, CGRect rect, bool tiled);
    void clipToPath(const CGPathData& p, bool evenOdd);
    void clipToDeviceMask(cairo_surface_t* mask, CGRect deviceBounds);
};

namespace cg_detail {
cairo_matrix_t toCairo(const CGAffineTransform& t);
// A surface for an image's premultiplied pixels (kept alive by the returned holder).
cairo_surface_t* imageSurface(CGImage* image, std::shared_ptr<const void>& keep);
// The image's coverage as an A8 surface.
cairo_surface_t* coverageSurface(CGImage* image, std::shared_ptr<const void>& keep);
}  // namespace cg_detail
