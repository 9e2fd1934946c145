// The vendor's house-ad banner for one hook: the ad's icon, the app name, a sell message and
// the advertiser, laid out by the hook's theme (one layout for portrait, one for landscape). It
// refreshes itself every BannerRefreshInSeconds while visible, paced by the heartbeat, records
// its impression states, and a tap opens the canvas or follows the store referral. It takes one
// tap's click-through at a time: while its store referral is out or its canvas window is up,
// a tap does nothing. The class also builds the click URLs of the whole ad client.
#pragma once

#include "UIKit/UIAlertView.h"
#include "UIKit/UIView.h"

class NSString;
class TallyAd;
class TallyAdHook;
class TallyAdImpression;
class TallyAdTheme;
class UIImageView;
class UILabel;
class UIViewController;

class TallyAdView : public UIView, public UIAlertViewDelegate {
    NS_OBJECT(TallyAdView, UIView)
    static void describeClass(RuntimeClass& c);

    // A banner 320 x 48 at (x, y), hidden until it shows an ad. The parent is a view or a view
    // controller; its description names it (for a navigation controller, that of the screen on
    // top). With attachToView the banner is added to the parent's view.
    bool initWithAd(NSObject* ad, NSString* hook, int x, int y, NSObject* parent, bool attachToView,
                    NSString* orientation, NSString* canvasOrientation, bool autoRefresh);
    void dealloc() override;

    // Shows the ad with the hook record (theme and click action); nil for either shows nothing.
    void updateWithAd(TallyAd* ad, TallyAdHook* hook);
    // Gives up the ad shown and shows the parser's next one for the hook and parent.
    void refreshWithAd();
    virtual void createViewElements();
    virtual void updateToOrientation();
    void handleHeartBeat();
    // Visible: the centre of what shows of it lies inside the key window. Out of sight the
    // pending refresh is cancelled; back in sight it records state 3 and restarts the delay.
    void checkBannerLocation();
    bool isBannerVisible();
    void showAppStore();
    // Whether the click-through of an earlier tap is still under way: its store referral is
    // being followed, or the canvas it opened in a window of its own is up.
    bool clickThroughOut();

    void touchesEnded(NSSet* touches, UIEvent* event) override;
    void alertViewClickedButtonAtIndex(UIAlertView* alert, NSInteger index) override;

    CGRect portraitFrame();
    CGRect portraitSellMessageFrame();
    CGRect portraitIconFrame();
    CGRect portraitAppNameFrame();
    CGRect portraitAdvertiserFrame();
    CGRect landscapeFrame();
    CGRect landscapeSellMessageFrame();
    CGRect landscapeIconFrame();
    CGRect landscapeAppNameFrame();
    CGRect landscapeAdvertiserFrame();

    Ref<UIImageView> landscapeBackground() { return landscapeBackground_; }
    Ref<UIImageView> portraitBackground() { return portraitBackground_; }
    Ref<UIImageView> icon() { return icon_; }
    Ref<UILabel> sellMessageLabel() { return sellMessageLabel_; }
    Ref<UILabel> appNameLabel() { return appNameLabel_; }
    Ref<UILabel> advertiserLabel() { return advertiserLabel_; }
    Ref<NSString> hook() { return hook_; }
    Ref<TallyAd> ad();
    Ref<TallyAdImpression> adImpression();
    Ref<NSString> parentName() { return parentName_; }
    Ref<NSString> orientation() { return orientation_; }
    void setOrientation(NSString* orientation);
    Ref<NSString> canvasOrientation() { return canvasOrientation_; }
    bool autoRefresh() { return autoRefresh_; }
    bool refreshTimerPaused() { return refreshTimerPaused_; }
    Ref<TallyAdHook> adHook();
    Ref<TallyAdTheme> theme();
    Ref<NSString> webUrl() { return webUrl_; }
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

protected:
    // The label with the style's colour and font (name at its whole-point size).
    static Ref<UILabel> styledLabel(CGRect frame, NSString* text, NSObject* style);
    void replaceSubviews(std::initializer_list<UIView*> views);
    // The icon, the labels and the two backgrounds, shared with the canvas drawer's banners,
    // which have no sell message, show their advertiser and start on the portrait background.
    void makeViewElements(bool inDrawer);
    // Gives the ad shown back to its parent's assignment, when there is one.
    void releaseAd();

    Ref<UIImageView> landscapeBackground_, portraitBackground_, icon_;
    Ref<UILabel> sellMessageLabel_, appNameLabel_, advertiserLabel_;
    Ref<NSString> hook_;
    Ref<NSObject> ad_;
    Weak<UIViewController> parentViewController_;
    Weak<UIView> parentView_;
    Ref<TallyAdImpression> adImpression_;
    Ref<NSString> orientation_;
    Ref<NSString> canvasOrientation_;
    Ref<NSString> parentName_;
    bool autoRefresh_ = false;
    bool refreshTimerPaused_ = false;
    Ref<NSObject> adHook_;
    Weak<NSObject> adDelegate_;
    Ref<NSString> webUrl_;
    Ref<NSObject> theme_;
    bool canvasAnimated_ = false;
    // The store follower (alive as long as its connection) or canvas of the last tap.
    Weak<NSObject> clickThrough_;
};
