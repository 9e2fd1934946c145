#include "ui/core/DZView.h"

#include "Foundation/NSArray.h"
#include "ui/core/DZLayout.h"
#include "ui/core/DZStyle.h"
#include "ui/core/DZStyleContext.h"

bool DZView::initWithFrame(CGRect frame) {
    if (!UIView::initWithFrame(frame)) return false;
    setContentMode(UIViewContentModeRedraw);
    return true;
}

void DZView::setStyle(DZStyle* style) {
    if (style == style_.get()) return;
    style_ = style;
    setNeedsDisplay();
}

void DZView::setLayout(DZLayout* layout) {
    layout_ = layout;
}

void DZView::drawRect(CGRect) {
    if (!style_) {
        drawContent(bounds());
        return;
    }
    auto context = make<DZStyleContext>();
    context->setDelegate(this);
    context->setFrame(bounds());
    context->setContentFrame(context->frame());
    Ref<DZStyle> style = style_;  // a style may replace the view's style while it draws
    style->draw(context);
    if (!context->didDrawContent()) drawContent(bounds());
}

void DZView::drawContent(CGRect) {}

void DZView::layoutSubviews() {
    if (layout_) layout_->layoutSubviews(subviews(), this);
}

CGSize DZView::sizeThatFits(CGSize) {
    auto context = make<DZStyleContext>();
    context->setDelegate(this);
    context->setFont(nullptr);
    return style_ ? style_->addToSize(CGSizeZero, context) : CGSizeZero;
}

void DZUnclippedView::didMoveToSuperview() {
    for (Ref<UIView> view = this; view; view = view->superview())
        view->setClipsToBounds(false);
}
