#include "CoreGraphics/CGContextCairo.h"

#include "CoreGraphics/CGContextImpl.h"

void CGContextPaintWithCairo(CGContextRef c, const std::function<void(cairo_t* cr)>& paint) {
    if (!c || !paint) return;
    auto& d = *c->impl();
    const cairo_matrix_t user = cg_detail::toCairo(d.userToDevice());
    Ref<CGColor> fill = d.g.fill;
    d.paint(
        [&](cairo_t* cr) {
            d.setSourceColor(cr, fill);
            cairo_set_matrix(cr, &user);
            cairo_new_path(cr);
            paint(cr);
            cairo_new_path(cr);
        },
        nullptr);
}

bool CGContextDrawsShapesDirectly(CGContextRef c) {
    if (!c) return false;
    auto& d = *c->impl();
    return !d.everyPaint && d.paintsDirectly();
}

void CGContextFillRectWithCairo(CGContextRef c, cairo_t* cr, CGRect rect) {
    if (!c || !cr) return;
    auto& d = *c->impl();
    cairo_matrix_t user;
    cairo_get_matrix(cr, &user);
    const cairo_fill_rule_t rule = cairo_get_fill_rule(cr);
    // The device-space path and rule of a fill of the context's own.
    cairo_identity_matrix(cr);
    cairo_new_path(cr);
    d.appendPath(cr, d.deviceRects(&rect, 1));
    cairo_set_fill_rule(cr, CAIRO_FILL_RULE_WINDING);
    cairo_fill(cr);
    cairo_set_fill_rule(cr, rule);
    cairo_set_matrix(cr, &user);
}
