// The vendor's full-screen canvas: a page from the canvas endpoint in a window of its own. The
// ad client fills the page in later; until then the canvas opens its window over the app and
// closes it, and at most one canvas is open at a time.
#pragma once

#include "UIKit/UIViewController.h"
#include "ads/tally/TallyAdImpression.h"  // the impression is held weakly

class NSString;
class UIWindow;

class TallyAdCanvasViewController : public UIViewController {
    NS_OBJECT(TallyAdCanvasViewController, UIViewController)

    bool init() override;  // titled "Info"

    // Opens the canvas in a window of its own above the app's, and makes it the open canvas.
    void createCanvasWindow();
    // Closes it: its window goes, the app's window is key again, and no canvas is open.
    void cancel();

    static Ref<TallyAdCanvasViewController> getOpenCanvasController();
    static void setOpenCanvasController(TallyAdCanvasViewController* controller);
    static void freeOpenCanvasController();

    Ref<NSString> webUrl() { return webUrl_; }
    void setWebUrl(NSString* url);
    Ref<TallyAdImpression> adImpression() { return adImpression_.lock(); }
    void setAdImpression(TallyAdImpression* impression) { adImpression_ = impression; }
    Ref<NSObject> ad() { return ad_; }
    void setAd(NSObject* ad) { ad_ = ad; }
    Ref<NSObject> adDelegate() { return adDelegate_.lock(); }
    void setAdDelegate(NSObject* delegate) { adDelegate_ = delegate; }
    Ref<NSString> canvasOrientation() { return canvasOrientation_; }
    void setCanvasOrientation(NSString* orientation);
    bool canvasAnimated() { return canvasAnimated_; }
    void setCanvasAnimated(bool animated) { canvasAnimated_ = animated; }
    Ref<UIWindow> canvasWindow() { return window_; }

private:
    Ref<NSString> webUrl_;
    Weak<TallyAdImpression> adImpression_;
    Ref<NSObject> ad_;
    Weak<NSObject> adDelegate_;
    Ref<NSString> canvasOrientation_;
    bool canvasAnimated_ = false;
    Ref<UIWindow> window_;
    Weak<UIWindow> appWindow_;
};
