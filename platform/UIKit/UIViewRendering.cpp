#include "UIKit/UIViewRendering.h"

#include <algorithm>
#include <vector>

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIStandardAppearance.h"
#include "UIKit/UIWindow.h"

namespace {

// What a label paints its text with: its colour for the state, and its shadow.
void prepareLabel(UILabel* label, CGContextRef ctx) {
    Ref<UIColor> color = label->textColor();
    if (label->isHighlighted() && label->highlightedTextColor())
        color = label->highlightedTextColor();
    if (!label->isEnabled()) color = UIColor::grayColor();
    if (color) color->set();
    if (auto shadow = label->shadowColor())
        CGContextSetShadowWithColor(ctx, label->shadowOffset(), 0, shadow->CGColor());
}

// The view's own content in its bounds coordinates: background, the look of a standard
// control, the image of an image view, then drawRect:.
void drawOwnContent(UIView* view, CGContextRef ctx) {
    CGRect bounds = view->bounds();
    UIGraphicsPushContext(ctx);
    if (auto bg = view->backgroundColor()) {
        CGContextSaveGState(ctx);
        bg->setFill();
        CGContextFillRect(ctx, bounds);
        CGContextRestoreGState(ctx);
    }
    CGContextSaveGState(ctx);
    UIDrawStandardAppearance(view, ctx);
    CGContextRestoreGState(ctx);
    if (auto imageView = dynamic_cast<UIImageView*>(view)) {
        // The image is the view's layer contents on the platform: placed by the content mode,
        // clipped only when the view clips.
        if (auto image = imageView->displayedImage()) image->drawInRect(imageView->imageRect());
    }
    // drawRect: draws into the view's own backing, which is the size of its bounds.
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, bounds);
    if (auto label = dynamic_cast<UILabel*>(view)) prepareLabel(label, ctx);
    // Drawing the whole view answers any pending display mark.
    if (view->needsDisplay()) {
        view->setNeedsDisplay();
        view->displayIfNeeded();
    } else {
        view->drawRect(bounds);
    }
    CGContextRestoreGState(ctx);
    UIGraphicsPopContext();
}

void renderTree(UIView* view, CGContextRef ctx) {
    if (view->isHidden() || view->alpha() < 0.01f) return;
    Ref<UIView> keep(view);
    CGContextSaveGState(ctx);
    bool layer = view->alpha() < 1;
    if (layer) {
        // The view and its subviews fade as one picture, as a layer's opacity does.
        CGContextSetAlpha(ctx, view->alpha());
        CGContextBeginTransparencyLayer(ctx, nullptr);
    }
    if (view->clipsToBounds()) CGContextClipToRect(ctx, view->bounds());
    drawOwnContent(view, ctx);
    // A copy: drawing code may rearrange the tree.
    std::vector<Ref<UIView>> subviews = view->subviewList();
    for (auto& sub : subviews) {
        if (sub->isHidden() || sub->alpha() < 0.01f) continue;
        CGContextSaveGState(ctx);
        CGContextConcatCTM(ctx, sub->transformToSuperview());
        renderTree(sub, ctx);
        CGContextRestoreGState(ctx);
    }
    if (layer) CGContextEndTransparencyLayer(ctx);
    CGContextRestoreGState(ctx);
}

}  // namespace

void UIViewRenderInContext(UIView* view, CGContextRef context) {
    if (!view || !context) return;
    UIView::layoutPendingViews();
    view->layoutIfNeeded();
    renderTree(view, context);
}

Ref<UIImage> UIViewRenderImage(UIView* view, CGFloat scale) {
    if (!view) return nullptr;
    UIView::layoutPendingViews();
    view->layoutIfNeeded();
    CGRect b = view->bounds();
    if (b.size.width <= 0 || b.size.height <= 0) return nullptr;
    UIGraphicsBeginImageContextWithOptions(b.size, false, scale);
    Ref<UIImage> image;
    if (auto ctx = UIGraphicsGetCurrentContext()) {
        CGContextTranslateCTM(ctx, -b.origin.x, -b.origin.y);
        renderTree(view, ctx);
        image = UIGraphicsGetImageFromCurrentImageContext();
    }
    UIGraphicsEndImageContext();
    return image;
}

Ref<UIImage> UIScreenRenderKeyWindow() {
    auto app = UIApplication::sharedApplication();
    if (!app || !app->keyWindow()) return nullptr;
    UIView::layoutPendingViews();
    // Every window that shows, by level (alerts sit in a window of their own above the app's).
    std::vector<Ref<UIWindow>> windows;
    if (auto all = app->windows()) {
        for (NSUInteger i = 0; i < all->count(); ++i)
            if (auto w = as<UIWindow>(all->objectAtIndex(i)); w && !w->isHidden())
                windows.push_back(w);
    }
    std::stable_sort(windows.begin(), windows.end(),
                     [](const Ref<UIWindow>& a, const Ref<UIWindow>& b) {
                         return a->windowLevel() < b->windowLevel();
                     });
    CGRect screen = UIScreen::mainScreen()->bounds();
    UIGraphicsBeginImageContextWithOptions(screen.size, true, 0);
    Ref<UIImage> image;
    if (auto ctx = UIGraphicsGetCurrentContext()) {
        CGContextSetRGBFillColor(ctx, 0, 0, 0, 1);
        CGContextFillRect(ctx, screen);
        for (auto& w : windows) {
            w->layoutIfNeeded();
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, w->transformToSuperview());
            renderTree(w, ctx);
            CGContextRestoreGState(ctx);
        }
        image = UIGraphicsGetImageFromCurrentImageContext();
    }
    UIGraphicsEndImageContext();
    return image;
}

bool UIScreenWriteKeyWindowPNG(NSString* path, Ref<NSError>* error) {
    auto fail = [&](NSString* reason) {
        if (error) {
            *error = NSError::errorWithDomain(
                NSCocoaErrorDomain, NSFileWriteUnknownError,
                NSDictionary::dictionaryWithObject(reason, NSLocalizedDescriptionKey));
        }
        return false;
    };
    if (!path || path->length() == 0) return fail(NS("No file name was given."));
    auto image = UIScreenRenderKeyWindow();
    if (!image) return fail(NS("There is no key window to draw."));
    auto png = UIImagePNGRepresentation(image);
    if (!png) return fail(NS("The screen could not be encoded as PNG."));
    if (!png->writeToFile(path, true))
        return fail(NSString::stringWithFormat(NS("The file %@ could not be written."), path));
    return true;
}
