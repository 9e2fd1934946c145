// Follows an offer URL through the ad server's referral redirects to the store URL and hands
// that to the system to open, recording the steps in the ad's impression (6 at the start, 8 at
// the hand-off). It holds the network activity indicator while it follows: until the follow
// ends or fails, or the connection, cancelled, lets it go.
#pragma once

#include "Foundation/NSURL.h"
#include "UIKit/UIApplication.h"
#include "URLLoading/NSURLConnection.h"
#include "ads/tally/TallyAdImpression.h"

class NSURL;
class TallyAdImpression;

class TallyAdAppStoreConnectionDelegate : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(TallyAdAppStoreConnectionDelegate, NSObject)

    // The started connection, which keeps its follower until it ends.
    Ref<NSURLConnection> openReferralURL(NSURL* url);

    Ref<NSURLRequest> connectionWillSendRequest(NSURLConnection* connection, NSURLRequest* request,
                                                NSURLResponse* redirectResponse) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

    Ref<NSURL> iTunesURL() { return iTunesURL_; }
    void setITunesURL(NSURL* url) { iTunesURL_ = url; }
    Ref<TallyAdImpression> adImpression() { return adImpression_; }
    void setAdImpression(TallyAdImpression* impression) { adImpression_ = impression; }

private:
    Ref<NSURL> iTunesURL_;
    Ref<TallyAdImpression> adImpression_;
    UINetworkActivityHold following_;
};
