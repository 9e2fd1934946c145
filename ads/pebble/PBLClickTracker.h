// Hits one tracking URL and reports when it is done, keeping the application alive in the
// background until then. Main thread only.
#pragma once

#include "Foundation/NSObject.h"
#include "ads/pebble/PBLCachedFile.h"

class NSError;
class NSURL;
class PBLClickTracker;

class PBLClickTrackerDelegate {
public:
    virtual ~PBLClickTrackerDelegate() = default;
    virtual void trackerDidFailWithError(PBLClickTracker*, NSError*) {}
    virtual void trackerDidRedirect(PBLClickTracker*, NSURL* /*finalURL*/) {}
};

class PBLClickTracker : public NSObject, public PBLCachedFileDelegate {
    NS_OBJECT(PBLClickTracker, NSObject)
    static void describeClass(RuntimeClass& c);
    void dealloc() override;
    // Whether any tracking without a background task is still running.
    static bool activeTrackings();

    void setDelegate(PBLClickTrackerDelegate* delegate) { delegate_ = delegate; }
    Ref<PBLClickTrackerDelegate> delegate() { return delegate_.lock(); }
    bool hasTracked() { return hasTracked_; }
    // A tracking started and neither ended, failed nor reset.
    bool isTracking() { return tracker_ && !hasTracked_; }
    // An earlier tracking of this tracker is abandoned without a callback.
    void trackURL(NSURL* url);
    void reset();
    void beginBackgroundTask();
    void endBackgroundTask();
    Ref<NSURL> trackingURL();

    void cachedFileDownloadDidEnd(PBLCachedFile* file) override;
    void cachedFileDownloadDidFail(PBLCachedFile* file, NSError* error) override;
    Ref<NSError> cachedFileShouldRedirectToURL(PBLCachedFile* file, NSURL* url) override;

private:
    Weak<PBLClickTrackerDelegate> delegate_;
    Ref<PBLCachedFile> tracker_;
    bool hasTracked_ = false;
    unsigned backgroundTaskID_ = 0;
    // Whether this tracker added to the process-wide count, so it takes back only its own.
    bool counted_ = false;
};
