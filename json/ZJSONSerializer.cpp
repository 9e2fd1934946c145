#include "json/ZJSONSerializer.h"

#include <cmath>
#include <cstring>
#include <string>

#include "Foundation/NSArray.h"
#include "Foundation/NSData.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSException.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"

namespace {

// The three literals every serializer shares; made once, never freed.
NSData* sharedBytes(const char* literal) {
    auto data = NSData::dataWithBytesNoCopy(const_cast<char*>(literal),
                                            static_cast<NSUInteger>(std::strlen(literal)), false);
    data->makeImmortal();
    return data.get();
}
NSData* nullBytes() {
    static NSData* const bytes = sharedBytes("null");
    return bytes;
}
NSData* falseBytes() {
    static NSData* const bytes = sharedBytes("false");
    return bytes;
}
NSData* trueBytes() {
    static NSData* const bytes = sharedBytes("true");
    return bytes;
}

[[noreturn]] void raiseCannotSerialize(NSObject* object) {
    NSException::raise(NSGenericException, NS("Cannot serialize data of type '%@'"),
                       object ? object->className() : nullptr);
}

[[noreturn]] void raiseCouldNotSerialize(NSObject* object) {
    NSException::raise(NSGenericException, NS("Could not serialize object '%@'"), object);
}

void appendData(std::string& out, NSData* data) {
    out.append(static_cast<const char*>(data->bytes()), data->length());
}

void appendEscape(std::string& out, char16_t unit) {
    static const char hex[] = "0123456789ABCDEF";
    out += "\\u";
    out += hex[(unit >> 12) & 0xF];
    out += hex[(unit >> 8) & 0xF];
    out += hex[(unit >> 4) & 0xF];
    out += hex[unit & 0xF];
}

void appendString(std::string& out, NSString* string) {
    std::u16string units = string->u16();
    out += '"';
    const size_t n = units.size();
    for (size_t i = 0; i < n; ++i) {
        char16_t c = units[i];
        switch (c) {
            case u'\\':
                out += "\\\\";
                continue;
            case u'"':
                out += "\\\"";
                continue;
            case u'/':
                out += "\\/";
                continue;
            case 0x08:
                out += "\\b";
                continue;
            case 0x0C:
                out += "\\f";
                continue;
            case 0x0A:
                out += "\\n";
                continue;
            case 0x0D:
                out += "\\r";
                continue;
            case 0x09:
                out += "\\t";
                continue;
            default:
                break;
        }
        uint32_t cp = c;
        if (c < 0x20) {
            // Raw control characters are not allowed inside JSON strings.
            appendEscape(out, c);
            continue;
        } else if (c < 0x80) {
            out += static_cast<char>(c);
            continue;
        } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < n && units[i + 1] >= 0xDC00 &&
                   units[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (units[++i] - 0xDC00);
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            // A lone surrogate has no UTF-8 form; the escape keeps it, as the reader makes it.
            appendEscape(out, c);
            continue;
        }
        if (cp < 0x800) {
            out += static_cast<char>(0xC0 | (cp >> 6));
        } else if (cp < 0x10000) {
            out += static_cast<char>(0xE0 | (cp >> 12));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (cp >> 18));
            out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        }
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
    out += '"';
}

void appendNumber(std::string& out, NSNumber* number) {
    // Booleans are stored as the one-byte character type.
    if (std::strcmp(number->objCType(), "c") == 0) {
        int value = number->intValue();
        if (value == 1) return appendData(out, trueBytes());
        if (value == 0) return appendData(out, falseBytes());
    }
    // JSON has no text for these; writing "nan" or "inf" would make unreadable output.
    if (!std::isfinite(number->doubleValue())) raiseCouldNotSerialize(number);
    // An exponent's plus sign is optional: "1e+20" is written as the shorter, equal "1e20".
    std::string digits = number->stringValue()->utf8();
    size_t plus = digits.find("e+");
    if (plus != std::string::npos) digits.erase(plus + 1, 1);
    out += digits;
}

class Writer {
public:
    std::string out;

    void object(NSObject* o, int depth) {
        if (is<NSNull>(o)) {
            appendData(out, nullBytes());
        } else if (auto n = as<NSNumber>(o)) {
            appendNumber(out, n);
        } else if (auto s = as<NSString>(o)) {
            appendString(out, s);
        } else if (auto a = as<NSArray>(o)) {
            array(a, depth);
        } else if (auto d = as<NSDictionary>(o)) {
            dictionary(d, depth);
        } else if (auto data = as<NSData>(o)) {
            auto text = NSString::stringWithData(data, NSUTF8StringEncoding);
            if (!text) raiseCouldNotSerialize(o);
            appendString(out, text);
        } else if (auto json = as<CSerializedJSONData>(o)) {
            auto bytes = json->data();
            if (!bytes || !bytes->length()) raiseCouldNotSerialize(o);
            appendData(out, bytes);
        } else {
            raiseCannotSerialize(o);
        }
    }

    void array(NSArray* a, int depth) {
        enter(a, depth);
        out += '[';
        NSUInteger count = a->count();
        for (NSUInteger i = 0; i < count; ++i) {
            if (i) out += ',';
            object(a->objectAtIndex(i), depth + 1);
        }
        out += ']';
    }

    void dictionary(NSDictionary* d, int depth) {
        enter(d, depth);
        out += '{';
        bool first = true;
        for (NSObject* key : *d) {
            auto name = as<NSString>(key);
            if (!name) raiseCannotSerialize(key);  // JSON keys are strings
            if (!first) out += ',';
            first = false;
            appendString(out, name);
            out += ':';
            object(d->objectForKey(key), depth + 1);
        }
        out += '}';
    }

private:
    // A graph that nests deeper than any real document (or contains itself) would exhaust the
    // stack; it is refused instead.
    static void enter(NSObject* container, int depth) {
        if (depth >= ZJSONDataSerializer::kMaximumDepth) {
            NSException::raise(NSGenericException,
                               NS("Could not serialize object of type '%@': nested more than "
                                  "%d levels deep"),
                               container->className(), ZJSONDataSerializer::kMaximumDepth);
        }
    }
};

Ref<NSData> toData(const std::string& bytes) {
    return NSData::dataWithBytes(bytes.data(), static_cast<NSUInteger>(bytes.size()));
}

}  // namespace

// ---- ZJSONDataSerializer ---------------------------------------------------------------------

Ref<ZJSONDataSerializer> ZJSONDataSerializer::serializer() {
    return make<ZJSONDataSerializer>();
}

Ref<NSData> ZJSONDataSerializer::serializeObject(NSObject* object) {
    if (is<NSNull>(object)) return nullBytes();
    Writer w;
    w.object(object, 0);
    return toData(w.out);
}

Ref<NSData> ZJSONDataSerializer::serializeNull(NSNull*) {
    return nullBytes();
}

Ref<NSData> ZJSONDataSerializer::serializeNumber(NSNumber* number) {
    if (!number) raiseCannotSerialize(nullptr);
    Writer w;
    appendNumber(w.out, number);
    if (w.out == "true") return trueBytes();
    if (w.out == "false") return falseBytes();
    return toData(w.out);
}

Ref<NSData> ZJSONDataSerializer::serializeString(NSString* string) {
    if (!string) raiseCannotSerialize(nullptr);
    Writer w;
    appendString(w.out, string);
    return toData(w.out);
}

Ref<NSData> ZJSONDataSerializer::serializeArray(NSArray* array) {
    if (!array) raiseCannotSerialize(nullptr);
    Writer w;
    w.array(array, 0);
    return toData(w.out);
}

Ref<NSData> ZJSONDataSerializer::serializeDictionary(NSDictionary* dictionary) {
    if (!dictionary) raiseCannotSerialize(nullptr);
    Writer w;
    w.dictionary(dictionary, 0);
    return toData(w.out);
}

// ---- ZJSONSerializer -------------------------------------------------------------------------

namespace {
Ref<NSString> asText(NSData* data) {
    return NSString::stringWithData(data, NSUTF8StringEncoding);
}
}  // namespace

Ref<ZJSONSerializer> ZJSONSerializer::serializer() {
    return make<ZJSONSerializer>();
}

bool ZJSONSerializer::init() {
    if (!NSObject::init()) return false;
    serializer_ = ZJSONDataSerializer::serializer();
    return true;
}

void ZJSONSerializer::dealloc() {
    serializer_ = nullptr;
    NSObject::dealloc();
}

Ref<NSString> ZJSONSerializer::serializeObject(NSObject* object) {
    return asText(serializer_->serializeObject(object));
}

Ref<NSString> ZJSONSerializer::serializeArray(NSArray* array) {
    return asText(serializer_->serializeArray(array));
}

Ref<NSString> ZJSONSerializer::serializeDictionary(NSDictionary* dictionary) {
    return asText(serializer_->serializeDictionary(dictionary));
}

// ---- CSerializedJSONData ---------------------------------------------------------------------

bool CSerializedJSONData::initWithData(NSData* data) {
    if (!NSObject::init()) return false;
    data_ = data;
    return true;
}

void CSerializedJSONData::dealloc() {
    data_ = nullptr;
    NSObject::dealloc();
}
