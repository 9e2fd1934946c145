#include "CoreData/CoreDataErrors.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "Foundation/NSString.h"

NSString* const NSSQLiteErrorDomain = NS("NSSQLiteErrorDomain");
NSString* const NSValidationObjectErrorKey = NS("NSValidationErrorObject");
NSString* const NSValidationKeyErrorKey = NS("NSValidationErrorKey");
NSString* const NSAffectedStoresErrorKey = NS("NSAffectedStoresErrorKey");
NSString* const NSDetailedErrorsKey = NS("NSDetailedErrors");

NSString* const NSManagedObjectContextDidSaveNotification =
    NS("NSManagedObjectContextDidSaveNotification");
NSString* const NSInsertedObjectsKey = NS("inserted");
NSString* const NSUpdatedObjectsKey = NS("updated");
NSString* const NSDeletedObjectsKey = NS("deleted");

NSString* const NSSQLiteStoreType = NS("SQLite");
NSString* const NSInMemoryStoreType = NS("InMemory");
NSString* const NSBinaryStoreType = NS("Binary");
NSString* const NSStoreTypeKey = NS("NSStoreType");
NSString* const NSStoreUUIDKey = NS("NSStoreUUID");
NSString* const NSStoreModelVersionHashKey = NS("NSStoreModelVersionHashes");
NSString* const NSReadOnlyPersistentStoreOption = NS("NSReadOnlyOption");
