// The document of styled text: a node tree laid out on demand for a width and font, drawn at a
// point, hit-tested, and the images its image nodes name loaded through the request queue, with
// the delegate told when the text must be redrawn. Main thread.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIFont.h"
#include "ui/core/DZURLRequest.h"

class DZStyledFrame;
class DZStyledNode;
class DZStyledText;
class NSString;

class DZStyledTextDelegate {
public:
    virtual ~DZStyledTextDelegate() = default;
    // styledTextNeedsDisplay: (required: the text calls it without asking).
    virtual void styledTextNeedsDisplay(DZStyledText* text) = 0;
};

class DZStyledText : public NSObject, public DZURLRequestDelegate {
    NS_OBJECT(DZStyledText, NSObject)
    static void describeClass(RuntimeClass& c);

    // Markup: line breaks off, addresses on.
    static Ref<DZStyledText> textFromXHTML(NSString* source);
    static Ref<DZStyledText> textFromXHTML(NSString* source, bool lineBreaks, bool URLs);
    // Plain text whose "http://" addresses become links.
    static Ref<DZStyledText> textWithURLs(NSString* source);
    static Ref<DZStyledText> textWithURLs(NSString* source, bool lineBreaks);

    bool initWithNode(DZStyledNode* rootNode);
    void dealloc() override;
    // The text of every top-level node.
    Ref<NSString> description() override;

    Ref<DZStyledNode> rootNode() { return rootNode_; }
    void setRootNode(DZStyledNode* node);
    Ref<DZStyledTextDelegate> delegate() { return delegate_.lock(); }
    // A new delegate starts loading the pending images.
    void setDelegate(DZStyledTextDelegate* delegate);
    Ref<UIFont> font() { return font_; }
    void setFont(UIFont* font);
    CGFloat width() { return width_; }
    void setWidth(CGFloat width);
    // The laid-out height rounded up to a whole point.
    CGFloat height();
    Ref<DZStyledFrame> rootFrame();
    Ref<NSMutableArray> invalidImages() { return invalidImages_; }

    bool needsLayout() { return !rootFrame_; }
    void layoutIfNeeded();
    void setNeedsLayout();
    void layoutFrames();

    void drawAtPoint(CGPoint point);
    // The flag does not change the drawing.
    void drawAtPoint(CGPoint point, bool highlighted);
    // The innermost box frame at the point, nil when none.
    Ref<DZStyledFrame> hitTest(CGPoint point);
    // The frame made for the node (no layout is forced).
    Ref<DZStyledFrame> getFrameForNode(DZStyledNode* node);
    Ref<DZStyledFrame> getFrameForNode(DZStyledNode* node, DZStyledFrame* frame);

    // ---- the top-level list -----------------------------------------------------------------
    void addChild(DZStyledNode* child);
    void addText(NSString* text);
    void insertChild(DZStyledNode* child, NSInteger index);
    Ref<DZStyledNode> getElementByClassName(NSString* className);

    // ---- images -----------------------------------------------------------------------------
    void loadImages();
    void stopLoadingImages();
    void requestDidStartLoad(DZURLRequest* request) override;
    void requestDidFinishLoad(DZURLRequest* request) override;
    void requestDidFailLoadWithError(DZURLRequest* request, NSError* error) override;
    void requestDidCancelLoad(DZURLRequest* request) override;

private:
    void tellDelegate();

    Ref<DZStyledNode> rootNode_;
    Ref<DZStyledFrame> rootFrame_;
    Ref<UIFont> font_;
    CGFloat width_ = 0;
    CGFloat height_ = 0;
    Ref<NSMutableArray> invalidImages_;
    Ref<NSMutableArray> imageRequests_;
    Weak<DZStyledTextDelegate> delegate_;
};
