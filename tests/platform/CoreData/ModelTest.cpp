// Models: relationships resolved by name with checked inverses, frozen once in use, and found
// through a resource file that names a registered model.
#include <gtest/gtest.h>

#include "CoreData/CoreData.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "StoreTesting.h"
#include "support/FoundationTesting.h"

namespace {
Ref<NSEntityDescription> entity(const char* name, std::initializer_list<NSObject*> props) {
    return NSEntityDescription::entityWithName(NSString::stringWithUTF8String(name), nullptr,
                                               NSArray::arrayWithObjects(props));
}
Ref<NSRelationshipDescription> rel(const char* name, const char* dest, bool toMany,
                                   const char* inverse) {
    return NSRelationshipDescription::relationshipWithName(
        NSString::stringWithUTF8String(name), NSString::stringWithUTF8String(dest), toMany,
        inverse ? NSString::stringWithUTF8String(inverse) : nullptr, NSNullifyDeleteRule);
}
}  // namespace

TEST(Model, ResolvesRelationshipsAndTheirInverses) {
    auto model = makeShopModel();
    auto owner = model->entityNamed("Owner");
    auto item = model->entityNamed("Item");
    ASSERT_TRUE(owner && item);
    auto items = owner->relationshipNamed("items");
    EXPECT_TRUE(items->isToMany());
    EXPECT_EQ(items->destinationEntity().get(), item);
    EXPECT_EQ(items->inverseRelationship().get(), item->relationshipNamed("owner"));
    EXPECT_EQ(item->relationshipNamed("owner")->inverseRelationship().get(), items);
    EXPECT_FALSE(item->propertyAt(0)->isOptional());
}

TEST(Model, RefusesRelationshipsItCannotStore) {
    auto model = make<NSManagedObjectModel>();
    // To-many without an inverse, inverse not pointing back, unknown destination, many-to-many.
    EXPECT_EQ(raisedName([&] {
                  model->setEntities(NSArray::arrayWithObjects(
                      {entity("A", {rel("bs", "B", true, nullptr)}), entity("B", {})}));
              }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  model->setEntities(
                      NSArray::arrayWithObjects({entity("A", {rel("b", "B", false, "x")}),
                                                 entity("B", {rel("x", "A", false, "other")})}));
              }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  model->setEntities(
                      NSArray::arrayWithObjects({entity("A", {rel("c", "C", false, nullptr)})}));
              }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  model->setEntities(
                      NSArray::arrayWithObjects({entity("A", {rel("bs", "B", true, "as")}),
                                                 entity("B", {rel("as", "A", true, "bs")})}));
              }),
              "NSInvalidArgumentException");
    // A failed attempt leaves the model as it was.
    EXPECT_EQ(model->entities()->count(), 0u);
    // Columns ignore case, so two properties may not differ only by it.
    EXPECT_EQ(raisedName([&] {
                  entity("A", {NSAttributeDescription::attributeWithName(
                                   NS("url"), NSStringAttributeType, nullptr),
                               NSAttributeDescription::attributeWithName(
                                   NS("URL"), NSStringAttributeType, nullptr)});
              }),
              "NSInvalidArgumentException");
    // Defaults must suit their type; decimals are not stored.
    EXPECT_EQ(raisedName([&] {
                  NSAttributeDescription::attributeWithName(NS("n"), NSInteger32AttributeType,
                                                            NS("five"));
              }),
              "NSInvalidArgumentException");
    EXPECT_EQ(raisedName([&] {
                  NSAttributeDescription::attributeWithName(NS("d"), NSDecimalAttributeType,
                                                            nullptr);
              }),
              "NSInvalidArgumentException");
}

TEST(Model, IsFrozenOnceACoordinatorUsesIt) {
    auto model = makeShopModel();
    auto coordinator = make<NSPersistentStoreCoordinator>(
        &NSPersistentStoreCoordinator::initWithManagedObjectModel, model);
    EXPECT_EQ(raisedName([&] { model->setEntities(nullptr); }), "NSInternalInconsistencyException");
    EXPECT_EQ(raisedName([&] { model->entityNamed("Owner")->setName(NS("Boss")); }),
              "NSInternalInconsistencyException");
    EXPECT_EQ(raisedName([&] { model->entityNamed("Owner")->propertyAt(0)->setOptional(false); }),
              "NSInternalInconsistencyException");
}

TEST(Model, VersionHashFollowsTheStoredLayoutOnly) {
    EXPECT_TRUE(makeShopModel()->versionHash()->isEqualToString(makeShopModel()->versionHash()));
    EXPECT_FALSE(
        makeShopModel()->versionHash()->isEqualToString(makeShopModel(true)->versionHash()));
}

TEST(Model, LoadsTheRegisteredModelThatAResourceFileNames) {
    NSManagedObjectModel::registerModelNamed(NS("Shop"), [] { return makeShopModel(); });
    auto fm = NSFileManager::defaultManager();
    // Named by the file's own name...
    auto plain = NSString::stringWithFormat(NS("%@Shop.mom"), NSTemporaryDirectory());
    ASSERT_TRUE(fm->createFileAtPath(plain, NSData::data(), nullptr));
    auto byName = make<NSManagedObjectModel>(&NSManagedObjectModel::initWithContentsOfURL,
                                             NSURL::fileURLWithPath(plain));
    ASSERT_TRUE(byName);
    EXPECT_TRUE(byName->entityNamed("Vault"));
    // ...or by the name its property list gives.
    auto listed = NSString::stringWithFormat(NS("%@Other.mom"), NSTemporaryDirectory());
    NSDictionary::dictionaryWithObject(NS("Shop"), NS("NSManagedObjectModelName"))
        ->writeToFile(listed, true);
    EXPECT_TRUE(make<NSManagedObjectModel>(&NSManagedObjectModel::initWithContentsOfURL,
                                           NSURL::fileURLWithPath(listed)));
    // A missing file, or a name nobody registered, gives nil.
    EXPECT_FALSE(make<NSManagedObjectModel>(&NSManagedObjectModel::initWithContentsOfURL,
                                            NSURL::fileURLWithPath(NSString::stringWithFormat(
                                                NS("%@Missing.mom"), NSTemporaryDirectory()))));
    auto unknown = NSString::stringWithFormat(NS("%@Unknown.mom"), NSTemporaryDirectory());
    fm->createFileAtPath(unknown, NSData::data(), nullptr);
    EXPECT_FALSE(make<NSManagedObjectModel>(&NSManagedObjectModel::initWithContentsOfURL,
                                            NSURL::fileURLWithPath(unknown)));
}
