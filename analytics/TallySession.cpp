#include "analytics/TallySession.h"

#include <cstdio>

#include "CommonCrypto/CommonDigest.h"
#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDateFormatter.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSKeyedArchiver.h"
#include "Foundation/NSLocale.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSTimeZone.h"
#include "Foundation/ProcessWide.h"
#include "Foundation/SystemInfo.h"
#include "UIKit/UIDevice.h"
#include "analytics/TallyAPI.h"
#include "analytics/TallyAdClientHooks.h"
#include "analytics/TallyEvent.h"
#include "analytics/base/TallyProtocolData.h"
#include "analytics/base/TallyUtil.h"

namespace {

using P = TallyProtocolData;

constexpr unsigned kProtocolVersion = 15;
constexpr unsigned kPlatform = 2;
constexpr unsigned kAgentVersion = 42;

// Class-level state, all under the store lock.
struct ClassState {
    Ref<TallySession> current;
    Ref<NSString> apiKey;
    Ref<NSDate> lastPageViewTime;
    int maxSessions = 50;
    std::function<void()> uploadAnswered;
};
ProcessWide<ClassState>& classSlot() {
    static ProcessWide<ClassState> slot;
    return slot;
}
ClassState& classState() {
    return *classSlot().get();
}

Ref<NSString> libraryFolder() {
    auto dirs = NSSearchPathForDirectoriesInDomains(NSLibraryDirectory, NSUserDomainMask, true);
    return cast<NSString>(dirs->objectAtIndex(0));
}

int32_t keyHash() {
    return classState().apiKey ? static_cast<int32_t>(classState().apiKey->hash()) : 0;
}

Ref<NSString> filePath(const char* stem, bool dotted) {
    return NSString::stringWithFormat(NS("%@/%s%s%d.archive"), libraryFolder(), dotted ? "." : "",
                                      stem, keyHash());
}

// An older, dotless file stays in use under its own name.
Ref<NSString> pathPreferringOld(const char* stem) {
    auto old = filePath(stem, false);
    if (NSFileManager::defaultManager()->fileExistsAtPath(old)) return old;
    return filePath(stem, true);
}

// The root of an archive file, or nil when missing. A file that does not read as an archive is
// moved aside, so that it neither blocks a start nor gets overwritten unseen.
Ref<NSObject> readArchive(NSString* path) {
    auto fm = NSFileManager::defaultManager();
    if (!fm->fileExistsAtPath(path)) return nullptr;
    TallySession::registerArchivedClasses();
    try {
        return NSKeyedUnarchiver::unarchiveObjectWithFile(path);
    } catch (ExceptionRaised&) {
        auto aside = path->stringByAppendingString(NS(".damaged"));
        fm->removeItemAtPath(aside, nullptr);
        fm->moveItemAtPath(path, aside, nullptr);
        return nullptr;
    }
}

}  // namespace

NSRecursiveLock& TallySession::storeLock() {
    // Immortal: an upload thread may still hold it while the process ends.
    static NSRecursiveLock* lock = [] {
        auto made = make<NSRecursiveLock>();
        made->makeImmortal();
        return made.get();
    }();
    return *lock;
}

Ref<NSString> TallySession::getAgentVersion() {
    return NSString::stringWithFormat(NS("%d"), static_cast<int>(kAgentVersion));
}

void TallySession::registerArchivedClasses() {
    TallySession::staticClass();
    TallyEvent::staticClass();
    if (auto& ads = TallyAdClientHooks::installed(); ads.registerArchivedClasses)
        ads.registerArchivedClasses();
}

namespace {
constexpr const char* kFileStems[] = {"tallyStored", "tallyCurrent", "tallySent",
                                      "initialTimestamp"};
}  // namespace

void TallySession::removeFilesForTesting(NSString* apiKey) {
    std::lock_guard lock(storeLock());
    classSlot().reset();
    classState().apiKey = apiKey;
    auto fm = NSFileManager::defaultManager();
    for (const char* stem : kFileStems) {
        fm->removeItemAtPath(filePath(stem, true), nullptr);
        fm->removeItemAtPath(filePath(stem, false), nullptr);
    }
    classState().apiKey = nullptr;
}

void TallySession::setUploadAnsweredHookForTesting(std::function<void()> hook) {
    std::lock_guard lock(storeLock());
    classState().uploadAnswered = std::move(hook);
}

std::function<void()> TallySession::uploadAnsweredHook() {
    std::lock_guard lock(storeLock());
    return classState().uploadAnswered;
}

// ---- the current session --------------------------------------------------------------------

Ref<TallySession> TallySession::createActiveTallySession(NSString* apiKey) {
    std::lock_guard lock(storeLock());
    classState().apiKey = apiKey ? cast<NSString>(apiKey->copy()) : nullptr;
    auto path = currentSessionFilePath();
    if (auto former = as<TallySession>(readArchive(path))) {
        former->setCrashed(true);
        addToSavedSessions(former);
        TallyUtil::debugLog(NS("Tally: Add crashed former session"));
    } else {
        NSFileManager::defaultManager()->removeItemAtPath(path, nullptr);
    }
    Ref<NSString> version = TallyAPI::appVersion();
    if (!version)
        version =
            as<NSString>(NSBundle::mainBundle()->objectForInfoDictionaryKey(NS("CFBundleVersion")));
    classState().current =
        make<TallySession>(&TallySession::initWithAPIKey, classState().apiKey.get(), version.get());
    TallyUtil::debugLog(NS("Tally: Created active session with API[%@]"), classState().apiKey);
    return classState().current;
}

Ref<TallySession> TallySession::currentSession() {
    std::lock_guard lock(storeLock());
    return classState().current;
}

// ---- device identity ------------------------------------------------------------------------

Ref<NSString> TallySession::phoneID() {
    return NSString::stringWithFormat(NS("IPHONE%@"),
                                      UIDevice::currentDevice()->uniqueIdentifier());
}

Ref<NSData> TallySession::tallyID() {
    auto id = phoneID();
    TallyUtil::debugLog(NS("Tally: uniqueDeviceID = %@"), id);
    const char* utf8 = id->UTF8String();
    return hashData(NSData::dataWithBytes(utf8, std::char_traits<char>::length(utf8)));
}

Ref<NSData> TallySession::hashData(NSData* data) {
    unsigned char digest[CC_SHA1_DIGEST_LENGTH];
    CC_SHA1(data->bytes(), data->length(), digest);
    return NSData::dataWithBytes(digest, CC_SHA1_DIGEST_LENGTH);
}

Ref<NSString> TallySession::hashDataToHexString(const uint8_t* bytes, NSUInteger length) {
    std::string hex;
    char two[3];
    for (NSUInteger i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, "%02x", bytes[i]);
        hex += two;
    }
    return NSString::stringWithUTF8String(hex.c_str());
}

// ---- the hardware ---------------------------------------------------------------------------

namespace {
// A 32-bit number the system reports by name; 0 when it does not.
uint32_t systemNumber(const char* name) {
    uint32_t value = 0;
    size_t length = sizeof value;
    if (phone_system::sysctlbyname(name, &value, &length, nullptr, 0) != 0) return 0;
    return value;
}
}  // namespace

Ref<NSString> TallySession::devicePlatform() {
    size_t length = 0;
    if (phone_system::sysctlbyname("hw.machine", nullptr, &length, nullptr, 0) != 0) return nullptr;
    std::string machine(length, '\0');
    if (phone_system::sysctlbyname("hw.machine", machine.data(), &length, nullptr, 0) != 0)
        return nullptr;
    return NSString::stringWithUTF8String(machine.c_str());
}

int TallySession::deviceMemory() {
    return static_cast<int>(systemNumber("hw.physmem") / 1048576);
}

int TallySession::deviceCPUFrequency() {
    return static_cast<int>(systemNumber("hw.cpufrequency"));
}

double TallySession::reduceLocationPrecision(double value) {
    return static_cast<int32_t>(value * 1000) / 1000.0;
}

void TallySession::setLocation(NSObject*) {}

// ---- files ----------------------------------------------------------------------------------

Ref<NSString> TallySession::oldSessionsFilePath() {
    return filePath("tallyStored", false);
}
Ref<NSString> TallySession::oldCurrentSessionFilePath() {
    return filePath("tallyCurrent", false);
}
Ref<NSString> TallySession::oldSessionSentFilePath() {
    return filePath("tallySent", false);
}
Ref<NSString> TallySession::oldInitialTimestampFilePath() {
    return filePath("initialTimestamp", false);
}
Ref<NSString> TallySession::sessionsFilePath() {
    return pathPreferringOld("tallyStored");
}
Ref<NSString> TallySession::currentSessionFilePath() {
    return pathPreferringOld("tallyCurrent");
}
Ref<NSString> TallySession::sessionSentFilePath() {
    return pathPreferringOld("tallySent");
}
Ref<NSString> TallySession::initialTimestampFilePath() {
    return pathPreferringOld("initialTimestamp");
}

Ref<NSMutableArray> TallySession::savedSessions() {
    std::lock_guard lock(storeLock());
    auto out = NSMutableArray::array();
    // Only data blocks are records; anything else in the file is skipped.
    if (auto stored = as<NSArray>(readArchive(sessionsFilePath())))
        for (auto* entry : *stored)
            if (is<NSData>(entry)) out->addObject(entry);
    return out;
}

void TallySession::setSavedSessions(NSArray* sessions) {
    std::lock_guard lock(storeLock());
    NSKeyedArchiver::archiveRootObject(sessions, sessionsFilePath());
}

void TallySession::addToSavedSessions(TallySession* session) {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: Add session with startTime[%@] to saved sessions"),
                        session->startTime());
    auto saved = savedSessions();
    // A session without a record is not filed as an empty entry.
    if (auto record = session->data()) saved->addObject(record);
    setSavedSessions(removeOldSessionsIfNecessary(saved));
}

Ref<NSMutableArray> TallySession::removeOldSessionsIfNecessary(NSMutableArray* sessions) {
    std::lock_guard lock(storeLock());
    int excess = static_cast<int>(sessions->count()) - classState().maxSessions;
    if (excess > 0) {
        TallyUtil::debugLog(NS("Tally: Max sessions allowed[%d] exceeded"),
                            classState().maxSessions);
        TallyUtil::debugLog(NS("Tally: Removing [%d] sessions from saved sessions"), excess);
        sessions->removeObjectsInRange(NSMakeRange(0, static_cast<NSUInteger>(excess)));
    }
    return sessions;
}

void TallySession::setMaxSessions(int value) {
    std::lock_guard lock(storeLock());
    classState().maxSessions = value;
}

bool TallySession::sentSession() {
    bool sent = NSFileManager::defaultManager()->fileExistsAtPath(sessionSentFilePath());
    TallyUtil::debugLog(NS("Tally: application sent session[%d]"), sent ? 1 : 0);
    return sent;
}

void TallySession::setSentSession() {
    std::lock_guard lock(storeLock());
    if (!sentSession())
        file_detail::writeDataAtomically(NSData::data().get(), sessionSentFilePath().get(),
                                         file_detail::Target::OwnStore);
}

Ref<NSDate> TallySession::initialTimestamp() {
    std::lock_guard lock(storeLock());
    auto path = initialTimestampFilePath();
    if (auto saved = as<NSDate>(readArchive(path))) {
        TallyUtil::debugLog(NS("Tally: Initial timestamp[%@] from saved source"), saved);
        return saved;
    }
    Ref<NSDate> first = classState().current ? classState().current->startTime() : NSDate::date();
    NSKeyedArchiver::archiveRootObject(first, path);
    TallyUtil::debugLog(NS("Tally: Initial timestamp[%@] created and saved"), first);
    return first;
}

void TallySession::saveToDisk() {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: Saving session with startTime[%@]"), startTime_);
    NSKeyedArchiver::archiveRootObject(this, currentSessionFilePath());
}

// ---- a session ------------------------------------------------------------------------------

bool TallySession::initWithAPIKey(NSString* apiKey, NSString* appVersion) {
    startTime_ = NSDate::date();
    eventCounts_ = NSMutableDictionary::dictionary();
    eventLog_ = NSMutableArray::array();
    errors_ = NSMutableArray::array();
    adLog_ = NSMutableArray::array();
    eventLogComplete_ = true;
    gender_ = -1;
    apiKey_ = apiKey;
    setAppVersion(appVersion);
    eventLoggingEnabled_ = true;
    sessionReportsOnCloseEnabled_ = true;
    sessionReportsOnPauseEnabled_ = false;
    locale_ = NSLocale::currentLocale()->localeIdentifier();
    timeZone_ = NSTimeZone::localTimeZone()->name();
    internetAvailable_ = true;
    saveToDisk();
    TallyUtil::debugLog(NS("Tally: Initialized session from scratch with startTime[%@]"),
                        startTime_);
    return true;
}

void TallySession::setAppVersion(NSString* version) {
    appVersion_ = version ? cast<NSString>(version->copy()) : nullptr;
}

void TallySession::setSessionReportsOnCloseEnabled(bool enabled) {
    sessionReportsOnCloseEnabled_ = enabled;
    TallyUtil::debugLog(NS("Tally: Session reports on close enabled[%d]"), enabled ? 1 : 0);
}

void TallySession::setSessionReportsOnPauseEnabled(bool enabled) {
    sessionReportsOnPauseEnabled_ = enabled;
    TallyUtil::debugLog(NS("Tally: Session reports on pause enabled[%d]"), enabled ? 1 : 0);
}

void TallySession::pauseSession() {
    std::lock_guard lock(storeLock());
    pauseTime_ = NSDate::date();
    saveToDisk();
    TallyUtil::debugLog(NS("Tally: Pause session with pauseTime[%@]"), pauseTime_);
}

void TallySession::resumeSession() {
    std::lock_guard lock(storeLock());
    if (!pauseTime_) return;
    auto now = NSDate::date();
    totalPauseIntervalMillis_ += P::timeIntervalFrom(pauseTime_, now);
    pauseTime_ = nullptr;
    saveToDisk();
    TallyUtil::debugLog(NS("Tally: Resume session with resumeTime[%@]"), now);
}

void TallySession::saveSession() {
    std::lock_guard lock(storeLock());
    addToSavedSessions(this);
    NSFileManager::defaultManager()->removeItemAtPath(currentSessionFilePath(), nullptr);
    if (classState().current.get() == this) classState().current = nullptr;
}

void TallySession::endSessionAndSend(bool send, bool removeCurrentSession) {
    Ref<TallySession> keep(this);
    endTime_ = NSDate::date();
    TallyUtil::debugLog(NS("Tally: Ending session with endTime[%@]"), endTime_);
    endTimedEvents();
    if (sessionReportsOnCloseEnabled_ && send) sendSessionsToServerForEndOfSession();
    if (removeCurrentSession) saveSession();
    TallyUtil::debugLog(NS("Tally: Ending session with endTime[%@] complete"), endTime_);
}

void TallySession::maybeIncrementPageView() {
    std::lock_guard lock(storeLock());
    auto now = NSDate::date();
    if (!classState().lastPageViewTime ||
        now->timeIntervalSinceDate(classState().lastPageViewTime) > 0.3) {
        ++pageViewCount_;
        classState().lastPageViewTime = now;
    }
}

Ref<NSString> TallySession::userID() {
    return userID_ ? userID_ : Ref<NSString>(NS(""));
}

void TallySession::setUserID(NSString* userID) {
    TallyUtil::debugLog(NS("Tally: Set userID[%@]"), userID);
    userID_ = userID ? cast<NSString>(userID->copy()) : nullptr;
}

void TallySession::setGender(NSString* gender) {
    if (gender && gender->isEqualToString(NS("m")))
        gender_ = 1;
    else if (gender && gender->isEqualToString(NS("f")))
        gender_ = 0;
    else
        gender_ = -1;
    TallyUtil::debugLog(NS("given gender [%@], _gender = [%d]"), gender, gender_);
}

void TallySession::setAge(int age) {
    if (age < 1 || age > 150) return;
    auto formatter = make<NSDateFormatter>();
    formatter->setTimeZone(NSTimeZone::localTimeZone());
    formatter->setDateFormat(NS("yyyy"));
    int year = formatter->stringFromDate(NSDate::date())->intValue();
    age_ = formatter->dateFromString(NSString::stringWithFormat(NS("%d"), year - age));
    TallyUtil::debugLog(NS("Tally: set age to [%@]"), age_);
}

void TallySession::setEventLoggingEnabled(bool enabled) {
    eventLoggingEnabled_ = enabled;
    TallyUtil::debugLog(NS("Tally: Event logging enabled[%d]"), enabled ? 1 : 0);
}

void TallySession::recordEvent(NSString* name, NSDictionary* parameters, bool timed) {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: Recording event eventName[%@] with parameters[%@]"), name,
                        parameters);
    bool tooMany = parameters && parameters->count() > kMaxEventParameters;
    if (!name || name->length() == 0 || tooMany) {
        eventLogComplete_ = false;
        TallyUtil::debugLog(NS("Tally: Event eventName[%@] with parameters[%@] not recorded"), name,
                            parameters);
    } else {
        auto count = as<NSNumber>(eventCounts_->objectForKey(name));
        bool logged = false;
        if (count || eventCounts_->count() < kMaxEventNames) {
            int next = count ? count->intValue() + 1 : 1;
            eventCounts_->setObject(NSNumber::numberWithInt(next), name);
            TallyUtil::debugLog(NS("Tally: Event count for eventName[%@] updated to count[%d]"),
                                name, next);
            if (eventLog_->count() < kMaxLoggedEvents && eventLoggingEnabled_) {
                eventLog_->addObject(make<TallyEvent>(
                    static_cast<bool (TallyEvent::*)(NSString*, bool, NSDictionary*)>(
                        &TallyEvent::initWithName),
                    name, timed, parameters));
                TallyUtil::debugLog(NS("Tally: Event log for eventName[%@] updated"), name);
                logged = true;
            }
        }
        if (!logged) eventLogComplete_ = false;
    }
    saveToDisk();
    TallyUtil::debugLog(NS("Tally: Recording event eventName[%@] with parameters[%@] complete"),
                        name, parameters);
}

void TallySession::endTimedEvent(NSString* name, NSDictionary* parameters) {
    std::lock_guard lock(storeLock());
    auto now = NSDate::date();
    for (auto* entry : *eventLog_) {
        auto event = as<TallyEvent>(entry);
        if (!event || !event->isUnterminated() || !objectsEqual(event->name(), name)) continue;
        event->setEnded(now);
        if (parameters) event->setParameters(parameters);
        TallyUtil::debugLog(NS("Tally: event named[%@] ended at %@"), name, now);
    }
}

void TallySession::endTimedEvents() {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: ending all unterminated timed events with _endTime[%@]..."),
                        endTime_);
    for (auto* entry : *eventLog_) {
        auto event = as<TallyEvent>(entry);
        if (!event || !(event->isUnterminated() || event->automaticallyEnded())) continue;
        event->setEnded(endTime_);
        event->setAutomaticallyEnded(true);
        TallyUtil::debugLog(NS("Tally: forcefully terminated event named[%@]"), event->name());
    }
    TallyUtil::debugLog(NS("Tally: ...finished ending un-ended timed events."));
}

void TallySession::recordError(NSString* errorID, NSString* message, NSException* exception) {
    auto text =
        exception ? NSString::stringWithFormat(NS("%@: %@"), exception->name(), exception->reason())
                  : Ref<NSString>(NS("nil"));
    TallyUtil::debugLog(NS("Tally: Recording error id[%@] with message[%@] and exception[%@]"),
                        errorID, message, text);
    recordErrorWithExceptionString(errorID, message, text);
    TallyUtil::debugLog(
        NS("Tally: Recording error id[%@] with message[%@] and exception[%@] complete"), errorID,
        message, text);
}

void TallySession::recordError(NSString* errorID, NSString* message, NSError* error) {
    auto text = error ? NSString::stringWithFormat(NS("%@: %@"), error->localizedDescription(),
                                                   error->localizedFailureReason())
                      : Ref<NSString>(NS("nil"));
    TallyUtil::debugLog(NS("Tally: Recording error id[%@] with message[%@] and error[%@]"), errorID,
                        message, text);
    recordErrorWithExceptionString(errorID, message, text);
    TallyUtil::debugLog(NS("Tally: Recording error id[%@] with message[%@] and error[%@] complete"),
                        errorID, message, text);
}

void TallySession::recordErrorWithExceptionString(NSString* errorID, NSString* message,
                                                  NSString* text) {
    std::lock_guard lock(storeLock());
    ++totalErrorCount_;
    if (errors_->count() < kMaxLoggedErrors) {
        // An entry always has its four elements; a missing text travels as an empty string.
        auto orEmpty = [](NSString* s) { return s ? s : NS(""); };
        errors_->addObject(NSArray::arrayWithObjects(
            {NSDate::date().get(), orEmpty(errorID), orEmpty(message), orEmpty(text)}));
        TallyUtil::debugLog(NS("Tally: Error id[%@] updated"), errorID);
    } else {
        TallyUtil::debugLog(NS("Tally: Error id[%@] not recorded"), errorID);
    }
    saveToDisk();
}

void TallySession::recordAdImpression(NSObject* impression) {
    std::lock_guard lock(storeLock());
    TallyAdClientHooks::Impression fields;
    if (auto& ads = TallyAdClientHooks::installed(); impression && ads.readImpression)
        ads.readImpression(impression, &fields);
    Ref<NSString> hook = fields.hook;
    Ref<NSNumber> adId = fields.adId;
    Ref<NSNumber> result = fields.result;
    if (adLog_->count() < kMaxAdImpressions) {
        // Impressions have no equality of their own: the same object is put back in its place.
        NSUInteger at = NSNotFound;
        for (NSUInteger i = 0; i < adLog_->count(); ++i)
            if (adLog_->objectAtIndex(i).get() == impression) at = i;
        if (at != NSNotFound) {
            TallyUtil::debugLog(
                NS("Tally: Replacing ad impression for hook[%@] with adId[%@] and result[%@]"),
                hook.get(), adId.get(), result.get());
            adLog_->replaceObjectAtIndex(at, impression);
        } else {
            TallyUtil::debugLog(
                NS("Tally: Recording ad impression for hook[%@] with adId[%@] and result[%@]"),
                hook.get(), adId.get(), result.get());
            adLog_->addObject(impression);
        }
        saveToDisk();
    } else {
        TallyUtil::debugLog(NS("Tally: Impression not recorded because max impression is reached"));
    }
    TallyUtil::debugLog(
        NS("Tally: Recording ad impression for hook[%@] with adId[%@] and result[%@] complete"),
        hook.get(), adId.get(), result.get());
}

int64_t TallySession::timeIntervalSinceSessionStart(NSDate* date) {
    return P::timeIntervalFrom(startTime_, date);
}

int64_t TallySession::sessionLength() {
    return endTime_ ? P::timeIntervalFrom(startTime_, endTime_) : -1;
}

Ref<NSDictionary> TallySession::eventCounts() {
    std::lock_guard lock(storeLock());
    return eventCounts_ ? eventCounts_->copy() : nullptr;
}
Ref<NSArray> TallySession::eventLog() {
    std::lock_guard lock(storeLock());
    return eventLog_ ? NSArray::arrayWithArray(eventLog_) : nullptr;
}
Ref<NSArray> TallySession::errors() {
    std::lock_guard lock(storeLock());
    return errors_ ? NSArray::arrayWithArray(errors_) : nullptr;
}
Ref<NSArray> TallySession::adLog() {
    std::lock_guard lock(storeLock());
    return adLog_ ? NSArray::arrayWithArray(adLog_) : nullptr;
}

// ---- archiving ------------------------------------------------------------------------------

void TallySession::encodeWithCoder(NSCoder* c) {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: Encode session with startTime[%@]"), startTime_);
    serializationVersion_ = 1;
    c->encodeInt(serializationVersion_, NS("serializationVersion"));
    c->encodeObject(startTime_, NS("startTime"));
    if (endTime_) c->encodeObject(endTime_, NS("endTime"));
    if (pauseTime_) c->encodeObject(pauseTime_, NS("pauseTime"));
    c->encodeInt64(totalPauseIntervalMillis_, NS("pauseIntervalMillis"));
    c->encodeObject(eventCounts_, NS("eventCounts"));
    c->encodeObject(eventLog_, NS("eventLog"));
    c->encodeBool(eventLogComplete_, NS("eventLogComplete"));
    c->encodeObject(errors_, NS("errors"));
    c->encodeInt(totalErrorCount_, NS("totalErrorCount"));
    c->encodeObject(adLog_, NS("adLog"));
    c->encodeDouble(latitude_, NS("latitude"));
    c->encodeDouble(longitude_, NS("longitude"));
    c->encodeFloat(accuracy_, NS("accuracy"));
    c->encodeBool(crashed_, NS("crashed"));
    c->encodeObject(apiKey_, NS("apiKey"));
    c->encodeObject(appVersion_, NS("appVersion"));
    c->encodeObject(userID_, NS("userID"));
    c->encodeInt(pageViewCount_, NS("pageViewCount"));
    c->encodeObject(locale_, NS("locale"));
    c->encodeObject(timeZone_, NS("timeZone"));
    c->encodeBool(internetAvailable_, NS("internetAvailable"));
    if (age_) c->encodeObject(age_, NS("age"));
    c->encodeInt(gender_, NS("gender"));
}

bool TallySession::initWithCoder(NSCoder* c) {
    serializationVersion_ = c->decodeIntForKey(NS("serializationVersion"));
    if (serializationVersion_ > 0 && serializationVersion_ != 1) return false;
    auto mutableArray = [&](const char* key) {
        auto a = as<NSArray>(c->decodeObjectForKey(NSString::stringWithUTF8String(key)));
        return a ? a->mutableCopy() : NSMutableArray::array();
    };
    startTime_ = as<NSDate>(c->decodeObjectForKey(NS("startTime")));
    endTime_ = as<NSDate>(c->decodeObjectForKey(NS("endTime")));
    pauseTime_ = as<NSDate>(c->decodeObjectForKey(NS("pauseTime")));
    totalPauseIntervalMillis_ = c->decodeInt64ForKey(NS("pauseIntervalMillis"));
    auto counts = as<NSDictionary>(c->decodeObjectForKey(NS("eventCounts")));
    eventCounts_ = counts ? NSMutableDictionary::dictionaryWithDictionary(counts)
                          : NSMutableDictionary::dictionary();
    eventLog_ = mutableArray("eventLog");
    eventLogComplete_ = c->decodeBoolForKey(NS("eventLogComplete"));
    errors_ = mutableArray("errors");
    totalErrorCount_ = c->decodeIntForKey(NS("totalErrorCount"));
    adLog_ = mutableArray("adLog");
    latitude_ = c->decodeDoubleForKey(NS("latitude"));
    longitude_ = c->decodeDoubleForKey(NS("longitude"));
    accuracy_ = c->decodeFloatForKey(NS("accuracy"));
    crashed_ = c->decodeBoolForKey(NS("crashed"));
    apiKey_ = as<NSString>(c->decodeObjectForKey(NS("apiKey")));
    appVersion_ = as<NSString>(c->decodeObjectForKey(NS("appVersion")));
    userID_ = as<NSString>(c->decodeObjectForKey(NS("userID")));
    pageViewCount_ = c->decodeIntForKey(NS("pageViewCount"));
    locale_ = as<NSString>(c->decodeObjectForKey(NS("locale")));
    timeZone_ = as<NSString>(c->decodeObjectForKey(NS("timeZone")));
    internetAvailable_ = c->decodeBoolForKey(NS("internetAvailable"));
    age_ = as<NSDate>(c->decodeObjectForKey(NS("age")));
    gender_ = c->decodeIntForKey(NS("gender"));
    return true;
}

// ---- the binary record ----------------------------------------------------------------------

Ref<NSData> TallySession::data() {
    std::lock_guard lock(storeLock());
    TallyUtil::debugLog(NS("Tally: Creating HTTP data from session"));
    auto out = NSMutableData::data();
    TallyUtil::debugLog(NS("Tally: serializationVersion[%d] appVersion[%@] startTime[%@] "
                           "length[%lld] pause[%lld] userID[%@]"),
                        serializationVersion_, appVersion_, startTime_, sessionLength(),
                        totalPauseIntervalMillis_, userID());
    TallyUtil::debugLog(
        NS("Tally: pageViewCount[%d] locale[%@] timeZone[%@] internetAvailable[%d]"),
        pageViewCount_, locale_, timeZone_, internetAvailable_ ? 1 : 0);
    P::appendUshort(static_cast<unsigned>(serializationVersion_), out);
    P::appendString(appVersion_, out);
    P::appendTimestamp(startTime_, out);
    P::appendLong(sessionLength(), out);
    P::appendLong(totalPauseIntervalMillis_, out);
    P::appendString(locale_, out);
    P::appendString(timeZone_, out);
    P::appendBoolean(internetAvailable_, out);
    P::appendString(userID(), out);
    P::appendBoolean(true, out);
    P::appendDouble(latitude_, out);
    P::appendDouble(longitude_, out);
    P::appendFloat(accuracy_, out);
    P::appendInt(pageViewCount_, out);
    P::appendByte(0, out);  // reserved
    P::appendByte(0, out);  // reserved
    P::appendByte(gender_, out);
    P::appendBoolean(age_ != nullptr, out);
    if (age_) P::appendTimestamp(age_, out);

    TallyUtil::debugLog(NS("Tally: eventCounts[%d]"), static_cast<int>(eventCounts_->count()));
    P::appendUshort(eventCounts_->count(), out);
    bool corrupted = false;
    eventCounts_->enumerateKeysAndObjectsUsingBlock([&](NSObject* key, NSObject* value,
                                                        bool* stop) {
        auto name = as<NSString>(key);
        if (!name) {
            corrupted = *stop = true;
            return;
        }
        auto count = as<NSNumber>(value);
        TallyUtil::debugLog(NS("Tally: event[%@] count[%d]"), name, count ? count->intValue() : 0);
        P::appendString(name, out);
        P::appendInt(count ? count->intValue() : 0, out);
    });
    if (corrupted) {
        TallyUtil::debugLog(NS("Tally: eventName corrupted, session discarded"));
        return nullptr;
    }
    TallyUtil::debugLog(NS("Tally: eventLogs[%d]"), static_cast<int>(eventLog_->count()));
    P::appendUshort(eventLog_->count(), out);
    for (auto* entry : *eventLog_) {
        auto event = as<TallyEvent>(entry);
        if (!event) {
            TallyUtil::debugLog(NS("Tally: event corrupted, session discarded"));
            return nullptr;
        }
        event->appendDataRelativeToSessionStart(startTime_, out);
    }
    TallyUtil::debugLog(NS("Tally: eventLogComplete[%d]"), eventLogComplete_ ? 1 : 0);
    P::appendBoolean(eventLogComplete_, out);
    TallyUtil::debugLog(NS("Tally: totalErrors[%d] loggedErrors[%d]"), totalErrorCount_,
                        static_cast<int>(errors_->count()));
    P::appendInt(totalErrorCount_, out);
    P::appendUshort(errors_->count(), out);
    for (auto* entry : *errors_) {
        auto error = as<NSArray>(entry);
        if (!error || error->count() < 4) {
            TallyUtil::debugLog(NS("Tally: error corrupted, session discarded"));
            return nullptr;
        }
        TallyUtil::debugLog(NS("Tally: errorTime[%@] errorId[%@] errorMessage[%@] exception[%@]"),
                            error->objectAtIndex(0), error->objectAtIndex(1),
                            error->objectAtIndex(2), error->objectAtIndex(3));
        P::appendTimestamp(as<NSDate>(error->objectAtIndex(0)), out);
        for (NSUInteger i = 1; i < 4; ++i)
            P::appendString(as<NSString>(error->objectAtIndex(i)), out);
    }
    TallyUtil::debugLog(NS("Tally: loggedImpressions[%d]"), static_cast<int>(adLog_->count()));
    P::appendUshort(adLog_->count(), out);
    auto& ads = TallyAdClientHooks::installed();
    for (auto* entry : *adLog_) {
        TallyAdClientHooks::Impression fields;
        if (!ads.readImpression || !ads.readImpression(entry, &fields)) {
            TallyUtil::debugLog(NS("Tally: adImpression corrupted, session discarded"));
            return nullptr;
        }
        out->appendData(ads.impressionData(entry));
    }
    TallyUtil::debugLog(NS("Tally: Creating HTTP data from session complete"));
    return out;
}

Ref<NSData> TallySession::dataForSessions(NSArray* sessions, bool requestAds) {
    TallyUtil::debugLog(NS("Tally: Creating HTTP data from sessions"));
    auto session = currentSession();
    auto records = NSMutableArray::array();
    for (auto* entry : *sessions) {
        if (auto s = as<TallySession>(entry)) {
            if (auto record = s->data()) records->addObject(record);
        } else if (is<NSData>(entry)) {
            records->addObject(entry);
        }
    }
    // The records are most of the body: room for them and the head at once, not regrown.
    NSUInteger recordBytes = 0;
    for (auto* record : *records)
        recordBytes += static_cast<NSData*>(record)->length();
    auto out = NSMutableData::dataWithCapacity(recordBytes + 1024);
    // Without an image cache yet, the server is told of no images held.
    TallyAdClientHooks::CachedImages cache;
    auto& ads = TallyAdClientHooks::installed();
    bool cached = ads.cachedImages && ads.cachedImages(&cache);
    auto ids = cached ? cache.ids : NSArray::array();
    int64_t cacheTime = cached ? cache.updateTimestamp : 0;
    TallyUtil::debugLog(NS("Tally: cacheTimeStamp[%lld] numCachedItems[%d]"), cacheTime,
                        static_cast<int>(ids->count()));
    P::appendUshort(kProtocolVersion, out);
    P::appendUshort(requestAds ? 1 : 0, out);
    P::appendLong(cacheTime, out);
    P::appendUshort(ids->count(), out);
    for (auto* id : *ids) {
        auto number = as<NSNumber>(id);
        int64_t value = number ? number->longLongValue() : 0;
        TallyUtil::debugLog(NS("Tally: cacheItemType[%d] cacheItemId[%lld]"), 1, value);
        P::appendByte(1, out);
        P::appendLong(value, out);
    }
    TallyUtil::debugLog(NS("Tally: protocol[%d] platform[%d] agent[%d]"), kProtocolVersion,
                        kPlatform, kAgentVersion);
    P::appendUshort(kPlatform, out);
    P::appendUshort(kAgentVersion, out);
    P::appendTimestamp(NSDate::date(), out);
    auto apiKey = session ? session->apiKey() : nullptr;
    auto appVersion = session ? session->appVersion() : nullptr;
    TallyUtil::debugLog(NS("Tally: apiKey[%@] appVersion[%@]"), apiKey, appVersion);
    P::appendString(apiKey, out);
    P::appendString(appVersion, out);
    // The device id always goes as the plain phone id here.
    auto phone = phoneID();
    TallyUtil::debugLog(NS("Tally: ID Type [%d] ID [%@]"), 0, phone);
    P::appendUshort(0, out);
    P::appendString(phone, out);
    auto first = initialTimestamp();
    auto start = session ? session->startTime() : nullptr;
    TallyUtil::debugLog(NS("Tally: initialTimestamp[%@] sessionTimestamp[%@]"), first, start);
    P::appendTimestamp(first, out);
    P::appendTimestamp(start, out);
    P::appendUshort(1, out);
    TallyUtil::debugLog(NS("Tally: property[%@] value[%@]"), NS("device.model.1"),
                        NS("iOS4Device"));
    P::appendString(NS("device.model.1"), out);
    P::appendString(NS("iOS4Device"), out);
    TallyUtil::debugLog(NS("Tally: sessionCount[%d]"), static_cast<int>(records->count()));
    P::appendUshort(records->count(), out);
    for (auto* record : *records)
        out->appendData(static_cast<NSData*>(record));
    TallyUtil::debugLog(NS("Tally: Creating HTTP data from sessions complete"));
    return out;
}
