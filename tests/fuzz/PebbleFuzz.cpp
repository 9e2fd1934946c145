// The ad client's decoders on arbitrary bytes: base decoding (what decodes must re-encode to text
// that decodes to the same bytes), query-string parsing, and the JSON reader (what it accepts,
// its writer must write, and the written text must read back equal).
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "ads/pebble/HXStringEncoding.h"
#include "ads/pebble/PBLNetworkUtilities.h"
#include "ads/pebble/PBL_PJSON.h"

namespace {

void roundTrip(HXStringEncoding* encoding, NSString* text) {
    auto data = encoding->decode(text);
    if (!data) return;
    auto again = encoding->decode(encoding->encode(data));
    if (!again || !again->isEqual(data)) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    auto text = NSString::fromUTF8(std::string_view(reinterpret_cast<const char*>(bytes), size));
    if (!text) return 0;
    roundTrip(HXStringEncoding::rfc4648Base64StringEncoding(), text);
    roundTrip(HXStringEncoding::rfc4648Base64WebsafeStringEncoding(), text);
    roundTrip(HXStringEncoding::rfc4648Base32StringEncoding(), text);
    roundTrip(HXStringEncoding::crockfordBase32StringEncoding(), text);
    roundTrip(HXStringEncoding::hexStringEncoding(), text);

    auto query = PBLNetworkUtilities::dictionaryFromQueryString(text);
    auto keys = query->allKeys();
    for (NSObject* key : *keys) {
        auto name = static_cast<NSString*>(key);
        if (!name->isEqualToString(name->lowercaseString())) abort();
    }

    Ref<NSError> error;
    auto value = make<PBL_PJSON>()->fragmentWithString(text, &error);
    if (!value) {
        if (!error) abort();
        return 0;
    }
    auto written = make<PBL_PJSON>()->stringWithFragment(value, &error);
    if (!written) abort();
    auto reread = make<PBL_PJSON>()->fragmentWithString(written, &error);
    if (!reread || !reread->isEqual(value)) abort();
    return 0;
}
