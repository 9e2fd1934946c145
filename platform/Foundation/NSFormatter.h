// The common base of the formatters: turning objects into text and back.
#pragma once

#include "Foundation/NSObject.h"

class NSString;

class NSFormatter : public NSObject {
    NS_OBJECT(NSFormatter, NSObject)
    // The text for an object of the kind the formatter handles; nil otherwise.
    virtual Ref<NSString> stringForObjectValue(NSObject* obj);
    // The object read from the text; false (with an optional error text) when it does not read.
    virtual bool getObjectValue(Ref<NSObject>* obj, NSString* string, Ref<NSString>* error);
};
