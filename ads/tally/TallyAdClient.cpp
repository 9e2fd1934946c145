#include "ads/tally/TallyAdClient.h"

#include <mutex>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimer.h"

namespace {
std::mutex clientLock;
Ref<TallyHeartBeater> heartBeater;
Ref<TallyFileCache> fileCache;
Ref<TallyAdAssignment> assignment;
Ref<TallyAdParser> parser;
Ref<TallyAdParser> oldParser;

Ref<NSString> assignmentKey(NSString* hook, NSString* parentName) {
    return NSString::stringWithFormat(NS("%@\n%@"), hook, parentName);
}
}  // namespace

Ref<TallyHeartBeater> TallyHeartBeater::createAndStartInstance(double interval) {
    std::lock_guard lock(clientLock);
    if (!heartBeater) {
        heartBeater = make<TallyHeartBeater>();
        heartBeater->interval_ = interval;
        TallyHeartBeater* beater = heartBeater.get();  // the singleton is never freed
        heartBeater->timer_ = NSTimer::scheduledTimerWithTimeInterval(
            interval, true, [beater](NSTimer*) { ++beater->beats_; });
    }
    return heartBeater;
}

Ref<TallyFileCache> TallyFileCache::createInstanceWithApiKey(NSString* apiKey) {
    std::lock_guard lock(clientLock);
    if (!fileCache) {
        fileCache = make<TallyFileCache>();
        fileCache->apiKey_ = apiKey ? cast<NSString>(apiKey->copy()) : nullptr;
    }
    return fileCache;
}

Ref<TallyFileCache> TallyFileCache::instance() {
    std::lock_guard lock(clientLock);
    return fileCache;
}

void TallyAdAssignment::recreateInstance() {
    auto fresh = make<TallyAdAssignment>();
    fresh->banners_ = NSMutableDictionary::dictionary();
    std::lock_guard lock(clientLock);
    assignment = fresh;
}

Ref<TallyAdAssignment> TallyAdAssignment::instance() {
    {
        std::lock_guard lock(clientLock);
        if (assignment) return assignment;
    }
    recreateInstance();
    return instance();
}

Ref<NSObject> TallyAdAssignment::assignedBanner(NSString* hook, NSString* parentName) {
    return banners_->objectForKey(assignmentKey(hook, parentName));
}

void TallyAdAssignment::assignBanner(NSObject* banner, NSString* hook, NSString* parentName) {
    banners_->setObject(banner, assignmentKey(hook, parentName));
}

void TallyAdAssignment::unassignBanner(NSString* hook, NSString* parentName) {
    banners_->removeObjectForKey(assignmentKey(hook, parentName));
}

void TallyAdParser::recreateOldInstance() {
    auto fresh = make<TallyAdParser>();
    std::lock_guard lock(clientLock);
    oldParser = fresh;
}

void TallyAdParser::recreateInstance() {
    auto fresh = make<TallyAdParser>();
    std::lock_guard lock(clientLock);
    // The host's ad delegate stays with the parser that replaces this one.
    if (parser) fresh->adDelegate_ = parser->adDelegate_;
    parser = fresh;
}

Ref<TallyAdParser> TallyAdParser::instance() {
    {
        std::lock_guard lock(clientLock);
        if (parser) return parser;
    }
    recreateInstance();
    return instance();
}

Ref<TallyAdParser> TallyAdParser::oldInstance() {
    std::lock_guard lock(clientLock);
    return oldParser;
}

Ref<NSObject> TallyAdParser::fastAdWithHook(NSString*, NSString*) {
    return nullptr;
}

bool TallyAdParser::fastOfferWithHook(NSString*, TallyAdImpression*, TallyOffer*) {
    return false;
}

void TallyAdParser::setInternetAvailable(bool available) {
    std::lock_guard lock(clientLock);
    internetAvailable_ = available;
}

void TallyAdParser::parseData(NSData* data) {
    std::lock_guard lock(clientLock);
    lastData_ = data;
    ++parsedCount_;
}
