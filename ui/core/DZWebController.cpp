#include "ui/core/DZWebController.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIActivityIndicatorView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIBarButtonItem.h"
#include "UIKit/UINavigationBar.h"
#include "UIKit/UIToolbar.h"
#include "UIKit/UIWindow.h"
#include "ui/core/DZGeometry.h"
#include "ui/core/DZGlobalCore.h"
#include "ui/core/DZNavigator.h"
#include "ui/core/DZStyleSheet.h"
#include "ui/core/DZURLCache.h"
#include "ui/core/DZURLMap.h"

namespace {
Ref<UIBarButtonItem> systemItem(UIBarButtonSystemItem item, NSObject* target, const char* action) {
    return make<UIBarButtonItem>(&UIBarButtonItem::initWithBarButtonSystemItem, item, target,
                                 action ? Selector::named(action) : nullptr);
}

Ref<UIBarButtonItem> imageItem(const char* url, NSObject* target, const char* action) {
    auto image = DZURLCache::sharedCache()->imageForURL(NSString::stringWithUTF8String(url));
    return make<UIBarButtonItem>(
        static_cast<bool (UIBarButtonItem::*)(UIImage*, UIBarButtonItemStyle, NSObject*, SEL)>(
            &UIBarButtonItem::initWithImage),
        image.get(), UIBarButtonItemStylePlain, target, Selector::named(action));
}
}  // namespace

void DZWebController::describeClass(RuntimeClass& c) {
    c.implements({"webView:shouldStartLoadWithRequest:navigationType:", "webViewDidStartLoad:",
                  "webViewDidFinishLoad:", "webView:didFailLoadWithError:",
                  "actionSheet:clickedButtonAtIndex:"});
    c.method("backAction", &DZWebController::backAction)
        .method("forwardAction", &DZWebController::forwardAction)
        .method("refreshAction", &DZWebController::refreshAction)
        .method("stopAction", &DZWebController::stopAction)
        .method("shareAction", &DZWebController::shareAction);
}

bool DZWebController::initWithNibName(NSString* nibName, NSBundle* bundle) {
    if (!DZModelViewController::initWithNibName(nibName, bundle)) return false;
    setHidesBottomBarWhenPushed(true);
    return true;
}

bool DZWebController::initWithNavigatorURL(NSURL* URL, NSDictionary* query) {
    if (!init()) return false;
    if (auto request = query ? as<NSURLRequest>(query->objectForKey(NS("request"))) : nullptr)
        openRequest(request);
    else
        openURL(URL);
    return true;
}

void DZWebController::dealloc() {
    if (webView_) webView_->setDelegate(nullptr);
    if (actionSheet_) actionSheet_->setDelegate(nullptr);
    loadingURL_ = nullptr;
    headerView_ = nullptr;
    actionSheet_ = nullptr;
    DZModelViewController::dealloc();
}

// ---- loading ------------------------------------------------------------------------------------

void DZWebController::openURL(NSURL* URL) {
    if (!URL) return;
    openRequest(NSMutableURLRequest::requestWithURL(URL));
}

void DZWebController::openRequest(NSURLRequest* request) {
    view();
    webView_->loadRequest(request);
}

Ref<NSURL> DZWebController::URL() {
    if (loadingURL_) return loadingURL_;
    auto request = webView_ ? webView_->request() : nullptr;
    return request ? request->URL() : nullptr;
}

void DZWebController::backAction() {
    webView_->goBack();
}

void DZWebController::forwardAction() {
    webView_->goForward();
}

void DZWebController::refreshAction() {
    webView_->reload();
}

void DZWebController::stopAction() {
    webView_->stopLoading();
}

void DZWebController::shareAction() {
    if (actionSheet_) {
        // A second tap drops the sheet.
        auto sheet = actionSheet_;
        actionSheet_ = nullptr;
        sheet->dismissWithClickedButtonIndex(-1, true);
        sheet->setDelegate(nullptr);
        return;
    }
    actionSheet_ = make<UIActionSheet>(
        static_cast<bool (UIActionSheet::*)(NSString*, UIActionSheetDelegate*, NSString*, NSString*,
                                            std::initializer_list<NSString*>)>(
            &UIActionSheet::initWithTitle),
        nullptr, static_cast<UIActionSheetDelegate*>(this),
        DZBundleLocalizedString(NS("Cancel"), NS("")).get(), nullptr,
        std::initializer_list<NSString*>{
            DZBundleLocalizedString(NS("Open in Safari"), NS("")).get()});
    if (DZDeviceIsPadIdiom())
        actionSheet_->showFromBarButtonItem(actionButton_, true);
    else
        actionSheet_->showInView(view());
}

void DZWebController::actionSheetClickedButtonAtIndex(UIActionSheet* sheet, NSInteger index) {
    if (index == 0) UIApplication::sharedApplication()->openURL(URL());
    // The sheet is done once a choice dismissed it; the next tap shows a new one.
    if (sheet == actionSheet_.get()) actionSheet_ = nullptr;
}

// ---- the view -----------------------------------------------------------------------------------

void DZWebController::loadView() {
    DZModelViewController::loadView();
    auto root = view();
    webView_ = make<UIWebView>(&UIView::initWithFrame, DZFrameBetweenBars());
    webView_->setDelegate(this);
    webView_->setAutoresizingMask(static_cast<UIViewAutoresizing>(
        UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleHeight));
    webView_->setScalesPageToFit(true);
    root->addSubview(webView_);

    auto spinner =
        make<UIActivityIndicatorView>(&UIActivityIndicatorView::initWithActivityIndicatorStyle,
                                      UIActivityIndicatorViewStyleWhite);
    spinner->startAnimating();
    activityItem_ = make<UIBarButtonItem>(&UIBarButtonItem::initWithCustomView, spinner.get());

    backButton_ = imageItem("bundle://Dodiz20.bundle/images/backIcon.png", this, "backAction");
    // The arrows are pictures only: assistive technology reads them by these names.
    backButton_->setAccessibilityLabel(NS("Back"));
    backButton_->setTag(DZWebControllerBackTag);
    backButton_->setEnabled(false);
    forwardButton_ =
        imageItem("bundle://Dodiz20.bundle/images/forwardIcon.png", this, "forwardAction");
    forwardButton_->setAccessibilityLabel(NS("Forward"));
    forwardButton_->setTag(DZWebControllerForwardTag);
    forwardButton_->setEnabled(false);
    refreshButton_ = systemItem(UIBarButtonSystemItemRefresh, this, "refreshAction");
    refreshButton_->setTag(DZWebControllerRefreshStopTag);
    stopButton_ = systemItem(UIBarButtonSystemItemStop, this, "stopAction");
    stopButton_->setTag(DZWebControllerRefreshStopTag);
    actionButton_ = systemItem(UIBarButtonSystemItemAction, this, "shareAction");

    CGFloat barHeight = DZOrientationBarHeight(interfaceOrientation());
    toolbar_ = make<UIToolbar>(&UIView::initWithFrame,
                               CGRectMake(0, height(root) - barHeight, width(root), barHeight));
    toolbar_->setAutoresizingMask(static_cast<UIViewAutoresizing>(
        UIViewAutoresizingFlexibleWidth | UIViewAutoresizingFlexibleTopMargin));
    toolbar_->setTintColor(DZStyleSheet::globalStyleSheet()->toolbarTintColor());
    auto space = [] { return systemItem(UIBarButtonSystemItemFlexibleSpace, nullptr, nullptr); };
    toolbar_->setItems(NSArray::arrayWithObjects(
        {backButton_.get(), space().get(), forwardButton_.get(), space().get(),
         refreshButton_.get(), space().get(), actionButton_.get()}));
    root->addSubview(toolbar_);
}

void DZWebController::updateToolbarWithOrientation(UIInterfaceOrientation) {
    auto root = view();
    CGFloat barHeight = DZOrientationBarHeight(DZCurrentOrientation());
    setHeight(toolbar_, barHeight);
    setHeight(webView_, height(root) - barHeight);
    setTop(toolbar_, height(root) - barHeight);
}

void DZWebController::viewWillAppear(bool animated) {
    DZModelViewController::viewWillAppear(animated);
    updateToolbarWithOrientation(interfaceOrientation());
}

void DZWebController::viewDidUnload() {
    DZModelViewController::viewDidUnload();
    if (webView_) webView_->setDelegate(nullptr);
    webView_ = nullptr;
    toolbar_ = nullptr;
    backButton_ = nullptr;
    forwardButton_ = nullptr;
    refreshButton_ = nullptr;
    stopButton_ = nullptr;
    actionButton_ = nullptr;
    activityItem_ = nullptr;
}

void DZWebController::viewWillDisappear(bool animated) {
    // A media player started from the page may have taken the key window.
    if (auto window = view()->window()) window->makeKeyWindow();
    DZModelViewController::viewWillDisappear(animated);
}

bool DZWebController::shouldAutorotateToInterfaceOrientation(UIInterfaceOrientation orientation) {
    return DZOrientationAllowed(orientation);
}

void DZWebController::willAnimateRotationToInterfaceOrientation(UIInterfaceOrientation orientation,
                                                                NSTimeInterval duration) {
    DZModelViewController::willAnimateRotationToInterfaceOrientation(orientation, duration);
    updateToolbarWithOrientation(orientation);
}

Ref<UIView> DZWebController::rotatingFooterView() {
    return toolbar_;
}

// ---- history ------------------------------------------------------------------------------------

bool DZWebController::persistView(NSMutableDictionary* state) {
    auto url = URL();
    auto text = url ? url->absoluteString() : nullptr;
    if (!text || !text->length()) return false;
    state->setObject(text, NS("URL"));
    return true;
}

void DZWebController::restoreView(NSDictionary* state) {
    auto text = state ? as<NSString>(state->objectForKey(NS("URL"))) : nullptr;
    if (text && text->length() && !text->isEqualToString(NS("about:blank")))
        openURL(NSURL::URLWithString(text));
}

// ---- the header ---------------------------------------------------------------------------------

void DZWebController::setHeaderView(UIView* header) {
    if (header == headerView_.get()) return;
    bool adding = !headerView_ && header;
    bool removing = headerView_ && !header;
    CGFloat removedHeight = height(headerView_);
    if (headerView_) headerView_->removeFromSuperview();
    headerView_ = header;
    view();
    if (header) header->setFrame(CGRectMake(0, 0, width(webView_), height(header)));
    auto scroller = descendantOrSelfWithClass(webView_, classNamed("UIScroller"));
    auto document = descendantOrSelfWithClass(scroller.get(), classNamed("UIWebDocumentView"));
    if (scroller && header) scroller->addSubview(header);
    if (!document) return;
    if (adding) {
        setTop(document, top(document) + height(header));
        setHeight(document, height(document) - height(header));
    } else if (removing) {
        setTop(document, top(document) - removedHeight);
        setHeight(document, height(document) + removedHeight);
    }
}

// ---- the web view's messages --------------------------------------------------------------------

bool DZWebController::webViewShouldStartLoadWithRequest(UIWebView*, NSURLRequest* request,
                                                        UIWebViewNavigationType) {
    loadingURL_ = nullptr;
    auto url = request ? request->URL() : nullptr;
    if (DZNavigator::navigator()->URLMap()->isAppURL(url)) {
        loadingURL_ = NSURL::URLWithString(NS("about:blank"));
        UIApplication::sharedApplication()->openURL(url);
        return false;
    }
    loadingURL_ = url;
    updateHistoryButtons();
    return true;
}

void DZWebController::webViewDidStartLoad(UIWebView*) {
    setTitle(DZBundleLocalizedString(NS("Loading..."), NS("")));
    auto item = navigationItem();
    if (!item->rightBarButtonItem()) item->setRightBarButtonItem(activityItem_, true);
    replaceItemWithTag(toolbar_, DZWebControllerRefreshStopTag, stopButton_);
    updateHistoryButtons();
}

void DZWebController::finishLoad() {
    loadingURL_ = nullptr;
    setTitle(webView_->stringByEvaluatingJavaScriptFromString(NS("document.title")));
    auto item = navigationItem();
    // A right item that the owner put there stays.
    if (item->rightBarButtonItem() == activityItem_) item->setRightBarButtonItem(nullptr, true);
    replaceItemWithTag(toolbar_, DZWebControllerRefreshStopTag, refreshButton_);
    updateHistoryButtons();
}

void DZWebController::webViewDidFinishLoad(UIWebView*) {
    finishLoad();
}

void DZWebController::webViewDidFailLoadWithError(UIWebView*, NSError*) {
    finishLoad();
}

void DZWebController::updateHistoryButtons() {
    if (!webView_) return;
    backButton_->setEnabled(webView_->canGoBack());
    forwardButton_->setEnabled(webView_->canGoForward());
}
