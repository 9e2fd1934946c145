// The JSON library's parser against the Pebble client's JSON class on arbitrary text: both must
// accept the same texts with equal values and fail with the same outermost error; what they
// accept, both writers must write alike, and the written text must read back equal.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSString.h"
#include "ads/pebble/PBL_PJSON.h"
#include "ads/pjson/PJSON.h"

namespace {

void check(bool condition) {
    if (!condition) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    auto text = NSString::fromUTF8(std::string_view(reinterpret_cast<const char*>(bytes), size));
    if (!text) return 0;
    // The first byte picks document or fragment parsing, so both top-level rules are covered.
    const bool fragment = size > 0 && (bytes[0] & 1);

    auto parser = make<PJsonParser>();
    auto value = fragment ? parser->fragmentWithString(text) : parser->objectWithString(text);
    Ref<NSError> error;
    auto pebble = make<PBL_PJSON>();
    auto other = pebble->objectWithString(text, fragment, &error);

    check(!value == !other);
    if (!value) {
        auto trace = parser->errorTrace();
        check(trace && trace->count() > 0 && error);
        auto last = cast<NSError>(trace->lastObject());
        check(last->code() == error->code());
        check(last->localizedDescription()->isEqual(error->localizedDescription()));
        return 0;
    }
    check(!parser->errorTrace() && value->isEqual(other));

    auto writer = make<PJsonWriter>();
    auto written = writer->stringWithFragment(value);
    auto pebbleWritten = pebble->stringWithFragment(other, &error);
    check(written && pebbleWritten && written->isEqual(pebbleWritten));
    auto reread = parser->fragmentWithString(written);
    check(reread && reread->isEqual(value));

    // Human-readable, sorted output reads back equal as well.
    writer->setHumanReadable(true);
    writer->setSortKeys(true);
    auto pretty = writer->stringWithFragment(value);
    check(pretty != nullptr);
    auto prettyValue = parser->fragmentWithString(pretty);
    check(prettyValue && prettyValue->isEqual(value));
    return 0;
}
