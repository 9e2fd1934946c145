// One entity of a model: its name, the class of its objects and its properties in order.
#pragma once

#include <string>
#include <unordered_map>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSAttributeDescription;
class NSDictionary;
class NSManagedObject;
class NSManagedObjectContext;
class NSManagedObjectModel;
class NSPropertyDescription;
class NSRelationshipDescription;
class NSString;

class NSEntityDescription : public NSObject {
    NS_OBJECT(NSEntityDescription, NSObject)

    // A ready entity whose objects are of the named class (nil: NSManagedObject) with these
    // properties (NSAttributeDescription and NSRelationshipDescription objects).
    static Ref<NSEntityDescription> entityWithName(NSString* name, NSString* className,
                                                   NSArray* properties);

    // The entity of that name in the model of the context's coordinator; nil when the model has
    // none. A context without a coordinator raises NSInternalInconsistencyException.
    static Ref<NSEntityDescription> entityForName(NSString* entityName,
                                                  NSManagedObjectContext* context);
    // A new object of the named entity, inserted into the context (owned by the context until
    // it is deleted and saved). An unknown entity raises NSInternalInconsistencyException.
    static Ref<NSManagedObject> insertNewObjectForEntityForName(NSString* entityName,
                                                                NSManagedObjectContext* context);

    Ref<NSString> name() { return name_; }
    void setName(NSString* name);
    // The class of the entity's objects: NSManagedObject or a subclass registered by that name.
    Ref<NSString> managedObjectClassName();
    void setManagedObjectClassName(NSString* name);
    Ref<NSManagedObjectModel> managedObjectModel() { return model_.lock(); }

    Ref<NSArray> properties();
    // Replaces the properties; names must be distinct ignoring case (they name store columns).
    void setProperties(NSArray* properties);
    Ref<NSDictionary> propertiesByName();
    Ref<NSDictionary> attributesByName();
    Ref<NSDictionary> relationshipsByName();

    Ref<NSString> description() override;

    // ---- internal ------------------------------------------------------------------------
    NSUInteger propertyCount() const { return static_cast<NSUInteger>(properties_.size()); }
    NSPropertyDescription* propertyAt(NSUInteger index) { return properties_[index].get(); }
    // The position of the property of that name, or -1.
    long indexOfProperty(const std::string& name);
    NSAttributeDescription* attributeNamed(const std::string& name);
    NSRelationshipDescription* relationshipNamed(const std::string& name);
    // A new, uninitialised object of the entity's class.
    Ref<NSManagedObject> instantiate();
    void attachToModel(NSManagedObjectModel* model);
    bool isFrozen();

private:
    void checkEditable();

    Ref<NSString> name_;
    Ref<NSString> className_;
    std::vector<Ref<NSPropertyDescription>> properties_;
    std::unordered_map<std::string, size_t> index_;
    Weak<NSManagedObjectModel> model_;
};
