#include "AdLoom/internal/AdLoomWebBrowserController.h"

#include <vector>

#include "CoreGraphics/CGBitmapContext.h"
#include "CoreGraphics/CGColorSpace.h"
#include "CoreGraphics/CGContext.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UINib.h"
#include "UIKit/UIToolbar.h"

namespace {
NSString* const kInterfaceName = NS("AdLoomWebBrowser");
// Where the reload and stop buttons sit in the tool bar: each is left out of one state.
constexpr NSUInteger kReloadIndex = 4;
constexpr NSUInteger kStopIndex = 5;
constexpr CGFloat kToolBarHeight = 44;
}  // namespace

// ---- the back arrow ------------------------------------------------------------------------

namespace {
// A white filled triangle through the three points, on a clear 25 by 25 bitmap.
Ref<UIImage> triangleImage(CGPoint a, CGPoint b, CGPoint c) {
    auto space = CGColorSpaceCreateDeviceRGB();
    auto ctx =
        CGBitmapContextCreate(nullptr, 25, 25, 8, 0, space.get(), kCGImageAlphaPremultipliedLast);
    CGContextSetRGBFillColor(ctx.get(), 1, 1, 1, 1);
    CGContextBeginPath(ctx.get());
    CGContextMoveToPoint(ctx.get(), a.x, a.y);
    CGContextAddLineToPoint(ctx.get(), b.x, b.y);
    CGContextAddLineToPoint(ctx.get(), c.x, c.y);
    CGContextClosePath(ctx.get());
    CGContextFillPath(ctx.get());
    auto image = CGBitmapContextCreateImage(ctx.get());
    return UIImage::imageWithCGImage(image.get());
}
}  // namespace

Ref<UIImage> AdLoomBackButton::arrowImage() {
    return triangleImage(CGPointMake(19, 2), CGPointMake(4, 11), CGPointMake(19, 20));
}

void AdLoomBackButton::awakeFromNib() {
    setImage(arrowImage().get());
}

// ---- the interface -------------------------------------------------------------------------

void AdLoomRegisterWebBrowserInterface() {
    if (isInterfaceRegistered(kInterfaceName)) return;
    registerInterface(kInterfaceName, [](NSObject* owner, NSDictionary*) {
        auto controller = as<AdLoomWebBrowserController>(owner);
        auto view = make<UIView>(&UIView::initWithFrame, CGRectMake(0, 0, 320, 460));
        view->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                  UIViewAutoresizingFlexibleHeight);
        auto web =
            make<UIWebView>(&UIWebView::initWithFrame, CGRectMake(0, 0, 320, 460 - kToolBarHeight));
        web->setTag(1);
        web->setScalesPageToFit(true);
        web->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleHeight);
        view->addSubview(web.get());
        auto bar = make<UIToolbar>(&UIToolbar::initWithFrame,
                                   CGRectMake(0, 460 - kToolBarHeight, 320, kToolBarHeight));
        bar->setAutoresizingMask(UIViewAutoresizingFlexibleWidth |
                                 UIViewAutoresizingFlexibleTopMargin);
        view->addSubview(bar.get());

        auto item = [&](UIBarButtonSystemItem system, const char* action) {
            return make<UIBarButtonItem>(
                &UIBarButtonItem::initWithBarButtonSystemItem, system,
                controller ? static_cast<NSObject*>(controller.get()) : nullptr,
                Selector::named(action));
        };
        auto back = alloc<AdLoomBackButton>();
        back->initWithImage(nullptr, UIBarButtonItemStylePlain,
                            controller ? static_cast<NSObject*>(controller.get()) : nullptr,
                            Selector::named("back:"));
        back->setTitle(NS("Back"));
        back->awakeFromNib();
        // Forward is the back arrow turned round, so the pair reads as one control.
        auto forward = make<UIBarButtonItem>(
            &UIBarButtonItem::initWithImage,
            triangleImage(CGPointMake(6, 2), CGPointMake(21, 11), CGPointMake(6, 20)).get(),
            UIBarButtonItemStylePlain,
            controller ? static_cast<NSObject*>(controller.get()) : nullptr,
            Selector::named("forward:"));
        forward->setTitle(NS("Forward"));
        auto space = [&] {
            return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem,
                                         UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr);
        };
        auto reload = item(UIBarButtonSystemItemRefresh, "reload:");
        auto stop = item(UIBarButtonSystemItemStop, "stop:");
        auto linkOut = item(UIBarButtonSystemItemAction, "linkOut:");
        auto close = item(UIBarButtonSystemItemDone, "close:");
        // Reload at 4 and stop at 5: each state hides one of them.
        bar->setItems(NSArray::arrayWithObjects(
                          {back.get(), space().get(), forward.get(), space().get(), reload.get(),
                           stop.get(), space().get(), linkOut.get(), space().get(), close.get()})
                          .get());
        if (controller) {
            controller->webView = web;
            controller->toolBar = bar;
            controller->backButton = back;
            controller->forwardButton = forward;
            controller->reloadButton = reload;
            controller->stopButton = stop;
            controller->linkOutButton = linkOut;
            controller->closeButton = close;
            web->setDelegate(controller.get());
            controller->setView(view.get());
        }
        return NSArray::arrayWithObject(view.get());
    });
}

// ---- the controller ------------------------------------------------------------------------

void AdLoomWebBrowserController::describeClass(RuntimeClass& c) {
    c.method("back:", &AdLoomWebBrowserController::back);
    c.method("forward:", &AdLoomWebBrowserController::forward);
    c.method("stop:", &AdLoomWebBrowserController::stop);
    c.method("reload:", &AdLoomWebBrowserController::reload);
    c.method("linkOut:", &AdLoomWebBrowserController::linkOut);
    c.method("close:", &AdLoomWebBrowserController::close);
    c.implements({"webView:shouldStartLoadWithRequest:navigationType:", "webViewDidStartLoad:",
                  "webViewDidFinishLoad:", "webView:didFailLoadWithError:"});
}

bool AdLoomWebBrowserController::init() {
    AdLoomRegisterWebBrowserInterface();
    return initWithNibName(kInterfaceName, nullptr);
}

void AdLoomWebBrowserController::presentWithController(UIViewController* controller,
                                                       int transition) {
    presenting_ = controller;
    UIModalTransitionStyle style;
    switch (transition) {
        case 7:
            style = UIModalTransitionStyleCrossDissolve;
            break;
        case 1:
        case 2:
            style = UIModalTransitionStyleFlipHorizontal;
            break;
        default:
            style = UIModalTransitionStyleCoverVertical;
    }
    setModalTransitionStyle(style);
    if (controller) controller->presentModalViewController(this, true);
}

void AdLoomWebBrowserController::loadURL(NSURL* url) {
    view();  // the web view is an outlet of the interface
    if (webView) webView->loadRequest(NSURLRequest::requestWithURL(url).get());
}

void AdLoomWebBrowserController::back(NSObject*) {
    if (webView) webView->goBack();
}
void AdLoomWebBrowserController::forward(NSObject*) {
    if (webView) webView->goForward();
}
void AdLoomWebBrowserController::stop(NSObject*) {
    if (webView) webView->stopLoading();
}
void AdLoomWebBrowserController::reload(NSObject*) {
    if (webView) webView->reload();
}

void AdLoomWebBrowserController::linkOut(NSObject*) {
    auto app = UIApplication::sharedApplication();
    pageLoading_.setHeld(false);
    if (webView)
        if (auto request = webView->request()) app->openURL(request->URL().get());
}

void AdLoomWebBrowserController::close(NSObject*) {
    pageLoading_.setHeld(false);
    // Closed through the controller that presents it, whatever became of the one that asked
    // (a request to a controller that already presented another screen went over that one).
    Ref<UIViewController> presenter = presentingViewController();
    if (!presenter) presenter = presenting_.lock();
    if (presenter) presenter->dismissModalViewControllerAnimated(true);
}

void AdLoomWebBrowserController::viewDidLoad() {
    super::viewDidLoad();
    auto items = toolBar ? toolBar->items() : nullptr;
    auto loading = NSMutableArray::array();
    auto loaded = NSMutableArray::array();
    if (items) {
        for (NSUInteger i = 0; i < items->count(); ++i) {
            auto item = items->objectAtIndex(i);
            if (i != kReloadIndex) loading->addObject(item.get());
            if (i != kStopIndex) loaded->addObject(item.get());
        }
    }
    loadingButtons_ = loading;
    loadedButtons_ = loaded;
}

void AdLoomWebBrowserController::viewWillAppear(bool animated) {
    super::viewWillAppear(animated);
    if (webView && webView->request()) {
        // A page from an earlier showing would flash up: start from a fresh web view.
        auto fresh = make<UIWebView>(&UIWebView::initWithFrame, webView->frame());
        fresh->setTag(webView->tag());
        fresh->setAutoresizingMask(webView->autoresizingMask());
        fresh->setDelegate(this);
        fresh->setScalesPageToFit(true);
        auto container = view();
        container->insertSubview(fresh.get(), webView.get());
        webView->setDelegate(nullptr);
        webView->removeFromSuperview();
        webView = fresh;
        pageLoading_.setHeld(false);  // the old page's load tells nobody now
    }
    if (toolBar) toolBar->setItems(loadedButtons_.get());
}

void AdLoomWebBrowserController::viewDidDisappear(bool animated) {
    super::viewDidDisappear(animated);
    if (auto d = delegate_.lock()) d->webBrowserClosed(this);
}

bool AdLoomWebBrowserController::shouldAutorotateToInterfaceOrientation(
    UIInterfaceOrientation orientation) {
    if (auto presenter = presenting_.lock())
        return presenter->shouldAutorotateToInterfaceOrientation(orientation);
    return super::shouldAutorotateToInterfaceOrientation(orientation);
}

bool AdLoomWebBrowserController::webViewShouldStartLoadWithRequest(UIWebView*,
                                                                   NSURLRequest* request,
                                                                   UIWebViewNavigationType) {
    auto url = request ? request->URL() : nullptr;
    auto scheme = url ? url->scheme() : nullptr;
    if (scheme && scheme->caseInsensitiveCompare(NS("mailto")) == NSOrderedSame)
        UIApplication::sharedApplication()->openURL(url.get());
    return true;
}

void AdLoomWebBrowserController::webViewDidStartLoad(UIWebView*) {
    pageLoading_.setHeld(true);
    if (toolBar) toolBar->setItems(loadingButtons_.get());
    if (backButton) backButton->setEnabled(false);
    if (forwardButton) forwardButton->setEnabled(false);
    if (reloadButton) reloadButton->setEnabled(false);
    if (stopButton) stopButton->setEnabled(true);
}

void AdLoomWebBrowserController::showLoadedState() {
    pageLoading_.setHeld(false);
    if (toolBar) toolBar->setItems(loadedButtons_.get());
    if (webView && forwardButton && webView->canGoForward()) forwardButton->setEnabled(true);
    if (webView && backButton && webView->canGoBack()) backButton->setEnabled(true);
    if (reloadButton) reloadButton->setEnabled(true);
    if (stopButton) stopButton->setEnabled(false);
    if (linkOutButton && webView && webView->request()) linkOutButton->setEnabled(true);
}

void AdLoomWebBrowserController::webViewDidFinishLoad(UIWebView*) {
    showLoadedState();
}

void AdLoomWebBrowserController::webViewDidFailLoadWithError(UIWebView*, NSError*) {
    showLoadedState();
}

void AdLoomWebBrowserController::dealloc() {
    if (webView) webView->setDelegate(nullptr);
    webView = nullptr;
    loadingButtons_ = nullptr;
    loadedButtons_ = nullptr;
    toolBar = nullptr;
    backButton = forwardButton = reloadButton = stopButton = linkOutButton = closeButton = nullptr;
    super::dealloc();
}
