#include "AdLoom/adapters/AdLoomAdapterCustom.h"

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomHosts.h"
#include "AdLoom/internal/AdLoomView.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/Clock.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NSURLRequest.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIImage.h"
#include "UIKit/UIScreen.h"
#include "UIKit/UIViewController.h"
#include "json/ZJSONDeserializer.h"

namespace {
constexpr int kAppVersion = 300;

Ref<NSURLConnection> startGet(NSURL* url, NSURLConnectionDelegate* delegate) {
    return make<NSURLConnection>(
        static_cast<bool (NSURLConnection::*)(NSURLRequest*, NSURLConnectionDelegate*)>(
            &NSURLConnection::initWithRequest),
        NSURLRequest::requestWithURL(url).get(), delegate);
}

// A string value of the description; any other type counts as missing.
Ref<NSString> stringField(NSDictionary* info, NSString* key) {
    return as<NSString>(info->objectForKey(key));
}
}  // namespace

void AdLoomAdapterCustom::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterCustom::networkType);
}

void AdLoomAdapterCustom::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

bool AdLoomAdapterCustom::init() {
    adData_ = NSMutableData::data();
    imageData_ = NSMutableData::data();
    return super::init();
}

bool AdLoomAdapterCustom::initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view,
                                                 AdLoomConfig* config,
                                                 AdLoomAdNetworkConfig* networkConfig) {
    if (!super::initWithAdLoomDelegate(delegate, view, config, networkConfig)) return false;
    adData_ = NSMutableData::data();
    imageData_ = NSMutableData::data();
    return true;
}

bool AdLoomAdapterCustom::isRequesting() {
    std::lock_guard<std::mutex> guard(lock_);
    return requesting_;
}

Ref<CLLocationManager> AdLoomAdapterCustom::locationManager() {
    if (!locationManager_) locationManager_ = make<CLLocationManager>();
    return locationManager_;
}

void AdLoomAdapterCustom::getAd() {
    {
        std::lock_guard<std::mutex> guard(lock_);
        if (requesting_) return;
        requesting_ = true;
    }
    auto d = adLoomDelegate();
    Ref<NSURL> base;
    if (AdLoomDelegateAnswers(d.get(), "adLoomCustomAdURL")) base = d->adLoomCustomAdURL();
    if (!base) base = NSURL::URLWithString(NS("http://" ADLOOM_MEDIATION_HOST "/custom.php"));

    auto config = adLoomConfig();
    auto country = AdLoomEscapedQueryValue(NSLocale::currentLocale()->localeIdentifier().get());
    auto appKey = AdLoomEscapedQueryValue(config ? config->appKey().get() : nullptr);
    auto nid = AdLoomEscapedQueryValue(networkConfig() ? networkConfig()->nid().get() : nullptr);
    Ref<NSString> query;
    if (config && config->locationOn()) {
        AdLoomLogDebug(NS("Allow location access in custom ad"));
        Ref<CLLocation> location;
        if (AdLoomDelegateAnswers(d.get(), "locationInfo"))
            location = d->locationInfo();
        else
            location = locationManager()->location();
        double lat = location ? location->coordinate().latitude : 0;
        double lon = location ? location->coordinate().longitude : 0;
        auto where = NSString::stringWithFormat(NS("%lf,%lf"), lat, lon);
        query = NSString::stringWithFormat(NS("?appver=%d&country_code=%@&appid=%@&nid=%@&location="
                                              "%@&location_timestamp=%lf&client=1"),
                                           kAppVersion, country, appKey, nid, where,
                                           NSDate::date()->timeIntervalSince1970());
    } else {
        AdLoomLogDebug(NS("Do not allow location access in custom ad"));
        query =
            NSString::stringWithFormat(NS("?appver=%d&country_code=%@&appid=%@&nid=%@&client=1"),
                                       kAppVersion, country, appKey, nid);
    }
    auto url = NSURL::URLWithString(query.get(), base.get());
    AdLoomLogDebug(NS("Requesting custom ad at %@"), url);
    adConnection_ = startGet(url.get(), this);
}

void AdLoomAdapterCustom::stopBeingDelegate() {
    if (auto v = as<AdLoomCustomAdView>(adNetworkView())) v->setDelegate(nullptr);
}

void AdLoomAdapterCustom::failWith(NSError* error) {
    Ref<AdLoomAdapterCustom> hold(this);
    {
        std::lock_guard<std::mutex> guard(lock_);
        requesting_ = false;
    }
    if (auto view = adLoomView()) view->adapterDidFailAd(this, error);
}

void AdLoomAdapterCustom::connectionDidReceiveResponse(NSURLConnection* connection,
                                                       NSURLResponse*) {
    if (connection == adConnection_.get())
        adData_->setLength(0);
    else if (connection == imageConnection_.get())
        imageData_->setLength(0);
}

void AdLoomAdapterCustom::connectionDidReceiveData(NSURLConnection* connection, NSData* data) {
    if (connection == adConnection_.get())
        adData_->appendData(data);
    else if (connection == imageConnection_.get())
        imageData_->appendData(data);
}

void AdLoomAdapterCustom::connectionDidFailWithError(NSURLConnection* connection, NSError* error) {
    if (connection == clickConnection_.get()) {
        clickConnection_ = nullptr;
    } else if (connection == adConnection_.get()) {
        failWith(AdLoomError::errorWithCode(AdLoomCustomAdConnectionError,
                                            NS("Error connecting to custom ad server"), error)
                     .get());
    } else if (connection == imageConnection_.get()) {
        failWith(AdLoomError::errorWithCode(
                     AdLoomCustomAdConnectionError,
                     NS("Error connecting to custom ad server to fetch image"), error)
                     .get());
    }
}

void AdLoomAdapterCustom::connectionDidFinishLoading(NSURLConnection* connection) {
    if (connection == clickConnection_.get()) {
        clickConnection_ = nullptr;
    } else if (connection == adConnection_.get()) {
        Ref<NSError> error;
        if (!parseAdData(adData_.get(), &error)) failWith(error.get());
    } else if (connection == imageConnection_.get()) {
        imageLoaded();
    }
}

bool AdLoomAdapterCustom::parseEnums(int* value, NSDictionary* adInfo, int minVal, int maxVal,
                                     NSString* fieldName, Ref<NSError>* error) {
    auto raw = adInfo->objectForKey(fieldName);
    int v = 0;
    // A value that is no number counts as missing.
    if (!awIntVal(&v, raw.get())) {
        if (error)
            *error = AdLoomError::errorWithCode(
                AdLoomCustomAdDataError,
                NSString::stringWithFormat(NS("Custom ad data has no '%@' field"), fieldName)
                    .get());
        return false;
    }
    if (v <= minVal || v >= maxVal) {
        if (error)
            *error = AdLoomError::errorWithCode(
                AdLoomCustomAdDataError,
                NSString::stringWithFormat(NS("Custom ad: Invalid value for %@ - %d"), fieldName, v)
                    .get());
        return false;
    }
    *value = v;
    return true;
}

bool AdLoomAdapterCustom::parseAdData(NSData* data, Ref<NSError>* error) {
    auto setError = [&](NSError* e) {
        if (error) *error = e;
        return false;
    };
    Ref<NSError> jsonError;
    auto parsed = ZJSONDeserializer::deserializer()->deserialize(data, &jsonError);
    if (!parsed)
        return setError(AdLoomError::errorWithCode(AdLoomCustomAdParseError,
                                                   NS("Error parsing custom ad JSON from server"),
                                                   jsonError.get())
                            .get());
    auto info = as<NSDictionary>(parsed);
    if (!info)
        return setError(
            AdLoomError::errorWithCode(AdLoomCustomAdDataError,
                                       NS("Expected top-level dictionary in custom ad data"))
                .get());
    auto adText = stringField(info.get(), NS("ad_text"));
    auto redirectString = stringField(info.get(), NS("redirect_url"));
    int adType = 0, launchType = 0, animType = 0;
    if (!parseEnums(&adType, info.get(), 0, 6, NS("ad_type"), error)) return false;
    if (!parseEnums(&launchType, info.get(), 0, 4, NS("launch_type"), error)) return false;
    if (!parseEnums(&animType, info.get(), -1, 10, NS("webview_animation_type"), error))
        return false;

    Ref<NSURL> redirectURL;
    if (!redirectString) {
        AdLoomLogWarning(NS("No redirect URL for custom ad"));
    } else if (!(redirectURL = NSURL::URLWithString(redirectString.get()))) {
        AdLoomLogWarning(NS("Custom ad: Malformed redirect URL string %@"), redirectString);
    }
    Ref<NSURL> metricsURL;
    auto metricsString = stringField(info.get(), NS("metrics_url"));
    if (!metricsString) {
        AdLoomLogWarning(NS("No click metric URL for custom ad"));
    } else if (!(metricsURL = NSURL::URLWithString(metricsString.get()))) {
        AdLoomLogWarning(NS("Malformed click metrics URL string %@"), metricsString);
    }
    AdLoomLogDebug(NS("Got custom ad '%@' %@ %@ %d %d %d"), adText, redirectURL, metricsURL, adType,
                   launchType, animType);

    adView_ = make<AdLoomCustomAdView>(
        &AdLoomCustomAdView::initWithDelegate, static_cast<AdLoomCustomAdViewDelegate*>(this),
        adText.get(), redirectURL.get(), metricsURL.get(), adType, launchType, animType,
        helperBackgroundColorToUse().get(), helperTextColorToUse().get());
    if (!adView_)
        return setError(AdLoomError::errorWithCode(AdLoomCustomAdDataError,
                                                   NS("Error initializing AdLoom custom ad view"))
                            .get());
    setAdNetworkView(adView_.get());

    scale_ = static_cast<float>(UIScreen::mainScreen()->scale());
    Ref<NSString> imageString;
    if (scale_ == 2.0f && adType == AdLoomCustomAdTypeBanner) {
        imageString = stringField(info.get(), NS("img_url_640x100"));
        if (!imageString || imageString->length() == 0) {
            scale_ = 1.0f;
            imageString = stringField(info.get(), NS("img_url"));
        }
    } else {
        imageString = stringField(info.get(), NS("img_url"));
    }
    auto imageURL = imageString ? NSURL::URLWithString(imageString.get()) : nullptr;
    // Without an image there is nothing to show: fail now rather than never answer.
    if (!imageURL)
        return setError(
            AdLoomError::errorWithCode(AdLoomCustomAdConnectionError,
                                       NS("Error connecting to custom ad server to fetch image"))
                .get());
    AdLoomLogDebug(NS("Request custom ad image at %@"), imageURL);
    imageConnection_ = startGet(imageURL.get(), this);
    return true;
}

void AdLoomAdapterCustom::imageLoaded() {
    auto image = UIImage::imageWithData(imageData_.get());
    if (image && scale_ == 2.0f)
        image = UIImage::imageWithCGImage(image->CGImage().get(), 2.0f, image->imageOrientation());
    if (!image) {
        failWith(AdLoomError::errorWithCode(AdLoomCustomAdImageError,
                                            NS("Cannot initialize custom ad image from data"))
                     .get());
        return;
    }
    Ref<AdLoomAdapterCustom> hold(this);
    adView_->setImage(image.get());
    adView_->setNeedsDisplay();
    {
        std::lock_guard<std::mutex> guard(lock_);
        requesting_ = false;
    }
    if (auto view = adLoomView()) view->adapterDidReceiveAdView(this, adView_.get());
}

void AdLoomAdapterCustom::adTapped(AdLoomCustomAdView* view) {
    // An earlier tap's click is still out (its ping, or its canvas is up): a second tap would
    // ping the click again and open the page a second time.
    if (webBrowserController_ || clickConnection_) return;
    if (auto metrics = view->clickMetricsURL()) {
        clickConnection_ = startGet(metrics.get(), this);
        AdLoomLogDebug(NS("Sent custom ad click ping to %@"), metrics);
    }
    auto redirect = view->redirectURL();
    if (!redirect) {
        AdLoomLogError(NS("Custom ad redirect URL is nil"));
        return;
    }
    switch (view->launchType()) {
        case AdLoomCustomAdLaunchTypeCanvas: {
            auto d = adLoomDelegate();
            auto presenter = d ? d->viewControllerForPresentingModalView() : nullptr;
            if (!presenter) {
                // The page would never show, and its report would hold every banner still.
                AdLoomLogError(NS("Custom ad: no view controller to present its page over"));
                break;
            }
            if (!webBrowserController_) webBrowserController_ = make<AdLoomWebBrowserController>();
            webBrowserController_->setDelegate(this);
            webBrowserController_->presentWithController(presenter.get(), view->animType());
            helperNotifyDelegateOfFullScreenModal();
            webBrowserController_->loadURL(redirect.get());
            break;
        }
        case AdLoomCustomAdLaunchTypeSafari:
            AdLoomLogDebug(NS("Opening URL '%@' for custom ad"), redirect);
            if (!UIApplication::sharedApplication()->openURL(redirect.get()))
                AdLoomLogError(NS("Cannot open URL '%@' for custom ad"), redirect);
            break;
        default:
            AdLoomLogError(NS("Custom ad: Unsupported launch type %d"), view->launchType());
    }
}

void AdLoomAdapterCustom::webBrowserClosed(AdLoomWebBrowserController* controller) {
    if (controller != webBrowserController_.get()) return;
    Ref<AdLoomAdapterCustom> hold(this);
    webBrowserController_ = nullptr;
    helperNotifyDelegateOfFullScreenModalDismissal();
}

void AdLoomAdapterCustom::dealloc() {
    locationManager_ = nullptr;
    if (adConnection_) adConnection_->cancel();
    if (imageConnection_) imageConnection_->cancel();
    adConnection_ = nullptr;
    imageConnection_ = nullptr;
    adData_ = nullptr;
    imageData_ = nullptr;
    if (adView_) adView_->setDelegate(nullptr);
    adView_ = nullptr;
    if (webBrowserController_) webBrowserController_->setDelegate(nullptr);
    webBrowserController_ = nullptr;
    super::dealloc();
}
