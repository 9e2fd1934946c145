// One analytics session: its events, errors, ad impressions and page views, the files that keep
// sessions across launches, and the binary records that are uploaded.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>

#include "Foundation/NSCoder.h"
#include "Foundation/NSDate.h"  // the inline accessors hand out dates
#include "Foundation/NSLock.h"
#include "Foundation/NSString.h"

class NSArray;
class NSData;
class NSDictionary;
class NSError;
class NSException;
class NSMutableArray;
class NSMutableDictionary;

class TallySession : public NSObject, public NSCoding {
    NS_OBJECT(TallySession, NSObject)

    // Limits that bind one session.
    static constexpr int kMaxEventNames = 100;
    static constexpr int kMaxLoggedEvents = 1000;
    static constexpr int kMaxEventParameters = 10;
    static constexpr int kMaxLoggedErrors = 10;
    static constexpr int kMaxAdImpressions = 1000;

    static Ref<NSString> getAgentVersion();  // "42"

    // ---- the current session -------------------------------------------------------------
    // Files a session left behind by a crash, then makes a new current session for the key.
    static Ref<TallySession> createActiveTallySession(NSString* apiKey);
    static Ref<TallySession> currentSession();
    // Guards the session files and the current session's collections, which upload threads read.
    static NSRecursiveLock& storeLock();

    // ---- device identity -----------------------------------------------------------------
    static Ref<NSString> phoneID();  // "IPHONE" + the device's unique identifier
    static Ref<NSData> tallyID();    // SHA-1 of phoneID
    static Ref<NSData> hashData(NSData* data);
    static Ref<NSString> hashDataToHexString(const uint8_t* bytes, NSUInteger length);
    // The hardware: its model ("hw.machine"), memory in MB ("hw.physmem" / 1,048,576) and
    // clock ("hw.cpufrequency"); nil or 0 when the system does not say.
    static Ref<NSString> devicePlatform();
    static int deviceMemory();
    static int deviceCPUFrequency();
    // To three decimals, truncated toward zero.
    static double reduceLocationPrecision(double value);

    // ---- files (the library folder, named by the key's hash) ------------------------------
    static Ref<NSString> sessionsFilePath();
    static Ref<NSString> currentSessionFilePath();
    static Ref<NSString> sessionSentFilePath();
    static Ref<NSString> initialTimestampFilePath();
    static Ref<NSString> oldSessionsFilePath();
    static Ref<NSString> oldCurrentSessionFilePath();
    static Ref<NSString> oldSessionSentFilePath();
    static Ref<NSString> oldInitialTimestampFilePath();
    // The saved session records (data blocks), oldest first; empty when missing or damaged.
    static Ref<NSMutableArray> savedSessions();
    static void setSavedSessions(NSArray* sessions);
    static void addToSavedSessions(TallySession* session);
    static Ref<NSMutableArray> removeOldSessionsIfNecessary(NSMutableArray* sessions);
    static void setMaxSessions(int maxSessions);
    static bool sentSession();
    static void setSentSession();
    static Ref<NSDate> initialTimestamp();

    // ---- the upload body -----------------------------------------------------------------
    // Envelope then one record per entry: a session contributes its record, a data block is
    // used as stored; anything else, and a session without a record, is left out.
    static Ref<NSData> dataForSessions(NSArray* sessions, bool requestAds);
    static Ref<NSData> dataForSessions(NSArray* sessions) {
        return dataForSessions(sessions, true);
    }

    // ---- uploads (on the caller's thread) ----------------------------------------------------
    // The saved records, with the current session's after them when asked, posted to the
    // facade's server URL (through a hidden web view when asked). Only an upload without
    // time-out books the outcome, on the main thread as the reply arrives: on success it
    // removes the records it sent (not those filed meanwhile) and sets the sent marker.
    static void sendSessionsToServerWithTimeout(bool withTimeout, bool useWebView, bool requestAds,
                                                bool sendCurrentSession);
    static void sendSessionsToServerForAdditionalInfo();
    static void sendSessionsToServerForSessionPause();
    static void sendSessionsToServerForEndOfSession();
    static void sendSessionsToServerForAppCircle();

    // ---- a session -----------------------------------------------------------------------
    bool initWithAPIKey(NSString* apiKey, NSString* appVersion);

    void setSessionReportsOnCloseEnabled(bool enabled);
    bool sessionReportsOnCloseEnabled() { return sessionReportsOnCloseEnabled_; }
    void setSessionReportsOnPauseEnabled(bool enabled);
    bool sessionReportsOnPauseEnabled() { return sessionReportsOnPauseEnabled_; }

    void pauseSession();
    void resumeSession();
    void saveSession();
    void endSession() { endSessionAndSend(true, true); }
    void endSessionAndSend(bool send, bool removeCurrentSession);
    void maybeIncrementPageView();
    // Takes the location and keeps nothing: the app records no location.
    void setLocation(NSObject* location);

    Ref<NSString> userID();  // the empty string when none
    void setUserID(NSString* userID);
    void setGender(NSString* gender);
    void setAge(int age);
    void setEventLoggingEnabled(bool enabled);
    bool eventLoggingEnabled() { return eventLoggingEnabled_; }

    void recordEvent(NSString* name, NSDictionary* parameters) {
        recordEvent(name, parameters, false);
    }
    void recordEvent(NSString* name, NSDictionary* parameters, bool timed);
    void endTimedEvent(NSString* name, NSDictionary* parameters);
    void endTimedEvents();
    void recordError(NSString* errorID, NSString* message, NSException* exception);
    void recordError(NSString* errorID, NSString* message, NSError* error);
    void recordErrorWithExceptionString(NSString* errorID, NSString* message, NSString* text);
    // One of the ad client's impressions (read through its hooks).
    void recordAdImpression(NSObject* impression);

    void saveToDisk();
    // The session record, or nil when a collection holds an entry of the wrong kind.
    Ref<NSData> data();

    int64_t timeIntervalSinceSessionStart(NSDate* date);
    int64_t sessionLength();  // start to end time in ms; -1 without an end time

    Ref<NSDate> startTime() { return startTime_; }
    Ref<NSDate> endTime() { return endTime_; }
    void setEndTime(NSDate* date) { endTime_ = date; }
    Ref<NSDate> pauseTime() { return pauseTime_; }
    int64_t totalPauseIntervalMillis() { return totalPauseIntervalMillis_; }
    bool internetAvailable() { return internetAvailable_; }
    void setInternetAvailable(bool value) { internetAvailable_ = value; }
    int pageViewCount() { return pageViewCount_; }
    void setPageViewCount(int count) { pageViewCount_ = count; }
    Ref<NSString> appVersion() { return appVersion_; }
    void setAppVersion(NSString* version);
    Ref<NSString> apiKey() { return apiKey_; }
    bool crashed() { return crashed_; }
    void setCrashed(bool value) { crashed_ = value; }
    int serializationVersion() { return serializationVersion_; }
    int gender() { return gender_; }
    Ref<NSDate> age() { return age_; }
    Ref<NSString> locale() { return locale_; }
    Ref<NSString> timeZone() { return timeZone_; }
    bool eventLogComplete() { return eventLogComplete_; }
    int totalErrorCount() { return totalErrorCount_; }
    // Snapshots of the collections, taken under the store lock.
    Ref<NSDictionary> eventCounts();
    Ref<NSArray> eventLog();
    Ref<NSArray> errors();
    Ref<NSArray> adLog();

    void encodeWithCoder(NSCoder* coder) override;
    bool initWithCoder(NSCoder* coder) override;

    // Makes the classes of the archives known by name before anything is read back.
    static void registerArchivedClasses();
    // Forgets the current session, the key and the page-view time, removes every file of that
    // key, under both names, then forgets the key.
    static void removeFilesForTesting(NSString* apiKey);
    // Called on the thread of an upload without time-out once it has its answer and the outcome
    // is booked, before anything else: a test holds the thread there, as a quit would end it.
    static void setUploadAnsweredHookForTesting(std::function<void()> hook);
    static std::function<void()> uploadAnsweredHook();

private:
    int serializationVersion_ = 0;
    Ref<NSDate> startTime_;
    Ref<NSDate> endTime_;
    Ref<NSDate> pauseTime_;
    int64_t totalPauseIntervalMillis_ = 0;
    double latitude_ = 0;
    double longitude_ = 0;
    float accuracy_ = 0;
    bool crashed_ = false;
    Ref<NSString> apiKey_;
    Ref<NSString> appVersion_;
    Ref<NSString> userID_;
    Ref<NSMutableDictionary> eventCounts_;
    Ref<NSMutableArray> eventLog_;
    bool eventLogComplete_ = true;
    Ref<NSMutableArray> errors_;
    int totalErrorCount_ = 0;
    Ref<NSMutableArray> adLog_;
    bool eventLoggingEnabled_ = false;
    bool sessionReportsOnCloseEnabled_ = false;
    bool sessionReportsOnPauseEnabled_ = false;
    int pageViewCount_ = 0;
    Ref<NSString> locale_;
    Ref<NSString> timeZone_;
    bool internetAvailable_ = false;
    int gender_ = -1;
    Ref<NSDate> age_;
};
