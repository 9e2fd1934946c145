// The base of the framework's styled widgets: the view draws itself by running its style chain
// in a style context, and a subclass draws in drawContent: whatever the chain leaves undrawn.
// An optional layout places the subviews.
#pragma once

#include "UIKit/UIView.h"
#include "ui/core/DZStyleDelegate.h"

class DZLayout;
class DZStyle;

class DZView : public UIView, public DZStyleDelegate {
    NS_OBJECT(DZView, UIView)
    // Redraws whenever the bounds change.
    bool initWithFrame(CGRect frame) override;

    Ref<DZStyle> style() { return style_; }
    // Marks the view for display, unless the style is the one it has.
    virtual void setStyle(DZStyle* style);
    Ref<DZLayout> layout() { return layout_; }
    void setLayout(DZLayout* layout);

    void drawRect(CGRect rect) override;
    // What the style chain did not draw; the base draws nothing.
    virtual void drawContent(CGRect rect);
    void layoutSubviews() override;
    // The size the style chain adds to nothing; zero without a style.
    CGSize sizeThatFits(CGSize size) override;

private:
    Ref<DZStyle> style_;
    Ref<DZLayout> layout_;
};

// A view that switches clipping off for itself and all its ancestors once it is added, so
// that what it shows may reach outside them.
class DZUnclippedView : public UIView {
    NS_OBJECT(DZUnclippedView, UIView)
    void didMoveToSuperview() override;
};
