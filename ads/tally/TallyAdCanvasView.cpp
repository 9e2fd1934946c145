#include "ads/tally/TallyAdCanvasView.h"

#include "Foundation/NSString.h"
#include "UIKit/UIImageView.h"
#include "UIKit/UILabel.h"
#include "ads/tally/TallyAdModel.h"
#include "analytics/base/TallyUtil.h"

namespace {
constexpr auto kInitWithImage =
    static_cast<bool (UIImageView::*)(UIImage*)>(&UIImageView::initWithImage);
}  // namespace

void TallyAdCanvasView::createViewElements() {
    auto ad = this->ad();
    auto theme = this->theme();
    if (!ad || !theme) return;
    TallyUtil::debugLog(NS("Tally: Updating adView with adImageId[%@] dimension[%@]"),
                        ad->imageId(), NSStringFromCGSize(ad->adImage()->size()));
    icon_ = make<UIImageView>(kInitWithImage, ad->adImage().get());
    icon_->setFrame(portraitIconFrame());
    TallyUtil::debugLog(NS("Tally: Icon image created at[%@]"),
                        NSStringFromCGRect(icon_->bounds()));
    sellMessageLabel_ = nullptr;
    appNameLabel_ =
        styledLabel(portraitAppNameFrame(), ad->adText(), theme->portraitAppNameTextStyle());
    TallyUtil::debugLog(NS("Tally: App name label created at[%@]"),
                        NSStringFromCGRect(appNameLabel_->bounds()));
    advertiserLabel_ = styledLabel(portraitAdvertiserFrame(), ad->advertiser(),
                                   theme->portraitAdvertiserTextStyle());
    advertiserLabel_->setHidden(false);
    TallyUtil::debugLog(NS("Tally: Advertiser label created at[%@]"),
                        NSStringFromCGRect(advertiserLabel_->bounds()));
    portraitBackground_ = make<UIImageView>(kInitWithImage, theme->portraitAdImage().get());
    landscapeBackground_ = make<UIImageView>(kInitWithImage, theme->landscapeAdImage().get());
    landscapeBackground_->setHidden(true);
    replaceSubviews({icon_.get(), landscapeBackground_.get(), portraitBackground_.get(),
                     appNameLabel_.get(), advertiserLabel_.get()});
}

void TallyAdCanvasView::updateToOrientation() {
    auto o = orientation();
    if (o && o->caseInsensitiveCompare(NS("landscape")) == NSOrderedSame)
        TallyAdView::updateToOrientation();
}
