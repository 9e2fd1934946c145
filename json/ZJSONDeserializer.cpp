#include "json/ZJSONDeserializer.h"

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "json/NSDictionary+JSON.h"
#include "json/ZJSONScanner.h"

NSString* const ZJSONDeserializerErrorDomain = NS("ZJSONDeserializerErrorDomain");

namespace {

// A scanner over the data, or nil (with the error -1) when there is nothing to scan: no data,
// no bytes, or bytes that do not decode in the encoding they show.
Ref<ZJSONScanner> scannerFor(NSData* data, Ref<NSError>* error) {
    Ref<ZJSONScanner> scanner;
    if (data && data->length()) scanner = ZJSONScanner::scannerWithData(data);
    if (scanner && scanner->length()) return scanner;
    if (error) *error = NSError::errorWithDomain(ZJSONDeserializerErrorDomain, -1, nullptr);
    return nullptr;
}

}  // namespace

Ref<ZJSONDeserializer> ZJSONDeserializer::deserializer() {
    return make<ZJSONDeserializer>();
}

Ref<NSObject> ZJSONDeserializer::deserialize(NSData* data, Ref<NSError>* error) {
    auto scanner = scannerFor(data, error);
    if (!scanner) return nullptr;
    Ref<NSObject> object;
    return scanner->scanJSONObject(&object, error) ? object : nullptr;
}

Ref<NSDictionary> ZJSONDeserializer::deserializeAsDictionary(NSData* data, Ref<NSError>* error) {
    auto scanner = scannerFor(data, error);
    if (!scanner) return nullptr;
    Ref<NSDictionary> dictionary;
    return scanner->scanJSONDictionary(&dictionary, error) ? dictionary : nullptr;
}

Ref<NSArray> ZJSONDeserializer::deserializeAsArray(NSData* data, Ref<NSError>* error) {
    auto scanner = scannerFor(data, error);
    if (!scanner) return nullptr;
    Ref<NSArray> array;
    return scanner->scanJSONArray(&array, error) ? array : nullptr;
}

Ref<NSObject> dictionaryWithJSONData(NSData* data, Ref<NSError>* error) {
    return ZJSONDeserializer::deserializer()->deserialize(data, error);
}
