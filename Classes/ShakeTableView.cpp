#include "Classes/ShakeTableView.h"

#include "CoreGraphics/CGColor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSIndexPath.h"
#include "QuartzCore/CAAnimation.h"
#include "QuartzCore/CALayer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIEvent.h"
#include "UIKit/UITableViewCell.h"

// ---- ShakeTableView ---------------------------------------------------------------------------

void ShakeTableView::addShakeObserver(NSObject* observer) {
    shakeObserver_ = observer;
}

void ShakeTableView::motionEnded(UIEventSubtype motion, UIEvent* event) {
    UIEventSubtype subtype = event ? event->subtype() : motion;
    if (subtype == UIEventSubtypeMotionShake) {
        if (auto* observer = dynamic_cast<ShakeObserver*>(shakeObserver_.get())) observer->shake();
    }
    UITableView::motionEnded(motion, event);
}

void ShakeTableView::dealloc() {
    shakeObserver_ = nullptr;
    UITableView::dealloc();
}

// ---- ShadowedTableView ------------------------------------------------------------------------

namespace {
// Re-inserts the shadow at the bottom of the layer unless it is already there.
void keepFirst(CALayer* layer, CAGradientLayer* shadow) {
    auto sublayers = layer->sublayers();
    if (sublayers && sublayers->count() > 0 && sublayers->objectAtIndex(0).get() == shadow) return;
    layer->insertSublayer(shadow, 0);
}

void drop(Ref<CAGradientLayer>& shadow) {
    if (shadow) shadow->removeFromSuperlayer();
    shadow = nullptr;
}
}  // namespace

Ref<CAGradientLayer> ShadowedTableView::shadowAsInverse(bool inverse) {
    auto layer = CAGradientLayer::layer();
    layer->setFrame(CGRectMake(0, 0, bounds().size.width, inverse ? 10 : 20));
    auto dark = UIColor::colorWithRed(0.5f, 0.5f, 0.5f, inverse ? 0.25f : 0.5f)->CGColor();
    auto background = backgroundColor();
    if (!background) background = UIColor::whiteColor();
    auto light = background->colorWithAlphaComponent(0)->CGColor();
    layer->setColors(inverse ? NSArray::arrayWithObjects({light.get(), dark.get()})
                             : NSArray::arrayWithObjects({dark.get(), light.get()}));
    return layer;
}

void ShadowedTableView::layoutSubviews() {
    ShakeTableView::layoutSubviews();
    auto tableLayer = layer();
    auto origin = originShadow_.lock();
    if (!origin) {
        origin = shadowAsInverse(false);
        tableLayer->insertSublayer(origin, 0);
        originShadow_ = origin;
    } else {
        keepFirst(tableLayer, origin);
    }
    CATransaction::begin();
    CATransaction::setDisableActions(true);
    CGRect frame = origin->frame();
    frame.origin.y = contentOffset().y;
    frame.size.width = bounds().size.width;
    origin->setFrame(frame);
    CATransaction::commit();

    auto visible = indexPathsForVisibleRows();
    if (!visible || visible->count() == 0) {
        drop(topShadow_);
        drop(bottomShadow_);
        return;
    }

    auto first = cast<NSIndexPath>(visible->objectAtIndex(0));
    auto firstCell =
        first->row() == 0 && first->section() == 0 ? cellForRowAtIndexPath(first) : nullptr;
    if (firstCell) {
        if (!topShadow_) {
            topShadow_ = shadowAsInverse(true);
            firstCell->layer()->insertSublayer(topShadow_, 0);
        } else {
            keepFirst(firstCell->layer(), topShadow_);
        }
        CGRect shadow = topShadow_->frame();
        shadow.origin.y = -10;
        shadow.size.width = firstCell->frame().size.width;
        topShadow_->setFrame(shadow);
    } else {
        drop(topShadow_);
    }

    auto last = cast<NSIndexPath>(visible->lastObject());
    NSInteger lastSection = numberOfSections() - 1;
    bool isLast =
        last->section() == lastSection && last->row() == numberOfRowsInSection(lastSection) - 1;
    auto lastCell = isLast ? cellForRowAtIndexPath(last) : nullptr;
    if (lastCell) {
        if (!bottomShadow_) {
            bottomShadow_ = shadowAsInverse(false);
            lastCell->layer()->insertSublayer(bottomShadow_, 0);
        } else {
            keepFirst(lastCell->layer(), bottomShadow_);
        }
        CGRect shadow = bottomShadow_->frame();
        shadow.origin.y = lastCell->frame().size.height;
        shadow.size.width = lastCell->frame().size.width;
        bottomShadow_->setFrame(shadow);
    } else {
        drop(bottomShadow_);
    }
}

void ShadowedTableView::dealloc() {
    topShadow_ = nullptr;
    bottomShadow_ = nullptr;
    ShakeTableView::dealloc();
}
