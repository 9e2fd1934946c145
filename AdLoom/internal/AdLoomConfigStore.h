// The shared store of mediation configurations: fetched over HTTP after a reachability check of
// the server, one fetch at a time, and kept in memory by application key.
#pragma once

#include "AdLoom/internal/AWNetworkReachabilityWrapper.h"
#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class AdLoomConfig;
class AdLoomConfigDelegate;
class NSMutableData;
class NSMutableDictionary;

class AdLoomConfigStore : public NSObject,
                          public AWNetworkReachabilityDelegate,
                          public NSURLConnectionDelegate {
    NS_OBJECT(AdLoomConfigStore, NSObject)
    static void describeClass(RuntimeClass& c);
    static Ref<AdLoomConfigStore> sharedStore();
    // Drops the shared store (with its cache and any fetch) and makes a fresh one.
    static void resetStore();
    bool init() override;
    // Cancels the fetch in flight and the pending reachability checks, so that nothing calls
    // back into a store nobody holds.
    void stop();

    // getConfig:delegate: the cached configuration (announced to the delegate on a later pass
    // when it is parsed, else the delegate waits for it), or a new fetch.
    Ref<AdLoomConfig> getConfig(NSString* appKey, AdLoomConfigDelegate* delegate);
    // fetchConfig:delegate: a new configuration fetched now; nil while another fetch runs or
    // when the reachability check cannot be set up.
    Ref<AdLoomConfig> fetchConfig(NSString* appKey, AdLoomConfigDelegate* delegate);

    bool checkReachability();
    void startFetchingAssumingReachable();
    void failedFetchingWithError(NSError* error);
    void finishedFetching();

    void reachabilityBecameReachable(AWNetworkReachabilityWrapper* wrapper) override;
    void reachabilityNotReachable(AWNetworkReachabilityWrapper* wrapper) override;

    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

    Ref<AWNetworkReachabilityWrapper> reachability() { return reachability_; }
    void setReachability(AWNetworkReachabilityWrapper* r);
    Ref<NSURLConnection> connection() { return connection_; }
    void setConnection(NSURLConnection* c);
    // The fetch in progress (a test and diagnostic aid).
    Ref<AdLoomConfig> fetchingConfig() { return fetchingConfig_; }
    Ref<AdLoomConfig> cachedConfig(NSString* appKey);

    void dealloc() override;

private:
    void recheckReachability();
    // Ends a fetch whose reachability check could not be set up.
    void abandonFetch(NSString* description);

    Ref<NSMutableDictionary> configs_;
    Ref<AdLoomConfig> fetchingConfig_;
    Ref<AWNetworkReachabilityWrapper> reachability_;
    Ref<NSURLConnection> connection_;
    Ref<NSMutableData> receivedData_;
};
