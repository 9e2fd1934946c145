// The analytics client's only entry point: class methods that start the session at launch, log
// into the current session, follow the application's life cycle and start the uploads.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSError;
class NSException;
class NSString;
class TallyAdView;
class TallyOffer;
class UIView;

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

    // ---- AppCircle: the vendor's house ads, through its ad client ----------------------------
    // Defined with the ad client (ads/tally/TallyAPI+AppCircle.cpp): a program that calls them
    // links it.
    // The banner for a hook in a parent view: the one already assigned to that hook and parent,
    // else a new one (attached, portrait, no auto-refresh, animated canvas for the short form).
    // With AppCircle off an alert says so and the answer is nil.
    static Ref<TallyAdView> getHook(NSString* hook, int x, int y, UIView* view);
    static Ref<TallyAdView> getHook(NSString* hook, int x, int y, UIView* view, bool attachToView,
                                    NSString* orientation, NSString* canvasOrientation,
                                    bool autoRefresh, bool canvasAnimated);
    static void updateHook(TallyAdView* banner);
    static void removeHook(TallyAdView* banner);
    // Opens the catalog canvas for the hook when the ad client has an ad for it.
    static void openCatalog(NSString* hook, NSString* canvasOrientation, bool canvasAnimated);
    // The ad delegate of the parser, kept (not retained) for later sessions.
    static void setAppCircleDelegate(NSObject* delegate);
    // Whether the ad client filled the container with a valid offer (never with AppCircle off);
    // the cookies' pairs are appended to a valid offer's referral URL.
    static bool getOffer(NSString* hook, TallyOffer* container);
    static bool getOffer(NSString* hook, TallyOffer* container, NSDictionary* userCookies);

    static bool udidEnabled() { return true; }
    static bool appCircleEnabled();
    static Ref<NSString> savedResponseURL();
    static Ref<NSString> serverURL();
    static Ref<NSString> canvasURL();
    static Ref<NSString> landscapeCanvasURL();
    static Ref<NSString> appStoreURL();
    static Ref<NSString> appVersion();
};
