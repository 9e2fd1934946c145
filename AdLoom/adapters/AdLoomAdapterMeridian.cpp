#include "AdLoom/adapters/AdLoomAdapterMeridian.h"

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "CoreLocation/CoreLocation.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ads/meridian/MRGenericAdView.h"

void AdLoomAdapterMeridian::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterMeridian::networkType);
    c.implements({"requestData", "adRequestSucceeded:", "adRequestFailed:", "adModalWillAppear",
                  "adModalWasDismissed", "adHostView", "latitude", "longitude", "age", "zipCode",
                  "sex"});
}

void AdLoomAdapterMeridian::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

void AdLoomAdapterMeridian::dealloc() {
    requestData_ = nullptr;
    AdLoomAdNetworkAdapter::dealloc();
}

bool AdLoomAdapterMeridian::answers(const char* selector) {
    return AdLoomDelegateAnswers(adLoomDelegate().get(), selector);
}

bool AdLoomAdapterMeridian::respondsToSelector(SEL sel) {
    const std::string& name = sel->name;
    if (name == "latitude" || name == "longitude") return answers("locationInfo");
    if (name == "age") return (answers("meridianMediaAge") || answers("dateOfBirth")) && age() >= 0;
    if (name == "zipCode") return answers("postalCode");
    if (name == "sex") return answers("gender");
    // The client would ask for these; the host may know them, but this adapter has no getters.
    if (name == "householdIncome" || name == "educationLevel" || name == "ethnicity") return false;
    return super::respondsToSelector(sel);
}

double AdLoomAdapterMeridian::latitude() {
    auto d = adLoomDelegate();
    auto location = d ? d->locationInfo() : nullptr;
    return location ? location->coordinate().latitude : 0.0;
}

double AdLoomAdapterMeridian::longitude() {
    auto d = adLoomDelegate();
    auto location = d ? d->locationInfo() : nullptr;
    return location ? location->coordinate().longitude : 0.0;
}

int AdLoomAdapterMeridian::age() {
    if (answers("meridianMediaAge")) return int(adLoomDelegate()->meridianMediaAge());
    return helperCalculateAge();
}

Ref<NSString> AdLoomAdapterMeridian::zipCode() {
    auto d = adLoomDelegate();
    return d ? d->postalCode() : nullptr;
}

Ref<NSString> AdLoomAdapterMeridian::sex() {
    auto d = adLoomDelegate();
    auto g = d ? d->gender() : nullptr;
    std::string text = g ? g->utf8() : "";
    if (text == "m") return NS("M");
    if (text == "f") return NS("F");
    return NS("");
}

void AdLoomAdapterMeridian::getAd() {
    auto d = adLoomDelegate();
    Ref<NSString> apid;
    if (answers("meridianMediaApIDString"))
        apid = d->meridianMediaApIDString();
    else if (auto network = networkConfig())
        apid = network->pubId();

    requestData_ = NSMutableDictionary::dictionary();
    requestData_->setObject(NS("adloom"), NS("vendor"));
    if (respondsToSelector(Selector::named("zipCode")))
        if (auto zip = zipCode()) requestData_->setObject(zip.get(), NS("zip"));
    if (respondsToSelector(Selector::named("age")))
        requestData_->setObject(NSString::stringWithFormat(NS("%d"), age()).get(), NS("age"));
    if (respondsToSelector(Selector::named("sex"))) requestData_->setObject(sex().get(), NS("sex"));
    if (respondsToSelector(Selector::named("latitude")))
        requestData_->setObject(NSString::stringWithFormat(NS("%lf"), latitude()).get(), NS("lat"));
    if (respondsToSelector(Selector::named("longitude")))
        requestData_->setObject(NSString::stringWithFormat(NS("%lf"), longitude()).get(),
                                NS("long"));

    int32_t type = answers("meridianMediaAdType") ? int32_t(d->meridianMediaAdType()) : 1;
    auto banner =
        MRAdView::adWithFrame(CGRectMake(0, 0, 320, 53), type, apid.get(), this, true, false);
    setAdNetworkView(banner.get());
}

void AdLoomAdapterMeridian::stopBeingDelegate() {
    if (auto banner = as<MRAdView>(adNetworkView())) {
        banner->disableAdRefresh();
        banner->setDelegate(nullptr);
    }
}

Ref<NSDictionary> AdLoomAdapterMeridian::requestData() {
    // A debug line: below the layer's level, so the host's targeting stays out of the log.
    AdLoomLogDebug(NS("Sending requestData to MR: %@"), requestData_.get());
    return requestData_;
}

void AdLoomAdapterMeridian::adRequestSucceeded(MRAdView*) {
    if (auto loom = adLoomView()) loom->adapterDidReceiveAdView(this, adNetworkView().get());
}

void AdLoomAdapterMeridian::adRequestFailed(MRAdView*) {
    if (auto loom = adLoomView()) loom->adapterDidFailAd(this, nullptr);
}

Ref<UIView> AdLoomAdapterMeridian::adHostView() {
    return adLoomView();
}

void AdLoomAdapterMeridian::adModalWillAppear() {
    helperNotifyDelegateOfFullScreenModal();
}

void AdLoomAdapterMeridian::adModalWasDismissed() {
    helperNotifyDelegateOfFullScreenModalDismissal();
}
