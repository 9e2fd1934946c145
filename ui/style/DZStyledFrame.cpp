#include "ui/style/DZStyledFrame.h"

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/core/DZShape.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"
#include "ui/core/UIImage+DZCategory.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZTextStyle.h"

// ---- frame ------------------------------------------------------------------------------------

bool DZStyledFrame::initWithElement(DZStyledElement* element) {
    element_ = element;
    return true;
}

void DZStyledFrame::releaseChain(Ref<DZStyledFrame> first) {
    while (first && first->retainCount() == 1) {
        Ref<DZStyledFrame> next = std::move(first->nextFrame_);
        first = std::move(next);
    }
}

void DZStyledFrame::dealloc() {
    releaseChain(std::move(nextFrame_));
    NSObject::dealloc();
}

void DZStyledFrame::setElement(DZStyledElement* element) {
    element_ = element;
}

void DZStyledFrame::setNextFrame(DZStyledFrame* frame) {
    Ref<DZStyledFrame> old = std::move(nextFrame_);
    nextFrame_ = frame;
    releaseChain(std::move(old));
}

Ref<DZStyledFrame> DZStyledFrame::hitTest(CGPoint point) {
    for (Ref<DZStyledFrame> frame = this; frame; frame = frame->nextFrame_) {
        if (auto hit = frame->hitTestSelf(point)) return hit;
    }
    return nullptr;
}

// ---- box --------------------------------------------------------------------------------------

void DZStyledBoxFrame::describeClass(RuntimeClass& c) {
    c.implements({"drawLayer:withStyle:"});
}

void DZStyledBoxFrame::dealloc() {
    releaseChain(std::move(firstChildFrame_));
    DZStyledFrame::dealloc();
}

void DZStyledBoxFrame::setFirstChildFrame(DZStyledFrame* frame) {
    Ref<DZStyledFrame> old = std::move(firstChildFrame_);
    firstChildFrame_ = frame;
    releaseChain(std::move(old));
}

void DZStyledBoxFrame::drawInRect(CGRect rect) {
    if (style_ && !CGRectIsEmpty(bounds())) {
        auto context = make<DZStyleContext>();
        context->setDelegate(this);
        context->setFrame(rect);
        context->setContentFrame(rect);
        Ref<DZStyle> style = style_;
        style->draw(context);
        if (context->didDrawContent()) return;
    }
    drawSubframes();
}

void DZStyledBoxFrame::drawSubframes() {
    for (Ref<DZStyledFrame> frame = firstChildFrame_; frame; frame = frame->nextFrame())
        frame->drawInRect(frame->bounds());
}

Ref<UIFont> DZStyledBoxFrame::font() {
    return firstChildFrame_ ? firstChildFrame_->font() : nullptr;
}

Ref<DZStyledFrame> DZStyledBoxFrame::hitTestSelf(CGPoint point) {
    if (!CGRectContainsPoint(bounds(), point)) return nullptr;
    if (firstChildFrame_) {
        if (auto hit = firstChildFrame_->hitTest(point)) return hit;
    }
    return Ref<DZStyledFrame>(this);
}

void DZStyledBoxFrame::drawLayerWithStyle(DZStyleContext* context, DZStyle* style) {
    auto textStyle = as<DZTextStyle>(style);
    if (!textStyle) {
        drawSubframes();
        return;
    }
    Ref<UIFont> previous = context->font();
    context->setFont(textStyle->font());
    if (auto color = textStyle->color()) {
        auto c = UIGraphicsGetCurrentContext();
        CGContextSaveGState(c);
        color->setFill();
        drawSubframes();
        CGContextRestoreGState(c);
    } else {
        drawSubframes();
    }
    context->setFont(previous);
}

Ref<DZStyledInlineFrame> DZStyledInlineFrame::inlineParentFrame() {
    return as<DZStyledInlineFrame>(parentFrame());
}

// ---- text -------------------------------------------------------------------------------------

bool DZStyledTextFrame::initWithText(NSString* text, DZStyledElement* element,
                                     DZStyledTextNode* node) {
    if (!initWithElement(element)) return false;
    setText(text);
    node_ = node;
    return true;
}

void DZStyledTextFrame::setText(NSString* text) {
    text_ = text ? cast<NSString>(text->copy()) : nullptr;
}

void DZStyledTextFrame::drawInRect(CGRect rect) {
    if (text_) ::drawInRect(text_, rect, font_, UILineBreakModeClip);
}

// ---- image ------------------------------------------------------------------------------------

void DZStyledImageFrame::describeClass(RuntimeClass& c) {
    c.implements({"drawLayer:withStyle:"});
}

bool DZStyledImageFrame::initWithElement(DZStyledElement* element, DZStyledImageNode* node) {
    if (!DZStyledFrame::initWithElement(element)) return false;
    imageNode_ = node;
    return true;
}

void DZStyledImageFrame::drawInRect(CGRect rect) {
    if (style_) {
        auto context = make<DZStyleContext>();
        context->setDelegate(this);
        context->setFrame(rect);
        context->setContentFrame(rect);
        Ref<DZStyle> style = style_;
        style->draw(context);
        if (context->didDrawContent()) return;
    }
    drawImage(rect);
}

namespace {

Ref<UIImage> shownImage(DZStyledImageNode* node) {
    if (!node) return nullptr;
    auto image = node->image();
    return image ? image : node->defaultImage();
}

}  // namespace

void DZStyledImageFrame::drawImage(CGRect rect) {
    auto node = imageNode();
    auto image = shownImage(node);
    if (!image) return;
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    CGContextClipToRect(c, rect);
    ::drawInRect(image, rect, UIViewContentModeScaleAspectFit);
    CGContextRestoreGState(c);
}

void DZStyledImageFrame::drawLayerWithStyle(DZStyleContext* context, DZStyle* style) {
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    context->shape()->addToPath(context->frame());
    CGContextClip(c);
    if (auto image = shownImage(imageNode())) {
        UIViewContentMode mode = UIViewContentModeScaleAspectFit;
        if (style && style->getClass() == DZImageStyle::staticClass())
            mode = cast<DZImageStyle>(Ref<DZStyle>(style))->contentMode();
        ::drawInRect(image, context->contentFrame(), mode);
    }
    CGContextRestoreGState(c);
}
