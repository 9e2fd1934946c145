#include "ads/ironvine/IVJSON.h"

#include <cctype>
#include <cstdio>

#include "Foundation/NSArray.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSLog.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/ProcessWide.h"

namespace {
bool needsEscape(char16_t ch) {
    return ch < 32 || ch == u'"' || ch == u'\\' || ch == 0x2028 || ch == 0x2029;
}
}  // namespace

// ---- writer ---------------------------------------------------------------------------------

Ref<NSString> IVJSON::stringWithObject(NSObject* value) {
    auto writer = make<IVJSON>();
    writer->addObject(value);
    return writer->string()->copy();
}

Ref<NSObject> IVJSON::objectWithString(NSString* text) {
    static ProcessWide<IVJSONParser> shared;
    return shared.get()->objectWithString(text, true);
}

Ref<NSString> IVJSON::stringByEscapingCharacters(NSString* text) {
    if (!text) return nullptr;
    std::u16string units = text->u16();
    bool any = false;
    for (char16_t ch : units)
        any = any || needsEscape(ch);
    if (!any) return Ref<NSString>(text);
    std::u16string out;
    out.reserve(units.size() + 16);
    for (char16_t ch : units) {
        if (!needsEscape(ch)) {
            out += ch;
            continue;
        }
        out += u'\\';
        switch (ch) {
            case u'\b':
                out += u'b';
                break;
            case u'\t':
                out += u't';
                break;
            case u'\n':
                out += u'n';
                break;
            case u'\f':
                out += u'f';
                break;
            case u'\r':
                out += u'r';
                break;
            case u'"':
                out += u'"';
                break;
            case u'\\':
                out += u'\\';
                break;
            default: {
                char hex[8];
                std::snprintf(hex, sizeof hex, "u%04x", static_cast<unsigned>(ch));
                for (const char* p = hex; *p; ++p)
                    out += static_cast<char16_t>(*p);
            }
        }
    }
    return NSString::adoptUnits(std::move(out));
}

bool IVJSON::init() {
    if (!NSObject::init()) return false;
    string_ = NSMutableString::stringWithCapacity(256);
    return true;
}

bool IVJSON::addObject(NSObject* value) {
    if (auto array = as<NSArray>(value)) return addArray(array.get());
    if (auto dict = as<NSDictionary>(value)) return addDictionary(dict.get());
    if (auto number = as<NSNumber>(value)) {
        addNumber(number.get());
        return true;
    }
    if (auto text = as<NSString>(value)) {
        addString(text.get());
        return true;
    }
    addNull();
    return is<NSNull>(value);
}

bool IVJSON::addArray(NSArray* array) {
    bool ok = true;
    string_->appendString(NS("["));
    NSUInteger n = array->count();
    for (NSUInteger i = 0; i < n; ++i) {
        if (i) string_->appendString(NS(","));
        ok = addObject(array->objectAtIndex(i).get()) && ok;
    }
    string_->appendString(NS("]"));
    return ok;
}

bool IVJSON::addDictionary(NSDictionary* dictionary) {
    bool ok = true;
    string_->appendString(NS("{"));
    bool first = true;
    auto keys = dictionary->allKeys();
    for (NSObject* key : *keys) {
        if (!first) string_->appendString(NS(","));
        first = false;
        // Keys go out as they stand, without quotes: the scripts read them as identifiers.
        if (auto text = as<NSString>(key))
            string_->appendString(text.get());
        else
            string_->appendString(key->description().get());
        string_->appendString(NS(":"));
        ok = addObject(dictionary->objectForKey(key).get()) && ok;
    }
    string_->appendString(NS("}"));
    return ok;
}

void IVJSON::addString(NSString* string) {
    string_->appendString(NS("\""));
    string_->appendString(stringByEscapingCharacters(string).get());
    string_->appendString(NS("\""));
}

void IVJSON::addNumber(NSNumber* number) {
    if (number->isBoolean())
        string_->appendString(number->boolValue() ? NS("1") : NS("0"));
    else
        string_->appendString(number->description().get());
}

void IVJSON::addNull() {
    string_->appendString(NS("null"));
}

// ---- parser ---------------------------------------------------------------------------------

Ref<NSObject> IVJSONParser::objectWithString(NSString* text, bool allowScalar) {
    if (!text) return nullptr;
    std::string bytes = text->utf8();
    c_ = bytes.c_str();
    end_ = c_ + std::char_traits<char>::length(c_);  // the text ends at its first NUL
    depth_ = 0;
    Ref<NSObject> value;
    bool ok = scanValue(&value);
    if (ok && !value) {
        NSLog(NS("Should have a valid object from %@"), text);
        ok = false;
    }
    if (ok) {
        skipWhitespace();
        ok = scanIsAtEnd();
    }
    if (ok && !allowScalar) ok = is<NSArray>(value) || is<NSDictionary>(value);
    c_ = end_ = nullptr;
    return ok ? value : nullptr;
}

bool IVJSONParser::scanIsAtEnd() {
    return c_ >= end_;
}

void IVJSONParser::skipWhitespace() {
    while (c_ < end_ && std::isspace(static_cast<unsigned char>(*c_)))
        ++c_;
}

bool IVJSONParser::enter() {
    NSUInteger limit = (maxDepth_ == 0 || maxDepth_ > kDepthLimit) ? kDepthLimit : maxDepth_;
    return ++depth_ <= limit;
}

bool IVJSONParser::scanValue(Ref<NSObject>* out) {
    skipWhitespace();
    if (scanIsAtEnd()) return false;
    char ch = *c_++;
    switch (ch) {
        case '{':
            return scanRestOfDictionary(out);
        case '[':
            return scanRestOfArray(out);
        case '"':
            return scanRestOfString(out);
        case 't':
            return scanRestOfTrue(out);
        case 'f':
            return scanRestOfFalse(out);
        case 'n':
            return scanRestOfNull(out);
        default:
            if (ch == '-' || (ch >= '0' && ch <= '9')) {
                --c_;
                return scanNumber(out);
            }
            return false;
    }
}

bool IVJSONParser::scanRestOfDictionary(Ref<NSObject>* out) {
    if (!enter()) return false;
    auto dict = NSMutableDictionary::dictionaryWithCapacity(7);
    while (true) {
        if (scanIsAtEnd()) return false;
        skipWhitespace();
        if (c_ < end_ && *c_ == '}') {
            ++c_;
            --depth_;
            *out = dict;
            return true;
        }
        if (scanIsAtEnd() || *c_ != '"') return false;
        ++c_;
        Ref<NSObject> key;
        if (!scanRestOfString(&key)) return false;
        skipWhitespace();
        if (scanIsAtEnd() || *c_ != ':') return false;
        ++c_;
        Ref<NSObject> value;
        if (!scanValue(&value)) return false;
        dict->setObject(value.get(), key.get());  // a later duplicate replaces the earlier
        skipWhitespace();
        if (c_ < end_ && *c_ == ',') {
            ++c_;
            skipWhitespace();
            if (c_ < end_ && *c_ == '}') return false;
        }
    }
}

bool IVJSONParser::scanRestOfArray(Ref<NSObject>* out) {
    if (!enter()) return false;
    auto array = NSMutableArray::arrayWithCapacity(8);
    while (true) {
        if (scanIsAtEnd()) return false;
        skipWhitespace();
        if (c_ < end_ && *c_ == ']') {
            ++c_;
            --depth_;
            *out = array;
            return true;
        }
        Ref<NSObject> value;
        if (!scanValue(&value)) return false;
        array->addObject(value.get());
        skipWhitespace();
        if (c_ < end_ && *c_ == ',') {
            ++c_;
            skipWhitespace();
            if (c_ < end_ && *c_ == ']') return false;
        }
    }
}

bool IVJSONParser::scanRestOfString(Ref<NSObject>* out) {
    std::u16string text;
    const char* run = c_;
    auto flush = [&] {
        if (c_ > run) text += NSString::fromUTF8(std::string_view(run, c_ - run))->u16();
    };
    while (true) {
        if (scanIsAtEnd()) return false;
        unsigned char ch = static_cast<unsigned char>(*c_);
        if (ch != '"' && ch != '\\' && ch >= 32) {
            ++c_;
            continue;
        }
        flush();
        if (ch == '"') {
            ++c_;
            *out = NSString::adoptUnits(std::move(text));
            return true;
        }
        if (ch < 32) return false;
        ++c_;  // the backslash
        if (scanIsAtEnd()) return false;
        char esc = *c_++;
        switch (esc) {
            case '"':
                text += u'"';
                break;
            case '\\':
                text += u'\\';
                break;
            case '/':
                text += u'/';
                break;
            case 'b':
                text += u'\b';
                break;
            case 'f':
                text += u'\f';
                break;
            case 'n':
                text += u'\n';
                break;
            case 'r':
                text += u'\r';
                break;
            case 't':
                text += u'\t';
                break;
            case 'u':
                if (!scanUnicodeChar(&text)) return false;
                break;
            default:
                return false;
        }
        run = c_;
    }
}

bool IVJSONParser::scanHexQuad(unsigned* out) {
    unsigned v = 0;
    for (int i = 0; i < 4; ++i) {
        if (scanIsAtEnd()) return false;
        char ch = *c_++;
        v <<= 4;
        if (ch >= '0' && ch <= '9')
            v |= static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            v |= static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F')
            v |= static_cast<unsigned>(ch - 'A' + 10);
        else
            return false;
    }
    *out = v;
    return true;
}

bool IVJSONParser::scanUnicodeChar(std::u16string* out) {
    unsigned hi = 0;
    if (!scanHexQuad(&hi)) return false;
    if (hi >= 0xDC00 && hi <= 0xDFFF) return false;
    if (hi >= 0xD800 && hi <= 0xDBFF) {
        if (end_ - c_ < 2 || c_[0] != '\\' || c_[1] != 'u') return false;
        c_ += 2;
        unsigned lo = 0;
        if (!scanHexQuad(&lo) || lo < 0xDC00 || lo > 0xDFFF) return false;
        *out += static_cast<char16_t>(hi);
        *out += static_cast<char16_t>(lo);
        return true;
    }
    *out += static_cast<char16_t>(hi);
    return true;
}

bool IVJSONParser::scanNumber(Ref<NSObject>* out) {
    const char* start = c_;
    auto digit = [&] { return c_ < end_ && *c_ >= '0' && *c_ <= '9'; };
    if (c_ < end_ && *c_ == '-') ++c_;
    if (c_ < end_ && *c_ == '0') {
        ++c_;
        if (digit()) return false;
    } else {
        if (!digit()) return false;
        while (digit())
            ++c_;
    }
    if (c_ < end_ && *c_ == '.') {
        ++c_;
        if (!digit()) return false;
        while (digit())
            ++c_;
    }
    if (c_ < end_ && (*c_ == 'e' || *c_ == 'E')) {
        ++c_;
        if (c_ < end_ && (*c_ == '-' || *c_ == '+')) ++c_;
        if (!digit()) return false;
        while (digit())
            ++c_;
    }
    *out = NSDecimalNumber::decimalNumberWithString(
        NSString::fromUTF8(std::string_view(start, c_ - start)).get());
    return true;
}

namespace {
bool scanLiteral(const char*& c, const char* end, std::string_view rest) {
    if (static_cast<size_t>(end - c) < rest.size() || std::string_view(c, rest.size()) != rest)
        return false;
    c += rest.size();
    return true;
}
}  // namespace

bool IVJSONParser::scanRestOfTrue(Ref<NSObject>* out) {
    if (!scanLiteral(c_, end_, "rue")) return false;
    *out = NSNumber::numberWithBool(true);
    return true;
}

bool IVJSONParser::scanRestOfFalse(Ref<NSObject>* out) {
    if (!scanLiteral(c_, end_, "alse")) return false;
    *out = NSNumber::numberWithBool(false);
    return true;
}

bool IVJSONParser::scanRestOfNull(Ref<NSObject>* out) {
    if (!scanLiteral(c_, end_, "ull")) return false;
    *out = NSNull::null();
    return true;
}
