// The vendor's house-ad banner for one hook. The ad client comes later; until then a banner
// keeps its place, hook, parent and settings and stays hidden, since an empty client has no ad
// to show.
#pragma once

#include "UIKit/UIView.h"

class NSString;
class TallyAdImpression;

class TallyAdView : public UIView {
    NS_OBJECT(TallyAdView, UIView)

    // A banner 320 x 48 at (x, y), hidden until it shows an ad. The parent is a view or a view
    // controller; its description names it (for a navigation controller, that of the screen on
    // top). With attachToView the banner is added to the parent's view.
    bool initWithAd(NSObject* ad, NSString* hook, int x, int y, NSObject* parent, bool attachToView,
                    NSString* orientation, NSString* canvasOrientation, bool autoRefresh);

    // Shows the next ad the parser has for the hook and parent (none in an empty client).
    void refreshWithAd();

    Ref<NSString> hook() { return hook_; }
    Ref<NSString> parentName() { return parentName_; }
    Ref<NSObject> ad() { return ad_; }
    Ref<NSString> orientation() { return orientation_; }
    Ref<NSString> canvasOrientation() { return canvasOrientation_; }
    bool autoRefresh() { return autoRefresh_; }
    Ref<NSObject> adDelegate() { return adDelegate_.lock(); }
    void setAdDelegate(NSObject* delegate) { adDelegate_ = delegate; }
    bool canvasAnimated() { return canvasAnimated_; }
    void setCanvasAnimated(bool animated) { canvasAnimated_ = animated; }

    // The click URL: the offer endpoint when not for the canvas, else the portrait canvas
    // endpoint for a "portrait" canvas (any case) and the landscape one otherwise; then the
    // query apik, cid, adid, pid, sid, its, hid, ac, ats.
    static Ref<NSString> webUrlForCanvas(bool canvas, NSString* hook, NSObject* ad,
                                         TallyAdImpression* impression,
                                         NSString* canvasOrientation);
    // The offer endpoint with the same keys, the canvas id always 0.
    static Ref<NSString> webUrlForOffer(NSString* hook, NSObject* ad,
                                        TallyAdImpression* impression);

private:
    void show(NSObject* ad);

    Ref<NSString> hook_;
    Ref<NSString> parentName_;
    Ref<NSObject> ad_;
    Ref<NSString> orientation_;
    Ref<NSString> canvasOrientation_;
    bool autoRefresh_ = false;
    Weak<NSObject> adDelegate_;
    bool canvasAnimated_ = false;
};
