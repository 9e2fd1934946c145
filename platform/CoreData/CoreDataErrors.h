// Error codes and user-info keys of the object store. Every failure of the store is an NSError
// of NSCocoaErrorDomain with one of these codes; the underlying SQLite result, when there is
// one, travels under NSSQLiteErrorDomain in the user info.
#pragma once

#include "Foundation/NSError.h"

// The user-info key (and domain name) of a SQLite result code.
extern NSString* const NSSQLiteErrorDomain;
// The user-info keys naming what failed.
extern NSString* const NSValidationObjectErrorKey;
extern NSString* const NSValidationKeyErrorKey;
extern NSString* const NSAffectedStoresErrorKey;
extern NSString* const NSDetailedErrorsKey;

enum : NSInteger {
    NSManagedObjectValidationError = 1550,
    NSValidationMultipleErrorsError = 1560,
    NSValidationMissingMandatoryPropertyError = 1570,
    NSValidationRelationshipDeniedDeleteError = 1600,
    NSManagedObjectReferentialIntegrityError = 133000,
    NSPersistentStoreInvalidTypeError = 134000,
    NSPersistentStoreTypeMismatchError = 134010,
    NSPersistentStoreIncompatibleSchemaError = 134020,
    NSPersistentStoreSaveError = 134030,
    NSPersistentStoreIncompleteSaveError = 134040,
    NSPersistentStoreOperationError = 134070,
    NSPersistentStoreOpenError = 134080,
    NSPersistentStoreIncompatibleVersionHashError = 134100,
    NSCoreDataError = 134060,
};
