// The analytics client's only entry point: class methods that start the session at launch, log
// into the current session, follow the application's life cycle and start the uploads.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSError;
class NSException;
class NSString;

class TallyAPI : public NSObject {
    NS_OBJECT(TallyAPI, NSObject)

    // "TallySendUsageInfo" in the user defaults, read on every call: only a stored NO stops.
    static bool sendUsageInfo();

    static void setAppVersion(NSString* version);
    static Ref<NSString> getTallyAgentVersion();
    static void unlockDebugMode(NSString* key, NSString* apiKey);
    static void setAppCircleEnabled(bool enabled);
    static void setPauseSecondsBeforeStartingNewSession(int seconds);
    static void setMaxSessionsSaved(int maxSessions);
    static void createAndSendSession();
    static void startSession(NSString* apiKey);
    static void endSession();
    static void pauseSession();
    static void stopBackgroundTask();
    static void resumeSession();
    static void logEvent(NSString* name);
    static void logEvent(NSString* name, NSDictionary* parameters);
    static void logEvent(NSString* name, bool timed);
    static void logEvent(NSString* name, NSDictionary* parameters, bool timed);
    static void endTimedEvent(NSString* name, NSDictionary* parameters);
    static void logError(NSString* errorID, NSString* message, NSException* exception);
    static void logError(NSString* errorID, NSString* message, NSError* error);
    static void countPageViews(NSObject* controller);
    static void countPageView();
    static void setUserID(NSString* userID);
    static void setEventLoggingEnabled(bool enabled);
    static void setSavedResponseURL(NSString* url);
    static void setServerURL(NSString* url);
    static void setCanvasURL(NSString* url);
    static void setLandscapeCanvasURL(NSString* url);
    static void setAppStoreURL(NSString* url);
    static void setSessionReportsOnCloseEnabled(bool enabled);
    static void setSessionReportsOnPauseEnabled(bool enabled);
    static void setGender(NSString* gender);
    static void setAge(int age);
    static void setShowErrorInLogEnabled(bool enabled);

    static bool udidEnabled() { return true; }
    static bool appCircleEnabled();
    static Ref<NSString> savedResponseURL();
    static Ref<NSString> serverURL();
    static Ref<NSString> canvasURL();
    static Ref<NSString> landscapeCanvasURL();
    static Ref<NSString> appStoreURL();
    static Ref<NSString> appVersion();

    // Back to the defaults of a fresh process (the observers stay registered).
    static void resetForTesting();
};
