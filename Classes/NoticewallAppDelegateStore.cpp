// The app delegate's managed object store stack: the model, the coordinator on
// "Noticwall.sqlite" in the documents folder and the main thread's context, each made on first
// use. A store file that cannot be opened is moved aside, never deleted, and a fresh store takes
// its place; when even that fails the app goes on without a store (empty lists) rather than end.
#include <ctime>

#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "ManagedObjects.h"
#include "NoticewallAppDelegate.h"

Ref<NSString> NoticewallAppDelegate::applicationDocumentsDirectory() {
    auto paths = NSSearchPathForDirectoriesInDomains(NSDocumentDirectory, NSUserDomainMask, true);
    return as<NSString>(paths->lastObject());
}

Ref<NSManagedObjectModel> NoticewallAppDelegate::managedObjectModel() {
    if (managedObjectModel_) return managedObjectModel_;
    registerNoticewallModel();
    if (auto url = NSBundle::mainBundle()->URLForResource(kNoticewallModelName, NS("mom")))
        managedObjectModel_ =
            make<NSManagedObjectModel>(&NSManagedObjectModel::initWithContentsOfURL, url);
    if (!managedObjectModel_) {
        // A bundle without the model resource still gets the model the app was built with.
        NSLog(NS("The model resource %@.mom is missing from the bundle; using the built-in model."),
              kNoticewallModelName);
        managedObjectModel_ = makeNoticewallModel();
    }
    return managedObjectModel_;
}

namespace {
// Renames the store file (and its journal) to "<name>.<UTC time stamp>", adding "-2", "-3", ...
// when that name is taken. Returns the new path, or nil when there was nothing to move or the
// move failed.
Ref<NSString> moveStoreAside(NSString* path) {
    auto fm = NSFileManager::defaultManager();
    if (!fm->fileExistsAtPath(path)) return nullptr;
    std::time_t now = static_cast<std::time_t>(NSDate::date()->timeIntervalSince1970());
    std::tm utc{};
    gmtime_r(&now, &utc);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &utc);
    auto aside = NSString::stringWithFormat(NS("%@.%s"), path, stamp);
    for (int n = 2; fm->fileExistsAtPath(aside); ++n)
        aside = NSString::stringWithFormat(NS("%@.%s-%d"), path, stamp, n);
    Ref<NSError> error;
    if (!fm->moveItemAtPath(path, aside, &error)) {
        NSLog(NS("Could not move the store file aside: %@"), error);
        return nullptr;
    }
    // A journal left beside the file belongs to it; it must not be replayed into a new store.
    auto journal = NSString::stringWithFormat(NS("%@-journal"), path);
    if (fm->fileExistsAtPath(journal))
        fm->moveItemAtPath(journal, NSString::stringWithFormat(NS("%@-journal"), aside), nullptr);
    return aside;
}
}  // namespace

Ref<NSPersistentStoreCoordinator> NoticewallAppDelegate::persistentStoreCoordinator() {
    if (persistentStoreCoordinator_) return persistentStoreCoordinator_;
    auto model = managedObjectModel();
    auto path =
        applicationDocumentsDirectory()->stringByAppendingPathComponent(kNoticewallStoreFileName);
    auto storeURL = NSURL::fileURLWithPath(path);
    auto coordinator = make<NSPersistentStoreCoordinator>(
        &NSPersistentStoreCoordinator::initWithManagedObjectModel, model);
    persistentStoreCoordinator_ = coordinator;
    Ref<NSError> error;
    if (coordinator->addPersistentStoreWithType(NSSQLiteStoreType, nullptr, storeURL, nullptr,
                                                &error))
        return coordinator;
    // The favourites in a damaged or foreign file may still be worth recovering by hand, so
    // the file is kept under another name instead of being deleted.
    auto aside = moveStoreAside(path);
    NSLog(NS("Error opening the database (%@). Moved the file to %@ and trying again."), error,
          aside);
    error = nullptr;
    if (!coordinator->addPersistentStoreWithType(NSSQLiteStoreType, nullptr, storeURL, nullptr,
                                                 &error)) {
        // The coordinator stays, without a store: the context stays nil and the screens show
        // empty lists, and the failing file is not moved again on every use.
        NSLog(NS("Unresolved error %@, %@"), error, error ? error->userInfo() : nullptr);
    }
    return coordinator;
}

Ref<NSManagedObjectContext> NoticewallAppDelegate::managedObjectContext() {
    if (managedObjectContext_) return managedObjectContext_;
    auto coordinator = persistentStoreCoordinator();
    if (coordinator && coordinator->persistentStores()->count() > 0) {
        auto context = make<NSManagedObjectContext>();
        context->setPersistentStoreCoordinator(coordinator);
        managedObjectContext_ = context;
    }
    return managedObjectContext_;
}

void NoticewallAppDelegate::saveContext() {
    auto context = managedObjectContext_;
    if (!context || !context->hasChanges()) return;
    Ref<NSError> error;
    if (!context->save(&error)) {
        // The changes stay in the context for a later save; ending the app would lose them.
        NSLog(NS("Unresolved error %@, %@"), error, error ? error->userInfo() : nullptr);
    }
}
