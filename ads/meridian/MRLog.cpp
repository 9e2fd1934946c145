#include "ads/meridian/MRLog.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/meridian/MRGenericAdView.h"
#include "ads/meridian/MRHosts.h"

Ref<NSString> MRLog::stringFromLogType(int32_t type) {
    switch (type) {
        case 1:
            return NS("EXPAND");
        case 2:
            return NS("COLLAPSE");
        case 3:
            return NS("ON_LOAD");
        case 4:
            return NS("VIEW_VIDEO");
        case 6:
            return NS("CAROUSEL_LEFT");
        case 7:
            return NS("CAROUSEL_RIGHT");
        case 8:
            return NS("CALL");
        case 9:
            return NS("INAPPLOAD");
        default:
            return NS("INTERACTION");
    }
}

void MRLog::log(NSDictionary* parameters, int32_t activity, NSString* acid) {
    logActivityWithString(parameters, stringFromLogType(activity).get(), acid);
}

Ref<NSString> MRLog::pixelURLString(NSDictionary* parameters, NSString* activity, NSString* acid) {
    if (!acid || acid->length() == 0) acid = NS("99");
    auto version = parameters ? as<NSString>(parameters->objectForKey(NS("version"))) : nullptr;
    Ref<NSString> base =
        version && version->isEqualToString(NS("live"))
            ? NSString::stringWithFormat(NS("http://%s/custom/common/pixel/image.php"),
                                         MRLiveLogHost)
            : NSString::stringWithFormat(NS("http://%s/productiton/common/pixel/image.php"),
                                         MRDemoLogHost);
    // Every value is escaped: a "&" in one must not add keys to the pixel.
    auto url = NSMutableString::stringWithFormat(NS("%@?activity=%@&acid=%@"), base.get(),
                                                 MRGenericAdView::urlEncode(activity).get(),
                                                 MRGenericAdView::urlEncode(acid).get());
    if (parameters) {
        auto keys = parameters->allKeys();
        for (NSUInteger i = 0; i < keys->count(); i++) {
            auto key = keys->objectAtIndex(i);
            auto value = parameters->objectForKey(key.get());
            if (!value) continue;
            auto text = value->description();
            if (!text || text->length() == 0) continue;
            url->appendFormat(NS("&%@=%@"),
                              MRGenericAdView::urlEncode(key->description().get()).get(),
                              MRGenericAdView::urlEncode(text.get()).get());
        }
    }
    return url;
}

void MRLog::logActivityWithString(NSDictionary* parameters, NSString* activity, NSString* acid) {
    auto url = pixelURLString(parameters, activity, acid);
    NSLog(NS("MRLog: %@"), url.get());
    logURL(url.get());
}

void MRLog::logURL(NSString* url) {
    auto u = NSURL::URLWithString(url);
    if (!u) return;
    // Fire and forget: the connection keeps itself until the load ends.
    NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(u.get()).get(), nullptr);
}
