// An object of the store: its values are read and written by key, as the entity's attributes
// and relationships name them. Setting one side of a relationship updates its inverse at once;
// a to-many relationship is a set (mutableSetValueForKey:) whose changes the context takes up
// before it answers any question about its objects. Subclasses add typed accessors over
// valueForKey:/setValue:forKey:.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "Foundation/NSObject.h"

class NSDictionary;
class NSEntityDescription;
class NSManagedObjectContext;
class NSManagedObjectID;
class NSMutableSet;
class NSRelationshipDescription;
class NSSet;
class NSString;

class NSManagedObject : public NSObject {
    NS_OBJECT(NSManagedObject, NSObject)

    // Initialises an object of the entity and inserts it into the context (when not nil). The
    // attributes start at the model's defaults.
    bool initWithEntity(NSEntityDescription* entity, NSManagedObjectContext* context);

    Ref<NSEntityDescription> entity() { return entity_; }
    Ref<NSManagedObjectID> objectID() { return objectID_; }
    // nil once the object was deleted and saved, or its context is gone.
    Ref<NSManagedObjectContext> managedObjectContext() { return context_.lock(); }

    bool isInserted() const { return inserted_; }
    bool isUpdated() const { return updated_; }
    bool isDeleted() const { return deleted_; }
    // Objects are always read whole, never left as faults.
    bool isFault() const { return false; }
    bool hasChanges() const { return inserted_ || updated_ || deleted_; }

    // ---- values by key -------------------------------------------------------------------
    // An attribute's value, the object of a to-one relationship, or a to-many relationship's
    // objects as a set. A key the entity lacks raises "NSUnknownKeyException".
    Ref<NSObject> valueForKey(NSString* key) override;
    // Sets an attribute (a value of the wrong class raises NSInvalidArgumentException), a
    // to-one relationship (its inverse follows), or a to-many relationship from a set.
    void setValue(NSObject* value, NSString* key) override;
    // The live set of a to-many relationship: adding and removing objects changes the
    // relationship and, when the context next looks, the objects' inverses.
    Ref<NSMutableSet> mutableSetValueForKey(NSString* key);
    // The generated add<Key>Object:/remove<Key>Object: of a to-many relationship.
    void addObjectToRelationship(NSManagedObject* object, NSString* key);
    void removeObjectFromRelationship(NSManagedObject* object, NSString* key);

    // The values set since the last save (attributes and to-one relationships; NSNull for
    // nil), for an inserted object every value that differs from nil.
    Ref<NSDictionary> changedValues();

    // Hooks: after the object is first inserted, and after it was read from the store.
    virtual void awakeFromInsert() {}
    virtual void awakeFromFetch() {}

    Ref<NSString> description() override;
    void dealloc() override;

private:
    friend class NSManagedObjectContext;
    friend struct ManagedObjectAccess;

    struct Slot {
        Ref<NSObject> value;                      // attribute value or to-one object once resolved
        int64_t row = 0;                          // to-one target row not yet resolved (0: none)
        bool unresolved = false;                  // `row` still names the to-one target
        bool changed = false;                     // set since the last save
        Ref<NSMutableSet> set;                    // to-many contents once loaded
        std::vector<Ref<NSManagedObject>> known;  // `set` as the context last saw it
        uint64_t seenMutations = 0;
    };

    [[noreturn]] void raiseUnknownKey(NSString* key);
    long slotIndex(NSString* key);

    Weak<NSManagedObjectContext> context_;
    Ref<NSEntityDescription> entity_;
    Ref<NSManagedObjectID> objectID_;
    std::vector<Slot> slots_;
    bool inserted_ = false;
    bool updated_ = false;
    bool deleted_ = false;
    bool registered_ = false;
};
