#include "UIKit/UIViewRendering.h"

#include <algorithm>
#include <cmath>
#include <unordered_map>
#include <vector>

#include "CoreGraphics/CGColor.h"
#include "CoreGraphics/CGContext.h"
#include "CoreGraphics/CGImage.h"
#include "CoreGraphics/CGPath.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSString.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/ImageCodecs.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIStandardAppearance.h"
#include "UIKit/UITextInputTraits.h"
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

void addRoundedRect(CGContextRef ctx, CGRect r, CGFloat radius) {
    if (radius <= 0) {
        CGContextAddRect(ctx, r);
        return;
    }
    CGContextAddPath(ctx, CGPathCreateWithRoundedRect(r, radius, radius, nullptr));
}

// The layer's contents placed by the view's content mode (contentsRect picks the part shown,
// contentsScale gives the image's size in points).
void drawLayerContents(UIView* view, CALayer* layer, CGContextRef ctx) {
    auto image = as<CGImage>(layer->contents());
    if (!image) return;
    Ref<CGImage> shown = image;
    CGRect cr = layer->contentsRect();
    if (!CGRectEqualToRect(cr, CGRectMake(0, 0, 1, 1))) {
        CGFloat iw = CGFloat(CGImageGetWidth(image)), ih = CGFloat(CGImageGetHeight(image));
        shown = CGImageCreateWithImageInRect(
            image, CGRectMake(cr.origin.x * iw, cr.origin.y * ih, cr.size.width * iw,
                              cr.size.height * ih));
        if (!shown) return;
    }
    CGFloat w = CGFloat(CGImageGetWidth(shown)), h = CGFloat(CGImageGetHeight(shown));
    CGFloat scale = layer->contentsScale();
    CGRect r = UIViewContentModeRect(view->contentMode(), view->bounds(),
                                     CGSizeMake(w / scale, h / scale));
    // Images are drawn y up: flip about the rectangle so that the top row lands at its top.
    CGContextSaveGState(ctx);
    CGContextTranslateCTM(ctx, r.origin.x, r.origin.y + r.size.height);
    CGContextScaleCTM(ctx, 1, -1);
    CGContextDrawImage(ctx, CGRectMake(0, 0, r.size.width, r.size.height), shown);
    CGContextRestoreGState(ctx);
}

// The view's content in its bounds coordinates: background, layer contents, then the view's
// own drawing.
void drawOwnContent(UIView* view, CALayer* layer, CGContextRef ctx) {
    CGRect bounds = view->bounds();
    if (auto bg = view->backgroundColor(); bg && !UIStandardAppearanceShapesBackground(view)) {
        UIGraphicsPushContext(ctx);
        CGContextSaveGState(ctx);
        bg->setFill();
        // The corner radius rounds the background even when nothing is clipped.
        CGContextBeginPath(ctx);
        addRoundedRect(ctx, bounds, layer ? layer->cornerRadius() : 0);
        CGContextFillPath(ctx);
        CGContextRestoreGState(ctx);
        UIGraphicsPopContext();
    }
    if (layer) drawLayerContents(view, layer, ctx);
    UIViewDrawOwnContent(view, ctx);
}

// The layer's shadow as the context's, for the group that the view and its subviews make.
bool setLayerShadow(CALayer* layer, CGContextRef ctx) {
    CGColor* color = layer->shadowColor();
    if (layer->shadowOpacity() <= 0 || !color) return false;
    CGFloat rgba[4];
    color->getPaintRGBA(rgba);
    if (rgba[3] <= 0) return false;
    // Offset and radius are in the view's units; shadows are measured in the base units.
    CGAffineTransform ctm = CGContextGetCTM(ctx);
    CGFloat k = std::hypot(ctm.a, ctm.b) / CGContextGetBaseScale(ctx);
    CGSize offset = layer->shadowOffset();
    auto shadow = CGColorCreateGenericRGB(rgba[0], rgba[1], rgba[2],
                                          rgba[3] * std::clamp(layer->shadowOpacity(), 0.0f, 1.0f));
    CGContextSetShadowWithColor(ctx, CGSizeMake(offset.width * k, offset.height * k),
                                layer->shadowRadius() * k, shadow);
    return true;
}

void drawBorder(CALayer* layer, CGRect bounds, CGContextRef ctx) {
    CGFloat width = layer->borderWidth();
    if (width <= 0 || !layer->borderColor()) return;
    CGContextSaveGState(ctx);
    // Inside the bounds, following the rounded corners.
    CGContextBeginPath(ctx);
    addRoundedRect(ctx, CGRectInset(bounds, width / 2, width / 2),
                   std::max<CGFloat>(0, layer->cornerRadius() - width / 2));
    CGContextSetStrokeColorWithColor(ctx, layer->borderColor());
    CGContextSetLineWidth(ctx, width);
    CGContextStrokePath(ctx);
    CGContextRestoreGState(ctx);
}

// Layers that asked to be displayed get their contents before they are drawn.
void displayLayerTree(CALayer* layer) {
    layer->displayIfNeeded();
    std::vector<Ref<CALayer>> subs = layer->sublayerList();
    for (auto& l : subs)
        displayLayerTree(l);
}

void renderTree(UIView* view, CGContextRef ctx);

// The sublayers of a view's layer by zPosition: those of subviews are drawn as views, the rest
// as layers.
void renderSublayers(UIView* view, CALayer* layer, CGContextRef ctx) {
    std::vector<Ref<CALayer>> order = layer->sublayerList();
    std::stable_sort(order.begin(), order.end(), [](const Ref<CALayer>& a, const Ref<CALayer>& b) {
        return a->zPosition() < b->zPosition();
    });
    std::unordered_map<CALayer*, Ref<UIView>> owners;
    for (auto& sub : view->subviewList())
        if (CALayer* l = sub->existingLayer()) owners.emplace(l, sub);
    for (auto& l : order) {
        if (auto it = owners.find(l.get()); it != owners.end()) {
            UIView* sub = it->second;
            if (sub->isHidden() || sub->alpha() < 0.01f) continue;
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, sub->transformToSuperview());
            renderTree(sub, ctx);
            CGContextRestoreGState(ctx);
        } else if (!l->isHidden()) {
            displayLayerTree(l);
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, l->transformToSuperlayer());
            l->renderInContext(ctx);
            CGContextRestoreGState(ctx);
        }
    }
}

void renderTree(UIView* view, CGContextRef ctx) {
    if (view->isHidden() || view->alpha() < 0.01f) return;
    Ref<UIView> keep(view);
    Ref<CALayer> layer = view->existingLayer();
    if (layer) layer->displayIfNeeded();
    CGContextSaveGState(ctx);
    bool shadow = layer && setLayerShadow(layer, ctx);
    bool group = view->alpha() < 1 || shadow;
    if (group) {
        // The view and its subviews fade (and cast their shadow) as one picture, as a layer's
        // opacity does.
        CGContextSetAlpha(ctx, view->alpha());
        CGContextBeginTransparencyLayer(ctx, nullptr);
    }
    CGRect bounds = view->bounds();
    if (view->clipsToBounds()) {
        CGContextBeginPath(ctx);
        addRoundedRect(ctx, bounds, layer ? layer->cornerRadius() : 0);
        CGContextClip(ctx);
    }
    drawOwnContent(view, layer, ctx);
    if (layer) {
        renderSublayers(view, layer, ctx);
        drawBorder(layer, bounds, ctx);
    } else {
        // A copy: drawing code may rearrange the tree.
        std::vector<Ref<UIView>> subviews = view->subviewList();
        for (auto& sub : subviews) {
            if (sub->isHidden() || sub->alpha() < 0.01f) continue;
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, sub->transformToSuperview());
            renderTree(sub, ctx);
            CGContextRestoreGState(ctx);
        }
    }
    if (group) CGContextEndTransparencyLayer(ctx);
    CGContextRestoreGState(ctx);
}

// drawRect: draws into the view's own backing, which is the size of its bounds. With `whole`
// the whole view is drawn, answering any pending display mark; without, only the marked area.
void drawRectInContext(UIView* view, CGContextRef ctx, bool whole) {
    CGRect bounds = view->bounds();
    CGContextSaveGState(ctx);
    CGContextClipToRect(ctx, bounds);
    if (auto label = dynamic_cast<UILabel*>(view)) prepareLabel(label, ctx);
    if (view->needsDisplay()) {
        if (whole) view->setNeedsDisplay();
        view->displayIfNeeded();
    } else if (whole) {
        view->drawRect(bounds);
    }
    CGContextRestoreGState(ctx);
}

}  // namespace

void UIViewDrawOwnContent(UIView* view, CGContextRef ctx) {
    if (!view || !ctx) return;
    UIGraphicsPushContext(ctx);
    CGContextSaveGState(ctx);
    UIDrawStandardAppearance(view, ctx);
    CGContextRestoreGState(ctx);
    if (auto imageView = dynamic_cast<UIImageView*>(view)) {
        // The image is the view's layer contents on the platform: placed by the content mode,
        // clipped only when the view clips.
        if (auto image = imageView->displayedImage()) image->drawInRect(imageView->imageRect());
    }
    drawRectInContext(view, ctx, true);
    UIGraphicsPopContext();
}

void UIViewDisplayPending(UIView* view) {
    if (!view || !view->needsDisplay()) return;
    // The view's backing is the size of its bounds; no one reads it back, since the renderer
    // paints live from drawRect:, so one point is one pixel and a huge view is cut to size.
    CGSize size = view->bounds().size;
    size.width = std::clamp(std::ceil(size.width), CGFloat(1), CGFloat(2048));
    size.height = std::clamp(std::ceil(size.height), CGFloat(1), CGFloat(2048));
    UIGraphicsBeginImageContextWithOptions(size, false, 1);
    if (auto ctx = UIGraphicsGetCurrentContext()) {
        CGRect b = view->bounds();
        CGContextTranslateCTM(ctx, -b.origin.x, -b.origin.y);
        drawRectInContext(view, ctx, false);
    }
    UIGraphicsEndImageContext();
}

CGRect UIViewContentModeRect(UIViewContentMode mode, CGRect b, CGSize s) {
    if (s.width <= 0 || s.height <= 0) return b;
    CGFloat sx = b.size.width / s.width, sy = b.size.height / s.height;
    CGFloat left = b.origin.x, top = b.origin.y;
    CGFloat right = CGRectGetMaxX(b) - s.width, bottom = CGRectGetMaxY(b) - s.height;
    CGFloat midX = b.origin.x + (b.size.width - s.width) / 2;
    CGFloat midY = b.origin.y + (b.size.height - s.height) / 2;
    auto centred = [&](CGFloat k) {
        CGFloat w = s.width * k, h = s.height * k;
        return CGRectMake(b.origin.x + (b.size.width - w) / 2, b.origin.y + (b.size.height - h) / 2,
                          w, h);
    };
    switch (mode) {
        case UIViewContentModeScaleAspectFit:
            return centred(std::min(sx, sy));
        case UIViewContentModeScaleAspectFill:
            return centred(std::max(sx, sy));
        case UIViewContentModeCenter:
            return CGRectMake(midX, midY, s.width, s.height);
        case UIViewContentModeTop:
            return CGRectMake(midX, top, s.width, s.height);
        case UIViewContentModeBottom:
            return CGRectMake(midX, bottom, s.width, s.height);
        case UIViewContentModeLeft:
            return CGRectMake(left, midY, s.width, s.height);
        case UIViewContentModeRight:
            return CGRectMake(right, midY, s.width, s.height);
        case UIViewContentModeTopLeft:
            return CGRectMake(left, top, s.width, s.height);
        case UIViewContentModeTopRight:
            return CGRectMake(right, top, s.width, s.height);
        case UIViewContentModeBottomLeft:
            return CGRectMake(left, bottom, s.width, s.height);
        case UIViewContentModeBottomRight:
            return CGRectMake(right, bottom, s.width, s.height);
        default:
            return b;  // scale to fill, redraw
    }
}

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

Ref<NSString> UIStatusBarTimeText() {
    auto formatter = make<NSDateFormatter>();
    formatter->setLocale(NSLocale::localeWithLocaleIdentifier(NS("en_US_POSIX")));
    formatter->setDateFormat(NS("h:mm a"));
    return formatter->stringFromDate(NSDate::date());
}

CGAffineTransform UIInterfaceToScreenTransform(UIInterfaceOrientation orientation) {
    CGRect screen = UIScreen::mainScreen()->bounds();
    CGFloat w = screen.size.width, h = screen.size.height;
    switch (orientation) {
        // The interface's top along the screen's left edge: its x runs up the screen.
        case UIInterfaceOrientationLandscapeLeft:
            return CGAffineTransformMake(0, -1, 1, 0, 0, h);
        case UIInterfaceOrientationLandscapeRight:
            return CGAffineTransformMake(0, 1, -1, 0, w, 0);
        case UIInterfaceOrientationPortraitUpsideDown:
            return CGAffineTransformMake(-1, 0, 0, -1, w, h);
        default:
            return CGAffineTransformIdentity;
    }
}

namespace {
// The input the keyboard types into, when it is up for a text input in a shown window.
UITextInputTraits* keyboardInput(Ref<UIResponder>& holder) {
    if (!UIKeyboard::isVisible()) return nullptr;
    holder = UIResponder::currentFirstResponder();
    auto view = as<UIView>(holder.get());
    if (!view || !view->window() || view->window()->isHidden()) return nullptr;
    return dynamic_cast<UITextInputTraits*>(holder.get());
}

// What the system shows over the app in interface coordinates: the keyboard (its input's own
// view when it has one) and the status bar.
void drawKeyboard(CGContextRef ctx, UIInterfaceOrientation orientation) {
    Ref<UIResponder> holder;
    auto traits = keyboardInput(holder);
    if (!traits) return;
    CGContextSaveGState(ctx);
    CGContextConcatCTM(ctx, UIInterfaceToScreenTransform(orientation));
    CGRect frame = UIKeyboard::interfaceFrame();
    if (auto input = as<UIView>(holder->inputView())) {
        // A picker or other view of the input's own stands where the keys would be.
        CGContextSetRGBFillColor(ctx, 0, 0, 0, 1);
        CGContextFillRect(ctx, frame);
        CGContextClipToRect(ctx, frame);
        CGContextTranslateCTM(ctx, frame.origin.x, frame.origin.y);
        UIViewRenderInContext(input, ctx);
    } else {
        UIDrawKeyboard(ctx, frame, traits);
    }
    CGContextRestoreGState(ctx);
}

void drawStatusBar(CGContextRef ctx, UIApplication* app) {
    if (app->isStatusBarHidden()) return;
    auto orientation = app->statusBarOrientation();
    CGRect screen = UIScreen::mainScreen()->bounds();
    CGFloat width =
        UIInterfaceOrientationIsLandscape(orientation) ? screen.size.height : screen.size.width;
    CGContextSaveGState(ctx);
    CGContextConcatCTM(ctx, UIInterfaceToScreenTransform(orientation));
    UIDrawStatusBar(ctx, CGRectMake(0, 0, width, 20), app->statusBarStyle(), UIStatusBarTimeText(),
                    app->isNetworkActivityIndicatorVisible());
    CGContextRestoreGState(ctx);
}
}  // namespace

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
        // The keyboard covers the app's windows; alerts come above it.
        bool keyboardDrawn = false;
        for (auto& w : windows) {
            if (!keyboardDrawn && w->windowLevel() >= UIWindowLevelAlert) {
                drawKeyboard(ctx, app->statusBarOrientation());
                keyboardDrawn = true;
            }
            w->layoutIfNeeded();
            CGContextSaveGState(ctx);
            CGContextConcatCTM(ctx, w->transformToSuperview());
            renderTree(w, ctx);
            CGContextRestoreGState(ctx);
        }
        if (!keyboardDrawn) drawKeyboard(ctx, app->statusBarOrientation());
        drawStatusBar(ctx, app);
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
    auto png = UIImageEncodeImagePNG(image, true);
    if (!png) return fail(NS("The screen could not be encoded as PNG."));
    if (!png->writeToFile(path, true))
        return fail(NSString::stringWithFormat(NS("The file %@ could not be written."), path));
    return true;
}
