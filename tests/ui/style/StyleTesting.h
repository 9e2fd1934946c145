// Helpers for the style tests: chains drawn into image contexts at scale 2, probed in points,
// a recording text painter and a delegate that answers a fixed text and image.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIStringDrawing.h"
#include "platform/UIKit/DrawingTesting.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/DZStyleDelegate.h"

// Gives the chain its text and image, and counts drawLayer:withStyle: calls.
class StyleHost : public NSObject, public DZStyleDelegate {
    NS_OBJECT(StyleHost, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"textForLayerWithStyle:", "imageForLayerWithStyle:", "drawLayer:withStyle:"});
    }
    Ref<NSString> textForLayerWithStyle(DZStyle*) override { return text; }
    Ref<UIImage> imageForLayerWithStyle(DZStyle*) override { return image; }
    void drawLayerWithStyle(DZStyleContext* context, DZStyle*) override {
        ++drawn;
        drawnIn = context->frame();
    }
    Ref<NSString> text;
    Ref<UIImage> image;
    int drawn = 0;
    CGRect drawnIn = CGRectZero;
};

// Keeps the context's frame and content frame as the chain reaches it.
class FrameProbe : public DZStyle {
    NS_OBJECT(FrameProbe, DZStyle)
    void draw(DZStyleContext* context) override {
        frame = context->frame();
        contentFrame = context->contentFrame();
        DZStyle::draw(context);
    }
    CGRect frame = CGRectZero, contentFrame = CGRectZero;
};

// The chain drawn over a rectangle of the size at scale 2, from a fresh context.
inline Ref<UIImage> drawChain(DZStyle* chain, CGSize size, DZStyleDelegate* host = nullptr,
                              Ref<DZStyleContext>* used = nullptr) {
    auto context = make<DZStyleContext>();
    context->setDelegate(host);
    context->setFrame(CGRectMake(0, 0, size.width, size.height));
    context->setContentFrame(context->frame());
    auto image = paintedImage(size, 2, [&] { chain->draw(context); });
    if (used) *used = context;
    return image;
}

// The pixel under a point (scale 2).
inline RGBA at(UIImage* image, CGFloat x, CGFloat y) {
    return pixelAt(image, int(x * 2), int(y * 2));
}

struct RecordingTextPainter : UITextPainter {
    struct Call {
        std::u16string text;
        CGFloat fontSize = 0;
        CGRect rect{};
    };
    std::vector<Call> calls;
    void drawLines(const std::vector<UITextLine>& lines, UIFont* font, CGRect rect,
                   UITextAlignment) override {
        std::u16string text;
        for (auto& l : lines)
            text += l.text;
        calls.push_back({text, font->pointSize(), rect});
    }
};

inline bool sameRect(CGRect a, CGRect b) {
    return CGRectEqualToRect(a, b);
}
