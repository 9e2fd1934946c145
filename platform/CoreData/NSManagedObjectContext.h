// The scratch pad of managed objects over a coordinator's store: inserts, changes and deletes
// gather here until save: writes them to the store in one transaction. A context holds one
// object per stored row (fetching a row twice gives the same object) and owns the objects it
// registered; it is used on one thread, the one that made it.
#pragma once

#include <memory>

#include "Foundation/NSObject.h"

class NSArray;
class NSError;
class NSFetchRequest;
class NSManagedObject;
class NSManagedObjectID;
class NSPersistentStoreCoordinator;
class NSSet;

// Posted by a context after a successful save; the user info holds sets of the objects under
// NSInsertedObjectsKey, NSUpdatedObjectsKey and NSDeletedObjectsKey.
extern NSString* const NSManagedObjectContextDidSaveNotification;
extern NSString* const NSInsertedObjectsKey;
extern NSString* const NSUpdatedObjectsKey;
extern NSString* const NSDeletedObjectsKey;

class NSManagedObjectContext : public NSObject {
    NS_OBJECT(NSManagedObjectContext, NSObject)
    NSManagedObjectContext();
    ~NSManagedObjectContext() override;

    Ref<NSPersistentStoreCoordinator> persistentStoreCoordinator();
    void setPersistentStoreCoordinator(NSPersistentStoreCoordinator* coordinator);

    // ---- reading -------------------------------------------------------------------------
    // The objects of the request's entity that match its predicate, in its sort order: the
    // stored rows as changed in this context, plus matching inserted objects, less deleted
    // ones. nil with an error when the store cannot be read. A request without an entity, or
    // whose predicate names a key the entity lacks, raises NSInvalidArgumentException.
    Ref<NSArray> executeFetchRequest(NSFetchRequest* request, Ref<NSError>* error);
    // The number of objects executeFetchRequest would give; NSNotFound on error.
    NSUInteger countForFetchRequest(NSFetchRequest* request, Ref<NSError>* error);
    // The registered object with the identity, or the stored row read now; nil when there is
    // no such row (with the error).
    Ref<NSManagedObject> existingObjectWithID(NSManagedObjectID* objectID, Ref<NSError>* error);
    Ref<NSManagedObject> objectRegisteredForID(NSManagedObjectID* objectID);

    // ---- changing ------------------------------------------------------------------------
    // Inserts an object made without a context (initWithEntity with nil).
    void insertObject(NSManagedObject* object);
    // Marks the object deleted and applies its relationships' delete rules at once: nullify
    // takes it out of the related objects, cascade deletes them too, deny is checked at save.
    // Deleting an object inserted since the last save simply forgets it.
    void deleteObject(NSManagedObject* object);

    bool hasChanges();
    Ref<NSSet> insertedObjects();
    Ref<NSSet> updatedObjects();
    Ref<NSSet> deletedObjects();
    Ref<NSSet> registeredObjects();

    // Takes up changes made to to-many sets (their objects' inverses). Every public call does
    // this first; it is public for callers that read objects' values directly afterwards.
    void processPendingChanges();

    // Writes every change to the store in one transaction. On failure nothing is written, the
    // changes stay in the context and the error says why (mandatory values missing, a deny rule,
    // or the store's own error).
    bool save(Ref<NSError>* error);
    // Forgets every registered object and every unsaved change.
    void reset();

    void dealloc() override;

    // ---- internal ------------------------------------------------------------------------
    struct Impl;
    Impl& impl() { return *impl_; }

private:
    std::unique_ptr<Impl> impl_;
};
