// The uploads of the saved sessions.
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
        Ref<TallyHTTPResponse> response;
        if (auto saved = TallyAPI::savedResponseURL()) {
            response = TallyHTTPResponse::readFromURL(saved);
        } else {
            auto body = dataForSessions(sessions, requestAds);
            response =
                TallyHTTPEater::sendMethod(NS("POST"), NSURL::URLWithString(TallyAPI::serverURL()),
                                           body, headers, timeout, useWebView);
            if (TallyUtil::isDebugModeUnlocked() && response) response->saveToDisk();
        }
        if (withTimeout) return;
        bool success = response && response->isSuccess();
        auto current = currentSession();
        if (current) current->setInternetAvailable(success);
        if (success) {
            removeSentRecords(saved);
            setSentSession();
            TallyUtil::debugLog(NS("Tally: Sent %d session(s)."),
                                static_cast<int>(sessions->count()));
        } else {
            TallyUtil::debugLog(NS("Tally: Could not connect to server."));
        }
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
