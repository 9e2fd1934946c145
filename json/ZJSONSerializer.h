// Objects to JSON text: dictionaries, arrays, strings, numbers, NSNull, NSData (as UTF-8 text)
// and ready JSON (CSerializedJSONData). No white space is written. Objects of other kinds, keys
// that are not strings, numbers that are not finite and text that is not valid UTF-8 raise
// NSGenericException.
#pragma once

#include "Foundation/NSObject.h"

class NSArray;
class NSData;
class NSDictionary;
class NSNull;
class NSNumber;
class NSString;

class ZJSONDataSerializer : public NSObject {
    NS_OBJECT(ZJSONDataSerializer, NSObject)
    static Ref<ZJSONDataSerializer> serializer();

    // UTF-8 bytes of the JSON text.
    Ref<NSData> serializeObject(NSObject* object);
    Ref<NSData> serializeNull(NSNull* null);
    Ref<NSData> serializeNumber(NSNumber* number);
    Ref<NSData> serializeString(NSString* string);
    Ref<NSData> serializeArray(NSArray* array);
    Ref<NSData> serializeDictionary(NSDictionary* dictionary);

    // Containers nest at most this deep; a deeper (or cyclic) graph raises.
    static constexpr int kMaximumDepth = 512;
};

class ZJSONSerializer : public NSObject {
    NS_OBJECT(ZJSONSerializer, NSObject)
    static Ref<ZJSONSerializer> serializer();
    bool init() override;
    void dealloc() override;

    // The data serializer's bytes as a string.
    Ref<NSString> serializeObject(NSObject* object);
    Ref<NSString> serializeArray(NSArray* array);
    Ref<NSString> serializeDictionary(NSDictionary* dictionary);

private:
    Ref<ZJSONDataSerializer> serializer_;
};

// JSON text that is written out as it stands.
class CSerializedJSONData : public NSObject {
    NS_OBJECT(CSerializedJSONData, NSObject)
    bool initWithData(NSData* data);
    void dealloc() override;
    Ref<NSData> data() { return data_; }

private:
    Ref<NSData> data_;
};
