#include "ui/style/DZLink.h"

#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZView.h"

void DZLink::describeClass(RuntimeClass& c) {
    c.method("linkTouched", &DZLink::linkTouched);
}

bool DZLink::initWithFrame(CGRect frame) {
    if (!UIControl::initWithFrame(frame)) return false;
    setUserInteractionEnabled(false);
    addTarget(this, Selector::named("linkTouched"), UIControlEventTouchUpInside);
    return true;
}

void DZLink::setURLAction(DZURLAction* action) {
    URLAction_ = action;
    setUserInteractionEnabled(action != nullptr);
}

Ref<NSString> DZLink::URL() {
    return URLAction_ ? URLAction_->urlPath() : nullptr;
}

void DZLink::setURL(NSString* urlPath) {
    auto action = DZURLAction::actionWithURLPath(urlPath);
    action->applyAnimated(true);
    setURLAction(action);
}

void DZLink::linkTouched() {
    DZNavigator::navigator()->openURLAction(URLAction_);
}

void DZLink::setHighlighted(bool highlighted) {
    UIControl::setHighlighted(highlighted);
    if (highlighted) {
        if (!screenView_) {
            screenView_ = make<DZView>(&DZView::initWithFrame, bounds());
            screenView_->setStyle(
                DZStyleSheet::globalStyleSheet()->styleWithSelector(NS("linkHighlighted")));
            screenView_->setBackgroundColor(UIColor::clearColor());
            screenView_->setUserInteractionEnabled(false);
            addSubview(screenView_);
        }
        screenView_->setFrame(bounds());
    }
    if (screenView_) screenView_->setHidden(!highlighted);
}

bool DZLink::continueTrackingWithTouch(UITouch* touch, UIEvent* event) {
    UIControl::continueTrackingWithTouch(touch, event);
    if (pointInside(touch->locationInView(this), event)) return true;
    setHighlighted(false);
    return false;
}
