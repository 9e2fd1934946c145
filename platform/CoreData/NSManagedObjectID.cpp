#include "CoreData/NSManagedObjectID.h"

#include <atomic>

#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSPersistentStoreCoordinator.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"

Ref<NSManagedObjectID> NSManagedObjectID::temporaryID(NSEntityDescription* entity) {
    static std::atomic<int64_t> next{1};
    auto id = make<NSManagedObjectID>();
    id->entity_ = entity;
    id->row_ = next.fetch_add(1);
    id->temporary_ = true;
    return id;
}

Ref<NSManagedObjectID> NSManagedObjectID::permanentID(NSEntityDescription* entity,
                                                      NSPersistentStore* store, int64_t row) {
    auto id = make<NSManagedObjectID>();
    id->entity_ = entity;
    id->store_ = store;
    id->row_ = row;
    id->temporary_ = false;
    return id;
}

Ref<NSURL> NSManagedObjectID::URIRepresentation() {
    auto store = store_.lock();
    auto storeID = store ? store->identifier() : nullptr;
    return NSURL::URLWithString(NSString::stringWithFormat(
        NS("x-coredata://%@/%@/%c%lld"), storeID ? storeID : Ref<NSString>(NS("")),
        entity_ ? entity_->name() : nullptr, temporary_ ? 't' : 'p', static_cast<long long>(row_)));
}

bool NSManagedObjectID::isEqual(NSObject* other) {
    auto* o = dynamic_cast<NSManagedObjectID*>(other);
    if (!o) return false;
    if (o == this) return true;
    return o->temporary_ == temporary_ && o->row_ == row_ && o->entity_.get() == entity_.get() &&
           o->store_.lock().get() == store_.lock().get();
}

NSUInteger NSManagedObjectID::hash() {
    return static_cast<NSUInteger>(static_cast<uint64_t>(row_) * 31u + (temporary_ ? 7u : 0u));
}

Ref<NSString> NSManagedObjectID::description() {
    return NSString::stringWithFormat(NS("%@"), URIRepresentation());
}
