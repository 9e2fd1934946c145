#include "ui/core/DZEntityTables.h"

#include <string>

#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"
#include "json/NSString+HXHTMLAdditions.h"

namespace {
ProcessWide<DZEntityTables>& shared() {
    static ProcessWide<DZEntityTables> slot;
    return slot;
}
}  // namespace

Ref<DZEntityTables> DZEntityTables::sharedInstance() {
    return shared().get();
}

void DZEntityTables::releaseSharedInstance() {
    shared().reset();
}

Ref<NSDictionary> DZEntityTables::iso88591() {
    if (iso88591_) return iso88591_;
    auto table = NSMutableDictionary::dictionary();
    auto add = [&](std::string_view name, std::string_view bytes) {
        table->setObject(NSData::dataWithBytes(bytes.data(), bytes.size()),
                         NSString::fromUTF8(name));
    };
    add("quot", "\"");
    add("apos", "'");
    add("amp", "&");
    add("lt", "<");
    add("gt", ">");
    // A plain space, not U+00A0: stripped texts break and trim like ordinary ones.
    add("nbsp", " ");
    // The Latin-1 names of HTML, U+00A1 to U+00FF, but the soft hyphen.
    for (const HXHTMLEscapeMap& entity : HXFullHTMLEscapeTable) {
        char16_t c = entity.uchar;
        if (c < 0xA1 || c > 0xFF || c == 0xAD) continue;
        std::string_view name(entity.escapeSequence);
        name = name.substr(1, name.size() - 2);  // without "&" and ";"
        const char utf8[2] = {static_cast<char>(0xC0 | (c >> 6)),
                              static_cast<char>(0x80 | (c & 0x3F))};
        add(name, std::string_view(utf8, 2));
    }
    iso88591_ = table->copy();
    return iso88591_;
}
