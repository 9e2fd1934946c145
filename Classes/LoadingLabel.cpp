#include "Classes/LoadingLabel.h"

#include "UIKit/UILabel.h"

Ref<UIView> makeLoadingLabel(UIView* parent, NSString* text) {
    auto label = make<UILabel>(&UILabel::initWithFrame, CGRectZero);
    label->setText(text);
    label->sizeToFit();
    CGRect frame = label->frame();
    label->setFrame(CGRectMake(0, 160, parent->bounds().size.width, frame.size.height));
    label->setHidden(true);
    parent->addSubview(label);
    parent->bringSubviewToFront(label);
    return label;
}
