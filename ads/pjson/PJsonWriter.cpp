#include "ads/pjson/PJsonWriter.h"

#include <cmath>
#include <cstring>

#include "Foundation/NSArray.h"
#include "Foundation/NSDecimalNumber.h"
#include "Foundation/NSDictionary.h"
#include "Foundation/NSNull.h"
#include "Foundation/NSNumber.h"
#include "Foundation/NSString.h"
#include "Foundation/Runtime.h"

namespace {

// The units a string must escape: the control characters, the quotation mark and the backslash.
inline bool needsEscape(char16_t unit) {
    return unit < 0x20 || unit == u'"' || unit == u'\\';
}

}  // namespace

Ref<NSString> PJsonWriter::stringWithObject(NSObject* value) {
    if (is<NSDictionary>(value) || is<NSArray>(value)) return stringWithFragment(value);
    // The proxy's own text, when it writes; a chain of proxies is followed a bounded number of
    // steps, so one that answers itself cannot recurse without end.
    static SEL proxy = Selector::named("proxyForJson");
    Ref<NSObject> current = value;
    for (int steps = 0; steps < 16 && current && current->respondsToSelector(proxy); ++steps) {
        current = current->performSelector(proxy);
        if (is<NSDictionary>(current) || is<NSArray>(current)) {
            if (auto text = stringWithFragment(current)) return text;
            break;
        }
    }
    clearErrorTrace();
    fail(PJsonNotAContainer, NS("Not valid type for JSON"));
    return nullptr;
}

Ref<NSString> PJsonWriter::stringWithFragment(NSObject* value) {
    clearErrorTrace();
    depth_ = 0;
    std::u16string out;
    out.reserve(128);
    if (!appendValue(value, out)) return nullptr;
    return NSMutableString::adoptUnits(std::move(out));
}

void PJsonWriter::indent(std::u16string& into) {
    into.push_back(u'\n');
    into.append(2 * static_cast<size_t>(depth_), u' ');
}

bool PJsonWriter::appendValue(NSObject* value, std::u16string& into) {
    if (auto d = as<NSDictionary>(value)) return appendDictionary(d, into);
    if (auto a = as<NSArray>(value)) return appendArray(a, into);
    if (auto s = as<NSString>(value)) {
        appendString(s, into);
        return true;
    }
    if (auto n = as<NSNumber>(value)) {
        if (std::strcmp(n->objCType(), "c") == 0) {
            into += n->boolValue() ? u"true" : u"false";
            return true;
        }
        // NaN and the infinities have no JSON form: writing them would make text no reader
        // takes back.
        auto decimal = as<NSDecimalNumber>(n);
        if (decimal ? decimal->isNaN() : !std::isfinite(n->doubleValue()))
            return fail(PJsonUnsupportedValue,
                        NSString::stringWithFormat(NS("JSON serialisation not supported for %@"),
                                                   n->className()));
        into += n->stringValue()->u16();
        return true;
    }
    if (is<NSNull>(value)) {
        into += u"null";
        return true;
    }
    return appendOther(value, into);
}

bool PJsonWriter::appendOther(NSObject* value, std::u16string& into) {
    static SEL proxy = Selector::named("proxyForJson");
    if (value && value->respondsToSelector(proxy)) {
        // A proxy that answers itself would recurse without end; the depth limit stops it.
        if (!enterContainer()) return false;
        bool ok = appendValue(value->performSelector(proxy), into);
        if (ok) --depth_;
        return ok;
    }
    return fail(PJsonUnsupportedValue,
                NSString::stringWithFormat(NS("JSON serialisation not supported for %@"),
                                           value ? value->className() : Ref<NSString>(NS("nil"))));
}

bool PJsonWriter::appendDictionary(NSDictionary* value, std::u16string& into) {
    if (!enterContainer()) return false;
    into.push_back(u'{');
    auto keys = value->allKeys();
    if (sortKeys_) keys = keys->sortedArrayUsingSelector(Selector::named("compare:"));
    const char16_t* separator = humanReadable_ ? u" : " : u":";
    bool first = true;
    for (NSObject* key : *keys) {
        if (!first) into.push_back(u',');
        first = false;
        if (humanReadable_) indent(into);
        auto name = as<NSString>(key);
        if (!name) return fail(PJsonUnsupportedValue, NS("JSON object key must be string"));
        appendString(name, into);
        into += separator;
        if (!appendValue(value->objectForKey(key), into))
            return fail(
                PJsonUnsupportedValue,
                NSString::stringWithFormat(NS("Unsupported value for key %@ in object"), name),
                false);
    }
    --depth_;
    if (humanReadable_ && value->count() > 0) indent(into);
    into.push_back(u'}');
    return true;
}

bool PJsonWriter::appendArray(NSArray* value, std::u16string& into) {
    if (!enterContainer()) return false;
    into.push_back(u'[');
    bool first = true;
    for (NSObject* item : *value) {
        if (!first) into.push_back(u',');
        first = false;
        if (humanReadable_) indent(into);
        if (!appendValue(item, into)) return false;
    }
    --depth_;
    if (humanReadable_ && value->count() > 0) indent(into);
    into.push_back(u']');
    return true;
}

void PJsonWriter::appendString(NSString* value, std::u16string& into) {
    static const char16_t hex[] = u"0123456789abcdef";
    std::u16string copied;
    const char16_t* units = value->charactersPtr();
    size_t length = value->length();
    if (!units) {
        copied = value->u16();
        units = copied.data();
    }
    into.push_back(u'"');
    const char16_t* end = units + length;
    const char16_t* plain = units;
    // Runs without anything to escape are appended whole.
    for (const char16_t* p = units; p < end; ++p) {
        char16_t unit = *p;
        if (!needsEscape(unit)) continue;
        into.append(plain, p);
        plain = p + 1;
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
                into += u"\\u00";
                into.push_back(hex[unit >> 4]);
                into.push_back(hex[unit & 15]);
        }
    }
    into.append(plain, end);
    into.push_back(u'"');
}
