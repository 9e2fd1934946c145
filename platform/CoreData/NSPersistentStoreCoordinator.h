// The coordinator joins a model to its store: it opens a SQLite file (or an in-memory database)
// for the model's entities and runs the contexts' reads and saves against it. A file that is
// not a SQLite database, is damaged, belongs to another program or to another model is never
// changed: adding it fails with an NSError.
#pragma once

#include <memory>
#include <mutex>

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSError;
class NSManagedObjectModel;
class NSString;
class NSURL;

extern NSString* const NSSQLiteStoreType;    // "SQLite"
extern NSString* const NSInMemoryStoreType;  // "InMemory"
extern NSString* const NSBinaryStoreType;    // "Binary" (not supported here)
// Metadata keys of a store.
extern NSString* const NSStoreTypeKey;
extern NSString* const NSStoreUUIDKey;
extern NSString* const NSStoreModelVersionHashKey;  // "NSStoreModelVersionHashes"
// Options: NSReadOnlyPersistentStoreOption (NSNumber YES) opens the file read-only.
extern NSString* const NSReadOnlyPersistentStoreOption;

namespace coredata_detail {
class SQLiteStore;
}

class NSPersistentStore : public NSObject {
    NS_OBJECT(NSPersistentStore, NSObject)
    NSPersistentStore();
    ~NSPersistentStore() override;

    Ref<NSString> type() { return type_; }
    Ref<NSURL> URL() { return url_; }
    Ref<NSString> configurationName() { return configuration_; }
    Ref<NSDictionary> options() { return options_; }
    // A UUID made when the store file was created.
    Ref<NSString> identifier() { return identifier_; }
    Ref<NSDictionary> metadata();
    bool isReadOnly();

    // ---- internal ------------------------------------------------------------------------
    coredata_detail::SQLiteStore& engine() { return *engine_; }
    void setUp(NSString* type, NSString* configuration, NSURL* url, NSDictionary* options,
               NSString* identifier, std::unique_ptr<coredata_detail::SQLiteStore> engine);

private:
    Ref<NSString> type_;
    Ref<NSURL> url_;
    Ref<NSString> configuration_;
    Ref<NSDictionary> options_;
    Ref<NSString> identifier_;
    std::unique_ptr<coredata_detail::SQLiteStore> engine_;
};

class NSPersistentStoreCoordinator : public NSObject {
    NS_OBJECT(NSPersistentStoreCoordinator, NSObject)

    // The model is frozen from here on.
    bool initWithManagedObjectModel(NSManagedObjectModel* model);
    Ref<NSManagedObjectModel> managedObjectModel() { return model_; }

    // Opens (or creates) the store. NSSQLiteStoreType takes a file URL; NSInMemoryStoreType
    // takes none. The coordinator holds one store: a second raises
    // NSInvalidArgumentException. Failures, with the file left as it was:
    // - unknown type: NSPersistentStoreInvalidTypeError;
    // - not a file URL, or the file cannot be opened or created: NSPersistentStoreOpenError;
    // - not a SQLite database, or damaged: NSFileReadCorruptFileError;
    // - a SQLite database of another program: NSPersistentStoreIncompatibleSchemaError;
    // - a store of another model: NSPersistentStoreIncompatibleVersionHashError.
    // The user info carries NSFilePathErrorKey, the SQLite code under NSSQLiteErrorDomain when
    // there is one, and a description.
    Ref<NSPersistentStore> addPersistentStoreWithType(NSString* storeType, NSString* configuration,
                                                      NSURL* storeURL, NSDictionary* options,
                                                      Ref<NSError>* error);
    // Closes the store; false with an error when it is not this coordinator's.
    bool removePersistentStore(NSPersistentStore* store, Ref<NSError>* error);
    Ref<NSArray> persistentStores();
    Ref<NSPersistentStore> persistentStoreForURL(NSURL* url);

    // Contexts of several threads may share a coordinator; they take this lock around each use.
    void lock() { mutex_.lock(); }
    void unlock() { mutex_.unlock(); }
    bool tryLock() { return mutex_.try_lock(); }

    // ---- internal ------------------------------------------------------------------------
    // The one store, or nil.
    NSPersistentStore* store() { return store_.get(); }

private:
    Ref<NSManagedObjectModel> model_;
    Ref<NSPersistentStore> store_;
    std::recursive_mutex mutex_;
};
