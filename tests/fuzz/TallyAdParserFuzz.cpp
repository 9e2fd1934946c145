// The ad reply parser on arbitrary bytes: it must never read past the reply, must finish every
// non-empty reply (phase 1), and whatever it stored must answer the lookups.
#include <cstdint>
#include <cstdlib>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "ads/tally/TallyAdClient.h"
#include "ads/tally/TallyAdModel.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    // No file cache: the end chunk archives nothing, so runs stay in memory.
    auto parser = make<TallyAdParser>();
    parser->parseData(NSData::dataWithBytes(bytes, size));
    if (size > 0 && parser->adParsingPhase() != 1) abort();
    auto hooks = parser->hookMap();
    auto names = hooks->allKeys();
    for (auto* name : *names) {
        if (!is<NSString>(name)) abort();
        parser->hookWithName(static_cast<NSString*>(name));
        parser->adWithHook(static_cast<NSString*>(name), nullptr);
    }
    auto codes = parser->imageCodeMap()->allKeys();
    for (auto* code : *codes)
        parser->getImageWithCode(static_cast<NSNumber*>(code));
    return 0;
}
