// The context a style chain draws in: the rectangle being drawn, the part of it left for the
// content, the outline in force, the font, the view being drawn (as the chain's delegate) and
// whether a style has drawn the view's content already. One context serves a whole chain:
// what a step moves stays moved for the steps behind it.
#pragma once

#include "CoreGraphics/CGGeometry.h"
#include "Foundation/NSObject.h"
#include "ui/core/DZStyleDelegate.h"

class DZShape;
class UIFont;

class DZStyleContext : public NSObject {
    NS_OBJECT(DZStyleContext, NSObject)
    bool init() override;

    Ref<DZStyleDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(DZStyleDelegate* delegate) { delegate_ = delegate; }
    CGRect frame() { return frame_; }
    void setFrame(CGRect frame) { frame_ = frame; }
    CGRect contentFrame() { return contentFrame_; }
    void setContentFrame(CGRect frame) { contentFrame_ = frame; }
    // The outline in force; a plain rectangle, made and kept on first reading, when none is set.
    Ref<DZShape> shape();
    void setShape(DZShape* shape);
    Ref<UIFont> font();
    void setFont(UIFont* font);
    // YES once a style of the chain has drawn the view's content.
    bool didDrawContent() { return didDrawContent_; }
    void setDidDrawContent(bool drawn) { didDrawContent_ = drawn; }

private:
    Weak<DZStyleDelegate> delegate_;
    CGRect frame_ = CGRectZero;
    CGRect contentFrame_ = CGRectZero;
    Ref<DZShape> shape_;
    Ref<UIFont> font_;
    bool didDrawContent_ = false;
};
