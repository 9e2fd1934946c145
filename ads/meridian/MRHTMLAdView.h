// HTML ads: a web page inside the ad view that steers the client through script functions.
// MRHTMLAdView owns two wrappers and cross-fades from the old ad to the new one; MRWebView wraps
// one platform web view and keeps link taps out of the banner; MRHTMLAd asks the page.
#pragma once

#include "QuartzCore/CAAnimation.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIWebView.h"
#include "ads/meridian/MRBasicAd.h"

class MRGenericAdView;
class MRHTMLAd;
class MRHTMLAdView;
class MRWebView;
class NSData;
class NSNotification;
class NSTimer;
class NSURLRequest;

class MRWebViewDelegate {
public:
    virtual ~MRWebViewDelegate() = default;
    virtual bool accelerometerEnabled() = 0;
    virtual void webViewWantsToOpenURL(MRWebView* webView, NSURL* url) = 0;
    virtual void webViewWasTapped(MRWebView* webView, NSURLRequest* request) = 0;
    virtual void webViewDidLoad(MRWebView* webView) = 0;
    virtual void webViewDidFail(MRWebView* webView) = 0;
    virtual void webViewDidLoadNewAd(MRWebView* webView, MRHTMLAd* ad) = 0;
};

class MRHTMLAdViewDelegate {
public:
    virtual ~MRHTMLAdViewDelegate() = default;
    virtual bool htmlAdViewAccelerometerEnabled() = 0;
    virtual void htmlAdViewRequestFailed(MRHTMLAdView* view) = 0;
    virtual void htmlAdViewRequestSucceeded(MRHTMLAdView* view) = 0;
    virtual void htmlAdViewWasTapped(MRHTMLAdView* view, NSURLRequest* request) = 0;
    virtual void htmlAdViewWantsToOpenURL(MRHTMLAdView* view, NSURL* url) = 0;
    virtual void htmlAdViewTransitionAnimationDidEnd(MRHTMLAdView* view) = 0;
    virtual void htmlAdViewTransitionAnimationWillBegin(MRHTMLAdView* view) = 0;
};

// The model of one loaded page.
class MRHTMLAd : public MRBasicAd, public UIAccelerometerDelegate {
    NS_OBJECT(MRHTMLAd, MRBasicAd)
    static void describeClass(RuntimeClass& c);
    bool initWithAdContents(NSString* contents, UIWebView* webView, bool accelerometerEnabled);
    void dealloc() override;

    // The rule every ad page starts with.
    static constexpr const char* kStyleRule =
        "body{ margin-left:auto; margin-right:auto; margin:0; padding:0; text-align:left;}";
    // Whether this HTML asks for a modal overlay (loaded into a zero-size web view).
    static bool showModalOverlay(NSString* html);
    // A colour text: "r,g,b[,a]" in 0..1, or six hex digits with or without "#"; else black.
    static Ref<UIColor> colorFromString(NSString* text);

    Ref<NSString> ad() { return ad_; }
    Ref<UIWebView> webView() { return webView_; }
    Ref<MRGenericAdView> adView();
    void setAdView(MRGenericAdView* view);
    bool htmlHasLoaded() { return htmlHasLoaded_; }
    void htmlDidLoad() { htmlHasLoaded_ = true; }

    Ref<NSURL> openURL() override;
    bool shouldShowModal() override;
    bool showTitlebar() override;
    bool showBottomBar() override;
    bool isBottomBarEnabled() override;
    bool shouldMakeOverlayTransparent() override;
    Ref<NSString> overlayTitle() override;
    Ref<NSString> overlayTransition() override;
    double transitionDuration() override;
    int32_t orientationLock() override;
    Ref<UIColor> titlebarColor() override;
    Ref<UIColor> modalBorderColor() override;
    float alphaForModalBorder() override;
    CGPoint modalLocation() override;
    CGSize modalSize() override;
    CGPoint pointToMimicTapAt();
    bool shouldAccelerate() override;

    void startCloseOverlayTimer() override;
    void stopCloseOverlayTimer() override;
    void startBottomBarTimer() override;
    void stopShowBottomBarTimer() override;
    void shouldShowBottomBar(NSTimer* timer) override;
    void shouldCloseOverlay(NSTimer* timer);
    void shouldResizeAdTo(NSTimer* timer);
    void overlayWasClosed(NSNotification* note);
    // Whether any of the page's polls still runs.
    bool isPolling();
    // Ends every poll and lets go of the accelerometer (the ad was replaced).
    void stopPolls();

    void accelerometer(UIAccelerometer* accelerometer, UIAcceleration* acceleration) override;
    void didAccelerate(UIAcceleration* acceleration);
    double accelX() { return accelX_; }
    double accelY() { return accelY_; }
    double accelZ() { return accelZ_; }

private:
    // The page's answer, nil without a web view.
    Ref<NSString> ask(const char* function);
    // A cached boolean: once YES, never asked again; an empty answer leaves it as it was.
    bool askCached(bool& field, const char* function, bool noWebView);
    void stopAllTimers();

    Ref<NSString> overlayTransition_;
    Ref<NSString> ad_;
    Ref<UIWebView> webView_;
    Weak<MRGenericAdView> adView_;
    bool shouldAccelerate_ = false, shouldShowTitlebar_ = false, shouldShowModal_ = false,
         shouldMakeOverlayTransparent_ = false, shouldShowBottomBar_ = false;
    double accelX_ = 0, accelY_ = 0, accelZ_ = 0;
    bool accelerometerIsEnabled_ = false, htmlHasLoaded_ = false;
    bool observing_ = false;
    Ref<NSTimer> shouldCloseOverlayTimer_, shouldResizeAdToTimer_, shouldShowBottomBarTimer_,
        shouldEnableBottomBarTimer_;
};

class MRWebView : public UIView, public UIWebViewDelegate {
    NS_OBJECT(MRWebView, UIView)
    using UIView::initWithFrame;
    bool initWithFrame(CGRect frame, MRWebViewDelegate* delegate);
    void dealloc() override;

    void loadWithContents(NSData* contents);
    Ref<UIWebView> webView() { return webView_; }
    Ref<MRHTMLAd> ad() { return ad_; }
    void setAd(MRHTMLAd* ad);
    Ref<MRWebViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRWebViewDelegate* delegate) { delegate_ = delegate; }

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;

private:
    Weak<MRWebViewDelegate> HTMLadView_;
    Ref<UIWebView> webView_;
    Ref<MRHTMLAd> ad_;
    Weak<MRWebViewDelegate> delegate_;
};

class MRHTMLAdView : public MRBasicAdView, public MRWebViewDelegate, public CAAnimationDelegate {
    NS_OBJECT(MRHTMLAdView, MRBasicAdView)
    using MRBasicAdView::initWithFrame;
    static void describeClass(RuntimeClass& c);
    bool initWithFrame(CGRect frame, MRHTMLAdViewDelegate* delegate);
    void dealloc() override;

    void loadWithAdContents(NSData* contents);
    Ref<MRHTMLAd> getAd() { return showingAd_.lock(); }
    Ref<MRWebView> showingWebView() { return showingWebView_.lock(); }
    Ref<MRWebView> hiddenWebView() { return hiddenWebView_.lock(); }
    Ref<MRHTMLAdViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MRHTMLAdViewDelegate* delegate) { delegate_ = delegate; }
    void crossfadeWithAd(MRHTMLAd* ad);
    void animationDidStop(CAAnimation* animation, bool finished) override;
    // The duration of the last cross-fade.
    double lastFadeDuration() { return lastFadeDuration_; }

    bool accelerometerEnabled() override;
    void webViewWantsToOpenURL(MRWebView* webView, NSURL* url) override;
    void webViewWasTapped(MRWebView* webView, NSURLRequest* request) override;
    void webViewDidLoad(MRWebView* webView) override;
    void webViewDidFail(MRWebView* webView) override;
    void webViewDidLoadNewAd(MRWebView* webView, MRHTMLAd* ad) override;

private:
    Ref<MRWebView> webView1_, webView2_;
    Weak<MRHTMLAd> showingAd_;
    Weak<MRWebView> showingWebView_, hiddenWebView_;
    Weak<MRHTMLAdViewDelegate> delegate_;
    double lastFadeDuration_ = 0;
};
