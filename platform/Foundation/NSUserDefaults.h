// The app's preferences: one persistent dictionary of property-list values, kept as an XML
// property list at <home>/Library/Preferences/<bundle identifier>.plist and written through on
// every change (atomically: a crash mid-write leaves the previous file whole), with a volatile
// registration domain of defaults consulted after it. Safe to use from any thread.
#pragma once

#include <mutex>

#include "Foundation/NSObject.h"

class NSArray;
class NSData;
class NSDictionary;
class NSMutableDictionary;
class NSString;
class NSURL;

extern NSString* const NSUserDefaultsDidChangeNotification;

class NSUserDefaults : public NSObject {
    NS_OBJECT(NSUserDefaults, NSObject)
    // The shared store, read from its file on first use.
    static Ref<NSUserDefaults> standardUserDefaults();
    // Drops the shared store; the next standardUserDefaults() reads the file again (a restart).
    static void resetStandardUserDefaults();

    // A store on the given file (the shared one uses the preferences file of the app).
    bool initWithFile(NSString* path);

    // ---- reading -------------------------------------------------------------------------
    // The persistent value, else the registered one, else nil.
    Ref<NSObject> objectForKey(NSString* key);
    // A string, or a number's stringValue; nil for other kinds.
    Ref<NSString> stringForKey(NSString* key);
    Ref<NSArray> arrayForKey(NSString* key);
    Ref<NSDictionary> dictionaryForKey(NSString* key);
    Ref<NSData> dataForKey(NSString* key);
    // nil unless an array of strings only.
    Ref<NSArray> stringArrayForKey(NSString* key);
    // A number, or a string's numeric value; 0 / NO when missing or of another kind.
    NSInteger integerForKey(NSString* key);
    float floatForKey(NSString* key);
    double doubleForKey(NSString* key);
    bool boolForKey(NSString* key);
    // A URL stored by setURL (as its absolute string), or a path string as a file URL.
    Ref<NSURL> URLForKey(NSString* key);

    // ---- writing (each change goes to the file at once) ----------------------------------
    // A value that is not a property list raises NSInvalidArgumentException; nil removes.
    void setObject(NSObject* value, NSString* key);
    void removeObjectForKey(NSString* key);
    void setInteger(NSInteger value, NSString* key);
    void setFloat(float value, NSString* key);
    void setDouble(double value, NSString* key);
    void setBool(bool value, NSString* key);  // stored as a boolean
    void setURL(NSURL* url, NSString* key);

    // Values consulted after the persistent ones; never written to the file. Later
    // registrations add to (and override) earlier ones. The domain starts with
    // "AppleLanguages": an array of the language of the process's locale ("de" for de_DE).
    void registerDefaults(NSDictionary* registrationDictionary);
    // The registered values overlaid by the persistent ones.
    Ref<NSDictionary> dictionaryRepresentation();
    // The persistent values alone (the file's contents).
    Ref<NSDictionary> persistentDomain();
    // Empties the persistent values and their file.
    void removePersistentDomain();
    // Every change is already written; true unless the last write failed.
    bool synchronize();

    // The file the store lives in.
    Ref<NSString> path() { return path_; }

private:
    void load();
    bool save();  // with lock_ held
    void setValue_(NSObject* value, NSString* key);
    Ref<NSObject> lookup(NSString* key);

    std::recursive_mutex lock_;
    Ref<NSString> path_;
    Ref<NSMutableDictionary> persistent_;
    Ref<NSMutableDictionary> registered_;
    bool lastWriteOK_ = true;
};
