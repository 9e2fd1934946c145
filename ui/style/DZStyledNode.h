// The document tree of styled text: text nodes and elements (blocks, inline spans, inline boxes,
// bold, italic, links, buttons, line breaks and images). An element owns its first child; each
// node owns its next sibling, so a list of children is a chain of siblings. Chains are walked
// and freed in loops, so a text with thousands of links cannot overflow the stack. Main thread.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"

class NSString;

class DZStyledNode : public NSObject {
    NS_OBJECT(DZStyledNode, NSObject)
    bool init() override { return initWithNextSibling(nullptr); }
    virtual bool initWithNextSibling(DZStyledNode* nextSibling);
    void dealloc() override;

    Ref<DZStyledNode> nextSibling() { return nextSibling_; }
    // The new sibling takes the receiver's parent.
    void setNextSibling(DZStyledNode* node);
    Ref<class DZStyledElement> parentNode() { return parentNode_.lock(); }
    void setParentNode(DZStyledElement* parent);

    // The node's own text; the base has none.
    virtual Ref<NSString> outerText();
    // The markup of the node and of every sibling after it.
    Ref<NSString> outerHTML();
    // The receiver when it is of the class, else the nearest ancestor of it; nil at the top.
    Ref<DZStyledNode> ancestorOrSelfWithClass(Class cls);
    virtual void performDefaultAction() {}
    // The last node of the sibling chain that starts at the node.
    static Ref<DZStyledNode> findLastSibling(DZStyledNode* node);

    // Internal: the node's own part of outerHTML (without the siblings after it).
    virtual Ref<NSString> ownHTML();

protected:
    // Releases a chain of siblings one node at a time.
    static void releaseChain(Ref<DZStyledNode> first);

private:
    Ref<DZStyledNode> nextSibling_;
    Weak<DZStyledElement> parentNode_;
};

class DZStyledTextNode : public DZStyledNode {
    NS_OBJECT(DZStyledTextNode, DZStyledNode)
    // A new node with the text.
    static Ref<DZStyledTextNode> nodeWithText(NSString* text);
    bool initWithText(NSString* text);
    bool initWithText(NSString* text, DZStyledNode* next);

    Ref<NSString> text() { return text_; }
    void setText(NSString* text) { text_ = text; }
    Ref<NSString> outerText() override;
    Ref<NSString> ownHTML() override;
    Ref<NSString> description() override;

private:
    Ref<NSString> text_;
};

class DZStyledElement : public DZStyledNode {
    NS_OBJECT(DZStyledElement, DZStyledNode)
    bool init() override { return initWithText(nullptr, nullptr); }
    bool initWithText(NSString* text) { return initWithText(text, nullptr); }
    // A non-nil text becomes the first child, a text node.
    virtual bool initWithText(NSString* text, DZStyledNode* next);
    void dealloc() override;

    Ref<DZStyledNode> firstChild() { return firstChild_; }
    Ref<DZStyledNode> lastChild() { return lastChild_.lock(); }
    Ref<NSString> className() { return className_; }
    void setClassName(NSString* name) { className_ = name; }

    // Appends the chain that starts at the child.
    void addChild(DZStyledNode* child);
    void addText(NSString* text);
    // A nil new child removes the old one.
    void replaceChild(DZStyledNode* oldChild, DZStyledNode* newChild);
    // Depth first: the first element below whose class is the name.
    Ref<DZStyledNode> getElementByClassName(NSString* className);
    // From the first node of a list of siblings, depth first.
    static Ref<DZStyledNode> elementByClassName(DZStyledNode* first, NSString* className);

    Ref<NSString> outerText() override;
    Ref<NSString> ownHTML() override;
    Ref<NSString> description() override;

private:
    Ref<DZStyledNode> firstChild_;
    Weak<DZStyledNode> lastChild_;
    Ref<NSString> className_;
};

// A block starts on a new line.
class DZStyledBlock : public DZStyledElement {
    NS_OBJECT(DZStyledBlock, DZStyledElement)
};

class DZStyledInline : public DZStyledElement {
    NS_OBJECT(DZStyledInline, DZStyledElement)
};

class DZStyledInlineBlock : public DZStyledElement {
    NS_OBJECT(DZStyledInlineBlock, DZStyledElement)
};

class DZStyledBoldNode : public DZStyledInline {
    NS_OBJECT(DZStyledBoldNode, DZStyledInline)
    Ref<NSString> description() override;
};

class DZStyledItalicNode : public DZStyledInline {
    NS_OBJECT(DZStyledItalicNode, DZStyledInline)
    Ref<NSString> description() override;
};

class DZStyledLinkNode : public DZStyledInline {
    NS_OBJECT(DZStyledLinkNode, DZStyledInline)
    bool initWithURL(NSString* URL) { return initWithText(nullptr, URL, nullptr); }
    bool initWithURL(NSString* URL, DZStyledNode* next) { return initWithText(nullptr, URL, next); }
    bool initWithText(NSString* text, NSString* URL, DZStyledNode* next);
    using DZStyledElement::initWithText;

    Ref<NSString> URL() { return URL_; }
    void setURL(NSString* URL) { URL_ = URL; }
    bool highlighted() { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    Ref<NSString> description() override;

private:
    Ref<NSString> URL_;
    bool highlighted_ = false;
};

class DZStyledButtonNode : public DZStyledInlineBlock {
    NS_OBJECT(DZStyledButtonNode, DZStyledInlineBlock)
    bool initWithURL(NSString* URL) { return initWithText(nullptr, URL, nullptr); }
    bool initWithURL(NSString* URL, DZStyledNode* next) { return initWithText(nullptr, URL, next); }
    bool initWithText(NSString* text, NSString* URL, DZStyledNode* next);
    using DZStyledElement::initWithText;

    Ref<NSString> URL() { return URL_; }
    void setURL(NSString* URL) { URL_ = URL; }
    bool highlighted() { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }
    Ref<NSString> description() override;

private:
    Ref<NSString> URL_;
    bool highlighted_ = false;
};

class DZStyledLineBreakNode : public DZStyledBlock {
    NS_OBJECT(DZStyledLineBreakNode, DZStyledBlock)
};

class DZStyledImageNode : public DZStyledElement {
    NS_OBJECT(DZStyledImageNode, DZStyledElement)
    bool initWithURL(NSString* URL);

    Ref<NSString> URL() { return URL_; }
    // A new URL takes the memory cache's image for it at once (nil when not cached).
    void setURL(NSString* URL);
    Ref<UIImage> image() { return image_; }
    void setImage(UIImage* image) { image_ = image; }
    Ref<UIImage> defaultImage() { return defaultImage_; }
    void setDefaultImage(UIImage* image) { defaultImage_ = image; }
    // 0: the image's own.
    CGFloat width() { return width_; }
    void setWidth(CGFloat width) { width_ = width; }
    CGFloat height() { return height_; }
    void setHeight(CGFloat height) { height_ = height; }

    Ref<NSString> ownHTML() override;
    Ref<NSString> description() override;

private:
    Ref<NSString> URL_;
    Ref<UIImage> image_, defaultImage_;
    CGFloat width_ = 0, height_ = 0;
};
