// The identity of a managed object: its entity and its row in a store, or a temporary identity
// until the object is first saved.
#pragma once

#include <cstdint>

#include "Foundation/NSObject.h"

class NSEntityDescription;
class NSPersistentStore;
class NSURL;

class NSManagedObjectID : public NSObject {
    NS_OBJECT(NSManagedObjectID, NSObject)

    Ref<NSEntityDescription> entity() { return entity_; }
    Ref<NSPersistentStore> persistentStore() { return store_.lock(); }
    bool isTemporaryID() const { return temporary_; }
    // "x-coredata://<store identifier>/<entity>/p<row>"; temporary identities use "t<n>" and
    // no store.
    Ref<NSURL> URIRepresentation();

    bool isEqual(NSObject* other) override;
    NSUInteger hash() override;
    Ref<NSString> description() override;
    Ref<NSObject> copyWithZone() override { return Ref<NSObject>(this); }

    // ---- internal ------------------------------------------------------------------------
    static Ref<NSManagedObjectID> temporaryID(NSEntityDescription* entity);
    static Ref<NSManagedObjectID> permanentID(NSEntityDescription* entity, NSPersistentStore* store,
                                              int64_t row);
    int64_t row() const { return row_; }

private:
    Ref<NSEntityDescription> entity_;
    Weak<NSPersistentStore> store_;
    int64_t row_ = 0;  // the store's primary key, or the temporary number
    bool temporary_ = true;
};
