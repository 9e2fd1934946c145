// The bases of the ad models and of the HTML and JSON ad views. A model answers the overlay's
// settings; the base answers the defaults that a model does not override.
#pragma once

#include "Foundation/NSCoder.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"

class NSString;
class NSURL;
class NSTimer;

class MRBasicAd : public NSObject, public NSCoding {
    NS_OBJECT(MRBasicAd, NSObject)
    // NSCoding: nothing is written or read.
    void encodeWithCoder(NSCoder*) override {}
    bool initWithCoder(NSCoder*) override { return init(); }

    virtual Ref<NSURL> openURL() { return nullptr; }
    virtual void test() {}
    virtual Ref<NSString> overlayTitle();
    virtual bool shouldShowModal() { return false; }
    virtual CGSize modalSize() { return CGSizeZero; }
    virtual Ref<UIColor> modalBorderColor() { return nullptr; }
    virtual CGPoint modalLocation() { return CGPointZero; }
    virtual float alphaForModalBorder() { return 0; }
    virtual bool shouldMakeOverlayTransparent() { return false; }
    virtual bool showTitlebar() { return true; }
    virtual Ref<UIColor> titlebarColor() { return nullptr; }
    virtual Ref<NSString> overlayTransition() { return nullptr; }
    virtual void startBottomBarTimer() {}
    virtual void shouldShowBottomBar(NSTimer*) {}
    virtual void stopShowBottomBarTimer() {}
    virtual bool showBottomBar() { return true; }
    virtual void startEnableBottomBarTimer() {}
    virtual void shouldEnableBottomBar(NSTimer*) {}
    virtual void stopEnableBottomBarTimer() {}
    virtual bool isBottomBarEnabled() { return true; }
    virtual void startCloseOverlayTimer() {}
    virtual void stopCloseOverlayTimer() {}
    virtual int32_t orientationLock() { return 0; }
    virtual bool shouldAccelerate() { return false; }
    virtual double transitionDuration() { return 0; }

    // The platform's view transition for a transition name; slides are drawn by the overlay.
    static int32_t transitionFromHeader(NSString* name);
};

class MRBasicAdView : public UIView {
    NS_OBJECT(MRBasicAdView, UIView)
};
