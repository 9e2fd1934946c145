#include "CoreData/NSFetchRequest.h"

#include "CoreData/NSEntityDescription.h"
#include "CoreData/NSPredicate.h"
#include "CoreData/NSSortDescriptor.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"

Ref<NSFetchRequest> NSFetchRequest::fetchRequestWithEntityName(NSString* entityName) {
    return make<NSFetchRequest>(&NSFetchRequest::initWithEntityName, entityName);
}

bool NSFetchRequest::initWithEntityName(NSString* entityName) {
    entityName_ = entityName ? entityName->copy() : nullptr;
    return true;
}

void NSFetchRequest::setEntity(NSEntityDescription* entity) {
    entity_ = entity;
    entityName_ = entity ? entity->name() : nullptr;
}

Ref<NSString> NSFetchRequest::entityName() {
    return entity_ ? entity_->name() : entityName_;
}

void NSFetchRequest::setSortDescriptors(NSArray* descriptors) {
    if (descriptors) {
        for (NSObject* o : *descriptors)
            if (!is<NSSortDescriptor>(o))
                NSException::raise(NSInvalidArgumentException,
                                   NS("Sort descriptors must be NSSortDescriptor objects, not %@"),
                                   o->className());
    }
    sortDescriptors_ = descriptors ? descriptors->copy() : nullptr;
}

Ref<NSString> NSFetchRequest::description() {
    return NSString::stringWithFormat(
        NS("<NSFetchRequest: %p> (entity: %@; predicate: (%@); sortDescriptors: (%@); "
           "limit: %u)"),
        static_cast<void*>(this), entityName(), predicate_, sortDescriptors_,
        static_cast<unsigned>(fetchLimit_));
}
