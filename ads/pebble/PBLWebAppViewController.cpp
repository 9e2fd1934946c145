#include "ads/pebble/PBLWebAppViewController.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIButton.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIWebView.h"
#include "ads/pebble/PBLBrowserController.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLRequest.h"
#include "ads/pebble/PBLStatistics.h"

// ---- PBLWebAppWebViewDelegate ------------------------------------------------------------------

bool PBLWebAppWebViewDelegate::initWithWebAppPrivate(PBLWebAppViewControllerPrivate* vars) {
    if (!PBLWebViewDelegate::init()) return false;
    webAppPrivate_ = vars;
    return true;
}

void PBLWebAppWebViewDelegate::webViewDidStartLoad(UIWebView* webView) {
    noteLandingPageStarted();
    PBLWebViewDelegate::webViewDidStartLoad(webView);
}

void PBLWebAppWebViewDelegate::webViewDidFinishLoad(UIWebView* webView) {
    noteLandingPageFinished();
    PBLWebViewDelegate::webViewDidFinishLoad(webView);
    if (auto vars = webAppPrivate_.lock(); vars && !vars->loaded_) {
        vars->loaded_ = true;
        if (vars->loadingSpinner_) {
            vars->loadingSpinner_->stopAnimating();
            vars->loadingSpinner_->removeFromSuperview();
        }
        vars->loadingSpinner_ = nullptr;
    }
    postOnShowEvent();
}

void PBLWebAppWebViewDelegate::setPendingOnShow(bool pending) {
    pendingOnShow_ = pending;
    auto vars = webAppPrivate_.lock();
    if (vars && vars->webView_ && !vars->webView_->isLoading()) postOnShowEvent();
}

void PBLWebAppWebViewDelegate::postOnShowEvent() {
    if (!pendingOnShow_ || calledOnShow_) return;
    auto vars = webAppPrivate_.lock();
    if (!vars || !vars->webView_) return;
    auto info = NSMutableDictionary::dictionary();
    info->setObject(PBLRequest::sdkVersion().get(), NS("version"));
    auto device = PBLIdentifierUtilities::sharedInstance()->deviceSubmodel();
    info->setObject(device ? device.get() : NS(""), NS("device"));
    PBLNotificationCenter::postJSNotification(NS("onshow"), info.get(), vars->webView_.get());
    pendingOnShow_ = false;
    calledOnShow_ = true;
}

// ---- PBLWebAppViewControllerPrivate ------------------------------------------------------------

void PBLWebAppViewControllerPrivate::dealloc() {
    if (webView_) webView_->setDelegate(nullptr);
    webViewDelegate_ = nullptr;
    if (webView_) webView_->loadHTMLString(NS(""), nullptr);
    PBLViewControllerPrivate::dealloc();
}

// ---- PBLWebAppViewController -------------------------------------------------------------------

Ref<PBLViewControllerPrivate> PBLWebAppViewController::createPrivateData() {
    return make<PBLWebAppViewControllerPrivate>();
}

Ref<PBLWebAppViewControllerPrivate> PBLWebAppViewController::vars() {
    return as<PBLWebAppViewControllerPrivate>(privateObject());
}

bool PBLWebAppViewController::init() {
    if (!PBLViewController::init()) return false;
    vars()->loadingSpinner_ =
        make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                      UIActivityIndicatorViewStyleWhite);
    return true;
}

Ref<UIWebView> PBLWebAppViewController::webView() {
    auto v = vars();
    return v ? v->webView_ : nullptr;
}
void PBLWebAppViewController::setWebView(UIWebView* webView) {
    if (auto v = vars()) v->webView_ = webView;
}

void PBLWebAppViewController::load(NSURL* url) {
    if (!url) return;
    auto v = vars();
    if (v->webView_)
        v->webView_->loadRequest(NSURLRequest::requestWithURL(url).get());
    else
        v->urlToLoad_ = url;
}

void PBLWebAppViewController::loadHTML(NSString* html, NSURL* baseURL) {
    if (!html) return;
    auto v = vars();
    if (v->webView_) {
        v->webView_->loadHTMLString(html, baseURL);
    } else {
        v->htmlToLoad_ = html;
        v->htmlBaseURLToLoad_ = baseURL;
    }
}

void PBLWebAppViewController::viewWillAppear(bool animated) {
    PBLViewController::viewWillAppear(animated);
    auto v = vars();
    if (v->webView_) return;
    CGRect bounds = view()->bounds();
    auto web = make<UIWebView>(&UIWebView::initWithFrame, bounds);
    web->setClipsToBounds(true);
    web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight);
    web->setScalesPageToFit(true);
    view()->addSubview(web.get());
    // The page's own transparency shows what lies below.
    web->setOpaque(false);
    web->setBackgroundColor(UIColor::clearColor().get());
    web->setAllowsInlineMediaPlayback(true);
    web->setMediaPlaybackRequiresUserAction(false);
    try {
        web->setMediaPlaybackAllowsAirPlay(true);
    } catch (const ExceptionRaised&) {
        // A web view that refuses AirPlay shows the page all the same.
    }
    web->setDataDetectorTypes(UIDataDetectorTypeNone);
    v->webView_ = web;

    v->webViewDelegate_ =
        make<PBLWebAppWebViewDelegate>(&PBLWebAppWebViewDelegate::initWithWebAppPrivate, v.get());
    v->webViewDelegate_->setViewController(this);
    v->webViewDelegate_->setOpeningWebView(openingWebView().get());
    v->webViewDelegate_->opener()->setDelegateManager(delegateManager().get());
    web->setDelegate(v->webViewDelegate_.get());

    if (v->urlToLoad_) {
        Ref<NSURL> url = v->urlToLoad_;
        v->urlToLoad_ = nullptr;
        v->htmlToLoad_ = nullptr;
        v->htmlBaseURLToLoad_ = nullptr;
        load(url.get());
    } else if (v->htmlToLoad_) {
        Ref<NSString> html = v->htmlToLoad_;
        Ref<NSURL> base = v->htmlBaseURLToLoad_;
        v->htmlToLoad_ = nullptr;
        v->htmlBaseURLToLoad_ = nullptr;
        loadHTML(html.get(), base.get());
    }

    auto image = PBLIntrinsicImages::closeButton();
    auto close = UIButton::buttonWithType(UIButtonTypeCustom);
    close->setImage(image.get(), UIControlStateNormal);
    close->setShowsTouchWhenHighlighted(true);
    close->setEnabled(true);
    CGSize size = image ? image->size() : CGSizeMake(25, 25);
    close->setFrame(CGRectMake(4, 4, size.width, size.height));
    close->addTarget(this, Selector::named("relinquishScreen"), UIControlEventTouchUpInside);
    // A picture only: assistive technology reads it by what it does.
    close->setAccessibilityLabel(NS("Close"));
    view()->addSubview(close.get());
    v->closeButton_ = close;

    if (auto spinner = v->loadingSpinner_) {
        spinner->setFrame(
            CGRectMake((bounds.size.width - 20) / 2, (bounds.size.height - 20) / 2, 20, 20));
        spinner->setAutoresizingMask(UIViewAutoresizingFlexibleLeftMargin |
                                     UIViewAutoresizingFlexibleRightMargin);
        spinner->startAnimating();
        web->addSubview(spinner.get());
    }
}

void PBLWebAppViewController::viewDidAppear(bool animated) {
    PBLViewController::viewDidAppear(animated);
    if (auto v = vars(); v && v->webViewDelegate_) v->webViewDelegate_->setPendingOnShow(true);
}

void PBLWebAppViewController::viewDidDisappear(bool animated) {
    auto statistics = PBLStatistics::sharedStatistics();
    statistics->endTimingNamed(NS("plpd"));
    statistics->endTimingNamed(NS("pcl"));
    PBLViewController::viewDidDisappear(animated);
    if (auto web = webView())
        PBLNotificationCenter::postJSNotification(NS("onhide"), nullptr, web.get());
}

void PBLWebAppViewController::didRotateFromInterfaceOrientation(UIInterfaceOrientation from) {
    PBLViewController::didRotateFromInterfaceOrientation(from);
    if (auto web = webView())
        PBLWebViewDelegate::notifyWebViewOfOrientationChange(web.get(),
                                                             int(interfaceOrientation()));
}
