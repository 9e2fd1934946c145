// The laid-out form of styled text: positioned rectangles that each draw a run of text, an image
// or a styled box around other frames. Frames of one level are a chain through nextFrame (each
// owns the next); a box owns its first child frame. Chains are walked and freed in loops.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIFont.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleDelegate.h"

class DZStyledElement;
class DZStyledImageNode;
class DZStyledTextNode;
class NSString;

class DZStyledFrame : public NSObject {
    NS_OBJECT(DZStyledFrame, NSObject)
    virtual bool initWithElement(DZStyledElement* element);
    void dealloc() override;

    Ref<DZStyledElement> element() { return element_.lock(); }
    void setElement(DZStyledElement* element);
    Ref<DZStyledFrame> nextFrame() { return nextFrame_; }
    void setNextFrame(DZStyledFrame* frame);
    CGRect bounds() { return bounds_; }
    void setBounds(CGRect bounds) { bounds_ = bounds; }
    CGFloat x() { return bounds_.origin.x; }
    void setX(CGFloat x) { bounds_.origin.x = x; }
    CGFloat y() { return bounds_.origin.y; }
    void setY(CGFloat y) { bounds_.origin.y = y; }
    CGFloat width() { return bounds_.size.width; }
    void setWidth(CGFloat width) { bounds_.size.width = width; }
    CGFloat height() { return bounds_.size.height; }
    void setHeight(CGFloat height) { bounds_.size.height = height; }

    virtual void drawInRect(CGRect) {}
    virtual Ref<UIFont> font() { return nullptr; }
    // The innermost box frame at the point, from this frame along the chain; nil when none.
    Ref<DZStyledFrame> hitTest(CGPoint point);

    // Internal: this frame's own answer, without the frames after it (nil: ask the next).
    virtual Ref<DZStyledFrame> hitTestSelf(CGPoint) { return nullptr; }

protected:
    static void releaseChain(Ref<DZStyledFrame> first);

private:
    Weak<DZStyledElement> element_;
    Ref<DZStyledFrame> nextFrame_;
    CGRect bounds_ = CGRectZero;
};

class DZStyledBoxFrame : public DZStyledFrame, public DZStyleDelegate {
    NS_OBJECT(DZStyledBoxFrame, DZStyledFrame)
    static void describeClass(RuntimeClass& c);
    void dealloc() override;

    Ref<DZStyledBoxFrame> parentFrame() { return parentFrame_.lock(); }
    void setParentFrame(DZStyledBoxFrame* frame) { parentFrame_ = frame; }
    Ref<DZStyledFrame> firstChildFrame() { return firstChildFrame_; }
    void setFirstChildFrame(DZStyledFrame* frame);
    Ref<DZStyle> style() { return style_; }
    void setStyle(DZStyle* style) { style_ = style; }

    void drawInRect(CGRect rect) override;
    void drawSubframes();
    Ref<UIFont> font() override;
    Ref<DZStyledFrame> hitTestSelf(CGPoint point) override;
    void drawLayerWithStyle(DZStyleContext* context, DZStyle* style) override;

private:
    Weak<DZStyledBoxFrame> parentFrame_;
    Ref<DZStyledFrame> firstChildFrame_;
    Ref<DZStyle> style_;
};

// One piece of an inline element; the pieces of an element broken over lines are linked.
class DZStyledInlineFrame : public DZStyledBoxFrame {
    NS_OBJECT(DZStyledInlineFrame, DZStyledBoxFrame)
    Ref<DZStyledInlineFrame> inlineParentFrame();
    Ref<DZStyledInlineFrame> inlinePreviousFrame() { return inlinePreviousFrame_.lock(); }
    void setInlinePreviousFrame(DZStyledInlineFrame* f) { inlinePreviousFrame_ = f; }
    Ref<DZStyledInlineFrame> inlineNextFrame() { return inlineNextFrame_.lock(); }
    void setInlineNextFrame(DZStyledInlineFrame* f) { inlineNextFrame_ = f; }

private:
    Weak<DZStyledInlineFrame> inlinePreviousFrame_, inlineNextFrame_;
};

class DZStyledTextFrame : public DZStyledFrame {
    NS_OBJECT(DZStyledTextFrame, DZStyledFrame)
    bool initWithText(NSString* text, DZStyledElement* element, DZStyledTextNode* node);

    Ref<DZStyledTextNode> node() { return node_.lock(); }
    Ref<NSString> text() { return text_; }
    void setText(NSString* text);
    Ref<UIFont> font() override { return font_; }
    void setFont(UIFont* font) { font_ = font; }
    void drawInRect(CGRect rect) override;

private:
    Weak<DZStyledTextNode> node_;
    Ref<NSString> text_;
    Ref<UIFont> font_;
};

class DZStyledImageFrame : public DZStyledFrame, public DZStyleDelegate {
    NS_OBJECT(DZStyledImageFrame, DZStyledFrame)
    static void describeClass(RuntimeClass& c);
    bool initWithElement(DZStyledElement* element, DZStyledImageNode* node);
    using DZStyledFrame::initWithElement;

    Ref<DZStyledImageNode> imageNode() { return imageNode_.lock(); }
    Ref<DZStyle> style() { return style_; }
    void setStyle(DZStyle* style) { style_ = style; }

    void drawInRect(CGRect rect) override;
    void drawImage(CGRect rect);
    void drawLayerWithStyle(DZStyleContext* context, DZStyle* style) override;

private:
    Weak<DZStyledImageNode> imageNode_;
    Ref<DZStyle> style_;
};
