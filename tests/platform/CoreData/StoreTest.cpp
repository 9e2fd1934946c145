// Contexts over a SQLite store: values round-trip, one object per row, relationship sides kept
// in step, delete rules, saves that are all or nothing, and files that are not our store left
// untouched.
#include <gtest/gtest.h>

#include "CoreData/CoreData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNotification.h"
#include "Foundation/NSSet.h"
#include "StoreTesting.h"
#include "support/FoundationTesting.h"

namespace {
Ref<NSManagedObject> owner(NSManagedObjectContext* c, const char* name) {
    auto o = insert(c, "Owner");
    o->setValue(str(name), NS("name"));
    return o;
}
Ref<NSManagedObject> item(NSManagedObjectContext* c, const char* title, NSManagedObject* by) {
    auto i = insert(c, "Item");
    i->setValue(str(title), NS("title"));
    i->setValue(by, NS("owner"));
    return i;
}
Ref<NSArray> byName() {
    return NSArray::arrayWithObject(NSSortDescriptor::sortDescriptorWithKey(NS("name"), true));
}
Ref<NSPredicate> named(const char* name) {
    return NSPredicate::predicateWithFormat(NS("name == %@"), str(name));
}
bool save(NSManagedObjectContext* c) {
    Ref<NSError> error;
    bool ok = c->save(&error);
    EXPECT_TRUE(ok) << text(error);
    return ok;
}
}  // namespace

TEST(Store, ValuesSurviveAReopenWithTheirTypes) {
    auto path = freshStorePath("values.sqlite");
    {
        auto s = openStore(path);
        ASSERT_TRUE(s.context) << text(s.error);
        auto o = owner(s.context, "Zo\u00eb \U0001F600");
        EXPECT_EQ(text(o->valueForKey(NS("rank"))), "5");  // the model's default
        o->setValue(NSNumber::numberWithDouble(2.5), NS("score"));
        o->setValue(NSNumber::numberWithBool(true), NS("active"));
        o->setValue(NSDate::dateWithTimeIntervalSinceReferenceDate(123456.25), NS("born"));
        o->setValue(NSData::dataWithBytes("\0\1\2", 3), NS("photo"));
        o->setValue(NSNumber::numberWithLongLong(70000), NS("rank"));
        EXPECT_TRUE(o->isInserted() && o->objectID()->isTemporaryID());
        ASSERT_TRUE(save(s.context));
        EXPECT_FALSE(o->isInserted() || o->objectID()->isTemporaryID() || s.context->hasChanges());
    }
    auto s = openStore(path);
    auto all = fetchAll(s.context, "Owner");
    ASSERT_EQ(all->count(), 1u);
    auto o = cast<NSManagedObject>(all->objectAtIndex(0));
    EXPECT_EQ(as<NSString>(o->valueForKey(NS("name")))->utf8(), "Zo\u00eb \U0001F600");
    EXPECT_EQ(as<NSNumber>(o->valueForKey(NS("rank")))->longLongValue(), 70000);
    EXPECT_EQ(as<NSNumber>(o->valueForKey(NS("score")))->doubleValue(), 2.5);
    EXPECT_TRUE(as<NSNumber>(o->valueForKey(NS("active")))->boolValue());
    EXPECT_EQ(as<NSDate>(o->valueForKey(NS("born")))->timeIntervalSinceReferenceDate(), 123456.25);
    EXPECT_EQ(as<NSData>(o->valueForKey(NS("photo")))->length(), 3u);
    // Wrong kinds of values and unknown keys are refused.
    EXPECT_EQ(raisedName([&] { o->setValue(NS("high"), NS("rank")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] { o->valueForKey(NS("nope")); }), "NSUnknownKeyException");
}

TEST(Store, OneObjectPerRowInAContext) {
    auto path = freshStorePath("identity.sqlite");
    {
        auto s = openStore(path);
        auto ann = owner(s.context, "Ann");
        item(s.context, "lamp", ann);
        item(s.context, "desk", ann);
        save(s.context);
    }
    auto s = openStore(path);
    auto first = fetchAll(s.context, "Owner");
    auto again = fetchAll(s.context, "Owner", named("Ann"));
    ASSERT_EQ(first->count(), 1u);
    EXPECT_EQ(first->objectAtIndex(0).get(), again->objectAtIndex(0).get());
    // Reaching a row through a relationship gives the very same object as a fetch.
    auto items = fetchAll(s.context, "Item");
    ASSERT_EQ(items->count(), 2u);
    for (NSObject* i : *items)
        EXPECT_EQ(i->valueForKey(NS("owner")).get(), first->objectAtIndex(0).get());
    auto set = as<NSSet>(first->objectAtIndex(0)->valueForKey(NS("items")));
    for (NSObject* i : *items)
        EXPECT_TRUE(set->containsObject(i));
    EXPECT_EQ(
        s.context->objectRegisteredForID(cast<NSManagedObject>(items->objectAtIndex(0))->objectID())
            .get(),
        items->objectAtIndex(0).get());
    // Another context has its own objects for the same rows.
    auto other = make<NSManagedObjectContext>();
    other->setPersistentStoreCoordinator(s.coordinator);
    EXPECT_NE(fetchAll(other, "Owner")->objectAtIndex(0).get(), first->objectAtIndex(0).get());
}

TEST(Store, EitherSideOfARelationshipMovesTheOther) {
    auto s = openStore(freshStorePath("inverse.sqlite"));
    auto ann = owner(s.context, "Ann");
    auto bob = owner(s.context, "Bob");
    auto lamp = item(s.context, "lamp", ann);
    EXPECT_TRUE(as<NSSet>(ann->valueForKey(NS("items")))->containsObject(lamp));
    // Through the to-many set, as the generated add/remove operations do.
    bob->mutableSetValueForKey(NS("items"))->addObject(lamp);
    EXPECT_EQ(lamp->valueForKey(NS("owner")).get(), bob.get());
    EXPECT_EQ(as<NSSet>(ann->valueForKey(NS("items")))->count(), 0u);
    bob->removeObjectFromRelationship(lamp, NS("items"));
    EXPECT_FALSE(lamp->valueForKey(NS("owner")));
    ann->addObjectToRelationship(lamp, NS("items"));
    save(s.context);
    // One-to-one: taking a vault from its owner clears the old owner's side.
    auto vault = insert(s.context, "Vault");
    vault->setValue(ann, NS("owner"));
    EXPECT_EQ(ann->valueForKey(NS("vault")).get(), vault.get());
    bob->setValue(vault, NS("vault"));
    EXPECT_FALSE(ann->valueForKey(NS("vault")));
    EXPECT_EQ(vault->valueForKey(NS("owner")).get(), bob.get());
    // Only objects of the destination entity may be related.
    EXPECT_EQ(raisedName([&] { lamp->setValue(vault, NS("owner")); }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  ann->mutableSetValueForKey(NS("items"))->addObject(vault);
                  ann->valueForKey(NS("items"));
              }),
              "NSInvalidArgumentException");
    EXPECT_FALSE(as<NSSet>(ann->valueForKey(NS("items")))->containsObject(vault));
    save(s.context);
    auto reopened = openStore(s.coordinator->store()->URL()->path());
    auto owners = fetchAll(reopened.context, "Owner", nullptr, byName());
    EXPECT_EQ(as<NSSet>(owners->objectAtIndex(0)->valueForKey(NS("items")))->count(), 1u);
    EXPECT_TRUE(owners->objectAtIndex(1)->valueForKey(NS("vault")));
}

TEST(Store, FetchesSeeTheContextsUnsavedChanges) {
    auto s = openStore(freshStorePath("pending.sqlite"));
    owner(s.context, "Ann");
    auto bob = owner(s.context, "Bob");
    save(s.context);
    owner(s.context, "Cid");               // inserted, not saved
    bob->setValue(NS("Ann"), NS("name"));  // changed, not saved
    auto anns = fetchAll(s.context, "Owner", named("Ann"));
    EXPECT_EQ(anns->count(), 2u);
    EXPECT_EQ(fetchAll(s.context, "Owner", named("Bob"))->count(), 0u);
    EXPECT_EQ(fetchAll(s.context, "Owner", named("Cid"))->count(), 1u);
    s.context->deleteObject(bob);
    EXPECT_EQ(fetchAll(s.context, "Owner", named("Ann"))->count(), 1u);
    // Relationship predicates, by object or nil; limits apply after sorting.
    auto ann = cast<NSManagedObject>(fetchAll(s.context, "Owner", named("Ann"))->objectAtIndex(0));
    item(s.context, "lamp", ann);
    item(s.context, "rug", nullptr);
    EXPECT_EQ(fetchAll(s.context, "Item", NSPredicate::predicateWithFormat(NS("owner == %@"), ann))
                  ->count(),
              1u);
    EXPECT_EQ(
        fetchAll(s.context, "Item", NSPredicate::predicateWithFormat(NS("owner == nil")))->count(),
        1u);
    auto request = NSFetchRequest::fetchRequestWithEntityName(NS("Owner"));
    request->setSortDescriptors(byName());
    request->setFetchLimit(1);
    request->setFetchOffset(1);
    Ref<NSError> error;
    auto page = s.context->executeFetchRequest(request, &error);
    ASSERT_EQ(page->count(), 1u);
    EXPECT_EQ(text(page->objectAtIndex(0)->valueForKey(NS("name"))), "Cid");
    EXPECT_EQ(raisedName([&] {
                  fetchAll(s.context, "Owner", NSPredicate::predicateWithFormat(NS("colour == 1")));
              }),
              "NSInvalidArgumentException");
}

TEST(Store, CascadeDeletesLeaveNoOrphanRows) {
    auto path = freshStorePath("cascade.sqlite");
    auto s = openStore(path);
    auto ann = owner(s.context, "Ann");
    for (const char* t : {"a", "b", "c"})
        item(s.context, t, ann);
    auto rex = insert(s.context, "Pet");
    rex->setValue(ann, NS("keeper"));
    save(s.context);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM"), 3);
    // Read back cold, so the cascade has to load the rows itself.
    auto fresh = openStore(path);
    auto stored = cast<NSManagedObject>(fetchAll(fresh.context, "Owner")->objectAtIndex(0));
    fresh.context->deleteObject(stored);
    EXPECT_EQ(fresh.context->deletedObjects()->count(), 4u);  // the owner and its three items
    save(fresh.context);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM"), 0);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZOWNER"), 0);
    // The pet stays, no longer kept by anyone (nullify).
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZPET WHERE ZKEEPER IS NULL"), 1);
}

TEST(Store, DenyKeepsTheObjectUntilTheLinkIsGone) {
    auto s = openStore(freshStorePath("deny.sqlite"));
    auto ann = owner(s.context, "Ann");
    auto vault = insert(s.context, "Vault");
    ann->setValue(vault, NS("vault"));
    save(s.context);
    s.context->deleteObject(ann);
    Ref<NSError> error;
    EXPECT_FALSE(s.context->save(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSValidationRelationshipDeniedDeleteError);
    s.context->deleteObject(vault);
    EXPECT_TRUE(save(s.context));
    EXPECT_EQ(fetchAll(s.context, "Owner")->count(), 0u);
}

TEST(Store, AnUnsavedObjectDeletedIsSimplyForgotten) {
    auto s = openStore(freshStorePath("forget.sqlite"));
    auto ann = owner(s.context, "Ann");
    auto lamp = item(s.context, "lamp", ann);
    EXPECT_TRUE(s.context->hasChanges());
    s.context->deleteObject(ann);  // cascades to the lamp
    EXPECT_FALSE(s.context->hasChanges());
    EXPECT_FALSE(ann->managedObjectContext() || lamp->managedObjectContext());
    EXPECT_EQ(fetchAll(s.context, "Item")->count(), 0u);
}

TEST(Store, AFailedSaveWritesNothingAndKeepsTheChanges) {
    auto path = freshStorePath("atomic.sqlite");
    auto s = openStore(path);
    auto ann = owner(s.context, "Ann");
    item(s.context, "old", ann);
    save(s.context);
    auto before = sqlValue(path, "SELECT count(*) FROM ZITEM");
    // A mandatory value missing stops the save before the store is touched.
    auto blank = insert(s.context, "Item");
    Ref<NSError> error;
    EXPECT_FALSE(s.context->save(&error));
    EXPECT_EQ(error->code(), NSValidationMissingMandatoryPropertyError);
    s.context->deleteObject(blank);
    // The store refusing the third new row undoes the first two and the delete.
    ASSERT_EQ(sqlValue(path,
                       "CREATE TRIGGER refuse BEFORE INSERT ON ZITEM WHEN NEW.ZTITLE = 'bad' "
                       "BEGIN SELECT RAISE(ABORT, 'refused'); END"),
              0);
    s.context->deleteObject(cast<NSManagedObject>(fetchAll(s.context, "Item")->objectAtIndex(0)));
    item(s.context, "one", ann);
    item(s.context, "two", ann);
    auto bad = item(s.context, "bad", ann);
    error = nullptr;
    EXPECT_FALSE(s.context->save(&error));
    ASSERT_TRUE(error);
    EXPECT_EQ(error->code(), NSPersistentStoreSaveError);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM"), before);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM WHERE ZTITLE = 'old'"), 1);
    EXPECT_TRUE(s.context->hasChanges());
    EXPECT_TRUE(bad->objectID()->isTemporaryID());
    // Once the cause is gone the same changes save whole.
    bad->setValue(NS("good"), NS("title"));
    EXPECT_TRUE(save(s.context));
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM"), 3);
    EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM ZITEM WHERE ZOWNER IS NULL"), 0);
}

TEST(Store, FilesThatAreNotOurStoreAreRefusedAndLeftAlone) {
    auto fm = NSFileManager::defaultManager();
    auto expectRefused = [&](NSString* path, NSInteger code) {
        auto bytes = fileBytes(path);
        auto s = openStore(path);
        EXPECT_FALSE(s.context);
        ASSERT_TRUE(s.error);
        EXPECT_EQ(s.error->code(), code) << text(s.error);
        EXPECT_TRUE(s.error->userInfo()->objectForKey(NSFilePathErrorKey));
        EXPECT_TRUE(fileBytes(path)->isEqual(bytes)) << "the file was changed";
        EXPECT_FALSE(fm->fileExistsAtPath(NSString::stringWithFormat(NS("%@-journal"), path)));
    };
    // Not a database at all.
    auto junk = freshStorePath("junk.sqlite");
    std::string noise(8192, '\x5a');
    fm->createFileAtPath(junk, NSData::dataWithBytes(noise.data(), noise.size()), nullptr);
    expectRefused(junk, NSFileReadCorruptFileError);
    // A store whose pages were overwritten after its header.
    auto damaged = freshStorePath("damaged.sqlite");
    {
        auto s = openStore(damaged);
        for (int i = 0; i < 200; ++i)
            owner(s.context, "someone with a fairly long name");
        save(s.context);
    }
    auto bytes = NSMutableData::dataWithData(fileBytes(damaged));
    ASSERT_GT(bytes->length(), 4096u);
    memset(static_cast<char*>(bytes->mutableBytes()) + 100, 0xEE, bytes->length() - 100);
    bytes->writeToFile(damaged, false);
    expectRefused(damaged, NSFileReadCorruptFileError);
    // Another program's database, with its data intact afterwards.
    auto foreign = freshStorePath("foreign.sqlite");
    sqlValue(foreign, "SELECT 1");
    {
        sqlite3* db = nullptr;
        sqlite3_open(foreign->UTF8String(), &db);
        sqlite3_exec(db, "CREATE TABLE notes (body TEXT); INSERT INTO notes VALUES ('keep me')",
                     nullptr, nullptr, nullptr);
        sqlite3_close(db);
    }
    expectRefused(foreign, NSPersistentStoreIncompatibleSchemaError);
    EXPECT_EQ(sqlValue(foreign, "SELECT count(*) FROM notes"), 1);
    // Our store, made for another model.
    auto older = freshStorePath("older.sqlite");
    openStore(older);
    auto s = openStore(older, makeShopModel(true));
    ASSERT_TRUE(s.error);
    EXPECT_EQ(s.error->code(), NSPersistentStoreIncompatibleVersionHashError);
    EXPECT_TRUE(openStore(older).context);
}

TEST(Store, CoordinatorRefusesWhatItCannotOpen) {
    auto coordinator = make<NSPersistentStoreCoordinator>(
        &NSPersistentStoreCoordinator::initWithManagedObjectModel, makeShopModel());
    Ref<NSError> error;
    EXPECT_FALSE(coordinator->addPersistentStoreWithType(NSBinaryStoreType, nullptr, nullptr,
                                                         nullptr, &error));
    EXPECT_EQ(error->code(), NSPersistentStoreInvalidTypeError);
    EXPECT_FALSE(coordinator->addPersistentStoreWithType(
        NSSQLiteStoreType, nullptr, NSURL::URLWithString(NS("http://example.com/x")), nullptr,
        &error));
    EXPECT_EQ(error->code(), NSPersistentStoreOpenError);
    EXPECT_FALSE(coordinator->addPersistentStoreWithType(
        NSSQLiteStoreType, nullptr,
        NSURL::fileURLWithPath(NS("/nonexistent-folder/sub/store.sqlite")), nullptr, &error));
    EXPECT_EQ(error->code(), NSPersistentStoreOpenError);
    // An in-memory store works like a file one.
    ASSERT_TRUE(coordinator->addPersistentStoreWithType(NSInMemoryStoreType, nullptr, nullptr,
                                                        nullptr, &error));
    auto context = make<NSManagedObjectContext>();
    context->setPersistentStoreCoordinator(coordinator);
    owner(context, "Ann");
    EXPECT_TRUE(save(context));
    EXPECT_EQ(fetchAll(context, "Owner")->count(), 1u);
}

TEST(Store, ASetKeptByTheCallerStaysLive) {
    auto s = openStore(freshStorePath("live.sqlite"));
    auto ann = owner(s.context, "Ann");
    auto pets = ann->mutableSetValueForKey(NS("pets"));
    save(s.context);
    // Long after it was handed out, changes to the set still reach the pets.
    owner(s.context, "Bob");
    auto rex = insert(s.context, "Pet");
    pets->addObject(rex);
    EXPECT_EQ(rex->valueForKey(NS("keeper")).get(), ann.get());
    save(s.context);
    pets->removeAllObjects();
    EXPECT_TRUE(s.context->hasChanges());
    EXPECT_FALSE(rex->valueForKey(NS("keeper")));
}

TEST(Store, SavingGivesNewObjectsTheirRowsAndTellsObservers) {
    auto s = openStore(freshStorePath("ids.sqlite"));
    auto ann = owner(s.context, "Ann");
    auto gone = owner(s.context, "Gone");
    save(s.context);
    auto annID = ann->objectID();
    EXPECT_FALSE(annID->isTemporaryID());
    EXPECT_EQ(s.context->objectRegisteredForID(annID).get(), ann.get());
    Ref<NSDictionary> info;
    auto center = NSNotificationCenter::defaultCenter();
    auto observer = center->addObserverForName(NSManagedObjectContextDidSaveNotification, s.context,
                                               [&](NSNotification* n) { info = n->userInfo(); });
    auto goneID = gone->objectID();
    s.context->deleteObject(gone);
    ann->setValue(NS("Anna"), NS("name"));
    auto cid = owner(s.context, "Cid");
    save(s.context);
    center->removeObserver(observer);
    ASSERT_TRUE(info);
    EXPECT_TRUE(as<NSSet>(info->objectForKey(NSInsertedObjectsKey))->containsObject(cid));
    EXPECT_TRUE(as<NSSet>(info->objectForKey(NSUpdatedObjectsKey))->containsObject(ann));
    EXPECT_TRUE(as<NSSet>(info->objectForKey(NSDeletedObjectsKey))->containsObject(gone));
    // A deleted row is gone for good; its object left the context.
    EXPECT_FALSE(gone->managedObjectContext());
    Ref<NSError> error;
    EXPECT_FALSE(s.context->existingObjectWithID(goneID, &error));
    EXPECT_TRUE(error);
    // Keys are never handed out twice, even after the newest row was deleted.
    auto cidRow = cid->objectID()->row();
    s.context->deleteObject(cid);
    save(s.context);
    auto dan = owner(s.context, "Dan");
    save(s.context);
    EXPECT_GT(dan->objectID()->row(), cidRow);
}
