// House ads: the mediation server's own ads. A JSON description names an image, which is drawn
// in a banner of our own; a tap opens the advertiser's page in the system or the in-app browser.
// It takes one tap's click-through at a time: while its click ping is out or its browser is up,
// a tap does nothing.
#pragma once

#include <mutex>

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "AdLoom/internal/AdLoomCustomAdView.h"
#include "AdLoom/internal/AdLoomWebBrowserController.h"
#include "URLLoading/NSURLConnection.h"

class CLLocationManager;
class NSData;
class NSDictionary;
class NSError;
class NSMutableData;

class AdLoomAdapterCustom : public AdLoomAdNetworkAdapter,
                            public AdLoomCustomAdViewDelegate,
                            public AdLoomWebBrowserControllerDelegate,
                            public NSURLConnectionDelegate {
    NS_OBJECT(AdLoomAdapterCustom, AdLoomAdNetworkAdapter)
    static void describeClass(RuntimeClass& c);
    static int networkType() { return AdLoomAdNetworkTypeCustom; }
    static void load();

    bool init() override;
    bool initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view, AdLoomConfig* config,
                                AdLoomAdNetworkConfig* networkConfig) override;
    // The description's own click URL replaces the banner's pings.
    bool shouldSendExMetric() override { return false; }
    // Once per adapter.
    void getAd() override;
    void stopBeingDelegate() override;

    // parseAdData:error:
    bool parseAdData(NSData* data, Ref<NSError>* error);
    // parseEnums:adInfo:minVal:maxVal:fieldName:error: (bounds exclusive)
    bool parseEnums(int* value, NSDictionary* adInfo, int minVal, int maxVal, NSString* fieldName,
                    Ref<NSError>* error);

    void connectionDidReceiveResponse(NSURLConnection* connection,
                                      NSURLResponse* response) override;
    void connectionDidReceiveData(NSURLConnection* connection, NSData* data) override;
    void connectionDidFinishLoading(NSURLConnection* connection) override;
    void connectionDidFailWithError(NSURLConnection* connection, NSError* error) override;

    void adTapped(AdLoomCustomAdView* view) override;
    void webBrowserClosed(AdLoomWebBrowserController* controller) override;

    Ref<CLLocationManager> locationManager();
    Ref<NSURLConnection> adConnection() { return adConnection_; }
    void setAdConnection(NSURLConnection* c) { adConnection_ = c; }
    Ref<NSURLConnection> imageConnection() { return imageConnection_; }
    void setImageConnection(NSURLConnection* c) { imageConnection_ = c; }
    Ref<AdLoomCustomAdView> adView() { return adView_; }
    void setAdView(AdLoomCustomAdView* v) { adView_ = v; }
    Ref<AdLoomWebBrowserController> webBrowserController() { return webBrowserController_; }
    void setWebBrowserController(AdLoomWebBrowserController* c) { webBrowserController_ = c; }
    float scale() { return scale_; }
    void setScale(float s) { scale_ = s; }
    bool isRequesting();

    void dealloc() override;

private:
    void failWith(NSError* error);
    void imageLoaded();

    std::mutex lock_;
    bool requesting_ = false;
    Ref<CLLocationManager> locationManager_;
    Ref<NSURLConnection> adConnection_;
    Ref<NSMutableData> adData_;
    Ref<NSURLConnection> imageConnection_;
    Ref<NSMutableData> imageData_;
    Ref<AdLoomCustomAdView> adView_;
    Ref<AdLoomWebBrowserController> webBrowserController_;
    // The click ping, until it ends (it keeps the adapter until then).
    Ref<NSURLConnection> clickConnection_;
    float scale_ = 1.0f;
};
