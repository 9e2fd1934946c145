#include "ads/pebble/PBLWebViewDelegate.h"

#include "Foundation/NSDictionary.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "ads/pebble/PBLNetworkUtilities.h"

NSString* const PBLWebActionNotification = NS("didReceiveWebAction");

Ref<PBLNotificationCenter> PBLNotificationCenter::defaultCenter() {
    static Ref<PBLNotificationCenter> center = make<PBLNotificationCenter>();
    return center;
}

bool PBLWebViewDelegate::isCommandURL(NSURL* url) {
    if (!url || !url->scheme()) return false;
    auto scheme = url->scheme()->lowercaseString()->utf8();
    if (scheme == "gmsg") return true;
    if (scheme != "pebble" || !url->host()) return false;
    auto host = url->host()->utf8();
    return host == "launch" || host == "closecanvas" || host == "log";
}

void PBLWebViewDelegate::handleCommand(UIWebView* webView, NSURL* url) {
    Ref<NSString> name;
    if (url->scheme()->lowercaseString()->utf8() == "gmsg") {
        auto path = url->path();
        name = path && path->length() > 0 ? path->substringFromIndex(1) : NSString::fromUTF8("");
    } else {
        name = url->host();
    }
    Ref<NSDictionary> parameters = PBLNetworkUtilities::dictionaryFromQueryString(url->query());
    auto center = PBLNotificationCenter::defaultCenter();
    auto info = NSMutableDictionary::dictionary();
    info->setObject(name.get(), NS("command"));
    info->setObject(parameters.get(), NS("parameters"));
    center->postNotificationName(PBLWebActionNotification, webView, info.get());
    // The page's answer arrives after its own script turn has ended.
    Weak<UIWebView> weakView = webView;
    NSRunLoop::currentRunLoop()->performBlock([weakView, name, parameters] {
        auto view = weakView.lock();
        if (!view) return;
        PBLNotificationCenter::defaultCenter()->postNotificationName(name.get(), view.get(),
                                                                     parameters.get());
    });
}

bool PBLWebViewDelegate::webViewShouldStartLoadWithRequest(UIWebView* webView,
                                                           NSURLRequest* request,
                                                           UIWebViewNavigationType) {
    auto url = request ? request->URL() : nullptr;
    if (!url) return false;
    if (isCommandURL(url.get())) {
        handleCommand(webView, url.get());
        return false;
    }
    auto scheme = url->scheme();
    return !(scheme && scheme->lowercaseString()->utf8() == "file");
}
