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
