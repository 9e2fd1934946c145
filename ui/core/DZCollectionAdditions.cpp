#include "ui/core/DZCollectionAdditions.h"

#include <initializer_list>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"
#include "ui/core/DZGlobalCore.h"

namespace {
// Sends the selector with the arguments to every element of a copy that responds to it.
void performOnCopy(NSArray* array, SEL selector, std::initializer_list<NSObject*> args) {
    if (!array) return;
    Ref<NSArray> copy = array->copy();
    for (NSObject* o : *copy) {
        if (!o->respondsToSelector(selector)) continue;
        switch (args.size()) {
            case 0:
                o->performSelector(selector);
                break;
            case 1:
                o->performSelector(selector, args.begin()[0]);
                break;
            case 2:
                o->performSelector(selector, args.begin()[0], args.begin()[1]);
                break;
            default:
                performSelector(o, selector, args.begin()[0], args.begin()[1], args.begin()[2]);
                break;
        }
    }
}

Ref<NSObject> performWithObjects(NSObject* target, SEL selector,
                                 std::initializer_list<NSObject*> args) {
    if (!target) return nullptr;
    Ref<NSMethodSignature> signature = target->methodSignatureForSelector(selector);
    if (!signature) return nullptr;
    auto invocation = NSInvocation::invocationWithMethodSignature(signature);
    invocation->setTarget(target);
    invocation->setSelector(selector);
    NSInteger index = 2;
    for (NSObject* arg : args) {
        if (index >= static_cast<NSInteger>(signature->numberOfArguments())) break;
        invocation->setArgument(Value::ofObject(arg), index++);
    }
    invocation->invoke();
    // Only an object result is handed back: a number or a struct read as an object would be
    // a pointer to nowhere.
    const Value& result = invocation->returnValue();
    return result.type() == "@" ? Ref<NSObject>(result.object()) : nullptr;
}
}  // namespace

void perform(NSArray* array, SEL selector) {
    performOnCopy(array, selector, {});
}

void perform(NSArray* array, SEL selector, NSObject* p1) {
    performOnCopy(array, selector, {p1});
}

void perform(NSArray* array, SEL selector, NSObject* p1, NSObject* p2) {
    performOnCopy(array, selector, {p1, p2});
}

void perform(NSArray* array, SEL selector, NSObject* p1, NSObject* p2, NSObject* p3) {
    performOnCopy(array, selector, {p1, p2, p3});
}

void makeObjectsPerformSelector(NSArray* array, SEL selector, NSObject* p1, NSObject* p2) {
    if (!array) return;
    for (NSObject* o : *array)
        o->performSelector(selector, p1, p2);
}

void makeObjectsPerformSelector(NSArray* array, SEL selector, NSObject* p1, NSObject* p2,
                                NSObject* p3) {
    if (!array) return;
    for (NSObject* o : *array)
        performSelector(o, selector, p1, p2, p3);
}

Ref<NSObject> objectWithValue(NSArray* array, NSObject* value, NSString* key) {
    if (!array) return nullptr;
    for (NSObject* o : *array) {
        if (objectsEqual(o->valueForKey(key), value)) return o;
    }
    return nullptr;
}

Ref<NSObject> objectWithClass(NSArray* array, Class cls) {
    if (!array) return nullptr;
    for (NSObject* o : *array) {
        if (o->isKindOfClass(cls)) return o;
    }
    return nullptr;
}

bool containsObject(NSArray* array, NSObject* object, SEL selector) {
    if (!array) return false;
    for (NSObject* o : *array) {
        Ref<NSObject> answer = o->performSelector(selector, object);
        if (auto n = as<NSNumber>(answer); n && n->boolValue()) return true;
        if (auto s = as<NSString>(answer); s && s->boolValue()) return true;
    }
    return false;
}

void addNonEmptyString(NSMutableArray* array, NSString* string) {
    if (DZIsNonEmptyString(string)) array->addObject(string);
}

void setNonEmptyString(NSMutableDictionary* dictionary, NSString* string, NSObject* key) {
    if (DZIsNonEmptyString(string)) dictionary->setObject(string, key);
}

Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3) {
    return performWithObjects(target, selector, {p1, p2, p3});
}

Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4) {
    return performWithObjects(target, selector, {p1, p2, p3, p4});
}

Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5) {
    return performWithObjects(target, selector, {p1, p2, p3, p4, p5});
}

Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5, NSObject* p6) {
    return performWithObjects(target, selector, {p1, p2, p3, p4, p5, p6});
}

Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5, NSObject* p6,
                              NSObject* p7) {
    return performWithObjects(target, selector, {p1, p2, p3, p4, p5, p6, p7});
}
