// The framework's extensions of arrays, dictionaries and objects: fanning a message out to the
// members of a list (delegate lists), looking members up, adding only non-empty strings, and
// sending a message with up to seven object arguments.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSMutableArray;
class NSMutableDictionary;
class NSString;

// Over a copy of the array, in order, every element that responds to the selector is sent it:
// members may leave the list while they are called.
void perform(NSArray* array, SEL selector);
void perform(NSArray* array, SEL selector, NSObject* p1);
void perform(NSArray* array, SEL selector, NSObject* p1, NSObject* p2);
void perform(NSArray* array, SEL selector, NSObject* p1, NSObject* p2, NSObject* p3);
// Every element, in order, without a test. The array itself is walked: changing it meanwhile
// raises.
void makeObjectsPerformSelector(NSArray* array, SEL selector, NSObject* p1, NSObject* p2);
void makeObjectsPerformSelector(NSArray* array, SEL selector, NSObject* p1, NSObject* p2,
                                NSObject* p3);
// The first element whose value for the key is equal to the value; nil when none.
Ref<NSObject> objectWithValue(NSArray* array, NSObject* value, NSString* key);
// The first element of the class or a subclass; nil when none.
Ref<NSObject> objectWithClass(NSArray* array, Class cls);
// YES when sending some element the selector with the object answers a true boolValue.
bool containsObject(NSArray* array, NSObject* object, SEL selector);

// Adds or sets the object only when it is a string of at least one character.
void addNonEmptyString(NSMutableArray* array, NSString* string);
void setNonEmptyString(NSMutableDictionary* dictionary, NSString* string, NSObject* key);

// Sends the selector with three to seven object arguments. nil when the receiver has no such
// method; otherwise the method's result when it returns an object, and nil when it returns
// nothing or a value that is not an object.
Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3);
Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4);
Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5);
Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5, NSObject* p6);
Ref<NSObject> performSelector(NSObject* target, SEL selector, NSObject* p1, NSObject* p2,
                              NSObject* p3, NSObject* p4, NSObject* p5, NSObject* p6, NSObject* p7);
