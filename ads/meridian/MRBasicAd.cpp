#include "ads/meridian/MRBasicAd.h"

#include "Foundation/NSString.h"
#include "UIKit/UIView.h"

Ref<NSString> MRBasicAd::overlayTitle() {
    return NS("Advertisement.");
}

int32_t MRBasicAd::transitionFromHeader(NSString* name) {
    std::string n = name ? name->utf8() : "";
    if (n == "CurlUp") return UIViewAnimationTransitionCurlUp;
    if (n == "CurlDown") return UIViewAnimationTransitionCurlDown;
    if (n == "FlipRight") return UIViewAnimationTransitionFlipFromRight;
    if (n == "FlipLeft") return UIViewAnimationTransitionFlipFromLeft;
    return UIViewAnimationTransitionNone;
}
