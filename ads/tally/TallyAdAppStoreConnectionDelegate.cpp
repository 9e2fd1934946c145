#include "ads/tally/TallyAdAppStoreConnectionDelegate.h"

#include "Foundation/NSNumber.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "ads/tally/TallyAdImpression.h"
#include "analytics/base/TallyUtil.h"

Ref<NSURLConnection> TallyAdAppStoreConnectionDelegate::openReferralURL(NSURL* url) {
    if (adImpression_) adImpression_->updateWithResult(NSNumber::numberWithInt(6));
    TallyUtil::debugLog(NS("Tally: first redirection url[%@]"), url);
    iTunesURL_ = url;
    if (!url) return nullptr;
    following_.setHeld(true);
    return NSURLConnection::connectionWithRequest(NSURLRequest::requestWithURL(url), this);
}

Ref<NSURLRequest> TallyAdAppStoreConnectionDelegate::connectionWillSendRequest(
    NSURLConnection*, NSURLRequest* request, NSURLResponse*) {
    iTunesURL_ = request ? request->URL() : nullptr;
    TallyUtil::debugLog(NS("Tally: redirection url[%@]"), iTunesURL_);
    return request;
}

void TallyAdAppStoreConnectionDelegate::connectionDidFinishLoading(NSURLConnection*) {
    following_.setHeld(false);
    if (adImpression_) adImpression_->updateWithResult(NSNumber::numberWithInt(8));
    TallyUtil::debugLog(NS("Tally: last redirection url[%@]"), iTunesURL_);
    if (auto app = UIApplication::sharedApplication()) app->openURL(iTunesURL_);
}

void TallyAdAppStoreConnectionDelegate::connectionDidFailWithError(NSURLConnection*, NSError*) {
    following_.setHeld(false);
}
