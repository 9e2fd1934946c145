// What the analytics client asks of the vendor's ad client. The ad client installs these when a
// program links it (ads/tally/TallyAdClientInstall.cpp); without it every hook is empty: no ad
// state follows the sessions, replies are not parsed and no impression is recorded.
#pragma once

#include <cstdint>
#include <functional>

#include "Foundation/NSObject.h"

class NSArray;
class NSData;
class NSNumber;
class NSString;

struct TallyAdClientHooks {
    // What the session's log and its debug lines read of an impression.
    struct Impression {
        Ref<NSString> hook;
        Ref<NSNumber> adId;
        Ref<NSNumber> result;
    };
    // The ids of the images held and when the cache last changed, told to the server.
    struct CachedImages {
        Ref<NSArray> ids;
        int64_t updateTimestamp = 0;
    };

    // A session start with the app's key: the heartbeat and the file cache.
    std::function<void(NSString* apiKey)> sessionStarting;
    // Before each new session: the ad client's saved state, in its own order.
    std::function<void()> restoreState;
    // After the new session's settings: the ad delegate kept from earlier sessions.
    std::function<void(NSObject* delegate)> restoreDelegate;
    // The application paused: an open canvas is cancelled.
    std::function<void()> sessionPaused;
    // An upload that asked for ads ended; the reply body is nil when it failed.
    std::function<void(bool success, NSData* body)> replyReceived;
    // The classes the session archive holds besides its own.
    std::function<void()> registerArchivedClasses;
    // Whether the object is one of the ad client's impressions, and its fields.
    std::function<bool(NSObject* object, Impression* out)> readImpression;
    // The impression's record in the upload body.
    std::function<Ref<NSData>(NSObject* impression)> impressionData;
    // Nothing until the image cache exists.
    std::function<bool(CachedImages* out)> cachedImages;

    static void install(TallyAdClientHooks hooks);
    static const TallyAdClientHooks& installed();
};
