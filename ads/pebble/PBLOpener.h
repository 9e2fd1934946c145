// Carries out what an ad page asks to open: the in-app browser, another application through the
// system, or the web app screen, the mail composer. Each web view delegate owns one. Main thread
// only.
#pragma once

#include "Foundation/NSObject.h"
#include "Foundation/NSURL.h"
#include "MessageUI/MFMailComposeViewController.h"
#include "UIKit/UIWebView.h"
#include "ads/pebble/PBLDelegateManager.h"

class PBLNotification;
class PBLWebAppViewController;
class UIViewController;

class PBLOpener : public NSObject, public MFMailComposeViewControllerDelegate {
    NS_OBJECT(PBLOpener, NSObject)
    static void describeClass(RuntimeClass& c);
    void setDelegateManager(PBLDelegateManager* manager) { delegateManager_ = manager; }
    Ref<PBLDelegateManager> delegateManager() { return delegateManager_; }
    void setViewController(UIViewController* controller) { viewController_ = controller; }
    Ref<UIViewController> viewController() { return viewController_.lock(); }
    void setReferringURL(NSURL* url) { referringURL_ = url; }
    Ref<NSURL> referringURL() { return referringURL_; }
    void setOpeningWebView(UIWebView* webView) { openingWebView_ = webView; }
    Ref<UIWebView> openingWebView() { return openingWebView_.lock(); }

    // Closes the composer through the controller that presents it.
    void mailComposeControllerDidFinishWithResult(MFMailComposeViewController* composer,
                                                  MFMailComposeResult result,
                                                  NSError* error) override;
    // The composer for a mailto: URL, presented from viewController; the opener lives on until
    // the composer is finished.
    void openEmailComposer(NSURL* url);
    // Waits up to three times 0.3 s for click trackings to end, then tells the delegates the
    // application is being left and hands the URL to the system on the next run-loop turn.
    void openApp(NSURL* url);
    // The in-app browser with the URL, referred by referringURL, presented from viewController.
    // Orientations: 1 any, 2 portrait, 3 landscape.
    void openBrowserToURL(NSURL* url, int supportedOrientations);
    // A new web app screen (owned by the current release pool) with the orientations, the
    // opening web view and the delegate manager.
    Ref<PBLWebAppViewController> webAppOrientations(int supportedOrientations);
    void openWebApp(NSURL* url, int supportedOrientations);
    void openWebAppWithHTML(NSString* html, int supportedOrientations);
    // The "open" command: "a" browser, webapp, video or another app; "u", "html", "o".
    void openNotification(PBLNotification* notification);
    // The process-wide retry count of openApp (a test aid).
    static int retryCount();
    // Whether a screen it opened (browser, web app, mail composer) is still presented.
    bool showsScreen();

private:
    Ref<PBLDelegateManager> delegateManager_;
    Weak<UIViewController> viewController_;
    Ref<NSURL> referringURL_;
    Weak<UIWebView> openingWebView_;
    // Itself, while the mail composer it opened is up.
    Ref<PBLOpener> composing_;
    Weak<UIViewController> screen_;
};
