#include "ads/pebble/PBLClickTracker.h"

#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIDevice.h"
#include "ads/pebble/PBLRequestError.h"
#include "ads/pebble/PBLStatistics.h"

namespace {
unsigned gActiveTrackings = 0;

bool supportsBackgroundTasks() {
    return UIDevice::currentDevice()->isMultitaskingSupported();
}
}  // namespace

void PBLClickTracker::describeClass(RuntimeClass& c) {
    c.implements({"tracker:didFailWithError:", "tracker:didRedirect:"});
}

void PBLClickTracker::dealloc() {
    reset();
    NSObject::dealloc();
}

bool PBLClickTracker::activeTrackings() {
    return gActiveTrackings != 0;
}

void PBLClickTracker::trackURL(NSURL* url) {
    if (!url) return;
    reset();
    beginBackgroundTask();
    tracker_ = make<PBLCachedFile>(&PBLCachedFile::initWithDelegate,
                                   static_cast<PBLCachedFileDelegate*>(this), url);
    if (tracker_) tracker_->validate();
}

void PBLClickTracker::reset() {
    hasTracked_ = false;
    if (auto fetch = tracker_) {
        tracker_ = nullptr;
        fetch->setDelegate(nullptr);
        fetch->invalidate();
    }
    endBackgroundTask();
}

void PBLClickTracker::beginBackgroundTask() {
    if (supportsBackgroundTasks()) {
        Weak<PBLClickTracker> weak = this;
        backgroundTaskID_ = static_cast<unsigned>(
            UIApplication::sharedApplication()->beginBackgroundTaskWithExpirationHandler([weak] {
                if (auto self = weak.lock()) self->reset();
            }));
    } else if (!counted_) {
        counted_ = true;
        ++gActiveTrackings;
    }
}

void PBLClickTracker::endBackgroundTask() {
    if (backgroundTaskID_ != 0) {
        if (supportsBackgroundTasks())
            UIApplication::sharedApplication()->endBackgroundTask(backgroundTaskID_);
        backgroundTaskID_ = 0;
    } else if (counted_) {
        counted_ = false;
        if (gActiveTrackings > 0) --gActiveTrackings;
    }
}

Ref<NSURL> PBLClickTracker::trackingURL() {
    return tracker_ ? tracker_->httpDestinationURL() : nullptr;
}

void PBLClickTracker::cachedFileDownloadDidEnd(PBLCachedFile* file) {
    if (hasTracked_) return;
    Ref<PBLClickTracker> keep = this;
    hasTracked_ = true;
    PBLStatistics::sharedStatistics()->addClickTrackingURL(file->sourceURL());
    if (auto d = delegate_.lock()) d->trackerDidRedirect(this, trackingURL());
    endBackgroundTask();
}

void PBLClickTracker::cachedFileDownloadDidFail(PBLCachedFile*, NSError* error) {
    if (hasTracked_) return;
    Ref<PBLClickTracker> keep = this;
    hasTracked_ = true;
    if (auto d = delegate_.lock()) d->trackerDidFailWithError(this, error);
    endBackgroundTask();
}

Ref<NSError> PBLClickTracker::cachedFileShouldRedirectToURL(PBLCachedFile* file, NSURL* url) {
    auto scheme = url ? url->scheme() : nullptr;
    if (scheme && scheme->lowercaseString()->hasPrefix(NS("http"))) return nullptr;
    // An application's URL is where the click was meant to go: the tracking has succeeded.
    cachedFileDownloadDidEnd(file);
    return NSError::errorWithDomain(PBLErrorDomain, 0, nullptr);
}
