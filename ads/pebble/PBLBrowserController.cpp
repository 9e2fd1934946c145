#include "ads/pebble/PBLBrowserController.h"

#include <cmath>

#include "CoreGraphics/CGImage.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGraphics.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWebView.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLStatistics.h"

namespace {

// Our own drawings, PNG at double resolution: a round black badge with a white cross, and white
// triangles pointing left and right.
const char* const kCloseButton =
    "iVBORw0KGgoAAAANSUhEUgAAADIAAAAyCAYAAAAeP4ixAAAA7ElEQVR42u2a2w2AQAgE7b9Q29AGPMNjURgl8dfsKBwcsG"
    "2/"
    "XdthtNHiW0LdiNotTwuoqHgr1DiAV4AqAe6AxkKUwTwNsAIaDSGB6QKRgnkjJkpiphtE6K90hXDBeFxKlRy97zG5mEdUps"
    "7KvqMcRFQ05kBUQiJumfkQkiCPCFJAyEG8wlQQSxD1yXMlUAmxhFHkjsQ1d28FEoGRJ0dlNn8KohzEAlNWrvwgVNdCBDvi"
    "+G2TEDElyqeLxrZlPOZihbzqjm8+YNpBqAYdqmWKaWKjxgqoQQ9q9IYahqLG06iFAdwKB2qpBrnm1MFOyzXLjX/"
    "tEx4AAAAASUVORK5CYII=";
const char* const kBackButton =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAAeElEQVR42u3YQQrAIAwF0dz/0r/"
    "ddCtFLJrpvBsMSNRUSZIkSU3lhgt64IIQYRlARrUMy0u4oDZhmYSMOjYsC+CCjgvLYrig7WH5GC7IMI+iw+Mn4x5/"
    "QaOfVPhHMP7bgv5o4lcD+GUOfv2GXpiOAosIGyZJkqRtLqo5UgNbvpoAAAAAAElFTkSuQmCC";
const char* const kForwardButton =
    "iVBORw0KGgoAAAANSUhEUgAAADYAAAA2CAYAAACMRWrdAAAAc0lEQVR42u3ZyQ2AMAxFQffftOHCFSEIIvnMdPCkKItTBQ"
    "AAg/UuNuwQGxYV2Cdiw5aO64tiw5YL7Jtiw6aP6wFiw6YM7MFiw6YJ7JfFhn0WKMxSDN08HNCuVC7Bni3/eGga5hi/"
    "GZg+D6sksZ8SAADE2wAMvlIDLPFrSQAAAABJRU5ErkJggg==";

}  // namespace

// ---- PBLIntrinsicImages ------------------------------------------------------------------------

Ref<UIImage> PBLIntrinsicImages::createImageFromEncoding(NSString* encoding) {
    auto data = HXStringEncoding::rfc4648Base64StringEncoding()->decode(encoding);
    auto image = data ? UIImage::imageWithData(data.get()) : nullptr;
    if (!image) return nullptr;
    return UIImage::imageWithCGImage(image->CGImage().get(), 2.0, UIImageOrientationUp);
}

Ref<UIImage> PBLIntrinsicImages::closeButton() {
    static UIImage* const image =
        immortal(createImageFromEncoding(NSString::fromUTF8(kCloseButton).get()));
    return image;
}
Ref<UIImage> PBLIntrinsicImages::browserBackButton() {
    static UIImage* const image =
        immortal(createImageFromEncoding(NSString::fromUTF8(kBackButton).get()));
    return image;
}
Ref<UIImage> PBLIntrinsicImages::browserForwardButton() {
    static UIImage* const image =
        immortal(createImageFromEncoding(NSString::fromUTF8(kForwardButton).get()));
    return image;
}

// ---- PBLBrowserWebViewDelegate -----------------------------------------------------------------

bool PBLBrowserWebViewDelegate::initWithBrowserController(PBLBrowserController* browser) {
    if (!PBLWebViewDelegate::init()) return false;
    browserController_ = browser;
    return true;
}

void PBLBrowserWebViewDelegate::webViewDidStartLoad(UIWebView* webView) {
    noteLandingPageStarted();
    PBLWebViewDelegate::webViewDidStartLoad(webView);
    if (auto browser = browserController_.lock()) browser->refreshToolbar();
}

void PBLBrowserWebViewDelegate::webViewDidFinishLoad(UIWebView* webView) {
    noteLandingPageFinished();
    PBLWebViewDelegate::webViewDidFinishLoad(webView);
    if (auto browser = browserController_.lock()) browser->refreshToolbar();
}

void PBLBrowserWebViewDelegate::webViewDidFailLoadWithError(UIWebView* webView, NSError* error) {
    PBLWebViewDelegate::webViewDidFailLoadWithError(webView, error);
    if (auto browser = browserController_.lock()) browser->refreshToolbar();
}

bool PBLBrowserWebViewDelegate::webViewShouldStartLoadWithRequest(
    UIWebView* webView, NSURLRequest* request, UIWebViewNavigationType navigationType) {
    if (navigationType == UIWebViewNavigationTypeLinkClicked ||
        navigationType == UIWebViewNavigationTypeFormSubmitted) {
        auto url = request ? request->URL() : nullptr;
        auto scheme = url && url->scheme() ? url->scheme()->lowercaseString()->utf8() : "";
        if (scheme == "http")
            PBLStatistics::sharedStatistics()->incrementPageNavigationCount();
        else if (scheme == "https")
            PBLStatistics::sharedStatistics()->incrementSSLPageNavigationCount();
    }
    return PBLWebViewDelegate::webViewShouldStartLoadWithRequest(webView, request, navigationType);
}

// ---- PBLBrowserControllerPrivate ---------------------------------------------------------------

void PBLBrowserControllerPrivate::dealloc() {
    if (webView_) webView_->setDelegate(nullptr);
    webViewDelegate_ = nullptr;
    // Stops whatever the page still does.
    if (webView_) webView_->loadHTMLString(NS(""), nullptr);
    PBLViewControllerPrivate::dealloc();
}

// ---- PBLBrowserController ----------------------------------------------------------------------

void PBLBrowserController::describeClass(RuntimeClass& c) {
    c.method("back", &PBLBrowserController::back);
    c.method("forward", &PBLBrowserController::forward);
    c.method("reload", &PBLBrowserController::reload);
    c.method("stop", &PBLBrowserController::stop);
    c.method("openInSafari", &PBLBrowserController::openInSafari);
}

Ref<PBLViewControllerPrivate> PBLBrowserController::createPrivateData() {
    return make<PBLBrowserControllerPrivate>();
}

Ref<PBLBrowserControllerPrivate> PBLBrowserController::vars() {
    return as<PBLBrowserControllerPrivate>(privateObject());
}

Ref<UIToolbar> PBLBrowserController::toolbar() {
    auto v = vars();
    return v ? v->toolbar_ : nullptr;
}
void PBLBrowserController::setToolbar(UIToolbar* toolbar) {
    if (auto v = vars()) v->toolbar_ = toolbar;
}
Ref<UIWebView> PBLBrowserController::webView() {
    auto v = vars();
    return v ? v->webView_ : nullptr;
}
void PBLBrowserController::setWebView(UIWebView* webView) {
    if (auto v = vars()) v->webView_ = webView;
}

void PBLBrowserController::load(NSURL* url) {
    load(url, nullptr);
}

void PBLBrowserController::load(NSURL* url, NSURL* referringURL) {
    if (!url) return;
    auto v = vars();
    if (!v->webView_) {
        v->urlToLoad_ = url;
        v->referringURLToLoad_ = referringURL;
        return;
    }
    auto request = NSMutableURLRequest::requestWithURL(url);
    if (referringURL)
        request->setValueForHTTPHeaderField(referringURL->absoluteString().get(), NS("Referer"));
    v->webView_->loadRequest(request.get());
}

void PBLBrowserController::back() {
    if (auto web = webView(); web && web->canGoBack()) web->goBack();
}
void PBLBrowserController::forward() {
    if (auto web = webView(); web && web->canGoForward()) web->goForward();
}
void PBLBrowserController::reload() {
    if (auto web = webView()) web->reload();
}
void PBLBrowserController::stop() {
    if (auto web = webView()) web->stopLoading();
}

void PBLBrowserController::openInSafari() {
    auto web = webView();
    auto request = web ? web->request() : nullptr;
    auto opener = make<PBLOpener>();
    opener->setDelegateManager(delegateManager().get());
    opener->openApp(request ? request->URL().get() : nullptr);
    PBLStatistics::sharedStatistics()->setBreakOutToSafari();
}

Ref<UIBarButtonItem> PBLBrowserController::buttonWithImage(UIImage* image, NSString* name,
                                                           int width, bool enabled, SEL action) {
    auto item =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithImage, image, UIBarButtonItemStylePlain,
                              static_cast<NSObject*>(this), action);
    item->setWidth(float(width));
    item->setEnabled(enabled);
    item->setIsAccessibilityElement(true);
    item->setAccessibilityLabel(name);
    return item;
}

void PBLBrowserController::createToolbarButtons() {
    auto v = vars();
    auto system = [this](UIBarButtonSystemItem kind, SEL action) {
        return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem, kind,
                                     action ? static_cast<NSObject*>(this) : nullptr, action);
    };
    auto label = [](UIBarButtonItem* item, NSString* name) {
        item->setIsAccessibilityElement(true);
        item->setAccessibilityLabel(name);
    };
    v->flexibleSpaceButton_ = system(UIBarButtonSystemItemFlexibleSpace, nullptr);
    v->backButton_ = buttonWithImage(PBLIntrinsicImages::browserBackButton().get(), NS("Back"), 27,
                                     false, Selector::named("back"));
    v->forwardButton_ = buttonWithImage(PBLIntrinsicImages::browserForwardButton().get(),
                                        NS("Forward"), 27, false, Selector::named("forward"));

    v->spinner_ = make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithFrame,
                                                CGRectMake(0, 0, 20, 20));
    v->spinner_->setActivityIndicatorViewStyle(UIActivityIndicatorViewStyleWhite);
    v->spinner_->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                     UIViewAutoresizingFlexibleRightMargin);
    v->spinnerContainingButton_ =
        make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, v->spinner_.get());
    v->spinnerContainingButton_->setWidth(20);
    v->spinnerContainingButton_->setEnabled(true);
    label(v->spinnerContainingButton_.get(), NS("Spinner"));

    v->reloadButton_ = system(UIBarButtonSystemItemRefresh, Selector::named("reload"));
    v->reloadButton_->setWidth(27);
    v->reloadButton_->setEnabled(true);
    label(v->reloadButton_.get(), NS("Reload"));

    v->safariButton_ = system(UIBarButtonSystemItemAction, Selector::named("openInSafari"));
    v->safariButton_->setWidth(27);
    v->safariButton_->setEnabled(false);
    label(v->safariButton_.get(), NS("View in Safari"));

    v->doneButton_ = system(UIBarButtonSystemItemDone, Selector::named("relinquishScreen"));
    v->doneButton_->setStyle(UIBarButtonItemStyleDone);
    v->doneButton_->setEnabled(true);
    label(v->doneButton_.get(), NS("Done"));
}

void PBLBrowserController::refreshToolbar() {
    auto v = vars();
    if (!v || !v->webView_ || !v->toolbar_ || !v->backButton_) return;
    auto web = v->webView_;
    v->backButton_->setEnabled(web->canGoBack());
    v->forwardButton_->setEnabled(web->canGoForward());
    Ref<UIBarButtonItem> middle;
    if (web->isLoading()) {
        middle = v->spinnerContainingButton_;
        v->spinner_->startAnimating();
        v->safariButton_->setEnabled(false);
    } else {
        middle = v->reloadButton_;
        v->spinner_->stopAnimating();
        v->safariButton_->setEnabled(true);
    }
    auto space = v->flexibleSpaceButton_.get();
    v->toolbar_->setItems(
        NSArray::arrayWithObjects({v->backButton_.get(), space, v->forwardButton_.get(), space,
                                   middle.get(), space, v->safariButton_.get(), space,
                                   v->doneButton_.get()})
            .get());
}

void PBLBrowserController::viewWillAppear(bool animated) {
    PBLViewController::viewWillAppear(animated);
    auto v = vars();
    if (v->webView_) return;
    CGRect bounds = view()->bounds();
    CGFloat toolbarHeight = 44;
    UIViewAutoresizing webMask = UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight;
    UIViewAutoresizing barMask = UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleTopMargin |
                                 UIViewAutoresizingFlexibleBottomMargin;
    if (UIDevice::currentDevice()->userInterfaceIdiom() != UIUserInterfaceIdiomPad) {
        if (PBLIdentifierUtilities::sharedInstance()->isOrientationLandscape()) toolbarHeight = 30;
        webMask |= UIViewAutoresizingFlexibleBottomMargin;
        barMask |= UIViewAutoresizingFlexibleHeight;
    }

    auto web =
        make<UIWebView>(&UIWebView::initWithFrame,
                        CGRectMake(0, 0, bounds.size.width, bounds.size.height - toolbarHeight));
    web->setAutoresizingMask(webMask);
    web->setScalesPageToFit(true);
    view()->addSubview(web.get());
    web->setAllowsInlineMediaPlayback(true);
    web->setMediaPlaybackRequiresUserAction(false);
    web->setDataDetectorTypes(UIDataDetectorTypeAll);
    v->webView_ = web;

    v->webViewDelegate_ = make<PBLBrowserWebViewDelegate>(
        &PBLBrowserWebViewDelegate::initWithBrowserController, this);
    v->webViewDelegate_->setViewController(this);
    v->webViewDelegate_->setOpeningWebView(openingWebView().get());
    // What the page opens from here leaves or stacks on behalf of the same ad.
    v->webViewDelegate_->opener()->setDelegateManager(delegateManager().get());
    web->setDelegate(v->webViewDelegate_.get());

    if (v->urlToLoad_) {
        Ref<NSURL> url = v->urlToLoad_, referrer = v->referringURLToLoad_;
        v->urlToLoad_ = nullptr;
        v->referringURLToLoad_ = nullptr;
        load(url.get(), referrer.get());
    }

    auto bar = make<UIToolbar>(
        &UIToolbar::initWithFrame,
        CGRectMake(0, bounds.size.height - toolbarHeight, bounds.size.width, toolbarHeight));
    bar->setAutoresizingMask(barMask);
    bar->setAutoresizesSubviews(true);
    bar->setTintColor(UIColor::blackColor().get());
    view()->addSubview(bar.get());
    v->toolbar_ = bar;

    createToolbarButtons();
    refreshToolbar();
}

void PBLBrowserController::didRotateFromInterfaceOrientation(UIInterfaceOrientation from) {
    PBLViewController::didRotateFromInterfaceOrientation(from);
    if (auto web = webView())
        PBLWebViewDelegate::notifyWebViewOfOrientationChange(web.get(),
                                                             int(interfaceOrientation()));
}
