#include "analytics/TallyAPI.h"

#include <functional>
#include <mutex>

#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSRunLoop.h"
#include "Foundation/NSString.h"
#include "Foundation/NSThread.h"
#include "Foundation/NSUserDefaults.h"
#include "UIKit/UIAlertView.h"
#include "UIKit/UIApplication.h"
#include "UIKit/UIKitNotifications.h"
#include "analytics/TallyAPICalls.h"
#include "analytics/TallyAdClientHooks.h"
#include "analytics/TallyPageViewDelegate.h"
#include "analytics/TallySession.h"
#include "analytics/base/TallyProtocolData.h"
#include "analytics/base/TallySettings.h"
#include "analytics/base/TallyUtil.h"

namespace {

using Settings = TallySettings;
using tally_settings::read;
using tally_settings::write;

Ref<NSString> copyOf(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

// Systems before multitasking have no background tasks.
bool hasBackgroundTasks(UIApplication* app) {
    return respondsTo(app, Selector::named("beginBackgroundTaskWithExpirationHandler:"));
}

void onCurrent(const std::function<void(TallySession*)>& body) {
    if (auto s = TallySession::currentSession()) body(s.get());
}

}  // namespace

namespace tally_api {

bool gate(const char* disabledLine) {
    if (TallyAPI::sendUsageInfo()) return true;
    TallyUtil::debugLog(NS("%s"), disabledLine);
    return false;
}

void caught(const std::function<void()>& body) {
    try {
        body();
    } catch (ExceptionRaised& raised) {
        TallyUtil::handleException(raised.exception);
    }
}

void gatedCaught(const char* disabledLine, const std::function<void()>& body) {
    if (gate(disabledLine)) caught(body);
}

void alert(NSString* message) {
    auto view = make<UIAlertView>(&UIAlertView::initWithTitle, NS(""), message,
                                  static_cast<UIAlertViewDelegate*>(nullptr), NS("Cancel"),
                                  std::initializer_list<NSString*>{});
    view->show();
}

}  // namespace tally_api

using tally_api::alert;
using tally_api::gate;
using tally_api::gatedCaught;

bool TallyAPI::sendUsageInfo() {
    auto value = NSUserDefaults::standardUserDefaults()->dictionaryRepresentation()->objectForKey(
        NS("TallySendUsageInfo"));
    // Only a stored NO switches off: a string is read for its boolean value ("YES", "1"), and
    // a value with no boolean reading at all leaves analytics on.
    bool off = false;
    if (auto number = as<NSNumber>(value))
        off = !number->boolValue();
    else if (auto string = as<NSString>(value))
        off = !string->boolValue();
    if (off) {
        TallyUtil::debugLog(NS("Tally: sendUsageInfo: TallySendUsageInfo is OFF"));
        return false;
    }
    TallyUtil::debugLog(NS("Tally: sendUsageInfo: TallySendUsageInfo is NULL or ON"));
    return true;
}

void TallyAPI::setAppVersion(NSString* version) {
    gatedCaught("Tally: setAppVersion disabled.", [&] {
        if (TallySession::currentSession()) {
            alert(NS("TallyAPI: Please call setAppVersion before startSession."));
            return;
        }
        TallyUtil::debugLog(NS("Tally: setAppVersion[%@]"), version);
        write(&Settings::appVersion, copyOf(version));
    });
}

Ref<NSString> TallyAPI::getTallyAgentVersion() {
    return TallySession::getAgentVersion();
}

void TallyAPI::unlockDebugMode(NSString* key, NSString* apiKey) {
    TallyUtil::unlockDebugMode(key, apiKey);
}

void TallyAPI::setAppCircleEnabled(bool enabled) {
    if (gate("Tally: setAppCircleEnabled disabled.")) write(&Settings::appCircleEnabled, enabled);
}

void TallyAPI::setPauseSecondsBeforeStartingNewSession(int seconds) {
    if (gate("Tally: setPauseSecondsBeforeStartingNewSession disabled."))
        write(&Settings::pauseSeconds, seconds);
}

void TallyAPI::setMaxSessionsSaved(int maxSessions) {
    if (gate("Tally: setMaxSessionsSaved disabled.")) TallySession::setMaxSessions(maxSessions);
}

void TallyAPI::createAndSendSession() {
    gatedCaught("Tally: createAndSendSession disabled.", [] {
        auto& ads = TallyAdClientHooks::installed();
        // The ad client's saved state first.
        if (ads.restoreState) ads.restoreState();
        auto key = read(&Settings::apiKey);
        TallySession::createActiveTallySession(key);
        setSessionReportsOnCloseEnabled(read(&Settings::reportsOnClose));
        setSessionReportsOnPauseEnabled(read(&Settings::reportsOnPause));
        setEventLoggingEnabled(read(&Settings::eventLogging));
        setAge(read(&Settings::age));
        if (auto delegate = read(&Settings::appCircleDelegate).lock())
            if (ads.restoreDelegate) ads.restoreDelegate(delegate);
        if (auto userID = read(&Settings::userID)) setUserID(userID);
        if (auto gender = read(&Settings::gender)) setGender(gender);
        NSThread::detachNewThreadWithBlock(
            [] { TallySession::sendSessionsToServerForAppCircle(); });
    });
}

void TallyAPI::startSession(NSString* apiKey) {
    gatedCaught("Tally: startSession disabled.", [&] {
        TallyUtil::debugLog(NS("Tally: Start session with apiKey[%@]"), apiKey);
        write(&Settings::apiKey, copyOf(apiKey));
        if (auto& ads = TallyAdClientHooks::installed(); ads.sessionStarting)
            ads.sessionStarting(apiKey);
        createAndSendSession();
        // Registered once, however often the host starts.
        static std::once_flag observers;
        std::call_once(observers, [] {
            auto center = NSNotificationCenter::defaultCenter();
            center->addObserverForName(UIApplicationWillTerminateNotification, nullptr,
                                       [](NSNotification*) { endSession(); });
            center->addObserverForName(UIApplicationWillResignActiveNotification, nullptr,
                                       [](NSNotification*) { pauseSession(); });
            center->addObserverForName(UIApplicationDidBecomeActiveNotification, nullptr,
                                       [](NSNotification*) { resumeSession(); });
        });
        TallyUtil::debugLog(NS("Tally: Finish starting session with apiKey[%@]"), apiKey);
    });
}

void TallyAPI::endSession() {
    gatedCaught("Tally: endSession disabled.", [] { onCurrent([](auto* s) { s->endSession(); }); });
}

void TallyAPI::pauseSession() {
    gatedCaught("Tally: pauseSession disabled.", [] {
        write(&Settings::pauseDate, NSDate::date());
        auto s = TallySession::currentSession();
        if (!s) return;
        s->pauseSession();
        if (auto& ads = TallyAdClientHooks::installed(); ads.sessionPaused) ads.sessionPaused();
        s->endSessionAndSend(false, false);
        if (!s->sessionReportsOnPauseEnabled()) return;
        auto app = UIApplication::sharedApplication();
        if (hasBackgroundTasks(app.get())) {
            stopBackgroundTask();
            TallyUtil::debugLog(NS("Tally: start background task"));
            write(&Settings::backgroundTask,
                  app->beginBackgroundTaskWithExpirationHandler([] { stopBackgroundTask(); }));
        }
        NSThread::detachNewThreadWithBlock(
            [] { TallySession::sendSessionsToServerForSessionPause(); });
    });
}

void TallyAPI::stopBackgroundTask() {
    UIBackgroundTaskIdentifier task;
    {
        std::lock_guard lock(tally_settings::lock());
        task = tally_settings::shared().backgroundTask;
        if (task == UIBackgroundTaskInvalid || task == 0) return;
    }
    if (!hasBackgroundTasks(UIApplication::sharedApplication().get())) return;
    {
        // Another caller may have ended it meanwhile.
        std::lock_guard lock(tally_settings::lock());
        if (tally_settings::shared().backgroundTask != task) return;
        tally_settings::shared().backgroundTask = UIBackgroundTaskInvalid;
    }
    TallyUtil::debugLog(NS("Tally: stop background task"));
    // The application object lives on the main thread.
    NSRunLoop::performOnMainThread(
        [task] { UIApplication::sharedApplication()->endBackgroundTask(task); }, false);
}

void TallyAPI::resumeSession() {
    gatedCaught("Tally: resumeSession disabled.", [] {
        int64_t paused =
            TallyProtocolData::timeIntervalFrom(read(&Settings::pauseDate), NSDate::date());
        // In 64 bits: a large pause setting must not wrap into a short one.
        if (paused <= static_cast<int64_t>(read(&Settings::pauseSeconds)) * 1000) {
            onCurrent([](auto* s) { s->resumeSession(); });
        } else {
            onCurrent([](auto* s) { s->saveSession(); });
            createAndSendSession();
        }
    });
}

void TallyAPI::logEvent(NSString* name) {
    gatedCaught("Tally: logEvent disabled.",
                [&] { onCurrent([&](auto* s) { s->recordEvent(name, nullptr, false); }); });
}

void TallyAPI::logEvent(NSString* name, NSDictionary* parameters) {
    gatedCaught("Tally: logEvent:withParameters disabled.",
                [&] { onCurrent([&](auto* s) { s->recordEvent(name, parameters, false); }); });
}

void TallyAPI::logEvent(NSString* name, bool timed) {
    gatedCaught("Tally: logEvent:timed disabled.",
                [&] { onCurrent([&](auto* s) { s->recordEvent(name, nullptr, timed); }); });
}

void TallyAPI::logEvent(NSString* name, NSDictionary* parameters, bool timed) {
    gatedCaught("Tally: logEvent:withParameters:timed disabled.",
                [&] { onCurrent([&](auto* s) { s->recordEvent(name, parameters, timed); }); });
}

void TallyAPI::endTimedEvent(NSString* name, NSDictionary* parameters) {
    gatedCaught("Tally: endTimedEvent disabled.",
                [&] { onCurrent([&](auto* s) { s->endTimedEvent(name, parameters); }); });
}

void TallyAPI::logError(NSString* errorID, NSString* message, NSException* exception) {
    gatedCaught("Tally: logError:message:exception disabled.",
                [&] { onCurrent([&](auto* s) { s->recordError(errorID, message, exception); }); });
}

void TallyAPI::logError(NSString* errorID, NSString* message, NSError* error) {
    gatedCaught("Tally: logError:message:error disabled.",
                [&] { onCurrent([&](auto* s) { s->recordError(errorID, message, error); }); });
}

void TallyAPI::countPageViews(NSObject* controller) {
    gatedCaught("Tally: countPageViews disabled.",
                [&] { TallyPageViewDelegate::createDelegateOnTarget(controller); });
}

void TallyAPI::countPageView() {
    gatedCaught("Tally: countPageView disabled.",
                [] { onCurrent([](auto* s) { s->maybeIncrementPageView(); }); });
}

void TallyAPI::setUserID(NSString* userID) {
    gatedCaught("Tally: setUserID disabled.", [&] {
        onCurrent([&](auto* s) { s->setUserID(userID); });
        TallyUtil::debugLog(NS("Tally: setUserID[%@]"), userID);
        write(&Settings::userID, copyOf(userID));
    });
}

void TallyAPI::setEventLoggingEnabled(bool enabled) {
    gatedCaught("Tally: setEventLoggingEnabled disabled.", [&] {
        write(&Settings::eventLogging, enabled);
        onCurrent([&](auto* s) { s->setEventLoggingEnabled(enabled); });
    });
}

void TallyAPI::setSavedResponseURL(NSString* url) {
    gatedCaught("Tally: setSavedResponseURL disabled.",
                [&] { write(&Settings::savedResponseURL, copyOf(url)); });
}

void TallyAPI::setServerURL(NSString* url) {
    gatedCaught("Tally: setServerURL disabled.", [&] { write(&Settings::serverURL, copyOf(url)); });
}

void TallyAPI::setCanvasURL(NSString* url) {
    gatedCaught("Tally: setCanvasURL disabled.", [&] { write(&Settings::canvasURL, copyOf(url)); });
}

void TallyAPI::setLandscapeCanvasURL(NSString* url) {
    gatedCaught("Tally: setLandscapeCanvasURL disabled.",
                [&] { write(&Settings::landscapeCanvasURL, copyOf(url)); });
}

void TallyAPI::setAppStoreURL(NSString* url) {
    gatedCaught("Tally: setAppStoreURL disabled.",
                [&] { write(&Settings::appStoreURL, copyOf(url)); });
}

void TallyAPI::setSessionReportsOnCloseEnabled(bool enabled) {
    gatedCaught("Tally: setSessionReportsOnCloseEnabled disabled.", [&] {
        write(&Settings::reportsOnClose, enabled);
        onCurrent([&](auto* s) { s->setSessionReportsOnCloseEnabled(enabled); });
    });
}

void TallyAPI::setSessionReportsOnPauseEnabled(bool enabled) {
    gatedCaught("Tally: setSessionReportsOnPauseEnabled disabled.", [&] {
        write(&Settings::reportsOnPause, enabled);
        onCurrent([&](auto* s) { s->setSessionReportsOnPauseEnabled(enabled); });
    });
}

void TallyAPI::setGender(NSString* gender) {
    gatedCaught("Tally: setGender disabled.", [&] {
        onCurrent([&](auto* s) { s->setGender(gender); });
        TallyUtil::debugLog(NS("Tally: setGender[%@]"), gender);
        write(&Settings::gender, copyOf(gender));
    });
}

void TallyAPI::setAge(int age) {
    gatedCaught("Tally: setAge disabled.", [&] {
        write(&Settings::age, age);
        onCurrent([&](auto* s) { s->setAge(age); });
    });
}

void TallyAPI::setShowErrorInLogEnabled(bool enabled) {
    if (gate("Tally: setShowErrorInLogEnabled disabled."))
        TallyUtil::setShowErrorInLogEnabled(enabled);
}

bool TallyAPI::appCircleEnabled() {
    return read(&Settings::appCircleEnabled);
}
Ref<NSString> TallyAPI::savedResponseURL() {
    return read(&Settings::savedResponseURL);
}
Ref<NSString> TallyAPI::serverURL() {
    return read(&Settings::serverURL);
}
Ref<NSString> TallyAPI::canvasURL() {
    return read(&Settings::canvasURL);
}
Ref<NSString> TallyAPI::landscapeCanvasURL() {
    return read(&Settings::landscapeCanvasURL);
}
Ref<NSString> TallyAPI::appStoreURL() {
    return read(&Settings::appStoreURL);
}
Ref<NSString> TallyAPI::appVersion() {
    return read(&Settings::appVersion);
}
