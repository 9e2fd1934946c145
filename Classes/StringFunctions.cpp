#include "Classes/StringFunctions.h"

#include <iterator>
#include <string>
#include <string_view>

namespace {
struct EntityPair {
    std::u16string_view reference;
    char16_t replacement;
};

// Walked in this order: "&amp;" second means "&amp;lt;" decodes twice, to "<", as the scraped
// pages have always been read.
constexpr EntityPair kEntities[] = {
    {u"&quot;", u'"'},
    {u"&amp;", u'&'},
    {u"&lt;", u'<'},
    {u"&gt;", u'>'},
    {u"&nbsp;", u' '},
    {u"&iexcl;", 0xA1},
    {u"&cent;", 0xA2},
    {u"&pound;", 0xA3},
    {u"&curren;", 0xA4},
    {u"&euro;", 0x20AC},
    {u"&yen;", 0xA5},
    {u"&brvbar;", 0xA6},
    {u"&sect;", 0xA7},
    {u"&uml;", 0xA8},
    {u"&copy;", 0xA9},
    {u"&ordf;", 0xAA},
    {u"&not;", 0xAC},
    {u"&reg;", 0xAE},
    {u"&macr;", 0xAF},
    {u"&deg;", 0xB0},
    {u"&plusmn;", 0xB1},
    {u"&sup2;", 0xB2},
    {u"&sup3;", 0xB3},
    {u"&acute;", 0xB4},
    {u"&micro;", 0xB5},
    {u"&para;", 0xB6},
    {u"&middot;", 0xB7},
    {u"&cedil;", 0xB8},
    {u"&sup1;", 0xB9},
    {u"&ordm;", 0xBA},
    {u"&raquo;", 0xBB},
    {u"&frac14;", 0xBC},
    {u"&frac12;", 0xBD},
    {u"&frac34;", 0xBE},
    {u"&iquest;", 0xBF},
    {u"&Agrave;", 0xC0},
    {u"&Aacute;", 0xC1},
    {u"&Atilde;", 0xC3},
    {u"&Auml;", 0xC4},
    {u"&Aring;", 0xC5},
    {u"&AElig;", 0xC6},
    {u"&Ccedil;", 0xC7},
    {u"&Egrave;", 0xC8},
    {u"&Eacute;", 0xC9},
    {u"&Ecirc;", 0xCA},
    {u"&Igrave;", 0xCC},
    {u"&Iacute;", 0xCD},
    {u"&Icirc;", 0xCE},
    {u"&Iuml;", 0xCF},
    {u"&ETH;", 0xD0},
    {u"&Ntilde;", 0xD1},
    {u"&Ograve;", 0xD2},
    {u"&Oacute;", 0xD3},
    {u"&Ocirc;", 0xD4},
    {u"&Otilde;", 0xD5},
    {u"&Ouml;", 0xD6},
    {u"&times;", 0xD7},
    {u"&Oslash;", 0xD8},
    {u"&Ugrave;", 0xD9},
    {u"&Uacute;", 0xDA},
    {u"&Ucirc;", 0xDB},
    {u"&Uuml;", 0xDC},
    {u"&Yacute;", 0xDD},
    {u"&THORN;", 0xDE},
    {u"&szlig;", 0xDF},
    {u"&agrave;", 0xE0},
    {u"&aacute;", 0xE1},
    {u"&acirc;", 0xE2},
    {u"&atilde;", 0xE3},
    {u"&auml;", 0xE4},
    {u"&aring;", 0xE5},
    {u"&aelig;", 0xE6},
    {u"&ccedil;", 0xE7},
    {u"&egrave;", 0xE8},
    {u"&eacute;", 0xE9},
    {u"&ecirc;", 0xEA},
    {u"&euml;", 0xEB},
    {u"&igrave;", 0xEC},
    {u"&iacute;", 0xED},
    {u"&icirc;", 0xEE},
    {u"&iuml;", 0xEF},
    {u"&eth;", 0xF0},
    {u"&ntilde;", 0xF1},
    {u"&ograve;", 0xF2},
    {u"&oacute;", 0xF3},
    {u"&ocirc;", 0xF4},
    {u"&otilde;", 0xF5},
    {u"&ouml;", 0xF6},
    {u"&divide;", 0xF7},
    {u"&oslash;", 0xF8},
    {u"&ugrave;", 0xF9},
    {u"&uacute;", 0xFA},
    {u"&ucirc;", 0xFB},
    {u"&uuml;", 0xFC},
    {u"&yacute;", 0xFD},
    {u"&thorn;", 0xFE},
    // A common slip of page authors, and the one numeric reference the names use.
    {u"&nbsp", u' '},
    {u"&#183;", 0xB7},
};
static_assert(std::size(kEntities) == 98);

// Replaces every occurrence of `from` (left to right, without rescanning what was put in).
void replaceAll(std::u16string& text, std::u16string_view from, char16_t to) {
    size_t at = text.find(from);
    if (at == std::u16string::npos) return;
    std::u16string out;
    out.reserve(text.size());
    size_t start = 0;
    while (at != std::u16string::npos) {
        out.append(text, start, at - start);
        out.push_back(to);
        start = at + from.size();
        at = text.find(from, start);
    }
    out.append(text, start, std::u16string::npos);
    text.swap(out);
}
}  // namespace

Ref<NSString> decodeHtmlEntityString(NSString* text) {
    if (!text) return nullptr;
    std::u16string units = text->u16();
    if (units.find(u'&') == std::u16string::npos) return text;
    for (const auto& pair : kEntities) {
        if (units.find(u'&') == std::u16string::npos) break;
        replaceAll(units, pair.reference, pair.replacement);
    }
    return NSString::adoptUnits(std::move(units));
}

Ref<NSString> escapeQueryString(NSString* text) {
    if (!text) return nullptr;
    auto escaped = text->stringByAddingPercentEscapesUsingEncoding(NSUTF8StringEncoding, NS(""),
                                                                   NS("!'();:@&=+$,/?%#[] "));
    if (!escaped) return nullptr;
    // Each line feed goes out followed by a carriage return.
    return escaped->stringByReplacingOccurrencesOfString(NS("%0A"), NS("%0A%0D"));
}
