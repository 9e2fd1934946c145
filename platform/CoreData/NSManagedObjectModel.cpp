#include "CoreData/NSManagedObjectModel.h"

#include <cinttypes>
#include <cstdio>
#include <mutex>

#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSPropertyDescription.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSPropertyList.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

namespace {
std::mutex& registryLock() {
    static std::mutex m;
    return m;
}
std::unordered_map<std::string, NSManagedObjectModel::Builder>& registry() {
    static auto* r = new std::unordered_map<std::string, NSManagedObjectModel::Builder>();
    return *r;
}
}  // namespace

void NSManagedObjectModel::registerModelNamed(NSString* name, Builder builder) {
    std::lock_guard<std::mutex> g(registryLock());
    registry()[name->utf8()] = std::move(builder);
}

bool NSManagedObjectModel::isModelRegistered(NSString* name) {
    std::lock_guard<std::mutex> g(registryLock());
    return name && registry().count(name->utf8()) != 0;
}

bool NSManagedObjectModel::initWithContentsOfURL(NSURL* url) {
    if (!url || !url->isFileURL()) return false;
    auto path = url->path();
    auto data = NSData::dataWithContentsOfFile(path);
    if (!data) return false;
    Ref<NSString> name;
    if (auto plist = as<NSDictionary>(
            NSPropertyListSerialization::propertyListWithData(data, 0, nullptr, nullptr)))
        name = as<NSString>(plist->objectForKey(NS("NSManagedObjectModelName")));
    if (!name) name = path->lastPathComponent()->stringByDeletingPathExtension();
    Builder builder;
    {
        std::lock_guard<std::mutex> g(registryLock());
        auto it = registry().find(name->utf8());
        if (it == registry().end()) return false;
        builder = it->second;
    }
    Ref<NSManagedObjectModel> built = builder ? builder() : nullptr;
    if (!built) return false;
    setEntities(built->entities());
    return true;
}

Ref<NSArray> NSManagedObjectModel::entities() {
    return NSArray::arrayWithVector(entities_);
}

Ref<NSDictionary> NSManagedObjectModel::entitiesByName() {
    auto d = NSMutableDictionary::dictionary();
    for (auto& e : entities_)
        d->setObject(e, e->name());
    return d;
}

NSEntityDescription* NSManagedObjectModel::entityNamed(const std::string& name) {
    auto it = byName_.find(name);
    return it == byName_.end() ? nullptr : it->second;
}

void NSManagedObjectModel::setEntities(NSArray* entities) {
    if (frozen_)
        NSException::raise(NSInternalInconsistencyException,
                           NS("Can't modify an immutable model."));
    std::vector<Ref<NSEntityDescription>> list;
    std::unordered_map<std::string, NSEntityDescription*> byName;
    if (entities) {
        for (NSObject* o : *entities) {
            auto e = as<NSEntityDescription>(o);
            if (!e || !e->name() || e->name()->length() == 0)
                NSException::raise(NSInvalidArgumentException,
                                   NS("A model takes only named entity descriptions"));
            if (!byName.emplace(e->name()->utf8(), e.get()).second)
                NSException::raise(NSInvalidArgumentException,
                                   NS("The model has two entities named %@"), e->name());
            list.push_back(e);
        }
    }
    // Resolve every relationship before taking the entities, so a bad model changes nothing.
    struct Link {
        NSRelationshipDescription* rel;
        NSEntityDescription* dest;
        NSRelationshipDescription* inverse;
    };
    std::vector<Link> links;
    for (auto& e : list) {
        for (NSUInteger i = 0; i < e->propertyCount(); ++i) {
            auto* r = dynamic_cast<NSRelationshipDescription*>(e->propertyAt(i));
            if (!r) continue;
            auto destName = r->destinationEntityName();
            auto it = destName ? byName.find(destName->utf8()) : byName.end();
            if (it == byName.end())
                NSException::raise(NSInvalidArgumentException,
                                   NS("Relationship %@ of %@ has no destination entity in the "
                                      "model (%@)"),
                                   r->name(), e->name(), destName);
            NSEntityDescription* dest = it->second;
            NSRelationshipDescription* inverse = nullptr;
            if (auto invName = r->inverseName()) {
                inverse = dest->relationshipNamed(invName->utf8());
                if (!inverse || !inverse->destinationEntityName() ||
                    !inverse->destinationEntityName()->isEqualToString(e->name()) ||
                    (inverse->inverseName() && !inverse->inverseName()->isEqualToString(r->name())))
                    NSException::raise(NSInvalidArgumentException,
                                       NS("Relationship %@ of %@ names the inverse %@, which "
                                          "does not point back"),
                                       r->name(), e->name(), invName);
            }
            // A to-many relationship lives in its inverse's column; many-to-many is not stored.
            if (r->isToMany() && (!inverse || inverse->isToMany()))
                NSException::raise(NSInvalidArgumentException,
                                   NS("To-many relationship %@ of %@ needs a to-one inverse"),
                                   r->name(), e->name());
            links.push_back({r, dest, inverse});
        }
    }
    for (auto& l : links) {
        l.rel->setDestinationEntity(l.dest);
        l.rel->setInverseRelationship(l.inverse);
    }
    for (auto& e : entities_)
        e->attachToModel(nullptr);
    entities_ = std::move(list);
    byName_ = std::move(byName);
    for (auto& e : entities_)
        e->attachToModel(this);
}

Ref<NSString> NSManagedObjectModel::versionHash() {
    // FNV-1a over a canonical text of what decides the store's layout.
    std::string text;
    for (auto& e : entities_) {
        text += "E:" + e->name()->utf8() + ";";
        for (NSUInteger i = 0; i < e->propertyCount(); ++i) {
            NSPropertyDescription* p = e->propertyAt(i);
            text += "P:" + p->name()->utf8();
            if (auto* a = dynamic_cast<NSAttributeDescription*>(p)) {
                text += ":A" + std::to_string(a->attributeType());
            } else if (auto* r = dynamic_cast<NSRelationshipDescription*>(p)) {
                auto dest = r->destinationEntityName();
                auto inv = r->inverseName();
                text += ":R" + (dest ? dest->utf8() : std::string()) + ":" +
                        (r->isToMany() ? "*" : "1") + ":" + (inv ? inv->utf8() : std::string());
            }
            text += ";";
        }
    }
    uint64_t h = 1469598103934665603ull;
    for (unsigned char c : text) {
        h ^= c;
        h *= 1099511628211ull;
    }
    char buf[17];
    std::snprintf(buf, sizeof buf, "%016" PRIx64, h);
    return NSString::stringWithUTF8String(buf);
}

Ref<NSString> NSManagedObjectModel::description() {
    return NSString::stringWithFormat(NS("(NSManagedObjectModel) entities %@"), entities());
}
