// The in-program browser a tap on an ad opens: a web view over the whole screen (type 1) or a
// bordered box in the middle (type 2), with optional title and bottom bars. Links that leave the
// program go back to the ad view, which hands them to the platform.
#pragma once

#include "CoreGraphics/CGContext.h"
#include "UIKit/UIAccelerometer.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIWebView.h"
#include "ads/meridian/MRStatusBar.h"

class MROverlayView;
class NSNotification;
class NSTimer;
class NSURL;
class UIActivityIndicatorView;
class UIBarButtonItem;
class UIButton;
class UIColor;
class UIImage;
class UILabel;
class UIToolbar;

class MROverlayDelegate {
public:
    virtual ~MROverlayDelegate() = default;
    virtual void overlayWantsToTerminateAppToOpenURL(MROverlayView* overlay, NSURL* url) = 0;
    virtual void overlayDidDisappear(MROverlayView* overlay) = 0;
    virtual void overlayWillDisappear(MROverlayView* overlay) = 0;
    virtual void overlayDidAppear(MROverlayView* overlay) = 0;
    virtual void overlayWillAppear(MROverlayView* overlay) = 0;
};

enum : int32_t { MROverlayTypeFullScreen = 1, MROverlayTypeModal = 2 };

class MROverlayView : public UIView, public UIWebViewDelegate, public UIAccelerometerDelegate {
    NS_OBJECT(MROverlayView, UIView)
    static void describeClass(RuntimeClass& c);
    bool initWithType(int32_t type, MROverlayDelegate* delegate);
    void dealloc() override;

    void showWithRequest(NSURLRequest* request);
    void showWithHTML(NSString* html);
    void showOverlayForType(int32_t type);
    void showFullScreenOverlay();
    void showModalOverlay();
    void close();
    void closeButtonClicked() { close(); }
    void back(NSObject* sender);
    void forward(NSObject* sender);
    void loadingDone();
    void postDismissCleanup();

    Ref<MROverlayDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(MROverlayDelegate* d) { delegate_ = d; }
    Ref<NSString> headerTitle() { return headerTitle_; }
    void setHeaderTitle(NSString* title);
    Ref<UIColor> titlebarColor() { return titlebarColor_; }
    void setTitlebarColor(UIColor* color) { titlebarColor_ = color; }
    bool showTitlebar() { return showTitlebar_; }
    void setShowTitlebar(bool v) { showTitlebar_ = v; }
    bool showBottomBar() { return showBottomBar_; }
    void setShowBottomBar(bool v) { showBottomBar_ = v; }
    bool makeOverlayTransparent() { return makeOverlayTransparent_; }
    void setMakeOverlayTransparent(bool transparent);
    CGSize modalSize() { return modalSize_; }
    void setModalSize(CGSize s) { modalSize_ = s; }
    CGPoint modalLocation() { return modalLocation_; }
    void setModalLocation(CGPoint p) { modalLocation_ = p; }
    Ref<UIColor> modalBorderColor() { return modalBorderColor_; }
    void setModalBorderColor(UIColor* c) { modalBorderColor_ = c; }
    float alphaForModalBorder() { return alphaForModalBorder_; }
    void setAlphaForModalBorder(float a) { alphaForModalBorder_ = a; }
    Ref<NSString> transition() { return transition_; }
    void setTransition(NSString* name);
    double transitionDuration() { return transitionDuration_; }
    void setTransitionDuration(double d) { transitionDuration_ = d; }
    int32_t overlayOrientation() { return overlayOrientation_; }
    void setOverlayOrientation(int32_t o) { overlayOrientation_ = o; }
    CGSize overlaySize() { return overlaySize_; }
    void setOverlaySize(CGSize s) { overlaySize_ = s; }
    bool isAccelerometerEnabled() { return isAccelerometerEnabled_; }
    void setIsAccelerometerEnabled(bool v) { isAccelerometerEnabled_ = v; }
    bool notifyCloseDelegates() { return notifyCloseDelegates_; }
    void setNotifyCloseDelegates(bool v) { notifyCloseDelegates_ = v; }
    bool notifyOpenDelegates() { return notifyOpenDelegates_; }
    void setNotifyOpenDelegates(bool v) { notifyOpenDelegates_ = v; }
    bool enableBottomBar() { return enableBottomBar_; }
    void setEnableBottomBar(bool v) { enableBottomBar_ = v; }
    int32_t overlayType() { return overlayType_; }
    Ref<UIWebView> webView() { return webView_; }
    Ref<UIToolbar> bottomBar() { return bottomBar_; }
    Ref<UIToolbar> titleBar() { return titleBar_; }
    Ref<UIBarButtonItem> backArrow() { return backArrow_; }
    Ref<UIBarButtonItem> forwardArrow() { return forwardArrow_; }
    Ref<UIBarButtonItem> closeButton() { return closeButton_; }
    Ref<UIActivityIndicatorView> spinner() { return spinner_; }
    bool isPolling();
    // Between close and the end of its fade.
    bool isClosing() { return closing_; }

    Ref<UIToolbar> createTitlebarWithFrame(CGRect frame, UIColor* tint, NSString* title);
    Ref<UIToolbar> createBottombarWithFrame(CGRect frame, bool showCloseButton,
                                            bool enableCloseButton, UIColor* tint);
    void setBottomBarVisible(bool visible);
    static Ref<UIImage> imageWithBase64EncodedString(NSString* text);
    CGAffineTransform transformForOrientation();
    void sizeToFitOrientation();
    // A turned overlay's size: laid out for the landscape interface it shows, the screen's long
    // side across, so that once turned a quarter it lies whole inside the screen.
    void sizeToFitTurn();
    void modalSizeToFitOrientation(bool transform);
    void drawRect(CGRect rect) override;
    static void addRoundedRectToPath(CGContextRef c, CGRect rect, CGFloat radius);
    // drawRect:fill:radius: fills a rounded rectangle with an RGBA colour.
    void drawRectFill(CGRect rect, const CGFloat fill[4], CGFloat radius);
    // Strokes the rectangle's outline one point wide.
    void strokeLines(CGRect rect, const CGFloat stroke[4]);
    void moviePreloadDidFinish(NSNotification*) {}

    void bottomBarToBeShown(NSNotification* note);
    void bottomBarToBeEnabled(NSNotification* note);
    void closeNotification(NSNotification* note);
    void shouldCloseOverlay(NSTimer* timer);
    void shouldEnableBottomBar(NSTimer* timer);
    void shouldShowBottomBar(NSTimer* timer);

    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;
    void webViewDidFinishLoad(UIWebView* webView) override;
    void webViewDidFailLoadWithError(UIWebView* webView, NSError* error) override;
    void accelerometer(UIAccelerometer* accelerometer, UIAcceleration* acceleration) override;

private:
    Ref<NSString> ask(const char* function);
    void stopPolls();
    void updateBarButtons();
    void fadeOutDidStop();

    Weak<MROverlayDelegate> delegate_;
    Ref<NSString> headerTitle_;
    Ref<UIColor> titlebarColor_;
    bool showTitlebar_ = false, showBottomBar_ = false, enabledBottomBar_ = false,
         makeOverlayTransparent_ = false;
    CGSize modalSize_ = CGSizeZero;
    CGPoint modalLocation_ = CGPointZero;
    Ref<UIColor> modalBorderColor_;
    float alphaForModalBorder_ = 0;
    Ref<NSString> transition_;
    double transitionDuration_ = 0.5;
    int32_t overlayOrientation_ = 1;
    CGSize overlaySize_ = CGSizeZero;
    bool isAccelerometerEnabled_ = false;
    Ref<NSTimer> shouldEnableBottomBarTimer_, shouldShowBottomBarTimer_;
    Ref<UILabel> loadingLabel_;
    Ref<UIToolbar> bottomBar_, titleBar_;
    Ref<UIBarButtonItem> backArrow_, forwardArrow_, closeButton_;
    Ref<UILabel> modalTitleLabel_;
    Ref<UIButton> modalCloseButton_;
    int32_t overlayType_ = MROverlayTypeFullScreen;
    Ref<NSURL> loadingURL_;
    Ref<UIWebView> webView_;
    Ref<UIActivityIndicatorView> spinner_;
    int32_t orientation_ = 0, interfaceOrientation_ = 1;
    bool wasGeneratingDeviceNotifications_ = false;
    Ref<NSTimer> shouldCloseOverlayTimer_;
    bool shouldAccelerate_ = false;
    double accelX_ = 0, accelY_ = 0, accelZ_ = 0;
    Ref<NSURL> lastURL_;
    bool notifyCloseDelegates_ = true, notifyOpenDelegates_ = true, enableBottomBar_ = false;
    bool closing_ = false;
    // The status bar, hidden while a turned overlay shows.
    MRStatusBarHold statusBar_;
};
