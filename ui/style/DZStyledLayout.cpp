#include "ui/style/DZStyledLayout.h"

#include <algorithm>
#include <limits>

#include "Foundation/NSArray.h"
#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSString.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIStringDrawing.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZFrameStyles.h"
#include "ui/style/DZStyledFrame.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZTextStyle.h"

namespace {

constexpr CGFloat kLargest = std::numeric_limits<CGFloat>::max();

// Box positions.
enum : NSInteger { kStatic = 0, kAbsolute = 1, kFloatLeft = 2, kFloatRight = 3 };

Ref<DZBoxStyle> boxOf(DZStyle* style) {
    return style ? style->firstStyleOfClass<DZBoxStyle>() : nullptr;
}

}  // namespace

bool DZStyledLayout::initWithRootNode(DZStyledNode* rootNode) {
    rootNode_ = rootNode;
    return true;
}

bool DZStyledLayout::initWithX(CGFloat x, CGFloat width, CGFloat height) {
    x_ = minX_ = x;
    width_ = width;
    height_ = height;
    return true;
}

// ---- fonts and styles -------------------------------------------------------------------------

Ref<UIFont> DZStyledLayout::font() {
    if (!font_) {
        if (auto sheet = as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet()))
            font_ = sheet->font();
        if (!font_) font_ = UIFont::systemFontOfSize(UIFont::systemFontSize());
    }
    return font_;
}

void DZStyledLayout::setFont(UIFont* font) {
    if (font == font_.get()) return;
    font_ = font;
    boldFont_ = nullptr;
    italicFont_ = nullptr;
}

Ref<UIFont> DZStyledLayout::boldFont() {
    if (!boldFont_) boldFont_ = boldVersionOfFont(font());
    return boldFont_;
}

Ref<UIFont> DZStyledLayout::italicFont() {
    if (!italicFont_) italicFont_ = italicVersionOfFont(font());
    return italicFont_;
}

Ref<UIFont> DZStyledLayout::boldVersionOfFont(UIFont* font) {
    return UIFont::boldSystemFontOfSize(font->pointSize());
}

Ref<UIFont> DZStyledLayout::italicVersionOfFont(UIFont* font) {
    return UIFont::italicSystemFontOfSize(font->pointSize());
}

Ref<DZStyle> DZStyledLayout::linkStyle() {
    if (!linkStyle_)
        linkStyle_ = DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("linkText:"));
    return linkStyle_;
}

Ref<DZStyle> DZStyledLayout::styleNamed(NSString* className) {
    if (!className) return nullptr;
    return DZStyleSheet::globalStyleSheet()->styleWithSelector(className);
}

Ref<DZStyledNode> DZStyledLayout::lastNode() {
    if (!lastNodeFound_) {
        lastNodeFound_ = true;
        Ref<DZStyledNode> node = DZStyledNode::findLastSibling(rootNode_);
        while (auto element = as<DZStyledElement>(node))
            node = DZStyledNode::findLastSibling(element->firstChild());
        lastNode_ = node;
    }
    return lastNode_;
}

void DZStyledLayout::addPendingImage(DZStyledImageNode* node) {
    if (!invalidImages_) invalidImages_ = DZNewWeakMutableArray();
    invalidImages_->addObject(node);
}

// ---- frame building ---------------------------------------------------------------------------

void DZStyledLayout::addFrame(DZStyledFrame* frame) {
    if (!rootFrame_) {
        rootFrame_ = frame;
    } else if (topFrame_) {
        if (!topFrame_->firstChildFrame())
            topFrame_->setFirstChildFrame(frame);
        else if (lastFrame_)
            lastFrame_->setNextFrame(frame);
    } else if (lastFrame_) {
        lastFrame_->setNextFrame(frame);
    } else {
        // Only unbalanced markup gets here: the frame goes at the end of the top level.
        Ref<DZStyledFrame> last = rootFrame_;
        while (last->nextFrame())
            last = last->nextFrame();
        last->setNextFrame(frame);
    }
    lastFrame_ = frame;
}

void DZStyledLayout::pushFrame(DZStyledBoxFrame* frame) {
    addFrame(frame);
    frame->setParentFrame(topFrame_);
    topFrame_ = frame;
}

void DZStyledLayout::popFrame() {
    if (!topFrame_) return;
    lastFrame_ = topFrame_;
    topFrame_ = topFrame_->parentFrame();
}

void DZStyledLayout::addContentFrame(DZStyledFrame* frame, CGFloat width) {
    addFrame(frame);
    if (!lineFirstFrame_) lineFirstFrame_ = frame;
    x_ += width;
}

void DZStyledLayout::addContentFrame(DZStyledFrame* frame, CGFloat width, CGFloat height) {
    frame->setBounds(CGRectMake(x_, height_, width, height));
    addContentFrame(frame, width);
}

void DZStyledLayout::addAbsoluteFrame(DZStyledFrame* frame, CGFloat width, CGFloat height) {
    frame->setBounds(CGRectMake(x_, height_, width, height));
    addFrame(frame);
}

Ref<DZStyledInlineFrame> DZStyledLayout::addInlineFrame(DZStyle* style, DZStyledElement* element,
                                                        CGFloat width, CGFloat height) {
    auto frame = make<DZStyledInlineFrame>(&DZStyledFrame::initWithElement, element);
    frame->setStyle(style);
    frame->setBounds(CGRectMake(x_, height_, width, height));
    pushFrame(frame);
    if (!lineFirstFrame_) lineFirstFrame_ = frame;
    return frame;
}

Ref<DZStyledInlineFrame> DZStyledLayout::cloneInlineFrame(DZStyledInlineFrame* frame) {
    if (auto parent = frame->inlineParentFrame()) cloneInlineFrame(parent);
    auto clone = addInlineFrame(frame->style(), frame->element(), 0, 0);
    frame->setInlineNextFrame(clone);
    clone->setInlinePreviousFrame(frame);
    return clone;
}

Ref<DZStyledBoxFrame> DZStyledLayout::addBlockFrame(DZStyle* style, DZStyledElement* element,
                                                    CGFloat width, CGFloat height) {
    auto frame = make<DZStyledBoxFrame>(&DZStyledFrame::initWithElement, element);
    frame->setStyle(style);
    frame->setBounds(CGRectMake(x_, height_, width, height));
    pushFrame(frame);
    return frame;
}

Ref<DZStyledFrame> DZStyledLayout::addFrameForText(NSString* text, DZStyledElement* element,
                                                   DZStyledTextNode* node, CGFloat width,
                                                   CGFloat height) {
    auto frame = make<DZStyledTextFrame>(&DZStyledTextFrame::initWithText, text, element, node);
    frame->setFont(font());
    addContentFrame(frame, width, height);
    return frame;
}

void DZStyledLayout::offsetFrame(DZStyledFrame* frame, CGFloat dy) {
    frame->setY(frame->y() + dy);
    if (auto box = as<DZStyledInlineFrame>(frame)) {
        for (auto child = box->firstChildFrame(); child; child = child->nextFrame())
            offsetFrame(child, dy);
    }
}

void DZStyledLayout::expandLineWidth(CGFloat width) {
    lineWidth_ += width;
    for (Ref<DZStyledInlineFrame> f = inlineFrame_; f; f = f->inlineParentFrame())
        f->setWidth(f->width() + width);
}

void DZStyledLayout::inflateLineHeight(CGFloat height) {
    lineHeight_ = std::max(lineHeight_, height);
    for (Ref<DZStyledInlineFrame> f = inlineFrame_; f; f = f->inlineParentFrame()) {
        if (f->height() < height) f->setHeight(height);
    }
}

void DZStyledLayout::breakLine() {
    for (Ref<DZStyledInlineFrame> f = inlineFrame_; f; f = f->inlineParentFrame()) {
        auto box = boxOf(f->style());
        if (!box) continue;
        UIEdgeInsets padding = box->padding();
        for (Ref<DZStyledInlineFrame> g = f; g; g = g->inlineParentFrame()) {
            g->setY(g->y() - padding.top);
            g->setHeight(g->height() + padding.top + padding.bottom);
        }
    }
    // The frames of a line share a baseline; a line of one frame stays as it is.
    if (lineFirstFrame_ && lineFirstFrame_->nextFrame()) {
        for (Ref<DZStyledFrame> f = lineFirstFrame_; f; f = f->nextFrame()) {
            if (f->height() >= lineHeight_) continue;
            Ref<UIFont> frameFont = f->font();
            if (!frameFont) frameFont = font();
            offsetFrame(f, lineHeight_ - (f->height() - frameFont->descender()));
        }
    }
    height_ += lineHeight_;
    checkFloats();
    lineWidth_ = 0;
    lineHeight_ = 0;
    x_ = minX_;
    lineFirstFrame_ = nullptr;
    if (Ref<DZStyledInlineFrame> open = inlineFrame_) {
        while (is<DZStyledInlineFrame>(topFrame_.get()))
            popFrame();
        inlineFrame_ = cloneInlineFrame(open);
    }
}

void DZStyledLayout::checkFloats() {
    if (floatHeight_ != 0 && height_ > floatHeight_) {
        minX_ -= floatLeftWidth_;
        width_ += floatLeftWidth_ + floatRightWidth_;
        floatLeftWidth_ = floatRightWidth_ = floatHeight_ = 0;
    }
}

// ---- layout -----------------------------------------------------------------------------------

void DZStyledLayout::layout(DZStyledNode* node) {
    layout(node, nullptr);
    if (lineWidth_ > 0) breakLine();
}

void DZStyledLayout::layout(DZStyledNode* node, DZStyledElement* container) {
    for (Ref<DZStyledNode> n = node; n; n = n->nextSibling()) {
        if (auto image = as<DZStyledImageNode>(n))
            layoutImage(image, container);
        else if (auto element = as<DZStyledElement>(n))
            layoutElement(element);
        else if (auto text = as<DZStyledTextNode>(n))
            layoutText(text, container);
    }
}

void DZStyledLayout::layoutText(DZStyledTextNode* node, DZStyledElement* container) {
    Ref<NSString> text = node->text();
    if (!text) return;
    Ref<UIFont> font = this->font();
    CGFloat fontLineHeight = font->lineHeight();
    // A width of 0 (a floated or positioned box measures its content) sets no limit.
    bool limited = width_ > 0;
    CGFloat wrapWidth = limited ? width_ : kLargest;

    if (!node->nextSibling() && node == rootNode_.get()) {
        CGSize size = sizeWithFont(text, font, CGSizeMake(wrapWidth, kLargest));
        addFrameForText(text, container, node, size.width, size.height);
        height_ += size.height;
        return;
    }

    NSUInteger length = text->length();
    auto spaces = NSCharacterSet::whitespaceAndNewlineCharacterSet();
    auto measure = [&](NSUInteger from, NSUInteger to) {
        return sizeWithFont(text->substringWithRange(NSMakeRange(from, to - from)), font);
    };
    NSUInteger i = 0, lineStart = 0, frameStart = 0;
    // The line so far, up to `end`, as one frame.
    auto emit = [&](NSUInteger end) {
        addFrameForText(text->substringWithRange(NSMakeRange(lineStart, end - lineStart)),
                        container, node, measure(frameStart, end).width,
                        lineHeight_ ? lineHeight_ : fontLineHeight);
    };
    while (i < length) {
        NSRange next = text->rangeOfCharacterFromSet(spaces, 0, NSMakeRange(i, length - i));
        NSUInteger wordEnd = next.location == NSNotFound ? length : next.location + 1;
        CGSize wordSize = measure(i, wordEnd);

        if (limited && wordSize.width > width_) {
            // Wider than a line: character by character.
            NSUInteger k = i;
            while (k < wordEnd) {
                NSUInteger charEnd = k + 1;
                // A surrogate pair is one character.
                if (charEnd < wordEnd && (text->characterAtIndex(k) & 0xFC00) == 0xD800 &&
                    (text->characterAtIndex(charEnd) & 0xFC00) == 0xDC00)
                    ++charEnd;
                CGFloat charWidth = measure(k, charEnd).width;
                if (lineWidth_ + charWidth > width_) {
                    if (k != lineStart) emit(k);
                    if (lineWidth_ != 0) breakLine();
                    lineStart = frameStart = k;
                }
                expandLineWidth(charWidth);
                inflateLineHeight(wordSize.height);
                k = charEnd;
            }
            if (wordEnd != lineStart) emit(wordEnd);
            i = lineStart = frameStart = wordEnd;
            continue;
        }
        if (limited && lineWidth_ + wordSize.width > width_) {
            if (i != lineStart) emit(i);
            frameStart = i;
            if (lineWidth_ != 0) breakLine();
            lineStart = i;
        }
        if (lineWidth_ == 0 && node == lastNode().get()) {
            // The rest of the last text measured in one piece.
            auto rest = text->substringFromIndex(i);
            CGSize size = sizeWithFont(rest, font, CGSizeMake(wrapWidth, kLargest));
            auto frame = addFrameForText(rest, container, node, size.width, size.height);
            // The open inline pieces cover it, so a link that ends the text can be touched.
            for (Ref<DZStyledInlineFrame> f = inlineFrame_; f; f = f->inlineParentFrame()) {
                f->setWidth(std::max(f->width(), CGRectGetMaxX(frame->bounds()) - f->x()));
                f->setHeight(std::max(f->height(), CGRectGetMaxY(frame->bounds()) - f->y()));
            }
            height_ += size.height;
            return;
        }
        expandLineWidth(wordSize.width);
        inflateLineHeight(wordSize.height);
        NSUInteger wordStart = i;
        i = wordEnd;
        if (i >= length) {
            NSUInteger from = lineWidth_ == 0 ? wordStart : lineStart;
            addFrameForText(text->substringWithRange(NSMakeRange(from, length - from)), container,
                            node, measure(frameStart, length).width, fontLineHeight);
        }
    }
}

void DZStyledLayout::layoutImage(DZStyledImageNode* node, DZStyledElement* container) {
    auto image = node->image();
    if (!image && node->URL()) addPendingImage(node);
    auto style = styleNamed(node->className());
    auto box = boxOf(style);
    NSInteger position = box ? box->position() : kStatic;
    UIEdgeInsets margin = box ? box->margin() : UIEdgeInsetsZero;

    CGFloat imageWidth = node->width() ? node->width() : (image ? image->size().width : 0);
    CGFloat imageHeight = node->height() ? node->height() : (image ? image->size().height : 0);
    CGFloat contentWidth = imageWidth, contentHeight = imageHeight;
    if (box && position != kAbsolute) {
        x_ += margin.left;
        contentWidth += margin.left + margin.right;
        contentHeight += margin.top + margin.bottom;
    }
    if (position == kStatic && lineWidth_ + contentWidth > width_) {
        if (lineWidth_ != 0)
            breakLine();
        else
            width_ = contentWidth;  // the image gets the line to itself
    }

    auto frame = alloc<DZStyledImageFrame>();
    frame->initWithElement(container, node);
    frame->setStyle(style);
    switch (position) {
        case kStatic:
            addContentFrame(frame, imageWidth, imageHeight);
            expandLineWidth(contentWidth);
            inflateLineHeight(contentHeight);
            break;
        case kAbsolute:
            addAbsoluteFrame(frame, imageWidth, imageHeight);
            frame->setX(frame->x() + margin.left);
            frame->setY(frame->y() + margin.top);
            break;
        case kFloatLeft:
            addContentFrame(frame, imageWidth, imageHeight);
            frame->setX(frame->x() + floatLeftWidth_);
            floatLeftWidth_ += contentWidth;
            floatHeight_ = std::max(floatHeight_, height_ + contentHeight);
            minX_ += contentWidth;
            width_ -= contentWidth;
            break;
        case kFloatRight:
            addContentFrame(frame, imageWidth, imageHeight);
            frame->setX(frame->x() + width_ - (floatRightWidth_ + contentWidth));
            floatRightWidth_ += contentWidth;
            floatHeight_ = std::max(floatHeight_, height_ + contentHeight);
            x_ -= contentWidth;
            width_ -= contentWidth;
            break;
        default:
            return;
    }
    if (box && position != kAbsolute) {
        frame->setY(frame->y() + margin.top);
        x_ += margin.right;
    }
}

void DZStyledLayout::layoutElement(DZStyledElement* element) {
    bool isLink = is<DZStyledLinkNode>(element);
    auto style = styleNamed(element->className());
    if (!style && isLink) style = linkStyle();

    Ref<UIFont> elementFont;
    if (auto textStyle = style ? style->firstStyleOfClass<DZTextStyle>() : nullptr)
        elementFont = textStyle->font();
    if (!elementFont) {
        if (isLink || is<DZStyledBoldNode>(element))
            elementFont = boldFont();
        else if (is<DZStyledItalicNode>(element))
            elementFont = italicFont();
        else
            elementFont = font();
    }
    Ref<UIFont> savedFont = font();
    setFont(elementFont);

    auto box = boxOf(style);
    UIEdgeInsets margin = box ? box->margin() : UIEdgeInsetsZero;
    UIEdgeInsets padding = box ? box->padding() : UIEdgeInsetsZero;
    NSInteger position = box ? box->position() : kStatic;

    if (box && position != kStatic) {
        auto blockFrame = addBlockFrame(style, element, width_, height_);
        CGFloat contentWidth = margin.left + margin.right;
        CGFloat contentHeight = margin.top + margin.bottom;
        if (auto first = element->firstChild()) {
            auto nested =
                make<DZStyledLayout>(&DZStyledLayout::initWithX, minX_, CGFloat(0), height_);
            nested->setFont(font());
            if (!invalidImages_) invalidImages_ = DZNewWeakMutableArray();
            nested->setInvalidImages(invalidImages_);
            nested->layout(first, element);
            if (nested->lineWidth_ > 0) nested->breakLine();
            if (auto nestedRoot = nested->rootFrame()) addContentFrame(nestedRoot, nested->width());
            CGFloat frameHeight = nested->height() - height_;
            contentWidth += nested->width();
            contentHeight += frameHeight;
            if (position == kFloatLeft) {
                blockFrame->setX(blockFrame->x() + floatLeftWidth_);
                floatLeftWidth_ += contentWidth;
                floatHeight_ = std::max(floatHeight_, height_ + contentHeight);
                minX_ += contentWidth;
                width_ -= contentWidth;
            } else if (position == kFloatRight) {
                blockFrame->setX(blockFrame->x() + width_ - (floatRightWidth_ + contentWidth));
                floatRightWidth_ += contentWidth;
                floatHeight_ = std::max(floatHeight_, height_ + contentHeight);
                x_ -= contentWidth;
                width_ -= contentWidth;
            }
            blockFrame->setWidth(nested->width() + padding.left + padding.right);
            blockFrame->setHeight(frameHeight + padding.top + padding.bottom);
        } else {
            // Nothing inside: the box is its padding, not the whole width and the y it started
            // at.
            blockFrame->setWidth(padding.left + padding.right);
            blockFrame->setHeight(padding.top + padding.bottom);
        }
        setFont(savedFont);
        popFrame();
        return;
    }

    CGFloat savedMinX = minX_, savedWidth = width_;
    CGFloat savedFloatLeft = floatLeftWidth_, savedFloatRight = floatRightWidth_,
            savedFloatHeight = floatHeight_;
    bool isBlock = is<DZStyledBlock>(element);
    bool pushed = false;
    Ref<DZStyledBoxFrame> blockFrame;
    if (isBlock) {
        if (box) {
            x_ += margin.left;
            minX_ += margin.left;
            width_ -= margin.left + margin.right;
            height_ += margin.top;
        }
        if (rootFrame_) {
            if (is<DZStyledLineBreakNode>(element) && lineWidth_ == 0)
                lineHeight_ = font()->lineHeight();  // an empty line keeps its height
            breakLine();
        }
        if (style) {
            blockFrame = addBlockFrame(style, element, width_, height_);
            pushed = true;
        }
    } else {
        if (box) {
            x_ += margin.left;
            height_ += margin.top;
        }
        if (style) {
            inlineFrame_ = addInlineFrame(style, element, 0, 0);
            pushed = true;
        }
    }
    if (box) {
        if (isBlock) minX_ += padding.left;
        width_ -= padding.left + padding.right;
        x_ += padding.left;
        expandLineWidth(padding.left);
        if (isBlock) height_ += padding.top;
    }

    layout(element->firstChild(), element);

    if (isBlock) {
        minX_ = savedMinX;
        width_ = savedWidth;
        floatLeftWidth_ = savedFloatLeft;
        floatRightWidth_ = savedFloatRight;
        floatHeight_ = savedFloatHeight;
        breakLine();
        if (box) height_ += padding.bottom;
        if (blockFrame) {
            CGFloat frameHeight = height_ - blockFrame->y();
            if (box && frameHeight < box->minSize().height) {
                height_ += box->minSize().height - frameHeight;
                frameHeight = box->minSize().height;
            }
            blockFrame->setHeight(frameHeight);
        }
        if (box) height_ += margin.bottom;
    } else if (style) {
        if (box) {
            x_ += padding.right + margin.right;
            lineWidth_ += padding.right + margin.right;
            bool innermost = true;
            for (Ref<DZStyledInlineFrame> f = inlineFrame_; f; f = f->inlineParentFrame()) {
                f->setWidth(f->width() + padding.right + (innermost ? 0 : margin.right));
                f->setY(f->y() - padding.top);
                f->setHeight(f->height() + padding.top + padding.bottom);
                innermost = false;
            }
        }
        if (inlineFrame_) inlineFrame_ = inlineFrame_->inlineParentFrame();
    }
    setFont(savedFont);
    if (pushed) popFrame();
}
