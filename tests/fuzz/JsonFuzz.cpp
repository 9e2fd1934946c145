// The JSON reader on arbitrary bytes: it must answer every input with a value, nothing or an
// error, never read past the data, and not exhaust the stack on deep nesting. What it reads must
// be writable, and what the writer makes must read back.
#include <cstdint>
#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSException.h"
#include "Foundation/NSString.h"
#include "json/ZJSONDeserializer.h"
#include "json/ZJSONScanner.h"
#include "json/ZJSONSerializer.h"

namespace {

void checkRoundTrip(NSObject* object) {
    Ref<NSData> written;
    try {
        written = ZJSONDataSerializer::serializer()->serializeObject(object);
    } catch (ExceptionRaised&) {
        return;  // numbers out of range read as infinity, which JSON cannot hold
    }
    Ref<NSError> error;
    auto again = ZJSONDeserializer::deserializer()->deserialize(written, &error);
    if (!again || error) abort();  // the writer made something the reader refuses
    if (again->getClass() != object->getClass()) abort();
}

void scanBytes(NSData* data) {
    // The byte scanner's other services on the same bytes; raising is their answer to comments
    // that do not close.
    auto scanner = ZJSONScanner::scannerWithData(data);
    try {
        while (!scanner->isAtEnd()) {
            NSUInteger before = scanner->scanLocation();
            Ref<NSString> text;
            scanner->scanCStyleComment(&text);
            scanner->scanCPlusPlusStyleComment(&text);
            scanner->skipWhitespace();
            scanner->scanUpToString(NS("\""), &text);
            scanner->scanJSONStringConstant(&text, nullptr);
            if (scanner->scanLocation() == before) scanner->scanCharacter();
        }
    } catch (ExceptionRaised&) {
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    auto data = NSData::dataWithBytes(bytes, static_cast<NSUInteger>(size));
    auto deserializer = ZJSONDeserializer::deserializer();
    Ref<NSError> error;
    auto object = deserializer->deserialize(data, &error);
    if (object && error) abort();
    if (object) checkRoundTrip(object);
    deserializer->deserializeAsDictionary(data, nullptr);
    deserializer->deserializeAsArray(data, nullptr);
    scanBytes(data);
    return 0;
}
