#include "ads/meridian/MROverlayView.h"

#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UILabel.h"
#include "UIKit/UIToolbar.h"

void MROverlayView::describeClass(RuntimeClass&) {}

bool MROverlayView::initWithType(int32_t type, MROverlayDelegate* delegate) {
    if (!UIView::initWithFrame(CGRectZero)) return false;
    delegate_ = delegate;
    overlayType_ = type;
    return true;
}

void MROverlayView::dealloc() {
    UIView::dealloc();
}
void MROverlayView::showWithRequest(NSURLRequest*) {}
void MROverlayView::showWithHTML(NSString*) {}
void MROverlayView::showOverlayForType(int32_t) {}
void MROverlayView::showFullScreenOverlay() {}
void MROverlayView::showModalOverlay() {}
void MROverlayView::close() {}
void MROverlayView::back(NSObject*) {}
void MROverlayView::forward(NSObject*) {}
void MROverlayView::loadingDone() {}
void MROverlayView::postDismissCleanup() {
    removeFromSuperview();
}
void MROverlayView::setHeaderTitle(NSString* title) {
    headerTitle_ = title;
}
void MROverlayView::setMakeOverlayTransparent(bool t) {
    makeOverlayTransparent_ = t;
}
void MROverlayView::setTransition(NSString* name) {
    transition_ = name;
}
bool MROverlayView::isPolling() {
    return false;
}
Ref<UIToolbar> MROverlayView::createTitlebarWithFrame(CGRect, UIColor*, NSString*) {
    return nullptr;
}
Ref<UIToolbar> MROverlayView::createBottombarWithFrame(CGRect, bool, bool, UIColor*) {
    return nullptr;
}
void MROverlayView::setBottomBarVisible(bool) {}
Ref<UIImage> MROverlayView::imageWithBase64EncodedString(NSString*) {
    return nullptr;
}
CGAffineTransform MROverlayView::transformForOrientation() {
    return CGAffineTransformIdentity;
}
void MROverlayView::sizeToFitOrientation() {}
void MROverlayView::modalSizeToFitOrientation(bool) {}
void MROverlayView::drawRect(CGRect) {}
void MROverlayView::bottomBarToBeShown(NSNotification*) {}
void MROverlayView::bottomBarToBeEnabled(NSNotification*) {}
void MROverlayView::closeNotification(NSNotification*) {}
void MROverlayView::shouldCloseOverlay(NSTimer*) {}
void MROverlayView::shouldEnableBottomBar(NSTimer*) {}
void MROverlayView::shouldShowBottomBar(NSTimer*) {}
bool MROverlayView::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest*,
                                                      UIWebViewNavigationType) {
    return true;
}
void MROverlayView::webViewDidFinishLoad(UIWebView*) {}
void MROverlayView::webViewDidFailLoadWithError(UIWebView*, NSError*) {}
void MROverlayView::accelerometer(UIAccelerometer*, UIAcceleration*) {}
