// A question to a context: the objects of an entity, filtered by a predicate, in the order of
// sort descriptors.
#pragma once

#include "CoreData/NSPredicate.h"
#include "Foundation/NSObject.h"

class NSArray;
class NSEntityDescription;
class NSPredicate;
class NSString;

class NSFetchRequest : public NSObject {
    NS_OBJECT(NSFetchRequest, NSObject)

    // A request for the named entity, looked up in the context's model when it runs.
    static Ref<NSFetchRequest> fetchRequestWithEntityName(NSString* entityName);
    bool initWithEntityName(NSString* entityName);

    Ref<NSEntityDescription> entity() { return entity_; }
    void setEntity(NSEntityDescription* entity);
    // The entity's name, or the name given at creation.
    Ref<NSString> entityName();

    Ref<NSPredicate> predicate() { return predicate_; }
    void setPredicate(NSPredicate* predicate) { predicate_ = predicate; }
    Ref<NSArray> sortDescriptors() { return sortDescriptors_; }
    void setSortDescriptors(NSArray* descriptors);
    // At most this many objects (0: no limit), after the first fetchOffset ones.
    NSUInteger fetchLimit() { return fetchLimit_; }
    void setFetchLimit(NSUInteger limit) { fetchLimit_ = limit; }
    NSUInteger fetchOffset() { return fetchOffset_; }
    void setFetchOffset(NSUInteger offset) { fetchOffset_ = offset; }

    Ref<NSString> description() override;

private:
    Ref<NSEntityDescription> entity_;
    Ref<NSString> entityName_;
    Ref<NSPredicate> predicate_;
    Ref<NSArray> sortDescriptors_;
    NSUInteger fetchLimit_ = 0;
    NSUInteger fetchOffset_ = 0;
};
