#include "Classes/ItemPage.h"

#include "Classes/ItemInfo.h"
#include "Classes/ItemListPage.h"
#include "Classes/Regex.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

namespace {

NSString* bodyMark() {
    return NS("<div id=\"userbody\">");
}

}  // namespace

void ItemPage::describeClass(RuntimeClass& c) {
    c.method("receivedNotification:", &ItemPage::receivedNotification);
    c.method("getDetail", &ItemPage::getDetail);
    c.method("getTime", &ItemPage::getTime);
    c.method("getphoneNumber", &ItemPage::getphoneNumber);
    c.method("getReplyUrl", &ItemPage::getReplyUrl);
}

void ItemPage::registerForNotification() {
    auto center = NSNotificationCenter::defaultCenter();
    // One entry per page, however often it downloads.
    center->removeObserver(this, StopItemPageNotification, nullptr);
    center->addObserver(this, Selector::named("receivedNotification:"), StopItemPageNotification,
                        nullptr);
}

void ItemPage::deregisterForNotification() {
    NSNotificationCenter::defaultCenter()->removeObserver(this, StopItemPageNotification, nullptr);
}

void ItemPage::receivedNotification(NSNotification*) {
    deregisterForNotification();
    if (Ref<NKHTTPRequest> request = request_) {
        request->setDelegate(nullptr);
        request->cancel();
    }
}

void ItemPage::downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) {
    registerForNotification();
    WebPage::downloadPage(urlString, listner);
}

void ItemPage::postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                        NSString* urlString) {
    registerForNotification();
    WebPage::postData(values, format, listner, urlString);
}

Ref<NSString> ItemPage::getDetail() {
    auto page = getPage();
    if (page) {
        if (auto body = Regex::getSubstring(page.get(), bodyMark(), NS("<!-- START BZTAGS -->")))
            return body;
        if (auto heading = Regex::getMatch(page.get(), NS("<h2>([^<]+)<"))) return heading;
    }
    return expiredDetail();
}

Ref<NSString> ItemPage::expiredDetail() {
    return NSString::stringWithString(NS("This posting has expired"));
}

Ref<NSString> ItemPage::getTime() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("Date:([^<]*)</span>"));
}

Ref<NSString> ItemPage::getphoneNumber() {
    auto page = getPage();
    if (!page) return nullptr;
    // The separators are a space, a hyphen or a point: the hyphen is escaped so that the class
    // is not read as the range from space to point, which would let "555,123+4567" through.
    return Regex::getMatch(page.get(), NS("(\\(?\\d\\d\\d\\)?[ \\-.]?\\d\\d\\d[ \\-.]?\\d{4})"),
                           bodyMark(), NS("<!-- END BZTAGS -->"));
}

Ref<NSString> ItemPage::getReplyUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    if (auto address = Regex::getMatch(page.get(), NS("Reply to:.*?<a[^>]*>([^<]*)</a>")))
        return address;
    auto action = Regex::getMatch(page.get(), NS("<form id=\"reply\" action=\"([^\"]*)\""));
    if (!action) return nullptr;
    return actionUrlOnHost(url_.get(), action.get());
}

void ItemPage::getImages(NSMutableArray* urls) {
    if (!urls) return;
    urls->removeAllObjects();
    auto page = getPage();
    if (!page) return;
    auto list = Regex::getMatch(page.get(), NS("imgList = new Array\\(([^;]*)\\);"));
    if (!list) return;
    auto entries = list->componentsSeparatedByString(NS(","));
    for (NSUInteger i = 0; i < entries->count(); ++i) {
        auto entry = as<NSString>(entries->objectAtIndex(i));
        if (!entry) continue;
        if (auto quoted = Regex::getMatch(entry.get(), NS("\"(.*)\"")))
            urls->addObject(quoted.get());
    }
}

void ItemPage::fillItemInfo(ItemInfo* item) {
    if (!item) return;
    item->setDetail(getDetail().get());
    item->setTime(getTime().get());
    if (!item->imageUrl()) item->setImageUrl(NSMutableArray::arrayWithCapacity(4).get());
    if (item->showImage) getImages(item->imageUrl().get());
    item->setReplyUrl(getReplyUrl().get());
    item->setPhoneNumber(getphoneNumber().get());
}

Ref<NSString> ItemPage::getBodyImageUrl() {
    auto page = getPage();
    if (!page) return nullptr;
    return Regex::getMatch(page.get(), NS("\"(.*)\""), nullptr,
                           NS("<table summary=\"bazaarnest hosted images\">"));
}

Ref<NSString> ItemPage::actionUrlOnHost(NSURL* pageUrl, NSString* action) {
    if (!action || !pageUrl) return nullptr;
    auto host = pageUrl->host();
    if (!host || host->length() == 0) return nullptr;
    auto lower = action->lowercaseString();
    if (lower->hasPrefix(NS("http://")) || lower->hasPrefix(NS("https://")))
        return NSString::stringWithString(action);
    if (action->hasPrefix(NS("/")) && !action->hasPrefix(NS("//")))
        return NSString::stringWithFormat(NS("http://%@%@"), host.get(), action);
    // "email", "../x" or "//host/x": resolved as a browser would, then put on plain http.
    auto resolved = NSURL::URLWithString(action, pageUrl);
    if (!resolved) return nullptr;
    auto text = resolved->absoluteString();
    NSRange scheme = text->rangeOfString(NS("://"));
    if (scheme.location == NSNotFound) return nullptr;
    return NSString::stringWithFormat(NS("http://%@"),
                                      text->substringFromIndex(scheme.location + 3).get());
}

void ItemPage::dealloc() {
    deregisterForNotification();
    WebPage::dealloc();
}
