// Lays a styled node tree out into frames for a width: lines broken at white space (and inside
// words wider than a line), fonts for bold, italic and link elements, the boxes, fonts and
// floats of the styles that elements name by class, and a common baseline per line. Used once
// per layout, on the main thread.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIFont.h"
#include "ui/core/DZStyle.h"

class DZStyledBoxFrame;
class DZStyledElement;
class DZStyledFrame;
class DZStyledImageNode;
class DZStyledInlineFrame;
class DZStyledNode;
class DZStyledTextNode;
class NSString;

class DZStyledLayout : public NSObject {
    NS_OBJECT(DZStyledLayout, NSObject)
    bool initWithRootNode(DZStyledNode* rootNode);
    // A nested layout for a positioned block: lines start at x.
    bool initWithX(CGFloat x, CGFloat width, CGFloat height);

    void layout(DZStyledNode* node);
    void layout(DZStyledNode* node, DZStyledElement* container);

    // The global sheet's font until one is set.
    Ref<UIFont> font();
    void setFont(UIFont* font);
    Ref<UIFont> boldFont();
    Ref<UIFont> italicFont();
    Ref<DZStyle> linkStyle();
    CGFloat width() { return width_; }
    void setWidth(CGFloat width) { width_ = width; }
    CGFloat height() { return height_; }
    void setHeight(CGFloat height) { height_ = height; }
    Ref<DZStyledFrame> rootFrame() { return rootFrame_; }
    // The image nodes whose image is still to be loaded (not retained).
    Ref<NSMutableArray> invalidImages() { return invalidImages_; }
    void setInvalidImages(NSMutableArray* images) { invalidImages_ = images; }

    static Ref<UIFont> boldVersionOfFont(UIFont* font);
    static Ref<UIFont> italicVersionOfFont(UIFont* font);

    // ---- frame building ---------------------------------------------------------------------
    void addFrame(DZStyledFrame* frame);
    void pushFrame(DZStyledBoxFrame* frame);
    void popFrame();
    void addContentFrame(DZStyledFrame* frame, CGFloat width);
    void addContentFrame(DZStyledFrame* frame, CGFloat width, CGFloat height);
    void addAbsoluteFrame(DZStyledFrame* frame, CGFloat width, CGFloat height);
    Ref<DZStyledInlineFrame> addInlineFrame(DZStyle* style, DZStyledElement* element, CGFloat width,
                                            CGFloat height);
    Ref<DZStyledInlineFrame> cloneInlineFrame(DZStyledInlineFrame* frame);
    Ref<DZStyledBoxFrame> addBlockFrame(DZStyle* style, DZStyledElement* element, CGFloat width,
                                        CGFloat height);
    Ref<DZStyledFrame> addFrameForText(NSString* text, DZStyledElement* element,
                                       DZStyledTextNode* node, CGFloat width, CGFloat height);
    void offsetFrame(DZStyledFrame* frame, CGFloat dy);
    void expandLineWidth(CGFloat width);
    void inflateLineHeight(CGFloat height);
    void breakLine();
    void checkFloats();

private:
    void layoutText(DZStyledTextNode* node, DZStyledElement* container);
    void layoutImage(DZStyledImageNode* node, DZStyledElement* container);
    void layoutElement(DZStyledElement* element);
    Ref<DZStyledNode> lastNode();
    Ref<DZStyle> styleNamed(NSString* className);
    void addPendingImage(DZStyledImageNode* node);

    CGFloat x_ = 0, width_ = 0, height_ = 0;
    CGFloat lineWidth_ = 0, lineHeight_ = 0;
    CGFloat minX_ = 0;
    CGFloat floatLeftWidth_ = 0, floatRightWidth_ = 0, floatHeight_ = 0;
    // The frames under construction are kept here too, so none is freed while the layout
    // still points at it.
    Ref<DZStyledFrame> rootFrame_, lineFirstFrame_, lastFrame_;
    Ref<DZStyledInlineFrame> inlineFrame_;
    Ref<DZStyledBoxFrame> topFrame_;
    Ref<UIFont> font_, boldFont_, italicFont_;
    Ref<DZStyle> linkStyle_;
    Ref<DZStyledNode> rootNode_;
    Ref<DZStyledNode> lastNode_;
    bool lastNodeFound_ = false;
    Ref<NSMutableArray> invalidImages_;
};
