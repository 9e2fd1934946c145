// The mediation configuration of one application key: which networks to use with what weight
// and priority and credentials, and how the banner behaves. Parsed from the mediation server's
// JSON, in the current format (a dictionary of "extra" settings and "rations") or the legacy one
// (an array of four dictionaries).
#pragma once

#include <vector>

#include "Foundation/NSObject.h"

class AdLoomAdNetworkRegistry;
class AdLoomConfig;
class NSArray;
class NSData;
class NSDictionary;
class NSError;
class NSMutableArray;
class NSURL;
class UIColor;

class AdLoomConfigDelegate {
public:
    virtual ~AdLoomConfigDelegate() = default;
    // adLoomConfigDidReceiveConfig:
    virtual void adLoomConfigDidReceiveConfig(AdLoomConfig*) {}
    // adLoomConfigDidFail:error:
    virtual void adLoomConfigDidFail(AdLoomConfig*, NSError*) {}
    virtual Ref<NSURL> adLoomConfigURL() { return nullptr; }
};

// Number readers: an NSNumber or an NSString gives its value (true); anything else leaves the
// out-value alone (false).
bool awIntVal(int* out, NSObject* value);
bool awFloatVal(float* out, NSObject* value);
bool awDoubleVal(double* out, NSObject* value);

// UIColor(AdLoomConfig) initWithDict: "red", "green", "blue" (0 to 255) required, "alpha"
// (0 to 1) optional; nil when a colour key is missing or not a number.
Ref<UIColor> AdLoomColorWithDict(NSDictionary* dict);

// A query value escaped so that it stays one value ("&", "=", "+", "#" and the rest).
Ref<NSString> AdLoomEscapedQueryValue(NSString* value);

class AdLoomAdNetworkConfig : public NSObject {
    NS_OBJECT(AdLoomAdNetworkConfig, NSObject)
    // initWithDictionary:adNetworkRegistry:error:. Without an error out-value the error is
    // logged as a warning.
    bool initWithDictionary(NSDictionary* dict, AdLoomAdNetworkRegistry* registry,
                            Ref<NSError>* error);
    static Ref<AdLoomAdNetworkConfig> networkConfigWithDictionary(NSDictionary* dict,
                                                                  AdLoomAdNetworkRegistry* registry,
                                                                  Ref<NSError>* error);

    int networkType() { return networkType_; }
    Ref<NSString> nid() { return nid_; }
    Ref<NSString> networkName() { return networkName_; }
    double trafficPercentage() { return trafficPercentage_; }
    int priority() { return priority_; }
    Ref<NSDictionary> credentials() { return credentials_; }
    Class adapterClass() { return adapterClass_; }
    Ref<NSString> pubId();
    Ref<NSString> description() override;

private:
    int networkType_ = 0;
    Ref<NSString> nid_;
    Ref<NSString> networkName_;
    double trafficPercentage_ = 0;
    int priority_ = 0;
    Ref<NSDictionary> credentials_;
    Class adapterClass_ = nullptr;
};

class AdLoomConfig : public NSObject {
    NS_OBJECT(AdLoomConfig, NSObject)
    // initWithAppKey:delegate:
    bool initWithAppKey(NSString* appKey, AdLoomConfigDelegate* delegate);

    // False when the delegate is already waiting (by identity).
    bool addDelegate(AdLoomConfigDelegate* delegate);
    bool removeDelegate(AdLoomConfigDelegate* delegate);
    void notifyDelegatesOfFailure(NSError* error);

    bool parseConfig(NSData* data, Ref<NSError>* error);
    bool parseExtraConfig(NSDictionary* extra, Ref<NSError>* error);
    bool parseLegacyConfig(NSArray* array, Ref<NSError>* error);
    bool parseNewConfig(NSDictionary* dict, Ref<NSError>* error);

    Ref<NSString> appKey() { return appKey_; }
    Ref<NSURL> configURL() { return configURL_; }
    bool legacy() { return legacy_; }
    bool adsAreOff() { return adsAreOff_; }
    Ref<NSMutableArray> adNetworkConfigs() { return adNetworkConfigs_; }
    Ref<UIColor> backgroundColor() { return backgroundColor_; }
    Ref<UIColor> textColor() { return textColor_; }
    double refreshInterval() { return refreshInterval_; }
    bool locationOn() { return locationOn_; }
    int bannerAnimationType() { return bannerAnimationType_; }
    int fullscreenWaitInterval() { return fullscreenWaitInterval_; }
    int fullscreenMaxAds() { return fullscreenMaxAds_; }
    bool hasConfig() { return hasConfig_; }
    AdLoomAdNetworkRegistry* adNetworkRegistry() { return adNetworkRegistry_; }
    void setAdNetworkRegistry(AdLoomAdNetworkRegistry* registry) { adNetworkRegistry_ = registry; }
    // Delegates still waiting (a test and diagnostic aid).
    size_t delegateCount();

    Ref<NSString> description() override;

private:
    struct Waiting {
        AdLoomConfigDelegate* identity;
        Weak<AdLoomConfigDelegate> delegate;
    };
    std::vector<Ref<AdLoomConfigDelegate>> liveDelegates();

    Ref<NSString> appKey_;
    Ref<NSURL> configURL_;
    bool legacy_ = false;
    bool adsAreOff_ = false;
    Ref<NSMutableArray> adNetworkConfigs_;
    Ref<UIColor> backgroundColor_;
    Ref<UIColor> textColor_;
    double refreshInterval_ = 60.0;
    bool locationOn_ = true;
    int bannerAnimationType_ = 8;
    int fullscreenWaitInterval_ = 60;
    int fullscreenMaxAds_ = 2;
    std::vector<Waiting> delegates_;
    bool hasConfig_ = false;
    AdLoomAdNetworkRegistry* adNetworkRegistry_ = nullptr;  // the shared registry, never freed
};
