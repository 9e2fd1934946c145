// One measured interval on the monotonic clock with a few extra values, and the named timings
// of one store, kept in the user defaults so a measurement survives a relaunch.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSMutableDictionary;
class NSNotification;
class NSString;

class PBLTiming : public NSObject {
    NS_OBJECT(PBLTiming, NSObject)
    // Monotonic seconds since boot (not wall time).
    static double counter();

    bool initWithCategory(NSString* category);  // nil category: no timing
    bool initWithDictionaryRepresentation(NSDictionary* representation);
    Ref<NSDictionary> dictionaryRepresentation();
    Ref<NSObject> copyWithZone() override;

    void start();
    void end();  // only once started; ending again moves the end
    void reset();
    // Still running: the time so far. Never started, or a negative span: 0.
    unsigned elapsedMilliseconds();
    Ref<NSString> elapsedMillisecondsString();

    // User data; a nil value changes nothing.
    void setValue(NSObject* value, NSString* key) override;
    Ref<NSObject> valueForKey(NSString* key) override;
    void removeValueForKey(NSString* key);
    Ref<NSDictionary> keysAndValues();

    Ref<NSString> category() { return category_; }
    double startSeconds() { return startSeconds_; }
    double endSeconds() { return endSeconds_; }
    bool isActive() { return startSeconds_ > 0 && endSeconds_ == 0; }
    Ref<NSString> description() override;

private:
    Ref<NSString> category_;
    double startSeconds_ = 0;
    double endSeconds_ = 0;
    Ref<NSMutableDictionary> userData_;
};

class PBLTimingManager : public NSObject {
    NS_OBJECT(PBLTimingManager, NSObject)
    static void describeClass(RuntimeClass& c);
    bool initWithIdentifier(NSString* identifier);
    void dealloc() override;

    Ref<PBLTiming> addTimingWithCategory(NSString* category);
    void addTiming(PBLTiming* timing);
    Ref<PBLTiming> timingForCategory(NSString* category);
    void removeTimingForCategory(NSString* category);
    void removeTiming(PBLTiming* timing);
    void removeTimingsForCategories(NSArray* categories);
    void removeAllTimings();
    Ref<NSArray> categories();
    Ref<NSArray> timings();

    Ref<NSString> identifier() { return identifier_; }
    Ref<NSString> userDefaultsKey();
    void savePersistentTimings();
    void synchronize() { savePersistentTimings(); }
    // Timings saved in an earlier boot are dropped: their clock values mean nothing now.
    void loadPersistentTimings();
    void applicationWillTerminate(NSNotification* note);

private:
    Ref<NSString> identifier_;
    Ref<NSMutableDictionary> timings_;
};
