#include "UIKit/UINib.h"

#include <map>
#include <mutex>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "UIKit/UIApplication.h"

NSString* const UINibExternalObjects = NS("UINibExternalObjects");

namespace {
struct Registry {
    std::mutex lock;
    std::map<std::string, UINibBuilder> builders;
};

Registry& registry() {
    static Registry* r = new Registry();
    return *r;
}

// The main interface file's objects live as long as the process, as the platform keeps them.
std::vector<Ref<NSObject>>& mainInterfaceObjects() {
    static ProcessWide<std::vector<Ref<NSObject>>> objects;
    return *objects.get();
}

void loadMainInterface(UIApplication* app, NSString* name) {
    auto objects = UINib::nibWithNibName(name, nullptr)->instantiateWithOwner(app, nullptr);
    if (!objects) return;
    for (NSUInteger i = 0; i < objects->count(); ++i) {
        auto object = objects->objectAtIndex(i);
        mainInterfaceObjects().push_back(object);
        // The file's delegate outlet, when the builder left it to us.
        if (!app->delegate()) {
            if (auto* delegate = dynamic_cast<UIApplicationDelegate*>(object.get())) {
                app->setDelegate(delegate);
            }
        }
    }
}

void installMainInterfaceLoader() {
    static std::once_flag once;
    std::call_once(once, [] { UIApplication::setMainInterfaceLoader(&loadMainInterface); });
}

UINibBuilder builderNamed(NSString* name) {
    if (!name) return nullptr;
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    auto it = r.builders.find(name->utf8());
    return it == r.builders.end() ? nullptr : it->second;
}
}  // namespace

void registerInterface(NSString* name, UINibBuilder builder) {
    if (!name) return;
    installMainInterfaceLoader();
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.builders[name->utf8()] = std::move(builder);
}

void unregisterInterface(NSString* name) {
    if (!name) return;
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    r.builders.erase(name->utf8());
}

bool isInterfaceRegistered(NSString* name) {
    return builderNamed(name) != nullptr;
}

Ref<NSArray> registeredInterfaceNames() {
    auto names = NSMutableArray::array();
    auto& r = registry();
    std::lock_guard<std::mutex> guard(r.lock);
    for (auto& [name, builder] : r.builders)
        names->addObject(NSString::fromUTF8(name));
    return names;
}

Ref<UINib> UINib::nibWithNibName(NSString* name, NSBundle* bundle) {
    return make<UINib>(&UINib::initWithNibName, name, bundle);
}

bool UINib::initWithNibName(NSString* name, NSBundle*) {
    if (!name) return false;
    name_ = name->copy();
    return true;
}

Ref<NSArray> UINib::instantiateWithOwner(NSObject* owner, NSDictionary* options) {
    UINibBuilder builder = builderNamed(name_);
    if (!builder) {
        auto path = NSBundle::mainBundle()->bundlePath();
        NSException::raise(NSInternalInconsistencyException,
                           NS("Could not load NIB in bundle: 'NSBundle <%@> (loaded)' with name "
                              "'%@'"),
                           path.get(), name_.get());
    }
    auto objects = builder(owner, options);
    return objects ? objects : NSArray::array();
}

Ref<NSArray> loadNibNamed(NSBundle* bundle, NSString* name, NSObject* owner,
                          NSDictionary* options) {
    if (!name) {
        NSException::raise(NSInvalidArgumentException, NS("nib name must not be nil"));
    }
    return UINib::nibWithNibName(name, bundle)->instantiateWithOwner(owner, options);
}
