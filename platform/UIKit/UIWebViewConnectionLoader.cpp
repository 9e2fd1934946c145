#include "UIKit/UIWebViewConnectionLoader.h"

#include "Foundation/NSData.h"
#include "Foundation/NSError.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "URLLoading/NSURLConnection.h"
#include "URLLoading/NSURLResponse.h"

namespace {

// Collects one fetch and hands it to the web view's completion once.
class PageFetch : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(PageFetch, NSObject)

public:
    UIWebViewLoadCompletion done;
    UIWebViewRedirectCheck shouldRedirect;

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection, NSURLRequest* request,
                                                NSURLResponse* redirectResponse) override {
        if (!redirectResponse || !shouldRedirect || shouldRedirect(request)) return request;
        // Refused: the web view has ended the load; this fetch ends without a word.
        done = nullptr;
        connection->cancel();
        return nullptr;
    }
    Ref<NSURLResponse> response;
    Ref<NSMutableData> data = NSMutableData::data();

    void connectionDidReceiveResponse(NSURLConnection* connection, NSURLResponse* r) override {
        response = r;
        data->setLength(0);
        // The connection follows only http(s) redirects; one to another scheme (a server
        // handing over to an application) is still a navigation the web view decides on.
        auto http = as<NSHTTPURLResponse>(r);
        NSInteger status = http ? http->statusCode() : 0;
        if (!shouldRedirect || status < 300 || status > 399) return;
        auto location = http->valueForHTTPHeaderField(NS("Location"));
        auto target = location ? NSURL::URLWithString(location.get(), r->URL().get()) : nullptr;
        auto scheme = target && target->scheme() ? target->scheme()->lowercaseString() : nullptr;
        if (!scheme || scheme->isEqualToString(NS("http")) || scheme->isEqualToString(NS("https")))
            return;
        if (shouldRedirect(NSURLRequest::requestWithURL(target.get()).get())) return;
        done = nullptr;
        connection->cancel();
    }
    void connectionDidReceiveData(NSURLConnection*, NSData* d) override { data->appendData(d); }
    void connectionDidFinishLoading(NSURLConnection*) override {
        UIWebViewLoadResult result;
        result.data = data;
        if (response) {
            result.MIMEType = response->MIMEType();
            result.textEncoding = response->textEncodingName();
            result.URL = response->URL();
        }
        hand(std::move(result));
    }
    void connectionDidFailWithError(NSURLConnection*, NSError* error) override {
        UIWebViewLoadResult result;
        result.error = error;
        hand(std::move(result));
    }

private:
    void hand(UIWebViewLoadResult result) {
        UIWebViewLoadCompletion call = std::move(done);
        done = nullptr;
        if (call) call(std::move(result));
    }
};

void fetch(NSURLRequest* request, UIWebViewLoadCompletion done,
           UIWebViewRedirectCheck shouldRedirect) {
    Ref<NSMutableURLRequest> sent = request->mutableCopy();
    if (!sent->valueForHTTPHeaderField(NS("User-Agent")))
        sent->setValueForHTTPHeaderField(UIWebView::userAgent(), NS("User-Agent"));
    auto loop = NSRunLoop::mainRunLoop();
    auto start = [sent, done, shouldRedirect, loop] {
        auto page = make<PageFetch>();
        page->done = done;
        page->shouldRedirect = shouldRedirect;
        auto connection = alloc<NSURLConnection>();
        if (!connection->initWithRequest(sent, page, false)) return;
        connection->unscheduleFromRunLoop(NSRunLoop::currentRunLoop(), NSDefaultRunLoopMode);
        connection->scheduleInRunLoop(loop, NSRunLoopCommonModes);
        connection->start();
    };
    NSRunLoop::performOnMainThread(start, false);
}

}  // namespace

UIWebViewURLLoader UIWebViewConnectionLoader() {
    return fetch;
}
