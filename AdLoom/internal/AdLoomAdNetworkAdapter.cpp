#include "AdLoom/internal/AdLoomAdNetworkAdapter.h"

#include "AdLoom/adapters/AdLoomAdapterCustom.h"
#include "AdLoom/adapters/AdLoomAdapterGeneric.h"
#include "AdLoom/adapters/AdLoomAdapterIAd.h"
#include "AdLoom/adapters/AdLoomAdapterIronvine.h"
#include "AdLoom/adapters/AdLoomAdapterMeridian.h"
#include "AdLoom/adapters/AdLoomAdapterPebbleAds.h"
#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Foundation/NSCalendar.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIColor.h"
#include "UIKit/UIView.h"

bool AdLoomDelegateAnswers(AdLoomDelegate* delegate, const char* selector) {
    return respondsTo(delegate, Selector::named(selector));
}

// ---- the adapter contract ----------------------------------------------------------------

bool AdLoomAdNetworkAdapter::initWithAdLoomDelegate(AdLoomDelegate* delegate, AdLoomView* view,
                                                    AdLoomConfig* config,
                                                    AdLoomAdNetworkConfig* networkConfig) {
    setAdLoomDelegate(delegate);
    setAdLoomView(view);
    setAdLoomConfig(config);
    setNetworkConfig(networkConfig);
    return true;
}

void AdLoomAdNetworkAdapter::getAd() {
    AdLoomLogCritical(NS("Subclass of AdLoomAdNetworkAdapter must implement -getAd."));
    NSException::raise(NSInvalidArgumentException,
                       NS("-[%@ getAd]: unrecognized selector sent to instance %p"),
                       NSString::fromUTF8(getClass()->name()), static_cast<const void*>(this));
}

void AdLoomAdNetworkAdapter::stopBeingDelegate() {
    AdLoomLogCritical(NS("Subclass of AdLoomAdNetworkAdapter must implement -stopBeingDelegate."));
    NSException::raise(NSInvalidArgumentException,
                       NS("-[%@ stopBeingDelegate]: unrecognized selector sent to instance %p"),
                       NSString::fromUTF8(getClass()->name()), static_cast<const void*>(this));
}

void AdLoomAdNetworkAdapter::rotateToOrientation(UIInterfaceOrientation orientation) {
    AdLoomLogDebug(NS("rotate to orientation %d called for adapter %@"),
                   static_cast<int>(orientation), NSString::fromUTF8(getClass()->name()));
}

bool AdLoomAdNetworkAdapter::isBannerAnimationOK(int) {
    return true;
}

void AdLoomAdNetworkAdapter::dealloc() {
    // A plain base object has no client to leave (and teardown must not raise).
    if (getClass() != staticClass()) stopBeingDelegate();
    adLoomDelegate_ = nullptr;
    adLoomView_ = nullptr;
    adLoomConfig_ = nullptr;
    networkConfig_ = nullptr;
    adNetworkView_ = nullptr;
    super::dealloc();
}

Ref<AdLoomView> AdLoomAdNetworkAdapter::adLoomView() {
    return adLoomView_.lock();
}
void AdLoomAdNetworkAdapter::setAdLoomView(AdLoomView* view) {
    adLoomView_ = view;
}
void AdLoomAdNetworkAdapter::setAdLoomConfig(AdLoomConfig* config) {
    adLoomConfig_ = config;
}
void AdLoomAdNetworkAdapter::setNetworkConfig(AdLoomAdNetworkConfig* config) {
    networkConfig_ = config;
}
void AdLoomAdNetworkAdapter::setAdNetworkView(UIView* view) {
    adNetworkView_ = view;
}

// ---- helpers -------------------------------------------------------------------------------

void AdLoomAdNetworkAdapter::helperNotifyDelegateOfFullScreenModal() {
    // Heard once per view, and closed once: the host hears them in pairs.
    if (fullScreen_.held()) return;
    fullScreen_.take();
    if (auto view = adLoomView()) view->adapterWillPresentFullScreen(this);
    if (auto d = adLoomDelegate();
        AdLoomDelegateAnswers(d.get(), "adLoomWillPresentFullScreenModal"))
        d->adLoomWillPresentFullScreenModal();
}

void AdLoomAdNetworkAdapter::helperNotifyDelegateOfFullScreenModalDismissal() {
    if (!fullScreen_.held()) return;
    // The banner lets go of it once told.
    Ref<AdLoomAdNetworkAdapter> hold(this);
    if (auto d = adLoomDelegate();
        AdLoomDelegateAnswers(d.get(), "adLoomDidDismissFullScreenModal"))
        d->adLoomDidDismissFullScreenModal();
    if (auto view = adLoomView()) view->adapterDidDismissFullScreen(this);
    fullScreen_.giveBack();
}

namespace {
using ColorAnswer = Ref<UIColor> (AdLoomDelegate::*)();
// The host's own colour for ads, else its general one, else the configuration's.
Ref<UIColor> colorToUse(AdLoomDelegate* d, const char* adName, ColorAnswer ad, const char* name,
                        ColorAnswer general, Ref<UIColor> configured) {
    if (AdLoomDelegateAnswers(d, adName))
        if (auto c = (d->*ad)()) return c;
    if (AdLoomDelegateAnswers(d, name))
        if (auto c = (d->*general)()) return c;
    return configured;
}
}  // namespace

Ref<UIColor> AdLoomAdNetworkAdapter::helperBackgroundColorToUse() {
    return colorToUse(adLoomDelegate().get(), "adLoomAdBackgroundColor",
                      &AdLoomDelegate::adLoomAdBackgroundColor, "backgroundColor",
                      &AdLoomDelegate::backgroundColor,
                      adLoomConfig_ ? adLoomConfig_->backgroundColor() : nullptr);
}

Ref<UIColor> AdLoomAdNetworkAdapter::helperTextColorToUse() {
    return colorToUse(adLoomDelegate().get(), "adLoomTextColor", &AdLoomDelegate::adLoomTextColor,
                      "textColor", &AdLoomDelegate::textColor,
                      adLoomConfig_ ? adLoomConfig_->textColor() : nullptr);
}

Ref<UIColor> AdLoomAdNetworkAdapter::helperSecondaryTextColorToUse() {
    auto d = adLoomDelegate();
    if (AdLoomDelegateAnswers(d.get(), "adLoomSecondaryTextColor"))
        return d->adLoomSecondaryTextColor();
    return nullptr;
}

int AdLoomAdNetworkAdapter::helperCalculateAge() {
    auto d = adLoomDelegate();
    auto birth = d ? d->dateOfBirth() : nullptr;
    if (!birth) return -1;
    auto calendar = make<NSCalendar>(&NSCalendar::initWithCalendarIdentifier, NSGregorianCalendar);
    auto parts = calendar->components(NSYearCalendarUnit, birth.get(), NSDate::date().get(), 0);
    return static_cast<int>(parts->year());
}

// ---- the registry --------------------------------------------------------------------------

bool AdLoomClassWrapper::initWithClass(Class cls) {
    theClass_ = cls;
    return true;
}

Ref<AdLoomAdNetworkRegistry> AdLoomAdNetworkRegistry::sharedRegistry() {
    // Made on the main thread before any banner exists; the adapters' registration (their
    // load time) asks for the registry again, so it is stored before they run.
    static ProcessWide<AdLoomAdNetworkRegistry> slot;
    if (auto shared = slot.peek()) return shared;
    auto shared = make<AdLoomAdNetworkRegistry>();
    slot.exchange(shared);
    AdLoomAdapterCustom::load();
    AdLoomAdapterGeneric::load();
    AdLoomAdapterEvent::load();
    AdLoomAdapterIAd::load();
    AdLoomAdapterIronvine::load();
    AdLoomAdapterPebbleAds::load();
    AdLoomAdapterMeridian::load();
    return shared;
}

bool AdLoomAdNetworkRegistry::init() {
    adapterDict_ = NSMutableDictionary::dictionary();
    return true;
}

void AdLoomAdNetworkRegistry::registerClass(Class adapterClass) {
    Value type = invokeMethod(adapterClass, Selector::named("networkType"), {});
    adapterDict_->setObject(
        make<AdLoomClassWrapper>(&AdLoomClassWrapper::initWithClass, adapterClass).get(),
        NSNumber::numberWithInt(static_cast<int>(type.toLongLong())).get());
}

Ref<AdLoomClassWrapper> AdLoomAdNetworkRegistry::adapterClassFor(int networkType) {
    return as<AdLoomClassWrapper>(
        adapterDict_->objectForKey(NSNumber::numberWithInt(networkType).get()));
}
