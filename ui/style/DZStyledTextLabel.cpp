#include "ui/style/DZStyledTextLabel.h"

#include <algorithm>
#include "UIKit/UIImage.h"
#include "ui/core/DZStyle.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIAccessibilityElement.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIPasteboard.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/style/DZDefaultStyleSheet.h"
#include "ui/style/DZStyledFrame.h"
#include "ui/style/DZStyledNode.h"

namespace {

Ref<DZDefaultStyleSheet> defaultSheet() {
    return as<DZDefaultStyleSheet>(DZStyleSheet::globalStyleSheet());
}

// The text of every top-level node, joined.
Ref<NSString> wholeText(DZStyledText* text) {
    auto joined = NSMutableString::string();
    for (auto node = text ? text->rootNode() : nullptr; node; node = node->nextSibling())
        joined->appendString(node->outerText());
    return joined;
}

}  // namespace

void DZStyledTextLabel::describeClass(RuntimeClass& c) {
    c.implements({"styledTextNeedsDisplay:"});
    c.method("copy:",
             static_cast<void (DZStyledTextLabel::*)(NSObject*)>(&DZStyledTextLabel::copy));
}

bool DZStyledTextLabel::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    if (auto sheet = defaultSheet()) {
        font_ = sheet->font();
        setBackgroundColor(sheet->backgroundColor());
    }
    setContentMode(UIViewContentModeRedraw);
    return true;
}

void DZStyledTextLabel::dealloc() {
    if (text_) text_->setDelegate(nullptr);
    text_ = nullptr;
    UIView::dealloc();
}

// ---- properties -------------------------------------------------------------------------------

void DZStyledTextLabel::setText(DZStyledText* text) {
    if (text == text_.get()) return;
    if (text_) text_->setDelegate(nullptr);
    accessibilityElements_ = nullptr;
    text_ = text;
    if (text_) {
        text_->setDelegate(this);
        text_->setFont(font_);
    }
    setNeedsLayout();
    setNeedsDisplay();
}

Ref<NSString> DZStyledTextLabel::html() {
    return text_ ? text_->description() : nullptr;
}

void DZStyledTextLabel::setHtml(NSString* html) {
    setText(DZStyledText::textFromXHTML(html));
}

void DZStyledTextLabel::setFont(UIFont* font) {
    if (font == font_.get()) return;
    font_ = font;
    if (text_) text_->setFont(font);
    setNeedsLayout();
}

Ref<UIColor> DZStyledTextLabel::textColor() {
    if (!textColor_) {
        if (auto sheet = defaultSheet()) textColor_ = sheet->textColor();
    }
    return textColor_;
}

void DZStyledTextLabel::setTextColor(UIColor* color) {
    textColor_ = color;
    setNeedsDisplay();
}

Ref<UIColor> DZStyledTextLabel::highlightedTextColor() {
    if (!highlightedTextColor_) {
        if (auto sheet = defaultSheet()) highlightedTextColor_ = sheet->highlightedTextColor();
    }
    return highlightedTextColor_;
}

// ---- highlighting -----------------------------------------------------------------------------

void DZStyledTextLabel::setHighlightedNode(DZStyledElement* node) {
    if (node == highlightedNode_.get()) return;
    if (!node)
        setHighlightedFrame(nullptr);
    else
        highlightedNode_ = node;
}

DZStyledTextLabelTable* DZStyledTextLabel::enclosingTable() {
    for (Ref<UIView> view = this; view; view = view->superview()) {
        if (auto table = dynamic_cast<DZStyledTextLabelTable*>(view.get())) return table;
    }
    return nullptr;
}

void DZStyledTextLabel::setHighlightedFrame(DZStyledBoxFrame* frame) {
    if (frame == highlightedFrame_.get()) return;
    Ref<DZStyledTextLabel> self(this);
    auto table = enclosingTable();
    Ref<DZStyledBoxFrame> changing = frame ? Ref<DZStyledBoxFrame>(frame) : highlightedFrame_;
    auto element = changing->element();
    if (!element) return;
    Ref<NSString> name = element->className();
    if (!name) {
        if (!is<DZStyledLinkNode>(element)) return;
        name = NS("linkText:");
    }
    // Only a style that takes a state can show the highlight.
    if (name->rangeOfString(NS(":")).location == NSNotFound) return;
    auto sheet = DZStyleSheet::globalStyleSheet();
    if (frame) {
        setStyleForFrame(sheet->styleWithSelector(name, UIControlStateHighlighted), frame);
        highlightedFrame_ = frame;
        highlightedNode_ = element;
    } else {
        setStyleForFrame(sheet->styleWithSelector(name, UIControlStateNormal), changing);
        highlightedFrame_ = nullptr;
        highlightedNode_ = nullptr;
    }
    if (table) table->setHighlightedLabel(frame ? this : nullptr);
    setNeedsDisplay();
}

void DZStyledTextLabel::setStyleForFrame(DZStyle* style, DZStyledBoxFrame* frame) {
    if (auto piece = as<DZStyledInlineFrame>(frame)) {
        while (auto previous = piece->inlinePreviousFrame())
            piece = previous;
        for (; piece; piece = piece->inlineNextFrame())
            piece->setStyle(style);
        return;
    }
    frame->setStyle(style);
}

void DZStyledTextLabel::styledTextNeedsDisplay(DZStyledText*) {
    setNeedsDisplay();
}

void DZStyledTextLabel::copy(NSObject*) {
    // Every top-level node, not only the first.
    UIPasteboard::generalPasteboard()->setValueForPasteboardType(wholeText(text_),
                                                                 UIPasteboardTypeUTF8PlainText);
}

// ---- drawing and layout -----------------------------------------------------------------------

void DZStyledTextLabel::drawRect(CGRect rect) {
    if (!text_) return;
    Ref<UIColor> color = highlighted_ ? highlightedTextColor() : textColor();
    if (color) color->setFill();
    text_->drawAtPoint(
        CGPointMake(rect.origin.x + contentInset_.left, rect.origin.y + contentInset_.top),
        highlighted_);
}

void DZStyledTextLabel::layoutSubviews() {
    UIView::layoutSubviews();
    CGFloat width = bounds().size.width - (contentInset_.left + contentInset_.right);
    if (text_ && width != text_->width()) {
        setHighlightedNode(nullptr);
        // The lines move with the width.
        accessibilityElements_ = nullptr;
    }
    if (text_) text_->setWidth(width);
}

CGSize DZStyledTextLabel::sizeThatFits(CGSize) {
    layoutIfNeeded();
    CGFloat width = text_ ? text_->width() : 0;
    CGFloat height = text_ ? text_->height() : 0;
    return CGSizeMake(width + contentInset_.left + contentInset_.right,
                      height + contentInset_.top + contentInset_.bottom);
}

// ---- touches ----------------------------------------------------------------------------------

void DZStyledTextLabel::touchesBegan(NSSet* touches, UIEvent* event) {
    auto touch = as<UITouch>(touches->anyObject());
    if (touch && text_) {
        CGPoint point = touch->locationInView(this);
        point.x -= contentInset_.left;
        point.y -= contentInset_.top;
        if (auto hit = as<DZStyledBoxFrame>(text_->hitTest(point))) setHighlightedFrame(hit);
    }
    UIView::touchesBegan(touches, event);
}

void DZStyledTextLabel::touchesMoved(NSSet* touches, UIEvent* event) {
    UIView::touchesMoved(touches, event);
}

void DZStyledTextLabel::touchesEnded(NSSet* touches, UIEvent* event) {
    Ref<DZStyledTextLabel> self(this);
    if (!enclosingTable() && highlightedNode_) {
        Ref<DZStyledElement> node = highlightedNode_;
        if (auto link = as<DZStyledLinkNode>(node))
            DZNavigateToURLPath(link->URL());
        else if (auto button = as<DZStyledButtonNode>(node))
            DZNavigateToURLPath(button->URL());
        else
            node->performDefaultAction();
        setHighlightedNode(nullptr);
    }
    UIView::touchesEnded(touches, event);
}

void DZStyledTextLabel::touchesCancelled(NSSet* touches, UIEvent* event) {
    UIView::touchesCancelled(touches, event);
}

// ---- accessibility ----------------------------------------------------------------------------

void DZStyledTextLabel::addAccessibilityElements(DZStyledNode* first, NSMutableArray* elements) {
    // The text is drawn inside the content inset; so are its elements.
    CGFloat screenX = screenViewX(this) + contentInset_.left;
    CGFloat screenY = screenViewY(this) + contentInset_.top;
    auto add = [&](CGRect frame, NSString* label, UIAccessibilityTraits traits) {
        auto element = make<UIAccessibilityElement>(
            &UIAccessibilityElement::initWithAccessibilityContainer, this);
        element->setAccessibilityFrame(CGRectOffset(frame, screenX, screenY));
        element->setAccessibilityLabel(label);
        element->setAccessibilityTraits(traits);
        elements->addObject(element);
    };
    for (Ref<DZStyledNode> node = first; node; node = node->nextSibling()) {
        if (auto link = as<DZStyledLinkNode>(node)) {
            Ref<DZStyledFrame> frame = text_->getFrameForNode(link);
            // A link that starts at the end of a line begins with an empty piece there: the
            // element is its first piece that shows something.
            for (auto piece = as<DZStyledInlineFrame>(frame); piece && piece->width() <= 0;) {
                piece = piece->inlineNextFrame();
                if (piece) frame = piece;
            }
            if (frame) add(frame->bounds(), link->outerText(), UIAccessibilityTraitLink);
        } else if (auto textNode = as<DZStyledTextNode>(node)) {
            auto frame = as<DZStyledTextFrame>(text_->getFrameForNode(textNode));
            if (!frame) continue;
            // One element a line: a frame that starts left of the run begins the next line.
            CGFloat top = frame->y(), left = frame->x();
            CGFloat bottom = CGRectGetMaxY(frame->bounds()), right = CGRectGetMaxX(frame->bounds());
            auto label = NSMutableString::stringWithString(frame->text());
            auto flush = [&] {
                add(CGRectMake(left, top, right - left, bottom - top), label,
                    UIAccessibilityTraitStaticText);
            };
            for (auto next = as<DZStyledTextFrame>(frame->nextFrame());
                 next && next->node().get() == textNode.get();
                 next = as<DZStyledTextFrame>(next->nextFrame())) {
                if (next->x() < left) {
                    flush();
                    top = next->y();
                    left = next->x();
                    bottom = CGRectGetMaxY(next->bounds());
                    right = CGRectGetMaxX(next->bounds());
                    label = NSMutableString::stringWithString(next->text());
                    continue;
                }
                bottom = std::max(bottom, CGRectGetMaxY(next->bounds()));
                right = std::max(right, CGRectGetMaxX(next->bounds()));
                label->appendString(next->text());
            }
            flush();
        } else if (auto element = as<DZStyledElement>(node)) {
            addAccessibilityElements(element->firstChild(), elements);
        }
    }
}

Ref<NSMutableArray> DZStyledTextLabel::accessibilityElements() {
    if (!accessibilityElements_) {
        accessibilityElements_ = NSMutableArray::array();
        if (text_) {
            text_->layoutIfNeeded();
            // Every top-level node, not only the first.
            addAccessibilityElements(text_->rootNode(), accessibilityElements_);
        }
    }
    return accessibilityElements_;
}

NSInteger DZStyledTextLabel::accessibilityElementCount() {
    return static_cast<NSInteger>(accessibilityElements()->count());
}

Ref<NSObject> DZStyledTextLabel::accessibilityElementAtIndex(NSInteger index) {
    auto elements = accessibilityElements();
    if (index < 0 || static_cast<NSUInteger>(index) >= elements->count()) return nullptr;
    return elements->objectAtIndex(static_cast<NSUInteger>(index));
}

NSInteger DZStyledTextLabel::indexOfAccessibilityElement(NSObject* element) {
    NSUInteger index = accessibilityElements()->indexOfObjectIdenticalTo(element);
    return index == NSNotFound ? NSNotFound : static_cast<NSInteger>(index);
}
