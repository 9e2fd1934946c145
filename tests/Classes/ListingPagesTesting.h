// What the listing, reply and captcha page tests share: picking generated listings of the
// stand-in site by their features, a request listener that records what it hears, serving the
// main loop's queued callbacks, and answering a captcha the way the captcha screen does.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "Classes/VerificationPage.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "external/nk-http-request/Classes/NKHTTPRequest.h"
#include "support/FoundationTesting.h"
#include "support/RunLoopTesting.h"
#include "support/site/RunningSite.h"
#include "tools/site/Catalog.h"
#include "tools/site/Listings.h"

namespace listingtest {

inline std::string pageUrlOf(const bnsite::Listing& l) {
    const auto& c = sitetest::site().catalog();
    const auto& m = c.metros[static_cast<size_t>(l.metro)];
    std::string out = bnsite::cityRoot(m.code);
    if (l.subArea >= 0) out += "/" + m.subAreas[static_cast<size_t>(l.subArea)].code;
    return out + "/" + c.categories[static_cast<size_t>(l.category)].code + "/" +
           std::to_string(l.id) + ".html";
}

inline bool live(const bnsite::Listing& l) {
    return l.status == bnsite::Listing::Status::Live;
}

// The first generated Boston listing that fits.
inline std::optional<bnsite::Listing> findListing(
    const std::function<bool(const bnsite::Listing&)>& fits) {
    auto& site = sitetest::site();
    int metro = site.catalog().metroIndex("boston");
    for (size_t cat = 0; cat < site.catalog().categories.size(); ++cat)
        for (const auto& l : *site.listings().generated(metro, static_cast<int>(cat)))
            if (fits(l)) return l;
    return std::nullopt;
}

class RequestWatcher : public NSObject, public NKHTTPRequestDelegate {
    NS_OBJECT(RequestWatcher, NSObject)
    static void describeClass(RuntimeClass& c) {
        c.implements({"requestFinished:", "requestFailed:"});
    }

public:
    void requestFinished(NKHTTPRequest* r) override {
        ++finished;
        status = r->responseStatusCode();
        url = text(r->url());
    }
    void requestFailed(NKHTTPRequest*) override { ++failed; }
    int ended() const { return finished + failed; }
    // Runs the main loop until `count` requests have ended.
    bool waitFor(int count) {
        return runLoopUntil([&] { return ended() >= count; });
    }
    int finished = 0;
    int failed = 0;
    int status = 0;
    std::string url;
};

// Serves every callback queued to the main loop so far.
inline bool drainMainLoop() {
    bool drained = false;
    NSRunLoop::performOnMainThread([&] { drained = true; }, false);
    return runLoopUntil([&] { return drained; });
}

// Answers the captcha in the frame with the words the site drew; the code it shows, or nil.
inline Ref<NSString> solveCaptcha(NSString* frameUrl) {
    auto frame = make<VerificationPage>();
    frame->downloadPageSync(frameUrl);
    auto answer = sitetest::site().captchaAnswer(text(frame->getChallengeField())).value_or("");
    frame->postAnswer(str(answer), nullptr);
    return frame->getVerificationCode();
}

}  // namespace listingtest
