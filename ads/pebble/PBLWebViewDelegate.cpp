#include "ads/pebble/PBLWebViewDelegate.h"

#include "AudioToolbox/AudioToolbox.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIViewController.h"
#include "ads/pebble/PBLClickTracker.h"
#include "ads/pebble/PBLIdentifierUtilities.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBLOpener.h"
#include "ads/pebble/PBLSignals.h"
#include "ads/pebble/PBLStatistics.h"
#include "ads/pebble/PBLViewController.h"
#include "ads/pebble/PBL_PJSON.h"

NSString* const PBLWebActionNotification = NS("didReceiveWebAction");

namespace {

std::string lowerScheme(NSURL* url) {
    auto scheme = url ? url->scheme() : nullptr;
    return scheme ? scheme->lowercaseString()->utf8() : "";
}

std::string stringFor(NSDictionary* d, const char* key) {
    auto value = d ? as<NSString>(d->objectForKey(NSString::fromUTF8(key).get())) : nullptr;
    return value ? value->utf8() : "";
}

}  // namespace

// ---- PBLNotification ---------------------------------------------------------------------------

bool PBLNotification::isGMSGNotificationURL(NSURL* url) {
    return url && url->scheme() && url->scheme()->utf8() == "gmsg";
}
bool PBLNotification::isPebbleNotificationURL(NSURL* url) {
    return url && url->scheme() && url->scheme()->utf8() == "pebble";
}
bool PBLNotification::isNotificationURL(NSURL* url) {
    return isGMSGNotificationURL(url) || isPebbleNotificationURL(url);
}

Ref<PBLNotification> PBLNotification::notificationFromURL(NSURL* url) {
    return make<PBLNotification>(&PBLNotification::initWithNotificationURL, url);
}

bool PBLNotification::initWithNotificationURL(NSURL* url) {
    if (isGMSGNotificationURL(url)) {
        auto path = url->path();
        name_ = path && path->length() > 0 ? path->substringFromIndex(1) : NSString::fromUTF8("");
        parameters_ = PBLNetworkUtilities::dictionaryFromQueryString(url->query());
        return true;
    }
    if (!isPebbleNotificationURL(url) || !url->host()) return false;
    auto host = url->host()->utf8();
    auto query = PBLNetworkUtilities::dictionaryFromQueryString(url->query());
    if (host == "launch") {
        name_ = NS("open");
        auto p = NSMutableDictionary::dictionary();
        p->setObject(NS("browser"), NS("a"));
        if (auto u = query->objectForKey(NS("url"))) p->setObject(u.get(), NS("u"));
        parameters_ = p;
    } else if (host == "closecanvas") {
        name_ = NS("close");
    } else if (host == "log") {
        name_ = NS("log");
        parameters_ = query;
    } else {
        return false;
    }
    return true;
}

Ref<NSString> PBLNotification::description() {
    return NSString::stringWithFormat(NS("%@<%p>: name:%@ parameters:%@"), className().get(),
                                      static_cast<void*>(this), name_.get(), parameters_.get());
}

// ---- PBLNotificationCenter ---------------------------------------------------------------------

void PBLNotificationCenter::postJSNotification(NSString* name, NSDictionary* userInfo,
                                               UIWebView* webView) {
    if (!webView) return;
    std::string script = "PBMA_ReceiveMessage('" + (name ? name->utf8() : std::string()) + "'";
    if (userInfo) script += ", " + PBLMacros::jsonify(userInfo)->utf8();
    script += ");";
    webView->stringByEvaluatingJavaScriptFromString(NSString::fromUTF8(script).get());
}

void PBLNotificationCenter::postNotificationFromURL(NSURL* url, NSObject* object, double delay) {
    Ref<NSURL> target = url;
    Ref<NSObject> sender = object;
    auto post = [target, sender] { postNotificationFromURL(target.get(), sender.get()); };
    if (delay > 0)
        NSTimer::scheduledTimerWithTimeInterval(delay, false, [post](NSTimer*) { post(); });
    else
        NSRunLoop::currentRunLoop()->performBlock(post);
}

void PBLNotificationCenter::postNotificationFromURL(NSURL* url, NSObject* object) {
    auto note = PBLNotification::notificationFromURL(url);
    if (!note) return;
    NSNotificationCenter::defaultCenter()->postNotificationName(note->name().get(), object,
                                                                note->parameters().get());
}

// ---- PBLWebViewDelegate ------------------------------------------------------------------------

bool PBLWebViewDelegate::init() {
    opener_ = make<PBLOpener>();
    return true;
}

void PBLWebViewDelegate::dealloc() {
    if (tracker_) tracker_->reset();
    NSObject::dealloc();
}

void PBLWebViewDelegate::notifyWebViewOfOrientationChange(UIWebView* webView, int orientation) {
    int angle;
    switch (orientation) {
        case 1:
            angle = 0;
            break;
        case 2:
            angle = 180;
            break;
        case 3:
            angle = 90;
            break;
        case 4:
            angle = -90;
            break;
        default:
            return;
    }
    webView->stringByEvaluatingJavaScriptFromString(
        NSString::fromUTF8("window.__defineGetter__('orientation',function(){return " +
                           std::to_string(angle) + ";});window.onorientationchange();")
            .get());
}

void PBLWebViewDelegate::webViewDidFinishLoad(UIWebView* webView) {
    notifyWebViewOfOrientationChange(
        webView, int(UIApplication::sharedApplication()->statusBarOrientation()));
}

void PBLWebViewDelegate::noteLandingPageStarted() {
    auto statistics = PBLStatistics::sharedStatistics();
    if (!statistics->timingNamed(NS("plpl"))) statistics->startTimingNamed(NS("plpl"));
}

void PBLWebViewDelegate::noteLandingPageFinished() {
    auto statistics = PBLStatistics::sharedStatistics();
    if (statistics->timingNamed(NS("plpd"))) return;
    statistics->endTimingNamed(NS("plpl"));
    statistics->startTimingNamed(NS("plpd"));
}

int PBLWebViewDelegate::intForKey(NSString* key, NSDictionary* dictionary) {
    auto value = dictionary ? as<NSString>(dictionary->objectForKey(key)) : nullptr;
    return value ? int(value->integerValue()) : -1;
}

void PBLWebViewDelegate::processTouchSignals(NSDictionary* parameters) {
    pblSignalsRecordTouch(intForKey(NS("tx"), parameters), intForKey(NS("ty"), parameters),
                          intForKey(NS("td"), parameters));
}

void PBLWebViewDelegate::processCanOpenURLs(NSArray* urls, UIWebView* webView) {
    auto answer = PBLIdentifierUtilities::sharedInstance()->canOpenURLs(urls);
    PBLNotificationCenter::postJSNotification(NS("openableURLs"), answer.get(), webView);
}

void PBLWebViewDelegate::trackURLString(NSString* string, bool appendSpamSignals) {
    if (!tracker_) tracker_ = make<PBLClickTracker>();
    auto url = string ? NSURL::URLWithString(string) : nullptr;
    if (!url) return;
    if (appendSpamSignals) {
        if (auto ai = PBLNetworkUtilities::parameterValueForKey(NS("ai"), url.get())) {
            auto key = NSMutableString::string();
            if (pblSignalsClickParameter(ai.get(), key.get()))
                url = PBLNetworkUtilities::appendQueryKey(key.get(), nullptr, url.get());
        }
    }
    tracker_->trackURL(url.get());
}

bool PBLWebViewDelegate::isTracking() {
    return tracker_ && tracker_->isTracking();
}

void PBLWebViewDelegate::evaluateJavaScriptInOpener(NSDictionary* parameters, UIWebView* caller) {
    auto opening = openingWebView();
    if (!opening) return;
    auto js = as<NSString>(parameters->objectForKey(NS("js")));
    auto result = opening->stringByEvaluatingJavaScriptFromString(js ? js.get() : NS(""));
    auto info = NSMutableDictionary::dictionary();
    info->setObject(result ? result.get() : NS(""), NS("result"));
    PBLNotificationCenter::postJSNotification(NS("evalJavaScriptInOpenerResult"), info.get(),
                                              caller);
}

void PBLWebViewDelegate::handleCommand(PBLNotification* command, NSURL* url, UIWebView* webView) {
    std::string name = command->name()->utf8();
    Ref<NSDictionary> parameters = command->parameters();
    if (name == "click" || name == "httpTrack") {
        auto u = parameters ? as<NSString>(parameters->objectForKey(NS("u"))) : nullptr;
        trackURLString(u.get(), name == "click");
    } else if (name == "close") {
        if (auto screen = as<PBLViewController>(viewController())) screen->relinquishScreen();
    } else if (name == "log") {
        NSLog(NS("%@"), NSString::fromUTF8(stringFor(parameters.get(), "string")).get());
    } else if (name == "open") {
        opener_->openNotification(command);
    } else if (name == "touch") {
        processTouchSignals(parameters.get());
    } else if (name == "vibrate") {
        AudioServicesPlaySystemSound(kSystemSoundID_Vibrate);
    } else if (name == "canOpenURLs") {
        auto list = NSString::fromUTF8(stringFor(parameters.get(), "urls"));
        processCanOpenURLs(list->componentsSeparatedByString(NS(",")).get(), webView);
    } else if (name == "evalInOpener") {
        if (!openingWebView()) return;
        Ref<PBLWebViewDelegate> self = this;
        Ref<NSDictionary> copy = parameters ? as<NSDictionary>(parameters->copy()) : nullptr;
        Ref<UIWebView> caller = webView;
        NSRunLoop::currentRunLoop()->performBlock(
            [self, copy, caller] { self->evaluateJavaScriptInOpener(copy.get(), caller.get()); });
    } else {
        PBLNotificationCenter::postNotificationFromURL(url, webView, 0);
    }
}

bool PBLWebViewDelegate::webViewShouldStartLoadWithRequest(UIWebView* webView,
                                                           NSURLRequest* request,
                                                           UIWebViewNavigationType navigationType) {
    auto url = request ? request->URL() : nullptr;
    std::string scheme = lowerScheme(url.get());
    if (request)
        if (auto agent = request->valueForHTTPHeaderField(NS("User-Agent")))
            PBLNetworkUtilities::setUserAgentString(agent.get());
    opener_->setViewController(viewController().get());
    // A screen opened from this page can reach back into it ("evalInOpener").
    opener_->setOpeningWebView(webView);
    if (scheme == "file") return false;
    if (scheme == "about") return true;
    if (!url) return false;

    auto info = NSMutableDictionary::dictionary();
    if (auto absolute = url->absoluteString()) info->setObject(absolute.get(), NS("u"));
    auto center = NSNotificationCenter::defaultCenter();
    if (auto command = PBLNotification::notificationFromURL(url.get())) {
        info->setObject(command->name().get(), NS("a"));
        center->postNotificationName(PBLWebActionNotification, webView, info.get());
        handleCommand(command.get(), url.get(), webView);
        return false;
    }
    auto path = url->path();
    bool bareOther =
        navigationType == UIWebViewNavigationTypeOther && (!path || path->length() <= 1);
    if (!bareOther) center->postNotificationName(PBLWebActionNotification, webView, info.get());
    if (scheme == "mailto") {
        opener_->openEmailComposer(url.get());
        return false;
    }
    if (scheme == "http" || scheme == "https") return true;
    opener_->openApp(url.get());
    return false;
}
