#include "WebPage.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "Regex.h"
#include "external/nk-http-request/Classes/NKFormDataRequest.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"

void WebPage::describeClass(RuntimeClass& c) {
    c.method("getPage", &WebPage::getPage);
    c.method("getReply", &WebPage::getReply);
}

void WebPage::setupMetaInfo(NKHTTPRequest* request) {
    if (!request) return;
    request->addRequestHeader(NS("User-Agent"),
                              NS("Mozilla/5.0 (iPhone; CPU iPhone OS 5_0 like Mac OS X) "
                                 "AppleWebKit/534.46 (KHTML, like Gecko) Version/5.1 "
                                 "Mobile/9A334 Safari/7534.48.3"));
    request->addRequestHeader(
        NS("Accept"), NS("text/html,application/xhtml+xml,application/xml;q=0.9,*/*;q=0.8"));
}

// Every request to the site checks the server's certificate chain and host name: the login and
// posting pages carry the account's password. The platform's trust store (and BAZAARNEST_CA_FILE)
// decide which authorities count.
static void prepare(WebPage* page, NKHTTPRequest* request) {
    page->setupMetaInfo(request);
    request->setValidatesSecureCertificate(true);
}

void WebPage::resetForNewRequest() {
    webpage_ = nullptr;
    // A request still running goes on and still reports to its delegate; only our hold on it
    // ends here.
    request_ = nullptr;
}

void WebPage::downloadPage(NSString* urlString, NKHTTPRequestDelegate* listner) {
    resetForNewRequest();
    url_ = urlString ? NSURL::URLWithString(urlString) : nullptr;
    auto request = NKHTTPRequest::requestWithURL(url_.get());
    prepare(this, request.get());
    request_ = request;
    request->setDelegate(listner);
    request->startAsynchronous();
}

void WebPage::downloadPageSync(NSString* urlString) {
    resetForNewRequest();
    url_ = urlString ? NSURL::URLWithString(urlString) : nullptr;
    auto request = NKHTTPRequest::requestWithURL(url_.get());
    prepare(this, request.get());
    request_ = request;
    request->startSynchronous();
}

void WebPage::postData(NSDictionary* values, int format, NKHTTPRequestDelegate* listner,
                       NSString* urlString) {
    auto pairs = NSMutableArray::arrayWithCapacity(10);
    if (values) {
        auto keys = values->allKeys();
        for (NSUInteger i = 0; i < keys->count(); ++i) {
            auto key = keys->objectAtIndex(i);
            pairs->addObject(key.get());
            pairs->addObject(values->objectForKey(key.get()).get());
        }
    }
    postDataArray(pairs.get(), format, listner, urlString);
}

void WebPage::postDataArray(NSArray* pairs, int format, NKHTTPRequestDelegate* listner,
                            NSString* urlString) {
    resetForNewRequest();
    if (urlString) url_ = NSURL::URLWithString(urlString);
    auto request = NKFormDataRequest::requestWithURL(url_.get());
    prepare(this, request.get());
    request->setPostFormat(format);
    request->setDelegate(listner);
    NSUInteger count = pairs ? pairs->count() : 0;
    // A trailing name without a value is left out rather than read past the list's end.
    for (NSUInteger i = 0; i + 1 < count; i += 2) {
        auto name = as<NSString>(pairs->objectAtIndex(i));
        auto value = pairs->objectAtIndex(i + 1);
        if (!name) continue;
        if (auto data = as<NSData>(value)) {
            request->addData(data.get(), name.get(), NS("image/jpeg"), name.get());
        } else {
            // Strings, and anything else by its description, go as ordinary form values.
            request->setPostValue(value.get(), name.get());
        }
    }
    request_ = request;
    if (listner)
        request->startAsynchronous();
    else
        request->startSynchronous();
}

Ref<NSString> WebPage::getPage() {
    if (webpage_) return webpage_;
    if (!request_) return nullptr;
    webpage_ = request_->responseString();
    return webpage_;
}

Ref<NSString> WebPage::getReply() {
    return getPage();
}

// The page's lines do not matter to the input patterns: they may span the tag's attributes.
static Ref<NSString> singleLine(NSString* page) {
    auto text = page->stringByReplacingOccurrencesOfString(NS("\r"), NS(""));
    return text->stringByReplacingOccurrencesOfString(NS("\n"), NS(""));
}

Ref<NSString> WebPage::getInputValue(NSString* name) {
    auto page = getPage();
    if (!page || !name) return nullptr;
    auto pattern = NSString::stringWithFormat(
        NS("<input[^<>]*[ \t]+name=\"%@\"[^>]*value=\"([^\"]*)\""), name);
    return Regex::getMatch(singleLine(page.get()).get(), pattern.get());
}

Ref<NSString> WebPage::getInputKeyByToken(NSString* token) {
    auto page = getPage();
    if (!page || !token) return nullptr;
    auto text = singleLine(page.get());
    auto after = NSString::stringWithFormat(NS("<input[^<>]*name=\"([^\"]*)\"[^>]*%@"), token);
    if (auto key = Regex::getMatch(text.get(), after.get())) return key;
    auto before = NSString::stringWithFormat(NS("<input[^<>]*%@[^>]*name=\"([^\"]*)\""), token);
    return Regex::getMatch(text.get(), before.get());
}

Ref<NKHTTPRequest> WebPage::request() {
    return request_;
}

Ref<NSURL> WebPage::url() {
    return url_;
}

void WebPage::setWebpage(NSString* text) {
    webpage_ = text;
}

void WebPage::dealloc() {
    url_ = nullptr;
    if (request_) request_->setDelegate(nullptr);
    request_ = nullptr;
    webpage_ = nullptr;
    NSObject::dealloc();
}
