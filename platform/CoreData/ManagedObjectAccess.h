// The object graph's inner workings, shared by NSManagedObject and NSManagedObjectContext:
// relationship sides kept in step, to-many sets loaded on first use and reconciled after the
// app changed them directly.
#pragma once

#include "CoreData/NSManagedObject.h"
#include "CoreData/NSManagedObjectContext.h"

class NSMutableSet;
class NSRelationshipDescription;

struct ManagedObjectAccess {
    using Slot = NSManagedObject::Slot;

    static Slot& slot(NSManagedObject* o, unsigned i) { return o->slots_[i]; }
    static NSRelationshipDescription* relationship(NSManagedObject* o, unsigned i);
    static unsigned inverseIndex(NSRelationshipDescription* r);

    // The object a to-one relationship names, read from the store when not yet known.
    static Ref<NSManagedObject> toOne(NSManagedObject* o, unsigned i);
    // Whether the to-one relationship names `target`, without reading anything.
    static bool pointsTo(NSManagedObject* o, unsigned i, NSManagedObject* target);
    // Sets a to-one relationship and keeps the inverse side in step.
    static void setToOne(NSManagedObject* o, unsigned i, NSManagedObject* target);
    static void setToOneRaw(NSManagedObject* o, unsigned i, NSManagedObject* target);
    // The live set of a to-many relationship, loaded on first use.
    static NSMutableSet* toManySet(NSManagedObject* o, unsigned i);
    // Takes up direct changes of a to-many set: the added objects' inverses point here, the
    // removed ones' no longer do.
    static void reconcile(NSManagedObject* o, unsigned i);
    static void reconcileAll(NSManagedObject* o);
    static void addRaw(NSManagedObject* owner, unsigned i, NSManagedObject* member);
    static void removeRaw(NSManagedObject* owner, unsigned i, NSManagedObject* member);
    // Checks that `value` may be related through the relationship (its entity and context).
    static void checkRelated(NSManagedObject* o, NSRelationshipDescription* r, NSObject* value,
                             bool toMany);

    static void markUpdated(NSManagedObject* o);
    // The context re-examines the object's to-many sets before it answers anything.
    static void watchSets(NSManagedObject* o);
    // Drops every value and the context link (breaks reference cycles between objects).
    static void clear(NSManagedObject* o);
    static void prepare(NSManagedObject* o, NSEntityDescription* entity);

    static bool& inserted(NSManagedObject* o) { return o->inserted_; }
    static bool& updated(NSManagedObject* o) { return o->updated_; }
    static bool& deleted(NSManagedObject* o) { return o->deleted_; }
    static bool& registered(NSManagedObject* o) { return o->registered_; }
    static Weak<NSManagedObjectContext>& context(NSManagedObject* o) { return o->context_; }
    static Ref<NSManagedObjectID>& objectID(NSManagedObject* o) { return o->objectID_; }
    static Ref<NSEntityDescription>& entity(NSManagedObject* o) { return o->entity_; }
    static std::vector<Slot>& slots(NSManagedObject* o) { return o->slots_; }
};
