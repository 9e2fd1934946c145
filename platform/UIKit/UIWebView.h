// The web view: loads HTML strings, data and URL requests, keeps a back/forward history, tells
// its delegate about every navigation in the platform's order and runs the page's scripts.
//
// Pages are parsed into a document tree and their scripts run in an embedded JavaScript engine
// with a small browser model: window, document (title, body, element look-ups, creation and
// editing, attributes, inner HTML, events and onclick handlers), location (assignments become
// navigations), timers on the run loop and the Clock, and console output to the log. The
// document, as the scripts leave it, is laid out and painted by an HTML/CSS layout engine at the
// view's width into the view inside the scroller (its height is the page's); images and linked
// style sheets come through the loader. The terminal front end reads a page as text (leaving out
// what style rules hide) and clicks its elements by number; a tap at a point clicks the laid-out
// element under it.
//
// Loading, in the platform's order: the load call asks the delegate
// webViewShouldStartLoadWithRequest (with the navigation type) and, when allowed, ends a load
// still in progress with webViewDidFailLoadWithError (NSURLErrorCancelled) and sends
// webViewDidStartLoad, all before the call returns. The content arrives on a later run-loop
// pass: the page is built, its scripts run, its load event fires and webViewDidFinishLoad (or
// webViewDidFailLoadWithError) follows. Navigations that a page starts (links, forms, location
// changes) are decided on the next run-loop pass, never inside the page's own script.
//
// Main thread only.
#pragma once

#include <functional>
#include <memory>
#include <type_traits>

#include "UIKit/UITextView.h"  // UIDataDetectorTypes
#include "UIKit/UIView.h"

class NSData;
class NSDictionary;
class NSError;
class NSURL;
class NSURLRequest;
class UIScrollView;
class UIWebView;

enum UIWebViewNavigationType : NSInteger {
    UIWebViewNavigationTypeLinkClicked = 0,
    UIWebViewNavigationTypeFormSubmitted = 1,
    UIWebViewNavigationTypeBackForward = 2,
    UIWebViewNavigationTypeReload = 3,
    UIWebViewNavigationTypeFormResubmitted = 4,
    UIWebViewNavigationTypeOther = 5,
};

// webView:shouldStartLoadWithRequest:navigationType:, webViewDidStartLoad:,
// webViewDidFinishLoad:, webView:didFailLoadWithError:; all optional.
class UIWebViewDelegate {
public:
    virtual ~UIWebViewDelegate() = default;
    // Not implemented means YES.
    virtual bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                                   UIWebViewNavigationType navigationType);
    virtual void webViewDidStartLoad(UIWebView*) {}
    virtual void webViewDidFinishLoad(UIWebView*) {}
    virtual void webViewDidFailLoadWithError(UIWebView*, NSError*) {}
};

// What a fetch of an http(s) page (or of a script such a page names) produced: the body with its
// type, or a failure.
struct UIWebViewLoadResult {
    Ref<NSError> error;          // set for a failure; the rest is then ignored
    Ref<NSData> data;            // the body
    Ref<NSString> MIMEType;      // nil: "text/html"
    Ref<NSString> textEncoding;  // an IANA charset name; nil: from the page or its bytes
    Ref<NSURL> URL;              // the URL finally answered (after redirects); nil: the request's
};
// Receives the result once, on any thread.
using UIWebViewLoadCompletion = std::function<void(UIWebViewLoadResult result)>;
// Asked on the main thread before a fetch follows a server redirect; false stops the fetch,
// which then ends without calling its completion (the web view has ended the load itself).
using UIWebViewRedirectCheck = std::function<bool(NSURLRequest* redirected)>;
// Fetches an http(s) request and calls the completion once, on any thread. A loader that
// follows redirects itself asks the check first, when one is given; a loader made from a
// function of two arguments ignores it.
class UIWebViewURLLoader {
public:
    using Fetch = std::function<void(NSURLRequest* request, UIWebViewLoadCompletion done,
                                     UIWebViewRedirectCheck shouldRedirect)>;
    UIWebViewURLLoader() = default;
    UIWebViewURLLoader(std::nullptr_t) {}
    template <class F,
              class = std::enable_if_t<!std::is_same_v<std::decay_t<F>, UIWebViewURLLoader>>>
    UIWebViewURLLoader(F f) {
        if constexpr (std::is_invocable_v<F&, NSURLRequest*, UIWebViewLoadCompletion,
                                          UIWebViewRedirectCheck>) {
            fetch_ = std::move(f);
        } else {
            fetch_ = [f = std::move(f)](NSURLRequest* r, UIWebViewLoadCompletion done,
                                        UIWebViewRedirectCheck) mutable { f(r, std::move(done)); };
        }
    }
    explicit operator bool() const { return static_cast<bool>(fetch_); }
    void operator()(NSURLRequest* request, UIWebViewLoadCompletion done,
                    UIWebViewRedirectCheck shouldRedirect = nullptr) const {
        fetch_(request, std::move(done), std::move(shouldRedirect));
    }

private:
    Fetch fetch_;
};

class UIWebView : public UIView {
    NS_OBJECT(UIWebView, UIView)
    static void describeClass(RuntimeClass& c);

    bool initWithFrame(CGRect frame) override;

    Ref<UIWebViewDelegate> delegate() { return delegate_.lock(); }
    void setDelegate(UIWebViewDelegate* delegate) { delegate_ = delegate; }

    // ---- loading ---------------------------------------------------------------------------
    void loadRequest(NSURLRequest* request);
    // The page's URL is the base URL, "about:blank" without one. A nil string loads an empty
    // page.
    void loadHTMLString(NSString* string, NSURL* baseURL);
    // loadData:MIMEType:textEncodingName:baseURL:.
    void loadData(NSData* data, NSString* MIMEType, NSString* textEncodingName, NSURL* baseURL);
    // The request of the load in progress, else that of the page shown; nil before any load.
    Ref<NSURLRequest> request();
    bool isLoading() { return loading_; }
    void stopLoading();
    void reload();

    // ---- history ---------------------------------------------------------------------------
    bool canGoBack();
    bool canGoForward();
    void goBack();
    void goForward();

    // ---- scripts ---------------------------------------------------------------------------
    // Runs the script in the page and answers what a browser answers: the completion value as
    // text (numbers printed as the script language prints them, booleans as "true"/"false"),
    // "" for undefined, null, objects, functions and scripts that fail.
    Ref<NSString> stringByEvaluatingJavaScriptFromString(NSString* script);

    // ---- settings (stored; nothing is rendered) ---------------------------------------------
    bool scalesPageToFit() { return scalesPageToFit_; }
    void setScalesPageToFit(bool v) { scalesPageToFit_ = v; }
    UIDataDetectorTypes dataDetectorTypes() { return dataDetectorTypes_; }
    void setDataDetectorTypes(UIDataDetectorTypes v) { dataDetectorTypes_ = v; }
    // detectsPhoneNumbers, the older form: the phone-number bit of dataDetectorTypes.
    bool detectsPhoneNumbers() { return (dataDetectorTypes_ & UIDataDetectorTypePhoneNumber) != 0; }
    void setDetectsPhoneNumbers(bool v);
    bool allowsInlineMediaPlayback() { return allowsInlineMediaPlayback_; }
    void setAllowsInlineMediaPlayback(bool v) { allowsInlineMediaPlayback_ = v; }
    bool mediaPlaybackRequiresUserAction() { return mediaPlaybackRequiresUserAction_; }
    void setMediaPlaybackRequiresUserAction(bool v) { mediaPlaybackRequiresUserAction_ = v; }
    bool mediaPlaybackAllowsAirPlay() { return mediaPlaybackAllowsAirPlay_; }
    void setMediaPlaybackAllowsAirPlay(bool v) { mediaPlaybackAllowsAirPlay_ = v; }
    // The scroller that holds the page: the web view's first subview.
    Ref<UIScrollView> scrollView();

    // ---- the terminal front end's view of the page ------------------------------------------
    // The page as readable text: headings, paragraphs and list items on lines of their own,
    // links, buttons, form fields and other clickable elements numbered ("[1] text"), images as
    // "[image URL]", fields as "[text: value]", "[password]", "[x]" / "[ ]", "[select: choice]".
    Ref<NSString> readableText();
    // The page's title ("" when it has none).
    Ref<NSString> pageTitle();
    // How many elements readableText numbered.
    NSUInteger clickableElementCount();
    // Clicks the element readableText shows as [number] (from 1), as a finger would: the click
    // event runs the page's handlers and, unless one cancels it, a link or submit button
    // navigates (decided on the next run-loop pass) and a check box toggles. NO when there is
    // no such element.
    bool clickElementAtIndex(NSUInteger number);
    // The same for the element with that id attribute.
    bool clickElementWithId(NSString* elementId);
    // Types into the numbered text field or text area (its text becomes `text`), or picks the
    // option of a numbered selection whose value or label is `text`; the page's input and
    // change handlers run. NO for any other element.
    bool enterTextInElementAtIndex(NSUInteger number, NSString* text);
    // The element that has the focus, as readableText numbers it, 0 for none: the text field,
    // text area or selection that a click (a finger's, by tapAtPoint or clickElementAtIndex) or
    // typing last reached on the page shown. A click on anything else, or another page, takes
    // the focus away.
    NSUInteger focusedElementIndex();
    // A tap at the point (the view's coordinates): clicks the laid-out element under it as
    // clickElementAtIndex does, so a link navigates with type LinkClicked. NO when no element
    // of the page is there.
    bool tapAtPoint(CGPoint point);
    // Where the numbered element shows in the view, found as tapAtPoint finds it: from the
    // first point of it from the top, the run of it along that line and down from there. Null
    // when none of it shows.
    CGRect rectForElementAtIndex(NSUInteger number);
    // A finger that lifts within the tap slop of where it landed, however long it stayed,
    // taps there (tapAtPoint): a held text field takes the focus as a tapped one does.
    void touchesEnded(NSSet* touches, UIEvent* event) override;

    void layoutSubviews() override;

    // ---- loading of http(s) URLs --------------------------------------------------------------
    // The process-wide fetch for http(s) pages and scripts; the default fails every fetch with
    // NSURLErrorDomain / NSURLErrorNotConnectedToInternet. An empty function restores it.
    // Returns the previous loader.
    static UIWebViewURLLoader setURLLoader(UIWebViewURLLoader loader);
    // The navigator's user agent text.
    static Ref<NSString> userAgent();

    void dealloc() override;
    UIWebView();
    ~UIWebView() override;

    struct Impl;

private:
    Impl& impl();

    Weak<UIWebViewDelegate> delegate_;
    std::unique_ptr<Impl> impl_;
    bool loading_ = false;
    bool scalesPageToFit_ = false;
    UIDataDetectorTypes dataDetectorTypes_ = UIDataDetectorTypePhoneNumber;
    bool allowsInlineMediaPlayback_ = false;
    bool mediaPlaybackRequiresUserAction_ = true;
    bool mediaPlaybackAllowsAirPlay_ = true;
};
