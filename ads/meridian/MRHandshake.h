// The ad network's configuration for this program: fetched from the ad host, kept on disk across
// launches, renewed on a timer. Answers the kill switch, the per-type refresh and video intervals
// and the deferred-view time-out.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"
#include "URLLoading/NSURLConnection.h"

class NSData;
class NSDate;
class NSDictionary;
class NSMutableData;
class NSString;
class NSTimer;

// -1 in a float field: not set.
struct MRAdTypeConfiguration {
    float videoInterval = -1;
    int32_t adType = 0;
    float adRefresh = -1;
};

class MRHandshake : public NSObject, public NSURLConnectionDelegate {
    NS_OBJECT(MRHandshake, NSObject)
    static void describeClass(RuntimeClass& c);
    bool init() override;

    // The process-wide instance, made on first use.
    static Ref<MRHandshake> sharedHandshake();
    // Tests start a new process's instance: the next sharedHandshake() is made afresh.
    static void resetSharedHandshakeForTesting();
    // Cancels the next handshake's timer and the handshake in flight.
    void stop();
    static Ref<NSString> statePath();

    void requestConfiguration();
    void connect(NSURLRequest* request);
    void parseResponseAndSetupNextHandshake(bool setUp);
    void setupNextHandshake();
    void saveState();
    void loadState();

    MRAdTypeConfiguration configurationFromDictionary(NSDictionary* dictionary);
    MRAdTypeConfiguration configurationForAdType(int32_t type);
    MRAdTypeConfiguration adConfig();

    bool isVideoAdRequestAllowed();
    bool isDeferredTimeoutExpired();
    bool isAdCallAllowed() { return isAdCallAllowed_; }
    float deferredviewtimeout() { return deferredviewtimeout_; }
    float handshakeCallbackDuration() { return handshakeCallbackDuration_; }
    Ref<NSDictionary> handshakeResponse() { return handshakeResponse_; }
    Ref<NSString> apid() { return apid_; }
    void setApid(NSString* apid);
    int32_t adType() { return adType_; }
    void setAdType(int32_t type) { adType_ = type; }
    Ref<NSDate> lastVideoPlayedAt() { return lastVideoPlayedAt_; }
    void setLastVideoPlayedAt(NSDate* date);
    Ref<NSDate> lastVideoRequestMadeAt() { return lastVideoRequestMadeAt_; }
    void setLastVideoRequestMadeAt(NSDate* date);
    Ref<NSDate> lastHandshakeMadeAt() { return lastHandshakeMadeAt_; }
    Ref<NSDate> nextHandshakeToOccurAt() { return nextHandshakeToOccurAt_; }
    // The delay before the next retry of a failed or unreadable handshake.
    double retryDelay() { return retryDelay_; }

    void showError(NSString* message, NSString* type);
    void logError(NSString* message);

    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

    // The shortest period between two handshakes: a reply without one must not ask again at once.
    static constexpr double kMinimumPeriod = 60;
    // Retries of failed handshakes start here and double up to the hour.
    static constexpr double kFirstRetryDelay = 30;
    static constexpr double kLongestRetryDelay = 3600;

private:
    void scheduleNextHandshake(double seconds);
    void scheduleRetry();
    void timerRequestConfiguration(NSTimer* timer);

    Ref<NSString> apid_;
    float deferredviewtimeout_ = 3600;
    bool isAdCallAllowed_ = true;
    Ref<NSDate> lastVideoPlayedAt_;
    Ref<NSDate> lastVideoRequestMadeAt_;
    int32_t adType_ = 0;
    float handshakeCallbackDuration_ = 86400;
    Ref<NSURLConnection> connection_;
    Ref<NSMutableData> connectionData_;
    NSInteger statusCode_ = 0;
    Ref<NSDictionary> handshakeResponse_;
    Ref<NSDictionary> adTypes_;
    Ref<NSDate> lastHandshakeMadeAt_;
    Ref<NSDate> nextHandshakeToOccurAt_;
    Weak<NSTimer> nextHandshakeTimer_;
    double retryDelay_ = kFirstRetryDelay;
};
