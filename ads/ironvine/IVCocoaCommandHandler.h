// BridgeCocoa: reflection for scripts. Scripts name classes and operations as text, call
// operations with up to two arguments, and hold the results through "obj@..." handles in a
// counted table. What can be reached is a fixed registry: IVUtil's class methods and read-only
// queries of the device, the screen and the main bundle.
#pragma once

#include "ads/ironvine/IVCommandHandler.h"

class NSArray;
class NSMutableDictionary;

class IVCocoaCommandHandler : public IVCommandHandler {
    NS_OBJECT(IVCocoaCommandHandler, IVCommandHandler)
    static void describeClass(RuntimeClass& c);
    bool init() override;

    void bridge_classDoesRespond(NSString* className, NSString* selector, NSString* callback);
    void bridge_objectDoesRespond(NSString* handle, NSString* selector, NSString* callback);
    void bridge_performOnClass2(NSString* selector, NSString* className, NSObject* a, NSObject* b,
                                NSString* callback);
    void bridge_performOnClass1(NSString* selector, NSString* className, NSObject* a,
                                NSString* callback);
    void bridge_performOnClass0(NSString* selector, NSString* className, NSString* callback);
    void bridge_performOnObject2(NSString* selector, NSString* handle, NSObject* a, NSObject* b,
                                 NSString* callback);
    void bridge_performOnObject1(NSString* selector, NSString* handle, NSObject* a,
                                 NSString* callback);
    void bridge_performOnObject0(NSString* selector, NSString* handle, NSString* callback);
    void objectDoesRespond(NSObject* object, NSString* selector, NSString* callback);
    void performSelector(NSString* selector, NSObject* receiver, NSArray* arguments,
                         NSString* callback);
    void bridge_releaseObject(NSString* handle);
    void bridge_retainObject(NSString* handle);
    void bridge_valueForObject(NSString* handle, NSString* callback);
    void bridge_selectorsForClass(NSString* className, NSString* callback);

    Ref<NSObject> valueObjectForObject(NSObject* value);
    void removeAllBridgedObjects();
    void releaseBridgedObjectForKey(NSString* handle);
    void retainBridgedObjectForKey(NSString* handle);
    Ref<NSObject> bridgedObjectForKey(NSString* handle);
    void removeBridgedObject(NSObject* object);
    Ref<NSString> addBridgedObject(NSObject* object);
    NSUInteger bridgedObjectCount();

    static bool isObjectHandle(NSObject* value);
    static Ref<NSString> keyForObject(NSObject* object);
    // The reachable class of that name (a class object), or nil.
    static NSObject* reflectedClassNamed(NSString* name);

private:
    Ref<NSMutableDictionary> bridgedObjects_;
};
