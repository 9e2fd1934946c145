#include "CoreData/NSEntityDescription.h"

#include <algorithm>
#include <cctype>

#include "CoreData/NSManagedObject.h"
#include "CoreData/NSManagedObjectContext.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "CoreData/NSPropertyDescription.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {
std::string lowered(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}
}  // namespace

Ref<NSEntityDescription> NSEntityDescription::entityWithName(NSString* name, NSString* className,
                                                             NSArray* properties) {
    auto e = make<NSEntityDescription>();
    e->setName(name);
    e->setManagedObjectClassName(className);
    e->setProperties(properties);
    return e;
}

Ref<NSEntityDescription> NSEntityDescription::entityForName(NSString* entityName,
                                                            NSManagedObjectContext* context) {
    if (!context)
        NSException::raise(NSInvalidArgumentException,
                           NS("+entityForName: nil is not a legal NSManagedObjectContext parameter "
                              "searching for entity name '%@'"),
                           entityName);
    auto coordinator = context->persistentStoreCoordinator();
    if (!coordinator)
        NSException::raise(NSInternalInconsistencyException,
                           NS("+entityForName: could not locate an NSManagedObjectModel for "
                              "entity name '%@'"),
                           entityName);
    if (!entityName) return nullptr;
    return Ref<NSEntityDescription>(
        coordinator->managedObjectModel()->entityNamed(entityName->utf8()));
}

Ref<NSManagedObject> NSEntityDescription::insertNewObjectForEntityForName(
    NSString* entityName, NSManagedObjectContext* context) {
    auto entity = entityForName(entityName, context);
    if (!entity)
        NSException::raise(NSInternalInconsistencyException,
                           NS("+entityForName: could not locate an entity named '%@' in this "
                              "model."),
                           entityName);
    auto object = entity->instantiate();
    object->initWithEntity(entity, context);
    return object;
}

bool NSEntityDescription::isFrozen() {
    auto m = model_.lock();
    return m && m->isFrozen();
}

void NSEntityDescription::checkEditable() {
    if (isFrozen())
        NSException::raise(NSInternalInconsistencyException,
                           NS("Can't modify an immutable model."));
}

void NSEntityDescription::setName(NSString* name) {
    checkEditable();
    name_ = name ? name->copy() : nullptr;
}

Ref<NSString> NSEntityDescription::managedObjectClassName() {
    return className_ ? className_ : Ref<NSString>(NS("NSManagedObject"));
}

void NSEntityDescription::setManagedObjectClassName(NSString* name) {
    checkEditable();
    className_ = name ? name->copy() : nullptr;
}

Ref<NSArray> NSEntityDescription::properties() {
    return NSArray::arrayWithVector(properties_);
}

void NSEntityDescription::setProperties(NSArray* properties) {
    checkEditable();
    std::vector<Ref<NSPropertyDescription>> list;
    std::unordered_map<std::string, size_t> index;
    std::unordered_map<std::string, bool> folded;
    if (properties) {
        for (NSObject* o : *properties) {
            auto p = as<NSPropertyDescription>(o);
            if (!p || !p->name() || p->name()->length() == 0)
                NSException::raise(NSInvalidArgumentException,
                                   NS("Entity %@ takes only named property descriptions"), name_);
            std::string n = p->name()->utf8();
            // Each property names a column of the entity's table, and column names ignore case.
            if (!folded.emplace(lowered(n), true).second)
                NSException::raise(NSInvalidArgumentException,
                                   NS("Entity %@ has two properties named like %@"), name_,
                                   p->name());
            index.emplace(n, list.size());
            list.push_back(p);
        }
    }
    for (auto& p : properties_)
        p->attachToEntity(nullptr, 0);
    properties_ = std::move(list);
    index_ = std::move(index);
    for (size_t i = 0; i < properties_.size(); ++i)
        properties_[i]->attachToEntity(this, static_cast<NSUInteger>(i));
}

Ref<NSDictionary> NSEntityDescription::propertiesByName() {
    auto d = NSMutableDictionary::dictionary();
    for (auto& p : properties_)
        d->setObject(p, p->name());
    return d;
}

Ref<NSDictionary> NSEntityDescription::attributesByName() {
    auto d = NSMutableDictionary::dictionary();
    for (auto& p : properties_)
        if (is<NSAttributeDescription>(p)) d->setObject(p, p->name());
    return d;
}

Ref<NSDictionary> NSEntityDescription::relationshipsByName() {
    auto d = NSMutableDictionary::dictionary();
    for (auto& p : properties_)
        if (is<NSRelationshipDescription>(p)) d->setObject(p, p->name());
    return d;
}

long NSEntityDescription::indexOfProperty(const std::string& name) {
    auto it = index_.find(name);
    return it == index_.end() ? -1 : static_cast<long>(it->second);
}

NSAttributeDescription* NSEntityDescription::attributeNamed(const std::string& name) {
    long i = indexOfProperty(name);
    return i < 0 ? nullptr : dynamic_cast<NSAttributeDescription*>(properties_[i].get());
}

NSRelationshipDescription* NSEntityDescription::relationshipNamed(const std::string& name) {
    long i = indexOfProperty(name);
    return i < 0 ? nullptr : dynamic_cast<NSRelationshipDescription*>(properties_[i].get());
}

Ref<NSManagedObject> NSEntityDescription::instantiate() {
    if (className_) {
        if (Class cls = classNamed(className_->utf8());
            cls && cls->isSubclassOfClass(NSManagedObject::staticClass())) {
            if (auto o = as<NSManagedObject>(cls->createInstance())) return o;
        }
    }
    return alloc<NSManagedObject>();
}

void NSEntityDescription::attachToModel(NSManagedObjectModel* model) {
    model_ = model;
}

Ref<NSString> NSEntityDescription::description() {
    return NSString::stringWithFormat(NS("(NSEntityDescription) name %@, managedObjectClassName "
                                         "%@, properties %@"),
                                      name_, managedObjectClassName(), properties());
}
