#include "CoreData/NSPropertyDescription.h"

#include "CoreData/NSEntityDescription.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

// ---- NSPropertyDescription -------------------------------------------------------------------

void NSPropertyDescription::checkEditable() {
    if (auto e = entity_.lock(); e && e->isFrozen())
        NSException::raise(NSInternalInconsistencyException,
                           NS("Can't modify an immutable model."));
}

void NSPropertyDescription::setName(NSString* name) {
    checkEditable();
    name_ = name ? name->copy() : nullptr;
}

void NSPropertyDescription::setOptional(bool optional) {
    checkEditable();
    optional_ = optional;
}

void NSPropertyDescription::attachToEntity(NSEntityDescription* entity, NSUInteger index) {
    entity_ = entity;
    index_ = index;
}

Ref<NSString> NSPropertyDescription::description() {
    return NSString::stringWithFormat(NS("(%@), name %@, isOptional %d"), className(), name_,
                                      optional_ ? 1 : 0);
}

// ---- NSAttributeDescription ------------------------------------------------------------------

Ref<NSAttributeDescription> NSAttributeDescription::attributeWithName(NSString* name,
                                                                      NSAttributeType type,
                                                                      NSObject* defaultValue) {
    auto a = make<NSAttributeDescription>();
    a->setName(name);
    a->setAttributeType(type);
    a->setDefaultValue(defaultValue);
    return a;
}

void NSAttributeDescription::setAttributeType(NSAttributeType type) {
    checkEditable();
    switch (type) {
        case NSInteger16AttributeType:
        case NSInteger32AttributeType:
        case NSInteger64AttributeType:
        case NSDoubleAttributeType:
        case NSFloatAttributeType:
        case NSStringAttributeType:
        case NSBooleanAttributeType:
        case NSDateAttributeType:
        case NSBinaryDataAttributeType:
            type_ = type;
            return;
        default:
            NSException::raise(NSInvalidArgumentException,
                               NS("Unsupported attribute type %u for attribute %@"),
                               static_cast<unsigned>(type), name_);
    }
}

void NSAttributeDescription::setDefaultValue(NSObject* value) {
    checkEditable();
    if (value && !acceptsValue(value))
        NSException::raise(NSInvalidArgumentException,
                           NS("Default value %@ does not suit attribute %@"), value, name_);
    default_ = value;
}

Ref<NSString> NSAttributeDescription::attributeValueClassName() {
    switch (type_) {
        case NSStringAttributeType:
            return NS("NSString");
        case NSDateAttributeType:
            return NS("NSDate");
        case NSBinaryDataAttributeType:
            return NS("NSData");
        case NSUndefinedAttributeType:
            return nullptr;
        default:
            return NS("NSNumber");
    }
}

bool NSAttributeDescription::acceptsValue(NSObject* value) {
    if (!value) return true;
    switch (type_) {
        case NSStringAttributeType:
            return is<NSString>(value);
        case NSDateAttributeType:
            return is<NSDate>(value);
        case NSBinaryDataAttributeType:
            return is<NSData>(value);
        case NSUndefinedAttributeType:
            return false;
        default:
            return is<NSNumber>(value);
    }
}

Ref<NSString> NSAttributeDescription::description() {
    return NSString::stringWithFormat(NS("(NSAttributeDescription), name %@, isOptional %d, "
                                         "attributeType %u, defaultValue %@"),
                                      name_, optional_ ? 1 : 0, static_cast<unsigned>(type_),
                                      default_);
}

// ---- NSRelationshipDescription ---------------------------------------------------------------

Ref<NSRelationshipDescription> NSRelationshipDescription::relationshipWithName(
    NSString* name, NSString* destinationEntityName, bool toMany, NSString* inverseName,
    NSDeleteRule deleteRule) {
    auto r = make<NSRelationshipDescription>();
    r->setName(name);
    r->destinationName_ = destinationEntityName;
    r->inverseName_ = inverseName;
    r->setMaxCount(toMany ? 0 : 1);
    r->setDeleteRule(deleteRule);
    return r;
}

void NSRelationshipDescription::setDestinationEntity(NSEntityDescription* entity) {
    checkEditable();
    destination_ = entity;
    destinationName_ = entity ? entity->name() : nullptr;
}

void NSRelationshipDescription::setInverseRelationship(NSRelationshipDescription* inverse) {
    checkEditable();
    inverse_ = inverse;
    inverseName_ = inverse ? inverse->name() : nullptr;
}

void NSRelationshipDescription::setMaxCount(NSUInteger count) {
    checkEditable();
    maxCount_ = count;
}

void NSRelationshipDescription::setMinCount(NSUInteger count) {
    checkEditable();
    minCount_ = count;
}

void NSRelationshipDescription::setDeleteRule(NSDeleteRule rule) {
    checkEditable();
    if (rule > NSDenyDeleteRule)
        NSException::raise(NSInvalidArgumentException, NS("Unknown delete rule %u"),
                           static_cast<unsigned>(rule));
    deleteRule_ = rule;
}

Ref<NSString> NSRelationshipDescription::description() {
    return NSString::stringWithFormat(NS("(NSRelationshipDescription), name %@, isOptional %d, "
                                         "destination %@, inverse %@, toMany %d, deleteRule %u"),
                                      name_, optional_ ? 1 : 0, destinationName_, inverseName_,
                                      isToMany() ? 1 : 0, static_cast<unsigned>(deleteRule_));
}
