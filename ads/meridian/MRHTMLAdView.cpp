#include "ads/meridian/MRHTMLAdView.h"

#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "ads/meridian/MRGenericAdView.h"

// ---- MRHTMLAd --------------------------------------------------------------------------------

void MRHTMLAd::describeClass(RuntimeClass&) {}

bool MRHTMLAd::initWithAdContents(NSString* contents, UIWebView* webView,
                                  bool accelerometerEnabled) {
    if (!MRBasicAd::init()) return false;
    ad_ = NS("");
    (void)contents;
    (void)webView;
    accelerometerIsEnabled_ = accelerometerEnabled;
    return true;
}

void MRHTMLAd::dealloc() {
    MRBasicAd::dealloc();
}
bool MRHTMLAd::showModalOverlay(NSString*) {
    return false;
}
Ref<UIColor> MRHTMLAd::colorFromString(NSString*) {
    return nullptr;
}
Ref<MRGenericAdView> MRHTMLAd::adView() {
    return adView_.lock();
}
void MRHTMLAd::setAdView(MRGenericAdView* view) {
    adView_ = view;
}
Ref<NSURL> MRHTMLAd::openURL() {
    return nullptr;
}
bool MRHTMLAd::shouldShowModal() {
    return false;
}
bool MRHTMLAd::showTitlebar() {
    return false;
}
bool MRHTMLAd::showBottomBar() {
    return true;
}
bool MRHTMLAd::isBottomBarEnabled() {
    return true;
}
bool MRHTMLAd::shouldMakeOverlayTransparent() {
    return false;
}
Ref<NSString> MRHTMLAd::overlayTitle() {
    return NS("Advertisement");
}
Ref<NSString> MRHTMLAd::overlayTransition() {
    return NS("SlideUp");
}
double MRHTMLAd::transitionDuration() {
    return 0.8;
}
int32_t MRHTMLAd::orientationLock() {
    return 0;
}
Ref<UIColor> MRHTMLAd::titlebarColor() {
    return nullptr;
}
Ref<UIColor> MRHTMLAd::modalBorderColor() {
    return nullptr;
}
float MRHTMLAd::alphaForModalBorder() {
    return 1;
}
CGPoint MRHTMLAd::modalLocation() {
    return CGPointZero;
}
CGSize MRHTMLAd::modalSize() {
    return CGSizeZero;
}
CGPoint MRHTMLAd::pointToMimicTapAt() {
    return CGPointZero;
}
bool MRHTMLAd::shouldAccelerate() {
    return false;
}
void MRHTMLAd::startCloseOverlayTimer() {}
void MRHTMLAd::stopCloseOverlayTimer() {}
void MRHTMLAd::startBottomBarTimer() {}
void MRHTMLAd::stopShowBottomBarTimer() {}
void MRHTMLAd::shouldShowBottomBar(NSTimer*) {}
void MRHTMLAd::shouldCloseOverlay(NSTimer*) {}
void MRHTMLAd::shouldResizeAdTo(NSTimer*) {}
void MRHTMLAd::overlayWasClosed(NSNotification*) {}
bool MRHTMLAd::isPolling() {
    return false;
}
void MRHTMLAd::accelerometer(UIAccelerometer*, UIAcceleration* a) {
    didAccelerate(a);
}
void MRHTMLAd::didAccelerate(UIAcceleration*) {}

// ---- MRWebView -------------------------------------------------------------------------------

bool MRWebView::initWithFrame(CGRect frame, MRWebViewDelegate* delegate) {
    if (!UIView::initWithFrame(frame)) return false;
    delegate_ = delegate;
    HTMLadView_ = delegate;
    return true;
}

void MRWebView::dealloc() {
    UIView::dealloc();
}
void MRWebView::loadWithContents(NSData*) {}
void MRWebView::setAd(MRHTMLAd* ad) {
    ad_ = ad;
}
bool MRWebView::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest*,
                                                  UIWebViewNavigationType) {
    return true;
}
void MRWebView::webViewDidFinishLoad(UIWebView*) {}
void MRWebView::webViewDidFailLoadWithError(UIWebView*, NSError*) {}

// ---- MRHTMLAdView ----------------------------------------------------------------------------

void MRHTMLAdView::describeClass(RuntimeClass&) {}

bool MRHTMLAdView::initWithFrame(CGRect frame, MRHTMLAdViewDelegate* delegate) {
    if (!MRBasicAdView::initWithFrame(frame)) return false;
    delegate_ = delegate;
    return true;
}

void MRHTMLAdView::dealloc() {
    MRBasicAdView::dealloc();
}
void MRHTMLAdView::loadWithAdContents(NSData*) {}
void MRHTMLAdView::crossfadeWithAd(MRHTMLAd*) {}
void MRHTMLAdView::animationDidStop(CAAnimation*, bool) {}
bool MRHTMLAdView::accelerometerEnabled() {
    return false;
}
void MRHTMLAdView::webViewWantsToOpenURL(MRWebView*, NSURL*) {}
void MRHTMLAdView::webViewWasTapped(MRWebView*, NSURLRequest*) {}
void MRHTMLAdView::webViewDidLoad(MRWebView*) {}
void MRHTMLAdView::webViewDidFail(MRWebView*) {}
void MRHTMLAdView::webViewDidLoadNewAd(MRWebView*, MRHTMLAd*) {}
