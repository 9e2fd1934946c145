#include "ads/pebble/PBLOpener.h"

#include <utility>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIViewController.h"
#include "ads/pebble/PBLBrowserController.h"
#include "ads/pebble/PBLClickTracker.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBLStatistics.h"
#include "ads/pebble/PBLWebAppViewController.h"
#include "ads/pebble/PBLWebViewDelegate.h"

namespace {
int retries = 0;

Ref<NSArray> splitAtCommas(NSObject* value) {
    auto text = as<NSString>(value);
    return text ? text->componentsSeparatedByString(NS(",")) : nullptr;
}
}  // namespace

void PBLOpener::describeClass(RuntimeClass& c) {
    c.implements({"mailComposeController:didFinishWithResult:error:"});
}

int PBLOpener::retryCount() {
    return retries;
}

void PBLOpener::openNotification(PBLNotification* notification) {
    auto parameters = notification ? notification->parameters() : nullptr;
    if (!parameters) return;
    auto text = as<NSString>(parameters->objectForKey(NS("u")));
    auto html = as<NSString>(parameters->objectForKey(NS("html")));
    auto actionText = as<NSString>(parameters->objectForKey(NS("a")));
    std::string action = actionText ? actionText->utf8() : "";
    auto orientationText = as<NSString>(parameters->objectForKey(NS("o")));
    std::string o = orientationText ? orientationText->utf8() : "";
    auto url = text ? NSURL::URLWithString(text.get()) : nullptr;
    if (!url && !(html && action == "webapp")) return;
    int orientations = o == "p" ? 2 : o == "l" ? 3 : 1;
    // The click is counted (and its timings started) whatever it opens.
    auto clickURL = url ? PBLStatistics::sharedStatistics()->urlForClick(url.get()) : nullptr;
    if (action == "browser" || action == "video") {
        openBrowserToURL(clickURL.get(), orientations);
    } else if (action == "webapp") {
        if (clickURL)
            openWebApp(clickURL.get(), orientations);
        else if (html)
            openWebAppWithHTML(html.get(), orientations);
    } else {
        openApp(clickURL.get());
    }
}

void PBLOpener::openBrowserToURL(NSURL* url, int supportedOrientations) {
    auto browser = make<PBLBrowserController>();
    browser->setSupportedOrientations(supportedOrientations);
    browser->setOpeningWebView(openingWebView().get());
    browser->load(url, referringURL_.get());
    browser->setDelegateManager(delegateManager_.get());
    browser->presentFromViewController(viewController().get());
    screen_ = browser.get();
}

Ref<PBLWebAppViewController> PBLOpener::webAppOrientations(int supportedOrientations) {
    auto screen = make<PBLWebAppViewController>();
    screen->setSupportedOrientations(supportedOrientations);
    screen->setOpeningWebView(openingWebView().get());
    screen->setDelegateManager(delegateManager_.get());
    return screen;
}

void PBLOpener::openWebApp(NSURL* url, int supportedOrientations) {
    auto screen = webAppOrientations(supportedOrientations);
    screen->load(url);
    screen->presentFromViewController(viewController().get());
    screen_ = screen.get();
}

void PBLOpener::openWebAppWithHTML(NSString* html, int supportedOrientations) {
    auto screen = webAppOrientations(supportedOrientations);
    screen->loadHTML(html, nullptr);
    screen->presentFromViewController(viewController().get());
    screen_ = screen.get();
}

void PBLOpener::openApp(NSURL* url) {
    if (!url) return;
    if (PBLClickTracker::activeTrackings()) {
        if (retries++ <= 2) {
            Ref<PBLOpener> self = this;
            Ref<NSURL> target = url;
            NSTimer::scheduledTimerWithTimeInterval(
                0.3, false, [self, target](NSTimer*) { self->openApp(target.get()); });
            return;
        }
    }
    retries = 0;
    if (delegateManager_) delegateManager_->willLeaveApplication();
    Ref<NSURL> target = url;
    NSRunLoop::currentRunLoop()->performBlock(
        [target] { UIApplication::sharedApplication()->openURL(target.get()); });
}

void PBLOpener::openEmailComposer(NSURL* url) {
    auto absolute = url ? url->absoluteString() : nullptr;
    if (!absolute || absolute->length() < 7) return;
    std::string rest = absolute->utf8().substr(7);  // after "mailto:"
    std::string address = rest;
    Ref<NSDictionary> query;
    auto mark = rest.find('?');
    if (mark != std::string::npos) {
        address = rest.substr(0, mark);
        query = PBLNetworkUtilities::dictionaryFromQueryString(
            NSString::fromUTF8(rest.substr(mark + 1)).get());
    }
    auto composer = make<MFMailComposeViewController>();
    composer->setMailComposeDelegate(this);
    composer->setToRecipients(NSArray::arrayWithObjects({NSString::fromUTF8(address).get()}).get());
    if (query) {
        if (auto cc = splitAtCommas(query->objectForKey(NS("cc")).get()))
            composer->setCcRecipients(cc.get());
        if (auto bcc = splitAtCommas(query->objectForKey(NS("bcc")).get()))
            composer->setBccRecipients(bcc.get());
        if (auto subject = as<NSString>(query->objectForKey(NS("subject"))))
            composer->setSubject(subject.get());
        if (auto body = as<NSString>(query->objectForKey(NS("body"))))
            composer->setMessageBody(body.get(), false);
    }
    composer->setModalTransitionStyle(UIModalTransitionStyleCoverVertical);
    if (auto controller = viewController()) {
        controller->presentModalViewController(composer.get(), true);
        // The composer holds its delegate weakly, and the banner that owns this opener may go
        // (its screen's view let go on a memory warning) while the composer is up: the opener
        // stays until the composer is finished, so that it is always closed.
        composing_ = this;
        screen_ = composer.get();
    }
}

bool PBLOpener::showsScreen() {
    auto screen = screen_.lock();
    return screen && screen->presentingViewController();
}

void PBLOpener::mailComposeControllerDidFinishWithResult(MFMailComposeViewController* composer,
                                                         MFMailComposeResult, NSError*) {
    Ref<PBLOpener> keep = std::exchange(composing_, nullptr);
    // Closed through the controller that presents it, whatever became of the one that asked.
    if (auto presenter = composer ? composer->presentingViewController() : nullptr)
        presenter->dismissModalViewControllerAnimated(true);
    if (auto controller = viewController()) controller->becomeFirstResponder();
}
