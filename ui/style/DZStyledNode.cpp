#include "ui/style/DZStyledNode.h"

#include "Foundation/NSString.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZURLCache.h"

// ---- node -------------------------------------------------------------------------------------

bool DZStyledNode::initWithNextSibling(DZStyledNode* nextSibling) {
    nextSibling_ = nextSibling;
    return true;
}

void DZStyledNode::releaseChain(Ref<DZStyledNode> first) {
    // Each node is let go with its own link already taken, so freeing one never frees the next
    // from inside it.
    while (first && first->retainCount() == 1) {
        Ref<DZStyledNode> next = std::move(first->nextSibling_);
        first = std::move(next);
    }
}

void DZStyledNode::dealloc() {
    releaseChain(std::move(nextSibling_));
    NSObject::dealloc();
}

void DZStyledNode::setNextSibling(DZStyledNode* node) {
    if (node == nextSibling_.get()) return;
    Ref<DZStyledNode> old = std::move(nextSibling_);
    nextSibling_ = node;
    if (node) node->setParentNode(parentNode().get());
    releaseChain(std::move(old));
}

void DZStyledNode::setParentNode(DZStyledElement* parent) {
    parentNode_ = parent;
}

Ref<NSString> DZStyledNode::outerText() {
    return NSString::string();
}

Ref<NSString> DZStyledNode::ownHTML() {
    return NSString::string();
}

Ref<NSString> DZStyledNode::outerHTML() {
    auto html = NSMutableString::string();
    for (Ref<DZStyledNode> node = this; node; node = node->nextSibling_)
        html->appendString(node->ownHTML());
    return html;
}

Ref<DZStyledNode> DZStyledNode::ancestorOrSelfWithClass(Class cls) {
    for (Ref<DZStyledNode> node = this; node; node = node->parentNode()) {
        if (node->isKindOfClass(cls)) return node;
    }
    return nullptr;
}

Ref<DZStyledNode> DZStyledNode::findLastSibling(DZStyledNode* node) {
    Ref<DZStyledNode> last = node;
    while (last && last->nextSibling_)
        last = last->nextSibling_;
    return last;
}

// ---- text -------------------------------------------------------------------------------------

Ref<DZStyledTextNode> DZStyledTextNode::nodeWithText(NSString* text) {
    auto node = alloc<DZStyledTextNode>();
    node->initWithText(text, nullptr);
    return node;
}

bool DZStyledTextNode::initWithText(NSString* text) {
    return initWithText(text, nullptr);
}

bool DZStyledTextNode::initWithText(NSString* text, DZStyledNode* next) {
    if (!initWithNextSibling(next)) return false;
    text_ = text;
    return true;
}

Ref<NSString> DZStyledTextNode::outerText() {
    return text_ ? text_ : NSString::string();
}

Ref<NSString> DZStyledTextNode::ownHTML() {
    return outerText();
}

Ref<NSString> DZStyledTextNode::description() {
    return outerText();
}

// ---- element ----------------------------------------------------------------------------------

bool DZStyledElement::initWithText(NSString* text, DZStyledNode* next) {
    if (!initWithNextSibling(next)) return false;
    if (text) addChild(DZStyledTextNode::nodeWithText(text));
    return true;
}

void DZStyledElement::dealloc() {
    releaseChain(std::move(firstChild_));
    DZStyledNode::dealloc();
}

void DZStyledElement::addChild(DZStyledNode* child) {
    if (!child) return;
    if (!firstChild_) {
        firstChild_ = child;
    } else if (auto last = lastChild()) {
        last->setNextSibling(child);
    } else {
        findLastSibling(firstChild_)->setNextSibling(child);
    }
    child->setParentNode(this);
    lastChild_ = findLastSibling(child).get();
}

void DZStyledElement::addText(NSString* text) {
    addChild(DZStyledTextNode::nodeWithText(text));
}

void DZStyledElement::replaceChild(DZStyledNode* oldChild, DZStyledNode* newChild) {
    if (!oldChild) return;
    Ref<DZStyledNode> old = oldChild;  // kept alive while it is unlinked
    if (oldChild == firstChild_.get()) {
        Ref<DZStyledNode> next = oldChild->nextSibling();
        oldChild->setNextSibling(nullptr);
        if (newChild) {
            newChild->setNextSibling(next);
            newChild->setParentNode(this);
            if (lastChild().get() == oldChild) lastChild_ = newChild;
            firstChild_ = newChild;
        } else {
            // Without a replacement the next sibling moves up; the rest of the list stays.
            if (lastChild().get() == oldChild) lastChild_ = nullptr;
            firstChild_ = next;
        }
        return;
    }
    Ref<DZStyledNode> previous = firstChild_;
    while (previous && previous->nextSibling().get() != oldChild)
        previous = previous->nextSibling();
    if (!previous) return;
    Ref<DZStyledNode> next = oldChild->nextSibling();
    if (newChild) {
        newChild->setNextSibling(next);
        previous->setNextSibling(newChild);
    } else {
        previous->setNextSibling(next);
    }
    oldChild->setNextSibling(nullptr);
    if (newChild) newChild->setParentNode(this);
    if (lastChild().get() == oldChild) lastChild_ = newChild ? newChild : previous.get();
}

Ref<DZStyledNode> DZStyledElement::elementByClassName(DZStyledNode* first, NSString* className) {
    for (Ref<DZStyledNode> node = first; node; node = node->nextSibling()) {
        auto element = as<DZStyledElement>(node);
        if (!element) continue;
        if (objectsEqual(element->className(), className)) return element;
        if (auto found = elementByClassName(element->firstChild_, className)) return found;
    }
    return nullptr;
}

Ref<DZStyledNode> DZStyledElement::getElementByClassName(NSString* className) {
    return elementByClassName(firstChild_, className);
}

Ref<NSString> DZStyledElement::outerText() {
    if (!firstChild_) return DZStyledNode::outerText();
    auto text = NSMutableString::string();
    for (Ref<DZStyledNode> node = firstChild_; node; node = node->nextSibling())
        text->appendString(node->outerText());
    return text;
}

Ref<NSString> DZStyledElement::ownHTML() {
    if (!firstChild_) return NS("<div/>");
    return NSString::stringWithFormat(NS("<div>%@</div>"), firstChild_->outerHTML().get());
}

Ref<NSString> DZStyledElement::description() {
    return NSString::stringWithFormat(NS("%@"), firstChild_.get());
}

// ---- kinds ------------------------------------------------------------------------------------

Ref<NSString> DZStyledBoldNode::description() {
    return NSString::stringWithFormat(NS("*%@*"), firstChild().get());
}

Ref<NSString> DZStyledItalicNode::description() {
    return NSString::stringWithFormat(NS("/%@/"), firstChild().get());
}

bool DZStyledLinkNode::initWithText(NSString* text, NSString* URL, DZStyledNode* next) {
    if (!DZStyledElement::initWithText(text, next)) return false;
    URL_ = URL;
    return true;
}

Ref<NSString> DZStyledLinkNode::description() {
    return NSString::stringWithFormat(NS("<%@>"), firstChild().get());
}

bool DZStyledButtonNode::initWithText(NSString* text, NSString* URL, DZStyledNode* next) {
    if (!DZStyledElement::initWithText(text, next)) return false;
    URL_ = URL;
    return true;
}

Ref<NSString> DZStyledButtonNode::description() {
    return NSString::stringWithFormat(NS("<%@>"), firstChild().get());
}

bool DZStyledImageNode::initWithURL(NSString* URL) {
    if (!DZStyledElement::initWithText(nullptr, nullptr)) return false;
    setURL(URL);
    return true;
}

void DZStyledImageNode::setURL(NSString* URL) {
    if (objectsEqual(URL, URL_)) return;
    URL_ = URL;
    image_ = URL ? DZURLCache::sharedCache()->imageForURL(URL) : nullptr;
}

Ref<NSString> DZStyledImageNode::ownHTML() {
    return NSString::stringWithFormat(NS("<img src=\"%@\"/>"), URL_.get());
}

Ref<NSString> DZStyledImageNode::description() {
    return NSString::stringWithFormat(NS("(%@)"), URL_.get());
}
