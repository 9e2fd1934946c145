// The bridge between ad pages and native code. Pages navigate to command URLs ("gmsg", and the
// "pebble" hosts "launch", "closecanvas" and "log"); the delegate acts on them and refuses the
// load. Native code answers pages by calling their PBMA_ReceiveMessage. Main thread only.
#pragma once

#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "UIKit/UIViewController.h"
#include "UIKit/UIWebView.h"

class NSArray;
class NSURL;
class PBLClickTracker;
class PBLOpener;
class UIViewController;

// A command URL parsed: its name and parameters.
class PBLNotification : public NSObject {
    NS_OBJECT(PBLNotification, NSObject)
    // nil for a URL that is no command.
    static Ref<PBLNotification> notificationFromURL(NSURL* url);
    static bool isNotificationURL(NSURL* url);
    static bool isGMSGNotificationURL(NSURL* url);
    static bool isPebbleNotificationURL(NSURL* url);
    bool initWithNotificationURL(NSURL* url);

    Ref<NSString> name() { return name_; }
    void setName(NSString* name) { name_ = name; }
    Ref<NSDictionary> parameters() { return parameters_; }
    void setParameters(NSDictionary* parameters) { parameters_ = parameters; }
    Ref<NSString> description() override;

private:
    Ref<NSString> name_;
    Ref<NSDictionary> parameters_;
};

// The client's operations on the process's default center.
class PBLNotificationCenter : public NSNotificationCenter {
    NS_OBJECT(PBLNotificationCenter, NSNotificationCenter)
    // PBMA_ReceiveMessage('name', json) in the page, or ('name') without user info.
    static void postJSNotification(NSString* name, NSDictionary* userInfo, UIWebView* webView);
    // The command posted under its own name, with the object and its parameters, after the
    // delay (0: once the current run-loop turn has ended).
    static void postNotificationFromURL(NSURL* url, NSObject* object, double delay);
    static void postNotificationFromURL(NSURL* url, NSObject* object);
};

// Every command is posted under this name first, with "a" (the command) and "u" (the URL).
extern NSString* const PBLWebActionNotification;  // "didReceiveWebAction"

class PBLWebViewDelegate : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(PBLWebViewDelegate, NSObject)
    bool init() override;
    void dealloc() override;

    void setViewController(UIViewController* controller) { viewController_ = controller; }
    Ref<UIViewController> viewController() { return viewController_.lock(); }
    void setOpeningWebView(UIWebView* webView) { openingWebView_ = webView; }
    Ref<UIWebView> openingWebView() { return openingWebView_.lock(); }
    Ref<PBLOpener> opener() { return opener_; }

    void webViewDidFinishLoad(UIWebView* webView) override;
    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;

    // Orientation 1, 2, 3, 4 → the page's angle 0, 180, 90, -90.
    static void notifyWebViewOfOrientationChange(UIWebView* webView, int orientation);
    void evaluateJavaScriptInOpener(NSDictionary* parameters, UIWebView* caller);
    void processCanOpenURLs(NSArray* urls, UIWebView* webView);
    void trackURLString(NSString* string, bool appendSpamSignals);
    // Whether the tracking of the last "click" or "httpTrack" command is still out.
    bool isTracking();
    void processTouchSignals(NSDictionary* parameters);
    // The value's integer value, -1 when the key is absent.
    static int intForKey(NSString* key, NSDictionary* dictionary);

protected:
    // The landing page timings of the full-screen screens: "plpl" from the first load's start,
    // "plpd" from the first load's end.
    static void noteLandingPageStarted();
    static void noteLandingPageFinished();

private:
    void handleCommand(PBLNotification* command, NSURL* url, UIWebView* webView);
    Ref<PBLOpener> opener_;
    Ref<PBLClickTracker> tracker_;
    Weak<UIViewController> viewController_;
    Weak<UIWebView> openingWebView_;
};
