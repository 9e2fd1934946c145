#include "AdLoom/adapters/AdLoomAdapterGeneric.h"

#include "AdLoom/internal/AdLoomConfig.h"
#include "AdLoom/internal/AdLoomDelegate.h"
#include "AdLoom/internal/AdLoomError.h"
#include "AdLoom/internal/AdLoomView.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

void AdLoomAdapterGeneric::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterGeneric::networkType);
}

void AdLoomAdapterGeneric::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

void AdLoomAdapterGeneric::getAd() {
    auto d = adLoomDelegate();
    auto view = adLoomView();
    if (AdLoomDelegateAnswers(d.get(), "adLoomReceivedRequestForDeveloperToFufill:")) {
        d->adLoomReceivedRequestForDeveloperToFufill(view.get());
        if (view) view->adapterDidFinishAdRequest(this);
        return;
    }
    AdLoomLogWarning(NS("Delegate does not implement adLoomReceivedRequestForDeveloperToFufill"));
    if (view) view->adapterDidFailAd(this, nullptr);
}

void AdLoomAdapterEvent::describeClass(RuntimeClass& c) {
    c.classMethod("networkType", &AdLoomAdapterEvent::networkType);
}

void AdLoomAdapterEvent::load() {
    AdLoomAdNetworkRegistry::sharedRegistry()->registerClass(staticClass());
}

namespace {
// Whether the host can be sent the selector by name: an answer to respondsToSelector: alone
// (an optional protocol method) has nothing to call.
bool callableByName(NSObject* host, SEL sel) {
    if (!host || !host->respondsToSelector(sel)) return false;
    const Method* m = host->getClass()->instanceMethod(sel);
    return m && m->imp;
}
}  // namespace

void AdLoomAdapterEvent::getAd() {
    auto d = adLoomDelegate();
    auto view = adLoomView();
    NSObject* host = d ? objc_detail::objectOf(d.get()) : nullptr;
    Ref<NSString> name;
    if (auto key = networkConfig() ? networkConfig()->pubId() : nullptr) {
        auto fields = key->componentsSeparatedByString(NS("|;|"));
        if (fields->count() > 1) name = as<NSString>(fields->objectAtIndex(1));
    }
    // A key without a second field names nothing: the same outcome as a method the host lacks.
    if (!name) name = NS("");
    auto nameWithArg = NSString::stringWithFormat(NS("%@:"), name);
    SEL plain = name->length() ? Selector::named(name->utf8()) : nullptr;
    SEL withArg = name->length() ? Selector::named(nameWithArg->utf8()) : nullptr;
    if (plain && callableByName(host, plain)) {
        invokeMethod(host, plain, {});
    } else if (withArg && callableByName(host, withArg)) {
        Value arg = Value::ofObject(view.get());
        invokeMethod(host, withArg, std::span<const Value>(&arg, 1));
    } else {
        AdLoomLogWarning(NS("Delegate does not implement function %@ nor %@"), name, nameWithArg);
        if (view) view->adapterDidFailAd(this, nullptr);
        return;
    }
    if (view) view->adapterDidFinishAdRequest(this);
}
