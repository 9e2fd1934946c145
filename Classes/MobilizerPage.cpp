#include "Classes/MobilizerPage.h"

#include "Classes/MatchKit/MatchKit.h"
#include "Classes/SiteHosts.h"

Ref<NSString> MobilizerPage::serviceUrl(NSString* pageUrl) {
    return NSString::stringWithFormat(NS("http://%@/gwt/x?u=%@&ct=pg1&whp=30"),
                                      SiteHosts::simplifierHost(), pageUrl);
}

void MobilizerPage::downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) {
    WebPage::downloadPage(serviceUrl(urlString).get(), listner);
}

Ref<NSString> MobilizerPage::getContent() {
    auto page = getPage();
    if (!page) return nullptr;
    return stringByReplacingOccurrencesOfRegex(
        page.get(), NS("<a href=[^>]*u=http%3A%2F%2F([^&]*)[^>]*>\\[Image]</a>"),
        NS("<img src=\"http://$1\"/>"));
}
