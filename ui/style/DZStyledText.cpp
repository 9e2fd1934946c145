#include "ui/style/DZStyledText.h"

#include <cmath>
#include "ui/core/DZStyle.h"

#include "CoreGraphics/CGContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZURLCache.h"
#include "ui/style/DZStyledFrame.h"
#include "ui/style/DZStyledLayout.h"
#include "ui/style/DZStyledNode.h"
#include "ui/style/DZStyledTextParser.h"

void DZStyledText::describeClass(RuntimeClass& c) {
    c.implements({"requestDidStartLoad:", "requestDidFinishLoad:", "request:didFailLoadWithError:",
                  "requestDidCancelLoad:"});
}

// ---- factories --------------------------------------------------------------------------------

namespace {

Ref<DZStyledText> textOf(DZStyledTextParser* parser) {
    auto root = parser->rootNode();
    if (!root) return nullptr;
    auto text = make<DZStyledText>(&DZStyledText::initWithNode, root.get());
    text->autorelease();
    return text;
}

}  // namespace

Ref<DZStyledText> DZStyledText::textFromXHTML(NSString* source) {
    return textFromXHTML(source, false, true);
}

Ref<DZStyledText> DZStyledText::textFromXHTML(NSString* source, bool lineBreaks, bool URLs) {
    auto parser = make<DZStyledTextParser>();
    parser->setParseLineBreaks(lineBreaks);
    parser->setParseURLs(URLs);
    if (source) parser->parseXHTML(source);
    return textOf(parser);
}

Ref<DZStyledText> DZStyledText::textWithURLs(NSString* source) {
    return textWithURLs(source, false);
}

Ref<DZStyledText> DZStyledText::textWithURLs(NSString* source, bool lineBreaks) {
    auto parser = make<DZStyledTextParser>();
    parser->setParseLineBreaks(lineBreaks);
    parser->setParseURLs(true);
    if (source) parser->parseText(source);
    return textOf(parser);
}

// ---- life -------------------------------------------------------------------------------------

bool DZStyledText::initWithNode(DZStyledNode* rootNode) {
    rootNode_ = rootNode;
    return true;
}

void DZStyledText::dealloc() {
    stopLoadingImages();
    rootNode_ = nullptr;
    rootFrame_ = nullptr;
    font_ = nullptr;
    invalidImages_ = nullptr;
    imageRequests_ = nullptr;
    NSObject::dealloc();
}

Ref<NSString> DZStyledText::description() {
    return rootNode_ ? rootNode_->outerText() : NSString::string();
}

void DZStyledText::setRootNode(DZStyledNode* node) {
    rootNode_ = node;
    setNeedsLayout();
}

void DZStyledText::setDelegate(DZStyledTextDelegate* delegate) {
    if (delegate == delegate_.lock().get()) return;
    delegate_ = delegate;
    loadImages();
}

void DZStyledText::setFont(UIFont* font) {
    if (font == font_.get()) return;
    font_ = font;
    setNeedsLayout();
}

void DZStyledText::setWidth(CGFloat width) {
    if (width == width_) return;
    width_ = width;
    setNeedsLayout();
}

CGFloat DZStyledText::height() {
    layoutIfNeeded();
    return height_;
}

Ref<DZStyledFrame> DZStyledText::rootFrame() {
    layoutIfNeeded();
    return rootFrame_;
}

// ---- layout and drawing -----------------------------------------------------------------------

void DZStyledText::layoutIfNeeded() {
    if (!rootFrame_) layoutFrames();
}

void DZStyledText::setNeedsLayout() {
    rootFrame_ = nullptr;
    height_ = 0;
}

void DZStyledText::layoutFrames() {
    auto layout = make<DZStyledLayout>(&DZStyledLayout::initWithRootNode, rootNode_.get());
    layout->setWidth(width_);
    if (font_) layout->setFont(font_);
    layout->layout(rootNode_);
    rootFrame_ = layout->rootFrame();
    height_ = std::ceil(layout->height());
    invalidImages_ = layout->invalidImages();
    layout = nullptr;
    loadImages();
}

void DZStyledText::drawAtPoint(CGPoint point) {
    drawAtPoint(point, false);
}

void DZStyledText::drawAtPoint(CGPoint point, bool) {
    auto c = UIGraphicsGetCurrentContext();
    CGContextSaveGState(c);
    CGContextTranslateCTM(c, point.x, point.y);
    for (auto frame = rootFrame(); frame; frame = frame->nextFrame())
        frame->drawInRect(frame->bounds());
    CGContextRestoreGState(c);
}

Ref<DZStyledFrame> DZStyledText::hitTest(CGPoint point) {
    auto root = rootFrame();
    return root ? root->hitTest(point) : nullptr;
}

Ref<DZStyledFrame> DZStyledText::getFrameForNode(DZStyledNode* node) {
    return getFrameForNode(node, rootFrame_);
}

Ref<DZStyledFrame> DZStyledText::getFrameForNode(DZStyledNode* node, DZStyledFrame* start) {
    for (Ref<DZStyledFrame> frame = start; frame; frame = frame->nextFrame()) {
        if (auto box = as<DZStyledBoxFrame>(frame)) {
            if (box->element().get() == node) return box;
            if (auto found = getFrameForNode(node, box->firstChildFrame())) return found;
        } else if (auto text = as<DZStyledTextFrame>(frame)) {
            if (text->node().get() == node) return text;
        } else if (auto image = as<DZStyledImageFrame>(frame)) {
            if (image->imageNode().get() == node) return image;
        }
    }
    return nullptr;
}

// ---- the top-level list -----------------------------------------------------------------------

void DZStyledText::addChild(DZStyledNode* child) {
    if (!rootNode_)
        rootNode_ = child;
    else
        DZStyledNode::findLastSibling(rootNode_)->setNextSibling(child);
}

void DZStyledText::addText(NSString* text) {
    addChild(DZStyledTextNode::nodeWithText(text));
}

void DZStyledText::insertChild(DZStyledNode* child, NSInteger index) {
    if (!rootNode_) {
        rootNode_ = child;
        return;
    }
    if (index == 0) {
        child->setNextSibling(rootNode_);
        rootNode_ = child;
        return;
    }
    // After the node at place index - 1, or at the end of a shorter list.
    Ref<DZStyledNode> previous = rootNode_;
    for (NSInteger i = 1; i < index && previous->nextSibling(); ++i)
        previous = previous->nextSibling();
    child->setNextSibling(previous->nextSibling());
    previous->setNextSibling(child);
}

Ref<DZStyledNode> DZStyledText::getElementByClassName(NSString* className) {
    return DZStyledElement::elementByClassName(rootNode_, className);
}

// ---- images -----------------------------------------------------------------------------------

void DZStyledText::tellDelegate() {
    if (auto delegate = delegate_.lock()) delegate->styledTextNeedsDisplay(this);
}

void DZStyledText::stopLoadingImages() {
    if (!imageRequests_) return;
    Ref<NSMutableArray> requests = std::move(imageRequests_);
    if (!invalidImages_) invalidImages_ = DZNewWeakMutableArray();
    for (NSUInteger i = 0; i < requests->count(); ++i) {
        auto request = cast<DZURLRequest>(requests->objectAtIndex(i));
        if (auto node = request->userInfo()) invalidImages_->addObject(node);
        request->cancel();
    }
}

void DZStyledText::loadImages() {
    stopLoadingImages();
    if (!delegate_.lock() || !invalidImages_) return;
    bool found = false;
    Ref<NSMutableArray> pending = std::move(invalidImages_);
    for (NSUInteger i = 0; i < pending->count(); ++i) {
        auto node = as<DZStyledImageNode>(pending->objectAtIndex(i));
        if (!node || !node->URL()) continue;
        if (auto image = DZURLCache::sharedCache()->imageForURL(node->URL())) {
            node->setImage(image);
            found = true;
            continue;
        }
        auto request = DZURLRequest::requestWithURL(node->URL(), this);
        request->setUserInfo(node);
        request->setResponse(make<DZURLImageResponse>());
        request->send();
    }
    if (found) tellDelegate();
}

void DZStyledText::requestDidStartLoad(DZURLRequest* request) {
    if (!imageRequests_) imageRequests_ = NSMutableArray::array();
    imageRequests_->addObject(request);
}

void DZStyledText::requestDidFinishLoad(DZURLRequest* request) {
    auto response = as<DZURLImageResponse>(request->response());
    if (auto node = as<DZStyledImageNode>(request->userInfo()))
        node->setImage(response ? response->image().get() : nullptr);
    if (imageRequests_) imageRequests_->removeObjectIdenticalTo(request);
    tellDelegate();
}

void DZStyledText::requestDidFailLoadWithError(DZURLRequest* request, NSError*) {
    if (imageRequests_) imageRequests_->removeObjectIdenticalTo(request);
}

void DZStyledText::requestDidCancelLoad(DZURLRequest* request) {
    if (imageRequests_) imageRequests_->removeObjectIdenticalTo(request);
}
