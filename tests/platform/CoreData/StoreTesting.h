// A small model for the store's tests and helpers to open stores in the sandbox and look at
// their files with SQLite directly.
#pragma once

#include <sqlite3.h>

#include <string>

#include "CoreData/CoreData.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSFileManager.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSPathUtilities.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

// Owner: name, rank (default 5), score, active, born, photo; items (cascade), pets (nullify),
// vault (one-to-one, deny). Item: title (mandatory), owner. Pet: name, keeper. Vault: label, owner.
inline Ref<NSManagedObjectModel> makeShopModel(bool extraAttribute = false) {
    auto attr = [](const char* name, NSAttributeType type, NSObject* def = nullptr) {
        return NSAttributeDescription::attributeWithName(NSString::stringWithUTF8String(name), type,
                                                         def);
    };
    auto rel = [](const char* name, const char* dest, bool toMany, const char* inverse,
                  NSDeleteRule rule) {
        return NSRelationshipDescription::relationshipWithName(
            NSString::stringWithUTF8String(name), NSString::stringWithUTF8String(dest), toMany,
            NSString::stringWithUTF8String(inverse), rule);
    };
    auto ownerProps = NSMutableArray::arrayWithObjects(
        {attr("name", NSStringAttributeType),
         attr("rank", NSInteger32AttributeType, NSNumber::numberWithInt(5)),
         attr("score", NSDoubleAttributeType), attr("active", NSBooleanAttributeType),
         attr("born", NSDateAttributeType), attr("photo", NSBinaryDataAttributeType),
         rel("items", "Item", true, "owner", NSCascadeDeleteRule),
         rel("pets", "Pet", true, "keeper", NSNullifyDeleteRule),
         rel("vault", "Vault", false, "owner", NSDenyDeleteRule)});
    if (extraAttribute) ownerProps->addObject(attr("nickname", NSStringAttributeType));
    auto title = attr("title", NSStringAttributeType);
    title->setOptional(false);
    auto model = make<NSManagedObjectModel>();
    model->setEntities(NSArray::arrayWithObjects(
        {NSEntityDescription::entityWithName(NS("Owner"), nullptr, ownerProps),
         NSEntityDescription::entityWithName(
             NS("Item"), nullptr,
             NSArray::arrayWithObjects(
                 {title, rel("owner", "Owner", false, "items", NSNullifyDeleteRule)})),
         NSEntityDescription::entityWithName(
             NS("Pet"), nullptr,
             NSArray::arrayWithObjects(
                 {attr("name", NSStringAttributeType),
                  rel("keeper", "Owner", false, "pets", NSNullifyDeleteRule)})),
         NSEntityDescription::entityWithName(
             NS("Vault"), nullptr,
             NSArray::arrayWithObjects(
                 {attr("label", NSStringAttributeType),
                  rel("owner", "Owner", false, "vault", NSNullifyDeleteRule)}))}));
    return model;
}

// A fresh path in the sandbox's temporary folder.
inline Ref<NSString> freshStorePath(const char* name) {
    static int counter = 0;
    return NSString::stringWithFormat(NS("%@store-%d-%s"), NSTemporaryDirectory(), ++counter, name);
}

struct OpenStore {
    Ref<NSPersistentStoreCoordinator> coordinator;
    Ref<NSManagedObjectContext> context;
    Ref<NSError> error;
};

inline OpenStore openStore(NSString* path, NSManagedObjectModel* model = nullptr) {
    OpenStore s;
    s.coordinator = make<NSPersistentStoreCoordinator>(
        &NSPersistentStoreCoordinator::initWithManagedObjectModel,
        model ? Ref<NSManagedObjectModel>(model) : makeShopModel());
    if (!s.coordinator->addPersistentStoreWithType(NSSQLiteStoreType, nullptr,
                                                   NSURL::fileURLWithPath(path), nullptr, &s.error))
        return s;
    s.context = make<NSManagedObjectContext>();
    s.context->setPersistentStoreCoordinator(s.coordinator);
    return s;
}

inline Ref<NSManagedObject> insert(NSManagedObjectContext* c, const char* entity) {
    return NSEntityDescription::insertNewObjectForEntityForName(
        NSString::stringWithUTF8String(entity), c);
}

inline Ref<NSArray> fetchAll(NSManagedObjectContext* c, const char* entity,
                             NSPredicate* predicate = nullptr, NSArray* sort = nullptr) {
    auto request =
        NSFetchRequest::fetchRequestWithEntityName(NSString::stringWithUTF8String(entity));
    request->setPredicate(predicate);
    request->setSortDescriptors(sort);
    Ref<NSError> error;
    return c->executeFetchRequest(request, &error);
}

// Runs one statement on the file with a connection of its own; returns the first column of
// the first row as an integer (or -1 on error).
inline long long sqlValue(NSString* path, const std::string& sql) {
    sqlite3* db = nullptr;
    long long out = -1;
    if (sqlite3_open_v2(path->UTF8String(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(db, sql.c_str(), -1, &st, nullptr) == SQLITE_OK) {
            int rc = sqlite3_step(st);
            if (rc == SQLITE_ROW)
                out = sqlite3_column_int64(st, 0);
            else if (rc == SQLITE_DONE)
                out = 0;
        }
        sqlite3_finalize(st);
    }
    sqlite3_close(db);
    return out;
}

inline Ref<NSData> fileBytes(NSString* path) {
    return NSData::dataWithContentsOfFile(path);
}
