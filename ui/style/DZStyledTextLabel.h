// The view that shows styled text: inset by its content insets, drawn in its text colour, the
// link or button under the finger highlighted with the sheet's state style, the touched link
// opened when the touch ends, its text copied to the pasteboard, its links and lines listed to
// accessibility. Main thread.
#pragma once

#include "Foundation/NSArray.h"
#include "Foundation/NSObject.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIFont.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIView.h"
#include "ui/style/DZStyledText.h"

class DZStyle;
class DZStyledBoxFrame;
class DZStyledElement;
class DZStyledFrame;
class DZStyledTextLabel;

// What a table view that holds styled labels does for them: it keeps the label whose link is
// highlighted and opens that link itself. The framework's table view implements it, so labels
// reach it without depending on it.
class DZStyledTextLabelTable {
public:
    virtual ~DZStyledTextLabelTable() = default;
    // setHighlightedLabel: (label or nil).
    virtual void setHighlightedLabel(DZStyledTextLabel* label) = 0;
};

class DZStyledTextLabel : public UIView, public DZStyledTextDelegate {
    NS_OBJECT(DZStyledTextLabel, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame) override;
    void dealloc() override;

    Ref<DZStyledText> text() { return text_; }
    void setText(DZStyledText* text);
    // The text's markup as text; setting it parses markup (line breaks off, addresses on).
    Ref<NSString> html();
    void setHtml(NSString* html);
    Ref<UIFont> font() { return font_; }
    void setFont(UIFont* font);
    // The sheet's colours until set.
    Ref<UIColor> textColor();
    void setTextColor(UIColor* color);
    Ref<UIColor> highlightedTextColor();
    void setHighlightedTextColor(UIColor* color) { highlightedTextColor_ = color; }
    NSInteger textAlignment() { return textAlignment_; }
    void setTextAlignment(NSInteger alignment) { textAlignment_ = alignment; }
    UIEdgeInsets contentInset() { return contentInset_; }
    void setContentInset(UIEdgeInsets inset) { contentInset_ = inset; }
    bool isHighlighted() { return highlighted_; }
    void setHighlighted(bool highlighted) { highlighted_ = highlighted; }

    Ref<DZStyledElement> highlightedNode() { return highlightedNode_; }
    void setHighlightedNode(DZStyledElement* node);
    Ref<DZStyledBoxFrame> highlightedFrame() { return highlightedFrame_; }
    void setHighlightedFrame(DZStyledBoxFrame* frame);
    // Every piece of an inline element broken over lines takes the style.
    void setStyleForFrame(DZStyle* style, DZStyledBoxFrame* frame);

    void styledTextNeedsDisplay(DZStyledText* text) override;
    // copy: (the edit menu): the text of every top-level node as plain text.
    void copy(NSObject* sender);
    using NSObject::copy;

    void drawRect(CGRect rect) override;
    void layoutSubviews() override;
    CGSize sizeThatFits(CGSize size) override;

    void touchesBegan(NSSet* touches, UIEvent* event) override;
    void touchesMoved(NSSet* touches, UIEvent* event) override;
    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void touchesCancelled(NSSet* touches, UIEvent* event) override;

    NSInteger accessibilityElementCount() override;
    Ref<NSObject> accessibilityElementAtIndex(NSInteger index) override;
    NSInteger indexOfAccessibilityElement(NSObject* element) override;

private:
    DZStyledTextLabelTable* enclosingTable();
    Ref<NSMutableArray> accessibilityElements();
    void addAccessibilityElements(DZStyledNode* node, NSMutableArray* elements);

    Ref<DZStyledText> text_;
    Ref<UIFont> font_;
    Ref<UIColor> textColor_, highlightedTextColor_;
    NSInteger textAlignment_ = 0;
    UIEdgeInsets contentInset_ = UIEdgeInsetsZero;
    bool highlighted_ = false;
    Ref<DZStyledElement> highlightedNode_;
    Ref<DZStyledBoxFrame> highlightedFrame_;
    Ref<NSMutableArray> accessibilityElements_;
};
