#include "Foundation/NSPropertyList.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "Foundation/FileSupport.h"
#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDate.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/TextSupport.h"

namespace {

// Deeper trees are refused rather than risking the stack (and catch containers that hold
// themselves).
constexpr int kMaxDepth = 512;

Ref<NSError> plistError(NSInteger code, const std::string& debug) {
    return NSError::errorWithDomain(
        NSCocoaErrorDomain, code,
        NSDictionary::dictionaryWithObject(NSString::fromUTF8(debug), NS("NSDebugDescription")));
}

// ---- text of dates ---------------------------------------------------------------------------

// Days from 1970-01-01 of a proleptic Gregorian date, and back.
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
    z += 719468;
    const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    y = static_cast<int64_t>(yoe) + era * 400;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = doy - (153 * mp + 2) / 5 + 1;
    m = mp < 10 ? mp + 3 : mp - 9;
    if (m <= 2) ++y;
}

// "2012-03-01T12:00:00Z", whole seconds.
std::string isoDate(NSDate* date) {
    double t = std::floor(date->timeIntervalSince1970());
    if (!std::isfinite(t) || std::fabs(t) > 2.5e14) t = 0;
    int64_t secs = static_cast<int64_t>(t);
    int64_t days = secs >= 0 ? secs / 86400 : -((-secs + 86399) / 86400);
    int64_t rem = secs - days * 86400;
    int64_t y;
    unsigned m, d;
    civilFromDays(days, y, m, d);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%04lld-%02u-%02uT%02d:%02d:%02dZ", static_cast<long long>(y), m,
                  d, static_cast<int>(rem / 3600), static_cast<int>(rem / 60 % 60),
                  static_cast<int>(rem % 60));
    return buf;
}

bool parseDigits(std::string_view s, size_t& pos, size_t count, int& out) {
    if (pos + count > s.size()) return false;
    int v = 0;
    for (size_t i = 0; i < count; ++i) {
        char c = s[pos + i];
        if (c < '0' || c > '9') return false;
        v = v * 10 + (c - '0');
    }
    pos += count;
    out = v;
    return true;
}

// Reads "YYYY-MM-DDTHH:MM:SS[.fff]Z"; nil when the text is not such a date.
Ref<NSDate> parseISODate(std::string_view s) {
    size_t p = 0;
    int y = 0, mo = 0, d = 0, h = 0, mi = 0, se = 0;
    if (!parseDigits(s, p, 4, y)) return nullptr;
    if (p >= s.size() || s[p++] != '-' || !parseDigits(s, p, 2, mo)) return nullptr;
    if (p >= s.size() || s[p++] != '-' || !parseDigits(s, p, 2, d)) return nullptr;
    double fraction = 0;
    if (p < s.size() && s[p] == 'T') {
        ++p;
        if (!parseDigits(s, p, 2, h)) return nullptr;
        if (p >= s.size() || s[p++] != ':' || !parseDigits(s, p, 2, mi)) return nullptr;
        if (p >= s.size() || s[p++] != ':' || !parseDigits(s, p, 2, se)) return nullptr;
        if (p < s.size() && s[p] == '.') {
            size_t start = p++;
            while (p < s.size() && s[p] >= '0' && s[p] <= '9')
                ++p;
            if (p == start + 1) return nullptr;
            std::from_chars(s.data() + start, s.data() + p, fraction);
        }
    }
    if (p >= s.size() || s[p++] != 'Z' || p != s.size()) return nullptr;
    if (mo < 1 || mo > 12 || d < 1 || d > 31 || h > 23 || mi > 59 || se > 60) return nullptr;
    double t =
        static_cast<double>(daysFromCivil(y, static_cast<unsigned>(mo), static_cast<unsigned>(d))) *
            86400.0 +
        h * 3600.0 + mi * 60.0 + se + fraction;
    return NSDate::dateWithTimeIntervalSince1970(t);
}

// ---- text of numbers -------------------------------------------------------------------------

// The shortest text that reads back as the same double, in the forms the reader takes.
std::string realText(double v) {
    if (std::isnan(v)) return "nan";
    if (std::isinf(v)) return v > 0 ? "+infinity" : "-infinity";
    char buf[64];
    auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

std::string_view trimmed(std::string_view s) {
    while (!s.empty() && isSpace(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isSpace(s.back()))
        s.remove_suffix(1);
    return s;
}

// Decimal or 0x hexadecimal, signed to the 64-bit range and unsigned above it; nil otherwise.
Ref<NSNumber> parseInteger(std::string_view s) {
    s = trimmed(s);
    bool negative = false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
        negative = s[0] == '-';
        s.remove_prefix(1);
    }
    int base = 10;
    if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        base = 16;
        s.remove_prefix(2);
    }
    if (s.empty()) return nullptr;
    unsigned long long magnitude = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), magnitude, base);
    if (r.ec != std::errc() || r.ptr != s.data() + s.size()) return nullptr;
    if (negative) {
        constexpr unsigned long long limit = 1ULL << 63;
        if (magnitude > limit) return nullptr;
        if (magnitude == limit) return NSNumber::numberWithLongLong(INT64_MIN);
        return NSNumber::numberWithLongLong(-static_cast<long long>(magnitude));
    }
    if (magnitude > static_cast<unsigned long long>(INT64_MAX)) {
        return NSNumber::numberWithUnsignedLongLong(magnitude);
    }
    return NSNumber::numberWithLongLong(static_cast<long long>(magnitude));
}

Ref<NSNumber> parseReal(std::string_view s) {
    s = trimmed(s);
    std::string lower;
    for (char c : s)
        lower.push_back(static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c));
    if (lower == "nan") return NSNumber::numberWithDouble(std::numeric_limits<double>::quiet_NaN());
    if (lower == "inf" || lower == "+inf" || lower == "infinity" || lower == "+infinity") {
        return NSNumber::numberWithDouble(std::numeric_limits<double>::infinity());
    }
    if (lower == "-inf" || lower == "-infinity") {
        return NSNumber::numberWithDouble(-std::numeric_limits<double>::infinity());
    }
    // from_chars takes a leading '-' but no '+'.
    std::string_view digits = s;
    if (!digits.empty() && digits[0] == '+') {
        digits.remove_prefix(1);
        if (!digits.empty() && digits[0] == '-') return nullptr;
    }
    double v = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), v,
                             std::chars_format::general);
    if (r.ec != std::errc() || r.ptr != digits.data() + digits.size()) return nullptr;
    return NSNumber::numberWithDouble(v);
}

// ---- the XML writer --------------------------------------------------------------------------

class XMLWriter {
public:
    std::string out;
    std::string problem;  // why the tree is not a property list

    bool write(NSObject* o, int depth) {
        if (depth > kMaxDepth) {
            problem = "property list nested too deeply";
            return false;
        }
        if (!o) {
            problem = "property lists cannot contain nil";
            return false;
        }
        if (auto s = as<NSString>(o)) {
            line(depth, "<string>" + escaped(s->utf8()) + "</string>");
        } else if (auto n = as<NSNumber>(o)) {
            writeNumber(n, depth);
        } else if (auto d = as<NSDate>(o)) {
            line(depth, "<date>" + isoDate(d) + "</date>");
        } else if (auto data = as<NSData>(o)) {
            writeData(data, depth);
        } else if (auto a = as<NSArray>(o)) {
            if (a->count() == 0) {
                line(depth, "<array/>");
                return true;
            }
            line(depth, "<array>");
            for (NSObject* e : *a) {
                if (!write(e, depth + 1)) return false;
            }
            line(depth, "</array>");
        } else if (auto dict = as<NSDictionary>(o)) {
            if (dict->count() == 0) {
                line(depth, "<dict/>");
                return true;
            }
            line(depth, "<dict>");
            for (NSObject* key : *dict) {
                auto k = as<NSString>(key);
                if (!k) {
                    problem =
                        "dictionary keys must be strings, not '" + key->className()->utf8() + "'";
                    return false;
                }
                line(depth + 1, "<key>" + escaped(k->utf8()) + "</key>");
                if (!write(dict->objectForKey(key), depth + 1)) return false;
            }
            line(depth, "</dict>");
        } else {
            problem =
                "property lists cannot contain objects of type '" + o->className()->utf8() + "'";
            return false;
        }
        return true;
    }

private:
    void line(int depth, const std::string& text) {
        out.append(static_cast<size_t>(depth), '\t');
        out += text;
        out += '\n';
    }

    static std::string escaped(const std::string& s) {
        std::string r;
        r.reserve(s.size());
        for (char c : s) {
            switch (c) {
                case '&':
                    r += "&amp;";
                    break;
                case '<':
                    r += "&lt;";
                    break;
                case '>':
                    r += "&gt;";
                    break;
                default:
                    r += c;
            }
        }
        return r;
    }

    void writeNumber(NSNumber* n, int depth) {
        if (n->isBoolean()) {
            line(depth, n->boolValue() ? "<true/>" : "<false/>");
            return;
        }
        char type = n->objCType()[0];
        if (type == 'f' || type == 'd') {
            line(depth, "<real>" + realText(n->doubleValue()) + "</real>");
        } else if (type == 'Q' || type == 'L') {
            line(depth, "<integer>" + std::to_string(n->unsignedLongLongValue()) + "</integer>");
        } else {
            line(depth, "<integer>" + std::to_string(n->longLongValue()) + "</integer>");
        }
    }

    void writeData(NSData* data, int depth) {
        std::string b64 = data->base64EncodedString()->utf8();
        line(depth, "<data>");
        // Lines narrow as the nesting deepens, as the platform writes them.
        size_t width = static_cast<size_t>(std::max(16, 76 - 8 * depth) / 4 * 4);
        for (size_t i = 0; i < b64.size(); i += width) {
            line(depth, b64.substr(i, width));
        }
        line(depth, "</data>");
    }
};

// ---- reading: shared parts -------------------------------------------------------------------

// A reader's complaint with the line it stopped on (the text is UTF-8 or UTF-16).
template <class Text>
std::string atLine(const std::string& why, Text text, size_t pos) {
    auto end = text.begin() + static_cast<std::ptrdiff_t>(std::min(pos, text.size()));
    return why + " at line " + std::to_string(std::count(text.begin(), end, '\n') + 1);
}

// The leaves and containers of a tree being read, made mutable as the options ask.
struct Builder {
    NSPropertyListMutabilityOptions options = NSPropertyListImmutable;

    Ref<NSObject> string(Ref<NSString> s) {
        if (options == NSPropertyListMutableContainersAndLeaves) return s->mutableCopy();
        return s;
    }
    Ref<NSObject> data(Ref<NSData> d) {
        if (options == NSPropertyListMutableContainersAndLeaves) return d->mutableCopy();
        return d;
    }
    Ref<NSMutableArray> newArray() { return NSMutableArray::array(); }
    Ref<NSMutableDictionary> newDictionary() { return NSMutableDictionary::dictionary(); }
    Ref<NSObject> finish(Ref<NSMutableArray> a) {
        if (options == NSPropertyListImmutable) return a->copy();
        return a;
    }
    Ref<NSObject> finish(Ref<NSMutableDictionary> d) {
        if (options == NSPropertyListImmutable) return d->copy();
        return d;
    }
};

// The document as text: UTF-16 with a byte-order mark (or the zero bytes that betray it) is
// decoded, a UTF-8 mark dropped; anything else is taken as UTF-8.
std::u16string decodeText(std::string_view bytes, bool& wasUTF16) {
    wasUTF16 = false;
    auto u16from = [&](size_t start, bool bigEndian) {
        std::u16string out;
        out.reserve((bytes.size() - start) / 2);
        for (size_t i = start; i + 1 < bytes.size(); i += 2) {
            auto b0 = static_cast<unsigned char>(bytes[i]);
            auto b1 = static_cast<unsigned char>(bytes[i + 1]);
            out.push_back(static_cast<char16_t>(bigEndian ? (b0 << 8 | b1) : (b1 << 8 | b0)));
        }
        wasUTF16 = true;
        return out;
    };
    if (bytes.size() >= 2) {
        auto b0 = static_cast<unsigned char>(bytes[0]);
        auto b1 = static_cast<unsigned char>(bytes[1]);
        if (b0 == 0xFF && b1 == 0xFE) return u16from(2, false);
        if (b0 == 0xFE && b1 == 0xFF) return u16from(2, true);
        if (bytes.size() % 2 == 0 && b0 != 0 && b1 == 0) return u16from(0, false);
        if (bytes.size() % 2 == 0 && b0 == 0 && b1 != 0) return u16from(0, true);
    }
    if (bytes.size() >= 3 && bytes.substr(0, 3) == "\xEF\xBB\xBF") bytes.remove_prefix(3);
    return NSString::fromUTF8(bytes)->u16();
}

// ---- the XML reader --------------------------------------------------------------------------

class XMLReader {
public:
    XMLReader(std::string_view text, Builder b) : s_(text), b_(b) {}

    Ref<NSObject> parseDocument() {
        skipMisc();
        if (!startsWith("<")) return fail("no root element");
        size_t save = pos_;
        std::string name;
        bool empty = false;
        if (!readStartTag(name, empty)) return nullptr;
        Ref<NSObject> result;
        if (name == "plist") {
            if (empty) return fail("empty plist element");
            skipMisc();
            result = parseValue(0);
            if (!result) return nullptr;
            skipMisc();
            if (!readEndTag("plist")) return nullptr;
        } else {
            pos_ = save;
            result = parseValue(0);
            if (!result) return nullptr;
        }
        skipMisc();
        if (unterminated_) return fail("unterminated comment after the root element");
        if (pos_ != s_.size()) return fail("unexpected content after the root element");
        return result;
    }

    std::string error;

private:
    Ref<NSObject> fail(const std::string& why) {
        if (error.empty()) error = atLine(why, s_, pos_);
        return nullptr;
    }

    bool startsWith(std::string_view p) const { return s_.substr(pos_, p.size()) == p; }

    bool skipPast(std::string_view end) {
        size_t at = s_.find(end, pos_);
        if (at == std::string_view::npos) return false;
        pos_ = at + end.size();
        return true;
    }

    // Whitespace, comments, processing instructions and the document type.
    void skipMisc() {
        for (;;) {
            while (pos_ < s_.size() && isSpace(s_[pos_]))
                ++pos_;
            if (startsWith("<!--")) {
                if (!skipPast("-->")) pos_ = s_.size() + 1;  // unterminated: fails later
            } else if (startsWith("<?")) {
                if (!skipPast("?>")) pos_ = s_.size() + 1;
            } else if (startsWith("<!DOCTYPE")) {
                int brackets = 0;
                while (pos_ < s_.size()) {
                    char c = s_[pos_++];
                    if (c == '[') ++brackets;
                    if (c == ']') --brackets;
                    if (c == '>' && brackets <= 0) break;
                }
            } else {
                break;
            }
            if (pos_ > s_.size()) {
                pos_ = s_.size();
                unterminated_ = true;
                return;
            }
        }
    }

    static bool isNameChar(char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '-' || c == ':' || c == '.';
    }

    // "<name attr="v" ...>" or "<name .../>".
    bool readStartTag(std::string& name, bool& empty) {
        if (unterminated_) return fail("unterminated comment or declaration"), false;
        if (pos_ >= s_.size() || s_[pos_] != '<') return fail("expected an element"), false;
        ++pos_;
        size_t start = pos_;
        while (pos_ < s_.size() && isNameChar(s_[pos_]))
            ++pos_;
        if (pos_ == start) return fail("malformed tag"), false;
        name.assign(s_.substr(start, pos_ - start));
        // Attributes are skipped, quoted values included.
        while (pos_ < s_.size()) {
            char c = s_[pos_];
            if (c == '"' || c == '\'') {
                size_t close = s_.find(c, pos_ + 1);
                if (close == std::string_view::npos) break;
                pos_ = close + 1;
            } else if (c == '>') {
                ++pos_;
                empty = false;
                return true;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '>') {
                pos_ += 2;
                empty = true;
                return true;
            } else if (c == '<') {
                break;
            } else {
                ++pos_;
            }
        }
        return fail("unterminated tag <" + name + ">"), false;
    }

    bool readEndTag(std::string_view name) {
        if (!startsWith("</")) return fail("expected </" + std::string(name) + ">"), false;
        size_t p = pos_ + 2;
        if (s_.substr(p, name.size()) != name) {
            return fail("mismatched closing tag, expected </" + std::string(name) + ">"), false;
        }
        p += name.size();
        while (p < s_.size() && isSpace(s_[p]))
            ++p;
        if (p >= s_.size() || s_[p] != '>') return fail("malformed closing tag"), false;
        pos_ = p + 1;
        return true;
    }

    // The character content up to the closing tag of `name`, entities decoded. Elements
    // inside are an error; comments and CDATA sections are allowed.
    bool readText(std::string_view name, std::string& out) {
        for (;;) {
            if (pos_ >= s_.size())
                return fail("unexpected end inside <" + std::string(name) + ">"), false;
            char c = s_[pos_];
            if (c == '<') {
                if (startsWith("<![CDATA[")) {
                    size_t end = s_.find("]]>", pos_ + 9);
                    if (end == std::string_view::npos) return fail("unterminated CDATA"), false;
                    out.append(s_.substr(pos_ + 9, end - pos_ - 9));
                    pos_ = end + 3;
                    continue;
                }
                if (startsWith("<!--")) {
                    if (!skipPast("-->")) return fail("unterminated comment"), false;
                    continue;
                }
                return readEndTag(name);
            }
            if (c == '&') {
                if (!readEntity(out)) return false;
                continue;
            }
            out += c;
            ++pos_;
        }
    }

    bool readEntity(std::string& out) {
        size_t semi = s_.find(';', pos_);
        if (semi == std::string_view::npos || semi - pos_ > 12) {
            return fail("malformed entity"), false;
        }
        std::string_view ent = s_.substr(pos_ + 1, semi - pos_ - 1);
        pos_ = semi + 1;
        if (ent == "amp") return out += '&', true;
        if (ent == "lt") return out += '<', true;
        if (ent == "gt") return out += '>', true;
        if (ent == "quot") return out += '"', true;
        if (ent == "apos") return out += '\'', true;
        if (ent.size() >= 2 && ent[0] == '#') {
            int base = 10;
            std::string_view digits = ent.substr(1);
            if (digits[0] == 'x' || digits[0] == 'X') {
                base = 16;
                digits.remove_prefix(1);
            }
            uint32_t cp = 0;
            auto r = std::from_chars(digits.data(), digits.data() + digits.size(), cp, base);
            if (!digits.empty() && r.ec == std::errc() && r.ptr == digits.data() + digits.size() &&
                cp > 0 && cp <= 0x10FFFF && (cp < 0xD800 || cp > 0xDFFF)) {
                text_detail::appendUTF8(out, cp);
                return true;
            }
        }
        return fail("unknown entity &" + std::string(ent) + ";"), false;
    }

    Ref<NSObject> parseValue(int depth) {
        if (depth > kMaxDepth) return fail("nested too deeply");
        std::string name;
        bool empty = false;
        if (!readStartTag(name, empty)) return nullptr;
        if (name == "dict") return parseDict(empty, depth);
        if (name == "array") return parseArray(empty, depth);
        if (name == "true" || name == "false") {
            if (!empty && !readEndTag(name)) return nullptr;
            return NSNumber::numberWithBool(name == "true");
        }
        std::string text;
        if (!empty && !readText(name, text)) return nullptr;
        if (name == "string") return b_.string(NSString::fromUTF8(text));
        if (name == "integer") {
            if (auto n = parseInteger(text)) return n;
            return fail("malformed or out-of-range integer");
        }
        if (name == "real") {
            if (auto n = parseReal(text)) return n;
            return fail("malformed real");
        }
        if (name == "date") {
            if (auto d = parseISODate(trimmed(text))) return d;
            return fail("malformed date");
        }
        if (name == "data") {
            auto d = alloc<NSData>();
            if (!d->initWithBase64EncodedString(NSString::fromUTF8(text))) {
                return fail("malformed base64 data");
            }
            return b_.data(d);
        }
        return fail("unknown element <" + name + ">");
    }

    Ref<NSObject> parseArray(bool empty, int depth) {
        auto a = b_.newArray();
        if (!empty) {
            for (;;) {
                skipMisc();
                if (startsWith("</")) {
                    if (!readEndTag("array")) return nullptr;
                    break;
                }
                if (pos_ >= s_.size()) return fail("unexpected end inside <array>");
                auto v = parseValue(depth + 1);
                if (!v) return nullptr;
                a->addObject(v);
            }
        }
        return b_.finish(a);
    }

    Ref<NSObject> parseDict(bool empty, int depth) {
        auto d = b_.newDictionary();
        if (!empty) {
            for (;;) {
                skipMisc();
                if (startsWith("</")) {
                    if (!readEndTag("dict")) return nullptr;
                    break;
                }
                if (pos_ >= s_.size()) return fail("unexpected end inside <dict>");
                std::string name, key;
                bool keyEmpty = false;
                if (!readStartTag(name, keyEmpty)) return nullptr;
                if (name != "key") return fail("expected <key> in <dict>, found <" + name + ">");
                if (!keyEmpty && !readText("key", key)) return nullptr;
                skipMisc();
                if (startsWith("</")) return fail("a key without a value");
                auto v = parseValue(depth + 1);
                if (!v) return nullptr;
                d->setObject(v, NSString::fromUTF8(key));
            }
        }
        return b_.finish(d);
    }

    std::string_view s_;
    size_t pos_ = 0;
    Builder b_;
    bool unterminated_ = false;
};

// ---- the old-style text reader ---------------------------------------------------------------

class TextReader {
public:
    TextReader(std::u16string_view text, Builder b) : s_(text), b_(b) {}

    // The whole document: one value, or the bare "key = value;" list of a string table.
    Ref<NSObject> parseDocument() {
        skipSpace();
        if (failed_) return nullptr;
        if (pos_ >= s_.size()) return b_.finish(b_.newDictionary());  // an empty table
        size_t start = pos_;
        if (isStringStart(peek())) {
            // A string followed by "=" or ";" begins a table without braces.
            auto first = parseString();
            if (!first) return nullptr;
            skipSpace();
            if (pos_ < s_.size() && (peek() == '=' || peek() == ';')) {
                pos_ = start;
                auto d = b_.newDictionary();
                if (!parseEntries(d, 0, false)) return nullptr;
                return b_.finish(d);
            }
            pos_ = start;
        }
        auto v = parseValue(0);
        if (!v) return nullptr;
        skipSpace();
        if (failed_) return nullptr;
        if (pos_ != s_.size()) return fail("unexpected content after the value");
        return v;
    }

    std::string error;

private:
    char16_t peek() const { return pos_ < s_.size() ? s_[pos_] : 0; }

    Ref<NSObject> fail(const std::string& why) {
        failed_ = true;
        if (error.empty()) error = atLine(why, s_, pos_);
        return nullptr;
    }

    void skipSpace() {
        while (pos_ < s_.size()) {
            char16_t c = s_[pos_];
            if (c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v' ||
                c == 0xFEFF || c == 0x2028 || c == 0x2029) {
                ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '/') {
                while (pos_ < s_.size() && s_[pos_] != '\n' && s_[pos_] != '\r')
                    ++pos_;
            } else if (c == '/' && pos_ + 1 < s_.size() && s_[pos_ + 1] == '*') {
                size_t end = s_.find(u"*/", pos_ + 2);
                if (end == std::u16string_view::npos) {
                    fail("unterminated comment");
                    pos_ = s_.size();
                    return;
                }
                pos_ = end + 2;
            } else {
                return;
            }
        }
    }

    static bool isBareChar(char16_t c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '$' || c == '+' || c == '/' || c == ':' || c == '.' || c == '-';
    }
    static bool isStringStart(char16_t c) { return c == '"' || c == '\'' || isBareChar(c); }

    static int hexValue(char16_t c) {
        if (c >= '0' && c <= '9') return c - '0';
        if (c >= 'a' && c <= 'f') return c - 'a' + 10;
        if (c >= 'A' && c <= 'F') return c - 'A' + 10;
        return -1;
    }

    Ref<NSString> parseString() {
        char16_t q = peek();
        if (q != '"' && q != '\'') {
            size_t start = pos_;
            while (pos_ < s_.size() && isBareChar(s_[pos_]))
                ++pos_;
            if (pos_ == start) return cast<NSString>(fail("expected a string"));
            return NSString::fromUTF16(s_.substr(start, pos_ - start));
        }
        ++pos_;
        std::u16string out;
        while (pos_ < s_.size() && s_[pos_] != q) {
            char16_t c = s_[pos_++];
            if (c != '\\') {
                out.push_back(c);
                continue;
            }
            if (pos_ >= s_.size()) break;
            char16_t e = s_[pos_++];
            // The letters of the control-character escapes, and what each stands for.
            constexpr std::u16string_view letters = u"ntrabfv", controls = u"\n\t\r\a\b\f\v";
            if (size_t k = letters.find(e); k != std::u16string_view::npos) {
                out.push_back(controls[k]);
            } else if (e == 'U' || e == 'u') {
                unsigned v = 0;
                int n = 0;
                while (n < 4 && pos_ < s_.size() && hexValue(s_[pos_]) >= 0) {
                    v = v * 16 + static_cast<unsigned>(hexValue(s_[pos_++]));
                    ++n;
                }
                if (n == 0) return cast<NSString>(fail("malformed \\U escape"));
                out.push_back(static_cast<char16_t>(v));
            } else if (e >= '0' && e <= '7') {
                unsigned v = static_cast<unsigned>(e - '0');
                for (int n = 1; n < 3 && pos_ < s_.size() && s_[pos_] >= '0' && s_[pos_] <= '7';
                     ++n)
                    v = v * 8 + static_cast<unsigned>(s_[pos_++] - '0');
                out.push_back(static_cast<char16_t>(v & 0xFF));
            } else {
                out.push_back(e);  // \" \\ \' and any other character as itself
            }
        }
        if (pos_ >= s_.size()) return cast<NSString>(fail("unterminated quoted string"));
        ++pos_;  // the closing quote
        return NSString::adoptUnits(std::move(out));
    }

    // "key = value;" entries up to "}" (inBraces) or the end.
    bool parseEntries(NSMutableDictionary* d, int depth, bool inBraces) {
        for (;;) {
            skipSpace();
            if (failed_) return false;
            if (pos_ >= s_.size()) {
                if (inBraces) return fail("unterminated dictionary"), false;
                return true;
            }
            if (inBraces && peek() == '}') {
                ++pos_;
                return true;
            }
            auto key = parseString();
            if (!key) return false;
            skipSpace();
            if (peek() == ';') {
                // A string table's shorthand: the key is its own value.
                ++pos_;
                d->setObject(b_.string(key), key);
                continue;
            }
            if (peek() != '=') return fail("expected '=' after a key"), false;
            ++pos_;
            skipSpace();
            auto v = parseValue(depth + 1);
            if (!v) return false;
            skipSpace();
            if (peek() != ';') return fail("expected ';' after a value"), false;
            ++pos_;
            d->setObject(v, key);
        }
    }

    Ref<NSObject> parseValue(int depth) {
        if (depth > kMaxDepth) return fail("nested too deeply");
        skipSpace();
        if (failed_) return nullptr;
        if (pos_ >= s_.size()) return fail("unexpected end of text");
        char16_t c = peek();
        if (c == '{') {
            ++pos_;
            auto d = b_.newDictionary();
            if (!parseEntries(d, depth, true)) return nullptr;
            return b_.finish(d);
        }
        if (c == '(') {
            ++pos_;
            auto a = b_.newArray();
            for (;;) {
                skipSpace();
                if (failed_) return nullptr;
                if (peek() == ')') {
                    ++pos_;
                    break;
                }
                auto v = parseValue(depth + 1);
                if (!v) return nullptr;
                a->addObject(v);
                skipSpace();
                if (peek() == ',') {
                    ++pos_;
                } else if (peek() != ')') {
                    return fail("expected ',' or ')' in an array");
                }
            }
            return b_.finish(a);
        }
        if (c == '<') {
            ++pos_;
            std::string bytes;
            int high = -1;
            for (;;) {
                skipSpace();
                if (pos_ >= s_.size()) return fail("unterminated data");
                char16_t h = s_[pos_++];
                if (h == '>') break;
                int v = hexValue(h);
                if (v < 0) return fail("malformed data");
                if (high < 0) {
                    high = v;
                } else {
                    bytes.push_back(static_cast<char>(high << 4 | v));
                    high = -1;
                }
            }
            if (high >= 0) return fail("odd number of hex digits in data");
            return b_.data(
                NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size())));
        }
        if (isStringStart(c)) {
            auto s = parseString();
            if (!s) return nullptr;
            return b_.string(s);
        }
        return fail("unexpected character");
    }

    std::u16string_view s_;
    size_t pos_ = 0;
    Builder b_;
    bool failed_ = false;
};

// ---- validity --------------------------------------------------------------------------------

bool validFor(NSObject* o, NSPropertyListFormat format, int depth) {
    if (!o || depth > kMaxDepth) return false;
    if (is<NSString>(o) || is<NSData>(o)) return true;
    if (is<NSNumber>(o) || is<NSDate>(o)) return format != NSPropertyListOpenStepFormat;
    if (auto a = as<NSArray>(o)) {
        for (NSObject* e : *a)
            if (!validFor(e, format, depth + 1)) return false;
        return true;
    }
    if (auto d = as<NSDictionary>(o)) {
        for (NSObject* k : *d) {
            if (!is<NSString>(k) || !validFor(d->objectForKey(k), format, depth + 1)) return false;
        }
        return true;
    }
    return false;
}

}  // namespace

// ---- NSPropertyListSerialization -------------------------------------------------------------

Ref<NSData> NSPropertyListSerialization::dataWithPropertyList(NSObject* plist,
                                                              NSPropertyListFormat format,
                                                              NSPropertyListWriteOptions options,
                                                              Ref<NSError>* error) {
    (void)options;
    if (format != NSPropertyListXMLFormat_v1_0) {
        if (error) {
            *error = plistError(
                NSPropertyListWriteStreamError,
                "Property list format " + std::to_string(format) + " is not supported for writing");
        }
        return nullptr;
    }
    XMLWriter w;
    w.out =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<plist version=\"1.0\">\n";
    if (!w.write(plist, 0)) {
        if (error) {
            *error = plistError(NSPropertyListWriteStreamError,
                                "Property list invalid for format: 100 (" + w.problem + ")");
        }
        return nullptr;
    }
    w.out += "</plist>\n";
    return NSData::dataWithBytes(w.out.data(), static_cast<NSUInteger>(w.out.size()));
}

Ref<NSObject> NSPropertyListSerialization::propertyListWithData(NSData* data,
                                                                NSPropertyListReadOptions options,
                                                                NSPropertyListFormat* formatOut,
                                                                Ref<NSError>* error) {
    auto corrupt = [&](const std::string& why) -> Ref<NSObject> {
        if (error) *error = plistError(NSPropertyListReadCorruptError, why);
        return nullptr;
    };
    if (!data || data->length() == 0) return corrupt("Cannot parse a nil or zero-length data");
    std::string_view bytes = data->view();
    if (bytes.substr(0, 6) == "bplist") return corrupt("Binary property lists are not read");
    Builder builder;
    builder.options = options;
    bool wasUTF16 = false;
    std::u16string text = decodeText(bytes, wasUTF16);

    // Where the first significant character is '<' followed by a name, '?' or '!', the
    // document is XML; old-style data "<0a1b>" starts with hex digits, which names can too, so
    // a failed XML reading falls back to the old-style one.
    size_t first = text.find_first_not_of(u" \t\r\n\uFEFF");
    if (first == std::u16string::npos) return corrupt("No property list in the data");
    bool looksXML = false;
    if (text[first] == '<' && first + 1 < text.size()) {
        char16_t c = text[first + 1];
        looksXML = c == '?' || c == '!' || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    }
    std::string xmlError;
    if (looksXML) {
        std::string utf8 = wasUTF16 ? NSString::fromUTF16(text)->utf8() : std::string();
        std::string_view xmlText = wasUTF16 ? std::string_view(utf8) : bytes;
        if (!wasUTF16 && xmlText.substr(0, 3) == "\xEF\xBB\xBF") xmlText.remove_prefix(3);
        XMLReader reader(xmlText, builder);
        if (auto result = reader.parseDocument()) {
            if (formatOut) *formatOut = NSPropertyListXMLFormat_v1_0;
            return result;
        }
        xmlError = reader.error;
    }
    TextReader reader(text, builder);
    if (auto result = reader.parseDocument()) {
        if (formatOut) *formatOut = NSPropertyListOpenStepFormat;
        return result;
    }
    return corrupt(looksXML ? "XML property list: " + xmlError
                            : "Old-style property list: " + reader.error);
}

bool NSPropertyListSerialization::propertyList(NSObject* plist,
                                               NSPropertyListFormat isValidForFormat) {
    if (isValidForFormat != NSPropertyListXMLFormat_v1_0 &&
        isValidForFormat != NSPropertyListBinaryFormat_v1_0 &&
        isValidForFormat != NSPropertyListOpenStepFormat) {
        return false;
    }
    return validFor(plist, isValidForFormat, 0);
}

Ref<NSData> NSPropertyListSerialization::dataFromPropertyList(NSObject* plist,
                                                              NSPropertyListFormat format,
                                                              Ref<NSString>* errorString) {
    Ref<NSError> error;
    auto data = dataWithPropertyList(plist, format, 0, &error);
    if (!data && errorString) {
        *errorString = as<NSString>(error->userInfo()->objectForKey(NS("NSDebugDescription")));
    }
    return data;
}

Ref<NSObject> NSPropertyListSerialization::propertyListFromData(
    NSData* data, NSPropertyListMutabilityOptions option, NSPropertyListFormat* formatOut,
    Ref<NSString>* errorString) {
    Ref<NSError> error;
    auto plist = propertyListWithData(data, option, formatOut, &error);
    if (!plist && errorString) {
        *errorString = as<NSString>(error->userInfo()->objectForKey(NS("NSDebugDescription")));
    }
    return plist;
}

namespace plist_detail {

Ref<NSObject> readFile(NSString* path, NSPropertyListMutabilityOptions options) {
    if (!path) return nullptr;
    auto data = NSData::dataWithContentsOfFile(path);
    if (!data) return nullptr;
    return NSPropertyListSerialization::propertyListWithData(data, options, nullptr, nullptr);
}

bool writeFile(NSObject* plist, NSString* path, bool atomically) {
    if (!path) return false;
    auto data = NSPropertyListSerialization::dataWithPropertyList(
        plist, NSPropertyListXMLFormat_v1_0, 0, nullptr);
    if (!data) return false;
    if (!atomically) return data->writeToFile(path, false);
    // A property list is one of the app's stores: its first write also takes what the app's
    // earlier writer left beside it.
    std::string target = path->utf8();
    return !target.empty() &&
           file_detail::writeFileAtomically(target, data->bytes(), data->length(), 0644, true,
                                            file_detail::Target::OwnStore);
}

}  // namespace plist_detail

// ---- the collections' file forms -------------------------------------------------------------

Ref<NSArray> NSArray::arrayWithContentsOfFile(NSString* path) {
    return make<NSArray>(&NSArray::initWithContentsOfFile, path);
}

bool NSArray::initWithContentsOfFile(NSString* path) {
    // A mutable array keeps mutable containers inside, as the platform's does.
    bool isMutable = is<NSMutableArray>(this);
    auto a = as<NSArray>(plist_detail::readFile(
        path, isMutable ? NSPropertyListMutableContainers : NSPropertyListImmutable));
    if (!a) return false;
    items_ = itemsOf(a);
    return true;
}

bool NSArray::writeToFile(NSString* path, bool atomically) {
    return plist_detail::writeFile(this, path, atomically);
}

Ref<NSMutableArray> NSMutableArray::arrayWithContentsOfFile(NSString* path) {
    return make<NSMutableArray>(&NSMutableArray::initWithContentsOfFile, path);
}

Ref<NSDictionary> NSDictionary::dictionaryWithContentsOfFile(NSString* path) {
    return make<NSDictionary>(&NSDictionary::initWithContentsOfFile, path);
}

bool NSDictionary::initWithContentsOfFile(NSString* path) {
    bool isMutable = is<NSMutableDictionary>(this);
    auto d = as<NSDictionary>(plist_detail::readFile(
        path, isMutable ? NSPropertyListMutableContainers : NSPropertyListImmutable));
    if (!d) return false;
    fillFrom(d, false);
    return true;
}

bool NSDictionary::writeToFile(NSString* path, bool atomically) {
    return plist_detail::writeFile(this, path, atomically);
}

Ref<NSMutableDictionary> NSMutableDictionary::dictionaryWithContentsOfFile(NSString* path) {
    return make<NSMutableDictionary>(&NSMutableDictionary::initWithContentsOfFile, path);
}
