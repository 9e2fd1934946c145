// The bridge between ad pages and native code: command URLs ("gmsg", and the "pebble" host's
// own) become notifications on the client's own center, and every other navigation is allowed
// unless it would open a local file.
#pragma once

#include "Foundation/NSNotification.h"
#include "UIKit/UIWebView.h"

class NSDictionary;
class NSURL;

// The client's own notification center, apart from the application's.
class PBLNotificationCenter : public NSNotificationCenter {
    NS_OBJECT(PBLNotificationCenter, NSNotificationCenter)
    static Ref<PBLNotificationCenter> defaultCenter();
};

// Names of the page's commands the bridge posts as notifications.
extern NSString* const PBLWebActionNotification;  // "didReceiveWebAction", every command

class PBLWebViewDelegate : public NSObject, public UIWebViewDelegate {
    NS_OBJECT(PBLWebViewDelegate, NSObject)
    bool webViewShouldStartLoadWithRequest(UIWebView* webView, NSURLRequest* request,
                                           UIWebViewNavigationType navigationType) override;

    // Whether the URL is a command of an ad page: the "gmsg" scheme, or the "pebble" hosts
    // "launch", "closecanvas" and "log".
    static bool isCommandURL(NSURL* url);
    // Handles a command from the web view: posts "didReceiveWebAction", then a notification of
    // the command's own name after a 0 delay.
    void handleCommand(UIWebView* webView, NSURL* url);
};
