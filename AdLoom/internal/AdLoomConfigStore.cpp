#include "AdLoom/internal/AdLoomConfigStore.h"

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomError.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "URLLoading/NSURLResponse.h"

namespace {
ProcessWide<AdLoomConfigStore>& sharedSlot() {
    static ProcessWide<AdLoomConfigStore> store{nullptr, [](AdLoomConfigStore* s) { s->stop(); }};
    return store;
}
constexpr NSTimeInterval kReachabilityRetry = 10.0;
}  // namespace

void AdLoomConfigStore::describeClass(RuntimeClass& c) {
    c.method("checkReachability", &AdLoomConfigStore::checkReachability);
    c.method("recheckReachability", &AdLoomConfigStore::recheckReachability);
    c.implements({"reachabilityBecameReachable:", "reachabilityNotReachable:"});
}

Ref<AdLoomConfigStore> AdLoomConfigStore::sharedStore() {
    return sharedSlot().get();
}

void AdLoomConfigStore::resetStore() {
    if (auto old = sharedSlot().exchange(make<AdLoomConfigStore>())) old->stop();
}

void AdLoomConfigStore::stop() {
    NSObject::cancelPreviousPerformRequestsWithTarget(this);
    if (connection_) connection_->cancel();
}

bool AdLoomConfigStore::init() {
    configs_ = NSMutableDictionary::dictionary();
    return true;
}

void AdLoomConfigStore::dealloc() {
    if (connection_) connection_->cancel();
    connection_ = nullptr;
    reachability_ = nullptr;
    super::dealloc();
}

Ref<AdLoomConfig> AdLoomConfigStore::cachedConfig(NSString* appKey) {
    return as<AdLoomConfig>(configs_->objectForKey(appKey));
}

Ref<AdLoomConfig> AdLoomConfigStore::getConfig(NSString* appKey, AdLoomConfigDelegate* delegate) {
    if (auto config = cachedConfig(appKey)) {
        if (config->hasConfig()) {
            if (respondsTo(delegate, Selector::named("adLoomConfigDidReceiveConfig:"))) {
                Weak<AdLoomConfigDelegate> weak(delegate);
                NSRunLoop::performOnMainThread(
                    [weak, config] {
                        if (auto d = weak.lock()) d->adLoomConfigDidReceiveConfig(config.get());
                    },
                    false);
            }
        } else {
            config->addDelegate(delegate);
        }
        return config;
    }
    return fetchConfig(appKey, delegate);
}

Ref<AdLoomConfig> AdLoomConfigStore::fetchConfig(NSString* appKey, AdLoomConfigDelegate* delegate) {
    auto config = make<AdLoomConfig>(&AdLoomConfig::initWithAppKey, appKey, delegate);
    if (fetchingConfig_) {
        AdLoomLogWarning(NS("Another fetch is in progress, wait until finished."));
        return nullptr;
    }
    if (!config) return nullptr;
    fetchingConfig_ = config;
    if (!checkReachability()) return nullptr;
    configs_->setObject(config.get(), appKey);
    return config;
}

bool AdLoomConfigStore::checkReachability() {
    if (!fetchingConfig_) return false;
    AdLoomLogDebug(NS("Checking if config is reachable at %@"), fetchingConfig_->configURL());
    if (!reachability_) {
        reachability_ = AWNetworkReachabilityWrapper::reachabilityWithHostname(
            fetchingConfig_->configURL()->host().get(), this);
        if (!reachability_) {
            abandonFetch(NS("Error setting up reachability check to config server"));
            return false;
        }
    }
    if (!reachability_->scheduleInCurrentRunLoop()) {
        reachability_ = nullptr;
        abandonFetch(NS("Error scheduling reachability check to config server"));
        return false;
    }
    return true;
}

void AdLoomConfigStore::abandonFetch(NSString* description) {
    auto config = fetchingConfig_;
    fetchingConfig_ = nullptr;
    if (auto cached = cachedConfig(config->appKey().get()); cached == config)
        configs_->removeObjectForKey(config->appKey().get());
    config->notifyDelegatesOfFailure(
        AdLoomError::errorWithCode(AdLoomConfigConnectionError, description).get());
}

void AdLoomConfigStore::recheckReachability() {
    checkReachability();
}

void AdLoomConfigStore::reachabilityNotReachable(AWNetworkReachabilityWrapper* wrapper) {
    if (wrapper != reachability_.get()) {
        AdLoomLogWarning(NS("Unrecognized reachability object called not reachable %s:%d"),
                         "AdLoomConfigStore", __LINE__);
        return;
    }
    AdLoomLogDebug(NS("Config host %@ not (yet) reachable, check back later"), wrapper->hostname());
    reachability_ = nullptr;
    performSelector(Selector::named("recheckReachability"), nullptr, kReachabilityRetry);
}

void AdLoomConfigStore::reachabilityBecameReachable(AWNetworkReachabilityWrapper* wrapper) {
    if (wrapper != reachability_.get()) {
        AdLoomLogWarning(NS("Unrecognized reachability object called reachable %s:%d"),
                         "AdLoomConfigStore", __LINE__);
        return;
    }
    reachability_ = nullptr;
    startFetchingAssumingReachable();
}

void AdLoomConfigStore::startFetchingAssumingReachable() {
    if (!fetchingConfig_) return;
    if (!connection_) {
        auto request = NSURLRequest::requestWithURL(fetchingConfig_->configURL().get());
        connection_ = make<NSURLConnection>(
            static_cast<bool (NSURLConnection::*)(NSURLRequest*, NSURLConnectionDelegate*)>(
                &NSURLConnection::initWithRequest),
            request.get(), static_cast<NSURLConnectionDelegate*>(this));
        if (!connection_) {
            failedFetchingWithError(
                AdLoomError::errorWithCode(AdLoomConfigConnectionError,
                                           NS("Error creating connection to config server"))
                    .get());
            return;
        }
    }
    receivedData_ = NSMutableData::data();
}

void AdLoomConfigStore::connectionDidReceiveResponse(NSURLConnection* connection,
                                                     NSURLResponse* response) {
    if (connection != connection_.get()) {
        AdLoomLogError(NS("Unrecognized connection object %s:%d"), "AdLoomConfigStore", __LINE__);
        return;
    }
    if (auto http = as<NSHTTPURLResponse>(response)) {
        NSInteger status = http->statusCode();
        if (status < 200 || status > 299) {
            AdLoomLogWarning(NS("AdLoomConfig: HTTP %d, cancelling %@"), static_cast<int>(status),
                             http->URL());
            connection->cancel();
            failedFetchingWithError(
                AdLoomError::errorWithCode(AdLoomConfigStatusError,
                                           NS("Config server did not return status 200"))
                    .get());
            return;
        }
    }
    receivedData_->setLength(0);
}

void AdLoomConfigStore::connectionDidReceiveData(NSURLConnection* connection, NSData* data) {
    if (connection != connection_.get()) {
        AdLoomLogError(NS("Unrecognized connection object %s:%d"), "AdLoomConfigStore", __LINE__);
        return;
    }
    receivedData_->appendData(data);
}

void AdLoomConfigStore::connectionDidFinishLoading(NSURLConnection* connection) {
    if (connection != connection_.get()) {
        AdLoomLogError(NS("Unrecognized connection object %s:%d"), "AdLoomConfigStore", __LINE__);
        return;
    }
    auto config = fetchingConfig_;
    Ref<NSError> error;
    if (config && !config->parseConfig(receivedData_.get(), &error)) {
        failedFetchingWithError(error.get());
        return;
    }
    finishedFetching();
}

void AdLoomConfigStore::connectionDidFailWithError(NSURLConnection* connection, NSError* error) {
    if (connection != connection_.get()) {
        AdLoomLogError(NS("Unrecognized connection object %s:%d"), "AdLoomConfigStore", __LINE__);
        return;
    }
    failedFetchingWithError(AdLoomError::errorWithCode(AdLoomConfigConnectionError,
                                                       NS("Error connecting to config server"),
                                                       error)
                                .get());
}

void AdLoomConfigStore::failedFetchingWithError(NSError* error) {
    Ref<AdLoomConfigStore> hold(this);
    auto config = fetchingConfig_;
    // The fetch ends first: a delegate that retries at once must find the store free.
    finishedFetching();
    if (!config) return;
    if (auto cached = cachedConfig(config->appKey().get()); cached == config)
        configs_->removeObjectForKey(config->appKey().get());
    config->notifyDelegatesOfFailure(error);
}

void AdLoomConfigStore::finishedFetching() {
    connection_ = nullptr;
    receivedData_ = nullptr;
    fetchingConfig_ = nullptr;
}

void AdLoomConfigStore::setReachability(AWNetworkReachabilityWrapper* r) {
    reachability_ = r;
}
void AdLoomConfigStore::setConnection(NSURLConnection* c) {
    connection_ = c;
}
