// Installs the ad client's side of the analytics sessions. Every program that links the ad
// client takes this file (cmake/Systems.cmake asks the linker for the symbol below), so the
// hooks are in place before main.
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyImageCache.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyAdClientHooks.h"

extern "C" void bn_tally_ad_client_linked() {}

namespace {

TallyAdClientHooks adClientHooks() {
    TallyAdClientHooks h;
    h.sessionStarting = [](NSString* apiKey) {
        TallyHeartBeater::createAndStartInstance(1.0);
        TallyFileCache::createInstanceWithApiKey(apiKey);
    };
    h.restoreState = [] {
        TallyAdAssignment::recreateInstance();
        TallyImageCache::recreateInstanceWithFileCache(TallyFileCache::instance());
        TallyAdParser::recreateOldInstance();
        TallyAdParser::recreateInstance();
    };
    h.restoreDelegate = [](NSObject* delegate) { TallyAPI::setAppCircleDelegate(delegate); };
    h.sessionPaused = [] {
        if (auto canvas = TallyAdCanvasViewController::getOpenCanvasController()) canvas->cancel();
    };
    h.replyReceived = [](bool success, NSData* body) {
        auto parser = TallyAdParser::instance();
        parser->setInternetAvailable(success);
        parser->parseData(body);
    };
    h.registerArchivedClasses = [] { TallyAdImpression::staticClass(); };
    h.readImpression = [](NSObject* object, TallyAdClientHooks::Impression* out) {
        auto impression = as<TallyAdImpression>(object);
        if (!impression) return false;
        *out = {impression->hook(), impression->adId(), impression->adResult()};
        return true;
    };
    h.impressionData = [](NSObject* object) -> Ref<NSData> {
        auto impression = as<TallyAdImpression>(object);
        return impression ? impression->data() : nullptr;
    };
    h.cachedImages = [](TallyAdClientHooks::CachedImages* out) {
        auto cache = TallyImageCache::instance();
        if (!cache) return false;
        *out = {cache->storedIds(), cache->cacheUpdateTimestamp()};
        return true;
    };
    return h;
}

[[maybe_unused]] const bool installed = [] {
    TallyAdClientHooks::install(adClientHooks());
    return true;
}();

}  // namespace
