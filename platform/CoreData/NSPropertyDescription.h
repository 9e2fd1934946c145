// What a model says about one property of an entity: an attribute (a typed value with an
// optional default) or a relationship (to one or to many objects of another entity, with its
// inverse and the rule applied when the source object is deleted).
#pragma once

#include "Foundation/NSObject.h"

class NSEntityDescription;
class NSString;

class NSPropertyDescription : public NSObject {
    NS_OBJECT(NSPropertyDescription, NSObject)

    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    // Every property is optional unless the model says otherwise; a mandatory one left nil
    // fails the save with NSValidationMissingMandatoryPropertyError.
    bool isOptional() { return optional_; }
    void setOptional(bool optional);
    // The entity holding the property (not retained: the entity owns its properties).
    Ref<NSEntityDescription> entity() { return entity_.lock(); }

    Ref<NSString> description() override;

    // Internal: set when the entity takes the property; the position in the entity's list.
    void attachToEntity(NSEntityDescription* entity, NSUInteger index);
    NSUInteger indexInEntity() const { return index_; }

protected:
    // Models in use by a coordinator are frozen: changing them raises.
    void checkEditable();

    Ref<NSString> name_;
    bool optional_ = true;
    Weak<NSEntityDescription> entity_;
    NSUInteger index_ = 0;
};

using NSAttributeType = NSUInteger;
enum : NSAttributeType {
    NSUndefinedAttributeType = 0,
    NSInteger16AttributeType = 100,
    NSInteger32AttributeType = 200,
    NSInteger64AttributeType = 300,
    NSDecimalAttributeType = 400,
    NSDoubleAttributeType = 500,
    NSFloatAttributeType = 600,
    NSStringAttributeType = 700,
    NSBooleanAttributeType = 800,
    NSDateAttributeType = 900,
    NSBinaryDataAttributeType = 1000,
};

class NSAttributeDescription : public NSPropertyDescription {
    NS_OBJECT(NSAttributeDescription, NSPropertyDescription)

    // A ready attribute: name, type, optional, and its default (nil for none).
    static Ref<NSAttributeDescription> attributeWithName(NSString* name, NSAttributeType type,
                                                         NSObject* defaultValue);

    NSAttributeType attributeType() { return type_; }
    // Integer, double, float, boolean, string, date and binary data types are stored; the
    // decimal and undefined types raise NSInvalidArgumentException.
    void setAttributeType(NSAttributeType type);
    // The value a newly inserted object starts with (NSNumber, NSString, NSDate or NSData).
    Ref<NSObject> defaultValue() { return default_; }
    void setDefaultValue(NSObject* value);
    // "NSString", "NSNumber", "NSDate" or "NSData".
    Ref<NSString> attributeValueClassName();
    // Whether a value may be stored in the attribute (nil always may).
    bool acceptsValue(NSObject* value);

    Ref<NSString> description() override;

private:
    NSAttributeType type_ = NSUndefinedAttributeType;
    Ref<NSObject> default_;
};

using NSDeleteRule = NSUInteger;
enum : NSDeleteRule {
    NSNoActionDeleteRule = 0,
    NSNullifyDeleteRule = 1,
    NSCascadeDeleteRule = 2,
    NSDenyDeleteRule = 3,
};

class NSRelationshipDescription : public NSPropertyDescription {
    NS_OBJECT(NSRelationshipDescription, NSPropertyDescription)

    // A ready relationship; the destination is named and resolved when the model is complete
    // (NSManagedObjectModel::setEntities), as is the inverse.
    static Ref<NSRelationshipDescription> relationshipWithName(NSString* name,
                                                               NSString* destinationEntityName,
                                                               bool toMany, NSString* inverseName,
                                                               NSDeleteRule deleteRule);

    Ref<NSEntityDescription> destinationEntity() { return destination_.lock(); }
    void setDestinationEntity(NSEntityDescription* entity);
    Ref<NSRelationshipDescription> inverseRelationship() { return inverse_.lock(); }
    void setInverseRelationship(NSRelationshipDescription* inverse);
    // 1 for a to-one relationship, 0 (no limit) or more for a to-many.
    NSUInteger maxCount() { return maxCount_; }
    void setMaxCount(NSUInteger count);
    NSUInteger minCount() { return minCount_; }
    void setMinCount(NSUInteger count);
    bool isToMany() { return maxCount_ != 1; }
    NSDeleteRule deleteRule() { return deleteRule_; }
    void setDeleteRule(NSDeleteRule rule);

    // Internal: the names given to relationshipWithName, resolved by the model.
    Ref<NSString> destinationEntityName() { return destinationName_; }
    Ref<NSString> inverseName() { return inverseName_; }

    Ref<NSString> description() override;

private:
    Weak<NSEntityDescription> destination_;
    Weak<NSRelationshipDescription> inverse_;
    Ref<NSString> destinationName_;
    Ref<NSString> inverseName_;
    NSUInteger maxCount_ = 1;
    NSUInteger minCount_ = 0;
    NSDeleteRule deleteRule_ = NSNullifyDeleteRule;
};
