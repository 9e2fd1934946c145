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
#include "ads/tally/TallyAdCanvasViewController.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdImpression.h"
#include "ads/tally/TallyAdModel.h"
#include "ads/tally/TallyAdView.h"
#include "ads/tally/TallyImageCache.h"
#include "ads/tally/TallyOffer.h"
#include "analytics/TallyHosts.h"
#include "analytics/TallyPageViewDelegate.h"
#include "analytics/TallyProtocolData.h"
#include "analytics/TallySession.h"
#include "analytics/TallyUtil.h"

namespace {

// The process-wide settings. Upload threads read the URLs and flags, so they sit under a lock.
struct Settings {
    Ref<NSString> serverURL = NSString::stringWithUTF8String(tally_hosts::kUploadURL);
    Ref<NSString> canvasURL = NSString::stringWithUTF8String(tally_hosts::kCanvasURL);
    Ref<NSString> landscapeCanvasURL =
        NSString::stringWithUTF8String(tally_hosts::kLandscapeCanvasURL);
    Ref<NSString> appStoreURL = NSString::stringWithUTF8String(tally_hosts::kAppStoreURL);
    Ref<NSString> savedResponseURL;
    int pauseSeconds = 10;
    bool reportsOnClose = true;
    bool reportsOnPause = true;
    bool eventLogging = true;
    int age = -1;
    Ref<NSString> appVersion;
    bool appCircleEnabled = false;
    Ref<NSString> userID;
    Ref<NSString> gender;
    Ref<NSString> apiKey;
    Ref<NSDate> pauseDate;
    Weak<NSObject> appCircleDelegate;
    UIBackgroundTaskIdentifier backgroundTask = UIBackgroundTaskInvalid;
};

std::mutex settingsLock;
Settings& settings() {
    static Settings* s = new Settings();
    return *s;
}

template <class T>
T read(T Settings::*field) {
    std::lock_guard lock(settingsLock);
    return settings().*field;
}

template <class T>
void write(T Settings::*field, T value) {
    std::lock_guard lock(settingsLock);
    settings().*field = value;
}

Ref<NSString> copyOf(NSString* s) {
    return s ? cast<NSString>(s->copy()) : nullptr;
}

// A gated call: does nothing (but its debug line) while usage info is switched off.
bool gate(const char* disabledLine) {
    if (TallyAPI::sendUsageInfo()) return true;
    TallyUtil::debugLog(NS("%s"), disabledLine);
    return false;
}

// A caught call: no exception of the client reaches the host.
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

// Systems before multitasking have no background tasks.
bool hasBackgroundTasks(UIApplication* app) {
    return respondsTo(app, Selector::named("beginBackgroundTaskWithExpirationHandler:"));
}

void onCurrent(const std::function<void(TallySession*)>& body) {
    if (auto s = TallySession::currentSession()) body(s.get());
}

}  // namespace

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
        // The ad client's saved state first, in its own order.
        TallyAdAssignment::recreateInstance();
        TallyImageCache::recreateInstanceWithFileCache(TallyFileCache::instance());
        TallyAdParser::recreateOldInstance();
        TallyAdParser::recreateInstance();
        auto key = read(&Settings::apiKey);
        TallySession::createActiveTallySession(key);
        setSessionReportsOnCloseEnabled(read(&Settings::reportsOnClose));
        setSessionReportsOnPauseEnabled(read(&Settings::reportsOnPause));
        setEventLoggingEnabled(read(&Settings::eventLogging));
        setAge(read(&Settings::age));
        if (auto delegate = read(&Settings::appCircleDelegate).lock())
            setAppCircleDelegate(delegate);
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
        TallyHeartBeater::createAndStartInstance(1.0);
        TallyFileCache::createInstanceWithApiKey(apiKey);
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
        if (auto canvas = TallyAdCanvasViewController::getOpenCanvasController()) canvas->cancel();
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
        std::lock_guard lock(settingsLock);
        task = settings().backgroundTask;
        if (task == UIBackgroundTaskInvalid || task == 0) return;
    }
    if (!hasBackgroundTasks(UIApplication::sharedApplication().get())) return;
    {
        // Another caller may have ended it meanwhile.
        std::lock_guard lock(settingsLock);
        if (settings().backgroundTask != task) return;
        settings().backgroundTask = UIBackgroundTaskInvalid;
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

Ref<TallyAdView> TallyAPI::getHook(NSString* hook, int x, int y, UIView* view) {
    Ref<TallyAdView> banner;
    gatedCaught("Tally: getHook:xLoc:yLoc:view disabled.", [&] {
        banner = getHook(hook, x, y, view, true, NS("portrait"), NS("portrait"), false, true);
    });
    return banner;
}

Ref<TallyAdView> TallyAPI::getHook(NSString* hook, int x, int y, UIView* view, bool attachToView,
                                   NSString* orientation, NSString* canvasOrientation,
                                   bool autoRefresh, bool canvasAnimated) {
    Ref<TallyAdView> banner;
    gatedCaught(
        "Tally: getHook:xLoc:yLoc:view:attachToView:orientation:canvasOrientation:autoRefresh "
        "disabled.",
        [&] {
            if (!appCircleEnabled()) {
                alert(
                    NS("TallyAPI: AppCircle is disabled. Please enable AppCircle from Tally SDK "
                       "before using AppCircle banners."));
                return;
            }
            auto parentName = view ? view->description() : nullptr;
            auto assignment = TallyAdAssignment::createInstance();
            if (auto assigned = as<TallyAdView>(assignment->assignedBanner(hook, parentName))) {
                banner = assigned;
                return;
            }
            auto ad = TallyAdParser::fastAdWithHook(hook, parentName);
            banner = make<TallyAdView>(&TallyAdView::initWithAd, ad.get(), hook, x, y,
                                       static_cast<NSObject*>(view), attachToView, orientation,
                                       canvasOrientation, autoRefresh);
            banner->setAdDelegate(TallyAdParser::instance()->adDelegate());
            banner->setCanvasAnimated(canvasAnimated);
            assignment->assignBanner(banner, hook, parentName);
        });
    return banner;
}

void TallyAPI::updateHook(TallyAdView* banner) {
    gatedCaught("Tally: updateHook disabled.", [&] {
        if (banner) banner->refreshWithAd();
    });
}

void TallyAPI::removeHook(TallyAdView* banner) {
    gatedCaught("Tally: removeHook disabled.", [&] {
        auto assignment = TallyAdAssignment::instance();
        if (banner && assignment) assignment->unassignBanner(banner->hook(), banner->parentName());
    });
}

void TallyAPI::openCatalog(NSString* hook, NSString* canvasOrientation, bool canvasAnimated) {
    gatedCaught("Tally: openCatalog:canvasOrientation disabled.", [&] {
        auto ad = TallyAdParser::fastAdWithHook(hook, nullptr);
        auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook,
                                                  NSNumber::numberWithInt(2).get());
        if (!ad) return;
        impression->updateWithAd(ad);
        auto url = TallyAdView::webUrlForCanvas(true, hook, ad, impression, canvasOrientation);
        TallyUtil::debugLog(NS("Tally: Click url[%@]"), url);
        auto canvas = make<TallyAdCanvasViewController>();
        canvas->setWebUrl(url);
        canvas->setAdImpression(impression);
        canvas->setAd(ad);
        canvas->setAdDelegate(TallyAdParser::instance()->adDelegate());
        canvas->setCanvasOrientation(canvasOrientation);
        canvas->setCanvasAnimated(canvasAnimated);
        canvas->createCanvasWindow();
    });
}

void TallyAPI::setAppCircleDelegate(NSObject* delegate) {
    gatedCaught("Tally: setAppCircleDelegate disabled.", [&] {
        TallyAdParser::instance()->setAdDelegate(delegate);
        write(&Settings::appCircleDelegate, Weak<NSObject>(delegate));
    });
}

bool TallyAPI::getOffer(NSString* hook, TallyOffer* container) {
    if (!gate("Tally: getOffer:withTallyOfferContainer: is disabled.")) return false;
    bool valid = false;
    if (appCircleEnabled() && container) {
        TallyUtil::debugLog(
            NS("Tally: getOffer:withTallyOfferContainer: getting fastOfferWithHook."));
        auto impression = make<TallyAdImpression>(&TallyAdImpression::initWithHook, hook,
                                                  NSNumber::numberWithInt(3).get());
        valid = TallyAdParser::fastOfferWithHook(hook, impression, container);
    }
    TallyUtil::debugLog(NS("Tally: getOffer:withTallyOfferContainer: offerValid is %d."),
                        valid ? 1 : 0);
    return valid;
}

bool TallyAPI::getOffer(NSString* hook, TallyOffer* container, NSDictionary* userCookies) {
    bool valid = getOffer(hook, container);
    if (!valid || !userCookies || userCookies->count() == 0) return valid;
    auto escaped = [](NSObject* item) {
        return item->description()->stringByAddingPercentEscapesUsingEncoding(
            NSUTF8StringEncoding, nullptr, NS("!*'();:@&=+$,/?%#[]"));
    };
    auto suffix = NSMutableString::string();
    userCookies->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value, bool*) {
        suffix->appendFormat(NS("&c_%@=%@"), escaped(key), escaped(value));
    });
    auto referral = container->referralUrl();
    container->setReferralUrl(referral ? referral->stringByAppendingString(suffix) : suffix);
    TallyUtil::debugLog(NS("Tally: getOfferFromAdBlock:withTallyOfferContainer:withCookies: "
                           "tallyOffer.referralUrl %@"),
                        container->referralUrl());
    return valid;
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

void TallyAPI::resetForTesting() {
    std::lock_guard lock(settingsLock);
    settings() = Settings();
}
