// JSON bytes to objects: dictionaries, arrays, strings, numbers (doubles and booleans) and NSNull.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSData;
class NSDictionary;
class NSError;
class NSString;

extern NSString* const ZJSONDeserializerErrorDomain;  // "ZJSONDeserializerErrorDomain"

class ZJSONDeserializer : public NSObject {
    NS_OBJECT(ZJSONDeserializer, NSObject)
    static Ref<ZJSONDeserializer> deserializer();

    // The first value of the data, or nil. Nil or empty data gives the error -1 of
    // ZJSONDeserializerErrorDomain; bad JSON gives the scanner's error. Bytes after the first
    // value are not examined.
    Ref<NSObject> deserialize(NSData* data, Ref<NSError>* error);
    // The same, but the data must start with "{" (or "[") at its first byte.
    Ref<NSDictionary> deserializeAsDictionary(NSData* data, Ref<NSError>* error);
    Ref<NSArray> deserializeAsArray(NSData* data, Ref<NSError>* error);
};
