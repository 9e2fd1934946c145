#include "json/NSString+HXHTMLAdditions.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <iterator>
#include <string>
#include <string_view>

#include "Foundation/NSCharacterSet.h"
#include "Foundation/NSScanner.h"
#include "Foundation/NSString.h"
#include "Foundation/UnitSearch.h"

// clang-format off
constexpr HXHTMLEscapeMap HXFullHTMLEscapeTable[253] = {
    {"&quot;", 34}, {"&amp;", 38}, {"&apos;", 39}, {"&lt;", 60}, {"&gt;", 62}, {"&nbsp;", 160},
    {"&iexcl;", 161}, {"&cent;", 162}, {"&pound;", 163}, {"&curren;", 164}, {"&yen;", 165},
    {"&brvbar;", 166}, {"&sect;", 167}, {"&uml;", 168}, {"&copy;", 169}, {"&ordf;", 170},
    {"&laquo;", 171}, {"&not;", 172}, {"&shy;", 173}, {"&reg;", 174}, {"&macr;", 175},
    {"&deg;", 176}, {"&plusmn;", 177}, {"&sup2;", 178}, {"&sup3;", 179}, {"&acute;", 180},
    {"&micro;", 181}, {"&para;", 182}, {"&middot;", 183}, {"&cedil;", 184}, {"&sup1;", 185},
    {"&ordm;", 186}, {"&raquo;", 187}, {"&frac14;", 188}, {"&frac12;", 189}, {"&frac34;", 190},
    {"&iquest;", 191}, {"&Agrave;", 192}, {"&Aacute;", 193}, {"&Acirc;", 194}, {"&Atilde;", 195},
    {"&Auml;", 196}, {"&Aring;", 197}, {"&AElig;", 198}, {"&Ccedil;", 199}, {"&Egrave;", 200},
    {"&Eacute;", 201}, {"&Ecirc;", 202}, {"&Euml;", 203}, {"&Igrave;", 204}, {"&Iacute;", 205},
    {"&Icirc;", 206}, {"&Iuml;", 207}, {"&ETH;", 208}, {"&Ntilde;", 209}, {"&Ograve;", 210},
    {"&Oacute;", 211}, {"&Ocirc;", 212}, {"&Otilde;", 213}, {"&Ouml;", 214}, {"&times;", 215},
    {"&Oslash;", 216}, {"&Ugrave;", 217}, {"&Uacute;", 218}, {"&Ucirc;", 219}, {"&Uuml;", 220},
    {"&Yacute;", 221}, {"&THORN;", 222}, {"&szlig;", 223}, {"&agrave;", 224}, {"&aacute;", 225},
    {"&acirc;", 226}, {"&atilde;", 227}, {"&auml;", 228}, {"&aring;", 229}, {"&aelig;", 230},
    {"&ccedil;", 231}, {"&egrave;", 232}, {"&eacute;", 233}, {"&ecirc;", 234}, {"&euml;", 235},
    {"&igrave;", 236}, {"&iacute;", 237}, {"&icirc;", 238}, {"&iuml;", 239}, {"&eth;", 240},
    {"&ntilde;", 241}, {"&ograve;", 242}, {"&oacute;", 243}, {"&ocirc;", 244}, {"&otilde;", 245},
    {"&ouml;", 246}, {"&divide;", 247}, {"&oslash;", 248}, {"&ugrave;", 249}, {"&uacute;", 250},
    {"&ucirc;", 251}, {"&uuml;", 252}, {"&yacute;", 253}, {"&thorn;", 254}, {"&yuml;", 255},
    {"&OElig;", 338}, {"&oelig;", 339}, {"&Scaron;", 352}, {"&scaron;", 353}, {"&Yuml;", 376},
    {"&fnof;", 402}, {"&circ;", 710}, {"&tilde;", 732}, {"&Alpha;", 913}, {"&Beta;", 914},
    {"&Gamma;", 915}, {"&Delta;", 916}, {"&Epsilon;", 917}, {"&Zeta;", 918}, {"&Eta;", 919},
    {"&Theta;", 920}, {"&Iota;", 921}, {"&Kappa;", 922}, {"&Lambda;", 923}, {"&Mu;", 924},
    {"&Nu;", 925}, {"&Xi;", 926}, {"&Omicron;", 927}, {"&Pi;", 928}, {"&Rho;", 929},
    {"&Sigma;", 931}, {"&Tau;", 932}, {"&Upsilon;", 933}, {"&Phi;", 934}, {"&Chi;", 935},
    {"&Psi;", 936}, {"&Omega;", 937}, {"&alpha;", 945}, {"&beta;", 946}, {"&gamma;", 947},
    {"&delta;", 948}, {"&epsilon;", 949}, {"&zeta;", 950}, {"&eta;", 951}, {"&theta;", 952},
    {"&iota;", 953}, {"&kappa;", 954}, {"&lambda;", 955}, {"&mu;", 956}, {"&nu;", 957},
    {"&xi;", 958}, {"&omicron;", 959}, {"&pi;", 960}, {"&rho;", 961}, {"&sigmaf;", 962},
    {"&sigma;", 963}, {"&tau;", 964}, {"&upsilon;", 965}, {"&phi;", 966}, {"&chi;", 967},
    {"&psi;", 968}, {"&omega;", 969}, {"&thetasym;", 977}, {"&upsih;", 978}, {"&piv;", 982},
    {"&ensp;", 8194}, {"&emsp;", 8195}, {"&thinsp;", 8201}, {"&zwnj;", 8204}, {"&zwj;", 8205},
    {"&lrm;", 8206}, {"&rlm;", 8207}, {"&ndash;", 8211}, {"&mdash;", 8212}, {"&lsquo;", 8216},
    {"&rsquo;", 8217}, {"&sbquo;", 8218}, {"&ldquo;", 8220}, {"&rdquo;", 8221}, {"&bdquo;", 8222},
    {"&dagger;", 8224}, {"&Dagger;", 8225}, {"&bull;", 8226}, {"&hellip;", 8230},
    {"&permil;", 8240}, {"&prime;", 8242}, {"&Prime;", 8243}, {"&lsaquo;", 8249},
    {"&rsaquo;", 8250}, {"&oline;", 8254}, {"&frasl;", 8260}, {"&euro;", 8364}, {"&image;", 8465},
    {"&weierp;", 8472}, {"&real;", 8476}, {"&trade;", 8482}, {"&alefsym;", 8501}, {"&larr;", 8592},
    {"&uarr;", 8593}, {"&rarr;", 8594}, {"&darr;", 8595}, {"&harr;", 8596}, {"&crarr;", 8629},
    {"&lArr;", 8656}, {"&uArr;", 8657}, {"&rArr;", 8658}, {"&dArr;", 8659}, {"&hArr;", 8660},
    {"&forall;", 8704}, {"&part;", 8706}, {"&exist;", 8707}, {"&empty;", 8709}, {"&nabla;", 8711},
    {"&isin;", 8712}, {"&notin;", 8713}, {"&ni;", 8715}, {"&prod;", 8719}, {"&sum;", 8721},
    {"&minus;", 8722}, {"&lowast;", 8727}, {"&radic;", 8730}, {"&prop;", 8733}, {"&infin;", 8734},
    {"&ang;", 8736}, {"&and;", 8743}, {"&or;", 8744}, {"&cap;", 8745}, {"&cup;", 8746},
    {"&int;", 8747}, {"&there4;", 8756}, {"&sim;", 8764}, {"&cong;", 8773}, {"&asymp;", 8776},
    {"&ne;", 8800}, {"&equiv;", 8801}, {"&le;", 8804}, {"&ge;", 8805}, {"&sub;", 8834},
    {"&sup;", 8835}, {"&nsub;", 8836}, {"&sube;", 8838}, {"&supe;", 8839}, {"&oplus;", 8853},
    {"&otimes;", 8855}, {"&perp;", 8869}, {"&sdot;", 8901}, {"&lceil;", 8968}, {"&rceil;", 8969},
    {"&lfloor;", 8970}, {"&rfloor;", 8971}, {"&lang;", 9001}, {"&rang;", 9002}, {"&loz;", 9674},
    {"&spades;", 9824}, {"&clubs;", 9827}, {"&hearts;", 9829}, {"&diams;", 9830},
};

constexpr HXHTMLEscapeMap HXShortHTMLEscapeTable[33] = {
    {"&quot;", 34}, {"&amp;", 38}, {"&apos;", 39}, {"&lt;", 60}, {"&gt;", 62}, {"&OElig;", 338},
    {"&oelig;", 339}, {"&Scaron;", 352}, {"&scaron;", 353}, {"&Yuml;", 376}, {"&circ;", 710},
    {"&tilde;", 732}, {"&ensp;", 8194}, {"&emsp;", 8195}, {"&thinsp;", 8201}, {"&zwnj;", 8204},
    {"&zwj;", 8205}, {"&lrm;", 8206}, {"&rlm;", 8207}, {"&ndash;", 8211}, {"&mdash;", 8212},
    {"&lsquo;", 8216}, {"&rsquo;", 8217}, {"&sbquo;", 8218}, {"&ldquo;", 8220}, {"&rdquo;", 8221},
    {"&bdquo;", 8222}, {"&dagger;", 8224}, {"&Dagger;", 8225}, {"&permil;", 8240},
    {"&lsaquo;", 8249}, {"&rsaquo;", 8250}, {"&euro;", 8364},
};
// clang-format on

namespace {

constexpr bool sortedByUnit(const HXHTMLEscapeMap* table, size_t count) {
    for (size_t i = 1; i < count; ++i) {
        if (table[i - 1].uchar >= table[i].uchar) return false;
    }
    return true;
}
static_assert(sortedByUnit(HXFullHTMLEscapeTable, 253), "the escaper searches by halves");
static_assert(sortedByUnit(HXShortHTMLEscapeTable, 33), "the escaper searches by halves");

const HXHTMLEscapeMap* findUnit(const HXHTMLEscapeMap* table, size_t count, char16_t c) {
    size_t lo = 0, hi = count;
    while (lo < hi) {
        size_t mid = lo + (hi - lo) / 2;
        if (table[mid].uchar == c) return &table[mid];
        if (table[mid].uchar < c) {
            lo = mid + 1;
        } else {
            hi = mid;
        }
    }
    return nullptr;
}

// The full table by entity text; its texts are all distinct, so this gives what a walk in table
// order would. An open table of twice a power of two the entries, hashed as the reference's units
// are read, so that a lookup makes no key and divides nothing.
class EntityIndex {
public:
    EntityIndex() {
        for (const auto& e : HXFullHTMLEscapeTable) {
            std::string_view text(e.escapeSequence);
            size_t slot = hash(text) & kMask;
            while (slots_[slot])
                slot = (slot + 1) & kMask;
            slots_[slot] = &e;
        }
    }
    char16_t find(std::u16string_view reference) const {
        uint32_t h = kBasis;
        for (char16_t c : reference) {
            if (c >= 0x80) return 0;
            h = step(h, static_cast<char>(c));
        }
        for (size_t slot = h & kMask; const HXHTMLEscapeMap* e = slots_[slot];
             slot = (slot + 1) & kMask) {
            if (sameText(e->escapeSequence, reference)) return e->uchar;
        }
        return 0;
    }

private:
    static constexpr size_t kSlots = 512;
    static constexpr size_t kMask = kSlots - 1;
    static_assert(std::size(HXFullHTMLEscapeTable) * 2 <= kSlots);
    static constexpr uint32_t kBasis = 2166136261u;
    static uint32_t step(uint32_t h, char c) {
        return (h ^ static_cast<unsigned char>(c)) * 16777619u;
    }
    static uint32_t hash(std::string_view text) {
        uint32_t h = kBasis;
        for (char c : text)
            h = step(h, c);
        return h;
    }
    static bool sameText(const char* text, std::u16string_view reference) {
        for (char16_t c : reference) {
            if (*text == 0 || static_cast<unsigned char>(*text) != c) return false;
            ++text;
        }
        return *text == 0;
    }
    const HXHTMLEscapeMap* slots_[kSlots] = {};
};

char16_t unitForEntity(std::u16string_view reference) {
    static const EntityIndex index;
    return index.find(reference);
}

// Plain digits of the base, read directly: what the scanner would answer for them.
bool plainDigits(std::u16string_view digits, bool hex, unsigned* value) {
    if (digits.empty()) return false;
    unsigned v = 0;
    for (char16_t c : digits) {
        unsigned d;
        if (c >= u'0' && c <= u'9') {
            d = c - u'0';
        } else if (hex && c >= u'a' && c <= u'f') {
            d = c - u'a' + 10;
        } else if (hex && c >= u'A' && c <= u'F') {
            d = c - u'A' + 10;
        } else {
            return false;
        }
        // At most seven decimal or six hexadecimal digits: no overflow.
        v = v * (hex ? 16 : 10) + d;
    }
    *value = v;
    return true;
}

// A numeric reference's value: plain digits directly, anything else (signs, blanks, a "0x")
// read by the platform scanner, which must end exactly at the semicolon; 0 when the reference
// is not valid.
unsigned numericValue(std::u16string_view digits, bool hex) {
    long long value = 0;
    if (unsigned plain; digits.size() <= 7 && plainDigits(digits, hex, &plain)) {
        value = plain;
    } else {
        auto text = NSString::fromUTF16(digits);
        auto scanner = NSScanner::scannerWithString(text);
        if (hex) {
            unsigned v = 0;
            if (!scanner->scanHexInt(&v)) return 0;
            value = v;
        } else {
            int v = 0;
            if (!scanner->scanInt(&v)) return 0;
            value = v;
        }
        if (scanner->scanLocation() != text->length()) return 0;
    }
    // One UTF-16 unit, and not half of a pair: a lone surrogate would make the text ill-formed.
    if (value < 1 || value > 65534 || (value >= 0xD800 && value <= 0xDFFF)) return 0;
    return static_cast<unsigned>(value);
}

// The character a reference of 4 to 10 units ("&...;") stands for, or 0.
char16_t decodeReference(std::u16string_view ref) {
    if (ref[1] == u'#') {
        if (ref[2] == u'x' || ref[2] == u'X') {
            return static_cast<char16_t>(numericValue(ref.substr(3, ref.size() - 4), true));
        }
        return static_cast<char16_t>(numericValue(ref.substr(2, ref.size() - 3), false));
    }
    return unitForEntity(ref);
}

void appendDecimalReference(std::u16string& out, uint32_t value) {
    char buf[16];
    int n = std::snprintf(buf, sizeof buf, "&#%u;", value);
    for (int i = 0; i < n; ++i)
        out += static_cast<char16_t>(buf[i]);
}

}  // namespace

Ref<NSString> hx_stringByEscapingHTMLUsingTable(NSString* string, const HXHTMLEscapeMap* table,
                                                size_t size, bool escapingUnicode) {
    if (!string || string->length() == 0) return string;
    const size_t count = size / sizeof(HXHTMLEscapeMap);
    std::u16string units = string->u16();
    std::u16string out;
    out.reserve(units.size() + units.size() / 8);
    const size_t n = units.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t c = units[i];
        if (const HXHTMLEscapeMap* e = findUnit(table, count, c)) {
            for (const char* p = e->escapeSequence; *p; ++p)
                out += static_cast<char16_t>(*p);
        } else if (escapingUnicode && c >= 128) {
            uint32_t value = c;
            // A pair is one character and one reference; references to its halves would each
            // read as a replacement character.
            if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
                units[i + 1] <= 0xDFFF) {
                value = 0x10000 + ((value - 0xD800) << 10) + (units[++i] - 0xDC00);
            }
            appendDecimalReference(out, value);
        } else {
            out += c;
        }
    }
    return NSString::adoptUnits(std::move(out));
}

Ref<NSString> hx_stringByEscapingForHTML(NSString* string) {
    return hx_stringByEscapingHTMLUsingTable(string, HXShortHTMLEscapeTable,
                                             sizeof HXShortHTMLEscapeTable, false);
}

Ref<NSString> hx_stringByEscapingForAsciiHTML(NSString* string) {
    return hx_stringByEscapingHTMLUsingTable(string, HXFullHTMLEscapeTable,
                                             sizeof HXFullHTMLEscapeTable, true);
}

Ref<NSString> hx_stringByUnescapingFromHTML(NSString* string) {
    if (!string) return nullptr;
    // The units are read in place when the string keeps them so; most texts hold no reference.
    std::u16string copied;
    const char16_t* units = string->charactersPtr();
    if (!units) {
        copied = string->u16();
        units = copied.data();
    }
    const size_t length = string->length();
    size_t amp = bn::findUnit(units, 0, length, u'&');
    if (amp == length) return string;

    // The decoded text is never longer than the text; a short one is assembled on the stack,
    // then copied into the string's own allocation: one allocation per decoded text.
    char16_t small[256];
    std::u16string large;
    char16_t* out = small;
    if (length > std::size(small)) {
        large.resize(length);
        out = large.data();
    }
    size_t written = 0;
    size_t from = 0;
    auto keep = [&](size_t to) {
        std::copy(units + from, units + to, out + written);
        written += to - from;
    };
    // A reference runs from an ampersand to a semicolon at most 10 units on and before the next
    // ampersand, so each is looked at once and what a replacement yields is never read again.
    while (amp < length) {
        const size_t next = bn::findUnit(units, amp + 1, length, u'&');
        const size_t limit = std::min(next, amp + 10);
        size_t semi = amp + 1;
        while (semi < limit && units[semi] != u';')
            ++semi;
        if (semi < limit && semi - amp + 1 >= 4) {
            if (char16_t c = decodeReference(std::u16string_view(units + amp, semi - amp + 1))) {
                keep(amp);
                out[written++] = c;
                from = semi + 1;
            }
        }
        amp = next;
    }
    keep(length);
    return NSString::compactStringWithUnits(std::u16string_view(out, written));
}
