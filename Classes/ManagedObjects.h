// The app's stored objects: locations (State with its Metro objects), the chosen city's
// categories (Section with its Catagory objects) and favourite listings (FavoriteItem), and the
// model "Noticewall" that describes them.
#pragma once

#include "CoreData/NSManagedObject.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSSet.h"
#include "Foundation/NSString.h"

class NSManagedObjectModel;

// The model's resource name and the store's file name in the documents folder.
extern NSString* const kNoticewallModelName;      // "Noticewall"
extern NSString* const kNoticewallStoreFileName;  // "Noticwall.sqlite"
// What `sortOrder` holds unless set: after the section table's 0 to 6 and after nil.
inline constexpr int kDefaultSortOrder = 100;

// Registers the model's builder under "Noticewall" (and the object classes by name); safe to
// call more than once.
void registerNoticewallModel();
// A fresh copy of the model, without going through the bundle.
Ref<NSManagedObjectModel> makeNoticewallModel();

class Metro;
class Catagory;

class State : public NSManagedObject {
    NS_OBJECT(State, NSManagedObject)
    Ref<NSString> name();
    void setName(NSString* v);
    Ref<NSString> region();
    void setRegion(NSString* v);
    Ref<NSSet> metro();
    void addMetroObject(Metro* m);
    void removeMetroObject(Metro* m);
};

class Metro : public NSManagedObject {
    NS_OBJECT(Metro, NSManagedObject)
    Ref<NSString> name();
    void setName(NSString* v);
    Ref<NSString> url();
    void setUrl(NSString* v);
    Ref<NSNumber> sortOrder();
    void setSortOrder(NSNumber* v);
    Ref<State> state();
    void setState(State* v);
};

class Section : public NSManagedObject {
    NS_OBJECT(Section, NSManagedObject)
    Ref<NSString> name();
    void setName(NSString* v);
    Ref<NSNumber> sortOrder();
    void setSortOrder(NSNumber* v);
    Ref<NSSet> catagories();
    void addCatagoriesObject(Catagory* c);
    void removeCatagoriesObject(Catagory* c);
};

class Catagory : public NSManagedObject {
    NS_OBJECT(Catagory, NSManagedObject)
    Ref<NSString> name();
    void setName(NSString* v);
    Ref<NSString> url();
    void setUrl(NSString* v);
    Ref<NSNumber> sortOrder();
    void setSortOrder(NSNumber* v);
    Ref<Section> section();
    void setSection(Section* v);
};

class FavoriteItem : public NSManagedObject {
    NS_OBJECT(FavoriteItem, NSManagedObject)
#define FAVORITE_ITEM_STRING(getter, setter) \
    Ref<NSString> getter();                  \
    void setter(NSString* v);
    FAVORITE_ITEM_STRING(title, setTitle)
    FAVORITE_ITEM_STRING(time, setTime)
    FAVORITE_ITEM_STRING(detail, setDetail)
    FAVORITE_ITEM_STRING(detailUrl, setDetailUrl)
    FAVORITE_ITEM_STRING(replyUrl, setReplyUrl)
    FAVORITE_ITEM_STRING(adsId, setAdsId)
    FAVORITE_ITEM_STRING(price, setPrice)
    FAVORITE_ITEM_STRING(location, setLocation)
    FAVORITE_ITEM_STRING(email, setEmail)
    FAVORITE_ITEM_STRING(phoneNumber, setPhoneNumber)
    FAVORITE_ITEM_STRING(bodyImageUrl, setBodyImageUrl)
    FAVORITE_ITEM_STRING(imageUrl1, setImageUrl1)
    FAVORITE_ITEM_STRING(imageUrl2, setImageUrl2)
    FAVORITE_ITEM_STRING(imageUrl3, setImageUrl3)
    FAVORITE_ITEM_STRING(imageUrl4, setImageUrl4)
#undef FAVORITE_ITEM_STRING
};
