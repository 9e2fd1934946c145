#include "CoreData/NSPersistentStoreCoordinator.h"

#include "CoreData/CoreDataErrors.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/SQLiteStore.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

// ---- NSPersistentStore -----------------------------------------------------------------------

NSPersistentStore::NSPersistentStore() = default;
NSPersistentStore::~NSPersistentStore() = default;

void NSPersistentStore::setUp(NSString* type, NSString* configuration, NSURL* url,
                              NSDictionary* options, NSString* identifier,
                              std::unique_ptr<coredata_detail::SQLiteStore> engine) {
    type_ = type;
    configuration_ = configuration;
    url_ = url;
    options_ = options;
    identifier_ = identifier;
    engine_ = std::move(engine);
}

Ref<NSDictionary> NSPersistentStore::metadata() {
    return engine_ ? engine_->metadata() : NSDictionary::dictionary();
}

bool NSPersistentStore::isReadOnly() {
    return engine_ && engine_->readOnly();
}

// ---- NSPersistentStoreCoordinator ------------------------------------------------------------

bool NSPersistentStoreCoordinator::initWithManagedObjectModel(NSManagedObjectModel* model) {
    if (!model) return false;
    model_ = model;
    model->freeze();
    return true;
}

namespace {
Ref<NSError> coordinatorError(NSInteger code, NSString* description, NSURL* url) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(description, NSLocalizedDescriptionKey);
    if (url) info->setObject(url, NSURLErrorKey);
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}
}  // namespace

Ref<NSPersistentStore> NSPersistentStoreCoordinator::addPersistentStoreWithType(
    NSString* storeType, NSString* configuration, NSURL* storeURL, NSDictionary* options,
    Ref<NSError>* error) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (store_)
        NSException::raise(NSInvalidArgumentException,
                           NS("This coordinator already has a persistent store"));
    bool memory = storeType && storeType->isEqualToString(NSInMemoryStoreType);
    bool sqlite = storeType && storeType->isEqualToString(NSSQLiteStoreType);
    if (!memory && !sqlite) {
        if (error)
            *error = coordinatorError(
                NSPersistentStoreInvalidTypeError,
                NSString::stringWithFormat(NS("Unsupported store type %@"), storeType), storeURL);
        return nullptr;
    }
    std::string path;
    if (sqlite) {
        if (!storeURL || !storeURL->isFileURL() || !storeURL->path() ||
            storeURL->path()->length() == 0) {
            if (error)
                *error = coordinatorError(NSPersistentStoreOpenError,
                                          NS("A SQLite store needs a file URL"), storeURL);
            return nullptr;
        }
        path = storeURL->path()->utf8();
    }
    bool readOnly = false;
    if (options)
        if (auto ro = as<NSNumber>(options->objectForKey(NSReadOnlyPersistentStoreOption)))
            readOnly = ro->boolValue();
    auto engine = coredata_detail::SQLiteStore::open(path, readOnly && sqlite, model_, error);
    if (!engine) return nullptr;
    auto store = make<NSPersistentStore>();
    auto identifier = engine->identifier();
    store->setUp(storeType, configuration, storeURL, options, identifier, std::move(engine));
    store_ = store;
    return store;
}

bool NSPersistentStoreCoordinator::removePersistentStore(NSPersistentStore* store,
                                                         Ref<NSError>* error) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (!store || store != store_.get()) {
        if (error)
            *error = coordinatorError(NSPersistentStoreOperationError,
                                      NS("The store is not one of this coordinator's"), nullptr);
        return false;
    }
    store_ = nullptr;
    return true;
}

Ref<NSArray> NSPersistentStoreCoordinator::persistentStores() {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    return store_ ? NSArray::arrayWithObject(store_) : NSArray::array();
}

Ref<NSPersistentStore> NSPersistentStoreCoordinator::persistentStoreForURL(NSURL* url) {
    std::lock_guard<std::recursive_mutex> guard(mutex_);
    if (store_ && url && store_->URL() && store_->URL()->isEqual(url)) return store_;
    return nullptr;
}
