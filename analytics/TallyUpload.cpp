// The uploads of the saved sessions.
#include <atomic>
#include <memory>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyAdClientHooks.h"
#include "analytics/TallyHTTP.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyUtil.h"

namespace {

// Drops from the saved records those an upload sent: they are still the oldest ones, unless a
// trim dropped some of them meanwhile.
void removeSentRecords(NSArray* sent) {
    std::lock_guard lock(TallySession::storeLock());
    auto saved = TallySession::savedSessions();
    NSUInteger from = 0;
    for (auto* record : *sent) {
        for (NSUInteger i = from; i < saved->count(); ++i) {
            if (saved->objectAtIndex(i)->isEqual(record)) {
                saved->removeObjectAtIndex(i);
                from = i;
                break;
            }
        }
    }
    TallySession::setSavedSessions(saved);
}

// The outcome of an upload without time-out: the current session's connectivity, and on
// success the records it sent go and the sent marker is set.
void bookOutcome(bool success, NSArray* sent, NSUInteger count) {
    if (auto current = TallySession::currentSession()) current->setInternetAvailable(success);
    if (success) {
        removeSentRecords(sent);
        TallySession::setSentSession();
        TallyUtil::debugLog(NS("Tally: Sent %d session(s)."), static_cast<int>(count));
    } else {
        TallyUtil::debugLog(NS("Tally: Could not connect to server."));
    }
}

}  // namespace

void TallySession::sendSessionsToServerWithTimeout(bool withTimeout, bool useWebView,
                                                   bool requestAds, bool sendCurrentSession) {
    try {
        TallyUtil::debugLog(NS("Tally: Sending sessions to server withTimeout[%d]"),
                            withTimeout ? 1 : 0);
        NSAutoreleasePool pool;
        Ref<NSArray> saved;
        Ref<NSMutableArray> sessions;
        {
            // The records are taken together, so a filing cannot slip between them.
            std::lock_guard lock(storeLock());
            saved = savedSessions();
            sessions = NSMutableArray::arrayWithArray(saved);
            if (sendCurrentSession)
                if (auto s = currentSession())
                    if (auto record = s->data()) sessions->addObject(record);
        }
        auto headers =
            NSDictionary::dictionaryWithObject(NS("application/octet-stream"), NS("Content-Type"));
        int timeout = withTimeout ? 5 : 20;
        // Only an upload without time-out books its outcome, once: on the main thread as the
        // reply arrives, so that a quit, which runs there too, comes before the reply (and the
        // records go again at the next start) or after the booking, never between the two.
        // Without a reply from the connection (a saved response, a waiter that gave up), this
        // thread books it.
        auto booked = std::make_shared<std::atomic<bool>>(false);
        Ref<NSArray> sent = saved;
        NSUInteger count = sessions->count();
        auto book = [booked, sent, count](TallyHTTPResponse* response) {
            if (booked->exchange(true)) return;
            // On the main thread this runs inside the connection's callback, out of reach of
            // the catch-all below.
            try {
                bookOutcome(response && response->isSuccess(), sent.get(), count);
            } catch (ExceptionRaised& raised) {
                TallyUtil::handleException(raised.exception);
            }
        };
        Ref<TallyHTTPResponse> response;
        if (auto saved = TallyAPI::savedResponseURL()) {
            response = TallyHTTPResponse::readFromURL(saved);
        } else {
            auto body = dataForSessions(sessions, requestAds);
            response = TallyHTTPEater::sendMethod(
                NS("POST"), NSURL::URLWithString(TallyAPI::serverURL()), body, headers, timeout,
                useWebView, withTimeout ? TallyConnectionDelegate::ReplyHandler() : book);
            if (TallyUtil::isDebugModeUnlocked() && response) response->saveToDisk();
        }
        if (withTimeout) return;
        book(response.get());
        if (auto hook = uploadAnsweredHook()) hook();
        bool success = response && response->isSuccess();
        if (requestAds) {
            if (auto& ads = TallyAdClientHooks::installed(); ads.replyReceived)
                ads.replyReceived(success, success ? response->body().get() : nullptr);
        }
    } catch (ExceptionRaised& raised) {
        TallyUtil::handleException(raised.exception);
    }
}

void TallySession::sendSessionsToServerForAdditionalInfo() {
    sendSessionsToServerWithTimeout(true, true, false, false);
}

void TallySession::sendSessionsToServerForSessionPause() {
    sendSessionsToServerWithTimeout(true, false, false, true);
    TallyAPI::stopBackgroundTask();
}

void TallySession::sendSessionsToServerForEndOfSession() {
    sendSessionsToServerWithTimeout(true, false, false, true);
}

void TallySession::sendSessionsToServerForAppCircle() {
    sendSessionsToServerWithTimeout(false, false, TallyAPI::appCircleEnabled(), false);
}
