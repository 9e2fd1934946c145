#include "ads/ironvine/IVCocoaCommandHandler.h"

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "Foundation/NSArray.h"
#include "Foundation/NSBundle.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/NSURL.h"
#include "Foundation/Runtime.h"
#include "UIKit/UIDevice.h"
#include "UIKit/UIGeometry.h"
#include "UIKit/UIScreen.h"
#include "ads/ironvine/IVJSON.h"
#include "ads/ironvine/IVUtil.h"

namespace {
NSString* const kObjectKey = NS("object");
NSString* const kRetainCountKey = NS("retainCount");
NSString* const kDoesNotRespond = NS("DoesNotRespondToSelector");
NSString* const kTooManyArguments = NS("TooManyArguments");

using Args = std::vector<Ref<NSObject>>;
using Call = std::function<Ref<NSObject>(NSObject* receiver, const Args& args)>;

struct Operation {
    std::string selector;
    Call call;
};

// One class scripts may reach: its class operations and what its instances answer.
struct Reflected {
    std::string name;
    Class cls;
    std::vector<Operation> classOps;
    std::vector<Operation> instanceOps;
};

Ref<NSString> textOf(const Args& args, size_t i) {
    if (i >= args.size() || !args[i] || is<NSNull>(args[i].get())) return nullptr;
    if (auto s = as<NSString>(args[i])) return s;
    return args[i]->description();
}

long long numberOf(const Args& args, size_t i) {
    auto t = textOf(args, i);
    // Through a number: a huge or NaN text saturates instead of overflowing the cast.
    return t ? NSNumber::numberWithDouble(t->doubleValue())->longLongValue() : 0;
}

Ref<NSObject> orNull(Ref<NSObject> o) {
    return o ? o : Ref<NSObject>(NSNull::null());
}

template <class T>
Call instance(std::function<Ref<NSObject>(T*, const Args&)> f) {
    return [f](NSObject* receiver, const Args& args) -> Ref<NSObject> {
        auto self = dynamic_cast<T*>(receiver);
        return self ? f(self, args) : nullptr;
    };
}

const std::vector<Reflected>& registry() {
    static const std::vector<Reflected> classes = [] {
        std::vector<Reflected> r;
        r.push_back({"IVUtil",
                     IVUtil::staticClass(),
                     {{"versionCompare:to:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           return NSNumber::numberWithInt(
                               IVUtil::versionCompare(textOf(a, 0).get(), textOf(a, 1).get()));
                       }},
                      {"URLWillLoadExternalApp:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           auto t = textOf(a, 0);
                           auto url = t ? NSURL::URLWithString(t.get()) : nullptr;
                           return NSNumber::numberWithBool(
                               IVUtil::URLWillLoadExternalApp(url.get()));
                       }},
                      {"transformForOrientation:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           return valueWithCGAffineTransform(
                               IVUtil::transformForOrientation(static_cast<int>(numberOf(a, 0))));
                       }},
                      {"delimitedStringFromString:leftDelimiter:rightDelimiter:start:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           return IVUtil::delimitedStringFromString(
                               textOf(a, 0).get(), textOf(a, 1).get(), textOf(a, 2).get(),
                               static_cast<NSUInteger>(numberOf(a, 3)));
                       }},
                      {"delimitedStringFromString:leftDelimiter:rightDelimiter:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           return IVUtil::delimitedStringFromString(
                               textOf(a, 0).get(), textOf(a, 1).get(), textOf(a, 2).get());
                       }},
                      {"replaceString:leftDelimiter:rightDelimiter:intoString:",
                       [](NSObject*, const Args& a) -> Ref<NSObject> {
                           return IVUtil::replaceString(textOf(a, 0).get(), textOf(a, 1).get(),
                                                        textOf(a, 2).get(), textOf(a, 3).get());
                       }}},
                     {}});
        auto device = [](Ref<NSObject> (*f)(UIDevice*)) {
            return instance<UIDevice>([f](UIDevice* d, const Args&) { return f(d); });
        };
        r.push_back(
            {"UIDevice",
             UIDevice::staticClass(),
             {{"currentDevice",
               [](NSObject*, const Args&) -> Ref<NSObject> { return UIDevice::currentDevice(); }}},
             {{"model", device([](UIDevice* d) -> Ref<NSObject> { return d->model(); })},
              {"localizedModel",
               device([](UIDevice* d) -> Ref<NSObject> { return d->localizedModel(); })},
              {"name", device([](UIDevice* d) -> Ref<NSObject> { return d->name(); })},
              {"systemName", device([](UIDevice* d) -> Ref<NSObject> { return d->systemName(); })},
              {"systemVersion",
               device([](UIDevice* d) -> Ref<NSObject> { return d->systemVersion(); })},
              {"uniqueIdentifier",
               device([](UIDevice* d) -> Ref<NSObject> { return d->uniqueIdentifier(); })},
              {"userInterfaceIdiom", device([](UIDevice* d) -> Ref<NSObject> {
                   return NSNumber::numberWithInt(static_cast<int>(d->userInterfaceIdiom()));
               })}}});
        auto screen = [](Ref<NSObject> (*f)(UIScreen*)) {
            return instance<UIScreen>([f](UIScreen* s, const Args&) { return f(s); });
        };
        r.push_back(
            {"UIScreen",
             UIScreen::staticClass(),
             {{"mainScreen",
               [](NSObject*, const Args&) -> Ref<NSObject> { return UIScreen::mainScreen(); }}},
             {{"bounds",
               screen([](UIScreen* s) -> Ref<NSObject> { return valueWithCGRect(s->bounds()); })},
              {"applicationFrame", screen([](UIScreen* s) -> Ref<NSObject> {
                   return valueWithCGRect(s->applicationFrame());
               })},
              {"scale", screen([](UIScreen* s) -> Ref<NSObject> {
                   return NSNumber::numberWithFloat(s->scale());
               })}}});
        r.push_back(
            {"NSBundle",
             NSBundle::staticClass(),
             {{"mainBundle",
               [](NSObject*, const Args&) -> Ref<NSObject> { return NSBundle::mainBundle(); }}},
             {{"bundlePath", instance<NSBundle>([](NSBundle* b, const Args&) -> Ref<NSObject> {
                   return b->bundlePath();
               })},
              {"bundleIdentifier",
               instance<NSBundle>([](NSBundle* b, const Args&) -> Ref<NSObject> {
                   return b->bundleIdentifier();
               })},
              {"infoDictionary", instance<NSBundle>([](NSBundle* b, const Args&) -> Ref<NSObject> {
                   return b->infoDictionary();
               })},
              {"objectForInfoDictionaryKey:",
               instance<NSBundle>([](NSBundle* b, const Args& a) -> Ref<NSObject> {
                   auto key = textOf(a, 0);
                   return key ? b->objectForInfoDictionaryKey(key.get()) : nullptr;
               })}}});
        return r;
    }();
    return classes;
}

// The operation the receiver (a reachable class object or an instance of one) answers.
const Operation* operationFor(NSObject* receiver, NSString* selector) {
    if (!receiver || !selector) return nullptr;
    std::string sel = selector->utf8();
    for (const auto& entry : registry()) {
        const std::vector<Operation>* ops = nullptr;
        if (receiver == entry.cls)
            ops = &entry.classOps;
        else if (receiver->getClass()->isSubclassOfClass(entry.cls))
            ops = &entry.instanceOps;
        if (!ops) continue;
        for (const auto& op : *ops)
            if (op.selector == sel) return &op;
    }
    return nullptr;
}
}  // namespace

void IVCocoaCommandHandler::describeClass(RuntimeClass& c) {
    using H = IVCocoaCommandHandler;
    c.method("bridge_class:doesRespondToSelectorNamed:withCallback:", &H::bridge_classDoesRespond)
        .method("bridge_object:doesRespondToSelectorNamed:withCallback:",
                &H::bridge_objectDoesRespond)
        .method("bridge_performSelector:onClass:withObject:withObject:withCallback:",
                &H::bridge_performOnClass2)
        .method("bridge_performSelector:onClass:withObject:withCallback:",
                &H::bridge_performOnClass1)
        .method("bridge_performSelector:onClass:withCallback:", &H::bridge_performOnClass0)
        .method("bridge_performSelector:onObject:withObject:withObject:withCallback:",
                &H::bridge_performOnObject2)
        .method("bridge_performSelector:onObject:withObject:withCallback:",
                &H::bridge_performOnObject1)
        .method("bridge_performSelector:onObject:withCallback:", &H::bridge_performOnObject0)
        .method("bridge_releaseObject:", &H::bridge_releaseObject)
        .method("bridge_retainObject:", &H::bridge_retainObject)
        .method("bridge_valueForObject:withCallback:", &H::bridge_valueForObject)
        .method("bridge_selectorsForClass:withCallback:", &H::bridge_selectorsForClass);
}

bool IVCocoaCommandHandler::init() {
    return initWithName(NS("BridgeCocoa"));
}

NSObject* IVCocoaCommandHandler::reflectedClassNamed(NSString* name) {
    if (!name) return nullptr;
    std::string n = name->utf8();
    for (const auto& entry : registry())
        if (entry.name == n) return entry.cls;
    return nullptr;
}

// ---- handles --------------------------------------------------------------------------------

bool IVCocoaCommandHandler::isObjectHandle(NSObject* value) {
    return value && value->description()->utf8().find("obj@") != std::string::npos;
}

Ref<NSString> IVCocoaCommandHandler::keyForObject(NSObject* object) {
    char buf[48];
    std::snprintf(buf, sizeof buf, "obj@%p", static_cast<void*>(object));
    return NSString::fromUTF8(buf);
}

NSUInteger IVCocoaCommandHandler::bridgedObjectCount() {
    return bridgedObjects_ ? bridgedObjects_->count() : 0;
}

Ref<NSString> IVCocoaCommandHandler::addBridgedObject(NSObject* object) {
    Ref<NSObject> held = orNull(Ref<NSObject>(object));
    if (!bridgedObjects_) bridgedObjects_ = NSMutableDictionary::dictionaryWithCapacity(4);
    auto key = keyForObject(held.get());
    auto entry = NSMutableDictionary::dictionary();
    entry->setObject(held.get(), kObjectKey);
    entry->setObject(NSNumber::numberWithUnsignedInt(1).get(), kRetainCountKey);
    bridgedObjects_->setObject(entry.get(), key.get());
    return key;
}

void IVCocoaCommandHandler::retainBridgedObjectForKey(NSString* handle) {
    if (!bridgedObjects_ || !handle) return;
    auto entry = as<NSMutableDictionary>(bridgedObjects_->objectForKey(handle));
    if (!entry) return;
    unsigned count = as<NSNumber>(entry->objectForKey(kRetainCountKey))->unsignedIntValue();
    entry->setObject(NSNumber::numberWithUnsignedInt(count + 1).get(), kRetainCountKey);
}

void IVCocoaCommandHandler::releaseBridgedObjectForKey(NSString* handle) {
    if (!bridgedObjects_ || !handle) return;
    auto entry = as<NSMutableDictionary>(bridgedObjects_->objectForKey(handle));
    if (!entry) return;
    unsigned count = as<NSNumber>(entry->objectForKey(kRetainCountKey))->unsignedIntValue();
    if (count <= 1)
        bridgedObjects_->removeObjectForKey(handle);
    else
        entry->setObject(NSNumber::numberWithUnsignedInt(count - 1).get(), kRetainCountKey);
}

Ref<NSObject> IVCocoaCommandHandler::bridgedObjectForKey(NSString* handle) {
    if (!bridgedObjects_ || !handle) return nullptr;
    auto entry = as<NSDictionary>(bridgedObjects_->objectForKey(handle));
    return entry ? entry->objectForKey(kObjectKey) : nullptr;
}

void IVCocoaCommandHandler::removeBridgedObject(NSObject* object) {
    if (bridgedObjects_) bridgedObjects_->removeObjectForKey(keyForObject(object).get());
}

void IVCocoaCommandHandler::removeAllBridgedObjects() {
    bridgedObjects_ = nullptr;
}

Ref<NSObject> IVCocoaCommandHandler::valueObjectForObject(NSObject* value) {
    Ref<NSObject> v(value);
    // A table entry never holds its own handle text, so this ends.
    for (int hops = 0; v && isObjectHandle(v.get()) && hops < 64; ++hops) {
        auto handle = as<NSString>(v);
        v = handle ? bridgedObjectForKey(handle.get()) : nullptr;
    }
    return v;
}

// ---- operations -----------------------------------------------------------------------------

void IVCocoaCommandHandler::objectDoesRespond(NSObject* object, NSString* selector,
                                              NSString* callback) {
    if (!callback) return;
    send(IVFillCallback(callback, int64_t{operationFor(object, selector) ? 1 : 0}).get());
}

void IVCocoaCommandHandler::performSelector(NSString* selector, NSObject* receiver,
                                            NSArray* arguments, NSString* callback) {
    Ref<NSObject> result;
    const Operation* op = operationFor(receiver, selector);
    NSUInteger count = arguments ? arguments->count() : 0;
    if (!op) {
        result = kDoesNotRespond;
    } else if (count > 2) {
        result = kTooManyArguments;
    } else {
        Args args;
        for (NSUInteger i = 0; i < count; ++i)
            args.push_back(valueObjectForObject(arguments->objectAtIndex(i).get()));
        result = op->call(receiver, args);
    }
    if (!callback) return;
    auto handle = addBridgedObject(result.get());
    send(IVFillCallback(callback, IVQuotedForScript(handle.get())).get());
}

void IVCocoaCommandHandler::bridge_classDoesRespond(NSString* className, NSString* selector,
                                                    NSString* callback) {
    objectDoesRespond(reflectedClassNamed(className), selector, callback);
}

void IVCocoaCommandHandler::bridge_objectDoesRespond(NSString* handle, NSString* selector,
                                                     NSString* callback) {
    objectDoesRespond(bridgedObjectForKey(handle).get(), selector, callback);
}

void IVCocoaCommandHandler::bridge_performOnClass2(NSString* selector, NSString* className,
                                                   NSObject* a, NSObject* b, NSString* callback) {
    performSelector(
        selector, reflectedClassNamed(className),
        NSArray::arrayWithObjects({orNull(Ref<NSObject>(a)).get(), orNull(Ref<NSObject>(b)).get()})
            .get(),
        callback);
}

void IVCocoaCommandHandler::bridge_performOnClass1(NSString* selector, NSString* className,
                                                   NSObject* a, NSString* callback) {
    performSelector(selector, reflectedClassNamed(className),
                    NSArray::arrayWithObject(orNull(Ref<NSObject>(a)).get()).get(), callback);
}

void IVCocoaCommandHandler::bridge_performOnClass0(NSString* selector, NSString* className,
                                                   NSString* callback) {
    performSelector(selector, reflectedClassNamed(className), nullptr, callback);
}

void IVCocoaCommandHandler::bridge_performOnObject2(NSString* selector, NSString* handle,
                                                    NSObject* a, NSObject* b, NSString* callback) {
    performSelector(
        selector, bridgedObjectForKey(handle).get(),
        NSArray::arrayWithObjects({orNull(Ref<NSObject>(a)).get(), orNull(Ref<NSObject>(b)).get()})
            .get(),
        callback);
}

void IVCocoaCommandHandler::bridge_performOnObject1(NSString* selector, NSString* handle,
                                                    NSObject* a, NSString* callback) {
    performSelector(selector, bridgedObjectForKey(handle).get(),
                    NSArray::arrayWithObject(orNull(Ref<NSObject>(a)).get()).get(), callback);
}

void IVCocoaCommandHandler::bridge_performOnObject0(NSString* selector, NSString* handle,
                                                    NSString* callback) {
    performSelector(selector, bridgedObjectForKey(handle).get(), nullptr, callback);
}

void IVCocoaCommandHandler::bridge_releaseObject(NSString* handle) {
    releaseBridgedObjectForKey(handle);
}

void IVCocoaCommandHandler::bridge_retainObject(NSString* handle) {
    retainBridgedObjectForKey(handle);
}

void IVCocoaCommandHandler::bridge_valueForObject(NSString* handle, NSString* callback) {
    auto object = bridgedObjectForKey(handle);
    // Unquoted, as the script quotes it itself, but escaped like every text placed in script.
    auto description = object ? object->description() : Ref<NSString>(NS("(null)"));
    send(IVFillCallback(callback, IVJSON::stringByEscapingCharacters(description.get())->utf8())
             .get());
}

void IVCocoaCommandHandler::bridge_selectorsForClass(NSString* className, NSString* callback) {
    Ref<NSObject> names = NSNull::null();
    std::string n = className ? className->utf8() : std::string();
    for (const auto& entry : registry()) {
        if (entry.name != n) continue;
        auto list = NSMutableArray::array();
        for (const auto& op : entry.classOps)
            list->addObject(NSString::fromUTF8(op.selector).get());
        for (const auto& op : entry.instanceOps)
            list->addObject(NSString::fromUTF8(op.selector).get());
        names = list;
    }
    send(IVFillCallback(callback, IVJSON::stringWithObject(names.get())->utf8()).get());
}
