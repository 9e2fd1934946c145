#include "ManagedObjects.h"

#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSManagedObjectModel.h"
#include "CoreData/NSPropertyDescription.h"
#include "Foundation/NSArray.h"

NSString* const kNoticewallModelName = NS("Noticewall");
NSString* const kNoticewallStoreFileName = NS("Noticwall.sqlite");

namespace {
Ref<NSAttributeDescription> text(NSString* name) {
    return NSAttributeDescription::attributeWithName(name, NSStringAttributeType, nullptr);
}
Ref<NSAttributeDescription> sortOrder() {
    return NSAttributeDescription::attributeWithName(NS("sortOrder"), NSInteger32AttributeType,
                                                     NSNumber::numberWithInt(kDefaultSortOrder));
}
}  // namespace

Ref<NSManagedObjectModel> makeNoticewallModel() {
    // States and sections own their metros and categories: deleting one deletes them, so a
    // wholesale replacement leaves no rows behind.
    auto state = NSEntityDescription::entityWithName(
        NS("State"), NS("State"),
        NSArray::arrayWithObjects(
            {text(NS("name")), text(NS("region")),
             NSRelationshipDescription::relationshipWithName(NS("metro"), NS("Metro"), true,
                                                             NS("state"), NSCascadeDeleteRule)}));
    auto metro = NSEntityDescription::entityWithName(
        NS("Metro"), NS("Metro"),
        NSArray::arrayWithObjects(
            {text(NS("name")), text(NS("url")), sortOrder(),
             NSRelationshipDescription::relationshipWithName(NS("state"), NS("State"), false,
                                                             NS("metro"), NSNullifyDeleteRule)}));
    auto section = NSEntityDescription::entityWithName(
        NS("Section"), NS("Section"),
        NSArray::arrayWithObjects(
            {text(NS("name")), sortOrder(),
             NSRelationshipDescription::relationshipWithName(NS("catagories"), NS("Catagory"), true,
                                                             NS("section"), NSCascadeDeleteRule)}));
    auto catagory = NSEntityDescription::entityWithName(
        NS("Catagory"), NS("Catagory"),
        NSArray::arrayWithObjects(
            {text(NS("name")), text(NS("url")), sortOrder(),
             NSRelationshipDescription::relationshipWithName(
                 NS("section"), NS("Section"), false, NS("catagories"), NSNullifyDeleteRule)}));
    auto favorite = NSEntityDescription::entityWithName(
        NS("FavoriteItem"), NS("FavoriteItem"),
        NSArray::arrayWithObjects({text(NS("title")), text(NS("time")), text(NS("detail")),
                                   text(NS("detailUrl")), text(NS("replyUrl")), text(NS("adsId")),
                                   text(NS("price")), text(NS("location")), text(NS("email")),
                                   text(NS("phoneNumber")), text(NS("bodyImageUrl")),
                                   text(NS("imageUrl1")), text(NS("imageUrl2")),
                                   text(NS("imageUrl3")), text(NS("imageUrl4"))}));
    auto model = make<NSManagedObjectModel>();
    model->setEntities(NSArray::arrayWithObjects({state, metro, section, catagory, favorite}));
    return model;
}

void registerNoticewallModel() {
    // The store makes objects by class name; the classes must be known before the first fetch.
    State::staticClass();
    Metro::staticClass();
    Section::staticClass();
    Catagory::staticClass();
    FavoriteItem::staticClass();
    NSManagedObjectModel::registerModelNamed(kNoticewallModelName, &makeNoticewallModel);
}

namespace {
template <class T>
Ref<T> valueAs(NSManagedObject* o, NSString* key) {
    return as<T>(o->valueForKey(key));
}
}  // namespace

Ref<NSString> State::name() {
    return valueAs<NSString>(this, NS("name"));
}
void State::setName(NSString* v) {
    setValue(v, NS("name"));
}
Ref<NSString> State::region() {
    return valueAs<NSString>(this, NS("region"));
}
void State::setRegion(NSString* v) {
    setValue(v, NS("region"));
}
Ref<NSSet> State::metro() {
    return valueAs<NSSet>(this, NS("metro"));
}
void State::addMetroObject(Metro* m) {
    addObjectToRelationship(m, NS("metro"));
}
void State::removeMetroObject(Metro* m) {
    removeObjectFromRelationship(m, NS("metro"));
}

Ref<NSString> Metro::name() {
    return valueAs<NSString>(this, NS("name"));
}
void Metro::setName(NSString* v) {
    setValue(v, NS("name"));
}
Ref<NSString> Metro::url() {
    return valueAs<NSString>(this, NS("url"));
}
void Metro::setUrl(NSString* v) {
    setValue(v, NS("url"));
}
Ref<NSNumber> Metro::sortOrder() {
    return valueAs<NSNumber>(this, NS("sortOrder"));
}
void Metro::setSortOrder(NSNumber* v) {
    setValue(v, NS("sortOrder"));
}
Ref<State> Metro::state() {
    return valueAs<State>(this, NS("state"));
}
void Metro::setState(State* v) {
    setValue(v, NS("state"));
}

Ref<NSString> Section::name() {
    return valueAs<NSString>(this, NS("name"));
}
void Section::setName(NSString* v) {
    setValue(v, NS("name"));
}
Ref<NSNumber> Section::sortOrder() {
    return valueAs<NSNumber>(this, NS("sortOrder"));
}
void Section::setSortOrder(NSNumber* v) {
    setValue(v, NS("sortOrder"));
}
Ref<NSSet> Section::catagories() {
    return valueAs<NSSet>(this, NS("catagories"));
}
void Section::addCatagoriesObject(Catagory* c) {
    addObjectToRelationship(c, NS("catagories"));
}
void Section::removeCatagoriesObject(Catagory* c) {
    removeObjectFromRelationship(c, NS("catagories"));
}

Ref<NSString> Catagory::name() {
    return valueAs<NSString>(this, NS("name"));
}
void Catagory::setName(NSString* v) {
    setValue(v, NS("name"));
}
Ref<NSString> Catagory::url() {
    return valueAs<NSString>(this, NS("url"));
}
void Catagory::setUrl(NSString* v) {
    setValue(v, NS("url"));
}
Ref<NSNumber> Catagory::sortOrder() {
    return valueAs<NSNumber>(this, NS("sortOrder"));
}
void Catagory::setSortOrder(NSNumber* v) {
    setValue(v, NS("sortOrder"));
}
Ref<Section> Catagory::section() {
    return valueAs<Section>(this, NS("section"));
}
void Catagory::setSection(Section* v) {
    setValue(v, NS("section"));
}

#define FAVORITE_ITEM_STRING_IMPL(getter, setter, key) \
    Ref<NSString> FavoriteItem::getter() {             \
        return valueAs<NSString>(this, NS(key));       \
    }                                                  \
    void FavoriteItem::setter(NSString* v) {           \
        setValue(v, NS(key));                          \
    }
FAVORITE_ITEM_STRING_IMPL(title, setTitle, "title")
FAVORITE_ITEM_STRING_IMPL(time, setTime, "time")
FAVORITE_ITEM_STRING_IMPL(detail, setDetail, "detail")
FAVORITE_ITEM_STRING_IMPL(detailUrl, setDetailUrl, "detailUrl")
FAVORITE_ITEM_STRING_IMPL(replyUrl, setReplyUrl, "replyUrl")
FAVORITE_ITEM_STRING_IMPL(adsId, setAdsId, "adsId")
FAVORITE_ITEM_STRING_IMPL(price, setPrice, "price")
FAVORITE_ITEM_STRING_IMPL(location, setLocation, "location")
FAVORITE_ITEM_STRING_IMPL(email, setEmail, "email")
FAVORITE_ITEM_STRING_IMPL(phoneNumber, setPhoneNumber, "phoneNumber")
FAVORITE_ITEM_STRING_IMPL(bodyImageUrl, setBodyImageUrl, "bodyImageUrl")
FAVORITE_ITEM_STRING_IMPL(imageUrl1, setImageUrl1, "imageUrl1")
FAVORITE_ITEM_STRING_IMPL(imageUrl2, setImageUrl2, "imageUrl2")
FAVORITE_ITEM_STRING_IMPL(imageUrl3, setImageUrl3, "imageUrl3")
FAVORITE_ITEM_STRING_IMPL(imageUrl4, setImageUrl4, "imageUrl4")
#undef FAVORITE_ITEM_STRING_IMPL
