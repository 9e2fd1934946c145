#include "CoreData/NSManagedObjectContext.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

#include "CoreData/CoreDataErrors.h"
#include "CoreData/ManagedObjectAccess.h"
#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSFetchRequest.h"
#include "CoreData/NSManagedObjectID.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "CoreData/NSPredicate.h"
#include "CoreData/NSPropertyDescription.h"
#include "CoreData/NSSortDescriptor.h"
#include "CoreData/SQLiteStore.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"

using coredata_detail::RowData;
using coredata_detail::SQLCondition;

namespace {
struct Key {
    NSEntityDescription* entity;
    int64_t row;
    bool temporary;
    bool operator==(const Key&) const = default;
};
struct KeyHash {
    size_t operator()(const Key& k) const noexcept {
        return std::hash<const void*>()(k.entity) ^ std::hash<int64_t>()(k.row * 2 + k.temporary);
    }
};
Key keyOf(NSManagedObjectID* id) {
    return {id->entity().get(), id->row(), id->isTemporaryID()};
}

Ref<NSError> contextError(NSInteger code, NSString* description, NSObject* object = nullptr,
                          NSString* key = nullptr) {
    auto info = NSMutableDictionary::dictionary();
    info->setObject(description, NSLocalizedDescriptionKey);
    if (object) info->setObject(object, NSValidationObjectErrorKey);
    if (key) info->setObject(key, NSValidationKeyErrorKey);
    return NSError::errorWithDomain(NSCocoaErrorDomain, code, info);
}

void eraseFrom(std::vector<Ref<NSManagedObject>>& list, NSManagedObject* o) {
    list.erase(std::remove_if(list.begin(), list.end(),
                              [o](const Ref<NSManagedObject>& r) { return r.get() == o; }),
               list.end());
}
}  // namespace

struct NSManagedObjectContext::Impl {
    NSManagedObjectContext* self = nullptr;
    Ref<NSPersistentStoreCoordinator> coordinator;
    std::unordered_map<Key, Ref<NSManagedObject>, KeyHash> registry;
    // Changed objects in the order they changed; each object's flags say which list holds it.
    std::vector<Ref<NSManagedObject>> inserted, updated, deleted;
    // Objects whose to-many sets were handed out and may change behind the context's back.
    std::vector<Ref<NSManagedObject>> setOwners;
    std::unordered_set<NSManagedObject*> setOwnerSet;
    bool processing = false;

    NSPersistentStore* store() { return coordinator ? coordinator->store() : nullptr; }

    void watchSets(NSManagedObject* o) {
        if (setOwnerSet.insert(o).second) setOwners.push_back(o);
    }

    void registerObject(NSManagedObject* o) {
        registry[keyOf(ManagedObjectAccess::objectID(o))] = o;
        ManagedObjectAccess::registered(o) = true;
        ManagedObjectAccess::context(o) = self;
    }

    // Forgets an object: it leaves every list and its values go, which also breaks the
    // reference cycles between related objects.
    void forget(NSManagedObject* o) {
        Ref<NSManagedObject> keep = o;
        registry.erase(keyOf(ManagedObjectAccess::objectID(o)));
        eraseFrom(inserted, o);
        eraseFrom(updated, o);
        eraseFrom(deleted, o);
        if (setOwnerSet.erase(o)) eraseFrom(setOwners, o);
        ManagedObjectAccess::clear(o);
    }

    void teardown() {
        std::vector<Ref<NSManagedObject>> all;
        all.reserve(registry.size());
        for (auto& [k, o] : registry)
            all.push_back(o);
        for (auto& o : all)
            ManagedObjectAccess::clear(o);
        registry.clear();
        inserted.clear();
        updated.clear();
        deleted.clear();
        setOwners.clear();
        setOwnerSet.clear();
    }

    // The object of a stored row: the registered one (keeping its unsaved changes) or a new
    // one filled from the row.
    Ref<NSManagedObject> objectForRow(NSEntityDescription* entity, const RowData& row) {
        NSPersistentStore* st = store();
        auto it = registry.find(Key{entity, row.pk, false});
        if (it != registry.end()) return it->second;
        Ref<NSManagedObject> o = entity->instantiate();
        ManagedObjectAccess::prepare(o, entity);
        ManagedObjectAccess::objectID(o) = NSManagedObjectID::permanentID(entity, st, row.pk);
        auto& slots = ManagedObjectAccess::slots(o);
        for (NSUInteger i = 0; i < entity->propertyCount(); ++i) {
            auto* r = dynamic_cast<NSRelationshipDescription*>(entity->propertyAt(i));
            if (!r) {
                slots[i].value = row.values[i];
            } else if (!r->isToMany() && row.keys[i]) {
                slots[i].row = row.keys[i];
                slots[i].unresolved = true;
            }
        }
        registerObject(o);
        o->awakeFromFetch();
        return o;
    }

    Ref<NSManagedObject> objectWithRow(NSEntityDescription* entity, int64_t pk,
                                       Ref<NSError>* error) {
        auto it = registry.find(Key{entity, pk, false});
        if (it != registry.end()) return it->second;
        NSPersistentStore* st = store();
        if (!st) return nullptr;
        RowData row;
        bool found = false;
        std::lock_guard<NSPersistentStoreCoordinator> guard(*coordinator);
        if (!st->engine().fetchRow(entity, pk, row, found, error) || !found) return nullptr;
        return objectForRow(entity, row);
    }

    void loadToMany(NSManagedObject* owner, unsigned i) {
        auto* r = ManagedObjectAccess::relationship(owner, i);
        auto dest = r->destinationEntity();
        unsigned inv = ManagedObjectAccess::inverseIndex(r);
        auto members = NSMutableSet::set();
        auto admit = [&](NSManagedObject* m) {
            if (!ManagedObjectAccess::deleted(m) && ManagedObjectAccess::pointsTo(m, inv, owner))
                members->addObject(m);
        };
        NSManagedObjectID* id = ManagedObjectAccess::objectID(owner);
        if (NSPersistentStore* st = store(); st && !id->isTemporaryID()) {
            std::vector<RowData> rows;
            Ref<NSError> error;
            bool read;
            {
                std::lock_guard<NSPersistentStoreCoordinator> guard(*coordinator);
                read = st->engine().fetch(
                    dest, {SQLCondition{inv, NSNumber::numberWithLongLong(id->row()), true}}, rows,
                    &error);
            }
            // A relationship has no error to report through; say so rather than stay silent.
            if (!read) NSLog(NS("Could not read the relationship %@: %@"), r->name(), error);
            for (auto& row : rows)
                admit(objectForRow(dest, row));
        }
        // Objects changed or inserted here may point at the owner although their rows do not.
        for (auto* list : {&inserted, &updated})
            for (auto& m : *list)
                if (ManagedObjectAccess::entity(m).get() == dest.get()) admit(m);
        auto& s = ManagedObjectAccess::slot(owner, i);
        s.set = members;
        s.known.clear();
        for (NSObject* m : *members)
            s.known.push_back(static_cast<NSManagedObject*>(m));
        s.seenMutations = members->mutationCount();
    }

    void processPendingChanges() {
        if (processing) return;
        processing = true;
        // A rejected value raises out of here; the flag must not stay set.
        struct Done {
            bool& flag;
            ~Done() { flag = false; }
        } done{processing};
        for (size_t k = 0; k < setOwners.size(); ++k) {
            Ref<NSManagedObject> o = setOwners[k];
            ManagedObjectAccess::reconcileAll(o);
        }
        // A set that only its object still holds cannot change behind our back any more.
        std::vector<Ref<NSManagedObject>> still;
        for (auto& o : setOwners) {
            bool handedOut = false;
            for (auto& slot : ManagedObjectAccess::slots(o))
                if (slot.set && slot.set->retainCount() > 1) handedOut = true;
            if (handedOut)
                still.push_back(o);
            else
                setOwnerSet.erase(o.get());
        }
        setOwners.swap(still);
    }
};

// ---- the object graph ------------------------------------------------------------------------

NSRelationshipDescription* ManagedObjectAccess::relationship(NSManagedObject* o, unsigned i) {
    return static_cast<NSRelationshipDescription*>(o->entity_->propertyAt(i));
}

unsigned ManagedObjectAccess::inverseIndex(NSRelationshipDescription* r) {
    return static_cast<unsigned>(r->inverseRelationship()->indexInEntity());
}

void ManagedObjectAccess::prepare(NSManagedObject* o, NSEntityDescription* entity) {
    o->entity_ = entity;
    o->slots_.assign(entity->propertyCount(), Slot());
}

Ref<NSManagedObject> ManagedObjectAccess::toOne(NSManagedObject* o, unsigned i) {
    Slot& s = o->slots_[i];
    if (s.unresolved) {
        auto ctx = o->context_.lock();
        if (!ctx) return nullptr;
        auto dest = relationship(o, i)->destinationEntity();
        auto target = ctx->impl().objectWithRow(dest, s.row, nullptr);
        // The row may have been read into the slot's object meanwhile; re-check the slot.
        if (s.unresolved) {
            s.value = target;
            s.unresolved = false;
            s.row = 0;
        }
    }
    return as<NSManagedObject>(s.value);
}

bool ManagedObjectAccess::pointsTo(NSManagedObject* o, unsigned i, NSManagedObject* target) {
    Slot& s = o->slots_[i];
    if (s.unresolved) {
        NSManagedObjectID* id = target ? target->objectID_.get() : nullptr;
        return id && !id->isTemporaryID() && id->row() == s.row &&
               id->entity().get() == relationship(o, i)->destinationEntity().get();
    }
    return s.value.get() == static_cast<NSObject*>(target);
}

void ManagedObjectAccess::setToOneRaw(NSManagedObject* o, unsigned i, NSManagedObject* target) {
    Slot& s = o->slots_[i];
    s.value = target;
    s.unresolved = false;
    s.row = 0;
    s.changed = true;
    markUpdated(o);
}

NSMutableSet* ManagedObjectAccess::toManySet(NSManagedObject* o, unsigned i) {
    Slot& s = o->slots_[i];
    if (!s.set) {
        if (auto ctx = o->context_.lock()) {
            ctx->impl().loadToMany(o, i);
        } else {
            s.set = NSMutableSet::set();
            s.known.clear();
            s.seenMutations = s.set->mutationCount();
        }
    }
    return s.set.get();
}

void ManagedObjectAccess::checkRelated(NSManagedObject* o, NSRelationshipDescription* r,
                                       NSObject* value, bool toMany) {
    if (!value) return;
    auto* m = dynamic_cast<NSManagedObject*>(value);
    auto dest = r->destinationEntity();
    if (!m || m->entity_.get() != dest.get())
        NSException::raise(NSInvalidArgumentException,
                           NS("Unacceptable type of value for %@ relationship: property = \"%@\"; "
                              "desired type = %@; given type = %@; value = %@."),
                           toMany ? NS("to-many") : NS("to-one"), r->name(),
                           dest ? dest->name() : nullptr, value->className(), value);
    auto a = o->context_.lock();
    auto b = m->context_.lock();
    if (a && b && a.get() != b.get())
        NSException::raise(NSInvalidArgumentException,
                           NS("Illegal attempt to establish a relationship '%@' between objects "
                              "in different contexts"),
                           r->name());
}

void ManagedObjectAccess::addRaw(NSManagedObject* owner, unsigned i, NSManagedObject* member) {
    reconcile(owner, i);
    Slot& s = owner->slots_[i];
    if (!s.set || s.set->containsObject(member)) return;
    s.set->addObject(member);
    s.known.push_back(member);
    s.seenMutations = s.set->mutationCount();
}

void ManagedObjectAccess::removeRaw(NSManagedObject* owner, unsigned i, NSManagedObject* member) {
    reconcile(owner, i);
    Slot& s = owner->slots_[i];
    if (!s.set || !s.set->containsObject(member)) return;
    s.set->removeObject(member);
    s.known.erase(
        std::remove_if(s.known.begin(), s.known.end(),
                       [member](const Ref<NSManagedObject>& k) { return k.get() == member; }),
        s.known.end());
    s.seenMutations = s.set->mutationCount();
}

void ManagedObjectAccess::reconcile(NSManagedObject* o, unsigned i) {
    Slot& s = o->slots_[i];
    if (!s.set || s.set->mutationCount() == s.seenMutations) return;
    auto* r = relationship(o, i);
    unsigned inv = inverseIndex(r);
    // Take the difference first and mark the slot settled, so that the inverse updates below
    // (which may reach back here) see nothing left to do.
    std::unordered_set<NSObject*> before;
    for (auto& k : s.known)
        before.insert(k.get());
    std::vector<Ref<NSManagedObject>> added, removed;
    std::vector<Ref<NSManagedObject>> now;
    std::vector<Ref<NSObject>> rejected;
    for (NSObject* m : *s.set) {
        auto* mo = dynamic_cast<NSManagedObject*>(m);
        auto ownerContext = o->context_.lock();
        auto memberContext = mo ? mo->context_.lock() : nullptr;
        if (!mo || mo->entity_.get() != r->destinationEntity().get() ||
            (ownerContext && memberContext && ownerContext.get() != memberContext.get())) {
            rejected.push_back(m);
            continue;
        }
        now.push_back(mo);
        if (!before.erase(m)) added.push_back(mo);
    }
    for (auto& k : s.known)
        if (before.count(k.get())) removed.push_back(k);
    Ref<NSMutableSet> keepSet = s.set;
    for (auto& bad : rejected)
        keepSet->removeObject(bad);
    s.known = now;
    s.seenMutations = keepSet->mutationCount();
    for (auto& m : removed)
        if (pointsTo(m, inv, o)) setToOneRaw(m, inv, nullptr);
    for (auto& m : added) {
        Ref<NSManagedObject> old = toOne(m, inv);
        if (old.get() == o) continue;
        if (old) removeRaw(old, i, m);
        setToOneRaw(m, inv, o);
    }
    if (!added.empty() || !removed.empty()) markUpdated(o);
    if (!rejected.empty())
        NSException::raise(NSInvalidArgumentException,
                           NS("Unacceptable type of value for to-many relationship: property = "
                              "\"%@\"; desired type = %@; value = %@."),
                           r->name(), r->destinationEntity()->name(), rejected.front());
}

void ManagedObjectAccess::reconcileAll(NSManagedObject* o) {
    if (!o->entity_) return;
    for (NSUInteger i = 0; i < o->entity_->propertyCount() && i < o->slots_.size(); ++i)
        if (o->slots_[i].set) reconcile(o, static_cast<unsigned>(i));
}

void ManagedObjectAccess::setToOne(NSManagedObject* o, unsigned i, NSManagedObject* target) {
    Ref<NSManagedObject> old = toOne(o, i);
    if (old.get() == target) return;
    auto* r = relationship(o, i);
    if (auto inverse = r->inverseRelationship()) {
        unsigned inv = static_cast<unsigned>(inverse->indexInEntity());
        if (inverse->isToMany()) {
            if (old) removeRaw(old, inv, o);
            if (target) addRaw(target, inv, o);
        } else {
            if (old && pointsTo(old, inv, o)) setToOneRaw(old, inv, nullptr);
            if (target) {
                Ref<NSManagedObject> previous = toOne(target, inv);
                if (previous && previous.get() != o) setToOneRaw(previous, i, nullptr);
                setToOneRaw(target, inv, o);
            }
        }
    }
    setToOneRaw(o, i, target);
}

void ManagedObjectAccess::markUpdated(NSManagedObject* o) {
    if (!o->registered_ || o->inserted_ || o->deleted_ || o->updated_) return;
    auto ctx = o->context_.lock();
    if (!ctx) return;
    o->updated_ = true;
    ctx->impl().updated.push_back(o);
}

void ManagedObjectAccess::watchSets(NSManagedObject* o) {
    if (auto ctx = o->context_.lock(); ctx && o->registered_) ctx->impl().watchSets(o);
}

void ManagedObjectAccess::clear(NSManagedObject* o) {
    o->slots_.assign(o->slots_.size(), Slot());
    o->context_.reset();
    o->registered_ = false;
    o->inserted_ = false;
    o->updated_ = false;
    o->deleted_ = false;
}

// ---- NSManagedObjectContext ------------------------------------------------------------------

NSManagedObjectContext::NSManagedObjectContext() : impl_(std::make_unique<Impl>()) {
    impl_->self = this;
}

NSManagedObjectContext::~NSManagedObjectContext() = default;

void NSManagedObjectContext::dealloc() {
    impl_->teardown();
    impl_->coordinator = nullptr;
    NSObject::dealloc();
}

Ref<NSPersistentStoreCoordinator> NSManagedObjectContext::persistentStoreCoordinator() {
    return impl_->coordinator;
}

void NSManagedObjectContext::setPersistentStoreCoordinator(NSPersistentStoreCoordinator* c) {
    impl_->coordinator = c;
}

void NSManagedObjectContext::processPendingChanges() {
    impl_->processPendingChanges();
}

void NSManagedObjectContext::insertObject(NSManagedObject* object) {
    if (!object) return;
    auto current = object->managedObjectContext();
    if (current && current.get() != this)
        NSException::raise(NSInvalidArgumentException,
                           NS("An NSManagedObject may only be in (or observed by) a single "
                              "NSManagedObjectContext."));
    if (current) {
        // Inserting a deleted object takes the delete back.
        if (ManagedObjectAccess::deleted(object)) {
            ManagedObjectAccess::deleted(object) = false;
            eraseFrom(impl_->deleted, object);
            ManagedObjectAccess::markUpdated(object);
        }
        return;
    }
    if (!ManagedObjectAccess::entity(object))
        NSException::raise(NSInvalidArgumentException,
                           NS("An NSManagedObject must have a valid NSEntityDescription."));
    if (!ManagedObjectAccess::objectID(object)->isTemporaryID())
        NSException::raise(NSInvalidArgumentException,
                           NS("A stored object cannot be inserted into another context"));
    impl_->registerObject(object);
    ManagedObjectAccess::inserted(object) = true;
    impl_->inserted.push_back(object);
    ManagedObjectAccess::reconcileAll(object);
    object->awakeFromInsert();
}

void NSManagedObjectContext::deleteObject(NSManagedObject* object) {
    if (!object) return;
    auto ctx = object->managedObjectContext();
    if (ctx.get() != this)
        NSException::raise(
            NSInvalidArgumentException,
            NS("An NSManagedObjectContext cannot delete objects in other contexts."));
    if (ManagedObjectAccess::deleted(object)) return;
    impl_->processPendingChanges();
    Ref<NSManagedObject> keep = object;
    // Mark it first, so that cascades coming back to it stop here.
    bool wasInserted = ManagedObjectAccess::inserted(object);
    ManagedObjectAccess::deleted(object) = true;
    NSEntityDescription* entity = ManagedObjectAccess::entity(object);
    for (NSUInteger i = 0; i < entity->propertyCount(); ++i) {
        auto* r = dynamic_cast<NSRelationshipDescription*>(entity->propertyAt(i));
        if (!r) continue;
        unsigned idx = static_cast<unsigned>(i);
        NSDeleteRule rule = r->deleteRule();
        if (rule == NSNoActionDeleteRule || rule == NSDenyDeleteRule) continue;
        auto inverse = r->inverseRelationship();
        if (r->isToMany()) {
            NSMutableSet* set = ManagedObjectAccess::toManySet(object, idx);
            ManagedObjectAccess::reconcile(object, idx);
            std::vector<Ref<NSManagedObject>> members;
            for (NSObject* m : *set)
                members.push_back(static_cast<NSManagedObject*>(m));
            unsigned inv = static_cast<unsigned>(inverse->indexInEntity());
            for (auto& m : members) {
                if (rule == NSCascadeDeleteRule) {
                    deleteObject(m);
                } else if (ManagedObjectAccess::pointsTo(m, inv, object)) {
                    ManagedObjectAccess::setToOneRaw(m, inv, nullptr);
                }
            }
            auto& s = ManagedObjectAccess::slot(object, idx);
            s.set = NSMutableSet::set();
            s.known.clear();
            s.seenMutations = s.set->mutationCount();
        } else {
            Ref<NSManagedObject> target = ManagedObjectAccess::toOne(object, idx);
            if (target) {
                if (rule == NSCascadeDeleteRule) {
                    deleteObject(target);
                } else if (inverse) {
                    unsigned inv = static_cast<unsigned>(inverse->indexInEntity());
                    if (inverse->isToMany())
                        ManagedObjectAccess::removeRaw(target, inv, object);
                    else if (ManagedObjectAccess::pointsTo(target, inv, object))
                        ManagedObjectAccess::setToOneRaw(target, inv, nullptr);
                }
            }
            auto& s = ManagedObjectAccess::slot(object, idx);
            s.value = nullptr;
            s.unresolved = false;
            s.row = 0;
        }
    }
    if (wasInserted) {
        // Never saved: it simply goes away.
        impl_->forget(object);
        return;
    }
    if (ManagedObjectAccess::updated(object)) {
        ManagedObjectAccess::updated(object) = false;
        eraseFrom(impl_->updated, object);
    }
    impl_->deleted.push_back(object);
}

bool NSManagedObjectContext::hasChanges() {
    impl_->processPendingChanges();
    return !impl_->inserted.empty() || !impl_->updated.empty() || !impl_->deleted.empty();
}

namespace {
Ref<NSSet> setOf(const std::vector<Ref<NSManagedObject>>& list) {
    auto s = NSMutableSet::set();
    for (auto& o : list)
        s->addObject(o);
    return s;
}
}  // namespace

Ref<NSSet> NSManagedObjectContext::insertedObjects() {
    impl_->processPendingChanges();
    return setOf(impl_->inserted);
}

Ref<NSSet> NSManagedObjectContext::updatedObjects() {
    impl_->processPendingChanges();
    return setOf(impl_->updated);
}

Ref<NSSet> NSManagedObjectContext::deletedObjects() {
    impl_->processPendingChanges();
    return setOf(impl_->deleted);
}

Ref<NSSet> NSManagedObjectContext::registeredObjects() {
    auto s = NSMutableSet::set();
    for (auto& [k, o] : impl_->registry)
        s->addObject(o);
    return s;
}

Ref<NSManagedObject> NSManagedObjectContext::objectRegisteredForID(NSManagedObjectID* objectID) {
    if (!objectID) return nullptr;
    auto it = impl_->registry.find(keyOf(objectID));
    return it == impl_->registry.end() ? nullptr : it->second;
}

Ref<NSManagedObject> NSManagedObjectContext::existingObjectWithID(NSManagedObjectID* objectID,
                                                                  Ref<NSError>* error) {
    if (auto o = objectRegisteredForID(objectID)) return o;
    Ref<NSManagedObject> o;
    if (objectID && !objectID->isTemporaryID())
        o = impl_->objectWithRow(objectID->entity(), objectID->row(), error);
    if (!o && error && !*error)
        *error = contextError(NSManagedObjectReferentialIntegrityError,
                              NS("The object does not exist in the store"), objectID);
    return o;
}

namespace {
// The part of the predicate the store can test; `none` when no stored row can match.
std::vector<SQLCondition> storeConditions(NSEntityDescription* entity, NSPredicate* predicate,
                                          bool& none) {
    std::vector<SQLCondition> out;
    none = false;
    if (!predicate) return out;
    if (predicate->isNever()) {
        none = true;
        return out;
    }
    for (auto& t : predicate->comparisons()) {
        long i = entity->indexOfProperty(t.key->utf8());
        if (i < 0)
            NSException::raise(NSInvalidArgumentException, NS("keypath %@ not found in entity %@"),
                               t.key, entity->name());
        NSPropertyDescription* p = entity->propertyAt(static_cast<NSUInteger>(i));
        unsigned idx = static_cast<unsigned>(i);
        if (auto* a = dynamic_cast<NSAttributeDescription*>(p)) {
            if (a->acceptsValue(t.value))
                out.push_back({idx, t.value, t.equal});
            else if (t.equal)
                none = true;
            continue;
        }
        auto* r = static_cast<NSRelationshipDescription*>(p);
        if (r->isToMany())
            NSException::raise(NSInvalidArgumentException, NS("to-many key not allowed here: %@"),
                               t.key);
        if (!t.value) {
            out.push_back({idx, nullptr, t.equal});
            continue;
        }
        auto* m = dynamic_cast<NSManagedObject*>(t.value.get());
        bool stored = m && m->entity().get() == r->destinationEntity().get() &&
                      !m->objectID()->isTemporaryID();
        if (stored)
            out.push_back({idx, NSNumber::numberWithLongLong(m->objectID()->row()), t.equal});
        else if (t.equal)
            none = true;
    }
    return out;
}
}  // namespace

Ref<NSArray> NSManagedObjectContext::executeFetchRequest(NSFetchRequest* request,
                                                         Ref<NSError>* error) {
    if (!request)
        NSException::raise(NSInvalidArgumentException, NS("executeFetchRequest: nil request"));
    auto name = request->entityName();
    if (!impl_->coordinator)
        NSException::raise(NSInternalInconsistencyException,
                           NS("This NSManagedObjectContext has no NSPersistentStoreCoordinator"));
    NSEntityDescription* entity =
        name ? impl_->coordinator->managedObjectModel()->entityNamed(name->utf8()) : nullptr;
    if (!entity)
        NSException::raise(NSInvalidArgumentException,
                           NS("executeFetchRequest:error: A fetch request must have an entity."));
    impl_->processPendingChanges();
    auto predicate = request->predicate();
    bool none = false;
    auto conditions = storeConditions(entity, predicate, none);
    NSPersistentStore* st = impl_->store();
    if (!st) {
        if (error)
            *error = contextError(NSPersistentStoreOperationError,
                                  NS("The persistent store coordinator has no store"));
        return nullptr;
    }
    std::vector<RowData> rows;
    if (!none) {
        std::lock_guard<NSPersistentStoreCoordinator> guard(*impl_->coordinator);
        if (!st->engine().fetch(entity, conditions, rows, error)) return nullptr;
    }
    std::vector<Ref<NSObject>> results;
    std::unordered_set<NSManagedObject*> seen;
    auto consider = [&](NSManagedObject* o) {
        if (ManagedObjectAccess::deleted(o) || !seen.insert(o).second) return;
        // The context's values decide: a row may have changed here since it was stored.
        if (!predicate || predicate->evaluateWithObject(o)) results.push_back(o);
    };
    for (auto& row : rows)
        consider(impl_->objectForRow(entity, row));
    std::vector<Ref<NSManagedObject>> pending(impl_->updated);
    pending.insert(pending.end(), impl_->inserted.begin(), impl_->inserted.end());
    for (auto& o : pending)
        if (ManagedObjectAccess::entity(o).get() == entity) consider(o);
    Ref<NSArray> out = NSArray::arrayWithVector(results);
    if (auto descriptors = request->sortDescriptors(); descriptors && descriptors->count())
        out = sortedArrayUsingDescriptors(out, descriptors);
    NSUInteger offset = request->fetchOffset(), limit = request->fetchLimit();
    if (offset || limit) {
        NSUInteger n = out->count();
        NSUInteger start = std::min(offset, n);
        NSUInteger len = limit ? std::min(limit, n - start) : n - start;
        out = out->subarrayWithRange(NSMakeRange(start, len));
    }
    return out;
}

NSUInteger NSManagedObjectContext::countForFetchRequest(NSFetchRequest* request,
                                                        Ref<NSError>* error) {
    auto result = executeFetchRequest(request, error);
    return result ? result->count() : static_cast<NSUInteger>(NSNotFound);
}

namespace {
Ref<NSError> validate(NSManagedObjectContext* ctx, const std::vector<Ref<NSManagedObject>>& live,
                      const std::vector<Ref<NSManagedObject>>& deleted) {
    std::vector<Ref<NSError>> errors;
    for (auto& o : live) {
        NSEntityDescription* e = o->entity();
        for (NSUInteger i = 0; i < e->propertyCount(); ++i) {
            NSPropertyDescription* p = e->propertyAt(i);
            auto* r = dynamic_cast<NSRelationshipDescription*>(p);
            if (r && r->isToMany()) continue;
            auto& s = ManagedObjectAccess::slot(o, static_cast<unsigned>(i));
            bool missing = s.value == nullptr && !s.unresolved;
            if (missing && !p->isOptional()) {
                errors.push_back(contextError(
                    NSValidationMissingMandatoryPropertyError,
                    NSString::stringWithFormat(NS("%@ is a required value."), p->name()), o,
                    p->name()));
                continue;
            }
            if (r && s.value) {
                auto* target = static_cast<NSManagedObject*>(s.value.get());
                if (target->isDeleted() || target->managedObjectContext().get() != ctx)
                    errors.push_back(contextError(
                        NSManagedObjectReferentialIntegrityError,
                        NSString::stringWithFormat(NS("Dangling reference to an invalid object "
                                                      "through %@."),
                                                   p->name()),
                        o, p->name()));
            }
        }
    }
    for (auto& o : deleted) {
        NSEntityDescription* e = o->entity();
        for (NSUInteger i = 0; i < e->propertyCount(); ++i) {
            auto* r = dynamic_cast<NSRelationshipDescription*>(e->propertyAt(i));
            if (!r || r->deleteRule() != NSDenyDeleteRule) continue;
            bool blocked = false;
            if (r->isToMany()) {
                NSMutableSet* set = ManagedObjectAccess::toManySet(o, static_cast<unsigned>(i));
                for (NSObject* m : *set)
                    if (!static_cast<NSManagedObject*>(m)->isDeleted()) blocked = true;
            } else if (auto t = ManagedObjectAccess::toOne(o, static_cast<unsigned>(i))) {
                blocked = !t->isDeleted();
            }
            if (blocked)
                errors.push_back(contextError(
                    NSValidationRelationshipDeniedDeleteError,
                    NSString::stringWithFormat(NS("The object cannot be deleted while %@ is set."),
                                               r->name()),
                    o, r->name()));
        }
    }
    if (errors.empty()) return nullptr;
    if (errors.size() == 1) return errors.front();
    auto info = NSMutableDictionary::dictionary();
    info->setObject(NS("Multiple validation errors occurred."), NSLocalizedDescriptionKey);
    info->setObject(NSArray::arrayWithVector(errors), NSDetailedErrorsKey);
    return NSError::errorWithDomain(NSCocoaErrorDomain, NSValidationMultipleErrorsError, info);
}
}  // namespace

bool NSManagedObjectContext::save(Ref<NSError>* error) {
    Impl& im = *impl_;
    im.processPendingChanges();
    if (im.inserted.empty() && im.updated.empty() && im.deleted.empty()) return true;
    std::vector<Ref<NSManagedObject>> live(im.inserted);
    live.insert(live.end(), im.updated.begin(), im.updated.end());
    if (auto invalid = validate(this, live, im.deleted)) {
        if (error) *error = invalid;
        return false;
    }
    NSPersistentStore* st = im.store();
    if (!st || st->isReadOnly()) {
        if (error)
            *error = contextError(NSPersistentStoreSaveError,
                                  st ? NS("The persistent store is read-only")
                                     : NS("The persistent store coordinator has no store"));
        return false;
    }
    auto& engine = st->engine();
    std::unordered_map<NSManagedObject*, int64_t> newKeys;
    {
        std::lock_guard<NSPersistentStoreCoordinator> guard(*im.coordinator);
        auto fail = [&]() {
            engine.rollback();
            return false;
        };
        if (!engine.begin(error)) return false;
        // Keys for new rows first, so rows may point at each other.
        std::vector<NSEntityDescription*> order;
        std::unordered_map<NSEntityDescription*, std::vector<NSManagedObject*>> byEntity;
        for (auto& o : im.inserted) {
            NSEntityDescription* e = o->entity();
            if (!byEntity.count(e)) order.push_back(e);
            byEntity[e].push_back(o);
        }
        for (NSEntityDescription* e : order) {
            int64_t first = 0;
            auto& list = byEntity[e];
            if (!engine.reserveKeys(e, static_cast<int64_t>(list.size()), first, error))
                return fail();
            for (auto* o : list)
                newKeys[o] = first++;
        }
        auto rowOf = [&](NSManagedObject* o) {
            RowData row;
            NSEntityDescription* e = o->entity();
            auto it = newKeys.find(o);
            row.pk = it != newKeys.end() ? it->second : o->objectID()->row();
            row.values.assign(e->propertyCount(), nullptr);
            row.keys.assign(e->propertyCount(), 0);
            for (NSUInteger i = 0; i < e->propertyCount(); ++i) {
                auto& s = ManagedObjectAccess::slot(o, static_cast<unsigned>(i));
                auto* r = dynamic_cast<NSRelationshipDescription*>(e->propertyAt(i));
                if (!r) {
                    row.values[i] = s.value;
                } else if (!r->isToMany()) {
                    if (s.unresolved) {
                        row.keys[i] = s.row;
                    } else if (auto* t = static_cast<NSManagedObject*>(s.value.get())) {
                        auto k = newKeys.find(t);
                        row.keys[i] = k != newKeys.end() ? k->second : t->objectID()->row();
                    }
                }
            }
            return row;
        };
        for (auto& o : im.inserted)
            if (!engine.insertRow(o->entity(), rowOf(o), error)) return fail();
        for (auto& o : im.updated)
            if (!engine.updateRow(o->entity(), rowOf(o), error)) return fail();
        for (auto& o : im.deleted)
            if (!engine.deleteRow(o->entity(), o->objectID()->row(), error)) return fail();
        if (!engine.commit(error)) return fail();
    }
    // Stored: new objects take their permanent identities, deleted ones leave the context.
    auto insertedSet = setOf(im.inserted);
    auto updatedSet = setOf(im.updated);
    auto deletedSet = setOf(im.deleted);
    for (auto& o : im.inserted) {
        im.registry.erase(keyOf(o->objectID()));
        ManagedObjectAccess::objectID(o) =
            NSManagedObjectID::permanentID(o->entity(), st, newKeys[o.get()]);
        im.registry[keyOf(o->objectID())] = o;
        ManagedObjectAccess::inserted(o) = false;
    }
    for (auto& o : im.updated)
        ManagedObjectAccess::updated(o) = false;
    for (auto* list : {&im.inserted, &im.updated})
        for (auto& o : *list)
            for (auto& s : ManagedObjectAccess::slots(o))
                s.changed = false;
    auto gone = im.deleted;
    im.inserted.clear();
    im.updated.clear();
    for (auto& o : gone)
        im.forget(o);
    im.deleted.clear();
    NSNotificationCenter::defaultCenter()->postNotificationName(
        NSManagedObjectContextDidSaveNotification, this,
        NSDictionary::dictionaryWithPairs({{NSInsertedObjectsKey, insertedSet.get()},
                                           {NSUpdatedObjectsKey, updatedSet.get()},
                                           {NSDeletedObjectsKey, deletedSet.get()}}));
    return true;
}

void NSManagedObjectContext::reset() {
    impl_->teardown();
}
