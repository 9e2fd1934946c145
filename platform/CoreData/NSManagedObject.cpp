#include "CoreData/NSManagedObject.h"

#include "CoreData/ManagedObjectAccess.h"
#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSManagedObjectID.h"
#include "CoreData/NSPredicate.h"
#include "CoreData/NSPropertyDescription.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"

bool NSManagedObject::initWithEntity(NSEntityDescription* entity, NSManagedObjectContext* context) {
    if (!entity)
        NSException::raise(NSInvalidArgumentException,
                           NS("An NSManagedObject must have a valid NSEntityDescription."));
    ManagedObjectAccess::prepare(this, entity);
    objectID_ = NSManagedObjectID::temporaryID(entity);
    for (NSUInteger i = 0; i < entity->propertyCount(); ++i) {
        Slot& s = slots_[i];
        NSPropertyDescription* p = entity->propertyAt(i);
        if (auto* a = dynamic_cast<NSAttributeDescription*>(p)) {
            s.value = a->defaultValue();
        } else if (auto* r = dynamic_cast<NSRelationshipDescription*>(p); r && r->isToMany()) {
            // Nothing stored can point at an object that was never saved: the set starts
            // known and empty.
            s.set = NSMutableSet::set();
            s.seenMutations = s.set->mutationCount();
        }
    }
    if (context) context->insertObject(this);
    return true;
}

long NSManagedObject::slotIndex(NSString* key) {
    if (!entity_ || !key) return -1;
    return entity_->indexOfProperty(key->utf8());
}

void NSManagedObject::raiseUnknownKey(NSString* key) {
    NSException::raise(NSUndefinedKeyException,
                       NS("[<%@> valueForUndefinedKey:]: the entity %@ is not key value coding-"
                          "compliant for the key \"%@\"."),
                       className(), entity_ ? entity_->name() : nullptr, key);
}

namespace {
// Relationship reads and writes first take up what the app changed in to-many sets.
void settle(NSManagedObject* o) {
    if (auto ctx = o->managedObjectContext())
        ctx->processPendingChanges();
    else
        ManagedObjectAccess::reconcileAll(o);
}
}  // namespace

Ref<NSObject> NSManagedObject::valueForKey(NSString* key) {
    long i = slotIndex(key);
    if (i < 0) return NSObject::valueForKey(key);
    NSPropertyDescription* p = entity_->propertyAt(static_cast<NSUInteger>(i));
    if (dynamic_cast<NSAttributeDescription*>(p)) return slots_[i].value;
    auto* r = static_cast<NSRelationshipDescription*>(p);
    settle(this);
    if (!r->isToMany()) return ManagedObjectAccess::toOne(this, static_cast<unsigned>(i));
    NSMutableSet* set = ManagedObjectAccess::toManySet(this, static_cast<unsigned>(i));
    return set ? Ref<NSObject>(NSSet::setWithSet(set)) : Ref<NSObject>(NSSet::set());
}

void NSManagedObject::setValue(NSObject* value, NSString* key) {
    long i = slotIndex(key);
    if (i < 0) {
        NSObject::setValue(value, key);
        return;
    }
    if (is<NSNull>(value)) value = nullptr;
    NSPropertyDescription* p = entity_->propertyAt(static_cast<NSUInteger>(i));
    if (auto* a = dynamic_cast<NSAttributeDescription*>(p)) {
        if (!a->acceptsValue(value))
            NSException::raise(NSInvalidArgumentException,
                               NS("Unacceptable type of value for attribute: property = \"%@\"; "
                                  "desired type = %@; given type = %@; value = %@."),
                               key, a->attributeValueClassName(), value->className(), value);
        // Strings and data are kept as immutable copies, so later edits by the caller do not
        // change the stored value behind the context's back.
        Ref<NSObject> v = value;
        if (auto s = as<NSString>(v))
            v = s->copy();
        else if (auto d = as<NSData>(v))
            v = d->copy();
        Slot& s = slots_[i];
        if (NSPredicateValuesEqual(s.value, v)) return;
        s.value = v;
        s.changed = true;
        ManagedObjectAccess::markUpdated(this);
        return;
    }
    auto* r = static_cast<NSRelationshipDescription*>(p);
    settle(this);
    if (!r->isToMany()) {
        ManagedObjectAccess::checkRelated(this, r, value, false);
        ManagedObjectAccess::setToOne(this, static_cast<unsigned>(i),
                                      static_cast<NSManagedObject*>(value));
        return;
    }
    if (value && !is<NSSet>(value))
        NSException::raise(NSInvalidArgumentException,
                           NS("Unacceptable type of value for to-many relationship: property = "
                              "\"%@\"; desired type = NSSet; given type = %@; value = %@."),
                           key, value->className(), value);
    auto wanted = value ? NSSet::setWithSet(static_cast<NSSet*>(value)) : NSSet::set();
    for (NSObject* o : *wanted)
        ManagedObjectAccess::checkRelated(this, r, o, true);
    NSMutableSet* set = ManagedObjectAccess::toManySet(this, static_cast<unsigned>(i));
    set->setSet(wanted);
    ManagedObjectAccess::reconcile(this, static_cast<unsigned>(i));
}

Ref<NSMutableSet> NSManagedObject::mutableSetValueForKey(NSString* key) {
    long i = slotIndex(key);
    auto* r = i < 0 ? nullptr
                    : dynamic_cast<NSRelationshipDescription*>(
                          entity_->propertyAt(static_cast<NSUInteger>(i)));
    if (!r || !r->isToMany())
        NSException::raise(NSInvalidArgumentException,
                           NS("%@ is not a to-many relationship of entity %@"), key,
                           entity_ ? entity_->name() : nullptr);
    settle(this);
    Ref<NSMutableSet> set = ManagedObjectAccess::toManySet(this, static_cast<unsigned>(i));
    ManagedObjectAccess::watchSets(this);
    return set;
}

void NSManagedObject::addObjectToRelationship(NSManagedObject* object, NSString* key) {
    if (!object) return;
    auto set = mutableSetValueForKey(key);
    ManagedObjectAccess::checkRelated(this, entity_->relationshipNamed(key->utf8()), object, true);
    set->addObject(object);
    ManagedObjectAccess::reconcile(this, static_cast<unsigned>(slotIndex(key)));
}

void NSManagedObject::removeObjectFromRelationship(NSManagedObject* object, NSString* key) {
    if (!object) return;
    auto set = mutableSetValueForKey(key);
    set->removeObject(object);
    ManagedObjectAccess::reconcile(this, static_cast<unsigned>(slotIndex(key)));
}

Ref<NSDictionary> NSManagedObject::changedValues() {
    auto out = NSMutableDictionary::dictionary();
    if (!entity_) return out;
    for (NSUInteger i = 0; i < entity_->propertyCount(); ++i) {
        NSPropertyDescription* p = entity_->propertyAt(i);
        auto* r = dynamic_cast<NSRelationshipDescription*>(p);
        if (r && r->isToMany()) continue;
        Slot& s = slots_[i];
        if (inserted_ ? (s.value == nullptr && !s.unresolved) : !s.changed) continue;
        Ref<NSObject> v =
            r ? Ref<NSObject>(ManagedObjectAccess::toOne(this, static_cast<unsigned>(i))) : s.value;
        out->setObject(v ? v : Ref<NSObject>(NSNull::null()), p->name());
    }
    return out;
}

Ref<NSString> NSManagedObject::description() {
    auto values = NSMutableString::string();
    if (entity_) {
        for (NSUInteger i = 0; i < entity_->propertyCount(); ++i) {
            NSPropertyDescription* p = entity_->propertyAt(i);
            auto* r = dynamic_cast<NSRelationshipDescription*>(p);
            Ref<NSObject> shown;
            if (!r)
                shown = slots_[i].value;
            else if (!r->isToMany() && slots_[i].unresolved)
                shown = NS("<row>");
            else if (!r->isToMany() && slots_[i].value)
                shown = as<NSManagedObject>(slots_[i].value)->objectID();
            else if (r->isToMany())
                shown = NS("<relationship>");
            values->appendFormat(NS("    %@ = %@;\n"), p->name(),
                                 shown ? shown->description() : Ref<NSString>(NS("nil")));
        }
    }
    return NSString::stringWithFormat(NS("<%@: %p> (entity: %@; id: %@; data: {\n%@})"),
                                      className(), static_cast<void*>(this),
                                      entity_ ? entity_->name() : nullptr, objectID_, values);
}

void NSManagedObject::dealloc() {
    slots_.clear();
    NSObject::dealloc();
}
