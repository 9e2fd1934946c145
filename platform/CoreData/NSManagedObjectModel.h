// A model: the entities an app stores. There is no model compiler here, so an app registers a
// builder for its model under a name, and a model resource file ("<name>.mom" in the bundle)
// names which registered model it stands for; initWithContentsOfURL: reads that file.
#pragma once

#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

#include "Foundation/NSObject.h"

class NSArray;
class NSDictionary;
class NSEntityDescription;
class NSString;
class NSURL;

class NSManagedObjectModel : public NSObject {
    NS_OBJECT(NSManagedObjectModel, NSObject)

    using Builder = std::function<Ref<NSManagedObjectModel>()>;
    // Registers (or replaces) the builder of the model of that name.
    static void registerModelNamed(NSString* name, Builder builder);
    static bool isModelRegistered(NSString* name);

    // The model that the resource file at the URL names: the file must exist; when it holds a
    // property list with a string under "NSManagedObjectModelName" that is the name, otherwise
    // the file's name without its extension. nil when the file is missing or no model of that
    // name is registered.
    bool initWithContentsOfURL(NSURL* url);

    Ref<NSArray> entities();
    // Sets the entities and resolves each relationship's destination and inverse by name.
    // An unknown destination or inverse, an inverse that does not point back, or a to-many
    // relationship whose inverse is also to-many raises NSInvalidArgumentException.
    void setEntities(NSArray* entities);
    Ref<NSDictionary> entitiesByName();
    NSEntityDescription* entityNamed(const std::string& name);

    // A digest of the entities and their properties (names, types, relationships); a store
    // made for one model refuses to open with a model of another digest.
    Ref<NSString> versionHash();

    // Models in use by a coordinator cannot change; setEntities then raises
    // NSInternalInconsistencyException.
    bool isFrozen() const { return frozen_; }
    void freeze() { frozen_ = true; }

    Ref<NSString> description() override;

private:
    std::vector<Ref<NSEntityDescription>> entities_;
    std::unordered_map<std::string, NSEntityDescription*> byName_;
    bool frozen_ = false;
};
