#include "AdLoom/internal/AdLoomConfig.h"

#include <cmath>

#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomHosts.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/NumberConversion.h"
#include "UIKit/UIColor.h"
#include "json/ZJSONDeserializer.h"

namespace {

constexpr int kAppVersion = 300;

// Refresh intervals at or above this mean no refresh.
constexpr int kNoRefreshFrom = 30000;

void setError(Ref<NSError>* out, NSError* e) {
    if (out) *out = e;
}

// The legacy format names networks; the current one numbers them.
int legacyNetworkType(NSString* name) {
    static const std::pair<const char*, int> kTypes[] = {
        {"pebble", 1},     {"jumptap", 2},        {"videoegg", 3},         {"medialets", 4},
        {"liverail", 5},   {"meridian", 6},       {"ironvine", 7},         {"quattro", 8},
        {"custom", 9},     {"adloom_10", 10},     {"mobclix", 11},         {"adloom_12", 12},
        {"adloom_13", 13}, {"pebble_adtext", 14}, {"pebble_clickhub", 15}, {"generic", 16},
        {"inmobi", 18},
    };
    std::string n = name->utf8();
    for (auto& [key, type] : kTypes)
        if (n == key) return type;
    return 0;
}

}  // namespace

bool awIntVal(int* out, NSObject* value) {
    if (auto n = as<NSNumber>(value)) {
        *out = static_cast<int>(n->integerValue());
        return true;
    }
    if (auto s = as<NSString>(value)) {
        *out = static_cast<int>(s->integerValue());
        return true;
    }
    return false;
}

bool awFloatVal(float* out, NSObject* value) {
    if (auto n = as<NSNumber>(value)) {
        *out = n->floatValue();
        return true;
    }
    if (auto s = as<NSString>(value)) {
        *out = s->floatValue();
        return true;
    }
    return false;
}

bool awDoubleVal(double* out, NSObject* value) {
    if (auto n = as<NSNumber>(value)) {
        *out = n->doubleValue();
        return true;
    }
    if (auto s = as<NSString>(value)) {
        *out = s->doubleValue();
        return true;
    }
    return false;
}

Ref<UIColor> AdLoomColorWithDict(NSDictionary* dict) {
    if (!dict) return nullptr;
    int red = 0, green = 0, blue = 0;
    if (!awIntVal(&red, dict->objectForKey(NS("red")).get()) ||
        !awIntVal(&green, dict->objectForKey(NS("green")).get()) ||
        !awIntVal(&blue, dict->objectForKey(NS("blue")).get()))
        return nullptr;
    float alpha = 1.0f;
    if (!awFloatVal(&alpha, dict->objectForKey(NS("alpha")).get())) alpha = 1.0f;
    return UIColor::colorWithRed(red / 255.0f, green / 255.0f, blue / 255.0f, alpha);
}

Ref<NSString> AdLoomEscapedQueryValue(NSString* value) {
    if (!value) return NS("");
    auto escaped = value->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding, nullptr,
                                                                    NS("!*'();:@&=+$,/?#[]"));
    if (!escaped) return NS("");
    return escaped;
}

// ---- one network ---------------------------------------------------------------------------

Ref<AdLoomAdNetworkConfig> AdLoomAdNetworkConfig::networkConfigWithDictionary(
    NSDictionary* dict, AdLoomAdNetworkRegistry* registry, Ref<NSError>* error) {
    auto c = alloc<AdLoomAdNetworkConfig>();
    return c->initWithDictionary(dict, registry, error) ? c : nullptr;
}

bool AdLoomAdNetworkConfig::initWithDictionary(NSDictionary* dict,
                                               AdLoomAdNetworkRegistry* registry,
                                               Ref<NSError>* error) {
    auto fail = [&](NSString* description) {
        if (error) {
            *error = AdLoomError::errorWithCode(AdLoomConfigDataError, description);
        } else {
            AdLoomLogWarning(NS("%@"), description);
        }
        return false;
    };
    auto type = dict->objectForKey(NS("type"));
    auto nid = dict->objectForKey(NS("nid"));
    auto name = dict->objectForKey(NS("nname"));
    auto weight = dict->objectForKey(NS("weight"));
    auto priority = dict->objectForKey(NS("priority"));
    if (!type || !nid || !name || !priority)
        return fail(
            NS("Ad network config has no network type, network id, network name, or priority"));
    awIntVal(&networkType_, type.get());
    awIntVal(&priority_, priority.get());
    if (!awDoubleVal(&trafficPercentage_, weight.get())) trafficPercentage_ = 0;
    if (auto s = as<NSString>(nid)) nid_ = s->copy();
    if (auto s = as<NSString>(name)) networkName_ = s->copy();
    if (networkType_ == 0 || !nid_ || !networkName_ || priority_ == 0)
        return fail(
            NS("Ad network config has invalid network type, network id, network name or priority"));
    auto key = dict->objectForKey(NS("key"));
    if (auto d = as<NSDictionary>(key)) {
        credentials_ = NSDictionary::dictionaryWithDictionary(d.get());
    } else if (auto s = as<NSString>(key)) {
        credentials_ = NSDictionary::dictionaryWithObject(s->copy().get(), NS("pubid"));
    }
    auto wrapper = registry ? registry->adapterClassFor(networkType_) : nullptr;
    if (!wrapper)
        return fail(NSString::stringWithFormat(
            NS("Ad network type %d not supported, no adapter found"), networkType_));
    adapterClass_ = wrapper->theClass();
    return true;
}

Ref<NSString> AdLoomAdNetworkConfig::pubId() {
    return credentials_ ? as<NSString>(credentials_->objectForKey(NS("pubid"))) : nullptr;
}

Ref<NSString> AdLoomAdNetworkConfig::description() {
    auto creds = NSMutableString::stringWithString(NS("{"));
    if (credentials_)
        for (NSObject* key : *credentials_)
            creds->appendFormat(NS("%@:%@ "), key, credentials_->objectForKey(key));
    creds->appendString(NS("}"));
    return NSString::stringWithFormat(NS("name:%@ type:%d nid:%@ weight:%lf priority:%d creds:%@"),
                                      networkName_, networkType_, nid_, trafficPercentage_,
                                      priority_, creds);
}

// ---- the configuration ---------------------------------------------------------------------

bool AdLoomConfig::initWithAppKey(NSString* appKey, AdLoomConfigDelegate* delegate) {
    appKey_ = appKey ? appKey->copy() : Ref<NSString>(NS(""));
    adNetworkConfigs_ = NSMutableArray::array();
    backgroundColor_ = UIColor::colorWithRed(0.3f, 0.3f, 0.3f, 1.0f);
    textColor_ = UIColor::whiteColor();
    adNetworkRegistry_ = AdLoomAdNetworkRegistry::sharedRegistry().get();
    addDelegate(delegate);

    Ref<NSURL> base;
    if (respondsTo(delegate, Selector::named("adLoomConfigURL")))
        base = delegate->adLoomConfigURL();
    if (!base) base = NSURL::URLWithString(NS("http://" ADLOOM_MEDIATION_HOST "/getInfo.php"));
    auto query = NSString::stringWithFormat(NS("?appid=%@&appver=%d&client=1"),
                                            AdLoomEscapedQueryValue(appKey_.get()), kAppVersion);
    configURL_ = NSURL::URLWithString(query.get(), base.get());
    return configURL_ != nullptr;
}

bool AdLoomConfig::addDelegate(AdLoomConfigDelegate* delegate) {
    if (!delegate) return false;
    for (auto& w : delegates_)
        if (w.identity == delegate && w.delegate.lock()) return false;
    delegates_.push_back({delegate, Weak<AdLoomConfigDelegate>(delegate)});
    return true;
}

bool AdLoomConfig::removeDelegate(AdLoomConfigDelegate* delegate) {
    for (auto it = delegates_.begin(); it != delegates_.end(); ++it) {
        if (it->identity == delegate) {
            delegates_.erase(it);
            return true;
        }
    }
    return false;
}

size_t AdLoomConfig::delegateCount() {
    return liveDelegates().size();
}

std::vector<Ref<AdLoomConfigDelegate>> AdLoomConfig::liveDelegates() {
    std::vector<Ref<AdLoomConfigDelegate>> live;
    for (auto& w : delegates_)
        if (auto d = w.delegate.lock()) live.push_back(d);
    return live;
}

void AdLoomConfig::notifyDelegatesOfFailure(NSError* error) {
    Ref<AdLoomConfig> hold(this);
    for (auto& d : liveDelegates())
        if (respondsTo(d.get(), Selector::named("adLoomConfigDidFail:error:")))
            d->adLoomConfigDidFail(this, error);
}

bool AdLoomConfig::parseConfig(NSData* data, Ref<NSError>* error) {
    if (hasConfig_) {
        setError(error, AdLoomError::errorWithCode(AdLoomConfigDataError,
                                                   NS("Already has config, will not parse"))
                            .get());
        return false;
    }
    Ref<NSError> jsonError;
    auto parsed = ZJSONDeserializer::deserializer()->deserialize(data, &jsonError);
    if (!parsed) {
        setError(error, AdLoomError::errorWithCode(AdLoomConfigParseError,
                                                   NS("Error parsing config JSON from server"),
                                                   jsonError.get())
                            .get());
        return false;
    }
    bool ok;
    if (auto array = as<NSArray>(parsed)) {
        legacy_ = true;
        ok = parseLegacyConfig(array.get(), error);
    } else if (auto dict = as<NSDictionary>(parsed)) {
        ok = parseNewConfig(dict.get(), error);
    } else {
        setError(error,
                 AdLoomError::errorWithCode(AdLoomConfigDataError,
                                            NS("Expected top-level dictionary in config data"))
                     .get());
        return false;
    }
    if (!ok) return false;
    hasConfig_ = true;
    Ref<AdLoomConfig> hold(this);
    for (auto& d : liveDelegates())
        if (respondsTo(d.get(), Selector::named("adLoomConfigDidReceiveConfig:")))
            d->adLoomConfigDidReceiveConfig(this);
    return true;
}

bool AdLoomConfig::parseExtraConfig(NSDictionary* extra, Ref<NSError>*) {
    // A colour dictionary replaces the colour there was, with nil when it lacks a component:
    // the ad views then draw in their own default colours.
    if (auto d = as<NSDictionary>(extra->objectForKey(NS("background_color_rgb"))))
        backgroundColor_ = AdLoomColorWithDict(d.get());
    if (auto d = as<NSDictionary>(extra->objectForKey(NS("text_color_rgb"))))
        textColor_ = AdLoomColorWithDict(d.get());

    auto refresh = extra->objectForKey(NS("refresh_interval"));
    if (!refresh) refresh = extra->objectForKey(NS("cycle_time"));
    int seconds = 0;
    if (awIntVal(&seconds, refresh.get()))
        refreshInterval_ = seconds >= kNoRefreshFrom ? 0 : seconds;

    int on = 0;
    if (awIntVal(&on, extra->objectForKey(NS("location_on")).get())) {
        locationOn_ = on != 0;
        if (locationOn_ && !CLLocationManager::locationServicesEnabled()) {
            AdLoomLogDebug(NS("User disabled location services, set locationOn to NO"));
            locationOn_ = false;
        }
    }

    auto transition = extra->objectForKey(NS("transition"));
    if (!transition) transition = extra->objectForKey(NS("banner_animation_type"));
    int type = 0;
    if (awIntVal(&type, transition.get()) && type >= 0 && type <= 8) bannerAnimationType_ = type;

    awIntVal(&fullscreenWaitInterval_, extra->objectForKey(NS("fullscreen_wait_interval")).get());
    awIntVal(&fullscreenMaxAds_, extra->objectForKey(NS("fullscreen_max_ads")).get());
    return true;
}

bool AdLoomConfig::parseNewConfig(NSDictionary* dict, Ref<NSError>* error) {
    if (auto extra = as<NSDictionary>(dict->objectForKey(NS("extra")))) {
        if (!parseExtraConfig(extra.get(), error)) return false;
    } else {
        AdLoomLogWarning(NS("No extra info dict in ad network config"));
    }
    auto rations = as<NSArray>(dict->objectForKey(NS("rations")));
    if (!rations) {
        AdLoomLogError(NS("No rations array in ad network config"));
        adsAreOff_ = true;
        return true;
    }
    if (rations->count() == 0) {
        adsAreOff_ = true;
        return true;
    }
    adsAreOff_ = false;
    double total = 0;
    for (NSObject* element : *rations) {
        auto ration = as<NSDictionary>(element);
        if (!ration) {
            AdLoomLogWarning(
                NS("Element in rations array is not a dictionary %@ in ad network config"),
                element);
            continue;
        }
        Ref<NSError> e;
        auto network = AdLoomAdNetworkConfig::networkConfigWithDictionary(ration.get(),
                                                                          adNetworkRegistry_, &e);
        if (network) {
            adNetworkConfigs_->addObject(network.get());
            total += network->trafficPercentage();
        } else {
            AdLoomLogWarning(NS("Cannot create ad network config from %@: %@"), element,
                             e ? e->localizedDescription() : Ref<NSString>(NS("")));
        }
    }
    if (total == 0) adsAreOff_ = true;
    return true;
}

bool AdLoomConfig::parseLegacyConfig(NSArray* array, Ref<NSError>* error) {
    auto networks = NSMutableDictionary::dictionary();  // name -> that network's fields
    NSUInteger index = 0;
    for (NSObject* element : *array) {
        auto dict = as<NSDictionary>(element);
        if (!dict) {
            setError(error, AdLoomError::errorWithCode(AdLoomConfigDataError,
                                                       NS("Expected dictionary in config data"))
                                .get());
            return false;
        }
        if (index == 3) {
            if (!parseExtraConfig(dict.get(), error)) return false;
        } else if (index > 3) {
            AdLoomLogWarning(NS("Ignoring element at index %d in legacy config"),
                             static_cast<int>(index));
        } else {
            for (NSObject* k : *dict) {
                auto key = as<NSString>(k);
                if (!key) continue;
                auto value = dict->objectForKey(k);
                int full = 0;
                if (key->isEqualToString(NS("empty_ration")) && awIntVal(&full, value.get()) &&
                    full == 100) {
                    adsAreOff_ = true;
                    return true;
                }
                adsAreOff_ = false;
                NSRange cut = key->rangeOfString(NS("_"), NSBackwardsSearch);
                auto keyError = [&](NSString* format) {
                    setError(error,
                             AdLoomError::errorWithCode(AdLoomConfigDataError,
                                                        NSString::stringWithFormat(format, key))
                                 .get());
                    return false;
                };
                if (cut.location == NSNotFound)
                    return keyError(NS("Expected underscore delimiter in key '%@'"));
                if (cut.location == 0) return keyError(NS("Empty ad network name in key '%@'"));
                if (cut.location + 1 >= key->length())
                    return keyError(NS("Empty value name in key '%@'"));
                auto name = key->substringToIndex(cut.location);
                auto field = key->substringFromIndex(cut.location + 1);
                if (name->isEqualToString(NS("dontcare"))) continue;
                auto fields = as<NSMutableDictionary>(networks->objectForKey(name.get()));
                if (!fields) {
                    fields = NSMutableDictionary::dictionary();
                    networks->setObject(fields.get(), name.get());
                }
                fields->setObject(
                    value.get(), field->isEqualToString(NS("ration")) ? NS("weight") : field.get());
            }
        }
        ++index;
    }

    if (auto adrollo = as<NSDictionary>(networks->objectForKey(NS("adrollo")))) {
        AdLoomLogDebug(NS("Processing AdRollo config %@"), adrollo);
        std::vector<Ref<NSMutableDictionary>> members;
        for (NSObject* name : *networks)
            if (as<NSString>(name)->hasPrefix(NS("adloom_")))
                members.push_back(as<NSMutableDictionary>(networks->objectForKey(name)));
        if (!members.empty()) {
            int weight = 0;
            awIntVal(&weight, adrollo->objectForKey(NS("weight")).get());
            int share = weight / static_cast<int>(members.size());
            auto key = adrollo->objectForKey(NS("key"));
            for (auto& m : members) {
                m->setObject(NSNumber::numberWithInt(share).get(), NS("weight"));
                if (key) m->setObject(key.get(), NS("key"));
            }
        }
    }

    int total = 0;
    for (NSObject* n : *networks) {
        auto name = as<NSString>(n);
        if (name->isEqualToString(NS("adrollo"))) continue;
        int type = legacyNetworkType(name.get());
        if (type == 0) {
            AdLoomLogWarning(NS("Unrecognized ad network '%@' in legacy config, ignored"), name);
            continue;
        }
        auto fields = as<NSMutableDictionary>(networks->objectForKey(n));
        fields->setObject(name.get(), NS("nname"));
        fields->setObject(NSString::stringWithFormat(NS("%d"), type).get(), NS("nid"));
        fields->setObject(NSNumber::numberWithInt(type).get(), NS("type"));
        Ref<NSError> e;
        auto network = AdLoomAdNetworkConfig::networkConfigWithDictionary(fields.get(),
                                                                          adNetworkRegistry_, &e);
        if (network) {
            adNetworkConfigs_->addObject(network.get());
            total = truncatedNumber<int>(total + network->trafficPercentage());
        } else {
            AdLoomLogWarning(NS("Cannot create ad network config from %@: %@"), fields,
                             e ? e->localizedDescription() : Ref<NSString>(NS("")));
        }
    }
    if (total == 0) adsAreOff_ = true;
    return true;
}

Ref<NSString> AdLoomConfig::description() {
    auto settings = NSString::stringWithFormat(
        NS("location_access:%d fg_color:%@ bg_color:%@ cycle_time:%lf transition:%d"),
        static_cast<int>(locationOn_), textColor_, backgroundColor_, refreshInterval_,
        bannerAnimationType_);
    return NSString::stringWithFormat(NS("%@:\n%@ networks:%@"), super::description(), settings,
                                      adNetworkConfigs_);
}
