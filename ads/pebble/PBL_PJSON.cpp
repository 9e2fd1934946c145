#include "ads/pebble/PBL_PJSON.h"

#include <cctype>
#include <cmath>
#include <cstring>

#include "Foundation/NSArray.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSError.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

NSString* const PJSONErrorDomain = NS("test.pebbleads.json");

namespace {

// Characters that end a run of plain characters inside a string.
const char* stopCharacters() {
    static const std::string table = [] {
        std::string t = "\"\\";
        for (char ch = 1; ch < 32; ++ch)
            t.push_back(ch);
        return t;
    }();
    return table.c_str();
}

bool fail(Ref<NSError>* error, int code, NSString* message, NSError* underlying = nullptr) {
    if (error) {
        auto info = NSMutableDictionary::dictionaryWithObject(message, NSLocalizedDescriptionKey);
        if (underlying) info->setObject(underlying, NSUnderlyingErrorKey);
        *error = NSError::errorWithDomain(PJSONErrorDomain, code, info);
    }
    return false;
}

template <class... A>
Ref<NSString> fmt(const char* format, const A&... args) {
    return NSString::stringWithFormat(NSString::stringWithUTF8String(format), args...);
}

}  // namespace

bool PBL_PJSON::init() {
    if (!NSObject::init()) return false;
    maxDepth_ = 512;
    return true;
}

// ---- parsing ------------------------------------------------------------------------------

Ref<NSObject> PBL_PJSON::objectWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, false, error);
}

Ref<NSObject> PBL_PJSON::fragmentWithString(NSString* text, Ref<NSError>* error) {
    return objectWithString(text, true, error);
}

Ref<NSObject> PBL_PJSON::objectWithString(NSString* text, bool allowScalar, Ref<NSError>* error) {
    if (!text) {
        fail(error, 12, NS("Input was 'nil'"));
        return nullptr;
    }
    std::string utf8 = text->utf8();
    depth_ = 0;
    c_ = utf8.c_str();
    Ref<NSObject> value;
    bool ok = scanValue(&value, error);
    if (ok && !scanIsAtEnd()) ok = fail(error, 10, NS("Garbage after JSON"));
    if (ok && !allowScalar && !is<NSDictionary>(value) && !is<NSArray>(value))
        ok = fail(error, 4, NS("Valid fragment, but not JSON"));
    c_ = nullptr;
    return ok ? value : nullptr;
}

void PBL_PJSON::skipWhitespace() {
    while (*c_ && std::isspace(static_cast<unsigned char>(*c_)))
        ++c_;
}

bool PBL_PJSON::scanIsAtEnd() {
    skipWhitespace();
    return *c_ == '\0';
}

bool PBL_PJSON::scanValue(Ref<NSObject>* out, Ref<NSError>* error) {
    skipWhitespace();
    char ch = *c_;
    if (ch == '\0') return fail(error, 11, NS("Unexpected end of string"));
    ++c_;
    switch (ch) {
        case '"': {
            Ref<NSString> s;
            if (!scanRestOfString(&s, error)) return false;
            *out = s;
            return true;
        }
        case '{':
            return scanRestOfDictionary(out, error);
        case '[':
            return scanRestOfArray(out, error);
        case 't':
            // Matched byte for byte, never past the literal's own end.
            if (std::strncmp(c_, "rue", 3) != 0) return fail(error, 3, NS("Expected 'true'"));
            c_ += 3;
            *out = NSNumber::numberWithBool(true);
            return true;
        case 'f':
            if (std::strncmp(c_, "alse", 4) != 0) return fail(error, 3, NS("Expected 'false'"));
            c_ += 4;
            *out = NSNumber::numberWithBool(false);
            return true;
        case 'n':
            if (std::strncmp(c_, "ull", 3) != 0) return fail(error, 3, NS("Expected 'null'"));
            c_ += 3;
            *out = NSNull::null();
            return true;
        case '+':
            return fail(error, 2, NS("Leading + disallowed in number"));
        default:
            if (ch == '-' || (ch >= '0' && ch <= '9')) {
                --c_;
                return scanNumber(out, error);
            }
            return fail(error, 3, NS("Unrecognised leading character"));
    }
}

bool PBL_PJSON::scanRestOfDictionary(Ref<NSObject>* out, Ref<NSError>* error) {
    if (maxDepth_ && ++depth_ > maxDepth_) return fail(error, 7, NS("Nested too deep"));
    if (!maxDepth_) ++depth_;
    auto dictionary = NSMutableDictionary::dictionaryWithCapacity(7);
    while (*c_) {
        skipWhitespace();
        if (*c_ == '}') {
            ++c_;
            --depth_;
            *out = dictionary;
            return true;
        }
        Ref<NSString> key;
        if (*c_ != '"') {
            return fail(error, 3, NS("Object key string expected"));
        }
        ++c_;
        Ref<NSError> inner;
        if (!scanRestOfString(&key, &inner))
            return fail(error, 3, NS("Object key string expected"), inner);
        skipWhitespace();
        if (*c_ != ':') return fail(error, 3, NS("Expected ':' separating key and value"));
        ++c_;
        Ref<NSObject> value;
        if (!scanValue(&value, &inner))
            return fail(error, 3, fmt("Object value expected for key: %@", key.get()), inner);
        dictionary->setObject(value, key);
        skipWhitespace();
        if (*c_ == ',') {
            ++c_;
            skipWhitespace();
            if (*c_ == '}') return fail(error, 9, NS("Trailing comma disallowed in object"));
        }
    }
    return fail(error, 11, NS("End of input while parsing object"));
}

bool PBL_PJSON::scanRestOfArray(Ref<NSObject>* out, Ref<NSError>* error) {
    if (maxDepth_ && ++depth_ > maxDepth_) return fail(error, 7, NS("Nested too deep"));
    if (!maxDepth_) ++depth_;
    auto array = NSMutableArray::arrayWithCapacity(8);
    while (*c_) {
        skipWhitespace();
        if (*c_ == ']') {
            ++c_;
            --depth_;
            *out = array;
            return true;
        }
        Ref<NSObject> value;
        Ref<NSError> inner;
        if (!scanValue(&value, &inner))
            return fail(error, 3, NS("Expected value while parsing array"), inner);
        array->addObject(value);
        skipWhitespace();
        if (*c_ == ',') {
            ++c_;
            skipWhitespace();
            if (*c_ == ']') return fail(error, 9, NS("Trailing comma disallowed in array"));
        }
    }
    return fail(error, 11, NS("End of input while parsing array"));
}

bool PBL_PJSON::scanRestOfString(Ref<NSString>* out, Ref<NSError>* error) {
    std::u16string units;
    for (;;) {
        size_t run = std::strcspn(c_, stopCharacters());
        if (run > 0) {
            auto part = NSString::fromUTF8(std::string_view(c_, run));
            units += part->u16();
            c_ += run;
        }
        char ch = *c_;
        if (ch == '"') {
            ++c_;
            *out = NSString::adoptUnits(std::move(units));
            return true;
        }
        if (ch == '\0') return fail(error, 11, NS("Unexpected EOF while parsing string"));
        if (ch != '\\') return fail(error, 5, fmt("Unescaped control character '0x%x'", ch));
        char escape = c_[1];
        switch (escape) {
            case '"':
            case '/':
            case '\\':
                units.push_back(static_cast<char16_t>(escape));
                break;
            case 'b':
                units.push_back(u'\b');
                break;
            case 'f':
                units.push_back(u'\f');
                break;
            case 'n':
                units.push_back(u'\n');
                break;
            case 'r':
                units.push_back(u'\r');
                break;
            case 't':
                units.push_back(u'\t');
                break;
            case 'u': {
                c_ += 2;
                Ref<NSError> inner;
                if (!scanUnicodeChar(&units, &inner))
                    return fail(error, 6, NS("Broken unicode character"), inner);
                continue;
            }
            default:
                return fail(
                    error, 8,
                    fmt("Illegal escape sequence '0x%x'", static_cast<unsigned char>(escape)));
        }
        c_ += 2;
    }
}

bool PBL_PJSON::scanHexQuad(unsigned* out, Ref<NSError>* error) {
    unsigned value = 0;
    for (int i = 0; i < 4; ++i) {
        char ch = c_[i];
        unsigned digit;
        if (ch >= '0' && ch <= '9')
            digit = static_cast<unsigned>(ch - '0');
        else if (ch >= 'a' && ch <= 'f')
            digit = static_cast<unsigned>(ch - 'a' + 10);
        else if (ch >= 'A' && ch <= 'F')
            digit = static_cast<unsigned>(ch - 'A' + 10);
        else
            return fail(error, 6, NS("Missing hex digit in quad"));
        value = value * 16 + digit;
    }
    c_ += 4;
    *out = value;
    return true;
}

bool PBL_PJSON::scanUnicodeChar(std::u16string* out, Ref<NSError>* error) {
    unsigned high = 0;
    if (!scanHexQuad(&high, error)) return fail(error, 6, NS("Missing hex quad"));
    if (high >= 0xDC00 && high <= 0xDFFF)
        return fail(error, 6, NS("Invalid high character in surrogate pair"));
    if (high >= 0xD800 && high <= 0xDBFF) {
        unsigned low = 0;
        Ref<NSError> inner;
        if (c_[0] != '\\' || c_[1] != 'u')
            return fail(error, 6, NS("Missing low character in surrogate pair"));
        c_ += 2;
        if (!scanHexQuad(&low, &inner))
            return fail(error, 6, NS("Missing low character in surrogate pair"), inner);
        if (low < 0xDC00 || low > 0xDFFF) return fail(error, 6, NS("Invalid low surrogate char"));
        out->push_back(static_cast<char16_t>(high));
        out->push_back(static_cast<char16_t>(low));
        return true;
    }
    out->push_back(static_cast<char16_t>(high));
    return true;
}

bool PBL_PJSON::scanNumber(Ref<NSObject>* out, Ref<NSError>* error) {
    const char* start = c_;
    auto isDigit = [](char ch) { return ch >= '0' && ch <= '9'; };
    if (*c_ == '-') ++c_;
    if (*c_ == '0') {
        ++c_;
        if (isDigit(*c_)) return fail(error, 2, NS("Leading 0 disallowed in number"));
    } else {
        if (!isDigit(*c_)) return fail(error, 2, NS("No digits after initial minus"));
        while (isDigit(*c_))
            ++c_;
    }
    if (*c_ == '.') {
        ++c_;
        if (!isDigit(*c_)) return fail(error, 2, NS("No digits after decimal point"));
        while (isDigit(*c_))
            ++c_;
    }
    if (*c_ == 'e' || *c_ == 'E') {
        ++c_;
        if (*c_ == '+' || *c_ == '-') ++c_;
        if (!isDigit(*c_)) return fail(error, 2, NS("No digits after exponent"));
        while (isDigit(*c_))
            ++c_;
    }
    auto text = NSString::fromUTF8(std::string_view(start, static_cast<size_t>(c_ - start)));
    auto number = text ? NSDecimalNumber::decimalNumberWithString(text) : nullptr;
    // Out of the decimal type's range: refused rather than kept as a NaN no writer can write.
    if (!number || number->isNaN()) return fail(error, 2, NS("Failed creating decimal instance"));
    *out = number;
    return true;
}

// ---- writing ------------------------------------------------------------------------------

Ref<NSString> PBL_PJSON::stringWithObject(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, false, error);
}

Ref<NSString> PBL_PJSON::stringWithFragment(NSObject* value, Ref<NSError>* error) {
    return stringWithObject(value, true, error);
}

Ref<NSString> PBL_PJSON::stringWithObject(NSObject* value, bool allowScalar, Ref<NSError>* error) {
    depth_ = 0;
    if (!allowScalar && !is<NSDictionary>(value) && !is<NSArray>(value)) {
        fail(error, 4, NS("Not valid type for JSON"));
        return nullptr;
    }
    std::u16string out;
    out.reserve(128);
    if (!appendValue(value, out, error)) return nullptr;
    return NSString::adoptUnits(std::move(out));
}

void PBL_PJSON::indent(std::u16string& into) {
    into.push_back(u'\n');
    into.append(2 * static_cast<size_t>(depth_), u' ');
}

bool PBL_PJSON::appendValue(NSObject* value, std::u16string& into, Ref<NSError>* error) {
    if (auto d = as<NSDictionary>(value)) return appendDictionary(d, into, error);
    if (auto a = as<NSArray>(value)) return appendArray(a, into, error);
    if (auto s = as<NSString>(value)) {
        appendString(s, into);
        return true;
    }
    if (auto n = as<NSNumber>(value)) {
        // NaN and the infinities have no JSON form.
        auto decimal = as<NSDecimalNumber>(n);
        if ((decimal && decimal->isNaN()) || (!decimal && !std::isfinite(n->doubleValue())))
            return fail(error, 1,
                        fmt("JSON serialisation not supported for %@", n->className().get()));
        if (std::strcmp(n->objCType(), "c") == 0)
            into += n->boolValue() ? u"true" : u"false";
        else
            into += n->stringValue()->u16();
        return true;
    }
    if (is<NSNull>(value)) {
        into += u"null";
        return true;
    }
    auto text = value ? value->description() : nullptr;
    if (!text)
        return fail(error, 1,
                    fmt("JSON serialisation not supported for %@",
                        value ? value->className().get() : NS("nil")));
    appendString(text, into);
    return true;
}

bool PBL_PJSON::appendDictionary(NSDictionary* value, std::u16string& into, Ref<NSError>* error) {
    if (maxDepth_ && depth_ + 1 > maxDepth_) return fail(error, 7, NS("Nested too deep"));
    ++depth_;
    into.push_back(u'{');
    auto keys = value->allKeys();
    if (sortKeys_) keys = keys->sortedArrayUsingSelector(Selector::named("compare:"));
    bool first = true;
    for (NSObject* key : *keys) {
        if (!first) into.push_back(u',');
        first = false;
        if (humanReadable_) indent(into);
        auto name = as<NSString>(key);
        if (!name) return fail(error, 1, NS("JSON object key must be string"));
        appendString(name, into);
        into += humanReadable_ ? u" : " : u":";
        Ref<NSError> inner;
        if (!appendValue(value->objectForKey(key), into, &inner))
            return fail(error, 1, fmt("Unsupported value for key %@ in object", name.get()));
    }
    --depth_;
    if (humanReadable_ && value->count() > 0) indent(into);
    into.push_back(u'}');
    return true;
}

bool PBL_PJSON::appendArray(NSArray* value, std::u16string& into, Ref<NSError>* error) {
    if (maxDepth_ && depth_ + 1 > maxDepth_) return fail(error, 7, NS("Nested too deep"));
    ++depth_;
    into.push_back(u'[');
    bool first = true;
    for (NSObject* item : *value) {
        if (!first) into.push_back(u',');
        first = false;
        if (humanReadable_) indent(into);
        if (!appendValue(item, into, error)) return false;
    }
    --depth_;
    if (humanReadable_ && value->count() > 0) indent(into);
    into.push_back(u']');
    return true;
}

void PBL_PJSON::appendString(NSString* value, std::u16string& into) {
    static const char16_t hex[] = u"0123456789abcdef";
    into.push_back(u'"');
    for (char16_t unit : value->u16()) {
        switch (unit) {
            case u'"':
                into += u"\\\"";
                break;
            case u'\\':
                into += u"\\\\";
                break;
            case u'\b':
                into += u"\\b";
                break;
            case u'\t':
                into += u"\\t";
                break;
            case u'\n':
                into += u"\\n";
                break;
            case u'\f':
                into += u"\\f";
                break;
            case u'\r':
                into += u"\\r";
                break;
            default:
                if (unit < 0x20) {
                    into += u"\\u00";
                    into.push_back(hex[unit >> 4]);
                    into.push_back(hex[unit & 15]);
                } else {
                    into.push_back(unit);
                }
        }
    }
    into.push_back(u'"');
}

Ref<NSString> PBLMacros::jsonify(NSObject* object) {
    if (!object) return nullptr;
    Ref<NSError> error;
    auto text = make<PBL_PJSON>()->stringWithObject(object, &error);
    if (error || !text) return NS("");
    return text;
}
