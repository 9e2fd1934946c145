// The HTML string operations on arbitrary text. Bytes with an odd first byte are read as UTF-16
// units, so that lone surrogates and every unit reach the code; others as UTF-8.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "Foundation/NSString.h"
#include "json/NSString+HTML.h"
#include "json/NSString+HXHTMLAdditions.h"

namespace {

Ref<NSString> textOf(const uint8_t* bytes, size_t size) {
    if (size && (bytes[0] & 1)) {
        std::u16string units;
        for (size_t i = 1; i + 1 < size; i += 2)
            units += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        return NSString::adoptUnits(std::move(units));
    }
    return NSString::fromUTF8(std::string_view(reinterpret_cast<const char*>(bytes), size));
}

// Characters whose references the decoder reads back: one unit each, surrogates and U+FFFF
// excepted.
bool decodable(NSString* s) {
    for (char16_t c : s->u16()) {
        if ((c >= 0xD800 && c <= 0xDFFF) || c == 0xFFFF) return false;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    NSAutoreleasePool pool;
    auto s = textOf(bytes, size);
    auto decoded = stringByDecodingHTMLEntities(s);
    auto encoded = stringByEncodingHTMLEntities(s);
    if (!decoded || !encoded) abort();
    for (char16_t c : encoded->u16()) {
        if (c >= 128) abort();  // the full table and references leave only ASCII
    }
    if (decodable(s) && !stringByDecodingHTMLEntities(encoded)->isEqualToString(s)) abort();
    hx_stringByEscapingForHTML(s);
    stringByConvertingHTMLToPlainText(s);
    stringWithNewLinesAsBRs(s);
    stringByRemovingNewLinesAndWhitespace(s);
    stringByStrippingTags(s);
    return 0;
}
